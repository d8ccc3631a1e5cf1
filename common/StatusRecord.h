#pragma once

#include <cstdint>

// What the service records about itself where "TurnDisplay.exe status" can read it, without a
// channel of its own: values under the service's own key, which every user may read and which
// goes with the service. The service writes them; nothing else does.
namespace status_record {

// Below HKEY_LOCAL_MACHINE; the registry does not redirect it for 32-bit programs.
inline constexpr const char* kKey = "SYSTEM\\CurrentControlSet\\Services\\Pivotra\\Status";

// The subscription to the G-sensor's events: its state, a line saying why, and when it was
// reached (REG_DWORD, REG_SZ, REG_QWORD of a UTC FILETIME).
inline constexpr const char* kSubscription = "Subscription";
inline constexpr const char* kSubscriptionDetail = "SubscriptionDetail";
inline constexpr const char* kSubscriptionTime = "SubscriptionTime";

enum class SubscriptionState : std::uint32_t {
  Connecting = 0,  // the service has started and subscribes
  Subscribed = 1,
  Failing = 2,     // an attempt failed or the subscription was lost; it is tried again
  Stopped = 3,     // the service has stopped
};

// The display program's last run: what became of it, its exit code (or the Win32 error of a
// start that failed), the angle it was asked for and when it ended (REG_DWORD x 3, REG_QWORD).
inline constexpr const char* kProgram = "LastProgram";
inline constexpr const char* kProgramCode = "LastProgramCode";
inline constexpr const char* kProgramAngle = "LastProgramAngle";
inline constexpr const char* kProgramTime = "LastProgramTime";

enum class ProgramRun : std::uint32_t {
  Ended = 0,         // it ended by itself; the code is its exit code
  NotStarted = 1,    // it could not be started; the code is the Win32 error
  EndedAtLimit = 2,  // it still ran at the limit and the service ended it
};

}  // namespace status_record

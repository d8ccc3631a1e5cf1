#pragma once

#include <cstdint>
#include <optional>

// Who starts the display program in the console session, and on which desktop. A user signed in
// at an unlocked console gets it on the user's desktop, as that user. With nobody signed in, or
// the session locked, the screen shows the secure desktop (the sign-in or lock screen), which
// only the local system account may use: the service starts the program there with its own token.
namespace launcher {

inline constexpr const char* kUserDesktop = "WinSta0\\Default";
inline constexpr const char* kSecureDesktop = "WinSta0\\Winlogon";

enum class LaunchToken { User, Service };

struct LaunchChoice {
  LaunchToken token;
  const char* desktop;
};

// What the service knows of the console session: whether its user's token could be had, whether
// it is locked (none where the system cannot say) and whether it is a remote one.
struct ConsoleSession {
  bool userSignedIn = false;
  std::optional<bool> locked;
  bool remote = false;
};

// A remote session is the user's as today: the program declines there itself (exit code 10), and
// the secure desktop it would show is not the physical console's.
LaunchChoice ChooseLaunch(const ConsoleSession& console);

// The lock state in WTSINFOEX_LEVEL1's SessionFlags: WTS_SESSIONSTATE_LOCK 0, _UNLOCK 1, anything
// else unknown. Windows 7 and Server 2008 R2 report the two the other way round.
std::optional<bool> LockedFromSessionFlags(std::int32_t flags, bool windows7);

}  // namespace launcher

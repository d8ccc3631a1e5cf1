#pragma once

#include <chrono>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "common/DebugPrint.h"
#include "common/OrientationTypes.h"
#include "orientation/ProgramOutcome.h"

// Starting the display-rotation program in the console user's session.
namespace launcher {

inline constexpr const char* kProgramName = "TurnDisplay.exe";

// "-" stands for "no text" in CreateProcessToUserSession's arguments.
inline constexpr const char* kNoText = "-";

// CREATE_NO_WINDOW | NORMAL_PRIORITY_CLASS: no console window for the program.
inline constexpr std::uint32_t kCreationFlags = 0x08000020;

// How long a rotation waits for the program to say what it did; it decides in well under a
// second, and while it runs no other decision begins, so two never run at once.
inline constexpr std::chrono::milliseconds kProgramWait{10000};

// The results of CreateProcessToUserSession.
enum LaunchResult : std::int32_t {
  kLaunched = 0,
  kNothingToLaunch = 100,    // neither an application name nor a command line
  kNoConsoleSession = 101,   // session id 0
  kNoUserToken = 102,        // WTSQueryUserToken failed
  kProcessNotCreated = 103,  // CreateProcessAsUserA failed
};

struct RotationRow {
  RotationKind kind;
  const char* message;
  const char* angle;  // the program's one argument, in degrees
};

// The row of kinds 0 to 3; null for any other kind.
const RotationRow* FindRotation(RotationKind kind);

// The quoted program path in the module directory, a blank, the angle:
// "C:\Program Files\Pivotra\TurnDisplay.exe" 90. The quotes keep a directory with blanks
// from being taken for a shorter program path.
std::string BuildRotationCommandLine(const std::string& moduleDirectory, const RotationRow& row);

// The launch over the platform's session calls. Sessions provides
//   std::uint32_t ActiveConsoleSessionId();
//   Token QueryUserToken(std::uint32_t sessionId);   // an owner, false when there is none
//   Process CreateProcessAsUser(const Token&, const char* applicationName, char* commandLine,
//                               std::uint32_t creationFlags);   // an owner, false when refused
//   std::optional<std::uint32_t> AwaitExit(const Process&, std::chrono::milliseconds bound);
//                               // the exit code; none while it runs, or once the service stops
// The token's owner closes it on every path once the process is created or refused. The
// process goes to started when asked for, else its owner closes it at once.
template <typename Sessions>
std::int32_t LaunchInUserSession(Sessions& sessions, std::uint32_t sessionId,
                                 const char* applicationName, char* commandLine,
                                 typename Sessions::Process* started = nullptr) {
  auto given = [](const char* text) { return text != nullptr && std::strcmp(text, kNoText) != 0; };
  const char* application = given(applicationName) ? applicationName : nullptr;
  char* command = given(commandLine) ? commandLine : nullptr;
  if (application == nullptr && command == nullptr) return kNothingToLaunch;
  if (sessionId == 0) return kNoConsoleSession;

  const auto token = sessions.QueryUserToken(sessionId);
  if (!token) return kNoUserToken;
  auto process = sessions.CreateProcessAsUser(token, application, command, kCreationFlags);
  if (!process) return kProcessNotCreated;
  if (started != nullptr) *started = std::move(process);
  return kLaunched;
}

// Starts the program with the kind's angle in the console user's session and waits, up to wait,
// for what it did; none, silently, for a kind outside 0 to 3.
template <typename Sessions>
std::optional<ProgramOutcome> RotateIn(Sessions& sessions, const std::string& moduleDirectory,
                                       RotationKind kind, std::chrono::milliseconds wait) {
  const std::uint32_t sessionId = sessions.ActiveConsoleSessionId();
  const RotationRow* row = FindRotation(kind);
  if (row == nullptr) return std::nullopt;
  DebugPrint("%s", row->message);

  std::string commandLine = BuildRotationCommandLine(moduleDirectory, *row);
  typename Sessions::Process process{};
  // The only failure logged; the code itself is not shown.
  if (LaunchInUserSession(sessions, sessionId, kNoText, commandLine.data(), &process) !=
      kLaunched) {
    DebugPrint("CreateProcessToUserSession failed");
    return ProgramOutcome{ProgramOutcome::Kind::NotStarted, 0};
  }
  const std::optional<std::uint32_t> exitCode = sessions.AwaitExit(process, wait);
  if (!exitCode) return ProgramOutcome{ProgramOutcome::Kind::EndedAtLimit, 0};
  return ProgramOutcome{ProgramOutcome::Kind::Ended, *exitCode};
}

// A rotation request: 1 for kinds 0 to 3, started or not; 0, silently, for any other kind.
template <typename Sessions>
std::int32_t RequestRotationIn(Sessions& sessions, const std::string& moduleDirectory,
                               RotationKind kind) {
  return RotateIn(sessions, moduleDirectory, kind, kProgramWait) ? 1 : 0;
}

}  // namespace launcher

#pragma once

#include <chrono>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "common/DebugPrint.h"
#include "common/OrientationTypes.h"
#include "orientation/LaunchChoice.h"
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

// kProgramWait in whole seconds, for the lines that name it.
constexpr long long ProgramWaitSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(kProgramWait).count();
}

// How long the end of a program that outlived its wait is waited for: the process is ended at
// once, and the stop's own bound must leave room for it.
inline constexpr std::chrono::milliseconds kEndWait{3000};

// The results of CreateProcessToUserSession.
enum LaunchResult : std::int32_t {
  kLaunched = 0,
  kNothingToLaunch = 100,    // neither an application name nor a command line
  kNoConsoleSession = 101,   // session id 0; for the console launch, none attached either
  kNoUserToken = 102,        // WTSQueryUserToken failed; for the console launch, no token at all
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

// The program's wait, as the platform ends it: the program ended by itself (with its exit code),
// it still ran at the bound, or the service stops.
enum class WaitEnd { Exited, Limit, Stopping };
struct ProgramWait {
  WaitEnd end = WaitEnd::Limit;
  std::uint32_t exitCode = 0;  // when Exited
};

// The launch over the platform's session calls. Sessions provides
//   std::uint32_t ActiveConsoleSessionId();
//   Token QueryUserToken(std::uint32_t sessionId);   // an owner, false when there is none
//   Token ServiceToken(std::uint32_t sessionId);     // the service's own, moved to the session
//   std::optional<bool> SessionLocked(std::uint32_t sessionId);  // none when it cannot be told
//   bool SessionRemote(std::uint32_t sessionId);
//   Process CreateProcessAsUser(const Token&, const char* applicationName, char* commandLine,
//                               std::uint32_t creationFlags, const char* desktop);
//                               // an owner, false when refused; a null desktop names none
//   std::uint32_t LastError();  // the Win32 error of the call that failed last
//   ProgramWait AwaitExit(const Process&, std::chrono::milliseconds bound);
//   bool End(const Process&);   // ends the process and waits, bounded, until it has ended
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
  auto process =
      sessions.CreateProcessAsUser(token, application, command, kCreationFlags, nullptr);
  if (!process) return kProcessNotCreated;
  if (started != nullptr) *started = std::move(process);
  return kLaunched;
}

// WTSGetActiveConsoleSessionId's answer while no session is attached to the console.
inline constexpr std::uint32_t kNoConsole = 0xFFFFFFFF;

// The display program's start in the console session, as its user on the user's desktop or with
// the service's token on the secure desktop (orientation/LaunchChoice.h). On a failure, error
// is the Win32 error of the step that failed.
template <typename Sessions>
std::int32_t LaunchInConsole(Sessions& sessions, std::uint32_t sessionId, char* commandLine,
                             typename Sessions::Process& started, std::uint32_t& error) {
  if (sessionId == 0 || sessionId == kNoConsole) return kNoConsoleSession;
  auto userToken = sessions.QueryUserToken(sessionId);
  const std::uint32_t userTokenError = userToken ? 0 : sessions.LastError();
  const ConsoleSession console{static_cast<bool>(userToken), sessions.SessionLocked(sessionId),
                               sessions.SessionRemote(sessionId)};
  const LaunchChoice choice = ChooseLaunch(console);
  const auto token =
      choice.token == LaunchToken::User ? std::move(userToken) : sessions.ServiceToken(sessionId);
  if (!token) {
    error = choice.token == LaunchToken::User ? userTokenError : sessions.LastError();
    return kNoUserToken;
  }
  started = sessions.CreateProcessAsUser(token, nullptr, commandLine, kCreationFlags,
                                         choice.desktop);
  if (!started) {
    error = sessions.LastError();
    return kProcessNotCreated;
  }
  return kLaunched;
}

// Starts the program with the kind's angle in the console session and waits, up to wait, for
// what it did; none, silently, for a kind outside 0 to 3. A program still running when the wait
// ends (at the bound, or because the service stops) is ended before anything else may turn the
// screen: two display programs never run at once, and a late one cannot undo a newer turn.
template <typename Sessions>
std::optional<ProgramOutcome> RotateIn(Sessions& sessions, const std::string& moduleDirectory,
                                       RotationKind kind, std::chrono::milliseconds wait) {
  const std::uint32_t sessionId = sessions.ActiveConsoleSessionId();
  const RotationRow* row = FindRotation(kind);
  if (row == nullptr) return std::nullopt;
  DebugPrint("%s", row->message);

  std::string commandLine = BuildRotationCommandLine(moduleDirectory, *row);
  typename Sessions::Process process{};
  std::uint32_t error = 0;
  const std::int32_t launched =
      LaunchInConsole(sessions, sessionId, commandLine.data(), process, error);
  if (launched != kLaunched) {
    // The code itself is not in this line; the outcome carries it.
    DebugPrint("CreateProcessToUserSession failed");
    return ProgramOutcome{ProgramOutcome::Kind::NotStarted, 0, launched, error};
  }
  const ProgramWait waited = sessions.AwaitExit(process, wait);
  if (waited.end == WaitEnd::Exited)
    return ProgramOutcome{ProgramOutcome::Kind::Ended, waited.exitCode};
  const bool stopping = waited.end == WaitEnd::Stopping;
  if (!sessions.End(process)) {
    DebugPrint("%s could not be ended: error %u", kProgramName,
               static_cast<unsigned>(sessions.LastError()));
  } else if (stopping) {
    DebugPrint("Ended %s: the service stops", kProgramName);
  } else {
    DebugPrint("Ended %s: it still ran after %lld s", kProgramName, ProgramWaitSeconds());
  }
  return ProgramOutcome{stopping ? ProgramOutcome::Kind::Stopped
                                 : ProgramOutcome::Kind::EndedAtLimit};
}

// A rotation request: 1 for kinds 0 to 3, started or not; 0, silently, for any other kind.
template <typename Sessions>
std::int32_t RequestRotationIn(Sessions& sessions, const std::string& moduleDirectory,
                               RotationKind kind) {
  return RotateIn(sessions, moduleDirectory, kind, kProgramWait) ? 1 : 0;
}

}  // namespace launcher

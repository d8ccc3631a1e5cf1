#include "common/ModuleDirectory.h"
#include "events/EventSink.h"
#include "orientation/RotationLauncher.h"
#include "orientation/win32_user_sessions.h"

std::optional<ProgramOutcome> EventSink::RotateAndAwait(RotationKind kind) {
  Win32UserSessions sessions;
  return launcher::RotateIn(sessions, GetModuleDirectory(true), kind, launcher::kProgramWait);
}

std::int32_t EventSink::RequestRotation(RotationKind kind) {
  Win32UserSessions sessions;
  return launcher::RequestRotationIn(sessions, GetModuleDirectory(true), kind);
}

std::int32_t EventSink::CreateProcessToUserSession(std::uint32_t sessionId,
                                                   const char* applicationName,
                                                   char* commandLine) {
  Win32UserSessions sessions;
  return launcher::LaunchInUserSession(sessions, sessionId, applicationName, commandLine);
}

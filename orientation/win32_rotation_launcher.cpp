#include "common/ModuleDirectory.h"
#include "common/win32_status_record.h"
#include "events/EventSink.h"
#include "orientation/LaunchNotice.h"
#include "orientation/RotationLauncher.h"
#include "orientation/win32_blocker_watch.h"
#include "orientation/win32_user_sessions.h"

namespace {

// Where TurnDisplay.exe status reads it; the service's own stop is no outcome worth keeping.
void RecordRun(const ProgramOutcome& outcome, RotationKind kind) {
  using status_record::ProgramRun;
  const std::uint32_t angle = static_cast<std::uint32_t>(kind) * 90;
  switch (outcome.kind) {
    case ProgramOutcome::Kind::Ended:
      RecordProgramRun(ProgramRun::Ended, outcome.exitCode, angle);
      break;
    case ProgramOutcome::Kind::NotStarted:
      RecordProgramRun(ProgramRun::NotStarted, outcome.error, angle);
      break;
    case ProgramOutcome::Kind::EndedAtLimit:
      RecordProgramRun(ProgramRun::EndedAtLimit, 0, angle);
      break;
    case ProgramOutcome::Kind::Stopped:
      break;
  }
}

}  // namespace

std::optional<ProgramOutcome> EventSink::RotateAndAwait(RotationKind kind) {
  Win32UserSessions sessions;
  NoteProgramStart();
  const std::optional<ProgramOutcome> outcome =
      launcher::RotateIn(sessions, GetModuleDirectory(true), kind, launcher::kProgramWait);
  if (outcome) {
    RecordRun(*outcome, kind);
    NoteProgramOutcome(*outcome, launcher::FindRotation(kind)->angle);
  }
  return outcome;
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

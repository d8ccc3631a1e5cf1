#include "orientation/ProgramOutcome.h"

#include "common/Format.h"
#include "orientation/RotationLauncher.h"

bool operator==(const ProgramOutcome& left, const ProgramOutcome& right) {
  if (left.kind != right.kind) return false;
  switch (left.kind) {
    case ProgramOutcome::Kind::Ended: return left.exitCode == right.exitCode;
    case ProgramOutcome::Kind::NotStarted:
      return left.launchResult == right.launchResult && left.error == right.error;
    default: return true;
  }
}

bool ScreenShows(const ProgramOutcome& outcome) {
  if (outcome.kind != ProgramOutcome::Kind::Ended) return false;
  switch (outcome.exitCode) {
    case 0:  // turned
    case 1:  // already so
    case 8:  // Windows turns this screen itself
      return true;
    default:
      return false;
  }
}

std::string OutcomeText(const ProgramOutcome& outcome) {
  switch (outcome.kind) {
    case ProgramOutcome::Kind::NotStarted:
      return FormatString("%s could not be started", launcher::kProgramName);
    case ProgramOutcome::Kind::EndedAtLimit:
      return FormatString("%s still runs after %lld s", launcher::kProgramName,
                          launcher::ProgramWaitSeconds());
    case ProgramOutcome::Kind::Stopped:
      return FormatString("the service stopped while %s ran", launcher::kProgramName);
    case ProgramOutcome::Kind::Ended:
      break;
  }
  return FormatString("%s ended with %u", launcher::kProgramName,
                      static_cast<unsigned>(outcome.exitCode));
}

std::string PendingLine(const char* orientationWord, const ProgramOutcome& outcome) {
  return std::string(orientationWord) + " stays pending: " + OutcomeText(outcome);
}

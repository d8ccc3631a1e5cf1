#include "orientation/ProgramOutcome.h"

#include <chrono>

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

std::string PendingLine(const char* orientationWord, const ProgramOutcome& outcome) {
  switch (outcome.kind) {
    case ProgramOutcome::Kind::NotStarted:
      return FormatString("%s stays pending: %s could not be started", orientationWord,
                          launcher::kProgramName);
    case ProgramOutcome::Kind::EndedAtLimit:
    case ProgramOutcome::Kind::Stopped:
      return FormatString(
          "%s stays pending: %s still runs after %lld s", orientationWord, launcher::kProgramName,
          static_cast<long long>(
              std::chrono::duration_cast<std::chrono::seconds>(launcher::kProgramWait).count()));
    case ProgramOutcome::Kind::Ended:
      break;
  }
  return FormatString("%s stays pending: %s ended with %u", orientationWord,
                      launcher::kProgramName, static_cast<unsigned>(outcome.exitCode));
}

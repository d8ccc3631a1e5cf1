#include "turndisplay/TurnOutcome.h"

#include "common/Format.h"
#include "turndisplay/RotationRules.h"

namespace turndisplay {

namespace {

struct DisplayChange {
  std::int32_t code;
  const char* name;
};

constexpr DisplayChange kDisplayChanges[] = {
    {0, "DISP_CHANGE_SUCCESSFUL"},  {1, "DISP_CHANGE_RESTART"},
    {-1, "DISP_CHANGE_FAILED"},     {-2, "DISP_CHANGE_BADMODE"},
    {-3, "DISP_CHANGE_NOTUPDATED"}, {-4, "DISP_CHANGE_BADFLAGS"},
    {-5, "DISP_CHANGE_BADPARAM"},   {-6, "DISP_CHANGE_BADDUALVIEW"},
};

std::string StaysLine(const char* reason, const std::string& display) {
  return FormatString("TurnDisplay: %s; %s stays as it is", reason, display.c_str());
}

}  // namespace

std::string NothingToRestoreReason(const Report& report) {
  if (!report.stored) return report.settingsFile + " cannot be read";
  return FormatString("GSensorLastOrientation is %u in %s", static_cast<unsigned>(*report.stored),
                      report.settingsFile.c_str());
}

int ExitCodeFor(Outcome outcome) {
  switch (outcome) {
    case Outcome::Turned: return 0;
    case Outcome::AlreadySo: return 1;
    case Outcome::NothingToRestore: return 1;
    case Outcome::BadArgument: return 2;
    case Outcome::Locked: return 3;
    case Outcome::Refused: return 4;
    case Outcome::ModeUnknown: return 5;
    case Outcome::RestartNeeded: return 6;
    case Outcome::LaptopPosture: return 7;
    case Outcome::WindowsRotates: return 8;
    case Outcome::OffByPolicy: return 9;
    case Outcome::Held: return 10;
    case Outcome::NoBuiltInPanel: return 11;
  }
  return 4;
}

Outcome OutcomeOfChange(std::int32_t displayChange) {
  if (displayChange == 0) return Outcome::Turned;
  if (displayChange == 1) return Outcome::RestartNeeded;
  return Outcome::Refused;
}

const char* DisplayChangeName(std::int32_t displayChange) {
  for (const DisplayChange& known : kDisplayChanges)
    if (known.code == displayChange) return known.name;
  return "DISP_CHANGE_?";
}

namespace {

std::string LineOf(const Report& report) {
  const unsigned angle = AngleOf(report.wanted);
  const char* display = report.display.c_str();
  const int change = static_cast<int>(report.displayChange);
  switch (report.outcome) {
    case Outcome::Turned:
      if (report.test)
        return FormatString("TurnDisplay: would turn %s to %u degrees", display, angle);
      return FormatString("TurnDisplay: turned %s to %u degrees", display, angle);
    case Outcome::AlreadySo:
      return FormatString("TurnDisplay: %s is already at %u degrees", display, angle);
    case Outcome::NothingToRestore:
      return "TurnDisplay: no orientation to restore: " + NothingToRestoreReason(report);
    case Outcome::BadArgument: return UsageLine();
    case Outcome::Locked:
      return StaysLine("the user has locked screen rotation", report.display);
    case Outcome::Refused:
      return FormatString("TurnDisplay: the display driver refused %u degrees for %s: %s (%d)",
                          angle, display, DisplayChangeName(change), change);
    case Outcome::ModeUnknown:
      return FormatString("TurnDisplay: the current mode of %s cannot be read; nothing changed",
                          display);
    case Outcome::RestartNeeded:
      if (report.test)
        return FormatString("TurnDisplay: %u degrees for %s would take effect only after a "
                            "restart: %s (%d)",
                            angle, display, DisplayChangeName(change), change);
      return FormatString(
          "TurnDisplay: %u degrees is stored for %s and takes effect after a restart: %s (%d)",
          angle, display, DisplayChangeName(change), change);
    case Outcome::LaptopPosture:
      return StaysLine("laptop posture or docked, and the policy rotates only in tablet posture",
                       report.display);
    case Outcome::WindowsRotates:
      return StaysLine("Windows turns this screen itself (auto-rotation is on)", report.display);
    case Outcome::OffByPolicy:
      return StaysLine("the policy turns auto-rotation off", report.display);
    case Outcome::Held:
      return StaysLine((report.autoRotationState & kAutoRotationRemoteSession) != 0
                           ? "the console is in a remote session (AR_REMOTESESSION)"
                           : "an application holds the screen's orientation (AR_SUPPRESSED)",
                       report.display);
    case Outcome::NoBuiltInPanel:
      return FormatString("TurnDisplay: %s, and the policy turns only the built-in panel; "
                          "nothing turned",
                          report.why.c_str());
  }
  return {};
}

}  // namespace

std::string OutcomeLine(const Report& report) {
  if (!report.waiting) return LineOf(report);
  return LineOf(report) + FormatString("; %u degrees waits for tablet posture",
                                       AngleOf(*report.waiting));
}

std::string UsageLine() {
  return "usage: TurnDisplay.exe 0|90|180|270|restore|status (degrees counter-clockwise from the "
         "display's natural orientation, or the one the service stored last, or what a turn to it "
         "would do now)";
}

}  // namespace turndisplay

#include "turndisplay/TurnProgram.h"

#include <string>

#include "orientation/SettingsFile.h"
#include "turndisplay/RotationRules.h"
#include "turndisplay/TurnOutcome.h"

namespace turndisplay {

namespace {

// Each unusable policy value is said in a line of its own and gives way to its default.
TurnPolicy ReadPolicy(TurnPlatform& platform) {
  const auto read = [&platform](const PolicySetting& setting) {
    const PolicyReading reading =
        ReadPolicySetting(setting, platform.ReadPolicyValue(setting.valueName));
    if (!reading.problem.empty()) platform.Say(reading.problem);
    return reading.value;
  };
  // A braced list is evaluated in order: the lines come in the order of the values.
  return TurnPolicy{static_cast<AutoRotation>(read(kAutoRotationSetting)),
                    static_cast<Displays>(read(kDisplaysSetting))};
}

// The turn itself, once every rule has let it through.
Report Turn(TurnPlatform& platform, const DisplayChoice& display, Report report) {
  std::optional<DisplayMode> current;
  if (const std::optional<ModeFields> fields = platform.CurrentMode(display.device))
    current = ReportedMode(fields->fields, fields->width, fields->height, fields->orientation);

  const Decision decision = DecideTurn(current, report.wanted);
  switch (decision.verdict) {
    case Verdict::ModeUnknown: report.outcome = Outcome::ModeUnknown; return report;
    case Verdict::AlreadySo: report.outcome = Outcome::AlreadySo; return report;
    case Verdict::Turn: break;
  }
  report.displayChange = platform.ChangeMode(display.device, decision.mode);
  report.outcome = OutcomeOfChange(report.displayChange);
  return report;
}

Report Decide(TurnPlatform& platform, int argc, const char* const* argv) {
  Report report;  // a bad argument until the argument is read
  const std::optional<Request> request = ParseArguments(argc, argv);
  if (!request) return report;

  report.wanted = request->orientation;
  if (request->restore) {
    report.settingsFile = platform.ProgramDirectory() + settings::kFileName;
    const std::optional<SavedOrientations> saved =
        platform.ReadSavedOrientations(report.settingsFile);
    if (saved) report.stored = saved->shown;
    std::optional<Orientation> restored;
    if (saved) {
      // The orientation the service still waits for comes first: the screen should show it.
      restored = RestoredOrientation(saved->pending);
      if (!restored) restored = RestoredOrientation(saved->shown);
    }
    if (!restored) {
      report.outcome = Outcome::NothingToRestore;
      return report;
    }
    report.wanted = *restored;
  }

  const TurnPolicy policy = ReadPolicy(platform);
  const DisplayChoice display =
      ChooseDisplay(policy.displays, policy.displays == Displays::BuiltInPanel
                                         ? platform.ActiveDisplayPaths()
                                         : std::nullopt);
  report.display = display.label;

  const std::optional<std::uint32_t> autoRotationState = platform.AutoRotationState();
  report.autoRotationState = autoRotationState.value_or(0);
  if (const std::optional<Outcome> stop =
          StopRule(policy.autoRotation, autoRotationState, platform.SlateMode())) {
    report.outcome = *stop;
    return report;
  }
  if (!display.found) {
    report.why = display.why;
    report.outcome = Outcome::NoBuiltInPanel;
    return report;
  }
  return Turn(platform, display, report);
}

}  // namespace

int RunTurnDisplay(TurnPlatform& platform, int argc, const char* const* argv) {
  const Report report = Decide(platform, argc, argv);
  platform.Say(OutcomeLine(report));
  return ExitCodeFor(report.outcome);
}

}  // namespace turndisplay

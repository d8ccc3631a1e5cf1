#include "turndisplay/TurnProgram.h"

#include <string>
#include <utility>

#include "orientation/SettingsFile.h"
#include "turndisplay/ChainStatus.h"
#include "turndisplay/RotationRules.h"
#include "turndisplay/TurnEvents.h"
#include "turndisplay/TurnOutcome.h"
#include "turndisplay/TurnStatus.h"

namespace turndisplay {

namespace {

PolicyReading ReadSettingOf(TurnPlatform& platform, const PolicySetting& setting) {
  return ReadSetting(setting,
                     platform.ReadSettingValue(SettingSource::PolicyKey, setting.valueName),
                     platform.ReadSettingValue(SettingSource::PreferenceKey, setting.valueName));
}

TurnInputs ReadInputs(TurnPlatform& platform, const Request& request) {
  TurnInputs inputs;
  inputs.autoRotation = ReadSettingOf(platform, kAutoRotationSetting);
  inputs.displays = ReadSettingOf(platform, kDisplaysSetting);
  const auto displays = static_cast<Displays>(inputs.displays.value);
  // The primary display needs no path, unless "status" names its connector.
  std::optional<std::vector<DisplayPath>> paths;
  if (displays == Displays::BuiltInPanel || request.status) paths = platform.ActiveDisplayPaths();
  inputs.display = ChooseDisplay(displays, paths);
  if (inputs.display.found) {
    if (const std::optional<ModeFields> fields = platform.CurrentMode(inputs.display.device))
      inputs.current =
          ReportedMode(fields->fields, fields->width, fields->height, fields->orientation);
    if (request.status) {
      inputs.displayName = inputs.display.device.empty() ? platform.PrimaryDisplayName()
                                                         : inputs.display.device;
      if (paths) inputs.connector = ConnectorOf(*paths, inputs.displayName);
    }
  }
  inputs.autoRotationState = platform.AutoRotationState();
  inputs.slateMode = platform.SlateMode();
  if (request.restore) {
    inputs.settingsFile = platform.ProgramDirectory() + settings::kFileName;
    inputs.saved = platform.ReadSavedOrientations(inputs.settingsFile);
  }
  return inputs;
}

// The first rule that applies ends the decision; "status" only asks the driver.
Report Decide(TurnPlatform& platform, const Request& request, const TurnInputs& inputs) {
  Report report;
  report.test = request.status;
  report.wanted = request.orientation;
  report.display = inputs.display.label;
  if (request.restore) {
    report.settingsFile = inputs.settingsFile;
    std::optional<Orientation> restored;
    if (inputs.saved) {
      report.stored = inputs.saved->shown;
      // The orientation the service still waits for comes first: the screen should show it.
      restored = RestoredOrientation(inputs.saved->pending);
      if (!restored) restored = RestoredOrientation(inputs.saved->shown);
    }
    if (!restored) {
      report.outcome = Outcome::NothingToRestore;
      return report;
    }
    report.wanted = *restored;
  }

  report.autoRotationState = inputs.autoRotationState.value_or(0);
  std::optional<Outcome> stop =
      StopRule(static_cast<AutoRotation>(inputs.autoRotation.value), inputs.autoRotationState,
               inputs.slateMode, report.wanted);
  if (request.restore && stop == Outcome::LaptopPosture) {
    // Folded, the screen goes back to its native landscape, which the posture, the last rule,
    // never declines; the orientation to restore waits for tablet posture.
    report.waiting = report.wanted;
    report.wanted = 0;
    stop.reset();
  }
  if (stop) {
    report.outcome = *stop;
    return report;
  }
  if (!inputs.display.found) {
    report.why = inputs.display.why;
    report.outcome = Outcome::NoBuiltInPanel;
    return report;
  }

  const Decision decision = DecideTurn(inputs.current, report.wanted);
  switch (decision.verdict) {
    case Verdict::ModeUnknown: report.outcome = Outcome::ModeUnknown; return report;
    case Verdict::AlreadySo: report.outcome = Outcome::AlreadySo; return report;
    case Verdict::Turn: break;
  }
  report.displayChange = platform.ChangeMode(inputs.display.device, decision.mode, report.test);
  report.outcome = OutcomeOfChange(report.displayChange);
  return report;
}

ChainReadings ReadChain(TurnPlatform& platform) {
  ChainReadings readings;
  readings.service = platform.ReadServiceRegistration();
  readings.wmiClass = platform.LookUpWmiClass();
  readings.record = platform.ReadStatusRecord();
  readings.eventSource = platform.ReadEventSource();
  readings.now = platform.Now();
  return readings;
}

// Each unusable setting value in a line and an entry of its own, in the order of the values.
void TellProblems(TurnPlatform& platform, const TurnInputs& inputs) {
  const std::pair<const PolicySetting*, const PolicyReading*> readings[] = {
      {&kAutoRotationSetting, &inputs.autoRotation}, {&kDisplaysSetting, &inputs.displays}};
  for (const auto& [setting, reading] : readings)
    for (const SettingProblem& problem : reading->problems) {
      platform.Say(ProblemLine(*setting, *reading, problem));
      platform.Log(ProblemEvent(*setting, *reading, problem));
    }
}

}  // namespace

int RunTurnDisplay(TurnPlatform& platform, int argc, const char* const* argv) {
  const std::optional<Request> request = ParseArguments(argc, argv);
  Report report;  // a bad argument until the argument is read
  if (request) {
    const TurnInputs inputs = ReadInputs(platform, *request);
    report = Decide(platform, *request, inputs);
    if (request->status) {
      for (const std::string& line : StatusLines(inputs, report)) platform.Print(line);
      const ChainStatus chain = ChainLines(ReadChain(platform));
      for (const std::string& line : chain.lines) platform.Print(line);
      return chain.fault ? kChainFaultExitCode : 0;
    }
    TellProblems(platform, inputs);
  } else {
    report.arguments = ArgumentsGiven(argc, argv);
  }
  platform.Say(OutcomeLine(report));
  platform.Log(OutcomeEvent(report));
  return ExitCodeFor(report.outcome);
}

}  // namespace turndisplay

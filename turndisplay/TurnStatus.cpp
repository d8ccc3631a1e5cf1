#include "turndisplay/TurnStatus.h"

#include "common/Format.h"
#include "turndisplay/RotationRules.h"

namespace turndisplay {

namespace {

// GetAutoRotationState's bits in their order, AR_DISABLED to AR_LAPTOP.
constexpr const char* kAutoRotationBits[] = {
    "AR_DISABLED",   "AR_SUPPRESSED",    "AR_REMOTESESSION", "AR_MULTIMON",
    "AR_NOSENSOR",   "AR_NOT_SUPPORTED", "AR_DOCKED",        "AR_LAPTOP",
};

std::string SettingLine(const PolicySetting& setting, const PolicyReading& reading) {
  const char* key = reading.source == SettingSource::PolicyKey ? "from the policy key "
                                                               : "from the preference key ";
  std::string line =
      FormatString("%s: %u (%s), ", setting.valueName, static_cast<unsigned>(reading.value),
                   MeaningOf(setting, reading.value)) +
      (reading.source == SettingSource::Default ? "the default" : key + KeyName(reading.source));
  for (const SettingProblem& problem : reading.problems)
    line += "; ignored: the value in " + KeyName(problem.source) + " " + problem.what;
  return line;
}

std::string StateLine(const std::optional<std::uint32_t>& state) {
  if (!state) return "Windows' rotation state: unknown (no GetAutoRotationState, or it failed)";
  std::string names;
  std::uint32_t bit = 1;
  for (const char* name : kAutoRotationBits) {
    if ((*state & bit) != 0) names += (names.empty() ? "" : " | ") + std::string(name);
    bit <<= 1;
  }
  if ((*state & ~(bit - 1)) != 0) names += (names.empty() ? "" : " | ") + std::string("?");
  if (*state == 0) names = "AR_ENABLED";
  return FormatString("Windows' rotation state: %s (0x%X)", names.c_str(),
                      static_cast<unsigned>(*state));
}

std::string PostureLine(const TurnInputs& inputs) {
  std::string line =
      FormatString("Posture: %s (SM_CONVERTIBLESLATEMODE is %d)",
                   inputs.slateMode == 0 ? "tablet" : "laptop", static_cast<int>(inputs.slateMode));
  if (static_cast<AutoRotation>(inputs.autoRotation.value) == AutoRotation::TabletPosture &&
      LaptopOrDocked(inputs.autoRotationState, inputs.slateMode))
    line += "; laptop posture or docked: a turn to 0 degrees would happen, 90, 180 and 270 "
            "degrees would wait for tablet posture";
  return line;
}

std::string DisplayLine(const TurnInputs& inputs) {
  if (!inputs.display.found) return "Display: none, " + inputs.display.why;
  std::string line = "Display: " + inputs.display.label;
  if (inputs.display.device.empty() && !inputs.displayName.empty())
    line += " " + inputs.displayName;
  line += ", connector " + (inputs.connector ? ConnectorName(*inputs.connector) : "unknown");
  if (!inputs.current) return line + ", its current mode cannot be read";
  return line + FormatString(", at %u degrees (%u x %u)", AngleOf(inputs.current->orientation),
                             static_cast<unsigned>(inputs.current->width),
                             static_cast<unsigned>(inputs.current->height));
}

std::string Stored(std::uint32_t value) {
  const std::optional<Orientation> orientation = RestoredOrientation(value);
  if (!orientation) return FormatString("%u (no orientation)", static_cast<unsigned>(value));
  return FormatString("%u (%u degrees)", static_cast<unsigned>(value), AngleOf(*orientation));
}

std::string StoredLine(const TurnInputs& inputs) {
  if (!inputs.saved) return "Stored orientation: none, " + inputs.settingsFile + " cannot be read";
  return "Stored orientation: " + Stored(inputs.saved->shown) + ", pending: " +
         (inputs.saved->pending == 0 ? std::string("none") : Stored(inputs.saved->pending));
}

}  // namespace

std::vector<std::string> StatusLines(const TurnInputs& inputs, const Report& report) {
  std::string outcome = OutcomeLine(report);
  const std::string prefix = "TurnDisplay: ";
  if (outcome.compare(0, prefix.size(), prefix) == 0) outcome.erase(0, prefix.size());
  return {
      SettingLine(kAutoRotationSetting, inputs.autoRotation),
      SettingLine(kDisplaysSetting, inputs.displays),
      PostureLine(inputs),
      StateLine(inputs.autoRotationState),
      DisplayLine(inputs),
      StoredLine(inputs),
      FormatString("A turn now: exit code %d, ", ExitCodeFor(report.outcome)) + outcome,
  };
}

}  // namespace turndisplay

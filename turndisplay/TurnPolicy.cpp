#include "turndisplay/TurnPolicy.h"

#include <iterator>
#include <optional>
#include <utility>

#include "common/Format.h"

namespace turndisplay {

namespace {

constexpr PolicyChoice kAutoRotationChoices[] = {
    {0, "AutoRotation_Never", "never"},
    {1, "AutoRotation_TabletPosture", "only in tablet posture"},
    {2, "AutoRotation_Always", "always"},
};

constexpr PolicyChoice kDisplaysChoices[] = {
    {0, "Displays_BuiltInPanel", "the built-in panel"},
    {1, "Displays_Primary", "the primary display"},
};

// The registry's value types by number, for the diagnostic line.
constexpr const char* kRegistryTypes[] = {
    "REG_NONE",
    "REG_SZ",
    "REG_EXPAND_SZ",
    "REG_BINARY",
    "REG_DWORD",
    "REG_DWORD_BIG_ENDIAN",
    "REG_LINK",
    "REG_MULTI_SZ",
    "REG_RESOURCE_LIST",
    "REG_FULL_RESOURCE_DESCRIPTOR",
    "REG_RESOURCE_REQUIREMENTS_LIST",
    "REG_QWORD",
};

std::string TypeName(std::uint32_t type) {
  if (type < std::size(kRegistryTypes)) return kRegistryTypes[type];
  return FormatString("value of type %u", static_cast<unsigned>(type));
}

bool IsChoice(const PolicySetting& setting, std::uint32_t value) {
  for (const PolicyChoice& choice : setting)
    if (choice.value == value) return true;
  return false;
}

// What is wrong with one key's value: none when it is usable, empty when it is missing.
std::optional<std::string> Unusable(const PolicySetting& setting, const RegistryRead& read) {
  if (read.error == kErrorFileNotFound) return "";
  // A longer value still tells its type and size.
  if (read.error != 0 && read.error != kErrorMoreData)
    return FormatString("cannot be read (error %d)", static_cast<int>(read.error));
  if (read.type != kRegDword) return "is a " + TypeName(read.type) + ", not a REG_DWORD";
  if (read.error != 0 || read.size != 4)
    return FormatString("is a REG_DWORD of %u bytes", static_cast<unsigned>(read.size));
  if (!IsChoice(setting, read.dword))
    return FormatString("is %u, which is no choice", static_cast<unsigned>(read.dword));
  return std::nullopt;
}

}  // namespace

const PolicySetting kAutoRotationSetting = {"AutoRotation", 1, kAutoRotationChoices,
                                            std::size(kAutoRotationChoices)};
const PolicySetting kDisplaysSetting = {"Displays", 0, kDisplaysChoices,
                                        std::size(kDisplaysChoices)};
const PolicySetting* const kPolicySettings[2] = {&kAutoRotationSetting, &kDisplaysSetting};

PolicyReading ReadSetting(const PolicySetting& setting, const RegistryRead& policy,
                          const RegistryRead& preference) {
  PolicyReading reading{setting.defaultValue, SettingSource::Default, {}};
  const std::pair<SettingSource, const RegistryRead*> keys[] = {
      {SettingSource::PolicyKey, &policy}, {SettingSource::PreferenceKey, &preference}};
  for (const auto& [source, read] : keys) {
    const std::optional<std::string> problem = Unusable(setting, *read);
    if (!problem) {
      reading.value = read->dword;
      reading.source = source;
      break;
    }
    if (!problem->empty()) reading.problems.push_back({source, *problem});
  }
  return reading;
}

std::string KeyName(SettingSource source) {
  switch (source) {
    case SettingSource::PolicyKey: return std::string("HKLM\\") + kPolicyKey;
    case SettingSource::PreferenceKey: return std::string("HKLM\\") + kPreferenceKey;
    case SettingSource::Default: break;
  }
  return {};
}

std::string ValueTaken(const PolicySetting& setting, const PolicyReading& reading) {
  std::string taken = FormatString("%u (%s)", static_cast<unsigned>(reading.value),
                                   MeaningOf(setting, reading.value));
  if (reading.source != SettingSource::Default) taken += " from " + KeyName(reading.source);
  return taken;
}

std::string ProblemLine(const PolicySetting& setting, const PolicyReading& reading,
                        const SettingProblem& problem) {
  return FormatString("TurnDisplay: %s %s in %s %s; using %s",
                      problem.source == SettingSource::PolicyKey ? "policy" : "preference",
                      setting.valueName, KeyName(problem.source).c_str(), problem.what.c_str(),
                      ValueTaken(setting, reading).c_str());
}

const char* MeaningOf(const PolicySetting& setting, std::uint32_t value) {
  for (const PolicyChoice& choice : setting)
    if (choice.value == value) return choice.meaning;
  return "?";
}

}  // namespace turndisplay

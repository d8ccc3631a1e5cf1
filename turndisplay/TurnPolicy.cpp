#include "turndisplay/TurnPolicy.h"

#include <iterator>

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

std::string Problem(const PolicySetting& setting, const std::string& what) {
  return FormatString("TurnDisplay: policy %s in HKLM\\%s %s; using %u (%s)", setting.valueName,
                      kPolicyKey, what.c_str(), static_cast<unsigned>(setting.defaultValue),
                      MeaningOf(setting, setting.defaultValue));
}

}  // namespace

const PolicySetting kAutoRotationSetting = {"AutoRotation", 1, kAutoRotationChoices,
                                            std::size(kAutoRotationChoices)};
const PolicySetting kDisplaysSetting = {"Displays", 0, kDisplaysChoices,
                                        std::size(kDisplaysChoices)};
const PolicySetting* const kPolicySettings[2] = {&kAutoRotationSetting, &kDisplaysSetting};

PolicyReading ReadPolicySetting(const PolicySetting& setting, const RegistryRead& read) {
  const std::uint32_t fallback = setting.defaultValue;
  if (read.error == kErrorFileNotFound) return {fallback, {}};
  // A longer value still tells its type and size.
  if (read.error != 0 && read.error != kErrorMoreData)
    return {fallback, Problem(setting, FormatString("cannot be read (error %d)",
                                                    static_cast<int>(read.error)))};
  if (read.type != kRegDword)
    return {fallback, Problem(setting, "is a " + TypeName(read.type) + ", not a REG_DWORD")};
  if (read.error != 0 || read.size != 4)
    return {fallback, Problem(setting, FormatString("is a REG_DWORD of %u bytes",
                                                    static_cast<unsigned>(read.size)))};
  if (!IsChoice(setting, read.dword))
    return {fallback, Problem(setting, FormatString("is %u, which is no choice",
                                                    static_cast<unsigned>(read.dword)))};
  return {read.dword, {}};
}

const char* MeaningOf(const PolicySetting& setting, std::uint32_t value) {
  for (const PolicyChoice& choice : setting)
    if (choice.value == value) return choice.meaning;
  return "?";
}

}  // namespace turndisplay

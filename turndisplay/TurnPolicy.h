#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The fleet policy an administrator sets in HKLM\SOFTWARE\Policies\Pivotra (Group Policy with
// policy/Pivotra.admx, or Intune): two DWORD values, each with its choices and its default. The
// package's properties write the same values as preferences under HKLM\SOFTWARE\Pivotra; a
// policy value wins over a preference, a preference over the default.
namespace turndisplay {

enum class AutoRotation : std::uint32_t { Never = 0, TabletPosture = 1, Always = 2 };
enum class Displays : std::uint32_t { BuiltInPanel = 0, Primary = 1 };

struct TurnPolicy {
  AutoRotation autoRotation;
  Displays displays;
};

// One choice of a setting. id names its text in the templates ("AutoRotation_Never").
struct PolicyChoice {
  std::uint32_t value;
  const char* id;
  const char* meaning;
};

struct PolicySetting {
  const char* valueName;
  std::uint32_t defaultValue;
  const PolicyChoice* choices;
  std::size_t choiceCount;

  const PolicyChoice* begin() const { return choices; }
  const PolicyChoice* end() const { return choices + choiceCount; }
};

// Below HKEY_LOCAL_MACHINE, in the 64-bit view of the registry where Group Policy writes.
inline constexpr const char* kPolicyKey = "SOFTWARE\\Policies\\Pivotra";
// Below HKEY_LOCAL_MACHINE, in the program's own view, where its package writes: the shipped
// 32-bit package writes the 32-bit view on 64-bit Windows.
inline constexpr const char* kPreferenceKey = "SOFTWARE\\Pivotra";

// Where a setting's value came from.
enum class SettingSource { PolicyKey, PreferenceKey, Default };

extern const PolicySetting kAutoRotationSetting;
extern const PolicySetting kDisplaysSetting;
extern const PolicySetting* const kPolicySettings[2];

// What RegQueryValueExA gave for one value: its error (the open key's error when the key could
// not be opened), type and size, and the first four bytes of its data as a little-endian DWORD.
struct RegistryRead {
  std::int32_t error;
  std::uint32_t type;
  std::uint32_t size;
  std::uint32_t dword;
};

inline constexpr std::int32_t kErrorFileNotFound = 2;  // ERROR_FILE_NOT_FOUND
inline constexpr std::int32_t kErrorMoreData = 234;    // ERROR_MORE_DATA
inline constexpr std::uint32_t kRegDword = 4;          // REG_DWORD

// A value that was there but could not be used: "is a REG_SZ, not a REG_DWORD".
struct SettingProblem {
  SettingSource source;
  std::string what;
};

struct PolicyReading {
  std::uint32_t value;
  SettingSource source;
  std::vector<SettingProblem> problems;  // in the order the keys are read
};

// The policy key's value, else the preference key's, else the default. A missing key or value
// gives way silently; a value that cannot be read, is not a REG_DWORD or is no choice gives way
// too, and is a problem.
PolicyReading ReadSetting(const PolicySetting& setting, const RegistryRead& policy,
                          const RegistryRead& preference);

// "HKLM\SOFTWARE\Policies\Pivotra", "HKLM\SOFTWARE\Pivotra"; "" for the default.
std::string KeyName(SettingSource source);

// The value taken and where from, for the lines: "1 (only in tablet posture)", or
// "0 (never) from HKLM\SOFTWARE\Pivotra".
std::string ValueTaken(const PolicySetting& setting, const PolicyReading& reading);

// The diagnostic line of one problem.
std::string ProblemLine(const PolicySetting& setting, const PolicyReading& reading,
                        const SettingProblem& problem);

// The meaning of a setting's value, "never" or "the primary display"; "?" for no choice.
const char* MeaningOf(const PolicySetting& setting, std::uint32_t value);

}  // namespace turndisplay

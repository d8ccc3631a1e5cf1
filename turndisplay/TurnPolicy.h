#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The fleet policy an administrator sets in HKLM\SOFTWARE\Policies\Pivotra (Group Policy with
// policy/Pivotra.admx, or Intune): two DWORD values, each with its choices and its default.
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

struct PolicyReading {
  std::uint32_t value;
  std::string problem;  // the diagnostic line when the value was unusable; empty otherwise
};

// A missing key or value gives the default silently; a value that cannot be read, is not a
// REG_DWORD or is no choice gives the default and one line that says so.
PolicyReading ReadPolicySetting(const PolicySetting& setting, const RegistryRead& read);

// The meaning of a setting's value, "never" or "the primary display"; "?" for no choice.
const char* MeaningOf(const PolicySetting& setting, std::uint32_t value);

}  // namespace turndisplay

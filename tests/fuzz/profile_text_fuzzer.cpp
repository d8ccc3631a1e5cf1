// The native settings-file replacement on any file text: a written key reads back, and every
// other key reads as it did before the write.
#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

#include "common/TextCase.h"
#include "orientation/ProfileText.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

// What a profile line can hold as a name: no line break, '=', bracket or zero, and no blank at
// either end (blanks around names are not part of them).
bool Holdable(std::string_view name) {
  if (name.empty() || static_cast<unsigned char>(name.front()) <= ' ' ||
      static_cast<unsigned char>(name.back()) <= ' ')
    return false;
  return name.find_first_of(std::string_view("=[]\r\n\0", 6)) == std::string_view::npos;
}

// A name of the settings file, a piece of the text itself or a made-up one, in any mix of
// cases: the same name in another case is the same name.
std::string Name(FuzzedDataProvider& input, std::string_view text) {
  static constexpr const char* kKnown[] = {"G-SensorCtrl", "GSensorLastOrientation", "PortBase",
                                           "GSensor_Active_Rotation_Count", "Other"};
  std::string name;
  switch (input.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
      name = kKnown[input.ConsumeIntegralInRange<std::size_t>(0, std::size(kKnown) - 1)];
      break;
    case 1: {
      const std::size_t at = input.ConsumeIntegralInRange<std::size_t>(0, text.size());
      name = std::string(text.substr(at, input.ConsumeIntegralInRange<std::size_t>(1, 16)));
      break;
    }
    default:
      name = input.ConsumeRandomLengthString(8);
      break;
  }
  for (char& c : name)
    if (std::isalpha(static_cast<unsigned char>(c)) && input.ConsumeBool()) c ^= 0x20;
  return Holdable(name) ? name : "x";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string before =
      input.ConsumeBytesAsString(input.ConsumeIntegralInRange<std::size_t>(0, size));
  const std::string section = Name(input, before), key = Name(input, before);
  const std::string otherSection = Name(input, before), otherKey = Name(input, before);
  const std::string value = std::to_string(input.ConsumeIntegral<std::uint32_t>());

  const std::string after = profile::WriteStringInText(before, section, key, value);
  Require(std::to_string(profile::ReadIntInText(after, section.c_str(), key.c_str(), 0)) == value,
          "a written key reads back");
  Require(profile::ReadValueInText(after, section, key) == value,
          "a written key reads back as written");
  const bool same = EqualsIgnoringCase(section, otherSection) && EqualsIgnoringCase(key, otherKey);
  Require(same || profile::ReadValueInText(after, otherSection, otherKey) ==
                      profile::ReadValueInText(before, otherSection, otherKey),
          "every other key is unchanged");
  Require(profile::WriteStringInText(after, section, key, value) == after,
          "writing the same value again changes nothing");
  return 0;
}

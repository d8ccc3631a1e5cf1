// The install-switch scan over any command line, read as a single-byte code page and as a
// double-byte one in which every byte from 0x81 leads a character and any byte may trail it,
// a minus sign and a slash included. A switch is found exactly when the line ends in a mark, at
// a character's start, followed by the switch's name.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "service/InstallSwitch.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

char Folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameLetters(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b)
    if (Folded(*a) != Folded(*b)) return false;
  return *a == *b;
}

bool IsLead(char c) { return static_cast<unsigned char>(c) >= 0x81; }

const char* NextSingleByte(const char* position) { return position + 1; }

// As CharNextA: a lead byte before the terminating zero is a character of its own.
const char* NextDoubleByte(const char* position) {
  return IsLead(position[0]) && position[1] != '\0' ? position + 2 : position + 1;
}

// Whether the character at offset starts there, walking as the code page does.
bool StartsACharacter(std::string_view line, std::size_t offset, bool doubleByte) {
  std::size_t at = 0;
  while (at < offset) at += doubleByte && IsLead(line[at]) && at + 1 < line.size() ? 2 : 1;
  return at == offset;
}

InstallSwitch Expected(std::string_view line, bool doubleByte) {
  struct Name {
    std::string_view text;
    InstallSwitch value;
  };
  static constexpr Name kNames[] = {{"unregserver", InstallSwitch::UnregServer},
                                    {"regserver", InstallSwitch::RegServer},
                                    {"service", InstallSwitch::Service}};
  for (const Name& name : kNames) {
    if (line.size() <= name.text.size()) continue;
    const std::size_t mark = line.size() - name.text.size() - 1;
    if ((line[mark] == '-' || line[mark] == '/') && StartsACharacter(line, mark, doubleByte) &&
        SameLetters(std::string(line.substr(mark + 1)).c_str(), name.text.data()))
      return name.value;
  }
  return InstallSwitch::None;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A command line ends at its first zero.
  std::string line(reinterpret_cast<const char*>(data), size);
  line.resize(line.find('\0') == std::string::npos ? line.size() : line.find('\0'));
  for (const bool doubleByte : {false, true}) {
    const CommandLineText text{doubleByte ? NextDoubleByte : NextSingleByte, SameLetters};
    Require(ScanInstallSwitch(line.c_str(), text) == Expected(line, doubleByte),
            doubleByte ? "the double-byte scan finds the switch that ends the line"
                       : "the single-byte scan finds the switch that ends the line");
  }
  return 0;
}

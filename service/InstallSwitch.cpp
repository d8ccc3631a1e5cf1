#include "service/InstallSwitch.h"

namespace {

struct SwitchName {
  const char* text;
  InstallSwitch value;
};

// Compared in this order.
constexpr SwitchName kSwitches[] = {
    {"UnregServer", InstallSwitch::UnregServer},
    {"RegServer", InstallSwitch::RegServer},
    {"Service", InstallSwitch::Service},
};

// The first minus sign or slash at or after position, or null.
const char* FindSwitchMark(const char* position, const CommandLineText& text) {
  for (; *position != '\0'; position = text.next(position)) {
    if (*position == '-' || *position == '/') return position;
  }
  return nullptr;
}

}  // namespace

InstallSwitch ScanInstallSwitch(const char* commandLine, const CommandLineText& text) {
  for (const char* mark = FindSwitchMark(commandLine, text); mark != nullptr;) {
    const char* token = mark + 1;
    for (const SwitchName& candidate : kSwitches) {
      if (text.equalsIgnoringCase(token, candidate.text)) return candidate.value;
    }
    mark = FindSwitchMark(token, text);
  }
  return InstallSwitch::None;
}

#include <windows.h>

#include "service/InstallSwitch.h"

namespace {

const char* NextCharacter(const char* position) { return ::CharNextA(position); }

bool EqualsIgnoringCase(const char* a, const char* b) { return ::lstrcmpiA(a, b) == 0; }

}  // namespace

InstallSwitch FindInstallSwitch(const char* commandLine) {
  static constexpr CommandLineText kText{NextCharacter, EqualsIgnoringCase};
  return ScanInstallSwitch(commandLine, kText);
}

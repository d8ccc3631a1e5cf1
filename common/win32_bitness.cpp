#include <windows.h>

#include "common/Bitness.h"

bool QueryWindowsIs64Bit() {
  BOOL underWow64 = FALSE;
  const BOOL queried = ::IsWow64Process(::GetCurrentProcess(), &underWow64);
  return DecideWindowsIs64Bit(sizeof(void*) == 8, queried != FALSE, underWow64 != FALSE);
}

#include "common/Bitness.h"

bool DecideWindowsIs64Bit(bool processIs64Bit, bool wow64QuerySucceeded, bool runsUnderWow64) {
  if (processIs64Bit) return true;
  return wow64QuerySucceeded && runsUnderWow64;
}

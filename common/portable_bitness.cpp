#include "common/Bitness.h"

// Natively there is no WOW64 to ask.
bool QueryWindowsIs64Bit() { return DecideWindowsIs64Bit(sizeof(void*) == 8, false, false); }

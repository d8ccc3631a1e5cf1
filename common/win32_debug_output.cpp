#include <windows.h>

#include "common/DebugPrint.h"

void WriteDebugString(const char* text) { ::OutputDebugStringA(text); }

#pragma once

#include <cstdarg>

#include "common/Format.h"

// Diagnostics go to the debugger output stream, exactly as formatted: no newline is added.
void DebugPrint(const char* format, ...) PIVOTRA_PRINTF(1, 2);
void DebugPrintV(const char* format, std::va_list args);

// The one place where a formatted line leaves the process: OutputDebugStringA on Windows,
// a capture that tests can read on a native build.
void WriteDebugString(const char* text);

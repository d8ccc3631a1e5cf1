#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

// mingw's headers name the printf dialect its vsnprintf speaks; elsewhere it is the C library's.
#if defined(__MINGW_PRINTF_FORMAT)
#define PIVOTRA_PRINTF(formatIndex, firstArg) \
  __attribute__((format(__MINGW_PRINTF_FORMAT, formatIndex, firstArg)))
#else
#define PIVOTRA_PRINTF(formatIndex, firstArg) __attribute__((format(printf, formatIndex, firstArg)))
#endif

// printf-style formatting into a string that grows to fit; an unformattable text gives "".
std::string FormatString(const char* format, ...) PIVOTRA_PRINTF(1, 2);
std::string FormatStringV(const char* format, std::va_list args);

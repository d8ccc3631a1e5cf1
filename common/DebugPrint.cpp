#include "common/DebugPrint.h"

#include <string>

void DebugPrint(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  DebugPrintV(format, args);
  va_end(args);
}

void DebugPrintV(const char* format, std::va_list args) {
  const std::string text = FormatStringV(format, args);
  WriteDebugString(text.c_str());
}

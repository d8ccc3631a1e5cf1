#include <windows.h>

#include "common/ModuleDirectory.h"

std::string ModuleFileName() {
  // A longer path is cut to MAX_PATH - 1 characters; the zero-filled buffer keeps it terminated
  // also on systems whose GetModuleFileNameA leaves a cut path unterminated.
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  path[MAX_PATH - 1] = '\0';
  return path;
}

bool IsAnsiLeadByte(unsigned char byte) { return ::IsDBCSLeadByte(byte) != FALSE; }

#pragma once

#include <string>

// A native build has no Windows executable path: tests set the one ModuleFileName returns.
// The portable ANSI code page is single-byte.
void SetPortableModuleFileName(std::string path);

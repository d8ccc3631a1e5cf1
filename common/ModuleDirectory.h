#pragma once

#include <string>
#include <string_view>

// Tells whether a byte starts a double-byte character in the ANSI code page in use.
using LeadBytePredicate = bool (*)(unsigned char byte);

// The path cut after its last backslash (kept or dropped); a path without one comes back whole.
// The trail byte of a double-byte character is never taken for a backslash, even when it is 0x5C.
std::string CutAtLastBackslash(std::string_view path, bool withTrailingBackslash,
                               LeadBytePredicate isLeadByte);

// The directory of the running executable; the settings file and the display-rotation
// program are found there. Every caller asks for the trailing backslash.
std::string GetModuleDirectory(bool withTrailingBackslash);

// Platform calls behind GetModuleDirectory.
std::string ModuleFileName();  // the executable's full path, at most MAX_PATH - 1 characters
bool IsAnsiLeadByte(unsigned char byte);

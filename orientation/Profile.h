#pragma once

#include <cstdint>

// The two private-profile routines the settings file needs, with the contract of
// GetPrivateProfileIntA and WritePrivateProfileStringA. Windows uses the real routines; a
// native build has a small replacement that keeps the same file format and results.
namespace profile {

// The key's value in the section, read as an unsigned integer: leading blanks, a sign and a
// 0x, 0o or 0b prefix are understood, reading stops at the first other character, and values
// wrap at 32 bits. defaultValue when the file, the section or the key is missing, or the value
// is empty.
std::uint32_t ReadInt(const char* section, const char* key, int defaultValue, const char* path);

// Replaces the key's value in its line, or appends the key at the end of its section; creates
// the file and the section when they are missing. False when the file cannot be written.
bool WriteString(const char* section, const char* key, const char* value, const char* path);

}  // namespace profile

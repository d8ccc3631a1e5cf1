#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A profile file's whole text, read and changed as the platform's private-profile routines read
// and change the file. Section and key names ignore case.
namespace profile {

// The key's value in the section, blanks around it removed; nothing when the section or the
// key is missing.
std::optional<std::string> ReadValueInText(std::string_view content, std::string_view section,
                                           std::string_view key);

// The value read as an unsigned integer, as profile::ReadInt reads it.
std::uint32_t ReadIntInText(std::string_view content, const char* section, const char* key,
                            int defaultValue);

// The text with the key's value replaced in its line, or the key appended at the end of its
// section, or the section and the key appended at the end.
std::string WriteStringInText(std::string_view content, std::string_view section,
                              std::string_view key, std::string_view value);

}  // namespace profile

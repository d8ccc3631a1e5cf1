#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// What installation hands the service control manager, and what it tells the user.
namespace installation {

// The service's command as the service control manager stores it, in double quotes: an
// unquoted path with blanks is tried cut at each blank first ("C:\Program.exe" for a program
// in "C:\Program Files"), a file that anyone allowed to write there could plant.
std::string QuotedCommand(std::string_view executablePath);

// The description's buffer for ChangeServiceConfig2A: zero-filled, at most 127 characters.
inline constexpr std::size_t kDescriptionBufferSize = 128;
std::array<char, kDescriptionBufferSize> DescriptionBuffer(std::string_view text);

inline constexpr const char* kCouldNotOpenManager = "Couldn't open service manager";
inline constexpr const char* kCouldNotCreate = "Couldn't create service";
inline constexpr const char* kCouldNotUpdate = "Couldn't update service";
inline constexpr const char* kCouldNotOpen = "Couldn't open service";
inline constexpr const char* kCouldNotDelete = "Service could not be deleted";

}  // namespace installation

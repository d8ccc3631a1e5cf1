#include <windows.h>

#include "orientation/Profile.h"

namespace profile {

std::uint32_t ReadInt(const char* section, const char* key, int defaultValue, const char* path) {
  return ::GetPrivateProfileIntA(section, key, defaultValue, path);
}

bool WriteString(const char* section, const char* key, const char* value, const char* path) {
  return ::WritePrivateProfileStringA(section, key, value, path) != FALSE;
}

}  // namespace profile

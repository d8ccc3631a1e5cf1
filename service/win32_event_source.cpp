#include "service/win32_event_source.h"

#include "common/UniqueHandle.h"

namespace event_source {

// The registry calls return their error; they do not set the last error.
LONG Register(const char* source, const std::string& messageFile) {
  unique_hkey key;
  LONG error = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, (kApplicationLog + std::string(source)).c_str(),
                                 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                                 key.put(), nullptr);
  if (error != ERROR_SUCCESS) return error;
  error = ::RegSetValueExA(key.get(), "EventMessageFile", 0, REG_EXPAND_SZ,
                           reinterpret_cast<const BYTE*>(messageFile.c_str()),
                           static_cast<DWORD>(messageFile.size() + 1));
  if (error != ERROR_SUCCESS) return error;
  const DWORD types = kTypesSupported;
  return ::RegSetValueExA(key.get(), "TypesSupported", 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&types), sizeof(types));
}

LONG Remove(const char* source) {
  const LONG error =
      ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, (kApplicationLog + std::string(source)).c_str());
  return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
}

}  // namespace event_source

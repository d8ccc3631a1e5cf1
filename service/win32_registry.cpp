#include "service/win32_registry.h"

#include <windows.h>

#include "common/UniqueHandle.h"

namespace {

HKEY RootKey(registry::Root root) {
  switch (root) {
    case registry::Root::ClassesRoot: return HKEY_CLASSES_ROOT;
    case registry::Root::CurrentUser: return HKEY_CURRENT_USER;
    case registry::Root::LocalMachine: return HKEY_LOCAL_MACHINE;
    case registry::Root::Users: return HKEY_USERS;
  }
  return nullptr;
}

// An empty name is the default value, which the registry calls know as a null name.
const char* ValueName(const std::string& name) { return name.empty() ? nullptr : name.c_str(); }

}  // namespace

// The registry calls return their error; they do not set the last error.
bool Win32Registry::KeyExists(registry::Root root, const std::string& path) {
  unique_hkey key;
  return ::RegOpenKeyExA(RootKey(root), path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

registry::Status Win32Registry::CreateKey(registry::Root root, const std::string& path) {
  unique_hkey key;
  return ::RegCreateKeyExA(RootKey(root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_WRITE, nullptr, key.put(), nullptr);
}

registry::Status Win32Registry::SetString(registry::Root root, const std::string& path,
                                          const std::string& name, const std::string& data) {
  unique_hkey key;
  const LONG opened = ::RegOpenKeyExA(RootKey(root), path.c_str(), 0, KEY_SET_VALUE, key.put());
  if (opened != ERROR_SUCCESS) return opened;
  return ::RegSetValueExA(key.get(), ValueName(name), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>(data.size() + 1));
}

registry::Status Win32Registry::DeleteValue(registry::Root root, const std::string& path,
                                            const std::string& name) {
  unique_hkey key;
  const LONG opened = ::RegOpenKeyExA(RootKey(root), path.c_str(), 0, KEY_SET_VALUE, key.put());
  if (opened != ERROR_SUCCESS) return opened;
  return ::RegDeleteValueA(key.get(), ValueName(name));
}

registry::Status Win32Registry::DeleteTree(registry::Root root, const std::string& path) {
  // With no subkey named, RegDeleteTreeA would empty the root itself.
  if (path.empty()) return ERROR_INVALID_PARAMETER;
  return ::RegDeleteTreeA(RootKey(root), path.c_str());
}

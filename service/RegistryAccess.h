#pragma once

#include <cstdint>
#include <string>

// The few registry operations the registry script needs, on keys named by a root and a path of
// subkeys separated by backslashes. Windows has one implementation on the real registry; the
// tests have one in memory. Every operation returns a Win32 error code, 0 on success.
namespace registry {

enum class Root { ClassesRoot, CurrentUser, LocalMachine, Users };

using Status = std::int32_t;
inline constexpr Status kOk = 0;
inline constexpr Status kNotFound = 2;       // ERROR_FILE_NOT_FOUND
inline constexpr Status kInvalidData = 13;   // ERROR_INVALID_DATA

class Access {
 public:
  virtual ~Access() = default;

  virtual bool KeyExists(Root root, const std::string& path) = 0;
  // Opens the key, creating every missing level.
  virtual Status CreateKey(Root root, const std::string& path) = 0;
  // A REG_SZ value, its terminating zero counted; an empty name is the key's default value.
  virtual Status SetString(Root root, const std::string& path, const std::string& name,
                           const std::string& data) = 0;
  // kNotFound when the key or the value is missing.
  virtual Status DeleteValue(Root root, const std::string& path, const std::string& name) = 0;
  // The key with all its values and subkeys; kNotFound when it is missing.
  virtual Status DeleteTree(Root root, const std::string& path) = 0;
};

}  // namespace registry

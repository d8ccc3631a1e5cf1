#pragma once

#include "service/RegistryAccess.h"

// The registry operations of the registry script on the real registry.
class Win32Registry final : public registry::Access {
 public:
  bool KeyExists(registry::Root root, const std::string& path) override;
  registry::Status CreateKey(registry::Root root, const std::string& path) override;
  registry::Status SetString(registry::Root root, const std::string& path, const std::string& name,
                             const std::string& data) override;
  registry::Status DeleteValue(registry::Root root, const std::string& path,
                               const std::string& name) override;
  registry::Status DeleteTree(registry::Root root, const std::string& path) override;
};

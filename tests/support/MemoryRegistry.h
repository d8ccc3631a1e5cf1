#pragma once

#include <map>
#include <string>
#include <vector>

#include "service/RegistryAccess.h"

// A registry in memory with the rules of the real one: names ignore case and keep the
// spelling of their creation, creating a key creates its missing parents, and a key goes with
// everything under it.
class MemoryRegistry final : public registry::Access {
 public:
  bool KeyExists(registry::Root root, const std::string& path) override;
  registry::Status CreateKey(registry::Root root, const std::string& path) override;
  registry::Status SetString(registry::Root root, const std::string& path, const std::string& name,
                             const std::string& data) override;
  registry::Status DeleteValue(registry::Root root, const std::string& path,
                               const std::string& name) override;
  registry::Status DeleteTree(registry::Root root, const std::string& path) override;

  // Every key, then each of its values, one line each in order of their names:
  //   HKCR\AppID                    a key
  //   HKCR\AppID\Pivotra.EXE: AppID = {5A1C...}    a value ("@" is the default value)
  std::vector<std::string> Entries() const;

  // The given write (0: the next one) fails with status.
  void FailWrite(int write, registry::Status status);

 private:
  struct IgnoreCase {
    bool operator()(const std::string& a, const std::string& b) const;
  };
  using Values = std::map<std::string, std::string, IgnoreCase>;

  static std::string FullPath(registry::Root root, const std::string& path);
  bool WriteFails(registry::Status& status);

  std::map<std::string, Values, IgnoreCase> keys_;
  int writes_ = 0;
  int failing_ = -1;
  registry::Status failStatus_ = registry::kOk;
};

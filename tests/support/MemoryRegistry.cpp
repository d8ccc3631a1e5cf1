#include "tests/support/MemoryRegistry.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace {

int Lower(char c) { return std::tolower(static_cast<unsigned char>(c)); }

}  // namespace

bool MemoryRegistry::IgnoreCase::operator()(const std::string& a, const std::string& b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return Lower(x) < Lower(y); });
}

std::string MemoryRegistry::FullPath(registry::Root root, const std::string& path) {
  const char* prefix = "HKU";
  switch (root) {
    case registry::Root::ClassesRoot: prefix = "HKCR"; break;
    case registry::Root::CurrentUser: prefix = "HKCU"; break;
    case registry::Root::LocalMachine: prefix = "HKLM"; break;
    case registry::Root::Users: prefix = "HKU"; break;
  }
  return std::string(prefix) + "\\" + path;
}

bool MemoryRegistry::WriteFails(registry::Status& status) {
  if (writes_++ != failing_) return false;
  status = failStatus_;
  return true;
}

void MemoryRegistry::FailWrite(int write, registry::Status status) {
  failing_ = writes_ + write;
  failStatus_ = status;
}

bool MemoryRegistry::KeyExists(registry::Root root, const std::string& path) {
  return keys_.count(FullPath(root, path)) != 0;
}

registry::Status MemoryRegistry::CreateKey(registry::Root root, const std::string& path) {
  registry::Status status;
  if (WriteFails(status)) return status;
  // Each level from the root down, the way RegCreateKeyExA makes them; a level that exists
  // keeps its spelling.
  const std::string full = FullPath(root, path);
  std::size_t begin = full.find('\\') + 1;
  std::string made = full.substr(0, begin - 1);
  for (;;) {
    const std::size_t end = full.find('\\', begin);
    const std::string level = made + "\\" + full.substr(begin, end - begin);
    made = keys_.emplace(level, Values()).first->first;
    if (end == std::string::npos) break;
    begin = end + 1;
  }
  return registry::kOk;
}

registry::Status MemoryRegistry::SetString(registry::Root root, const std::string& path,
                                           const std::string& name, const std::string& data) {
  registry::Status status;
  if (WriteFails(status)) return status;
  const auto key = keys_.find(FullPath(root, path));
  if (key == keys_.end()) return registry::kNotFound;
  // A changed value keeps the spelling of its name, as the registry does.
  const auto value = key->second.find(name);
  if (value == key->second.end()) {
    key->second.emplace(name, data);
  } else {
    value->second = data;
  }
  return registry::kOk;
}

registry::Status MemoryRegistry::DeleteValue(registry::Root root, const std::string& path,
                                             const std::string& name) {
  registry::Status status;
  if (WriteFails(status)) return status;
  const auto key = keys_.find(FullPath(root, path));
  if (key == keys_.end() || key->second.erase(name) == 0) return registry::kNotFound;
  return registry::kOk;
}

registry::Status MemoryRegistry::DeleteTree(registry::Root root, const std::string& path) {
  registry::Status status;
  if (WriteFails(status)) return status;
  const std::string full = FullPath(root, path);
  if (keys_.count(full) == 0) return registry::kNotFound;
  const std::string below = full + "\\";
  const auto under = [&](const std::string& name) {
    if (name.size() <= below.size()) return false;
    const std::string head = name.substr(0, below.size());
    return !IgnoreCase()(head, below) && !IgnoreCase()(below, head);
  };
  for (auto it = keys_.begin(); it != keys_.end();) {
    const bool same = !IgnoreCase()(it->first, full) && !IgnoreCase()(full, it->first);
    it = same || under(it->first) ? keys_.erase(it) : std::next(it);
  }
  return registry::kOk;
}

std::vector<std::string> MemoryRegistry::Entries() const {
  std::vector<std::string> lines;
  for (const auto& [key, values] : keys_) {
    lines.push_back(key);
    for (const auto& [name, data] : values)
      lines.push_back(key + ": " + (name.empty() ? "@" : name) + " = " + data);
  }
  return lines;
}

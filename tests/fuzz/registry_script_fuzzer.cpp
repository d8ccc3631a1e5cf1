// The registry-script parser and interpreter on any script, over the registry in memory.
// A script that does not parse writes nothing. One that does registers the same whether it
// runs once or twice, and registering it again after unregistering gives the same registry;
// unregistering leaves no key but those kept at every level (NoRemove).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/TextCase.h"
#include "service/RegistryScript.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/support/MemoryRegistry.h"

namespace {

using registry_script::Key;
using registry_script::KeyFlag;

struct KeyPath {
  registry::Root root;
  std::string path;
  bool keptAtEveryLevel;
};

void CollectKeys(const Key& key, registry::Root root, const std::string& parent, bool kept,
                 std::vector<KeyPath>& keys) {
  const std::string path = parent.empty() ? key.name : parent + "\\" + key.name;
  kept = kept && key.flag == KeyFlag::NoRemove;
  keys.push_back({root, path, kept});
  for (const Key& subkey : key.subkeys) CollectKeys(subkey, root, path, kept, keys);
}

// The same key may be named more than once, and only one of its entries need keep it.
bool KeptSomewhere(const std::vector<KeyPath>& keys, const KeyPath& key) {
  return std::any_of(keys.begin(), keys.end(), [&](const KeyPath& other) {
    return other.keptAtEveryLevel && other.root == key.root && EqualsIgnoringCase(other.path, key.path);
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto replacements = registry_script::ModuleReplacements("C:\\Program Files\\Pivotra\\Pivotra.EXE");
  const registry_script::ParseResult parsed = registry_script::Parse(text, replacements);
  if (!parsed.script) {
    MemoryRegistry untouched;
    Require(!registry_script::Update(text, replacements, true, untouched).parsed,
            "a script that does not parse is not run");
    Require(untouched.Entries().empty(), "a script that does not parse writes nothing");
    return 0;
  }
  const registry_script::Script& script = *parsed.script;

  MemoryRegistry once;
  Require(registry_script::Register(script, once) == registry::kOk, "registering succeeds");
  const std::vector<std::string> registered = once.Entries();
  Require(registry_script::Register(script, once) == registry::kOk, "registering again succeeds");
  Require(once.Entries() == registered, "registering twice is registering once");

  Require(registry_script::Unregister(script, once) == registry::kOk, "unregistering succeeds");
  std::vector<KeyPath> keys;
  for (const registry_script::RootBlock& block : script.roots)
    for (const Key& key : block.keys) CollectKeys(key, block.root, "", true, keys);
  for (const KeyPath& key : keys)
    Require(!once.KeyExists(key.root, key.path) || KeptSomewhere(keys, key),
            "unregistering leaves only the keys kept at every level");

  Require(registry_script::Register(script, once) == registry::kOk, "registering anew succeeds");
  Require(once.Entries() == registered, "registering anew gives the registry of the first time");
  return 0;
}

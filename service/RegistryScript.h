#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/RegistryAccess.h"

// The registry-script language of COM servers, as far as this program's scripts use it:
//
//   HKCR
//   {
//       NoRemove AppID
//       {
//           {5A1C3E27-...} = s 'Pivotra'
//           'Pivotra.EXE'
//           {
//               val AppID = s {5A1C3E27-...}
//           }
//       }
//   }
//
// Tokens are separated by white space; 'quoted' tokens may hold blanks, '' stands for one
// quote. A key may carry a default value (= s text), then a body of subkeys and "val" entries.
// Only string data (type s) is understood. %Name% is replaced before anything else is read
// (names ignore case, %% is a percent sign); an unknown name is an error.
//
// Registering creates every key that is missing and writes its values. Unregistering removes a
// key with everything in it, except a NoRemove key, which stays while its entries go. A
// ForceRemove key is removed and written anew when registering; a Delete key is only removed,
// and only when registering.
namespace registry_script {

enum class KeyFlag { None, NoRemove, ForceRemove, Delete };

struct Value {
  std::string name;
  std::string data;
};

struct Key {
  KeyFlag flag = KeyFlag::None;
  std::string name;
  std::optional<std::string> defaultValue;
  std::vector<Value> values;
  std::vector<Key> subkeys;
};

struct RootBlock {
  registry::Root root;
  std::vector<Key> keys;
};

struct Script {
  std::vector<RootBlock> roots;
};

struct Replacement {
  std::string name;
  std::string value;
};

// The whole text is read before anything is written, so a malformed script writes nothing.
struct ParseResult {
  std::optional<Script> script;
  std::string error;  // what is wrong and near which token, when script is empty
};
ParseResult Parse(std::string_view text, const std::vector<Replacement>& replacements);

// The first failing registry call's code, or kOk. Registering stops at the first failure;
// unregistering goes on with the other entries and reports the first failure.
registry::Status Register(const Script& script, registry::Access& registry);
registry::Status Unregister(const Script& script, registry::Access& registry);

// Parses the whole text, then registers or unregisters it; a malformed script writes nothing.
struct UpdateResult {
  bool parsed = false;
  registry::Status status = registry::kOk;  // of the registry calls, when parsed
  std::string error;                        // what is wrong, when not parsed
};
UpdateResult Update(std::string_view text, const std::vector<Replacement>& replacements,
                    bool doRegister, registry::Access& registry);

// The replacements a COM server's scripts get: "Module" (the executable's path, single quotes
// doubled for use inside a quoted token, in double quotes), "Module_Raw" (the same without the
// double quotes) and "APPID" (empty).
std::vector<Replacement> ModuleReplacements(std::string_view modulePath);

}  // namespace registry_script

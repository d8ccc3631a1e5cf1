#include "service/RegistryScript.h"

#include <cstddef>

#include "common/TextCase.h"

namespace registry_script {
namespace {

using registry::Root;
using registry::Status;

// Far deeper than any script needs; it keeps a hostile one from exhausting the stack.
constexpr int kMaxDepth = 32;

bool IsWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string AtLine(std::size_t line) { return "line " + std::to_string(line) + ": "; }

// Replaces every %Name% before the text is split into tokens.
bool Expand(std::string_view text, const std::vector<Replacement>& replacements,
            std::string& expanded, std::string& error) {
  std::size_t line = 1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') ++line;
    if (text[i] != '%') {
      expanded += text[i];
      continue;
    }
    const std::size_t end = text.find('%', i + 1);
    if (end == std::string_view::npos) {
      error = AtLine(line) + "a replacement has no closing %";
      return false;
    }
    const std::string_view name = text.substr(i + 1, end - i - 1);
    if (name.empty()) {
      expanded += '%';
    } else {
      const Replacement* found = nullptr;
      for (const Replacement& replacement : replacements) {
        if (EqualsIgnoringCase(replacement.name, name)) found = &replacement;
      }
      if (found == nullptr) {
        error = AtLine(line) + "unknown replacement %" + std::string(name) + "%";
        return false;
      }
      expanded += found->value;
    }
    i = end;
  }
  return true;
}

struct Token {
  std::string text;
  bool quoted = false;
  std::size_t line = 0;
};

bool Tokenize(const std::string& text, std::vector<Token>& tokens, std::string& error) {
  std::size_t line = 1;
  std::size_t i = 0;
  while (i < text.size()) {
    if (IsWhiteSpace(text[i])) {
      if (text[i] == '\n') ++line;
      ++i;
      continue;
    }
    Token token;
    token.line = line;
    if (text[i] == '\'') {
      token.quoted = true;
      for (++i;; ++i) {
        if (i == text.size()) {
          error = AtLine(token.line) + "a quoted text has no closing quote";
          return false;
        }
        if (text[i] == '\'') {
          if (i + 1 < text.size() && text[i + 1] == '\'') {
            token.text += '\'';
            ++i;
            continue;
          }
          ++i;
          break;
        }
        if (text[i] == '\n') ++line;
        token.text += text[i];
      }
      if (i < text.size() && !IsWhiteSpace(text[i])) {
        error = AtLine(line) + "a quoted text must be followed by white space";
        return false;
      }
    } else {
      for (; i < text.size() && !IsWhiteSpace(text[i]); ++i) {
        if (text[i] == '\'') {
          error = AtLine(line) + "a quote inside \"" + token.text + "\"";
          return false;
        }
        token.text += text[i];
      }
    }
    tokens.push_back(std::move(token));
  }
  return true;
}

std::optional<Root> RootNamed(std::string_view name) {
  struct RootName {
    const char* shortName;
    const char* longName;
    Root root;
  };
  static constexpr RootName kRoots[] = {
      {"HKCR", "HKEY_CLASSES_ROOT", Root::ClassesRoot},
      {"HKCU", "HKEY_CURRENT_USER", Root::CurrentUser},
      {"HKLM", "HKEY_LOCAL_MACHINE", Root::LocalMachine},
      {"HKU", "HKEY_USERS", Root::Users},
  };
  for (const RootName& entry : kRoots) {
    if (EqualsIgnoringCase(name, entry.shortName) || EqualsIgnoringCase(name, entry.longName))
      return entry.root;
  }
  return std::nullopt;
}

class Parser {
 public:
  explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

  std::optional<Script> ParseScript() {
    Script script;
    while (!AtEnd()) {
      RootBlock block;
      const Token& name = Take();
      const std::optional<Root> root = name.quoted ? std::nullopt : RootNamed(name.text);
      if (!root) return Fail(name, "\"" + name.text + "\" is no root key");
      block.root = *root;
      if (!Expect("{", "after the root key")) return std::nullopt;
      while (!IsBare("}")) {
        if (AtEnd()) return FailAtEnd("the root key's block has no closing }");
        if (IsBare("val")) return Fail(Peek(), "a value needs a key above it");
        std::optional<Key> key = ParseKey(1);
        if (!key) return std::nullopt;
        block.keys.push_back(std::move(*key));
      }
      Take();
      script.roots.push_back(std::move(block));
    }
    return script;
  }

  const std::string& error() const { return error_; }

 private:
  bool AtEnd() const { return next_ == tokens_.size(); }
  const Token& Peek() const { return tokens_[next_]; }
  const Token& Take() { return tokens_[next_++]; }
  bool IsBare(std::string_view text) const {
    return !AtEnd() && !Peek().quoted && EqualsIgnoringCase(Peek().text, text);
  }
  static bool IsStructural(const Token& token) {
    return !token.quoted && (token.text == "{" || token.text == "}" || token.text == "=");
  }

  std::nullopt_t Fail(const Token& near, const std::string& what) {
    error_ = AtLine(near.line) + what;
    return std::nullopt;
  }
  std::nullopt_t FailAtEnd(const std::string& what) {
    error_ = "end of script: " + what;
    return std::nullopt;
  }

  bool Expect(std::string_view text, const char* where) {
    if (IsBare(text)) {
      Take();
      return true;
    }
    const std::string what = "expected " + std::string(text) + " " + where;
    if (AtEnd()) {
      FailAtEnd(what);
    } else {
      Fail(Peek(), what + ", found \"" + Peek().text + "\"");
    }
    return false;
  }

  // A key or value name: any token but the three structural ones.
  std::optional<std::string> TakeName(const char* what) {
    if (AtEnd()) return FailAtEnd(std::string("expected ") + what);
    const Token& token = Take();
    if (IsStructural(token)) return Fail(token, std::string("expected ") + what);
    return token.text;
  }

  // "= s data" after a key or value name.
  std::optional<std::string> TakeStringData() {
    if (!Expect("=", "before the value")) return std::nullopt;
    if (AtEnd()) return FailAtEnd("expected a value type");
    const Token& type = Take();
    if (type.quoted || !EqualsIgnoringCase(type.text, "s"))
      return Fail(type, "only string values (s) are supported, found \"" + type.text + "\"");
    if (AtEnd()) return FailAtEnd("expected the value's text");
    const Token& data = Take();
    if (IsStructural(data)) return Fail(data, "expected the value's text");
    return data.text;
  }

  std::optional<Key> ParseKey(int depth) {
    if (depth > kMaxDepth) return Fail(Peek(), "keys are nested too deeply");
    Key key;
    if (IsBare("NoRemove")) {
      key.flag = KeyFlag::NoRemove;
    } else if (IsBare("ForceRemove")) {
      key.flag = KeyFlag::ForceRemove;
    } else if (IsBare("Delete")) {
      key.flag = KeyFlag::Delete;
    }
    if (key.flag != KeyFlag::None) Take();

    const std::size_t at = next_;
    std::optional<std::string> name = TakeName("a key name");
    if (!name) return std::nullopt;
    // One level per key keeps removal exact: a path would leave its upper levels behind.
    if (name->empty() || name->find('\\') != std::string::npos)
      return Fail(tokens_[at], "\"" + *name + "\" is no key name");
    key.name = std::move(*name);

    if (IsBare("=")) {
      std::optional<std::string> data = TakeStringData();
      if (!data) return std::nullopt;
      key.defaultValue = std::move(*data);
    }
    if (!IsBare("{")) return key;
    Take();
    while (!IsBare("}")) {
      if (AtEnd()) return FailAtEnd("the block of key \"" + key.name + "\" has no closing }");
      if (IsBare("val")) {
        Take();
        Value value;
        std::optional<std::string> valueName = TakeName("a value name");
        if (!valueName) return std::nullopt;
        std::optional<std::string> data = TakeStringData();
        if (!data) return std::nullopt;
        key.values.push_back({std::move(*valueName), std::move(*data)});
        continue;
      }
      std::optional<Key> subkey = ParseKey(depth + 1);
      if (!subkey) return std::nullopt;
      key.subkeys.push_back(std::move(*subkey));
    }
    Take();
    return key;
  }

  std::vector<Token> tokens_;
  std::size_t next_ = 0;
  std::string error_;
};

std::string Child(const std::string& parent, const std::string& name) {
  return parent.empty() ? name : parent + "\\" + name;
}

bool Missing(Status status) { return status == registry::kNotFound; }

Status RegisterKey(const Key& key, Root root, const std::string& parent,
                   registry::Access& registry) {
  const std::string path = Child(parent, key.name);
  if (key.flag == KeyFlag::Delete || key.flag == KeyFlag::ForceRemove) {
    const Status removed = registry.DeleteTree(root, path);
    if (removed != registry::kOk && !Missing(removed)) return removed;
    if (key.flag == KeyFlag::Delete) return registry::kOk;
  }
  if (Status status = registry.CreateKey(root, path); status != registry::kOk) return status;
  if (key.defaultValue) {
    if (Status status = registry.SetString(root, path, "", *key.defaultValue);
        status != registry::kOk)
      return status;
  }
  for (const Value& value : key.values) {
    if (Status status = registry.SetString(root, path, value.name, value.data);
        status != registry::kOk)
      return status;
  }
  for (const Key& subkey : key.subkeys) {
    if (Status status = RegisterKey(subkey, root, path, registry); status != registry::kOk)
      return status;
  }
  return registry::kOk;
}

void Note(Status status, Status& first) {
  if (status != registry::kOk && !Missing(status) && first == registry::kOk) first = status;
}

void UnregisterKey(const Key& key, Root root, const std::string& parent,
                   registry::Access& registry, Status& first) {
  const std::string path = Child(parent, key.name);
  switch (key.flag) {
    case KeyFlag::Delete:
      return;
    case KeyFlag::NoRemove:
      if (!registry.KeyExists(root, path)) return;
      for (const Value& value : key.values) Note(registry.DeleteValue(root, path, value.name), first);
      for (const Key& subkey : key.subkeys) UnregisterKey(subkey, root, path, registry, first);
      return;
    case KeyFlag::None:
    case KeyFlag::ForceRemove:
      Note(registry.DeleteTree(root, path), first);
      return;
  }
}

}  // namespace

ParseResult Parse(std::string_view text, const std::vector<Replacement>& replacements) {
  ParseResult result;
  std::string expanded;
  if (!Expand(text, replacements, expanded, result.error)) return result;
  std::vector<Token> tokens;
  if (!Tokenize(expanded, tokens, result.error)) return result;
  Parser parser(std::move(tokens));
  result.script = parser.ParseScript();
  if (!result.script) result.error = parser.error();
  return result;
}

registry::Status Register(const Script& script, registry::Access& registry) {
  for (const RootBlock& block : script.roots) {
    for (const Key& key : block.keys) {
      if (Status status = RegisterKey(key, block.root, "", registry); status != registry::kOk)
        return status;
    }
  }
  return registry::kOk;
}

registry::Status Unregister(const Script& script, registry::Access& registry) {
  Status first = registry::kOk;
  for (const RootBlock& block : script.roots) {
    for (const Key& key : block.keys) UnregisterKey(key, block.root, "", registry, first);
  }
  return first;
}

UpdateResult Update(std::string_view text, const std::vector<Replacement>& replacements,
                    bool doRegister, registry::Access& registry) {
  UpdateResult result;
  ParseResult parsed = Parse(text, replacements);
  if (!parsed.script) {
    result.error = std::move(parsed.error);
    return result;
  }
  result.parsed = true;
  result.status = doRegister ? Register(*parsed.script, registry) : Unregister(*parsed.script, registry);
  return result;
}

std::vector<Replacement> ModuleReplacements(std::string_view modulePath) {
  std::string raw;
  for (char c : modulePath) {
    raw += c;
    if (c == '\'') raw += '\'';
  }
  return {{"Module", "\"" + raw + "\""}, {"Module_Raw", raw}, {"APPID", ""}};
}

}  // namespace registry_script

// One table of registry-script cases, run on the real registry on Windows and on the registry
// in memory natively, so that the tests of the script on the one mean the same on the other.
// Every case works below HKCU\Software\<a key of its own>.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "service/RegistryScript.h"

#ifdef _WIN32
#include <windows.h>

#include "common/UniqueHandle.h"
#include "service/win32_registry.h"
#else
#include "tests/support/MemoryRegistry.h"
#endif

namespace {

using registry::Root;
using Lines = std::vector<std::string>;

// Test programs run side by side in one prefix: each takes a key of its own.
#ifdef _WIN32
const std::string kCase = "PivotraScriptTest" + std::to_string(::GetCurrentProcessId());
#else
const std::string kCase = "PivotraScriptTest";
#endif
const std::string kBase = "Software\\" + kCase;

#ifdef _WIN32
using Backend = Win32Registry;

void DumpKey(HKEY parent, const std::string& path, const std::string& shown, Lines& lines) {
  unique_hkey key;
  if (::RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
  if (!shown.empty()) lines.push_back(shown);
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD nameLength = sizeof(name);
    char data[1024];
    DWORD dataLength = sizeof(data);
    DWORD type = 0;
    if (::RegEnumValueA(key.get(), index, name, &nameLength, nullptr, &type,
                        reinterpret_cast<BYTE*>(data), &dataLength) != ERROR_SUCCESS)
      break;
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_GT(dataLength, 0u);  // the terminating zero is counted
    const std::string value(data, dataLength > 0 ? dataLength - 1 : 0);
    lines.push_back(shown + ": " + (nameLength == 0 ? "@" : std::string(name, nameLength)) + " = " + value);
  }
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD length = sizeof(name);
    if (::RegEnumKeyExA(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    const std::string child(name, length);
    DumpKey(key.get(), child, shown.empty() ? child : shown + "\\" + child, lines);
  }
}

Lines Dump(Backend&) {
  Lines lines;
  DumpKey(HKEY_CURRENT_USER, kBase, "", lines);
  return lines;
}

void Clear(Backend& registry) { registry.DeleteTree(Root::CurrentUser, kBase); }
#else
using Backend = MemoryRegistry;

Lines Dump(Backend& registry) {
  const std::string below = "HKCU\\" + kBase + "\\";
  Lines lines;
  for (const std::string& entry : registry.Entries()) {
    if (entry.compare(0, below.size(), below) == 0) lines.push_back(entry.substr(below.size()));
  }
  return lines;
}

void Clear(Backend&) {}
#endif

Lines Sorted(Lines lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

struct ScriptCase {
  const char* name;
  const char* body;  // the keys of a script below the case's key
  Lines before;      // "key" or "key|value=data" below the case's key
  Lines afterRegister;
  Lines afterUnregister;  // of the same script, on what registering left
};

class RegistryScriptOnTheBackend : public testing::TestWithParam<ScriptCase> {
 protected:
  void SetUp() override {
    Clear(registry_);
    registry_.CreateKey(Root::CurrentUser, kBase);
  }
  void TearDown() override { Clear(registry_); }

  void Prepare(const Lines& before) {
    for (const std::string& entry : before) {
      const auto bar = entry.find('|');
      const std::string key = kBase + "\\" + entry.substr(0, bar);
      ASSERT_EQ(registry_.CreateKey(Root::CurrentUser, key), registry::kOk);
      if (bar == std::string::npos) continue;
      const std::string assignment = entry.substr(bar + 1);
      const auto equals = assignment.find('=');
      ASSERT_EQ(registry_.SetString(Root::CurrentUser, key, assignment.substr(0, equals),
                                    assignment.substr(equals + 1)),
                registry::kOk);
    }
  }

  registry_script::UpdateResult Update(const std::string& body, bool doRegister) {
    const std::string text =
        "HKCU { NoRemove Software { NoRemove " + kCase + " { " + body + " } } }";
    return registry_script::Update(text, registry_script::ModuleReplacements("C:\\P.EXE"),
                                   doRegister, registry_);
  }

  Backend registry_;
};

TEST_P(RegistryScriptOnTheBackend, RegistersAndUnregisters) {
  const ScriptCase& c = GetParam();
  Prepare(c.before);
  auto result = Update(c.body, true);
  ASSERT_TRUE(result.parsed) << result.error;
  ASSERT_EQ(result.status, registry::kOk);
  EXPECT_EQ(Sorted(Dump(registry_)), Sorted(c.afterRegister));

  result = Update(c.body, false);
  ASSERT_EQ(result.status, registry::kOk);
  EXPECT_EQ(Sorted(Dump(registry_)), Sorted(c.afterUnregister));
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, RegistryScriptOnTheBackend,
    testing::Values(
        ScriptCase{"PlainKeyGoesWithEverythingInIt",
                   "A = s 'x' { B { val v = s y } }",
                   {"A\\Foreign|w=1"},
                   {"A", "A: @ = x", "A\\B", "A\\B: v = y", "A\\Foreign", "A\\Foreign: w = 1"},
                   {}},
        ScriptCase{"NoRemoveKeepsItsKeyAndDefaultButDropsItsValues",
                   "NoRemove A = s 'x' { val v = s y  B }",
                   {"A|w=kept"},
                   {"A", "A: @ = x", "A: v = y", "A: w = kept", "A\\B"},
                   {"A", "A: @ = x", "A: w = kept"}},
        ScriptCase{"ForceRemoveStartsTheKeyAfresh",
                   "ForceRemove A { val v = s y }",
                   {"A\\Old", "A|w=old"},
                   {"A", "A: v = y"},
                   {}},
        ScriptCase{"DeleteOnlyRemovesAndOnlyWhenRegistering",
                   "Delete A { B } C",
                   {"A\\B"},
                   {"C"},
                   {}},
        ScriptCase{"QuotedNamesAreNamesAndQuotesDouble",
                   "NoRemove A { 'val' = S 'q''s' VAL n = s '' 'With blank' }",
                   {},
                   {"A", "A: n = ", "A\\val", "A\\val: @ = q's", "A\\With blank"},
                   {"A"}},
        ScriptCase{"NamesIgnoreCaseAndKeepTheirFirstSpelling",
                   "NoRemove ONE { Two = s 'y' { val V = s 2 } }",
                   {"One|Value=1", "One\\two|v=1"},
                   {"One", "One: Value = 1", "One\\two", "One\\two: @ = y", "One\\two: v = 2"},
                   {"One", "One: Value = 1"}},
        ScriptCase{"UnregisteringWhatIsMissingWritesNothing",
                   "NoRemove Gone { Sub { val v = s x } } Other",
                   {},
                   {"Gone", "Gone\\Sub", "Gone\\Sub: v = x", "Other"},
                   {"Gone"}}),
    [](const testing::TestParamInfo<ScriptCase>& info) { return std::string(info.param.name); });

TEST(RegistryBackend, MissingKeysAndValuesAreNotFound) {
  Backend registry;
  Clear(registry);
  const std::string key = kBase + "\\Missing";
  EXPECT_FALSE(registry.KeyExists(Root::CurrentUser, key));
  EXPECT_EQ(registry.DeleteTree(Root::CurrentUser, key), registry::kNotFound);
  EXPECT_EQ(registry.DeleteValue(Root::CurrentUser, key, "v"), registry::kNotFound);
  EXPECT_EQ(registry.SetString(Root::CurrentUser, key, "v", "x"), registry::kNotFound);
  ASSERT_EQ(registry.CreateKey(Root::CurrentUser, key), registry::kOk);
  EXPECT_EQ(registry.DeleteValue(Root::CurrentUser, key, "v"), registry::kNotFound);
  Clear(registry);
}

}  // namespace

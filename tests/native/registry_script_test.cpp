#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "service/RegistryScript.h"
#include "tests/support/MemoryRegistry.h"
#include "tests/support/ProgramScript.h"
#include "tests/support/TempDir.h"

namespace {

using registry::Root;
using Lines = std::vector<std::string>;

constexpr const char* kAppIdKey = "HKCR\\AppID\\{5A1C3E27-94B0-4D6F-A812-3C7E9D40B615}";
constexpr const char* kExeKey = "HKCR\\AppID\\Pivotra.EXE";

// The program's script, as the executable carries it.
std::string ProgramScript() { return ReadFileBytes(PIVOTRA_SOURCE_DIR "/resources/Pivotra.rgs"); }

registry_script::Script ParseOrFail(const std::string& text) {
  const registry_script::ParseResult parsed =
      registry_script::Parse(text, registry_script::ModuleReplacements("C:\\Program Files\\P.EXE"));
  EXPECT_TRUE(parsed.script) << parsed.error;
  return parsed.script.value_or(registry_script::Script{});
}

TEST(ProgramScript, IsTheExactText) { EXPECT_EQ(ProgramScript(), ExpectedProgramScript()); }

TEST(ProgramScript, RegistersExactlyTheAppIdEntries) {
  MemoryRegistry registry;
  const auto script = ParseOrFail(ProgramScript());
  ASSERT_EQ(registry_script::Register(script, registry), registry::kOk);
  const Lines expected{
      "HKCR\\AppID",
      kExeKey,
      std::string(kExeKey) + ": AppID = {5A1C3E27-94B0-4D6F-A812-3C7E9D40B615}",
      kAppIdKey,
      std::string(kAppIdKey) + ": @ = Pivotra",
  };
  EXPECT_EQ(registry.Entries(), expected);

  // A second run changes nothing.
  ASSERT_EQ(registry_script::Register(script, registry), registry::kOk);
  EXPECT_EQ(registry.Entries(), expected);
}

TEST(ProgramScript, UnregisterRemovesTheKeysWithWhatWasAddedButKeepsAppId) {
  MemoryRegistry registry;
  const auto script = ParseOrFail(ProgramScript());
  registry.CreateKey(Root::ClassesRoot, "AppID\\{00000000-0000-0000-0000-000000000001}");
  ASSERT_EQ(registry_script::Register(script, registry), registry::kOk);
  const std::string appId = "AppID\\{5A1C3E27-94B0-4D6F-A812-3C7E9D40B615}";
  registry.SetString(Root::ClassesRoot, appId, "LocalService", "Pivotra");
  registry.SetString(Root::ClassesRoot, appId, "ServiceParameters", "-Service");

  ASSERT_EQ(registry_script::Unregister(script, registry), registry::kOk);
  EXPECT_EQ(registry.Entries(),
            (Lines{"HKCR\\AppID", "HKCR\\AppID\\{00000000-0000-0000-0000-000000000001}"}));
}

TEST(ProgramScript, UnregisterOnACleanMachineWritesNothing) {
  MemoryRegistry registry;
  ASSERT_EQ(registry_script::Unregister(ParseOrFail(ProgramScript()), registry), registry::kOk);
  EXPECT_TRUE(registry.Entries().empty());
}

TEST(ProgramScript, KeepsWhatAppIdHeldBefore) {
  MemoryRegistry registry;
  registry.CreateKey(Root::ClassesRoot, "AppID");
  registry.SetString(Root::ClassesRoot, "AppID", "", "kept");
  ASSERT_EQ(registry_script::Register(ParseOrFail(ProgramScript()), registry), registry::kOk);
  ASSERT_EQ(registry_script::Unregister(ParseOrFail(ProgramScript()), registry), registry::kOk);
  EXPECT_EQ(registry.Entries(), (Lines{"HKCR\\AppID", "HKCR\\AppID: @ = kept"}));
}

// Keys made first: "key" or "key|value=data" below HKCU.
void Prepare(MemoryRegistry& registry, const Lines& before) {
  for (const std::string& entry : before) {
    const auto bar = entry.find('|');
    const std::string key = entry.substr(0, bar);
    registry.CreateKey(Root::CurrentUser, key);
    if (bar != std::string::npos) {
      const std::string assignment = entry.substr(bar + 1);
      const auto equals = assignment.find('=');
      registry.SetString(Root::CurrentUser, key, assignment.substr(0, equals),
                         assignment.substr(equals + 1));
    }
  }
}

TEST(Replacements, ModuleIsQuotedWithItsQuotesDoubled) {
  const auto replacements = registry_script::ModuleReplacements("C:\\It's here\\P.EXE");
  ASSERT_EQ(replacements.size(), 3u);
  EXPECT_EQ(replacements[0].name, "Module");
  EXPECT_EQ(replacements[0].value, "\"C:\\It''s here\\P.EXE\"");
  EXPECT_EQ(replacements[1].name, "Module_Raw");
  EXPECT_EQ(replacements[1].value, "C:\\It''s here\\P.EXE");
  EXPECT_EQ(replacements[2].name, "APPID");
  EXPECT_EQ(replacements[2].value, "");
}

TEST(Replacements, AreMadeBeforeReadingAndIgnoreCase) {
  MemoryRegistry registry;
  const auto parsed = registry_script::Parse(
      "HKCU { K { val a = s '%MODULE%' val b = s '%module_raw%' val c = s '100%%' val d = s "
      "'[%APPID%]' } }",
      registry_script::ModuleReplacements("C:\\It's here\\P.EXE"));
  ASSERT_TRUE(parsed.script) << parsed.error;
  ASSERT_EQ(registry_script::Register(*parsed.script, registry), registry::kOk);
  EXPECT_EQ(registry.Entries(), (Lines{"HKCU\\K", "HKCU\\K: a = \"C:\\It's here\\P.EXE\"",
                                       "HKCU\\K: b = C:\\It's here\\P.EXE", "HKCU\\K: c = 100%",
                                       "HKCU\\K: d = []"}));
}

struct MalformedCase {
  const char* name;
  const char* tail;  // follows a well-formed first block
  const char* error;  // a part of the message
};

class Malformed : public testing::TestWithParam<MalformedCase> {};

TEST_P(Malformed, IsRejectedBeforeAnythingIsWritten) {
  const std::string text = std::string("HKCU { Good = s 'first' }\r\n") + GetParam().tail;
  for (const bool doRegister : {true, false}) {
    MemoryRegistry registry;
    Prepare(registry, {"A|v=before"});
    const auto result = registry_script::Update(
        text, registry_script::ModuleReplacements("C:\\P.EXE"), doRegister, registry);
    EXPECT_FALSE(result.parsed);
    EXPECT_NE(result.error.find(GetParam().error), std::string::npos) << result.error;
    EXPECT_EQ(registry.Entries(), (Lines{"HKCU\\A", "HKCU\\A: v = before"}));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, Malformed,
    testing::Values(
        MalformedCase{"UnknownRoot", "HKXX { A }", "line 2: \"HKXX\" is no root key"},
        MalformedCase{"QuotedRoot", "'HKCU' { A }", "is no root key"},
        MalformedCase{"NoBlockAfterRoot", "HKCU A", "expected {"},
        MalformedCase{"UnclosedRoot", "HKCU { A", "no closing }"},
        MalformedCase{"UnclosedKey", "HKCU { A { B", "key \"A\" has no closing }"},
        MalformedCase{"UnclosedQuote", "HKCU { 'A }", "no closing quote"},
        MalformedCase{"QuoteInsideName", "HKCU { A'B }", "a quote inside"},
        MalformedCase{"QuotedTextRunsOn", "HKCU { 'A'{ } }", "followed by white space"},
        MalformedCase{"UnknownReplacement", "HKCU { A = s '%Path%' }", "unknown replacement %Path%"},
        MalformedCase{"UnclosedReplacement", "HKCU { A = s '%Module' }", "no closing %"},
        MalformedCase{"NumberValue", "HKCU { A { val v = d 1 } }", "only string values"},
        MalformedCase{"ValueWithoutType", "HKCU { A = 'x' }", "only string values"},
        MalformedCase{"ValueWithoutText", "HKCU { A = s }", "expected the value's text"},
        MalformedCase{"ValueWithoutEquals", "HKCU { A { val v s 'x' } }", "expected ="},
        MalformedCase{"ValueAtRoot", "HKCU { val v = s x }", "a value needs a key"},
        MalformedCase{"KeyPath", "HKCU { 'A\\B' }", "is no key name"},
        MalformedCase{"EmptyKeyName", "HKCU { '' }", "is no key name"},
        MalformedCase{"FlagWithoutKey", "HKCU { NoRemove }", "expected a key name"},
        MalformedCase{"StrayBrace", "}", "is no root key"}),
    [](const testing::TestParamInfo<MalformedCase>& info) { return std::string(info.param.name); });

TEST(Malformed, NestingIsLimited) {
  std::string text = "HKCU {";
  for (int i = 0; i < 40; ++i) text += " K" + std::to_string(i) + " {";
  for (int i = 0; i < 40; ++i) text += " }";
  text += " }";
  const auto parsed = registry_script::Parse(text, {});
  EXPECT_FALSE(parsed.script);
  EXPECT_NE(parsed.error.find("nested too deeply"), std::string::npos) << parsed.error;
}

TEST(Malformed, AnEmptyScriptDoesNothing) {
  const auto parsed = registry_script::Parse(" \r\n\t", {});
  ASSERT_TRUE(parsed.script);
  EXPECT_TRUE(parsed.script->roots.empty());
}

TEST(Failures, RegisteringStopsAtTheFirstFailure) {
  MemoryRegistry registry;
  const auto script = ParseOrFail("HKCU { A { val v = s x } B C }");
  registry.FailWrite(1, 5);  // the value of A
  EXPECT_EQ(registry_script::Register(script, registry), 5);
  EXPECT_EQ(registry.Entries(), (Lines{"HKCU\\A"}));
}

TEST(Failures, UnregisteringGoesOnAndReportsTheFirst) {
  MemoryRegistry registry;
  const auto script = ParseOrFail("HKCU { A B C D }");
  ASSERT_EQ(registry_script::Register(script, registry), registry::kOk);
  registry.FailWrite(1, 6);  // B
  EXPECT_EQ(registry_script::Unregister(script, registry), 6);
  EXPECT_EQ(registry.Entries(), (Lines{"HKCU\\B"}));
}

}  // namespace

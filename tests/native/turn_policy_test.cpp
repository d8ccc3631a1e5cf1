// The fleet policy: how each registry answer is read, and the Group Policy templates held to
// the program's own table of the key, the values and their choices.
#include <gtest/gtest.h>

#include <cstdint>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "resources/EventMessages.h"
#include "tests/support/TempDir.h"
#include "turndisplay/TurnEvents.h"
#include "turndisplay/TurnPolicy.h"

namespace {

using namespace turndisplay;

constexpr RegistryRead kMissing{kErrorFileNotFound, 0, 0, 0};  // no key, or no value
constexpr RegistryRead Dword(std::uint32_t value) { return {0, kRegDword, 4, value}; }

TEST(PolicyReading, DefaultsAndTheirLines) {
  constexpr std::uint32_t kSz = 1, kBinary = 3, kQword = 11;
  const struct {
    RegistryRead read;
    std::uint32_t value;
    const char* problem;  // between the value's name and its default
    RegistryRead preference = kMissing;
    const char* taken = "1 (only in tablet posture)";
    const char* from = "policy AutoRotation in HKLM\\SOFTWARE\\Policies\\Pivotra";
  } cases[] = {
      {{kErrorFileNotFound, 0, 0, 0}, 1, ""},  // no key, or no value: silently
      {{0, kRegDword, 4, 0}, 0, "", kMissing, "0 (never) from HKLM\\SOFTWARE\\Policies\\Pivotra"},
      {{0, kRegDword, 4, 2}, 2, "", kMissing, "2 (always) from HKLM\\SOFTWARE\\Policies\\Pivotra"},
      {{0, kRegDword, 4, 3}, 1, "is 3, which is no choice"},
      {{0, kSz, 2, '2'}, 1, "is a REG_SZ, not a REG_DWORD"},
      {{0, kQword, 8, 2}, 1, "is a REG_QWORD, not a REG_DWORD"},
      {{kErrorMoreData, kBinary, 20, 2}, 1, "is a REG_BINARY, not a REG_DWORD"},
      {{0, 42, 4, 2}, 1, "is a value of type 42, not a REG_DWORD"},
      {{0, kRegDword, 2, 2}, 1, "is a REG_DWORD of 2 bytes"},
      {{kErrorMoreData, kRegDword, 12, 2}, 1, "is a REG_DWORD of 12 bytes"},
      {{5, 0, 0, 0}, 1, "cannot be read (error 5)"},
      // The preference key, where the package writes, counts only where the policy is silent.
      {kMissing, 0, "", Dword(0), "0 (never) from HKLM\\SOFTWARE\\Pivotra"},
      {Dword(2), 2, "", Dword(0), "2 (always) from HKLM\\SOFTWARE\\Policies\\Pivotra"},
      {{0, kSz, 2, '0'}, 2, "is a REG_SZ, not a REG_DWORD", Dword(2),
       "2 (always) from HKLM\\SOFTWARE\\Pivotra"},
      {kMissing, 1, "is 7, which is no choice", Dword(7), "1 (only in tablet posture)",
       "preference AutoRotation in HKLM\\SOFTWARE\\Pivotra"},
  };
  for (const auto& c : cases) {
    const PolicyReading reading = ReadSetting(kAutoRotationSetting, c.read, c.preference);
    EXPECT_EQ(reading.value, c.value) << c.problem;
    EXPECT_EQ(ValueTaken(kAutoRotationSetting, reading), c.taken) << c.problem;
    ASSERT_EQ(reading.problems.size(), *c.problem == '\0' ? 0u : 1u) << c.problem;
    for (const SettingProblem& problem : reading.problems)
      EXPECT_EQ(ProblemLine(kAutoRotationSetting, reading, problem),
                "TurnDisplay: " + std::string(c.from) + " " + c.problem + "; using " + c.taken);
  }
  EXPECT_EQ(ReadSetting(kDisplaysSetting, Dword(1), kMissing).value, 1u);
  EXPECT_EQ(ReadSetting(kDisplaysSetting, Dword(0xFFFFFFFF), kMissing).value, 0u);
}

std::string Captured(const std::string& text, const std::string& pattern) {
  std::smatch match;
  return std::regex_search(text, match, std::regex(pattern)) ? match[1].str() : "<missing>";
}

// What an administrator picks in the Group Policy editor must be what the program reads.
TEST(PolicyTemplates, NameTheProgramsKeyValuesAndChoices) {
  const std::string admx = ReadFileBytes(PIVOTRA_SOURCE_DIR "/policy/Pivotra.admx");
  const std::string adml = ReadFileBytes(PIVOTRA_SOURCE_DIR "/policy/en-US/Pivotra.adml");
  const std::regex anyPolicy("<policy ");
  EXPECT_EQ(std::distance(std::sregex_iterator(admx.begin(), admx.end(), anyPolicy),
                          std::sregex_iterator()),
            static_cast<std::ptrdiff_t>(std::size(kPolicySettings)));

  for (const PolicySetting* setting : kPolicySettings) {
    const std::string name = setting->valueName;
    SCOPED_TRACE(name);
    EXPECT_EQ(Captured(admx, "<policy name=\"" + name + "\"[^>]*key=\"([^\"]*)\""), kPolicyKey);
    const std::string items = Captured(
        admx, "<enum id=\"" + name + "\" valueName=\"" + name + "\"[^>]*>([\\s\\S]*?)</enum>");
    std::vector<std::pair<std::string, std::uint32_t>> listed, known;
    const std::regex item("\\$\\(string\\.(\\w+)\\)\">\\s*<value><decimal value=\"(\\d+)\"");
    for (std::sregex_iterator it(items.begin(), items.end(), item), end; it != end; ++it)
      listed.emplace_back((*it)[1].str(), static_cast<std::uint32_t>(std::stoul((*it)[2].str())));
    for (const PolicyChoice& choice : *setting) known.emplace_back(choice.id, choice.value);
    EXPECT_EQ(listed, known);

    std::vector<std::string> texts = {name, name + "_Help"};
    for (const PolicyChoice& choice : *setting) texts.push_back(choice.id);
    for (const std::string& id : texts)
      EXPECT_NE(adml.find("<string id=\"" + id + "\">"), std::string::npos) << id;
    // The editor preselects the program's default.
    const std::string index =
        Captured(adml, "<dropdownList refId=\"" + name + "\" defaultItem=\"(\\d+)\"");
    ASSERT_NE(index, "<missing>");
    ASSERT_LT(std::stoul(index), setting->choiceCount);
    EXPECT_EQ(setting->choices[std::stoul(index)].value, setting->defaultValue);
  }
}

// Event Viewer renders an entry with the message of its ID, and an administrator looks it up in
// docs/event-log.md: the table must hold every ID the program writes, with its strings and its
// type, and the document every ID of the table.
TEST(EventTable, TheMessagesAndTheDocumentHoldEveryEntry) {
  const std::string document = ReadFileBytes(PIVOTRA_SOURCE_DIR "/docs/event-log.md");
  const char* const types[] = {"", "Error", "Warning", "", "Information"};
  for (const EventKind& kind : kTurnEvents) {
    const event_messages::Message* found = nullptr;
    for (const event_messages::Message& message : event_messages::kAll)
      if (message.id == kind.id) found = &message;
    ASSERT_NE(found, nullptr) << kind.id;
    EXPECT_EQ(found->type, static_cast<std::uint16_t>(kind.type)) << kind.id;
    EXPECT_EQ(static_cast<std::size_t>(found->strings), kind.strings) << kind.id;
  }
  for (const event_messages::Message& message : event_messages::kAll)
    EXPECT_NE(document.find("| " + std::to_string(message.id) + " | " + types[message.type] + " | "),
              document.npos) << message.id;
}

}  // namespace

// The decisions of the process entry and of installation: the switch scan, the read of
// "LocalService", the end of the main thread's work, and what the service control manager is
// given.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/portable_debug_output.h"

#include "service/InstallSwitch.h"
#include "service/Installation.h"
#include "service/LocalServiceValue.h"
#include "service/MainGuard.h"
#include "service/ServiceSettings.h"

namespace {

// lstrcmpiA over ASCII.
bool EqualsIgnoringCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
      return false;
  }
  return *a == *b;
}

const char* NextByte(const char* position) { return position + 1; }

// CharNextA in a code page whose lead bytes are 0x81 to 0xFE, with the trail bytes of a made-up
// one that may be a minus sign or a slash, so that stepping over a character whole shows.
const char* NextDoubleByteCharacter(const char* position) {
  const auto byte = static_cast<unsigned char>(*position);
  if (byte >= 0x81 && byte <= 0xFE && position[1] != '\0') return position + 2;
  return position + 1;
}

constexpr CommandLineText kSingleByte{NextByte, EqualsIgnoringCase};
constexpr CommandLineText kDoubleByte{NextDoubleByteCharacter, EqualsIgnoringCase};

struct ScanCase {
  const char* commandLine;
  InstallSwitch expected;
  const CommandLineText* text = &kSingleByte;
};

class SwitchScan : public testing::TestWithParam<ScanCase> {};

TEST_P(SwitchScan, FindsTheSwitchThatEndsTheLine) {
  EXPECT_EQ(ScanInstallSwitch(GetParam().commandLine, *GetParam().text), GetParam().expected)
      << GetParam().commandLine;
}

constexpr auto kNone = InstallSwitch::None;
constexpr auto kUnreg = InstallSwitch::UnregServer;
constexpr auto kReg = InstallSwitch::RegServer;
constexpr auto kService = InstallSwitch::Service;

INSTANTIATE_TEST_SUITE_P(
    CommandLines, SwitchScan,
    testing::Values(
        // Either mark, any case.
        ScanCase{"Pivotra.EXE -service", kService}, ScanCase{"Pivotra.EXE /SERVICE", kService},
        ScanCase{"Pivotra.EXE -Service", kService}, ScanCase{"Pivotra.EXE /regserver", kReg},
        ScanCase{"Pivotra.EXE -RegServer", kReg}, ScanCase{"Pivotra.EXE /UnregServer", kUnreg},
        ScanCase{"Pivotra.EXE -uNrEgSeRvEr", kUnreg},
        // No switch, or none that ends the line.
        ScanCase{"Pivotra.EXE", kNone}, ScanCase{"", kNone},
        ScanCase{"\"C:\\Program Files\\Pivotra\\Pivotra.EXE\"", kNone},
        ScanCase{"Pivotra.EXE -Service ", kNone}, ScanCase{"Pivotra.EXE -Service\t", kNone},
        ScanCase{"Pivotra.EXE -Services", kNone}, ScanCase{"Pivotra.EXE -Serv", kNone},
        ScanCase{"Pivotra.EXE Service", kNone}, ScanCase{"Pivotra.EXE - Service", kNone},
        ScanCase{"Pivotra.EXE -", kNone}, ScanCase{"Pivotra.EXE -Service x", kNone},
        ScanCase{"Pivotra.EXE \"-Service\"", kNone},
        // Several switches: only the last one can end the line.
        ScanCase{"Pivotra.EXE -RegServer -Service", kService},
        ScanCase{"Pivotra.EXE -Service -RegServer", kReg},
        ScanCase{"Pivotra.EXE /Service /UnregServer", kUnreg},
        ScanCase{"Pivotra.EXE --Service", kService}, ScanCase{"Pivotra.EXE -/Service", kService},
        // A mark inside the program path starts a token that matches nothing.
        ScanCase{"C:\\my-tools\\Pivotra.EXE -Service", kService},
        ScanCase{"\"C:\\a-b\\c/d\\Pivotra.EXE\" /RegServer", kReg},
        ScanCase{"C:\\my-tools\\Pivotra.EXE", kNone},
        ScanCase{"C:\\tools\\-Service", kService},  // a path that ends like a switch is one
        // A double-byte character is stepped over whole: its trail byte is no mark.
        ScanCase{"C:\\App\\\x95-Service", kNone, &kDoubleByte},
        ScanCase{"C:\\App\\\x95-Service", kService, &kSingleByte},
        ScanCase{"C:\\\x95/\\Pivotra.EXE /Service", kService, &kDoubleByte},
        ScanCase{"C:\\\x95", kNone, &kDoubleByte}));

struct ReadCase {
  const char* name;
  std::int32_t result;
  std::uint32_t type;
  std::vector<unsigned char> data;
  bool counts;
};

class LocalServiceRead : public testing::TestWithParam<ReadCase> {};

TEST_P(LocalServiceRead, CountsOnlyWhatTheRuleAllows) {
  const ReadCase& c = GetParam();
  EXPECT_EQ(local_service::ReadSucceeded(c.result, c.type, c.data.data(),
                                         static_cast<std::uint32_t>(c.data.size())),
            c.counts);
}

constexpr std::uint32_t kSz = 1, kExpandSz = 2, kBinary = 3, kDword = 4, kMultiSz = 7;
constexpr std::int32_t kOk = 0, kMissing = 2, kMoreData = 234;

std::vector<unsigned char> Bytes(const std::string& text) {
  return std::vector<unsigned char>(text.begin(), text.end());
}

INSTANTIATE_TEST_SUITE_P(
    Values, LocalServiceRead,
    testing::Values(
        ReadCase{"String", kOk, kSz, Bytes(std::string("Pivotra", 8)), true},
        ReadCase{"OtherText", kOk, kSz, Bytes(std::string("x", 2)), true},
        ReadCase{"StringOfOnlyItsZero", kOk, kSz, {0}, true},
        ReadCase{"StringWithoutZero", kOk, kSz, Bytes("Pivotra"), false},
        ReadCase{"ExpandString", kOk, kExpandSz, Bytes(std::string("%x%", 4)), true},
        ReadCase{"ExpandStringWithoutZero", kOk, kExpandSz, Bytes("%x%"), false},
        ReadCase{"MultiString", kOk, kMultiSz, Bytes(std::string("a\0b\0\0", 5)), true},
        ReadCase{"MultiStringOfOneZero", kOk, kMultiSz, {0}, true},
        ReadCase{"MultiStringOfTwoZeros", kOk, kMultiSz, {0, 0}, true},
        ReadCase{"MultiStringWithOneEndingZero", kOk, kMultiSz, Bytes(std::string("a\0", 2)), false},
        ReadCase{"MultiStringOfOneByte", kOk, kMultiSz, {'a'}, false},
        ReadCase{"EmptyString", kOk, kSz, {}, true},
        ReadCase{"EmptyDword", kOk, kDword, {}, true},
        ReadCase{"EmptyBinary", kOk, kBinary, {}, true},
        ReadCase{"Dword", kOk, kDword, {1, 0, 0, 0}, false},
        ReadCase{"BinaryEndingInZero", kOk, kBinary, {1, 0}, false},
        ReadCase{"FillsTheBuffer", kOk, kSz, Bytes(std::string(259, 'x') + std::string(1, '\0')), true},
        ReadCase{"TooLongForTheBuffer", kMoreData, kSz, {}, false},
        ReadCase{"Missing", kMissing, kSz, {}, false}),
    [](const testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

// Whatever the main thread's work throws, the process ends with an exit code and says why.
struct Ending {
  const char* name;
  std::function<int()> work;
  int exitCode;
  std::vector<std::string> lines;
};

TEST(MainGuard, EveryEndingHasAnExitCode) {
  const Ending endings[] = {
      {"a result", [] { return 2; }, 2, {}},
      {"no memory", []() -> int { throw std::bad_alloc(); }, main_guard::kOutOfMemory,
       {"Pivotra: out of memory, the program ends\n"}},
      {"a standard exception", []() -> int { throw std::runtime_error("no registry"); },
       main_guard::kUnexpected, {"Pivotra: ended by an exception: no registry\n"}},
      {"anything else", []() -> int { throw 42; }, main_guard::kUnexpected,
       {"Pivotra: ended by an exception\n"}},
  };
  TakeCapturedDebugOutput();
  for (const Ending& ending : endings) {
    EXPECT_EQ(main_guard::ExitCodeOf(ending.work), ending.exitCode) << ending.name;
    EXPECT_EQ(TakeCapturedDebugOutput(), ending.lines) << ending.name;
  }
}

TEST(Installation, CommandIsTheQuotedPath) {
  EXPECT_EQ(installation::QuotedCommand("C:\\Program Files\\Pivotra\\Pivotra.EXE"),
            "\"C:\\Program Files\\Pivotra\\Pivotra.EXE\"");
  EXPECT_EQ(installation::QuotedCommand("C:\\P.EXE"), "\"C:\\P.EXE\"");
}

TEST(Installation, DescriptionKeeps127CharactersAndItsZero) {
  const std::string longest(127, 'd');
  const auto whole = installation::DescriptionBuffer(longest);
  EXPECT_EQ(std::string(whole.data()), longest);

  const auto cut = installation::DescriptionBuffer(longest + "xyz");
  EXPECT_EQ(std::string(cut.data()), longest);
  EXPECT_EQ(cut.back(), '\0');

  const auto text = installation::DescriptionBuffer("Pivotra Control Service");
  EXPECT_EQ(std::string(text.data()), "Pivotra Control Service");
  for (std::size_t i = 23; i < text.size(); ++i) EXPECT_EQ(text[i], '\0') << i;
}

// Each setting as the service control manager is given it, in order; Wine refuses three of
// them, and a refusal costs its line and nothing else.
TEST(Installation, SettingsBesideTheConfigurationAreAllGivenEvenWhenSomeAreRefused) {
  using namespace service_settings;
  constexpr char kPrivileges[] =
      "SeTcbPrivilege\0SeAssignPrimaryTokenPrivilege\0SeIncreaseQuotaPrivilege\0";  // and its zero
  const std::vector<std::uint32_t> wineAnswers = {0, 87, 0, 87, 87};
  std::vector<std::string> given;
  TakeCapturedDebugOutput();
  Apply([&](const Setting& setting) {
    // level: value, then each action as type (1 restart, 0 none) after its delay, or the list
    std::string shown = std::to_string(setting.level) + ": " + std::to_string(setting.value);
    for (const Action& action : setting.actions)
      shown += ", " + std::to_string(action.type) + " after " + std::to_string(action.delayMs);
    given.push_back(shown + setting.multiString);
    return given.size() <= wineAnswers.size() ? wineAnswers[given.size() - 1] : 0;
  });
  EXPECT_EQ(given, (std::vector<std::string>{
                       "2: 86400, 1 after 5000, 1 after 5000, 0 after 0", "4: 1", "7: 10000", "5: 1",
                       "6: 0" + std::string(kPrivileges, sizeof(kPrivileges))}));
  EXPECT_EQ(TakeCapturedDebugOutput(),
            (std::vector<std::string>{"Fail to change service failure actions flag, error 87",
                                      "Fail to change service SID type, error 87",
                                      "Fail to change service required privileges, error 87"}));
}

}  // namespace

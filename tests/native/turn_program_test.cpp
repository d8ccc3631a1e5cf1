// The whole display-rotation program over a fake platform: what it asks the display driver
// for, what it says and how it ends, in the situations its users live through.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "turndisplay/TurnOutcome.h"
#include "turndisplay/TurnProgram.h"

namespace {

using namespace turndisplay;

constexpr std::uint32_t kFields = kFieldOrientation | kFieldWidth | kFieldHeight;
constexpr const char* kSettings = "C:\\Pivotra\\GSensor_Setting.ini";

struct Change {
  std::string device;
  DisplayMode mode;
  bool operator==(const Change& other) const {
    return device == other.device && mode == other.mode;
  }
};

constexpr std::uint64_t kRecorded = 134413212620000000;  // 2026-12-09 20:21:02 UTC
constexpr std::uint64_t kSecond = 10000000;

// The chain as -Service installs it, running and subscribed, the display program not run yet.
ChainReadings InstalledChain() {
  ChainReadings chain;
  chain.service.state.value = 4;
  chain.service.startType.value = 2;
  chain.service.failureActions.value = {86400, {{1, 5000}, {1, 5000}, {0, 0}}};
  chain.service.failureActionsFlag.value = 1;
  chain.service.preshutdownTimeout.value = 10000;
  chain.service.sidType.value = 1;
  chain.service.privileges.value = {"SeTcbPrivilege", "SeAssignPrimaryTokenPrivilege",
                                    "SeIncreaseQuotaPrivilege"};
  chain.record.subscription = 1;
  chain.record.subscriptionDetail = "subscribed at attempt 1";
  chain.record.subscriptionTime = kRecorded;
  chain.eventSource.messageFile.value = "C:\\Pivotra\\Pivotra.EXE";
  chain.eventSource.messageFileExists = true;
  chain.eventSource.typesSupported.value = 7;
  chain.now = kRecorded + 30 * kSecond;
  return chain;
}

const std::string kRecovery =
    "recovery actions: restart after 5000 ms, restart after 5000 ms, none, counts reset after "
    "86400 s";
// The service's line after its state.
const std::string kConfiguration =
    "automatic start; " + kRecovery + "; failure-actions flag on; preshutdown timeout 10000 ms; "
    "SID type unrestricted; required privileges SeAssignPrimaryTokenPrivilege, "
    "SeIncreaseQuotaPrivilege, SeTcbPrivilege";

const std::vector<std::string> kChainOk = {
    "Service Pivotra: ok; running; " + kConfiguration,
    "G-sensor's WMI class: ok; ZEB_AcpiEvent_Btn2 in ROOT\\WMI",
    "Subscription: ok; subscribed, recorded 2026-12-09 20:21:02 UTC: subscribed at attempt 1",
    "Last display program: ok; none yet",
    "Event source Pivotra: ok; messages from C:\\Pivotra\\Pivotra.EXE; TypesSupported 7"};

std::vector<std::string> WithChain(std::vector<std::string> lines) {
  lines.insert(lines.end(), kChainOk.begin(), kChainOk.end());
  return lines;
}

// A convertible in tablet posture whose firmware sensor Windows does not know, its panel on
// D2 and a monitor on HDMI on D1, the primary display.
class FakePlatform final : public TurnPlatform {
 public:
  std::int32_t slateMode = 0;
  std::optional<std::uint32_t> autoRotationState = 0x10;  // AR_NOSENSOR
  std::optional<std::vector<DisplayPath>> paths =
      std::vector<DisplayPath>{{5, 5, "D1"}, {kOutputDisplayPortEmbedded, std::nullopt, "D2"}};
  std::map<std::string, ModeFields> modes = {{"", {kFields, 2560, 1440, 0}},
                                             {"D2", {kFields, 1920, 1080, 0}}};
  std::int32_t changeResult = 0;
  std::map<std::string, RegistryRead> policy, preference;
  std::optional<SavedOrientations> stored;

  std::vector<Change> changes;
  std::vector<std::string> lines;

  std::int32_t SlateMode() override { return slateMode; }
  std::optional<std::uint32_t> AutoRotationState() override { return autoRotationState; }
  std::optional<std::vector<DisplayPath>> ActiveDisplayPaths() override { return paths; }
  std::optional<ModeFields> CurrentMode(const std::string& device) override {
    const auto found = modes.find(device);
    return found != modes.end() ? std::optional(found->second) : std::nullopt;
  }
  std::int32_t ChangeMode(const std::string& device, const DisplayMode& mode, bool test) override {
    if (!test) changes.push_back({device, mode});
    return changeResult;
  }
  std::string PrimaryDisplayName() override { return "D1"; }
  RegistryRead ReadSettingValue(SettingSource key, const char* valueName) override {
    const auto& values = key == SettingSource::PolicyKey ? policy : preference;
    const auto found = values.find(valueName);
    return found != values.end() ? found->second : RegistryRead{kErrorFileNotFound, 0, 0, 0};
  }
  std::string ProgramDirectory() override { return "C:\\Pivotra\\"; }
  std::optional<SavedOrientations> ReadSavedOrientations(const std::string& path) override {
    return path == kSettings ? stored : std::nullopt;
  }
  void Say(const std::string& line) override { lines.push_back(line); }
  void Log(const EventEntry&) override {}
  void Print(const std::string& line) override { lines.push_back(line); }
  ServiceReading ReadServiceRegistration() override { return chain.service; }
  std::uint32_t LookUpWmiClass() override { return chain.wmiClass; }
  RecordReading ReadStatusRecord() override { return chain.record; }
  EventSourceReading ReadEventSource() override { return chain.eventSource; }
  std::uint64_t Now() override { return chain.now; }

  ChainReadings chain = InstalledChain();
};

RegistryRead Dword(std::uint32_t value) { return {0, kRegDword, 4, value}; }

struct Story {
  const char* name;
  const char* argument;
  void (*situation)(FakePlatform&);
  int exitCode;
  std::vector<Change> changes;
  std::vector<std::string> lines;
};

const std::string kStays = " stays as it is";

const Story kStories[] = {
    {"a tablet turns its panel, not the monitor", "90", [](FakePlatform&) {}, 0,
     {{"D2", {1080, 1920, 1}}}, {"TurnDisplay: turned the built-in panel D2 to 90 degrees"}},
    {"folded back to a laptop it stays", "90", [](FakePlatform& p) { p.slateMode = 1; }, 7, {},
     {"TurnDisplay: laptop posture or docked, and the policy rotates only in tablet posture; "
      "the built-in panel D2" + kStays}},
    {"folded into a laptop at 90 it turns back to landscape", "0",
     [](FakePlatform& p) { p.slateMode = 1; p.modes["D2"] = {kFields, 1080, 1920, 1}; }, 0,
     {{"D2", {1920, 1080, 0}}}, {"TurnDisplay: turned the built-in panel D2 to 0 degrees"}},
    {"docked at 270 it turns back to landscape", "0",
     [](FakePlatform& p) { p.autoRotationState = 0x50; p.modes["D2"] = {kFields, 1080, 1920, 3}; },
     0, {{"D2", {1920, 1080, 0}}}, {"TurnDisplay: turned the built-in panel D2 to 0 degrees"}},
    {"restore folded turns to landscape, the pending orientation waits", "restore",
     [](FakePlatform& p) {
       p.slateMode = 1; p.stored = {{2, 4}}; p.modes["D2"] = {kFields, 1080, 1920, 1};
     },
     0, {{"D2", {1920, 1080, 0}}},
     {"TurnDisplay: turned the built-in panel D2 to 0 degrees; 90 degrees waits for tablet "
      "posture"}},
    {"restore docked at landscape, the shown orientation waits", "restore",
     [](FakePlatform& p) { p.autoRotationState = 0x50; p.stored = {{1, 0}}; }, 1, {},
     {"TurnDisplay: the built-in panel D2 is already at 0 degrees; 180 degrees waits for tablet "
      "posture"}},
    {"restore folded and locked stays", "restore",
     [](FakePlatform& p) { p.slateMode = 1; p.autoRotationState = 0x11; p.stored = {{2, 4}}; }, 3,
     {}, {"TurnDisplay: the user has locked screen rotation; the built-in panel D2" + kStays}},
    {"bad policy values give the defaults, each with its line", "180",
     [](FakePlatform& p) {
       p.slateMode = 1; p.policy["AutoRotation"] = {0, 1, 2, '2'};
       p.policy["Displays"] = Dword(5);
     },
     7, {},
     {"TurnDisplay: policy AutoRotation in HKLM\\SOFTWARE\\Policies\\Pivotra is a REG_SZ, not a "
      "REG_DWORD; using 1 (only in tablet posture)",
      "TurnDisplay: policy Displays in HKLM\\SOFTWARE\\Policies\\Pivotra is 5, which is no "
      "choice; using 0 (the built-in panel)",
      "TurnDisplay: laptop posture or docked, and the policy rotates only in tablet posture; "
      "the built-in panel D2" + kStays}},
    {"the policy asks for the primary display", "90",
     [](FakePlatform& p) { p.policy["Displays"] = Dword(1); }, 0, {{"", {1440, 2560, 1}}},
     {"TurnDisplay: turned the primary display to 90 degrees"}},
    {"a desktop with a monitor only", "90",
     [](FakePlatform& p) { p.paths = std::vector<DisplayPath>{{5, 5, "D1"}}; }, 11, {},
     {"TurnDisplay: no built-in panel among 1 active displays, and the policy turns only the "
      "built-in panel; nothing turned"}},
    {"Wine: a refused mode on the monitor it calls internal", "90",
     [](FakePlatform& p) {
       p.paths = std::vector<DisplayPath>{{10, kOutputInternal, "D1"}};
       p.modes["D1"] = {kFields, 1024, 768, 0}; p.changeResult = -2;
     },
     4, {{"D1", {768, 1024, 1}}},
     {"TurnDisplay: the display driver refused 90 degrees for the built-in panel D1: "
      "DISP_CHANGE_BADMODE (-2)"}},
    {"after sign-in the stored orientation comes back", "restore",
     [](FakePlatform& p) { p.stored = {{1, 0}}; }, 0, {{"D2", {1920, 1080, 2}}},
     {"TurnDisplay: turned the built-in panel D2 to 180 degrees"}},
    {"restore follows the same rules", "restore",
     [](FakePlatform& p) { p.stored = {{4, 0}}; p.autoRotationState = 0x01; }, 3, {},
     {"TurnDisplay: the user has locked screen rotation; the built-in panel D2" + kStays}},
    {"restore without a settings file", "restore", [](FakePlatform&) {}, 1, {},
     {"TurnDisplay: no orientation to restore: C:\\Pivotra\\GSensor_Setting.ini cannot be read"}},
    {"restore turns to the orientation the service still waits for", "restore",
     [](FakePlatform& p) { p.stored = {{2, 3}}; }, 0, {{"D2", {1080, 1920, 3}}},
     {"TurnDisplay: turned the built-in panel D2 to 270 degrees"}},
    {"restore with no orientation stored", "restore", [](FakePlatform& p) { p.stored = {{0, 7}}; }, 1,
     {},
     {"TurnDisplay: no orientation to restore: GSensorLastOrientation is 0 in "
      "C:\\Pivotra\\GSensor_Setting.ini"}},
    {"a mistyped argument", "restor", [](FakePlatform&) {}, 2, {}, {UsageLine()}},
    {"status tells the inputs and what a turn would do, and turns nothing", "status",
     [](FakePlatform& p) {
       p.stored = {{2, 4}}; p.policy["AutoRotation"] = {0, 1, 2, '2'};
       p.preference["Displays"] = Dword(1);
     }, 0, {},
     WithChain({"AutoRotation: 1 (only in tablet posture), the default; ignored: the value in "
      "HKLM\\SOFTWARE\\Policies\\Pivotra is a REG_SZ, not a REG_DWORD",
      "Displays: 1 (the primary display), from the preference key HKLM\\SOFTWARE\\Pivotra",
      "Posture: tablet (SM_CONVERTIBLESLATEMODE is 0)", "Windows' rotation state: AR_NOSENSOR (0x10)",
      "Display: the primary display D1, connector HDMI, at 0 degrees (2560 x 1440)",
      "Stored orientation: 2 (0 degrees), pending: 4 (90 degrees)",
      "A turn now: exit code 0, would turn the primary display to 90 degrees"})},
    {"status folded says landscape would come and the others wait", "status",
     [](FakePlatform& p) {
       p.slateMode = 1; p.stored = {{2, 3}}; p.modes["D2"] = {kFields, 1080, 1920, 1};
     }, 0, {},
     WithChain({"AutoRotation: 1 (only in tablet posture), the default",
      "Displays: 0 (the built-in panel), the default",
      "Posture: laptop (SM_CONVERTIBLESLATEMODE is 1); laptop posture or docked: a turn to 0 "
      "degrees would happen, 90, 180 and 270 degrees would wait for tablet posture",
      "Windows' rotation state: AR_NOSENSOR (0x10)",
      "Display: the built-in panel D2, connector DISPLAYPORT_EMBEDDED, at 90 degrees (1080 x 1920)",
      "Stored orientation: 2 (0 degrees), pending: 3 (270 degrees)",
      "A turn now: exit code 0, would turn the built-in panel D2 to 0 degrees; 270 degrees waits "
      "for tablet posture"})},
};

TEST(TurnDisplayProgram, Stories) {
  for (const Story& story : kStories) {
    SCOPED_TRACE(story.name);
    FakePlatform platform;
    story.situation(platform);
    const char* argv[] = {"TurnDisplay.exe", story.argument};
    EXPECT_EQ(RunTurnDisplay(platform, 2, argv), story.exitCode);
    EXPECT_EQ(platform.changes, story.changes);
    EXPECT_EQ(platform.lines, story.lines);
  }
}

// "status" over the chain: each part that is wrong turns its line into a fault and the exit
// code into 12; what the system keeps no value for, or a rule's decline, does not.
struct ChainCase {
  const char* name;
  void (*situation)(ChainReadings&);
  std::map<std::size_t, std::string> changed;  // the chain's lines that differ from kChainOk
  int exitCode;
};

const std::string kCannotHere = " cannot be read on this system (error ";
const std::string kAt = "recorded 2026-12-09 20:21:02 UTC";
const std::string kService = "Service Pivotra: fault; ";

const ChainCase kChainCases[] = {
    {"levels the system does not know, as Wine's 124",
     [](ChainReadings& c) {
       c.service.failureActions.error = 124; c.service.failureActionsFlag.error = 124;
       c.service.sidType.error = 87; c.service.privileges.error = 50;
     },
     {{0, "Service Pivotra: ok; running; automatic start; the recovery actions" + kCannotHere +
              "124); the failure-actions flag" + kCannotHere + "124); preshutdown timeout 10000 "
              "ms; the SID type" + kCannotHere + "87); the required privileges" + kCannotHere +
              "50)"}}, 0},
    {"the privileges in another order", [](ChainReadings& c) {
       std::swap(c.service.privileges.value[0], c.service.privileges.value[2]); }, {}, 0},
    {"stopped", [](ChainReadings& c) {
       c.service.state.value = 1; c.record.subscription = 3;
       c.record.subscriptionDetail = "the service stops"; },
     {{0, kService + "stopped (expected: running); " + kConfiguration},
      {2, "Subscription: fault; stopped, " + kAt + ": the service stops"}}, 12},
    {"ended without a word while subscribed", [](ChainReadings& c) { c.service.state.value = 1; },
     {{0, kService + "stopped (expected: running); " + kConfiguration},
      {2, "Subscription: fault; subscribed, " + kAt + ": subscribed at attempt 1; the service is "
          "not running"}}, 12},
    {"not installed", [](ChainReadings& c) { c.service.openError = 1060; c.record.error = 2; },
     {{0, kService + "not installed"}, {2, "Subscription: fault; the service has recorded none"}},
     12},
    {"a start type unreadable, a recovery changed, a privilege gone",
     [](ChainReadings& c) {
       c.service.startType.error = 5; c.service.failureActions.value.actions.resize(1);
       c.service.privileges.value.pop_back();
     },
     {{0, kService + "running; the start type cannot be read (error 5); recovery actions: restart "
          "after 5000 ms, counts reset after 86400 s (expected: " + kRecovery +
          "); failure-actions flag on; preshutdown timeout 10000 ms; SID type unrestricted; "
          "required privileges SeAssignPrimaryTokenPrivilege, SeTcbPrivilege (expected: required "
          "privileges SeAssignPrimaryTokenPrivilege, SeIncreaseQuotaPrivilege, SeTcbPrivilege)"}},
     12},
    {"no G-sensor class", [](ChainReadings& c) { c.wmiClass = 0x80041002; },
     {{1, "G-sensor's WMI class: fault; no ZEB_AcpiEvent_Btn2 in ROOT\\WMI (0x80041002): the "
          "firmware's driver does not offer it"}}, 12},
    {"the subscription fails", [](ChainReadings& c) {
       c.record.subscription = 2; c.record.subscriptionDetail = "Could not connect"; },
     {{2, "Subscription: fault; failing, " + kAt + ": Could not connect"}}, 12},
    {"connecting for a minute", [](ChainReadings& c) {
       c.record.subscription = 0; c.record.subscriptionDetail = "subscribing";
       c.now = kRecorded + 60 * kSecond; },
     {{2, "Subscription: ok; connecting, " + kAt + ": subscribing"}}, 0},
    {"connecting for three minutes", [](ChainReadings& c) {
       c.record.subscription = 0; c.record.subscriptionDetail = "subscribing";
       c.now = kRecorded + 180 * kSecond; },
     {{2, "Subscription: fault; connecting, " + kAt + ": subscribing"}}, 12},
    {"the last program declined in laptop posture", [](ChainReadings& c) {
       c.record.program = 0; c.record.programCode = 7; c.record.programAngle = 90;
       c.record.programTime = kRecorded; },
     {{3, "Last display program: ok; TurnDisplay.exe 90 ended with 7 (laptop posture or docked), "
          + kAt}}, 0},
    {"the driver refused the last one", [](ChainReadings& c) {
       c.record.program = 0; c.record.programCode = 4; c.record.programAngle = 180; },
     {{3, "Last display program: fault; TurnDisplay.exe 180 ended with 4 (refused by the display "
          "driver), recorded at an unknown time"}}, 12},
    {"the last one could not be started", [](ChainReadings& c) {
       c.record.program = 1; c.record.programCode = 2; c.record.programAngle = 0;
       c.record.programTime = kRecorded; },
     {{3, "Last display program: fault; TurnDisplay.exe 0 could not be started (error 2), " + kAt}},
     12},
    {"the last one still ran at the limit", [](ChainReadings& c) {
       c.record.program = 2; c.record.programAngle = 270; c.record.programTime = kRecorded; },
     {{3, "Last display program: fault; TurnDisplay.exe 270 still ran at the limit and was ended, "
          + kAt}}, 12},
    {"no event source", [](ChainReadings& c) { c.eventSource.error = 2; },
     {{4, "Event source Pivotra: fault; not registered: no "
          "HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Pivotra"}}, 12},
    {"the message file gone, other types", [](ChainReadings& c) {
       c.eventSource.messageFileExists = false; c.eventSource.typesSupported.value = 4; },
     {{4, "Event source Pivotra: fault; EventMessageFile names C:\\Pivotra\\Pivotra.EXE, which is "
          "missing; TypesSupported 4 (expected: TypesSupported 7)"}}, 12},
};

TEST(TurnDisplayStatus, EachPartOfTheChain) {
  const char* argv[] = {"TurnDisplay.exe", "status"};
  for (const ChainCase& c : kChainCases) {
    SCOPED_TRACE(c.name);
    FakePlatform platform;
    c.situation(platform.chain);
    EXPECT_EQ(RunTurnDisplay(platform, 2, argv), c.exitCode);
    std::vector<std::string> expected = kChainOk;
    for (const auto& [line, text] : c.changed) expected[line] = text;
    ASSERT_GE(platform.lines.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(platform.lines.end() - 5, platform.lines.end()), expected);
  }
  // The civil date of a leap day.
  EXPECT_EQ(UtcTime(125963423990000000), "2000-02-29 23:59:59 UTC");
}

}  // namespace

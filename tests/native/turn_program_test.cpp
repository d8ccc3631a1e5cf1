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
    {"docked it stays at landscape", "270", [](FakePlatform& p) { p.autoRotationState = 0x50; }, 7,
     {},
     {"TurnDisplay: laptop posture or docked, and the policy rotates only in tablet posture; "
      "the built-in panel D2" + kStays}},
    {"locked in laptop posture, not even landscape", "0",
     [](FakePlatform& p) {
       p.slateMode = 1; p.autoRotationState = 0x11; p.modes["D2"] = {kFields, 1080, 1920, 1};
     },
     3, {}, {"TurnDisplay: the user has locked screen rotation; the built-in panel D2" + kStays}},
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
     {"AutoRotation: 1 (only in tablet posture), the default; ignored: the value in "
      "HKLM\\SOFTWARE\\Policies\\Pivotra is a REG_SZ, not a REG_DWORD",
      "Displays: 1 (the primary display), from the preference key HKLM\\SOFTWARE\\Pivotra",
      "Posture: tablet (SM_CONVERTIBLESLATEMODE is 0)", "Windows' rotation state: AR_NOSENSOR (0x10)",
      "Display: the primary display D1, connector HDMI, at 0 degrees (2560 x 1440)",
      "Stored orientation: 2 (0 degrees), pending: 4 (90 degrees)",
      "A turn now: exit code 0, would turn the primary display to 90 degrees"}},
    {"status folded says landscape would come and the others wait", "status",
     [](FakePlatform& p) {
       p.slateMode = 1; p.stored = {{2, 3}}; p.modes["D2"] = {kFields, 1080, 1920, 1};
     }, 0, {},
     {"AutoRotation: 1 (only in tablet posture), the default",
      "Displays: 0 (the built-in panel), the default",
      "Posture: laptop (SM_CONVERTIBLESLATEMODE is 1); laptop posture or docked: a turn to 0 "
      "degrees would happen, 90, 180 and 270 degrees would wait for tablet posture",
      "Windows' rotation state: AR_NOSENSOR (0x10)",
      "Display: the built-in panel D2, connector DISPLAYPORT_EMBEDDED, at 90 degrees (1080 x 1920)",
      "Stored orientation: 2 (0 degrees), pending: 3 (270 degrees)",
      "A turn now: exit code 0, would turn the built-in panel D2 to 0 degrees; 270 degrees waits "
      "for tablet posture"}},
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

}  // namespace

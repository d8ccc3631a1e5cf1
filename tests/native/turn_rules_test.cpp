// Whether the screen may turn, and which one: the ordered rules over posture, Windows'
// auto-rotation state and the policy, and the display chosen from the active paths.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "turndisplay/DisplayChoice.h"
#include "turndisplay/RotationRules.h"

namespace {

using namespace turndisplay;

constexpr std::optional<Outcome> kGo;
constexpr std::optional<Outcome> kOff = Outcome::OffByPolicy, kLock = Outcome::Locked,
                                 kHeld = Outcome::Held, kWin = Outcome::WindowsRotates,
                                 kLap = Outcome::LaptopPosture;

// One row per auto-rotation state (none: before Windows 8); one column per policy (never, only
// in tablet posture, always), each in tablet posture (slate mode 0) and in laptop posture (1).
using RuleRow = std::pair<std::optional<std::uint32_t>, std::array<std::optional<Outcome>, 6>>;

// A turn to 90, 180 or 270 degrees.
const RuleRow kRules[] = {
    {std::nullopt, {kOff, kOff, kGo, kLap, kGo, kGo}},
    {0x00, {kOff, kOff, kWin, kWin, kWin, kWin}},        // AR_ENABLED
    {0x01, {kOff, kOff, kLock, kLock, kLock, kLock}},    // AR_DISABLED
    {0x11, {kOff, kOff, kLock, kLock, kLock, kLock}},    // and AR_NOSENSOR
    {0x03, {kOff, kOff, kLock, kLock, kLock, kLock}},    // and AR_SUPPRESSED
    {0x02, {kOff, kOff, kHeld, kHeld, kHeld, kHeld}},    // AR_SUPPRESSED
    {0x04, {kOff, kOff, kHeld, kHeld, kHeld, kHeld}},    // AR_REMOTESESSION
    {0xC2, {kOff, kOff, kHeld, kHeld, kHeld, kHeld}},    // laptop, docked and suppressed
    {0x08, {kOff, kOff, kGo, kLap, kGo, kGo}},           // AR_MULTIMON
    {0x10, {kOff, kOff, kGo, kLap, kGo, kGo}},           // AR_NOSENSOR, as Wine says
    {0x20, {kOff, kOff, kGo, kLap, kGo, kGo}},           // AR_NOT_SUPPORTED
    {0x40, {kOff, kOff, kLap, kLap, kGo, kGo}},          // AR_DOCKED
    {0x80, {kOff, kOff, kLap, kLap, kGo, kGo}},          // AR_LAPTOP
    {0x90, {kOff, kOff, kLap, kLap, kGo, kGo}},          // and AR_NOSENSOR
};

// A turn back to the native landscape: folded or docked, the screen goes back above the
// keyboard; every rule before the posture still wins.
const RuleRow kRulesToLandscape[] = {
    {std::nullopt, {kOff, kOff, kGo, kGo, kGo, kGo}},
    {0x00, {kOff, kOff, kWin, kWin, kWin, kWin}},        // AR_ENABLED
    {0x81, {kOff, kOff, kLock, kLock, kLock, kLock}},    // AR_LAPTOP and AR_DISABLED
    {0xC2, {kOff, kOff, kHeld, kHeld, kHeld, kHeld}},    // laptop, docked and suppressed
    {0x40, {kOff, kOff, kGo, kGo, kGo, kGo}},            // AR_DOCKED
    {0x90, {kOff, kOff, kGo, kGo, kGo, kGo}},            // AR_LAPTOP and AR_NOSENSOR
};

void ExpectRules(const RuleRow* rows, std::size_t count, Orientation wanted) {
  const AutoRotation policies[] = {AutoRotation::Never, AutoRotation::TabletPosture,
                                   AutoRotation::Always};
  for (const auto& [state, expected] : std::vector<RuleRow>(rows, rows + count))
    for (std::size_t column = 0; column < expected.size(); ++column)
      EXPECT_EQ(
          StopRule(policies[column / 2], state, static_cast<std::int32_t>(column % 2), wanted),
          expected[column])
          << "state 0x" << std::hex << state.value_or(0xDEAD) << ", column " << column
          << ", orientation " << wanted;
}

TEST(RotationRules, InTheirOrder) {
  for (const Orientation wanted : {1u, 2u, 3u}) ExpectRules(kRules, std::size(kRules), wanted);
  ExpectRules(kRulesToLandscape, std::size(kRulesToLandscape), 0);
}

constexpr std::uint32_t kHdmi = 5, kExternalDp = 10, kOther = 0xFFFFFFFF;
constexpr std::uint32_t kEdp = kOutputDisplayPortEmbedded;

DisplayPath Same(std::uint32_t technology, const char* source) {
  return {technology, technology, source};
}

struct ChoiceCase {
  const char* topology;
  std::optional<std::vector<DisplayPath>> paths;
  const char* device;  // "" for the primary display
  const char* none;    // when nothing is found: why
};

const char* const kNoneAmong1 = "no built-in panel among 1 active displays";

const ChoiceCase kChoices[] = {
    {"no display configuration", std::nullopt, "", nullptr},
    {"eDP panel alone", std::vector{Same(kEdp, "D1")}, "D1", nullptr},
    {"HDMI before the panel", std::vector{Same(kHdmi, "D1"), Same(kEdp, "D2")}, "D2", nullptr},
    {"LVDS panel", std::vector{Same(4, "D1"), Same(kOutputLvds, "D3")}, "D3", nullptr},
    {"embedded UDI panel", std::vector{Same(kOutputUdiEmbedded, "D4")}, "D4", nullptr},
    {"Wine: external by the path, internal by the target",
     std::vector<DisplayPath>{{kExternalDp, kOutputInternal, "D1"}}, "D1", nullptr},
    {"internal by the path, HDMI by the target",
     std::vector<DisplayPath>{{kOutputInternal, kHdmi, "D1"}}, "", kNoneAmong1},
    {"no target answer, embedded by the path",
     std::vector<DisplayPath>{{kEdp, std::nullopt, "D1"}}, "D1", nullptr},
    {"no target answer, external by the path",
     std::vector<DisplayPath>{{kExternalDp, std::nullopt, "D1"}}, "", kNoneAmong1},
    {"monitors only", std::vector{Same(kHdmi, "D1"), Same(kOther, "D2")}, "",
     "no built-in panel among 2 active displays"},
    {"no active path", std::vector<DisplayPath>{}, "", "no built-in panel among 0 active displays"},
    {"panel whose source has no name", std::vector{Same(kHdmi, "D1"), Same(kEdp, "")}, "",
     nullptr},
    {"panel duplicated on a projector", std::vector{Same(kEdp, "D1"), Same(kHdmi, "D1")}, "",
     "the built-in panel D1 shows the same picture as an external monitor"},
    {"two panels", std::vector{Same(kEdp, "D1"), Same(kEdp, "D2")}, "D1", nullptr},
};

TEST(DisplayChoice, TheBuiltInPanelOrElseThePrimary) {
  for (const ChoiceCase& c : kChoices) {
    const DisplayChoice choice = ChooseDisplay(Displays::BuiltInPanel, c.paths);
    EXPECT_EQ(choice.found, c.none == nullptr) << c.topology;
    EXPECT_EQ(choice.device, c.device) << c.topology;
    EXPECT_EQ(choice.why, c.none != nullptr ? c.none : "") << c.topology;
    // The policy's primary display, whatever the topology.
    EXPECT_EQ(ChooseDisplay(Displays::Primary, c.paths).device, "") << c.topology;
  }
}

}  // namespace

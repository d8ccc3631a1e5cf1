#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "turndisplay/RotationRules.h"
#include "turndisplay/ShownDesktop.h"
#include "turndisplay/TurnDecision.h"
#include "turndisplay/TurnOutcome.h"

namespace {

using namespace turndisplay;

struct ArgumentsCase {
  const char* name;
  std::vector<const char*> arguments;  // after the program name
  std::optional<Request> expected;
};

constexpr Request kRestore{true, 0};
Request Angle(Orientation orientation) { return {false, orientation}; }

class ArgumentsTest : public testing::TestWithParam<ArgumentsCase> {};

TEST_P(ArgumentsTest, TakesOneExactAngle) {
  const ArgumentsCase& c = GetParam();
  std::vector<const char*> argv = {"TurnDisplay.exe"};
  argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
  const std::optional<Request> parsed =
      ParseArguments(static_cast<int>(argv.size()), argv.data());
  EXPECT_EQ(parsed, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ArgumentsTest,
    testing::Values(ArgumentsCase{"Zero", {"0"}, Angle(0)},
                    ArgumentsCase{"Ninety", {"90"}, Angle(1)},
                    ArgumentsCase{"OneEighty", {"180"}, Angle(2)},
                    ArgumentsCase{"TwoSeventy", {"270"}, Angle(3)},
                    ArgumentsCase{"Restore", {"restore"}, kRestore},
                    ArgumentsCase{"RestoreCapital", {"Restore"}, std::nullopt},
                    ArgumentsCase{"RestoreAndAngle", {"restore", "90"}, std::nullopt},
                    ArgumentsCase{"RestoreSwitch", {"/restore"}, std::nullopt},
                    ArgumentsCase{"RestoreTrailingBlank", {"restore "}, std::nullopt},
                    ArgumentsCase{"None", {}, std::nullopt},
                    ArgumentsCase{"Two", {"90", "180"}, std::nullopt},
                    ArgumentsCase{"SameTwice", {"90", "90"}, std::nullopt},
                    ArgumentsCase{"Empty", {""}, std::nullopt},
                    ArgumentsCase{"NotAQuarterTurn", {"45"}, std::nullopt},
                    ArgumentsCase{"FullTurn", {"360"}, std::nullopt},
                    ArgumentsCase{"Negative", {"-90"}, std::nullopt},
                    ArgumentsCase{"Plus", {"+90"}, std::nullopt},
                    ArgumentsCase{"LeadingZero", {"090"}, std::nullopt},
                    ArgumentsCase{"Decimal", {"90.0"}, std::nullopt},
                    ArgumentsCase{"TrailingBlank", {"90 "}, std::nullopt},
                    ArgumentsCase{"LeadingBlank", {" 90"}, std::nullopt},
                    ArgumentsCase{"Suffix", {"90deg"}, std::nullopt},
                    ArgumentsCase{"Word", {"left"}, std::nullopt},
                    ArgumentsCase{"Switch", {"/90"}, std::nullopt},
                    ArgumentsCase{"Kind", {"1"}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Arguments, NoArgumentVectorAtAll) {
  const char* programOnly[] = {"TurnDisplay.exe", nullptr};
  EXPECT_EQ(ParseArguments(0, programOnly), std::nullopt);
  EXPECT_EQ(ParseArguments(2, programOnly), std::nullopt);  // a missing argument text
}

// Up 180 degrees, Down 0, Right 270, Left 90; nothing else is an orientation.
TEST(Restore, TheStoredOrientationsAngle) {
  const std::pair<std::uint32_t, std::optional<Orientation>> table[] = {
      {1, 2u}, {2, 0u}, {3, 3u}, {4, 1u}, {0, std::nullopt}, {5, std::nullopt},
      {0xFFFFFFFF, std::nullopt}};
  for (const auto& [stored, orientation] : table)
    EXPECT_EQ(RestoredOrientation(stored), orientation) << stored;
}

TEST(RotationLock, OnlyTheUsersSwitchCounts) {
  struct Case {
    bool queried;
    std::uint32_t state;
    bool locked;
  };
  const Case cases[] = {
      {true, 0x00, false},   // AR_ENABLED
      {true, 0x01, true},    // AR_DISABLED
      {true, 0x11, true},    // disabled, and no sensor Windows knows
      {true, 0xFF, true},    // every bit
      {true, 0x02, false},   // AR_SUPPRESSED: an application's preference
      {true, 0x04, false},   // AR_REMOTESESSION
      {true, 0x08, false},   // AR_MULTIMON
      {true, 0x10, false},   // AR_NOSENSOR: the firmware's sensor is not Windows's
      {true, 0x20, false},   // AR_NOT_SUPPORTED
      {true, 0x40, false},   // AR_DOCKED
      {true, 0x80, false},   // AR_LAPTOP
      {true, 0xFE, false},   // every bit but the user's
      {false, 0x01, false},  // no such routine, or it failed: whatever the variable holds
  };
  for (const Case& c : cases)
    EXPECT_EQ(LockedByUser(c.queried, c.state), c.locked)
        << "queried " << c.queried << " state 0x" << std::hex << c.state;
}

TEST(ReportedMode, NeedsTheSize) {
  const std::uint32_t size = kFieldWidth | kFieldHeight;
  EXPECT_EQ(ReportedMode(size | kFieldOrientation, 1920, 1080, 1), (DisplayMode{1920, 1080, 1}));
  EXPECT_EQ(ReportedMode(size | kFieldOrientation, 1080, 1920, 3), (DisplayMode{1080, 1920, 3}));
  // Without the orientation field the value means nothing: the display was never turned.
  EXPECT_EQ(ReportedMode(size, 1920, 1080, 3), (DisplayMode{1920, 1080, 0}));
  EXPECT_EQ(ReportedMode(kFieldWidth | kFieldOrientation, 1920, 1080, 0), std::nullopt);
  EXPECT_EQ(ReportedMode(kFieldHeight | kFieldOrientation, 1920, 1080, 0), std::nullopt);
  EXPECT_EQ(ReportedMode(size | kFieldOrientation, 0, 1080, 0), std::nullopt);
  EXPECT_EQ(ReportedMode(size | kFieldOrientation, 1920, 0, 0), std::nullopt);
  // An orientation outside the four is passed on, for the decision to refuse.
  EXPECT_EQ(ReportedMode(size | kFieldOrientation, 1920, 1080, 7), (DisplayMode{1920, 1080, 7}));
}

struct TurnCase {
  DisplayMode current;
  Orientation wanted;
  Verdict verdict;
  DisplayMode asked;  // meaningful for Turn and AlreadySo
};

constexpr auto kTurn = Verdict::Turn;
constexpr auto kAlready = Verdict::AlreadySo;

class TurnTest : public testing::TestWithParam<TurnCase> {};

TEST_P(TurnTest, AsksForTheTurnedMode) {
  const TurnCase& c = GetParam();
  const Decision decision = DecideTurn(c.current, c.wanted);
  ASSERT_EQ(decision.verdict, c.verdict);
  EXPECT_EQ(decision.mode, c.asked);
}

// Every orientation the display may have, to every angle. A landscape panel of 1920 x 1080 is
// 1080 x 1920 at 90 and 270 degrees.
INSTANTIATE_TEST_SUITE_P(
    LandscapePanel, TurnTest,
    testing::Values(TurnCase{{1920, 1080, 0}, 0, kAlready, {1920, 1080, 0}},
                    TurnCase{{1920, 1080, 0}, 1, kTurn, {1080, 1920, 1}},
                    TurnCase{{1920, 1080, 0}, 2, kTurn, {1920, 1080, 2}},
                    TurnCase{{1920, 1080, 0}, 3, kTurn, {1080, 1920, 3}},
                    TurnCase{{1080, 1920, 1}, 0, kTurn, {1920, 1080, 0}},
                    TurnCase{{1080, 1920, 1}, 1, kAlready, {1080, 1920, 1}},
                    TurnCase{{1080, 1920, 1}, 2, kTurn, {1920, 1080, 2}},
                    TurnCase{{1080, 1920, 1}, 3, kTurn, {1080, 1920, 3}},
                    TurnCase{{1920, 1080, 2}, 0, kTurn, {1920, 1080, 0}},
                    TurnCase{{1920, 1080, 2}, 1, kTurn, {1080, 1920, 1}},
                    TurnCase{{1920, 1080, 2}, 2, kAlready, {1920, 1080, 2}},
                    TurnCase{{1920, 1080, 2}, 3, kTurn, {1080, 1920, 3}},
                    TurnCase{{1080, 1920, 3}, 0, kTurn, {1920, 1080, 0}},
                    TurnCase{{1080, 1920, 3}, 1, kTurn, {1080, 1920, 1}},
                    TurnCase{{1080, 1920, 3}, 2, kTurn, {1920, 1080, 2}},
                    TurnCase{{1080, 1920, 3}, 3, kAlready, {1080, 1920, 3}}));

// A tablet whose natural orientation is portrait: the swap follows the turn, not the shape.
INSTANTIATE_TEST_SUITE_P(
    PortraitPanel, TurnTest,
    testing::Values(TurnCase{{800, 1280, 0}, 1, kTurn, {1280, 800, 1}},
                    TurnCase{{800, 1280, 0}, 2, kTurn, {800, 1280, 2}},
                    TurnCase{{1280, 800, 3}, 2, kTurn, {800, 1280, 2}},
                    TurnCase{{1280, 800, 3}, 1, kTurn, {1280, 800, 1}},
                    // A square panel and one already reported at a size its orientation
                    // does not suggest are turned all the same.
                    TurnCase{{1024, 1024, 0}, 3, kTurn, {1024, 1024, 3}},
                    TurnCase{{1920, 1080, 1}, 1, kAlready, {1920, 1080, 1}}));

TEST(Turn, UnknownModeChangesNothing) {
  EXPECT_EQ(DecideTurn(std::nullopt, 1).verdict, Verdict::ModeUnknown);
  EXPECT_EQ(DecideTurn(DisplayMode{1920, 1080, 4}, 1).verdict, Verdict::ModeUnknown);
  EXPECT_EQ(DecideTurn(DisplayMode{1920, 1080, 4}, 0).verdict, Verdict::ModeUnknown);
  EXPECT_EQ(DecideTurn(DisplayMode{1920, 1080, 0}, 4).verdict, Verdict::ModeUnknown);
}

TEST(Outcomes, ExitCodesAreTheDocumentedOnes) {
  const std::pair<Outcome, int> table[] = {
      {Outcome::Turned, 0},          {Outcome::AlreadySo, 1},      {Outcome::BadArgument, 2},
      {Outcome::Locked, 3},          {Outcome::Refused, 4},        {Outcome::ModeUnknown, 5},
      {Outcome::RestartNeeded, 6},   {Outcome::LaptopPosture, 7},  {Outcome::WindowsRotates, 8},
      {Outcome::OffByPolicy, 9},     {Outcome::Held, 10},          {Outcome::NoBuiltInPanel, 11},
  };
  std::set<int> codes;
  for (const auto& [outcome, code] : table) {
    EXPECT_EQ(ExitCodeFor(outcome), code);
    codes.insert(ExitCodeFor(outcome));
  }
  EXPECT_EQ(codes.size(), std::size(table));
  // Nothing stored to restore is, like an orientation already reached, nothing to do.
  EXPECT_EQ(ExitCodeFor(Outcome::NothingToRestore), 1);
}

TEST(Outcomes, DisplayChangeResults) {
  struct Case {
    std::int32_t code;
    Outcome outcome;
    const char* name;
  };
  const Case cases[] = {
      {0, Outcome::Turned, "DISP_CHANGE_SUCCESSFUL"},
      {1, Outcome::RestartNeeded, "DISP_CHANGE_RESTART"},
      {-1, Outcome::Refused, "DISP_CHANGE_FAILED"},
      {-2, Outcome::Refused, "DISP_CHANGE_BADMODE"},
      {-3, Outcome::Refused, "DISP_CHANGE_NOTUPDATED"},
      {-4, Outcome::Refused, "DISP_CHANGE_BADFLAGS"},
      {-5, Outcome::Refused, "DISP_CHANGE_BADPARAM"},
      {-6, Outcome::Refused, "DISP_CHANGE_BADDUALVIEW"},
      {-7, Outcome::Refused, "DISP_CHANGE_?"},
      {2, Outcome::Refused, "DISP_CHANGE_?"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OutcomeOfChange(c.code), c.outcome) << c.code;
    EXPECT_STREQ(DisplayChangeName(c.code), c.name) << c.code;
  }
}

// The lines of the outcomes that the program's stories do not reach; each names the reason and
// the display.
TEST(Outcomes, EachLineSaysWhatHappened) {
  const auto said = [](Outcome outcome, std::int32_t change, std::uint32_t state) {
    Report report;
    report.outcome = outcome;
    report.wanted = 1;
    report.display = "the primary display";
    report.displayChange = change;
    report.autoRotationState = state;
    return OutcomeLine(report);
  };
  const std::string stays = "; the primary display stays as it is";
  EXPECT_EQ(said(Outcome::AlreadySo, 0, 0),
            "TurnDisplay: the primary display is already at 90 degrees");
  EXPECT_EQ(said(Outcome::Refused, -42, 0), "TurnDisplay: the display driver refused 90 "
                                            "degrees for the primary display: DISP_CHANGE_? (-42)");
  EXPECT_EQ(said(Outcome::RestartNeeded, 1, 0),
            "TurnDisplay: 90 degrees is stored for the primary display and takes effect after a "
            "restart: DISP_CHANGE_RESTART (1)");
  EXPECT_EQ(said(Outcome::ModeUnknown, 0, 0),
            "TurnDisplay: the current mode of the primary display cannot be read; nothing changed");
  EXPECT_EQ(said(Outcome::Held, 0, 0x06),
            "TurnDisplay: the console is in a remote session (AR_REMOTESESSION)" + stays);
  EXPECT_EQ(said(Outcome::Held, 0, 0x02),
            "TurnDisplay: an application holds the screen's orientation (AR_SUPPRESSED)" + stays);
  EXPECT_EQ(said(Outcome::WindowsRotates, 0, 0),
            "TurnDisplay: Windows turns this screen itself (auto-rotation is on)" + stays);
  EXPECT_EQ(said(Outcome::OffByPolicy, 0, 0),
            "TurnDisplay: the policy turns auto-rotation off" + stays);
  EXPECT_EQ(UsageLine().rfind("usage: TurnDisplay.exe 0|90|180|270|restore|status ", 0), 0u);
}

// Where the service put the program, by its window station's name: on WinSta0 it stays (on the
// sign-in screen's desktop or the user's); elsewhere it joins the shown desktop, else the user's.
TEST(ShownDesktop, StaysOnTheInteractiveStationElseJoinsTheShownDesktop) {
  const std::vector<Desktop> join = {Desktop::Input, Desktop::Default};
  const std::pair<std::optional<std::string>, bool> stations[] = {
      {"WinSta0", false}, {"winsta0", false}, {"WINSTA0", false}, {"Service-0x0-3e7$", true},
      {"WinSta01", true}, {"WinSta", true},   {"", true},         {std::nullopt, true}};
  for (const auto& [station, joins] : stations) {
    const DesktopPlan plan = PlanDesktop(station);
    EXPECT_EQ(plan.join, joins) << station.value_or("(unreadable)");
    EXPECT_EQ(plan.desktops, joins ? join : std::vector<Desktop>{}) << station.value_or("");
  }
}

}  // namespace

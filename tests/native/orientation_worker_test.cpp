#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <chrono>
#include <deque>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/EventData.h"
#include "common/portable_debug_output.h"
#include "orientation/BlockerNotices.h"
#include "orientation/OrientationWorker.h"
#include "orientation/SettingsFile.h"
#include "tests/support/FakeSink.h"
#include "tests/support/TempDir.h"

namespace {

constexpr std::uint8_t kUp = 0x02, kDown = 0x00, kRight = 0x04, kLeft = 0x06;

class OrientationWorkerTest : public testing::Test {
 protected:
  void SetUp() override {
    sink.m_iniFile.m_path = dir.File(settings::kFileName);
    IoPortBusy.store(0);
    IoPortEventPending.store(0);
    IoPortCatchUp.store(0);
    IoPortClosing.store(false);
    FakeSink::onLog = nullptr;
    TakeCapturedDebugOutput();
  }
  void TearDown() override { FakeSink::onLog = nullptr; }

  void Store(std::uint32_t orientation) {
    sink.m_iniFile.WriteInt(settings::kSection, settings::kLastOrientation, orientation);
  }
  std::uint32_t Stored() const {
    return sink.m_iniFile.GetInt(settings::kSection, settings::kLastOrientation, 0);
  }
  std::uint32_t Flag(const char* key) const {
    return sink.m_iniFile.GetInt(settings::kSection, key, 99);
  }
  std::uint32_t PendingInFile() const {
    return sink.m_iniFile.GetInt(settings::kSection, settings::kPendingOrientation, 99);
  }

  void Event(std::uint8_t byte) {
    EventDataByte.store(byte);
    RunOrientationWorker(&sink);
  }

  TempDir dir;
  FakeSink sink;
};

TEST_F(OrientationWorkerTest, StoredOrientationChangesNothing) {
  Store(2);
  const std::string before = ReadFileBytes(sink.m_iniFile.m_path);
  Event(kDown);

  EXPECT_TRUE(sink.requested.empty());
  EXPECT_EQ(sink.m_countDown, 1u);
  EXPECT_EQ(ReadFileBytes(sink.m_iniFile.m_path), before);
  EXPECT_EQ(TakeCapturedDebugOutput(),
            (std::vector<std::string>{"Thread_WMIEvent_G_SensorCtrlEntry: Start to access Event...",
                                      "Down",
                                      "Thread_WMIEvent_G_SensorCtrlEntry: Thread terminated"}));
  EXPECT_EQ(IoPortBusy.load(), 0);
}

TEST_F(OrientationWorkerTest, NewOrientationRotatesAndIsRecorded) {
  Store(2);
  sink.m_countUp = 5;
  Event(kLeft);

  EXPECT_EQ(sink.requested, std::vector<RotationKind>{DMDO_90});
  EXPECT_EQ(Stored(), 4u);
  EXPECT_EQ(Flag(settings::kTestUp), 0u);
  EXPECT_EQ(Flag(settings::kTestDown), 0u);
  EXPECT_EQ(Flag(settings::kTestLeft), 1u);
  EXPECT_EQ(Flag(settings::kTestRight), 0u);
  EXPECT_EQ(sink.m_countUp + sink.m_countDown + sink.m_countLeft + sink.m_countRight, 0u);
  EXPECT_EQ(ReadFileBytes(sink.m_iniFile.m_path),
            "[G-SensorCtrl]\r\nGSensorLastOrientation=4\r\nGSensorPendingOrientation=0\r\n"
            "OrientationTest_Up=0\r\n"
            "OrientationTest_Down=0\r\nOrientationTest_Left=1\r\nOrientationTest_Right=0\r\n");
  EXPECT_EQ(IoPortBusy.load(), 0);
}

// What the display program says decides what is recorded: the orientation, its flags and the
// reset of the counters only when the screen shows it; otherwise it stays pending, in memory
// and in the file, and an orientation pending before is replaced. It is pending in the file
// from before the start: a service ended while the program runs must not lose it.
TEST_F(OrientationWorkerTest, TheOrientationIsRecordedOnlyWhenTheScreenShowsIt) {
  using Kind = ProgramOutcome::Kind;
  struct Row {
    ProgramOutcome outcome;
    bool shown;
    const char* line;  // after "Left stays pending: TurnDisplay.exe "
  };
  const Row rows[] = {
      {{Kind::Ended, 0}, true, nullptr},   {{Kind::Ended, 1}, true, nullptr},
      {{Kind::Ended, 8}, true, nullptr},   {{Kind::Ended, 2}, false, "ended with 2"},
      {{Kind::Ended, 3}, false, "ended with 3"},   {{Kind::Ended, 4}, false, "ended with 4"},
      {{Kind::Ended, 5}, false, "ended with 5"},   {{Kind::Ended, 6}, false, "ended with 6"},
      {{Kind::Ended, 7}, false, "ended with 7"},   {{Kind::Ended, 9}, false, "ended with 9"},
      {{Kind::Ended, 10}, false, "ended with 10"}, {{Kind::Ended, 11}, false, "ended with 11"},
      {{Kind::Ended, 259}, false, "ended with 259"},
      {{Kind::NotStarted, 0}, false, "could not be started"},
      {{Kind::EndedAtLimit, 0}, false, "still runs after 10 s"},
  };
  for (const std::uint32_t pendingBefore : {0u, 1u}) {
    for (const Row& row : rows) {
      SCOPED_TRACE(std::to_string(pendingBefore) + ", " + (row.line ? row.line : "shown"));
      std::remove(sink.m_iniFile.m_path.c_str());
      Store(2);
      sink.m_pendingOrientation = 0;
      orientation_worker::SetPending(sink, pendingBefore);
      sink.m_countUp = 5;
      sink.m_countLeft = 0;
      sink.outcome = row.outcome;
      std::uint32_t pendingWhileItRuns = 0;
      sink.onRotation = [&](RotationKind) { pendingWhileItRuns = PendingInFile(); };
      TakeCapturedDebugOutput();
      Event(kLeft);
      EXPECT_EQ(pendingWhileItRuns, 4u);

      const std::uint32_t pending = row.shown ? 0 : 4;
      EXPECT_EQ(Stored(), row.shown ? 4u : 2u);
      EXPECT_EQ(sink.m_pendingOrientation, pending);
      EXPECT_EQ(PendingInFile(), pending);
      EXPECT_EQ(Flag(settings::kTestLeft), row.shown ? 1u : 99u);
      EXPECT_EQ(sink.m_countUp, row.shown ? 0u : 5u);
      const auto lines = TakeCapturedDebugOutput();
      EXPECT_EQ(std::count(lines.begin(), lines.end(),
                           std::string("Left stays pending: TurnDisplay.exe ") +
                               (row.line ? row.line : "")),
                row.shown ? 0 : 1);
    }
  }
}

TEST_F(OrientationWorkerTest, EachOrientationRequestsItsAngle) {
  struct Step {
    std::uint8_t byte;
    RotationKind kind;
    std::uint32_t stored;
  };
  const Step steps[] = {{kUp, DMDO_180, 1}, {kRight, DMDO_270, 3}, {kLeft, DMDO_90, 4},
                        {kDown, DMDO_DEFAULT, 2}};
  Store(0);
  for (const Step& step : steps) {
    Event(step.byte);
    ASSERT_FALSE(sink.requested.empty());
    EXPECT_EQ(sink.requested.back(), step.kind);
    EXPECT_EQ(Stored(), step.stored);
  }
  EXPECT_EQ(sink.requested.size(), 4u);
}

TEST_F(OrientationWorkerTest, ThresholdCountsEventsThatNeedNotBeConsecutive) {
  Store(2);
  sink.m_activeRotationCount = 3;
  Event(kUp);
  Event(kLeft);
  Event(kUp);
  EXPECT_TRUE(sink.requested.empty());
  EXPECT_EQ(sink.m_countUp, 2u);
  EXPECT_EQ(sink.m_countLeft, 1u);

  Event(kUp);
  EXPECT_EQ(sink.requested, std::vector<RotationKind>{DMDO_180});
  EXPECT_EQ(Stored(), 1u);
  EXPECT_EQ(sink.m_countLeft, 0u);
  EXPECT_EQ(sink.m_countUp, 0u);
}

TEST_F(OrientationWorkerTest, EventsOfTheStoredOrientationCountToo) {
  Store(2);
  sink.m_activeRotationCount = 2;
  Event(kDown);
  Event(kDown);
  EXPECT_TRUE(sink.requested.empty());
  EXPECT_EQ(sink.m_countDown, 2u);
}

TEST_F(OrientationWorkerTest, UnknownStoredValueRotatesOnFirstEvent) {
  for (std::uint32_t stored : {0u, 5u, 0xFFFFFFFFu}) {
    Store(stored);
    sink.m_activeRotationCount = 1;
    sink.requested.clear();
    Event(kDown);
    EXPECT_EQ(sink.requested, std::vector<RotationKind>{DMDO_DEFAULT}) << stored;
    EXPECT_EQ(Stored(), 2u);
  }
}

TEST_F(OrientationWorkerTest, MissingFileRotatesAndCreatesIt) {
  Event(kRight);
  EXPECT_EQ(sink.requested, std::vector<RotationKind>{DMDO_270});
  EXPECT_EQ(Stored(), 3u);
}

TEST_F(OrientationWorkerTest, NullSinkTouchesNothing) {
  for (std::int32_t busy : {0, 1}) {
    IoPortBusy.store(busy);
    RunOrientationWorker<FakeSink>(nullptr);
    EXPECT_EQ(IoPortBusy.load(), busy);
    EXPECT_EQ(TakeCapturedDebugOutput(),
              std::vector<std::string>{"[Thread_WMIEvent_G_SensorCtrlEntry] Null pointer for "
                                       "thread, skip read io data..."});
  }
}

TEST_F(OrientationWorkerTest, BusyGuardTurnsWorkerAway) {
  Store(2);
  const std::string before = ReadFileBytes(sink.m_iniFile.m_path);
  IoPortBusy.store(1);  // another worker holds it
  Event(kLeft);

  EXPECT_TRUE(sink.requested.empty());
  EXPECT_EQ(sink.m_countLeft, 0u);
  EXPECT_EQ(ReadFileBytes(sink.m_iniFile.m_path), before);
  EXPECT_EQ(IoPortBusy.load(), 1);
  EXPECT_EQ(IoPortEventPending.load(), 1);  // the holder will decide on this byte
  EXPECT_EQ(TakeCapturedDebugOutput(),
            std::vector<std::string>{"[Thread_WMIEvent_G_SensorCtrlEntry] Base IO port under using..."});
}

// A worker arrives while another decides; its byte must not be lost.
TEST_F(OrientationWorkerTest, HolderDecidesAgainOnTheByteOfATurnedAwayWorker) {
  Store(2);
  FakeSink& holder = sink;
  bool secondArrived = false;
  holder.onRotation = [&](RotationKind) {
    if (secondArrived) return;
    secondArrived = true;
    Event(kUp);  // runs while the holder is inside its rotation request
    EXPECT_EQ(IoPortBusy.load(), 1);
  };
  Event(kLeft);

  EXPECT_EQ(holder.requested, (std::vector<RotationKind>{DMDO_90, DMDO_180}));
  EXPECT_EQ(Stored(), 1u);
  EXPECT_EQ(Flag(settings::kTestUp), 1u);
  EXPECT_EQ(IoPortBusy.load(), 0);
  EXPECT_EQ(IoPortEventPending.load(), 0);

  EXPECT_EQ(TakeCapturedDebugOutput(),
            (std::vector<std::string>{
                "Thread_WMIEvent_G_SensorCtrlEntry: Start to access Event...",
                "Left",
                "[Thread_WMIEvent_G_SensorCtrlEntry] Base IO port under using...",
                "Thread_WMIEvent_G_SensorCtrlEntry: Thread terminated",
                "Thread_WMIEvent_G_SensorCtrlEntry: Start to access Event...",
                "Up",
                "Thread_WMIEvent_G_SensorCtrlEntry: Thread terminated",
            }));
}

TEST_F(OrientationWorkerTest, MarksThatKeepComingAreAllHonouredUpToTheLast) {
  Store(2);
  // Each rotation request is overtaken by the next event, which is turned away.
  const std::uint8_t arrivals[] = {kRight, kLeft};
  std::size_t next = 0;
  sink.onRotation = [&](RotationKind) {
    if (next < std::size(arrivals)) Event(arrivals[next++]);
  };
  Event(kUp);

  EXPECT_EQ(sink.requested, (std::vector<RotationKind>{DMDO_180, DMDO_270, DMDO_90}));
  EXPECT_EQ(Stored(), 4u);
  EXPECT_EQ(IoPortBusy.load(), 0);
  EXPECT_EQ(IoPortEventPending.load(), 0);
}

// Events as the sink hands them on, in an order the table chooses: Raise stores a byte and
// starts its worker, which waits in line until a Run step runs it; a worker run with steps
// "during" its decision has them done while it holds the guard, after it has read its byte.
// Fold and Unfold change the posture, as the watch sees it, and catch up; TurnedAway leaves the
// mark of a report whose worker the guard turned away.
enum class Act { Raise, RaiseWithoutThread, Run, Stop, CatchUp, Fold, Unfold, TurnedAway };
struct Step {
  Act act;
  std::uint8_t byte = 0;
  std::vector<Step> during = {};
};

struct Interleaving {
  const char* name;
  std::uint32_t threshold;
  std::vector<Step> steps;
  std::vector<RotationKind> requested;
  std::uint32_t stored;
  std::vector<std::uint32_t> counts;  // Up, Down, Right, Left
  // What the display program says to each request in turn (turned, when none is left), and
  // the orientation pending at the end.
  std::vector<std::uint32_t> exitCodes = {};
  std::uint32_t pending = 0;
  bool turnsOnlyInTablet = true;  // false: AutoRotation 2 (always) or 0 (never)
};

void PrintTo(const Interleaving& row, std::ostream* out) { *out << row.name; }

class Interleavings : public OrientationWorkerTest,
                      public testing::WithParamInterface<Interleaving> {
 protected:
  void Do(const std::vector<Step>& steps) {
    for (const Step& step : steps) {
      switch (step.act) {
        case Act::Raise:
        case Act::RaiseWithoutThread: {
          EventDataByte.store(step.byte);
          const bool starts = step.act == Act::Raise;
          StartOrientationWorker(sink, [&](FakeSink* worker) {
            if (starts) waiting_.push_back(worker);
            return starts;
          });
          break;
        }
        case Act::Run: {
          ASSERT_FALSE(waiting_.empty()) << "no worker waits";
          FakeSink* const worker = waiting_.front();
          waiting_.pop_front();
          DoDuring(kBegins, step.during);
          RunOrientationWorker(worker);
          break;
        }
        case Act::Stop:
          orientation_worker::CloseIoPort(std::chrono::milliseconds(0));
          break;
        case Act::CatchUp:
          DoDuring("Catching up after", step.during);
          RunCatchUp(&sink, CatchUpTrigger::PostureChange);
          break;
        case Act::Fold:
        case Act::Unfold:
          sink.posture.laptopOrDocked = step.act == Act::Fold;
          RunCatchUp(&sink, CatchUpTrigger::PostureChange);
          break;
        case Act::TurnedAway:
          EventDataByte.store(step.byte);
          IoPortEventPending.store(1);
          break;
      }
    }
  }

  // Steps done once, when a line beginning with marker is logged: inside the guard's hold.
  void DoDuring(const std::string& marker, std::vector<Step> during) {
    FakeSink::onLog = [this, marker, during](const std::string& line) mutable {
      if (line.rfind(marker, 0) != 0 || during.empty()) return;
      const std::vector<Step> now = std::move(during);
      during.clear();
      Do(now);
    };
  }

  static constexpr const char* kBegins = "Thread_WMIEvent_G_SensorCtrlEntry: Start to access Event...";
  std::deque<FakeSink*> waiting_;
};

TEST_P(Interleavings, EachEventCountsOnceAndTheLastIsDecided) {
  const Interleaving& row = GetParam();
  Store(2);
  sink.m_activeRotationCount = row.threshold;
  sink.posture.turnsOnlyInTablet = row.turnsOnlyInTablet;
  std::size_t request = 0;
  sink.onRotation = [&](RotationKind) {
    const std::uint32_t code = request < row.exitCodes.size() ? row.exitCodes[request] : 0;
    ++request;
    sink.outcome = {ProgramOutcome::Kind::Ended, code};
  };
  Do(row.steps);
  EXPECT_TRUE(waiting_.empty());
  EXPECT_EQ(sink.requested, row.requested);
  EXPECT_EQ(Stored(), row.stored);
  EXPECT_EQ((std::vector<std::uint32_t>{sink.m_countUp, sink.m_countDown, sink.m_countRight,
                                        sink.m_countLeft}),
            row.counts);
  EXPECT_EQ(sink.m_pendingOrientation, row.pending);
  // A stop with no decision at work keeps the guard for good.
  if (!IoPortClosing.load()) {
    EXPECT_EQ(IoPortBusy.load(), 0);
  }
  TakeCapturedDebugOutput();
}

const Step kUpRaised{Act::Raise, kUp}, kLeftRaised{Act::Raise, kLeft},
    kRightRaised{Act::Raise, kRight}, kDownRaised{Act::Raise, kDown}, kRun{Act::Run},
    kCatchUp{Act::CatchUp}, kFold{Act::Fold}, kUnfold{Act::Unfold};

INSTANTIATE_TEST_SUITE_P(
    Workers, Interleavings,
    testing::Values(
        Interleaving{"BatchDecidedByItsFirstWorker", 2, {kUpRaised, kLeftRaised, kRun, kRun},
                     {}, 2, {0, 0, 0, 1}},
        Interleaving{"ThenOneMoreLeftTurns", 2,
                     {kUpRaised, kLeftRaised, kRun, kRun, kLeftRaised, kRun}, {DMDO_90}, 4,
                     {0, 0, 0, 0}},
        Interleaving{"TurnedAwayBeforeItsByteWasRead", 0,
                     {kUpRaised, {Act::Run, 0, {kLeftRaised, kRun}}}, {DMDO_180, DMDO_90}, 4,
                     {0, 0, 0, 0}},
        Interleaving{"TurnedAwayAfterItsByteWasRead", 2,
                     {kUpRaised, kLeftRaised, {Act::Run, 0, {kRun}}}, {}, 2, {0, 0, 0, 1}},
        Interleaving{"MiddleOfABurstPassedOver", 0,
                     {kUpRaised, kRightRaised, kLeftRaised, kRun, kRun, kRun}, {DMDO_90}, 4,
                     {0, 0, 0, 0}},
        Interleaving{"NoThreadWhileOneDecides", 0,
                     {kUpRaised, {Act::Run, 0, {{Act::RaiseWithoutThread, kLeft}}}},
                     {DMDO_180, DMDO_90}, 4, {0, 0, 0, 0}},
        Interleaving{"NoThreadWhileNoneDecides", 0, {{Act::RaiseWithoutThread, kLeft}},
                     {DMDO_90}, 4, {0, 0, 0, 0}},
        Interleaving{"StopDuringADecision", 0,
                     {kUpRaised, {Act::Run, 0, {{Act::Stop}, kLeftRaised, kRun}}, kRightRaised,
                      kRun},
                     {DMDO_180}, 1, {0, 0, 0, 0}},
        // Catch-ups: the display program declined (7, laptop posture), then something that
        // kept it from turning changes.
        Interleaving{"CatchUpWithNothingPendingStartsNothing", 0, {kCatchUp}, {}, 2,
                     {0, 0, 0, 0}},
        Interleaving{"CatchUpAsksAgainAndRecords", 0, {kLeftRaised, kRun, kCatchUp},
                     {DMDO_90, DMDO_90}, 4, {0, 0, 0, 0}, {7, 0}, 0},
        Interleaving{"CatchUpDeclinedAgainStaysPending", 0, {kLeftRaised, kRun, kCatchUp},
                     {DMDO_90, DMDO_90}, 2, {0, 0, 0, 1}, {7, 7}, 4},
        Interleaving{"CatchUpDuringADecisionIsNotLost", 0,
                     {kLeftRaised, {Act::Run, 0, {kCatchUp}}}, {DMDO_90, DMDO_90}, 4,
                     {0, 0, 0, 0}, {7, 0}, 0},
        Interleaving{"ATriggerDuringACatchUpIsNotLost", 0,
                     {kLeftRaised, kRun, {Act::CatchUp, 0, {kCatchUp}}},
                     {DMDO_90, DMDO_90, DMDO_90}, 4, {0, 0, 0, 0}, {7, 7, 0}, 0},
        Interleaving{"BackAtTheShownOrientationNothingIsPending", 0,
                     {kLeftRaised, kRun, kDownRaised, kRun, kCatchUp}, {DMDO_90}, 2,
                     {0, 1, 0, 1}, {7}, 0},
        Interleaving{"CatchUpAfterTheStopStartsNothing", 0,
                     {kLeftRaised, kRun, {Act::Stop}, kCatchUp}, {DMDO_90}, 2, {0, 0, 0, 1},
                     {7}, 4},
        // Newest only: a report whose mark is waiting comes before a catch-up, and a catch-up
        // does not ask again for what this round's report just asked for.
        Interleaving{"ACatchUpAfterAWaitingReportAsksForTheNewestOnly", 0,
                     {kLeftRaised, kRun, {Act::TurnedAway, kUp}, kCatchUp}, {DMDO_90, DMDO_180},
                     1, {0, 0, 0, 0}, {7, 0}, 0},
        Interleaving{"ATriggerAndAReportDuringADecisionAskOnce", 0,
                     {kUpRaised, {Act::Run, 0, {kCatchUp, {Act::TurnedAway, kLeft}}}},
                     {DMDO_180, DMDO_90}, 1, {0, 0, 0, 1}, {0, 7}, 4},
        // The fold: a laptop shows the native landscape and keeps the device's orientation
        // pending; unfolded, the screen turns back with no new report.
        Interleaving{"AFoldTurnsToLandscapeAndKeepsTheDevicePending", 0,
                     {kLeftRaised, kRun, kFold}, {DMDO_90, DMDO_DEFAULT}, 2, {0, 0, 0, 0}, {},
                     4},
        Interleaving{"TheUnfoldTurnsBackWithoutAReport", 0,
                     {kLeftRaised, kRun, kFold, kUnfold}, {DMDO_90, DMDO_DEFAULT, DMDO_90}, 4,
                     {0, 0, 0, 0}},
        Interleaving{"AFoldWhereTheScreenAlwaysTurnsChangesNothing", 0,
                     {kLeftRaised, kRun, kFold, kUnfold}, {DMDO_90}, 4, {0, 0, 0, 0}, {}, 0,
                     false},
        Interleaving{"AFoldOnALockedScreenLeavesItAsItIs", 0, {kLeftRaised, kRun, kFold},
                     {DMDO_90, DMDO_DEFAULT}, 4, {0, 0, 0, 0}, {0, 3}, 0},
        Interleaving{"ReportsInLaptopPostureWaitAndTheLastTurnsAtTheUnfold", 0,
                     {kFold, kLeftRaised, kRun, kRightRaised, kRun, kUnfold},
                     {DMDO_90, DMDO_270, DMDO_270}, 3, {0, 0, 0, 0}, {7, 7, 0}, 0},
        Interleaving{"BackDownInLaptopPostureNothingWaits", 0,
                     {kLeftRaised, kRun, kFold, kDownRaised, kRun, kUnfold},
                     {DMDO_90, DMDO_DEFAULT}, 2, {0, 1, 0, 0}}),
    [](const testing::TestParamInfo<Interleaving>& info) { return std::string(info.param.name); });

// The watch of the posture and the rotation lock: a notice is a catch-up when the value changed,
// or when a display program started since the last look even though the value reads as before
// (a fold and an unfold while it ran: it may have declined on the value in between).
TEST(BlockerNoticesTest, ANoticeIsACatchUpWhenTheValueOrAProgramMayHaveChanged) {
  struct Notice {
    std::optional<std::uint32_t> value;
    std::uint32_t programStarts;
    bool catchUp;
  };
  BlockerNotices notices(0, 0);
  const Notice sequence[] = {
      {0, 0, false},             // another value of the key changed
      {1, 0, true},              // folded
      {1, 1, true},              // a flip and flip back while a program ran
      {1, 1, false},             // nothing since
      {std::nullopt, 1, true},   // the value went away
      {std::nullopt, 1, false},
  };
  for (const Notice& notice : sequence)
    EXPECT_EQ(notices.CatchUpAfter(notice.value, notice.programStarts), notice.catchUp);
}

// The stop waits for the decision at work to finish its writes, and no longer than its bound.
TEST_F(OrientationWorkerTest, AStopWaitsForTheDecisionAtWork) {
  Store(2);
  std::atomic<bool> inside{false}, release{false};
  sink.onRotation = [&](RotationKind) {
    inside.store(true);
    while (!release.load()) std::this_thread::yield();
  };
  EventDataByte.store(kLeft);
  std::thread holder([this] { RunOrientationWorker(&sink); });
  while (!inside.load()) std::this_thread::yield();

  EXPECT_FALSE(orientation_worker::CloseIoPort(std::chrono::milliseconds(20)));
  std::thread closer([&] {
    EXPECT_TRUE(orientation_worker::CloseIoPort(std::chrono::seconds(30)));
    // Done only once the holder has written the last of its flags.
    EXPECT_EQ(Flag(settings::kTestRight), 0u);
  });
  release.store(true);
  closer.join();
  holder.join();
  EXPECT_EQ(Stored(), 4u);
  EXPECT_EQ(IoPortBusy.load(), 1);  // kept by the stop

  EventDataByte.store(kUp);
  RunOrientationWorker(&sink);
  EXPECT_EQ(sink.requested, std::vector<RotationKind>{DMDO_90});
  TakeCapturedDebugOutput();
}

// Many workers at once, some of them without a thread of their own: never two decisions at
// the same time, no event byte decided twice, and after each burst the stored orientation is
// the one of the last event.
TEST_F(OrientationWorkerTest, BurstsEndInTheLastEventsOrientation) {
  std::atomic<int> deciding{0};
  std::atomic<int> overlaps{0};
  sink.onRotation = [&](RotationKind) {
    if (deciding.fetch_add(1) != 0) overlaps.fetch_add(1);
    std::this_thread::yield();
    deciding.fetch_sub(1);
  };
  std::vector<std::uint32_t> decided;  // touched only by the guard's holder
  FakeSink::onLog = [&](const std::string& line) {
    if (line == "Thread_WMIEvent_G_SensorCtrlEntry: Start to access Event...")
      decided.push_back(IoPortDecidedSequence);
  };

  std::mt19937 random(12345);
  for (int round = 0; round < 20; ++round) {
    std::vector<std::thread> workers;
    std::uint8_t last = 0;
    for (int i = 0; i < 25; ++i) {
      last = static_cast<std::uint8_t>(random());
      EventDataByte.store(last);
      const bool threadStarts = random() % 5 != 0;
      StartOrientationWorker(sink, [&](FakeSink* worker) {
        if (threadStarts) workers.emplace_back([worker] { RunOrientationWorker(worker); });
        return threadStarts;
      });
    }
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(Stored(), static_cast<std::uint32_t>(DecodeOrientation(last).code))
        << "round " << round;
    ASSERT_FALSE(decided.empty());
    EXPECT_EQ(decided.back(), EventDataByte.read().sequence) << "round " << round;
    EXPECT_EQ(IoPortBusy.load(), 0);
  }
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_EQ(std::set<std::uint32_t>(decided.begin(), decided.end()).size(), decided.size());
  TakeCapturedDebugOutput();
}

}  // namespace

#include <gtest/gtest.h>

#include <atomic>
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
            "[G-SensorCtrl]\r\nGSensorLastOrientation=4\r\nOrientationTest_Up=0\r\n"
            "OrientationTest_Down=0\r\nOrientationTest_Left=1\r\nOrientationTest_Right=0\r\n");
  EXPECT_EQ(IoPortBusy.load(), 0);
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
enum class Act { Raise, RaiseWithoutThread, Run, Stop };
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
          std::vector<Step> during = step.during;
          FakeSink::onLog = [this, during](const std::string& line) mutable {
            if (line != kBegins || during.empty()) return;
            const std::vector<Step> now = std::move(during);
            during.clear();
            Do(now);
          };
          RunOrientationWorker(worker);
          break;
        }
        case Act::Stop:
          orientation_worker::CloseIoPort(std::chrono::milliseconds(0));
          break;
      }
    }
  }

  static constexpr const char* kBegins = "Thread_WMIEvent_G_SensorCtrlEntry: Start to access Event...";
  std::deque<FakeSink*> waiting_;
};

TEST_P(Interleavings, EachEventCountsOnceAndTheLastIsDecided) {
  const Interleaving& row = GetParam();
  Store(2);
  sink.m_activeRotationCount = row.threshold;
  Do(row.steps);
  EXPECT_TRUE(waiting_.empty());
  EXPECT_EQ(sink.requested, row.requested);
  EXPECT_EQ(Stored(), row.stored);
  EXPECT_EQ((std::vector<std::uint32_t>{sink.m_countUp, sink.m_countDown, sink.m_countRight,
                                        sink.m_countLeft}),
            row.counts);
  EXPECT_EQ(IoPortBusy.load(), 0);
  TakeCapturedDebugOutput();
}

const Step kUpRaised{Act::Raise, kUp}, kLeftRaised{Act::Raise, kLeft},
    kRightRaised{Act::Raise, kRight}, kRun{Act::Run};

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
                     {DMDO_180}, 1, {0, 0, 0, 0}}),
    [](const testing::TestParamInfo<Interleaving>& info) { return std::string(info.param.name); });

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

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <random>
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
    TakeCapturedDebugOutput();
  }

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

// Many workers at once: never two decisions at the same time, and after the burst the stored
// orientation is the one of the last event.
TEST_F(OrientationWorkerTest, BurstsEndInTheLastEventsOrientation) {
  std::atomic<int> deciding{0};
  std::atomic<int> overlaps{0};
  sink.onRotation = [&](RotationKind) {
    if (deciding.fetch_add(1) != 0) overlaps.fetch_add(1);
    std::this_thread::yield();
    deciding.fetch_sub(1);
  };

  std::mt19937 random(12345);
  for (int round = 0; round < 20; ++round) {
    std::vector<std::thread> workers;
    std::uint8_t last = 0;
    for (int i = 0; i < 25; ++i) {
      last = static_cast<std::uint8_t>(random());
      EventDataByte.store(last);
      workers.emplace_back([this] { RunOrientationWorker(&sink); });
    }
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(Stored(), static_cast<std::uint32_t>(DecodeOrientation(last).code))
        << "round " << round;
    EXPECT_EQ(IoPortBusy.load(), 0);
  }
  EXPECT_EQ(overlaps.load(), 0);
  TakeCapturedDebugOutput();
}

}  // namespace

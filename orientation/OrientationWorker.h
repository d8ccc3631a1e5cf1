#pragma once

#include <atomic>
#include <cstdint>

#include "common/DebugPrint.h"
#include "common/EventData.h"
#include "orientation/OrientationDecision.h"
#include "orientation/SettingsFile.h"

// 1 while a worker decides on an event: one decision at a time touches the counters, the
// settings file and the launcher.
extern std::atomic<std::int32_t> IoPortBusy;

// Set by a worker that the guard turned away. Whoever holds the guard next clears it just
// before it reads EventDataByte, so the byte of the last event is always decided on.
extern std::atomic<std::int32_t> IoPortEventPending;

namespace orientation_worker {

// The indivisible test-and-set: true when this caller now holds the guard.
inline bool TakeIoPort() { return IoPortBusy.exchange(1) == 0; }

// Releases the guard however the decision ends.
class IoPortHold {
 public:
  IoPortHold() = default;
  ~IoPortHold() { IoPortBusy.store(0); }
  IoPortHold(const IoPortHold&) = delete;
  IoPortHold& operator=(const IoPortHold&) = delete;
};

template <typename Sink>
std::uint32_t& CounterOf(Sink& sink, OrientationCode code) {
  switch (code) {
    case OrientationCode::Up: return sink.m_countUp;
    case OrientationCode::Right: return sink.m_countRight;
    case OrientationCode::Left: return sink.m_countLeft;
    default: return sink.m_countDown;
  }
}

// One decision on the latest event byte, with the guard held.
template <typename Sink>
void DecideOnLatestEvent(Sink& sink) {
  Sink::Log("Thread_WMIEvent_G_SensorCtrlEntry: Start to access Event...");
  const std::uint32_t stored =
      sink.m_iniFile.GetInt(settings::kSection, settings::kLastOrientation, 0);
  const OrientationRow& row = DecodeOrientation(EventDataByte.load());
  Sink::Log("%s", row.word);

  std::uint32_t& count = CounterOf(sink, row.code);
  ++count;
  if (DecideRotation(stored, row.code, count, sink.m_activeRotationCount) ==
      RotationDecision::Rotate) {
    // The orientation counts as reached whether or not the program could be started.
    sink.RequestRotation(row.kind);
    sink.m_iniFile.WriteInt(settings::kSection, settings::kLastOrientation,
                            static_cast<std::uint32_t>(row.code));
    sink.m_countDown = sink.m_countUp = sink.m_countRight = sink.m_countLeft = 0;
    for (const TestFlag& flag : TestFlagsFor(row.code))
      sink.m_iniFile.WriteInt(settings::kSection, flag.key, flag.value);
  }
  Sink::Log("Thread_WMIEvent_G_SensorCtrlEntry: Thread terminated");
}

}  // namespace orientation_worker

// The body of one orientation worker. A worker that finds the guard taken leaves a mark and
// tries once more; the holder, after releasing, decides again while marks keep coming, so a
// burst's last event is never the one lost.
template <typename Sink>
void RunOrientationWorker(Sink* sink) {
  using namespace orientation_worker;
  if (sink == nullptr) {
    DebugPrint("[Thread_WMIEvent_G_SensorCtrlEntry] Null pointer for thread, skip read io data...");
    return;
  }
  if (!TakeIoPort()) {
    DebugPrint("[Thread_WMIEvent_G_SensorCtrlEntry] Base IO port under using...");
    IoPortEventPending.store(1);
    if (!TakeIoPort()) return;  // the holder will see the mark after it releases
  }
  do {
    IoPortHold hold;
    IoPortEventPending.store(0);  // every mark left so far is covered by the read below
    DecideOnLatestEvent(*sink);
  } while (IoPortEventPending.load() != 0 && TakeIoPort());
}

#pragma once

#include <atomic>
#include <chrono>
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

// The sequence number of the event byte decided on last; only the guard's holder touches it.
// A byte that still carries it has been counted already.
extern std::uint32_t IoPortDecidedSequence;

// Set when the service begins to stop: from then on no decision begins.
extern std::atomic<bool> IoPortClosing;

namespace orientation_worker {

// The indivisible test-and-set: true when this caller now holds the guard. Once the service
// stops, a caller that wins it gives it back at once.
inline bool TakeIoPort() {
  if (IoPortBusy.exchange(1) != 0) return false;
  if (!IoPortClosing.load()) return true;
  IoPortBusy.store(0);
  return false;
}

// Releases the guard however the decision ends.
class IoPortHold {
 public:
  IoPortHold() = default;
  ~IoPortHold() { IoPortBusy.store(0); }
  IoPortHold(const IoPortHold&) = delete;
  IoPortHold& operator=(const IoPortHold&) = delete;
};

// Leaves the mark for whoever holds the guard, then tries it once more: true when this caller
// holds it now. The holder looks at the mark only after it has released the guard.
inline bool MarkAndRetake() {
  IoPortEventPending.store(1);
  return TakeIoPort();
}

// For the stop: no decision begins from now on, and the one in progress, if any, is given up
// to bound to finish its writes. True when none is at work any more; the guard then stays
// taken for good.
bool CloseIoPort(std::chrono::milliseconds bound);

template <typename Sink>
std::uint32_t& CounterOf(Sink& sink, OrientationCode code) {
  switch (code) {
    case OrientationCode::Up: return sink.m_countUp;
    case OrientationCode::Right: return sink.m_countRight;
    case OrientationCode::Left: return sink.m_countLeft;
    default: return sink.m_countDown;
  }
}

// One decision on the latest event byte, with the guard held. A byte already counted is
// passed over: two workers, or a holder deciding again, must not count one event twice.
template <typename Sink>
void DecideOnLatestEvent(Sink& sink) {
  const EventDataCell::Reading event = EventDataByte.read();
  if (event.sequence == IoPortDecidedSequence) {
    DebugPrint("[Thread_WMIEvent_G_SensorCtrlEntry] Event already decided, skip...");
    return;
  }
  IoPortDecidedSequence = event.sequence;

  Sink::Log("Thread_WMIEvent_G_SensorCtrlEntry: Start to access Event...");
  const std::uint32_t stored =
      sink.m_iniFile.GetInt(settings::kSection, settings::kLastOrientation, 0);
  const OrientationRow& row = DecodeOrientation(event.byte);
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

// With the guard taken: decides, then decides again while turned-away workers leave marks.
template <typename Sink>
void DecideWhileMarked(Sink& sink) {
  do {
    IoPortHold hold;
    IoPortEventPending.store(0);  // every mark left so far is covered by the read below
    DecideOnLatestEvent(sink);
  } while (IoPortEventPending.load() != 0 && TakeIoPort());
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
    if (!MarkAndRetake()) return;
  }
  DecideWhileMarked(*sink);
}

// Starts the worker of the event byte just stored: start(sink) is true when its thread runs.
// Without a thread the caller stands in for the worker, as one that the guard turned away
// would: it leaves the mark and, when the guard is free, decides itself.
template <typename Sink, typename Start>
void StartOrientationWorker(Sink& sink, Start start) {
  using namespace orientation_worker;
  if (start(&sink)) return;
  DebugPrint("[Thread_WMIEvent_G_SensorCtrlEntry] No thread for the event, deciding in place...");
  if (MarkAndRetake()) DecideWhileMarked(sink);
}

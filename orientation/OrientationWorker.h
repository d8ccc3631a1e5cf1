#pragma once

#include <cstdint>

#include "common/CatchUpTrigger.h"
#include "common/DebugPrint.h"
#include "common/EventData.h"
#include "orientation/IoPort.h"
#include "orientation/OrientationDecision.h"
#include "orientation/RotationLauncher.h"
#include "orientation/ScreenRecord.h"
#include "orientation/SettingsFile.h"

namespace orientation_worker {

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
// passed over: two workers, or a holder deciding again, must not count one event twice. The
// orientation the display program was asked for, if it was started.
template <typename Sink>
const OrientationRow* DecideOnLatestEvent(Sink& sink) {
  const EventDataCell::Reading event = EventDataByte.read();
  if (event.sequence == IoPortDecidedSequence) {
    DebugPrint("[Thread_WMIEvent_G_SensorCtrlEntry] Event already decided, skip...");
    return nullptr;
  }
  IoPortDecidedSequence = event.sequence;

  Sink::Log("Thread_WMIEvent_G_SensorCtrlEntry: Start to access Event...");
  const std::uint32_t stored =
      sink.m_iniFile.GetInt(settings::kSection, settings::kLastOrientation, 0);
  const OrientationRow& row = DecodeOrientation(event.byte);
  Sink::Log("%s", row.word);

  std::uint32_t& count = CounterOf(sink, row.code);
  ++count;
  const OrientationRow* asked = nullptr;
  switch (DecideRotation(stored, row.code, count, sink.m_activeRotationCount)) {
    case RotationDecision::Rotate:
      TurnTo(sink, row, row, FindOrientation(stored));
      asked = &row;
      break;
    case RotationDecision::AlreadyStored:
      DropPending(sink, row);
      break;
    case RotationDecision::NotEnoughEvents:
      break;
  }
  Sink::Log("Thread_WMIEvent_G_SensorCtrlEntry: Thread terminated");
  return asked;
}

// With the guard held: brings the screen to what it should show now, without a new report: the
// orientation the device asks for, or the native landscape its posture calls for. Nothing is
// started when the screen shows it already, or when asked (the orientation the program was
// started for by this round's report, after the trigger came) is it; the line says so.
template <typename Sink>
void CatchUpOnPending(Sink& sink, CatchUpTrigger trigger, const OrientationRow* asked) {
  const OrientationRow* shown = FindOrientation(
      sink.m_iniFile.GetInt(settings::kSection, settings::kLastOrientation, 0));
  const OrientationRow* pending = FindOrientation(sink.m_pendingOrientation);
  const OrientationRow* device = pending != nullptr ? pending : shown;
  const OrientationRow* target =
      device != nullptr ? &ScreenTarget(*device, sink.ScreenPosture()) : nullptr;
  if (target == nullptr || target == shown || target == asked) {
    Sink::Log("Nothing to catch up after %s", TriggerName(trigger));
    return;
  }
  Sink::Log("Catching up after %s: %s %s", TriggerName(trigger), launcher::kProgramName,
            launcher::FindRotation(target->kind)->angle);
  TurnTo(sink, *target, *device, shown);
}

// With the guard taken: decides on the latest event when one is marked (or event is set), catches
// up when a trigger is marked, then does it again while turned-away callers leave marks.
template <typename Sink>
void DecideWhileMarked(Sink& sink, bool event) {
  for (;;) {
    {
      IoPortHold hold;
      // The trigger is taken first: a program started after this sees what the trigger reports.
      const auto trigger = static_cast<CatchUpTrigger>(IoPortCatchUp.exchange(0));
      // A report's mark comes before a catch-up, which then asks for the newest orientation
      // only, never first for the stale pending one.
      const OrientationRow* asked = nullptr;
      if (event || IoPortEventPending.load() != 0) {
        IoPortEventPending.store(0);  // every mark left so far is covered by the read below
        asked = DecideOnLatestEvent(sink);
      }
      if (trigger != CatchUpTrigger::None) CatchUpOnPending(sink, trigger, asked);
    }
    // Marks are looked at only once the guard is free: a caller turned away meanwhile either
    // takes it itself or leaves its mark where this sees it.
    if (IoPortEventPending.load() == 0 && IoPortCatchUp.load() == 0) return;
    if (!TakeIoPort()) return;
    event = false;
  }
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
  DecideWhileMarked(*sink, true);
}

// Starts the worker of the event byte just stored: start(sink) is true when its thread runs.
// Without a thread the caller stands in for the worker, as one that the guard turned away
// would: it leaves the mark and, when the guard is free, decides itself.
template <typename Sink, typename Start>
void StartOrientationWorker(Sink& sink, Start start) {
  using namespace orientation_worker;
  if (start(&sink)) return;
  DebugPrint("[Thread_WMIEvent_G_SensorCtrlEntry] No thread for the event, deciding in place...");
  if (MarkAndRetake()) DecideWhileMarked(sink, true);
}

// A catch-up for trigger, through the same guard as the decisions: the mark first, so that
// whoever holds the guard, or this caller once it has it, asks for the pending orientation.
// Without a sink yet (no subscription has made one), the mark waits for the first holder.
template <typename Sink>
void RunCatchUp(Sink* sink, CatchUpTrigger trigger) {
  using namespace orientation_worker;
  IoPortCatchUp.store(static_cast<std::int32_t>(trigger));
  if (sink == nullptr || !TakeIoPort()) return;
  DecideWhileMarked(*sink, false);
}

// Once the first sink exists: a catch-up marked before there was one.
template <typename Sink>
void RunOwedCatchUp(Sink& sink) {
  using namespace orientation_worker;
  if (IoPortCatchUp.load() != 0 && TakeIoPort()) DecideWhileMarked(sink, false);
}

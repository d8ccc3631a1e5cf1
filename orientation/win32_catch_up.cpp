#include "orientation/win32_catch_up.h"

#include <atomic>
#include <cstdint>

#include "common/DebugPrint.h"
#include "common/WorkerThread.h"
#include "events/EventSink.h"
#include "orientation/OrientationWorker.h"
#include "orientation/win32_blocker_watch.h"
#include "orientation/win32_orientation_worker.h"

namespace {

std::atomic<EventSink*> g_catchUpSink{nullptr};
std::atomic<TabletOnlyRule> g_tabletOnly{nullptr};

// Kept apart from the thread routine so that everything it built is gone before AfxEndThread,
// which does not unwind.
void RunCatchUpThread(LPVOID parameter) {
  const auto trigger = static_cast<CatchUpTrigger>(reinterpret_cast<std::intptr_t>(parameter));
  if (trigger == CatchUpTrigger::None) {
    if (EventSink* const sink = g_catchUpSink.load()) RunOwedCatchUp(*sink);
    return;
  }
  CatchUpNow(trigger);
}

bool StartCatchUpThread(CatchUpTrigger trigger) {
  // The thread object deletes itself; the stack is a worker's, as the catch-up is a decision's.
  return AfxBeginThread(Thread_CatchUpEntry,
                        reinterpret_cast<LPVOID>(static_cast<std::intptr_t>(trigger)),
                        THREAD_PRIORITY_NORMAL, kWorkerStackReservation,
                        STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr) != nullptr;
}

}  // namespace

void PublishSink(EventSink* sink) {
  EventSink* expected = nullptr;
  sink->AddRef();
  if (!g_catchUpSink.compare_exchange_strong(expected, sink)) {
    sink->Release();  // the first one stays
    return;
  }
  if (IoPortCatchUp.load() != 0 && !StartCatchUpThread(CatchUpTrigger::None))
    DebugPrint("Catch-up: no thread, it waits for the next decision");
}

void CatchUpNow(CatchUpTrigger trigger) { RunCatchUp(g_catchUpSink.load(), trigger); }

void StartCatchUp(CatchUpTrigger trigger) {
  if (StartCatchUpThread(trigger)) return;
  IoPortCatchUp.store(static_cast<std::int32_t>(trigger));
  DebugPrint("Catch-up: no thread, it waits for the next decision");
}

void SetTabletOnlyRule(TabletOnlyRule rule) { g_tabletOnly.store(rule); }

Posture EventSink::ScreenPosture() {
  Posture posture;
  posture.laptopOrDocked = ReadLaptopOrDocked();
  if (const TabletOnlyRule rule = g_tabletOnly.load()) posture.turnsOnlyInTablet = rule();
  return posture;
}

UINT __cdecl Thread_CatchUpEntry(LPVOID parameter) {
  RunCatchUpThread(parameter);
  AfxEndThread(0);
}

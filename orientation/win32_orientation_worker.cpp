#include "orientation/win32_orientation_worker.h"

#include "common/WorkerThread.h"
#include "events/EventSink.h"
#include "orientation/OrientationWorker.h"

namespace {

// Kept apart from the thread routine so that everything it built is gone before
// AfxEndThread, which does not unwind.
void RunWorker(LPVOID parameter) { RunOrientationWorker(static_cast<EventSink*>(parameter)); }

}  // namespace

UINT __cdecl Thread_WMIEvent_G_SensorCtrlEntry(LPVOID parameter) {
  RunWorker(parameter);
  AfxEndThread(0);
}

bool StartWorkerThread(EventSink* sink) {
  // The thread object deletes itself when the worker ends.
  return AfxBeginThread(Thread_WMIEvent_G_SensorCtrlEntry, sink, THREAD_PRIORITY_NORMAL,
                        kWorkerStackReservation, STACK_SIZE_PARAM_IS_A_RESERVATION,
                        nullptr) != nullptr;
}

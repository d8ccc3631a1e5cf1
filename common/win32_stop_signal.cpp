#include "common/win32_stop_signal.h"

HANDLE StoppingEvent() {
  // Made once, under the runtime's lock for statics.
  static const HANDLE stopping = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  return stopping;
}

void SignalStopping() {
  if (const HANDLE stopping = StoppingEvent()) ::SetEvent(stopping);
}

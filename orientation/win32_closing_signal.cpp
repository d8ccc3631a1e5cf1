#include "orientation/win32_closing_signal.h"

HANDLE DecisionsClosingEvent() {
  // Made once, under the runtime's lock for statics; never closed: waits on it may run until the
  // process ends.
  static const HANDLE closing = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  return closing;
}

void SignalDecisionsClosing() {
  if (const HANDLE closing = DecisionsClosingEvent()) ::SetEvent(closing);
}

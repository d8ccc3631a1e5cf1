#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

// 1 while a worker decides on an event or catches up: one at a time touches the counters, the
// settings file and the launcher, so two display programs never run at once.
extern std::atomic<std::int32_t> IoPortBusy;

// Set by a worker that the guard turned away. Whoever holds the guard next clears it just
// before it reads EventDataByte, so the byte of the last event is always decided on.
extern std::atomic<std::int32_t> IoPortEventPending;

// The catch-up a caller left for whoever holds the guard (a CatchUpTrigger; 0 for none). Taken
// once per round by the holder, so a trigger that comes during a decision is not lost.
extern std::atomic<std::int32_t> IoPortCatchUp;

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

}  // namespace orientation_worker

#include "orientation/IoPort.h"

#include <thread>

std::atomic<std::int32_t> IoPortBusy{0};
std::atomic<std::int32_t> IoPortEventPending{0};
std::atomic<std::int32_t> IoPortCatchUp{0};
std::uint32_t IoPortDecidedSequence = 0;
std::atomic<bool> IoPortClosing{false};

namespace orientation_worker {

bool CloseIoPort(std::chrono::milliseconds bound) {
  IoPortClosing.store(true);
  const auto deadline = std::chrono::steady_clock::now() + bound;
  // Taken here with the bare exchange, which the closing flag does not turn away.
  while (IoPortBusy.exchange(1) != 0) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace orientation_worker

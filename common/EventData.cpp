#include "common/EventData.h"

EventDataCell EventDataByte;

void EventDataCell::store(std::uint8_t byte) {
  // Several delivery threads may store at once: each store is one step from the word it saw.
  std::uint32_t seen = word_.load();
  while (!word_.compare_exchange_weak(seen, ((seen & ~0xFFu) + 0x100u) | byte)) {
  }
}

EventDataCell::Reading EventDataCell::read() const {
  const std::uint32_t word = word_.load();
  return {static_cast<std::uint8_t>(word & 0xFFu), word >> 8};
}

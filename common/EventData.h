#pragma once

#include <atomic>
#include <cstdint>

// The low byte of the most recent event's "Data" value: written by the event sink just before
// it starts a worker, read by the worker that holds the busy guard. Every store advances a
// sequence number kept in the same atomic word as the byte, so a reader gets a byte together
// with its own number and tells an event it has not seen from one already counted.
class EventDataCell {
 public:
  struct Reading {
    std::uint8_t byte;
    std::uint32_t sequence;  // 24 bits, wrapping; 0 before the first store
  };

  void store(std::uint8_t byte);
  Reading read() const;
  std::uint8_t load() const { return read().byte; }

 private:
  std::atomic<std::uint32_t> word_{0};  // sequence in the upper 24 bits, byte in the lowest 8
};

extern EventDataCell EventDataByte;
static_assert(std::atomic<std::uint32_t>::is_always_lock_free, "EventDataByte must be one word");

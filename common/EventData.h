#pragma once

#include <atomic>
#include <cstdint>

// The low byte of the most recent event's "Data" value: written by the event sink just before
// it starts a worker, read once by the worker that holds the busy guard. A single atomic byte,
// so no reader ever sees half of a write.
extern std::atomic<std::uint8_t> EventDataByte;
static_assert(std::atomic<std::uint8_t>::is_always_lock_free, "EventDataByte must be one byte");

#pragma once

#include <cstdint>
#include <string>

// The low byte of an event's "Data" value carries the orientation.
inline std::uint8_t EventByteOf(std::uint32_t payload) {
  return static_cast<std::uint8_t>(payload & 0xFF);
}

// The diagnostic line of one event: the value's text, then its 32-bit payload read unsigned
// and signed.
std::string EventDataLine(const std::string& text, std::uint32_t payload);

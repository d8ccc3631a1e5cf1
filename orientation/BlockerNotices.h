#pragma once

#include <cstdint>
#include <optional>

// When a notice that a watched value (the posture, the rotation lock) may have changed is a
// catch-up. A changed value is one. So is a notice of a value that reads as before when a display
// program started since the last look: the value may have flipped and flipped back while it ran,
// and the program may have declined on what it read in between, leaving an orientation pending
// that nothing would ask for again.
class BlockerNotices {
 public:
  BlockerNotices(std::optional<std::uint32_t> value, std::uint32_t programStarts)
      : value_(value), programStarts_(programStarts) {}

  // At a notice: the value now and the count of program starts now.
  bool CatchUpAfter(std::optional<std::uint32_t> value, std::uint32_t programStarts) {
    const bool catchUp = value != value_ || programStarts != programStarts_;
    value_ = value;
    programStarts_ = programStarts;
    return catchUp;
  }

 private:
  std::optional<std::uint32_t> value_;
  std::uint32_t programStarts_;
};

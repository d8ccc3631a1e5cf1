#pragma once

#include <array>
#include <cstdint>

#include "common/OrientationTypes.h"

// What one event byte means: the orientation sits in bits 1 and 2, every value of them is
// defined, and each orientation has its rotation and its test flag.
struct OrientationRow {
  std::uint8_t bits;  // the event byte masked with 6
  const char* word;   // logged by the worker
  OrientationCode code;
  RotationKind kind;
  const char* testFlag;
};

inline constexpr std::uint8_t kOrientationMask = 6;

const OrientationRow& DecodeOrientation(std::uint8_t eventByte);

// The row of a stored OrientationCode (1 to 4); null for any other value.
const OrientationRow* FindOrientation(std::uint32_t code);

enum class RotationDecision {
  AlreadyStored,    // the decoded orientation is the stored one
  NotEnoughEvents,  // its counter is still below the threshold
  Rotate,
};

// count is the decoded orientation's counter including this event; all values are unsigned.
RotationDecision DecideRotation(std::uint32_t storedOrientation, OrientationCode decoded,
                                std::uint32_t count, std::uint32_t threshold);

// What the screen may show besides what the device reports: a convertible folded into a laptop
// (or docked) shows the native landscape where the screen turns only in tablet posture (the
// display program's AutoRotation 1, its default).
struct Posture {
  bool laptopOrDocked = false;
  bool turnsOnlyInTablet = true;
};

// The orientation the screen should show while the device reports device: Down, the native
// landscape, in laptop posture or docked under that rule; else the device's own.
const OrientationRow& ScreenTarget(const OrientationRow& device, const Posture& posture);

struct TestFlag {
  const char* key;
  std::uint32_t value;
};

// The four test flags after a rotation to reached, in the order they are written.
std::array<TestFlag, 4> TestFlagsFor(OrientationCode reached);

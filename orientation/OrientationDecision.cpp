#include "orientation/OrientationDecision.h"

#include "orientation/SettingsFile.h"

namespace {

// Indexed by (event byte & 6) / 2.
constexpr std::array<OrientationRow, 4> kRows{{
    {0, "Down", OrientationCode::Down, DMDO_DEFAULT, settings::kTestDown},
    {2, "Up", OrientationCode::Up, DMDO_180, settings::kTestUp},
    {4, "Right", OrientationCode::Right, DMDO_270, settings::kTestRight},
    {6, "Left", OrientationCode::Left, DMDO_90, settings::kTestLeft},
}};

}  // namespace

const OrientationRow& DecodeOrientation(std::uint8_t eventByte) {
  return kRows[(eventByte & kOrientationMask) >> 1];
}

const OrientationRow* FindOrientation(std::uint32_t code) {
  for (const OrientationRow& row : kRows)
    if (static_cast<std::uint32_t>(row.code) == code) return &row;
  return nullptr;
}

RotationDecision DecideRotation(std::uint32_t storedOrientation, OrientationCode decoded,
                                std::uint32_t count, std::uint32_t threshold) {
  if (storedOrientation == static_cast<std::uint32_t>(decoded))
    return RotationDecision::AlreadyStored;
  if (count < threshold) return RotationDecision::NotEnoughEvents;
  return RotationDecision::Rotate;
}

const OrientationRow& ScreenTarget(const OrientationRow& device, const Posture& posture) {
  if (posture.laptopOrDocked && posture.turnsOnlyInTablet) return DecodeOrientation(0);
  return device;
}

std::array<TestFlag, 4> TestFlagsFor(OrientationCode reached) {
  auto flag = [reached](const char* key, OrientationCode code) {
    return TestFlag{key, reached == code ? 1u : 0u};
  };
  return {{
      flag(settings::kTestUp, OrientationCode::Up),
      flag(settings::kTestDown, OrientationCode::Down),
      flag(settings::kTestLeft, OrientationCode::Left),
      flag(settings::kTestRight, OrientationCode::Right),
  }};
}

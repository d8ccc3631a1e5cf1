#include "turndisplay/RotationRules.h"

namespace turndisplay {

bool LockedByUser(bool queried, std::uint32_t autoRotationState) {
  return queried && (autoRotationState & kAutoRotationDisabledByUser) != 0;
}

std::optional<Outcome> StopRule(AutoRotation policy, std::optional<std::uint32_t> autoRotationState,
                                std::int32_t slateMode) {
  const std::uint32_t state = autoRotationState.value_or(0);
  const bool queried = autoRotationState.has_value();

  if (policy == AutoRotation::Never) return Outcome::OffByPolicy;
  if (LockedByUser(queried, state)) return Outcome::Locked;
  if ((state & (kAutoRotationSuppressed | kAutoRotationRemoteSession)) != 0) return Outcome::Held;
  // Two programs turning one screen would fight over it.
  if (queried && state == 0) return Outcome::WindowsRotates;
  if (policy == AutoRotation::TabletPosture &&
      (slateMode != 0 || (state & (kAutoRotationLaptop | kAutoRotationDocked)) != 0))
    return Outcome::LaptopPosture;
  return std::nullopt;
}

}  // namespace turndisplay

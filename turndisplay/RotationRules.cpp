#include "turndisplay/RotationRules.h"

namespace turndisplay {

bool LockedByUser(bool queried, std::uint32_t autoRotationState) {
  return queried && (autoRotationState & kAutoRotationDisabledByUser) != 0;
}

bool LaptopOrDocked(std::optional<std::uint32_t> autoRotationState, std::int32_t slateMode) {
  return slateMode != 0 ||
         (autoRotationState.value_or(0) & (kAutoRotationLaptop | kAutoRotationDocked)) != 0;
}

std::optional<Outcome> StopRule(AutoRotation policy, std::optional<std::uint32_t> autoRotationState,
                                std::int32_t slateMode, Orientation wanted) {
  const std::uint32_t state = autoRotationState.value_or(0);
  const bool queried = autoRotationState.has_value();

  if (policy == AutoRotation::Never) return Outcome::OffByPolicy;
  if (LockedByUser(queried, state)) return Outcome::Locked;
  if ((state & (kAutoRotationSuppressed | kAutoRotationRemoteSession)) != 0) return Outcome::Held;
  // Two programs turning one screen would fight over it.
  if (queried && state == 0) return Outcome::WindowsRotates;
  // Above a keyboard the screen belongs in its native landscape: a turn back to it goes on.
  if (policy == AutoRotation::TabletPosture && wanted != 0 &&
      LaptopOrDocked(autoRotationState, slateMode))
    return Outcome::LaptopPosture;
  return std::nullopt;
}

}  // namespace turndisplay

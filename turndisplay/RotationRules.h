#pragma once

#include <cstdint>
#include <optional>

#include "turndisplay/TurnOutcome.h"
#include "turndisplay/TurnPolicy.h"

// Whether the screen may turn at all: the policy, the user's lock, an application's hold,
// Windows' own rotation and the machine's posture, in this order.
namespace turndisplay {

// GetAutoRotationState's AR_STATE bits. AR_ENABLED is no bit: the state is exactly 0 when
// Windows has a sensor of its own and turns the screen itself.
inline constexpr std::uint32_t kAutoRotationDisabledByUser = 0x01;  // AR_DISABLED
inline constexpr std::uint32_t kAutoRotationSuppressed = 0x02;      // AR_SUPPRESSED
inline constexpr std::uint32_t kAutoRotationRemoteSession = 0x04;   // AR_REMOTESESSION
inline constexpr std::uint32_t kAutoRotationDocked = 0x40;          // AR_DOCKED
inline constexpr std::uint32_t kAutoRotationLaptop = 0x80;          // AR_LAPTOP

// queried is false when the platform has no GetAutoRotationState or it failed: not locked.
bool LockedByUser(bool queried, std::uint32_t autoRotationState);

// Laptop posture or docked: slateMode, GetSystemMetrics(SM_CONVERTIBLESLATEMODE), is not 0 (it
// is 0 in tablet posture and on systems that do not know the metric), or the state has AR_LAPTOP
// or AR_DOCKED.
bool LaptopOrDocked(std::optional<std::uint32_t> autoRotationState, std::int32_t slateMode);

// autoRotationState is none when GetAutoRotationState is missing (before Windows 8) or failed:
// then nothing but the policy and the posture can stop a turn. Laptop posture or docked stops
// only a turn away from the native landscape (wanted is not 0) under "only in tablet posture".
// None means the screen may turn.
std::optional<Outcome> StopRule(AutoRotation policy, std::optional<std::uint32_t> autoRotationState,
                                std::int32_t slateMode, Orientation wanted);

}  // namespace turndisplay

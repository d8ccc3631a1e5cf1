#pragma once

#include "turndisplay/TurnPolicy.h"

namespace turndisplay {

// One value of the policy key or of the preference key, as RegQueryValueExA gives it. The
// display program and the service read the settings the same way.
RegistryRead ReadSettingValueOf(SettingSource source, const char* valueName);

// The AutoRotation setting as the display program takes it: the policy, else the preference,
// else the default.
AutoRotation ReadAutoRotation();

}  // namespace turndisplay

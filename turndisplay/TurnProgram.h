#pragma once

#include "turndisplay/TurnPlatform.h"

namespace turndisplay {

// The whole program on a platform: reads its argument, the policy and what Windows says,
// turns the display or not, says why in one line and returns the exit code.
int RunTurnDisplay(TurnPlatform& platform, int argc, const char* const* argv);

}  // namespace turndisplay

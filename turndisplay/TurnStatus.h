#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "turndisplay/DisplayChoice.h"
#include "turndisplay/TurnDecision.h"
#include "turndisplay/TurnOutcome.h"
#include "turndisplay/TurnPlatform.h"
#include "turndisplay/TurnPolicy.h"

// What a turn is decided from, read once, and "status", which shows it to an administrator.
namespace turndisplay {

struct TurnInputs {
  PolicyReading autoRotation;
  PolicyReading displays;
  std::int32_t slateMode = 0;
  std::optional<std::uint32_t> autoRotationState;
  DisplayChoice display;
  std::optional<DisplayMode> current;  // the chosen display's mode; none when unreadable
  // Read for "status" alone: the chosen display's GDI name (the primary's where Windows names
  // it) and its connector.
  std::string displayName;
  std::optional<std::uint32_t> connector;
  // Read for "restore" and "status": the settings file and what it holds.
  std::string settingsFile;
  std::optional<SavedOrientations> saved;
};

// One line for each input, then the outcome a turn would have now, with its exit code.
std::vector<std::string> StatusLines(const TurnInputs& inputs, const Report& report);

}  // namespace turndisplay

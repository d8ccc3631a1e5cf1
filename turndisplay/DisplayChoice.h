#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "turndisplay/TurnPolicy.h"

// Which display to turn: the built-in panel, found among the active display paths by its
// connector, or the primary display.
namespace turndisplay {

// DISPLAYCONFIG_VIDEO_OUTPUT_TECHNOLOGY values of a built-in panel.
inline constexpr std::uint32_t kOutputLvds = 6;
inline constexpr std::uint32_t kOutputDisplayPortEmbedded = 11;
inline constexpr std::uint32_t kOutputUdiEmbedded = 13;
inline constexpr std::uint32_t kOutputInternal = 0x80000000;

bool IsBuiltInOutput(std::uint32_t outputTechnology);

// One active path of QueryDisplayConfig.
struct DisplayPath {
  std::uint32_t pathTechnology;                   // the path's targetInfo.outputTechnology
  std::optional<std::uint32_t> targetTechnology;  // DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME's
  std::string sourceName;  // the source's GDI device name, "\\.\DISPLAY1"; empty when unknown
};

struct DisplayChoice {
  bool found;
  std::string device;  // the GDI device name to turn; empty for the primary display
  std::string label;   // how the lines name it: "every display" when none was found
  std::string why;     // why none was found
};

// paths is none where the platform has no display-configuration API or it failed: then, as
// when the policy asks for it, the primary display. Otherwise the first path whose target is a
// built-in panel, unless its source also shows on an external monitor, which would turn too.
DisplayChoice ChooseDisplay(Displays policy,
                            const std::optional<std::vector<DisplayPath>>& paths);

// The connector of the display whose source is sourceName, as the choice judges it; none when
// no path shows it.
std::optional<std::uint32_t> ConnectorOf(const std::vector<DisplayPath>& paths,
                                         const std::string& sourceName);

// "HDMI", "DISPLAYPORT_EMBEDDED": the DISPLAYCONFIG_OUTPUT_TECHNOLOGY_ name without its prefix;
// the number in hexadecimal for one Windows does not document.
std::string ConnectorName(std::uint32_t outputTechnology);

}  // namespace turndisplay

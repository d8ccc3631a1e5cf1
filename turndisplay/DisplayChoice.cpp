#include "turndisplay/DisplayChoice.h"

#include <utility>

#include "common/Format.h"

namespace turndisplay {

namespace {

// The target name's answer is the one documented for the connector; the path's stands in
// when that query fails. Wine gives the two different answers for the same monitor.
bool IsBuiltIn(const DisplayPath& path) {
  return IsBuiltInOutput(path.targetTechnology.value_or(path.pathTechnology));
}

struct Connector {
  std::uint32_t technology;
  const char* name;
};

constexpr Connector kConnectors[] = {
    {0xFFFFFFFF, "OTHER"},          {0, "HD15"},
    {1, "SVIDEO"},                  {2, "COMPOSITE_VIDEO"},
    {3, "COMPONENT_VIDEO"},         {4, "DVI"},
    {5, "HDMI"},                    {kOutputLvds, "LVDS"},
    {8, "D_JPN"},                   {9, "SDI"},
    {10, "DISPLAYPORT_EXTERNAL"},   {kOutputDisplayPortEmbedded, "DISPLAYPORT_EMBEDDED"},
    {12, "UDI_EXTERNAL"},           {kOutputUdiEmbedded, "UDI_EMBEDDED"},
    {14, "SDTVDONGLE"},             {15, "MIRACAST"},
    {16, "INDIRECT_WIRED"},         {17, "INDIRECT_VIRTUAL"},
    {kOutputInternal, "INTERNAL"},
};

DisplayChoice Primary() { return {true, {}, "the primary display", {}}; }

DisplayChoice None(std::string why) { return {false, {}, "every display", std::move(why)}; }

}  // namespace

bool IsBuiltInOutput(std::uint32_t outputTechnology) {
  return outputTechnology == kOutputLvds || outputTechnology == kOutputDisplayPortEmbedded ||
         outputTechnology == kOutputUdiEmbedded || outputTechnology == kOutputInternal;
}

DisplayChoice ChooseDisplay(Displays policy,
                            const std::optional<std::vector<DisplayPath>>& paths) {
  if (policy == Displays::Primary || !paths) return Primary();

  const DisplayPath* panel = nullptr;
  for (const DisplayPath& path : *paths)
    if (IsBuiltIn(path)) {
      panel = &path;
      break;
    }
  if (panel == nullptr)
    return None(FormatString("no built-in panel among %u active displays",
                             static_cast<unsigned>(paths->size())));
  if (panel->sourceName.empty()) return Primary();

  for (const DisplayPath& path : *paths)
    if (!IsBuiltIn(path) && path.sourceName == panel->sourceName)
      return None(FormatString("the built-in panel %s shows the same picture as an external "
                               "monitor",
                               panel->sourceName.c_str()));
  return {true, panel->sourceName, "the built-in panel " + panel->sourceName, {}};
}

std::optional<std::uint32_t> ConnectorOf(const std::vector<DisplayPath>& paths,
                                         const std::string& sourceName) {
  for (const DisplayPath& path : paths)
    if (!sourceName.empty() && path.sourceName == sourceName)
      return path.targetTechnology.value_or(path.pathTechnology);
  return std::nullopt;
}

std::string ConnectorName(std::uint32_t outputTechnology) {
  for (const Connector& connector : kConnectors)
    if (connector.technology == outputTechnology) return connector.name;
  return FormatString("0x%X", static_cast<unsigned>(outputTechnology));
}

}  // namespace turndisplay

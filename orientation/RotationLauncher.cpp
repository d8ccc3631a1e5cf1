#include "orientation/RotationLauncher.h"

#include <array>

namespace launcher {

namespace {

constexpr std::array<RotationRow, 4> kRotations{{
    {DMDO_DEFAULT, "set to be DMDO_DEFAULT", "0"},
    {DMDO_90, "set to be DMDO_90", "90"},
    {DMDO_180, "set to be DMDO_180", "180"},
    {DMDO_270, "set to be DMDO_270", "270"},
}};

}  // namespace

const RotationRow* FindRotation(RotationKind kind) {
  if (kind < 0 || kind >= static_cast<RotationKind>(kRotations.size())) return nullptr;
  return &kRotations[static_cast<std::size_t>(kind)];
}

std::string BuildRotationCommandLine(const std::string& moduleDirectory, const RotationRow& row) {
  return "\"" + moduleDirectory + kProgramName + "\" " + row.angle;
}

}  // namespace launcher

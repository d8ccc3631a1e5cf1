#include "turndisplay/TurnDecision.h"

#include <cstring>
#include <string>

#include "orientation/OrientationDecision.h"

namespace turndisplay {

namespace {

constexpr const char* kAngles[] = {"0", "90", "180", "270"};
constexpr Orientation kOrientations = sizeof(kAngles) / sizeof(kAngles[0]);
constexpr const char* kRestore = "restore";
constexpr const char* kStatus = "status";

bool Portrait(Orientation orientation) { return (orientation & 1) != 0; }

}  // namespace

bool operator==(const Request& left, const Request& right) {
  return left.restore == right.restore && left.status == right.status &&
         (left.restore || left.orientation == right.orientation);
}

std::optional<Request> ParseArguments(int argc, const char* const* argv) {
  if (argc != 2 || argv[1] == nullptr) return std::nullopt;
  if (std::strcmp(argv[1], kRestore) == 0) return Request{true, 0};
  if (std::strcmp(argv[1], kStatus) == 0) return Request{true, 0, true};
  for (Orientation orientation = 0; orientation < kOrientations; ++orientation)
    if (std::strcmp(argv[1], kAngles[orientation]) == 0) return Request{false, orientation};
  return std::nullopt;
}

std::string ArgumentsGiven(int argc, const char* const* argv) {
  constexpr std::size_t kArgument = 40, kWhole = 200;
  if (argc < 2) return "no argument";
  std::string given = argc == 2 ? "the argument" : std::to_string(argc - 1) + " arguments:";
  for (int i = 1; i < argc && given.size() < kWhole; ++i) {
    const std::string argument = argv[i] != nullptr ? argv[i] : "";
    given += " \"" + argument.substr(0, kArgument) +
             (argument.size() > kArgument ? "...\"" : "\"");
  }
  return given.size() > kWhole ? given.substr(0, kWhole) + "..." : given;
}

// The service's own table of orientations and rotations, so that the two never disagree.
std::optional<Orientation> RestoredOrientation(std::uint32_t stored) {
  for (std::uint8_t bits = 0; bits <= kOrientationMask; bits += 2) {
    const OrientationRow& row = DecodeOrientation(bits);
    if (static_cast<std::uint32_t>(row.code) == stored)
      return static_cast<Orientation>(row.kind);
  }
  return std::nullopt;
}

std::uint32_t AngleOf(Orientation orientation) { return orientation * 90; }

bool operator==(const DisplayMode& left, const DisplayMode& right) {
  return left.width == right.width && left.height == right.height &&
         left.orientation == right.orientation;
}

std::optional<DisplayMode> ReportedMode(std::uint32_t fields, std::uint32_t width,
                                        std::uint32_t height, std::uint32_t orientation) {
  const std::uint32_t size = kFieldWidth | kFieldHeight;
  if ((fields & size) != size || width == 0 || height == 0) return std::nullopt;
  return DisplayMode{width, height, (fields & kFieldOrientation) != 0 ? orientation : 0};
}

Decision DecideTurn(const std::optional<DisplayMode>& current, Orientation wanted) {
  if (!current || current->orientation >= kOrientations || wanted >= kOrientations)
    return {Verdict::ModeUnknown, {}};
  if (current->orientation == wanted) return {Verdict::AlreadySo, *current};

  DisplayMode mode = *current;
  mode.orientation = wanted;
  if (Portrait(current->orientation) != Portrait(wanted)) {
    mode.width = current->height;
    mode.height = current->width;
  }
  return {Verdict::Turn, mode};
}

}  // namespace turndisplay

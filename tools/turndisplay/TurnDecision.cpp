#include "tools/turndisplay/TurnDecision.h"

#include <cctype>
#include <cstring>

#include "common/Format.h"

namespace turndisplay {

namespace {

constexpr const char* kAngles[] = {"0", "90", "180", "270"};
constexpr Orientation kOrientations = sizeof(kAngles) / sizeof(kAngles[0]);

bool Portrait(Orientation orientation) { return (orientation & 1) != 0; }

struct DisplayChange {
  std::int32_t code;
  const char* name;
};

constexpr DisplayChange kDisplayChanges[] = {
    {0, "DISP_CHANGE_SUCCESSFUL"},  {1, "DISP_CHANGE_RESTART"},
    {-1, "DISP_CHANGE_FAILED"},     {-2, "DISP_CHANGE_BADMODE"},
    {-3, "DISP_CHANGE_NOTUPDATED"}, {-4, "DISP_CHANGE_BADFLAGS"},
    {-5, "DISP_CHANGE_BADPARAM"},   {-6, "DISP_CHANGE_BADDUALVIEW"},
};

}  // namespace

std::optional<Orientation> ParseArguments(int argc, const char* const* argv) {
  if (argc != 2 || argv[1] == nullptr) return std::nullopt;
  for (Orientation orientation = 0; orientation < kOrientations; ++orientation)
    if (std::strcmp(argv[1], kAngles[orientation]) == 0) return orientation;
  return std::nullopt;
}

std::uint32_t AngleOf(Orientation orientation) { return orientation * 90; }

bool LockedByUser(bool queried, std::uint32_t autoRotationState) {
  return queried && (autoRotationState & kAutoRotationDisabledByUser) != 0;
}

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

Decision DecideTurn(const std::optional<DisplayMode>& current, Orientation wanted, bool locked) {
  if (locked) return {Verdict::Locked, {}};
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

int ExitCodeFor(Outcome outcome) {
  switch (outcome) {
    case Outcome::Turned: return 0;
    case Outcome::AlreadySo: return 1;
    case Outcome::BadArgument: return 2;
    case Outcome::Locked: return 3;
    case Outcome::Refused: return 4;
    case Outcome::ModeUnknown: return 5;
    case Outcome::RestartNeeded: return 6;
  }
  return 4;
}

Outcome OutcomeOfChange(std::int32_t displayChange) {
  if (displayChange == 0) return Outcome::Turned;
  if (displayChange == 1) return Outcome::RestartNeeded;
  return Outcome::Refused;
}

const char* DisplayChangeName(std::int32_t displayChange) {
  for (const DisplayChange& known : kDisplayChanges)
    if (known.code == displayChange) return known.name;
  return "DISP_CHANGE_?";
}

std::string OutcomeLine(Outcome outcome, Orientation wanted, std::int32_t displayChange) {
  const unsigned angle = AngleOf(wanted);
  switch (outcome) {
    case Outcome::Turned:
      return FormatString("TurnDisplay: turned the primary display to %u degrees", angle);
    case Outcome::AlreadySo:
      return FormatString("TurnDisplay: the primary display is already at %u degrees", angle);
    case Outcome::BadArgument: return UsageLine();
    case Outcome::Locked:
      return "TurnDisplay: the user has locked screen rotation; the display stays as it is";
    case Outcome::Refused:
      return FormatString("TurnDisplay: the display driver refused %u degrees: %s (%d)", angle,
                          DisplayChangeName(displayChange), static_cast<int>(displayChange));
    case Outcome::ModeUnknown:
      return "TurnDisplay: the primary display's mode cannot be read; nothing changed";
    case Outcome::RestartNeeded:
      return FormatString(
          "TurnDisplay: %u degrees is stored and takes effect after a restart: %s (%d)", angle,
          DisplayChangeName(displayChange), static_cast<int>(displayChange));
  }
  return {};
}

std::string UsageLine() {
  return "usage: TurnDisplay.exe 0|90|180|270 (degrees counter-clockwise from the display's "
         "natural orientation)";
}

bool IsInteractiveWindowStation(const std::string& name) {
  constexpr const char* kInteractive = "WinSta0";
  if (name.size() != std::strlen(kInteractive)) return false;
  for (std::size_t i = 0; i < name.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(name[i])) !=
        std::tolower(static_cast<unsigned char>(kInteractive[i])))
      return false;
  return true;
}

}  // namespace turndisplay

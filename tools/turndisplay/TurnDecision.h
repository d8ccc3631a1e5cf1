#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The display-rotation program's reasoning, free of Windows calls: what it was asked for, what
// it finds, which mode it asks the display driver for, and what it tells whoever started it.
namespace turndisplay {

// dmDisplayOrientation: quarter turns counter-clockwise from the display's natural orientation
// (DMDO_DEFAULT 0, DMDO_90 1, DMDO_180 2, DMDO_270 3).
using Orientation = std::uint32_t;

// The one argument is "0", "90", "180" or "270", spelled exactly so; anything else, no
// argument or more than one is refused.
std::optional<Orientation> ParseArguments(int argc, const char* const* argv);

std::uint32_t AngleOf(Orientation orientation);

// AR_DISABLED of GetAutoRotationState: the user has turned auto-rotation off. The other AR_STATE
// bits describe the machine (no sensor Windows knows, a remote session, several monitors,
// docked, an application's orientation preference) and are no lock set by the user.
inline constexpr std::uint32_t kAutoRotationDisabledByUser = 0x1;

// queried is false when the platform has no GetAutoRotationState or it failed: not locked.
bool LockedByUser(bool queried, std::uint32_t autoRotationState);

struct DisplayMode {
  std::uint32_t width;
  std::uint32_t height;
  Orientation orientation;
};

bool operator==(const DisplayMode& left, const DisplayMode& right);

// DEVMODE's dmFields bits this program reads and asks for.
inline constexpr std::uint32_t kFieldOrientation = 0x00000080;  // DM_DISPLAYORIENTATION
inline constexpr std::uint32_t kFieldWidth = 0x00080000;        // DM_PELSWIDTH
inline constexpr std::uint32_t kFieldHeight = 0x00100000;       // DM_PELSHEIGHT

// The current mode as the driver reported it: a mode without its size is no mode to turn, and
// a driver that does not report an orientation has never turned the display.
std::optional<DisplayMode> ReportedMode(std::uint32_t fields, std::uint32_t width,
                                        std::uint32_t height, std::uint32_t orientation);

enum class Verdict {
  Turn,         // ask for mode
  AlreadySo,    // the display has the wanted orientation
  Locked,       // the user locked rotation
  ModeUnknown,  // the current mode could not be read, or its orientation is no known one
};

struct Decision {
  Verdict verdict;
  DisplayMode mode;  // the mode to ask for when the verdict is Turn
};

// The user's lock comes first; width and height swap when the display goes between
// landscape and portrait.
Decision DecideTurn(const std::optional<DisplayMode>& current, Orientation wanted, bool locked);

// Everything the program can end with, each with its own exit code.
enum class Outcome {
  Turned,
  AlreadySo,
  BadArgument,
  Locked,
  Refused,        // the display driver refused the mode: a DISP_CHANGE_ failure
  ModeUnknown,
  RestartNeeded,  // DISP_CHANGE_RESTART: stored, in effect after a restart
};

int ExitCodeFor(Outcome outcome);

// The outcome of ChangeDisplaySettingsEx's result.
Outcome OutcomeOfChange(std::int32_t displayChange);

// "DISP_CHANGE_BADMODE" for -2, and so on; "DISP_CHANGE_?" for a code Windows does not document.
const char* DisplayChangeName(std::int32_t displayChange);

// The one line the program writes about its outcome, without a line end. displayChange is read
// only for Refused and RestartNeeded.
std::string OutcomeLine(Outcome outcome, Orientation wanted, std::int32_t displayChange);

// The usage line for a refused command line, without a line end.
std::string UsageLine();

// The name GetUserObjectInformation gives the window station a user's desktop lives on.
bool IsInteractiveWindowStation(const std::string& name);

}  // namespace turndisplay

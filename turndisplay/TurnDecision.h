#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The display-rotation program's reasoning about its argument and the display's mode, free of
// Windows calls: what it was asked for and which mode it asks the display driver for.
namespace turndisplay {

// dmDisplayOrientation: quarter turns counter-clockwise from the display's natural orientation
// (DMDO_DEFAULT 0, DMDO_90 1, DMDO_180 2, DMDO_270 3).
using Orientation = std::uint32_t;

// What the program was asked to do.
struct Request {
  bool restore;             // "restore": the orientation the service waits for, else the one shown
  Orientation orientation;  // the angle's orientation, when not restoring
  bool status = false;      // "status": what a restore would do now, changing nothing
};

bool operator==(const Request& left, const Request& right);

// The one argument is "0", "90", "180", "270", "restore" or "status", spelled exactly so;
// anything else, no argument or more than one is refused.
std::optional<Request> ParseArguments(int argc, const char* const* argv);

// What a refused command line gave, for the event log: "no argument", "the argument \"45\"",
// "2 arguments: \"90\" \"180\""; each argument cut after 40 characters, the whole after 200.
std::string ArgumentsGiven(int argc, const char* const* argv);

// The orientation that the value stored under "GSensorLastOrientation" stands for: Up 180
// degrees, Down 0, Right 270, Left 90; none for any other value.
std::optional<Orientation> RestoredOrientation(std::uint32_t stored);

std::uint32_t AngleOf(Orientation orientation);

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
  ModeUnknown,  // the current mode could not be read, or its orientation is no known one
};

struct Decision {
  Verdict verdict;
  DisplayMode mode;  // the mode to ask for when the verdict is Turn
};

// Width and height swap when the display goes between landscape and portrait.
Decision DecideTurn(const std::optional<DisplayMode>& current, Orientation wanted);

}  // namespace turndisplay

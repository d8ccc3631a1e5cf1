#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "turndisplay/TurnDecision.h"

// Everything the display-rotation program can end with, its exit code and its one line.
namespace turndisplay {

enum class Outcome {
  Turned,             // 0
  AlreadySo,          // 1
  NothingToRestore,   // 1: "restore" found no stored orientation
  BadArgument,        // 2
  Locked,             // 3: the user locked rotation
  Refused,            // 4: the display driver refused the mode: a DISP_CHANGE_ failure
  ModeUnknown,        // 5
  RestartNeeded,      // 6: DISP_CHANGE_RESTART: stored, in effect after a restart
  LaptopPosture,      // 7: laptop posture or docked, and the policy asks for tablet posture
  WindowsRotates,     // 8: Windows turns this screen itself
  OffByPolicy,        // 9
  Held,               // 10: an application holds the orientation, or a remote session
  NoBuiltInPanel,     // 11: none of its own, and the policy asks for it
};

int ExitCodeFor(Outcome outcome);

// The outcome of ChangeDisplaySettingsEx's result.
Outcome OutcomeOfChange(std::int32_t displayChange);

// "DISP_CHANGE_BADMODE" for -2, and so on; "DISP_CHANGE_?" for a code Windows does not document.
const char* DisplayChangeName(std::int32_t displayChange);

// What the one line names besides the outcome; each field is read only by the outcomes that
// need it.
struct Report {
  Outcome outcome = Outcome::BadArgument;
  bool test = false;  // "status": the driver was only asked whether it would take the mode
  Orientation wanted = 0;
  std::string display;                  // "the built-in panel \\.\DISPLAY1", "the primary display"
  std::int32_t displayChange = 0;       // Refused, RestartNeeded
  std::uint32_t autoRotationState = 0;  // Held
  std::string why;                      // NoBuiltInPanel
  std::string settingsFile;             // NothingToRestore
  std::optional<std::uint32_t> stored;  // NothingToRestore: none when the file cannot be read
  std::string arguments;                // BadArgument: the command line after the program's name
  // "restore" in laptop posture or docked: the orientation it went to 0 degrees instead of, which
  // waits for tablet posture.
  std::optional<Orientation> waiting;
};

// The line, without a line end.
std::string OutcomeLine(const Report& report);

// Why "restore" found nothing: "C:\...\GSensor_Setting.ini cannot be read", or what it holds.
std::string NothingToRestoreReason(const Report& report);

// The usage line for a refused command line, without a line end.
std::string UsageLine();

}  // namespace turndisplay

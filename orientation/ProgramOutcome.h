#pragma once

#include <cstdint>
#include <string>

// What became of one start of the display-rotation program, and what it means for the screen.
struct ProgramOutcome {
  enum class Kind {
    NotStarted,    // no token to start it with, or it could not be created: launchResult and
                   // error say which step failed and why
    EndedAtLimit,  // it still ran when the wait was over, and the service ended it
    Stopped,       // the service stopped while it ran, and ended it
    Ended,
  };
  Kind kind = Kind::NotStarted;
  std::uint32_t exitCode = 0;     // when Ended
  std::int32_t launchResult = 0;  // when NotStarted: the launcher's result (launcher::LaunchResult)
  std::uint32_t error = 0;        // when NotStarted: the Win32 error of the step that failed
};

// Same kind, and the same exit code when Ended, the same step and error when NotStarted.
bool operator==(const ProgramOutcome& left, const ProgramOutcome& right);

// The program's word that the screen shows the orientation: 0 turned, 1 already so, 8 Windows
// turns this screen itself. Anything else leaves the orientation pending.
bool ScreenShows(const ProgramOutcome& outcome);

// What became of the program, for the lines: "TurnDisplay.exe ended with 7", "TurnDisplay.exe
// could not be started", ...
std::string OutcomeText(const ProgramOutcome& outcome);

// The debugger line for an orientation that stays pending: "Left stays pending: TurnDisplay.exe
// ended with 7".
std::string PendingLine(const char* orientationWord, const ProgramOutcome& outcome);

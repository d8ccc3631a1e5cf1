#pragma once

#include <cstdint>
#include <string>

// What became of one start of the display-rotation program, and what it means for the screen.
struct ProgramOutcome {
  enum class Kind {
    NotStarted,    // no user to start it for, or no program to start
    StillRunning,  // it had not ended when the wait was over (or the service stops)
    Ended,
  };
  Kind kind = Kind::NotStarted;
  std::uint32_t exitCode = 0;  // when Ended
};

bool operator==(const ProgramOutcome& left, const ProgramOutcome& right);

// The program's word that the screen shows the orientation: 0 turned, 1 already so, 8 Windows
// turns this screen itself. Anything else leaves the orientation pending.
bool ScreenShows(const ProgramOutcome& outcome);

// The debugger line for an orientation that stays pending: "Left stays pending: TurnDisplay.exe
// ended with 7".
std::string PendingLine(const char* orientationWord, const ProgramOutcome& outcome);

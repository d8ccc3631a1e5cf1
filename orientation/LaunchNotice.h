#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "orientation/ProgramOutcome.h"

// The service's event-log entries about the display program: it could not be started, it was
// ended at the limit, or it ended with a failure. The program writes its own entry for every
// other outcome.
struct LaunchEntry {
  std::uint16_t type = 0;  // EVENTLOG_ERROR_TYPE 1, EVENTLOG_WARNING_TYPE 2
  std::uint32_t id = 0;    // of resources/Messages.mc
  std::vector<std::string> strings;
};

// The entry of a run's outcome, angle the program's argument ("90"), with the reason and the
// Win32 error or the exit code. None when the screen shows the orientation, when a rule of the
// program declined the turn (3, 7, 9, 10, 11), and after the service's own stop.
std::optional<LaunchEntry> LaunchEntryFor(const ProgramOutcome& outcome, const char* angle);

// One entry per distinct reason (the outcome's kind with its step and error, or its exit code)
// until the screen shows an orientation again: a burst of events against a missing program
// writes one entry, a second reason one more, and the same again only after the program turned
// the screen. Not thread-safe.
class LaunchThrottle {
 public:
  bool ShouldWrite(const ProgramOutcome& outcome);
  void ScreenShown() { written_.clear(); }

 private:
  std::vector<ProgramOutcome> written_;
};

// After each run of the program, from the decision's thread (safe from any): writes the
// outcome's entry through the service's writer (common/EventLogWriter.h) unless the process's
// throttle holds it back, and starts the throttle over when the screen shows the orientation.
void NoteProgramOutcome(const ProgramOutcome& outcome, const char* angle);

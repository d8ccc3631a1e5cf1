// TurnDisplay.exe: turns the built-in panel (or the primary display) to the angle of its one
// argument, or to the orientation the service stored last, when the policy, the user, the
// applications, Windows and the posture let it; says in one line and one event-log entry what
// it did. "status" tells what it reads and what a turn would do now, and changes nothing.
#include <windows.h>

#include <cstdio>
#include <exception>

#include "common/DebugPrint.h"
#include "turndisplay/TurnDecision.h"
#include "turndisplay/TurnProgram.h"
#include "turndisplay/win32_turn_platform.h"

int main(int argc, char** argv) {
  try {
    if (turndisplay::ParseArguments(argc, argv)) turndisplay::JoinShownDesktop();
    turndisplay::Win32TurnPlatform platform;
    return turndisplay::RunTurnDisplay(platform, argc, argv);
  } catch (const std::exception& failure) {
    // Only memory can run out here; the line says so instead of an abnormal end.
    const char* const line = "TurnDisplay: out of memory; the display may not have turned";
    std::fprintf(stderr, "%s\n", line);
    DebugPrint("%s", line);
    turndisplay::LogOutOfMemory();
    return 5;
  }
}

// TurnDisplay.exe: turns the built-in panel (or the primary display) to the angle of its one
// argument, or to the orientation the service stored last, when the policy, the user, the
// applications, Windows and the posture let it; says in one line and one event-log entry what
// it did. "status" tells what it reads and what a turn would do now, and changes nothing.
// Built twice from this code: TurnDisplay.exe, of the Windows subsystem, which never shows a
// console (the service starts it, and the sign-in), and TurnDisplay.com, its console twin for a
// command prompt. Both write the same lines (win32_turn_platform.cpp).
#include <windows.h>

#include <exception>

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
    turndisplay::SayLine("TurnDisplay: out of memory; the display may not have turned");
    turndisplay::LogOutOfMemory();
    return 5;
  }
}

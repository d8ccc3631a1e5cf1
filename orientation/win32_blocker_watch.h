#pragma once

#include <windows.h>

#include <cstdint>

// Watches what decides whether the display program may turn the screen and can change without
// a new report of the G-sensor: the posture (ConvertibleSlateMode, which Windows' laptop/slate
// indicator updates) and the user's rotation lock (AutoRotation\Enable). A change of either is a
// catch-up. The watch runs on a thread of its own until decisions close.
void StartBlockerWatch();

// Laptop posture (ConvertibleSlateMode not 0) or docked (SM_SYSTEMDOCKED), read now.
bool ReadLaptopOrDocked();

// Counted before each start of the display program: a notice of a value that reads as before is
// still a catch-up when a program ran since the last look (orientation/BlockerNotices.h).
void NoteProgramStart();
std::uint32_t ProgramStarts();

UINT __cdecl Thread_WatchRotationBlockers(LPVOID parameter);

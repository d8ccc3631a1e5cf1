#pragma once

#include <windows.h>

// Watches what decides whether the display program may turn the screen and can change without
// a new report of the G-sensor: the posture (ConvertibleSlateMode, which Windows' laptop/slate
// indicator updates) and the user's rotation lock (AutoRotation\Enable). A change of either is a
// catch-up. The watch runs on a thread of its own until decisions close.
void StartBlockerWatch();

UINT __cdecl Thread_WatchRotationBlockers(LPVOID parameter);

#pragma once

#include <windows.h>

// The orientation worker's thread routine; its parameter is the event sink that started it.
// It ends its thread through AfxEndThread with exit code 0 on every path.
UINT __cdecl Thread_WMIEvent_G_SensorCtrlEntry(LPVOID parameter);

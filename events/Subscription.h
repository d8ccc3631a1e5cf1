#pragma once

#include <windows.h>

// The listening work: the WMI subscription to the firmware's orientation event, kept on a
// thread of its own for the life of the process.

// 1 when this process runs on 64-bit Windows; set by Ferrox_Start for its log line.
extern LONG g_is64BitWindows;

// Logs the platform's bitness and starts the WMI wait thread. Always 0.
int Ferrox_Start();

// Called before the service is removed; it only logs. Always 0.
int Ferrox_Stop();

// The WMI wait thread: resets the stored orientation, then subscribes. It ends its thread only
// when the subscription failed.
UINT __cdecl Thread_WaitWMIEventSrv_vOrrinG_SensorCtrl(LPVOID parameter);

// Subscribes the one event sink to the firmware's event and idles for the rest of the process.
// Returns, always 0, only when a step failed.
int SubscribeWMIEvent();

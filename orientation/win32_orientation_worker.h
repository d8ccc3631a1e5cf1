#pragma once

#include <windows.h>

class EventSink;

// The address space each worker sets aside for its stack. A decision, the launcher and the
// settings writes included, commits a small part of it (measured in docs/worker-stack.md);
// the linker's default of 1 MiB or more would let a burst of events exhaust a 32-bit process.
inline constexpr UINT kWorkerStackReservation = 64 * 1024;

// The orientation worker's thread routine; its parameter is the event sink that started it.
// It ends its thread through AfxEndThread with exit code 0 on every path.
UINT __cdecl Thread_WMIEvent_G_SensorCtrlEntry(LPVOID parameter);

// Starts a worker for sink on a thread of its own; false when no thread could be started.
bool StartWorkerThread(EventSink* sink);

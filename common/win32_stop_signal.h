#pragma once

#include <windows.h>

// Set when the service begins to stop: every wait of the listening work ends at once (the
// subscription's pauses and checks, a decision's wait for the display program, the watch of the
// posture and the rotation lock). A manual-reset event made on first use and never closed: a
// wait on it may run until the process ends, and a handle closed under a wait leaves the wait
// undefined.
HANDLE StoppingEvent();
void SignalStopping();

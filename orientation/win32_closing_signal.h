#pragma once

#include <windows.h>

// Set when the service begins to stop: the waits of a decision (for the display program) and of
// the watchers end at once. A manual-reset event made on first use, kept until the process ends.
HANDLE DecisionsClosingEvent();
void SignalDecisionsClosing();

#pragma once

#include <windows.h>

#include "common/CatchUpTrigger.h"

class EventSink;

// The sink catch-ups work on: the subscription's, once it has made one. One reference is kept
// until the process ends. A catch-up marked before it existed runs now, on a thread of its own.
void PublishSink(EventSink* sink);

// A catch-up on the calling thread, through the decisions' guard; without a sink yet, it is
// marked for the first one.
void CatchUpNow(CatchUpTrigger trigger);

// The same on a thread of its own, for callers that must not wait for the display program
// (the control handler). Without a thread, it is marked for whoever decides next.
void StartCatchUp(CatchUpTrigger trigger);

// Whether the screen turns only in tablet posture (the display program's AutoRotation 1), as
// the service reads it; the sink's posture asks it each time. Until one is set, the default, 1.
using TabletOnlyRule = bool (*)();
void SetTabletOnlyRule(TabletOnlyRule rule);

// A catch-up thread's routine; its parameter is the CatchUpTrigger.
UINT __cdecl Thread_CatchUpEntry(LPVOID parameter);

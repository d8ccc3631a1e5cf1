#pragma once

#include <windows.h>

#include <chrono>

#include "events/SubscriptionLoop.h"

// The listening work: the WMI subscription to the firmware's orientation event, kept on a
// thread of its own, and made again whenever it fails or is lost, until the service stops.

// 1 when this process runs on 64-bit Windows; set by Ferrox_Start for its log line.
extern LONG g_is64BitWindows;

// Logs the platform's bitness and starts the WMI wait thread. Always 0.
int Ferrox_Start();

// Called before the service is removed; it only logs. Always 0.
int Ferrox_Stop();

// The service's stop (SignalStopping, common/win32_stop_signal.h) ends the wait thread's pause
// or wait at once, from any thread, before the wait thread runs too.

// After a resume: the wait thread asks whether the subscription's connection still stands, and
// makes the subscription again now only when it does not. Cheap and never blocking, from any
// thread (the control handler's).
void RenewSubscription();

// What the sink hears when WMI completes the subscription's call: a failure means WMI ended the
// subscription, which is then made again.
void SubscriptionCompleted(HRESULT result);

// The two event-log entries of the subscription: the first failure of a run of failures (text:
// the line of what failed) and its end (text: "subscribed again at attempt N").
enum class SubscriptionNotice { Failed, Recovered };
using SubscriptionLog = void (*)(SubscriptionNotice notice, const char* text);
// Where they go; nowhere until it is set.
void SetSubscriptionLog(SubscriptionLog log);

// The WMI wait thread: resets the stored orientation, then subscribes until the stop.
UINT __cdecl Thread_WaitWMIEventSrv_vOrrinG_SensorCtrl(LPVOID parameter);

// Joins the multithreaded apartment and keeps the one event sink subscribed to the firmware's
// event until the stop, asking WMI every checkPeriod whether it is still there. Always 0;
// at once when the apartment cannot be joined.
int SubscribeWMIEvent(
    std::chrono::milliseconds checkPeriod = subscription_loop::kCheckPeriod);

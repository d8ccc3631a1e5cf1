#pragma once

#include <windows.h>
#include <winsvc.h>

#include "service/ServiceControl.h"
#include "tests/support/ServiceSession.h"

// The status reports of the service's start and stop: each carries the controls it takes, and
// stop-pending promises the stop within 10 s (the decision at work has 5 s for its writes).
namespace session {

inline constexpr DWORD kAccepted = service_control::kControlsAccepted;
inline const StatusReport kStartPending{
    SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, kAccepted};
inline const StatusReport kRunning{SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING, kAccepted};
inline const StatusReport kStopPending{
    SERVICE_WIN32_OWN_PROCESS, SERVICE_STOP_PENDING, kAccepted, 0, 0, 0, 10000};
inline const StatusReport kStopped{SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, kAccepted};

}  // namespace session

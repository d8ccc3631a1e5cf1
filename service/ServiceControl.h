#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <mutex>
#include <optional>

#include "common/CatchUpTrigger.h"
#include "common/DebugPrint.h"
#include "common/ServiceFailure.h"
#include "resources/EventMessages.h"

// The service's conversation with the service control manager: the start, the control
// handler and the run loop, written over the module that carries the state and makes the
// platform calls, so that the same steps run on Windows and against a stand-in in the tests.
//
// A Module provides:
//   m_status              the status record (dwCurrentState, dwWin32ExitCode, dwCheckPoint,
//                         dwWaitHint, ...)
//   m_statusHandle        the control handler's registration, null until there is one
//   m_runThreadId         std::atomic of the run thread's identifier, 0 until it has a queue
//                         and again once a stop has taken it
//   m_stopRequested       std::atomic<bool>, set by a stop request
//   m_isService           true in service mode
//   m_serviceMainEntered  std::atomic<bool>, set once the service main routine has begun
//   m_displayState        std::atomic of the console display's state last reported,
//                         kDisplayUnknown before the first report
//   m_failure             the FailureRecord of the failure that ends the service
//   ReportStatus(state)   reports state with the wait hint WaitHintFor(state)
//   LogEvent(message, {strings...})   an event-log entry of the message with its strings
//   Run()
//   EndProcess(code)      ends the process at once with the exit code
//   StartDispatcher()     hands the main thread to the service control manager; false when
//                         the process was not started by it
//   RegisterControlHandler()   the handle for m_statusHandle
//   OpenMessageQueue()    makes sure the calling thread has a message queue; its identifier
//   PostQuit(threadId)    posts the quit message to that thread
//   SetUpCom()            an owner of the apartment, the process's COM security and the class
//                         objects, which gives them up in reverse order when it goes
//   WatchDisplayState()   asks for the console display's state changes; an owner of the
//                         registration, given up when it goes
//   StartListening()      starts the listening work
//   CatchUp(trigger)      asks, without waiting, for the pending orientation again
//   RenewSubscription()   has the subscription to WMI made again if its connection is gone,
//                         without waiting
//   PumpMessages()        the message loop, until the quit message
//   StopNewDecisions()    from now on no orientation decision begins, and the listening work
//                         ends its waits and retries
//   AwaitDecisions()      waits, for a bounded time, until the decision at work has done its
//                         writes; none begins afterwards
//   ServiceMainEnded()    the service main routine's last step is done
//   AwaitServiceMainEnd() waits, for a bounded time, until it is
namespace service_control {

// The platform's numbers, so that the steps build without its headers.
inline constexpr std::uint32_t kOwnProcess = 0x10;            // SERVICE_WIN32_OWN_PROCESS
inline constexpr std::uint32_t kAcceptStop = 1;               // SERVICE_ACCEPT_STOP
inline constexpr std::uint32_t kAcceptPowerEvent = 0x40;      // SERVICE_ACCEPT_POWEREVENT
inline constexpr std::uint32_t kAcceptSessionChange = 0x80;   // SERVICE_ACCEPT_SESSIONCHANGE
inline constexpr std::uint32_t kAcceptPreshutdown = 0x100;    // SERVICE_ACCEPT_PRESHUTDOWN

// Every status report carries the controls the service takes. Preshutdown, not shutdown: only
// before the shutdown proper may a service take its time to finish the settings file's writes.
inline constexpr std::uint32_t kControlsAccepted =
    kAcceptStop | kAcceptPowerEvent | kAcceptSessionChange | kAcceptPreshutdown;

// SERVICE_STOPPED with this Win32 exit code carries a service-specific one of ours.
inline constexpr std::uint32_t kServiceSpecificError = 1066;  // ERROR_SERVICE_SPECIFIC_ERROR

// Stop-pending promises to be done within this: the decision at work has 5 s to finish its
// writes, and COM and the event log take the rest.
inline constexpr std::uint32_t kStopWaitHintMs = 10000;

enum State : std::uint32_t {
  kStopped = 1,
  kStartPending = 2,
  kStopPending = 3,
  kRunning = 4,
};

enum Control : std::uint32_t {
  kStop = 1,
  kPause = 2,
  kContinue = 3,
  kInterrogate = 4,
  kShutdown = 5,
  kPowerEvent = 13,
  kSessionChange = 14,
  kPreshutdown = 0x0F,
};

// The event types of the session and power controls that matter to the service.
enum EventType : std::uint32_t {
  kConsoleConnect = 1,            // WTS_CONSOLE_CONNECT
  kSessionLogon = 5,              // WTS_SESSION_LOGON
  kSessionUnlock = 8,             // WTS_SESSION_UNLOCK
  kResumeAutomatic = 0x12,        // PBT_APMRESUMEAUTOMATIC
  kPowerSettingChange = 0x8013,   // PBT_POWERSETTINGCHANGE
};

// GUID_CONSOLE_DISPLAY_STATE's values, and none reported yet.
inline constexpr std::uint32_t kDisplayOff = 0;
inline constexpr std::uint32_t kDisplayOn = 1;
inline constexpr std::uint32_t kDisplayUnknown = 0xFFFFFFFF;

// A control as the dispatcher hands it over: its code, its event type, and for a change of the
// console display's state, the state.
struct ControlEvent {
  std::uint32_t control = 0;
  std::uint32_t eventType = 0;
  std::optional<std::uint32_t> displayState;
};

enum class ControlAction { Stop, Ignore, BadRequest, CatchUp };

struct ControlAnswer {
  ControlAction action = ControlAction::Ignore;
  CatchUpTrigger trigger = CatchUpTrigger::None;
};

// The wait hint a report of state carries: the stop's bound while stopping, else none.
constexpr std::uint32_t WaitHintFor(std::uint32_t state) {
  return state == kStopPending ? kStopWaitHintMs : 0;
}

// The control handler's table: stop and preshutdown stop; pause, continue, interrogate and
// shutdown are accepted silently (interrogate reports nothing); a sign-in, an unlock, a
// connection to the console, a resume and the display coming on again catch up (a resume also
// has the subscription's connection checked); other session and power events are taken silently; any other code
// is a bad request. previousDisplay is the display's state before this control: its first
// report, at registration, is no change.
ControlAnswer AnswerFor(const ControlEvent& event, std::uint32_t previousDisplay);

// The failure that ends the service. The first is kept: later ones come in its wake.
class FailureRecord {
 public:
  void Keep(const service_failure::Failure& failure) {
    const std::lock_guard<std::mutex> hold(lock_);
    if (failure_.code == 0) failure_ = failure;
  }
  service_failure::Failure Get() const {
    const std::lock_guard<std::mutex> hold(lock_);
    return failure_;
  }

 private:
  mutable std::mutex lock_;
  service_failure::Failure failure_;
};

// Stop-pending first: the run thread's loop ends with the quit, and stopped must come after. In
// the foreground there is nobody to report to.
template <typename Module, typename ThreadId>
void ReportStopAndQuit(Module& module, ThreadId thread) {
  if (module.m_isService) module.ReportStatus(kStopPending);
  module.PostQuit(thread);
}

// A stop may come before the run thread has published its identifier. The request is recorded
// first and the identifier taken after; the run thread publishes first and reads the request
// after. Whichever comes second sees the other, and whoever takes the identifier reports and
// posts, so the quit goes exactly once and never late, to a thread that has left its loop.
template <typename Module>
void StopBody(Module& module) {
  module.StopNewDecisions();
  module.m_stopRequested.store(true);
  if (const auto thread = module.m_runThreadId.exchange(0)) ReportStopAndQuit(module, thread);
}

// Ends the service as a stop does, from any thread, with the failure's exit code. A failure in
// the wake of a stop already asked for ends nothing more: the service control manager must not
// restart a service that was told to stop.
template <typename Module>
void FailBody(Module& module, const service_failure::Failure& failure) {
  service_failure::WriteFailureLine(failure);
  if (module.m_stopRequested.load()) return;
  module.m_failure.Keep(failure);
  StopBody(module);
}

// Run, and a failure of it ends the service: as after a stop, the decision at work finishes its
// writes first.
template <typename Module>
void RunOrFail(Module& module) {
  try {
    module.Run();
  } catch (...) {
    FailBody(module, service_failure::CurrentFailure("the service's main path"));
    module.AwaitDecisions();
  }
}

// Stopped, with the failure's code when one ended the service, then its entry.
template <typename Module>
void ReportEnd(Module& module) {
  const service_failure::Failure failure = module.m_failure.Get();
  if (failure.code == 0) {
    module.ReportStatus(kStopped);
    module.LogEvent(event_messages::kServiceStopped, {"Service stopped"});
    return;
  }
  module.m_status.dwWin32ExitCode = kServiceSpecificError;
  module.m_status.dwServiceSpecificExitCode = failure.code;
  module.ReportStatus(kStopped);
  char code[12];
  std::snprintf(code, sizeof(code), "%u", static_cast<unsigned>(failure.code));
  module.LogEvent(event_messages::kServiceFailed, {failure.reason, code});
}

// The process's exit code: the failure's code when one ended the service, else 0.
template <typename Module>
std::uint32_t ProcessExitCode(const Module& module) {
  const service_failure::Failure failure = module.m_failure.Get();
  return failure.code != 0 ? failure.code : module.m_status.dwWin32ExitCode;
}

// The dispatcher returns as soon as the service has reported stopped, while the service main
// routine is still to log "Service stopped": the process must not end under it.
template <typename Module>
void StartBody(Module& module) {
  if (module.m_isService && !module.StartDispatcher()) module.m_isService = false;
  if (!module.m_isService) {
    RunOrFail(module);  // in the foreground, as a local server
    return;
  }
  if (module.m_serviceMainEntered.load()) module.AwaitServiceMainEnd();
}

// Marks the service main routine's span, however it ends.
template <typename Module>
class ServiceMainSpan {
 public:
  explicit ServiceMainSpan(Module& module) : module_(module) {
    module_.m_serviceMainEntered.store(true);
  }
  ~ServiceMainSpan() { module_.ServiceMainEnded(); }
  ServiceMainSpan(const ServiceMainSpan&) = delete;
  ServiceMainSpan& operator=(const ServiceMainSpan&) = delete;

 private:
  Module& module_;
};

template <typename Module>
void ServiceMainBody(Module& module) {
  const ServiceMainSpan<Module> span(module);
  module.m_status.dwCurrentState = kStartPending;
  module.m_statusHandle = module.RegisterControlHandler();
  if (!module.m_statusHandle) {
    // Without the handle nothing can be reported: the end of the process is what tells the
    // service control manager of the failure, and its recovery actions apply.
    module.LogEvent(event_messages::kHandlerNotInstalled, {"Handler not installed"});
    module.EndProcess(service_failure::kNoControlHandler);
    return;
  }
  {
    module.ReportStatus(kStartPending);
    // Held until the service has run: the display's state comes while it runs.
    [[maybe_unused]] const auto display = module.WatchDisplayState();
    module.m_status.dwWin32ExitCode = 0;
    module.m_status.dwCheckPoint = 0;
    module.m_status.dwWaitHint = 0;
    RunOrFail(module);
  }
  ReportEnd(module);
}

template <typename Module>
void HandlerBody(Module& module, const ControlEvent& event) {
  const std::uint32_t previousDisplay =
      event.displayState ? module.m_displayState.exchange(*event.displayState)
                         : module.m_displayState.load();
  const ControlAnswer answer = AnswerFor(event, previousDisplay);
  switch (answer.action) {
    case ControlAction::Stop:
      StopBody(module);
      break;
    case ControlAction::Ignore:
      break;
    case ControlAction::BadRequest:
      module.LogEvent(event_messages::kBadServiceRequest, {"Bad service request"});
      break;
    case ControlAction::CatchUp:
      // After a resume the connection to WMI may be gone with no word from it: the wait thread
      // asks, and makes the subscription again only when it is.
      if (answer.trigger == CatchUpTrigger::Resume) module.RenewSubscription();
      module.CatchUp(answer.trigger);
      break;
  }
}

template <typename Module>
void RunBody(Module& module) {
  DebugPrint("CServiceModule::Run() ...");
  // A quit posted to a thread that has no queue yet is lost: the queue comes first.
  const auto self = module.OpenMessageQueue();
  module.m_runThreadId.store(self);
  if (module.m_stopRequested.load() && module.m_runThreadId.exchange(0) == self)
    ReportStopAndQuit(module, self);
  {
    const auto com = module.SetUpCom();
    module.LogEvent(event_messages::kServiceStarted, {"Service started"});
    // Once stopping has been reported, running would be a step back.
    if (module.m_isService && !module.m_stopRequested.load()) module.ReportStatus(kRunning);
    // A stop that came first finds nothing to end.
    if (!module.m_stopRequested.load()) module.StartListening();
    module.PumpMessages();
    // The process ends soon after: a decision must not be cut off in the settings file.
    module.AwaitDecisions();
  }
  DebugPrint("Exit from CServiceModule::Run()");
}

}  // namespace service_control

#include "events/Subscription.h"

#include <wbemcli.h>

#include <atomic>
#include <cstdio>
#include <new>

#include "common/Bitness.h"
#include "common/DebugPrint.h"
#include "common/OrientationTypes.h"
#include "common/ServiceFailure.h"
#include "common/WorkerThread.h"
#include "common/win32_status_record.h"
#include "common/win32_stop_signal.h"
#include "events/EventSink.h"
#include "events/WmiSubscription.h"
#include "orientation/OrientationWorker.h"
#include "orientation/SettingsFile.h"
#include "orientation/win32_catch_up.h"

using status_record::SubscriptionState;
using subscription_loop::Attempt;
using subscription_loop::Wake;

LONG g_is64BitWindows = 0;

namespace {

// Made before any thread runs: a renewal may come before the wait thread does. It wakes the wait
// thread once. Owned by the process and never closed: the wait thread may still wait on it while
// the process ends, and a handle closed under a wait leaves the wait undefined.
const HANDLE g_renewSubscription = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
// The failure WMI ended the subscription with, 0 when it did not.
std::atomic<std::uint32_t> g_endedWith{0};
std::atomic<SubscriptionLog> g_log{nullptr};

// The process's one sink, made by the first attempt that needs it and never given back: every
// later subscription delivers to it, so its counters and settings outlive them all.
std::atomic<EventSink*> g_sink{nullptr};

// Takes the guard of the decisions for the settings file's writes of the start, so that a stop
// waits for them. False once the service stops: then nothing is written.
bool TakeGuardForStartWrites() {
  while (!orientation_worker::TakeIoPort()) {
    if (IoPortClosing.load()) return false;
    ::Sleep(5);
  }
  return true;
}

EventSink* ObtainSink(bool& stopping) {
  if (EventSink* sink = g_sink.load()) return sink;
  if (!TakeGuardForStartWrites()) {
    stopping = true;
    return nullptr;
  }
  EventSink* sink = nullptr;
  {
    const orientation_worker::IoPortHold hold;
    // The sink's construction reads and completes the settings file.
    sink = new (std::nothrow) EventSink;
    if (sink == nullptr) return nullptr;
    sink->AddRef();
    g_sink.store(sink);
  }
  // Catch-ups work on it too; one marked before it existed runs now, once the guard is free.
  PublishSink(sink);
  return sink;
}

// The wait thread's side of the subscription's life (events/SubscriptionLoop.h).
class WaitThreadListener {
 public:
  // Each state is recorded for "TurnDisplay.exe status" (common/StatusRecord.h); a record that
  // cannot be written (a foreground run by a user) is no reason to stop listening.
  WaitThreadListener() { RecordSubscription(SubscriptionState::Connecting, "subscribing"); }

  Attempt Subscribe() {
    ++attempts_;
    const Attempt attempt = subscription_.Subscribe();
    switch (attempt) {
      case Attempt::Subscribed:
        RecordSubscription(SubscriptionState::Subscribed,
                           FormatString("subscribed at attempt %u", attempts_));
        attempts_ = 0;
        break;
      case Attempt::Failed:
        RecordSubscription(SubscriptionState::Failing, subscription_.reason());
        break;
      case Attempt::Stopping: RecordSubscription(SubscriptionState::Stopped, kStoppedDetail); break;
    }
    return attempt;
  }
  void Drop(bool cancel) {
    subscription_.Drop(cancel);
    // Dropped without a cancellation, it was lost: WMI ended it or the connection went.
    if (!cancel) RecordSubscription(SubscriptionState::Failing, subscription_.reason());
  }
  bool StillConnected() { return subscription_.StillConnected(); }

  Wake Wait(std::chrono::milliseconds pause) {
    const HANDLE signals[] = {StoppingEvent(), g_renewSubscription};
    // The stop comes first: when both are set, the service is stopping.
    switch (::WaitForMultipleObjects(2, signals, FALSE, static_cast<DWORD>(pause.count()))) {
      case WAIT_OBJECT_0:
        RecordSubscription(SubscriptionState::Stopped, kStoppedDetail);
        return Wake::Stop;
      case WAIT_OBJECT_0 + 1:
        break;
      case WAIT_TIMEOUT:
        return Wake::Elapsed;
      default:
        // Without its signals the thread cannot be told anything: it paces itself alone.
        ::Sleep(static_cast<DWORD>(pause.count()));
        return Wake::Elapsed;
    }
    if (const std::uint32_t code = g_endedWith.exchange(0)) {
      // The sink has written the completion's line already.
      subscription_.set_reason(FormatString("Call complete. hResult = 0x%X", code));
      return Wake::Ended;
    }
    DebugPrint("Renewing the WMI subscription");
    return Wake::Renew;
  }

  void Thrown(const char* reason) {
    DebugPrint("The subscription's attempt failed: %s", reason);
    subscription_.set_reason(reason);
  }

  void ReportFailure() { Report(SubscriptionNotice::Failed, subscription_.reason()); }
  void ReportRecovery(unsigned attempts) {
    Report(SubscriptionNotice::Recovered, FormatString("subscribed again at attempt %u", attempts));
  }

 private:
  static void Report(SubscriptionNotice notice, const std::string& text) {
    if (const SubscriptionLog log = g_log.load()) log(notice, text.c_str());
  }
  static constexpr const char* kStoppedDetail = "the service stops";

  WmiSubscription subscription_{ObtainSink};
  unsigned attempts_ = 0;  // since the subscription last stood
};

void RunWaitThread() {
  DebugPrint("Thread_WaitWMIEventSrv_vOrrinG_SensorCtrl: Thread going to start...");
  // A service that cannot listen any more must not stay running: it ends, and is restarted.
  try {
    if (TakeGuardForStartWrites()) {
      {
        const orientation_worker::IoPortHold hold;
        // Every start begins from the unrotated screen, whether or not the subscription succeeds.
        g_iniFile.WriteInt(settings::kSection, settings::kLastOrientation,
                           static_cast<std::uint32_t>(OrientationCode::Down));
      }
      SubscribeWMIEvent();
    }
  } catch (...) {
    service_failure::Fail(
        service_failure::CurrentFailure("the WMI wait thread", service_failure::kListeningFailed));
  }
  DebugPrint("Thread_WaitWMIEventSrv_vOrrinG_SensorCtrl: Thread going to terminate");
}

}  // namespace

void SetSubscriptionLog(SubscriptionLog log) { g_log.store(log); }

int Ferrox_Start() {
  DebugPrint("[Ferrox_Start] Pivotra control Service starting...");
  g_is64BitWindows = QueryWindowsIs64Bit() ? 1 : 0;
  DebugPrint(g_is64BitWindows ? "Running Windows is 64-bit" : "Running Windows is 32-bit");
  DebugPrint("Thread_WaitWMIEventSrv_vOrrinG_SensorCtrl Starting...");
  // The thread object deletes itself. Without the thread the service would run deaf.
  if (AfxBeginThread(Thread_WaitWMIEventSrv_vOrrinG_SensorCtrl, nullptr, THREAD_PRIORITY_NORMAL, 0,
                     0, nullptr) == nullptr) {
    service_failure::Failure failure{service_failure::kListeningFailed, {}};
    std::snprintf(failure.reason, sizeof(failure.reason),
                  "the WMI wait thread could not be started (error %lu)",
                  static_cast<unsigned long>(::GetLastError()));
    service_failure::Fail(failure);
  }
  return 0;
}

int Ferrox_Stop() {
  DebugPrint("Stopping Pivotra Control Service code...");
  DebugPrint("Ferrox stopped");
  return 0;
}

void RenewSubscription() { ::SetEvent(g_renewSubscription); }

void SubscriptionCompleted(HRESULT result) {
  // A success, or the end of a call this process cancelled, needs nothing: only WMI's own end
  // of the subscription is a loss.
  if (SUCCEEDED(result) || result == static_cast<HRESULT>(WBEM_E_CALL_CANCELLED)) return;
  g_endedWith.store(static_cast<std::uint32_t>(result));
  ::SetEvent(g_renewSubscription);
}

UINT __cdecl Thread_WaitWMIEventSrv_vOrrinG_SensorCtrl(LPVOID) {
  RunWaitThread();
  AfxEndThread(0);
}

int SubscribeWMIEvent(std::chrono::milliseconds checkPeriod) {
  const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (FAILED(hr)) {
    DebugPrint("Failed to initialize COM library. Error code = 0x%X", static_cast<unsigned>(hr));
    return 0;
  }
  {
    WaitThreadListener listener;
    subscription_loop::Run(listener, checkPeriod);
  }
  ::CoUninitialize();
  return 0;
}

#include "service/ServiceModule.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "common/UniqueHandle.h"
#include "common/win32_stop_signal.h"
#include "events/Subscription.h"
#include "orientation/OrientationWorker.h"
#include "orientation/win32_blocker_watch.h"
#include "orientation/win32_catch_up.h"
#include "service/EventLogMessages.h"
#include "service/ServiceControl.h"

CServiceModule g_serviceModule;

namespace {

// GUID_CONSOLE_DISPLAY_STATE, spelt out: mingw's headers declare it without defining it.
constexpr GUID kConsoleDisplayState = {
    0x6FE69556, 0x704A, 0x47A0, {0x8F, 0x24, 0xC2, 0x8D, 0x93, 0x6F, 0xDA, 0x47}};

// A copy of the token's user (TokenUser) or primary group (TokenPrimaryGroup).
std::unique_ptr<BYTE[]> CopyTokenSid(HANDLE token, TOKEN_INFORMATION_CLASS which) {
  DWORD size = 0;
  ::GetTokenInformation(token, which, nullptr, 0, &size);
  if (size == 0) return nullptr;
  // new[] of bytes is aligned for any structure, TOKEN_USER's pointer included.
  std::unique_ptr<BYTE[]> information(new (std::nothrow) BYTE[size]);
  if (!information || !::GetTokenInformation(token, which, information.get(), size, &size))
    return nullptr;
  PSID sid = which == TokenUser
                 ? reinterpret_cast<TOKEN_USER*>(information.get())->User.Sid
                 : reinterpret_cast<TOKEN_PRIMARY_GROUP*>(information.get())->PrimaryGroup;
  const DWORD length = ::GetLengthSid(sid);
  std::unique_ptr<BYTE[]> copy(new (std::nothrow) BYTE[length]);
  if (!copy || !::CopySid(length, copy.get(), sid)) return nullptr;
  return copy;
}

// The subscription's entries, written from the wait thread.
void LogSubscriptionNotice(SubscriptionNotice notice, const char* text) {
  if (notice == SubscriptionNotice::Failed) {
    g_serviceModule.LogEntry(EVENTLOG_WARNING_TYPE, event_messages::kSubscriptionFailed, text);
  } else {
    g_serviceModule.LogEntry(EVENTLOG_INFORMATION_TYPE, event_messages::kSubscriptionRecovered,
                             text);
  }
}

// Owner and group of the calling thread's token, or of the process's when the thread has none
// of its own. No DACL: every caller is let in.
bool DescribeFromToken(SECURITY_DESCRIPTOR& descriptor, std::unique_ptr<BYTE[]>& owner,
                       std::unique_ptr<BYTE[]>& group) {
  unique_handle token;
  if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, FALSE, token.put())) {
    if ((::GetLastError() & 0xFFFF) != ERROR_NO_TOKEN) return false;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
  }
  owner = CopyTokenSid(token.get(), TokenUser);
  group = CopyTokenSid(token.get(), TokenPrimaryGroup);
  return owner && group && ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
         ::SetSecurityDescriptorOwner(&descriptor, owner.get(), FALSE) &&
         ::SetSecurityDescriptorGroup(&descriptor, group.get(), FALSE);
}

}  // namespace

void CServiceModule::Init(ComClassEntry* classTable, HINSTANCE instance, UINT serviceNameId,
                          const GUID* typeLibId) {
  CComModule::Init(classTable, instance, typeLibId);
  m_isService = TRUE;
  ::LoadStringA(instance, serviceNameId, m_serviceName, sizeof(m_serviceName));
  m_statusHandle = nullptr;
  m_status = {};
  m_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  m_status.dwCurrentState = SERVICE_STOPPED;
  m_status.dwControlsAccepted = service_control::kControlsAccepted;
  // Manual reset: whoever waits after the routine has ended finds it set.
  m_serviceMainEnded.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
}

void CServiceModule::Start() { service_control::StartBody(*this); }

void CServiceModule::ServiceMain(DWORD, LPSTR*) { service_control::ServiceMainBody(*this); }

void CServiceModule::Handler(DWORD control, DWORD eventType, LPVOID eventData) {
  service_control::ControlEvent event{control, eventType, std::nullopt};
  if (control == SERVICE_CONTROL_POWEREVENT && eventType == PBT_POWERSETTINGCHANGE &&
      eventData != nullptr) {
    const auto* setting = static_cast<const POWERBROADCAST_SETTING*>(eventData);
    DWORD state = 0;
    if (::IsEqualGUID(setting->PowerSetting, kConsoleDisplayState) &&
        setting->DataLength >= sizeof(state)) {
      std::memcpy(&state, setting->Data, sizeof(state));  // Data is not aligned for a DWORD
      event.displayState = state;
    }
  }
  service_control::HandlerBody(*this, event);
}

void CServiceModule::Run() { service_control::RunBody(*this); }

void CServiceModule::ReportStatus(DWORD state) {
  m_status.dwCurrentState = state;
  m_status.dwWaitHint = service_control::WaitHintFor(state);
  ::SetServiceStatus(m_statusHandle, &m_status);
}

void CServiceModule::LogEvent(const char* format, ...) {
  char message[256];
  std::va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof(message), format, args);
  va_end(args);
  LogEntry(EVENTLOG_INFORMATION_TYPE, event_messages::kText, message);
}

void CServiceModule::LogEntry(WORD type, DWORD eventId, const char* text) {
  if (!m_isService) {
    // Flushed at once: a local server ends only when it is ended from outside.
    std::printf("%s\n", text);
    std::fflush(stdout);
    return;
  }
  const unique_event_source source(::RegisterEventSourceA(nullptr, m_serviceName));
  if (!source) return;
  const char* strings[] = {text};
  ::ReportEventA(source.get(), type, 0, eventId, nullptr, 1, 0, strings, nullptr);
}

LONG CServiceModule::Unlock() {
  const LONG count = CComModule::Unlock();
  if (count == 0 && !m_isService) PostQuit(m_runThreadId.load());
  return count;
}

BOOL CServiceModule::StartDispatcher() {
  SERVICE_TABLE_ENTRYA table[] = {{m_serviceName, ServiceMainEntry}, {nullptr, nullptr}};
  // Returns when the service has stopped, or at once when the service control manager did not
  // start this process.
  return ::StartServiceCtrlDispatcherA(table);
}

SERVICE_STATUS_HANDLE CServiceModule::RegisterControlHandler() {
  // The extended handler: session and power controls come only to it.
  return ::RegisterServiceCtrlHandlerExA(m_serviceName, HandlerEntry, nullptr);
}

DWORD CServiceModule::OpenMessageQueue() {
  // A thread gets its queue with its first message call.
  MSG message;
  ::PeekMessageA(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  return ::GetCurrentThreadId();
}

void CServiceModule::PostQuit(DWORD threadId) { ::PostThreadMessageA(threadId, WM_QUIT, 0, 0); }

void CServiceModule::ServiceMainEnded() {
  if (m_serviceMainEnded) ::SetEvent(m_serviceMainEnded.get());
}

void CServiceModule::AwaitServiceMainEnd() {
  // After stopped is reported only an event-log entry is left to write; the bound keeps a
  // hung event log from holding the process.
  constexpr DWORD kServiceMainGraceMs = 10000;
  if (m_serviceMainEnded) ::WaitForSingleObject(m_serviceMainEnded.get(), kServiceMainGraceMs);
}

void CServiceModule::StopNewDecisions() {
  IoPortClosing.store(true);
  // A decision waiting for the display program, the subscription and the watches stop waiting.
  SignalStopping();
}

void CServiceModule::AwaitDecisions() {
  // A decision writes the settings file several times; cut off, the file may lose the
  // administrator's values. A few seconds cover one decision with a margin.
  constexpr std::chrono::milliseconds kDecisionGrace{5000};
  if (!orientation_worker::CloseIoPort(kDecisionGrace))
    DebugPrint("CServiceModule::Run(): a decision is still at work, the stop goes on");
}

CServiceModule::ComSetup CServiceModule::SetUpCom() { return ComSetup(*this); }

unique_power_notification CServiceModule::WatchDisplayState() {
  // The display's state comes to the control handler as a power event. Registration reports the
  // state at once, which is no change.
  unique_power_notification registration(::RegisterPowerSettingNotification(
      m_statusHandle, &kConsoleDisplayState, DEVICE_NOTIFY_SERVICE_HANDLE));
  if (!registration)
    DebugPrint("No notice of the display's state: error %lu",
               static_cast<unsigned long>(::GetLastError()));
  return registration;
}

void CServiceModule::StartListening() {
  SetSubscriptionLog(LogSubscriptionNotice);
  Ferrox_Start();
  StartBlockerWatch();
}

void CServiceModule::CatchUp(CatchUpTrigger trigger) { StartCatchUp(trigger); }

void CServiceModule::RenewSubscription() { ::RenewSubscription(); }

void CServiceModule::PumpMessages() {
  MSG message;
  // GetMessageA gives -1 on failure, which must end the loop as well as WM_QUIT's 0.
  while (::GetMessageA(&message, nullptr, 0, 0) > 0) ::DispatchMessageA(&message);
}

CServiceModule::ComSetup::ComSetup(CServiceModule& module)
    : module_(module), apartment_(::CoInitialize(nullptr)) {
  if (!DescribeFromToken(descriptor_, owner_, group_)) {
    owner_.reset();
    group_.reset();
    ::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION);
  }
  // The process-wide security under which the WMI work runs; it sets none of its own.
  ::CoInitializeSecurity(&descriptor_, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT,
                         RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  module_.RegisterClassObjects(CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER, REGCLS_MULTIPLEUSE);
}

CServiceModule::ComSetup::~ComSetup() {
  module_.RevokeClassObjects();
  if (SUCCEEDED(apartment_)) ::CoUninitialize();
  // The descriptor and its owner and group go after COM.
}

void WINAPI ServiceMainEntry(DWORD argc, LPSTR* argv) {
  try {
    g_serviceModule.ServiceMain(argc, argv);
  } catch (...) {
    // The service control manager must not be left waiting for a service that is gone.
    g_serviceModule.ReportStatus(SERVICE_STOPPED);
  }
}

DWORD WINAPI HandlerEntry(DWORD control, DWORD eventType, LPVOID eventData, LPVOID) {
  try {
    g_serviceModule.Handler(control, eventType, eventData);
  } catch (...) {
    // A control request that cannot be handled is dropped.
  }
  // Every control is answered as taken, as interrogate must be.
  return NO_ERROR;
}

#include "service/ServiceModule.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>

#include "common/EventLogWriter.h"
#include "common/ServiceFailure.h"
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
  g_serviceModule.LogEvent(notice == SubscriptionNotice::Failed
                               ? event_messages::kSubscriptionFailed
                               : event_messages::kSubscriptionRecovered,
                           {text});
}

// The entries of the listening work and the decisions, from their threads.
void WriteServiceEntry(std::uint16_t type, std::uint32_t id, const char* const* strings,
                       std::size_t count) {
  g_serviceModule.WriteEntry(type, id, strings, count);
}

// A failure on another thread that the service cannot mend.
void FailService(const service_failure::Failure& failure) {
  service_control::FailBody(g_serviceModule, failure);
}

// In the foreground: the entry as Event Viewer would show it, from the message table.
void PrintEntry(std::uint32_t id, const char* const* strings, std::size_t count) {
  DWORD_PTR arguments[9];
  for (std::size_t i = 0; i < 9; ++i)
    arguments[i] = reinterpret_cast<DWORD_PTR>(i < count ? strings[i] : "");
  char text[1024];
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, id, 0, text,
      sizeof(text), reinterpret_cast<va_list*>(arguments));
  if (length > 0) {
    std::printf("%s\n", text);
  } else {
    for (std::size_t i = 0; i < count; ++i) std::printf(i + 1 < count ? "%s " : "%s\n", strings[i]);
  }
  // Flushed at once: a local server ends only when it is ended from outside.
  std::fflush(stdout);
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

void CServiceModule::LogEvent(const event_messages::Message& message,
                              std::initializer_list<const char*> strings) {
  WriteEntry(message.type, message.id, strings.begin(), strings.size());
}

void CServiceModule::WriteEntry(std::uint16_t type, std::uint32_t id, const char* const* strings,
                                std::size_t count) noexcept {
  if (!m_isService) {
    PrintEntry(id, strings, count);
    return;
  }
  const unique_event_source source(::RegisterEventSourceA(nullptr, m_serviceName));
  if (!source) return;
  // ReportEventA only reads the strings, through a pointer its declaration leaves non-const.
  ::ReportEventA(source.get(), type, 0, id, nullptr, static_cast<WORD>(count), 0,
                 const_cast<LPCSTR*>(strings), nullptr);
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

void CServiceModule::EndProcess(std::uint32_t exitCode) { ::ExitProcess(exitCode); }

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
  event_log::SetWriter(WriteServiceEntry);
  service_failure::SetHandler(FailService);
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
    // The routine reports its own end, a failure's too; what may still throw comes after that.
    // Otherwise the service control manager must not be left waiting for a service that is gone.
    CServiceModule& module = g_serviceModule;
    if (module.m_statusHandle && module.m_status.dwCurrentState != SERVICE_STOPPED) {
      module.m_status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
      module.m_status.dwServiceSpecificExitCode = service_failure::kUnexpectedException;
      module.ReportStatus(SERVICE_STOPPED);
    }
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

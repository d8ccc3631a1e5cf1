#pragma once

#include <windows.h>
#include <winsvc.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>

#include "common/CatchUpTrigger.h"
#include "common/UniqueHandle.h"
#include "service/ComModule.h"
#include "service/EventLogMessages.h"
#include "service/ServiceControl.h"

// The process as a Windows service: its start under the service control manager or in the
// foreground, its control handler, status reports and event log, and its installation.
class CServiceModule : public CComModule {
 public:
  void Init(ComClassEntry* classTable, HINSTANCE instance, UINT serviceNameId,
            const GUID* typeLibId);

  void Start();
  void ServiceMain(DWORD argc, LPSTR* argv);
  // eventData: the control's data, a POWERBROADCAST_SETTING for a power-setting change.
  void Handler(DWORD control, DWORD eventType = 0, LPVOID eventData = nullptr);
  void Run();
  void ReportStatus(DWORD state);
  // An entry of the message with its insertion strings.
  void LogEvent(const event_messages::Message& message, std::initializer_list<const char*> strings);
  // The service's one writer of entries: to the event log in service mode, and in the foreground
  // the text Event Viewer would show, on standard output. Allocates nothing.
  void WriteEntry(std::uint16_t type, std::uint32_t id, const char* const* strings,
                  std::size_t count) noexcept;
  LONG Unlock() override;

  // Installation and registration.
  struct InstallOutcome {
    bool installed = false;               // the service exists afterwards, as configured
    DWORD creationError = ERROR_SUCCESS;  // why it could not be created or updated
  };
  BOOL IsInstalled();
  InstallOutcome Install();
  // Stops an installed service that is to be updated in place.
  void StopForUpdate();
  BOOL Uninstall();
  LONG RegisterServer(BOOL registerTypeLib, BOOL installAsService);
  HRESULT UnregisterServer();

  char m_serviceName[256] = {};
  SERVICE_STATUS_HANDLE m_statusHandle = nullptr;
  SERVICE_STATUS m_status = {};
  // 0 until the run thread has a message queue, and again once a stop has posted its quit.
  std::atomic<DWORD> m_runThreadId{0};
  BOOL m_isService = FALSE;
  // Set by a stop request; the run thread honours one that came before it could be told.
  std::atomic<bool> m_stopRequested{false};
  std::atomic<bool> m_serviceMainEntered{false};
  // The console display's state last reported: only a change to on is a catch-up.
  std::atomic<DWORD> m_displayState{0xFFFFFFFF};
  // Set when the service main routine has done its last step; made by Init.
  unique_handle m_serviceMainEnded;
  service_control::FailureRecord m_failure;

  // The platform calls of the service's steps (see service/ServiceControl.h).
  class ComSetup;
  BOOL StartDispatcher();
  SERVICE_STATUS_HANDLE RegisterControlHandler();
  DWORD OpenMessageQueue();
  void PostQuit(DWORD threadId);
  ComSetup SetUpCom();
  unique_power_notification WatchDisplayState();
  void StartListening();
  void CatchUp(CatchUpTrigger trigger);
  void RenewSubscription();
  void PumpMessages();
  void StopNewDecisions();
  void AwaitDecisions();
  void ServiceMainEnded();
  void AwaitServiceMainEnd();
  [[noreturn]] void EndProcess(std::uint32_t exitCode);

 private:
  void ShowMessage(const char* text);
};

// The apartment of the run thread, the process's COM security and the class objects, given up
// in reverse order when it goes.
class CServiceModule::ComSetup {
 public:
  explicit ComSetup(CServiceModule& module);
  ~ComSetup();
  ComSetup(const ComSetup&) = delete;
  ComSetup& operator=(const ComSetup&) = delete;

 private:
  CServiceModule& module_;
  HRESULT apartment_;
  SECURITY_DESCRIPTOR descriptor_ = {};
  // The copies of the token's owner and group that the descriptor points at.
  std::unique_ptr<BYTE[]> owner_;
  std::unique_ptr<BYTE[]> group_;
};

extern CServiceModule g_serviceModule;

// What the service control dispatcher calls.
void WINAPI ServiceMainEntry(DWORD argc, LPSTR* argv);
DWORD WINAPI HandlerEntry(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context);

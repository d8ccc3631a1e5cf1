// Registration with COM and installation with the service control manager.
#include <string>

#include "common/ComScope.h"
#include "common/DebugPrint.h"
#include "common/ModuleDirectory.h"
#include "common/UniqueHandle.h"
#include "common/win32_status_record.h"
#include "events/Subscription.h"
#include "service/Installation.h"
#include "service/ServiceIdentity.h"
#include "service/ServiceModule.h"
#include "service/win32_event_source.h"
#include "service/win32_reinstallation.h"
#include "service/win32_service_description.h"
#include "service/win32_service_settings.h"

namespace {

// LoadStringA cuts a string that does not fit; the buffer grows until it fits.
std::string LoadResourceString(HINSTANCE instance, UINT id) {
  for (int size = 128; size <= 32768; size *= 2) {
    std::string text(static_cast<std::size_t>(size), '\0');
    const int length = ::LoadStringA(instance, id, text.data(), size);
    if (length < size - 1) {
      text.resize(static_cast<std::size_t>(length));
      return text;
    }
  }
  return std::string();
}

// Session 0, where services and an installer's deferred actions run, is out of every user's
// sight, and so is a window station that is not visible: a box there would wait for ever.
bool SomeoneCanAnswerABox() {
  DWORD session = 0;
  if (::ProcessIdToSessionId(::GetCurrentProcessId(), &session) && session == 0) return false;
  USEROBJECTFLAGS flags = {};
  if (!::GetUserObjectInformationA(::GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof(flags),
                                   nullptr))
    return true;
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

LONG SetStringValue(HKEY key, const char* name, const char* text) {
  return ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>(std::char_traits<char>::length(text) + 1));
}

}  // namespace

void CServiceModule::ShowMessage(const char* text) {
  // Waits until the user closes the box; where no user can, the text goes to the debugger.
  if (SomeoneCanAnswerABox()) {
    ::MessageBoxA(nullptr, text, m_serviceName, MB_OK);
  } else {
    DebugPrint("%s", text);
  }
}

BOOL CServiceModule::IsInstalled() {
  const unique_schandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return FALSE;
  const unique_schandle service(::OpenServiceA(manager.get(), m_serviceName, SERVICE_QUERY_CONFIG));
  return service ? TRUE : FALSE;
}

CServiceModule::InstallOutcome CServiceModule::Install() {
  // An earlier copy that something else deleted is waited for: its name cannot be taken until
  // it has gone. One that nobody deleted is updated in place.
  const reinstallation::Step step = AwaitEarlierService(m_serviceName);
  if (step == reinstallation::Step::GiveUp) {
    ShowMessage(installation::kCouldNotCreate);
    return {false, ERROR_SERVICE_MARKED_FOR_DELETE};
  }

  unique_schandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) {
    const DWORD error = ::GetLastError();
    ShowMessage(installation::kCouldNotOpenManager);
    return {false, error};
  }
  const std::string command = installation::QuotedCommand(ModuleFileName());
  unique_schandle service;
  if (step == reinstallation::Step::Update) {
    service.reset(::OpenServiceA(manager.get(), m_serviceName, SERVICE_ALL_ACCESS));
    // The same configuration as a creation gives; the load-order group is left as it is.
    if (service && !::ChangeServiceConfigA(service.get(), SERVICE_WIN32_OWN_PROCESS,
                                           SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                           command.c_str(), nullptr, nullptr,
                                           identity::kServiceDependencies,
                                           identity::kLocalSystemAccount, "", m_serviceName)) {
      // Taken before the handle's close, which may set another.
      const DWORD error = ::GetLastError();
      service.reset();
      ::SetLastError(error);
    }
  } else {
    service.reset(::CreateServiceA(manager.get(), m_serviceName, m_serviceName, SERVICE_ALL_ACCESS,
                                   SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                   SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr,
                                   identity::kServiceDependencies, nullptr, nullptr));
  }
  if (!service) {
    const DWORD error = ::GetLastError();
    manager.reset();
    ShowMessage(step == reinstallation::Step::Update ? installation::kCouldNotUpdate
                                                     : installation::kCouldNotCreate);
    return {false, error};
  }

  // An installation without its description or its other settings still counts as done.
  if (!SetServiceDescription(service.get(), LoadResourceString(m_hInst, identity::kDescriptionString)))
    DebugPrint("Fail to change service description");
  ApplyServiceSettings(service.get());
  return {true, ERROR_SUCCESS};
}

void CServiceModule::StopForUpdate() {
  // Stopped as its removal would, but kept: the update changes it in place.
  if (LookForService(m_serviceName) != reinstallation::Presence::Installed) return;
  Ferrox_Stop();
  const unique_schandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  const unique_schandle service(
      manager ? ::OpenServiceA(manager.get(), m_serviceName, SERVICE_STOP) : nullptr);
  // Not waited for: the new configuration applies from the next start.
  SERVICE_STATUS status;
  if (service) ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
}

BOOL CServiceModule::Uninstall() {
  if (!IsInstalled()) return TRUE;
  Ferrox_Stop();

  unique_schandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) {
    ShowMessage(installation::kCouldNotOpenManager);
    return FALSE;
  }
  unique_schandle service(::OpenServiceA(manager.get(), m_serviceName, SERVICE_STOP | DELETE));
  if (!service) {
    manager.reset();
    ShowMessage(installation::kCouldNotOpen);
    return FALSE;
  }
  // Not waited for: a service still running is removed once it has stopped.
  SERVICE_STATUS status;
  ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
  const BOOL deleted = ::DeleteService(service.get());
  service.reset();
  manager.reset();
  if (deleted) {
    // The status record lies under the service's key: gone now, not once the service has gone.
    ForgetStatusRecord();
    return TRUE;
  }
  ShowMessage(installation::kCouldNotDelete);
  return FALSE;
}

LONG CServiceModule::RegisterServer(BOOL registerTypeLib, BOOL installAsService) {
  DebugPrint("CServiceModule::RegisterServer...");
  const ComScope com(COINIT_APARTMENTTHREADED);
  if (!com.joined()) return com.result();

  // A service installation keeps an installed service; a COM registration alone removes it.
  if (installAsService) {
    StopForUpdate();
  } else {
    Uninstall();
  }
  UpdateRegistryFromResource(identity::kRegistryScript, TRUE);

  // The registry calls return their error; they do not set the last error.
  unique_hkey appIds;
  LONG error = ::RegOpenKeyExA(HKEY_CLASSES_ROOT, identity::kAppIdRoot, 0, KEY_WRITE, appIds.put());
  if (error != ERROR_SUCCESS) {
    DebugPrint("keyAppID.Open ERR 0x%08X", static_cast<unsigned>(error));
    return error;
  }
  unique_hkey appId;
  error = ::RegOpenKeyExA(appIds.get(), identity::kAppId, 0, KEY_WRITE, appId.put());
  if (error != ERROR_SUCCESS) {
    DebugPrint("key.Open ERR 0x%08X", static_cast<unsigned>(error));
    return error;
  }

  // Gone on every run, so that only a service installation marks the program as a service.
  ::RegDeleteValueA(appId.get(), identity::kLocalServiceValue);
  if (installAsService) {
    SetStringValue(appId.get(), identity::kLocalServiceValue, identity::kLocalServiceText);
    SetStringValue(appId.get(), identity::kServiceParametersValue, identity::kServiceParametersText);
    const InstallOutcome installed = Install();
    // A service that could not be created or updated ends the switch with its error, so that an
    // installer notices and rolls back; the type library is not registered for it.
    if (installed.creationError != ERROR_SUCCESS) return static_cast<LONG>(installed.creationError);
    if (installed.installed) event_source::Register(m_serviceName, ModuleFileName());
  } else {
    event_source::Remove(m_serviceName);
  }
  const HRESULT registered = CComModule::RegisterServer(registerTypeLib);
  DebugPrint("Exit from CServiceModule::RegisterServer");
  return registered;
}

HRESULT CServiceModule::UnregisterServer() {
  const ComScope com(COINIT_APARTMENTTHREADED);
  if (!com.joined()) return com.result();

  UpdateRegistryFromResource(identity::kRegistryScript, FALSE);
  Uninstall();
  event_source::Remove(m_serviceName);
  CComModule::UnregisterServer(TRUE);
  return S_OK;
}

#include "service/win32_reinstallation.h"

#include <windows.h>
#include <winsvc.h>

#include <chrono>

#include "common/UniqueHandle.h"

using reinstallation::Presence;

Presence LookForService(const char* name) {
  const unique_schandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return Presence::Gone;
  const unique_schandle service(::OpenServiceA(manager.get(), name, SERVICE_CHANGE_CONFIG));
  if (!service) {
    return ::GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE ? Presence::MarkedForDeletion
                                                                : Presence::Gone;
  }
  // A change of nothing is refused only for a service marked for deletion.
  if (!::ChangeServiceConfigA(service.get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                              SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr) &&
      ::GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE)
    return Presence::MarkedForDeletion;
  return Presence::Installed;
}

reinstallation::Step AwaitEarlierService(const char* name) {
  // Each look closes its handles: a copy marked for deletion may wait for the last of them.
  return reinstallation::AwaitEarlierCopy(
      [name] { return LookForService(name); }, [] { return std::chrono::steady_clock::now(); },
      [](std::chrono::milliseconds interval) { ::Sleep(static_cast<DWORD>(interval.count())); });
}

// The process entry: an installation switch, or the service (or local server) itself.
#include <windows.h>

#include "common/UniqueHandle.h"
#include "orientation/win32_catch_up.h"
#include "service/InstallSwitch.h"
#include "service/LocalServiceValue.h"
#include "service/MainGuard.h"
#include "service/ServiceControl.h"
#include "service/ServiceIdentity.h"
#include "service/ServiceModule.h"
#include "turndisplay/win32_setting_value.h"

namespace {

// The program offers no COM classes: the table holds only its end.
ComClassEntry g_classTable[] = {{nullptr, nullptr, nullptr, 0}};

// The display program's AutoRotation 1: folded into a laptop or docked, the screen keeps the
// native landscape. Read at each catch-up, so that a changed policy counts at once.
bool TurnsOnlyInTabletPosture() {
  return turndisplay::ReadAutoRotation() == turndisplay::AutoRotation::TabletPosture;
}

// {8E2D41B9-07C3-4A5E-B6F1-92D05C7A3E48}
constexpr GUID kTypeLibId = {
    0x8E2D41B9, 0x07C3, 0x4A5E, {0xB6, 0xF1, 0x92, 0xD0, 0x5C, 0x7A, 0x3E, 0x48}};

int RunMain(HINSTANCE instance) {
  // The whole command line, program path included: the switch scan looks at all of it.
  const char* commandLine = ::GetCommandLineA();
  g_serviceModule.Init(g_classTable, instance, identity::kServiceNameString, &kTypeLibId);
  g_serviceModule.m_isService = TRUE;

  switch (FindInstallSwitch(commandLine)) {
    case InstallSwitch::UnregServer:
      return static_cast<int>(g_serviceModule.UnregisterServer());
    case InstallSwitch::RegServer:
      return static_cast<int>(g_serviceModule.RegisterServer(TRUE, FALSE));
    case InstallSwitch::Service:
      return static_cast<int>(g_serviceModule.RegisterServer(TRUE, TRUE));
    case InstallSwitch::None:
      break;
  }

  // Never registered: the registry's error code is the exit code and nothing starts.
  unique_hkey appIds;
  LONG error = ::RegOpenKeyExA(HKEY_CLASSES_ROOT, identity::kAppIdRoot, 0, KEY_READ, appIds.put());
  if (error != ERROR_SUCCESS) return static_cast<int>(error);
  unique_hkey appId;
  error = ::RegOpenKeyExA(appIds.get(), identity::kAppId, 0, KEY_READ, appId.put());
  if (error != ERROR_SUCCESS) return static_cast<int>(error);

  BYTE value[local_service::kBufferSize];
  DWORD type = 0;
  DWORD length = sizeof(value);
  const LONG read =
      ::RegQueryValueExA(appId.get(), identity::kLocalServiceValue, nullptr, &type, value, &length);
  g_serviceModule.m_isService = local_service::ReadSucceeded(read, type, value, length);

  SetTabletOnlyRule(TurnsOnlyInTabletPosture);
  g_serviceModule.Start();
  // Non-zero when a failure ended the service.
  return static_cast<int>(service_control::ProcessExitCode(g_serviceModule));
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return main_guard::ExitCodeOf([instance] { return RunMain(instance); });
}

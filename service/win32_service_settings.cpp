#include "service/win32_service_settings.h"

#include <vector>

#include "service/ServiceSettings.h"

namespace {

// 0 or the Win32 error of the one call that sets setting.
DWORD Change(SC_HANDLE service, const service_settings::Setting& setting) {
  using namespace service_settings;
  BOOL changed = FALSE;
  switch (setting.level) {
    case kFailureActions: {
      std::vector<SC_ACTION> actions;
      for (const Action& action : setting.actions)
        actions.push_back({static_cast<SC_ACTION_TYPE>(action.type), action.delayMs});
      SERVICE_FAILURE_ACTIONSA failure = {};
      failure.dwResetPeriod = setting.value;
      failure.cActions = static_cast<DWORD>(actions.size());
      failure.lpsaActions = actions.data();
      changed = ::ChangeServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure);
      break;
    }
    case kFailureActionsFlag: {
      SERVICE_FAILURE_ACTIONS_FLAG flag = {static_cast<BOOL>(setting.value)};
      changed = ::ChangeServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &flag);
      break;
    }
    case kPreshutdownInfo: {
      SERVICE_PRESHUTDOWN_INFO preshutdown = {setting.value};
      changed = ::ChangeServiceConfig2A(service, SERVICE_CONFIG_PRESHUTDOWN_INFO, &preshutdown);
      break;
    }
    case kSidInfo: {
      SERVICE_SID_INFO sid = {setting.value};
      changed = ::ChangeServiceConfig2A(service, SERVICE_CONFIG_SERVICE_SID_INFO, &sid);
      break;
    }
    case kRequiredPrivileges: {
      std::vector<char> names(setting.multiString.begin(), setting.multiString.end());
      SERVICE_REQUIRED_PRIVILEGES_INFOA privileges = {names.data()};
      changed =
          ::ChangeServiceConfig2A(service, SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO, &privileges);
      break;
    }
  }
  return changed ? ERROR_SUCCESS : ::GetLastError();
}

}  // namespace

void ApplyServiceSettings(SC_HANDLE service) {
  service_settings::Apply(
      [service](const service_settings::Setting& setting) { return Change(service, setting); });
}

#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/DebugPrint.h"

// What installation sets beside the service's configuration and description: recovery after a
// crash, the time it may take at shutdown, and the least privilege it runs with
// (docs/service-settings.md). One table, applied by ChangeServiceConfig2A on Windows and by a
// stand-in in the tests.
namespace service_settings {

// The platform's numbers (winsvc.h), so that the table builds without its headers.
enum Level : std::uint32_t {
  kFailureActions = 2,      // SERVICE_CONFIG_FAILURE_ACTIONS
  kFailureActionsFlag = 4,  // SERVICE_CONFIG_FAILURE_ACTIONS_FLAG
  kSidInfo = 5,             // SERVICE_CONFIG_SERVICE_SID_INFO
  kRequiredPrivileges = 6,  // SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO
  kPreshutdownInfo = 7,     // SERVICE_CONFIG_PRESHUTDOWN_INFO
};

// SC_ACTION: what the service control manager does after a failure, and after how long.
struct Action {
  std::uint32_t type;  // SC_ACTION_NONE 0, SC_ACTION_RESTART 1
  std::uint32_t delayMs;
};

struct Setting {
  Level level;
  const char* name;             // in the debugger line of a refusal
  std::uint32_t value;          // the flag, the SID type, the timeout in ms, or the reset period
                                // of the failure counts in s
  std::vector<Action> actions;  // the failure actions, one per failure; the last one repeats
  std::string multiString;      // the privileges: each name and its zero, and one zero more
};

// In the order they are set.
const std::vector<Setting>& Table();

// Sets every setting with change(setting), which gives 0 or the Win32 error of a refusal. A
// refused setting costs one debugger line; the others are set all the same (Wine refuses some).
template <typename Change>
void Apply(Change change) {
  for (const Setting& setting : Table()) {
    const std::uint32_t error = change(setting);
    if (error != 0)
      DebugPrint("Fail to change service %s, error %u", setting.name, static_cast<unsigned>(error));
  }
}

}  // namespace service_settings

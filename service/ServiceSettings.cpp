#include "service/ServiceSettings.h"

namespace service_settings {

namespace {

constexpr std::uint32_t kActionNone = 0;     // SC_ACTION_NONE
constexpr std::uint32_t kActionRestart = 1;  // SC_ACTION_RESTART
constexpr std::uint32_t kRestartDelayMs = 5000;
constexpr std::uint32_t kFailureCountResetS = 24 * 60 * 60;
// Long enough for the decision at work to finish its writes (5 s) before the shutdown proper.
constexpr std::uint32_t kPreshutdownTimeoutMs = 10000;
constexpr std::uint32_t kSidTypeUnrestricted = 1;  // SERVICE_SID_TYPE_UNRESTRICTED

// A list of names as the platform takes it: each name ends in a zero, and one more ends the list.
std::string MultiString(const std::vector<const char*>& names) {
  std::string list;
  for (const char* name : names) {
    list += name;
    list += '\0';
  }
  list += '\0';
  return list;
}

}  // namespace

const std::vector<Setting>& Table() {
  static const std::vector<Setting> table = {
      // Restarted after the first and the second crash; a third within a day is left alone.
      {kFailureActions,
       "failure actions",
       kFailureCountResetS,
       {{kActionRestart, kRestartDelayMs}, {kActionRestart, kRestartDelayMs}, {kActionNone, 0}},
       {}},
      // A stop that ends with an error is a failure too.
      {kFailureActionsFlag, "failure actions flag", 1, {}, {}},
      {kPreshutdownInfo, "preshutdown timeout", kPreshutdownTimeoutMs, {}, {}},
      {kSidInfo, "SID type", kSidTypeUnrestricted, {}, {}},
      // What the launcher needs of the local system account (docs/service-settings.md); the
      // others go from the process's token.
      {kRequiredPrivileges,
       "required privileges",
       0,
       {},
       MultiString({"SeTcbPrivilege", "SeAssignPrimaryTokenPrivilege", "SeIncreaseQuotaPrivilege"})},
  };
  return table;
}

}  // namespace service_settings

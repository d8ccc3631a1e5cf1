#include "turndisplay/ShownDesktop.h"

#include "common/TextCase.h"

namespace turndisplay {

bool IsInteractiveWindowStation(const std::string& name) {
  return EqualsIgnoringCase(name, kInteractiveWindowStation);
}

DesktopPlan PlanDesktop(const std::optional<std::string>& station) {
  // On WinSta0 the service chose the desktop: the sign-in screen's or the user's.
  if (station && IsInteractiveWindowStation(*station)) return {false, {}};
  // The input desktop is the secure one while the session is locked, which a user's token may
  // not open: then the user's own.
  return {true, {Desktop::Input, Desktop::Default}};
}

}  // namespace turndisplay

// The program's move to the desktop that is shown (turndisplay/ShownDesktop.h).
#include <windows.h>

#include <optional>
#include <string>

#include "turndisplay/ShownDesktop.h"
#include "turndisplay/win32_turn_platform.h"

namespace turndisplay {

namespace {

std::optional<std::string> ProcessWindowStationName() {
  // The handle of GetProcessWindowStation is the process's own: it is never closed.
  const HWINSTA current = ::GetProcessWindowStation();
  char name[64] = {};
  DWORD needed = 0;
  if (current == nullptr ||
      !::GetUserObjectInformationA(current, UOI_NAME, name, sizeof(name) - 1, &needed))
    return std::nullopt;
  return std::string(name);
}

HDESK OpenDesktop(Desktop desktop) {
  return desktop == Desktop::Input ? ::OpenInputDesktop(0, FALSE, MAXIMUM_ALLOWED)
                                   : ::OpenDesktopA(kDefaultDesktop, 0, FALSE, MAXIMUM_ALLOWED);
}

}  // namespace

// Before the program's first window or hook: SetThreadDesktop refuses a thread that has one. The
// station and desktop stay open until the process ends: neither can be closed while in use.
void JoinShownDesktop() {
  const DesktopPlan plan = PlanDesktop(ProcessWindowStationName());
  if (!plan.join) return;
  const HWINSTA interactive =
      ::OpenWindowStationA(kInteractiveWindowStation, FALSE, MAXIMUM_ALLOWED);
  if (interactive == nullptr) return;
  if (!::SetProcessWindowStation(interactive)) {
    ::CloseWindowStation(interactive);
    return;
  }
  for (const Desktop desktop : plan.desktops) {
    const HDESK opened = OpenDesktop(desktop);
    if (opened == nullptr) continue;
    if (::SetThreadDesktop(opened)) return;
    ::CloseDesktop(opened);
  }
}

}  // namespace turndisplay

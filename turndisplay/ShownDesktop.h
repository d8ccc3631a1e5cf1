#pragma once

#include <optional>
#include <string>
#include <vector>

// The desktop the program turns the screen from: the one that is shown. Started by the service
// as the user, it is on the user's desktop; with the service's own token, on the secure desktop
// of the sign-in and lock screens ("WinSta0\Winlogon"), which the service names. Started without
// a desktop by an older service, it is on the service's own window station, where display
// changes are refused, and joins the interactive one.
namespace turndisplay {

inline constexpr const char* kInteractiveWindowStation = "WinSta0";
inline constexpr const char* kDefaultDesktop = "Default";

// The name GetUserObjectInformation gives the window station a user's desktop lives on.
bool IsInteractiveWindowStation(const std::string& name);

enum class Desktop {
  Input,    // the desktop that receives input (OpenInputDesktop): the shown one
  Default,  // the user's desktop, "Default"
};

struct DesktopPlan {
  bool join;                      // false: the process stays where it was started
  std::vector<Desktop> desktops;  // on joining WinSta0, the desktops to try, in order
};

// station is the name of the process's window station; none when it cannot be read.
DesktopPlan PlanDesktop(const std::optional<std::string>& station);

}  // namespace turndisplay

#include "orientation/LaunchChoice.h"

namespace launcher {

LaunchChoice ChooseLaunch(const ConsoleSession& console) {
  const bool userDesktopShown =
      console.userSignedIn && (console.remote || !console.locked.value_or(false));
  if (userDesktopShown) return {LaunchToken::User, kUserDesktop};
  return {LaunchToken::Service, kSecureDesktop};
}

std::optional<bool> LockedFromSessionFlags(std::int32_t flags, bool windows7) {
  constexpr std::int32_t kLock = 0, kUnlock = 1;
  if (flags != kLock && flags != kUnlock) return std::nullopt;
  return (flags == kLock) != windows7;
}

}  // namespace launcher

#include "orientation/win32_user_sessions.h"

#include <wtsapi32.h>

std::uint32_t Win32UserSessions::ActiveConsoleSessionId() {
  return ::WTSGetActiveConsoleSessionId();
}

unique_handle Win32UserSessions::QueryUserToken(std::uint32_t sessionId) {
  unique_handle token;
  if (!::WTSQueryUserToken(sessionId, token.put())) token.reset();
  return token;
}

bool Win32UserSessions::CreateProcessAsUser(const unique_handle& token,
                                            const char* applicationName, char* commandLine,
                                            std::uint32_t creationFlags) {
  // No desktop, title, position or show-window request; cb is 68 on i686, 104 on x86_64.
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION created = {};
  // No environment and no directory: the program inherits the service's.
  if (!::CreateProcessAsUserA(token.get(), applicationName, commandLine, nullptr, nullptr, FALSE,
                              creationFlags, nullptr, nullptr, &startup, &created))
    return false;
  // Nobody waits for the program: its handles are closed at once.
  unique_handle process(created.hProcess);
  unique_handle thread(created.hThread);
  return true;
}

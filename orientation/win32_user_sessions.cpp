#include "orientation/win32_user_sessions.h"

#include <wtsapi32.h>

#include "common/win32_stop_signal.h"

std::uint32_t Win32UserSessions::ActiveConsoleSessionId() {
  return ::WTSGetActiveConsoleSessionId();
}

unique_handle Win32UserSessions::QueryUserToken(std::uint32_t sessionId) {
  unique_handle token;
  if (!::WTSQueryUserToken(sessionId, token.put())) token.reset();
  return token;
}

Win32UserSessions::Process Win32UserSessions::CreateProcessAsUser(const unique_handle& token,
                                                                  const char* applicationName,
                                                                  char* commandLine,
                                                                  std::uint32_t creationFlags) {
  // No desktop, title, position or show-window request; cb is 68 on i686, 104 on x86_64.
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION created = {};
  // No environment and no directory: the program inherits the service's.
  if (!::CreateProcessAsUserA(token.get(), applicationName, commandLine, nullptr, nullptr, FALSE,
                              creationFlags, nullptr, nullptr, &startup, &created))
    return Process();
  // Only the process is waited for; its thread's handle goes at once.
  const unique_handle thread(created.hThread);
  return Process(created.hProcess);
}

std::optional<std::uint32_t> Win32UserSessions::AwaitExit(const Process& process,
                                                          std::chrono::milliseconds bound) {
  const HANDLE closing = StoppingEvent();
  const HANDLE waits[] = {process.get(), closing};
  const DWORD count = closing != nullptr ? 2 : 1;
  if (::WaitForMultipleObjects(count, waits, FALSE, static_cast<DWORD>(bound.count())) !=
      WAIT_OBJECT_0)
    return std::nullopt;
  DWORD exitCode = 0;
  if (!::GetExitCodeProcess(process.get(), &exitCode)) return std::nullopt;
  return exitCode;
}

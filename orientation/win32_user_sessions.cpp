#include "orientation/win32_user_sessions.h"

#include <wtsapi32.h>

#include <cstddef>
#include <string>

#include "common/win32_stop_signal.h"

namespace {

// WTSINFOEXA of WTSQuerySessionInformation's WTSSessionInfoEx (25), which mingw's headers lack:
// only the level-1 fields up to the session's flags are read.
constexpr int kSessionInfoEx = 25;
struct SessionInfoExLevel1 {
  ULONG sessionId;
  int sessionState;
  LONG sessionFlags;
  CHAR winStationName[33];
  CHAR userName[21];
  CHAR domainName[18];
  LARGE_INTEGER times[5];
  DWORD counters[6];
};
struct SessionInfoEx {
  DWORD level;
  SessionInfoExLevel1 level1;
};
// As Windows lays it out on both builds: the union after the level is 8-byte aligned.
static_assert(offsetof(SessionInfoEx, level1) + offsetof(SessionInfoExLevel1, sessionFlags) == 16,
              "WTSINFOEXA's SessionFlags");

struct WtsMemory {
  using pointer = LPSTR;
  static pointer invalid() noexcept { return nullptr; }
  static void close(pointer value) noexcept { ::WTSFreeMemory(value); }
};

// Windows 7 and Server 2008 R2 report the lock flags the other way round. Without a manifest
// naming later systems, later systems report 6.2, never 6.1.
bool IsWindows7() {
  OSVERSIONINFOEXA version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  version.dwMajorVersion = 6;
  version.dwMinorVersion = 1;
  const DWORDLONG mask = ::VerSetConditionMask(
      ::VerSetConditionMask(0, VER_MAJORVERSION, VER_EQUAL), VER_MINORVERSION, VER_EQUAL);
  return ::VerifyVersionInfoA(&version, VER_MAJORVERSION | VER_MINORVERSION, mask) != FALSE;
}

}  // namespace

std::uint32_t Win32UserSessions::ActiveConsoleSessionId() {
  return ::WTSGetActiveConsoleSessionId();
}

unique_handle Win32UserSessions::QueryUserToken(std::uint32_t sessionId) {
  unique_handle token;
  if (!::WTSQueryUserToken(sessionId, token.put())) {
    lastError_ = ::GetLastError();
    token.reset();
  }
  return token;
}

// A primary copy of the service's own token, moved to the console session. Setting the session
// takes SeTcbPrivilege, which the service keeps for WTSQueryUserToken anyway.
unique_handle Win32UserSessions::ServiceToken(std::uint32_t sessionId) {
  unique_handle own;
  unique_handle copy;
  DWORD session = sessionId;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, own.put()) ||
      !::DuplicateTokenEx(own.get(),
                          TOKEN_ASSIGN_PRIMARY | TOKEN_DUPLICATE | TOKEN_QUERY |
                              TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_SESSIONID,
                          nullptr, SecurityIdentification, TokenPrimary, copy.put()) ||
      !::SetTokenInformation(copy.get(), TokenSessionId, &session, sizeof(session))) {
    lastError_ = ::GetLastError();
    copy.reset();
  }
  return copy;
}

std::optional<bool> Win32UserSessions::SessionLocked(std::uint32_t sessionId) {
  UniqueResource<WtsMemory> buffer;
  DWORD size = 0;
  if (!::WTSQuerySessionInformationA(WTS_CURRENT_SERVER_HANDLE, sessionId,
                                     static_cast<WTS_INFO_CLASS>(kSessionInfoEx), buffer.put(),
                                     &size) ||
      size < sizeof(DWORD))
    return std::nullopt;
  const auto* info = reinterpret_cast<const SessionInfoEx*>(buffer.get());
  if (info->level != 1 || size < offsetof(SessionInfoEx, level1.winStationName))
    return std::nullopt;
  return launcher::LockedFromSessionFlags(info->level1.sessionFlags, IsWindows7());
}

bool Win32UserSessions::SessionRemote(std::uint32_t sessionId) {
  UniqueResource<WtsMemory> buffer;
  DWORD size = 0;
  if (!::WTSQuerySessionInformationA(WTS_CURRENT_SERVER_HANDLE, sessionId, WTSClientProtocolType,
                                     buffer.put(), &size) ||
      size < sizeof(USHORT))
    return false;
  // 0 the console; 1 and 2 a remote protocol.
  return *reinterpret_cast<const USHORT*>(buffer.get()) != 0;
}

Win32UserSessions::Process Win32UserSessions::CreateProcessAsUser(const unique_handle& token,
                                                                  const char* applicationName,
                                                                  char* commandLine,
                                                                  std::uint32_t creationFlags,
                                                                  const char* desktop) {
  // No title, position or show-window request; cb is 68 on i686, 104 on x86_64. The desktop
  // is named when one is given; lpDesktop is not const in the structure. The display program
  // makes no window: without STARTF_FORCEOFFFEEDBACK Windows would show the busy cursor for it.
  std::string desktopName = desktop != nullptr ? desktop : "";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_FORCEOFFFEEDBACK;
  if (desktop != nullptr) startup.lpDesktop = desktopName.data();
  PROCESS_INFORMATION created = {};
  // No environment and no directory: the program inherits the service's.
  if (!::CreateProcessAsUserA(token.get(), applicationName, commandLine, nullptr, nullptr, FALSE,
                              creationFlags, nullptr, nullptr, &startup, &created)) {
    lastError_ = ::GetLastError();
    return Process();
  }
  // Only the process is waited for; its thread's handle goes at once.
  const unique_handle thread(created.hThread);
  return Process(created.hProcess);
}

launcher::ProgramWait Win32UserSessions::AwaitExit(const Process& process,
                                                   std::chrono::milliseconds bound) {
  const HANDLE closing = StoppingEvent();
  const HANDLE waits[] = {process.get(), closing};
  const DWORD count = closing != nullptr ? 2 : 1;
  switch (::WaitForMultipleObjects(count, waits, FALSE, static_cast<DWORD>(bound.count()))) {
    case WAIT_OBJECT_0: {
      DWORD exitCode = 0;
      if (!::GetExitCodeProcess(process.get(), &exitCode)) break;
      return {launcher::WaitEnd::Exited, exitCode};
    }
    case WAIT_OBJECT_0 + 1:
      return {launcher::WaitEnd::Stopping, 0};
    default:
      break;
  }
  return {launcher::WaitEnd::Limit, 0};
}

bool Win32UserSessions::End(const Process& process) {
  // ERROR_TIMEOUT as its exit code: what a look at the process afterwards should read.
  if (!::TerminateProcess(process.get(), ERROR_TIMEOUT) &&
      ::WaitForSingleObject(process.get(), 0) != WAIT_OBJECT_0) {
    lastError_ = ::GetLastError();
    return false;
  }
  if (::WaitForSingleObject(process.get(), static_cast<DWORD>(launcher::kEndWait.count())) ==
      WAIT_OBJECT_0)
    return true;
  lastError_ = ERROR_TIMEOUT;
  return false;
}

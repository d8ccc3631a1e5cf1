#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "common/UniqueHandle.h"
#include "orientation/RotationLauncher.h"

// The console session, the tokens a program can be started with there, process creation, and
// the wait for the process's end (orientation/RotationLauncher.h names each call).
class Win32UserSessions {
 public:
  using Process = unique_handle;

  std::uint32_t ActiveConsoleSessionId();
  unique_handle QueryUserToken(std::uint32_t sessionId);
  unique_handle ServiceToken(std::uint32_t sessionId);
  std::optional<bool> SessionLocked(std::uint32_t sessionId);
  bool SessionRemote(std::uint32_t sessionId);
  Process CreateProcessAsUser(const unique_handle& token, const char* applicationName,
                              char* commandLine, std::uint32_t creationFlags,
                              const char* desktop);
  std::uint32_t LastError() const { return lastError_; }
  launcher::ProgramWait AwaitExit(const Process& process, std::chrono::milliseconds bound);
  bool End(const Process& process);

 private:
  std::uint32_t lastError_ = 0;
};

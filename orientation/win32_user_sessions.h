#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "common/UniqueHandle.h"

// The console session, its user's token, process creation as that user, and the wait for the
// process's end.
class Win32UserSessions {
 public:
  using Process = unique_handle;

  std::uint32_t ActiveConsoleSessionId();
  unique_handle QueryUserToken(std::uint32_t sessionId);
  Process CreateProcessAsUser(const unique_handle& token, const char* applicationName,
                              char* commandLine, std::uint32_t creationFlags);
  // The exit code; none while the process runs at the bound, or once the service stops.
  std::optional<std::uint32_t> AwaitExit(const Process& process, std::chrono::milliseconds bound);
};

#pragma once

#include <cstdint>

#include "common/UniqueHandle.h"

// The console session, its user's token and process creation as that user.
class Win32UserSessions {
 public:
  std::uint32_t ActiveConsoleSessionId();
  unique_handle QueryUserToken(std::uint32_t sessionId);
  bool CreateProcessAsUser(const unique_handle& token, const char* applicationName,
                           char* commandLine, std::uint32_t creationFlags);
};

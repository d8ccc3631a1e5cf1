#pragma once

#include <windows.h>

#include <string>

// The service's source in the Application event log, under
// HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\<source>: the executable carries
// the message table that gives its entries their text. Both return a Win32 error code.
namespace event_source {

inline constexpr const char* kApplicationLog =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
// Error, warning and information entries.
inline constexpr DWORD kTypesSupported =
    EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;

// "EventMessageFile" (REG_EXPAND_SZ) = messageFile, "TypesSupported" (REG_DWORD) = 7.
LONG Register(const char* source, const std::string& messageFile);
// The source's key with everything in it; a missing key is no error.
LONG Remove(const char* source);

}  // namespace event_source

#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "tools/wmi-test-provider/Protocol.h"

namespace wmitest {

// Sends one request over the provider's channel and returns the whole reply. The provider may
// not be loaded yet (the service still starting): the pipe is waited for until the deadline.
// Nothing, with the reason in error, when no reply came in time.
std::optional<std::string> Ask(const Request& request, DWORD timeoutMs, std::string& error);
std::optional<Report> AskReport(DWORD timeoutMs, std::string& error);

// Makes the provider answer code (0: the step's usual code) at step, in every process that
// reaches the step from now on, the next times times only (0: every time); Step::None clears
// the choice. A Win32 error code.
LONG ChooseFailure(Step step, std::uint32_t code = 0, std::uint32_t times = 0);

// True in a Wine prefix: Wine's ntdll exports wine_get_version, Windows' does not.
bool RunningUnderWine();

// Makes dllPath the in-process server of WMI's locator for the processes of this prefix,
// keeping the server it replaces for UnregisterProvider. A Win32 error code; both refuse with
// ERROR_NOT_SUPPORTED outside Wine (LocatorChangeRefusal).
LONG RegisterProvider(const std::string& dllPath);
// Gives the locator back to the server it had before (Wine's when none was kept).
LONG UnregisterProvider();

}  // namespace wmitest

#pragma once

#include <windows.h>
#include <winsvc.h>

#include <string_view>

// Gives the service its description, at most 127 characters of text (the rest is cut off).
// False when the service control manager refuses it.
bool SetServiceDescription(SC_HANDLE service, std::string_view text);

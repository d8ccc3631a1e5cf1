#pragma once

#include <windows.h>

#include <optional>

// The number of handles a process holds, counted in the system's handle table. Wine's
// GetProcessHandleCount always answers 0, so a count that must be able to change is taken here.
std::optional<unsigned long> CountProcessHandles(DWORD processId);

#pragma once

#include <string>
#include <vector>

// On a native build the debugger stream is a capture: each WriteDebugString call is one entry.
std::vector<std::string> TakeCapturedDebugOutput();

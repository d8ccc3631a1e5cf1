#pragma once

#include <cstdint>
#include <cstdio>
#include <exception>
#include <new>

#include "common/DebugPrint.h"

// The main thread's work (an installation switch, or the service or local server) to its end:
// an exception that leaves it ends the process with an exit code and a diagnostic line, never
// through std::terminate. The line is written without allocating, which may be what failed.
namespace main_guard {

inline constexpr std::int32_t kOutOfMemory = static_cast<std::int32_t>(0x8007000E);  // E_OUTOFMEMORY
inline constexpr std::int32_t kUnexpected = static_cast<std::int32_t>(0x8000FFFF);   // E_UNEXPECTED

template <typename Body>
int ExitCodeOf(Body body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    WriteDebugString("Pivotra: out of memory, the program ends\n");
    return kOutOfMemory;
  } catch (const std::exception& error) {
    char line[256];
    std::snprintf(line, sizeof(line), "Pivotra: ended by an exception: %s\n", error.what());
    WriteDebugString(line);
    return kUnexpected;
  } catch (...) {
    WriteDebugString("Pivotra: ended by an exception\n");
    return kUnexpected;
  }
}

}  // namespace main_guard

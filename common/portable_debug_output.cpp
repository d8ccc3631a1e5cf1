#include "common/portable_debug_output.h"

#include <mutex>

#include "common/DebugPrint.h"

namespace {

std::mutex& CaptureLock() {
  static std::mutex lock;
  return lock;
}

std::vector<std::string>& Captured() {
  static std::vector<std::string> lines;
  return lines;
}

}  // namespace

void WriteDebugString(const char* text) {
  std::lock_guard<std::mutex> hold(CaptureLock());
  Captured().emplace_back(text);
}

std::vector<std::string> TakeCapturedDebugOutput() {
  std::lock_guard<std::mutex> hold(CaptureLock());
  std::vector<std::string> lines;
  lines.swap(Captured());
  return lines;
}

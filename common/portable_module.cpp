#include "common/portable_module.h"

#include <mutex>

#include "common/ModuleDirectory.h"

namespace {

std::mutex& PathLock() {
  static std::mutex lock;
  return lock;
}

std::string& ModulePath() {
  static std::string path;
  return path;
}

}  // namespace

void SetPortableModuleFileName(std::string path) {
  std::lock_guard<std::mutex> hold(PathLock());
  ModulePath() = std::move(path);
}

std::string ModuleFileName() {
  std::lock_guard<std::mutex> hold(PathLock());
  return ModulePath();
}

bool IsAnsiLeadByte(unsigned char) { return false; }

#include "tests/support/DebugMonitor.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr DWORD kBufferSize = 4096;

}  // namespace

DebugMonitor::DebugMonitor() {
  // A writer needs the mutex to exist; it opens the mapping and the events on every call.
  mutex_ = ::CreateMutexA(nullptr, FALSE, "DBWinMutex");
  bufferReady_ = ::CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY");
  const bool another = ::GetLastError() == ERROR_ALREADY_EXISTS;
  dataReady_ = ::CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY");
  mapping_ = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferSize,
                                  "DBWIN_BUFFER");
  if (mapping_ != nullptr) view_ = ::MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, kBufferSize);
  listening_ = !another && mutex_ && bufferReady_ && dataReady_ && view_;
  if (listening_) listener_ = std::thread([this] { Listen(); });
}

DebugMonitor::~DebugMonitor() {
  if (listener_.joinable()) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      stopping_ = true;
    }
    ::SetEvent(dataReady_);
    listener_.join();
  }
  if (view_) ::UnmapViewOfFile(view_);
  for (HANDLE handle : {mapping_, dataReady_, bufferReady_, mutex_})
    if (handle) ::CloseHandle(handle);
}

void DebugMonitor::Listen() {
  for (;;) {
    ::SetEvent(bufferReady_);
    ::WaitForSingleObject(dataReady_, INFINITE);
    std::lock_guard<std::mutex> hold(lock_);
    if (stopping_) return;
    const auto* buffer = static_cast<const char*>(view_);
    DWORD processId = 0;
    std::memcpy(&processId, buffer, sizeof(processId));
    const char* text = buffer + sizeof(processId);
    lines_.push_back({processId, std::string(text, strnlen(text, kBufferSize - sizeof(processId)))});
    arrived_.notify_all();
  }
}

std::vector<std::string> DebugMonitor::Texts(DWORD processId) const {
  std::lock_guard<std::mutex> hold(lock_);
  std::vector<std::string> texts;
  for (const Line& line : lines_)
    if (line.processId == processId) texts.push_back(line.text);
  return texts;
}

std::vector<DebugMonitor::Line> DebugMonitor::All() const {
  std::lock_guard<std::mutex> hold(lock_);
  return lines_;
}

bool DebugMonitor::WaitFor(const std::string& fragment, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> hold(lock_);
  return arrived_.wait_for(hold, timeout, [&] {
    return std::any_of(lines_.begin(), lines_.end(), [&](const Line& line) {
      return line.text.find(fragment) != std::string::npos;
    });
  });
}

#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A debugger-output monitor over the DBWIN_BUFFER protocol: it receives what every process of
// the session passes to OutputDebugStringA. One monitor at a time per Wine prefix.
class DebugMonitor {
 public:
  struct Line {
    DWORD processId;
    std::string text;
  };

  DebugMonitor();
  ~DebugMonitor();
  DebugMonitor(const DebugMonitor&) = delete;
  DebugMonitor& operator=(const DebugMonitor&) = delete;

  bool listening() const { return listening_; }

  // The texts received so far from the given process (this one by default).
  std::vector<std::string> Texts(DWORD processId = ::GetCurrentProcessId()) const;
  std::vector<Line> All() const;

  // Waits until a text of any process contains fragment; false at the deadline.
  bool WaitFor(const std::string& fragment, std::chrono::milliseconds timeout) const;

 private:
  void Listen();

  HANDLE mutex_ = nullptr;
  HANDLE bufferReady_ = nullptr;
  HANDLE dataReady_ = nullptr;
  HANDLE mapping_ = nullptr;
  void* view_ = nullptr;
  bool listening_ = false;
  bool stopping_ = false;

  mutable std::mutex lock_;
  mutable std::condition_variable arrived_;
  std::vector<Line> lines_;
  std::thread listener_;
};

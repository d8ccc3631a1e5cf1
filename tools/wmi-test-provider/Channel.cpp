// The provider's side of the channel: one named pipe, one client at a time, one request line
// and its reply per connection. Deliveries run on this thread, so a client's reply tells it
// that its batches were delivered and what Indicate returned.
#include <mutex>
#include <new>

#include "common/ComScope.h"
#include "common/UniqueHandle.h"
#include "tools/wmi-test-provider/ProviderState.h"

namespace wmitest {

namespace {

constexpr DWORD kBufferSize = 4096;
// A process that served the channel just before may still hold the name for a moment.
constexpr int kCreateAttempts = 100;
constexpr DWORD kCreateRetryMs = 100;

bool ReadLine(HANDLE pipe, std::string& line) {
  char buffer[256];
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(pipe, buffer, sizeof(buffer), &read, nullptr) || read == 0) return false;
    line.append(buffer, read);
    if (line.find('\n') != std::string::npos) return true;
    if (line.size() > kBufferSize) return false;
  }
}

void WriteAll(HANDLE pipe, const std::string& text) {
  std::size_t at = 0;
  while (at < text.size()) {
    DWORD written = 0;
    if (!::WriteFile(pipe, text.data() + at, static_cast<DWORD>(text.size() - at), &written,
                     nullptr))
      return;
    at += written;
  }
}

std::string Answer(const std::string& line) {
  const auto request = ParseRequest(line);
  if (!request) return std::string(kErrorPrefix) + "unknown request: " + line.substr(0, line.find('\n')) + "\n";
  return Provider::Instance().Serve(*request);
}

[[noreturn]] void Serve(HANDLE pipe) {
  for (;;) {
    // A client that came and went before this call leaves ERROR_NO_DATA: start over.
    if (::ConnectNamedPipe(pipe, nullptr) || ::GetLastError() == ERROR_PIPE_CONNECTED) {
      std::string line;
      if (ReadLine(pipe, line)) {
        std::string reply;
        // Nothing may end this thread: a request that cannot be answered gets a short reply.
        try {
          reply = Answer(line);
        } catch (...) {
          reply = "error: not answered\n";
        }
        WriteAll(pipe, reply);
        ::FlushFileBuffers(pipe);  // the client reads it all before the pipe is cut
      }
    }
    ::DisconnectNamedPipe(pipe);
  }
}

DWORD WINAPI ChannelThread(LPVOID) {
  // Deliveries come from the multithreaded apartment, as they do from COM's own threads.
  const ComScope apartment(COINIT_MULTITHREADED);
  unique_file_handle pipe;
  for (int attempt = 0; attempt < kCreateAttempts && !pipe; ++attempt) {
    pipe.reset(::CreateNamedPipeA(
        kPipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
        kBufferSize, kBufferSize, 0, nullptr));
    if (!pipe) ::Sleep(kCreateRetryMs);
  }
  if (!pipe) {
    const DWORD error = ::GetLastError();
    try {
      Provider::Instance().Note("channel unavailable, error " + std::to_string(error));
    } catch (...) {
    }
    return 1;
  }
  Serve(pipe.get());
}

}  // namespace

void StartChannel() {
  static std::once_flag started;
  std::call_once(started, [] {
    const unique_handle thread(::CreateThread(nullptr, 0, ChannelThread, nullptr, 0, nullptr));
  });
}

}  // namespace wmitest

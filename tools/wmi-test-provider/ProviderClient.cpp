#include "tools/wmi-test-provider/ProviderClient.h"

#include <algorithm>

#include "common/UniqueHandle.h"

namespace wmitest {

namespace {

class Deadline {
 public:
  explicit Deadline(DWORD timeoutMs) : end_(::GetTickCount64() + timeoutMs) {}
  DWORD Remaining() const {
    const ULONGLONG now = ::GetTickCount64();
    return now >= end_ ? 0 : static_cast<DWORD>(end_ - now);
  }

 private:
  ULONGLONG end_;
};

// One overlapped transfer, waited for until the deadline: the bytes moved, or nothing with the
// last error set (ERROR_BROKEN_PIPE once the provider has sent its whole reply).
std::optional<DWORD> Transfer(HANDLE pipe, HANDLE done, bool write, char* buffer, DWORD size,
                              const Deadline& deadline) {
  OVERLAPPED overlapped = {};
  overlapped.hEvent = done;
  const BOOL started = write ? ::WriteFile(pipe, buffer, size, nullptr, &overlapped)
                             : ::ReadFile(pipe, buffer, size, nullptr, &overlapped);
  if (!started && ::GetLastError() != ERROR_IO_PENDING) return std::nullopt;
  DWORD moved = 0;
  if (::WaitForSingleObject(done, deadline.Remaining()) != WAIT_OBJECT_0) {
    // The buffer and the OVERLAPPED live on this stack: the cancelled call must end first.
    ::CancelIo(pipe);
    ::GetOverlappedResult(pipe, &overlapped, &moved, TRUE);
    ::SetLastError(ERROR_TIMEOUT);
    return std::nullopt;
  }
  if (!::GetOverlappedResult(pipe, &overlapped, &moved, FALSE)) return std::nullopt;
  return moved;
}

unique_file_handle OpenChannel(const Deadline& deadline, std::string& error) {
  for (;;) {
    unique_file_handle pipe(::CreateFileA(kPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (pipe) return pipe;
    const DWORD failure = ::GetLastError();
    if (deadline.Remaining() == 0) {
      error = "no test provider answered on " + std::string(kPipeName) + " (error " +
              std::to_string(failure) + ")";
      return pipe;
    }
    if (failure == ERROR_PIPE_BUSY) {
      ::WaitNamedPipeA(kPipeName, std::min<DWORD>(deadline.Remaining(), 1000));
    } else {
      ::Sleep(50);  // not served yet: the process that loads the provider may be starting
    }
  }
}

LONG SetString(HKEY key, const char* name, const std::string& value) {
  return ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1));
}

std::optional<std::string> GetString(HKEY key, const char* subkey, const char* name) {
  char value[MAX_PATH * 2] = {};
  DWORD size = sizeof(value);
  if (::RegGetValueA(key, subkey, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
    return std::nullopt;
  return std::string(value);
}

LONG OpenSettings(unique_hkey& key) {
  return ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0,
                           KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, key.put(), nullptr);
}

LONG SetDword(HKEY key, const char* name, DWORD value) {
  return ::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof(value));
}

LONG DeleteValue(HKEY key, const char* name) {
  const LONG result = ::RegDeleteValueA(key, name);
  return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
}

// The server of WMI's locator; ThreadingModel Both, since Wine has no proxies for the WMI
// interfaces and the service calls from its multithreaded apartment.
LONG SetLocatorServer(const std::string& path) {
  unique_hkey key;
  LONG result = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kLocatorServerKey, 0, nullptr, 0,
                                  KEY_SET_VALUE, nullptr, key.put(), nullptr);
  if (result == ERROR_SUCCESS) result = SetString(key.get(), nullptr, path);
  if (result == ERROR_SUCCESS) result = SetString(key.get(), "ThreadingModel", "Both");
  return result;
}

}  // namespace

std::optional<std::string> Ask(const Request& request, DWORD timeoutMs, std::string& error) {
  const Deadline deadline(timeoutMs);
  const unique_file_handle pipe = OpenChannel(deadline, error);
  if (!pipe) return std::nullopt;
  const unique_handle done(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!done) {
    error = "no event for the channel (error " + std::to_string(::GetLastError()) + ")";
    return std::nullopt;
  }

  std::string line = FormatRequest(request);
  if (Transfer(pipe.get(), done.get(), true, line.data(), static_cast<DWORD>(line.size()),
               deadline) != line.size()) {
    error = "the request could not be sent (error " + std::to_string(::GetLastError()) + ")";
    return std::nullopt;
  }

  // The provider cuts the pipe after its reply.
  std::string reply;
  char buffer[4096];
  for (;;) {
    const auto read = Transfer(pipe.get(), done.get(), false, buffer, sizeof(buffer), deadline);
    if (read) {
      reply.append(buffer, *read);
      continue;
    }
    const DWORD failure = ::GetLastError();
    if (failure == ERROR_BROKEN_PIPE || failure == ERROR_PIPE_NOT_CONNECTED) return reply;
    error = "no whole reply (error " + std::to_string(failure) + ")";
    return std::nullopt;
  }
}

std::optional<Report> AskReport(DWORD timeoutMs, std::string& error) {
  const auto reply = Ask(Request{}, timeoutMs, error);
  if (!reply) return std::nullopt;
  auto report = ParseReport(*reply);
  if (!report) error = "unreadable report: " + *reply;
  return report;
}

LONG ChooseFailure(Step step, std::uint32_t code, std::uint32_t times) {
  unique_hkey key;
  LONG result = OpenSettings(key);
  if (result != ERROR_SUCCESS) return result;
  if (step == Step::None) {
    for (const char* value : {kFailStepValue, kFailCodeValue, kFailCountValue}) {
      result = DeleteValue(key.get(), value);
      if (result != ERROR_SUCCESS) return result;
    }
    return result;
  }
  // The count first: a step that reads the choice meanwhile must not fail once too often.
  result = times == 0 ? DeleteValue(key.get(), kFailCountValue)
                      : SetDword(key.get(), kFailCountValue, times);
  if (result == ERROR_SUCCESS) {
    result = code == 0 ? DeleteValue(key.get(), kFailCodeValue)
                       : SetDword(key.get(), kFailCodeValue, code);
  }
  return result == ERROR_SUCCESS ? SetString(key.get(), kFailStepValue, StepName(step)) : result;
}

bool RunningUnderWine() {
  const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

LONG RegisterProvider(const std::string& dllPath) {
  if (LocatorChangeRefusal(RunningUnderWine())) return ERROR_NOT_SUPPORTED;
  unique_hkey settings;
  LONG result = OpenSettings(settings);
  if (result != ERROR_SUCCESS) return result;
  // Registering twice must not keep the provider as the server to go back to.
  const auto current = GetString(HKEY_LOCAL_MACHINE, kLocatorServerKey, nullptr);
  if (current && ::lstrcmpiA(current->c_str(), dllPath.c_str()) != 0) {
    result = SetString(settings.get(), kSavedServerValue, *current);
    if (result != ERROR_SUCCESS) return result;
  }
  return SetLocatorServer(dllPath);
}

LONG UnregisterProvider() {
  if (LocatorChangeRefusal(RunningUnderWine())) return ERROR_NOT_SUPPORTED;
  unique_hkey settings;
  LONG result = OpenSettings(settings);
  if (result != ERROR_SUCCESS) return result;
  const auto saved = GetString(HKEY_LOCAL_MACHINE, kSettingsKey, kSavedServerValue);
  result = SetLocatorServer(saved ? *saved : std::string(kWineLocatorServer));
  return result == ERROR_SUCCESS ? DeleteValue(settings.get(), kSavedServerValue) : result;
}

}  // namespace wmitest

// A stand-in for the display-rotation program: it appends the command line it was started
// with, and its argument count, to "TurnDisplay.record" beside itself, then exits.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string record(path);
  record = record.substr(0, record.find_last_of('\\') + 1) + "TurnDisplay.record";

  // One write per line, appended: instances that run at the same time do not mix lines.
  const std::string line = std::string(::GetCommandLineA()) + "\t" + std::to_string(argc) + "\t" +
                           (argc > 1 ? argv[1] : "") + "\n";
  const HANDLE file = ::CreateFileA(record.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  const BOOL ok = ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  ::CloseHandle(file);
  std::printf("%s", line.c_str());
  return ok ? 0 : 1;
}

// A stand-in for the display-rotation program: it appends the command line it was started
// with, and its argument count, to "TurnDisplay.record" beside itself, then exits with 0, or
// with the number in "TurnDisplay.exit" beside itself when a test put one there (7: it declines
// in laptop posture, as the real program would). "hang" there makes it a program that does not
// end: it sleeps a minute, far past the service's wait.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string program(path);
  const std::string directory = program.substr(0, program.find_last_of('\\') + 1);
  const std::string record = directory + "TurnDisplay.record";
  int declined = 0;
  bool hangs = false;
  if (std::FILE* chosen = std::fopen((directory + "TurnDisplay.exit").c_str(), "r")) {
    char word[16] = {};
    if (std::fscanf(chosen, "%15s", word) == 1) {
      hangs = std::string(word) == "hang";
      declined = std::atoi(word);
    }
    std::fclose(chosen);
  }

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
  if (hangs) ::Sleep(60000);
  return ok ? declined : 1;
}

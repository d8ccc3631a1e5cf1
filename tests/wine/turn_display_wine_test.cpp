// The display-rotation program as a process: its command line, its exit codes and its line on
// stderr. Wine has no display driver here, so a turn is refused, and that must be reported.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/ModuleDirectory.h"
#include "common/UniqueHandle.h"
#include "tests/support/DebugMonitor.h"

namespace {

constexpr const char* kUsage =
    "usage: TurnDisplay.exe 0|90|180|270 (degrees counter-clockwise from the display's natural "
    "orientation)";

std::string ProgramPath() { return GetModuleDirectory(true) + "..\\bin\\TurnDisplay.exe"; }

struct Finished {
  bool ended = false;
  DWORD processId = 0;
  DWORD exitCode = 0xFFFFFFFF;
  std::string output;
  std::vector<std::string> errorLines;
};

// What the ended program left in a pipe. Not read to its end: Wine's desktop process
// ("explorer.exe /desktop"), which the program's first display call may start, can inherit the
// writing end and keep it open long after the program has gone.
std::string ReadWhatIsThere(const unique_handle& pipe) {
  std::string text;
  DWORD available = 0;
  while (::PeekNamedPipe(pipe.get(), nullptr, 0, nullptr, &available, nullptr) && available > 0) {
    std::string chunk(available, '\0');
    DWORD got = 0;
    if (!::ReadFile(pipe.get(), chunk.data(), available, &got, nullptr) || got == 0) break;
    text.append(chunk, 0, got);
  }
  return text;
}

// Wine's own diagnostics go to the Unix stderr, not into the pipe.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  std::string line;
  while (std::getline(stream, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// Starts the program with arguments after its quoted path and waits for it to end.
Finished RunTurnDisplay(const std::string& arguments) {
  Finished run;
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  unique_handle outputRead, outputWrite, errorRead, errorWrite;
  if (!::CreatePipe(outputRead.put(), outputWrite.put(), &inheritable, 0) ||
      !::CreatePipe(errorRead.put(), errorWrite.put(), &inheritable, 0)) {
    ADD_FAILURE() << "CreatePipe: " << ::GetLastError();
    return run;
  }
  // Only the writing ends go to the child.
  ::SetHandleInformation(outputRead.get(), HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(errorRead.get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = outputWrite.get();
  startup.hStdError = errorWrite.get();
  std::string commandLine =
      "\"" + ProgramPath() + "\"" + (arguments.empty() ? "" : " ") + arguments;
  PROCESS_INFORMATION created = {};
  if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &created)) {
    ADD_FAILURE() << "CreateProcessA " << commandLine << ": " << ::GetLastError();
    return run;
  }
  unique_handle process(created.hProcess);
  unique_handle thread(created.hThread);
  run.processId = created.dwProcessId;
  outputWrite.reset();
  errorWrite.reset();

  // One line fits any pipe: waiting before reading cannot hold the program up.
  if (::WaitForSingleObject(process.get(), 30000) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.get(), 0xDEAD);
    ADD_FAILURE() << commandLine << " did not end within 30 s";
    return run;
  }
  run.ended = true;
  ::GetExitCodeProcess(process.get(), &run.exitCode);
  run.output = ReadWhatIsThere(outputRead);
  run.errorLines = Lines(ReadWhatIsThere(errorRead));
  return run;
}

struct Mode {
  DWORD width, height, orientation;
  bool operator==(const Mode& other) const {
    return width == other.width && height == other.height && orientation == other.orientation;
  }
};

std::optional<Mode> CurrentMode() {
  DEVMODEA devMode = {};
  devMode.dmSize = sizeof(devMode);
  if (!::EnumDisplaySettingsExA(nullptr, ENUM_CURRENT_SETTINGS, &devMode, 0)) return std::nullopt;
  return Mode{devMode.dmPelsWidth, devMode.dmPelsHeight, devMode.dmDisplayOrientation};
}

std::string AngleText(DWORD orientation) { return std::to_string(orientation * 90); }

class RefusedCommandLine : public testing::TestWithParam<const char*> {};

TEST_P(RefusedCommandLine, GetsTheUsageAndChangesNothing) {
  const std::optional<Mode> before = CurrentMode();
  const Finished run = RunTurnDisplay(GetParam());
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 2u);
  EXPECT_EQ(run.errorLines, std::vector<std::string>{kUsage});
  EXPECT_EQ(run.output, "");
  EXPECT_EQ(CurrentMode(), before);
}

INSTANTIATE_TEST_SUITE_P(Arguments, RefusedCommandLine,
                         testing::Values("", "\"\"", "45", "360", "-90", "+90", "090", "90.0",
                                         "ninety", "1", "90 180", "90 90", "\"90 \"", "/90"));

TEST(TurnDisplay, TheCurrentOrientationIsAlreadySo) {
  const std::optional<Mode> before = CurrentMode();
  ASSERT_TRUE(before.has_value());
  const std::string angle = AngleText(before->orientation);
  const Finished run = RunTurnDisplay(angle);
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(run.errorLines,
            std::vector<std::string>{"TurnDisplay: the primary display is already at " + angle +
                                     " degrees"});
  EXPECT_EQ(CurrentMode(), before);
}

// Wine reports AR_NOSENSOR, which is no lock: the program goes on to the driver, which has no
// mode at the other orientations.
TEST(TurnDisplay, ARefusedTurnIsReportedWithTheDriversCode) {
  const std::optional<Mode> before = CurrentMode();
  ASSERT_TRUE(before.has_value());
  for (DWORD orientation = 0; orientation < 4; ++orientation) {
    if (orientation == before->orientation) continue;
    const std::string angle = AngleText(orientation);
    const Finished run = RunTurnDisplay(angle);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 4u) << angle;
    ASSERT_EQ(run.errorLines.size(), 1u) << angle;
    EXPECT_EQ(run.errorLines[0], "TurnDisplay: the display driver refused " + angle +
                                     " degrees: DISP_CHANGE_BADMODE (-2)");
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(CurrentMode(), before);
  }
}

// Started by the service the program has no console; the debugger stream has its line.
TEST(TurnDisplay, TheLineAlsoGoesToTheDebugger) {
  DebugMonitor monitor;
  ASSERT_TRUE(monitor.listening());
  const Finished run = RunTurnDisplay("90");
  ASSERT_TRUE(run.ended);
  ASSERT_EQ(run.errorLines.size(), 1u);
  ASSERT_TRUE(monitor.WaitFor(run.errorLines[0], std::chrono::seconds(10)));
  EXPECT_EQ(monitor.Texts(run.processId), std::vector<std::string>{run.errorLines[0]});
}

}  // namespace

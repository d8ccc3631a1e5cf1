// The display-rotation program as a process: its command line, the fleet policy, restoring the
// stored orientation, its exit codes and its lines on stderr. Wine answers tablet posture and
// AR_NOSENSOR, calls its one monitor internal by the target name, and has no display driver
// here, so a turn is refused, and that must be reported.
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
#include "tests/support/TempDir.h"

namespace {

constexpr const char* kUsage =
    "usage: TurnDisplay.exe 0|90|180|270|restore|status (degrees counter-clockwise from the "
    "display's natural orientation, or the one the service stored last, or what a turn to it "
    "would do now)";
constexpr const char* kPanel = "the built-in panel \\\\.\\DISPLAY1";

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
Finished RunTurnDisplay(const std::string& arguments, const std::string& program = ProgramPath()) {
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
      "\"" + program + "\"" + (arguments.empty() ? "" : " ") + arguments;
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

// Whatever the command line, the program ends in time with its usage and changes nothing. One
// case for them all: each Wine process of a case of its own costs seconds.
TEST(TurnDisplay, ARefusedCommandLineGetsTheUsageAndChangesNothing) {
  const std::optional<Mode> before = CurrentMode();
  const std::string refused[] = {"", "\"\"", "45", "360", "-90", "+90", "090", "90.0", "ninety",
                                 "1", "90 180", "90 90", "\"90 \"", "/90", "Restore",
                                 "restore 90", "restore restore", "/restore", "\xE9\xFF",
                                 std::string(4000, '9')};
  for (const std::string& arguments : refused) {
    SCOPED_TRACE(arguments.substr(0, 20));
    const Finished run = RunTurnDisplay(arguments);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_EQ(run.errorLines, std::vector<std::string>{kUsage});
    EXPECT_EQ(run.output, "");
  }
  EXPECT_EQ(CurrentMode(), before);
}

TEST(TurnDisplay, TheCurrentOrientationIsAlreadySo) {
  const std::optional<Mode> before = CurrentMode();
  ASSERT_TRUE(before.has_value());
  const std::string angle = AngleText(before->orientation);
  const Finished run = RunTurnDisplay(angle);
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(run.errorLines, std::vector<std::string>{"TurnDisplay: " + std::string(kPanel) +
                                                     " is already at " + angle + " degrees"});
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
                                     " degrees for " + kPanel + ": DISP_CHANGE_BADMODE (-2)");
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(CurrentMode(), before);
  }
}

// The policy key as Group Policy writes it, in the 64-bit view; gone again with the object.
class PolicyKey {
 public:
  PolicyKey() {
    const LONG created = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0,
                                           KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, key_.put(),
                                           nullptr);
    EXPECT_EQ(created, ERROR_SUCCESS);
  }
  ~PolicyKey() {
    key_.reset();
    ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_64KEY, 0);
  }
  void Set(const char* name, DWORD type, const void* data, DWORD size) {
    EXPECT_EQ(::RegSetValueExA(key_.get(), name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS)
        << name;
  }
  void SetDword(const char* name, DWORD value) { Set(name, REG_DWORD, &value, sizeof(value)); }

 private:
  static constexpr const char* kKey = "SOFTWARE\\Policies\\Pivotra";
  unique_hkey key_;
};

struct PolicyCase {
  std::optional<DWORD> autoRotation;
  std::optional<DWORD> displays;
  DWORD exitCode;
  std::string line;
};

const std::string kRefusedOnPanel = "TurnDisplay: the display driver refused 90 degrees for " +
                                    std::string(kPanel) + ": DISP_CHANGE_BADMODE (-2)";

// Wine is always in tablet posture, so "only in tablet posture" and "always" both go on to a
// turn, which its driver refuses.
TEST(TurnDisplay, EachPolicyValueGivesItsOutcome) {
  const PolicyCase cases[] = {
      {std::nullopt, std::nullopt, 4, kRefusedOnPanel},
      {0, std::nullopt, 9,
       "TurnDisplay: the policy turns auto-rotation off; " + std::string(kPanel) +
           " stays as it is"},
      {1, 0, 4, kRefusedOnPanel},
      {2, 0, 4, kRefusedOnPanel},
      {2, 1, 4,
       "TurnDisplay: the display driver refused 90 degrees for the primary display: "
       "DISP_CHANGE_BADMODE (-2)"},
  };
  for (const PolicyCase& c : cases) {
    SCOPED_TRACE(c.line);
    PolicyKey policy;
    if (c.autoRotation) policy.SetDword("AutoRotation", *c.autoRotation);
    if (c.displays) policy.SetDword("Displays", *c.displays);
    const Finished run = RunTurnDisplay("90");
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.errorLines, std::vector<std::string>{c.line});
  }
}

// A text where a number belongs, and a number that is no choice: the defaults, each with its
// line. Read as the number it spells, the text would turn rotation off.
TEST(TurnDisplay, BadPolicyValuesGiveTheDefaults) {
  PolicyKey policy;
  policy.Set("AutoRotation", REG_SZ, "0", 2);
  policy.SetDword("Displays", 7);
  const Finished run = RunTurnDisplay("90");
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 4u);
  const std::string prefix = "TurnDisplay: policy ";
  const std::string key = " in HKLM\\SOFTWARE\\Policies\\Pivotra ";
  EXPECT_EQ(run.errorLines,
            (std::vector<std::string>{
                prefix + "AutoRotation" + key +
                    "is a REG_SZ, not a REG_DWORD; using 1 (only in tablet posture)",
                prefix + "Displays" + key + "is 7, which is no choice; using 0 (the built-in panel)",
                kRefusedOnPanel}));
}

// At sign-in the program turns to the orientation the service stored last, from the settings
// file beside it: here beside a copy of the program in a directory of its own.
TEST(TurnDisplay, RestoreAsksForTheStoredOrientationsAngle) {
  const std::optional<Mode> before = CurrentMode();
  ASSERT_TRUE(before.has_value());
  TempDir directory;
  const std::string program = directory.File("TurnDisplay.exe");
  const std::string settings = directory.File("GSensor_Setting.ini");
  ASSERT_TRUE(::CopyFileA(ProgramPath().c_str(), program.c_str(), FALSE));

  // The orientation the service still waits for comes before the one it shows.
  const std::pair<std::string, std::string> stored[] = {
      {"GSensorLastOrientation=1", "180"}, {"GSensorLastOrientation=2", "0"},
      {"GSensorLastOrientation=3", "270"}, {"GSensorLastOrientation=4", "90"},
      {"GSensorLastOrientation=2\r\nGSensorPendingOrientation=4", "90"}};
  for (const auto& [value, angle] : stored) {
    WriteFileBytes(settings, "[G-SensorCtrl]\r\n" + value);
    const Finished run = RunTurnDisplay("restore", program);
    ASSERT_TRUE(run.ended);
    const bool already = AngleText(before->orientation) == angle;
    EXPECT_EQ(run.exitCode, already ? 1u : 4u) << value;
    EXPECT_EQ(run.errorLines,
              std::vector<std::string>{
                  already ? "TurnDisplay: " + std::string(kPanel) + " is already at " + angle +
                                " degrees"
                          : "TurnDisplay: the display driver refused " + angle + " degrees for " +
                                kPanel + ": DISP_CHANGE_BADMODE (-2)"});
  }
  ASSERT_TRUE(::DeleteFileA(settings.c_str()));
  const Finished run = RunTurnDisplay("restore", program);
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(run.errorLines, std::vector<std::string>{"TurnDisplay: no orientation to restore: " +
                                                     settings + " cannot be read"});
  EXPECT_EQ(CurrentMode(), before);
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

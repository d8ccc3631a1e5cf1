#pragma once

#include <windows.h>
#include <winsvc.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

// For tests that run in a Wine session of their own (tools/wine-session, given to
// pivotra_add_test as EMULATOR): the session's logs, the program under test, the service
// control manager and the registry. Every wait has a deadline.
namespace session {

inline constexpr std::chrono::milliseconds kDeadline{30000};

// The session's directory, or "" when the test was not started by tools/wine-session.
std::string Directory();

// One line of Wine's debug output with +pid:
//   pid:tid:class:channel:function text          e.g. 0160:0170:trace:eventlog:ReportEventW L"..."
//   pid:tid:Call dll.function(arguments) ret=..  a relayed call (channel "relay")
// A line without the process id (a process without +pid) has processId 0.
struct LogLine {
  DWORD processId = 0;
  DWORD threadId = 0;
  std::string channel;
  std::string function;
  std::string text;  // what follows the function name
  std::string raw;
};
LogLine ParseLogLine(std::string_view raw);

// A log file that Wine writes while the test reads it.
class WineLog {
 public:
  explicit WineLog(std::string path) : path_(std::move(path)) {}

  std::size_t Mark() const;  // the end so far: lines written later are "from" it
  std::string Text(std::size_t from = 0) const;
  std::vector<LogLine> Lines(std::size_t from = 0) const;
  // Waits for a line after from that satisfies found; false at the deadline.
  bool WaitFor(const std::function<bool(const LogLine&)>& found, std::size_t from = 0,
               std::chrono::milliseconds timeout = kDeadline) const;

 private:
  std::string path_;
};

// Every service's Wine output: channels debugstr, eventlog and service.
const WineLog& ServicesLog();
// This test program's Wine output and that of the programs it starts.
const WineLog& ProgramLog();

// Wine's quoted strings: "..." or L"...", with \n, \r, \t, \", \\ and \xNN escapes.
std::string UnquoteDebugString(std::string_view quoted);

// What one process wrote: OutputDebugStringA texts, event-log insertion strings, status
// reports (from the service channel's SetServiceStatus lines) and MessageBoxA calls (relayed).
std::vector<std::string> DebugStrings(const std::vector<LogLine>& lines, DWORD processId);
std::vector<std::string> EventLogEntries(const std::vector<LogLine>& lines, DWORD processId);
// Each ReportEventA call in full: "type ID" (from Wine's stub line of the call, "1 221" for
// error 221), then its insertion strings.
std::vector<std::vector<std::string>> EventReports(const std::vector<LogLine>& lines,
                                                   DWORD processId);

struct StatusReport {
  DWORD serviceType = 0;
  DWORD currentState = 0;
  DWORD controlsAccepted = 0;
  DWORD win32ExitCode = 0;
  DWORD serviceExitCode = 0;
  DWORD checkPoint = 0;
  DWORD waitHint = 0;
  bool operator==(const StatusReport& other) const;
};
std::vector<StatusReport> StatusReports(const std::vector<LogLine>& lines, DWORD processId);
void PrintTo(const StatusReport& report, std::ostream* out);

struct MessageBoxCall {
  unsigned long long owner = 0;
  std::string text;
  std::string caption;
  unsigned long long style = 0;
};
std::vector<MessageBoxCall> MessageBoxes(const std::vector<LogLine>& lines, DWORD processId);

// A program run to its end, or ended at the deadline. Its MessageBoxA calls and debugger output
// are traced for it into ProgramLog, and taken from there.
struct ProgramRun {
  bool ended = false;
  DWORD exitCode = 0;
  DWORD processId = 0;
  std::string output;  // standard output
  std::vector<std::string> debugStrings;
  std::vector<MessageBoxCall> messageBoxes;
  std::vector<std::vector<std::string>> events;
};
ProgramRun RunProgram(const std::string& path, const std::string& arguments = "",
                      std::chrono::milliseconds timeout = kDeadline);

// A program left running while the test looks at it; ended when the object goes.
class RunningProgram {
 public:
  RunningProgram(const std::string& path, const std::string& arguments);
  ~RunningProgram();
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  bool started() const { return process_ != nullptr; }
  DWORD processId() const { return processId_; }
  bool WaitForOutput(const std::string& fragment, std::chrono::milliseconds timeout = kDeadline);
  std::string Output();
  bool Running() const;

 private:
  HANDLE process_ = nullptr;
  DWORD processId_ = 0;
  HANDLE output_ = nullptr;
  std::thread reader_;
  std::mutex lock_;
  std::condition_variable arrived_;
  std::string text_;
};

// The Pivotra.EXE of this build; a copy of a file in a directory made when missing.
std::string BuiltProgram();
std::string CopyInto(const std::string& file, const std::string& directory);

// The service control manager: 0 or the Win32 error of the call.
std::optional<SERVICE_STATUS_PROCESS> QueryService(const char* name);
DWORD StartService(const char* name);
DWORD ControlService(const char* name, DWORD control);
bool WaitForServiceState(const char* name, DWORD state, std::chrono::milliseconds timeout = kDeadline);
// Creates a do-nothing service, as another program would have.
DWORD CreateOtherService(const char* name, const char* displayName);

// The registry as the program left it.
bool KeyExists(HKEY root, const std::string& path);
std::optional<std::string> ReadString(HKEY root, const std::string& path, const std::string& name);
std::optional<std::string> ReadExpandString(HKEY root, const std::string& path,
                                            const std::string& name);  // REG_EXPAND_SZ, unexpanded
std::optional<DWORD> ReadDword(HKEY root, const std::string& path, const std::string& name);
std::optional<std::string> ReadBytes(HKEY root, const std::string& path, const std::string& name);
std::vector<std::string> ValueNames(HKEY root, const std::string& path);
std::vector<std::string> SubkeyNames(HKEY root, const std::string& path);

// Every test of a session: it must run in one, and a failing test shows the services' log
// from its start.
class SessionTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::size_t servicesMark_ = 0;
};

}  // namespace session

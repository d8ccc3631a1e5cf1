#include "tests/support/ServiceSession.h"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <ostream>
#include <sstream>

#include "common/ModuleDirectory.h"
#include "common/UniqueHandle.h"
#include "tests/support/TempDir.h"

namespace session {
namespace {

using Clock = std::chrono::steady_clock;

bool ParseHex(std::string_view text, DWORD& value) {
  if (text.empty() || text.size() > 8) return false;
  DWORD result = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    result = result * 16 + static_cast<DWORD>(digit);
  }
  value = result;
  return true;
}

// Cuts the next field ending in ':' off text.
std::string_view Field(std::string_view& text) {
  const std::size_t colon = text.find(':');
  const std::string_view field = text.substr(0, colon);
  text = colon == std::string_view::npos ? std::string_view() : text.substr(colon + 1);
  return field;
}

bool IsDebugClass(std::string_view text) {
  return text == "fixme" || text == "err" || text == "warn" || text == "trace";
}

// The arguments of a relayed call, "(a,b \"text\",c) ret=...", split at the commas outside
// quotes.
std::vector<std::string> RelayArguments(std::string_view text) {
  std::vector<std::string> arguments;
  if (text.empty() || text.front() != '(') return arguments;
  std::string current;
  bool quoted = false;
  for (std::size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      current += c;
      if (c == '\\' && i + 1 < text.size()) {
        current += text[++i];
      } else if (c == '"') {
        quoted = false;
      }
    } else if (c == '"') {
      quoted = true;
      current += c;
    } else if (c == ',' || c == ')') {
      arguments.push_back(current);
      current.clear();
      if (c == ')') break;
    } else {
      current += c;
    }
  }
  return arguments;
}

unsigned long long ArgumentNumber(const std::string& argument) {
  return std::strtoull(argument.c_str(), nullptr, 16);
}

std::string ArgumentText(const std::string& argument) {
  const std::size_t quote = argument.find('"');
  return quote == std::string::npos ? std::string() : UnquoteDebugString(argument.substr(quote));
}

std::string ReadShared(const std::string& path, std::size_t from) {
  // Wine keeps writing the file: it is read with every kind of sharing.
  const unique_file_handle file(::CreateFileA(path.c_str(), GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                              nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return std::string();
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.get(), &size) || static_cast<std::size_t>(size.QuadPart) <= from)
    return std::string();
  LARGE_INTEGER start;
  start.QuadPart = static_cast<LONGLONG>(from);
  ::SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN);
  std::string text(static_cast<std::size_t>(size.QuadPart) - from, '\0');
  DWORD read = 0;
  ::ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
  text.resize(read);
  return text;
}

// Only whole lines: the last one may still be being written.
std::vector<LogLine> ParseLines(const std::string& text) {
  std::vector<LogLine> lines;
  std::size_t begin = 0;
  for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', begin)) {
    std::string_view line(text.data() + begin, end - begin);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(ParseLogLine(line));
    begin = end + 1;
  }
  return lines;
}

// Sets an environment variable for as long as it lives; the programs started meanwhile get it.
class EnvironmentOverride {
 public:
  EnvironmentOverride(const char* name, const char* value) : name_(name) {
    char old[4096];
    const DWORD length = ::GetEnvironmentVariableA(name, old, sizeof(old));
    if (length > 0 && length < sizeof(old)) old_ = std::string(old, length);
    ::SetEnvironmentVariableA(name, value);
  }
  ~EnvironmentOverride() { ::SetEnvironmentVariableA(name_, old_ ? old_->c_str() : nullptr); }
  EnvironmentOverride(const EnvironmentOverride&) = delete;
  EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// The programs a test starts trace their MessageBoxA calls, and only those, their debugger
// output and their event-log entries (advapi's stub lines carry an entry's type and ID) into
// ProgramLog.
constexpr const char* kProgramDebug = "fixme-all,+pid,+debugstr,+relay,+eventlog,fixme+advapi";

void TraceOnlyMessageBoxes() {
  static const bool done = [] {
    unique_hkey key;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Debug", 0, nullptr, 0, KEY_SET_VALUE,
                          nullptr, key.put(), nullptr) != ERROR_SUCCESS)
      return false;
    const char kInclude[] = "user32.MessageBoxA";
    return ::RegSetValueExA(key.get(), "RelayInclude", 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(kInclude), sizeof(kInclude)) ==
           ERROR_SUCCESS;
  }();
  EXPECT_TRUE(done) << "the relay trace of MessageBoxA could not be set up";
}

struct Started {
  unique_handle process;
  unique_handle thread;
  unique_handle output;  // the read end of the program's standard output
  DWORD processId = 0;
};

Started Start(const std::string& path, const std::string& arguments) {
  Started started;
  TraceOnlyMessageBoxes();
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  unique_handle write;
  if (!::CreatePipe(started.output.put(), write.put(), &inheritable, 0)) return started;
  ::SetHandleInformation(started.output.get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write.get();
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  std::string commandLine = "\"" + path + "\"";
  if (!arguments.empty()) commandLine += " " + arguments;
  PROCESS_INFORMATION information = {};
  const EnvironmentOverride debug("WINEDEBUG", kProgramDebug);
  if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &information)) {
    ADD_FAILURE() << "could not start " << commandLine << ": error " << ::GetLastError();
    started.output.reset();
    return started;
  }
  started.process.reset(information.hProcess);
  started.thread.reset(information.hThread);
  started.processId = information.dwProcessId;
  return started;
}

// Reads a pipe to its end into text.
void ReadAll(HANDLE pipe, const std::function<void(const char*, DWORD)>& take) {
  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(pipe, buffer, sizeof(buffer), &read, nullptr) && read > 0) take(buffer, read);
}

unique_schandle OpenService(const char* name, DWORD access) {
  const unique_schandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return unique_schandle();
  return unique_schandle(::OpenServiceA(manager.get(), name, access));
}

DWORD LastErrorOr(BOOL succeeded) { return succeeded ? ERROR_SUCCESS : ::GetLastError(); }

std::optional<std::pair<DWORD, std::string>> ReadValue(HKEY root, const std::string& path,
                                                       const std::string& name) {
  unique_hkey key;
  if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    return std::nullopt;
  DWORD type = 0;
  DWORD size = 0;
  const char* valueName = name.empty() ? nullptr : name.c_str();
  if (::RegQueryValueExA(key.get(), valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return std::nullopt;
  std::string data(size, '\0');
  if (::RegQueryValueExA(key.get(), valueName, nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
    return std::nullopt;
  data.resize(size);
  return std::make_pair(type, data);
}

std::optional<std::string> ReadText(HKEY root, const std::string& path, const std::string& name,
                                    DWORD type) {
  const auto value = ReadValue(root, path, name);
  if (!value || value->first != type) return std::nullopt;
  std::string text = value->second;
  // Stored with its terminating zero.
  if (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

std::vector<std::string> Names(HKEY root, const std::string& path, bool values) {
  std::vector<std::string> names;
  unique_hkey key;
  if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return names;
  for (DWORD index = 0;; ++index) {
    char name[16384];
    DWORD length = sizeof(name);
    const LONG result =
        values ? ::RegEnumValueA(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr)
               : ::RegEnumKeyExA(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (result != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  return names;
}

}  // namespace

std::string Directory() {
  char directory[MAX_PATH];
  const DWORD length = ::GetEnvironmentVariableA("PIVOTRA_SESSION", directory, sizeof(directory));
  return length > 0 && length < sizeof(directory) ? std::string(directory, length) : std::string();
}

LogLine ParseLogLine(std::string_view raw) {
  LogLine line;
  line.raw = std::string(raw);
  std::string_view rest = raw;
  DWORD first = 0;
  DWORD second = 0;
  std::string_view probe = rest;
  if (!ParseHex(Field(probe), first)) return line;
  std::string_view afterFirst = probe;
  if (ParseHex(Field(probe), second)) {
    line.processId = first;
    line.threadId = second;
    rest = probe;
  } else {
    line.threadId = first;
    rest = afterFirst;
  }

  if (rest.substr(0, 5) == "Call " || rest.substr(0, 5) == "Ret  ") {
    rest.remove_prefix(5);
    line.channel = "relay";
    const std::size_t paren = rest.find('(');
    line.function = std::string(rest.substr(0, paren));
    line.text = paren == std::string_view::npos ? std::string() : std::string(rest.substr(paren));
    return line;
  }
  std::string_view classProbe = rest;
  if (!IsDebugClass(Field(classProbe))) {
    line.text = std::string(rest);
    return line;
  }
  line.channel = std::string(Field(classProbe));
  const std::size_t blank = classProbe.find(' ');
  line.function = std::string(classProbe.substr(0, blank));
  line.text = blank == std::string_view::npos ? std::string() : std::string(classProbe.substr(blank + 1));
  return line;
}

std::size_t WineLog::Mark() const { return ReadShared(path_, 0).size(); }

std::string WineLog::Text(std::size_t from) const { return ReadShared(path_, from); }

std::vector<LogLine> WineLog::Lines(std::size_t from) const { return ParseLines(Text(from)); }

bool WineLog::WaitFor(const std::function<bool(const LogLine&)>& found, std::size_t from,
                      std::chrono::milliseconds timeout) const {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    for (const LogLine& line : Lines(from)) {
      if (found(line)) return true;
    }
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

const WineLog& ServicesLog() {
  static const WineLog log(Directory() + "\\services.log");
  return log;
}

const WineLog& ProgramLog() {
  static const WineLog log(Directory() + "\\program.log");
  return log;
}

std::string UnquoteDebugString(std::string_view quoted) {
  // Wine writes \xNN in a narrow string and \xNNNN in a wide one.
  const bool wide = !quoted.empty() && quoted.front() == 'L';
  if (wide) quoted.remove_prefix(1);
  if (quoted.empty() || quoted.front() != '"') return std::string(quoted);
  quoted.remove_prefix(1);
  const std::size_t end = quoted.rfind('"');
  if (end != std::string_view::npos) quoted = quoted.substr(0, end);
  std::string text;
  for (std::size_t i = 0; i < quoted.size(); ++i) {
    if (quoted[i] != '\\' || i + 1 == quoted.size()) {
      text += quoted[i];
      continue;
    }
    const char escaped = quoted[++i];
    DWORD value = 0;
    const std::size_t digits = wide ? 4 : 2;
    if (escaped == 'x' && ParseHex(quoted.substr(i + 1, digits), value)) {
      text += static_cast<char>(value);
      i += digits;
      continue;
    }
    switch (escaped) {
      case 'n': text += '\n'; break;
      case 'r': text += '\r'; break;
      case 't': text += '\t'; break;
      default: text += escaped; break;
    }
  }
  return text;
}

std::vector<std::string> DebugStrings(const std::vector<LogLine>& lines, DWORD processId) {
  std::vector<std::string> texts;
  for (const LogLine& line : lines) {
    if (line.processId == processId && line.channel == "debugstr" &&
        line.function == "OutputDebugStringA")
      texts.push_back(UnquoteDebugString(line.text));
  }
  return texts;
}

std::vector<std::string> EventLogEntries(const std::vector<LogLine>& lines, DWORD processId) {
  std::vector<std::string> texts;
  for (const LogLine& line : lines) {
    if (line.processId == processId && line.channel == "eventlog" &&
        line.function == "ReportEventW" && line.text.substr(0, 2) == "L\"")
      texts.push_back(UnquoteDebugString(line.text));
  }
  return texts;
}

std::vector<std::vector<std::string>> EventReports(const std::vector<LogLine>& lines,
                                                   DWORD processId) {
  std::vector<std::vector<std::string>> reports;
  for (const LogLine& line : lines) {
    if (line.processId != processId) continue;
    // "(handle,type,category,id,sid,count,size,strings,data): stub"
    const std::vector<std::string> arguments = RelayArguments(line.text);
    if (line.channel == "advapi" && line.function == "ReportEventA" && arguments.size() == 9)
      reports.push_back({std::to_string(ArgumentNumber(arguments[1])) + " " +
                         std::to_string(ArgumentNumber(arguments[3]))});
    else if (!reports.empty() && line.channel == "eventlog" && line.function == "ReportEventW")
      reports.back().push_back(UnquoteDebugString(line.text));
  }
  return reports;
}

bool StatusReport::operator==(const StatusReport& other) const {
  return serviceType == other.serviceType && currentState == other.currentState &&
         controlsAccepted == other.controlsAccepted && win32ExitCode == other.win32ExitCode &&
         serviceExitCode == other.serviceExitCode && checkPoint == other.checkPoint &&
         waitHint == other.waitHint;
}

void PrintTo(const StatusReport& report, std::ostream* out) {
  *out << "{type " << report.serviceType << ", state " << report.currentState << ", accepts "
       << report.controlsAccepted << ", exit " << report.win32ExitCode << "/"
       << report.serviceExitCode << ", check point " << report.checkPoint << ", wait hint "
       << report.waitHint << "}";
}

std::vector<StatusReport> StatusReports(const std::vector<LogLine>& lines, DWORD processId) {
  std::vector<StatusReport> reports;
  for (const LogLine& line : lines) {
    if (line.processId != processId || line.channel != "service" ||
        line.function != "SetServiceStatus")
      continue;
    // "handle type state accepted exit specific-exit check-point wait-hint"
    std::istringstream fields(line.text);
    std::string handle;
    std::string values[7];
    fields >> handle;
    for (std::string& value : values) fields >> value;
    auto number = [](const std::string& text) {
      return static_cast<DWORD>(std::strtoul(text.c_str(), nullptr, 0));
    };
    reports.push_back({number(values[0]), number(values[1]), number(values[2]), number(values[3]),
                       number(values[4]), number(values[5]), number(values[6])});
  }
  return reports;
}

std::vector<MessageBoxCall> MessageBoxes(const std::vector<LogLine>& lines, DWORD processId) {
  std::vector<MessageBoxCall> calls;
  for (const LogLine& line : lines) {
    if (line.processId != processId || line.channel != "relay" ||
        line.function != "user32.MessageBoxA" || line.raw.find(":Call ") == std::string::npos)
      continue;
    const std::vector<std::string> arguments = RelayArguments(line.text);
    if (arguments.size() != 4) continue;
    calls.push_back({ArgumentNumber(arguments[0]), ArgumentText(arguments[1]),
                     ArgumentText(arguments[2]), ArgumentNumber(arguments[3])});
  }
  return calls;
}

ProgramRun RunProgram(const std::string& path, const std::string& arguments,
                      std::chrono::milliseconds timeout) {
  ProgramRun run;
  const std::size_t mark = ProgramLog().Mark();
  Started started = Start(path, arguments);
  if (!started.process) return run;
  run.processId = started.processId;
  std::thread reader([&] {
    ReadAll(started.output.get(), [&](const char* data, DWORD size) { run.output.append(data, size); });
  });
  run.ended = ::WaitForSingleObject(started.process.get(), static_cast<DWORD>(timeout.count())) ==
              WAIT_OBJECT_0;
  if (!run.ended) {
    ::TerminateProcess(started.process.get(), 1);
    ::WaitForSingleObject(started.process.get(), INFINITE);
  }
  ::GetExitCodeProcess(started.process.get(), &run.exitCode);
  reader.join();  // the pipe ends with the program and anything it started with its handle
  const std::vector<LogLine> lines = ProgramLog().Lines(mark);
  run.debugStrings = DebugStrings(lines, run.processId);
  run.messageBoxes = MessageBoxes(lines, run.processId);
  run.events = EventReports(lines, run.processId);
  return run;
}

RunningProgram::RunningProgram(const std::string& path, const std::string& arguments) {
  Started started = Start(path, arguments);
  if (!started.process) return;
  process_ = started.process.release();
  processId_ = started.processId;
  output_ = started.output.release();
  reader_ = std::thread([this] {
    ReadAll(output_, [this](const char* data, DWORD size) {
      std::lock_guard<std::mutex> hold(lock_);
      text_.append(data, size);
      arrived_.notify_all();
    });
  });
}

RunningProgram::~RunningProgram() {
  if (process_ != nullptr) {
    ::TerminateProcess(process_, 1);
    ::WaitForSingleObject(process_, INFINITE);
    ::CloseHandle(process_);
  }
  if (reader_.joinable()) reader_.join();
  if (output_ != nullptr) ::CloseHandle(output_);
}

bool RunningProgram::WaitForOutput(const std::string& fragment, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> hold(lock_);
  return arrived_.wait_for(hold, timeout, [&] { return text_.find(fragment) != std::string::npos; });
}

std::string RunningProgram::Output() {
  std::lock_guard<std::mutex> hold(lock_);
  return text_;
}

bool RunningProgram::Running() const {
  return process_ != nullptr && ::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

std::string BuiltProgram() {
  // The tests lie in tests/ of the build, the program in the build's top directory.
  const std::string relative = GetModuleDirectory(true) + "..\\Pivotra.EXE";
  char full[MAX_PATH];
  const DWORD length = ::GetFullPathNameA(relative.c_str(), sizeof(full), full, nullptr);
  return length > 0 && length < sizeof(full) ? std::string(full, length) : relative;
}

std::string CopyInto(const std::string& file, const std::string& directory) {
  // Each level of the directory, from the drive down.
  for (std::size_t cut = directory.find('\\', 3); ; cut = directory.find('\\', cut + 1)) {
    ::CreateDirectoryA(directory.substr(0, cut).c_str(), nullptr);
    if (cut == std::string::npos) break;
  }
  const std::string target = directory + "\\" + file.substr(file.find_last_of('\\') + 1);
  EXPECT_TRUE(::CopyFileA(file.c_str(), target.c_str(), FALSE))
      << "could not copy " << file << " to " << target << ": error " << ::GetLastError();
  return target;
}

std::optional<SERVICE_STATUS_PROCESS> QueryService(const char* name) {
  const unique_schandle service = OpenService(name, SERVICE_QUERY_STATUS);
  if (!service) return std::nullopt;
  SERVICE_STATUS_PROCESS status = {};
  DWORD needed = 0;
  if (!::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                              sizeof(status), &needed))
    return std::nullopt;
  return status;
}

DWORD StartService(const char* name) {
  const unique_schandle service = OpenService(name, SERVICE_START);
  if (!service) return ::GetLastError();
  return LastErrorOr(::StartServiceA(service.get(), 0, nullptr));
}

DWORD ControlService(const char* name, DWORD control) {
  const unique_schandle service =
      OpenService(name, SERVICE_STOP | SERVICE_INTERROGATE | SERVICE_USER_DEFINED_CONTROL);
  if (!service) return ::GetLastError();
  SERVICE_STATUS status;
  return LastErrorOr(::ControlService(service.get(), control, &status));
}

bool WaitForServiceState(const char* name, DWORD state, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const auto status = QueryService(name);
    if (status && status->dwCurrentState == state) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

DWORD CreateOtherService(const char* name, const char* displayName) {
  const unique_schandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return ::GetLastError();
  const unique_schandle service(::CreateServiceA(
      manager.get(), name, displayName, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
      SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "C:\\windows\\system32\\cmd.exe", nullptr,
      nullptr, nullptr, nullptr, nullptr));
  return service ? ERROR_SUCCESS : ::GetLastError();
}

bool KeyExists(HKEY root, const std::string& path) {
  unique_hkey key;
  return ::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

std::optional<std::string> ReadString(HKEY root, const std::string& path, const std::string& name) {
  return ReadText(root, path, name, REG_SZ);
}

std::optional<std::string> ReadExpandString(HKEY root, const std::string& path,
                                            const std::string& name) {
  return ReadText(root, path, name, REG_EXPAND_SZ);
}

std::optional<DWORD> ReadDword(HKEY root, const std::string& path, const std::string& name) {
  const auto value = ReadValue(root, path, name);
  if (!value || value->first != REG_DWORD || value->second.size() != sizeof(DWORD))
    return std::nullopt;
  DWORD number = 0;
  std::memcpy(&number, value->second.data(), sizeof(number));
  return number;
}

std::optional<std::string> ReadBytes(HKEY root, const std::string& path, const std::string& name) {
  const auto value = ReadValue(root, path, name);
  if (!value) return std::nullopt;
  return value->second;
}

std::vector<std::string> ValueNames(HKEY root, const std::string& path) {
  return Names(root, path, true);
}

std::vector<std::string> SubkeyNames(HKEY root, const std::string& path) {
  return Names(root, path, false);
}

void SessionTest::SetUp() {
  ASSERT_FALSE(Directory().empty()) << "this test runs only in a session of tools/wine-session";
  servicesMark_ = ServicesLog().Mark();
}

void SessionTest::TearDown() {
  if (!HasFailure()) return;
  std::cout << "---- the services' log since the test began ----\n"
            << ServicesLog().Text(servicesMark_) << "---- end of the services' log ----\n";
}

}  // namespace session

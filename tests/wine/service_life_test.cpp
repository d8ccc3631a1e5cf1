// The life of the service as a user meets it, each case in a Wine session of its own:
// Pivotra.EXE installed under "C:\Program Files\Pivotra" (the 32-bit build, as on 64-bit
// Windows, under "C:\Program Files (x86)\Pivotra"), started by the service control
// manager, its events raised through the test WMI provider (which is WMI for the session),
// and a recording stand-in for the display-rotation program beside it. What the service did
// is read where a user would look: its debugger lines, the event log, the service control
// manager, the settings file and the programs it started.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/ModuleDirectory.h"
#include "common/UniqueHandle.h"
#include "tests/support/Eventually.h"
#include "tests/support/PivotraReports.h"
#include "tests/support/ServiceSession.h"
#include "tests/support/SettingsTexts.h"
#include "tests/support/TempDir.h"
#include "tests/support/TurnDisplayRecord.h"
#include "tools/wmi-test-provider/ProviderClient.h"

namespace {

using namespace session;
using namespace std::chrono_literals;
using Texts = std::vector<std::string>;

constexpr const char* kService = "Pivotra";
// Where an installer puts each build on 64-bit Windows; every path must survive the blank and,
// for the shipped 32-bit build, the brackets.
#ifdef _WIN64
#define PIVOTRA_INSTALLED "C:\\Program Files\\Pivotra"
#else
#define PIVOTRA_INSTALLED "C:\\Program Files (x86)\\Pivotra"
#endif
constexpr const char* kDirectory = PIVOTRA_INSTALLED;
constexpr const char* kProgram = PIVOTRA_INSTALLED "\\Pivotra.EXE";
constexpr const char* kSettings = PIVOTRA_INSTALLED "\\GSensor_Setting.ini";
constexpr const char* kDisplayProgram = PIVOTRA_INSTALLED "\\TurnDisplay.exe";
constexpr const char* kRecordDirectory = PIVOTRA_INSTALLED "\\";
constexpr const char* kSection = "G-SensorCtrl";
constexpr const char* kDecoy = "C:\\Program.exe";
constexpr const char* kDecoyRecord = "C:\\TurnDisplay.record";

constexpr const char* kSubscribed = "ExecNotificationQueryAsync OK";
constexpr const char* kDecisionBegins =
    "Thread_WMIEvent_G_SensorCtrlEntry: Start to access Event...";
constexpr const char* kDecisionEnds = "Thread_WMIEvent_G_SensorCtrlEntry: Thread terminated";
constexpr const char* kLaunchFailed = "CreateProcessToUserSession failed";
constexpr const char* kRotationPrefix = "set to be ";
constexpr const char* kSettingsAfterConnectionOnly =
    "[G-SensorCtrl]\r\nGSensorLastOrientation=2\r\n";

// A burst starts many programs, each a Wine process of its own.
constexpr auto kBurstDeadline = 120s;
constexpr DWORD kProviderTimeoutMs = 30000;
constexpr std::chrono::milliseconds kProviderTimeout{kProviderTimeoutMs};


// Wine is 64-bit Windows: the 64-bit build runs on it natively, the 32-bit one under WOW64.
std::string BitnessLine() { return "Running Windows is 64-bit"; }

// The programs of this build that the suite puts in place.
std::string BuiltFile(const std::string& relative) {
  char full[MAX_PATH] = {};
  const DWORD length =
      ::GetFullPathNameA((GetModuleDirectory(true) + relative).c_str(), MAX_PATH, full, nullptr);
  return length > 0 && length < MAX_PATH ? std::string(full, length) : relative;
}
std::string RecordingDisplayProgram() { return BuiltFile("TurnDisplay.exe"); }
std::string ProviderDll() { return BuiltFile(PIVOTRA_WMI_TEST_PROVIDER); }

std::uint32_t Setting(const char* key) {
  return ::GetPrivateProfileIntA(kSection, key, 0xFFFF, kSettings);
}

// Up, Down, Left, Right, in the order they are written: exactly one is 1 after a rotation.
std::vector<std::uint32_t> TestFlags() {
  return {Setting("OrientationTest_Up"), Setting("OrientationTest_Down"),
          Setting("OrientationTest_Left"), Setting("OrientationTest_Right")};
}

// What a rotation request logs, and the angle it passes.
const std::map<std::string, std::string> kAngleOf = {
    {"set to be DMDO_DEFAULT", "0"},
    {"set to be DMDO_90", "90"},
    {"set to be DMDO_180", "180"},
    {"set to be DMDO_270", "270"},
};

// The Pivotra process under watch and the log its debugger lines go to: the services' log
// when the service control manager started it, this program's when the test did.
struct Watch {
  const WineLog* log = nullptr;
  DWORD processId = 0;

  Texts Debug(std::size_t from) const { return DebugStrings(log->Lines(from), processId); }
  bool WaitForLine(const std::string& text, std::size_t from,
                   std::chrono::milliseconds timeout = kDeadline) const {
    return log->WaitFor(
        [&](const LogLine& line) {
          return line.processId == processId && line.channel == "debugstr" &&
                 line.function == "OutputDebugStringA" && UnquoteDebugString(line.text) == text;
        },
        from, timeout);
  }
};

std::size_t Count(const Texts& texts, const std::string& text) {
  return static_cast<std::size_t>(std::count(texts.begin(), texts.end(), text));
}

Texts Rotations(const Texts& texts) {
  Texts rotations;
  for (const std::string& text : texts)
    if (text.rfind(kRotationPrefix, 0) == 0) rotations.push_back(text);
  return rotations;
}

bool IsOrientationWord(const std::string& text) {
  return text == "Up" || text == "Down" || text == "Right" || text == "Left";
}

// The word of the decision begun last, "" when none began or it has not decoded yet. Other
// threads' lines (the sink's, a turned-away worker's) may come between.
std::string LastDecidedWord(const Texts& texts) {
  for (std::size_t i = texts.size(); i-- > 0;) {
    if (texts[i] != kDecisionBegins) continue;
    const auto word = std::find_if(texts.begin() + static_cast<std::ptrdiff_t>(i), texts.end(),
                                   IsOrientationWord);
    return word == texts.end() ? std::string() : *word;
  }
  return std::string();
}

// Once the provider has returned from its last Indicate, every event byte is written. When
// every decision begun since from has ended and the last one was on word, nothing more can
// change: a decision still to come reads the same byte and finds it stored.
bool WaitUntilDecidedOn(const Watch& watch, const std::string& word, std::size_t from,
                        std::chrono::milliseconds timeout = kDeadline) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const Texts texts = watch.Debug(from);
    const std::size_t begun = Count(texts, kDecisionBegins);
    if (begun > 0 && begun == Count(texts, kDecisionEnds) && LastDecidedWord(texts) == word)
      return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(100ms);
  }
}

std::string DataLine(std::uint32_t data) {
  return "Pivotra: Data: Bstr=, UI32=" + std::to_string(data) +
         ", BtnId=" + std::to_string(static_cast<std::int32_t>(data)) + "\n";
}

// The program beside the service, its path quoted for the blank, and the angle its only argument.
void ExpectStartedWith(const TurnDisplayStart& start, const std::string& angle) {
  EXPECT_FALSE(FileExists(kDecoyRecord)) << ReadFileBytes(kDecoyRecord);
  EXPECT_EQ(start.commandLine, "\"" + std::string(kDisplayProgram) + "\" " + angle);
  EXPECT_EQ(start.argumentCount, "2");
  EXPECT_EQ(start.argument, angle);
}

std::string Indented(const std::string& text) {
  std::string out;
  std::size_t begin = 0;
  while (begin < text.size()) {
    const std::size_t end = text.find('\n', begin);
    out += "  " + text.substr(begin, end == std::string::npos ? std::string::npos : end - begin) +
           "\n";
    if (end == std::string::npos) break;
    begin = end + 1;
  }
  return out;
}

// A process id as Wine's own lines show it.
std::string Hex(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof(text), "%04lx", static_cast<unsigned long>(value));
  return text;
}

// What one service process, or one foreground run, did: in order, every debugger line,
// event-log entry and status report, so that a failure shows its reason.
void PrintWhatPivotraDid(const WineLog& log, std::size_t from, const char* title) {
  std::string story;
  for (const LogLine& line : log.Lines(from)) {
    if (line.channel == "debugstr" && line.function == "OutputDebugStringA") {
      std::string text = UnquoteDebugString(line.text);
      if (!text.empty() && text.back() == '\n') text.pop_back();
      story += "  " + Hex(line.processId) + " debug:     " + text + "\n";
    } else if (line.channel == "eventlog" && line.function == "ReportEventW" &&
               line.text.substr(0, 2) == "L\"") {
      story += "  " + Hex(line.processId) + " event log: " + UnquoteDebugString(line.text) + "\n";
    } else if (line.channel == "service" && line.function == "SetServiceStatus") {
      story += "  " + Hex(line.processId) + " status:    " + line.text + "\n";
    } else if (line.raw.find(":err:") != std::string::npos) {
      story += "  " + line.raw + "\n";
    }
  }
  std::cout << "---- " << title << ": debugger lines, event log, status reports, errors ----\n"
            << story;
}

// Each case installs the built service in a directory with blanks, with the recording
// display-rotation program beside it, and makes the test WMI provider WMI for the session
// before anything starts.
class ServiceLife : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    if (HasFatalFailure()) return;
    programMark_ = ProgramLog().Mark();
    ASSERT_EQ(CopyInto(BuiltProgram(), kDirectory), kProgram);
    ASSERT_EQ(CopyInto(RecordingDisplayProgram(), kDirectory), kDisplayProgram);
    // The trap of a path with blanks: unquoted, "C:\Program Files\..." starts this one.
    ASSERT_TRUE(::CopyFileA(RecordingDisplayProgram().c_str(), kDecoy, FALSE));
    ASSERT_EQ(wmitest::RegisterProvider(ProviderDll()), ERROR_SUCCESS) << ProviderDll();
  }

  void TearDown() override {
    if (!HasFailure()) return;
    PrintWhatPivotraDid(ServicesLog(), servicesMark_, "the services' log");
    PrintWhatPivotraDid(ProgramLog(), programMark_, "the foreground programs' log");
    std::cout << "---- " << kSettings << " ----\n"
              << Indented(ReadFileBytes(kSettings)) << "---- TurnDisplay.record ----\n"
              << Indented(ReadFileBytes(std::string(kRecordDirectory) + "TurnDisplay.record"));
    if (FileExists(kDecoyRecord))
      std::cout << "---- " << kDecoyRecord << " (a path without quotes) ----\n"
                << Indented(ReadFileBytes(kDecoyRecord));
    std::string error;
    const auto report = wmitest::Ask(wmitest::Request{}, 2000, error);
    std::cout << "---- the provider's report ----\n"
              << Indented(report ? *report : error) << "----\n";
  }

  static ProgramRun Switch(const char* argument, DWORD exitCode = 0) {
    ProgramRun run = RunProgram(kProgram, argument);
    EXPECT_TRUE(run.ended) << argument;
    EXPECT_EQ(run.exitCode, exitCode) << argument;
    EXPECT_TRUE(run.messageBoxes.empty()) << argument << ": " << run.messageBoxes.front().text;
    return run;
  }

  // A start by the service control manager, up to the end of the wait thread's work: the
  // subscription, or the line that it failed.
  void StartService(const char* lastLine = kSubscribed) {
    startMark_ = ServicesLog().Mark();
    ASSERT_EQ(session::StartService(kService), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_TRUE(WaitForServiceState(kService, SERVICE_RUNNING));
    const auto status = QueryService(kService);
    ASSERT_TRUE(status);
    service_ = {&ServicesLog(), status->dwProcessId};
    process_.reset(
        ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, service_.processId));
    ASSERT_TRUE(process_) << "error " << ::GetLastError();
    ASSERT_TRUE(service_.WaitForLine(lastLine, startMark_)) << "no \"" << lastLine << "\"";
  }

  // A stop by the service control manager: stop-pending, stopped, logged, exit code 0.
  void StopService(const Texts& entries = {"Service started", "Service stopped"}) {
    ASSERT_EQ(ControlService(kService, SERVICE_CONTROL_STOP), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_TRUE(WaitForServiceState(kService, SERVICE_STOPPED));
    ExpectEndedCleanly(entries);
  }

  // The service process's end after a stop request, whoever sent it, with its event-log entries.
  void ExpectEndedCleanly(const Texts& entries = {"Service started", "Service stopped"}) {
    ASSERT_EQ(::WaitForSingleObject(process_.get(), 30000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    ASSERT_TRUE(::GetExitCodeProcess(process_.get(), &exitCode));
    EXPECT_EQ(exitCode, 0u);
    if (const auto status = QueryService(kService)) {
      EXPECT_EQ(status->dwWin32ExitCode, 0u);
    }

    const auto lines = ServicesLog().Lines(startMark_);
    EXPECT_EQ(StatusReports(lines, service_.processId),
              (std::vector<StatusReport>{kStartPending, kRunning, kStopPending, kStopped}));
    EXPECT_EQ(EventLogEntries(lines, service_.processId), entries);
    // Workers still at work may write after it: they end with the process.
    EXPECT_EQ(Count(service_.Debug(startMark_), "Exit from CServiceModule::Run()"), 1u);
  }

  // One batch of events, each number a "Data" value; back when the sink has taken them all.
  static void Raise(const std::vector<std::uint32_t>& data, std::uint32_t batches = 1,
                    std::chrono::milliseconds timeout = kProviderTimeout) {
    wmitest::Request request;
    request.kind = wmitest::Request::Kind::Deliver;
    request.batches = batches;
    request.data = data;
    std::string error;
    const auto reply = wmitest::Ask(request, static_cast<DWORD>(timeout.count()), error);
    ASSERT_TRUE(reply) << error;
    std::string expected = "ok\n";
    for (std::uint32_t i = 0; i < batches; ++i) expected += "indicate 0x0\n";
    ASSERT_EQ(*reply, expected);
  }

  // One event and the one decision it leads to; the lines the service wrote for it.
  Texts RaiseOne(const Watch& watch, std::uint32_t data, const std::string& word) {
    const std::size_t mark = watch.log->Mark();
    Raise({data});
    if (HasFatalFailure()) return {};
    EXPECT_TRUE(WaitUntilDecidedOn(watch, word, mark)) << "no decision on " << word;
    return watch.Debug(mark);
  }

  // The starts of the display-rotation program once there are count of them.
  static std::vector<TurnDisplayStart> Starts(std::size_t count) {
    return WaitForStarts(kRecordDirectory, count, kDeadline);
  }

  std::size_t programMark_ = 0;
  std::size_t startMark_ = 0;
  Watch service_;
  unique_handle process_;
};

TEST_F(ServiceLife, InstallsStartsWithTheDefaultsAndStops) {
  const ProgramRun install = Switch("-Service");
  // Wine refuses three of the settings beside the configuration; the installation goes on.
  EXPECT_EQ(install.debugStrings, (Texts{"CServiceModule::RegisterServer...",
                                         "Fail to change service failure actions flag, error 87",
                                         "Fail to change service SID type, error 87",
                                         "Fail to change service required privileges, error 87",
                                         "Exit from CServiceModule::RegisterServer"}));
  {
    const unique_schandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    const unique_schandle service(::OpenServiceA(manager.get(), kService, SERVICE_QUERY_CONFIG));
    ASSERT_TRUE(service);
    union {
      QUERY_SERVICE_CONFIGA config;
      BYTE bytes[8192];
    } buffer;
    DWORD needed = 0;
    ASSERT_TRUE(::QueryServiceConfigA(service.get(), &buffer.config, sizeof(buffer), &needed));
    const QUERY_SERVICE_CONFIGA& config = buffer.config;
    EXPECT_EQ(config.dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(config.dwStartType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(config.dwErrorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
    EXPECT_STREQ(config.lpBinaryPathName, "\"" PIVOTRA_INSTALLED "\\Pivotra.EXE\"");
    EXPECT_STREQ(config.lpDisplayName, "Pivotra");
    EXPECT_STREQ(config.lpServiceStartName, "LocalSystem");
    // At shutdown the service has 10 s to finish a decision's writes; Wine keeps no other of
    // the settings beside the configuration.
    SERVICE_PRESHUTDOWN_INFO preshutdown = {};
    ASSERT_TRUE(::QueryServiceConfig2A(service.get(), SERVICE_CONFIG_PRESHUTDOWN_INFO,
                                       reinterpret_cast<BYTE*>(&preshutdown), sizeof(preshutdown),
                                       &needed));
    EXPECT_EQ(preshutdown.dwPreshutdownTimeout, 10000u);
  }
  // Wine's QueryServiceConfigA garbles the dependencies; the registry has them as written, up
  // to the first name: Wine's CreateServiceA passes on only that name and whatever lies behind
  // it in memory (the 32-bit build shows it).
  EXPECT_EQ(ReadBytes(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\Pivotra",
                      "DependOnService")
                .value_or("")
                .substr(0, 6),
            std::string("RPCSS\0", 6));
  // Installing starts nothing, and nothing has touched the settings file.
  const auto installed = QueryService(kService);
  ASSERT_TRUE(installed);
  EXPECT_EQ(installed->dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_FALSE(FileExists(kSettings));

  ASSERT_NO_FATAL_FAILURE(StartService());
  // A shutdown reaches it before the shutdown proper, as a stop.
  EXPECT_TRUE(QueryService(kService)->dwControlsAccepted & SERVICE_ACCEPT_PRESHUTDOWN);
  const auto lines = ServicesLog().Lines(startMark_);
  EXPECT_EQ(StatusReports(lines, service_.processId),
            (std::vector<StatusReport>{kStartPending, kRunning}));
  EXPECT_EQ(EventLogEntries(lines, service_.processId), Texts{"Service started"});
  // The run thread's lines, then the wait thread's: nothing else writes until an event comes.
  EXPECT_EQ(
      service_.Debug(startMark_),
      (Texts{"CServiceModule::Run() ...", "[Ferrox_Start] Pivotra control Service starting...",
             BitnessLine(), "Thread_WaitWMIEventSrv_vOrrinG_SensorCtrl Starting...",
             "Thread_WaitWMIEventSrv_vOrrinG_SensorCtrl: Thread going to start...",
             "Connected to ROOT\\WMI namespace",
             "Could not create IUnsecuredApartment, events go to the sink. Error code = "
             "0x80040154",
             BitnessLine(), kSubscribed}));
  EXPECT_EQ(ReadFileBytes(kSettings), kSettingsAfterFirstStart);

  ASSERT_NO_FATAL_FAILURE(StopService());
  EXPECT_TRUE(ReadStarts(kRecordDirectory).empty());
}

TEST_F(ServiceLife, ADownRightAfterTheStartTurnsNothing) {
  Switch("-Service");
  ASSERT_NO_FATAL_FAILURE(StartService());
  const Texts lines = RaiseOne(service_, 0x00, "Down");
  EXPECT_EQ(lines, (Texts{DataLine(0), kDecisionBegins, "Down", kDecisionEnds}));
  EXPECT_EQ(ReadFileBytes(kSettings), kSettingsAfterFirstStart);
  EXPECT_FALSE(FileExists(std::string(kRecordDirectory) + "TurnDisplay.record"));
}

// One orientation after another, each against the one stored before it.
struct Turn {
  const char* word;
  std::uint32_t data;
  const char* rotation;  // nullptr: the orientation is the stored one, nothing turns
  const char* angle;
  std::uint32_t stored;
  std::vector<std::uint32_t> flags;  // Up, Down, Left, Right
};

TEST_F(ServiceLife, EachOrientationTurnsTheDisplayToItsAngle) {
  Switch("-Service");
  ASSERT_NO_FATAL_FAILURE(StartService());
  const Turn turns[] = {
      {"Left", 0x06, "set to be DMDO_90", "90", 4, {0, 0, 1, 0}},
      {"Left", 0x06, nullptr, nullptr, 4, {0, 0, 1, 0}},
      {"Up", 0x02, "set to be DMDO_180", "180", 1, {1, 0, 0, 0}},
      {"Right", 0x04, "set to be DMDO_270", "270", 3, {0, 0, 0, 1}},
      {"Down", 0x00, "set to be DMDO_DEFAULT", "0", 2, {0, 1, 0, 0}},
      {"Right", 0x04, "set to be DMDO_270", "270", 3, {0, 0, 0, 1}},
  };
  std::size_t starts = 0;
  int step = 0;
  for (const Turn& turn : turns) {
    SCOPED_TRACE("event " + std::to_string(++step) + ": " + turn.word);
    const Texts lines = RaiseOne(service_, turn.data, turn.word);
    Texts expected{DataLine(turn.data), kDecisionBegins, turn.word};
    if (turn.rotation) {
      expected.push_back(turn.rotation);
      ++starts;
    }
    expected.push_back(kDecisionEnds);
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(Setting("GSensorLastOrientation"), turn.stored);
    EXPECT_EQ(TestFlags(), turn.flags);
    // The first rotation after the start completes the file of the first start.
    if (starts == 1 && turn.rotation) {
      EXPECT_EQ(ReadFileBytes(kSettings), kSettingsAfterLeft);
    }

    const auto recorded = Starts(starts);
    ASSERT_EQ(recorded.size(), starts);
    if (turn.rotation) ExpectStartedWith(recorded.back(), turn.angle);
    if (HasFailure()) break;  // each step builds on the one before
  }
}

// Only the low byte of "Data" counts, and of it only bits 1 and 2; the diagnostic line shows
// the whole value, unsigned and signed.
struct RawEvent {
  std::uint32_t data;
  const char* line;
  const char* word;
  const char* rotation;
  const char* angle;
  std::uint32_t stored;
};

TEST_F(ServiceLife, RawDataIsDecodedFromItsLowByte) {
  Switch("-Service");
  ASSERT_NO_FATAL_FAILURE(StartService());
  const RawEvent events[] = {
      {0x102, "Pivotra: Data: Bstr=, UI32=258, BtnId=258\n", "Up", "set to be DMDO_180", "180", 1},
      {0x80000006, "Pivotra: Data: Bstr=, UI32=2147483654, BtnId=-2147483642\n", "Left",
       "set to be DMDO_90", "90", 4},
      {0xFFFFFFF5, "Pivotra: Data: Bstr=, UI32=4294967285, BtnId=-11\n", "Right",
       "set to be DMDO_270", "270", 3},
      {0x301, "Pivotra: Data: Bstr=, UI32=769, BtnId=769\n", "Down", "set to be DMDO_DEFAULT", "0",
       2},
      {0xFF, "Pivotra: Data: Bstr=, UI32=255, BtnId=255\n", "Left", "set to be DMDO_90", "90", 4},
  };
  std::size_t starts = 0;
  for (const RawEvent& event : events) {
    SCOPED_TRACE(event.line);
    const Texts lines = RaiseOne(service_, event.data, event.word);
    EXPECT_EQ(lines,
              (Texts{event.line, kDecisionBegins, event.word, event.rotation, kDecisionEnds}));
    EXPECT_EQ(Setting("GSensorLastOrientation"), event.stored);
    const auto recorded = Starts(++starts);
    ASSERT_EQ(recorded.size(), starts);
    ExpectStartedWith(recorded.back(), event.angle);
    if (HasFailure()) break;
  }
}

// After several events in quick succession: the stored orientation is the last event's, the
// last program started is the last event's angle, and every program the service says it
// started was started.
void ExpectEndedOn(const Texts& lines, std::uint32_t stored, const std::string& rotation) {
  EXPECT_EQ(Setting("GSensorLastOrientation"), stored);
  EXPECT_EQ(Count(lines, kLaunchFailed), 0u);
  const Texts rotations = Rotations(lines);
  ASSERT_FALSE(rotations.empty());
  EXPECT_EQ(rotations.back(), rotation);

  // The programs run side by side, so their record is in no particular order.
  std::vector<std::string> requested;
  for (const std::string& line : rotations) requested.push_back(kAngleOf.at(line));
  const auto starts = WaitForStarts(kRecordDirectory, requested.size(), kDeadline);
  std::vector<std::string> started;
  for (const TurnDisplayStart& start : starts) {
    ExpectStartedWith(start, start.argument);
    started.push_back(start.argument);
  }
  std::sort(requested.begin(), requested.end());
  std::sort(started.begin(), started.end());
  EXPECT_EQ(started, requested);
}

TEST_F(ServiceLife, ABatchOfTwoEndsOnItsSecondEvent) {
  Switch("-Service");
  ASSERT_NO_FATAL_FAILURE(StartService());
  const std::size_t mark = ServicesLog().Mark();
  ASSERT_NO_FATAL_FAILURE(Raise({0x06, 0x02}));
  ASSERT_TRUE(WaitUntilDecidedOn(service_, "Up", mark));
  const Texts lines = service_.Debug(mark);
  // Both objects were read, in order, before their workers started.
  Texts data;
  for (const std::string& line : lines)
    if (line.rfind("Pivotra: Data:", 0) == 0) data.push_back(line);
  EXPECT_EQ(data, (Texts{DataLine(0x06), DataLine(0x02)}));
  ExpectEndedOn(lines, 1, "set to be DMDO_180");
  EXPECT_EQ(TestFlags(), (std::vector<std::uint32_t>{1, 0, 0, 0}));
}

// Each event object gets a worker thread of its own. Under 32-bit Wine, which gives each thread
// at least 1 MiB of stack, a couple of thousand alive at once would fill the address space:
// there the burst is a thousand long, and every worker must have started.
TEST_F(ServiceLife, ABurstOfHundredsOfEventsEndsOnItsLastEvent) {
  Switch("-Service");
  ASSERT_NO_FATAL_FAILURE(StartService());
  constexpr std::uint32_t kBatches = sizeof(void*) == 4 ? 334 : 100;
  constexpr long kEvents = 3 * kBatches;
  const std::size_t mark = ServicesLog().Mark();
  std::string error;
  const auto before = wmitest::AskReport(kProviderTimeoutMs, error);
  ASSERT_TRUE(before) << error;
  // Left, up, right, again and again, the last one Right.
  ASSERT_NO_FATAL_FAILURE(Raise({0x06, 0x02, 0x04}, kBatches, kBurstDeadline));
  ASSERT_TRUE(WaitUntilDecidedOn(service_, "Right", mark, kBurstDeadline));
  // The provider counts the threads of the service: one worker per event, and all have ended.
  std::optional<wmitest::Report> after;
  const bool ended = Eventually(
      [&] {
        after = wmitest::AskReport(kProviderTimeoutMs, error);
        return after && after->threadsEnded - before->threadsEnded >= kEvents;
      },
      kDeadline);
  ASSERT_TRUE(after) << error;
  EXPECT_TRUE(ended) << "fewer threads ended than there were events";
  EXPECT_EQ(after->threadsStarted - before->threadsStarted, kEvents);
  EXPECT_EQ(after->threadsEnded - before->threadsEnded, kEvents);
  const Texts lines = service_.Debug(mark);
  EXPECT_EQ(Count(lines, DataLine(0x04)), kBatches);
  EXPECT_EQ(Count(lines, DataLine(0x06)) + Count(lines, DataLine(0x02)), 2 * kBatches);
  ExpectEndedOn(lines, 3, "set to be DMDO_270");
  EXPECT_EQ(TestFlags(), (std::vector<std::uint32_t>{0, 0, 0, 1}));
  // The service still listens: the next event is decided on its own.
  const Texts next = RaiseOne(service_, 0x00, "Down");
  EXPECT_EQ(Rotations(next), Texts{"set to be DMDO_DEFAULT"});
  EXPECT_EQ(Setting("GSensorLastOrientation"), 2u);
}

// The stop waits for the decision at work to finish its writes: the administrator's values
// survive it, and the next start keeps them.
TEST_F(ServiceLife, AStopInTheMidstOfABurstKeepsEverySetting) {
  Switch("-Service");
  // Every tuning value away from its default, and a threshold of 1, so that every event turns.
  const std::map<std::string, std::string> tuning = {
      {"PortBase", "4660"}, {"G_SensorDevice", "7"}, {"GSensorAccessTimeInterval", "250"},
      {"GSensorIOCommand_Delay", "9"}, {"GSensorIO_Active_Command_Delay", "11"},
      {"GSensor_Active_Rotation_Count", "1"}};
  for (const auto& [key, value] : tuning)
    ASSERT_TRUE(::WritePrivateProfileStringA(kSection, key.c_str(), value.c_str(), kSettings));
  ASSERT_NO_FATAL_FAILURE(StartService());
  ASSERT_NO_FATAL_FAILURE(Raise({0x06, 0x02, 0x04}, 100));
  ASSERT_NO_FATAL_FAILURE(StopService());
  EXPECT_NE(Setting("GSensorLastOrientation"), 0xFFFFu);
  ASSERT_NO_FATAL_FAILURE(StartService());
  for (const auto& [key, value] : tuning)
    EXPECT_EQ(std::to_string(Setting(key.c_str())), value) << key;
}

// A threshold counts events, not workers: the two workers of one batch count its last event
// once, whichever of them reads it.
TEST_F(ServiceLife, ABatchCountsItsEventsOnceAgainstTheThreshold) {
  Switch("-Service");
  ASSERT_TRUE(
      ::WritePrivateProfileStringA(kSection, "GSensor_Active_Rotation_Count", "2", kSettings));
  ASSERT_NO_FATAL_FAILURE(StartService());
  const std::size_t mark = ServicesLog().Mark();
  ASSERT_NO_FATAL_FAILURE(Raise({0x02, 0x06}));
  ASSERT_TRUE(WaitUntilDecidedOn(service_, "Left", mark));
  EXPECT_EQ(Rotations(service_.Debug(mark)), Texts{});
  EXPECT_EQ(Setting("GSensorLastOrientation"), 2u);

  EXPECT_EQ(Rotations(RaiseOne(service_, 0x06, "Left")), Texts{"set to be DMDO_90"});
  EXPECT_EQ(Setting("GSensorLastOrientation"), 4u);
  const auto starts = Starts(1);
  ASSERT_EQ(starts.size(), 1u);
  ExpectStartedWith(starts[0], "90");
}

// The threshold is read when the service starts: a change in the file waits for a restart.
TEST_F(ServiceLife, ARaisedThresholdIsHonouredAfterARestart) {
  Switch("-Service");
  ASSERT_NO_FATAL_FAILURE(StartService());
  ASSERT_TRUE(
      ::WritePrivateProfileStringA(kSection, "GSensor_Active_Rotation_Count", "3", kSettings));
  EXPECT_EQ(Rotations(RaiseOne(service_, 0x06, "Left")), Texts{"set to be DMDO_90"});
  ASSERT_EQ(Starts(1).size(), 1u);

  ASSERT_NO_FATAL_FAILURE(StopService());
  ASSERT_NO_FATAL_FAILURE(StartService());
  EXPECT_EQ(Setting("GSensorLastOrientation"), 2u);  // every start begins unrotated
  EXPECT_EQ(Setting("GSensor_Active_Rotation_Count"), 3u);

  // Up, Left, Up, Up: one rotation, at the third Up, and the Left counted meanwhile is
  // forgotten with it, so Left needs three events of its own after that.
  const Turn turns[] = {
      {"Up", 0x02, nullptr, nullptr, 2, {}},
      {"Left", 0x06, nullptr, nullptr, 2, {}},
      {"Up", 0x02, nullptr, nullptr, 2, {}},
      {"Up", 0x02, "set to be DMDO_180", "180", 1, {1, 0, 0, 0}},
      {"Left", 0x06, nullptr, nullptr, 1, {}},
      {"Left", 0x06, nullptr, nullptr, 1, {}},
      {"Left", 0x06, "set to be DMDO_90", "90", 4, {0, 0, 1, 0}},
  };
  std::size_t starts = 1;
  int event = 0;
  for (const Turn& turn : turns) {
    SCOPED_TRACE("event " + std::to_string(++event) + ": " + turn.word);
    const Texts lines = RaiseOne(service_, turn.data, turn.word);
    EXPECT_EQ(Rotations(lines), turn.rotation ? Texts{turn.rotation} : Texts{});
    EXPECT_EQ(Setting("GSensorLastOrientation"), turn.stored);
    if (turn.rotation) {
      EXPECT_EQ(TestFlags(), turn.flags);
      const auto recorded = Starts(++starts);
      ASSERT_EQ(recorded.size(), starts);
      ExpectStartedWith(recorded.back(), turn.angle);
    }
    if (HasFailure()) break;
  }
  EXPECT_EQ(ReadStarts(kRecordDirectory).size(), starts);
}

// The screen cannot show what no program turned: the orientation stays pending. The event log
// says why once, however many events a burst brings, and the service keeps working: with the
// program back, the next report turns the screen.
TEST_F(ServiceLife, WithoutTheDisplayProgramTheOrientationStaysPending) {
  ASSERT_TRUE(::DeleteFileA(kDisplayProgram));
  Switch("-Service");
  ASSERT_NO_FATAL_FAILURE(StartService());
  const Texts lines = RaiseOne(service_, 0x06, "Left");
  EXPECT_EQ(lines, (Texts{DataLine(0x06), kDecisionBegins, "Left", "set to be DMDO_90",
                          kLaunchFailed, "Left stays pending: TurnDisplay.exe could not be started",
                          kDecisionEnds}));
  EXPECT_EQ(ReadFileBytes(kSettings), kSettingsWithLeftPending);
  // And the service goes on deciding: the latest orientation asked for is the pending one.
  EXPECT_EQ(Rotations(RaiseOne(service_, 0x02, "Up")), Texts{"set to be DMDO_180"});
  EXPECT_EQ(Setting("GSensorLastOrientation"), 2u);
  EXPECT_EQ(Setting("GSensorPendingOrientation"), 1u);

  const std::size_t mark = ServicesLog().Mark();
  ASSERT_NO_FATAL_FAILURE(Raise({0x06, 0x04}, 500, kBurstDeadline));
  ASSERT_TRUE(WaitUntilDecidedOn(service_, "Right", mark, kBurstDeadline));
  ASSERT_EQ(CopyInto(RecordingDisplayProgram(), kDirectory), kDisplayProgram);
  EXPECT_EQ(Rotations(RaiseOne(service_, 0x06, "Left")), Texts{"set to be DMDO_90"});
  EXPECT_TRUE(Eventually([] { return Setting("GSensorLastOrientation") == 4u; }));
  std::size_t missing = 0;
  for (const Texts& report : EventReports(ServicesLog().Lines(startMark_), service_.processId))
    missing += !report.empty() && report[0] == "1 111" ? 1 : 0;
  EXPECT_EQ(missing, 1u);
}

// Windows' laptop/slate indicator: 0 tablet posture, 1 laptop.
void SetPosture(DWORD slateMode) {
  unique_hkey key;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                              "SYSTEM\\CurrentControlSet\\Control\\PriorityControl", 0, nullptr, 0,
                              KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(::RegSetValueExA(key.get(), "ConvertibleSlateMode", 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&slateMode), sizeof(slateMode)),
            ERROR_SUCCESS);
}

// The G-sensor reports portrait while Windows still says laptop: the display program declines
// (7) and the screen stays as it was. Unfolded into tablet posture, with no new report, the
// screen turns. Folded into a laptop again, it turns back to the native landscape with no
// report, and the device's Left stays pending; unfolded, it turns to Left again.
TEST_F(ServiceLife, TheScreenFollowsTheFoldWithoutANewReport) {
  ASSERT_NO_FATAL_FAILURE(SetPosture(1));
  const std::string declines = std::string(kRecordDirectory) + "TurnDisplay.exit";
  WriteFileBytes(declines, "7");
  Switch("-Service");
  ASSERT_NO_FATAL_FAILURE(StartService());
  EXPECT_EQ(RaiseOne(service_, 0x06, "Left"),
            (Texts{DataLine(0x06), kDecisionBegins, "Left", "set to be DMDO_90",
                   "Left stays pending: TurnDisplay.exe ended with 7", kDecisionEnds}));
  EXPECT_EQ(ReadFileBytes(kSettings), kSettingsWithLeftPending);
  ASSERT_EQ(Starts(1).size(), 1u);
  ASSERT_TRUE(::DeleteFileA(declines.c_str()));

  struct Fold {
    DWORD slateMode;
    const char* angle;
    std::uint32_t shown, pending;
    std::vector<std::uint32_t> flags;  // Up, Down, Left, Right
  };
  const Fold folds[] = {{0, "90", 4, 0, {0, 0, 1, 0}},
                        {1, "0", 2, 4, {0, 1, 0, 0}},
                        {0, "90", 4, 0, {0, 0, 1, 0}}};
  std::size_t starts = 1;
  for (const Fold& fold : folds) {
    SCOPED_TRACE(fold.slateMode);
    const std::size_t mark = ServicesLog().Mark();
    ASSERT_NO_FATAL_FAILURE(SetPosture(fold.slateMode));
    ASSERT_TRUE(service_.WaitForLine(
        std::string("Catching up after a posture change: TurnDisplay.exe ") + fold.angle, mark));
    const auto started = Starts(++starts);
    ASSERT_EQ(started.size(), starts);
    ExpectStartedWith(started.back(), fold.angle);
    EXPECT_TRUE(Eventually([&] {
      return Setting("GSensorLastOrientation") == fold.shown && TestFlags() == fold.flags &&
             Setting("GSensorPendingOrientation") == fold.pending;
    })) << ReadFileBytes(kSettings);
  }
}

// A WMI that refuses the service: it logs why, in the event log too, keeps running and trying
// again, and stops as always. Refused only once, it subscribes at its next attempt and turns the
// screen.
struct Refusal {
  const char* name;
  wmitest::Step step;
  std::uint32_t times;  // 0: every time
  Texts lines;          // the wait thread's first attempt, up to its failure
  const char* settings;
};

void PrintTo(const Refusal& refusal, std::ostream* out) { *out << refusal.name; }

const Texts kQueryRefused{"Connected to ROOT\\WMI namespace",
                          "Could not create IUnsecuredApartment, events go to the sink. Error "
                          "code = 0x80040154",
                          BitnessLine(), "ExecNotificationQueryAsync failed with = 0x80041010"};

class RefusingWmi : public ServiceLife, public testing::WithParamInterface<Refusal> {};

TEST_P(RefusingWmi, TheServiceLogsItKeepsTryingAndStopsCleanly) {
  const Refusal& refusal = GetParam();
  ASSERT_EQ(wmitest::ChooseFailure(refusal.step, 0, refusal.times), ERROR_SUCCESS);
  Switch("-Service");
  const std::string failure = refusal.lines.back();
  ASSERT_NO_FATAL_FAILURE(StartService(failure.c_str()));

  Texts expected{"CServiceModule::Run() ...", "[Ferrox_Start] Pivotra control Service starting...",
                 BitnessLine(), "Thread_WaitWMIEventSrv_vOrrinG_SensorCtrl Starting...",
                 "Thread_WaitWMIEventSrv_vOrrinG_SensorCtrl: Thread going to start..."};
  expected.insert(expected.end(), refusal.lines.begin(), refusal.lines.end());
  Texts lines = service_.Debug(startMark_);
  ASSERT_GE(lines.size(), expected.size());
  lines.resize(expected.size());
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(ReadFileBytes(kSettings), refusal.settings);
  const auto status = QueryService(kService);
  ASSERT_TRUE(status);
  EXPECT_EQ(status->dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));

  Texts entries{"Service started", failure};
  if (refusal.times == 0) {
    // Tried again, a second later and then later still, and still no subscription.
    EXPECT_TRUE(Eventually([&] { return Count(service_.Debug(startMark_), failure) >= 2; },
                           kDeadline))
        << "not tried again";
    std::string error;
    wmitest::Request event;
    event.kind = wmitest::Request::Kind::Deliver;
    event.batches = 1;
    event.data = {0x06};
    EXPECT_EQ(wmitest::Ask(event, kProviderTimeoutMs, error),
              std::optional<std::string>("error: no subscription\n"))
        << error;
  } else {
    ASSERT_TRUE(service_.WaitForLine(kSubscribed, startMark_));
    EXPECT_EQ(Rotations(RaiseOne(service_, 0x06, "Left")), Texts{"set to be DMDO_90"});
    entries.push_back("subscribed again at attempt 2");
  }
  entries.push_back("Service stopped");
  ASSERT_NO_FATAL_FAILURE(StopService(entries));
}

INSTANTIATE_TEST_SUITE_P(
    Steps, RefusingWmi,
    testing::Values(
        Refusal{"Connection",
                wmitest::Step::Connect,
                0,
                {"Could not connect. Error code = 0x80041003"},
                kSettingsAfterConnectionOnly},
        Refusal{"Query", wmitest::Step::Query, 0, kQueryRefused, kSettingsAfterFirstStart},
        Refusal{"TheFirstQueryOnly", wmitest::Step::Query, 1, kQueryRefused,
                kSettingsAfterFirstStart}),
    [](const testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

// Registered only with COM, a plain start runs in the foreground and still turns the display.
TEST_F(ServiceLife, AfterRegServerAPlainStartTurnsTheDisplayInTheForeground) {
  Switch("-Service");
  Switch("-RegServer");
  EXPECT_FALSE(QueryService(kService));

  const std::size_t mark = ProgramLog().Mark();
  RunningProgram program(kProgram, "");
  ASSERT_TRUE(program.started());
  const Watch foreground{&ProgramLog(), program.processId()};
  ASSERT_TRUE(foreground.WaitForLine(kSubscribed, mark));
  // Standard output is in text mode: a newline goes out as CR LF.
  EXPECT_EQ(program.Output(), "Service started\r\n");
  EXPECT_EQ(ReadFileBytes(kSettings), kSettingsAfterFirstStart);

  const Texts lines = RaiseOne(foreground, 0x06, "Left");
  EXPECT_EQ(lines,
            (Texts{DataLine(0x06), kDecisionBegins, "Left", "set to be DMDO_90", kDecisionEnds}));
  EXPECT_EQ(ReadFileBytes(kSettings), kSettingsAfterLeft);
  const auto starts = Starts(1);
  ASSERT_EQ(starts.size(), 1u);
  ExpectStartedWith(starts[0], "90");
  EXPECT_TRUE(program.Running());
}

// Removed while it runs, the service is stopped first; afterwards the program finds no
// registration and ends at once with the registry's code.
TEST_F(ServiceLife, UnregServerStopsTheServiceAndAPlainStartThenEndsWithCode2) {
  Switch("-Service");
  ASSERT_NO_FATAL_FAILURE(StartService());
  const ProgramRun removal = Switch("-UnregServer");
  EXPECT_EQ(removal.debugStrings,
            (Texts{"Stopping Pivotra Control Service code...", "Ferrox stopped"}));
  ASSERT_NO_FATAL_FAILURE(ExpectEndedCleanly());
  // Deleted while it ran, the service goes once it has stopped.
  EXPECT_TRUE(Eventually([] { return !QueryService(kService); }, kDeadline));

  const std::string settings = ReadFileBytes(kSettings);
  EXPECT_EQ(settings, kSettingsAfterFirstStart);  // the settings outlive the service
  const ProgramRun plain = Switch("", ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(plain.output, "");
  EXPECT_TRUE(plain.debugStrings.empty());
  EXPECT_EQ(ReadFileBytes(kSettings), settings);
}

// The display program's processes running in the session now.
std::size_t RunningDisplayPrograms() {
  const unique_file_handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  std::size_t count = 0;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32First(snapshot.get(), &entry); more;
       more = ::Process32Next(snapshot.get(), &entry))
    if (::lstrcmpiA(entry.szExeFile, "TurnDisplay.exe") == 0) ++count;
  return count;
}

// A display program that never ends: the service ends it at the limit, and a report that came
// meanwhile is decided on only after that. The newest turn lands last, and nothing stays running.
TEST_F(ServiceLife, AProgramThatNeverEndsIsEndedAndTheNextTurnLandsLast) {
  const std::string hangs = std::string(kRecordDirectory) + "TurnDisplay.exit";
  WriteFileBytes(hangs, "hang");
  Switch("-Service");
  ASSERT_NO_FATAL_FAILURE(StartService());
  const std::size_t mark = ServicesLog().Mark();
  Raise({0x06});
  ASSERT_EQ(Starts(1).size(), 1u);
  ASSERT_TRUE(::DeleteFileA(hangs.c_str()));
  Raise({0x02});

  const auto starts = Starts(2);
  ASSERT_EQ(starts.size(), 2u);
  ExpectStartedWith(starts[1], "180");
  EXPECT_TRUE(Eventually([] {
    return Setting("GSensorLastOrientation") == 1u && Setting("GSensorPendingOrientation") == 0u;
  }));
  const Texts lines = service_.Debug(mark);
  const auto at = [&lines](const char* text) {
    return std::find(lines.begin(), lines.end(), text) - lines.begin();
  };
  EXPECT_LT(at("Ended TurnDisplay.exe: it still ran after 10 s"), at("set to be DMDO_180"));
  EXPECT_LT(at("Left stays pending: TurnDisplay.exe still runs after 10 s"),
            at("set to be DMDO_180"));
  EXPECT_TRUE(Eventually([] { return RunningDisplayPrograms() == 0; }));
}

}  // namespace

// Every part of the chain as "TurnDisplay.exe status" reads it, the real program beside the
// installed service: the lines of the chain in order, each ok but what Wine keeps no value for,
// then the fault of a stopped service with exit code 12. The times vary: they are cut out.
TEST_F(ServiceLife, StatusSeesTheWholeChainAndAStoppedService) {
  Switch("-Service");
  ASSERT_NO_FATAL_FAILURE(StartService());
  ASSERT_TRUE(::CopyFileA(BuiltFile("..\\bin\\TurnDisplay.exe").c_str(), kDisplayProgram, FALSE));
  // Wine's desktop process starts with the first window call, and would inherit the pipe of the
  // program's output and hold it open: started here first, it inherits nothing of it.
  ASSERT_TRUE(::GetDesktopWindow() != nullptr);
  const auto chain = [](const ProgramRun& run) {
    Texts lines;
    for (std::size_t begin = 0, end; begin < run.output.size(); begin = end + 2) {
      end = run.output.find("\r\n", begin);
      if (end == std::string::npos) end = run.output.size();
      std::string line = run.output.substr(begin, end - begin);
      const std::size_t time = line.find(", recorded 20");
      if (time != std::string::npos)
        line.replace(time, std::strlen(", recorded 2026-12-09 20:21:02 UTC"), ", recorded <time>");
      lines.push_back(line);
    }
    return lines.size() < 5 ? lines : Texts(lines.end() - 5, lines.end());
  };
  const std::string noValue = " cannot be read on this system (error 124)";
  const ProgramRun running = RunProgram(kDisplayProgram, "status");
  ASSERT_TRUE(running.ended);
  EXPECT_EQ(running.exitCode, 0u) << running.output;
  EXPECT_EQ(chain(running),
            (Texts{"Service Pivotra: ok; running; automatic start; the recovery actions" + noValue +
                       "; the failure-actions flag" + noValue +
                       "; preshutdown timeout 10000 ms; the SID type" + noValue +
                       "; the required privileges" + noValue,
                   "G-sensor's WMI class: ok; ZEB_AcpiEvent_Btn2 in ROOT\\WMI",
                   "Subscription: ok; subscribed, recorded <time>: subscribed at attempt 1",
                   "Last display program: ok; none yet",
                   "Event source Pivotra: ok; messages from " + std::string(kProgram) +
                       "; TypesSupported 7"}));

  ASSERT_NO_FATAL_FAILURE(StopService());
  const ProgramRun stopped = RunProgram(kDisplayProgram, "status");
  ASSERT_TRUE(stopped.ended);
  EXPECT_EQ(stopped.exitCode, 12u) << stopped.output;
  const Texts faults = chain(stopped);
  ASSERT_EQ(faults.size(), 5u) << stopped.output;
  EXPECT_EQ(faults[0].rfind("Service Pivotra: fault; stopped (expected: running); ", 0), 0u);
  // The wait thread records its stop unless the process ends before it can.
  EXPECT_EQ(faults[2].rfind("Subscription: fault; ", 0), 0u) << faults[2];
}

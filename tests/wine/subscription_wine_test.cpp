// The WMI subscription against the test WMI provider, which is WMI's locator in this program's
// prefix: the calls and lines of a subscription, every failing step with what it gives back,
// a subscription lost and made again, and events that travel from the event tool through the
// sink and a worker to a started display-rotation program (the recording stand-in beside it).
#include <gtest/gtest.h>

#include <windows.h>
#include <wbemcli.h>
#include <wrl/client.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/ModuleDirectory.h"
#include "common/UniqueHandle.h"
#include "common/win32_stop_signal.h"
#include "events/EventSink.h"
#include "events/Subscription.h"
#include "orientation/OrientationWorker.h"
#include "orientation/SettingsFile.h"
#include "tests/support/DebugMonitor.h"
#include "tests/support/DeleteWatch.h"
#include "tests/support/Eventually.h"
#include "tests/support/SettingsTexts.h"
#include "tests/support/TempDir.h"
#include "tests/support/TurnDisplayRecord.h"
#include "tools/wmi-test-provider/ProviderClient.h"

namespace {

using namespace std::chrono_literals;
using Microsoft::WRL::ComPtr;
using Lines = std::vector<std::string>;

constexpr DWORD kChannelTimeoutMs = 10000;
constexpr const char* kSubscribed = "ExecNotificationQueryAsync OK";
constexpr const char* kWaitThreadEnds = "Thread_WaitWMIEventSrv_vOrrinG_SensorCtrl: Thread going to terminate";
constexpr const char* kConnected = "Connected to ROOT\\WMI namespace";
constexpr const char* kNoApartment =
    "Could not create IUnsecuredApartment, events go to the sink. Error code = 0x80040154";

// The subscription's event-log entries, as the service would write them.
std::mutex g_noticesLock;
Lines g_notices;

void RecordNotice(SubscriptionNotice notice, const char* text) {
  const std::lock_guard<std::mutex> hold(g_noticesLock);
  g_notices.push_back((notice == SubscriptionNotice::Failed ? "warning: " : "information: ") +
                      std::string(text));
}
Lines Notices() {
  const std::lock_guard<std::mutex> hold(g_noticesLock);
  return g_notices;
}

// Wine is 64-bit Windows: the 64-bit build runs on it natively, the 32-bit one under WOW64.
std::string BitnessLine() { return "Running Windows is 64-bit"; }

// What Ferrox_Start writes on the calling thread, and the wait thread's first line.
Lines StartLines() {
  return {"[Ferrox_Start] Pivotra control Service starting...", BitnessLine(),
          "Thread_WaitWMIEventSrv_vOrrinG_SensorCtrl Starting...",
          "Thread_WaitWMIEventSrv_vOrrinG_SensorCtrl: Thread going to start..."};
}

Lines Concat(Lines first, const Lines& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

// The provider's journal lines for each call of a successful subscription.
const std::string kCreateLocator = "CreateInstance(IWbemLocator) -> 0x0";
const std::string kConnect =
    "ConnectServer(ROOT\\WMI, user=null, password=null, locale=null, flags=0x0, authority=null, "
    "context=null) -> ";
const std::string kBlanket =
    "SetBlanket(authn=10, authz=0, principal=null, level=3, impersonation=3, identity=null, "
    "capabilities=0x0) -> ";
const std::string kQuery =
    "ExecNotificationQueryAsync(language=WQL, query=SELECT * FROM ZEB_AcpiEvent_Btn2, "
    "flags=0x80, context=null) -> ";

std::string Directory() { return GetModuleDirectory(true); }
std::string SettingsPath() { return Directory() + settings::kFileName; }

std::uint32_t StoredOrientation() {
  return ::GetPrivateProfileIntA(settings::kSection, settings::kLastOrientation, 0,
                                 SettingsPath().c_str());
}

struct ToolRun {
  DWORD exitCode = 0xFFFFFFFF;
  std::string output;  // standard output and error together, '\r' dropped
};

// Runs the event tool with arguments and waits for it to end.
ToolRun RunTool(const std::string& arguments) {
  char tool[MAX_PATH] = {};
  ::GetFullPathNameA((Directory() + PIVOTRA_WMI_EVENT_TOOL).c_str(), MAX_PATH, tool, nullptr);
  std::string commandLine = "\"" + std::string(tool) + "\" " + arguments;

  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  ToolRun run;
  if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
  const unique_handle reader(readEnd);
  unique_handle writer(writeEnd);
  ::SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = writer.get();
  startup.hStdError = writer.get();
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &process)) {
    run.output = "could not start " + commandLine;
    return run;
  }
  const unique_handle processHandle(process.hProcess);
  const unique_handle threadHandle(process.hThread);
  writer.reset();  // the pipe ends when the tool's copy goes

  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(reader.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
    run.output.append(buffer, read);
  if (::WaitForSingleObject(processHandle.get(), 30000) == WAIT_OBJECT_0)
    ::GetExitCodeProcess(processHandle.get(), &run.exitCode);
  run.output.erase(std::remove(run.output.begin(), run.output.end(), '\r'), run.output.end());
  return run;
}

std::string Trace(const Lines& lines) {
  std::string text;
  for (const std::string& line : lines) text += "  " + line + (line.empty() || line.back() != '\n' ? "\n" : "");
  return text;
}

class Subscription : public testing::Test {
 protected:
  void SetUp() override {
    ::DeleteFileA(SettingsPath().c_str());
    ::DeleteFileA((Directory() + "TurnDisplay.record").c_str());
    ASSERT_EQ(wmitest::ChooseFailure(wmitest::Step::None), ERROR_SUCCESS);
    ASSERT_TRUE(monitor_.listening());
    SetSubscriptionLog(RecordNotice);
  }

  void TearDown() override {
    wmitest::ChooseFailure(wmitest::Step::None);
    if (!HasFailure()) return;
    std::string error;
    const auto reply = wmitest::Ask(wmitest::Request{}, 2000, error);
    std::printf("Diagnostic lines of this process:\n%s\nThe provider's report:\n%s\n",
                Trace(monitor_.Texts()).c_str(), reply ? reply->c_str() : error.c_str());
  }

  // The provider's report, from this process's provider.
  wmitest::Report Report() {
    std::string error;
    const auto report = wmitest::AskReport(kChannelTimeoutMs, error);
    EXPECT_TRUE(report) << error;
    if (!report) return {};
    EXPECT_EQ(report->processId, ::GetCurrentProcessId());
    return *report;
  }

  // Starts the listening work and waits for the wait thread's line.
  void StartAndWaitFor(const char* line) {
    delete_watch::WatchNextOfSize(sizeof(EventSink));
    Ferrox_Start();
    ASSERT_TRUE(monitor_.WaitFor(line, 30s)) << "no \"" << line << "\"";
  }

  DebugMonitor monitor_;
};

TEST_F(Subscription, SubscribesWithTheDesignedCallsAndLines) {
  StartAndWaitFor(kSubscribed);

  EXPECT_EQ(monitor_.Texts(),
            Concat(StartLines(),
                   {"Connected to ROOT\\WMI namespace",
                    "Could not create IUnsecuredApartment, events go to the sink. Error code = "
                    "0x80040154",
                    BitnessLine(), kSubscribed}));
  const wmitest::Report report = Report();
  EXPECT_EQ(report.journal, (Lines{kCreateLocator, kConnect + "0x0", kBlanket + "0x0", kQuery + "0x0"}));
  // The subscription keeps everything it obtained.
  EXPECT_EQ(report.locatorRefs, 1);
  EXPECT_EQ(report.servicesRefs, 1);
  EXPECT_TRUE(report.subscribed);
  // Without the unsecured apartment the response handler is the sink itself.
  EXPECT_EQ(report.handler, reinterpret_cast<std::uintptr_t>(delete_watch::Watched()));
  EXPECT_FALSE(delete_watch::Freed());
  EXPECT_EQ(ReadFileBytes(SettingsPath()), kSettingsAfterFirstStart);
}

// A step fails once: what it obtained goes back, and the next attempt, a second later,
// subscribes. The event log hears of the failure and of the recovery.
struct FailureRow {
  const char* name;
  wmitest::Step step;
  std::uint32_t code;  // 0: the provider's usual code for the step
  Lines lines;         // of the failed attempt, after the wait thread's first line
  Lines journal;       // of the failed attempt
  bool sinkMade;       // by the failed attempt
};

void PrintTo(const FailureRow& row, std::ostream* out) { *out << row.name; }

class FailingStep : public Subscription, public testing::WithParamInterface<FailureRow> {};

TEST_P(FailingStep, IsLoggedGivesBackWhatWasObtainedAndIsTriedAgain) {
  const FailureRow& row = GetParam();
  ASSERT_EQ(wmitest::ChooseFailure(row.step, row.code, 1), ERROR_SUCCESS);
  StartAndWaitFor(kSubscribed);
  SignalStopping();  // as the service's stop does
  ASSERT_TRUE(monitor_.WaitFor(kWaitThreadEnds, 30s)) << "the wait thread did not end";

  // The sink's line comes with the attempt that makes it.
  const Lines next = row.sinkMade ? Lines{kConnected, kNoApartment, kSubscribed, kWaitThreadEnds}
                                  : Lines{kConnected, kNoApartment, BitnessLine(), kSubscribed,
                                          kWaitThreadEnds};
  EXPECT_EQ(monitor_.Texts(), Concat(Concat(StartLines(), row.lines), next));
  const wmitest::Report report = Report();
  EXPECT_EQ(report.journal,
            Concat(row.journal, {kCreateLocator, kConnect + "0x0", kBlanket + "0x0", kQuery + "0x0",
                                 "services released", "locator released"}));
  // The stop cancels nothing, and gives back everything it held.
  EXPECT_EQ(report.locatorRefs, 0);
  EXPECT_EQ(report.servicesRefs, 0);
  EXPECT_TRUE(report.subscribed);
  // One sink for both attempts, kept for the rest of the process.
  EXPECT_EQ(report.handler, reinterpret_cast<std::uintptr_t>(delete_watch::Watched()));
  EXPECT_FALSE(delete_watch::Freed());
  EXPECT_EQ(ReadFileBytes(SettingsPath()), kSettingsAfterFirstStart);
  EXPECT_EQ(Notices(), (Lines{"warning: " + row.lines.back(),
                              "information: subscribed again at attempt 2"}));
}

INSTANTIATE_TEST_SUITE_P(
    Table, FailingStep,
    testing::Values(
        FailureRow{"Locator",
                   wmitest::Step::Locator,
                   0,
                   {"Failed to create IWbemLocator object. 0x80040154"},
                   {"CreateInstance(IWbemLocator) -> 0x80040154"},
                   false},
        FailureRow{"Connection",
                   wmitest::Step::Connect,
                   0,
                   {"Could not connect. Error code = 0x80041003"},
                   {kCreateLocator, kConnect + "0x80041003", "locator released"},
                   false},
        FailureRow{"ConnectionWithAChosenCode",
                   wmitest::Step::Connect,
                   0x8004100E,
                   {"Could not connect. Error code = 0x8004100E"},
                   {kCreateLocator, kConnect + "0x8004100E", "locator released"},
                   false},
        FailureRow{"ProxyBlanket",
                   wmitest::Step::Blanket,
                   0,
                   {kConnected, "Could not set proxy blanket. Error code = 0x80070005"},
                   {kCreateLocator, kConnect + "0x0", kBlanket + "0x80070005", "services released",
                    "locator released"},
                   false},
        FailureRow{"NotificationQuery",
                   wmitest::Step::Query,
                   0,
                   {kConnected, kNoApartment, BitnessLine(),
                    "ExecNotificationQueryAsync failed with = 0x80041010"},
                   {kCreateLocator, kConnect + "0x0", kBlanket + "0x0", kQuery + "0x80041010",
                    "services released", "locator released"},
                   true}),
    [](const testing::TestParamInfo<FailureRow>& info) { return std::string(info.param.name); });

// The first row of the failure table: a thread that cannot join the multithreaded apartment
// stops at once, obtains nothing and leaves its apartment as it was.
TEST_F(Subscription, ThreadThatCannotJoinTheMultithreadedApartmentStopsAtOnce) {
  HRESULT rejoin = E_FAIL;
  std::thread apartmentThread([&] {
    ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(SubscribeWMIEvent(), 0);
    // S_FALSE: still initialised, so the routine did not uninitialise what it never joined.
    rejoin = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(rejoin)) ::CoUninitialize();
    ::CoUninitialize();
  });
  apartmentThread.join();

  EXPECT_EQ(rejoin, S_FALSE);
  DebugPrint("-- end --");
  ASSERT_TRUE(monitor_.WaitFor("-- end --", 10s));
  EXPECT_EQ(monitor_.Texts(),
            (Lines{"Failed to initialize COM library. Error code = 0x80010106", "-- end --"}));
  EXPECT_EQ(::GetModuleHandleA("pivotra-wmi-test-provider.dll"), nullptr) << "WMI was asked";
}

// What each event leads to after the previous one: the first Down finds the stored
// orientation of a fresh start and turns nothing.
struct Travel {
  const char* event;
  const char* word;      // the worker's line for the decoded orientation
  const char* rotation;  // the launcher's line, nullptr when nothing turns
  const char* angle;
  std::uint32_t stored;
};

TEST_F(Subscription, EventsTravelFromTheToolToTheDisplayProgram) {
  StartAndWaitFor(kSubscribed);
  const Travel travels[] = {
      {"down", "Down", nullptr, nullptr, 2},
      {"left", "Left", "set to be DMDO_90", "90", 4},
      {"up", "Up", "set to be DMDO_180", "180", 1},
      {"right", "Right", "set to be DMDO_270", "270", 3},
      {"down", "Down", "set to be DMDO_DEFAULT", "0", 2},
  };
  std::size_t launches = 0;
  for (const Travel& travel : travels) {
    SCOPED_TRACE(travel.event);
    const std::size_t before = monitor_.Texts().size();
    const ToolRun run = RunTool(std::string("raise ") + travel.event);
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(run.output, "indicate 0x0\n");

    ASSERT_TRUE(Eventually([&] {
      const Lines texts = monitor_.Texts();
      return std::count(texts.begin() + static_cast<std::ptrdiff_t>(before), texts.end(),
                        "Thread_WMIEvent_G_SensorCtrlEntry: Thread terminated") == 1;
    }));
    Lines lines = monitor_.Texts();
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(before));
    const std::uint32_t data = *wmitest::ParseEventData(travel.event);
    Lines expected = {"Pivotra: Data: Bstr=, UI32=" + std::to_string(data) +
                          ", BtnId=" + std::to_string(data) + "\n",
                      "Thread_WMIEvent_G_SensorCtrlEntry: Start to access Event...", travel.word};
    if (travel.rotation) {
      expected.push_back(travel.rotation);
      ++launches;
    }
    expected.push_back("Thread_WMIEvent_G_SensorCtrlEntry: Thread terminated");
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(StoredOrientation(), travel.stored);

    const auto starts = WaitForStarts(Directory(), launches);
    ASSERT_EQ(starts.size(), launches);
    if (travel.rotation) {
      EXPECT_EQ(starts.back().commandLine,
                "\"" + Directory() + "TurnDisplay.exe\" " + travel.angle);
      EXPECT_EQ(starts.back().argument, travel.angle);
    }
  }
  // Every object went back to the provider once Indicate returned.
  const wmitest::Report report = Report();
  EXPECT_EQ(report.eventRefs, 0);
  EXPECT_EQ(std::count(report.journal.begin(), report.journal.end(), "Indicate(1: 0x6) -> 0x0"), 1);
}

TEST_F(Subscription, TheLastEventOfABurstIsDecidedOn) {
  StartAndWaitFor(kSubscribed);
  constexpr int kBatches = 20;
  const ToolRun run = RunTool("burst " + std::to_string(kBatches) + " left up");
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  std::string expectedOutput;
  for (int i = 0; i < kBatches; ++i) expectedOutput += "indicate 0x0\n";
  EXPECT_EQ(run.output, expectedOutput);

  // Once the tool has returned every byte is written; the last one is Up's.
  ASSERT_TRUE(Eventually([] { return StoredOrientation() == 1 && IoPortBusy.load() == 0; }));
  Lines rotations;
  for (const std::string& line : monitor_.Texts())
    if (line.rfind("set to be ", 0) == 0) rotations.push_back(line);
  ASSERT_FALSE(rotations.empty());
  EXPECT_EQ(rotations.back(), "set to be DMDO_180");
  const auto starts = WaitForStarts(Directory(), rotations.size());
  EXPECT_EQ(starts.size(), rotations.size());
  EXPECT_TRUE(std::any_of(starts.begin(), starts.end(),
                          [](const TurnDisplayStart& start) { return start.argument == "180"; }));

  const wmitest::Report report = Report();
  EXPECT_EQ(report.eventRefs, 0);
  EXPECT_EQ(std::count(report.journal.begin(), report.journal.end(), "Indicate(2: 0x6, 0x2) -> 0x0"),
            kBatches);
}

// A standing subscription that WMI ends, or whose connection breaks, is made again, and the sink
// keeps its counts: with a threshold of two, a Left before and a Left after turn the screen
// together. (A resume keeps a subscription whose connection stands, and makes one again only as
// the check would: tests/native/subscription_loop_test.cpp.)
struct Loss {
  const char* name;
  void (*cause)();
  const char* line;     // what the process says of it first
  const char* journal;  // what the provider saw of it
  bool failure;         // written to the event log, with the recovery
};

void PrintTo(const Loss& loss, std::ostream* out) { *out << loss.name; }

class LostSubscription : public Subscription, public testing::WithParamInterface<Loss> {};

void RunToolAndExpect(const char* arguments, const char* output) {
  const ToolRun run = RunTool(arguments);
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(run.output, output);
}

TEST_P(LostSubscription, IsMadeAgainAndTheSinkKeepsItsCounts) {
  const Loss& loss = GetParam();
  WriteFileBytes(SettingsPath(), "[G-SensorCtrl]\r\nGSensor_Active_Rotation_Count=2\r\n");
  // WMI is asked every half second whether it is still there.
  std::thread waitThread([] { SubscribeWMIEvent(500ms); });
  const bool subscribed = monitor_.WaitFor(kSubscribed, 30s);
  if (subscribed) {
    RunToolAndExpect("raise left", "indicate 0x0\n");
    EXPECT_TRUE(monitor_.WaitFor("Thread_WMIEvent_G_SensorCtrlEntry: Thread terminated", 30s));
    const std::size_t before = monitor_.Texts().size();
    loss.cause();
    EXPECT_TRUE(Eventually([&] {
      const Lines texts = monitor_.Texts();
      return std::count(texts.begin(), texts.end(), kSubscribed) == 2;
    })) << "not subscribed again";
    Lines lines = monitor_.Texts();
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(before));
    EXPECT_EQ(lines, (Lines{loss.line, kConnected, kNoApartment, kSubscribed}));
    RunToolAndExpect("raise left", "indicate 0x0\n");
    EXPECT_TRUE(Eventually([] { return StoredOrientation() == 4; })) << "the first Left was lost";
    const wmitest::Report report = Report();
    EXPECT_EQ(std::count(report.journal.begin(), report.journal.end(), loss.journal), 1);
    EXPECT_EQ(report.servicesRefs, 1);
    const Lines notices{"warning: " + std::string(loss.line),
                        "information: subscribed again at attempt 1"};
    EXPECT_EQ(Notices(), loss.failure ? notices : Lines{});
  }
  SignalStopping();
  waitThread.join();
  ASSERT_TRUE(subscribed);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LostSubscription,
    testing::Values(
        Loss{"WmiEndsIt", [] { RunToolAndExpect("end 0x80041004", "setstatus 0x0\n"); },
             "Call complete. hResult = 0x80041004", "subscription ended", true},
        Loss{"ItsConnectionBreaks", [] { RunToolAndExpect("drop", "dropped 0x0\n"); },
             "Lost the connection to ROOT\\WMI. Error code = 0x800706BA", "connection dropped",
             true}),
    [](const testing::TestParamInfo<Loss>& info) { return std::string(info.param.name); });

TEST_F(Subscription, StatusReportsReachTheSink) {
  StartAndWaitFor(kSubscribed);
  struct Status {
    const char* arguments;
    const char* line;
  };
  const Status statuses[] = {
      {"status progress", "Call in progress."},
      {"status complete 0x80041032", "Call complete. hResult = 0x80041032"},
  };
  for (const Status& status : statuses) {
    SCOPED_TRACE(status.arguments);
    const ToolRun run = RunTool(status.arguments);
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(run.output, "setstatus 0x0\n");
    EXPECT_TRUE(monitor_.WaitFor(status.line, 10s));
  }
}

TEST_F(Subscription, ToolFailsWithoutASubscription) {
  ASSERT_EQ(wmitest::ChooseFailure(wmitest::Step::Query), ERROR_SUCCESS);
  StartAndWaitFor("ExecNotificationQueryAsync failed with = 0x80041010");
  const ToolRun run = RunTool("--timeout 5 raise left");
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(run.output, "pivotra-wmi-event: error: no subscription\n");
  const ToolRun wrong = RunTool("raise sideways");
  EXPECT_EQ(wrong.exitCode, 2u);
}

// The provider is as strict as WMI: anything but the firmware event's query in ROOT\WMI is
// refused, so the tests above see exactly what the service asks for.
TEST(TestProvider, ServesOnlyTheFirmwareEventQuery) {
  ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
  {
    ComPtr<IWbemLocator> locator;
    ASSERT_EQ(::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_IWbemLocator,
                                 reinterpret_cast<void**>(locator.GetAddressOf())),
              S_OK);
    ComPtr<IWbemServices> services;
    const unique_bstr other(::SysAllocString(L"ROOT\\CIMV2"));
    EXPECT_EQ(locator->ConnectServer(other.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                     services.GetAddressOf()),
              static_cast<HRESULT>(WBEM_E_INVALID_NAMESPACE));
    const unique_bstr wmi(::SysAllocString(L"root\\wmi"));
    ASSERT_EQ(locator->ConnectServer(wmi.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                     services.GetAddressOf()),
              S_OK);

    auto* sink = new EventSink;
    sink->AddRef();
    struct Query {
      const char* name;
      const wchar_t* language;
      const wchar_t* text;
      LONG flags;
      IWbemObjectSink* handler;
      std::uint32_t result;
    };
    const Query queries[] = {
        {"no handler", L"WQL", L"SELECT * FROM ZEB_AcpiEvent_Btn2", WBEM_FLAG_SEND_STATUS,
         nullptr, WBEM_E_INVALID_PARAMETER},
        {"another language", L"SQL", L"SELECT * FROM ZEB_AcpiEvent_Btn2",
         WBEM_FLAG_SEND_STATUS, sink, WBEM_E_INVALID_QUERY_TYPE},
        {"another class", L"WQL", L"SELECT * FROM ZEB_AcpiEvent_Btn1", WBEM_FLAG_SEND_STATUS,
         sink, WBEM_E_INVALID_QUERY},
        {"no status flag", L"WQL", L"SELECT * FROM ZEB_AcpiEvent_Btn2", 0, sink,
         WBEM_E_INVALID_PARAMETER},
        {"the firmware's query", L"WQL", L"SELECT * FROM ZEB_AcpiEvent_Btn2",
         WBEM_FLAG_SEND_STATUS, sink, WBEM_S_NO_ERROR},
    };
    for (const Query& query : queries) {
      const unique_bstr language(::SysAllocString(query.language));
      const unique_bstr text(::SysAllocString(query.text));
      EXPECT_EQ(static_cast<std::uint32_t>(services->ExecNotificationQueryAsync(
                    language.get(), text.get(), query.flags, nullptr, query.handler)),
                query.result)
          << query.name;
    }
    // The accepted handler is kept: one reference of the provider's beside the test's.
    EXPECT_EQ(sink->m_refCount, 2);
    sink->Release();
  }
  ::CoUninitialize();
}

}  // namespace

// The service's steps against a stand-in module: the order of its status reports and log
// entries, the control handler's table, and a stop that comes before the run thread can be told.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/portable_debug_output.h"
#include "service/ServiceControl.h"

namespace {

using namespace service_control;
using Calls = std::vector<std::string>;

std::string StateName(std::uint32_t state) {
  switch (state) {
    case kStopped: return "STOPPED";
    case kStartPending: return "START_PENDING";
    case kStopPending: return "STOP_PENDING";
    case kRunning: return "RUNNING";
    default: return std::to_string(state);
  }
}

// Records every platform call as one line. Its message queue behaves like a thread's: a quit
// posted before the queue exists is lost.
class FakeModule {
 public:
  static constexpr std::uint32_t kRunThread = 7;

  struct Status {
    std::uint32_t dwServiceType = kOwnProcess;
    std::uint32_t dwCurrentState = kStopped;
    std::uint32_t dwControlsAccepted = kControlsAccepted;
    std::uint32_t dwWin32ExitCode = 0;
    std::uint32_t dwServiceSpecificExitCode = 0;
    std::uint32_t dwCheckPoint = 0;
    std::uint32_t dwWaitHint = 0;
  };

  Status m_status;
  const void* m_statusHandle = nullptr;
  std::atomic<std::uint32_t> m_runThreadId{0};
  std::atomic<bool> m_stopRequested{false};
  std::atomic<bool> m_serviceMainEntered{false};
  std::atomic<std::uint32_t> m_displayState{kDisplayUnknown};
  bool m_isService = true;
  FailureRecord m_failure;

  bool dispatcherConnects = true;
  bool dispatcherStartsServiceMain = true;  // false: the manager went before it could start one
  std::chrono::milliseconds logDelay{0};    // each event-log entry takes this long
  bool handlerRegisters = true;
  bool quitWhenLooping = false;  // as when the last lock of a local server goes
  bool listenThrows = false;     // memory runs out as the listening work starts
  std::atomic<bool> handlerRegistered{false};

  ~FakeModule() {
    if (serviceMain_.joinable()) serviceMain_.join();
  }

  void ReportStatus(std::uint32_t state) {
    std::lock_guard<std::mutex> hold(lock_);
    m_status.dwCurrentState = state;
    calls_.push_back("report " + StateName(state));
    changed_.notify_all();
  }

  void LogEvent(const event_messages::Message& message, std::initializer_list<const char*> strings) {
    EXPECT_GE(strings.size(), message.strings) << message.id;  // else Event Viewer shows "%2"
    std::string text;
    for (const char* string : strings) text += (text.empty() ? "" : " / ") + std::string(string);
    std::this_thread::sleep_for(logDelay);
    Record("log " + text);
  }

  void EndProcess(std::uint32_t code) { Record("end process " + std::to_string(code)); }

  void Run() { RunBody(*this); }

  // As the platform's: the service main routine runs on a thread of its own, and the dispatcher
  // returns once the service has reported stopped, whether or not that routine has returned.
  bool StartDispatcher() {
    Record("dispatcher");
    if (!dispatcherConnects) return false;
    if (!dispatcherStartsServiceMain) return true;
    serviceMain_ = std::thread([this] { ServiceMainBody(*this); });
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait(hold, [this] {
      return std::find(calls_.begin(), calls_.end(), "report STOPPED") != calls_.end() ||
             std::find(calls_.begin(), calls_.end(), "service main ended") != calls_.end();
    });
    return true;
  }

  void ServiceMainEnded() { Record("service main ended"); }

  void AwaitServiceMainEnd() {
    std::unique_lock<std::mutex> hold(lock_);
    ++awaits_;
    changed_.wait_for(hold, std::chrono::seconds(10), [this] {
      return std::find(calls_.begin(), calls_.end(), "service main ended") != calls_.end();
    });
  }

  const void* RegisterControlHandler() {
    Record("register handler");
    if (!handlerRegisters) return nullptr;
    handlerRegistered.store(true);
    return this;
  }

  std::uint32_t OpenMessageQueue() {
    std::lock_guard<std::mutex> hold(lock_);
    queueOpen_ = true;
    calls_.push_back("queue");
    return kRunThread;
  }

  void PostQuit(std::uint32_t thread) {
    std::lock_guard<std::mutex> hold(lock_);
    calls_.push_back("quit " + std::to_string(thread));
    if (thread == kRunThread && queueOpen_) {
      ++quits_;
      changed_.notify_all();
    } else {
      ++lost_;
    }
  }

  class Com {
   public:
    explicit Com(FakeModule& module) : module_(module) { module_.Record("com up"); }
    ~Com() { module_.Record("com down"); }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;

   private:
    FakeModule& module_;
  };
  Com SetUpCom() { return Com(*this); }

  int WatchDisplayState() {
    Record("watch display");
    return 0;
  }
  void StartListening() {
    Record("listen");
    if (listenThrows) throw std::bad_alloc();
  }
  void RenewSubscription() { Record("renew subscription"); }
  void CatchUp(CatchUpTrigger trigger) {
    Record(std::string("catch up after ") + TriggerName(trigger));
  }
  void StopNewDecisions() { Record("no new decision"); }
  void AwaitDecisions() { Record("decisions done"); }

  void PumpMessages() {
    Record("loop");
    if (quitWhenLooping) PostQuit(kRunThread);
    std::unique_lock<std::mutex> hold(lock_);
    const bool quit = changed_.wait_for(hold, std::chrono::seconds(10), [this] { return quits_ > 0; });
    calls_.push_back(quit ? "loop ended" : "loop timed out");
  }

  void Record(std::string call) {
    std::lock_guard<std::mutex> hold(lock_);
    calls_.push_back(std::move(call));
    changed_.notify_all();
  }

  Calls TakeCalls() {
    std::lock_guard<std::mutex> hold(lock_);
    Calls calls;
    calls.swap(calls_);
    return calls;
  }

  bool WaitForLoop() {
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, std::chrono::seconds(10), [this] {
      return std::find(calls_.begin(), calls_.end(), "loop") != calls_.end();
    });
  }

  int lost() {
    std::lock_guard<std::mutex> hold(lock_);
    return lost_;
  }

  int awaits() {
    std::lock_guard<std::mutex> hold(lock_);
    return awaits_;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  Calls calls_;
  bool queueOpen_ = false;
  int quits_ = 0;
  int lost_ = 0;
  int awaits_ = 0;
  std::thread serviceMain_;
};

const ControlEvent kStopControl{kStop, 0, std::nullopt};

class ServiceControl : public testing::Test {
 protected:
  void SetUp() override { TakeCapturedDebugOutput(); }
};

TEST_F(ServiceControl, StartAndStopReportInOrder) {
  FakeModule module;
  std::thread serviceMain([&] { ServiceMainBody(module); });
  ASSERT_TRUE(module.WaitForLoop());
  HandlerBody(module, kStopControl);
  serviceMain.join();

  EXPECT_EQ(module.TakeCalls(),
            (Calls{"register handler", "report START_PENDING", "watch display", "queue", "com up",
                   "log Service started", "report RUNNING", "listen", "loop", "no new decision",
                   "report STOP_PENDING", "quit 7", "loop ended", "decisions done", "com down",
                   "report STOPPED", "log Service stopped", "service main ended"}));
  EXPECT_EQ(TakeCapturedDebugOutput(),
            (Calls{"CServiceModule::Run() ...", "Exit from CServiceModule::Run()"}));
  EXPECT_EQ(module.m_status.dwServiceType, kOwnProcess);
  EXPECT_EQ(module.m_status.dwCurrentState, kStopped);
  EXPECT_EQ(module.m_status.dwControlsAccepted, kControlsAccepted);
  EXPECT_EQ(module.m_status.dwWin32ExitCode, 0u);
  EXPECT_EQ(module.m_status.dwCheckPoint, 0u);
  EXPECT_EQ(module.m_status.dwWaitHint, 0u);
  EXPECT_EQ(module.lost(), 0);
}

TEST_F(ServiceControl, WithoutAHandlerNothingIsReported) {
  FakeModule module;
  module.handlerRegisters = false;
  ServiceMainBody(module);
  // The process ends, which the service control manager takes for a failure.
  EXPECT_EQ(module.TakeCalls(), (Calls{"register handler", "log Handler not installed",
                                       "end process 3", "service main ended"}));
  EXPECT_TRUE(TakeCapturedDebugOutput().empty());  // Run never started
}

struct ControlCase {
  std::uint32_t control;
  Calls calls;
  std::uint32_t eventType = 0;
  std::optional<std::uint32_t> displayState = std::nullopt;
  std::uint32_t previousDisplay = kDisplayUnknown;
};

const Calls kStopCalls{"no new decision", "report STOP_PENDING", "quit 7"};

class HandlerTable : public testing::TestWithParam<ControlCase> {};

TEST_P(HandlerTable, Answers) {
  const ControlCase& c = GetParam();
  FakeModule module;
  module.m_runThreadId.store(module.OpenMessageQueue());
  module.m_displayState.store(c.previousDisplay);
  module.TakeCalls();
  HandlerBody(module, {c.control, c.eventType, c.displayState});
  EXPECT_EQ(module.TakeCalls(), c.calls);
  EXPECT_EQ(module.m_stopRequested.load(), c.calls == kStopCalls);
  EXPECT_EQ(module.m_displayState.load(), c.displayState.value_or(c.previousDisplay));
}

const Calls kSilent{};
const Calls kBadRequest{"log Bad service request"};

// Session and power controls: what may have let the display program turn the screen now.
constexpr std::uint32_t kSessionLock = 7, kRemoteConnect = 3, kSuspend = 4, kDimmed = 2;
const ControlCase kSessionAndPower[] = {
    {kSessionChange, {"catch up after a sign-in"}, kSessionLogon},
    {kSessionChange, {"catch up after an unlock"}, kSessionUnlock},
    {kSessionChange, {"catch up after a connection to the console"}, kConsoleConnect},
    {kSessionChange, kSilent, kSessionLock},
    {kSessionChange, kSilent, kRemoteConnect},
    {kPowerEvent, {"renew subscription", "catch up after a resume"}, kResumeAutomatic},
    {kPowerEvent, kSilent, kSuspend},
    {kPowerEvent, {"catch up after the display coming on"}, kPowerSettingChange, kDisplayOn,
     kDisplayOff},
    // The report at registration, the display going off or dimming, and back from dimmed.
    {kPowerEvent, kSilent, kPowerSettingChange, kDisplayOn, kDisplayUnknown},
    {kPowerEvent, kSilent, kPowerSettingChange, kDisplayOff, kDisplayOn},
    {kPowerEvent, kSilent, kPowerSettingChange, kDimmed, kDisplayOn},
    {kPowerEvent, kSilent, kPowerSettingChange, kDisplayOn, kDimmed},
    // Another power setting's change carries no display state.
    {kPowerEvent, kSilent, kPowerSettingChange, std::nullopt, kDisplayOff},
};

INSTANTIATE_TEST_SUITE_P(
    Controls, HandlerTable,
    testing::Values(ControlCase{1, kStopCalls}, ControlCase{2, kSilent}, ControlCase{3, kSilent},
                    ControlCase{4, kSilent}, ControlCase{5, kSilent},
                    ControlCase{15, kStopCalls},  // preshutdown
                    ControlCase{0, kBadRequest},
                    ControlCase{6, kBadRequest}, ControlCase{127, kBadRequest},
                    ControlCase{128, kBadRequest}, ControlCase{200, kBadRequest},
                    ControlCase{255, kBadRequest}, ControlCase{256, kBadRequest},
                    ControlCase{0xFFFFFFFF, kBadRequest}));
INSTANTIATE_TEST_SUITE_P(SessionAndPower, HandlerTable, testing::ValuesIn(kSessionAndPower));

// A failure ends the service with a code of its own, so that the recovery actions apply; the
// process's exit code says it too.
TEST_F(ServiceControl, AFailureOnTheMainPathEndsTheServiceWithItsCode) {
  FakeModule module;
  module.listenThrows = true;
  ServiceMainBody(module);
  EXPECT_EQ(module.TakeCalls(),
            (Calls{"register handler", "report START_PENDING", "watch display", "queue", "com up",
                   "log Service started", "report RUNNING", "listen", "com down",
                   "no new decision", "report STOP_PENDING", "quit 7", "decisions done",
                   "report STOPPED", "log out of memory on the service's main path / 1",
                   "service main ended"}));
  EXPECT_EQ(module.m_status.dwWin32ExitCode, kServiceSpecificError);
  EXPECT_EQ(module.m_status.dwServiceSpecificExitCode, 1u);
  EXPECT_EQ(ProcessExitCode(module), 1u);
}

// The WMI wait thread's failure ends the service as a stop does, but not one told to stop.
TEST_F(ServiceControl, AFailureOnAnotherThreadEndsTheServiceUnlessAStopCameFirst) {
  for (const bool stopFirst : {false, true}) {
    FakeModule module;
    std::thread serviceMain([&] { ServiceMainBody(module); });
    ASSERT_TRUE(module.WaitForLoop());
    if (stopFirst) HandlerBody(module, kStopControl);
    FailBody(module, {service_failure::kListeningFailed, "the WMI wait thread could not start"});
    serviceMain.join();
    const Calls calls = module.TakeCalls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls.end()[-2], stopFirst ? "log Service stopped"
                                         : "log the WMI wait thread could not start / 4");
    EXPECT_EQ(module.m_status.dwServiceSpecificExitCode, stopFirst ? 0u : 4u);
  }
}

TEST_F(ServiceControl, StopBeforeTheRunThreadHasAQueueIsHonoured) {
  FakeModule module;
  HandlerBody(module, kStopControl);  // nowhere to post yet: the run thread will
  EXPECT_EQ(module.TakeCalls(), Calls{"no new decision"});

  std::thread run([&] { module.Run(); });
  run.join();
  // The run thread reports stopping, posts the quit to itself, never runs nor listens.
  EXPECT_EQ(module.TakeCalls(),
            (Calls{"queue", "report STOP_PENDING", "quit 7", "com up", "log Service started",
                   "loop", "loop ended", "decisions done", "com down"}));
  EXPECT_EQ(module.lost(), 0);
}

TEST_F(ServiceControl, StopRacingTheStartIsNeverLost) {
  std::mt19937 random(12345);
  for (int round = 0; round < 200; ++round) {
    FakeModule module;
    const int delay = static_cast<int>(random() % 200);
    std::thread serviceMain([&] { ServiceMainBody(module); });
    std::thread dispatcher([&] {
      // The handler can be called as soon as it is registered, and not before.
      while (!module.handlerRegistered.load()) std::this_thread::yield();
      for (int i = 0; i < delay; ++i) std::this_thread::yield();
      HandlerBody(module, kStopControl);
    });
    dispatcher.join();
    serviceMain.join();

    const Calls calls = module.TakeCalls();
    const auto ended = std::find(calls.begin(), calls.end(), "loop ended");
    ASSERT_NE(ended, calls.end()) << "round " << round;
    // Stopping is reported before the loop can end, and the quit is posted once, never late.
    ASSERT_LT(std::find(calls.begin(), calls.end(), "report STOP_PENDING"), ended) << "round " << round;
    ASSERT_EQ(std::count(calls.begin(), calls.end(), "quit 7"), 1) << "round " << round;
    ASSERT_EQ(calls.back(), "service main ended") << "round " << round;
    ASSERT_EQ(calls[calls.size() - 2], "log Service stopped") << "round " << round;
    ASSERT_EQ(calls[calls.size() - 3], "report STOPPED") << "round " << round;
    ASSERT_EQ(module.lost(), 0) << "round " << round;
  }
  TakeCapturedDebugOutput();
}

TEST_F(ServiceControl, UnderTheDispatcherTheServiceMainRuns) {
  FakeModule module;
  module.quitWhenLooping = true;
  StartBody(module);
  EXPECT_TRUE(module.m_isService);
  const Calls calls = module.TakeCalls();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[0], "dispatcher");
  EXPECT_EQ(calls[1], "register handler");
  EXPECT_EQ(calls.back(), "service main ended");
}

// The dispatcher gives the main thread back as soon as stopped is reported; the process may
// end only after the service main routine has logged "Service stopped".
TEST_F(ServiceControl, TheProcessWaitsForTheLastEntryOfTheServiceMain) {
  FakeModule module;
  module.quitWhenLooping = true;
  module.logDelay = std::chrono::milliseconds(100);
  StartBody(module);
  const Calls calls = module.TakeCalls();  // before the service main's thread is joined
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[calls.size() - 3], "report STOPPED");
  EXPECT_EQ(calls[calls.size() - 2], "log Service stopped");
  EXPECT_EQ(calls.back(), "service main ended");
  EXPECT_EQ(module.awaits(), 1);
}

TEST_F(ServiceControl, ADispatcherThatStartedNoServiceMainIsNotWaitedFor) {
  FakeModule module;
  module.dispatcherStartsServiceMain = false;
  const auto begin = std::chrono::steady_clock::now();
  StartBody(module);
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
  EXPECT_TRUE(module.m_isService);
  EXPECT_EQ(module.TakeCalls(), Calls{"dispatcher"});
  EXPECT_EQ(module.awaits(), 0);
}

TEST_F(ServiceControl, WithoutTheDispatcherItRunsAsALocalServer) {
  for (const bool marked : {true, false}) {
    FakeModule module;
    module.m_isService = marked;  // "LocalService" read, or not
    module.dispatcherConnects = false;
    module.quitWhenLooping = true;
    StartBody(module);
    EXPECT_FALSE(module.m_isService);
    Calls expected{"queue", "com up", "log Service started", "listen", "loop", "quit 7",
                   "loop ended", "decisions done", "com down"};
    if (marked) expected.insert(expected.begin(), "dispatcher");
    EXPECT_EQ(module.TakeCalls(), expected);
  }
}

}  // namespace

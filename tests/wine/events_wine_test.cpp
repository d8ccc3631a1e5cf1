// The event sink as a COM object on the real platform, and the subscription against Wine's own
// WMI, which accepts the query, completes it and delivers nothing.
#include <gtest/gtest.h>

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <oleauto.h>
#include <sys/stat.h>
#include <wbemcli.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/EventData.h"
#include "common/ModuleDirectory.h"
#include "common/UniqueHandle.h"
#include "events/EventSink.h"
#include "events/Subscription.h"
#include "orientation/OrientationWorker.h"
#include "orientation/SettingsFile.h"
#include "tests/support/DebugMonitor.h"
#include "tests/support/DeleteWatch.h"
#include "tests/support/Eventually.h"
#include "tests/support/SettingsTexts.h"
#include "tests/support/TempDir.h"
#include "tools/wmi-test-provider/EventObject.h"

namespace {

using namespace std::chrono_literals;

// Wine is 64-bit Windows: the 64-bit build runs on it natively, the 32-bit one under WOW64.
std::string BitnessLine() { return "Running Windows is 64-bit"; }

constexpr const char* kTurnedAway = "[Thread_WMIEvent_G_SensorCtrlEntry] Base IO port under using...";
constexpr const char* kMarker = "-- test marker --";
// EventDataByte before a test; an event that is not handled leaves it so.
constexpr std::uint8_t kUntouched = 0xA5;

// The process's standard output, sent to a file while the object lives. Assertions wait until
// it is gone: a failure message written meanwhile would land in the file.
class StdoutCapture {
 public:
  StdoutCapture() : path_(directory_.File("stdout.txt")) {
    std::fflush(stdout);
    saved_ = ::_dup(::_fileno(stdout));
    file_ = ::_open(path_.c_str(), _O_CREAT | _O_TRUNC | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    ::_dup2(file_, ::_fileno(stdout));
  }
  ~StdoutCapture() { Restore(); }
  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;

  std::string Text() const { return ReadFileBytes(path_); }

  void Restore() {
    if (saved_ < 0) return;
    std::fflush(stdout);
    ::_dup2(saved_, ::_fileno(stdout));
    ::_close(saved_);
    ::_close(file_);
    saved_ = -1;
  }

 private:
  TempDir directory_;
  std::string path_;
  int saved_ = -1;
  int file_ = -1;
};

std::vector<std::string> Without(std::vector<std::string> texts, const std::string& text) {
  texts.erase(std::remove(texts.begin(), texts.end(), text), texts.end());
  return texts;
}

// The lines of this process so far, without the markers: whatever was written before this
// call has arrived once the marker written now has.
std::vector<std::string> LinesSoFar(const DebugMonitor& monitor) {
  static int markers = 0;
  const std::string marker = kMarker + std::to_string(++markers);
  DebugPrint("%s", marker.c_str());
  EXPECT_TRUE(monitor.WaitFor(marker, 10s));
  std::vector<std::string> texts = monitor.Texts();
  texts.erase(std::find(texts.begin(), texts.end(), marker), texts.end());
  texts.erase(std::remove_if(texts.begin(), texts.end(),
                             [](const std::string& text) { return text.rfind(kMarker, 0) == 0; }),
              texts.end());
  return texts;
}

// One "Data" value as a test hands it to an event object; none: no "Data" property at all.
struct Data {
  VARTYPE type;
  LONG integer;
  const wchar_t* text;
};
constexpr Data Integer(std::uint32_t value) { return {VT_I4, static_cast<LONG>(value), nullptr}; }
constexpr Data Text(const wchar_t* value) { return {VT_BSTR, 0, value}; }
constexpr Data Null() { return {VT_NULL, 0, nullptr}; }

IWbemClassObject* MakeEvent(const std::optional<Data>& data, std::atomic<long>* refs) {
  if (!data) return wmitest::CreateEventObject(L"ZEB_AcpiEvent_Btn2", nullptr, refs);
  VARIANT value;
  ::VariantInit(&value);
  V_VT(&value) = data->type;
  if (data->type == VT_I4) V_I4(&value) = data->integer;
  if (data->type == VT_BSTR) V_BSTR(&value) = ::SysAllocString(data->text);
  IWbemClassObject* const object = wmitest::CreateEventObject(L"ZEB_AcpiEvent_Btn2", &value, refs);
  ::VariantClear(&value);
  return object;
}

class SinkTest : public testing::Test {
 protected:
  void SetUp() override {
    ::DeleteFileA((GetModuleDirectory(true) + settings::kFileName).c_str());
    EventDataByte.store(kUntouched);
    // Every worker is turned away at once and leaves one line: what was started can be counted
    // without a launch or a write to the settings file.
    IoPortBusy.store(1);
    sink_ = new EventSink;
    sink_->AddRef();
    ASSERT_TRUE(monitor_.listening());
  }
  void TearDown() override {
    sink_->Release();
    IoPortBusy.store(0);
  }

  DebugMonitor monitor_;
  EventSink* sink_ = nullptr;
};

TEST_F(SinkTest, QueryInterfaceGivesTheSinkForItsTwoInterfacesOnly) {
  struct Case {
    const char* name;
    IID iid;
    bool served;
  };
  const Case cases[] = {
      {"IWbemObjectSink", IID_IWbemObjectSink, true},
      {"IUnknown", IID_IUnknown, true},
      {"IDispatch", IID_IDispatch, false},
      {"IWbemClassObject", IID_IWbemClassObject, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    void* out = &out;  // anything but null, to see it overwritten
    const HRESULT result = sink_->QueryInterface(c.iid, &out);
    if (c.served) {
      EXPECT_EQ(result, WBEM_S_NO_ERROR);
      EXPECT_EQ(out, static_cast<IWbemObjectSink*>(sink_));
      EXPECT_EQ(sink_->m_refCount, 2);
      if (result == WBEM_S_NO_ERROR) sink_->Release();
    } else {
      EXPECT_EQ(result, E_NOINTERFACE);
      EXPECT_EQ(out, nullptr);
      EXPECT_EQ(sink_->m_refCount, 1);
    }
  }
}

TEST(EventSink, LivesByItsCountAndGoesWithTheLastRelease) {
  auto* sink = new EventSink;
  delete_watch::Watch(sink);
  EXPECT_EQ(sink->m_refCount, 0);
  EXPECT_EQ(sink->AddRef(), 1u);
  EXPECT_EQ(sink->AddRef(), 2u);
  EXPECT_EQ(sink->Release(), 1u);
  EXPECT_FALSE(delete_watch::Freed());
  EXPECT_EQ(sink->Release(), 0u);
  EXPECT_TRUE(delete_watch::Freed());
}

struct IndicateCase {
  const char* name;
  std::vector<std::optional<Data>> objects;
  std::vector<std::string> lines;  // this process's lines, the workers' apart
  std::size_t workers;
  std::uint8_t byte;  // EventDataByte afterwards
};

void PrintTo(const IndicateCase& c, std::ostream* out) { *out << c.name; }

class IndicateTest : public SinkTest, public testing::WithParamInterface<IndicateCase> {};

TEST_P(IndicateTest, ReadsDataStoresTheLowByteAndStartsOneWorkerPerEvent) {
  const IndicateCase& c = GetParam();
  std::atomic<long> refs{0};
  std::vector<IWbemClassObject*> objects;
  for (const auto& data : c.objects) objects.push_back(MakeEvent(data, &refs));
  ASSERT_EQ(std::count(objects.begin(), objects.end(), nullptr), 0);

  StdoutCapture capture;
  const HRESULT result = sink_->Indicate(static_cast<LONG>(objects.size()), objects.data());
  capture.Restore();

  EXPECT_EQ(result, WBEM_S_NO_ERROR);
  EXPECT_EQ(capture.Text(), "");
  EXPECT_EQ(EventDataByte.load(), c.byte);
  ASSERT_TRUE(Eventually([&] {
    const auto texts = monitor_.Texts();
    return static_cast<std::size_t>(std::count(texts.begin(), texts.end(), kTurnedAway)) >=
           c.workers;
  }));
  const auto lines = LinesSoFar(monitor_);
  EXPECT_EQ(static_cast<std::size_t>(std::count(lines.begin(), lines.end(), kTurnedAway)),
            c.workers);
  std::vector<std::string> expected = {BitnessLine()};  // the sink's construction
  expected.insert(expected.end(), c.lines.begin(), c.lines.end());
  EXPECT_EQ(Without(lines, kTurnedAway), expected);

  // The objects are the caller's: the sink neither keeps nor releases them.
  EXPECT_EQ(refs.load(), static_cast<long>(objects.size()));
  for (IWbemClassObject* object : objects) object->Release();
  EXPECT_EQ(refs.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Batches, IndicateTest,
    testing::Values(
        IndicateCase{"NoObjects", {}, {}, 0, kUntouched},
        IndicateCase{"OneObject",
                     {Integer(0x102)},
                     {"Pivotra: Data: Bstr=, UI32=258, BtnId=258\n"},
                     1,
                     0x02},
        IndicateCase{"TwoObjectsLeaveTheSecondByte",
                     {Integer(0x102), Integer(0x80000006)},
                     {"Pivotra: Data: Bstr=, UI32=258, BtnId=258\n",
                      "Pivotra: Data: Bstr=, UI32=2147483654, BtnId=-2147483642\n"},
                     2,
                     0x06},
        IndicateCase{"TextDataIsSkippedAndTheBatchGoesOn",
                     {Text(L"6"), Integer(0x04)},
                     {"Pivotra: event 0: Data is not an integer (variant type 8), skipped\n",
                      "Pivotra: Data: Bstr=, UI32=4, BtnId=4\n"},
                     1,
                     0x04},
        IndicateCase{"NullDataIsSkipped",
                     {Null()},
                     {"Pivotra: event 0: Data is not an integer (variant type 1), skipped\n"},
                     0,
                     kUntouched},
        IndicateCase{"MissingDataIsSkipped",
                     {std::nullopt, Integer(0)},
                     {"Pivotra: event 0: Data unreadable, 0x80041002, skipped\n",
                      "Pivotra: Data: Bstr=, UI32=0, BtnId=0\n"},
                     1,
                     0x00}),
    [](const testing::TestParamInfo<IndicateCase>& info) { return std::string(info.param.name); });

TEST_F(SinkTest, SinkNotReadyDropsTheBatch) {
  std::atomic<long> refs{0};
  IWbemClassObject* objects[] = {MakeEvent(Integer(6), &refs), MakeEvent(Integer(2), &refs)};
  sink_->m_driverReady = 0;

  StdoutCapture capture;
  EXPECT_EQ(sink_->Indicate(2, objects), WBEM_S_NO_ERROR);
  capture.Restore();

  EXPECT_EQ(capture.Text(), "   Driver no work.\n");
  EXPECT_EQ(EventDataByte.load(), kUntouched);
  EXPECT_EQ(LinesSoFar(monitor_),
            (std::vector<std::string>{BitnessLine(), "   Driver no work."}));
  for (IWbemClassObject* object : objects) object->Release();
}

struct StatusCase {
  const char* name;
  LONG flags;
  HRESULT result;
  const char* output;      // standard output, "" for none
  const char* diagnostic;  // nullptr for none
};

void PrintTo(const StatusCase& c, std::ostream* out) { *out << c.name; }

class SetStatusTest : public SinkTest, public testing::WithParamInterface<StatusCase> {};

TEST_P(SetStatusTest, WritesStandardOutputFirstThenTheDiagnosticLine) {
  const StatusCase& c = GetParam();
  const std::size_t before = LinesSoFar(monitor_).size();

  // Holding the debugger stream's mutex keeps the diagnostic line back: the standard-output
  // line must be there before the sink even tries to write it.
  const unique_handle streamMutex(::OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, "DBWinMutex"));
  ASSERT_TRUE(streamMutex);
  ASSERT_EQ(::WaitForSingleObject(streamMutex.get(), 10000), WAIT_OBJECT_0);
  std::optional<StdoutCapture> capture(std::in_place);
  HRESULT answer = E_FAIL;
  std::thread caller([&] { answer = sink_->SetStatus(c.flags, c.result, nullptr, nullptr); });
  const bool written = Eventually([&] { return capture->Text() == c.output; }, 10s);
  const std::string output = capture->Text();
  ::ReleaseMutex(streamMutex.get());
  caller.join();
  capture.reset();

  EXPECT_TRUE(written) << "standard output: \"" << output << "\"";
  EXPECT_EQ(answer, WBEM_S_NO_ERROR);
  std::vector<std::string> lines = LinesSoFar(monitor_);
  ASSERT_GE(lines.size(), before);
  lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(before));
  EXPECT_EQ(lines, c.diagnostic ? std::vector<std::string>{c.diagnostic} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SetStatusTest,
    testing::Values(
        StatusCase{"CompleteWithSuccess", WBEM_STATUS_COMPLETE, 0, "Call complete. hResult = 0x0\n",
                   "Call complete. hResult = 0x0"},
        StatusCase{"CompleteWithFailure", WBEM_STATUS_COMPLETE, static_cast<HRESULT>(0x80041010),
                   "Call complete. hResult = 0x80041010\n", "Call complete. hResult = 0x80041010"},
        StatusCase{"Progress", WBEM_STATUS_PROGRESS, 0, "Call in progress.\n", "Call in progress."},
        StatusCase{"RequirementsSayNothing", WBEM_STATUS_REQUIREMENTS, 0, "", nullptr},
        StatusCase{"UnknownKindSaysNothing", 7, static_cast<HRESULT>(0x80004005), "", nullptr}),
    [](const testing::TestParamInfo<StatusCase>& info) { return std::string(info.param.name); });

// Wine's WMI knows ROOT\WMI but not the firmware's class: it takes the query, completes it at
// once and never delivers.
TEST(WineWmi, AcceptsTheQueryAndCompletesItWithoutEvents) {
  const std::string settingsPath = GetModuleDirectory(true) + settings::kFileName;
  ::DeleteFileA(settingsPath.c_str());
  DebugMonitor monitor;
  ASSERT_TRUE(monitor.listening());

  StdoutCapture capture;
  Ferrox_Start();
  const bool completed = monitor.WaitFor("Call complete.", 30s);
  capture.Restore();
  ASSERT_TRUE(completed);

  const std::vector<std::string> expected = {
      "[Ferrox_Start] Pivotra control Service starting...",
      BitnessLine(),
      "Thread_WaitWMIEventSrv_vOrrinG_SensorCtrl Starting...",
      "Thread_WaitWMIEventSrv_vOrrinG_SensorCtrl: Thread going to start...",
      "Connected to ROOT\\WMI namespace",
      "Could not create IUnsecuredApartment, events go to the sink. Error code = 0x80040154",
      BitnessLine(),
      "ExecNotificationQueryAsync OK",
  };
  // The completion comes from a thread of Wine's, after the query was accepted; it may pass
  // the wait thread's last line.
  const auto lines = LinesSoFar(monitor);
  EXPECT_EQ(Without(lines, "Call complete. hResult = 0x0"), expected);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Call complete. hResult = 0x0"), 1);
  // The query is made after the sink's construction, whose line follows the apartment's.
  const auto apartment = std::find(lines.begin(), lines.end(), expected[5]);
  const auto completion = std::find(lines.begin(), lines.end(), "Call complete. hResult = 0x0");
  EXPECT_GT(completion - apartment, 1);
  EXPECT_EQ(capture.Text(), "Call complete. hResult = 0x0\n");

  EXPECT_EQ(ReadFileBytes(settingsPath), kSettingsAfterFirstStart);
}

}  // namespace

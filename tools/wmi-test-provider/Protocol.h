#pragma once

// What the test WMI provider, its event tool and the tests agree on: the channel's name and
// request lines, the registry values that choose a failure, the names of the events and the
// provider's report. Pure, so that it is tested on the native build as well.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wmitest {

// Served by the provider in the process that loaded it; one client at a time.
inline constexpr const char* kPipeName = "\\\\.\\pipe\\pivotra-wmi-test-provider";

// Under HKEY_LOCAL_MACHINE. The provider reads the failure choice at every step it may fail,
// so a choice written before the service starts is in force for its whole run.
inline constexpr const char* kSettingsKey = "Software\\Pivotra WMI test provider";
inline constexpr const char* kFailStepValue = "FailStep";  // REG_SZ: a step's name
inline constexpr const char* kFailCodeValue = "FailCode";  // REG_DWORD, optional
// REG_DWORD, optional: how many more times the step fails; without it, every time.
inline constexpr const char* kFailCountValue = "FailCount";
// The locator's server before the provider took its place, for unregister.
inline constexpr const char* kSavedServerValue = "SavedInprocServer32";

// WMI's locator class, whose in-process server the provider stands in for.
inline constexpr const char* kLocatorServerKey =
    "Software\\Classes\\CLSID\\{4590F811-1D3A-11D0-891F-00AA004B2E24}\\InprocServer32";
inline constexpr const char* kWineLocatorServer = "C:\\windows\\system32\\wbem\\wbemprox.dll";

// The one subscription the provider accepts.
inline constexpr const wchar_t* kNamespace = L"ROOT\\WMI";
inline constexpr const wchar_t* kQueryLanguage = L"WQL";
inline constexpr const wchar_t* kQuery = L"SELECT * FROM ZEB_AcpiEvent_Btn2";
inline constexpr const wchar_t* kEventClass = L"ZEB_AcpiEvent_Btn2";

// The steps a test can make fail, in the order the subscriber takes them.
enum class Step { None, Locator, Connect, Blanket, Query };

std::optional<Step> ParseStep(std::string_view name);
const char* StepName(Step step);
// The code a step fails with when none is chosen: what WMI and COM answer in such a case.
std::uint32_t DefaultFailure(Step step);
// What the services objects of a dropped connection answer: RPC_S_SERVER_UNAVAILABLE.
inline constexpr std::uint32_t kBrokenConnection = 0x800706BA;

// An event as the tool names it: "up", "down", "left", "right" (the orientation in bits 1 and
// 2 of "Data") or the raw "Data" value, decimal or 0x-hexadecimal.
std::optional<std::uint32_t> ParseEventData(std::string_view word);
// A 32-bit number, decimal or 0x-hexadecimal, nothing else on the word.
std::optional<std::uint32_t> ParseNumber(std::string_view word);

// One request line to the provider (the line ends in '\n' on the channel). End completes the
// subscription with a failure, as WMI does when it gives one up, and lets its handler go. Drop
// breaks the connection, as a restarted WMI service does: the services objects made so far
// answer as a broken connection would, and the handler goes; new connections work.
struct Request {
  enum class Kind { Report, Deliver, Status, End, Drop };
  Kind kind = Kind::Report;
  std::uint32_t batches = 0;        // Deliver: Indicate calls, back to back
  std::vector<std::uint32_t> data;  // Deliver: one event object per value, in every batch
  std::int32_t statusFlags = 0;     // Status: SetStatus(flags, result)
  std::uint32_t statusResult = 0;   // Status, End: the result
};

std::string FormatRequest(const Request& request);
std::optional<Request> ParseRequest(std::string_view line);

// What the provider saw, as its "report" reply carries it.
struct Report {
  std::uint32_t processId = 0;  // the process that serves the channel
  long locatorRefs = 0;     // references still held to its locators
  long servicesRefs = 0;    // ... to its services objects
  long eventRefs = 0;       // ... to the event objects it delivered
  long threadsStarted = 0;  // threads the process began since the provider was loaded
  long threadsEnded = 0;    // ... and those of them that ended
  bool subscribed = false;
  std::uintptr_t handler = 0;  // the response handler last offered, 0 when none was
  std::vector<std::string> journal;  // the calls it took and the objects that went, in order
};

std::string FormatReport(const Report& report);
std::optional<Report> ParseReport(std::string_view reply);

// register and unregister rewrite the registration of WMI's locator for the whole machine: on
// Windows that would break WMI for every program. Why they are refused, or nothing when the
// tool runs under Wine.
std::optional<std::string> LocatorChangeRefusal(bool underWine);

// A reply begins with "ok" or "error: <why>" on a line of its own.
inline constexpr std::string_view kOk = "ok";
inline constexpr std::string_view kErrorPrefix = "error: ";

}  // namespace wmitest

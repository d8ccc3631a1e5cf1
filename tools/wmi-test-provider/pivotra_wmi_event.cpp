// pivotra-wmi-event: raises the firmware's orientation event through the test WMI provider,
// and sets the provider up. Run it in the Wine prefix of the process that subscribed.
#include <windows.h>
#include <wbemcli.h>

#include <cstdio>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "common/ModuleDirectory.h"
#include "tools/wmi-test-provider/ProviderClient.h"

namespace {

constexpr const char* kUsage =
    "usage: pivotra-wmi-event [--timeout SECONDS] COMMAND [ARGUMENT...]\n"
    "  raise EVENT...          one batch: one Indicate call with one event object per EVENT\n"
    "  burst COUNT EVENT...    COUNT such batches, back to back\n"
    "  status complete|progress [HRESULT]\n"
    "                          one SetStatus call on the subscription's handler\n"
    "  end HRESULT             end the subscription as WMI gives one up: SetStatus complete\n"
    "                          with HRESULT, and the handler is let go\n"
    "  drop                    break the connection as a restarted WMI does: its objects answer\n"
    "                          0x800706BA from now on, and the handler is let go\n"
    "  wait                    wait until a subscription stands\n"
    "  report                  what the provider saw: references held, handler, journal\n"
    "  fail [--times N] STEP [HRESULT]\n"
    "                          make the provider fail STEP (locator, connect, blanket, query)\n"
    "                          in every process that reaches it from now on, the next N times\n"
    "                          only with --times; 'fail none' clears\n"
    "  register [DLL]          make DLL (default: the provider beside this tool) the server of\n"
    "                          WMI's locator in this prefix; do it after wineboot (Wine only)\n"
    "  unregister              give the locator back to the server it had before\n"
    "EVENT is up, down, left or right (\"Data\" 2, 0, 6, 4) or a raw \"Data\" value, decimal or\n"
    "0x-hexadecimal. The channel is waited for up to SECONDS (default 10). Exit code 0 on\n"
    "success, 1 when the provider or Indicate failed, 2 for a wrong command line.\n";

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsageError = 2;

int Usage(const std::string& complaint) {
  std::fprintf(stderr, "pivotra-wmi-event: %s\n%s", complaint.c_str(), kUsage);
  return kUsageError;
}

int Failed(const std::string& why) {
  std::fprintf(stderr, "pivotra-wmi-event: %s\n", why.c_str());
  return kFailed;
}

// Prints the reply without its first line. Each of those lines names a call and ends in what
// it returned: the run fails unless the reply began with "ok" and every call returned 0x0.
int Relay(const std::string& reply) {
  std::istringstream lines(reply);
  std::string line;
  std::getline(lines, line);
  if (line != wmitest::kOk) return Failed(line);
  int status = kOk;
  while (std::getline(lines, line)) {
    std::printf("%s\n", line.c_str());
    constexpr std::string_view kSuccess = " 0x0";
    if (line.size() < kSuccess.size() ||
        line.compare(line.size() - kSuccess.size(), kSuccess.size(), kSuccess) != 0)
      status = kFailed;
  }
  return status;
}

int Send(const wmitest::Request& request, DWORD timeoutMs) {
  std::string error;
  const auto reply = wmitest::Ask(request, timeoutMs, error);
  if (!reply) return Failed(error);
  return Relay(*reply);
}

int Deliver(std::uint32_t batches, const std::vector<std::string>& events, DWORD timeoutMs) {
  if (events.empty()) return Usage("no EVENT given");
  wmitest::Request request;
  request.kind = wmitest::Request::Kind::Deliver;
  request.batches = batches;
  for (const std::string& event : events) {
    const auto data = wmitest::ParseEventData(event);
    if (!data) return Usage("not an event: " + event);
    request.data.push_back(*data);
  }
  return Send(request, timeoutMs);
}

int Status(const std::vector<std::string>& arguments, DWORD timeoutMs) {
  if (arguments.empty() || arguments.size() > 2) return Usage("status takes a kind and a code");
  wmitest::Request request;
  request.kind = wmitest::Request::Kind::Status;
  if (arguments[0] == "complete") {
    request.statusFlags = WBEM_STATUS_COMPLETE;
  } else if (arguments[0] == "progress") {
    request.statusFlags = WBEM_STATUS_PROGRESS;
  } else {
    return Usage("not a status kind: " + arguments[0]);
  }
  if (arguments.size() == 2) {
    const auto result = wmitest::ParseNumber(arguments[1]);
    if (!result) return Usage("not an HRESULT: " + arguments[1]);
    request.statusResult = *result;
  }
  return Send(request, timeoutMs);
}

int Report(DWORD timeoutMs) {
  std::string error;
  const auto reply = wmitest::Ask(wmitest::Request{}, timeoutMs, error);
  if (!reply) return Failed(error);
  std::fputs(reply->c_str(), stdout);
  return reply->compare(0, wmitest::kOk.size(), wmitest::kOk) == 0 ? kOk : kFailed;
}

int Wait(DWORD timeoutMs) {
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  std::string error;
  for (;;) {
    const ULONGLONG now = ::GetTickCount64();
    const DWORD remaining = now >= end ? 0 : static_cast<DWORD>(end - now);
    const auto report = wmitest::AskReport(remaining, error);
    if (report && report->subscribed) {
      std::printf("subscribed in process %lu\n", static_cast<unsigned long>(report->processId));
      return kOk;
    }
    if (remaining == 0) return Failed(report ? "no subscription in time" : error);
    ::Sleep(100);
  }
}

int End(const std::vector<std::string>& arguments, DWORD timeoutMs) {
  wmitest::Request request;
  request.kind = wmitest::Request::Kind::End;
  const auto result = arguments.size() == 1 ? wmitest::ParseNumber(arguments[0]) : std::nullopt;
  if (!result) return Usage("end takes an HRESULT");
  request.statusResult = *result;
  return Send(request, timeoutMs);
}

int Fail(std::vector<std::string> arguments) {
  std::uint32_t times = 0;
  if (arguments.size() >= 2 && arguments[0] == "--times") {
    const auto count = wmitest::ParseNumber(arguments[1]);
    if (!count || *count == 0) return Usage("not a number of times: " + arguments[1]);
    times = *count;
    arguments.erase(arguments.begin(), arguments.begin() + 2);
  }
  if (arguments.empty() || arguments.size() > 2) return Usage("fail takes a step and a code");
  const auto step = wmitest::ParseStep(arguments[0]);
  if (!step) return Usage("not a step: " + arguments[0]);
  std::uint32_t code = 0;
  if (arguments.size() == 2) {
    const auto parsed = wmitest::ParseNumber(arguments[1]);
    if (!parsed || *parsed == 0) return Usage("not a failure code: " + arguments[1]);
    code = *parsed;
  }
  const LONG result = wmitest::ChooseFailure(*step, code, times);
  if (result != ERROR_SUCCESS) return Failed("registry error " + std::to_string(result));
  return kOk;
}

// The locator's registration is the machine's: the tool changes it only under Wine.
int RefuseOutsideWine(const char* command) {
  const auto refusal = wmitest::LocatorChangeRefusal(wmitest::RunningUnderWine());
  return refusal ? Failed(std::string(command) + " refused: " + *refusal) : kOk;
}

int Register(const std::vector<std::string>& arguments) {
  if (arguments.size() > 1) return Usage("register takes one DLL path");
  if (const int refused = RefuseOutsideWine("register")) return refused;
  std::string path = arguments.empty()
                         ? GetModuleDirectory(true) + "pivotra-wmi-test-provider.dll"
                         : arguments[0];
  char full[MAX_PATH] = {};
  const DWORD length = ::GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  if (length == 0 || length >= MAX_PATH) return Failed("no such path: " + path);
  if (::GetFileAttributesA(full) == INVALID_FILE_ATTRIBUTES) return Failed("no such file: " + path);
  const LONG result = wmitest::RegisterProvider(full);
  if (result != ERROR_SUCCESS) return Failed("registry error " + std::to_string(result));
  std::printf("WMI's locator is served by %s\n", full);
  return kOk;
}

int Unregister(const std::vector<std::string>& arguments) {
  if (!arguments.empty()) return Usage("unregister takes no argument");
  if (const int refused = RefuseOutsideWine("unregister")) return refused;
  const LONG result = wmitest::UnregisterProvider();
  if (result != ERROR_SUCCESS) return Failed("registry error " + std::to_string(result));
  return kOk;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> words(argv + 1, argv + argc);
  DWORD timeoutMs = 10000;
  if (words.size() >= 2 && words[0] == "--timeout") {
    const auto seconds = wmitest::ParseNumber(words[1]);
    if (!seconds || *seconds > 3600) return Usage("not a number of seconds: " + words[1]);
    timeoutMs = *seconds * 1000;
    words.erase(words.begin(), words.begin() + 2);
  }
  if (words.empty()) return Usage("no command");
  const std::string command = words[0];
  const std::vector<std::string> arguments(words.begin() + 1, words.end());

  if (command == "raise") return Deliver(1, arguments, timeoutMs);
  if (command == "burst") {
    if (arguments.empty()) return Usage("burst takes a count");
    const auto count = wmitest::ParseNumber(arguments[0]);
    if (!count || *count == 0) return Usage("not a count: " + arguments[0]);
    return Deliver(*count, std::vector<std::string>(arguments.begin() + 1, arguments.end()),
                   timeoutMs);
  }
  if (command == "status") return Status(arguments, timeoutMs);
  if (command == "end") return End(arguments, timeoutMs);
  if (command == "drop" && arguments.empty()) {
    wmitest::Request request;
    request.kind = wmitest::Request::Kind::Drop;
    return Send(request, timeoutMs);
  }
  if (command == "wait" && arguments.empty()) return Wait(timeoutMs);
  if (command == "report" && arguments.empty()) return Report(timeoutMs);
  if (command == "fail") return Fail(arguments);
  if (command == "register") return Register(arguments);
  if (command == "unregister") return Unregister(arguments);
  return Usage("unknown command: " + command);
}

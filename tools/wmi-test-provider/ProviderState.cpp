#include "tools/wmi-test-provider/ProviderState.h"

#include <cstdio>

#include "tools/wmi-test-provider/EventObject.h"

namespace wmitest {

std::atomic<long> Provider::threadsStarted{0};
std::atomic<long> Provider::threadsEnded{0};

Provider& Provider::Instance() {
  static Provider provider;
  return provider;
}

void Provider::Note(std::string line) {
  std::lock_guard<std::mutex> hold(lock_);
  journal_.push_back(std::move(line));
}

HRESULT Provider::FailureFor(Step step) const {
  // RegGetValueA returns its error; it does not set the last error.
  char name[32] = {};
  DWORD size = sizeof(name);
  if (::RegGetValueA(HKEY_LOCAL_MACHINE, kSettingsKey, kFailStepValue, RRF_RT_REG_SZ, nullptr,
                     name, &size) != ERROR_SUCCESS)
    return S_OK;
  const auto chosen = ParseStep(name);
  if (!chosen || *chosen != step) return S_OK;

  DWORD count = 0;
  size = sizeof(count);
  if (::RegGetValueA(HKEY_LOCAL_MACHINE, kSettingsKey, kFailCountValue, RRF_RT_REG_DWORD,
                     nullptr, &count, &size) == ERROR_SUCCESS) {
    if (count == 0) return S_OK;
    --count;
    ::RegSetKeyValueA(HKEY_LOCAL_MACHINE, kSettingsKey, kFailCountValue, REG_DWORD, &count,
                      sizeof(count));
  }

  DWORD code = 0;
  size = sizeof(code);
  if (::RegGetValueA(HKEY_LOCAL_MACHINE, kSettingsKey, kFailCodeValue, RRF_RT_REG_DWORD, nullptr,
                     &code, &size) != ERROR_SUCCESS)
    code = DefaultFailure(step);
  return static_cast<HRESULT>(code);
}

void Provider::Offered(IWbemObjectSink* handler) {
  std::lock_guard<std::mutex> hold(lock_);
  offered_ = reinterpret_cast<std::uintptr_t>(handler);
}

bool Provider::Subscribe(IWbemObjectSink* handler) {
  std::lock_guard<std::mutex> hold(lock_);
  if (handler_ != nullptr) return false;
  handler->AddRef();
  handler_ = handler;
  return true;
}

bool Provider::Cancel(IWbemObjectSink* handler) {
  IWbemObjectSink* cancelled;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (handler == nullptr || handler_ != handler) return false;
    cancelled = handler_;
    handler_ = nullptr;
  }
  // Outside the lock: the handler's last release may call back into COM.
  cancelled->Release();
  return true;
}

IWbemObjectSink* Provider::Handler() {
  std::lock_guard<std::mutex> hold(lock_);
  if (handler_ != nullptr) handler_->AddRef();
  return handler_;
}

IWbemObjectSink* Provider::TakeHandler() {
  std::lock_guard<std::mutex> hold(lock_);
  IWbemObjectSink* const handler = handler_;
  handler_ = nullptr;
  return handler;
}

std::string Provider::Serve(const Request& request) {
  switch (request.kind) {
    case Request::Kind::Deliver:
      return Deliver(request.batches, request.data);
    case Request::Kind::Status:
      return SetStatus(request.statusFlags, request.statusResult);
    case Request::Kind::End:
      return End(request.statusResult);
    case Request::Kind::Drop:
      return Drop();
    case Request::Kind::Report:
      break;
  }
  Report report;
  report.processId = ::GetCurrentProcessId();
  report.locatorRefs = locatorRefs.load();
  report.servicesRefs = servicesRefs.load();
  report.eventRefs = eventRefs.load();
  report.threadsStarted = threadsStarted.load();
  report.threadsEnded = threadsEnded.load();
  std::lock_guard<std::mutex> hold(lock_);
  report.subscribed = handler_ != nullptr;
  report.handler = offered_;
  report.journal = journal_;
  return FormatReport(report);
}

std::string Provider::Deliver(std::uint32_t batches, const std::vector<std::uint32_t>& data) {
  // A reference of the delivery's own: the subscription may end meanwhile.
  IWbemObjectSink* const handler = Handler();
  if (handler == nullptr) return std::string(kErrorPrefix) + "no subscription\n";

  std::string reply = std::string(kOk) + "\n";
  for (std::uint32_t batch = 0; batch < batches; ++batch) {
    // Fresh objects for every call; the sink may neither keep nor release them.
    std::vector<IWbemClassObject*> objects;
    std::string values;
    for (const std::uint32_t value : data) {
      IWbemClassObject* const object = CreateButtonEvent(value, &eventRefs);
      if (object == nullptr) break;
      objects.push_back(object);
      values += (values.empty() ? "" : ", ") + Hex(value);
    }
    HRESULT result = WBEM_E_OUT_OF_MEMORY;
    if (objects.size() == data.size())
      result = handler->Indicate(static_cast<LONG>(objects.size()), objects.data());
    for (IWbemClassObject* object : objects) object->Release();

    Note("Indicate(" + std::to_string(data.size()) + ": " + values + ") -> " + Code(result));
    reply += "indicate " + Code(result) + "\n";
  }
  handler->Release();
  return reply;
}

std::string Provider::SetStatus(std::int32_t flags, std::uint32_t result) {
  IWbemObjectSink* const handler = Handler();
  if (handler == nullptr) return std::string(kErrorPrefix) + "no subscription\n";
  const HRESULT answer = handler->SetStatus(flags, static_cast<HRESULT>(result), nullptr, nullptr);
  handler->Release();
  Note("SetStatus(" + std::to_string(flags) + ", " + Code(static_cast<HRESULT>(result)) + ") -> " +
       Code(answer));
  return std::string(kOk) + "\nsetstatus " + Code(answer) + "\n";
}

std::string Provider::End(std::uint32_t result) {
  // Gone before the call, as WMI forgets a subscription it gives up: the subscriber may make
  // the next one as soon as it hears of the end.
  IWbemObjectSink* const handler = TakeHandler();
  if (handler == nullptr) return std::string(kErrorPrefix) + "no subscription\n";
  Note("subscription ended");
  const HRESULT answer =
      handler->SetStatus(WBEM_STATUS_COMPLETE, static_cast<HRESULT>(result), nullptr, nullptr);
  handler->Release();
  Note("SetStatus(0, " + Code(static_cast<HRESULT>(result)) + ") -> " + Code(answer));
  return std::string(kOk) + "\nsetstatus " + Code(answer) + "\n";
}

std::string Provider::Drop() {
  connection_.fetch_add(1);
  // A broken connection delivers nothing more, and says nothing about it.
  if (IWbemObjectSink* const handler = TakeHandler()) handler->Release();
  Note("connection dropped");
  return std::string(kOk) + "\ndropped 0x0\n";
}

std::string Text(const wchar_t* text) {
  if (text == nullptr) return "null";
  const int length = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return std::string();
  std::string narrow(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text, -1, narrow.data(), length, nullptr, nullptr);
  narrow.pop_back();  // the terminating zero
  return narrow;
}

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%lX", static_cast<unsigned long>(value));
  return text;
}

std::string Code(HRESULT result) { return Hex(static_cast<std::uint32_t>(result)); }

}  // namespace wmitest

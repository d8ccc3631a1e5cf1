#include "events/WmiSubscription.h"

#include "common/DebugPrint.h"
#include "common/UniqueHandle.h"
#include "events/EventSink.h"

using Microsoft::WRL::ComPtr;
using subscription_loop::Attempt;

namespace {

// WMI delivers through a stub that the unsecured apartment makes of the sink. Without the
// apartment (Wine registers none, and a machine may lack it) the sink itself is handed to WMI,
// so that listening still works.
ComPtr<IUnsecuredApartment> CreateUnsecuredApartment() {
  ComPtr<IUnsecuredApartment> apartment;
  const HRESULT hr = ::CoCreateInstance(CLSID_UnsecuredApartment, nullptr, CLSCTX_LOCAL_SERVER,
                                        IID_IUnsecuredApartment,
                                        reinterpret_cast<void**>(apartment.GetAddressOf()));
  if (FAILED(hr)) {
    DebugPrint("Could not create IUnsecuredApartment, events go to the sink. Error code = 0x%X",
               static_cast<unsigned>(hr));
    apartment.Reset();
  }
  return apartment;
}

// The stub's sink interface, which is what WMI is told to deliver to. When the stub cannot be
// had, what was obtained for it is released (the apartment too) and the result is null: the
// caller hands WMI the sink itself.
ComPtr<IWbemObjectSink> StubSinkFor(EventSink* sink, ComPtr<IUnsecuredApartment>& apartment,
                                    ComPtr<IUnknown>& stub) {
  HRESULT hr = apartment->CreateObjectStub(sink, stub.GetAddressOf());
  if (FAILED(hr) || !stub) {
    DebugPrint("Could not create the sink's stub, events go to the sink. Error code = 0x%X",
               static_cast<unsigned>(hr));
    stub.Reset();
    apartment.Reset();
    return nullptr;
  }
  ComPtr<IWbemObjectSink> stubSink;
  hr = stub.As(&stubSink);
  if (FAILED(hr)) {
    DebugPrint("The sink's stub is no IWbemObjectSink, events go to the sink. Error code = 0x%X",
               static_cast<unsigned>(hr));
    stubSink.Reset();
    stub.Reset();
    apartment.Reset();
  }
  return stubSink;
}

}  // namespace

Attempt WmiSubscription::Subscribe() {
  HRESULT hr = ::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWbemLocator, reinterpret_cast<void**>(locator_.GetAddressOf()));
  if (FAILED(hr)) return Fail("Failed to create IWbemLocator object. 0x%X", hr);

  {
    const unique_bstr wmiNamespace(::SysAllocString(L"ROOT\\WMI"));
    hr = wmiNamespace ? locator_->ConnectServer(wmiNamespace.get(), nullptr, nullptr, nullptr, 0,
                                                nullptr, nullptr, services_.GetAddressOf())
                      : E_OUTOFMEMORY;
  }
  if (FAILED(hr)) return Fail("Could not connect. Error code = 0x%X", hr);
  DebugPrint("Connected to ROOT\\WMI namespace");

  hr = ::CoSetProxyBlanket(services_.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                           RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
  if (FAILED(hr)) return Fail("Could not set proxy blanket. Error code = 0x%X", hr);

  apartment_ = CreateUnsecuredApartment();
  // The first attempt that comes this far makes the sink; every later one reuses it.
  bool stopping = false;
  EventSink* const sink = obtainSink_(stopping);
  if (sink == nullptr) {
    if (stopping) {
      Drop(false);
      return Attempt::Stopping;
    }
    return Fail("Could not create the event sink");
  }
  return Query(sink);
}

Attempt WmiSubscription::Query(EventSink* sink) {
  if (apartment_) stubSink_ = StubSinkFor(sink, apartment_, stub_);
  handler_ = stubSink_ ? stubSink_.Get() : static_cast<IWbemObjectSink*>(sink);

  HRESULT hr;
  {
    const unique_bstr language(::SysAllocString(L"WQL"));
    const unique_bstr query(::SysAllocString(L"SELECT * FROM ZEB_AcpiEvent_Btn2"));
    hr = language && query
             ? services_->ExecNotificationQueryAsync(language.get(), query.get(),
                                                     WBEM_FLAG_SEND_STATUS, nullptr, handler_)
             : E_OUTOFMEMORY;
  }
  if (FAILED(hr)) return Fail("ExecNotificationQueryAsync failed with = 0x%X", hr);
  DebugPrint("ExecNotificationQueryAsync OK");
  return Attempt::Subscribed;
}

Attempt WmiSubscription::Fail(const char* format, HRESULT result) {
  return Fail(FormatString(format, static_cast<unsigned>(result)));
}

Attempt WmiSubscription::Fail(std::string line) {
  reason_ = std::move(line);
  DebugPrint("%s", reason_.c_str());
  Drop(false);
  return Attempt::Failed;
}

void WmiSubscription::Drop(bool cancel) {
  // Without the cancellation WMI would go on delivering to the handler beside the next one.
  if (cancel && services_ && handler_) services_->CancelAsyncCall(handler_);
  handler_ = nullptr;
  // The order of the failure table: services, locator, apartment, stub, the stub's sink.
  services_.Reset();
  locator_.Reset();
  apartment_.Reset();
  stub_.Reset();
  stubSink_.Reset();
}

bool WmiSubscription::StillConnected() {
  if (!services_) return false;
  ComPtr<IWbemClassObject> eventClass;
  HRESULT hr;
  {
    const unique_bstr name(::SysAllocString(L"ZEB_AcpiEvent_Btn2"));
    hr = name ? services_->GetObject(name.get(), 0, nullptr, eventClass.GetAddressOf(), nullptr)
              : E_OUTOFMEMORY;
  }
  if (!subscription_loop::ConnectionGone(static_cast<std::uint32_t>(hr))) return true;
  reason_ = FormatString("Lost the connection to ROOT\\WMI. Error code = 0x%X",
                         static_cast<unsigned>(hr));
  DebugPrint("%s", reason_.c_str());
  return false;
}

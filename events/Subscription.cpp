#include "events/Subscription.h"

#include <wbemcli.h>
#include <wrl/client.h>

#include <new>

#include "common/Bitness.h"
#include "common/DebugPrint.h"
#include "common/OrientationTypes.h"
#include "common/UniqueHandle.h"
#include "common/WorkerThread.h"
#include "events/EventSink.h"
#include "orientation/SettingsFile.h"
#include "orientation/win32_catch_up.h"

using Microsoft::WRL::ComPtr;

LONG g_is64BitWindows = 0;

namespace {

constexpr DWORD kIdlePeriodMs = 5000;

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

[[noreturn]] void IdleForever() {
  // Nothing posts to this thread; a message that comes anyway is handled, one per period.
  for (;;) {
    ::Sleep(kIdlePeriodMs);
    MSG message;
    if (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageA(&message);
    }
  }
}

// Everything between joining the apartment and leaving it. Each failure releases what was
// obtained, in the order given, before it returns.
void SubscribeInApartment() {
  ComPtr<IWbemLocator> locator;
  HRESULT hr = ::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWbemLocator, reinterpret_cast<void**>(locator.GetAddressOf()));
  if (FAILED(hr)) {
    DebugPrint("Failed to create IWbemLocator object. 0x%X", static_cast<unsigned>(hr));
    return;
  }

  ComPtr<IWbemServices> services;
  {
    const unique_bstr wmiNamespace(::SysAllocString(L"ROOT\\WMI"));
    hr = wmiNamespace ? locator->ConnectServer(wmiNamespace.get(), nullptr, nullptr, nullptr, 0,
                                               nullptr, nullptr, services.GetAddressOf())
                      : E_OUTOFMEMORY;
  }
  if (FAILED(hr)) {
    DebugPrint("Could not connect. Error code = 0x%X", static_cast<unsigned>(hr));
    locator.Reset();
    return;
  }
  DebugPrint("Connected to ROOT\\WMI namespace");

  hr = ::CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                           RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
  if (FAILED(hr)) {
    DebugPrint("Could not set proxy blanket. Error code = 0x%X", static_cast<unsigned>(hr));
    services.Reset();
    locator.Reset();
    return;
  }

  ComPtr<IUnsecuredApartment> apartment = CreateUnsecuredApartment();
  // The sink's construction reads and completes the settings file.
  ComPtr<EventSink> sink(new (std::nothrow) EventSink);
  if (!sink) {
    DebugPrint("Could not create the event sink");
    services.Reset();
    locator.Reset();
    apartment.Reset();
    return;
  }
  ComPtr<IUnknown> stub;
  ComPtr<IWbemObjectSink> stubSink;
  if (apartment) stubSink = StubSinkFor(sink.Get(), apartment, stub);
  IWbemObjectSink* const handler = stubSink ? stubSink.Get() : sink.Get();

  {
    const unique_bstr language(::SysAllocString(L"WQL"));
    const unique_bstr query(::SysAllocString(L"SELECT * FROM ZEB_AcpiEvent_Btn2"));
    hr = language && query
             ? services->ExecNotificationQueryAsync(language.get(), query.get(),
                                                    WBEM_FLAG_SEND_STATUS, nullptr, handler)
             : E_OUTOFMEMORY;
  }
  if (FAILED(hr)) {
    DebugPrint("ExecNotificationQueryAsync failed with = 0x%X", static_cast<unsigned>(hr));
    services.Reset();
    locator.Reset();
    apartment.Reset();
    stub.Reset();
    sink.Reset();
    stubSink.Reset();
    return;
  }
  DebugPrint("ExecNotificationQueryAsync OK");
  // Catch-ups work on the sink too, from now until the process ends.
  PublishSink(sink.Get());

  // The subscription is never cancelled: every reference above stays held until the process ends.
  IdleForever();
}

void RunWaitThread() {
  DebugPrint("Thread_WaitWMIEventSrv_vOrrinG_SensorCtrl: Thread going to start...");
  // Every start begins from the unrotated screen, whether or not the subscription succeeds.
  g_iniFile.WriteInt(settings::kSection, settings::kLastOrientation,
                     static_cast<std::uint32_t>(OrientationCode::Down));
  SubscribeWMIEvent();
  DebugPrint("Thread_WaitWMIEventSrv_vOrrinG_SensorCtrl: Thread going to terminate");
}

}  // namespace

int Ferrox_Start() {
  DebugPrint("[Ferrox_Start] Pivotra control Service starting...");
  g_is64BitWindows = QueryWindowsIs64Bit() ? 1 : 0;
  DebugPrint(g_is64BitWindows ? "Running Windows is 64-bit" : "Running Windows is 32-bit");
  DebugPrint("Thread_WaitWMIEventSrv_vOrrinG_SensorCtrl Starting...");
  // The thread object deletes itself; a thread that cannot start leaves the service deaf.
  AfxBeginThread(Thread_WaitWMIEventSrv_vOrrinG_SensorCtrl, nullptr, THREAD_PRIORITY_NORMAL, 0, 0,
                 nullptr);
  return 0;
}

int Ferrox_Stop() {
  DebugPrint("Stopping Pivotra Control Service code...");
  DebugPrint("Ferrox stopped");
  return 0;
}

UINT __cdecl Thread_WaitWMIEventSrv_vOrrinG_SensorCtrl(LPVOID) {
  RunWaitThread();
  AfxEndThread(0);
}

int SubscribeWMIEvent() {
  const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (FAILED(hr)) {
    DebugPrint("Failed to initialize COM library. Error code = 0x%X", static_cast<unsigned>(hr));
    return 0;
  }
  SubscribeInApartment();
  ::CoUninitialize();
  return 0;
}

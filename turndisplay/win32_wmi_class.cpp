// Whether the G-sensor's event class is in ROOT\WMI: the firmware's driver offers it through
// WMI, and without it the service has nothing to subscribe to.
#include <wbemcli.h>
#include <windows.h>
#include <wrl/client.h>

#include <thread>

#include "common/ComScope.h"
#include "common/UniqueHandle.h"
#include "turndisplay/win32_turn_platform.h"

namespace turndisplay {

namespace {

using Microsoft::WRL::ComPtr;

HRESULT LookUp() noexcept {
  const ComScope com(COINIT_MULTITHREADED);
  if (!com.joined()) return com.result();
  // Released before the apartment is left.
  ComPtr<IWbemLocator> locator;
  ComPtr<IWbemServices> services;
  ComPtr<IWbemClassObject> found;
  HRESULT hr =
      ::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                         reinterpret_cast<void**>(locator.GetAddressOf()));
  if (FAILED(hr)) return hr;
  const unique_bstr space(::SysAllocString(L"ROOT\\WMI"));
  const unique_bstr name(::SysAllocString(L"ZEB_AcpiEvent_Btn2"));
  if (!space || !name) return E_OUTOFMEMORY;
  // A WMI that does not answer gives up after its longest wait (two minutes) instead of never.
  hr =
      locator->ConnectServer(space.get(), nullptr, nullptr, nullptr, WBEM_FLAG_CONNECT_USE_MAX_WAIT,
                             nullptr, nullptr, services.GetAddressOf());
  if (FAILED(hr)) return hr;
  ::CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                      RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
  return services->GetObject(name.get(), WBEM_FLAG_RETURN_WBEM_COMPLETE, nullptr,
                             found.GetAddressOf(), nullptr);
}

}  // namespace

// On a thread of its own, so that the apartment is the multithreaded one whatever the main
// thread has joined.
std::uint32_t Win32TurnPlatform::LookUpWmiClass() {
  HRESULT result = E_FAIL;
  std::thread lookUp([&result] { result = LookUp(); });
  lookUp.join();
  return static_cast<std::uint32_t>(result);
}

}  // namespace turndisplay

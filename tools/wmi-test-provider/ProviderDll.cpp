// A stand-in for WMI's in-process locator: it serves ROOT\WMI alone and raises the firmware's
// orientation event, ZEB_AcpiEvent_Btn2, when the event tool asks it to over its channel.
#include <windows.h>
#include <wbemcli.h>

#include <new>

#include "tools/wmi-test-provider/ProviderObjects.h"

namespace wmitest {

namespace {

bool IsRootWmi(const BSTR name) {
  return name != nullptr &&
         (::lstrcmpiW(name, kNamespace) == 0 || ::lstrcmpiW(name, L"\\\\.\\ROOT\\WMI") == 0);
}

class Locator final : public IWbemLocator {
 public:
  Locator() : count_(Provider::Instance().locatorRefs, "locator released") {}
  Locator(const Locator&) = delete;
  Locator& operator=(const Locator&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IWbemLocator)) {
      *out = static_cast<IWbemLocator*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return count_.AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG count = count_.Release();
    if (count == 0) delete this;
    return count;
  }

  // Other namespaces give what WMI gives for them.
  HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR name, const BSTR user, const BSTR password,
                                          const BSTR locale, LONG securityFlags,
                                          const BSTR authority, IWbemContext* context,
                                          IWbemServices** services) override {
    if (services == nullptr) return WBEM_E_INVALID_PARAMETER;
    *services = nullptr;
    HRESULT result = Provider::Instance().FailureFor(Step::Connect);
    if (SUCCEEDED(result) && !IsRootWmi(name)) result = WBEM_E_INVALID_NAMESPACE;
    if (SUCCEEDED(result)) {
      *services = NewServices();
      if (*services == nullptr) result = WBEM_E_OUT_OF_MEMORY;
    }
    Journal([&] {
      return "ConnectServer(" + Text(name) + ", user=" + Text(user) +
             ", password=" + Text(password) + ", locale=" + Text(locale) +
             ", flags=" + Hex(static_cast<DWORD>(securityFlags)) +
             ", authority=" + Text(authority) + ", context=" + Pointer(context) + ") -> " +
             Code(result);
    });
    return result;
  }

 private:
  ~Locator() = default;  // only Release destroys it

  ObjectCount count_;
};

std::string InterfaceName(REFIID iid) {
  if (iid == __uuidof(IWbemLocator)) return "IWbemLocator";
  if (iid == __uuidof(IUnknown)) return "IUnknown";
  return "another interface";
}

// Lives with the DLL, which never unloads: its count means nothing.
class LocatorFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    HRESULT result = Provider::Instance().FailureFor(Step::Locator);
    if (SUCCEEDED(result)) {
      auto* locator = new (std::nothrow) Locator;
      if (locator == nullptr) {
        result = E_OUTOFMEMORY;
      } else {
        result = locator->QueryInterface(iid, out);
        locator->Release();
      }
    }
    Journal([&] { return "CreateInstance(" + InterfaceName(iid) + ") -> " + Code(result); });
    return result;
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

LocatorFactory g_factory;

}  // namespace

}  // namespace wmitest

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (clsid != CLSID_WbemLocator) return CLASS_E_CLASSNOTAVAILABLE;
  try {
    wmitest::StartChannel();
  } catch (...) {
    // Without its channel the provider still serves the subscription; nobody can raise events.
  }
  return wmitest::g_factory.QueryInterface(iid, out);
}

// Every thread the process begins or ends while the DLL is loaded passes here: the report's
// count of the subscriber's worker threads.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_THREAD_ATTACH) wmitest::Provider::threadsStarted.fetch_add(1);
  if (reason == DLL_THREAD_DETACH) wmitest::Provider::threadsEnded.fetch_add(1);
  return TRUE;
}

// The channel's thread runs in this DLL until the process ends.
STDAPI DllCanUnloadNow() { return S_FALSE; }

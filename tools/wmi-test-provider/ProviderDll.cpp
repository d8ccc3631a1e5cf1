// A stand-in for WMI's in-process locator: it serves ROOT\WMI alone and raises the firmware's
// orientation event, ZEB_AcpiEvent_Btn2, when the event tool asks it to over its channel.
#include <windows.h>
#include <wbemcli.h>

#include <cwchar>
#include <mutex>
#include <new>

#include "tools/wmi-test-provider/ProviderState.h"

namespace wmitest {

namespace {

// No exception may leave a COM method: a journal line that cannot be built is lost, and the
// call goes on as if it had been written.
template <typename MakeLine>
void Journal(MakeLine makeLine) noexcept {
  try {
    Provider::Instance().Note(makeLine());
  } catch (...) {
  }
}

// One object's reference count, mirrored in the provider's count for its kind; the journal
// notes when the object goes.
class ObjectCount {
 public:
  ObjectCount(std::atomic<long>& kindRefs, const char* goneLine)
      : kindRefs_(kindRefs), goneLine_(goneLine) {
    kindRefs_.fetch_add(1);
  }
  ULONG AddRef() {
    kindRefs_.fetch_add(1);
    return static_cast<ULONG>(::InterlockedIncrement(&refs_));
  }
  // The new count; at 0 the caller deletes the object.
  ULONG Release() {
    kindRefs_.fetch_sub(1);
    const LONG count = ::InterlockedDecrement(&refs_);
    if (count == 0) Journal([this] { return std::string(goneLine_); });
    return static_cast<ULONG>(count);
  }

 private:
  LONG refs_ = 1;
  std::atomic<long>& kindRefs_;
  const char* goneLine_;
};

struct Blanket {
  DWORD authnService = RPC_C_AUTHN_WINNT;
  DWORD authzService = RPC_C_AUTHZ_NONE;
  DWORD authnLevel = RPC_C_AUTHN_LEVEL_CONNECT;
  DWORD impersonationLevel = RPC_C_IMP_LEVEL_IDENTIFY;
  void* identity = nullptr;
  DWORD capabilities = EOAC_NONE;
};

std::string Pointer(const void* value) { return value == nullptr ? "null" : "set"; }

// The only subscription it takes is the firmware event's, exactly as the service asks for it.
HRESULT CheckQuery(const BSTR language, const BSTR query, LONG flags,
                   IWbemObjectSink* handler) {
  if (handler == nullptr) return WBEM_E_INVALID_PARAMETER;
  if (language == nullptr || std::wcscmp(language, kQueryLanguage) != 0)
    return WBEM_E_INVALID_QUERY_TYPE;
  if (query == nullptr || std::wcscmp(query, kQuery) != 0) return WBEM_E_INVALID_QUERY;
  if (flags != WBEM_FLAG_SEND_STATUS) return WBEM_E_INVALID_PARAMETER;
  return WBEM_S_NO_ERROR;
}

// The namespace ROOT\WMI, with the client-security side that CoSetProxyBlanket talks to.
class Services final : public IWbemServices, public IClientSecurity {
 public:
  Services() : count_(Provider::Instance().servicesRefs, "services released") {}
  Services(const Services&) = delete;
  Services& operator=(const Services&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IWbemServices)) {
      *out = static_cast<IWbemServices*>(this);
    } else if (iid == __uuidof(IClientSecurity)) {
      *out = static_cast<IClientSecurity*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return count_.AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG count = count_.Release();
    if (count == 0) delete this;
    return count;
  }

  HRESULT STDMETHODCALLTYPE SetBlanket(IUnknown*, DWORD authnService, DWORD authzService,
                                       OLECHAR* principal, DWORD authnLevel,
                                       DWORD impersonationLevel, RPC_AUTH_IDENTITY_HANDLE identity,
                                       DWORD capabilities) override {
    const HRESULT result = Provider::Instance().FailureFor(Step::Blanket);
    if (SUCCEEDED(result)) {
      std::lock_guard<std::mutex> hold(lock_);
      blanket_ = {authnService, authzService, authnLevel, impersonationLevel, identity,
                  capabilities};
    }
    Journal([&] {
      return "SetBlanket(authn=" + std::to_string(authnService) +
             ", authz=" + std::to_string(authzService) + ", principal=" + Text(principal) +
             ", level=" + std::to_string(authnLevel) +
             ", impersonation=" + std::to_string(impersonationLevel) +
             ", identity=" + Pointer(identity) + ", capabilities=" + Hex(capabilities) +
             ") -> " + Code(result);
    });
    return result;
  }

  HRESULT STDMETHODCALLTYPE QueryBlanket(IUnknown*, DWORD* authnService, DWORD* authzService,
                                         OLECHAR** principal, DWORD* authnLevel,
                                         DWORD* impersonationLevel, void** identity,
                                         DWORD* capabilities) override {
    std::lock_guard<std::mutex> hold(lock_);
    if (authnService) *authnService = blanket_.authnService;
    if (authzService) *authzService = blanket_.authzService;
    if (principal) *principal = nullptr;
    if (authnLevel) *authnLevel = blanket_.authnLevel;
    if (impersonationLevel) *impersonationLevel = blanket_.impersonationLevel;
    if (identity) *identity = blanket_.identity;
    if (capabilities) *capabilities = blanket_.capabilities;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE CopyProxy(IUnknown*, IUnknown** copy) override {
    if (copy) *copy = nullptr;
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE ExecNotificationQueryAsync(const BSTR language, const BSTR query,
                                                       LONG flags, IWbemContext* context,
                                                       IWbemObjectSink* handler) override {
    Provider& provider = Provider::Instance();
    provider.Offered(handler);
    HRESULT result = provider.FailureFor(Step::Query);
    if (SUCCEEDED(result)) result = CheckQuery(language, query, flags, handler);
    Journal([&] {
      return "ExecNotificationQueryAsync(language=" + Text(language) + ", query=" + Text(query) +
             ", flags=" + Hex(static_cast<DWORD>(flags)) + ", context=" + Pointer(context) +
             ") -> " + Code(result);
    });
    // One subscription per process, as the service makes; events go to it from the channel.
    if (SUCCEEDED(result) && !provider.Subscribe(handler)) {
      result = WBEM_E_FAILED;
      Journal([&] { return "second subscription refused -> " + Code(result); });
    }
    return result;
  }

  // Nothing else of the namespace is served.
  HRESULT STDMETHODCALLTYPE OpenNamespace(const BSTR, LONG, IWbemContext*, IWbemServices**,
                                          IWbemCallResult**) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE CancelAsyncCall(IWbemObjectSink*) override { return Unsupported(); }
  HRESULT STDMETHODCALLTYPE QueryObjectSink(LONG, IWbemObjectSink**) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE GetObject(const BSTR, LONG, IWbemContext*, IWbemClassObject**,
                                      IWbemCallResult**) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE GetObjectAsync(const BSTR, LONG, IWbemContext*,
                                           IWbemObjectSink*) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE PutClass(IWbemClassObject*, LONG, IWbemContext*,
                                     IWbemCallResult**) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE PutClassAsync(IWbemClassObject*, LONG, IWbemContext*,
                                          IWbemObjectSink*) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE DeleteClass(const BSTR, LONG, IWbemContext*,
                                        IWbemCallResult**) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE DeleteClassAsync(const BSTR, LONG, IWbemContext*,
                                             IWbemObjectSink*) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE CreateClassEnum(const BSTR, LONG, IWbemContext*,
                                            IEnumWbemClassObject**) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE CreateClassEnumAsync(const BSTR, LONG, IWbemContext*,
                                                 IWbemObjectSink*) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE PutInstance(IWbemClassObject*, LONG, IWbemContext*,
                                        IWbemCallResult**) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE PutInstanceAsync(IWbemClassObject*, LONG, IWbemContext*,
                                             IWbemObjectSink*) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE DeleteInstance(const BSTR, LONG, IWbemContext*,
                                           IWbemCallResult**) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE DeleteInstanceAsync(const BSTR, LONG, IWbemContext*,
                                                IWbemObjectSink*) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR, LONG, IWbemContext*,
                                               IEnumWbemClassObject**) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE CreateInstanceEnumAsync(const BSTR, LONG, IWbemContext*,
                                                    IWbemObjectSink*) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR, const BSTR, LONG, IWbemContext*,
                                      IEnumWbemClassObject**) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE ExecQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*,
                                           IWbemObjectSink*) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE ExecNotificationQuery(const BSTR, const BSTR, LONG, IWbemContext*,
                                                  IEnumWbemClassObject**) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE ExecMethod(const BSTR, const BSTR, LONG, IWbemContext*,
                                       IWbemClassObject*, IWbemClassObject**,
                                       IWbemCallResult**) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE ExecMethodAsync(const BSTR, const BSTR, LONG, IWbemContext*,
                                            IWbemClassObject*, IWbemObjectSink*) override {
    return Unsupported();
  }

 private:
  ~Services() = default;  // only Release destroys it
  static HRESULT Unsupported() { return WBEM_E_NOT_SUPPORTED; }

  ObjectCount count_;
  std::mutex lock_;
  Blanket blanket_;
};

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
      *services = new (std::nothrow) Services;
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

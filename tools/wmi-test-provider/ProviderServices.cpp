// The provider's namespace ROOT\WMI: the notification query of the firmware's event, the
// client-security side that CoSetProxyBlanket talks to, and a connection that can break.
#include <cwchar>
#include <mutex>
#include <new>

#include "tools/wmi-test-provider/EventObject.h"
#include "tools/wmi-test-provider/ProviderObjects.h"
#include "tools/wmi-test-provider/Protocol.h"

namespace wmitest {

namespace {

struct Blanket {
  DWORD authnService = RPC_C_AUTHN_WINNT;
  DWORD authzService = RPC_C_AUTHZ_NONE;
  DWORD authnLevel = RPC_C_AUTHN_LEVEL_CONNECT;
  DWORD impersonationLevel = RPC_C_IMP_LEVEL_IDENTIFY;
  void* identity = nullptr;
  DWORD capabilities = EOAC_NONE;
};

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

// The namespace ROOT\WMI, with the client-security side that CoSetProxyBlanket talks to. It
// belongs to the connection it was made on: once that is dropped, its calls fail as a proxy's
// whose server has gone.
class Services final : public IWbemServices, public IClientSecurity {
 public:
  Services()
      : count_(Provider::Instance().servicesRefs, "services released"),
        connection_(Provider::Instance().connection()) {}
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
    HRESULT result = Broken();
    if (SUCCEEDED(result)) result = Provider::Instance().FailureFor(Step::Blanket);
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
    HRESULT result = Broken();
    if (SUCCEEDED(result)) result = provider.FailureFor(Step::Query);
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
  HRESULT STDMETHODCALLTYPE CancelAsyncCall(IWbemObjectSink* handler) override {
    HRESULT result = Broken();
    if (SUCCEEDED(result) && !Provider::Instance().Cancel(handler)) result = WBEM_E_NOT_FOUND;
    Journal([&] { return "CancelAsyncCall -> " + Code(result); });
    return result;
  }
  HRESULT STDMETHODCALLTYPE QueryObjectSink(LONG, IWbemObjectSink**) override {
    return Unsupported();
  }
  // The firmware event's class is there, as its driver registers it; no other is served.
  HRESULT STDMETHODCALLTYPE GetObject(const BSTR path, LONG, IWbemContext*,
                                      IWbemClassObject** object, IWbemCallResult**) override {
    if (object != nullptr) *object = nullptr;
    HRESULT result = Broken();
    if (SUCCEEDED(result) && (path == nullptr || ::lstrcmpiW(path, kEventClass) != 0))
      result = WBEM_E_NOT_FOUND;
    if (SUCCEEDED(result) && object != nullptr) {
      *object = CreateEventObject(kEventClass, nullptr);
      if (*object == nullptr) result = WBEM_E_OUT_OF_MEMORY;
    }
    Journal([&] { return "GetObject(" + Text(path) + ") -> " + Code(result); });
    return result;
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
  HRESULT Broken() const {
    return connection_ == Provider::Instance().connection() ? S_OK
                                                            : static_cast<HRESULT>(kBrokenConnection);
  }

  ObjectCount count_;
  const unsigned connection_;
  std::mutex lock_;
  Blanket blanket_;
};

}  // namespace

IWbemServices* NewServices() { return new (std::nothrow) Services; }

}  // namespace wmitest

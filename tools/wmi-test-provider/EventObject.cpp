#include "tools/wmi-test-provider/EventObject.h"

#include <oleauto.h>

#include <new>

#include "tools/wmi-test-provider/Protocol.h"

namespace wmitest {

namespace {

class EventObject final : public IWbemClassObject {
 public:
  EventObject(BSTR className, std::atomic<long>* liveRefs)
      : className_(className), liveRefs_(liveRefs) {
    ::VariantInit(&data_);
    if (liveRefs_) liveRefs_->fetch_add(1);
  }
  EventObject(const EventObject&) = delete;
  EventObject& operator=(const EventObject&) = delete;

  // False when the value cannot be copied; the object is then not handed out.
  bool SetData(const VARIANT& data) {
    // VariantCopy only reads its source; the header declares it without const.
    hasData_ = SUCCEEDED(::VariantCopy(&data_, const_cast<VARIANT*>(&data)));
    return hasData_;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IWbemClassObject)) {
      *out = static_cast<IWbemClassObject*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }

  ULONG STDMETHODCALLTYPE AddRef() override {
    if (liveRefs_) liveRefs_->fetch_add(1);
    return static_cast<ULONG>(::InterlockedIncrement(&refs_));
  }

  ULONG STDMETHODCALLTYPE Release() override {
    if (liveRefs_) liveRefs_->fetch_sub(1);
    const LONG count = ::InterlockedDecrement(&refs_);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
  }

  // WMI's property names are not case-sensitive; "__CLASS" names the event's class.
  HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE* type,
                                LONG* flavor) override {
    if (name == nullptr || flags != 0) return WBEM_E_INVALID_PARAMETER;
    VARIANT result;
    ::VariantInit(&result);
    CIMTYPE cimType;
    if (::lstrcmpiW(name, L"Data") == 0 && hasData_) {
      const HRESULT copied = ::VariantCopy(&result, &data_);
      if (FAILED(copied)) return copied;
      cimType = V_VT(&data_) == VT_BSTR ? CIM_STRING : CIM_UINT32;
    } else if (::lstrcmpiW(name, L"__CLASS") == 0) {
      V_VT(&result) = VT_BSTR;
      V_BSTR(&result) = ::SysAllocString(className_);
      if (V_BSTR(&result) == nullptr) return WBEM_E_OUT_OF_MEMORY;
      cimType = CIM_STRING;
    } else {
      return WBEM_E_NOT_FOUND;
    }
    if (value != nullptr) {
      *value = result;
    } else {
      ::VariantClear(&result);
    }
    if (type != nullptr) *type = cimType;
    if (flavor != nullptr) *flavor = WBEM_FLAVOR_ORIGIN_PROPAGATED;
    return WBEM_S_NO_ERROR;
  }

  HRESULT STDMETHODCALLTYPE GetQualifierSet(IWbemQualifierSet**) override { return Unsupported(); }
  HRESULT STDMETHODCALLTYPE Put(LPCWSTR, LONG, VARIANT*, CIMTYPE) override { return Unsupported(); }
  HRESULT STDMETHODCALLTYPE Delete(LPCWSTR) override { return Unsupported(); }
  HRESULT STDMETHODCALLTYPE GetNames(LPCWSTR, LONG, VARIANT*, SAFEARRAY**) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG) override { return Unsupported(); }
  HRESULT STDMETHODCALLTYPE Next(LONG, BSTR*, VARIANT*, CIMTYPE*, LONG*) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE EndEnumeration() override { return Unsupported(); }
  HRESULT STDMETHODCALLTYPE GetPropertyQualifierSet(LPCWSTR, IWbemQualifierSet**) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE Clone(IWbemClassObject**) override { return Unsupported(); }
  HRESULT STDMETHODCALLTYPE GetObjectText(LONG, BSTR*) override { return Unsupported(); }
  HRESULT STDMETHODCALLTYPE SpawnDerivedClass(LONG, IWbemClassObject**) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE SpawnInstance(LONG, IWbemClassObject**) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE CompareTo(LONG, IWbemClassObject*) override { return Unsupported(); }
  HRESULT STDMETHODCALLTYPE GetPropertyOrigin(LPCWSTR, BSTR*) override { return Unsupported(); }
  HRESULT STDMETHODCALLTYPE InheritsFrom(LPCWSTR) override { return Unsupported(); }
  HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR, LONG, IWbemClassObject**,
                                      IWbemClassObject**) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE PutMethod(LPCWSTR, LONG, IWbemClassObject*,
                                      IWbemClassObject*) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE DeleteMethod(LPCWSTR) override { return Unsupported(); }
  HRESULT STDMETHODCALLTYPE BeginMethodEnumeration(LONG) override { return Unsupported(); }
  HRESULT STDMETHODCALLTYPE NextMethod(LONG, BSTR*, IWbemClassObject**,
                                       IWbemClassObject**) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE EndMethodEnumeration() override { return Unsupported(); }
  HRESULT STDMETHODCALLTYPE GetMethodQualifierSet(LPCWSTR, IWbemQualifierSet**) override {
    return Unsupported();
  }
  HRESULT STDMETHODCALLTYPE GetMethodOrigin(LPCWSTR, BSTR*) override { return Unsupported(); }

 private:
  // Only Release destroys it.
  ~EventObject() {
    ::VariantClear(&data_);
    ::SysFreeString(className_);
  }
  static HRESULT Unsupported() { return WBEM_E_NOT_SUPPORTED; }

  LONG refs_ = 1;
  BSTR className_;
  bool hasData_ = false;
  VARIANT data_;
  std::atomic<long>* liveRefs_;
};

}  // namespace

IWbemClassObject* CreateEventObject(const wchar_t* className, const VARIANT* data,
                                    std::atomic<long>* liveRefs) {
  const BSTR name = ::SysAllocString(className);
  if (name == nullptr) return nullptr;
  auto* object = new (std::nothrow) EventObject(name, liveRefs);
  if (object == nullptr) {
    ::SysFreeString(name);
    return nullptr;
  }
  if (data != nullptr && !object->SetData(*data)) {
    object->Release();
    return nullptr;
  }
  return object;
}

IWbemClassObject* CreateButtonEvent(std::uint32_t data, std::atomic<long>* liveRefs) {
  VARIANT value;
  V_VT(&value) = VT_I4;
  V_I4(&value) = static_cast<LONG>(data);
  return CreateEventObject(kEventClass, &value, liveRefs);
}

}  // namespace wmitest

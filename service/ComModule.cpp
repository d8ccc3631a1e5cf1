#include "service/ComModule.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <string>
#include <string_view>

#include "service/RegistryScript.h"
#include "service/win32_registry.h"

using Microsoft::WRL::ComPtr;

namespace {

bool Selected(const ComClassEntry& entry, const CLSID* clsid) {
  return clsid == nullptr || ::IsEqualCLSID(*entry.clsid, *clsid);
}

// The module's own file, which carries the type library; empty when the path does not fit.
std::wstring ModulePath(HINSTANCE instance) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(instance, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  return std::wstring(path, length);
}

std::string ModulePathAnsi(HINSTANCE instance) {
  char path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameA(instance, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::string();
  return std::string(path, length);
}

HRESULT LoadOwnTypeLibrary(HINSTANCE instance, std::wstring& path, ComPtr<ITypeLib>& library) {
  path = ModulePath(instance);
  if (path.empty()) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
  // From an executable this reads its TYPELIB resource 1.
  return ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.GetAddressOf());
}

}  // namespace

HRESULT CComModule::Init(ComClassEntry* classTable, HINSTANCE instance, const GUID* typeLibId) {
  m_classTable = classTable;
  m_hInst = instance;
  if (typeLibId != nullptr) m_typeLibId = *typeLibId;
  return S_OK;
}

LONG CComModule::Lock() { return ++m_lockCount; }

LONG CComModule::Unlock() { return --m_lockCount; }

LONG CComModule::GetLockCount() { return m_lockCount.load(); }

HRESULT CComModule::RegisterClassObjects(DWORD context, DWORD flags) {
  for (ComClassEntry* entry = m_classTable; entry != nullptr && entry->clsid != nullptr; ++entry) {
    ComPtr<IUnknown> classObject;
    HRESULT hr = entry->createClassObject(classObject.GetAddressOf());
    if (SUCCEEDED(hr))
      hr = ::CoRegisterClassObject(*entry->clsid, classObject.Get(), context, flags, &entry->cookie);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT CComModule::RevokeClassObjects() {
  HRESULT result = S_OK;
  for (ComClassEntry* entry = m_classTable; entry != nullptr && entry->clsid != nullptr; ++entry) {
    if (entry->cookie == 0) continue;
    const HRESULT hr = ::CoRevokeClassObject(entry->cookie);
    entry->cookie = 0;
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  return result;
}

HRESULT CComModule::UpdateRegistryFromResource(UINT resourceId, BOOL doRegister) {
  HRSRC found = ::FindResourceA(m_hInst, MAKEINTRESOURCEA(resourceId), "REGISTRY");
  if (found == nullptr) return HRESULT_FROM_WIN32(::GetLastError());
  HGLOBAL loaded = ::LoadResource(m_hInst, found);
  const char* text = loaded != nullptr ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
  if (text == nullptr) return HRESULT_FROM_WIN32(::GetLastError());
  const std::string_view script(text, ::SizeofResource(m_hInst, found));

  const std::string modulePath = ModulePathAnsi(m_hInst);
  if (modulePath.empty()) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
  Win32Registry registry;
  const registry_script::UpdateResult result = registry_script::Update(
      script, registry_script::ModuleReplacements(modulePath), doRegister != FALSE, registry);
  if (!result.parsed) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
  return HRESULT_FROM_WIN32(static_cast<DWORD>(result.status));
}

HRESULT CComModule::RegisterServer(BOOL registerTypeLib, const CLSID* clsid) {
  for (ComClassEntry* entry = m_classTable; entry != nullptr && entry->clsid != nullptr; ++entry) {
    if (!Selected(*entry, clsid)) continue;
    if (const HRESULT hr = entry->updateRegistry(true); FAILED(hr)) return hr;
  }
  return registerTypeLib ? RegisterTypeLibrary() : S_OK;
}

HRESULT CComModule::UnregisterServer(BOOL unregisterTypeLib, const CLSID* clsid) {
  for (ComClassEntry* entry = m_classTable; entry != nullptr && entry->clsid != nullptr; ++entry) {
    if (!Selected(*entry, clsid)) continue;
    if (const HRESULT hr = entry->updateRegistry(false); FAILED(hr)) return hr;
  }
  return unregisterTypeLib ? UnregisterTypeLibrary() : S_OK;
}

HRESULT CComModule::RegisterTypeLibrary() {
  std::wstring path;
  ComPtr<ITypeLib> library;
  const HRESULT hr = LoadOwnTypeLibrary(m_hInst, path, library);
  if (FAILED(hr)) return hr;
  // The library has no help file, so there is no help directory to name.
  // mingw declares the path writable; it is only read.
  return ::RegisterTypeLib(library.Get(), path.data(), nullptr);
}

HRESULT CComModule::UnregisterTypeLibrary() {
  std::wstring path;
  ComPtr<ITypeLib> library;
  HRESULT hr = LoadOwnTypeLibrary(m_hInst, path, library);
  if (FAILED(hr)) return hr;
  TLIBATTR* attributes = nullptr;
  hr = library->GetLibAttr(&attributes);
  if (FAILED(hr)) return hr;
  hr = ::UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                           attributes->lcid, attributes->syskind);
  library->ReleaseTLibAttr(attributes);
  return hr;
}

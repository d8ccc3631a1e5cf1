#pragma once

#include <windows.h>

#include <atomic>

// One COM class a server offers. A table of them ends in an entry whose clsid is null.
struct ComClassEntry {
  const CLSID* clsid;
  HRESULT (*createClassObject)(IUnknown** classObject);  // with one reference for the caller
  HRESULT (*updateRegistry)(bool doRegister);             // the class's own registry entries
  DWORD cookie;                                           // its registration with COM, or 0
};

// A small COM server module: the server's lock count, its class table and type library, and
// their registration with COM and in the registry.
class CComModule {
 public:
  CComModule() = default;
  virtual ~CComModule() = default;
  CComModule(const CComModule&) = delete;
  CComModule& operator=(const CComModule&) = delete;

  HRESULT Init(ComClassEntry* classTable, HINSTANCE instance, const GUID* typeLibId);

  virtual LONG Lock();
  virtual LONG Unlock();
  virtual LONG GetLockCount();

  // Every class object of the table, made available to other processes and revoked again.
  HRESULT RegisterClassObjects(DWORD context, DWORD flags);
  HRESULT RevokeClassObjects();

  // Runs the registry script of resource resourceId (type "REGISTRY") in one direction, with
  // the replacements "Module", "Module_Raw" and "APPID". A malformed script writes nothing.
  HRESULT UpdateRegistryFromResource(UINT resourceId, BOOL doRegister);

  // The classes of the table (all, or only *clsid) and, when asked, the type library in the
  // module's TYPELIB resource 1. The first failure is the result.
  HRESULT RegisterServer(BOOL registerTypeLib, const CLSID* clsid = nullptr);
  HRESULT UnregisterServer(BOOL unregisterTypeLib, const CLSID* clsid = nullptr);

  HINSTANCE m_hInst = nullptr;
  ComClassEntry* m_classTable = nullptr;
  GUID m_typeLibId = {};

 protected:
  std::atomic<LONG> m_lockCount{0};

 private:
  HRESULT RegisterTypeLibrary();
  HRESULT UnregisterTypeLibrary();
};

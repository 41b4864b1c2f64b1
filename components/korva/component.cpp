// The DLL's face to COM: the class factory, the unload test and the registration entry points.
// The factory is a static object (it lives as long as the DLL), but its references still count
// towards the module so that a client holding it keeps the code it points into loaded.
#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include <cstring>

#include "components/korva/korva_abi.h"
#include "korva.h"

namespace korva {

namespace {

LONG g_moduleRefs = 0;

class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }

  ULONG STDMETHODCALLTYPE AddRef() override {
    ModuleAddRef();
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
  }

  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    ModuleRelease();
    return static_cast<ULONG>(left);
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return CreateDriver(iid, out);
  }

  // Locks are counted apart from references, so an unlock nobody locked cannot drive the count
  // below zero and keep the DLL loaded for good.
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      InterlockedIncrement(&locks_);
      ModuleAddRef();
      return S_OK;
    }
    for (LONG held = locks_; held > 0; held = locks_) {
      if (InterlockedCompareExchange(&locks_, held - 1, held) == held) {
        ModuleRelease();
        break;
      }
    }
    return S_OK;
  }

 private:
  LONG refs_ = 0;
  LONG locks_ = 0;
};

Factory g_factory;

}  // namespace

void ModuleAddRef() { InterlockedIncrement(&g_moduleRefs); }
void ModuleRelease() { InterlockedDecrement(&g_moduleRefs); }
bool ModuleInUse() { return InterlockedCompareExchange(&g_moduleRefs, 0, 0) != 0; }

}  // namespace korva

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  static_assert(sizeof(CLSID) == sizeof(korva::abi::kClassId));
  if (std::memcmp(&clsid, &korva::abi::kClassId, sizeof(CLSID)) != 0) return CLASS_E_CLASSNOTAVAILABLE;
  return korva::g_factory.QueryInterface(iid, out);
}

STDAPI DllCanUnloadNow() { return korva::ModuleInUse() ? S_FALSE : S_OK; }

// No C++ exception may leave the DLL: out of memory is a status like any other.
STDAPI DllRegisterServer() {
  try {
    return korva::RegisterServer();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDAPI DllUnregisterServer() {
  try {
    return korva::UnregisterServer();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

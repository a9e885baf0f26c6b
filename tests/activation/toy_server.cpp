// File: tests/activation/toy_server.cpp
//
// A minimal in-process server for the activation tests: one class whose
// objects answer IUnknown only, a factory, DllGetClassObject and
// DllCanUnloadNow over a count of live objects and locks. The test reaches
// its counters through exported functions, looked up with dlsym.
#include <atomic>

#include "platform/ole/oleauto.h"
#include "platform/ole/unknwn.h"

// {6A1D3C20-5B7E-4F0A-9C11-2E8D4B6F7A01}
EXTERN_C const CLSID CLSID_ToyObject = {0x6A1D3C20, 0x5B7E, 0x4F0A,
                                        {0x9C, 0x11, 0x2E, 0x8D, 0x4B, 0x6F, 0x7A, 0x01}};

namespace {

std::atomic<long> liveObjects{0};
std::atomic<long> locks{0};
std::atomic<long> factoryCalls{0};

class ToyObject final : public IUnknown {
 public:
  ToyObject() { ++liveObjects; }
  virtual ~ToyObject() { --liveObjects; }
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (!IsEqualIID(riid, IID_IUnknown)) {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    *ppv = this;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 private:
  std::atomic<ULONG> refs_{0};
};

class ToyFactory final : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override { return --refs_; }
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* object = new ToyObject();
    object->AddRef();
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
  }
  HRESULT LockServer(BOOL lock) override {
    lock ? ++locks : --locks;
    return S_OK;
  }
  long refs() const { return refs_; }

 private:
  std::atomic<long> refs_{0};
};

ToyFactory factory;

}  // namespace

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  ++factoryCalls;
  *ppv = nullptr;
  if (!IsEqualCLSID(rclsid, CLSID_ToyObject)) return CLASS_E_CLASSNOTAVAILABLE;
  return factory.QueryInterface(riid, ppv);
}

STDAPI DllCanUnloadNow() { return liveObjects == 0 && locks == 0 ? S_OK : S_FALSE; }

EXTERN_C long ToyLiveObjects() { return liveObjects; }
EXTERN_C long ToyFactoryRefs() { return factory.refs(); }
EXTERN_C long ToyFactoryCalls() { return factoryCalls; }

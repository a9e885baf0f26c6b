// File: server/class_factory.cpp
//
// PBCOMCF and the factory cache behind DllGetClassObject.

#include "server/class_factory.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>

#include "component/component_status.h"
#include "platform/no_throw.h"
#include "server/module_state.h"
#include "vm/session_table.h"

namespace mvcomm::server {
namespace {

bool same(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

std::atomic<testing::SessionLookup> gSessionLookup{nullptr};  // null: the session table

// Serialises the first creation of a factory: two threads asking at once
// would otherwise each make one, and clients would hold different factories.
std::mutex gFactoryMutex;

}  // namespace

void testing::setSessionLookup(SessionLookup lookup) { gSessionLookup.store(lookup); }

HRESULT PBCOMCF::QueryInterface(REFIID riid, void** ppvObject) try {
  if (ppvObject == nullptr) return E_POINTER;
  if (same(riid, IID_IUnknown) || same(riid, IID_IClassFactory)) {
    *ppvObject = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *ppvObject = nullptr;
  return E_NOINTERFACE;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

ULONG PBCOMCF::AddRef() { return static_cast<ULONG>(refCount_.fetch_add(1) + 1); }

ULONG PBCOMCF::Release() { return static_cast<ULONG>(refCount_.fetch_sub(1) - 1); }

HRESULT PBCOMCF::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) try {
  if (ppvObject == nullptr) return E_POINTER;
  *ppvObject = nullptr;
  if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;

  vm::IVMSession* session = nullptr;
  const uint32_t thread = vm::SessionTable::currentThreadId();
  const testing::SessionLookup lookup = gSessionLookup.load();
  const HRESULT found = lookup != nullptr ? lookup(thread, &session)
                                          : vm::SessionTable::find(thread, &session);
  if (found < 0) return component::kErrSessionLookup;

  if (entry_->createRoutine == nullptr) return E_FAIL;
  void* created = nullptr;
  const HRESULT st = entry_->createRoutine(session, &created);
  if (st < 0) return st;

  // The object starts at count 0: this reference keeps it alive across the
  // query, and its release destroys it when the interface is refused.
  auto* object = static_cast<IUnknown*>(created);
  object->AddRef();
  const HRESULT hr = object->QueryInterface(riid, ppvObject);
  object->Release();
  return hr;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT PBCOMCF::LockServer(BOOL fLock) try {
  if (fLock) {
    lockModule();
  } else {
    unlockModule();
  }
  return S_OK;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT getClassObject(registration::ServerDescriptor& descriptor, REFCLSID clsid, REFIID riid,
                       void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  registration::ClassEntry* entry = nullptr;
  for (uint32_t i = 0; i < descriptor.classCount && entry == nullptr; ++i)
    if (descriptor.classes[i].classId != nullptr && same(*descriptor.classes[i].classId, clsid))
      entry = &descriptor.classes[i];
  if (entry == nullptr) return CLASS_E_CLASSNOTAVAILABLE;

  PBCOMCF* factory = nullptr;
  {
    std::lock_guard<std::mutex> hold(gFactoryMutex);
    if (entry->factory == nullptr) entry->factory = new (std::nothrow) PBCOMCF(entry);
    factory = entry->factory;
  }
  if (factory == nullptr) return E_OUTOFMEMORY;
  return factory->QueryInterface(riid, ppv);
}

}  // namespace mvcomm::server

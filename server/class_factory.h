// File: server/class_factory.h
//
// PBCOMCF: the class factory of one class entry. DllGetClassObject creates
// it on first request, caches it in the entry and hands out the same one
// for the rest of the process; it is never destroyed. Its count only
// reports: a factory never keeps the module loaded, LockServer does.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/ole/unknwn.h"
#include "server/registration/server_descriptor.h"
#include "vm/vm_interfaces.h"

namespace mvcomm::server {

class PBCOMCF final : public IClassFactory {
 public:
  explicit PBCOMCF(registration::ClassEntry* entry) : entry_(entry) {}
  // Never called: a factory lives until the process ends.
  virtual ~PBCOMCF() = default;
  PBCOMCF(const PBCOMCF&) = delete;
  PBCOMCF& operator=(const PBCOMCF&) = delete;

  // IUnknown and IClassFactory; anything else E_NOINTERFACE.
  STDMETHOD(QueryInterface)(REFIID riid, void** ppvObject) override;
  STDMETHOD_(ULONG, AddRef)() override;
  STDMETHOD_(ULONG, Release)() override;  // never frees the factory

  // Errors: CLASS_E_NOAGGREGATION for an outer unknown; -8204 the thread's
  // session could not be looked up; E_FAIL for an entry without create
  // routine; the creation status; the new object's QueryInterface result
  // (the object is then destroyed). E_POINTER for a null ppvObject.
  STDMETHOD(CreateInstance)(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override;
  // Non-zero: moduleLockCount + 1; zero: - 1. Always S_OK.
  STDMETHOD(LockServer)(BOOL fLock) override;

 private:
  std::atomic<int32_t> refCount_{0};   // reports only
  registration::ClassEntry* entry_;    // the class it creates
};

// The class object for `clsid` among the descriptor's classes, created and
// cached on first request (one per class even when threads race for it).
// Errors: CLASS_E_CLASSNOTAVAILABLE, E_OUTOFMEMORY (nothing cached), E_POINTER,
// the factory's QueryInterface result.
HRESULT getClassObject(registration::ServerDescriptor& descriptor, REFCLSID clsid, REFIID riid,
                       void** ppv);

namespace testing {
// How CreateInstance finds the calling thread's session; null restores the
// thread session table. For tests that fail the lookup.
using SessionLookup = HRESULT (*)(uint32_t threadId, vm::IVMSession** session);
void setSessionLookup(SessionLookup lookup);
}  // namespace testing

}  // namespace mvcomm::server

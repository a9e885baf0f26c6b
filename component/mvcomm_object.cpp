// File: component/mvcomm_object.cpp
//
// MVComm's life: creation over the thread's session, IUnknown with the
// module lock count, IDispatch through IMVComm's type information, and
// destruction. Each creation step runs only while the status is
// non-negative and every reference it took is released on failure.

#include "component/mvcomm_object.h"

#include <cstring>
#include <new>

#include "component/component_status.h"
#include "platform/no_throw.h"
#include "txn/pbcom_mtsobjectcontrol.h"
#include "vm/session_table.h"
#include "vm/vm_api.h"

namespace mvcomm::component {
namespace {

constexpr char kClassName[] = "n_cst_mvcomm";

HRESULT tableInsert(uint32_t id, vm::IVMSession* s) { return vm::SessionTable::insert(id, s); }
HRESULT tableAddUse(uint32_t id) { return vm::SessionTable::addUse(id); }
HRESULT tableDropUse(uint32_t id) { return vm::SessionTable::dropUse(id); }
uint32_t tableThreadId() { return vm::SessionTable::currentThreadId(); }

bool same(REFIID a, REFIID b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

}  // namespace

ModuleBinding sessionTableBinding(const char* (*modulePath)(),
                                  HRESULT (*loadTypeLibrary)(ITypeLib**), void (*lockModule)(),
                                  void (*unlockModule)()) {
  return ModuleBinding{modulePath,  loadTypeLibrary, lockModule,   unlockModule,
                       tableInsert, tableAddUse,     tableDropUse, tableThreadId};
}

// ---- creation and destruction ------------------------------------------------

HRESULT MVComm::create(const ModuleBinding* binding, vm::IVMSession* session, MVComm** out) try {
  if (out == nullptr || binding == nullptr) return E_POINTER;
  *out = nullptr;
  MVComm* self = new (std::nothrow) MVComm(binding);
  if (self == nullptr) return E_OUTOFMEMORY;

  HRESULT st = S_OK;
  vm::IVMString* pathName = nullptr;
  vm::IVMString* className = nullptr;
  const uint32_t thread = binding->currentThreadId();

  if (session == nullptr) {
    st = vm::vmMakeString(binding->modulePath(), &pathName);
    if (st >= 0 && vm::vmStartSession(nullptr, pathName, 1, 0, &self->session_) < 0)
      st = kErrStartSession;
    // A full table (S_FALSE) is no failure: the object keeps an unshared session.
    if (st >= 0) {
      const HRESULT inserted = binding->insertSession(thread, self->session_);
      if (inserted < 0) st = kErrSessionInsert;
      self->counted_ = inserted == S_OK;
    }
  } else {
    if (binding->addUse(thread) < 0) {
      st = kErrSessionAddUse;
    } else {
      self->counted_ = true;
      self->session_ = session;
      session->AddRef();
    }
  }

  if (st >= 0) st = vm::vmMakeString(kClassName, &className);
  if (st >= 0 && vm::vmCreateObject(className, self->session_, &self->vmObject_) < 0)
    st = kErrCreateInstance;
  if (className != nullptr) className->Release();
  if (pathName != nullptr) pathName->Release();

  if (st >= 0) {
    ITypeLib* library = nullptr;
    if (binding->loadTypeLibrary(&library) < 0 || library == nullptr) {
      st = kErrNoTypeLibrary;
    } else {
      st = library->GetTypeInfoOfGuid(IID_IMVComm, &self->typeInfo_);
    }
    if (library != nullptr) library->Release();
  }

  if (st < 0) {
    delete self;
    return st;
  }
  *out = self;
  return st;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

MVComm::~MVComm() {
  if (vmObject_ != nullptr) vmObject_->Release();
  if (session_ != nullptr) session_->Release();
  // Only an object the table counted lowers the count: an unrecorded one
  // would take another object's use away and, below zero, hand out a
  // released session.
  if (counted_) (void)binding_->dropUse(binding_->currentThreadId());
  if (typeInfo_ != nullptr) typeInfo_->Release();
  delete control_;
}

// ---- IUnknown ----------------------------------------------------------------

HRESULT MVComm::QueryInterface(REFIID riid, void** ppvObject) try {
  if (ppvObject == nullptr) return E_POINTER;
  *ppvObject = nullptr;
  if (typeInfo_ == nullptr) return TYPE_E_INVALIDSTATE;
  IUnknown* found = nullptr;
  if (same(riid, IID_IMVComm) || same(riid, IID_IDispatch) || same(riid, IID_IUnknown)) {
    found = static_cast<IMVComm*>(this);
  } else if (same(riid, vm::IID_IVMObject)) {
    found = vmObject_;
  } else if (same(riid, IID_IObjectControl)) {
    // A failed allocation answers "no interface"; the next request tries again.
    if (control_ == nullptr)
      control_ = new (std::nothrow) txn::PBCOM_MTSOBJECTCONTROL(static_cast<IMVComm*>(this), session_);
    found = control_;
  }
  if (found == nullptr) return E_NOINTERFACE;
  found->AddRef();
  *ppvObject = found;
  return S_OK;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

ULONG MVComm::AddRef() {
  // The first reference holds the module until the last one goes. The lock
  // comes first, so that DllCanUnloadNow on another thread never sees an
  // object that has a reference but no lock. Only the factory holds an
  // object at count 0, so no second first reference races this one.
  if (refCount_.load(std::memory_order_acquire) == 0) binding_->lockModule();
  return static_cast<ULONG>(refCount_.fetch_add(1, std::memory_order_acq_rel) + 1);
}

ULONG MVComm::Release() {
  const int32_t left = refCount_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left != 0) return static_cast<ULONG>(left);
  void (*unlock)() = binding_->unlockModule;
  delete this;
  unlock();
  return 0;
}

// ---- IDispatch -----------------------------------------------------------------

HRESULT MVComm::GetTypeInfoCount(UINT* pctinfo) try {
  if (pctinfo == nullptr) return E_POINTER;
  *pctinfo = 1;
  return S_OK;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT MVComm::GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) try {
  if (ppTInfo == nullptr) return E_POINTER;
  *ppTInfo = nullptr;
  if (iTInfo != 0) return DISP_E_BADINDEX;
  if (typeInfo_ == nullptr) return TYPE_E_CANTLOADLIBRARY;
  typeInfo_->AddRef();
  *ppTInfo = typeInfo_;
  return S_OK;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT MVComm::GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) try {
  if (typeInfo_ == nullptr) return TYPE_E_CANTLOADLIBRARY;
  return typeInfo_->GetIDsOfNames(rgszNames, cNames, rgDispId);
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT MVComm::Invoke(DISPID dispIdMember, REFIID, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                       VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) try {
  if (typeInfo_ == nullptr) return TYPE_E_CANTLOADLIBRARY;
  return typeInfo_->Invoke(static_cast<IMVComm*>(this), dispIdMember, wFlags, pDispParams,
                           pVarResult, pExcepInfo, puArgErr);
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

}  // namespace mvcomm::component

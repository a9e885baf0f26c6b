// File: component/mvcomm_object.h
//
// MVComm: the automation object clients hold. Each one binds IMVComm to one
// n_cst_mvcomm instance living in the VM session of the thread that created
// it (objects of one thread share that session through the thread session
// table). Properties and methods go to the VM object by name on every call;
// the object holds no copy of any property.
//
// Sections (mvcomm_object.cpp): creation and destruction; IUnknown;
// IDispatch. Accessors are in accessors.cpp, method calls in methods.cpp.
//
// An object is created, used and released on one thread: destruction lowers
// the use count of the releasing thread's session entry.
#pragma once

#include <atomic>
#include <cstdint>

#include "component/imvcomm.h"
#include "vm/vm_interfaces.h"

namespace mvcomm::txn {
class PBCOM_MTSOBJECTCONTROL;
}

namespace mvcomm::component {

// What the object needs of the module that hosts it. The module fills one
// with its own path, type library and lock count; tests may replace the
// session-table operations to fail them.
struct ModuleBinding {
  const char* (*modulePath)();                 // library a new session starts on
  HRESULT (*loadTypeLibrary)(ITypeLib** out);  // the library describing IMVComm
  void (*lockModule)();                        // an object's first reference
  void (*unlockModule)();                      // an object's last release
  HRESULT (*insertSession)(uint32_t threadId, vm::IVMSession* session);
  HRESULT (*addUse)(uint32_t threadId);
  HRESULT (*dropUse)(uint32_t threadId);
  uint32_t (*currentThreadId)();
};

// The binding over vm::SessionTable, with the given module parts.
ModuleBinding sessionTableBinding(const char* (*modulePath)(),
                                  HRESULT (*loadTypeLibrary)(ITypeLib**), void (*lockModule)(),
                                  void (*unlockModule)());

class MVComm final : public IMVComm {
 public:
  // Creates an object bound to `session` (the calling thread's, shared) or,
  // when it is null, to a new session registered for the calling thread.
  // On success *out holds an object with reference count 0.
  // Errors: E_OUTOFMEMORY; the VM's status when a name cannot be made;
  // -8304 no session; -8205 the new session not registered; -8206 the use
  // count of the shared session not raised; -8305 no n_cst_mvcomm; -8201 no
  // type library; GetTypeInfoOfGuid's result. *out is null on failure and
  // everything the attempt acquired is released. `binding` must outlive the
  // object.
  static HRESULT create(const ModuleBinding* binding, vm::IVMSession* session, MVComm** out);

  virtual ~MVComm();
  MVComm(const MVComm&) = delete;
  MVComm& operator=(const MVComm&) = delete;

  // ---- IUnknown
  STDMETHOD(QueryInterface)(REFIID riid, void** ppvObject) override;
  STDMETHOD_(ULONG, AddRef)() override;
  STDMETHOD_(ULONG, Release)() override;

  // ---- IDispatch
  STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) override;
  STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                           DISPID* rgDispId) override;
  STDMETHOD(Invoke)(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                    DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                    UINT* puArgErr) override;

  // ---- accessors (accessors.cpp). A get refuses a null result place with
  // E_POINTER before any VM operation.
  STDMETHOD(put_commport)(SHORT value) override;
  STDMETHOD(get_commport)(SHORT* argvalue) override;
  STDMETHOD(put_bautrate)(SHORT value) override;
  STDMETHOD(get_bautrate)(SHORT* argvalue) override;
  STDMETHOD(get_errormessage)(BSTR* argvalue) override;
  STDMETHOD(get_errorcode)(LONG* argvalue) override;
  STDMETHOD(get_rsrows)(LONG* argvalue) override;
  STDMETHOD(get_rsemployeeid)(LONG* argvalue) override;
  STDMETHOD(get_rsworkclass)(BSTR* argvalue) override;
  STDMETHOD(get_rscardedtime)(DATE* argvalue) override;
  STDMETHOD(get_rtrows)(LONG* argvalue) override;
  STDMETHOD(get_rtemployeeid)(LONG* argvalue) override;
  STDMETHOD(get_rtcardid)(LONG* argvalue) override;
  STDMETHOD(put_receivedatatimelapse)(LONG value) override;
  STDMETHOD(get_receivedatatimelapse)(LONG* argvalue) override;

  // ---- method calls (methods.cpp)
  STDMETHOD(setclock)(BSTR machinenum, DATE clock) override;
  STDMETHOD(moverecord)(LONG numrecord, LONG flag) override;
  STDMETHOD(readdata)(BSTR machinenum, DATE startdate, DATE enddate) override;
  STDMETHOD(cleardata)(BSTR machinenum) override;
  STDMETHOD(rtbeginwrite)(LONG recordcount) override;
  STDMETHOD(rtwriterecord)(LONG numrecord, LONG employeeid, LONG cardid) override;
  STDMETHOD(readrefertable)(BSTR machinenum) override;
  STDMETHOD(writerefertable)(BSTR machinenum) override;

  // The wrapped instance (borrowed), for the accessors and method calls.
  vm::IVMObject* vmObject() const { return vmObject_; }

 private:
  friend struct MVCommTestAccess;  // tests: an object whose VM object is gone

  explicit MVComm(const ModuleBinding* binding) : binding_(binding) {}

  std::atomic<int32_t> refCount_{0};           // references held by clients
  ITypeInfo* typeInfo_ = nullptr;              // IMVComm's type information (owned)
  vm::IVMSession* session_ = nullptr;          // session of the wrapped instance (owned)
  vm::IVMObject* vmObject_ = nullptr;          // the n_cst_mvcomm instance (owned)
  txn::PBCOM_MTSOBJECTCONTROL* control_ = nullptr;  // IObjectControl companion, made on demand
  bool counted_ = false;                       // the thread's table entry counts this object
  const ModuleBinding* binding_;               // module path, type library, counters
};

}  // namespace mvcomm::component

// File: txn/pbcom_mtsobjectcontrol.h
//
// PBCOM_MTSOBJECTCONTROL: the IObjectControl companion of one automation
// object, for transaction servers that pool objects. It forwards the three
// notifications to the wrapped instance as the events
// "pbm_component_activate", "pbm_component_deactivate" and
// "pbm_component_canbepooled", and tells the data-window engine (only when a
// library of that name is already loaded in the process) that the session
// enters or leaves transaction-server use.
//
// It holds no reference of its own: its counting is the owner's, and the
// owner destroys it (virtual destructor) in its own destructor.
#pragma once

#include <cstdint>

#include "platform/ole/oaidl.h"
#include "vm/vm_interfaces.h"

namespace mvcomm::txn {

// The engine's file name; looked up with dlopen(RTLD_NOLOAD), never loaded.
inline constexpr char kDataWindowEngine[] = "pbdwe70.dll";
inline constexpr char kTxnServerLoading[] = "dwTxnServerLoading";
inline constexpr char kTxnServerUnLoading[] = "dwTxnServerUnLoading";
using TxnServerLoadingFn = void (*)(uint32_t context, uint32_t txnServerValue);
using TxnServerUnLoadingFn = void (*)(uint32_t context);

// Event kinds of fireComponentEvent.
enum ComponentEvent : int32_t { kActivate = 0, kDeactivate = 1, kCanBePooled = 2 };

class PBCOM_MTSOBJECTCONTROL final : public IObjectControl {
 public:
  // `owner` answers QueryInterface for the VM object interface with the
  // wrapped instance; `session` is the owner's VM session. Neither is
  // referenced; either may be null (the operations then do nothing).
  PBCOM_MTSOBJECTCONTROL(IUnknown* owner, vm::IVMSession* session)
      : owner_(owner), session_(session) {}
  virtual ~PBCOM_MTSOBJECTCONTROL() = default;
  PBCOM_MTSOBJECTCONTROL(const PBCOM_MTSOBJECTCONTROL&) = delete;
  PBCOM_MTSOBJECTCONTROL& operator=(const PBCOM_MTSOBJECTCONTROL&) = delete;

  // Forwarded to the owner; E_FAIL (QueryInterface) or 0 without one.
  STDMETHOD(QueryInterface)(REFIID riid, void** ppvObject) override;
  STDMETHOD_(ULONG, AddRef)() override;
  STDMETHOD_(ULONG, Release)() override;

  // Always S_OK.
  STDMETHOD(Activate)() override;
  STDMETHOD_(void, Deactivate)() override;
  // The value of "pbm_component_canbepooled"; 0 when it cannot be fired.
  STDMETHOD_(BOOL, CanBePooled)() override;

  // Fires the event of `kind` on the wrapped instance: its 16-bit value
  // widened with its sign, or 0 when there is no context, no object, no such
  // kind or event, or the trigger fails.
  int32_t fireComponentEvent(int32_t kind);

 private:
  // The session's 32-bit context handle; false when there is none.
  bool context(uint32_t* handle);

  IUnknown* owner_;           // the automation object (no reference)
  vm::IVMSession* session_;   // its VM session (no reference)
};

}  // namespace mvcomm::txn

// File: txn/pbcom_mtsobjectcontrol.cpp
//
// IObjectControl for pooled objects: the three notifications become events
// of the wrapped instance, and the data-window engine hears of the session
// entering and leaving transaction-server use. Nothing here fails towards
// the transaction server.

#include "txn/pbcom_mtsobjectcontrol.h"

#include <dlfcn.h>

#include "platform/no_throw.h"
#include "vm/vm_api.h"

namespace mvcomm::txn {
namespace {

// The engine export `name`, called through `call`, only when a library of
// the engine's name is already loaded; the reference dlopen takes is dropped
// again at once, so the engine is never loaded or kept here.
template <typename Fn, typename Call>
void callEngine(const char* name, Call call) {
  void* engine = dlopen(kDataWindowEngine, RTLD_LAZY | RTLD_NOLOAD);
  if (engine == nullptr) return;
  if (void* symbol = dlsym(engine, name)) call(reinterpret_cast<Fn>(symbol));
  dlclose(engine);
}

const char* eventName(int32_t kind) {
  switch (kind) {
    case kActivate: return "pbm_component_activate";
    case kDeactivate: return "pbm_component_deactivate";
    case kCanBePooled: return "pbm_component_canbepooled";
    default: return nullptr;
  }
}

}  // namespace

HRESULT PBCOM_MTSOBJECTCONTROL::QueryInterface(REFIID riid, void** ppvObject) try {
  if (owner_ == nullptr) {
    if (ppvObject != nullptr) *ppvObject = nullptr;
    return E_FAIL;
  }
  return owner_->QueryInterface(riid, ppvObject);
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

ULONG PBCOM_MTSOBJECTCONTROL::AddRef() { return owner_ != nullptr ? owner_->AddRef() : 0; }

ULONG PBCOM_MTSOBJECTCONTROL::Release() { return owner_ != nullptr ? owner_->Release() : 0; }

bool PBCOM_MTSOBJECTCONTROL::context(uint32_t* handle) {
  *handle = 0;
  if (session_ == nullptr) return false;
  vm::IVMSessionContext* ctx = nullptr;
  if (session_->QueryInterface(vm::IID_IVMSessionContext, reinterpret_cast<void**>(&ctx)) < 0 ||
      ctx == nullptr)
    return false;
  const bool ok = ctx->contextHandle(handle) >= 0;
  ctx->Release();
  return ok;
}

HRESULT PBCOM_MTSOBJECTCONTROL::Activate() try {
  uint32_t ctx = 0;
  if (context(&ctx)) {
    (void)vm::vmPrepareRuntime();
    uint32_t value = 0;
    (void)vm::vmTxnServerValue(&value);
    callEngine<TxnServerLoadingFn>(kTxnServerLoading, [&](TxnServerLoadingFn fn) { fn(ctx, value); });
  }
  (void)fireComponentEvent(kActivate);
  return S_OK;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

void PBCOM_MTSOBJECTCONTROL::Deactivate() try {
  (void)fireComponentEvent(kDeactivate);
  uint32_t ctx = 0;
  if (context(&ctx))
    callEngine<TxnServerUnLoadingFn>(kTxnServerUnLoading, [&](TxnServerUnLoadingFn fn) { fn(ctx); });
} catch (...) {
  // nothing to report: the deactivation event is lost
}

BOOL PBCOM_MTSOBJECTCONTROL::CanBePooled() try {
  return fireComponentEvent(kCanBePooled);
} catch (...) {
  return FALSE;  // an object that cannot say is not pooled
}

int32_t PBCOM_MTSOBJECTCONTROL::fireComponentEvent(int32_t kind) {
  uint32_t ctx = 0;
  if (!context(&ctx) || owner_ == nullptr) return 0;

  uint32_t handle = 0;
  vm::IVMObject* object = nullptr;
  if (owner_->QueryInterface(vm::IID_IVMObject, reinterpret_cast<void**>(&object)) < 0 ||
      object == nullptr)
    return 0;
  vm::IVMObjectHandle* handleOf = nullptr;
  bool haveHandle =
      object->QueryInterface(vm::IID_IVMObjectHandle, reinterpret_cast<void**>(&handleOf)) >= 0 &&
      handleOf != nullptr && handleOf->objectHandle(&handle) >= 0;
  if (handleOf != nullptr) handleOf->Release();
  object->Release();
  if (!haveHandle) return 0;

  const char* name = eventName(kind);
  if (name == nullptr || handle == 0) return 0;

  uint32_t classHandle = 0;
  if (vm::vmClassOfObject(ctx, handle, &classHandle) < 0 || (classHandle >> 16) == 0xC000u) return 0;

  int32_t token = vm::kNoEventToken;
  uint32_t index = vm::kNoEvent;
  if (vm::vmEventNameToken(name, &token) >= 0 && token != vm::kNoEventToken) {
    uint32_t found = vm::kNoEvent;
    if (vm::vmFindEvent(ctx, classHandle, static_cast<int16_t>(token), &found) >= 0)
      index = found & 0xFFFFu;
  }
  if (index == vm::kNoEvent) return 0;

  uint8_t area[vm::kEventResultBytes] = {};
  if (vm::vmTriggerEvent(handle, 0, index, 0, 0, area) < 0) return 0;
  return static_cast<int16_t>(static_cast<uint16_t>(area[0] | (area[1] << 8)));
}

}  // namespace mvcomm::txn

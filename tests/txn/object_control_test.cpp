// File: tests/txn/object_control_test.cpp
//
// PBCOM_MTSOBJECTCONTROL over a real VM session: events fired on the wrapped
// instance, the engine hooks called only while a library of the engine's
// name is loaded, and nothing failing towards the transaction server.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>

#include "txn/pbcom_mtsobjectcontrol.h"
#include "vm/vm_api.h"
#include "vm/vm_testing.h"

namespace mvcomm::txn {
namespace {

using vm::Op;

// The automation object's part: answers the VM object interface with the
// wrapped instance, and counts references.
struct FakeOwner final : IUnknown {
  explicit FakeOwner(vm::IVMObject* o) : object(o) {}
  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (std::memcmp(&riid, &vm::IID_IVMObject, sizeof(GUID)) != 0 || object == nullptr)
      return E_NOINTERFACE;
    object->AddRef();
    *ppv = object;
    return S_OK;
  }
  STDMETHOD_(ULONG, AddRef)() override { return ++refs; }
  STDMETHOD_(ULONG, Release)() override { return --refs; }
  vm::IVMObject* object;
  ULONG refs = 1;
};

template <typename T>
T symbol(void* module, const char* name) {
  return reinterpret_cast<T>(dlsym(module, name));
}

class ObjectControl : public ::testing::Test {
 protected:
  void SetUp() override {
    live_ = vm::testing::liveTotal();
    module_ = dlopen(MVCOMM_POOLED_MODULE, RTLD_NOW);
    ASSERT_NE(module_, nullptr) << dlerror();
    vm::IVMString* path = nullptr;
    ASSERT_EQ(vm::vmMakeString(MVCOMM_POOLED_MODULE, &path), 0);
    ASSERT_EQ(vm::vmStartSession(nullptr, path, 1, 0, &session_), 0);
    path->Release();
  }
  void TearDown() override {
    vm::testing::clearFailure();
    if (object_ != nullptr) object_->Release();
    if (session_ != nullptr) session_->Release();
    if (engine_ != nullptr) dlclose(engine_);
    EXPECT_EQ(vm::testing::liveTotal(), live_);
    dlclose(module_);
  }

  vm::IVMObject* instance(const char* className) {
    vm::IVMString* name = nullptr;
    EXPECT_EQ(vm::vmMakeString(className, &name), 0);
    EXPECT_EQ(vm::vmCreateObject(name, session_, &object_), 0);
    name->Release();
    return object_;
  }
  void loadEngine() {
    engine_ = dlopen(MVCOMM_DW_ENGINE_STUB, RTLD_NOW);
    ASSERT_NE(engine_, nullptr) << dlerror();
  }
  uint32_t contextHandle() {
    vm::IVMSessionContext* ctx = nullptr;
    EXPECT_EQ(session_->QueryInterface(vm::IID_IVMSessionContext, reinterpret_cast<void**>(&ctx)), S_OK);
    uint32_t handle = 0;
    EXPECT_EQ(ctx->contextHandle(&handle), 0);
    ctx->Release();
    return handle;
  }
  int activations() { return symbol<int (*)()>(module_, "pooledActivations")(); }
  int deactivations() { return symbol<int (*)()>(module_, "pooledDeactivations")(); }
  int engineCalls(const char* which) { return symbol<int (*)()>(engine_, which)(); }

  int64_t live_ = 0;
  void* module_ = nullptr;
  void* engine_ = nullptr;
  vm::IVMSession* session_ = nullptr;
  vm::IVMObject* object_ = nullptr;
};

TEST_F(ObjectControl, EventsReachTheInstanceWithoutTheEngine) {
  ASSERT_EQ(dlopen(kDataWindowEngine, RTLD_LAZY | RTLD_NOLOAD), nullptr) << "engine loaded already";
  FakeOwner owner(instance("n_cst_pooled"));
  PBCOM_MTSOBJECTCONTROL control(&owner, session_);
  const int a = activations();
  const int d = deactivations();
  EXPECT_EQ(control.Activate(), S_OK);
  EXPECT_EQ(activations(), a + 1);
  control.Deactivate();
  EXPECT_EQ(deactivations(), d + 1);
  EXPECT_EQ(control.CanBePooled(), -1) << "0xFFFF in the first 16 bits is -1";
  EXPECT_EQ(control.fireComponentEvent(3), 0) << "no such kind";
  EXPECT_EQ(dlopen(kDataWindowEngine, RTLD_LAZY | RTLD_NOLOAD), nullptr) << "never loaded by us";
  EXPECT_EQ(owner.refs, 1u);
}

TEST_F(ObjectControl, LoadedEngineHearsTheSessionComeAndGo) {
  loadEngine();
  FakeOwner owner(instance("n_cst_plain"));
  PBCOM_MTSOBJECTCONTROL control(&owner, session_);
  EXPECT_EQ(control.Activate(), S_OK);
  EXPECT_EQ(engineCalls("stubLoadingCalls"), 1);
  EXPECT_EQ(symbol<uint32_t (*)()>(engine_, "stubLastContext")(), contextHandle());
  EXPECT_EQ(symbol<uint32_t (*)()>(engine_, "stubLastValue")(), vm::kTxnServerValue);
  control.Deactivate();
  EXPECT_EQ(engineCalls("stubUnLoadingCalls"), 1);
  EXPECT_EQ(control.CanBePooled(), 0) << "a class without the event is not poolable";
}

TEST_F(ObjectControl, WithoutContextNothingRunsAndActivateStillSucceeds) {
  loadEngine();
  FakeOwner owner(instance("n_cst_pooled"));
  PBCOM_MTSOBJECTCONTROL control(&owner, nullptr);
  const int a = activations();
  EXPECT_EQ(control.Activate(), S_OK);
  control.Deactivate();
  EXPECT_EQ(control.CanBePooled(), 0);
  EXPECT_EQ(activations(), a);
  EXPECT_EQ(engineCalls("stubLoadingCalls"), 0);
  EXPECT_EQ(engineCalls("stubUnLoadingCalls"), 0);
}

TEST_F(ObjectControl, CountingIsTheOwners) {
  FakeOwner owner(instance("n_cst_plain"));
  PBCOM_MTSOBJECTCONTROL control(&owner, session_);
  EXPECT_EQ(control.AddRef(), 2u);
  EXPECT_EQ(control.Release(), 1u);
  void* p = nullptr;
  EXPECT_EQ(control.QueryInterface(vm::IID_IVMObject, &p), S_OK);
  EXPECT_EQ(p, object_);
  object_->Release();

  PBCOM_MTSOBJECTCONTROL orphan(nullptr, session_);
  p = reinterpret_cast<void*>(1);
  EXPECT_EQ(orphan.QueryInterface(IID_IUnknown, &p), E_FAIL);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(orphan.AddRef(), 0u);
  EXPECT_EQ(orphan.Release(), 0u);
  EXPECT_EQ(orphan.CanBePooled(), 0);
}

TEST_F(ObjectControl, AnyFailingVMStepMeansNotPoolable) {
  FakeOwner owner(instance("n_cst_pooled"));
  PBCOM_MTSOBJECTCONTROL control(&owner, session_);
  const Op steps[] = {Op::SessionContextHandle, Op::ObjectHandleValue, Op::ClassOfObject,
                      Op::EventNameToken, Op::FindEvent, Op::TriggerEvent};
  for (Op op : steps) {
    SCOPED_TRACE(static_cast<int>(op));
    const int64_t before = vm::testing::liveTotal();
    {
      vm::testing::ScopedFailure fail(1, -1, op);
      EXPECT_EQ(control.CanBePooled(), 0);
      EXPECT_TRUE(vm::testing::fired());
    }
    EXPECT_EQ(vm::testing::liveTotal(), before);
  }
  EXPECT_EQ(control.CanBePooled(), -1) << "and works again afterwards";
}

}  // namespace
}  // namespace mvcomm::txn

// File: tests/component/object_lifecycle_test.cpp
//
// The automation object's life: creation over the thread's session,
// QueryInterface, reference counts against DllCanUnloadNow, the IDispatch
// basics, and sessions shared per thread.

#include <cstring>
#include <latch>
#include <thread>
#include <vector>

#include "component/mvcomm_object.h"
#include "server/module_descriptor.h"
#include "tests/component/component_fixture.h"
#include "txn/pbcom_mtsobjectcontrol.h"
#include "vm/session_table.h"

namespace mvcomm::component {

struct MVCommTestAccess {
  static int32_t references(const MVComm* object) { return object->refCount_.load(); }
};

namespace testing {
namespace {

vm::SessionEntry entryOfThisThread() {
  const uint32_t me = vm::SessionTable::currentThreadId();
  for (int i = 0; i < vm::SessionTable::kEntries; ++i)
    if (vm::SessionTable::entry(i).threadId == me) return vm::SessionTable::entry(i);
  return vm::SessionEntry{0, nullptr, 0};
}

using ObjectLifecycle = ComponentTest;

TEST_F(ObjectLifecycle, ObjectHoldsTheModuleWhileItLives) {
  IMVComm* object = create();
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  EXPECT_EQ(object->AddRef(), 2u);
  EXPECT_EQ(object->Release(), 1u);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(DllCanUnloadNow(), S_OK) << "a factory still held does not keep the module";
}

// The first reference takes the module lock before it counts: never is an
// object referenced while DllCanUnloadNow on another thread could say S_OK.
const MVComm* gGaining = nullptr;
int32_t gReferencesAtLock = -1;

TEST_F(ObjectLifecycle, TheFirstReferenceLocksTheModuleBeforeItCounts) {
  ModuleBinding binding = server::testing::moduleBinding();
  static void (*realLock)() = binding.lockModule;
  binding.lockModule = [] {
    gReferencesAtLock = MVCommTestAccess::references(gGaining);
    realLock();
  };
  MVComm* object = nullptr;
  ASSERT_EQ(MVComm::create(&binding, nullptr, &object), S_OK);
  gGaining = object;
  EXPECT_EQ(object->AddRef(), 1u);
  EXPECT_EQ(gReferencesAtLock, 0);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST_F(ObjectLifecycle, ServerLocksCountLikeObjects) {
  EXPECT_EQ(factory_->LockServer(TRUE), S_OK);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  IMVComm* object = create();
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(factory_->LockServer(FALSE), S_OK);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  object->Release();
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST_F(ObjectLifecycle, TwoObjectsOnOneThreadShareASession) {
  IMVComm* first = create();
  ASSERT_NE(first, nullptr);
  const vm::SessionEntry afterFirst = entryOfThisThread();
  EXPECT_EQ(afterFirst.useCount, 1);
  IMVComm* second = create();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(entryOfThisThread().session, afterFirst.session);
  EXPECT_EQ(entryOfThisThread().useCount, 2);

  first->Release();
  EXPECT_EQ(entryOfThisThread().useCount, 1);
  EXPECT_EQ(second->put_commport(3), S_OK) << "the other object keeps working";
  SHORT port = 0;
  EXPECT_EQ(second->get_commport(&port), S_OK);
  EXPECT_EQ(port, 3);
  second->Release();
  EXPECT_EQ(entryOfThisThread().useCount, 0);

  IMVComm* third = create();
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(entryOfThisThread().useCount, 1) << "an idle entry starts a new session";
  third->Release();
}

// An object made while the table was full holds a session the table never
// counted; its release must not take the count of a later object away.
TEST_F(ObjectLifecycle, ObjectFromAFullTableLeavesLaterCountsAlone) {
  const uint32_t me = vm::SessionTable::currentThreadId();
  vm::SessionTable::removeThread(me);
  auto* placeholder = reinterpret_cast<vm::IVMSession*>(0x1000);  // never handed to anyone
  std::vector<uint32_t> others;
  for (uint32_t id = 0x7F000000u; others.size() < vm::SessionTable::kEntries; ++id) {
    const HRESULT hr = vm::SessionTable::insert(id, placeholder);
    if (hr == S_FALSE) break;
    others.push_back(id);
  }
  IMVComm* unshared = create();
  ASSERT_NE(unshared, nullptr) << "a full table is no failure";
  EXPECT_EQ(entryOfThisThread().threadId, 0u);

  vm::SessionTable::removeThread(others.back());  // room again
  others.pop_back();
  IMVComm* counted = create();
  ASSERT_NE(counted, nullptr);
  EXPECT_EQ(entryOfThisThread().useCount, 1);
  unshared->Release();
  EXPECT_EQ(entryOfThisThread().useCount, 1) << "the uncounted object took a use away";

  IMVComm* sharing = create();
  ASSERT_NE(sharing, nullptr);
  EXPECT_EQ(entryOfThisThread().useCount, 2);
  sharing->Release();
  counted->Release();
  EXPECT_EQ(entryOfThisThread().useCount, 0);
  for (uint32_t id : others) vm::SessionTable::removeThread(id);
}

TEST_F(ObjectLifecycle, ObjectsOnSixteenThreadsEachGetTheirOwnSession) {
  constexpr int kThreads = 16;
  std::vector<vm::IVMSession*> sessions(kThreads, nullptr);
  std::vector<HRESULT> results(kThreads, E_FAIL);
  std::vector<std::thread> threads;
  IClassFactory* factory = factory_;
  std::latch allAlive(kThreads);  // every thread's objects live at once
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, factory, &sessions, &results, &allAlive] {
      IMVComm* a = nullptr;
      IMVComm* b = nullptr;
      HRESULT hr = factory->CreateInstance(nullptr, IID_IMVComm, reinterpret_cast<void**>(&a));
      if (hr >= 0) hr = factory->CreateInstance(nullptr, IID_IMVComm, reinterpret_cast<void**>(&b));
      const vm::SessionEntry e = entryOfThisThread();
      sessions[t] = e.useCount == 2 ? e.session : nullptr;
      if (hr >= 0) hr = a->put_commport(static_cast<SHORT>(t));
      SHORT port = -1;
      if (hr >= 0) hr = a->get_commport(&port);
      if (hr >= 0 && port != t) hr = E_FAIL;
      allAlive.arrive_and_wait();
      if (b != nullptr) b->Release();
      if (a != nullptr) a->Release();
      results[t] = hr;
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) {
    SCOPED_TRACE(t);
    EXPECT_EQ(results[t], S_OK);
    ASSERT_NE(sessions[t], nullptr) << "both objects of a thread share its one session";
    for (int u = 0; u < t; ++u) EXPECT_NE(sessions[t], sessions[u]);
  }
}

TEST_F(ObjectLifecycle, QueryInterfaceAnswersItsInterfacesAndNoOthers) {
  IMVComm* object = create();
  ASSERT_NE(object, nullptr);
  struct Case {
    const char* name;
    const IID* iid;
    HRESULT want;
    bool isObject;  // the MVComm object itself
  };
  const Case cases[] = {
      {"IMVComm", &IID_IMVComm, S_OK, true},
      {"IDispatch", &IID_IDispatch, S_OK, true},
      {"IUnknown", &IID_IUnknown, S_OK, true},
      {"IVMObject", &vm::IID_IVMObject, S_OK, false},
      {"IObjectControl", &IID_IObjectControl, S_OK, false},
      {"IClassFactory", &IID_IClassFactory, E_NOINTERFACE, false},
      {"ITypeInfo", &IID_ITypeInfo, E_NOINTERFACE, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(object->QueryInterface(*c.iid, &p), c.want);
    if (c.want < 0) {
      EXPECT_EQ(p, nullptr);
      continue;
    }
    ASSERT_NE(p, nullptr);
    if (c.isObject) {
      EXPECT_EQ(p, static_cast<void*>(object));
    }
    static_cast<IUnknown*>(p)->Release();
  }
  EXPECT_EQ(object->Release(), 0u);
}

TEST_F(ObjectLifecycle, TheVMObjectInterfaceIsTheWrappedInstance) {
  IMVComm* object = create();
  ASSERT_NE(object, nullptr);
  vm::IVMObject* instance = nullptr;
  ASSERT_EQ(object->QueryInterface(vm::IID_IVMObject, reinterpret_cast<void**>(&instance)), S_OK);
  EXPECT_NE(static_cast<void*>(instance), static_cast<void*>(object));
  vm::IVMString* cls = nullptr;
  ASSERT_EQ(instance->className(&cls), 0);
  const char* text = nullptr;
  ASSERT_EQ(cls->text(&text), 0);
  EXPECT_STREQ(text, "n_cst_mvcomm");
  cls->Release();
  instance->Release();  // the instance's reference, not the object's
  EXPECT_EQ(object->AddRef(), 2u);
  object->Release();
  EXPECT_EQ(object->Release(), 0u);
}

TEST_F(ObjectLifecycle, ObjectControlIsOneCompanionCountedOnTheObject) {
  IMVComm* object = create();
  ASSERT_NE(object, nullptr);
  IObjectControl* a = nullptr;
  IObjectControl* b = nullptr;
  ASSERT_EQ(object->QueryInterface(IID_IObjectControl, reinterpret_cast<void**>(&a)), S_OK);
  ASSERT_EQ(object->QueryInterface(IID_IObjectControl, reinterpret_cast<void**>(&b)), S_OK);
  EXPECT_EQ(a, b);
  EXPECT_EQ(object->AddRef(), 4u) << "each request added a reference to the object";
  object->Release();
  // The companion's own QueryInterface leads back to the object.
  IMVComm* back = nullptr;
  ASSERT_EQ(a->QueryInterface(IID_IMVComm, reinterpret_cast<void**>(&back)), S_OK);
  EXPECT_EQ(back, object);
  back->Release();
  EXPECT_EQ(a->CanBePooled(), 0) << "n_cst_mvcomm has no pooling event";
  EXPECT_EQ(a->Activate(), S_OK);
  a->Deactivate();
  b->Release();
  a->Release();
  EXPECT_EQ(object->Release(), 0u);
}

TEST_F(ObjectLifecycle, DispatchBasics) {
  IMVComm* object = create();
  ASSERT_NE(object, nullptr);
  UINT count = 0;
  EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ITypeInfo* info = nullptr;
  EXPECT_EQ(object->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
  EXPECT_EQ(info, nullptr);
  ASSERT_EQ(object->GetTypeInfo(0, 0x0409, &info), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(std::memcmp(&attr->guid, &IID_IMVComm, sizeof(GUID)), 0);
  info->ReleaseTypeAttr(attr);
  info->Release();

  LPOLESTR name = const_cast<LPOLESTR>(u"COMMPORT");
  DISPID id = 0;
  EXPECT_EQ(object->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
  EXPECT_EQ(id, 1);
  object->Release();
}

}  // namespace
}  // namespace testing
}  // namespace mvcomm::component

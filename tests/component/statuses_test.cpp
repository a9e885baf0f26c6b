// File: tests/component/statuses_test.cpp
//
// Every status code of object creation, the factory, the accessors and the
// method calls, produced by failing the VM operation (or the allocation, or
// the session-table step) behind it; and after each, every reference back.

#include <functional>

#include "component/component_status.h"
#include "component/mvcomm_object.h"
#include "server/class_factory.h"
#include "server/module_descriptor.h"
#include "tests/component/component_fixture.h"

namespace mvcomm::component {

// Takes the VM object away, as no creation would.
struct MVCommTestAccess {
  static void dropVMObject(IMVComm* object) {
    auto* self = static_cast<MVComm*>(object);
    self->vmObject_->Release();
    self->vmObject_ = nullptr;
  }
};

namespace testing {
namespace {

using vm::Op;
constexpr int32_t kInjected = -77;  // a status no step of ours produces

struct CallCase {
  const char* name;
  Op op;              // the VM operation failed (Op::Any: none)
  uint64_t nth;       // which call of it
  HRESULT want;
  std::function<HRESULT(IMVComm*)> call;
};

HRESULT getErrorcode(IMVComm* o) {
  LONG v = 0;
  return o->get_errorcode(&v);
}
HRESULT getErrormessage(IMVComm* o) {
  BSTR b = nullptr;
  const HRESULT hr = o->get_errormessage(&b);
  SysFreeString(b);
  return hr;
}
HRESULT getCardedTime(IMVComm* o) {
  DATE d = 0;
  return o->get_rscardedtime(&d);
}
HRESULT putCommport(IMVComm* o) { return o->put_commport(-1); }
HRESULT moveRecord(IMVComm* o) { return o->moverecord(1, 1); }
HRESULT clearData(IMVComm* o) {
  Bstr machine(u"5");
  return o->cleardata(machine.get());
}
HRESULT setClock(IMVComm* o) {
  Bstr machine(u"5");
  return o->setclock(machine.get(), 37556.5);
}

using Statuses = ComponentTest;

TEST_F(Statuses, AccessorsAndMethodsNameTheStepThatFailed) {
  const CallCase cases[] = {
      {"get: no name", Op::MakeString, 1, kErrPropertyName, getErrorcode},
      {"get: no read", Op::ObjectGetVariable, 1, kErrReadVariable, getErrorcode},
      {"get: no typed read", vm::valueGetOp(vm::kTypeLong), 1, kErrTypedRead, getErrorcode},
      {"get string: no typed read", vm::valueGetOp(vm::kTypeString), 1, kErrTypedRead, getErrormessage},
      {"get string: no text", Op::StringText, 1, kErrConvertResult, getErrormessage},
      {"get datetime: no date part", Op::DateTimeDatePart, 1, kErrConvertResult, getCardedTime},
      {"put: no context", Op::ObjectValueContext, 1, kErrValueContext, putCommport},
      {"put: no name", Op::MakeString, 1, kErrPropertyName, putCommport},
      {"put: no value", Op::MakeValue, 1, kErrPutValue, putCommport},
      {"put: not stored", vm::valueSetOp(vm::kTypeInteger), 1, kErrTypedWrite, putCommport},
      {"put: not assigned", Op::ObjectSetVariable, 1, kErrAssign, putCommport},
      {"method: no context", Op::ObjectValueContext, 1, kErrValueContext, moveRecord},
      {"method: no name", Op::MakeString, 1, kErrFunctionName, moveRecord},
      {"method: no first value", Op::MakeValue, 1, kErrArgumentValue, moveRecord},
      {"method: no second value", Op::MakeValue, 2, kErrArgumentValue, moveRecord},
      {"method: not stored", vm::valueSetOp(vm::kTypeLong), 2, kErrStoreArgument, moveRecord},
      {"method: no argument", Op::MakeArgument, 2, kErrMakeArgument, moveRecord},
      {"method: call failed", Op::ObjectCallFunction, 1, kErrCall, moveRecord},
      {"method: string not converted", Op::MakeString, 1, kErrConvertArgument, clearData},
      {"method: name after conversion", Op::MakeString, 2, kErrFunctionName, clearData},
      {"method: string not stored", vm::valueSetOp(vm::kTypeString), 1, kErrStoreArgument, clearData},
      {"method: datetime not converted", Op::MakeTime, 1, kErrConvertArgument, setClock},
      {"method: datetime not stored", vm::valueSetOp(vm::kTypeDateTime), 1, kErrStoreArgument, setClock},
  };
  for (const CallCase& c : cases) {
    SCOPED_TRACE(c.name);
    IMVComm* object = create();
    ASSERT_NE(object, nullptr);
    const int64_t before = vm::testing::liveTotal();
    LONG errorcode = -1;
    ASSERT_EQ(object->get_errorcode(&errorcode), S_OK);
    {
      vm::testing::ScopedFailure fail(c.nth, kInjected, c.op);
      EXPECT_EQ(c.call(object), c.want);
      EXPECT_TRUE(vm::testing::fired());
    }
    EXPECT_EQ(vm::testing::liveTotal(), before) << "every reference of the failed call released";
    LONG after = -1;
    EXPECT_EQ(object->get_errorcode(&after), S_OK);
    EXPECT_EQ(after, errorcode) << "a failed call leaves the terminal outcome alone";
    object->Release();
  }
}

TEST_F(Statuses, MethodArraysThatCannotBeAllocatedGiveMinus8301) {
  for (long nth : {1L, 2L}) {
    SCOPED_TRACE(nth);
    IMVComm* object = create();
    ASSERT_NE(object, nullptr);
    ole::failAllocation(ole::AllocKind::CoTaskMem, nth);
    EXPECT_EQ(object->rtwriterecord(0, -1, 2147483647), kErrNoCallArrays);
    ole::clearAllocationFailures();
    object->Release();
  }
}

TEST_F(Statuses, NullStringArgumentIsRefusedBeforeTheCall) {
  IMVComm* object = create();
  ASSERT_NE(object, nullptr);
  ASSERT_EQ(object->put_commport(77), S_OK);  // a call would fail on this port
  EXPECT_EQ(object->cleardata(nullptr), kErrConvertArgument);
  EXPECT_EQ(object->setclock(nullptr, 37556.5), kErrConvertArgument);
  LONG code = -1;
  EXPECT_EQ(object->get_errorcode(&code), S_OK);
  EXPECT_EQ(code, 0) << "cleardata and setclock never ran";
  object->Release();
}

TEST_F(Statuses, ObjectWithoutVMObjectRefusesEveryMember) {
  IMVComm* object = create();
  ASSERT_NE(object, nullptr);
  MVCommTestAccess::dropVMObject(object);
  Bstr machine(u"1");
  SHORT s = 0;
  LONG l = 0;
  BSTR b = nullptr;
  DATE d = 0;
  EXPECT_EQ(object->get_commport(&s), kErrNoVMObject);
  EXPECT_EQ(object->put_commport(1), kErrNoVMObject);
  EXPECT_EQ(object->get_errorcode(&l), kErrNoVMObject);
  EXPECT_EQ(object->get_errormessage(&b), kErrNoVMObject);
  EXPECT_EQ(object->get_rscardedtime(&d), kErrNoVMObject);
  EXPECT_EQ(object->put_receivedatatimelapse(1), kErrNoVMObject);
  EXPECT_EQ(object->readdata(machine.get(), 1, 2), kErrNoVMObject);
  EXPECT_EQ(object->moverecord(1, 1), kErrNoVMObject);
  EXPECT_EQ(b, nullptr);
  EXPECT_EQ(object->Release(), 0u);
}

TEST_F(Statuses, GetWithoutResultPlaceIsRefused) {
  IMVComm* object = create();
  ASSERT_NE(object, nullptr);
  const int64_t before = vm::testing::liveTotal();
  EXPECT_EQ(object->get_errorcode(nullptr), E_POINTER);
  EXPECT_EQ(object->get_errormessage(nullptr), E_POINTER);
  EXPECT_EQ(object->get_rscardedtime(nullptr), E_POINTER);
  EXPECT_EQ(object->get_bautrate(nullptr), E_POINTER);
  EXPECT_EQ(vm::testing::liveTotal(), before);
  object->Release();
}

// ---- creation -------------------------------------------------------------------

HRESULT failHook(uint32_t) { return E_FAIL; }
HRESULT failInsert(uint32_t, vm::IVMSession*) { return E_FAIL; }
HRESULT fullTable(uint32_t, vm::IVMSession*) { return S_FALSE; }
HRESULT failLookup(uint32_t, vm::IVMSession**) { return E_FAIL; }
HRESULT failTypeLibrary(ITypeLib** out) {
  *out = nullptr;
  return TYPE_E_CANTLOADLIBRARY;
}

// Restores the module binding however the test ends.
class BindingGuard {
 public:
  BindingGuard() : saved_(server::testing::moduleBinding()) {}
  ~BindingGuard() {
    server::testing::moduleBinding() = saved_;
    server::testing::setSessionLookup(nullptr);
  }
  ModuleBinding& binding() { return server::testing::moduleBinding(); }

 private:
  ModuleBinding saved_;
};

TEST_F(Statuses, CreationFailuresNameTheirStep) {
  struct Case {
    const char* name;
    Op op;
    uint64_t nth;
    HRESULT want;
  };
  const Case cases[] = {
      {"module path name", Op::MakeString, 1, kInjected},
      {"session", Op::StartSession, 1, kErrStartSession},
      {"class name", Op::MakeString, 2, kInjected},
      {"instance", Op::CreateObject, 1, kErrCreateInstance},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HRESULT hr = S_OK;
    {
      vm::testing::ScopedFailure fail(c.nth, kInjected, c.op);
      EXPECT_EQ(create(&hr), nullptr);
    }
    EXPECT_EQ(hr, c.want);
    EXPECT_EQ(vm::testing::liveTotal(), vmLive_);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
  }
}

TEST_F(Statuses, SessionTableAndTypeLibraryFailuresFailCreation) {
  BindingGuard guard;
  HRESULT hr = S_OK;

  guard.binding().insertSession = failInsert;
  EXPECT_EQ(create(&hr), nullptr);
  EXPECT_EQ(hr, kErrSessionInsert);
  EXPECT_EQ(vm::testing::liveTotal(), vmLive_) << "the started session is released";

  guard.binding().insertSession = fullTable;  // a full table is no failure
  IMVComm* unshared = create(&hr);
  EXPECT_EQ(hr, S_OK);
  ASSERT_NE(unshared, nullptr);
  unshared->Release();
  guard.binding() = server::testing::moduleBinding();

  server::testing::moduleBinding().loadTypeLibrary = failTypeLibrary;
  EXPECT_EQ(create(&hr), nullptr);
  EXPECT_EQ(hr, kErrNoTypeLibrary);
  EXPECT_EQ(vm::testing::liveTotal(), vmLive_);
}

TEST_F(Statuses, SharedSessionWhoseUseCountCannotRiseFailsCreation) {
  IMVComm* first = create();
  ASSERT_NE(first, nullptr);
  {
    BindingGuard guard;
    guard.binding().addUse = failHook;
    HRESULT hr = S_OK;
    EXPECT_EQ(create(&hr), nullptr);
    EXPECT_EQ(hr, kErrSessionAddUse);
  }
  LONG code = -1;
  EXPECT_EQ(first->get_errorcode(&code), S_OK) << "the first object is untouched";
  first->Release();
}

TEST_F(Statuses, SessionLookupFailureGivesMinus8204) {
  BindingGuard guard;
  server::testing::setSessionLookup(failLookup);
  HRESULT hr = S_OK;
  EXPECT_EQ(create(&hr), nullptr);
  EXPECT_EQ(hr, kErrSessionLookup);
}

// Fails each VM call of an operation in turn until a run injects nothing:
// every run ends in success or a listed code, and releases what it took.
TEST_F(Statuses, FailingEveryVMCallInTurnLeaksNothing) {
  IMVComm* object = create();
  ASSERT_NE(object, nullptr);
  Bstr machine(u"5");
  const std::function<HRESULT()> calls[] = {
      [&] { return object->readdata(machine.get(), 37556, 37557); },
      [&] { return object->setclock(machine.get(), 37556.25); },
      [&] { return getCardedTime(object); },
      [&] { return getErrormessage(object); },
      [&] { return object->put_receivedatatimelapse(900); },
  };
  for (size_t k = 0; k < std::size(calls); ++k) {
    for (uint64_t nth = 1;; ++nth) {
      SCOPED_TRACE(::testing::Message() << "call " << k << ", failing VM call " << nth);
      const int64_t before = vm::testing::liveTotal();
      HRESULT hr = S_OK;
      bool fired = false;
      {
        vm::testing::ScopedFailure fail(nth, kInjected, Op::Any);
        hr = calls[k]();
        fired = vm::testing::fired();
      }
      EXPECT_EQ(vm::testing::liveTotal(), before);
      if (!fired) break;
      EXPECT_TRUE(hr < -8200 && hr > -8500) << hr;
      ASSERT_LT(nth, 200u);
    }
  }
  object->Release();
}

TEST_F(Statuses, FailingEachCreationStepInTurnLeaksNothing) {
  IMVComm* keep = nullptr;
  for (int shared = 0; shared < 2; ++shared) {
    for (uint64_t nth = 1;; ++nth) {
      SCOPED_TRACE(::testing::Message() << (shared ? "shared" : "new") << " session, failing VM call " << nth);
      HRESULT hr = S_OK;
      IMVComm* object = nullptr;
      bool fired = false;
      {
        vm::testing::ScopedFailure fail(nth, kInjected, Op::Any);
        object = create(&hr);
        fired = vm::testing::fired();
      }
      if (object != nullptr) object->Release();
      if (!fired) {
        EXPECT_EQ(hr, S_OK);
        break;
      }
      EXPECT_EQ(object, nullptr);
      EXPECT_LT(hr, 0);
      ASSERT_LT(nth, 100u);
    }
    if (shared == 0) keep = create();  // the second round shares its session
  }
  ASSERT_NE(keep, nullptr);
  keep->Release();
}

}  // namespace
}  // namespace testing
}  // namespace mvcomm::component

// File: tests/vm/vm_objects_test.cpp
//
// Sessions on a module's class library, objects reached by name, events by
// handle and token, and failure injection.

#include <dlfcn.h>

#include <cstring>
#include <string>

#include "tests/vm/vm_test_support.h"

namespace mvcomm::vm::test {
namespace {

using ObjectTest = VmFixture;

int probeCounter(const char* symbol) {
  void* module = dlopen(MVCOMM_PROBE_MODULE, RTLD_NOW | RTLD_NOLOAD);
  if (module == nullptr) return -1;
  auto fn = reinterpret_cast<int (*)()>(dlsym(module, symbol));
  int n = fn ? fn() : -1;
  dlclose(module);
  return n;
}

TEST(VmSession, StartFailsForAMissingModuleAClasslessModuleOrAnExtraLibraryList) {
  struct Case {
    const char* path;
    bool extra;
    int32_t status;
  };
  const Case kCases[] = {
      {"/nonexistent/libnothing.so", false, kVmErrNoModule},
      {"", false, kVmErrNoModule},
      {MVCOMM_OLE_MODULE, false, kVmErrNoClassLibrary},
      {MVCOMM_BROKEN_MODULE, false, kVmErrNoClassLibrary},
      {"/etc/hostname", false, kVmErrNoModule},
      {MVCOMM_PROBE_MODULE, true, kVmErrNotSupported},
      {MVCOMM_PROBE_MODULE, false, kVmOk},
  };
  int64_t before = testing::liveTotal();
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.path);
    auto path = name(c.path);
    auto extra = name("x.pbl");
    Ref<IVMSession> s;
    EXPECT_EQ(vmStartSession(c.extra ? extra.get() : nullptr, path.get(), 1, 0, s.out()), c.status);
    EXPECT_EQ(static_cast<bool>(s), c.status == kVmOk);
  }
  Ref<IVMSession> s;
  EXPECT_EQ(vmStartSession(nullptr, nullptr, 1, 0, s.out()), kVmErrBadArgument);
  EXPECT_EQ(testing::liveTotal(), before);
}

bool probeLoaded() {
  void* module = dlopen(MVCOMM_PROBE_MODULE, RTLD_NOW | RTLD_NOLOAD);
  if (module != nullptr) dlclose(module);
  return module != nullptr;
}

// Sessions on one path share the module: it stays mapped while any of them
// lives, however many start and end, and goes with the last one.
TEST(VmSession, SessionsOnOneModuleKeepItLoadedUntilTheLastEnds) {
  ASSERT_FALSE(probeLoaded()) << "something else holds the probe module";
  auto path = name(MVCOMM_PROBE_MODULE);
  Ref<IVMSession> first, second;
  ASSERT_EQ(vmStartSession(nullptr, path.get(), 1, 0, first.out()), kVmOk);
  ASSERT_EQ(vmStartSession(nullptr, path.get(), 1, 0, second.out()), kVmOk);
  EXPECT_TRUE(probeLoaded());
  first.reset();
  ASSERT_TRUE(probeLoaded()) << "the second session's classes went with the first session";
  Ref<IVMObject> object;
  EXPECT_EQ(vmCreateObject(name("n_cst_probe").get(), second.get(), object.out()), kVmOk);
  object.reset();
  second.reset();
  EXPECT_FALSE(probeLoaded()) << "the last session keeps the module open";

  Ref<IVMSession> third;
  ASSERT_EQ(vmStartSession(nullptr, path.get(), 1, 0, third.out()), kVmOk);
  EXPECT_TRUE(probeLoaded());
}

TEST_F(ObjectTest, CreationFindsClassesByNameInAnyCaseAndRunsTheConstructorEvent) {
  int constructed = probeCounter("probeConstructed");
  int destroyed = probeCounter("probeDestroyed");
  {
    auto cls = name("N_CST_PROBE");
    Ref<IVMObject> o;
    ASSERT_EQ(vmCreateObject(cls.get(), session_.get(), o.out()), kVmOk);
    EXPECT_EQ(probeCounter("probeConstructed"), constructed + 1);
    Ref<IVMString> className;
    ASSERT_EQ(o->className(className.out()), kVmOk);
    const char* text = nullptr;
    className->text(&text);
    EXPECT_STREQ(text, "n_cst_probe");
  }
  EXPECT_EQ(probeCounter("probeDestroyed"), destroyed + 1);
  auto missing = name("n_cst_missing");
  Ref<IVMObject> none;
  EXPECT_EQ(vmCreateObject(missing.get(), session_.get(), none.out()), kVmErrNoSuchClass);
  EXPECT_FALSE(none);
}

TEST_F(ObjectTest, InstanceVariablesReadIntoNewValuesAndAssignOnlyWhenWritable) {
  auto count = name("AI_COUNT");
  auto v = makeValue(kTypeInteger);
  ASSERT_EQ(v->setInteger(-1), kVmOk);
  ASSERT_EQ(object_->setVariable(count.get(), v.get()), kVmOk);
  Ref<IVMValue> back;
  ASSERT_EQ(object_->getVariable(count.get(), back.out()), kVmOk);
  EXPECT_NE(back.get(), v.get());
  int16_t i = 0;
  ASSERT_EQ(back->getInteger(&i), kVmOk);
  EXPECT_EQ(i, -1);

  struct Case {
    const char* variable;
    int32_t code;
    int32_t status;
  };
  constexpr Case kCases[] = {
      {"al_total", kTypeLong, kVmErrReadOnly},
      {"ai_count", kTypeLong, kVmErrTypeMismatch},
      {"ai_nothing", kTypeInteger, kVmErrNoSuchVariable},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.variable);
    auto n = name(c.variable);
    auto value = makeValue(c.code);
    EXPECT_EQ(object_->setVariable(n.get(), value.get()), c.status);
  }
  Ref<IVMValue> total;
  auto totalName = name("al_total");
  ASSERT_EQ(object_->getVariable(totalName.get(), total.out()), kVmOk);
  int32_t t = 0;
  total->getLong(&t);
  EXPECT_EQ(t, 5) << "a refused assignment leaves the variable as it was";
  ASSERT_EQ(object_->getVariable(count.get(), back.out()), kVmOk);
  back->getInteger(&i);
  EXPECT_EQ(i, -1);
  int32_t code = 0, ro = 0;
  ASSERT_EQ(object_->variableType(totalName.get(), &code, &ro), kVmOk);
  EXPECT_EQ(code, kTypeLong);
  EXPECT_EQ(ro, 1);
}

TEST_F(ObjectTest, FunctionCallsCheckCountAndTypesBeforeRunning) {
  auto add = name("of_add");
  auto a = makeValue(kTypeLong);
  auto b = makeValue(kTypeLong);
  a->setLong(40);
  b->setLong(2);
  Ref<IVMArgument> args[2];
  ASSERT_EQ(vmMakeArgument(a.get(), kArgByValue, args[0].out()), kVmOk);
  ASSERT_EQ(vmMakeArgument(b.get(), kArgByValue, args[1].out()), kVmOk);
  IVMArgument* raw[2] = {args[0].get(), args[1].get()};
  Ref<IVMValue> result;
  Ref<IUnknown> second;
  uint32_t word = 99;
  ASSERT_EQ(object_->callFunction(add.get(), raw, 2, result.out(), second.out(), &word), kVmOk);
  int32_t sum = 0;
  ASSERT_EQ(result->getLong(&sum), kVmOk);
  EXPECT_EQ(sum, 42);
  EXPECT_EQ(word, static_cast<uint32_t>(kTypeLong));
  ASSERT_TRUE(second);

  auto text = makeValue(kTypeString);
  Ref<IVMArgument> textArg;
  ASSERT_EQ(vmMakeArgument(text.get(), kArgByValue, textArg.out()), kVmOk);
  IVMArgument* mixed[2] = {args[0].get(), textArg.get()};
  struct Case {
    const char* function;
    IVMArgument** args;
    int32_t count;
    int32_t status;
  };
  const Case kCases[] = {
      {"of_add", raw, 1, kVmErrArgCount},
      {"of_add", mixed, 2, kVmErrTypeMismatch},
      {"of_nothing", raw, 2, kVmErrNoSuchFunction},
      {"of_fail", nullptr, 0, -42},  // the function's own failure
      {"of_add", nullptr, 2, kVmErrBadArgument},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.function);
    auto n = name(c.function);
    EXPECT_EQ(object_->callFunction(n.get(), c.args, c.count, result.out(), second.out(), &word),
              c.status);
    EXPECT_FALSE(result);
    EXPECT_FALSE(second);
  }

  // A procedure gives no result value; a by-reference argument comes back changed.
  auto touch = name("of_touch");
  ASSERT_EQ(object_->callFunction(touch.get(), nullptr, 0, result.out(), second.out(), &word), kVmOk);
  EXPECT_FALSE(result);
  EXPECT_EQ(word, static_cast<uint32_t>(kNoResult));
  auto bump = name("of_bump");
  Ref<IVMArgument> byRef;
  ASSERT_EQ(vmMakeArgument(a.get(), kArgByReference, byRef.out()), kVmOk);
  IVMArgument* one[1] = {byRef.get()};
  ASSERT_EQ(object_->callFunction(bump.get(), one, 1, result.out(), second.out(), &word), kVmOk);
  a->getLong(&sum);
  EXPECT_EQ(sum, 41);
  Ref<IVMArgument> badMode;
  EXPECT_EQ(vmMakeArgument(a.get(), 3, badMode.out()), kVmErrBadArgument);
}

TEST_F(ObjectTest, EventsAreFoundByTokenAndTriggeredIntoTheResultArea) {
  Ref<IVMSessionContext> ctx;
  ASSERT_EQ(session_->QueryInterface(IID_IVMSessionContext, reinterpret_cast<void**>(ctx.out())), S_OK);
  uint32_t context = 0;
  ASSERT_EQ(ctx->contextHandle(&context), kVmOk);
  Ref<IVMObjectHandle> oh;
  ASSERT_EQ(object_->QueryInterface(IID_IVMObjectHandle, reinterpret_cast<void**>(oh.out())), S_OK);
  uint32_t handle = 0;
  ASSERT_EQ(oh->objectHandle(&handle), kVmOk);
  EXPECT_NE(handle, 0u);

  uint32_t cls = 0;
  ASSERT_EQ(vmClassOfObject(context, handle, &cls), kVmOk);
  EXPECT_NE(cls >> 16, 0xC000u);
  ASSERT_EQ(vmClassOfObject(context, handle + 1000, &cls), kVmOk);
  EXPECT_EQ(cls, kNoClass);
  EXPECT_EQ(vmClassOfObject(0, handle, &cls), kVmErrBadHandle);
  ASSERT_EQ(vmClassOfObject(context, handle, &cls), kVmOk);

  struct Case {
    const char* event;
    bool known;            // some loaded class declares it
    int64_t returnValue;   // when the probe has it
  };
  constexpr Case kCases[] = {
      {"pbm_component_canbepooled", true, 0xFFFF},
      {"UE_PING", true, 7},
      {"pbm_component_activate", false, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.event);
    int32_t token = 0;
    ASSERT_EQ(vmEventNameToken(c.event, &token), kVmOk);
    if (!c.known) {
      EXPECT_EQ(token, kNoEventToken);
      continue;
    }
    ASSERT_GE(token, 0);
    uint32_t index = 0;
    ASSERT_EQ(vmFindEvent(context, cls, static_cast<int16_t>(token), &index), kVmOk);
    ASSERT_NE(index & 0xFFFF, kNoEvent);
    uint8_t area[8];
    std::memset(area, 0xAB, sizeof area);
    ASSERT_EQ(vmTriggerEvent(handle, 0, index, 0, 0, area), kVmOk);
    int64_t got = 0;
    for (int i = 7; i >= 0; --i) got = (got << 8) | area[i];
    EXPECT_EQ(got, c.returnValue);
  }

  // A class without the event answers 0xFFFF.
  auto bareName = name("n_cst_bare");
  Ref<IVMObject> bare;
  ASSERT_EQ(vmCreateObject(bareName.get(), session_.get(), bare.out()), kVmOk);
  Ref<IVMObjectHandle> bh;
  ASSERT_EQ(bare->QueryInterface(IID_IVMObjectHandle, reinterpret_cast<void**>(bh.out())), S_OK);
  uint32_t bareHandle = 0, bareClass = 0, index = 0;
  bh->objectHandle(&bareHandle);
  ASSERT_EQ(vmClassOfObject(context, bareHandle, &bareClass), kVmOk);
  EXPECT_NE(bareClass, cls);
  int32_t token = 0;
  vmEventNameToken("ue_ping", &token);
  ASSERT_EQ(vmFindEvent(context, bareClass, static_cast<int16_t>(token), &index), kVmOk);
  EXPECT_EQ(index, kNoEvent);
  uint8_t area[8];
  EXPECT_EQ(vmTriggerEvent(bareHandle, 0, 0, 0, 0, area), kVmErrBadHandle);
  EXPECT_EQ(vmTriggerEvent(handle, 1, 0, 0, 0, area), kVmErrBadArgument);
}

TEST_F(ObjectTest, QueryInterfaceAnswersTheObjectAndHandleInterfacesOnly) {
  Ref<IVMObject> same;
  ASSERT_EQ(object_->QueryInterface(IID_IVMObject, reinterpret_cast<void**>(same.out())), S_OK);
  EXPECT_EQ(same.get(), object_.get());
  Ref<IVMObjectHandle> h;
  ASSERT_EQ(object_->QueryInterface(IID_IVMObjectHandle, reinterpret_cast<void**>(h.out())), S_OK);
  Ref<IVMObject> back;
  ASSERT_EQ(h->object(back.out()), kVmOk);
  EXPECT_EQ(back.get(), object_.get());
  Ref<IUnknown> none;
  EXPECT_EQ(object_->QueryInterface(IID_IVMValue, reinterpret_cast<void**>(none.out())), E_NOINTERFACE);
  EXPECT_FALSE(none);
  EXPECT_EQ(session_->QueryInterface(IID_IVMObject, reinterpret_cast<void**>(none.out())), E_NOINTERFACE);
}

TEST(VmRuntime, PrepareRuntimeAndTransactionServerValue) {
  int64_t before = testing::prepareRuntimeCount();
  EXPECT_EQ(vmPrepareRuntime(), kVmOk);
  EXPECT_EQ(testing::prepareRuntimeCount(), before + 1);
  uint32_t v = 0;
  EXPECT_EQ(vmTxnServerValue(&v), kVmOk);
  EXPECT_EQ(v, kTxnServerValue);
  EXPECT_EQ(vmTxnServerValue(nullptr), kVmErrBadArgument);
}

// A small job of the kind the bridge does: name, context, value, assign,
// read back. Each run fails the nth VM call; every run must end in success
// or the injected status, with nothing left alive.
int32_t assignAndReadBack(IVMObject* object) {
  IVMValueContext* ctx = nullptr;
  IVMString* n = nullptr;
  IVMValue* v = nullptr;
  IVMValue* back = nullptr;
  int32_t st = object->valueContext(&ctx);
  if (st >= 0) st = vmMakeString("as_label", &n);
  if (st >= 0) st = vmMakeValue(kTypeString, ctx, &v);
  IVMString* text = nullptr;
  if (st >= 0) st = vmMakeString("x", &text);
  if (st >= 0) st = v->setString(text);
  if (st >= 0) st = object->setVariable(n, v);
  if (st >= 0) st = object->getVariable(n, &back);
  if (back) back->Release();
  if (text) text->Release();
  if (v) v->Release();
  if (n) n->Release();
  if (ctx) ctx->Release();
  return st;
}

TEST_F(ObjectTest, FailingEachCallInTurnLeavesNothingAlive) {
  constexpr int32_t kInjected = -77;
  int64_t alive = testing::liveTotal();
  uint64_t runs = testing::failEachCallInTurn(
      kInjected, [&] { return assignAndReadBack(object_.get()); },
      [&](int32_t st, bool fired) {
        // The probe's setter passes a failing VM call on as its own failure,
        // so the status is the injected one wherever the chain breaks.
        EXPECT_EQ(st, fired ? kInjected : kVmOk);
        EXPECT_EQ(testing::liveTotal(), alive);
      },
      100);
  EXPECT_GT(runs, 5u) << "the job makes several VM calls";
  EXPECT_LT(runs, 100u);
}

TEST_F(ObjectTest, InjectionTargetsOneOperationAndCanPersist) {
  testing::ScopedFailure failure(2, kVmErrNoMemory, Op::MakeString, true);
  Ref<IVMString> a, b, c;
  EXPECT_EQ(vmMakeString("a", a.out()), kVmOk);
  Ref<IVMTime> t;
  EXPECT_EQ(vmMakeTime(1, 2, 3, t.out()), kVmOk) << "another operation is not counted";
  EXPECT_EQ(vmMakeString("b", b.out()), kVmErrNoMemory);
  EXPECT_EQ(vmMakeString("c", c.out()), kVmErrNoMemory);
  EXPECT_FALSE(b);
  EXPECT_EQ(testing::matchingCalls(), 3u);
}

}  // namespace
}  // namespace mvcomm::vm::test

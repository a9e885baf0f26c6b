// File: tests/server/class_library_test.cpp
//
// n_cst_mvcomm reached through the VM by name, as the automation layer
// reaches it: its properties and their types, its functions and their
// parameter types, its events, and terminal operations run by named calls
// against the emulator on the virtual line.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "emulator/emulator.h"
#include "emulator/virtual_line.h"
#include "terminal/n_cst_mvcomm.h"
#include "testing/ref.h"
#include "vm/vm_api.h"
#include "vm/vm_testing.h"

namespace mvcomm::server {
namespace {

using namespace vm;

using mvcomm::testing::Ref;

class ClassLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    baseline_ = vm::testing::liveTotal();
    Ref<IVMString> path, cls;
    ASSERT_EQ(vmMakeString(MVCOMM_MODULE, path.out()), kVmOk);
    ASSERT_EQ(vmMakeString("n_cst_mvcomm", cls.out()), kVmOk);
    ASSERT_EQ(vmStartSession(nullptr, path.get(), 1, 0, session_.out()), kVmOk);
    ASSERT_EQ(vmCreateObject(cls.get(), session_.get(), object_.out()), kVmOk);
    ASSERT_EQ(object_->valueContext(context_.out()), kVmOk);
  }
  void TearDown() override {
    context_.reset();
    object_.reset();
    session_.reset();
    EXPECT_EQ(vm::testing::liveTotal(), baseline_) << "a VM product was leaked";
  }

  Ref<IVMString> name(const char* text) {
    Ref<IVMString> s;
    EXPECT_EQ(vmMakeString(text, s.out()), kVmOk);
    return s;
  }
  int32_t readLong(const char* variable) {
    auto n = name(variable);
    Ref<IVMValue> v;
    EXPECT_EQ(object_->getVariable(n.get(), v.out()), kVmOk);
    int32_t out = -12345;
    if (v.get()) {
      EXPECT_EQ(v->getLong(&out), kVmOk);
    }
    return out;
  }
  std::string readString(const char* variable) {
    auto n = name(variable);
    Ref<IVMValue> v;
    Ref<IVMString> s;
    const char* text = "";
    EXPECT_EQ(object_->getVariable(n.get(), v.out()), kVmOk);
    if (v.get() && v->getString(s.out()) == kVmOk) s->text(&text);
    return text;
  }
  void assignInteger(const char* variable, int32_t value) {
    auto n = name(variable);
    Ref<IVMValue> v;
    ASSERT_EQ(vmMakeValue(kTypeInteger, context_.get(), v.out()), kVmOk);
    ASSERT_EQ(v->setInteger(value), kVmOk);
    ASSERT_EQ(object_->setVariable(n.get(), v.get()), kVmOk);
  }
  // Calls `function` with string and date arguments ("yyyy-mm-dd") or longs.
  int32_t call(const char* function, const std::vector<std::string>& args,
               const std::vector<int32_t>& codes) {
    std::vector<Ref<IVMValue>> values(args.size());
    std::vector<Ref<IVMArgument>> arguments(args.size());
    std::vector<IVMArgument*> raw;
    Ref<IVMDateHelper> helper;
    EXPECT_EQ(vmMakeDateHelper(0, 0, 0, helper.out()), kVmOk);
    for (size_t i = 0; i < args.size(); ++i) {
      EXPECT_EQ(vmMakeValue(codes[i], context_.get(), values[i].out()), kVmOk);
      if (codes[i] == kTypeString) {
        auto s = name(args[i].c_str());
        EXPECT_EQ(values[i]->setString(s.get()), kVmOk);
      } else if (codes[i] == kTypeDate) {
        Ref<IVMDate> d;
        int y = std::stoi(args[i].substr(0, 4)), m = std::stoi(args[i].substr(5, 2)),
            dd = std::stoi(args[i].substr(8, 2));
        EXPECT_EQ(helper->makeDate(y, m, dd, d.out()), kVmOk);
        EXPECT_EQ(values[i]->setDate(d.get()), kVmOk);
      } else {
        EXPECT_EQ(values[i]->setLong(std::stoi(args[i])), kVmOk);
      }
      EXPECT_EQ(vmMakeArgument(values[i].get(), kArgByValue, arguments[i].out()), kVmOk);
      raw.push_back(arguments[i].get());
    }
    auto fn = name(function);
    Ref<IVMValue> result;
    Ref<IUnknown> second;
    uint32_t word = 0;
    return object_->callFunction(fn.get(), raw.data(), static_cast<int32_t>(raw.size()), result.out(),
                                 second.out(), &word);
  }

  // setclock("5", 2002-10-27 14:30:45) the way the automation layer calls
  // it, every step chained on the status and every product released. No
  // port is set, so the class reports invalid_commport once the call runs.
  int32_t quietSetclock() {
    Ref<IVMString> fn, text;
    Ref<IVMDateHelper> helper;
    Ref<IVMDate> date;
    Ref<IVMTime> time;
    Ref<IVMDateTime> stamp;
    Ref<IVMValue> values[2];
    Ref<IVMArgument> args[2];
    Ref<IVMValue> result;
    Ref<IUnknown> second;
    uint32_t word = 0;
    int32_t st = vmMakeString("setclock", fn.out());
    if (st >= 0) st = vmMakeString("5", text.out());
    if (st >= 0) st = vmMakeDateHelper(0, 0, 0, helper.out());
    if (st >= 0) st = helper->makeDate(2002, 10, 27, date.out());
    if (st >= 0) st = vmMakeTime(14, 30, 45, time.out());
    if (st >= 0) st = vmMakeDateTime(date.get(), time.get(), stamp.out());
    if (st >= 0) st = vmMakeValue(kTypeString, context_.get(), values[0].out());
    if (st >= 0) st = values[0]->setString(text.get());
    if (st >= 0) st = vmMakeValue(kTypeDateTime, context_.get(), values[1].out());
    if (st >= 0) st = values[1]->setDateTime(stamp.get());
    if (st >= 0) st = vmMakeArgument(values[0].get(), kArgByValue, args[0].out());
    if (st >= 0) st = vmMakeArgument(values[1].get(), kArgByValue, args[1].out());
    IVMArgument* raw[2] = {args[0].get(), args[1].get()};
    if (st >= 0) st = object_->callFunction(fn.get(), raw, 2, result.out(), second.out(), &word);
    return st;
  }

  int64_t baseline_ = 0;
  Ref<IVMSession> session_;
  Ref<IVMObject> object_;
  Ref<IVMValueContext> context_;
};

TEST_F(ClassLibraryTest, TwelvePropertiesWithTheirTypesNineOfThemReadOnly) {
  struct Property {
    const char* name;
    int32_t typeCode;
    bool readOnly;
  };
  constexpr Property kProperties[] = {
      {"commport", kTypeInteger, false},    {"bautrate", kTypeInteger, false},
      {"errormessage", kTypeString, true},  {"errorcode", kTypeLong, true},
      {"rsrows", kTypeLong, true},          {"rsemployeeid", kTypeLong, true},
      {"rsworkclass", kTypeString, true},   {"rscardedtime", kTypeDateTime, true},
      {"rtrows", kTypeLong, true},          {"rtemployeeid", kTypeLong, true},
      {"rtcardid", kTypeLong, true},        {"receivedatatimelapse", kTypeLong, false},
  };
  for (const Property& p : kProperties) {
    SCOPED_TRACE(p.name);
    auto n = name(p.name);
    int32_t code = 0, ro = -1;
    ASSERT_EQ(object_->variableType(n.get(), &code, &ro), kVmOk);
    EXPECT_EQ(code, p.typeCode);
    EXPECT_EQ(ro, p.readOnly ? 1 : 0);
    Ref<IVMValue> current;
    ASSERT_EQ(object_->getVariable(n.get(), current.out()), kVmOk);
    // Assigning the value it has: refused exactly for the read-only ones.
    EXPECT_EQ(object_->setVariable(n.get(), current.get()), p.readOnly ? kVmErrReadOnly : kVmOk);
  }
  auto hidden = name("il_hcomm");
  int32_t code = 0, ro = 0;
  EXPECT_EQ(object_->variableType(hidden.get(), &code, &ro), kVmErrNoSuchVariable)
      << "private state is not reachable by name";
}

TEST_F(ClassLibraryTest, PropertiesReadTheObjectsOwnValuesAndAssignmentsReachIt) {
  EXPECT_EQ(readLong("receivedatatimelapse"), 800);
  EXPECT_EQ(readLong("errorcode"), 0);
  EXPECT_EQ(readString("errormessage"), "");
  auto carded = name("rscardedtime");
  Ref<IVMValue> v;
  ASSERT_EQ(object_->getVariable(carded.get(), v.out()), kVmOk);
  Ref<IVMDateTime> dt;
  Ref<IVMDate> d;
  Ref<IVMDateHelper> h;
  ASSERT_EQ(v->getDateTime(dt.out()), kVmOk);
  ASSERT_EQ(dt->datePart(d.out()), kVmOk);
  ASSERT_EQ(vmMakeDateHelper(0, 0, 0, h.out()), kVmOk);
  int32_t day = -1;
  ASSERT_EQ(d->dayNumber(h.get(), &day), kVmOk);
  EXPECT_EQ(day, 1) << "1900-01-01 00:00:00";

  assignInteger("commport", -1);
  auto port = name("commport");
  Ref<IVMValue> back;
  ASSERT_EQ(object_->getVariable(port.get(), back.out()), kVmOk);
  int16_t i = 0;
  ASSERT_EQ(back->getInteger(&i), kVmOk);
  EXPECT_EQ(i, -1);
  Ref<IVMValue> wrong;
  ASSERT_EQ(vmMakeValue(kTypeLong, context_.get(), wrong.out()), kVmOk);
  EXPECT_EQ(object_->setVariable(port.get(), wrong.get()), kVmErrTypeMismatch);
}

TEST_F(ClassLibraryTest, EightFunctionsWithTheirParameterTypesAndNoResult) {
  struct Function {
    const char* name;
    int32_t params;
  };
  constexpr Function kFunctions[] = {{"setclock", 2},     {"moverecord", 2},    {"readdata", 3},
                                     {"cleardata", 1},    {"rtbeginwrite", 1},  {"rtwriterecord", 3},
                                     {"readrefertable", 1}, {"writerefertable", 1}};
  for (const Function& f : kFunctions) {
    SCOPED_TRACE(f.name);
    auto n = name(f.name);
    int32_t result = -1, params = -1;
    ASSERT_EQ(object_->functionSignature(n.get(), &result, &params), kVmOk);
    EXPECT_EQ(result, kNoResult);
    EXPECT_EQ(params, f.params);
  }
  EXPECT_EQ(call("moverecord", {"1"}, {kTypeLong}), kVmErrArgCount);
  EXPECT_EQ(call("cleardata", {"5"}, {kTypeLong}), kVmErrTypeMismatch) << "machinenum is a string";
  EXPECT_EQ(call("readdata", {"5", "2002-10-01", "2002-10-31"}, {kTypeString, kTypeDate, kTypeLong}),
            kVmErrTypeMismatch);
  EXPECT_EQ(call("of_connect", {"5"}, {kTypeLong}), kVmErrNoSuchFunction);
}

TEST_F(ClassLibraryTest, OnlyTheConstructorAndDestructorEventsExist) {
  Ref<IVMSessionContext> ctx;
  ASSERT_EQ(session_->QueryInterface(IID_IVMSessionContext, reinterpret_cast<void**>(ctx.out())), S_OK);
  Ref<IVMObjectHandle> oh;
  ASSERT_EQ(object_->QueryInterface(IID_IVMObjectHandle, reinterpret_cast<void**>(oh.out())), S_OK);
  uint32_t context = 0, handle = 0, cls = 0;
  ASSERT_EQ(ctx->contextHandle(&context), kVmOk);
  ASSERT_EQ(oh->objectHandle(&handle), kVmOk);
  ASSERT_EQ(vmClassOfObject(context, handle, &cls), kVmOk);
  for (const char* event : {"pbm_component_activate", "pbm_component_deactivate",
                            "pbm_component_canbepooled"}) {
    SCOPED_TRACE(event);
    int32_t token = 0;
    ASSERT_EQ(vmEventNameToken(event, &token), kVmOk);
    uint32_t index = 0;
    if (token != kNoEventToken) {
      ASSERT_EQ(vmFindEvent(context, cls, static_cast<int16_t>(token), &index), kVmOk);
      EXPECT_EQ(index, kNoEvent);
    }
  }
  int32_t token = 0;
  ASSERT_EQ(vmEventNameToken("destructor", &token), kVmOk);
  uint32_t index = 0;
  ASSERT_EQ(vmFindEvent(context, cls, static_cast<int16_t>(token), &index), kVmOk);
  EXPECT_NE(index, kNoEvent);
}

TEST_F(ClassLibraryTest, ReferenceTableCallsByNameWorkTheObject) {
  EXPECT_EQ(call("rtbeginwrite", {"2"}, {kTypeLong}), kVmOk);
  EXPECT_EQ(call("rtwriterecord", {"2", "-1", "2147483647"}, {kTypeLong, kTypeLong, kTypeLong}), kVmOk);
  EXPECT_EQ(call("moverecord", {"2", "2"}, {kTypeLong, kTypeLong}), kVmOk);
  EXPECT_EQ(readLong("errorcode"), 0) << readString("errormessage");
  EXPECT_EQ(readLong("rtrows"), 2);
  EXPECT_EQ(readLong("rtemployeeid"), -1);
  EXPECT_EQ(readLong("rtcardid"), 2147483647);
  // A terminal error is the class's outcome, not a failed call.
  EXPECT_EQ(call("moverecord", {"1", "3"}, {kTypeLong, kTypeLong}), kVmOk);
  EXPECT_NE(readLong("errorcode"), 0);
}

// Reading every property and running readdata with the nth VM call failing:
// each run ends in success or the injected status, and leaves nothing alive.
TEST_F(ClassLibraryTest, FailingEachCallInTurnLeavesNothingAlive) {
  constexpr int32_t kInjected = -99;
  const int64_t alive = vm::testing::liveTotal();
  auto check = [&](int32_t st, bool fired) {
    EXPECT_EQ(st, fired ? kInjected : kVmOk);
    EXPECT_EQ(vm::testing::liveTotal(), alive);
  };
  for (const char* property : {"errormessage", "rscardedtime", "commport", "errorcode"}) {
    SCOPED_TRACE(property);
    auto read = [&] {
      Ref<IVMString> n;
      Ref<IVMValue> v;
      int32_t st = vmMakeString(property, n.out());
      if (st >= 0) st = object_->getVariable(n.get(), v.out());
      return st;
    };
    EXPECT_LT(vm::testing::failEachCallInTurn(kInjected, read, check, 50), 50u);
  }
  SCOPED_TRACE("setclock");
  EXPECT_LT(vm::testing::failEachCallInTurn(kInjected, [&] { return quietSetclock(); }, check, 100), 100u);
}

// A terminal operation by named call, against the emulator on the virtual line.
class EmulatedLineTest : public ClassLibraryTest {
 protected:
  void SetUp() override {
    line_ = std::make_unique<emulator::VirtualLine>(emulator_, "COM1");
    // The line outlives every object made while it is the default.
    auto opener = std::shared_ptr<serial::PortOpener>(&line_->opener(), [](auto*) {});
    auto clock = std::shared_ptr<Clock>(&line_->clock(), [](auto*) {});
    saved_ = n_cst_mvcomm::setDefaultEnvironment({opener, clock});
    ClassLibraryTest::SetUp();
  }
  void TearDown() override {
    ClassLibraryTest::TearDown();
    n_cst_mvcomm::setDefaultEnvironment(saved_);
  }

  emulator::Emulator emulator_;
  std::unique_ptr<emulator::VirtualLine> line_;
  n_cst_mvcomm::Environment saved_;
};

TEST_F(EmulatedLineTest, ReaddataByNameFillsTheRecordSetReadBackByName) {
  emulator::Terminal& t = emulator_.addTerminal(5);
  ASSERT_TRUE(t.addRecord({{2002, 10, 27}, 258, 3, 14, 30}));
  ASSERT_TRUE(t.addRecord({{2002, 10, 28}, 7, 1, 9, 5}));
  assignInteger("commport", 1);
  assignInteger("bautrate", 9600);
  ASSERT_EQ(call("readdata", {"5", "2002-10-31", "2002-10-01"}, {kTypeString, kTypeDate, kTypeDate}),
            kVmOk);
  ASSERT_EQ(readLong("errorcode"), 0) << readString("errormessage");
  ASSERT_EQ(readLong("rsrows"), 2);
  ASSERT_EQ(call("moverecord", {"1", "1"}, {kTypeLong, kTypeLong}), kVmOk);
  EXPECT_EQ(readLong("rsemployeeid"), 258);
  EXPECT_EQ(readString("rsworkclass"), "3");
  auto carded = name("rscardedtime");
  Ref<IVMValue> v;
  Ref<IVMDateTime> dt;
  Ref<IVMDate> d;
  Ref<IVMTime> tm;
  ASSERT_EQ(object_->getVariable(carded.get(), v.out()), kVmOk);
  ASSERT_EQ(v->getDateTime(dt.out()), kVmOk);
  ASSERT_EQ(dt->datePart(d.out()), kVmOk);
  ASSERT_EQ(dt->timePart(tm.out()), kVmOk);
  int32_t y = 0, m = 0, day = 0, hour = 0, minute = 0;
  d->year(&y);
  d->month(&m);
  d->day(&day);
  tm->hour(&hour);
  tm->minute(&minute);
  EXPECT_EQ(std::vector<int32_t>({y, m, day, hour, minute}),
            std::vector<int32_t>({2002, 10, 27, 14, 30}));

  ASSERT_EQ(call("cleardata", {"5"}, {kTypeString}), kVmOk);
  EXPECT_EQ(readLong("errorcode"), 0) << readString("errormessage");
  EXPECT_TRUE(t.records().empty());
}

}  // namespace
}  // namespace mvcomm::server

// File: tests/component/out_of_memory_test.cpp
//
// No exception crosses a C or COM boundary: object creation, every accessor
// and every method, early and late bound, run with the Nth operator new
// failing in turn (testing/failing_new.h), until a run fails none. Each must
// end in a status or a terminal outcome, with the port closed and every VM
// product, BSTR and object released. A program of its own: the failing new
// replaces the allocator of everything it loads.
#include <functional>
#include <memory>

#include "emulator/emulator.h"
#include "emulator/virtual_line.h"
#include "terminal/n_cst_mvcomm.h"
#include "testing/failing_new.h"
#include "tests/component/component_fixture.h"

namespace mvcomm::component::testing {
namespace {

using mvcomm::testing::ScopedNewFailure;
using mvcomm::testing::newFailed;

class OutOfMemory : public ComponentTest {
 protected:
  void SetUp() override {
    ComponentTest::SetUp();
    emulator::Terminal& t = emulator_.addTerminal(5);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(t.addRecord({{2002, 10, 27}, static_cast<std::uint16_t>(100 + i), 1, 8, 0}));
    saved_ = n_cst_mvcomm::setDefaultEnvironment(
        {std::shared_ptr<serial::PortOpener>(std::shared_ptr<void>(), &line_.opener()),
         std::shared_ptr<Clock>(std::shared_ptr<void>(), &line_.clock())});
  }
  void TearDown() override {
    n_cst_mvcomm::setDefaultEnvironment(saved_);
    ComponentTest::TearDown();
  }

  // Runs `call` with the 1st, 2nd, ... operator new failing until a run
  // fails none; `check` judges each status.
  void failEachAllocation(const char* name, const std::function<HRESULT()>& call,
                          const std::function<void(HRESULT)>& check) {
    for (long nth = 1;; ++nth) {
      SCOPED_TRACE(::testing::Message() << name << ", failing allocation " << nth);
      const int64_t vmBefore = vm::testing::liveTotal();
      const ole::LiveCounts oleBefore = ole::LiveCounts::now();
      HRESULT hr = S_OK;
      bool failed = false;
      {
        ScopedNewFailure fail(nth);
        hr = call();
        failed = newFailed();
      }
      EXPECT_FALSE(line_.portOpen());
      EXPECT_EQ(vm::testing::liveTotal(), vmBefore);
      EXPECT_EQ(ole::LiveCounts::now(), oleBefore);
      if (!failed) {
        EXPECT_EQ(hr, S_OK);
        break;
      }
      check(hr);
      line_.runUntil(line_.now() + std::chrono::seconds(10));  // the terminal forgets the session
      ASSERT_LT(nth, 2000);
    }
  }

  emulator::Emulator emulator_;
  emulator::VirtualLine line_{emulator_};
  n_cst_mvcomm::Environment saved_;
};

TEST_F(OutOfMemory, CreationFailsWithAStatusAndLeavesNothing) {
  failEachAllocation("creation", [&] {
    IMVComm* object = nullptr;
    const HRESULT hr = factory_->CreateInstance(nullptr, IID_IMVComm, reinterpret_cast<void**>(&object));
    if (object != nullptr) object->Release();
    return hr;
  }, [](HRESULT hr) { EXPECT_TRUE(hr == S_OK || hr < 0) << hr; });  // a step that may fail, as registering the library
  IClassFactory* factory = nullptr;
  failEachAllocation("class object", [&] {
    const HRESULT hr = DllGetClassObject(kClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (factory != nullptr) factory->Release();
    factory = nullptr;
    return hr;
  }, [](HRESULT hr) { EXPECT_LT(hr, 0); });
}

TEST_F(OutOfMemory, EveryAccessorAndMethodGivesAStatusOrAnOutcome) {
  IMVComm* o = create();
  ASSERT_NE(o, nullptr);
  ASSERT_EQ(o->put_commport(1), S_OK);
  ASSERT_EQ(o->put_bautrate(9600), S_OK);
  Bstr machine(u"5");
  BSTR text = nullptr;
  LONG number = 0;
  SHORT small = 0;
  DATE when = 0;
  const DATE day = 37556;  // 2002-10-27
  struct Step {
    const char* name;
    std::function<HRESULT()> call;
  };
  const Step steps[] = {
      {"put_commport", [&] { return o->put_commport(1); }},
      {"get_commport", [&] { return o->get_commport(&small); }},
      {"put_bautrate", [&] { return o->put_bautrate(9600); }},
      {"get_bautrate", [&] { return o->get_bautrate(&small); }},
      {"put_receivedatatimelapse", [&] { return o->put_receivedatatimelapse(800); }},
      {"get_receivedatatimelapse", [&] { return o->get_receivedatatimelapse(&number); }},
      {"get_errorcode", [&] { return o->get_errorcode(&number); }},
      {"get_errormessage", [&] {
         const HRESULT hr = o->get_errormessage(&text);
         SysFreeString(text);
         text = nullptr;
         return hr;
       }},
      {"setclock", [&] { return o->setclock(machine.get(), day + 0.5); }},
      {"readdata", [&] { return o->readdata(machine.get(), day, day); }},
      {"get_rsrows", [&] { return o->get_rsrows(&number); }},
      {"moverecord", [&] { return o->moverecord(1, 1); }},
      {"get_rsemployeeid", [&] { return o->get_rsemployeeid(&number); }},
      {"get_rsworkclass", [&] {
         const HRESULT hr = o->get_rsworkclass(&text);
         SysFreeString(text);
         text = nullptr;
         return hr;
       }},
      {"get_rscardedtime", [&] { return o->get_rscardedtime(&when); }},
      {"rtbeginwrite", [&] { return o->rtbeginwrite(2); }},
      {"rtwriterecord", [&] { return o->rtwriterecord(1, 7, 707); }},
      {"writerefertable", [&] { return o->writerefertable(machine.get()); }},
      {"readrefertable", [&] { return o->readrefertable(machine.get()); }},
      {"get_rtrows", [&] { return o->get_rtrows(&number); }},
      {"get_rtemployeeid", [&] { return o->get_rtemployeeid(&number); }},
      {"get_rtcardid", [&] { return o->get_rtcardid(&number); }},
      {"cleardata", [&] { return o->cleardata(machine.get()); }},
  };
  for (const Step& s : steps) {
    // A failed allocation inside the terminal class is its outcome (errno
    // 12, "API Error:Cannot allocate memory"); anywhere else a status.
    failEachAllocation(s.name, s.call, [](HRESULT hr) { EXPECT_TRUE(hr == S_OK || hr < 0) << hr; });
  }

  // Late bound: the names, then Invoke of a get and of a method.
  DISPID id = 0;
  LPOLESTR name = const_cast<LPOLESTR>(u"readdata");
  failEachAllocation("GetIDsOfNames", [&] { return o->GetIDsOfNames(IID_NULL, &name, 1, 0x0409, &id); },
                     [](HRESULT hr) { EXPECT_LT(hr, 0); });
  VARIANT args[3];
  for (VARIANT& a : args) VariantInit(&a);
  args[2].vt = VT_BSTR;
  args[2].bstrVal = machine.get();
  args[1].vt = args[0].vt = VT_DATE;
  args[1].date = args[0].date = day;
  DISPPARAMS three = {args, nullptr, 3, 0};
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO excep{};
  auto clearExcep = [&] {
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    excep = EXCEPINFO{};
  };
  failEachAllocation("Invoke readdata", [&] {
    const HRESULT hr = o->Invoke(id, IID_NULL, 0x0409, DISPATCH_METHOD, &three, nullptr, &excep, nullptr);
    clearExcep();
    return hr;
  }, [](HRESULT hr) { EXPECT_TRUE(hr == S_OK || hr < 0) << hr; });
  failEachAllocation("Invoke errormessage", [&] {
    const HRESULT hr = o->Invoke(3, IID_NULL, 0x0409, DISPATCH_PROPERTYGET, &none, &result, &excep, nullptr);
    VariantClear(&result);
    clearExcep();
    return hr;
  }, [](HRESULT hr) { EXPECT_LT(hr, 0); });
  o->Release();
}

}  // namespace
}  // namespace mvcomm::component::testing

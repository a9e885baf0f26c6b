// File: tests/convert/failures_test.cpp
//
// Every failure status of the converters, each produced by failing the VM
// operation or the platform allocation behind it, and "fail every call in
// turn" runs; after each case every VM product, BSTR, SAFEARRAY and buffer
// made is gone again.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "tests/convert/convert_test_support.h"

namespace mvcomm::convert::test {
namespace {

using vm::Op;
constexpr int32_t kInjected = -77;

class Failures : public ConvertFixture {
 protected:
  // One conversion of each family, with its products released afterwards.
  int32_t bstrToVM() {
    BSTR b = SysAllocString(u"text");
    Ref<vm::IVMString> s;
    const int32_t status = conv_.BstrToVMString(s.out(), b);
    SysFreeString(b);
    if (status < 0) {
      EXPECT_EQ(s.get(), nullptr);
    }
    return status;
  }
  int32_t vmToBstrOf(vm::IVMString* s) {
    BSTR out = SysAllocString(u"untouched");
    BSTR before = out;
    const int32_t status = conv_.VMStringToBstr(&out, s);
    if (status == E_FAIL) {
      EXPECT_EQ(out, before);
    }
    if (status == kPbcomErrNoWideBuffer) {
      EXPECT_EQ(out, nullptr);
    }
    SysFreeString(out);
    if (out != before) SysFreeString(before);
    return status;
  }
  int32_t dateToVM() {
    Ref<vm::IVMDate> d;
    const int32_t status = conv_.DateToVMDate(d.out(), 37557.75);
    if (status < 0) {
      EXPECT_EQ(d.get(), nullptr);
    }
    return status;
  }
  int32_t timeToVM() {
    Ref<vm::IVMTime> t;
    const int32_t status = conv_.DateToVMTime(t.out(), 37557.75);
    if (status < 0) {
      EXPECT_EQ(t.get(), nullptr);
    }
    return status;
  }
  int32_t dateTimeToVM() {
    Ref<vm::IVMDateTime> dt;
    const int32_t status = conv_.DateToVMDateTime(dt.out(), 37557.75);
    if (status < 0) {
      EXPECT_EQ(dt.get(), nullptr);
    }
    return status;
  }
  // The VM products the VM-to-DATE cases read are made before arming.
  Ref<vm::IVMDate> date_;
  Ref<vm::IVMTime> time_;
  Ref<vm::IVMDateTime> dateTime_;
  Ref<vm::IVMDecimal> decimal_;
  Ref<vm::IVMBlob> blob_;
  void makeSources() {
    ASSERT_EQ(conv_.DateToVMDate(date_.out(), 37557.75), 0);
    ASSERT_EQ(conv_.DateToVMTime(time_.out(), 37557.75), 0);
    ASSERT_EQ(conv_.DateToVMDateTime(dateTime_.out(), 37557.75), 0);
    ASSERT_EQ(conv_.DoubleToVMDecimal(decimal_.out(), 2.5), 0);
    const uint8_t bytes[] = {1, 2, 3};
    ASSERT_EQ(vm::vmMakeBlob(3, bytes, blob_.out()), 0);
  }
  void dropSources() {
    date_.reset();
    time_.reset();
    dateTime_.reset();
    decimal_.reset();
    blob_.reset();
  }
};

struct VmCase {
  const char* name;
  Op op;
  uint64_t nth;
  int32_t expected;
};

TEST_F(Failures, EachVMFailureGivesItsStatus) {
  const VmCase kCases[] = {
      {"BstrToVMString", Op::MakeString, 1, kInjected},
      {"VMStringToBstr", Op::StringText, 1, E_FAIL},
      {"DateToVMDate", Op::MakeDateHelper, 1, kPbcomErrNoDateHelper},
      {"DateToVMDate", Op::DateHelperDateFromDayNumber, 1, kPbcomErrNoDate},
      {"DateToVMTime", Op::MakeTime, 1, kPbcomErrNoTime},
      {"DateToVMDateTime", Op::MakeDateHelper, 1, kPbcomErrNoDateHelper},
      {"DateToVMDateTime", Op::DateHelperDateFromDayNumber, 1, kPbcomErrNoDate},
      {"DateToVMDateTime", Op::MakeTime, 1, kPbcomErrNoTime},
      {"DateToVMDateTime", Op::MakeDateTime, 1, kPbcomErrNoDateTime},
      {"VMDateToDate", Op::MakeDateHelper, 1, kInjected},
      {"VMDateToDate", Op::DateDayNumber, 1, kPbcomErrNoDayNumber},
      {"VMTimeToDate", Op::MakeTime, 1, kInjected},
      {"VMTimeToDate", Op::TimeSecondsFrom, 1, kPbcomErrNoDayNumber},
      {"VMDateTimeToDate", Op::MakeDateHelper, 1, kInjected},
      {"VMDateTimeToDate", Op::DateTimeDatePart, 1, kPbcomErrNoDayNumber},
      {"VMDateTimeToDate", Op::DateDayNumber, 1, kInjected},
      {"VMDateTimeToDate", Op::MakeTime, 1, kInjected},
      {"VMDateTimeToDate", Op::DateTimeTimePart, 1, kPbcomErrNoDayNumber},
      {"VMDateTimeToDate", Op::TimeSecondsFrom, 1, kInjected},
      {"DoubleToVMDecimal", Op::MakeDecimal, 1, E_FAIL},
      {"DoubleToVMDecimal", Op::DecimalFromDouble, 1, kInjected},
      {"VMDecimalToDouble", Op::DecimalToDouble, 1, kInjected},
      {"SafeArrayToVMBlob", Op::MakeBlob, 1, kInjected},
      {"VMBlobToSafeArray", Op::BlobLength, 1, kPbcomErrBadArgument},
      {"VMBlobToSafeArray", Op::BlobBytes, 1, kPbcomErrBadArgument},
  };
  for (const VmCase& c : kCases) {
    SCOPED_TRACE(c.name);
    SCOPED_TRACE(static_cast<int>(c.op));
    makeSources();
    auto text = vmString("text");
    const Counts before = Counts::now();
    int32_t status = 0;
    {
      vm::testing::ScopedFailure failure(c.nth, kInjected, c.op);
      const std::string name = c.name;
      if (name == "BstrToVMString") status = bstrToVM();
      if (name == "VMStringToBstr") status = vmToBstrOf(text.get());
      if (name == "DateToVMDate") status = dateToVM();
      if (name == "DateToVMTime") status = timeToVM();
      if (name == "DateToVMDateTime") status = dateTimeToVM();
      DATE d = 1.0;
      if (name == "VMDateToDate") status = conv_.VMDateToDate(&d, date_.get());
      if (name == "VMTimeToDate") status = conv_.VMTimeToDate(&d, time_.get());
      if (name == "VMDateTimeToDate") status = conv_.VMDateTimeToDate(&d, dateTime_.get());
      if (name == "DoubleToVMDecimal") {
        Ref<vm::IVMDecimal> out;
        status = conv_.DoubleToVMDecimal(out.out(), 1.5);
      }
      if (name == "VMDecimalToDouble") {
        double value = 0;
        status = conv_.VMDecimalToDouble(&value, decimal_.get());
      }
      if (name == "SafeArrayToVMBlob") {
        SAFEARRAYBOUND bound{2, 0};
        SAFEARRAY* psa = SafeArrayCreate(VT_UI1, 1, &bound);
        Ref<vm::IVMBlob> out;
        status = conv_.SafeArrayToVMBlob(out.out(), &psa);
        EXPECT_EQ(psa->cLocks, 0u);
        SafeArrayDestroy(psa);
      }
      if (name == "VMBlobToSafeArray") {
        SAFEARRAY* psa = nullptr;
        status = conv_.VMBlobToSafeArray(&psa, blob_.get());
        EXPECT_EQ(psa, nullptr);
      }
      EXPECT_TRUE(vm::testing::fired());
    }
    EXPECT_EQ(status, c.expected);
    EXPECT_COUNTS_BACK(before);
    text.reset();
    dropSources();
    EXPECT_COUNTS_BACK(ready_);
  }
}

TEST_F(Failures, FailingDatePartStillReportsTheTimeAsZero) {
  makeSources();
  DATE d = 9.0;
  {
    vm::testing::ScopedFailure failure(1, kInjected, Op::DateTimeDatePart);
    EXPECT_EQ(conv_.VMDateTimeToDate(&d, dateTime_.get()), kPbcomErrNoDayNumber);
  }
  EXPECT_EQ(d, 0.0);  // neither part counted: the time part is only asked after the date
  {
    vm::testing::ScopedFailure failure(1, kInjected, Op::DateTimeTimePart);
    EXPECT_EQ(conv_.VMDateTimeToDate(&d, dateTime_.get()), kPbcomErrNoDayNumber);
  }
  EXPECT_EQ(d, 37557.0);  // the date part alone
  dropSources();
}

TEST_F(Failures, EachAllocationFailureGivesItsStatus) {
  struct {
    const char* name;
    ole::AllocKind kind;
    int32_t expected;
  } const kCases[] = {
      {"BstrToVMString", ole::AllocKind::CoTaskMem, E_FAIL},  // the narrow buffer
      {"VMStringToBstr", ole::AllocKind::CoTaskMem, kPbcomErrNoWideBuffer},
      {"VMStringToBstr", ole::AllocKind::Bstr, kPbcomErrNoWideBuffer},
      {"VMStringToWide", ole::AllocKind::CoTaskMem, kPbcomErrNoWideBuffer},
      {"VMBlobToSafeArray", ole::AllocKind::SafeArray, kPbcomErrBadArgument},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    makeSources();
    auto s = vmString("text");
    const Counts before = Counts::now();
    int32_t status = 0;
    const std::string name = c.name;
    ole::failAllocation(c.kind, 1);
    if (name == "BstrToVMString") {
      BSTR b = bstrOf(u"text");  // not a CoTaskMem allocation
      Ref<vm::IVMString> out;
      status = conv_.BstrToVMString(out.out(), b);
      EXPECT_EQ(out.get(), nullptr);
      SysFreeString(b);
    }
    if (name == "VMStringToBstr") {
      BSTR out = nullptr;
      status = conv_.VMStringToBstr(&out, s.get());
      EXPECT_EQ(out, nullptr);
    }
    if (name == "VMStringToWide") {
      OLECHAR* out = nullptr;
      status = conv_.VMStringToWide(&out, s.get());
      EXPECT_EQ(out, nullptr);
    }
    if (name == "VMBlobToSafeArray") {
      SAFEARRAY* psa = nullptr;
      status = conv_.VMBlobToSafeArray(&psa, blob_.get());
      EXPECT_EQ(psa, nullptr);
    }
    EXPECT_EQ(ole::injectedFailures(c.kind), 1);
    ole::clearAllocationFailures();
    EXPECT_EQ(status, c.expected);
    EXPECT_COUNTS_BACK(before);
    s.reset();
    dropSources();
  }
}

// Fails the 1st, 2nd, ... VM call of one conversion until a run injects
// nothing; every run ends in success or one of the listed statuses, with
// nothing left behind.
void failEveryCallInTurn(Failures* self, const char* what, const std::function<int32_t()>& run,
                         const std::set<int32_t>& allowed, const Counts& baseline) {
  for (uint64_t nth = 1;; ++nth) {
    SCOPED_TRACE(std::string(what) + " failing VM call " + std::to_string(nth));
    int32_t status = 0;
    bool fired = false;
    {
      vm::testing::ScopedFailure failure(nth, kInjected);
      status = run();
      fired = vm::testing::fired();
    }
    EXPECT_TRUE(status >= 0 || allowed.count(status) == 1) << status;
    EXPECT_TRUE(Counts::now() == baseline) << describe(Counts::now());
    if (!fired) {
      EXPECT_GE(status, 0);
      break;
    }
    ASSERT_LT(nth, 100u);
  }
  (void)self;
}

TEST_F(Failures, EveryVMCallFailedInTurn) {
  makeSources();
  const Counts baseline = Counts::now();
  failEveryCallInTurn(this, "BstrToVMString", [&] { return bstrToVM(); }, {kInjected}, baseline);
  failEveryCallInTurn(this, "DateToVMDateTime", [&] { return dateTimeToVM(); },
                      {kPbcomErrNoDateHelper, kPbcomErrNoDate, kPbcomErrNoTime, kPbcomErrNoDateTime},
                      baseline);
  failEveryCallInTurn(this, "VMDateTimeToDate",
                      [&] {
                        DATE d = 0;
                        return conv_.VMDateTimeToDate(&d, dateTime_.get());
                      },
                      {kInjected, kPbcomErrNoDayNumber}, baseline);
  auto text = vmString("text");
  const Counts withText = Counts::now();
  failEveryCallInTurn(this, "VMStringToVariant",
                      [&] {
                        Var v;
                        return conv_.VMStringToVariant(&v, text.get());
                      },
                      {E_FAIL}, withText);
  text.reset();
  failEveryCallInTurn(this, "VariantToVMDecimal",
                      [&] {
                        Var v;
                        v.vt = VT_BSTR;
                        v.bstrVal = bstrOf(u"3.25");
                        Ref<vm::IVMDecimal> d;
                        return conv_.VariantToVMDecimal(d.out(), &v);
                      },
                      {E_FAIL, kInjected}, baseline);
  failEveryCallInTurn(this, "VMBlobToVariant",
                      [&] {
                        Var v;
                        SAFEARRAYBOUND bound{1, 0};
                        v.vt = VT_ARRAY | VT_UI1;
                        v.parray = SafeArrayCreate(VT_UI1, 1, &bound);
                        return conv_.VMBlobToVariant(&v, blob_.get());
                      },
                      {kPbcomErrBadArgument}, baseline);
  dropSources();
}

}  // namespace
}  // namespace mvcomm::convert::test

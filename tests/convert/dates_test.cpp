// File: tests/convert/dates_test.cpp
//
// DATE <-> VM date, time and datetime: the day-number arithmetic, the time
// of day taken without the fraction's sign, the half-microsecond rounding,
// hour 24, negative dates both ways, and the VARIANT forms.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/convert/convert_test_support.h"

namespace mvcomm::convert::test {
namespace {

class Dates : public ConvertFixture {
 protected:
  int32_t dayNumberOf(vm::IVMDate* date) {
    Ref<vm::IVMDateHelper> helper;
    EXPECT_EQ(vm::vmMakeDateHelper(0, 0, 0, helper.out()), 0);
    int32_t n = INT32_MIN;
    EXPECT_EQ(date->dayNumber(helper.get(), &n), 0);
    return n;
  }
  std::string clockOf(vm::IVMTime* time) {
    int32_t h = -1, m = -1, s = -1;
    time->hour(&h);
    time->minute(&m);
    time->second(&s);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", h, m, s);
    return text;
  }
  Ref<vm::IVMDateTime> makeDateTime(int32_t dayNumber, int32_t h, int32_t m, int32_t s) {
    Ref<vm::IVMDateHelper> helper;
    Ref<vm::IVMDate> date;
    Ref<vm::IVMTime> time;
    Ref<vm::IVMDateTime> dt;
    EXPECT_EQ(vm::vmMakeDateHelper(0, 0, 0, helper.out()), 0);
    EXPECT_EQ(helper->dateFromDayNumber(dayNumber, date.out()), 0);
    EXPECT_EQ(vm::vmMakeTime(h, m, s, time.out()), 0);
    EXPECT_EQ(vm::vmMakeDateTime(date.get(), time.get(), dt.out()), 0);
    return dt;
  }
};

TEST_F(Dates, DateSplitsIntoDayNumberAndTimeOfDay) {
  const double kSecond = 1.0 / 86400.0;
  struct {
    DATE date;
    int32_t dayNumber;
    const char* clock;
  } const kCases[] = {
      {37557.75, 37556, "18:00:00"},
      {0.0, -1, "00:00:00"},
      {1.0, 0, "00:00:00"},
      {-1.25, -2, "06:00:00"},  // the fraction's sign is dropped
      {-0.5, -1, "12:00:00"},   // whole part toward zero
      {0.9999996 * kSecond, -1, "00:00:01"},  // within half a microsecond: counts as 1 s
      {0.9999994 * kSecond, -1, "00:00:00"},
      {2958465.99999, 2958464, "23:59:59"},
      {-657434.5, -657435, "12:00:00"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.date);
    Ref<vm::IVMDate> date;
    ASSERT_EQ(conv_.DateToVMDate(date.out(), c.date), 0);
    EXPECT_EQ(dayNumberOf(date.get()), c.dayNumber);
    Ref<vm::IVMTime> time;
    ASSERT_EQ(conv_.DateToVMTime(time.out(), c.date), 0);
    EXPECT_EQ(clockOf(time.get()), c.clock);
    Ref<vm::IVMDateTime> dt;
    ASSERT_EQ(conv_.DateToVMDateTime(dt.out(), c.date), 0);
    Ref<vm::IVMDate> part;
    ASSERT_EQ(dt->datePart(part.out()), 0);
    EXPECT_EQ(dayNumberOf(part.get()), c.dayNumber);
  }
}

TEST_F(Dates, DateAndTimeIgnoreTheOtherHalf) {
  Ref<vm::IVMDate> a, b;
  ASSERT_EQ(conv_.DateToVMDate(a.out(), 37557.99), 0);
  ASSERT_EQ(conv_.DateToVMDate(b.out(), 37557.0), 0);
  EXPECT_EQ(dayNumberOf(a.get()), dayNumberOf(b.get()));
  Ref<vm::IVMTime> t, u;
  ASSERT_EQ(conv_.DateToVMTime(t.out(), 37557.5), 0);
  ASSERT_EQ(conv_.DateToVMTime(u.out(), 0.5), 0);
  EXPECT_EQ(clockOf(t.get()), "12:00:00");
  EXPECT_EQ(clockOf(u.get()), "12:00:00");
}

TEST_F(Dates, DateTimesConvertBackToTheSameInstant) {
  struct {
    int32_t dayNumber;
    int32_t h, m, s;
    DATE expected;
  } const kCases[] = {
      {37556, 18, 0, 0, 37557.75},
      {-1, 6, 0, 0, 0.25},
      {0, 0, 0, 0, 1.0},
      // Before 1899-12-30 the time counts away from zero: day -2 at 06:00
      // is -1.25 (as DATE reads it back), not -0.75 (which is 12-30 18:00).
      {-2, 6, 0, 0, -1.25},
      {-6, 18, 0, 0, -5.75},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.dayNumber);
    auto dt = makeDateTime(c.dayNumber, c.h, c.m, c.s);
    DATE date = 123.0;
    EXPECT_EQ(conv_.VMDateTimeToDate(&date, dt.get()), 0);
    EXPECT_DOUBLE_EQ(date, c.expected);
    // And forward again to the same parts.
    Ref<vm::IVMDateTime> again;
    ASSERT_EQ(conv_.DateToVMDateTime(again.out(), date), 0);
    Ref<vm::IVMDate> part;
    Ref<vm::IVMTime> time;
    ASSERT_EQ(again->datePart(part.out()), 0);
    ASSERT_EQ(again->timePart(time.out()), 0);
    EXPECT_EQ(dayNumberOf(part.get()), c.dayNumber);
    int32_t h = -1;
    time->hour(&h);
    EXPECT_EQ(h, c.h);
  }
}

TEST_F(Dates, VMDateAndTimeToDate) {
  Ref<vm::IVMDateHelper> helper;
  ASSERT_EQ(vm::vmMakeDateHelper(0, 0, 0, helper.out()), 0);
  Ref<vm::IVMDate> date;
  ASSERT_EQ(helper->dateFromDayNumber(37556, date.out()), 0);
  DATE d = 9.0;
  EXPECT_EQ(conv_.VMDateToDate(&d, date.get()), 0);
  EXPECT_EQ(d, 37557.0);
  // A day the VM holds but DATE cannot: 0.0, and still success.
  ASSERT_EQ(helper->dateFromDayNumber(-690000, date.out()), 0);
  d = 9.0;
  EXPECT_EQ(conv_.VMDateToDate(&d, date.get()), 0);
  EXPECT_EQ(d, 0.0);

  Ref<vm::IVMTime> time;
  ASSERT_EQ(vm::vmMakeTime(6, 0, 0, time.out()), 0);
  EXPECT_EQ(conv_.VMTimeToDate(&d, time.get()), 0);
  EXPECT_EQ(d, 0.25);
}

TEST_F(Dates, HourTwentyFourIsLeftToTheVMWhichRefusesIt) {
  // 1e-14 of a day below midnight rounds up to 86400 seconds: hour 24.
  const DATE almostMidnight = 5.99999999999999;
  Ref<vm::IVMTime> time;
  EXPECT_EQ(conv_.DateToVMTime(time.out(), almostMidnight), kPbcomErrNoTime);
  EXPECT_EQ(time.get(), nullptr);
  Ref<vm::IVMDateTime> dt;
  EXPECT_EQ(conv_.DateToVMDateTime(dt.out(), almostMidnight), kPbcomErrNoTime);
  EXPECT_EQ(dt.get(), nullptr);
  EXPECT_COUNTS_BACK(ready_);
}

TEST_F(Dates, DatesWithNoDayNumberAreRefused) {
  const DATE kBad[] = {std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::infinity(), 1e300, -1e12};
  for (DATE bad : kBad) {
    SCOPED_TRACE(bad);
    Ref<vm::IVMDate> date;
    EXPECT_EQ(conv_.DateToVMDate(date.out(), bad), kPbcomErrNoDate);
    Ref<vm::IVMDateTime> dt;
    EXPECT_EQ(conv_.DateToVMDateTime(dt.out(), bad), kPbcomErrNoDate);
    EXPECT_EQ(dt.get(), nullptr);
  }
  Ref<vm::IVMTime> time;
  EXPECT_EQ(conv_.DateToVMTime(time.out(), std::numeric_limits<double>::quiet_NaN()),
            kPbcomErrNoTime);
  EXPECT_COUNTS_BACK(ready_);
}

TEST_F(Dates, VariantForms) {
  Var text;
  text.vt = VT_BSTR;
  text.bstrVal = bstrOf(u"2002-10-27 18:00:00");
  Ref<vm::IVMDateTime> dt;
  ASSERT_EQ(conv_.VariantToVMDateTime(dt.out(), &text), 0);
  DATE back = 0;
  EXPECT_EQ(conv_.VMDateTimeToDate(&back, dt.get()), 0);
  EXPECT_DOUBLE_EQ(back, 37556.75);

  Var null;
  null.vt = VT_NULL;
  Ref<vm::IVMDate> date;
  EXPECT_EQ(conv_.VariantToVMDate(date.out(), &null), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(date.get(), nullptr);
  Ref<vm::IVMTime> time;
  Var half;
  half.vt = VT_R8;
  half.dblVal = 0.5;
  ASSERT_EQ(conv_.VariantToVMTime(time.out(), &half), 0);

  // Into VARIANTs: by value, by reference of DATE, and refused for a
  // reference to anything else.
  Var out;
  out.vt = VT_BSTR;
  out.bstrVal = bstrOf(u"x");
  EXPECT_EQ(conv_.VMTimeToVariant(&out, time.get()), 0);
  EXPECT_EQ(out.vt, VT_DATE);
  EXPECT_EQ(out.date, 0.5);
  DATE slot = 0;
  VARIANT ref{};
  ref.vt = VT_BYREF | VT_DATE;
  ref.pdate = &slot;
  EXPECT_EQ(conv_.VMDateTimeToVariant(&ref, dt.get()), 0);
  EXPECT_DOUBLE_EQ(slot, 37556.75);
  EXPECT_EQ(ref.vt, VT_BYREF | VT_DATE);
  double other = 1.0;
  ref.vt = VT_BYREF | VT_R8;
  ref.pdblVal = &other;
  EXPECT_EQ(conv_.VMDateToVariant(&ref, nullptr), kPbcomErrBadArgument);
  ASSERT_EQ(conv_.DateToVMDate(date.out(), 3.0), 0);
  EXPECT_EQ(conv_.VMDateToVariant(&ref, date.get()), kPbcomErrBadArgument);
  EXPECT_EQ(other, 1.0);
}

TEST_F(Dates, MissingPointers) {
  DATE d = 0;
  Ref<vm::IVMDate> date;
  EXPECT_EQ(conv_.DateToVMDate(nullptr, 1.0), kPbcomErrBadArgument);
  EXPECT_EQ(conv_.DateRefToVMDate(date.out(), nullptr), kPbcomErrBadArgument);
  EXPECT_EQ(conv_.DateRefToVMTime(nullptr, &d), kPbcomErrBadArgument);
  EXPECT_EQ(conv_.DateRefToVMDateTime(nullptr, &d), kPbcomErrBadArgument);
  EXPECT_EQ(conv_.VMDateToDate(&d, nullptr), kPbcomErrBadArgument);
  EXPECT_EQ(conv_.VMTimeToDate(nullptr, nullptr), kPbcomErrBadArgument);
  EXPECT_EQ(conv_.VMDateTimeToDate(&d, nullptr), kPbcomErrBadArgument);
  d = 37557.25;
  ASSERT_EQ(conv_.DateRefToVMDate(date.out(), &d), 0);
  EXPECT_EQ(dayNumberOf(date.get()), 37556);
}

}  // namespace
}  // namespace mvcomm::convert::test

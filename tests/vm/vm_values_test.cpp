// File: tests/vm/vm_values_test.cpp
//
// Values, dates, times, decimals, blobs and arrays of the VM.

#include <cmath>
#include <cstring>
#include <limits>

#include "tests/vm/vm_test_support.h"

namespace mvcomm::vm::test {
namespace {

using ValueTest = VmFixture;

// Sets the value through the typed set of its code and reads it back
// through the typed get; returns the set's status, the read in `back`.
int32_t roundTrip(IVMValue* v, int32_t code, int64_t in, int64_t* back) {
  int32_t st = kVmErrFailed;
  switch (code) {
    case kTypeCharacter: { st = v->setCharacter(static_cast<int32_t>(in)); uint8_t o; v->getCharacter(&o); *back = o; break; }
    case kTypeWord4: { st = v->setWord4(static_cast<int32_t>(in)); int32_t o; v->getWord4(&o); *back = o; break; }
    case kTypeWord5: { st = v->setWord5(static_cast<uint32_t>(in)); uint32_t o; v->getWord5(&o); *back = o; break; }
    case kTypeInteger: { st = v->setInteger(static_cast<int32_t>(in)); int16_t o; v->getInteger(&o); *back = o; break; }
    case kTypeUnsignedInteger: { st = v->setUnsignedInteger(static_cast<uint32_t>(in)); uint16_t o; v->getUnsignedInteger(&o); *back = o; break; }
    case kTypeLong: { st = v->setLong(static_cast<int32_t>(in)); int32_t o; v->getLong(&o); *back = o; break; }
    case kTypeUnsignedLong: { st = v->setUnsignedLong(static_cast<uint32_t>(in)); uint32_t o; v->getUnsignedLong(&o); *back = o; break; }
    case kTypeBoolean: { st = v->setBoolean(static_cast<int32_t>(in)); int32_t o; v->getBoolean(&o); *back = o; break; }
  }
  return st;
}

TEST_F(ValueTest, IntegralSetsKeepTheirRangeAndRefuseOutside) {
  struct Case {
    int32_t code;
    int64_t in;
    int32_t status;
    int64_t back;  // read after the set (the old 0 when refused)
  };
  constexpr Case kCases[] = {
      {kTypeCharacter, -1, kVmOk, 255},       // sign-extended byte
      {kTypeCharacter, 255, kVmOk, 255},
      {kTypeCharacter, 256, kVmErrOutOfRange, 0},
      {kTypeCharacter, -129, kVmErrOutOfRange, 0},
      {kTypeInteger, -1, kVmOk, -1},
      {kTypeInteger, 32767, kVmOk, 32767},
      {kTypeInteger, 32768, kVmErrOutOfRange, 0},
      {kTypeInteger, -32769, kVmErrOutOfRange, 0},
      {kTypeUnsignedInteger, 65535, kVmOk, 65535},
      {kTypeUnsignedInteger, 65536, kVmErrOutOfRange, 0},
      {kTypeLong, std::numeric_limits<int32_t>::min(), kVmOk, std::numeric_limits<int32_t>::min()},
      {kTypeUnsignedLong, 0xFFFFFFFFll, kVmOk, 0xFFFFFFFFll},
      {kTypeWord4, -7, kVmOk, -7},
      {kTypeWord5, 0x80000000ll, kVmOk, 0x80000000ll},
      {kTypeBoolean, -1, kVmOk, -1},  // the word as given
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(::testing::Message() << "code " << c.code << " in " << c.in);
    auto v = makeValue(c.code);
    int64_t back = -99;
    EXPECT_EQ(roundTrip(v.get(), c.code, c.in, &back), c.status);
    EXPECT_EQ(back, c.back);
    int32_t null = -1;
    ASSERT_EQ(v->isNull(&null), kVmOk);
    EXPECT_EQ(null, c.status == kVmOk ? 0 : 1) << "a refused set leaves the value untouched";
  }
}

TEST_F(ValueTest, TypedAccessOfAnotherCodeIsAMismatch) {
  auto v = makeValue(kTypeLong);
  int16_t i = 5;
  EXPECT_EQ(v->getInteger(&i), kVmErrTypeMismatch);
  EXPECT_EQ(i, 0);
  EXPECT_EQ(v->setInteger(1), kVmErrTypeMismatch);
  Ref<IVMString> s;
  EXPECT_EQ(v->getString(s.out()), kVmErrTypeMismatch);
  EXPECT_FALSE(s);
  auto other = makeValue(kTypeInteger);
  EXPECT_EQ(v->assign(other.get()), kVmErrTypeMismatch);
  Ref<IVMValue> bad;
  EXPECT_EQ(vmMakeValue(21, context_.get(), bad.out()), kVmErrTypeMismatch);
  EXPECT_EQ(vmMakeValue(2, context_.get(), bad.out()), kVmErrTypeMismatch);
  EXPECT_EQ(vmMakeValue(kTypeLong, nullptr, bad.out()), kVmErrBadArgument);
}

TEST_F(ValueTest, ObjectValuedCodesCopyContentAndMakeNewProducts) {
  auto s = name("abc");
  auto sv = makeValue(kTypeString);
  ASSERT_EQ(sv->setString(s.get()), kVmOk);
  Ref<IVMString> back;
  ASSERT_EQ(sv->getString(back.out()), kVmOk);
  EXPECT_NE(back.get(), s.get());
  const char* text = nullptr;
  ASSERT_EQ(back->text(&text), kVmOk);
  EXPECT_STREQ(text, "abc");

  Ref<IVMDecimal> dec;
  ASSERT_EQ(vmMakeDecimal(dec.out()), kVmOk);
  EXPECT_EQ(dec->fromDouble(12.5), kVmOk);
  EXPECT_EQ(dec->fromDouble(std::nan("")), kVmErrOutOfRange);
  EXPECT_EQ(dec->fromDouble(HUGE_VAL), kVmErrOutOfRange);
  auto dv = makeValue(kTypeDecimal);
  ASSERT_EQ(dv->setDecimal(dec.get()), kVmOk);
  Ref<IVMDecimal> dback;
  ASSERT_EQ(dv->getDecimal(dback.out()), kVmOk);
  double d = 0;
  ASSERT_EQ(dback->toDouble(&d), kVmOk);
  EXPECT_EQ(d, 12.5);

  auto rv = makeValue(kTypeDouble);
  EXPECT_EQ(rv->setDouble(0.1), kVmOk);
  EXPECT_EQ(rv->getDouble(&d), kVmOk);
  EXPECT_EQ(d, 0.1);
}

TEST_F(ValueTest, NullValuesReadAsTheTypesZero) {
  Ref<IVMDateHelper> h;
  ASSERT_EQ(vmMakeDateHelper(0, 0, 0, h.out()), kVmOk);
  auto dv = makeValue(kTypeDate);
  Ref<IVMDate> date;
  ASSERT_EQ(dv->getDate(date.out()), kVmOk);
  int32_t n = -1;
  ASSERT_EQ(date->dayNumber(h.get(), &n), kVmOk);
  EXPECT_EQ(n, 1) << "1900-01-01";
  auto sv = makeValue(kTypeString);
  Ref<IVMString> s;
  ASSERT_EQ(sv->getString(s.out()), kVmOk);
  const char* text = nullptr;
  ASSERT_EQ(s->text(&text), kVmOk);
  EXPECT_STREQ(text, "");
}

TEST(VmCalendar, DayNumbersFollowTheProlepticGregorianCalendar) {
  struct Case {
    int32_t y, m, d;
    int32_t dayNumber;  // INT32_MIN: not a date the VM holds
  };
  constexpr int32_t kNone = std::numeric_limits<int32_t>::min();
  // The calendar itself is tested with platform/civil_date.h; these rows
  // pin the VM's day 0, its year range, and that makeDate asks the calendar.
  constexpr Case kCases[] = {
      {1899, 12, 31, 0},      {1900, 1, 1, 1},        {1899, 12, 30, -1},
      {2002, 10, 27, 37555},  {1900, 3, 1, 60},       {2000, 2, 29, 36584},
      {1900, 2, 29, kNone},   {1, 1, 1, -693594},     {9999, 12, 31, 2958464},
      {0, 12, 31, kNone},     {10000, 1, 1, kNone},   {2002, 13, 1, kNone},
  };
  Ref<IVMDateHelper> h;
  ASSERT_EQ(vmMakeDateHelper(0, 0, 0, h.out()), kVmOk);
  for (const Case& c : kCases) {
    SCOPED_TRACE(::testing::Message() << c.y << "-" << c.m << "-" << c.d);
    Ref<IVMDate> date;
    int32_t st = h->makeDate(c.y, c.m, c.d, date.out());
    if (c.dayNumber == kNone) {
      EXPECT_EQ(st, kVmErrOutOfRange);
      EXPECT_FALSE(date);
      continue;
    }
    ASSERT_EQ(st, kVmOk);
    int32_t n = 0;
    ASSERT_EQ(date->dayNumber(h.get(), &n), kVmOk);
    EXPECT_EQ(n, c.dayNumber);
    // And back from the day number to the same parts.
    Ref<IVMDate> again;
    ASSERT_EQ(h->dateFromDayNumber(n, again.out()), kVmOk);
    int32_t y = 0, m = 0, d = 0;
    again->year(&y);
    again->month(&m);
    again->day(&d);
    EXPECT_EQ(y * 10000 + m * 100 + d, c.y * 10000 + c.m * 100 + c.d);
  }
  Ref<IVMDate> out;
  EXPECT_EQ(h->dateFromDayNumber(2958465, out.out()), kVmErrOutOfRange);
  EXPECT_EQ(h->dateFromDayNumber(-693595, out.out()), kVmErrOutOfRange);
  int32_t n = 0;
  Ref<IVMDate> date;
  ASSERT_EQ(h->makeDate(2002, 10, 27, date.out()), kVmOk);
  EXPECT_EQ(date->dayNumber(nullptr, &n), kVmErrBadArgument) << "the day number needs a helper";
  int32_t wd = 0;
  ASSERT_EQ(date->dayOfWeek(&wd), kVmOk);
  EXPECT_EQ(wd, 1) << "2002-10-27 was a Sunday";
  Ref<IVMDateHelper> odd;
  EXPECT_EQ(vmMakeDateHelper(1, 0, 0, odd.out()), kVmErrBadArgument);
}

TEST(VmCalendar, TimesRefuseHoursPast23AndCountSecondsFromAReference) {
  struct Case {
    int32_t h, m, s;
    int32_t status;
  };
  constexpr Case kCases[] = {{0, 0, 0, kVmOk},   {23, 59, 59, kVmOk},          {24, 0, 0, kVmErrOutOfRange},
                             {-1, 0, 0, kVmErrOutOfRange}, {12, 60, 0, kVmErrOutOfRange}, {12, 0, 60, kVmErrOutOfRange}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(::testing::Message() << c.h << ":" << c.m << ":" << c.s);
    Ref<IVMTime> t;
    EXPECT_EQ(vmMakeTime(c.h, c.m, c.s, t.out()), c.status);
    EXPECT_EQ(static_cast<bool>(t), c.status == kVmOk);
  }
  Ref<IVMTime> midnight, evening;
  ASSERT_EQ(vmMakeTime(0, 0, 0, midnight.out()), kVmOk);
  ASSERT_EQ(vmMakeTime(18, 0, 1, evening.out()), kVmOk);
  int32_t secs = 0;
  ASSERT_EQ(evening->secondsFrom(midnight.get(), &secs), kVmOk);
  EXPECT_EQ(secs, 64801);
  ASSERT_EQ(midnight->secondsFrom(evening.get(), &secs), kVmOk);
  EXPECT_EQ(secs, -64801);
}

TEST_F(ValueTest, DatetimeJoinsDateAndTimeWithoutConsumingThem) {
  Ref<IVMDateHelper> h;
  ASSERT_EQ(vmMakeDateHelper(0, 0, 0, h.out()), kVmOk);
  Ref<IVMDate> date;
  Ref<IVMTime> time;
  ASSERT_EQ(h->dateFromDayNumber(-2, date.out()), kVmOk);  // before day 0
  ASSERT_EQ(vmMakeTime(6, 0, 0, time.out()), kVmOk);
  Ref<IVMDateTime> dt;
  ASSERT_EQ(vmMakeDateTime(date.get(), time.get(), dt.out()), kVmOk);
  auto v = makeValue(kTypeDateTime);
  ASSERT_EQ(v->setDateTime(dt.get()), kVmOk);
  Ref<IVMDateTime> back;
  ASSERT_EQ(v->getDateTime(back.out()), kVmOk);
  Ref<IVMDate> d2;
  Ref<IVMTime> t2;
  ASSERT_EQ(back->datePart(d2.out()), kVmOk);
  ASSERT_EQ(back->timePart(t2.out()), kVmOk);
  int32_t n = 0, hour = 0;
  ASSERT_EQ(d2->dayNumber(h.get(), &n), kVmOk);
  ASSERT_EQ(t2->hour(&hour), kVmOk);
  EXPECT_EQ(n, -2);
  EXPECT_EQ(hour, 6);
  // The inputs are still alive and usable.
  ASSERT_EQ(date->dayNumber(h.get(), &n), kVmOk);
  Ref<IVMDateTime> none;
  EXPECT_EQ(vmMakeDateTime(nullptr, time.get(), none.out()), kVmErrBadArgument);
}

TEST(VmBlob, HoldsItsOwnCopy) {
  uint8_t bytes[3] = {1, 2, 3};
  Ref<IVMBlob> b;
  ASSERT_EQ(vmMakeBlob(3, bytes, b.out()), kVmOk);
  bytes[0] = 9;
  int32_t len = 0;
  const uint8_t* data = nullptr;
  ASSERT_EQ(b->length(&len), kVmOk);
  ASSERT_EQ(b->bytes(&data), kVmOk);
  ASSERT_EQ(len, 3);
  EXPECT_EQ(data[0], 1);
  Ref<IVMBlob> empty;
  EXPECT_EQ(vmMakeBlob(0, nullptr, empty.out()), kVmOk);
  EXPECT_EQ(vmMakeBlob(-1, bytes, empty.out()), kVmErrBadArgument);
  EXPECT_EQ(vmMakeBlob(2, nullptr, empty.out()), kVmErrBadArgument);
}

class ArrayTest : public VmFixture {
 protected:
  Ref<IVMBoundsList> bounds(std::initializer_list<std::pair<int32_t, int32_t>> dims) {
    Ref<IVMBoundsList> list;
    EXPECT_EQ(vmMakeBoundsList(list.out()), kVmOk);
    for (auto [lo, hi] : dims) {
      Ref<IVMBound> b;
      EXPECT_EQ(vmMakeBound(lo, hi, context_.get(), b.out()), kVmOk);
      EXPECT_EQ(list->append(b.get()), kVmOk);
    }
    return list;
  }
  Ref<IVMValue> longValue(int32_t v) {
    auto value = makeValue(kTypeLong);
    EXPECT_EQ(value->setLong(v), kVmOk);
    return value;
  }
};

TEST_F(ArrayTest, StoresAndReadsByIndexVectorWithinEachDimensionsBounds) {
  auto list = bounds({{1, 2}, {0, 2}});
  Ref<IVMArray> a;
  ASSERT_EQ(vmMakeArray(list.get(), kTypeLong, context_.get(), a.out()), kVmOk);
  for (int32_t j = 0; j <= 2; ++j) {
    for (int32_t i = 1; i <= 2; ++i) {
      int32_t at[2] = {i, j};
      ASSERT_EQ(a->storeElement(at, 2, longValue(i * 10 + j).detach()), kVmOk);
    }
  }
  int32_t at[2] = {2, 1};
  IVMValue* borrowed = nullptr;
  ASSERT_EQ(a->elementAt(at, 2, &borrowed), kVmOk);
  int32_t got = 0;
  ASSERT_EQ(borrowed->getLong(&got), kVmOk);
  EXPECT_EQ(got, 21);

  struct Bad {
    int32_t i, j, dims;
    int32_t status;
  };
  constexpr Bad kBad[] = {{0, 0, 2, kVmErrOutOfRange}, {3, 0, 2, kVmErrOutOfRange},
                          {1, -1, 2, kVmErrOutOfRange}, {1, 3, 2, kVmErrOutOfRange},
                          {1, 0, 1, kVmErrBadArgument}};
  for (const Bad& b : kBad) {
    SCOPED_TRACE(::testing::Message() << b.i << "," << b.j << " dims " << b.dims);
    int32_t idx[2] = {b.i, b.j};
    IVMValue* none = nullptr;
    EXPECT_EQ(a->elementAt(idx, b.dims, &none), b.status);
    int64_t before = testing::liveCount(ProductKind::Value);
    EXPECT_EQ(a->storeElement(idx, b.dims, longValue(1).detach()), b.status);
    EXPECT_EQ(testing::liveCount(ProductKind::Value), before) << "a refused store releases the value";
  }
  EXPECT_EQ(a->storeElement(at, 2, makeValue(kTypeInteger).detach()), kVmErrTypeMismatch);

  Ref<IVMBoundsList> back;
  ASSERT_EQ(a->boundsList(back.out()), kVmOk);
  Ref<IVMBound> b;
  int32_t lo = 0, hi = 0;
  ASSERT_EQ(back->first(b.out()), kVmOk);
  b->lower(&lo);
  b->upper(&hi);
  EXPECT_EQ(lo * 10 + hi, 12);
  ASSERT_EQ(back->next(b.out()), kVmOk);
  b->lower(&lo);
  b->upper(&hi);
  EXPECT_EQ(lo * 10 + hi, 2);
  EXPECT_EQ(back->next(b.out()), kVmErrNoMoreItems);
  EXPECT_FALSE(b);
}

TEST_F(ArrayTest, TheTwoConstructorsDifferOnlyInGrowingPastTheUpperBound) {
  auto list = bounds({{1, 2}});
  Ref<IVMArray> fixed, dynamic;
  ASSERT_EQ(vmMakeArray(list.get(), kTypeLong, context_.get(), fixed.out()), kVmOk);
  ASSERT_EQ(vmMakeDynamicArray(list.get(), kTypeLong, context_.get(), dynamic.out()), kVmOk);
  int32_t five[1] = {5};
  EXPECT_EQ(fixed->storeElement(five, 1, longValue(5).detach()), kVmErrOutOfRange);
  EXPECT_EQ(dynamic->storeElement(five, 1, longValue(5).detach()), kVmOk);
  Ref<IVMBoundsList> grown;
  ASSERT_EQ(dynamic->boundsList(grown.out()), kVmOk);
  Ref<IVMBound> b;
  ASSERT_EQ(grown->boundAt(0, b.out()), kVmOk);
  int32_t hi = 0;
  b->upper(&hi);
  EXPECT_EQ(hi, 5);
}

TEST_F(ArrayTest, RefusesEmptyListsBadTypesHugeSizesAndReversedBounds) {
  Ref<IVMArray> a;
  auto empty = bounds({});
  EXPECT_EQ(vmMakeArray(empty.get(), kTypeLong, context_.get(), a.out()), kVmErrBadArgument);
  auto one = bounds({{1, 3}});
  EXPECT_EQ(vmMakeArray(one.get(), 21, context_.get(), a.out()), kVmErrTypeMismatch);
  auto huge = bounds({{1, 100000}, {1, 100000}});
  EXPECT_EQ(vmMakeArray(huge.get(), kTypeLong, context_.get(), a.out()), kVmErrOutOfRange);
  Ref<IVMBound> b;
  EXPECT_EQ(vmMakeBound(5, 3, context_.get(), b.out()), kVmErrOutOfRange);
  ASSERT_EQ(vmMakeBound(1, 0, context_.get(), b.out()), kVmOk) << "an empty dimension";
  int32_t count = -1;
  ASSERT_EQ(b->count(&count), kVmOk);
  EXPECT_EQ(count, 0);
  auto none = bounds({{1, 0}});
  ASSERT_EQ(vmMakeArray(none.get(), kTypeString, context_.get(), a.out()), kVmOk);
  int32_t first[1] = {1};
  IVMValue* v = nullptr;
  EXPECT_EQ(a->elementAt(first, 1, &v), kVmErrOutOfRange);
}

}  // namespace
}  // namespace mvcomm::vm::test

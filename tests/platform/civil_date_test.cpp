// File: tests/platform/civil_date_test.cpp
//
// The one calendar of the tree (platform/civil_date.h): known days across
// leap years, centuries and the era boundary, month lengths at their edges,
// and every day from year -1 to 10000 there and back.
#include <gtest/gtest.h>

#include <ostream>

#include "platform/civil_date.h"

namespace mvcomm::civil {

void PrintTo(const YearMonthDay& d, std::ostream* os) {
  *os << d.year << "-" << d.month << "-" << d.day;
}

namespace {

TEST(CivilDate, KnownDaysAcrossLeapYearsAndCenturies) {
  struct Case {
    YearMonthDay date;
    std::int64_t days;  // since 1970-01-01
    int weekday;        // 0 Sunday .. 6 Saturday
  };
  constexpr Case kCases[] = {
      {{1970, 1, 1}, 0, 4},           {{1969, 12, 31}, -1, 3},
      {{1899, 12, 30}, -25569, 6},    // the automation DATE's zero
      {{1899, 12, 31}, -25568, 0},    // the VM's day 0
      {{1900, 2, 28}, -25509, 3},     {{1900, 3, 1}, -25508, 4},     // 1900: no leap day
      {{1600, 2, 29}, -135081, 2},    {{2000, 2, 29}, 11016, 2},     // centuries by 400
      {{2000, 3, 1}, 11017, 3},       {{2100, 2, 28}, 47540, 0},
      {{2100, 3, 1}, 47541, 1},       {{2002, 10, 27}, 11987, 0},
      {{1, 1, 1}, -719162, 1},        {{9999, 12, 31}, 2932896, 5},
      {{0, 2, 29}, -719469, 2},       {{0, 3, 1}, -719468, 3},       // the first era begins
      {{0, 12, 31}, -719163, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(::testing::Message() << c.date.year << "-" << c.date.month << "-" << c.date.day);
    EXPECT_EQ(daysFromCivil(c.date), c.days);
    EXPECT_EQ(civilFromDays(c.days), c.date);
    EXPECT_EQ(weekdayFromDays(c.days), c.weekday);
    // Against every other row: the weekdays are as far apart as the days.
    for (const Case& o : kCases) {
      EXPECT_EQ(floorMod((c.days - o.days) - (c.weekday - o.weekday), 7), 0);
    }
  }
}

TEST(CivilDate, MonthLengthsAtTheirEdges) {
  struct Case {
    int year, month, day;
    bool calendarDay;
  };
  constexpr Case kCases[] = {
      {2000, 2, 29, true},  {1900, 2, 29, false}, {2004, 2, 29, true},  {2001, 2, 29, false},
      {2100, 2, 29, false}, {1600, 2, 29, true},  {0, 2, 29, true},     {-100, 2, 29, false},
      {2001, 2, 28, true},  {2002, 4, 30, true},  {2002, 4, 31, false}, {2002, 12, 31, true},
      {2002, 12, 32, false}, {2002, 13, 1, false}, {2002, 0, 1, false},  {2002, 1, 0, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(::testing::Message() << c.year << "-" << c.month << "-" << c.day);
    EXPECT_EQ(isCalendarDay(c.year, c.month, c.day), c.calendarDay);
    if (c.month == 2 && c.day == 29) {
      EXPECT_EQ(isLeapYear(c.year), c.calendarDay);
      EXPECT_EQ(daysInMonth(c.year, 2), c.calendarDay ? 29 : 28);
    }
  }
  EXPECT_EQ(daysInMonth(2002, 0), 0);
  EXPECT_EQ(daysInMonth(2002, 13), 0);
}

// Each day from -0001-01-01 to 10000-12-31 follows the one before it, by the
// month lengths, and converts back to its count.
TEST(CivilDate, EveryDayRoundTrips) {
  const std::int64_t first = daysFromCivil(-1, 1, 1);
  const std::int64_t last = daysFromCivil(10000, 12, 31);
  YearMonthDay want{-1, 1, 1};
  for (std::int64_t n = first; n <= last; ++n) {
    const YearMonthDay got = civilFromDays(n);
    if (got != want || daysFromCivil(got) != n) {  // one check per day: ASSERT_EQ is slow here
      ASSERT_EQ(got, want) << "day " << n;
      ASSERT_EQ(daysFromCivil(got), n) << "day " << n;
    }
    if (++want.day > daysInMonth(want.year, want.month)) {
      want.day = 1;
      if (++want.month > 12) {
        want.month = 1;
        ++want.year;
      }
    }
  }
  EXPECT_EQ(want, (YearMonthDay{10001, 1, 1}));
}

}  // namespace
}  // namespace mvcomm::civil

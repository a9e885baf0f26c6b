// File: platform/civil_date.h
//
// The one proleptic-Gregorian calendar of the tree: leap years, month
// lengths, weekdays, and the count of days since 1970-01-01 in both
// directions (counted in 400-year eras, which repeat exactly),
// with no C library local time. Every room that turns dates into day numbers
// uses it: the terminal class, the emulator, the automation DATE (platform/ole),
// the VM and the dispatch script client.
//
// Only the calendar lives here. Each room keeps its own day zero and range:
// the automation DATE counts from 1899-12-30 and holds years 100 to 9999, the
// VM counts from 1899-12-31 and holds years 1 to 9999, a terminal sends years
// 1900 to 2155. Header-only and constexpr, so a room can fix its day zero at
// compile time.
#pragma once

#include <compare>
#include <cstdint>

namespace mvcomm::civil {

inline constexpr std::int64_t kDaysPerEra = 146097;        // days in 400 Gregorian years
inline constexpr std::int64_t kEraDaysBefore1970 = 719468;  // 0000-03-01 to 1970-01-01

// A calendar day as three numbers; isCalendarDay says whether they name one.
struct YearMonthDay {
  int year = 1970;  // proleptic Gregorian; year 0 is 1 BC
  int month = 1;    // 1 to 12
  int day = 1;      // 1 to daysInMonth(year, month)

  friend constexpr auto operator<=>(const YearMonthDay&, const YearMonthDay&) = default;
};

// a / b rounded toward minus infinity; b must be positive.
constexpr std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}

// The remainder that goes with floorDiv: 0 to b - 1; b must be positive.
constexpr std::int64_t floorMod(std::int64_t a, std::int64_t b) { return a - floorDiv(a, b) * b; }

constexpr bool isLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Days in `month` of `year`; 0 for a month outside 1..12.
constexpr int daysInMonth(int year, int month) {
  constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// True when month and day name a day of the calendar in `year` (any year:
// each caller applies its own year range).
constexpr bool isCalendarDay(int year, int month, int day) {
  return day >= 1 && day <= daysInMonth(year, month);
}

// Days from 1970-01-01 to the given day (negative before it). `month` must
// be 1..12; `day` is not checked against the month, so day 0 is the last day
// of the previous month and day 32 runs into the next.
constexpr std::int64_t daysFromCivil(int year, int month, int day) {
  const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
  const std::int64_t era = floorDiv(y, 400);
  const std::int64_t yoe = y - era * 400;                                 // 0..399
  const std::int64_t mp = month > 2 ? month - 3 : month + 9;              // March is 0
  const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;                  // 0..365
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;         // 0..146096
  return era * kDaysPerEra + doe - kEraDaysBefore1970;
}

constexpr std::int64_t daysFromCivil(const YearMonthDay& date) {
  return daysFromCivil(date.year, date.month, date.day);
}

// The day `days` after 1970-01-01 (before it when negative). The year must
// fit an int: |days| below 7.8e11.
constexpr YearMonthDay civilFromDays(std::int64_t days) {
  days += kEraDaysBefore1970;
  const std::int64_t era = floorDiv(days, kDaysPerEra);
  const std::int64_t doe = days - era * kDaysPerEra;                           // 0..146096
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;  // 0..399
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);            // 0..365
  const std::int64_t mp = (5 * doy + 2) / 153;                                 // March is 0
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
  return YearMonthDay{year, month, day};
}

// Day of the week of the day `days` after 1970-01-01: 0 Sunday to 6 Saturday
// (1970-01-01 was a Thursday).
constexpr int weekdayFromDays(std::int64_t days) { return static_cast<int>(floorMod(days + 4, 7)); }

static_assert(daysFromCivil(1970, 1, 1) == 0);
static_assert(daysFromCivil(1899, 12, 30) == -25569);  // the automation DATE's zero
static_assert(civilFromDays(-25569) == YearMonthDay{1899, 12, 30});
static_assert(weekdayFromDays(-25569) == 6);           // a Saturday

}  // namespace mvcomm::civil

// File: vm/internal/calendar.h
//
// The VM's day numbers: day 0 is 1899-12-31, and the VM holds years 1 to
// 9999. The calendar under them is platform/civil_date.h; the day zero and
// the range are the VM's own.
#pragma once

#include <cstdint>

#include "platform/civil_date.h"

namespace mvcomm::vm::internal {

inline constexpr int32_t kMinYear = 1;
inline constexpr int32_t kMaxYear = 9999;
inline constexpr int32_t kSecondsPerDay = 86400;

constexpr bool isValidDate(int32_t y, int32_t m, int32_t d) {
  return y >= kMinYear && y <= kMaxYear && civil::isCalendarDay(y, m, d);
}

// Day 0 in days since 1970-01-01.
inline constexpr int64_t kDayZero = civil::daysFromCivil(1899, 12, 31);

constexpr int32_t dayNumberOf(int32_t y, int32_t m, int32_t d) {
  return static_cast<int32_t>(civil::daysFromCivil(y, m, d) - kDayZero);
}

inline constexpr int32_t kMinDayNumber = dayNumberOf(kMinYear, 1, 1);
inline constexpr int32_t kMaxDayNumber = dayNumberOf(kMaxYear, 12, 31);

constexpr bool isValidDayNumber(int64_t n) { return n >= kMinDayNumber && n <= kMaxDayNumber; }

constexpr civil::YearMonthDay civilFromDayNumber(int32_t dayNumber) {
  return civil::civilFromDays(dayNumber + kDayZero);
}

// 1 Sunday to 7 Saturday.
constexpr int32_t dayOfWeekOf(int32_t dayNumber) {
  return civil::weekdayFromDays(dayNumber + kDayZero) + 1;
}

static_assert(dayNumberOf(1899, 12, 31) == 0);
static_assert(dayNumberOf(1900, 1, 1) == 1);
static_assert(dayNumberOf(2002, 10, 27) == 37555);  // DATE 37556 is 2002-10-27
static_assert(dayOfWeekOf(0) == 1);                 // 1899-12-31 was a Sunday

}  // namespace mvcomm::vm::internal

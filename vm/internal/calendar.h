// File: vm/internal/calendar.h
//
// Day numbers of the proleptic Gregorian calendar: day 0 is 1899-12-31. The
// VM holds years 1 to 9999.
#pragma once

#include <cstdint>

namespace mvcomm::vm::internal {

inline constexpr int32_t kMinYear = 1;
inline constexpr int32_t kMaxYear = 9999;
inline constexpr int32_t kSecondsPerDay = 86400;

constexpr bool isLeap(int32_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

constexpr int32_t monthLength(int32_t y, int32_t m) {
  constexpr int32_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12) return 0;
  return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

constexpr bool isValidDate(int32_t y, int32_t m, int32_t d) {
  return y >= kMinYear && y <= kMaxYear && m >= 1 && m <= 12 && d >= 1 && d <= monthLength(y, m);
}

// Days since 1970-01-01 (H. Hinnant's civil-day algorithm).
constexpr int64_t civilDays(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

inline constexpr int64_t kDayZero = civilDays(1899, 12, 31);

constexpr int32_t dayNumberOf(int32_t y, int32_t m, int32_t d) {
  return static_cast<int32_t>(civilDays(y, m, d) - kDayZero);
}

inline constexpr int32_t kMinDayNumber = dayNumberOf(kMinYear, 1, 1);
inline constexpr int32_t kMaxDayNumber = dayNumberOf(kMaxYear, 12, 31);

constexpr bool isValidDayNumber(int64_t n) { return n >= kMinDayNumber && n <= kMaxDayNumber; }

struct CivilDate {
  int32_t year;   // 1..9999 for a valid day number
  int32_t month;  // 1..12
  int32_t day;    // 1..31
};

constexpr CivilDate civilFromDayNumber(int32_t dayNumber) {
  int64_t z = dayNumber + kDayZero + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = yoe + era * 400;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp + (mp < 10 ? 3 : -9);
  return {static_cast<int32_t>(y + (m <= 2)), static_cast<int32_t>(m), static_cast<int32_t>(d)};
}

static_assert(dayNumberOf(1899, 12, 31) == 0);
static_assert(dayNumberOf(1900, 1, 1) == 1);
static_assert(dayNumberOf(2002, 10, 27) == 37555);  // DATE 37556 is 2002-10-27

}  // namespace mvcomm::vm::internal

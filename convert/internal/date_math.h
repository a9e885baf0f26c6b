// File: convert/internal/date_math.h
//
// The arithmetic between an OLE DATE and the VM's day number and time of
// day. Kept apart from the VM calls so it can be tested on its own.
#pragma once

#include <cmath>
#include <cstdint>

namespace mvcomm::convert::internal {

inline constexpr double kSecondsPerDay = 86400.0;
// Added before truncating, so a product a hair below a whole second counts
// as that second.
inline constexpr double kSecondRounding = 0.0000005;

// Day number of a DATE: its whole part (toward zero) - 1. False when the
// DATE is not a number or the day lies outside 32 bits.
inline bool dayNumberOf(double date, int32_t* dayNumber) {
  if (!std::isfinite(date)) return false;
  const double whole = std::trunc(date) - 1.0;
  if (whole < -2147483648.0 || whole > 2147483647.0) return false;
  *dayNumber = static_cast<int32_t>(whole);
  return true;
}

struct TimeOfDay {
  int32_t hour;    // 0..24 (24 only when the fraction rounds up to a whole day)
  int32_t minute;  // 0..59
  int32_t second;  // 0..59
};

// The time of day in a DATE's fraction, taken without its sign. False when
// the DATE is not a number.
inline bool timeOfDayOf(double date, TimeOfDay* time) {
  if (!std::isfinite(date)) return false;
  const double fraction = std::fabs(date - std::trunc(date));
  const auto seconds = static_cast<int32_t>(fraction * kSecondsPerDay + kSecondRounding);
  time->hour = seconds / 3600;
  time->minute = (seconds % 3600) / 60;
  time->second = seconds % 60;
  return true;
}

// The DATE of a day (day number + 1) and a fraction of a day. Before
// 1899-12-30 the fraction counts away from zero, as DATE's time of day is
// the fraction without its sign: day -1 with 06:00 is -1.25, not -0.75.
inline double dateOf(double days, double fraction) {
  return days < 0 ? days - fraction : days + fraction;
}

}  // namespace mvcomm::convert::internal

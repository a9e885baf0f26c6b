// File: terminal/datetime.h
//
// Calendar values of the terminal class: a date and a date-time with
// validity checks on the shared calendar (platform/civil_date.h),
// independent of the C library's local time. A value may
// hold fields that do not name a real day (a client or a terminal can send
// any bytes); isValid() says whether it does. Null is std::nullopt.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>

namespace mvcomm {

struct Date {
  int year = 1900;   // Gregorian year, 1 to 9999 when valid
  int month = 1;     // 1 to 12
  int day = 1;       // 1 to the month's length

  bool isValid() const;
  std::string toString() const;  // "yyyy-mm-dd"

  friend auto operator<=>(const Date&, const Date&) = default;
};

struct DateTime {
  Date date;        // calendar day
  int hour = 0;     // 0 to 23
  int minute = 0;   // 0 to 59
  int second = 0;   // 0 to 59

  bool isValid() const;
  std::string toString() const;  // "yyyy-mm-dd hh:mm:ss"

  friend auto operator<=>(const DateTime&, const DateTime&) = default;
};

using NullableDate = std::optional<Date>;
using NullableDateTime = std::optional<DateTime>;
using NullableString = std::optional<std::string>;

}  // namespace mvcomm

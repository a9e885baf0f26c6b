// File: terminal/datetime.cpp
//
// Validity and text of the calendar values.
#include "terminal/datetime.h"

#include <cstdio>

namespace mvcomm {

int daysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  if (month == 2) {
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return leap ? 29 : 28;
  }
  return kDays[month - 1];
}

bool Date::isValid() const {
  return year >= 1 && year <= 9999 && day >= 1 && day <= daysInMonth(year, month);
}

std::string Date::toString() const {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
  return text;
}

bool DateTime::isValid() const {
  return date.isValid() && hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 &&
         second >= 0 && second <= 59;
}

std::string DateTime::toString() const {
  char text[48];
  std::snprintf(text, sizeof text, "%s %02d:%02d:%02d", date.toString().c_str(), hour, minute,
                second);
  return text;
}

}  // namespace mvcomm

// File: terminal/datetime.cpp
//
// Validity and text of the calendar values.
#include "terminal/datetime.h"

#include <cstdio>

#include "platform/civil_date.h"

namespace mvcomm {

bool Date::isValid() const {
  return year >= 1 && year <= 9999 && civil::isCalendarDay(year, month, day);
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

// File: emulator/civil_time.cpp
//
// The emulator's date and time values over the shared calendar
// (platform/civil_date.h), so no C library local time is involved.
#include "emulator/civil_time.h"

#include <cstdio>

#include "platform/civil_date.h"

namespace mvcomm::emulator {

bool CivilDate::valid() const {
  return year >= 1 && year <= 9999 && civil::isCalendarDay(year, month, day);
}

bool CivilDateTime::valid() const {
  return date.valid() && hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 &&
         second <= 59;
}

std::int64_t daysFromCivil(const CivilDate& date) {
  return civil::daysFromCivil(date.year, date.month, date.day);
}

CivilDate civilFromDays(std::int64_t days) {
  const civil::YearMonthDay d = civil::civilFromDays(days);
  return CivilDate{d.year, d.month, d.day};
}

CivilDateTime CivilDateTime::plusSeconds(std::int64_t seconds) const {
  constexpr std::int64_t kSecondsPerDay = 86400;
  const std::int64_t total =
      daysFromCivil(date) * kSecondsPerDay + hour * 3600 + minute * 60 + second + seconds;
  const std::int64_t rest = civil::floorMod(total, kSecondsPerDay);
  CivilDateTime out;
  out.date = civilFromDays(civil::floorDiv(total, kSecondsPerDay));
  out.hour = static_cast<int>(rest / 3600);
  out.minute = static_cast<int>(rest / 60 % 60);
  out.second = static_cast<int>(rest % 60);
  return out;
}

std::string toString(const CivilDate& date) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
  return text;
}

std::string toString(const CivilDateTime& when) {
  char text[48];
  std::snprintf(text, sizeof text, "%s %02d:%02d:%02d", toString(when.date).c_str(), when.hour,
                when.minute, when.second);
  return text;
}

}  // namespace mvcomm::emulator

// File: emulator/civil_time.h
//
// Calendar dates and times as a terminal keeps them: proleptic Gregorian,
// no time zone, whole seconds. The terminal's clock runs on the line's clock,
// so it is kept as "set to this value at that instant". The calendar
// arithmetic is platform/civil_date.h; these are the emulator's own values.
#pragma once

#include <compare>
#include <cstdint>
#include <string>

namespace mvcomm::emulator {

struct CivilDate {
  int year = 1900;  // 1900 to 2155 travel on the wire (one byte, year - 1900)
  int month = 1;    // 1 to 12
  int day = 1;      // 1 to the month's length

  friend auto operator<=>(const CivilDate&, const CivilDate&) = default;

  // True for a real calendar day (any year from 1 to 9999).
  bool valid() const;
};

struct CivilDateTime {
  CivilDate date;   // the day
  int hour = 0;     // 0 to 23
  int minute = 0;   // 0 to 59
  int second = 0;   // 0 to 59

  friend auto operator<=>(const CivilDateTime&, const CivilDateTime&) = default;

  bool valid() const;

  // The instant `seconds` later (earlier when negative).
  CivilDateTime plusSeconds(std::int64_t seconds) const;
};

// Days since 1970-01-01 and back (civil::daysFromCivil and civilFromDays).
std::int64_t daysFromCivil(const CivilDate& date);
CivilDate civilFromDays(std::int64_t days);

// "yyyy-mm-dd" and "yyyy-mm-dd hh:mm:ss", for logs and test output.
std::string toString(const CivilDate& date);
std::string toString(const CivilDateTime& when);

}  // namespace mvcomm::emulator

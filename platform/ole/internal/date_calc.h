// File: platform/ole/internal/date_calc.h
//
// OLE DATE arithmetic and text: days since 1899-12-30 00:00, the absolute
// value of the fraction being the time of day (-1.25 is 1899-12-29 06:00).
#pragma once

#include <string>

#include "platform/ole/wtypes.h"

namespace mvcomm::ole::internal {

inline constexpr double kMinDate = -657434.0;  // 0100-01-01
inline constexpr double kMaxDateExclusive = 2958466.0;  // 10000-01-01

struct CivilTime {
  int year = 1899, month = 12, day = 30;  // Gregorian, proleptic
  int hour = 0, minute = 0, second = 0;
  int dayOfWeek = 6;  // 0 = Sunday
  int dayOfYear = 364;  // 1-based
};

// Day number (days since 1899-12-30) of a civil date; no range check. The
// calendar itself is platform/civil_date.h.
long long dayNumber(int year, int month, int day);

// Splits a DATE into its civil date and time, rounded to the second; false
// outside [-657434.0, 2958466.0) or for NaN.
bool dateToCivil(DATE date, CivilTime* out);

// The DATE of a civil day number and a time of day in seconds.
DATE dateFromParts(long long day, int secondsOfDay);

// "M/D/YYYY h:mm:ss AM": the date is left out when the day is 1899-12-30,
// the time when it is midnight (a zero DATE gives "12:00:00 AM").
// VAR_DATEVALUEONLY / VAR_TIMEVALUEONLY force one part. False when out of range.
bool formatDate(DATE date, ULONG flags, std::string* out);

enum class DateParse { Ok, Mismatch };

// en-US date / time text: ISO "YYYY-MM-DD[ hh:mm[:ss]]", "M/D/Y", "D Mon Y",
// "Mon D[,] Y", "D-Mon-Y", each with an optional time "h:mm[:ss] [AM|PM]",
// or a time alone (on 1899-12-30). Two-digit years 00-49 are 20xx, 50-99 19xx.
DateParse parseDate(const OLECHAR* text, std::size_t length, DATE* out);

}  // namespace mvcomm::ole::internal

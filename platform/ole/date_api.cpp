// File: platform/ole/date_api.cpp
//
// DATE <-> broken-down time: VarUdateFromDate, VarDateFromUdate,
// VariantTimeToSystemTime, SystemTimeToVariantTime. Times are whole seconds
// (milliseconds are neither produced nor read).
#include <cmath>

#include "platform/civil_date.h"
#include "platform/ole/internal/date_calc.h"
#include "platform/ole/oleauto.h"

namespace {

using namespace mvcomm::ole::internal;

void fill(const CivilTime& c, SYSTEMTIME* st) {
  st->wYear = static_cast<WORD>(c.year);
  st->wMonth = static_cast<WORD>(c.month);
  st->wDayOfWeek = static_cast<WORD>(c.dayOfWeek);
  st->wDay = static_cast<WORD>(c.day);
  st->wHour = static_cast<WORD>(c.hour);
  st->wMinute = static_cast<WORD>(c.minute);
  st->wSecond = static_cast<WORD>(c.second);
  st->wMilliseconds = 0;
}

bool inRange(long long day) { return day >= -657434 && day <= 2958465; }

}  // namespace

WINOLEAUTAPI VarUdateFromDate(DATE dateIn, ULONG dwFlags, UDATE* pudateOut) {
  (void)dwFlags;
  if (pudateOut == nullptr) return E_INVALIDARG;
  CivilTime c;
  if (!dateToCivil(dateIn, &c)) return E_INVALIDARG;
  fill(c, &pudateOut->st);
  pudateOut->wDayOfYear = static_cast<USHORT>(c.dayOfYear);
  return S_OK;
}

// Fields past their range carry into the next larger one (month 13 is
// January of the next year, day 0 the last day of the previous month).
WINOLEAUTAPI VarDateFromUdate(UDATE* pudateIn, ULONG dwFlags, DATE* pdateOut) {
  (void)dwFlags;
  if (pudateIn == nullptr || pdateOut == nullptr) return E_INVALIDARG;
  const SYSTEMTIME& st = pudateIn->st;
  long long months = static_cast<long long>(st.wYear) * 12 + (static_cast<long long>(st.wMonth) - 1);
  int year = static_cast<int>(months / 12);
  int month = static_cast<int>(months % 12) + 1;
  long long seconds = static_cast<long long>(st.wHour) * 3600 + st.wMinute * 60LL + st.wSecond;
  long long day = dayNumber(year, month, 1) + st.wDay - 1 + seconds / 86400;
  seconds %= 86400;
  if (year < 100 || !inRange(day)) return E_INVALIDARG;
  *pdateOut = dateFromParts(day, static_cast<int>(seconds));
  return S_OK;
}

WINOLEAUTAPI_(INT) VariantTimeToSystemTime(DOUBLE vtime, LPSYSTEMTIME lpSystemTime) {
  if (lpSystemTime == nullptr) return FALSE;
  CivilTime c;
  if (!dateToCivil(vtime, &c)) return FALSE;
  fill(c, lpSystemTime);
  return TRUE;
}

// Strict: every field must be in its range.
WINOLEAUTAPI_(INT) SystemTimeToVariantTime(LPSYSTEMTIME lpSystemTime, DOUBLE* pvtime) {
  if (lpSystemTime == nullptr || pvtime == nullptr) return FALSE;
  const SYSTEMTIME& st = *lpSystemTime;
  if (st.wYear < 100 || st.wYear > 9999 ||
      !mvcomm::civil::isCalendarDay(st.wYear, st.wMonth, st.wDay) || st.wHour > 23 ||
      st.wMinute > 59 || st.wSecond > 59) {
    return FALSE;
  }
  *pvtime = dateFromParts(dayNumber(st.wYear, st.wMonth, st.wDay),
                          st.wHour * 3600 + st.wMinute * 60 + st.wSecond);
  return TRUE;
}

// File: vm/calendar.cpp
//
// Dates, the date helper, times and datetimes. Dates are day numbers (day 0
// is 1899-12-31, proleptic Gregorian), times are seconds from midnight.

#include "vm/internal/calendar.h"
#include "vm/internal/products.h"
#include "vm/vm_api.h"

namespace mvcomm::vm {
namespace internal {

namespace {
template <class T>
int32_t startOut(T* out, T zero) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = zero;
  return kVmOk;
}
}  // namespace

// ---- date ----
int32_t DateImpl::year(int32_t* out) {
  if (int32_t st = startOut(out, 0)) return st;
  if (int32_t st = injected(Op::DateYear)) return st;
  *out = civilFromDayNumber(dayNumber_).year;
  return kVmOk;
}

int32_t DateImpl::month(int32_t* out) {
  if (int32_t st = startOut(out, 0)) return st;
  if (int32_t st = injected(Op::DateMonth)) return st;
  *out = civilFromDayNumber(dayNumber_).month;
  return kVmOk;
}

int32_t DateImpl::day(int32_t* out) {
  if (int32_t st = startOut(out, 0)) return st;
  if (int32_t st = injected(Op::DateDay)) return st;
  *out = civilFromDayNumber(dayNumber_).day;
  return kVmOk;
}

int32_t DateImpl::dayOfWeek(int32_t* out) {
  if (int32_t st = startOut(out, 0)) return st;
  if (int32_t st = injected(Op::DateDayOfWeek)) return st;
  *out = dayOfWeekOf(dayNumber_);
  return kVmOk;
}

int32_t DateImpl::dayNumber(IVMDateHelper* helper, int32_t* out) {
  if (int32_t st = startOut(out, 0)) return st;
  if (impl<DateHelperImpl>(helper) == nullptr) return kVmErrBadArgument;
  if (int32_t st = injected(Op::DateDayNumber)) return st;
  *out = dayNumber_;
  return kVmOk;
}

// ---- date helper ----
int32_t DateHelperImpl::makeDate(int32_t y, int32_t m, int32_t d, IVMDate** out) {
  if (int32_t st = startOut<IVMDate*>(out, nullptr)) return st;
  if (int32_t st = injected(Op::DateHelperMakeDate)) return st;
  if (!isValidDate(y, m, d)) return kVmErrOutOfRange;
  return makeInto<DateImpl>(out, internal::dayNumberOf(y, m, d));
}

int32_t DateHelperImpl::isLeapYear(int32_t y, int32_t* out) {
  if (int32_t st = startOut(out, 0)) return st;
  if (int32_t st = injected(Op::DateHelperIsLeapYear)) return st;
  *out = civil::isLeapYear(y) ? 1 : 0;
  return kVmOk;
}

int32_t DateHelperImpl::daysInMonth(int32_t y, int32_t m, int32_t* out) {
  if (int32_t st = startOut(out, 0)) return st;
  if (int32_t st = injected(Op::DateHelperDaysInMonth)) return st;
  if (m < 1 || m > 12) return kVmErrOutOfRange;
  *out = civil::daysInMonth(y, m);
  return kVmOk;
}

int32_t DateHelperImpl::dayNumberOf(int32_t y, int32_t m, int32_t d, int32_t* out) {
  if (int32_t st = startOut(out, 0)) return st;
  if (int32_t st = injected(Op::DateHelperDayNumberOf)) return st;
  if (!isValidDate(y, m, d)) return kVmErrOutOfRange;
  *out = internal::dayNumberOf(y, m, d);
  return kVmOk;
}

int32_t DateHelperImpl::partsOf(int32_t n, int32_t* y, int32_t* m, int32_t* d) {
  if (y == nullptr || m == nullptr || d == nullptr) return kVmErrBadArgument;
  *y = *m = *d = 0;
  if (int32_t st = injected(Op::DateHelperPartsOf)) return st;
  if (!isValidDayNumber(n)) return kVmErrOutOfRange;
  const civil::YearMonthDay c = civilFromDayNumber(n);
  *y = c.year;
  *m = c.month;
  *d = c.day;
  return kVmOk;
}

int32_t DateHelperImpl::dateFromDayNumber(int32_t n, IVMDate** out) {
  if (int32_t st = startOut<IVMDate*>(out, nullptr)) return st;
  if (int32_t st = injected(Op::DateHelperDateFromDayNumber)) return st;
  if (!isValidDayNumber(n)) return kVmErrOutOfRange;
  return makeInto<DateImpl>(out, n);
}

// ---- time ----
int32_t TimeImpl::hour(int32_t* out) {
  if (int32_t st = startOut(out, 0)) return st;
  if (int32_t st = injected(Op::TimeHour)) return st;
  *out = seconds_ / 3600;
  return kVmOk;
}

int32_t TimeImpl::minute(int32_t* out) {
  if (int32_t st = startOut(out, 0)) return st;
  if (int32_t st = injected(Op::TimeMinute)) return st;
  *out = seconds_ % 3600 / 60;
  return kVmOk;
}

int32_t TimeImpl::second(int32_t* out) {
  if (int32_t st = startOut(out, 0)) return st;
  if (int32_t st = injected(Op::TimeSecond)) return st;
  *out = seconds_ % 60;
  return kVmOk;
}

int32_t TimeImpl::secondsFrom(IVMTime* reference, int32_t* out) {
  if (int32_t st = startOut(out, 0)) return st;
  auto* ref = impl<TimeImpl>(reference);
  if (ref == nullptr) return kVmErrBadArgument;
  if (int32_t st = injected(Op::TimeSecondsFrom)) return st;
  *out = seconds_ - ref->seconds_;
  return kVmOk;
}

// ---- datetime ----
int32_t DateTimeImpl::datePart(IVMDate** out) {
  if (int32_t st = startOut<IVMDate*>(out, nullptr)) return st;
  if (int32_t st = injected(Op::DateTimeDatePart)) return st;
  return makeInto<DateImpl>(out, dayNumber_);
}

int32_t DateTimeImpl::timePart(IVMTime** out) {
  if (int32_t st = startOut<IVMTime*>(out, nullptr)) return st;
  if (int32_t st = injected(Op::DateTimeTimePart)) return st;
  return makeInto<TimeImpl>(out, seconds_);
}

}  // namespace internal

using namespace internal;

int32_t vmMakeDateHelper(int32_t reserved1, int32_t reserved2, int32_t reserved3,
                         IVMDateHelper** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::MakeDateHelper)) return st;
  if (reserved1 != 0 || reserved2 != 0 || reserved3 != 0) return kVmErrBadArgument;
  return makeInto<DateHelperImpl>(out);
}

int32_t vmMakeTime(int32_t hour, int32_t minute, int32_t second, IVMTime** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::MakeTime)) return st;
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    return kVmErrOutOfRange;
  }
  return makeInto<TimeImpl>(out, hour * 3600 + minute * 60 + second);
}

int32_t vmMakeDateTime(IVMDate* date, IVMTime* time, IVMDateTime** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::MakeDateTime)) return st;
  auto* d = impl<DateImpl>(date);
  auto* t = impl<TimeImpl>(time);
  if (d == nullptr || t == nullptr) return kVmErrBadArgument;
  return makeInto<DateTimeImpl>(out, d->days(), t->seconds());
}

}  // namespace mvcomm::vm

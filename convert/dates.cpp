// File: convert/dates.cpp
//
// OLE DATEs to and from the VM's dates, times and datetimes. The VM counts
// days with its own day number (whole part of the DATE - 1) through a date
// helper, and times as seconds from a midnight VM time; both helpers are
// made for one conversion and released at its end.
#include "convert/internal/date_math.h"
#include "convert/internal/variant_rules.h"
#include "convert/pbcom_type_converter.h"
#include "vm/vm_api.h"

namespace mvcomm::convert {

namespace {

using internal::coerce;
using internal::storeByRule;

template <typename T>
void release(T*& product) {
  if (product != nullptr) product->Release();
  product = nullptr;
}

// The DATE of (days, fraction), or 0.0 when it lies outside the DATE range.
DATE toDate(double value) {
  DATE date = 0.0;
  if (FAILED(VarDateFromR8(value, &date))) return 0.0;
  return date;
}

// A VM date for the DATE's day (the time of day is ignored).
int32_t makeVMDate(vm::IVMDate** dest, DATE src) {
  vm::IVMDateHelper* helper = nullptr;
  if (vm::vmMakeDateHelper(0, 0, 0, &helper) < 0) return kPbcomErrNoDateHelper;
  int32_t dayNumber = 0;
  int32_t status = kPbcomErrNoDate;
  if (internal::dayNumberOf(src, &dayNumber) && helper->dateFromDayNumber(dayNumber, dest) >= 0) {
    status = kPbcomOk;
  }
  if (status < 0) release(*dest);
  release(helper);
  return status;
}

// A VM time for the DATE's time of day (the day is ignored).
int32_t makeVMTime(vm::IVMTime** dest, DATE src) {
  internal::TimeOfDay time{};
  if (!internal::timeOfDayOf(src, &time)) return kPbcomErrNoTime;
  const int32_t status = vm::vmMakeTime(time.hour, time.minute, time.second, dest);
  if (status < 0) {
    release(*dest);
    return kPbcomErrNoTime;
  }
  return status;
}

// Seconds from midnight of a VM time. The VM's status when midnight cannot
// be made; `failed` when the time gives no seconds.
int32_t secondsOf(vm::IVMTime* time, int32_t* seconds, int32_t failed) {
  vm::IVMTime* midnight = nullptr;
  int32_t status = vm::vmMakeTime(0, 0, 0, &midnight);
  if (status < 0) return status;
  if (time->secondsFrom(midnight, seconds) < 0) status = failed;
  release(midnight);
  return status;
}

template <typename Product, typename ToDate>
int32_t vmToVariant(VARIANT* dest, Product* src, ToDate toDateFn) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  DATE date = 0.0;
  const int32_t status = toDateFn(&date, src);
  if (FAILED(status)) return status;
  return storeByRule(dest, VT_DATE, date);
}

}  // namespace

int32_t PBCOMTypeConverter::DateToVMDate(vm::IVMDate** dest, DATE src) {
  if (dest == nullptr) return kPbcomErrBadArgument;
  *dest = nullptr;
  return makeVMDate(dest, src);
}

int32_t PBCOMTypeConverter::DateRefToVMDate(vm::IVMDate** dest, const DATE* src) {
  if (src == nullptr) return kPbcomErrBadArgument;
  return DateToVMDate(dest, *src);
}

int32_t PBCOMTypeConverter::VariantToVMDate(vm::IVMDate** dest, const VARIANT* src) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  *dest = nullptr;
  VARIANT temp;
  const int32_t status = coerce(&temp, src, VT_DATE);
  if (FAILED(status)) return status;
  return DateToVMDate(dest, temp.date);
}

int32_t PBCOMTypeConverter::VMDateToDate(DATE* dest, vm::IVMDate* src) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  *dest = 0.0;
  vm::IVMDateHelper* helper = nullptr;
  int32_t status = vm::vmMakeDateHelper(0, 0, 0, &helper);
  if (status < 0) return status;
  int32_t dayNumber = 0;
  if (src->dayNumber(helper, &dayNumber) < 0) {
    status = kPbcomErrNoDayNumber;
  } else {
    *dest = toDate(static_cast<double>(dayNumber) + 1.0);
    status = kPbcomOk;
  }
  release(helper);
  return status;
}

int32_t PBCOMTypeConverter::VMDateToVariant(VARIANT* dest, vm::IVMDate* src) {
  return vmToVariant(dest, src, [this](DATE* d, vm::IVMDate* s) { return VMDateToDate(d, s); });
}

int32_t PBCOMTypeConverter::DateToVMTime(vm::IVMTime** dest, DATE src) {
  if (dest == nullptr) return kPbcomErrBadArgument;
  *dest = nullptr;
  return makeVMTime(dest, src);
}

int32_t PBCOMTypeConverter::DateRefToVMTime(vm::IVMTime** dest, const DATE* src) {
  if (src == nullptr) return kPbcomErrBadArgument;
  return DateToVMTime(dest, *src);
}

int32_t PBCOMTypeConverter::VariantToVMTime(vm::IVMTime** dest, const VARIANT* src) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  *dest = nullptr;
  VARIANT temp;
  const int32_t status = coerce(&temp, src, VT_DATE);
  if (FAILED(status)) return status;
  return DateToVMTime(dest, temp.date);
}

int32_t PBCOMTypeConverter::VMTimeToDate(DATE* dest, vm::IVMTime* src) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  int32_t seconds = 0;
  const int32_t status = secondsOf(src, &seconds, kPbcomErrNoDayNumber);
  *dest = status < 0 ? 0.0 : toDate(seconds / internal::kSecondsPerDay);
  return status < 0 ? status : kPbcomOk;
}

int32_t PBCOMTypeConverter::VMTimeToVariant(VARIANT* dest, vm::IVMTime* src) {
  return vmToVariant(dest, src, [this](DATE* d, vm::IVMTime* s) { return VMTimeToDate(d, s); });
}

int32_t PBCOMTypeConverter::DateToVMDateTime(vm::IVMDateTime** dest, DATE src) {
  if (dest == nullptr) return kPbcomErrBadArgument;
  *dest = nullptr;
  vm::IVMDate* date = nullptr;
  vm::IVMTime* time = nullptr;
  int32_t status = makeVMDate(&date, src);
  if (status >= 0) status = makeVMTime(&time, src);
  if (status >= 0) {
    status = vm::vmMakeDateTime(date, time, dest);
    if (status < 0) {
      release(*dest);
      status = kPbcomErrNoDateTime;
    }
  }
  release(date);
  release(time);
  return status;
}

int32_t PBCOMTypeConverter::DateRefToVMDateTime(vm::IVMDateTime** dest, const DATE* src) {
  if (src == nullptr) return kPbcomErrBadArgument;
  return DateToVMDateTime(dest, *src);
}

int32_t PBCOMTypeConverter::VariantToVMDateTime(vm::IVMDateTime** dest, const VARIANT* src) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  *dest = nullptr;
  VARIANT temp;
  const int32_t status = coerce(&temp, src, VT_DATE);
  if (FAILED(status)) return status;
  return DateToVMDateTime(dest, temp.date);
}

int32_t PBCOMTypeConverter::VMDateTimeToDate(DATE* dest, vm::IVMDateTime* src) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  double days = 0.0;
  double fraction = 0.0;

  // Date part.
  vm::IVMDateHelper* helper = nullptr;
  int32_t status = vm::vmMakeDateHelper(0, 0, 0, &helper);
  if (status >= 0) {
    vm::IVMDate* date = nullptr;
    if (src->datePart(&date) < 0) {
      status = kPbcomErrNoDayNumber;
    } else {
      int32_t dayNumber = 0;
      status = date->dayNumber(helper, &dayNumber);
      if (status >= 0) days = static_cast<double>(dayNumber) + 1.0;
    }
    release(date);
    release(helper);
  }

  // Time part, only after the date part.
  if (status >= 0) {
    vm::IVMTime* time = nullptr;
    vm::IVMTime* midnight = nullptr;
    status = vm::vmMakeTime(0, 0, 0, &midnight);
    if (status >= 0) {
      if (src->timePart(&time) < 0) {
        status = kPbcomErrNoDayNumber;
      } else {
        int32_t seconds = 0;
        status = time->secondsFrom(midnight, &seconds);
        if (status >= 0) fraction = seconds / internal::kSecondsPerDay;
      }
    }
    release(time);
    release(midnight);
  }

  *dest = toDate(internal::dateOf(days, fraction));
  return status < 0 ? status : kPbcomOk;
}

int32_t PBCOMTypeConverter::VMDateTimeToVariant(VARIANT* dest, vm::IVMDateTime* src) {
  return vmToVariant(dest, src,
                     [this](DATE* d, vm::IVMDateTime* s) { return VMDateTimeToDate(d, s); });
}

}  // namespace mvcomm::convert

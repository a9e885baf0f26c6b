// File: vm/value.cpp
//
// Values (one per type code, typed get and set) and call arguments.

#include <cmath>
#include <limits>

#include "vm/internal/calendar.h"
#include "vm/internal/products.h"
#include "vm/vm_api.h"

namespace mvcomm::vm {
namespace internal {

namespace {
constexpr int32_t kNullDayNumber = 1;  // what a null date reads as: 1900-01-01
}  // namespace

ValueImpl::~ValueImpl() {
  if (reference_ != nullptr) reference_->Release();
}

int32_t ValueImpl::expect(Op op, int32_t code) const {
  if (int32_t st = injected(op)) return st;
  return type_ == code ? kVmOk : kVmErrTypeMismatch;
}

void ValueImpl::copyFrom(const ValueImpl& other) {
  null_ = other.null_;
  integral_ = other.integral_;
  floating_ = other.floating_;
  text_ = other.text_;
  if (other.reference_ != nullptr) other.reference_->AddRef();
  if (reference_ != nullptr) reference_->Release();
  reference_ = other.reference_;
}

int32_t ValueImpl::typeCode(int32_t* out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = 0;
  if (int32_t st = injected(Op::ValueTypeCode)) return st;
  *out = type_;
  return kVmOk;
}

int32_t ValueImpl::isNull(int32_t* out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = 0;
  if (int32_t st = injected(Op::ValueIsNull)) return st;
  *out = null_ ? 1 : 0;
  return kVmOk;
}

int32_t ValueImpl::setNull() {
  if (int32_t st = injected(Op::ValueSetNull)) return st;
  null_ = true;
  integral_ = 0;
  floating_ = 0.0;
  text_.clear();
  if (reference_ != nullptr) reference_->Release();
  reference_ = nullptr;
  return kVmOk;
}

// ---- typed gets ----
#define MV_GET_SCALAR(Method, T, Code)                     \
  int32_t ValueImpl::Method(T* out) {                      \
    if (out == nullptr) return kVmErrBadArgument;          \
    *out = 0;                                              \
    if (int32_t st = expect(valueGetOp(Code), Code)) return st; \
    *out = static_cast<T>(integral_);                      \
    return kVmOk;                                          \
  }
MV_GET_SCALAR(getCharacter, uint8_t, kTypeCharacter)
MV_GET_SCALAR(getWord4, int32_t, kTypeWord4)
MV_GET_SCALAR(getWord5, uint32_t, kTypeWord5)
MV_GET_SCALAR(getInteger, int16_t, kTypeInteger)
MV_GET_SCALAR(getUnsignedInteger, uint16_t, kTypeUnsignedInteger)
MV_GET_SCALAR(getLong, int32_t, kTypeLong)
MV_GET_SCALAR(getUnsignedLong, uint32_t, kTypeUnsignedLong)
MV_GET_SCALAR(getBoolean, int32_t, kTypeBoolean)
#undef MV_GET_SCALAR

int32_t ValueImpl::getReal(float* out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = 0.0f;
  if (int32_t st = expect(valueGetOp(kTypeReal), kTypeReal)) return st;
  *out = static_cast<float>(floating_);
  return kVmOk;
}

int32_t ValueImpl::getDouble(double* out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = 0.0;
  if (int32_t st = expect(valueGetOp(kTypeDouble), kTypeDouble)) return st;
  *out = floating_;
  return kVmOk;
}

int32_t ValueImpl::getDecimal(IVMDecimal** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = expect(valueGetOp(kTypeDecimal), kTypeDecimal)) return st;
  return makeInto<DecimalImpl>(out, floating_);
}

int32_t ValueImpl::getDate(IVMDate** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = expect(valueGetOp(kTypeDate), kTypeDate)) return st;
  return makeInto<DateImpl>(out, null_ ? kNullDayNumber : static_cast<int32_t>(integral_));
}

int32_t ValueImpl::getTime(IVMTime** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = expect(valueGetOp(kTypeTime), kTypeTime)) return st;
  return makeInto<TimeImpl>(out, static_cast<int32_t>(integral_));
}

int32_t ValueImpl::getDateTime(IVMDateTime** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = expect(valueGetOp(kTypeDateTime), kTypeDateTime)) return st;
  if (null_) return makeInto<DateTimeImpl>(out, kNullDayNumber, 0);
  int64_t day = civil::floorDiv(integral_, kSecondsPerDay);
  return makeInto<DateTimeImpl>(out, static_cast<int32_t>(day),
                                static_cast<int32_t>(integral_ - day * kSecondsPerDay));
}

int32_t ValueImpl::getString(IVMString** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = expect(valueGetOp(kTypeString), kTypeString)) return st;
  try {
    return makeInto<StringImpl>(out, text_);
  } catch (const std::bad_alloc&) {
    return kVmErrNoMemory;
  }
}

int32_t ValueImpl::getReference(IUnknown** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::ValueGetReference)) return st;
  if (type_ != kTypeArray && type_ != kTypeObject && type_ != kTypeDynamicArray) {
    return kVmErrTypeMismatch;
  }
  if (reference_ != nullptr) reference_->AddRef();
  *out = reference_;
  return kVmOk;
}

int32_t ValueImpl::setReference(IUnknown* reference) {
  if (int32_t st = injected(Op::ValueSetReference)) return st;
  bool fits = (type_ == kTypeObject) ? impl<ObjectImpl>(reference) != nullptr
              : (type_ == kTypeArray || type_ == kTypeDynamicArray)
                  ? impl<ArrayImpl>(reference) != nullptr
                  : false;
  if (reference == nullptr && (type_ == kTypeArray || type_ == kTypeObject || type_ == kTypeDynamicArray)) {
    return setNull();
  }
  if (!fits) return kVmErrTypeMismatch;
  reference->AddRef();
  if (reference_ != nullptr) reference_->Release();
  reference_ = reference;
  null_ = false;
  return kVmOk;
}

int32_t ValueImpl::assign(IVMValue* from) {
  auto* src = impl<ValueImpl>(from);
  if (src == nullptr) return kVmErrBadArgument;
  if (int32_t st = injected(Op::ValueAssign)) return st;
  if (src->type_ != type_) return kVmErrTypeMismatch;
  if (src != this) copyFrom(*src);
  return kVmOk;
}

// ---- typed sets ----
int32_t ValueImpl::setCharacter(int32_t v) {
  if (int32_t st = expect(valueSetOp(kTypeCharacter), kTypeCharacter)) return st;
  if (v < -128 || v > 255) return kVmErrOutOfRange;
  setIntegral(static_cast<uint8_t>(v));
  return kVmOk;
}

int32_t ValueImpl::setWord4(int32_t v) {
  if (int32_t st = expect(valueSetOp(kTypeWord4), kTypeWord4)) return st;
  setIntegral(v);
  return kVmOk;
}

int32_t ValueImpl::setWord5(uint32_t v) {
  if (int32_t st = expect(valueSetOp(kTypeWord5), kTypeWord5)) return st;
  setIntegral(v);
  return kVmOk;
}

int32_t ValueImpl::setInteger(int32_t v) {
  if (int32_t st = expect(valueSetOp(kTypeInteger), kTypeInteger)) return st;
  if (v < std::numeric_limits<int16_t>::min() || v > std::numeric_limits<int16_t>::max()) {
    return kVmErrOutOfRange;
  }
  setIntegral(v);
  return kVmOk;
}

int32_t ValueImpl::setUnsignedInteger(uint32_t v) {
  if (int32_t st = expect(valueSetOp(kTypeUnsignedInteger), kTypeUnsignedInteger)) return st;
  if (v > std::numeric_limits<uint16_t>::max()) return kVmErrOutOfRange;
  setIntegral(v);
  return kVmOk;
}

int32_t ValueImpl::setLong(int32_t v) {
  if (int32_t st = expect(valueSetOp(kTypeLong), kTypeLong)) return st;
  setIntegral(v);
  return kVmOk;
}

int32_t ValueImpl::setUnsignedLong(uint32_t v) {
  if (int32_t st = expect(valueSetOp(kTypeUnsignedLong), kTypeUnsignedLong)) return st;
  setIntegral(v);
  return kVmOk;
}

int32_t ValueImpl::setBoolean(int32_t v) {
  if (int32_t st = expect(valueSetOp(kTypeBoolean), kTypeBoolean)) return st;
  setIntegral(v);
  return kVmOk;
}

int32_t ValueImpl::setReal(float v) {
  if (int32_t st = expect(valueSetOp(kTypeReal), kTypeReal)) return st;
  floating_ = v;
  null_ = false;
  return kVmOk;
}

int32_t ValueImpl::setDouble(double v) {
  if (int32_t st = expect(valueSetOp(kTypeDouble), kTypeDouble)) return st;
  floating_ = v;
  null_ = false;
  return kVmOk;
}

int32_t ValueImpl::setDecimal(IVMDecimal* value) {
  auto* d = impl<DecimalImpl>(value);
  if (d == nullptr) return kVmErrBadArgument;
  if (int32_t st = expect(valueSetOp(kTypeDecimal), kTypeDecimal)) return st;
  floating_ = d->value();
  null_ = false;
  return kVmOk;
}

int32_t ValueImpl::setDate(IVMDate* value) {
  auto* d = impl<DateImpl>(value);
  if (d == nullptr) return kVmErrBadArgument;
  if (int32_t st = expect(valueSetOp(kTypeDate), kTypeDate)) return st;
  setIntegral(d->days());
  return kVmOk;
}

int32_t ValueImpl::setTime(IVMTime* value) {
  auto* t = impl<TimeImpl>(value);
  if (t == nullptr) return kVmErrBadArgument;
  if (int32_t st = expect(valueSetOp(kTypeTime), kTypeTime)) return st;
  setIntegral(t->seconds());
  return kVmOk;
}

int32_t ValueImpl::setDateTime(IVMDateTime* value) {
  auto* dt = impl<DateTimeImpl>(value);
  if (dt == nullptr) return kVmErrBadArgument;
  if (int32_t st = expect(valueSetOp(kTypeDateTime), kTypeDateTime)) return st;
  setIntegral(int64_t{dt->days()} * kSecondsPerDay + dt->seconds());
  return kVmOk;
}

int32_t ValueImpl::setString(IVMString* value) {
  auto* s = impl<StringImpl>(value);
  if (s == nullptr) return kVmErrBadArgument;
  if (int32_t st = expect(valueSetOp(kTypeString), kTypeString)) return st;
  try {
    text_ = s->str();
  } catch (const std::bad_alloc&) {
    return kVmErrNoMemory;
  }
  null_ = false;
  return kVmOk;
}

// ---- argument ----
int32_t ArgumentImpl::value(IVMValue** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::ArgumentValue)) return st;
  value_->AddRef();
  *out = value_;
  return kVmOk;
}

int32_t ArgumentImpl::mode(int32_t* out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = 0;
  if (int32_t st = injected(Op::ArgumentMode)) return st;
  *out = mode_;
  return kVmOk;
}

}  // namespace internal

using namespace internal;

int32_t vmMakeValue(int32_t typeCode, IVMValueContext* context, IVMValue** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::MakeValue)) return st;
  if (impl<ValueContextImpl>(context) == nullptr) return kVmErrBadArgument;
  if (!isTypeCode(typeCode)) return kVmErrTypeMismatch;
  return makeInto<ValueImpl>(out, typeCode);
}

int32_t vmMakeArgument(IVMValue* value, int32_t mode, IVMArgument** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::MakeArgument)) return st;
  if (impl<ValueImpl>(value) == nullptr) return kVmErrBadArgument;
  if (mode != kArgByValue && mode != kArgByReference) return kVmErrBadArgument;
  return makeInto<ArgumentImpl>(out, value, mode);
}

}  // namespace mvcomm::vm

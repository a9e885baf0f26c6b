// File: convert/numbers.cpp
//
// Numbers the VM takes as plain C values, and the boolean, to and from
// VARIANTs. No VM objects are made here.
#include "convert/internal/variant_rules.h"
#include "convert/pbcom_type_converter.h"

namespace mvcomm::convert {

namespace {

using internal::coerce;
using internal::storeByRule;

// The member of VARIANT's union that holds a T, by value and by reference.
// The value sits at the start of the data area in every flavour; a
// by-reference VARIANT points at it.
template <typename T>
T valueOf(const VARIANT& v) {
  T value;
  std::memcpy(&value, &v.llVal, sizeof(T));
  return value;
}

template <typename T>
int32_t variantToNumber(T* dest, const VARIANT* src, VARTYPE vt) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  if (src->vt == vt) {
    *dest = valueOf<T>(*src);
    return kPbcomOk;
  }
  if (src->vt == (VT_BYREF | vt) && src->byref != nullptr) {
    std::memcpy(dest, src->byref, sizeof(T));
    return kPbcomOk;
  }
  VARIANT temp;
  const int32_t status = coerce(&temp, src, vt);
  if (FAILED(status)) return status;
  *dest = valueOf<T>(temp);
  VariantClear(&temp);
  return status;
}

template <typename T>
int32_t numberToVariant(VARIANT* dest, VARTYPE vt, T value) {
  if (dest == nullptr) return kPbcomErrBadArgument;
  return storeByRule(dest, vt, value);
}

}  // namespace

int32_t PBCOMTypeConverter::VariantToDouble(double* dest, const VARIANT* src) {
  return variantToNumber(dest, src, VT_R8);
}
int32_t PBCOMTypeConverter::DoubleToVariant(VARIANT* dest, double src) {
  return numberToVariant(dest, VT_R8, src);
}
int32_t PBCOMTypeConverter::VariantToFloat(float* dest, const VARIANT* src) {
  return variantToNumber(dest, src, VT_R4);
}
int32_t PBCOMTypeConverter::FloatToVariant(VARIANT* dest, float src) {
  return numberToVariant(dest, VT_R4, src);
}
int32_t PBCOMTypeConverter::VariantToShort(int16_t* dest, const VARIANT* src) {
  return variantToNumber(dest, src, VT_I2);
}
int32_t PBCOMTypeConverter::ShortToVariant(VARIANT* dest, int16_t src) {
  return numberToVariant(dest, VT_I2, src);
}
int32_t PBCOMTypeConverter::VariantToUShort(uint16_t* dest, const VARIANT* src) {
  return variantToNumber(dest, src, VT_UI2);
}
int32_t PBCOMTypeConverter::UShortToVariant(VARIANT* dest, uint16_t src) {
  return numberToVariant(dest, VT_UI2, src);
}
int32_t PBCOMTypeConverter::VariantToLong(int32_t* dest, const VARIANT* src) {
  return variantToNumber(dest, src, VT_I4);
}
int32_t PBCOMTypeConverter::LongToVariant(VARIANT* dest, int32_t src) {
  return numberToVariant(dest, VT_I4, src);
}
int32_t PBCOMTypeConverter::VariantToULong(uint32_t* dest, const VARIANT* src) {
  return variantToNumber(dest, src, VT_UI4);
}
int32_t PBCOMTypeConverter::ULongToVariant(VARIANT* dest, uint32_t src) {
  return numberToVariant(dest, VT_UI4, src);
}

int32_t PBCOMTypeConverter::VariantBoolToBoolean(int32_t* dest, VARIANT_BOOL src) {
  if (dest == nullptr) return kPbcomErrBadArgument;
  *dest = src == VARIANT_TRUE ? 1 : static_cast<int32_t>(src);
  return kPbcomOk;
}

int32_t PBCOMTypeConverter::VariantBoolRefToBoolean(int32_t* dest, const VARIANT_BOOL* src) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  return VariantBoolToBoolean(dest, *src);
}

int32_t PBCOMTypeConverter::BooleanToVariantBool(VARIANT_BOOL* dest, int32_t src) {
  if (dest == nullptr) return kPbcomErrBadArgument;
  *dest = src != 0 ? VARIANT_TRUE : VARIANT_FALSE;
  return kPbcomOk;
}

int32_t PBCOMTypeConverter::VariantToBoolean(int32_t* dest, const VARIANT* src) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  VARIANT temp;
  const int32_t status = coerce(&temp, src, VT_BOOL);
  if (FAILED(status)) return status;
  const int32_t result = VariantBoolToBoolean(dest, temp.boolVal);
  VariantClear(&temp);
  return result;
}

int32_t PBCOMTypeConverter::BooleanToVariant(VARIANT* dest, int32_t src) {
  if (dest == nullptr) return kPbcomErrBadArgument;
  VARIANT_BOOL value = VARIANT_FALSE;
  BooleanToVariantBool(&value, src);
  return storeByRule(dest, VT_BOOL, value);
}

}  // namespace mvcomm::convert

// File: convert/internal/variant_rules.h
//
// What every converter does with VARIANTs: coerce a source into a zeroed
// temporary, and write a result into a destination by the destination rule.
#pragma once

#include <cstdint>
#include <cstring>

#include "convert/pbcom_status.h"
#include "platform/ole/oleauto.h"

namespace mvcomm::convert::internal {

// Coerces src to vt into *temp (zeroed first). VariantChangeType's status.
inline int32_t coerce(VARIANT* temp, const VARIANT* src, VARTYPE vt) {
  std::memset(temp, 0, sizeof(VARIANT));
  return VariantChangeType(temp, src, 0, vt);
}

// The destination rule. A by-reference destination must refer to storage of
// type vt (else -8303, untouched) and keeps its reference; a by-value one is
// cleared and takes the value. A destination VariantClear refuses stays as
// it was, with VariantClear's status.
template <typename T>
int32_t storeByRule(VARIANT* dest, VARTYPE vt, const T& value) {
  static_assert(sizeof(T) <= 8);
  if ((dest->vt & VT_BYREF) != 0) {
    void* reference = dest->byref;
    if ((dest->vt & ~VT_BYREF) != vt || reference == nullptr) return kPbcomErrBadArgument;
    const HRESULT cleared = VariantClear(dest);
    if (FAILED(cleared)) return cleared;
    dest->vt = static_cast<VARTYPE>(VT_BYREF | vt);
    dest->byref = reference;
    std::memcpy(reference, &value, sizeof(T));
    return kPbcomOk;
  }
  const HRESULT cleared = VariantClear(dest);
  if (FAILED(cleared)) return cleared;
  dest->vt = vt;
  std::memcpy(&dest->llVal, &value, sizeof(T));
  return kPbcomOk;
}

}  // namespace mvcomm::convert::internal

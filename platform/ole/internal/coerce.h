// File: platform/ole/internal/coerce.h
//
// The conversion engine behind VariantChangeType(Ex) and the VarXxxFromYyy
// functions.
#pragma once

#include <cstddef>

#include "platform/ole/wtypes.h"

namespace mvcomm::ole::internal {

struct CoerceOptions {
  LCID lcid = LCID_EN_US;  // every locale reads as en-US
  USHORT flags = 0;        // VARIANT_NOVALUEPROP, VARIANT_ALPHABOOL
  ULONG dateFlags = 0;     // VAR_DATEVALUEONLY / VAR_TIMEVALUEONLY for DATE -> BSTR
};

// Converts src (BYREF dereferenced) to vt into *out, which must hold nothing;
// on failure *out is VT_EMPTY. Does not touch src.
HRESULT coerce(VARIANT* out, const VARIANT* src, const CoerceOptions& opt, VARTYPE vt);

// Converts `length` UTF-16 units of text (null: no text) as a BSTR holding
// them would be converted.
HRESULT coerceText(VARIANT* out, const OLECHAR* text, std::size_t length,
                   const CoerceOptions& opt, VARTYPE vt);

}  // namespace mvcomm::ole::internal

// File: platform/ole/internal/variant_util.h
//
// VARTYPE checks and element helpers shared by the VARIANT, SAFEARRAY and
// conversion code.
#pragma once

#include "platform/ole/wtypes.h"

namespace mvcomm::ole::internal {

// The base types a VARIANT may hold (VT_VARIANT only by reference or in an
// array, VT_EMPTY and VT_NULL only plain).
bool isValidVariantType(VARTYPE vt);

// The element types a SAFEARRAY may hold, and their element size (0 for none).
ULONG safeArrayElementSize(VARTYPE vt);

}  // namespace mvcomm::ole::internal

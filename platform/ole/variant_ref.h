// File: platform/ole/variant_ref.h
//
// Following a by-reference VARIANT: the one rule every converter and the
// array entry points apply before they look at a VARIANT argument.
#pragma once

#include "platform/ole/wtypes.h"

namespace mvcomm::ole {

// The VARIANT a VT_BYREF | VT_VARIANT refers to, or `v` itself for any other
// tag. One level only: null for a null reference and for a reference to
// another VT_BYREF | VT_VARIANT (a chain, or a loop). `v` must not be null.
inline const VARIANT* followVariantReference(const VARIANT* v) {
  if (v->vt != (VT_BYREF | VT_VARIANT)) return v;
  const VARIANT* inner = v->pvarVal;
  if (inner == nullptr || inner->vt == (VT_BYREF | VT_VARIANT)) return nullptr;
  return inner;
}

}  // namespace mvcomm::ole

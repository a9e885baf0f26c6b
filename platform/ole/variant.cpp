// File: platform/ole/variant.cpp
//
// VariantInit, VariantClear, VariantCopy, VariantCopyInd: the ownership rules
// of a VARIANT (it owns its BSTR, its SAFEARRAY and one reference to its
// interface; a BYREF variant owns nothing).
#include <cstring>

#include "platform/ole/internal/bstr_util.h"
#include "platform/ole/internal/variant_util.h"
#include "platform/ole/oleauto.h"

namespace mvcomm::ole::internal {

bool isValidVariantType(VARTYPE vt) {
  if (vt & (VT_VECTOR | VT_RESERVED)) return false;
  const VARTYPE base = vt & VT_TYPEMASK;
  const bool decorated = (vt & (VT_BYREF | VT_ARRAY)) != 0;
  switch (base) {
    case VT_EMPTY:
    case VT_NULL:
      return !decorated;
    case VT_VARIANT:
      return decorated;
    case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_DATE: case VT_BSTR:
    case VT_DISPATCH: case VT_ERROR: case VT_BOOL: case VT_UNKNOWN: case VT_DECIMAL:
    case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8: case VT_INT:
    case VT_UINT: case VT_RECORD:
      return true;
    default:
      return false;
  }
}

}  // namespace mvcomm::ole::internal

namespace {

using mvcomm::ole::internal::isValidVariantType;

// Size of the value a BYREF of this base type points to.
std::size_t refSize(VARTYPE base) {
  switch (base) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
    case VT_I8: case VT_UI8: case VT_R8: case VT_DATE: case VT_CY: return 8;
    case VT_DECIMAL: return sizeof(DECIMAL);
    default: return 0;
  }
}

// Deep copy of src's value into dest, which holds nothing. On failure dest is VT_EMPTY.
HRESULT copyValue(VARIANT* dest, const VARIANT* src) {
  const VARTYPE vt = src->vt;
  if (vt & VT_BYREF) {
    std::memcpy(dest, src, sizeof(VARIANT));
    return S_OK;
  }
  if (vt & VT_ARRAY) {
    SAFEARRAY* copy = nullptr;
    HRESULT hr = SafeArrayCopy(src->parray, &copy);
    if (FAILED(hr)) {
      dest->vt = VT_EMPTY;
      return hr;
    }
    std::memcpy(dest, src, sizeof(VARIANT));
    dest->parray = copy;
    return S_OK;
  }
  switch (vt) {
    case VT_BSTR: {
      BSTR copy = mvcomm::ole::internal::bstrCopy(src->bstrVal);
      if (copy == nullptr && src->bstrVal != nullptr) {
        dest->vt = VT_EMPTY;
        return E_OUTOFMEMORY;
      }
      std::memcpy(dest, src, sizeof(VARIANT));
      dest->bstrVal = copy;
      return S_OK;
    }
    case VT_DISPATCH:
    case VT_UNKNOWN:
      if (src->punkVal != nullptr) src->punkVal->AddRef();
      std::memcpy(dest, src, sizeof(VARIANT));
      return S_OK;
    case VT_RECORD:
      // Records would need IRecordInfo, which this layer does not carry.
      dest->vt = VT_EMPTY;
      return DISP_E_BADVARTYPE;
    default:
      std::memcpy(dest, src, sizeof(VARIANT));  // DECIMAL fills all 16 bytes with vt
      return S_OK;
  }
}

}  // namespace

WINOLEAUTAPI_(void) VariantInit(VARIANTARG* pvarg) {
  if (pvarg == nullptr) return;
  pvarg->vt = VT_EMPTY;
  pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
}

WINOLEAUTAPI VariantClear(VARIANTARG* pvarg) {
  if (pvarg == nullptr) return E_INVALIDARG;
  const VARTYPE vt = pvarg->vt;
  if (!isValidVariantType(vt)) return DISP_E_BADVARTYPE;
  if (!(vt & VT_BYREF)) {
    if (vt & VT_ARRAY) {
      // A locked array stays where it is: clearing must not leak or free it twice.
      HRESULT hr = SafeArrayDestroy(pvarg->parray);
      if (FAILED(hr)) return hr;
    } else if (vt == VT_BSTR) {
      SysFreeString(pvarg->bstrVal);
    } else if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
      if (pvarg->punkVal != nullptr) pvarg->punkVal->Release();
    } else if (vt == VT_RECORD) {
      return DISP_E_BADVARTYPE;
    }
  }
  pvarg->vt = VT_EMPTY;
  pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
  pvarg->llVal = 0;
  return S_OK;
}

WINOLEAUTAPI VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
  if (pvargDest == nullptr || pvargSrc == nullptr) return E_INVALIDARG;
  if (pvargDest == pvargSrc) return S_OK;
  if (!isValidVariantType(pvargSrc->vt)) return DISP_E_BADVARTYPE;
  HRESULT hr = VariantClear(pvargDest);
  if (FAILED(hr)) return hr;
  return copyValue(pvargDest, pvargSrc);
}

WINOLEAUTAPI VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc) {
  if (pvarDest == nullptr || pvargSrc == nullptr) return E_INVALIDARG;
  const VARTYPE vt = pvargSrc->vt;
  if (!(vt & VT_BYREF)) return VariantCopy(pvarDest, pvargSrc);
  if (!isValidVariantType(vt)) return DISP_E_BADVARTYPE;
  if (pvargSrc->byref == nullptr) return E_INVALIDARG;

  // Build the dereferenced value first: the destination may be the source.
  VARIANT value;
  VariantInit(&value);
  const VARTYPE base = vt & ~VT_BYREF;
  if (base == VT_VARIANT) {
    const VARIANT* inner = pvargSrc->pvarVal;
    if (inner->vt & VT_BYREF) return E_INVALIDARG;  // one level of reference only
    if (!isValidVariantType(inner->vt)) return DISP_E_BADVARTYPE;
    HRESULT hr = copyValue(&value, inner);
    if (FAILED(hr)) return hr;
  } else {
    VARIANT plain;
    VariantInit(&plain);
    plain.vt = base;
    if (base & VT_ARRAY) {
      plain.parray = *pvargSrc->pparray;
    } else if (base == VT_BSTR) {
      plain.bstrVal = *pvargSrc->pbstrVal;
    } else if (base == VT_DISPATCH || base == VT_UNKNOWN) {
      plain.punkVal = *pvargSrc->ppunkVal;
    } else if (base == VT_DECIMAL) {
      plain.decVal = *pvargSrc->pdecVal;
      plain.vt = VT_DECIMAL;
    } else if (refSize(base) != 0) {
      std::memcpy(&plain.llVal, pvargSrc->byref, refSize(base));
    } else {
      return DISP_E_BADVARTYPE;
    }
    HRESULT hr = copyValue(&value, &plain);
    if (FAILED(hr)) return hr;
  }
  HRESULT hr = VariantClear(pvarDest);
  if (FAILED(hr)) {
    VariantClear(&value);
    return hr;
  }
  std::memcpy(pvarDest, &value, sizeof(VARIANT));
  return S_OK;
}

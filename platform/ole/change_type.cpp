// File: platform/ole/change_type.cpp
//
// VariantChangeType(Ex): every coercion between the automation scalar types,
// BYREF sources dereferenced, dispatch sources read through their default
// property; the destination changes only on success.
//
// Sections: source view; numbers (the common intermediate); targets
// (integers, reals, CY, DECIMAL, DATE, BOOL, BSTR); text sources; the
// coercion table; entry points.
//
// Decisions where the platform's behaviour is not pinned down:
// - BOOL wraps into every integer type as VarXxxFromBool does (VARIANT_TRUE
//   gives UI1 255, UI4 0xFFFFFFFF, UI8 0xFFFFFFFFFFFFFFFF); it never overflows.
// - VT_UINT goes into VT_I4 and VT_INT unchecked (0xFFFFFFFF is -1); every
//   other integer pair is range checked.
// - VT_ERROR converts only to VT_ERROR, VT_EMPTY and VT_NULL.
// - VT_DISPATCH and VT_UNKNOWN convert to VT_EMPTY and VT_NULL without a call;
//   VT_UNKNOWN -> VT_DISPATCH asks QueryInterface and a refusal is a type mismatch.
// - A default property that yields another object is followed at most 8
//   levels deep, so a cycle of objects ends in a type mismatch.
// - DATE -> BSTR for a DATE outside the valid range is E_INVALIDARG.
// - A DOUBLE -> DATE outside [-657434.0, 2958466.0) or NaN is DISP_E_OVERFLOW.
// - DECIMAL from R8 keeps 15 significant digits, from R4 7; NaN, infinity and
//   magnitudes past 96 bits are DISP_E_OVERFLOW.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>

#include "platform/no_throw.h"
#include "platform/ole/internal/bstr_util.h"
#include "platform/ole/internal/coerce.h"
#include "platform/ole/internal/date_calc.h"
#include "platform/ole/internal/dec128.h"
#include "platform/ole/internal/number_text.h"
#include "platform/ole/internal/variant_util.h"
#include "platform/ole/oleauto.h"

namespace mvcomm::ole::internal {
namespace {

constexpr int kMaxDispatchDepth = 8;

// ---- source view ---------------------------------------------------------------

std::size_t refSize(VARTYPE base) {
  switch (base) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
    case VT_I8: case VT_UI8: case VT_R8: case VT_DATE: case VT_CY: return 8;
    default: return 0;
  }
}

// A non-owning plain VARIANT with the value src holds or refers to.
HRESULT viewOf(const VARIANT* src, VARIANT* view, int level = 0) {
  const VARTYPE vt = src->vt;
  if (!(vt & VT_BYREF)) {
    std::memcpy(view, src, sizeof(VARIANT));
    return S_OK;
  }
  if (src->byref == nullptr) return DISP_E_TYPEMISMATCH;
  const VARTYPE base = vt & ~VT_BYREF;
  std::memset(view, 0, sizeof(VARIANT));
  if (base == VT_VARIANT) {
    const VARIANT* inner = src->pvarVal;
    if (!isValidVariantType(inner->vt)) return DISP_E_BADVARTYPE;
    if (inner->vt == (VT_BYREF | VT_VARIANT) || level > 0) return DISP_E_TYPEMISMATCH;
    return viewOf(inner, view, level + 1);
  }
  view->vt = base;
  if (base & VT_ARRAY) {
    view->parray = *src->pparray;
  } else if (base == VT_BSTR) {
    view->bstrVal = *src->pbstrVal;
  } else if (base == VT_DISPATCH || base == VT_UNKNOWN) {
    view->punkVal = *src->ppunkVal;
  } else if (base == VT_DECIMAL) {
    view->decVal = *src->pdecVal;
    view->vt = VT_DECIMAL;
  } else if (refSize(base) != 0) {
    std::memcpy(&view->llVal, src->byref, refSize(base));
  } else {
    return DISP_E_TYPEMISMATCH;
  }
  return S_OK;
}

bool isTargetType(VARTYPE vt) {
  if (vt & (VT_BYREF | VT_VECTOR | VT_RESERVED)) return false;
  if (vt & VT_ARRAY) return safeArrayElementSize(vt & ~VT_ARRAY) != 0;
  switch (vt) {
    case VT_EMPTY: case VT_NULL: case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_UI1:
    case VT_UI2: case VT_UI4: case VT_UI8: case VT_INT: case VT_UINT: case VT_R4: case VT_R8:
    case VT_CY: case VT_BOOL: case VT_BSTR: case VT_DATE: case VT_DECIMAL: case VT_ERROR:
    case VT_DISPATCH: case VT_UNKNOWN: case VT_VARIANT: case VT_RECORD:
      return true;
    default:
      return false;
  }
}

// ---- numbers ----------------------------------------------------------------------

enum class Kind { Int, Real, Dec, Text };

struct Num {
  Kind kind = Kind::Int;
  i128 i = 0;
  double r = 0;
  int realDigits = 15;  // significant digits of the real source (7 for R4)
  Dec128 d;
  ParsedNumber text;
  bool fromBool = false;
  bool fromUint = false;
};

HRESULT numFromText(const OLECHAR* s, std::size_t n, Num* out) {
  ParseStatus st = parseNumber(s, n, &out->text);
  if (st == ParseStatus::Mismatch) return DISP_E_TYPEMISMATCH;
  if (st == ParseStatus::Overflow) return DISP_E_OVERFLOW;
  if (out->text.radix) {
    out->kind = Kind::Int;
    out->i = out->text.radixValue;
  } else {
    out->kind = Kind::Text;
  }
  return S_OK;
}

// The numeric value of a plain scalar source.
HRESULT numFrom(const VARIANT& v, Num* out) {
  out->kind = Kind::Int;
  switch (v.vt) {
    case VT_EMPTY: out->i = 0; return S_OK;
    case VT_I1: out->i = static_cast<signed char>(v.cVal); return S_OK;
    case VT_I2: out->i = v.iVal; return S_OK;
    case VT_I4: case VT_INT: out->i = v.lVal; return S_OK;
    case VT_I8: out->i = v.llVal; return S_OK;
    case VT_UI1: out->i = v.bVal; return S_OK;
    case VT_UI2: out->i = v.uiVal; return S_OK;
    case VT_UI4: out->i = v.ulVal; return S_OK;
    case VT_UINT: out->i = v.uintVal; out->fromUint = true; return S_OK;
    case VT_UI8: out->i = v.ullVal; return S_OK;
    case VT_BOOL: out->i = v.boolVal; out->fromBool = true; return S_OK;
    case VT_R4: out->kind = Kind::Real; out->r = v.fltVal; out->realDigits = 7; return S_OK;
    case VT_R8: out->kind = Kind::Real; out->r = v.dblVal; return S_OK;
    case VT_DATE: out->kind = Kind::Real; out->r = v.date; return S_OK;
    case VT_CY: {
      out->kind = Kind::Dec;
      long long c = v.cyVal.int64;
      out->d.neg = c < 0;
      out->d.mag = c < 0 ? static_cast<u128>(-static_cast<i128>(c)) : static_cast<u128>(c);
      out->d.scale = 4;
      return S_OK;
    }
    case VT_DECIMAL:
      out->kind = Kind::Dec;
      return decFromDecimal(v.decVal, &out->d) ? S_OK : E_INVALIDARG;
    case VT_BSTR:
      return numFromText(v.bstrVal, SysStringLen(v.bstrVal), out);
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

// ---- targets: integers --------------------------------------------------------------

struct IntRange {
  int bits;
  bool isUnsigned;
};

IntRange rangeOf(VARTYPE vt) {
  switch (vt) {
    case VT_I1: return {8, false};
    case VT_UI1: return {8, true};
    case VT_I2: return {16, false};
    case VT_UI2: return {16, true};
    case VT_I4: case VT_INT: return {32, false};
    case VT_UI4: case VT_UINT: return {32, true};
    case VT_I8: return {64, false};
    default: return {64, true};  // VT_UI8
  }
}

// Rounds half to even first, then checks the range.
HRESULT toInteger(const Num& n, VARTYPE vt, i128* out) {
  const IntRange range = rangeOf(vt);
  const i128 lo = range.isUnsigned ? 0 : -(static_cast<i128>(1) << (range.bits - 1));
  const i128 hi = range.isUnsigned ? (static_cast<i128>(1) << range.bits) - 1
                                   : (static_cast<i128>(1) << (range.bits - 1)) - 1;
  i128 v = 0;
  switch (n.kind) {
    case Kind::Int:
      v = n.i;
      if (n.fromBool) {  // wraps to the width, never overflows
        const u128 mask = (static_cast<u128>(1) << range.bits) - 1;
        u128 bitsValue = static_cast<u128>(v) & mask;
        if (!range.isUnsigned && (bitsValue >> (range.bits - 1)) != 0) {
          v = static_cast<i128>(bitsValue) - (static_cast<i128>(1) << range.bits);
        } else {
          v = static_cast<i128>(bitsValue);
        }
      } else if (n.fromUint && range.bits == 32 && !range.isUnsigned) {
        v = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
      }
      break;
    case Kind::Real: {
      if (std::isnan(n.r)) return DISP_E_OVERFLOW;
      double r = std::nearbyint(n.r);  // the default rounding mode: ties to even
      const double lower = range.isUnsigned ? 0.0 : -std::ldexp(1.0, range.bits - 1);
      const double upper = std::ldexp(1.0, range.isUnsigned ? range.bits : range.bits - 1);
      if (!(r >= lower && r < upper)) return DISP_E_OVERFLOW;
      v = static_cast<i128>(r);
      break;
    }
    case Kind::Dec:
      if (!decToInteger(n.d, &v)) return DISP_E_OVERFLOW;
      break;
    case Kind::Text: {
      Dec128 d;
      if (!parsedToDec(n.text, &d) || !decToInteger(d, &v)) return DISP_E_OVERFLOW;
      break;
    }
  }
  if (v < lo || v > hi) return DISP_E_OVERFLOW;
  *out = v;
  return S_OK;
}

void storeInteger(VARIANT* out, VARTYPE vt, i128 v) {
  switch (vt) {
    case VT_I1: out->cVal = static_cast<CHAR>(static_cast<signed char>(v)); break;
    case VT_UI1: out->bVal = static_cast<BYTE>(v); break;
    case VT_I2: out->iVal = static_cast<SHORT>(v); break;
    case VT_UI2: out->uiVal = static_cast<USHORT>(v); break;
    case VT_I4: out->lVal = static_cast<LONG>(v); break;
    case VT_INT: out->intVal = static_cast<INT>(v); break;
    case VT_UI4: out->ulVal = static_cast<ULONG>(v); break;
    case VT_UINT: out->uintVal = static_cast<UINT>(v); break;
    case VT_I8: out->llVal = static_cast<LONGLONG>(v); break;
    default: out->ullVal = static_cast<ULONGLONG>(v); break;
  }
  out->vt = vt;
}

// ---- targets: reals, CY, DECIMAL, DATE -------------------------------------------

HRESULT toDouble(const Num& n, double* out) {
  switch (n.kind) {
    case Kind::Int: *out = static_cast<double>(n.i); return S_OK;
    case Kind::Real: *out = n.r; return S_OK;
    case Kind::Dec: *out = decToDouble(n.d); return S_OK;
    case Kind::Text: return parsedToDouble(n.text, out) ? S_OK : DISP_E_OVERFLOW;
  }
  return DISP_E_TYPEMISMATCH;
}

HRESULT toFloat(const Num& n, float* out) {
  if (n.kind == Kind::Text) return parsedToFloat(n.text, out) ? S_OK : DISP_E_OVERFLOW;
  if (n.kind == Kind::Int) {
    *out = static_cast<float>(n.i);
    return S_OK;
  }
  double d;
  HRESULT hr = toDouble(n, &d);
  if (FAILED(hr)) return hr;
  if (std::fabs(d) > FLT_MAX) return DISP_E_OVERFLOW;  // NaN passes, as a NaN
  *out = static_cast<float>(d);
  return S_OK;
}

HRESULT toDec(const Num& n, Dec128* out) {
  switch (n.kind) {
    case Kind::Int:
      out->neg = n.i < 0;
      out->mag = static_cast<u128>(n.i < 0 ? -n.i : n.i);
      out->scale = 0;
      return S_OK;
    case Kind::Real:
      return decFromDouble(n.r, n.realDigits, out) ? S_OK : DISP_E_OVERFLOW;
    case Kind::Dec:
      *out = n.d;
      return S_OK;
    case Kind::Text:
      return parsedToDec(n.text, out) ? S_OK : DISP_E_OVERFLOW;
  }
  return DISP_E_TYPEMISMATCH;
}

HRESULT toCurrency(const Num& n, LONGLONG* out) {
  i128 units;
  if (n.kind == Kind::Real) {
    if (std::isnan(n.r)) return DISP_E_OVERFLOW;
    double r = std::nearbyint(n.r * 10000.0);
    if (!(r >= -std::ldexp(1.0, 63) && r < std::ldexp(1.0, 63))) return DISP_E_OVERFLOW;
    *out = static_cast<LONGLONG>(r);
    return S_OK;
  }
  Dec128 d;
  HRESULT hr = toDec(n, &d);
  if (FAILED(hr)) return hr;
  if (d.scale < 4) {
    int up = 4 - d.scale;
    if (d.mag > kDecimalLimit) return DISP_E_OVERFLOW;
    d.mag *= pow10u(up);
    d.scale = 4;
  }
  d = decRoundToScale(d, 4);
  d.scale = 0;
  if (!decToInteger(d, &units)) return DISP_E_OVERFLOW;
  if (units < -(static_cast<i128>(1) << 63) || units > (static_cast<i128>(1) << 63) - 1) {
    return DISP_E_OVERFLOW;
  }
  *out = static_cast<LONGLONG>(units);
  return S_OK;
}

HRESULT toDate(const Num& n, DATE* out) {
  if (n.kind == Kind::Int) {
    if (n.i < -657434 || n.i > 2958465) return DISP_E_OVERFLOW;
    *out = static_cast<double>(n.i);
    return S_OK;
  }
  double d;
  HRESULT hr = toDouble(n, &d);
  if (FAILED(hr)) return hr;
  if (!(d > kMinDate - 1.0 && d < kMaxDateExclusive)) return DISP_E_OVERFLOW;
  *out = d;
  return S_OK;
}

// ---- targets: BOOL and BSTR --------------------------------------------------------

bool isZero(const Num& n) {
  switch (n.kind) {
    case Kind::Int: return n.i == 0;
    case Kind::Real: return n.r == 0.0;
    case Kind::Dec: return n.d.mag == 0;
    case Kind::Text: return n.text.digits.empty();
  }
  return true;
}

HRESULT putText(VARIANT* out, const std::string& text) {
  BSTR b = bstrFromAscii(text);
  if (b == nullptr) return E_OUTOFMEMORY;
  out->bstrVal = b;
  out->vt = VT_BSTR;
  return S_OK;
}

std::string integerText(i128 v) {
  char buf[48];
  int n = 0;
  bool neg = v < 0;
  u128 m = neg ? static_cast<u128>(-v) : static_cast<u128>(v);
  do {
    buf[n++] = static_cast<char>('0' + static_cast<int>(m % 10));
    m /= 10;
  } while (m != 0);
  std::string s = neg ? "-" : "";
  while (n > 0) s.push_back(buf[--n]);
  return s;
}

HRESULT scalarToBstr(VARIANT* out, const VARIANT& v, const CoerceOptions& opt) {
  switch (v.vt) {
    case VT_EMPTY:
      return putText(out, "");
    case VT_BOOL:
      if (opt.flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL)) {
        return putText(out, v.boolVal != 0 ? "True" : "False");
      }
      return putText(out, integerText(v.boolVal));
    case VT_R4:
      return putText(out, formatReal(v.fltVal, 7));
    case VT_R8:
      return putText(out, formatReal(v.dblVal, 15));
    case VT_DATE: {
      std::string text;
      if (!formatDate(v.date, opt.dateFlags, &text)) return E_INVALIDARG;
      return putText(out, text);
    }
    case VT_CY:
    case VT_DECIMAL: {
      Num n;
      HRESULT hr = numFrom(v, &n);
      if (FAILED(hr)) return hr;
      return putText(out, decToString(n.d));
    }
    default: {
      Num n;
      HRESULT hr = numFrom(v, &n);
      if (FAILED(hr)) return hr;
      return putText(out, integerText(n.i));
    }
  }
}

// ---- text sources --------------------------------------------------------------------

bool equalsIgnoreCase(const OLECHAR* s, std::size_t n, const char* word) {
  std::size_t len = std::strlen(word);
  if (n != len) return false;
  for (std::size_t i = 0; i < n; ++i) {
    OLECHAR c = s[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<OLECHAR>(c - u'A' + u'a');
    if (c != static_cast<OLECHAR>(word[i])) return false;
  }
  return true;
}

bool equalsExact(const OLECHAR* s, std::size_t n, const char* word) {
  std::size_t len = std::strlen(word);
  if (n != len) return false;
  for (std::size_t i = 0; i < n; ++i) {
    if (s[i] != static_cast<OLECHAR>(word[i])) return false;
  }
  return true;
}

// "True" / "False" in any case, "#TRUE#" / "#FALSE#" exactly, else a number
// tested for zero.
HRESULT textToBool(const OLECHAR* s, std::size_t n, VARIANT_BOOL* out) {
  if (s == nullptr) return DISP_E_TYPEMISMATCH;
  const OLECHAR* t = s;
  std::size_t len = n;
  while (len > 0 && (*t == u' ' || *t == u'\t')) ++t, --len;
  while (len > 0 && (t[len - 1] == u' ' || t[len - 1] == u'\t')) --len;
  if (equalsIgnoreCase(t, len, "true") || equalsExact(t, len, "#TRUE#")) {
    *out = VARIANT_TRUE;
    return S_OK;
  }
  if (equalsIgnoreCase(t, len, "false") || equalsExact(t, len, "#FALSE#")) {
    *out = VARIANT_FALSE;
    return S_OK;
  }
  Num num;
  HRESULT hr = numFromText(s, n, &num);
  if (FAILED(hr)) return hr;
  *out = isZero(num) ? VARIANT_FALSE : VARIANT_TRUE;
  return S_OK;
}

// Number targets from a Num.
HRESULT numberTo(VARIANT* out, const Num& n, VARTYPE vt) {
  switch (vt) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_INT:
    case VT_UINT: case VT_I8: case VT_UI8: {
      i128 v;
      HRESULT hr = toInteger(n, vt, &v);
      if (FAILED(hr)) return hr;
      storeInteger(out, vt, v);
      return S_OK;
    }
    case VT_R8: {
      double d;
      HRESULT hr = toDouble(n, &d);
      if (FAILED(hr)) return hr;
      out->dblVal = d;
      break;
    }
    case VT_R4: {
      float f;
      HRESULT hr = toFloat(n, &f);
      if (FAILED(hr)) return hr;
      out->fltVal = f;
      break;
    }
    case VT_CY: {
      LONGLONG c;
      HRESULT hr = toCurrency(n, &c);
      if (FAILED(hr)) return hr;
      out->cyVal.int64 = c;
      break;
    }
    case VT_DECIMAL: {
      Dec128 d;
      HRESULT hr = toDec(n, &d);
      if (FAILED(hr)) return hr;
      DECIMAL dec;
      if (!decToDecimal(d, &dec)) return DISP_E_OVERFLOW;
      out->decVal = dec;
      break;
    }
    case VT_DATE: {
      DATE d;
      HRESULT hr = toDate(n, &d);
      if (FAILED(hr)) return hr;
      out->date = d;
      break;
    }
    case VT_BOOL:
      out->boolVal = isZero(n) ? VARIANT_FALSE : VARIANT_TRUE;
      break;
    default:
      return DISP_E_TYPEMISMATCH;
  }
  out->vt = vt;
  return S_OK;
}

// ---- the coercion table -------------------------------------------------------------

HRESULT coerceAt(VARIANT* out, const VARIANT* src, const CoerceOptions& opt, VARTYPE vt,
                 int depth);

HRESULT fromDispatch(VARIANT* out, IDispatch* disp, const CoerceOptions& opt, VARTYPE vt,
                     int depth) {
  if ((opt.flags & VARIANT_NOVALUEPROP) || disp == nullptr || depth >= kMaxDispatchDepth) {
    return DISP_E_TYPEMISMATCH;
  }
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT value;
  VariantInit(&value);
  HRESULT hr = disp->Invoke(DISPID_VALUE, IID_NULL, opt.lcid, DISPATCH_PROPERTYGET, &none, &value,
                            nullptr, nullptr);
  if (FAILED(hr)) {
    VariantClear(&value);
    return DISP_E_TYPEMISMATCH;  // whatever the reason the object has no value
  }
  hr = coerceAt(out, &value, opt, vt, depth + 1);
  VariantClear(&value);
  return hr;
}

HRESULT coerceAt(VARIANT* out, const VARIANT* src, const CoerceOptions& opt, VARTYPE vt,
                 int depth) {
  std::memset(out, 0, sizeof(VARIANT));  // no stale bytes beside a narrow value
  if (!isValidVariantType(src->vt) || !isTargetType(vt)) return DISP_E_BADVARTYPE;
  VARIANT view;
  HRESULT hr = viewOf(src, &view);
  if (FAILED(hr)) return hr;
  const VARTYPE svt = view.vt;

  if ((svt & VT_ARRAY) || (vt & VT_ARRAY)) {
    if (svt != vt) return DISP_E_TYPEMISMATCH;
    SAFEARRAY* copy = nullptr;
    hr = SafeArrayCopy(view.parray, &copy);
    if (FAILED(hr)) return hr;
    out->parray = copy;
    out->vt = vt;
    return S_OK;
  }
  if (svt == VT_NULL) {
    if (vt != VT_NULL) return DISP_E_TYPEMISMATCH;
    out->vt = VT_NULL;
    return S_OK;
  }
  if (vt == VT_EMPTY || vt == VT_NULL) {
    out->vt = vt;
    return S_OK;
  }
  if (vt == VT_VARIANT || vt == VT_RECORD) return DISP_E_TYPEMISMATCH;

  switch (svt) {
    case VT_DISPATCH:
      if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
        if (view.pdispVal != nullptr) view.pdispVal->AddRef();
        out->pdispVal = view.pdispVal;
        out->vt = vt;
        return S_OK;
      }
      if (vt == VT_ERROR) return DISP_E_TYPEMISMATCH;
      return fromDispatch(out, view.pdispVal, opt, vt, depth);
    case VT_UNKNOWN:
      if (vt == VT_UNKNOWN) {
        if (view.punkVal != nullptr) view.punkVal->AddRef();
        out->punkVal = view.punkVal;
        out->vt = VT_UNKNOWN;
        return S_OK;
      }
      if (vt == VT_DISPATCH) {
        IDispatch* disp = nullptr;
        if (view.punkVal != nullptr &&
            FAILED(view.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&disp)))) {
          return DISP_E_TYPEMISMATCH;
        }
        out->pdispVal = disp;
        out->vt = VT_DISPATCH;
        return S_OK;
      }
      return DISP_E_TYPEMISMATCH;
    case VT_ERROR:
      if (vt != VT_ERROR) return DISP_E_TYPEMISMATCH;
      out->scode = view.scode;
      out->vt = VT_ERROR;
      return S_OK;
    case VT_RECORD:
      return DISP_E_TYPEMISMATCH;
    default:
      break;
  }
  if (vt == VT_DISPATCH || vt == VT_UNKNOWN || vt == VT_ERROR) return DISP_E_TYPEMISMATCH;
  if (svt == VT_BSTR) return coerceText(out, view.bstrVal, SysStringLen(view.bstrVal), opt, vt);
  if (vt == VT_BSTR) return scalarToBstr(out, view, opt);
  if (svt == vt && svt != VT_DECIMAL) {
    std::memcpy(out, &view, sizeof(VARIANT));
    return S_OK;
  }
  Num n;
  hr = numFrom(view, &n);
  if (FAILED(hr)) return hr;
  return numberTo(out, n, vt);
}

}  // namespace

HRESULT coerceText(VARIANT* out, const OLECHAR* text, std::size_t length,
                   const CoerceOptions& opt, VARTYPE vt) {
  (void)opt;
  std::memset(out, 0, sizeof(VARIANT));
  switch (vt) {
    case VT_BSTR: {
      if (text == nullptr) {
        out->bstrVal = nullptr;
      } else {
        out->bstrVal = bstrFromUtf16(text, length);
        if (out->bstrVal == nullptr) return E_OUTOFMEMORY;
      }
      out->vt = VT_BSTR;
      return S_OK;
    }
    case VT_DATE: {
      DATE d;
      if (parseDate(text, length, &d) != DateParse::Ok) return DISP_E_TYPEMISMATCH;
      out->date = d;
      out->vt = VT_DATE;
      return S_OK;
    }
    case VT_BOOL: {
      VARIANT_BOOL b;
      HRESULT hr = textToBool(text, length, &b);
      if (FAILED(hr)) return hr;
      out->boolVal = b;
      out->vt = VT_BOOL;
      return S_OK;
    }
    case VT_EMPTY:
    case VT_NULL:
      out->vt = vt;
      return S_OK;
    default: {
      Num n;
      HRESULT hr = numFromText(text, length, &n);
      if (FAILED(hr)) return hr;
      return numberTo(out, n, vt);
    }
  }
}

HRESULT coerce(VARIANT* out, const VARIANT* src, const CoerceOptions& opt, VARTYPE vt) {
  return coerceAt(out, src, opt, vt, 0);
}

}  // namespace mvcomm::ole::internal

// ---- entry points --------------------------------------------------------------------

WINOLEAUTAPI VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid,
                                 USHORT wFlags, VARTYPE vt) try {
  if (pvargDest == nullptr || pvarSrc == nullptr) return E_INVALIDARG;
  mvcomm::ole::internal::CoerceOptions opt;
  opt.lcid = lcid;
  opt.flags = wFlags;
  VARIANT result;
  HRESULT hr = mvcomm::ole::internal::coerce(&result, pvarSrc, opt, vt);
  if (FAILED(hr)) return hr;
  // Only now may the destination change; it may be the source itself.
  hr = VariantClear(pvargDest);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  std::memcpy(pvargDest, &result, sizeof(VARIANT));
  return S_OK;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

WINOLEAUTAPI VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                               VARTYPE vt) try {
  return VariantChangeTypeEx(pvargDest, pvarSrc, LOCALE_USER_DEFAULT, wFlags, vt);
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

// File: platform/ole/var_from.cpp
//
// The VarXxxFromYyy functions: each packs its input into a VARIANT and runs
// the same conversion as VariantChangeTypeEx, so the two never disagree
// (except VarBstrFromBool, which writes "True" / "False").
#include <cstring>

#include "platform/ole/internal/coerce.h"
#include "platform/ole/oleauto.h"

namespace {

using mvcomm::ole::internal::CoerceOptions;

// Copies the value of a VARIANT of type vt to out (a BSTR moves).
void unpack(const VARIANT& v, VARTYPE vt, void* out) {
  switch (vt) {
    case VT_I1: case VT_UI1: std::memcpy(out, &v.bVal, 1); break;
    case VT_I2: case VT_UI2: case VT_BOOL: std::memcpy(out, &v.iVal, 2); break;
    case VT_I4: case VT_UI4: case VT_R4: std::memcpy(out, &v.lVal, 4); break;
    case VT_DECIMAL: {
      DECIMAL d = v.decVal;
      d.wReserved = 0;
      std::memcpy(out, &d, sizeof d);
      break;
    }
    case VT_BSTR: std::memcpy(out, &v.bstrVal, sizeof(BSTR)); break;
    default: std::memcpy(out, &v.llVal, 8); break;
  }
}

HRESULT finish(HRESULT hr, VARIANT& result, VARTYPE vt, void* out) {
  if (SUCCEEDED(hr)) unpack(result, vt, out);
  return hr;
}

CoerceOptions options(LCID lcid, ULONG dwFlags, VARTYPE inVt, VARTYPE outVt) {
  CoerceOptions opt;
  opt.lcid = lcid;
  opt.dateFlags = dwFlags;
  // VarBstrFromBool spells booleans out, VariantChangeType only when asked.
  if (inVt == VT_BOOL && outVt == VT_BSTR) opt.flags = VARIANT_ALPHABOOL;
  return opt;
}

HRESULT fromScalar(VARTYPE inVt, const void* in, LCID lcid, ULONG dwFlags, VARTYPE outVt,
                   void* out) {
  if (out == nullptr || in == nullptr) return E_INVALIDARG;
  VARIANT src;
  std::memset(&src, 0, sizeof src);
  if (inVt == VT_DECIMAL) {
    std::memcpy(&src.decVal, in, sizeof(DECIMAL));
  } else {
    std::size_t size = (inVt == VT_I1 || inVt == VT_UI1) ? 1
                       : (inVt == VT_I2 || inVt == VT_UI2 || inVt == VT_BOOL) ? 2
                       : (inVt == VT_I4 || inVt == VT_UI4 || inVt == VT_R4) ? 4 : 8;
    std::memcpy(&src.llVal, in, size);
  }
  src.vt = inVt;
  VARIANT result;
  HRESULT hr = mvcomm::ole::internal::coerce(&result, &src, options(lcid, dwFlags, inVt, outVt),
                                             outVt);
  return finish(hr, result, outVt, out);
}

HRESULT fromText(LPCOLESTR text, LCID lcid, ULONG dwFlags, VARTYPE outVt, void* out) {
  if (out == nullptr) return E_INVALIDARG;
  std::size_t n = 0;
  if (text != nullptr) {
    while (text[n] != 0) ++n;
  }
  VARIANT result;
  HRESULT hr = mvcomm::ole::internal::coerceText(&result, text, n,
                                                 options(lcid, dwFlags, VT_BSTR, outVt), outVt);
  return finish(hr, result, outVt, out);
}

HRESULT fromDispatch(IDispatch* disp, LCID lcid, ULONG dwFlags, VARTYPE outVt, void* out) {
  if (out == nullptr) return E_INVALIDARG;
  VARIANT src;
  std::memset(&src, 0, sizeof src);
  src.vt = VT_DISPATCH;
  src.pdispVal = disp;
  VARIANT result;
  HRESULT hr = mvcomm::ole::internal::coerce(&result, &src,
                                             options(lcid, dwFlags, VT_DISPATCH, outVt), outVt);
  return finish(hr, result, outVt, out);
}

}  // namespace

// -> I1
WINOLEAUTAPI VarI1FromI2(SHORT in, CHAR* pOut) { return fromScalar(VT_I2, &in, LCID_EN_US, 0, VT_I1, pOut); }
WINOLEAUTAPI VarI1FromI4(LONG in, CHAR* pOut) { return fromScalar(VT_I4, &in, LCID_EN_US, 0, VT_I1, pOut); }
WINOLEAUTAPI VarI1FromI8(LONGLONG in, CHAR* pOut) { return fromScalar(VT_I8, &in, LCID_EN_US, 0, VT_I1, pOut); }
WINOLEAUTAPI VarI1FromUI1(BYTE in, CHAR* pOut) { return fromScalar(VT_UI1, &in, LCID_EN_US, 0, VT_I1, pOut); }
WINOLEAUTAPI VarI1FromUI2(USHORT in, CHAR* pOut) { return fromScalar(VT_UI2, &in, LCID_EN_US, 0, VT_I1, pOut); }
WINOLEAUTAPI VarI1FromUI4(ULONG in, CHAR* pOut) { return fromScalar(VT_UI4, &in, LCID_EN_US, 0, VT_I1, pOut); }
WINOLEAUTAPI VarI1FromUI8(ULONGLONG in, CHAR* pOut) { return fromScalar(VT_UI8, &in, LCID_EN_US, 0, VT_I1, pOut); }
WINOLEAUTAPI VarI1FromR4(FLOAT in, CHAR* pOut) { return fromScalar(VT_R4, &in, LCID_EN_US, 0, VT_I1, pOut); }
WINOLEAUTAPI VarI1FromR8(DOUBLE in, CHAR* pOut) { return fromScalar(VT_R8, &in, LCID_EN_US, 0, VT_I1, pOut); }
WINOLEAUTAPI VarI1FromDate(DATE in, CHAR* pOut) { return fromScalar(VT_DATE, &in, LCID_EN_US, 0, VT_I1, pOut); }
WINOLEAUTAPI VarI1FromCy(CY in, CHAR* pOut) { return fromScalar(VT_CY, &in, LCID_EN_US, 0, VT_I1, pOut); }
WINOLEAUTAPI VarI1FromDec(const DECIMAL* pdecIn, CHAR* pOut) { return fromScalar(VT_DECIMAL, pdecIn, LCID_EN_US, 0, VT_I1, pOut); }
WINOLEAUTAPI VarI1FromBool(VARIANT_BOOL in, CHAR* pOut) { return fromScalar(VT_BOOL, &in, LCID_EN_US, 0, VT_I1, pOut); }
WINOLEAUTAPI VarI1FromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, CHAR* pOut) { return fromText(strIn, lcid, dwFlags, VT_I1, pOut); }
WINOLEAUTAPI VarI1FromDisp(IDispatch* pdispIn, LCID lcid, CHAR* pOut) { return fromDispatch(pdispIn, lcid, 0, VT_I1, pOut); }
// -> I2
WINOLEAUTAPI VarI2FromI1(CHAR in, SHORT* pOut) { return fromScalar(VT_I1, &in, LCID_EN_US, 0, VT_I2, pOut); }
WINOLEAUTAPI VarI2FromI4(LONG in, SHORT* pOut) { return fromScalar(VT_I4, &in, LCID_EN_US, 0, VT_I2, pOut); }
WINOLEAUTAPI VarI2FromI8(LONGLONG in, SHORT* pOut) { return fromScalar(VT_I8, &in, LCID_EN_US, 0, VT_I2, pOut); }
WINOLEAUTAPI VarI2FromUI1(BYTE in, SHORT* pOut) { return fromScalar(VT_UI1, &in, LCID_EN_US, 0, VT_I2, pOut); }
WINOLEAUTAPI VarI2FromUI2(USHORT in, SHORT* pOut) { return fromScalar(VT_UI2, &in, LCID_EN_US, 0, VT_I2, pOut); }
WINOLEAUTAPI VarI2FromUI4(ULONG in, SHORT* pOut) { return fromScalar(VT_UI4, &in, LCID_EN_US, 0, VT_I2, pOut); }
WINOLEAUTAPI VarI2FromUI8(ULONGLONG in, SHORT* pOut) { return fromScalar(VT_UI8, &in, LCID_EN_US, 0, VT_I2, pOut); }
WINOLEAUTAPI VarI2FromR4(FLOAT in, SHORT* pOut) { return fromScalar(VT_R4, &in, LCID_EN_US, 0, VT_I2, pOut); }
WINOLEAUTAPI VarI2FromR8(DOUBLE in, SHORT* pOut) { return fromScalar(VT_R8, &in, LCID_EN_US, 0, VT_I2, pOut); }
WINOLEAUTAPI VarI2FromDate(DATE in, SHORT* pOut) { return fromScalar(VT_DATE, &in, LCID_EN_US, 0, VT_I2, pOut); }
WINOLEAUTAPI VarI2FromCy(CY in, SHORT* pOut) { return fromScalar(VT_CY, &in, LCID_EN_US, 0, VT_I2, pOut); }
WINOLEAUTAPI VarI2FromDec(const DECIMAL* pdecIn, SHORT* pOut) { return fromScalar(VT_DECIMAL, pdecIn, LCID_EN_US, 0, VT_I2, pOut); }
WINOLEAUTAPI VarI2FromBool(VARIANT_BOOL in, SHORT* pOut) { return fromScalar(VT_BOOL, &in, LCID_EN_US, 0, VT_I2, pOut); }
WINOLEAUTAPI VarI2FromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, SHORT* pOut) { return fromText(strIn, lcid, dwFlags, VT_I2, pOut); }
WINOLEAUTAPI VarI2FromDisp(IDispatch* pdispIn, LCID lcid, SHORT* pOut) { return fromDispatch(pdispIn, lcid, 0, VT_I2, pOut); }
// -> I4
WINOLEAUTAPI VarI4FromI1(CHAR in, LONG* pOut) { return fromScalar(VT_I1, &in, LCID_EN_US, 0, VT_I4, pOut); }
WINOLEAUTAPI VarI4FromI2(SHORT in, LONG* pOut) { return fromScalar(VT_I2, &in, LCID_EN_US, 0, VT_I4, pOut); }
WINOLEAUTAPI VarI4FromI8(LONGLONG in, LONG* pOut) { return fromScalar(VT_I8, &in, LCID_EN_US, 0, VT_I4, pOut); }
WINOLEAUTAPI VarI4FromUI1(BYTE in, LONG* pOut) { return fromScalar(VT_UI1, &in, LCID_EN_US, 0, VT_I4, pOut); }
WINOLEAUTAPI VarI4FromUI2(USHORT in, LONG* pOut) { return fromScalar(VT_UI2, &in, LCID_EN_US, 0, VT_I4, pOut); }
WINOLEAUTAPI VarI4FromUI4(ULONG in, LONG* pOut) { return fromScalar(VT_UI4, &in, LCID_EN_US, 0, VT_I4, pOut); }
WINOLEAUTAPI VarI4FromUI8(ULONGLONG in, LONG* pOut) { return fromScalar(VT_UI8, &in, LCID_EN_US, 0, VT_I4, pOut); }
WINOLEAUTAPI VarI4FromR4(FLOAT in, LONG* pOut) { return fromScalar(VT_R4, &in, LCID_EN_US, 0, VT_I4, pOut); }
WINOLEAUTAPI VarI4FromR8(DOUBLE in, LONG* pOut) { return fromScalar(VT_R8, &in, LCID_EN_US, 0, VT_I4, pOut); }
WINOLEAUTAPI VarI4FromDate(DATE in, LONG* pOut) { return fromScalar(VT_DATE, &in, LCID_EN_US, 0, VT_I4, pOut); }
WINOLEAUTAPI VarI4FromCy(CY in, LONG* pOut) { return fromScalar(VT_CY, &in, LCID_EN_US, 0, VT_I4, pOut); }
WINOLEAUTAPI VarI4FromDec(const DECIMAL* pdecIn, LONG* pOut) { return fromScalar(VT_DECIMAL, pdecIn, LCID_EN_US, 0, VT_I4, pOut); }
WINOLEAUTAPI VarI4FromBool(VARIANT_BOOL in, LONG* pOut) { return fromScalar(VT_BOOL, &in, LCID_EN_US, 0, VT_I4, pOut); }
WINOLEAUTAPI VarI4FromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, LONG* pOut) { return fromText(strIn, lcid, dwFlags, VT_I4, pOut); }
WINOLEAUTAPI VarI4FromDisp(IDispatch* pdispIn, LCID lcid, LONG* pOut) { return fromDispatch(pdispIn, lcid, 0, VT_I4, pOut); }
// -> I8
WINOLEAUTAPI VarI8FromI1(CHAR in, LONGLONG* pOut) { return fromScalar(VT_I1, &in, LCID_EN_US, 0, VT_I8, pOut); }
WINOLEAUTAPI VarI8FromI2(SHORT in, LONGLONG* pOut) { return fromScalar(VT_I2, &in, LCID_EN_US, 0, VT_I8, pOut); }
WINOLEAUTAPI VarI8FromI4(LONG in, LONGLONG* pOut) { return fromScalar(VT_I4, &in, LCID_EN_US, 0, VT_I8, pOut); }
WINOLEAUTAPI VarI8FromUI1(BYTE in, LONGLONG* pOut) { return fromScalar(VT_UI1, &in, LCID_EN_US, 0, VT_I8, pOut); }
WINOLEAUTAPI VarI8FromUI2(USHORT in, LONGLONG* pOut) { return fromScalar(VT_UI2, &in, LCID_EN_US, 0, VT_I8, pOut); }
WINOLEAUTAPI VarI8FromUI4(ULONG in, LONGLONG* pOut) { return fromScalar(VT_UI4, &in, LCID_EN_US, 0, VT_I8, pOut); }
WINOLEAUTAPI VarI8FromUI8(ULONGLONG in, LONGLONG* pOut) { return fromScalar(VT_UI8, &in, LCID_EN_US, 0, VT_I8, pOut); }
WINOLEAUTAPI VarI8FromR4(FLOAT in, LONGLONG* pOut) { return fromScalar(VT_R4, &in, LCID_EN_US, 0, VT_I8, pOut); }
WINOLEAUTAPI VarI8FromR8(DOUBLE in, LONGLONG* pOut) { return fromScalar(VT_R8, &in, LCID_EN_US, 0, VT_I8, pOut); }
WINOLEAUTAPI VarI8FromDate(DATE in, LONGLONG* pOut) { return fromScalar(VT_DATE, &in, LCID_EN_US, 0, VT_I8, pOut); }
WINOLEAUTAPI VarI8FromCy(CY in, LONGLONG* pOut) { return fromScalar(VT_CY, &in, LCID_EN_US, 0, VT_I8, pOut); }
WINOLEAUTAPI VarI8FromDec(const DECIMAL* pdecIn, LONGLONG* pOut) { return fromScalar(VT_DECIMAL, pdecIn, LCID_EN_US, 0, VT_I8, pOut); }
WINOLEAUTAPI VarI8FromBool(VARIANT_BOOL in, LONGLONG* pOut) { return fromScalar(VT_BOOL, &in, LCID_EN_US, 0, VT_I8, pOut); }
WINOLEAUTAPI VarI8FromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, LONGLONG* pOut) { return fromText(strIn, lcid, dwFlags, VT_I8, pOut); }
WINOLEAUTAPI VarI8FromDisp(IDispatch* pdispIn, LCID lcid, LONGLONG* pOut) { return fromDispatch(pdispIn, lcid, 0, VT_I8, pOut); }
// -> UI1
WINOLEAUTAPI VarUI1FromI1(CHAR in, BYTE* pOut) { return fromScalar(VT_I1, &in, LCID_EN_US, 0, VT_UI1, pOut); }
WINOLEAUTAPI VarUI1FromI2(SHORT in, BYTE* pOut) { return fromScalar(VT_I2, &in, LCID_EN_US, 0, VT_UI1, pOut); }
WINOLEAUTAPI VarUI1FromI4(LONG in, BYTE* pOut) { return fromScalar(VT_I4, &in, LCID_EN_US, 0, VT_UI1, pOut); }
WINOLEAUTAPI VarUI1FromI8(LONGLONG in, BYTE* pOut) { return fromScalar(VT_I8, &in, LCID_EN_US, 0, VT_UI1, pOut); }
WINOLEAUTAPI VarUI1FromUI2(USHORT in, BYTE* pOut) { return fromScalar(VT_UI2, &in, LCID_EN_US, 0, VT_UI1, pOut); }
WINOLEAUTAPI VarUI1FromUI4(ULONG in, BYTE* pOut) { return fromScalar(VT_UI4, &in, LCID_EN_US, 0, VT_UI1, pOut); }
WINOLEAUTAPI VarUI1FromUI8(ULONGLONG in, BYTE* pOut) { return fromScalar(VT_UI8, &in, LCID_EN_US, 0, VT_UI1, pOut); }
WINOLEAUTAPI VarUI1FromR4(FLOAT in, BYTE* pOut) { return fromScalar(VT_R4, &in, LCID_EN_US, 0, VT_UI1, pOut); }
WINOLEAUTAPI VarUI1FromR8(DOUBLE in, BYTE* pOut) { return fromScalar(VT_R8, &in, LCID_EN_US, 0, VT_UI1, pOut); }
WINOLEAUTAPI VarUI1FromDate(DATE in, BYTE* pOut) { return fromScalar(VT_DATE, &in, LCID_EN_US, 0, VT_UI1, pOut); }
WINOLEAUTAPI VarUI1FromCy(CY in, BYTE* pOut) { return fromScalar(VT_CY, &in, LCID_EN_US, 0, VT_UI1, pOut); }
WINOLEAUTAPI VarUI1FromDec(const DECIMAL* pdecIn, BYTE* pOut) { return fromScalar(VT_DECIMAL, pdecIn, LCID_EN_US, 0, VT_UI1, pOut); }
WINOLEAUTAPI VarUI1FromBool(VARIANT_BOOL in, BYTE* pOut) { return fromScalar(VT_BOOL, &in, LCID_EN_US, 0, VT_UI1, pOut); }
WINOLEAUTAPI VarUI1FromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, BYTE* pOut) { return fromText(strIn, lcid, dwFlags, VT_UI1, pOut); }
WINOLEAUTAPI VarUI1FromDisp(IDispatch* pdispIn, LCID lcid, BYTE* pOut) { return fromDispatch(pdispIn, lcid, 0, VT_UI1, pOut); }
// -> UI2
WINOLEAUTAPI VarUI2FromI1(CHAR in, USHORT* pOut) { return fromScalar(VT_I1, &in, LCID_EN_US, 0, VT_UI2, pOut); }
WINOLEAUTAPI VarUI2FromI2(SHORT in, USHORT* pOut) { return fromScalar(VT_I2, &in, LCID_EN_US, 0, VT_UI2, pOut); }
WINOLEAUTAPI VarUI2FromI4(LONG in, USHORT* pOut) { return fromScalar(VT_I4, &in, LCID_EN_US, 0, VT_UI2, pOut); }
WINOLEAUTAPI VarUI2FromI8(LONGLONG in, USHORT* pOut) { return fromScalar(VT_I8, &in, LCID_EN_US, 0, VT_UI2, pOut); }
WINOLEAUTAPI VarUI2FromUI1(BYTE in, USHORT* pOut) { return fromScalar(VT_UI1, &in, LCID_EN_US, 0, VT_UI2, pOut); }
WINOLEAUTAPI VarUI2FromUI4(ULONG in, USHORT* pOut) { return fromScalar(VT_UI4, &in, LCID_EN_US, 0, VT_UI2, pOut); }
WINOLEAUTAPI VarUI2FromUI8(ULONGLONG in, USHORT* pOut) { return fromScalar(VT_UI8, &in, LCID_EN_US, 0, VT_UI2, pOut); }
WINOLEAUTAPI VarUI2FromR4(FLOAT in, USHORT* pOut) { return fromScalar(VT_R4, &in, LCID_EN_US, 0, VT_UI2, pOut); }
WINOLEAUTAPI VarUI2FromR8(DOUBLE in, USHORT* pOut) { return fromScalar(VT_R8, &in, LCID_EN_US, 0, VT_UI2, pOut); }
WINOLEAUTAPI VarUI2FromDate(DATE in, USHORT* pOut) { return fromScalar(VT_DATE, &in, LCID_EN_US, 0, VT_UI2, pOut); }
WINOLEAUTAPI VarUI2FromCy(CY in, USHORT* pOut) { return fromScalar(VT_CY, &in, LCID_EN_US, 0, VT_UI2, pOut); }
WINOLEAUTAPI VarUI2FromDec(const DECIMAL* pdecIn, USHORT* pOut) { return fromScalar(VT_DECIMAL, pdecIn, LCID_EN_US, 0, VT_UI2, pOut); }
WINOLEAUTAPI VarUI2FromBool(VARIANT_BOOL in, USHORT* pOut) { return fromScalar(VT_BOOL, &in, LCID_EN_US, 0, VT_UI2, pOut); }
WINOLEAUTAPI VarUI2FromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, USHORT* pOut) { return fromText(strIn, lcid, dwFlags, VT_UI2, pOut); }
WINOLEAUTAPI VarUI2FromDisp(IDispatch* pdispIn, LCID lcid, USHORT* pOut) { return fromDispatch(pdispIn, lcid, 0, VT_UI2, pOut); }
// -> UI4
WINOLEAUTAPI VarUI4FromI1(CHAR in, ULONG* pOut) { return fromScalar(VT_I1, &in, LCID_EN_US, 0, VT_UI4, pOut); }
WINOLEAUTAPI VarUI4FromI2(SHORT in, ULONG* pOut) { return fromScalar(VT_I2, &in, LCID_EN_US, 0, VT_UI4, pOut); }
WINOLEAUTAPI VarUI4FromI4(LONG in, ULONG* pOut) { return fromScalar(VT_I4, &in, LCID_EN_US, 0, VT_UI4, pOut); }
WINOLEAUTAPI VarUI4FromI8(LONGLONG in, ULONG* pOut) { return fromScalar(VT_I8, &in, LCID_EN_US, 0, VT_UI4, pOut); }
WINOLEAUTAPI VarUI4FromUI1(BYTE in, ULONG* pOut) { return fromScalar(VT_UI1, &in, LCID_EN_US, 0, VT_UI4, pOut); }
WINOLEAUTAPI VarUI4FromUI2(USHORT in, ULONG* pOut) { return fromScalar(VT_UI2, &in, LCID_EN_US, 0, VT_UI4, pOut); }
WINOLEAUTAPI VarUI4FromUI8(ULONGLONG in, ULONG* pOut) { return fromScalar(VT_UI8, &in, LCID_EN_US, 0, VT_UI4, pOut); }
WINOLEAUTAPI VarUI4FromR4(FLOAT in, ULONG* pOut) { return fromScalar(VT_R4, &in, LCID_EN_US, 0, VT_UI4, pOut); }
WINOLEAUTAPI VarUI4FromR8(DOUBLE in, ULONG* pOut) { return fromScalar(VT_R8, &in, LCID_EN_US, 0, VT_UI4, pOut); }
WINOLEAUTAPI VarUI4FromDate(DATE in, ULONG* pOut) { return fromScalar(VT_DATE, &in, LCID_EN_US, 0, VT_UI4, pOut); }
WINOLEAUTAPI VarUI4FromCy(CY in, ULONG* pOut) { return fromScalar(VT_CY, &in, LCID_EN_US, 0, VT_UI4, pOut); }
WINOLEAUTAPI VarUI4FromDec(const DECIMAL* pdecIn, ULONG* pOut) { return fromScalar(VT_DECIMAL, pdecIn, LCID_EN_US, 0, VT_UI4, pOut); }
WINOLEAUTAPI VarUI4FromBool(VARIANT_BOOL in, ULONG* pOut) { return fromScalar(VT_BOOL, &in, LCID_EN_US, 0, VT_UI4, pOut); }
WINOLEAUTAPI VarUI4FromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, ULONG* pOut) { return fromText(strIn, lcid, dwFlags, VT_UI4, pOut); }
WINOLEAUTAPI VarUI4FromDisp(IDispatch* pdispIn, LCID lcid, ULONG* pOut) { return fromDispatch(pdispIn, lcid, 0, VT_UI4, pOut); }
// -> UI8
WINOLEAUTAPI VarUI8FromI1(CHAR in, ULONGLONG* pOut) { return fromScalar(VT_I1, &in, LCID_EN_US, 0, VT_UI8, pOut); }
WINOLEAUTAPI VarUI8FromI2(SHORT in, ULONGLONG* pOut) { return fromScalar(VT_I2, &in, LCID_EN_US, 0, VT_UI8, pOut); }
WINOLEAUTAPI VarUI8FromI4(LONG in, ULONGLONG* pOut) { return fromScalar(VT_I4, &in, LCID_EN_US, 0, VT_UI8, pOut); }
WINOLEAUTAPI VarUI8FromI8(LONGLONG in, ULONGLONG* pOut) { return fromScalar(VT_I8, &in, LCID_EN_US, 0, VT_UI8, pOut); }
WINOLEAUTAPI VarUI8FromUI1(BYTE in, ULONGLONG* pOut) { return fromScalar(VT_UI1, &in, LCID_EN_US, 0, VT_UI8, pOut); }
WINOLEAUTAPI VarUI8FromUI2(USHORT in, ULONGLONG* pOut) { return fromScalar(VT_UI2, &in, LCID_EN_US, 0, VT_UI8, pOut); }
WINOLEAUTAPI VarUI8FromUI4(ULONG in, ULONGLONG* pOut) { return fromScalar(VT_UI4, &in, LCID_EN_US, 0, VT_UI8, pOut); }
WINOLEAUTAPI VarUI8FromR4(FLOAT in, ULONGLONG* pOut) { return fromScalar(VT_R4, &in, LCID_EN_US, 0, VT_UI8, pOut); }
WINOLEAUTAPI VarUI8FromR8(DOUBLE in, ULONGLONG* pOut) { return fromScalar(VT_R8, &in, LCID_EN_US, 0, VT_UI8, pOut); }
WINOLEAUTAPI VarUI8FromDate(DATE in, ULONGLONG* pOut) { return fromScalar(VT_DATE, &in, LCID_EN_US, 0, VT_UI8, pOut); }
WINOLEAUTAPI VarUI8FromCy(CY in, ULONGLONG* pOut) { return fromScalar(VT_CY, &in, LCID_EN_US, 0, VT_UI8, pOut); }
WINOLEAUTAPI VarUI8FromDec(const DECIMAL* pdecIn, ULONGLONG* pOut) { return fromScalar(VT_DECIMAL, pdecIn, LCID_EN_US, 0, VT_UI8, pOut); }
WINOLEAUTAPI VarUI8FromBool(VARIANT_BOOL in, ULONGLONG* pOut) { return fromScalar(VT_BOOL, &in, LCID_EN_US, 0, VT_UI8, pOut); }
WINOLEAUTAPI VarUI8FromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, ULONGLONG* pOut) { return fromText(strIn, lcid, dwFlags, VT_UI8, pOut); }
WINOLEAUTAPI VarUI8FromDisp(IDispatch* pdispIn, LCID lcid, ULONGLONG* pOut) { return fromDispatch(pdispIn, lcid, 0, VT_UI8, pOut); }
// -> R4
WINOLEAUTAPI VarR4FromI1(CHAR in, FLOAT* pOut) { return fromScalar(VT_I1, &in, LCID_EN_US, 0, VT_R4, pOut); }
WINOLEAUTAPI VarR4FromI2(SHORT in, FLOAT* pOut) { return fromScalar(VT_I2, &in, LCID_EN_US, 0, VT_R4, pOut); }
WINOLEAUTAPI VarR4FromI4(LONG in, FLOAT* pOut) { return fromScalar(VT_I4, &in, LCID_EN_US, 0, VT_R4, pOut); }
WINOLEAUTAPI VarR4FromI8(LONGLONG in, FLOAT* pOut) { return fromScalar(VT_I8, &in, LCID_EN_US, 0, VT_R4, pOut); }
WINOLEAUTAPI VarR4FromUI1(BYTE in, FLOAT* pOut) { return fromScalar(VT_UI1, &in, LCID_EN_US, 0, VT_R4, pOut); }
WINOLEAUTAPI VarR4FromUI2(USHORT in, FLOAT* pOut) { return fromScalar(VT_UI2, &in, LCID_EN_US, 0, VT_R4, pOut); }
WINOLEAUTAPI VarR4FromUI4(ULONG in, FLOAT* pOut) { return fromScalar(VT_UI4, &in, LCID_EN_US, 0, VT_R4, pOut); }
WINOLEAUTAPI VarR4FromUI8(ULONGLONG in, FLOAT* pOut) { return fromScalar(VT_UI8, &in, LCID_EN_US, 0, VT_R4, pOut); }
WINOLEAUTAPI VarR4FromR8(DOUBLE in, FLOAT* pOut) { return fromScalar(VT_R8, &in, LCID_EN_US, 0, VT_R4, pOut); }
WINOLEAUTAPI VarR4FromDate(DATE in, FLOAT* pOut) { return fromScalar(VT_DATE, &in, LCID_EN_US, 0, VT_R4, pOut); }
WINOLEAUTAPI VarR4FromCy(CY in, FLOAT* pOut) { return fromScalar(VT_CY, &in, LCID_EN_US, 0, VT_R4, pOut); }
WINOLEAUTAPI VarR4FromDec(const DECIMAL* pdecIn, FLOAT* pOut) { return fromScalar(VT_DECIMAL, pdecIn, LCID_EN_US, 0, VT_R4, pOut); }
WINOLEAUTAPI VarR4FromBool(VARIANT_BOOL in, FLOAT* pOut) { return fromScalar(VT_BOOL, &in, LCID_EN_US, 0, VT_R4, pOut); }
WINOLEAUTAPI VarR4FromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, FLOAT* pOut) { return fromText(strIn, lcid, dwFlags, VT_R4, pOut); }
WINOLEAUTAPI VarR4FromDisp(IDispatch* pdispIn, LCID lcid, FLOAT* pOut) { return fromDispatch(pdispIn, lcid, 0, VT_R4, pOut); }
// -> R8
WINOLEAUTAPI VarR8FromI1(CHAR in, DOUBLE* pOut) { return fromScalar(VT_I1, &in, LCID_EN_US, 0, VT_R8, pOut); }
WINOLEAUTAPI VarR8FromI2(SHORT in, DOUBLE* pOut) { return fromScalar(VT_I2, &in, LCID_EN_US, 0, VT_R8, pOut); }
WINOLEAUTAPI VarR8FromI4(LONG in, DOUBLE* pOut) { return fromScalar(VT_I4, &in, LCID_EN_US, 0, VT_R8, pOut); }
WINOLEAUTAPI VarR8FromI8(LONGLONG in, DOUBLE* pOut) { return fromScalar(VT_I8, &in, LCID_EN_US, 0, VT_R8, pOut); }
WINOLEAUTAPI VarR8FromUI1(BYTE in, DOUBLE* pOut) { return fromScalar(VT_UI1, &in, LCID_EN_US, 0, VT_R8, pOut); }
WINOLEAUTAPI VarR8FromUI2(USHORT in, DOUBLE* pOut) { return fromScalar(VT_UI2, &in, LCID_EN_US, 0, VT_R8, pOut); }
WINOLEAUTAPI VarR8FromUI4(ULONG in, DOUBLE* pOut) { return fromScalar(VT_UI4, &in, LCID_EN_US, 0, VT_R8, pOut); }
WINOLEAUTAPI VarR8FromUI8(ULONGLONG in, DOUBLE* pOut) { return fromScalar(VT_UI8, &in, LCID_EN_US, 0, VT_R8, pOut); }
WINOLEAUTAPI VarR8FromR4(FLOAT in, DOUBLE* pOut) { return fromScalar(VT_R4, &in, LCID_EN_US, 0, VT_R8, pOut); }
WINOLEAUTAPI VarR8FromDate(DATE in, DOUBLE* pOut) { return fromScalar(VT_DATE, &in, LCID_EN_US, 0, VT_R8, pOut); }
WINOLEAUTAPI VarR8FromCy(CY in, DOUBLE* pOut) { return fromScalar(VT_CY, &in, LCID_EN_US, 0, VT_R8, pOut); }
WINOLEAUTAPI VarR8FromDec(const DECIMAL* pdecIn, DOUBLE* pOut) { return fromScalar(VT_DECIMAL, pdecIn, LCID_EN_US, 0, VT_R8, pOut); }
WINOLEAUTAPI VarR8FromBool(VARIANT_BOOL in, DOUBLE* pOut) { return fromScalar(VT_BOOL, &in, LCID_EN_US, 0, VT_R8, pOut); }
WINOLEAUTAPI VarR8FromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, DOUBLE* pOut) { return fromText(strIn, lcid, dwFlags, VT_R8, pOut); }
WINOLEAUTAPI VarR8FromDisp(IDispatch* pdispIn, LCID lcid, DOUBLE* pOut) { return fromDispatch(pdispIn, lcid, 0, VT_R8, pOut); }
// -> Date
WINOLEAUTAPI VarDateFromI1(CHAR in, DATE* pOut) { return fromScalar(VT_I1, &in, LCID_EN_US, 0, VT_DATE, pOut); }
WINOLEAUTAPI VarDateFromI2(SHORT in, DATE* pOut) { return fromScalar(VT_I2, &in, LCID_EN_US, 0, VT_DATE, pOut); }
WINOLEAUTAPI VarDateFromI4(LONG in, DATE* pOut) { return fromScalar(VT_I4, &in, LCID_EN_US, 0, VT_DATE, pOut); }
WINOLEAUTAPI VarDateFromI8(LONGLONG in, DATE* pOut) { return fromScalar(VT_I8, &in, LCID_EN_US, 0, VT_DATE, pOut); }
WINOLEAUTAPI VarDateFromUI1(BYTE in, DATE* pOut) { return fromScalar(VT_UI1, &in, LCID_EN_US, 0, VT_DATE, pOut); }
WINOLEAUTAPI VarDateFromUI2(USHORT in, DATE* pOut) { return fromScalar(VT_UI2, &in, LCID_EN_US, 0, VT_DATE, pOut); }
WINOLEAUTAPI VarDateFromUI4(ULONG in, DATE* pOut) { return fromScalar(VT_UI4, &in, LCID_EN_US, 0, VT_DATE, pOut); }
WINOLEAUTAPI VarDateFromUI8(ULONGLONG in, DATE* pOut) { return fromScalar(VT_UI8, &in, LCID_EN_US, 0, VT_DATE, pOut); }
WINOLEAUTAPI VarDateFromR4(FLOAT in, DATE* pOut) { return fromScalar(VT_R4, &in, LCID_EN_US, 0, VT_DATE, pOut); }
WINOLEAUTAPI VarDateFromR8(DOUBLE in, DATE* pOut) { return fromScalar(VT_R8, &in, LCID_EN_US, 0, VT_DATE, pOut); }
WINOLEAUTAPI VarDateFromCy(CY in, DATE* pOut) { return fromScalar(VT_CY, &in, LCID_EN_US, 0, VT_DATE, pOut); }
WINOLEAUTAPI VarDateFromDec(const DECIMAL* pdecIn, DATE* pOut) { return fromScalar(VT_DECIMAL, pdecIn, LCID_EN_US, 0, VT_DATE, pOut); }
WINOLEAUTAPI VarDateFromBool(VARIANT_BOOL in, DATE* pOut) { return fromScalar(VT_BOOL, &in, LCID_EN_US, 0, VT_DATE, pOut); }
WINOLEAUTAPI VarDateFromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, DATE* pOut) { return fromText(strIn, lcid, dwFlags, VT_DATE, pOut); }
WINOLEAUTAPI VarDateFromDisp(IDispatch* pdispIn, LCID lcid, DATE* pOut) { return fromDispatch(pdispIn, lcid, 0, VT_DATE, pOut); }
// -> Cy
WINOLEAUTAPI VarCyFromI1(CHAR in, CY* pOut) { return fromScalar(VT_I1, &in, LCID_EN_US, 0, VT_CY, pOut); }
WINOLEAUTAPI VarCyFromI2(SHORT in, CY* pOut) { return fromScalar(VT_I2, &in, LCID_EN_US, 0, VT_CY, pOut); }
WINOLEAUTAPI VarCyFromI4(LONG in, CY* pOut) { return fromScalar(VT_I4, &in, LCID_EN_US, 0, VT_CY, pOut); }
WINOLEAUTAPI VarCyFromI8(LONGLONG in, CY* pOut) { return fromScalar(VT_I8, &in, LCID_EN_US, 0, VT_CY, pOut); }
WINOLEAUTAPI VarCyFromUI1(BYTE in, CY* pOut) { return fromScalar(VT_UI1, &in, LCID_EN_US, 0, VT_CY, pOut); }
WINOLEAUTAPI VarCyFromUI2(USHORT in, CY* pOut) { return fromScalar(VT_UI2, &in, LCID_EN_US, 0, VT_CY, pOut); }
WINOLEAUTAPI VarCyFromUI4(ULONG in, CY* pOut) { return fromScalar(VT_UI4, &in, LCID_EN_US, 0, VT_CY, pOut); }
WINOLEAUTAPI VarCyFromUI8(ULONGLONG in, CY* pOut) { return fromScalar(VT_UI8, &in, LCID_EN_US, 0, VT_CY, pOut); }
WINOLEAUTAPI VarCyFromR4(FLOAT in, CY* pOut) { return fromScalar(VT_R4, &in, LCID_EN_US, 0, VT_CY, pOut); }
WINOLEAUTAPI VarCyFromR8(DOUBLE in, CY* pOut) { return fromScalar(VT_R8, &in, LCID_EN_US, 0, VT_CY, pOut); }
WINOLEAUTAPI VarCyFromDate(DATE in, CY* pOut) { return fromScalar(VT_DATE, &in, LCID_EN_US, 0, VT_CY, pOut); }
WINOLEAUTAPI VarCyFromDec(const DECIMAL* pdecIn, CY* pOut) { return fromScalar(VT_DECIMAL, pdecIn, LCID_EN_US, 0, VT_CY, pOut); }
WINOLEAUTAPI VarCyFromBool(VARIANT_BOOL in, CY* pOut) { return fromScalar(VT_BOOL, &in, LCID_EN_US, 0, VT_CY, pOut); }
WINOLEAUTAPI VarCyFromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, CY* pOut) { return fromText(strIn, lcid, dwFlags, VT_CY, pOut); }
WINOLEAUTAPI VarCyFromDisp(IDispatch* pdispIn, LCID lcid, CY* pOut) { return fromDispatch(pdispIn, lcid, 0, VT_CY, pOut); }
// -> Dec
WINOLEAUTAPI VarDecFromI1(CHAR in, DECIMAL* pOut) { return fromScalar(VT_I1, &in, LCID_EN_US, 0, VT_DECIMAL, pOut); }
WINOLEAUTAPI VarDecFromI2(SHORT in, DECIMAL* pOut) { return fromScalar(VT_I2, &in, LCID_EN_US, 0, VT_DECIMAL, pOut); }
WINOLEAUTAPI VarDecFromI4(LONG in, DECIMAL* pOut) { return fromScalar(VT_I4, &in, LCID_EN_US, 0, VT_DECIMAL, pOut); }
WINOLEAUTAPI VarDecFromI8(LONGLONG in, DECIMAL* pOut) { return fromScalar(VT_I8, &in, LCID_EN_US, 0, VT_DECIMAL, pOut); }
WINOLEAUTAPI VarDecFromUI1(BYTE in, DECIMAL* pOut) { return fromScalar(VT_UI1, &in, LCID_EN_US, 0, VT_DECIMAL, pOut); }
WINOLEAUTAPI VarDecFromUI2(USHORT in, DECIMAL* pOut) { return fromScalar(VT_UI2, &in, LCID_EN_US, 0, VT_DECIMAL, pOut); }
WINOLEAUTAPI VarDecFromUI4(ULONG in, DECIMAL* pOut) { return fromScalar(VT_UI4, &in, LCID_EN_US, 0, VT_DECIMAL, pOut); }
WINOLEAUTAPI VarDecFromUI8(ULONGLONG in, DECIMAL* pOut) { return fromScalar(VT_UI8, &in, LCID_EN_US, 0, VT_DECIMAL, pOut); }
WINOLEAUTAPI VarDecFromR4(FLOAT in, DECIMAL* pOut) { return fromScalar(VT_R4, &in, LCID_EN_US, 0, VT_DECIMAL, pOut); }
WINOLEAUTAPI VarDecFromR8(DOUBLE in, DECIMAL* pOut) { return fromScalar(VT_R8, &in, LCID_EN_US, 0, VT_DECIMAL, pOut); }
WINOLEAUTAPI VarDecFromDate(DATE in, DECIMAL* pOut) { return fromScalar(VT_DATE, &in, LCID_EN_US, 0, VT_DECIMAL, pOut); }
WINOLEAUTAPI VarDecFromCy(CY in, DECIMAL* pOut) { return fromScalar(VT_CY, &in, LCID_EN_US, 0, VT_DECIMAL, pOut); }
WINOLEAUTAPI VarDecFromBool(VARIANT_BOOL in, DECIMAL* pOut) { return fromScalar(VT_BOOL, &in, LCID_EN_US, 0, VT_DECIMAL, pOut); }
WINOLEAUTAPI VarDecFromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, DECIMAL* pOut) { return fromText(strIn, lcid, dwFlags, VT_DECIMAL, pOut); }
WINOLEAUTAPI VarDecFromDisp(IDispatch* pdispIn, LCID lcid, DECIMAL* pOut) { return fromDispatch(pdispIn, lcid, 0, VT_DECIMAL, pOut); }
// -> Bool
WINOLEAUTAPI VarBoolFromI1(CHAR in, VARIANT_BOOL* pOut) { return fromScalar(VT_I1, &in, LCID_EN_US, 0, VT_BOOL, pOut); }
WINOLEAUTAPI VarBoolFromI2(SHORT in, VARIANT_BOOL* pOut) { return fromScalar(VT_I2, &in, LCID_EN_US, 0, VT_BOOL, pOut); }
WINOLEAUTAPI VarBoolFromI4(LONG in, VARIANT_BOOL* pOut) { return fromScalar(VT_I4, &in, LCID_EN_US, 0, VT_BOOL, pOut); }
WINOLEAUTAPI VarBoolFromI8(LONGLONG in, VARIANT_BOOL* pOut) { return fromScalar(VT_I8, &in, LCID_EN_US, 0, VT_BOOL, pOut); }
WINOLEAUTAPI VarBoolFromUI1(BYTE in, VARIANT_BOOL* pOut) { return fromScalar(VT_UI1, &in, LCID_EN_US, 0, VT_BOOL, pOut); }
WINOLEAUTAPI VarBoolFromUI2(USHORT in, VARIANT_BOOL* pOut) { return fromScalar(VT_UI2, &in, LCID_EN_US, 0, VT_BOOL, pOut); }
WINOLEAUTAPI VarBoolFromUI4(ULONG in, VARIANT_BOOL* pOut) { return fromScalar(VT_UI4, &in, LCID_EN_US, 0, VT_BOOL, pOut); }
WINOLEAUTAPI VarBoolFromUI8(ULONGLONG in, VARIANT_BOOL* pOut) { return fromScalar(VT_UI8, &in, LCID_EN_US, 0, VT_BOOL, pOut); }
WINOLEAUTAPI VarBoolFromR4(FLOAT in, VARIANT_BOOL* pOut) { return fromScalar(VT_R4, &in, LCID_EN_US, 0, VT_BOOL, pOut); }
WINOLEAUTAPI VarBoolFromR8(DOUBLE in, VARIANT_BOOL* pOut) { return fromScalar(VT_R8, &in, LCID_EN_US, 0, VT_BOOL, pOut); }
WINOLEAUTAPI VarBoolFromDate(DATE in, VARIANT_BOOL* pOut) { return fromScalar(VT_DATE, &in, LCID_EN_US, 0, VT_BOOL, pOut); }
WINOLEAUTAPI VarBoolFromCy(CY in, VARIANT_BOOL* pOut) { return fromScalar(VT_CY, &in, LCID_EN_US, 0, VT_BOOL, pOut); }
WINOLEAUTAPI VarBoolFromDec(const DECIMAL* pdecIn, VARIANT_BOOL* pOut) { return fromScalar(VT_DECIMAL, pdecIn, LCID_EN_US, 0, VT_BOOL, pOut); }
WINOLEAUTAPI VarBoolFromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, VARIANT_BOOL* pOut) { return fromText(strIn, lcid, dwFlags, VT_BOOL, pOut); }
WINOLEAUTAPI VarBoolFromDisp(IDispatch* pdispIn, LCID lcid, VARIANT_BOOL* pOut) { return fromDispatch(pdispIn, lcid, 0, VT_BOOL, pOut); }
// -> Bstr
WINOLEAUTAPI VarBstrFromI1(CHAR in, LCID lcid, ULONG dwFlags, BSTR* pbstrOut) { return fromScalar(VT_I1, &in, lcid, dwFlags, VT_BSTR, pbstrOut); }
WINOLEAUTAPI VarBstrFromI2(SHORT in, LCID lcid, ULONG dwFlags, BSTR* pbstrOut) { return fromScalar(VT_I2, &in, lcid, dwFlags, VT_BSTR, pbstrOut); }
WINOLEAUTAPI VarBstrFromI4(LONG in, LCID lcid, ULONG dwFlags, BSTR* pbstrOut) { return fromScalar(VT_I4, &in, lcid, dwFlags, VT_BSTR, pbstrOut); }
WINOLEAUTAPI VarBstrFromI8(LONGLONG in, LCID lcid, ULONG dwFlags, BSTR* pbstrOut) { return fromScalar(VT_I8, &in, lcid, dwFlags, VT_BSTR, pbstrOut); }
WINOLEAUTAPI VarBstrFromUI1(BYTE in, LCID lcid, ULONG dwFlags, BSTR* pbstrOut) { return fromScalar(VT_UI1, &in, lcid, dwFlags, VT_BSTR, pbstrOut); }
WINOLEAUTAPI VarBstrFromUI2(USHORT in, LCID lcid, ULONG dwFlags, BSTR* pbstrOut) { return fromScalar(VT_UI2, &in, lcid, dwFlags, VT_BSTR, pbstrOut); }
WINOLEAUTAPI VarBstrFromUI4(ULONG in, LCID lcid, ULONG dwFlags, BSTR* pbstrOut) { return fromScalar(VT_UI4, &in, lcid, dwFlags, VT_BSTR, pbstrOut); }
WINOLEAUTAPI VarBstrFromUI8(ULONGLONG in, LCID lcid, ULONG dwFlags, BSTR* pbstrOut) { return fromScalar(VT_UI8, &in, lcid, dwFlags, VT_BSTR, pbstrOut); }
WINOLEAUTAPI VarBstrFromR4(FLOAT in, LCID lcid, ULONG dwFlags, BSTR* pbstrOut) { return fromScalar(VT_R4, &in, lcid, dwFlags, VT_BSTR, pbstrOut); }
WINOLEAUTAPI VarBstrFromR8(DOUBLE in, LCID lcid, ULONG dwFlags, BSTR* pbstrOut) { return fromScalar(VT_R8, &in, lcid, dwFlags, VT_BSTR, pbstrOut); }
WINOLEAUTAPI VarBstrFromDate(DATE in, LCID lcid, ULONG dwFlags, BSTR* pbstrOut) { return fromScalar(VT_DATE, &in, lcid, dwFlags, VT_BSTR, pbstrOut); }
WINOLEAUTAPI VarBstrFromCy(CY in, LCID lcid, ULONG dwFlags, BSTR* pbstrOut) { return fromScalar(VT_CY, &in, lcid, dwFlags, VT_BSTR, pbstrOut); }
WINOLEAUTAPI VarBstrFromDec(const DECIMAL* pdecIn, LCID lcid, ULONG dwFlags, BSTR* pbstrOut) { return fromScalar(VT_DECIMAL, pdecIn, lcid, dwFlags, VT_BSTR, pbstrOut); }
WINOLEAUTAPI VarBstrFromBool(VARIANT_BOOL in, LCID lcid, ULONG dwFlags, BSTR* pbstrOut) { return fromScalar(VT_BOOL, &in, lcid, dwFlags, VT_BSTR, pbstrOut); }
WINOLEAUTAPI VarBstrFromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, BSTR* pbstrOut) { return fromText(strIn, lcid, dwFlags, VT_BSTR, pbstrOut); }
WINOLEAUTAPI VarBstrFromDisp(IDispatch* pdispIn, LCID lcid, ULONG dwFlags, BSTR* pbstrOut) { return fromDispatch(pdispIn, lcid, dwFlags, VT_BSTR, pbstrOut); }

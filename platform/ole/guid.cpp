// File: platform/ole/guid.cpp
//
// The well-known IIDs, GUID comparison and the braced text form
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#include <cstring>

#include "platform/no_throw.h"
#include "platform/ole/oleauto.h"

EXTERN_C const IID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
EXTERN_C const GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
EXTERN_C const CLSID CLSID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
EXTERN_C const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000,
                                   {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
EXTERN_C const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000,
                                        {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
EXTERN_C const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000,
                                    {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
EXTERN_C const IID IID_ITypeInfo = {0x00020401, 0x0000, 0x0000,
                                    {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
EXTERN_C const IID IID_ITypeLib = {0x00020402, 0x0000, 0x0000,
                                   {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
EXTERN_C const IID IID_ITypeComp = {0x00020403, 0x0000, 0x0000,
                                    {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
EXTERN_C const IID IID_IObjectControl = {0x51372AEC, 0xCAE7, 0x11CF,
                                         {0xBE, 0x81, 0x00, 0xAA, 0x00, 0xA2, 0xFA, 0x25}};

namespace {

constexpr int kGuidChars = 38;  // without the NUL

void putHex(OLECHAR* out, unsigned long value, int digits) {
  static const char kHex[] = "0123456789ABCDEF";
  for (int i = digits - 1; i >= 0; --i) {
    out[i] = static_cast<OLECHAR>(kHex[value & 0xF]);
    value >>= 4;
  }
}

void format(const GUID& g, OLECHAR* out) {
  out[0] = u'{';
  putHex(out + 1, g.Data1, 8);
  out[9] = u'-';
  putHex(out + 10, g.Data2, 4);
  out[14] = u'-';
  putHex(out + 15, g.Data3, 4);
  out[19] = u'-';
  putHex(out + 20, g.Data4[0], 2);
  putHex(out + 22, g.Data4[1], 2);
  out[24] = u'-';
  for (int i = 0; i < 6; ++i) putHex(out + 25 + 2 * i, g.Data4[2 + i], 2);
  out[37] = u'}';
  out[38] = 0;
}

int hexValue(OLECHAR c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Reads `digits` hex digits at text[pos]; false on anything else.
bool readHex(const OLECHAR* text, int pos, int digits, unsigned long* value) {
  unsigned long v = 0;
  for (int i = 0; i < digits; ++i) {
    int d = hexValue(text[pos + i]);
    if (d < 0) return false;
    v = (v << 4) | static_cast<unsigned long>(d);
  }
  *value = v;
  return true;
}

// Strict braced form, hex digits of either case; stops at the first fault,
// so it never reads past a NUL.
bool parse(const OLECHAR* text, GUID* out) {
  if (text == nullptr) return false;
  for (int i = 0; i < kGuidChars; ++i) {
    if (text[i] == 0) return false;
  }
  if (text[kGuidChars] != 0) return false;
  if (text[0] != u'{' || text[9] != u'-' || text[14] != u'-' || text[19] != u'-' ||
      text[24] != u'-' || text[37] != u'}') {
    return false;
  }
  unsigned long v;
  GUID g;
  if (!readHex(text, 1, 8, &v)) return false;
  g.Data1 = static_cast<ULONG>(v);
  if (!readHex(text, 10, 4, &v)) return false;
  g.Data2 = static_cast<USHORT>(v);
  if (!readHex(text, 15, 4, &v)) return false;
  g.Data3 = static_cast<USHORT>(v);
  static const int kBytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!readHex(text, kBytePos[i], 2, &v)) return false;
    g.Data4[i] = static_cast<BYTE>(v);
  }
  *out = g;
  return true;
}

}  // namespace

STDAPI_(BOOL) IsEqualGUID(REFGUID rguid1, REFGUID rguid2) {
  return std::memcmp(&rguid1, &rguid2, sizeof(GUID)) == 0 ? TRUE : FALSE;
}

STDAPI_(int) StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
  if (lpsz == nullptr || cchMax < kGuidChars + 1) return 0;
  format(rguid, lpsz);
  return kGuidChars + 1;
}

STDAPI StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz) try {
  if (lplpsz == nullptr) return E_INVALIDARG;
  auto* text = static_cast<LPOLESTR>(CoTaskMemAlloc((kGuidChars + 1) * sizeof(OLECHAR)));
  *lplpsz = text;
  if (text == nullptr) return E_OUTOFMEMORY;
  format(rclsid, text);
  return S_OK;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

STDAPI StringFromIID(REFIID rclsid, LPOLESTR* lplpsz) { return StringFromCLSID(rclsid, lplpsz); }

// A null string is refused rather than read as CLSID_NULL, so a missing value
// cannot pass for a class id.
STDAPI CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) try {
  if (pclsid == nullptr) return E_INVALIDARG;
  if (!parse(lpsz, pclsid)) {
    *pclsid = CLSID_NULL;
    return CO_E_CLASSSTRING;
  }
  return S_OK;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

STDAPI IIDFromString(LPCOLESTR lpsz, LPIID lpiid) try {
  if (lpiid == nullptr) return E_INVALIDARG;
  if (!parse(lpsz, lpiid)) {
    *lpiid = IID_NULL;
    return E_INVALIDARG;
  }
  return S_OK;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

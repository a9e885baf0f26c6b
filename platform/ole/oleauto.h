// File: platform/ole/oleauto.h
//
// The automation functions: BSTR, VARIANT and VariantChangeType, SAFEARRAY,
// DATE and DECIMAL conversions, GUID text, task memory, and (implemented in
// platform/ole/typelib) type library loading and registration. C linkage and
// Windows names, signatures and constants throughout, so the same calls work
// from C++, C or a foreign-function interface.
//
// Locales: every LCID parameter accepts en-US (0x0409), LOCALE_USER_DEFAULT,
// LOCALE_SYSTEM_DEFAULT, LOCALE_NEUTRAL and LOCALE_INVARIANT, and reads all of
// them as en-US with no user overrides (M/D/YYYY, '.' decimal, ',' thousands).
//
// Sections: BSTR; VARIANT; SAFEARRAY; DATE; GUIDs and task memory; type libraries.
#pragma once

#include "platform/ole/oaidl.h"
#include "platform/ole/unknwn.h"
#include "platform/ole/winerror.h"
#include "platform/ole/wtypes.h"

// ---- BSTR ----------------------------------------------------------------
// Null for a null psz, or when the allocation fails.
WINOLEAUTAPI_(BSTR) SysAllocString(const OLECHAR* psz);
// ui characters copied from strIn, or left uninitialised when strIn is null.
WINOLEAUTAPI_(BSTR) SysAllocStringLen(const OLECHAR* strIn, UINT ui);
// len bytes copied from psz (or uninitialised when psz is null); the length
// may be odd. Followed by a 2-byte NUL.
WINOLEAUTAPI_(BSTR) SysAllocStringByteLen(LPCSTR psz, UINT len);
// TRUE on success; FALSE leaves *pbstr as it was. psz may point into *pbstr.
WINOLEAUTAPI_(INT) SysReAllocString(BSTR* pbstr, const OLECHAR* psz);
WINOLEAUTAPI_(INT) SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len);
// No-op for null.
WINOLEAUTAPI_(void) SysFreeString(BSTR bstrString);
// Characters (byte count / 2); 0 for null.
WINOLEAUTAPI_(UINT) SysStringLen(BSTR pbstr);
WINOLEAUTAPI_(UINT) SysStringByteLen(BSTR bstr);

// ---- VARIANT -------------------------------------------------------------
WINOLEAUTAPI_(void) VariantInit(VARIANTARG* pvarg);
// Frees a BSTR, destroys a SAFEARRAY, Releases an interface, then sets
// VT_EMPTY. BYREF variants free nothing. DISP_E_BADVARTYPE for an invalid vt
// (left untouched); E_INVALIDARG for null.
WINOLEAUTAPI VariantClear(VARIANTARG* pvarg);
// Clears pvargDest, then deep-copies: a new BSTR, a copied SAFEARRAY, an
// AddRef'd interface; BYREF is copied as the reference. E_OUTOFMEMORY leaves
// pvargDest VT_EMPTY; DISP_E_BADVARTYPE for an invalid source vt.
WINOLEAUTAPI VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);
// Like VariantCopy, but a BYREF source is copied as the value it refers to.
WINOLEAUTAPI VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc);
// Converts pvarSrc (BYREF sources dereferenced) to vt into pvargDest, which
// may be pvarSrc. Errors: DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW,
// DISP_E_BADVARTYPE, E_OUTOFMEMORY, E_INVALIDARG; on any failure pvargDest is
// untouched. wFlags: VARIANT_NOVALUEPROP, VARIANT_ALPHABOOL.
WINOLEAUTAPI VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc,
                               USHORT wFlags, VARTYPE vt);
// As VariantChangeType in locale lcid (see the locale note above); other
// locales read as en-US too.
WINOLEAUTAPI VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid,
                                 USHORT wFlags, VARTYPE vt);

// ---- SAFEARRAY -----------------------------------------------------------
// rgsabound[0] is dimension 1 (indices[0], fastest varying). Null for an
// element type that cannot be stored (VT_EMPTY, VT_NULL...), 0 dimensions,
// data past 2 GiB, or a failed allocation.
WINOLEAUTAPI_(SAFEARRAY*) SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound);
WINOLEAUTAPI_(SAFEARRAY*) SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
// S_OK for null; DISP_E_ARRAYISLOCKED for a locked array. Frees the
// elements (BSTRs, VARIANTs, interfaces) and the array.
WINOLEAUTAPI SafeArrayDestroy(SAFEARRAY* psa);
WINOLEAUTAPI SafeArrayAllocDescriptor(UINT cDims, SAFEARRAY** ppsaOut);
WINOLEAUTAPI SafeArrayAllocDescriptorEx(VARTYPE vt, UINT cDims, SAFEARRAY** ppsaOut);
WINOLEAUTAPI SafeArrayAllocData(SAFEARRAY* psa);
WINOLEAUTAPI SafeArrayDestroyDescriptor(SAFEARRAY* psa);
WINOLEAUTAPI SafeArrayDestroyData(SAFEARRAY* psa);
WINOLEAUTAPI_(UINT) SafeArrayGetDim(SAFEARRAY* psa);
WINOLEAUTAPI_(UINT) SafeArrayGetElemsize(SAFEARRAY* psa);
// nDim is 1-based; DISP_E_BADINDEX for 0 or > cDims.
WINOLEAUTAPI SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
WINOLEAUTAPI SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
WINOLEAUTAPI SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
WINOLEAUTAPI SafeArrayGetIID(SAFEARRAY* psa, GUID* pguid);
WINOLEAUTAPI SafeArraySetIID(SAFEARRAY* psa, REFGUID guid);
// Lock (AccessData also returns pvData); E_UNEXPECTED past 65535 locks or
// when unlocking an unlocked array.
WINOLEAUTAPI SafeArrayLock(SAFEARRAY* psa);
WINOLEAUTAPI SafeArrayUnlock(SAFEARRAY* psa);
WINOLEAUTAPI SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
WINOLEAUTAPI SafeArrayUnaccessData(SAFEARRAY* psa);
// rgIndices[k-1] is the index in dimension k. GetElement writes a copy (a
// new BSTR, a VariantCopy, an AddRef'd interface) into pv without clearing
// it; PutElement stores a copy of pv (for BSTR arrays pv is the BSTR, for
// VARIANT arrays a VARIANT*, for interface arrays the pointer).
// DISP_E_BADINDEX, E_INVALIDARG, E_OUTOFMEMORY.
WINOLEAUTAPI SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
WINOLEAUTAPI SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
WINOLEAUTAPI SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData);
// Replaces the bound of the last dimension (rgsabound[0] of the descriptor,
// the slowest varying), keeping the data; growth is zeroed, removed elements
// are freed. DISP_E_ARRAYISLOCKED, E_INVALIDARG, E_OUTOFMEMORY.
WINOLEAUTAPI SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* psaboundNew);
// Deep copy; *ppsaOut is null for a null psa.
WINOLEAUTAPI SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);
// Deep-copies the elements of psaSource into psaTarget of the same shape.
WINOLEAUTAPI SafeArrayCopyData(SAFEARRAY* psaSource, SAFEARRAY* psaTarget);

// ---- DATE ----------------------------------------------------------------
// Valid DATEs run from -657434.0 (0100-01-01) to 2958465.99999 (9999-12-31
// 23:59:59); the absolute value of the fraction is the time of day.
// E_INVALIDARG outside the range.
WINOLEAUTAPI VarUdateFromDate(DATE dateIn, ULONG dwFlags, UDATE* pudateOut);
// Out-of-range fields are carried (month 13 is January of the next year).
WINOLEAUTAPI VarDateFromUdate(UDATE* pudateIn, ULONG dwFlags, DATE* pdateOut);
// TRUE on success, FALSE for a date outside the range.
WINOLEAUTAPI_(INT) VariantTimeToSystemTime(DOUBLE vtime, LPSYSTEMTIME lpSystemTime);
WINOLEAUTAPI_(INT) SystemTimeToVariantTime(LPSYSTEMTIME lpSystemTime, DOUBLE* pvtime);

#include "platform/ole/var_from.h"

// ---- GUIDs and task memory -----------------------------------------------
// Null when the allocation fails; a size of 0 still gives a block to free.
STDAPI_(LPVOID) CoTaskMemAlloc(SIZE_T cb);
STDAPI_(LPVOID) CoTaskMemRealloc(LPVOID pv, SIZE_T cb);
// No-op for null.
STDAPI_(void) CoTaskMemFree(LPVOID pv);
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, in a CoTaskMemAlloc
// block the caller frees with CoTaskMemFree. E_OUTOFMEMORY, E_INVALIDARG.
STDAPI StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz);
STDAPI StringFromIID(REFIID rclsid, LPOLESTR* lplpsz);
// Characters written, the NUL included (39), or 0 when cchMax is too small.
STDAPI_(int) StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
// Parses the braced form. CO_E_CLASSSTRING (CLSID) / E_INVALIDARG (IID) for
// malformed text; *pclsid is set to all zeros then.
STDAPI CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);
STDAPI IIDFromString(LPCOLESTR lpsz, LPIID lpiid);
STDAPI_(BOOL) IsEqualGUID(REFGUID rguid1, REFGUID rguid2);
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)

// ---- type libraries (implemented in platform/ole/typelib) ----------------
WINOLEAUTAPI LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib);
WINOLEAUTAPI LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                            ITypeLib** pptlib);
WINOLEAUTAPI RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir);
WINOLEAUTAPI UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                               SYSKIND syskind);

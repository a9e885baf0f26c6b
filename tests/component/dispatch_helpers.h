// File: tests/component/dispatch_helpers.h
//
// Late-bound calls the way script clients make them: the name through
// GetIDsOfNames, then Invoke with VARIANT arguments (last argument first).
#pragma once

#include <initializer_list>
#include <vector>

#include "component/imvcomm.h"
#include "platform/ole/oleauto.h"

namespace mvcomm::component::testing {

inline HRESULT dispidOf(IDispatch* d, const char16_t* name, DISPID* id) {
  LPOLESTR n = const_cast<LPOLESTR>(name);
  return d->GetIDsOfNames(IID_NULL, &n, 1, 0x0409, id);
}

// Invokes `name` with `args` in client order; the VARIANTs are the caller's.
inline HRESULT invoke(IDispatch* d, const char16_t* name, WORD flags, std::vector<VARIANT> args,
                      VARIANT* result, EXCEPINFO* exception = nullptr) {
  DISPID id = 0;
  HRESULT hr = dispidOf(d, name, &id);
  if (hr < 0) return hr;
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if (flags & DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  EXCEPINFO info{};
  UINT argErr = 0;
  return d->Invoke(id, IID_NULL, 0x0409, flags, &params, result,
                   exception != nullptr ? exception : &info, &argErr);
}

inline VARIANT i4(LONG v) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_I4;
  x.lVal = v;
  return x;
}
inline VARIANT i2(SHORT v) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_I2;
  x.iVal = v;
  return x;
}
inline VARIANT date(DATE v) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_DATE;
  x.date = v;
  return x;
}
// Borrows `b`: the caller keeps and frees it.
inline VARIANT bstr(BSTR b) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_BSTR;
  x.bstrVal = b;
  return x;
}

}  // namespace mvcomm::component::testing

// File: tools/mvcomm-dispatch/late_bound.h
//
// Calls by name on an IDispatch: each name is resolved once with
// GetIDsOfNames and kept, then every get, put and call is one Invoke.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>

#include "platform/ole/oaidl.h"
#include "platform/ole/oleauto.h"

namespace mvcomm::dispatch {

// The outcome of one late-bound call.
struct CallStatus {
  HRESULT hr = S_OK;     // what GetIDsOfNames or Invoke returned
  HRESULT scode = S_OK;  // with DISP_E_EXCEPTION: the member's own failure
  UINT argErr = 0;       // with DISP_E_TYPEMISMATCH / DISP_E_PARAMNOTFOUND: rgvarg index
  bool ok() const { return SUCCEEDED(hr); }
  // "0x80020009 DISP_E_EXCEPTION, member failed: 0xFFFFDFF7 (-8201)" and the like.
  std::string describe() const;
};

class LateBound {
 public:
  // Holds its own reference on object (null allowed: every call then fails
  // with E_POINTER).
  explicit LateBound(IDispatch* object);
  ~LateBound();
  LateBound(const LateBound&) = delete;
  LateBound& operator=(const LateBound&) = delete;

  // Names are ASCII, matched ignoring case by the object. *result is
  // cleared first and owned by the caller afterwards.
  CallStatus get(std::string_view name, VARIANT* result);
  CallStatus put(std::string_view name, const VARIANT& value);
  // args in the order written (reversed for Invoke here); result may be null.
  CallStatus call(std::string_view name, std::span<const VARIANT> args, VARIANT* result);

  // Typed conveniences for C++ callers. On failure the out value is left as is.
  CallStatus getLong(std::string_view name, std::int32_t* value);
  CallStatus getText(std::string_view name, std::string* value);
  CallStatus getDate(std::string_view name, DATE* value);

  IDispatch* object() const { return object_; }

 private:
  CallStatus dispidOf(std::string_view name, DISPID* id);
  CallStatus invoke(std::string_view name, WORD flags, DISPPARAMS* params, VARIANT* result);

  IDispatch* object_;
  std::map<std::string, DISPID> ids_;  // lower-case name -> DISPID
};

// UTF-8 <-> BSTR. The BSTR is the caller's to free; null when allocation fails.
BSTR utf8ToBstr(std::string_view text);
std::string bstrToUtf8(BSTR text);

}  // namespace mvcomm::dispatch

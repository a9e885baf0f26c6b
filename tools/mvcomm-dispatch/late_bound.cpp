// File: tools/mvcomm-dispatch/late_bound.cpp
#include "tools/mvcomm-dispatch/late_bound.h"

#include <cctype>
#include <vector>

#include "platform/ole/typelib/text16.h"
#include "tools/mvcomm-dispatch/hresult_name.h"

namespace mvcomm::dispatch {

std::string CallStatus::describe() const {
  std::string text = describeHresult(hr);
  if (hr == DISP_E_EXCEPTION) text += ", member failed: " + describeHresult(scode);
  return text;
}

LateBound::LateBound(IDispatch* object) : object_(object) {
  if (object_ != nullptr) object_->AddRef();
}

LateBound::~LateBound() {
  if (object_ != nullptr) object_->Release();
}

CallStatus LateBound::dispidOf(std::string_view name, DISPID* id) {
  std::string key(name);
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (auto it = ids_.find(key); it != ids_.end()) {
    *id = it->second;
    return {};
  }
  std::u16string wide = typelib::Utf8ToUtf16(name);
  LPOLESTR names[1] = {wide.data()};
  CallStatus status;
  status.hr = object_->GetIDsOfNames(IID_NULL, names, 1, 0x0409, id);
  if (status.ok()) ids_.emplace(std::move(key), *id);
  return status;
}

CallStatus LateBound::invoke(std::string_view name, WORD flags, DISPPARAMS* params,
                             VARIANT* result) {
  if (object_ == nullptr) return {E_POINTER};
  DISPID id = DISPID_UNKNOWN;
  CallStatus status = dispidOf(name, &id);
  if (!status.ok()) return status;
  EXCEPINFO info{};
  status.hr = object_->Invoke(id, IID_NULL, 0x0409, flags, params, result, &info, &status.argErr);
  if (status.hr == DISP_E_EXCEPTION) {
    if (info.pfnDeferredFillIn != nullptr) info.pfnDeferredFillIn(&info);
    status.scode = info.scode != 0 ? info.scode : static_cast<HRESULT>(info.wCode);
  }
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);
  return status;
}

CallStatus LateBound::get(std::string_view name, VARIANT* result) {
  VariantClear(result);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  return invoke(name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, result);
}

CallStatus LateBound::put(std::string_view name, const VARIANT& value) {
  VARIANT arg = value;  // shallow: Invoke only reads its arguments
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{&arg, &named, 1, 1};
  return invoke(name, DISPATCH_PROPERTYPUT, &params, nullptr);
}

CallStatus LateBound::call(std::string_view name, std::span<const VARIANT> args,
                           VARIANT* result) {
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());  // shallow copies
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  VARIANT ignored;
  VariantInit(&ignored);
  VARIANT* out = result != nullptr ? result : &ignored;
  if (result != nullptr) VariantClear(result);
  CallStatus status = invoke(name, DISPATCH_METHOD, &params, out);
  VariantClear(&ignored);
  return status;
}

CallStatus LateBound::getLong(std::string_view name, std::int32_t* value) {
  VARIANT v;
  VariantInit(&v);
  CallStatus status = get(name, &v);
  if (status.ok()) {
    status.hr = VariantChangeType(&v, &v, 0, VT_I4);
    if (SUCCEEDED(status.hr)) *value = v.lVal;
  }
  VariantClear(&v);
  return status;
}

CallStatus LateBound::getText(std::string_view name, std::string* value) {
  VARIANT v;
  VariantInit(&v);
  CallStatus status = get(name, &v);
  if (status.ok()) {
    status.hr = VariantChangeType(&v, &v, 0, VT_BSTR);
    if (SUCCEEDED(status.hr)) *value = bstrToUtf8(v.bstrVal);
  }
  VariantClear(&v);
  return status;
}

CallStatus LateBound::getDate(std::string_view name, DATE* value) {
  VARIANT v;
  VariantInit(&v);
  CallStatus status = get(name, &v);
  if (status.ok()) {
    status.hr = VariantChangeType(&v, &v, 0, VT_DATE);
    if (SUCCEEDED(status.hr)) *value = v.date;
  }
  VariantClear(&v);
  return status;
}

BSTR utf8ToBstr(std::string_view text) {
  std::u16string wide = typelib::Utf8ToUtf16(text);
  return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

std::string bstrToUtf8(BSTR text) {
  if (text == nullptr) return {};
  return typelib::Utf16ToUtf8(std::u16string_view(text, SysStringLen(text)));
}

}  // namespace mvcomm::dispatch

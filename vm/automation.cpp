// File: vm/automation.cpp
//
// The VM automation interface of an object: a reflective IDispatch over the
// object's instance variables (dispatch identifiers from kFirstVariableId)
// and functions (from kFirstFunctionId), late bound by name. Arguments are
// coerced with VariantChangeType to the VARIANT type of the declared VM type
// code, then stored into VM values; results come back the same way. Array
// types (18, 20) do not cross here: the array marshaller handles those.

#include <cmath>
#include <string>
#include <vector>

#include "platform/ole/code_page.h"
#include "platform/ole/oleauto.h"
#include "vm/internal/calendar.h"
#include "vm/internal/products.h"
#include "vm/vm_api.h"

namespace mvcomm::vm::internal {
namespace {

constexpr DISPID kFirstVariableId = 1;
constexpr DISPID kFirstFunctionId = 0x1000;

// ---- text ------------------------------------------------------------------------
// VM text is in the process's narrow code page, as the converters keep it.
std::string narrow(const OLECHAR* s, size_t n) {
  std::string out(n * ole::maxNarrowBytesPerUnit(), '\0');
  out.resize(ole::wideToNarrow(s, n, out.data(), out.size()));
  return out;
}

std::u16string wide(const std::string& s) {
  std::u16string out(s.size() + 1, u'\0');
  out.resize(ole::narrowToWide(s.data(), s.size(), out.data()));
  return out;
}

size_t wideLength(const OLECHAR* s) {
  size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

// ---- values <-> VARIANTs --------------------------------------------------------
VARTYPE variantTypeOf(int32_t code) {
  switch (code) {
    case kTypeCharacter: return VT_UI1;
    case kTypeWord4: return VT_I4;
    case kTypeWord5: return VT_UI4;
    case kTypeInteger: return VT_I2;
    case kTypeUnsignedInteger: return VT_UI2;
    case kTypeLong: return VT_I4;
    case kTypeUnsignedLong: return VT_UI4;
    case kTypeDecimal: return VT_R8;
    case kTypeReal: return VT_R4;
    case kTypeDouble: return VT_R8;
    case kTypeBoolean: return VT_BOOL;
    case kTypeDate:
    case kTypeTime:
    case kTypeDateTime: return VT_DATE;
    case kTypeString: return VT_BSTR;
    case kTypeObject: return VT_DISPATCH;
    default: return VT_EMPTY;
  }
}

// Fills `value` (of its own type code) from `source`. A failed coercion
// returns its HRESULT; a value the VM cannot hold DISP_E_OVERFLOW.
HRESULT fromVariant(ValueImpl& value, const VARIANT* source) {
  VARTYPE vt = variantTypeOf(value.type());
  if (vt == VT_EMPTY) return DISP_E_TYPEMISMATCH;
  VARIANT tmp;
  VariantInit(&tmp);
  HRESULT hr = VariantChangeType(&tmp, source, 0, vt);
  if (FAILED(hr)) return hr;
  int32_t st = kVmOk;
  switch (value.type()) {
    case kTypeCharacter: st = value.setCharacter(V_UI1(&tmp)); break;
    case kTypeWord4: st = value.setWord4(V_I4(&tmp)); break;
    case kTypeWord5: st = value.setWord5(V_UI4(&tmp)); break;
    case kTypeInteger: st = value.setInteger(V_I2(&tmp)); break;
    case kTypeUnsignedInteger: st = value.setUnsignedInteger(V_UI2(&tmp)); break;
    case kTypeLong: st = value.setLong(V_I4(&tmp)); break;
    case kTypeUnsignedLong: st = value.setUnsignedLong(V_UI4(&tmp)); break;
    case kTypeReal: st = value.setReal(V_R4(&tmp)); break;
    case kTypeDouble: st = value.setDouble(V_R8(&tmp)); break;
    case kTypeBoolean: st = value.setBoolean(V_BOOL(&tmp) != 0 ? 1 : 0); break;
    case kTypeDecimal: {
      DecimalImpl* d = new (std::nothrow) DecimalImpl(0.0);
      st = d == nullptr ? kVmErrNoMemory : d->fromDouble(V_R8(&tmp));
      if (st >= 0) st = value.setDecimal(d);
      if (d) d->Release();
      break;
    }
    case kTypeDate:
    case kTypeTime:
    case kTypeDateTime: {
      double dt = V_DATE(&tmp);
      double whole = std::trunc(dt);
      double seconds = std::trunc(std::fabs(dt - whole) * 86400.0 + 0.0000005);
      int64_t day = static_cast<int64_t>(whole) - 1;
      if (!isValidDayNumber(day) || seconds >= kSecondsPerDay) {
        st = kVmErrOutOfRange;
        break;
      }
      if (value.type() == kTypeDate) {
        DateImpl* d = new (std::nothrow) DateImpl(static_cast<int32_t>(day));
        st = d == nullptr ? kVmErrNoMemory : value.setDate(d);
        if (d) d->Release();
      } else if (value.type() == kTypeTime) {
        TimeImpl* t = new (std::nothrow) TimeImpl(static_cast<int32_t>(seconds));
        st = t == nullptr ? kVmErrNoMemory : value.setTime(t);
        if (t) t->Release();
      } else {
        DateTimeImpl* d =
            new (std::nothrow) DateTimeImpl(static_cast<int32_t>(day), static_cast<int32_t>(seconds));
        st = d == nullptr ? kVmErrNoMemory : value.setDateTime(d);
        if (d) d->Release();
      }
      break;
    }
    case kTypeString: {
      BSTR b = V_BSTR(&tmp);
      StringImpl* s = nullptr;
      try {
        s = new (std::nothrow) StringImpl(b ? narrow(b, SysStringLen(b)) : std::string());
      } catch (const std::bad_alloc&) {
        s = nullptr;
      }
      st = s == nullptr ? kVmErrNoMemory : value.setString(s);
      if (s) s->Release();
      break;
    }
    case kTypeObject: {
      IVMObject* o = nullptr;
      IDispatch* d = V_DISPATCH(&tmp);
      if (d == nullptr) {
        st = value.setNull();
      } else if (FAILED(d->QueryInterface(IID_IVMObject, reinterpret_cast<void**>(&o)))) {
        st = kVmErrTypeMismatch;
      } else {
        st = value.setReference(o);
        o->Release();
      }
      break;
    }
  }
  VariantClear(&tmp);
  if (st == kVmErrNoMemory) return E_OUTOFMEMORY;
  return st < 0 ? DISP_E_OVERFLOW : S_OK;
}

// Writes `value` into `out` (cleared first). A null value gives VT_NULL.
HRESULT toVariant(ValueImpl& value, VARIANT* out) {
  VARIANT v;
  VariantInit(&v);
  if (value.null()) {
    V_VT(&v) = VT_NULL;
  } else {
    int64_t n = value.integral();
    switch (value.type()) {
      case kTypeCharacter: V_VT(&v) = VT_UI1; V_UI1(&v) = static_cast<BYTE>(n); break;
      case kTypeWord4:
      case kTypeLong: V_VT(&v) = VT_I4; V_I4(&v) = static_cast<LONG>(n); break;
      case kTypeWord5:
      case kTypeUnsignedLong: V_VT(&v) = VT_UI4; V_UI4(&v) = static_cast<ULONG>(n); break;
      case kTypeInteger: V_VT(&v) = VT_I2; V_I2(&v) = static_cast<SHORT>(n); break;
      case kTypeUnsignedInteger: V_VT(&v) = VT_UI2; V_UI2(&v) = static_cast<USHORT>(n); break;
      case kTypeDecimal:
      case kTypeDouble: V_VT(&v) = VT_R8; V_R8(&v) = value.floating(); break;
      case kTypeReal: V_VT(&v) = VT_R4; V_R4(&v) = static_cast<float>(value.floating()); break;
      case kTypeBoolean: V_VT(&v) = VT_BOOL; V_BOOL(&v) = n != 0 ? VARIANT_TRUE : VARIANT_FALSE; break;
      case kTypeDate: V_VT(&v) = VT_DATE; V_DATE(&v) = static_cast<double>(n + 1); break;
      case kTypeTime: V_VT(&v) = VT_DATE; V_DATE(&v) = static_cast<double>(n) / 86400.0; break;
      case kTypeDateTime: {
        int64_t day = civil::floorDiv(n, kSecondsPerDay);
        int64_t secs = n - day * kSecondsPerDay;
        V_VT(&v) = VT_DATE;
        V_DATE(&v) = static_cast<double>(day + 1) + static_cast<double>(secs) / 86400.0;
        break;
      }
      case kTypeString: {
        std::u16string w;
        try {
          w = wide(value.text());
        } catch (const std::bad_alloc&) {
          return E_OUTOFMEMORY;
        }
        BSTR b = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
        if (b == nullptr) return E_OUTOFMEMORY;
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = b;
        break;
      }
      case kTypeObject: {
        void* d = nullptr;
        auto* o = impl<ObjectImpl>(value.reference());
        HRESULT hr = o ? makeAutomation(o, &d) : DISP_E_TYPEMISMATCH;
        if (FAILED(hr)) return hr;
        V_VT(&v) = VT_DISPATCH;
        V_DISPATCH(&v) = static_cast<IDispatch*>(static_cast<IVMAutomation*>(d));
        break;
      }
      default:
        return DISP_E_TYPEMISMATCH;
    }
  }
  VariantClear(out);
  *out = v;
  return S_OK;
}

HRESULT vmFailure(int32_t status, EXCEPINFO* excep) {
  if (status == kVmErrNoMemory) return E_OUTOFMEMORY;
  if (excep != nullptr) {
    *excep = EXCEPINFO{};
    excep->scode = status;
  }
  return DISP_E_EXCEPTION;
}

class AutomationImpl final : public Product<IVMAutomation, ProductKind::Automation> {
 public:
  explicit AutomationImpl(ObjectImpl* o) : object_(o) { object_->AddRef(); }
  ~AutomationImpl() override { object_->Release(); }

  HRESULT GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_INVALIDARG;
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return DISP_E_BADINDEX;  // no type information: late binding by name only
  }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excep, UINT* argErr) override;

 protected:
  const IID& ownIid() const override { return IID_IVMAutomation; }
  HRESULT queryMore(REFIID iid, void** out) override {
    if (iid == IID_IDispatch) {
      AddRef();
      *out = static_cast<IDispatch*>(this);
      return S_OK;
    }
    // Back from the dispatch side to the object, so an object reference that
    // went out as an IDispatch comes back as the same VM object.
    if (iid == IID_IVMObject || iid == IID_IVMObjectHandle) return object_->QueryInterface(iid, out);
    return E_NOINTERFACE;
  }

 private:
  HRESULT invokeVariable(const VariableDef& var, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* excep, UINT* argErr);
  HRESULT invokeFunction(const FunctionDef& fn, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* excep, UINT* argErr);

  ObjectImpl* object_;  // one reference held
};

HRESULT AutomationImpl::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  if (names[0] == nullptr) return DISP_E_UNKNOWNNAME;
  std::string member;
  try {
    member = narrow(names[0], wideLength(names[0]));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  const ClassDef* cls = object_->cls();
  for (int32_t v = 0; v < cls->variableCount; ++v) {
    if (sameName(cls->variables[v].name, member.c_str())) ids[0] = kFirstVariableId + v;
  }
  for (int32_t f = 0; ids[0] == DISPID_UNKNOWN && f < cls->functionCount; ++f) {
    if (sameName(cls->functions[f].name, member.c_str())) ids[0] = kFirstFunctionId + f;
  }
  // Parameters have no names here.
  return ids[0] == DISPID_UNKNOWN || count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
}

HRESULT AutomationImpl::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                               VARIANT* result, EXCEPINFO* excep, UINT* argErr) {
  if (params == nullptr || (params->cArgs > 0 && params->rgvarg == nullptr) ||
      (params->cNamedArgs > 0 && params->rgdispidNamedArgs == nullptr) ||
      params->cNamedArgs > params->cArgs) {
    return E_INVALIDARG;
  }
  if (int32_t st = injected(Op::AutomationInvoke)) return st;
  const ClassDef* cls = object_->cls();
  if (id >= kFirstVariableId && id < kFirstVariableId + cls->variableCount) {
    return invokeVariable(cls->variables[id - kFirstVariableId], flags, params, result, excep, argErr);
  }
  if (id >= kFirstFunctionId && id < kFirstFunctionId + cls->functionCount) {
    return invokeFunction(cls->functions[id - kFirstFunctionId], flags, params, result, excep, argErr);
  }
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT AutomationImpl::invokeVariable(const VariableDef& var, WORD flags, DISPPARAMS* params,
                                       VARIANT* result, EXCEPINFO* excep, UINT* argErr) {
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    if (params->cNamedArgs != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
      return DISP_E_PARAMNOTFOUND;
    }
    if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
    if (var.set == nullptr) return DISP_E_MEMBERNOTFOUND;
    auto* value = new (std::nothrow) ValueImpl(var.typeCode);
    if (value == nullptr) return E_OUTOFMEMORY;
    HRESULT hr = fromVariant(*value, &params->rgvarg[0]);
    if (FAILED(hr)) {
      if (argErr != nullptr) *argErr = 0;
    } else if (int32_t st = object_->writeVariable(var, *value); st < 0) {
      hr = vmFailure(st, excep);
    }
    value->Release();
    return hr;
  }
  if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
  if (params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
  ValueImpl* value = nullptr;
  if (int32_t st = object_->readVariable(var, &value); st < 0) return vmFailure(st, excep);
  HRESULT hr = result != nullptr ? toVariant(*value, result) : S_OK;
  value->Release();
  return hr;
}

HRESULT AutomationImpl::invokeFunction(const FunctionDef& fn, WORD flags, DISPPARAMS* params,
                                       VARIANT* result, EXCEPINFO* excep, UINT* argErr) {
  if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  if (params->cArgs != static_cast<UINT>(fn.paramCount)) return DISP_E_BADPARAMCOUNT;
  std::vector<IVMValue*> values;
  try {
    values.assign(params->cArgs, nullptr);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  HRESULT hr = S_OK;
  for (UINT i = 0; i < params->cArgs && SUCCEEDED(hr); ++i) {
    auto* value = new (std::nothrow) ValueImpl(fn.paramTypes[i]);
    if (value == nullptr) {
      hr = E_OUTOFMEMORY;
      break;
    }
    values[i] = value;
    // Automation passes the last argument first.
    UINT at = params->cArgs - 1 - i;
    hr = fromVariant(*value, &params->rgvarg[at]);
    if (FAILED(hr) && argErr != nullptr) *argErr = at;
  }
  if (SUCCEEDED(hr)) {
    ValueImpl* r = nullptr;
    int32_t st = object_->runFunction(fn, values.data(), static_cast<int32_t>(values.size()), &r);
    if (st < 0) {
      hr = vmFailure(st, excep);
    } else if (r != nullptr) {
      if (result != nullptr) hr = toVariant(*r, result);
      r->Release();
    } else if (result != nullptr) {
      VariantClear(result);
    }
  }
  for (IVMValue* v : values) {
    if (v != nullptr) v->Release();
  }
  return hr;
}

}  // namespace

HRESULT makeAutomation(ObjectImpl* object, void** out) {
  *out = nullptr;
  auto* a = new (std::nothrow) AutomationImpl(object);
  if (a == nullptr) return E_OUTOFMEMORY;
  *out = static_cast<IVMAutomation*>(a);
  return S_OK;
}

}  // namespace mvcomm::vm::internal

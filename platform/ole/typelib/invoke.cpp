// File: platform/ole/typelib/invoke.cpp
//
// Late binding: ITypeInfo::Invoke turns a DISPPARAMS call into a call of the
// interface's virtual-table slot through libffi, so a late-bound call runs the
// very code an early-bound client would. Calls are planned once per function
// (types, counts, the ffi call interface) when the library is loaded.
//
// Order of checks, as automation clients expect them: bad DISPPARAMS
// (E_INVALIDARG), unknown or restricted member (DISP_E_MEMBERNOTFOUND), the
// put's named argument (DISP_E_PARAMNOTFOUND), argument counts
// (DISP_E_BADPARAMCOUNT), then each argument's coercion (DISP_E_TYPEMISMATCH
// and friends, with puArgErr). Nothing reaches the object before all pass.
//
// Sections: planning; member lookup; Invoke (bind, marshal, call, unmarshal).
#include <cstring>

#include "platform/no_throw.h"
#include "platform/ole/oleauto.h"
#include "platform/ole/typelib/tlb_format.h"
#include "platform/ole/typelib/text16.h"
#include "platform/ole/typelib/type_lib.h"

namespace mvcomm::typelib {

namespace {

// ---- planning --------------------------------------------------------------

// A VARIANT passed by value is 24 bytes: the ABI passes it in memory.
ffi_type* variantType() {
  static ffi_type* elements[] = {&ffi_type_uint64, &ffi_type_uint64, &ffi_type_uint64, nullptr};
  static ffi_type t = {0, 0, FFI_TYPE_STRUCT, elements};
  return &t;
}

// A DECIMAL passed by value: two integer eightbytes.
ffi_type* decimalType() {
  static ffi_type* elements[] = {&ffi_type_uint64, &ffi_type_uint64, nullptr};
  static ffi_type t = {0, 0, FFI_TYPE_STRUCT, elements};
  return &t;
}

// The ffi type of a value of automation type vt (without VT_BYREF); null when
// it cannot be passed.
ffi_type* valueType(VARTYPE vt) {
  if (vt & VT_ARRAY) return &ffi_type_pointer;
  switch (vt) {
    case VT_I1: return &ffi_type_sint8;
    case VT_UI1: return &ffi_type_uint8;
    case VT_I2: case VT_BOOL: return &ffi_type_sint16;
    case VT_UI2: return &ffi_type_uint16;
    case VT_I4: case VT_INT: case VT_ERROR: case VT_HRESULT: return &ffi_type_sint32;
    case VT_UI4: case VT_UINT: return &ffi_type_uint32;
    case VT_I8: case VT_CY: return &ffi_type_sint64;
    case VT_UI8: return &ffi_type_uint64;
    case VT_R4: return &ffi_type_float;
    case VT_R8: case VT_DATE: return &ffi_type_double;
    case VT_BSTR: case VT_DISPATCH: case VT_UNKNOWN: return &ffi_type_pointer;
    case VT_DECIMAL: return decimalType();
    case VT_VARIANT: return variantType();
    case VT_VOID: return &ffi_type_void;
    default: return nullptr;
  }
}

// The VARTYPE a model type is exchanged as in a VARIANT.
VARTYPE variantTypeOf(const Library& lib, const TypeRef& t) {
  VARTYPE vt = t.vt;
  if (vt == kVtUserDefined) {
    // An interface of this library travels as the automation interface it is.
    bool dispatch = t.href < kExternalRef && t.href < lib.types.size() &&
                    (lib.types[t.href].flags & kTypeDual || lib.types[t.href].kind == kTkindDispatch);
    vt = dispatch ? VT_DISPATCH : VT_UNKNOWN;
  }
  if (t.safeArray) vt |= VT_ARRAY;
  return vt;
}

}  // namespace

void TypeInfo::preparePlans() {
  const TypeEntry& t = entry();
  const Library& lib = lib_->model();
  plans_.clear();
  plans_.reserve(t.funcs.size());
  for (const Func& f : t.funcs) {
    FuncPlan p;
    p.func = &f;
    bool ok = f.callconv == kCallConvStdcall || f.callconv == CC_CDECL;
    p.ffiArgs.push_back(&ffi_type_pointer);  // this
    for (size_t k = 0; k < f.params.size(); ++k) {
      const Param& par = f.params[k];
      ParamPlan pp;
      pp.vt = variantTypeOf(lib, par.type);
      // Interfaces of this library are pointers already at one level.
      int levels = par.type.pointers - (par.type.vt == kVtUserDefined && !par.type.safeArray ? 1 : 0);
      pp.byRef = levels > 0;
      pp.supported = levels <= 1 && valueType(pp.vt) != nullptr && pp.vt != VT_VOID &&
                     pp.vt != VT_HRESULT;
      if (par.flags & kParamRetval) p.retval = static_cast<int>(k);
      else if (!(par.flags & kParamLcid)) {
        p.counted.push_back(static_cast<uint16_t>(k));
        if (!(par.flags & kParamOpt)) p.required = static_cast<uint16_t>(p.counted.size());
      }
      if ((par.flags & kParamOut) && !pp.byRef) pp.supported = false;
      if (!pp.supported) ok = false;
      p.ffiArgs.push_back(pp.byRef ? &ffi_type_pointer : valueType(pp.vt));
      p.params.push_back(pp);
    }
    ffi_type* ret = &ffi_type_sint32;
    if (f.result.vt != kVtHresult || f.result.pointers || f.result.safeArray) {
      p.hresult = false;
      VARTYPE rvt = variantTypeOf(lib, f.result);
      int levels = f.result.pointers - (f.result.vt == kVtUserDefined && !f.result.safeArray ? 1 : 0);
      ret = levels == 0 ? valueType(rvt) : nullptr;
      if (!ret || rvt == VT_VARIANT || rvt == VT_DECIMAL) ok = false;  // struct returns: not in our subset
      p.resultVt = rvt == VT_VOID ? static_cast<VARTYPE>(VT_EMPTY) : rvt;
    }
    if (ok && ffi_prep_cif(&p.cif, FFI_DEFAULT_ABI, static_cast<unsigned>(p.ffiArgs.size()), ret,
                           p.ffiArgs.data()) == FFI_OK)
      p.callable = true;
    plans_.push_back(std::move(p));
  }
}

void TypeInfo::buildMembers() {
  members_.clear();
  byName_.clear();
  collectMembers(members_, 0);
  for (size_t i = 0; i < members_.size(); ++i)
    byName_.emplace(Fold(Utf8ToUtf16(members_[i].plan->func->name)), i);
}

// ---- member lookup ------------------------------------------------------------

namespace {

bool kindMatches(uint16_t invkind, WORD wFlags) {
  switch (invkind) {
    case kInvokeFunc: return wFlags & DISPATCH_METHOD;
    case kInvokePropertyGet: return wFlags & DISPATCH_PROPERTYGET;
    case kInvokePropertyPut: return wFlags & DISPATCH_PROPERTYPUT;
    case kInvokePropertyPutRef: return wFlags & DISPATCH_PROPERTYPUTREF;
    default: return false;
  }
}

}  // namespace

const FuncPlan* TypeInfo::findFunc(MEMBERID memid, WORD wFlags, bool* memidExists) const {
  *memidExists = false;
  for (const Member& m : members_) {
    if (m.plan->func->memid != memid) continue;
    *memidExists = true;
    if (kindMatches(m.plan->func->invkind, wFlags)) return m.plan;
  }
  return nullptr;
}

// ---- Invoke -----------------------------------------------------------------
//
// A call runs in four steps, and nothing reaches the object before the first
// two pass: bind (which argument feeds which parameter), marshal (each
// argument coerced into the frame libffi reads), call (the vtable slot), and
// unmarshal (the HRESULT, the [retval] or the plain return value into the
// caller's result).

namespace {

// Which rgvarg entry feeds each counted parameter (-1: none given).
struct Binding {
  int source[format::kMaxParamsPerFunc];
};

// Per-call scratch: one owned VARIANT per parameter (coerced copies and the
// retval), the values or pointers handed to ffi, and a clean-up on every path.
struct CallFrame {
  void* instance;                                  // `this` of the call
  VARIANT missing;                                 // an omitted optional argument
  VARIANT owned[format::kMaxParamsPerFunc];
  uint8_t ownedIndex[format::kMaxParamsPerFunc];   // which entries of `owned` to clear
  size_t ownedCount = 0;
  void* ptrs[format::kMaxParamsPerFunc];           // by-reference arguments
  uint64_t scratch[format::kMaxParamsPerFunc][3];  // by-value copies (DECIMAL, VARIANT)
  void* argv[format::kMaxParamsPerFunc + 1];       // what libffi reads: `this`, then each parameter

  explicit CallFrame(void* self) : instance(self) {
    VariantInit(&missing);
    missing.vt = VT_ERROR;  // as automation clients pass one
    missing.scode = DISP_E_PARAMNOTFOUND;
    argv[0] = &instance;
  }
  ~CallFrame() {
    for (size_t i = 0; i < ownedCount; ++i) VariantClear(&owned[ownedIndex[i]]);
  }
  CallFrame(const CallFrame&) = delete;
  CallFrame& operator=(const CallFrame&) = delete;

  // Zeroed whole, so an out value a callee leaves unset reads as null.
  VARIANT* own(size_t k) {
    std::memset(&owned[k], 0, sizeof owned[k]);
    ownedIndex[ownedCount++] = static_cast<uint8_t>(k);
    return &owned[k];
  }
};

// What a slot returned, read by the function's result type.
union ReturnWord {
  ffi_arg word;
  double d;
  float fl;
  uint64_t q;
};

// Address of the value a VARIANT of type vt holds (without VT_BYREF).
void* valueAddress(VARIANT* v) { return &v->llVal; }

bool isPut(const Func& f) { return f.invkind & (kInvokePropertyPut | kInvokePropertyPutRef); }

HRESULT fillException(EXCEPINFO* pExcepInfo, HRESULT scode) {
  if (pExcepInfo) {
    std::memset(pExcepInfo, 0, sizeof *pExcepInfo);
    pExcepInfo->scode = scode;
  }
  return DISP_E_EXCEPTION;
}

// A property get that takes no argument but is given some: they index the
// collection it returns.
bool indexesCollection(const FuncPlan& plan, const DISPPARAMS& dp) {
  return plan.func->invkind == kInvokePropertyGet && plan.counted.empty() && plan.retval >= 0 &&
         dp.cArgs > dp.cNamedArgs;
}

// ---- bind ----

// Maps the caller's arguments to the counted parameters: a put's value first
// (rgvarg[0], named DISPID_PROPERTYPUT), then the positional ones (the last
// rgvarg entry is the first parameter), then the named ones. Errors:
// DISP_E_PARAMNOTFOUND (a put without its named value, or an unknown or
// repeated name, *puArgErr its index), DISP_E_BADPARAMCOUNT,
// DISP_E_PARAMNOTOPTIONAL (a required parameter missing beside named ones).
HRESULT bindArguments(const FuncPlan& plan, const DISPPARAMS& dp, Binding& binding,
                      UINT* puArgErr) {
  const Func& f = *plan.func;
  const bool put = isPut(f);
  const UINT cArgs = dp.cArgs, cNamed = dp.cNamedArgs;
  const size_t counted = plan.counted.size();
  for (size_t c = 0; c < counted; ++c) binding.source[c] = -1;
  UINT firstNamed = 0;
  if (put) {
    // A put takes its value in its last counted parameter; a library whose
    // put has none is refused when loaded, and never reaches here from one.
    if (counted == 0) return DISP_E_BADPARAMCOUNT;
    if (cNamed < 1 || dp.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) return DISP_E_PARAMNOTFOUND;
    binding.source[counted - 1] = 0;  // the value is rgvarg[0]
    firstNamed = 1;
  }
  const UINT positional = cArgs - cNamed;
  const size_t positionalSlots = put ? counted - 1 : counted;
  if (positional > positionalSlots) return DISP_E_BADPARAMCOUNT;
  for (UINT k = 0; k < positional; ++k) binding.source[k] = static_cast<int>(cArgs - 1 - k);
  for (UINT n = firstNamed; n < cNamed; ++n) {
    DISPID id = dp.rgdispidNamedArgs[n];
    // A named id is a position among all parameters; map it to a counted one.
    size_t c = 0;
    while (c < positionalSlots && plan.counted[c] != id) ++c;
    if (id < 0 || c == positionalSlots || binding.source[c] != -1) {
      if (puArgErr) *puArgErr = n;
      return DISP_E_PARAMNOTFOUND;
    }
    binding.source[c] = static_cast<int>(n);
  }
  for (size_t c = 0; c < counted; ++c) {
    if (binding.source[c] != -1) continue;
    if (f.params[plan.counted[c]].flags & kParamOpt) continue;
    return cNamed > firstNamed ? DISP_E_PARAMNOTOPTIONAL : DISP_E_BADPARAMCOUNT;
  }
  return S_OK;
}

// ---- marshal ----

// Parameter k passed by reference, into frame.ptrs[k]: the caller's own
// reference of the parameter's type (written back through it), else a
// coerced copy. An out parameter needs such a reference (DISP_E_TYPEMISMATCH);
// otherwise the coercion's status.
HRESULT marshalByReference(const ParamPlan& pp, const Param& par, VARIANT* arg, bool omitted,
                           size_t k, CallFrame& frame) {
  if (pp.vt == VT_VARIANT) {
    // VARIANT*: the caller's VARIANT itself, or the one it refers to.
    if (arg->vt == (VT_BYREF | VT_VARIANT)) {
      if (!arg->pvarVal) return DISP_E_TYPEMISMATCH;
      frame.ptrs[k] = arg->pvarVal;
    } else if (omitted) {
      VARIANT* m = frame.own(k);
      *m = frame.missing;
      frame.ptrs[k] = m;
    } else {
      frame.ptrs[k] = arg;
    }
  } else if (arg->vt == (VT_BYREF | pp.vt)) {
    frame.ptrs[k] = arg->byref;
  } else if (par.flags & kParamOut) {
    return DISP_E_TYPEMISMATCH;
  } else {
    VARIANT* c = frame.own(k);
    HRESULT hr = VariantChangeType(c, arg, 0, pp.vt);
    if (FAILED(hr)) return hr;
    frame.ptrs[k] = valueAddress(c);
  }
  frame.argv[k + 1] = &frame.ptrs[k];
  return S_OK;
}

// Parameter k passed by value: a VARIANT or DECIMAL copied whole into
// frame.scratch[k], any other value in place or coerced. The coercion's
// status on failure.
HRESULT marshalByValue(const ParamPlan& pp, VARIANT* arg, size_t k, CallFrame& frame) {
  void*& slot = frame.argv[k + 1];
  if (pp.vt == VT_VARIANT) {
    std::memcpy(frame.scratch[k], arg, sizeof(VARIANT));
    slot = frame.scratch[k];
    return S_OK;
  }
  VARIANT* value = arg;
  if (arg->vt != pp.vt) {
    value = frame.own(k);
    HRESULT hr = VariantChangeType(value, arg, 0, pp.vt);
    if (FAILED(hr)) return hr;
  }
  if (pp.vt == VT_DECIMAL) {
    DECIMAL d = value->decVal;
    d.wReserved = 0;
    std::memcpy(frame.scratch[k], &d, sizeof d);
    slot = frame.scratch[k];
  } else {
    slot = valueAddress(value);
  }
  return S_OK;
}

// Fills frame.argv after `this`: the [retval] and locale parameters from the
// frame, each counted one from its bound argument. A failure is that
// argument's (marshalByReference, marshalByValue), with *puArgErr its index.
HRESULT marshalArguments(const FuncPlan& plan, const Binding& binding, DISPPARAMS& dp, LCID lcid,
                         CallFrame& frame, UINT* puArgErr) {
  const Func& f = *plan.func;
  size_t next = 0;  // index into `counted`
  for (size_t k = 0; k < f.params.size(); ++k) {
    const ParamPlan& pp = plan.params[k];
    const Param& par = f.params[k];
    if (static_cast<int>(k) == plan.retval) {
      VARIANT* r = frame.own(k);
      frame.ptrs[k] = pp.vt == VT_VARIANT ? static_cast<void*>(r) : valueAddress(r);
      frame.argv[k + 1] = &frame.ptrs[k];
      continue;
    }
    if (par.flags & kParamLcid) {
      VARIANT* l = frame.own(k);
      l->vt = VT_I4;
      l->lVal = static_cast<LONG>(lcid);
      frame.argv[k + 1] = valueAddress(l);
      continue;
    }
    const int from = binding.source[next++];
    const bool omitted = from < 0;  // an optional argument left out
    VARIANT* arg = omitted ? &frame.missing : &dp.rgvarg[from];
    HRESULT hr = pp.byRef ? marshalByReference(pp, par, arg, omitted, k, frame)
                          : marshalByValue(pp, arg, k, frame);
    if (FAILED(hr)) {
      if (puArgErr) *puArgErr = omitted ? 0 : static_cast<UINT>(from);
      return hr;
    }
  }
  return S_OK;
}

// ---- call ----

ReturnWord callSlot(const FuncPlan& plan, CallFrame& frame) {
  void** vtable = *static_cast<void***>(frame.instance);
  auto fn = reinterpret_cast<void (*)()>(vtable[plan.func->vtableSlot]);
  ReturnWord ret{};
  ffi_call(const_cast<ffi_cif*>(&plan.cif), fn, &ret, frame.argv);
  return ret;
}

// ---- unmarshal ----

// An HRESULT slot: a failure becomes DISP_E_EXCEPTION carrying it; on
// success the [retval] moves to `result` (null: it is cleared with the
// frame).
HRESULT unmarshalHresult(const FuncPlan& plan, ReturnWord ret, CallFrame& frame, VARIANT* result,
                         EXCEPINFO* pExcepInfo) {
  HRESULT hr = static_cast<HRESULT>(static_cast<int32_t>(ret.word));
  if (FAILED(hr)) return fillException(pExcepInfo, hr);
  if (plan.retval >= 0) {
    VARIANT* r = &frame.owned[plan.retval];
    const ParamPlan& rp = plan.params[plan.retval];
    if (rp.vt != VT_VARIANT) r->vt = rp.vt;
    if (result) {
      *result = *r;  // ownership moves to the caller
      VariantInit(r);
    }
  }
  return hr;
}

// A slot returning a plain value: into `result`, or, when nobody takes it
// (null), a returned BSTR or interface is released here.
HRESULT unmarshalValue(const FuncPlan& plan, ReturnWord ret, VARIANT* result) {
  if (result && plan.resultVt != VT_EMPTY) {
    VARIANT r;
    VariantInit(&r);
    r.vt = plan.resultVt;
    switch (plan.resultVt) {
      case VT_R4: r.fltVal = ret.fl; break;
      case VT_R8: case VT_DATE: r.dblVal = ret.d; break;
      case VT_I1: r.cVal = static_cast<CHAR>(ret.word); break;
      case VT_UI1: r.bVal = static_cast<BYTE>(ret.word); break;
      case VT_I2: case VT_BOOL: r.iVal = static_cast<SHORT>(ret.word); break;
      case VT_UI2: r.uiVal = static_cast<USHORT>(ret.word); break;
      case VT_I4: case VT_INT: case VT_ERROR: case VT_HRESULT: r.lVal = static_cast<LONG>(ret.word); break;
      case VT_UI4: case VT_UINT: r.ulVal = static_cast<ULONG>(ret.word); break;
      default: r.ullVal = ret.q; break;  // 64-bit values and pointers
    }
    *result = r;
  } else if (plan.resultVt == VT_BSTR) {
    SysFreeString(reinterpret_cast<BSTR>(ret.q));
  } else if ((plan.resultVt == VT_DISPATCH || plan.resultVt == VT_UNKNOWN) && ret.q) {
    reinterpret_cast<IUnknown*>(ret.q)->Release();
  }
  return S_OK;
}

}  // namespace

HRESULT TypeInfo::Invoke(PVOID pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* dp,
                         VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) try {
  if (!dp || dp->cNamedArgs > dp->cArgs || (dp->cArgs && !dp->rgvarg) ||
      (dp->cNamedArgs && !dp->rgdispidNamedArgs))
    return E_INVALIDARG;
  bool exists = false;
  const FuncPlan* plan = entry().kind == kTkindCoclass ? nullptr : findFunc(memid, wFlags, &exists);
  if (!plan) return DISP_E_MEMBERNOTFOUND;
  if ((plan->func->flags & kFuncRestricted) && memid >= 0) return DISP_E_MEMBERNOTFOUND;
  if (!pvInstance) return E_INVALIDARG;
  return invokePlan(*plan, pvInstance, wFlags, dp, pVarResult, pExcepInfo, puArgErr);
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT TypeInfo::invokePlan(const FuncPlan& plan, PVOID pvInstance, WORD wFlags, DISPPARAMS* dp,
                             VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) const {
  if (indexesCollection(plan, *dp))
    return invokeOnCollection(plan, pvInstance, wFlags, dp, pVarResult, pExcepInfo, puArgErr);
  Binding binding;
  HRESULT hr = bindArguments(plan, *dp, binding, puArgErr);
  if (FAILED(hr)) return hr;
  if (!plan.callable) return DISP_E_BADVARTYPE;

  CallFrame frame(pvInstance);
  hr = marshalArguments(plan, binding, *dp, lib_->model().lcid, frame, puArgErr);
  if (FAILED(hr)) return hr;

  VARIANT* result = isPut(*plan.func) ? nullptr : pVarResult;  // a put hands back nothing
  if (result) VariantInit(result);
  const ReturnWord ret = callSlot(plan, frame);
  return plan.hresult ? unmarshalHresult(plan, ret, frame, result, pExcepInfo)
                      : unmarshalValue(plan, ret, result);
}

HRESULT TypeInfo::invokeOnCollection(const FuncPlan& plan, PVOID pvInstance, WORD wFlags,
                                     DISPPARAMS* dp, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                     UINT* puArgErr) const {
  VARTYPE rvt = plan.params[plan.retval].vt;
  if (rvt != VT_DISPATCH && rvt != VT_VARIANT) return DISP_E_NOTACOLLECTION;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT coll;
  VariantInit(&coll);
  HRESULT hr = invokePlan(plan, pvInstance, DISPATCH_PROPERTYGET, &none, &coll, pExcepInfo, puArgErr);
  if (FAILED(hr)) return hr;
  if (coll.vt != VT_DISPATCH || !coll.pdispVal) {
    VariantClear(&coll);
    return DISP_E_NOTACOLLECTION;
  }
  hr = coll.pdispVal->Invoke(DISPID_VALUE, IID_NULL, lib_->model().lcid, wFlags, dp, pVarResult,
                             pExcepInfo, puArgErr);
  VariantClear(&coll);
  return hr;
}

}  // namespace mvcomm::typelib

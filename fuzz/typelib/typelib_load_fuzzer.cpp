// File: fuzz/typelib/typelib_load_fuzzer.cpp
//
// Hostile type library bytes: the loader must refuse or accept without an
// over-read, and an accepted library must answer every query and survive
// Invoke of each member on an object whose every slot returns S_OK, with
// arguments a script in the input chooses: method, get, put and put-by-ref
// calls, positional and named arguments, arguments by reference, missing
// optional ones, and values of every kind the marshaller coerces.
//
// Input: a 16-bit little-endian script length, the script, then the
// library's bytes. A custom mutator changes either the script, or the
// library as a model (parameter flags and types, invoke kinds, member ids,
// parameters added or taken away) written back whole, so that mutated
// libraries still load and reach Invoke.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "platform/ole/oleauto.h"
#include "platform/ole/typelib/load_type_lib.h"
#include "platform/ole/typelib/tlb_io.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace {

using namespace mvcomm::typelib;

// Stands in for any slot; the arguments are ignored (the caller cleans up).
extern "C" long AnySlot() { return 0; }

// An object with more slots than any library may describe.
struct AnyObject {
  void** vtable;
};
void** AnyVtable() {
  static std::vector<void*> table(70000, reinterpret_cast<void*>(&AnySlot));
  return table.data();
}

// The script: read byte by byte, 0 once it is used up.
class Script {
 public:
  Script(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t next() { return size_ == 0 ? 0 : data_[at_++ % size_]; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// One argument a script asks for, and what it owns.
struct Arg {
  VARIANT v;            // what goes into rgvarg
  VARIANT target;       // what a by-reference argument points at
  BSTR text = nullptr;  // a by-reference BSTR's target
  LONG number = 0;      // a by-reference long's target
};

void fill(Arg& a, uint8_t kind) {
  VariantInit(&a.v);
  VariantInit(&a.target);
  switch (kind % 12) {
    case 0: a.v.vt = VT_I4; a.v.lVal = 7; break;
    case 1: a.v.vt = VT_BSTR; a.v.bstrVal = SysAllocString(u"12"); break;
    case 2: a.v.vt = VT_R8; a.v.dblVal = 2.5; break;
    case 3: a.v.vt = VT_DATE; a.v.date = 37556.5; break;
    case 4: a.v.vt = VT_BOOL; a.v.boolVal = VARIANT_TRUE; break;
    case 5: a.v.vt = VT_ERROR; a.v.scode = DISP_E_PARAMNOTFOUND; break;  // a missing optional one
    case 6:
      a.target.vt = VT_I4;
      a.target.lVal = 3;
      a.v.vt = VT_VARIANT | VT_BYREF;
      a.v.pvarVal = &a.target;
      break;
    case 7: a.v.vt = VT_I4 | VT_BYREF; a.v.plVal = &a.number; break;
    case 8:
      a.text = SysAllocString(u"by ref");
      a.v.vt = VT_BSTR | VT_BYREF;
      a.v.pbstrVal = &a.text;
      break;
    case 9: a.v.vt = VT_DISPATCH; a.v.pdispVal = nullptr; break;
    case 10: a.v.vt = VT_EMPTY; break;
    case 11: {
      SAFEARRAYBOUND b = {2, 0};
      a.v.vt = VT_ARRAY | VT_I4;
      a.v.parray = SafeArrayCreate(VT_I4, 1, &b);
      break;
    }
  }
}

void release(Arg& a) {
  // Invoke may have written a by-reference target (an out parameter).
  VariantClear(&a.target);
  SysFreeString(a.text);
  if (!(a.v.vt & VT_BYREF)) VariantClear(&a.v);
}

void invokeScripted(ITypeInfo* info, AnyObject& obj, MEMBERID memid, Script& script) {
  static constexpr WORD kFlags[] = {DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT,
                                    DISPATCH_PROPERTYPUTREF, DISPATCH_METHOD | DISPATCH_PROPERTYGET};
  const WORD flags = kFlags[script.next() % 5];
  const UINT count = script.next() % 5;
  UINT named = script.next() % (count + 1);
  const bool put = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
  std::vector<Arg> args(count);
  std::vector<VARIANT> rgvarg(count);
  for (UINT i = 0; i < count; ++i) {
    fill(args[i], script.next());
    rgvarg[i] = args[i].v;
  }
  std::vector<DISPID> ids(named);
  for (UINT n = 0; n < named; ++n) {
    const uint8_t b = script.next();
    ids[n] = n == 0 && put && (b & 1) ? DISPID_PROPERTYPUT : static_cast<DISPID>(b % 8) - 1;
  }
  DISPPARAMS dp = {count ? rgvarg.data() : nullptr, named ? ids.data() : nullptr, count, named};
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO excep{};
  UINT argErr = 0;
  info->Invoke(&obj, memid, flags, &dp, (script.next() & 1) ? &result : nullptr, &excep, &argErr);
  VariantClear(&result);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
  for (UINT i = 0; i < count; ++i) {
    args[i].v = rgvarg[i];  // a by-value argument Invoke coerced in place stays ours
    release(args[i]);
  }
}

void Exercise(ITypeLib* lib, Script& script) {
  BSTR name = nullptr, doc = nullptr;
  if (SUCCEEDED(lib->GetDocumentation(-1, &name, &doc, nullptr, nullptr))) {
    SysFreeString(name);
    SysFreeString(doc);
  }
  TLIBATTR* la = nullptr;
  if (SUCCEEDED(lib->GetLibAttr(&la))) lib->ReleaseTLibAttr(la);
  AnyObject obj{AnyVtable()};
  for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
    ITypeInfo* info = nullptr;
    if (FAILED(lib->GetTypeInfo(i, &info))) std::abort();
    TYPEATTR* ta = nullptr;
    if (FAILED(info->GetTypeAttr(&ta))) std::abort();
    for (UINT k = 0; k < ta->cImplTypes; ++k) {
      HREFTYPE href;
      ITypeInfo* ref = nullptr;
      if (SUCCEEDED(info->GetRefTypeOfImplType(k, &href)) && SUCCEEDED(info->GetRefTypeInfo(href, &ref)))
        ref->Release();
    }
    for (UINT f = 0; f < ta->cFuncs; ++f) {
      FUNCDESC* fd = nullptr;
      if (FAILED(info->GetFuncDesc(f, &fd))) std::abort();
      BSTR names[4] = {};
      UINT count = 0;
      if (SUCCEEDED(info->GetNames(fd->memid, names, 4, &count)))
        for (UINT n = 0; n < count; ++n) {
          MEMBERID id;
          LPOLESTR s = names[n];
          info->GetIDsOfNames(&s, 1, &id);
          SysFreeString(names[n]);
        }
      for (int call = 0; call < 3; ++call) invokeScripted(info, obj, fd->memid, script);
      info->ReleaseFuncDesc(fd);
    }
    info->ReleaseTypeAttr(ta);
    info->Release();
  }
}

// ---- the model mutator ----------------------------------------------------------

void mutateModel(Library& lib, std::minstd_rand& rng) {
  std::vector<Func*> funcs;
  for (TypeEntry& t : lib.types)
    for (Func& f : t.funcs) funcs.push_back(&f);
  if (funcs.empty()) return;
  Func& f = *funcs[rng() % funcs.size()];
  static constexpr uint16_t kVts[] = {kVtI2, kVtI4, kVtR8, kVtDate, kVtBstr, kVtBool, kVtVariant,
                                      kVtDispatch, kVtUnknown, kVtDecimal, kVtUi1, kVtI8, kVtCy};
  static constexpr uint16_t kKinds[] = {kInvokeFunc, kInvokePropertyGet, kInvokePropertyPut,
                                        kInvokePropertyPutRef};
  static constexpr uint16_t kParamFlags[] = {kParamIn, kParamOut, kParamIn | kParamOut, kParamOut | kParamRetval,
                                             kParamIn | kParamOpt, kParamIn | kParamLcid};
  switch (rng() % 6) {
    case 0: f.invkind = kKinds[rng() % 4]; break;
    case 1: f.memid = static_cast<int32_t>(rng() % 40) - 4; break;
    case 2:
      if (f.params.size() < 6) f.params.insert(f.params.begin() + static_cast<long>(rng() % (f.params.size() + 1)),
                                               Param{"p", TypeRef{kVts[rng() % 13]}, kParamIn});
      break;
    case 3:
      if (!f.params.empty()) f.params.erase(f.params.begin() + static_cast<long>(rng() % f.params.size()));
      break;
    case 4:
      if (!f.params.empty()) {
        Param& p = f.params[rng() % f.params.size()];
        p.flags = kParamFlags[rng() % 6];
        p.type.pointers = (p.flags & kParamOut) || (rng() & 1) ? 1 : 0;
      }
      break;
    case 5:
      if (!f.params.empty()) f.params[rng() % f.params.size()].type.vt = kVts[rng() % 13];
      break;
  }
}

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned seed) {
  std::minstd_rand rng(seed);
  if (size < 2) return LLVMFuzzerMutate(data, size, maxSize);
  size_t scriptSize = std::min<size_t>(data[0] | data[1] << 8, size - 2);
  Library lib;
  const bool model = ReadLibrary(data + 2 + scriptSize, size - 2 - scriptSize, &lib) == ReadResult::kOk;
  if (!model || rng() % 3 == 0) {
    // The script (or, for bytes that do not load, everything) as plain bytes.
    if (model) {
      std::vector<uint8_t> library(data + 2 + scriptSize, data + size);
      const size_t room = maxSize - library.size() - 2;
      scriptSize = LLVMFuzzerMutate(data + 2, scriptSize, std::min<size_t>(room, 0xFFFF));
      data[0] = static_cast<uint8_t>(scriptSize);
      data[1] = static_cast<uint8_t>(scriptSize >> 8);
      std::memcpy(data + 2 + scriptSize, library.data(), library.size());
      return 2 + scriptSize + library.size();
    }
    return LLVMFuzzerMutate(data, size, maxSize);
  }
  for (int k = 1 + static_cast<int>(rng() % 3); k > 0; --k) mutateModel(lib, rng);
  const std::vector<uint8_t> bytes = WriteLibrary(lib);
  if (2 + scriptSize + bytes.size() > maxSize) return size;
  std::memcpy(data + 2 + scriptSize, bytes.data(), bytes.size());
  return 2 + scriptSize + bytes.size();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t scriptSize = std::min<size_t>(data[0] | data[1] << 8, size - 2);
  Script script(data + 2, scriptSize);
  const uint8_t* tlb = data + 2 + scriptSize;
  const size_t tlbSize = size - 2 - scriptSize;
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadTypeLibFromMemory(tlb, tlbSize, &lib);
  if (FAILED(hr)) {
    if (lib) std::abort();
    return 0;
  }
  Exercise(lib, script);
  // A library that loads writes back to the same bytes it came from.
  Library model;
  if (ReadLibrary(tlb, tlbSize, &model) != ReadResult::kOk) std::abort();
  Library again;
  std::vector<uint8_t> bytes = WriteLibrary(model);
  if (ReadLibrary(bytes.data(), bytes.size(), &again) != ReadResult::kOk || !(again == model)) std::abort();
  lib->Release();
  return 0;
}

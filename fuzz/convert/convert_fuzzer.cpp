// File: fuzz/convert/convert_fuzzer.cpp
//
// Builds random SAFEARRAYs (shapes, bounds, element types, VARIANT
// elements) and random VARIANTs (by value and by reference) and runs them
// through the converters and both array directions, sometimes with a VM
// operation failing. Any crash, sanitizer report or leak (a live count of
// VM products, BSTRs, SAFEARRAYs or buffers not back where it started)
// is a finding.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "arrays/pbcom_array_marshaller.h"
#include "platform/ole/code_page.h"
#include "convert/pbcom_type_converter.h"
#include "platform/ole/ole_testing.h"
#include "vm/vm_api.h"
#include "vm/vm_testing.h"

namespace {

using namespace mvcomm;
using convert::PBCOMTypeConverter;

struct World {
  vm::IVMSession* session = nullptr;
  vm::IVMObject* object = nullptr;
  vm::IVMValueContext* context = nullptr;
};

World& world() {
  static World w = [] {
    World made;
    vm::IVMString* path = nullptr;
    vm::IVMString* cls = nullptr;
    if (vm::vmMakeString(MVCOMM_CONVERT_PROBE_MODULE, &path) < 0 ||
        vm::vmStartSession(nullptr, path, 1, 0, &made.session) < 0 ||
        vm::vmMakeString("n_cst_convert_probe", &cls) < 0 ||
        vm::vmCreateObject(cls, made.session, &made.object) < 0 ||
        made.object->valueContext(&made.context) < 0) {
      std::fprintf(stderr, "cannot start the VM session\n");
      std::abort();
    }
    path->Release();
    cls->Release();
    return made;
  }();
  return w;
}

constexpr VARTYPE kScalarTypes[] = {VT_EMPTY, VT_NULL, VT_I2,  VT_I4,   VT_R4,  VT_R8,  VT_CY,
                                    VT_DATE,  VT_BSTR, VT_BOOL, VT_DECIMAL, VT_I1, VT_UI1, VT_UI2,
                                    VT_UI4,   VT_I8,   VT_UI8, VT_INT,  VT_UINT, VT_ERROR, VT_DISPATCH};
constexpr VARTYPE kElementTypes[] = {VT_UI1, VT_I2,  VT_UI2, VT_I4,  VT_UI4,     VT_R4,
                                     VT_R8,  VT_DATE, VT_BOOL, VT_BSTR, VT_VARIANT, VT_DECIMAL,
                                     VT_CY,  VT_I1,   VT_I8,  VT_DISPATCH};

// Storage that by-reference VARIANTs point into; it outlives them.
struct Storage {
  uint8_t bytes[32] = {};
  BSTR bstr = nullptr;
  BSTR firstBstr = nullptr;  // a BSTR written through the reference leaves this one to us
  SAFEARRAY* array = nullptr;
  VARIANT inner{};
  ~Storage() {
    if (firstBstr != bstr) SysFreeString(firstBstr);
    SysFreeString(bstr);
    SafeArrayDestroy(array);
    VariantClear(&inner);
  }
};

BSTR randomText(FuzzedDataProvider& in) {
  const std::string bytes = in.ConsumeRandomLengthString(12);
  std::u16string units;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units += static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8));
  }
  if (in.ConsumeBool()) units = std::u16string(bytes.begin(), bytes.end());
  return SysAllocStringLen(units.data(), static_cast<UINT>(units.size()));
}

void randomScalar(FuzzedDataProvider& in, VARIANT* v, int depth);

SAFEARRAY* randomSafeArray(FuzzedDataProvider& in, int depth) {
  const VARTYPE vt = in.PickValueInArray(kElementTypes);
  const UINT dims = in.ConsumeIntegralInRange<UINT>(1, 3);
  SAFEARRAYBOUND bounds[3];
  ULONG total = 1;
  for (UINT d = 0; d < dims; ++d) {
    bounds[d].cElements = in.ConsumeIntegralInRange<ULONG>(0, 4);
    bounds[d].lLbound = in.ConsumeBool() ? in.ConsumeIntegralInRange<LONG>(-3, 6)
                                         : in.ConsumeIntegral<LONG>();
    total *= bounds[d].cElements;
  }
  SAFEARRAY* psa = SafeArrayCreate(vt, dims, bounds);
  if (psa == nullptr || total == 0) return psa;
  void* data = nullptr;
  if (FAILED(SafeArrayAccessData(psa, &data))) return psa;
  const ULONG fill = std::min<ULONG>(total, 24);
  for (ULONG i = 0; i < fill; ++i) {
    uint8_t* element = static_cast<uint8_t*>(data) + size_t{i} * psa->cbElements;
    if (vt == VT_BSTR) {
      *reinterpret_cast<BSTR*>(element) = randomText(in);
    } else if (vt == VT_VARIANT) {
      randomScalar(in, reinterpret_cast<VARIANT*>(element), depth + 1);
    } else if (vt != VT_DISPATCH) {
      const std::vector<uint8_t> raw = in.ConsumeBytes<uint8_t>(psa->cbElements);
      if (!raw.empty()) std::memcpy(element, raw.data(), raw.size());
    }
  }
  SafeArrayUnaccessData(psa);
  return psa;
}

// A by-value VARIANT that owns what it holds.
void randomScalar(FuzzedDataProvider& in, VARIANT* v, int depth) {
  std::memset(v, 0, sizeof *v);
  if (depth < 2 && in.ConsumeIntegralInRange(0, 5) == 0) {
    SAFEARRAY* psa = randomSafeArray(in, depth);
    if (psa == nullptr) return;
    VARTYPE vt = VT_EMPTY;
    SafeArrayGetVartype(psa, &vt);
    v->vt = static_cast<VARTYPE>(VT_ARRAY | vt);
    v->parray = psa;
    return;
  }
  const VARTYPE vt = in.PickValueInArray(kScalarTypes);
  if (vt == VT_DECIMAL) {
    const std::vector<uint8_t> raw = in.ConsumeBytes<uint8_t>(sizeof(DECIMAL));
    if (!raw.empty()) std::memcpy(&v->decVal, raw.data(), raw.size());
    v->vt = VT_DECIMAL;
    return;
  }
  v->vt = vt;
  if (vt == VT_BSTR) {
    v->bstrVal = randomText(in);
  } else if (vt != VT_DISPATCH) {
    v->llVal = in.ConsumeIntegral<int64_t>();
  }
}

// A VARIANT, by value or by reference into `storage`.
void randomVariant(FuzzedDataProvider& in, VARIANT* v, Storage& storage) {
  if (!in.ConsumeBool()) {
    randomScalar(in, v, 0);
    return;
  }
  std::memset(v, 0, sizeof *v);
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0: {  // reference to plain storage of a random type
      const VARTYPE vt = in.PickValueInArray(kScalarTypes);
      if (vt == VT_BSTR || vt == VT_DISPATCH || vt == VT_EMPTY || vt == VT_NULL) return;
      const std::vector<uint8_t> raw = in.ConsumeBytes<uint8_t>(16);
      if (!raw.empty()) std::memcpy(storage.bytes, raw.data(), raw.size());
      v->vt = static_cast<VARTYPE>(VT_BYREF | vt);
      v->byref = storage.bytes;
      return;
    }
    case 1:
      storage.bstr = in.ConsumeBool() ? randomText(in) : nullptr;
      storage.firstBstr = storage.bstr;
      v->vt = VT_BYREF | VT_BSTR;
      v->pbstrVal = &storage.bstr;
      return;
    case 2: {
      storage.array = randomSafeArray(in, 0);
      VARTYPE vt = VT_UI1;
      if (storage.array != nullptr) SafeArrayGetVartype(storage.array, &vt);
      v->vt = static_cast<VARTYPE>(VT_BYREF | VT_ARRAY | vt);
      v->pparray = &storage.array;
      return;
    }
    default:
      randomScalar(in, &storage.inner, 0);
      v->vt = VT_BYREF | VT_VARIANT;
      v->pvarVal = in.ConsumeBool() ? &storage.inner : nullptr;
      return;
  }
}

template <typename T>
void release(T*& p) {
  if (p != nullptr) p->Release();
  p = nullptr;
}

void fromVariant(PBCOMTypeConverter& conv, const VARIANT* v) {
  double d;
  float f;
  int16_t s;
  uint16_t us;
  int32_t l;
  uint32_t ul;
  unsigned char c;
  conv.VariantToDouble(&d, v);
  conv.VariantToFloat(&f, v);
  conv.VariantToShort(&s, v);
  conv.VariantToUShort(&us, v);
  conv.VariantToLong(&l, v);
  conv.VariantToULong(&ul, v);
  conv.VariantToBoolean(&l, v);
  conv.VariantToChar(&c, v);
  vm::IVMString* str = nullptr;
  conv.VariantToVMString(&str, v);
  release(str);
  vm::IVMDate* date = nullptr;
  conv.VariantToVMDate(&date, v);
  release(date);
  vm::IVMTime* time = nullptr;
  conv.VariantToVMTime(&time, v);
  release(time);
  vm::IVMDateTime* dt = nullptr;
  conv.VariantToVMDateTime(&dt, v);
  release(dt);
  vm::IVMDecimal* dec = nullptr;
  conv.VariantToVMDecimal(&dec, v);
  release(dec);
  vm::IVMBlob* blob = nullptr;
  conv.VariantToVMBlob(&blob, v);
  release(blob);
  vm::IVMObject* obj = nullptr;
  conv.VariantToVMObject(&obj, v);
  release(obj);
}

// Converts VM products back into the VARIANT (a destination now).
void intoVariant(FuzzedDataProvider& in, PBCOMTypeConverter& conv, VARIANT* v) {
  switch (in.ConsumeIntegralInRange(0, 12)) {
    case 0: conv.DoubleToVariant(v, in.ConsumeFloatingPoint<double>()); break;
    case 1: conv.LongToVariant(v, in.ConsumeIntegral<int32_t>()); break;
    case 2: conv.BooleanToVariant(v, in.ConsumeIntegral<int32_t>()); break;
    case 3: conv.CharToVariant(v, in.ConsumeIntegral<uint8_t>()); break;
    case 4: {
      vm::IVMString* s = nullptr;
      if (vm::vmMakeString(in.ConsumeRandomLengthString(16).c_str(), &s) >= 0) conv.VMStringToVariant(v, s);
      release(s);
      break;
    }
    case 5: case 6: case 7: {
      vm::IVMDateTime* dt = nullptr;
      if (conv.DateToVMDateTime(&dt, in.ConsumeFloatingPoint<double>()) >= 0) conv.VMDateTimeToVariant(v, dt);
      release(dt);
      break;
    }
    case 8: {
      vm::IVMDecimal* d = nullptr;
      conv.DoubleToVMDecimal(&d, in.ConsumeFloatingPoint<double>());
      if (d != nullptr) conv.VMDecimalToVariant(v, d);
      release(d);
      break;
    }
    case 9: {
      const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 8));
      vm::IVMBlob* b = nullptr;
      if (vm::vmMakeBlob(static_cast<int32_t>(bytes.size()), bytes.data(), &b) >= 0) conv.VMBlobToVariant(v, b);
      release(b);
      break;
    }
    default: {
      // A VM array of a random element type back into whatever array the VARIANT holds.
      SAFEARRAY* psa = randomSafeArray(in, 0);
      const int32_t code = in.ConsumeIntegralInRange(0, 22);
      vm::IVMArray* array = nullptr;
      if (psa != nullptr) conv.SafeArrayToVMArray(&array, world().context, psa, code, in.ConsumeBool());
      SafeArrayDestroy(psa);
      if (array != nullptr) conv.VMArrayToVariant(v, world().context, array, code);
      release(array);
      break;
    }
  }
}

void arrayRound(FuzzedDataProvider& in, PBCOMTypeConverter& conv) {
  SAFEARRAY* psa = randomSafeArray(in, 0);
  if (psa == nullptr) return;
  const int32_t code = in.ConsumeIntegralInRange(0, 22);
  vm::IVMArray* array = nullptr;
  conv.SafeArrayToVMArray(&array, world().context, psa, code, in.ConsumeBool());
  if (array != nullptr) {
    SAFEARRAY* made = nullptr;
    conv.VMArrayToSafeArray(&made, world().context, array, code);
    SafeArrayDestroy(made);
    // Into the original and into another random array, with maybe another code.
    conv.VMArrayToSafeArray(&psa, world().context, array, in.ConsumeBool() ? code : in.ConsumeIntegralInRange(0, 22));
    SAFEARRAY* other = randomSafeArray(in, 0);
    if (other != nullptr) conv.VMArrayToSafeArray(&other, world().context, array, code);
    SafeArrayDestroy(other);
  }
  release(array);
  vm::IVMBlob* blob = nullptr;
  conv.SafeArrayToVMBlob(&blob, &psa);
  if (blob != nullptr) conv.VMBlobToSafeArray(&psa, blob);
  release(blob);
  SafeArrayDestroy(psa);
}

struct Counts {
  int64_t vm;
  ole::LiveCounts ole;
};

Counts now() { return {vm::testing::liveTotal(), ole::LiveCounts::now()}; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  World& w = world();
  (void)w;
  FuzzedDataProvider in(data, size);
  ole::setCodePage(in.ConsumeBool() ? "UTF-8" : "CP936");
  const Counts before = now();
  {
    PBCOMTypeConverter conv;
    if (in.ConsumeIntegralInRange(0, 3) == 0) {
      vm::testing::failAt(in.ConsumeIntegralInRange<uint64_t>(1, 40), -77, vm::Op::Any, in.ConsumeBool());
    }
    for (int round = 0; round < 4 && in.remaining_bytes() > 0; ++round) {
      if (in.ConsumeBool()) {
        arrayRound(in, conv);
      } else {
        Storage storage;
        VARIANT v;
        randomVariant(in, &v, storage);
        fromVariant(conv, &v);
        intoVariant(in, conv, &v);
        fromVariant(conv, &v);
        VariantClear(&v);
      }
    }
    vm::testing::clearFailure();
  }
  const Counts after = now();
  if (after.vm != before.vm || !(after.ole == before.ole)) {
    std::fprintf(stderr, "leak: vm %lld -> %lld, bstr %ld -> %ld, safearray %ld -> %ld, taskmem %ld -> %ld\n",
                 static_cast<long long>(before.vm), static_cast<long long>(after.vm), before.ole.bstr,
                 after.ole.bstr, before.ole.safeArray, after.ole.safeArray, before.ole.coTaskMem,
                 after.ole.coTaskMem);
    std::abort();
  }
  return 0;
}

// File: fuzz/arrays/vm_array_fuzzer.cpp
//
// VM arrays made by the VM itself, not from a SAFEARRAY: 1 to 8
// dimensions, lower bounds anywhere in 32 bits (the extremes often), empty
// dimensions, fixed or growing, some elements set and the rest null. Each
// goes into a new SAFEARRAY or into an existing one of another shape and
// type, with the array's own element type code or another, sometimes with
// a VM operation failing, and the SAFEARRAY comes back into a VM array.
// Findings: a crash, a sanitizer report, a leak (live VM products, BSTRs,
// SAFEARRAYs or buffers not back where they started), or a new SAFEARRAY
// whose bounds are not the VM array's.
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "arrays/pbcom_array_marshaller.h"
#include "platform/ole/code_page.h"
#include "convert/pbcom_type_converter.h"
#include "platform/ole/ole_testing.h"
#include "testing/convert_probe_context.h"
#include "vm/vm_api.h"
#include "vm/vm_testing.h"

namespace {

using namespace mvcomm;
using convert::PBCOMTypeConverter;

vm::IVMValueContext* context() { return testing::probeValueContext(); }

constexpr VARTYPE kElementTypes[] = {VT_UI1, VT_I2,   VT_UI2,  VT_I4,      VT_UI4,
                                     VT_R4,  VT_R8,   VT_DATE, VT_BOOL,    VT_BSTR,
                                     VT_VARIANT, VT_DECIMAL, VT_CY, VT_I1, VT_I8};

int32_t lowerBound(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 4)) {
    case 0: return INT32_MIN;
    case 1: return INT32_MAX - in.ConsumeIntegralInRange(0, 3);
    case 2: return in.ConsumeIntegral<int32_t>();
    default: return in.ConsumeIntegralInRange(-3, 3);
  }
}

// A value of `code` for an element: set from the input, or left null.
vm::IVMValue* elementValue(FuzzedDataProvider& in, int32_t code) {
  vm::IVMValue* v = nullptr;
  if (vm::vmMakeValue(code, context(), &v) < 0 || v == nullptr) return nullptr;
  switch (code) {
    case 3: v->setCharacter(in.ConsumeIntegralInRange(-128, 255)); break;
    case 6: v->setInteger(in.ConsumeIntegralInRange(-32768, 32767)); break;
    case 7: v->setUnsignedInteger(in.ConsumeIntegralInRange(0, 65535)); break;
    case 8: v->setLong(in.ConsumeIntegral<int32_t>()); break;
    case 9: v->setUnsignedLong(in.ConsumeIntegral<uint32_t>()); break;
    case 11: v->setReal(in.ConsumeFloatingPoint<float>()); break;
    case 12: v->setDouble(in.ConsumeFloatingPoint<double>()); break;
    case 13: v->setBoolean(in.ConsumeIntegral<int32_t>()); break;
    case 15: {
      vm::IVMTime* t = nullptr;
      if (vm::vmMakeTime(in.ConsumeIntegralInRange(0, 23), in.ConsumeIntegralInRange(0, 59),
                         in.ConsumeIntegralInRange(0, 59), &t) >= 0) {
        v->setTime(t);
        t->Release();
      }
      break;
    }
    case 17: {
      vm::IVMString* s = nullptr;
      if (vm::vmMakeString(in.ConsumeRandomLengthString(8).c_str(), &s) >= 0) {
        v->setString(s);
        s->Release();
      }
      break;
    }
    default: break;   // null
  }
  return v;
}

vm::IVMArray* vmArray(FuzzedDataProvider& in, int32_t code, std::vector<int32_t>& lowers,
                      std::vector<int64_t>& counts) {
  const int dims = in.ConsumeIntegralInRange(1, 8);
  vm::IVMBoundsList* list = nullptr;
  if (vm::vmMakeBoundsList(&list) < 0 || list == nullptr) return nullptr;
  int64_t total = 1;
  for (int d = 0; d < dims; ++d) {
    const int32_t lower = lowerBound(in);
    int64_t count = in.ConsumeIntegralInRange(0, 3);
    if (total * count > 64) count = 1;
    if (int64_t{lower} + count - 1 > INT32_MAX) count = int64_t{INT32_MAX} - lower + 1;
    if (count == 0 && lower == INT32_MIN) count = 1;   // its upper bound would not fit 32 bits
    total *= count;
    vm::IVMBound* b = nullptr;
    if (vm::vmMakeBound(lower, static_cast<int32_t>(lower + count - 1), context(), &b) < 0 ||
        b == nullptr) {
      list->Release();
      return nullptr;
    }
    const bool appended = list->append(b) >= 0;
    b->Release();
    if (!appended) {
      list->Release();
      return nullptr;
    }
    lowers.push_back(lower);
    counts.push_back(count);
  }
  vm::IVMArray* array = nullptr;
  const int32_t rc = in.ConsumeBool() ? vm::vmMakeArray(list, code, context(), &array)
                                      : vm::vmMakeDynamicArray(list, code, context(), &array);
  list->Release();
  if (rc < 0 || array == nullptr) return nullptr;
  for (int k = in.ConsumeIntegralInRange(0, 6); k > 0 && total > 0; --k) {
    std::vector<int32_t> at;
    for (int d = 0; d < dims; ++d)
      at.push_back(static_cast<int32_t>(lowers[d] + in.ConsumeIntegralInRange<int64_t>(0, counts[d] - 1)));
    if (vm::IVMValue* v = elementValue(in, code))
      array->storeElement(at.data(), dims, v);   // takes the reference on every path
  }
  return array;
}

SAFEARRAY* existingSafeArray(FuzzedDataProvider& in) {
  SAFEARRAYBOUND bounds[3];
  const UINT dims = in.ConsumeIntegralInRange<UINT>(1, 3);
  for (UINT d = 0; d < dims; ++d) {
    bounds[d].cElements = in.ConsumeIntegralInRange<ULONG>(0, 3);
    bounds[d].lLbound = in.ConsumeBool() ? 0 : lowerBound(in);
  }
  return SafeArrayCreate(in.PickValueInArray(kElementTypes), dims, bounds);
}

void oneRound(FuzzedDataProvider& in, PBCOMTypeConverter& conv, bool failing) {
  const int32_t code = in.ConsumeIntegralInRange(3, 20);
  std::vector<int32_t> lowers;
  std::vector<int64_t> counts;
  vm::IVMArray* array = vmArray(in, code, lowers, counts);
  if (array == nullptr) return;
  const int32_t target = in.ConsumeBool() ? code : in.ConsumeIntegralInRange(0, 22);
  const bool fresh = in.ConsumeBool();
  SAFEARRAY* psa = fresh ? nullptr : existingSafeArray(in);
  conv.VMArrayToSafeArray(&psa, context(), array, target);
  if (fresh && psa != nullptr && !failing) {
    if (SafeArrayGetDim(psa) != lowers.size()) {
      std::fprintf(stderr, "%u dimensions, the VM array has %zu\n", SafeArrayGetDim(psa),
                   lowers.size());
      __builtin_trap();
    }
    for (UINT d = 0; d < lowers.size(); ++d) {
      LONG lower = 0, upper = 0;
      const bool read = SUCCEEDED(SafeArrayGetLBound(psa, d + 1, &lower)) &&
                        SUCCEEDED(SafeArrayGetUBound(psa, d + 1, &upper));
      if (!read || lower != lowers[d] || int64_t{upper} - lower + 1 != counts[d]) {
        std::fprintf(stderr, "dimension %u: SAFEARRAY %ld..%ld, VM array from %d, %lld elements\n",
                     d + 1, static_cast<long>(lower), static_cast<long>(upper), lowers[d],
                     static_cast<long long>(counts[d]));
        __builtin_trap();
      }
    }
  }
  if (psa != nullptr) {
    vm::IVMArray* back = nullptr;
    conv.SafeArrayToVMArray(&back, context(), psa, in.ConsumeBool() ? target : code,
                            in.ConsumeBool());
    if (back != nullptr) back->Release();
    SafeArrayDestroy(psa);
  }
  array->Release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  (void)context();
  FuzzedDataProvider in(data, size);
  ole::setCodePage(in.ConsumeBool() ? "UTF-8" : "CP936");
  const int64_t vmBefore = vm::testing::liveTotal();
  const ole::LiveCounts oleBefore = ole::LiveCounts::now();
  {
    PBCOMTypeConverter conv;
    const bool failing = in.ConsumeIntegralInRange(0, 3) == 0;
    if (failing)
      vm::testing::failAt(in.ConsumeIntegralInRange<uint64_t>(1, 60), -77, vm::Op::Any,
                          in.ConsumeBool());
    for (int round = 0; round < 3 && in.remaining_bytes() > 0; ++round)
      oneRound(in, conv, failing);
    vm::testing::clearFailure();
  }
  const int64_t vmAfter = vm::testing::liveTotal();
  const ole::LiveCounts oleAfter = ole::LiveCounts::now();
  if (vmAfter != vmBefore || !(oleAfter == oleBefore)) {
    std::fprintf(stderr, "leak: vm %lld -> %lld, bstr %ld -> %ld, safearray %ld -> %ld\n",
                 static_cast<long long>(vmBefore), static_cast<long long>(vmAfter),
                 oleBefore.bstr, oleAfter.bstr, oleBefore.safeArray, oleAfter.safeArray);
    std::abort();
  }
  return 0;
}

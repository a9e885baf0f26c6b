// File: bench/convert/convert_bench.cpp
//
// What a property access or method call pays per value: strings both ways
// (16 and 1000 characters), DATE <-> VM datetime, and a 10,000-element long
// array each way (per-element cost = time / 10,000).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "convert/pbcom_type_converter.h"
#include "testing/convert_probe_context.h"
#include "vm/vm_api.h"

namespace {

using namespace mvcomm;
using convert::PBCOMTypeConverter;

vm::IVMValueContext* context() { return testing::probeValueContext(); }

std::u16string sampleText(size_t n) {
  std::u16string s;
  for (size_t i = 0; i < n; ++i) s += static_cast<char16_t>(u'a' + i % 26);
  return s;
}

void BM_BstrToVMString(benchmark::State& state) {
  PBCOMTypeConverter conv;
  const std::u16string text = sampleText(static_cast<size_t>(state.range(0)));
  BSTR b = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  for (auto _ : state) {
    vm::IVMString* s = nullptr;
    benchmark::DoNotOptimize(conv.BstrToVMString(&s, b));
    s->Release();
  }
  SysFreeString(b);
}
BENCHMARK(BM_BstrToVMString)->Arg(16)->Arg(1000);

void BM_VMStringToBstr(benchmark::State& state) {
  PBCOMTypeConverter conv;
  const std::string text(static_cast<size_t>(state.range(0)), 'q');
  vm::IVMString* s = nullptr;
  vm::vmMakeString(text.c_str(), &s);
  for (auto _ : state) {
    BSTR b = nullptr;
    benchmark::DoNotOptimize(conv.VMStringToBstr(&b, s));
    SysFreeString(b);
  }
  s->Release();
}
BENCHMARK(BM_VMStringToBstr)->Arg(16)->Arg(1000);

void BM_DateToVMDateTime(benchmark::State& state) {
  PBCOMTypeConverter conv;
  for (auto _ : state) {
    vm::IVMDateTime* dt = nullptr;
    benchmark::DoNotOptimize(conv.DateToVMDateTime(&dt, 37557.75));
    dt->Release();
  }
}
BENCHMARK(BM_DateToVMDateTime);

void BM_VMDateTimeToDate(benchmark::State& state) {
  PBCOMTypeConverter conv;
  vm::IVMDateTime* dt = nullptr;
  conv.DateToVMDateTime(&dt, 37557.75);
  for (auto _ : state) {
    DATE d = 0;
    benchmark::DoNotOptimize(conv.VMDateTimeToDate(&d, dt));
  }
  dt->Release();
}
BENCHMARK(BM_VMDateTimeToDate);

constexpr ULONG kElements = 10000;

void BM_LongArrayToVM(benchmark::State& state) {
  PBCOMTypeConverter conv;
  SAFEARRAYBOUND bound{kElements, 0};
  SAFEARRAY* psa = SafeArrayCreate(VT_I4, 1, &bound);
  for (auto _ : state) {
    vm::IVMArray* array = nullptr;
    benchmark::DoNotOptimize(conv.SafeArrayToVMArray(&array, context(), psa, 8, 1));
    array->Release();
  }
  state.SetItemsProcessed(state.iterations() * kElements);
  SafeArrayDestroy(psa);
}
BENCHMARK(BM_LongArrayToVM)->Unit(benchmark::kMicrosecond);

void BM_LongArrayFromVM(benchmark::State& state) {
  PBCOMTypeConverter conv;
  SAFEARRAYBOUND bound{kElements, 1};
  SAFEARRAY* source = SafeArrayCreate(VT_I4, 1, &bound);
  vm::IVMArray* array = nullptr;
  conv.SafeArrayToVMArray(&array, context(), source, 8, 1);
  SafeArrayDestroy(source);
  for (auto _ : state) {
    SAFEARRAY* psa = nullptr;
    benchmark::DoNotOptimize(conv.VMArrayToSafeArray(&psa, context(), array, 8));
    SafeArrayDestroy(psa);
  }
  state.SetItemsProcessed(state.iterations() * kElements);
  array->Release();
}
BENCHMARK(BM_LongArrayFromVM)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

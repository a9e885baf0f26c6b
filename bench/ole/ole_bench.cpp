// File: bench/ole/ole_bench.cpp
//
// Cost per call of the automation calls the bridge makes on every property
// access and array element: conversions, BSTR churn, element reads.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/ole/oleauto.h"

namespace {

void changeType(benchmark::State& state, VARIANT& src, VARTYPE vt) {
  VARIANT dst;
  VariantInit(&dst);
  for (auto _ : state) {
    HRESULT hr = VariantChangeType(&dst, &src, 0, vt);
    benchmark::DoNotOptimize(hr);
    VariantClear(&dst);
  }
  VariantClear(&src);
}

void BM_ChangeTypeBstrToI4(benchmark::State& state) {
  VARIANT src;
  src.vt = VT_BSTR;
  src.bstrVal = SysAllocString(u"123456");
  changeType(state, src, VT_I4);
}
BENCHMARK(BM_ChangeTypeBstrToI4);

void BM_ChangeTypeI4ToBstr(benchmark::State& state) {
  VARIANT src;
  src.vt = VT_I4;
  src.lVal = 123456;
  changeType(state, src, VT_BSTR);
}
BENCHMARK(BM_ChangeTypeI4ToBstr);

void BM_ChangeTypeR8ToBstr(benchmark::State& state) {
  VARIANT src;
  src.vt = VT_R8;
  src.dblVal = 3.14159265358979;
  changeType(state, src, VT_BSTR);
}
BENCHMARK(BM_ChangeTypeR8ToBstr);

void BM_ChangeTypeBstrToDate(benchmark::State& state) {
  VARIANT src;
  src.vt = VT_BSTR;
  src.bstrVal = SysAllocString(u"10/27/2002 2:30:00 PM");
  changeType(state, src, VT_DATE);
}
BENCHMARK(BM_ChangeTypeBstrToDate);

void BM_SysAllocFree(benchmark::State& state) {
  std::u16string text(static_cast<std::size_t>(state.range(0)), u'x');
  for (auto _ : state) {
    BSTR b = SysAllocString(text.c_str());
    benchmark::DoNotOptimize(b);
    SysFreeString(b);
  }
}
BENCHMARK(BM_SysAllocFree)->Arg(16)->Arg(1000);

void BM_SafeArrayGetElement3D(benchmark::State& state) {
  SAFEARRAYBOUND b[3] = {{10, 1}, {10, 1}, {10, 1}};
  SAFEARRAY* psa = SafeArrayCreate(VT_R8, 3, b);
  LONG idx[3] = {5, 6, 7};
  double v = 0;
  for (auto _ : state) {
    HRESULT hr = SafeArrayGetElement(psa, idx, &v);
    benchmark::DoNotOptimize(hr);
    benchmark::DoNotOptimize(v);
  }
  SafeArrayDestroy(psa);
}
BENCHMARK(BM_SafeArrayGetElement3D);

}  // namespace

BENCHMARK_MAIN();

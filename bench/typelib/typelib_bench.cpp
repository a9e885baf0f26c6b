// File: bench/typelib/typelib_bench.cpp
//
// What late binding costs: GetIDsOfNames, Invoke of a property get and of a
// three-argument method on a trivial object against the same calls through
// the virtual table, and LoadRegTypeLib with the library cached (warm: the
// registry unchanged since the last load) and with nothing cached (cold: the
// registry's keys and the file read again). Runs against a private registry.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/ole/oleauto.h"
#include "platform/ole/typelib/load_type_lib.h"
#include "platform/ole/typelib/text16.h"
#include "testing/mvcomm_slots.h"

namespace {

using mvcomm::testing::IMVCommSlots;
using mvcomm::testing::TrivialMVComm;

struct Fixture {
  ITypeLib* lib = nullptr;
  ITypeInfo* info = nullptr;
  GUID libId{};
  std::string registryDir;

  Fixture() {
    char pattern[] = "/tmp/mvcomm-bench-XXXXXX";
    registryDir = mkdtemp(pattern);
    setenv("MVCOMM_REGISTRY", (registryDir + "/registry.db").c_str(), 1);
    std::u16string path = mvcomm::typelib::Utf8ToUtf16(MVCOMM_TLB_FILE);
    if (FAILED(LoadTypeLib(path.c_str(), &lib)) || FAILED(lib->GetTypeInfo(0, &info))) std::abort();
    TLIBATTR* a = nullptr;
    lib->GetLibAttr(&a);
    libId = a->guid;
    lib->ReleaseTLibAttr(a);
    if (FAILED(RegisterTypeLib(lib, path.c_str(), nullptr))) std::abort();
  }
  ~Fixture() {
    info->Release();
    lib->Release();
    std::filesystem::remove_all(registryDir);
  }
};

Fixture& F() {
  static Fixture f;
  return f;
}

void BM_GetIDsOfNames(benchmark::State& state) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(u"ReadData")};
  MEMBERID id;
  for (auto _ : state) {
    benchmark::DoNotOptimize(F().info->GetIDsOfNames(names, 1, &id));
    benchmark::DoNotOptimize(id);
  }
}
BENCHMARK(BM_GetIDsOfNames);

void BM_PropertyGetDirect(benchmark::State& state) {
  TrivialMVComm obj;
  IMVCommSlots* volatile p = &obj;
  LONG v;
  for (auto _ : state) {
    benchmark::DoNotOptimize(p->get_errorcode(&v));
    benchmark::DoNotOptimize(v);
  }
}
BENCHMARK(BM_PropertyGetDirect);

void BM_PropertyGetInvoke(benchmark::State& state) {
  TrivialMVComm obj;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT result;
  VariantInit(&result);
  for (auto _ : state) {
    benchmark::DoNotOptimize(F().info->Invoke(static_cast<IMVCommSlots*>(&obj), 4, DISPATCH_PROPERTYGET, &none,
                                              &result, nullptr, nullptr));
    benchmark::DoNotOptimize(result.lVal);
  }
}
BENCHMARK(BM_PropertyGetInvoke);

void BM_Method3Direct(benchmark::State& state) {
  TrivialMVComm obj;
  IMVCommSlots* volatile p = &obj;
  for (auto _ : state) benchmark::DoNotOptimize(p->rtwriterecord(1, 2, 3));
}
BENCHMARK(BM_Method3Direct);

void BM_Method3Invoke(benchmark::State& state) {
  TrivialMVComm obj;
  VARIANT args[3];
  for (int k = 0; k < 3; ++k) {
    VariantInit(&args[k]);
    args[k].vt = VT_I4;
    args[k].lVal = 3 - k;  // reversed: cardid, employeeid, numrecord
  }
  DISPPARAMS dp = {args, nullptr, 3, 0};
  for (auto _ : state)
    benchmark::DoNotOptimize(F().info->Invoke(static_cast<IMVCommSlots*>(&obj), 18, DISPATCH_METHOD, &dp, nullptr,
                                              nullptr, nullptr));
}
BENCHMARK(BM_Method3Invoke);

void BM_LoadRegTypeLibWarm(benchmark::State& state) {
  for (auto _ : state) {
    ITypeLib* lib = nullptr;
    if (FAILED(LoadRegTypeLib(F().libId, 1, 0, 0, &lib))) state.SkipWithError("not registered");
    else lib->Release();
  }
}
BENCHMARK(BM_LoadRegTypeLibWarm);

void BM_LoadRegTypeLibCold(benchmark::State& state) {
  for (auto _ : state) {
    mvcomm::typelib::DropTypeLibCache();
    ITypeLib* lib = nullptr;
    if (FAILED(LoadRegTypeLib(F().libId, 1, 0, 0, &lib))) state.SkipWithError("not registered");
    else lib->Release();
  }
}
BENCHMARK(BM_LoadRegTypeLibCold);

}  // namespace

BENCHMARK_MAIN();

// File: bench/component/component_bench.cpp
//
// What the automation layers cost over the terminal class itself: property
// get of errorcode early bound (the vtable slot) and late bound (Invoke with
// the dispatch identifier resolved once), late-bound moverecord, and object
// creation; each beside the direct C++ call on n_cst_mvcomm. Compare the
// times as ratios.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "component/imvcomm.h"
#include "platform/ole/oleauto.h"
#include "terminal/n_cst_mvcomm.h"
#include "testing/temp_registry.h"

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);

namespace {

using mvcomm::component::IID_IMVComm;
using mvcomm::component::IMVComm;

constexpr CLSID kClsid = {0xB17D7DC8, 0xC9DA, 0x4A37, {0xA1, 0x24, 0x83, 0xD2, 0x55, 0xE8, 0x71, 0xA5}};

// A registry database of its own, in a folder removed when the process ends.
const mvcomm::testing::TempRegistry kPrivateRegistry;

IClassFactory* factory() {
  static IClassFactory* f = [] {
    IClassFactory* p = nullptr;
    (void)DllGetClassObject(kClsid, IID_IClassFactory, reinterpret_cast<void**>(&p));
    return p;
  }();
  return f;
}

IMVComm* newObject() {
  IMVComm* o = nullptr;
  (void)factory()->CreateInstance(nullptr, IID_IMVComm, reinterpret_cast<void**>(&o));
  return o;
}

DISPID dispid(IMVComm* o, const char16_t* name) {
  LPOLESTR n = const_cast<LPOLESTR>(name);
  DISPID id = 0;
  (void)o->GetIDsOfNames(IID_NULL, &n, 1, 0, &id);
  return id;
}

// A table of two rows to move over.
void fillTable(IMVComm* o) {
  (void)o->rtbeginwrite(2);
  (void)o->rtwriterecord(1, 11, 1111);
  (void)o->rtwriterecord(2, 22, 2222);
}

void BM_ErrorcodeDirect(benchmark::State& state) {
  mvcomm::n_cst_mvcomm comm;
  for (auto _ : state) {
    benchmark::DoNotOptimize(&comm);
    std::int32_t v = comm.errorcode;
    benchmark::DoNotOptimize(v);
  }
}
BENCHMARK(BM_ErrorcodeDirect);

void BM_ErrorcodeEarlyBound(benchmark::State& state) {
  IMVComm* o = newObject();
  if (o == nullptr) {
    state.SkipWithError("no object");
    return;
  }
  for (auto _ : state) {
    LONG v = 0;
    benchmark::DoNotOptimize(o->get_errorcode(&v));
    benchmark::DoNotOptimize(v);
  }
  o->Release();
}
BENCHMARK(BM_ErrorcodeEarlyBound);

void BM_ErrorcodeLateBound(benchmark::State& state) {
  IMVComm* o = newObject();
  if (o == nullptr) {
    state.SkipWithError("no object");
    return;
  }
  const DISPID id = dispid(o, u"errorcode");
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  for (auto _ : state) {
    VARIANT r;
    VariantInit(&r);
    benchmark::DoNotOptimize(o->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &r, nullptr, nullptr));
    benchmark::DoNotOptimize(r.lVal);
  }
  o->Release();
}
BENCHMARK(BM_ErrorcodeLateBound);

void BM_MoverecordDirect(benchmark::State& state) {
  mvcomm::n_cst_mvcomm comm;
  comm.rtbeginwrite(2);
  comm.rtwriterecord(1, 11, 1111);
  comm.rtwriterecord(2, 22, 2222);
  std::int32_t row = 0;
  for (auto _ : state) {
    comm.moverecord(row % 2 + 1, 2);
    ++row;
    benchmark::DoNotOptimize(comm.rtemployeeid);
  }
}
BENCHMARK(BM_MoverecordDirect);

// Through IMVComm: the same steps from the interface to the VM call as a
// late-bound call takes, without the name and argument handling.
void BM_MoverecordEarlyBound(benchmark::State& state) {
  IMVComm* o = newObject();
  if (o == nullptr) {
    state.SkipWithError("no object");
    return;
  }
  fillTable(o);
  LONG row = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(o->moverecord(row % 2 + 1, 2));
    ++row;
  }
  o->Release();
}
BENCHMARK(BM_MoverecordEarlyBound);

void BM_MoverecordLateBound(benchmark::State& state) {
  IMVComm* o = newObject();
  if (o == nullptr) {
    state.SkipWithError("no object");
    return;
  }
  fillTable(o);
  const DISPID id = dispid(o, u"moverecord");
  VARIANT args[2];
  VariantInit(&args[0]);
  VariantInit(&args[1]);
  args[0].vt = VT_I4;  // flag (arguments go last first)
  args[0].lVal = 2;
  args[1].vt = VT_I4;  // numrecord
  DISPPARAMS params{args, nullptr, 2, 0};
  LONG row = 0;
  for (auto _ : state) {
    args[1].lVal = row % 2 + 1;
    ++row;
    benchmark::DoNotOptimize(o->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr));
  }
  o->Release();
}
BENCHMARK(BM_MoverecordLateBound);

void BM_CreateAndRelease(benchmark::State& state) {
  // A live object keeps the thread's session, as in a client that holds one.
  IMVComm* keep = newObject();
  for (auto _ : state) {
    IMVComm* o = newObject();
    benchmark::DoNotOptimize(o);
    if (o != nullptr) o->Release();
  }
  if (keep != nullptr) keep->Release();
}
BENCHMARK(BM_CreateAndRelease);

}  // namespace
BENCHMARK_MAIN();

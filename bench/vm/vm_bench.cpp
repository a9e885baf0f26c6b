// File: bench/vm/vm_bench.cpp
//
// What reaching n_cst_mvcomm through the VM by name costs against calling
// it directly: reading an instance variable, and calling moverecord, each
// done the way the automation layer does it (a fresh name, value context,
// values and arguments per call, all released).

#include <benchmark/benchmark.h>

#include "terminal/n_cst_mvcomm.h"
#include "vm/vm_api.h"

namespace {

using namespace mvcomm::vm;

struct Session {
  IVMSession* session = nullptr;
  IVMObject* object = nullptr;
  Session() {
    IVMString* path = nullptr;
    IVMString* cls = nullptr;
    vmMakeString(MVCOMM_MODULE, &path);
    vmMakeString("n_cst_mvcomm", &cls);
    if (vmStartSession(nullptr, path, 1, 0, &session) < 0 ||
        vmCreateObject(cls, session, &object) < 0) {
      object = nullptr;
    }
    cls->Release();
    path->Release();
  }
  ~Session() {
    if (object) object->Release();
    if (session) session->Release();
  }
};

void BM_ReadVariableDirect(benchmark::State& state) {
  mvcomm::n_cst_mvcomm o;
  for (auto _ : state) {
    benchmark::DoNotOptimize(o.rsrows);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ReadVariableDirect);

void BM_ReadVariableByName(benchmark::State& state) {
  Session s;
  if (!s.object) return state.SkipWithError("no session");
  for (auto _ : state) {
    IVMString* name = nullptr;
    IVMValue* value = nullptr;
    int32_t rows = 0;
    vmMakeString("rsrows", &name);
    s.object->getVariable(name, &value);
    value->getLong(&rows);
    benchmark::DoNotOptimize(rows);
    value->Release();
    name->Release();
  }
}
BENCHMARK(BM_ReadVariableByName);

void BM_MoverecordDirect(benchmark::State& state) {
  mvcomm::n_cst_mvcomm o;
  o.rtbeginwrite(3);
  for (auto _ : state) {
    o.moverecord(2, 2);
    benchmark::DoNotOptimize(o.rtemployeeid);
  }
}
BENCHMARK(BM_MoverecordDirect);

void BM_MoverecordByName(benchmark::State& state) {
  Session s;
  if (!s.object) return state.SkipWithError("no session");
  {
    // rtbeginwrite(3) by name, so moverecord selects a real row.
    IVMValueContext* ctx = nullptr;
    IVMString* name = nullptr;
    IVMValue* v = nullptr;
    IVMArgument* a = nullptr;
    s.object->valueContext(&ctx);
    vmMakeString("rtbeginwrite", &name);
    vmMakeValue(kTypeLong, ctx, &v);
    v->setLong(3);
    vmMakeArgument(v, kArgByValue, &a);
    s.object->callFunction(name, &a, 1, nullptr, nullptr, nullptr);
    a->Release();
    v->Release();
    name->Release();
    ctx->Release();
  }
  for (auto _ : state) {
    IVMValueContext* ctx = nullptr;
    IVMString* name = nullptr;
    IVMValue* values[2] = {};
    IVMArgument* args[2] = {};
    IVMValue* result = nullptr;
    IUnknown* second = nullptr;
    uint32_t word = 0;
    s.object->valueContext(&ctx);
    vmMakeString("moverecord", &name);
    const int32_t in[2] = {2, 2};
    for (int i = 0; i < 2; ++i) {
      vmMakeValue(kTypeLong, ctx, &values[i]);
      values[i]->setLong(in[i]);
      vmMakeArgument(values[i], kArgByValue, &args[i]);
    }
    benchmark::DoNotOptimize(s.object->callFunction(name, args, 2, &result, &second, &word));
    if (result) result->Release();
    if (second) second->Release();
    for (int i = 0; i < 2; ++i) {
      values[i]->Release();
      args[i]->Release();
    }
    name->Release();
    ctx->Release();
  }
}
BENCHMARK(BM_MoverecordByName);

}  // namespace

BENCHMARK_MAIN();

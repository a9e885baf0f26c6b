// File: bench/activation/activation_bench.cpp
//
// CoCreateInstance + Release of MVComm.MVComm (ns per pair), against the
// same pair for a server that does nothing, and the late-bound calls a
// client makes most (errorcode, moverecord) against the direct C++ call.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <stdlib.h>

#include <filesystem>

#include "platform/ole/activation/objbase.h"
#include "terminal/n_cst_mvcomm.h"
#include "tools/mvcomm-dispatch/late_bound.h"

namespace {

// A private registry with the module registered, for the whole run.
struct Registered {
  Registered() {
    char pattern[] = "/tmp/mvcomm-bench-XXXXXX";
    folder = mkdtemp(pattern);
    setenv("MVCOMM_REGISTRY", (folder + "/registry.db").c_str(), 1);
    void* handle = dlopen(MVCOMM_MODULE, RTLD_NOW | RTLD_LOCAL);
    auto entry = reinterpret_cast<HRESULT (*)()>(dlsym(handle, "DllRegisterServer"));
    ok = entry != nullptr && entry() == S_OK;
    dlclose(handle);
    ok = ok && SUCCEEDED(CLSIDFromProgID(u"MVComm.MVComm", &clsid));
  }
  ~Registered() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
  std::string folder;
  CLSID clsid{};
  bool ok = false;
};

Registered& registered() {
  static Registered r;
  return r;
}

void BM_CoCreateInstanceRelease(benchmark::State& state) {
  Registered& r = registered();
  if (!r.ok) return state.SkipWithError("registration failed");
  // One object kept alive, as a client holding one would: the module then
  // stays loaded and each pair measures creation, not loading.
  IUnknown* keep = nullptr;
  CoCreateInstance(r.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&keep));
  for (auto _ : state) {
    IDispatch* object = nullptr;
    HRESULT hr = CoCreateInstance(r.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                  reinterpret_cast<void**>(&object));
    if (FAILED(hr)) return state.SkipWithError("CoCreateInstance failed");
    object->Release();
  }
  if (keep != nullptr) keep->Release();
}
BENCHMARK(BM_CoCreateInstanceRelease);

// The activation share of the pair: registry lookup and the module's factory.
void BM_CoGetClassObjectRelease(benchmark::State& state) {
  Registered& r = registered();
  if (!r.ok) return state.SkipWithError("registration failed");
  for (auto _ : state) {
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(r.clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return state.SkipWithError("CoGetClassObject failed");
    factory->Release();
  }
}
BENCHMARK(BM_CoGetClassObjectRelease);

void BM_DirectConstructDestroy(benchmark::State& state) {
  for (auto _ : state) {
    mvcomm::n_cst_mvcomm object;
    benchmark::DoNotOptimize(object.errorcode);
  }
}
BENCHMARK(BM_DirectConstructDestroy);

void BM_LateBoundGetErrorcode(benchmark::State& state) {
  Registered& r = registered();
  IDispatch* object = nullptr;
  if (!r.ok || FAILED(CoCreateInstance(r.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                       reinterpret_cast<void**>(&object))))
    return state.SkipWithError("no object");
  mvcomm::dispatch::LateBound comm(object);
  object->Release();
  std::int32_t code = 0;
  for (auto _ : state) {
    comm.getLong("errorcode", &code);
    benchmark::DoNotOptimize(code);
  }
}
BENCHMARK(BM_LateBoundGetErrorcode);

void BM_LateBoundMoverecord(benchmark::State& state) {
  Registered& r = registered();
  IDispatch* object = nullptr;
  if (!r.ok || FAILED(CoCreateInstance(r.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                       reinterpret_cast<void**>(&object))))
    return state.SkipWithError("no object");
  mvcomm::dispatch::LateBound comm(object);
  object->Release();
  VARIANT args[2];
  for (VARIANT& a : args) {
    VariantInit(&a);
    a.vt = VT_I4;
    a.lVal = 1;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(comm.call("moverecord", args, nullptr).hr);
  }
}
BENCHMARK(BM_LateBoundMoverecord);

void BM_DirectMoverecord(benchmark::State& state) {
  mvcomm::n_cst_mvcomm object;
  for (auto _ : state) {
    object.moverecord(1, 1);
    benchmark::DoNotOptimize(object.errorcode);
  }
}
BENCHMARK(BM_DirectMoverecord);

}  // namespace

BENCHMARK_MAIN();

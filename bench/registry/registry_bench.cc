// What registry work costs: a warm value read (what object creation does for
// its type library), a key open, a value write, and a whole registration.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/registry/winreg.h"
#include "server/registration/component_descriptor.h"
#include "server/registration/registration.h"

namespace {

// A private database file for the whole run.
class BenchRegistry {
 public:
  BenchRegistry() {
    char pattern[] = "/tmp/mvcomm-bench-reg-XXXXXX";
    folder_ = mkdtemp(pattern);
    setenv("MVCOMM_REGISTRY", (folder_ + "/registry.db").c_str(), 1);
  }
  ~BenchRegistry() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

 private:
  std::string folder_;
};

BenchRegistry& benchRegistry() {
  static BenchRegistry registry;
  return registry;
}

const std::string kModule = "/usr/lib/mvcomm/libMVComm.so";
const char kWin32Key[] = "TypeLib\\{719FD99B-2836-423E-B549-75CBDC092206}\\1.0\\0\\win32";

void registerOnce() {
  static mvcomm::registration::ComponentDescriptor component(&kModule, nullptr);
  static bool done = mvcomm::registration::registerServer(component.descriptor()) >= 0;
  (void)done;
}

void BM_QueryValueWarm(benchmark::State& state) {
  benchRegistry();
  registerOnce();
  HKEY key = nullptr;
  RegOpenKeyExA(HKEY_CLASSES_ROOT, kWin32Key, 0, KEY_READ, &key);
  char buffer[512];
  for (auto _ : state) {
    DWORD size = sizeof buffer;
    LONG err = RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    benchmark::DoNotOptimize(err);
  }
  RegCloseKey(key);
}
BENCHMARK(BM_QueryValueWarm);

void BM_OpenQueryCloseWarm(benchmark::State& state) {
  benchRegistry();
  registerOnce();
  char buffer[512];
  for (auto _ : state) {
    HKEY key = nullptr;
    RegOpenKeyExA(HKEY_CLASSES_ROOT, kWin32Key, 0, KEY_READ, &key);
    DWORD size = sizeof buffer;
    LONG err = RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    benchmark::DoNotOptimize(err);
  }
}
BENCHMARK(BM_OpenQueryCloseWarm);

void BM_SetValue(benchmark::State& state) {
  benchRegistry();
  HKEY key = nullptr;
  RegCreateKeyExA(HKEY_CLASSES_ROOT, "Bench", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  const BYTE text[] = "Apartment";
  for (auto _ : state) {
    LONG err = RegSetValueExA(key, "ThreadingModel", 0, REG_SZ, text, sizeof text);
    benchmark::DoNotOptimize(err);
  }
  RegCloseKey(key);
}
BENCHMARK(BM_SetValue)->Unit(benchmark::kMicrosecond);

void BM_RegisterServer(benchmark::State& state) {
  benchRegistry();
  mvcomm::registration::ComponentDescriptor component(&kModule, nullptr);
  for (auto _ : state) {
    HRESULT hr = mvcomm::registration::registerServer(component.descriptor());
    benchmark::DoNotOptimize(hr);
  }
}
BENCHMARK(BM_RegisterServer)->Unit(benchmark::kMillisecond);

void BM_RegisterUnregisterPair(benchmark::State& state) {
  benchRegistry();
  mvcomm::registration::ComponentDescriptor component(&kModule, nullptr);
  for (auto _ : state) {
    mvcomm::registration::registerServer(component.descriptor());
    HRESULT hr = mvcomm::registration::unregisterServer(component.descriptor());
    benchmark::DoNotOptimize(hr);
  }
  mvcomm::registration::registerServer(component.descriptor());
}
BENCHMARK(BM_RegisterUnregisterPair)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

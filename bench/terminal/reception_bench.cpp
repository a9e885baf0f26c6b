// File: bench/terminal/reception_bench.cpp
//
// Real-time reception on a pseudo-terminal through the whole receive path
// (DTR, purges, the wait loop): host CPU time over wall time while it waits
// (target under 1%), and the idle time-out's accuracy, that is end of
// reception minus (last byte + idle time-out), median and maximum over 50
// receptions (target under 2 ms).
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "platform/clock.h"
#include "testing/pty_pair.h"
#include "testing/terminal_probe.h"

namespace {

using namespace mvcomm;
using namespace std::chrono_literals;
using P = n_cst_mvcomm_probe;

double threadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

struct Far {
  // Sends the bursts, 'delays' after `start`, and notes when the last left.
  static Clock::time_point play(testing::PtyPair& pty, Clock::time_point start,
                                std::initializer_list<std::chrono::milliseconds> delays) {
    Clock::time_point last{};
    for (auto d : delays) {
      MonotonicClock::instance().sleepUntil(start + d);
      pty.send(std::vector<std::uint8_t>(50, 0x55));
      last = MonotonicClock::instance().now();
    }
    return last;
  }
};

void BM_ReceptionCpuOverWall(benchmark::State& state) {
  testing::PtyPair pty(51);
  n_cst_mvcomm o;
  o.commport = 51;
  double cpu = 0;
  double wall = 0;
  for (auto _ : state) {
    if (!P::opencomm(o)) state.SkipWithError("open failed");
    auto start = MonotonicClock::instance().now();
    std::thread far([&] { Far::play(pty, start, {150ms, 450ms}); });
    std::vector<std::uint8_t> buffer;
    std::int32_t got = 0;
    double c0 = threadCpuSeconds();
    P::receivedata(o, buffer, got, true);
    cpu += threadCpuSeconds() - c0;
    wall += std::chrono::duration<double>(MonotonicClock::instance().now() - start).count();
    far.join();
    if (got != 100) state.SkipWithError("short reception");
    P::seterrorinfo(o, 0, false);  // closes the port
  }
  state.counters["cpu_over_wall_pct"] = 100.0 * cpu / wall;
  state.counters["wall_s_per_reception"] = wall / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ReceptionCpuOverWall)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_IdleTimeOutAccuracy(benchmark::State& state) {
  testing::PtyPair pty(52);
  n_cst_mvcomm o;
  o.commport = 52;
  o.receivedatatimelapse = 100;
  const auto idle = 100ms;
  std::vector<double> lateMs;
  for (auto _ : state) {
    if (!P::opencomm(o)) state.SkipWithError("open failed");
    for (int i = 0; i < 50; ++i) {
      auto start = MonotonicClock::instance().now();
      Clock::time_point last{};
      std::thread far([&] { last = Far::play(pty, start, {20ms, 60ms}); });
      std::vector<std::uint8_t> buffer;
      std::int32_t got = 0;
      P::receivedata(o, buffer, got, true);
      auto end = MonotonicClock::instance().now();
      far.join();
      lateMs.push_back(std::chrono::duration<double, std::milli>(end - (last + idle)).count());
    }
    P::seterrorinfo(o, 0, false);
  }
  std::sort(lateMs.begin(), lateMs.end());
  state.counters["late_median_ms"] = lateMs[lateMs.size() / 2];
  state.counters["late_max_ms"] = lateMs.back();
  state.counters["late_min_ms"] = lateMs.front();
}
BENCHMARK(BM_IdleTimeOutAccuracy)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

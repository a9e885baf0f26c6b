// File: bench/terminal/decode_bench.cpp
//
// Decoding a full 150000-byte new-model stream, against a memcpy of the
// same bytes as the floor; once with the host's own check form, and once
// with check bytes of no form it knows, which makes it try every form on
// every frame.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "terminal/frames.h"
#include "terminal/record_decoder.h"

namespace {

using namespace mvcomm;

// Frames of 50 records (K = 200) under a new date every 10 frames, closed by
// an empty EOT frame, padded to 150000 bytes (bytes past EOT are not read).
// `unknownCheck` spoils every frame's check bytes alike.
std::vector<std::uint8_t> fullStream(std::size_t& records, bool unknownCheck = false) {
  std::vector<std::uint8_t> s;
  records = 0;
  auto add = [&](terminal::Frame f) {
    if (unknownCheck) {
      f[f.size() - 2] ^= 0x5A;
      f[f.size() - 1] ^= 0xA5;
    }
    s.insert(s.end(), f.begin(), f.end());
  };
  add(terminal::dataFrame(terminal::kKindHeader, std::vector<std::uint8_t>{0xFF, 0xFF}, false));
  std::vector<std::uint8_t> payload(200);
  for (int frame = 0;; ++frame) {
    if (frame % 10 == 0) {
      auto date = terminal::dataFrame(terminal::kKindDate,
                                      std::vector<std::uint8_t>{0x7C, 1, static_cast<std::uint8_t>(1 + frame / 10 % 28)}, false);
      if (s.size() + date.size() + 206 + 6 > 150000) break;
      add(date);
    }
    if (s.size() + 206 + 6 > 150000) break;
    for (int r = 0; r < 50; ++r) {
      auto rec = terminal::encodeRecord({static_cast<std::uint16_t>(frame * 50 + r), static_cast<std::uint8_t>(1 + r % 8),
                                         static_cast<std::uint8_t>(r % 24), static_cast<std::uint8_t>(r % 60)});
      std::copy(rec.begin(), rec.end(), payload.begin() + 4 * r);
    }
    add(terminal::dataFrame(200, payload, false));
    records += 50;
  }
  add(terminal::dataFrame(0, std::vector<std::uint8_t>{}, true));
  s.resize(150000, 0x00);
  return s;
}

void BM_DecodeFullStream(benchmark::State& state) {
  std::size_t records = 0;
  const auto stream = fullStream(records, state.range(0) != 0);
  std::vector<str_record> out;
  out.reserve(records);
  for (auto _ : state) {
    out.clear();
    if (terminal::decodeNewModelStream(stream, out) != terminal::FrameCheck::kWhole) {
      state.SkipWithError("the stream does not check whole");
      break;
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["records"] = static_cast<double>(out.size());
  state.counters["ns_per_record"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * static_cast<double>(out.size()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 150000);
}
// 0: the host's own check on every frame; 1: a check of no known form.
BENCHMARK(BM_DecodeFullStream)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_MemcpySameBytes(benchmark::State& state) {
  std::size_t records = 0;
  const auto stream = fullStream(records);
  std::vector<std::uint8_t> copy(stream.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), stream.data(), stream.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 150000);
}
BENCHMARK(BM_MemcpySameBytes)->Unit(benchmark::kMicrosecond);

}  // namespace

// File: fuzz/terminal/old_frames_fuzzer.cpp
//
// The old-model transfer: the input is a sequence of frames, each preceded
// by its length byte (0 to 255). The first frame is what followed the read
// command's acknowledgement; each later one answers the host's ACK after a
// delay taken from the input, and silence follows the last.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "tests/terminal/fake_line.h"
#include "tests/terminal/probe.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mvcomm;
  using namespace std::chrono_literals;
  std::vector<std::vector<std::uint8_t>> frames;
  std::vector<Clock::duration> delays;
  std::size_t p = 0;
  while (p + 1 < size && frames.size() < 400) {
    std::size_t length = data[p];
    delays.push_back(std::chrono::milliseconds(10 * (data[p + 1] & 0x7F)));  // up to 1270 ms
    p += 2;
    length = std::min(length, size - p);
    frames.emplace_back(data + p, data + p + length);
    p += length;
  }
  if (frames.empty()) return 0;

  auto clock = std::make_shared<testing::FakeClock>();
  auto line = std::make_shared<testing::FakeLine>(clock);
  std::size_t next = 1;
  line->setResponder([&](const testing::SentFrame& f) -> testing::Reply {
    if (f.bytes.size() != 5 || f.bytes[0] != 0x06 || next >= frames.size()) return {};
    std::size_t i = next++;
    return {{delays[i] + 1ms, frames[i]}};
  });
  n_cst_mvcomm o(std::make_shared<testing::FakeOpener>(line), clock);
  o.commport = 1;
  o.bautrate = 2400;
  if (!n_cst_mvcomm_probe::opencomm(o)) __builtin_trap();
  std::vector<std::uint8_t> first = frames[0];
  bool ok = n_cst_mvcomm_probe::readdatafromold(o, first, static_cast<std::int32_t>(first.size()));
  // Without line faults, the only failure is "no data".
  if (!ok && o.errorcode != 20013) __builtin_trap();
  if (ok && o.rsrows != static_cast<std::int32_t>(o.records().size())) __builtin_trap();
  if (!ok && o.rsrows != 0) __builtin_trap();
  return 0;
}

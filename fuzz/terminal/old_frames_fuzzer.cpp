// File: fuzz/terminal/old_frames_fuzzer.cpp
//
// The old-model transfer: the input is a sequence of frames, each preceded
// by its length byte (0 to 255) and a delay byte. The first frame is what
// followed the read command's acknowledgement; each later one answers the
// host's ACK after the delay (bit 7 of the delay byte set: the frame gets
// its end byte and CRC made right, so that the transfer's own logic is
// reached), and silence follows the last.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "testing/fake_line.h"
#include "testing/terminal_probe.h"
#include "terminal/frames.h"

namespace {

// Makes `frame` sound where its length allows: end byte, then CRC.
void mend(std::vector<std::uint8_t>& frame, bool last) {
  using namespace mvcomm::terminal;
  if (frame.size() < 2) return;
  const std::uint8_t k = frame[1];
  const std::size_t payload = k == kKindHeader ? 2 : k == kKindDate ? 3 : k;
  if (frame.size() < payload + 6) return;
  frame.resize(payload + 6);
  frame[3 + payload] = last ? kEot : kEtx;
  const std::uint16_t crc = crc16(std::span(frame).first(payload + 4));
  frame[payload + 4] = static_cast<std::uint8_t>(crc & 0xFF);
  frame[payload + 5] = static_cast<std::uint8_t>(crc >> 8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mvcomm;
  using namespace std::chrono_literals;
  std::vector<std::vector<std::uint8_t>> frames;
  std::vector<Clock::duration> delays;
  std::size_t p = 0;
  while (p + 1 < size && frames.size() < 400) {
    std::size_t length = data[p];
    const std::uint8_t delay = data[p + 1];
    delays.push_back(std::chrono::milliseconds(10 * (delay & 0x3F)));  // up to 630 ms
    p += 2;
    length = std::min(length, size - p);
    frames.emplace_back(data + p, data + p + length);
    if (delay & 0x80) mend(frames.back(), delay & 0x40);
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
  // Without line faults, the only failures are a transfer that does not
  // end and a damaged frame; either leaves the set empty.
  if (!ok && o.errorcode != 20013 && o.errorcode != 20012) __builtin_trap();
  if (o.rsrows != static_cast<std::int32_t>(o.records().size())) __builtin_trap();
  if (!ok && o.rsrows != 0) __builtin_trap();
  // A frame is acknowledged at most once, and never more than the input holds.
  if (line->frames().size() > frames.size()) __builtin_trap();
  return 0;
}

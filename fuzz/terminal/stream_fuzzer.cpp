// File: fuzz/terminal/stream_fuzzer.cpp
//
// The new-model record stream: any bytes a terminal may send after the
// acknowledgement of the read command, checked and decoded as readdata
// does. The first input byte picks the form of the rest:
//
//   even: the bytes as they are (almost always refused: no frame structure);
//   odd:  frames to build, so that the decoder sees sound frames too. Each
//         is a flags byte (bit 0: ends in EOT, bit 1: CRC spoiled, bit 2:
//         end byte left as given), the control byte K, the third byte and
//         the payload (2, 3 or K bytes, fewer when the input runs out).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "testing/fake_line.h"
#include "testing/terminal_probe.h"
#include "terminal/frames.h"
#include "terminal/record_decoder.h"

namespace {

std::vector<std::uint8_t> buildFrames(const std::uint8_t* data, std::size_t size) {
  using namespace mvcomm::terminal;
  std::vector<std::uint8_t> stream;
  std::size_t p = 0;
  while (p + 3 <= size) {
    const std::uint8_t flags = data[p];
    const std::uint8_t k = data[p + 1];
    const std::size_t payload = k == kKindHeader ? 2 : k == kKindDate ? 3 : k;
    std::vector<std::uint8_t> frame{kStx, k, data[p + 2]};
    p += 3;
    const std::size_t take = std::min(payload, size - p);
    frame.insert(frame.end(), data + p, data + p + take);
    p += take;
    if (take < payload) {  // the input ran out: a frame cut short
      stream.insert(stream.end(), frame.begin(), frame.end());
      break;
    }
    frame.push_back((flags & 4) && p < size ? data[p++] : (flags & 1) ? kEot : kEtx);
    appendCrc(frame);
    if (flags & 2) frame.back() ^= 0x01;
    stream.insert(stream.end(), frame.begin(), frame.end());
  }
  return stream;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mvcomm;
  if (size == 0) return 0;
  // A copy of exactly the stream's bytes, so a read past the end is caught.
  std::vector<std::uint8_t> stream =
      (data[0] & 1) ? buildFrames(data + 1, size - 1) : std::vector<std::uint8_t>(data + 1, data + size);
  std::vector<str_record> out;
  const terminal::FrameCheck check = terminal::decodeNewModelStream(stream, out);
  for (const str_record& r : out) {
    if (r.workclass.size() != 1 || r.workclass[0] < '1' || r.workclass[0] > '8') __builtin_trap();
    if (r.cardedtime && !r.cardedtime->isValid()) __builtin_trap();
    if (r.employeeid < 0 || r.employeeid > 65535) __builtin_trap();
  }
  if (out.size() * terminal::kRecordSize > stream.size()) __builtin_trap();

  static auto clock = std::make_shared<testing::FakeClock>();
  static auto line = std::make_shared<testing::FakeLine>(clock);
  static n_cst_mvcomm object(std::make_shared<testing::FakeOpener>(line), clock);
  const bool ok = n_cst_mvcomm_probe::parsedata(object, stream, static_cast<std::int32_t>(stream.size()));
  // Records are taken from a whole, sound stream only, all of them.
  if (ok != (check == terminal::FrameCheck::kWhole)) __builtin_trap();
  if (object.rsrows != static_cast<std::int32_t>(object.records().size())) __builtin_trap();
  if (ok) {
    if (object.records().size() != out.size()) __builtin_trap();
    if (out.empty() && object.errorcode != 20013) __builtin_trap();
  } else {
    // Empty input is refused before the set is touched.
    if (!stream.empty() && object.rsrows != 0) __builtin_trap();
    const std::int32_t expected =
        stream.empty() || check == terminal::FrameCheck::kDamaged ? 20012 : 20013;
    if (object.errorcode != expected) __builtin_trap();
  }
  return 0;
}

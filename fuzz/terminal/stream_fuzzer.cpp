// File: fuzz/terminal/stream_fuzzer.cpp
//
// The new-model record stream: any bytes a terminal may send after the
// acknowledgement of the read command, decoded as readdata decodes them.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tests/terminal/fake_line.h"
#include "tests/terminal/probe.h"
#include "terminal/record_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mvcomm;
  // A copy of exactly `size` bytes, so a read past the end is caught.
  std::vector<std::uint8_t> stream(data, data + size);
  std::vector<str_record> out;
  terminal::decodeNewModelStream(stream, out);
  for (const str_record& r : out) {
    if (r.workclass.size() != 1 || r.workclass[0] < '1' || r.workclass[0] > '8') __builtin_trap();
    if (r.cardedtime && !r.cardedtime->isValid()) __builtin_trap();
    if (r.employeeid < 0 || r.employeeid > 65535) __builtin_trap();
  }

  static auto clock = std::make_shared<testing::FakeClock>();
  static auto line = std::make_shared<testing::FakeLine>(clock);
  static n_cst_mvcomm object(std::make_shared<testing::FakeOpener>(line), clock);
  if (!stream.empty()) {
    bool ok = n_cst_mvcomm_probe::parsedata(object, stream, static_cast<std::int32_t>(stream.size()));
    if (!ok || object.rsrows != static_cast<std::int32_t>(out.size())) __builtin_trap();
    if (out.empty() && object.errorcode != 20013) __builtin_trap();
  }
  return 0;
}

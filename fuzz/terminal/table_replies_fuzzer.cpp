// File: fuzz/terminal/table_replies_fuzzer.cpp
//
// readrefertable against block replies taken from the input: each reply is
// preceded by its length byte (bit 7 of the length byte set: the reply's
// CRC is made right when it is long enough, so that sound blocks reach the
// image); silence follows the last. Whatever arrives, the outcome is one of
// the documented ones and the table in memory is either the old one or a
// clean upload.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "terminal/frames.h"
#include "terminal/n_cst_mvcomm.h"
#include "terminal/refer_image.h"
#include "testing/fake_line.h"
#include "testing/scripted_terminal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mvcomm;
  // The image parser alone, on exactly the input's bytes.
  std::vector<std::uint8_t> image(data, data + size);
  for (const str_referrecord& r : terminal::parseReferImage(image)) {
    if (r.employeeid <= 0 || r.employeeid >= 65535 || r.cardid == 0 || r.cardid == 65535) __builtin_trap();
  }

  testing::ScriptedTerminal script;
  std::size_t p = 0;
  while (p < size && script.onBlockRead.size() < 1100) {
    const bool mend = data[p] & 0x80;
    std::size_t length = std::min<std::size_t>(data[p] & 0x7F, size - p - 1);
    std::vector<std::uint8_t> reply(data + p + 1, data + p + 1 + length);
    if (mend && reply.size() >= terminal::kBlockReplySize) {
      const std::uint16_t crc = terminal::crc16(std::span(reply).first(terminal::kBlockReplySize - 2));
      reply[terminal::kBlockReplySize - 2] = static_cast<std::uint8_t>(crc & 0xFF);
      reply[terminal::kBlockReplySize - 1] = static_cast<std::uint8_t>(crc >> 8);
    }
    script.onBlockRead.push_back(std::move(reply));
    p += 1 + length;
  }
  auto clock = std::make_shared<testing::FakeClock>();
  auto line = std::make_shared<testing::FakeLine>(clock);
  line->setResponder(script.responder());
  n_cst_mvcomm o(std::make_shared<testing::FakeOpener>(line), clock);
  o.commport = 1;
  o.bautrate = 2400;
  o.rtbeginwrite(1);
  o.rtwriterecord(1, 4242, 4343);
  o.readrefertable("1");
  if (line->isOpen()) __builtin_trap();
  if (line->frames().empty() || line->frames().back().bytes != terminal::commandA2Frame()) __builtin_trap();
  if (o.errorcode == 0) {
    if (o.rtrows != static_cast<std::int32_t>(o.refertable().size())) __builtin_trap();
  } else if (o.errorcode == 20023) {
    if (o.rtrows != 1 || o.refertable()[0].cardid != 4343) __builtin_trap();
  } else {
    __builtin_trap();
  }
  return 0;
}

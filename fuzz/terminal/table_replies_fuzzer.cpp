// File: fuzz/terminal/table_replies_fuzzer.cpp
//
// readrefertable against block replies taken from the input: each reply is
// preceded by its length byte; silence follows the last. Whatever arrives,
// the outcome is one of the documented ones and the table in memory is
// either the old one or a clean upload.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "terminal/n_cst_mvcomm.h"
#include "tests/terminal/fake_line.h"
#include "tests/terminal/scripted_terminal.h"
#include "terminal/refer_image.h"

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
    std::size_t length = std::min<std::size_t>(data[p], size - p - 1);
    script.onBlockRead.emplace_back(data + p + 1, data + p + 1 + length);
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
  if (o.errorcode == 0) {
    if (o.rtrows != static_cast<std::int32_t>(o.refertable().size())) __builtin_trap();
  } else if (o.errorcode == 20023 || o.errorcode == 9 /* EBADF */) {
    if (o.rtrows != 1 || o.refertable()[0].cardid != 4343) __builtin_trap();
  } else {
    __builtin_trap();
  }
  return 0;
}

// File: tests/tools/stream_watch_test.cpp
//
// A new-model record stream counts as whole only when every frame is
// complete and sound and the last ends in EOT: anything less must stop
// collect from clearing the terminal.
#include <gtest/gtest.h>

#include "emulator/wire.h"
#include "tools/mvcomm/stream_watch.h"

namespace mvcomm::testing {
namespace {

namespace wire = emulator::wire;
using Bytes = std::vector<std::uint8_t>;

Bytes stream(bool withEot = true) {
  Bytes s = wire::acks();
  auto add = [&](const Bytes& f) { s.insert(s.end(), f.begin(), f.end()); };
  add(wire::headerFrame(8, false));
  add(wire::dateFrame({2002, 10, 27}, false));
  const Bytes payload = {0x01, 0x02, 0x4E, 0x1E, 0x04, 0xD2, 0x85, 0x2D};
  add(wire::recordFrame(payload, withEot));
  return s;
}

TEST(StreamWatch, JudgesWholeAndDamagedStreams) {
  struct Row {
    const char* name;
    Bytes bytes;
    bool whole;
    const char* why;
  };
  Bytes whole = stream();
  Bytes badCrc = whole;
  badCrc.back() ^= 0xFF;
  Bytes trailing = whole;
  trailing.push_back(0x00);
  const std::vector<Row> rows = {
      {"whole", whole, true, ""},
      {"acks only", wire::acks(), false, "the stream ended without its EOT frame"},
      {"nothing", {}, false, "no acknowledgement"},
      {"no EOT", stream(false), false, "the stream ended without its EOT frame"},
      {"cut inside the last frame", Bytes(whole.begin(), whole.end() - 3), false,
       "the stream stops inside a frame"},
      {"cut after one byte of a frame", Bytes(whole.begin(), whole.begin() + 6), false,
       "the stream stops inside a frame"},
      {"damaged CRC", badCrc, false, "a frame is damaged"},
      {"bytes after EOT", trailing, false, "bytes after the EOT frame"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    std::size_t records = 99;
    std::string why;
    EXPECT_EQ(cli::newModelStreamComplete(r.bytes, records, why), r.whole);
    EXPECT_EQ(why, r.why);
    if (r.whole) {
      EXPECT_EQ(records, 2u);
    }
  }
}

TEST(StreamWatch, KeepsOnlyTheLastReception) {
  cli::StreamWatch watch;
  const std::uint8_t a[] = {1, 2}, b[] = {3}, c[] = {4, 5};
  watch.onRead(a, 2);
  watch.onRead(b, 1);
  EXPECT_EQ(watch.lastReception(), (Bytes{1, 2, 3}));
  watch.onWrite();
  watch.onRead(c, 2);
  EXPECT_EQ(watch.lastReception(), (Bytes{4, 5}));
}

}  // namespace
}  // namespace mvcomm::testing

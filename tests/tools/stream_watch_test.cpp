// File: tests/tools/stream_watch_test.cpp
//
// A new-model record stream counts as whole only when every frame is
// complete, the last ends in EOT and no frame is off the check the others
// carry: anything less must stop collect from clearing the terminal.
#include <gtest/gtest.h>

#include <functional>

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
      {"damaged CRC", badCrc, false, "a frame is damaged (it does not fit the arc-frame check of the others)"},
      {"bytes after EOT", trailing, true, ""},
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

TEST(StreamWatch, GroupsEachFrameSentWithItsReply) {
  cli::StreamWatch watch;
  const std::uint8_t a[] = {1, 2}, b[] = {3}, c[] = {4, 5};
  watch.onWrite(0x10);
  watch.onWrite(0x11);
  watch.onRead(a, 2);
  watch.onRead(b, 1);
  watch.onWrite(0x12);
  EXPECT_EQ(watch.lastReception(), Bytes{});
  watch.onRead(c, 2);
  ASSERT_EQ(watch.exchanges().size(), 2u);
  EXPECT_EQ(watch.exchanges()[0].sent, (Bytes{0x10, 0x11}));
  EXPECT_EQ(watch.exchanges()[0].received, (Bytes{1, 2, 3}));
  EXPECT_EQ(watch.lastReception(), (Bytes{4, 5}));
  watch.onOpen();
  EXPECT_TRUE(watch.exchanges().empty());
}

// An old-model session: the acknowledged read command brings the first
// frame, then one frame per host ACK, the last ending in EOT.
std::vector<cli::Exchange> oldSession() {
  auto cat = [](Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const Bytes readCommand = {0x02, 0xAA, 0x55, 0x66, 0x0A, 0x1B, 0x20, 0x66, 0x0A, 0x1B, 0x03, 0, 0};
  const Bytes payload = {0x01, 0x02, 0x4E, 0x1E, 0x04, 0xD2, 0x85, 0x2D};
  return {
      {{0x02, 0xA2, 0x5D, 0x19, 0x59}, {}},
      {readCommand, wire::naks()},   // refused once, then acknowledged
      {readCommand, cat(wire::acks(), wire::headerFrame(8, false))},
      {wire::acks(), wire::dateFrame({2002, 10, 27}, false)},
      {wire::acks(), wire::recordFrame(payload, false)},
      {wire::acks(), wire::recordFrame({}, true)},
      {wire::acks(), {}},
  };
}

TEST(StreamWatch, JudgesOldModelTransfers) {
  struct Row {
    const char* name;
    std::function<void(std::vector<cli::Exchange>&)> change;
    bool whole;
    const char* why;
  };
  const std::vector<Row> rows = {
      {"whole", [](auto&) {}, true, ""},
      {"a record frame cut short", [](auto& e) { e[4].received.resize(e[4].received.size() - 3); },
       false, "the stream stops inside a frame"},
      {"silence before EOT", [](auto& e) { e.resize(5); }, false,
       "the transfer ended without its EOT frame"},
      {"damaged frame", [](auto& e) { e[3].received[3] ^= 1; }, false,
       "a frame is damaged (it does not fit the arc-frame check of the others)"},
      {"end byte missing", [](auto& e) { e[3].received[6] = 0x00; }, false, "a frame is damaged"},
      {"never acknowledged", [](auto& e) { e.resize(2); }, false, "no acknowledged read command"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    auto exchanges = oldSession();
    r.change(exchanges);
    std::size_t records = 99;
    std::string why;
    EXPECT_EQ(cli::oldModelTransferComplete(exchanges, records, why), r.whole);
    EXPECT_EQ(why, r.why);
    if (r.whole) {
      EXPECT_EQ(records, 2u);
    }
  }
}

// The session's own judgement of the checks, for every form we can name:
// the terminal class checks ARC, and takes zero bytes and the rest on
// structure.
TEST(StreamWatch, NamesTheCheckEachSessionCarried) {
  for (const emulator::CrcForm& form : emulator::allCrcForms()) {
    const std::string name = emulator::crcFormName(form);
    SCOPED_TRACE(name);
    const wire::FrameStyle style{0x02, false, form};
    Bytes reply = wire::acks();
    for (int day = 1; day <= 3; ++day) {
      const Bytes d = wire::dateFrame({2002, 10, day}, false, style);
      const Bytes r = wire::recordFrame(Bytes{0x01, 0x02, 0x4E, 0x1E}, day == 3, style);
      reply.insert(reply.end(), d.begin(), d.end());
      reply.insert(reply.end(), r.begin(), r.end());
    }
    const std::vector<cli::Exchange> session = {{{0x02, 0xBE, 0x55}, reply}};
    const auto checks = cli::judgeSession(session);
    ASSERT_EQ(checks.size(), 1u);
    EXPECT_EQ(checks[0].what, "record frames");
    EXPECT_EQ(checks[0].finding.frames, 6u);
    EXPECT_EQ(checks[0].finding.misfits, 0u);
    EXPECT_EQ(checks[0].finding.formText(), name);
    EXPECT_EQ(checks[0].finding.classChecks(), !form.zero && form.algorithm == emulator::CrcAlgorithm::kArc);
    std::size_t records = 0;
    std::string why;
    EXPECT_TRUE(cli::newModelStreamComplete(reply, records, why)) << why;
  }
}

}  // namespace
}  // namespace mvcomm::testing

// File: tests/emulator/fault_test.cpp
//
// Faults by name: the parser, and what each kind does to a reply.
#include <gtest/gtest.h>

#include "emulator/emulator.h"
#include "emulator/fault.h"
#include "emulator/virtual_line.h"
#include "tests/emulator/raw_host.h"

namespace mvcomm::emulator {
namespace {

using testing::Bytes;
using testing::RawHost;
using testing::withCrc;
using namespace std::chrono_literals;

TEST(FaultNames, ParseEveryKindAndRejectMalformedText) {
  for (int k = 0; k <= static_cast<int>(FaultKind::kFlip); ++k) {
    const auto kind = static_cast<FaultKind>(k);
    SCOPED_TRACE(std::string(faultName(kind)));
    const auto parsed = parseFault(faultName(kind));
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(kind, parsed->kind);
    EXPECT_EQ(Command::kAny, parsed->command);
  }
  const auto full = parseFault("pause:read-records:bytes=50:pause=900:skip=2:times=0");
  EXPECT_TRUE(parseFault("endless:bytes=1000000").has_value());
  ASSERT_TRUE(full.has_value());
  EXPECT_EQ(FaultKind::kPause, full->kind);
  EXPECT_EQ(Command::kReadRecords, full->command);
  EXPECT_EQ(50u, full->bytes.value());
  EXPECT_EQ(900ms, full->pause);
  EXPECT_EQ(2, full->skip);
  EXPECT_EQ(0, full->times);
  const auto replace = parseFault("replace:read-block:data=02bc00FF");
  ASSERT_TRUE(replace.has_value());
  EXPECT_EQ((std::vector<std::uint8_t>{0x02, 0xBC, 0x00, 0xFF}), replace->data);
  for (const char* bad : {"", "nope", "replace:data=0", "replace:data=0g", "nak:", "nak:set-time", "nak:bytes=", "nak:bytes=-1", "nak:bytes=1x",
                          "nak:colour=3", "nak:bytes=99999999999", "too-long:bytes=1000001", ":nak"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(parseFault(bad).has_value());
  }
}

// Set-clock replies under each generic fault.
TEST(FaultKinds, ShapeTheReplyAsNamed) {
  struct Case { const char* fault; const char* reply; };
  const Case cases[] = {
      {"silence", ""},
      {"cut-short:bytes=3", "06 06 06"},
      {"cut-short", "06 06"},
      {"too-long:bytes=2", "06 06 06 06 06 00 00"},
      {"nak", "15 15 15 15 15"},
      {"connect-length", "06 06 06 06 06"},   // shapes only the connect reply
      {"short-block", "06 06 06 06 06"},      // shapes only table reads
      {"endless", "06 06 06 06 06"},          // shapes only record transfers
      {"pause:bytes=2:pause=300", "06 06 06 06 06"},
      {"replace:data=0615", "06 15"},
      {"flip", "06 06 F9 06 06"},
      {"flip:bytes=4", "06 06 06 06 F9"},
      {"flip:bytes=5", "06 06 06 06 06"},     // past the end: nothing to flip
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    Emulator em;
    Terminal& t = em.addTerminal(1);
    auto fault = parseFault(c.fault);
    ASSERT_TRUE(fault.has_value());
    fault->command = Command::kSetClock;
    t.inject(*fault);
    VirtualLine line(em);
    RawHost host(line);
    host.connect(1);
    host.send(withCrc({0x02, 0xA1, 0x5E, 0x66, 0x0A, 0x1B, 0x0E, 0x1E, 0x03}), Parity::kSpace, 2450);
    EXPECT_EQ(c.reply, hex(host.receive(800ms)));
  }
}

TEST(FaultKinds, GarbageNeverLooksLikeAnAck) {
  Emulator em;
  Terminal& t = em.addTerminal(1);
  t.inject(testing::makeFault(FaultKind::kGarbage, Command::kConnect, 111));
  VirtualLine line(em);
  RawHost host(line);
  const Bytes reply = host.connect(1);
  ASSERT_EQ(111u, reply.size());
  EXPECT_EQ(0, std::count(reply.begin(), reply.end(), 0x06));
}

TEST(FaultKinds, PauseLongerThanTheIdleTimeOutEndsTheReception) {
  struct Case { std::chrono::milliseconds pause; std::size_t received; };
  // The pause is line silence; the host measures from one byte's arrival to
  // the next, which adds one byte time (4.49 ms at 2450 baud).
  for (const Case c : {Case{790ms, 111}, Case{800ms, 50}}) {
    SCOPED_TRACE(c.pause.count());
    Emulator em;
    em.addTerminal(1).inject(
        testing::makeFault(FaultKind::kPause, Command::kConnect, 50, c.pause));
    VirtualLine line(em);
    RawHost host(line);
    EXPECT_EQ(c.received, host.connect(1).size());
  }
}

TEST(FaultKinds, SkipAndTimesChooseWhichRepliesAreHit) {
  Emulator em;
  Terminal& t = em.addTerminal(1);
  t.inject(testing::makeFault(FaultKind::kNak, Command::kClear, std::nullopt, 0ms, 1, 2));
  VirtualLine line(em);
  RawHost host(line);
  host.connect(1);
  const Bytes clear = withCrc({0x02, 0xA6, 0x59, 0x59, 0x59, 0x59, 0x59, 0x03});
  std::vector<std::string> replies;
  for (int i = 0; i < 4; ++i) {
    host.send(clear, Parity::kSpace, 2450);
    replies.push_back(hex(host.receive()));
  }
  EXPECT_EQ((std::vector<std::string>{"06 06 06 06 06", "15 15 15 15 15", "15 15 15 15 15", "06 06 06 06 06"}),
            replies);
  EXPECT_EQ(0u, t.pendingFaults());
}

}  // namespace
}  // namespace mvcomm::emulator

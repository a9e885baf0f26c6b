// File: tests/emulator/terminal_model_test.cpp
//
// The emulated terminal's own behaviour, driven by a hand-written host on the
// virtual line: selection by the ninth bit, the rate it listens at, each
// command's answer, the record streams of both models and the table blocks.
#include <gtest/gtest.h>

#include "emulator/emulator.h"
#include "emulator/virtual_line.h"
#include "emulator/wire.h"
#include "tests/emulator/raw_host.h"

namespace mvcomm::emulator {
namespace {

using testing::blockFrame;
using testing::Bytes;
using testing::RawHost;
using testing::readFrame;
using testing::withCrc;
using namespace std::chrono_literals;

constexpr CivilDate kDay{2002, 10, 27};

Record record(CivilDate day, std::uint16_t employee, int workClass, int hour, int minute) {
  return Record{day, employee, static_cast<std::uint8_t>(workClass), static_cast<std::uint8_t>(hour),
                static_cast<std::uint8_t>(minute)};
}

bool startsWithAcks(const Bytes& b) {
  return b.size() >= 5 && std::all_of(b.begin(), b.begin() + 5, [](auto x) { return x == wire::kAck; });
}

class TerminalModel : public ::testing::Test {
 protected:
  Emulator emulator;
  VirtualLine line{emulator};
};

TEST(Wire, CrcMatchesCheckValueAndHostExamples) {
  const Bytes check = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(0xBB3D, wire::crc16(check));
  EXPECT_EQ("02 A2 5D 19 59", hex(withCrc({0x02, 0xA2, 0x5D})));
  EXPECT_EQ("02 A6 59 59 59 59 59 03 EF C9", hex(withCrc({0x02, 0xA6, 0x59, 0x59, 0x59, 0x59, 0x59, 0x03})));
  EXPECT_TRUE(wire::crcMatches(withCrc({0x02, 0xA1})));
  EXPECT_FALSE(wire::crcMatches(Bytes{0x02}));
}

TEST(Wire, DataFramesCarryControlZeroEndByteAndCrc) {
  const Bytes header = wire::headerFrame(0x0102, false);
  EXPECT_EQ("02 B1 00 01 02 03", hex(std::span(header).first(6)));
  EXPECT_TRUE(wire::crcMatches(header));
  const Bytes date = wire::dateFrame(kDay, true);
  EXPECT_EQ("02 BB 00 66 0A 1B 04", hex(std::span(date).first(7)));
  const Bytes styled = wire::dateFrame(kDay, true, {0x01, true, {}});
  EXPECT_EQ("01 BB 44 66 0A 1B 04", hex(std::span(styled).first(7)));
  const Bytes rec = wire::recordFrame(Bytes{1, 2, 0x4E, 0x1E}, false);
  ASSERT_EQ(10u, rec.size());
  EXPECT_EQ(0x04, rec[1]);
}

TEST(RecordEncoding, PacksClassHourAndMinuteIntoTheirBits) {
  struct Case { Record r; std::array<std::uint8_t, 4> wire; bool encodable; };
  const Case cases[] = {
      {record(kDay, 258, 3, 14, 30), {0x01, 0x02, 0x4E, 0x1E}, true},
      {record(kDay, 1234, 5, 5, 45), {0x04, 0xD2, 0x85, 0x2D}, true},
      {record(kDay, 65535, 8, 31, 63), {0xFF, 0xFF, 0xFF, 0x3F}, true},   // out-of-range time still fits
      {record(kDay, 1, 0, 0, 0), {}, false},                               // class 0
      {record(kDay, 1, 9, 0, 0), {}, false},
      {record(kDay, 1, 1, 32, 0), {}, false},
      {record(kDay, 1, 1, 0, 64), {}, false},
      {record({1899, 12, 31}, 1, 1, 0, 0), {}, false},
      {record({2156, 1, 1}, 1, 1, 0, 0), {}, false},
      {record({2001, 2, 29}, 1, 1, 0, 0), {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toString(c.r.date) + " class " + std::to_string(c.r.workClass));
    EXPECT_EQ(c.encodable, c.r.encodable());
    if (c.encodable) {
      EXPECT_EQ(c.wire, c.r.encode());
    }
    Terminal t(1);
    EXPECT_EQ(c.encodable, t.addRecord(c.r));
    EXPECT_EQ(c.encodable ? 1u : 0u, t.records().size());
  }
}

TEST(SampleRecords, FillEachDayOfThePeriodWithEncodableRecords) {
  Terminal t(1);
  addSampleRecords(t, {2002, 3, 2}, 3, 4);  // across the end of February
  ASSERT_EQ(12u, t.records().size());
  EXPECT_EQ((CivilDate{2002, 2, 28}), t.records().front().date);
  EXPECT_EQ((CivilDate{2002, 3, 2}), t.records().back().date);
  for (const Record& r : t.records()) {
    EXPECT_TRUE(r.encodable());
    EXPECT_LE(r.hour, 23);
    EXPECT_LE(r.minute, 59);
  }
}

TEST(TerminalModelRule, NumbersUpTo10000Except2001AreNewModel) {
  struct Case { std::uint16_t n; bool isNew; };
  for (const Case c : {Case{0, true}, Case{1, true}, Case{2000, true}, Case{2001, false}, Case{2002, true},
                       Case{10000, true}, Case{10001, false}, Case{65535, false}}) {
    SCOPED_TRACE(c.n);
    EXPECT_EQ(c.isNew, Terminal::isNewModel(c.n));
  }
}

TEST_F(TerminalModel, ConnectReplyIs111BytesBeginningWithFiveAcks) {
  for (std::uint16_t n : {0, 258, 2001, 65535}) {
    SCOPED_TRACE(n);
    emulator.addTerminal(n);
    RawHost host(line);
    const Bytes reply = host.connect(n);
    EXPECT_EQ(111u, reply.size());
    EXPECT_TRUE(startsWithAcks(reply));
    EXPECT_TRUE(wire::crcMatches(std::span(reply).subspan(5)));
    host.send(withCrc({0x02, 0xA2, 0x5D}), Parity::kSpace, 2450);  // end the session
  }
}

TEST_F(TerminalModel, ReplyStartsAfterTurnaroundAndEachByteTakesElevenBits) {
  emulator.addTerminal(5).setTurnaround(30ms);
  RawHost host(line);
  host.connect(5);
  const auto& frames = line.hostFrames();
  ASSERT_GE(frames.size(), 3u);
  const HostFrame& conf = frames[frames.size() - 2];
  ASSERT_EQ(105u, conf.bytes.size());
  EXPECT_EQ(byteTime(2450) * 105, conf.end - conf.start);
  const auto& got = line.arrivals();
  ASSERT_EQ(111u, got.size());
  EXPECT_EQ(conf.end + 30ms + byteTime(2450), got.front().at);
  EXPECT_EQ(byteTime(2450) * 110, got.back().at - got.front().at);
}

TEST_F(TerminalModel, IgnoresAddressesNotSentWithMarkParityOrAtItsRate) {
  struct Case { const char* name; Parity addressParity; std::uint32_t addressBaud; bool answers; };
  const Case cases[] = {
      {"mark at 2450", Parity::kMark, 2450, true},
      {"mark at 2403", Parity::kMark, 2403, true},   // within a UART's tolerance
      {"space at 2450", Parity::kSpace, 2450, false},
      {"mark at 4937", Parity::kMark, 4937, false},
      {"mark at 2300", Parity::kMark, 2300, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Emulator em;
    em.addTerminal(7);
    VirtualLine l(em);
    RawHost host(l);
    host.send({0x02, 0x00, 0x07}, c.addressParity, c.addressBaud);
    host.send(testing::confirmation(7), Parity::kSpace, 2450);
    EXPECT_EQ(c.answers ? 111u : 0u, host.receive().size());
  }
}

TEST_F(TerminalModel, OnlyTheAddressedTerminalAnswers) {
  Terminal& a = emulator.addTerminal(1);
  Terminal& b = emulator.addTerminal(2);
  Terminal& c = emulator.addTerminal(258);
  RawHost host(line);
  EXPECT_EQ(111u, host.connect(2).size());
  EXPECT_EQ(0, a.replies(Command::kConnect));
  EXPECT_EQ(1, b.replies(Command::kConnect));
  EXPECT_EQ(0, c.replies(Command::kConnect));
  // A confirmation with another number's complement is not ours: silence.
  host.send({0x02, 0x01, 0x02}, Parity::kMark, 2450);
  host.send(testing::confirmation(259), Parity::kSpace, 2450);
  EXPECT_TRUE(host.receive().empty());
  EXPECT_FALSE(c.inSession());
}

TEST_F(TerminalModel, SetClockTakesTheMinuteAndKeepsRunning) {
  Terminal& t = emulator.addTerminal(3);
  RawHost host(line);
  host.connect(3);
  host.send(withCrc({0x02, 0xA1, 0x5E, 0x66, 0x0A, 0x1B, 0x0E, 0x1E, 0x03}), Parity::kSpace, 2450);
  EXPECT_EQ(wire::acks(), host.receive());
  ASSERT_TRUE(t.clockAt(line.now()).has_value());
  const CivilDateTime set = *t.clockAt(line.now());
  EXPECT_EQ((CivilDate{2002, 10, 27}), set.date);
  EXPECT_EQ(14, set.hour);
  EXPECT_EQ(30, set.minute);
  line.runUntil(line.now() + std::chrono::hours(10));
  EXPECT_EQ((CivilDate{2002, 10, 28}), t.clockAt(line.now())->date);
  // 31 February cannot be held: NAK, clock unchanged.
  host.connect(3);
  host.send(withCrc({0x02, 0xA1, 0x5E, 0x66, 0x02, 0x1F, 0x00, 0x00, 0x03}), Parity::kSpace, 2450);
  EXPECT_EQ(wire::naks(), host.receive());
  EXPECT_EQ((CivilDate{2002, 10, 28}), t.clockAt(line.now())->date);
}

TEST_F(TerminalModel, CorruptFramesDrawNaks) {
  emulator.addTerminal(3);
  RawHost host(line);
  host.connect(3);
  Bytes bad = withCrc({0x02, 0xA6, 0x59, 0x59, 0x59, 0x59, 0x59, 0x03});
  bad.back() ^= 1;
  host.send(bad, Parity::kSpace, 2450);
  EXPECT_EQ(wire::naks(), host.receive());
  host.send(withCrc({0x02, 0xA6, 0x58, 0x59, 0x59, 0x59, 0x59, 0x03}), Parity::kSpace, 2450);  // complement wrong
  EXPECT_EQ(wire::naks(), host.receive());
}

TEST_F(TerminalModel, BaudChangeAcksAtOldRateThenHearsOnlyTheNewOne) {
  struct Case { std::uint8_t code; std::uint32_t rate; };
  for (const Case c : {Case{0xEF, 2450}, Case{0xF7, 4937}, Case{0xFC, 10416}, Case{0xFD, 15625}}) {
    SCOPED_TRACE(c.rate);
    Emulator em;
    Terminal& t = em.addTerminal(9);
    DeviceProfile back;
    ASSERT_EQ("", parseDeviceProfile("rate-return=end", back));
    t.setProfile(back);
    (void)t.addRecord(record(kDay, 1, 1, 8, 0));
    VirtualLine l(em);
    RawHost host(l);
    host.connect(9);
    host.send(withCrc({0x02, 0xAC, 0x53, c.code}), Parity::kSpace, 2450);
    EXPECT_EQ(wire::acks(), host.receive());
    EXPECT_EQ(c.rate, t.rate());
    if (c.rate != 2450) {
      host.send(readFrame(true, kDay, kDay), Parity::kSpace, 2450);  // old rate: garbled
      EXPECT_TRUE(host.receive(800ms, 800ms).empty());
    }
    host.send(readFrame(true, kDay, kDay), Parity::kSpace, c.rate);
    EXPECT_TRUE(startsWithAcks(host.receive(5000ms)));
    EXPECT_EQ(Terminal::kBaseRate, t.rate()) << "back at the base rate after the transfer";
  }
}

TEST_F(TerminalModel, UnknownBaudCodeIsRefused) {
  Terminal& t = emulator.addTerminal(9);
  RawHost host(line);
  host.connect(9);
  host.send(withCrc({0x02, 0xAC, 0x53, 0x00}), Parity::kSpace, 2450);
  EXPECT_EQ(wire::naks(), host.receive());
  EXPECT_EQ(Terminal::kBaseRate, t.rate());
}

TEST_F(TerminalModel, QuietLineEndsASessionAndRestoresTheBaseRate) {
  Terminal& t = emulator.addTerminal(9);
  t.setSessionTimeout(3s);  // shorter than the default, to keep the arithmetic small
  RawHost host(line);
  host.connect(9);
  host.send(withCrc({0x02, 0xAC, 0x53, 0xFC}), Parity::kSpace, 2450);
  host.receive();
  ASSERT_EQ(10416u, t.rate());
  line.runUntil(line.now() + 1900ms);
  host.send(withCrc({0x02, 0xAC, 0x53, 0xFC}), Parity::kSpace, 10416);  // still in session
  EXPECT_EQ(wire::acks(), host.receive());
  line.runUntil(line.now() + 2500ms);
  EXPECT_EQ(111u, host.connect(9).size());
  EXPECT_EQ(2450u, t.rate());
}

TEST_F(TerminalModel, NewModelSendsTheRangeAsOneStreamEndingInEot) {
  Terminal& t = emulator.addTerminal(1);
  ASSERT_TRUE(t.addRecord(record({2002, 10, 28}, 7, 1, 9, 0)));
  ASSERT_TRUE(t.addRecord(record(kDay, 258, 3, 14, 30)));
  ASSERT_TRUE(t.addRecord(record(kDay, 1234, 5, 5, 45)));
  ASSERT_TRUE(t.addRecord(record({2002, 10, 26}, 9, 1, 9, 0)));  // outside the range
  RawHost host(line);
  host.connect(1);
  host.send(readFrame(true, kDay, {2002, 10, 28}), Parity::kSpace, 2450);
  const Bytes got = host.receive(5000ms);
  Bytes want = wire::acks();
  for (const Bytes& f : {wire::headerFrame(12, false), wire::dateFrame(kDay, false),
                         wire::recordFrame(Bytes{0x01, 0x02, 0x4E, 0x1E, 0x04, 0xD2, 0x85, 0x2D}, false),
                         wire::dateFrame({2002, 10, 28}, false), wire::recordFrame(Bytes{0, 7, 0x09, 0}, true)})
    want.insert(want.end(), f.begin(), f.end());
  EXPECT_EQ(hex(want), hex(got));
}

TEST_F(TerminalModel, NewModelSplitsLongDaysIntoFramesOfSixtyRecords) {
  Terminal& t = emulator.addTerminal(1);
  for (int i = 0; i < 130; ++i) ASSERT_TRUE(t.addRecord(record(kDay, static_cast<std::uint16_t>(i), 1, 8, 0)));
  RawHost host(line);
  host.connect(1);
  host.send(readFrame(true, kDay, kDay), Parity::kSpace, 2450);
  const Bytes got = host.receive(5000ms);
  // ACKs, header (8), date (9), 240 + 240 + 40 payload bytes in frames of K + 6.
  ASSERT_EQ(5u + 8 + 9 + 246 + 246 + 46, got.size());
  EXPECT_EQ(240, got[5 + 8 + 9 + 1]);
  EXPECT_EQ(40, got[got.size() - 46 + 1]);
  EXPECT_EQ(wire::kEot, got[got.size() - 3]);
}

TEST_F(TerminalModel, EachModelAnswersOnlyItsOwnReadCommand) {
  emulator.addTerminal(1);
  emulator.addTerminal(2001);
  RawHost host(line);
  host.connect(1);
  host.send(readFrame(false, kDay, kDay), Parity::kSpace, 2450);
  EXPECT_TRUE(host.receive().empty());
  host.send(withCrc({0x02, 0xA2, 0x5D}), Parity::kSpace, 2450);
  host.connect(2001);
  host.send(readFrame(true, kDay, kDay), Parity::kSpace, 2450);
  EXPECT_TRUE(host.receive().empty());
}

TEST_F(TerminalModel, OldModelSendsOneFramePerAckAndEndsWithAnEotFrame) {
  Terminal& t = emulator.addTerminal(2001);
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(t.addRecord(record(kDay, static_cast<std::uint16_t>(i), 2, 10, i)));
  RawHost host(line);
  host.connect(2001);
  host.send(readFrame(false, kDay, kDay), Parity::kSpace, 2450);
  Bytes first = host.receive();
  ASSERT_EQ(5u + 8, first.size());
  EXPECT_TRUE(startsWithAcks(first));
  EXPECT_EQ(0xB1, first[6]);
  EXPECT_EQ(160, first[8] << 8 | first[9]);  // payload bytes still to come
  // Without an ACK nothing more comes.
  EXPECT_TRUE(host.receive(800ms, 800ms).empty());
  std::vector<Bytes> frames;
  for (int i = 0; i < 5; ++i) {
    host.send(wire::acks(), Parity::kSpace, 2450);
    frames.push_back(host.receive());
  }
  for (int i = 0; i < 4; ++i) ASSERT_GE(frames[i].size(), 6u) << i;
  EXPECT_EQ(0xBB, frames[0][1]);
  EXPECT_EQ(128, frames[1][1]);
  EXPECT_EQ(32, frames[2][1]);
  EXPECT_EQ("02 00 00 04", hex(std::span(frames[3]).first(4)));
  EXPECT_TRUE(frames[4].empty()) << "the EOT frame is the last";
  for (const Bytes& f : frames) EXPECT_LE(f.size(), 206u);
}

TEST_F(TerminalModel, EndlessTransfersNeverSendTheEotFrame) {
  // Old model: where the EOT frame belongs, an empty ETX frame per ACK.
  Terminal& old = emulator.addTerminal(2001);
  ASSERT_TRUE(old.addRecord(record(kDay, 1, 1, 8, 0)));
  Fault endless = testing::makeFault(FaultKind::kEndless, Command::kRecordFrame);
  endless.times = 0;
  old.inject(endless);
  RawHost host(line);
  host.connect(2001);
  host.send(readFrame(false, kDay, kDay), Parity::kSpace, 2450);
  host.receive();
  for (int i = 0; i < 2; ++i) {  // the date and the record frame
    host.send(wire::acks(), Parity::kSpace, 2450);
    host.receive();
  }
  for (int i = 0; i < 5; ++i) {
    host.send(wire::acks(), Parity::kSpace, 2450);
    EXPECT_EQ(hex(wire::recordFrame({}, false)), hex(host.receive())) << i;
  }
  host.send(withCrc({0x02, 0xA2, 0x5D}), Parity::kSpace, 2450);

  // New model: a stream without EOT, longer than a reception holds.
  Terminal& t = emulator.addTerminal(1);
  ASSERT_TRUE(t.addRecord(record(kDay, 1, 1, 8, 0)));
  t.inject(testing::makeFault(FaultKind::kEndless, Command::kReadRecords));
  line.runUntil(line.now() + 10s);
  host.connect(1);
  host.send(readFrame(true, kDay, kDay), Parity::kSpace, 2450);
  const Bytes got = host.receive(5000ms, 5000ms);
  EXPECT_GT(got.size(), 150000u);
  EXPECT_EQ(wire::kEtx, got[got.size() - 3]);  // the last frame, too, ends in ETX
}

TEST_F(TerminalModel, OldModelResendsAFrameOnNak) {
  Terminal& t = emulator.addTerminal(10001);
  ASSERT_TRUE(t.addRecord(record(kDay, 1, 1, 8, 0)));
  RawHost host(line);
  host.connect(10001);
  host.send(readFrame(false, kDay, kDay), Parity::kSpace, 2450);
  host.receive();
  host.send(wire::acks(), Parity::kSpace, 2450);
  const Bytes date = host.receive();
  host.send(wire::naks(), Parity::kSpace, 2450);
  EXPECT_EQ(date, host.receive());
}

TEST_F(TerminalModel, ClearErasesRecords) {
  Terminal& t = emulator.addTerminal(4);
  ASSERT_TRUE(t.addRecord(record(kDay, 1, 1, 8, 0)));
  RawHost host(line);
  host.connect(4);
  host.send(withCrc({0x02, 0xA6, 0x59, 0x59, 0x59, 0x59, 0x59, 0x03}), Parity::kSpace, 2450);
  EXPECT_EQ(wire::acks(), host.receive());
  EXPECT_TRUE(t.records().empty());
}

TEST_F(TerminalModel, TableBlocksReadBackWhatWasWritten) {
  Terminal& t = emulator.addTerminal(300);
  const ReferenceRow rows[] = {{7, 16909060}, {258, 5}, {9, 9}};
  t.setReferenceTable(rows);
  RawHost host(line);
  host.selectTable(300);
  host.send(blockFrame(0xBC, 1), Parity::kSpace, 2450);
  Bytes got = host.receive();
  ASSERT_EQ(20u, got.size());
  EXPECT_EQ("FF FF 04 03 02 01 07 00 05 00 00 00 02 01 09 00", hex(std::span(got).subspan(2, 16)));
  host.send(blockFrame(0xBC, 3), Parity::kSpace, 2450);
  got = host.receive();
  EXPECT_EQ("FF FF FF FF", hex(std::span(got).subspan(2, 4))) << "past the table: erased";

  // Writing block 1 starts a new table: the old third row is gone.
  const Bytes image = {0xFF, 0xFF, 1, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  host.send(blockFrame(0xBD, 1, image), Parity::kSpace, 2450);
  EXPECT_EQ(wire::acks(), host.receive());
  EXPECT_EQ((std::vector<ReferenceRow>{{2, 1}, {0, 0}}), t.referenceTable());
  // Block numbers that disagree, or block 0, are refused.
  Bytes odd = blockFrame(0xBC, 2);
  odd[3] = 0x00;
  host.send(withCrc(Bytes(odd.begin(), odd.end() - 2)), Parity::kSpace, 2450);
  EXPECT_EQ(wire::naks(), host.receive());
  host.send(blockFrame(0xBC, 0), Parity::kSpace, 2450);
  EXPECT_EQ(wire::naks(), host.receive());
  host.send(blockFrame(0xBC, 1093), Parity::kSpace, 2450);
  EXPECT_EQ(wire::naks(), host.receive());
  // The A2 frame ends the table session.
  host.send(withCrc({0x02, 0xA2, 0x5D}), Parity::kSpace, 2450);
  line.runUntil(line.now() + 100ms);
  EXPECT_FALSE(t.inSession());
}

TEST_F(TerminalModel, TableAddressNeedsTheOpenFrameAndIgnoresItsThirdByte) {
  Terminal& t = emulator.addTerminal(0x0203);
  RawHost host(line);
  host.send({0x02, 0x03, 0x77}, Parity::kMark, 2450);
  host.send({0xB0, 0x00}, Parity::kSpace, 2450);
  host.send(blockFrame(0xBC, 1), Parity::kSpace, 2450);
  EXPECT_EQ(20u, host.receive().size());
  EXPECT_TRUE(t.inSession());
  // The same mark bytes are also terminal 0x0377's connect address: the
  // confirmation that follows decides, and 0x0203 stays silent.
  Terminal& other = emulator.addTerminal(0x0377);
  host.send({0x02, 0x03, 0x77}, Parity::kMark, 2450);
  host.send(testing::confirmation(0x0377), Parity::kSpace, 2450);
  EXPECT_EQ(111u, host.receive().size());
  EXPECT_EQ(1, other.replies(Command::kConnect));
  EXPECT_FALSE(t.inSession());
}

}  // namespace
}  // namespace mvcomm::emulator

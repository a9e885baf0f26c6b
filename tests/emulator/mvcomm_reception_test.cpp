// File: tests/emulator/mvcomm_reception_test.cpp
//
// Reception timing end to end, measured on the virtual line: the first-byte
// wait, the idle time-out between chunks (and its setting), the 5000 ms idle
// of a new-model record stream, and the byte limits of the two models. The
// end of a reception shows as the start of the host's next frame.
#include <gtest/gtest.h>

#include "tests/emulator/line_fixture.h"

namespace mvcomm::emulator {
namespace {

using namespace testing;

using MvcommReception = LineTest;

Fault pauseAt(Command command, std::size_t offset, std::chrono::milliseconds pause) {
  Fault f = fault(FaultKind::kPause, command, offset);
  f.pause = pause;
  return f;
}

TEST_F(MvcommReception, TwoBurstsMakeOneReplyEndingOneIdleTimeOutAfterTheLast) {
  struct Case { std::int32_t lapse; std::chrono::milliseconds gap; bool oneReply; std::chrono::milliseconds idle; };
  // The pause is line silence; one byte time (4.49 ms) more passes between
  // the two arrivals that the host measures.
  const Case cases[] = {
      {800, 300ms, true, 800ms},  {800, 790ms, true, 800ms},  {800, 800ms, false, 800ms},
      {0, 790ms, true, 800ms},    {-5, 800ms, false, 800ms},  {300, 290ms, true, 300ms},
      {300, 300ms, false, 300ms}, {2000, 1990ms, true, 2000ms},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("receivedatatimelapse " + std::to_string(c.lapse) + ", gap " + std::to_string(c.gap.count()));
    line.clearLogs();
    Terminal& t = emulator.addTerminal(6);
    t.inject(pauseAt(Command::kConnect, 55, c.gap));
    comm.receivedatatimelapse = c.lapse;
    comm.cleardata(std::string("6"));
    EXPECT_EQ(c.oneReply ? 0 : 20009, comm.errorcode);
    ASSERT_GE(frames().size(), 4u);
    const auto& got = line.arrivals();
    const std::size_t last = c.oneReply ? 110 : 54;
    ASSERT_GT(got.size(), last);
    const auto ended = frames()[3].start - got[last].at;
    EXPECT_GE(ended, c.idle);
    EXPECT_LE(ended, c.idle + 1ms);
    line.runUntil(line.now() + 10s);  // the rest of a cut reply drains away
  }
}

TEST_F(MvcommReception, FirstByteMayTake5000Ms) {
  struct Case { std::chrono::milliseconds turnaround; std::int32_t code; };
  for (const Case c : {Case{4990ms, 0}, Case{5010ms, 20009}}) {
    SCOPED_TRACE(c.turnaround.count());
    line.clearLogs();
    emulator.addTerminal(6).setTurnaround(c.turnaround);
    comm.cleardata(std::string("6"));
    EXPECT_EQ(c.code, comm.errorcode);
    line.runUntil(line.now() + 10s);
  }
  emulator.find(6)->setTurnaround(Terminal::kDefaultTurnaround);
  // Nothing at all: the reject frame follows the confirmation by the 8 ms
  // pause after its last byte and the 5000 ms wait.
  line.clearLogs();
  emulator.find(6)->inject(fault(FaultKind::kSilence, Command::kConnect));
  comm.cleardata(std::string("6"));
  EXPECT_EQ(20009, comm.errorcode);
  ASSERT_EQ(4u, frames().size());
  EXPECT_EQ("15 15 15 15 15", hex(frames()[3].bytes));
  const auto waited = frames()[3].start - frames()[2].end;
  EXPECT_GE(waited, 5008ms);
  EXPECT_LE(waited, 5009ms);
}

TEST_F(MvcommReception, NewModelRecordStreamIdlesFor5000Ms) {
  struct Case { std::chrono::milliseconds gap; bool whole; };
  for (const Case c : {Case{4900ms, true}, Case{5000ms, false}}) {
    SCOPED_TRACE(c.gap.count());
    Emulator em;
    Terminal& t = em.addTerminal(1);
    for (int i = 0; i < 130; ++i) ASSERT_TRUE(t.addRecord(record({2002, 10, 27}, static_cast<std::uint16_t>(i), 1, 8, 0)));
    t.inject(pauseAt(Command::kReadRecords, 300, c.gap));
    VirtualLine l(em);
    n_cst_mvcomm host(std::shared_ptr<serial::PortOpener>(std::shared_ptr<void>(), &l.opener()),
                      std::shared_ptr<Clock>(std::shared_ptr<void>(), &l.clock()));
    host.commport = 1;
    host.bautrate = 9600;
    host.readdata(std::string("1"), date(2002, 10, 27), date(2002, 10, 27));
    if (c.whole) {
      EXPECT_EQ(0, host.errorcode) << host.errormessage;
      EXPECT_EQ(130, host.rsrows);
    } else {
      // The stream was cut where the pause began: no record is taken.
      EXPECT_EQ(20013, host.errorcode) << host.errormessage;
      EXPECT_EQ(0, host.rsrows);
    }
  }
}

TEST_F(MvcommReception, OldModelReceptionStopsAt206Bytes) {
  struct Case { std::uint16_t machine; std::size_t lastByte; std::chrono::milliseconds after; };
  // 111 + 300 bytes of connect reply: an old-model terminal's reception ends
  // with the read that reaches 206 bytes; a new-model one reads all and idles.
  for (const Case c : {Case{2001, 205, 0ms}, Case{10001, 205, 0ms}, Case{1, 410, 800ms}}) {
    SCOPED_TRACE(c.machine);
    line.clearLogs();
    emulator.addTerminal(c.machine).inject(fault(FaultKind::kTooLong, Command::kConnect, 300));
    comm.cleardata(std::to_string(c.machine));
    EXPECT_EQ(20009, comm.errorcode);
    ASSERT_EQ(4u, frames().size());
    ASSERT_GT(line.arrivals().size(), c.lastByte);
    const auto ended = frames()[3].start - line.arrivals()[c.lastByte].at;
    EXPECT_GE(ended, c.after);
    EXPECT_LE(ended, c.after + 1ms);
    line.runUntil(line.now() + 10s);  // let the rest of the long reply drain away
  }
}

TEST_F(MvcommReception, FullNewModelStreamIsReceivedWhole) {
  // 150000 bytes is the new-model limit; 2400 records make a 10000-byte stream.
  Terminal& t = emulator.addTerminal(1);
  for (int d = 1; d <= 24; ++d)
    for (int i = 0; i < 100; ++i)
      ASSERT_TRUE(t.addRecord(record({2002, 10, d}, static_cast<std::uint16_t>(i), 1 + i % 8, i % 24, i % 60)));
  comm.readdata(std::string("1"), date(2002, 10, 1), date(2002, 10, 31));
  expectOutcome(0, "");
  EXPECT_EQ(2400, comm.rsrows);
}

}  // namespace
}  // namespace mvcomm::emulator

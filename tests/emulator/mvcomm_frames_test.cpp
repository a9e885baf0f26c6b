// File: tests/emulator/mvcomm_frames_test.cpp
//
// Every frame n_cst_mvcomm sends, byte for byte with the parity and rate it
// went out with, for each terminal method against the emulator. The bytes
// are written out as the protocol tables give them; the emulator answering
// proves the host switched parity and rate (it hears nothing otherwise).
#include <gtest/gtest.h>

#include "tests/emulator/line_fixture.h"

namespace mvcomm::emulator {
namespace {

using namespace testing;

std::vector<WantFrame> operator+(std::vector<WantFrame> a, const std::vector<WantFrame>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

using MvcommFrames = LineTest;

TEST_F(MvcommFrames, SetClockSelectsTheTerminalThenSendsTheMinute) {
  Terminal& t = emulator.addTerminal(258);
  comm.setclock(std::string("258"), dateTime(2002, 10, 27, 14, 30, 45));
  expectOutcome(0, "");
  expectFrames(connectFrames(258) + std::vector<WantFrame>{
                   {"02 A1 5E 66 0A 1B 0E 1E 03 D2 50", 'S', 2450},
               });
  // Address bytes of 258: 01 02, complement FE FD.
  EXPECT_EQ("FE FD 0A 05", hex(std::span(frames()[2].bytes).first(4)));
  ASSERT_TRUE(t.clockAt(line.now()).has_value());
  EXPECT_EQ((CivilDate{2002, 10, 27}), t.clockAt(line.now())->date);
  // The settle wait separates the A2 frame from the address.
  EXPECT_GE(frames()[1].start - frames()[0].end, 1s);
}

TEST_F(MvcommFrames, SetClockFieldsAtTheirLimits) {
  struct Case { DateTime when; const char* fields; };
  const Case cases[] = {
      {dateTime(1999, 12, 31, 23, 59, 59), "63 0C 1F 17 3B"},
      {dateTime(1900, 1, 1, 0, 0, 0), "00 01 01 00 00"},   // zero bytes are sent as zero
      {dateTime(2155, 6, 15, 12, 0, 0), "FF 06 0F 0C 00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.when.toString());
    line.clearLogs();
    emulator.addTerminal(0);
    comm.setclock(std::string("0"), c.when);
    expectOutcome(0, "");
    ASSERT_EQ(5u, frames().size());
    EXPECT_EQ("02 00 00", hex(frames()[1].bytes));  // terminal 0's address
    EXPECT_EQ(std::string("FF FF"), hex(std::span(frames()[2].bytes).first(2)));
    EXPECT_EQ(std::string("02 A1 5E ") + c.fields + " 03", hex(std::span(frames()[4].bytes).first(9)));
    EXPECT_EQ(11u, frames()[4].bytes.size());
  }
}

TEST_F(MvcommFrames, ReadDataChangesRateThenSendsTheDatesEarlierFirst) {
  struct Case { std::int16_t bautrate; std::uint8_t code; std::uint32_t rate; };
  const Case cases[] = {
      {2400, 0xEF, 2450}, {4800, 0xF7, 4937}, {9600, 0xFC, 10416}, {14400, 0xFD, 15625},
      {19200, 0xEF, 2403},  // no code of its own: 2400's code, and the port at 2403
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bautrate);
    Emulator em;
    Terminal& t = em.addTerminal(1);
    ASSERT_TRUE(t.addRecord(record({2002, 10, 27}, 258, 3, 14, 30)));
    VirtualLine l(em);
    n_cst_mvcomm host(std::shared_ptr<serial::PortOpener>(std::shared_ptr<void>(), &l.opener()),
                      std::shared_ptr<Clock>(std::shared_ptr<void>(), &l.clock()));
    host.commport = 1;
    host.bautrate = c.bautrate;
    host.readdata(std::string("1"), date(2002, 10, 28), date(2002, 10, 27));
    EXPECT_EQ(0, host.errorcode) << host.errormessage;
    EXPECT_EQ(1, host.rsrows);
    const auto& got = l.hostFrames();
    ASSERT_EQ(6u, got.size());
    EXPECT_EQ(describe(WantFrame{crcHex({0x02, 0xAC, 0x53, c.code}), 'S', 2450}), describe(got[4]));
    EXPECT_EQ(describe(WantFrame{crcHex({0x02, 0xBE, 0x55, 0x66, 0x0A, 0x1B, 0x20, 0x66, 0x0A, 0x1C, 0x03}), 'S',
                                 c.rate}),
              describe(got[5]));
  }
}

TEST_F(MvcommFrames, ReadDataFromAnOldModelAcknowledgesEveryFrame) {
  for (std::uint16_t n : {2001, 10001}) {
    SCOPED_TRACE(n);
    line.clearLogs();
    Terminal& t = emulator.addTerminal(n);
    ASSERT_TRUE(t.addRecord(record({2002, 10, 27}, 258, 3, 14, 30)));
    comm.readdata(std::to_string(n), date(2002, 10, 27), date(2002, 10, 27));
    expectOutcome(0, "");
    EXPECT_EQ(1, comm.rsrows);
    // header, date, records and EOT frames: four acknowledgements.
    expectFrames(connectFrames(n) + std::vector<WantFrame>{
                     {crcHex({0x02, 0xAC, 0x53, 0xFC}), 'S', 2450},
                     {crcHex({0x02, 0xAA, 0x55, 0x66, 0x0A, 0x1B, 0x20, 0x66, 0x0A, 0x1B, 0x03}), 'S', 10416},
                     {"06 06 06 06 06", 'S', 10416},
                     {"06 06 06 06 06", 'S', 10416},
                     {"06 06 06 06 06", 'S', 10416},
                     {"06 06 06 06 06", 'S', 10416},
                 });
  }
}

TEST_F(MvcommFrames, ClearDataSendsTheClearFrame) {
  Terminal& t = emulator.addTerminal(7);
  ASSERT_TRUE(t.addRecord(record({2002, 10, 27}, 1, 1, 8, 0)));
  comm.cleardata(std::string("7"));
  expectOutcome(0, "");
  expectFrames(connectFrames(7) + std::vector<WantFrame>{{"02 A6 59 59 59 59 59 03 EF C9", 'S', 2450}});
  EXPECT_TRUE(t.records().empty());
}

TEST_F(MvcommFrames, ReadReferTableSelectsByTableAddressAndReadsBlocksToTheEndMarker) {
  Terminal& t = emulator.addTerminal(258);
  const ReferenceRow rows[] = {{7, 16909060}, {258, 5}, {9, 9}};
  t.setReferenceTable(rows);
  comm.readrefertable(std::string("258"));
  expectOutcome(0, "");
  expectFrames({
      {"01 02 00", 'M', 2450},
      {"B0 00", 'S', 2450},
      {crcHex({0x02, 0xBC, 0x7C, 0x00, 0x7C, 0x01}), 'S', 2450},
      {crcHex({0x02, 0xBC, 0x7C, 0x01, 0x7C, 0x02}), 'S', 2450},
      {crcHex({0x02, 0xBC, 0x7C, 0x02, 0x7C, 0x03}), 'S', 2450},
      {"02 A2 5D 19 59", 'S', 2450},
  });
  EXPECT_GE(frames()[1].start - frames()[0].end, 1s);
  ASSERT_EQ(3, comm.rtrows);
  comm.moverecord(1, 2);
  EXPECT_EQ(7, comm.rtemployeeid);
  EXPECT_EQ(16909060, comm.rtcardid);
  comm.moverecord(3, 2);
  EXPECT_EQ(9, comm.rtemployeeid);
  EXPECT_EQ(9, comm.rtcardid);
}

TEST_F(MvcommFrames, TableAddressOfNumbersWithAZeroByte) {
  struct Case { std::uint16_t machine; const char* address; };
  for (const Case c : {Case{0, "00 00 00"}, Case{256, "01 00 00"}, Case{65535, "FF FF 00"}}) {
    SCOPED_TRACE(c.machine);
    line.clearLogs();
    emulator.addTerminal(c.machine);
    comm.readrefertable(std::to_string(c.machine));
    expectOutcome(0, "");
    ASSERT_FALSE(frames().empty());
    EXPECT_EQ(describe(WantFrame{c.address, 'M', 2450}), describe(frames()[0]));
    EXPECT_EQ(0, comm.rtrows);  // an empty table ends at block 1
  }
}

TEST_F(MvcommFrames, WriteReferTableSendsTheImageInOneBlock) {
  Terminal& t = emulator.addTerminal(258);
  comm.rtbeginwrite(2);
  comm.rtwriterecord(1, 7, 16909060);
  comm.rtwriterecord(2, 258, 5);
  comm.writerefertable(std::string("258"));
  expectOutcome(0, "");
  // Image FF FF 04 03 02 01 07 00 05 00 00 00 02 01, two zero bytes of fill;
  // E is 15, so block 2 is not sent.
  expectFrames({
      {"01 02 00", 'M', 2450},
      {"B0 00", 'S', 2450},
      {crcHex({0x02, 0xBD, 0x7C, 0x00, 0x7C, 0x01, 0xFF, 0xFF, 0x04, 0x03, 0x02, 0x01, 0x07, 0x00, 0x05, 0x00,
               0x00, 0x00, 0x02, 0x01, 0x00, 0x00}),
       'S', 2450},
      {"02 A2 5D 19 59", 'S', 2450},
  });
  ASSERT_EQ(4u, frames().size());
  EXPECT_GE(frames()[3].start - frames()[2].end, 1s);  // settle wait before closing
  EXPECT_EQ((std::vector<ReferenceRow>{{7, 16909060}, {258, 5}}), t.referenceTable());
}

TEST_F(MvcommFrames, ReferTableRoundTripsThroughTheTerminal) {
  emulator.addTerminal(5);
  constexpr int kRows = 100;  // 602 image bytes: 38 blocks
  comm.rtbeginwrite(kRows);
  for (int i = 1; i <= kRows; ++i) comm.rtwriterecord(i, 1000 + i, 500000 + i);
  comm.writerefertable(std::string("5"));
  expectOutcome(0, "");
  comm.rtbeginwrite(1);  // forget the table in memory
  comm.readrefertable(std::string("5"));
  expectOutcome(0, "");
  ASSERT_EQ(kRows, comm.rtrows);
  for (int i : {1, 50, kRows}) {
    SCOPED_TRACE(i);
    comm.moverecord(i, 2);
    EXPECT_EQ(1000 + i, comm.rtemployeeid);
    EXPECT_EQ(500000 + i, comm.rtcardid);
  }
}

TEST_F(MvcommFrames, SeveralTerminalsOnOneLineAnswerOnlyToTheirOwnNumber) {
  Terminal& a = emulator.addTerminal(1);
  Terminal& b = emulator.addTerminal(2);
  Terminal& old = emulator.addTerminal(2001);
  ASSERT_TRUE(a.addRecord(record({2002, 10, 27}, 11, 1, 8, 0)));
  ASSERT_TRUE(b.addRecord(record({2002, 10, 27}, 22, 1, 8, 0)));
  ASSERT_TRUE(old.addRecord(record({2002, 10, 27}, 33, 1, 8, 0)));
  const std::pair<const char*, std::int32_t> cases[] = {{"2", 22}, {"1", 11}, {"2001", 33}, {"2", 22}};
  for (const auto& [number, employee] : cases) {
    SCOPED_TRACE(number);
    comm.readdata(std::string(number), date(2002, 1, 1), date(2002, 12, 31));
    expectOutcome(0, "");
    ASSERT_EQ(1, comm.rsrows);
    comm.moverecord(1, 1);
    EXPECT_EQ(employee, comm.rsemployeeid);
  }
  EXPECT_EQ(2, a.replies(Command::kConnect) + old.replies(Command::kConnect));
  EXPECT_EQ(2, b.replies(Command::kConnect));
}

}  // namespace
}  // namespace mvcomm::emulator

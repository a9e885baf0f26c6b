// File: tests/emulator/mvcomm_records_test.cpp
//
// Records through the wire: the decoding examples, both models' transfers,
// the record set and its cursor, and clearing.
#include <gtest/gtest.h>

#include "tests/emulator/line_fixture.h"

namespace mvcomm::emulator {
namespace {

using namespace testing;

using MvcommRecords = LineTest;

std::vector<std::uint8_t> bytesOf(const std::string& hexText) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i + 1 < hexText.size(); i += 3)
    out.push_back(static_cast<std::uint8_t>(std::stoi(hexText.substr(i, 2), nullptr, 16)));
  return out;
}

// The reply to the new-model read command, replaced by exactly these bytes.
Fault replaceStream(const std::string& hexText) {
  Fault f = fault(FaultKind::kReplace, Command::kReadRecords);
  f.data = bytesOf(hexText);
  return f;
}

// The same, from the acknowledgement and data frames given without their
// CRC, which is added to each.
Fault replaceFrames(const std::vector<std::string>& frames) {
  Fault f = fault(FaultKind::kReplace, Command::kReadRecords);
  f.data = {0x06, 0x06, 0x06, 0x06, 0x06};
  for (const std::string& text : frames) {
    std::vector<std::uint8_t> frame = bytesOf(text + " ");
    wire::appendCrc(frame);
    f.data.insert(f.data.end(), frame.begin(), frame.end());
  }
  return f;
}

struct Row {
  std::int32_t employee;
  std::string workClass;
  std::optional<std::string> when;
};

std::vector<Row> rows(n_cst_mvcomm& comm) {
  std::vector<Row> out;
  for (std::int32_t i = 1; i <= comm.rsrows; ++i) {
    comm.moverecord(i, 1);
    out.push_back(Row{comm.rsemployeeid, comm.rsworkclass,
                      comm.rscardedtime ? std::optional(comm.rscardedtime->toString()) : std::nullopt});
  }
  return out;
}

std::string describe(const std::vector<Row>& rs) {
  std::string s;
  for (const Row& r : rs) s += std::to_string(r.employee) + "," + r.workClass + "," + r.when.value_or("null") + ";";
  return s;
}

TEST_F(MvcommRecords, DecodesTheExampleStreamAsSentOnTheWire) {
  emulator.addTerminal(1).inject(replaceFrames({"02 BB 00 66 0A 1B 03", "02 08 00 01 02 4E 1E 04 D2 85 2D 04"}));
  comm.readdata(std::string("1"), date(2002, 10, 27), date(2002, 10, 27));
  expectOutcome(0, "");
  EXPECT_EQ("258,3,2002-10-27 14:30:00;1234,5,2002-10-27 05:45:00;", describe(rows(comm)));
}

TEST_F(MvcommRecords, TheExampleNeedsItsEotFrameNotACrc) {
  struct Case { const char* name; Fault f; std::int32_t code; std::int32_t rows; };
  const Case cases[] = {
      {"zero CRC bytes", replaceStream("06 06 06 06 06 02 BB 00 66 0A 1B 03 00 00 02 08 00 01 02 4E 1E 04 D2 85 2D 04 00 00"),
       0, 2},
      {"no EOT frame", replaceFrames({"02 BB 00 66 0A 1B 03", "02 08 00 01 02 4E 1E 04 D2 85 2D 03"}), 20013, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    emulator.addTerminal(1).inject(c.f);
    comm.readdata(std::string("1"), date(2002, 10, 27), date(2002, 10, 27));
    EXPECT_EQ(c.code, comm.errorcode);
    EXPECT_EQ(c.rows, comm.rsrows);
  }
}

TEST_F(MvcommRecords, DecodesFieldBitsAndKeepsRecordsWithImpossibleTimes) {
  struct Case { const char* record; const char* row; };
  const Case cases[] = {
      {"01 02 4E 9E", "258,3,2002-10-27 14:30:00;"},   // top bits of the minute byte ignored
      {"FF FF FF 3B", "65535,8,null;"},                 // hour 31: kept, no time
      {"00 07 17 3C", "7,1,null;"},                     // minute 60: kept, no time
      {"00 07 17 3B", "7,1,2002-10-27 23:59:00;"},
      {"00 00 E0 00", "0,8,2002-10-27 00:00:00;"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    emulator.addTerminal(1).inject(replaceFrames({"02 BB 00 66 0A 1B 03", std::string("02 04 00 ") + c.record + " 04"}));
    comm.readdata(std::string("1"), date(2002, 10, 27), date(2002, 10, 27));
    expectOutcome(0, "");
    EXPECT_EQ(c.row, describe(rows(comm)));
  }
}

TEST_F(MvcommRecords, NewModelTransfersEveryRecordOfTheRangeInDateOrder) {
  Terminal& t = emulator.addTerminal(1);
  std::string want;
  for (int d = 27; d <= 29; ++d) {
    for (int i = 0; i < 70; ++i) {  // two record frames per day
      const Record r = record({2002, 10, d}, static_cast<std::uint16_t>(d * 100 + i), 1 + i % 8, i % 24, i % 60);
      ASSERT_TRUE(t.addRecord(r));
      char text[80];
      std::snprintf(text, sizeof text, "%d,%d,2002-10-%02d %02d:%02d:00;", d * 100 + i, 1 + i % 8, d, i % 24, i % 60);
      want += text;
    }
  }
  ASSERT_TRUE(t.addRecord(record({2002, 10, 30}, 1, 1, 1, 1)));  // outside the range
  comm.readdata(std::string("1"), date(2002, 10, 29), date(2002, 10, 27));
  expectOutcome(0, "");
  EXPECT_EQ(want, describe(rows(comm)));
}

TEST_F(MvcommRecords, OldModelTransfersFrameByFrame) {
  Terminal& t = emulator.addTerminal(2001);
  for (int d = 27; d <= 28; ++d)
    for (int i = 0; i < 40; ++i)  // 32 + 8 records per day
      ASSERT_TRUE(t.addRecord(record({2002, 10, d}, static_cast<std::uint16_t>(i), 2, 9, i)));
  comm.readdata(std::string("2001"), date(2002, 10, 27), date(2002, 10, 28));
  expectOutcome(0, "");
  ASSERT_EQ(80, comm.rsrows);
  const auto rs = rows(comm);
  EXPECT_EQ("0,2,2002-10-27 09:00:00;", describe({rs[0]}));
  EXPECT_EQ("39,2,2002-10-28 09:39:00;", describe({rs[79]}));
  // After the header: 2 x (date + 2 record frames) and the EOT frame.
  EXPECT_EQ(7, t.replies(Command::kRecordFrame));
}

TEST_F(MvcommRecords, EmptyRangeIsASuccessWithAnEmptySet) {
  for (std::uint16_t n : {1, 2001}) {
    SCOPED_TRACE(n);
    Terminal& t = emulator.addTerminal(n);
    ASSERT_TRUE(t.addRecord(record({2002, 10, 27}, 1, 1, 8, 0)));
    comm.readdata(std::to_string(n), date(2002, 10, 27), date(2002, 10, 27));
    ASSERT_EQ(1, comm.rsrows);
    comm.readdata(std::to_string(n), date(2003, 1, 1), date(2003, 1, 2));
    EXPECT_EQ(0, comm.rsrows);
    expectOutcome(0, "");
  }
}

TEST_F(MvcommRecords, MoveRecordCursor) {
  Terminal& t = emulator.addTerminal(1);
  for (int i = 1; i <= 10; ++i) ASSERT_TRUE(t.addRecord(record({2002, 10, 27}, static_cast<std::uint16_t>(i), 1, 8, i)));
  comm.readdata(std::string("1"), date(2002, 10, 27), date(2002, 10, 27));
  ASSERT_EQ(10, comm.rsrows);
  comm.moverecord(999, 1);
  expectOutcome(0, "");
  EXPECT_EQ(10, comm.rsemployeeid);
  comm.moverecord(1, 3);
  ASSERT_EQ(20001, comm.errorcode);
  comm.moverecord(0, 1);  // clears the cursor, reports nothing
  EXPECT_EQ(20001, comm.errorcode);
  EXPECT_EQ(0, comm.rsemployeeid);
  EXPECT_EQ("", comm.rsworkclass);
  EXPECT_FALSE(comm.rscardedtime.has_value());
}

TEST_F(MvcommRecords, ClearDataEmptiesTheRecordSetOnlyOnSuccess) {
  Terminal& t = emulator.addTerminal(1);
  ASSERT_TRUE(t.addRecord(record({2002, 10, 27}, 1, 1, 8, 0)));
  comm.readdata(std::string("1"), date(2002, 10, 27), date(2002, 10, 27));
  ASSERT_EQ(1, comm.rsrows);
  t.inject(fault(FaultKind::kNak, Command::kClear, std::nullopt, 3));
  comm.cleardata(std::string("1"));
  EXPECT_EQ(20015, comm.errorcode);
  EXPECT_EQ(1, comm.rsrows);
  EXPECT_EQ(1u, t.records().size());
  comm.cleardata(std::string("1"));
  expectOutcome(0, "");
  EXPECT_EQ(0, comm.rsrows);
  EXPECT_TRUE(t.records().empty());
}

}  // namespace
}  // namespace mvcomm::emulator

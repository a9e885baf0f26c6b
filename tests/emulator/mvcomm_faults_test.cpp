// File: tests/emulator/mvcomm_faults_test.cpp
//
// Every fault kind the emulator can commit, ending in the outcome the
// terminal class must give, with the record set and reference table left as
// they may be. The sets are filled beforehand so that a change shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <numeric>
#include <vector>

#include "tests/emulator/line_fixture.h"

namespace mvcomm::emulator {
namespace {

using namespace testing;

class MvcommFaults : public LineTest {
 protected:
  void SetUp() override { reset(); }

  // Back to the starting state: terminals 1 and 2001 with 100 records over
  // two days, terminal 1 with a 5-row table, no faults, the device present.
  void reset() {
    line.restore();
    line.runUntil(line.now() + 10s);  // sessions left open by a fault expire
    for (Terminal* t : emulator.terminals()) {
      t->clearFaults();
      t->clearRecords();
    }
    Terminal& t = emulator.addTerminal(1);
    for (int i = 0; i < 100; ++i)
      ASSERT_TRUE(t.addRecord(record({2002, 10, 27 + i % 2}, static_cast<std::uint16_t>(i), 1, 8, i % 60)));
    const ReferenceRow table[] = {{11, 111}, {22, 222}, {33, 333}, {44, 444}, {55, 555}};
    t.setReferenceTable(table);
    Terminal& old = emulator.addTerminal(2001);
    for (int i = 0; i < 100; ++i)
      ASSERT_TRUE(old.addRecord(record({2002, 10, 27 + i % 2}, static_cast<std::uint16_t>(i), 1, 8, i % 60)));
    // What the host holds before each faulty call: 3 records, 3 table rows.
    Terminal& seed = emulator.addTerminal(9);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(seed.addRecord(record({2002, 1, 1}, 900, 1, 8, 0)));
    comm.readdata(std::string("9"), date(2002, 1, 1), date(2002, 1, 1));
    ASSERT_EQ(3, comm.rsrows);
    comm.rtbeginwrite(3);
    line.clearLogs();
  }

  Terminal& terminal(std::uint16_t n) { return *emulator.find(n); }
};

Fault everyReply(Fault f) {
  f.times = 0;
  return f;
}

Fault pauseFault(Command command, std::size_t after, std::chrono::milliseconds pause) {
  Fault f = fault(FaultKind::kPause, command, after);
  f.pause = pause;
  return f;
}

TEST_F(MvcommFaults, RecordTransferFaults) {
  // No fault may end in success with a record missing or made up: a read
  // either brings all 100 records or fails.
  struct Case {
    const char* name;
    std::uint16_t machine;
    Fault f;
    std::int32_t code;
    std::int32_t rows;  // rsrows afterwards
  };
  const Case cases[] = {
      {"new model: stream cut short", 1, fault(FaultKind::kCutShort, Command::kReadRecords, 200), 20013, 0},
      {"new model: stream without its last frame", 1, fault(FaultKind::kStopBeforeEot, Command::kReadRecords),
       20013, 0},
      {"new model: stream that never ends", 1, fault(FaultKind::kEndless, Command::kReadRecords), 20013, 0},
      {"new model: only the acknowledgement", 1, fault(FaultKind::kCutShort, Command::kReadRecords, 5), 20013, 3},
      {"new model: silence", 1, fault(FaultKind::kSilence, Command::kReadRecords), 20013, 3},
      {"new model: garbage", 1, fault(FaultKind::kGarbage, Command::kReadRecords, 3000), 20012, 0},
      {"new model: too long", 1, fault(FaultKind::kTooLong, Command::kReadRecords, 3), 0, 100},
      {"new model: a pause shorter than the idle time-out", 1,
       pauseFault(Command::kReadRecords, 300, 4000ms), 0, 100},
      {"old model: stops before EOT", 2001, fault(FaultKind::kStopBeforeEot, Command::kRecordFrame), 20013, 0},
      {"old model: EOT before the count is used up", 2001, fault(FaultKind::kEarlyEot, Command::kReadRecords),
       20013, 0},
      {"old model: silent after the header", 2001, fault(FaultKind::kSilence, Command::kRecordFrame), 20013, 0},
      {"old model: a garbage frame", 2001, fault(FaultKind::kGarbage, Command::kRecordFrame), 20013, 0},
      {"old model: a garbage frame of a frame's length", 2001, [] {
         Fault f = fault(FaultKind::kReplace, Command::kRecordFrame);
         f.data = {0x02, 0x04, 0xFB, 0x00, 0x07, 0x21, 0x02, 0x03, 0x5A, 0x5A};  // CRC wrong
         return f;
       }(), 20012, 0},
      {"old model: a frame cut short", 2001, fault(FaultKind::kCutShort, Command::kRecordFrame), 20013, 0},
      {"old model: a frame split by a pause", 2001,
       pauseFault(Command::kRecordFrame, 4, 1000ms), 20013, 0},
      {"old model: one empty frame before the EOT frame", 2001, fault(FaultKind::kEndless, Command::kRecordFrame),
       0, 100},
      {"old model: empty frames for ever", 2001, everyReply(fault(FaultKind::kEndless, Command::kRecordFrame)),
       20013, 0},
      {"old model: a frame of one byte", 2001, [] {
         Fault f = fault(FaultKind::kReplace, Command::kRecordFrame);
         f.data = {0x02};
         return f;
       }(), 20013, 0},
      {"old model: a frame of two bytes", 2001, [] {
         Fault f = fault(FaultKind::kReplace, Command::kRecordFrame);
         f.data = {0x02, 0x40};
         return f;
       }(), 20013, 0},
      {"old model: NAKs for the read command", 2001, fault(FaultKind::kNak, Command::kReadRecords, std::nullopt, 6),
       20011, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    terminal(c.machine).inject(c.f);
    comm.readdata(std::to_string(c.machine), date(2002, 10, 27), date(2002, 10, 28));
    EXPECT_EQ(c.code, comm.errorcode) << comm.errormessage;
    if (comm.errorcode == 20013) {
      EXPECT_EQ("Haven't read any data from the specifical machine!", comm.errormessage);
    }
    if (comm.errorcode == 20012) {
      EXPECT_EQ("Failed parse data from memory buffer!", comm.errormessage);
    }
    EXPECT_FALSE(line.portOpen());
    EXPECT_EQ(c.rows, comm.rsrows);
    EXPECT_EQ(static_cast<std::size_t>(comm.rsrows), comm.records().size());
    if (comm.errorcode == 0) {  // each of the terminal's records once (sent day by day)
      std::vector<std::int32_t> ids;
      for (const str_record& r : comm.records()) ids.push_back(r.employeeid);
      std::sort(ids.begin(), ids.end());
      std::vector<std::int32_t> all(100);
      std::iota(all.begin(), all.end(), 0);
      EXPECT_EQ(all, ids);
    }
  }
}

TEST_F(MvcommFaults, DeviceVanishingMidTransferIsAnOperatingSystemError) {
  struct Case { const char* name; std::uint16_t machine; Command command; };
  const Case cases[] = {
      {"new-model stream", 1, Command::kReadRecords},
      {"old-model frame", 2001, Command::kRecordFrame},
      {"connect reply", 1, Command::kConnect},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    terminal(c.machine).inject(fault(FaultKind::kVanish, c.command, 20));
    comm.readdata(std::to_string(c.machine), date(2002, 10, 27), date(2002, 10, 28));
    EXPECT_EQ(EIO, comm.errorcode);
    EXPECT_EQ("API Error:Input/output error", comm.errormessage);
    EXPECT_FALSE(line.portOpen());
    // Up to the decode nothing is touched; the old model empties the set
    // when its first frame is decoded.
    if (c.machine == 1) {
      EXPECT_EQ(3, comm.rsrows);
    }
    // The next call finds no device.
    comm.cleardata(std::to_string(c.machine));
    EXPECT_EQ(ENOENT, comm.errorcode);
  }
}

TEST_F(MvcommFaults, ReferTableReadFaultsLeaveTheTableInMemory) {
  struct Case { const char* name; Fault f; std::int32_t code; };
  const Case cases[] = {
      {"block reply shorter than a block", fault(FaultKind::kShortBlock, Command::kReadBlock, 10), 20023},
      {"block reply one byte short", fault(FaultKind::kShortBlock, Command::kReadBlock, 17), 20023},
      {"second block short", [] {
         Fault f = fault(FaultKind::kShortBlock, Command::kReadBlock, 12);
         f.skip = 1;
         return f;
       }(), 20023},
      {"silence", fault(FaultKind::kSilence, Command::kReadBlock), 20023},
      {"garbage", fault(FaultKind::kGarbage, Command::kReadBlock), 20023},
      {"garbage on the second block", [] {
         Fault f = fault(FaultKind::kGarbage, Command::kReadBlock);
         f.skip = 1;
         return f;
       }(), 20023},
      // The read error closes the port and stays the outcome.
      {"device gone", fault(FaultKind::kVanish, Command::kReadBlock, 8), EIO},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    terminal(1).inject(c.f);
    comm.readrefertable(std::string("1"));
    EXPECT_EQ(c.code, comm.errorcode) << comm.errormessage;
    if (c.code == 20023) {
      EXPECT_EQ("Failed read refer table from the specifical machine!", comm.errormessage);
    }
    if (c.code < 20000) {
      EXPECT_EQ(0u, comm.errormessage.rfind("API Error:", 0));
    }
    EXPECT_EQ(3, comm.rtrows);
    EXPECT_FALSE(line.portOpen());
  }
  reset();
  comm.readrefertable(std::string("1"));
  expectOutcome(0, "");
  EXPECT_EQ(5, comm.rtrows);
}

TEST_F(MvcommFaults, ReferTableWriteFaults) {
  struct Case { const char* name; Fault f; std::int32_t code; bool stored; };
  const Case cases[] = {
      {"silence", fault(FaultKind::kSilence, Command::kWriteBlock), 20024, false},
      {"refused", fault(FaultKind::kNak, Command::kWriteBlock), 20024, false},
      // The reply's shape is the terminal's affair: noise on a stored
      // block's reply, or an acknowledgement cut short, still means stored.
      {"garbage", fault(FaultKind::kGarbage, Command::kWriteBlock), 0, true},
      {"acknowledgement cut short", fault(FaultKind::kCutShort, Command::kWriteBlock, 1), 0, true},
      {"acknowledgement too long", fault(FaultKind::kTooLong, Command::kWriteBlock, 1), 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    comm.rtbeginwrite(1);
    comm.rtwriterecord(1, 77, 7777);
    terminal(1).inject(c.f);
    comm.writerefertable(std::string("1"));
    EXPECT_EQ(c.code, comm.errorcode) << comm.errormessage;
    EXPECT_FALSE(line.portOpen());
    EXPECT_EQ(1, comm.rtrows);
    const auto stored = terminal(1).referenceTable();
    EXPECT_EQ(c.stored, !stored.empty() && stored[0] == (ReferenceRow{77, 7777}));
  }
}

}  // namespace
}  // namespace mvcomm::emulator

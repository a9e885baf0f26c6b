// File: tests/emulator/mvcomm_profiles_test.cpp
//
// The terminal class against terminals that choose otherwise where the
// protocol leaves their behaviour open (device profiles), and against an
// adapter that keeps rates near the ones asked for, in virtual time. The
// fault matrix runs every profile under every fault; these are the cases
// that need more than one operation or a look inside.
#include <gtest/gtest.h>

#include "terminal/crc_forms.h"
#include "tests/emulator/line_fixture.h"

namespace mvcomm::emulator::testing {
namespace {

class MvcommProfiles : public LineTest {
 protected:
  MvcommProfiles() {
    for (std::uint16_t n : {std::uint16_t{1}, std::uint16_t{2001}}) {
      Terminal& t = emulator.addTerminal(n);
      for (int i = 0; i < 40; ++i)
        EXPECT_TRUE(t.addRecord(record({2002, 10, 27 + i % 2}, static_cast<std::uint16_t>(100 + i), 1 + i % 8, 9, i)));
    }
    const ReferenceRow table[] = {{11, 111}, {22, 222}, {33, 333}};
    emulator.find(1)->setReferenceTable(table);
  }

  void use(const std::string& text) {
    DeviceProfile p;
    ASSERT_EQ("", parseDeviceProfile(text, p));
    for (Terminal* t : emulator.terminals()) t->setProfile(p);
  }

  // Lets the line go quiet long enough for any session to time out.
  void pause() { line.runUntil(line.now() + 10s); }

  void readNew() { comm.readdata(std::string("1"), date(2002, 10, 27), date(2002, 10, 28)); }
  void readOld() { comm.readdata(std::string("2001"), date(2002, 10, 27), date(2002, 10, 28)); }
};

TEST_F(MvcommProfiles, EachCheckFormIsLearnedAndNoiseAgainstItRefused) {
  struct Case {
    std::string form;
    bool checked;  // the host knows the form and can tell noise
  };
  std::vector<Case> cases;
  for (std::size_t i = 0; i < terminal::kCrcFormCount; ++i) {
    const std::string name(terminal::crcFormName(i));
    cases.push_back({name, name != "zero"});
  }
  cases.push_back({"modbus-frame", false});
  cases.push_back({"xmodem-payload-msb", false});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.form);
    use("crc=" + c.form);
    const auto state = c.checked ? CrcFindings::State::kChecked : CrcFindings::State::kUnchecked;
    const std::string named = c.checked || c.form == "zero" ? c.form : "";
    for (bool newModel : {true, false}) {
      SCOPED_TRACE(newModel ? "new model" : "old model");
      pause();
      newModel ? readNew() : readOld();
      EXPECT_EQ(0, comm.errorcode) << comm.errormessage;
      EXPECT_EQ(40, comm.rsrows);
      EXPECT_EQ(state, comm.crcFindings().state);
      EXPECT_EQ(named, comm.crcFindings().form);
      // One byte inverted in the middle of the transfer.
      pause();
      emulator.find(newModel ? 1 : 2001)->inject(fault(FaultKind::kFlip, newModel ? Command::kReadRecords : Command::kRecordFrame));
      newModel ? readNew() : readOld();
      EXPECT_EQ(c.checked ? 20012 : 0, comm.errorcode);
    }
    emulator.find(1)->powerUp();  // still at readdata's rate: a table session would not reach it
    pause();
    comm.readrefertable(std::string("1"));
    EXPECT_EQ(0, comm.errorcode);
    EXPECT_EQ(3, comm.rtrows);
    // Block replies have no end byte: "arc-frame-noend" reads as "arc-frame".
    EXPECT_EQ(state, comm.crcFindings().state);
    pause();
    emulator.find(1)->inject(fault(FaultKind::kFlip, Command::kReadBlock, 9));
    comm.readrefertable(std::string("1"));
    EXPECT_EQ(c.checked ? 20023 : 0, comm.errorcode);
  }
}

// When a terminal left at readdata's rate comes back to 2450 is its own
// affair. A session opened with of_connect sends its A2 frame first, which
// brings a next-session terminal back; a table transfer does not.
TEST_F(MvcommProfiles, BackToBackOperationsUnderEachRateReturn) {
  struct Case {
    const char* profile;
    std::int32_t clockAfterRead;      // setclock right after readdata
    std::int32_t tableAfterRead;      // readrefertable right after readdata
    std::int32_t tableAgain;          // and once more
  };
  const Case cases[] = {
      {"rate-return=next-session", 0, 20023, 0},
      {"rate-return=end", 0, 0, 0},
      // readdata ends 5 s after the stream; a table transfer starts at once.
      {"rate-return=quiet:1500", 0, 0, 0},
      {"rate-return=quiet:6000", 0, 20023, 0},
      {"rate-return=power-up", 20009, 20023, 20023},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.profile);
    use(c.profile);
    emulator.find(1)->powerUp();
    pause();
    readNew();
    ASSERT_EQ(0, comm.errorcode);
    comm.setclock(std::string("1"), dateTime(2002, 10, 28, 9, 0, 0));
    EXPECT_EQ(c.clockAfterRead, comm.errorcode);
    emulator.find(1)->powerUp();
    pause();
    readNew();
    ASSERT_EQ(0, comm.errorcode);
    comm.readrefertable(std::string("1"));
    EXPECT_EQ(c.tableAfterRead, comm.errorcode);
    comm.readrefertable(std::string("1"));
    EXPECT_EQ(c.tableAgain, comm.errorcode);
  }
}

// The 8 ms pause runs after the last stop bit, before DTR, parity or rate
// change.
TEST_F(MvcommProfiles, TheSendPauseFollowsTheLastByteOnTheWire) {
  readNew();
  ASSERT_EQ(0, comm.errorcode);
  std::vector<Clock::time_point> changes;
  for (const DtrChange& d : line.dtrChanges()) changes.push_back(d.at);
  for (const SettingsChange& s : line.settingsChanges()) changes.push_back(s.at);
  ASSERT_FALSE(changes.empty());
  for (const HostFrame& f : frames()) {
    SCOPED_TRACE(hex(f.bytes).substr(0, 20));
    for (Clock::time_point at : changes) {
      if (at >= f.end) {
        EXPECT_GE(at - f.end, 8ms);
      }
    }
  }
}

// A terminal that answers within the host's pause keeps its reply: the
// receive queue was purged when the frame had left the wire.
TEST_F(MvcommProfiles, AReplyThatStartsWithinThePauseIsKept) {
  use("turnaround=2");
  readNew();
  EXPECT_EQ(0, comm.errorcode);
  EXPECT_EQ(40, comm.rsrows);
}

TEST_F(MvcommProfiles, AnAdapterThatKeepsRatesNearTheOnesAskedForStillReachesTheTerminals) {
  // 2450 -> 2400, 10416 -> 10400, 4937 -> 4900...
  line.setKeptRate([](std::uint32_t rate) { return rate / 100 * 100; });
  comm.readrefertable(std::string("1"));
  EXPECT_EQ(0, comm.errorcode);
  EXPECT_EQ(2400u, frames().back().settings.baud);
  pause();
  readNew();
  EXPECT_EQ(0, comm.errorcode);
  EXPECT_EQ(40, comm.rsrows);
  EXPECT_EQ(10400u, frames().back().settings.baud);
}

// Terminals that overwrite their table in place keep the old rows past the
// end of a shorter one: what a user then reads back.
TEST_F(MvcommProfiles, AShorterTableWrittenInPlaceLeavesTheOldRowsBehind) {
  for (const char* profile : {"table-write=erase", "table-write=in-place"}) {
    SCOPED_TRACE(profile);
    use(profile);
    const ReferenceRow five[] = {{1, 101}, {2, 102}, {3, 103}, {4, 104}, {5, 105}};
    emulator.find(1)->setReferenceTable(five);
    pause();
    comm.rtbeginwrite(2);
    comm.rtwriterecord(1, 7, 707);
    comm.rtwriterecord(2, 8, 808);
    comm.writerefertable(std::string("1"));
    ASSERT_EQ(0, comm.errorcode);
    pause();
    comm.readrefertable(std::string("1"));
    ASSERT_EQ(0, comm.errorcode);
    ASSERT_GE(comm.rtrows, 2);
    EXPECT_EQ(707, comm.refertable()[0].cardid);
    EXPECT_EQ(808, comm.refertable()[1].cardid);
    // Rows 4 and 5 come back from the old table; row 3 lost its first bytes
    // to the zero fill of the new table's last block.
    EXPECT_EQ(std::string(profile) == "table-write=erase" ? 2 : 4, comm.rtrows);
  }
}

}  // namespace
}  // namespace mvcomm::emulator::testing

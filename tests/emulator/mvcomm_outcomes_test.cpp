// File: tests/emulator/mvcomm_outcomes_test.cpp
//
// Outcomes of the terminal class end to end: argument and settings checks
// (reported before the port is touched), the messages of every code a
// terminal method can end with, operating-system failures, and the port
// being closed after every call.
#include <gtest/gtest.h>

#include <cerrno>

#include "tests/emulator/line_fixture.h"

namespace mvcomm::emulator {
namespace {

using namespace testing;

using MvcommOutcomes = LineTest;

constexpr const char* kInvalidArguments = "Invalid method arguments!";
constexpr const char* kInvalidMachine = "Invalid machine number!";
constexpr const char* kInvalidDate = "Invalid date or time!";

// Runs one terminal method by name with a machine number.
void call(n_cst_mvcomm& comm, const std::string& method, const NullableString& machine) {
  if (method == "setclock") comm.setclock(machine, dateTime(2002, 10, 27, 14, 30, 45));
  if (method == "readdata") comm.readdata(machine, date(2002, 10, 27), date(2002, 10, 27));
  if (method == "cleardata") comm.cleardata(machine);
  if (method == "readrefertable") comm.readrefertable(machine);
  if (method == "writerefertable") comm.writerefertable(machine);
}

const char* const kTerminalMethods[] = {"setclock", "readdata", "cleardata", "readrefertable",
                                        "writerefertable"};

TEST_F(MvcommOutcomes, MachineNumberTextsAreCheckedBeforeThePortOpens) {
  struct Case { std::optional<std::string> text; std::int32_t code; std::int32_t readdataCode; };
  const Case cases[] = {
      {std::nullopt, 20016, 20017},
      {"", 20016, 20017},
      {" ", 20016, 20017},
      {"abc", 20016, 20017},
      {"5a", 20016, 20017},
      {"70000", 20017, 20017},
      {"65536", 20017, 20017},
      {"-1", 20017, 20017},
      {"5.5", 20017, 20017},                  // a number, not a whole one
      {"4294967301", 20017, 20017},           // would wrap to 5 in 32 bits
      {"99999999999999999999", 20017, 20017},
      {std::string(10240, '7'), 20017, 20017},
  };
  comm.rtbeginwrite(1);  // so writerefertable gets past its row check
  for (const Case& c : cases) {
    for (const char* method : kTerminalMethods) {
      SCOPED_TRACE(std::string(method) + " '" + c.text.value_or("<null>").substr(0, 20) + "'");
      call(comm, method, c.text);
      const std::int32_t want = std::string(method) == "readdata" ? c.readdataCode : c.code;
      expectOutcome(want, want == 20016 ? kInvalidArguments : kInvalidMachine);
    }
  }
  EXPECT_EQ(0, line.opens());
  EXPECT_TRUE(frames().empty());
}

TEST_F(MvcommOutcomes, SettingsAreCheckedAfterTheArguments) {
  comm.rtbeginwrite(1);
  for (const char* method : kTerminalMethods) {
    SCOPED_TRACE(method);
    comm.commport = 0;
    comm.bautrate = 0;
    call(comm, method, std::string("1"));
    expectOutcome(20002, "Invalid COM port, COM port must more than 0 !");
    comm.commport = 1;
    call(comm, method, std::string("1"));
    expectOutcome(20003, "Invalid Baut Rate, Baut Rate must more than 0 !");
    comm.commport = -3;
    comm.bautrate = 9600;
    call(comm, method, std::string("1"));
    EXPECT_EQ(20002, comm.errorcode);
  }
  EXPECT_EQ(0, line.opens());
}

TEST_F(MvcommOutcomes, DatesAreCheckedBetweenTheTwoNumberChecks) {
  // setclock: a bad clock is reported before the number's range...
  comm.setclock(std::string("70000"), std::nullopt);
  expectOutcome(20018, kInvalidDate);
  comm.setclock(std::string("1"), dateTime(2002, 2, 30, 10, 0, 0));
  expectOutcome(20018, kInvalidDate);
  comm.setclock(std::string("1"), dateTime(2002, 2, 3, 24, 0, 0));
  expectOutcome(20018, kInvalidDate);
  // ...and after the text check.
  comm.setclock(std::string("x"), std::nullopt);
  expectOutcome(20016, kInvalidArguments);
  comm.readdata(std::string("70000"), std::nullopt, date(2002, 1, 1));
  expectOutcome(20018, kInvalidDate);
  comm.readdata(std::string("1"), date(2002, 1, 1), date(2002, 13, 1));
  expectOutcome(20018, kInvalidDate);
  EXPECT_EQ(0, line.opens());
}

TEST_F(MvcommOutcomes, YearsOutsideOneByteAreRefusedNotWrapped) {
  struct Case { int year; bool sent; };
  for (const Case c : {Case{1899, false}, Case{1900, true}, Case{2155, true}, Case{2156, false}}) {
    SCOPED_TRACE(c.year);
    emulator.addTerminal(1);
    line.clearLogs();
    comm.setclock(std::string("1"), dateTime(c.year, 1, 1, 0, 0, 0));
    EXPECT_EQ(c.sent ? 0 : 20018, comm.errorcode);
    comm.readdata(std::string("1"), date(2002, 1, 1), date(c.year, 1, 1));
    EXPECT_EQ(c.sent ? 0 : 20018, comm.errorcode);
    if (!c.sent) {
      EXPECT_EQ(kInvalidDate, comm.errormessage);
      EXPECT_TRUE(frames().empty());
    }
  }
}

TEST_F(MvcommOutcomes, ZeroIsAValidMachineNumber) {
  emulator.addTerminal(0);
  comm.cleardata(std::string("0"));
  expectOutcome(0, "");
}

TEST_F(MvcommOutcomes, MissingPortGivesTheSystemError) {
  comm.commport = 2;  // the line is COM1
  for (const char* method : kTerminalMethods) {
    SCOPED_TRACE(method);
    comm.rtbeginwrite(1);
    call(comm, method, std::string("1"));
    EXPECT_EQ(ENOENT, comm.errorcode);
    EXPECT_EQ("API Error:No such file or directory", comm.errormessage);
  }
  comm.commport = 1;
  line.failNextOpen(EACCES);
  comm.cleardata(std::string("1"));
  EXPECT_EQ(EACCES, comm.errorcode);
  EXPECT_EQ("API Error:Permission denied", comm.errormessage);
}

TEST_F(MvcommOutcomes, SilentTerminalFailsEachCommandWithItsOwnCode) {
  struct Case { const char* method; Command command; std::int32_t code; const char* message; };
  const Case cases[] = {
      {"setclock", Command::kConnect, 20009, "Failed connect the specifical machine!"},
      {"setclock", Command::kSetClock, 20014, "Failed set clock to the specifical machine!"},
      {"readdata", Command::kBaudChange, 20010, "Failed alter the specifical machine's BautRate!"},
      {"cleardata", Command::kClear, 20015, "Failed clear data from the specifical machine!"},
      {"writerefertable", Command::kWriteBlock, 20024, "Failed write refer table to the specifical machine!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " silent at " + std::string(commandName(c.command)));
    Emulator em;
    em.addTerminal(3).inject(fault(FaultKind::kSilence, c.command, std::nullopt, 0));
    VirtualLine l(em);
    n_cst_mvcomm host(std::shared_ptr<serial::PortOpener>(std::shared_ptr<void>(), &l.opener()),
                      std::shared_ptr<Clock>(std::shared_ptr<void>(), &l.clock()));
    host.commport = 1;
    host.bautrate = 9600;
    host.rtbeginwrite(1);
    call(host, c.method, std::string("3"));
    EXPECT_EQ(c.code, host.errorcode);
    EXPECT_EQ(c.message, host.errormessage);
    EXPECT_FALSE(l.portOpen());
  }
}

TEST_F(MvcommOutcomes, OldModelReadCommandIsTriedSixTimes) {
  Terminal& t = emulator.addTerminal(2001);
  ASSERT_TRUE(t.addRecord(record({2002, 10, 27}, 5, 1, 8, 0)));
  t.inject(fault(FaultKind::kNak, Command::kReadRecords, std::nullopt, 5));
  comm.readdata(std::string("2001"), date(2002, 10, 27), date(2002, 10, 27));
  expectOutcome(0, "");
  EXPECT_EQ(1, comm.rsrows);
  t.inject(fault(FaultKind::kNak, Command::kReadRecords, std::nullopt, 6));
  comm.readdata(std::string("2001"), date(2002, 10, 27), date(2002, 10, 27));
  expectOutcome(20011, "Failed send read command to the specifical machine!");
  EXPECT_EQ(1, comm.rsrows) << "the record set is kept until a decode starts";
}

TEST_F(MvcommOutcomes, RetriesStopAtTheFirstAcknowledgement) {
  struct Case { const char* method; Command command; int naks; std::int32_t code; };
  const Case cases[] = {
      {"setclock", Command::kSetClock, 2, 0},   {"setclock", Command::kSetClock, 3, 20014},
      {"readdata", Command::kBaudChange, 2, 0}, {"readdata", Command::kBaudChange, 3, 20010},
      {"cleardata", Command::kClear, 2, 0},     {"cleardata", Command::kClear, 3, 20015},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " " + std::to_string(c.naks) + " NAKs");
    Emulator em;
    Terminal& t = em.addTerminal(3);
    ASSERT_TRUE(t.addRecord(record({2002, 10, 27}, 5, 1, 8, 0)));
    t.inject(fault(FaultKind::kNak, c.command, std::nullopt, c.naks));
    VirtualLine l(em);
    n_cst_mvcomm host(std::shared_ptr<serial::PortOpener>(std::shared_ptr<void>(), &l.opener()),
                      std::shared_ptr<Clock>(std::shared_ptr<void>(), &l.clock()));
    host.commport = 1;
    host.bautrate = 9600;
    call(host, c.method, std::string("3"));
    EXPECT_EQ(c.code, host.errorcode) << host.errormessage;
    EXPECT_EQ(std::min(c.naks + 1, 3), t.replies(c.command));
    // A clear that was never acknowledged leaves the records on the terminal.
    if (c.command == Command::kClear) {
      EXPECT_EQ(c.code == 0, t.records().empty());
    }
  }
}

TEST_F(MvcommOutcomes, ConnectReplyMustBe111BytesBeginningWithFiveAcks) {
  struct Case { const char* name; Fault f; std::int32_t code; };
  const Case cases[] = {
      {"110 bytes", fault(FaultKind::kConnectLength, Command::kConnect, 110), 20009},
      {"112 bytes", fault(FaultKind::kConnectLength, Command::kConnect, 112), 20009},
      {"cut short", fault(FaultKind::kCutShort, Command::kConnect, 60), 20009},
      {"NAKs", fault(FaultKind::kNak, Command::kConnect), 20009},
      {"garbage", fault(FaultKind::kGarbage, Command::kConnect), 20009},
      {"pause inside the idle time-out", [] {
         Fault f = fault(FaultKind::kPause, Command::kConnect, 50);
         f.pause = 700ms;
         return f;
       }(), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    line.clearLogs();
    Terminal& t = emulator.addTerminal(12);
    t.inject(c.f);
    comm.setclock(std::string("12"), dateTime(2002, 10, 27, 14, 30, 45));
    EXPECT_EQ(c.code, comm.errorcode);
    ASSERT_GE(frames().size(), 4u);
    EXPECT_EQ(c.code == 0 ? "06 06 06 06 06" : "15 15 15 15 15", hex(frames()[3].bytes));
    EXPECT_FALSE(line.portOpen());
  }
}

TEST_F(MvcommOutcomes, SetClockReplyMustBeExactlyFiveAcks) {
  Terminal& t = emulator.addTerminal(4);
  t.inject(fault(FaultKind::kTooLong, Command::kSetClock, 1, 3));
  comm.setclock(std::string("4"), dateTime(2002, 10, 27, 14, 30, 45));
  expectOutcome(20014, "Failed set clock to the specifical machine!");
  EXPECT_EQ(3, t.replies(Command::kSetClock));
  // A baud change or clear accepts a longer reply that begins with the ACKs.
  t.inject(fault(FaultKind::kTooLong, Command::kClear, 1, 3));
  comm.cleardata(std::string("4"));
  expectOutcome(0, "");
}

TEST_F(MvcommOutcomes, MoveRecordReportsOnlyForFlagsAndEmptySets) {
  comm.moverecord(1, 3);
  expectOutcome(20001, "Invalid Settings!");
  comm.moverecord(1, 1);
  expectOutcome(20007, "No record!");
  comm.moverecord(0, 2);
  expectOutcome(20007, "No record!");
  comm.rtbeginwrite(0);
  expectOutcome(20016, kInvalidArguments);
  comm.rtwriterecord(1, 1, 1);
  expectOutcome(20022,
                "Refer table's buffer is not init! Please call 'RtBeginWrite' method to initialize buffer!");
  comm.rtbeginwrite(3);
  comm.rtwriterecord(4, 1, 1);
  expectOutcome(20021, "Invalid record number!");
  comm.rtwriterecord(0, 1, 1);
  expectOutcome(20021, "Invalid record number!");
  comm.writerefertable(std::string("1"));  // no terminal 1 on the line: it stays silent
  expectOutcome(20024, "Failed write refer table to the specifical machine!");
}

TEST_F(MvcommOutcomes, TableLimitIsTheWriteBuffer) {
  comm.rtbeginwrite(2911);
  expectOutcome(0, "");
  EXPECT_EQ(2911, comm.rtrows);
  comm.rtbeginwrite(2912);
  expectOutcome(20016, kInvalidArguments);
  EXPECT_EQ(2911, comm.rtrows) << "a refused size leaves the table as it was";
}

TEST_F(MvcommOutcomes, WriteReferTableWithNoRowsFailsBeforeOpening) {
  comm.writerefertable(std::string("1"));
  expectOutcome(20020, "No record in the Refer Table!");
  EXPECT_EQ(0, line.opens());
}

}  // namespace
}  // namespace mvcomm::emulator

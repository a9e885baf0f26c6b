// File: tests/terminal/n_cst_mvcomm_test.cpp
//
// The terminal class on a scripted line in virtual time: argument checks,
// outcome reporting, reception timing, the branches of each command, the
// record and table cursors, and every serial call failing in turn.
#include <gtest/gtest.h>

#include <cerrno>
#include <algorithm>
#include <deque>
#include <functional>
#include <string>

#include "testing/fake_line.h"
#include "testing/terminal_probe.h"
#include "testing/scripted_terminal.h"
#include "terminal/frames.h"

namespace mvcomm {
namespace {

using namespace std::chrono_literals;
using testing::Bytes;
using P = n_cst_mvcomm_probe;
namespace t = terminal;

class TerminalClass : public ::testing::Test {
 protected:
  TerminalClass() {
    line->setResponder(script.responder());
    o.commport = 1;
    o.bautrate = 9600;
  }

  // Frames whose first bytes are `prefix`.
  std::vector<testing::SentFrame> framesStartingWith(const Bytes& prefix) const {
    std::vector<testing::SentFrame> out;
    for (const auto& f : line->frames()) {
      if (f.bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), f.bytes.begin())) {
        out.push_back(f);
      }
    }
    return out;
  }

  std::shared_ptr<testing::FakeClock> clock = std::make_shared<testing::FakeClock>();
  std::shared_ptr<testing::FakeLine> line = std::make_shared<testing::FakeLine>(clock);
  testing::ScriptedTerminal script;
  n_cst_mvcomm o{std::make_shared<testing::FakeOpener>(line), clock};
};

const DateTime kClock{{2002, 10, 27}, 14, 30, 45};
const Date kFrom{2002, 10, 1};
const Date kTo{2002, 10, 27};

// ---- construction and reporting ----------------------------------------------------

TEST_F(TerminalClass, StartsWithTheDocumentedValues) {
  n_cst_mvcomm fresh(std::make_shared<testing::FakeOpener>(line), clock);
  EXPECT_EQ(fresh.commport, 0);
  EXPECT_EQ(fresh.bautrate, 0);
  EXPECT_EQ(fresh.errorcode, 0);
  EXPECT_EQ(fresh.errormessage, "");
  EXPECT_EQ(fresh.rsrows, 0);
  EXPECT_EQ(fresh.rscardedtime, (DateTime{{1900, 1, 1}, 0, 0, 0}));
  EXPECT_EQ(fresh.receivedatatimelapse, 800);
  EXPECT_EQ(P::handle(fresh), -1);
}

TEST_F(TerminalClass, ReportsOwnCodesWithTheirTexts) {
  struct Case {
    std::int32_t code;
    std::int32_t errorcode;
    const char* message;
  };
  const Case cases[] = {
      {0, 0, ""},
      {1, 20001, "Invalid Settings!"},
      {2, 20002, "Invalid COM port, COM port must more than 0 !"},
      {5, 20005, "Unknowned error!"},
      {22, 20022, "Refer table's buffer is not init! Please call 'RtBeginWrite' method to initialize buffer!"},
      {24, 20024, "Failed write refer table to the specifical machine!"},
      {25, 20025, "Unknowned error!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    P::seterrorinfo(o, c.code, false);
    EXPECT_EQ(o.errorcode, c.errorcode);
    EXPECT_EQ(o.errormessage, c.message);
  }
}

TEST_F(TerminalClass, MissingPortGivesTheSystemErrorNumber) {
  line->openError = ENOENT;
  o.cleardata("1");
  EXPECT_EQ(o.errorcode, 2);
  EXPECT_EQ(o.errormessage, "API Error:No such file or directory");
}

TEST_F(TerminalClass, DefaultEnvironmentIsReplaceable) {
  auto previous = n_cst_mvcomm::setDefaultEnvironment({std::make_shared<testing::FakeOpener>(line), clock});
  {
    n_cst_mvcomm viaDefault;
    viaDefault.commport = 25;
    viaDefault.bautrate = 2400;
    viaDefault.cleardata("1");
    EXPECT_EQ(viaDefault.errorcode, 0);
  }
  n_cst_mvcomm::setDefaultEnvironment(previous);
  ASSERT_FALSE(line->openedNames().empty());
  EXPECT_EQ(line->openedNames().back(), "COM25");
  EXPECT_TRUE(n_cst_mvcomm::defaultEnvironment().opener != nullptr);
}

// ---- argument checks ------------------------------------------------------------------

enum class Method { kSetClock, kReadData, kClearData, kReadTable, kWriteTable };

TEST_F(TerminalClass, ArgumentChecksReportBeforeThePortIsTouched) {
  struct Case {
    const char* name;
    NullableString machinenum;
    std::int16_t commport;
    std::int16_t bautrate;
    std::int32_t expected[5];  // setclock, readdata, cleardata, readrefertable, writerefertable
  };
  const std::string tenKbDigits(10240, '9');
  const std::string tenKbText(10240, 'q');
  const Case cases[] = {
      {"commport 0", "1", 0, 9600, {20002, 20002, 20002, 20002, 20002}},
      {"commport negative", "1", -3, 9600, {20002, 20002, 20002, 20002, 20002}},
      {"bautrate 0", "1", 1, 0, {20003, 20003, 20003, 20003, 20003}},
      {"null", std::nullopt, 1, 9600, {20016, 20017, 20016, 20016, 20016}},
      {"empty", "", 1, 9600, {20016, 20017, 20016, 20016, 20016}},
      {"blank", " ", 1, 9600, {20016, 20017, 20016, 20016, 20016}},
      {"abc", "abc", 1, 9600, {20016, 20017, 20016, 20016, 20016}},
      {"5a", "5a", 1, 9600, {20016, 20017, 20016, 20016, 20016}},
      {"10 kB text", tenKbText, 1, 9600, {20016, 20017, 20016, 20016, 20016}},
      {"-1", "-1", 1, 9600, {20017, 20017, 20017, 20017, 20017}},
      {"5.5", "5.5", 1, 9600, {20017, 20017, 20017, 20017, 20017}},
      {"1e3", "1e3", 1, 9600, {20017, 20017, 20017, 20017, 20017}},
      {"70000", "70000", 1, 9600, {20017, 20017, 20017, 20017, 20017}},
      {"2^32+5", "4294967301", 1, 9600, {20017, 20017, 20017, 20017, 20017}},
      {"20 digits", "99999999999999999999", 1, 9600, {20017, 20017, 20017, 20017, 20017}},
      {"10 kB digits", tenKbDigits, 1, 9600, {20017, 20017, 20017, 20017, 20017}},
      // The number test comes before the settings test.
      {"abc, commport 0", "abc", 0, 0, {20016, 20017, 20016, 20016, 20016}},
  };
  for (const Case& c : cases) {
    for (int m = 0; m < 5; ++m) {
      SCOPED_TRACE(std::string(c.name) + " method " + std::to_string(m));
      o.commport = c.commport;
      o.bautrate = c.bautrate;
      o.rtbeginwrite(1);
      switch (static_cast<Method>(m)) {
        case Method::kSetClock: o.setclock(c.machinenum, kClock); break;
        case Method::kReadData: o.readdata(c.machinenum, kFrom, kTo); break;
        case Method::kClearData: o.cleardata(c.machinenum); break;
        case Method::kReadTable: o.readrefertable(c.machinenum); break;
        case Method::kWriteTable: o.writerefertable(c.machinenum); break;
      }
      EXPECT_EQ(o.errorcode, c.expected[m]);
      EXPECT_TRUE(line->openedNames().empty());
    }
  }
}

TEST_F(TerminalClass, ClockAndDateChecks) {
  struct Case {
    const char* name;
    NullableString machinenum;
    NullableDateTime clock;
    std::int32_t expected;  // 0: accepted, the port was opened
  };
  const Case cases[] = {
      {"null clock", "1", std::nullopt, 20018},
      {"month 13", "1", DateTime{{2002, 13, 1}, 0, 0, 0}, 20018},
      {"31 April", "1", DateTime{{2002, 4, 31}, 0, 0, 0}, 20018},
      {"hour 24", "1", DateTime{{2002, 4, 1}, 24, 0, 0}, 20018},
      {"year 1899", "1", DateTime{{1899, 12, 31}, 23, 59, 0}, 20018},
      {"year 2156", "1", DateTime{{2156, 1, 1}, 0, 0, 0}, 20018},
      {"year 1900", "1", DateTime{{1900, 1, 1}, 0, 0, 0}, 0},
      {"year 2155", "1", DateTime{{2155, 12, 31}, 23, 59, 59}, 0},
      {"0 is a machine", "0", kClock, 0},
      // The clock check comes before the range check, after the number check.
      {"70000 and null clock", "70000", std::nullopt, 20018},
      {"abc and null clock", "abc", std::nullopt, 20016},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::size_t opensBefore = line->openedNames().size();
    o.setclock(c.machinenum, c.clock);
    EXPECT_EQ(o.errorcode, c.expected);
    EXPECT_EQ(line->openedNames().size() > opensBefore, c.expected == 0);
  }
  struct DateCase {
    NullableDate from, to;
    std::int32_t expected;
  };
  const DateCase dates[] = {{std::nullopt, kTo, 20018},
                            {kFrom, std::nullopt, 20018},
                            {Date{1899, 12, 31}, kTo, 20018},
                            {kFrom, Date{2156, 1, 1}, 20018},
                            {Date{2001, 2, 29}, kTo, 20018}};
  for (const DateCase& d : dates) {
    SCOPED_TRACE(d.from ? d.from->toString() : "null");
    o.readdata("1", d.from, d.to);
    EXPECT_EQ(o.errorcode, d.expected);
  }
  // Year 1900 travels as a zero byte.
  line->setResponder(script.responder());
  script.onReadNew = testing::acks();
  o.readdata("1", Date{1900, 1, 1}, Date{2155, 12, 31});
  auto reads = framesStartingWith({0x02, 0xBE});
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(Bytes(reads[0].bytes.begin() + 3, reads[0].bytes.begin() + 11),
            (Bytes{0x00, 0x01, 0x01, 0x20, 0xFF, 0x0C, 0x1F, 0x03}));
}

// ---- reception timing ------------------------------------------------------------------

TEST_F(TerminalClass, ReceptionEndsOneIdleTimeOutAfterTheLastBurst) {
  line->setResponder([](const testing::SentFrame&) {
    return testing::Reply{{100ms, Bytes(40, 0x41)}, {300ms, Bytes(60, 0x42)}};
  });
  ASSERT_TRUE(P::opencomm(o));
  Bytes frame{1, 2, 3};
  auto start = clock->now();  // the frame takes no time on this line
  ASSERT_TRUE(P::sendcommand(o, frame, 3));
  Bytes buffer;
  std::int32_t got = 0;
  ASSERT_TRUE(P::receivedata(o, buffer, got, true));
  EXPECT_EQ(got, 100);
  // First burst 100 ms after the frame, second 300 ms later, then 800 ms idle.
  EXPECT_EQ(clock->now() - start, 400ms + 800ms);
  EXPECT_EQ(buffer[0], 0x41);
  EXPECT_EQ(buffer[99], 0x42);
}

TEST_F(TerminalClass, IdleTimeOutChoice) {
  struct Case {
    std::int32_t lapse;
    bool newMachineRead;
    Clock::duration idle;
  };
  const Case cases[] = {{800, false, 800ms}, {0, false, 800ms}, {-5, false, 800ms},
                        {250, false, 250ms}, {250, true, 5000ms}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lapse);
    line->setResponder([](const testing::SentFrame&) { return testing::Reply{{10ms, Bytes{7}}}; });
    o.receivedatatimelapse = c.lapse;
    ASSERT_TRUE(P::opencomm(o));
    Bytes frame{1};
    auto start = clock->now();
    ASSERT_TRUE(P::sendcommand(o, frame, 1));
    P::setNewMachineReadData(o, c.newMachineRead);
    Bytes buffer;
    std::int32_t got = 0;
    ASSERT_TRUE(P::receivedata(o, buffer, got, true));
    EXPECT_EQ(got, 1);
    EXPECT_EQ(clock->now() - start, 10ms + c.idle);
    // The 5000 ms idle applies once: the flag is cleared by the reception.
    start = clock->now();
    ASSERT_TRUE(P::sendcommand(o, frame, 1));
    ASSERT_TRUE(P::receivedata(o, buffer, got, true));
    EXPECT_EQ(clock->now() - start, 10ms + std::chrono::milliseconds(c.lapse > 0 ? c.lapse : 800));
  }
}

TEST_F(TerminalClass, IdleTimeOutBracketedByOneTick) {
  // A second burst exactly at the idle deadline still belongs to the reply;
  // one tick later it does not.
  for (auto gap : {Clock::duration(800ms), Clock::duration(800ms) + Clock::duration(1)}) {
    SCOPED_TRACE(gap.count());
    line->setResponder([gap](const testing::SentFrame&) {
      return testing::Reply{{10ms, Bytes{1}}, {gap, Bytes{2}}};
    });
    ASSERT_TRUE(P::opencomm(o));
    Bytes frame{1};
    ASSERT_TRUE(P::sendcommand(o, frame, 1));
    Bytes buffer;
    std::int32_t got = 0;
    ASSERT_TRUE(P::receivedata(o, buffer, got, true));
    EXPECT_EQ(got, gap == 800ms ? 2 : 1);
  }
}

TEST_F(TerminalClass, SilenceIsAnEmptySuccessAfterFiveSeconds) {
  line->setResponder(nullptr);
  ASSERT_TRUE(P::opencomm(o));
  Bytes buffer;
  std::int32_t got = -1;
  auto start = clock->now();
  ASSERT_TRUE(P::receivedata(o, buffer, got, false));
  EXPECT_EQ(got, 0);
  EXPECT_EQ(clock->now() - start, 5000ms);
}

TEST_F(TerminalClass, OldModelReceptionStopsAtTheByteLimitKeepingTheWholeRead) {
  line->setResponder([](const testing::SentFrame&) {
    return testing::Reply{{10ms, Bytes(150, 1)}, {10ms, Bytes(150, 2)}, {10ms, Bytes(150, 3)}};
  });
  ASSERT_TRUE(P::opencomm(o));
  Bytes frame{1};
  auto start = clock->now();
  ASSERT_TRUE(P::sendcommand(o, frame, 1));
  Bytes buffer;
  std::int32_t got = 0;
  ASSERT_TRUE(P::receivedata(o, buffer, got, false));
  EXPECT_EQ(got, 300);
  EXPECT_EQ(clock->now() - start, 20ms);  // no idle wait after the limit
}

// ---- commands ----------------------------------------------------------------------------

TEST_F(TerminalClass, SetClockSessionOnTheWire) {
  o.setclock("258", kClock);
  ASSERT_EQ(o.errorcode, 0);
  EXPECT_EQ(o.errormessage, "");
  EXPECT_FALSE(line->isOpen());
  EXPECT_EQ(P::handle(o), -1);
  using serial::Parity;
  struct Expect {
    Bytes prefix;
    Parity parity;
    std::uint32_t baud;
  };
  const Expect order[] = {
      {{0x02, 0xA2, 0x5D, 0x19, 0x59}, Parity::kSpace, 2400},
      {{0x02, 0x01, 0x02}, Parity::kMark, 2450},
      {{0xFE, 0xFD, 0x0A, 0x05}, Parity::kSpace, 2450},
      {{6, 6, 6, 6, 6}, Parity::kSpace, 2450},
      {t::setClockFrame(kClock), Parity::kSpace, 2450},
  };
  const auto& frames = line->frames();
  ASSERT_EQ(frames.size(), std::size(order));
  for (std::size_t i = 0; i < frames.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(std::equal(order[i].prefix.begin(), order[i].prefix.end(), frames[i].bytes.begin()));
    EXPECT_EQ(frames[i].settings.parity, order[i].parity);
    EXPECT_EQ(frames[i].settings.baud, order[i].baud);
    EXPECT_EQ(frames[i].settings.dataBits, 8);
  }
  EXPECT_EQ(frames[2].bytes.size(), 105u);
  EXPECT_EQ(frames[1].bytes.size(), 3u);
}

TEST_F(TerminalClass, ConnectRefusedOnAWrongReply) {
  Bytes wrong111 = testing::connectReply();
  wrong111[4] = 0x15;
  for (const Bytes& reply : {testing::connectReply(110), testing::connectReply(112), wrong111, Bytes{}}) {
    SCOPED_TRACE(reply.size());
    script.onConnect = reply;
    std::size_t before = line->frames().size();
    o.cleardata("1");
    EXPECT_EQ(o.errorcode, 20009);
    EXPECT_EQ(o.errormessage, "Failed connect the specifical machine!");
    ASSERT_GT(line->frames().size(), before);
    EXPECT_EQ(line->frames().back().bytes, t::rejectFrame());
    EXPECT_TRUE(framesStartingWith({0x02, 0xA6}).empty());
  }
}

TEST_F(TerminalClass, SetClockWantsExactlyFiveAcks) {
  Bytes six = testing::acks();
  six.push_back(6);
  script.onSetClock = {six, six, six};
  o.setclock("1", kClock);
  EXPECT_EQ(o.errorcode, 20014);
  EXPECT_EQ(framesStartingWith({0x02, 0xA1}).size(), 3u);

  script.onSetClock = {Bytes{6, 6, 6, 6}, testing::acks()};
  o.setclock("1", kClock);
  EXPECT_EQ(o.errorcode, 0);
  EXPECT_EQ(framesStartingWith({0x02, 0xA1}).size(), 5u);
}

// ACKs, then these data frames, the last one ending in EOT.
Bytes newModelReply(const std::vector<Bytes>& frames) {
  Bytes r = testing::acks();
  for (const Bytes& f : frames) r.insert(r.end(), f.begin(), f.end());
  return r;
}

const Bytes kExampleRecords{0x01, 0x02, 0x4E, 0x1E, 0x04, 0xD2, 0x85, 0x2D};

TEST_F(TerminalClass, ClearDataRetriesThenEmptiesTheRecordSet) {
  script.onReadNew = newModelReply({t::dataFrame(t::kKindDate, Bytes{0x66, 0x0A, 0x1B}, false),
                                    t::dataFrame(4, Bytes{0x01, 0x02, 0x4E, 0x1E}, true)});
  o.readdata("1", kFrom, kTo);
  ASSERT_EQ(o.rsrows, 1);

  script.onClear = {Bytes{0x15}, Bytes{0x15}, Bytes{0x15}};
  o.cleardata("1");
  EXPECT_EQ(o.errorcode, 20015);
  EXPECT_EQ(o.rsrows, 1);  // a failed clear keeps the set

  script.onClear = {Bytes{}, testing::acks()};
  o.cleardata("1");
  EXPECT_EQ(o.errorcode, 0);
  EXPECT_EQ(o.rsrows, 0);
  EXPECT_EQ(framesStartingWith({0x02, 0xA6}).size(), 5u);
}

TEST_F(TerminalClass, ReadDataNewModelDecodesAndSwapsDates) {
  script.onReadNew = newModelReply({t::dataFrame(t::kKindDate, Bytes{0x66, 0x0A, 0x1B}, false),
                                    t::dataFrame(8, kExampleRecords, true)});
  o.bautrate = 19200;
  o.readdata("7", kTo, kFrom);
  ASSERT_EQ(o.errorcode, 0);
  EXPECT_EQ(o.rsrows, 2);
  auto baud = framesStartingWith({0x02, 0xAC});
  ASSERT_EQ(baud.size(), 1u);
  EXPECT_EQ(baud[0].bytes[3], 0xEF);
  auto reads = framesStartingWith({0x02, 0xBE, 0x55});
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0].bytes, t::readRecordsFrame(true, kFrom, kTo));
  EXPECT_EQ(reads[0].settings.baud, 2403u);
  EXPECT_EQ(reads[0].settings.parity, serial::Parity::kSpace);

  o.moverecord(2, 1);
  EXPECT_EQ(o.rsemployeeid, 1234);
  EXPECT_EQ(o.rsworkclass, "5");
  EXPECT_EQ(o.rscardedtime, (DateTime{{2002, 10, 27}, 5, 45, 0}));
}

TEST_F(TerminalClass, ReadDataNewModelTakesOnlyAWholeSoundStream) {
  const Bytes date = t::dataFrame(t::kKindDate, Bytes{0x66, 0x0A, 0x1B}, false);
  const Bytes records = t::dataFrame(8, kExampleRecords, false);
  const Bytes last = t::dataFrame(8, kExampleRecords, true);
  Bytes whole = newModelReply({date, records, last});
  Bytes cut = whole;
  cut.resize(cut.size() - 4);
  Bytes damaged = whole;
  damaged[5 + date.size() + 4] ^= 0x40;  // a record byte of the second frame
  struct Case {
    const char* name;
    Bytes reply;
    std::int32_t expected;
    std::int32_t rows;  // nothing to decode leaves the set alone
  };
  const Case cases[] = {
      {"silence", {}, 20013, 4},
      {"only the acks", testing::acks(), 20013, 4},
      // A stream without record frames is a success with an empty set.
      {"header only", newModelReply({t::dataFrame(t::kKindHeader, Bytes{0, 0}, true)}), 0, 0},
      // Records are missing: none is taken, whatever came before the cut.
      {"cut inside the last frame", cut, 20013, 0},
      {"no EOT frame", newModelReply({date, records}), 20013, 0},
      {"a damaged frame", damaged, 20012, 0},
      // A terminal may leave the check bytes zero, as in the protocol's own
      // example, or use a check we do not know: structure alone decides.
      {"check bytes left zero", newModelReply({{0x02, 0x08, 0x00, 0x01, 0x02, 0x4E, 0x1E, 0x04, 0xD2,
                                                0x85, 0x2D, 0x04, 0x00, 0x00}}), 0, 2},
      {"an unknown check", newModelReply({{0x02, 0x08, 0x00, 0x01, 0x02, 0x4E, 0x1E, 0x04, 0xD2,
                                           0x85, 0x2D, 0x04, 0x12, 0x34}}), 0, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A whole read first, so that an emptied set shows.
    script.onReadNew = whole;
    o.readdata("1", kFrom, kTo);
    ASSERT_EQ(o.errorcode, 0);
    ASSERT_EQ(o.rsrows, 4);
    script.onReadNew = c.reply;
    o.readdata("1", kFrom, kTo);
    EXPECT_EQ(o.errorcode, c.expected);
    EXPECT_EQ(o.rsrows, c.rows);
    EXPECT_EQ(o.records().size(), static_cast<std::size_t>(c.rows));
    EXPECT_FALSE(line->isOpen());
  }
}

TEST_F(TerminalClass, BaudChangeNotAcknowledged) {
  script.onBaudChange = {Bytes{0x15}, Bytes{}, Bytes{6, 6, 6, 6}};
  o.readdata("1", kFrom, kTo);
  EXPECT_EQ(o.errorcode, 20010);
  EXPECT_EQ(framesStartingWith({0x02, 0xAC}).size(), 3u);
  EXPECT_TRUE(framesStartingWith({0x02, 0xBE}).empty());
}

Bytes oldFirst(const Bytes& frame) {
  Bytes r = testing::acks();
  r.insert(r.end(), frame.begin(), frame.end());
  return r;
}

TEST_F(TerminalClass, ReadDataOldModelFrameByFrame) {
  const Bytes recs{0x01, 0x02, 0x4E, 0x1E, 0x04, 0xD2, 0x85, 0x2D};
  script.onReadOld = {oldFirst(t::dataFrame(t::kKindHeader, Bytes{0x00, 0x08}, false)),
                      t::dataFrame(t::kKindDate, Bytes{0x66, 0x0A, 0x1B}, false),
                      t::dataFrame(8, recs, false),
                      t::dataFrame(0, Bytes{}, true)};
  o.readdata("2001", kFrom, kTo);
  ASSERT_EQ(o.errorcode, 0);
  EXPECT_EQ(o.rsrows, 2);
  auto reads = framesStartingWith({0x02, 0xAA, 0x55});
  EXPECT_EQ(reads.size(), 1u);
  // Every frame, the EOT frame included, is acknowledged: connect + 4.
  EXPECT_EQ(framesStartingWith(testing::acks()).size(), 5u);
  o.moverecord(1, 1);
  EXPECT_EQ(o.rscardedtime, (DateTime{{2002, 10, 27}, 14, 30, 0}));
}

TEST_F(TerminalClass, ReadDataOldModelRefusesAnEarlyEot) {
  // The header promises 8 payload bytes; an EOT frame after 4 is not the end,
  // and the silence that follows leaves the set empty.
  const Bytes rec{0x00, 0x05, 0x21, 0x02};
  script.onReadOld = {oldFirst(t::dataFrame(t::kKindHeader, Bytes{0x00, 0x08}, false)),
                      t::dataFrame(4, rec, true)};
  o.readdata("10001", kFrom, kTo);
  EXPECT_EQ(o.errorcode, 20013);
  EXPECT_EQ(o.rsrows, 0);

  script.onReadOld = {oldFirst(t::dataFrame(t::kKindHeader, Bytes{0x00, 0x08}, false)),
                      t::dataFrame(4, rec, true), t::dataFrame(4, rec, false),
                      t::dataFrame(0, Bytes{}, true)};
  o.readdata("10001", kFrom, kTo);
  EXPECT_EQ(o.errorcode, 0);
  EXPECT_EQ(o.rsrows, 2);  // the early EOT frame's record counts
}

TEST_F(TerminalClass, ReadDataOldModelRefusesDamagedAndSurplusFrames) {
  const Bytes rec{0x00, 0x05, 0x21, 0x02};
  Bytes damaged = t::dataFrame(4, rec, false);
  damaged[4] ^= 0x01;
  struct Case {
    const char* name;
    std::deque<Bytes> frames;
    std::int32_t expected;
    std::size_t acks;  // ACK frames after the connect's
  };
  const Case cases[] = {
      // Judged with the rest once the transfer has ended, after its ACK.
      {"damaged record frame",
       {oldFirst(t::dataFrame(t::kKindHeader, Bytes{0x00, 0x04}, false)), damaged, t::dataFrame(0, {}, true)},
       20012, 3},
      {"frame cut short",
       {oldFirst(t::dataFrame(t::kKindHeader, Bytes{0x00, 0x04}, false)),
        Bytes(damaged.begin(), damaged.end() - 1)},
       20013, 1},
      // The same frame twice (a repeat after a lost ACK): more records than
      // the header counts.
      {"more records than the count",
       {oldFirst(t::dataFrame(t::kKindHeader, Bytes{0x00, 0x04}, false)), t::dataFrame(4, rec, false),
        t::dataFrame(4, rec, false), t::dataFrame(0, {}, true)},
       20012, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    line->clearFrames();
    script.onReadOld = c.frames;
    o.readdata("2001", kFrom, kTo);
    EXPECT_EQ(o.errorcode, c.expected);
    EXPECT_EQ(o.rsrows, 0);
    // A frame whose structure is refused is not acknowledged.
    EXPECT_EQ(framesStartingWith(testing::acks()).size(), 1u + c.acks);
  }
}

TEST_F(TerminalClass, ReadDataOldModelGivesUpOnATransferThatNeverEnds) {
  // The header counts 8 bytes: two records. An honest transfer then needs
  // at most 2 + 2 * 2 frames; empty frames for ever stop there.
  const Bytes rec{0x00, 0x05, 0x21, 0x02};
  script.onReadOld = {oldFirst(t::dataFrame(t::kKindHeader, Bytes{0x00, 0x08}, false)),
                      t::dataFrame(8, Bytes{0x00, 0x05, 0x21, 0x02, 0x00, 0x06, 0x21, 0x03}, false)};
  for (int i = 0; i < 1000; ++i) script.onReadOld.push_back(t::dataFrame(0, {}, false));
  o.readdata("2001", kFrom, kTo);
  EXPECT_EQ(o.errorcode, 20013);
  EXPECT_EQ(o.rsrows, 0);
  EXPECT_EQ(framesStartingWith(testing::acks()).size(), 1u + 6u);
}

TEST_F(TerminalClass, ReadDataOldModelShortRepliesAreNotReadPast) {
  for (const Bytes& tail : {Bytes{0x04}, Bytes{0x02, 0x04}, Bytes{}}) {
    SCOPED_TRACE(tail.size());
    script.onReadOld = {oldFirst(tail)};
    o.readdata("2001", kFrom, kTo);
    EXPECT_EQ(o.errorcode, 20013);
  }
  script.onReadOld = {};
  o.readdata("2001", kFrom, kTo);
  EXPECT_EQ(o.errorcode, 20011);  // six unanswered read commands
  EXPECT_EQ(framesStartingWith({0x02, 0xAA}).size(), 6u + 3u);
}

// ---- cursors and the table in memory -------------------------------------------------

TEST_F(TerminalClass, MoveRecordCursor) {
  o.moverecord(1, 3);
  EXPECT_EQ(o.errorcode, 20001);
  EXPECT_EQ(o.errormessage, "Invalid Settings!");
  o.moverecord(1, 1);
  EXPECT_EQ(o.errorcode, 20007);
  o.moverecord(1, 2);
  EXPECT_EQ(o.errorcode, 20007);

  script.onReadNew = testing::acks();
  Bytes recs;
  for (int i = 1; i <= 10; ++i) recs.insert(recs.end(), {0x00, static_cast<std::uint8_t>(i), 0x01, 0x00});
  Bytes f = t::dataFrame(40, recs, true);
  script.onReadNew.insert(script.onReadNew.end(), f.begin(), f.end());
  o.readdata("1", kFrom, kTo);
  ASSERT_EQ(o.rsrows, 10);
  o.moverecord(999, 1);
  EXPECT_EQ(o.errorcode, 0);
  EXPECT_EQ(o.rsemployeeid, 10);

  o.moverecord(1, 3);  // leaves errorcode 20001 behind
  o.moverecord(0, 1);
  EXPECT_EQ(o.errorcode, 20001);  // unchanged: no report
  EXPECT_EQ(o.rsemployeeid, 0);
  EXPECT_EQ(o.rsworkclass, "");
  EXPECT_FALSE(o.rscardedtime.has_value());
}

TEST_F(TerminalClass, ReferTableInMemory) {
  o.rtwriterecord(1, 1, 1);
  EXPECT_EQ(o.errorcode, 20022);
  EXPECT_EQ(o.errormessage,
            "Refer table's buffer is not init! Please call 'RtBeginWrite' method to initialize buffer!");
  o.rtbeginwrite(0);
  EXPECT_EQ(o.errorcode, 20016);
  o.rtbeginwrite(3);
  EXPECT_EQ(o.errorcode, 0);
  EXPECT_EQ(o.rtrows, 3);
  o.rtwriterecord(4, 1, 1);
  EXPECT_EQ(o.errorcode, 20021);
  o.rtwriterecord(0, 1, 1);
  EXPECT_EQ(o.errorcode, 20021);
  o.rtwriterecord(2, 77, 88);
  EXPECT_EQ(o.errorcode, 0);
  o.moverecord(2, 2);
  EXPECT_EQ(o.rtemployeeid, 77);
  EXPECT_EQ(o.rtcardid, 88);
  o.moverecord(0, 2);
  EXPECT_EQ(o.rtemployeeid, 0);
  EXPECT_EQ(o.rtcardid, 0);

  // Above 2911 rows the image would not fit the block range: refused, and
  // the table stays as it was.
  o.rtbeginwrite(2912);
  EXPECT_EQ(o.errorcode, 20016);
  EXPECT_EQ(o.rtrows, 3);
  EXPECT_EQ(o.refertable()[1].employeeid, 77);
  o.rtbeginwrite(2911);
  EXPECT_EQ(o.errorcode, 0);
  EXPECT_EQ(o.rtrows, 2911);
}

// ---- table transfers -----------------------------------------------------------------------

TEST_F(TerminalClass, WriteReferTableSendsTheImageInBlocks) {
  o.rtbeginwrite(2);
  o.rtwriterecord(1, 7, 16909060);
  o.rtwriterecord(2, 258, 5);
  o.writerefertable("258");
  ASSERT_EQ(o.errorcode, 0);
  auto tableAddress = line->frames()[0];
  EXPECT_EQ(tableAddress.bytes, (Bytes{0x01, 0x02, 0x00}));
  EXPECT_EQ(tableAddress.settings.parity, serial::Parity::kMark);
  EXPECT_EQ(tableAddress.settings.baud, 2450u);
  EXPECT_EQ(line->frames()[1].bytes, t::tableOpenFrame());
  auto blocks = framesStartingWith({0x02, 0xBD});
  ASSERT_EQ(blocks.size(), 1u);
  const Bytes data{0xFF, 0xFF, 0x04, 0x03, 0x02, 0x01, 0x07, 0x00, 0x05, 0x00, 0x00, 0x00, 0x02, 0x01, 0x00, 0x00};
  EXPECT_EQ(blocks[0].bytes, t::writeBlockFrame(1, data));
  EXPECT_EQ(line->frames().back().bytes, t::commandA2Frame());
}

TEST_F(TerminalClass, WriteReferTableStopsWhenTheTerminalIsSilent) {
  o.rtbeginwrite(10);  // 62 bytes: blocks 1 to 4
  script.onBlockWrite = {testing::acks(), Bytes{}};
  o.writerefertable("1");
  EXPECT_EQ(o.errorcode, 20024);
  EXPECT_EQ(framesStartingWith({0x02, 0xBD}).size(), 2u);
  EXPECT_EQ(line->frames().back().bytes, t::commandA2Frame());

  o.writerefertable("1");
  EXPECT_EQ(o.errorcode, 0);
  EXPECT_EQ(framesStartingWith({0x02, 0xBD}).size(), 2u + 4u);
}

Bytes blockReply(const Bytes& data) {
  Bytes r{0x02, 0xBC};
  r.insert(r.end(), data.begin(), data.end());
  t::appendCrc(r);
  return r;
}

TEST_F(TerminalClass, ReadReferTableUploadsUntilTheEndMarker) {
  const Bytes b1{0xFF, 0xFF, 0x04, 0x03, 0x02, 0x01, 0x07, 0x00, 0x05, 0x00, 0x00, 0x00, 0x02, 0x01, 0x00, 0x00};
  const Bytes end(16, 0xFF);
  script.onBlockRead = {blockReply(b1), blockReply(end)};
  o.readrefertable("3");
  ASSERT_EQ(o.errorcode, 0);
  ASSERT_EQ(o.rtrows, 2);
  EXPECT_EQ(o.refertable()[0].cardid, 16909060);
  EXPECT_EQ(o.refertable()[1].employeeid, 258);
  EXPECT_FALSE(P::rtBufferInit(o));
  EXPECT_EQ(framesStartingWith({0x02, 0xBC}).size(), 2u);
  EXPECT_EQ(line->frames().back().bytes, t::commandA2Frame());
}

TEST_F(TerminalClass, ReadReferTableShortBlockKeepsTheOldTable) {
  o.rtbeginwrite(1);
  o.rtwriterecord(1, 9, 99);
  const Bytes b1(16, 0x11);
  Bytes cut = blockReply(b1);
  cut.resize(12);
  script.onBlockRead = {blockReply(b1), cut};
  o.readrefertable("3");
  EXPECT_EQ(o.errorcode, 20023);
  ASSERT_EQ(o.rtrows, 1);
  EXPECT_EQ(o.refertable()[0].cardid, 99);
  EXPECT_EQ(line->frames().back().bytes, t::commandA2Frame());
}

TEST_F(TerminalClass, ReadReferTableRefusesMissingAndDamagedBlocks) {
  const Bytes b1(16, 0x11);
  Bytes damaged = blockReply(b1);
  damaged[7] ^= 0x08;
  Bytes withoutCrc = blockReply(b1);
  withoutCrc[18] = withoutCrc[19] = 0x00;
  Bytes damagedEnd = blockReply(Bytes(16, 0xFF));
  damagedEnd[19] ^= 0x01;
  struct Case {
    const char* name;
    std::deque<Bytes> replies;
  };
  const Case cases[] = {
      {"silence", {}},
      {"silence after a block", {blockReply(b1)}},
      {"damaged block", {blockReply(b1), damaged, blockReply(Bytes(16, 0xFF))}},
      {"block without its CRC", {withoutCrc, blockReply(Bytes(16, 0xFF))}},
      {"damaged end marker", {blockReply(b1), damagedEnd}},
      {"refused", {Bytes(5, 0x15)}},
  };
  o.rtbeginwrite(1);
  o.rtwriterecord(1, 9, 99);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    line->clearFrames();
    script.onBlockRead = c.replies;
    o.readrefertable("3");
    EXPECT_EQ(o.errorcode, 20023);
    EXPECT_EQ(o.errormessage, "Failed read refer table from the specifical machine!");
    ASSERT_EQ(o.rtrows, 1);
    EXPECT_EQ(o.refertable()[0].cardid, 99);
    EXPECT_EQ(line->frames().back().bytes, t::commandA2Frame());
    EXPECT_FALSE(line->isOpen());
  }
}

TEST_F(TerminalClass, WriteReferTableStopsOnlyOnSilenceOrRefusal) {
  // What a terminal answers to a stored block is its own affair; only an
  // empty reply or one that begins with NAK says the block was not taken.
  struct Case {
    const char* name;
    Bytes reply;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"five NAKs", Bytes(5, 0x15), 20024},
      {"one NAK", Bytes{0x15}, 20024},
      {"NAK then noise", Bytes{0x15, 0x06, 0x06}, 20024},
      {"one ACK", Bytes{0x06}, 0},
      {"four ACKs", Bytes(4, 0x06), 0},
      {"the block numbers echoed", Bytes{0x02, 0xBD, 0x7C, 0x00, 0x7C, 0x01}, 0},
      {"noise", Bytes{0x5A, 0x11, 0x06}, 0},
  };
  o.rtbeginwrite(10);  // 62 bytes: blocks 1 to 4
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    line->clearFrames();
    script.onBlockWrite = {testing::acks(), c.reply};
    o.writerefertable("1");
    EXPECT_EQ(o.errorcode, c.expected);
    EXPECT_EQ(framesStartingWith({0x02, 0xBD}).size(), c.expected == 0 ? 4u : 2u);
    EXPECT_EQ(line->frames().back().bytes, t::commandA2Frame());
  }
}

TEST_F(TerminalClass, ProgressReportsBlocksFramesAndWaits) {
  std::vector<Progress> seen;
  o.setProgress([&](const Progress& p) { seen.push_back(p); });
  o.rtbeginwrite(10);  // 62 bytes: blocks 1 to 4
  o.writerefertable("1");
  ASSERT_EQ(o.errorcode, 0);
  std::vector<std::int32_t> blocks;
  bool settle = false;
  for (const Progress& p : seen) {
    if (p.kind == Progress::Kind::kReferBlock) blocks.push_back(p.count);
    if (p.kind == Progress::Kind::kWaiting && p.wait == 1800ms) settle = true;
  }
  EXPECT_EQ(blocks, (std::vector<std::int32_t>{1, 2, 3, 4}));
  EXPECT_TRUE(settle);

  seen.clear();
  script.onReadOld = {oldFirst(t::dataFrame(4, Bytes{0, 1, 0, 0}, false)), t::dataFrame(0, {}, true)};
  o.readdata("2001", kFrom, kTo);
  ASSERT_EQ(o.errorcode, 0);
  EXPECT_EQ(std::count_if(seen.begin(), seen.end(),
                          [](const Progress& p) { return p.kind == Progress::Kind::kOldFrame; }),
            2);
}

// ---- every call failing in turn ---------------------------------------------------------------

TEST_F(TerminalClass, EverySerialCallFailingInTurnEndsInThatError) {
  struct Op {
    const char* name;
    std::function<void(n_cst_mvcomm&)> run;
    std::vector<std::int32_t> ownCodes;  // outcomes a lost reply may lead to
  };
  const Op ops[] = {
      {"setclock", [](n_cst_mvcomm& x) { x.setclock("1", kClock); }, {20009, 20014}},
      {"readdata new", [](n_cst_mvcomm& x) { x.readdata("1", kFrom, kTo); }, {20009, 20010, 20013}},
      {"readdata old", [](n_cst_mvcomm& x) { x.readdata("2001", kFrom, kTo); }, {20009, 20010, 20011, 20013}},
      {"cleardata", [](n_cst_mvcomm& x) { x.cleardata("1"); }, {20009, 20015}},
      {"readrefertable", [](n_cst_mvcomm& x) { x.readrefertable("1"); }, {20023}},
      {"writerefertable", [](n_cst_mvcomm& x) { x.writerefertable("1"); }, {20024}},
  };
  const Bytes recs{0x01, 0x02, 0x4E, 0x1E};
  for (const Op& op : ops) {
    for (bool persistent : {false, true}) {
      for (int call = 1;; ++call) {
        SCOPED_TRACE(std::string(op.name) + (persistent ? " from call " : " at call ") + std::to_string(call));
        auto c = std::make_shared<testing::FakeClock>();
        auto l = std::make_shared<testing::FakeLine>(c);
        testing::ScriptedTerminal s;
        s.onReadNew = testing::acks();
        Bytes f = t::dataFrame(4, recs, true);
        s.onReadNew.insert(s.onReadNew.end(), f.begin(), f.end());
        s.onReadOld = {oldFirst(t::dataFrame(4, recs, false)), t::dataFrame(0, {}, true)};
        s.onBlockRead = {blockReply(Bytes(16, 0xFF))};
        l->setResponder(s.responder());
        if (persistent) l->failFrom(call, EIO);
        else l->failCall(call, EIO);
        n_cst_mvcomm x(std::make_shared<testing::FakeOpener>(l), c);
        x.commport = 1;
        x.bautrate = 2400;
        x.rtbeginwrite(2);
        op.run(x);
        EXPECT_FALSE(l->isOpen());
        EXPECT_EQ(P::handle(x), -1);
        if (!l->injected()) {
          EXPECT_EQ(x.errorcode, 0);
          break;
        }
        // A failure closes the port and stays the outcome: nothing is sent
        // after it. A read failing once only cuts a reply short, which the
        // command then judges by content (persistently, the purge after it
        // fails too).
        if (x.errorcode == EIO) {
          EXPECT_EQ(x.errormessage.rfind("API Error:", 0), 0u);
        } else if (persistent) {
          // Only the final close can fail without changing the outcome.
          EXPECT_EQ(x.errorcode, 0);
          EXPECT_EQ(call, l->calls());
        } else {
          EXPECT_TRUE(x.errorcode == 0 || std::count(op.ownCodes.begin(), op.ownCodes.end(), x.errorcode))
              << x.errorcode;
        }
        ASSERT_LT(call, 5000);
      }
    }
  }
}

}  // namespace
}  // namespace mvcomm

// File: tests/proof/fault_matrix_test.cpp
//
// Every fault kind the emulator can commit, against every exchange of every
// terminal operation, once and on every reply, in virtual time. Each run must
// end with the port closed, an outcome the operation may give, the record set
// and reference table changed only as a failure allows, and within the time
// its waits and attempt limits add up to. A success must be true: all the
// terminal's records or table rows read, or the terminal really holding the
// table, clock or erasure it acknowledged.
//
// The same runs go against terminals of every device profile (each choice
// where the protocol leaves a terminal's behaviour open); the outcomes may
// differ from the default only where the profile changes what is readable.
//
// The outcomes themselves are pinned by docs/fault-matrix.md, which this test
// writes when MVCOMM_WRITE_FAULT_MATRIX is set and otherwise compares with.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "emulator/emulator.h"
#include "emulator/fault.h"
#include "emulator/virtual_line.h"
#include "terminal/n_cst_mvcomm.h"

namespace mvcomm::emulator {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

// The waits the protocol allows, used to bound each run.
constexpr Clock::duration kSettleMax = 2s;        // 1.8 s counted in whole seconds
constexpr Clock::duration kFirstByteWait = 5000ms;
constexpr Clock::duration kIdle = 800ms;          // receivedatatimelapse default
constexpr Clock::duration kNewModelIdle = 5000ms; // the new-model record stream
constexpr Clock::duration kSendSettle = 8ms;
constexpr Clock::duration kByteAt2400 = std::chrono::microseconds(11 * 1'000'000 / 2400 + 1);
constexpr milliseconds kPause = 1000ms;           // longer than the idle time-out

struct Operation {
  const char* name;
  std::uint16_t machine;
  int settles;                    // settle waits per run
  Clock::duration longIdle;       // one reception with a longer idle time-out
  int maxFrames;                  // host frames the attempt limits allow; 0: the clean run's
  std::vector<Command> exchanges; // replies a fault can hit
  std::set<std::int32_t> codes;   // outcomes of its own it may give
  std::function<void(n_cst_mvcomm&)> run;
};

const Date kFrom{2002, 10, 27};
const Date kTo{2002, 10, 28};

const std::vector<Operation>& operations() {
  static const std::vector<Operation> ops = {
      {"setclock", 1, 1, {}, 7, {Command::kConnect, Command::kSetClock}, {0, 20009, 20014},
       [](n_cst_mvcomm& c) { c.setclock(std::string("1"), DateTime{Date{2002, 10, 28}, 9, 30, 0}); }},
      {"readdata (new model)", 1, 1, kNewModelIdle - kIdle, 8,
       {Command::kConnect, Command::kBaudChange, Command::kReadRecords},
       {0, 20009, 20010, 20012, 20013},
       [](n_cst_mvcomm& c) { c.readdata(std::string("1"), kFrom, kTo); }},
      {"readdata (old model)", 2001, 1, {}, 0,
       {Command::kConnect, Command::kBaudChange, Command::kReadRecords, Command::kRecordFrame},
       {0, 20009, 20010, 20011, 20012, 20013},
       [](n_cst_mvcomm& c) { c.readdata(std::string("2001"), kFrom, kTo); }},
      {"cleardata", 1, 1, {}, 7, {Command::kConnect, Command::kClear}, {0, 20009, 20015},
       [](n_cst_mvcomm& c) { c.cleardata(std::string("1")); }},
      // Address, open, up to 1092 block reads, closing A2.
      {"readrefertable", 1, 1, {}, 2 + 1092 + 1, {Command::kReadBlock}, {0, 20023},
       [](n_cst_mvcomm& c) { c.readrefertable(std::string("1")); }},
      // Address, open, the 20-byte image's 2 blocks, closing A2.
      {"writerefertable", 1, 2, {}, 5, {Command::kWriteBlock}, {0, 20024},
       [](n_cst_mvcomm& c) { c.writerefertable(std::string("1")); }},
  };
  return ops;
}

// Faults with the parameters the matrix uses; the rest are the defaults.
std::vector<std::optional<Fault>> faultColumns() {
  std::vector<std::optional<Fault>> cols = {std::nullopt};
  for (FaultKind kind : {FaultKind::kSilence, FaultKind::kCutShort, FaultKind::kTooLong, FaultKind::kNak,
                         FaultKind::kConnectLength, FaultKind::kGarbage, FaultKind::kPause,
                         FaultKind::kStopBeforeEot, FaultKind::kEarlyEot, FaultKind::kShortBlock,
                         FaultKind::kVanish, FaultKind::kReplace, FaultKind::kEndless, FaultKind::kFlip}) {
    Fault f;
    f.kind = kind;
    if (kind == FaultKind::kPause) f.pause = kPause;
    if (kind == FaultKind::kReplace) f.data = {0x06, 0x06, 0x06, 0x06, 0x06};  // a bare acknowledgement
    cols.push_back(f);
  }
  return cols;
}

std::string codeText(std::int32_t code) {
  if (code == 0 || code >= 20000) return std::to_string(code);
  if (const char* name = strerrorname_np(code)) return name;
  return "errno " + std::to_string(code);
}

// What the host holds before every faulty call: 3 records, 3 table rows.
const std::vector<str_referrecord> kSeedTable = {{7, 700}, {8, 800}, {9, 900}};

struct Outcome {
  std::int32_t code = 0;
  std::string cell;          // as shown in the matrix
  bool fired = true;         // false: the fault never hit a reply
  Clock::duration took{};
};

class Run {
 public:
  explicit Run(const DeviceProfile& profile)
      : comm_(std::shared_ptr<serial::PortOpener>(std::shared_ptr<void>(), &line_.opener()),
              std::shared_ptr<Clock>(std::shared_ptr<void>(), &line_.clock())) {
    comm_.commport = 1;
    comm_.bautrate = 9600;
    for (std::uint16_t n : {std::uint16_t{1}, std::uint16_t{2001}, std::uint16_t{9}})
      emulator_.addTerminal(n).setProfile(profile);
    for (std::uint16_t n : {std::uint16_t{1}, std::uint16_t{2001}}) {
      Terminal& t = emulator_.addTerminal(n);
      for (int i = 0; i < 100; ++i)
        EXPECT_TRUE(t.addRecord(Record{{2002, 10, 27 + i % 2}, static_cast<std::uint16_t>(1000 + i),
                                       static_cast<std::uint8_t>(1 + i % 8), 8, static_cast<std::uint8_t>(i % 60)}));
    }
    const ReferenceRow table[] = {{11, 111}, {22, 222}, {33, 333}, {44, 444}, {55, 555}};
    emulator_.find(1)->setReferenceTable(table);
    Terminal& seed = emulator_.addTerminal(9);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(seed.addRecord(Record{{2002, 1, 1}, 900, 1, 8, 0}));
    comm_.readdata(std::string("9"), Date{2002, 1, 1}, Date{2002, 1, 1});
    EXPECT_EQ(3, comm_.rsrows);
    comm_.rtbeginwrite(3);
    for (int row = 1; row <= 3; ++row)
      comm_.rtwriterecord(row, kSeedTable[row - 1].employeeid, kSeedTable[row - 1].cardid);
    EXPECT_EQ(0, comm_.errorcode);
    line_.runUntil(line_.now() + 10s);  // the seed terminal's session is long over
    line_.clearLogs();
  }

  Outcome operator()(const Operation& op, const std::optional<Fault>& fault) {
    const auto records = comm_.records();
    const auto table = comm_.refertable();
    Terminal& t = *emulator_.find(op.machine);
    const auto terminalRecords = t.records();
    if (fault) t.inject(*fault);
    const Clock::time_point start = line_.now();
    op.run(comm_);
    Outcome out;
    out.code = comm_.errorcode;
    out.took = line_.now() - start;
    out.fired = !fault || fault->times != 1 || t.pendingFaults() == 0;

    EXPECT_FALSE(line_.portOpen());
    if (out.code == 0) {
      EXPECT_EQ("", comm_.errormessage);
    } else if (out.code < 20000) {
      EXPECT_EQ(0u, comm_.errormessage.rfind("API Error:", 0)) << comm_.errormessage;
    } else {
      EXPECT_TRUE(op.codes.count(out.code)) << out.code << " " << comm_.errormessage;
    }

    // Time: every settle wait, and for each frame sent the send pause and a
    // reception (first-byte wait, then the idle time-out and any pause), plus
    // every byte's wire time both ways.
    const auto& frames = line_.hostFrames();
    Clock::duration wire{};
    for (const HostFrame& f : frames) wire += f.end - f.start;
    wire += kByteAt2400 * static_cast<long>(line_.arrivals().size());
    const Clock::duration perReply = kSendSettle + t.profile().turnaround + kFirstByteWait + kIdle +
                                     (fault && fault->kind == FaultKind::kPause ? fault->pause : 0ms);
    const Clock::duration bound =
        op.settles * kSettleMax + static_cast<long>(frames.size()) * perReply + op.longIdle + wire;
    EXPECT_LE(out.took, bound) << "took " << std::chrono::duration<double>(out.took).count() << " s";
    maxFramesSeen = frames.size();

    // The sets change only as the outcome allows.
    const bool tableChanges = std::string(op.name) == "readrefertable" && out.code == 0;
    if (!tableChanges) {
      EXPECT_EQ(table.size(), comm_.refertable().size());
      for (std::size_t i = 0; i < std::min(table.size(), comm_.refertable().size()); ++i) {
        EXPECT_EQ(table[i].employeeid, comm_.refertable()[i].employeeid);
        EXPECT_EQ(table[i].cardid, comm_.refertable()[i].cardid);
      }
    }
    EXPECT_EQ(static_cast<std::size_t>(comm_.rtrows), comm_.refertable().size());
    EXPECT_EQ(static_cast<std::size_t>(comm_.rsrows), comm_.records().size());
    const std::string name = op.name;
    const bool readdata = name.rfind("readdata", 0) == 0;
    const bool recordsMayChange = out.code == 0 && (readdata || name == "cleardata");
    if (name == "cleardata" && out.code == 0) {
      EXPECT_EQ(0, comm_.rsrows);
    }
    if (!recordsMayChange) {
      // A failed readdata may have emptied the set; nothing else touches it.
      if (!(readdata && comm_.records().empty())) {
        EXPECT_EQ(records.size(), comm_.records().size());
        for (std::size_t i = 0; i < std::min(records.size(), comm_.records().size()); ++i)
          EXPECT_EQ(records[i].employeeid, comm_.records()[i].employeeid);
      }
    }

    // A success is never partial. A transfer whose check bytes fit no known
    // form is taken on its structure alone (and the class says so): garbage
    // of the right length then passes, which the matrix shows as `u`.
    const bool stored = storedSeedTable(t);
    const bool erased = t.records().empty();
    const bool clockSet = clockWasSet(t);
    const bool unchecked = out.code == 0 && comm_.crcFindings().state == CrcFindings::State::kUnchecked;
    if (out.code == 0 && (!unchecked || !fault)) {
      if (readdata) expectAllRecords(terminalRecords);
      if (name == "readrefertable") expectTerminalTable(t);
      // The reply to a block is not examined beyond silence and NAK, so
      // noise that turns a refusal into something else passes for consent.
      const bool refusalHidden = t.profile().writeReply == WriteReply::kNak && fault &&
                                 (fault->kind == FaultKind::kGarbage || fault->kind == FaultKind::kReplace ||
                                  fault->kind == FaultKind::kFlip);
      if (name == "writerefertable" && !refusalHidden) {
        EXPECT_TRUE(stored);
      }
      if (name == "cleardata") {
        EXPECT_TRUE(erased);
      }
      if (name == "setclock") {
        EXPECT_TRUE(clockSet);
      }
    }

    out.cell = out.fired ? codeText(out.code) : "n/a";
    if (out.fired) {
      if (readdata) out.cell += " r" + std::to_string(comm_.rsrows);
      if (name == "readrefertable") out.cell += " t" + std::to_string(comm_.rtrows);
      if (name == "writerefertable" && stored) out.cell += " s";
      if (name == "cleardata" && erased) out.cell += " e";
      if (name == "setclock" && clockSet) out.cell += " c";
      if (unchecked) out.cell += " u";
    }
    return out;
  }

  std::size_t maxFramesSeen = 0;

 private:
  void expectAllRecords(const std::vector<Record>& sent) const {
    std::multiset<std::pair<std::int32_t, std::string>> want, got;
    for (const Record& r : sent) {
      char when[32];
      std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d:00", r.date.year, r.date.month, r.date.day,
                    r.hour, r.minute);
      want.insert({r.employeeId, when});
    }
    for (const str_record& r : comm_.records())
      got.insert({r.employeeid, r.cardedtime ? r.cardedtime->toString() : "null"});
    EXPECT_TRUE(want == got) << "the record set is not the terminal's records";
  }

  void expectTerminalTable(const Terminal& t) const {
    const auto rows = t.referenceTable();
    ASSERT_EQ(rows.size(), comm_.refertable().size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      EXPECT_EQ(rows[i].employeeId, comm_.refertable()[i].employeeid);
      EXPECT_EQ(static_cast<std::int32_t>(rows[i].cardId), comm_.refertable()[i].cardid);
    }
  }

  // The clock the setclock run sends: 2002-10-28 09:30, not yet a day old.
  bool clockWasSet(const Terminal& t) {
    const auto clock = t.clockAt(line_.now());
    return clock && clock->date == CivilDate{2002, 10, 28} && clock->hour >= 9;
  }

  static bool storedSeedTable(const Terminal& t) {
    const auto rows = t.referenceTable();
    if (rows.size() < kSeedTable.size()) return false;
    for (std::size_t i = 0; i < kSeedTable.size(); ++i)
      if (rows[i].employeeId != kSeedTable[i].employeeid || rows[i].cardId != static_cast<std::uint32_t>(kSeedTable[i].cardid))
        return false;
    return true;
  }

  Emulator emulator_;
  VirtualLine line_{emulator_};
  n_cst_mvcomm comm_;
};

const char* kLegend = R"(# Fault matrix

Every fault kind the emulator commits, against every reply of every terminal
operation, on the virtual line in virtual time. Generated by
tests/proof/fault_matrix_test.cpp (`MVCOMM_WRITE_FAULT_MATRIX=1` rewrites
this file; otherwise the test checks the outcomes below against it).

Set-up for each run: new-model terminal 1 and old-model terminal 2001 hold
100 records each over 2002-10-27 and 2002-10-28; terminal 1 holds a 5-row
reference table. The host holds 3 records and a 3-row table beforehand,
`bautrate` 9600, `receivedatatimelapse` 800. Fault parameters are the
emulator's defaults, except `pause` (1000 ms, longer than the idle time-out)
and `replace` (the reply becomes a bare acknowledgement, 06 06 06 06 06).

Every run, whatever the fault, is checked for: no crash; the port closed
afterwards; an outcome the operation may give (its own codes, or an
operating-system error with "API Error:"); the virtual time it took under
the bound its settle waits, first-byte waits, idle time-outs, attempt limits
and wire time give; no more frames than the attempt limits allow; the
reference table untouched unless `readrefertable` succeeded; the record set
untouched unless `readdata` or `cleardata` succeeded (a failed `readdata`
may have emptied it). A success must be whole: `readdata` holds exactly the
terminal's records, `readrefertable` exactly its table; after
`writerefertable`, `cleardata` and `setclock` the terminal holds the table,
has erased its records, has set its clock.

Cell legend:

- the outcome: `0`, the operation's own code (200xx), or the errno name of
  an operating-system error;
- `rN`: `rsrows` afterwards (`readdata`); `tN`: `rtrows` afterwards
  (`readrefertable`); `s`: the terminal holds the written table afterwards
  (`writerefertable`); `e`: the terminal's records were erased (`cleardata`);
  `c`: the terminal's clock was set (`setclock`);
- `u`: the transfer's check bytes are zero or fit no form the host knows, so
  it was taken on its structure alone (`crcFindings()` says so; `mvcomm`
  prints a notice): noise, or garbage of the right length, passes then;
- `n/a`: the fault never hit a reply of that exchange (it shapes another
  kind of reply);
- "longest": the longest virtual time of a run in that row, in seconds.
)";

const char* kProfilesLegend = R"(
## Other device profiles

The same runs against terminals that choose otherwise where the protocol
leaves a terminal's behaviour open (docs/device-assumptions.md), one choice at
a time. Only the cells that differ from the default profile above are listed;
a profile with no row gives the default's outcome in every cell. Every run
passes the same checks as above. Under crc=zero, and the forms modbus-* and
xmodem-* that the host does not know, every read succeeds on structure alone
(`u`), and the rows after the first list what differs besides.
)";

// One cell of a matrix: its place and what it shows.
struct Cell {
  std::string operation;
  std::string exchange;
  std::string fault;
  std::string shown;
};

// The matrix of one profile as markdown; `cells` gets every cell.
std::string matrix(const DeviceProfile& profile, bool everyReply, std::vector<Cell>& cells) {
  const auto cols = faultColumns();
  std::ostringstream md;
  md << "\n## " << (everyReply ? "Fault on every reply of the exchange" : "Fault on the first reply of the exchange")
     << "\n\n| operation | exchange |";
  for (const auto& f : cols) md << " " << (f ? faultName(f->kind) : std::string_view("none")) << " |";
  md << " longest |\n|---|---|";
  for (std::size_t i = 0; i < cols.size(); ++i) md << "---|";
  md << "---|\n";
  for (const Operation& op : operations()) {
    std::size_t cleanFrames = 0;
    for (Command exchange : op.exchanges) {
      md << "| " << op.name << " | " << commandName(exchange) << " |";
      Clock::duration longest{};
      for (const auto& column : cols) {
        std::optional<Fault> f = column;
        std::string label = f ? std::string(faultName(f->kind)) : "none";
        SCOPED_TRACE(deviceProfileText(profile) + " / " + op.name + " / " + std::string(commandName(exchange)) +
                     " / " + label + (everyReply ? " / every reply" : " / once"));
        if (f) {
          f->command = exchange;
          f->times = 1;
        }
        Run once(profile);
        Outcome out = once(op, f);
        if (f && !out.fired) {
          md << " n/a |";
          cells.push_back({op.name, std::string(commandName(exchange)), label, "n/a"});
          continue;
        }
        if (!f) cleanFrames = once.maxFramesSeen;
        std::size_t frames = once.maxFramesSeen;
        if (f && everyReply) {
          f->times = 0;
          Run every(profile);
          out = every(op, f);
          frames = every.maxFramesSeen;
        }
        const std::size_t maxFrames = op.maxFrames > 0 ? static_cast<std::size_t>(op.maxFrames)
                                      // the clean run's frames, plus the retries of baud change
                                      // and (old model) read command, and the ACKs of a transfer
                                      // as long as its header's count allows (2 + 2 per record)
                                      : cleanFrames + (op.machine == 2001 ? 2 + 5 + 2 + 2 * 100 : 0);
        EXPECT_LE(frames, maxFrames);
        longest = std::max(longest, out.took);
        md << " " << out.cell << " |";
        cells.push_back({op.name, std::string(commandName(exchange)), label, out.cell});
      }
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%.1f", std::chrono::duration<double>(longest).count());
      md << " " << seconds << " |\n";
    }
  }
  return md.str();
}

// One choice at a time, each away from the default.
const char* const kProfiles[] = {
    "crc=arc-control",       "crc=arc-payload",      "crc=arc-frame-msb",     "crc=zero",
    "crc=modbus-frame",      "crc=xmodem-control",   "start=01",              "third=complement",
    "write-reply=ack",       "write-reply=echo",     "write-reply=nak",       "rate-return=end",
    "rate-return=quiet:1500", "rate-return=power-up", "table-write=in-place", "turnaround=5",
    "turnaround=200",        "garbage=any",          "records-per-frame=7",   "eot=own",
};

// The cells of each profile that differ from `base`, the default's.
std::string profileDifferences(const std::vector<Cell>& base) {
  std::ostringstream md;
  md << kProfilesLegend << "\n| profile | operation | exchange | fault on | default | this profile |\n"
     << "|---|---|---|---|---|---|\n";
  for (const char* text : kProfiles) {
    DeviceProfile profile;
    EXPECT_EQ("", parseDeviceProfile(text, profile));
    std::vector<Cell> cells;
    for (bool every : {false, true}) (void)matrix(profile, every, cells);
    EXPECT_EQ(cells.size(), base.size());
    // A check the host does not know leaves every read to its structure:
    // each success says so, and is listed once rather than cell by cell.
    const bool unknownForm = profile.crc.zero || profile.crc.algorithm != CrcAlgorithm::kArc;
    if (unknownForm) {
      md << "| " << text << " | readdata, readrefertable | every exchange | any | 0 ... | 0 ... u |\n";
      for (Cell& c : cells) {
        const bool read = c.shown.rfind("0 r", 0) == 0 || c.shown.rfind("0 t", 0) == 0;
        const bool marked = c.shown.size() > 2 && c.shown.compare(c.shown.size() - 2, 2, " u") == 0;
        EXPECT_EQ(read, marked) << text << " / " << c.operation << " / " << c.exchange << " / " << c.fault;
        if (marked) c.shown.resize(c.shown.size() - 2);
      }
    }
    for (std::size_t i = 0; i < std::min(cells.size(), base.size()); ++i) {
      std::string was = base[i].shown;
      if (unknownForm && was.size() > 2 && was.compare(was.size() - 2, 2, " u") == 0) was.resize(was.size() - 2);
      const bool every = i >= base.size() / 2;
      if (cells[i].shown == was || (every && cells[i].fault == "none")) continue;
      md << "| " << text << " | " << cells[i].operation << " | " << cells[i].exchange << " | " << cells[i].fault
         << (cells[i].fault == "none" ? "" : every ? ", every reply" : ", first reply") << " | " << base[i].shown
         << " | " << cells[i].shown << " |\n";
    }
  }
  return md.str();
}

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(FaultMatrix, EveryFaultOnEveryExchangeOfEveryProfileEndsCleanlyWithTheRecordedOutcome) {
  std::vector<Cell> base;
  std::string doc = std::string(kLegend) + matrix(DeviceProfile{}, false, base);
  doc += matrix(DeviceProfile{}, true, base);
  doc += profileDifferences(base);
  const std::string path = std::string(MVCOMM_SOURCE_DIR) + "/docs/fault-matrix.md";
  if (std::getenv("MVCOMM_WRITE_FAULT_MATRIX")) {
    std::ofstream(path) << doc;
    return;
  }
  EXPECT_EQ(readFile(path), doc) << "outcomes differ from " << path
                                 << " (MVCOMM_WRITE_FAULT_MATRIX=1 rewrites it)";
}

}  // namespace
}  // namespace mvcomm::emulator

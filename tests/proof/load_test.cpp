// File: tests/proof/load_test.cpp
//
// The component under load: 64 threads, each creating MVComm objects through
// CoCreateInstance 1000 times (MVCOMM_LOAD_CYCLES sets another count), using
// them early and late bound, and releasing them. Afterwards the live counts
// of BSTRs, arrays, task memory and VM products, moduleLockCount and the
// thread session table are back where they started, and DllCanUnloadNow
// gives S_OK. The same test runs under ThreadSanitizer (label "threaded").
//
// Threads take one of four roles (thread number modulo 4):
//   0  IMVComm: accessors, a put read back, moverecord on the empty record
//      set; every other cycle a second object shares the thread's session.
//   1  IDispatch, names looked up on every call: the same by name.
//   2  IMVComm over a reference table built in memory, moved through.
//   3  IDispatch with identifiers looked up once; some of these threads read
//      records from an emulated terminal every so often and move through
//      them.
//
// Objects take the process-wide default line; here it routes each call to
// the calling thread's own virtual line, so threads that read records each
// talk to their own emulator, in virtual time.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "component/imvcomm.h"
#include "emulator/emulator.h"
#include "emulator/virtual_line.h"
#include "platform/clock.h"
#include "platform/ole/activation/objbase.h"
#include "platform/ole/ole_testing.h"
#include "platform/ole/oleauto.h"
#include "server/module_state.h"
#include "terminal/n_cst_mvcomm.h"
#include "tests/component/dispatch_helpers.h"
#include "testing/temp_registry.h"
#include "vm/session_table.h"
#include "vm/vm_testing.h"

STDAPI DllRegisterServer();
STDAPI DllCanUnloadNow();

namespace mvcomm::testing {
namespace {

using component::IID_IMVComm;
using component::IMVComm;
using component::testing::date;
using component::testing::i2;
using component::testing::i4;

constexpr int kThreads = 64;
constexpr int kDefaultCycles = 1000;
constexpr int kReadEvery = 50;        // cycles between two record reads on a line thread
constexpr LONG kNoRecord = 20007;     // errorcode of moverecord on an empty set
constexpr DATE kFirstDay = 37556;     // 2002-10-27
constexpr DATE kLastDay = 37557;      // 2002-10-28

int cycleCount() {
  const char* text = getenv("MVCOMM_LOAD_CYCLES");
  if (text == nullptr || *text == '\0') return kDefaultCycles;
  const int n = atoi(text);
  return n > 0 ? n : kDefaultCycles;
}

// ---- one virtual line per thread -----------------------------------------

thread_local emulator::VirtualLine* tLine = nullptr;  // the calling thread's line, if any

class ThreadPortOpener final : public serial::PortOpener {
 public:
  int open(const std::string& name, std::unique_ptr<serial::SerialPort>& port) override {
    if (tLine == nullptr) return ENOENT;
    return tLine->opener().open(name, port);
  }
};

class ThreadClock final : public Clock {
 public:
  time_point now() override { return tLine != nullptr ? tLine->clock().now() : real_.now(); }
  void sleepUntil(time_point deadline) override {
    if (tLine != nullptr) {
      tLine->clock().sleepUntil(deadline);
    } else {
      real_.sleepUntil(deadline);
    }
  }

 private:
  MonotonicClock real_;
};

// A terminal numbered 5 holding two records, on a line of its own.
struct ThreadTerminal {
  ThreadTerminal() {
    emulator::Terminal& t = emulator.addTerminal(5);
    ok = t.addRecord(emulator::Record{{2002, 10, 27}, 258, 3, 14, 30}) &&
         t.addRecord(emulator::Record{{2002, 10, 28}, 300, 8, 8, 5});
  }
  emulator::Emulator emulator;
  emulator::VirtualLine line{emulator};
  bool ok = false;
};

// ---- what one thread saw ---------------------------------------------------

struct Outcome {
  uint32_t threadId = 0;   // gettid of the worker
  int failures = 0;
  std::string first;       // the first failure, with its cycle
  int recordsRead = 0;     // successful readdata calls
};

class Checker {
 public:
  explicit Checker(Outcome& out) : out_(out) {}
  void setCycle(int cycle) { cycle_ = cycle; }
  // Records a failure unless `ok`; returns `ok`.
  bool expect(bool ok, const char* what) {
    if (!ok && out_.failures++ == 0) out_.first = std::string(what) + " (cycle " + std::to_string(cycle_) + ")";
    return ok;
  }
  bool expectOk(HRESULT hr, const char* what) {
    return expect(hr == S_OK, (std::string(what) + " gave " + std::to_string(hr)).c_str());
  }

 private:
  Outcome& out_;
  int cycle_ = 0;
};

// ---- late-bound helpers ----------------------------------------------------

DISPID dispidOf(IDispatch* d, const char16_t* name) {
  LPOLESTR n = const_cast<LPOLESTR>(name);
  DISPID id = DISPID_UNKNOWN;
  if (d->GetIDsOfNames(IID_NULL, &n, 1, 0, &id) != S_OK) return DISPID_UNKNOWN;
  return id;
}

HRESULT getProperty(IDispatch* d, DISPID id, VARIANT* result) {
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  return d->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, result, nullptr, nullptr);
}

HRESULT putProperty(IDispatch* d, DISPID id, VARIANT value) {
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{&value, &put, 1, 1};
  return d->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
}

// Arguments in client order; Invoke takes them last first.
HRESULT callMethod(IDispatch* d, DISPID id, std::vector<VARIANT> args) {
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  return d->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
}

// The long a property get returned, or -1 when it was not a long.
LONG longOf(const VARIANT& v) { return v.vt == VT_I4 ? v.lVal : -1; }

struct DispIds {
  explicit DispIds(IDispatch* d)
      : errorcode(dispidOf(d, u"errorcode")),
        errormessage(dispidOf(d, u"errormessage")),
        commport(dispidOf(d, u"commport")),
        bautrate(dispidOf(d, u"bautrate")),
        rsrows(dispidOf(d, u"rsrows")),
        rsemployeeid(dispidOf(d, u"rsemployeeid")),
        rtrows(dispidOf(d, u"rtrows")),
        moverecord(dispidOf(d, u"moverecord")),
        readdata(dispidOf(d, u"readdata")) {}
  DISPID errorcode, errormessage, commport, bautrate, rsrows, rsemployeeid, rtrows, moverecord,
      readdata;
};

// ---- the work of one cycle, per role -----------------------------------------

// The session table entry of the calling thread, or an empty one.
vm::SessionEntry ownEntry() {
  const uint32_t me = vm::SessionTable::currentThreadId();
  for (int i = 0; i < vm::SessionTable::kEntries; ++i) {
    const vm::SessionEntry e = vm::SessionTable::entry(i);
    if (e.threadId == me) return e;
  }
  return vm::SessionEntry{};
}

template <class T>
T* create(const CLSID& clsid, const IID& iid, Checker& check) {
  T* object = nullptr;
  const HRESULT hr =
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(&object));
  check.expectOk(hr, "CoCreateInstance");
  check.expect((object != nullptr) == (hr == S_OK), "an object exactly on success");
  return object;
}

// Role 0: early bound, moverecord on the empty record set, and every other
// cycle a second object on the same session.
void earlyBoundCycle(const CLSID& clsid, int thread, int cycle, Checker& check) {
  IMVComm* o = create<IMVComm>(clsid, IID_IMVComm, check);
  if (o == nullptr) return;
  IDispatch* second = cycle % 2 == 1 ? create<IDispatch>(clsid, IID_IDispatch, check) : nullptr;
  check.expect(ownEntry().useCount == (second != nullptr ? 2 : 1), "one use per live object");

  LONG code = -1;
  check.expectOk(o->get_errorcode(&code), "get_errorcode");
  check.expect(code == 0, "errorcode 0 on a new object");
  BSTR message = nullptr;
  check.expectOk(o->get_errormessage(&message), "get_errormessage");
  SysFreeString(message);
  LONG rows = -1;
  check.expectOk(o->get_rsrows(&rows), "get_rsrows");
  check.expect(rows == 0, "no records on a new object");
  check.expectOk(o->get_rtrows(&rows), "get_rtrows");
  check.expect(rows == 0, "no table rows on a new object");
  DATE when = -1;
  check.expectOk(o->get_rscardedtime(&when), "get_rscardedtime");
  const SHORT port = static_cast<SHORT>(1 + (thread + cycle) % 250);
  check.expectOk(o->put_commport(port), "put_commport");
  SHORT back = 0;
  check.expectOk(o->get_commport(&back), "get_commport");
  check.expect(back == port, "commport reads back what was put");
  check.expectOk(o->put_receivedatatimelapse(100 + cycle), "put_receivedatatimelapse");

  check.expectOk(o->moverecord(1, 1), "moverecord");
  check.expectOk(o->get_errorcode(&code), "get_errorcode");
  check.expect(code == kNoRecord, "moverecord on an empty set reports no record");

  if (second != nullptr) {
    VARIANT r;
    VariantInit(&r);
    check.expectOk(getProperty(second, dispidOf(second, u"errorcode"), &r), "second errorcode");
    check.expect(longOf(r) == 0, "the second object has its own instance");
    second->Release();
    check.expect(ownEntry().useCount == 1, "the second object's use dropped");
  }
  o->Release();
}

// Role 1: late bound, every name looked up on every call.
void byNameCycle(const CLSID& clsid, int thread, int cycle, Checker& check) {
  IDispatch* d = create<IDispatch>(clsid, IID_IDispatch, check);
  if (d == nullptr) return;
  VARIANT r;
  VariantInit(&r);
  check.expectOk(getProperty(d, dispidOf(d, u"rtrows"), &r), "rtrows");
  check.expect(longOf(r) == 0, "no table rows on a new object");
  const SHORT rate = static_cast<SHORT>(cycle % 2 == 0 ? 9600 : 2400);
  check.expectOk(putProperty(d, dispidOf(d, u"bautrate"), i2(rate)), "put bautrate");
  check.expectOk(getProperty(d, dispidOf(d, u"bautrate"), &r), "get bautrate");
  check.expect(r.vt == VT_I2 && r.iVal == rate, "bautrate reads back what was put");
  check.expectOk(callMethod(d, dispidOf(d, u"moverecord"), {i4(1 + thread % 3), i4(2)}), "moverecord");
  check.expectOk(getProperty(d, dispidOf(d, u"errorcode"), &r), "errorcode");
  check.expect(longOf(r) == kNoRecord, "moverecord on an empty table reports no record");
  check.expectOk(getProperty(d, dispidOf(d, u"errormessage"), &r), "errormessage");
  check.expect(r.vt == VT_BSTR && SysStringLen(r.bstrVal) > 0, "a message for the failure");
  VariantClear(&r);
  d->Release();
}

// Role 2: a reference table built in memory and moved through.
void tableCycle(const CLSID& clsid, int thread, int cycle, Checker& check) {
  IMVComm* o = create<IMVComm>(clsid, IID_IMVComm, check);
  if (o == nullptr) return;
  constexpr LONG kRows = 3;
  check.expectOk(o->rtbeginwrite(kRows), "rtbeginwrite");
  for (LONG row = 1; row <= kRows; ++row)
    check.expectOk(o->rtwriterecord(row, thread * 10 + row, cycle * 10 + row), "rtwriterecord");
  LONG value = -1;
  check.expectOk(o->get_rtrows(&value), "get_rtrows");
  check.expect(value == kRows, "rtrows counts the rows written");
  const LONG row = 1 + cycle % kRows;
  check.expectOk(o->moverecord(row, 2), "moverecord");
  check.expectOk(o->get_errorcode(&value), "get_errorcode");
  check.expect(value == 0, "moverecord within the table succeeds");
  check.expectOk(o->get_rtemployeeid(&value), "get_rtemployeeid");
  check.expect(value == thread * 10 + row, "rtemployeeid of the row moved to");
  check.expectOk(o->get_rtcardid(&value), "get_rtcardid");
  check.expect(value == cycle * 10 + row, "rtcardid of the row moved to");
  o->Release();
}

// Role 3: identifiers looked up once; on a line thread, records read from
// the terminal every kReadEvery cycles and moved through.
void byIdCycle(const CLSID& clsid, const DispIds& ids, int cycle, Checker& check, Outcome& out) {
  IDispatch* d = create<IDispatch>(clsid, IID_IDispatch, check);
  if (d == nullptr) return;
  VARIANT r;
  VariantInit(&r);
  if (tLine != nullptr && cycle % kReadEvery == 0) {
    check.expectOk(putProperty(d, ids.commport, i2(1)), "put commport");
    check.expectOk(putProperty(d, ids.bautrate, i2(9600)), "put bautrate");
    BSTR machine = SysAllocString(u"5");
    VARIANT m;
    VariantInit(&m);
    m.vt = VT_BSTR;
    m.bstrVal = machine;
    check.expectOk(callMethod(d, ids.readdata, {m, date(kFirstDay), date(kLastDay)}), "readdata");
    SysFreeString(machine);
    tLine->clearLogs();
    check.expectOk(getProperty(d, ids.errorcode, &r), "errorcode");
    if (check.expect(longOf(r) == 0, "readdata from the emulated terminal succeeds")) ++out.recordsRead;
    check.expectOk(getProperty(d, ids.rsrows, &r), "rsrows");
    check.expect(longOf(r) == 2, "both records read");
    check.expectOk(callMethod(d, ids.moverecord, {i4(2), i4(1)}), "moverecord");
    check.expectOk(getProperty(d, ids.rsemployeeid, &r), "rsemployeeid");
    check.expect(longOf(r) == 300, "rsemployeeid of the second record");
  } else {
    check.expectOk(callMethod(d, ids.moverecord, {i4(1), i4(1)}), "moverecord");
    check.expectOk(getProperty(d, ids.errorcode, &r), "errorcode");
    check.expect(longOf(r) == kNoRecord, "moverecord on an empty set reports no record");
  }
  check.expectOk(getProperty(d, ids.errormessage, &r), "errormessage");
  check.expect(r.vt == VT_BSTR, "errormessage is text");
  VariantClear(&r);
  d->Release();
}

void worker(const CLSID& clsid, int thread, int cycles, Outcome& out) {
  out.threadId = static_cast<uint32_t>(::syscall(SYS_gettid));
  Checker check(out);
  std::unique_ptr<ThreadTerminal> terminal;
  if (thread % 8 == 3) {
    terminal = std::make_unique<ThreadTerminal>();
    check.expect(terminal->ok, "records added to the emulated terminal");
    tLine = &terminal->line;
  }
  std::unique_ptr<DispIds> ids;
  if (thread % 4 == 3) {
    IDispatch* d = create<IDispatch>(clsid, IID_IDispatch, check);
    if (d != nullptr) {
      ids = std::make_unique<DispIds>(d);
      d->Release();
    }
  }
  for (int cycle = 0; cycle < cycles; ++cycle) {
    check.setCycle(cycle);
    switch (thread % 4) {
      case 0: earlyBoundCycle(clsid, thread, cycle, check); break;
      case 1: byNameCycle(clsid, thread, cycle, check); break;
      case 2: tableCycle(clsid, thread, cycle, check); break;
      default:
        if (ids != nullptr) byIdCycle(clsid, *ids, cycle, check, out);
        break;
    }
    // Between cycles no object of this thread is alive.
    check.expect(ownEntry().useCount == 0, "no use left after the release");
  }
  tLine = nullptr;
}

// ---- the test ----------------------------------------------------------------

struct Snapshot {
  ole::LiveCounts ole;
  int64_t vmTotal = 0;
  int64_t vmSessions = 0;
  int64_t vmObjects = 0;
  int32_t moduleLocks = 0;
  std::set<uint32_t> tableThreads;  // thread ids that hold a table entry

  static Snapshot now() {
    Snapshot s;
    s.ole = ole::LiveCounts::now();
    s.vmTotal = vm::testing::liveTotal();
    s.vmSessions = vm::testing::liveCount(vm::ProductKind::Session);
    s.vmObjects = vm::testing::liveCount(vm::ProductKind::Object);
    s.moduleLocks = server::moduleLockCount();
    for (int i = 0; i < vm::SessionTable::kEntries; ++i) {
      const uint32_t id = vm::SessionTable::entry(i).threadId;
      if (id != 0) s.tableThreads.insert(id);
    }
    return s;
  }
};

class Load : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(DllRegisterServer(), S_OK);
    ASSERT_EQ(CLSIDFromProgID(u"MVComm.MVComm", &clsid_), S_OK);
    saved_ = n_cst_mvcomm::setDefaultEnvironment(
        {std::make_shared<ThreadPortOpener>(), std::make_shared<ThreadClock>()});
  }
  void TearDown() override { n_cst_mvcomm::setDefaultEnvironment(saved_); }

  TempRegistry registry_;
  CLSID clsid_{};
  n_cst_mvcomm::Environment saved_;
};

TEST_F(Load, SixtyFourThreadsCreateUseAndReleaseObjectsAndLeaveNothingBehind) {
  const int cycles = cycleCount();
  // One object made and released on a thread that then ends: the module is
  // loaded and the type library read before the counts are taken.
  std::thread([this] {
    IUnknown* warm = nullptr;
    EXPECT_EQ(CoCreateInstance(clsid_, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&warm)),
              S_OK);
    if (warm != nullptr) warm->Release();
  }).join();
  const Snapshot before = Snapshot::now();
  EXPECT_EQ(before.moduleLocks, 0);

  std::vector<Outcome> outcomes(kThreads);
  std::vector<std::thread> threads;
  threads.reserve(kThreads);
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([this, t, cycles, &outcomes] { worker(clsid_, t, cycles, outcomes[t]); });
  for (std::thread& th : threads) th.join();

  int linesRead = 0;
  for (int t = 0; t < kThreads; ++t) {
    SCOPED_TRACE("thread " + std::to_string(t));
    EXPECT_EQ(outcomes[t].failures, 0) << "first: " << outcomes[t].first;
    if (t % 8 == 3) {
      EXPECT_EQ(outcomes[t].recordsRead, (cycles + kReadEvery - 1) / kReadEvery);
      ++linesRead;
    }
  }
  EXPECT_EQ(linesRead, kThreads / 8);

  const Snapshot after = Snapshot::now();
  EXPECT_EQ(after.ole, before.ole) << "BSTRs, arrays or task memory leaked";
  EXPECT_EQ(after.vmTotal, before.vmTotal) << "VM products leaked or over-released";
  EXPECT_EQ(after.vmSessions, before.vmSessions);
  EXPECT_EQ(after.vmObjects, before.vmObjects);
  EXPECT_EQ(after.moduleLocks, before.moduleLocks);
  EXPECT_EQ(after.tableThreads, before.tableThreads) << "an ended thread kept its table entry";
  for (const Outcome& o : outcomes) EXPECT_EQ(after.tableThreads.count(o.threadId), 0u);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace mvcomm::testing

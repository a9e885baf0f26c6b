// File: tests/vm/session_table_test.cpp
//
// The thread session table: sharing, use counts, idle entries, a full
// table, threads that end, and many threads at once.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "vm/session_table.h"

namespace mvcomm::vm {
namespace {

// The table only stores session handles; these tests never call them.
IVMSession* fakeSession(uintptr_t n) { return reinterpret_cast<IVMSession*>(n * 16); }

class SessionTableTest : public ::testing::Test {
 protected:
  void SetUp() override { SessionTable::clear(); }
  void TearDown() override { SessionTable::clear(); }

  static int indexOf(uint32_t threadId) {
    for (int i = 0; i < SessionTable::kEntries; ++i) {
      if (SessionTable::entry(i).threadId == threadId) return i;
    }
    return -1;
  }
};

TEST_F(SessionTableTest, TwoObjectsOnOneThreadShareItsSession) {
  const uint32_t tid = 4242;
  IVMSession* found = fakeSession(99);
  ASSERT_EQ(SessionTable::find(tid, &found), S_FALSE);
  EXPECT_EQ(found, nullptr);
  ASSERT_EQ(SessionTable::insert(tid, fakeSession(1)), S_OK);  // first object
  ASSERT_EQ(SessionTable::find(tid, &found), S_OK);
  EXPECT_EQ(found, fakeSession(1));
  ASSERT_EQ(SessionTable::addUse(tid), S_OK);  // second object
  EXPECT_EQ(SessionTable::entry(indexOf(tid)).useCount, 2);
  ASSERT_EQ(SessionTable::dropUse(tid), S_OK);
  EXPECT_EQ(SessionTable::entry(indexOf(tid)).useCount, 1);
  ASSERT_EQ(SessionTable::find(tid, &found), S_OK) << "the other object keeps it in use";
  EXPECT_EQ(found, fakeSession(1));
}

TEST_F(SessionTableTest, AnIdleEntryIsNeverHandedOutAndIsReusedByTheNextInsert) {
  const uint32_t tid = 77;
  ASSERT_EQ(SessionTable::insert(5, fakeSession(5)), S_OK);  // another thread before it
  ASSERT_EQ(SessionTable::insert(tid, fakeSession(1)), S_OK);
  int at = indexOf(tid);
  ASSERT_EQ(SessionTable::dropUse(tid), S_OK);
  SessionEntry idle = SessionTable::entry(at);
  EXPECT_EQ(idle.useCount, 0);
  EXPECT_EQ(idle.session, fakeSession(1)) << "the stale handle stays";
  IVMSession* found = fakeSession(9);
  EXPECT_EQ(SessionTable::find(tid, &found), S_FALSE);
  EXPECT_EQ(found, nullptr);
  ASSERT_EQ(SessionTable::insert(tid, fakeSession(2)), S_OK);
  EXPECT_EQ(indexOf(tid), at);
  EXPECT_EQ(SessionTable::entry(at).useCount, 1);
  EXPECT_EQ(SessionTable::entry(at).session, fakeSession(2));
}

// An object released on another thread than its creator's drops the
// releasing thread's count: that entry must never go below idle and hand
// out its released session.
TEST_F(SessionTableTest, AForeignReleaseNeverMakesAnIdleEntryLookLive) {
  const uint32_t tid = 31;
  ASSERT_EQ(SessionTable::insert(tid, fakeSession(3)), S_OK);
  ASSERT_EQ(SessionTable::dropUse(tid), S_OK);  // its last object, session released
  ASSERT_EQ(SessionTable::dropUse(tid), S_OK);  // a foreign object released here
  EXPECT_EQ(SessionTable::entry(indexOf(tid)).useCount, 0);
  IVMSession* found = fakeSession(9);
  EXPECT_EQ(SessionTable::find(tid, &found), S_FALSE);
  EXPECT_EQ(found, nullptr);
}

TEST_F(SessionTableTest, AFullTableRecordsNothingForANewThread) {
  for (uint32_t i = 0; i < SessionTable::kEntries; ++i) {
    ASSERT_EQ(SessionTable::insert(1000 + i, fakeSession(i + 1)), S_OK);
  }
  const uint32_t late = 5;
  EXPECT_EQ(SessionTable::insert(late, fakeSession(500)), S_FALSE);
  EXPECT_EQ(indexOf(late), -1);
  IVMSession* found = nullptr;
  EXPECT_EQ(SessionTable::find(late, &found), S_FALSE);
  EXPECT_EQ(SessionTable::addUse(late), E_FAIL);
  EXPECT_EQ(SessionTable::dropUse(late), E_FAIL);
  // An entry's own thread still reuses it.
  EXPECT_EQ(SessionTable::insert(1000, fakeSession(600)), S_OK);
  EXPECT_EQ(SessionTable::entry(0).session, fakeSession(600));
}

TEST_F(SessionTableTest, MissingPlacesSessionsAndEntriesFailWithoutHoldingTheLock) {
  struct Case {
    const char* what;
    HRESULT got;
    HRESULT want;
  };
  const Case kCases[] = {
      {"find without a place", SessionTable::find(1, nullptr), E_FAIL},
      {"insert of a null session", SessionTable::insert(1, nullptr), E_FAIL},
      {"insert for thread id 0", SessionTable::insert(0, fakeSession(1)), E_FAIL},
      {"addUse without an entry", SessionTable::addUse(1), E_FAIL},
      {"dropUse without an entry", SessionTable::dropUse(1), E_FAIL},
      {"addUse for thread id 0", SessionTable::addUse(0), E_FAIL},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.got, c.want);
  }
  for (int i = 0; i < SessionTable::kEntries; ++i) {
    ASSERT_EQ(SessionTable::entry(i).threadId, 0u) << "a refused call wrote entry " << i;
  }
  // The lock was left on every path: this would hang otherwise.
  EXPECT_EQ(SessionTable::insert(1, fakeSession(1)), S_OK);
}

TEST_F(SessionTableTest, AThreadThatEndsLosesItsEntryAndItsIdStartsFresh) {
  uint32_t tid = 0;
  std::thread worker([&] {
    tid = SessionTable::currentThreadId();
    ASSERT_EQ(SessionTable::insert(tid, fakeSession(3)), S_OK);
    ASSERT_EQ(SessionTable::addUse(tid), S_OK);  // objects still alive at exit
  });
  worker.join();
  ASSERT_NE(tid, 0u);
  EXPECT_EQ(indexOf(tid), -1) << "the exit hook removed the entry";
  // A later thread given the same id finds nothing to share.
  IVMSession* found = fakeSession(9);
  EXPECT_EQ(SessionTable::find(tid, &found), S_FALSE);
  EXPECT_EQ(found, nullptr);
  EXPECT_EQ(SessionTable::dropUse(tid), E_FAIL) << "the old objects' release is ignored";
}

TEST_F(SessionTableTest, RemoveThreadClearsOnlyThatThreadsEntry) {
  ASSERT_EQ(SessionTable::insert(10, fakeSession(1)), S_OK);
  ASSERT_EQ(SessionTable::insert(11, fakeSession(2)), S_OK);
  SessionTable::removeThread(10);
  SessionTable::removeThread(12345);  // no entry: nothing happens
  EXPECT_EQ(indexOf(10), -1);
  EXPECT_EQ(SessionTable::entry(1).threadId, 11u);
  ASSERT_EQ(SessionTable::insert(12, fakeSession(3)), S_OK);
  EXPECT_EQ(indexOf(12), 0) << "the freed entry is the first free one";
}

TEST_F(SessionTableTest, SixtyFourThreadsStartingAndEndingSessionsLeaveItConsistent) {
  constexpr int kThreads = 64;
  constexpr int kRounds = 200;
  std::atomic<int> mismatches{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      while (!go.load()) std::this_thread::yield();
      const uint32_t tid = SessionTable::currentThreadId();
      IVMSession* mine = fakeSession(static_cast<uintptr_t>(t) + 1);
      for (int r = 0; r < kRounds; ++r) {
        // Create two objects, the way the class factory does, then release them.
        for (int k = 0; k < 2; ++k) {
          IVMSession* found = nullptr;
          HRESULT hr = SessionTable::find(tid, &found);
          if (hr == S_OK) {
            if (found != mine || SessionTable::addUse(tid) != S_OK) ++mismatches;
          } else if (SessionTable::insert(tid, mine) != S_OK) {
            ++mismatches;
          }
        }
        if (SessionTable::dropUse(tid) != S_OK || SessionTable::dropUse(tid) != S_OK) ++mismatches;
      }
      // One object left alive at thread exit.
      if (SessionTable::insert(tid, mine) != S_OK) ++mismatches;
    });
  }
  go = true;
  for (auto& t : threads) t.join();
  EXPECT_EQ(mismatches.load(), 0);
  for (int i = 0; i < SessionTable::kEntries; ++i) {
    SessionEntry e = SessionTable::entry(i);
    EXPECT_EQ(e.threadId, 0u) << "entry " << i << " outlived its thread";
    EXPECT_EQ(e.useCount, 0);
  }
}

}  // namespace
}  // namespace mvcomm::vm

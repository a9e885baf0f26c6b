// File: vm/session_table.h
//
// One VM session per thread: the table that maps thread ids to the session
// the thread's component objects share, with a use count per entry. Fixed
// storage (256 entries, no allocation), one table per process, every
// operation under the table lock. The table holds no reference of its own
// on a session: the objects that use it do.
//
// A thread that used the table is forgotten when it ends: a per-thread exit
// hook calls removeThread with its id.
#pragma once

#include <cstdint>
#include <mutex>

#include "vm/vm_com.h"
#include "vm/vm_interfaces.h"

namespace mvcomm::vm {

struct SessionEntry {
  uint32_t threadId;     // owning thread's id (gettid); 0 marks a free entry
  IVMSession* session;   // that thread's session; no reference held
  int32_t useCount;      // live objects using it; 0: stale handle, never handed out
};

class SessionTable {
 public:
  static constexpr int kEntries = 256;

  // Sets all entries to zero. Called once, at load.
  static void clear();
  // S_OK with the session of the first entry of `threadId` whose count is
  // above 0; S_FALSE and null for no entry or an idle one; E_FAIL if `session`
  // is null.
  static HRESULT find(uint32_t threadId, IVMSession** session);
  // Records {threadId, session, 1} in the thread's own entry, else the first
  // free one: S_OK. S_FALSE when the table is full (nothing written); E_FAIL
  // for a null session.
  static HRESULT insert(uint32_t threadId, IVMSession* session);
  // Count + 1 / - 1 on the thread's entry; E_FAIL when it has none. An entry
  // whose count drops to 0 stays, idle, with its stale handle; dropUse never
  // takes a count below 0 (an object released on another thread than its
  // creator's drops the releasing thread's count).
  static HRESULT addUse(uint32_t threadId);
  static HRESULT dropUse(uint32_t threadId);
  // Zeroes the thread's entry; the session is not released.
  static void removeThread(uint32_t threadId);

  // A copy of entry `index` (0..255), for tests and diagnostics.
  static SessionEntry entry(int index);

  // The calling thread's id (gettid).
  static uint32_t currentThreadId();
};

// The table lock as a scoped guard: entered on construction, left on
// destruction, so every path out of a table operation leaves it.
class PBCOMLock {
 public:
  PBCOMLock();
  ~PBCOMLock();
  PBCOMLock(const PBCOMLock&) = delete;
  PBCOMLock& operator=(const PBCOMLock&) = delete;
};

}  // namespace mvcomm::vm

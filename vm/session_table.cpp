// File: vm/session_table.cpp
//
// The thread session table, its lock, and the per-thread exit hook that
// forgets a thread when it ends.
//
// The lock is constant-initialised and never destroyed: it exists before the
// module's load hook runs and outlives its unload hook, so a thread that ends
// after the module was unloaded can still take it safely.

#include "vm/session_table.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace mvcomm::vm {
namespace {

std::mutex gTableLock;                              // guards gEntries, nothing else
SessionEntry gEntries[SessionTable::kEntries] = {};  // static storage, no allocation

// Runs removeThread for its thread when the thread ends. A thread_local with
// a destructor also keeps this library mapped until every such thread has
// run it.
struct ThreadExitHook {
  uint32_t threadId = 0;  // set when the thread first uses the table
  ~ThreadExitHook() {
    if (threadId != 0) SessionTable::removeThread(threadId);
  }
};
thread_local ThreadExitHook tExitHook;

// Arms the hook of the calling thread; called outside the lock because the
// first touch of a thread_local may allocate.
void watchCallingThread() {
  if (tExitHook.threadId == 0) tExitHook.threadId = SessionTable::currentThreadId();
}

SessionEntry* entryOf(uint32_t threadId) {
  for (SessionEntry& e : gEntries) {
    if (e.threadId == threadId) return &e;
  }
  return nullptr;
}

}  // namespace

PBCOMLock::PBCOMLock() { gTableLock.lock(); }
PBCOMLock::~PBCOMLock() { gTableLock.unlock(); }

uint32_t SessionTable::currentThreadId() {
  thread_local uint32_t id = static_cast<uint32_t>(::syscall(SYS_gettid));
  return id;
}

void SessionTable::clear() {
  PBCOMLock lock;
  for (SessionEntry& e : gEntries) e = SessionEntry{};
}

HRESULT SessionTable::find(uint32_t threadId, IVMSession** session) {
  if (session == nullptr) return E_FAIL;
  watchCallingThread();
  PBCOMLock lock;
  *session = nullptr;
  SessionEntry* e = entryOf(threadId);
  // Idle at 0 or less: a count an object released on a foreign thread took
  // down must never make a stale handle look live.
  if (e == nullptr || e->useCount <= 0) return S_FALSE;
  *session = e->session;
  return S_OK;
}

HRESULT SessionTable::insert(uint32_t threadId, IVMSession* session) {
  // Id 0 marks free entries; recording it would make a free entry look used.
  if (session == nullptr || threadId == 0) return E_FAIL;
  watchCallingThread();
  PBCOMLock lock;
  SessionEntry* slot = entryOf(threadId);
  if (slot == nullptr) slot = entryOf(0);
  if (slot == nullptr) return S_FALSE;
  *slot = SessionEntry{threadId, session, 1};
  return S_OK;
}

HRESULT SessionTable::addUse(uint32_t threadId) {
  if (threadId == 0) return E_FAIL;
  watchCallingThread();
  PBCOMLock lock;
  SessionEntry* e = entryOf(threadId);
  if (e == nullptr) return E_FAIL;
  ++e->useCount;
  return S_OK;
}

HRESULT SessionTable::dropUse(uint32_t threadId) {
  if (threadId == 0) return E_FAIL;
  watchCallingThread();
  PBCOMLock lock;
  SessionEntry* e = entryOf(threadId);
  if (e == nullptr) return E_FAIL;
  if (e->useCount > 0) --e->useCount;
  return S_OK;
}

void SessionTable::removeThread(uint32_t threadId) {
  if (threadId == 0) return;
  PBCOMLock lock;
  SessionEntry* e = entryOf(threadId);
  if (e != nullptr) *e = SessionEntry{};
}

SessionEntry SessionTable::entry(int index) {
  PBCOMLock lock;
  if (index < 0 || index >= kEntries) return SessionEntry{};
  return gEntries[index];
}

}  // namespace mvcomm::vm

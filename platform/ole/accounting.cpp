// File: platform/ole/accounting.cpp
//
// Live counts and the allocation failure hook. Plain relaxed atomics: the
// counters only have to be exact once the threads that allocate are joined.
#include <atomic>

#include "platform/ole/internal/accounting.h"

namespace mvcomm::ole {
namespace {

struct KindState {
  std::atomic<long> attempts{0};
  std::atomic<long> live{0};
  std::atomic<long> failAt{0};  // attempt number that fails; 0 = disarmed
  std::atomic<bool> persistent{false};
  std::atomic<long> injected{0};
};

KindState gKinds[3];
std::atomic<bool> gArmed{false};

KindState& state(AllocKind kind) { return gKinds[static_cast<int>(kind)]; }

}  // namespace

long liveCount(AllocKind kind) { return state(kind).live.load(std::memory_order_relaxed); }

long allocationCount(AllocKind kind) {
  return state(kind).attempts.load(std::memory_order_relaxed);
}

void failAllocation(AllocKind kind, long nth, bool persistent) {
  KindState& s = state(kind);
  s.injected.store(0, std::memory_order_relaxed);
  s.persistent.store(persistent, std::memory_order_relaxed);
  s.failAt.store(nth < 1 ? 0 : s.attempts.load(std::memory_order_relaxed) + nth,
                 std::memory_order_relaxed);
  gArmed.store(true, std::memory_order_relaxed);
}

void clearAllocationFailures() {
  gArmed.store(false, std::memory_order_relaxed);
  for (KindState& s : gKinds) {
    s.failAt.store(0, std::memory_order_relaxed);
    s.persistent.store(false, std::memory_order_relaxed);
  }
}

long injectedFailures(AllocKind kind) {
  return state(kind).injected.load(std::memory_order_relaxed);
}

namespace internal {

bool admitAllocation(AllocKind kind) {
  KindState& s = state(kind);
  long n = s.attempts.fetch_add(1, std::memory_order_relaxed) + 1;
  if (!gArmed.load(std::memory_order_relaxed)) return true;
  long at = s.failAt.load(std::memory_order_relaxed);
  if (at == 0) return true;
  if (n == at || (n > at && s.persistent.load(std::memory_order_relaxed))) {
    s.injected.fetch_add(1, std::memory_order_relaxed);
    return false;
  }
  return true;
}

void noteAllocated(AllocKind kind) { state(kind).live.fetch_add(1, std::memory_order_relaxed); }

void noteFreed(AllocKind kind) { state(kind).live.fetch_sub(1, std::memory_order_relaxed); }

}  // namespace internal
}  // namespace mvcomm::ole

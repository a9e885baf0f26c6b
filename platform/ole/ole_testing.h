// File: platform/ole/ole_testing.h
//
// Test support for every room: live counts of the BSTRs, SAFEARRAY
// descriptors and task-memory blocks this library has handed out, and a
// hook that makes the Nth allocation of a kind fail, so error paths (the
// out-of-memory results of callers) can be run and leaks caught.
//
// The counters are always on (one relaxed atomic add per allocation); the
// failure hook costs one relaxed load while disarmed. Counts are process
// wide: tests that count must not run allocations on other threads meanwhile.
#pragma once

namespace mvcomm::ole {

enum class AllocKind {
  Bstr,       // SysAllocString*, SysReAllocString*, BSTRs made by conversions and copies
  SafeArray,  // SAFEARRAY descriptors: SafeArrayCreate*, SafeArrayAllocDescriptor*, SafeArrayCopy
  CoTaskMem,  // CoTaskMemAlloc / CoTaskMemRealloc, StringFromCLSID
};

// Objects of the kind alive now (allocated, not yet freed).
long liveCount(AllocKind kind);

// Allocations of the kind attempted since the process started, failed ones included.
long allocationCount(AllocKind kind);

// Makes the nth allocation of the kind from now fail (1 = the next one);
// with persistent, that one and every later one fail until cleared. One
// plan per kind; arming again replaces it.
void failAllocation(AllocKind kind, long nth, bool persistent = false);

// Disarms every kind.
void clearAllocationFailures();

// Allocations of the kind failed by the hook since it was last armed.
long injectedFailures(AllocKind kind);

// Snapshot of the three live counts, for "back to where we started" checks.
struct LiveCounts {
  long bstr = 0;
  long safeArray = 0;
  long coTaskMem = 0;

  static LiveCounts now() {
    return {liveCount(AllocKind::Bstr), liveCount(AllocKind::SafeArray),
            liveCount(AllocKind::CoTaskMem)};
  }
  friend bool operator==(const LiveCounts&, const LiveCounts&) = default;
};

}  // namespace mvcomm::ole

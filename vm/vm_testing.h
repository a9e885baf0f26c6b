// File: vm/vm_testing.h
//
// What tests see of the VM's insides: live counts per product kind, and
// failure injection. A test arms a failure for the Nth call of one operation
// (or of any operation) from the moment of arming; that call returns the
// chosen status without doing anything, and with `persistent` every later
// matching call fails too. Runs of "fail the 1st, 2nd, ... call until a run
// injects nothing" use fired() to know when to stop.
//
// The injector is process-wide; arm it only while no other thread uses the VM.
#pragma once

#include <cstdint>

#include "vm/vm_types.h"

namespace mvcomm::vm::testing {

// Products of `kind` alive now.
int64_t liveCount(ProductKind kind);
// All products alive now.
int64_t liveTotal();

// Makes the `nth` (from 1) call of `op` (Op::Any: of any operation) counted
// from now fail with `status` (negative). Replaces any armed failure.
void failAt(uint64_t nth, int32_t status, Op op = Op::Any, bool persistent = false);
// Disarms; counting stops.
void clearFailure();
// Whether the armed failure has fired since failAt.
bool fired();
// Matching calls counted since failAt.
uint64_t matchingCalls();

// Times vmPrepareRuntime has run in this process.
int64_t prepareRuntimeCount();

// Runs `job` (returning a status) with the 1st, 2nd, ... VM call failing
// with `status`, until a run in which nothing was injected or `limit` runs.
// After each run `check(result, fired)` is called with the job's result and
// whether the failure fired (the last run, clean, has fired == false), so a
// test can assert the result and that live counts are back. Returns the
// number of runs.
template <class Job, class Check>
uint64_t failEachCallInTurn(int32_t status, Job job, Check check, uint64_t limit = 10000) {
  uint64_t nth = 1;
  for (; nth <= limit; ++nth) {
    failAt(nth, status);
    int32_t result = job();
    bool hit = fired();
    clearFailure();
    check(result, hit);
    if (!hit) break;
  }
  return nth;
}

// Disarms on construction and destruction, so a failing test leaves no
// failure armed for the next.
class ScopedFailure {
 public:
  ScopedFailure(uint64_t nth, int32_t status, Op op = Op::Any, bool persistent = false) {
    failAt(nth, status, op, persistent);
  }
  ~ScopedFailure() { clearFailure(); }
  ScopedFailure(const ScopedFailure&) = delete;
  ScopedFailure& operator=(const ScopedFailure&) = delete;
};

}  // namespace mvcomm::vm::testing

// File: vm/accounting.cpp
//
// Live counts per product kind and the failure injector (vm/vm_testing.h).

#include <array>
#include <mutex>

#include "vm/internal/accounting.h"
#include "vm/vm_testing.h"

namespace mvcomm::vm {

const char* productKindName(ProductKind kind) {
  static constexpr const char* kNames[kProductKindCount] = {
      "string", "session", "object", "value", "argument", "date", "time", "datetime", "decimal",
      "blob", "date helper", "array", "bound", "bounds list", "session context",
      "value context", "object handle", "automation"};
  auto i = static_cast<int32_t>(kind);
  return i >= 0 && i < kProductKindCount ? kNames[i] : "?";
}

namespace internal {
namespace {

std::array<std::atomic<int64_t>, kProductKindCount> gLive{};

struct Injector {
  std::mutex lock;            // guards the fields below
  uint64_t nth = 0;           // call that fails, from 1
  uint64_t calls = 0;         // matching calls since arming
  int32_t status = 0;         // status the failing call returns
  Op op = Op::Any;            // operation counted
  bool persistent = false;    // every call from the nth on fails
  bool fired = false;         // the failure has been returned at least once
};

Injector& injector() {
  static Injector instance;
  return instance;
}

}  // namespace

std::atomic<bool> gFailureArmed{false};

void born(ProductKind kind) { gLive[static_cast<size_t>(kind)].fetch_add(1, std::memory_order_relaxed); }
void died(ProductKind kind) { gLive[static_cast<size_t>(kind)].fetch_sub(1, std::memory_order_relaxed); }

int32_t injectedSlow(Op op) {
  Injector& in = injector();
  std::lock_guard<std::mutex> guard(in.lock);
  if (!gFailureArmed.load(std::memory_order_relaxed)) return 0;
  if (in.op != Op::Any && in.op != op) return 0;
  ++in.calls;
  if (in.calls == in.nth || (in.persistent && in.calls > in.nth)) {
    in.fired = true;
    return in.status;
  }
  return 0;
}

}  // namespace internal

namespace testing {

int64_t liveCount(ProductKind kind) {
  return internal::gLive[static_cast<size_t>(kind)].load(std::memory_order_relaxed);
}

int64_t liveTotal() {
  int64_t total = 0;
  for (auto& n : internal::gLive) total += n.load(std::memory_order_relaxed);
  return total;
}

void failAt(uint64_t nth, int32_t status, Op op, bool persistent) {
  auto& in = internal::injector();
  std::lock_guard<std::mutex> guard(in.lock);
  in.nth = nth;
  in.calls = 0;
  in.status = status < 0 ? status : kVmErrFailed;
  in.op = op;
  in.persistent = persistent;
  in.fired = false;
  internal::gFailureArmed.store(true, std::memory_order_relaxed);
}

void clearFailure() {
  auto& in = internal::injector();
  std::lock_guard<std::mutex> guard(in.lock);
  internal::gFailureArmed.store(false, std::memory_order_relaxed);
  in.calls = 0;
}

bool fired() {
  auto& in = internal::injector();
  std::lock_guard<std::mutex> guard(in.lock);
  return in.fired;
}

uint64_t matchingCalls() {
  auto& in = internal::injector();
  std::lock_guard<std::mutex> guard(in.lock);
  return in.calls;
}

}  // namespace testing
}  // namespace mvcomm::vm

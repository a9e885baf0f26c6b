// File: vm/internal/accounting.h
//
// Live counts and failure injection, as the VM's own code uses them. Every
// product constructor calls born(), every destructor died(); every VM
// operation first asks injected(op) and returns its status when it fires.
#pragma once

#include <atomic>
#include <cstdint>

#include "vm/vm_types.h"

namespace mvcomm::vm::internal {

void born(ProductKind kind);
void died(ProductKind kind);

extern std::atomic<bool> gFailureArmed;  // fast path: false while nothing is armed
int32_t injectedSlow(Op op);             // 0, or the status to fail with

// 0 when the operation may run; otherwise the (negative) status to return.
inline int32_t injected(Op op) {
  if (!gFailureArmed.load(std::memory_order_relaxed)) return 0;
  return injectedSlow(op);
}

}  // namespace mvcomm::vm::internal

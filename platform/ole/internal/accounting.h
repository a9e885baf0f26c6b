// File: platform/ole/internal/accounting.h
//
// What the allocating functions of this library call so that tests can count
// live objects and fail chosen allocations (see ole_testing.h).
#pragma once

#include "platform/ole/ole_testing.h"

namespace mvcomm::ole::internal {

// Counts an allocation attempt of the kind; false when the failure hook says
// this one must fail (the caller then reports it as out of memory).
bool admitAllocation(AllocKind kind);

// Track the objects alive: call after a successful allocation / before a free.
void noteAllocated(AllocKind kind);
void noteFreed(AllocKind kind);

}  // namespace mvcomm::ole::internal

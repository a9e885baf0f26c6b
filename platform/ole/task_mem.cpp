// File: platform/ole/task_mem.cpp
//
// CoTaskMemAlloc / Realloc / Free: the allocator for memory that crosses an
// interface and is freed by the receiver (StringFromCLSID's text, for one).
#include <cstdlib>

#include "platform/ole/internal/accounting.h"
#include "platform/ole/oleauto.h"

using mvcomm::ole::AllocKind;
namespace acc = mvcomm::ole::internal;

STDAPI_(LPVOID) CoTaskMemAlloc(SIZE_T cb) {
  if (!acc::admitAllocation(AllocKind::CoTaskMem)) return nullptr;
  // A zero-byte request still gets its own block, so it can be told apart
  // from a failure and freed like any other.
  void* p = std::malloc(cb == 0 ? 1 : cb);
  if (p != nullptr) acc::noteAllocated(AllocKind::CoTaskMem);
  return p;
}

STDAPI_(LPVOID) CoTaskMemRealloc(LPVOID pv, SIZE_T cb) {
  if (pv == nullptr) return CoTaskMemAlloc(cb);
  if (cb == 0) {
    CoTaskMemFree(pv);
    return nullptr;
  }
  if (!acc::admitAllocation(AllocKind::CoTaskMem)) return nullptr;
  return std::realloc(pv, cb);  // on failure the old block stays valid and counted
}

STDAPI_(void) CoTaskMemFree(LPVOID pv) {
  if (pv == nullptr) return;
  acc::noteFreed(AllocKind::CoTaskMem);
  std::free(pv);
}

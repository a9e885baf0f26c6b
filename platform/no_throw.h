// File: platform/no_throw.h
//
// No exception crosses a C or COM boundary: an exported function, a vtable
// slot, or a native function the VM calls runs its body through one of
// these, which turn std::bad_alloc into the caller's out-of-memory status
// and anything else into its general failure.
//
//   HRESULT Thing::Method(...) try {
//     ...
//   } catch (...) {
//     return failureStatus(E_OUTOFMEMORY, E_UNEXPECTED);
//   }
#pragma once

#include <new>
#include <type_traits>

namespace mvcomm {

// Inside a handler: the status for the exception being handled, std::bad_alloc
// being `outOfMemory`.
template <typename Status>
Status failureStatus(Status outOfMemory, Status otherwise) noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return outOfMemory;
  } catch (...) {
    return otherwise;
  }
}

// Runs `body` under the same rule, for a function pointer table entry.
template <typename Status, typename Body>
Status noThrow(Status outOfMemory, Status otherwise, Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return outOfMemory;
  } catch (...) {
    return otherwise;
  }
}

}  // namespace mvcomm

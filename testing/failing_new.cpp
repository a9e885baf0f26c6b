// File: testing/failing_new.cpp
//
// The replaced allocation functions. Each counts down on its own thread
// while armed; everything else goes to malloc and free, which sanitizers
// still watch.
#include "testing/failing_new.h"

#include <cstdlib>
#include <new>

namespace mvcomm::testing {
namespace {

thread_local long gCountdown = 0;    // calls left before the failure; 0: disarmed
thread_local bool gPersistent = false;
thread_local bool gFailed = false;

// True when this call is to fail.
bool failNow() {
  if (gCountdown == 0) return false;
  if (gCountdown > 1) {
    --gCountdown;
    return false;
  }
  gFailed = true;
  if (!gPersistent) gCountdown = 0;
  return true;
}

void* allocate(std::size_t size) {
  if (failNow()) throw std::bad_alloc();
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

void* allocateNothrow(std::size_t size) noexcept {
  if (failNow()) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

void failNew(long nth, bool persistent) {
  gCountdown = nth < 0 ? 0 : nth;
  gPersistent = persistent;
  gFailed = false;
}

bool newFailed() { return gFailed; }

}  // namespace mvcomm::testing

void* operator new(std::size_t size) { return mvcomm::testing::allocate(size); }
void* operator new[](std::size_t size) { return mvcomm::testing::allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return mvcomm::testing::allocateNothrow(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return mvcomm::testing::allocateNothrow(size);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

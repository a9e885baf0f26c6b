// File: testing/failing_new.h
//
// A global operator new that a test can make throw std::bad_alloc at its
// Nth call on the calling thread (the nothrow forms return null instead).
// Linked into test programs only (target mv_failing_new): it replaces the
// program's operator new and delete, in every library the program loads.
#pragma once

namespace mvcomm::testing {

// Makes the nth operator new on this thread from now fail (1 = the next
// one); 0 disarms. Persistent: that one and every later one fail.
void failNew(long nth, bool persistent = false);

// True once the armed failure has been injected.
bool newFailed();

// Arms a failure for the life of the object.
class ScopedNewFailure {
 public:
  explicit ScopedNewFailure(long nth, bool persistent = false) { failNew(nth, persistent); }
  ~ScopedNewFailure() { failNew(0); }
  ScopedNewFailure(const ScopedNewFailure&) = delete;
  ScopedNewFailure& operator=(const ScopedNewFailure&) = delete;
};

}  // namespace mvcomm::testing

// File: platform/clock.h
//
// The clock that every wait and timestamp of the terminal code goes through.
// Production uses the monotonic clock; the virtual line supplies a virtual
// clock that jumps to the next event, so a 5000 ms time-out costs nothing in
// a test while the terminal code runs its real algorithm.
#pragma once

#include <chrono>

namespace mvcomm {

class Clock {
 public:
  using duration = std::chrono::nanoseconds;
  using time_point = std::chrono::time_point<std::chrono::steady_clock, duration>;

  virtual ~Clock() = default;

  // Monotonic now; never goes backwards.
  virtual time_point now() = 0;

  // Pauses the calling thread until `deadline` (returns at once if it has
  // passed). Real clocks sleep (no spinning); virtual clocks advance.
  virtual void sleepUntil(time_point deadline) = 0;

  void sleepFor(duration d) { sleepUntil(now() + d); }
};

// CLOCK_MONOTONIC; sleeps with clock_nanosleep(TIMER_ABSTIME), retrying EINTR.
class MonotonicClock final : public Clock {
 public:
  time_point now() override;
  void sleepUntil(time_point deadline) override;

  // The process-wide instance.
  static MonotonicClock& instance();
};

}  // namespace mvcomm

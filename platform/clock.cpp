// File: platform/clock.cpp
//
// The monotonic clock: CLOCK_MONOTONIC for now(), an absolute-deadline
// clock_nanosleep for waits, so a signal never stretches or shortens a pause.
#include "platform/clock.h"

#include <cerrno>
#include <ctime>

namespace mvcomm {

MonotonicClock::time_point MonotonicClock::now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return time_point(std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec));
}

void MonotonicClock::sleepUntil(time_point deadline) {
  auto since = deadline.time_since_epoch();
  if (since.count() < 0) return;
  auto secs = std::chrono::duration_cast<std::chrono::seconds>(since);
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(secs.count());
  ts.tv_nsec = static_cast<long>((since - secs).count());
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

MonotonicClock& MonotonicClock::instance() {
  static MonotonicClock clock;
  return clock;
}

}  // namespace mvcomm

// File: fuzz/tools/trace_file_fuzzer.cpp
//
// --trace files read back as a terminal's script. Accepted byte lines hold
// what a trace can record (a time since the start, a positive rate, one of
// the five parities); writing the frames again with the tool's own
// TraceWriter and reading that gives the same frames, times to the
// microsecond the format keeps. trace-info reports on every trace that
// reads, and refuses every other with the same line.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <sstream>

#include "platform/serial/mode_string.h"
#include "tools/mvcomm/trace_info.h"
#include "tools/mvcomm/trace_port.h"

namespace {

using namespace mvcomm;
using namespace mvcomm::cli;

// A clock the test sets: each frame is written at its own time.
class SetClock final : public Clock {
 public:
  time_point now() override { return at; }
  void sleepUntil(time_point t) override { at = t; }
  time_point at{};
};

std::string rewrite(const std::vector<TraceFrame>& frames, Clock::time_point start) {
  char* buffer = nullptr;
  std::size_t length = 0;
  std::FILE* file = ::open_memstream(&buffer, &length);
  if (!file) std::abort();
  auto clock = std::make_shared<SetClock>();
  clock->at = start;
  {
    TraceWriter writer(file, clock);
    for (const TraceFrame& f : frames) {
      clock->at = start + std::chrono::nanoseconds(std::llround(f.ms * 1e6));
      if (f.fromHost) {
        for (std::uint8_t b : f.bytes) writer.outByte(b, f.settings);
        writer.flushOut();
      } else {
        writer.inBytes(f.bytes.data(), f.bytes.size(), f.settings);
      }
    }
  }  // closes the stream
  std::string text(buffer, length);
  std::free(buffer);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<TraceFrame> frames;
  std::string error;
  const bool read = parseTrace(text, frames, error);
  std::ostringstream report;
  std::string infoError;
  if (traceInfo(text, report, infoError) != read || (!read && infoError != error)) __builtin_trap();
  if (!read) {
    if (error.rfind("line ", 0) != 0) __builtin_trap();
    return 0;
  }
  bool writable = true;
  for (const TraceFrame& f : frames) {
    if (!std::isfinite(f.ms) || f.ms < 0) __builtin_trap();
    if (f.settings.baud == 0 || f.settings.baud > 4000000) __builtin_trap();
    if (serial::parityLetter(f.settings.parity) == '?') __builtin_trap();
    if (f.ms > 1e9) writable = false;   // past what a run's clock reaches
  }
  if (!writable) return 0;

  // The writer drops a host line without bytes: it never sends one.
  std::vector<TraceFrame> expected;
  for (const TraceFrame& f : frames)
    if (!f.fromHost || !f.bytes.empty()) expected.push_back(f);
  const Clock::time_point start{std::chrono::hours(1000)};
  std::vector<TraceFrame> again;
  if (!parseTrace(rewrite(frames, start), again, error) || again.size() != expected.size())
    __builtin_trap();
  for (std::size_t i = 0; i < again.size(); ++i) {
    const TraceFrame& a = again[i];
    const TraceFrame& e = expected[i];
    if (a.fromHost != e.fromHost || !(a.settings == e.settings) || a.bytes != e.bytes ||
        std::fabs(a.ms - e.ms) > 0.0006)
      __builtin_trap();
  }
  return 0;
}

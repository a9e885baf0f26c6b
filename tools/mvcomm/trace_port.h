// File: tools/mvcomm/trace_port.h
//
// --trace FILE: a SerialPort decorator that writes every byte each way, with
// the rate and parity in force and the time since the trace began, one line
// per frame or received chunk:
//
//   # mvcomm trace 1: ms direction baud parity bytes
//        0.000 open COM1
//        0.031 set 2400 S
//        0.052 > 2400 S 02 A2 5D 19 59
//     1843.511 < 2450 S 06 06 06 06 06 00 ...
//     2650.020 close
//
// Directions: ">" host to line, "<" line to host. Parity letters N O E M S.
// Other lines (open, set, dtr, purge, close, "!" errors) describe the port;
// "set 2450 S reads 2400" says the driver kept another rate than the one
// asked for, and the byte lines then show the rate it kept.
// Lines are flushed as written, so a killed run leaves its trace behind.
// parseTrace reads the format back, so a trace can be replayed as a
// terminal's script.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/serial/serial_port.h"

namespace mvcomm::cli {

class TraceWriter {
 public:
  // Takes ownership of `file` (closed in the destructor).
  TraceWriter(std::FILE* file, std::shared_ptr<Clock> clock);
  ~TraceWriter();
  TraceWriter(const TraceWriter&) = delete;
  TraceWriter& operator=(const TraceWriter&) = delete;

  void event(const std::string& text);  // a port line (open, set, ...)
  void outByte(std::uint8_t byte, const serial::LineSettings& settings);
  void inBytes(const std::uint8_t* bytes, std::size_t count, const serial::LineSettings& settings);
  void flushOut();  // ends the pending ">" line

 private:
  void line(Clock::time_point at, const std::string& text);

  std::FILE* file_;
  std::shared_ptr<Clock> clock_;
  Clock::time_point start_;
  std::vector<std::uint8_t> pending_;          // bytes of the ">" line being built
  serial::LineSettings pendingSettings_;
  Clock::time_point pendingAt_{};
};

// Wraps an opener so that every port it opens is traced.
class TracingOpener final : public serial::PortOpener {
 public:
  TracingOpener(std::shared_ptr<serial::PortOpener> inner, std::shared_ptr<TraceWriter> trace);
  int open(const std::string& name, std::unique_ptr<serial::SerialPort>& port) override;

 private:
  std::shared_ptr<serial::PortOpener> inner_;
  std::shared_ptr<TraceWriter> trace_;
};

// One ">" or "<" line of a trace.
struct TraceFrame {
  double ms = 0;                   // time since the trace began
  bool fromHost = true;            // ">" (true) or "<"
  serial::LineSettings settings;   // rate and parity
  std::vector<std::uint8_t> bytes;
};

// The byte lines of a trace, in order; other lines are skipped. Fields are
// whitespace-separated tokens, each whole: a time of 0 ms or more, a rate
// of 1 to 4000000, one parity letter, two hex digits per byte. A last line
// without its newline (a run killed while writing it) is left out. Returns
// false with "line N: what" in `error` on a line without a time or a
// malformed byte line.
bool parseTrace(const std::string& text, std::vector<TraceFrame>& frames, std::string& error);

}  // namespace mvcomm::cli

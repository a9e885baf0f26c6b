// File: tools/mvcomm/selftest.cpp
#include "tools/mvcomm/selftest.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <vector>

#include "platform/serial/mode_string.h"
#include "tools/mvcomm/trace_port.h"

namespace mvcomm::cli {

namespace {

struct Setting {
  std::uint32_t baud;
  serial::Parity parity;
};

// Every rate and parity the protocol puts on the line.
constexpr Setting kSettings[] = {
    {2400, serial::Parity::kSpace},  {2400, serial::Parity::kMark},
    {2450, serial::Parity::kSpace},  {2450, serial::Parity::kMark},
    {4937, serial::Parity::kSpace},  {10416, serial::Parity::kSpace},
    {15625, serial::Parity::kSpace}, {2403, serial::Parity::kSpace},
};

// Start, stop, all-ones, all-zeros and alternating bits.
const std::vector<std::uint8_t> kPattern = {0x02, 0x55, 0xAA, 0x00, 0xFF, 0x03, 0x06, 0x15};

// Sends the pattern and collects what comes back within its wire time plus
// a generous margin. Returns "" when it matched, else what went wrong.
std::string loopbackCheck(serial::SerialPort& port, Clock& clock, std::uint32_t baud) {
  if (int rc = port.purge(serial::kPurgeRxClear | serial::kPurgeTxClear))
    return std::string("purge: ") + std::strerror(rc);
  for (std::uint8_t b : kPattern)
    if (int rc = port.writeByte(b)) return std::string("write: ") + std::strerror(rc);
  const auto wire = std::chrono::nanoseconds(11'000'000'000LL * static_cast<long long>(kPattern.size()) / baud);
  const auto deadline = clock.now() + wire + std::chrono::milliseconds(500);
  std::vector<std::uint8_t> got;
  while (got.size() < kPattern.size()) {
    bool readable = false;
    if (int rc = port.waitReadable(deadline, readable)) return std::string("wait: ") + std::strerror(rc);
    if (!readable) break;
    std::uint8_t buffer[64];
    std::size_t n = 0;
    if (int rc = port.read(buffer, sizeof buffer, n)) return std::string("read: ") + std::strerror(rc);
    got.insert(got.end(), buffer, buffer + n);
  }
  if (got == kPattern) return "";
  if (got.empty()) return "nothing came back";
  return "came back as " + std::to_string(got.size()) + " bytes that differ";
}

}  // namespace

// The rate a UART can be off and still hear the terminals, and where we
// start to warn: the terminals' own clocks may be off too.
constexpr double kWarnDeviation = 0.02;

int selftest(serial::SerialPort& port, Clock& clock, bool loopback, std::ostream& out) {
  int failures = 0;
  int warnings = 0;
  out << std::left << std::setw(10) << "setting" << std::setw(12) << "reads back" << std::setw(9) << "off"
      << "result\n";
  for (const Setting& s : kSettings) {
    serial::LineSettings want;
    want.baud = s.baud;
    want.parity = s.parity;
    const std::string label = std::to_string(s.baud) + " " + serial::parityLetter(s.parity);
    // A refusal (EINVAL) still leaves something to read back and show.
    const int rc = port.applySettings(want);
    serial::LineSettings got;
    const int readRc = rc == 0 || rc == EINVAL ? port.readSettings(got) : rc;
    std::string back = "-";
    std::string off = "-";
    std::string result;
    if (readRc != 0) {
      result = std::string("error: ") + std::strerror(readRc);
    } else {
      back = std::to_string(got.baud) + " " + serial::parityLetter(got.parity);
      const double deviation = (static_cast<double>(got.baud) - want.baud) / want.baud;
      char percent[16];
      std::snprintf(percent, sizeof percent, "%+.1f%%", 100 * deviation);
      off = percent;
      if (got.parity != want.parity) {
        result = "dropped: the parity did not hold";
      } else if (!serial::rateWithinTolerance(got.baud, want.baud)) {
        result = "dropped: the rate is too far off";
      } else if (std::abs(deviation) > kWarnDeviation) {
        result = "kept, but over 2% off";
        ++warnings;
      } else {
        result = "kept";
      }
    }
    bool ok = result.rfind("kept", 0) == 0;
    if (loopback && ok) {
      const std::string why = loopbackCheck(port, clock, s.baud);
      result += why.empty() ? "; loopback ok" : "; loopback failed: " + why;
      ok = why.empty();
    }
    if (!ok) ++failures;
    out << std::left << std::setw(10) << label << std::setw(12) << back << std::setw(9) << off << result << '\n';
  }
  if (failures > 0) {
    out << failures << " setting(s) failed: this adapter cannot drive the terminals reliably\n";
  } else if (warnings > 0) {
    out << "all settings work; " << warnings
        << " rate(s) are over 2% off: a terminal whose own clock is off the other way may not hear "
           "them (--loopback checks the port against itself)\n";
  } else {
    out << "all settings work\n";
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace mvcomm::cli

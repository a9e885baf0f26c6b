// File: tools/mvcomm/selftest.cpp
#include "tools/mvcomm/selftest.h"

#include <cstring>
#include <iomanip>
#include <vector>

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

int selftest(serial::SerialPort& port, Clock& clock, bool loopback, std::ostream& out) {
  int failures = 0;
  out << std::left << std::setw(10) << "setting" << (loopback ? "settings  loopback\n" : "result\n");
  for (const Setting& s : kSettings) {
    serial::LineSettings want;
    want.baud = s.baud;
    want.parity = s.parity;
    std::string label = std::to_string(s.baud) + " " + parityLetter(s.parity);
    std::string result;
    int rc = port.applySettings(want);
    serial::LineSettings got;
    if (rc == 0) rc = port.readSettings(got);
    if (rc == EINVAL) {
      result = "dropped";
    } else if (rc != 0) {
      result = std::string("error: ") + std::strerror(rc);
    } else if (got.baud != want.baud || got.parity != want.parity) {
      result = "dropped: reads back " + std::to_string(got.baud) + " " + parityLetter(got.parity);
    } else {
      result = "kept";
    }
    bool ok = result == "kept";
    if (loopback && ok) {
      std::string why = loopbackCheck(port, clock, s.baud);
      ok = why.empty();
      result = (ok ? "kept      ok" : "kept      failed: " + why);
    }
    if (!ok) ++failures;
    out << std::left << std::setw(10) << label << result << '\n';
  }
  out << (failures == 0 ? "all settings work\n"
                        : std::to_string(failures) + " setting(s) failed: this adapter cannot "
                                                     "drive the terminals reliably\n");
  return failures == 0 ? 0 : 1;
}

}  // namespace mvcomm::cli

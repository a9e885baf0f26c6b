// File: platform/serial/serial_port.h
//
// The one seam between the terminal protocol and a serial line. The terminal
// class sees only SerialPort and PortOpener; the termios backend (real ports
// and pseudo-terminals) and the emulator's virtual line implement them.
//
// Every operation returns 0 on success or an errno value on failure, so the
// caller can report the operating system's own error number and text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/clock.h"

namespace mvcomm::serial {

enum class Parity : std::uint8_t { kNone, kOdd, kEven, kMark, kSpace };

enum class StopBits : std::uint8_t { kOne, kOnePointFive, kTwo };

// Line settings of one port: what a "COM1:2400,S,8,1" mode string describes,
// with the bit rate as actually set (2450, 4937, 10416, 15625, 2403 included).
struct LineSettings {
  std::uint32_t baud = 2400;       // bits per second, any positive rate
  Parity parity = Parity::kNone;   // mark and space select terminals by the ninth bit
  std::uint8_t dataBits = 8;       // 5 to 8
  StopBits stopBits = StopBits::kOne;

  friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

// How far the rate a port keeps may lie from the rate asked for.
inline constexpr double kRateTolerance = 0.03;

// True when `kept` lies within kRateTolerance of `wanted`.
inline bool rateWithinTolerance(std::uint32_t kept, std::uint32_t wanted) {
  const double diff = kept > wanted ? kept - wanted : wanted - kept;
  return wanted > 0 && diff <= kRateTolerance * wanted;
}

// Queue purges (PurgeComm's flags).
enum PurgeFlags : unsigned {
  kPurgeTxAbort = 1,
  kPurgeRxAbort = 2,
  kPurgeTxClear = 4,
  kPurgeRxClear = 8,
};

class SerialPort {
 public:
  virtual ~SerialPort() = default;

  // Applies `settings` once every byte written before has left the line
  // (drain first: a parity change must not catch the previous frame's bytes).
  // Reads the settings back and fails with EINVAL when the device dropped the
  // parity or the data bits, or keeps a rate more than kRateTolerance away
  // from the one asked for (a driver may report the rate its divisor makes,
  // 2400 for 2450; a UART hears a few percent off). Errors: errno of the
  // failed call.
  virtual int applySettings(const LineSettings& settings) = 0;

  // The settings currently in force.
  virtual int readSettings(LineSettings& settings) = 0;

  // Discards queued bytes. kPurgeTxClear first lets the bytes already written
  // leave the line (a Linux write returns while the byte is still queued;
  // the original platform's writes had finished on the wire), then drops
  // anything left; kPurgeRxClear drops received bytes not yet read.
  // Errors: errno.
  virtual int purge(unsigned flags) = 0;

  // Raises or lowers DTR. A device without modem lines (a pseudo-terminal)
  // succeeds and does nothing.
  virtual int setDtr(bool on) = 0;

  // Queues one byte for output. Errors: errno (EIO after a hang-up).
  virtual int writeByte(std::uint8_t byte) = 0;

  // Returns once every byte written has left the line (its stop bit sent).
  // Errors: errno.
  virtual int drain() = 0;

  // Reads what is already received, up to `capacity` bytes, without
  // blocking; `got` is 0 when nothing is waiting. A device that has gone
  // away (hang-up) fails with EIO rather than reading 0 for ever.
  virtual int read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got) = 0;

  // Blocks until a byte can be read or `deadline` passes (poll(2) on real
  // ports; a virtual line advances its clock instead). `readable` says which.
  virtual int waitReadable(Clock::time_point deadline, bool& readable) = 0;

  // Closes the port; later calls fail with EBADF.
  virtual int close() = 0;
};

// Opens ports by their "COMn" name.
class PortOpener {
 public:
  virtual ~PortOpener() = default;

  // Opens `name` ("COM1", "COM25") for exclusive reading and writing.
  // Errors: errno (2 ENOENT for a port that does not exist).
  virtual int open(const std::string& name, std::unique_ptr<SerialPort>& port) = 0;
};

}  // namespace mvcomm::serial

// File: platform/serial/termios_port.h
//
// The termios backend of SerialPort: real serial adapters and
// pseudo-terminals. Raw 8-bit mode (every byte 0x00..0xFF passes both ways
// unchanged), any bit rate through termios2/BOTHER, mark and space parity
// through CMSPAR, waits with poll(2) against a monotonic deadline.
//
// Order of operations on the line (a Linux write returns while the byte is
// still queued):
//
//   write ... drain -> change settings     allowed
//   write ... drain -> purge transmit      allowed
//   write ... drain -> DTR change          allowed
//   write ... change settings              FORBIDDEN: the queued bytes would
//                                          leave with the new parity or rate
#pragma once

#include <memory>
#include <string>

#include "platform/serial/serial_port.h"

namespace mvcomm::serial {

class TermiosPort final : public SerialPort {
 public:
  // Opens `path` exclusively in raw mode. Returns 0 or errno (ENOENT for a
  // missing device, ENOTTY for something that is not a terminal, EBUSY when
  // another process holds it).
  static int open(const std::string& path, std::unique_ptr<SerialPort>& port);

  ~TermiosPort() override;

  int applySettings(const LineSettings& settings) override;
  int readSettings(LineSettings& settings) override;
  int purge(unsigned flags) override;
  int setDtr(bool on) override;
  int writeByte(std::uint8_t byte) override;
  int drain() override;
  int read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got) override;
  int waitReadable(Clock::time_point deadline, bool& readable) override;
  int close() override;

 private:
  TermiosPort(int fd, bool pty) : fd_(fd), pty_(pty) {}
  int hungUpCheck();  // EIO once the other end is gone, else 0

  int fd_;           // open descriptor, -1 after close()
  bool pty_;         // a pseudo-terminal slave: reads PARENB back cleared
  bool hungUp_ = false;  // the device went away; every later call fails with EIO
};

// Opens "COMn" through resolvePortName and TermiosPort::open.
class TermiosPortOpener final : public PortOpener {
 public:
  int open(const std::string& name, std::unique_ptr<SerialPort>& port) override;
};

}  // namespace mvcomm::serial

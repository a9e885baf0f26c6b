// File: emulator/stream_server.h
//
// Runs the emulated terminals on a real byte stream in real time, such as
// the master side of a pseudo-terminal whose slave a host program opened.
// Bytes are heard as they are read, with the parity and rate the host has
// set at that moment; replies go out byte by byte at their wire times. The
// same Emulator model serves here and on the virtual line.
//
//   host program -- pty slave == pty master -- StreamLink -- StreamServer -- Emulator
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>

#include "emulator/emulator.h"
#include "platform/clock.h"
#include "platform/serial/serial_port.h"

namespace mvcomm::emulator {

// The terminals' end of the stream. Every call returns 0 or an errno value.
class StreamLink {
 public:
  virtual ~StreamLink() = default;

  // The parity and rate the host has set on its side now (a pty master can
  // read the slave's settings).
  virtual int hostSettings(serial::LineSettings& settings) = 0;

  // Reads what has arrived, without blocking; `got` 0 when nothing has.
  virtual int read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got) = 0;

  // Sends one byte toward the host.
  virtual int write(std::uint8_t byte) = 0;

  // Blocks until a byte can be read or `deadline` passes.
  virtual int waitReadable(Clock::time_point deadline, bool& readable) = 0;
};

enum class ServeEnd {
  kTimeUp,      // `until` passed
  kVanished,    // a vanish fault: the caller should hang the line up
  kLinkError,   // the link failed; `error` holds its errno
};

class StreamServer {
 public:
  StreamServer(Emulator& emulator, StreamLink& link, Clock& clock)
      : emulator_(emulator), link_(link), clock_(clock) {}

  // Serves until `until`. Errors: kLinkError with the link's errno in `error`.
  ServeEnd serveUntil(Clock::time_point until, int& error);

  // Bytes heard and sent so far.
  std::size_t heard() const { return heard_; }
  std::size_t sent() const { return sent_; }

 private:
  struct Outgoing {
    std::uint8_t value;
    std::uint32_t baud;   // the terminal's rate; the host hears garbage at another
    bool vanishAfter;     // the device disappears once this byte is out
    bool marker = false;  // no byte: only the vanishing
  };

  void schedule(const Transmission& reply, Clock::time_point heardAt);

  Emulator& emulator_;
  StreamLink& link_;
  Clock& clock_;
  std::multimap<Clock::time_point, Outgoing> out_;  // by the time the byte is due
  std::size_t heard_ = 0;
  std::size_t sent_ = 0;
};

}  // namespace mvcomm::emulator

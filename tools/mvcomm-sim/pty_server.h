// File: tools/mvcomm-sim/pty_server.h
//
// The emulator on a pseudo-terminal, in real time. The host opens the
// slave; the simulator reads the host's bytes on the master, asks the pty
// which rate and parity were in force (pty_settings.h) and feeds each byte
// to the emulator, then writes the replies back after their turnaround.
//
// A pty is not a wire:
// - Parity is a setting, not a property of each byte. The simulator reads
//   as soon as bytes arrive and takes the setting in force then; the host
//   pauses 8 ms after each frame before it switches parity, which is what
//   lets a mark-parity address be told from the space-parity bytes around
//   it. A host that switches sooner, or a machine too loaded to run the
//   simulator within those 8 ms, can make an address byte look like data
//   (the simulator asks for a real-time priority to avoid the latter).
// - No wire time: replies arrive at once after the turnaround (pauses that
//   a fault asks for are kept). The turnaround matters: the host purges its
//   receive queue after sending, so an instant reply would be lost.
// - No modem lines: DTR changes are not seen (the host's ioctl fails and
//   our termios backend treats that as a device without DTR).
// A reply is garbled, as on a wire, when the host listens at another rate
// than the terminal talks at.
#pragma once

#include <csignal>
#include <cstdint>
#include <deque>
#include <ostream>
#include <string>
#include <vector>

#include "emulator/emulator.h"
#include "platform/clock.h"
#include "platform/serial/serial_port.h"

namespace mvcomm::sim {

class PtyServer {
 public:
  PtyServer(emulator::Emulator& emulator, std::ostream* log);
  ~PtyServer();
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  // Creates the pty (raw, 2400 baud). Returns 0 or errno.
  int open();
  const std::string& slavePath() const { return slavePath_; }

  // Serves until `stop` becomes non-zero or a terminal's fault hangs up
  // the line (the master is then closed). Returns 0 or errno.
  int serve(const volatile std::sig_atomic_t& stop);

 private:
  struct Outgoing {
    Clock::time_point at;             // when the bytes may leave
    std::vector<std::uint8_t> bytes;
    std::uint32_t baud = 0;           // the sender's rate
    std::uint16_t from = 0;
    bool hangUpAfter = false;         // the line goes dead once they are out
  };

  int onReadable(Clock::time_point now);
  void schedule(const emulator::Transmission& tx, Clock::time_point heardAt);
  int sendDue(Clock::time_point now, bool& hungUp);
  void logLine(const std::string& text);
  // -v: host bytes are logged one line per run of equal settings, not per read.
  void logHostBytes(const std::uint8_t* bytes, std::size_t n, const serial::LineSettings& s);
  void flushHostLog();

  emulator::Emulator& emulator_;
  std::ostream* log_;
  int master_ = -1;
  int slave_ = -1;                 // held open so the master never sees a hang-up
  std::string slavePath_;
  std::deque<Outgoing> queue_;     // in time order
  std::vector<std::uint8_t> writing_;   // bytes of a reply the pty has not taken yet
  bool hangUpAfterWriting_ = false;
  Clock::time_point start_;
  std::vector<std::uint8_t> hostLog_;        // host bytes not yet logged
  serial::LineSettings hostLogSettings_;
  Clock::time_point hostLogAt_{};
};

}  // namespace mvcomm::sim

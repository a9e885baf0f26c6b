// File: emulator/virtual_line.h
//
// A serial line in virtual time between the host (through the SerialPort and
// PortOpener seams) and the emulated terminals. Every byte travels with the
// parity and rate it was sent with and takes its wire time (11 bits at that
// rate); the clock jumps from one event to the next instead of waiting, so a
// 5000 ms time-out costs nothing while the host runs its real algorithm.
//
//   host write ---(wire time)---> every terminal hears it ---(turnaround,
//   wire time per byte)---> host receive queue (garbled when the host
//   listens at another rate)
//
// It logs every host frame (bytes, settings, DTR, times) so tests can check
// each one byte for byte, and every byte that reached the host.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "emulator/emulator.h"
#include "emulator/line_byte.h"
#include "platform/clock.h"
#include "platform/serial/serial_port.h"

namespace mvcomm::emulator {

// One frame the host sent: bytes written after a transmit purge (the start
// of every send) with unchanged settings and DTR.
struct HostFrame {
  std::vector<std::uint8_t> bytes;
  serial::LineSettings settings;   // parity and rate they went out with
  bool dtr = false;                // DTR while they were written
  Clock::time_point start{};       // first bit on the wire
  Clock::time_point end{};         // last stop bit
};

// One byte that reached the host's side of the line.
struct HostArrival {
  Clock::time_point at{};
  std::uint8_t value = 0;    // as received (garbled when the rates differ)
  bool garbled = false;
  std::uint16_t from = 0;    // sending terminal
};

struct DtrChange {
  Clock::time_point at{};
  bool on = false;
};

struct SettingsChange {
  Clock::time_point at{};
  serial::LineSettings settings;
};

class VirtualLine {
 public:
  // `portName` is the name the host opens ("COM1").
  explicit VirtualLine(Emulator& emulator, std::string portName = "COM1");
  ~VirtualLine();
  VirtualLine(const VirtualLine&) = delete;
  VirtualLine& operator=(const VirtualLine&) = delete;

  // The clock to give the host: sleeping on it runs the line.
  Clock& clock();
  // The opener to give the host.
  serial::PortOpener& opener();

  Clock::time_point now() const { return now_; }
  // Runs every event up to `t` and sets the clock there (never backwards).
  void runUntil(Clock::time_point t);

  // --- Logs -----------------------------------------------------------------
  const std::vector<HostFrame>& hostFrames() const { return frames_; }
  const std::vector<HostArrival>& arrivals() const { return arrivals_; }
  const std::vector<DtrChange>& dtrChanges() const { return dtrChanges_; }
  const std::vector<SettingsChange>& settingsChanges() const { return settingsChanges_; }
  void clearLogs();

  // --- The device -----------------------------------------------------------
  bool portOpen() const { return openPort_ != 0; }
  int opens() const { return opens_; }
  const serial::LineSettings& hostSettings() const { return settings_; }
  bool dtr() const { return dtr_; }
  // The next open fails with `error` (an errno value).
  void failNextOpen(int error) { failNextOpen_ = error; }
  // The device disappears now: calls on the open port fail with EIO, opens
  // fail with ENOENT, bytes in flight are lost. restore() plugs it back.
  void vanish();
  void restore() { vanished_ = false; }
  bool vanished() const { return vanished_; }
  // The host's adapter runs (and reads back) `kept(rate)` when asked for
  // `rate`, as drivers that report what their divisor makes; null: exact.
  void setKeptRate(std::function<std::uint32_t(std::uint32_t)> kept) { keptRate_ = std::move(kept); }

 private:
  class Port;
  class Opener;
  class VirtualClock;
  friend class Port;

  struct ToHost {
    std::uint8_t value;
    std::uint32_t baud;
    std::uint16_t from;
    bool vanishAfter;   // the device disappears once this byte is out
  };
  struct ToTerminals {
    Clock::time_point at;
    LineByte byte;
  };

  std::optional<Clock::time_point> nextEvent() const;
  void runNext();
  void schedule(const Transmission& reply, Clock::time_point heardAt);

  // Port operations (id: the port's number; stale ids get EBADF).
  int check(std::uint64_t id);
  int apply(std::uint64_t id, const serial::LineSettings& s);
  int purge(std::uint64_t id, unsigned flags);
  int setDtr(std::uint64_t id, bool on);
  int write(std::uint64_t id, std::uint8_t byte);
  int drain(std::uint64_t id);
  int read(std::uint64_t id, std::uint8_t* buffer, std::size_t capacity, std::size_t& got);
  int waitReadable(std::uint64_t id, Clock::time_point deadline, bool& readable);
  void close(std::uint64_t id);
  int open(const std::string& name, std::unique_ptr<serial::SerialPort>& port);

  Emulator& emulator_;
  std::string portName_;
  std::unique_ptr<VirtualClock> clock_;
  std::unique_ptr<Opener> opener_;

  Clock::time_point now_;
  Clock::time_point txEnd_;              // the host's transmitter is busy until then
  std::deque<ToTerminals> toTerminals_;  // in time order
  std::multimap<Clock::time_point, ToHost> toHost_;
  std::deque<std::uint8_t> rx_;          // received, not yet read by the host

  std::uint64_t openPort_ = 0;           // id of the open port, 0 when closed
  std::uint64_t nextPortId_ = 1;
  int opens_ = 0;
  int failNextOpen_ = 0;
  bool vanished_ = false;
  serial::LineSettings settings_;
  std::function<std::uint32_t(std::uint32_t)> keptRate_;
  bool dtr_ = false;
  bool frameBreak_ = true;               // the next written byte starts a frame

  std::vector<HostFrame> frames_;
  std::vector<HostArrival> arrivals_;
  std::vector<DtrChange> dtrChanges_;
  std::vector<SettingsChange> settingsChanges_;
};

// "02 A2 5D 19 59": bytes as spaced upper-case hex, for messages and logs.
std::string hex(std::span<const std::uint8_t> bytes);

}  // namespace mvcomm::emulator

// File: emulator/virtual_line.cpp
//
// Sections: the clock and port classes handed to the host; the event loop;
// the port operations; hex().
#include "emulator/virtual_line.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace mvcomm::emulator {

// --- Clock and port --------------------------------------------------------

class VirtualLine::VirtualClock final : public Clock {
 public:
  explicit VirtualClock(VirtualLine& line) : line_(line) {}
  time_point now() override { return line_.now(); }
  void sleepUntil(time_point deadline) override { line_.runUntil(deadline); }

 private:
  VirtualLine& line_;
};

class VirtualLine::Port final : public serial::SerialPort {
 public:
  Port(VirtualLine& line, std::uint64_t id) : line_(line), id_(id) {}
  ~Port() override { line_.close(id_); }

  int applySettings(const serial::LineSettings& s) override { return line_.apply(id_, s); }
  int readSettings(serial::LineSettings& s) override {
    if (int e = line_.check(id_)) return e;
    s = line_.settings_;
    return 0;
  }
  int purge(unsigned flags) override { return line_.purge(id_, flags); }
  int setDtr(bool on) override { return line_.setDtr(id_, on); }
  int writeByte(std::uint8_t byte) override { return line_.write(id_, byte); }
  int drain() override { return line_.drain(id_); }
  int read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got) override {
    return line_.read(id_, buffer, capacity, got);
  }
  int waitReadable(Clock::time_point deadline, bool& readable) override {
    return line_.waitReadable(id_, deadline, readable);
  }
  int close() override {
    if (line_.openPort_ != id_) return EBADF;
    line_.close(id_);
    return 0;
  }

 private:
  VirtualLine& line_;
  std::uint64_t id_;
};

class VirtualLine::Opener final : public serial::PortOpener {
 public:
  explicit Opener(VirtualLine& line) : line_(line) {}
  int open(const std::string& name, std::unique_ptr<serial::SerialPort>& port) override {
    return line_.open(name, port);
  }

 private:
  VirtualLine& line_;
};

VirtualLine::VirtualLine(Emulator& emulator, std::string portName)
    : emulator_(emulator),
      portName_(std::move(portName)),
      clock_(std::make_unique<VirtualClock>(*this)),
      opener_(std::make_unique<Opener>(*this)),
      // Start away from zero so that no time is special.
      now_(std::chrono::hours(1)),
      txEnd_(now_) {}

VirtualLine::~VirtualLine() = default;

Clock& VirtualLine::clock() { return *clock_; }
serial::PortOpener& VirtualLine::opener() { return *opener_; }

void VirtualLine::clearLogs() {
  frames_.clear();
  arrivals_.clear();
  dtrChanges_.clear();
  settingsChanges_.clear();
}

void VirtualLine::vanish() {
  // What was received before stays readable; nothing more moves.
  vanished_ = true;
  toTerminals_.clear();
  toHost_.clear();
}

// --- Event loop ------------------------------------------------------------

std::optional<Clock::time_point> VirtualLine::nextEvent() const {
  std::optional<Clock::time_point> next;
  if (!toTerminals_.empty()) next = toTerminals_.front().at;
  if (!toHost_.empty() && (!next || toHost_.begin()->first < *next)) next = toHost_.begin()->first;
  return next;
}

void VirtualLine::runNext() {
  const bool hostSide =
      !toHost_.empty() && (toTerminals_.empty() || toHost_.begin()->first < toTerminals_.front().at);
  if (hostSide) {
    const auto [at, b] = *toHost_.begin();
    toHost_.erase(toHost_.begin());
    now_ = std::max(now_, at);
    // A closed port receives nothing; the byte is lost on the line.
    if (openPort_ != 0) {
      const bool garbled = !ratesMatch(b.baud, settings_.baud);
      const std::uint8_t value = garbled ? garble(b.value) : b.value;
      rx_.push_back(value);
      arrivals_.push_back(HostArrival{at, value, garbled, b.from});
    }
    if (b.vanishAfter) vanish();
    return;
  }
  const ToTerminals heard = toTerminals_.front();
  toTerminals_.pop_front();
  now_ = std::max(now_, heard.at);
  std::vector<Transmission> replies;
  emulator_.hear(heard.byte, heard.at, replies);
  for (const Transmission& r : replies) schedule(r, heard.at);
}

void VirtualLine::schedule(const Transmission& reply, Clock::time_point heardAt) {
  Clock::time_point t = heardAt + reply.delay;
  const Clock::duration perByte = byteTime(reply.baud);
  std::size_t sent = 0;
  if (reply.vanishAfter && *reply.vanishAfter == 0) {
    // Gone before the first byte: mark it with an empty event by vanishing
    // right when the reply would have started.
    toHost_.emplace(t, ToHost{0, reply.baud, reply.terminal, true});
    return;
  }
  for (const Chunk& chunk : reply.chunks) {
    t += chunk.pauseBefore;
    for (std::uint8_t b : chunk.bytes) {
      t += perByte;
      ++sent;
      const bool last = reply.vanishAfter && sent == *reply.vanishAfter;
      toHost_.emplace(t, ToHost{b, reply.baud, reply.terminal, last});
      if (last) return;
    }
  }
}

void VirtualLine::runUntil(Clock::time_point t) {
  while (true) {
    const auto next = nextEvent();
    if (!next || *next > t) break;
    runNext();
  }
  now_ = std::max(now_, t);
}

// --- Port operations -------------------------------------------------------

int VirtualLine::check(std::uint64_t id) {
  if (openPort_ == 0 || openPort_ != id) return EBADF;
  if (vanished_) return EIO;
  return 0;
}

int VirtualLine::open(const std::string& name, std::unique_ptr<serial::SerialPort>& port) {
  if (failNextOpen_ != 0) {
    const int e = failNextOpen_;
    failNextOpen_ = 0;
    return e;
  }
  if (vanished_ || name != portName_) return ENOENT;
  if (openPort_ != 0) return EBUSY;
  // The handle first: a failed allocation leaves the line closed.
  auto opened = std::make_unique<Port>(*this, nextPortId_);
  openPort_ = nextPortId_++;
  ++opens_;
  rx_.clear();
  frameBreak_ = true;
  dtr_ = true;  // open() raises DTR
  port = std::move(opened);
  return 0;
}

void VirtualLine::close(std::uint64_t id) {
  if (openPort_ != id) return;
  // Bytes already queued still leave the line; nothing more is received.
  openPort_ = 0;
  rx_.clear();
  dtr_ = false;
}

int VirtualLine::apply(std::uint64_t id, const serial::LineSettings& s) {
  if (int e = check(id)) return e;
  if (s.baud == 0) return EINVAL;
  runUntil(txEnd_);  // the previous frame leaves with its own settings
  serial::LineSettings kept = s;
  if (keptRate_) kept.baud = keptRate_(s.baud);
  if (!(kept == settings_)) {
    frameBreak_ = true;
    settingsChanges_.push_back(SettingsChange{now_, kept});
  }
  settings_ = kept;
  return 0;
}

int VirtualLine::drain(std::uint64_t id) {
  if (int e = check(id)) return e;
  runUntil(txEnd_);
  return 0;
}

int VirtualLine::purge(std::uint64_t id, unsigned flags) {
  if (int e = check(id)) return e;
  runUntil(now_);
  if (flags & (serial::kPurgeTxClear | serial::kPurgeTxAbort)) {
    runUntil(txEnd_);
    frameBreak_ = true;
  }
  if (flags & (serial::kPurgeRxClear | serial::kPurgeRxAbort)) rx_.clear();
  return 0;
}

int VirtualLine::setDtr(std::uint64_t id, bool on) {
  if (int e = check(id)) return e;
  if (on != dtr_) {
    dtr_ = on;
    frameBreak_ = true;
    dtrChanges_.push_back(DtrChange{now_, on});
  }
  return 0;
}

int VirtualLine::write(std::uint64_t id, std::uint8_t byte) {
  if (int e = check(id)) return e;
  const Clock::time_point start = std::max(now_, txEnd_);
  const Clock::time_point end = start + byteTime(settings_.baud);
  txEnd_ = end;
  toTerminals_.push_back(ToTerminals{end, LineByte{byte, settings_.parity, settings_.baud}});
  if (frameBreak_ || frames_.empty()) {
    frames_.push_back(HostFrame{{}, settings_, dtr_, start, end});
    frameBreak_ = false;
  }
  frames_.back().bytes.push_back(byte);
  frames_.back().end = end;
  return 0;
}

int VirtualLine::read(std::uint64_t id, std::uint8_t* buffer, std::size_t capacity, std::size_t& got) {
  got = 0;
  if (openPort_ == 0 || openPort_ != id) return EBADF;
  if (!vanished_) runUntil(now_);
  if (vanished_ && rx_.empty()) return EIO;
  while (got < capacity && !rx_.empty()) {
    buffer[got++] = rx_.front();
    rx_.pop_front();
  }
  return 0;
}

int VirtualLine::waitReadable(std::uint64_t id, Clock::time_point deadline, bool& readable) {
  readable = false;
  if (int e = check(id)) {
    // A vanished device polls readable (hang-up); the read then fails.
    readable = e == EIO;
    return readable ? 0 : e;
  }
  runUntil(now_);
  while (rx_.empty() && !vanished_) {
    const auto next = nextEvent();
    if (!next || *next > deadline) break;
    runNext();
  }
  if (vanished_ || !rx_.empty()) {
    readable = true;
    return 0;
  }
  runUntil(deadline);
  readable = !rx_.empty();
  return 0;
}

// --- hex -------------------------------------------------------------------

std::string hex(std::span<const std::uint8_t> bytes) {
  std::string text;
  text.reserve(bytes.size() * 3);
  char cell[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(cell, sizeof cell, i == 0 ? "%02X" : " %02X", bytes[i]);
    text += cell;
  }
  return text;
}

}  // namespace mvcomm::emulator

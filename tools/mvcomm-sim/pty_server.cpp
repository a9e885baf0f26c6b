// File: tools/mvcomm-sim/pty_server.cpp
#include "tools/mvcomm-sim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "emulator/line_byte.h"
#include "emulator/virtual_line.h"
#include "platform/serial/mode_string.h"
#include "tools/mvcomm-sim/pty_settings.h"
#include "tools/mvcomm/trace_port.h"

namespace mvcomm::sim {

namespace {

Clock::time_point monotonicNow() { return MonotonicClock::instance().now(); }

std::string shortHex(const std::uint8_t* bytes, std::size_t n) {
  constexpr std::size_t kShown = 24;
  std::string text = emulator::hex(std::span<const std::uint8_t>(bytes, std::min(n, kShown)));
  if (n > kShown) text += " ... (" + std::to_string(n) + " bytes)";
  return text;
}

}  // namespace

PtyServer::PtyServer(emulator::Emulator& emulator, std::ostream* log)
    : emulator_(emulator), log_(log), start_(monotonicNow()) {}

PtyServer::~PtyServer() {
  if (master_ >= 0) ::close(master_);
  if (slave_ >= 0) ::close(slave_);
}

int PtyServer::open() {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (master_ < 0) return errno;
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return errno;
  char name[128];
  if (::ptsname_r(master_, name, sizeof name) != 0) return errno;
  slavePath_ = name;
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (slave_ < 0) return errno;
  return makeRaw(slave_);
}

void PtyServer::logLine(const std::string& text) {
  if (!log_) return;
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "[%10.3f] ",
                std::chrono::duration<double>(monotonicNow() - start_).count());
  *log_ << stamp << text << std::endl;
}

void PtyServer::logHostBytes(const std::uint8_t* bytes, std::size_t n,
                             const serial::LineSettings& s) {
  if (!log_) return;
  if (!hostLog_.empty() && !(s == hostLogSettings_)) flushHostLog();
  if (hostLog_.empty()) {
    hostLogSettings_ = s;
    hostLogAt_ = monotonicNow();
  }
  hostLog_.insert(hostLog_.end(), bytes, bytes + n);
}

void PtyServer::flushHostLog() {
  if (hostLog_.empty()) return;
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "[%10.3f] ",
                std::chrono::duration<double>(hostLogAt_ - start_).count());
  *log_ << stamp << "host > " << hostLogSettings_.baud << ' '
        << serial::parityLetter(hostLogSettings_.parity) << ' '
        << shortHex(hostLog_.data(), hostLog_.size()) << std::endl;
  hostLog_.clear();
}

void PtyServer::schedule(const emulator::Transmission& tx, Clock::time_point heardAt) {
  Clock::time_point at = heardAt + tx.delay;
  std::size_t sent = 0;
  for (const emulator::Chunk& chunk : tx.chunks) {
    at += chunk.pauseBefore;
    Outgoing o{at, chunk.bytes, tx.baud, tx.terminal, false};
    if (tx.vanishAfter && sent + o.bytes.size() >= *tx.vanishAfter) {
      o.bytes.resize(*tx.vanishAfter - sent);
      o.hangUpAfter = true;
    }
    sent += o.bytes.size();
    auto pos = std::upper_bound(queue_.begin(), queue_.end(), at,
                                [](Clock::time_point t, const Outgoing& q) { return t < q.at; });
    const bool last = o.hangUpAfter;
    queue_.insert(pos, std::move(o));
    if (last) break;
  }
}

int PtyServer::onReadable(Clock::time_point now) {
  std::uint8_t buffer[4096];
  ssize_t n = ::read(master_, buffer, sizeof buffer);
  if (n < 0) return errno == EAGAIN || errno == EINTR || errno == EIO ? 0 : errno;
  // The setting in force now is the best a pty can tell about these bytes.
  serial::LineSettings s;
  if (int rc = readPtySettings(master_, s)) return rc;
  logHostBytes(buffer, static_cast<std::size_t>(n), s);
  std::vector<emulator::Transmission> replies;
  for (ssize_t i = 0; i < n; ++i)
    emulator_.hear(emulator::LineByte{buffer[i], s.parity, s.baud}, now, replies);
  for (const auto& tx : replies) schedule(tx, now);
  return 0;
}

int PtyServer::sendDue(Clock::time_point now, bool& hungUp) {
  while (writing_.empty() && !queue_.empty() && queue_.front().at <= now) {
    Outgoing o = std::move(queue_.front());
    queue_.pop_front();
    serial::LineSettings host;
    if (int rc = readPtySettings(master_, host)) return rc;
    const bool garbled = !emulator::ratesMatch(o.baud, host.baud);
    flushHostLog();
    if (garbled)
      for (auto& b : o.bytes) b = emulator::garble(b);
    logLine("T" + std::to_string(o.from) + " < " + std::to_string(o.baud) +
            (garbled ? " (garbled at " + std::to_string(host.baud) + ") " : " ") +
            shortHex(o.bytes.data(), o.bytes.size()));
    writing_ = std::move(o.bytes);
    hangUpAfterWriting_ = o.hangUpAfter;
  }
  while (!writing_.empty()) {
    ssize_t n = ::write(master_, writing_.data(), writing_.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) return 0;   // the pty is full; poll for room
      return errno;
    }
    writing_.erase(writing_.begin(), writing_.begin() + n);
  }
  if (hangUpAfterWriting_) {
    flushHostLog();
    logLine("line hung up");
    ::close(master_);
    master_ = -1;
    hungUp = true;
  }
  return 0;
}

int PtyServer::serve(const volatile std::sig_atomic_t& stop) {
  while (!stop) {
    Clock::time_point now = monotonicNow();
    bool hungUp = false;
    if (int rc = sendDue(now, hungUp)) return rc;
    if (hungUp) return 0;
    int timeoutMs = -1;
    if (writing_.empty() && !queue_.empty()) {
      auto wait = std::chrono::ceil<std::chrono::milliseconds>(queue_.front().at - now);
      timeoutMs = static_cast<int>(std::max<std::int64_t>(0, wait.count()));
    }
    // A quiet line ends the logged run of host bytes.
    constexpr int kLogQuietMs = 5;   // below the host's 8 ms pause after a frame
    if (!hostLog_.empty() && (timeoutMs < 0 || timeoutMs > kLogQuietMs)) timeoutMs = kLogQuietMs;
    pollfd p{master_, static_cast<short>(POLLIN | (writing_.empty() ? 0 : POLLOUT)), 0};
    int ready = ::poll(&p, 1, timeoutMs);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (ready == 0) flushHostLog();
    if (ready > 0 && (p.revents & POLLIN)) {
      if (int rc = onReadable(monotonicNow())) return rc;
    }
  }
  flushHostLog();
  return 0;
}

}  // namespace mvcomm::sim

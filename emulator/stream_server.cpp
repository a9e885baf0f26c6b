// File: emulator/stream_server.cpp
#include "emulator/stream_server.h"

#include <algorithm>

namespace mvcomm::emulator {

void StreamServer::schedule(const Transmission& reply, Clock::time_point heardAt) {
  // A byte is due when its last bit would be on a real line, so the pacing
  // matches the virtual line's arrival times.
  Clock::time_point t = heardAt + reply.delay;
  if (reply.vanishAfter && *reply.vanishAfter == 0) {
    out_.emplace(t, Outgoing{0, reply.baud, true, true});
    return;
  }
  const Clock::duration perByte = byteTime(reply.baud);
  std::size_t n = 0;
  for (const Chunk& chunk : reply.chunks) {
    t += chunk.pauseBefore;
    for (std::uint8_t b : chunk.bytes) {
      t += perByte;
      ++n;
      const bool last = reply.vanishAfter && n == *reply.vanishAfter;
      out_.emplace(t, Outgoing{b, reply.baud, last});
      if (last) return;
    }
  }
}

ServeEnd StreamServer::serveUntil(Clock::time_point until, int& error) {
  error = 0;
  std::uint8_t buffer[512];
  while (true) {
    const Clock::time_point now = clock_.now();
    while (!out_.empty() && out_.begin()->first <= now) {
      const Outgoing o = out_.begin()->second;
      out_.erase(out_.begin());
      if (o.marker) return ServeEnd::kVanished;
      serial::LineSettings host;
      if ((error = link_.hostSettings(host)) != 0) return ServeEnd::kLinkError;
      const std::uint8_t value = ratesMatch(o.baud, host.baud) ? o.value : garble(o.value);
      if ((error = link_.write(value)) != 0) return ServeEnd::kLinkError;
      ++sent_;
      if (o.vanishAfter) return ServeEnd::kVanished;
    }
    if (now >= until) return ServeEnd::kTimeUp;
    const Clock::time_point next = out_.empty() ? until : std::min(until, out_.begin()->first);
    bool readable = false;
    if ((error = link_.waitReadable(next, readable)) != 0) return ServeEnd::kLinkError;
    if (!readable) continue;
    std::size_t got = 0;
    if ((error = link_.read(buffer, sizeof buffer, got)) != 0) return ServeEnd::kLinkError;
    if (got == 0) continue;
    serial::LineSettings host;
    if ((error = link_.hostSettings(host)) != 0) return ServeEnd::kLinkError;
    const Clock::time_point at = clock_.now();
    std::vector<Transmission> replies;
    for (std::size_t i = 0; i < got; ++i) {
      emulator_.hear(LineByte{buffer[i], host.parity, host.baud}, at, replies);
      ++heard_;
    }
    for (const Transmission& r : replies) schedule(r, at);
  }
}

}  // namespace mvcomm::emulator

// File: emulator/commands/baud_change.cpp
//
// AC: 02 AC 53 BC CRC. The terminal acknowledges at its current rate and
// then listens and talks only at the new one. An unknown code is refused.
#include <algorithm>

#include "emulator/terminal.h"
#include "emulator/wire.h"

namespace mvcomm::emulator {

std::optional<Transmission> Terminal::onBaudChange(Clock::time_point at) {
  const std::uint32_t next = wire::rateForBaudCode(frame_[3]);
  const auto fault = takeFault(Command::kBaudChange);
  if (next == 0) return reply(Command::kBaudChange, wire::naks(), fault, at);
  auto out = reply(Command::kBaudChange, wire::acks(), fault, at);
  // Switch only when the host will see the acknowledgement it waits for;
  // otherwise it retries at the old rate.
  if (out) {
    const auto sent = out->bytes();
    if (sent.size() >= 5 && std::all_of(sent.begin(), sent.begin() + 5, [](std::uint8_t b) { return b == wire::kAck; }))
      rate_ = next;
  }
  return out;
}

}  // namespace mvcomm::emulator

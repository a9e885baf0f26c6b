// File: emulator/commands/clear_records.cpp
//
// A6: 02 A6 59 59 59 59 59 03 CRC. Erases every record and acknowledges; a
// terminal that answers NAK or nothing keeps them.
#include "emulator/terminal.h"
#include "emulator/wire.h"

namespace mvcomm::emulator {

std::optional<Transmission> Terminal::onClear(Clock::time_point at) {
  for (std::size_t i = 3; i < 7; ++i)
    if (frame_[i] != 0x59) return reply(Command::kClear, wire::naks(), std::nullopt, at);
  const auto fault = takeFault(Command::kClear);
  if (!fault || (fault->kind != FaultKind::kNak && fault->kind != FaultKind::kSilence &&
                 fault->kind != FaultKind::kGarbage))
    records_.clear();
  return reply(Command::kClear, wire::acks(), fault, at);
}

}  // namespace mvcomm::emulator

// File: emulator/commands/set_clock.cpp
//
// A1: 02 A1 5E YY MO DD HH MI 03 CRC. The clock is set to that minute with
// seconds 0; a date or time the clock cannot hold is refused with NAKs.
#include "emulator/terminal.h"
#include "emulator/wire.h"

namespace mvcomm::emulator {

std::optional<Transmission> Terminal::onSetClock(Clock::time_point at) {
  CivilDateTime value;
  value.date = CivilDate{1900 + frame_[3], frame_[4], frame_[5]};
  value.hour = frame_[6];
  value.minute = frame_[7];
  const auto fault = takeFault(Command::kSetClock);
  if (!value.valid()) return reply(Command::kSetClock, wire::naks(), fault, at);
  // A clock that answers NAK or nothing has not taken the value.
  if (!fault || (fault->kind != FaultKind::kNak && fault->kind != FaultKind::kSilence &&
                 fault->kind != FaultKind::kGarbage))
    setClock(value, at);
  return reply(Command::kSetClock, wire::acks(), fault, at);
}

}  // namespace mvcomm::emulator

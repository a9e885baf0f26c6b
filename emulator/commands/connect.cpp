// File: emulator/commands/connect.cpp
//
// The answer to a complete address confirmation: 111 bytes, five ACKs and
// a 106-byte frame about the terminal (number, model, clock, counts). The
// host looks only at the length and the ACKs.
#include <algorithm>

#include "emulator/terminal.h"
#include "emulator/wire.h"

namespace mvcomm::emulator {

std::optional<Transmission> Terminal::onConnect(Clock::time_point at) {
  std::vector<std::uint8_t> bytes = wire::acks();
  bytes.insert(bytes.end(), {profile_.startByte, 0xC0, 0x3F, wire::hi(number_), wire::lo(number_),
                             static_cast<std::uint8_t>(newModel() ? 1 : 2)});
  const CivilDateTime now = clockAt(at).value_or(CivilDateTime{});
  bytes.insert(bytes.end(), {static_cast<std::uint8_t>(now.date.year - 1900),
                             static_cast<std::uint8_t>(now.date.month),
                             static_cast<std::uint8_t>(now.date.day), static_cast<std::uint8_t>(now.hour),
                             static_cast<std::uint8_t>(now.minute), static_cast<std::uint8_t>(now.second)});
  const auto count = static_cast<std::uint16_t>(std::min<std::size_t>(records_.size(), 0xFFFF));
  bytes.insert(bytes.end(), {wire::hi(count), wire::lo(count)});
  bytes.resize(wire::kConnectReplySize - 3, 0x00);
  bytes.push_back(wire::kEtx);
  // The check covers the frame after the ACKs, as on the data frames.
  std::vector<std::uint8_t> frame(bytes.begin() + 5, bytes.end());
  appendCheck(frame, FrameParts{3, frame.size() - 4, true}, profile_.crc);
  bytes.insert(bytes.end(), frame.end() - 2, frame.end());

  const auto fault = takeFault(Command::kConnect, {FaultKind::kConnectLength});
  if (fault && fault->kind == FaultKind::kConnectLength)
    bytes.resize(fault->bytes.value_or(wire::kConnectReplySize - 1), 0x00);
  return reply(Command::kConnect, std::move(bytes), fault, at);
}

}  // namespace mvcomm::emulator

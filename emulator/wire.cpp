// File: emulator/wire.cpp
#include "emulator/wire.h"

namespace mvcomm::emulator::wire {

namespace {

std::vector<std::uint8_t> dataFrame(std::uint8_t control, std::span<const std::uint8_t> payload, bool last,
                                    const FrameStyle& style) {
  std::vector<std::uint8_t> frame;
  frame.reserve(payload.size() + 6);
  frame.push_back(style.start);
  frame.push_back(control);
  frame.push_back(style.thirdByteComplement ? static_cast<std::uint8_t>(~control) : 0x00);
  frame.insert(frame.end(), payload.begin(), payload.end());
  frame.push_back(last ? kEot : kEtx);
  appendCheck(frame, FrameParts{3, payload.size(), true}, style.crc);
  return frame;
}

}  // namespace

std::uint16_t crc16(std::span<const std::uint8_t> bytes) { return crcOf(CrcAlgorithm::kArc, bytes); }

void appendCrc(std::vector<std::uint8_t>& frame) {
  const std::uint16_t crc = crc16(frame);
  frame.push_back(lo(crc));
  frame.push_back(hi(crc));
}

bool crcMatches(std::span<const std::uint8_t> frame) {
  if (frame.size() < 2) return false;
  const std::uint16_t crc = crc16(frame.first(frame.size() - 2));
  return frame[frame.size() - 2] == lo(crc) && frame[frame.size() - 1] == hi(crc);
}

std::uint32_t rateForBaudCode(std::uint8_t code) {
  switch (code) {
    case 0xEF: return 2450;
    case 0xF7: return 4937;
    case 0xFC: return 10416;
    case 0xFD: return 15625;
    default: return 0;
  }
}

std::vector<std::uint8_t> acks() { return std::vector<std::uint8_t>(5, kAck); }
std::vector<std::uint8_t> naks() { return std::vector<std::uint8_t>(5, kNak); }

std::vector<std::uint8_t> headerFrame(std::uint16_t count, bool last, const FrameStyle& style) {
  const std::uint8_t payload[2] = {hi(count), lo(count)};
  return dataFrame(kHeader, payload, last, style);
}

std::vector<std::uint8_t> dateFrame(const CivilDate& date, bool last, const FrameStyle& style) {
  const std::uint8_t payload[3] = {static_cast<std::uint8_t>(date.year - 1900),
                                   static_cast<std::uint8_t>(date.month),
                                   static_cast<std::uint8_t>(date.day)};
  return dataFrame(kDate, payload, last, style);
}

std::vector<std::uint8_t> recordFrame(std::span<const std::uint8_t> payload, bool last, const FrameStyle& style) {
  return dataFrame(static_cast<std::uint8_t>(payload.size()), payload, last, style);
}

}  // namespace mvcomm::emulator::wire

// File: emulator/wire.cpp
#include "emulator/wire.h"

#include <array>

namespace mvcomm::emulator::wire {

namespace {

constexpr std::array<std::uint16_t, 256> makeTable() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned crc = i;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    table[i] = static_cast<std::uint16_t>(crc);
  }
  return table;
}

constexpr std::array<std::uint16_t, 256> kTable = makeTable();

std::vector<std::uint8_t> dataFrame(std::uint8_t control, std::span<const std::uint8_t> payload,
                                    bool last) {
  std::vector<std::uint8_t> frame;
  frame.reserve(payload.size() + 6);
  frame.push_back(kStx);
  frame.push_back(control);
  frame.push_back(static_cast<std::uint8_t>(~control));
  frame.insert(frame.end(), payload.begin(), payload.end());
  frame.push_back(last ? kEot : kEtx);
  appendCrc(frame);
  return frame;
}

}  // namespace

std::uint16_t crc16(std::span<const std::uint8_t> bytes) {
  std::uint16_t crc = 0;
  for (std::uint8_t b : bytes) crc = static_cast<std::uint16_t>((crc >> 8) ^ kTable[(crc ^ b) & 0xFF]);
  return crc;
}

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

std::vector<std::uint8_t> headerFrame(std::uint16_t count, bool last) {
  const std::uint8_t payload[2] = {hi(count), lo(count)};
  return dataFrame(kHeader, payload, last);
}

std::vector<std::uint8_t> dateFrame(const CivilDate& date, bool last) {
  const std::uint8_t payload[3] = {static_cast<std::uint8_t>(date.year - 1900),
                                   static_cast<std::uint8_t>(date.month),
                                   static_cast<std::uint8_t>(date.day)};
  return dataFrame(kDate, payload, last);
}

std::vector<std::uint8_t> recordFrame(std::span<const std::uint8_t> payload, bool last) {
  return dataFrame(static_cast<std::uint8_t>(payload.size()), payload, last);
}

}  // namespace mvcomm::emulator::wire

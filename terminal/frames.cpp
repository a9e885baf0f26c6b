// File: terminal/frames.cpp
//
// The CRC (table-driven, eight bytes at a time) and the frame builders.
#include "terminal/frames.h"

namespace mvcomm::terminal {

namespace {

constexpr std::array<std::uint16_t, 256> makeCrcTable() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    std::uint16_t crc = static_cast<std::uint16_t>(i);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : static_cast<std::uint16_t>(crc >> 1);
    }
    table[i] = crc;
  }
  return table;
}

constexpr std::array<std::uint16_t, 256> kCrcTable = makeCrcTable();
static_assert(kCrcTable[1] == 0xC0C1);

// Slicing by 8: table k gives the CRC of byte i followed by k zero bytes,
// so eight bytes take eight independent lookups instead of a chain of
// eight. Received streams are checked frame by frame, up to 150000 bytes.
constexpr std::array<std::array<std::uint16_t, 256>, 8> makeSliceTables() {
  std::array<std::array<std::uint16_t, 256>, 8> t{};
  t[0] = makeCrcTable();
  for (std::size_t k = 1; k < 8; ++k) {
    for (unsigned i = 0; i < 256; ++i) {
      const std::uint16_t prev = t[k - 1][i];
      t[k][i] = static_cast<std::uint16_t>((prev >> 8) ^ t[0][prev & 0xFF]);
    }
  }
  return t;
}

constexpr std::array<std::array<std::uint16_t, 256>, 8> kSlices = makeSliceTables();

void appendDate(Frame& frame, const Date& date) {
  frame.push_back(static_cast<std::uint8_t>(date.year - 1900));
  frame.push_back(static_cast<std::uint8_t>(date.month));
  frame.push_back(static_cast<std::uint8_t>(date.day));
}

}  // namespace

std::uint16_t crc16(std::span<const std::uint8_t> bytes) {
  std::uint16_t crc = 0;
  const std::uint8_t* p = bytes.data();
  std::size_t n = bytes.size();
  for (; n >= 8; n -= 8, p += 8) {
    const unsigned x = crc ^ (p[0] | p[1] << 8);
    crc = static_cast<std::uint16_t>(kSlices[7][x & 0xFF] ^ kSlices[6][x >> 8] ^ kSlices[5][p[2]] ^
                                     kSlices[4][p[3]] ^ kSlices[3][p[4]] ^ kSlices[2][p[5]] ^
                                     kSlices[1][p[6]] ^ kSlices[0][p[7]]);
  }
  for (; n > 0; --n, ++p) crc = static_cast<std::uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ *p) & 0xFF]);
  return crc;
}

std::array<std::uint8_t, 2> crcBytes(std::span<const std::uint8_t> bytes) {
  const std::uint16_t crc = crc16(bytes);
  return {static_cast<std::uint8_t>(crc & 0xFF), static_cast<std::uint8_t>(crc >> 8)};
}

void appendCrc(Frame& frame) {
  const std::array<std::uint8_t, 2> crc = crcBytes(frame);
  frame.insert(frame.end(), crc.begin(), crc.end());
}

std::uint32_t actualBaud(std::int32_t nominal) {
  switch (nominal) {
    case 0: return 2400;
    case 2400: return 2450;
    case 4800: return 4937;
    case 9600: return 10416;
    case 14400: return 15625;
    default: return 2403;
  }
}

std::uint8_t baudCode(std::int32_t nominal) {
  switch (nominal) {
    case 4800: return 0xF7;
    case 9600: return 0xFC;
    case 14400: return 0xFD;
    default: return 0xEF;
  }
}

Frame commandA2Frame() {
  Frame f{kStx, kCmdHello, 0x5D};
  appendCrc(f);
  return f;
}

Frame addressFrame(std::uint16_t machine) { return {kStx, machineHi(machine), machineLo(machine)}; }

Frame addressConfirmationFrame(std::uint16_t machine) {
  std::uint16_t c = inverse16(machine);
  Frame f{machineHi(c), machineLo(c)};
  for (int i = 0; i < 20; ++i) f.insert(f.end(), {0x0A, 0x05, 0xA5, 0x5A, 0xFF});
  f.push_back(kEtx);
  appendCrc(f);
  return f;
}

Frame setClockFrame(const DateTime& clock) {
  Frame f{kStx, kCmdSetClock, 0x5E};
  appendDate(f, clock.date);
  f.push_back(static_cast<std::uint8_t>(clock.hour));
  f.push_back(static_cast<std::uint8_t>(clock.minute));
  f.push_back(kEtx);
  appendCrc(f);
  return f;
}

Frame baudChangeFrame(std::int32_t nominal) {
  Frame f{kStx, kCmdBaudChange, 0x53, baudCode(nominal)};
  appendCrc(f);
  return f;
}

Frame readRecordsFrame(bool newModel, const Date& first, const Date& second) {
  // The new-model command's third byte is 0x55, not the complement of 0xBE.
  Frame f{kStx, newModel ? kCmdReadNew : kCmdReadOld, 0x55};
  appendDate(f, first);
  f.push_back(0x20);
  appendDate(f, second);
  f.push_back(kEtx);
  appendCrc(f);
  return f;
}

Frame clearRecordsFrame() {
  Frame f{kStx, kCmdClear, 0x59, 0x59, 0x59, 0x59, 0x59, kEtx};
  appendCrc(f);
  return f;
}

Frame tableAddressFrame(std::uint16_t machine) { return {machineHi(machine), machineLo(machine), 0x00}; }

Frame tableOpenFrame() { return {kCmdTableOpen, 0x00}; }

Frame readBlockFrame(std::int32_t n) {
  std::uint16_t a1 = blockA1(n);
  std::uint16_t a2 = blockA2(n);
  Frame f{kStx, kCmdReadBlock, machineHi(a1), machineLo(a1), machineHi(a2), machineLo(a2)};
  appendCrc(f);
  return f;
}

Frame writeBlockFrame(std::int32_t n, std::span<const std::uint8_t> data) {
  std::uint16_t a1 = blockA1(n);
  std::uint16_t a2 = blockA2(n);
  Frame f{kStx, kCmdWriteBlock, machineHi(a1), machineLo(a1), machineHi(a2), machineLo(a2)};
  for (std::size_t i = 0; i < kBlockDataSize; ++i) f.push_back(i < data.size() ? data[i] : 0);
  appendCrc(f);
  return f;
}

Frame ackFrame() { return Frame(kAckFrameSize, kAck); }

Frame rejectFrame() { return Frame(kAckFrameSize, kNak); }

bool beginsWithAcks(std::span<const std::uint8_t> reply) {
  if (reply.size() < kAckFrameSize) return false;
  for (std::size_t i = 0; i < kAckFrameSize; ++i) {
    if (reply[i] != kAck) return false;
  }
  return true;
}

std::array<std::uint8_t, kRecordSize> encodeRecord(const WireRecord& record) {
  return {static_cast<std::uint8_t>(record.employeeid >> 8),
          static_cast<std::uint8_t>(record.employeeid & 0xFF),
          static_cast<std::uint8_t>(((record.workclass - 1) & 0x07) << 5 | (record.hour & 0x1F)),
          static_cast<std::uint8_t>(record.minute & 0x3F)};
}

WireRecord decodeRecord(std::span<const std::uint8_t> bytes) {
  WireRecord r;
  r.employeeid = static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
  r.workclass = static_cast<std::uint8_t>((bytes[2] >> 5) + 1);
  r.hour = static_cast<std::uint8_t>(bytes[2] & 0x1F);
  r.minute = static_cast<std::uint8_t>(bytes[3] & 0x3F);
  return r;
}

Frame dataFrame(std::uint8_t kind, std::span<const std::uint8_t> payload, bool last) {
  Frame f;
  f.reserve(payload.size() + 6);
  f.push_back(kStx);
  f.push_back(kind);
  f.push_back(0x00);
  for (std::uint8_t b : payload) f.push_back(b);
  f.push_back(last ? kEot : kEtx);
  appendCrc(f);
  return f;
}

}  // namespace mvcomm::terminal

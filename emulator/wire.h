// File: emulator/wire.h
//
// The bytes of the terminal protocol as the terminal side builds and checks
// them: control characters, the CRC, the host frames a terminal recognises
// and the data frames it sends (header, date, records, table blocks).
//
// Data frame: start byte, control byte K, a third byte, L payload bytes,
// ETX (EOT in the last one), two check bytes. K = 0xB1 header (L 2), 0xBB
// date (L 3), anything else records (L = K, K / 4 records of 4 bytes). By
// default (FrameStyle{}) the start byte is STX, the third byte 0x00 (as in
// the protocol's own example) and the check CRC-16/ARC over the frame, low
// byte first; a device profile may choose otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "emulator/civil_time.h"
#include "emulator/crc_form.h"

namespace mvcomm::emulator::wire {

inline constexpr std::uint8_t kStx = 0x02;
inline constexpr std::uint8_t kEtx = 0x03;
inline constexpr std::uint8_t kEot = 0x04;
inline constexpr std::uint8_t kAck = 0x06;
inline constexpr std::uint8_t kNak = 0x15;

// Command bytes (second byte of a host frame).
inline constexpr std::uint8_t kCmdSetClock = 0xA1;
inline constexpr std::uint8_t kCmdSession = 0xA2;
inline constexpr std::uint8_t kCmdClear = 0xA6;
inline constexpr std::uint8_t kCmdReadOld = 0xAA;
inline constexpr std::uint8_t kCmdBaud = 0xAC;
inline constexpr std::uint8_t kCmdTableOpen = 0xB0;
inline constexpr std::uint8_t kCmdReadBlock = 0xBC;
inline constexpr std::uint8_t kCmdWriteBlock = 0xBD;
inline constexpr std::uint8_t kCmdReadNew = 0xBE;

// Data frame control bytes.
inline constexpr std::uint8_t kHeader = 0xB1;
inline constexpr std::uint8_t kDate = 0xBB;

// Table image geometry.
inline constexpr std::size_t kBlockBytes = 16;
inline constexpr std::size_t kMaxBlocks = 1092;
inline constexpr std::uint16_t kBlockBaseA1 = 0x7BFF;  // A1 = base + n
inline constexpr std::uint16_t kBlockBaseA2 = 0x7C00;  // A2 = base + n

// Filler group repeated 20 times in the address confirmation.
inline constexpr std::uint8_t kFiller[5] = {0x0A, 0x05, 0xA5, 0x5A, 0xFF};
inline constexpr std::size_t kConfirmationSize = 105;
inline constexpr std::size_t kConnectReplySize = 111;

// CRC-16/ARC (reflected 0x8005, initial 0, no final xor); 0xBB3D for "123456789".
std::uint16_t crc16(std::span<const std::uint8_t> bytes);

// Appends the CRC of everything in `frame`, low byte first.
void appendCrc(std::vector<std::uint8_t>& frame);

// True when the last two bytes are the CRC of the rest.
bool crcMatches(std::span<const std::uint8_t> frame);

// Baud code of the AC frame to the rate the terminal then runs at
// (0 for a code the terminal does not know).
std::uint32_t rateForBaudCode(std::uint8_t code);

// The 5-byte frames 06 x5 and 15 x5.
std::vector<std::uint8_t> acks();
std::vector<std::uint8_t> naks();

// How a terminal shapes the frames it sends.
struct FrameStyle {
  std::uint8_t start = kStx;    // first byte of data frames and block replies
  bool thirdByteComplement = false;  // a data frame's third byte: 0x00, or K's complement
  CrcForm crc{};                // the check bytes
};

// Data frames; `last` ends the frame with EOT instead of ETX.
std::vector<std::uint8_t> headerFrame(std::uint16_t count, bool last, const FrameStyle& style = {});
std::vector<std::uint8_t> dateFrame(const CivilDate& date, bool last, const FrameStyle& style = {});
std::vector<std::uint8_t> recordFrame(std::span<const std::uint8_t> payload, bool last,
                                      const FrameStyle& style = {});

// Two bytes, high first.
inline std::uint8_t hi(std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); }
inline std::uint8_t lo(std::uint16_t v) { return static_cast<std::uint8_t>(v & 0xFF); }

}  // namespace mvcomm::emulator::wire

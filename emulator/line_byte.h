// File: emulator/line_byte.h
//
// One byte as it travels on the terminal line: its value, the parity bit it
// was framed with and the bit rate it was sent at. Terminals tell addresses
// from data by the ninth (parity) bit, and a UART that listens at another
// rate than the sender's receives garbage, so both travel with the byte.
#pragma once

#include <chrono>
#include <cstdint>

#include "platform/clock.h"
#include "platform/serial/serial_port.h"

namespace mvcomm::emulator {

using serial::Parity;

struct LineByte {
  std::uint8_t value = 0;           // the eight data bits
  Parity parity = Parity::kSpace;   // how the ninth bit was framed
  std::uint32_t baud = 2450;        // bits per second it was sent at
};

// Bits on the wire per byte: start, 8 data, parity, stop.
inline constexpr int kBitsPerByte = 11;

// Wire time of one byte at `baud` (0 is treated as 1 bit per second).
inline Clock::duration byteTime(std::uint32_t baud) {
  const std::uint64_t rate = baud == 0 ? 1 : baud;
  return Clock::duration(static_cast<std::int64_t>(kBitsPerByte * 1'000'000'000ULL / rate));
}

// A UART samples in the middle of each bit; over 11 bits it survives a rate
// mismatch of a few percent (serial::kRateTolerance). The host's 2450 and
// 2403 both land on a 2400 terminal (2%), while 4937 is far from 2450.
inline bool ratesMatch(std::uint32_t sent, std::uint32_t listening) {
  return sent != 0 && serial::rateWithinTolerance(sent, listening);
}

// The ninth bit a 9-bit receiver sees: 1 marks an address byte.
inline bool ninthBit(const LineByte& b) {
  switch (b.parity) {
    case Parity::kMark: return true;
    case Parity::kSpace: return false;
    case Parity::kEven: return __builtin_parity(b.value) != 0;
    case Parity::kOdd: return __builtin_parity(b.value) == 0;
    case Parity::kNone: return true;  // the stop bit lands in the ninth bit's place
  }
  return false;
}

// What a receiver listening at the wrong rate makes of a byte: a different
// value, never the one sent (deterministic, so tests can predict it).
inline std::uint8_t garble(std::uint8_t value) {
  return static_cast<std::uint8_t>(value ^ 0xA5);
}

}  // namespace mvcomm::emulator

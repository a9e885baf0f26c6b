// File: emulator/record.h
//
// What a terminal stores: clock-in records (4 bytes each on the wire, under
// the date frame of their day) and the reference table of cards and
// employees (a raw image the host reads and writes in 16-byte blocks).
#pragma once

#include <array>
#include <cstdint>

#include "emulator/civil_time.h"

namespace mvcomm::emulator {

struct Record {
  CivilDate date;                 // day of the swipe; years 1900 to 2155
  std::uint16_t employeeId = 0;   // 0 to 65535
  std::uint8_t workClass = 1;     // 1 to 8
  std::uint8_t hour = 0;          // 5-bit field: 0 to 23, up to 31 from a faulty terminal
  std::uint8_t minute = 0;        // 6-bit field: 0 to 59, up to 63 from a faulty terminal

  friend bool operator==(const Record&, const Record&) = default;

  // False when a field does not fit its bits on the wire.
  bool encodable() const {
    return date.valid() && date.year >= 1900 && date.year <= 2155 && workClass >= 1 &&
           workClass <= 8 && hour <= 31 && minute <= 63;
  }

  // Employee high, employee low, class-1 in bits 7..5 with the hour in
  // bits 4..0, the minute in bits 5..0.
  std::array<std::uint8_t, 4> encode() const {
    return {static_cast<std::uint8_t>(employeeId >> 8),
            static_cast<std::uint8_t>(employeeId & 0xFF),
            static_cast<std::uint8_t>(((workClass - 1) & 7) << 5 | (hour & 0x1F)),
            static_cast<std::uint8_t>(minute & 0x3F)};
  }
};

struct ReferenceRow {
  std::uint16_t employeeId = 0;   // two bytes in the image, low first
  std::uint32_t cardId = 0;       // four bytes in the image, low first

  friend bool operator==(const ReferenceRow&, const ReferenceRow&) = default;
};

}  // namespace mvcomm::emulator

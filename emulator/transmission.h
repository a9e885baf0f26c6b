// File: emulator/transmission.h
//
// What a terminal sends back for what it heard: bytes in chunks with pauses
// between them, at the terminal's own rate, after its turnaround delay. The
// driver (the virtual line, or a real-time server on a pseudo-terminal) turns
// it into timed bytes; the model never waits itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/clock.h"

namespace mvcomm::emulator {

struct Chunk {
  Clock::duration pauseBefore{};      // line silence before the chunk's first byte
  std::vector<std::uint8_t> bytes;    // sent back to back
};

struct Transmission {
  std::uint16_t terminal = 0;                 // machine number of the sender
  std::uint32_t baud = 2450;                  // rate the bytes go out at
  Clock::duration delay{};                    // turnaround: end of the heard frame to the first bit
  std::vector<Chunk> chunks;                  // in order
  std::optional<std::size_t> vanishAfter;     // the device disappears after this many bytes

  std::size_t size() const {
    std::size_t n = 0;
    for (const Chunk& c : chunks) n += c.bytes.size();
    return n;
  }

  // All bytes, pauses dropped.
  std::vector<std::uint8_t> bytes() const {
    std::vector<std::uint8_t> all;
    for (const Chunk& c : chunks) all.insert(all.end(), c.bytes.begin(), c.bytes.end());
    return all;
  }

  // Line time from the first bit to the last, pauses included (delay excluded).
  Clock::duration duration() const;
};

}  // namespace mvcomm::emulator

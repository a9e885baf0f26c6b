// File: emulator/transmission.cpp
#include "emulator/transmission.h"

#include "emulator/line_byte.h"

namespace mvcomm::emulator {

Clock::duration Transmission::duration() const {
  Clock::duration total{};
  for (const Chunk& c : chunks)
    total += c.pauseBefore + byteTime(baud) * static_cast<std::int64_t>(c.bytes.size());
  return total;
}

}  // namespace mvcomm::emulator

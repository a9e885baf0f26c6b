// File: emulator/emulator.h
//
// Several terminals on one line: every byte the host sends reaches each of
// them, and each decides for itself whether it is addressed. This is the
// model that the virtual line (tests, virtual time) and a real-time server
// on a pseudo-terminal both drive: they feed it heard bytes with their
// timestamps and send back the transmissions it returns.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "emulator/line_byte.h"
#include "emulator/terminal.h"
#include "emulator/transmission.h"
#include "platform/clock.h"

namespace mvcomm::emulator {

class Emulator {
 public:
  // Adds terminal `number`, or returns the one already on the line.
  Terminal& addTerminal(std::uint16_t number);

  // The terminal with that number, or null.
  Terminal* find(std::uint16_t number);

  std::vector<Terminal*> terminals();

  // Feeds one host byte that arrived at `at` to every terminal and appends
  // the replies they start.
  void hear(const LineByte& byte, Clock::time_point at, std::vector<Transmission>& replies);

 private:
  std::vector<std::unique_ptr<Terminal>> terminals_;  // stable addresses
};

// Fills a terminal with `perDay` sample records on each of the `days` days
// ending at `lastDay`: employees 1001 upwards, work classes 1 to 4, times
// spread over the working day. Used by examples and the simulator.
void addSampleRecords(Terminal& terminal, const CivilDate& lastDay, int days, int perDay);

}  // namespace mvcomm::emulator

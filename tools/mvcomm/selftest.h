// File: tools/mvcomm/selftest.h
//
// `selftest`: can this adapter carry the terminal line? It applies each line
// setting the protocol uses (space and mark parity; 2400 and the odd rates
// 2450, 4937, 10416, 15625, 2403), reads each back, and reports what the
// device keeps: the rate read back and how far off it is. Some drivers
// silently drop mark/space parity or report the rate their divisor makes; a
// 16550 UART cannot make 15625 baud at all. A rate more than 3% off fails,
// more than 2% off warns. With `loopback` (TX wired to RX) a byte pattern
// is also sent and must come back unchanged at each setting.
#pragma once

#include <ostream>
#include <string>

#include "platform/clock.h"
#include "platform/serial/serial_port.h"

namespace mvcomm::cli {

// Returns the exit status: 0 every setting kept (and looped back; warnings
// allowed), 1 some setting failed.
int selftest(serial::SerialPort& port, Clock& clock, bool loopback, std::ostream& out);

}  // namespace mvcomm::cli

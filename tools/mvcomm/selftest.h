// File: tools/mvcomm/selftest.h
//
// `selftest`: can this adapter carry the terminal line? It applies each line
// setting the protocol uses (space and mark parity; 2400 and the odd rates
// 2450, 4937, 10416, 15625, 2403), reads each back, and reports which the
// device keeps. Some drivers silently drop mark/space parity or round odd
// rates; a 16550 UART cannot make 15625 baud at all. With `loopback` (TX
// wired to RX) a byte pattern is also sent and must come back unchanged at
// each setting.
#pragma once

#include <ostream>
#include <string>

#include "platform/clock.h"
#include "platform/serial/serial_port.h"

namespace mvcomm::cli {

// Returns the exit status: 0 every setting kept (and looped back), 1 the
// port could not be opened or some setting failed.
int selftest(serial::SerialPort& port, Clock& clock, bool loopback, std::ostream& out);

}  // namespace mvcomm::cli

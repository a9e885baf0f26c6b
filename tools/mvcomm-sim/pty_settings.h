// File: tools/mvcomm-sim/pty_settings.h
//
// The host's line settings as a pseudo-terminal shows them. A pty has no
// wire, but it keeps what the host asked for: TCGETS2 on the master returns
// the slave's rate (c_ospeed, BOTHER rates included) and CMSPAR / PARODD,
// so mark and space parity can be told apart. It always reads PARENB back
// cleared, so CMSPAR alone stands for "mark or space parity on".
//
// What a pty cannot carry: DTR (no modem lines), the time bytes take on
// the wire, and the parity of each byte (only the setting in force when the
// simulator looks; see pty_server.h).
#pragma once

#include "platform/serial/serial_port.h"

namespace mvcomm::sim {

// Returns 0 or errno.
int readPtySettings(int masterFd, serial::LineSettings& settings);

// Sets the pty to 2400 baud, 8 data bits, raw: every byte passes unchanged.
int makeRaw(int fd);

}  // namespace mvcomm::sim

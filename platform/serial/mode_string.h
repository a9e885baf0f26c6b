// File: platform/serial/mode_string.h
//
// Mode strings in the form the terminal class builds them:
// "COM1:2400,S,8,1" (port, baud, parity N/O/E/M/S, data bits, stop bits),
// and the parity letter of that form for the tools' logs and traces.
#pragma once

#include <string_view>

#include "platform/serial/serial_port.h"

namespace mvcomm::serial {

// Applies the fields of `mode` to `settings`; the port prefix ("COMn:") is
// optional and not checked against any port. Fields left out keep their
// value. Returns 0, or EINVAL for a malformed string (then `settings` is
// unchanged).
int parseModeString(std::string_view mode, LineSettings& settings);

// The upper-case letter a mode string gives `parity` (N, O, E, M or S);
// '?' for a value outside the enumeration.
char parityLetter(Parity parity);

}  // namespace mvcomm::serial

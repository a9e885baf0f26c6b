// File: terminal/machine_number.h
//
// The machine-number argument: text from the client, a terminal address on
// the wire.
#pragma once

#include <cstdint>
#include <string_view>

namespace mvcomm::terminal {

enum class MachineNumberText : std::uint8_t {
  kNotANumber,  // empty, blank, or not numeric at all ("5a")
  kOutOfRange,  // numeric, but not a whole number 0..65535 ("-1", "5.5", "1e3", "70000")
  kValid,
};

// Classifies `text` and, when valid, stores the number in `number`. Blanks
// around the number are allowed, as is a leading '+'. Fractions and
// exponents never address a terminal, and no number wraps around into range.
MachineNumberText parseMachineNumber(std::string_view text, std::int32_t& number);

}  // namespace mvcomm::terminal

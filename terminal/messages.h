// File: terminal/messages.h
//
// The outcome texts of the terminal class, by its own error code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mvcomm::terminal {

// The message of own code `code` (0 gives ""); codes without a text give
// "Unknowned error!".
std::string_view messageForCode(std::int32_t code);

// "API Error:" followed by the system's text for errno `error`.
std::string apiErrorMessage(int error);

}  // namespace mvcomm::terminal

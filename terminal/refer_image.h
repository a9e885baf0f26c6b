// File: terminal/refer_image.h
//
// The reference table as the terminal stores it: FF FF, then per row the
// card number (4 bytes) and employee number (2 bytes), low byte first. It
// travels in 16-byte blocks.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "terminal/structures.h"

namespace mvcomm::terminal {

// The image of `rows`: 2 + 6 * rows.size() bytes.
std::vector<std::uint8_t> buildReferImage(std::span<const str_referrecord> rows);

// The rows of an uploaded image of `size` meaningful bytes. Rows whose card
// or employee number is 0 or 65535 are empty slots and are skipped; a row
// reaching past `size` reads the missing bytes as 0 and is skipped too.
std::vector<str_referrecord> parseReferImage(std::span<const std::uint8_t> image);

}  // namespace mvcomm::terminal

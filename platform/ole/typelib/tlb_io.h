// File: platform/ole/typelib/tlb_io.h
//
// Bytes <-> Library in our binary format (tlb_format.h). The reader trusts
// nothing: every offset, count, size, string and cross reference is checked
// before it is used, so a damaged or hostile file is refused, never over-read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ole/typelib/tlb_model.h"

namespace mvcomm::typelib {

enum class ReadResult {
  kOk,
  kDamaged,             // not our format, truncated, or inconsistent
  kUnsupportedVersion,  // our format, but a major version this reader does not know
};

// Serialises `lib`. The library must satisfy what ReadLibrary checks (the IDL
// compiler's output does); the bytes of one library are always the same.
std::vector<uint8_t> WriteLibrary(const Library& lib);

// Parses and validates `size` bytes at `data` into `*out`. On failure `*out`
// is left empty and `*why` (if given) says what was wrong.
ReadResult ReadLibrary(const uint8_t* data, size_t size, Library* out, std::string* why = nullptr);

// The semantic checks ReadLibrary applies after parsing, usable on a library
// built in memory: references in range, no inheritance loop, parameter rules.
// Returns an empty string when the library is sound, else the first fault.
std::string CheckLibrary(const Library& lib);

}  // namespace mvcomm::typelib

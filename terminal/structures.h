// File: terminal/structures.h
//
// The rows of the terminal class's two in-memory sets.
#pragma once

#include <cstdint>
#include <string>

#include "terminal/datetime.h"

namespace mvcomm {

// One clock-in record.
struct str_record {
  std::int32_t employeeid = 0;   // employee number
  std::string workclass;         // "1" to "8"
  NullableDateTime cardedtime;   // clock-in time; null when the terminal sent no valid time
};

// One reference-table row.
struct str_referrecord {
  std::int32_t employeeid = 0;   // employee number
  std::int32_t cardid = 0;       // card number
};

}  // namespace mvcomm

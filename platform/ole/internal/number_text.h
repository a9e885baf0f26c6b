// File: platform/ole/internal/number_text.h
//
// Number text in the en-US locale: parsing what VariantChangeType accepts
// from a BSTR, and formatting doubles the way the platform writes them.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ole/internal/dec128.h"
#include "platform/ole/wtypes.h"

namespace mvcomm::ole::internal {

struct ParsedNumber {
  bool neg = false;
  std::string digits;   // significant digits, no leading or trailing zeros; empty for 0
  int exp10 = 0;        // value = digits * 10^exp10
  bool sticky = false;  // non-zero digits were dropped past the kept ones
  bool radix = false;   // written as &H / &O: the value is `radixValue`
  std::int64_t radixValue = 0;
};

enum class ParseStatus { Ok, Mismatch, Overflow };

// Parses en-US number text: surrounding white space; a leading or trailing
// sign, or parentheses for negative; a leading '$'; ',' between integer
// digits; '.'; an exponent; or &H / &O followed by hex / octal digits.
ParseStatus parseNumber(const OLECHAR* text, std::size_t length, ParsedNumber* out);

// The parsed value as a decimal (false: too large for 96 bits).
bool parsedToDec(const ParsedNumber& p, Dec128* out);

// The parsed value as the nearest double / float; false when it overflows.
bool parsedToDouble(const ParsedNumber& p, double* out);
bool parsedToFloat(const ParsedNumber& p, float* out);

// A double as text with `precision` significant digits (15 for R8, 7 for R4).
std::string formatReal(double value, int precision);

}  // namespace mvcomm::ole::internal

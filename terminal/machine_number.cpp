// File: terminal/machine_number.cpp
//
// A machine number must be exact: a text that only looks like a number
// ("5.5", "1e3", 4294967301) is refused rather than rounded or wrapped onto
// some other terminal's address.
#include "terminal/machine_number.h"

namespace mvcomm::terminal {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Decimal number: sign, digits with an optional fraction, optional exponent.
bool looksNumeric(std::string_view s, bool& plainInteger) {
  std::size_t i = 0;
  plainInteger = true;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    if (s[i] == '-') plainInteger = false;
    ++i;
  }
  std::size_t digits = 0;
  while (i < s.size() && isDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    plainInteger = false;
    ++i;
    while (i < s.size() && isDigit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    plainInteger = false;
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t expDigits = 0;
    while (i < s.size() && isDigit(s[i])) ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  return i == s.size();
}

}  // namespace

MachineNumberText parseMachineNumber(std::string_view text, std::int32_t& number) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  bool plainInteger = false;
  if (text.empty() || !looksNumeric(text, plainInteger)) return MachineNumberText::kNotANumber;
  if (!plainInteger) return MachineNumberText::kOutOfRange;
  if (text.front() == '+') text.remove_prefix(1);
  std::int64_t value = 0;
  for (char c : text) {
    value = value * 10 + (c - '0');
    if (value > 65535) return MachineNumberText::kOutOfRange;
  }
  number = static_cast<std::int32_t>(value);
  return MachineNumberText::kValid;
}

}  // namespace mvcomm::terminal

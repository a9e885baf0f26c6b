// File: platform/serial/mode_string.cpp
//
// The mode-string parser and the parity letter. Bounded: every field is
// checked for length and range before it is used.
#include "platform/serial/mode_string.h"

#include <cerrno>
#include <cstdint>

namespace mvcomm::serial {

namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

bool parseUnsigned(std::string_view s, std::uint32_t limit, std::uint32_t& out) {
  if (s.empty() || s.size() > 10) return false;
  std::uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  if (v > limit) return false;
  out = static_cast<std::uint32_t>(v);
  return true;
}

}  // namespace

int parseModeString(std::string_view mode, LineSettings& settings) {
  LineSettings result = settings;
  if (auto colon = mode.find(':'); colon != std::string_view::npos) mode.remove_prefix(colon + 1);
  std::string_view fields[4];
  std::size_t count = 0;
  while (true) {
    auto comma = mode.find(',');
    if (count == 4) return EINVAL;
    fields[count++] = trim(mode.substr(0, comma));
    if (comma == std::string_view::npos) break;
    mode.remove_prefix(comma + 1);
  }
  if (count == 1 && fields[0].empty()) return EINVAL;

  std::uint32_t value = 0;
  if (!fields[0].empty()) {
    if (!parseUnsigned(fields[0], 4000000, value) || value == 0) return EINVAL;
    result.baud = value;
  }
  if (count > 1 && !fields[1].empty()) {
    if (fields[1].size() != 1) return EINVAL;
    switch (fields[1][0]) {
      case 'N': case 'n': result.parity = Parity::kNone; break;
      case 'O': case 'o': result.parity = Parity::kOdd; break;
      case 'E': case 'e': result.parity = Parity::kEven; break;
      case 'M': case 'm': result.parity = Parity::kMark; break;
      case 'S': case 's': result.parity = Parity::kSpace; break;
      default: return EINVAL;
    }
  }
  if (count > 2 && !fields[2].empty()) {
    if (!parseUnsigned(fields[2], 8, value) || value < 5) return EINVAL;
    result.dataBits = static_cast<std::uint8_t>(value);
  }
  if (count > 3 && !fields[3].empty()) {
    if (fields[3] == "1") result.stopBits = StopBits::kOne;
    else if (fields[3] == "1.5") result.stopBits = StopBits::kOnePointFive;
    else if (fields[3] == "2") result.stopBits = StopBits::kTwo;
    else return EINVAL;
  }
  settings = result;
  return 0;
}

char parityLetter(Parity parity) {
  switch (parity) {
    case Parity::kNone: return 'N';
    case Parity::kOdd: return 'O';
    case Parity::kEven: return 'E';
    case Parity::kMark: return 'M';
    case Parity::kSpace: return 'S';
  }
  return '?';
}

}  // namespace mvcomm::serial

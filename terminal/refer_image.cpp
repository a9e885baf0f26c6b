// File: terminal/refer_image.cpp
#include "terminal/refer_image.h"

namespace mvcomm::terminal {

std::vector<std::uint8_t> buildReferImage(std::span<const str_referrecord> rows) {
  std::vector<std::uint8_t> image;
  image.reserve(2 + 6 * rows.size());
  image.push_back(0xFF);
  image.push_back(0xFF);
  for (const str_referrecord& row : rows) {
    auto card = static_cast<std::uint32_t>(row.cardid);
    for (int i = 0; i < 4; ++i) image.push_back(static_cast<std::uint8_t>(card >> (8 * i)));
    auto employee = static_cast<std::uint32_t>(row.employeeid);
    image.push_back(static_cast<std::uint8_t>(employee & 0xFF));
    image.push_back(static_cast<std::uint8_t>((employee >> 8) & 0xFF));
  }
  return image;
}

std::vector<str_referrecord> parseReferImage(std::span<const std::uint8_t> image) {
  auto at = [&](std::size_t i) -> std::uint32_t { return i < image.size() ? image[i] : 0; };
  std::vector<str_referrecord> rows;
  // Rows start at offsets 2, 8, 14, ... while the start lies inside the image.
  for (std::size_t p = 2; p <= image.size(); p += 6) {
    std::uint32_t card = at(p) | at(p + 1) << 8 | at(p + 2) << 16 | at(p + 3) << 24;
    std::uint32_t employee = at(p + 4) | at(p + 5) << 8;
    if (card == 0 || card == 65535 || employee == 0 || employee == 65535) continue;
    rows.push_back({static_cast<std::int32_t>(employee), static_cast<std::int32_t>(card)});
  }
  return rows;
}

}  // namespace mvcomm::terminal

// File: platform/ole/utf8.cpp
#include "platform/ole/utf8.h"

namespace mvcomm::ole {

std::size_t decodeUtf8(const unsigned char* p, std::size_t left, char32_t* cp) {
  if (left == 0) return 0;
  const unsigned char b = p[0];
  std::size_t count;
  char32_t value;
  char32_t min;
  if (b < 0x80) {
    *cp = b;
    return 1;
  } else if (b >= 0xC2 && b <= 0xDF) {
    count = 2, value = b & 0x1F, min = 0x80;
  } else if (b >= 0xE0 && b <= 0xEF) {
    count = 3, value = b & 0x0F, min = 0x800;
  } else if (b >= 0xF0 && b <= 0xF4) {
    count = 4, value = b & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (count > left) return 0;
  for (std::size_t k = 1; k < count; ++k) {
    if ((p[k] & 0xC0) != 0x80) return 0;
    value = (value << 6) | (p[k] & 0x3F);
  }
  if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *cp = value;
  return count;
}

std::size_t encodeUtf8(char32_t cp, char* out) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

std::u16string utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp = 0xFFFD;
    const std::size_t count = decodeUtf8(p + i, text.size() - i, &cp);
    i += count == 0 ? 1 : count;
    if (count == 0) cp = 0xFFFD;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (isHighSurrogate(text[i]) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
      ++i;
    } else if (isHighSurrogate(text[i]) || isLowSurrogate(text[i])) {
      cp = 0xFFFD;  // a lone half names no character
    }
    char bytes[4];
    out.append(bytes, encodeUtf8(cp, bytes));
  }
  return out;
}

}  // namespace mvcomm::ole

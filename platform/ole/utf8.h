// File: platform/ole/utf8.h
//
// The one UTF-8 <-> UTF-16 codec of the tree: the code page's UTF-8 path,
// type library names and the tools all go through it. Decoding is strict:
// overlong forms, surrogates, lead bytes C0, C1 and F5 to FF, and values
// past U+10FFFF are not UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mvcomm::ole {

// The scalar value of the UTF-8 sequence at `p` (at most `left` bytes) in
// *cp; returns its length, or 0 when no valid sequence starts there.
std::size_t decodeUtf8(const unsigned char* p, std::size_t left, char32_t* cp);

// Writes `cp` (a scalar value) as UTF-8 into `out` (4 bytes of room);
// returns the bytes written.
std::size_t encodeUtf8(char32_t cp, char* out);

// Whole texts: a byte that starts no valid sequence becomes U+FFFD, as does
// a lone surrogate half.
std::u16string utf8ToUtf16(std::string_view text);
std::string utf16ToUtf8(std::u16string_view text);

inline bool isHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool isLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace mvcomm::ole

// File: platform/ole/typelib/text16.h
//
// UTF-8 <-> UTF-16 for names: type libraries store UTF-8, automation speaks
// UTF-16. Member names match ignoring ASCII case, as automation names do.
#pragma once

#include <string>
#include <string_view>

#include "platform/ole/utf8.h"

namespace mvcomm::typelib {

// Invalid sequences become U+FFFD; never fails (platform/ole/utf8.h).
inline std::u16string Utf8ToUtf16(std::string_view s) { return ole::utf8ToUtf16(s); }
inline std::string Utf16ToUtf8(std::u16string_view s) { return ole::utf16ToUtf8(s); }

inline char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? c + 32 : c; }

inline std::u16string Fold(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out) c = FoldAscii(c);
  return out;
}

// Length of a NUL-terminated UTF-16 string, reading at most `max` units;
// returns max + 1 when no NUL was found within them.
inline size_t BoundedLength(const char16_t* s, size_t max) {
  size_t n = 0;
  while (n <= max && s[n]) ++n;
  return n;
}

}  // namespace mvcomm::typelib

// File: platform/ole/code_page.h
//
// The narrow code page of the process: the text the VM holds, as the
// platform's multi-byte conversions see it. UTF-8 unless MVCOMM_CODEPAGE
// names another code page iconv knows (CP437, CP936...), read at first use.
// One per process: libmvole.so holds it for the converters and the VM alike. Conversions go one character at a time in effect: a
// character is never split, and one the code page cannot represent becomes
// its default character '?'.
#pragma once

#include <cstddef>
#include <string>

namespace mvcomm::ole {

// Selects the code page by its iconv name; an empty name means UTF-8.
// False (and nothing changes) when iconv does not know it. For tests and
// tools; not safe while another thread converts.
bool setCodePage(const std::string& name);
// The code page in use ("UTF-8" unless another was chosen).
std::string codePageName();

// Most narrow bytes one UTF-16 code unit can take in the code page.
size_t maxNarrowBytesPerUnit();

// Converts wide text of at most `units` code units, ending early at a zero
// unit, into `out`, writing at most `limit` bytes and never part of a
// character. Returns the bytes written; no terminator is added.
size_t wideToNarrow(const char16_t* text, size_t units, char* out, size_t limit);

// Converts `bytes` narrow bytes into `out`, which holds bytes + 1 units, and
// terminates it. Stops at the first sequence the code page rejects or at an
// incomplete last character. Returns the units written before the zero.
size_t narrowToWide(const char* text, size_t bytes, char16_t* out);

}  // namespace mvcomm::ole

// File: convert/code_page.cpp
//
// Narrow <-> UTF-16 conversion. UTF-8 goes through the tree's own codec
// (utf8.h: it is the default and the hot path); every other code page
// through iconv, with one pair of descriptors per thread because an iconv_t
// is not thread-safe.
#include "platform/ole/code_page.h"

#include <errno.h>
#include <iconv.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/ole/utf8.h"

namespace mvcomm::ole {

namespace {

constexpr char kDefaultChar = '?';
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr const char* kWideName = "UTF-16LE";
#else
constexpr const char* kWideName = "UTF-16BE";
#endif

struct Selection {
  std::mutex lock;
  std::string name;                  // empty: UTF-8
  std::atomic<bool> chosen{false};   // MVCOMM_CODEPAGE read
  std::atomic<bool> utf8{true};
  std::atomic<unsigned> generation{0};  // bumped on every change, for the per-thread descriptors
};

Selection& selection() {
  static Selection s;
  return s;
}

bool isUtf8Name(const std::string& name) {
  std::string lower;
  for (char c : name) {
    if (c != '-' && c != '_') lower += static_cast<char>((c >= 'A' && c <= 'Z') ? c + 32 : c);
  }
  return lower.empty() || lower == "utf8" || lower == "cp65001";
}

bool iconvKnows(const std::string& name) {
  iconv_t cd = iconv_open(name.c_str(), kWideName);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(cd);
  return true;
}

void chooseFromEnvironment() {
  Selection& s = selection();
  if (s.chosen.load(std::memory_order_acquire)) return;
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.chosen.load(std::memory_order_relaxed)) return;
  const char* env = std::getenv("MVCOMM_CODEPAGE");
  if (env != nullptr && !isUtf8Name(env) && iconvKnows(env)) {
    s.name = env;
    s.utf8.store(false);
  }
  s.chosen.store(true, std::memory_order_release);
}

bool usingUtf8() {
  chooseFromEnvironment();
  return selection().utf8.load(std::memory_order_relaxed);
}

// This thread's descriptors for the current code page.
struct ThreadCodec {
  unsigned generation = ~0u;
  iconv_t toNarrow = reinterpret_cast<iconv_t>(-1);
  iconv_t toWide = reinterpret_cast<iconv_t>(-1);

  ~ThreadCodec() { close(); }
  void close() {
    if (toNarrow != reinterpret_cast<iconv_t>(-1)) iconv_close(toNarrow);
    if (toWide != reinterpret_cast<iconv_t>(-1)) iconv_close(toWide);
    toNarrow = toWide = reinterpret_cast<iconv_t>(-1);
  }
  bool ready() {
    Selection& s = selection();
    const unsigned now = s.generation.load(std::memory_order_acquire);
    if (now == generation && toNarrow != reinterpret_cast<iconv_t>(-1)) return true;
    close();
    std::string name;
    {
      std::lock_guard<std::mutex> guard(s.lock);
      name = s.name;
    }
    toNarrow = iconv_open(name.c_str(), kWideName);
    toWide = iconv_open(kWideName, name.c_str());
    generation = now;
    if (toNarrow == reinterpret_cast<iconv_t>(-1) || toWide == reinterpret_cast<iconv_t>(-1)) {
      close();
      return false;
    }
    return true;
  }
};

ThreadCodec& threadCodec() {
  thread_local ThreadCodec codec;
  return codec;
}

size_t wideToUtf8(const char16_t* text, size_t units, char* out, size_t limit) {
  size_t written = 0;
  size_t i = 0;
  // Plain ASCII, the common case, one byte per unit.
  for (; i < units && written < limit && text[i] != 0 && text[i] < 0x80; ++i) {
    out[written++] = static_cast<char>(text[i]);
  }
  for (; i < units && text[i] != 0; ++i) {
    char bytes[4];
    size_t count;
    const char16_t u = text[i];
    if (u < 0x80) {
      bytes[0] = static_cast<char>(u);
      count = 1;
    } else if (isHighSurrogate(u) && i + 1 < units && isLowSurrogate(text[i + 1])) {
      const char32_t cp = 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
      count = encodeUtf8(cp, bytes);
      ++i;
    } else if (isHighSurrogate(u) || isLowSurrogate(u)) {
      bytes[0] = kDefaultChar;  // a lone half has no narrow form
      count = 1;
    } else {
      count = encodeUtf8(u, bytes);
    }
    if (written + count > limit) break;
    std::memcpy(out + written, bytes, count);
    written += count;
  }
  return written;
}

size_t utf8ToWide(const char* text, size_t bytes, char16_t* out) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0;
  size_t units = 0;
  for (; i < bytes && p[i] < 0x80; ++i) out[units++] = p[i];
  while (i < bytes) {
    char32_t cp;
    const size_t count = decodeUtf8(p + i, bytes - i, &cp);
    if (count == 0) break;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out[units++] = static_cast<char16_t>(0xD800 + (cp >> 10));
      out[units++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out[units++] = static_cast<char16_t>(cp);
    }
    i += count;
  }
  out[units] = 0;
  return units;
}

size_t wideToIconv(iconv_t cd, const char16_t* text, size_t units, char* out, size_t limit) {
  size_t length = 0;
  while (length < units && text[length] != 0) ++length;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* in = reinterpret_cast<char*>(const_cast<char16_t*>(text));
  size_t inLeft = length * sizeof(char16_t);
  char* dst = out;
  size_t dstLeft = limit;
  while (inLeft > 0) {
    if (iconv(cd, &in, &inLeft, &dst, &dstLeft) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) break;  // the next character does not fit
    // EILSEQ / EINVAL: a character the code page lacks, or a lone surrogate.
    if (dstLeft == 0) break;
    *dst++ = kDefaultChar;
    --dstLeft;
    const char16_t u = *reinterpret_cast<const char16_t*>(in);
    size_t skip = sizeof(char16_t);
    if (isHighSurrogate(u) && inLeft >= 2 * sizeof(char16_t) &&
        isLowSurrogate(*reinterpret_cast<const char16_t*>(in + sizeof(char16_t)))) {
      skip *= 2;
    }
    in += skip;
    inLeft -= skip;
  }
  // Flush any shift state, if it fits.
  iconv(cd, nullptr, nullptr, &dst, &dstLeft);
  return static_cast<size_t>(dst - out);
}

size_t iconvToWide(iconv_t cd, const char* text, size_t bytes, char16_t* out) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(text);
  size_t inLeft = bytes;
  char* dst = reinterpret_cast<char*>(out);
  size_t dstLeft = bytes * sizeof(char16_t);
  // Stops at the first rejected or incomplete sequence: what was converted stays.
  iconv(cd, &in, &inLeft, &dst, &dstLeft);
  const size_t units = static_cast<size_t>(dst - reinterpret_cast<char*>(out)) / sizeof(char16_t);
  out[units] = 0;
  return units;
}

}  // namespace

bool setCodePage(const std::string& name) {
  Selection& s = selection();
  const bool utf8 = isUtf8Name(name);
  if (!utf8 && !iconvKnows(name)) return false;
  std::lock_guard<std::mutex> guard(s.lock);
  s.name = utf8 ? std::string() : name;
  s.utf8.store(utf8);
  s.chosen.store(true, std::memory_order_release);
  s.generation.fetch_add(1, std::memory_order_acq_rel);
  return true;
}

std::string codePageName() {
  if (usingUtf8()) return "UTF-8";
  Selection& s = selection();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.name;
}

size_t maxNarrowBytesPerUnit() {
  // UTF-8 takes at most 3 bytes per unit (4 per surrogate pair); the
  // double-byte and GB18030-style pages at most 4.
  return usingUtf8() ? 3 : 4;
}

size_t wideToNarrow(const char16_t* text, size_t units, char* out, size_t limit) {
  if (usingUtf8()) return wideToUtf8(text, units, out, limit);
  ThreadCodec& codec = threadCodec();
  if (!codec.ready()) return 0;
  return wideToIconv(codec.toNarrow, text, units, out, limit);
}

size_t narrowToWide(const char* text, size_t bytes, char16_t* out) {
  if (usingUtf8()) return utf8ToWide(text, bytes, out);
  ThreadCodec& codec = threadCodec();
  if (!codec.ready()) {
    out[0] = 0;
    return 0;
  }
  return iconvToWide(codec.toWide, text, bytes, out);
}

}  // namespace mvcomm::ole

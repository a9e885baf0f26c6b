// File: platform/ole/number_text.cpp
//
// en-US number text: the parser behind BSTR -> number conversions and the
// formatter behind R8 / R4 -> BSTR.
//
// Decisions where the platform's behaviour is not pinned down:
// - ',' is accepted only between two digits of the integer part ("1,000",
//   also "1,0,0"); a leading, doubled or trailing ',' is a type mismatch.
// - &H / &O values: up to 16 bits they are a 16-bit
//   signed value (&HFFFF is -1), up to 32 bits a 32-bit one, then 64 bits;
//   more than 64 bits is an overflow. They take no sign.
// - Text that starts as a number and then has anything else ("12abc") is a
//   type mismatch, not a partial parse.
#include "platform/ole/internal/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace mvcomm::ole::internal {
namespace {

// Digits kept exactly; past this a sticky digit stands for the rest, which
// is all correct rounding needs.
constexpr std::size_t kMaxDigits = 800;
constexpr int kExpClamp = 100000;

bool isSpace(OLECHAR c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }
bool isDigit(OLECHAR c) { return c >= u'0' && c <= u'9'; }

ParseStatus parseRadix(const OLECHAR* s, std::size_t n, std::size_t i, ParsedNumber* out) {
  const OLECHAR kind = s[i + 1];
  const int shift = (kind == u'H' || kind == u'h') ? 4 : 3;
  i += 2;
  std::uint64_t v = 0;
  std::size_t start = i;
  while (i < n) {
    OLECHAR c = s[i];
    unsigned d;
    if (isDigit(c)) d = c - u'0';
    else if (shift == 4 && c >= u'a' && c <= u'f') d = c - u'a' + 10u;
    else if (shift == 4 && c >= u'A' && c <= u'F') d = c - u'A' + 10u;
    else break;
    if (shift == 3 && d > 7) return ParseStatus::Mismatch;
    if ((v >> (64 - shift)) != 0) return ParseStatus::Overflow;
    v = (v << shift) | d;
    ++i;
  }
  if (i == start) return ParseStatus::Mismatch;
  while (i < n && isSpace(s[i])) ++i;
  if (i != n) return ParseStatus::Mismatch;
  out->radix = true;
  if (v <= 0xFFFFu) out->radixValue = static_cast<std::int16_t>(static_cast<std::uint16_t>(v));
  else if (v <= 0xFFFFFFFFu) out->radixValue = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
  else out->radixValue = static_cast<std::int64_t>(v);
  return ParseStatus::Ok;
}

void addDigit(ParsedNumber* out, OLECHAR c, bool fraction, int* exp) {
  if (out->digits.empty() && c == u'0') {
    if (fraction) --*exp;
    return;
  }
  if (out->digits.size() < kMaxDigits) {
    out->digits.push_back(static_cast<char>(c));
    if (fraction) --*exp;
  } else {
    if (c != u'0') out->sticky = true;
    if (!fraction) ++*exp;
  }
}

}  // namespace

ParseStatus parseNumber(const OLECHAR* s, std::size_t n, ParsedNumber* out) {
  *out = ParsedNumber{};
  if (s == nullptr) return ParseStatus::Mismatch;
  std::size_t i = 0;
  while (i < n && isSpace(s[i])) ++i;
  if (i + 1 < n && s[i] == u'&') {
    OLECHAR k = s[i + 1];
    if (k == u'H' || k == u'h' || k == u'O' || k == u'o') return parseRadix(s, n, i, out);
    return ParseStatus::Mismatch;
  }

  bool sign = false, paren = false, currency = false;
  for (; i < n; ++i) {
    OLECHAR c = s[i];
    if ((c == u'+' || c == u'-') && !sign && !paren) {
      sign = true;
      out->neg = (c == u'-');
    } else if (c == u'(' && !sign && !paren) {
      paren = true;
      out->neg = true;
    } else if (c == u'$' && !currency) {
      currency = true;
    } else if (!isSpace(c)) {
      break;
    }
  }

  int exp = 0;
  bool anyDigit = false;
  while (i < n) {
    OLECHAR c = s[i];
    if (isDigit(c)) {
      addDigit(out, c, false, &exp);
      anyDigit = true;
      ++i;
    } else if (c == u',' && anyDigit && i + 1 < n && isDigit(s[i + 1])) {
      ++i;
    } else {
      break;
    }
  }
  if (i < n && s[i] == u'.') {
    ++i;
    while (i < n && isDigit(s[i])) {
      addDigit(out, s[i], true, &exp);
      anyDigit = true;
      ++i;
    }
  }
  if (!anyDigit) return ParseStatus::Mismatch;

  if (i < n && (s[i] == u'e' || s[i] == u'E')) {
    ++i;
    bool expNeg = false;
    if (i < n && (s[i] == u'+' || s[i] == u'-')) {
      expNeg = (s[i] == u'-');
      ++i;
    }
    if (i >= n || !isDigit(s[i])) return ParseStatus::Mismatch;
    int e = 0;
    while (i < n && isDigit(s[i])) {
      if (e < kExpClamp) e = e * 10 + (s[i] - u'0');
      ++i;
    }
    exp += expNeg ? -e : e;
  }

  for (; i < n; ++i) {
    OLECHAR c = s[i];
    if ((c == u'+' || c == u'-') && !sign && !paren) {
      sign = true;
      out->neg = (c == u'-');
    } else if (c == u')' && paren) {
      paren = false;
    } else if (!isSpace(c)) {
      return ParseStatus::Mismatch;
    }
  }
  if (paren) return ParseStatus::Mismatch;

  while (!out->digits.empty() && out->digits.back() == '0' && !out->sticky) {
    out->digits.pop_back();
    ++exp;
  }
  out->exp10 = out->digits.empty() ? 0 : exp;
  return ParseStatus::Ok;
}

bool parsedToDec(const ParsedNumber& p, Dec128* out) {
  *out = Dec128{};
  out->neg = p.neg;
  if (p.radix) {
    out->neg = p.radixValue < 0;
    out->mag = p.radixValue < 0 ? static_cast<u128>(-static_cast<i128>(p.radixValue))
                                : static_cast<u128>(p.radixValue);
    return true;
  }
  if (p.digits.empty()) return true;
  // Keep at most 36 digits (fits 128 bits); the rest only rounds.
  std::size_t keep = p.digits.size() < 36 ? p.digits.size() : 36;
  bool sticky = p.sticky;
  for (std::size_t k = keep; k < p.digits.size(); ++k) sticky = sticky || p.digits[k] != '0';
  long long exp = static_cast<long long>(p.exp10) + static_cast<long long>(p.digits.size() - keep);
  // Anything needing more than 29 integer digits cannot fit.
  if (exp + static_cast<long long>(keep) > 29) return false;
  u128 mag = 0;
  for (std::size_t k = 0; k < keep; ++k) mag = mag * 10 + static_cast<unsigned>(p.digits[k] - '0');
  Dec128 v{mag, 0, p.neg};
  if (exp >= 0) {
    v.mag *= pow10u(static_cast<int>(exp));
    if (v.mag >= kDecimalLimit) return false;
    *out = v;
    return true;
  }
  v.scale = static_cast<int>(-exp > 1000 ? 1000 : -exp);
  if (v.scale > 28) v = decRoundToScale(v, 28, sticky), sticky = false;
  while (v.mag >= kDecimalLimit && v.scale > 0) {
    v = decRoundToScale(v, v.scale - 1, sticky);
    sticky = false;
  }
  if (v.mag >= kDecimalLimit) return false;
  *out = v;
  return true;
}

namespace {

// "d...e<exp>" for from_chars; the sticky flag becomes one more digit.
std::string toChars(const ParsedNumber& p) {
  std::string text = p.digits;
  long long exp = p.exp10;
  if (p.sticky) {
    text.push_back('1');
    --exp;
  }
  text += "e" + std::to_string(exp);
  return text;
}

}  // namespace

bool parsedToDouble(const ParsedNumber& p, double* out) {
  if (p.radix) {
    *out = static_cast<double>(p.radixValue);
    return true;
  }
  if (p.digits.empty()) {
    *out = 0.0;
    return true;
  }
  long long magnitude = static_cast<long long>(p.exp10) + static_cast<long long>(p.digits.size());
  if (magnitude > 400) return false;
  if (magnitude < -400) {
    *out = p.neg ? -0.0 : 0.0;
    return true;
  }
  std::string text = toChars(p);
  double v = 0;
  auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  if (r.ec == std::errc::result_out_of_range) {
    if (magnitude > 0) return false;
    v = 0.0;
  }
  if (std::isinf(v)) return false;
  *out = p.neg ? -v : v;
  return true;
}

bool parsedToFloat(const ParsedNumber& p, float* out) {
  if (p.radix) {
    *out = static_cast<float>(p.radixValue);
    return true;
  }
  if (p.digits.empty()) {
    *out = 0.0f;
    return true;
  }
  long long magnitude = static_cast<long long>(p.exp10) + static_cast<long long>(p.digits.size());
  if (magnitude > 60) return false;
  if (magnitude < -60) {
    *out = p.neg ? -0.0f : 0.0f;
    return true;
  }
  std::string text = toChars(p);
  float v = 0;
  auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  if (r.ec == std::errc::result_out_of_range) {
    if (magnitude > 0) return false;
    v = 0.0f;
  }
  if (std::isinf(v)) return false;
  *out = p.neg ? -v : v;
  return true;
}

// Fixed notation while the number needs no more than 15 decimals and fewer
// integer digits than `precision`; otherwise d.dddE+XX. This reproduces the
// recorded outputs (5.6789e-11 is written out, 5.6789e-12 is not; 1e15 and
// R4 1e8 switch to an exponent). Ties at the last digit round away from
// zero (R4 654322.25 gives "654322.3"). NaN and infinities, which the
// platform writes in a form no parser reads back, are written "NaN",
// "Infinity" and "-Infinity".
std::string formatReal(double value, int precision) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
  if (value == 0.0) return "0";
  Dec128 d;
  decFromDouble(value, precision, &d);
  std::string digits = decToString(Dec128{d.mag, 0, false});
  const int exp = static_cast<int>(digits.size()) - 1 - d.scale;  // of the first digit
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  const int nd = static_cast<int>(digits.size());
  const int decimals = nd - 1 - exp;
  std::string out = d.neg ? "-" : "";
  if (exp < precision && decimals <= 15) {
    if (exp >= 0) {
      if (nd <= exp + 1) {
        out += digits;
        out.append(static_cast<std::size_t>(exp + 1 - nd), '0');
      } else {
        out += digits.substr(0, static_cast<std::size_t>(exp + 1));
        out += ".";
        out += digits.substr(static_cast<std::size_t>(exp + 1));
      }
    } else {
      out += "0.";
      out.append(static_cast<std::size_t>(-exp - 1), '0');
      out += digits;
    }
    return out;
  }
  out += digits.substr(0, 1);
  if (nd > 1) out += "." + digits.substr(1);
  char e[16];
  std::snprintf(e, sizeof e, "E%c%02d", exp < 0 ? '-' : '+', exp < 0 ? -exp : exp);
  return out + e;
}

}  // namespace mvcomm::ole::internal

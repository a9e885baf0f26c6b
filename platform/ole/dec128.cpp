// File: platform/ole/dec128.cpp
//
// Exact decimal arithmetic behind the DECIMAL and CY conversions.
#include "platform/ole/internal/dec128.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace mvcomm::ole::internal {

u128 pow10u(int n) {
  u128 p = 1;
  for (int i = 0; i < n; ++i) p *= 10;
  return p;
}

bool decFromDecimal(const DECIMAL& d, Dec128* out) {
  if (d.scale > 28 || (d.sign != 0 && d.sign != DECIMAL_NEG)) return false;
  out->mag = (static_cast<u128>(d.Hi32) << 64) | d.Lo64;
  out->scale = d.scale;
  out->neg = d.sign != 0;
  return true;
}

Dec128 decRoundToScale(Dec128 v, int scale, bool sticky) {
  if (v.scale <= scale) return v;
  int drop = v.scale - scale;
  v.scale = scale;
  if (drop > 38) {  // everything is below half a unit
    v.mag = 0;
    return v;
  }
  u128 p = pow10u(drop);
  u128 q = v.mag / p;
  u128 r = v.mag % p;
  u128 half = p / 2;
  if (r > half || (r == half && (sticky || (q & 1) != 0))) ++q;
  v.mag = q;
  return v;
}

bool decToDecimal(Dec128 v, DECIMAL* out) {
  if (v.scale < 0) {
    if (v.mag != 0) {
      if (-v.scale > 28) return false;
      u128 p = pow10u(-v.scale);
      if (v.mag >= kDecimalLimit || v.mag * p >= kDecimalLimit) return false;
      v.mag *= p;
    }
    v.scale = 0;
  }
  if (v.scale > 28) v = decRoundToScale(v, 28);
  while (v.mag >= kDecimalLimit && v.scale > 0) v = decRoundToScale(v, v.scale - 1);
  if (v.mag >= kDecimalLimit) return false;
  out->wReserved = 0;
  out->scale = static_cast<BYTE>(v.scale);
  out->sign = (v.neg && v.mag != 0) ? DECIMAL_NEG : 0;
  out->Hi32 = static_cast<ULONG>(v.mag >> 64);
  out->Lo64 = static_cast<ULONGLONG>(v.mag);
  return true;
}

bool decToInteger(const Dec128& v, i128* out) {
  Dec128 r = v;
  if (r.scale < 0) {
    if (-r.scale > 38) return r.mag == 0 ? (*out = 0, true) : false;
    u128 p = pow10u(-r.scale);
    if (r.mag != 0 && r.mag > (~static_cast<u128>(0) >> 1) / p) return false;
    r.mag *= p;
    r.scale = 0;
  }
  r = decRoundToScale(r, 0);
  if (r.mag > (~static_cast<u128>(0) >> 1)) return false;
  i128 m = static_cast<i128>(r.mag);
  *out = r.neg ? -m : m;
  return true;
}

double decToDouble(const Dec128& v) {
  if (v.mag == 0) return 0.0;
  double result;
  if (v.mag < (static_cast<u128>(1) << 53) && v.scale >= 0 && v.scale <= 22) {
    // Both operands exact, so the one division rounds correctly.
    static const double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                    1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                    1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    result = static_cast<double>(static_cast<unsigned long long>(v.mag)) / kPow10[v.scale];
  } else {
    std::string text = decToString(Dec128{v.mag, 0, false});
    text += "e" + std::to_string(-v.scale);
    std::from_chars(text.data(), text.data() + text.size(), result);
  }
  return v.neg ? -result : result;
}

bool decFromDouble(double d, int digits, Dec128* out) {
  if (!std::isfinite(d)) return false;
  *out = Dec128{};
  out->neg = std::signbit(d) && d != 0.0;
  if (d == 0.0) return true;
  // The shortest text that reads back as d, then rounded half away from
  // zero at `digits`: the digits a reader of the value would see.
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(d), std::chars_format::scientific);
  *res.ptr = 0;
  char* e = std::strchr(buf, 'e');
  int exp10 = std::atoi(e + 1);
  char all[32];
  int n = 0;
  for (char* p = buf; p < e; ++p) {
    if (*p != '.') all[n++] = *p;
  }
  u128 mag = 0;
  for (int i = 0; i < digits; ++i) mag = mag * 10 + static_cast<unsigned>(i < n ? all[i] - '0' : 0);
  if (digits < n && all[digits] >= '5') ++mag;
  if (mag == pow10u(digits)) {  // 9.99...5 rounded up to 10.0
    mag /= 10;
    ++exp10;
  }
  out->mag = mag;
  out->scale = digits - 1 - exp10;
  while (out->scale > 0 && out->mag % 10 == 0) {
    out->mag /= 10;
    --out->scale;
  }
  return true;
}

std::string decToString(const Dec128& v) {
  char buf[64];
  int n = 0;
  u128 m = v.mag;
  do {
    buf[n++] = static_cast<char>('0' + static_cast<int>(m % 10));
    m /= 10;
  } while (m != 0);
  std::string digits(buf, buf + n);
  std::string out;
  for (int i = n - 1; i >= 0; --i) out.push_back(digits[i]);
  if (v.scale < 0) {
    if (v.mag != 0) out.append(static_cast<std::size_t>(-v.scale), '0');
  } else if (v.scale > 0) {
    std::size_t scale = static_cast<std::size_t>(v.scale);
    if (out.size() <= scale) out.insert(0, scale - out.size() + 1, '0');
    out.insert(out.size() - scale, ".");
    while (out.back() == '0') out.pop_back();
    if (out.back() == '.') out.pop_back();
  }
  if (v.neg && v.mag != 0 && out != "0") out.insert(0, "-");
  return out;
}

}  // namespace mvcomm::ole::internal

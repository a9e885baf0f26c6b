// File: platform/ole/internal/dec128.h
//
// Exact decimal arithmetic for DECIMAL and CY conversions: a magnitude in a
// 128-bit integer (a DECIMAL needs 96 bits; the rest is headroom for
// rescaling), a power-of-ten scale and a sign.
#pragma once

#include <string>

#include "platform/ole/wtypes.h"

namespace mvcomm::ole::internal {

using u128 = unsigned __int128;
using i128 = __int128;

struct Dec128 {
  u128 mag = 0;    // magnitude
  int scale = 0;   // value = mag / 10^scale; may be negative (value = mag * 10^-scale)
  bool neg = false;
};

// 2^96: a DECIMAL magnitude must stay below it.
inline constexpr u128 kDecimalLimit = static_cast<u128>(1) << 96;

// 10^n for 0 <= n <= 38.
u128 pow10u(int n);

// False (E_INVALIDARG for the caller) for a scale above 28 or a sign other than 0 / 0x80.
bool decFromDecimal(const DECIMAL& d, Dec128* out);

// Rounds half to even to at most 28 decimals and 96 bits; false when the
// value cannot fit (DISP_E_OVERFLOW). A negative scale is multiplied out.
bool decToDecimal(Dec128 v, DECIMAL* out);

// Rounds half to even to `scale` decimals (only ever drops digits);
// `sticky` says non-zero digits were already dropped below the current ones.
Dec128 decRoundToScale(Dec128 v, int scale, bool sticky = false);

// The integer nearest to v, ties to even; false when it does not fit in 127 bits.
bool decToInteger(const Dec128& v, i128* out);

// Nearest double.
double decToDouble(const Dec128& v);

// `digits` significant digits of d (its shortest round-trip text rounded
// half away from zero, as the platform's number formatting does), trailing
// zeros removed; false for NaN or infinity.
bool decFromDouble(double d, int digits, Dec128* out);

// Plain decimal text, trailing fraction zeros removed ("1.5", "-0.25", "0").
std::string decToString(const Dec128& v);

}  // namespace mvcomm::ole::internal

// File: tests/ole/change_type_numbers_test.cpp
//
// VariantChangeType between numbers, booleans and number text: rounding
// (half to even, before the range check), overflow at the exact limits,
// boolean wrapping, and the accepted number syntax.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "tests/ole/ole_test_support.h"

namespace mvcomm::ole::test {
namespace {

constexpr HRESULT kOk = S_OK;
constexpr HRESULT kOverflow = DISP_E_OVERFLOW;
constexpr HRESULT kMismatch = DISP_E_TYPEMISMATCH;

// Any integer VARIANT's value; long double holds every 64-bit integer exactly.
long double intValue(const VARIANT& v) {
  switch (v.vt) {
    case VT_I1: return static_cast<signed char>(v.cVal);
    case VT_UI1: return v.bVal;
    case VT_I2: return v.iVal;
    case VT_UI2: return v.uiVal;
    case VT_I4: return v.lVal;
    case VT_INT: return v.intVal;
    case VT_UI4: return v.ulVal;
    case VT_UINT: return v.uintVal;
    case VT_I8: return static_cast<long double>(v.llVal);
    case VT_UI8: return static_cast<long double>(v.ullVal);
    case VT_BOOL: return v.boolVal;
    case VT_CY: return static_cast<long double>(v.cyVal.int64);
    default: ADD_FAILURE() << "not an integer vt " << v.vt; return 0;
  }
}

// A VARIANT of type vt whose value bytes are `value`'s.
template <typename T>
VARIANT make(VARTYPE vt, T value) {
  VARIANT v;
  std::memset(&v, 0, sizeof v);
  std::memcpy(&v.llVal, &value, sizeof value);
  v.vt = vt;
  return v;
}

VARIANT r8(double d) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_R8;
  v.dblVal = d;
  return v;
}

OLE_SUITE(ChangeTypeToInteger);

TEST_F(ChangeTypeToInteger, RoundsHalfToEvenBeforeTheRangeCheck) {
  const double kNaN = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double in;
    VARTYPE vt;
    HRESULT hr;
    long double out;
  } kCases[] = {
      {0.5, VT_I4, kOk, 0},        {1.5, VT_I4, kOk, 2},          {2.5, VT_I4, kOk, 2},
      {3.5, VT_I4, kOk, 4},        {-0.5, VT_I4, kOk, 0},         {-1.5, VT_I4, kOk, -2},
      {0.6, VT_I4, kOk, 1},        {-0.6, VT_I4, kOk, -1},        {-2.5, VT_I2, kOk, -2},
      {2147483647.49, VT_I4, kOk, 2147483647},
      {2147483647.5, VT_I4, kOverflow, 0},
      {-2147483648.5, VT_I4, kOk, -2147483648.0L},
      {-2147483648.51, VT_I4, kOverflow, 0},
      {32767.5, VT_I2, kOverflow, 0}, {32766.5, VT_I2, kOk, 32766},
      {-32768.5, VT_I2, kOk, -32768}, {-32769.0, VT_I2, kOverflow, 0},
      {-0.5, VT_UI2, kOk, 0},         {-0.51, VT_UI2, kOverflow, 0},
      {65535.4, VT_UI2, kOk, 65535},  {65535.5, VT_UI2, kOverflow, 0},
      {255.49, VT_UI1, kOk, 255},     {255.5, VT_UI1, kOverflow, 0},
      {127.5, VT_I1, kOverflow, 0},   {-128.5, VT_I1, kOk, -128},
      {4294967295.4, VT_UI4, kOk, 4294967295.0L}, {4294967295.5, VT_UI4, kOverflow, 0},
      {-1.0, VT_UINT, kOverflow, 0},  {2.5, VT_INT, kOk, 2},
      {-9223372036854775808.0, VT_I8, kOk, -9223372036854775808.0L},
      {9223372036854775808.0, VT_I8, kOverflow, 0},
      {18446744073709551616.0, VT_UI8, kOverflow, 0},
      {1e19, VT_UI8, kOk, 1e19L},
      {kNaN, VT_I4, kOverflow, 0},    {HUGE_VAL, VT_I8, kOverflow, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.in << " -> vt " << c.vt);
    VARIANT src = r8(c.in);
    Var dst;
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, c.vt), c.hr);
    if (c.hr == kOk) {
      EXPECT_EQ(dst->vt, c.vt);
      EXPECT_EQ(intValue(dst.v), c.out);
    } else {
      EXPECT_EQ(dst->vt, VT_EMPTY);
    }
  }
}

TEST_F(ChangeTypeToInteger, OtherRealSourcesRoundTheSameWay) {
  // R4, DATE, CY and DECIMAL halves all go to even.
  VARIANT f;
  VariantInit(&f);
  f.vt = VT_R4;
  f.fltVal = 2.5f;
  VARIANT date;
  VariantInit(&date);
  date.vt = VT_DATE;
  date.date = 3.5;
  VARIANT cy;
  VariantInit(&cy);
  cy.vt = VT_CY;
  cy.cyVal.int64 = 25000;  // 2.5
  VARIANT dec;
  VariantInit(&dec);
  dec.decVal.scale = 1;
  dec.decVal.sign = DECIMAL_NEG;
  dec.decVal.Lo64 = 35;  // -3.5
  dec.vt = VT_DECIMAL;
  const struct {
    VARIANT* src;
    long double out;
  } kCases[] = {{&f, 2}, {&date, 4}, {&cy, 2}, {&dec, -4}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.src->vt);
    Var dst;
    ASSERT_EQ(VariantChangeType(&dst, c.src, 0, VT_I4), S_OK);
    EXPECT_EQ(intValue(dst.v), c.out);
  }
}

TEST_F(ChangeTypeToInteger, IntegersOverflowExactlyAtTheLimits) {
  const struct {
    VARTYPE from;
    long long in;
    VARTYPE to;
    HRESULT hr;
    long double out;
  } kCases[] = {
      {VT_I4, -1, VT_UI1, kOverflow, 0},     {VT_I4, 255, VT_UI1, kOk, 255},
      {VT_I4, 256, VT_UI1, kOverflow, 0},    {VT_I4, -128, VT_I1, kOk, -128},
      {VT_I4, -129, VT_I1, kOverflow, 0},    {VT_I4, 32768, VT_I2, kOverflow, 0},
      {VT_I4, -1, VT_UI8, kOverflow, 0},     {VT_I8, 2147483648LL, VT_I4, kOverflow, 0},
      {VT_I8, -2147483648LL, VT_I4, kOk, -2147483648.0L},
      {VT_UI1, 200, VT_I1, kOverflow, 0},    {VT_UI2, 65535, VT_I2, kOverflow, 0},
      {VT_UI4, 0xFFFFFFFFLL, VT_I4, kOverflow, 0},
      // UINT goes into the 32-bit signed types unchecked.
      {VT_UINT, 0xFFFFFFFFLL, VT_I4, kOk, -1}, {VT_UINT, 0xFFFFFFFFLL, VT_INT, kOk, -1},
      {VT_UINT, 0xFFFFFFFFLL, VT_I8, kOk, 4294967295.0L},
      {VT_INT, -1, VT_UINT, kOverflow, 0},  {VT_I2, -5, VT_I8, kOk, -5},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << "vt " << c.from << " " << c.in << " -> vt " << c.to);
    VARIANT src;
    VariantInit(&src);
    src.vt = c.from;
    switch (c.from) {
      case VT_UI1: src.bVal = static_cast<BYTE>(c.in); break;
      case VT_I2: src.iVal = static_cast<SHORT>(c.in); break;
      case VT_UI2: src.uiVal = static_cast<USHORT>(c.in); break;
      case VT_I4: case VT_INT: src.lVal = static_cast<LONG>(c.in); break;
      case VT_UI4: case VT_UINT: src.ulVal = static_cast<ULONG>(c.in); break;
      default: src.llVal = c.in; break;
    }
    Var dst;
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, c.to), c.hr);
    if (c.hr == kOk) {
      EXPECT_EQ(intValue(dst.v), c.out);
    }
  }
  VARIANT big;
  VariantInit(&big);
  big.vt = VT_UI8;
  big.ullVal = std::numeric_limits<ULONGLONG>::max();
  Var dst;
  EXPECT_EQ(VariantChangeType(&dst, &big, 0, VT_I8), kOverflow);
  EXPECT_EQ(VariantChangeType(&dst, &big, 0, VT_R8), kOk);
  EXPECT_EQ(dst->dblVal, 18446744073709551616.0);
}

OLE_SUITE(ChangeTypeBool);

TEST_F(ChangeTypeBool, TrueWrapsIntoEveryTypeAndNeverOverflows) {
  VARIANT t;
  VariantInit(&t);
  t.vt = VT_BOOL;
  t.boolVal = VARIANT_TRUE;
  const struct {
    VARTYPE vt;
    long double out;
  } kCases[] = {
      {VT_I1, -1}, {VT_I2, -1}, {VT_I4, -1}, {VT_I8, -1}, {VT_INT, -1},
      {VT_UI1, 255}, {VT_UI2, 65535}, {VT_UI4, 4294967295.0L}, {VT_UINT, 4294967295.0L},
      {VT_UI8, 18446744073709551615.0L}, {VT_CY, -10000},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.vt);
    Var dst;
    ASSERT_EQ(VariantChangeType(&dst, &t, 0, c.vt), S_OK);
    EXPECT_EQ(intValue(dst.v), c.out);
  }
  Var d;
  ASSERT_EQ(VariantChangeType(&d, &t, 0, VT_R8), S_OK);
  EXPECT_EQ(d->dblVal, -1.0);
  ASSERT_EQ(VariantChangeType(&d, &t, 0, VT_DATE), S_OK);
  EXPECT_EQ(d->date, -1.0);
  ASSERT_EQ(VariantChangeType(&d, &t, 0, VT_DECIMAL), S_OK);
  EXPECT_EQ(d->decVal.sign, DECIMAL_NEG);
  EXPECT_EQ(d->decVal.Lo64, 1u);
  EXPECT_EQ(d->decVal.scale, 0);
}

TEST_F(ChangeTypeBool, NumbersBecomeTrueWhenNonZero) {
  const struct {
    double in;
    VARIANT_BOOL out;
  } kCases[] = {{0.0, VARIANT_FALSE}, {-0.0, VARIANT_FALSE}, {0.1, VARIANT_TRUE},
                {-7.0, VARIANT_TRUE}, {1e-300, VARIANT_TRUE}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.in);
    VARIANT src = r8(c.in);
    Var dst;
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_BOOL), S_OK);
    EXPECT_EQ(dst->boolVal, c.out);
  }
}

TEST_F(ChangeTypeBool, TextIsWordsOrANumberTestedForZero) {
  const struct {
    const char* in;
    HRESULT hr;
    VARIANT_BOOL out;
  } kCases[] = {
      {"True", kOk, VARIANT_TRUE},   {"true", kOk, VARIANT_TRUE},   {"TRUE", kOk, VARIANT_TRUE},
      {"False", kOk, VARIANT_FALSE}, {"fALSE", kOk, VARIANT_FALSE}, {"#TRUE#", kOk, VARIANT_TRUE},
      {"#FALSE#", kOk, VARIANT_FALSE}, {"#true#", kMismatch, 0},    {"0", kOk, VARIANT_FALSE},
      {"-1", kOk, VARIANT_TRUE},     {"0.1", kOk, VARIANT_TRUE},    {"0.0", kOk, VARIANT_FALSE},
      {"Yes", kMismatch, 0},         {"On", kMismatch, 0},          {"", kMismatch, 0},
      {"Truth", kMismatch, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.in);
    Var src;
    setText(&src, c.in);
    Var dst;
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_BOOL), c.hr);
    if (c.hr == kOk) {
      EXPECT_EQ(dst->boolVal, c.out);
    }
  }
}

TEST_F(ChangeTypeBool, TextIsDigitsUnlessAlphaBoolIsAsked) {
  const struct {
    VARIANT_BOOL in;
    USHORT flags;
    const char* out;
  } kCases[] = {{VARIANT_TRUE, 0, "-1"},
                {VARIANT_FALSE, 0, "0"},
                {1, 0, "1"},
                {VARIANT_TRUE, VARIANT_ALPHABOOL, "True"},
                {VARIANT_FALSE, VARIANT_ALPHABOOL, "False"}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.out);
    VARIANT src;
    VariantInit(&src);
    src.vt = VT_BOOL;
    src.boolVal = c.in;
    Var dst;
    ASSERT_EQ(VariantChangeType(&dst, &src, c.flags, VT_BSTR), S_OK);
    EXPECT_EQ(narrow(dst->bstrVal), c.out);
  }
  // The direct call spells it out even with flags 0.
  Bstr b;
  ASSERT_EQ(VarBstrFromBool(VARIANT_TRUE, LCID_EN_US, 0, b.out()), S_OK);
  EXPECT_EQ(narrow(b.get()), "True");
}

OLE_SUITE(ChangeTypeFromText);

TEST_F(ChangeTypeFromText, ParsesTheStandardNumberSyntax) {
  const struct {
    const char* in;
    VARTYPE vt;
    HRESULT hr;
    long double out;
  } kCases[] = {
      {" 42 ", VT_I4, kOk, 42},          {"3.7", VT_I4, kOk, 4},
      {"2.5", VT_I4, kOk, 2},            {"3.5", VT_I4, kOk, 4},
      {"-2.5", VT_I4, kOk, -2},          {".5", VT_I4, kOk, 0},
      {"5.", VT_I4, kOk, 5},             {"+42", VT_I4, kOk, 42},
      {"-42", VT_I4, kOk, -42},          {"42-", VT_I4, kOk, -42},
      {"(42)", VT_I4, kOk, -42},         {" ( 42 ) ", VT_I4, kOk, -42},
      {"1,000", VT_I4, kOk, 1000},       {"1,234,567", VT_I4, kOk, 1234567},
      {"$5", VT_I4, kOk, 5},             {"1e3", VT_I4, kOk, 1000},
      {"1.5E+2", VT_I4, kOk, 150},       {"25e-1", VT_I4, kOk, 2},
      {"&HFF", VT_I4, kOk, 255},         {"&hff", VT_UI1, kOk, 255},
      {"&O17", VT_I4, kOk, 15},          {"&HFFFF", VT_I4, kOk, -1},
      {"&H10000", VT_I4, kOk, 65536},    {"&HFFFFFFFF", VT_I8, kOk, -1},
      {"&H7FFFFFFFFFFFFFFF", VT_I8, kOk, 9223372036854775807.0L},
      {"0042", VT_I4, kOk, 42},          {"2147483647", VT_I4, kOk, 2147483647},
      {"2147483648", VT_I4, kOverflow, 0},
      {"-2147483648", VT_I4, kOk, -2147483648.0L},
      {"-1", VT_UI4, kOverflow, 0},      {"-0.4", VT_UI4, kOk, 0},
      {"18446744073709551615", VT_UI8, kOk, 18446744073709551615.0L},
      {"18446744073709551616", VT_UI8, kOverflow, 0},
      {"1e30", VT_I8, kOverflow, 0},     {"&H1FFFFFFFFFFFFFFFF", VT_I8, kOverflow, 0},
      {"abc", VT_I4, kMismatch, 0},      {"", VT_I4, kMismatch, 0},
      {"   ", VT_I4, kMismatch, 0},      {"12abc", VT_I4, kMismatch, 0},
      {"0x10", VT_I4, kMismatch, 0},     {".", VT_I4, kMismatch, 0},
      {"1e", VT_I4, kMismatch, 0},       {",1", VT_I4, kMismatch, 0},
      {"1,", VT_I4, kMismatch, 0},       {"1,,0", VT_I4, kMismatch, 0},
      {"(1", VT_I4, kMismatch, 0},       {"1)", VT_I4, kMismatch, 0},
      {"(-1)", VT_I4, kMismatch, 0},     {"--1", VT_I4, kMismatch, 0},
      {"1.2.3", VT_I4, kMismatch, 0},    {"&H", VT_I4, kMismatch, 0},
      {"&O8", VT_I4, kMismatch, 0},      {"&HFG", VT_I4, kMismatch, 0},
      {"1 2", VT_I4, kMismatch, 0},      {"922337203685477.5807", VT_CY, kOk, 9223372036854775807.0L},
      {"922337203685477.5808", VT_CY, kOverflow, 0},
      {"1.00005", VT_CY, kOk, 10000},    {"1.00015", VT_CY, kOk, 10002},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << "\"" << c.in << "\" -> vt " << c.vt);
    Var src;
    setText(&src, c.in);
    Var dst;
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, c.vt), c.hr);
    if (c.hr == kOk) {
      EXPECT_EQ(intValue(dst.v), c.out);
    }
  }
}

TEST_F(ChangeTypeFromText, NullTextIsAMismatchForNumbersAndNullForText) {
  VARIANT src;
  VariantInit(&src);
  src.vt = VT_BSTR;
  src.bstrVal = nullptr;
  for (VARTYPE vt : {VT_I4, VT_R8, VT_DECIMAL, VT_CY, VT_DATE, VT_BOOL, VT_UI1}) {
    SCOPED_TRACE(vt);
    Var dst;
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, vt), kMismatch);
  }
  Var dst;
  ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_BSTR), S_OK);
  EXPECT_EQ(dst->bstrVal, nullptr);
}

TEST_F(ChangeTypeFromText, RealsAreTheNearestValue) {
  const struct {
    const char* in;
    HRESULT hr;
    double out;
  } kCases[] = {
      {"0.1", kOk, 0.1},
      {"1,000.25", kOk, 1000.25},
      {"-1.7976931348623157e308", kOk, -1.7976931348623157e308},
      {"1e400", kOverflow, 0},
      {"1e-400", kOk, 0.0},
      {"123456789012345678901234567890", kOk, 1.2345678901234568e29},
      {"0.30000000000000004", kOk, 0.30000000000000004},
      {"&HFFFF", kOk, -1.0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.in);
    Var src;
    setText(&src, c.in);
    Var dst;
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_R8), c.hr);
    if (c.hr == kOk) {
      EXPECT_EQ(dst->dblVal, c.out);
    }
  }
  Var src, dst;
  setText(&src, "1e39");
  EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_R4), kOverflow);
  Var small;
  setText(&small, "3.4e38");
  ASSERT_EQ(VariantChangeType(&dst, &small, 0, VT_R4), S_OK);
  EXPECT_EQ(dst->fltVal, 3.4e38f);
}

TEST_F(ChangeTypeFromText, EveryLocaleReadsAsUsEnglish) {
  for (LCID lcid : {0x0409u, LOCALE_USER_DEFAULT, LOCALE_SYSTEM_DEFAULT, LOCALE_NEUTRAL,
                    LOCALE_INVARIANT}) {
    SCOPED_TRACE(lcid);
    Var src;
    setText(&src, "1,000.5");
    Var dst;
    ASSERT_EQ(VariantChangeTypeEx(&dst, &src, lcid, 0, VT_R8), S_OK);
    EXPECT_EQ(dst->dblVal, 1000.5);
  }
}

OLE_SUITE(ChangeTypeToText);

TEST_F(ChangeTypeToText, DoublesUseFifteenDigitsAndSwitchToExponents) {
  const struct {
    double in;
    const char* out;
  } kCases[] = {
      {0.56789, "0.56789"},
      {5.6789e-11, "0.000000000056789"},
      {5.6789e-12, "5.6789E-12"},
      {999999999999999.0, "999999999999999"},
      {1e15, "1E+15"},
      {1.234e16, "1.234E+16"},
      {3.14159265358979323846, "3.14159265358979"},
      {0.0, "0"},
      {-0.0, "0"},
      {-2.5, "-2.5"},
      {0.1 + 0.2, "0.3"},
      {123456.789, "123456.789"},
      {1e100, "1E+100"},
      {-1e-100, "-1E-100"},
      {9.9999999999999999e14, "1E+15"},
      {1.0 / 3.0, "0.333333333333333"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.out);
    VARIANT src = r8(c.in);
    Var dst;
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_BSTR), S_OK);
    EXPECT_EQ(narrow(dst->bstrVal), c.out);
  }
}

TEST_F(ChangeTypeToText, OtherNumbersAsText) {
  const struct {
    VARIANT value;
    const char* out;
  } kCases[] = {
      {make(VT_R4, 654322.23456f), "654322.3"},
      {make(VT_R4, 1e8f), "1E+08"},
      {make(VT_R4, 1.1f), "1.1"},
      // R4 keeps fixed notation below 7 integer digits and up to 15 decimals.
      {make(VT_R4, 9999999.0f), "9999999"},
      {make(VT_R4, 1e7f), "1E+07"},
      {make(VT_R4, 0.000001f), "0.000001"},
      {make(VT_R4, 1e-15f), "0.000000000000001"},
      {make(VT_R4, 1e-16f), "1E-16"},
      {make(VT_R4, -2.5e20f), "-2.5E+20"},
      {make(VT_I4, LONG{-42}), "-42"},
      {make(VT_I8, std::numeric_limits<LONGLONG>::min()), "-9223372036854775808"},
      {make(VT_UI8, std::numeric_limits<ULONGLONG>::max()), "18446744073709551615"},
      {make(VT_I1, CHAR{-5}), "-5"},
      {make(VT_UI1, BYTE{200}), "200"},
      {make(VT_CY, LONGLONG{15000}), "1.5"},
      {make(VT_CY, LONGLONG{-1}), "-0.0001"},
      {make(VT_CY, std::numeric_limits<LONGLONG>::max()), "922337203685477.5807"},
      {make(VT_EMPTY, 0), ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.out);
    Var dst;
    ASSERT_EQ(VariantChangeType(&dst, &c.value, 0, VT_BSTR), S_OK);
    ASSERT_NE(dst->bstrVal, nullptr);
    EXPECT_EQ(narrow(dst->bstrVal), c.out);
  }
}

TEST_F(ChangeTypeToText, DecimalsAreExactWithoutTrailingZeros) {
  const struct {
    BYTE scale;
    BYTE sign;
    ULONG hi;
    ULONGLONG lo;
    const char* out;
  } kCases[] = {
      {3, 0, 0, 1500, "1.5"},
      {0, 0, 0xFFFFFFFF, 0xFFFFFFFFFFFFFFFFull, "79228162514264337593543950335"},
      {28, 0, 0, 1, "0.0000000000000000000000000001"},
      {2, DECIMAL_NEG, 0, 5, "-0.05"},
      {5, DECIMAL_NEG, 0, 0, "0"},
      {1, 0, 0, 10, "1"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.out);
    VARIANT v;
    VariantInit(&v);
    v.decVal.scale = c.scale;
    v.decVal.sign = c.sign;
    v.decVal.Hi32 = c.hi;
    v.decVal.Lo64 = c.lo;
    v.vt = VT_DECIMAL;
    Var dst;
    ASSERT_EQ(VariantChangeType(&dst, &v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(narrow(dst->bstrVal), c.out);
  }
}

TEST_F(ChangeTypeToText, TextRoundTripsThroughDouble) {
  // What we write for a double reads back as the same 15-digit value.
  const double kValues[] = {1.0, -123.456, 6.02214076e23, 1.602176634e-19, 42.0, 1e-5, 0.1};
  for (double d : kValues) {
    SCOPED_TRACE(d);
    VARIANT src = r8(d);
    Var text, back;
    ASSERT_EQ(VariantChangeType(&text, &src, 0, VT_BSTR), S_OK);
    ASSERT_EQ(VariantChangeType(&back, &text, 0, VT_R8), S_OK);
    EXPECT_NEAR(back->dblVal, d, std::fabs(d) * 1e-14);
  }
}

}  // namespace
}  // namespace mvcomm::ole::test

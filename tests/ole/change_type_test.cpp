// File: tests/ole/change_type_test.cpp
//
// VariantChangeType beyond plain numbers: dates and date text, DECIMAL and
// CY, VT_EMPTY / VT_NULL, invalid types, BYREF and array sources, dispatch
// sources, and the rule that a failed call leaves the destination alone.
#include <cmath>
#include <cstring>
#include <limits>

#include "tests/ole/ole_test_support.h"

namespace mvcomm::ole::test {
namespace {

VARIANT date(double d) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_DATE;
  v.date = d;
  return v;
}

VARIANT i4(LONG x) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = x;
  return v;
}

OLE_SUITE(DateText);

TEST_F(DateText, FormatsMonthDayYearAndTwelveHourTime) {
  const struct {
    double in;
    const char* out;
  } kCases[] = {
      {0.0, "12:00:00 AM"},
      {0.5, "12:00:00 PM"},
      {-0.5, "12:00:00 PM"},
      {3.34, "1/2/1900 8:09:36 AM"},
      {365.0, "12/30/1900"},
      {1461.5, "12/31/1903 12:00:00 PM"},
      {-49192.24, "4/24/1765 5:45:36 AM"},
      {-657434.0, "1/1/100"},
      {2958465.0, "12/31/9999"},
      {37556.0 + 14.5 / 24.0, "10/27/2002 2:30:00 PM"},
      {-1.25, "12/29/1899 6:00:00 AM"},
      {1.0 - 0.1 / 86400.0, "12/31/1899"},  // rounds up to the next midnight
      {2958465.99999999, "12/31/9999 11:59:59 PM"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.out);
    VARIANT src = date(c.in);
    Var dst;
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_BSTR), S_OK);
    EXPECT_EQ(narrow(dst->bstrVal), c.out);
  }
}

TEST_F(DateText, OutOfRangeDatesHaveNoText) {
  for (double d : {-657435.0, 2958466.0, std::numeric_limits<double>::quiet_NaN()}) {
    SCOPED_TRACE(d);
    VARIANT src = date(d);
    Var dst;
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_BSTR), E_INVALIDARG);
    Bstr b;
    EXPECT_EQ(VarBstrFromDate(d, LCID_EN_US, 0, b.out()), E_INVALIDARG);
  }
}

TEST_F(DateText, DateOrTimeOnlyOnRequest) {
  Bstr b;
  ASSERT_EQ(VarBstrFromDate(1461.5, LCID_EN_US, VAR_DATEVALUEONLY, b.out()), S_OK);
  EXPECT_EQ(narrow(b.get()), "12/31/1903");
  ASSERT_EQ(VarBstrFromDate(1461.5, LCID_EN_US, VAR_TIMEVALUEONLY, b.out()), S_OK);
  EXPECT_EQ(narrow(b.get()), "12:00:00 PM");
  ASSERT_EQ(VarBstrFromDate(0.0, LCID_EN_US, VAR_DATEVALUEONLY, b.out()), S_OK);
  EXPECT_EQ(narrow(b.get()), "12/30/1899");
}

TEST_F(DateText, ParsesIsoUsAndMonthNameForms) {
  const struct {
    const char* in;
    HRESULT hr;
    double out;
  } kCases[] = {
      {"2013-05-14 02:04:12", S_OK, 41408.08625},
      {"2013-05-14T02:04:12", S_OK, 41408.08625},
      {"2002-10-27 14:30:00", S_OK, 37556.604166666664},
      {"1970-1-13", S_OK, 25581},
      {"1/2/1970", S_OK, 25570},
      {"1-2-1970", S_OK, 25570},
      {"2 Jan 1970", S_OK, 25570},
      {"2-Jan-1970", S_OK, 25570},
      {"Jan 2, 1970", S_OK, 25570},
      {"january 2 1970", S_OK, 25570},
      {"6/30/2011 01:20:34 PM", S_OK, 40724.55594907407},
      {"6/30/2011 1:20:34PM", S_OK, 40724.55594907407},
      {"14:30", S_OK, 14.5 / 24.0},
      {"12:00 AM", S_OK, 0.0},
      {"12:00 PM", S_OK, 0.5},
      {" 1/1/100 ", S_OK, -657434},
      {"12/31/9999 23:59:59", S_OK, 2958465.0 + 86399.0 / 86400.0},
      {"12/29/1899 06:00", S_OK, -1.25},
      {"2/29/2000", S_OK, 36585},
      {"1/1/00", S_OK, 36526},   // 2000
      {"1/1/29", S_OK, 47119},   // 2029
      {"1/1/30", S_OK, 47484},   // 2030
      {"1/1/49", S_OK, 54424},   // 2049
      {"1/1/50", S_OK, 18264},   // 1950
      {"1/1/99", S_OK, 36161},   // 1999
      {"12:00:00.5", DISP_E_TYPEMISMATCH, 0},
      {"0", DISP_E_TYPEMISMATCH, 0},
      {"0.0", DISP_E_TYPEMISMATCH, 0},
      {"True", DISP_E_TYPEMISMATCH, 0},
      {"", DISP_E_TYPEMISMATCH, 0},
      {"2/29/2001", DISP_E_TYPEMISMATCH, 0},
      {"13/1/2000", DISP_E_TYPEMISMATCH, 0},
      {"1/32/2000", DISP_E_TYPEMISMATCH, 0},
      {"1/1/99999", DISP_E_TYPEMISMATCH, 0},
      {"1/1/0099", DISP_E_TYPEMISMATCH, 0},
      {"24:00", DISP_E_TYPEMISMATCH, 0},
      {"13:00 PM", DISP_E_TYPEMISMATCH, 0},
      {"12:60", DISP_E_TYPEMISMATCH, 0},
      {"1/2", DISP_E_TYPEMISMATCH, 0},
      {"2 Foo 1970", DISP_E_TYPEMISMATCH, 0},
      {"1/2-1970", DISP_E_TYPEMISMATCH, 0},
      {"/1/2/1970", DISP_E_TYPEMISMATCH, 0},
      {"1/2/1970 PM", DISP_E_TYPEMISMATCH, 0},
      {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18", DISP_E_TYPEMISMATCH, 0},
      {"1/2/1970 12:00:00:00", DISP_E_TYPEMISMATCH, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.in);
    Var src;
    setText(&src, c.in);
    Var dst;
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_DATE), c.hr);
    if (c.hr == S_OK) {
      EXPECT_DOUBLE_EQ(dst->date, c.out);
    }
  }
}

TEST_F(DateText, FormattedDatesParseBack) {
  for (double d : {0.0, 1.0, -1.25, 25569.75, 37556.0 + 52200.0 / 86400.0, -657434.0,
                   2958465.0 + 3600.0 / 86400.0, 44000.0 + 1.0 / 86400.0}) {
    SCOPED_TRACE(d);
    VARIANT src = date(d);
    Var text, back;
    ASSERT_EQ(VariantChangeType(&text, &src, 0, VT_BSTR), S_OK);
    ASSERT_EQ(VariantChangeType(&back, &text, 0, VT_DATE), S_OK);
    EXPECT_NEAR(back->date, d, 1e-9);
  }
}

OLE_SUITE(DateRange);

TEST_F(DateRange, NumbersOutsideTheCalendarOverflow) {
  const struct {
    VARIANT src;
    HRESULT hr;
  } kCases[] = {
      {i4(-657434), S_OK},          {i4(-657435), DISP_E_OVERFLOW},
      {i4(2958465), S_OK},          {i4(2958466), DISP_E_OVERFLOW},
      {date(0), S_OK},
  };
  for (const auto& c : kCases) {
    Var dst;
    EXPECT_EQ(VariantChangeType(&dst, &c.src, 0, VT_DATE), c.hr);
  }
  const struct {
    double in;
    HRESULT hr;
  } kReals[] = {{-657434.99, S_OK},     {-657435.0, DISP_E_OVERFLOW}, {2958465.999, S_OK},
                {2958466.0, DISP_E_OVERFLOW}, {std::numeric_limits<double>::quiet_NaN(), DISP_E_OVERFLOW},
                {-HUGE_VAL, DISP_E_OVERFLOW}};
  for (const auto& c : kReals) {
    SCOPED_TRACE(c.in);
    DATE out = 12345;
    EXPECT_EQ(VarDateFromR8(c.in, &out), c.hr);
    if (c.hr == S_OK) {
      EXPECT_EQ(out, c.in);
    }
    else EXPECT_EQ(out, 12345);
    VARIANT src;
    VariantInit(&src);
    src.vt = VT_R8;
    src.dblVal = c.in;
    Var dst;
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_DATE), c.hr);
  }
  DOUBLE back;
  EXPECT_EQ(VarR8FromDate(-1.25, &back), S_OK);
  EXPECT_EQ(back, -1.25);
}

TEST_F(DateRange, BrokenDownTimeMatchesTheCalendar) {
  UDATE u;
  ASSERT_EQ(VarUdateFromDate(0.0, 0, &u), S_OK);
  EXPECT_EQ(u.st.wYear, 1899);
  EXPECT_EQ(u.st.wMonth, 12);
  EXPECT_EQ(u.st.wDay, 30);
  EXPECT_EQ(u.st.wDayOfWeek, 6);  // Saturday
  EXPECT_EQ(u.wDayOfYear, 364);
  ASSERT_EQ(VarUdateFromDate(-5.25, 0, &u), S_OK);
  EXPECT_EQ(u.st.wDay, 25);
  EXPECT_EQ(u.st.wHour, 6);
  EXPECT_EQ(VarUdateFromDate(-657435.0, 0, &u), E_INVALIDARG);
  EXPECT_EQ(VarUdateFromDate(2958466.0, 0, &u), E_INVALIDARG);

  SYSTEMTIME st = {2002, 10, 0, 27, 14, 30, 0, 0};
  DOUBLE d;
  ASSERT_TRUE(SystemTimeToVariantTime(&st, &d));
  EXPECT_DOUBLE_EQ(d, 37556.604166666664);
  SYSTEMTIME out;
  ASSERT_TRUE(VariantTimeToSystemTime(d, &out));
  EXPECT_EQ(out.wYear, 2002);
  EXPECT_EQ(out.wHour, 14);
  EXPECT_EQ(out.wMinute, 30);
  EXPECT_EQ(out.wDayOfWeek, 0);  // Sunday
  st.wMonth = 13;
  EXPECT_FALSE(SystemTimeToVariantTime(&st, &d));

  UDATE carry = {{2000, 13, 0, 1, 0, 0, 0, 0}, 0};  // month 13 is January 2001
  DATE c;
  ASSERT_EQ(VarDateFromUdate(&carry, 0, &c), S_OK);
  EXPECT_EQ(c, 36892.0);
}

OLE_SUITE(DecimalConversion);

DECIMAL dec(BYTE scale, BYTE sign, ULONG hi, ULONGLONG lo) {
  DECIMAL d;
  std::memset(&d, 0, sizeof d);
  d.scale = scale;
  d.sign = sign;
  d.Hi32 = hi;
  d.Lo64 = lo;
  return d;
}

TEST_F(DecimalConversion, FromDoubleKeepsTheShortestDecimal) {
  const struct {
    double in;
    HRESULT hr;
    const char* text;  // the DECIMAL written out
    int scale;
  } kCases[] = {
      {0.5, S_OK, "0.5", 1},
      {-0.6, S_OK, "-0.6", 1},
      {0.0, S_OK, "0", 0},
      {0.1, S_OK, "0.1", 1},
      {1.0 / 3.0, S_OK, "0.333333333333333", 15},
      {123456789.125, S_OK, "123456789.125", 3},
      {1e20, S_OK, "100000000000000000000", 0},
      {7.9e28, S_OK, "79000000000000000000000000000", 0},
      {-1.5e-20, S_OK, "-0.000000000000000000015", 21},
      {1e-30, S_OK, "0", 28},
      {8e28, DISP_E_OVERFLOW, "", 0},
      {std::numeric_limits<double>::quiet_NaN(), DISP_E_OVERFLOW, "", 0},
      {HUGE_VAL, DISP_E_OVERFLOW, "", 0},
      {-HUGE_VAL, DISP_E_OVERFLOW, "", 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.in);
    DECIMAL out = dec(9, 9, 9, 9);
    ASSERT_EQ(VarDecFromR8(c.in, &out), c.hr);
    if (c.hr != S_OK) {
      EXPECT_EQ(out.scale, 9);  // untouched
      continue;
    }
    Bstr text;
    ASSERT_EQ(VarBstrFromDec(&out, LCID_EN_US, 0, text.out()), S_OK);
    EXPECT_EQ(narrow(text.get()), c.text);
    EXPECT_EQ(out.scale, c.scale);
    EXPECT_EQ(out.sign, c.in < 0 ? DECIMAL_NEG : 0);
  }
  DECIMAL f;
  ASSERT_EQ(VarDecFromR4(654322.23456f, &f), S_OK);  // 7 digits: 654322.3
  EXPECT_EQ(f.scale, 1);
  EXPECT_EQ(f.Lo64, 6543223u);
}

TEST_F(DecimalConversion, ToNumbersIsNearestAndMalformedValuesAreRefused) {
  DOUBLE d;
  DECIMAL big = dec(0, 0, 1, 0);
  ASSERT_EQ(VarR8FromDec(&big, &d), S_OK);
  EXPECT_EQ(d, 18446744073709551616.0);
  DECIMAL max = dec(0, 0, 0xFFFFFFFF, 0xFFFFFFFFFFFFFFFFull);
  ASSERT_EQ(VarR8FromDec(&max, &d), S_OK);
  EXPECT_EQ(d, 79228162514264337593543950335.0);
  DECIMAL tenth = dec(1, DECIMAL_NEG, 0, 1);
  ASSERT_EQ(VarR8FromDec(&tenth, &d), S_OK);
  EXPECT_EQ(d, -0.1);

  const struct {
    DECIMAL in;
    HRESULT hr;
    LONG out;
  } kToI4[] = {
      {dec(1, 0, 0, 25), S_OK, 2},          {dec(1, 0, 0, 35), S_OK, 4},
      {dec(1, DECIMAL_NEG, 0, 25), S_OK, -2}, {dec(0, 0, 0, 2147483648ull), DISP_E_OVERFLOW, 0},
      {dec(29, 0, 0, 1), E_INVALIDARG, 0},  {dec(0, 0x01, 0, 1), E_INVALIDARG, 0},
      {dec(0, 0x40, 0, 1), E_INVALIDARG, 0}, {dec(0, 0x7F, 0, 1), E_INVALIDARG, 0},
  };
  for (const auto& c : kToI4) {
    SCOPED_TRACE(testing::Message() << int(c.in.scale) << "/" << int(c.in.sign) << "/" << c.in.Lo64);
    LONG out = 77;
    EXPECT_EQ(VarI4FromDec(&c.in, &out), c.hr);
    EXPECT_EQ(out, c.hr == S_OK ? c.out : 77);
  }
  DECIMAL bad = dec(30, 0, 0, 1);
  EXPECT_EQ(VarR8FromDec(&bad, &d), E_INVALIDARG);
}

TEST_F(DecimalConversion, TextAndCurrencyKeepEveryDigit) {
  DECIMAL out;
  ASSERT_EQ(VarDecFromStr(u"79228162514264337593543950335", LCID_EN_US, 0, &out), S_OK);
  EXPECT_EQ(out.Hi32, 0xFFFFFFFFu);
  EXPECT_EQ(out.Lo64, 0xFFFFFFFFFFFFFFFFull);
  EXPECT_EQ(VarDecFromStr(u"79228162514264337593543950336", LCID_EN_US, 0, &out), DISP_E_OVERFLOW);
  ASSERT_EQ(VarDecFromStr(u"-0.0000000000000000000000000001", LCID_EN_US, 0, &out), S_OK);
  EXPECT_EQ(out.scale, 28);
  EXPECT_EQ(out.sign, DECIMAL_NEG);
  ASSERT_EQ(VarDecFromStr(u"1.00000000000000000000000000005", LCID_EN_US, 0, &out), S_OK);
  EXPECT_EQ(out.scale, 28);  // rounded to 28 decimals, half to even

  CY cy;
  cy.int64 = 123456;  // 12.3456
  ASSERT_EQ(VarDecFromCy(cy, &out), S_OK);
  EXPECT_EQ(out.scale, 4);
  EXPECT_EQ(out.Lo64, 123456u);
  ASSERT_EQ(VarCyFromR8(1.23456, &cy), S_OK);
  EXPECT_EQ(cy.int64, 12346);
  EXPECT_EQ(VarCyFromR8(1e15, &cy), DISP_E_OVERFLOW);
  DECIMAL d = dec(5, 0, 0, 123455);  // 1.23455 -> 1.2346 (half to even)
  ASSERT_EQ(VarCyFromDec(&d, &cy), S_OK);
  EXPECT_EQ(cy.int64, 12346);
}

OLE_SUITE(ChangeTypeRules);

TEST_F(ChangeTypeRules, EmptyAndNullSources) {
  VARIANT empty;
  VariantInit(&empty);
  for (VARTYPE vt : {VT_I1, VT_I2, VT_I4, VT_I8, VT_UI1, VT_UI2, VT_UI4, VT_UI8, VT_INT, VT_UINT,
                     VT_R4, VT_R8, VT_CY, VT_DATE, VT_DECIMAL, VT_BOOL, VT_EMPTY, VT_NULL}) {
    SCOPED_TRACE(vt);
    Var dst;
    ASSERT_EQ(VariantChangeType(&dst, &empty, 0, vt), S_OK);
    EXPECT_EQ(dst->vt, vt);
    EXPECT_EQ(dst->llVal, 0);
  }
  Var text;
  ASSERT_EQ(VariantChangeType(&text, &empty, 0, VT_BSTR), S_OK);
  ASSERT_NE(text->bstrVal, nullptr);
  EXPECT_EQ(SysStringLen(text->bstrVal), 0u);

  VARIANT null;
  VariantInit(&null);
  null.vt = VT_NULL;
  Var dst;
  EXPECT_EQ(VariantChangeType(&dst, &null, 0, VT_NULL), S_OK);
  EXPECT_EQ(dst->vt, VT_NULL);
  for (VARTYPE vt : {VT_EMPTY, VT_I4, VT_BSTR, VT_R8, VT_BOOL, VT_DATE, VT_DISPATCH}) {
    SCOPED_TRACE(vt);
    Var out;
    EXPECT_EQ(VariantChangeType(&out, &null, 0, vt), DISP_E_TYPEMISMATCH);
  }
}

TEST_F(ChangeTypeRules, ObjectTargetsMismatchAndNonAutomationTypesAreBad) {
  VARIANT sources[2] = {i4(5)};
  VariantInit(&sources[1]);  // VT_EMPTY
  for (const VARIANT& src : sources) {
    SCOPED_TRACE(src.vt);
    for (VARTYPE vt : std::initializer_list<VARTYPE>{VT_DISPATCH, VT_UNKNOWN, VT_ERROR,
                                                     VT_VARIANT, VT_RECORD}) {
      Var dst;
      EXPECT_EQ(VariantChangeType(&dst, &src, 0, vt), DISP_E_TYPEMISMATCH) << vt;
    }
    for (VARTYPE vt : std::initializer_list<VARTYPE>{VT_VOID, VT_HRESULT, VT_PTR, VT_SAFEARRAY, VT_CARRAY, VT_USERDEFINED,
                       VT_LPSTR, VT_LPWSTR, VT_INT_PTR, VT_FILETIME, VT_BLOB, VT_CLSID,
                       VARTYPE(15), VARTYPE(0xFF), VARTYPE(VT_I4 | VT_BYREF),
                       VARTYPE(VT_I4 | VT_VECTOR)}) {
      Var dst;
      EXPECT_EQ(VariantChangeType(&dst, &src, 0, vt), DISP_E_BADVARTYPE) << vt;
    }
  }
  VARIANT bad;
  VariantInit(&bad);
  bad.vt = VT_CLSID;
  Var dst;
  EXPECT_EQ(VariantChangeType(&dst, &bad, 0, VT_I4), DISP_E_BADVARTYPE);
  VARIANT five = i4(5);
  Var e;
  EXPECT_EQ(VariantChangeType(&e, &five, 0, VT_EMPTY), S_OK);
  EXPECT_EQ(VariantChangeType(&e, &five, 0, VT_NULL), S_OK);
  EXPECT_EQ(e->vt, VT_NULL);
}

TEST_F(ChangeTypeRules, FailureLeavesTheDestinationAlone) {
  Var dst;
  setText(&dst, "keep");
  BSTR before = dst->bstrVal;
  Var src;
  setText(&src, "abc");
  EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(dst->vt, VT_BSTR);
  EXPECT_EQ(dst->bstrVal, before);

  // In place, both ways.
  EXPECT_EQ(VariantChangeType(&src, &src, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(narrow(src->bstrVal), "abc");
  Var num;
  setText(&num, "42");
  ASSERT_EQ(VariantChangeType(&num, &num, 0, VT_I4), S_OK);  // the BSTR is freed
  EXPECT_EQ(num->lVal, 42);
  ASSERT_EQ(VariantChangeType(&num, &num, 0, VT_BSTR), S_OK);
  EXPECT_EQ(narrow(num->bstrVal), "42");

  // A destination with an invalid type is refused and the result discarded.
  VARIANT junk;
  VariantInit(&junk);
  junk.vt = 0xFF;
  EXPECT_EQ(VariantChangeType(&junk, &num, 0, VT_BSTR), DISP_E_BADVARTYPE);
  EXPECT_EQ(junk.vt, 0xFF);
}

TEST_F(ChangeTypeRules, ByRefSourcesAreDereferenced) {
  LONG l = 7;
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_I4 | VT_BYREF;
  ref.plVal = &l;
  Var dst;
  ASSERT_EQ(VariantChangeType(&dst, &ref, 0, VT_R8), S_OK);
  EXPECT_EQ(dst->dblVal, 7.0);

  Bstr text(u"12");
  BSTR b = text.get();
  ref.vt = VT_BSTR | VT_BYREF;
  ref.pbstrVal = &b;
  ASSERT_EQ(VariantChangeType(&dst, &ref, 0, VT_I2), S_OK);
  EXPECT_EQ(dst->iVal, 12);
  ASSERT_EQ(VariantChangeType(&dst, &ref, 0, VT_BSTR), S_OK);  // a copy, not the same string
  EXPECT_NE(dst->bstrVal, b);

  VARIANT inner = i4(9);
  ref.vt = VT_VARIANT | VT_BYREF;
  ref.pvarVal = &inner;
  ASSERT_EQ(VariantChangeType(&dst, &ref, 0, VT_BSTR), S_OK);
  EXPECT_EQ(narrow(dst->bstrVal), "9");

  DECIMAL d;
  std::memset(&d, 0, sizeof d);
  d.Lo64 = 15;
  d.scale = 1;
  ref.vt = VT_DECIMAL | VT_BYREF;
  ref.pdecVal = &d;
  ASSERT_EQ(VariantChangeType(&dst, &ref, 0, VT_I4), S_OK);
  EXPECT_EQ(dst->lVal, 2);

  // In place on a reference converts the referred value, never frees it.
  VARIANT inPlace;
  VariantInit(&inPlace);
  inPlace.vt = VT_BSTR | VT_BYREF;
  inPlace.pbstrVal = &b;
  ASSERT_EQ(VariantChangeType(&inPlace, &inPlace, 0, VT_I4), S_OK);
  EXPECT_EQ(inPlace.lVal, 12);
  EXPECT_EQ(text.get(), b);

  ref.vt = VT_VARIANT | VT_BYREF;
  ref.pvarVal = nullptr;
  EXPECT_EQ(VariantChangeType(&dst, &ref, 0, VT_I4), DISP_E_TYPEMISMATCH);
  VARIANT chain;
  VariantInit(&chain);
  chain.vt = VT_VARIANT | VT_BYREF;
  chain.pvarVal = &inner;
  ref.pvarVal = &chain;
  EXPECT_EQ(VariantChangeType(&dst, &ref, 0, VT_I4), DISP_E_TYPEMISMATCH);
}

TEST_F(ChangeTypeRules, ArraysCopyOnlyToTheirOwnType) {
  Var arr;
  arr->vt = VT_ARRAY | VT_BSTR;
  arr->parray = SafeArrayCreateVector(VT_BSTR, 0, 2);
  Bstr a(u"a");
  LONG idx = 1;
  ASSERT_EQ(SafeArrayPutElement(arr->parray, &idx, a.get()), S_OK);
  Var copy;
  ASSERT_EQ(VariantChangeType(&copy, &arr, 0, VT_ARRAY | VT_BSTR), S_OK);
  EXPECT_NE(copy->parray, arr->parray);
  Var other;
  EXPECT_EQ(VariantChangeType(&other, &arr, 0, VT_ARRAY | VT_VARIANT), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantChangeType(&other, &arr, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
  VARIANT five = i4(5);
  EXPECT_EQ(VariantChangeType(&other, &five, 0, VT_ARRAY | VT_I4), DISP_E_TYPEMISMATCH);
}

OLE_SUITE(ChangeTypeObjects);

TEST_F(ChangeTypeObjects, DispatchIsReadThroughItsDefaultProperty) {
  FakeDispatch obj;
  obj.value.vt = VT_I4;
  obj.value.lVal = 42;
  VARIANT src;
  VariantInit(&src);
  src.vt = VT_DISPATCH;
  src.pdispVal = &obj;
  Var dst;
  ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_UI1), S_OK);
  EXPECT_EQ(dst->bVal, 42);
  EXPECT_EQ(obj.lastDispid, DISPID_VALUE);
  EXPECT_EQ(obj.lastFlags, DISPATCH_PROPERTYGET);
  EXPECT_EQ(obj.lastArgs, 0u);
  EXPECT_TRUE(obj.lastHadResult);
  EXPECT_TRUE(obj.lastResultWasEmpty);
  EXPECT_TRUE(obj.lastExcepNull);
  EXPECT_TRUE(obj.lastArgErrNull);

  setText(&obj.value, "300");
  VariantClear(&obj.value);
  setText(&obj.value, "300");
  EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_UI1), DISP_E_OVERFLOW);
  ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_BSTR), S_OK);
  EXPECT_EQ(narrow(dst->bstrVal), "300");
  EXPECT_EQ(obj.refs(), 1u);
}

TEST_F(ChangeTypeObjects, AFailedOrSuppressedValueCallIsAMismatch) {
  FakeDispatch obj;
  obj.failWith = DISP_E_MEMBERNOTFOUND;
  VARIANT src;
  VariantInit(&src);
  src.vt = VT_DISPATCH;
  src.pdispVal = &obj;
  Var dst;
  EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(dst->vt, VT_EMPTY);
  EXPECT_EQ(obj.invokeCalls, 1);

  obj.failWith = S_OK;
  obj.value.vt = VT_I4;
  EXPECT_EQ(VariantChangeType(&dst, &src, VARIANT_NOVALUEPROP, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(obj.invokeCalls, 1);

  // Empty and null targets need no value, so no call is made.
  EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_EMPTY), S_OK);
  EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_NULL), S_OK);
  EXPECT_EQ(obj.invokeCalls, 1);

  src.pdispVal = nullptr;
  EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_I4), DISP_E_TYPEMISMATCH);
}

TEST_F(ChangeTypeObjects, AnObjectThatYieldsItselfEndsInAMismatch) {
  FakeDispatch obj;
  obj.value.vt = VT_DISPATCH;
  obj.value.pdispVal = &obj;
  obj.AddRef();
  VARIANT src;
  VariantInit(&src);
  src.vt = VT_DISPATCH;
  src.pdispVal = &obj;
  Var dst;
  EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(obj.refs(), 2u);  // every value it handed out was released
  VariantClear(&obj.value);
}

TEST_F(ChangeTypeObjects, InterfaceTargetsShareThePointer) {
  FakeDispatch obj;
  Var src;
  src->vt = VT_DISPATCH;
  src->pdispVal = &obj;
  obj.AddRef();  // src's reference
  {
    Var unk;
    ASSERT_EQ(VariantChangeType(&unk, &src, 0, VT_UNKNOWN), S_OK);
    EXPECT_EQ(unk->punkVal, static_cast<IUnknown*>(&obj));
    EXPECT_EQ(obj.refs(), 3u);
  }
  EXPECT_EQ(obj.refs(), 2u);
  ASSERT_EQ(VariantChangeType(&src, &src, 0, VT_UNKNOWN), S_OK);  // in place: same count
  EXPECT_EQ(obj.refs(), 2u);
  EXPECT_EQ(src->vt, VT_UNKNOWN);
  ASSERT_EQ(VariantChangeType(&src, &src, 0, VT_DISPATCH), S_OK);  // asks for IDispatch
  EXPECT_EQ(obj.refs(), 2u);
  Var n;
  ASSERT_EQ(VariantChangeType(&src, &src, 0, VT_UNKNOWN), S_OK);
  EXPECT_EQ(VariantChangeType(&n, &src, 0, VT_I4), DISP_E_TYPEMISMATCH);
  VariantClear(&src);
  EXPECT_EQ(obj.refs(), 1u);
}

TEST_F(ChangeTypeObjects, ErrorValuesOnlyStayErrors) {
  VARIANT err;
  VariantInit(&err);
  err.vt = VT_ERROR;
  err.scode = DISP_E_PARAMNOTFOUND;
  Var dst;
  ASSERT_EQ(VariantChangeType(&dst, &err, 0, VT_ERROR), S_OK);
  EXPECT_EQ(dst->scode, DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(VariantChangeType(&dst, &err, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantChangeType(&dst, &err, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
}

}  // namespace
}  // namespace mvcomm::ole::test

// File: tests/ole/var_from_test.cpp
//
// The direct VarXxxFromYyy calls agree with VariantChangeType, refuse a null
// output, and leave the output alone on failure.
#include "tests/ole/ole_test_support.h"

namespace mvcomm::ole::test {
namespace {

OLE_SUITE(VarFrom);

TEST_F(VarFrom, TextCallsParseLikeTheVariantCall) {
  const struct {
    const char16_t* in;
    HRESULT hr;
    LONG out;
  } kCases[] = {
      {u" 42 ", S_OK, 42},
      {u"(1,024)", S_OK, -1024},
      {u"2147483648", DISP_E_OVERFLOW, 0},
      {u"12abc", DISP_E_TYPEMISMATCH, 0},
      {nullptr, DISP_E_TYPEMISMATCH, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.in == nullptr ? "null" : narrow(Bstr(c.in).get()));
    LONG out = 99;
    EXPECT_EQ(VarI4FromStr(c.in, LCID_EN_US, 0, &out), c.hr);
    EXPECT_EQ(out, c.hr == S_OK ? c.out : 99);
  }
  DATE d = 0;
  ASSERT_EQ(VarDateFromStr(u"2002-10-27 14:30:00", LOCALE_USER_DEFAULT, 0, &d), S_OK);
  EXPECT_DOUBLE_EQ(d, 37556.604166666664);
  EXPECT_EQ(VarDateFromStr(u"0", LOCALE_USER_DEFAULT, 0, &d), DISP_E_TYPEMISMATCH);
  VARIANT_BOOL b = 0;
  ASSERT_EQ(VarBoolFromStr(u"#TRUE#", LCID_EN_US, 0, &b), S_OK);
  EXPECT_EQ(b, VARIANT_TRUE);
}

TEST_F(VarFrom, NumbersToTextAndBack) {
  Bstr text;
  ASSERT_EQ(VarBstrFromR8(1e15, LCID_EN_US, 0, text.out()), S_OK);
  EXPECT_EQ(narrow(text.get()), "1E+15");
  ASSERT_EQ(VarBstrFromI4(-7, LCID_EN_US, 0, text.out()), S_OK);
  EXPECT_EQ(narrow(text.get()), "-7");
  ASSERT_EQ(VarBstrFromDate(365.0, LCID_EN_US, 0, text.out()), S_OK);
  EXPECT_EQ(narrow(text.get()), "12/30/1900");
  BYTE ub = 0;
  EXPECT_EQ(VarUI1FromI4(-1, &ub), DISP_E_OVERFLOW);
  EXPECT_EQ(VarUI1FromBool(VARIANT_TRUE, &ub), S_OK);
  EXPECT_EQ(ub, 255);
  SHORT s = 0;
  EXPECT_EQ(VarI2FromR8(-32768.5, &s), S_OK);
  EXPECT_EQ(s, -32768);
  DOUBLE r = 0;
  EXPECT_EQ(VarR8FromStr(u"1e400", LCID_EN_US, 0, &r), DISP_E_OVERFLOW);
}

TEST_F(VarFrom, NullOutputIsRefused) {
  EXPECT_EQ(VarI4FromR8(1.0, nullptr), E_INVALIDARG);
  EXPECT_EQ(VarBstrFromI4(1, LCID_EN_US, 0, nullptr), E_INVALIDARG);
  EXPECT_EQ(VarDateFromStr(u"1/1/2000", LCID_EN_US, 0, nullptr), E_INVALIDARG);
  EXPECT_EQ(VarI4FromDec(nullptr, nullptr), E_INVALIDARG);
}

TEST_F(VarFrom, DispatchCallsUseTheDefaultProperty) {
  FakeDispatch obj;
  obj.value.vt = VT_R8;
  obj.value.dblVal = 2.5;
  LONG out = 0;
  ASSERT_EQ(VarI4FromDisp(&obj, LCID_EN_US, &out), S_OK);
  EXPECT_EQ(out, 2);
  obj.failWith = DISP_E_MEMBERNOTFOUND;
  EXPECT_EQ(VarI4FromDisp(&obj, LCID_EN_US, &out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(obj.refs(), 1u);
}

}  // namespace
}  // namespace mvcomm::ole::test

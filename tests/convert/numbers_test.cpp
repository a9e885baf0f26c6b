// File: tests/convert/numbers_test.cpp
//
// Numbers and booleans: direct reads of a VARIANT's own type, coercion of
// everything else, and the destination rule (by value, by reference).
#include <gtest/gtest.h>

#include "tests/convert/convert_test_support.h"

namespace mvcomm::convert::test {
namespace {

TEST(NumbersAndBooleans, EveryNumberTypeRoundTripsWithItsTag) {
  PBCOMTypeConverter conv;
  Var v;
  double d = 0;
  ASSERT_EQ(conv.DoubleToVariant(&v, -2.5), 0);
  EXPECT_EQ(v.vt, VT_R8);
  EXPECT_EQ(conv.VariantToDouble(&d, &v), 0);
  EXPECT_EQ(d, -2.5);
  float f = 0;
  ASSERT_EQ(conv.FloatToVariant(&v, 1.25f), 0);
  EXPECT_EQ(v.vt, VT_R4);
  EXPECT_EQ(conv.VariantToFloat(&f, &v), 0);
  EXPECT_EQ(f, 1.25f);
  int16_t s = 0;
  ASSERT_EQ(conv.ShortToVariant(&v, -32768), 0);
  EXPECT_EQ(v.vt, VT_I2);
  EXPECT_EQ(conv.VariantToShort(&s, &v), 0);
  EXPECT_EQ(s, -32768);
  uint16_t us = 0;
  ASSERT_EQ(conv.UShortToVariant(&v, 65535), 0);
  EXPECT_EQ(v.vt, VT_UI2);
  EXPECT_EQ(conv.VariantToUShort(&us, &v), 0);
  EXPECT_EQ(us, 65535);
  int32_t l = 0;
  ASSERT_EQ(conv.LongToVariant(&v, INT32_MIN), 0);
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(conv.VariantToLong(&l, &v), 0);
  EXPECT_EQ(l, INT32_MIN);
  uint32_t ul = 0;
  ASSERT_EQ(conv.ULongToVariant(&v, 0xFFFFFFFFu), 0);
  EXPECT_EQ(v.vt, VT_UI4);
  EXPECT_EQ(conv.VariantToULong(&ul, &v), 0);
  EXPECT_EQ(ul, 0xFFFFFFFFu);
}

TEST(NumbersAndBooleans, CoercionFailureLeavesTheDestination) {
  PBCOMTypeConverter conv;
  Var v;
  v.vt = VT_I4;
  v.lVal = 70000;
  int16_t s = 123;
  EXPECT_EQ(conv.VariantToShort(&s, &v), DISP_E_OVERFLOW);
  EXPECT_EQ(s, 123);
  v.lVal = -5;
  EXPECT_EQ(conv.VariantToShort(&s, &v), 0);
  EXPECT_EQ(s, -5);
  uint16_t us = 7;
  EXPECT_EQ(conv.VariantToUShort(&us, &v), DISP_E_OVERFLOW);
  EXPECT_EQ(us, 7);
  Var text;
  text.vt = VT_BSTR;
  text.bstrVal = bstrOf(u"abc");
  double d = 9.0;
  EXPECT_EQ(conv.VariantToDouble(&d, &text), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(d, 9.0);
}

TEST(NumbersAndBooleans, ByReferenceSourceOfOwnTypeIsReadDirectly) {
  PBCOMTypeConverter conv;
  LONG target = 77;
  VARIANT v{};
  v.vt = VT_BYREF | VT_I4;
  v.plVal = &target;
  int32_t l = 0;
  EXPECT_EQ(conv.VariantToLong(&l, &v), 0);
  EXPECT_EQ(l, 77);
  SHORT small = -3;
  v.vt = VT_BYREF | VT_I2;
  v.piVal = &small;
  EXPECT_EQ(conv.VariantToLong(&l, &v), 0);  // coerced
  EXPECT_EQ(l, -3);
  Var empty;
  double d = 5.0;
  EXPECT_EQ(conv.VariantToDouble(&d, &empty), 0);
  EXPECT_EQ(d, 0.0);
}

TEST(NumbersAndBooleans, DestinationRuleClearsByValueAndWritesThroughOwnTypeReference) {
  PBCOMTypeConverter conv;
  const long bstrs = ole::liveCount(ole::AllocKind::Bstr);
  Var v;
  v.vt = VT_BSTR;
  v.bstrVal = bstrOf(u"held");
  ASSERT_EQ(conv.DoubleToVariant(&v, 4.5), 0);
  EXPECT_EQ(v.vt, VT_R8);
  EXPECT_EQ(v.dblVal, 4.5);
  EXPECT_EQ(ole::liveCount(ole::AllocKind::Bstr), bstrs);

  double target = 0;
  VARIANT ref{};
  ref.vt = VT_BYREF | VT_R8;
  ref.pdblVal = &target;
  ASSERT_EQ(conv.DoubleToVariant(&ref, 12.5), 0);
  EXPECT_EQ(ref.vt, 0x4005);
  EXPECT_EQ(ref.pdblVal, &target);
  EXPECT_EQ(target, 12.5);
}

TEST(NumbersAndBooleans, ReferenceToStorageOfAnotherTypeIsRefused) {
  PBCOMTypeConverter conv;
  // A double written through a reference to a 16-bit integer would overwrite
  // six bytes past it.
  struct {
    SHORT value = 1;
    SHORT guard[3] = {2, 3, 4};
  } storage;
  VARIANT ref{};
  ref.vt = VT_BYREF | VT_I2;
  ref.piVal = &storage.value;
  EXPECT_EQ(conv.DoubleToVariant(&ref, 1.0e300), kPbcomErrBadArgument);
  EXPECT_EQ(ref.vt, VT_BYREF | VT_I2);
  EXPECT_EQ(storage.value, 1);
  EXPECT_EQ(storage.guard[2], 4);
  EXPECT_EQ(conv.LongToVariant(&ref, 5), kPbcomErrBadArgument);
  EXPECT_EQ(conv.BooleanToVariant(&ref, 1), kPbcomErrBadArgument);
  EXPECT_EQ(conv.CharToVariant(&ref, 'x'), kPbcomErrBadArgument);
  EXPECT_EQ(storage.value, 1);
  EXPECT_EQ(conv.ShortToVariant(&ref, 9), 0);
  EXPECT_EQ(storage.value, 9);
  // A reference with no storage behind it.
  VARIANT dangling{};
  dangling.vt = VT_BYREF | VT_R8;
  EXPECT_EQ(conv.DoubleToVariant(&dangling, 1.0), kPbcomErrBadArgument);
}

TEST(NumbersAndBooleans, BooleanMapping) {
  PBCOMTypeConverter conv;
  struct {
    VARIANT_BOOL in;
    int32_t out;
  } const kVariantBool[] = {{-1, 1}, {0, 0}, {1, 1}, {2, 2}, {-2, -2}, {32767, 32767}};
  for (const auto& c : kVariantBool) {
    SCOPED_TRACE(c.in);
    int32_t b = 99;
    EXPECT_EQ(conv.VariantBoolToBoolean(&b, c.in), 0);
    EXPECT_EQ(b, c.out);
    b = 99;
    EXPECT_EQ(conv.VariantBoolRefToBoolean(&b, &c.in), 0);
    EXPECT_EQ(b, c.out);
  }
  VARIANT_BOOL vb = 5;
  EXPECT_EQ(conv.BooleanToVariantBool(&vb, 7), 0);
  EXPECT_EQ(vb, VARIANT_TRUE);
  EXPECT_EQ(conv.BooleanToVariantBool(&vb, 0), 0);
  EXPECT_EQ(vb, VARIANT_FALSE);

  Var v;
  v.vt = VT_I4;
  v.lVal = 5;
  int32_t b = 0;
  EXPECT_EQ(conv.VariantToBoolean(&b, &v), 0);
  EXPECT_EQ(b, 1);
  v.vt = VT_I2;
  v.iVal = 0;
  EXPECT_EQ(conv.VariantToBoolean(&b, &v), 0);
  EXPECT_EQ(b, 0);
  v.vt = VT_NULL;
  b = 42;
  EXPECT_EQ(conv.VariantToBoolean(&b, &v), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(b, 42);

  Var out;
  EXPECT_EQ(conv.BooleanToVariant(&out, 7), 0);
  EXPECT_EQ(out.vt, VT_BOOL);
  EXPECT_EQ(out.boolVal, VARIANT_TRUE);
}

TEST(NumbersAndBooleans, MissingPointersGiveBadArgument) {
  PBCOMTypeConverter conv;
  Var v;
  int32_t b = 0;
  double d = 0;
  EXPECT_EQ(conv.VariantBoolToBoolean(nullptr, 1), kPbcomErrBadArgument);
  EXPECT_EQ(conv.VariantBoolRefToBoolean(&b, nullptr), kPbcomErrBadArgument);
  EXPECT_EQ(conv.BooleanToVariantBool(nullptr, 1), kPbcomErrBadArgument);
  EXPECT_EQ(conv.VariantToBoolean(nullptr, &v), kPbcomErrBadArgument);
  EXPECT_EQ(conv.BooleanToVariant(nullptr, 1), kPbcomErrBadArgument);
  EXPECT_EQ(conv.VariantToDouble(&d, nullptr), kPbcomErrBadArgument);
  EXPECT_EQ(conv.DoubleToVariant(nullptr, 1.0), kPbcomErrBadArgument);
}

}  // namespace
}  // namespace mvcomm::convert::test

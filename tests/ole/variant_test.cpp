// File: tests/ole/variant_test.cpp
//
// VARIANT ownership: what VariantClear frees, what VariantCopy and
// VariantCopyInd duplicate, and what they refuse.
#include "tests/ole/ole_test_support.h"

namespace mvcomm::ole::test {
namespace {

OLE_SUITE(VariantOwnership);

TEST_F(VariantOwnership, ClearFreesTextArraysAndReferences) {
  FakeDispatch obj;
  long bstrs = liveCount(AllocKind::Bstr);
  long arrays = liveCount(AllocKind::SafeArray);
  VARIANT v;
  VariantInit(&v);
  setText(&v, "x");
  ASSERT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);
  EXPECT_EQ(liveCount(AllocKind::Bstr), bstrs);

  v.vt = VT_ARRAY | VT_BSTR;
  v.parray = SafeArrayCreateVector(VT_BSTR, 0, 1);
  ASSERT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(liveCount(AllocKind::SafeArray), arrays);

  obj.AddRef();
  v.vt = VT_DISPATCH;
  v.pdispVal = &obj;
  ASSERT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(obj.refs(), 1u);

  BSTR kept = SysAllocString(u"kept");
  v.vt = VT_BSTR | VT_BYREF;
  v.pbstrVal = &kept;
  ASSERT_EQ(VariantClear(&v), S_OK);  // references own nothing
  EXPECT_EQ(text(kept), u"kept");
  SysFreeString(kept);

  v.vt = 0xFF;
  EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE);
  EXPECT_EQ(v.vt, 0xFF);
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

TEST_F(VariantOwnership, CopyDuplicatesTextArraysAndReferences) {
  FakeDispatch obj;
  Var src;
  setText(&src, "abc");
  Var dst;
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_NE(dst->bstrVal, src->bstrVal);
  EXPECT_EQ(narrow(dst->bstrVal), "abc");

  Var arr;
  arr->vt = VT_ARRAY | VT_I4;
  arr->parray = SafeArrayCreateVector(VT_I4, 0, 3);
  ASSERT_EQ(VariantCopy(&dst, &arr), S_OK);  // the old BSTR in dst is freed
  EXPECT_NE(dst->parray, arr->parray);

  Var d;
  d->vt = VT_DISPATCH;
  d->pdispVal = &obj;
  obj.AddRef();
  ASSERT_EQ(VariantCopy(&dst, &d), S_OK);
  EXPECT_EQ(obj.refs(), 3u);
  VariantClear(&dst);
  VariantClear(&d);
  EXPECT_EQ(obj.refs(), 1u);

  VARIANT dec;
  dec.decVal.scale = 2;
  dec.decVal.sign = DECIMAL_NEG;
  dec.decVal.Hi32 = 7;
  dec.decVal.Lo64 = 99;
  dec.vt = VT_DECIMAL;
  ASSERT_EQ(VariantCopy(&dst, &dec), S_OK);
  EXPECT_EQ(dst->decVal.Hi32, 7u);
  EXPECT_EQ(dst->decVal.scale, 2);
  EXPECT_EQ(dst->decVal.sign, DECIMAL_NEG);

  ASSERT_EQ(VariantCopy(&src, &src), S_OK);  // self-copy keeps the value
  EXPECT_EQ(narrow(src->bstrVal), "abc");
  VARIANT bad;
  VariantInit(&bad);
  bad.vt = VT_BLOB;
  EXPECT_EQ(VariantCopy(&dst, &bad), DISP_E_BADVARTYPE);
}

TEST_F(VariantOwnership, CopyOutOfMemoryLeavesAnEmptyDestination) {
  Var src;
  setText(&src, "abc");
  Var dst;
  setText(&dst, "old");
  failAllocation(AllocKind::Bstr, 1);
  EXPECT_EQ(VariantCopy(&dst, &src), E_OUTOFMEMORY);
  EXPECT_EQ(dst->vt, VT_EMPTY);
}

TEST_F(VariantOwnership, CopyIndDereferences) {
  BSTR text = SysAllocString(u"ref");
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_BSTR | VT_BYREF;
  ref.pbstrVal = &text;
  Var dst;
  ASSERT_EQ(VariantCopyInd(&dst, &ref), S_OK);
  EXPECT_EQ(dst->vt, VT_BSTR);
  EXPECT_NE(dst->bstrVal, text);

  ASSERT_EQ(VariantCopy(&dst, &ref), S_OK);  // plain copy keeps the reference
  EXPECT_EQ(dst->vt, VT_BSTR | VT_BYREF);
  EXPECT_EQ(dst->pbstrVal, &text);

  VARIANT inner;
  VariantInit(&inner);
  inner.vt = VT_I2;
  inner.iVal = -3;
  ref.vt = VT_VARIANT | VT_BYREF;
  ref.pvarVal = &inner;
  ASSERT_EQ(VariantCopyInd(&dst, &ref), S_OK);
  EXPECT_EQ(dst->vt, VT_I2);
  EXPECT_EQ(dst->iVal, -3);

  VARIANT inPlace;
  VariantInit(&inPlace);
  inPlace.vt = VT_BSTR | VT_BYREF;
  inPlace.pbstrVal = &text;
  ASSERT_EQ(VariantCopyInd(&inPlace, &inPlace), S_OK);
  EXPECT_EQ(inPlace.vt, VT_BSTR);
  EXPECT_EQ(narrow(inPlace.bstrVal), "ref");
  VariantClear(&inPlace);

  ref.vt = VT_I4 | VT_BYREF;
  ref.plVal = nullptr;
  EXPECT_EQ(VariantCopyInd(&dst, &ref), E_INVALIDARG);
  SysFreeString(text);
}

}  // namespace
}  // namespace mvcomm::ole::test

// File: tests/ole/safearray_test.cpp
//
// SAFEARRAY: feature flags and element sizes, the reversed bound order and
// index arithmetic, locks, copies in and out of elements, Redim of the last
// dimension, and the errors callers branch on.
#include <cstring>

#include "tests/ole/ole_test_support.h"

namespace mvcomm::ole::test {
namespace {

// Destroys an array at the end of a scope.
struct Array {
  SAFEARRAY* psa;
  explicit Array(SAFEARRAY* p) : psa(p) {}
  Array(const Array&) = delete;
  Array& operator=(const Array&) = delete;
  ~Array() { EXPECT_EQ(SafeArrayDestroy(psa), S_OK); }
};

OLE_SUITE(SafeArrayCreateTest);

TEST_F(SafeArrayCreateTest, FeaturesElementSizeAndStoredType) {
  const struct {
    VARTYPE vt;
    USHORT features;
    ULONG size;
  } kCases[] = {
      {VT_I1, 0x80, 1},   {VT_UI1, 0x80, 1},  {VT_I2, 0x80, 2},     {VT_UI2, 0x80, 2},
      {VT_BOOL, 0x80, 2}, {VT_I4, 0x80, 4},   {VT_UI4, 0x80, 4},    {VT_R4, 0x80, 4},
      {VT_INT, 0x80, 4},  {VT_UINT, 0x80, 4}, {VT_ERROR, 0x80, 4},  {VT_R8, 0x80, 8},
      {VT_DATE, 0x80, 8}, {VT_CY, 0x80, 8},   {VT_I8, 0x80, 8},     {VT_UI8, 0x80, 8},
      {VT_DECIMAL, 0x80, 16}, {VT_BSTR, 0x180, 8}, {VT_VARIANT, 0x880, 24},
      {VT_UNKNOWN, 0x240, 8}, {VT_DISPATCH, 0x440, 8},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.vt);
    SAFEARRAYBOUND b = {3, 0};
    Array a(SafeArrayCreate(c.vt, 1, &b));
    ASSERT_NE(a.psa, nullptr);
    EXPECT_EQ(a.psa->fFeatures, c.features);
    EXPECT_EQ(SafeArrayGetElemsize(a.psa), c.size);
    VARTYPE vt = 0;
    ASSERT_EQ(SafeArrayGetVartype(a.psa, &vt), S_OK);
    EXPECT_EQ(vt, c.vt);
    if (c.features & FADF_HAVEVARTYPE) {
      DWORD stored;
      std::memcpy(&stored, reinterpret_cast<char*>(a.psa) - 4, 4);
      EXPECT_EQ(stored, c.vt);
    }
    if (c.features & FADF_HAVEIID) {
      GUID iid;
      std::memcpy(&iid, reinterpret_cast<char*>(a.psa) - 16, 16);
      EXPECT_TRUE(IsEqualGUID(iid, c.vt == VT_UNKNOWN ? IID_IUnknown : IID_IDispatch));
    }
  }
}

TEST_F(SafeArrayCreateTest, RefusesTypesThatAreNotElements) {
  SAFEARRAYBOUND b = {3, 0};
  for (VARTYPE vt : std::initializer_list<VARTYPE>{VT_EMPTY, VT_NULL, VT_VOID, VT_LPSTR, 15,
                                                   VT_I4 | VT_BYREF}) {
    EXPECT_EQ(SafeArrayCreate(vt, 1, &b), nullptr) << vt;
  }
  EXPECT_EQ(SafeArrayCreate(VT_I4, 0, &b), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_I4, 1, nullptr), nullptr);
  SAFEARRAYBOUND huge[2] = {{0x10000, 0}, {0x10000, 0}};
  EXPECT_EQ(SafeArrayCreate(VT_I4, 2, huge), nullptr);  // 16 GiB: refused, not attempted
  SAFEARRAY* psa = nullptr;
  EXPECT_EQ(SafeArrayAllocDescriptor(0, &psa), E_INVALIDARG);
  EXPECT_EQ(SafeArrayAllocDescriptor(65536, &psa), E_INVALIDARG);
  EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
}

OLE_SUITE(SafeArrayIndex);

TEST_F(SafeArrayIndex, FirstIndexVariesFastestAndBoundsAreStoredReversed) {
  SAFEARRAYBOUND b[2] = {{42, 1}, {2, 23}};
  Array a(SafeArrayCreate(VT_I4, 2, b));
  ASSERT_NE(a.psa, nullptr);
  EXPECT_EQ(a.psa->rgsabound[0].cElements, 2u);  // dimension 2 first
  EXPECT_EQ(a.psa->rgsabound[0].lLbound, 23);
  EXPECT_EQ(a.psa->rgsabound[1].cElements, 42u);
  const struct {
    LONG i, j;
    std::ptrdiff_t offset;
  } kCases[] = {{1, 23, 0}, {3, 23, 8}, {20, 23, 76}, {3, 24, 176}, {42, 24, 332}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.i << "," << c.j);
    LONG idx[2] = {c.i, c.j};
    void* p = nullptr;
    ASSERT_EQ(SafeArrayPtrOfIndex(a.psa, idx, &p), S_OK);
    EXPECT_EQ(static_cast<char*>(p) - static_cast<char*>(a.psa->pvData), c.offset);
  }
  LONG lb, ub;
  ASSERT_EQ(SafeArrayGetLBound(a.psa, 1, &lb), S_OK);
  ASSERT_EQ(SafeArrayGetUBound(a.psa, 1, &ub), S_OK);
  EXPECT_EQ(lb, 1);
  EXPECT_EQ(ub, 42);
  ASSERT_EQ(SafeArrayGetLBound(a.psa, 2, &lb), S_OK);
  ASSERT_EQ(SafeArrayGetUBound(a.psa, 2, &ub), S_OK);
  EXPECT_EQ(lb, 23);
  EXPECT_EQ(ub, 24);
  EXPECT_EQ(SafeArrayGetLBound(a.psa, 0, &lb), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayGetUBound(a.psa, 3, &ub), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayGetLBound(nullptr, 1, &lb), E_INVALIDARG);
  EXPECT_EQ(SafeArrayGetDim(a.psa), 2u);
}

TEST_F(SafeArrayIndex, EveryIndexOutsideItsDimensionIsRefused) {
  SAFEARRAYBOUND b[3] = {{2, -1}, {3, 0}, {4, 10}};
  Array a(SafeArrayCreate(VT_I2, 3, b));
  const LONG kBad[][3] = {{-2, 0, 10}, {1, 0, 10}, {0, -1, 10}, {0, 3, 10}, {0, 0, 9}, {0, 0, 14}};
  for (const auto& idx : kBad) {
    SCOPED_TRACE(testing::Message() << idx[0] << "," << idx[1] << "," << idx[2]);
    SHORT v = 1;
    EXPECT_EQ(SafeArrayPutElement(a.psa, const_cast<LONG*>(idx), &v), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetElement(a.psa, const_cast<LONG*>(idx), &v), DISP_E_BADINDEX);
  }
  LONG ok[3] = {0, 2, 13};
  SHORT v = 5;
  EXPECT_EQ(SafeArrayPutElement(a.psa, ok, &v), S_OK);
  EXPECT_EQ(SafeArrayPutElement(nullptr, ok, &v), E_INVALIDARG);
  EXPECT_EQ(SafeArrayPutElement(a.psa, nullptr, &v), E_INVALIDARG);
  EXPECT_EQ(SafeArrayGetElement(a.psa, ok, nullptr), E_INVALIDARG);
  SHORT back = 0;
  EXPECT_EQ(SafeArrayGetElement(a.psa, ok, &back), S_OK);
  EXPECT_EQ(back, 5);
}

TEST_F(SafeArrayIndex, EmptyDimensionHasUpperBelowLower) {
  Array a(SafeArrayCreateVector(VT_BSTR, 5, 0));
  ASSERT_NE(a.psa, nullptr);
  LONG ub;
  ASSERT_EQ(SafeArrayGetUBound(a.psa, 1, &ub), S_OK);
  EXPECT_EQ(ub, 4);
  LONG idx = 5;
  BSTR out;
  EXPECT_EQ(SafeArrayGetElement(a.psa, &idx, &out), DISP_E_BADINDEX);
}

OLE_SUITE(SafeArrayLocks);

TEST_F(SafeArrayLocks, LockedArraysCannotBeDestroyedOrResized) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_I4, 0, 4);
  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
  EXPECT_EQ(data, psa->pvData);
  EXPECT_EQ(psa->cLocks, 1u);
  EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
  SAFEARRAYBOUND nb = {8, 0};
  EXPECT_EQ(SafeArrayRedim(psa, &nb), DISP_E_ARRAYISLOCKED);
  Var holder;
  holder->vt = VT_ARRAY | VT_I4;
  holder->parray = psa;
  EXPECT_EQ(VariantClear(&holder), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(holder->vt, VT_ARRAY | VT_I4);  // still owns it
  ASSERT_EQ(SafeArrayUnaccessData(psa), S_OK);
  EXPECT_EQ(SafeArrayUnlock(psa), E_UNEXPECTED);
  for (int i = 0; i < 65535; ++i) ASSERT_EQ(SafeArrayLock(psa), S_OK);
  EXPECT_EQ(SafeArrayLock(psa), E_UNEXPECTED);
  for (int i = 0; i < 65535; ++i) ASSERT_EQ(SafeArrayUnlock(psa), S_OK);
}

OLE_SUITE(SafeArrayElements);

TEST_F(SafeArrayElements, BstrElementsAreCopiedInAndOut) {
  Array a(SafeArrayCreateVector(VT_BSTR, 0, 2));
  Bstr s(u"hello");
  LONG i = 0;
  ASSERT_EQ(SafeArrayPutElement(a.psa, &i, s.get()), S_OK);
  BSTR stored = static_cast<BSTR*>(a.psa->pvData)[0];
  EXPECT_NE(stored, s.get());
  EXPECT_EQ(text(stored), u"hello");
  ASSERT_EQ(SafeArrayPutElement(a.psa, &i, s.get()), S_OK);  // the old copy is freed
  Bstr out;
  ASSERT_EQ(SafeArrayGetElement(a.psa, &i, out.out()), S_OK);
  EXPECT_NE(out.get(), static_cast<BSTR*>(a.psa->pvData)[0]);
  EXPECT_EQ(text(out.get()), u"hello");
  i = 1;
  ASSERT_EQ(SafeArrayPutElement(a.psa, &i, nullptr), S_OK);  // a null BSTR is a value
  BSTR none = reinterpret_cast<BSTR>(1);
  ASSERT_EQ(SafeArrayGetElement(a.psa, &i, &none), S_OK);
  EXPECT_EQ(none, nullptr);
}

TEST_F(SafeArrayElements, VariantElementsAreDeepCopiesAndGetDoesNotClear) {
  Array a(SafeArrayCreateVector(VT_VARIANT, 1, 1));
  Var v;
  setText(&v, "x");
  LONG i = 1;
  ASSERT_EQ(SafeArrayPutElement(a.psa, &i, &v), S_OK);
  EXPECT_NE(static_cast<VARIANT*>(a.psa->pvData)[0].bstrVal, v->bstrVal);
  VARIANT out;
  out.vt = VT_BSTR;
  out.bstrVal = reinterpret_cast<BSTR>(0x10);  // garbage GetElement must not free
  ASSERT_EQ(SafeArrayGetElement(a.psa, &i, &out), S_OK);
  EXPECT_EQ(out.vt, VT_BSTR);
  EXPECT_EQ(narrow(out.bstrVal), "x");
  VariantClear(&out);
}

TEST_F(SafeArrayElements, InterfaceElementsAreAddRefedAndReleased) {
  FakeDispatch obj;
  {
    Array a(SafeArrayCreateVector(VT_DISPATCH, 0, 2));
    LONG i = 0;
    ASSERT_EQ(SafeArrayPutElement(a.psa, &i, static_cast<IDispatch*>(&obj)), S_OK);
    EXPECT_EQ(obj.refs(), 2u);
    IDispatch* out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(a.psa, &i, &out), S_OK);
    EXPECT_EQ(out, &obj);
    EXPECT_EQ(obj.refs(), 3u);
    out->Release();
    ASSERT_EQ(SafeArrayPutElement(a.psa, &i, nullptr), S_OK);  // replaces and releases
    EXPECT_EQ(obj.refs(), 1u);
    ASSERT_EQ(SafeArrayPutElement(a.psa, &i, static_cast<IDispatch*>(&obj)), S_OK);
    i = 1;
    ASSERT_EQ(SafeArrayPutElement(a.psa, &i, static_cast<IDispatch*>(&obj)), S_OK);
    EXPECT_EQ(obj.refs(), 3u);
  }
  EXPECT_EQ(obj.refs(), 1u);  // destroying the array released both
}

OLE_SUITE(SafeArrayRedimTest);

TEST_F(SafeArrayRedimTest, ChangesOnlyTheLastDimensionAndKeepsTheData) {
  SAFEARRAYBOUND b[2] = {{3, 0}, {2, 0}};  // 3 x 2, index 0 fastest
  Array a(SafeArrayCreate(VT_I4, 2, b));
  for (LONG j = 0; j < 2; ++j) {
    for (LONG i = 0; i < 3; ++i) {
      LONG idx[2] = {i, j};
      LONG v = 10 * j + i;
      ASSERT_EQ(SafeArrayPutElement(a.psa, idx, &v), S_OK);
    }
  }
  SAFEARRAYBOUND grow = {4, 5};
  ASSERT_EQ(SafeArrayRedim(a.psa, &grow), S_OK);
  LONG lb, ub;
  ASSERT_EQ(SafeArrayGetLBound(a.psa, 2, &lb), S_OK);
  ASSERT_EQ(SafeArrayGetUBound(a.psa, 2, &ub), S_OK);
  EXPECT_EQ(lb, 5);  // renumbered, not moved
  EXPECT_EQ(ub, 8);
  ASSERT_EQ(SafeArrayGetUBound(a.psa, 1, &ub), S_OK);
  EXPECT_EQ(ub, 2);
  const struct {
    LONG i, j, value;
  } kCells[] = {{0, 5, 0}, {2, 5, 2}, {1, 6, 11}, {0, 7, 0}, {2, 8, 0}};
  for (const auto& c : kCells) {
    SCOPED_TRACE(testing::Message() << c.i << "," << c.j);
    LONG idx[2] = {c.i, c.j};
    LONG v = -1;
    ASSERT_EQ(SafeArrayGetElement(a.psa, idx, &v), S_OK);
    EXPECT_EQ(v, c.value);
  }
  EXPECT_EQ(SafeArrayRedim(nullptr, &grow), E_INVALIDARG);
  EXPECT_EQ(SafeArrayRedim(a.psa, nullptr), E_INVALIDARG);
}

TEST_F(SafeArrayRedimTest, ShrinkingFreesTheRemovedElements) {
  Array a(SafeArrayCreateVector(VT_BSTR, 0, 3));
  for (LONG i = 0; i < 3; ++i) {
    Bstr s(u"item");
    ASSERT_EQ(SafeArrayPutElement(a.psa, &i, s.get()), S_OK);
  }
  long live = liveCount(AllocKind::Bstr);
  SAFEARRAYBOUND shrink = {1, 0};
  ASSERT_EQ(SafeArrayRedim(a.psa, &shrink), S_OK);
  EXPECT_EQ(liveCount(AllocKind::Bstr), live - 2);
  SAFEARRAYBOUND none = {0, 0};
  ASSERT_EQ(SafeArrayRedim(a.psa, &none), S_OK);
  SAFEARRAYBOUND again = {2, 0};
  ASSERT_EQ(SafeArrayRedim(a.psa, &again), S_OK);
  LONG i = 1;
  BSTR out = reinterpret_cast<BSTR>(1);
  ASSERT_EQ(SafeArrayGetElement(a.psa, &i, &out), S_OK);
  EXPECT_EQ(out, nullptr);  // growth is zero-filled
}

OLE_SUITE(SafeArrayCopyTest);

TEST_F(SafeArrayCopyTest, CopiesAreDeepAndIndependent) {
  SAFEARRAYBOUND b[2] = {{2, 1}, {2, 1}};
  Array a(SafeArrayCreate(VT_VARIANT, 2, b));
  LONG idx[2] = {2, 1};
  Var v;
  setText(&v, "deep");
  ASSERT_EQ(SafeArrayPutElement(a.psa, idx, &v), S_OK);
  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(a.psa, &copy), S_OK);
  Array c(copy);
  EXPECT_EQ(c.psa->fFeatures, a.psa->fFeatures);
  EXPECT_EQ(SafeArrayGetDim(c.psa), 2u);
  Var out;
  ASSERT_EQ(SafeArrayGetElement(c.psa, idx, &out), S_OK);
  EXPECT_EQ(narrow(out->bstrVal), "deep");
  VARTYPE vt;
  ASSERT_EQ(SafeArrayGetVartype(c.psa, &vt), S_OK);
  EXPECT_EQ(vt, VT_VARIANT);

  SAFEARRAY* none = reinterpret_cast<SAFEARRAY*>(1);
  EXPECT_EQ(SafeArrayCopy(nullptr, &none), S_OK);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(SafeArrayCopy(a.psa, nullptr), E_INVALIDARG);
}

TEST_F(SafeArrayCopyTest, CopyDataNeedsTheSameShape) {
  Array a(SafeArrayCreateVector(VT_BSTR, 0, 2));
  Array same(SafeArrayCreateVector(VT_BSTR, 0, 2));
  Array other(SafeArrayCreateVector(VT_BSTR, 1, 2));
  Bstr s(u"z");
  LONG i = 0;
  ASSERT_EQ(SafeArrayPutElement(a.psa, &i, s.get()), S_OK);
  ASSERT_EQ(SafeArrayPutElement(same.psa, &i, s.get()), S_OK);  // replaced by the copy
  EXPECT_EQ(SafeArrayCopyData(a.psa, same.psa), S_OK);
  EXPECT_EQ(SafeArrayCopyData(a.psa, other.psa), E_INVALIDARG);
}

}  // namespace
}  // namespace mvcomm::ole::test

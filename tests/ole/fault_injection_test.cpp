// File: tests/ole/fault_injection_test.cpp
//
// Fail every allocation of an operation in turn, once and for good: each run
// must end in success or E_OUTOFMEMORY (or the call's own null result), and
// leave nothing behind.
#include <functional>

#include "tests/ole/ole_test_support.h"

namespace mvcomm::ole::test {
namespace {

// Runs op with the 1st, 2nd, ... allocation of `kind` failing until a run
// injects nothing; op returns its HRESULT.
void failEachInTurn(AllocKind kind, const std::function<HRESULT()>& op) {
  for (bool persistent : {false, true}) {
    for (long nth = 1; nth < 1000; ++nth) {
      SCOPED_TRACE(testing::Message() << "allocation " << nth << (persistent ? " onwards" : ""));
      LiveCounts before = LiveCounts::now();
      failAllocation(kind, nth, persistent);
      HRESULT hr = op();
      long injected = injectedFailures(kind);
      clearAllocationFailures();
      EXPECT_TRUE(hr == S_OK || hr == E_OUTOFMEMORY) << std::hex << hr;
      if (injected > 0) {
        EXPECT_EQ(hr, E_OUTOFMEMORY);
      }
      EXPECT_EQ(LiveCounts::now(), before);
      if (injected == 0) break;
    }
  }
}

OLE_SUITE(FaultInjection);

TEST_F(FaultInjection, CopyingAVariantArrayOfText) {
  Var src;
  src->vt = VT_ARRAY | VT_VARIANT;
  src->parray = SafeArrayCreateVector(VT_VARIANT, 0, 4);
  for (LONG i = 0; i < 4; ++i) {
    Var item;
    setText(&item, "element");
    ASSERT_EQ(SafeArrayPutElement(src->parray, &i, &item), S_OK);
  }
  auto op = [&] {
    Var dst;
    return VariantCopy(&dst, &src);
  };
  failEachInTurn(AllocKind::Bstr, op);
  failEachInTurn(AllocKind::SafeArray, op);
}

TEST_F(FaultInjection, ConvertingToText) {
  VARIANT d;
  VariantInit(&d);
  d.vt = VT_DATE;
  d.date = 37556.5;
  failEachInTurn(AllocKind::Bstr, [&] {
    Var dst;
    dst->vt = VT_I4;
    dst->lVal = 77;
    HRESULT hr = VariantChangeType(&dst, &d, 0, VT_BSTR);
    if (hr != S_OK) {
      EXPECT_EQ(dst->vt, VT_I4);  // untouched on failure
      EXPECT_EQ(dst->lVal, 77);
    }
    return hr;
  });
}

TEST_F(FaultInjection, ElementAccessAndClsidText) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, 1);
  Bstr s(u"value");
  LONG i = 0;
  ASSERT_EQ(SafeArrayPutElement(psa, &i, s.get()), S_OK);  // later puts replace it
  failEachInTurn(AllocKind::Bstr, [&] { return SafeArrayPutElement(psa, &i, s.get()); });
  failEachInTurn(AllocKind::Bstr, [&] {
    Bstr out;
    return SafeArrayGetElement(psa, &i, out.out());
  });
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
  failEachInTurn(AllocKind::CoTaskMem, [] {
    LPOLESTR text = nullptr;
    HRESULT hr = StringFromCLSID(IID_IDispatch, &text);
    CoTaskMemFree(text);
    return hr;
  });
  failEachInTurn(AllocKind::SafeArray, [] {
    SAFEARRAYBOUND b[2] = {{2, 0}, {3, 0}};
    SAFEARRAY* created = SafeArrayCreate(VT_VARIANT, 2, b);
    if (created == nullptr) return E_OUTOFMEMORY;
    return SafeArrayDestroy(created);
  });
}

}  // namespace
}  // namespace mvcomm::ole::test

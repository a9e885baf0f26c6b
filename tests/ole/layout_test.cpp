// File: tests/ole/layout_test.cpp
//
// Binary layout a caller in another language (or a stored file) relies on:
// struct offsets, the DECIMAL/VARIANT overlap, IID bytes and interface slots.
#include <cstddef>
#include <cstring>

#include "tests/ole/ole_test_support.h"

namespace mvcomm::ole::test {
namespace {

static_assert(sizeof(VARIANT) == 24);
static_assert(offsetof(VARIANT, decVal.scale) == 2 && offsetof(VARIANT, decVal.Hi32) == 4);
static_assert(offsetof(VARIANT, decVal.Lo64) == 8 && offsetof(VARIANT, dblVal) == 8);
static_assert(sizeof(SAFEARRAY) == 32 && offsetof(SAFEARRAY, rgsabound) == 24);
static_assert(sizeof(DECIMAL) == 16 && sizeof(CY) == 8 && sizeof(GUID) == 16);
static_assert(sizeof(EXCEPINFO) == 64 && sizeof(DISPPARAMS) == 24);
static_assert(sizeof(OLECHAR) == 2 && sizeof(VARIANT_BOOL) == 2 && sizeof(LONG) == 4);
static_assert(sizeof(SAFEARRAYBOUND) == 8 && offsetof(SAFEARRAYBOUND, lLbound) == 4);

OLE_SUITE(Layout);

TEST_F(Layout, DecimalReservedWordIsTheVariantTag) {
  VARIANT v;
  std::memset(&v, 0, sizeof v);
  v.decVal.scale = 3;
  v.decVal.Lo64 = 1500;
  v.vt = VT_DECIMAL;
  EXPECT_EQ(v.decVal.wReserved, VT_DECIMAL);
  EXPECT_EQ(v.decVal.scale, 3);
  EXPECT_EQ(v.decVal.Lo32, 1500u);
  EXPECT_EQ(v.decVal.Mid32, 0u);
}

TEST_F(Layout, InterfaceIdsHaveTheirStandardBytes) {
  const struct {
    const IID* iid;
    const char16_t* text;
  } kIds[] = {
      {&IID_IUnknown, u"{00000000-0000-0000-C000-000000000046}"},
      {&IID_IClassFactory, u"{00000001-0000-0000-C000-000000000046}"},
      {&IID_IDispatch, u"{00020400-0000-0000-C000-000000000046}"},
      {&IID_ITypeInfo, u"{00020401-0000-0000-C000-000000000046}"},
      {&IID_ITypeLib, u"{00020402-0000-0000-C000-000000000046}"},
      {&IID_ITypeComp, u"{00020403-0000-0000-C000-000000000046}"},
      {&IID_IObjectControl, u"{51372AEC-CAE7-11CF-BE81-00AA00A2FA25}"},
      {&IID_NULL, u"{00000000-0000-0000-0000-000000000000}"},
  };
  for (const auto& row : kIds) {
    SCOPED_TRACE(std::string(row.text, row.text + 38).c_str());
    OLECHAR buf[39];
    ASSERT_EQ(StringFromGUID2(*row.iid, buf, 39), 39);
    EXPECT_EQ(std::u16string(buf), std::u16string(row.text));
  }
  // Data1 is stored little-endian.
  const auto* bytes = reinterpret_cast<const unsigned char*>(&IID_IDispatch);
  EXPECT_EQ(bytes[0], 0x00);
  EXPECT_EQ(bytes[1], 0x04);
  EXPECT_EQ(bytes[2], 0x02);
  EXPECT_EQ(bytes[8], 0xC0);
  EXPECT_EQ(bytes[15], 0x46);
}

// Calls slot `index` of obj's vtable as a plain C function taking `this`,
// which is how a foreign caller reaches it.
template <typename R, typename... A>
R callSlot(void* obj, int index, A... args) {
  void** vtbl = *static_cast<void***>(obj);
  return reinterpret_cast<R (*)(void*, A...)>(vtbl[index])(obj, args...);
}

TEST_F(Layout, DispatchSlotsAreInStandardOrder) {
  FakeDispatch d;
  IDispatch* p = &d;
  EXPECT_EQ((callSlot<ULONG>(p, 1)), 2u);  // AddRef
  EXPECT_EQ((callSlot<ULONG>(p, 2)), 1u);  // Release
  UINT count = 7;
  EXPECT_EQ((callSlot<HRESULT, UINT*>(p, 3, &count)), S_OK);  // GetTypeInfoCount
  EXPECT_EQ(count, 0u);
  d.value.vt = VT_I4;
  d.value.lVal = 5;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  Var result;
  HRESULT hr = callSlot<HRESULT, DISPID, const IID*, LCID, WORD, DISPPARAMS*, VARIANT*,
                        EXCEPINFO*, UINT*>(p, 6, DISPID_VALUE, &IID_NULL, 0, DISPATCH_PROPERTYGET,
                                           &none, &result, nullptr, nullptr);  // Invoke
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(result->vt, VT_I4);
  EXPECT_EQ(d.invokeCalls, 1);
}

TEST_F(Layout, ErrorValuesMatchThePlatform) {
  const struct {
    HRESULT hr;
    unsigned long value;
  } kCodes[] = {
      {S_FALSE, 1},
      {E_NOTIMPL, 0x80004001},
      {E_NOINTERFACE, 0x80004002},
      {E_POINTER, 0x80004003},
      {E_FAIL, 0x80004005},
      {E_UNEXPECTED, 0x8000FFFF},
      {E_OUTOFMEMORY, 0x8007000E},
      {E_INVALIDARG, 0x80070057},
      {CLASS_E_NOAGGREGATION, 0x80040110},
      {CLASS_E_CLASSNOTAVAILABLE, 0x80040111},
      {REGDB_E_CLASSNOTREG, 0x80040154},
      {DISP_E_UNKNOWNINTERFACE, 0x80020001},
      {DISP_E_MEMBERNOTFOUND, 0x80020003},
      {DISP_E_PARAMNOTFOUND, 0x80020004},
      {DISP_E_TYPEMISMATCH, 0x80020005},
      {DISP_E_UNKNOWNNAME, 0x80020006},
      {DISP_E_NONAMEDARGS, 0x80020007},
      {DISP_E_BADVARTYPE, 0x80020008},
      {DISP_E_EXCEPTION, 0x80020009},
      {DISP_E_OVERFLOW, 0x8002000A},
      {DISP_E_BADINDEX, 0x8002000B},
      {DISP_E_ARRAYISLOCKED, 0x8002000D},
      {DISP_E_BADPARAMCOUNT, 0x8002000E},
      {DISP_E_PARAMNOTOPTIONAL, 0x8002000F},
      {DISP_E_NOTACOLLECTION, 0x80020011},
      {DISP_E_DIVBYZERO, 0x80020012},
      {TYPE_E_LIBNOTREGISTERED, 0x8002801D},
      {TYPE_E_INVALIDSTATE, 0x80028029},
      {TYPE_E_ELEMENTNOTFOUND, 0x8002802B},
      {TYPE_E_CANTLOADLIBRARY, 0x80029C4A},
  };
  for (const auto& row : kCodes) {
    SCOPED_TRACE(row.value);
    EXPECT_EQ(static_cast<unsigned long>(static_cast<ULONG>(row.hr)), row.value);
    EXPECT_EQ(FAILED(row.hr), row.value >= 0x80000000ul);
  }
}

}  // namespace
}  // namespace mvcomm::ole::test

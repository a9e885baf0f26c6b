// File: tests/ole/bstr_test.cpp
//
// BSTR layout and ownership, GUID text and task memory.
#include <cstdint>
#include <cstring>

#include "tests/ole/ole_test_support.h"

namespace mvcomm::ole::test {
namespace {

OLE_SUITE(BstrAlloc);

TEST_F(BstrAlloc, CarriesByteCountBeforeAndNulAfter) {
  Bstr b(u"abc");
  ASSERT_NE(b.get(), nullptr);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(b.get()) % alignof(void*), 0u);
  std::uint32_t count;
  std::memcpy(&count, reinterpret_cast<char*>(b.get()) - 4, 4);
  EXPECT_EQ(count, 6u);
  EXPECT_EQ(SysStringLen(b.get()), 3u);
  EXPECT_EQ(SysStringByteLen(b.get()), 6u);
  EXPECT_EQ(b.get()[3], 0);
}

TEST_F(BstrAlloc, NullInputsAndEmbeddedNuls) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);

  const char16_t withNul[] = {u'a', 0, u'b'};
  Bstr b(SysAllocStringLen(withNul, 3), 0);
  EXPECT_EQ(SysStringLen(b.get()), 3u);
  EXPECT_EQ(text(b.get()), std::u16string(withNul, 3));

  Bstr empty(SysAllocStringLen(nullptr, 0), 0);
  ASSERT_NE(empty.get(), nullptr);
  EXPECT_EQ(SysStringLen(empty.get()), 0u);
}

TEST_F(BstrAlloc, ByteLengthMayBeOdd) {
  Bstr b(SysAllocStringByteLen("hello", 5), 0);
  ASSERT_NE(b.get(), nullptr);
  EXPECT_EQ(SysStringByteLen(b.get()), 5u);
  EXPECT_EQ(SysStringLen(b.get()), 2u);
  EXPECT_EQ(std::memcmp(b.get(), "hello", 5), 0);
  EXPECT_EQ(reinterpret_cast<char*>(b.get())[5], 0);
  EXPECT_EQ(reinterpret_cast<char*>(b.get())[6], 0);
}

TEST_F(BstrAlloc, ReAllocFromItsOwnTextKeepsTheText) {
  BSTR b = SysAllocString(u"hello world");
  ASSERT_TRUE(SysReAllocString(&b, b + 6));
  EXPECT_EQ(text(b), u"world");
  ASSERT_TRUE(SysReAllocStringLen(&b, b, 3));
  EXPECT_EQ(text(b), u"wor");
  EXPECT_FALSE(SysReAllocString(nullptr, u"x"));
  SysFreeString(b);
}

TEST_F(BstrAlloc, FailedAllocationLeavesTheOldString) {
  BSTR b = SysAllocString(u"keep");
  failAllocation(AllocKind::Bstr, 1);
  EXPECT_FALSE(SysReAllocString(&b, u"replacement"));
  EXPECT_EQ(injectedFailures(AllocKind::Bstr), 1);
  EXPECT_EQ(text(b), u"keep");
  SysFreeString(b);
}

TEST_F(BstrAlloc, FailureHookCountsFromArming) {
  failAllocation(AllocKind::Bstr, 2);
  Bstr first(u"1");
  Bstr second(u"2");
  Bstr third(u"3");
  EXPECT_NE(first.get(), nullptr);
  EXPECT_EQ(second.get(), nullptr);
  EXPECT_NE(third.get(), nullptr);

  failAllocation(AllocKind::Bstr, 1, /*persistent=*/true);
  Bstr a(u"a"), b(u"b");
  EXPECT_EQ(a.get(), nullptr);
  EXPECT_EQ(b.get(), nullptr);
  EXPECT_EQ(injectedFailures(AllocKind::Bstr), 2);
  clearAllocationFailures();
  Bstr c(u"c");
  EXPECT_NE(c.get(), nullptr);
}

TEST_F(BstrAlloc, LiveCountFollowsAllocAndFree) {
  long before = liveCount(AllocKind::Bstr);
  BSTR a = SysAllocString(u"x");
  BSTR b = SysAllocStringByteLen(nullptr, 3);
  EXPECT_EQ(liveCount(AllocKind::Bstr), before + 2);
  SysFreeString(a);
  SysFreeString(b);
  EXPECT_EQ(liveCount(AllocKind::Bstr), before);
}

OLE_SUITE(GuidText);

TEST_F(GuidText, RoundTripsThroughClsidText) {
  const GUID g = {0x51372AEC, 0xCAE7, 0x11CF, {0xBE, 0x81, 0x00, 0xAA, 0x00, 0xA2, 0xFA, 0x25}};
  LPOLESTR s = nullptr;
  ASSERT_EQ(StringFromCLSID(g, &s), S_OK);
  EXPECT_EQ(std::u16string(s), u"{51372AEC-CAE7-11CF-BE81-00AA00A2FA25}");
  CLSID back;
  EXPECT_EQ(CLSIDFromString(s, &back), S_OK);
  EXPECT_TRUE(IsEqualGUID(back, g));
  CoTaskMemFree(s);

  IID lower;
  EXPECT_EQ(IIDFromString(u"{51372aec-cae7-11cf-be81-00aa00a2fa25}", &lower), S_OK);
  EXPECT_TRUE(IsEqualIID(lower, g));
}

TEST_F(GuidText, MalformedTextIsRefusedAndZeroesTheResult) {
  const char16_t* const kBad[] = {
      u"",
      u"51372AEC-CAE7-11CF-BE81-00AA00A2FA25",
      u"{51372AEC-CAE7-11CF-BE81-00AA00A2FA25",
      u"{51372AEC-CAE7-11CF-BE81-00AA00A2FA25}x",
      u"{51372AEC-CAE7-11CF-BE81-00AA00A2FA2G}",
      u"{51372AEC+CAE7-11CF-BE81-00AA00A2FA25}",
      u"{51372AEC-CAE7-11CF-BE8100-AA00A2FA25}",
      u"{ 1372AEC-CAE7-11CF-BE81-00AA00A2FA25}",
  };
  for (const char16_t* s : kBad) {
    SCOPED_TRACE(std::string(s, s + std::char_traits<char16_t>::length(s)));
    CLSID c = IID_IDispatch;
    EXPECT_EQ(CLSIDFromString(s, &c), CO_E_CLASSSTRING);
    EXPECT_TRUE(IsEqualGUID(c, CLSID_NULL));
    IID i = IID_IDispatch;
    EXPECT_EQ(IIDFromString(s, &i), E_INVALIDARG);
  }
  CLSID c;
  EXPECT_EQ(CLSIDFromString(nullptr, &c), CO_E_CLASSSTRING);
  EXPECT_EQ(CLSIDFromString(u"{00000000-0000-0000-0000-000000000000}", nullptr), E_INVALIDARG);
}

TEST_F(GuidText, Guid2NeedsRoomForTheNul) {
  OLECHAR buf[39];
  EXPECT_EQ(StringFromGUID2(IID_IUnknown, buf, 38), 0);
  EXPECT_EQ(StringFromGUID2(IID_IUnknown, nullptr, 39), 0);
  EXPECT_EQ(StringFromGUID2(IID_IUnknown, buf, 39), 39);
}

TEST_F(GuidText, ClsidTextReportsOutOfMemory) {
  failAllocation(AllocKind::CoTaskMem, 1);
  LPOLESTR s = reinterpret_cast<LPOLESTR>(1);
  EXPECT_EQ(StringFromCLSID(IID_IUnknown, &s), E_OUTOFMEMORY);
  EXPECT_EQ(s, nullptr);
}

OLE_SUITE(TaskMem);

TEST_F(TaskMem, ZeroBytesIsAFreeableBlockAndReallocKeepsData) {
  void* z = CoTaskMemAlloc(0);
  EXPECT_NE(z, nullptr);
  CoTaskMemFree(z);
  CoTaskMemFree(nullptr);

  auto* p = static_cast<char*>(CoTaskMemAlloc(4));
  std::memcpy(p, "abc", 4);
  p = static_cast<char*>(CoTaskMemRealloc(p, 1000));
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(p, "abc");
  EXPECT_EQ(CoTaskMemRealloc(p, 0), nullptr);  // frees
}

}  // namespace
}  // namespace mvcomm::ole::test

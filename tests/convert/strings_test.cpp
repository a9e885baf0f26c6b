// File: tests/convert/strings_test.cpp
//
// Text between UTF-16 and the VM's narrow strings, in UTF-8 and in a
// double-byte code page (CP936), and the one-byte character type.
#include <gtest/gtest.h>

#include "platform/ole/code_page.h"
#include "tests/convert/convert_test_support.h"

namespace mvcomm::convert::test {
namespace {

using ole::codePageName;
using ole::setCodePage;

// Two ideographs (zhong wen): CP936 D6 D0 CE C4, UTF-8 E4 B8 AD E6 96 87.
const std::u16string kTwoIdeographs = u"\u4E2D\u6587";

class Strings : public ConvertFixture {
 protected:
  void TearDown() override {
    ASSERT_TRUE(setCodePage("UTF-8"));
    ConvertFixture::TearDown();
  }
  std::string toVM(const std::u16string& text) {
    BSTR b = bstrOf(text);
    Ref<vm::IVMString> s;
    const int32_t status = conv_.BstrToVMString(s.out(), b);
    SysFreeString(b);
    EXPECT_EQ(status, 0);
    return textOf(s.get());
  }
  std::u16string fromVM(const char* narrow) {
    auto s = vmString(narrow);
    BSTR b = nullptr;
    EXPECT_EQ(conv_.VMStringToBstr(&b, s.get()), 0);
    std::u16string out = b ? std::u16string(b, SysStringLen(b)) : u"<null>";
    SysFreeString(b);
    return out;
  }
};

TEST_F(Strings, WideToNarrowKeepsEveryCharacterInEachCodePage) {
  struct {
    const char* codePage;
    std::u16string wide;
    const char* narrowHex;
  } const kCases[] = {
      {"UTF-8", u"ABC", "41 42 43"},
      {"UTF-8", kTwoIdeographs, "E4 B8 AD E6 96 87"},
      {"UTF-8", u"\u00E9t\u00E9", "C3 A9 74 C3 A9"},
      {"UTF-8", u"\U0001F600", "F0 9F 98 80"},          // a surrogate pair is one character
      {"UTF-8", std::u16string(1, u'\xD800') + u"x", "3F 78"},  // a lone half has no narrow form
      {"CP936", kTwoIdeographs, "D6 D0 CE C4"},
      {"CP936", u"A\u4E2D", "41 D6 D0"},
      {"CP936", u"\U0001F600!", "3F 21"},              // not in the code page: its default character
      {"CP437", u"\u00E9", "82"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.codePage);
    ASSERT_TRUE(setCodePage(c.codePage));
    EXPECT_EQ(hexOf(toVM(c.wide)), c.narrowHex);
  }
}

TEST_F(Strings, NarrowToWideStopsAtARejectedOrIncompleteSequence) {
  struct {
    const char* codePage;
    const char* narrow;
    std::u16string wide;
  } const kCases[] = {
      {"UTF-8", "ABC", u"ABC"},
      {"UTF-8", "", u""},
      {"UTF-8", "\xE4\xB8\xAD\xE6\x96\x87", kTwoIdeographs},
      {"UTF-8", "\xF0\x9F\x98\x80", u"\U0001F600"},
      {"UTF-8", "AB\xFF" "CD", u"AB"},
      {"UTF-8", "A\xE4\xB8", u"A"},          // cut inside a character
      {"UTF-8", "\xC0\x80", u""},            // overlong form
      {"UTF-8", "\xED\xA0\x80", u""},        // an encoded surrogate
      {"CP936", "\xD6\xD0\xCE\xC4", kTwoIdeographs},
      {"CP936", "A\xD6", u"A"},              // lead byte then the terminator
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.codePage) + " " + hexOf(c.narrow));
    ASSERT_TRUE(setCodePage(c.codePage));
    EXPECT_EQ(fromVM(c.narrow), c.wide);
  }
}

TEST_F(Strings, EmptyNullAndEmbeddedZeroTexts) {
  BSTR empty = SysAllocString(u"");
  Ref<vm::IVMString> s;
  EXPECT_EQ(conv_.BstrToVMString(s.out(), empty), 0);
  EXPECT_EQ(textOf(s.get()), "");
  SysFreeString(empty);

  EXPECT_EQ(conv_.BstrToVMString(s.out(), nullptr), kPbcomErrBadArgument);
  EXPECT_EQ(s.get(), nullptr);
  BSTR none = nullptr;
  EXPECT_EQ(conv_.BstrRefToVMString(s.out(), &none), 0);
  EXPECT_EQ(textOf(s.get()), "");

  EXPECT_EQ(toVM(std::u16string(u"ab\0cd", 5)), "ab");

  // An empty VM string gives an allocated empty BSTR.
  auto e = vmString("");
  BSTR out = nullptr;
  EXPECT_EQ(conv_.VMStringToBstr(&out, e.get()), 0);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(SysStringLen(out), 0u);
  SysFreeString(out);
}

TEST_F(Strings, WideTextAndVariantSources) {
  Ref<vm::IVMString> s;
  EXPECT_EQ(conv_.WideToVMString(s.out(), u"wide"), 0);
  EXPECT_EQ(textOf(s.get()), "wide");
  EXPECT_EQ(conv_.WideToVMString(s.out(), nullptr), kPbcomErrBadArgument);

  Var v;
  v.vt = VT_I4;
  v.lVal = -42;
  EXPECT_EQ(conv_.VariantToVMString(s.out(), &v), 0);
  EXPECT_EQ(textOf(s.get()), "-42");
  Var null;
  null.vt = VT_NULL;
  EXPECT_EQ(conv_.VariantToVMString(s.out(), &null), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(s.get(), nullptr);
}

TEST_F(Strings, VMStringIntoVariantByValueAndByReference) {
  auto s = vmString("new");
  Var v;
  v.vt = VT_I4;
  v.lVal = 5;
  EXPECT_EQ(conv_.VMStringToVariant(&v, s.get()), 0);
  EXPECT_EQ(v.vt, VT_BSTR);
  EXPECT_EQ(std::u16string(v.bstrVal), u"new");

  // Through a reference: the old BSTR stays its owner's to free.
  BSTR held = SysAllocString(u"old");
  BSTR slot = held;
  VARIANT ref{};
  ref.vt = VT_BYREF | VT_BSTR;
  ref.pbstrVal = &slot;
  EXPECT_EQ(conv_.VMStringToVariant(&ref, s.get()), 0);
  EXPECT_EQ(ref.vt, VT_BYREF | VT_BSTR);
  EXPECT_EQ(std::u16string(slot), u"new");
  EXPECT_EQ(std::u16string(held), u"old");
  SysFreeString(slot);
  SysFreeString(held);

  // A reference to a long cannot take a BSTR; nothing is allocated or kept.
  LONG number = 3;
  ref.vt = VT_BYREF | VT_I4;
  ref.plVal = &number;
  const Counts before = Counts::now();
  EXPECT_EQ(conv_.VMStringToVariant(&ref, s.get()), kPbcomErrBadArgument);
  EXPECT_EQ(number, 3);
  EXPECT_COUNTS_BACK(before);
}

TEST_F(Strings, VMStringIntoWideBuffers) {
  auto s = vmString("hey");
  OLECHAR buffer[8];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  EXPECT_EQ(conv_.VMStringToWideBuffer(buffer, s.get()), 0);
  EXPECT_EQ(std::u16string(buffer), u"hey");

  OLECHAR* allocated = nullptr;
  EXPECT_EQ(conv_.VMStringToWide(&allocated, s.get()), 0);
  ASSERT_NE(allocated, nullptr);
  EXPECT_EQ(std::u16string(allocated), u"hey");
  OLECHAR* kept = allocated;
  auto t = vmString("ok");
  EXPECT_EQ(conv_.VMStringToWide(&allocated, t.get()), 0);  // reused as it is
  EXPECT_EQ(allocated, kept);
  EXPECT_EQ(std::u16string(allocated), u"ok");
  CoTaskMemFree(allocated);
  EXPECT_EQ(conv_.VMStringToWide(nullptr, s.get()), kPbcomErrBadArgument);
  EXPECT_EQ(conv_.VMStringToWideBuffer(buffer, nullptr), kPbcomErrBadArgument);
}

TEST_F(Strings, CharactersFromVariants) {
  struct {
    const char* codePage;
    VARTYPE vt;
    const char16_t* text;  // for VT_BSTR and by-reference BSTR
    LONG number;           // for VT_I4
    int32_t status;
    unsigned char expected;  // 0xEE: untouched
  } const kCases[] = {
      {"UTF-8", VT_BSTR, u"xyz", 0, 0, 0x78},
      {"UTF-8", VT_BSTR, u"", 0, 0, 0},
      {"UTF-8", VT_BSTR, nullptr, 0, 0, 0},
      {"CP936", VT_BSTR, u"\u4E2D", 0, 0, 0xD6},  // its lead byte
      {"UTF-8", VT_BSTR, u"\u4E2D", 0, 0, 0xE4},
      {"UTF-8", VT_I4, nullptr, 300, DISP_E_OVERFLOW, 0xEE},
      {"UTF-8", VT_I4, nullptr, 65, 0, 65},
      {"UTF-8", VT_BYREF | VT_BSTR, u"65", 0, 0, 65},  // by reference: numeric coercion
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.codePage) + " vt " + std::to_string(c.vt));
    ASSERT_TRUE(setCodePage(c.codePage));
    BSTR text = c.text ? SysAllocString(c.text) : nullptr;
    VARIANT v{};
    v.vt = c.vt;
    if (c.vt == VT_BSTR) v.bstrVal = text;
    if (c.vt == (VT_BYREF | VT_BSTR)) v.pbstrVal = &text;
    if (c.vt == VT_I4) v.lVal = c.number;
    unsigned char ch = 0xEE;
    EXPECT_EQ(conv_.VariantToChar(&ch, &v), c.status);
    EXPECT_EQ(ch, c.expected);
    SysFreeString(text);
  }
  Var out;
  EXPECT_EQ(conv_.CharToVariant(&out, 0x80), 0);
  EXPECT_EQ(out.vt, VT_UI1);
  EXPECT_EQ(out.bVal, 0x80);
  unsigned char u = 0;
  char c = 0;
  const unsigned char src = 0xFE;
  EXPECT_EQ(conv_.CharToChar(&u, 0x41), 0);
  EXPECT_EQ(conv_.CharToChar(&c, 'z'), 0);
  EXPECT_EQ(conv_.CharRefToChar(&u, &src), 0);
  EXPECT_EQ(u, 0xFE);
  EXPECT_EQ(c, 'z');
  EXPECT_EQ(conv_.CharRefToChar(&u, nullptr), kPbcomErrBadArgument);
}

TEST(CodePage, UnknownNameChangesNothing) {
  ASSERT_TRUE(setCodePage("UTF-8"));
  EXPECT_FALSE(setCodePage("NO-SUCH-PAGE-123"));
  EXPECT_EQ(codePageName(), "UTF-8");
  ASSERT_TRUE(setCodePage("CP936"));
  EXPECT_EQ(codePageName(), "CP936");
  ASSERT_TRUE(setCodePage(""));
  EXPECT_EQ(codePageName(), "UTF-8");
}

}  // namespace
}  // namespace mvcomm::convert::test

// File: tests/arrays/array_elements_test.cpp
//
// The element step: every element type code 3 to 17 in both directions (with
// plain and VARIANT-element SAFEARRAYs), the codes without a conversion,
// element types that do not fit, and each failure status by injection.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "tests/arrays/array_test_support.h"

namespace mvcomm::arrays::test {
namespace {

using convert::kPbcomErrElementRead;
using convert::kPbcomErrNoElementConversion;

// Three element values of a code, as the 8 data bytes of a VARIANT of
// VariantTypeOf(code).
struct CodeCase {
  int32_t code;
  std::vector<uint64_t> raw;  // for BSTR: index into kTexts
};

const char16_t* const kTexts[] = {u"a", u"", u"xyz \u4E2D"};

template <typename T>
uint64_t rawOf(T v) {
  uint64_t raw = 0;
  std::memcpy(&raw, &v, sizeof v);
  return raw;
}

std::vector<CodeCase> allCodes() {
  return {
      {3, {rawOf<uint8_t>(0x41), rawOf<uint8_t>(0x80), rawOf<uint8_t>(0xFF)}},
      {4, {rawOf<int16_t>(1), rawOf<int16_t>(-2), rawOf<int16_t>(300)}},
      {5, {rawOf<uint16_t>(1), rawOf<uint16_t>(65535), rawOf<uint16_t>(0)}},
      {6, {rawOf<int16_t>(-1), rawOf<int16_t>(5), rawOf<int16_t>(32767)}},
      {7, {rawOf<uint16_t>(65535), rawOf<uint16_t>(0), rawOf<uint16_t>(7)}},
      {8, {rawOf<int32_t>(INT32_MIN), rawOf<int32_t>(0), rawOf<int32_t>(42)}},
      {9, {rawOf<uint32_t>(0xFFFFFFFFu), rawOf<uint32_t>(1), rawOf<uint32_t>(0)}},
      {10, {rawOf(2.5), rawOf(-1.0), rawOf(0.1)}},
      {11, {rawOf(1.5f), rawOf(-0.25f), rawOf(3e10f)}},
      {12, {rawOf(1e300), rawOf(-0.0), rawOf(3.25)}},
      {13, {rawOf<int16_t>(-1), rawOf<int16_t>(0), rawOf<int16_t>(-1)}},
      {14, {rawOf(37557.0), rawOf(1.0), rawOf(-5.0)}},
      {15, {rawOf(0.25), rawOf(0.5), rawOf(0.75)}},
      {16, {rawOf(37557.75), rawOf(-1.25), rawOf(0.5)}},
      {17, {0, 1, 2}},
  };
}

class ArrayElements : public ArrayFixture {
 protected:
  // A 1-D array (bounds 0..2) of the code's VARIANT type, or of VARIANTs.
  SAFEARRAY* filled(const CodeCase& c, bool variants) {
    const VARTYPE vt = PBCOMArrayMarshaller::VariantTypeOf(c.code);
    SAFEARRAY* psa = makeSafeArray(variants ? VARTYPE{VT_VARIANT} : vt, {{0, 2}});
    for (LONG i = 0; i < 3; ++i) {
      uint64_t raw = c.raw[i];
      BSTR text = nullptr;
      if (c.code == 17) {
        text = SysAllocString(kTexts[raw]);
        raw = rawOf(text);
      }
      if (variants) {
        VARIANT v{};
        v.vt = vt;
        std::memcpy(&v.llVal, &raw, sizeof raw);
        EXPECT_EQ(SafeArrayPutElement(psa, &i, &v), S_OK);
      } else if (c.code == 17) {
        EXPECT_EQ(SafeArrayPutElement(psa, &i, text), S_OK);
      } else {
        EXPECT_EQ(SafeArrayPutElement(psa, &i, &raw), S_OK);
      }
      SysFreeString(text);
    }
    return psa;
  }
  // The element's 8 data bytes (a BSTR compared as text by the caller).
  std::u16string textAt(SAFEARRAY* psa, LONG i) {
    if ((psa->fFeatures & FADF_VARIANT) != 0) {
      Var v;
      SafeArrayGetElement(psa, &i, &v);
      return v.vt == VT_BSTR && v.bstrVal ? std::u16string(v.bstrVal) : u"<not BSTR>";
    }
    BSTR b = nullptr;
    SafeArrayGetElement(psa, &i, &b);
    std::u16string out = b ? std::u16string(b) : u"<null>";
    SysFreeString(b);
    return out;
  }
  uint64_t rawAt(SAFEARRAY* psa, LONG i, VARTYPE* vt = nullptr) {
    uint64_t raw = 0;
    if ((psa->fFeatures & FADF_VARIANT) != 0) {
      Var v;
      SafeArrayGetElement(psa, &i, &v);
      if (vt) *vt = v.vt;
      std::memcpy(&raw, &v.llVal, sizeof raw);
      return raw;
    }
    SafeArrayGetElement(psa, &i, &raw);
    return raw;
  }
  uint64_t mask(int32_t code) {
    const VARTYPE vt = PBCOMArrayMarshaller::VariantTypeOf(code);
    switch (vt) {
      case VT_UI1: return 0xFF;
      case VT_I2: case VT_UI2: case VT_BOOL: return 0xFFFF;
      case VT_I4: case VT_UI4: case VT_R4: return 0xFFFFFFFFu;
      default: return ~uint64_t{0};
    }
  }
};

TEST_F(ArrayElements, EveryCodeRoundTripsThroughTheVM) {
  for (const CodeCase& c : allCodes()) {
    for (bool variants : {false, true}) {
      SCOPED_TRACE("code " + std::to_string(c.code) + (variants ? " VARIANT elements" : ""));
      SAFEARRAY* psa = filled(c, variants);
      Ref<vm::IVMArray> array;
      ASSERT_EQ(conv_.SafeArrayToVMArray(array.out(), context_.get(), psa, c.code, 1), 0);
      ASSERT_TRUE(array);
      for (int32_t i = 1; i <= 3; ++i) EXPECT_TRUE(isSet(array.get(), {i})) << i;

      // Back into a new SAFEARRAY and into an existing one of the same kind.
      SAFEARRAY* made = nullptr;
      ASSERT_EQ(conv_.VMArrayToSafeArray(&made, nullptr, array.get(), c.code), 0);
      ASSERT_NE(made, nullptr);
      SAFEARRAY* existing = makeSafeArray(
          variants ? VARTYPE{VT_VARIANT} : PBCOMArrayMarshaller::VariantTypeOf(c.code), {{0, 2}});
      ASSERT_EQ(conv_.VMArrayToSafeArray(&existing, nullptr, array.get(), c.code), 0);
      for (LONG i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        if (c.code == 17) {
          EXPECT_EQ(textAt(made, i + 1), kTexts[c.raw[i]]);
          EXPECT_EQ(textAt(existing, i), kTexts[c.raw[i]]);
          continue;
        }
        EXPECT_EQ(rawAt(made, i + 1) & mask(c.code), c.raw[i] & mask(c.code));
        VARTYPE vt = 0;
        EXPECT_EQ(rawAt(existing, i, &vt) & mask(c.code), c.raw[i] & mask(c.code));
        if (variants) {
          EXPECT_EQ(vt, PBCOMArrayMarshaller::VariantTypeOf(c.code));
        }
      }
      SafeArrayDestroy(existing);
      SafeArrayDestroy(made);
      SafeArrayDestroy(psa);
    }
  }
  EXPECT_TRUE(Counts::now() == ready_);
}

TEST_F(ArrayElements, ValuesAsTheVMSeesThem) {
  auto vmValueOf = [&](int32_t code, uint64_t raw) {
    CodeCase c{code, {raw, raw, raw}};
    SAFEARRAY* psa = filled(c, false);
    Ref<vm::IVMArray> array;
    EXPECT_EQ(conv_.SafeArrayToVMArray(array.out(), context_.get(), psa, code, 1), 0);
    SafeArrayDestroy(psa);
    return array;
  };
  int16_t integer = 0;
  at(vmValueOf(6, rawOf<uint16_t>(0xFFFF)).get(), {1})->getInteger(&integer);
  EXPECT_EQ(integer, -1);
  uint16_t unsignedInteger = 0;
  at(vmValueOf(7, rawOf<uint16_t>(0xFFFF)).get(), {1})->getUnsignedInteger(&unsignedInteger);
  EXPECT_EQ(unsignedInteger, 65535);
  int32_t boolean = 9;
  at(vmValueOf(13, rawOf<int16_t>(-1)).get(), {1})->getBoolean(&boolean);
  EXPECT_EQ(boolean, 1);
  at(vmValueOf(13, rawOf<int16_t>(0)).get(), {1})->getBoolean(&boolean);
  EXPECT_EQ(boolean, 0);

  // A VM boolean 1 reaches VT_BOOL as -1; a decimal 2.5 reaches a VARIANT
  // array as VT_R8 2.5.
  auto flags = makeVMArray(13, {{1, 1}});
  vm::IVMValue* value = nullptr;
  ASSERT_EQ(vm::vmMakeValue(13, context_.get(), &value), 0);
  value->setBoolean(1);
  int32_t one = 1;
  flags->storeElement(&one, 1, value);
  SAFEARRAY* out = nullptr;
  ASSERT_EQ(conv_.VMArrayToSafeArray(&out, nullptr, flags.get(), 13), 0);
  EXPECT_EQ(static_cast<int16_t>(rawAt(out, 1)), -1);
  SafeArrayDestroy(out);
}

TEST_F(ArrayElements, VariantElementsAreCoercedOrEndTheWalk) {
  SAFEARRAY* psa = makeSafeArray(VT_VARIANT, {{1, 3}});
  const char16_t* texts[] = {u"42", u"abc", u"7"};
  for (LONG i = 1; i <= 3; ++i) {
    Var v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(texts[i - 1]);
    ASSERT_EQ(SafeArrayPutElement(psa, &i, &v), S_OK);
  }
  PBCOMArrayMarshaller walker(psa, vm::kTypeLong, context_.get(), 1);
  ASSERT_NE(walker.vmArray(), nullptr);
  EXPECT_EQ(walker.FillVMArray(), kPbcomErrElementRead);
  EXPECT_EQ(longAt(walker.vmArray(), {1}), 42);
  EXPECT_FALSE(isSet(walker.vmArray(), {2}));
  EXPECT_FALSE(isSet(walker.vmArray(), {3}));  // after the failure nothing more
  SafeArrayDestroy(psa);
}

TEST_F(ArrayElements, ShiftedTwoDimensionalIndexMapping) {
  // Bounds 1..2 (kept) and 0..1 (moved up): SAFEARRAY (2,0) is VM (2,1).
  SAFEARRAY* psa = makeSafeArray(VT_I4, {{1, 2}, {0, 1}});
  putLong(psa, {2, 0}, 77);
  Ref<vm::IVMArray> array;
  ASSERT_EQ(conv_.SafeArrayToVMArray(array.out(), context_.get(), psa, vm::kTypeLong, 1), 0);
  EXPECT_EQ(longAt(array.get(), {2, 1}), 77);
  SafeArrayDestroy(psa);
}

TEST_F(ArrayElements, CodesWithoutConversion) {
  for (int32_t code : {18, 19, 20}) {
    SCOPED_TRACE(code);
    auto array = makeVMArray(code, {{1, 2}});
    PBCOMArrayMarshaller walker(array.get(), nullptr, code);
    const int32_t status = walker.FillSafeArray();
    // Code 19 gives a SAFEARRAY of VT_DISPATCH with nothing stored.
    if (walker.safeArray() != nullptr) {
      EXPECT_EQ(status, kPbcomErrNoElementConversion);
      IUnknown* element = reinterpret_cast<IUnknown*>(1);
      LONG i = 1;
      if (code == 19) {
        SafeArrayGetElement(walker.safeArray(), &i, &element);
        EXPECT_EQ(element, nullptr);
      }
      SafeArrayDestroy(walker.safeArray());
    }
    EXPECT_EQ(PBCOMArrayMarshaller::VariantTypeOf(code), code == 19 ? VT_DISPATCH : VT_SAFEARRAY);
  }
  EXPECT_EQ(PBCOMArrayMarshaller::VariantTypeOf(2), VT_UI4);
  EXPECT_EQ(PBCOMArrayMarshaller::VariantTypeOf(21), VT_UI4);
  // SAFEARRAY -> VM for a code with no conversion sets nothing.
  SAFEARRAY* psa = makeSafeArray(VT_I4, {{1, 2}});
  PBCOMArrayMarshaller walker(psa, vm::kTypeObject, context_.get(), 1);
  EXPECT_LT(walker.FillVMArray(), 0);
  EXPECT_FALSE(isSet(walker.vmArray(), {1}));
  SafeArrayDestroy(psa);
}

TEST_F(ArrayElements, ElementsOfAnotherSizeOrKindAreRefused) {
  // SAFEARRAY -> VM: each pairing would read past the element buffer, read a
  // number as a BSTR, or a BSTR as a number.
  struct {
    VARTYPE vt;
    int32_t code;
  } const kToVM[] = {
      {VT_DECIMAL, 10}, {VT_DECIMAL, 12}, {VT_BSTR, 8}, {VT_I4, 17}, {VT_R8, 17},
      {VT_I2, 8},  {VT_I4, 6}, {VT_UNKNOWN, 8}, {VT_CY, 3},
  };
  for (const auto& c : kToVM) {
    SCOPED_TRACE(std::to_string(c.vt) + " as code " + std::to_string(c.code));
    SAFEARRAY* psa = makeSafeArray(c.vt, {{1, 2}});
    ASSERT_NE(psa, nullptr);
    PBCOMArrayMarshaller walker(psa, c.code, context_.get(), 1);
    ASSERT_NE(walker.vmArray(), nullptr);
    EXPECT_EQ(walker.FillVMArray(), kPbcomErrElementRead);
    EXPECT_FALSE(isSet(walker.vmArray(), {1}));
    SafeArrayDestroy(psa);
  }
  // VM -> an existing SAFEARRAY: nothing of another width is written, and an
  // array of another dimension count is left alone.
  auto longs = makeVMArray(vm::kTypeLong, {{1, 2}});
  storeLong(longs.get(), {1}, 0x12345678);
  storeLong(longs.get(), {2}, 2);
  struct {
    VARTYPE vt;
    std::vector<Dim> dims;
  } const kFromVM[] = {
      {VT_I2, {{1, 2}}}, {VT_R8, {{1, 2}}}, {VT_BSTR, {{1, 2}}}, {VT_DECIMAL, {{1, 2}}},
      {VT_I4, {{1, 2}, {1, 1}}},
  };
  for (const auto& c : kFromVM) {
    SCOPED_TRACE(c.vt);
    SAFEARRAY* psa = makeSafeArray(c.vt, c.dims);
    PBCOMArrayMarshaller walker(longs.get(), psa, vm::kTypeLong);
    EXPECT_EQ(walker.FillSafeArray(), kPbcomErrElementRead);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (ULONG i = 0; i < psa->cbElements * 2; ++i) EXPECT_EQ(bytes[i], 0) << i;
    SafeArrayUnaccessData(psa);
    SafeArrayDestroy(psa);
  }
}

TEST_F(ArrayElements, EachFailureEndsTheWalkWithItsStatus) {
  auto longs = makeVMArray(vm::kTypeLong, {{1, 3}});
  for (int32_t i = 1; i <= 3; ++i) storeLong(longs.get(), {i}, i);
  auto texts = makeVMArray(vm::kTypeString, {{1, 2}});
  for (int32_t i = 1; i <= 2; ++i) {
    vm::IVMValue* value = nullptr;
    ASSERT_EQ(vm::vmMakeValue(vm::kTypeString, context_.get(), &value), 0);
    auto text = vmString("t");
    ASSERT_EQ(value->setString(text.get()), 0);
    ASSERT_EQ(texts->storeElement(&i, 1, value), 0);
  }
  SAFEARRAY* source = makeSafeArray(VT_I4, {{1, 3}});
  for (int32_t i = 1; i <= 3; ++i) putLong(source, {i}, i);
  struct {
    const char* what;
    vm::Op op;
    int32_t expected;
  } const kCases[] = {
      {"to SAFEARRAY", vm::Op::ArrayElementAt, kPbcomErrElementRead},
      {"to SAFEARRAY", vm::valueGetOp(vm::kTypeLong), -77},
      {"strings to SAFEARRAY", vm::Op::StringText, E_FAIL},
      {"to VM", vm::Op::MakeValue, -77},
      {"to VM", vm::valueSetOp(vm::kTypeLong), -77},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.what) + " op " + std::to_string(static_cast<int>(c.op)));
    const Counts before = Counts::now();
    const std::string what = c.what;
    if (what == "to VM") {
      PBCOMArrayMarshaller walker(source, vm::kTypeLong, context_.get(), 1);
      vm::testing::ScopedFailure failure(2, -77, c.op);
      EXPECT_EQ(walker.FillVMArray(), c.expected);
      EXPECT_TRUE(isSet(walker.vmArray(), {1}));
      EXPECT_FALSE(isSet(walker.vmArray(), {2}));
      EXPECT_FALSE(isSet(walker.vmArray(), {3}));
    } else {
      SAFEARRAY* psa = nullptr;
      {
        const bool strings = what == "strings to SAFEARRAY";
        PBCOMArrayMarshaller walker(strings ? texts.get() : longs.get(), nullptr,
                                    strings ? vm::kTypeString : vm::kTypeLong);
        vm::testing::ScopedFailure failure(strings ? 1 : 2, -77, c.op);
        EXPECT_EQ(walker.FillSafeArray(), c.expected);
        psa = walker.safeArray();
      }
      if (what == "to SAFEARRAY") {
        EXPECT_EQ(longIn(psa, {1}), 1);
        EXPECT_EQ(longIn(psa, {2}), 0);
      }
      SafeArrayDestroy(psa);
    }
    EXPECT_COUNTS_BACK(before);
  }
  SafeArrayDestroy(source);
}

TEST_F(ArrayElements, AFailedDecimalOrDateConversionStoresNothingAndEndsTheWalk) {
  // The second element's conversion fails: the first is stored, the second
  // and third keep the sentinel, and the walk gives the converter's status.
  constexpr double kSentinel = 99.0;
  struct {
    int32_t code;
    double values[3];
    vm::Op op;
    int32_t expected;
  } const kCases[] = {
      {vm::kTypeDecimal, {2.5, -1.0, 0.1}, vm::Op::DecimalToDouble, -77},
      {vm::kTypeDate, {37557.0, 1.0, 2.0}, vm::Op::DateDayNumber, convert::kPbcomErrNoDayNumber},
      {vm::kTypeTime, {0.25, 0.5, 0.75}, vm::Op::TimeSecondsFrom, convert::kPbcomErrNoDayNumber},
      {vm::kTypeDateTime, {37557.75, 2.5, 3.5}, vm::Op::DateTimeDatePart,
       convert::kPbcomErrNoDayNumber},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE("code " + std::to_string(c.code));
    const VARTYPE vt = PBCOMArrayMarshaller::VariantTypeOf(c.code);
    SAFEARRAY* source = makeSafeArray(vt, {{1, 3}});
    SAFEARRAY* target = makeSafeArray(vt, {{1, 3}});
    for (LONG i = 1; i <= 3; ++i) {
      double value = c.values[i - 1];
      double sentinel = kSentinel;
      ASSERT_EQ(SafeArrayPutElement(source, &i, &value), S_OK);
      ASSERT_EQ(SafeArrayPutElement(target, &i, &sentinel), S_OK);
    }
    Ref<vm::IVMArray> array;
    ASSERT_EQ(conv_.SafeArrayToVMArray(array.out(), context_.get(), source, c.code, 1), 0);
    const Counts before = Counts::now();
    {
      PBCOMArrayMarshaller walker(array.get(), target, c.code);
      vm::testing::ScopedFailure failure(2, -77, c.op);
      EXPECT_EQ(walker.FillSafeArray(), c.expected);
    }
    EXPECT_EQ(rawAt(target, 1), rawOf(c.values[0]));
    EXPECT_EQ(rawAt(target, 2), rawOf(kSentinel));
    EXPECT_EQ(rawAt(target, 3), rawOf(kSentinel));
    EXPECT_COUNTS_BACK(before);
    SafeArrayDestroy(target);
    SafeArrayDestroy(source);
  }
}

// Fails the 1st, 2nd, ... VM call of a whole conversion until a run injects
// nothing: each run ends in 0, and leaves nothing behind.
TEST_F(ArrayElements, EveryVMCallFailedInTurnLeavesNothingBehind) {
  SAFEARRAY* dates = makeSafeArray(VT_DATE, {{0, 1}, {1, 2}});
  double when = 37557.75;
  for (const auto& index : indicesOf({{0, 1}, {1, 2}})) {
    std::vector<int32_t> i = index;
    SafeArrayPutElement(dates, reinterpret_cast<LONG*>(i.data()), &when);
  }
  Ref<vm::IVMArray> source;
  ASSERT_EQ(conv_.SafeArrayToVMArray(source.out(), context_.get(), dates, vm::kTypeDateTime, 1), 0);
  const Counts baseline = Counts::now();
  for (int direction = 0; direction < 2; ++direction) {
    for (uint64_t nth = 1;; ++nth) {
      SCOPED_TRACE("direction " + std::to_string(direction) + " call " + std::to_string(nth));
      bool fired = false;
      {
        vm::testing::ScopedFailure failure(nth, -77);
        if (direction == 0) {
          Ref<vm::IVMArray> out;
          EXPECT_EQ(conv_.SafeArrayToVMArray(out.out(), context_.get(), dates, 16, 1), 0);
        } else {
          SAFEARRAY* out = nullptr;
          EXPECT_EQ(conv_.VMArrayToSafeArray(&out, nullptr, source.get(), 16), 0);
          SafeArrayDestroy(out);
        }
        fired = vm::testing::fired();
      }
      EXPECT_TRUE(Counts::now() == baseline) << convert::test::describe(Counts::now());
      if (!fired) break;
      ASSERT_LT(nth, 200u);
    }
  }
  source.reset();
  SafeArrayDestroy(dates);
}

}  // namespace
}  // namespace mvcomm::arrays::test

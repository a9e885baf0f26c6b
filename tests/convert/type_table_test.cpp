// File: tests/convert/type_table_test.cpp
//
// The type table and its lookups: first row wins, ASCII-only case folding,
// and the argument errors.
#include <gtest/gtest.h>

#include <string>

#include "convert/pbcom_type_converter.h"
#include "convert/pbcom_type_table.h"

namespace mvcomm::convert::test {
namespace {

TEST(PBCOMTypeTable, HasNineteenRowsEndingInTheVoidRow) {
  ASSERT_EQ(PBCOMTypeTable.size(), 19u);
  EXPECT_STREQ(PBCOMTypeTable[18].pbType, "");
  EXPECT_EQ(PBCOMTypeTable[18].variantType, VT_VOID);
  // The blob's native name differs from its automation name by one blank.
  EXPECT_EQ(std::string(PBCOMTypeTable[13].nativeType), std::string("SAFEARRAY ** "));
  EXPECT_EQ(std::string(PBCOMTypeTable[13].automationType) + " ", PBCOMTypeTable[13].nativeType);
}

struct NameCase {
  const char* lookup;  // "native", "automation"
  const char* name;
  const char* pbType;  // expected, or nullptr for E_FAIL
};

TEST(PBCOMTypeConverter, FindPBTypeTakesTheFirstMatchingRow) {
  constexpr NameCase kCases[] = {
      {"native", "SHORT", "boolean"},
      {"native", "short", "boolean"},
      {"automation", "short", "integer"},
      {"native", "double", "double"},
      {"automation", "double", "double"},
      {"native", "struct tm", "date"},
      {"native", "IUnknown *", "oleobject"},
      {"automation", "IDispatch *", "oleobject"},
      {"native", "void", ""},
      {"automation", "VOID", ""},
      {"native", "SAFEARRAY ** ", "blob"},
      {"native", "SAFEARRAY **", nullptr},  // the native name keeps its blank
      {"automation", "SAFEARRAY **", "blob"},
      {"native", "shorts", nullptr},
      {"native", "", nullptr},
  };
  for (const NameCase& c : kCases) {
    SCOPED_TRACE(std::string(c.lookup) + " '" + c.name + "'");
    const char* found = "untouched";
    const int32_t status = std::string(c.lookup) == "native"
                               ? PBCOMTypeConverter::FindPBTypeByNativeType(c.name, &found)
                               : PBCOMTypeConverter::FindPBTypeByAutomationType(c.name, VT_EMPTY, &found);
    if (c.pbType == nullptr) {
      EXPECT_EQ(status, E_FAIL);
      EXPECT_STREQ(found, "untouched");
    } else {
      EXPECT_EQ(status, S_OK);
      EXPECT_STREQ(found, c.pbType);
    }
  }
}

TEST(PBCOMTypeConverter, FindPBTypeByVariantTypeWhenNoNameIsGiven) {
  struct {
    VARTYPE vt;
    const char* pbType;
  } const kCases[] = {
      {VT_DATE, "date"}, {VT_R8, "double"}, {VT_DISPATCH, "Instance"}, {VT_VOID, ""},
      {VT_BOOL, "boolean"}, {static_cast<VARTYPE>(VT_ARRAY | VT_UI1), "blob"}, {VT_I8, nullptr},
      {VT_EMPTY, nullptr},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.vt);
    const char* found = "untouched";
    const int32_t status = PBCOMTypeConverter::FindPBTypeByAutomationType(nullptr, c.vt, &found);
    EXPECT_EQ(status, c.pbType ? S_OK : E_FAIL);
    EXPECT_STREQ(found, c.pbType ? c.pbType : "untouched");
  }
}

TEST(PBCOMTypeConverter, FindAutomationAndNativeTypeOfBlob) {
  const char* automation = nullptr;
  VARTYPE vt = 0;
  EXPECT_EQ(PBCOMTypeConverter::FindAutomationType("Blob", &automation, &vt), S_OK);
  EXPECT_STREQ(automation, "SAFEARRAY **");
  EXPECT_EQ(vt, 0x2011);
  const char* native = nullptr;
  EXPECT_EQ(PBCOMTypeConverter::FindNativeType("blob", &native), S_OK);
  EXPECT_STREQ(native, "SAFEARRAY ** ");
  // Either out-pointer alone is enough.
  vt = 0;
  EXPECT_EQ(PBCOMTypeConverter::FindAutomationType("DATETIME", nullptr, &vt), S_OK);
  EXPECT_EQ(vt, VT_DATE);
  automation = nullptr;
  EXPECT_EQ(PBCOMTypeConverter::FindAutomationType("instance", &automation, nullptr), S_OK);
  EXPECT_STREQ(automation, "LPDISPATCH");
}

TEST(PBCOMTypeConverter, CaseFoldingIsAsciiOnly) {
  EXPECT_TRUE(typeNameEquals("DateTime", "datetime"));
  EXPECT_TRUE(typeNameEquals("", ""));
  EXPECT_FALSE(typeNameEquals("date", "datetime"));
  EXPECT_FALSE(typeNameEquals("datetime", "date"));
  // Bytes above 0x7F never fold: "\xC4" is not "\xE4".
  EXPECT_FALSE(typeNameEquals("\xC4", "\xE4"));
  EXPECT_FALSE(typeNameEquals("[", "{"));  // '[' + 32 is '{'; only letters fold
}

TEST(PBCOMTypeConverter, NeedsConversionReadsTheFlavourFlag) {
  struct {
    const char* name;
    int32_t native;
    int32_t automation;
  } const kCases[] = {
      {"blob", 0, 1}, {"string", 1, 1}, {"Integer", 0, 0}, {"decimal", 1, 1}, {"", 0, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    int32_t flag = -5;
    EXPECT_EQ(PBCOMTypeConverter::NeedsConversion(c.name, 0, &flag), S_OK);
    EXPECT_EQ(flag, c.native);
    EXPECT_EQ(PBCOMTypeConverter::NeedsConversion(c.name, 7, &flag), S_OK);
    EXPECT_EQ(flag, c.automation);
  }
  int32_t flag = -5;
  EXPECT_EQ(PBCOMTypeConverter::NeedsConversion("money", 1, &flag), E_FAIL);
  EXPECT_EQ(flag, -5);
}

TEST(PBCOMTypeConverter, LookupsRefuseMissingArguments) {
  const char* text = nullptr;
  VARTYPE vt = 0;
  int32_t flag = 0;
  EXPECT_EQ(PBCOMTypeConverter::FindNativeType(nullptr, &text), E_INVALIDARG);
  EXPECT_EQ(PBCOMTypeConverter::FindNativeType("long", nullptr), E_INVALIDARG);
  EXPECT_EQ(PBCOMTypeConverter::FindAutomationType(nullptr, &text, &vt), E_INVALIDARG);
  EXPECT_EQ(PBCOMTypeConverter::FindAutomationType("long", nullptr, nullptr), E_INVALIDARG);
  EXPECT_EQ(PBCOMTypeConverter::FindPBTypeByNativeType(nullptr, &text), E_INVALIDARG);
  EXPECT_EQ(PBCOMTypeConverter::FindPBTypeByNativeType("long", nullptr), E_INVALIDARG);
  EXPECT_EQ(PBCOMTypeConverter::FindPBTypeByAutomationType("long", VT_I4, nullptr), E_INVALIDARG);
  EXPECT_EQ(PBCOMTypeConverter::NeedsConversion(nullptr, 0, &flag), E_INVALIDARG);
}

}  // namespace
}  // namespace mvcomm::convert::test

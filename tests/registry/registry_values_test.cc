// Values: storage, sizes and buffers, the default value, enumeration order.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/registry/winreg.h"
#include "tests/registry/reg_helpers.h"
#include "testing/temp_registry.h"

namespace mvcomm::testing {
namespace {

class RegistryValues : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "V", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key_.out(), nullptr),
              ERROR_SUCCESS);
  }
  LONG set(const char* name, DWORD type, const void* data, DWORD size) {
    return RegSetValueExA(key_.get(), name, 0, type, static_cast<const BYTE*>(data), size);
  }
  std::string raw(const char* name, DWORD* type = nullptr) {
    DWORD size = 0;
    if (RegQueryValueExA(key_.get(), name, nullptr, type, nullptr, &size) != ERROR_SUCCESS) return "<missing>";
    std::string bytes(size, '?');
    if (RegQueryValueExA(key_.get(), name, nullptr, type, reinterpret_cast<BYTE*>(bytes.data()), &size) !=
        ERROR_SUCCESS) {
      return "<failed>";
    }
    bytes.resize(size);
    return bytes;
  }

  TempRegistry registry_;
  Key key_;
};

TEST_F(RegistryValues, StringsAlwaysComeBackTerminated) {
  struct Case {
    const char* name;
    DWORD type;
    std::string given;
    std::string stored;
  };
  const Case cases[] = {
      {"with", REG_SZ, std::string("abc\0", 4), std::string("abc\0", 4)},
      {"without", REG_SZ, "abc", std::string("abc\0", 4)},
      {"empty", REG_SZ, "", std::string("\0", 1)},
      {"expand", REG_EXPAND_SZ, "%X%", std::string("%X%\0", 4)},
      {"list", REG_MULTI_SZ, std::string("a\0b", 3), std::string("a\0b\0\0", 5)},
      {"listHalf", REG_MULTI_SZ, std::string("a\0", 2), std::string("a\0\0", 3)},
      {"binary", REG_BINARY, std::string("\x01\x00\x02", 3), std::string("\x01\x00\x02", 3)},
      {"binaryEmpty", REG_BINARY, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(set(c.name, c.type, c.given.data(), static_cast<DWORD>(c.given.size())), ERROR_SUCCESS);
    DWORD type = 0;
    EXPECT_EQ(raw(c.name, &type), c.stored);
    EXPECT_EQ(type, c.type);
  }
}

TEST_F(RegistryValues, DefaultValueIsMissingUntilSetAndNamesIgnoreCase) {
  EXPECT_EQ(raw(nullptr), "<missing>");
  ASSERT_EQ(set("", REG_SZ, "d", 2), ERROR_SUCCESS);
  EXPECT_EQ(raw(nullptr), std::string("d\0", 2));
  ASSERT_EQ(set("ThreadingModel", REG_SZ, "Apartment", 10), ERROR_SUCCESS);
  ASSERT_EQ(set("THREADINGMODEL", REG_SZ, "Both", 5), ERROR_SUCCESS);
  EXPECT_EQ(raw("threadingmodel"), std::string("Both\0", 5));
  EXPECT_EQ(valueNames(key_.get()), (std::vector<std::string>{"", "ThreadingModel"}));
}

TEST_F(RegistryValues, QueryBuffersAreBracketedAtTheExactSize) {
  ASSERT_EQ(set("v", REG_SZ, "12345", 6), ERROR_SUCCESS);
  struct Case {
    DWORD capacity;
    LONG expected;
  };
  const Case cases[] = {{0, ERROR_MORE_DATA}, {5, ERROR_MORE_DATA}, {6, ERROR_SUCCESS}, {7, ERROR_SUCCESS}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.capacity);
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    DWORD size = c.capacity;
    EXPECT_EQ(RegQueryValueExA(key_.get(), "v", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
              c.expected);
    EXPECT_EQ(size, 6u);  // the size needed or delivered
    if (c.expected == ERROR_SUCCESS) {
      EXPECT_STREQ(buffer, "12345");
    } else {
      EXPECT_EQ(buffer[0], '#');  // a refused read leaves the buffer alone
    }
  }
  BYTE buffer[8];
  EXPECT_EQ(RegQueryValueExA(key_.get(), "v", nullptr, nullptr, buffer, nullptr), ERROR_INVALID_PARAMETER);
  DWORD type = 99;
  EXPECT_EQ(RegQueryValueExA(key_.get(), "v", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  DWORD size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(key_.get(), "nope", nullptr, nullptr, buffer, &size), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryValues, BadArgumentsAreRefusedWithoutWriting) {
  EXPECT_EQ(set("a", REG_SZ, nullptr, 3), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(set("a", REG_BINARY, "x", MVCOMM_REG_MAX_VALUE_DATA + 1), ERROR_INVALID_PARAMETER);
  std::string longName(MVCOMM_REG_MAX_VALUE_NAME + 1, 'n');
  EXPECT_EQ(set(longName.c_str(), REG_SZ, "x", 2), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(set("two\nlines", REG_SZ, "x", 2), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(valueNames(key_.get()).empty());
  EXPECT_EQ(set("nullEmpty", REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  EXPECT_EQ(raw("nullEmpty"), "");
}

TEST_F(RegistryValues, LongTextsAreKeptWhole) {
  std::string path = "/opt/" + std::string(3000, 'p') + "/libMVComm.so";
  ASSERT_EQ(set(nullptr, REG_SZ, path.c_str(), static_cast<DWORD>(path.size() + 1)), ERROR_SUCCESS);
  EXPECT_EQ(getString("V", nullptr), path);
}

TEST_F(RegistryValues, EnumerationKeepsFirstSetOrderAndReportsSizes) {
  ASSERT_EQ(set("z", REG_SZ, "1", 2), ERROR_SUCCESS);
  ASSERT_EQ(set("a", REG_SZ, "22", 3), ERROR_SUCCESS);
  ASSERT_EQ(set("z", REG_SZ, "333", 4), ERROR_SUCCESS);  // an update keeps its place
  EXPECT_EQ(valueNames(key_.get()), (std::vector<std::string>{"z", "a"}));

  char name[4];
  DWORD nameLength = sizeof name;
  BYTE data[2];
  DWORD dataSize = sizeof data;
  DWORD type = 0;
  EXPECT_EQ(RegEnumValueA(key_.get(), 0, name, &nameLength, nullptr, &type, data, &dataSize), ERROR_MORE_DATA);
  EXPECT_EQ(dataSize, 4u);
  nameLength = 1;  // no room for "z" and its terminator
  dataSize = sizeof data;
  EXPECT_EQ(RegEnumValueA(key_.get(), 1, name, &nameLength, nullptr, &type, nullptr, nullptr), ERROR_MORE_DATA);
  nameLength = sizeof name;
  EXPECT_EQ(RegEnumValueA(key_.get(), 2, name, &nameLength, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryValues, DeleteValueTellsMissingFromDone) {
  ASSERT_EQ(set("x", REG_SZ, "1", 2), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(key_.get(), "X"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(key_.get(), "x"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(raw("x"), "<missing>");
}

}  // namespace
}  // namespace mvcomm::testing

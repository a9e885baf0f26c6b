// Keys: names, paths, creation, deletion, enumeration and handles.
#include <gtest/gtest.h>

#include <string>

#include "platform/registry/winreg.h"
#include "tests/registry/reg_helpers.h"
#include "testing/temp_registry.h"

namespace mvcomm::testing {
namespace {

LONG create(const char* path, Key& key, DWORD* disposition = nullptr, REGSAM access = KEY_ALL_ACCESS) {
  return RegCreateKeyExA(HKEY_CLASSES_ROOT, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key.out(),
                         disposition);
}

TEST(RegistryKeys, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
  TempRegistry registry;
  Key created;
  DWORD disposition = 0;
  ASSERT_EQ(create("CLSID\\{ABC}\\InProcServer32", created, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));

  Key again;
  ASSERT_EQ(create("clsid\\{abc}\\INPROCSERVER32", again, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  ASSERT_EQ(setString("CLSID\\{abc}", nullptr, "x"), ERROR_SUCCESS);
  EXPECT_EQ(getString("clsid\\{ABC}", ""), "x");

  Key root;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Clsid", 0, KEY_READ, root.out()), ERROR_SUCCESS);
  EXPECT_EQ(subkeyNames(root.get()), std::vector<std::string>{"{ABC}"});
}

TEST(RegistryKeys, PathsAreCheckedBeforeAnythingIsWritten) {
  struct Case {
    const char* path;
    LONG expected;
  };
  const std::string longest(MVCOMM_REG_MAX_KEY_NAME, 'k');
  const std::string tooLong(MVCOMM_REG_MAX_KEY_NAME + 1, 'k');
  const std::string longestPath = "A\\" + longest;
  const std::string tooLongPath = "A\\" + tooLong;
  const Case cases[] = {
      {"\\A", ERROR_BAD_PATHNAME},
      {"A\\\\B", ERROR_BAD_PATHNAME},
      {"A\\B\\", ERROR_SUCCESS},  // one trailing separator is tolerated
      {longestPath.c_str(), ERROR_SUCCESS},
      {tooLongPath.c_str(), ERROR_INVALID_PARAMETER},
      {"A\\line\nbreak", ERROR_INVALID_PARAMETER},
      {"A\\tab\t", ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    TempRegistry registry;
    Key key;
    EXPECT_EQ(create(c.path, key), c.expected);
    EXPECT_EQ(key.get() == nullptr, c.expected != ERROR_SUCCESS);
    if (c.expected != ERROR_SUCCESS) {
      EXPECT_FALSE(keyExists("A"));  // a refused path creates no parent either
    }
  }
}

TEST(RegistryKeys, OpenMissingKeyGivesFileNotFoundAndNullHandle) {
  TempRegistry registry;
  HKEY key = reinterpret_cast<HKEY>(0x1);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Nothing\\Here", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  EXPECT_FALSE(keyExists("Nothing"));
}

TEST(RegistryKeys, RelativePathsResolveBelowTheirHandle) {
  TempRegistry registry;
  Key parent;
  ASSERT_EQ(create("TypeLib\\{L}", parent), ERROR_SUCCESS);
  Key child;
  ASSERT_EQ(RegCreateKeyExA(parent.get(), "1.0\\0\\win32", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, child.out(),
                            nullptr),
            ERROR_SUCCESS);
  EXPECT_TRUE(keyExists("TYPELIB\\{l}\\1.0\\0\\WIN32"));
  Key self;
  ASSERT_EQ(RegOpenKeyExA(parent.get(), nullptr, 0, KEY_READ, self.out()), ERROR_SUCCESS);
  EXPECT_EQ(subkeyNames(self.get()), std::vector<std::string>{"1.0"});
}

TEST(RegistryKeys, DeleteRefusesKeysWithSubkeysAndTheRoot) {
  TempRegistry registry;
  ASSERT_EQ(setString("Interface\\{I}\\TypeLib", "Version", "1.0"), ERROR_SUCCESS);
  ASSERT_EQ(setString("Interface\\{I}", nullptr, "IMVComm"), ERROR_SUCCESS);

  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Interface\\{I}"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(getString("Interface\\{I}", nullptr), "IMVComm");  // refused: untouched
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, ""), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Interface\\{missing}"), ERROR_FILE_NOT_FOUND);

  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "interface\\{i}\\typelib"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Interface\\{I}"), ERROR_SUCCESS);
  EXPECT_FALSE(keyExists("Interface\\{I}"));
  EXPECT_TRUE(keyExists("Interface"));

  // A key made again under the same name starts without the old values.
  Key again;
  ASSERT_EQ(create("Interface\\{I}", again), ERROR_SUCCESS);
  EXPECT_EQ(getString("Interface\\{I}", nullptr), "<error 2>");
}

TEST(RegistryKeys, HandleOfDeletedKeyReportsKeyDeleted) {
  TempRegistry registry;
  Key key;
  ASSERT_EQ(create("Gone", key), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Gone"), ERROR_SUCCESS);
  const BYTE text[] = "x";
  EXPECT_EQ(RegSetValueExA(key.get(), nullptr, 0, REG_SZ, text, sizeof text), ERROR_KEY_DELETED);
  Key child;
  EXPECT_EQ(RegCreateKeyExA(key.get(), "Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, child.out(), nullptr),
            ERROR_KEY_DELETED);
  EXPECT_FALSE(keyExists("Gone"));  // not resurrected through the stale handle

  // Even when a key of the same name is made again.
  Key fresh;
  ASSERT_EQ(create("Gone", fresh), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key.get(), nullptr, nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
}

TEST(RegistryKeys, DeleteTreeRemovesEverythingBelowInOneGo) {
  TempRegistry registry;
  ASSERT_EQ(setString("CLSID\\{C}\\InProcServer32", "ThreadingModel", "Apartment"), ERROR_SUCCESS);
  ASSERT_EQ(setString("CLSID\\{C}\\ProgID", nullptr, "P"), ERROR_SUCCESS);
  ASSERT_EQ(setString("CLSID\\{D}", nullptr, "kept"), ERROR_SUCCESS);

  EXPECT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, "clsid\\{c}"), ERROR_SUCCESS);
  EXPECT_FALSE(keyExists("CLSID\\{C}"));
  EXPECT_EQ(getString("CLSID\\{D}", nullptr), "kept");
  EXPECT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, "CLSID\\{C}"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, ""), ERROR_ACCESS_DENIED);

  // A null subkey empties the key itself and keeps it.
  Key clsid;
  ASSERT_EQ(create("CLSID", clsid), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeA(clsid.get(), nullptr), ERROR_SUCCESS);
  EXPECT_TRUE(keyExists("CLSID"));
  EXPECT_TRUE(subkeyNames(clsid.get()).empty());
}

TEST(RegistryKeys, EnumerationIsSortedIgnoringCaseAndBounded) {
  TempRegistry registry;
  for (const char* name : {"b", "C", "a", "AB"}) {
    Key key;
    ASSERT_EQ(create((std::string("E\\") + name).c_str(), key), ERROR_SUCCESS);
  }
  Key parent;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "E", 0, KEY_READ, parent.out()), ERROR_SUCCESS);
  EXPECT_EQ(subkeyNames(parent.get()), (std::vector<std::string>{"a", "AB", "b", "C"}));

  char name[3];
  DWORD length = 2;  // room for "a" but not "AB"
  EXPECT_EQ(RegEnumKeyExA(parent.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(length, 1u);
  length = 2;
  EXPECT_EQ(RegEnumKeyExA(parent.get(), 1, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  EXPECT_EQ(length, 2u);
  length = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(parent.get(), 4, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  FILETIME written{};
  length = sizeof name;
  ASSERT_EQ(RegEnumKeyExA(parent.get(), 0, name, &length, nullptr, nullptr, nullptr, &written), ERROR_SUCCESS);
  EXPECT_GT(written.dwHighDateTime, 0x01D00000u);  // after 2015: a real clock time
}

TEST(RegistryKeys, HandlesAreCheckedAndRightsEnforced) {
  TempRegistry registry;
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(0x1234)), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_CLASSES_ROOT), ERROR_SUCCESS);

  HKEY raw = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "R", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw, nullptr),
            ERROR_SUCCESS);
  const BYTE text[] = "v";
  EXPECT_EQ(RegSetValueExA(raw, nullptr, 0, REG_SZ, text, sizeof text), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(raw, nullptr, nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  char name[8];
  DWORD length = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(raw, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCloseKey(raw), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(raw), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegSetValueExA(raw, nullptr, 0, REG_SZ, text, sizeof text), ERROR_INVALID_HANDLE);

  Key reader;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "R", 0, KEY_READ, reader.out()), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(reader.get(), nullptr, 0, REG_SZ, text, sizeof text), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(reader.get(), nullptr), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "R", 0, nullptr, 0, KEY_READ, nullptr, nullptr, nullptr),
            ERROR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace mvcomm::testing

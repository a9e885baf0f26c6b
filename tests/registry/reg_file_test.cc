// The REGEDIT4 reader and writer: what it accepts, what it refuses (with the
// line), and that export then import reproduces every value byte for byte.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <string_view>

#include "platform/registry/winreg.h"
#include "tests/registry/reg_helpers.h"
#include "testing/temp_registry.h"
#include "tools/mvcomm-reg/reg_file.h"

namespace mvcomm::testing {
namespace {

TEST(RegFile, ParsesEveryValueForm) {
  const char* text =
      "\xEF\xBB\xBFREGEDIT4\r\n"
      "; a comment\n"
      "\n"
      "[HKEY_CLASSES_ROOT\\A\\B]\n"
      "@=\"default \\\"quoted\\\" C:\\\\x\"\n"
      "\"n=ame\"=dword:0000002A\n"
      "\"bin\"=hex:01, 02,\\\n"
      "  ff\n"
      "\"multi\"=hex(7):61,00,00,00\n"
      "\"gone\"=-\n"
      "[-HKEY_CLASSES_ROOT\\Old]\n"
      "[hkey_classes_root]\n";
  regfile::RegFile file;
  std::string error;
  ASSERT_TRUE(regfile::parse(text, file, error)) << error;
  ASSERT_EQ(file.sections.size(), 3u);
  const regfile::Section& section = file.sections[0];
  EXPECT_EQ(section.path, "A\\B");
  ASSERT_EQ(section.values.size(), 5u);
  EXPECT_EQ(section.values[0].name, "");
  EXPECT_EQ(section.values[0].data, std::string("default \"quoted\" C:\\x\0", 22));
  EXPECT_EQ(section.values[1].name, "n=ame");
  EXPECT_EQ(section.values[1].type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(section.values[1].data, std::string("\x2A\0\0\0", 4));
  EXPECT_EQ(section.values[2].data, "\x01\x02\xff");
  EXPECT_EQ(section.values[3].type, static_cast<DWORD>(REG_MULTI_SZ));
  EXPECT_TRUE(section.values[4].remove);
  EXPECT_TRUE(file.sections[1].remove);
  EXPECT_EQ(file.sections[1].path, "Old");
  EXPECT_EQ(file.sections[2].path, "");
}

TEST(RegFile, RefusesBadLinesByNumber) {
  using namespace std::string_view_literals;
  struct Case {
    std::string_view text;
    const char* error;
  };
  const Case cases[] = {
      {"", "line 1: not a registry file"},
      {"REGEDIT5\n", "line 1: not a registry file"},
      {"REGEDIT4\n@=\"x\"\n", "line 2: value before any [key] section"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\X]\n", "line 2: only keys under HKEY_CLASSES_ROOT"},
      {"REGEDIT4\n[HKEY_CLASSES_ROOTX]\n", "line 2: only keys under HKEY_CLASSES_ROOT"},
      {"REGEDIT4\n[HKEY_CLASSES_ROOT\\A\\\\B]\n", "line 2: bad key path"},
      {"REGEDIT4\n[HKEY_CLASSES_ROOT\\A\0B]\n"sv, "line 2: NUL in a key name"},
      {"REGEDIT4\n[HKEY_CLASSES_ROOT\\A\tB]\n", "line 2: bad key path"},
      {"REGEDIT4\n[HKEY_CLASSES_ROOT\\A\n", "line 2: section without a closing ]"},
      {"REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"x\"=\"unterminated\n", "line 3: unterminated quoted string"},
      {"REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"x\"=\"a\\nb\"\n", "line 3: bad escape"},
      {"REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"x\"=\"a\" tail\n", "line 3: text after the closing quote"},
      {"REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"x\"=dword:123456789\n", "line 3: bad dword"},
      {"REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"x\"=dword:\n", "line 3: bad dword"},
      {"REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"x\"=hex:1,02\n", "line 3: bad hex byte"},
      {"REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"x\"=hex:01,\n", "line 3: hex list ends in a comma"},
      {"REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"x\"=hex:01,\\\n", "line 3: continued line at the end"},
      {"REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"x\"=hex(zz):01\n", "line 3: bad hex(type)"},
      {"REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"x\"=42\n", "line 3: unknown value data"},
      {"REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"\"=\"x\"\n", "line 3: empty value name"},
      {"REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\nx=\"x\"\n", "line 3: expected [key]"},
      {"REGEDIT4\n[-HKEY_CLASSES_ROOT\\A]\n@=\"x\"\n", "line 3: value inside a [-key] deletion"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    regfile::RegFile file;
    std::string error;
    EXPECT_FALSE(regfile::parse(c.text, file, error));
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
  }
}

TEST(RegFile, KeyArgumentsNameOnlyTheClassesRoot) {
  struct Case {
    const char* argument;
    bool accepted;
    const char* path;
  };
  const Case cases[] = {
      {"HKEY_CLASSES_ROOT\\CLSID\\{X}", true, "CLSID\\{X}"},
      {"hkcr\\CLSID\\", true, "CLSID"},
      {"HKEY_CLASSES_ROOT", true, ""},
      {"CLSID", true, "CLSID"},
      {"HKEY_CURRENT_USER\\Software", false, ""},
      {"\\CLSID", false, ""},
      {"A\\\\B", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    std::string path = "unchanged";
    EXPECT_EQ(regfile::keyArgument(c.argument, path), c.accepted);
    if (c.accepted) {
      EXPECT_EQ(path, c.path);
    }
  }
}

TEST(RegFile, ExportThenImportReproducesEveryValue) {
  TempRegistry registry;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "Round\\Trip", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  struct Value {
    const char* name;
    DWORD type;
    std::string data;
  };
  const Value values[] = {
      {"", REG_SZ, std::string("\"C:\\\\\"\0", 8)},
      {"quote\"back\\slash", REG_SZ, std::string("x\0", 2)},
      {"lines", REG_SZ, std::string("one\r\ntwo\0", 9)},             // not quotable: hex(1)
      {"innerNul", REG_SZ, std::string("a\0b\0", 4)},                // not quotable: hex(1)
      {"utf8", REG_SZ, std::string("Gr\xC3\xBC\xC3\x9F""e\0", 8)},
      {"dword", REG_DWORD, std::string("\x78\x56\x34\x12", 4)},
      {"shortDword", REG_DWORD, std::string("\x01", 1)},             // not 4 bytes: hex(4)
      {"long", REG_BINARY, std::string(200, '\xA5')},                // wrapped over lines
      {"empty", REG_BINARY, ""},
      {"qword", REG_QWORD, std::string("\1\2\3\4\5\6\7\x08", 8)},
  };
  for (const Value& v : values) {
    ASSERT_EQ(RegSetValueExA(key, v.name, 0, v.type, reinterpret_cast<const BYTE*>(v.data.data()),
                             static_cast<DWORD>(v.data.size())),
              ERROR_SUCCESS);
  }
  RegCloseKey(key);

  std::string text;
  ASSERT_EQ(regfile::exportTree("Round", text), ERROR_SUCCESS);
  EXPECT_NE(text.find("\"dword\"=dword:12345678\n"), std::string::npos) << text;
  ASSERT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, "Round"), ERROR_SUCCESS);

  regfile::RegFile file;
  std::string error;
  ASSERT_TRUE(regfile::parse(text, file, error)) << error << "\n" << text;
  std::string where;
  ASSERT_EQ(regfile::apply(file, where), ERROR_SUCCESS) << where;

  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Round\\Trip", 0, KEY_READ, &key), ERROR_SUCCESS);
  for (const Value& v : values) {
    SCOPED_TRACE(v.name);
    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExA(key, v.name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    std::string data(size, '\0');
    ASSERT_EQ(RegQueryValueExA(key, v.name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, v.type);
    EXPECT_EQ(data, v.data);
  }
  EXPECT_EQ(valueNames(key).size(), std::size(values));  // and in the same order
  EXPECT_EQ(valueNames(key)[2], "lines");
  RegCloseKey(key);

  std::string again;
  ASSERT_EQ(regfile::exportTree("Round", again), ERROR_SUCCESS);
  EXPECT_EQ(again, text);
}

TEST(RegFile, ImportIsAllOrNothing) {
  TempRegistry registry;
  ASSERT_EQ(setString("Keep", nullptr, "me"), ERROR_SUCCESS);
  regfile::RegFile file;
  std::string error;
  // Parses fine, fails while applying: the root cannot be deleted.
  ASSERT_TRUE(regfile::parse("REGEDIT4\n[HKEY_CLASSES_ROOT\\New]\n@=\"x\"\n[-HKEY_CLASSES_ROOT\\Keep]\n"
                             "[-HKEY_CLASSES_ROOT]\n",
                             file, error))
      << error;
  std::string where;
  EXPECT_EQ(regfile::apply(file, where), ERROR_ACCESS_DENIED);
  EXPECT_EQ(where, "HKEY_CLASSES_ROOT");
  EXPECT_FALSE(keyExists("New"));
  EXPECT_EQ(getString("Keep", nullptr), "me");
}

// A database damaged behind the registry's back (by hand, or another tool)
// must fail the walks with ERROR_BADDB, not loop in them, and every change
// the tool makes must refuse it.
TEST(RegFile, DamagedKeyTreesFailInsteadOfLooping) {
  struct Case {
    const char* damage;      // SQL run on the file holding A\B\C
    const char* enumerated;  // a key whose subkey listing meets the damage
    LONG deleteA;            // what deleting A gives
  };
  const Case cases[] = {
      {"UPDATE keys SET parent = id WHERE path = 'A'", "A", ERROR_BADDB},
      {"UPDATE keys SET parent = (SELECT id FROM keys WHERE path = 'A\\B') WHERE path = 'A'", "A\\B", ERROR_BADDB},
      {"UPDATE keys SET parent = 1 WHERE id = 1", "", ERROR_SUCCESS},
      {"UPDATE keys SET name = '' WHERE path = 'A\\B'", "A", ERROR_SUCCESS},
      {"UPDATE keys SET path = 'Elsewhere' WHERE path = 'A\\B\\C'", "A\\B", ERROR_SUCCESS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.damage);
    TempRegistry registry;
    ASSERT_EQ(setString("A\\B\\C", nullptr, "x"), ERROR_SUCCESS);
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(registry.file().c_str(), &raw), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(raw, c.damage, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(raw);

    Key key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, c.enumerated, 0, KEY_READ, key.out()), ERROR_SUCCESS);
    LONG listed = ERROR_SUCCESS;
    char name[256];
    for (DWORD i = 0; listed == ERROR_SUCCESS && i < 10; ++i) {
      DWORD length = sizeof name;
      listed = RegEnumKeyExA(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
    }
    EXPECT_EQ(listed, ERROR_BADDB);

    std::string text;
    EXPECT_EQ(regfile::exportTree("", text), ERROR_BADDB);
    EXPECT_EQ(regfile::deleteTree("A"), ERROR_BADDB);
    regfile::RegFile file;
    std::string error;
    ASSERT_TRUE(regfile::parse("REGEDIT4\n[HKEY_CLASSES_ROOT\\New]\n", file, error));
    std::string where;
    EXPECT_EQ(regfile::apply(file, where), ERROR_BADDB);
    EXPECT_FALSE(keyExists("New"));
    EXPECT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, "A"), c.deleteA);
  }
}

}  // namespace
}  // namespace mvcomm::testing

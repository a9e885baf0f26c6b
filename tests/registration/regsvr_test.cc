// mvcomm-regsvr and mvcomm-reg as a user runs them: exit status, output, and
// the registry they leave behind.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdio.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "server/registration/component_ids.h"
#include "tests/registration/registry_dump.h"
#include "testing/temp_registry.h"

namespace mvcomm::testing {
namespace {

struct ToolRun {
  int status = -1;     // exit status, -1 when it did not exit normally
  std::string output;  // standard output and error together
};

ToolRun run(const std::string& command) {
  ToolRun result;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  std::size_t got = 0;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, got);
  int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

const std::string kRegsvr = MVCOMM_REGSVR;
const std::string kReg = MVCOMM_REG;
const std::string kModule = MVCOMM_TEST_MODULE;
const std::string kFailingModule = MVCOMM_FAILING_MODULE;

std::string inprocKey() { return std::string("CLSID\\") + registration::kClsidMVCommText + "\\InProcServer32"; }

TEST(Regsvr, RegistersAndUnregistersAModule) {
  TempRegistry registry;
  ToolRun registered = run(kRegsvr + " " + kModule);
  EXPECT_EQ(registered.status, 0) << registered.output;
  EXPECT_EQ(getString(inprocKey().c_str(), nullptr), kModule);

  ToolRun unregistered = run(kRegsvr + " -u " + kModule);
  EXPECT_EQ(unregistered.status, 0) << unregistered.output;
  EXPECT_FALSE(keyExists(inprocKey().c_str()));

  // Nothing left to unregister: the module's failure comes through.
  ToolRun again = run(kRegsvr + " -u " + kModule);
  EXPECT_EQ(again.status, 5);
  EXPECT_NE(again.output.find("0x80070002"), std::string::npos) << again.output;
}

TEST(Regsvr, ReportsEachKindOfFailure) {
  struct Case {
    std::string arguments;
    int status;
    std::string says;
  };
  const Case cases[] = {
      {"", 2, "usage"},
      {"-u", 2, "usage"},
      {"-x " + kModule, 2, "usage"},
      {"/nonexistent/libNothing.so", 3, "cannot load"},
      {kFailingModule, 5, "DllRegisterServer in " + kFailingModule + " failed: 0x80070005"},
      {"-u " + kFailingModule, 4, "has no DllUnregisterServer"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    TempRegistry registry;
    ToolRun result = run(kRegsvr + " " + c.arguments);
    EXPECT_EQ(result.status, c.status);
    EXPECT_NE(result.output.find(c.says), std::string::npos) << result.output;
    EXPECT_EQ(dumpRegistry(), RegistryDump{});
  }
}

TEST(RegTool, ExportImportDeleteRoundTrip) {
  TempRegistry registry;
  ASSERT_EQ(run(kRegsvr + " " + kModule).status, 0);
  ASSERT_EQ(setString("Odd\\Names", "quote\"and\\slash", "C:\\dir\\\"x\"\\"), ERROR_SUCCESS);
  ASSERT_EQ(setString("Odd\\Names", "lines", "one\ntwo"), ERROR_SUCCESS);
  RegistryDump before = dumpRegistry();

  ToolRun exported = run(kReg + " export");
  ASSERT_EQ(exported.status, 0) << exported.output;
  EXPECT_EQ(exported.output.rfind("REGEDIT4\n\n[HKEY_CLASSES_ROOT]\n", 0), 0u);
  EXPECT_NE(exported.output.find("\"quote\\\"and\\\\slash\"=\"C:\\\\dir\\\\\\\"x\\\"\\\\\"\n"), std::string::npos)
      << exported.output;
  EXPECT_NE(exported.output.find("@=\"MVComm.MVComm.1.0\"\n"), std::string::npos);
  std::string file = registry.folder() + "/all.reg";
  std::ofstream(file) << exported.output;

  ASSERT_EQ(run(kReg + " delete 'HKEY_CLASSES_ROOT\\CLSID'").status, 0);
  ASSERT_EQ(run(kReg + " delete 'HKCR\\Odd'").status, 0);
  EXPECT_FALSE(keyExists("CLSID"));
  ToolRun imported = run(kReg + " import " + file);
  EXPECT_EQ(imported.status, 0) << imported.output;
  EXPECT_EQ(dumpRegistry(), before);

  ToolRun subtree = run(kReg + " export MVComm.MVComm");
  EXPECT_EQ(subtree.output,
            std::string("REGEDIT4\n\n[HKEY_CLASSES_ROOT\\MVComm.MVComm]\n@=\"n_cst_mvcomm\"\n\n"
                        "[HKEY_CLASSES_ROOT\\MVComm.MVComm\\CLSID]\n@=\"") +
                registration::kClsidMVCommText +
                "\"\n\n[HKEY_CLASSES_ROOT\\MVComm.MVComm\\CurVer]\n@=\"1.0\"\n\n");
}

TEST(RegTool, RefusesBadInputWithoutChangingAnything) {
  TempRegistry registry;
  ASSERT_EQ(setString("Keep", nullptr, "me"), ERROR_SUCCESS);
  RegistryDump before = dumpRegistry();
  std::string file = registry.folder() + "/bad.reg";
  // A good section, then a bad line: the good part must not land either.
  std::ofstream(file) << "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\New]\n@=\"x\"\n\"v\"=dword:123456789\n";
  struct Case {
    std::string arguments;
    int status;
    const char* says;
  };
  const Case cases[] = {
      {"import " + file, 1, "line 5: bad dword"},
      {"import /nonexistent.reg", 1, "No such file"},
      {"export Missing", 1, "no such key"},
      {"export 'HKEY_LOCAL_MACHINE\\Software'", 2, "not a key under HKEY_CLASSES_ROOT"},
      {"delete HKEY_CLASSES_ROOT", 2, "refusing"},
      {"delete Missing", 1, "no such key"},
      {"frobnicate", 2, "usage"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    ToolRun result = run(kReg + " " + c.arguments);
    EXPECT_EQ(result.status, c.status);
    EXPECT_NE(result.output.find(c.says), std::string::npos) << result.output;
    EXPECT_EQ(dumpRegistry(), before);
  }
}

// A database damaged by hand: a parent cycle (the walks once looped on it
// for ever), or an index SQLite's integrity check finds wrong.
TEST(RegTool, RefusesADamagedDatabase) {
  const char* damages[] = {
      "UPDATE keys SET parent = (SELECT id FROM keys WHERE path = 'A\\B') WHERE path = 'A'",
      "PRAGMA writable_schema=ON; UPDATE sqlite_master SET sql = 'CREATE INDEX keys_by_parent ON keys(written, name)'"
      " WHERE name = 'keys_by_parent'",
  };
  for (const char* damage : damages) {
    SCOPED_TRACE(damage);
    TempRegistry registry;
    ASSERT_EQ(setString("A\\B", nullptr, "x"), ERROR_SUCCESS);
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(registry.file().c_str(), &raw), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(raw, damage, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(raw);
    std::string file = registry.folder() + "/new.reg";
    std::ofstream(file) << "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\New]\n";
    for (const std::string& arguments : {std::string("export"), std::string("delete A"), "import " + file}) {
      ToolRun result = run(kReg + " " + arguments);
      EXPECT_EQ(result.status, 1) << arguments;
      EXPECT_NE(result.output.find("damaged"), std::string::npos) << result.output;
    }
    EXPECT_FALSE(keyExists("New"));
  }
}

}  // namespace
}  // namespace mvcomm::testing

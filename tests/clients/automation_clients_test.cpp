// File: tests/clients/automation_clients_test.cpp
//
// Registration as clients see it, refusals and terminal errors, and mvcomm --via
// automation printing what --via direct prints, on the simulated line.
#include "tests/clients/automation_fixture.h"

namespace mvcomm {
namespace {

TEST_F(AutomationClient, RegistrationLeadsFromProgIdToTheModule) {
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(u"MVComm.MVComm", &clsid), S_OK);
  CLSID versioned{};
  ASSERT_EQ(CLSIDFromProgID(u"MVComm.MVComm.1.0", &versioned), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, versioned));
  LPOLESTR progId = nullptr;
  ASSERT_EQ(ProgIDFromCLSID(clsid, &progId), S_OK);
  EXPECT_EQ(std::u16string(progId), u"MVComm.MVComm.1.0");
  CoTaskMemFree(progId);

  void* refused = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ITypeLib, &refused),
            E_NOINTERFACE);
  EXPECT_EQ(refused, nullptr);

  IDispatch* object = create();
  ASSERT_NE(object, nullptr);
  object->Release();
  CoFreeUnusedLibraries();
  EXPECT_EQ(ole::loadedServerCount(), 0) << "the module stayed loaded with no object alive";

  ASSERT_EQ(callModule("DllUnregisterServer"), S_OK);
  void* none = nullptr;
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, &none),
            REGDB_E_CLASSNOTREG);
}

TEST_F(AutomationClient, DispatchRefusalsAndTerminalErrorsAreTold) {
  IDispatch* object = create();
  ASSERT_NE(object, nullptr);
  {
    LateBound comm(object);
    object->Release();
    EXPECT_EQ(comm.put("errorcode", number(1)).hr, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(comm.put("nosuchmember", number(1)).hr, DISP_E_UNKNOWNNAME);
    Args two{text("5"), day(2002, 10, 27)};
    EXPECT_EQ(comm.call("readdata", two.v, nullptr).hr, DISP_E_BADPARAMCOUNT);
    // A bad machine number is the terminal class's error: the call succeeds.
    EXPECT_EQ(run(comm, "cleardata", {text("abc")}), 20016);
    // Text coerced to the declared 32-bit integer.
    EXPECT_EQ(run(comm, "rtbeginwrite", {text("3")}), 0);
    EXPECT_EQ(getLong(comm, "rtrows"), 3);
  }
}

// --via automation prints exactly what --via direct prints, for every
// command, on the simulated line (virtual time).
TEST_F(AutomationClient, ToolThroughAutomationPrintsWhatDirectPrints) {
  ASSERT_EQ(callModule("DllUnregisterServer"), S_OK);  // the tool registers it itself
  const std::string table = registry_.folder() + "/table.csv";
  std::ofstream(table) << "employeeid,cardid\n7,700\n8,800\n";
  const std::vector<std::vector<std::string>> commands = {
      {"readdata", "1", "2026-03-01", "2026-03-15"},
      {"readdata", "2001", "2026-03-10", "2026-03-15"},
      {"readdata", "1", "2026-03-15", "2026-03-01", "--format", "json"},
      {"readrefertable", "1"},
      {"writerefertable", "1", table},
      {"setclock", "1", "2026-03-15 08:00:00"},
      {"cleardata", "1"},
      {"readdata", "77", "2026-03-01", "2026-03-15"},  // no such terminal
      {"--port", "0", "cleardata", "1"},                // a failure before the line
  };
  for (const auto& command : commands) {
    std::string shown;
    for (const auto& a : command) shown += a + " ";
    SCOPED_TRACE(shown);
    auto runVia = [&](const char* via) {
      std::vector<std::string> argv = {MVCOMM_BIN, "--simulate", "--format", "csv", "--via", via};
      argv.insert(argv.end(), command.begin(), command.end());
      return testing::runProgram(argv);
    };
    testing::ToolRun direct = runVia("direct");
    testing::ToolRun automation = runVia("automation");
    EXPECT_EQ(automation.status, direct.status) << automation.err;
    EXPECT_EQ(automation.out, direct.out);
    EXPECT_EQ(automation.err, direct.err);
  }
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromProgID(u"MVComm.MVComm", &clsid), S_OK) << "the tool registered the module";
}

// The script client on the sample lines: results on stdout, one line per
// failure on stderr, and the script goes on after a failure.
TEST_F(AutomationClient, ScriptClientPrintsResultsAndFailures) {
  const std::string script = registry_.folder() + "/sample.txt";
  std::ofstream(script) << "' no baud rate set: the class refuses before the line\n"
                           "commport = 1\n"
                           "readdata \"5\", #2002-10-27#, #2002-10-28#\n"
                           "? errorcode\n"
                           "errorcode = 3\n"
                           "rtbeginwrite 2\n"
                           "rtwriterecord(2, 42, \"4200\")\n"
                           "moverecord 2, 2\n"
                           "? rtcardid\n"
                           "? rscardedtime\n"
                           "readdata \"5\"\n"
                           "nosuch 1\n"
                           "moverecord 1,\n"
                           "? commport\n";
  testing::ToolRun run = testing::runProgram({MVCOMM_DISPATCH_BIN, "MVComm.MVComm", script});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "20003\n4200\n1900-01-01 00:00:00\n1\n");
  EXPECT_EQ(run.err,
            "line 5: errorcode: 0x80020003 DISP_E_MEMBERNOTFOUND\n"
            "line 11: readdata: 0x8002000E DISP_E_BADPARAMCOUNT\n"
            "line 12: nosuch: 0x80020006 DISP_E_UNKNOWNNAME\n"
            "line 13: argument 2: expected a value\n");

  testing::ToolRun missing = testing::runProgram({MVCOMM_DISPATCH_BIN, "No.Such.Class"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, "mvcomm-dispatch: cannot create No.Such.Class: 0x800401F3 CO_E_CLASSSTRING\n");
}

}  // namespace
}  // namespace mvcomm

// Self-registration: the exact layout, idempotence, complete removal, the
// stop rules, identifiers without text and failed writes.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string>

#include "platform/ole/ole_testing.h"
#include "platform/ole/winerror.h"
#include "server/registration/component_descriptor.h"
#include "server/registration/component_ids.h"
#include "server/registration/registration.h"
#include "server/registration/registry_layout.h"
#include "tests/registration/registry_dump.h"
#include "testing/temp_registry.h"

namespace mvcomm::testing {
namespace {

using registration::ComponentDescriptor;
using registration::kAppidMVCommText;
using registration::kClsidMVCommText;
using registration::kIidIMVCommText;
using registration::kLibidMVCommText;

const std::string kModule = "/opt/mvcomm/lib/libMVComm.so";

std::string clsidKey(const std::string& sub = "") {
  return std::string("CLSID\\") + kClsidMVCommText + (sub.empty() ? "" : "\\" + sub);
}
std::string libKey(const std::string& sub = "") {
  return std::string("TypeLib\\") + kLibidMVCommText + (sub.empty() ? "" : "\\" + sub);
}
std::string interfaceKey(const std::string& sub = "") {
  return std::string("Interface\\") + kIidIMVCommText + (sub.empty() ? "" : "\\" + sub);
}
std::string appKey() { return std::string("AppID\\") + kAppidMVCommText; }

// Every key and value of steps 1 to 25 for a module at `module`.
RegistryDump expectedLayout(const std::string& module, const std::string& helpDir) {
  const std::string marshaler = "{00020420-0000-0000-C000-000000000046}";
  return {
      {"AppID", {}},
      {appKey(), {{"(default)", "PowerBuilder 70 Component Server: MVComm.dll"}}},
      {"CLSID", {}},
      {clsidKey(),
       {{"(default)", "MVComm.MVComm.1.0"}, {"AppID", kAppidMVCommText}, {"PowerBuilder nvo", "n_cst_mvcomm"}}},
      {clsidKey("InProcServer32"), {{"(default)", module}, {"ThreadingModel", "Apartment"}}},
      {clsidKey("ProgID"), {{"(default)", "MVComm.MVComm.1.0"}}},
      {clsidKey("Programmable"), {{"(default)", " "}}},
      {clsidKey("TypeLib"), {{"(default)", kLibidMVCommText}}},
      {clsidKey("VersionIndependentProgID"), {{"(default)", "MVComm.MVComm"}}},
      {"Interface", {}},
      {interfaceKey(), {{"(default)", "IMVComm"}}},
      {interfaceKey("ProxyStubClsid"), {{"(default)", marshaler}}},
      {interfaceKey("ProxyStubClsid32"), {{"(default)", marshaler}}},
      {interfaceKey("TypeLib"), {{"(default)", kLibidMVCommText}, {"Version", "1.0"}}},
      {"MVComm.MVComm", {{"(default)", "n_cst_mvcomm"}}},
      {"MVComm.MVComm\\CLSID", {{"(default)", kClsidMVCommText}}},
      {"MVComm.MVComm\\CurVer", {{"(default)", "1.0"}}},
      {"MVComm.MVComm.1.0", {{"(default)", "n_cst_mvcomm"}}},
      {"MVComm.MVComm.1.0\\CLSID", {{"(default)", kClsidMVCommText}}},
      {"TypeLib", {}},
      {libKey(), {{"(default)", ""}}},
      {libKey("1.0"), {{"(default)", "Morvane Communication Component 1.0 TypeLib"}}},
      {libKey("1.0\\0"), {}},
      {libKey("1.0\\0\\WIN32"), {{"(default)", module}}},
      {libKey("1.0\\FLAGS"), {{"(default)", "0"}}},
      {libKey("1.0\\HELPDIR"), {{"(default)", helpDir}}},
  };
}

// What stays after unregistering: the four top-level parents, now empty.
const RegistryDump kEmptyParents = {{"AppID", {}}, {"CLSID", {}}, {"Interface", {}}, {"TypeLib", {}}};

TEST(Registration, WritesExactlyTheLayout) {
  TempRegistry registry;
  ComponentDescriptor component(&kModule, nullptr);
  ASSERT_EQ(registration::registerServer(component.descriptor()), S_OK);
  EXPECT_EQ(dumpRegistry(), expectedLayout(kModule, "/opt/mvcomm/lib"));
}

TEST(Registration, TwiceGivesTheSameContentAsOnce) {
  TempRegistry registry;
  ComponentDescriptor component(&kModule, nullptr);
  ASSERT_EQ(registration::registerServer(component.descriptor()), S_OK);
  RegistryDump once = dumpRegistry();
  ASSERT_EQ(registration::registerServer(component.descriptor()), S_OK);
  EXPECT_EQ(dumpRegistry(), once);
}

TEST(Registration, LongModulePathsAreRegisteredWhole) {
  TempRegistry registry;
  const std::string folder = "/srv/" + std::string(700, 'd');
  const std::string module = folder + "/libMVComm.so";
  ComponentDescriptor component(&module, nullptr);
  ASSERT_EQ(registration::registerServer(component.descriptor()), S_OK);
  EXPECT_EQ(dumpRegistry(), expectedLayout(module, folder));
}

TEST(Registration, UnregisterRemovesEveryKeyAndLeavesOthersAlone) {
  TempRegistry registry;
  ASSERT_EQ(setString("CLSID\\{OTHER}", nullptr, "someone else"), ERROR_SUCCESS);
  ComponentDescriptor component(&kModule, nullptr);
  ASSERT_EQ(registration::registerServer(component.descriptor()), S_OK);
  // Library subkeys that only older installs wrote are removed too.
  ASSERT_EQ(setString((appKey() + "\\PBLibraryDirectory").c_str(), nullptr, "/x"), ERROR_SUCCESS);
  ASSERT_EQ(setString(clsidKey("PBLibrarySearchPath").c_str(), nullptr, "/x"), ERROR_SUCCESS);

  EXPECT_EQ(registration::unregisterServer(component.descriptor()), S_OK);
  RegistryDump expected = kEmptyParents;
  expected["CLSID\\{OTHER}"] = {{"(default)", "someone else"}};
  EXPECT_EQ(dumpRegistry(), expected);
}

// An object made before DllRegisterServer registered the type library by
// itself, under the library's own locale: unregistration removes that too.
TEST(Registration, UnregisterAlsoRemovesTheLibrarysOwnLocaleKeys) {
  TempRegistry registry;
  ComponentDescriptor component(&kModule, nullptr);
  ASSERT_EQ(registration::registerServer(component.descriptor()), S_OK);
  ASSERT_EQ(setString(libKey("1.0\\409\\win32").c_str(), nullptr, kModule.c_str()), ERROR_SUCCESS);
  ASSERT_EQ(setString(libKey("1.0\\9\\win64").c_str(), nullptr, kModule.c_str()), ERROR_SUCCESS);
  EXPECT_EQ(registration::unregisterServer(component.descriptor()), S_OK);
  EXPECT_EQ(dumpRegistry(), kEmptyParents);
}

TEST(Registration, UnregisterOfNothingStopsAtTheAppIdWithAFailure) {
  TempRegistry registry;
  ComponentDescriptor component(&kModule, nullptr);
  // A failure, never a success code: the missing key's error as an HRESULT.
  EXPECT_EQ(registration::unregisterServer(component.descriptor()), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));

  // With the AppID gone, the library and class keys are not visited; the
  // interface keys before it are removed.
  ASSERT_EQ(registration::registerServer(component.descriptor()), S_OK);
  ASSERT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, appKey().c_str()), ERROR_SUCCESS);
  EXPECT_EQ(registration::unregisterServer(component.descriptor()), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(keyExists(interfaceKey().c_str()));
  EXPECT_TRUE(keyExists(libKey("1.0\\0\\WIN32").c_str()));
  EXPECT_TRUE(keyExists(clsidKey("InProcServer32").c_str()));
}

TEST(Registration, UnregisterStopsAtTheFirstMissingKeyAfterTheAppId) {
  TempRegistry registry;
  ComponentDescriptor component(&kModule, nullptr);
  ASSERT_EQ(registration::registerServer(component.descriptor()), S_OK);
  ASSERT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, libKey("1.0\\HELPDIR").c_str()), ERROR_SUCCESS);
  EXPECT_EQ(registration::unregisterServer(component.descriptor()), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(keyExists(libKey("1.0\\FLAGS").c_str()));  // U10 ran
  EXPECT_TRUE(keyExists(libKey("1.0").c_str()));           // U12 did not
  EXPECT_TRUE(keyExists(clsidKey("InProcServer32").c_str()));
}

TEST(Registration, IdentifiersWithoutTextFollowTheirRules) {
  struct Case {
    const char* name;
    int missing;  // 0 class, 1 app, 2 library, 3 interface
    HRESULT registerResult;
    const char* presentAfterRegister;  // key that must exist, "" for none
    const char* absentAfterRegister;   // key that must not exist
    HRESULT unregisterResult;
    const char* presentAfterUnregister;
  };
  const std::string inproc = clsidKey("InProcServer32");
  const std::string clsidTypeLib = clsidKey("TypeLib");
  const std::string curVer = "MVComm.MVComm\\CurVer";
  const std::string lib = libKey();
  const std::string iface = interfaceKey();
  const std::string app = appKey();
  const std::string progIdKey = clsidKey("ProgID");
  const Case cases[] = {
      {"class", 0, E_FAIL, "", "CLSID", E_FAIL, ""},
      {"app", 1, E_FAIL, inproc.c_str(), progIdKey.c_str(), E_FAIL, inproc.c_str()},
      {"library", 2, E_FAIL, curVer.c_str(), clsidTypeLib.c_str(), E_FAIL, inproc.c_str()},
      {"interface", 3, S_OK, app.c_str(), iface.c_str(), S_OK, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempRegistry registry;
    ComponentDescriptor component(&kModule, nullptr);
    registration::ServerDescriptor& server = component.descriptor();
    const GUID** field[] = {&component.mvcommClass().classId, &server.appId, &server.typeLibraryId,
                            &component.mvcommClass().interfaces[0].interfaceId};
    const GUID* original = *field[c.missing];
    *field[c.missing] = nullptr;
    EXPECT_EQ(registration::registerServer(server), c.registerResult);
    if (c.presentAfterRegister[0] != '\0') {
      EXPECT_TRUE(keyExists(c.presentAfterRegister));
    }
    EXPECT_FALSE(keyExists(c.absentAfterRegister));
    if (c.missing == 2) {
      EXPECT_FALSE(keyExists(lib.c_str()));
    }  // E_FAIL at step 15

    // Unregister a full registration with the identifier missing.
    *field[c.missing] = original;
    ASSERT_EQ(registration::registerServer(server), S_OK);
    *field[c.missing] = nullptr;
    EXPECT_EQ(registration::unregisterServer(server), c.unregisterResult);
    if (c.presentAfterUnregister[0] != '\0') {
      EXPECT_TRUE(keyExists(c.presentAfterUnregister));
    }
    EXPECT_EQ(keyExists(iface.c_str()), c.missing == 3);  // U1-U4 run first, unless skipped
  }
}

TEST(Registration, AutomationKindDecidesProgrammableAndInterfaceKeys) {
  TempRegistry registry;
  ComponentDescriptor component(&kModule, nullptr);
  component.mvcommClass().interfaces[0].automationKind = 0;
  ASSERT_EQ(registration::registerServer(component.descriptor()), S_OK);
  EXPECT_FALSE(keyExists(clsidKey("Programmable").c_str()));
  EXPECT_FALSE(keyExists(interfaceKey().c_str()));
  EXPECT_EQ(registration::unregisterServer(component.descriptor()), S_OK);  // U18 is skipped too
  EXPECT_EQ(dumpRegistry(), (RegistryDump{{"AppID", {}}, {"CLSID", {}}, {"TypeLib", {}}}));
}

TEST(Registration, FailedWritesAreReportedAsFailures) {
  TempRegistry registry;
  // A folder where the database file should be: every write fails.
  const std::string folder = registry.folder() + "/not-a-file";
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  setenv("MVCOMM_REGISTRY", folder.c_str(), 1);
  ComponentDescriptor component(&kModule, nullptr);
  EXPECT_EQ(registration::registerServer(component.descriptor()), HRESULT_FROM_WIN32(ERROR_CANTOPEN));
}

TEST(Registration, EveryTextConversionFailureEndsCleanly) {
  TempRegistry registry;
  ComponentDescriptor component(&kModule, nullptr);
  bool injected = true;
  long nth = 1;
  for (; injected; ++nth) {
    SCOPED_TRACE(nth);
    const ole::LiveCounts before = ole::LiveCounts::now();
    ole::failAllocation(ole::AllocKind::CoTaskMem, nth);
    HRESULT registered = registration::registerServer(component.descriptor());
    injected = ole::injectedFailures(ole::AllocKind::CoTaskMem) > 0;
    ole::failAllocation(ole::AllocKind::CoTaskMem, nth);
    HRESULT unregistered = registration::unregisterServer(component.descriptor());
    ole::clearAllocationFailures();
    EXPECT_TRUE(registered == S_OK || registered == E_FAIL) << std::hex << registered;
    EXPECT_TRUE(unregistered == S_OK || unregistered == E_FAIL ||
                unregistered == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))
        << std::hex << unregistered;
    EXPECT_EQ(ole::LiveCounts::now(), before);
    // Whatever was left behind, a clean pair afterwards restores the layout.
    ASSERT_EQ(registration::registerServer(component.descriptor()), S_OK);
    EXPECT_EQ(dumpRegistry(), expectedLayout(kModule, "/opt/mvcomm/lib"));
    ASSERT_EQ(registration::unregisterServer(component.descriptor()), S_OK);
  }
  EXPECT_GT(nth, 6);  // each identifier's text was failed at least once
}

TEST(RegistryLayout, DerivedPathsFollowTheServerPath) {
  struct Case {
    const char* serverPath;
    const char* helpDir;
    const char* separateLibrary;
  };
  const Case cases[] = {
      {"/usr/lib/libMVComm.so", "/usr/lib", "/usr/lib/libMVComm.tlb"},
      {"/libMVComm.so", "/", "/libMVComm.tlb"},
      {"libMVComm.so", "", "libMVComm.tlb"},
      {"/a.b/libMVComm", "/a.b", "/a.b/libMVComm.tlb"},
      {"/a/lib.v1.so", "/a", "/a/lib.v1.tlb"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.serverPath);
    const std::string path = c.serverPath;
    ComponentDescriptor component(&path, nullptr);
    EXPECT_EQ(registration::helpDirectory(path), c.helpDir);
    EXPECT_EQ(registration::typeLibraryFile(component.descriptor()), path);
    component.descriptor().typeLibraryInServer = 0;
    EXPECT_EQ(registration::typeLibraryFile(component.descriptor()), c.separateLibrary);
  }
}

}  // namespace
}  // namespace mvcomm::testing

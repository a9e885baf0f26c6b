// File: tests/server/module_entry_test.cpp
//
// The module's load hook (path, runtime), DllCanUnloadNow, and a module
// installed at a path longer than 255 characters.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/ole/winerror.h"
#if defined(MVCOMM_HAVE_REGISTRATION)
#include "platform/registry/winreg.h"
#include "server/registration/component_ids.h"
#endif
#include "server/module_state.h"
#include "vm/vm_api.h"
#include "vm/vm_testing.h"

STDAPI DllCanUnloadNow();

namespace mvcomm::server {
namespace {

namespace fs = std::filesystem;

TEST(ModuleEntry, LoadRecordsTheModulesFullPath) {
  char* real = realpath(MVCOMM_MODULE, nullptr);
  ASSERT_NE(real, nullptr);
  EXPECT_STREQ(modulePath(), real);
  free(real);
  EXPECT_GE(vm::testing::prepareRuntimeCount(), 1) << "the load hook prepares the runtime";
}

TEST(ModuleEntry, CanUnloadOnlyWhileNothingHoldsTheModule) {
  ASSERT_EQ(moduleLockCount(), 0);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
  lockModule();  // a server lock
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  lockModule();  // an object's first reference
  unlockModule();
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  unlockModule();
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

// Copies the module into a directory whose path passes 255 characters.
class LongPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/mvcomm-long-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    fs::path dir = root_;
    while (dir.string().size() < 300) dir /= std::string(60, 'd');
    fs::create_directories(dir);
    copy_ = dir / "libMVComm.so";
    fs::copy_file(MVCOMM_MODULE, copy_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  fs::path root_;
  fs::path copy_;
};

TEST_F(LongPathTest, TheWholePathIsKeptAndNamesAModuleSessionsCanUse) {
  ASSERT_GT(copy_.string().size(), 255u);
  void* module = dlopen(copy_.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  // mvcomm::server::modulePath() of the copy.
  auto pathOf = reinterpret_cast<const char* (*)()>(dlsym(module, "_ZN6mvcomm6server10modulePathEv"));
  ASSERT_NE(pathOf, nullptr);
  EXPECT_EQ(std::string(pathOf()), copy_.string());

  int64_t before = vm::testing::liveTotal();
  {
    vm::IVMString* path = nullptr;
    vm::IVMString* cls = nullptr;
    vm::IVMSession* session = nullptr;
    vm::IVMObject* object = nullptr;
    ASSERT_EQ(vm::vmMakeString(pathOf(), &path), vm::kVmOk);
    ASSERT_EQ(vm::vmMakeString("n_cst_mvcomm", &cls), vm::kVmOk);
    EXPECT_EQ(vm::vmStartSession(nullptr, path, 1, 0, &session), vm::kVmOk);
    if (session) {
      EXPECT_EQ(vm::vmCreateObject(cls, session, &object), vm::kVmOk);
    }
    if (object) object->Release();
    if (session) session->Release();
    cls->Release();
    path->Release();
  }
  EXPECT_EQ(vm::testing::liveTotal(), before);
  dlclose(module);
}

TEST_F(LongPathTest, AModuleOpenedByARelativePathRecordsItsAbsolutePath) {
  char before[PATH_MAX];
  ASSERT_NE(getcwd(before, sizeof before), nullptr);
  ASSERT_EQ(chdir(copy_.parent_path().c_str()), 0);
  void* module = dlopen("./libMVComm.so", RTLD_NOW | RTLD_LOCAL);
  std::string recorded;
  if (module != nullptr) {
    auto pathOf = reinterpret_cast<const char* (*)()>(dlsym(module, "_ZN6mvcomm6server10modulePathEv"));
    if (pathOf != nullptr) recorded = pathOf();
  }
  ASSERT_EQ(chdir(before), 0);
  ASSERT_NE(module, nullptr) << dlerror();
  char* real = realpath(copy_.c_str(), nullptr);
  ASSERT_NE(real, nullptr);
  EXPECT_EQ(recorded, real) << "a session started elsewhere must still find the file";
  free(real);
  dlclose(module);
}

#if defined(MVCOMM_HAVE_REGISTRATION)
TEST_F(LongPathTest, RegistrationWritesTheWholePath) {
  const std::string registry = (root_ / "registry.db").string();
  setenv("MVCOMM_REGISTRY", registry.c_str(), 1);
  void* module = dlopen(copy_.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  auto registerServer = reinterpret_cast<HRESULT (*)()>(dlsym(module, "DllRegisterServer"));
  auto unregisterServer = reinterpret_cast<HRESULT (*)()>(dlsym(module, "DllUnregisterServer"));
  ASSERT_NE(registerServer, nullptr);
  ASSERT_NE(unregisterServer, nullptr);
  ASSERT_EQ(registerServer(), S_OK);

  const std::string key = std::string("CLSID\\") + registration::kClsidMVCommText + "\\InprocServer32";
  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &k), ERROR_SUCCESS);
  char value[1024] = {};
  DWORD size = sizeof value;
  DWORD type = 0;
  EXPECT_EQ(RegQueryValueExA(k, nullptr, nullptr, &type, reinterpret_cast<LPBYTE>(value), &size),
            ERROR_SUCCESS);
  RegCloseKey(k);
  EXPECT_EQ(std::string(value), copy_.string());

  EXPECT_EQ(unregisterServer(), S_OK);
  dlclose(module);
  unsetenv("MVCOMM_REGISTRY");
}
#endif

}  // namespace
}  // namespace mvcomm::server

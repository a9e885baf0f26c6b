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

}  // namespace
}  // namespace mvcomm::server

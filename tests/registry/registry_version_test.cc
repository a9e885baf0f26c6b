// File: tests/registry/registry_version_test.cc
//
// The registry's version, which readers that remember what they read rely
// on: it stays put while only reads happen and moves with every write, from
// this process or another, committed, still open or undone.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "platform/registry/registry_batch.h"
#include "platform/registry/registry_version.h"
#include "platform/registry/winreg.h"
#include "tests/registry/reg_helpers.h"
#include "testing/temp_registry.h"

namespace mvcomm::testing {
namespace {

using registry::currentRegistryVersion;
using registry::RegistryVersion;

RegistryVersion versionNow() {
  RegistryVersion v;
  EXPECT_EQ(currentRegistryVersion(&v), ERROR_SUCCESS);
  return v;
}

// Runs `step` in a child process; true when it returned ERROR_SUCCESS.
bool inChild(const std::function<LONG()>& step) {
  const pid_t pid = fork();
  if (pid == 0) _exit(step() == ERROR_SUCCESS ? 0 : 1);
  int status = -1;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(RegistryVersion, StaysWhileOnlyReadsHappen) {
  TempRegistry temp;
  ASSERT_EQ(setString("A\\B", nullptr, "b"), ERROR_SUCCESS);
  const RegistryVersion before = versionNow();
  EXPECT_EQ(getString("A\\B", nullptr), "b");
  EXPECT_FALSE(keyExists("A\\Missing"));
  Key key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "A", 0, KEY_READ, key.out()), ERROR_SUCCESS);
  EXPECT_EQ(subkeyNames(key.get()).size(), 1u);
  EXPECT_EQ(versionNow(), before);
}

TEST(RegistryVersion, MovesWithEveryWrite) {
  TempRegistry temp;
  ASSERT_EQ(setString("A\\B", nullptr, "b"), ERROR_SUCCESS);
  struct Case {
    const char* name;
    std::function<void()> write;
  };
  const Case cases[] = {
      {"a value set here", [] { EXPECT_EQ(setString("A\\B", "v", "1"), ERROR_SUCCESS); }},
      {"a key created here", [] { EXPECT_EQ(setString("A\\C", nullptr, "c"), ERROR_SUCCESS); }},
      {"a key deleted here", [] { EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "A\\C"), ERROR_SUCCESS); }},
      {"a batch undone", [] {
         registry::Batch batch;
         ASSERT_EQ(batch.status(), ERROR_SUCCESS);
         EXPECT_EQ(setString("A\\D", nullptr, "d"), ERROR_SUCCESS);
       }},
      {"a value set by another process",
       [] { EXPECT_TRUE(inChild([] { return setString("A\\B", "v", "2"); })); }},
      {"a key deleted by another process",
       [] { EXPECT_TRUE(inChild([] { return RegDeleteTreeA(HKEY_CLASSES_ROOT, "A\\B"); })); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RegistryVersion before = versionNow();
    c.write();
    EXPECT_NE(versionNow(), before);
  }
  EXPECT_FALSE(keyExists("A\\D")) << "the undone batch left its key";
}

TEST(RegistryVersion, AnOpenBatchHasMovedItBeforeItCommits) {
  TempRegistry temp;
  const RegistryVersion before = versionNow();
  registry::Batch batch;
  ASSERT_EQ(batch.status(), ERROR_SUCCESS);
  ASSERT_EQ(setString("Pending", nullptr, "p"), ERROR_SUCCESS);
  const RegistryVersion during = versionNow();  // the batch's own thread reads its writes
  EXPECT_NE(during, before);
  ASSERT_EQ(batch.commit(), ERROR_SUCCESS);
  EXPECT_NE(versionNow(), during);
}

TEST(RegistryVersion, EachDatabaseHasItsOwn) {
  RegistryVersion first;
  {
    TempRegistry one;
    ASSERT_EQ(setString("K", nullptr, "1"), ERROR_SUCCESS);
    first = versionNow();
  }
  TempRegistry two;
  ASSERT_EQ(setString("K", nullptr, "1"), ERROR_SUCCESS);
  EXPECT_NE(versionNow(), first);
}

}  // namespace
}  // namespace mvcomm::testing

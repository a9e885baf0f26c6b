// The database behind the registry: where it lives, what it refuses,
// transactions (batches), threads and other processes.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry/registry_batch.h"
#include "platform/registry/registry_path.h"
#include "platform/registry/winreg.h"
#include "tests/registry/reg_helpers.h"
#include "testing/temp_registry.h"

namespace mvcomm::testing {
namespace {

// Sets or clears environment variables for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old, had_ = true;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (had_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

TEST(RegistryDatabase, PathComesFromTheEnvironmentInOrder) {
  struct Case {
    const char* registry;
    const char* dataHome;
    const char* home;
    const char* expected;
  };
  const Case cases[] = {
      {"/r/reg.db", "/d", "/h", "/r/reg.db"},
      {"", "/d", "/h", "/d/mvcomm/registry.db"},
      {nullptr, "/d", "/h", "/d/mvcomm/registry.db"},
      {nullptr, "relative", "/h", "/h/.local/share/mvcomm/registry.db"},
      {nullptr, nullptr, "/h", "/h/.local/share/mvcomm/registry.db"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    ScopedEnv registry("MVCOMM_REGISTRY", c.registry);
    ScopedEnv data("XDG_DATA_HOME", c.dataHome);
    ScopedEnv home("HOME", c.home);
    EXPECT_EQ(registry::databasePath(), c.expected);
  }
}

TEST(RegistryDatabase, FirstUseCreatesTheFileAndItsFolders) {
  TempRegistry temp;
  std::string file = temp.folder() + "/a/b/registry.db";
  ScopedEnv registry("MVCOMM_REGISTRY", file.c_str());
  ASSERT_EQ(setString("K", nullptr, "v"), ERROR_SUCCESS);
  EXPECT_TRUE(std::filesystem::exists(file));
}

TEST(RegistryDatabase, ForeignFilesAreRefusedAndLeftAlone) {
  TempRegistry temp;
  const std::string junk = "this is not a database, but it is somebody's file" + std::string(4096, 'x');
  std::ofstream(temp.file()) << junk;
  Key key;
  EXPECT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "K", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.out(), nullptr),
            ERROR_BADDB);
  std::ifstream after(temp.file());
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(after), {}), junk);

  // Another program's SQLite file, marked with its own version or not at all:
  // refused, and none of the registry's tables added to it.
  for (const char* made : {"CREATE TABLE t(x); PRAGMA user_version=7", "CREATE TABLE t(x)"}) {
    SCOPED_TRACE(made);
    TempRegistry other;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(other.file().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, made, nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "K", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.out(), nullptr),
              ERROR_BADDB);
    sqlite3_stmt* tables = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT group_concat(name) FROM sqlite_master", -1, &tables, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(tables), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(tables, 0)), "t");
    sqlite3_finalize(tables);
    sqlite3_close(db);
  }
}

TEST(RegistryDatabase, BatchCommitsWholeOrRollsBackWhole) {
  TempRegistry temp;
  {
    registry::Batch batch;
    ASSERT_EQ(batch.status(), ERROR_SUCCESS);
    ASSERT_EQ(setString("A", nullptr, "1"), ERROR_SUCCESS);
    ASSERT_EQ(setString("B", nullptr, "2"), ERROR_SUCCESS);
    EXPECT_EQ(getString("A", nullptr), "1");  // visible inside the batch
  }  // dropped: rolled back
  EXPECT_FALSE(keyExists("A"));
  EXPECT_FALSE(keyExists("B"));

  registry::Batch batch;
  ASSERT_EQ(setString("A", nullptr, "1"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Missing"), ERROR_FILE_NOT_FOUND);  // fails alone
  ASSERT_EQ(setString("B", nullptr, "2"), ERROR_SUCCESS);
  EXPECT_EQ(batch.commit(), ERROR_SUCCESS);
  EXPECT_EQ(getString("A", nullptr), "1");
  EXPECT_EQ(getString("B", nullptr), "2");
}

TEST(RegistryDatabase, ThreadsWriteAtOnceWithoutLosingAWrite) {
  TempRegistry temp;
  constexpr int kThreads = 4;
  constexpr int kKeys = 50;
  std::vector<std::thread> threads;
  std::vector<LONG> failures(kThreads, ERROR_SUCCESS);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < kKeys; ++i) {
        std::string path = "T\\" + std::to_string(t) + "\\" + std::to_string(i);
        if (LONG err = setString(path.c_str(), nullptr, path); err != ERROR_SUCCESS) failures[t] = err;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    SCOPED_TRACE(t);
    EXPECT_EQ(failures[t], ERROR_SUCCESS);
    std::string last = "T\\" + std::to_string(t) + "\\" + std::to_string(kKeys - 1);
    EXPECT_EQ(getString(last.c_str(), nullptr), last);
  }
}

TEST(RegistryDatabase, ProcessesWriteAtOnceWithoutLosingAWrite) {
  TempRegistry temp;
  ASSERT_EQ(setString("Shared", nullptr, "parent"), ERROR_SUCCESS);  // parent opened it before fork
  constexpr int kChildren = 3;
  constexpr int kKeys = 60;
  std::vector<pid_t> children;
  for (int c = 0; c < kChildren; ++c) {
    pid_t pid = fork();
    ASSERT_NE(pid, -1);
    if (pid == 0) {
      int failures = 0;
      for (int i = 0; i < kKeys; ++i) {
        std::string path = "P\\" + std::to_string(c) + "\\" + std::to_string(i);
        failures += setString(path.c_str(), nullptr, path) != ERROR_SUCCESS;
        failures += setString("Shared", "last", path) != ERROR_SUCCESS;
      }
      _exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (int i = 0; i < kKeys; ++i) {
    EXPECT_EQ(setString("P\\parent", std::to_string(i).c_str(), "x"), ERROR_SUCCESS);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  }
  for (int c = 0; c < kChildren; ++c) {
    Key key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, ("P\\" + std::to_string(c)).c_str(), 0, KEY_READ, key.out()),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeyNames(key.get()).size(), static_cast<std::size_t>(kKeys));
  }
  Key parent;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "P\\parent", 0, KEY_READ, parent.out()), ERROR_SUCCESS);
  EXPECT_EQ(valueNames(parent.get()).size(), static_cast<std::size_t>(kKeys));
  EXPECT_EQ(temp.integrityCheck(), "ok");
}

}  // namespace
}  // namespace mvcomm::testing

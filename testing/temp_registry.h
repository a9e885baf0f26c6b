// File: testing/temp_registry.h
//
// Points MVCOMM_REGISTRY at a fresh database in a private temporary folder
// for one test, and removes the folder afterwards. Shared by the registry,
// registration and tool tests.
#pragma once

#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace mvcomm::testing {

class TempRegistry {
 public:
  // `parent` holds the private folder; /dev/shm suits tests that kill
  // writers many times and need no disk syncs.
  explicit TempRegistry(const std::string& parent = "/tmp") {
    std::string pattern = parent + "/mvcomm-reg-XXXXXX";
    const char* made = mkdtemp(pattern.data());
    folder_ = made != nullptr ? made : parent;
    owned_ = made != nullptr;
    file_ = folder_ + "/registry.db";
    const char* previous = getenv("MVCOMM_REGISTRY");
    hadPrevious_ = previous != nullptr;
    if (hadPrevious_) previous_ = previous;
    setenv("MVCOMM_REGISTRY", file_.c_str(), 1);
  }
  ~TempRegistry() {
    if (hadPrevious_) {
      setenv("MVCOMM_REGISTRY", previous_.c_str(), 1);
    } else {
      unsetenv("MVCOMM_REGISTRY");
    }
    std::error_code ignored;
    if (owned_) std::filesystem::remove_all(folder_, ignored);  // never the parent itself
  }
  TempRegistry(const TempRegistry&) = delete;
  TempRegistry& operator=(const TempRegistry&) = delete;

  const std::string& file() const { return file_; }
  const std::string& folder() const { return folder_; }

  // "ok" when SQLite finds the file sound, else its complaint.
  std::string integrityCheck() const {
    sqlite3* db = nullptr;
    std::string result = "cannot open";
    if (sqlite3_open_v2(file_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
      sqlite3_stmt* stmt = nullptr;
      if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr) == SQLITE_OK &&
          sqlite3_step(stmt) == SQLITE_ROW) {
        result = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
      }
      sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return result;
  }

 private:
  std::string folder_;
  std::string file_;
  std::string previous_;
  bool hadPrevious_ = false;
  bool owned_ = false;  // the folder was made here
};

}  // namespace mvcomm::testing

// File: platform/registry/internal/database.h
//
// One SQLite connection to a registry database: schema, cached statements,
// nested write transactions and the mapping of SQLite's errors onto the
// registry's error numbers. Private to platform/registry.
//
// Schema (user_version 1):
//   keys(id, parent, name, path, written)  one row per key; the root is id 1
//                                          with an empty name and path
//   vals(key, name, type, data)            one row per value; rowid order is
//                                          the order values were first set
// Names and paths compare with NOCASE, so lookups ignore ASCII case while the
// rows keep the spelling they were created with.
#pragma once

#include <sqlite3.h>
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/registry/winreg.h"

namespace mvcomm::registry::internal {

inline constexpr std::int64_t kRootKeyId = 1;

class Database {
 public:
  // Opens (creating on first use, with its folder) the database at `path`.
  // Errors: ERROR_CANTOPEN, ERROR_BADDB (not a registry database, or a newer
  // schema), ERROR_BUSY, ERROR_NOT_ENOUGH_MEMORY.
  static LONG open(const std::string& path, std::shared_ptr<Database>& out);

  // The connection for the database the environment names now, shared by
  // every caller in this process. After fork() the child gets its own.
  static LONG current(std::shared_ptr<Database>& out);

  // The connection for `path` usable in this process (reopened after fork).
  static LONG reopenedIfForked(std::shared_ptr<Database>& db);

  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  const std::string& path() const { return path_; }
  sqlite3* raw() const { return db_; }
  pid_t ownerPid() const { return pid_; }
  // Unique per connection opened in this process, never 0.
  std::uint64_t serial() const { return serial_; }
  // Write transactions begun, committed or rolled back so far (under mutex()).
  std::uint64_t localWrites() const { return localWrites_; }

  // Held for every use of the connection; recursive so a Batch can hold it
  // across the calls it groups.
  std::recursive_mutex& mutex() { return mutex_; }

  // A prepared statement for `sql` (a string literal), reset and unbound.
  // Null on failure, with the error in `err`.
  sqlite3_stmt* statement(const char* sql, LONG& err);

  // Write transactions nest: the outermost is BEGIN IMMEDIATE (so two writers
  // never deadlock upgrading a read lock), inner ones are savepoints.
  LONG begin();
  LONG commit();
  void rollback();

  // Runs `body` (returning LONG) as one write transaction under the lock.
  template <typename Body>
  LONG write(Body&& body) {
    std::lock_guard lock(mutex_);
    LONG err = begin();
    if (err != ERROR_SUCCESS) return err;
    err = body();
    if (err != ERROR_SUCCESS) {
      rollback();
      return err;
    }
    return commit();
  }

  // The registry error number for a SQLite result code.
  static LONG errorFor(int rc);
  LONG lastError() const;

 private:
  Database(std::string path, sqlite3* db);
  LONG prepareSchema();
  LONG exec(const char* sql);

  std::string path_;                           // file the connection was opened on
  sqlite3* db_;                                // owned
  pid_t pid_;                                  // process that opened it
  std::recursive_mutex mutex_;
  std::map<const char*, sqlite3_stmt*> statements_;  // keyed by the literal's address
  int depth_ = 0;                              // open write transactions (nesting)
  std::uint64_t serial_;                       // see serial()
  std::uint64_t localWrites_ = 0;              // see localWrites(); readers compare it
};

// A cached statement for one use: reset when it goes out of scope, so no
// finished read keeps a snapshot (and the WAL) pinned between calls.
class Statement {
 public:
  Statement(Database& db, const char* sql) : stmt_(db.statement(sql, err_)) {}
  ~Statement() {
    if (stmt_ != nullptr) sqlite3_reset(stmt_);
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  sqlite3_stmt* get() const { return stmt_; }
  LONG error() const { return err_; }  // why get() is null

 private:
  LONG err_ = ERROR_SUCCESS;
  sqlite3_stmt* stmt_;
};

// Milliseconds since the Unix epoch, for `keys.written`.
std::int64_t nowUnixMs();

}  // namespace mvcomm::registry::internal

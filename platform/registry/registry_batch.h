// File: platform/registry/registry_batch.h
//
// Groups several registry calls of one thread into one transaction, so a
// set of keys and values (an imported file, say) lands whole or not at all.
//
//   mvcomm::registry::Batch batch;
//   if (batch.status() != ERROR_SUCCESS) return batch.status();
//   ... RegCreateKeyExA / RegSetValueExA / RegDeleteTreeA ...
//   return batch.commit();          // or let it go out of scope: rolled back
//
// While a batch is open, other threads' registry calls wait for it, and
// other processes' writers wait (up to the busy time-out). Calls inside a
// batch that fail undo only their own part.
#pragma once

#include <memory>

#include "platform/registry/winreg.h"

namespace mvcomm::registry {

namespace internal {
class Database;
}

class Batch {
 public:
  // Opens a transaction on the database the environment names now. Errors in
  // status(): those of opening the database, ERROR_BUSY.
  Batch();
  ~Batch();
  Batch(const Batch&) = delete;
  Batch& operator=(const Batch&) = delete;

  LONG status() const { return status_; }

  // Checks the whole database before a change is trusted to it: SQLite's
  // integrity check, then the key tree (every key reached from the root once,
  // through its parent, with the path its parent's path and its name make).
  // ERROR_BADDB when either fails; the open error when the batch never started.
  [[nodiscard]] LONG check();

  // Commits. Errors: the database's (ERROR_BUSY, ERROR_DISK_FULL, ...), or
  // the open error when the batch never started.
  [[nodiscard]] LONG commit();

 private:
  std::shared_ptr<internal::Database> db_;  // null once committed or rolled back
  LONG status_;                             // result of opening the transaction
};

}  // namespace mvcomm::registry

// File: platform/registry/registry_batch.cc
#include "platform/registry/registry_batch.h"

#include <string_view>

#include "platform/registry/internal/database.h"

namespace mvcomm::registry {

Batch::Batch() : status_(internal::Database::current(db_)) {
  if (status_ != ERROR_SUCCESS) {
    db_.reset();
    return;
  }
  db_->mutex().lock();
  status_ = db_->begin();
  if (status_ != ERROR_SUCCESS) {
    db_->mutex().unlock();
    db_.reset();
  }
}

Batch::~Batch() {
  if (!db_) return;
  db_->rollback();
  db_->mutex().unlock();
}

namespace {

// Rows of the key tree a sound database never holds: a root with a parent,
// keys the root does not reach (orphans, cycles), and names or paths that
// disagree with the parent's. UNION keeps the walk finite on a cycle.
const char* const kTreeFaults =
    "WITH RECURSIVE t(id) AS (SELECT 1 UNION SELECT k.id FROM keys k JOIN t ON k.parent = t.id)"
    " SELECT (SELECT count(*) FROM keys WHERE id = 1 AND parent IS NULL) <> 1"
    " OR (SELECT count(*) FROM keys) <> (SELECT count(*) FROM t)"
    " OR EXISTS(SELECT 1 FROM keys k JOIN keys p ON p.id = k.parent WHERE k.id <> 1 AND"
    "  (k.name = '' OR k.path <> CASE WHEN p.id = 1 THEN k.name ELSE p.path || '\\' || k.name END))";

}  // namespace

LONG Batch::check() {
  if (!db_) return status_ == ERROR_SUCCESS ? ERROR_INVALID_HANDLE : status_;
  for (const char* sql : {"PRAGMA integrity_check(1)", kTreeFaults}) {
    internal::Statement stmt(*db_, sql);
    if (stmt.get() == nullptr) return stmt.error();
    int rc = sqlite3_step(stmt.get());
    if (rc != SQLITE_ROW) return internal::Database::errorFor(rc);
    if (sql == kTreeFaults) {
      if (sqlite3_column_int(stmt.get(), 0) != 0) return ERROR_BADDB;
    } else {
      const unsigned char* verdict = sqlite3_column_text(stmt.get(), 0);
      if (verdict == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
      if (std::string_view(reinterpret_cast<const char*>(verdict)) != "ok") return ERROR_BADDB;
    }
  }
  return ERROR_SUCCESS;
}

LONG Batch::commit() {
  if (!db_) return status_ == ERROR_SUCCESS ? ERROR_INVALID_HANDLE : status_;
  LONG err = db_->commit();
  db_->mutex().unlock();
  db_.reset();
  return err;
}

}  // namespace mvcomm::registry

// File: platform/registry/registry_version.cc
#include "platform/registry/registry_version.h"

#include <mutex>

#include "platform/registry/internal/database.h"

namespace mvcomm::registry {

LONG currentRegistryVersion(RegistryVersion* out) {
  if (out == nullptr) return ERROR_INVALID_PARAMETER;
  *out = RegistryVersion{};
  std::shared_ptr<internal::Database> db;
  if (LONG err = internal::Database::current(db); err != ERROR_SUCCESS) return err;
  std::lock_guard lock(db->mutex());
  internal::Statement stmt(*db, "PRAGMA data_version");
  if (stmt.get() == nullptr) return stmt.error();
  const int rc = sqlite3_step(stmt.get());
  if (rc != SQLITE_ROW) return internal::Database::errorFor(rc);
  *out = RegistryVersion{db->serial(), static_cast<std::uint64_t>(sqlite3_column_int64(stmt.get(), 0)),
                         db->localWrites()};
  return ERROR_SUCCESS;
}

}  // namespace mvcomm::registry

// File: platform/registry/reg_values.cc
//
// The value functions: set, query, enumerate, delete.
#include <cstring>
#include <string>

#include "platform/no_throw.h"
#include "platform/registry/internal/open_key.h"
#include "platform/registry/winreg.h"

using mvcomm::registry::internal::checkKeyAlive;
using mvcomm::registry::internal::Database;
using mvcomm::registry::internal::nowUnixMs;
using mvcomm::registry::internal::OpenKey;
using mvcomm::registry::internal::resolve;
using mvcomm::registry::internal::Statement;

namespace {

const char* valueName(LPCSTR name) { return name == nullptr ? "" : name; }

bool isStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// The bytes to store: strings always end in their terminator (a list in two),
// so no reader is handed an unterminated string.
std::string storedBytes(DWORD type, const BYTE* data, DWORD size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (!isStringType(type)) return bytes;
  if (bytes.empty() || bytes.back() != '\0') bytes += '\0';
  if (type == REG_MULTI_SZ && bytes.size() > 1 && bytes[bytes.size() - 2] != '\0') bytes += '\0';
  return bytes;
}

// Copies a found value out the way RegQueryValueExA and RegEnumValueA do.
LONG deliver(sqlite3_stmt* stmt, int typeColumn, int dataColumn, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  DWORD size = static_cast<DWORD>(sqlite3_column_bytes(stmt, dataColumn));
  const void* bytes = sqlite3_column_blob(stmt, dataColumn);
  if (bytes == nullptr && size > 0) return ERROR_NOT_ENOUGH_MEMORY;
  if (lpType != nullptr) *lpType = static_cast<DWORD>(sqlite3_column_int64(stmt, typeColumn));
  if (lpData != nullptr) {
    if (*lpcbData < size) {
      *lpcbData = size;
      return ERROR_MORE_DATA;
    }
    if (size > 0) std::memcpy(lpData, bytes, size);
  }
  if (lpcbData != nullptr) *lpcbData = size;
  return ERROR_SUCCESS;
}

LONG missingValue(Database& db, std::int64_t key) {
  LONG alive = checkKeyAlive(db, key);
  return alive == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : alive;
}

}  // namespace

extern "C" {

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved*/, DWORD dwType, const BYTE* lpData,
                    DWORD cbData) try {
  if (lpData == nullptr && cbData > 0) return ERROR_INVALID_PARAMETER;
  if (cbData > MVCOMM_REG_MAX_VALUE_DATA) return ERROR_INVALID_PARAMETER;
  const char* name = valueName(lpValueName);
  std::size_t nameLength = std::strlen(name);
  if (nameLength > MVCOMM_REG_MAX_VALUE_NAME) return ERROR_INVALID_PARAMETER;
  if (mvcomm::registry::internal::hasControlCharacter(name)) return ERROR_INVALID_PARAMETER;
  OpenKey key;
  if (LONG err = resolve(hKey, key); err != ERROR_SUCCESS) return err;
  if ((key.access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
  std::string bytes = storedBytes(dwType, lpData, lpData == nullptr ? 0 : cbData);
  Database& db = *key.db;
  return db.write([&]() -> LONG {
    if (LONG err = checkKeyAlive(db, key.id); err != ERROR_SUCCESS) return err;
    Statement upsert(db,
                     "INSERT INTO vals(key, name, type, data) VALUES(?1, ?2, ?3, ?4)"
                     " ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data");
    if (upsert.get() == nullptr) return upsert.error();
    sqlite3_bind_int64(upsert.get(), 1, key.id);
    sqlite3_bind_text(upsert.get(), 2, name, static_cast<int>(nameLength), SQLITE_STATIC);
    sqlite3_bind_int64(upsert.get(), 3, dwType);
    // A non-null pointer keeps an empty value a zero-length blob, not NULL.
    sqlite3_bind_blob(upsert.get(), 4, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
    if (int rc = sqlite3_step(upsert.get()); rc != SQLITE_DONE) return Database::errorFor(rc);
    Statement touch(db, "UPDATE keys SET written = ?2 WHERE id = ?1");
    if (touch.get() == nullptr) return touch.error();
    sqlite3_bind_int64(touch.get(), 1, key.id);
    sqlite3_bind_int64(touch.get(), 2, nowUnixMs());
    if (int rc = sqlite3_step(touch.get()); rc != SQLITE_DONE) return Database::errorFor(rc);
    return ERROR_SUCCESS;
  });
} catch (...) {
  return mvcomm::failureStatus<LONG>(ERROR_NOT_ENOUGH_MEMORY, ERROR_BADDB);
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD /*lpReserved*/, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData) try {
  if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
  OpenKey key;
  if (LONG err = resolve(hKey, key); err != ERROR_SUCCESS) return err;
  if ((key.access & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
  Database& db = *key.db;
  std::lock_guard lock(db.mutex());
  Statement stmt(db, "SELECT type, data FROM vals WHERE key = ?1 AND name = ?2");
  if (stmt.get() == nullptr) return stmt.error();
  sqlite3_bind_int64(stmt.get(), 1, key.id);
  sqlite3_bind_text(stmt.get(), 2, valueName(lpValueName), -1, SQLITE_STATIC);
  int rc = sqlite3_step(stmt.get());
  if (rc == SQLITE_DONE) return missingValue(db, key.id);
  if (rc != SQLITE_ROW) return Database::errorFor(rc);
  return deliver(stmt.get(), 0, 1, lpType, lpData, lpcbData);
} catch (...) {
  return mvcomm::failureStatus<LONG>(ERROR_NOT_ENOUGH_MEMORY, ERROR_BADDB);
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD /*lpReserved*/,
                   LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) try {
  if (lpValueName == nullptr || lpcchValueName == nullptr) return ERROR_INVALID_PARAMETER;
  if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
  OpenKey key;
  if (LONG err = resolve(hKey, key); err != ERROR_SUCCESS) return err;
  if ((key.access & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
  Database& db = *key.db;
  std::lock_guard lock(db.mutex());
  Statement stmt(db, "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY rowid LIMIT 1 OFFSET ?2");
  if (stmt.get() == nullptr) return stmt.error();
  sqlite3_bind_int64(stmt.get(), 1, key.id);
  sqlite3_bind_int64(stmt.get(), 2, dwIndex);
  int rc = sqlite3_step(stmt.get());
  if (rc == SQLITE_DONE) {
    LONG alive = checkKeyAlive(db, key.id);
    return alive == ERROR_SUCCESS ? ERROR_NO_MORE_ITEMS : alive;
  }
  if (rc != SQLITE_ROW) return Database::errorFor(rc);
  const char* name = reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 0));
  DWORD nameLength = static_cast<DWORD>(sqlite3_column_bytes(stmt.get(), 0));
  if (name == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  if (nameLength >= *lpcchValueName) {
    *lpcchValueName = nameLength;
    return ERROR_MORE_DATA;
  }
  if (LONG err = deliver(stmt.get(), 1, 2, lpType, lpData, lpcbData); err != ERROR_SUCCESS) return err;
  std::memcpy(lpValueName, name, nameLength + 1);
  *lpcchValueName = nameLength;
  return ERROR_SUCCESS;
} catch (...) {
  return mvcomm::failureStatus<LONG>(ERROR_NOT_ENOUGH_MEMORY, ERROR_BADDB);
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) try {
  OpenKey key;
  if (LONG err = resolve(hKey, key); err != ERROR_SUCCESS) return err;
  if ((key.access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
  Database& db = *key.db;
  return db.write([&]() -> LONG {
    Statement stmt(db, "DELETE FROM vals WHERE key = ?1 AND name = ?2");
    if (stmt.get() == nullptr) return stmt.error();
    sqlite3_bind_int64(stmt.get(), 1, key.id);
    sqlite3_bind_text(stmt.get(), 2, valueName(lpValueName), -1, SQLITE_STATIC);
    if (int rc = sqlite3_step(stmt.get()); rc != SQLITE_DONE) return Database::errorFor(rc);
    if (sqlite3_changes(db.raw()) == 0) return missingValue(db, key.id);
    return ERROR_SUCCESS;
  });
} catch (...) {
  return mvcomm::failureStatus<LONG>(ERROR_NOT_ENOUGH_MEMORY, ERROR_BADDB);
}

}  // extern "C"

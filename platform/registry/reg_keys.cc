// File: platform/registry/reg_keys.cc
//
// The key functions: create, open, enumerate, delete, close.
#include <cstring>
#include <string>
#include <vector>

#include "platform/no_throw.h"
#include "platform/registry/internal/open_key.h"
#include "platform/registry/winreg.h"

using mvcomm::registry::internal::checkKeyAlive;
using mvcomm::registry::internal::Database;
using mvcomm::registry::internal::findKey;
using mvcomm::registry::internal::joinPath;
using mvcomm::registry::internal::kRootKeyId;
using mvcomm::registry::internal::nowUnixMs;
using mvcomm::registry::internal::OpenKey;
using mvcomm::registry::internal::resolve;
using mvcomm::registry::internal::splitSubKey;
using mvcomm::registry::internal::Statement;

namespace {

// 100 ns ticks between 1601-01-01 and 1970-01-01.
constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;

FILETIME fileTimeFromUnixMs(std::int64_t ms) {
  std::uint64_t ticks = kUnixEpochAsFileTime + static_cast<std::uint64_t>(ms < 0 ? 0 : ms) * 10000ULL;
  return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

// Inserts the missing keys of `names` below `base`, leaving `id` and `path`
// at the last one. Runs inside a write transaction.
LONG createPath(Database& db, const OpenKey& base, const std::vector<std::string_view>& names, std::int64_t& id,
                std::string& path, bool& created) {
  if (LONG err = checkKeyAlive(db, base.id); err != ERROR_SUCCESS) return err;
  id = base.id;
  path = base.path;
  created = false;
  for (std::string_view name : names) {
    std::string childPath = joinPath(path, {name});
    std::string stored;
    std::int64_t childId = 0;
    LONG err = findKey(db, childPath, childId, &stored);
    if (err == ERROR_FILE_NOT_FOUND) {
      Statement insert(db, "INSERT INTO keys(parent, name, path, written) VALUES(?1, ?2, ?3, ?4)");
      if (insert.get() == nullptr) return insert.error();
      sqlite3_bind_int64(insert.get(), 1, id);
      sqlite3_bind_text(insert.get(), 2, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
      sqlite3_bind_text(insert.get(), 3, childPath.data(), static_cast<int>(childPath.size()), SQLITE_STATIC);
      sqlite3_bind_int64(insert.get(), 4, nowUnixMs());
      int rc = sqlite3_step(insert.get());
      if (rc != SQLITE_DONE) return Database::errorFor(rc);
      childId = sqlite3_last_insert_rowid(db.raw());
      stored = std::move(childPath);
      created = true;
    } else if (err != ERROR_SUCCESS) {
      return err;
    }
    id = childId;
    path = std::move(stored);
  }
  return ERROR_SUCCESS;
}

// Opens base\subKey, creating it when `create` is set.
LONG openOrCreate(HKEY hKey, LPCSTR subKey, REGSAM access, bool create, PHKEY result, LPDWORD disposition) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  OpenKey base;
  if (LONG err = resolve(hKey, base); err != ERROR_SUCCESS) return err;
  std::vector<std::string_view> names;
  if (LONG err = splitSubKey(subKey, names); err != ERROR_SUCCESS) return err;

  Database& db = *base.db;
  std::lock_guard lock(db.mutex());
  OpenKey key{base.db, 0, {}, access};
  // Most calls find the key already there: look before taking a write lock.
  LONG err = checkKeyAlive(db, base.id);
  if (err == ERROR_SUCCESS) err = findKey(db, joinPath(base.path, names), key.id, &key.path);
  bool created = false;
  if (err == ERROR_FILE_NOT_FOUND && create) {
    err = db.write([&] { return createPath(db, base, names, key.id, key.path, created); });
  }
  if (err != ERROR_SUCCESS) return err;

  HKEY handle = mvcomm::registry::internal::newHandle(std::move(key));
  if (handle == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  *result = handle;
  if (disposition != nullptr) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

// The key to delete: base itself for an empty subKey, else base\subKey.
LONG findTarget(Database& db, const OpenKey& base, const std::vector<std::string_view>& names, std::int64_t& id) {
  if (LONG err = checkKeyAlive(db, base.id); err != ERROR_SUCCESS) return err;
  if (names.empty()) {
    id = base.id;
    return ERROR_SUCCESS;
  }
  return findKey(db, joinPath(base.path, names), id, nullptr);
}

// The keys below `id` and `id` itself, each once: UNION (not UNION ALL) ends
// the walk on a damaged database whose parents form a cycle.
#define MVCOMM_SUBTREE "WITH RECURSIVE t(id) AS (SELECT ?1 UNION SELECT k.id FROM keys k JOIN t ON k.parent = t.id)"

// Every key reached from `id` by its children leads back to `id` by its
// parents, so a cycle below `id` runs through `id`: its parent is among them.
LONG checkNoCycleBelow(Database& db, std::int64_t id) {
  Statement stmt(db, MVCOMM_SUBTREE " SELECT EXISTS(SELECT 1 FROM t WHERE id = (SELECT parent FROM keys WHERE id = ?1))");
  if (stmt.get() == nullptr) return stmt.error();
  sqlite3_bind_int64(stmt.get(), 1, id);
  if (int rc = sqlite3_step(stmt.get()); rc != SQLITE_ROW) return Database::errorFor(rc);
  return sqlite3_column_int(stmt.get(), 0) != 0 ? ERROR_BADDB : ERROR_SUCCESS;
}

// Deletes the values and keys below `id`, and `id` itself unless `keepTop`.
LONG deleteSubtree(Database& db, std::int64_t id, bool keepTop) {
  if (LONG err = checkNoCycleBelow(db, id); err != ERROR_SUCCESS) return err;
  Statement values(db, MVCOMM_SUBTREE " DELETE FROM vals WHERE key IN t");
  if (values.get() == nullptr) return values.error();
  sqlite3_bind_int64(values.get(), 1, id);
  if (int rc = sqlite3_step(values.get()); rc != SQLITE_DONE) return Database::errorFor(rc);
  Statement keys(db, MVCOMM_SUBTREE " DELETE FROM keys WHERE id IN t AND NOT (?2 AND id = ?1)");
  if (keys.get() == nullptr) return keys.error();
  sqlite3_bind_int64(keys.get(), 1, id);
  sqlite3_bind_int(keys.get(), 2, keepTop ? 1 : 0);
  if (int rc = sqlite3_step(keys.get()); rc != SQLITE_DONE) return Database::errorFor(rc);
  return ERROR_SUCCESS;
}

#undef MVCOMM_SUBTREE

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// A subkey row as a sound database holds it: not its own parent, named, and
// with the path its parent's path and name make. A walk that trusts the
// others can loop (an empty name gives back the parent's path) or lose its way.
bool soundChild(const OpenKey& parent, std::int64_t id, std::string_view name, std::string_view path) {
  if (id == parent.id || id == kRootKeyId || name.empty() || name.find('\\') != std::string_view::npos ||
      mvcomm::registry::internal::hasControlCharacter(name)) {
    return false;
  }
  std::string expected = joinPath(parent.path, {name});
  if (expected.size() != path.size()) return false;
  for (std::size_t i = 0; i < path.size(); ++i) {  // NOCASE: ASCII letters only
    if (asciiLower(expected[i]) != asciiLower(path[i])) return false;
  }
  return true;
}

LONG hasSubkeys(Database& db, std::int64_t id, bool& any) {
  Statement stmt(db, "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
  if (stmt.get() == nullptr) return stmt.error();
  sqlite3_bind_int64(stmt.get(), 1, id);
  int rc = sqlite3_step(stmt.get());
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) return Database::errorFor(rc);
  any = rc == SQLITE_ROW;
  return ERROR_SUCCESS;
}

}  // namespace

extern "C" {

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*Reserved*/, LPSTR /*lpClass*/, DWORD /*dwOptions*/,
                     REGSAM samDesired, LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, PHKEY phkResult,
                     LPDWORD lpdwDisposition) try {
  return openOrCreate(hKey, lpSubKey, samDesired, true, phkResult, lpdwDisposition);
} catch (...) {
  return mvcomm::failureStatus<LONG>(ERROR_NOT_ENOUGH_MEMORY, ERROR_BADDB);
}

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired, PHKEY phkResult) try {
  return openOrCreate(hKey, lpSubKey, samDesired, false, phkResult, nullptr);
} catch (...) {
  return mvcomm::failureStatus<LONG>(ERROR_NOT_ENOUGH_MEMORY, ERROR_BADDB);
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) try {
  if (lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
  OpenKey base;
  if (LONG err = resolve(hKey, base); err != ERROR_SUCCESS) return err;
  std::vector<std::string_view> names;
  if (LONG err = splitSubKey(lpSubKey, names); err != ERROR_SUCCESS) return err;
  Database& db = *base.db;
  return db.write([&]() -> LONG {
    std::int64_t id = 0;
    if (LONG err = findTarget(db, base, names, id); err != ERROR_SUCCESS) return err;
    if (id == kRootKeyId) return ERROR_ACCESS_DENIED;
    bool children = false;
    if (LONG err = hasSubkeys(db, id, children); err != ERROR_SUCCESS) return err;
    if (children) return ERROR_ACCESS_DENIED;
    return deleteSubtree(db, id, false);
  });
} catch (...) {
  return mvcomm::failureStatus<LONG>(ERROR_NOT_ENOUGH_MEMORY, ERROR_BADDB);
}

LONG RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey) try {
  OpenKey base;
  if (LONG err = resolve(hKey, base); err != ERROR_SUCCESS) return err;
  std::vector<std::string_view> names;
  if (LONG err = splitSubKey(lpSubKey, names); err != ERROR_SUCCESS) return err;
  Database& db = *base.db;
  bool keepTop = lpSubKey == nullptr;
  return db.write([&]() -> LONG {
    std::int64_t id = 0;
    if (LONG err = findTarget(db, base, names, id); err != ERROR_SUCCESS) return err;
    if (id == kRootKeyId && !keepTop) return ERROR_ACCESS_DENIED;
    return deleteSubtree(db, id, keepTop);
  });
} catch (...) {
  return mvcomm::failureStatus<LONG>(ERROR_NOT_ENOUGH_MEMORY, ERROR_BADDB);
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD /*lpReserved*/,
                   LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) try {
  if (lpName == nullptr || lpcchName == nullptr) return ERROR_INVALID_PARAMETER;
  OpenKey key;
  if (LONG err = resolve(hKey, key); err != ERROR_SUCCESS) return err;
  if ((key.access & KEY_ENUMERATE_SUB_KEYS) == 0) return ERROR_ACCESS_DENIED;
  Database& db = *key.db;
  std::lock_guard lock(db.mutex());
  Statement stmt(db, "SELECT name, written, id, path FROM keys WHERE parent = ?1 ORDER BY name LIMIT 1 OFFSET ?2");
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
  DWORD length = static_cast<DWORD>(sqlite3_column_bytes(stmt.get(), 0));
  if (name == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  const char* path = reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 3));
  if (path == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  if (!soundChild(key, sqlite3_column_int64(stmt.get(), 2), {name, length},
                  {path, static_cast<std::size_t>(sqlite3_column_bytes(stmt.get(), 3))})) {
    return ERROR_BADDB;
  }
  if (length >= *lpcchName) {
    *lpcchName = length;
    return ERROR_MORE_DATA;
  }
  std::memcpy(lpName, name, length + 1);
  *lpcchName = length;
  if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass > 0) lpClass[0] = '\0';
  if (lpcchClass != nullptr) *lpcchClass = 0;
  if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = fileTimeFromUnixMs(sqlite3_column_int64(stmt.get(), 1));
  return ERROR_SUCCESS;
} catch (...) {
  return mvcomm::failureStatus<LONG>(ERROR_NOT_ENOUGH_MEMORY, ERROR_BADDB);
}

LONG RegCloseKey(HKEY hKey) try {
  if (hKey == HKEY_CLASSES_ROOT) return ERROR_SUCCESS;
  return mvcomm::registry::internal::closeHandle(hKey);
} catch (...) {
  return mvcomm::failureStatus<LONG>(ERROR_NOT_ENOUGH_MEMORY, ERROR_BADDB);
}

}  // extern "C"

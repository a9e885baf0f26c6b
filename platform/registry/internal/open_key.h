// File: platform/registry/internal/open_key.h
//
// Registry handles and key lookups shared by the key and value functions.
// A handle is a heap object listed in a process-wide table; every call checks
// the table first, so a stale or made-up handle is refused, not followed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/internal/database.h"
#include "platform/registry/winreg.h"

namespace mvcomm::registry::internal {

// What a handle stands for, copied out of the table for one call.
struct OpenKey {
  std::shared_ptr<Database> db;  // connection the key lives in
  std::int64_t id = 0;           // keys.id; a deleted key's id never comes back
  std::string path;              // full path below the root, as stored
  REGSAM access = 0;             // rights the handle was opened with
};

// Resolves a handle (the predefined root included). Errors:
// ERROR_INVALID_HANDLE, and the database's open errors for the root.
LONG resolve(HKEY handle, OpenKey& out);

// Lists a new handle for `key`. Null when memory runs out.
HKEY newHandle(OpenKey key);

// Unlists and frees a handle. Errors: ERROR_INVALID_HANDLE.
LONG closeHandle(HKEY handle);

// Splits a relative key path into its names. Null or empty gives none; one
// trailing backslash is allowed. Errors: ERROR_BAD_PATHNAME (leading
// backslash, empty name), ERROR_INVALID_PARAMETER (a name over 255 chars,
// or with a control character).
LONG splitSubKey(const char* subKey, std::vector<std::string_view>& names);

// Names are printable text: a control character (a line break, say) in a
// key or value name would also break every text form of the registry.
bool hasControlCharacter(std::string_view name);

// `base` and `names` joined with backslashes.
std::string joinPath(std::string_view base, const std::vector<std::string_view>& names);

// Finds a key by full path. Errors: ERROR_FILE_NOT_FOUND, database errors.
LONG findKey(Database& db, const std::string& path, std::int64_t& id, std::string* storedPath);

// ERROR_SUCCESS when key `id` still exists, ERROR_KEY_DELETED when not.
LONG checkKeyAlive(Database& db, std::int64_t id);

}  // namespace mvcomm::registry::internal

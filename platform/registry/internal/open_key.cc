// File: platform/registry/internal/open_key.cc
//
// The handle table and key lookups.
#include "platform/registry/internal/open_key.h"

#include <mutex>
#include <new>
#include <unordered_set>

// The object behind an HKEY.
struct HKEY__ {
  mvcomm::registry::internal::OpenKey key;
};

namespace mvcomm::registry::internal {
namespace {

std::mutex gHandlesMutex;
// Never destroyed, so a handle closed during static destruction still finds it.
std::unordered_set<HKEY>& liveHandles() {
  static auto* handles = new std::unordered_set<HKEY>();
  return *handles;
}

}  // namespace

LONG resolve(HKEY handle, OpenKey& out) {
  if (handle == HKEY_CLASSES_ROOT) {
    LONG err = Database::current(out.db);
    if (err != ERROR_SUCCESS) return err;
    out.id = kRootKeyId;
    out.path.clear();
    out.access = KEY_ALL_ACCESS;
    return ERROR_SUCCESS;
  }
  {
    std::lock_guard lock(gHandlesMutex);
    if (handle == nullptr || liveHandles().count(handle) == 0) return ERROR_INVALID_HANDLE;
    out = handle->key;
  }
  return Database::reopenedIfForked(out.db);
}

HKEY newHandle(OpenKey key) {
  HKEY handle = new (std::nothrow) HKEY__{std::move(key)};
  if (handle == nullptr) return nullptr;
  std::lock_guard lock(gHandlesMutex);
  try {
    liveHandles().insert(handle);
  } catch (const std::bad_alloc&) {
    delete handle;
    return nullptr;
  }
  return handle;
}

LONG closeHandle(HKEY handle) {
  {
    std::lock_guard lock(gHandlesMutex);
    if (handle == nullptr || liveHandles().erase(handle) == 0) return ERROR_INVALID_HANDLE;
  }
  delete handle;
  return ERROR_SUCCESS;
}

bool hasControlCharacter(std::string_view name) {
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20) return true;
  }
  return false;
}

LONG splitSubKey(const char* subKey, std::vector<std::string_view>& names) {
  names.clear();
  if (subKey == nullptr || subKey[0] == '\0') return ERROR_SUCCESS;
  std::string_view rest(subKey);
  if (rest.front() == '\\') return ERROR_BAD_PATHNAME;
  if (rest.back() == '\\') rest.remove_suffix(1);
  while (true) {
    std::string_view::size_type cut = rest.find('\\');
    std::string_view name = rest.substr(0, cut);
    if (name.empty()) return ERROR_BAD_PATHNAME;
    if (name.size() > MVCOMM_REG_MAX_KEY_NAME) return ERROR_INVALID_PARAMETER;
    if (hasControlCharacter(name)) return ERROR_INVALID_PARAMETER;
    names.push_back(name);
    if (cut == std::string_view::npos) return ERROR_SUCCESS;
    rest.remove_prefix(cut + 1);
  }
}

std::string joinPath(std::string_view base, const std::vector<std::string_view>& names) {
  std::string path(base);
  for (std::string_view name : names) {
    if (!path.empty()) path += '\\';
    path += name;
  }
  return path;
}

LONG findKey(Database& db, const std::string& path, std::int64_t& id, std::string* storedPath) {
  Statement stmt(db, "SELECT id, path FROM keys WHERE path = ?1");
  if (stmt.get() == nullptr) return stmt.error();
  sqlite3_bind_text(stmt.get(), 1, path.data(), static_cast<int>(path.size()), SQLITE_STATIC);
  int rc = sqlite3_step(stmt.get());
  if (rc == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
  if (rc != SQLITE_ROW) return Database::errorFor(rc);
  id = sqlite3_column_int64(stmt.get(), 0);
  if (storedPath != nullptr) {
    storedPath->assign(reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 1)),
                       static_cast<std::size_t>(sqlite3_column_bytes(stmt.get(), 1)));
  }
  return ERROR_SUCCESS;
}

LONG checkKeyAlive(Database& db, std::int64_t id) {
  Statement stmt(db, "SELECT 1 FROM keys WHERE id = ?1");
  if (stmt.get() == nullptr) return stmt.error();
  sqlite3_bind_int64(stmt.get(), 1, id);
  int rc = sqlite3_step(stmt.get());
  if (rc == SQLITE_ROW) return ERROR_SUCCESS;
  if (rc == SQLITE_DONE) return ERROR_KEY_DELETED;
  return Database::errorFor(rc);
}

}  // namespace mvcomm::registry::internal

// File: platform/registry/internal/database.cc
//
// Sections: error mapping; opening and schema; the per-process connection;
// statements and transactions.
#include "platform/registry/internal/database.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string_view>

#include "platform/registry/registry_path.h"

namespace mvcomm::registry::internal {
namespace {

// A writer that finds the file locked retries for this long before it
// reports ERROR_BUSY; SQLite's busy handler sleeps between tries.
constexpr int kBusyTimeoutMs = 5000;
constexpr int kSchemaVersion = 1;
constexpr int kApplicationId = 0x4D565247;  // "MVRG": marks our files

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS keys("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " parent INTEGER,"
    " name TEXT NOT NULL COLLATE NOCASE,"
    " path TEXT NOT NULL UNIQUE COLLATE NOCASE,"
    " written INTEGER NOT NULL);"
    "CREATE INDEX IF NOT EXISTS keys_by_parent ON keys(parent, name);"
    "CREATE TABLE IF NOT EXISTS vals("
    " key INTEGER NOT NULL,"
    " name TEXT NOT NULL COLLATE NOCASE,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " UNIQUE(key, name));"
    "INSERT OR IGNORE INTO keys(id, parent, name, path, written) VALUES(1, NULL, '', '', 0);";

// mkdir -p for the folder that will hold `file`; failures surface when
// SQLite cannot open the file.
void makeParentFolders(const std::string& file) {
  std::string::size_type slash = file.find('/', 1);
  while (slash != std::string::npos) {
    std::string folder = file.substr(0, slash);
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return;
    slash = file.find('/', slash + 1);
  }
}

std::atomic<std::uint64_t> gConnections{0};  // connections opened: serials

std::mutex gCurrentMutex;
std::shared_ptr<Database>* gCurrent = nullptr;  // never destroyed: see current()

}  // namespace

// ---- error mapping --------------------------------------------------------

LONG Database::errorFor(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
      return ERROR_SUCCESS;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return ERROR_BUSY;
    case SQLITE_NOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return ERROR_ACCESS_DENIED;
    case SQLITE_FULL:
      return ERROR_DISK_FULL;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
    case SQLITE_SCHEMA:
      return ERROR_BADDB;
    case SQLITE_CANTOPEN:
      return ERROR_CANTOPEN;
    case SQLITE_TOOBIG:
    case SQLITE_RANGE:
      return ERROR_INVALID_PARAMETER;
    default:
      return ERROR_REGISTRY_IO_FAILED;
  }
}

LONG Database::lastError() const { return errorFor(sqlite3_extended_errcode(db_)); }

std::int64_t nowUnixMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// ---- opening and schema ---------------------------------------------------

Database::Database(std::string path, sqlite3* db)
    : path_(std::move(path)), db_(db), pid_(getpid()), serial_(gConnections.fetch_add(1) + 1) {}

Database::~Database() {
  for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
  sqlite3_close_v2(db_);
}

LONG Database::exec(const char* sql) { return errorFor(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr)); }

LONG Database::open(const std::string& path, std::shared_ptr<Database>& out) {
  out.reset();
  if (path.empty()) return ERROR_CANTOPEN;
  if (path != ":memory:") makeParentFolders(path);
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                           nullptr);
  if (rc != SQLITE_OK) {
    LONG err = raw != nullptr ? errorFor(sqlite3_errcode(raw)) : ERROR_NOT_ENOUGH_MEMORY;
    sqlite3_close_v2(raw);
    return err == ERROR_SUCCESS ? ERROR_CANTOPEN : err;
  }
  std::shared_ptr<Database> db(new Database(path, raw));
  sqlite3_busy_timeout(raw, kBusyTimeoutMs);
  sqlite3_extended_result_codes(raw, 1);
  if (LONG err = db->prepareSchema(); err != ERROR_SUCCESS) return err;
  out = std::move(db);
  return ERROR_SUCCESS;
}

LONG Database::prepareSchema() {
  // WAL lets readers go on while one process writes; the switch is stored in
  // the file, so only the first opener really changes anything.
  if (LONG err = exec("PRAGMA journal_mode=WAL"); err != ERROR_SUCCESS) return err;
  // In WAL mode NORMAL never corrupts and loses no commit to a killed
  // process; only a power cut may drop the last commits. FULL would fsync
  // every write, making one registration take a quarter of a second.
  if (LONG err = exec("PRAGMA synchronous=NORMAL"); err != ERROR_SUCCESS) return err;
  if (LONG err = exec("BEGIN IMMEDIATE"); err != ERROR_SUCCESS) return err;
  LONG err = ERROR_SUCCESS;
  int version = -1;
  int application = -1;
  sqlite3_stmt* stmt = nullptr;
  int objects = -1;
  if (sqlite3_prepare_v2(db_, "SELECT (SELECT user_version FROM pragma_user_version),"
                              " (SELECT application_id FROM pragma_application_id),"
                              " (SELECT count(*) FROM sqlite_master)",
                         -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW) {
    version = sqlite3_column_int(stmt, 0);
    application = sqlite3_column_int(stmt, 1);
    objects = sqlite3_column_int(stmt, 2);
  } else {
    err = lastError();
  }
  sqlite3_finalize(stmt);
  if (err == ERROR_SUCCESS) {
    if (version == 0 && application == 0 && objects != 0) {
      err = ERROR_BADDB;  // somebody's unmarked database: never add our tables to it
    } else if (version == 0 && application == 0) {
      err = exec(kSchema);
      if (err == ERROR_SUCCESS) {
        std::string mark = "PRAGMA user_version=" + std::to_string(kSchemaVersion) +
                           "; PRAGMA application_id=" + std::to_string(kApplicationId);
        err = exec(mark.c_str());
      }
    } else if (version != kSchemaVersion || application != kApplicationId) {
      err = ERROR_BADDB;  // someone else's database, or a newer layout
    }
  }
  if (err != ERROR_SUCCESS) {
    exec("ROLLBACK");
    return err == ERROR_SUCCESS ? ERROR_BADDB : err;
  }
  return exec("COMMIT");
}

// ---- the per-process connection -------------------------------------------

LONG Database::current(std::shared_ptr<Database>& out) {
  std::string path = databasePath();
  std::lock_guard lock(gCurrentMutex);
  if (gCurrent == nullptr) gCurrent = new std::shared_ptr<Database>();
  std::shared_ptr<Database>& cached = *gCurrent;
  if (cached && cached->path_ == path && cached->pid_ == getpid()) {
    out = cached;
    return ERROR_SUCCESS;
  }
  if (cached && cached->pid_ != getpid()) {
    // A connection inherited through fork() must not be used or closed here:
    // closing it could checkpoint or unlink files the parent still uses.
    new std::shared_ptr<Database>(std::move(cached));
  }
  LONG err = open(path, cached);
  out = cached;
  return err;
}

LONG Database::reopenedIfForked(std::shared_ptr<Database>& db) {
  if (db->pid_ == getpid()) return ERROR_SUCCESS;
  std::shared_ptr<Database> fresh;
  LONG err = open(db->path_, fresh);
  if (err != ERROR_SUCCESS) return err;
  new std::shared_ptr<Database>(std::move(db));  // see current()
  db = std::move(fresh);
  return ERROR_SUCCESS;
}

// ---- statements and transactions ------------------------------------------

sqlite3_stmt* Database::statement(const char* sql, LONG& err) {
  auto found = statements_.find(sql);
  if (found != statements_.end()) {
    sqlite3_reset(found->second);
    sqlite3_clear_bindings(found->second);
    return found->second;
  }
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
  if (rc != SQLITE_OK) {
    err = errorFor(rc);
    sqlite3_finalize(stmt);
    return nullptr;
  }
  statements_.emplace(sql, stmt);
  return stmt;
}

// Every step of a write moves localWrites_, so a reader on this connection
// that cached something before the write sees a new version, even while the
// transaction is still open or after it was undone.
LONG Database::begin() {
  ++localWrites_;
  LONG err = exec(depth_ == 0 ? "BEGIN IMMEDIATE" : "SAVEPOINT nested");
  if (err == ERROR_SUCCESS) ++depth_;
  return err;
}

LONG Database::commit() {
  ++localWrites_;
  LONG err = exec(depth_ == 1 ? "COMMIT" : "RELEASE nested");
  if (err != ERROR_SUCCESS) {
    rollback();
    return err;
  }
  --depth_;
  return ERROR_SUCCESS;
}

void Database::rollback() {
  if (depth_ == 0) return;
  ++localWrites_;
  if (depth_ == 1) {
    exec("ROLLBACK");
  } else {
    exec("ROLLBACK TO nested");
    exec("RELEASE nested");
  }
  --depth_;
}

}  // namespace mvcomm::registry::internal

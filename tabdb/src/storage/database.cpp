// database.cpp - opening and creating database files, internal SQL, and
// transactions of one connection.
#include "storage/database.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "storage/catalog_schema.h"
#include "storage/password.h"
#include "storage/scan_counter.h"
#include "util/errors.h"

namespace tabdb {
namespace {

// How long a connection waits for another writer before giving up with
// ORA-00054. TABDB_LOCK_TIMEOUT_MS overrides it (used by tests).
int LockTimeoutMs() {
  const char* v = std::getenv("TABDB_LOCK_TIMEOUT_MS");
  if (v && *v) {
    int n = std::atoi(v);
    if (n >= 0) return n;
  }
  return 10000;
}

Status CannotResolve() { return OraError(ora::kTnsCannotResolve); }

// The write transactions of this process that have ended: a connection
// that waits for the write lock sleeps until the next one ends (or until
// its poll interval is over: other processes' commits are seen only by
// polling), so that the sessions of one process take the lock in turn
// without a poll's delay between them.
struct WriteEnds {
  std::mutex m;
  std::condition_variable ended;
  uint64_t count = 0;
};

WriteEnds& Ends() {
  static WriteEnds e;
  return e;
}

uint64_t WriteEndsSeen() {
  WriteEnds& e = Ends();
  std::lock_guard<std::mutex> l(e.m);
  return e.count;
}

void WriteEnded() {
  WriteEnds& e = Ends();
  {
    std::lock_guard<std::mutex> l(e.m);
    ++e.count;
  }
  e.ended.notify_all();
}

void AwaitWriteEnd(uint64_t seen, int ms) {
  WriteEnds& e = Ends();
  std::unique_lock<std::mutex> l(e.m);
  e.ended.wait_for(l, std::chrono::milliseconds(ms), [&] { return e.count != seen; });
}

Status Tampered(const std::string& path, const std::string& what) { return FileFailedVerification(path, what); }

// Whether `name` is `prefix` followed by decimal digits only.
bool IsNumbered(const std::string& name, char prefix) {
  if (name.size() < 2 || name[0] != prefix) return false;
  for (size_t i = 1; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return false;
  }
  return true;
}

// The engine's own tables and indexes: the catalog tables (tab$...), the
// physical tables t<obj_id>, the unique indexes u<obj_id> over them (or the
// index sqlite_autoindex_t<obj_id>_1 of the table's own UNIQUE clause) and
// the partly-NULL key indexes n<obj_id> beside them, the partition key
// indexes p<obj_id> of partitioned tables, the catalog's own
// indexes (tab$... on tab$ tables), and what SQLite makes
// by itself (automatic indexes of keys, statistics).
bool IsEngineObject(const std::string& type, const std::string& name, const std::string& table) {
  if (type == "table")
    return name.rfind("tab$", 0) == 0 || IsNumbered(name, 't') || name == "sqlite_stat1" ||
           name == "sqlite_stat4";
  if (type == "index")
    return name.rfind("sqlite_autoindex_", 0) == 0 ||
           (name.rfind("tab$", 0) == 0 && table.rfind("tab$", 0) == 0) ||
           ((IsNumbered(name, 'u') || IsNumbered(name, 'n') || IsNumbered(name, 'p')) &&
            IsNumbered(table, 't'));
  return false;  // triggers and views are never the engine's
}

// A database file is data: everything the engine runs on the file's word
// must be what it created itself. Refuses triggers, views and objects of
// other names in the schema, and physical names in the catalog other than
// the ones the engine derives from object ids (they are pasted into DDL).
Status CheckSchema(sqlite3* db, const std::string& path) {
  SqliteStmt q;
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT type, name, tbl_name FROM sqlite_schema", -1, &s, nullptr) !=
      SQLITE_OK) {
    sqlite3_finalize(s);
    return SqliteError(db, sqlite3_errcode(db));
  }
  q.reset(s);
  int rc;
  while ((rc = StepAcrossSchemaChanges(s)) == SQLITE_ROW) {
    std::string type = q.Text(0), name = q.Text(1), table = q.Text(2);
    if (!IsEngineObject(type, name, table)) return Tampered(path, type + " " + name);
  }
  if (rc != SQLITE_DONE) return SqliteError(db, rc);
  const char* bad_names =
      "SELECT 'table ' || obj_id FROM tab$tables WHERE phys IS NOT ('t' || obj_id)"
      " UNION ALL SELECT 'index ' || obj_id FROM tab$indexes"
      " WHERE phys IS NOT NULL AND phys <> '' AND phys IS NOT ('u' || obj_id)"
      " AND phys IS NOT ('sqlite_autoindex_t' || table_obj || '_1') LIMIT 1";
  if (sqlite3_prepare_v2(db, bad_names, -1, &s, nullptr) != SQLITE_OK) {
    sqlite3_finalize(s);
    return SqliteError(db, sqlite3_errcode(db));
  }
  q.reset(s);
  rc = StepAcrossSchemaChanges(s);
  if (rc == SQLITE_ROW) return Tampered(path, "physical name of " + q.Text(0));
  if (rc != SQLITE_DONE) return SqliteError(db, rc);
  return Status::Ok();
}

}  // namespace

Status FileFailedVerification(const std::string& path, const std::string& why) {
  return OraErrorText(ora::kFileVerificationFailed, "database file '" + path + "' failed verification check: " + why);
}

// A file written before the newer catalog changes gets them now, in order.
Status Database::AddMissingCatalogTables(Database* d) {
  for (const CatalogUpgrade& step : kCatalogUpgrades) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(d->db_, step.applied, -1, &s, nullptr) != SQLITE_OK) {
      sqlite3_finalize(s);
      return SqliteError(d->db_, sqlite3_errcode(d->db_));
    }
    SqliteStmt probe(s);
    int rc = StepAcrossSchemaChanges(s);
    if (rc == SQLITE_ROW) continue;
    if (rc != SQLITE_DONE) return SqliteError(d->db_, rc);
    probe.reset();
    Status st = d->Exec(step.sql);
    if (!st.ok()) {
      (void)d->Exec("ROLLBACK");
      return st;
    }
  }
  return Status::Ok();
}

Database::~Database() {
  if (in_snapshot()) LeaveSnapshot();
  for (auto& kv : cache_) sqlite3_finalize(kv.second);
  if (db_) sqlite3_close_v2(db_);
}

void Database::EnterSnapshot(sqlite3* pinned) {
  if (in_snapshot()) LeaveSnapshot();
  own_db_ = db_;
  own_cache_ = std::move(cache_);
  cache_.clear();
  db_ = pinned;
  WatchCatalogScans(db_);
  ++switches_;
}

void Database::LeaveSnapshot() {
  if (!in_snapshot()) return;
  for (auto& kv : cache_) sqlite3_finalize(kv.second);
  cache_ = std::move(own_cache_);
  own_cache_.clear();
  sqlite3* pinned = db_;
  db_ = own_db_;
  own_db_ = nullptr;
  // Ends the pinned read transaction; statements of it not finalized yet
  // keep the connection until they are (close_v2).
  (void)sqlite3_exec(pinned, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close_v2(pinned);
  ++switches_;
}

Status Database::Scn(int64_t* out) {
  sqlite3_stmt* s = nullptr;
  TABDB_RETURN_IF_ERROR(Cached("SELECT v FROM tab$meta WHERE k = 'scn'", &s));
  bool row = false;
  TABDB_RETURN_IF_ERROR(Step(s, &row));
  // A file no commit has advanced yet is at SCN 1.
  *out = row ? sqlite3_column_int64(s, 0) : 1;
  sqlite3_reset(s);
  return Status::Ok();
}

Status Database::OpenConnection(const std::string& path, bool create, sqlite3** out) {
  // Before SQLite's first use in the process: no count of the memory it
  // holds (SQLite would take one process-wide mutex around every
  // allocation of every connection, which the threads of a parallel run
  // then wait for). The engine reads no such count. A process that began
  // using SQLite before keeps its own settings.
  static std::once_flag configured;
  std::call_once(configured, [] { (void)sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); });
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_PRIVATECACHE;
  if (create) flags |= SQLITE_OPEN_CREATE;
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close_v2(db);
    return CannotResolve();
  }
  sqlite3_extended_result_codes(db, 1);
  // The file may come from anyone: no writes to the schema or other
  // low-level tricks through SQL, no functions with side effects from
  // schema code, and no triggers or views (the engine creates none).
  int off = 0;
  sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, &off);
  sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, &off);
  sqlite3_busy_timeout(db, LockTimeoutMs());
  *out = db;
  return Status::Ok();
}

Status Database::Create(const std::string& path, const std::string& system_password) {
  if (path.empty()) return OraErrorText(ora::kTnsCannotResolve, "TNS:could not resolve the connect identifier specified");
  // Create the file ourselves so that it is private to its owner from the
  // start; SQLite gives its -wal and -shm files the same mode.
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    return OraErrorText(ora::kCannotCreateFile, "error in creating database file '" + path + "': " +
                                  std::strerror(errno));
  }
  ::close(fd);
  ::chmod(path.c_str(), 0600);
  std::unique_ptr<Database> d(new Database);
  d->path_ = path;
  Status st = OpenConnection(path, false, &d->db_);
  d->lock_timeout_ms_ = d->opened_lock_timeout_ms_ = LockTimeoutMs();
  if (st.ok()) st = d->Exec("PRAGMA journal_mode=WAL");
  if (st.ok()) st = d->Exec(kCatalogSchema);
  for (const CatalogUpgrade& step : kCatalogUpgrades) {
    if (st.ok()) st = d->Exec(step.sql);
  }
  if (st.ok()) {
    PasswordHash h;
    if (!MakePasswordHash(system_password, &h)) {
      st = OraError(ora::kInternalError, {"no random bytes for the password salt"});
    } else {
      SqliteStmt ins;
      sqlite3_stmt* s = nullptr;
      sqlite3_prepare_v2(d->db_,
                         "INSERT INTO tab$users(name, salt, iterations, hash, is_dba, created)"
                         " VALUES('SYSTEM', ?, ?, ?, 1, julianday('now'))",
                         -1, &s, nullptr);
      ins.reset(s);
      ins.BindBlob(1, h.salt.data(), h.salt.size());
      ins.BindInt(2, h.iterations);
      ins.BindBlob(3, h.hash.data(), h.hash.size());
      int rc = sqlite3_step(ins.get());
      if (rc != SQLITE_DONE) st = SqliteError(d->db_, rc);
    }
  }
  if (!st.ok()) {
    d.reset();
    ::unlink(path.c_str());
    ::unlink((path + "-wal").c_str());
    ::unlink((path + "-shm").c_str());
  }
  return st;
}

Status Database::Open(const std::string& path, std::unique_ptr<Database>* out) {
  struct stat sb;
  if (path.empty() || ::stat(path.c_str(), &sb) != 0 || !S_ISREG(sb.st_mode)) return CannotResolve();
  std::unique_ptr<Database> d(new Database);
  d->path_ = path;
  TABDB_RETURN_IF_ERROR(OpenConnection(path, false, &d->db_));
  d->lock_timeout_ms_ = d->opened_lock_timeout_ms_ = LockTimeoutMs();
  // A file that is not ours (or not SQLite at all) is an unknown identifier.
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(d->db_, "SELECT v FROM tab$meta WHERE k='format'", -1, &s, nullptr) !=
      SQLITE_OK) {
    sqlite3_finalize(s);
    return CannotResolve();
  }
  SqliteStmt check(s);
  int rc = StepAcrossSchemaChanges(s);
  if (rc == SQLITE_BUSY) return OraError(ora::kResourceBusy);
  if (rc != SQLITE_ROW || check.Text(0) != kCatalogFormat) return CannotResolve();
  check.reset();
  TABDB_RETURN_IF_ERROR(CheckSchema(d->db_, path));
  TABDB_RETURN_IF_ERROR(AddMissingCatalogTables(d.get()));
  TABDB_RETURN_IF_ERROR(d->Exec("PRAGMA synchronous=NORMAL"));
  TABDB_RETURN_IF_ERROR(d->Exec("PRAGMA cache_size=-16384"));
  // Counted from here: the checks above read the whole catalog once per
  // connection by design.
  WatchCatalogScans(d->db_);
  *out = std::move(d);
  return Status::Ok();
}

Status Database::Exec(const std::string& sql) {
  char* err = nullptr;
  int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err);
  sqlite3_free(err);
  if (rc != SQLITE_OK) return StepError(rc);
  return Status::Ok();
}

void Database::SetWaitCheck(std::function<Status()> check) {
  wait_check_ = std::move(check);
  wait_failure_ = Status::Ok();
  if (wait_check_)
    sqlite3_busy_handler(db_, &Database::BusyWait, this);
  else
    sqlite3_busy_timeout(db_, lock_timeout_ms_);
}

// SQLite's busy handler while a wait check is set: waits for the end of a
// write transaction of this process, or at most a poll interval (short
// ones first, then 10 ms), until the lock timeout has passed since the
// wait began, asking the check before each wait.
int Database::BusyWait(void* arg, int count) {
  static const int kPolls[] = {1, 2, 5, 10};
  constexpr int kN = static_cast<int>(sizeof(kPolls) / sizeof(kPolls[0]));
  Database* d = static_cast<Database*>(arg);
  uint64_t seen = WriteEndsSeen();
  auto stop = [d] {
    if (!d->wait_check_) return false;
    Status st = d->wait_check_();
    if (st.ok()) return false;
    d->wait_failure_ = st;
    return true;
  };
  if (stop()) return 0;
  auto now = std::chrono::steady_clock::now();
  if (count == 0) d->wait_began_ = now;
  int64_t waited = std::chrono::duration_cast<std::chrono::milliseconds>(now - d->wait_began_).count();
  int64_t timeout = d->lock_timeout_ms_;
  if (waited >= timeout) return 0;
  int64_t delay = std::min<int64_t>(count < kN ? kPolls[count] : kPolls[kN - 1], timeout - waited);
  AwaitWriteEnd(seen, static_cast<int>(delay));
  // Asked again before SQLite retries: what came during the sleep (a kill
  // made just before the lock went) ends the wait rather than the lock
  // being taken.
  return stop() ? 0 : 1;
}

Status Database::StepError(int rc) {
  if ((rc & 0xff) == SQLITE_BUSY && !wait_failure_.ok()) {
    Status st = wait_failure_;
    wait_failure_ = Status::Ok();
    return st;
  }
  return SqliteError(db_, rc);
}

Status Database::Cached(const char* sql, sqlite3_stmt** out) {
  auto it = cache_.find(sql);
  if (it != cache_.end()) {
    sqlite3_reset(it->second);
    sqlite3_clear_bindings(it->second);
    *out = it->second;
    return Status::Ok();
  }
  sqlite3_stmt* s = nullptr;
  int rc = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(s);
    return SqliteError(db_, rc);
  }
  cache_.emplace(sql, s);
  *out = s;
  return Status::Ok();
}

Status Database::Step(sqlite3_stmt* stmt, bool* row) {
  int rc = StepAcrossSchemaChanges(stmt);
  if (rc == SQLITE_ROW) {
    *row = true;
    return Status::Ok();
  }
  *row = false;
  if (rc == SQLITE_DONE) return Status::Ok();
  Status st = StepError(rc);
  sqlite3_reset(stmt);
  return st;
}

Status Database::Run(sqlite3_stmt* stmt) {
  int rc = StepAcrossSchemaChanges(stmt);
  while (rc == SQLITE_ROW) rc = sqlite3_step(stmt);
  Status st = rc == SQLITE_DONE ? Status::Ok() : StepError(rc);
  sqlite3_reset(stmt);
  return st;
}

Status Database::BeginWrite() {
  if (in_snapshot()) return OraError(ora::kFlashbackMode);
  if (in_transaction()) return Status::Ok();
  return Exec("BEGIN IMMEDIATE");
}

Status Database::BeginRead() {
  if (in_transaction()) return Status::Ok();
  TABDB_RETURN_IF_ERROR(Exec("BEGIN DEFERRED"));
  // A deferred transaction reads nothing until its first query: this one
  // pins the snapshot.
  Status st = Exec("SELECT count(*) FROM tab$meta");
  if (!st.ok()) (void)Exec("ROLLBACK");
  return st;
}

Status Database::Commit() {
  if (in_snapshot() || !in_transaction()) return Status::Ok();
  bool wrote = sqlite3_txn_state(db_, "main") == SQLITE_TXN_WRITE;
  if (wrote) {
    // The commit's SCN: written last, so that it belongs to the commit.
    sqlite3_stmt* s = nullptr;
    TABDB_RETURN_IF_ERROR(Cached(
        "INSERT INTO tab$meta(k, v) VALUES('scn', 2) ON CONFLICT(k) DO UPDATE SET v = v + 1", &s));
    TABDB_RETURN_IF_ERROR(Run(s));
  }
  Status st = Exec("COMMIT");
  if (wrote && st.ok()) WriteEnded();
  return st;
}

Status Database::Rollback() {
  if (in_snapshot() || !in_transaction()) return Status::Ok();
  bool wrote = sqlite3_txn_state(db_, "main") == SQLITE_TXN_WRITE;
  Status st = Exec("ROLLBACK");
  if (wrote) WriteEnded();
  return st;
}

Status Database::Savepoint(const char* name) { return Exec(std::string("SAVEPOINT ") + name); }
Status Database::Release(const char* name) { return Exec(std::string("RELEASE ") + name); }
Status Database::RollbackTo(const char* name) {
  TABDB_RETURN_IF_ERROR(Exec(std::string("ROLLBACK TO ") + name));
  return Release(name);
}

Status Database::NextId(const char* counter, int64_t* out) {
  sqlite3_stmt* s = nullptr;
  TABDB_RETURN_IF_ERROR(
      Cached("UPDATE tab$meta SET v = v + 1 WHERE k = ?1 RETURNING v", &s));
  sqlite3_bind_text(s, 1, counter, -1, SQLITE_STATIC);
  bool row = false;
  TABDB_RETURN_IF_ERROR(Step(s, &row));
  if (!row) {
    sqlite3_reset(s);
    return OraError(ora::kInternalError, {std::string("missing counter ") + counter});
  }
  *out = sqlite3_column_int64(s, 0);
  return Run(s);
}

Status Database::CatalogVersion(int64_t* out) {
  sqlite3_stmt* s = nullptr;
  TABDB_RETURN_IF_ERROR(Cached("SELECT v FROM tab$meta WHERE k = 'catalog_version'", &s));
  bool row = false;
  TABDB_RETURN_IF_ERROR(Step(s, &row));
  *out = row ? sqlite3_column_int64(s, 0) : 0;
  sqlite3_reset(s);
  // Statements compiled before a switch of connection are compiled again.
  *out += switches_ << 40;
  return Status::Ok();
}

Status Database::BumpCatalogVersion() {
  sqlite3_stmt* s = nullptr;
  TABDB_RETURN_IF_ERROR(
      Cached("UPDATE tab$meta SET v = v + 1 WHERE k = 'catalog_version'", &s));
  return Run(s);
}

}  // namespace tabdb

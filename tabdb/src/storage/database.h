// database.h - one connection to a database file.
//
// A database is one SQLite file in WAL mode holding the catalog (users,
// objects, columns, indexes, constraints), one physical table per user
// table, and the chunked store of LOB and LONG values. A Database object is
// one connection; each OCI session owns one. It keeps a cache of prepared
// statements for the internal SQL it runs, and the connection's
// transaction state.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "storage/sqlite_util.h"
#include "util/status.h"

namespace tabdb {

// ORA-01122 naming `path`, a file of the database (the database file or one
// beside it) that the database did not make or cannot trust, and why.
Status FileFailedVerification(const std::string& path, const std::string& why);

class Database {
 public:
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Creates a new database file (mode 0600) whose administrator SYSTEM has
  // `system_password`. Fails when the file already exists.
  static Status Create(const std::string& path, const std::string& system_password);

  // Opens an existing database file. A missing file, or one that is not a
  // database of ours, fails with ORA-12154 as an unknown connect identifier
  // does; the file is never created here.
  static Status Open(const std::string& path, std::unique_ptr<Database>* out);

  sqlite3* handle() const { return db_; }
  const std::string& path() const { return path_; }

  // Runs SQL that returns no rows.
  Status Exec(const std::string& sql);

  // A prepared statement for internal SQL, cached by its text and reset
  // (bindings cleared) before it is handed out. Valid until the Database
  // is destroyed; callers must not finalize it.
  Status Cached(const char* sql, sqlite3_stmt** out);

  // Steps a statement once; `*row` tells whether a row is available.
  Status Step(sqlite3_stmt* stmt, bool* row);
  // Steps a statement that returns no rows to completion and resets it.
  Status Run(sqlite3_stmt* stmt);

  // Transactions. The connection runs in autocommit mode until the first
  // change of a session; BeginWrite then opens a write transaction that
  // lasts until Commit or Rollback.
  Status BeginWrite();
  // Opens a read transaction and takes its snapshot at once (a WAL read
  // mark): later reads of the connection see the file as it was now, until
  // Commit or Rollback. Writers of other connections go on; checkpoints
  // cannot pass the mark, so the WAL grows while it is held.
  Status BeginRead();
  // A commit of a transaction that wrote also advances the database's
  // system change number (SCN), which names the commit.
  Status Commit();
  Status Rollback();
  bool in_transaction() const { return !sqlite3_get_autocommit(db_); }

  // The SCN of the last commit the connection sees: the newest one in
  // autocommit mode, the one of its snapshot inside a read transaction.
  Status Scn(int64_t* out);

  // Flashback: the connection's reads go to `pinned`, a connection whose
  // read transaction stays at one commit (storage/snapshots.h), until
  // LeaveSnapshot closes it and brings the own connection back. Meanwhile
  // Commit and Rollback leave the snapshot alone and BeginWrite fails with
  // ORA-08182. Statements prepared on one connection are never run on the
  // other: the catalog version changes with each switch.
  void EnterSnapshot(sqlite3* pinned);
  void LeaveSnapshot();
  bool in_snapshot() const { return own_db_ != nullptr; }

  // Statement-level atomicity inside the transaction.
  Status Savepoint(const char* name);
  Status Release(const char* name);
  Status RollbackTo(const char* name);

  // Next value of a named counter in the catalog (object ids, LOB ids...).
  // Must run inside a write transaction.
  Status NextId(const char* counter, int64_t* out);

  // Catalog version: increased by every DDL, so that compiled statements
  // can tell that the names they resolved may have changed; it also
  // differs after every switch of connection (EnterSnapshot).
  Status CatalogVersion(int64_t* out);
  Status BumpCatalogVersion();

  // While the connection waits for another connection's lock, `check` is
  // called between the waits: a status other than Ok ends the wait at
  // once, and the statement that waited (run through Exec, Step or Run)
  // fails with that status instead of ORA-00054. Called from inside
  // SQLite: it must not use the connection. An empty function restores
  // the plain wait.
  void SetWaitCheck(std::function<Status()> check);

  // How long the connection waits for another connection's write lock
  // before ORA-00054: TABDB_LOCK_TIMEOUT_MS when it was opened, or longer
  // for a session that asked for more (ALTER SESSION SET DDL_LOCK_TIMEOUT).
  // SetSessionLockTimeout(0) goes back to the timeout it was opened with.
  int lock_timeout_ms() const { return lock_timeout_ms_; }
  void SetSessionLockTimeout(int ms) { lock_timeout_ms_ = ms > opened_lock_timeout_ms_ ? ms : opened_lock_timeout_ms_; }

  // Opens one more connection to the file at `path` with the engine's
  // settings (lock timeout, defensive mode), without checking the file.
  static Status OpenConnection(const std::string& path, bool create, sqlite3** out);

 private:
  Database() = default;
  static Status AddMissingCatalogTables(Database* d);
  static int BusyWait(void* arg, int count);
  // The error of a failed step: the wait check's status when it ended a
  // wait for a lock, SQLite's otherwise.
  Status StepError(int rc);

  sqlite3* db_ = nullptr;
  std::string path_;
  std::map<std::string, sqlite3_stmt*> cache_;
  // While in a snapshot: the own connection and its statements, put aside.
  sqlite3* own_db_ = nullptr;
  std::map<std::string, sqlite3_stmt*> own_cache_;
  int64_t switches_ = 0;  // EnterSnapshot and LeaveSnapshot calls
  std::function<Status()> wait_check_;
  Status wait_failure_;  // what ended the last wait, until reported
  int lock_timeout_ms_ = 10000;         // what a wait for a lock lasts at most
  int opened_lock_timeout_ms_ = 10000;  // read when the connection was opened
  std::chrono::steady_clock::time_point wait_began_;  // of the current wait for a lock
};

}  // namespace tabdb

// sqlite_util.h - small RAII and error helpers over the SQLite C interface.
//
// Every SQLite failure inside the database becomes an Oracle-style Status
// here, so that callers above never see SQLite result codes.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "util/status.h"

namespace tabdb {

// Owns one prepared statement.
class SqliteStmt {
 public:
  SqliteStmt() = default;
  explicit SqliteStmt(sqlite3_stmt* s) : stmt_(s) {}
  ~SqliteStmt() { sqlite3_finalize(stmt_); }
  SqliteStmt(SqliteStmt&& o) noexcept : stmt_(o.stmt_) { o.stmt_ = nullptr; }
  SqliteStmt& operator=(SqliteStmt&& o) noexcept {
    if (this != &o) {
      sqlite3_finalize(stmt_);
      stmt_ = o.stmt_;
      o.stmt_ = nullptr;
    }
    return *this;
  }
  SqliteStmt(const SqliteStmt&) = delete;
  SqliteStmt& operator=(const SqliteStmt&) = delete;

  sqlite3_stmt* get() const { return stmt_; }
  explicit operator bool() const { return stmt_ != nullptr; }
  void reset(sqlite3_stmt* s = nullptr) {
    sqlite3_finalize(stmt_);
    stmt_ = s;
  }

  // Binding helpers (1-based positions).
  void BindText(int i, std::string_view s) {
    sqlite3_bind_text(stmt_, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
  }
  void BindBlob(int i, const void* p, size_t n) {
    sqlite3_bind_blob(stmt_, i, n ? p : "", static_cast<int>(n), SQLITE_TRANSIENT);
  }
  void BindInt(int i, int64_t v) { sqlite3_bind_int64(stmt_, i, v); }
  void BindNull(int i) { sqlite3_bind_null(stmt_, i); }

  // Column helpers (0-based).
  int64_t Int(int i) const { return sqlite3_column_int64(stmt_, i); }
  bool IsNull(int i) const { return sqlite3_column_type(stmt_, i) == SQLITE_NULL; }
  std::string Text(int i) const {
    const unsigned char* p = sqlite3_column_text(stmt_, i);
    return p ? std::string(reinterpret_cast<const char*>(p),
                           static_cast<size_t>(sqlite3_column_bytes(stmt_, i)))
             : std::string();
  }
  std::string Blob(int i) const {
    const void* p = sqlite3_column_blob(stmt_, i);
    return p ? std::string(static_cast<const char*>(p),
                           static_cast<size_t>(sqlite3_column_bytes(stmt_, i)))
             : std::string();
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

// Turns a SQLite result code (with the connection's message) into a Status.
// A message that already is an Oracle error text ("ORA-NNNNN: ...", raised
// by one of the database's own SQL functions) keeps its number and text.
Status SqliteError(sqlite3* db, int rc);

// sqlite3_step, except that a statement another connection's DDL keeps
// from starting (SQLite prepares it again after each change, and gives up
// with SQLITE_SCHEMA after its own retries when changes are committed in
// a row) is reset and stepped again, for about a second at most. SQLite
// gives SQLITE_SCHEMA only before a statement has read anything.
int StepAcrossSchemaChanges(sqlite3_stmt* s);

// Parses "ORA-NNNNN: text" into a Status; returns false when `msg` has not
// that form.
bool ParseOraText(std::string_view msg, Status* out);

}  // namespace tabdb

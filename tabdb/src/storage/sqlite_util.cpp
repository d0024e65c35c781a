// sqlite_util.cpp - mapping of SQLite failures to Oracle errors.
#include "storage/sqlite_util.h"

#include <cctype>

#include "util/errors.h"

namespace tabdb {

bool ParseOraText(std::string_view msg, Status* out) {
  if (msg.size() < 11 || msg.substr(0, 4) != "ORA-") return false;
  int code = 0;
  for (size_t i = 4; i < 9; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(msg[i]))) return false;
    code = code * 10 + (msg[i] - '0');
  }
  if (msg[9] != ':') return false;
  *out = Status::Error(code, std::string(msg));
  return true;
}

Status SqliteError(sqlite3* db, int rc) {
  const char* m = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  std::string msg = m ? m : "";
  Status s;
  if (ParseOraText(msg, &s)) return s;
  // A write in a transaction whose snapshot another connection has
  // changed since (a serializable transaction): Oracle's ORA-08177.
  if (rc == SQLITE_BUSY_SNAPSHOT) return OraError(ora::kCannotSerialize);
  switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return OraError(ora::kResourceBusy);
    case SQLITE_FULL:
      return OraErrorText(ora::kCannotExtendTable, "unable to extend table: database or disk is full");
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return OraErrorText(ora::kIoError, "IO error reading or writing database file: " + msg);
    case SQLITE_READONLY:
      return OraErrorText(ora::kReadOnlyDatabase, "database open for read-only access");
    case SQLITE_INTERRUPT:
      return OraError(ora::kUserCancel);
    default:
      return OraError(ora::kInternalError, {"sqlite " + std::to_string(rc) + ": " + msg});
  }
}

int StepAcrossSchemaChanges(sqlite3_stmt* s) {
  int rc = sqlite3_step(s);
  for (int tries = 0; (rc & 0xff) == SQLITE_SCHEMA && tries < 1000; ++tries) {
    sqlite3_reset(s);
    sqlite3_sleep(1);  // the other connection's changes go on meanwhile
    rc = sqlite3_step(s);
  }
  return rc;
}

}  // namespace tabdb

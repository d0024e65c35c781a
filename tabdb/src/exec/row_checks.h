// row_checks.h - the CHECK constraints of a table, compiled once per DML
// statement into one SQLite query that tells which condition a row breaks.
#pragma once

#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "storage/sqlite_util.h"
#include "util/status.h"

namespace tabdb {

// Prepares generated SQL for repeated use by one statement.
Status PrepareSql(Session& s, const std::string& sql, SqliteStmt* out);

// Whether some row of `t` makes `condition` FALSE (the catalog's
// CheckRowsFn).
Status AnyRowBreaksCheck(Session& s, const TableInfo& t, const std::string& condition, bool* violated);

class RowChecks {
 public:
  // Compiles the enabled CHECK conditions of `t` over the row that `from`
  // names as _t (a FROM clause, with placeholders of the caller's own).
  // A table without checks leaves the object empty.
  Status Compile(Session& s, const TableInfo& t, const std::string& from);

  bool empty() const { return !stmt_; }
  // The statement, for the caller to bind its placeholders to the row.
  sqlite3_stmt* stmt() const { return stmt_.get(); }
  // The expression over _t that is 0 when the row passes every check (a
  // NULL condition passes) and k when the k-th condition is FALSE.
  const std::string& failed_sql() const { return failed_sql_; }
  // Evaluates the bound row: ORA-02290 naming the first condition that is
  // FALSE (a NULL result passes, as in Oracle).
  Status Run(Session& s);

 private:
  SqliteStmt stmt_;
  std::vector<CheckInfo> checks_;
  std::string failed_sql_;
};

}  // namespace tabdb

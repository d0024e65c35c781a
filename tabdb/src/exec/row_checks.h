// row_checks.h - the CHECK constraints of a table, compiled once per DML
// statement into one SQLite query that tells which condition a row breaks.
#pragma once

#include <memory>
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
  // `ref` names the partition an INSERT INTO t PARTITION (p) writes to:
  // a row outside it is refused with ORA-14401.
  Status Compile(Session& s, const TableInfo& t, const std::string& from,
                 const sql::TableRef* ref = nullptr);
  // Compiles only the enabled CHECK conditions that read column `intcol`,
  // over the stored row whose rowid is bound to ?1: what a change of that
  // column outside a DML statement (a write through a LOB locator) must
  // still satisfy. Empty when no condition reads the column.
  Status CompileReading(Session& s, const TableInfo& t, int intcol);
  // Binds the deferral of each deferrable constraint in `stmt` (this
  // object's statement or one that embeds failed_sql()): a deferred one
  // passes here and is checked when the transaction ends. The deferred
  // ones are then listed by deferred_now().
  void BindDeferral(Session& s, sqlite3_stmt* stmt);
  const std::vector<int64_t>& deferred_now() const { return deferred_now_; }
  bool has_deferrable() const { return has_deferrable_; }

  bool empty() const { return !stmt_; }
  // The statement, for the caller to bind its placeholders to the row.
  sqlite3_stmt* stmt() const { return stmt_.get(); }
  // The expression over _t that is 0 when the row passes every check (a
  // NULL condition passes) and k when the k-th condition is FALSE.
  const std::string& failed_sql() const { return failed_sql_; }
  // Evaluates the bound row: ORA-02290 naming the first condition that is
  // FALSE (a NULL result passes, as in Oracle).
  Status Run(Session& s);
  // Binds `rowid` and evaluates the stored row (after CompileReading); a
  // deferred constraint is noted for the end of the transaction instead.
  Status RunOnRow(Session& s, int64_t rowid);

 private:
  // Compile's work; `only_intcol`, when not 0, keeps the conditions that
  // read that column and leaves out the partition rules.
  Status CompileChecks(Session& s, const TableInfo& t, const std::string& from,
                       const sql::TableRef* ref, int only_intcol);
  SqliteStmt stmt_;
  std::vector<CheckInfo> checks_;
  std::string failed_sql_;
  // The checks, in the order failed_sql() numbers them.
  struct Entry {
    std::string owner, name;
    int64_t cons_id = 0;
    bool deferrable = false;
    bool initially_deferred = false;
    int error = 0;  // an ORA- error other than ORA-02290 (ORA-14400: no partition)
  };
  std::vector<Entry> entries_;
  bool has_deferrable_ = false;
  std::vector<int64_t> deferred_now_;
};

// The placeholder number that carries whether deferrable constraint k of a
// RowChecks is deferred now.
constexpr int kDeferralParamBase = 5000;

// The CHECK constraints of `t` that read each LOB column of `cols`, for
// writes through the locators an INSERT ... RETURNING hands out: (*out)[k]
// for cols[k], null where the column is no LOB or no condition reads it.
// *any tells whether some entry is not null.
Status CompileLobChecks(Session& s, const TableInfo& t, const std::vector<const ColumnInfo*>& cols,
                        std::vector<std::shared_ptr<RowChecks>>* out, bool* any);

// A query that returns a row when the row whose rowid is bound to ?1
// makes `condition` FALSE.
Status PrepareRowCheck(Session& s, const TableInfo& t, const std::string& condition, SqliteStmt* out);

}  // namespace tabdb

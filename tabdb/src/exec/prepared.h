// prepared.h - a statement compiled for one session and run many times.
//
// Compilation resolves names against the catalog and translates the
// statement into prepared SQLite statements once; each execution only
// binds values and steps. Queries are read row by row (memory does not
// grow with the row count); DML runs one iteration per call so that the
// OCI layer can drive array binds, pieces of LONG values and RETURNING
// locators row by row.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "exec/engine.h"
#include "exec/foreign_keys.h"
#include "exec/partition_route.h"
#include "exec/row_checks.h"
#include "exec/value.h"
#include "session/session.h"
#include "sql/ast.h"
#include "storage/sqlite_util.h"
#include "util/status.h"

namespace tabdb {

class StatementTriggers;

// A column of the current row of a query as SQLite holds it: the engine's
// byte form (TEXT or BLOB), a stored LOB/LONG id (INTEGER), or NULL. The
// data stays valid until the next Next() or Close().
struct Cell {
  int type = SQLITE_NULL;
  const void* data = nullptr;
  size_t size = 0;
  int64_t id = 0;
};

// One bound value of a row where the caller holds it: the bytes the
// engine's value of the bind would have (NULL when `null`).
struct BoundCell {
  const char* data = nullptr;
  size_t size = 0;
  bool null = true;
};

// Column i of the current row of `s` as a Value of `kind` (a stored LOB
// or LONG as its id).
void ReadColumn(sqlite3_stmt* s, int i, TypeKind kind, Value* out);

// Whether a query is being stepped on this thread (a function it calls is
// running).
bool QueryStepping();

class Prepared {
 public:
  // Compiles `st` for session `s`. `bind_kinds` gives the Oracle type of
  // each placeholder (from the external type bound to it); placeholders
  // without an entry count as VARCHAR2.
  static Status Create(Session& s, std::shared_ptr<const sql::Statement> st,
                       const std::vector<TypeKind>& bind_kinds, std::unique_ptr<Prepared>* out);
  ~Prepared();

  sql::StmtKind kind() const { return stmt_->kind; }
  bool is_query() const { return stmt_->kind == sql::StmtKind::kSelect; }
  bool is_dml() const;
  int64_t catalog_version() const { return catalog_version_; }
  const std::vector<TypeKind>& bind_kinds() const { return bind_kinds_; }

  // ---- queries ---------------------------------------------------------
  const std::vector<ResultColumn>& columns() const { return columns_; }
  // Runs the query with `binds` (placeholder k is binds[k-1]).
  Status Open(const std::vector<Value>& binds);
  // After DDL of the same session dropped what an open query reads, its
  // next row fails with ORA-08103 (see ExecuteOther).
  Status Next(bool* row);
  Cell GetCell(int i) const;
  // The current row's column i as a Value.
  void GetValue(int i, Value* out) const;
  void Close();
  // Closes the cursor for DDL of the session; Next then fails with ORA-08103.
  void Invalidate();
  // Invalidates every open query of session `s`, which is ending: a
  // statement still stepping would keep the connection busy for the
  // sessions that follow on it.
  static void InvalidateAll(const Session* s);

  // ---- INSERT, UPDATE, DELETE: one iteration -----------------------------
  // Runs the statement once with `binds`; adds the rows processed to
  // *rows. For INSERT ... RETURNING, `returning` receives the values of the
  // returned columns of the inserted row (LOB columns as stored LOB ids).
  Status ExecuteDml(const std::vector<Value>& binds, uint64_t* rows,
                    std::vector<Value>* returning);
  // The same, for a caller that does not need `binds` afterwards: a
  // single-row INSERT of one plain bind per column, in column order, fits
  // and writes the bound values where they are rather than copying them
  // into a row first, and leaves them changed in *binds.
  Status ExecuteDmlTaking(std::vector<Value>* binds, uint64_t* rows, std::vector<Value>* returning);
  // Whether ExecuteInsertCells runs this statement with `binds` binds: a
  // single-row INSERT of one plain bind per column, in column order, with
  // no RETURNING, no LOB or LONG column, no identity column to fill and no
  // foreign key to probe for each row.
  bool TakesCells(size_t binds) const { return takes_cells_ && binds == targets_.size(); }
  // Runs such an INSERT once with the values where the caller holds them:
  // cells[j] the bytes of placeholder j+1, of the Oracle type kinds[j],
  // which stay valid for the call. The checks, errors and row written are
  // those of ExecuteDml with these values; only the copies are left out.
  Status ExecuteInsertCells(const BoundCell* cells, const TypeKind* kinds, uint64_t* rows);
  // Positions of the placeholders of the RETURNING ... INTO clause.
  const std::vector<int>& into_binds() const { return into_binds_; }
  // For the locator of RETURNING column k of the row just inserted: the
  // CHECK constraints that read that LOB column (null when none does), to
  // be checked on the row, returned_rowid(), when a write through the
  // locator changes the LOB.
  const std::shared_ptr<RowChecks>& returning_checks(size_t k) const {
    static const std::shared_ptr<RowChecks> kNone;
    return k < returning_checks_.size() ? returning_checks_[k] : kNone;
  }
  int64_t returned_rowid() const { return returned_rowid_; }
  // The column placeholder `position` (1-based) of an INSERT gives its
  // value to whole: a LOB or LONG column, another column, or none (an
  // expression, RETURNING ... INTO, another kind of statement). The OCI
  // layer checks Oracle's rules for binds of LOB and LONG data with it.
  enum class BindTarget : uint8_t { kNone, kColumn, kLob, kLong };
  BindTarget bind_target(size_t position) const {
    return position >= 1 && position <= bind_targets_.size() ? bind_targets_[position - 1] : BindTarget::kNone;
  }
  // The type of that column (kind of kNone: VARCHAR2).
  TypeKind bind_target_kind(size_t position) const {
    return position >= 1 && position <= bind_target_kinds_.size() ? bind_target_kinds_[position - 1]
                                                                   : TypeKind::kVarchar2;
  }
  // Some placeholder gives its value to a LOB or LONG column.
  bool binds_lob_or_long() const { return binds_lob_or_long_; }

  // An execution of `iters` rows through an array of binds is one
  // statement for the statement triggers: BEFORE ones fire at the start
  // and AFTER ones at the end, not around each row. Nothing without them.
  Status BeginArray();
  Status EndArray(bool fire = true);

  // ---- everything else (DDL, session, transaction, PL/SQL) ---------------
  // `host`: a PL/SQL block's binds, in and out (the block may assign them);
  // null for a statement without binds.
  Status ExecuteOther(std::vector<Value>* host = nullptr);

 private:
  struct InsertSource;
  Prepared() = default;
  Status CompileQuery();
  Status CompileInsert();
  Status CompileUpdateDelete();
  Status BindParams(sqlite3_stmt* s, const std::vector<Value>& binds, int user_count);
  // `take`, when given, is `binds` itself, whose values may be taken over.
  Status Insert(const std::vector<Value>& binds, uint64_t* rows, std::vector<Value>* returning,
                std::vector<Value>* take);
  Status InsertRow(std::vector<Value>& row, std::vector<Value>* returning);
  Status WriteInsertRow(const std::function<void(sqlite3_stmt*)>& bind_row);
  Status MarkHasRows();
  Status UpdateDelete(const std::vector<Value>& binds, uint64_t* rows);
  Status UniqueViolation(int rc);
  Status PartitionOf(int64_t rowid, std::string* out);
  Status NextIdentity(const ColumnInfo& c, Value* out);

  Session* s_ = nullptr;
  std::shared_ptr<const sql::Statement> stmt_;
  std::vector<TypeKind> bind_kinds_;
  std::vector<int> hidden_params_;  // StatementParam values, bound after the user's
  int64_t catalog_version_ = 0;

  // Queries
  SqliteStmt query_;
  std::vector<ResultColumn> columns_;
  std::vector<Value> query_binds_;  // the open cursor's parameter values
  bool open_ = false;       // the cursor is stepping (registered as open)
  bool invalidated_ = false;  // closed by DDL while open
  void SetOpen(bool open);

  // DML
  TableInfo table_;
  std::vector<std::unique_ptr<InsertSource>> sources_;  // one per target column
  std::vector<const ColumnInfo*> targets_;
  // Per target column: binds as text; a LOB or LONG stored apart.
  static constexpr uint8_t kTargetText = 1, kTargetStoredApart = 2;
  std::vector<uint8_t> target_flags_;
  bool binds_are_row_ = false;  // see ExecuteDmlTaking
  std::vector<BindTarget> bind_targets_;  // see bind_target()
  std::vector<TypeKind> bind_target_kinds_;
  bool binds_lob_or_long_ = false;
  bool takes_cells_ = false;    // see TakesCells
  std::vector<BoundCell> written_cells_;  // what ExecuteInsertCells bound for its row
  SqliteStmt values_;     // SELECT of the value expressions that are not plain binds
  SqliteStmt insert_;     // INSERT INTO t<obj>(...) VALUES(?...)
  SqliteStmt select_;     // INSERT ... SELECT source, or UPDATE/DELETE row finder
  SqliteStmt update_;     // UPDATE t<obj> SET ... WHERE rowid = ?
  SqliteStmt delete_;     // DELETE FROM t<obj> WHERE rowid = ?
  SqliteStmt partition_no_;  // a row's partition number, for ROW MOVEMENT checks
  IntervalPartitions intervals_;  // interval partitions made by INSERT
  std::vector<int> returning_cols_;  // index into targets_ of each RETURNING column
  std::vector<int> into_binds_;
  std::vector<std::shared_ptr<RowChecks>> returning_checks_;  // see returning_checks()
  bool lob_checks_ = false;    // some entry of returning_checks_ is not null
  int64_t returned_rowid_ = 0;
  std::vector<const ColumnInfo*> update_cols_;
  std::vector<TypeDesc> select_types_;
  bool marked_rows_ = false;
  std::vector<Value> row_;        // the row an INSERT is building
  bool rows_query_ = false;       // INSERT rows come from select_ (a query or several VALUES rows)
  // INSERT ALL | FIRST: the INSERT of each INTO clause, and for each the
  // statement's placeholder (0-based) that gives each of its own.
  std::vector<std::unique_ptr<Prepared>> parts_;
  std::vector<std::vector<size_t>> part_binds_;
  Status CompileMultiInsert();
  Status MultiInsert(const std::vector<Value>& binds, uint64_t* rows);
  std::vector<int64_t> created_;  // LOBs made for the current row
  RowChecks checks_;  // CHECK constraints of the table, over the row written
  ForeignKeyChecks fks_;  // foreign keys checked when the statement's rows are written
  std::vector<int64_t> written_;  // rows a multi-row INSERT wrote, for fks_
  std::vector<int64_t> fk_deferred_;  // deferred foreign keys of the row being inserted
  // Remembers the row just written for the deferred constraints of checks_.
  void NoteDeferred(int64_t rowid);

  // Triggers (null: the statement fires none, and pays nothing for them).
  std::unique_ptr<StatementTriggers> triggers_;
  std::vector<std::string> trigger_names_;  // the columns of a trigger's NEW and OLD
  std::vector<const ColumnInfo*> trigger_cols_;  // the same columns
  int old_first_ = -1;   // UPDATE, DELETE: select_ column of the first OLD value
  size_t set_count_ = 0;  // UPDATE: the columns SET names (update_cols_ may go on)
  bool in_array_ = false;  // see BeginArray
  Status LoadTriggers(const std::vector<std::string>& set_cols);
  // DML on a view with INSTEAD OF triggers (prepared_instead.cpp): *done
  // false when `name` is no view with such triggers for the statement.
  bool instead_ = false;
  std::vector<int> view_sources_;  // per view column: its select_ value (-1: none)
  std::vector<TypeDesc> view_types_;
  Status CompileInstead(const sql::NameList& name, bool* done);
  Status RunInstead(const std::vector<Value>& binds, uint64_t* rows);
  // Runs `run` as one statement for the triggers and mutating checks.
  Status Fired(const std::function<Status()>& run);
};

}  // namespace tabdb

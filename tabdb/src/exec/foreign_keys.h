// foreign_keys.h - foreign keys on UPDATE, DELETE and multi-row INSERT,
// checked when the statement's rows are written (so that rows of one
// statement may reference each other and an UPDATE may swap keys), and
// the deferred constraints checked at COMMIT and by SET CONSTRAINTS.
//
// A statement compiles its checks once; the tables that ON DELETE CASCADE
// reaches are compiled the first time a cascade reaches them.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "exec/value.h"
#include "storage/sqlite_util.h"
#include "util/status.h"

namespace tabdb {

class ForeignKeyChecks {
 public:
  ForeignKeyChecks();
  ~ForeignKeyChecks();
  // For a statement that writes `t`: `kind` is INSERT, UPDATE or DELETE;
  // for UPDATE, `set_cols` are the columns it sets.
  Status Compile(Session& s, const TableInfo& t, sql::StmtKind kind, const std::vector<int>& set_cols);
  // Whether the statement has anything to check.
  bool empty() const { return child_.empty() && !parent_; }
  // Whether rows written need Finish() (some foreign key of the table).
  bool checks_children() const { return !child_.empty(); }
  // The enabled foreign keys of the table (for checks on a single row).
  const std::vector<ForeignKeyInfo>& child_keys() const { return child_keys_; }
  // Before a row of the table changes or goes: keeps the keys that other
  // rows may reference.
  Status Capture(int64_t rowid);
  // After the statement wrote its rows: the rows written (`rowids`) need
  // their parents; the keys captured that are gone take their children
  // along (CASCADE), clear them (SET NULL), or fail (ORA-02292).
  Status Finish(const std::vector<int64_t>& rowids);
  // Forgets what Capture kept (a statement that failed).
  void Reset();

  // A single-row INSERT checks its row before writing it: `targets` are
  // the columns of the row's values. The parent keys found are remembered
  // for the next rows while Session::key_epoch() stays the same, so that
  // an array INSERT looks each parent up once.
  Status CompileRowProbes(const std::vector<const ColumnInfo*>& targets);
  bool has_row_probes() const { return !probes_.empty(); }
  using BindFn = void (*)(sqlite3_stmt* stmt, int pos, const Value& v);
  // ORA-02291 when the row (bound with `bind`) has no parent; the keys
  // deferred now are listed in *deferred, for the caller to note the row.
  Status CheckRow(const std::vector<Value>& row, BindFn bind, std::vector<int64_t>* deferred);

  struct Table;
  struct Gone;

 private:
  Status TableFor(int64_t obj, Table** out);
  Status CaptureIn(Table* t, int64_t rowid, std::vector<Gone>* out);
  Status HandleGone(std::vector<Gone>& gone);

  Session* s_ = nullptr;
  bool delete_ = false;
  struct Child;
  std::vector<std::unique_ptr<Child>> child_;
  std::vector<ForeignKeyInfo> child_keys_;
  Table* parent_ = nullptr;  // the table, when other rows reference its keys
  std::map<int64_t, std::unique_ptr<Table>> tables_;
  std::vector<Gone> gone_;
  struct Probe;
  std::vector<std::unique_ptr<Probe>> probes_;
  uint64_t probe_epoch_ = 0;
};

// SET CONSTRAINTS: the mode of the named (or all deferrable) constraints
// for the rest of the transaction; IMMEDIATE checks their deferred rows at
// once (the error leaves the transaction as it was).
Status SetConstraintsMode(Session& s, const sql::SetConstraints& sc);

// ALTER SESSION SET CONSTRAINTS = IMMEDIATE | DEFERRED | DEFAULT: the mode
// of every deferrable constraint for the rest of the session (ORA-02248
// for another value); IMMEDIATE checks the deferred rows as SET
// CONSTRAINTS ALL IMMEDIATE does.
Status SetSessionConstraints(Session& s, const std::string& mode);

// The check of the deferred rows that COMMIT runs (installed on the
// session by OpenSession).
Status CheckDeferredRows(Session& s);

}  // namespace tabdb

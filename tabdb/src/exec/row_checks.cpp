// row_checks.cpp - evaluation of CHECK constraints on the rows that INSERT
// and UPDATE write, and on a row whose LOB a write through its locator
// changed. The conditions are parsed and compiled when the DML statement
// is prepared; each row costs one step of a prepared query.
#include "exec/row_checks.h"

#include <algorithm>
#include <cassert>

#include "exec/compiler_internal.h"
#include "exec/partition_route.h"
#include "sql/parser.h"
#include "util/errors.h"

namespace tabdb {

Status PrepareSql(Session& s, const std::string& sql, SqliteStmt* out) {
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v3(s.db().handle(), sql.c_str(), static_cast<int>(sql.size()),
                              SQLITE_PREPARE_PERSISTENT, &st, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(st);
    return SqliteError(s.db().handle(), rc);
  }
  out->reset(st);
  return Status::Ok();
}

namespace {

// Compiles a condition over the row that _t names in the table.
Status CompileCheck(Session& s, const TableInfo& t, const std::string& condition, BindContext* binds,
                    std::string* out) {
  Scope scope;
  scope.kind = Scope::kTable;
  scope.table = &t;
  scope.qualifiers = {t.name};
  scope.qualifier_owner = t.owner;
  Compiler c(s, scope, binds);
  sql::ExprPtr e;
  TABDB_RETURN_IF_ERROR(sql::ParseExpression(condition, &e));
  CExpr ce;
  TABDB_RETURN_IF_ERROR(c.CompileCondition(*e, &ce));
  // SYSDATE, USER and the like are no function of the row.
  if (!binds->hidden.empty()) return OraError(ora::kCheckSystemVariable);
  *out = ce.sql;
  return Status::Ok();
}

}  // namespace

Status AnyRowBreaksCheck(Session& s, const TableInfo& t, const std::string& condition, bool* violated) {
  BindContext binds;
  std::string cond;
  TABDB_RETURN_IF_ERROR(CompileCheck(s, t, condition, &binds, &cond));
  SqliteStmt q;
  TABDB_RETURN_IF_ERROR(PrepareSql(s, "SELECT 1 FROM " + t.phys + " AS _t WHERE NOT (" + cond + ") LIMIT 1", &q));
  bool row = false;
  Status st = s.db().Step(q.get(), &row);
  sqlite3_reset(q.get());
  *violated = row;
  return st;
}

Status PrepareRowCheck(Session& s, const TableInfo& t, const std::string& condition, SqliteStmt* out) {
  BindContext binds;
  std::string cond;
  TABDB_RETURN_IF_ERROR(CompileCheck(s, t, condition, &binds, &cond));
  return PrepareSql(s, "SELECT 1 FROM " + t.phys + " AS _t WHERE _t.rowid = ?1 AND NOT (" + cond + ")", out);
}

void RowChecks::BindDeferral(Session& s, sqlite3_stmt* stmt) {
  deferred_now_.clear();
  for (size_t i = 0; i < entries_.size(); ++i) {
    const Entry& e = entries_[i];
    if (!e.deferrable) continue;
    bool d = s.IsDeferred(e.cons_id, e.deferrable, e.initially_deferred);
    if (d) deferred_now_.push_back(e.cons_id);
    sqlite3_bind_int(stmt, kDeferralParamBase + static_cast<int>(i), d ? 1 : 0);
  }
}

Status RowChecks::Compile(Session& s, const TableInfo& t, const std::string& from,
                          const sql::TableRef* ref) {
  return CompileChecks(s, t, from, ref, 0);
}

Status RowChecks::CompileReading(Session& s, const TableInfo& t, int intcol) {
  assert(intcol > 0);
  return CompileChecks(s, t, t.phys + " AS _t WHERE _t.rowid = ?1", nullptr, intcol);
}

Status RowChecks::CompileChecks(Session& s, const TableInfo& t, const std::string& from,
                                const sql::TableRef* ref, int only_intcol) {
  stmt_.reset(nullptr);
  failed_sql_.clear();
  entries_.clear();
  has_deferrable_ = false;
  TABDB_RETURN_IF_ERROR(LoadCheckConstraints(s, t.obj_id, &checks_));
  if (only_intcol != 0) {
    auto unread = [only_intcol](const CheckInfo& c) {
      return std::find(c.intcols.begin(), c.intcols.end(), only_intcol) == c.intcols.end();
    };
    checks_.erase(std::remove_if(checks_.begin(), checks_.end(), unread), checks_.end());
  }
  std::string fits;
  int fits_code = 0;
  if (only_intcol == 0) TABDB_RETURN_IF_ERROR(PartitionFits(s, t, &fits, &fits_code));
  std::string named;  // the partition an INSERT names
  if (ref != nullptr && !ref->partition.empty()) TABDB_RETURN_IF_ERROR(NamedPartition(s, t, *ref, &named));
  if (checks_.empty() && fits.empty() && named.empty()) return Status::Ok();
  // CASE WHEN NOT (cond1) THEN 1 WHEN NOT (cond2) THEN 2 ... ELSE 0: NOT of
  // a NULL condition is NULL, which no WHEN takes. A deferrable constraint
  // is skipped while its placeholder says it is deferred.
  std::string sql = "CASE";
  auto when = [&](const Entry& e, const std::string& broken) {
    size_t k = entries_.size();
    std::string guard;
    if (e.deferrable) {
      guard = "?" + std::to_string(kDeferralParamBase + static_cast<int>(k)) + " = 0 AND ";
      has_deferrable_ = true;
    }
    sql += " WHEN " + guard + broken + " THEN " + std::to_string(k + 1);
    entries_.push_back(e);
  };
  // A row no partition takes is refused before its checks run.
  if (!fits.empty()) {
    std::string cond;
    TABDB_RETURN_IF_ERROR(CompileRowCondition(s, t, fits, &cond));
    Entry e;
    e.error = fits_code;
    when(e, "NOT (" + cond + ")");
  }
  if (!named.empty()) {
    std::string cond;
    TABDB_RETURN_IF_ERROR(CompileRowCondition(s, t, named, &cond));
    Entry e;
    e.error = 14401;
    when(e, "NOT (" + cond + ")");
  }
  for (size_t i = 0; i < checks_.size(); ++i) {
    BindContext binds;
    std::string cond;
    TABDB_RETURN_IF_ERROR(CompileCheck(s, t, checks_[i].condition, &binds, &cond));
    when(Entry{checks_[i].owner, checks_[i].name, checks_[i].cons_id, checks_[i].deferrable,
               checks_[i].initially_deferred, 0},
         "NOT (" + cond + ")");
  }
  sql += " ELSE 0 END";
  failed_sql_ = sql;
  sql = "SELECT " + sql + " FROM " + from;
  return PrepareSql(s, sql, &stmt_);
}

Status RowChecks::Run(Session& s) {
  sqlite3_stmt* q = stmt_.get();
  bool row = false;
  Status st = s.db().Step(q, &row);
  int64_t failed = row ? sqlite3_column_int64(q, 0) : 0;
  sqlite3_reset(q);
  TABDB_RETURN_IF_ERROR(st);
  if (failed <= 0 || failed > static_cast<int64_t>(entries_.size())) return Status::Ok();
  const Entry& e = entries_[static_cast<size_t>(failed - 1)];
  if (e.error) return OraError(e.error);
  return OraError(ora::kCheckViolated, {e.owner, e.name});
}

Status RowChecks::RunOnRow(Session& s, int64_t rowid) {
  assert(!empty());
  sqlite3_bind_int64(stmt_.get(), 1, rowid);
  if (has_deferrable_) BindDeferral(s, stmt_.get());
  TABDB_RETURN_IF_ERROR(Run(s));
  for (int64_t cons : deferred_now_) s.deferred().rows.emplace_back(cons, rowid);
  return Status::Ok();
}

Status CompileLobChecks(Session& s, const TableInfo& t, const std::vector<const ColumnInfo*>& cols,
                        std::vector<std::shared_ptr<RowChecks>>* out, bool* any) {
  out->assign(cols.size(), nullptr);
  *any = false;
  for (size_t k = 0; k < cols.size(); ++k) {
    if (cols[k] == nullptr || !IsLob(cols[k]->type.kind)) continue;
    auto checks = std::make_shared<RowChecks>();
    TABDB_RETURN_IF_ERROR(checks->CompileReading(s, t, cols[k]->intcol));
    if (checks->empty()) continue;
    (*out)[k] = std::move(checks);
    *any = true;
  }
  return Status::Ok();
}

}  // namespace tabdb

// partition_route.cpp - rows and partitions in DML and queries: the
// partition conditions of the catalog compiled like CHECK conditions over
// the physical row.
#include "exec/partition_route.h"

#include <cstdlib>

#include "catalog/partition.h"
#include "exec/compiler_internal.h"
#include "sql/parser.h"
#include "util/errors.h"

namespace tabdb {

namespace {

// Compiles the SQL text of an expression (or, with `condition`, of a
// condition) over the columns of one row of t into SQLite's SQL.
Status CompileOverRow(Session& s, const TableInfo& t, const std::string& text, bool condition,
                      std::string* out) {
  Scope scope;
  scope.kind = Scope::kTable;
  scope.table = &t;
  scope.qualifiers = {t.name};
  scope.qualifier_owner = t.owner;
  BindContext binds;
  Compiler c(s, scope, &binds);
  sql::ExprPtr e;
  TABDB_RETURN_IF_ERROR(sql::ParseExpression(text, &e));
  CExpr ce;
  TABDB_RETURN_IF_ERROR(condition ? c.CompileCondition(*e, &ce) : c.Compile(*e, &ce));
  *out = ce.sql;
  return Status::Ok();
}

}  // namespace

Status CompileRowCondition(Session& s, const TableInfo& t, const std::string& condition,
                           std::string* out) {
  return CompileOverRow(s, t, condition, true, out);
}

Status PartitionFits(Session& s, const TableInfo& t, std::string* condition, int* code) {
  condition->clear();
  PartitioningInfo pi;
  bool found = false;
  // Interval partitions take every row with a key, whatever their number:
  // only a composite table's condition names each partition.
  TABDB_RETURN_IF_ERROR(LoadPartitioning(s, t.obj_id, &pi, &found, PartitionRows::kRangeSection));
  if (found && !pi.interval.empty() && pi.submethod != "NONE" && pi.submethod != "HASH")
    TABDB_RETURN_IF_ERROR(LoadPartitioning(s, t.obj_id, &pi, &found));
  if (found) *condition = PartitionFitsCondition(t, pi);
  *code = found && !pi.interval.empty() && pi.submethod == "NONE" ? ora::kPartitionNumberTooHigh : 14400;
  return Status::Ok();
}

Status NamedPartition(Session& s, const TableInfo& t, const sql::TableRef& ref, std::string* condition) {
  PartitioningInfo pi;
  bool found = false;
  TABDB_RETURN_IF_ERROR(LoadPartitioning(s, t.obj_id, &pi, &found));
  if (!found) return OraError(14501);
  size_t p = 0, sp = 0;
  TABDB_RETURN_IF_ERROR(FindPartition(pi, ref.partition, ref.subpartition, &p, &sp));
  *condition = PartitionCondition(t, pi, p, ref.subpartition ? &pi.parts[p].subparts[sp] : nullptr);
  return Status::Ok();
}

Status PartitionSource(Session& s, const TableInfo& t, const sql::TableRef& ref, std::string* out) {
  *out = t.phys;
  if (ref.partition.empty()) return Status::Ok();
  std::string named, cond;
  TABDB_RETURN_IF_ERROR(NamedPartition(s, t, ref, &named));
  TABDB_RETURN_IF_ERROR(CompileRowCondition(s, t, named, &cond));
  *out = "(SELECT _t.rowid AS rowid, _t.* FROM " + t.phys + " AS _t WHERE " + cond + ")";
  return Status::Ok();
}

Status PartitionNumberSql(Session& s, const TableInfo& t, std::string* out) {
  out->clear();
  PartitioningInfo pi;
  bool found = false;
  TABDB_RETURN_IF_ERROR(LoadPartitioning(s, t.obj_id, &pi, &found, PartitionRows::kRangeSection));
  if (!found || pi.row_movement) return Status::Ok();
  return CompileOverRow(s, t, PartitionNumberExpr(t, pi), false, out);
}

Status IntervalPartitions::Compile(Session& s, const TableInfo& t) {
  bound_.reset(nullptr);
  known_.clear();
  PartitioningInfo pi;
  bool found = false;
  TABDB_RETURN_IF_ERROR(LoadPartitioning(s, t.obj_id, &pi, &found, PartitionRows::kRangeSection));
  if (!found || pi.interval.empty()) return Status::Ok();
  range_section_ = static_cast<int64_t>(pi.parts.size());
  bool datetime = false;
  std::string number;
  std::string expr = IntervalBoundExpr(t, pi, &datetime, &number);
  if (expr.empty()) return Status::Ok();
  std::string bound_sql, number_sql;
  TABDB_RETURN_IF_ERROR(CompileOverRow(s, t, expr, false, &bound_sql));
  TABDB_RETURN_IF_ERROR(CompileOverRow(s, t, "TO_CHAR(" + number + ")", false, &number_sql));
  sqlite3_stmt* q = nullptr;
  std::string text =
      "SELECT " + bound_sql + ", " + number_sql + " FROM " + t.phys + " AS _t WHERE _t.rowid = ?1";
  int rc = sqlite3_prepare_v2(s.db().handle(), text.c_str(), -1, &q, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(q);
    return SqliteError(s.db().handle(), rc);
  }
  bound_.reset(q);
  return Status::Ok();
}

Status IntervalPartitions::NoteRow(Session& s, const TableInfo& t, int64_t rowid) {
  sqlite3_stmt* q = bound_.get();
  sqlite3_reset(q);
  sqlite3_bind_int64(q, 1, rowid);
  bool row = false;
  Status st = s.db().Step(q, &row);
  std::string bound;
  double number = 0;
  bool has = row && sqlite3_column_type(q, 0) != SQLITE_NULL;
  if (st.ok() && has) {
    bound = reinterpret_cast<const char*>(sqlite3_column_text(q, 0));
    number = std::strtod(reinterpret_cast<const char*>(sqlite3_column_text(q, 1)), nullptr);
  }
  sqlite3_reset(q);
  TABDB_RETURN_IF_ERROR(st);
  if (!has || known_.count(bound)) return Status::Ok();
  // The partition's number: those of the range section, then one per
  // interval, made or not, as Oracle numbers them.
  if (number > static_cast<double>(kMaxPartitions - range_section_)) return OraError(ora::kPartitionNumberTooHigh);
  TABDB_RETURN_IF_ERROR(AddIntervalPartition(s, t, bound));
  known_.insert(bound);
  return Status::Ok();
}

}  // namespace tabdb

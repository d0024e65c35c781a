// compiler_rowid.cpp - the ROWID pseudo-column of a table: its text, and
// comparisons with it compiled as bounds on the SQLite rowid, so that
// "ROWID BETWEEN :a AND :b" reads the rows of that range only (SQLite's
// search by rowid range) and rows at either end are in it.
#include <string>

#include "exec/compiler_internal.h"
#include "util/errors.h"
#include "values/rowid.h"

namespace tabdb {

Status Compiler::TableRowid(CExpr* out) {
  const int64_t obj = scope_.table->obj_id;
  out->rowid_of = scope_.alias + ".rowid";
  out->rowid_object = obj;
  out->sql = "tabdb_rowid(" + std::to_string(obj) + ", " + out->rowid_of + ")";
  TypeDesc t;
  t.kind = TypeKind::kRowid;
  out->type = WithDefaults(t);
  out->type.length = kRowidTextLength;
  return Status::Ok();
}

Status Compiler::RowidCompare(sql::Op op, const CExpr& a, const CExpr& b, CExpr* out) {
  out->is_bool = true;
  const char* sql_op = op == sql::Op::kEq   ? "="
                       : op == sql::Op::kNe ? "<>"
                       : op == sql::Op::kLt ? "<"
                       : op == sql::Op::kLe ? "<="
                       : op == sql::Op::kGt ? ">"
                                            : ">=";
  if (!a.rowid_of.empty() && !b.rowid_of.empty()) {
    // ROWIDs of two tables order by data object first.
    if (a.rowid_object == b.rowid_object) {
      out->sql = "(" + a.rowid_of + " " + sql_op + " " + b.rowid_of + ")";
    } else {
      out->sql = "(" + std::to_string(a.rowid_object) + " " + sql_op + " " + std::to_string(b.rowid_object) + ")";
    }
    return Status::Ok();
  }
  const bool left = !a.rowid_of.empty();
  const CExpr& r = left ? a : b;
  const CExpr& x = left ? b : a;
  if (!x.null_literal && !IsCharacter(x.type.kind))
    return OraError(ora::kInconsistentDatatypes, {"ROWID", DataTypeText(x.type)});
  // x op ROWID is ROWID op' x.
  if (!left) {
    switch (op) {
      case sql::Op::kLt: op = sql::Op::kGt; break;
      case sql::Op::kLe: op = sql::Op::kGe; break;
      case sql::Op::kGt: op = sql::Op::kLt; break;
      case sql::Op::kGe: op = sql::Op::kLe; break;
      default: break;
    }
  }
  // tabdb_rowid_bound(x, object, op) reads x as a ROWID (ORA-01410 when it
  // is not one) and gives the rowid bound of rowid.h's RowidBound; a NULL
  // x gives NULL, so the comparison is unknown as in Oracle.
  char code;
  const char* cmp;
  switch (op) {
    case sql::Op::kEq: code = '=', cmp = " = "; break;
    case sql::Op::kNe: code = '=', cmp = " <> "; break;
    case sql::Op::kLt: code = '<', cmp = " <= "; break;
    case sql::Op::kLe: code = 'l', cmp = " <= "; break;
    case sql::Op::kGt: code = '>', cmp = " >= "; break;
    default: code = 'g', cmp = " >= "; break;
  }
  out->sql = "(" + r.rowid_of + cmp + "tabdb_rowid_bound(" + x.sql + ", " + std::to_string(r.rowid_object) +
             ", '" + code + "'))";
  return Status::Ok();
}

}  // namespace tabdb

// compile_subquery.cpp - queries nested in expressions: scalar subqueries
// (ORA-01427 when one gives a second row), IN / NOT IN over a query and
// EXISTS. A nested query may name the columns of the queries around it.
#include "exec/functions.h"
#include "sql/printer.h"
#include "util/errors.h"

namespace tabdb {

Status Compiler::Subquery(const sql::Expr& e, CExpr* out) {
  std::string sql;
  std::vector<ViewColumn> cols;
  TABDB_RETURN_IF_ERROR(CompileNestedSelect(s_, *e.subquery, &scope_, scope_.level + 1, binds_, &sql, &cols));
  if (e.kind == sql::ExprKind::kExists) {
    out->sql = "(EXISTS (" + sql + "))";
    out->is_bool = true;
    return Status::Ok();
  }
  if (cols.size() > 1) return OraError(ora::kTooManyValues);
  CExpr value;
  value.sql = "_q." + sql::QuoteName(cols.at(0).name);
  value.type = cols[0].type;
  if (e.kind == sql::ExprKind::kSubquery) {
    // At most two rows are read: a second one is the error.
    out->sql = "(SELECT CASE WHEN count(*) > 1 THEN " + Call(Operator("$TOO_MANY_ROWS"), value.type.kind, {}) +
               " ELSE max(" + value.sql + ") END FROM (SELECT * FROM (" + sql + ") LIMIT 2) AS _q)";
    out->type = value.type;
    return Status::Ok();
  }
  // args[0] [NOT] IN (query): SQLite's IN has Oracle's NULL rule (NOT IN
  // over a query that gives a NULL is never true).
  CExpr a;
  TABDB_RETURN_IF_ERROR(Compile(*e.args.at(0), &a));
  if (a.is_bool) return OraError(ora::kInvalidRelationalOperator);
  TypeKind k;
  TABDB_RETURN_IF_ERROR(CommonType(a, value, &k));
  out->sql = "(" + ConvertTo(a, k) + (e.negated ? " NOT IN " : " IN ") + "(SELECT " + ConvertTo(value, k) +
             " FROM (" + sql + ") AS _q))";
  out->is_bool = true;
  out->aggregate = a.aggregate;
  return Status::Ok();
}

}  // namespace tabdb

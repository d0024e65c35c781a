// ddl_functions.cpp - refuses, when a table is created or altered, a CHECK
// condition or a DEFAULT that calls a function the database does not
// have (ORA-00904), as Oracle does; kept, it would fail every later insert.
#include "exec/ddl_functions.h"

#include "exec/functions.h"
#include "sql/parser.h"
#include "sql/printer.h"
#include "util/errors.h"

namespace tabdb {
namespace {

bool IsAggregate(const std::string& n) {
  return n == "COUNT" || n == "SUM" || n == "AVG" || n == "MIN" || n == "MAX";
}

Status CheckExpr(const sql::Expr& e) {
  if (e.kind == sql::ExprKind::kFunction) {
    std::string name;
    for (size_t i = 0; i < e.names.size(); ++i) name += (i ? "." : "") + e.names[i].text;
    const SqlFunction* fn = FindFunction(name);
    if (!IsAggregate(name) && (fn == nullptr || fn->rule == nullptr))
      return OraError(ora::kInvalidIdentifier, {sql::QuoteName(name)});
  }
  for (const auto& a : e.args) {
    if (a) TABDB_RETURN_IF_ERROR(CheckExpr(*a));
  }
  return Status::Ok();
}

Status CheckConstraint(const sql::Constraint& c) {
  if (c.kind != sql::ConstraintKind::kCheck || c.check_text.empty()) return Status::Ok();
  sql::ExprPtr e;
  // A condition the parser cannot read is left to the DDL's own checks.
  if (!sql::ParseExpression(c.check_text, &e).ok() || !e) return Status::Ok();
  return CheckExpr(*e);
}

Status CheckColumn(const sql::ColumnDef& d) {
  if (d.default_expr) TABDB_RETURN_IF_ERROR(CheckExpr(*d.default_expr));
  for (const sql::Constraint& c : d.constraints) TABDB_RETURN_IF_ERROR(CheckConstraint(c));
  return Status::Ok();
}

}  // namespace

Status CheckDdlFunctions(const sql::Statement& st) {
  if (st.create_table) {
    for (const sql::ColumnDef& d : st.create_table->columns) TABDB_RETURN_IF_ERROR(CheckColumn(d));
    for (const sql::Constraint& c : st.create_table->constraints) TABDB_RETURN_IF_ERROR(CheckConstraint(c));
  }
  if (st.alter_table) {
    TABDB_RETURN_IF_ERROR(CheckConstraint(st.alter_table->add_constraint));
    for (const sql::AlterItem& i : st.alter_table->items) {
      TABDB_RETURN_IF_ERROR(CheckColumn(i.column));
      if (i.is_constraint) TABDB_RETURN_IF_ERROR(CheckConstraint(i.constraint));
    }
  }
  return Status::Ok();
}

}  // namespace tabdb

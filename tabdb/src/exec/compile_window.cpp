// compile_window.cpp - analytic functions: ROW_NUMBER, RANK, DENSE_RANK,
// the aggregates, LAG/LEAD and FIRST_VALUE/LAST_VALUE with OVER (...),
// compiled to SQLite's window functions over the engine's value forms.
#include "exec/compiler_internal.h"
#include "util/errors.h"

namespace tabdb {

using sql::Expr;

namespace {

TypeDesc NumberType() {
  TypeDesc t;
  t.kind = TypeKind::kNumber;
  return WithDefaults(t);
}

// An offset of LAG/LEAD: SQLite takes an integer, so only an unsigned
// integer literal is carried.
Status OffsetOf(const Expr& e, std::string* out) {
  if (e.kind != sql::ExprKind::kLiteral || e.lit != sql::LiteralKind::kNumber ||
      e.text.empty() || e.text.size() > 9 || e.text.find_first_not_of("0123456789") != std::string::npos)
    return Unimplemented("LAG or LEAD offset that is not an unsigned integer literal");
  *out = e.text;
  return Status::Ok();
}

}  // namespace

Status Compiler::Window(const std::string& name, const Expr& e, CExpr* out) {
  if (!scope_.allow_window) return OraError(ora::kWindowNotAllowed);
  // No analytic function inside one; aggregates are as the query allows.
  Scope inner = scope_;
  inner.allow_window = false;
  Compiler c(s_, inner, binds_);
  const sql::WindowSpec& w = *e.over;
  bool aggregate = false;
  std::string over = " OVER (";
  for (size_t i = 0; i < w.partition_by.size(); ++i) {
    CExpr p;
    TABDB_RETURN_IF_ERROR(c.Compile(*w.partition_by[i], &p));
    if (p.is_bool) return OraError(ora::kMissingExpression);
    aggregate = aggregate || p.aggregate;
    over += (i ? ", " : "PARTITION BY ") + p.sql;
  }
  for (size_t i = 0; i < w.order_by.size(); ++i) {
    const sql::OrderItem& o = w.order_by[i];
    CExpr k;
    TABDB_RETURN_IF_ERROR(c.Compile(*o.expr, &k));
    if (k.is_bool) return OraError(ora::kMissingExpression);
    aggregate = aggregate || k.aggregate;
    // Oracle sorts NULLs as the highest value.
    bool nulls_first = o.nulls == 1 || (o.nulls == 0 && o.desc);
    over += std::string(i ? ", " : (w.partition_by.empty() ? "ORDER BY " : " ORDER BY ")) + k.sql +
            (o.desc ? " DESC" : " ASC") + (nulls_first ? " NULLS FIRST" : " NULLS LAST");
  }
  if (!w.frame.empty()) over += " " + w.frame;
  over += ")";

  std::vector<CExpr> a;
  if (!e.star) {
    for (const sql::ExprPtr& arg : e.args) {
      CExpr x;
      TABDB_RETURN_IF_ERROR(c.Compile(*arg, &x));
      if (x.is_bool) return OraError(ora::kMissingExpression);
      aggregate = aggregate || x.aggregate;
      a.push_back(std::move(x));
    }
  }
  out->aggregate = aggregate;
  if (e.distinct) return Unimplemented("DISTINCT in an analytic function");

  if (name == "ROW_NUMBER" || name == "RANK" || name == "DENSE_RANK") {
    if (!a.empty()) return OraError(ora::kInvalidArgumentCount);
    if (w.order_by.empty()) return OraError(ora::kWindowOrderMissing);
    std::string fn = name == "ROW_NUMBER" ? "row_number()" : name == "RANK" ? "rank()" : "dense_rank()";
    out->sql = "tabdb_num(" + fn + over + ")";
    out->type = NumberType();
    return Status::Ok();
  }
  if (name == "COUNT") {
    if (!e.star && a.size() != 1) return OraError(ora::kInvalidArgumentCount);
    out->sql = "tabdb_num(count(" + (e.star ? std::string("*") : a[0].sql) + ")" + over + ")";
    out->type = NumberType();
    return Status::Ok();
  }
  if (e.star) return OraError(ora::kMissingExpression);
  if (name == "MIN" || name == "MAX" || name == "FIRST_VALUE" || name == "LAST_VALUE") {
    if (a.size() != 1) return OraError(ora::kInvalidArgumentCount);
    if (IsLob(a[0].type.kind) || IsLong(a[0].type.kind))
      return OraError(ora::kInconsistentDatatypes, {"-", "LOB"});
    std::string fn = name == "MIN" ? "min(" : name == "MAX" ? "max(" : name == "FIRST_VALUE" ? "first_value(" : "last_value(";
    out->sql = fn + a[0].sql + ")" + over;
    out->type = a[0].type;
    return Status::Ok();
  }
  if (name == "SUM" || name == "AVG") {
    if (a.size() != 1) return OraError(ora::kInvalidArgumentCount);
    TypeKind k = a[0].type.kind;
    if (IsCharacter(k) || a[0].null_literal) k = TypeKind::kNumber;
    if (!IsNumeric(k)) return OraError(ora::kInconsistentDatatypes, {"NUMBER", DataTypeText(a[0].type)});
    if (k == TypeKind::kFloat) k = TypeKind::kNumber;
    out->sql = std::string(name == "SUM" ? "tabdb_sum(" : "tabdb_avg(") + ConvertTo(a[0], k) + "," +
               std::to_string(static_cast<int>(k)) + ")" + over;
    TypeDesc t;
    t.kind = k;
    out->type = WithDefaults(t);
    return Status::Ok();
  }
  if (name == "LAG" || name == "LEAD") {
    if (a.empty() || a.size() > 3) return OraError(ora::kInvalidArgumentCount);
    if (IsLob(a[0].type.kind) || IsLong(a[0].type.kind))
      return OraError(ora::kInconsistentDatatypes, {"-", "LOB"});
    std::string sql = (name == "LAG" ? "lag(" : "lead(") + a[0].sql;
    if (a.size() >= 2) {
      std::string n;
      TABDB_RETURN_IF_ERROR(OffsetOf(*e.args[1], &n));
      sql += ", " + n;
    }
    if (a.size() == 3) {
      // The default takes the value's type, as Oracle converts it.
      if (a[2].null_literal) sql += ", NULL";
      else sql += ", " + ConvertTo(a[2], a[0].type.kind);
    }
    out->sql = sql + ")" + over;
    out->type = a[0].type;
    return Status::Ok();
  }
  return OraError(ora::kInvalidIdentifier, {name});
}

}  // namespace tabdb

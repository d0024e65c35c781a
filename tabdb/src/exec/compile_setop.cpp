// compile_setop.cpp - compound queries (UNION [ALL], INTERSECT, MINUS) and
// comparisons with ANY / SOME / ALL.
//
// A compound becomes an SQLite compound SELECT whose branches are wrapped
// so that each may have its own ORDER BY and row limit. Values are compared
// in their byte forms, which are canonical within a type (equal NUMBERs
// have equal bytes), so each column of every branch is first brought to
// the column's result type.
#include <algorithm>

#include "exec/functions.h"
#include "sql/printer.h"
#include "util/errors.h"

namespace tabdb {

namespace {

TypeDesc Plain(TypeKind k) {
  TypeDesc t;
  t.kind = k;
  return WithDefaults(t);
}

bool IsNullLiteral(const sql::Expr& e) {
  return e.kind == sql::ExprKind::kLiteral &&
         (e.lit == sql::LiteralKind::kNull ||
          ((e.lit == sql::LiteralKind::kString || e.lit == sql::LiteralKind::kNString) && e.text.empty()));
}

// Whether result column k of `q` is NULL in every row (a NULL literal, or
// NULL in every branch): such a column takes the type of the others.
bool NullColumn(const sql::Select& q, size_t k) {
  if (!q.branches.empty()) {
    for (const sql::SetBranch& b : q.branches) {
      if (!NullColumn(*b.query, k)) return false;
    }
    return true;
  }
  for (const sql::SelectItem& it : q.items) {
    if (it.star) return false;  // the positions after a * are not known here
  }
  return k < q.items.size() && q.items[k].expr && IsNullLiteral(*q.items[k].expr);
}

bool IsCharFamily(TypeKind k) {
  return k == TypeKind::kChar || k == TypeKind::kVarchar2 || k == TypeKind::kNChar ||
         k == TypeKind::kNVarchar2;
}

// The type of one result column from the types of its branches (ORA-01790
// when they are of different kinds, as numbers and strings are).
Status ResultType(const std::vector<TypeDesc>& types, const std::vector<bool>& nulls, bool distinct,
                  TypeDesc* out) {
  const TypeDesc* first = nullptr;
  for (size_t i = 0; i < types.size(); ++i) {
    if (!nulls[i]) {
      first = &types[i];
      break;
    }
  }
  if (first == nullptr) {
    *out = types[0];
    return Status::Ok();
  }
  TypeDesc r = *first;
  bool same_length = true;
  for (size_t i = 0; i < types.size(); ++i) {
    if (nulls[i]) continue;
    const TypeDesc& t = types[i];
    if (t.kind == r.kind) {
      if (IsCharFamily(t.kind) || t.kind == TypeKind::kRaw) {
        if (t.length != r.length) same_length = false;
        r.length = std::max(r.length, t.length);
      } else if (t.kind == TypeKind::kNumber && (t.precision != r.precision || t.scale != r.scale)) {
        r.precision = kUnset;
        r.scale = kUnset;
      }
      continue;
    }
    if (IsCharFamily(t.kind) && IsCharFamily(r.kind)) {
      // Mixed character types give VARCHAR2 (NVARCHAR2 when one is national).
      bool national = IsNational(t.kind) || IsNational(r.kind);
      int length = std::max(r.length, t.length);
      r = Plain(national ? TypeKind::kNVarchar2 : TypeKind::kVarchar2);
      r.length = length;
    } else if (IsNumeric(t.kind) && IsNumeric(r.kind)) {
      // Numeric precedence: BINARY_DOUBLE over BINARY_FLOAT over NUMBER.
      TypeKind k = TypeKind::kNumber;
      if (t.kind == TypeKind::kBinaryDouble || r.kind == TypeKind::kBinaryDouble)
        k = TypeKind::kBinaryDouble;
      else if (t.kind == TypeKind::kBinaryFloat || r.kind == TypeKind::kBinaryFloat)
        k = TypeKind::kBinaryFloat;
      r = Plain(k);
    } else if ((t.kind == TypeKind::kDate && r.kind == TypeKind::kTimestamp) ||
               (t.kind == TypeKind::kTimestamp && r.kind == TypeKind::kDate)) {
      r = Plain(TypeKind::kTimestamp);
    } else {
      return OraError(ora::kSetTypeMismatch);
    }
  }
  // CHAR columns of different lengths give VARCHAR2 of the longest.
  if (!same_length && (r.kind == TypeKind::kChar || r.kind == TypeKind::kNChar))
    r.kind = r.kind == TypeKind::kChar ? TypeKind::kVarchar2 : TypeKind::kNVarchar2;
  // LONG takes no part in set operators; LOBs may be appended, not compared.
  if (IsLong(r.kind)) return OraError(ora::kIllegalLongUse);
  if (distinct && IsLob(r.kind)) return OraError(ora::kInconsistentDatatypes, {"-", DataTypeText(r)});
  *out = r;
  return Status::Ok();
}

const char* SetOpSql(sql::SetOp op) {
  switch (op) {
    case sql::SetOp::kUnionAll: return " UNION ALL ";
    case sql::SetOp::kIntersect: return " INTERSECT ";
    case sql::SetOp::kMinus: return " EXCEPT ";
    default: return " UNION ";
  }
}

std::string Positional(size_t k) { return "\"_c" + std::to_string(k + 1) + "\""; }

}  // namespace

Status CompileCompound(Session& s, const sql::Select& q, const std::string& text, BindContext* binds,
                       std::string* sql, std::vector<ResultColumn>* cols, const Scope* outer, int level,
                       bool named_items, bool positional) {
  size_t n = q.branches.size();
  std::vector<std::string> branch_sql(n);
  std::vector<std::vector<ResultColumn>> branch_cols(n);
  bool distinct = false;
  for (size_t i = 0; i < n; ++i) {
    const sql::SetBranch& b = q.branches[i];
    if (i > 0 && b.op != sql::SetOp::kUnionAll) distinct = true;
    // Only the first branch names the result; its headings come from the text.
    TABDB_RETURN_IF_ERROR(CompileQuerySql(s, *b.query, i == 0 ? text : std::string(), binds, &branch_sql[i],
                                          &branch_cols[i], outer, level, false, true));
    if (branch_cols[i].size() != branch_cols[0].size()) return OraError(ora::kSetColumnCount);
  }
  size_t width = branch_cols[0].size();
  cols->clear();
  for (size_t k = 0; k < width; ++k) {
    std::vector<TypeDesc> types;
    std::vector<bool> nulls;
    for (size_t i = 0; i < n; ++i) {
      types.push_back(branch_cols[i][k].type);
      nulls.push_back(NullColumn(*q.branches[i].query, k));
    }
    ResultColumn c;
    c.name = branch_cols[0][k].name;
    if ((named_items || positional) && c.name.empty()) c.name = "_c" + std::to_string(k + 1);
    TABDB_RETURN_IF_ERROR(ResultType(types, nulls, distinct, &c.type));
    cols->push_back(c);
  }
  Scope none;
  Compiler conv(s, none, binds);
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    if (i > 0) out += SetOpSql(q.branches[i].op);
    out += "SELECT ";
    for (size_t k = 0; k < width; ++k) {
      CExpr v;
      v.sql = "_b." + Positional(k);
      v.type = branch_cols[i][k].type;
      v.null_literal = NullColumn(*q.branches[i].query, k);
      out += (k ? ", " : "") + conv.ConvertTo(v, (*cols)[k].type.kind);
      if (i == 0) out += " AS " + (positional ? Positional(k) : sql::QuoteName((*cols)[k].name));
    }
    out += " FROM (" + branch_sql[i] + ") AS _b";
  }
  if (!q.order_by.empty()) {
    // The ORDER BY of a compound names result columns: by position, or by
    // the names and aliases of the first branch.
    out += " ORDER BY ";
    for (size_t i = 0; i < q.order_by.size(); ++i) {
      const sql::OrderItem& o = q.order_by[i];
      const sql::Expr& e = *o.expr;
      size_t pos = 0;
      if (e.kind == sql::ExprKind::kLiteral && e.lit == sql::LiteralKind::kNumber) {
        pos = std::strtoul(e.text.c_str(), nullptr, 10);
        if (pos < 1 || pos > width) return OraError(ora::kOrderByItemNumber);
      } else if (e.kind == sql::ExprKind::kColumn) {
        for (size_t k = 0; k < width && pos == 0; ++k) {
          if (branch_cols[0][k].name == e.names.back().text) pos = k + 1;
        }
        if (pos == 0) return OraError(ora::kInvalidIdentifier, {sql::QuoteName(e.names.back().text)});
      } else {
        return OraError(ora::kOrderByItemNumber);
      }
      bool nulls_first = o.nulls == 1 || (o.nulls == 0 && o.desc);
      out += (i ? ", " : "") + std::to_string(pos) + (o.desc ? " DESC" : " ASC") +
             (nulls_first ? " NULLS FIRST" : " NULLS LAST");
    }
  }
  *sql = out;
  return Status::Ok();
}

// x op ANY (...) is true when x op v holds for some v, x op ALL (...) when
// it holds for every v (so ALL over no rows is true); otherwise NULL when
// some comparison is unknown, else false.
Status Compiler::Quantified(const sql::Expr& e, CExpr* out) {
  CExpr a;
  TABDB_RETURN_IF_ERROR(Compile(*e.args.at(0), &a));
  if (a.is_bool) return OraError(ora::kInvalidRelationalOperator);
  out->is_bool = true;
  out->aggregate = a.aggregate;
  if (!e.subquery) {
    std::string sql;
    for (size_t i = 1; i < e.args.size(); ++i) {
      CExpr v, c;
      TABDB_RETURN_IF_ERROR(Compile(*e.args[i], &v));
      if (v.is_bool) return OraError(ora::kInvalidRelationalOperator);
      TABDB_RETURN_IF_ERROR(Compare(e.op, a, v, &c));
      out->aggregate = out->aggregate || v.aggregate;
      sql += (i > 1 ? (e.quantifier_all ? " AND " : " OR ") : "") + c.sql;
    }
    out->sql = "(" + sql + ")";
    return Status::Ok();
  }
  // The left operand is evaluated inside the nested query: an aggregate
  // there would be taken as the nested query's own.
  if (a.aggregate) return OraError(ora::kUnimplemented);
  std::string sub;
  std::vector<ViewColumn> cols;
  TABDB_RETURN_IF_ERROR(CompileNestedSelect(s_, *e.subquery, &scope_, scope_.level + 1, binds_, &sub, &cols));
  if (cols.size() > 1) return OraError(ora::kTooManyValues);
  CExpr v, c;
  v.sql = "_q." + sql::QuoteName(cols.at(0).name);
  v.type = cols[0].type;
  TABDB_RETURN_IF_ERROR(Compare(e.op, a, v, &c));
  std::string from = " FROM (" + sub + ") AS _q WHERE ";
  std::string unknown = "EXISTS (SELECT 1" + from + c.sql + " IS NULL)";
  if (e.quantifier_all) {
    out->sql = "(CASE WHEN EXISTS (SELECT 1" + from + "NOT " + c.sql + ") THEN 0 WHEN " + unknown +
               " THEN NULL ELSE 1 END)";
  } else {
    out->sql = "(CASE WHEN EXISTS (SELECT 1" + from + c.sql + ") THEN 1 WHEN " + unknown +
               " THEN NULL ELSE 0 END)";
  }
  return Status::Ok();
}

}  // namespace tabdb

// compile_json.cpp - the SQL/JSON functions over SQLite's JSON1 functions:
// IS [NOT] JSON, JSON_VALUE, JSON_QUERY, JSON_EXISTS with Oracle's simple
// path steps ($, .name, ."name", [n]), and the constructors JSON_OBJECT,
// JSON_ARRAY and JSON_ARRAYAGG.
#include "exec/compiler_internal.h"
#include "util/errors.h"

namespace tabdb {

using sql::Expr;

namespace {

TypeDesc Varchar(int length) {
  TypeDesc t;
  t.kind = TypeKind::kVarchar2;
  t.length = length;
  return WithDefaults(t);
}

bool HasWord(const Expr& e, const std::string& w) {
  size_t at = 0;
  while ((at = e.text.find(w, at)) != std::string::npos) {
    bool starts = at == 0 || e.text[at - 1] == ' ';
    bool ends = at + w.size() == e.text.size() || e.text[at + w.size()] == ' ';
    if (starts && ends) return true;
    at += w.size();
  }
  return false;
}

// Checks a path of the steps SQLite reads as Oracle does: $ then .name,
// ."name" and [n]. Wildcards, ranges, filters and item methods are not
// carried (ORA-03001); anything else is ORA-40442.
Status CheckPath(const std::string& p) {
  if (p.empty() || p[0] != '$') return OraError(ora::kJsonPathSyntax);
  size_t i = 1;
  auto ident = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
  while (i < p.size()) {
    if (p[i] == '.') {
      ++i;
      if (i < p.size() && (p[i] == '*' || p[i] == '.'))
        return Unimplemented("JSON path wildcard or descendant step");
      if (i < p.size() && p[i] == '"') {
        size_t end = p.find('"', i + 1);
        if (end == std::string::npos || end == i + 1) return OraError(ora::kJsonPathSyntax);
        i = end + 1;
        continue;
      }
      size_t b = i;
      while (i < p.size() && ident(p[i])) ++i;
      if (i == b || std::isdigit(static_cast<unsigned char>(p[b]))) return OraError(ora::kJsonPathSyntax);
      if (i < p.size() && p[i] == '(') return Unimplemented("JSON path item method");
    } else if (p[i] == '[') {
      size_t b = ++i;
      while (i < p.size() && std::isdigit(static_cast<unsigned char>(p[i]))) ++i;
      if (i < p.size() && i == b && (p[i] == '*' || p[i] == 'l')) return Unimplemented("JSON path wildcard or last");
      if (i == b || i >= p.size()) return OraError(ora::kJsonPathSyntax);
      if (p[i] == ',' || p[i] == ' ') return Unimplemented("JSON path array ranges");
      if (p[i] != ']') return OraError(ora::kJsonPathSyntax);
      ++i;
    } else if (p[i] == '?') {
      return Unimplemented("JSON path filter");
    } else {
      return OraError(ora::kJsonPathSyntax);
    }
  }
  return Status::Ok();
}

}  // namespace

// A value as text, for the document argument and object keys.
std::string Compiler::JsonText(const CExpr& v) {
  if (IsTextClass(v.type.kind) || v.null_literal) return v.sql;
  return ConvertTo(v, TypeKind::kVarchar2);
}

// A value as a member of a JSON array or object: numbers as JSON numbers
// (with the 0 Oracle's text leaves out before a point), JSON made by a
// constructor as JSON, anything else as a string.
std::string Compiler::JsonMember(const CExpr& v) {
  if (v.null_literal) return "NULL";
  if (v.json) return "json(" + v.sql + ")";
  if (IsNumeric(v.type.kind)) {
    std::string t = ConvertTo(v, TypeKind::kVarchar2);
    return "json(CASE WHEN " + t + " LIKE '.%' THEN '0' || " + t + " WHEN " + t + " LIKE '-.%' THEN '-0' || substr(" +
           t + ", 2) ELSE " + t + " END)";
  }
  return JsonText(v);
}

Status Compiler::IsJson(const Expr& e, CExpr* out) {
  CExpr a;
  TABDB_RETURN_IF_ERROR(Compile(*e.args.at(0), &a));
  if (a.is_bool) return OraError(ora::kInvalidRelationalOperator);
  // NULL is neither (a CHECK (c IS JSON) lets it pass).
  std::string t = JsonText(a);
  out->sql = "(CASE WHEN " + t + " IS NOT NULL THEN " + (e.negated ? "NOT " : "") + "json_valid(" + t + ") END)";
  out->is_bool = true;
  out->aggregate = a.aggregate;
  out->constant = a.constant;
  return Status::Ok();
}

Status Compiler::Json(const std::string& name, const Expr& e, CExpr* out) {
  Scope inner = scope_;
  bool agg = name == "JSON_ARRAYAGG";
  if (agg) {
    if (!scope_.allow_aggregates) return OraError(ora::kGroupFunctionNotAllowed);
    inner.allow_aggregates = false;
  }
  Compiler c(s_, inner, binds_);
  std::vector<CExpr> a;
  for (const sql::ExprPtr& arg : e.args) {
    CExpr x;
    TABDB_RETURN_IF_ERROR(c.Compile(*arg, &x));
    if (x.is_bool) return OraError(ora::kMissingExpression);
    out->aggregate = out->aggregate || x.aggregate;
    a.push_back(std::move(x));
  }
  TypeDesc result = Varchar(4000);
  if (HasWord(e, "RETURNING")) result = WithDefaults(e.cast_type);
  auto finish = [&](std::string sql, bool json) {
    CExpr text;
    text.sql = std::move(sql);
    text.type = Varchar(4000);
    out->json = json && IsTextClass(result.kind);
    out->sql = result.kind == TypeKind::kVarchar2 ? text.sql : ConvertTo(text, result.kind);
    out->type = result;
    return Status::Ok();
  };

  if (name == "JSON_OBJECT") {
    if (HasWord(e, "ABSENT")) return Unimplemented("JSON_OBJECT with ABSENT ON NULL");
    std::string sql = "json_object(";
    for (size_t i = 0; i + 1 < a.size(); i += 2) {
      if (a[i].null_literal) return OraError(ora::kInvalidArgumentCount);
      sql += (i ? ", " : "") + JsonText(a[i]) + ", " + JsonMember(a[i + 1]);
    }
    return finish(sql + ")", true);
  }
  if (name == "JSON_ARRAY") {
    std::string members;
    for (size_t i = 0; i < a.size(); ++i) members += (i ? ", " : "") + JsonMember(a[i]);
    if (HasWord(e, "NULLS")) return finish("json_array(" + members + ")", true);
    // ABSENT ON NULL, the default: the array without its NULL members.
    return finish("(SELECT json_group_array(CASE WHEN type IN ('object', 'array') THEN json(value) ELSE value END)"
                  " FROM json_each(json_array(" + members + ")) WHERE type <> 'null')",
                  true);
  }
  if (agg) {
    if (a.size() != 1) return OraError(ora::kInvalidArgumentCount);
    out->aggregate = true;
    std::string filter = HasWord(e, "NULLS") ? "" : " FILTER (WHERE " + a[0].sql + " IS NOT NULL)";
    return finish("CASE WHEN count(*) = 0 THEN NULL ELSE json_group_array(" + JsonMember(a[0]) + ")" + filter + " END",
                  true);
  }
  // JSON_VALUE, JSON_QUERY, JSON_EXISTS (document, path, [default]).
  if (a.size() < 2) return OraError(ora::kInvalidArgumentCount);
  const Expr& path = *e.args[1];
  if (path.kind != sql::ExprKind::kLiteral || path.lit != sql::LiteralKind::kString)
    return OraError(ora::kJsonPathSyntax);
  TABDB_RETURN_IF_ERROR(CheckPath(path.text));
  std::string d = JsonText(a[0]);
  std::string p = SqlText(path.text);
  std::string type = "json_type(" + d + ", " + p + ")";
  std::string valid = "json_valid(" + d + ")";
  if (name == "JSON_EXISTS") {
    out->sql = "(" + valid + " AND " + type + " IS NOT NULL)";
    out->is_bool = true;
    return Status::Ok();
  }
  std::string value = "json_extract(" + d + ", " + p + ")";
  if (name == "JSON_QUERY") {
    std::string sql = HasWord(e, "WRAPPER")
                          ? "CASE " + type + " WHEN 'object' THEN '[' || " + value + " || ']' WHEN 'array' THEN '[' || " +
                                value + " || ']' ELSE json_array(" + value + ") END"
                          : "CASE WHEN " + type + " IN ('object', 'array') THEN " + value + " END";
    return finish("CASE WHEN " + valid + " THEN " + sql + " END", true);
  }
  // JSON_VALUE: a scalar as text; an object, an array or a document that
  // is not JSON is an error, NULL unless DEFAULT ... ON ERROR says otherwise.
  std::string on_error = "NULL";
  if (HasWord(e, "ERROR=DEFAULT")) {
    if (a.size() != 3) return OraError(ora::kInvalidArgumentCount);
    on_error = JsonText(a[2]);
  }
  std::string sql = "CASE WHEN " + valid + " IS NOT 1 OR " + type + " IN ('object', 'array') THEN " + on_error +
                    " ELSE CASE " + type + " WHEN 'true' THEN 'true' WHEN 'false' THEN 'false' ELSE CAST(" + value +
                    " AS TEXT) END END";
  // A NULL document is NULL, not an error.
  return finish("CASE WHEN " + d + " IS NOT NULL THEN " + sql + " END", false);
}

}  // namespace tabdb

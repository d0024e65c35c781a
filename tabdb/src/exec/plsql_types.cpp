// plsql_types.cpp - the types PL/SQL declarations name: SQL types with
// PL/SQL's own limits (VARCHAR2 up to 32767 bytes), BOOLEAN and the integer
// types, table.column%TYPE, table%ROWTYPE, and the record types, subtypes
// and variables a unit declares (through the caller's lookup).
#include "exec/plsql_types.h"

#include <cstdlib>

#include "sql/parser.h"
#include "util/errors.h"

namespace tabdb {
namespace pl {
namespace {

using sql::Token;
using sql::TokenKind;

bool OneOf(const std::string& w, std::initializer_list<const char*> words) {
  for (const char* x : words)
    if (w == x) return true;
  return false;
}

// The length of a PL/SQL character or RAW type written "(n [CHAR|BYTE])",
// which may exceed the SQL limits; false when it is not that form.
bool PlsqlLength(const std::vector<Token>& t, uint32_t b, uint32_t e, int* length, bool* chars,
                 bool* given) {
  *given = false;
  *chars = false;
  if (b == e) return true;
  if (e - b < 3 || t[b].text != "(" || t[e - 1].text != ")" || t[b + 1].kind != TokenKind::kNumber)
    return false;
  uint32_t k = b + 2;
  if (k < e - 1 && (t[k].text == "CHAR" || t[k].text == "BYTE")) {
    *chars = t[k].text == "CHAR";
    ++k;
  }
  if (k != e - 1) return false;
  long n = std::strtol(t[b + 1].text.c_str(), nullptr, 10);
  if (n < 1 || n > 32767) return false;
  *length = static_cast<int>(n);
  *given = true;
  return true;
}

Status ColumnsOf(Session& s, const std::string& schema, const std::vector<std::string>& name,
                 TableInfo* table, ViewInfo* view, bool* is_view) {
  sql::NameList n;
  for (const std::string& p : name) n.push_back(sql::Name{p, false});
  if (n.size() == 1 && !schema.empty()) n.insert(n.begin(), sql::Name{schema, false});
  return ResolveQuerySource(s, n, table, view, is_view);
}

}  // namespace

Status ResolveType(Session& s, const sql::PlsqlUnit& u, sql::PlRange r, const std::string& schema,
                   const NamedType& named, TypeInfo* out, std::string* unknown) {
  *out = TypeInfo();
  unknown->clear();
  const std::vector<Token>& t = u.tokens;
  if (r.empty()) return Status::Ok();
  const std::string& first = t[r.b].text;
  uint32_t n = r.e - r.b;
  auto text = [&](uint32_t b, uint32_t e) {
    std::string x;
    for (uint32_t k = b; k < e; ++k) x += u.text.substr(t[k].begin, t[k].end - t[k].begin) + " ";
    return x;
  };
  // name%TYPE and name%ROWTYPE: a dotted name before the attribute.
  if (n >= 3 && t[r.e - 2].text == "%" && (t[r.e - 1].text == "TYPE" || t[r.e - 1].text == "ROWTYPE")) {
    bool rowtype = t[r.e - 1].text == "ROWTYPE";
    std::vector<std::string> name;
    for (uint32_t k = r.b; k < r.e - 2; k += 2) {
      name.push_back(t[k].text);
      if (k + 1 < r.e - 2 && t[k + 1].text != ".") {
        *unknown = first;
        return Status::Ok();
      }
    }
    std::string dotted;
    for (const std::string& p : name) dotted += (dotted.empty() ? "" : ".") + p;
    if (named && named(dotted, true, out)) {
      if (rowtype) out->record = true;
      return Status::Ok();
    }
    TableInfo table;
    ViewInfo view;
    bool is_view = false;
    std::vector<std::string> object = name;
    std::string column;
    if (!rowtype) {
      if (name.size() < 2) {
        *unknown = dotted;
        return Status::Ok();
      }
      column = name.back();
      object.pop_back();
    }
    if (object.size() > 2 || !ColumnsOf(s, schema, object, &table, &view, &is_view).ok()) {
      *unknown = dotted;
      return Status::Ok();
    }
    if (is_view) {
      // A view's columns take their types from what is assigned.
      if (rowtype) {
        out->record = true;
        out->fields = view.columns;
        out->field_types.resize(view.columns.size());
        return Status::Ok();
      }
      for (const std::string& c : view.columns)
        if (c == column) return Status::Ok();
      *unknown = dotted;
      return Status::Ok();
    }
    if (rowtype) {
      out->record = true;
      for (const ColumnInfo* c : table.InsertColumns()) {
        out->fields.push_back(c->name);
        TypeInfo f;
        f.typed = true;
        f.type = c->type;
        out->field_types.push_back(f);
      }
      return Status::Ok();
    }
    const ColumnInfo* c = table.FindColumn(column);
    if (c == nullptr || c->hidden) {
      *unknown = dotted;
      return Status::Ok();
    }
    out->typed = true;
    out->type = c->type;
    return Status::Ok();
  }
  if (n == 1 && first == "BOOLEAN") {
    out->typed = out->boolean = true;
    return Status::Ok();
  }
  if (n == 1 && OneOf(first, {"PLS_INTEGER", "BINARY_INTEGER", "INTEGER", "INT", "SMALLINT", "NATURAL",
                              "NATURALN", "POSITIVE", "POSITIVEN", "SIGNTYPE", "SIMPLE_INTEGER"})) {
    out->typed = true;
    out->type.kind = TypeKind::kNumber;
    out->type.scale = 0;
    return Status::Ok();
  }
  if (OneOf(first, {"VARCHAR2", "VARCHAR", "STRING", "NVARCHAR2", "CHAR", "NCHAR", "CHARACTER", "RAW"})) {
    int length = kUnset;
    bool chars = false, given = false;
    if (PlsqlLength(t, r.b + 1, r.e, &length, &chars, &given)) {
      out->typed = true;
      out->type.kind = first == "RAW"                              ? TypeKind::kRaw
                       : first == "NVARCHAR2"                      ? TypeKind::kNVarchar2
                       : first == "NCHAR"                          ? TypeKind::kNChar
                       : first == "CHAR" || first == "CHARACTER"   ? TypeKind::kChar
                                                                   : TypeKind::kVarchar2;
      // A CHAR without length is CHAR(1); VARCHAR2 without one is
      // unconstrained (a parameter or a function's result).
      if (!given && (out->type.kind == TypeKind::kChar || out->type.kind == TypeKind::kNChar)) length = 1;
      out->type.length = length;
      out->type.char_semantics = chars || out->type.kind == TypeKind::kNVarchar2 ||
                                 out->type.kind == TypeKind::kNChar;
      return Status::Ok();
    }
  }
  if (named) {
    std::string dotted;
    bool plain = true;
    for (uint32_t k = r.b; k < r.e; ++k) {
      if ((k - r.b) % 2 == 1 ? t[k].text != "." : t[k].kind != TokenKind::kIdent && t[k].kind != TokenKind::kQuotedIdent)
        plain = false;
      dotted += t[k].text;
    }
    if (plain && named(dotted, false, out)) return Status::Ok();
  }
  TypeDesc td;
  if (sql::ParseType(text(r.b, r.e), &td).ok()) {
    out->typed = true;
    out->type = td;
    return Status::Ok();
  }
  // Types the SQL parser does not take here: values keep what is assigned.
  if (OneOf(first, {"LONG", "RAW", "CLOB", "BLOB", "NCLOB", "XMLTYPE", "SYS_REFCURSOR", "ROWID", "UROWID"}))
    return Status::Ok();
  *unknown = first;
  return Status::Ok();
}

}  // namespace pl
}  // namespace tabdb

// parse_json.cpp - the argument clauses of the SQL/JSON functions:
// JSON_VALUE / JSON_QUERY / JSON_EXISTS (expr, path [RETURNING type]
// [wrapper] [... ON ERROR] [... ON EMPTY]), JSON_OBJECT ([KEY] k VALUE v,
// ...), JSON_ARRAY (v, ...) and JSON_ARRAYAGG (v) with [NULL | ABSENT] ON NULL.
#include "sql/parser_impl.h"
#include "util/errors.h"

namespace tabdb {
namespace sql {

namespace {

void AddWord(Expr* fn, const std::string& w) { fn->text += (fn->text.empty() ? "" : " ") + w; }

}  // namespace

Status Parser::ParseJsonArgs(Expr* fn) {
  const std::string name = fn->names[0].text;
  TABDB_RETURN_IF_ERROR(ExpectSym("(", 906));
  // [NULL | ABSENT] ON NULL, and RETURNING type, of the constructors.
  auto on_null = [&]() -> Status {
    if ((PeekWord("NULL") || PeekWord("ABSENT")) && PeekWord("ON", 1) && PeekWord("NULL", 2)) {
      AddWord(fn, Next().text == "NULL" ? "NULLS" : "ABSENT");
      Next();
      Next();
    }
    return Status::Ok();
  };
  auto returning = [&]() -> Status {
    if (!AcceptWord("RETURNING")) return Status::Ok();
    AddWord(fn, "RETURNING");
    return ParseDataType(&fn->cast_type);
  };
  if (name == "JSON_OBJECT") {
    if (!PeekSym(")") && !PeekWord("RETURNING") && !(PeekWord("NULL") && PeekWord("ON", 1)) &&
        !(PeekWord("ABSENT") && PeekWord("ON", 1))) {
      do {
        AcceptWord("KEY");
        ExprPtr k, v;
        TABDB_RETURN_IF_ERROR(ParseExpr(&k));
        if (!AcceptWord("VALUE") && !AcceptSym(":")) return Err(907);
        TABDB_RETURN_IF_ERROR(ParseExpr(&v));
        fn->args.push_back(std::move(k));
        fn->args.push_back(std::move(v));
      } while (AcceptSym(","));
    }
    TABDB_RETURN_IF_ERROR(on_null());
    TABDB_RETURN_IF_ERROR(returning());
    return ExpectSym(")", 907);
  }
  if (name == "JSON_ARRAY" || name == "JSON_ARRAYAGG") {
    if (!PeekSym(")")) {
      do {
        if ((PeekWord("NULL") || PeekWord("ABSENT")) && PeekWord("ON", 1)) break;
        ExprPtr v;
        TABDB_RETURN_IF_ERROR(ParseExpr(&v));
        fn->args.push_back(std::move(v));
      } while (name == "JSON_ARRAY" && AcceptSym(","));
    }
    if (name == "JSON_ARRAYAGG" && PeekWord("ORDER")) return Unimplemented("JSON_ARRAYAGG with ORDER BY");
    TABDB_RETURN_IF_ERROR(on_null());
    TABDB_RETURN_IF_ERROR(returning());
    return ExpectSym(")", 907);
  }
  ExprPtr doc, path;
  TABDB_RETURN_IF_ERROR(ParseExpr(&doc));
  if (AcceptWord("FORMAT")) TABDB_RETURN_IF_ERROR(ExpectWord("JSON"));
  TABDB_RETURN_IF_ERROR(ExpectSym(",", 907));
  TABDB_RETURN_IF_ERROR(ParseExpr(&path));
  fn->args.push_back(std::move(doc));
  fn->args.push_back(std::move(path));
  if (name != "JSON_EXISTS") TABDB_RETURN_IF_ERROR(returning());
  if (name == "JSON_QUERY") {
    if (AcceptWord("WITHOUT")) {
      AcceptWord("ARRAY");
      TABDB_RETURN_IF_ERROR(ExpectWord("WRAPPER"));
    } else if (AcceptWord("WITH")) {
      if (!AcceptWord("UNCONDITIONAL") && AcceptWord("CONDITIONAL")) return Unimplemented("WITH CONDITIONAL WRAPPER");
      AcceptWord("ARRAY");
      TABDB_RETURN_IF_ERROR(ExpectWord("WRAPPER"));
      AddWord(fn, "WRAPPER");
    }
  }
  // NULL | ERROR | DEFAULT literal | TRUE | FALSE ON ERROR, and ON EMPTY.
  for (int clause = 0; clause < 2; ++clause) {
    std::string what;
    ExprPtr def;
    if (PeekWord("DEFAULT")) {
      Next();
      TABDB_RETURN_IF_ERROR(ParsePrimary(&def));
      what = "DEFAULT";
    } else if (PeekWord("NULL") || PeekWord("ERROR") || PeekWord("TRUE") || PeekWord("FALSE") ||
               PeekWord("EMPTY")) {
      if (!PeekWord("ON", 1)) break;
      what = Next().text;
    } else {
      break;
    }
    TABDB_RETURN_IF_ERROR(ExpectWord("ON"));
    bool on_error = AcceptWord("ERROR");
    if (!on_error && !AcceptWord("EMPTY")) return Err(907);
    // ON EMPTY: a missing value is handled as an error would be.
    if (what == "ERROR") return Unimplemented("ERROR ON " + std::string(on_error ? "ERROR" : "EMPTY"));
    if (what == "EMPTY") return Unimplemented("EMPTY ON ERROR");
    if (on_error) {
      AddWord(fn, "ERROR=" + what);
      if (def) fn->args.push_back(std::move(def));
    }
  }
  return ExpectSym(")", 907);
}

}  // namespace sql
}  // namespace tabdb

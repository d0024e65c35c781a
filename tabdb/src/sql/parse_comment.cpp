// parse_comment.cpp - COMMENT ON TABLE and COMMENT ON COLUMN. Comments on
// the other kinds Oracle has (materialized views, operators, ...) name
// objects the database does not keep and give ORA-03001.
#include "sql/parser_impl.h"
#include "util/errors.h"

namespace tabdb {
namespace sql {

// After COMMENT: ON TABLE [schema.]t IS 'text' | ON COLUMN [schema.]t.c IS 'text'.
Status Parser::ParseComment(Statement* st) {
  Next();
  TABDB_RETURN_IF_ERROR(ExpectWord("ON", 905));
  auto c = std::make_unique<CommentStmt>();
  if (AcceptWord("TABLE")) {
    TABDB_RETURN_IF_ERROR(ParseObjectName(&c->table, 903));
  } else if (AcceptWord("COLUMN")) {
    c->on_column = true;
    // [schema.]table.column: the last name is the column.
    NameList names;
    do {
      Name n;
      TABDB_RETURN_IF_ERROR(ParseName(&n));
      names.push_back(std::move(n));
    } while (names.size() < 3 && AcceptSym("."));
    if (names.size() < 2) return Err(905);
    c->column = names.back();
    names.pop_back();
    c->table = std::move(names);
  } else if (PeekWord("MATERIALIZED") && PeekWord("VIEW", 1)) {
    return Unimplemented("COMMENT ON MATERIALIZED VIEW");
  } else if (PeekWord("OPERATOR") || PeekWord("INDEXTYPE") || PeekWord("EDITION") ||
             (PeekWord("MINING") && PeekWord("MODEL", 1)) ||
             (PeekWord("AUDIT") && PeekWord("POLICY", 1))) {
    std::string what = Next().text;
    if (what == "MINING" || what == "AUDIT") what += " " + Next().text;
    return Unimplemented("COMMENT ON " + what);
  } else {
    return Err(905);
  }
  TABDB_RETURN_IF_ERROR(ExpectWord("IS", 905));
  if (Peek().kind != TokenKind::kString) return Err(ora::kStringLiteralRequired);
  c->text = Next().text;
  st->kind = StmtKind::kComment;
  st->comment = std::move(c);
  return Status::Ok();
}

}  // namespace sql
}  // namespace tabdb

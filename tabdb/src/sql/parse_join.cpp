// parse_join.cpp - the FROM items after the first: comma lists and the
// ANSI joins (INNER, LEFT/RIGHT/FULL [OUTER], CROSS, NATURAL, ON, USING).
#include "sql/parser_impl.h"
#include "util/errors.h"

namespace tabdb {
namespace sql {

// JOIN, USING, the words that begin a join, OFFSET and FETCH are not
// reserved: they end a table reference instead of being taken as its alias.
bool Parser::PeekJoinWord() const {
  if (PeekWord("JOIN")) return true;
  if (PeekWord("INNER") || PeekWord("CROSS")) return PeekWord("JOIN", 1);
  if (PeekWord("LEFT") || PeekWord("RIGHT") || PeekWord("FULL"))
    return PeekWord("JOIN", 1) || PeekWord("OUTER", 1);
  return PeekWord("NATURAL");
}

bool Parser::PeekTableRefEnd() const {
  if (PeekJoinWord()) return true;
  if (PeekWord("FETCH")) return PeekWord("FIRST", 1) || PeekWord("NEXT", 1);
  if (PeekWord("OFFSET")) return Peek(1).kind == TokenKind::kNumber || Peek(1).kind == TokenKind::kBind;
  if (PeekWord("EXCEPT")) return PeekQueryStart(1);
  return PeekWord("USING") && PeekSym("(", 1);
}

Status Parser::ParseJoins(Select* s) {
  for (;;) {
    JoinItem j;
    if (AcceptSym(",")) {
      j.kind = JoinKind::kComma;
      TABDB_RETURN_IF_ERROR(ParseTableRef(&j.table, true));
      s->joins.push_back(std::move(j));
      continue;
    }
    if (!PeekJoinWord()) return Status::Ok();
    j.natural = AcceptWord("NATURAL");
    if (AcceptWord("CROSS")) {
      if (j.natural) return Err(905);
      j.kind = JoinKind::kCross;
    } else if (AcceptWord("LEFT")) {
      j.kind = JoinKind::kLeft;
      AcceptWord("OUTER");
    } else if (AcceptWord("RIGHT")) {
      j.kind = JoinKind::kRight;
      AcceptWord("OUTER");
    } else if (AcceptWord("FULL")) {
      j.kind = JoinKind::kFull;
      AcceptWord("OUTER");
    } else {
      j.kind = JoinKind::kInner;
      AcceptWord("INNER");
    }
    TABDB_RETURN_IF_ERROR(ExpectWord("JOIN", 905));
    TABDB_RETURN_IF_ERROR(ParseTableRef(&j.table, true));
    if (j.kind != JoinKind::kCross && !j.natural) {
      if (AcceptWord("ON")) {
        TABDB_RETURN_IF_ERROR(ParseCondition(&j.on));
      } else if (AcceptWord("USING")) {
        TABDB_RETURN_IF_ERROR(ParseNameListInParens(&j.using_columns));
      } else {
        // Oracle names the missing ON also at the end of the statement.
        return OraError(ora::kMissingKeyword);
      }
    }
    s->joins.push_back(std::move(j));
  }
}

Status Parser::ParseSubquery(std::shared_ptr<Select>* out) {
  DepthGuard guard(this, 8);
  if (!guard.ok()) return guard.status();
  std::unique_ptr<Select> q;
  TABDB_RETURN_IF_ERROR(ParseSelect(&q, false));
  *out = std::move(q);
  return Status::Ok();
}

Status Parser::ParseRowLimit(Select* s) {
  if (AcceptWord("OFFSET")) {
    TABDB_RETURN_IF_ERROR(ParseExpr(&s->offset));
    if (!AcceptWord("ROWS") && !AcceptWord("ROW")) return Err(905);
  }
  if (AcceptWord("FETCH")) {
    if (!AcceptWord("FIRST") && !AcceptWord("NEXT")) return Err(905);
    TABDB_RETURN_IF_ERROR(ParseExpr(&s->fetch_first));
    if (!AcceptWord("ROWS") && !AcceptWord("ROW")) return Err(905);
    TABDB_RETURN_IF_ERROR(ExpectWord("ONLY", 905));
  }
  return Status::Ok();
}

Status Parser::ParseMoreValues(Insert* ins) {
  while (PeekSym(",") && PeekSym("(", 1)) {
    Next();
    Next();
    std::vector<ExprPtr> row;
    do {
      ExprPtr e;
      TABDB_RETURN_IF_ERROR(ParseExpr(&e));
      row.push_back(std::move(e));
    } while (AcceptSym(","));
    TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
    ins->more_values.push_back(std::move(row));
  }
  return Status::Ok();
}

}  // namespace sql
}  // namespace tabdb

// parse_multi_insert.cpp - INSERT ALL | FIRST: each INTO clause becomes an
// INSERT ... SELECT of its own over the statement's query, filtered by the
// WHEN conditions, which the executor runs in order as one statement.
#include "sql/parser.h"
#include "sql/parser_impl.h"
#include "util/errors.h"

namespace tabdb {
namespace sql {

namespace {

struct IntoClause {
  std::string target;  // [schema.]table [alias] [(columns)] as written
  std::string values;  // the VALUES expressions as written, empty for the query's columns
  int group = -1;      // index of its WHEN condition, -1 for ELSE or no condition
};

}  // namespace

// After INSERT, at ALL or FIRST.
Status Parser::ParseMultiInsert(Statement* st) {
  bool first = AcceptWord("FIRST");
  if (!first) TABDB_RETURN_IF_ERROR(ExpectWord("ALL"));
  std::vector<IntoClause> intos;
  std::vector<std::string> conditions;
  auto parse_into = [&](int group) -> Status {
    TABDB_RETURN_IF_ERROR(ExpectWord("INTO", 925));
    uint32_t begin = Position();
    TableRef ref;
    TABDB_RETURN_IF_ERROR(ParseTableRef(&ref, true));
    if (PeekSym("(")) {
      std::vector<Name> cols;
      TABDB_RETURN_IF_ERROR(ParseNameListInParens(&cols));
    }
    IntoClause c;
    c.target = TextOf({begin, prev_end_});
    c.group = group;
    if (AcceptWord("VALUES")) {
      TABDB_RETURN_IF_ERROR(ExpectSym("(", 906));
      uint32_t vb = Position();
      do {
        ExprPtr e;
        TABDB_RETURN_IF_ERROR(ParseExpr(&e));
      } while (AcceptSym(","));
      c.values = TextOf({vb, prev_end_});
      TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
    }
    intos.push_back(std::move(c));
    return Status::Ok();
  };
  bool conditional = PeekWord("WHEN");
  if (first && !conditional) return Err(905);
  if (conditional) {
    while (AcceptWord("WHEN")) {
      uint32_t cb = Position();
      ExprPtr cond;
      TABDB_RETURN_IF_ERROR(ParseCondition(&cond));
      conditions.push_back(TextOf({cb, prev_end_}));
      TABDB_RETURN_IF_ERROR(ExpectWord("THEN"));
      do {
        TABDB_RETURN_IF_ERROR(parse_into(static_cast<int>(conditions.size()) - 1));
      } while (PeekWord("INTO"));
    }
    if (AcceptWord("ELSE")) {
      do {
        TABDB_RETURN_IF_ERROR(parse_into(-1));
      } while (PeekWord("INTO"));
    }
  } else {
    do {
      TABDB_RETURN_IF_ERROR(parse_into(-1));
    } while (PeekWord("INTO"));
  }
  if (!PeekQueryStart()) return Err(928);
  uint32_t qb = Position();
  std::unique_ptr<Select> query;
  TABDB_RETURN_IF_ERROR(ParseSelect(&query, false));
  std::string query_text = TextOf({qb, prev_end_});

  // Which WHEN a row meets: under FIRST the first that holds (1, 2, ...),
  // under ALL 1 when any holds; 0 when none does (the ELSE rows).
  std::string which = "CASE";
  for (size_t i = 0; i < conditions.size(); ++i)
    which += " WHEN " + conditions[i] + " THEN " + std::to_string(first ? i + 1 : 1);
  which += " ELSE 0 END";
  st->kind = StmtKind::kInsert;
  auto ins = std::make_unique<Insert>();
  for (const IntoClause& c : intos) {
    std::string text = "INSERT INTO " + c.target + " SELECT " + (c.values.empty() ? "*" : c.values) +
                       " FROM (" + query_text + ")";
    if (conditional && c.group >= 0 && !first) text += " WHERE " + conditions[static_cast<size_t>(c.group)];
    else if (conditional && c.group >= 0) text += " WHERE (" + which + ") = " + std::to_string(c.group + 1);
    else if (conditional) text += " WHERE (" + which + ") = 0";
    std::unique_ptr<Statement> part;
    TABDB_RETURN_IF_ERROR(Parse(text, &part));
    ins->parts.push_back(std::shared_ptr<Statement>(std::move(part)));
  }
  st->insert = std::move(ins);
  return Status::Ok();
}

}  // namespace sql
}  // namespace tabdb

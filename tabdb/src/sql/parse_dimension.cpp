// parse_dimension.cpp - CREATE DIMENSION with its LEVEL, HIERARCHY and
// ATTRIBUTE clauses, and DROP DIMENSION, read into one DimensionStmt; the
// catalog checks the names (ddl_dimension.cpp).
#include "sql/parser_impl.h"
#include "util/errors.h"

namespace tabdb {
namespace sql {

namespace {

constexpr int kMissingKeyword = 905;
constexpr int kMissingLeftParen = 906;
constexpr int kMissingRightParen = 907;
constexpr int kNotProperlyEnded = 933;

}  // namespace

// After CREATE DIMENSION or DROP DIMENSION.
Status Parser::ParseDimension(Statement* st, bool drop) {
  st->kind = StmtKind::kDimension;
  auto d = std::make_unique<DimensionStmt>();
  d->drop = drop;
  TABDB_RETURN_IF_ERROR(ParseObjectName(&d->name, 903));
  // [schema.]table.column
  auto column = [this](NameList* out) -> Status {
    out->clear();
    do {
      Name n;
      TABDB_RETURN_IF_ERROR(ParseName(&n));
      out->push_back(std::move(n));
    } while (out->size() < 3 && AcceptSym("."));
    return Status::Ok();
  };
  // column, or ( column [, column]... )
  auto columns = [this, &column](std::vector<NameList>* out) -> Status {
    bool paren = AcceptSym("(");
    do {
      NameList c;
      TABDB_RETURN_IF_ERROR(column(&c));
      out->push_back(std::move(c));
    } while (paren && AcceptSym(","));
    if (paren) TABDB_RETURN_IF_ERROR(ExpectSym(")", kMissingRightParen));
    return Status::Ok();
  };
  // the levels come first: the other clauses name them
  if (!drop && !PeekWord("LEVEL")) return Err(kMissingKeyword);
  while (!drop && !AtEnd() && !PeekSym(";")) {
    if (AcceptWord("LEVEL")) {
      DimensionStmt::Level l;
      TABDB_RETURN_IF_ERROR(ParseName(&l.name));
      TABDB_RETURN_IF_ERROR(ExpectWord("IS", kMissingKeyword));
      TABDB_RETURN_IF_ERROR(columns(&l.columns));
      if (AcceptWord("SKIP")) {
        TABDB_RETURN_IF_ERROR(ExpectWord("WHEN", kMissingKeyword));
        TABDB_RETURN_IF_ERROR(ExpectWord("NULL", kMissingKeyword));
        l.skip_when_null = true;
      }
      d->levels.push_back(std::move(l));
    } else if (AcceptWord("HIERARCHY")) {
      DimensionStmt::Hierarchy h;
      TABDB_RETURN_IF_ERROR(ParseName(&h.name));
      TABDB_RETURN_IF_ERROR(ExpectSym("(", kMissingLeftParen));
      Name child;
      TABDB_RETURN_IF_ERROR(ParseName(&child));
      h.levels.push_back(std::move(child));
      do {
        TABDB_RETURN_IF_ERROR(ExpectWord("CHILD", kMissingKeyword));
        TABDB_RETURN_IF_ERROR(ExpectWord("OF", kMissingKeyword));
        Name parent;
        TABDB_RETURN_IF_ERROR(ParseName(&parent));
        h.levels.push_back(std::move(parent));
      } while (PeekWord("CHILD"));
      while (AcceptWord("JOIN")) {
        TABDB_RETURN_IF_ERROR(ExpectWord("KEY", kMissingKeyword));
        DimensionStmt::JoinKey j;
        TABDB_RETURN_IF_ERROR(columns(&j.columns));
        TABDB_RETURN_IF_ERROR(ExpectWord("REFERENCES", kMissingKeyword));
        TABDB_RETURN_IF_ERROR(ParseName(&j.parent));
        h.joins.push_back(std::move(j));
      }
      TABDB_RETURN_IF_ERROR(ExpectSym(")", kMissingRightParen));
      d->hierarchies.push_back(std::move(h));
    } else if (AcceptWord("ATTRIBUTE")) {
      Name first;
      TABDB_RETURN_IF_ERROR(ParseName(&first));
      if (PeekWord("DETERMINES")) {
        Next();
        DimensionStmt::Attribute a;
        a.level = first;
        TABDB_RETURN_IF_ERROR(columns(&a.columns));
        d->attributes.push_back(std::move(a));
        continue;
      }
      if (!PeekWord("LEVEL")) return Err(kMissingKeyword);
      while (AcceptWord("LEVEL")) {
        DimensionStmt::Attribute a;
        a.name = first;
        TABDB_RETURN_IF_ERROR(ParseName(&a.level));
        TABDB_RETURN_IF_ERROR(ExpectWord("DETERMINES", kMissingKeyword));
        TABDB_RETURN_IF_ERROR(columns(&a.columns));
        d->attributes.push_back(std::move(a));
      }
    } else {
      return Err(kNotProperlyEnded);
    }
  }
  st->dimension = std::move(d);
  return Status::Ok();
}

}  // namespace sql
}  // namespace tabdb

// parse_alter.cpp - identity columns, the column forms of ALTER TABLE (ADD,
// MODIFY, DROP, SET UNUSED, RENAME COLUMN, RENAME TO), RENAME a TO b and
// CREATE TABLE ... AS SELECT.
#include "sql/parser_impl.h"
#include "util/errors.h"

namespace tabdb {
namespace sql {
namespace {

// Words after a column name in MODIFY that are not the start of a type.
bool PeekModifyClause(const Parser& p) {
  static const char* const kWords[] = {"DEFAULT", "NOT",   "NULL",  "CONSTRAINT", "GENERATED",
                                       "PRIMARY", "UNIQUE", "CHECK", "ENABLE",     "DISABLE"};
  for (const char* w : kWords)
    if (p.PeekWord(w)) return true;
  return p.PeekSym(",") || p.PeekSym(")") || p.PeekSym(";") || p.AtEnd();
}

bool PeekColumnConstraint(const Parser& p) {
  return p.PeekWord("CONSTRAINT") || p.PeekWord("NOT") || p.PeekWord("NULL") ||
         p.PeekWord("PRIMARY") || p.PeekWord("UNIQUE") || p.PeekWord("CHECK") ||
         p.PeekWord("REFERENCES");
}

bool PeekTableConstraint(const Parser& p) {
  return p.PeekWord("PRIMARY") || p.PeekWord("UNIQUE") || p.PeekWord("CHECK") ||
         p.PeekWord("FOREIGN") || (p.PeekWord("CONSTRAINT") && p.PeekIsName(1));
}

}  // namespace

// GENERATED [ALWAYS | BY DEFAULT [ON NULL]] AS IDENTITY [( options )], at
// GENERATED (without either word ALWAYS, as Oracle takes it). START WITH
// LIMIT VALUE only when `modify`.
Status Parser::ParseIdentity(ColumnDef* col, bool modify) {
  auto id = std::make_shared<IdentitySpec>();
  TABDB_RETURN_IF_ERROR(ExpectWord("GENERATED"));
  if (AcceptWord("BY")) {
    TABDB_RETURN_IF_ERROR(ExpectWord("DEFAULT"));
    id->kind = IdentitySpec::kByDefault;
    if (AcceptWord("ON")) {
      TABDB_RETURN_IF_ERROR(ExpectWord("NULL"));
      id->kind = IdentitySpec::kByDefaultOnNull;
    }
  } else if (!PeekWord("AS")) {
    TABDB_RETURN_IF_ERROR(ExpectWord("ALWAYS"));
  }
  TABDB_RETURN_IF_ERROR(ExpectWord("AS"));
  TABDB_RETURN_IF_ERROR(ExpectWord("IDENTITY"));
  // Options in parentheses, or without them as DDL text writes them.
  bool parens = AcceptSym("(");
  if (!parens) {
    for (bool matched = true; matched;)
      TABDB_RETURN_IF_ERROR(ParseSequenceOption(&id->options, false, &matched));
  } else {
    while (!AcceptSym(")")) {
      if (modify && PeekWord("START") && PeekWord("WITH", 1) && PeekWord("LIMIT", 2)) {
        Next();
        Next();
        Next();
        TABDB_RETURN_IF_ERROR(ExpectWord("VALUE"));
        id->limit_value = true;
        continue;
      }
      bool matched = false;
      TABDB_RETURN_IF_ERROR(ParseSequenceOption(&id->options, false, &matched));
      if (!matched) return Err(AtEnd() ? 907 : 933);
    }
  }
  col->identity = std::move(id);
  return Status::Ok();
}

// After CREATE TABLE name: [( column names )] AS SELECT ...
Status Parser::ParseCreateTableAs(CreateTable* ct) {
  if (PeekSym("(")) {
    std::vector<Name> names;
    TABDB_RETURN_IF_ERROR(ParseNameListInParens(&names));
    for (Name& n : names) {
      ColumnDef c;
      c.name = std::move(n);
      c.has_type = false;
      ct->columns.push_back(std::move(c));
    }
  }
  TABDB_RETURN_IF_ERROR(ExpectWord("AS"));
  if (!PeekWord("SELECT") && !PeekWord("WITH") && !PeekSym("(")) return Err(928);
  ct->as_select_span.begin = Peek().begin;
  std::unique_ptr<Select> q;
  TABDB_RETURN_IF_ERROR(ParseSelect(&q, false));
  ct->as_select_span.end = prev_end();
  ct->as_select = std::shared_ptr<Select>(std::move(q));
  return Status::Ok();
}

// After ALTER TABLE t ADD: a column definition, or a list in parentheses
// of column definitions and table constraints.
Status Parser::ParseAlterAddItems(AlterTable* at) {
  at->action = AlterAction::kAddItems;
  bool list = AcceptSym("(");
  do {
    AlterItem item;
    if (list && PeekTableConstraint(*this)) {
      item.is_constraint = true;
      TABDB_RETURN_IF_ERROR(ParseConstraintBody(&item.constraint, false));
    } else {
      TABDB_RETURN_IF_ERROR(ParseColumnDef(&item.column));
      item.column.has_default = item.column.default_expr != nullptr;
    }
    at->items.push_back(std::move(item));
  } while (list && AcceptSym(","));
  if (list) TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
  return Status::Ok();
}

// After ALTER TABLE t MODIFY: col [type] [DEFAULT expr] [identity]
// [constraints] | col DROP IDENTITY, alone or as a list in parentheses.
Status Parser::ParseAlterModify(AlterTable* at) {
  at->action = AlterAction::kModifyColumns;
  bool list = AcceptSym("(");
  do {
    AlterItem item;
    ColumnDef& col = item.column;
    TABDB_RETURN_IF_ERROR(ParseName(&col.name));
    col.has_type = false;
    if (AcceptWord("DROP")) {
      TABDB_RETURN_IF_ERROR(ExpectWord("IDENTITY"));
      col.drop_identity = true;
    } else {
      if (!PeekModifyClause(*this)) {
        TABDB_RETURN_IF_ERROR(RefuseUncarriedType());
        TABDB_RETURN_IF_ERROR(ParseDataType(&col.type));
        col.has_type = true;
      }
      if (AcceptWord("DEFAULT")) {
        if (PeekWord("ON") && PeekWord("NULL", 1)) {
          AcceptWord("ON");
          AcceptWord("NULL");
          col.default_on_null = true;
        }
        TABDB_RETURN_IF_ERROR(ParseExpr(&col.default_expr));
        col.default_text = TextOf(col.default_expr->span);
        col.has_default = true;
      }
      if (PeekWord("GENERATED")) TABDB_RETURN_IF_ERROR(ParseIdentity(&col, true));
      while (PeekColumnConstraint(*this)) {
        Constraint c;
        TABDB_RETURN_IF_ERROR(ParseConstraintBody(&c, true));
        col.constraints.push_back(std::move(c));
      }
      // MODIFY with nothing to change.
      if (!col.has_type && !col.has_default && !col.identity && col.constraints.empty())
        return Err(AtEnd() ? 921 : 905);
    }
    at->items.push_back(std::move(item));
  } while (list && AcceptSym(","));
  if (list) TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
  return Status::Ok();
}

// At DROP COLUMN c | DROP (c, ...) | SET UNUSED COLUMN c | SET UNUSED (c,
// ...) | DROP UNUSED COLUMNS, each with [CASCADE CONSTRAINTS].
Status Parser::ParseAlterDropColumns(AlterTable* at) {
  at->action = AlterAction::kDropColumns;
  if (AcceptWord("SET")) {
    TABDB_RETURN_IF_ERROR(ExpectWord("UNUSED"));
  } else {
    TABDB_RETURN_IF_ERROR(ExpectWord("DROP"));
    if (AcceptWord("UNUSED")) {
      // Unused columns are dropped at once here: nothing is left to drop.
      TABDB_RETURN_IF_ERROR(ExpectWord("COLUMNS"));
      return Status::Ok();
    }
  }
  if (AcceptWord("COLUMN")) {
    Name n;
    TABDB_RETURN_IF_ERROR(ParseName(&n));
    at->columns.push_back(std::move(n));
  } else {
    TABDB_RETURN_IF_ERROR(ParseNameListInParens(&at->columns));
  }
  if (AcceptWord("CASCADE")) {
    TABDB_RETURN_IF_ERROR(ExpectWord("CONSTRAINTS"));
    at->cascade_constraints = true;
  }
  if (AcceptWord("CHECKPOINT")) {
    int64_t rows;
    TABDB_RETURN_IF_ERROR(ParseInteger(&rows));
  }
  return Status::Ok();
}

// At RENAME: RENAME COLUMN a TO b | RENAME TO b.
Status Parser::ParseAlterRename(AlterTable* at) {
  TABDB_RETURN_IF_ERROR(ExpectWord("RENAME"));
  if (AcceptWord("COLUMN")) {
    at->action = AlterAction::kRenameColumn;
    Name n;
    TABDB_RETURN_IF_ERROR(ParseName(&n));
    at->columns.push_back(std::move(n));
  } else if (PeekWord("TO")) {
    at->action = AlterAction::kRenameTable;
  } else {
    return Err(ora::kInvalidAlterTableOption);
  }
  TABDB_RETURN_IF_ERROR(ExpectWord("TO"));
  return ParseName(&at->new_name);
}

// RENAME old TO new (a table of the current schema).
Status Parser::ParseRename(Statement* st) {
  Next();  // RENAME
  st->kind = StmtKind::kRename;
  auto r = std::make_unique<RenameStmt>();
  TABDB_RETURN_IF_ERROR(ParseName(&r->from, 903));
  if (PeekSym(".")) return OraError(ora::kRenameQualified);
  TABDB_RETURN_IF_ERROR(ExpectWord("TO"));
  TABDB_RETURN_IF_ERROR(ParseName(&r->to, 903));
  if (PeekSym(".")) return OraError(ora::kRenameQualified);
  st->rename = std::move(r);
  return Status::Ok();
}

}  // namespace sql
}  // namespace tabdb

// parse_alter_cons.cpp - the constraint forms of ALTER TABLE: DROP
// CONSTRAINT / PRIMARY KEY / UNIQUE, RENAME CONSTRAINT, and MODIFY of a
// column's nullability or its inline constraints. (The ADD list, with
// column and constraint items, is one of the column forms.)
#include "sql/parser_impl.h"
#include "util/errors.h"

namespace tabdb {
namespace sql {

namespace {

bool StartsInlineConstraint(const Parser& p) {
  return p.PeekWord("CONSTRAINT") || p.PeekWord("NOT") || p.PeekWord("NULL") ||
         p.PeekWord("PRIMARY") || p.PeekWord("UNIQUE") || p.PeekWord("CHECK") ||
         p.PeekWord("REFERENCES");
}

}  // namespace

Status Parser::ParseAlterConstraintForm(AlterTable* at, bool* matched) {
  *matched = true;
  if (PeekWord("DROP") &&
      (PeekWord("CONSTRAINT", 1) || PeekWord("PRIMARY", 1) || PeekWord("UNIQUE", 1))) {
    Next();
    return ParseAlterDropKey(at);
  }
  if (PeekWord("RENAME") && PeekWord("CONSTRAINT", 1)) {
    Next();
    Next();
    at->constraint_action = AlterTableAction::kRenameConstraint;
    TABDB_RETURN_IF_ERROR(ParseName(&at->constraint));
    TABDB_RETURN_IF_ERROR(ExpectWord("TO"));
    return ParseName(&at->new_name);
  }
  if (PeekWord("MODIFY") && !PeekWord("CONSTRAINT", 1) && !PeekWord("PRIMARY", 1) &&
      !PeekWord("UNIQUE", 1)) {
    // MODIFY (col NOT NULL, ...) / MODIFY col NOT NULL: only when every
    // item changes constraints alone; type and default changes are other
    // forms, read from the same place again.
    auto start = Mark();
    Next();
    bool parens = AcceptSym("(");
    std::vector<NullabilityChange> items;
    do {
      NullabilityChange item;
      bool ok = false;
      TABDB_RETURN_IF_ERROR(ParseNullabilityChange(&item, &ok));
      if (!ok) {
        Reset(start);
        *matched = false;
        return Status::Ok();
      }
      Name column = item.column;
      items.push_back(std::move(item));
      // Several constraints on one column: MODIFY (c NOT NULL UNIQUE).
      while (StartsInlineConstraint(*this)) {
        NullabilityChange more;
        more.column = column;
        TABDB_RETURN_IF_ERROR(ParseConstraintBody(&more.constraint, true));
        items.push_back(std::move(more));
      }
    } while (parens && AcceptSym(","));
    if (parens) TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
    at->constraint_action = AlterTableAction::kModifyNullability;
    at->nullability = std::move(items);
    return Status::Ok();
  }
  *matched = false;
  return Status::Ok();
}

// One MODIFY item: col [CONSTRAINT n] NOT NULL | NULL | PRIMARY KEY | ...
// *matched false when the column is followed by anything else.
Status Parser::ParseNullabilityChange(NullabilityChange* item, bool* matched) {
  *matched = false;
  if (!PeekIsName()) return Status::Ok();
  TABDB_RETURN_IF_ERROR(ParseName(&item->column));
  if (!StartsInlineConstraint(*this)) return Status::Ok();
  *matched = true;
  return ParseConstraintBody(&item->constraint, true);
}

// After DROP: CONSTRAINT n | PRIMARY KEY | UNIQUE (cols), then
// [CASCADE] [KEEP INDEX | DROP INDEX].
Status Parser::ParseAlterDropKey(AlterTable* at) {
  if (AcceptWord("CONSTRAINT")) {
    at->constraint_action = AlterTableAction::kDropConstraint;
    TABDB_RETURN_IF_ERROR(ParseName(&at->constraint));
  } else if (AcceptWord("PRIMARY")) {
    at->constraint_action = AlterTableAction::kDropPrimaryKey;
    TABDB_RETURN_IF_ERROR(ExpectWord("KEY"));
  } else {
    Next();  // UNIQUE
    at->constraint_action = AlterTableAction::kDropUnique;
    TABDB_RETURN_IF_ERROR(ParseNameListInParens(&at->key_columns));
  }
  if (AcceptWord("CASCADE")) at->cascade = true;
  if ((PeekWord("KEEP") || PeekWord("DROP")) && PeekWord("INDEX", 1)) {
    at->keep_index = Next().text == "KEEP" ? 1 : 0;
    Next();
  }
  return Status::Ok();
}

}  // namespace sql
}  // namespace tabdb

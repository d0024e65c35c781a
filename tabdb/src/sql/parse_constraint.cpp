// parse_constraint.cpp - foreign keys (inline REFERENCES and out-of-line
// FOREIGN KEY), the deferral states of any constraint, ALTER TABLE ...
// MODIFY / ENABLE / DISABLE CONSTRAINT and SET CONSTRAINTS.
#include "sql/parser_impl.h"
#include "util/errors.h"

namespace tabdb {
namespace sql {

// After [CONSTRAINT n]: FOREIGN KEY (cols) REFERENCES [schema.]t [(cols)]
// [ON DELETE CASCADE | SET NULL], or inline REFERENCES ... for one column.
Status Parser::ParseForeignKey(Constraint* c, bool inline_form) {
  c->kind = ConstraintKind::kForeignKey;
  if (AcceptWord("FOREIGN")) {
    if (inline_form) return Err(905);
    TABDB_RETURN_IF_ERROR(ExpectWord("KEY"));
    TABDB_RETURN_IF_ERROR(ParseNameListInParens(&c->columns));
  } else if (!inline_form) {
    return Err(905);
  }
  TABDB_RETURN_IF_ERROR(ExpectWord("REFERENCES"));
  TABDB_RETURN_IF_ERROR(ParseObjectName(&c->ref_table, 903));
  if (PeekSym("(")) TABDB_RETURN_IF_ERROR(ParseNameListInParens(&c->ref_columns));
  if (AcceptWord("ON")) {
    TABDB_RETURN_IF_ERROR(ExpectWord("DELETE"));
    if (AcceptWord("CASCADE")) {
      c->delete_rule = "CASCADE";
    } else if (AcceptWord("SET")) {
      TABDB_RETURN_IF_ERROR(ExpectWord("NULL"));
      c->delete_rule = "SET NULL";
    } else {
      return Err(905);
    }
  }
  return Status::Ok();
}

// DEFERRABLE, NOT DEFERRABLE, INITIALLY DEFERRED|IMMEDIATE, RELY, NORELY.
Status Parser::ParseDeferralState(Constraint* c, bool* matched) {
  *matched = true;
  if (AcceptWord("DEFERRABLE")) {
    c->deferrable = 1;
  } else if (PeekWord("NOT") && PeekWord("DEFERRABLE", 1)) {
    Next();
    Next();
    c->deferrable = 0;
  } else if (AcceptWord("INITIALLY")) {
    if (AcceptWord("DEFERRED")) {
      c->initially_deferred = 1;
    } else if (AcceptWord("IMMEDIATE")) {
      c->initially_deferred = 0;
    } else {
      return Err(905);
    }
  } else if (AcceptWord("RELY") || AcceptWord("NORELY")) {
    // The optimizer hint has no effect here.
  } else {
    *matched = false;
  }
  return Status::Ok();
}

// After ALTER TABLE t: MODIFY CONSTRAINT n <states>, or ENABLE|DISABLE
// [VALIDATE|NOVALIDATE] CONSTRAINT n | PRIMARY KEY | UNIQUE (cols)
// [USING INDEX ...] [CASCADE] [KEEP|DROP INDEX].
Status Parser::ParseConstraintStateChange(AlterTable* at) {
  at->has_state_change = true;
  ConstraintStateChange& ch = at->state_change;
  Constraint& c = ch.state;
  if (AcceptWord("MODIFY")) {
    ch.modify = true;
  } else {
    c.enable = Next().text == "ENABLE";
    c.enable_given = true;
    if (AcceptWord("VALIDATE")) {
      c.validate = 1;
    } else if (AcceptWord("NOVALIDATE")) {
      c.validate = 0;
    }
  }
  if (AcceptWord("CONSTRAINT")) {
    TABDB_RETURN_IF_ERROR(ParseName(&ch.name));
  } else if (!ch.modify && AcceptWord("PRIMARY")) {
    TABDB_RETURN_IF_ERROR(ExpectWord("KEY"));
    ch.target = ConstraintStateChange::kPrimaryKey;
  } else if (!ch.modify && AcceptWord("UNIQUE")) {
    ch.target = ConstraintStateChange::kUnique;
    TABDB_RETURN_IF_ERROR(ParseNameListInParens(&ch.columns));
  } else {
    return Err(1735);
  }
  if (ch.modify) {
    c.kind = ConstraintKind::kCheck;  // no USING INDEX
    size_t before = pos_;
    TABDB_RETURN_IF_ERROR(ParseConstraintState(&c));
    if (pos_ == before) return Err(1735);
  }
  while (!AtEnd()) {
    if (AcceptWord("CASCADE")) {
      ch.cascade = true;
    } else if (PeekWord("KEEP") || PeekWord("DROP")) {
      ch.keep_index = Next().text == "KEEP" ? 1 : 0;
      TABDB_RETURN_IF_ERROR(ExpectWord("INDEX"));
    } else if (PeekWord("USING") && PeekWord("INDEX", 1)) {
      Next();
      Next();
      TABDB_RETURN_IF_ERROR(ParseUsingIndex(&c));
    } else {
      bool matched = false;
      TABDB_RETURN_IF_ERROR(ParseDeferralState(&c, &matched));
      if (!matched) return Err(1735);
    }
  }
  return Status::Ok();
}

// SET CONSTRAINT[S] ALL | [schema.]name[, ...] IMMEDIATE | DEFERRED
Status Parser::ParseSetConstraints(Statement* st) {
  Next();  // SET
  Next();  // CONSTRAINT[S]
  st->kind = StmtKind::kSetConstraints;
  auto sc = std::make_unique<SetConstraints>();
  if (AcceptWord("ALL")) {
    sc->all = true;
  } else {
    do {
      NameList n;
      TABDB_RETURN_IF_ERROR(ParseObjectName(&n, 2448));
      sc->names.push_back(std::move(n));
    } while (AcceptSym(","));
  }
  if (AcceptWord("DEFERRED")) {
    sc->deferred = true;
  } else if (!AcceptWord("IMMEDIATE")) {
    return Err(905);
  }
  st->set_constraints = std::move(sc);
  return Status::Ok();
}

}  // namespace sql
}  // namespace tabdb

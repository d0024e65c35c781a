// parse_view.cpp - CREATE [OR REPLACE] VIEW, CREATE [PUBLIC] SYNONYM and
// their DROP statements.
//
// A view keeps its query as the text written after AS (the dictionary and
// DBMS_METADATA give it back unchanged); the query is parsed here too, so
// that a syntax error fails the CREATE as in Oracle.
#include "sql/parser_impl.h"
#include "util/errors.h"

namespace tabdb {
namespace sql {

bool Parser::PeekViewOrSynonym() const {
  // The words that may come between CREATE and VIEW / SYNONYM.
  for (size_t k = 0; k < 8; ++k) {
    if (PeekWord("VIEW", k) || PeekWord("SYNONYM", k)) return true;
    if (!(PeekWord("OR", k) || PeekWord("REPLACE", k) || PeekWord("NO", k) || PeekWord("FORCE", k) ||
          PeekWord("EDITIONABLE", k) || PeekWord("NONEDITIONABLE", k) || PeekWord("PUBLIC", k)))
      return false;
  }
  return false;
}

Status Parser::ParseCreateViewOrSynonym(Statement* st) {
  bool or_replace = false;
  if (AcceptWord("OR")) {
    TABDB_RETURN_IF_ERROR(ExpectWord("REPLACE", 922));
    or_replace = true;
  }
  bool force = false, no_force = false;
  if (AcceptWord("NO")) {
    TABDB_RETURN_IF_ERROR(ExpectWord("FORCE", 922));
    no_force = true;
  } else if (AcceptWord("FORCE")) {
    force = true;
  }
  int editionable = -1;
  if (AcceptWord("EDITIONABLE")) editionable = 1;
  else if (AcceptWord("NONEDITIONABLE")) editionable = 0;

  if (!force && !no_force && (PeekWord("PUBLIC") || PeekWord("SYNONYM"))) {
    auto syn = std::make_unique<SynonymStmt>();
    syn->or_replace = or_replace;
    syn->is_public = AcceptWord("PUBLIC");
    TABDB_RETURN_IF_ERROR(ExpectWord("SYNONYM", 901));
    st->kind = StmtKind::kCreateSynonym;
    TABDB_RETURN_IF_ERROR(ParseObjectName(&syn->name, 903));
    TABDB_RETURN_IF_ERROR(ExpectWord("FOR"));
    TABDB_RETURN_IF_ERROR(ParseObjectName(&syn->target, 903));
    if (AcceptSym("@")) {
      Name link;
      TABDB_RETURN_IF_ERROR(ParseName(&link, 903));
      syn->db_link = link.text;
      // Qualified link names (link.domain) are read as one name.
      while (AcceptSym(".")) {
        TABDB_RETURN_IF_ERROR(ParseName(&link, 903));
        syn->db_link += "." + link.text;
      }
    }
    st->synonym = std::move(syn);
    return Status::Ok();
  }

  TABDB_RETURN_IF_ERROR(ExpectWord("VIEW", 901));
  st->kind = StmtKind::kCreateView;
  auto v = std::make_unique<ViewStmt>();
  v->or_replace = or_replace;
  v->force = force;
  v->editionable = editionable;
  TABDB_RETURN_IF_ERROR(ParseObjectName(&v->name, 903));
  if (PeekSym("(")) TABDB_RETURN_IF_ERROR(ParseNameListInParens(&v->columns));
  TABDB_RETURN_IF_ERROR(ExpectWord("AS"));
  // The query may be parenthesised as a whole or branch by branch
  // ((SELECT ...) UNION ALL (SELECT ...)); one wholly in parentheses is
  // kept without them.
  uint32_t begin = Position();
  std::unique_ptr<Select> q;
  TABDB_RETURN_IF_ERROR(ParseSelect(&q, false));
  uint32_t end = prev_end();
  std::string_view qt = text().substr(begin, end - begin);
  if (q->branches.empty() && qt.size() >= 2 && qt.front() == '(' && qt.back() == ')') {
    qt = qt.substr(1, qt.size() - 2);
    while (!qt.empty() && isspace(static_cast<unsigned char>(qt.front()))) qt.remove_prefix(1);
    while (!qt.empty() && isspace(static_cast<unsigned char>(qt.back()))) qt.remove_suffix(1);
  }
  v->query_text = std::string(qt);
  v->query = std::move(q);
  if (AcceptWord("WITH")) {
    if (AcceptWord("READ")) {
      TABDB_RETURN_IF_ERROR(ExpectWord("ONLY"));
      v->read_only = true;
    } else {
      TABDB_RETURN_IF_ERROR(ExpectWord("CHECK"));
      TABDB_RETURN_IF_ERROR(ExpectWord("OPTION"));
      v->check_option = true;
    }
    if (AcceptWord("CONSTRAINT")) {
      TABDB_RETURN_IF_ERROR(ParseName(&v->constraint));
      v->has_constraint = true;
    }
  }
  st->view = std::move(v);
  return Status::Ok();
}

bool Parser::PeekDropViewOrSynonym() const {
  return PeekWord("VIEW") || PeekWord("SYNONYM") || (PeekWord("PUBLIC") && PeekWord("SYNONYM", 1));
}

Status Parser::ParseDropViewOrSynonym(Statement* st) {
  if (AcceptWord("VIEW")) {
    st->kind = StmtKind::kDropView;
    auto v = std::make_unique<ViewStmt>();
    TABDB_RETURN_IF_ERROR(ParseObjectName(&v->name, 903));
    if (AcceptWord("CASCADE")) {
      TABDB_RETURN_IF_ERROR(ExpectWord("CONSTRAINTS"));
      v->cascade = true;
    }
    st->view = std::move(v);
    return Status::Ok();
  }
  st->kind = StmtKind::kDropSynonym;
  auto syn = std::make_unique<SynonymStmt>();
  syn->is_public = AcceptWord("PUBLIC");
  TABDB_RETURN_IF_ERROR(ExpectWord("SYNONYM", 950));
  TABDB_RETURN_IF_ERROR(ParseObjectName(&syn->name, 903));
  syn->force = AcceptWord("FORCE");
  st->synonym = std::move(syn);
  return Status::Ok();
}

Status Parser::ParseAlterView(Statement* st) {
  st->kind = StmtKind::kAlterView;
  auto v = std::make_unique<ViewStmt>();
  TABDB_RETURN_IF_ERROR(ParseObjectName(&v->name, 903));
  if (!AcceptWord("COMPILE")) {
    // ADD / MODIFY / DROP CONSTRAINT, READ ONLY / READ WRITE, EDITIONABLE.
    if (PeekWord("ADD") || PeekWord("MODIFY") || PeekWord("DROP") || PeekWord("READ") ||
        PeekWord("EDITIONABLE") || PeekWord("NONEDITIONABLE"))
      return OraError(ora::kUnimplemented);
    return Err(922);
  }
  st->view = std::move(v);
  return Status::Ok();
}

}  // namespace sql
}  // namespace tabdb

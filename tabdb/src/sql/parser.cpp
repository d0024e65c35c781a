// parser.cpp - statement entry points: queries, DML, users and privileges,
// transactions, ALTER SESSION and the PL/SQL call blocks.
//
// DDL for tables and indexes is in parse_ddl.cpp, expressions and types in
// parse_expr.cpp.
#include "sql/parser.h"

#include "sql/parser_impl.h"
#include "sql/plsql_parser.h"
#include "util/errors.h"

namespace tabdb {
namespace sql {

namespace {

bool StartsPlsql(const std::vector<Token>& toks) {
  return !toks.empty() && (Parser::IsWord(toks[0], "BEGIN") || Parser::IsWord(toks[0], "DECLARE"));
}

}  // namespace

// ---- token helpers ------------------------------------------------------------

bool Parser::AcceptWord(const char* w) {
  if (!PeekWord(w)) return false;
  Next();
  return true;
}

bool Parser::AcceptSym(const char* s) {
  if (!PeekSym(s)) return false;
  Next();
  return true;
}

Status Parser::ExpectWord(const char* w, int code) {
  if (AcceptWord(w)) return Status::Ok();
  return Err(code);
}

Status Parser::ExpectSym(const char* s, int code) {
  if (AcceptSym(s)) return Status::Ok();
  return Err(code);
}

Status Parser::Err(int code, std::initializer_list<std::string> args) const {
  const Token& t = Peek();
  if (!plsql_ && IsSym(t, ";")) return OraError(ora::kInvalidCharacter);
  if (code == 905 && t.kind == TokenKind::kEnd) return OraError(ora::kUnexpectedEnd);
  return OraError(code, args);
}

bool Parser::PeekIsName(size_t k) const {
  const Token& t = Peek(k);
  return t.kind == TokenKind::kQuotedIdent ||
         (t.kind == TokenKind::kIdent && !IsReservedWord(t.text));
}

Status Parser::ParseName(Name* out, int code) {
  const Token& t = Peek();
  if (!PeekIsName()) {
    if (code == ora::kInvalidIdentifier) return Err(code, {""});
    return Err(code);
  }
  out->text = t.text;
  out->quoted = t.kind == TokenKind::kQuotedIdent;
  Next();
  return Status::Ok();
}

Status Parser::ParseObjectName(NameList* out, int code) {
  out->clear();
  Name n;
  TABDB_RETURN_IF_ERROR(ParseName(&n, code));
  out->push_back(n);
  if (AcceptSym(".")) {
    TABDB_RETURN_IF_ERROR(ParseName(&n, code));
    out->push_back(n);
  }
  return Status::Ok();
}

Status Parser::ParseNameListInParens(std::vector<Name>* out) {
  TABDB_RETURN_IF_ERROR(ExpectSym("(", 906));
  do {
    Name n;
    TABDB_RETURN_IF_ERROR(ParseName(&n));
    out->push_back(std::move(n));
  } while (AcceptSym(","));
  return ExpectSym(")", 907);
}

Status Parser::ExpectSqlEnd() {
  if (AtEnd()) return Status::Ok();
  return Err(ora::kNotProperlyEnded);
}

// ---- dispatch -------------------------------------------------------------

Status Parser::ParseStatement(Statement* st) {
  if (StartsPlsql(toks_)) {
    plsql_ = true;
    return ParsePlsql(st);
  }
  const Token& t = Peek();
  if (PeekQueryStart()) {
    st->kind = StmtKind::kSelect;
    TABDB_RETURN_IF_ERROR(ParseSelect(&st->select, true));
    return ExpectSqlEnd();
  }
  if (t.kind != TokenKind::kIdent) return Err(ora::kInvalidSqlStatement);
  const std::string& w = t.text;
  if (w == "SELECT") {
    st->kind = StmtKind::kSelect;
    TABDB_RETURN_IF_ERROR(ParseSelect(&st->select, true));
  } else if (w == "INSERT") {
    TABDB_RETURN_IF_ERROR(ParseInsert(st));
  } else if (w == "UPDATE") {
    TABDB_RETURN_IF_ERROR(ParseUpdate(st));
  } else if (w == "DELETE") {
    TABDB_RETURN_IF_ERROR(ParseDelete(st));
  } else if (w == "CREATE") {
    TABDB_RETURN_IF_ERROR(ParseCreate(st));
  } else if (w == "ALTER") {
    TABDB_RETURN_IF_ERROR(ParseAlter(st));
  } else if (w == "DROP") {
    TABDB_RETURN_IF_ERROR(ParseDrop(st));
  } else if (w == "TRUNCATE") {
    TABDB_RETURN_IF_ERROR(ParseTruncate(st));
  } else if (w == "LOCK") {
    TABDB_RETURN_IF_ERROR(ParseLockTable(st));
  } else if (w == "RENAME") {
    TABDB_RETURN_IF_ERROR(ParseRename(st));
  } else if (w == "GRANT" || w == "REVOKE") {
    TABDB_RETURN_IF_ERROR(ParseGrant(st, w == "GRANT"));
  } else if (w == "COMMENT") {
    TABDB_RETURN_IF_ERROR(ParseComment(st));
  } else if (w == "SET" && (PeekWord("CONSTRAINT", 1) || PeekWord("CONSTRAINTS", 1))) {
    TABDB_RETURN_IF_ERROR(ParseSetConstraints(st));
  } else if (w == "SET" && PeekWord("TRANSACTION", 1)) {
    TABDB_RETURN_IF_ERROR(ParseSetTransaction(st));
  } else if (w == "COMMIT") {
    Next();
    st->kind = StmtKind::kCommit;
    AcceptWord("WORK");
  } else if (w == "ROLLBACK") {
    Next();
    st->kind = StmtKind::kRollback;
    AcceptWord("WORK");
    if (PeekWord("TO")) return Unimplemented("ROLLBACK TO SAVEPOINT");  // savepoints are not kept
  } else {
    TABDB_RETURN_IF_ERROR(RefuseUncarriedStatement(""));
    return Err(ora::kInvalidSqlStatement);
  }
  return ExpectSqlEnd();
}

Status Parser::ParseWholeExpression(ExprPtr* out) {
  TABDB_RETURN_IF_ERROR(ParseCondition(out));
  return ExpectSqlEnd();
}

Status Parser::ParseWholeType(TypeDesc* out) {
  TABDB_RETURN_IF_ERROR(ParseDataType(out));
  return ExpectSqlEnd();
}

// ---- SELECT ------------------------------------------------------------------

Status Parser::ParseSelectItem(SelectItem* item) {
  uint32_t begin = Peek().begin;
  if (AcceptSym("*")) {
    item->star = true;
  } else if (PeekIsName() && PeekSym(".", 1) && PeekSym("*", 2)) {
    item->star = true;
    item->star_qualifier.push_back(Name{Peek().text, Peek().kind == TokenKind::kQuotedIdent});
    Next();
    Next();
    Next();
  } else if (PeekIsName() && PeekSym(".", 1) && PeekIsName(2) && PeekSym(".", 3) &&
             PeekSym("*", 4)) {
    item->star = true;
    for (int i = 0; i < 2; ++i) {
      item->star_qualifier.push_back(Name{Peek().text, Peek().kind == TokenKind::kQuotedIdent});
      Next();
      Next();
    }
    Next();
  } else {
    TABDB_RETURN_IF_ERROR(ParseExpr(&item->expr));
    item->span = item->expr->span;
    if (AcceptWord("AS")) {
      TABDB_RETURN_IF_ERROR(ParseName(&item->alias, 923));
      item->has_alias = true;
    } else if (PeekIsName()) {
      TABDB_RETURN_IF_ERROR(ParseName(&item->alias));
      item->has_alias = true;
    }
    return Status::Ok();
  }
  item->span.begin = begin;
  item->span.end = prev_end_;
  return Status::Ok();
}

Status Parser::ParseTableRef(TableRef* out, bool allow_alias) {
  if (allow_alias && PeekSym("(") && PeekQueryStart(1)) {
    Next();
    TABDB_RETURN_IF_ERROR(ParseSubquery(&out->subquery));
    TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
  } else {
    TABDB_RETURN_IF_ERROR(ParseObjectName(&out->name, 903));
    TABDB_RETURN_IF_ERROR(ParseTableRefPartition(out));
    // A flashback query per table reference: the session reads one
    // snapshot for all its tables (DBMS_FLASHBACK), not one per table.
    if (PeekWord("AS") && PeekWord("OF", 1) && (PeekWord("SCN", 2) || PeekWord("TIMESTAMP", 2)))
      return Unimplemented("AS OF " + Peek(2).text);
  }
  if (allow_alias && PeekIsName() && !PeekTableRefEnd()) {
    TABDB_RETURN_IF_ERROR(ParseName(&out->alias));
    out->has_alias = true;
  }
  return Status::Ok();
}

// SELECT ... [HAVING ...]: one query block, without what may follow it
// (set operators, ORDER BY, row limits: parse_query.cpp).
Status Parser::ParseQueryBlock(std::unique_ptr<Select>* out) {
  TABDB_RETURN_IF_ERROR(ExpectWord("SELECT", 928));
  auto s = std::make_unique<Select>();
  if (AcceptWord("DISTINCT") || AcceptWord("UNIQUE")) {
    s->distinct = true;
  } else {
    AcceptWord("ALL");
  }
  do {
    SelectItem item;
    TABDB_RETURN_IF_ERROR(ParseSelectItem(&item));
    // A bare * stands alone in the select list.
    bool bare_star = item.star && item.star_qualifier.empty();
    if (bare_star && !s->items.empty()) return OraError(ora::kMissingExpression);
    s->items.push_back(std::move(item));
    if (bare_star && PeekSym(",")) return Err(923);
  } while (AcceptSym(","));
  if (!AcceptWord("FROM")) return Err(923);
  TABDB_RETURN_IF_ERROR(ParseTableRef(&s->from, true));
  TABDB_RETURN_IF_ERROR(ParseJoins(s.get()));
  if (AcceptWord("WHERE")) TABDB_RETURN_IF_ERROR(ParseCondition(&s->where));
  if (AcceptWord("CONNECT")) {
    TABDB_RETURN_IF_ERROR(ExpectWord("BY", 924));
    TABDB_RETURN_IF_ERROR(ParseCondition(&s->connect_by));
  }
  if (AcceptWord("GROUP")) {
    TABDB_RETURN_IF_ERROR(ExpectWord("BY", 924));
    do {
      ExprPtr e;
      TABDB_RETURN_IF_ERROR(ParseExpr(&e));
      s->group_by.push_back(std::move(e));
    } while (AcceptSym(","));
  }
  if (AcceptWord("HAVING")) TABDB_RETURN_IF_ERROR(ParseCondition(&s->having));
  *out = std::move(s);
  return Status::Ok();
}

// ---- DML ---------------------------------------------------------------------

Status Parser::ParseInsert(Statement* st) {
  Next();
  st->kind = StmtKind::kInsert;
  if (PeekWord("ALL") || PeekWord("FIRST")) return ParseMultiInsert(st);
  auto ins = std::make_unique<Insert>();
  TABDB_RETURN_IF_ERROR(ExpectWord("INTO", 925));
  TABDB_RETURN_IF_ERROR(ParseTableRef(&ins->table, true));
  if (PeekSym("(") && !PeekQueryStart()) TABDB_RETURN_IF_ERROR(ParseNameListInParens(&ins->columns));
  if (AcceptWord("VALUES")) {
    TABDB_RETURN_IF_ERROR(ExpectSym("(", 906));
    do {
      ExprPtr e;
      TABDB_RETURN_IF_ERROR(ParseExpr(&e));
      ins->values.push_back(std::move(e));
    } while (AcceptSym(","));
    TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
    TABDB_RETURN_IF_ERROR(ParseMoreValues(ins.get()));
  } else if (PeekQueryStart()) {
    TABDB_RETURN_IF_ERROR(ParseSelect(&ins->select, false));
  } else {
    return Err(926);
  }
  if (AcceptWord("RETURNING") || AcceptWord("RETURN")) {
    do {
      ExprPtr e;
      TABDB_RETURN_IF_ERROR(ParseExpr(&e));
      ins->returning.push_back(std::move(e));
    } while (AcceptSym(","));
    TABDB_RETURN_IF_ERROR(ExpectWord("INTO", 925));
    do {
      if (Peek().kind != TokenKind::kBind) return Err(1744);
      ExprPtr e;
      TABDB_RETURN_IF_ERROR(ParsePrimary(&e));
      ins->into.push_back(std::move(e));
    } while (AcceptSym(","));
    if (ins->into.size() < ins->returning.size()) return OraError(ora::kNotEnoughValues);
    if (ins->into.size() > ins->returning.size()) return OraError(ora::kTooManyValues);
  }
  st->insert = std::move(ins);
  return Status::Ok();
}

Status Parser::ParseUpdate(Statement* st) {
  Next();
  st->kind = StmtKind::kUpdate;
  auto up = std::make_unique<Update>();
  TABDB_RETURN_IF_ERROR(ParseTableRef(&up->table, true));
  TABDB_RETURN_IF_ERROR(ExpectWord("SET", 971));
  do {
    Assignment a;
    TABDB_RETURN_IF_ERROR(ParseName(&a.column));
    if (PeekSym(".")) {
      // alias.column: the qualifier must name the table being updated.
      Name qualifier = a.column;
      Next();
      TABDB_RETURN_IF_ERROR(ParseName(&a.column));
      const Name& own = up->table.has_alias ? up->table.alias : up->table.name.back();
      if (qualifier.text != own.text)
        return OraError(ora::kInvalidIdentifier,
                        {"\"" + qualifier.text + "\".\"" + a.column.text + "\""});
    }
    TABDB_RETURN_IF_ERROR(ExpectSym("=", 927));
    TABDB_RETURN_IF_ERROR(ParseExpr(&a.value));
    up->sets.push_back(std::move(a));
  } while (AcceptSym(","));
  if (AcceptWord("WHERE")) TABDB_RETURN_IF_ERROR(ParseCondition(&up->where));
  st->update = std::move(up);
  return Status::Ok();
}

Status Parser::ParseDelete(Statement* st) {
  Next();
  st->kind = StmtKind::kDelete;
  auto del = std::make_unique<Delete>();
  AcceptWord("FROM");
  TABDB_RETURN_IF_ERROR(ParseTableRef(&del->table, true));
  if (AcceptWord("WHERE")) TABDB_RETURN_IF_ERROR(ParseCondition(&del->where));
  st->del = std::move(del);
  return Status::Ok();
}

// ---- CREATE / ALTER / DROP / TRUNCATE -----------------------------------------

Status Parser::ParseCreate(Statement* st) {
  Next();
  if (PeekViewOrSynonym()) return ParseCreateViewOrSynonym(st);
  if (AcceptWord("TABLE")) return ParseCreateTable(st);
  if (PeekWord("GLOBAL") && PeekWord("TEMPORARY", 1) && PeekWord("TABLE", 2)) {
    Next();
    Next();
    Next();
    TABDB_RETURN_IF_ERROR(ParseCreateTable(st));
    if (st->create_table->temporary.empty()) st->create_table->temporary = "DELETE";
    return Status::Ok();
  }
  if (AcceptWord("USER")) return ParseUser(st, true);
  if (AcceptWord("SEQUENCE")) return ParseSequence(st, StmtKind::kCreateSequence);
  bool unique = AcceptWord("UNIQUE");
  bool bitmap = !unique && AcceptWord("BITMAP");
  if (AcceptWord("INDEX")) return ParseCreateIndex(st, unique, bitmap);
  if (!unique && !bitmap && PeekWord("MATERIALIZED") && PeekWord("VIEW", 1)) return ParseCreateMview(st);
  if (!unique && !bitmap && AcceptWord("DIMENSION")) return ParseDimension(st, false);
  // Materialized views and their logs, clusters, database links, ... are not carried.
  if (!unique && !bitmap) TABDB_RETURN_IF_ERROR(RefuseUncarriedStatement("CREATE"));
  return Err(901);
}

Status Parser::ParseAlter(Statement* st) {
  Next();
  if (AcceptWord("TABLE")) return ParseAlterTable(st);
  if (AcceptWord("SESSION")) return ParseAlterSession(st);
  if (PeekWord("SYSTEM") && PeekWord("KILL", 1)) return ParseKillSession(st);
  if (AcceptWord("USER")) return ParseUser(st, false);
  if (AcceptWord("SEQUENCE")) return ParseSequence(st, StmtKind::kAlterSequence);
  if (AcceptWord("VIEW")) return ParseAlterView(st);
  TABDB_RETURN_IF_ERROR(RefuseUncarriedStatement("ALTER"));
  return Err(940);
}

Status Parser::ParseDrop(Statement* st) {
  Next();
  if (AcceptWord("SEQUENCE")) return ParseSequence(st, StmtKind::kDropSequence);
  if (PeekDropViewOrSynonym()) return ParseDropViewOrSynonym(st);
  if (PeekWord("MATERIALIZED") && PeekWord("VIEW", 1)) return ParseDropMview(st);
  if (AcceptWord("DIMENSION")) return ParseDimension(st, true);
  auto d = std::make_unique<DropObject>();
  if (AcceptWord("TABLE")) {
    st->kind = StmtKind::kDropTable;
    TABDB_RETURN_IF_ERROR(ParseObjectName(&d->name, 903));
    if (AcceptWord("CASCADE")) {
      TABDB_RETURN_IF_ERROR(ExpectWord("CONSTRAINTS"));
      d->cascade = true;
    }
    d->purge = AcceptWord("PURGE");
  } else if (AcceptWord("INDEX")) {
    st->kind = StmtKind::kDropIndex;
    TABDB_RETURN_IF_ERROR(ParseObjectName(&d->name, 953));
  } else if (AcceptWord("USER")) {
    st->kind = StmtKind::kDropUser;
    Name n;
    TABDB_RETURN_IF_ERROR(ParseName(&n, 1935));
    d->name.push_back(std::move(n));
    d->cascade = AcceptWord("CASCADE");
  } else {
    TABDB_RETURN_IF_ERROR(RefuseUncarriedStatement("DROP"));
    return Err(950);
  }
  st->drop = std::move(d);
  return Status::Ok();
}

Status Parser::ParseTruncate(Statement* st) {
  Next();
  if (!AcceptWord("TABLE")) return Err(3290);
  st->kind = StmtKind::kTruncateTable;
  auto d = std::make_unique<DropObject>();
  TABDB_RETURN_IF_ERROR(ParseObjectName(&d->name, 903));
  st->drop = std::move(d);
  return Status::Ok();
}

// ---- users and privileges ----------------------------------------------------------

Status Parser::ParseTablespaceName(std::string* out) {
  Name n;
  TABDB_RETURN_IF_ERROR(ParseName(&n, 2216));
  *out = n.text;
  return Status::Ok();
}

Status Parser::ParseUser(Statement* st, bool create) {
  st->kind = create ? StmtKind::kCreateUser : StmtKind::kAlterUser;
  auto u = std::make_unique<UserStmt>();
  TABDB_RETURN_IF_ERROR(ParseName(&u->user, 1935));
  u->has_password = false;
  if (create || PeekWord("IDENTIFIED")) {
    TABDB_RETURN_IF_ERROR(ExpectWord("IDENTIFIED"));
    TABDB_RETURN_IF_ERROR(ExpectWord("BY"));
    const Token& pw = Peek();
    if (pw.kind == TokenKind::kQuotedIdent) {
      u->password = pw.text;
    } else if (pw.kind == TokenKind::kIdent) {
      // Passwords are case-sensitive: keep the case as typed.
      u->password = std::string(text_.substr(pw.begin, pw.end - pw.begin));
    } else {
      return Err(988);
    }
    Next();
    u->has_password = true;
  }
  bool any = u->has_password;
  while (true) {
    if (AcceptWord("DEFAULT")) {
      TABDB_RETURN_IF_ERROR(ExpectWord("TABLESPACE"));
      TABDB_RETURN_IF_ERROR(ParseTablespaceName(&u->default_tablespace));
    } else if (AcceptWord("TEMPORARY")) {
      TABDB_RETURN_IF_ERROR(ExpectWord("TABLESPACE"));
      TABDB_RETURN_IF_ERROR(ParseTablespaceName(&u->temporary_tablespace));
    } else if (AcceptWord("QUOTA")) {
      UserQuota q;
      if (AcceptWord("UNLIMITED")) {
        q.unlimited = true;
      } else {
        TABDB_RETURN_IF_ERROR(ParseSize(&q.bytes));
      }
      TABDB_RETURN_IF_ERROR(ExpectWord("ON"));
      TABDB_RETURN_IF_ERROR(ParseTablespaceName(&q.tablespace));
      u->quotas.push_back(std::move(q));
    } else if (AcceptWord("ACCOUNT")) {
      if (AcceptWord("LOCK"))
        u->account_locked = 1;
      else if (AcceptWord("UNLOCK"))
        u->account_locked = 0;
      else
        return Err(922);
    } else {
      break;
    }
    any = true;
  }
  if (!any) return Err(922);
  st->user = std::move(u);
  return Status::Ok();
}

Status Parser::ParseGrant(Statement* st, bool grant) {
  Next();
  st->kind = grant ? StmtKind::kGrant : StmtKind::kRevoke;
  auto g = std::make_unique<Grant>();
  const char* to = grant ? "TO" : "FROM";
  do {
    std::string priv;
    while (Peek().kind == TokenKind::kIdent && !PeekWord(to) && !PeekWord("ON")) {
      if (!priv.empty()) priv += ' ';
      priv += Next().text;
    }
    if (priv.empty()) return Err(990);
    g->privileges.push_back(std::move(priv));
  } while (AcceptSym(","));
  if (AcceptWord("ON")) {
    // ON DIRECTORY / JAVA SOURCE ... name objects the database does not have.
    if (PeekWord("DIRECTORY") || PeekWord("JAVA") || PeekWord("USER") || PeekWord("EDITION") ||
        PeekWord("MINING"))
      return Unimplemented("GRANT ON " + Peek().text);
    TABDB_RETURN_IF_ERROR(ParseObjectName(&g->object, 903));
  } else if (PeekSym("(")) {
    return Unimplemented("column privileges");  // not kept
  }
  TABDB_RETURN_IF_ERROR(ExpectWord(to));
  do {
    Name n;
    if (AcceptWord("PUBLIC")) {
      n.text = "PUBLIC";
    } else {
      TABDB_RETURN_IF_ERROR(ParseName(&n, 1935));
    }
    g->grantees.push_back(std::move(n));
  } while (AcceptSym(","));
  if (grant && g->object.empty() && AcceptWord("IDENTIFIED")) {
    TABDB_RETURN_IF_ERROR(ExpectWord("BY", 922));
    const Token& pw = Peek();
    if (pw.kind == TokenKind::kQuotedIdent) {
      g->password = pw.text;
    } else if (pw.kind == TokenKind::kIdent) {
      g->password = std::string(text_.substr(pw.begin, pw.end - pw.begin));  // case as typed
    } else {
      return Err(988);
    }
    Next();
    g->has_password = true;
  }
  if (grant && !g->object.empty() && PeekWord("WITH")) {
    Next();
    TABDB_RETURN_IF_ERROR(ExpectWord("GRANT", 905));
    TABDB_RETURN_IF_ERROR(ExpectWord("OPTION", 905));
    g->grant_option = true;
  } else if (PeekWord("WITH")) {
    return Unimplemented("WITH ADMIN OPTION");  // not kept
  }
  if (!grant && !g->object.empty() && (PeekWord("CASCADE") || PeekWord("FORCE"))) {
    Next();
    AcceptWord("CONSTRAINTS");
  }
  st->grant = std::move(g);
  return Status::Ok();
}

// ALTER SESSION SET parameter = value
Status Parser::ParseAlterSession(Statement* st) {
  st->kind = StmtKind::kAlterSession;
  auto a = std::make_unique<AlterSession>();
  TABDB_RETURN_IF_ERROR(ExpectWord("SET", 922));
  TABDB_RETURN_IF_ERROR(ParseName(&a->parameter, 2248));
  TABDB_RETURN_IF_ERROR(ExpectSym("=", 2248));
  const Token& v = Peek();
  if (v.kind == TokenKind::kString) {
    a->text = v.text;
    a->is_string = true;
  } else if (v.kind == TokenKind::kIdent || v.kind == TokenKind::kQuotedIdent) {
    a->value.text = v.text;
    a->value.quoted = v.kind == TokenKind::kQuotedIdent;
  } else if (v.kind == TokenKind::kNumber) {
    a->value.text = v.text;
  } else if (IsSym(v, "-") && Peek(1).kind == TokenKind::kNumber) {
    Next();
    a->value.text = "-" + Peek().text;
  } else {
    return Err(2248);
  }
  Next();
  st->alter_session = std::move(a);
  return Status::Ok();
}

Status Parser::ParseKillSession(Statement* st) {
  Next();  // SYSTEM
  Next();  // KILL
  st->kind = StmtKind::kAlterSystem;
  auto a = std::make_unique<AlterSystem>();
  TABDB_RETURN_IF_ERROR(ExpectWord("SESSION", 905));
  if (Peek().kind != TokenKind::kString) return Err(26);
  a->session = Peek().text;
  Next();
  a->immediate = AcceptWord("IMMEDIATE");
  st->alter_system = std::move(a);
  return Status::Ok();
}

// ---- PL/SQL ------------------------------------------------------------------------

Status Parser::ParsePlsql(Statement* st) {
  st->kind = StmtKind::kPlsqlBlock;
  auto block = std::make_unique<PlsqlBlock>();
  Status s = ParsePlsqlBody(block.get());
  if (!s.ok()) return PlsqlSyntaxError(text_, Position());
  st->block = std::move(block);
  return Status::Ok();
}

// BEGIN { call ; | NULL ; } END [label] ; [/]
Status Parser::ParsePlsqlBody(PlsqlBlock* block) {
  TABDB_RETURN_IF_ERROR(ExpectWord("BEGIN"));
  while (!PeekWord("END")) {
    ExprPtr call;
    if (PeekWord("NULL")) {
      call = NewExpr(ExprKind::kLiteral, Next().begin);
      call->lit = LiteralKind::kNull;
      call->span.end = prev_end_;
    } else {
      if (!PeekIsName()) return Err(6550);
      TABDB_RETURN_IF_ERROR(ParseNamePrimary(&call));
      // A procedure called without arguments is written without parentheses.
      call->kind = ExprKind::kFunction;
    }
    TABDB_RETURN_IF_ERROR(ExpectSym(";", 6550));
    block->calls.push_back(std::move(call));
  }
  if (block->calls.empty()) return Err(6550);
  Next();                    // END
  if (PeekIsName()) Next();  // END label;
  TABDB_RETURN_IF_ERROR(ExpectSym(";", 6550));
  AcceptSym("/");
  if (!AtEnd()) return Err(6550);
  return Status::Ok();
}

// ---- entry points ----------------------------------------------------------------

Status Parse(std::string_view text, std::unique_ptr<Statement>* out) {
  std::vector<Token> tokens;
  uint32_t error_pos = 0;
  Status s = Tokenize(text, &tokens, &error_pos);
  bool plsql = StartsPlsql(tokens);
  if (!tokens.empty() && (Parser::IsWord(tokens[0], "CREATE") || Parser::IsWord(tokens[0], "DROP") ||
                          Parser::IsWord(tokens[0], "ALTER"))) {
    auto code = std::make_unique<Statement>();
    Status cs;
    if (ParseStoredCode(text, code.get(), &cs)) {
      TABDB_RETURN_IF_ERROR(cs);
      *out = std::move(code);
      return Status::Ok();
    }
  }
  if (!tokens.empty() && Parser::IsWord(tokens[0], "CALL")) {
    auto call = std::make_unique<Statement>();
    Status cs;
    if (ParseCallStatement(text, call.get(), &cs)) {
      TABDB_RETURN_IF_ERROR(cs);
      *out = std::move(call);
      return Status::Ok();
    }
  }
  std::shared_ptr<const PlsqlUnit> unit;
  Status unit_status;
  if (plsql) unit_status = ParseAnonymousBlock(text, &unit);
  if (!s.ok() && !plsql) return s;
  auto st = std::make_unique<Statement>();
  st->text = std::string(text);
  Status ps = s;
  if (s.ok()) {
    Parser parser(text, std::move(tokens), &st->bind_names);
    ps = parser.ParseStatement(st.get());
  }
  if (!ps.ok() && !plsql) return ps;
  if (plsql) {
    // Blocks of calls keep their call list; every block has its whole tree.
    TABDB_RETURN_IF_ERROR(unit_status);
    st->kind = StmtKind::kPlsqlBlock;
    if (!st->block) st->block = std::make_unique<PlsqlBlock>();
    // a block's binds are its distinct placeholders
    st->bind_names = unit->host_binds;
    st->plsql = std::move(unit);
  }
  *out = std::move(st);
  return Status::Ok();
}

Status ParseExpression(std::string_view text, ExprPtr* out) {
  std::vector<Token> tokens;
  TABDB_RETURN_IF_ERROR(Tokenize(text, &tokens));
  std::vector<std::string> binds;
  Parser parser(text, std::move(tokens), &binds);
  return parser.ParseWholeExpression(out);
}

Status ParseType(std::string_view text, TypeDesc* out) {
  std::vector<Token> tokens;
  TABDB_RETURN_IF_ERROR(Tokenize(text, &tokens));
  std::vector<std::string> binds;
  Parser parser(text, std::move(tokens), &binds);
  return parser.ParseWholeType(out);
}

}  // namespace sql
}  // namespace tabdb

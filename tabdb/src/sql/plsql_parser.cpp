// plsql_parser.cpp - reads PL/SQL anonymous blocks and stored units into
// the tree of plsql_parser.h; expressions and SQL stay token ranges.
#include "sql/plsql_parser.h"

#include <algorithm>

#include <set>

#include "sql/plsql_conditional.h"
#include "util/errors.h"

namespace tabdb {
namespace sql {
namespace {

// Nesting of blocks, loops and IFs accepted in one unit.
constexpr int kMaxNesting = 200;

class PlParser {
 public:
  PlParser(std::string_view text, const std::vector<Token>& toks) : text_(text), t_(toks) {}

  Status Unit(PlBlock* b, const std::vector<std::string>& outer = {}) {
    scopes_.emplace_back(outer.begin(), outer.end());
    TABDB_RETURN_IF_ERROR(Block(b));
    if (Sym("/")) ++i_;
    if (t_[i_].kind != TokenKind::kEnd) return Fail();
    return semantic_;  // the first error of meaning, once the syntax is right
  }

 private:
  const Token& P(size_t k = 0) const {
    size_t j = i_ + k;
    return j < t_.size() ? t_[j] : t_.back();
  }
  bool Word(const char* w, size_t k = 0) const {
    return P(k).kind == TokenKind::kIdent && P(k).text == w;
  }
  bool Sym(const char* s, size_t k = 0) const {
    return P(k).kind == TokenKind::kSymbol && P(k).text == s;
  }
  bool IsName(size_t k = 0) const {
    return P(k).kind == TokenKind::kIdent || P(k).kind == TokenKind::kQuotedIdent;
  }
  Status Fail() const {
    return PlsqlSyntaxError(text_, P().kind == TokenKind::kEnd ? static_cast<uint32_t>(text_.size())
                                                                : P().begin);
  }
  Status ExpectWord(const char* w) {
    if (!Word(w)) return Fail();
    ++i_;
    return Status::Ok();
  }
  Status ExpectSym(const char* s) {
    if (!Sym(s)) return Fail();
    ++i_;
    return Status::Ok();
  }
  Status Name(std::string* out) {
    if (!IsName()) return Fail();
    *out = t_[i_++].text;
    return Status::Ok();
  }
  bool DotDot(size_t k = 0) const { return Sym("..", k); }

  // Tokens of an expression up to a stop at parenthesis depth 0: ';', ',',
  // ')', "..", THEN, LOOP, INTO, USING, and words in `stops`.
  Status Expr(PlRange* r, std::initializer_list<const char*> stops = {}) {
    r->b = static_cast<uint32_t>(i_);
    int depth = 0;
    int cases = 0;
    while (P().kind != TokenKind::kEnd) {
      const Token& t = P();
      if (t.kind == TokenKind::kSymbol) {
        if (t.text == "(") {
          ++depth;
        } else if (t.text == ")") {
          if (depth == 0) break;
          --depth;
        } else if (depth == 0 && (t.text == ";" || t.text == "," || DotDot() || t.text == ":=" ||
                                  t.text == "=>")) {
          break;
        }
      } else if (t.kind == TokenKind::kIdent && depth == 0) {
        if (t.text == "CASE") {
          ++cases;
        } else if (t.text == "END" && cases > 0) {
          --cases;
        } else if (cases == 0) {
          bool stop = t.text == "THEN" || t.text == "LOOP" || t.text == "INTO" ||
                      t.text == "USING" || t.text == "END" || t.text == "DEFAULT";
          for (const char* s : stops) stop = stop || t.text == s;
          if (stop) break;
        }
      }
      ++i_;
    }
    r->e = static_cast<uint32_t>(i_);
    if (r->empty()) return Fail();
    return Status::Ok();
  }

  // Tokens of a query up to ')' at depth 0 or ';'.
  Status Query(PlRange* r) {
    r->b = static_cast<uint32_t>(i_);
    int depth = 0;
    while (P().kind != TokenKind::kEnd && !Sym(";")) {
      if (Sym("(")) ++depth;
      if (Sym(")") && depth-- == 0) break;
      ++i_;
    }
    r->e = static_cast<uint32_t>(i_);
    if (r->empty()) return Fail();
    return Status::Ok();
  }

  // A dotted name: a, a.b
  Status Dotted(std::vector<std::string>* out) {
    out->clear();
    do {
      std::string n;
      TABDB_RETURN_IF_ERROR(Name(&n));
      out->push_back(n);
    } while (Sym(".") && IsName(1) && (++i_, true));
    return Status::Ok();
  }

  bool Declared(const std::string& n) const {
    for (auto it = scopes_.rbegin(); it != scopes_.rend(); ++it)
      if (it->count(n)) return true;
    return false;
  }

  // PLS-00201 for a name written to without being declared.
  Status CheckDeclared(const std::vector<std::string>& target, uint32_t tok) {
    // pkg.var and schema.pkg.var are looked up when the statement runs.
    if (Declared(target[0]) || target.size() > 1) return Status::Ok();
    int line = 1, col = 1;
    Pos(t_[tok].begin, &line, &col);
    std::string where = "line " + std::to_string(line) + ", column " + std::to_string(col) + ":";
    Status st = OraErrorText(ora::kPlsqlLineColumn,
                             where + "\nPLS-00201: identifier '" + target[0] + "' must be declared");
    st.AddLine("ORA-06550: " + where);
    st.AddLine("PL/SQL: Statement ignored");
    if (semantic_.ok()) semantic_ = st;
    return Status::Ok();
  }
  void Pos(uint32_t pos, int* line, int* col) const {
    *line = 1;
    size_t start = 0;
    for (size_t k = 0; k < pos && k < text_.size(); ++k)
      if (text_[k] == '\n') {
        ++*line;
        start = k + 1;
      }
    *col = static_cast<int>(pos - start + 1);
  }

  // [DECLARE decls] BEGIN ... END; `decl_section`: the declarations
  // start at once (a subprogram's body after IS).
  Status Block(PlBlock* b, bool decl_section = false) {
    if (++depth_ > kMaxNesting) return Fail();
    b->tok = static_cast<uint32_t>(i_);
    scopes_.emplace_back();
    if (decl_section || Word("DECLARE")) {
      if (!decl_section) ++i_;
      while (!Word("BEGIN")) {
        if (P().kind == TokenKind::kEnd) return Fail();
        TABDB_RETURN_IF_ERROR(Decl(b));
      }
    }
    TABDB_RETURN_IF_ERROR(ExpectWord("BEGIN"));
    TABDB_RETURN_IF_ERROR(Stmts(&b->body, {"END", "EXCEPTION"}));
    TABDB_RETURN_IF_ERROR(Handlers(b));
    TABDB_RETURN_IF_ERROR(ExpectWord("END"));
    if (IsName()) ++i_;  // END label
    TABDB_RETURN_IF_ERROR(ExpectSym(";"));
    scopes_.pop_back();
    --depth_;
    return Status::Ok();
  }

  Status Handlers(PlBlock* b) {
    if (Word("EXCEPTION")) {
      ++i_;
      if (!Word("WHEN")) return Fail();
      while (Word("WHEN")) {
        ++i_;
        PlHandler h;
        do {
          std::string n;
          TABDB_RETURN_IF_ERROR(Name(&n));
          while (Sym(".") && IsName(1)) {  // STANDARD.NO_DATA_FOUND, pkg.exc
            i_ += 2;
            n += "." + t_[i_ - 1].text;
          }
          h.names.push_back(n);
        } while (Word("OR") && (++i_, true));
        TABDB_RETURN_IF_ERROR(ExpectWord("THEN"));
        TABDB_RETURN_IF_ERROR(Stmts(&h.body, {"END", "WHEN"}));
        b->handlers.push_back(std::move(h));
      }
    }
    return Status::Ok();
  }

  Status Decl(PlBlock* b) {
    PlDecl d;
    d.tok = static_cast<uint32_t>(i_);
    if (Word("PROCEDURE") || Word("FUNCTION")) return SubprogramDecl(b);
    if (Word("TYPE") || Word("SUBTYPE")) return TypeDecl(b);
    if (Word("PRAGMA") && !Word("EXCEPTION_INIT", 1)) {
      // AUTONOMOUS_TRANSACTION, SERIALLY_REUSABLE, RESTRICT_REFERENCES(...), INLINE(...)
      ++i_;
      d.kind = PlDeclKind::kPragma;
      TABDB_RETURN_IF_ERROR(Name(&d.name));
      if (Sym("(")) {
        PlRange skip;
        ++i_;
        if (!Sym(")")) TABDB_RETURN_IF_ERROR(Query(&skip));
        TABDB_RETURN_IF_ERROR(ExpectSym(")"));
      }
    } else if (Word("PRAGMA")) {
      ++i_;
      TABDB_RETURN_IF_ERROR(ExpectWord("EXCEPTION_INIT"));
      TABDB_RETURN_IF_ERROR(ExpectSym("("));
      d.kind = PlDeclKind::kExceptionInit;
      TABDB_RETURN_IF_ERROR(Name(&d.name));
      TABDB_RETURN_IF_ERROR(ExpectSym(","));
      bool neg = Sym("-") && (++i_, true);
      if (P().kind != TokenKind::kNumber || P().text.size() > 9) return Fail();
      d.code = std::stoi(P().text) * (neg ? 1 : -1);
      ++i_;
      TABDB_RETURN_IF_ERROR(ExpectSym(")"));
    } else if (Word("CURSOR")) {
      ++i_;
      d.kind = PlDeclKind::kCursor;
      TABDB_RETURN_IF_ERROR(Name(&d.name));
      if (Sym("(")) TABDB_RETURN_IF_ERROR(Params(&d.params, false));
      if (Word("RETURN")) {
        ++i_;
        PlRange ret;
        TABDB_RETURN_IF_ERROR(TypeRange(&ret));
      }
      // A specification may declare the cursor without its query.
      if (!Sym(";")) {
        TABDB_RETURN_IF_ERROR(ExpectWord("IS"));
        TABDB_RETURN_IF_ERROR(Query(&d.init));
      }
    } else {
      TABDB_RETURN_IF_ERROR(Name(&d.name));
      if (Word("EXCEPTION")) {
        ++i_;
        d.kind = PlDeclKind::kException;
      } else {
        if (Word("CONSTANT")) {
          ++i_;
          d.constant = true;
        }
        TABDB_RETURN_IF_ERROR(Expr(&d.type, {"NOT", "BEGIN"}));
        if (Word("NOT") && Word("NULL", 1)) {
          i_ += 2;
          d.not_null = true;
        }
        if (Sym(":=") || Word("DEFAULT")) {
          ++i_;
          TABDB_RETURN_IF_ERROR(Expr(&d.init));
        } else if (d.constant) {
          return Fail();
        }
      }
    }
    TABDB_RETURN_IF_ERROR(ExpectSym(";"));
    if (d.kind != PlDeclKind::kExceptionInit && d.kind != PlDeclKind::kPragma) scopes_.back().insert(d.name);
    b->decls.push_back(std::move(d));
    return Status::Ok();
  }

  // ---- stored units and subprograms ----------------------------------------

  // The tokens of a type up to what follows it at depth 0: ',', ')', ';',
  // ':=', IS, AS, DEFAULT, NOT NULL, RANGE and the options of a function
  // header.
  Status TypeRange(PlRange* r) {
    static const char* const kStops[] = {"IS", "AS", "DEFAULT", "NOT", "RANGE", "AUTHID",
                                         "DETERMINISTIC", "PARALLEL_ENABLE", "PIPELINED",
                                         "RESULT_CACHE", "ACCESSIBLE", "AGGREGATE", "SQL_MACRO",
                                         "SHARING", "USING"};
    r->b = static_cast<uint32_t>(i_);
    int depth = 0;
    while (P().kind != TokenKind::kEnd) {
      if (Sym("(")) {
        ++depth;
      } else if (Sym(")")) {
        if (depth == 0) break;
        --depth;
      } else if (depth == 0 && (Sym(",") || Sym(";") || Sym(":="))) {
        break;
      } else if (depth == 0 && P().kind == TokenKind::kIdent && i_ > r->b) {
        bool stop = false;
        for (const char* w : kStops) stop = stop || P().text == w;
        if (stop) break;
      }
      ++i_;
    }
    r->e = static_cast<uint32_t>(i_);
    if (r->empty()) return Fail();
    return Status::Ok();
  }

  // ( name [IN | OUT | IN OUT] [NOCOPY] type [:= | DEFAULT expr], ... );
  // for a record's fields (`fields`) no mode, and [NOT NULL] may follow.
  Status Params(std::vector<PlParam>* out, bool fields) {
    TABDB_RETURN_IF_ERROR(ExpectSym("("));
    do {
      PlParam p;
      p.tok = static_cast<uint32_t>(i_);
      TABDB_RETURN_IF_ERROR(Name(&p.name));
      if (!fields) {
        if (Word("IN")) {
          ++i_;
          if (Word("OUT")) {
            ++i_;
            p.out = true;
          }
        } else if (Word("OUT")) {
          ++i_;
          p.in = false;
          p.out = true;
        }
        if (Word("NOCOPY")) ++i_;
      }
      TABDB_RETURN_IF_ERROR(TypeRange(&p.type));
      if (Word("NOT") && Word("NULL", 1)) i_ += 2;
      if (Sym(":=") || Word("DEFAULT")) {
        ++i_;
        TABDB_RETURN_IF_ERROR(Expr(&p.def));
      }
      for (const PlParam& q : *out)
        if (q.name == p.name)
          Semantic(p.tok, "PLS-00410: duplicate fields in RECORD,TABLE or argument list are not permitted");
      out->push_back(std::move(p));
    } while (Sym(",") && (++i_, true));
    return ExpectSym(")");
  }

  // PROCEDURE name [(params)] [options] [; | IS|AS body] and the same for
  // FUNCTION with its RETURN type. A stored unit's name may be qualified.
  Status Subprogram(PlSubprogram* sp) {
    sp->tok = static_cast<uint32_t>(i_);
    sp->function = Word("FUNCTION");
    ++i_;
    TABDB_RETURN_IF_ERROR(Name(&sp->name));
    if (Sym(".") && IsName(1)) {
      i_ += 1;
      TABDB_RETURN_IF_ERROR(Name(&sp->name));
    }
    if (Sym("(")) TABDB_RETURN_IF_ERROR(Params(&sp->params, false));
    if (sp->function) {
      TABDB_RETURN_IF_ERROR(ExpectWord("RETURN"));
      TABDB_RETURN_IF_ERROR(TypeRange(&sp->ret));
    }
    TABDB_RETURN_IF_ERROR(UnitOptions(&sp->invoker_rights));
    if (Sym(";")) {  // declared only
      ++i_;
      return Status::Ok();
    }
    if (!Word("IS") && !Word("AS")) return Fail();
    ++i_;
    if (Word("LANGUAGE") || Word("EXTERNAL")) {
      sp->external = true;
      while (P().kind != TokenKind::kEnd && !Sym(";")) ++i_;
      return ExpectSym(";");
    }
    sp->body = std::make_unique<PlBlock>();
    std::set<std::string> params;
    for (const PlParam& p : sp->params) params.insert(p.name);
    scopes_.push_back(std::move(params));
    Status st = Block(sp->body.get(), true);
    scopes_.pop_back();
    return st;
  }

  // AUTHID, DETERMINISTIC and the other options between a header and IS.
  Status UnitOptions(bool* invoker_rights) {
    while (true) {
      if (Word("AUTHID")) {
        ++i_;
        if (!Word("CURRENT_USER") && !Word("DEFINER")) return Fail();
        *invoker_rights = Word("CURRENT_USER");
        ++i_;
      } else if (Word("DETERMINISTIC") || Word("PIPELINED") || Word("SQL_MACRO")) {
        ++i_;
      } else if (Word("PARALLEL_ENABLE") || Word("RESULT_CACHE") || Word("ACCESSIBLE")) {
        ++i_;
        if (Word("BY") || Word("RELIES_ON")) ++i_;
        if (Word("RELIES_ON")) ++i_;
        if (Sym("(")) TABDB_RETURN_IF_ERROR(SkipParens());
      } else if (Word("SHARING") && Sym("=", 1)) {
        i_ += 3;
      } else if (Word("DEFAULT") && Word("COLLATION", 1)) {
        i_ += 3;
      } else {
        return Status::Ok();
      }
    }
  }

  Status SkipParens() {
    int depth = 0;
    do {
      if (P().kind == TokenKind::kEnd) return Fail();
      if (Sym("(")) ++depth;
      if (Sym(")")) --depth;
      ++i_;
    } while (depth > 0);
    return Status::Ok();
  }

  Status SubprogramDecl(PlBlock* b) {
    PlDecl d;
    d.tok = static_cast<uint32_t>(i_);
    d.kind = PlDeclKind::kSubprogram;
    d.sub = std::make_unique<PlSubprogram>();
    TABDB_RETURN_IF_ERROR(Subprogram(d.sub.get()));
    d.name = d.sub->name;
    scopes_.back().insert(d.name);
    b->decls.push_back(std::move(d));
    return Status::Ok();
  }

  // TYPE name IS RECORD (...) | TABLE OF ... | VARRAY(n) OF ... | REF CURSOR ...;
  // SUBTYPE name IS type [NOT NULL] [RANGE lo..hi];
  Status TypeDecl(PlBlock* b) {
    PlDecl d;
    d.tok = static_cast<uint32_t>(i_);
    bool subtype = Word("SUBTYPE");
    ++i_;
    TABDB_RETURN_IF_ERROR(Name(&d.name));
    TABDB_RETURN_IF_ERROR(ExpectWord("IS"));
    if (subtype) {
      d.kind = PlDeclKind::kSubtype;
      TABDB_RETURN_IF_ERROR(TypeRange(&d.type));
      if (Word("NOT") && Word("NULL", 1)) {
        i_ += 2;
        d.not_null = true;
      }
      if (Word("RANGE")) {
        while (P().kind != TokenKind::kEnd && !Sym(";")) ++i_;
      }
    } else if (Word("RECORD")) {
      ++i_;
      d.kind = PlDeclKind::kRecordType;
      TABDB_RETURN_IF_ERROR(Params(&d.params, true));
    } else {
      d.kind = PlDeclKind::kOtherType;
      d.type.b = static_cast<uint32_t>(i_);
      int depth = 0;
      while (P().kind != TokenKind::kEnd && !(depth == 0 && Sym(";"))) {
        if (Sym("(")) ++depth;
        if (Sym(")")) --depth;
        ++i_;
      }
      d.type.e = static_cast<uint32_t>(i_);
      if (d.type.empty()) return Fail();
    }
    TABDB_RETURN_IF_ERROR(ExpectSym(";"));
    scopes_.back().insert(d.name);
    b->decls.push_back(std::move(d));
    return Status::Ok();
  }

  void Semantic(uint32_t tok, const std::string& what) {
    int line = 1, col = 1;
    Pos(t_[tok].begin, &line, &col);
    std::string where = "line " + std::to_string(line) + ", column " + std::to_string(col) + ":";
    if (semantic_.ok()) semantic_ = OraErrorText(ora::kPlsqlLineColumn, where + "\n" + what);
  }

 public:
  // A stored unit: PROCEDURE / FUNCTION with its body, or PACKAGE [BODY]
  // name [options] IS|AS items [BEGIN ...] END [name];
  Status StoredUnit(PlsqlUnit* u, const std::vector<std::string>& outer) {
    scopes_.emplace_back(outer.begin(), outer.end());
    PlBlock* b = &u->block;
    b->tok = static_cast<uint32_t>(i_);
    if (Word("PROCEDURE") || Word("FUNCTION")) {
      u->unit_type = P().text;
      TABDB_RETURN_IF_ERROR(SubprogramDecl(b));
      const PlSubprogram& sp = *b->decls.back().sub;
      if (!sp.body && !sp.external) return Fail();
      u->invoker_rights = sp.invoker_rights;
    } else {
      TABDB_RETURN_IF_ERROR(ExpectWord("PACKAGE"));
      bool body = Word("BODY");
      if (body) ++i_;
      u->unit_type = body ? "PACKAGE BODY" : "PACKAGE";
      std::string name;
      TABDB_RETURN_IF_ERROR(Name(&name));
      if (Sym(".") && IsName(1)) {
        ++i_;
        TABDB_RETURN_IF_ERROR(Name(&name));
      }
      TABDB_RETURN_IF_ERROR(UnitOptions(&u->invoker_rights));
      if (!Word("IS") && !Word("AS")) return Fail();
      ++i_;
      while (!Word("END") && !(body && Word("BEGIN"))) {
        if (P().kind == TokenKind::kEnd) return Fail();
        TABDB_RETURN_IF_ERROR(Decl(b));
      }
      if (Word("BEGIN")) {
        ++i_;
        TABDB_RETURN_IF_ERROR(Stmts(&b->body, {"END", "EXCEPTION"}));
        TABDB_RETURN_IF_ERROR(Handlers(b));
      }
      TABDB_RETURN_IF_ERROR(ExpectWord("END"));
      if (IsName()) ++i_;
      TABDB_RETURN_IF_ERROR(ExpectSym(";"));
    }
    if (Sym("/")) ++i_;
    if (t_[i_].kind != TokenKind::kEnd) return Fail();
    return semantic_;
  }

 private:

  Status Stmts(PlStmts* out, std::initializer_list<const char*> ends) {
    while (true) {
      for (const char* e : ends)
        if (Word(e)) {
          if (out->empty()) return Fail();
          return Status::Ok();
        }
      if (P().kind == TokenKind::kEnd) return Fail();
      auto st = std::make_unique<PlStmt>();
      TABDB_RETURN_IF_ERROR(Stmt(st.get()));
      out->push_back(std::move(st));
    }
  }

  Status Body(PlStmts* out, std::initializer_list<const char*> ends) {
    if (++depth_ > kMaxNesting) return Fail();
    scopes_.emplace_back();
    Status s = Stmts(out, ends);
    scopes_.pop_back();
    --depth_;
    return s;
  }

  Status EndLoop() {
    TABDB_RETURN_IF_ERROR(ExpectWord("END"));
    TABDB_RETURN_IF_ERROR(ExpectWord("LOOP"));
    if (IsName()) ++i_;
    return ExpectSym(";");
  }

  Status Into(std::vector<std::vector<std::string>>* into, uint32_t tok) {
    do {
      std::vector<std::string> t;
      TABDB_RETURN_IF_ERROR(Dotted(&t));
      TABDB_RETURN_IF_ERROR(CheckDeclared(t, tok));
      into->push_back(std::move(t));
    } while (Sym(",") && (++i_, true));
    return Status::Ok();
  }

  // SQL statement up to ';'. A query's INTO clause is taken out: its
  // targets go to st->into and the range skips them (st->lo holds the
  // INTO ... part so that the executor can leave it out).
  Status Sql(PlStmt* st) {
    st->kind = PlStmtKind::kSql;
    bool query = Word("SELECT") || Word("WITH");
    st->expr.b = static_cast<uint32_t>(i_);
    int depth = 0;
    while (P().kind != TokenKind::kEnd && !(depth == 0 && Sym(";"))) {
      if (Sym("(")) ++depth;
      if (Sym(")")) --depth;
      bool bulk = query && depth == 0 && Word("BULK") && Word("COLLECT", 1) && Word("INTO", 2);
      if (query && depth == 0 && (Word("INTO") || bulk) && st->into.empty()) {
        st->kind = PlStmtKind::kSelectInto;
        st->lo.b = static_cast<uint32_t>(i_);
        st->bulk = bulk;
        i_ += bulk ? 3 : 1;
        TABDB_RETURN_IF_ERROR(Into(&st->into, st->tok));
        st->lo.e = static_cast<uint32_t>(i_);
        continue;
      }
      ++i_;
    }
    st->expr.e = static_cast<uint32_t>(i_);
    if (query && st->kind != PlStmtKind::kSelectInto) {
      // PLS-00428: an INTO clause is expected in this SELECT statement
      int line = 1, col = 1;
      Pos(t_[st->tok].begin, &line, &col);
      std::string where = "line " + std::to_string(line) + ", column " + std::to_string(col) + ":";
      if (semantic_.ok())
        semantic_ = OraErrorText(ora::kPlsqlLineColumn,
                                 where + "\nPLS-00428: an INTO clause is expected in this SELECT statement");
    }
    return ExpectSym(";");
  }

  Status Stmt(PlStmt* st) {
    std::string label;
    while (Sym("<") && Sym("<", 1) && IsName(2) && Sym(">", 3) && Sym(">", 4)) {
      label = P(2).text;
      i_ += 5;
    }
    st->tok = static_cast<uint32_t>(i_);
    st->label = label;
    if (Word("NULL") && Sym(";", 1)) {
      i_ += 2;
      return Status::Ok();
    }
    if (Word("BEGIN") || Word("DECLARE")) {
      st->kind = PlStmtKind::kBlock;
      st->block = std::make_unique<PlBlock>();
      return Block(st->block.get());
    }
    if (Word("IF")) {
      st->kind = PlStmtKind::kIf;
      do {
        ++i_;
        PlRange c;
        TABDB_RETURN_IF_ERROR(Expr(&c));
        TABDB_RETURN_IF_ERROR(ExpectWord("THEN"));
        st->conds.push_back(c);
        st->branches.emplace_back();
        TABDB_RETURN_IF_ERROR(Body(&st->branches.back(), {"ELSIF", "ELSE", "END"}));
      } while (Word("ELSIF"));
      if (Word("ELSE")) {
        ++i_;
        st->branches.emplace_back();
        TABDB_RETURN_IF_ERROR(Body(&st->branches.back(), {"END"}));
      }
      TABDB_RETURN_IF_ERROR(ExpectWord("END"));
      TABDB_RETURN_IF_ERROR(ExpectWord("IF"));
      return ExpectSym(";");
    }
    if (Word("LOOP")) {
      ++i_;
      st->kind = PlStmtKind::kLoop;
      TABDB_RETURN_IF_ERROR(Body(&st->body, {"END"}));
      return EndLoop();
    }
    if (Word("WHILE")) {
      ++i_;
      st->kind = PlStmtKind::kWhile;
      TABDB_RETURN_IF_ERROR(Expr(&st->expr));
      TABDB_RETURN_IF_ERROR(ExpectWord("LOOP"));
      TABDB_RETURN_IF_ERROR(Body(&st->body, {"END"}));
      return EndLoop();
    }
    if (Word("FOR")) {
      ++i_;
      TABDB_RETURN_IF_ERROR(Name(&st->var));
      TABDB_RETURN_IF_ERROR(ExpectWord("IN"));
      if (Sym("(") && (Word("SELECT", 1) || Word("WITH", 1))) {
        st->kind = PlStmtKind::kForCursor;
        ++i_;
        TABDB_RETURN_IF_ERROR(Query(&st->expr));
        TABDB_RETURN_IF_ERROR(ExpectSym(")"));
      } else if (IsName() && Word("LOOP", 1)) {
        st->kind = PlStmtKind::kForCursor;
        st->name = t_[i_++].text;
      } else if (IsName() && Sym("(", 1) && CursorArgsThenLoop()) {
        st->kind = PlStmtKind::kForCursor;
        st->name = t_[i_++].text;
        TABDB_RETURN_IF_ERROR(Args(st));
      } else {
        st->kind = PlStmtKind::kForNum;
        if (Word("REVERSE")) {
          ++i_;
          st->reverse = true;
        }
        TABDB_RETURN_IF_ERROR(Expr(&st->lo));
        if (!DotDot()) return Fail();
        ++i_;
        TABDB_RETURN_IF_ERROR(Expr(&st->hi));
      }
      TABDB_RETURN_IF_ERROR(ExpectWord("LOOP"));
      scopes_.emplace_back(std::set<std::string>{st->var});
      Status s = Body(&st->body, {"END"});
      scopes_.pop_back();
      TABDB_RETURN_IF_ERROR(s);
      return EndLoop();
    }
    if (Word("EXIT") || Word("CONTINUE")) {
      st->kind = Word("EXIT") ? PlStmtKind::kExit : PlStmtKind::kContinue;
      ++i_;
      st->label.clear();
      if (IsName() && !Word("WHEN")) st->label = t_[i_++].text;
      if (Word("WHEN")) {
        ++i_;
        TABDB_RETURN_IF_ERROR(Expr(&st->expr));
      }
      return ExpectSym(";");
    }
    if (Word("RETURN")) {
      st->kind = PlStmtKind::kReturn;
      ++i_;
      if (!Sym(";")) TABDB_RETURN_IF_ERROR(Expr(&st->expr));
      return ExpectSym(";");
    }
    if (Word("OPEN") || Word("CLOSE") || (Word("FETCH") && !Sym(":=", 1))) {
      st->kind = Word("OPEN") ? PlStmtKind::kOpen : Word("CLOSE") ? PlStmtKind::kClose : PlStmtKind::kFetch;
      ++i_;
      std::vector<std::string> n;
      TABDB_RETURN_IF_ERROR(Dotted(&n));
      st->name = n.back();
      if (st->kind == PlStmtKind::kOpen && Sym("(")) TABDB_RETURN_IF_ERROR(Args(st));
      if (st->kind == PlStmtKind::kOpen && Word("FOR")) {
        ++i_;
        if (Word("SELECT") || Word("WITH")) {
          TABDB_RETURN_IF_ERROR(Query(&st->expr));
        } else {
          TABDB_RETURN_IF_ERROR(Expr(&st->hi));
          if (Word("USING")) {
            do {
              ++i_;
              if (Word("IN") && !Word("OUT", 1)) ++i_;
              PlRange a;
              TABDB_RETURN_IF_ERROR(Expr(&a));
              st->args.push_back(a);
              st->arg_names.emplace_back();
            } while (Sym(","));
          }
        }
      }
      if (st->kind == PlStmtKind::kFetch) {
        if (Word("BULK") && Word("COLLECT", 1)) {
          i_ += 2;
          st->bulk = true;
        }
        TABDB_RETURN_IF_ERROR(ExpectWord("INTO"));
        TABDB_RETURN_IF_ERROR(Into(&st->into, st->tok));
        if (st->bulk && Word("LIMIT")) {
          ++i_;
          TABDB_RETURN_IF_ERROR(Expr(&st->expr));
        }
      }
      return ExpectSym(";");
    }
    if (Word("CASE")) {
      ++i_;
      st->kind = PlStmtKind::kCase;
      if (!Word("WHEN")) TABDB_RETURN_IF_ERROR(Expr(&st->expr, {"WHEN"}));
      if (!Word("WHEN")) return Fail();
      while (Word("WHEN")) {
        ++i_;
        PlRange c;
        TABDB_RETURN_IF_ERROR(Expr(&c));
        TABDB_RETURN_IF_ERROR(ExpectWord("THEN"));
        st->conds.push_back(c);
        st->branches.emplace_back();
        TABDB_RETURN_IF_ERROR(Body(&st->branches.back(), {"WHEN", "ELSE", "END"}));
      }
      if (Word("ELSE")) {
        ++i_;
        st->branches.emplace_back();
        TABDB_RETURN_IF_ERROR(Body(&st->branches.back(), {"END"}));
      }
      TABDB_RETURN_IF_ERROR(ExpectWord("END"));
      TABDB_RETURN_IF_ERROR(ExpectWord("CASE"));
      if (IsName()) ++i_;
      return ExpectSym(";");
    }
    if (Word("RAISE")) {
      ++i_;
      st->kind = PlStmtKind::kRaise;
      if (IsName()) {
        std::vector<std::string> n;
        TABDB_RETURN_IF_ERROR(Dotted(&n));
        for (size_t k = 0; k < n.size(); ++k) st->name += (k ? "." : "") + n[k];
      }
      return ExpectSym(";");
    }
    if (Word("EXECUTE") && Word("IMMEDIATE", 1)) {
      i_ += 2;
      st->kind = PlStmtKind::kExecImmediate;
      TABDB_RETURN_IF_ERROR(Expr(&st->expr, {"BULK"}));
      if (Word("BULK") && Word("COLLECT", 1) && Word("INTO", 2)) {
        i_ += 3;
        st->bulk = true;
        TABDB_RETURN_IF_ERROR(Into(&st->into, st->tok));
      } else if (Word("INTO")) {
        ++i_;
        TABDB_RETURN_IF_ERROR(Into(&st->into, st->tok));
      }
      if (Word("USING")) {
        do {
          ++i_;
          if (Word("IN") && !Word("OUT", 1)) ++i_;
          PlRange a;
          TABDB_RETURN_IF_ERROR(Expr(&a));
          st->args.push_back(a);
        } while (Sym(","));
      }
      return ExpectSym(";");
    }
    if (Word("GOTO") && IsName(1) && Sym(";", 2)) {
      st->kind = PlStmtKind::kGoto;
      st->name = P(1).text;
      i_ += 2;
      return ExpectSym(";");
    }
    if (Word("FORALL")) return Forall(st);
    static const char* const kSql[] = {"SELECT", "WITH",   "INSERT",    "UPDATE", "DELETE",
                                       "MERGE",  "COMMIT", "ROLLBACK",  "SAVEPOINT", "LOCK"};
    for (const char* w : kSql)
      if (Word(w) && !Sym(":=", 1) && !Sym(".", 1)) return Sql(st);
    if (Word("SET") && Word("TRANSACTION", 1)) return Sql(st);
    if (!IsName()) return Fail();
    std::vector<std::string> name;
    TABDB_RETURN_IF_ERROR(Dotted(&name));
    if (Sym(":=")) {
      ++i_;
      st->kind = PlStmtKind::kAssign;
      TABDB_RETURN_IF_ERROR(CheckDeclared(name, st->tok));
      st->target = std::move(name);
      TABDB_RETURN_IF_ERROR(Expr(&st->expr));
      return ExpectSym(";");
    }
    if (name.size() <= 3 && Sym("(") && SubscriptThenAssign()) {
      // v(i) := ..., v(i).field := ...
      ++i_;
      st->kind = PlStmtKind::kAssign;
      TABDB_RETURN_IF_ERROR(Expr(&st->index));
      TABDB_RETURN_IF_ERROR(ExpectSym(")"));
      TABDB_RETURN_IF_ERROR(CheckDeclared(name, st->tok));
      if (Sym(".")) {
        ++i_;
        std::string field;
        TABDB_RETURN_IF_ERROR(Name(&field));
        name.push_back(field);
      }
      st->target = std::move(name);
      TABDB_RETURN_IF_ERROR(ExpectSym(":="));
      TABDB_RETURN_IF_ERROR(Expr(&st->expr));
      return ExpectSym(";");
    }
    st->kind = PlStmtKind::kCall;
    for (size_t k = 0; k < name.size(); ++k) st->name += (k ? "." : "") + name[k];
    if (Sym("(")) TABDB_RETURN_IF_ERROR(Args(st));
    return ExpectSym(";");
  }

  // At "v (": whether ":=" or ". name :=" follows the closing parenthesis.
  bool SubscriptThenAssign() const {
    int depth = 0;
    for (size_t k = 0; P(k).kind != TokenKind::kEnd; ++k) {
      if (Sym("(", k)) ++depth;
      if (Sym(")", k) && --depth == 0)
        return Sym(":=", k + 1) || (Sym(".", k + 1) && IsName(k + 2) && Sym(":=", k + 3));
      if (Sym(";", k)) return false;
    }
    return false;
  }

  // FORALL i IN lo .. hi | INDICES OF v [SAVE EXCEPTIONS] statement: the
  // statement runs once per index, as a numeric FOR loop's body.
  Status Forall(PlStmt* st) {
    ++i_;
    st->kind = PlStmtKind::kForNum;
    st->bulk = true;
    TABDB_RETURN_IF_ERROR(Name(&st->var));
    TABDB_RETURN_IF_ERROR(ExpectWord("IN"));
    if (Word("INDICES") && Word("OF", 1)) {
      i_ += 2;
      TABDB_RETURN_IF_ERROR(Name(&st->name));
    } else {
      TABDB_RETURN_IF_ERROR(Expr(&st->lo));
      if (!DotDot()) return Fail();
      ++i_;
      TABDB_RETURN_IF_ERROR(Expr(&st->hi, {"INSERT", "UPDATE", "DELETE", "MERGE", "EXECUTE", "SAVE"}));
    }
    if (Word("SAVE") && Word("EXCEPTIONS", 1)) {
      i_ += 2;
      st->save_exceptions = true;
    }
    if (!Word("INSERT") && !Word("UPDATE") && !Word("DELETE") && !Word("MERGE") && !Word("EXECUTE")) return Fail();
    scopes_.emplace_back(std::set<std::string>{st->var});
    auto body = std::make_unique<PlStmt>();
    Status s = Stmt(body.get());
    scopes_.pop_back();
    TABDB_RETURN_IF_ERROR(s);
    st->body.push_back(std::move(body));
    return Status::Ok();
  }

  // (arg, name => arg, ...) of a call or a cursor.
  Status Args(PlStmt* st) {
    TABDB_RETURN_IF_ERROR(ExpectSym("("));
    if (!Sym(")")) {
      while (true) {
        std::string an;
        if (IsName() && Sym("=>", 1)) {
          an = t_[i_].text;
          i_ += 2;
        }
        PlRange a;
        TABDB_RETURN_IF_ERROR(Expr(&a));
        st->args.push_back(a);
        st->arg_names.push_back(an);
        if (!Sym(",")) break;
        ++i_;
      }
    }
    return ExpectSym(")");
  }

  // At "c (": whether LOOP follows the closing parenthesis (a cursor FOR
  // loop with arguments, not a numeric range).
  bool CursorArgsThenLoop() const {
    int depth = 0;
    for (size_t k = 1; P(k).kind != TokenKind::kEnd; ++k) {
      if (Sym("(", k)) ++depth;
      if (Sym(")", k) && --depth == 0) return Word("LOOP", k + 1);
    }
    return false;
  }

  std::string_view text_;
  const std::vector<Token>& t_;
  size_t i_ = 0;
  int depth_ = 0;
  std::vector<std::set<std::string>> scopes_;
  Status semantic_;
};

}  // namespace

Status ParseBlock(std::string_view text, bool call, const std::vector<std::string>& outer,
                  std::shared_ptr<const PlsqlUnit>* out);

Status PlsqlSyntaxError(std::string_view text, uint32_t pos) {
  if (pos > text.size()) pos = static_cast<uint32_t>(text.size());
  int line = 1;
  size_t line_start = 0;
  for (size_t i = 0; i < pos; ++i) {
    if (text[i] == '\n') {
      ++line;
      line_start = i + 1;
    }
  }
  // The symbol met: the rest of the word or punctuation at `pos`.
  std::string symbol;
  size_t i = pos;
  while (i < text.size() && symbol.size() < 30) {
    char c = text[i];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') break;
    symbol += c;
    ++i;
    if (c == ';' || c == '(' || c == ')' || c == ',') break;
  }
  if (symbol.empty()) symbol = "end-of-file";
  return OraError(ora::kPlsqlLineColumn, {std::to_string(line), std::to_string(pos - line_start + 1),
                         "PLS-00103: Encountered the symbol \"" + symbol + "\""});
}

void PlsqlUnit::Position(uint32_t k, int* line, int* column) const {
  uint32_t pos = k < tokens.size() ? tokens[k].begin : static_cast<uint32_t>(text.size());
  *line = 1;
  size_t start = 0;
  for (size_t i = 0; i < pos && i < text.size(); ++i)
    if (text[i] == '\n') {
      ++*line;
      start = i + 1;
    }
  *column = static_cast<int>(pos - start + 1);
}

bool ParseStoredCode(std::string_view text, Statement* st, Status* status) {
  *status = Status::Ok();
  std::vector<Token> t;
  if (!TokenizePlsql(text, &t).ok()) {
    // Only the statement's first words matter here; what follows is
    // source kept as written.
    if (t.empty()) return false;
  }
  t.emplace_back();  // kEnd guard
  auto word = [&](size_t k, const char* w) {
    return k < t.size() && t[k].kind == TokenKind::kIdent && t[k].text == w;
  };
  size_t k = 0;
  auto code = std::make_unique<StoredCode>();
  if (word(0, "DROP")) {
    code->drop = true;
    k = 1;
  } else if (word(0, "CREATE")) {
    k = 1;
    if (word(k, "OR") && word(k + 1, "REPLACE")) {
      code->or_replace = true;
      k += 2;
    }
    if (word(k, "EDITIONABLE") || word(k, "NONEDITIONABLE")) ++k;
  } else if (word(0, "ALTER") && word(1, "TABLE") && (word(3, "ENABLE") || word(3, "DISABLE") || word(5, "ENABLE") ||
                                                     word(5, "DISABLE"))) {
    // ALTER TABLE [schema.]t ENABLE | DISABLE ALL TRIGGERS
    k = 2;
    if (t[k].kind != TokenKind::kIdent && t[k].kind != TokenKind::kQuotedIdent) return false;
    code->name.push_back(Name{t[k].text, t[k].kind == TokenKind::kQuotedIdent});
    ++k;
    if (t[k].kind == TokenKind::kSymbol && t[k].text == ".") {
      if (t[k + 1].kind != TokenKind::kIdent && t[k + 1].kind != TokenKind::kQuotedIdent) return false;
      code->name.push_back(Name{t[k + 1].text, t[k + 1].kind == TokenKind::kQuotedIdent});
      k += 2;
    }
    if (!word(k + 1, "ALL") || !word(k + 2, "TRIGGERS")) return false;
    code->enable = word(k, "ENABLE") ? 1 : 0;
    if (t[k + 3].kind != TokenKind::kEnd) {
      *status = OraError(ora::kNotProperlyEnded);
      return true;
    }
    code->type = "TRIGGER";
    code->table_triggers = true;
    st->kind = StmtKind::kStoredCode;
    st->text = std::string(text);
    st->code = std::move(code);
    return true;
  } else if (word(0, "ALTER") && (word(1, "TRIGGER") || word(1, "PROCEDURE") || word(1, "FUNCTION") ||
                                   word(1, "PACKAGE") || word(1, "TYPE"))) {
    k = 1;
    code->enable = 2;
  } else {
    return false;
  }
  static const char* const kTypes[] = {"PROCEDURE", "FUNCTION", "PACKAGE", "TRIGGER", "TYPE"};
  for (const char* w : kTypes)
    if (word(k, w)) code->type = w;
  if (code->type.empty()) return false;
  size_t type_tok = k++;
  if ((code->type == "PACKAGE" || code->type == "TYPE") && word(k, "BODY") && code->enable < 0) {
    code->type += " BODY";
    ++k;
  }
  auto name = [&](size_t j) {
    return j < t.size() && (t[j].kind == TokenKind::kIdent || t[j].kind == TokenKind::kQuotedIdent);
  };
  auto missing = [&](size_t j) {
    *status = j < t.size() && t[j].kind != TokenKind::kEnd ? OraError(ora::kInvalidCharacter)
                                                           : OraError(ora::kUnexpectedEnd);
    return true;
  };
  if (!name(k)) return missing(k);
  code->name.push_back(Name{t[k].text, t[k].kind == TokenKind::kQuotedIdent});
  ++k;
  if (k + 1 < t.size() && t[k].kind == TokenKind::kSymbol && t[k].text == "." && name(k + 1)) {
    code->name.push_back(Name{t[k + 1].text, t[k + 1].kind == TokenKind::kQuotedIdent});
    k += 2;
  }
  // ALTER TYPE ... ADD ATTRIBUTE and the like are not code statements.
  if (code->enable >= 0 && code->type != "TRIGGER" && !word(k, "COMPILE")) return false;
  if (code->enable >= 0) {
    bool trigger = code->type == "TRIGGER";
    code->enable = word(k, "COMPILE") ? 2 : !trigger ? -1 : word(k, "ENABLE") ? 1 : word(k, "DISABLE") ? 0 : -1;
    size_t after = k + 1;
    if (code->enable == 2) {
      // COMPILE [PACKAGE | SPECIFICATION | BODY] [DEBUG] [REUSE SETTINGS]
      if (word(after, "BODY") && (code->type == "PACKAGE" || code->type == "TYPE")) {
        code->type += " BODY";
        ++after;
      } else if (word(after, "PACKAGE") || word(after, "SPECIFICATION")) {
        code->compile_spec_only = word(after, "SPECIFICATION");
        ++after;
      }
      if (word(after, "DEBUG")) ++after;
      if (word(after, "REUSE") && word(after + 1, "SETTINGS")) after += 2;
    }
    if (code->enable < 0 || t[after].kind != TokenKind::kEnd) {
      *status = code->enable < 0 && t[k].kind == TokenKind::kEnd ? OraError(ora::kUnexpectedEnd)
                                                                  : OraError(ora::kNotProperlyEnded);
      return true;
    }
  } else if (code->drop) {
    if (k < t.size() && t[k].kind != TokenKind::kEnd) {
      bool force = code->type == "TYPE" && (word(k, "FORCE") || word(k, "VALIDATE"));
      if (!force || t[k + 1].kind != TokenKind::kEnd) {
        *status = OraError(ora::kNotProperlyEnded);
        return true;
      }
    }
  } else {
    std::string_view src = text.substr(t[type_tok].begin);
    // The source ends at its last ';' (or last word): a "/" line and
    // blanks after it are the script's, not the unit's.
    size_t end = src.size();
    while (end > 0 && (src[end - 1] == ' ' || src[end - 1] == '\t' || src[end - 1] == '\n' ||
                       src[end - 1] == '\r'))
      --end;
    if (end > 0 && src[end - 1] == '/') {
      size_t line = src.rfind('\n', end - 1);
      size_t from = line == std::string_view::npos ? 0 : line + 1;
      bool alone = src.substr(from, end - 1 - from).find_first_not_of(" \t\r") == std::string_view::npos;
      if (alone && line != std::string_view::npos) {
        end = from;
        while (end > 0 && (src[end - 1] == ' ' || src[end - 1] == '\t' || src[end - 1] == '\n' ||
                           src[end - 1] == '\r'))
          --end;
      }
    }
    code->source = std::string(src.substr(0, end));
    if (k >= t.size() || t[k].kind == TokenKind::kEnd) return missing(k);
  }
  st->kind = StmtKind::kStoredCode;
  st->text = std::string(text);
  st->code = std::move(code);
  return true;
}

Status ParseStoredUnit(std::string_view text, const std::vector<std::string>& outer_names,
                       std::shared_ptr<const PlsqlUnit>* out) {
  auto unit = std::make_shared<PlsqlUnit>();
  unit->text = std::string(text);
  uint32_t error_pos = 0;
  if (!TokenizePlsql(unit->text, &unit->tokens, &error_pos).ok())
    return PlsqlSyntaxError(text, error_pos);
  TABDB_RETURN_IF_ERROR(ApplyConditionalCompilation(unit->text, &unit->tokens));
  PlParser p(unit->text, unit->tokens);
  TABDB_RETURN_IF_ERROR(p.StoredUnit(unit.get(), outer_names));
  *out = std::move(unit);
  return Status::Ok();
}

bool ParseCallStatement(std::string_view text, Statement* st, Status* status) {
  *status = Status::Ok();
  std::vector<Token> t;
  if (!TokenizePlsql(text, &t).ok() || t.empty() || t[0].kind != TokenKind::kIdent || t[0].text != "CALL")
    return false;
  // name [. name [. name]] ( ... ) [INTO :x] [;]
  size_t k = 1;
  while (k < t.size() && (t[k].kind == TokenKind::kIdent || t[k].kind == TokenKind::kQuotedIdent)) {
    ++k;
    if (k < t.size() && t[k].text == "." && t[k].kind == TokenKind::kSymbol) ++k;
    else break;
  }
  if (k == 1 || k >= t.size() || t[k].text != "(") {
    *status = OraError(ora::kNotValidProcedure);
    return true;
  }
  int depth = 0;
  size_t close = k;
  for (; close < t.size() && t[close].kind != TokenKind::kEnd; ++close) {
    if (t[close].kind != TokenKind::kSymbol) continue;
    if (t[close].text == "(") ++depth;
    if (t[close].text == ")" && --depth == 0) break;
  }
  if (close >= t.size() || t[close].kind == TokenKind::kEnd) {
    *status = OraError(ora::kMissingRightParen);
    return true;
  }
  size_t after = close + 1;
  if (t[after].kind == TokenKind::kIdent && t[after].text == "INTO") {
    *status = Unimplemented("CALL ... INTO");
    return true;
  }
  if (t[after].kind == TokenKind::kSymbol && t[after].text == ";") ++after;
  if (t[after].kind != TokenKind::kEnd) {
    *status = OraError(ora::kNotProperlyEnded);
    return true;
  }
  std::string call(text.substr(t[1].begin, t[close].end - t[1].begin));
  std::shared_ptr<const PlsqlUnit> unit;
  *status = ParseBlock("BEGIN " + call + "; END;", true, {}, &unit);
  if (!status->ok()) {
    *status = OraError(ora::kNotValidProcedure);
    return true;
  }
  st->kind = StmtKind::kPlsqlBlock;
  st->text = std::string(text);
  st->block = std::make_unique<PlsqlBlock>();
  st->plsql = std::move(unit);
  return true;
}

std::vector<std::string> DeclaredNames(const PlsqlUnit& unit) {
  std::vector<std::string> names;
  for (const PlDecl& d : unit.block.decls)
    if (d.kind != PlDeclKind::kExceptionInit && d.kind != PlDeclKind::kPragma) names.push_back(d.name);
  return names;
}

Status ParsePlsqlUnit(std::string_view text, std::shared_ptr<const PlsqlUnit>* out) {
  return ParseBlock(text, false, {}, out);
}

Status ParsePlsqlBlock(std::string_view text, const std::vector<std::string>& outer_names,
                       std::shared_ptr<const PlsqlUnit>* out) {
  return ParseBlock(text, false, outer_names, out);
}

std::string HostBindName(size_t k) { return "TABDB$HOST" + std::to_string(k + 1); }

namespace {

Status ParseBlockTokens(std::string_view text, bool call, bool host_binds, const std::vector<std::string>& outer,
                        std::shared_ptr<const PlsqlUnit>* out) {
  auto unit = std::make_shared<PlsqlUnit>();
  unit->call_statement = call;
  unit->text = std::string(text);
  uint32_t error_pos = 0;
  if (!TokenizePlsql(unit->text, &unit->tokens, &error_pos).ok())
    return PlsqlSyntaxError(text, error_pos);
  TABDB_RETURN_IF_ERROR(ApplyConditionalCompilation(unit->text, &unit->tokens));
  std::vector<std::string> names = outer;
  if (host_binds) {
    // Each placeholder becomes the name of the variable standing for it
    // (the text keeps the placeholder, so that errors point at it).
    for (Token& t : unit->tokens) {
      if (t.kind != TokenKind::kBind) continue;
      auto it = std::find(unit->host_binds.begin(), unit->host_binds.end(), t.text);
      size_t k = static_cast<size_t>(it - unit->host_binds.begin());
      if (it == unit->host_binds.end()) {
        unit->host_binds.push_back(t.text);
        names.push_back(HostBindName(k));
      }
      t.kind = TokenKind::kIdent;
      t.text = HostBindName(k);
      t.quoted_bind = false;
    }
  }
  PlParser p(unit->text, unit->tokens);
  TABDB_RETURN_IF_ERROR(p.Unit(&unit->block, names));
  *out = std::move(unit);
  return Status::Ok();
}

}  // namespace

Status ParseAnonymousBlock(std::string_view text, std::shared_ptr<const PlsqlUnit>* out) {
  return ParseBlockTokens(text, false, true, {}, out);
}

Status ParseBlock(std::string_view text, bool call, const std::vector<std::string>& outer,
                  std::shared_ptr<const PlsqlUnit>* out) {
  return ParseBlockTokens(text, call, false, outer, out);
}

}  // namespace sql
}  // namespace tabdb

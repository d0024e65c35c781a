// plsql_run.cpp - runs PL/SQL anonymous blocks: variables, control flow,
// exception handlers, and SQL statements reading the variables as binds.
//
// Each expression and embedded statement is turned once per block
// execution into SQL text whose placeholders stand for the variables it
// reads, compiled once, and then only bound and run: a loop of inserts
// compiles its INSERT once. Expressions are evaluated as queries on DUAL,
// so PL/SQL sees exactly the SQL engine's functions and conversions.
#include <cmath>
#include <cstdlib>
#include <map>

#include "exec/convert.h"
#include "exec/mview_exec.h"
#include "exec/plsql.h"
#include "exec/prepared.h"
#include "exec/server_output.h"
#include "exec/sqlfunc.h"
#include "sql/parser.h"
#include "sql/plsql_parser.h"
#include "storage/lob_store.h"
#include "util/errors.h"

namespace tabdb {
namespace {

using sql::PlBlock;
using sql::PlDecl;
using sql::PlDeclKind;
using sql::PlRange;
using sql::PlStmt;
using sql::PlStmtKind;
using sql::Token;
using sql::TokenKind;

// Blocks run inside blocks (EXECUTE IMMEDIATE of a block) at most this deep.
constexpr int kMaxRecursion = 50;
thread_local int g_plsql_depth = 0;

struct Var {
  std::string name;
  bool typed = false;  // false: takes the type of what is assigned
  TypeDesc type;
  bool boolean = false;  // held as NUMBER 1 / 0 / NULL
  bool constant = false;
  bool record = false;  // %ROWTYPE and cursor loop records
  Value v;
  std::vector<std::string> fields;
  std::vector<Value> fvals;
};

struct Frame {
  std::vector<std::unique_ptr<Var>> vars;
  std::vector<std::pair<std::string, int>> exceptions;  // name -> error number (0: none)
  std::vector<const PlDecl*> cursors;
};

enum class Flow { kNormal, kExit, kContinue, kReturn };

struct Ref {
  enum Kind { kVar, kField, kRowcount, kFound, kNotFound, kIsOpen, kSqlcode, kSqlerrm } kind = kVar;
  std::string name;
  std::string field;
};

struct Compiled {
  std::shared_ptr<const sql::Statement> st;
  std::unique_ptr<Prepared> p;
  std::vector<Ref> refs;
  std::string text;  // EXECUTE IMMEDIATE: the statement text compiled
};

enum Mode { kExprMode, kCondMode, kSqlMode, kDynamic };

struct NamedError {
  const char* name;
  int code;
};
const NamedError kPredefined[] = {
    {"NO_DATA_FOUND", ora::kNoDataFound},     {"TOO_MANY_ROWS", ora::kExactFetchTooMany},
    {"DUP_VAL_ON_INDEX", ora::kUniqueViolated}, {"ZERO_DIVIDE", ora::kDivisorIsZero},
    {"VALUE_ERROR", ora::kPlsqlValueError},   {"INVALID_NUMBER", ora::kInvalidNumber},
    {"LOGIN_DENIED", ora::kInvalidLogon},     {"NOT_LOGGED_ON", ora::kNotLoggedOn},
};

int PredefinedCode(const std::string& name) {
  for (const NamedError& e : kPredefined)
    if (name == e.name) return e.code;
  return -1;
}

bool IsTypeWord(const std::string& w, std::initializer_list<const char*> words) {
  for (const char* x : words)
    if (w == x) return true;
  return false;
}

// ORA-06502 as PL/SQL words it for the assignments it refuses.
Status ValueError(const std::string& why) {
  return OraErrorText(ora::kPlsqlValueError, "PL/SQL: numeric or value error: " + why);
}

class Runner {
 public:
  Runner(Session& s, const sql::PlsqlUnit& u) : s_(s), u_(u), t_(u.tokens) {}

  Status Run() {
    Flow f = Flow::kNormal;
    Status st = RunBlock(u_.block, &f);
    return st;
  }

 private:
  // ---- positions and errors ----------------------------------------------------

  std::string Where(uint32_t tok) const {
    int line = 1, col = 1;
    u_.Position(tok, &line, &col);
    return "line " + std::to_string(line) + ", column " + std::to_string(col) + ":";
  }

  // A compile error of the block (not catchable by its handlers).
  Status CompileError(uint32_t tok, const std::string& what, const std::string& ignored) const {
    Status st = OraErrorText(ora::kPlsqlLineColumn, Where(tok) + "\n" + what);
    st.AddLine("ORA-06550: " + Where(tok));
    st.AddLine(ignored);
    return st;
  }

  Status NotDeclared(uint32_t tok, const std::string& name) const {
    return CompileError(tok, "PLS-00201: identifier '" + name + "' must be declared",
                        "PL/SQL: Statement ignored");
  }

  std::string Slice(uint32_t k) const {
    const Token& t = t_[k];
    return u_.text.substr(t.begin, t.end - t.begin);
  }

  // ---- variables ----------------------------------------------------------------

  Var* Find(const std::string& name) {
    for (auto f = frames_.rbegin(); f != frames_.rend(); ++f)
      for (auto v = f->vars.rbegin(); v != f->vars.rend(); ++v)
        if ((*v)->name == name) return v->get();
    return nullptr;
  }

  const PlDecl* FindCursor(const std::string& name) {
    for (auto f = frames_.rbegin(); f != frames_.rend(); ++f)
      for (const PlDecl* d : f->cursors)
        if (d->name == name) return d;
    return nullptr;
  }

  // The error number of exception `name`: predefined, declared (0 when
  // not mapped to a number) or -1 when unknown.
  int ExceptionCode(const std::string& name, bool* user) {
    *user = false;
    for (auto f = frames_.rbegin(); f != frames_.rend(); ++f)
      for (const auto& e : f->exceptions)
        if (e.first == name) {
          *user = true;
          return e.second;
        }
    return PredefinedCode(name);
  }

  Status Assign(Var* v, Value in) {
    if (v->typed && !v->boolean) {
      if (in.null) {
        in = Value::Null(v->type.kind);
      } else if (in.kind != v->type.kind) {
        Value out;
        LobStore lobs(s_.db());
        Status st = ConvertValue(in, v->type.kind, &out, &lobs);
        if (!st.ok()) {
          if (st.code() == ora::kInvalidNumber) return ValueError("character to number conversion error");
          return st;
        }
        in = std::move(out);
      }
      TypeKind k = v->type.kind;
      if ((k == TypeKind::kVarchar2 || k == TypeKind::kChar || k == TypeKind::kNVarchar2 ||
           k == TypeKind::kRaw) &&
          v->type.length > 0 && !in.null) {
        size_t n = in.bytes.size();
        if (v->type.char_semantics) {
          n = 0;
          for (unsigned char c : in.bytes) n += (c & 0xC0) != 0x80;
        }
        if (n > static_cast<size_t>(v->type.length)) return ValueError("character string buffer too small");
      }
    }
    v->v = std::move(in);
    return Status::Ok();
  }

  Status Declare(const PlDecl& d) {
    Frame& f = frames_.back();
    if (d.kind == PlDeclKind::kException) {
      f.exceptions.emplace_back(d.name, 0);
      return Status::Ok();
    }
    if (d.kind == PlDeclKind::kExceptionInit) {
      for (auto& e : f.exceptions)
        if (e.first == d.name) {
          e.second = d.code;
          return Status::Ok();
        }
      return NotDeclared(d.tok, d.name);
    }
    if (d.kind == PlDeclKind::kCursor) {
      f.cursors.push_back(&d);
      return Status::Ok();
    }
    auto v = std::make_unique<Var>();
    v->name = d.name;
    v->constant = d.constant;
    std::string first = t_[d.type.b].text;
    uint32_t n = d.type.e - d.type.b;
    if (n == 3 && t_[d.type.b + 1].text == "%" && t_[d.type.b + 2].text == "ROWTYPE") {
      v->record = true;
    } else if (n >= 3 && t_[d.type.e - 2].text == "%" && t_[d.type.e - 1].text == "TYPE") {
      Var* other = n == 3 ? Find(first) : nullptr;
      if (other != nullptr) {
        v->typed = other->typed;
        v->type = other->type;
        v->boolean = other->boolean;
      }
      // table.column%TYPE takes the type of what is assigned.
    } else if (n == 1 && first == "BOOLEAN") {
      v->typed = v->boolean = true;
    } else if (n == 1 && IsTypeWord(first, {"PLS_INTEGER", "BINARY_INTEGER", "INTEGER", "INT",
                                            "SMALLINT", "NATURAL", "NATURALN", "POSITIVE",
                                            "POSITIVEN", "SIGNTYPE", "SIMPLE_INTEGER"})) {
      v->typed = true;
      v->type.kind = TypeKind::kNumber;
    } else {
      std::string text;
      for (uint32_t k = d.type.b; k < d.type.e; ++k) text += Slice(k) + " ";
      if (n == 1 && IsTypeWord(first, {"VARCHAR2", "VARCHAR", "STRING", "NVARCHAR2"})) {
        return CompileError(d.tok, "PLS-00215: String length constraints must be in range (1 .. 32767)",
                            "PL/SQL: Item ignored");
      }
      if (sql::ParseType(text, &v->type).ok()) {
        v->typed = true;
      } else if (!IsTypeWord(first, {"LONG", "RAW", "CLOB", "BLOB", "NCLOB"})) {
        return NotDeclared(d.type.b, first);
      }
    }
    if (v->typed && !v->boolean) v->v = Value::Null(v->type.kind);
    Var* raw = v.get();
    f.vars.push_back(std::move(v));
    if (!d.init.empty()) {
      Value init;
      if (raw->boolean) {
        TABDB_RETURN_IF_ERROR(EvalCond(d.init, &init));
      } else {
        TABDB_RETURN_IF_ERROR(EvalExpr(d.init, &init));
      }
      TABDB_RETURN_IF_ERROR(Assign(raw, std::move(init)));
    }
    return Status::Ok();
  }

  // ---- turning ranges into SQL ----------------------------------------------------

  // SQL text of tokens [b, e) (leaving out [skip.b, skip.e)) with a
  // placeholder for each variable read; `refs` receives what each
  // placeholder stands for.
  void Rewrite(PlRange r, PlRange skip, std::string* out, std::vector<Ref>* refs) {
    bool insert = r.b < r.e && t_[r.b].text == "INSERT";
    for (uint32_t k = r.b; k < r.e; ++k) {
      if (k == skip.b && skip.e > skip.b) {
        k = skip.e - 1;
        continue;
      }
      const Token& t = t_[k];
      bool after_dot = k > r.b && t_[k - 1].kind == TokenKind::kSymbol && t_[k - 1].text == ".";
      auto sym = [&](uint32_t j, const char* s) {
        return j < r.e && t_[j].kind == TokenKind::kSymbol && t_[j].text == s;
      };
      if (insert && t.text == "INTO" && t.kind == TokenKind::kIdent) {
        // INSERT INTO t (columns): the column list is never variables.
        uint32_t j = k + 1;
        while (j + 1 < r.e && sym(j + 1, ".")) j += 2;
        if (sym(j + 1, "(") && !(j + 2 < r.e && (t_[j + 2].text == "SELECT" || t_[j + 2].text == "WITH"))) {
          while (j < r.e && !sym(j, ")")) ++j;
          for (; k <= j && k < r.e; ++k) *out += Slice(k) + " ";
          k = j;
          insert = false;
          continue;
        }
      }
      if (t.kind != TokenKind::kIdent || after_dot || sym(k + 1, "(") || sym(k + 1, "=>")) {
        *out += Slice(k) + " ";
        continue;
      }
      Ref ref;
      if (sym(k + 1, "%") && k + 2 < r.e) {
        const std::string& a = t_[k + 2].text;
        if (t.text == "SQL" && (a == "ROWCOUNT" || a == "FOUND" || a == "NOTFOUND" || a == "ISOPEN")) {
          ref.kind = a == "ROWCOUNT" ? Ref::kRowcount
                     : a == "FOUND"  ? Ref::kFound
                     : a == "NOTFOUND" ? Ref::kNotFound
                                       : Ref::kIsOpen;
          bool cond = a != "ROWCOUNT";
          refs->push_back(ref);
          *out += cond ? "(:" + std::to_string(refs->size()) + " = 1) " : ":" + std::to_string(refs->size()) + " ";
          k += 2;
          continue;
        }
      }
      if (t.text == "TRUE" || t.text == "FALSE") {
        *out += t.text == "TRUE" ? "(1 = 1) " : "(1 = 0) ";
        continue;
      }
      if (t.text == "SQLCODE" || t.text == "SQLERRM") {
        ref.kind = t.text == "SQLCODE" ? Ref::kSqlcode : Ref::kSqlerrm;
        refs->push_back(ref);
        *out += ":" + std::to_string(refs->size()) + " ";
        continue;
      }
      Var* v = Find(t.text);
      if (v == nullptr) {
        *out += Slice(k) + " ";
        continue;
      }
      ref.name = v->name;
      if (v->record && sym(k + 1, ".") && k + 2 < r.e) {
        ref.kind = Ref::kField;
        ref.field = t_[k + 2].text;
        k += 2;
      }
      refs->push_back(ref);
      std::string ph = ":" + std::to_string(refs->size());
      bool is_test = k + 1 < r.e && t_[k + 1].text == "IS";
      *out += v->boolean && !is_test ? "(" + ph + " = 1) " : ph + " ";
    }
  }

  Status RefValue(const Ref& r, uint32_t tok, Value* out) {
    switch (r.kind) {
      case Ref::kRowcount:
        return TextToValue(std::to_string(rowcount_), TypeKind::kNumber, out);
      case Ref::kFound:
      case Ref::kNotFound:
      case Ref::kIsOpen: {
        if (!sql_ran_ || r.kind == Ref::kIsOpen) {
          *out = r.kind == Ref::kIsOpen ? NumberOf(0) : Value::Null(TypeKind::kNumber);
          return Status::Ok();
        }
        bool found = rowcount_ > 0;
        *out = NumberOf(r.kind == Ref::kFound ? found : !found);
        return Status::Ok();
      }
      case Ref::kSqlcode:
        return TextToValue(std::to_string(SqlCode()), TypeKind::kNumber, out);
      case Ref::kSqlerrm:
        *out = Value::Of(TypeKind::kVarchar2, SqlErrm());
        return Status::Ok();
      case Ref::kVar:
      case Ref::kField:
        break;
    }
    Var* v = Find(r.name);
    if (v == nullptr) return NotDeclared(tok, r.name);
    if (r.kind == Ref::kVar) {
      if (v->record) return NotDeclared(tok, r.name);
      *out = v->v;
      return Status::Ok();
    }
    for (size_t i = 0; i < v->fields.size(); ++i)
      if (v->fields[i] == r.field) {
        *out = v->fvals[i];
        return Status::Ok();
      }
    if (v->fields.empty()) {  // a %ROWTYPE record not filled yet
      *out = Value::Null(TypeKind::kVarchar2);
      return Status::Ok();
    }
    return CompileError(tok, "PLS-00302: component '" + r.field + "' must be declared",
                        "PL/SQL: Statement ignored");
  }

  static Value NumberOf(int64_t n) {
    Value v;
    Status st = TextToValue(std::to_string(n), TypeKind::kNumber, &v);
    (void)st;
    return v;
  }

  int64_t SqlCode() const {
    if (handling_.empty()) return 0;
    const Status& e = handling_.back();
    if (e.code() == ora::kUnhandledUserException) return 1;
    if (e.code() == ora::kNoDataFound) return 100;
    return -static_cast<int64_t>(e.code());
  }

  std::string SqlErrm() const {
    if (handling_.empty()) return "ORA-0000: normal, successful completion";
    const Status& e = handling_.back();
    if (e.code() == ora::kUnhandledUserException) return "User-Defined Exception";
    const std::string& t = e.text();
    size_t nl = t.find("\nORA-06512");
    return nl == std::string::npos ? t : t.substr(0, nl);
  }

  // The compiled form of range `r` for `mode`, made on first use.
  Status Compile(const PlRange& r, PlRange skip, Mode mode, uint32_t tok,
                 std::shared_ptr<Compiled>* out) {
    auto key = std::make_pair(static_cast<const void*>(&r), static_cast<int>(mode));
    auto it = cache_.find(key);
    if (it != cache_.end()) {
      *out = it->second;
      return Status::Ok();
    }
    auto c = std::make_shared<Compiled>();
    std::string body;
    Rewrite(r, skip, &body, &c->refs);
    std::string text;
    if (mode == kExprMode) {
      text = "SELECT " + body + "FROM DUAL";
    } else if (mode == kCondMode) {
      std::vector<Ref> again;
      std::string body2;
      Rewrite(r, skip, &body2, &again);
      size_t n = c->refs.size();
      for (Ref& x : again) c->refs.push_back(x);
      // the second copy's placeholders follow the first's
      std::string renumbered;
      for (size_t i = 0; i < body2.size(); ++i) {
        if (body2[i] == ':' && i + 1 < body2.size() && isdigit(static_cast<unsigned char>(body2[i + 1]))) {
          size_t j = i + 1;
          while (j < body2.size() && isdigit(static_cast<unsigned char>(body2[j]))) ++j;
          renumbered += ":" + std::to_string(std::stoul(body2.substr(i + 1, j - i - 1)) + n);
          i = j - 1;
        } else {
          renumbered += body2[i];
        }
      }
      text = "SELECT CASE WHEN " + body + "THEN 1 WHEN NOT (" + renumbered + ") THEN 0 END FROM DUAL";
    } else {
      text = body;
    }
    std::unique_ptr<sql::Statement> parsed;
    Status st = sql::Parse(text, &parsed);
    if (!st.ok()) return SqlCompileError(st, tok, mode);
    c->st = std::move(parsed);
    *out = c;
    cache_[key] = c;
    return Status::Ok();
  }

  Status SqlCompileError(const Status& st, uint32_t tok, Mode mode) const {
    if (mode != kSqlMode && st.code() == ora::kInvalidIdentifier) {
      size_t a = st.text().find('"');
      size_t b = a == std::string::npos ? a : st.text().find('"', a + 1);
      if (b != std::string::npos) {
        std::string name = st.text().substr(a + 1, b - a - 1);
        size_t dot = name.rfind("\".\"");
        if (dot != std::string::npos) name = name.substr(dot + 3);
        return NotDeclared(tok, name);
      }
    }
    return CompileError(tok, "PL/SQL: " + st.text(),
                        mode == kSqlMode ? "PL/SQL: SQL Statement ignored" : "PL/SQL: Statement ignored");
  }

  // Values of the placeholders of `c`, compiled for their types.
  Status Bind(Compiled& c, uint32_t tok, Mode mode, std::vector<Value>* binds) {
    binds->clear();
    std::vector<TypeKind> kinds;
    for (const Ref& r : c.refs) {
      Value v;
      TABDB_RETURN_IF_ERROR(RefValue(r, tok, &v));
      kinds.push_back(v.kind);
      binds->push_back(std::move(v));
    }
    if (!c.p || c.p->bind_kinds() != kinds) {
      c.p.reset();
      Status st = Prepared::Create(s_, c.st, kinds, &c.p);
      if (!st.ok()) return SqlCompileError(st, tok, mode);
    }
    return Status::Ok();
  }

  // One row of a query: `*found` false when there is none; ORA-01422 when
  // `exact` and there are more.
  Status FetchOne(Prepared& p, const std::vector<Value>& binds, bool exact, std::vector<Value>* row,
                  std::vector<std::string>* names, bool* found) {
    TABDB_RETURN_IF_ERROR(p.Open(binds));
    bool has = false;
    Status st = p.Next(&has);
    if (st.ok() && has) {
      row->resize(p.columns().size());
      for (size_t i = 0; i < row->size(); ++i) p.GetValue(static_cast<int>(i), &(*row)[i]);
      if (names) {
        names->clear();
        for (const ResultColumn& c : p.columns()) names->push_back(c.name);
      }
      if (exact) {
        bool more = false;
        st = p.Next(&more);
        if (st.ok() && more)
          st = OraErrorText(ora::kExactFetchTooMany, "exact fetch returns more than requested number of rows");
      }
    }
    p.Close();
    *found = has;
    return st;
  }

  Status EvalExpr(const PlRange& r, Value* out) {
    if (r.e == r.b + 1) {  // literals and variables need no SQL
      const Token& t = t_[r.b];
      if (t.kind == TokenKind::kNumber) return TextToValue(t.text, TypeKind::kNumber, out);
      if (t.kind == TokenKind::kString) {
        *out = t.text.empty() ? Value::Null(TypeKind::kVarchar2) : Value::Of(TypeKind::kVarchar2, t.text);
        return Status::Ok();
      }
      if (t.kind == TokenKind::kIdent && t.text == "NULL") {
        *out = Value::Null(TypeKind::kVarchar2);
        return Status::Ok();
      }
      if (t.kind == TokenKind::kIdent) {
        Var* v = Find(t.text);
        if (v != nullptr && !v->record && !v->boolean) {
          *out = v->v;
          return Status::Ok();
        }
      }
    }
    return EvalSql(r, kExprMode, TypeKind::kVarchar2, out);
  }

  // The value of range `r` computed by its query on DUAL.
  Status EvalSql(const PlRange& r, Mode mode, TypeKind null_kind, Value* out) {
    std::shared_ptr<Compiled> c;
    TABDB_RETURN_IF_ERROR(Compile(r, PlRange(), mode, r.b, &c));
    std::vector<Value> binds;
    TABDB_RETURN_IF_ERROR(Bind(*c, r.b, mode, &binds));
    std::vector<Value> row;
    bool found = false;
    Status st = FetchOne(*c->p, binds, false, &row, nullptr, &found);
    if (st.code() == ora::kInvalidNumber) return ValueError("character to number conversion error");
    TABDB_RETURN_IF_ERROR(st);
    *out = found && !row.empty() ? std::move(row[0]) : Value::Null(null_kind);
    return Status::Ok();
  }

  // A condition as NUMBER 1 (TRUE), 0 (FALSE) or NULL.
  Status EvalCond(const PlRange& r, Value* out) {
    if (r.e == r.b + 1 && t_[r.b].kind == TokenKind::kIdent) {
      Var* v = Find(t_[r.b].text);
      if (v != nullptr && v->boolean) {
        *out = v->v;
        return Status::Ok();
      }
    }
    return EvalSql(r, kCondMode, TypeKind::kNumber, out);
  }

  Status IsTrue(const PlRange& r, bool* yes) {
    Value v;
    TABDB_RETURN_IF_ERROR(EvalCond(r, &v));
    *yes = !v.null && v.bytes == NumberOf(1).bytes;
    return Status::Ok();
  }

  Status ToInt(const Value& v, uint32_t tok, int64_t* out) {
    if (v.null) return ValueError("NULL index table key value");
    Value n;
    TABDB_RETURN_IF_ERROR(ConvertValue(v, TypeKind::kNumber, &n));
    std::string text;
    TABDB_RETURN_IF_ERROR(ValueToText(n, &text));
    (void)tok;
    *out = static_cast<int64_t>(std::llround(std::strtod(text.c_str(), nullptr)));
    return Status::Ok();
  }

  Status Text(const Value& v, std::string* out) {
    if (v.null) {
      out->clear();
      return Status::Ok();
    }
    LobStore lobs(s_.db());
    return ValueToText(v, out, &lobs);
  }

  // Stores a fetched row into the INTO targets.
  Status Into(const std::vector<std::vector<std::string>>& into, uint32_t tok,
              std::vector<Value>& row, const std::vector<std::string>& names) {
    if (into.size() == 1 && into[0].size() == 1) {
      Var* v = Find(into[0][0]);
      if (v != nullptr && v->record) {
        v->fields = names;
        v->fvals = std::move(row);
        return Status::Ok();
      }
    }
    if (into.size() < row.size()) return OraError(ora::kTooManyValues);
    if (into.size() > row.size()) return OraError(ora::kNotEnoughValues);
    for (size_t i = 0; i < into.size(); ++i) TABDB_RETURN_IF_ERROR(Store(into[i], tok, std::move(row[i])));
    return Status::Ok();
  }

  Status Store(const std::vector<std::string>& target, uint32_t tok, Value v) {
    Var* var = Find(target[0]);
    if (var == nullptr) return NotDeclared(tok, target[0]);
    if (var->constant)
      return CompileError(tok, "PLS-00363: expression '" + target[0] + "' cannot be used as an assignment target",
                          "PL/SQL: Statement ignored");
    if (target.size() == 1) return Assign(var, std::move(v));
    if (!var->record) return NotDeclared(tok, target[0] + "." + target[1]);
    for (size_t i = 0; i < var->fields.size(); ++i)
      if (var->fields[i] == target[1]) {
        var->fvals[i] = std::move(v);
        return Status::Ok();
      }
    var->fields.push_back(target[1]);
    var->fvals.push_back(std::move(v));
    return Status::Ok();
  }

  // ---- statements -------------------------------------------------------------

  Status RunStmts(const sql::PlStmts& body, Flow* f) {
    for (const auto& st : body) {
      TABDB_RETURN_IF_ERROR(Exec(*st, f));
      if (*f != Flow::kNormal) return Status::Ok();
    }
    return Status::Ok();
  }

  Status Exec(const PlStmt& st, Flow* f) {
    Status s = ExecOne(st, f);
    // Built-in procedures name their own line already.
    if (!s.ok() && s.code() != ora::kPlsqlLineColumn && !located_ &&
        s.text().find("\nORA-06512: at line ") == std::string::npos) {
      int line = 1, col = 1;
      u_.Position(st.tok, &line, &col);
      s.AddLine("ORA-06512: at line " + std::to_string(line));
      located_ = true;
    }
    return s;
  }

  // Runs a loop body once; *done when the loop ends (EXIT, RETURN).
  Status LoopBody(const PlStmt& st, Flow* f, bool* done) {
    *done = false;
    TABDB_RETURN_IF_ERROR(RunStmts(st.body, f));
    if (*f == Flow::kExit || *f == Flow::kContinue) {
      bool mine = exit_label_.empty() || exit_label_ == st.label;
      if (!mine) {
        *done = true;  // leaves an outer loop
        return Status::Ok();
      }
      *done = *f == Flow::kExit;
      *f = Flow::kNormal;
      exit_label_.clear();
    } else if (*f == Flow::kReturn) {
      *done = true;
    }
    return Status::Ok();
  }

  Status ExecOne(const PlStmt& st, Flow* f) {
    switch (st.kind) {
      case PlStmtKind::kNull:
        return Status::Ok();
      case PlStmtKind::kBlock:
        return RunBlock(*st.block, f);
      case PlStmtKind::kAssign: {
        Var* v = Find(st.target[0]);
        if (v == nullptr) return NotDeclared(st.tok, st.target[0]);
        Value val;
        if (v->boolean && st.target.size() == 1) {
          TABDB_RETURN_IF_ERROR(EvalCond(st.expr, &val));
        } else {
          TABDB_RETURN_IF_ERROR(EvalExpr(st.expr, &val));
        }
        return Store(st.target, st.tok, std::move(val));
      }
      case PlStmtKind::kIf:
        for (size_t i = 0; i < st.conds.size(); ++i) {
          bool yes = false;
          TABDB_RETURN_IF_ERROR(IsTrue(st.conds[i], &yes));
          if (yes) return Nested(st.branches[i], f);
        }
        if (st.branches.size() > st.conds.size()) return Nested(st.branches.back(), f);
        return Status::Ok();
      case PlStmtKind::kLoop:
        while (true) {
          bool done = false;
          TABDB_RETURN_IF_ERROR(ScopedLoopBody(st, f, &done));
          if (done) return Status::Ok();
        }
      case PlStmtKind::kWhile:
        while (true) {
          bool yes = false;
          TABDB_RETURN_IF_ERROR(IsTrue(st.expr, &yes));
          if (!yes) return Status::Ok();
          bool done = false;
          TABDB_RETURN_IF_ERROR(ScopedLoopBody(st, f, &done));
          if (done) return Status::Ok();
        }
      case PlStmtKind::kForNum:
        return ForNum(st, f);
      case PlStmtKind::kForCursor:
        return ForCursor(st, f);
      case PlStmtKind::kExit:
      case PlStmtKind::kContinue: {
        bool yes = true;
        if (!st.expr.empty()) TABDB_RETURN_IF_ERROR(IsTrue(st.expr, &yes));
        if (yes) {
          *f = st.kind == PlStmtKind::kExit ? Flow::kExit : Flow::kContinue;
          exit_label_ = st.label;
        }
        return Status::Ok();
      }
      case PlStmtKind::kReturn:
        *f = Flow::kReturn;
        return Status::Ok();
      case PlStmtKind::kRaise:
        return Raise(st);
      case PlStmtKind::kSql:
      case PlStmtKind::kSelectInto:
        return Sql(st);
      case PlStmtKind::kExecImmediate:
        return ExecImmediate(st);
      case PlStmtKind::kCall:
        return Call(st);
    }
    return Status::Ok();
  }

  Status Nested(const sql::PlStmts& body, Flow* f) {
    frames_.emplace_back();
    Status st = RunStmts(body, f);
    frames_.pop_back();
    return st;
  }

  Status ScopedLoopBody(const PlStmt& st, Flow* f, bool* done) {
    frames_.emplace_back();
    Status s = LoopBody(st, f, done);
    frames_.pop_back();
    return s;
  }

  Status ForNum(const PlStmt& st, Flow* f) {
    Value lo, hi;
    TABDB_RETURN_IF_ERROR(EvalExpr(st.lo, &lo));
    TABDB_RETURN_IF_ERROR(EvalExpr(st.hi, &hi));
    int64_t a = 0, b = 0;
    TABDB_RETURN_IF_ERROR(ToInt(lo, st.lo.b, &a));
    TABDB_RETURN_IF_ERROR(ToInt(hi, st.hi.b, &b));
    if (a > b) return Status::Ok();
    frames_.emplace_back();
    auto var = std::make_unique<Var>();
    var->name = st.var;
    var->typed = true;
    var->constant = true;
    var->type.kind = TypeKind::kNumber;
    Var* v = var.get();
    frames_.back().vars.push_back(std::move(var));
    Status s;
    for (int64_t i = 0; i <= b - a; ++i) {
      v->v = NumberOf(st.reverse ? b - i : a + i);
      bool done = false;
      s = ScopedLoopBody(st, f, &done);
      if (!s.ok() || done) break;
    }
    frames_.pop_back();
    return s;
  }

  Status ForCursor(const PlStmt& st, Flow* f) {
    const PlRange* q = &st.expr;
    if (!st.name.empty()) {
      const PlDecl* d = FindCursor(st.name);
      if (d == nullptr) return NotDeclared(st.tok, st.name);
      q = &d->init;
    }
    std::shared_ptr<Compiled> c;
    TABDB_RETURN_IF_ERROR(Compile(*q, PlRange(), kSqlMode, q->b, &c));
    std::vector<Value> binds;
    TABDB_RETURN_IF_ERROR(Bind(*c, q->b, kSqlMode, &binds));
    if (!c->p->is_query())
      return CompileError(q->b, "PLS-00103: Encountered the symbol \"" + t_[q->b].text + "\"",
                          "PL/SQL: Statement ignored");
    std::shared_ptr<Compiled> hold = c;  // stays open while DDL in the body recompiles others
    Prepared& p = *c->p;
    TABDB_RETURN_IF_ERROR(p.Open(binds));
    frames_.emplace_back();
    auto rec = std::make_unique<Var>();
    rec->name = st.var;
    rec->record = true;
    for (const ResultColumn& col : p.columns()) rec->fields.push_back(col.name);
    rec->fvals.resize(rec->fields.size());
    Var* r = rec.get();
    frames_.back().vars.push_back(std::move(rec));
    Status s;
    while (true) {
      bool row = false;
      s = p.Next(&row);
      if (!s.ok() || !row) break;
      for (size_t i = 0; i < r->fvals.size(); ++i) p.GetValue(static_cast<int>(i), &r->fvals[i]);
      bool done = false;
      s = ScopedLoopBody(st, f, &done);
      if (!s.ok() || done) break;
    }
    p.Close();
    frames_.pop_back();
    return s;
  }

  Status Raise(const PlStmt& st) {
    if (st.name.empty()) {
      if (handling_.empty())
        return CompileError(st.tok, "PLS-00367: a RAISE statement with no exception name must be inside an exception handler",
                            "PL/SQL: Statement ignored");
      located_ = true;
      if (handling_.back().code() == ora::kUnhandledUserException) raised_ = raised_in_handler_.back();
      return handling_.back();
    }
    bool user = false;
    int code = ExceptionCode(st.name, &user);
    if (code < 0) return NotDeclared(st.tok, st.name);
    if (user && code == 0) {
      raised_ = st.name;
      return OraErrorText(ora::kUnhandledUserException, "PL/SQL: unhandled user-defined exception");
    }
    if (code == ora::kExactFetchTooMany)
      return OraErrorText(code, "exact fetch returns more than requested number of rows");
    if (OraMessageTemplate(code) == nullptr) return OraErrorText(code, "");
    return OraError(code);
  }

  bool Handles(const sql::PlHandler& h, const Status& e) {
    for (const std::string& n : h.names) {
      if (n == "OTHERS") return true;
      bool user = false;
      int code = ExceptionCode(n, &user);
      if (user && code == 0) {
        if (e.code() == ora::kUnhandledUserException && raised_ == n) return true;
      } else if (code > 0 && e.code() == code) {
        return true;
      }
    }
    return false;
  }

  Status RunBlock(const PlBlock& b, Flow* f) {
    frames_.emplace_back();
    size_t depth = frames_.size();
    Status st;
    for (const PlDecl& d : b.decls) {
      st = Declare(d);
      if (!st.ok()) break;
    }
    if (st.ok()) {
      st = RunStmts(b.body, f);
      frames_.resize(depth);
      if (!st.ok() && st.code() != ora::kPlsqlLineColumn) {
        for (const sql::PlHandler& h : b.handlers) {
          if (!Handles(h, st)) continue;
          handling_.push_back(st);
          raised_in_handler_.push_back(raised_);
          located_ = false;
          *f = Flow::kNormal;
          frames_.emplace_back();
          st = RunStmts(h.body, f);
          frames_.pop_back();
          handling_.pop_back();
          raised_in_handler_.pop_back();
          break;
        }
      }
    } else if (st.code() != ora::kPlsqlLineColumn && !located_) {
      int line = 1, col = 1;
      u_.Position(b.tok, &line, &col);
      st.AddLine("ORA-06512: at line " + std::to_string(line));
      located_ = true;
    }
    frames_.resize(depth - 1);
    return st;
  }

  Status Sql(const PlStmt& st) {
    std::shared_ptr<Compiled> c;
    TABDB_RETURN_IF_ERROR(Compile(st.expr, st.lo, kSqlMode, st.tok, &c));
    std::vector<Value> binds;
    TABDB_RETURN_IF_ERROR(Bind(*c, st.tok, kSqlMode, &binds));
    return RunCompiled(*c->p, binds, st.into, st.tok, st.kind == PlStmtKind::kSelectInto);
  }

  // Runs a compiled statement: a query into `into`, DML counting its rows,
  // anything else (transaction control, DDL, blocks) as it comes.
  Status RunCompiled(Prepared& p, const std::vector<Value>& binds,
                     const std::vector<std::vector<std::string>>& into, uint32_t tok, bool fetch) {
    sql_ran_ = true;
    if (p.is_query()) {
      rowcount_ = 0;
      if (!fetch) {
        TABDB_RETURN_IF_ERROR(p.Open(binds));
        p.Close();
        return Status::Ok();
      }
      std::vector<Value> row;
      std::vector<std::string> names;
      bool found = false;
      TABDB_RETURN_IF_ERROR(FetchOne(p, binds, true, &row, &names, &found));
      if (!found) return OraError(ora::kNoDataFound);
      rowcount_ = 1;
      return Into(into, tok, row, names);
    }
    if (p.is_dml()) {
      uint64_t rows = 0;
      Status s = p.ExecuteDml(binds, &rows, nullptr);
      rowcount_ = static_cast<int64_t>(rows);
      return s;
    }
    sql::StmtKind k = p.kind();
    Status s = p.ExecuteOther();
    rowcount_ = 0;
    if (k != sql::StmtKind::kCommit && k != sql::StmtKind::kRollback) cache_.clear();
    return s;
  }

  Status ExecImmediate(const PlStmt& st) {
    Value v;
    TABDB_RETURN_IF_ERROR(EvalExpr(st.expr, &v));
    std::string text;
    TABDB_RETURN_IF_ERROR(Text(v, &text));
    std::vector<Value> binds;
    std::vector<TypeKind> kinds;
    for (const PlRange& a : st.args) {
      Value b;
      TABDB_RETURN_IF_ERROR(EvalExpr(a, &b));
      kinds.push_back(b.kind);
      binds.push_back(std::move(b));
    }
    std::shared_ptr<Compiled>& c = dynamic_[&st];
    if (!c || c->text != text || !c->p || c->p->bind_kinds() != kinds) {
      c = std::make_shared<Compiled>();
      c->text = text;
      std::unique_ptr<sql::Statement> parsed;
      TABDB_RETURN_IF_ERROR(sql::Parse(text, &parsed));
      c->st = std::move(parsed);
      TABDB_RETURN_IF_ERROR(Prepared::Create(s_, c->st, kinds, &c->p));
    }
    std::shared_ptr<Compiled> hold = c;
    bool ddl = !c->p->is_query() && !c->p->is_dml();
    Status s = RunCompiled(*hold->p, binds, st.into, st.tok, !st.into.empty());
    if (ddl) dynamic_.clear();
    return s;
  }

  Status Call(const PlStmt& st) {
    const std::string& n = st.name;
    auto arg = [&](size_t i, Value* out) -> Status {
      if (i >= st.args.size()) return WrongArgs(st);
      return EvalExpr(st.args[i], out);
    };
    if (n == "DBMS_OUTPUT.PUT_LINE" || n == "DBMS_OUTPUT.PUT") {
      Value v;
      TABDB_RETURN_IF_ERROR(arg(0, &v));
      std::string text;
      TABDB_RETURN_IF_ERROR(Text(v, &text));
      ServerOutputPut(s_, text);
      if (n == "DBMS_OUTPUT.PUT_LINE") ServerOutputNewLine(s_);
      return Status::Ok();
    }
    if (n == "DBMS_RANDOM.SEED" || n == "DBMS_RANDOM.INITIALIZE" || n == "DBMS_RANDOM.TERMINATE") {
      // Accepted for the scripts that call them; the values stay random
      // (a seed does not make them repeat).
      for (size_t i = 0; i < st.args.size(); ++i) {
        Value v;
        TABDB_RETURN_IF_ERROR(arg(i, &v));
      }
      return Status::Ok();
    }
    if (n == "DBMS_MVIEW.REFRESH" || n == "DBMS_SNAPSHOT.REFRESH") {
      // (list [, method [, ...]]): the further arguments change nothing
      // in a complete refresh.
      Value list, method;
      TABDB_RETURN_IF_ERROR(arg(0, &list));
      std::string l, m;
      TABDB_RETURN_IF_ERROR(Text(list, &l));
      if (st.args.size() >= 2) {
        TABDB_RETURN_IF_ERROR(arg(1, &method));
        if (!method.null) TABDB_RETURN_IF_ERROR(Text(method, &m));
      }
      return RefreshMviews(s_, l, m);
    }
    if (n == "DBMS_FLASHBACK.ENABLE_AT_SYSTEM_CHANGE_NUMBER" || n == "DBMS_FLASHBACK.DISABLE") {
      Status r;
      if (n == "DBMS_FLASHBACK.DISABLE") {
        if (!st.args.empty()) return WrongArgs(st);
        s_.DisableFlashback();
      } else {
        if (st.args.size() != 1) return WrongArgs(st);
        Value v;
        TABDB_RETURN_IF_ERROR(arg(0, &v));
        int64_t scn = 0;
        if (v.null) return OraError(ora::kInvalidScn);
        TABDB_RETURN_IF_ERROR(ToInt(v, st.tok, &scn));
        TABDB_RETURN_IF_ERROR(s_.EnableFlashback(scn));
        // The functions of SQL, per connection, for the one now read.
        int rc = RegisterSqlFunctions(s_.db().handle(), &s_);
        if (rc != SQLITE_OK) r = SqliteError(s_.db().handle(), rc);
      }
      // What the block compiled belongs to the connection it left.
      cache_.clear();
      dynamic_.clear();
      return r;
    }
    if (n == "DBMS_OUTPUT.NEW_LINE") {
      ServerOutputNewLine(s_);
      return Status::Ok();
    }
    if (n == "DBMS_OUTPUT.ENABLE" || n == "DBMS_OUTPUT.DISABLE") {
      ServerOutputEnable(s_, n == "DBMS_OUTPUT.ENABLE");
      return Status::Ok();
    }
    if (n == "DBMS_OUTPUT.GET_LINE") {
      if (st.args.size() != 2) return WrongArgs(st);
      std::string line;
      bool got = ServerOutputGetLine(s_, &line);
      TABDB_RETURN_IF_ERROR(StoreArg(st, 0, got ? Value::Of(TypeKind::kVarchar2, line)
                                               : Value::Null(TypeKind::kVarchar2)));
      return StoreArg(st, 1, NumberOf(got ? 0 : 1));
    }
    if (n == "RAISE_APPLICATION_ERROR" || n == "DBMS_STANDARD.RAISE_APPLICATION_ERROR") {
      Value code, msg;
      TABDB_RETURN_IF_ERROR(arg(0, &code));
      TABDB_RETURN_IF_ERROR(arg(1, &msg));
      int64_t num = 0;
      TABDB_RETURN_IF_ERROR(ToInt(code, st.tok, &num));
      if (num > -20000 || num < -20999)
        return OraErrorText(ora::kRaiseErrorOutOfRange, "error number argument to raise_application_error of " +
                                                           std::to_string(num) + " is out of range");
      std::string text;
      TABDB_RETURN_IF_ERROR(Text(msg, &text));
      return OraErrorText(static_cast<int>(-num), text);
    }
    if (n.compare(0, 14, "DBMS_METADATA.") == 0) {
      uint32_t end = st.args.empty() ? st.tok + 3 : st.args.back().e + 1;
      if (end > t_.size() - 1) end = static_cast<uint32_t>(t_.size() - 1);
      // The call alone, read as a block of calls: its arguments are
      // literals and package constants (TRUE, DBMS_METADATA.SESSION_TRANSFORM).
      std::string text = "BEGIN " + u_.text.substr(t_[st.tok].begin, t_[end - 1].end - t_[st.tok].begin) + "; END;";
      std::unique_ptr<sql::Statement> call;
      TABDB_RETURN_IF_ERROR(sql::Parse(text, &call));
      if (!call->block || call->block->calls.size() != 1 || !call->block->calls[0]) return WrongArgs(st);
      return CallBuiltinProcedure(s_, *call->block->calls[0]);
    }
    return CallStored(s_, n, Where(st.tok));
  }

  Status StoreArg(const PlStmt& st, size_t i, Value v) {
    const PlRange& r = st.args[i];
    if (r.e != r.b + 1 || t_[r.b].kind != TokenKind::kIdent) return WrongArgs(st);
    return Store({t_[r.b].text}, st.tok, std::move(v));
  }

  Status WrongArgs(const PlStmt& st) const {
    std::string proc = st.name.substr(st.name.rfind('.') == std::string::npos ? 0 : st.name.rfind('.') + 1);
    return CompileError(st.tok, "PLS-00306: wrong number or types of arguments in call to '" + proc + "'",
                        "PL/SQL: Statement ignored");
  }

  Session& s_;
  const sql::PlsqlUnit& u_;
  const std::vector<Token>& t_;
  std::vector<Frame> frames_;
  std::map<std::pair<const void*, int>, std::shared_ptr<Compiled>> cache_;
  std::map<const PlStmt*, std::shared_ptr<Compiled>> dynamic_;
  int64_t rowcount_ = 0;
  bool sql_ran_ = false;
  std::vector<Status> handling_;  // the exceptions whose handlers run
  std::vector<std::string> raised_in_handler_;
  std::string raised_;            // the user-defined exception last raised
  bool located_ = false;          // the error already has its "at line"
  std::string exit_label_;
};

}  // namespace

Status RunPlsqlUnit(Session& s, const sql::PlsqlUnit& unit) {
  if (g_plsql_depth >= kMaxRecursion)
    return OraErrorText(ora::kRecursiveSqlLevels, "maximum number of recursive SQL levels (50) exceeded");
  ++g_plsql_depth;
  Status st = Runner(s, unit).Run();
  --g_plsql_depth;
  return st;
}

}  // namespace tabdb

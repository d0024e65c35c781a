// plsql_run.cpp - runs PL/SQL: anonymous blocks, and the subprograms and
// package initialisation of stored units. Variables, control flow,
// exception handlers, cursors and cursor variables, records, collections,
// calls of local and stored subprograms, and SQL statements reading the
// variables as binds, with BULK COLLECT and FORALL.
//
// Each expression and embedded statement is turned once into SQL text
// whose placeholders stand for the variables it reads, compiled once, and
// then only bound and run: a loop of inserts compiles its INSERT once, and a
// stored unit compiles each of its statements once per session (its
// UnitRuntime). Expressions are evaluated as queries on DUAL, so PL/SQL
// sees exactly the SQL engine's functions and conversions; a call that is
// a whole expression runs directly.
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <map>

#include "catalog/catalog.h"
#include "exec/convert.h"
#include "exec/functions.h"
#include "exec/metadata_browse.h"
#include "exec/plsql_collection.h"
#include "exec/plsql_fastexpr.h"
#include "exec/plsql_lob.h"
#include "exec/mview_exec.h"
#include "exec/plsql.h"
#include "exec/plsql_types.h"
#include "exec/plsql_units.h"
#include "exec/prepared.h"
#include "exec/server_output.h"
#include "exec/sqlfunc.h"
#include "sql/parser.h"
#include "sql/plsql_conditional.h"
#include "sql/plsql_parser.h"
#include "storage/lob_store.h"
#include "util/errors.h"

namespace tabdb {
namespace {

using pl::ArgValue;
using pl::CallTarget;
using pl::CallValues;
using pl::Compiled;
using pl::Cursor;
using pl::Frame;
using pl::Ref;
using pl::TypeInfo;
using pl::Var;
using sql::PlBlock;
using sql::PlDecl;
using sql::PlDeclKind;
using sql::PlRange;
using sql::PlStmt;
using sql::PlStmtKind;
using sql::PlSubprogram;
using sql::Token;
using sql::TokenKind;

// Blocks run inside blocks (EXECUTE IMMEDIATE of a block) at most this deep.
constexpr int kMaxRecursion = 50;
thread_local int g_plsql_depth = 0;
// Nested subprogram calls of one thread; deeper recursion is a storage error.
constexpr int kMaxCallDepth = 256;
thread_local int g_call_depth = 0;

// Frame::link of a subprogram declared at a package's level or standalone:
// its names continue with the package's frames.
constexpr int kLinkGlobals = -2;

// The length an error stack grows to at most.
constexpr size_t kMaxStack = 2000;

enum class Flow { kNormal, kExit, kContinue, kReturn, kGoto };

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
    {"INVALID_CURSOR", ora::kInvalidCursor},  {"CURSOR_ALREADY_OPEN", ora::kCursorAlreadyOpen},
    {"CASE_NOT_FOUND", ora::kCaseNotFound},
    {"COLLECTION_IS_NULL", 6531},             {"SUBSCRIPT_OUTSIDE_LIMIT", 6532},
    {"SUBSCRIPT_BEYOND_COUNT", 6533},
};

int PredefinedCode(const std::string& name) {
  std::string n = name.compare(0, 9, "STANDARD.") == 0 ? name.substr(9) : name;
  for (const NamedError& e : kPredefined)
    if (n == e.name) return e.code;
  return -1;
}

// ORA-06502 as PL/SQL words it for the assignments it refuses.
Status ValueError(const std::string& why) {
  return OraErrorText(ora::kPlsqlValueError, "PL/SQL: numeric or value error: " + why);
}

Value NumberOf(int64_t n) {
  Value v;
  Status st = TextToValue(std::to_string(n), TypeKind::kNumber, &v);
  (void)st;
  return v;
}

// What the running block sees around it.
struct RunContext {
  pl::StoredUnit* unit = nullptr;        // the stored unit run (null: an anonymous block)
  pl::PackageInstance* package = nullptr;  // the package whose code runs
  bool spec_code = false;                  // a specification's code sees its own frame only
};

class Runner;
thread_local std::vector<Runner*> g_runners;

class Runner {
 public:
  Runner(Session& s, const sql::PlsqlUnit& u, pl::UnitRuntime& rt, RunContext ctx)
      : s_(s), u_(u), t_(u.tokens), rt_(rt), ctx_(ctx) {
    frames_.reserve(4);
    g_runners.push_back(this);
  }
  ~Runner() { g_runners.pop_back(); }
  Runner(const Runner&) = delete;
  Runner& operator=(const Runner&) = delete;

  Status Run() {
    Flow f = Flow::kNormal;
    return RunBlock(u_.block, &f, false);
  }

  // The block with the caller's values as the frame around it.
  Status RunWith(std::vector<pl::BlockValue>* values) {
    frames_.emplace_back();
    frames_.back().vars.reserve(values->size());
    // The fields and values move in and back out (below, whatever the
    // outcome): a row trigger's names and row are not copied per row.
    for (pl::BlockValue& b : *values) {
      auto v = std::make_unique<Var>();
      v->name = b.name;
      v->record = b.record;
      v->fields = std::move(b.fields);
      v->fvals = std::move(b.values);
      v->v = std::move(b.v);
      v->constant = b.constant;
      v->boolean = b.boolean;
      frames_.back().vars.push_back(std::move(v));
    }
    Flow f = Flow::kNormal;
    Status st = RunBlock(u_.block, &f, false);
    for (size_t i = 0; i < values->size(); ++i) {
      Var& v = *frames_.front().vars[i];
      (*values)[i].fields = std::move(v.fields);
      (*values)[i].values = std::move(v.fvals);
      (*values)[i].v = std::move(v.v);
    }
    frames_.clear();
    return st;
  }

  // A subprogram of the unit called from elsewhere.
  Status Invoke(const PlDecl& d, CallValues* v) { return InvokeIn(d, kLinkGlobals, v); }

  // The declarations of a package specification or body into its frame,
  // then a body's initialisation section.
  Status Initialize(Frame& frame) {
    for (const PlDecl& d : u_.block.decls) {
      Status st = Declare(d, frame);
      if (st.ok()) continue;
      if (st.code() != ora::kPlsqlLineColumn && !located_) AddAt(&st, d.tok);
      return st;
    }
    if (u_.block.body.empty()) return Status::Ok();
    Flow f = Flow::kNormal;
    return RunBlock(u_.block, &f, true);
  }

  const sql::PlsqlUnit& unit() const { return u_; }
  pl::UnitRuntime& runtime() { return rt_; }

  // The value of an expression of the unit (a default of a package
  // specification's parameter).
  Status EvalValue(const PlRange& r, bool cond, Value* out) { return cond ? EvalCond(r, out) : EvalExpr(r, out); }

  // The functions named `name` visible at the innermost frame.
  void FunctionsNamed(const std::string& name, std::vector<const PlDecl*>* out) {
    std::vector<std::pair<const PlDecl*, int>> found;
    LocalSubprograms(name, &found);
    for (const auto& f : found)
      if (f.first->sub->function) out->push_back(f.first);
  }

  // Calls local function `d` from SQL.
  Status CallFromSql(const PlDecl& d, CallValues* v) {
    std::vector<std::pair<const PlDecl*, int>> found;
    LocalSubprograms(d.name, &found);
    for (const auto& f : found)
      if (f.first == &d) return InvokeIn(*Body(f.first, f.second), f.second, v);
    return OraError(ora::kProgramUnitNotFound);
  }

 private:
  // ---- positions and errors ----------------------------------------------------

  std::string Where(uint32_t tok) const {
    int line = 1, col = 1;
    u_.Position(tok, &line, &col);
    return "line " + std::to_string(line) + ", column " + std::to_string(col) + ":";
  }

  // The line of the error stack that names where the error passed.
  std::string At(uint32_t tok) const {
    int line = 1, col = 1;
    u_.Position(tok, &line, &col);
    if (ctx_.unit == nullptr) return "ORA-06512: at line " + std::to_string(line);
    return "ORA-06512: at \"" + ctx_.unit->Qualified() + "\", line " + std::to_string(line);
  }

  // Adds the line of `tok` to an error's stack; a stack past what Oracle's
  // message holds (deep recursion) keeps its first lines.
  void AddAt(Status* st, uint32_t tok) const {
    if (st->text().size() < kMaxStack) st->AddLine(At(tok));
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

  // ---- names ----------------------------------------------------------------------

  // Calls fn(frame, index) on each frame in lexical order from the
  // innermost (index -1 for the package's frames) until it returns true.
  template <typename Fn>
  bool Lookup(Fn fn) {
    int i = static_cast<int>(frames_.size()) - 1;
    while (i >= 0) {
      Frame& f = frames_[static_cast<size_t>(i)];
      if (fn(f, i)) return true;
      if (f.link == kLinkGlobals) break;
      i = f.link >= 0 ? f.link : i - 1;
    }
    if (ctx_.package != nullptr) {
      if (!ctx_.spec_code && fn(ctx_.package->body_frame, -1)) return true;
      if (fn(ctx_.package->spec_frame, -1)) return true;
    }
    return false;
  }

  Var* Find(const std::string& name) {
    Var* found = nullptr;
    Lookup([&](Frame& f, int) {
      for (auto v = f.vars.rbegin(); v != f.vars.rend(); ++v)
        if ((*v)->name == name) {
          found = v->get();
          return true;
        }
      return false;
    });
    return found;
  }

  Cursor* FindCursor(const std::string& name) {
    Cursor* found = nullptr;
    Lookup([&](Frame& f, int) {
      for (auto& c : f.cursors)
        if (c->decl->name == name) {
          found = c.get();
          return true;
        }
      return false;
    });
    return found;
  }

  const PlDecl* FindTypeDecl(const std::string& name) {
    const PlDecl* found = nullptr;
    Lookup([&](Frame& f, int) {
      for (const PlDecl* d : f.types)
        if (d->name == name) {
          found = d;
          return true;
        }
      return false;
    });
    return found;
  }

  // The subprograms named `name` in the innermost scope that declares one,
  // with the index of the frame that declared them (kLinkGlobals: the
  // package's level or the unit itself).
  void LocalSubprograms(const std::string& name, std::vector<std::pair<const PlDecl*, int>>* out) {
    Lookup([&](Frame& f, int i) {
      for (const PlDecl* d : f.subs)
        if (d->name == name) out->emplace_back(d, i < 0 ? kLinkGlobals : i);
      return !out->empty();
    });
    if (out->empty() && ctx_.unit != nullptr && ctx_.package == nullptr) {
      // A standalone subprogram calling itself.
      for (const PlDecl& d : u_.block.decls)
        if (d.kind == PlDeclKind::kSubprogram && d.name == name) out->emplace_back(&d, kLinkGlobals);
    }
  }

  // The declaration with the body of a subprogram declared at `d` (a
  // forward declaration or a package specification's entry has none).
  const PlDecl* Body(const PlDecl* d, int frame) {
    if (d->sub->body || d->sub->external) return d;
    const PlDecl* body = nullptr;
    auto same = [&](const PlDecl* x) {
      if (x == d || x->name != d->name || !x->sub->body) return false;
      if (x->sub->params.size() != d->sub->params.size()) return false;
      for (size_t i = 0; i < x->sub->params.size(); ++i)
        if (x->sub->params[i].name != d->sub->params[i].name) return false;
      return true;
    };
    if (frame >= 0) {
      for (const PlDecl* x : frames_[static_cast<size_t>(frame)].subs)
        if (same(x)) body = x;
    } else if (ctx_.package != nullptr) {
      for (const PlDecl* x : ctx_.package->body_frame.subs)
        if (same(x)) body = x;
    }
    return body ? body : d;
  }

  // The error number of exception `name`: predefined, declared (0 when
  // not mapped to a number) or -1 when unknown. pkg.name looks in the
  // package's specification.
  int ExceptionCode(const std::string& name, bool* user) {
    *user = false;
    int code = -1;
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && PredefinedCode(name) < 0) {
      std::vector<std::string> parts;
      for (size_t b = 0, e; b <= name.size(); b = e + 1) {
        e = name.find('.', b);
        if (e == std::string::npos) e = name.size();
        parts.push_back(name.substr(b, e - b));
      }
      std::string key;
      size_t used = 0;
      bool found = false;
      std::shared_ptr<pl::PackageInstance> pkg;
      if (pl::FindPackageMember(s_, parts, &key, &used, &found).ok() && found &&
          pl::Package(s_, key, &pkg).ok()) {
        for (const auto& e : pkg->spec_frame.exceptions)
          if (e.first == parts.back()) {
            *user = true;
            return e.second;
          }
      }
      return -1;
    }
    Lookup([&](Frame& f, int) {
      for (const auto& e : f.exceptions)
        if (e.first == name) {
          *user = true;
          code = e.second;
          return true;
        }
      return false;
    });
    if (*user) return code;
    return PredefinedCode(name);
  }

  // ---- values and types -------------------------------------------------------------

  Status Assign(Var* v, Value in) {
    if (v->not_null && in.null) return ValueError("NULL value not allowed");  // PLS-00382-ish at run time
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
           k == TypeKind::kNChar || k == TypeKind::kRaw) &&
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

  // The type of declaration range `r` (cached in the unit's runtime).
  Status TypeOf(const PlRange& r, uint32_t tok, TypeInfo* out) {
    auto it = rt_.types.find(&r);
    if (it != rt_.types.end()) {
      *out = it->second;
      return Status::Ok();
    }
    std::string unknown;
    pl::NamedType named = [&](const std::string& n, bool percent, TypeInfo* t) { return NamedType(n, percent, t); };
    TABDB_RETURN_IF_ERROR(pl::ResolveType(s_, u_, r, s_.current_schema(), named, out, &unknown));
    if (!unknown.empty()) return NotDeclared(tok, unknown);
    // A type naming a variable or cursor of the block is not kept: it
    // depends on what the block holds.
    if (!named_used_) rt_.types[&r] = *out;
    named_used_ = false;
    return Status::Ok();
  }

  // Record types, subtypes, var%TYPE and cursor%ROWTYPE of the block.
  bool NamedType(const std::string& name, bool percent, TypeInfo* out) {
    if (percent) {
      if (Var* v = Find(name)) {
        named_used_ = true;
        out->typed = v->typed;
        out->type = v->type;
        out->boolean = v->boolean;
        out->record = v->record;
        out->fields = v->fields;
        out->field_types.assign(v->fields.size(), TypeInfo());
        return true;
      }
      if (FindCursor(name) != nullptr) {
        named_used_ = true;
        out->record = true;
        return true;
      }
      return false;
    }
    const PlDecl* d = FindTypeDecl(name);
    if (d == nullptr) return false;
    named_used_ = true;
    if (d->kind == PlDeclKind::kSubtype) {
      std::string unknown;
      pl::NamedType named = [&](const std::string& n, bool p, TypeInfo* t) { return NamedType(n, p, t); };
      if (!pl::ResolveType(s_, u_, d->type, s_.current_schema(), named, out, &unknown).ok() || !unknown.empty())
        return false;
      out->not_null = out->not_null || d->not_null;
      return true;
    }
    if (d->kind == PlDeclKind::kOtherType) {
      unsupported_type_ = true;
      return true;
    }
    out->record = true;
    for (const sql::PlParam& f : d->params) {
      TypeInfo ft;
      std::string unknown;
      pl::NamedType named = [&](const std::string& n, bool p, TypeInfo* t) { return NamedType(n, p, t); };
      (void)pl::ResolveType(s_, u_, f.type, s_.current_schema(), named, &ft, &unknown);
      out->fields.push_back(f.name);
      out->field_types.push_back(ft);
    }
    return true;
  }

  static void TypeVar(Var* v, const TypeInfo& t) {
    v->typed = t.typed;
    v->type = t.type;
    v->boolean = t.boolean;
    v->record = t.record;
    v->not_null = t.not_null;
    if (t.record) {
      v->fields = t.fields;
      v->fvals.clear();
      for (size_t i = 0; i < t.fields.size(); ++i)
        v->fvals.push_back(i < t.field_types.size() && t.field_types[i].typed
                               ? Value::Null(t.field_types[i].type.kind)
                               : Value::Null(TypeKind::kVarchar2));
    } else if (v->typed && !v->boolean) {
      v->v = Value::Null(v->type.kind);
    }
  }

  Status Declare(const PlDecl& d, Frame& f) {
    switch (d.kind) {
      case PlDeclKind::kException:
        f.exceptions.emplace_back(d.name, 0);
        return Status::Ok();
      case PlDeclKind::kExceptionInit:
        for (auto& e : f.exceptions)
          if (e.first == d.name) {
            e.second = d.code;
            return Status::Ok();
          }
        return NotDeclared(d.tok, d.name);
      case PlDeclKind::kCursor: {
        for (auto& c : f.cursors)
          if (c->decl->name == d.name && !d.init.empty()) {
            c->decl = &d;  // the body's query for the specification's cursor
            return Status::Ok();
          }
        auto c = std::make_unique<Cursor>();
        c->decl = &d;
        f.cursors.push_back(std::move(c));
        return Status::Ok();
      }
      case PlDeclKind::kSubprogram:
        f.subs.push_back(&d);
        return Status::Ok();
      case PlDeclKind::kRecordType:
      case PlDeclKind::kSubtype:
      case PlDeclKind::kOtherType:
        f.types.push_back(&d);
        return Status::Ok();
      case PlDeclKind::kPragma:
        return Status::Ok();
      case PlDeclKind::kVar:
        break;
    }
    auto v = std::make_unique<Var>();
    v->name = d.name;
    v->constant = d.constant;
    if (RefCursorType(d.type)) {
      // A cursor variable: a cursor of the frame that OPEN ... FOR opens.
      auto c = std::make_unique<Cursor>();
      c->decl = &d;
      f.cursors.push_back(std::move(c));
      return Status::Ok();
    }
    std::shared_ptr<const pl::CollType> coll_type;
    TABDB_RETURN_IF_ERROR(CollTypeOf(d.type, &coll_type));
    if (coll_type) {
      v->coll = pl::NewCollection(coll_type);
      Var* raw = v.get();
      f.vars.push_back(std::move(v));
      if (d.init.empty()) return Status::Ok();
      return AssignCollection(raw, d.init, d.tok);
    }
    std::string first = t_[d.type.b].text;
    uint32_t n = d.type.e - d.type.b;
    if (n == 1 && (first == "VARCHAR2" || first == "VARCHAR" || first == "STRING" || first == "NVARCHAR2"))
      return CompileError(d.tok, "PLS-00215: String length constraints must be in range (1 .. 32767)",
                          "PL/SQL: Item ignored");
    TypeInfo t;
    unsupported_type_ = false;
    TABDB_RETURN_IF_ERROR(TypeOf(d.type, d.type.b, &t));
    if (unsupported_type_) return Unimplemented("PL/SQL collection and cursor variable types");
    TypeVar(v.get(), t);
    v->not_null = v->not_null || d.not_null;
    Var* raw = v.get();
    f.vars.push_back(std::move(v));
    if (!d.init.empty()) {
      if (raw->record) {
        TABDB_RETURN_IF_ERROR(AssignRecord(raw, d.init, d.tok));
      } else {
        Value init;
        TABDB_RETURN_IF_ERROR(raw->boolean ? EvalCond(d.init, &init) : EvalExpr(d.init, &init));
        TABDB_RETURN_IF_ERROR(Assign(raw, std::move(init)));
      }
    } else if (raw->not_null) {
      // PLS-00218: a variable declared NOT NULL must have an initialization assignment
      return CompileError(d.tok, "PLS-00218: a variable declared NOT NULL must have an initialization assignment",
                          "PL/SQL: Item ignored");
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
      if (t.kind == TokenKind::kIdent && !after_dot && !sym(k + 1, "=>") && RewriteSpecial(r, &k, out, refs))
        continue;
      if (t.kind != TokenKind::kIdent || after_dot || sym(k + 1, "(") || sym(k + 1, "=>")) {
        *out += Slice(k) + " ";
        continue;
      }
      Ref ref;
      auto placeholder = [&](bool cond) {
        refs->push_back(ref);
        std::string ph = ":" + std::to_string(refs->size());
        *out += cond ? "(" + ph + " = 1) " : ph + " ";
      };
      if (sym(k + 1, "%") && k + 2 < r.e) {
        const std::string& a = t_[k + 2].text;
        bool attr = a == "ROWCOUNT" || a == "FOUND" || a == "NOTFOUND" || a == "ISOPEN";
        if (t.text == "SQL" && attr) {
          ref.kind = a == "ROWCOUNT" ? Ref::kRowcount
                     : a == "FOUND"  ? Ref::kFound
                     : a == "NOTFOUND" ? Ref::kNotFound
                                       : Ref::kIsOpen;
          placeholder(a != "ROWCOUNT");
          k += 2;
          continue;
        }
        if (attr && FindCursor(t.text) != nullptr) {
          ref.kind = a == "ROWCOUNT" ? Ref::kCursorRowcount
                     : a == "FOUND"  ? Ref::kCursorFound
                     : a == "NOTFOUND" ? Ref::kCursorNotFound
                                       : Ref::kCursorIsOpen;
          ref.name = t.text;
          placeholder(a != "ROWCOUNT");
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
        placeholder(false);
        continue;
      }
      bool is_test = false;
      Var* v = Find(t.text);
      if (v == nullptr) {
        // pkg.var, schema.pkg.var: a variable of a package.
        if (sym(k + 1, ".") && k + 2 < r.e && t_[k + 2].kind == TokenKind::kIdent && !sym(k + 3, "(")) {
          std::vector<std::string> name = {t.text, t_[k + 2].text};
          if (sym(k + 3, ".") && k + 4 < r.e && t_[k + 4].kind == TokenKind::kIdent && !sym(k + 5, "("))
            name.push_back(t_[k + 4].text);
          std::string key;
          size_t used = 0;
          bool found = false;
          const PlDecl* member = nullptr;
          if (pl::FindPackageMember(s_, name, &key, &used, &found, &member).ok() && found &&
              member->kind == PlDeclKind::kVar) {
            // The package is instantiated when the statement runs; the
            // declaration tells what the member is.
            const sql::PlsqlUnit* spec = nullptr;
            CodeTokens(key, &spec);
            bool boolean = spec && member->type.e == member->type.b + 1 &&
                           spec->tokens[member->type.b].text == "BOOLEAN";
            ref.kind = Ref::kPackageVar;
            ref.package = key;
            ref.name = name[used];
            k += static_cast<uint32_t>(2 * used);
            if (used + 1 < name.size()) {
              ref.kind = Ref::kPackageField;
              ref.field = name[used + 1];
              k += 2;
            }
            is_test = k + 1 < r.e && t_[k + 1].text == "IS";
            placeholder(boolean && ref.kind == Ref::kPackageVar && !is_test);
            continue;
          }
        }
        *out += Slice(k) + " ";
        continue;
      }
      ref.name = v->name;
      if (v->record && sym(k + 1, ".") && k + 2 < r.e) {
        ref.kind = Ref::kField;
        ref.field = t_[k + 2].text;
        k += 2;
      }
      is_test = k + 1 < r.e && t_[k + 1].text == "IS";
      placeholder(v->boolean && ref.kind == Ref::kVar && !is_test);
    }
  }

  // The specification's unit of a package the session holds.
  void CodeTokens(const std::string& key, const sql::PlsqlUnit** out) {
    auto it = pl::State(s_).units.find("PACKAGE " + key);
    *out = it != pl::State(s_).units.end() && it->second && it->second->code ? it->second->code.get() : nullptr;
  }

  Status PackageVar(const std::string& key, const std::string& name, Var** out) {
    *out = nullptr;
    std::shared_ptr<pl::PackageInstance> pkg;
    TABDB_RETURN_IF_ERROR(pl::Package(s_, key, &pkg));
    for (auto& v : pkg->spec_frame.vars)
      if (v->name == name) *out = v.get();
    return Status::Ok();
  }

  Status CursorAttr(const Ref& r, uint32_t tok, Value* out) {
    Cursor* c = FindCursor(r.name);
    if (c == nullptr) return NotDeclared(tok, r.name);
    bool open = c->open != nullptr;
    if (r.kind == Ref::kCursorIsOpen) {
      *out = NumberOf(open ? 1 : 0);
      return Status::Ok();
    }
    if (!open) return OraError(ora::kInvalidCursor);
    if (r.kind == Ref::kCursorRowcount) {
      *out = NumberOf(c->rowcount);
    } else if (!c->fetched) {
      *out = Value::Null(TypeKind::kNumber);
    } else {
      *out = NumberOf(r.kind == Ref::kCursorFound ? c->found : !c->found);
    }
    return Status::Ok();
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
      case Ref::kSqlerrm: {
        if (r.index.empty()) {
          *out = Value::Of(TypeKind::kVarchar2, SqlErrm());
          return Status::Ok();
        }
        // SQLERRM(n): the message of error number n.
        Value i;
        int64_t n = 0;
        TABDB_RETURN_IF_ERROR(EvalExpr(Intern(r.index.b, r.index.e), &i));
        TABDB_RETURN_IF_ERROR(ToInt(i, tok, &n));
        std::string text = n == 0     ? "ORA-0000: normal, successful completion"
                           : n == 1   ? "User-Defined Exception"
                           : n == 100 ? OraError(ora::kNoDataFound).text()
                           : n < 0 && n > -100000 && OraMessageTemplate(static_cast<int>(-n)) != nullptr
                               ? OraError(static_cast<int>(-n)).text()
                               : "ORA" + std::to_string(n) + ": Message " + std::to_string(-n) + " not found;";
        size_t pct = text.find('%');
        if (pct != std::string::npos) text = text.substr(0, pct);  // the message without its arguments
        *out = Value::Of(TypeKind::kVarchar2, text);
        return Status::Ok();
      }
      case Ref::kCursorFound:
      case Ref::kCursorNotFound:
      case Ref::kCursorIsOpen:
      case Ref::kCursorRowcount:
        return CursorAttr(r, tok, out);
      case Ref::kElement:
      case Ref::kCollMethod:
      case Ref::kCollection:
        return CollectionRef(r, tok, out);
      case Ref::kBulkRowcount: {
        Value i;
        int64_t n = 0;
        TABDB_RETURN_IF_ERROR(EvalExpr(Intern(r.index.b, r.index.e), &i));
        TABDB_RETURN_IF_ERROR(ToInt(i, tok, &n));
        auto it = bulk_rowcount_.find(n);
        *out = NumberOf(it == bulk_rowcount_.end() ? 0 : it->second);
        return Status::Ok();
      }
      case Ref::kBulkExceptions: {
        if (r.index.empty()) {
          if (r.field != "COUNT") return NotDeclared(tok, "SQL%BULK_EXCEPTIONS." + r.field);
          *out = NumberOf(static_cast<int64_t>(bulk_errors_.size()));
          return Status::Ok();
        }
        Value i;
        int64_t n = 0;
        TABDB_RETURN_IF_ERROR(EvalExpr(Intern(r.index.b, r.index.e), &i));
        TABDB_RETURN_IF_ERROR(ToInt(i, tok, &n));
        if (n < 1 || n > static_cast<int64_t>(bulk_errors_.size())) return OraError(ora::kNoDataFound);
        const auto& e = bulk_errors_[static_cast<size_t>(n - 1)];
        if (r.field == "ERROR_INDEX") *out = NumberOf(e.first);
        else if (r.field == "ERROR_CODE") *out = NumberOf(e.second);
        else return CompileError(tok, "PLS-00302: component '" + r.field + "' must be declared", "PL/SQL: Statement ignored");
        return Status::Ok();
      }
      case Ref::kCallValue: {
        ArgValue result;
        bool done = false;
        TABDB_RETURN_IF_ERROR(DirectCallValue(Intern(r.index.b, r.index.e), &result, &done));
        if (!done) return NotDeclared(r.index.b, t_[r.index.b].text);
        *out = std::move(result.v);
        return Status::Ok();
      }
      case Ref::kErrorStack:
      case Ref::kErrorBacktrace:
        *out = Value::Of(TypeKind::kVarchar2, ErrorStack(r.kind == Ref::kErrorBacktrace));
        if (out->bytes.empty()) *out = Value::Null(TypeKind::kVarchar2);
        return Status::Ok();
      case Ref::kGetTime: {
        auto now = std::chrono::steady_clock::now().time_since_epoch();
        int64_t cs = std::chrono::duration_cast<std::chrono::milliseconds>(now).count() / 10;
        *out = NumberOf(cs % 2147483647);
        return Status::Ok();
      }
      case Ref::kVar:
      case Ref::kField:
      case Ref::kPackageVar:
      case Ref::kPackageField:
        break;
    }
    Var* v = nullptr;
    if (r.kind == Ref::kPackageVar || r.kind == Ref::kPackageField) {
      TABDB_RETURN_IF_ERROR(PackageVar(r.package, r.name, &v));
    } else {
      v = Find(r.name);
    }
    if (v == nullptr) return NotDeclared(tok, r.name);
    if (r.kind == Ref::kVar || r.kind == Ref::kPackageVar) {
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

  // The compiled form of range `r` for `mode`, made on first use and kept
  // in the unit's runtime.
  Status Compile(const PlRange& r, PlRange skip, Mode mode, uint32_t tok,
                 std::shared_ptr<Compiled>* out) {
    *out = rt_.statements.Find(&r, mode);
    if (*out) return Status::Ok();
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
    rt_.statements.Add(&r, mode, c);
    *out = std::move(c);
    return Status::Ok();
  }

  Status SqlCompileError(const Status& st, uint32_t tok, Mode mode) const {
    if (mode != kSqlMode && st.code() == ora::kInvalidIdentifier) {
      // "A"."B": invalid identifier -> identifier 'A.B'
      size_t a = st.text().find('"');
      size_t b = st.text().rfind("\": invalid identifier");
      if (a != std::string::npos && b != std::string::npos && b > a) {
        std::string name;
        for (char ch : st.text().substr(a + 1, b - a - 1))
          if (ch != '"') name += ch;
        return NotDeclared(tok, name);
      }
    }
    // Errors of stored units that are called pass through as they are; in a
    // stored unit, whose SQL compiled when it was created, what fails to
    // compile now (an invoker's-rights unit's table the caller may not
    // read) is an error of the run.
    if (st.code() == ora::kPlsqlLineColumn || st.text().find("\nORA-06512: ") != std::string::npos ||
        ctx_.unit != nullptr)
      return st;
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
        if (v != nullptr && !v->record && !v->boolean && !v->coll) {
          *out = v->v;
          return Status::Ok();
        }
      }
    }
    bool done = false;
    TABDB_RETURN_IF_ERROR(CollectionValue(r, out, &done));
    if (done) return Status::Ok();
    TABDB_RETURN_IF_ERROR(Fast(r, false, out, &done));
    if (done) return Status::Ok();
    TABDB_RETURN_IF_ERROR(DirectCall(r, false, out, &done));
    if (done) return Status::Ok();
    return EvalSql(r, kExprMode, TypeKind::kVarchar2, out);
  }

  // Plain arithmetic and conditions over variables, without SQL.
  Status Fast(const PlRange& r, bool cond, Value* out, bool* done) {
    *done = false;
    auto it = rt_.fast.find(&r);
    if (it == rt_.fast.end()) it = rt_.fast.emplace(&r, pl::FastExpr::Parse(u_, r)).first;
    if (!it->second) return Status::Ok();
    struct Names : pl::FastExpr::Names {
      explicit Names(Runner& r) : runner(r) {}
      const Var* Find(const std::string& name) override {
        const Var* v = runner.Find(name);
        return v != nullptr && v->coll ? nullptr : v;
      }
      Runner& runner;
    } names(*this);
    return it->second->Eval(names, cond, out, done);
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
    bool done = false;
    TABDB_RETURN_IF_ERROR(Fast(r, true, out, &done));
    if (done) return Status::Ok();
    TABDB_RETURN_IF_ERROR(DirectCall(r, true, out, &done));
    if (done) return Status::Ok();
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
    if (into.size() == 1) {
      size_t used = 0;
      Var* v = nullptr;
      TABDB_RETURN_IF_ERROR(TargetVar(into[0], &v, &used));
      if (v != nullptr && v->record && into[0].size() == used) {
        if (!v->fields.empty() && v->fields.size() != row.size())
          return OraError(v->fields.size() < row.size() ? ora::kTooManyValues : ora::kNotEnoughValues);
        if (v->fields.empty()) v->fields = names;
        v->fvals = std::move(row);
        return Status::Ok();
      }
    }
    if (into.size() < row.size()) return OraError(ora::kTooManyValues);
    if (into.size() > row.size()) return OraError(ora::kNotEnoughValues);
    for (size_t i = 0; i < into.size(); ++i) TABDB_RETURN_IF_ERROR(Store(into[i], tok, std::move(row[i])));
    return Status::Ok();
  }

  // The variable a target names: a variable of the block, or pkg.var (its
  // package instantiated: the error of its initialisation, if any).
  Status TargetVar(const std::vector<std::string>& target, Var** out, size_t* used = nullptr) {
    if (used) *used = 1;
    *out = Find(target[0]);
    if (*out != nullptr || target.size() < 2) return Status::Ok();
    std::string key;
    size_t n = 0;
    bool found = false;
    TABDB_RETURN_IF_ERROR(pl::FindPackageMember(s_, target, &key, &n, &found));
    if (!found) return Status::Ok();
    TABDB_RETURN_IF_ERROR(PackageVar(key, target[n], out));
    if (used) *used = n + 1;
    return Status::Ok();
  }

  Status Store(const std::vector<std::string>& target, uint32_t tok, Value v) {
    size_t used = 1;
    Var* var = nullptr;
    TABDB_RETURN_IF_ERROR(TargetVar(target, &var, &used));
    if (var == nullptr) return NotDeclared(tok, target[0]);
    if (var->constant)
      return CompileError(tok, "PLS-00363: expression '" + target[0] + "' cannot be used as an assignment target",
                          "PL/SQL: Statement ignored");
    if (target.size() == used) return Assign(var, std::move(v));
    if (!var->record) return NotDeclared(tok, target[0] + "." + target[used]);
    const std::string& field = target[used];
    for (size_t i = 0; i < var->fields.size(); ++i)
      if (var->fields[i] == field) {
        var->fvals[i] = std::move(v);
        return Status::Ok();
      }
    var->fields.push_back(field);
    var->fvals.push_back(std::move(v));
    return Status::Ok();
  }

  // rec := other_rec, rec := f(...) returning a record.
  Status AssignRecord(Var* target, const PlRange& r, uint32_t tok) {
    if (r.e == r.b + 1 && t_[r.b].kind == TokenKind::kIdent) {
      Var* src = Find(t_[r.b].text);
      if (src != nullptr && src->record) {
        if (!target->fields.empty() && !src->fields.empty() && target->fields.size() != src->fields.size())
          return CompileError(tok, "PLS-00382: expression is of wrong type", "PL/SQL: Statement ignored");
        if (target->fields.empty()) target->fields = src->fields;
        target->fvals = src->fvals;
        return Status::Ok();
      }
    }
    const pl::Element* elem = nullptr;
    TABDB_RETURN_IF_ERROR(ElementOfRange(r, &elem));
    if (elem != nullptr) {
      if (elem->fields.empty())
        return CompileError(tok, "PLS-00382: expression is of wrong type", "PL/SQL: Statement ignored");
      if (target->fields.empty()) target->fields = elem->fields;
      target->fvals = elem->fvals;
      return Status::Ok();
    }
    ArgValue result;
    bool done = false;
    TABDB_RETURN_IF_ERROR(DirectCallValue(r, &result, &done));
    if (!done || !result.record)
      return CompileError(tok, "PLS-00382: expression is of wrong type", "PL/SQL: Statement ignored");
    if (target->fields.empty()) target->fields = result.fields;
    target->fvals = std::move(result.fvals);
    return Status::Ok();
  }

  // ---- collections ------------------------------------------------------------

  // Range [b, e) kept in the unit's runtime, so that what is compiled for
  // it is found again.
  const PlRange& Intern(uint32_t b, uint32_t e) {
    return rt_.ranges.emplace(std::make_pair(b, e), PlRange{b, e}).first->second;
  }

  // The token closing the parenthesis opened at `open`, or `end`.
  uint32_t Closing(uint32_t open, uint32_t end) const {
    int depth = 0;
    for (uint32_t k = open; k < end; ++k) {
      if (t_[k].kind != TokenKind::kSymbol) continue;
      if (t_[k].text == "(") ++depth;
      if (t_[k].text == ")" && --depth == 0) return k;
    }
    return end;
  }

  // The collection type that type range `r` names: a TABLE OF or VARRAY
  // type of the block or of a package specification; null for any other.
  Status CollTypeOf(const PlRange& r, std::shared_ptr<const pl::CollType>* out) {
    out->reset();
    if (r.empty() || (r.e - r.b) % 2 == 0) return Status::Ok();
    if (r.e == r.b + 3 && t_[r.b + 1].text == "%" && t_[r.b + 2].text == "TYPE") {
      Var* v = Find(t_[r.b].text);  // v%TYPE of a collection variable
      if (v != nullptr && v->coll) *out = v->coll->type;
      return Status::Ok();
    }
    std::vector<std::string> name;
    for (uint32_t k = r.b; k < r.e; ++k) {
      bool word = t_[k].kind == TokenKind::kIdent || t_[k].kind == TokenKind::kQuotedIdent;
      if ((k - r.b) % 2 == 0 ? !word : t_[k].text != ".") return Status::Ok();
      if (word) name.push_back(t_[k].text);
    }
    const PlDecl* d = nullptr;
    const sql::PlsqlUnit* unit = &u_;
    std::string schema = s_.current_schema();
    if (name.size() == 1) {
      d = FindTypeDecl(name[0]);
      // A package body sees its specification's types, of the
      // specification's tokens.
      if (d != nullptr && ctx_.package != nullptr && !ctx_.spec_code && ctx_.package->spec)
        for (const PlDecl* x : ctx_.package->spec_frame.types)
          if (x == d) {
            unit = ctx_.package->spec->code.get();
            schema = ctx_.package->owner;
          }
    } else {
      std::string key;
      size_t used = 0;
      bool found = false;
      const PlDecl* member = nullptr;
      if (pl::FindPackageMember(s_, name, &key, &used, &found, &member).ok() && found && used + 1 == name.size()) {
        CodeTokens(key, &unit);
        d = unit != nullptr ? member : nullptr;
        schema = key.substr(0, key.find('.'));
      }
    }
    if (d == nullptr || d->kind != PlDeclKind::kOtherType) return Status::Ok();
    auto known = coll_types_.find(d);
    if (known != coll_types_.end()) {
      *out = known->second;
      return Status::Ok();
    }
    const std::vector<Token>& t = unit->tokens;
    auto word = [&](uint32_t k, const char* w) { return k < d->type.e && t[k].kind == TokenKind::kIdent && t[k].text == w; };
    auto type = std::make_shared<pl::CollType>();
    type->name = d->name;
    uint32_t k = d->type.b;
    if (word(k, "TABLE") && word(k + 1, "OF")) {
      type->kind = pl::CollType::kNested;
      k += 2;
    } else if (word(k, "VARRAY") || (word(k, "VARYING") && word(k + 1, "ARRAY"))) {
      k += word(k, "VARRAY") ? 1 : 2;
      if (k + 3 >= d->type.e || t[k].text != "(" || t[k + 1].kind != TokenKind::kNumber || t[k + 2].text != ")" ||
          !word(k + 3, "OF"))
        return Status::Ok();
      type->kind = pl::CollType::kVarray;
      type->limit = std::atoll(t[k + 1].text.c_str());
      k += 4;
    } else {
      return Status::Ok();  // REF CURSOR and the like
    }
    PlRange elem{k, k};
    while (elem.e < d->type.e && !word(elem.e, "INDEX") && !(word(elem.e, "NOT") && word(elem.e + 1, "NULL")))
      ++elem.e;
    for (uint32_t j = elem.e; j < d->type.e; ++j) {
      if (!word(j, "INDEX") || !word(j + 1, "BY") || j + 2 >= d->type.e) continue;
      type->kind = pl::CollType::kAssoc;
      const std::string& key = t[j + 2].text;
      type->string_key = key == "VARCHAR2" || key == "VARCHAR" || key == "STRING" || key == "LONG" ||
                         key == "NVARCHAR2";
    }
    std::string unknown;
    pl::NamedType named = [&](const std::string& n, bool p, TypeInfo* ti) {
      if (unit == &u_) return NamedType(n, p, ti);
      for (const PlDecl& x : unit->block.decls) {
        if (x.name != n || x.kind != PlDeclKind::kRecordType || p) continue;
        ti->record = true;
        for (const sql::PlParam& f : x.params) {
          TypeInfo ft;
          std::string unk;
          (void)pl::ResolveType(s_, *unit, f.type, schema, nullptr, &ft, &unk);
          ti->fields.push_back(f.name);
          ti->field_types.push_back(ft);
        }
        return true;
      }
      return false;
    };
    TABDB_RETURN_IF_ERROR(pl::ResolveType(s_, *unit, elem, schema, named, &type->elem, &unknown));
    named_used_ = false;
    if (!unknown.empty()) return NotDeclared(elem.b, unknown);
    coll_types_[d] = type;
    *out = std::move(type);
    return Status::Ok();
  }

  // At token *k of range `r`: a collection's element or method, a
  // DBMS_DB_VERSION constant or a DBMS_UTILITY function, written as a
  // placeholder or literal (*k then at its last token). False for
  // anything else.
  bool RewriteSpecial(PlRange r, uint32_t* k, std::string* out, std::vector<Ref>* refs) {
    auto sym = [&](uint32_t j, const char* s) {
      return j < r.e && t_[j].kind == TokenKind::kSymbol && t_[j].text == s;
    };
    const Token& t = t_[*k];
    bool dotted = sym(*k + 1, ".") && *k + 2 < r.e && t_[*k + 2].kind == TokenKind::kIdent;
    Ref ref;
    auto placeholder = [&](bool cond) {
      refs->push_back(ref);
      std::string ph = ":" + std::to_string(refs->size());
      *out += cond ? "(" + ph + " = 1) " : ph + " ";
      return true;
    };
    if (t.text == "VALUES" && t_[r.b].text == "INSERT" && *k + 1 < r.e) return RecordValues(r, k, out, refs);
    if (t.text == "SQL" && sym(*k + 1, "%") && *k + 3 < r.e && t_[*k + 2].text == "BULK_ROWCOUNT" &&
        sym(*k + 3, "(")) {
      uint32_t close = Closing(*k + 3, r.e);
      if (close >= r.e) return false;
      ref.kind = Ref::kBulkRowcount;
      ref.index = PlRange{*k + 4, close};
      *k = close;
      return placeholder(false);
    }
    if (t.text == "SQLERRM" && sym(*k + 1, "(") && Find(t.text) == nullptr) {
      uint32_t close = Closing(*k + 1, r.e);
      if (close >= r.e) return false;
      ref.kind = Ref::kSqlerrm;
      ref.index = PlRange{*k + 2, close};
      *k = close;
      return placeholder(false);
    }
    if (t.text == "SQL" && sym(*k + 1, "%") && *k + 4 < r.e && t_[*k + 2].text == "BULK_EXCEPTIONS") {
      ref.kind = Ref::kBulkExceptions;
      uint32_t j = *k + 3;
      if (sym(j, "(")) {
        uint32_t close = Closing(j, r.e);
        if (close >= r.e) return false;
        ref.index = PlRange{j + 1, close};
        j = close + 1;
      }
      if (!sym(j, ".") || j + 1 >= r.e) return false;
      ref.field = t_[j + 1].text;
      *k = j + 1;
      return placeholder(false);
    }
    if (t.text == "DBMS_DB_VERSION" && dotted && Find(t.text) == nullptr) {
      std::string literal;
      if (!sql::DbVersionConstant(t_[*k + 2].text, &literal)) return false;
      *out += literal + " ";
      *k += 2;
      return true;
    }
    if (t.text == "DBMS_UTILITY" && dotted && Find(t.text) == nullptr) {
      const std::string& f = t_[*k + 2].text;
      ref.kind = f == "FORMAT_ERROR_STACK"       ? Ref::kErrorStack
                 : f == "FORMAT_ERROR_BACKTRACE" ? Ref::kErrorBacktrace
                 : f == "GET_TIME"               ? Ref::kGetTime
                                                 : Ref::kVar;
      if (ref.kind == Ref::kVar) return false;
      *k += 2;
      if (sym(*k + 1, "(") && sym(*k + 2, ")")) *k += 2;
      return placeholder(false);
    }
    Var* v = Find(t.text);
    if (v == nullptr && CallWithCollection(r, *k, &ref.index)) {
      ref.kind = Ref::kCallValue;
      *k = ref.index.e - 1;
      return placeholder(false);
    }
    if (v == nullptr && dotted) {
      // pkg.coll, schema.pkg.coll: a collection of a package, found when
      // the statement runs.
      std::vector<std::string> name = {t.text, t_[*k + 2].text};
      if (sym(*k + 3, ".") && *k + 4 < r.e && t_[*k + 4].kind == TokenKind::kIdent) name.push_back(t_[*k + 4].text);
      std::string key;
      size_t used = 0;
      bool found = false;
      const PlDecl* member = nullptr;
      const sql::PlsqlUnit* spec = nullptr;
      if (!pl::FindPackageMember(s_, name, &key, &used, &found, &member).ok() || !found ||
          member->kind != PlDeclKind::kVar)
        return false;
      CodeTokens(key, &spec);
      if (spec == nullptr || !CollectionDecl(*spec, *member)) return false;
      ref.package = key;
      ref.name = name[used];
      *k += static_cast<uint32_t>(2 * used);
      dotted = sym(*k + 1, ".") && *k + 2 < r.e && t_[*k + 2].kind == TokenKind::kIdent;
    } else if (v == nullptr || !v->coll) {
      return false;
    } else {
      ref.name = v->name;
    }
    bool cond = false;
    if (sym(*k + 1, "(")) {
      uint32_t close = Closing(*k + 1, r.e);
      if (close >= r.e) return false;
      ref.kind = Ref::kElement;
      ref.index = PlRange{*k + 2, close};
      *k = close;
      if (sym(*k + 1, ".") && *k + 2 < r.e && t_[*k + 2].kind == TokenKind::kIdent) {
        ref.field = t_[*k + 2].text;
        *k += 2;
      }
    } else if (dotted && pl::IsValueMethod(t_[*k + 2].text)) {
      ref.kind = Ref::kCollMethod;
      ref.field = t_[*k + 2].text;
      *k += 2;
      if (sym(*k + 1, "(")) {
        uint32_t close = Closing(*k + 1, r.e);
        if (close >= r.e) return false;
        ref.index = PlRange{*k + 2, close};
        *k = close;
      }
      cond = ref.field == "EXISTS";
    } else {
      ref.kind = Ref::kCollection;
    }
    return placeholder(cond);
  }

  // Whether variable `d` of package specification `spec` is of one of its
  // collection types.
  static bool CollectionDecl(const sql::PlsqlUnit& spec, const PlDecl& d) {
    if (d.type.e != d.type.b + 1) return false;
    const std::string& type = spec.tokens[d.type.b].text;
    for (const PlDecl& x : spec.block.decls)
      if (x.kind == PlDeclKind::kOtherType && x.name == type && !x.type.empty()) {
        const std::string& w = spec.tokens[x.type.b].text;
        return w == "TABLE" || w == "VARRAY" || w == "VARYING";
      }
    return false;
  }

  // Whether tokens from `k` are a call [a.[b.]]f(...) with a collection
  // variable as one of its arguments, which SQL cannot pass: *call is
  // then the call's range, for PL/SQL to run before the statement.
  bool CallWithCollection(PlRange r, uint32_t k, PlRange* call) {
    uint32_t j = k;
    while (j + 2 < r.e && t_[j + 1].text == "." && t_[j + 2].kind == TokenKind::kIdent) j += 2;
    if (j + 1 >= r.e || t_[j + 1].text != "(") return false;
    uint32_t close = Closing(j + 1, r.e);
    if (close >= r.e) return false;
    int depth = 0;
    for (uint32_t a = j + 2; a < close; ++a) {
      const std::string& x = t_[a].kind == TokenKind::kSymbol ? t_[a].text : std::string();
      if (x == "(") ++depth;
      if (x == ")") --depth;
      bool alone = depth == 0 && t_[a].kind == TokenKind::kIdent && (t_[a - 1].text == "(" || t_[a - 1].text == ",") &&
                   (t_[a + 1].text == ")" || t_[a + 1].text == ",");
      if (!alone) continue;
      Var* v = Find(t_[a].text);
      if (v != nullptr && v->coll) {
        *call = PlRange{k, close + 1};
        return true;
      }
    }
    return false;
  }

  // INSERT ... VALUES rec | VALUES coll(i) of records: the record's
  // fields as the row's values.
  bool RecordValues(PlRange r, uint32_t* k, std::string* out, std::vector<Ref>* refs) {
    uint32_t j = *k + 1;
    if (t_[j].kind != TokenKind::kIdent) return false;
    Var* v = Find(t_[j].text);
    if (v == nullptr) return false;
    Ref ref;
    ref.name = v->name;
    const std::vector<std::string>* fields = nullptr;
    uint32_t last = j;
    if (v->record) {
      ref.kind = Ref::kField;
      fields = &v->fields;
    } else if (v->coll && v->coll->type->elem.record && j + 1 < r.e && t_[j + 1].text == "(") {
      last = Closing(j + 1, r.e);
      if (last >= r.e) return false;
      ref.kind = Ref::kElement;
      ref.index = PlRange{j + 2, last};
      fields = &v->coll->type->elem.fields;
    }
    if (fields == nullptr || fields->empty() || (last + 1 < r.e && t_[last + 1].text != "RETURNING")) return false;
    *out += "VALUES ( ";
    for (size_t i = 0; i < fields->size(); ++i) {
      ref.field = (*fields)[i];
      refs->push_back(ref);
      *out += (i ? ", :" : ":") + std::to_string(refs->size()) + " ";
    }
    *out += ") ";
    *k = last;
    return true;
  }

  // The value of a collection's element or method.
  Status CollectionRef(const Ref& r, uint32_t tok, Value* out) {
    Value arg;
    bool has = !r.index.empty();
    if (has) TABDB_RETURN_IF_ERROR(EvalExpr(Intern(r.index.b, r.index.e), &arg));
    Var* v = nullptr;
    if (r.package.empty()) v = Find(r.name);
    else TABDB_RETURN_IF_ERROR(PackageVar(r.package, r.name, &v));
    if (v == nullptr || !v->coll) return NotDeclared(tok, r.name);
    const pl::Collection& c = *v->coll;
    if (r.kind == Ref::kCollection) {
      *out = c.null ? Value::Null(TypeKind::kNumber) : NumberOf(1);
      return Status::Ok();
    }
    if (r.kind == Ref::kCollMethod) return pl::ValueMethod(c, r.field, has ? &arg : nullptr, out);
    TABDB_RETURN_IF_ERROR(pl::CheckInitialized(c));
    pl::CollKey key;
    TABDB_RETURN_IF_ERROR(pl::KeyOf(c, arg, &key));
    const pl::Element* e = nullptr;
    TABDB_RETURN_IF_ERROR(pl::ElementAt(c, key, &e));
    if (r.field.empty()) {
      if (c.type->elem.record) return CompileError(tok, "PLS-00382: expression is of wrong type", "PL/SQL: Statement ignored");
      *out = e->v;
      return Status::Ok();
    }
    for (size_t i = 0; i < e->fields.size(); ++i)
      if (e->fields[i] == r.field) {
        *out = e->fvals[i];
        return Status::Ok();
      }
    return CompileError(tok, "PLS-00302: component '" + r.field + "' must be declared", "PL/SQL: Statement ignored");
  }

  // DBMS_UTILITY.FORMAT_ERROR_STACK (the messages of the error handled) or
  // FORMAT_ERROR_BACKTRACE (the lines it passed), each line ending in a
  // newline.
  std::string ErrorStack(bool backtrace) const {
    if (handling_.empty()) return std::string();
    std::string text = handling_.back().code() == ora::kUnhandledUserException
                           ? "ORA-06510: PL/SQL: unhandled user-defined exception"
                           : handling_.back().text();
    if (text.compare(0, 4, "ORA-") != 0) text = SqlErrm();
    std::string out;
    for (size_t b = 0; b < text.size();) {
      size_t e = text.find('\n', b);
      if (e == std::string::npos) e = text.size();
      std::string line = text.substr(b, e - b);
      bool at = line.compare(0, 10, "ORA-06512:") == 0;
      if (at == backtrace) out += line + "\n";
      b = e + 1;
    }
    return out;
  }

  // A value for an element of `type`, converted and checked as an
  // assignment to a variable of the element's type.
  Status ToElement(const pl::CollType& type, Value in, pl::Element* e) {
    Var tmp;
    TypeVar(&tmp, type.elem);
    TABDB_RETURN_IF_ERROR(Assign(&tmp, std::move(in)));
    e->v = std::move(tmp.v);
    return Status::Ok();
  }

  // The element range `r` reads when it is exactly coll(subscript); null
  // when it is something else.
  Status ElementOfRange(const PlRange& r, const pl::Element** out) {
    *out = nullptr;
    if (r.e < r.b + 4 || t_[r.b].kind != TokenKind::kIdent || t_[r.b + 1].text != "(" ||
        Closing(r.b + 1, r.e) != r.e - 1)
      return Status::Ok();
    Var* v = Find(t_[r.b].text);
    if (v == nullptr || !v->coll) return Status::Ok();
    Value idx;
    TABDB_RETURN_IF_ERROR(EvalExpr(Intern(r.b + 2, r.e - 1), &idx));
    TABDB_RETURN_IF_ERROR(pl::CheckInitialized(*v->coll));
    pl::CollKey key;
    TABDB_RETURN_IF_ERROR(pl::KeyOf(*v->coll, idx, &key));
    return pl::ElementAt(*v->coll, key, out);
  }

  // A range that is exactly v(i) of a collection of scalars, or v.COUNT
  // and the other methods without argument: its value without SQL.
  Status CollectionValue(const PlRange& r, Value* out, bool* done) {
    *done = false;
    if (r.e < r.b + 3 || t_[r.b].kind != TokenKind::kIdent) return Status::Ok();
    bool method = r.e == r.b + 3 && t_[r.b + 1].text == "." && pl::IsValueMethod(t_[r.b + 2].text);
    if (!method && t_[r.b + 1].text != "(") return Status::Ok();
    Var* v = Find(t_[r.b].text);
    if (v == nullptr || !v->coll) return Status::Ok();
    if (method) {
      *done = true;
      return pl::ValueMethod(*v->coll, t_[r.b + 2].text, nullptr, out);
    }
    if (v->coll->type->elem.record) return Status::Ok();
    const pl::Element* e = nullptr;
    TABDB_RETURN_IF_ERROR(ElementOfRange(r, &e));
    if (e == nullptr) return Status::Ok();
    *out = e->v;
    *done = true;
    return Status::Ok();
  }

  // coll := NULL | other collection | constructor(...) | function(...).
  Status AssignCollection(Var* target, const PlRange& r, uint32_t tok) {
    const std::shared_ptr<const pl::CollType>& type = target->coll->type;
    auto wrong = [&] { return CompileError(tok, "PLS-00382: expression is of wrong type", "PL/SQL: Statement ignored"); };
    if (r.e == r.b + 1 && t_[r.b].kind == TokenKind::kIdent) {
      if (t_[r.b].text == "NULL") {
        if (type->kind == pl::CollType::kAssoc) return wrong();
        target->coll = pl::NewCollection(type);
        return Status::Ok();
      }
      Var* src = Find(t_[r.b].text);
      if (src != nullptr && src->coll) {
        if (src->coll->type->name != type->name) return wrong();
        if (src != target) target->coll = std::make_shared<pl::Collection>(*src->coll);
        return Status::Ok();
      }
    }
    // A constructor: the type's name and its elements.
    uint32_t open = r.b;
    while (open < r.e && t_[open].text != "(") ++open;
    std::shared_ptr<const pl::CollType> ctor;
    if (open > r.b && open < r.e) TABDB_RETURN_IF_ERROR(CollTypeOf(Intern(r.b, open), &ctor));
    if (ctor && Closing(open, r.e) == r.e - 1) {
      if (ctor->name != type->name || ctor->kind == pl::CollType::kAssoc) return wrong();
      auto c = pl::NewCollection(ctor);
      c->null = false;
      uint32_t start = open + 1;
      int depth = 0;
      for (uint32_t j = open + 1; j < r.e && start < r.e - 1; ++j) {
        const std::string& x = t_[j].kind == TokenKind::kSymbol ? t_[j].text : std::string();
        if (x == "(") ++depth;
        if (x == ")") --depth;
        if (!((x == "," && depth == 0) || j == r.e - 1)) continue;
        const PlRange& a = Intern(start, j);
        if (a.empty()) return wrong();
        ++c->size;
        if (ctor->kind == pl::CollType::kVarray && c->size > ctor->limit) return pl::SubscriptOutsideLimit();
        pl::Element e;
        if (ctor->elem.record) {
          Var tmp;
          TypeVar(&tmp, ctor->elem);
          TABDB_RETURN_IF_ERROR(AssignRecord(&tmp, a, tok));
          e.fields = tmp.fields;
          e.fvals = std::move(tmp.fvals);
        } else {
          Value v;
          TABDB_RETURN_IF_ERROR(ctor->elem.boolean ? EvalCond(a, &v) : EvalExpr(a, &v));
          TABDB_RETURN_IF_ERROR(ToElement(*ctor, std::move(v), &e));
        }
        c->items.emplace(pl::CollKey{c->size, std::string()}, std::move(e));
        start = j + 1;
      }
      target->coll = std::move(c);
      return Status::Ok();
    }
    ArgValue result;
    bool done = false;
    TABDB_RETURN_IF_ERROR(DirectCallValue(r, &result, &done));
    if (!done || !result.coll || result.coll->type->name != type->name) return wrong();
    target->coll = std::move(result.coll);
    return Status::Ok();
  }

  // v := ..., v(i) := ..., v(i).field := ... of a collection v.
  // `used`: the names of st.target that name v (pkg.v), a field after them.
  Status AssignElement(const PlStmt& st, Var* v, size_t used) {
    const std::string field = st.target.size() > used ? st.target[used] : std::string();
    if (v->constant)
      return CompileError(st.tok, "PLS-00363: expression '" + st.target[0] + "' cannot be used as an assignment target",
                          "PL/SQL: Statement ignored");
    if (!v->coll)
      return CompileError(st.tok, "PLS-00222: no function with name '" + st.target[0] + "' exists in this scope",
                          "PL/SQL: Statement ignored");
    if (st.index.empty()) {
      if (!field.empty())
        return CompileError(st.tok, "PLS-00302: component '" + field + "' must be declared",
                            "PL/SQL: Statement ignored");
      return AssignCollection(v, st.expr, st.tok);
    }
    const pl::CollType& type = *v->coll->type;
    Value idx;
    TABDB_RETURN_IF_ERROR(EvalExpr(st.index, &idx));
    TABDB_RETURN_IF_ERROR(pl::CheckInitialized(*v->coll));
    pl::CollKey key;
    TABDB_RETURN_IF_ERROR(pl::KeyOf(*v->coll, idx, &key));
    pl::Element e;
    if (!field.empty()) {
      if (!type.elem.record)
        return CompileError(st.tok, "PLS-00302: component '" + field + "' must be declared",
                            "PL/SQL: Statement ignored");
      Value val;
      TABDB_RETURN_IF_ERROR(EvalExpr(st.expr, &val));
      pl::Element* slot = nullptr;
      TABDB_RETURN_IF_ERROR(pl::ElementFor(*v->coll, key, &slot));
      for (size_t i = 0; i < slot->fields.size(); ++i)
        if (slot->fields[i] == field) {
          Var tmp;
          if (i < type.elem.field_types.size()) TypeVar(&tmp, type.elem.field_types[i]);
          TABDB_RETURN_IF_ERROR(Assign(&tmp, std::move(val)));
          slot->fvals[i] = std::move(tmp.v);
          return Status::Ok();
        }
      return CompileError(st.tok, "PLS-00302: component '" + field + "' must be declared",
                          "PL/SQL: Statement ignored");
    }
    if (type.elem.record) {
      Var tmp;
      TypeVar(&tmp, type.elem);
      TABDB_RETURN_IF_ERROR(AssignRecord(&tmp, st.expr, st.tok));
      e.fields = tmp.fields;
      e.fvals = std::move(tmp.fvals);
    } else {
      Value val;
      TABDB_RETURN_IF_ERROR(type.elem.boolean ? EvalCond(st.expr, &val) : EvalExpr(st.expr, &val));
      TABDB_RETURN_IF_ERROR(ToElement(type, std::move(val), &e));
    }
    pl::Element* slot = nullptr;
    TABDB_RETURN_IF_ERROR(pl::ElementFor(*v->coll, key, &slot));
    *slot = std::move(e);
    return Status::Ok();
  }

  // v.EXTEND, v.TRIM, v.DELETE with their arguments.
  Status CollectionCall(const PlStmt& st, Var* v, const std::string& method) {
    if (!pl::IsChangeMethod(method))
      return CompileError(st.tok, "PLS-00302: component '" + method + "' must be declared", "PL/SQL: Statement ignored");
    bool assoc = v->coll->type->kind == pl::CollType::kAssoc;
    size_t most = method == "TRIM" ? 1 : 2;
    if (st.args.size() > most || (assoc && method != "DELETE") ||
        (v->coll->type->kind == pl::CollType::kVarray && method == "DELETE" && !st.args.empty()))
      return CompileError(st.tok, "PLS-00306: wrong number or types of arguments in call to '" + method + "'",
                          "PL/SQL: Statement ignored");
    std::vector<Value> args(st.args.size());
    for (size_t i = 0; i < st.args.size(); ++i) TABDB_RETURN_IF_ERROR(EvalExpr(st.args[i], &args[i]));
    return pl::ChangeMethod(*v->coll, method, args);
  }

  // FORALL i IN lo .. hi | INDICES OF v: the statement once per index;
  // SQL%ROWCOUNT then counts the rows of all of them.
  Status Forall(const PlStmt& st, Flow* f) {
    std::vector<int64_t> indexes;
    if (!st.name.empty()) {
      Var* c = Find(st.name);
      if (c == nullptr || !c->coll) return NotDeclared(st.tok, st.name);
      TABDB_RETURN_IF_ERROR(pl::CheckInitialized(*c->coll));
      if (c->coll->type->string_key)
        return CompileError(st.tok, "PLS-00306: wrong number or types of arguments in call to 'INDICES OF'",
                            "PL/SQL: Statement ignored");
      for (const auto& e : c->coll->items) indexes.push_back(e.first.n);
    } else {
      Value lo, hi;
      TABDB_RETURN_IF_ERROR(EvalExpr(st.lo, &lo));
      TABDB_RETURN_IF_ERROR(EvalExpr(st.hi, &hi));
      int64_t a = 0, b = 0;
      TABDB_RETURN_IF_ERROR(ToInt(lo, st.lo.b, &a));
      TABDB_RETURN_IF_ERROR(ToInt(hi, st.hi.b, &b));
      for (int64_t i = a; i <= b; ++i) indexes.push_back(i);
    }
    frames_.emplace_back();
    auto var = std::make_unique<Var>();
    var->name = st.var;
    var->typed = true;
    var->constant = true;
    var->type.kind = TypeKind::kNumber;
    Var* v = var.get();
    frames_.back().vars.push_back(std::move(var));
    Status s;
    int64_t rows = 0;
    bulk_rowcount_.clear();
    bulk_errors_.clear();
    for (size_t n = 0; n < indexes.size(); ++n) {
      v->v = NumberOf(indexes[n]);
      bool done = false;
      rowcount_ = 0;
      s = ScopedLoopBody(st, f, &done);
      rows += rowcount_;
      bulk_rowcount_[indexes[n]] = rowcount_;
      if (!s.ok() && st.save_exceptions && s.code() != ora::kPlsqlLineColumn) {
        // The error of the n-th run is kept and the next one runs.
        bulk_errors_.emplace_back(static_cast<int64_t>(n + 1), s.code());
        s = Status::Ok();
        located_ = false;
        continue;
      }
      if (!s.ok() || done) break;
    }
    frames_.pop_back();
    rowcount_ = rows;
    sql_ran_ = true;
    if (s.ok() && !bulk_errors_.empty()) return OraErrorText(24381, "error(s) in array DML");
    return s;
  }

  // Up to `limit` rows (all when negative) of an open query.
  static Status FetchRows(Prepared& p, int64_t limit, std::vector<std::vector<Value>>* rows) {
    while (limit < 0 || static_cast<int64_t>(rows->size()) < limit) {
      bool has = false;
      TABDB_RETURN_IF_ERROR(p.Next(&has));
      if (!has) break;
      std::vector<Value> row(p.columns().size());
      for (size_t i = 0; i < row.size(); ++i) p.GetValue(static_cast<int>(i), &row[i]);
      rows->push_back(std::move(row));
    }
    return Status::Ok();
  }

  // FETCH c BULK COLLECT INTO ... [LIMIT n].
  Status FetchBulk(const PlStmt& st, Cursor* c, Prepared& p) {
    int64_t limit = -1;
    if (!st.expr.empty()) {
      Value n;
      TABDB_RETURN_IF_ERROR(EvalExpr(st.expr, &n));
      TABDB_RETURN_IF_ERROR(ToInt(n, st.expr.b, &limit));
      if (limit < 1) return OraErrorText(ora::kPlsqlValueError, "PL/SQL: numeric or value error");
    }
    std::vector<std::vector<Value>> rows;
    TABDB_RETURN_IF_ERROR(FetchRows(p, limit, &rows));
    c->fetched = true;
    c->found = limit > 0 && static_cast<int64_t>(rows.size()) == limit;
    c->rowcount += static_cast<int64_t>(rows.size());
    return BulkInto(st.into, st.tok, p, &rows);
  }

  // Rows into the collections of a BULK COLLECT INTO, which they replace:
  // one collection of records, or one collection per column.
  Status BulkInto(const std::vector<std::vector<std::string>>& into, uint32_t tok, const Prepared& p,
                  std::vector<std::vector<Value>>* rows) {
    std::vector<Var*> targets;
    for (const auto& name : into) {
      Var* v = nullptr;
      TABDB_RETURN_IF_ERROR(TargetVar(name, &v));
      if (v == nullptr) return NotDeclared(tok, name[0]);
      if (!v->coll || name.size() > 1)
        return CompileError(tok, "PLS-00497: cannot mix between single row and multi-row (BULK) in INTO list",
                            "PL/SQL: Statement ignored");
      targets.push_back(v);
    }
    bool records = targets.size() == 1 && targets[0]->coll->type->elem.record;
    size_t columns = p.columns().size();
    if (!records && targets.size() != columns)
      return OraError(targets.size() < columns ? ora::kTooManyValues : ora::kNotEnoughValues);
    for (size_t t = 0; t < targets.size(); ++t) {
      auto c = pl::NewCollection(targets[t]->coll->type);
      c->null = false;
      const pl::CollType& type = *c->type;
      if (type.kind == pl::CollType::kVarray && static_cast<int64_t>(rows->size()) > type.limit)
        return pl::SubscriptOutsideLimit();
      for (auto& row : *rows) {
        pl::Element e;
        if (records) {
          e.fields = type.elem.fields;
          if (e.fields.empty())
            for (const ResultColumn& col : p.columns()) e.fields.push_back(col.name);
          if (e.fields.size() != row.size())
            return OraError(e.fields.size() < row.size() ? ora::kTooManyValues : ora::kNotEnoughValues);
          e.fvals = std::move(row);
        } else {
          TABDB_RETURN_IF_ERROR(ToElement(type, std::move(row[t]), &e));
        }
        c->items.emplace(pl::CollKey{++c->size, std::string()}, std::move(e));
      }
      targets[t]->coll = std::move(c);
    }
    return Status::Ok();
  }

  // ---- statements -------------------------------------------------------------

  Status RunStmts(const sql::PlStmts& body, Flow* f) {
    size_t i = 0;
    while (i < body.size()) {
      TABDB_RETURN_IF_ERROR(Exec(*body[i], f));
      ++i;
      if (*f == Flow::kGoto) {
        // A label of this sequence of statements continues here; else
        // the enclosing sequences are searched.
        size_t j = 0;
        while (j < body.size() && body[j]->label != goto_label_) ++j;
        if (j == body.size()) return Status::Ok();
        *f = Flow::kNormal;
        i = j;
      } else if (*f != Flow::kNormal) {
        return Status::Ok();
      }
    }
    return Status::Ok();
  }

  Status Exec(const PlStmt& st, Flow* f) {
    called_ = false;
    Status s = ExecOne(st, f);
    // Built-in procedures name their own line already; a subprogram's lines
    // are followed by the caller's.
    if (!s.ok() && s.code() != ora::kPlsqlLineColumn && !located_ &&
        (called_ || s.text().find("\nORA-06512: at line ") == std::string::npos)) {
      AddAt(&s, st.tok);
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
    } else if (*f == Flow::kReturn || *f == Flow::kGoto) {
      *done = true;
    }
    return Status::Ok();
  }

  Status ExecOne(const PlStmt& st, Flow* f) {
    switch (st.kind) {
      case PlStmtKind::kNull:
        return Status::Ok();
      case PlStmtKind::kBlock:
        return RunBlock(*st.block, f, false);
      case PlStmtKind::kAssign: {
        Var* v = nullptr;
        size_t used = 1;
        TABDB_RETURN_IF_ERROR(TargetVar(st.target, &v, &used));
        if (v == nullptr) return NotDeclared(st.tok, st.target[0]);
        if (!st.index.empty() || v->coll) return AssignElement(st, v, used);
        if (v->record && st.target.size() == 1) {
          if (v->constant)
            return CompileError(st.tok, "PLS-00363: expression '" + st.target[0] + "' cannot be used as an assignment target",
                                "PL/SQL: Statement ignored");
          return AssignRecord(v, st.expr, st.tok);
        }
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
      case PlStmtKind::kCase:
        return Case(st, f);
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
        return Return(st, f);
      case PlStmtKind::kRaise:
        return Raise(st);
      case PlStmtKind::kSql:
      case PlStmtKind::kSelectInto:
        return Sql(st);
      case PlStmtKind::kExecImmediate:
        return ExecImmediate(st);
      case PlStmtKind::kCall:
        return Call(st);
      case PlStmtKind::kOpen:
        return Open(st);
      case PlStmtKind::kFetch:
        return Fetch(st);
      case PlStmtKind::kClose:
        return Close(st);
      case PlStmtKind::kGoto:
        *f = Flow::kGoto;
        goto_label_ = st.name;
        return Status::Ok();
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

  // CASE [selector] WHEN ... THEN ... [ELSE ...] END CASE.
  Status Case(const PlStmt& st, Flow* f) {
    Value sel;
    bool simple = !st.expr.empty();
    if (simple) TABDB_RETURN_IF_ERROR(EvalExpr(st.expr, &sel));
    for (size_t i = 0; i < st.conds.size(); ++i) {
      bool yes = false;
      if (simple) {
        Value w;
        TABDB_RETURN_IF_ERROR(EvalExpr(st.conds[i], &w));
        yes = !sel.null && !w.null && Equal(sel, w);
      } else {
        TABDB_RETURN_IF_ERROR(IsTrue(st.conds[i], &yes));
      }
      if (yes) return Nested(st.branches[i], f);
    }
    if (st.branches.size() > st.conds.size()) return Nested(st.branches.back(), f);
    return OraError(ora::kCaseNotFound);
  }

  // Whether two non-NULL values are equal once brought to one type.
  bool Equal(const Value& a, const Value& b) {
    if (a.kind == b.kind) return a.bytes == b.bytes;
    Value c;
    if (!ConvertValue(b, a.kind, &c).ok()) return false;
    return a.bytes == c.bytes;
  }

  Status ForNum(const PlStmt& st, Flow* f) {
    if (st.bulk) return Forall(st, f);
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

  // Opens the query of cursor `d` with the arguments of `st` bound to its
  // parameters; *out holds the open query.
  Status OpenQuery(const PlDecl& d, const PlStmt& st, std::shared_ptr<Compiled>* out) {
    if (d.init.empty()) return NotDeclared(st.tok, d.name);
    if (st.args.size() > d.params.size())
      return CompileError(st.tok, "PLS-00306: wrong number or types of arguments in call to '" + d.name + "'",
                          "PL/SQL: Statement ignored");
    // The arguments, evaluated where the cursor is opened.
    std::vector<Value> values(d.params.size());
    std::vector<bool> given(d.params.size(), false);
    for (size_t i = 0; i < st.args.size(); ++i) {
      size_t k = i;
      if (!st.arg_names[i].empty()) {
        k = d.params.size();
        for (size_t j = 0; j < d.params.size(); ++j)
          if (d.params[j].name == st.arg_names[i]) k = j;
        if (k == d.params.size()) return NotDeclared(st.args[i].b, st.arg_names[i]);
      }
      TABDB_RETURN_IF_ERROR(EvalExpr(st.args[i], &values[k]));
      given[k] = true;
    }
    frames_.emplace_back();
    Status s;
    for (size_t j = 0; j < d.params.size() && s.ok(); ++j) {
      auto v = std::make_unique<Var>();
      v->name = d.params[j].name;
      TypeInfo t;
      s = TypeOf(d.params[j].type, d.params[j].tok, &t);
      if (!s.ok()) break;
      TypeVar(v.get(), t);
      Var* raw = v.get();
      frames_.back().vars.push_back(std::move(v));
      if (given[j]) {
        s = Assign(raw, std::move(values[j]));
      } else if (!d.params[j].def.empty()) {
        Value dv;
        s = EvalExpr(d.params[j].def, &dv);
        if (s.ok()) s = Assign(raw, std::move(dv));
      } else {
        s = CompileError(st.tok, "PLS-00306: wrong number or types of arguments in call to '" + d.name + "'",
                         "PL/SQL: Statement ignored");
      }
      raw->constant = true;
    }
    std::shared_ptr<Compiled> c;
    std::vector<Value> binds;
    if (s.ok()) s = Compile(d.init, PlRange(), kSqlMode, d.init.b, &c);
    if (s.ok()) s = Bind(*c, d.init.b, kSqlMode, &binds);
    if (s.ok() && !c->p->is_query())
      s = CompileError(d.init.b, "PLS-00103: Encountered the symbol \"" + t_[d.init.b].text + "\"",
                       "PL/SQL: Statement ignored");
    if (s.ok()) s = c->p->Open(binds);
    frames_.pop_back();
    TABDB_RETURN_IF_ERROR(s);
    *out = std::move(c);
    return Status::Ok();
  }

  Status ForCursor(const PlStmt& st, Flow* f) {
    std::shared_ptr<Compiled> c;
    if (!st.name.empty()) {
      Cursor* cur = FindCursor(st.name);
      if (cur == nullptr) return NotDeclared(st.tok, st.name);
      if (cur->open) return OraError(ora::kCursorAlreadyOpen);
      TABDB_RETURN_IF_ERROR(OpenQuery(*cur->decl, st, &c));
    } else {
      const PlRange* q = &st.expr;
      TABDB_RETURN_IF_ERROR(Compile(*q, PlRange(), kSqlMode, q->b, &c));
      std::vector<Value> binds;
      TABDB_RETURN_IF_ERROR(Bind(*c, q->b, kSqlMode, &binds));
      if (!c->p->is_query())
        return CompileError(q->b, "PLS-00103: Encountered the symbol \"" + t_[q->b].text + "\"",
                            "PL/SQL: Statement ignored");
      TABDB_RETURN_IF_ERROR(c->p->Open(binds));
    }
    Prepared& p = *c->p;  // c stays held while DDL in the body recompiles others
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

  // Whether type range `r` is SYS_REFCURSOR or a REF CURSOR type of the
  // block.
  bool RefCursorType(const PlRange& r) {
    if (r.e != r.b + 1) return false;
    if (t_[r.b].text == "SYS_REFCURSOR") return true;
    const PlDecl* d = FindTypeDecl(t_[r.b].text);
    if (d == nullptr || d->kind != PlDeclKind::kOtherType || d->type.e < d->type.b + 2) return false;
    // Its tokens are this unit's unless it is of a package specification.
    const sql::PlsqlUnit* unit = &u_;
    if (ctx_.package != nullptr && !ctx_.spec_code && ctx_.package->spec)
      for (const PlDecl* x : ctx_.package->spec_frame.types)
        if (x == d) unit = ctx_.package->spec->code.get();
    return unit->tokens[d->type.b].text == "REF" && unit->tokens[d->type.b + 1].text == "CURSOR";
  }

  // OPEN cursor_variable FOR query | string [USING args]; an open one is
  // closed first.
  Status OpenFor(const PlStmt& st, Cursor* c) {
    if (!c->decl->init.empty() || c->decl->kind != PlDeclKind::kVar)
      return CompileError(st.tok, "PLS-00382: expression is of wrong type", "PL/SQL: Statement ignored");
    if (c->open) {
      c->open->p->Close();
      c->open.reset();
    }
    std::shared_ptr<Compiled> q;
    std::vector<Value> binds;
    if (!st.expr.empty()) {
      TABDB_RETURN_IF_ERROR(Compile(st.expr, PlRange(), kSqlMode, st.expr.b, &q));
      TABDB_RETURN_IF_ERROR(Bind(*q, st.expr.b, kSqlMode, &binds));
    } else {
      Value v;
      TABDB_RETURN_IF_ERROR(EvalExpr(st.hi, &v));
      q = std::make_shared<Compiled>();
      TABDB_RETURN_IF_ERROR(Text(v, &q->text));
      std::vector<TypeKind> kinds;
      for (const PlRange& a : st.args) {
        Value b;
        TABDB_RETURN_IF_ERROR(EvalExpr(a, &b));
        kinds.push_back(b.kind);
        binds.push_back(std::move(b));
      }
      std::unique_ptr<sql::Statement> parsed;
      TABDB_RETURN_IF_ERROR(sql::Parse(q->text, &parsed));
      q->st = std::move(parsed);
      TABDB_RETURN_IF_ERROR(Prepared::Create(s_, q->st, kinds, &q->p));
    }
    if (!q->p->is_query()) return OraError(ora::kInvalidCursor);
    TABDB_RETURN_IF_ERROR(q->p->Open(binds));
    c->open = std::move(q);
    c->rowcount = 0;
    c->fetched = false;
    c->found = false;
    return Status::Ok();
  }

  Status Open(const PlStmt& st) {
    Cursor* c = FindCursor(st.name);
    if (c == nullptr) return NotDeclared(st.tok, st.name);
    if (!st.expr.empty() || !st.hi.empty()) return OpenFor(st, c);
    if (c->open) return OraError(ora::kCursorAlreadyOpen);
    std::shared_ptr<Compiled> q;
    TABDB_RETURN_IF_ERROR(OpenQuery(*c->decl, st, &q));
    c->open = std::move(q);
    c->rowcount = 0;
    c->fetched = false;
    c->found = false;
    return Status::Ok();
  }

  Status Fetch(const PlStmt& st) {
    Cursor* c = FindCursor(st.name);
    if (c == nullptr) return NotDeclared(st.tok, st.name);
    if (!c->open) return OraError(ora::kInvalidCursor);
    std::shared_ptr<Compiled> hold = c->open;
    Prepared& p = *hold->p;
    if (st.bulk) return FetchBulk(st, c, p);
    bool row = false;
    TABDB_RETURN_IF_ERROR(p.Next(&row));
    c->fetched = true;
    c->found = row;
    if (!row) return Status::Ok();
    ++c->rowcount;
    std::vector<Value> values(p.columns().size());
    std::vector<std::string> names;
    for (size_t i = 0; i < values.size(); ++i) {
      p.GetValue(static_cast<int>(i), &values[i]);
      names.push_back(p.columns()[i].name);
    }
    return Into(st.into, st.tok, values, names);
  }

  Status Close(const PlStmt& st) {
    Cursor* c = FindCursor(st.name);
    if (c == nullptr) return NotDeclared(st.tok, st.name);
    if (!c->open) return OraError(ora::kInvalidCursor);
    c->open->p->Close();
    c->open.reset();
    return Status::Ok();
  }

  Status Return(const PlStmt& st, Flow* f) {
    if (!st.expr.empty()) {
      if (function_ == nullptr)
        return CompileError(st.tok, "PLS-00372: In a procedure, RETURN statement cannot contain an expression",
                            "PL/SQL: Statement ignored");
      std::shared_ptr<const pl::CollType> coll_type;
      TABDB_RETURN_IF_ERROR(CollTypeOf(function_->ret, &coll_type));
      if (coll_type) {
        Var tmp;
        tmp.coll = pl::NewCollection(coll_type);
        TABDB_RETURN_IF_ERROR(AssignCollection(&tmp, st.expr, st.tok));
        result_.coll = std::move(tmp.coll);
      } else if (result_type_.record) {
        Var tmp;
        tmp.record = true;
        tmp.fields = result_type_.fields;
        TABDB_RETURN_IF_ERROR(AssignRecord(&tmp, st.expr, st.tok));
        result_.record = true;
        result_.fields = tmp.fields;
        result_.fvals = std::move(tmp.fvals);
      } else {
        Var tmp;
        TypeVar(&tmp, result_type_);
        Value v;
        TABDB_RETURN_IF_ERROR(tmp.boolean ? EvalCond(st.expr, &v) : EvalExpr(st.expr, &v));
        TABDB_RETURN_IF_ERROR(Assign(&tmp, std::move(v)));
        result_.v = std::move(tmp.v);
      }
      result_.given = true;
    } else if (function_ != nullptr) {
      return CompileError(st.tok, "PLS-00503: RETURN <value> statement required for this return from function",
                          "PL/SQL: Statement ignored");
    }
    *f = Flow::kReturn;
    return Status::Ok();
  }

  Status Raise(const PlStmt& st) {
    std::string& raised = pl::State(s_).raised;
    if (st.name.empty()) {
      if (handling_.empty())
        return CompileError(st.tok, "PLS-00367: a RAISE statement with no exception name must be inside an exception handler",
                            "PL/SQL: Statement ignored");
      located_ = true;
      if (handling_.back().code() == ora::kUnhandledUserException) raised = raised_in_handler_.back();
      return handling_.back();
    }
    bool user = false;
    int code = ExceptionCode(st.name, &user);
    if (code < 0) return NotDeclared(st.tok, st.name);
    if (user && code == 0) {
      raised = Last(st.name);
      return OraErrorText(ora::kUnhandledUserException, "PL/SQL: unhandled user-defined exception");
    }
    if (code == ora::kExactFetchTooMany)
      return OraErrorText(code, "exact fetch returns more than requested number of rows");
    if (OraMessageTemplate(code) == nullptr) return OraErrorText(code, "");
    return OraError(code);
  }

  static std::string Last(const std::string& dotted) {
    size_t dot = dotted.rfind('.');
    return dot == std::string::npos ? dotted : dotted.substr(dot + 1);
  }

  bool Handles(const sql::PlHandler& h, const Status& e) {
    for (const std::string& n : h.names) {
      if (n == "OTHERS") return true;
      bool user = false;
      int code = ExceptionCode(n, &user);
      if ((user && code == 0) || (code < 0 && n.find('.') != std::string::npos)) {
        if (e.code() == ora::kUnhandledUserException && pl::State(s_).raised == Last(n)) return true;
      } else if (code > 0 && e.code() == code) {
        return true;
      }
    }
    return false;
  }

  // Runs a block: its declarations (unless `declared`: a package body's,
  // declared into its frame already), statements and handlers.
  Status RunBlock(const PlBlock& b, Flow* f, bool declared) {
    frames_.emplace_back();
    size_t depth = frames_.size();
    Status st;
    if (!declared) {
      for (const PlDecl& d : b.decls) {
        st = Declare(d, frames_.back());
        if (!st.ok()) break;
      }
    }
    if (st.ok()) {
      st = RunStmts(b.body, f);
      frames_.resize(depth);
      if (!st.ok() && st.code() != ora::kPlsqlLineColumn) {
        for (const sql::PlHandler& h : b.handlers) {
          if (!Handles(h, st)) continue;
          handling_.push_back(st);
          raised_in_handler_.push_back(pl::State(s_).raised);
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
      AddAt(&st, b.tok);
      located_ = true;
    }
    frames_.resize(depth - 1);
    return st;
  }

  // No change of rows, no DDL and no transaction control in a function a
  // query calls.
  static Status CheckNotInQuery(const Prepared& p) {
    if (!QueryStepping()) return Status::Ok();
    if (p.is_dml()) return OraError(ora::kDmlInsideQuery);
    if (!p.is_query() && p.kind() != sql::StmtKind::kLockTable) return OraError(ora::kDdlInsideQuery);
    return Status::Ok();
  }

  Status Sql(const PlStmt& st) {
    std::shared_ptr<Compiled> c;
    TABDB_RETURN_IF_ERROR(Compile(st.expr, st.lo, kSqlMode, st.tok, &c));
    std::vector<Value> binds;
    TABDB_RETURN_IF_ERROR(Bind(*c, st.tok, kSqlMode, &binds));
    if (c->p->is_dml() && !c->p->into_binds().empty()) return InsertReturning(*c, binds, st.tok);
    return RunCompiled(*c->p, binds, st.into, st.tok, st.kind == PlStmtKind::kSelectInto, st.bulk);
  }

  // INSERT ... RETURNING col, ... INTO v, ...: the values of the row
  // inserted into the variables whose placeholders follow INTO.
  Status InsertReturning(Compiled& c, const std::vector<Value>& binds, uint32_t tok) {
    sql_ran_ = true;
    TABDB_RETURN_IF_ERROR(CheckNotInQuery(*c.p));
    uint64_t rows = 0;
    std::vector<Value> returned;
    Status s = c.p->ExecuteDml(binds, &rows, &returned);
    rowcount_ = static_cast<int64_t>(rows);
    TABDB_RETURN_IF_ERROR(s);
    const std::vector<int>& into = c.p->into_binds();
    for (size_t k = 0; k < into.size() && k < returned.size() && rows > 0; ++k) {
      size_t at = static_cast<size_t>(into[k] - 1);
      if (at >= c.refs.size() || (c.refs[at].kind != Ref::kVar && c.refs[at].kind != Ref::kField))
        return CompileError(tok, "PLS-00403: expression cannot be used as an INTO-target of a SELECT/FETCH statement",
                            "PL/SQL: Statement ignored");
      const Ref& ref = c.refs[at];
      std::vector<std::string> target = {ref.name};
      if (ref.kind == Ref::kField) target.push_back(ref.field);
      TABDB_RETURN_IF_ERROR(Store(target, tok, std::move(returned[k])));
    }
    return Status::Ok();
  }

  // Runs a compiled statement: a query into `into`, DML counting its rows,
  // anything else (transaction control, DDL, blocks) as it comes.
  Status RunCompiled(Prepared& p, const std::vector<Value>& binds,
                     const std::vector<std::vector<std::string>>& into, uint32_t tok, bool fetch,
                     bool bulk = false) {
    sql_ran_ = true;
    TABDB_RETURN_IF_ERROR(CheckNotInQuery(p));
    if (p.is_query()) {
      rowcount_ = 0;
      if (bulk) {
        TABDB_RETURN_IF_ERROR(p.Open(binds));
        std::vector<std::vector<Value>> rows;
        Status s = FetchRows(p, -1, &rows);
        p.Close();
        TABDB_RETURN_IF_ERROR(s);
        rowcount_ = static_cast<int64_t>(rows.size());
        return BulkInto(into, tok, p, &rows);
      }
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
    // a dynamic block's placeholders take the USING values (in only)
    std::vector<Value> host = binds;
    Status s = k == sql::StmtKind::kPlsqlBlock ? p.ExecuteOther(&host) : p.ExecuteOther();
    rowcount_ = 0;
    if (k != sql::StmtKind::kCommit && k != sql::StmtKind::kRollback) {
      rt_.statements.Clear();
      if (s.ok()) s = pl::RefreshVersion(s_);
    }
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
    Status s = RunCompiled(*hold->p, binds, st.into, st.tok, !st.into.empty(), st.bulk);
    if (ddl) dynamic_.clear();
    return s;
  }

  // ---- calls of subprograms -----------------------------------------------------------

  // What a call site's actual parameters are, before a subprogram is chosen.
  struct Actual {
    const PlRange* range = nullptr;
    std::string name;  // "" for a positional one
  };

  // The formals of `sp` each actual goes to (-1: none fits); false when the
  // actuals do not fit the formals at all (count, names, defaults).
  static bool MatchFormals(const PlSubprogram& sp, const std::vector<Actual>& actuals, std::vector<int>* of_formal) {
    of_formal->assign(sp.params.size(), -1);
    bool named_seen = false;
    for (size_t i = 0; i < actuals.size(); ++i) {
      size_t k = i;
      if (!actuals[i].name.empty()) {
        named_seen = true;
        k = sp.params.size();
        for (size_t j = 0; j < sp.params.size(); ++j)
          if (sp.params[j].name == actuals[i].name) k = j;
      } else if (named_seen) {
        return false;
      }
      if (k >= sp.params.size() || (*of_formal)[k] >= 0) return false;
      (*of_formal)[k] = static_cast<int>(i);
    }
    for (size_t j = 0; j < sp.params.size(); ++j)
      if ((*of_formal)[j] < 0 && (sp.params[j].def.empty() || sp.params[j].out)) return false;
    return true;
  }

  // How well a value of kind `k` fits a formal of type `t` (0: not at all).
  static int Fit(const ArgValue& a, const TypeInfo& t) {
    if (t.record != a.record) return 0;
    if (t.record || !t.typed) return 2;
    if (a.v.null && a.v.kind == TypeKind::kVarchar2) return 1;  // NULL fits anything
    auto family = [](TypeKind k) {
      if (IsNumeric(k)) return 1;
      if (IsCharacter(k) || IsLob(k) || IsLong(k)) return 2;
      if (IsDatetime(k)) return 3;
      if (k == TypeKind::kRaw || k == TypeKind::kBlob) return 4;
      return 5;
    };
    if (t.boolean) return a.v.kind == TypeKind::kNumber ? 1 : 0;
    int fa = family(a.v.kind), ft = family(t.type.kind);
    if (fa == ft) return 2;
    if (fa == 2 || ft == 2) return 1;  // implicit conversion through text
    return 0;
  }

  // The value of actual `a` for a formal of type `t` (a condition for a
  // BOOLEAN one, a record for a record one).
  Status Evaluate(const PlRange& r, bool boolean, bool record, ArgValue* out) {
    out->given = true;
    if (r.e == r.b + 1) {
      Var* v = Find(t_[r.b].text);
      if (v != nullptr && v->coll) {
        out->coll = std::make_shared<pl::Collection>(*v->coll);
        return Status::Ok();
      }
    }
    if (!record) {
      // A call of a PL/SQL function: its result as it is, a collection too.
      ArgValue result;
      bool done = false;
      TABDB_RETURN_IF_ERROR(DirectCallValue(r, &result, &done));
      if (done && result.record)
        return CompileError(r.b, "PLS-00382: expression is of wrong type", "PL/SQL: Statement ignored");
      if (done) {
        out->v = std::move(result.v);
        out->coll = std::move(result.coll);
        return Status::Ok();
      }
    }
    if (record && r.e == r.b + 1) {
      Var* v = Find(t_[r.b].text);
      if (v != nullptr && v->record) {
        out->record = true;
        out->fields = v->fields;
        out->fvals = v->fvals;
        return Status::Ok();
      }
    }
    return boolean ? EvalCond(r, &out->v) : EvalExpr(r, &out->v);
  }

  // The candidate subprograms of a call: local ones (with their frames),
  // else stored ones.
  struct Candidate {
    const PlDecl* decl = nullptr;
    int frame = kLinkGlobals;
    CallTarget target;  // a stored one: target.unit set
    std::vector<TypeInfo> params;
    TypeInfo result;
    std::vector<int> of_formal;
  };

  Status Candidates(const std::vector<std::string>& name, uint32_t tok, bool function,
                    std::vector<Candidate>* out) {
    out->clear();
    std::vector<std::pair<const PlDecl*, int>> local;
    if (name.size() == 1) {
      LocalSubprograms(name[0], &local);
    } else if (name.size() == 2 && ctx_.package != nullptr && name[0] == ctx_.package->name) {
      // pkg.proc inside pkg itself: its own subprograms.
      for (const PlDecl* d : ctx_.package->body_frame.subs)
        if (d->name == name[1]) local.emplace_back(d, kLinkGlobals);
      if (local.empty())
        for (const PlDecl* d : ctx_.package->spec_frame.subs)
          if (d->name == name[1]) local.emplace_back(d, kLinkGlobals);
    }
    for (const auto& l : local) {
      // A forward declaration and its body are one subprogram.
      bool dup = false;
      for (const Candidate& c : *out) dup = dup || Body(c.decl, c.frame) == Body(l.first, l.second);
      if (dup) continue;
      Candidate c;
      c.decl = l.first;
      c.frame = l.second;
      TABDB_RETURN_IF_ERROR(pl::ParamTypes(s_, u_, rt_, s_.current_schema(), *c.decl->sub, &c.params, &c.result));
      out->push_back(std::move(c));
    }
    if (!out->empty()) return Status::Ok();
    std::vector<CallTarget>& cached = rt_.calls[&t_[tok]];
    pl::PlsqlState& state = pl::State(s_);
    if (cached.empty() || cached[0].version != state.version) {
      cached.clear();
      TABDB_RETURN_IF_ERROR(pl::ResolveStoredCall(s_, name, function, Where(tok), &cached));
    }
    for (const CallTarget& t : cached) {
      Candidate c;
      c.decl = t.decl;
      c.target = t;
      pl::UnitRuntime& trt = t.unit->Runtime(s_);
      TABDB_RETURN_IF_ERROR(pl::ParamTypes(s_, *t.unit->code, trt, t.unit->owner, *c.decl->sub, &c.params, &c.result));
      out->push_back(std::move(c));
    }
    return Status::Ok();
  }

  // Chooses among the candidates the one the actuals fit (PLS-00306 when
  // none does, PLS-00307 when several fit as well), evaluating the actuals
  // into *v.
  Status Choose(std::vector<Candidate>& cands, const std::vector<Actual>& actuals, const std::string& name,
                uint32_t tok, bool function, Candidate** chosen, CallValues* v) {
    std::string last = Last(name);
    auto wrong = [&] {
      return CompileError(tok, "PLS-00306: wrong number or types of arguments in call to '" + last + "'",
                          "PL/SQL: Statement ignored");
    };
    std::vector<Candidate*> fit;
    for (Candidate& c : cands) {
      if (c.decl->sub->function != function) continue;
      if (MatchFormals(*c.decl->sub, actuals, &c.of_formal)) fit.push_back(&c);
    }
    if (fit.empty()) {
      bool other_kind = false;
      for (Candidate& c : cands) other_kind = other_kind || c.decl->sub->function != function;
      if (other_kind && cands.size() == 1) {
        return CompileError(tok, function ? "PLS-00222: no function with name '" + last + "' exists in this scope"
                                          : "PLS-00221: '" + last + "' is not a procedure or is undefined",
                            "PL/SQL: Statement ignored");
      }
      return wrong();
    }
    // The actuals, evaluated once: as conditions for formals that are
    // BOOLEAN in every fitting candidate, as records for record formals.
    std::vector<ArgValue> values(actuals.size());
    for (size_t i = 0; i < actuals.size(); ++i) {
      bool boolean = true, record = false;
      for (Candidate* c : fit)
        for (size_t j = 0; j < c->of_formal.size(); ++j)
          if (c->of_formal[j] == static_cast<int>(i)) {
            boolean = boolean && c->params[j].boolean;
            record = record || c->params[j].record;
          }
      TABDB_RETURN_IF_ERROR(Evaluate(*actuals[i].range, boolean, record, &values[i]));
    }
    Candidate* best = nullptr;
    int best_score = -1, ties = 0;
    for (Candidate* c : fit) {
      int score = 0;
      bool ok = true;
      for (size_t j = 0; j < c->of_formal.size() && ok; ++j) {
        if (c->of_formal[j] < 0) continue;
        int f = Fit(values[static_cast<size_t>(c->of_formal[j])], c->params[j]);
        ok = f > 0;
        score += f;
      }
      if (!ok) continue;
      if (score > best_score) {
        best = c;
        best_score = score;
        ties = 0;
      } else if (score == best_score) {
        ++ties;
      }
    }
    if (best == nullptr) return wrong();
    if (ties > 0)
      return CompileError(tok, "PLS-00307: too many declarations of '" + last + "' match this call",
                          "PL/SQL: Statement ignored");
    *chosen = best;
    v->args.assign(best->params.size(), ArgValue());
    for (size_t j = 0; j < best->of_formal.size(); ++j)
      if (best->of_formal[j] >= 0) v->args[j] = values[static_cast<size_t>(best->of_formal[j])];
    return Status::Ok();
  }

  // Runs the chosen candidate.
  Status Run(Candidate& c, CallValues* v) {
    called_ = true;
    if (c.target.unit) return pl::CallStored(s_, c.target, v);
    return InvokeIn(*Body(c.decl, c.frame), c.frame, v);
  }

  // Stores the OUT and IN OUT values of a call into the actuals' variables.
  Status StoreOuts(const Candidate& c, const std::vector<Actual>& actuals, uint32_t tok, CallValues* v) {
    for (size_t j = 0; j < c.of_formal.size(); ++j) {
      if (!c.decl->sub->params[j].out || c.of_formal[j] < 0) continue;
      const PlRange& r = *actuals[static_cast<size_t>(c.of_formal[j])].range;
      // The actual must be a variable: name[.name...].
      std::vector<std::string> target;
      bool variable = (r.e - r.b) % 2 == 1;
      for (uint32_t k = r.b; k < r.e && variable; ++k) {
        bool name = t_[k].kind == TokenKind::kIdent || t_[k].kind == TokenKind::kQuotedIdent;
        variable = (k - r.b) % 2 == 0 ? name : t_[k].text == ".";
        if (name) target.push_back(t_[k].text);
      }
      if (!variable) target.clear();
      if (target.empty())
        return CompileError(r.b, "PLS-00363: expression '" + Slice(r.b) + "' cannot be used as an assignment target",
                            "PL/SQL: Statement ignored");
      ArgValue& a = v->args[j];
      Var* var = nullptr;
      TABDB_RETURN_IF_ERROR(TargetVar(target, &var));
      if (var != nullptr && var->coll && a.coll && target.size() == 1) {
        var->coll = std::move(a.coll);
        continue;
      }
      if (var != nullptr && var->record && target.size() == 1) {
        if (var->constant)
          return CompileError(r.b, "PLS-00363: expression '" + target[0] + "' cannot be used as an assignment target",
                              "PL/SQL: Statement ignored");
        var->fields = a.fields;
        var->fvals = std::move(a.fvals);
        continue;
      }
      TABDB_RETURN_IF_ERROR(Store(target, tok, std::move(a.v)));
    }
    return Status::Ok();
  }

  Status CallSubprogram(const PlStmt& st) {
    std::vector<std::string> name;
    for (size_t b = 0, e; b <= st.name.size(); b = e + 1) {
      e = st.name.find('.', b);
      if (e == std::string::npos) e = st.name.size();
      name.push_back(st.name.substr(b, e - b));
    }
    std::vector<Candidate> cands;
    TABDB_RETURN_IF_ERROR(Candidates(name, st.tok, false, &cands));
    std::vector<Actual> actuals;
    for (size_t i = 0; i < st.args.size(); ++i) actuals.push_back({&st.args[i], st.arg_names[i]});
    Candidate* c = nullptr;
    CallValues v;
    TABDB_RETURN_IF_ERROR(Choose(cands, actuals, st.name, st.tok, false, &c, &v));
    TABDB_RETURN_IF_ERROR(Run(*c, &v));
    return StoreOuts(*c, actuals, st.tok, &v);
  }

  // A range that is exactly a call of a PL/SQL function, [a.[b.]]f[(args)],
  // is run directly (no SQL): *done tells whether it was one.
  Status DirectCallValue(const PlRange& r, ArgValue* result, bool* done) {
    *done = false;
    std::vector<std::string> name;
    uint32_t k = r.b;
    while (k < r.e && t_[k].kind == TokenKind::kIdent) {
      name.push_back(t_[k].text);
      if (k + 1 < r.e && t_[k + 1].text == "." && t_[k + 1].kind == TokenKind::kSymbol) {
        k += 2;
        continue;
      }
      ++k;
      break;
    }
    if (name.empty() || name.size() > 3) return Status::Ok();
    std::vector<Actual> actuals;
    std::vector<PlRange> ranges;
    if (k < r.e) {
      if (t_[k].text != "(" || t_[r.e - 1].text != ")") return Status::Ok();
      // The arguments: split at depth-0 commas; the parentheses must close at the end.
      int depth = 0;
      uint32_t start = k + 1;
      std::vector<std::pair<PlRange, std::string>> args;
      for (uint32_t j = k; j < r.e; ++j) {
        const std::string& x = t_[j].kind == TokenKind::kSymbol ? t_[j].text : std::string();
        if (x == "(") ++depth;
        if (x == ")" && --depth == 0 && j != r.e - 1) return Status::Ok();
        if ((x == "," && depth == 1) || (x == ")" && depth == 0)) {
          PlRange a{start, j};
          std::string an;
          if (a.e > a.b + 2 && t_[a.b + 1].text == "=>") {
            an = t_[a.b].text;
            a.b += 2;
          }
          if (!a.empty()) args.emplace_back(a, an);
          else if (j != k + 1) return Status::Ok();
          start = j + 1;
        }
      }
      ranges.reserve(args.size());
      for (auto& a : args) ranges.push_back(a.first);
      for (size_t i = 0; i < args.size(); ++i) actuals.push_back({&ranges[i], args[i].second});
    }
    // Variables and package members are not calls.
    if (Find(name[0]) != nullptr) return Status::Ok();
    std::vector<std::pair<const PlDecl*, int>> local;
    if (name.size() == 1) LocalSubprograms(name[0], &local);
    bool any_function = false;
    for (const auto& l : local) any_function = any_function || l.first->sub->function;
    if (local.empty()) {
      // A stored function: only when the name resolves to one (what it
      // resolved to is kept for the range until the catalog changes).
      if (name.size() == 1 && FindFunction(name[0]) != nullptr) return Status::Ok();
      auto& known = rt_.direct[&r];
      int64_t version = pl::State(s_).version;
      if (known.first != version) {
        std::vector<CallTarget> targets;
        Status st = pl::ResolveStoredCall(s_, name, true, Where(r.b), &targets);
        bool function = false;
        for (const CallTarget& t : targets) function = function || t.decl->sub->function;
        known = {version, st.ok() && function};
      }
      any_function = known.second;
    }
    if (!any_function) return Status::Ok();
    std::vector<Candidate> cands;
    TABDB_RETURN_IF_ERROR(Candidates(name, r.b, true, &cands));
    std::string dotted;
    for (const std::string& n : name) dotted += (dotted.empty() ? "" : ".") + n;
    Candidate* c = nullptr;
    CallValues v;
    TABDB_RETURN_IF_ERROR(Choose(cands, actuals, dotted, r.b, true, &c, &v));
    TABDB_RETURN_IF_ERROR(Run(*c, &v));
    TABDB_RETURN_IF_ERROR(StoreOuts(*c, actuals, r.b, &v));
    *result = std::move(v.result);
    *done = true;
    return Status::Ok();
  }

  Status DirectCall(const PlRange& r, bool cond, Value* out, bool* done) {
    *done = false;
    // Only what starts like a call: a name followed by '(' or alone.
    if (t_[r.b].kind != TokenKind::kIdent) return Status::Ok();
    if (r.e > r.b + 1) {
      uint32_t k = r.b;
      while (k + 2 < r.e && t_[k + 1].text == "." && t_[k + 2].kind == TokenKind::kIdent) k += 2;
      if (k + 1 < r.e && t_[k + 1].text != "(") return Status::Ok();
    }
    ArgValue result;
    TABDB_RETURN_IF_ERROR(DirectCallValue(r, &result, done));
    if (!*done) return Status::Ok();
    if (result.record)
      return CompileError(r.b, "PLS-00382: expression is of wrong type", "PL/SQL: Statement ignored");
    (void)cond;
    *out = std::move(result.v);
    return Status::Ok();
  }

  // Runs subprogram `d` (with its body), declared in frame `decl_frame`.
  Status InvokeIn(const PlDecl& d, int decl_frame, CallValues* v) {
    const PlSubprogram& sp = *d.sub;
    if (sp.external) return Unimplemented("LANGUAGE");
    if (!sp.body)
      return CompileError(d.tok, "PLS-00328: A subprogram body must be defined for the forward declaration of " + sp.name + ".",
                          "PL/SQL: Statement ignored");
    if (g_call_depth >= kMaxCallDepth) return OraErrorText(ora::kPlsqlStorageError, "PL/SQL: storage error");
    std::vector<TypeInfo> types;
    TypeInfo result_type;
    TABDB_RETURN_IF_ERROR(pl::ParamTypes(s_, u_, rt_, s_.current_schema(), sp, &types, &result_type));
    // The caller's state of the runner, kept aside for the callee's.
    std::vector<Status> handling = std::move(handling_);
    std::vector<std::string> raised_in_handler = std::move(raised_in_handler_);
    handling_.clear();
    raised_in_handler_.clear();
    bool located = located_;
    located_ = false;
    const PlSubprogram* function = function_;
    TypeInfo saved_type = result_type_;
    ArgValue saved_result = std::move(result_);
    function_ = sp.function ? &sp : nullptr;
    result_type_ = result_type;
    result_ = ArgValue();
    ++g_call_depth;

    frames_.emplace_back();
    frames_.back().link = decl_frame;
    size_t param_frame = frames_.size() - 1;
    Status st;
    for (size_t i = 0; i < sp.params.size() && st.ok(); ++i) {
      const sql::PlParam& p = sp.params[i];
      auto var = std::make_unique<Var>();
      var->name = p.name;
      TypeVar(var.get(), types[i]);
      var->not_null = false;
      Var* raw = var.get();
      frames_[param_frame].vars.push_back(std::move(var));
      ArgValue& a = v->args[i];
      std::shared_ptr<const pl::CollType> coll_type;
      st = CollTypeOf(p.type, &coll_type);
      if (!st.ok()) break;
      if (coll_type) raw->coll = pl::NewCollection(coll_type);
      if (a.given && p.in && a.coll) {
        raw->coll = a.coll;
      } else if (a.given && p.in) {
        if (raw->record) {
          if (raw->fields.empty()) raw->fields = a.fields;
          raw->fvals = a.fvals;
        } else {
          st = Assign(raw, a.v);
        }
      } else if (!a.given && !p.def.empty()) {
        Value dv;
        st = raw->boolean ? EvalCond(p.def, &dv) : EvalExpr(p.def, &dv);
        if (st.ok()) st = Assign(raw, std::move(dv));
      } else if (!a.given && a.spec_default != nullptr && ctx_.package != nullptr) {
        RunContext spec_ctx;
        spec_ctx.package = ctx_.package;
        spec_ctx.unit = ctx_.package->spec.get();
        spec_ctx.spec_code = true;
        Runner spec(s_, *ctx_.package->spec->code, ctx_.package->spec->Runtime(s_), spec_ctx);
        Value dv;
        st = spec.EvalValue(*a.spec_default, raw->boolean, &dv);
        if (st.ok()) st = Assign(raw, std::move(dv));
      }
      raw->constant = !p.out;
    }
    Flow f = Flow::kNormal;
    if (st.ok()) st = RunBlock(*sp.body, &f, false);
    if (st.ok() && sp.function && !result_.given) st = OraError(ora::kFunctionReturnedNoValue);
    if (!st.ok() && st.code() != ora::kPlsqlLineColumn && !located_ &&
        st.text().find("\nORA-06512: ") == std::string::npos) {
      AddAt(&st, sp.body->tok);
    }
    if (st.ok()) {
      for (size_t i = 0; i < sp.params.size(); ++i) {
        if (!sp.params[i].out) continue;
        Var* var = frames_[param_frame].vars[i].get();
        ArgValue& a = v->args[i];
        a.record = var->record;
        a.v = var->v;
        a.fields = var->fields;
        a.fvals = var->fvals;
        a.coll = var->coll;
      }
      v->result = std::move(result_);
    }
    frames_.resize(param_frame);
    --g_call_depth;
    handling_ = std::move(handling);
    raised_in_handler_ = std::move(raised_in_handler);
    located_ = located;
    function_ = function;
    result_type_ = saved_type;
    result_ = std::move(saved_result);
    return st;
  }

  Status Call(const PlStmt& st) {
    const std::string& n = st.name;
    size_t dot = n.find('.');
    if (dot != std::string::npos && n.find('.', dot + 1) == std::string::npos) {
      Var* cv = Find(n.substr(0, dot));
      if (cv != nullptr && cv->coll) return CollectionCall(st, cv, n.substr(dot + 1));
    }
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
      rt_.statements.Clear();
      dynamic_.clear();
      if (r.ok()) r = pl::RefreshVersion(s_);
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
    if (pl::IsLobProcedure(n)) {
      std::vector<Value> values(st.args.size());
      // CREATETEMPORARY's cache and duration change nothing here.
      bool temporary = n == "DBMS_LOB.CREATETEMPORARY";
      for (size_t i = 0; i < st.args.size(); ++i)
        if (i == 0 || !temporary) TABDB_RETURN_IF_ERROR(arg(i, &values[i]));
      std::vector<bool> changed;
      Status s = pl::CallLobProcedure(s_, n, &values, &changed);
      if (s.code() == ora::kPlsqlLineColumn) return WrongArgs(st);
      TABDB_RETURN_IF_ERROR(s);
      for (size_t i = 0; i < values.size(); ++i)
        if (changed[i]) TABDB_RETURN_IF_ERROR(StoreArg(st, i, std::move(values[i])));
      return Status::Ok();
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
    if (n == "DBMS_METADATA.SET_FILTER" || n == "DBMS_METADATA.SET_COUNT" || n == "DBMS_METADATA.CLOSE" ||
        (n == "DBMS_METADATA.SET_TRANSFORM_PARAM" && !st.args.empty() && !SessionTransform(st.args[0]))) {
      // The browsing interface: a context's handle, then its values.
      Value h, name, value;
      TABDB_RETURN_IF_ERROR(arg(0, &h));
      int64_t handle = 0;
      if (!MetadataHandleOf(h, &handle))
        return OraError(ora::kInvalidInputValue, {"NULL", n == "DBMS_METADATA.SET_TRANSFORM_PARAM" ? "TRANSFORM_HANDLE" : "HANDLE",
                                                   n.substr(14)});
      if (n == "DBMS_METADATA.CLOSE") {
        if (st.args.size() != 1) return WrongArgs(st);
        return MetadataClose(s_, handle);
      }
      if (n == "DBMS_METADATA.SET_COUNT") {
        if (st.args.size() < 2 || st.args.size() > 3) return WrongArgs(st);
        TABDB_RETURN_IF_ERROR(arg(1, &value));
        return MetadataSetCount(s_, handle, value);
      }
      if (st.args.size() < 3 || st.args.size() > 4) return WrongArgs(st);
      TABDB_RETURN_IF_ERROR(arg(1, &name));
      std::string pname;
      TABDB_RETURN_IF_ERROR(Text(name, &pname));
      if (n == "DBMS_METADATA.SET_FILTER") {
        TABDB_RETURN_IF_ERROR(arg(2, &value));
        return MetadataSetFilter(s_, handle, pname, value);
      }
      TABDB_RETURN_IF_ERROR(EvalCond(st.args[2], &value));
      int64_t b = -1;
      if (!MetadataHandleOf(value, &b)) b = -1;
      return MetadataSetTransformParam(s_, handle, pname, static_cast<int>(b));
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
    return CallSubprogram(st);
  }

  Status StoreArg(const PlStmt& st, size_t i, Value v) {
    const PlRange& r = st.args[i];
    if (r.e != r.b + 1 || t_[r.b].kind != TokenKind::kIdent) return WrongArgs(st);
    return Store({t_[r.b].text}, st.tok, std::move(v));
  }

  // Whether an argument is the package constant DBMS_METADATA.SESSION_TRANSFORM.
  bool SessionTransform(const PlRange& r) const {
    std::string text;
    for (uint32_t k = r.b; k < r.e; ++k) text += t_[k].text;
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text == "DBMS_METADATA.SESSION_TRANSFORM";
  }

  Status WrongArgs(const PlStmt& st) const {
    std::string proc = st.name.substr(st.name.rfind('.') == std::string::npos ? 0 : st.name.rfind('.') + 1);
    return CompileError(st.tok, "PLS-00306: wrong number or types of arguments in call to '" + proc + "'",
                        "PL/SQL: Statement ignored");
  }

  Session& s_;
  const sql::PlsqlUnit& u_;
  const std::vector<Token>& t_;
  pl::UnitRuntime& rt_;
  RunContext ctx_;
  std::vector<Frame> frames_;
  std::map<const PlStmt*, std::shared_ptr<Compiled>> dynamic_;
  int64_t rowcount_ = 0;
  bool sql_ran_ = false;
  std::vector<Status> handling_;  // the exceptions whose handlers run
  std::vector<std::string> raised_in_handler_;
  bool located_ = false;          // the error already has its "at line"
  std::string exit_label_;
  std::string goto_label_;  // the label a GOTO goes to
  std::map<int64_t, int64_t> bulk_rowcount_;  // rows of each index of the last FORALL
  std::vector<std::pair<int64_t, int>> bulk_errors_;  // its SAVE EXCEPTIONS: iteration, error number
  std::map<const PlDecl*, std::shared_ptr<const pl::CollType>> coll_types_;
  const PlSubprogram* function_ = nullptr;  // the function whose body runs
  TypeInfo result_type_;
  ArgValue result_;                          // what its RETURN gave
  bool named_used_ = false;                  // a type looked up a name of the block
  bool called_ = false;                      // the statement called a subprogram
  bool unsupported_type_ = false;            // a type not carried was named
};

}  // namespace

namespace pl {

Status RunSubprogram(Session& s, StoredUnit& unit, PackageInstance* package, const sql::PlDecl& decl,
                     CallValues* v) {
  RunContext ctx;
  ctx.unit = &unit;
  ctx.package = package;
  Runner r(s, *unit.code, unit.Runtime(s), ctx);
  return r.Invoke(decl, v);
}

Status RunUnitBlock(Session& s, const sql::PlsqlUnit& unit, UnitRuntime& rt, StoredUnit* owner,
                    std::vector<BlockValue>* values, bool version_read) {
  if (g_plsql_depth >= kMaxRecursion)
    return OraErrorText(ora::kRecursiveSqlLevels, "maximum number of recursive SQL levels (50) exceeded");
  if (g_runners.empty() && !version_read) TABDB_RETURN_IF_ERROR(RefreshVersion(s));
  RunContext ctx;
  ctx.unit = owner;
  UserInfo user;
  std::string schema;
  bool swap = owner != nullptr && !owner->invoker_rights;
  if (swap) {
    user = owner->definer;
    schema = owner->owner;
    s.SwapIdentity(&user, &schema);
  }
  ++g_plsql_depth;
  Status st = Runner(s, unit, rt, ctx).RunWith(values);
  --g_plsql_depth;
  if (swap) s.SwapIdentity(&user, &schema);
  return st;
}

Status InitPackage(Session& s, PackageInstance& package) {
  RunContext ctx;
  ctx.package = &package;
  ctx.unit = package.spec.get();
  ctx.spec_code = true;
  {
    Runner spec(s, *package.spec->code, package.spec->Runtime(s), ctx);
    TABDB_RETURN_IF_ERROR(spec.Initialize(package.spec_frame));
  }
  if (!package.body) return Status::Ok();
  ctx.unit = package.body.get();
  ctx.spec_code = false;
  Runner body(s, *package.body->code, package.body->Runtime(s), ctx);
  return body.Initialize(package.body_frame);
}

bool FindRunningFunctions(const std::string& name, const sql::PlsqlUnit** unit, UnitRuntime** rt,
                          std::vector<const sql::PlDecl*>* out) {
  if (g_runners.empty()) return false;
  Runner* r = g_runners.back();
  r->FunctionsNamed(name, out);
  *unit = &r->unit();
  *rt = &r->runtime();
  return !out->empty();
}

Status CallRunningFunction(Session& s, const sql::PlsqlUnit* unit, const sql::PlDecl& decl, CallValues* v) {
  (void)s;
  for (auto it = g_runners.rbegin(); it != g_runners.rend(); ++it)
    if (&(*it)->unit() == unit) return (*it)->CallFromSql(decl, v);
  return OraError(ora::kProgramUnitNotFound);
}

}  // namespace pl

namespace {

// The errors of a CALL statement, which is SQL: a name that is no
// procedure is ORA-06576, PL/SQL's compile errors are ORA-06553, and the
// stack has no line of a block.
Status CallStatementError(const Status& st) {
  const std::string& t = st.text();
  if (st.code() == ora::kPlsqlLineColumn) {
    size_t pls = t.find("\nPLS-");
    int number = pls == std::string::npos ? 0 : std::atoi(t.c_str() + pls + 5);
    if (number == 201 || number == 221 || number == 302) return OraError(ora::kNotValidProcedure);
    if (number == 905) {
      size_t obj = t.find("object ", pls);
      size_t end = t.find(" is invalid", obj);
      return OraError(ora::kFunctionInvalidState,
                      {obj == std::string::npos || end == std::string::npos ? "" : t.substr(obj + 7, end - obj - 7)});
    }
    size_t eol = t.find('\n', pls + 1);
    std::string what = t.substr(pls + 1, eol == std::string::npos ? std::string::npos : eol - pls - 1);
    // "PLS-00306: ..." is written "PLS-306: ..." here.
    size_t digits = 4;
    while (digits < what.size() && what[digits] == '0') ++digits;
    return OraErrorText(ora::kPlsInSql, "PLS-" + what.substr(digits));
  }
  const std::string tail = "\nORA-06512: at line 1";
  if (t.size() > tail.size() && t.compare(t.size() - tail.size(), tail.size(), tail) == 0)
    return Status::Error(st.code(), t.substr(0, t.size() - tail.size()));
  return st;
}

}  // namespace

Status RunPlsqlUnit(Session& s, const sql::PlsqlUnit& unit) {
  if (g_plsql_depth >= kMaxRecursion)
    return OraErrorText(ora::kRecursiveSqlLevels, "maximum number of recursive SQL levels (50) exceeded");
  if (g_runners.empty()) TABDB_RETURN_IF_ERROR(pl::RefreshVersion(s));
  ++g_plsql_depth;
  pl::UnitRuntime rt;
  Status st = Runner(s, unit, rt, RunContext()).Run();
  --g_plsql_depth;
  if (!st.ok() && unit.call_statement) return CallStatementError(st);
  return st;
}

}  // namespace tabdb

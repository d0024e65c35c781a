// plsql_units.cpp - stored units for the session: compiled on first use
// and kept (StoredUnit) until the catalog says they changed, an INVALID
// one compiled again when next used; the names of calls resolved with the
// caller's privileges; calls run with the owner's rights (or the caller's
// for AUTHID CURRENT_USER) and their package's state; the compiler of
// stored units the catalog calls at CREATE and ALTER ... COMPILE.
#include "exec/plsql_units.h"

#include <set>

#include "catalog/code_units.h"
#include "exec/functions.h"
#include "exec/plsql_types.h"
#include "exec/triggers.h"
#include "sql/parser.h"
#include "sql/lexer.h"
#include "util/errors.h"

namespace tabdb {
namespace pl {
namespace {

std::string Join(const std::vector<std::string>& name) {
  std::string s;
  for (const std::string& n : name) s += (s.empty() ? "" : ".") + n;
  return s;
}

// A compile error at a call site, as Oracle reports one in the calling
// block.
Status CallError(const std::string& where, const std::string& what) {
  Status st = OraErrorText(ora::kPlsqlLineColumn, where + "\n" + what);
  st.AddLine("ORA-06550: " + where);
  st.AddLine("PL/SQL: Statement ignored");
  return st;
}

// The session's identity exchanged for a definer's-rights unit's owner
// until destroyed (nothing for invoker's rights).
class Rights {
 public:
  Rights(Session& s, const StoredUnit& u) : s_(s), swap_(!u.invoker_rights) {
    if (!swap_) return;
    user_ = u.definer;
    schema_ = u.owner;
    s_.SwapIdentity(&user_, &schema_);
  }
  ~Rights() {
    if (swap_) s_.SwapIdentity(&user_, &schema_);
  }
  Rights(const Rights&) = delete;
  Rights& operator=(const Rights&) = delete;

 private:
  Session& s_;
  bool swap_;
  UserInfo user_;
  std::string schema_;
};

// Whether the session may write the catalog now, for a compilation that
// happens on use: outside a transaction and a query, with a writable
// connection.
bool MayRecordNow(Session& s) {
  return !s.db().in_transaction() && !QueryStepping() && !s.read_only() && !s.flashback();
}

// Records an on-use compilation in its own short transaction.
Status RecordNow(Session& s, const StoredUnit& u, const UnitCompilation& c) {
  TABDB_RETURN_IF_ERROR(s.db().BeginWrite());
  Status st = RecordCompilation(s, u.owner, u.name, u.type, c);
  if (st.ok()) st = s.db().BumpCatalogVersion();
  if (st.ok()) st = s.db().Commit();
  if (!st.ok()) (void)s.db().Rollback();
  return st;
}

// The definer's rights of `owner`: its own privileges, no role.
Status DefinerOf(Session& s, const std::string& owner, UserInfo* out) {
  bool found = false;
  TABDB_RETURN_IF_ERROR(FindUser(s, owner, out, &found));
  if (!found) return OraError(ora::kUserDoesNotExist, {owner});
  out->dba = false;
  out->definer_rights = true;
  return Status::Ok();
}

enum class Load { kOk, kMissing, kInvalid };

// The unit owner.name of `type` compiled for the session, checked against
// the catalog once per catalog version; an INVALID one is compiled again.
Status LoadUnit(Session& s, const std::string& owner, const std::string& name, const std::string& type,
                std::shared_ptr<StoredUnit>* out, Load* load) {
  PlsqlState& state = State(s);
  std::string key = type + " " + owner + "." + name;
  std::shared_ptr<StoredUnit>& entry = state.units[key];
  *load = Load::kOk;
  if (entry && entry->validated == state.version && entry->code) {
    *out = entry;
    return Status::Ok();
  }
  CodeUnitRow row;
  bool found = false;
  TABDB_RETURN_IF_ERROR(LoadCodeUnit(s, owner, name, type, &row, &found));
  if (!found) {
    state.units.erase(key);
    *load = Load::kMissing;
    return Status::Ok();
  }
  if (entry && entry->code && entry->stamp == row.stamp && row.valid) {
    // The same compilation: what it compiled may name objects that changed.
    for (auto& rt : entry->runtimes) rt.second.Clear();
    entry->validated = state.version;
    *out = entry;
    return Status::Ok();
  }
  std::string source;
  TABDB_RETURN_IF_ERROR(LoadCodeSource(s, owner, name, type, &source, &found));
  if (!found) {
    *load = Load::kMissing;
    return Status::Ok();
  }
  auto u = std::make_shared<StoredUnit>();
  u->owner = owner;
  u->name = name;
  u->type = type;
  u->obj_id = row.obj_id;
  u->stamp = row.stamp;
  if (!row.valid) {
    // Compiled again on use; recorded when the session may write.
    UnitCompilation c;
    TABDB_RETURN_IF_ERROR(CompileUnit(s, owner, name, type, source, &c));
    if (!c.errors.empty()) {
      state.units.erase(key);
      *load = Load::kInvalid;
      return Status::Ok();
    }
    if (MayRecordNow(s)) {
      TABDB_RETURN_IF_ERROR(RecordNow(s, *u, c));
      TABDB_RETURN_IF_ERROR(LoadCodeUnit(s, owner, name, type, &row, &found));
      u->stamp = row.stamp;
      TABDB_RETURN_IF_ERROR(RefreshVersion(s));
    }
  }
  std::vector<std::string> outer;
  if (type == "PACKAGE BODY") {
    std::shared_ptr<StoredUnit> spec;
    Load l = Load::kOk;
    TABDB_RETURN_IF_ERROR(LoadUnit(s, owner, name, "PACKAGE", &spec, &l));
    if (l != Load::kOk) {
      state.units.erase(key);
      *load = Load::kInvalid;
      return Status::Ok();
    }
    outer = sql::DeclaredNames(*spec->code);
  }
  std::shared_ptr<const sql::PlsqlUnit> code;
  if (type == "TRIGGER") {
    if (!ParseTriggerUnit(owner, name, source, &u->trigger, &code, &u->when).ok()) {
      state.units.erase(key);
      *load = Load::kInvalid;
      return Status::Ok();
    }
  } else if (!sql::ParseStoredUnit(source, outer, &code).ok()) {
    state.units.erase(key);
    *load = Load::kInvalid;
    return Status::Ok();
  }
  u->code = std::move(code);
  u->invoker_rights = u->code->invoker_rights;
  if (type == "PACKAGE BODY") {
    // A body runs with the rights its specification declares.
    std::shared_ptr<StoredUnit> spec = state.units["PACKAGE " + owner + "." + name];
    if (spec) u->invoker_rights = spec->invoker_rights;
  }
  TABDB_RETURN_IF_ERROR(DefinerOf(s, owner, &u->definer));
  u->validated = state.version;
  // The map may have grown (a body loads its specification).
  state.units[key] = u;
  *out = u;
  return Status::Ok();
}

// The subprogram declarations of a stored unit named `member`: of a
// standalone unit itself, of a package its specification's.
void Members(const StoredUnit& u, const std::string& member, std::vector<const sql::PlDecl*>* out) {
  for (const sql::PlDecl& d : u.code->block.decls)
    if (d.kind == sql::PlDeclKind::kSubprogram && (member.empty() || d.name == member)) out->push_back(&d);
}

bool SameSignature(const sql::PlsqlUnit& ua, const sql::PlSubprogram& a, const sql::PlsqlUnit& ub,
                   const sql::PlSubprogram& b) {
  if (a.name != b.name || a.function != b.function || a.params.size() != b.params.size()) return false;
  auto text = [](const sql::PlsqlUnit& u, sql::PlRange r) {
    std::string t;
    for (uint32_t k = r.b; k < r.e; ++k) t += u.tokens[k].text + " ";
    return t;
  };
  for (size_t i = 0; i < a.params.size(); ++i)
    if (a.params[i].name != b.params[i].name || text(ua, a.params[i].type) != text(ub, b.params[i].type))
      return false;
  return true;
}

// The errors of an unusable package or function at a call site.
Status InvalidError(const std::string& where, const CodeObject& o) {
  return CallError(where, "PLS-00905: object " + o.owner + "." + o.name + " is invalid");
}

// A name that resolves to no callable unit, or one the user may not run.
Status NotDeclared(const std::string& where, const std::string& dotted) {
  return CallError(where, "PLS-00201: identifier '" + dotted + "' must be declared");
}

}  // namespace

Status LoadTrigger(Session& s, const std::string& owner, const std::string& name, std::shared_ptr<StoredUnit>* out,
                   bool* invalid) {
  Load l = Load::kOk;
  TABDB_RETURN_IF_ERROR(LoadUnit(s, owner, name, "TRIGGER", out, &l));
  *invalid = l != Load::kOk;
  return Status::Ok();
}

PlsqlState& State(Session& s) {
  std::shared_ptr<void>& slot = s.plsql_state();
  if (!slot) slot = std::make_shared<PlsqlState>();
  return *static_cast<PlsqlState*>(slot.get());
}

std::shared_ptr<Compiled> StatementPool::Find(const void* range, int mode) {
  auto it = entries_.find({range, mode});
  if (it == entries_.end()) return nullptr;
  for (const std::shared_ptr<Compiled>& c : it->second)
    if (c.use_count() == 1) return c;
  return nullptr;
}

void StatementPool::Add(const void* range, int mode, std::shared_ptr<Compiled> c) {
  entries_[{range, mode}].push_back(std::move(c));
}

bool PackageInstance::has_state() const {
  for (const Frame* f : {&spec_frame, &body_frame}) {
    for (const auto& v : f->vars)
      if (!v->constant) return true;
    if (!f->cursors.empty()) return true;
  }
  return false;
}

Status RefreshVersion(Session& s) { return s.db().CatalogVersion(&State(s).version); }

Status ResolveStoredCall(Session& s, const std::vector<std::string>& name, bool function,
                         const std::string& where, std::vector<CallTarget>* out) {
  out->clear();
  (void)function;
  PlsqlState& state = State(s);
  if (state.version < 0) TABDB_RETURN_IF_ERROR(RefreshVersion(s));
  std::string dotted = Join(name);
  if (name.empty() || name.size() > 3) return NotDeclared(where, dotted);
  // What the first names stand for: a unit of the current schema (or a
  // synonym or supplied package), else a schema.
  CodeObject o;
  bool found = false;
  std::string member;
  if (name.size() <= 2) TABDB_RETURN_IF_ERROR(FindCodeObject(s, "", name[0], &o, &found));
  if (found) {
    if (name.size() == 2) member = name[1];
  } else if (name.size() >= 2) {
    TABDB_RETURN_IF_ERROR(FindCodeObject(s, name[0], name[1], &o, &found));
    if (name.size() == 3) member = name[2];
  }
  if (!found || o.supplied) return NotDeclared(where, dotted);
  if ((o.type == "PACKAGE") == member.empty()) {
    if (o.type == "PACKAGE" || !member.empty())
      return CallError(where, "PLS-00302: component '" + (member.empty() ? o.name : member) + "' must be declared");
    return NotDeclared(where, dotted);
  }
  if (o.type != "PACKAGE" && o.type != "PROCEDURE" && o.type != "FUNCTION") return NotDeclared(where, dotted);
  bool may = false, visible = false;
  TABDB_RETURN_IF_ERROR(MayExecute(s, o, &may, &visible));
  if (!may) {
    if (!visible) return NotDeclared(where, dotted);
    return CallError(where, "PLS-00904: insufficient privilege to access object " + o.owner + "." + o.name);
  }
  std::shared_ptr<StoredUnit> unit;
  Load load = Load::kOk;
  TABDB_RETURN_IF_ERROR(LoadUnit(s, o.owner, o.name, o.type, &unit, &load));
  if (load == Load::kMissing) return NotDeclared(where, dotted);
  if (load == Load::kInvalid) return InvalidError(where, o);
  std::vector<const sql::PlDecl*> decls;
  Members(*unit, member.empty() ? o.name : member, &decls);
  if (decls.empty()) return CallError(where, "PLS-00302: component '" + member + "' must be declared");
  for (const sql::PlDecl* d : decls) {
    CallTarget t;
    t.decl = d;
    t.unit = unit;
    if (o.type == "PACKAGE") t.package = o.owner + "." + o.name;
    t.version = state.version;
    out->push_back(std::move(t));
  }
  return Status::Ok();
}

Status ParamTypes(Session& s, const sql::PlsqlUnit& unit, UnitRuntime& rt, const std::string& schema,
                  const sql::PlSubprogram& sp, std::vector<TypeInfo>* params, TypeInfo* result) {
  auto known = rt.signatures.find(&sp);
  if (known != rt.signatures.end()) {
    *params = known->second.first;
    *result = known->second.second;
    return Status::Ok();
  }
  params->clear();
  // Record types and subtypes of the unit's own level (a package's).
  NamedType named = [&](const std::string& n, bool percent, TypeInfo* out) -> bool {
    if (percent) return false;
    for (const sql::PlDecl& d : unit.block.decls) {
      if (d.name != n) continue;
      std::string unknown;
      if (d.kind == sql::PlDeclKind::kSubtype)
        return ResolveType(s, unit, d.type, schema, nullptr, out, &unknown).ok() && unknown.empty();
      if (d.kind != sql::PlDeclKind::kRecordType) continue;
      out->record = true;
      for (const sql::PlParam& f : d.params) {
        TypeInfo ft;
        (void)ResolveType(s, unit, f.type, schema, nullptr, &ft, &unknown);
        out->fields.push_back(f.name);
        out->field_types.push_back(ft);
      }
      return true;
    }
    return false;
  };
  auto one = [&](const sql::PlRange& r, TypeInfo* out) -> Status {
    auto it = rt.types.find(&r);
    if (it != rt.types.end()) {
      *out = it->second;
      return Status::Ok();
    }
    std::string unknown;
    TABDB_RETURN_IF_ERROR(ResolveType(s, unit, r, schema, named, out, &unknown));
    rt.types[&r] = *out;  // names not found take what they are given
    return Status::Ok();
  };
  for (const sql::PlParam& p : sp.params) {
    TypeInfo t;
    TABDB_RETURN_IF_ERROR(one(p.type, &t));
    params->push_back(std::move(t));
  }
  *result = TypeInfo();
  if (sp.function) TABDB_RETURN_IF_ERROR(one(sp.ret, result));
  rt.signatures[&sp] = {*params, *result};
  return Status::Ok();
}

Status Package(Session& s, const std::string& key, std::shared_ptr<PackageInstance>* out) {
  PlsqlState& state = State(s);
  if (state.version < 0) TABDB_RETURN_IF_ERROR(RefreshVersion(s));
  // Checked at this catalog version already: nothing can have changed.
  auto held = state.packages.find(key);
  if (held != state.packages.end() && held->second && held->second->checked == state.version) {
    *out = held->second;
    return Status::Ok();
  }
  size_t dot = key.find('.');
  std::string owner = key.substr(0, dot), name = key.substr(dot + 1);
  std::shared_ptr<StoredUnit> spec, body;
  Load load = Load::kOk;
  TABDB_RETURN_IF_ERROR(LoadUnit(s, owner, name, "PACKAGE", &spec, &load));
  auto unusable = [&](const std::string& what, bool has_errors) {
    Status st = has_errors ? OraError(ora::kViewHasErrors, {what + " \"" + key + "\""})
                           : OraErrorText(ora::kProgramUnitNotFound,
                                          "PL/SQL: could not find program unit being called: \"" + key + "\"");
    if (has_errors)
      st.AddLine("ORA-06508: PL/SQL: could not find program unit being called: \"" + key + "\"");
    return st;
  };
  if (load == Load::kMissing) return unusable("package", false);
  if (load == Load::kInvalid) return unusable("package", true);
  TABDB_RETURN_IF_ERROR(LoadUnit(s, owner, name, "PACKAGE BODY", &body, &load));
  if (load == Load::kInvalid) return unusable("package body", true);
  std::shared_ptr<PackageInstance>& inst = state.packages[key];
  if (inst && (inst->spec_stamp != spec->stamp || inst->body_stamp != (body ? body->stamp : 0))) {
    // The package was compiled again since the session made its state:
    // the state goes, and the first call after says so.
    bool had_state = inst->has_state();
    std::string what = inst->spec_stamp != spec->stamp ? "package" : "package body";
    inst.reset();
    state.packages.erase(key);
    if (had_state) {
      Status st = OraError(ora::kPackageStateDiscarded);
      st.AddLine("ORA-04061: existing state of " + what + " \"" + key + "\" has been invalidated");
      st.AddLine("ORA-04065: not executed, altered or dropped " + what + " \"" + key + "\"");
      st.AddLine("ORA-06508: PL/SQL: could not find program unit being called: \"" + key + "\"");
      return st;
    }
  }
  std::shared_ptr<PackageInstance>& slot = state.packages[key];
  if (slot) {
    slot->checked = state.version;
    *out = slot;
    return Status::Ok();
  }
  auto made = std::make_shared<PackageInstance>();
  made->owner = owner;
  made->name = name;
  made->spec = spec;
  made->body = body;
  made->spec_stamp = spec->stamp;
  made->body_stamp = body ? body->stamp : 0;
  slot = made;
  Status st;
  {
    Rights as(s, *spec);
    st = InitPackage(s, *made);
  }
  if (!st.ok()) {
    // Not instantiated: the next use tries again.
    state.packages.erase(key);
    return st;
  }
  made->checked = state.version;
  *out = made;
  return Status::Ok();
}

Status CallStored(Session& s, const CallTarget& t, CallValues* v) {
  PlsqlState& state = State(s);
  StoredUnit* unit = t.unit.get();
  const sql::PlDecl* decl = t.decl;
  std::shared_ptr<PackageInstance> pkg;
  if (!t.package.empty()) {
    TABDB_RETURN_IF_ERROR(Package(s, t.package, &pkg));
    if (!pkg->body)
      return OraErrorText(ora::kProgramUnitNotFound,
                          "PL/SQL: could not find program unit being called: \"" + t.package + "\"");
    // The body's subprogram for the specification's declaration.
    // (Kept per declaration of the instance's own specification.)
    bool own = pkg->spec.get() == t.unit.get();
    auto known = own ? pkg->bodies.find(decl) : pkg->bodies.end();
    const sql::PlDecl* body_decl = known != pkg->bodies.end() ? known->second : nullptr;
    if (body_decl == nullptr) {
      for (const sql::PlDecl& d : pkg->body->code->block.decls)
        if (d.kind == sql::PlDeclKind::kSubprogram && d.sub->body &&
            SameSignature(*t.unit->code, *decl->sub, *pkg->body->code, *d.sub))
          body_decl = &d;
      if (own && body_decl != nullptr) pkg->bodies[decl] = body_decl;
    }
    if (body_decl == nullptr)
      return OraErrorText(ora::kProgramUnitNotFound,
                          "PL/SQL: could not find program unit being called: \"" + t.package + "\"");
    // Defaults written only in the specification.
    for (size_t i = 0; i < v->args.size() && i < decl->sub->params.size(); ++i)
      if (!v->args[i].given && body_decl->sub->params[i].def.empty() && !decl->sub->params[i].def.empty())
        v->args[i].spec_default = &decl->sub->params[i].def;
    unit = pkg->body.get();
    decl = body_decl;
  }
  Rights as(s, *unit);
  ++state.depth;
  Status st = RunSubprogram(s, *unit, pkg.get(), *decl, v);
  --state.depth;
  return st;
}

Status FindPackageMember(Session& s, const std::vector<std::string>& name, std::string* key,
                         size_t* used, bool* found, const sql::PlDecl** decl) {
  *found = false;
  if (name.size() < 2) return Status::Ok();
  CodeObject o;
  bool is = false;
  TABDB_RETURN_IF_ERROR(FindCodeObject(s, "", name[0], &o, &is));
  *used = 1;
  if (!is || o.type != "PACKAGE" || o.supplied) {
    if (name.size() < 3) return Status::Ok();
    TABDB_RETURN_IF_ERROR(FindCodeObject(s, name[0], name[1], &o, &is));
    *used = 2;
    if (!is || o.type != "PACKAGE" || o.supplied) return Status::Ok();
  }
  bool may = false, visible = false;
  TABDB_RETURN_IF_ERROR(MayExecute(s, o, &may, &visible));
  if (!may) return Status::Ok();
  std::shared_ptr<StoredUnit> spec;
  Load load = Load::kOk;
  TABDB_RETURN_IF_ERROR(LoadUnit(s, o.owner, o.name, "PACKAGE", &spec, &load));
  if (load != Load::kOk) return Status::Ok();
  const std::string& member = name[*used];
  for (const sql::PlDecl& d : spec->code->block.decls)
    if (d.name == member && d.kind != sql::PlDeclKind::kSubprogram) {
      *found = true;
      if (decl) *decl = &d;
    }
  *key = o.owner + "." + o.name;
  return Status::Ok();
}

// ---- compiling units for the catalog ------------------------------------------------

namespace {

// The declared names of a unit, at every level: they are not objects.
void Declared(const sql::PlBlock& b, std::set<std::string>* out) {
  for (const sql::PlDecl& d : b.decls) {
    out->insert(d.name);
    for (const sql::PlParam& p : d.params) out->insert(p.name);
    if (d.sub) {
      for (const sql::PlParam& p : d.sub->params) out->insert(p.name);
      if (d.sub->body) Declared(*d.sub->body, out);
    }
  }
  std::vector<const sql::PlStmts*> todo = {&b.body};
  for (const sql::PlHandler& h : b.handlers) todo.push_back(&h.body);
  while (!todo.empty()) {
    const sql::PlStmts* body = todo.back();
    todo.pop_back();
    for (const auto& st : *body) {
      if (!st->var.empty()) out->insert(st->var);
      if (st->block) Declared(*st->block, out);
      todo.push_back(&st->body);
      for (const sql::PlStmts& br : st->branches) todo.push_back(&br);
    }
  }
}

// What the unit's names refer to among the objects of its owner's schema,
// public synonyms and supplied packages: its dependencies. Every dotted
// name not declared in the unit is looked up, so a column named like a
// table of the schema counts as a use of the table.
Status Dependencies(Session& s, const std::string& owner, const std::string& self,
                    const sql::PlsqlUnit& u, std::vector<CodeDependency>* out) {
  std::set<std::string> declared;
  Declared(u.block, &declared);
  std::set<std::pair<std::string, std::string>> tried;
  std::set<std::tuple<std::string, std::string, std::string>> deps;
  deps.insert({"SYS", "STANDARD", "PACKAGE"});
  const std::vector<sql::Token>& t = u.tokens;
  for (size_t k = 0; k < t.size(); ++k) {
    bool name = t[k].kind == sql::TokenKind::kIdent || t[k].kind == sql::TokenKind::kQuotedIdent;
    if (!name || (k > 0 && t[k - 1].text == "." && t[k - 1].kind == sql::TokenKind::kSymbol)) continue;
    std::string a = t[k].text, b;
    if (k + 2 < t.size() && t[k + 1].text == "." && t[k + 1].kind == sql::TokenKind::kSymbol &&
        (t[k + 2].kind == sql::TokenKind::kIdent || t[k + 2].kind == sql::TokenKind::kQuotedIdent))
      b = t[k + 2].text;
    if (a == self || (declared.count(a) && t[k].kind == sql::TokenKind::kIdent)) continue;
    if (!tried.insert({a, b}).second) continue;
    // a as an object of the owner's schema (or a public synonym), else
    // a.b as an object of schema a.
    auto object = [&](const std::string& o, const std::string& n, bool* hit) -> Status {
      *hit = false;
      int64_t id = 0;
      std::string type;
      TABDB_RETURN_IF_ERROR(FindSchemaObject(s, o, n, &id, &type));
      if (id != 0 && type != "INDEX") {
        deps.insert({o, n, type});
        *hit = true;
      }
      CodeObject c;
      bool code = false;
      TABDB_RETURN_IF_ERROR(FindCodeObject(s, o, n, &c, &code));
      if (code && !c.supplied && !(c.owner == owner && c.name == self)) {
        deps.insert({c.owner, c.name, c.type});
        *hit = true;
      }
      return Status::Ok();
    };
    bool hit = false;
    TABDB_RETURN_IF_ERROR(object(owner, a, &hit));
    if (!hit) {
      int64_t id = 0;
      std::string type;
      TABDB_RETURN_IF_ERROR(FindSchemaObject(s, owner, a, &id, &type));
      if (id == 0) {
        CodeObject c;
        bool code = false;
        TABDB_RETURN_IF_ERROR(FindCodeObject(s, "", a, &c, &code));
        if (code && c.via_synonym) {
          deps.insert({"PUBLIC", a, "SYNONYM"});
          if (!c.supplied) deps.insert({c.owner, c.name, c.type});
          hit = true;
        } else {
          TABDB_RETURN_IF_ERROR(FindSchemaObject(s, "PUBLIC", a, &id, &type));
          if (id != 0) {
            deps.insert({"PUBLIC", a, type});
            hit = true;
          }
        }
      }
    }
    if (!hit && !b.empty()) TABDB_RETURN_IF_ERROR(object(a, b, &hit));
  }
  for (const auto& d : deps) out->push_back({std::get<0>(d), std::get<1>(d), std::get<2>(d)});
  return Status::Ok();
}

// The types the unit's declarations name: a table or column that does not
// exist (or that the owner may not read), or a type name declared nowhere,
// is PLS-00201. Names the unit declares (record types, subtypes,
// variables of v%TYPE) and other packages' types are taken as they are.
class TypeCheck {
 public:
  TypeCheck(Session& s, const sql::PlsqlUnit& u, const std::string& owner, const std::set<std::string>& declared,
            std::vector<CodeError>* errors)
      : s_(s), u_(u), owner_(owner), declared_(declared), errors_(errors) {}

  Status Block(const sql::PlBlock& b) {
    for (const sql::PlDecl& d : b.decls) {
      switch (d.kind) {
        case sql::PlDeclKind::kVar:
        case sql::PlDeclKind::kSubtype:
          TABDB_RETURN_IF_ERROR(Type(d.type, "PL/SQL: Item ignored"));
          break;
        case sql::PlDeclKind::kCursor:
        case sql::PlDeclKind::kRecordType:
          for (const sql::PlParam& p : d.params) TABDB_RETURN_IF_ERROR(Type(p.type, "PL/SQL: Item ignored"));
          break;
        case sql::PlDeclKind::kSubprogram:
          for (const sql::PlParam& p : d.sub->params)
            TABDB_RETURN_IF_ERROR(Type(p.type, "PL/SQL: Declaration ignored"));
          if (d.sub->function) TABDB_RETURN_IF_ERROR(Type(d.sub->ret, "PL/SQL: Declaration ignored"));
          if (d.sub->body) TABDB_RETURN_IF_ERROR(Block(*d.sub->body));
          break;
        default:
          break;
      }
    }
    return Stmts(b.body);
  }

 private:
  Status Stmts(const sql::PlStmts& body) {
    for (const auto& st : body) {
      if (st->block) TABDB_RETURN_IF_ERROR(Block(*st->block));
      TABDB_RETURN_IF_ERROR(Stmts(st->body));
      for (const sql::PlStmts& b : st->branches) TABDB_RETURN_IF_ERROR(Stmts(b));
    }
    return Status::Ok();
  }

  bool Known(const std::string& dotted) {
    std::string head = dotted.substr(0, dotted.find('.'));
    if (declared_.count(head)) return true;
    if (dotted.find('.') == std::string::npos) return false;
    CodeObject o;
    bool found = false;
    return FindCodeObject(s_, "", head, &o, &found).ok() && found && o.type == "PACKAGE";
  }

  Status Type(const sql::PlRange& r, const char* ignored) {
    if (r.empty()) return Status::Ok();
    TypeInfo t;
    std::string unknown;
    NamedType named = [&](const std::string& n, bool, TypeInfo*) { return Known(n); };
    TABDB_RETURN_IF_ERROR(ResolveType(s_, u_, r, owner_, named, &t, &unknown));
    if (unknown.empty()) return Status::Ok();
    int line = 1, col = 1;
    u_.Position(r.b, &line, &col);
    errors_->push_back({line, col, "PLS-00201: identifier '" + unknown + "' must be declared", 201});
    errors_->push_back({line, col, ignored, 0});
    return Status::Ok();
  }

  Session& s_;
  const sql::PlsqlUnit& u_;
  const std::string& owner_;
  const std::set<std::string>& declared_;
  std::vector<CodeError>* errors_;
};

// The static SQL of the unit (statements, cursor queries) compiled as its
// owner: a table or view that is missing or that the owner may not read
// (roles not counted) is an error of the unit. Names the unit declares are
// placeholders; errors that depend on them (a column, a function of the
// unit) are left for the run.
class SqlCheck {
 public:
  SqlCheck(Session& s, const sql::PlsqlUnit& u, const std::set<std::string>& declared, std::vector<CodeError>* errors)
      : s_(s), u_(u), t_(u.tokens), declared_(declared), errors_(errors) {}

  void Block(const sql::PlBlock& b) {
    for (const sql::PlDecl& d : b.decls) {
      if (d.kind == sql::PlDeclKind::kCursor && !d.init.empty()) Check(d.init, sql::PlRange(), d.init.b);
      if (d.sub && d.sub->body) Block(*d.sub->body);
    }
    Stmts(b.body);
    for (const sql::PlHandler& h : b.handlers) Stmts(h.body);
  }

 private:
  void Stmts(const sql::PlStmts& body) {
    for (const auto& st : body) {
      if (st->kind == sql::PlStmtKind::kSql || st->kind == sql::PlStmtKind::kSelectInto)
        Check(st->expr, st->lo, st->tok);
      if (st->kind == sql::PlStmtKind::kForCursor && st->name.empty()) Check(st->expr, sql::PlRange(), st->expr.b);
      if (st->block) Block(*st->block);
      Stmts(st->body);
      for (const sql::PlStmts& b : st->branches) Stmts(b);
    }
  }

  void Check(const sql::PlRange& r, const sql::PlRange& skip, uint32_t tok) {
    if (r.empty()) return;
    const std::string& first = t_[r.b].text;
    if (first != "SELECT" && first != "WITH" && first != "INSERT" && first != "UPDATE" && first != "DELETE")
      return;
    std::string text;
    int binds = 0;
    bool insert = first == "INSERT";
    for (uint32_t k = r.b; k < r.e; ++k) {
      if (k == skip.b && skip.e > skip.b) {
        k = skip.e - 1;
        continue;
      }
      const sql::Token& t = t_[k];
      auto sym = [&](uint32_t j, const char* x) {
        return j < r.e && t_[j].kind == sql::TokenKind::kSymbol && t_[j].text == x;
      };
      std::string slice = u_.text.substr(t.begin, t.end - t.begin) + " ";
      bool after_dot = k > r.b && sym(k - 1, ".");
      if (insert && t.kind == sql::TokenKind::kIdent && t.text == "INTO") {
        // The column list of an INSERT is never variables.
        uint32_t j = k + 1;
        while (j + 1 < r.e && sym(j + 1, ".")) j += 2;
        if (sym(j + 1, "(") && !(j + 2 < r.e && (t_[j + 2].text == "SELECT" || t_[j + 2].text == "WITH"))) {
          while (j < r.e && !sym(j, ")")) ++j;
          for (; k <= j && k < r.e; ++k) text += u_.text.substr(t_[k].begin, t_[k].end - t_[k].begin) + " ";
          k = j;
          insert = false;
          continue;
        }
      }
      bool name = t.kind == sql::TokenKind::kIdent && !after_dot && !sym(k + 1, "(") && !sym(k + 1, "=>");
      if (name && sym(k + 1, "%") && k + 2 < r.e) {
        text += ":" + std::to_string(++binds) + " ";
        k += 2;
      } else if (name && (t.text == "TRUE" || t.text == "FALSE")) {
        text += t.text == "TRUE" ? "(1 = 1) " : "(1 = 0) ";
      } else if (name && (t.text == "SQLCODE" || t.text == "SQLERRM" || declared_.count(t.text))) {
        text += ":" + std::to_string(++binds) + " ";
        if (sym(k + 1, ".") && k + 2 < r.e) k += 2;  // a record's field
      } else {
        text += slice;
      }
    }
    std::unique_ptr<sql::Statement> parsed;
    if (!sql::Parse(text, &parsed).ok()) return;
    std::unique_ptr<Prepared> p;
    Status st = Prepared::Create(s_, std::shared_ptr<const sql::Statement>(std::move(parsed)),
                                 std::vector<TypeKind>(static_cast<size_t>(binds), TypeKind::kVarchar2), &p);
    if (st.code() != ora::kTableNotExist && st.code() != ora::kInsufficientPrivileges &&
        st.code() != ora::kSynonymTranslationInvalid)
      return;
    int line = 1, col = 1;
    u_.Position(tok, &line, &col);
    std::string what = st.text().substr(0, st.text().find('\n'));
    errors_->push_back({line, col, "PL/SQL: " + what, st.code()});
    errors_->push_back({line, col, "PL/SQL: SQL Statement ignored", 0});
  }

  Session& s_;
  const sql::PlsqlUnit& u_;
  const std::vector<sql::Token>& t_;
  const std::set<std::string>& declared_;
  std::vector<CodeError>* errors_;
};

// The calls the unit makes: a procedure named in a call statement, and a
// function called in a PL/SQL expression, must be a subprogram of the unit,
// a built-in one or a stored one the owner may run (PLS-00201, PLS-00904,
// PLS-00905 otherwise). Names of supplied packages are not looked at; nor
// are the functions of embedded SQL, which SQL resolves when it runs.
class CallCheck {
 public:
  CallCheck(Session& s, const sql::PlsqlUnit& u, const std::set<std::string>& declared, std::vector<CodeError>* errors)
      : s_(s), u_(u), t_(u.tokens), declared_(declared), errors_(errors) {}

  Status Block(const sql::PlBlock& b) {
    for (const sql::PlDecl& d : b.decls) {
      if (d.kind == sql::PlDeclKind::kVar) TABDB_RETURN_IF_ERROR(Expr(d.init));
      if (d.sub && d.sub->body) TABDB_RETURN_IF_ERROR(Block(*d.sub->body));
    }
    TABDB_RETURN_IF_ERROR(Stmts(b.body));
    for (const sql::PlHandler& h : b.handlers) TABDB_RETURN_IF_ERROR(Stmts(h.body));
    return Status::Ok();
  }

 private:
  Status Stmts(const sql::PlStmts& body) {
    for (const auto& st : body) {
      switch (st->kind) {
        case sql::PlStmtKind::kCall:
          TABDB_RETURN_IF_ERROR(Call(st->name, st->tok));
          for (const sql::PlRange& a : st->args) TABDB_RETURN_IF_ERROR(Expr(a));
          break;
        case sql::PlStmtKind::kAssign:
        case sql::PlStmtKind::kReturn:
        case sql::PlStmtKind::kWhile:
        case sql::PlStmtKind::kExit:
        case sql::PlStmtKind::kContinue:
        case sql::PlStmtKind::kCase:
        case sql::PlStmtKind::kIf:
          TABDB_RETURN_IF_ERROR(Expr(st->expr));
          for (const sql::PlRange& c : st->conds) TABDB_RETURN_IF_ERROR(Expr(c));
          break;
        case sql::PlStmtKind::kForNum:
          TABDB_RETURN_IF_ERROR(Expr(st->lo));
          TABDB_RETURN_IF_ERROR(Expr(st->hi));
          break;
        default:
          break;
      }
      if (st->block) TABDB_RETURN_IF_ERROR(Block(*st->block));
      TABDB_RETURN_IF_ERROR(Stmts(st->body));
      for (const sql::PlStmts& b : st->branches) TABDB_RETURN_IF_ERROR(Stmts(b));
    }
    return Status::Ok();
  }

  // The calls name[.name](...) of an expression whose first name is not
  // one of the unit's and not a SQL function or keyword.
  Status Expr(const sql::PlRange& r) {
    for (uint32_t k = r.b; k < r.e; ++k) {
      if (t_[k].kind != sql::TokenKind::kIdent) continue;
      if (k > r.b && t_[k - 1].kind == sql::TokenKind::kSymbol && t_[k - 1].text == ".") continue;
      uint32_t j = k;
      std::string name = t_[k].text;
      while (j + 2 < r.e && t_[j + 1].text == "." && t_[j + 2].kind == sql::TokenKind::kIdent) {
        j += 2;
        name += "." + t_[j].text;
      }
      if (j + 1 >= r.e || t_[j + 1].text != "(" || t_[j + 1].kind != sql::TokenKind::kSymbol) continue;
      const std::string& head = t_[k].text;
      if (j == k && (FindFunction(head) != nullptr || sql::IsReservedWord(head) || head == "COUNT" ||
                     head == "SUM" || head == "AVG" || head == "MIN" || head == "MAX" || head == "CAST" ||
                     head == "EXTRACT" || head == "SQLERRM" || head == "SQLCODE" || head == "TREAT"))
        continue;
      TABDB_RETURN_IF_ERROR(Call(name, k));
    }
    return Status::Ok();
  }

  Status Call(const std::string& dotted, uint32_t tok) {
    std::vector<std::string> name;
    for (size_t b = 0, e; b <= dotted.size(); b = e + 1) {
      e = dotted.find('.', b);
      if (e == std::string::npos) e = dotted.size();
      name.push_back(dotted.substr(b, e - b));
    }
    if (declared_.count(name[0]) || name[0] == "RAISE_APPLICATION_ERROR") return Status::Ok();
    CodeObject o;
    bool found = false;
    TABDB_RETURN_IF_ERROR(FindCodeObject(s_, "", name[0], &o, &found));
    if (found && o.supplied) return Status::Ok();
    std::vector<CallTarget> targets;
    Status st = ResolveStoredCall(s_, name, false, "", &targets);
    if (st.ok()) return Status::Ok();
    size_t pls = st.text().find("PLS-");
    if (st.code() != ora::kPlsqlLineColumn || pls == std::string::npos) return st;
    std::string what = st.text().substr(pls, st.text().find('\n', pls) - pls);
    int line = 1, col = 1;
    u_.Position(tok, &line, &col);
    errors_->push_back({line, col, what, std::atoi(what.c_str() + 4)});
    errors_->push_back({line, col, "PL/SQL: Statement ignored", 0});
    return Status::Ok();
  }

  Session& s_;
  const sql::PlsqlUnit& u_;
  const std::vector<sql::Token>& t_;
  const std::set<std::string>& declared_;
  std::vector<CodeError>* errors_;
};

// "line L, column C:\nPLS-..." of a compile error as USER_ERRORS rows.
void ErrorRows(const Status& st, std::vector<CodeError>* out) {
  const std::string& text = st.text();
  CodeError e;
  size_t nl = text.find('\n');
  int line = 1, col = 1;
  if (std::sscanf(text.c_str(), "ORA-06550: line %d, column %d:", &line, &col) == 2 && nl != std::string::npos) {
    e.line = line;
    e.position = col;
    size_t end = text.find('\n', nl + 1);
    e.text = text.substr(nl + 1, end == std::string::npos ? std::string::npos : end - nl - 1);
  } else {
    e.text = text.substr(0, nl);
  }
  if (e.text.compare(0, 4, "PLS-") == 0) e.number = std::atoi(e.text.c_str() + 4);
  out->push_back(std::move(e));
}

}  // namespace

namespace {
// The units being compiled on this thread: a unit whose SQL calls itself
// is not compiled again inside its own compilation.
thread_local std::set<std::string> g_compiling;
}  // namespace

Status CompileUnit(Session& s, const std::string& owner, const std::string& name,
                   const std::string& type, const std::string& source, UnitCompilation* out) {
  *out = UnitCompilation();
  std::string self = type + " " + owner + "." + name;
  if (!g_compiling.insert(self).second) return Status::Ok();
  struct Done {
    std::string key;
    ~Done() { g_compiling.erase(key); }
  } done{self};
  std::vector<std::string> outer;
  std::shared_ptr<const sql::PlsqlUnit> unit;
  std::shared_ptr<const TriggerDef> trigger;
  if (type == "TRIGGER") {
    std::shared_ptr<const sql::PlsqlUnit> when;
    Status st = ParseTriggerUnit(owner, name, source, &trigger, &unit, &when);
    if (!st.ok()) {
      ErrorRows(st, &out->errors);
      return Status::Ok();
    }
    outer = trigger->OuterNames();
    int64_t obj = 0;
    std::string obj_type;
    TABDB_RETURN_IF_ERROR(FindSchemaObject(s, trigger->table_owner, trigger->table_name, &obj, &obj_type));
    if (obj != 0) out->deps.push_back({trigger->table_owner, trigger->table_name, obj_type});
  }
  if (type == "PACKAGE BODY") {
    std::string spec_source;
    bool found = false;
    CodeUnitRow row;
    TABDB_RETURN_IF_ERROR(LoadCodeUnit(s, owner, name, "PACKAGE", &row, &found));
    if (found) TABDB_RETURN_IF_ERROR(LoadCodeSource(s, owner, name, "PACKAGE", &spec_source, &found));
    std::shared_ptr<const sql::PlsqlUnit> spec;
    if (!found || !sql::ParseStoredUnit(spec_source, {}, &spec).ok() || !row.valid) {
      // PLS-00201 at the body's name, then Oracle's closing line.
      std::vector<sql::Token> t;
      (void)sql::TokenizePlsql(source, &t);
      CodeError e;
      e.line = 1;
      e.position = t.size() > 2 ? static_cast<int>(t[2].begin) + 1 : 1;
      e.text = found ? "PLS-00905: object " + owner + "." + name + " is invalid"
                     : "PLS-00201: identifier '" + name + "' must be declared";
      e.number = found ? 905 : 201;
      out->errors.push_back(e);
      out->errors.push_back({1, 1, "PL/SQL: Compilation unit analysis terminated", 0});
      return Status::Ok();
    }
    outer = sql::DeclaredNames(*spec);
    out->deps.push_back({owner, name, "PACKAGE"});
  }
  Status st = unit ? Status::Ok() : sql::ParseStoredUnit(source, outer, &unit);
  if (!st.ok()) {
    ErrorRows(st, &out->errors);
    return Status::Ok();
  }
  // Names resolve in the owner's schema, with its rights.
  UserInfo definer;
  TABDB_RETURN_IF_ERROR(DefinerOf(s, owner, &definer));
  std::string schema = owner;
  s.SwapIdentity(&definer, &schema);
  std::vector<CodeDependency> deps;
  Status ds = Dependencies(s, owner, name, *unit, &deps);
  if (ds.ok()) {
    std::set<std::string> declared(outer.begin(), outer.end());
    Declared(unit->block, &declared);
    ds = TypeCheck(s, *unit, owner, declared, &out->errors).Block(unit->block);
    if (ds.ok()) SqlCheck(s, *unit, declared, &out->errors).Block(unit->block);
    if (ds.ok()) ds = CallCheck(s, *unit, declared, &out->errors).Block(unit->block);
  }
  s.SwapIdentity(&definer, &schema);
  TABDB_RETURN_IF_ERROR(ds);
  for (CodeDependency& d : deps) out->deps.push_back(std::move(d));
  return Status::Ok();
}

}  // namespace pl
}  // namespace tabdb

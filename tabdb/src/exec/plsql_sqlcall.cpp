// plsql_sqlcall.cpp - PL/SQL functions called from SQL: the compiler's
// fallback for a name that is no built-in function (a stored function, a
// package's, or one declared in the running block), and tabdb_plcall,
// through which the compiled statement calls it row by row. The call is
// resolved, checked and its overload chosen once, when the statement is
// compiled; each row only converts its arguments and runs the function.
#include <sqlite3.h>

#include "exec/convert.h"
#include "exec/plsql_units.h"
#include "util/errors.h"

namespace tabdb {
namespace pl {
namespace {

int Family(TypeKind k) {
  if (IsNumeric(k)) return 1;
  if (IsCharacter(k) || IsLob(k) || IsLong(k)) return 2;
  if (IsDatetime(k)) return 3;
  if (k == TypeKind::kRaw || k == TypeKind::kBlob) return 4;
  return 5;
}

// How well an argument fits a formal (0: not at all).
int Fit(const CExpr& a, const TypeInfo& t) {
  if (t.record) return 0;
  if (!t.typed || a.null_literal) return 1;
  if (t.boolean) return a.is_bool ? 2 : 0;
  if (a.is_bool) return 0;
  int fa = Family(a.type.kind), ft = Family(t.type.kind);
  if (fa == ft) return 2;
  return fa == 2 || ft == 2 ? 1 : 0;
}

// The formal each argument goes to; false when they do not fit.
bool Match(const sql::PlSubprogram& sp, const std::vector<std::string>& names, size_t n, std::vector<int>* of_formal) {
  of_formal->assign(sp.params.size(), -1);
  bool named = false;
  for (size_t i = 0; i < n; ++i) {
    size_t k = i;
    const std::string an = i < names.size() ? names[i] : std::string();
    if (!an.empty()) {
      named = true;
      k = sp.params.size();
      for (size_t j = 0; j < sp.params.size(); ++j)
        if (sp.params[j].name == an) k = j;
    } else if (named) {
      return false;
    }
    if (k >= sp.params.size() || (*of_formal)[k] >= 0 || sp.params[k].out) return false;
    (*of_formal)[k] = static_cast<int>(i);
  }
  for (size_t j = 0; j < sp.params.size(); ++j)
    if ((*of_formal)[j] < 0 && sp.params[j].def.empty()) return false;
  return true;
}

void ReadArg(sqlite3_value* sv, TypeKind kind, Value* v) {
  v->kind = kind;
  v->lob_id = 0;
  v->empty_lob = false;
  v->null = false;
  switch (sqlite3_value_type(sv)) {
    case SQLITE_NULL:
      v->null = true;
      v->bytes.clear();
      return;
    case SQLITE_INTEGER:
      v->lob_id = sqlite3_value_int64(sv);
      v->bytes.clear();
      return;
    case SQLITE_TEXT:
      v->bytes.assign(reinterpret_cast<const char*>(sqlite3_value_text(sv)),
                      static_cast<size_t>(sqlite3_value_bytes(sv)));
      return;
    default: {
      const void* p = sqlite3_value_blob(sv);
      v->bytes.assign(static_cast<const char*>(p ? p : ""), static_cast<size_t>(sqlite3_value_bytes(sv)));
      return;
    }
  }
}

void Fail(sqlite3_context* ctx, const Status& st) {
  sqlite3_result_error(ctx, st.text().c_str(), static_cast<int>(st.text().size()));
}

// tabdb_plcall(slot, args...)
void PlCall(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  Session* s = static_cast<Session*>(sqlite3_user_data(ctx));
  PlsqlState& state = State(*s);
  int id = sqlite3_value_int(argv[0]);
  if (id < 0 || static_cast<size_t>(id) >= state.slots.size()) {
    Fail(ctx, OraError(ora::kInternalError, {"unknown PL/SQL call " + std::to_string(id)}));
    return;
  }
  const SqlCallSlot& slot = state.slots[static_cast<size_t>(id)];
  CallValues v;
  v.args.resize(slot.arg_of_param.size());
  for (size_t j = 0; j < slot.arg_of_param.size(); ++j) {
    int k = slot.arg_of_param[j];
    if (k < 0 || k + 1 >= argc) continue;
    v.args[j].given = true;
    ReadArg(argv[k + 1], slot.kinds[static_cast<size_t>(k)], &v.args[j].v);
  }
  Status st = slot.local ? CallRunningFunction(*s, slot.local_unit, *slot.target.decl, &v)
                         : CallStored(*s, slot.target, &v);
  if (!st.ok()) {
    Fail(ctx, st);
    return;
  }
  Value& r = v.result.v;
  if (r.null) {
    sqlite3_result_null(ctx);
    return;
  }
  if (slot.result.boolean) {
    sqlite3_result_int(ctx, r.bytes == std::string("\xC1\x02", 2) ? 1 : 0);
    return;
  }
  if (slot.result.typed && r.kind != slot.result.type.kind && r.lob_id == 0) {
    Value c;
    st = ConvertValue(r, slot.result.type.kind, &c);
    if (!st.ok()) {
      Fail(ctx, st);
      return;
    }
    r = std::move(c);
  }
  if (r.lob_id != 0) {
    sqlite3_result_int64(ctx, r.lob_id);
  } else if (IsTextClass(r.kind)) {
    sqlite3_result_text(ctx, r.bytes.data(), static_cast<int>(r.bytes.size()), SQLITE_TRANSIENT);
  } else {
    sqlite3_result_blob(ctx, r.bytes.data(), static_cast<int>(r.bytes.size()), SQLITE_TRANSIENT);
  }
}

}  // namespace

Status CompilePlsqlCall(Compiler& c, Session& s, const sql::Expr& e, std::vector<CExpr>* args,
                        CExpr* out, bool* found) {
  *found = false;
  if (e.names.empty() || e.names.size() > 3) return Status::Ok();
  std::vector<std::string> name;
  for (const sql::Name& n : e.names) name.push_back(n.text);
  PlsqlState& state = State(s);
  SqlCallSlot slot;
  std::vector<CallTarget> targets;
  const sql::PlsqlUnit* local_unit = nullptr;
  UnitRuntime* local_rt = nullptr;
  std::vector<const sql::PlDecl*> local;
  if (name.size() == 1 && FindRunningFunctions(name[0], &local_unit, &local_rt, &local)) {
    slot.local = true;
    slot.local_unit = local_unit;
    for (const sql::PlDecl* d : local) {
      CallTarget t;
      t.decl = d;
      targets.push_back(t);
    }
  } else {
    TABDB_RETURN_IF_ERROR(RefreshVersion(s));
    Status st = ResolveStoredCall(s, name, true, "line 1, column 1:", &targets);
    if (!st.ok()) {
      if (st.text().find("PLS-00905") != std::string::npos)
        return OraError(ora::kFunctionInvalidState, {name.back()});
      return Status::Ok();  // ORA-00904 as for any unknown name
    }
  }
  // The function the arguments fit best.
  int best = -1, best_score = -1, ties = 0;
  std::vector<int> best_map;
  std::vector<TypeInfo> best_params;
  TypeInfo best_result;
  for (size_t i = 0; i < targets.size(); ++i) {
    const sql::PlSubprogram& sp = *targets[i].decl->sub;
    if (!sp.function) continue;
    std::vector<int> of_formal;
    if (!Match(sp, e.arg_names, args->size(), &of_formal)) continue;
    std::vector<TypeInfo> params;
    TypeInfo result;
    if (slot.local) {
      TABDB_RETURN_IF_ERROR(ParamTypes(s, *local_unit, *local_rt, s.current_schema(), sp, &params, &result));
    } else {
      const StoredUnit& u = *targets[i].unit;
      TABDB_RETURN_IF_ERROR(ParamTypes(s, *u.code, targets[i].unit->Runtime(s), u.owner, sp, &params, &result));
    }
    int score = 0;
    bool ok = !result.record;
    for (size_t j = 0; j < of_formal.size() && ok; ++j) {
      if (of_formal[j] < 0) continue;
      int f = Fit((*args)[static_cast<size_t>(of_formal[j])], params[j]);
      ok = f > 0;
      score += f;
    }
    if (!ok) continue;
    if (score > best_score) {
      best = static_cast<int>(i);
      best_score = score;
      best_map = of_formal;
      best_params = params;
      best_result = result;
      ties = 0;
    } else if (score == best_score) {
      ++ties;
    }
  }
  *found = true;
  std::string fname = name.back();
  // PL/SQL's compile errors of a call in SQL.
  if (best < 0)
    return OraErrorText(ora::kPlsInSql, "PLS-306: wrong number or types of arguments in call to '" + fname + "'");
  if (ties > 0) return OraErrorText(ora::kPlsInSql, "PLS-307: too many declarations of '" + fname + "' match this call");
  slot.target = targets[static_cast<size_t>(best)];
  slot.arg_of_param = best_map;
  slot.result = best_result;
  slot.kinds.assign(args->size(), TypeKind::kVarchar2);
  std::vector<std::string> sqls(args->size());
  for (size_t j = 0; j < best_map.size(); ++j) {
    if (best_map[j] < 0) continue;
    size_t k = static_cast<size_t>(best_map[j]);
    CExpr& a = (*args)[k];
    const TypeInfo& t = best_params[j];
    if (t.boolean) {
      sqls[k] = a.null_literal ? "NULL" : "tabdb_num(" + a.sql + ")";
      slot.kinds[k] = TypeKind::kNumber;
    } else if (t.typed) {
      sqls[k] = c.ConvertTo(a, t.type.kind);
      slot.kinds[k] = t.type.kind;
    } else {
      sqls[k] = a.null_literal ? "NULL" : a.sql;
      slot.kinds[k] = a.type.kind;
    }
  }
  std::string key;
  for (size_t j = 0; j < best_map.size(); ++j) key += std::to_string(best_map[j]) + ",";
  for (TypeKind k : slot.kinds) key += std::to_string(static_cast<int>(k)) + ";";
  const void* unit_key = slot.local ? static_cast<const void*>(local_unit) : static_cast<const void*>(slot.target.unit.get());
  auto ins = state.slot_ids.emplace(std::make_tuple(unit_key, static_cast<const void*>(slot.target.decl), key),
                                    static_cast<int>(state.slots.size()));
  if (ins.second) state.slots.push_back(slot);
  int id = ins.first->second;
  std::string call = "tabdb_plcall(" + std::to_string(id);
  for (const std::string& a : sqls) call += ", " + a;
  call += ")";
  out->sql = call;
  out->aggregate = false;
  for (const CExpr& a : *args) out->aggregate = out->aggregate || a.aggregate;
  out->constant = false;
  if (best_result.boolean) {
    out->is_bool = true;
    return Status::Ok();
  }
  if (best_result.typed) {
    out->type = best_result.type;
  } else {
    out->type = TypeDesc();
    out->type.kind = TypeKind::kVarchar2;
  }
  // A function's VARCHAR2 result is at most what SQL holds.
  if (IsCharacter(out->type.kind) && (out->type.length == kUnset || out->type.length > 4000)) {
    out->type.length = 4000;
    out->type.char_semantics = false;
  }
  return Status::Ok();
}

int RegisterPlsqlFunctions(sqlite3* db, Session* session) {
  return sqlite3_create_function_v2(db, "tabdb_plcall", -1, SQLITE_UTF8, session, PlCall, nullptr, nullptr,
                                    nullptr);
}

}  // namespace pl
}  // namespace tabdb

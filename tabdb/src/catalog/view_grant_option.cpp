// view_grant_option.cpp - the check a grant on a view makes of the objects
// its query reads: the view's owner passes on a privilege only on what it
// holds WITH GRANT OPTION (ORA-01720), as Oracle does.
//
// The query is parsed from the view's stored text; every table, view or
// synonym it names (FROM items, joins, subqueries anywhere, set branches)
// is resolved in the view's parse schema. A dictionary view is SYS's: as
// Oracle grants them, the ALL_, USER_, NLS_ and SESSION_ views and DUAL
// are PUBLIC's WITH GRANT OPTION and pass; the V$ views (public synonyms
// of SYS's V_$ views) and the DBA_ views are read through a role, which
// holds no grant option, and do not.
#include <set>

#include "catalog/catalog_internal.h"
#include "catalog/dictionary.h"
#include "sql/parser.h"
#include "storage/sqlite_util.h"
#include "util/errors.h"

namespace tabdb {
namespace cat {
namespace {

constexpr int kMaxViewDepth = 16;

struct Sources {
  std::vector<sql::NameList> names;
  std::set<std::string> with_names;  // WITH query names: not objects
};

void WalkSelect(const sql::Select& q, Sources* out);

void WalkExpr(const sql::Expr* e, Sources* out) {
  if (!e) return;
  if (e->subquery) WalkSelect(*e->subquery, out);
  for (const auto& a : e->args) WalkExpr(a.get(), out);
}

void WalkTable(const sql::TableRef& t, Sources* out) {
  if (t.subquery)
    WalkSelect(*t.subquery, out);
  else if (!t.name.empty())
    out->names.push_back(t.name);
}

void WalkSelect(const sql::Select& q, Sources* out) {
  for (const auto& w : q.with) {
    out->with_names.insert(w.name.text);
    if (w.query) WalkSelect(*w.query, out);
  }
  for (const auto& item : q.items) WalkExpr(item.expr.get(), out);
  WalkTable(q.from, out);
  for (const auto& j : q.joins) {
    WalkTable(j.table, out);
    WalkExpr(j.on.get(), out);
  }
  WalkExpr(q.where.get(), out);
  for (const auto& g : q.group_by) WalkExpr(g.get(), out);
  WalkExpr(q.having.get(), out);
  WalkExpr(q.connect_by.get(), out);
  for (const auto& o : q.order_by) WalkExpr(o.expr.get(), out);
  WalkExpr(q.offset.get(), out);
  WalkExpr(q.fetch_first.get(), out);
  for (const auto& b : q.branches)
    if (b.query) WalkSelect(*b.query, out);
}

// Whether `who` holds `priv` on the object WITH GRANT OPTION.
Status Grantable(Session& s, int64_t obj_id, const std::string& who, const char* priv, bool* yes) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "SELECT 1 FROM tab$privs WHERE obj_id = ?1 AND grantee = ?2 AND privilege = ?3 AND grantable <> 0",
      &q));
  sqlite3_bind_int64(q, 1, obj_id);
  sqlite3_bind_text(q, 2, who.data(), static_cast<int>(who.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(q, 3, priv, -1, SQLITE_TRANSIENT);
  bool row = false;
  Status st = s.db().Step(q, &row);
  sqlite3_reset(q);
  *yes = row;
  return st;
}

// Whether the owner may pass `priv` on through a view of `obj_id`.
Status PassesOn(Session& s, int64_t obj_id, const std::string& owner, const std::string& priv,
                bool* yes) {
  *yes = true;
  if (priv == "SELECT" || priv == "READ") {
    TABDB_RETURN_IF_ERROR(Grantable(s, obj_id, owner, "SELECT", yes));
    if (!*yes && priv == "READ") TABDB_RETURN_IF_ERROR(Grantable(s, obj_id, owner, "READ", yes));
  } else if (priv == "INSERT" || priv == "UPDATE" || priv == "DELETE") {
    TABDB_RETURN_IF_ERROR(Grantable(s, obj_id, owner, priv.c_str(), yes));
  }
  return Status::Ok();  // other privileges are not passed to a view's sources
}

// ORA-01720 for a dictionary view `name` that no one but SYS passes on.
Status CheckDictionarySource(Session& s, const std::string& name) {
  bool dynamic = name.rfind("V$", 0) == 0 || name.rfind("GV$", 0) == 0;
  if (!dynamic && name.rfind("DBA_", 0) != 0) return Status::Ok();
  DictionaryView view;
  Status seen;
  if (!FindDictionaryView(s, name, &view, &seen)) return Status::Ok();  // no such view: the view is invalid
  std::string sys_name = name;
  if (dynamic) sys_name.replace(sys_name.find('$'), 1, "_$");
  return OraError(ora::kGrantOptionDoesNotExist, {"SYS", sys_name});
}

Status Check(Session& s, int64_t view_id, const std::vector<std::string>& privs, int depth) {
  if (depth > kMaxViewDepth) return Status::Ok();
  ViewInfo v;
  TABDB_RETURN_IF_ERROR(LoadView(s, view_id, &v));
  std::unique_ptr<sql::Statement> st;
  // A view whose text no longer parses is invalid: using it fails anyway.
  if (!sql::Parse(v.text, &st).ok() || !st || !st->select) return Status::Ok();
  Sources src;
  WalkSelect(*st->select, &src);
  for (const sql::NameList& name : src.names) {
    if (name.size() == 1 && src.with_names.count(name[0].text)) continue;
    sql::NameList qualified = name;
    if (name.size() == 1) qualified.insert(qualified.begin(), sql::Name{v.parse_schema, true});
    ResolvedName r;
    bool resolved = ResolveName(s, qualified, &r).ok();
    if (!resolved && name.size() == 1) {
      qualified[0].text = "PUBLIC";
      resolved = ResolveName(s, qualified, &r).ok();
    }
    if (!resolved) {
      // Not an object: a dictionary view, named alone or as SYS's, or nothing.
      if (v.owner != "SYS" && (name.size() == 1 || name[0].text == "SYS"))
        TABDB_RETURN_IF_ERROR(CheckDictionarySource(s, name.back().text));
      continue;
    }
    if (r.obj_id == 0 || r.owner == "SYS") continue;  // DUAL
    if (r.owner == v.owner) {
      if (r.type == "VIEW") TABDB_RETURN_IF_ERROR(Check(s, r.obj_id, privs, depth + 1));
      continue;
    }
    for (const std::string& p : privs) {
      bool passes = false;
      TABDB_RETURN_IF_ERROR(PassesOn(s, r.obj_id, v.owner, p, &passes));
      if (!passes) return OraError(ora::kGrantOptionDoesNotExist, {r.owner, r.name});
    }
  }
  return Status::Ok();
}

}  // namespace

Status CheckViewGrantOption(Session& s, int64_t view_id, const std::vector<std::string>& privs) {
  return Check(s, view_id, privs, 0);
}

}  // namespace cat
}  // namespace tabdb

// ddl_privs.cpp - object privileges: GRANT and REVOKE ... ON [schema.]object,
// and the check a statement makes before it touches another schema's object.
//
// A user reaches objects of its own schema freely and, as a DBA, every
// object. Another schema's object is reached only through a grant to the
// user or to PUBLIC: with no grant at all the object answers exactly as a
// missing one (ORA-00942), with some grant but not the one the statement
// needs ORA-01031. Grants made by a DBA on another schema's object are
// recorded with the owner as grantor, as Oracle records GRANT ANY OBJECT
// PRIVILEGE grants.
#include "catalog/catalog_internal.h"
#include "catalog/code_units.h"
#include "storage/sqlite_util.h"
#include "util/errors.h"

namespace tabdb {
namespace cat {
namespace {

// What GRANT ALL gives on a table, in the order Oracle lists them.
const char* const kTableAll[] = {"ALTER",  "DELETE",     "INDEX",           "INSERT",
                                 "SELECT", "UPDATE",     "REFERENCES",      "READ",
                                 "DEBUG",  "FLASHBACK",  "ON COMMIT REFRESH", "QUERY REWRITE"};

bool IsTablePrivilege(const std::string& p) {
  for (const char* k : kTableAll)
    if (p == k) return true;
  return false;
}

// The privileges a statement names: ALL [PRIVILEGES] stands for every one
// (of a stored unit: EXECUTE and DEBUG).
Status ExpandPrivileges(const std::vector<std::string>& in, bool code, std::vector<std::string>* out) {
  out->clear();
  for (const std::string& p : in) {
    if (p == "ALL" || p == "ALL PRIVILEGES") {
      if (in.size() != 1) return OraError(ora::kMissingOrInvalidPrivilege);
      if (code)
        *out = {"EXECUTE", "DEBUG"};
      else
        out->assign(std::begin(kTableAll), std::end(kTableAll));
      return Status::Ok();
    }
    if (code && p != "EXECUTE" && p != "DEBUG") {
      if (!IsTablePrivilege(p)) return OraError(ora::kMissingOrInvalidPrivilege);
      return OraError(ora::kOnlyExecuteForProcedures);
    }
    if (!code && p == "EXECUTE") return OraError(ora::kNoExecuteOnTables);
    if (!code && !IsTablePrivilege(p)) return OraError(ora::kMissingOrInvalidPrivilege);
    out->push_back(p);
  }
  return Status::Ok();
}

// The privileges `who` (or PUBLIC) holds on an object; grantable ones are
// also listed in *grantable.
Status HeldPrivileges(Session& s, int64_t obj_id, const std::string& who,
                      std::vector<std::string>* held, std::vector<std::string>* grantable) {
  held->clear();
  if (grantable) grantable->clear();
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "SELECT privilege, grantable FROM tab$privs WHERE obj_id = ?1 AND grantee IN (?2, 'PUBLIC')",
      &q));
  sqlite3_bind_int64(q, 1, obj_id);
  sqlite3_bind_text(q, 2, who.data(), static_cast<int>(who.size()), SQLITE_TRANSIENT);
  while (true) {
    bool row = false;
    TABDB_RETURN_IF_ERROR(s.db().Step(q, &row));
    if (!row) break;
    const char* p = reinterpret_cast<const char*>(sqlite3_column_text(q, 0));
    held->push_back(p ? p : "");
    if (grantable && sqlite3_column_int(q, 1) != 0) grantable->push_back(p ? p : "");
  }
  sqlite3_reset(q);
  return Status::Ok();
}

bool Contains(const std::vector<std::string>& v, const std::string& x) {
  for (const std::string& e : v)
    if (e == x) return true;
  return false;
}

Status AddGrant(Session& s, int64_t obj_id, const std::string& grantee, const std::string& priv,
                const std::string& grantor, bool grantable) {
  sqlite3_stmt* q = nullptr;
  // A grant repeated WITH GRANT OPTION gains the option; one without keeps it.
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "INSERT INTO tab$privs(obj_id, grantee, privilege, grantor, grantable)"
      " VALUES(?1, ?2, ?3, ?4, ?5) ON CONFLICT DO UPDATE SET grantable = max(grantable, ?5)",
      &q));
  sqlite3_bind_int64(q, 1, obj_id);
  sqlite3_bind_text(q, 2, grantee.data(), static_cast<int>(grantee.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(q, 3, priv.data(), static_cast<int>(priv.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(q, 4, grantor.data(), static_cast<int>(grantor.size()), SQLITE_TRANSIENT);
  sqlite3_bind_int(q, 5, grantable ? 1 : 0);
  return s.db().Run(q);
}

// Removes a grant and, as Oracle cascades object privileges, what the
// grantee passed on of it through GRANT OPTION. *removed: whether it was there.
Status RemoveGrant(Session& s, int64_t obj_id, const std::string& grantee, const std::string& priv,
                   const std::string& grantor, bool* removed, int depth = 0) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "DELETE FROM tab$privs WHERE obj_id = ?1 AND grantee = ?2 AND privilege = ?3 AND grantor = ?4",
      &q));
  sqlite3_bind_int64(q, 1, obj_id);
  sqlite3_bind_text(q, 2, grantee.data(), static_cast<int>(grantee.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(q, 3, priv.data(), static_cast<int>(priv.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(q, 4, grantor.data(), static_cast<int>(grantor.size()), SQLITE_TRANSIENT);
  TABDB_RETURN_IF_ERROR(s.db().Run(q));
  *removed = sqlite3_changes(s.db().handle()) > 0;
  if (!*removed || depth > 64) return Status::Ok();
  // Grants the grantee made of the same privilege go with it.
  std::vector<std::string> passed_to;
  {
    sqlite3_stmt* r = nullptr;
    TABDB_RETURN_IF_ERROR(s.db().Cached(
        "SELECT grantee FROM tab$privs WHERE obj_id = ?1 AND privilege = ?2 AND grantor = ?3", &r));
    sqlite3_bind_int64(r, 1, obj_id);
    sqlite3_bind_text(r, 2, priv.data(), static_cast<int>(priv.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(r, 3, grantee.data(), static_cast<int>(grantee.size()), SQLITE_TRANSIENT);
    while (true) {
      bool row = false;
      TABDB_RETURN_IF_ERROR(s.db().Step(r, &row));
      if (!row) break;
      const char* g = reinterpret_cast<const char*>(sqlite3_column_text(r, 0));
      passed_to.push_back(g ? g : "");
    }
    sqlite3_reset(r);
  }
  for (const std::string& g : passed_to) {
    bool gone = false;
    TABDB_RETURN_IF_ERROR(RemoveGrant(s, obj_id, g, priv, grantee, &gone, depth + 1));
  }
  return Status::Ok();
}

}  // namespace

Status CheckObjectPrivilege(Session& s, const std::string& owner, int64_t obj_id,
                            const char* privilege) {
  if (owner == s.user().name || s.user().dba) return Status::Ok();
  std::vector<std::string> held;
  TABDB_RETURN_IF_ERROR(HeldPrivileges(s, obj_id, s.user().name, &held, nullptr));
  if (held.empty()) return OraError(ora::kTableNotExist);
  if (Contains(held, privilege)) return Status::Ok();
  // READ lets a user query, as SELECT does.
  if (std::string(privilege) == "SELECT" && Contains(held, "READ")) return Status::Ok();
  return OraError(ora::kInsufficientPrivileges);
}

Status UserHoldsPrivilege(Session& s, const std::string& who, int64_t obj_id, const char* privilege,
                          bool* holds) {
  std::vector<std::string> held;
  TABDB_RETURN_IF_ERROR(HeldPrivileges(s, obj_id, who, &held, nullptr));
  *holds = Contains(held, privilege);
  return Status::Ok();
}

Status VisibleObject(Session& s, const std::string& owner, int64_t obj_id, bool* visible) {
  *visible = true;
  if (owner == s.user().name || s.user().dba) return Status::Ok();
  std::vector<std::string> held;
  TABDB_RETURN_IF_ERROR(HeldPrivileges(s, obj_id, s.user().name, &held, nullptr));
  *visible = !held.empty();
  return Status::Ok();
}

Status ObjectGrantDdl(Session& s, const sql::Grant& g, bool grant) {
  if (g.object.empty() || g.object.size() > 2) return OraError(ora::kTableNotExist);
  // A grant on a synonym is a grant on what it stands for. Whether the name
  // is one, and of which schema (an unqualified name found nowhere is a
  // public synonym):
  std::string named_owner, named;
  SplitName(s, g.object, &named_owner, &named);
  int64_t named_id = 0;
  std::string named_type;
  TABDB_RETURN_IF_ERROR(FindObject(s, named_owner, named, &named_id, &named_type));
  bool via_synonym = named_id == 0 || named_type == "SYNONYM";
  std::string synonym_schema = named_id == 0 ? "PUBLIC" : named_owner;
  // A procedure, function, package or type (or a package the database
  // supplies), else a table, view, sequence ...
  ResolvedName target;
  CodeObject code;
  bool is_code = false;
  TABDB_RETURN_IF_ERROR(ResolveCodeObject(s, g.object, &code, &is_code));
  if (is_code) {
    target.obj_id = code.obj_id;
    target.owner = code.owner;
    target.name = code.name;
    target.type = code.type;
  } else {
    TABDB_RETURN_IF_ERROR(ResolveName(s, g.object, &target));
  }
  std::string owner = target.owner, name = target.name;
  int64_t obj = target.obj_id;
  std::string type = target.type;
  if (obj == 0 || type == "INDEX") return OraError(ora::kTableNotExist);
  bool visible = code.supplied;
  if (!visible) TABDB_RETURN_IF_ERROR(VisibleObject(s, owner, obj, &visible));
  if (!visible) return OraError(ora::kTableNotExist);

  std::vector<std::string> privs;
  TABDB_RETURN_IF_ERROR(ExpandPrivileges(g.privileges, is_code, &privs));
  bool all = g.privileges.size() == 1 && g.privileges[0].rfind("ALL", 0) == 0;

  // The owner and a DBA act as the owner; another user passes on what it
  // holds WITH GRANT OPTION. A synonym never carries a DBA's power through
  // to another schema's object: there the DBA too needs the grant option
  // (ORA-01031), so that a synonym put in place of an object cannot turn a
  // grant meant for its own schema into one on another's.
  const std::string& me = s.user().name;
  // A unit is not in tab$objects: whether a synonym led to it is the
  // code lookup's to say.
  if (is_code) {
    via_synonym = code.via_synonym;
    synonym_schema = code.synonym_owner;
  }
  bool crosses = via_synonym && owner != synonym_schema;
  // A DBA grants the supplied packages as SYS would.
  bool as_owner = owner == me || (s.user().dba && (!crosses || code.supplied));
  std::vector<std::string> grantable;
  if (!as_owner) {
    std::vector<std::string> held;
    TABDB_RETURN_IF_ERROR(HeldPrivileges(s, obj, me, &held, &grantable));
    if (grant) {
      if (all) {
        privs = grantable;
        if (privs.empty()) return OraError(ora::kInsufficientPrivileges);
      }
      for (const std::string& p : privs)
        if (!Contains(grantable, p)) return OraError(ora::kInsufficientPrivileges);
    }
  }
  const std::string grantor = as_owner ? owner : me;
  // A view passes on only what its owner may pass on of its sources.
  if (grant && type == "VIEW") TABDB_RETURN_IF_ERROR(CheckViewGrantOption(s, obj, privs));

  for (const sql::Name& who : g.grantees) {
    const std::string& grantee = who.text;
    if (grantee != "PUBLIC") {
      UserInfo u;
      bool found = false;
      TABDB_RETURN_IF_ERROR(FindUser(s, grantee, &u, &found));
      if (!found) return OraError(ora::kUserOrRoleNotExist, {grantee});
    }
    if (grantee == me || (as_owner && grantee == owner)) return OraError(ora::kGrantToSelf);
    if (grant) {
      for (const std::string& p : privs)
        TABDB_RETURN_IF_ERROR(AddGrant(s, obj, grantee, p, grantor, g.grant_option));
      continue;
    }
    bool any = false;
    for (const std::string& p : privs) {
      bool removed = false;
      TABDB_RETURN_IF_ERROR(RemoveGrant(s, obj, grantee, p, grantor, &removed));
      // REVOKE ALL takes what there is; a named privilege must be there.
      if (!removed && !all) return OraError(ora::kRevokeNotGranted);
      any = any || removed;
    }
    if (!any) return OraError(ora::kRevokeNotGranted);
  }
  return Status::Ok();
}

Status DropObjectGrants(Session& s, int64_t obj_id) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached("DELETE FROM tab$privs WHERE obj_id = ?1", &q));
  sqlite3_bind_int64(q, 1, obj_id);
  return s.db().Run(q);
}

Status DropUserGrants(Session& s, const std::string& user) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(
      s.db().Cached("DELETE FROM tab$privs WHERE grantee = ?1 OR grantor = ?1", &q));
  sqlite3_bind_text(q, 1, user.data(), static_cast<int>(user.size()), SQLITE_TRANSIENT);
  return s.db().Run(q);
}

}  // namespace cat
}  // namespace tabdb

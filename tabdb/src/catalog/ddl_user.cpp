// ddl_user.cpp - CREATE/ALTER/DROP USER, GRANT and REVOKE.
//
// Users are schemas. Only DBAs manage users and privileges (a user may
// change its own password). The one privilege with an effect is the DBA
// role; other privileges and roles are accepted and change nothing, since
// every user may log on and create objects in its own schema.
#include "catalog/catalog_internal.h"
#include "storage/password.h"
#include "storage/sqlite_util.h"
#include "util/errors.h"

namespace tabdb {
namespace cat {
namespace {

constexpr const char* kAdmin = "SYSTEM";

// Role names a user cannot take.
bool IsRoleName(const std::string& n) {
  static const char* const kRoles[] = {"DBA", "CONNECT", "RESOURCE", "PUBLIC",
                                       "SELECT_CATALOG_ROLE"};
  for (const char* r : kRoles)
    if (n == r) return true;
  return false;
}

Status CheckUserTablespaces(const sql::UserStmt& u) {
  if (!u.default_tablespace.empty()) TABDB_RETURN_IF_ERROR(CheckTablespace(u.default_tablespace));
  if (!u.temporary_tablespace.empty())
    TABDB_RETURN_IF_ERROR(CheckTablespace(u.temporary_tablespace));
  for (const sql::UserQuota& q : u.quotas) TABDB_RETURN_IF_ERROR(CheckTablespace(q.tablespace));
  return Status::Ok();
}

Status HashOf(const std::string& password, PasswordHash* h) {
  if (password.empty()) return OraError(ora::kMissingPassword);
  if (!MakePasswordHash(password, h)) return OraError(ora::kInternalError, {"no random bytes for the password salt"});
  return Status::Ok();
}

Status SetDba(Session& s, int64_t user_id, bool dba) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached("UPDATE tab$users SET is_dba = ?2 WHERE user_id = ?1", &q));
  sqlite3_bind_int64(q, 1, user_id);
  sqlite3_bind_int(q, 2, dba ? 1 : 0);
  return s.db().Run(q);
}

// Roles other than DBA and system privileges are kept for the dictionary
// (grants with object id 0); they change nothing else, as every user may
// log on and create objects in its own schema.
Status RecordSystemGrants(Session& s, const sql::Grant& g, bool grant, const std::string& who) {
  for (const std::string& p : g.privileges) {
    if (p == "DBA") continue;
    sqlite3_stmt* q = nullptr;
    if (grant) {
      TABDB_RETURN_IF_ERROR(s.db().Cached(
          "INSERT OR IGNORE INTO tab$privs(obj_id, grantee, privilege, grantor, grantable)"
          " VALUES(0, ?1, ?2, ?3, 0)",
          &q));
      sqlite3_bind_text(q, 3, s.user().name.data(), static_cast<int>(s.user().name.size()),
                        SQLITE_TRANSIENT);
    } else {
      TABDB_RETURN_IF_ERROR(s.db().Cached(
          "DELETE FROM tab$privs WHERE obj_id = 0 AND grantee = ?1 AND privilege = ?2", &q));
    }
    sqlite3_bind_text(q, 1, who.data(), static_cast<int>(who.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(q, 2, p.data(), static_cast<int>(p.size()), SQLITE_TRANSIENT);
    TABDB_RETURN_IF_ERROR(s.db().Run(q));
  }
  return Status::Ok();
}

}  // namespace

Status CreateUserDdl(Session& s, const sql::UserStmt& u) {
  if (!s.user().dba) return OraError(ora::kInsufficientPrivileges);
  const std::string& name = u.user.text;
  UserInfo existing;
  bool found = false;
  TABDB_RETURN_IF_ERROR(FindUser(s, name, &existing, &found));
  if (found || IsRoleName(name)) return OraError(ora::kUserConflicts, {name});
  if (!u.has_password) return OraError(ora::kMissingPassword);
  TABDB_RETURN_IF_ERROR(CheckUserTablespaces(u));
  PasswordHash h;
  TABDB_RETURN_IF_ERROR(HashOf(u.password, &h));
  // User ids are never reused: a session holds its user's id, and a new
  // user of a dropped user's name must not pass for it. tab$meta keeps the
  // last id given (older files start from the highest id in use).
  TABDB_RETURN_IF_ERROR(s.db().Exec(
      "INSERT INTO tab$meta(k, v) VALUES('last_user',"
      " max((SELECT coalesce(max(user_id), 0) FROM tab$users),"
      " coalesce((SELECT v FROM tab$meta WHERE k = 'last_user'), 0)) + 1)"
      " ON CONFLICT(k) DO UPDATE SET v = excluded.v"));
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "INSERT INTO tab$users(user_id, name, salt, iterations, hash, is_dba, created)"
      " VALUES((SELECT v FROM tab$meta WHERE k = 'last_user'), ?1, ?2, ?3, ?4, 0,"
      " julianday('now'))",
      &q));
  sqlite3_bind_text(q, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
  sqlite3_bind_blob(q, 2, h.salt.data(), static_cast<int>(h.salt.size()), SQLITE_TRANSIENT);
  sqlite3_bind_int(q, 3, h.iterations);
  sqlite3_bind_blob(q, 4, h.hash.data(), static_cast<int>(h.hash.size()), SQLITE_TRANSIENT);
  return s.db().Run(q);
}

Status AlterUserDdl(Session& s, const sql::UserStmt& u) {
  const std::string& name = u.user.text;
  if (!s.user().dba && name != s.user().name) return OraError(ora::kInsufficientPrivileges);
  UserInfo target;
  bool found = false;
  TABDB_RETURN_IF_ERROR(FindUser(s, name, &target, &found));
  if (!found) return OraError(ora::kUserDoesNotExist, {name});
  TABDB_RETURN_IF_ERROR(CheckUserTablespaces(u));
  if (!u.has_password) return Status::Ok();
  PasswordHash h;
  TABDB_RETURN_IF_ERROR(HashOf(u.password, &h));
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "UPDATE tab$users SET salt = ?2, iterations = ?3, hash = ?4 WHERE user_id = ?1", &q));
  sqlite3_bind_int64(q, 1, target.user_id);
  sqlite3_bind_blob(q, 2, h.salt.data(), static_cast<int>(h.salt.size()), SQLITE_TRANSIENT);
  sqlite3_bind_int(q, 3, h.iterations);
  sqlite3_bind_blob(q, 4, h.hash.data(), static_cast<int>(h.hash.size()), SQLITE_TRANSIENT);
  return s.db().Run(q);
}

Status DropUserDdl(Session& s, const sql::DropObject& d) {
  if (!s.user().dba) return OraError(ora::kInsufficientPrivileges);
  if (d.name.empty()) return OraError(ora::kMissingUserOrRole);
  const std::string& name = d.name.back().text;
  UserInfo target;
  bool found = false;
  TABDB_RETURN_IF_ERROR(FindUser(s, name, &target, &found));
  if (!found) return OraError(ora::kUserDoesNotExist, {name});
  // The administrator keeps the database manageable.
  if (name == kAdmin) return OraError(ora::kInsufficientPrivileges);
  if (name == s.user().name) return OraError(ora::kUserConnected);
  bool connected = false;
  TABDB_RETURN_IF_ERROR(UserConnected(s.db(), target.user_id, &connected));
  if (connected) return OraError(ora::kUserConnected);

  // Objects of the user: its tables (with their indexes and constraints),
  // its indexes on other users' tables, its other objects (sequences,
  // views, synonyms, dimensions) and its stored code.
  std::vector<int64_t> tables, indexes, others;
  {
    sqlite3_stmt* q = nullptr;
    TABDB_RETURN_IF_ERROR(s.db().Cached(
        "SELECT obj_id, type FROM tab$objects WHERE owner = ?1 ORDER BY obj_id", &q));
    sqlite3_bind_text(q, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    while (true) {
      bool row = false;
      TABDB_RETURN_IF_ERROR(s.db().Step(q, &row));
      if (!row) break;
      const char* type = reinterpret_cast<const char*>(sqlite3_column_text(q, 1));
      std::string t = type ? type : "";
      (t == "TABLE" ? tables : t == "INDEX" ? indexes : others).push_back(sqlite3_column_int64(q, 0));
    }
    sqlite3_reset(q);
  }
  bool code = false;
  TABDB_RETURN_IF_ERROR(EnsureSourceTable(s));
  {
    sqlite3_stmt* q = nullptr;
    TABDB_RETURN_IF_ERROR(s.db().Cached("SELECT 1 FROM tab$source WHERE owner = ?1 LIMIT 1", &q));
    sqlite3_bind_text(q, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    TABDB_RETURN_IF_ERROR(s.db().Step(q, &code));
    sqlite3_reset(q);
  }
  if (!d.cascade && !(tables.empty() && indexes.empty() && others.empty() && !code))
    return OraError(ora::kCascadeRequired, {name});

  for (int64_t t : tables) {
    TableInfo info;
    TABDB_RETURN_IF_ERROR(LoadTableById(s, t, &info));
    TABDB_RETURN_IF_ERROR(RemoveTable(s, info));
  }
  for (int64_t i : indexes) {
    IndexRec r;
    if (!LoadIndex(s, i, &r).ok()) continue;  // went with one of the user's tables
    // A key of another schema's table enforced through this index loses
    // its index with it, as the index's owner is dropped: drop the key too.
    std::string id = std::to_string(i);
    TABDB_RETURN_IF_ERROR(s.db().Exec(
        "DELETE FROM tab$cons_columns WHERE cons_id IN"
        " (SELECT cons_id FROM tab$constraints WHERE index_obj = " + id + ");"
        "DELETE FROM tab$constraints WHERE index_obj = " + id + ";"));
    TABDB_RETURN_IF_ERROR(RemoveIndex(s, i, r.table_obj));
  }
  // Views and synonyms with their own catalog rows first.
  TABDB_RETURN_IF_ERROR(DropSchemaViewsAndSynonyms(s, name));
  // Sequences and the other objects that are a catalog row of their own;
  // stored code is its source lines.
  for (int64_t o : others) {
    std::string id = std::to_string(o);
    TABDB_RETURN_IF_ERROR(s.db().Exec("DELETE FROM tab$sequences WHERE obj_id = " + id + ";"
                                      "DELETE FROM tab$dimensions WHERE obj_id = " + id + ";"
                                      "DELETE FROM tab$objects WHERE obj_id = " + id + ";"));
    TABDB_RETURN_IF_ERROR(DropObjectGrants(s, o));
    TABDB_RETURN_IF_ERROR(DropComments(s, o));
  }
  {
    sqlite3_stmt* q = nullptr;
    TABDB_RETURN_IF_ERROR(s.db().Cached("DELETE FROM tab$source WHERE owner = ?1", &q));
    sqlite3_bind_text(q, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    TABDB_RETURN_IF_ERROR(s.db().Run(q));
    // Grants on the schema's units, their errors and what they used.
    for (const char* sql : {"DELETE FROM tab$privs WHERE obj_id IN (SELECT obj_id FROM tab$code WHERE owner = ?1)",
                            "DELETE FROM tab$code WHERE owner = ?1", "DELETE FROM tab$errors WHERE owner = ?1",
                            "DELETE FROM tab$dependencies WHERE owner = ?1"}) {
      TABDB_RETURN_IF_ERROR(s.db().Cached(sql, &q));
      sqlite3_bind_text(q, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
      TABDB_RETURN_IF_ERROR(s.db().Run(q));
    }
  }
  // Constraints of the schema all belong to its tables, dropped above.
  TABDB_RETURN_IF_ERROR(DropUserGrants(s, name));
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached("DELETE FROM tab$users WHERE user_id = ?1", &q));
  sqlite3_bind_int64(q, 1, target.user_id);
  return s.db().Run(q);
}

Status GrantDdl(Session& s, const sql::Grant& g, bool grant) {
  if (!g.object.empty()) return ObjectGrantDdl(s, g, grant);
  if (!s.user().dba) return OraError(ora::kInsufficientPrivileges);
  bool dba = false;
  for (const std::string& p : g.privileges) dba = dba || p == "DBA";
  for (const sql::Name& who : g.grantees) {
    if (who.text == "PUBLIC") continue;
    UserInfo u;
    bool found = false;
    TABDB_RETURN_IF_ERROR(FindUser(s, who.text, &u, &found));
    if (!found && grant && g.has_password) {
      // GRANT ... TO u IDENTIFIED BY pw creates a user that does not exist
      // yet, and sets the password of one that does.
      sql::UserStmt cu;
      cu.user = who;
      cu.password = g.password;
      TABDB_RETURN_IF_ERROR(CreateUserDdl(s, cu));
      TABDB_RETURN_IF_ERROR(FindUser(s, who.text, &u, &found));
    } else if (found && grant && g.has_password) {
      sql::UserStmt au;
      au.user = who;
      au.password = g.password;
      TABDB_RETURN_IF_ERROR(AlterUserDdl(s, au));
    }
    if (!found) return OraError(ora::kUserOrRoleNotExist, {who.text});
    TABDB_RETURN_IF_ERROR(RecordSystemGrants(s, g, grant, u.name));
    if (!dba) continue;
    if (grant) {
      TABDB_RETURN_IF_ERROR(SetDba(s, u.user_id, true));
    } else {
      if (u.name == kAdmin) return OraError(ora::kInsufficientPrivileges);
      if (!u.dba) return OraError(ora::kRoleNotGranted, {"DBA", u.name});
      TABDB_RETURN_IF_ERROR(SetDba(s, u.user_id, false));
    }
  }
  return Status::Ok();
}

}  // namespace cat
}  // namespace tabdb

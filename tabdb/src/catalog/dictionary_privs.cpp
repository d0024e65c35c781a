// dictionary_privs.cpp - the privilege views: USER_/ALL_/DBA_TAB_PRIVS,
// USER_TAB_PRIVS_MADE and _RECD, USER_/DBA_ROLE_PRIVS and USER_/DBA_SYS_PRIVS,
// with Oracle's columns, as SELECTs over tab$privs (object grants, and with
// object id 0 the roles and system privileges) and tab$users (the DBA role).
#include "catalog/catalog_internal.h"
#include "catalog/code_units.h"
#include "catalog/dictionary.h"
#include "util/errors.h"

namespace tabdb {
namespace cat {
namespace {

TypeDesc Text(int n) {
  TypeDesc t;
  t.kind = TypeKind::kVarchar2;
  t.length = n;
  return t;
}

struct PCol {
  const char* name;
  int length;
  const char* expr;
};

// One privilege view: its columns and the rows it shows (`where` may
// hold :me for the session's user).
struct PView {
  const char* name;
  std::vector<PCol> cols;
  const char* from;
  const char* where;
  bool dba_only;
};

const char* const kTabFrom =
    "FROM tab$privs p JOIN tab$objects o ON o.obj_id = p.obj_id WHERE 1";
const char* const kTabOrder = " ORDER BY o.owner, o.name, p.grantee, p.privilege";
// Role rows: the DBA role is the users' flag, the others grants with object id 0.
const char* const kRoleFrom =
    "FROM (SELECT name AS grantee, 'DBA' AS role, 0 AS grantable FROM tab$users WHERE is_dba"
    " UNION ALL SELECT grantee, privilege, grantable FROM tab$privs WHERE obj_id = 0 AND"
    " privilege IN ('CONNECT', 'RESOURCE', 'SELECT_CATALOG_ROLE')) r WHERE 1";
const char* const kSysFrom =
    "FROM tab$privs p WHERE p.obj_id = 0 AND"
    " p.privilege NOT IN ('CONNECT', 'RESOURCE', 'SELECT_CATALOG_ROLE')";

const PCol kTail[] = {
    {"GRANTABLE", 3, "CASE p.grantable WHEN 0 THEN 'NO' ELSE 'YES' END"},
    {"HIERARCHY", 3, "'NO'"},
    {"COMMON", 3, "'NO'"},
    {"TYPE", 24, "o.type"},
    {"INHERITED", 3, "'NO'"},
};

std::vector<PCol> TabCols(std::initializer_list<PCol> head) {
  std::vector<PCol> v(head);
  v.insert(v.end(), std::begin(kTail), std::end(kTail));
  return v;
}

std::vector<PView> Views() {
  const PCol grantee{"GRANTEE", 128, "p.grantee"}, owner{"OWNER", 128, "o.owner"},
      table{"TABLE_NAME", 128, "o.name"}, grantor{"GRANTOR", 128, "p.grantor"},
      priv{"PRIVILEGE", 40, "p.privilege"};
  const PCol role_tail[] = {{"ADMIN_OPTION", 3, "CASE r.grantable WHEN 0 THEN 'NO' ELSE 'YES' END"},
                            {"DELEGATE_OPTION", 3, "'NO'"},
                            {"DEFAULT_ROLE", 3, "'YES'"}};
  const PCol sys_tail[] = {{"ADMIN_OPTION", 3, "CASE p.grantable WHEN 0 THEN 'NO' ELSE 'YES' END"},
                           {"COMMON", 3, "'NO'"},
                           {"INHERITED", 3, "'NO'"}};
  return {
      {"USER_TAB_PRIVS", TabCols({grantee, owner, table, grantor, priv}), kTabFrom,
       "(p.grantee = :me OR o.owner = :me OR p.grantor = :me)", false},
      {"ALL_TAB_PRIVS",
       TabCols({grantor, grantee, {"TABLE_SCHEMA", 128, "o.owner"}, table, priv}), kTabFrom,
       "(p.grantee IN (:me, 'PUBLIC') OR o.owner = :me OR p.grantor = :me)", false},
      {"DBA_TAB_PRIVS", TabCols({grantee, owner, table, grantor, priv}), kTabFrom, "1", true},
      {"USER_TAB_PRIVS_MADE", TabCols({grantee, table, grantor, priv}), kTabFrom,
       "o.owner = :me", false},
      {"USER_TAB_PRIVS_RECD", TabCols({owner, table, grantor, priv}), kTabFrom,
       "p.grantee = :me", false},
      {"ALL_TAB_PRIVS_RECD", TabCols({grantee, owner, table, grantor, priv}), kTabFrom,
       "p.grantee IN (:me, 'PUBLIC')", false},
      {"ALL_TAB_PRIVS_MADE", TabCols({grantee, owner, table, grantor, priv}), kTabFrom,
       "(o.owner = :me OR p.grantor = :me)", false},
      {"USER_ROLE_PRIVS",
       {{"USERNAME", 128, "r.grantee"}, {"GRANTED_ROLE", 128, "r.role"}, role_tail[0],
        role_tail[1], role_tail[2], {"OS_GRANTED", 3, "'NO'"}, {"COMMON", 3, "'NO'"},
        {"INHERITED", 3, "'NO'"}},
       kRoleFrom, "r.grantee = :me", false},
      {"DBA_ROLE_PRIVS",
       {{"GRANTEE", 128, "r.grantee"}, {"GRANTED_ROLE", 128, "r.role"}, role_tail[0],
        role_tail[1], role_tail[2], {"COMMON", 3, "'NO'"}, {"INHERITED", 3, "'NO'"}},
       kRoleFrom, "1", true},
      {"USER_SYS_PRIVS",
       {{"USERNAME", 128, "p.grantee"}, {"PRIVILEGE", 40, "p.privilege"}, sys_tail[0],
        sys_tail[1], sys_tail[2]},
       kSysFrom, "p.grantee = :me", false},
      {"DBA_SYS_PRIVS",
       {{"GRANTEE", 128, "p.grantee"}, {"PRIVILEGE", 40, "p.privilege"}, sys_tail[0],
        sys_tail[1], sys_tail[2]},
       kSysFrom, "1", true},
  };
}

}  // namespace

bool FindPrivilegeView(Session& s, const std::string& name, DictionaryView* out,
                       Status* status) {
  static const std::vector<PView> views = Views();
  const PView* v = nullptr;
  for (const PView& pv : views)
    if (name == pv.name) v = &pv;
  if (v == nullptr) return false;
  *status = Status::Ok();
  if (v->dba_only && !s.user().dba) {
    *status = OraError(ora::kTableNotExist);
    return true;
  }
  out->name = name;
  out->columns.clear();
  std::string select;
  for (const PCol& c : v->cols) {
    if (!select.empty()) select += ", ";
    select += std::string(c.expr) + " AS \"" + c.name + "\"";
    out->columns.push_back({c.name, Text(c.length)});
  }
  std::string where = v->where;
  std::string me = SqlString(s.user().name);
  for (size_t at; (at = where.find(":me")) != std::string::npos;) where.replace(at, 3, me);
  bool tab = v->from == kTabFrom;
  if (!tab) {
    out->sql = "SELECT " + select + " " + v->from + " AND " + where;
    return true;
  }
  // Grants on tables and the other objects of tab$objects, on stored
  // units and on supplied packages: one branch each, so that a query
  // naming the object searches each by its key.
  out->sql = "SELECT " + select + " " + v->from + " AND " + where + " UNION ALL SELECT " + select +
             " FROM tab$privs p JOIN tab$code o ON o.obj_id = p.obj_id WHERE o.type IN"
             " ('PROCEDURE', 'FUNCTION', 'PACKAGE', 'TYPE') AND " + where +
             " UNION ALL SELECT " + select + " FROM tab$privs p JOIN (" + SuppliedPackagesSql() +
             ") o ON o.obj_id = p.obj_id WHERE " + where;
  std::string order;
  for (const char* key : {"o.owner", "o.name", "p.grantee", "p.privilege"})
    for (size_t i = 0; i < v->cols.size(); ++i)
      if (std::string(v->cols[i].expr) == key) {
        order += (order.empty() ? " ORDER BY " : ", ") + std::to_string(i + 1);
        break;
      }
  out->sql += order;
  return true;
}

}  // namespace cat
}  // namespace tabdb

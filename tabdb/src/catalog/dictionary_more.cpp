// dictionary_more.cpp - dictionary views installers and schema scripts
// test before they act: *_TRIGGERS and *_TYPES (read from the kept source
// of triggers and types), *_SCHEDULER_JOBS (always empty), SESSION_PRIVS,
// SESSION_ROLES, DBA_/USER_TABLESPACES, *_MVIEWS and *_MVIEW_LOGS, with
// Oracle's columns.
#include <sqlite3.h>

#include <algorithm>

#include "catalog/catalog_internal.h"
#include "catalog/dictionary.h"
#include "sql/lexer.h"
#include "storage/sqlite_util.h"
#include "util/errors.h"

namespace tabdb {
namespace cat {
namespace {

TypeDesc Of(TypeKind kind, int length = kUnset) {
  TypeDesc t;
  t.kind = kind;
  t.length = length;
  return t;
}
TypeDesc V(int n) { return Of(TypeKind::kVarchar2, n); }
TypeDesc Num() { return Of(TypeKind::kNumber); }
TypeDesc Long() { return Of(TypeKind::kLong); }

Status Prepare(Session& s, const char* sql, SqliteStmt* out) {
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(s.db().handle(), sql, -1, &st, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(st);
    return SqliteError(s.db().handle(), rc);
  }
  out->reset(st);
  return Status::Ok();
}

struct Column {
  const char* name;
  TypeDesc type;
  bool owner = false;  // left out of the USER_ view
};

enum Family { kAll, kUser, kDba, kNone };

Family FamilyOf(const std::string& name, std::string* base) {
  if (name.rfind("ALL_", 0) == 0) return *base = name.substr(4), kAll;
  if (name.rfind("USER_", 0) == 0) return *base = name.substr(5), kUser;
  if (name.rfind("DBA_", 0) == 0) return *base = name.substr(4), kDba;
  *base = name;
  return kNone;
}

std::string Text(const std::string& v) { return SqlString(v); }
std::string Number(int64_t v) { return "tabdb_num(" + std::to_string(v) + ")"; }
const std::string kNull = "NULL";

// A view of literal rows: each row holds one SQL value per column of
// `cols` (the owner's value first when the columns start with it).
void RowsView(const std::string& name, const std::vector<Column>& cols, Family f,
              const std::vector<std::vector<std::string>>& rows, DictionaryView* out) {
  out->name = name;
  out->columns.clear();
  std::vector<size_t> keep;
  for (size_t i = 0; i < cols.size(); ++i) {
    if (f == kUser && cols[i].owner) continue;
    keep.push_back(i);
    out->columns.push_back({cols[i].name, cols[i].type});
  }
  std::string sql;
  if (rows.empty()) {
    sql = "SELECT ";
    for (size_t k = 0; k < keep.size(); ++k)
      sql += (k ? ", " : "") + std::string("NULL AS \"") + cols[keep[k]].name + "\"";
    sql += " WHERE 0";
  } else {
    for (size_t r = 0; r < rows.size(); ++r) {
      sql += r ? " UNION ALL SELECT " : "SELECT ";
      for (size_t k = 0; k < keep.size(); ++k)
        sql += (k ? ", " : "") + rows[r][keep[k]] + " AS \"" + cols[keep[k]].name + "\"";
    }
  }
  out->sql = sql;
}

// What the header of a trigger's source says about it.
struct TriggerFacts {
  std::string type = "BEFORE STATEMENT";
  std::string event;
  std::string table_owner, table_name, base_type = "TABLE";
  std::string referencing = "REFERENCING NEW AS NEW OLD AS OLD";
  std::string when;
  std::string description;
  std::string body;
  std::string action_type = "PL/SQL     ";
};

TriggerFacts ReadTrigger(const std::string& owner, const std::string& src) {
  TriggerFacts f;
  std::vector<sql::Token> t;
  (void)sql::TokenizePlsql(src, &t);
  std::string timing;
  bool each_row = false, in_events = false, compound = false;
  size_t body = src.size(), desc_end = src.size();
  size_t i = 2;  // after TRIGGER name
  if (i < t.size() && t[i].text == ".") i += 2;
  size_t desc_begin = t.size() > 1 ? t[1].begin : 0;
  for (; i < t.size() && t[i].kind != sql::TokenKind::kEnd; ++i) {
    const std::string& w = t[i].kind == sql::TokenKind::kIdent ? t[i].text : std::string();
    if (w == "BEFORE" || w == "AFTER") {
      timing = w;
      in_events = true;
    } else if (w == "INSTEAD") {
      timing = "INSTEAD OF";
      in_events = true;
    } else if (w == "FOR" && i + 1 < t.size() && t[i + 1].text == "EACH") {
      each_row = true;
    } else if (w == "FOR") {
      timing = "COMPOUND";
      in_events = true;
    } else if (in_events && (w == "INSERT" || w == "UPDATE" || w == "DELETE" || w == "LOGON" ||
                             w == "LOGOFF" || w == "STARTUP" || w == "SHUTDOWN" || w == "SERVERERROR" ||
                             w == "CREATE" || w == "ALTER" || w == "DROP" || w == "DDL" || w == "TRUNCATE")) {
      f.event += (f.event.empty() ? "" : " OR ") + w;
    } else if (w == "ON" && in_events && i + 1 < t.size()) {
      in_events = false;
      const sql::Token& a = t[i + 1];
      bool qualified = i + 3 < t.size() && t[i + 2].text == "." && t[i + 2].kind == sql::TokenKind::kSymbol;
      if (!qualified && a.kind == sql::TokenKind::kIdent && (a.text == "DATABASE" || a.text == "SCHEMA")) {
        f.base_type = a.text;
        f.table_owner = a.text == "SCHEMA" ? owner : "SYS";
      } else if (qualified) {
        f.table_owner = a.text;
        f.table_name = t[i + 3].text;
      } else {
        f.table_owner = owner;
        f.table_name = a.text;
      }
    } else if (w == "REFERENCING") {
      size_t k = i + 1;
      while (k < t.size() && t[k].kind != sql::TokenKind::kEnd && t[k].text != "FOR" && t[k].text != "WHEN" &&
             t[k].text != "BEGIN" && t[k].text != "DECLARE" && t[k].text != "ENABLE" && t[k].text != "DISABLE")
        ++k;
      if (k < t.size()) f.referencing = src.substr(t[i].begin, t[k - 1].end - t[i].begin);
    } else if (w == "WHEN" && i + 1 < t.size() && t[i + 1].text == "(") {
      int depth = 0;
      size_t k = i + 1;
      for (; k < t.size() && t[k].kind != sql::TokenKind::kEnd; ++k) {
        if (t[k].text == "(") ++depth;
        if (t[k].text == ")" && --depth == 0) break;
      }
      if (k < t.size() && t[k].kind != sql::TokenKind::kEnd) {
        f.when = src.substr(t[i + 1].end, t[k].begin - t[i + 1].end);
        desc_end = std::min(desc_end, static_cast<size_t>(t[i].begin));
        i = k;
      }
    } else if (w == "DECLARE" || w == "BEGIN" || w == "CALL" || (w == "COMPOUND" && i + 1 < t.size())) {
      if (w == "COMPOUND") compound = true;
      if (w == "CALL") f.action_type = "CALL";
      body = t[i].begin;
      desc_end = std::min(desc_end, body);
      break;
    }
  }
  if (compound) {
    f.type = "COMPOUND";
  } else if (f.base_type != "TABLE") {
    f.type = timing + " EVENT";
  } else if (timing == "INSTEAD OF") {
    f.type = "INSTEAD OF";
  } else if (!timing.empty()) {
    f.type = timing + (each_row ? " EACH ROW" : " STATEMENT");
  }
  if (f.base_type == "TABLE" && timing == "INSTEAD OF") f.base_type = "VIEW";
  if (desc_end > desc_begin && desc_end <= src.size()) {
    f.description = src.substr(desc_begin, desc_end - desc_begin);
    while (!f.description.empty() && (f.description.back() == ' ' || f.description.back() == '\n'))
      f.description.pop_back();
    f.description += "\n";
  }
  if (body < src.size()) f.body = src.substr(body);
  return f;
}

// The units of stored code of one type, with their whole source, for the
// owners the family shows.
Status LoadUnits(Session& s, Family f, const char* type, std::vector<std::pair<std::string, std::string>>* names,
                 std::vector<std::string>* sources, std::vector<bool>* enabled) {
  TABDB_RETURN_IF_ERROR(EnsureSourceTable(s));
  SqliteStmt st;
  TABDB_RETURN_IF_ERROR(Prepare(s,
                                "SELECT owner, name, text, enabled FROM tab$source WHERE type = ?1"
                                " AND (?2 OR owner = ?3) ORDER BY owner, name, line",
                                &st));
  st.BindText(1, type);
  st.BindInt(2, f != kUser && s.user().dba ? 1 : 0);
  st.BindText(3, s.user().name);
  while (sqlite3_step(st.get()) == SQLITE_ROW) {
    std::pair<std::string, std::string> key(st.Text(0), st.Text(1));
    if (names->empty() || names->back() != key) {
      names->push_back(key);
      sources->emplace_back();
      enabled->push_back(st.Int(3) != 0);
    }
    sources->back() += st.Text(2);
  }
  return Status::Ok();
}

Status TriggersView(Session& s, const std::string& name, Family f, DictionaryView* out) {
  const std::vector<Column> cols = {
      {"OWNER", V(128), true},         {"TRIGGER_NAME", V(128)},       {"TRIGGER_TYPE", V(16)},
      {"TRIGGERING_EVENT", V(246)},    {"TABLE_OWNER", V(128)},        {"BASE_OBJECT_TYPE", V(18)},
      {"TABLE_NAME", V(128)},          {"COLUMN_NAME", V(4000)},       {"REFERENCING_NAMES", V(422)},
      {"WHEN_CLAUSE", V(4000)},        {"STATUS", V(8)},               {"DESCRIPTION", V(4000)},
      {"ACTION_TYPE", V(11)},          {"TRIGGER_BODY", Long()},       {"CROSSEDITION", V(7)},
      {"BEFORE_STATEMENT", V(3)},      {"BEFORE_ROW", V(3)},           {"AFTER_ROW", V(3)},
      {"AFTER_STATEMENT", V(3)},       {"INSTEAD_OF_ROW", V(3)},       {"FIRE_ONCE", V(3)},
      {"APPLY_SERVER_ONLY", V(3)}};
  std::vector<std::pair<std::string, std::string>> names;
  std::vector<std::string> sources;
  std::vector<bool> enabled;
  TABDB_RETURN_IF_ERROR(LoadUnits(s, f, "TRIGGER", &names, &sources, &enabled));
  std::vector<std::vector<std::string>> rows;
  for (size_t i = 0; i < names.size(); ++i) {
    TriggerFacts t = ReadTrigger(names[i].first, sources[i]);
    auto yes = [&](bool b) { return Text(b ? "YES" : "NO"); };
    rows.push_back({Text(names[i].first), Text(names[i].second), Text(t.type), Text(t.event),
                    t.table_owner.empty() ? kNull : Text(t.table_owner), Text(t.base_type),
                    t.table_name.empty() ? kNull : Text(t.table_name), kNull, Text(t.referencing),
                    t.when.empty() ? kNull : Text(t.when), Text(enabled[i] ? "ENABLED" : "DISABLED"),
                    Text(t.description), Text(t.action_type), Text(t.body), Text("DISABLED"),
                    yes(t.type == "BEFORE STATEMENT"), yes(t.type == "BEFORE EACH ROW"),
                    yes(t.type == "AFTER EACH ROW"), yes(t.type == "AFTER STATEMENT"),
                    yes(t.type == "INSTEAD OF"), Text("YES"), Text("NO")});
  }
  RowsView(name, cols, f, rows, out);
  return Status::Ok();
}

Status TypesView(Session& s, const std::string& name, Family f, DictionaryView* out) {
  const std::vector<Column> cols = {
      {"OWNER", V(128), true},    {"TYPE_NAME", V(128)},      {"TYPE_OID", Of(TypeKind::kRaw, 16)},
      {"TYPECODE", V(128)},       {"ATTRIBUTES", Num()},      {"METHODS", Num()},
      {"PREDEFINED", V(3)},       {"INCOMPLETE", V(3)},       {"FINAL", V(3)},
      {"INSTANTIABLE", V(3)},     {"PERSISTABLE", V(3)},      {"SUPERTYPE_OWNER", V(128)},
      {"SUPERTYPE_NAME", V(128)}, {"LOCAL_ATTRIBUTES", Num()}, {"LOCAL_METHODS", Num()},
      {"TYPEID", Of(TypeKind::kRaw, 256)}};
  std::vector<std::pair<std::string, std::string>> names;
  std::vector<std::string> sources;
  std::vector<bool> enabled;
  TABDB_RETURN_IF_ERROR(LoadUnits(s, f, "TYPE", &names, &sources, &enabled));
  std::vector<std::vector<std::string>> rows;
  for (size_t i = 0; i < names.size(); ++i) {
    // The words after the name tell an object type from a collection
    // (AS TABLE OF, AS VARRAY) and name a supertype (UNDER t).
    std::vector<sql::Token> t;
    (void)sql::TokenizePlsql(sources[i], &t);
    std::string code = "OBJECT", super_owner, super_name;
    bool final_type = true, instantiable = true;
    for (size_t k = 0; k + 1 < t.size(); ++k) {
      const std::string& w = t[k].text;
      if ((w == "AS" || w == "IS") && (t[k + 1].text == "TABLE" || t[k + 1].text == "VARRAY" ||
                                       t[k + 1].text == "VARYING"))
        code = "COLLECTION";
      if (w == "UNDER") {
        bool q = k + 3 < t.size() && t[k + 2].text == ".";
        super_owner = q ? t[k + 1].text : names[i].first;
        super_name = q ? t[k + 3].text : t[k + 1].text;
      }
      if (w == "NOT" && t[k + 1].text == "FINAL") final_type = false;
      if (w == "NOT" && t[k + 1].text == "INSTANTIABLE") instantiable = false;
    }
    rows.push_back({Text(names[i].first), Text(names[i].second), kNull, Text(code), Number(0), Number(0),
                    Text("NO"), Text("NO"), Text(final_type ? "YES" : "NO"), Text(instantiable ? "YES" : "NO"),
                    Text("YES"), super_owner.empty() ? kNull : Text(super_owner),
                    super_name.empty() ? kNull : Text(super_name), kNull, kNull, kNull});
  }
  RowsView(name, cols, f, rows, out);
  return Status::Ok();
}

// No job is ever scheduled: the view has Oracle's columns and no row.
void SchedulerJobsView(const std::string& name, Family f, DictionaryView* out) {
  const std::vector<Column> cols = {
      {"OWNER", V(128), true},       {"JOB_NAME", V(128)},         {"JOB_SUBNAME", V(128)},
      {"JOB_STYLE", V(17)},          {"JOB_CREATOR", V(128)},      {"CLIENT_ID", V(65)},
      {"GLOBAL_UID", V(33)},         {"PROGRAM_OWNER", V(4000)},   {"PROGRAM_NAME", V(4000)},
      {"JOB_TYPE", V(16)},           {"JOB_ACTION", V(4000)},      {"NUMBER_OF_ARGUMENTS", Num()},
      {"SCHEDULE_OWNER", V(4000)},   {"SCHEDULE_NAME", V(4000)},   {"SCHEDULE_TYPE", V(12)},
      {"START_DATE", Of(TypeKind::kTimestampTZ)}, {"REPEAT_INTERVAL", V(4000)},
      {"EVENT_QUEUE_OWNER", V(128)}, {"EVENT_QUEUE_NAME", V(128)}, {"EVENT_QUEUE_AGENT", V(523)},
      {"EVENT_CONDITION", V(4000)},  {"EVENT_RULE", V(261)},       {"FILE_WATCHER_OWNER", V(261)},
      {"FILE_WATCHER_NAME", V(261)}, {"END_DATE", Of(TypeKind::kTimestampTZ)},
      {"JOB_CLASS", V(128)},         {"ENABLED", V(5)},            {"AUTO_DROP", V(5)},
      {"RESTARTABLE", V(5)},         {"STATE", V(15)},             {"JOB_PRIORITY", Num()},
      {"RUN_COUNT", Num()},          {"MAX_RUNS", Num()},          {"FAILURE_COUNT", Num()},
      {"MAX_FAILURES", Num()},       {"RETRY_COUNT", Num()},       {"LAST_START_DATE", Of(TypeKind::kTimestampTZ)},
      {"LAST_RUN_DURATION", Of(TypeKind::kIntervalDS)}, {"NEXT_RUN_DATE", Of(TypeKind::kTimestampTZ)},
      {"SCHEDULE_LIMIT", Of(TypeKind::kIntervalDS)}, {"MAX_RUN_DURATION", Of(TypeKind::kIntervalDS)},
      {"LOGGING_LEVEL", V(11)},      {"STORE_OUTPUT", V(5)},       {"STOP_ON_WINDOW_CLOSE", V(5)},
      {"INSTANCE_STICKINESS", V(5)}, {"RAISE_EVENTS", V(4000)},    {"SYSTEM", V(5)},
      {"JOB_WEIGHT", Num()},         {"NLS_ENV", V(4000)},         {"SOURCE", V(128)},
      {"NUMBER_OF_DESTINATIONS", Num()}, {"DESTINATION_OWNER", V(261)}, {"DESTINATION", V(261)},
      {"CREDENTIAL_OWNER", V(128)},  {"CREDENTIAL_NAME", V(128)},  {"INSTANCE_ID", Num()},
      {"DEFERRED_DROP", V(5)},       {"ALLOW_RUNS_IN_RESTRICTED_MODE", V(5)}, {"COMMENTS", V(4000)},
      {"FLAGS", Num()},              {"RESTARTABLE_ON_FAILURE", V(5)}, {"CONNECT_CREDENTIAL_OWNER", V(128)},
      {"CONNECT_CREDENTIAL_NAME", V(128)}};
  RowsView(name, cols, f, {}, out);
}

// The roles the session has: those granted to its user (DBA by the user's
// flag), and, as Oracle lists them, the roles those roles hold.
Status SessionRoles(Session& s, std::vector<std::string>* roles) {
  if (s.user().dba) roles->push_back("DBA");
  SqliteStmt st;
  TABDB_RETURN_IF_ERROR(Prepare(s,
                                "SELECT DISTINCT privilege FROM tab$privs WHERE obj_id = 0 AND grantee IN (?1, 'PUBLIC')"
                                " AND privilege IN ('CONNECT', 'RESOURCE', 'SELECT_CATALOG_ROLE') ORDER BY 1",
                                &st));
  st.BindText(1, s.user().name);
  while (sqlite3_step(st.get()) == SQLITE_ROW) roles->push_back(st.Text(0));
  if (s.user().dba) roles->push_back("SELECT_CATALOG_ROLE");
  std::sort(roles->begin(), roles->end());
  roles->erase(std::unique(roles->begin(), roles->end()), roles->end());
  return Status::Ok();
}

Status SessionPrivsView(Session& s, const std::string& name, DictionaryView* out) {
  std::vector<std::string> roles, privs;
  TABDB_RETURN_IF_ERROR(SessionRoles(s, &roles));
  for (const std::string& r : roles) {
    if (r == "DBA") {
      for (const char* p : {"CREATE SESSION", "ALTER SESSION", "UNLIMITED TABLESPACE", "CREATE TABLE",
                            "CREATE ANY TABLE", "ALTER ANY TABLE", "DROP ANY TABLE", "SELECT ANY TABLE",
                            "INSERT ANY TABLE", "UPDATE ANY TABLE", "DELETE ANY TABLE", "LOCK ANY TABLE",
                            "CREATE ANY INDEX", "DROP ANY INDEX", "CREATE SYNONYM", "CREATE ANY SYNONYM",
                            "DROP ANY SYNONYM", "CREATE PUBLIC SYNONYM", "DROP PUBLIC SYNONYM", "CREATE VIEW",
                            "CREATE ANY VIEW", "DROP ANY VIEW", "CREATE SEQUENCE", "CREATE ANY SEQUENCE",
                            "DROP ANY SEQUENCE", "SELECT ANY SEQUENCE", "CREATE PROCEDURE",
                            "CREATE ANY PROCEDURE", "DROP ANY PROCEDURE", "EXECUTE ANY PROCEDURE",
                            "CREATE TRIGGER", "CREATE ANY TRIGGER", "DROP ANY TRIGGER", "CREATE TYPE",
                            "CREATE ANY TYPE", "DROP ANY TYPE", "CREATE MATERIALIZED VIEW",
                            "CREATE ANY MATERIALIZED VIEW", "DROP ANY MATERIALIZED VIEW", "CREATE USER",
                            "ALTER USER", "DROP USER", "GRANT ANY PRIVILEGE", "GRANT ANY OBJECT PRIVILEGE",
                            "GRANT ANY ROLE", "SELECT ANY DICTIONARY", "COMMENT ANY TABLE"})
        privs.push_back(p);
    } else if (r == "CONNECT") {
      privs.push_back("CREATE SESSION");
      privs.push_back("SET CONTAINER");
    } else if (r == "RESOURCE") {
      for (const char* p : {"CREATE TABLE", "CREATE CLUSTER", "CREATE SEQUENCE", "CREATE PROCEDURE",
                            "CREATE TRIGGER", "CREATE TYPE", "CREATE OPERATOR", "CREATE INDEXTYPE"})
        privs.push_back(p);
    }
  }
  SqliteStmt st;
  TABDB_RETURN_IF_ERROR(Prepare(s,
                                "SELECT DISTINCT privilege FROM tab$privs WHERE obj_id = 0 AND grantee IN (?1, 'PUBLIC')"
                                " AND privilege NOT IN ('CONNECT', 'RESOURCE', 'SELECT_CATALOG_ROLE')",
                                &st));
  st.BindText(1, s.user().name);
  while (sqlite3_step(st.get()) == SQLITE_ROW) privs.push_back(st.Text(0));
  std::sort(privs.begin(), privs.end());
  privs.erase(std::unique(privs.begin(), privs.end()), privs.end());
  std::vector<std::vector<std::string>> rows;
  for (const std::string& p : privs) rows.push_back({Text(p), Number(0)});
  RowsView(name, {{"PRIVILEGE", V(40)}, {"ACCOUNTMGMT", Num()}}, kNone, rows, out);
  return Status::Ok();
}

Status SessionRolesView(Session& s, const std::string& name, DictionaryView* out) {
  std::vector<std::string> roles;
  TABDB_RETURN_IF_ERROR(SessionRoles(s, &roles));
  std::vector<std::vector<std::string>> rows;
  for (const std::string& r : roles) rows.push_back({Text(r)});
  RowsView(name, {{"ROLE", V(128)}}, kNone, rows, out);
  return Status::Ok();
}

// The tablespaces of a fresh database: the ones every Oracle database has
// and USERS, where users' segments go (the DEFAULT_PERMANENT_TABLESPACE of
// DATABASE_PROPERTIES).
void TablespacesView(const std::string& name, DictionaryView* out) {
  const std::vector<Column> cols = {
      {"TABLESPACE_NAME", V(30)},     {"BLOCK_SIZE", Num()},          {"INITIAL_EXTENT", Num()},
      {"NEXT_EXTENT", Num()},         {"MIN_EXTENTS", Num()},         {"MAX_EXTENTS", Num()},
      {"MAX_SIZE", Num()},            {"PCT_INCREASE", Num()},        {"MIN_EXTLEN", Num()},
      {"STATUS", V(9)},               {"CONTENTS", V(21)},            {"LOGGING", V(9)},
      {"FORCE_LOGGING", V(3)},        {"EXTENT_MANAGEMENT", V(10)},   {"ALLOCATION_TYPE", V(9)},
      {"PLUGGED_IN", V(3)},           {"SEGMENT_SPACE_MANAGEMENT", V(6)}, {"DEF_TAB_COMPRESSION", V(8)},
      {"RETENTION", V(11)},           {"BIGFILE", V(3)},              {"PREDICATE_EVALUATION", V(7)},
      {"ENCRYPTED", V(3)},            {"COMPRESS_FOR", V(30)},        {"DEF_INMEMORY", V(8)},
      {"SHARED", V(13)},              {"DEF_INDEX_COMPRESSION", V(8)}, {"INDEX_COMPRESS_FOR", V(13)},
      {"DEF_CELLMEMORY", V(14)},      {"DEF_INMEMORY_SERVICE", V(12)}, {"DEF_INMEMORY_SERVICE_NAME", V(1000)},
      {"LOST_WRITE_PROTECT", V(7)},   {"CHUNK_TABLESPACE", V(1)}};
  struct Ts {
    const char* name;
    const char* contents;
    const char* logging;
    const char* alloc;
    const char* ssm;
    const char* retention;
    int64_t next;
  };
  const Ts kTs[] = {{"SYSTEM", "PERMANENT", "LOGGING", "SYSTEM", "MANUAL", "NOT APPLY", -1},
                    {"SYSAUX", "PERMANENT", "LOGGING", "SYSTEM", "AUTO", "NOT APPLY", -1},
                    {"UNDOTBS1", "UNDO", "LOGGING", "SYSTEM", "MANUAL", "NOGUARANTEE", -1},
                    {"TEMP", "TEMPORARY", "NOLOGGING", "UNIFORM", "MANUAL", "NOT APPLY", 1048576},
                    {"USERS", "PERMANENT", "LOGGING", "SYSTEM", "AUTO", "NOT APPLY", -1}};
  std::vector<std::vector<std::string>> rows;
  for (const Ts& t : kTs) {
    bool temp = std::string(t.contents) == "TEMPORARY";
    rows.push_back({Text(t.name), Number(8192), Number(temp ? 1048576 : 65536),
                    t.next < 0 ? kNull : Number(t.next), Number(1), temp ? kNull : Number(2147483645),
                    Number(2147483645), temp ? Number(0) : kNull, Number(temp ? 1048576 : 65536), Text("ONLINE"),
                    Text(t.contents), Text(t.logging), Text("NO"), Text("LOCAL"), Text(t.alloc), Text("NO"),
                    Text(t.ssm), Text("DISABLED"), Text(t.retention), Text("NO"), Text("HOST"), Text("NO"),
                    kNull, Text("DISABLED"), Text("SHARED"), Text("DISABLED"), kNull, kNull, kNull, kNull,
                    Text("OFF"), Text("N")});
  }
  RowsView(name, cols, kNone, rows, out);
}

// A view over the catalog: `exprs` are the SQL of `cols` over `from`
// (a FROM with a WHERE), whose rows' owner is `owner_expr`.
void SqlView(Session& s, const std::string& name, Family f, const std::vector<Column>& cols,
             const std::vector<std::string>& exprs, const std::string& from, const std::string& owner_expr,
             const std::string& order, DictionaryView* out) {
  out->name = name;
  out->columns.clear();
  std::string select;
  for (size_t i = 0; i < cols.size(); ++i) {
    if (f == kUser && cols[i].owner) continue;
    select += (select.empty() ? "" : ", ") + exprs[i] + " AS \"" + cols[i].name + "\"";
    out->columns.push_back({cols[i].name, cols[i].type});
  }
  std::string where;
  if (f == kUser || (f == kAll && !s.user().dba)) where = " AND " + owner_expr + " = " + Text(s.user().name);
  out->sql = "SELECT " + select + " " + from + where + " " + order;
}

// *_MVIEWS: one row per materialized view. Every refresh is complete, so
// a view refreshed once is FRESH as of that refresh.
void MviewsView(Session& s, const std::string& name, Family f, DictionaryView* out) {
  const std::vector<Column> cols = {
      {"OWNER", V(128), true}, {"MVIEW_NAME", V(128)}, {"CONTAINER_NAME", V(128)}, {"QUERY", Long()},
      {"QUERY_LEN", Num()}, {"UPDATABLE", V(1)}, {"UPDATE_LOG", V(128)}, {"MASTER_ROLLBACK_SEG", V(128)},
      {"MASTER_LINK", V(128)}, {"REWRITE_ENABLED", V(1)}, {"REWRITE_CAPABILITY", V(9)},
      {"REFRESH_MODE", V(9)}, {"REFRESH_METHOD", V(8)}, {"BUILD_MODE", V(9)}, {"FAST_REFRESHABLE", V(18)},
      {"LAST_REFRESH_TYPE", V(8)}, {"LAST_REFRESH_DATE", Of(TypeKind::kDate)},
      {"LAST_REFRESH_END_TIME", Of(TypeKind::kDate)}, {"STALENESS", V(19)}, {"AFTER_FAST_REFRESH", V(19)},
      {"UNKNOWN_PREBUILT", V(1)}, {"UNKNOWN_PLSQL_FUNC", V(1)}, {"UNKNOWN_EXTERNAL_TABLE", V(1)},
      {"UNKNOWN_CONSIDER_FRESH", V(1)}, {"UNKNOWN_IMPORT", V(1)}, {"UNKNOWN_TRUSTED_FD", V(1)},
      {"COMPILE_STATE", V(19)}, {"USE_NO_INDEX", V(1)}, {"STALE_SINCE", Of(TypeKind::kDate)},
      {"NUM_PCT_TABLES", Num()}, {"NUM_FRESH_PCT_REGIONS", Num()}, {"NUM_STALE_PCT_REGIONS", Num()},
      {"SEGMENT_CREATED", V(3)}, {"EVALUATION_EDITION", V(128)}, {"UNUSABLE_BEFORE", V(128)},
      {"UNUSABLE_BEGINNING", V(128)}, {"DEFAULT_COLLATION", V(100)}, {"ON_QUERY_COMPUTATION", V(1)}};
  const std::string staleness =
      "CASE WHEN m.last_refresh IS NOT NULL THEN 'FRESH' WHEN m.build = 'PREBUILT' THEN 'UNKNOWN'"
      " ELSE 'UNUSABLE' END";
  const std::vector<std::string> exprs = {
      "m.owner", "m.name", "m.name", "m.query", "tabdb_num(length(CAST(m.query AS BLOB)))",
      "CASE m.updatable WHEN 0 THEN 'N' ELSE 'Y' END", "NULL", "NULL", "NULL",
      "CASE m.rewrite WHEN 0 THEN 'N' ELSE 'Y' END", "CASE m.rewrite WHEN 0 THEN 'NONE' ELSE 'GENERAL' END",
      "m.refresh_mode", "m.refresh_method", "m.build", "'NO'",
      "CASE WHEN m.last_refresh IS NULL THEN 'NA' ELSE 'COMPLETE' END",
      "tabdb_dict_date(m.last_refresh)", "tabdb_dict_date(m.last_refresh)", staleness, staleness,
      "CASE m.build WHEN 'PREBUILT' THEN 'Y' ELSE 'N' END", "'N'", "'N'", "'N'", "'N'", "'N'", "'VALID'", "'N'",
      "NULL", "tabdb_num(0)", "tabdb_num(0)", "tabdb_num(0)",
      "CASE WHEN m.build = 'DEFERRED' AND m.last_refresh IS NULL THEN 'NO' ELSE 'YES' END", "NULL", "NULL",
      "NULL", "'USING_NLS_COMP'", "'N'"};
  SqlView(s, name, f, cols, exprs, "FROM tab$mviews m WHERE 1", "m.owner", "ORDER BY m.owner, m.name", out);
}

// *_MVIEW_LOGS: one row per log; its table is named after the master.
void MviewLogsView(Session& s, const std::string& name, Family f, DictionaryView* out) {
  const std::vector<Column> cols = {
      {"LOG_OWNER", V(128)}, {"MASTER", V(128)}, {"LOG_TABLE", V(128)}, {"LOG_TRIGGER", V(128)},
      {"ROWIDS", V(3)}, {"PRIMARY_KEY", V(3)}, {"OBJECT_ID", V(3)}, {"FILTER_COLUMNS", V(3)},
      {"SEQUENCE", V(3)}, {"INCLUDE_NEW_VALUES", V(3)}, {"PURGE_ASYNCHRONOUS", V(3)},
      {"PURGE_DEFERRED", V(3)}, {"PURGE_START", Of(TypeKind::kDate)}, {"PURGE_INTERVAL", V(200)},
      {"LAST_PURGE_DATE", Of(TypeKind::kDate)}, {"LAST_PURGE_STATUS", Num()}, {"NUM_ROWS_PURGED", Num()},
      {"COMMIT_SCN_BASED", V(3)}, {"STAGING_LOG", V(3)}};
  auto yes = [](const char* c) { return std::string("CASE l.") + c + " WHEN 0 THEN 'NO' ELSE 'YES' END"; };
  const std::vector<std::string> exprs = {
      "o.owner", "o.name", "'MLOG$_' || substr(o.name, 1, 20)", "NULL", yes("rowids"), yes("primary_key"),
      yes("object_id"), "CASE l.filter_columns WHEN '' THEN 'NO' ELSE 'YES' END", yes("sequence"),
      yes("new_values"), "'NO'", "'NO'", "NULL", "NULL", "NULL", "NULL", "NULL", "'NO'", "'NO'"};
  SqlView(s, name, f, cols, exprs, "FROM tab$mview_logs l JOIN tab$objects o ON o.obj_id = l.master_obj WHERE 1",
          "o.owner", "ORDER BY o.owner, o.name", out);
}

}  // namespace

bool FindMoreView(Session& s, const std::string& name, DictionaryView* out, Status* status) {
  *status = Status::Ok();
  std::string base;
  Family f = FamilyOf(name, &base);
  if (f == kNone) {
    if (name == "SESSION_PRIVS") return *status = SessionPrivsView(s, name, out), true;
    if (name == "SESSION_ROLES") return *status = SessionRolesView(s, name, out), true;
    return false;
  }
  bool known = base == "TRIGGERS" || base == "TYPES" || base == "SCHEDULER_JOBS" || base == "MVIEWS" ||
               base == "MVIEW_LOGS" ||
               (base == "TABLESPACES" && f != kAll);
  if (!known) return false;
  if (f == kDba && !s.user().dba) {
    *status = OraError(ora::kTableNotExist);
    return true;
  }
  EnsureDictionaryFunctions(s.db().handle());
  if (base == "TRIGGERS") *status = TriggersView(s, name, f, out);
  if (base == "TYPES") *status = TypesView(s, name, f, out);
  if (base == "SCHEDULER_JOBS") SchedulerJobsView(name, f, out);
  if (base == "TABLESPACES") TablespacesView(name, out);
  if (base == "MVIEWS") MviewsView(s, name, f, out);
  if (base == "MVIEW_LOGS") MviewLogsView(s, name, f, out);
  return true;
}

}  // namespace cat
}  // namespace tabdb

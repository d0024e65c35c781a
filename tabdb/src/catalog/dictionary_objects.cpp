// dictionary_objects.cpp - the views of schema objects as a whole:
// ALL_/USER_/DBA_OBJECTS (one row per table, index, sequence, view,
// synonym and unit of stored code), ALL_/USER_/DBA_TAB_COMMENTS and
// COL_COMMENTS (every table and view, every visible column, COMMENTS NULL
// where none was made), DATABASE_PROPERTIES, V$DATABASE, V$SESSION and
// the session statistics (V$STATNAME, V$MYSTAT, V$SESSTAT), with Oracle's
// columns.
//
// ALL_ rows are the user's own objects, the objects granted to it or to
// PUBLIC, and public synonyms; a DBA sees every row.
#include <cstdio>

#include "catalog/catalog_internal.h"
#include "catalog/dictionary.h"
#include "util/errors.h"
#include "values/datetime_format.h"

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

struct OCol {
  const char* name;
  TypeDesc type;
  const char* expr;
  bool owner = false;  // the OWNER column USER_ views leave out
};

// One family of ALL_/USER_/DBA_ views. Rows come from `from` (a FROM with
// WHERE), whose owner is `owner_expr` and object id `obj_expr`.
struct OView {
  const char* base;
  std::vector<OCol> cols;
  const char* from;
  const char* owner_expr;
  const char* obj_expr;
  const char* order;
  bool public_rows;  // ALL_ also shows the objects of PUBLIC (public synonyms)
};

// Every object as one row: a branch per kind.
const char* const kObjectsFrom =
    "FROM (SELECT o.owner, o.name, o.obj_id, o.obj_id AS data_obj, 'TABLE' AS type, o.created,"
    " o.created AS last_ddl, 'N' AS generated, 1 AS namespace, NULL AS editionable,"
    " 'VALID' AS status"
    " FROM tab$objects o WHERE o.type = 'TABLE'"
    " UNION ALL SELECT o.owner, o.name, o.obj_id, o.obj_id, 'INDEX', o.created, o.created,"
    " CASE i.generated WHEN 'Y' THEN 'Y' ELSE 'N' END, 4, NULL, 'VALID'"
    " FROM tab$objects o JOIN tab$indexes i ON i.obj_id = o.obj_id"
    " UNION ALL SELECT o.owner, o.name, o.obj_id, NULL, 'SEQUENCE', o.created, o.created,"
    " CASE WHEN q.generated THEN 'Y' ELSE 'N' END, 1, NULL, 'VALID'"
    " FROM tab$objects o LEFT JOIN tab$sequences q ON q.obj_id = o.obj_id"
    " WHERE o.type = 'SEQUENCE'"
    // Views, synonyms and any other named object; public synonyms cannot be
    // editioned, private ones and views can.
    " UNION ALL SELECT o.owner, o.name, o.obj_id, NULL, o.type, o.created, o.created, 'N', 1,"
    " CASE WHEN o.type NOT IN ('VIEW', 'SYNONYM') THEN NULL"
    " WHEN o.owner = 'PUBLIC' THEN 'N' ELSE 'Y' END, coalesce(v.status, 'VALID')"
    " FROM tab$objects o LEFT JOIN tab$views v ON v.obj_id = o.obj_id"
    " WHERE o.type NOT IN ('TABLE', 'INDEX', 'SEQUENCE')"
    // Stored code, kept as source (units made before their ids were kept
    // have none).
    " UNION ALL SELECT u.owner, u.name, k.obj_id, NULL, u.type, k.created, k.last_ddl, 'N',"
    " CASE u.type WHEN 'TRIGGER' THEN 3 WHEN 'PACKAGE BODY' THEN 2 WHEN 'TYPE BODY' THEN 2"
    " ELSE 1 END, 'Y', coalesce(k.status, 'VALID') FROM (SELECT DISTINCT owner, name, type FROM tab$source) u"
    " LEFT JOIN tab$code k ON k.owner = u.owner AND k.name = u.name AND k.type = u.type"
    // Materialized views: an object of their own beside their container table.
    " UNION ALL SELECT m.owner, m.name, m.obj_id, m.table_obj, 'MATERIALIZED VIEW', m.created,"
    " m.created, 'N', 19, NULL, 'VALID' FROM tab$mviews m"
    ") x WHERE 1";

std::vector<OView> Views() {
  TypeDesc num = Of(TypeKind::kNumber);
  TypeDesc date = Of(TypeKind::kDate);
  const OCol owner{"OWNER", V(128), "o.owner", true};
  const OCol table{"TABLE_NAME", V(128), "o.name"};
  const OCol comments{"COMMENTS", V(4000), "m.text"};
  const OCol origin{"ORIGIN_CON_ID", num, "tabdb_num(0)"};
  return {
      {"TAB_COMMENTS",
       {owner, table, {"TABLE_TYPE", V(11), "o.type"}, comments, origin},
       "FROM tab$objects o LEFT JOIN tab$comments m ON m.obj_id = o.obj_id AND m.intcol = 0"
       " WHERE o.type IN ('TABLE', 'VIEW')",
       "o.owner", "o.obj_id", "ORDER BY o.obj_id", false},
      {"COL_COMMENTS",
       {owner, table, {"COLUMN_NAME", V(128), "c.name"}, comments, origin},
       "FROM tab$objects o JOIN tab$columns c ON c.obj_id = o.obj_id"
       " LEFT JOIN tab$comments m ON m.obj_id = o.obj_id AND m.intcol = c.intcol"
       " WHERE o.type IN ('TABLE', 'VIEW') AND c.hidden = 'NO'",
       "o.owner", "o.obj_id", "ORDER BY o.obj_id, c.column_id", false},
      {"OBJECTS",
       {{"OWNER", V(128), "x.owner", true},
        {"OBJECT_NAME", V(128), "x.name"},
        {"SUBOBJECT_NAME", V(128), "NULL"},
        {"OBJECT_ID", num, "tabdb_num(x.obj_id)"},
        {"DATA_OBJECT_ID", num, "tabdb_num(x.data_obj)"},
        {"OBJECT_TYPE", V(23), "x.type"},
        {"CREATED", date, "tabdb_dict_date(x.created)"},
        {"LAST_DDL_TIME", date, "tabdb_dict_date(x.last_ddl)"},
        {"TIMESTAMP", V(19), "strftime('%Y-%m-%d:%H:%M:%S', x.created, 'localtime')"},
        {"STATUS", V(7), "x.status"},
        {"TEMPORARY", V(1), "'N'"},
        {"GENERATED", V(1), "x.generated"},
        {"SECONDARY", V(1), "'N'"},
        {"NAMESPACE", num, "tabdb_num(x.namespace)"},
        {"EDITION_NAME", V(128), "NULL"},
        {"SHARING", V(18), "'NONE'"},
        {"EDITIONABLE", V(1),
         "coalesce((SELECT CASE w.editionable WHEN 0 THEN 'N' END FROM tab$views w"
         " WHERE w.obj_id = x.obj_id), x.editionable)"},
        {"ORACLE_MAINTAINED", V(1), "'N'"},
        {"APPLICATION", V(1), "'N'"},
        {"DEFAULT_COLLATION", V(100),
         "CASE WHEN x.type IN ('TABLE', 'VIEW', 'PROCEDURE', 'FUNCTION', 'PACKAGE', 'TYPE',"
         " 'TRIGGER') THEN 'USING_NLS_COMP' END"},
        {"DUPLICATED", V(1), "'N'"},
        {"SHARDED", V(1), "'N'"},
        {"CREATED_APPID", num, "NULL"},
        {"CREATED_VSNID", num, "NULL"},
        {"MODIFIED_APPID", num, "NULL"},
        {"MODIFIED_VSNID", num, "NULL"}},
       kObjectsFrom, "x.owner", "x.obj_id",
       "ORDER BY x.obj_id IS NULL, x.obj_id, x.owner, x.name, x.type", true},
  };
}

// DATABASE_PROPERTIES: what the database is and does, fixed.
struct Property {
  const char* name;
  const char* value;
  const char* description;
};
const Property kProperties[] = {
    {"DICT.BASE", "2", "dictionary base tables version #"},
    {"DEFAULT_TEMP_TABLESPACE", "TEMP", "Name of default temporary tablespace"},
    {"DEFAULT_PERMANENT_TABLESPACE", kDefaultTablespace, "Name of default permanent tablespace"},
    {"DEFAULT_EDITION", "ORA$BASE", "Name of the database default edition"},
    {"Flashback Timestamp TimeZone", "GMT", "Flashback timestamp created in GMT"},
    {"DEFAULT_TBS_TYPE", "SMALLFILE", "Default tablespace type"},
    {"NLS_RDBMS_VERSION", "19.0.0.0.0", "RDBMS version for NLS parameters"},
    {"NLS_NCHAR_CHARACTERSET", "AL16UTF16", "NCHAR Character set"},
    {"NLS_NCHAR_CONV_EXCP", "FALSE", "NLS conversion exception"},
    {"NLS_LENGTH_SEMANTICS", "BYTE", "NLS length semantics"},
    {"NLS_COMP", "BINARY", "NLS comparison"},
    {"NLS_DUAL_CURRENCY", "$", "Dual currency symbol"},
    {"NLS_TIMESTAMP_TZ_FORMAT", kNlsTimestampTzFormat, "Timestamp with timezone format"},
    {"NLS_TIME_TZ_FORMAT", "HH.MI.SSXFF AM TZR", "Time with timezone format"},
    {"NLS_TIMESTAMP_FORMAT", kNlsTimestampFormat, "Time stamp format"},
    {"NLS_TIME_FORMAT", "HH.MI.SSXFF AM", "Time format"},
    {"NLS_SORT", "BINARY", "Linguistic definition"},
    {"NLS_DATE_LANGUAGE", "AMERICAN", "Date language"},
    {"NLS_DATE_FORMAT", kNlsDateFormat, "Date format"},
    {"NLS_CALENDAR", "GREGORIAN", "Calendar system"},
    {"NLS_CHARACTERSET", "AL32UTF8", "Character set"},
    {"NLS_NUMERIC_CHARACTERS", ".,", "Numeric characters"},
    {"NLS_ISO_CURRENCY", "AMERICA", "ISO currency"},
    {"NLS_CURRENCY", "$", "Local currency"},
    {"NLS_TERRITORY", "AMERICA", "Territory"},
    {"NLS_LANGUAGE", "AMERICAN", "Language"},
    {"GLOBAL_DB_NAME", "TABDB", "Global database name"},
    {"DBTIMEZONE", "+00:00", "DB time zone"},
    {"MAX_STRING_SIZE", "STANDARD", "MAX_STRING_SIZE parameter used for dictionary metadata"},
    {"DST_UPGRADE_STATE", "NONE", "State of Day Light Saving Time Upgrade"},
};

void PropertiesView(DictionaryView* out) {
  std::string rows;
  for (const Property& p : kProperties) {
    rows += rows.empty() ? "(" : ", (";
    rows += SqlString(p.name) + ", " + SqlString(p.value) + ", " + SqlString(p.description) + ")";
  }
  out->name = "DATABASE_PROPERTIES";
  out->columns = {{"PROPERTY_NAME", V(128)}, {"PROPERTY_VALUE", V(4000)},
                  {"DESCRIPTION", V(4000)}};
  out->sql = "SELECT column1 AS \"PROPERTY_NAME\", column2 AS \"PROPERTY_VALUE\","
             " column3 AS \"DESCRIPTION\" FROM (VALUES " + rows + ")";
}

// V$DATABASE: the database's name and modes, and CURRENT_SCN, the session's
// system change number (tabdb_scn(), which the engine registers: it pins
// the SCN as DBMS_FLASHBACK.GET_SYSTEM_CHANGE_NUMBER does).
void DatabaseView(DictionaryView* out) {
  out->name = "V$DATABASE";
  out->columns = {{"DBID", Of(TypeKind::kNumber)}, {"NAME", V(9)},           {"LOG_MODE", V(12)},
                  {"CURRENT_SCN", Of(TypeKind::kNumber)}, {"OPEN_MODE", V(20)}, {"FLASHBACK_ON", V(18)},
                  {"DATABASE_ROLE", V(16)}, {"CON_ID", Of(TypeKind::kNumber)}};
  out->sql =
      "SELECT tabdb_num(1) AS \"DBID\", 'TABDB' AS \"NAME\", 'NOARCHIVELOG' AS \"LOG_MODE\","
      " tabdb_scn() AS \"CURRENT_SCN\", 'READ WRITE' AS \"OPEN_MODE\", 'NO' AS \"FLASHBACK_ON\","
      " 'PRIMARY' AS \"DATABASE_ROLE\", tabdb_num(0) AS \"CON_ID\"";
}

// A JSON string literal of UTF-8 text.
std::string JsonString(const std::string& t) {
  std::string out = "\"";
  for (unsigned char c : t) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof(buf), "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// tabdb_sessions(): the open sessions of the database file in all
// processes as a JSON array of [sid, serial#, user#, username, status,
// program, process], read anew at each execution of the query.
void SessionsFunc(sqlite3_context* ctx, int, sqlite3_value**) {
  Session* s = static_cast<Session*>(sqlite3_user_data(ctx));
  std::vector<SessionRow> rows;
  Status st = ListSessions(s->db(), &rows);
  if (!st.ok()) {
    sqlite3_result_error(ctx, st.text().c_str(), static_cast<int>(st.text().size()));
    return;
  }
  std::string json = "[";
  for (const SessionRow& r : rows) {
    // A session at work is ACTIVE: the one that asks, and those that wait
    // for a lock; one marked for kill is KILLED until it is told.
    const char* status = r.killed ? "KILLED" : (r.sid == s->sid() || r.waiting) ? "ACTIVE" : "INACTIVE";
    if (json.size() > 1) json += ",";
    json += "[" + std::to_string(r.sid) + "," + std::to_string(r.serial) + "," + std::to_string(r.user_id) +
            "," + JsonString(r.username) + ",\"" + status + "\"," + JsonString(r.program) + "," +
            JsonString(std::to_string(r.pid)) + "]";
  }
  json += "]";
  sqlite3_result_text(ctx, json.data(), static_cast<int>(json.size()), SQLITE_TRANSIENT);
}

// V$SESSION: one row per open session of the database file, in every
// process, by SID; every session is a dedicated USER session.
void SessionView(DictionaryView* out) {
  TypeDesc num = Of(TypeKind::kNumber);
  out->name = "V$SESSION";
  out->columns = {{"SID", num},          {"SERIAL#", num},      {"USER#", num},
                  {"USERNAME", V(128)},  {"STATUS", V(8)},      {"SERVER", V(9)},
                  {"SCHEMA#", num},      {"SCHEMANAME", V(128)}, {"PROCESS", V(24)},
                  {"PROGRAM", V(84)},    {"TYPE", V(10)},       {"CON_ID", num}};
  out->sql =
      "SELECT tabdb_num(j.value ->> 0) AS \"SID\", tabdb_num(j.value ->> 1) AS \"SERIAL#\","
      " tabdb_num(j.value ->> 2) AS \"USER#\", j.value ->> 3 AS \"USERNAME\","
      " j.value ->> 4 AS \"STATUS\", 'DEDICATED' AS \"SERVER\","
      " tabdb_num(j.value ->> 2) AS \"SCHEMA#\", j.value ->> 3 AS \"SCHEMANAME\","
      " j.value ->> 6 AS \"PROCESS\", nullif(j.value ->> 5, '') AS \"PROGRAM\","
      " 'USER' AS \"TYPE\", tabdb_num(0) AS \"CON_ID\""
      " FROM json_each(tabdb_sessions()) j";
}

// Appends [sid, statistic#, value] for each statistic of `net`.
void AppendStats(std::string* json, int64_t sid, const NetStats& net) {
  for (const StatisticName& st : kStatistics) {
    if (json->size() > 1) *json += ",";
    *json += "[" + std::to_string(sid) + "," + std::to_string(st.number) + "," +
             std::to_string(net.*st.field) + "]";
  }
}

// tabdb_mystat(): the statistics of the session that asks, as they are now,
// as a JSON array of [sid, statistic#, value].
void MyStatFunc(sqlite3_context* ctx, int, sqlite3_value**) {
  Session* s = static_cast<Session*>(sqlite3_user_data(ctx));
  std::string json = "[";
  AppendStats(&json, s->sid(), s->net());
  json += "]";
  sqlite3_result_text(ctx, json.data(), static_cast<int>(json.size()), SQLITE_TRANSIENT);
}

// tabdb_sesstat(): the same for every open session of the database file:
// the session that asks as it is now, the others as they last published
// their figures.
void SesStatFunc(sqlite3_context* ctx, int, sqlite3_value**) {
  Session* s = static_cast<Session*>(sqlite3_user_data(ctx));
  std::vector<SessionRow> rows;
  Status st = ListSessions(s->db(), &rows);
  if (!st.ok()) {
    sqlite3_result_error(ctx, st.text().c_str(), static_cast<int>(st.text().size()));
    return;
  }
  std::string json = "[";
  for (const SessionRow& r : rows) AppendStats(&json, r.sid, r.sid == s->sid() ? s->net() : r.net);
  json += "]";
  sqlite3_result_text(ctx, json.data(), static_cast<int>(json.size()), SQLITE_TRANSIENT);
}

void StatNameView(DictionaryView* out) {
  TypeDesc num = Of(TypeKind::kNumber);
  std::string rows;
  for (const StatisticName& st : kStatistics) {
    rows += rows.empty() ? "(" : ", (";
    rows += std::to_string(st.number) + ", " + SqlString(st.name) + ", " + std::to_string(st.stat_class) + ")";
  }
  out->name = "V$STATNAME";
  out->columns = {{"STATISTIC#", num}, {"NAME", V(64)}, {"CLASS", num}, {"DISPLAY_NAME", V(64)}, {"CON_ID", num}};
  out->sql = "SELECT tabdb_num(column1) AS \"STATISTIC#\", column2 AS \"NAME\", tabdb_num(column3) AS \"CLASS\","
             " column2 AS \"DISPLAY_NAME\", tabdb_num(0) AS \"CON_ID\" FROM (VALUES " + rows + ")";
}

// V$MYSTAT and V$SESSTAT: one row per session and statistic.
void StatView(const char* name, const char* func, DictionaryView* out) {
  TypeDesc num = Of(TypeKind::kNumber);
  out->name = name;
  out->columns = {{"SID", num}, {"STATISTIC#", num}, {"VALUE", num}, {"CON_ID", num}};
  out->sql = std::string("SELECT tabdb_num(j.value ->> 0) AS \"SID\", tabdb_num(j.value ->> 1) AS \"STATISTIC#\","
                         " tabdb_num(j.value ->> 2) AS \"VALUE\", tabdb_num(0) AS \"CON_ID\" FROM json_each(") +
             func + "()) j";
}

}  // namespace

int RegisterSessionViewFunction(sqlite3* db, Session* session) {
  int rc = sqlite3_create_function_v2(db, "tabdb_sessions", 0, SQLITE_UTF8, session, SessionsFunc, nullptr,
                                      nullptr, nullptr);
  if (rc == SQLITE_OK)
    rc = sqlite3_create_function_v2(db, "tabdb_mystat", 0, SQLITE_UTF8, session, MyStatFunc, nullptr, nullptr,
                                    nullptr);
  if (rc == SQLITE_OK)
    rc = sqlite3_create_function_v2(db, "tabdb_sesstat", 0, SQLITE_UTF8, session, SesStatFunc, nullptr,
                                    nullptr, nullptr);
  return rc;
}

bool FindObjectView(Session& s, const std::string& name, DictionaryView* out, Status* status) {
  if (name == "DATABASE_PROPERTIES") {
    *status = Status::Ok();
    PropertiesView(out);
    return true;
  }
  if (name == "V$SESSION") {
    // As V$DATABASE, for DBAs only.
    *status = s.user().dba ? Status::Ok() : OraError(ora::kTableNotExist);
    if (status->ok()) {
      EnsureDictionaryFunctions(s.db().handle());
      SessionView(out);
    }
    return true;
  }
  // The session statistics: every session reads its own and the names
  // (on Oracle a grant on V_$MYSTAT and V_$STATNAME gives them), a DBA
  // every session's.
  if (name == "V$STATNAME" || name == "V$MYSTAT" || name == "V$SESSTAT") {
    *status = name != "V$SESSTAT" || s.user().dba ? Status::Ok() : OraError(ora::kTableNotExist);
    if (status->ok()) {
      EnsureDictionaryFunctions(s.db().handle());
      if (name == "V$STATNAME") {
        StatNameView(out);
      } else {
        StatView(name == "V$MYSTAT" ? "V$MYSTAT" : "V$SESSTAT", name == "V$MYSTAT" ? "tabdb_mystat" : "tabdb_sesstat",
                 out);
      }
    }
    return true;
  }
  if (name == "V$DATABASE") {
    // Dynamic performance views need a grant Oracle gives the DBA role.
    *status = s.user().dba ? Status::Ok() : OraError(ora::kTableNotExist);
    if (status->ok()) {
      EnsureDictionaryFunctions(s.db().handle());
      DatabaseView(out);
    }
    return true;
  }
  enum { kAll, kUser, kDba } family;
  std::string base;
  if (name.rfind("ALL_", 0) == 0) {
    family = kAll;
    base = name.substr(4);
  } else if (name.rfind("USER_", 0) == 0) {
    family = kUser;
    base = name.substr(5);
  } else if (name.rfind("DBA_", 0) == 0) {
    family = kDba;
    base = name.substr(4);
  } else {
    return false;
  }
  static const std::vector<OView> views = Views();
  const OView* v = nullptr;
  for (const OView& ov : views)
    if (base == ov.base) v = &ov;
  if (v == nullptr) return false;
  *status = Status::Ok();
  if (family == kDba && !s.user().dba) {
    *status = OraError(ora::kTableNotExist);
    return true;
  }
  EnsureDictionaryFunctions(s.db().handle());
  // Databases made before stored code was kept lack its table.
  if (v->from == kObjectsFrom) (void)EnsureSourceTable(s);

  std::string me = SqlString(s.user().name);
  std::string filter;
  if (family == kUser) {
    filter = std::string(v->owner_expr) + " = " + me;
  } else if (family == kAll && !s.user().dba) {
    filter = "(" + std::string(v->owner_expr) + " = " + me +
             (v->public_rows ? " OR " + std::string(v->owner_expr) + " = 'PUBLIC'" : "") +
             " OR EXISTS (SELECT 1 FROM tab$privs gp WHERE gp.obj_id = " + v->obj_expr +
             " AND gp.obj_id <> 0 AND gp.grantee IN (" + me + ", 'PUBLIC')))";
  }
  out->name = name;
  out->columns.clear();
  std::string select;
  for (const OCol& c : v->cols) {
    if (family == kUser && c.owner) continue;
    if (!select.empty()) select += ", ";
    select += std::string(c.expr) + " AS \"" + c.name + "\"";
    out->columns.push_back({c.name, c.type});
  }
  out->sql = "SELECT " + select + " " + v->from + (filter.empty() ? "" : " AND " + filter) + " " +
             v->order;
  return true;
}

}  // namespace cat
}  // namespace tabdb

// mview.cpp - the catalog records of materialized views (tab$mviews) and
// of their logs (tab$mview_logs), CREATE / DROP MATERIALIZED VIEW LOG, and
// the DBMS_METADATA text of both in Oracle 19c's layout.
#include "catalog/mview.h"

#include <sqlite3.h>

#include "catalog/catalog_internal.h"
#include "storage/sqlite_util.h"
#include "util/errors.h"

namespace tabdb {
namespace {

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

Status Done(Session& s, SqliteStmt& st) {
  int rc = sqlite3_step(st.get());
  if (rc != SQLITE_DONE && rc != SQLITE_ROW) return SqliteError(s.db().handle(), rc);
  return Status::Ok();
}

std::string Q(const std::string& owner, const std::string& name) {
  return cat::Quote(owner) + "." + cat::Quote(name);
}

// The physical lines of a segment as GET_DDL writes them for a view or a
// log (defaults where the statement gave none).
std::string SegmentLines(const sql::SegmentAttributes& a, int64_t pctfree, int64_t pctused,
                         const TransformParams& tp, bool mview) {
  auto or_ = [](int64_t v, int64_t d) { return v == sql::kNoValue ? d : v; };
  std::string out = mview ? "  ORGANIZATION HEAP PCTFREE " : " PCTFREE ";
  out += std::to_string(or_(a.pctfree, pctfree)) + " PCTUSED " + std::to_string(or_(a.pctused, pctused)) +
         " INITRANS " + std::to_string(or_(a.initrans, 1)) + " MAXTRANS " + std::to_string(or_(a.maxtrans, 255));
  out += mview ? std::string(" \n ") + (a.compress == 1 ? "COMPRESS BASIC" : "NOCOMPRESS") + " " : " ";
  out += a.logging == 0 ? "NOLOGGING" : "LOGGING";
  if (tp.storage) {
    const sql::StorageClause& st = a.storage;
    out += "\n  STORAGE(INITIAL " + std::to_string(or_(st.initial, 65536)) + " NEXT " +
           std::to_string(or_(st.next, 1048576)) + " MINEXTENTS " + std::to_string(or_(st.minextents, 1)) +
           " MAXEXTENTS 2147483645\n  PCTINCREASE 0 FREELISTS 1 FREELIST GROUPS 1\n"
           "  BUFFER_POOL DEFAULT FLASH_CACHE DEFAULT CELL_FLASH_CACHE DEFAULT)";
  }
  if (tp.tablespace) out += "\n  TABLESPACE " + cat::Quote(a.tablespace_given ? a.tablespace : "USERS") + " ";
  return out;
}

Status ViewText(Session& s, const MviewRec& m, std::string* out) {
  const TransformParams& tp = s.transforms();
  TableInfo t;
  TABDB_RETURN_IF_ERROR(cat::LoadTableById(s, m.table_obj, &t));
  sql::SegmentAttributes a;
  TABDB_RETURN_IF_ERROR(cat::LoadTableAttrs(s, t.obj_id, &a, nullptr));
  std::string cols;
  for (const ColumnInfo& c : t.columns) {
    if (c.hidden) continue;
    cols += (cols.empty() ? "" : ", ") + cat::Quote(c.name);
  }
  std::string text = "\n  CREATE MATERIALIZED VIEW " + Q(m.owner, m.name) + " (" + cols + ")\n";
  if (m.build == "PREBUILT") {
    text += "  ON PREBUILT TABLE WITHOUT REDUCED PRECISION\n";
  } else {
    if (tp.segment_attributes) {
      text += std::string("  SEGMENT CREATION ") + (a.segment_creation == 0 ? "DEFERRED" : "IMMEDIATE") + "\n";
      text += SegmentLines(a, 10, 40, tp, true) + "\n";
    }
    text += "  BUILD " + m.build + "\n";
  }
  text += "  USING INDEX \n";
  if (m.refresh_method == "NEVER") {
    text += "  NEVER REFRESH\n";
  } else {
    text += "  REFRESH " + m.refresh_method + " ON " + m.refresh_mode;
    if (!m.start_with.empty()) text += " START WITH " + m.start_with;
    if (!m.next.empty()) text += " NEXT " + m.next;
    if (m.with_rowid) text += " WITH ROWID";
    text += "\n  USING DEFAULT LOCAL ROLLBACK SEGMENT\n";
  }
  if (m.updatable) text += "  FOR UPDATE\n";
  text += "  USING ENFORCED CONSTRAINTS DISABLE ON QUERY COMPUTATION ";
  text += m.rewrite ? "ENABLE" : "DISABLE";
  text += " QUERY REWRITE\n  AS " + m.query;
  *out = std::move(text);
  return Status::Ok();
}

}  // namespace

Status AddMview(Session& s, MviewRec* rec);
Status RemoveMview(Session& s, int64_t obj_id);
Status MviewLogDdl(Session& s, const sql::MviewStmt& st);

Status LoadMview(Session& s, const std::string& owner, const std::string& name, MviewRec* out, bool* found) {
  SqliteStmt q;
  TABDB_RETURN_IF_ERROR(Prepare(s,
                                "SELECT obj_id, table_obj, query, aliases, build, refresh_method, refresh_mode,"
                                " start_with, next_date, with_rowid, rewrite, updatable, last_refresh IS NOT NULL"
                                " FROM tab$mviews WHERE owner = ?1 AND name = ?2",
                                &q));
  q.BindText(1, owner);
  q.BindText(2, name);
  *found = false;
  int rc = sqlite3_step(q.get());
  if (rc == SQLITE_DONE) return Status::Ok();
  if (rc != SQLITE_ROW) return SqliteError(s.db().handle(), rc);
  *found = true;
  out->owner = owner;
  out->name = name;
  out->obj_id = q.Int(0);
  out->table_obj = q.Int(1);
  out->query = q.Text(2);
  out->aliases = q.Text(3);
  out->build = q.Text(4);
  out->refresh_method = q.Text(5);
  out->refresh_mode = q.Text(6);
  out->start_with = q.Text(7);
  out->next = q.Text(8);
  out->with_rowid = q.Int(9) != 0;
  out->rewrite = q.Int(10) != 0;
  out->updatable = q.Int(11) != 0;
  out->refreshed = q.Int(12) != 0;
  return Status::Ok();
}

Status AddMview(Session& s, MviewRec* rec) {
  TABDB_RETURN_IF_ERROR(s.db().NextId("next_obj", &rec->obj_id));
  SqliteStmt q;
  TABDB_RETURN_IF_ERROR(Prepare(s,
                                "INSERT INTO tab$mviews(obj_id, owner, name, table_obj, query, aliases, build,"
                                " refresh_method, refresh_mode, start_with, next_date, with_rowid, rewrite,"
                                " updatable, created, last_refresh) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9,"
                                " nullif(?10, ''), nullif(?11, ''), ?12, ?13, ?14, julianday('now'),"
                                " CASE WHEN ?15 THEN julianday('now') END)",
                                &q));
  q.BindInt(1, rec->obj_id);
  q.BindText(2, rec->owner);
  q.BindText(3, rec->name);
  q.BindInt(4, rec->table_obj);
  q.BindText(5, rec->query);
  q.BindText(6, rec->aliases);
  q.BindText(7, rec->build);
  q.BindText(8, rec->refresh_method);
  q.BindText(9, rec->refresh_mode);
  q.BindText(10, rec->start_with);
  q.BindText(11, rec->next);
  q.BindInt(12, rec->with_rowid);
  q.BindInt(13, rec->rewrite);
  q.BindInt(14, rec->updatable);
  q.BindInt(15, rec->refreshed);
  return Done(s, q);
}

Status RemoveMview(Session& s, int64_t obj_id) {
  SqliteStmt q;
  TABDB_RETURN_IF_ERROR(Prepare(s, "DELETE FROM tab$mviews WHERE obj_id = ?1", &q));
  q.BindInt(1, obj_id);
  return Done(s, q);
}

Status MviewRefreshed(Session& s, int64_t obj_id) {
  SqliteStmt q;
  TABDB_RETURN_IF_ERROR(Prepare(s, "UPDATE tab$mviews SET last_refresh = julianday('now') WHERE obj_id = ?1", &q));
  q.BindInt(1, obj_id);
  return Done(s, q);
}

Status IsMviewContainer(Session& s, int64_t table_obj, bool* container) {
  SqliteStmt q;
  TABDB_RETURN_IF_ERROR(Prepare(s, "SELECT 1 FROM tab$mviews WHERE table_obj = ?1", &q));
  q.BindInt(1, table_obj);
  *container = sqlite3_step(q.get()) == SQLITE_ROW;
  return Status::Ok();
}

namespace {
thread_local int g_refreshing = 0;
}  // namespace

MviewRefreshing::MviewRefreshing() { ++g_refreshing; }
MviewRefreshing::~MviewRefreshing() { --g_refreshing; }

Status CheckContainerDml(Session& s, int64_t table_obj) {
  if (g_refreshing > 0) return Status::Ok();
  SqliteStmt q;
  TABDB_RETURN_IF_ERROR(Prepare(s, "SELECT updatable FROM tab$mviews WHERE table_obj = ?1", &q));
  q.BindInt(1, table_obj);
  if (sqlite3_step(q.get()) == SQLITE_ROW && q.Int(0) == 0) return OraError(ora::kViewDmlNotLegal);
  return Status::Ok();
}

Status ForgetMviewLog(Session& s, int64_t table_obj) {
  SqliteStmt q;
  TABDB_RETURN_IF_ERROR(Prepare(s, "DELETE FROM tab$mview_logs WHERE master_obj = ?1", &q));
  q.BindInt(1, table_obj);
  return Done(s, q);
}

Status MviewLogDdl(Session& s, const sql::MviewStmt& st) {
  std::string owner, name;
  cat::SplitName(s, st.name, &owner, &name);
  TABDB_RETURN_IF_ERROR(cat::CheckSchemaWrite(s, owner));
  int64_t obj = 0;
  std::string type;
  TABDB_RETURN_IF_ERROR(cat::FindObject(s, owner, name, &obj, &type));
  if (obj == 0 || type != "TABLE") return OraError(ora::kTableNotExist);
  SqliteStmt q;
  TABDB_RETURN_IF_ERROR(Prepare(s, "SELECT 1 FROM tab$mview_logs WHERE master_obj = ?1", &q));
  q.BindInt(1, obj);
  bool exists = sqlite3_step(q.get()) == SQLITE_ROW;
  if (st.action == sql::MviewStmt::kDropLog) {
    if (!exists) return OraError(ora::kNoMviewLog, {owner, name});
    return ForgetMviewLog(s, obj);
  }
  if (exists) return OraError(ora::kMviewLogExists, {name});
  TableInfo t;
  TABDB_RETURN_IF_ERROR(cat::LoadTableById(s, obj, &t));
  std::string filter;
  for (const sql::Name& n : st.log_columns) {
    bool known = false;
    for (const ColumnInfo& c : t.columns) known = known || (!c.hidden && c.name == n.text);
    if (!known) return OraError(ora::kInvalidIdentifier, {cat::Quote(n.text)});
    filter += (filter.empty() ? "" : ", ") + cat::Quote(n.text);
  }
  // A log records the primary key unless it was told what to record.
  bool pk = st.log_primary_key ||
            (!st.log_rowid && !st.log_object_id && !st.log_sequence && st.log_columns.empty());
  int64_t id = 0;
  TABDB_RETURN_IF_ERROR(s.db().NextId("next_obj", &id));
  SqliteStmt ins;
  TABDB_RETURN_IF_ERROR(Prepare(s,
                                "INSERT INTO tab$mview_logs(master_obj, obj_id, rowids, primary_key, object_id,"
                                " sequence, filter_columns, new_values, created)"
                                " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, julianday('now'))",
                                &ins));
  ins.BindInt(1, obj);
  ins.BindInt(2, id);
  ins.BindInt(3, st.log_rowid);
  ins.BindInt(4, pk);
  ins.BindInt(5, st.log_object_id);
  ins.BindInt(6, st.log_sequence);
  ins.BindText(7, filter);
  ins.BindInt(8, st.log_new_values);
  return Done(s, ins);
}

Status CheckMviewSchema(Session& s, const std::string& owner) { return cat::CheckSchemaWrite(s, owner); }

Status MviewDdl(Session& s, const sql::MviewStmt& st) {
  if (st.action == sql::MviewStmt::kCreateLog || st.action == sql::MviewStmt::kDropLog) return MviewLogDdl(s, st);
  std::string owner, name;
  cat::SplitName(s, st.name, &owner, &name);
  TABDB_RETURN_IF_ERROR(cat::CheckSchemaWrite(s, owner));
  MviewRec m;
  bool found = false;
  TABDB_RETURN_IF_ERROR(LoadMview(s, owner, name, &m, &found));
  if (st.action == sql::MviewStmt::kDrop) {
    if (!found) return OraError(ora::kMviewNotFound, {owner, name});
    TABDB_RETURN_IF_ERROR(RemoveMview(s, m.obj_id));
    if (m.build == "PREBUILT" || st.preserve_table) return Status::Ok();
    TableInfo t;
    TABDB_RETURN_IF_ERROR(cat::LoadTableById(s, m.table_obj, &t));
    return cat::RemoveTable(s, t);
  }
  if (found) return OraError(ora::kNameAlreadyUsed);
  int64_t obj = 0;
  std::string type;
  TABDB_RETURN_IF_ERROR(cat::FindObject(s, owner, name, &obj, &type));
  if (obj == 0 || type != "TABLE") {
    if (st.build == "PREBUILT") return OraError(ora::kPrebuiltTableMissing, {owner, name});
    return OraError(ora::kTableNotExist);
  }
  bool container = false;
  TABDB_RETURN_IF_ERROR(IsMviewContainer(s, obj, &container));
  if (container) return OraError(ora::kNameAlreadyUsed);
  m = MviewRec();
  m.owner = owner;
  m.name = name;
  m.table_obj = obj;
  m.query = st.query_text;
  for (const sql::Name& n : st.columns) m.aliases += (m.aliases.empty() ? "" : ", ") + cat::Quote(n.text);
  m.build = st.build;
  m.refresh_method = st.refresh_method;
  m.refresh_mode = st.refresh_mode;
  m.start_with = st.start_with;
  m.next = st.next;
  m.with_rowid = st.with_rowid;
  m.rewrite = st.rewrite;
  m.updatable = st.updatable;
  m.refreshed = st.build == "IMMEDIATE";
  return AddMview(s, &m);
}

Status MviewDdlText(Session& s, const std::string& type, const std::string& schema, const std::string& name,
                    std::string* out, bool* found) {
  *found = false;
  if (type == "MATERIALIZED_VIEW") {
    MviewRec m;
    TABDB_RETURN_IF_ERROR(LoadMview(s, schema, name, &m, found));
    if (!*found) return Status::Ok();
    return ViewText(s, m, out);
  }
  int64_t obj = 0;
  std::string otype;
  TABDB_RETURN_IF_ERROR(cat::FindObject(s, schema, name, &obj, &otype));
  if (obj == 0 || otype != "TABLE") return Status::Ok();
  SqliteStmt q;
  TABDB_RETURN_IF_ERROR(Prepare(s,
                                "SELECT rowids, primary_key, object_id, sequence, filter_columns, new_values"
                                " FROM tab$mview_logs WHERE master_obj = ?1",
                                &q));
  q.BindInt(1, obj);
  if (sqlite3_step(q.get()) != SQLITE_ROW) return Status::Ok();
  *found = true;
  std::string with;
  auto add = [&](const std::string& w) { with += (with.empty() ? "" : ", ") + w; };
  if (q.Int(2)) add("OBJECT ID");
  if (q.Int(1)) add("PRIMARY KEY");
  if (q.Int(0)) add("ROWID");
  if (q.Int(3)) add("SEQUENCE");
  if (!q.Text(4).empty()) with += (with.empty() ? "(" : " (") + q.Text(4) + ")";
  std::string text = "\n  CREATE MATERIALIZED VIEW LOG ON " + Q(schema, name) + " \n";
  const TransformParams& tp = s.transforms();
  if (tp.segment_attributes) text += SegmentLines(sql::SegmentAttributes(), 10, 30, tp, false) + "\n";
  text += "  WITH " + with + (q.Int(5) ? " INCLUDING" : " EXCLUDING") + " NEW VALUES";
  *out = std::move(text);
  return Status::Ok();
}

}  // namespace tabdb

// ddl_comment.cpp - COMMENT ON TABLE / COLUMN and their DBMS_METADATA text.
//
// A comment is a row of tab$comments keyed by the object id and the
// internal column number (0 for the table's own comment), so it follows
// renames of the table and its columns; dropping the object or the column
// removes it. Tables and views take comments alike.
#include <cctype>

#include "catalog/catalog_internal.h"
#include "util/errors.h"

namespace tabdb {
namespace cat {
namespace {

bool TakesComments(const std::string& type) { return type == "TABLE" || type == "VIEW"; }

Status HoldsSystemPrivilege(Session& s, const char* privilege, bool* held) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "SELECT 1 FROM tab$privs WHERE obj_id = 0 AND grantee IN (?1, 'PUBLIC') AND privilege = ?2",
      &q));
  const std::string& me = s.user().name;
  sqlite3_bind_text(q, 1, me.data(), static_cast<int>(me.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(q, 2, privilege, -1, SQLITE_STATIC);
  TABDB_RETURN_IF_ERROR(s.db().Step(q, held));
  sqlite3_reset(q);
  return Status::Ok();
}

// The visible column `name` of object `obj_id`; *intcol 0 when there is none.
Status FindVisibleColumn(Session& s, int64_t obj_id, const std::string& name, int* intcol) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "SELECT intcol FROM tab$columns WHERE obj_id = ?1 AND name = ?2 AND hidden = 'NO'", &q));
  sqlite3_bind_int64(q, 1, obj_id);
  sqlite3_bind_text(q, 2, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
  bool row = false;
  TABDB_RETURN_IF_ERROR(s.db().Step(q, &row));
  *intcol = row ? sqlite3_column_int(q, 0) : 0;
  sqlite3_reset(q);
  return Status::Ok();
}

// DBMS_METADATA errors carry the stack of the package that raised them.
Status MetadataError(Status st) {
  st.AddLine("ORA-06512: at \"SYS.DBMS_SYS_ERROR\", line 86");
  st.AddLine("ORA-06512: at \"SYS.DBMS_METADATA\", line 6069");
  st.AddLine("ORA-06512: at line 1");
  return st;
}

}  // namespace

Status CommentDdl(Session& s, const sql::CommentStmt& c) {
  if (c.table.empty() || c.table.size() > 2) return OraError(ora::kTableNotExist);
  std::string owner, name;
  SplitName(s, c.table, &owner, &name);
  int64_t obj = 0;
  std::string type;
  TABDB_RETURN_IF_ERROR(FindObject(s, owner, name, &obj, &type));
  if (obj == 0 || !TakesComments(type)) return OraError(ora::kTableNotExist);
  // Another schema's object: COMMENT ANY TABLE, else the object looks
  // missing unless the user holds some privilege on it.
  if (owner != s.user().name && !s.user().dba) {
    bool any = false;
    TABDB_RETURN_IF_ERROR(HoldsSystemPrivilege(s, "COMMENT ANY TABLE", &any));
    if (!any) {
      bool visible = false;
      TABDB_RETURN_IF_ERROR(VisibleObject(s, owner, obj, &visible));
      return OraError(visible ? ora::kInsufficientPrivileges : ora::kTableNotExist);
    }
  }
  int intcol = 0;
  if (c.on_column) {
    TABDB_RETURN_IF_ERROR(FindVisibleColumn(s, obj, c.column.text, &intcol));
    if (intcol == 0) return OraError(ora::kInvalidIdentifier, {Quote(c.column.text)});
  }
  sqlite3_stmt* q = nullptr;
  // An empty text is NULL in Oracle: the comment is gone.
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      c.text.empty() ? "DELETE FROM tab$comments WHERE obj_id = ?1 AND intcol = ?2"
                     : "INSERT INTO tab$comments(obj_id, intcol, text) VALUES(?1, ?2, ?3)"
                       " ON CONFLICT DO UPDATE SET text = excluded.text",
      &q));
  sqlite3_bind_int64(q, 1, obj);
  sqlite3_bind_int(q, 2, intcol);
  if (!c.text.empty())
    sqlite3_bind_text(q, 3, c.text.data(), static_cast<int>(c.text.size()), SQLITE_TRANSIENT);
  return s.db().Run(q);
}

Status DropComments(Session& s, int64_t obj_id, int intcol) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "DELETE FROM tab$comments WHERE obj_id = ?1 AND (?2 < 0 OR intcol = ?2)", &q));
  sqlite3_bind_int64(q, 1, obj_id);
  sqlite3_bind_int(q, 2, intcol);
  return s.db().Run(q);
}

Status CommentDdlText(Session& s, const std::string& owner, const std::string& name,
                      std::string* out) {
  Status none = MetadataError(OraError(ora::kDependentNotFound, {"COMMENT"}));
  int64_t obj = 0;
  std::string type;
  TABDB_RETURN_IF_ERROR(FindObject(s, owner, name, &obj, &type));
  if (obj == 0 || !TakesComments(type)) return none;
  bool visible = false;
  TABDB_RETURN_IF_ERROR(VisibleObject(s, owner, obj, &visible));
  if (!visible) return none;

  // Column comments in column order, then the table's own comment.
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "SELECT m.intcol, c.name, m.text FROM tab$comments m"
      " LEFT JOIN tab$columns c ON c.obj_id = m.obj_id AND c.intcol = m.intcol"
      " WHERE m.obj_id = ?1 AND (m.intcol = 0 OR c.intcol IS NOT NULL) ORDER BY m.intcol = 0, c.column_id, m.intcol",
      &q));
  sqlite3_bind_int64(q, 1, obj);
  const TransformParams& tp = s.transforms();
  std::string table = tp.emit_schema ? Quote(owner) + "." + Quote(name) : Quote(name);
  std::string text;
  bool any = false;
  while (true) {
    bool row = false;
    Status st = s.db().Step(q, &row);
    if (!st.ok()) {
      sqlite3_reset(q);
      return st;
    }
    if (!row) break;
    auto column_text = [&](int i) {
      const unsigned char* p = sqlite3_column_text(q, i);
      return p ? std::string(reinterpret_cast<const char*>(p),
                             static_cast<size_t>(sqlite3_column_bytes(q, i)))
               : std::string();
    };
    int intcol = sqlite3_column_int(q, 0);
    if (tp.pretty) text += "\n   ";
    if (intcol == 0)
      text += "COMMENT ON TABLE " + table + "  IS " + SqlString(column_text(2));
    else
      text += "COMMENT ON COLUMN " + table + "." + Quote(column_text(1)) + " IS " +
              SqlString(column_text(2));
    if (tp.sqlterminator) text += ";";
    any = true;
  }
  sqlite3_reset(q);
  if (!any) return none;
  *out = std::move(text);
  return Status::Ok();
}

}  // namespace cat

Status GetDependentDdl(Session& s, const std::string& object_type, const std::string& name,
                       const std::string& schema_arg, std::string* out) {
  std::string type = object_type;
  for (char& ch : type) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  std::string schema = schema_arg.empty() ? s.current_schema() : schema_arg;
  if (type == "COMMENT") return cat::CommentDdlText(s, schema, name, out);
  return cat::MetadataError(
      OraError(ora::kInvalidInputValue, {object_type, "OBJECT_TYPE", "GET_DEPENDENT_DDL"}));
}

}  // namespace tabdb

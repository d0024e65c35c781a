// ddl_table.cpp - CREATE TABLE, DROP TABLE and TRUNCATE TABLE: the catalog
// rows of a table and its columns, its physical SQLite table, and the
// removal of both with the LOB/LONG values the rows reference.
#include <set>

#include "catalog/catalog_internal.h"
#include "catalog/mview.h"
#include "sql/printer.h"
#include "storage/sqlite_util.h"
#include "util/errors.h"

namespace tabdb {
namespace cat {
namespace {

constexpr size_t kMaxColumns = 1000;
// DATA_LENGTH Oracle reports for a LOB column stored out of row.
constexpr int kOutOfRowLobLength = 86;

void BindOptInt(sqlite3_stmt* q, int i, int v) {
  if (v == kUnset) sqlite3_bind_null(q, i);
  else sqlite3_bind_int(q, i, v);
}

void BindText(sqlite3_stmt* q, int i, const std::string& v) {
  sqlite3_bind_text(q, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
}

void BindOptText(sqlite3_stmt* q, int i, const std::string& v) {
  if (v.empty()) sqlite3_bind_null(q, i);
  else BindText(q, i, v);
}

// DATA_PRECISION and DATA_SCALE as the dictionary reports them.
void DictPrecisionScale(const TypeDesc& t, int* prec, int* scale) {
  *prec = kUnset;
  *scale = kUnset;
  switch (t.kind) {
    case TypeKind::kNumber:
      if (t.precision != kUnset && t.precision != 0) *prec = t.precision;
      if (t.scale != kUnset) *scale = t.scale;
      else if (t.precision != kUnset) *scale = 0;
      break;
    case TypeKind::kFloat:
      *prec = t.precision;
      break;
    case TypeKind::kTimestamp:
    case TypeKind::kTimestampTZ:
    case TypeKind::kTimestampLTZ:
      *scale = t.precision;
      break;
    case TypeKind::kIntervalYM:
      *prec = t.precision;
      *scale = 0;
      break;
    case TypeKind::kIntervalDS:
      *prec = t.precision;
      *scale = t.scale;
      break;
    default:
      break;
  }
}

const char* CharUsed(const TypeDesc& t) {
  switch (t.kind) {
    case TypeKind::kChar:
    case TypeKind::kVarchar2:
      return t.char_semantics ? "C" : "B";
    case TypeKind::kNChar:
    case TypeKind::kNVarchar2:
      return "C";
    default:
      return nullptr;
  }
}

// Finds the column a LOB storage clause names.
Status FindLobColumn(const TableInfo& t, const sql::Name& n, const ColumnInfo** out) {
  *out = t.FindColumn(n.text);
  if (*out == nullptr) return OraError(ora::kInvalidIdentifier, {Quote(n.text)});
  if (!IsLob((*out)->type.kind)) return OraError(ora::kInvalidLobStorageOption);
  return Status::Ok();
}

// The primary key whose unique index the CREATE TABLE of the physical
// table can make itself (a UNIQUE clause): enabled, on an index of its
// own (no USING INDEX name), over stored columns that a plain SQLite index
// can hold. Returns the constraint as written (null when none fits) and
// its table form in `form`. Anything else about the key is checked as for
// any key, after the table is made.
const sql::Constraint* TableKey(const sql::CreateTable& ct, const TableInfo& t, sql::Constraint* form) {
  const sql::Constraint* source = nullptr;
  for (const sql::ColumnDef& d : ct.columns) {
    for (const sql::Constraint& c : d.constraints) {
      if (c.kind == sql::ConstraintKind::kPrimaryKey && source == nullptr) {
        source = &c;
        *form = ColumnConstraint(d, c);
      }
    }
  }
  for (const sql::Constraint& c : ct.constraints) {
    if (c.kind == sql::ConstraintKind::kPrimaryKey && source == nullptr) {
      source = &c;
      *form = c;
    }
  }
  if (source == nullptr || !form->enable || !form->using_index_name.empty() || form->columns.empty())
    return nullptr;
  std::set<int> seen;
  for (const sql::Name& n : form->columns) {
    const ColumnInfo* c = t.FindColumn(n.text);
    if (c == nullptr || c->hidden || !c->stored() || IsLob(c->type.kind) || IsLong(c->type.kind) ||
        !seen.insert(c->intcol).second)
      return nullptr;
  }
  return source;
}

}  // namespace

Status RebuildWithoutKeyIndex(Session& s, const std::string& table_phys) {
  // Only the engine's own names are pasted into the statements below.
  if (table_phys.size() < 2 || table_phys[0] != 't' ||
      table_phys.find_first_not_of("0123456789", 1) != std::string::npos)
    return OraError(ora::kInternalError, {"physical table name " + table_phys});
  std::vector<std::string> cols, indexes;
  {
    sqlite3_stmt* q = nullptr;
    TABDB_RETURN_IF_ERROR(s.db().Cached("SELECT name FROM pragma_table_info(?1) ORDER BY cid", &q));
    BindText(q, 1, table_phys);
    bool row = false;
    while (true) {
      TABDB_RETURN_IF_ERROR(s.db().Step(q, &row));
      if (!row) break;
      const unsigned char* n = sqlite3_column_text(q, 0);
      cols.push_back(n ? reinterpret_cast<const char*>(n) : "");
    }
    sqlite3_reset(q);
    // The table's other SQLite indexes (u, n and p numbered ones), made
    // again on the new table as they were.
    TABDB_RETURN_IF_ERROR(s.db().Cached(
        "SELECT name, sql FROM sqlite_schema WHERE type = 'index' AND tbl_name = ?1 AND sql IS NOT NULL",
        &q));
    BindText(q, 1, table_phys);
    while (true) {
      TABDB_RETURN_IF_ERROR(s.db().Step(q, &row));
      if (!row) break;
      const char* n = reinterpret_cast<const char*>(sqlite3_column_text(q, 0));
      const char* sql = reinterpret_cast<const char*>(sqlite3_column_text(q, 1));
      std::string name = n ? n : "";
      if (name.size() < 2 || std::string("unp").find(name[0]) == std::string::npos ||
          name.find_first_not_of("0123456789", 1) != std::string::npos || sql == nullptr) {
        sqlite3_reset(q);
        return OraError(ora::kInternalError, {"index " + name + " of " + table_phys});
      }
      indexes.push_back(sql);
    }
    sqlite3_reset(q);
  }
  std::string list;
  for (const std::string& c : cols) {
    if (c.size() < 2 || c[0] != 'c' || c.find_first_not_of("0123456789", 1) != std::string::npos)
      return OraError(ora::kInternalError, {"column " + c + " of " + table_phys});
    list += (list.empty() ? "" : ", ") + c;
  }
  const std::string fresh = table_phys + "_new";
  TABDB_RETURN_IF_ERROR(s.db().Exec("CREATE TABLE " + fresh + "(" + list + ");"
                                    "INSERT INTO " + fresh + "(rowid, " + list + ") SELECT rowid, " + list +
                                    " FROM " + table_phys + ";"
                                    "DROP TABLE " + table_phys + ";"
                                    "ALTER TABLE " + fresh + " RENAME TO " + table_phys));
  for (const std::string& sql : indexes) TABDB_RETURN_IF_ERROR(s.db().Exec(sql));
  return Status::Ok();
}

Status InsertColumn(Session& s, int64_t table_obj, const ColumnInfo& c, int data_length) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "INSERT INTO tab$columns(obj_id, intcol, name, column_id, kind, length, char_sem, prec,"
      " scale, data_type, data_length, data_precision, data_scale, char_length, char_used,"
      " nullable, not_null_cons, data_default, hidden, virtual, virtual_expr, ident_kind,"
      " ident_seq, ident_start, default_on_null)"
      " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18,"
      " ?19, ?20, ?21, ?22, ?23, ?24, ?25)",
      &q));
  int prec, scale;
  DictPrecisionScale(c.type, &prec, &scale);
  sqlite3_bind_int64(q, 1, table_obj);
  sqlite3_bind_int(q, 2, c.intcol);
  BindText(q, 3, c.name);
  if (c.column_id > 0) sqlite3_bind_int(q, 4, c.column_id);
  else sqlite3_bind_null(q, 4);
  sqlite3_bind_int(q, 5, static_cast<int>(c.type.kind));
  BindOptInt(q, 6, c.type.length);
  sqlite3_bind_int(q, 7, c.type.char_semantics ? 1 : 0);
  BindOptInt(q, 8, c.type.precision);
  BindOptInt(q, 9, c.type.scale);
  BindText(q, 10, DataTypeText(c.type));
  sqlite3_bind_int(q, 11, data_length >= 0 ? data_length : DataLength(c.type));
  BindOptInt(q, 12, prec);
  BindOptInt(q, 13, scale);
  sqlite3_bind_int(q, 14, CharLength(c.type));
  if (const char* cu = CharUsed(c.type)) sqlite3_bind_text(q, 15, cu, -1, SQLITE_STATIC);
  else sqlite3_bind_null(q, 15);
  sqlite3_bind_text(q, 16, c.nullable ? "Y" : "N", -1, SQLITE_STATIC);
  BindOptText(q, 17, c.not_null_name);
  BindOptText(q, 18, c.data_default);
  sqlite3_bind_text(q, 19, c.hidden ? "YES" : "NO", -1, SQLITE_STATIC);
  sqlite3_bind_text(q, 20, c.is_virtual ? "YES" : "NO", -1, SQLITE_STATIC);
  BindOptText(q, 21, c.virtual_expr);
  sqlite3_bind_int(q, 22, c.identity);
  if (c.identity) {
    sqlite3_bind_int64(q, 23, c.identity_seq);
    sqlite3_bind_int64(q, 24, c.identity_start);
  } else {
    sqlite3_bind_null(q, 23);
    sqlite3_bind_null(q, 24);
  }
  sqlite3_bind_int(q, 25, c.default_on_null ? 1 : 0);
  return s.db().Run(q);
}

Status CreateTableDdl(Session& s, const sql::CreateTable& ct, ExprTypeFn infer_type) {
  std::string owner, name;
  SplitName(s, ct.name, &owner, &name);
  TABDB_RETURN_IF_ERROR(CheckSchemaWrite(s, owner));
  TABDB_RETURN_IF_ERROR(CheckAttributes(ct.attrs));
  for (const sql::LobStorage& l : ct.lobs) TABDB_RETURN_IF_ERROR(CheckLobStorage(l));
  if (ct.columns.size() > kMaxColumns) return OraError(ora::kTooManyColumns);
  const bool temporary = !ct.temporary.empty();
  if (temporary && (ct.partitioning || ct.iot)) return OraError(ora::kTemporaryTableFeature);

  // The columns, in declaration order; virtual columns get their type from
  // their expression over the stored columns when none is declared.
  TableInfo t;
  t.owner = owner;
  t.name = name;
  std::set<std::string> names;
  int longs = 0;
  for (size_t i = 0; i < ct.columns.size(); ++i) {
    const sql::ColumnDef& d = ct.columns[i];
    if (!names.insert(d.name.text).second) return OraError(ora::kDuplicateColumnName);
    ColumnInfo c;
    c.intcol = static_cast<int>(i) + 1;
    c.column_id = c.intcol;
    c.name = d.name.text;
    if (d.has_type) c.type = WithDefaults(d.type);
    c.data_default = d.default_text;
    c.default_on_null = d.default_on_null;
    c.is_virtual = d.virtual_expr != nullptr;
    if (c.is_virtual) {
      // DATA_DEFAULT of a virtual column shows its expression.
      c.virtual_expr = sql::ExprToText(*d.virtual_expr);
      c.data_default = c.virtual_expr;
    }
    if (!c.is_virtual && IsLong(c.type.kind) && ++longs > 1) return OraError(ora::kOneLongColumn);
    t.columns.push_back(std::move(c));
  }
  bool any_stored = false;
  for (const ColumnInfo& c : t.columns) any_stored = any_stored || c.stored();
  if (!any_stored) return OraError(ora::kAllColumnsVirtual);
  {
    TableInfo stored = t;
    stored.columns.clear();
    for (const ColumnInfo& c : t.columns)
      if (c.stored()) stored.columns.push_back(c);
    for (size_t i = 0; i < ct.columns.size(); ++i) {
      const sql::ColumnDef& d = ct.columns[i];
      if (!d.virtual_expr) continue;
      TypeDesc inferred;
      TABDB_RETURN_IF_ERROR(infer_type(s, stored, *d.virtual_expr, &inferred));
      if (!d.has_type) t.columns[i].type = WithDefaults(inferred);
      if (IsLob(t.columns[i].type.kind) || IsLong(t.columns[i].type.kind))
        return OraError(ora::kVirtualColumnTypeNotSupported);
    }
  }

  TABDB_RETURN_IF_ERROR(AddObject(s, owner, name, "TABLE", &t.obj_id));
  t.phys = "t" + std::to_string(t.obj_id);
  TABDB_RETURN_IF_ERROR(MakeIdentities(s, ct, &t));

  // LOB storage clauses, one record per LOB column named.
  std::vector<LobAttr> lobs;
  for (const sql::LobStorage& l : ct.lobs) {
    for (const sql::Name& n : l.columns) {
      const ColumnInfo* c = nullptr;
      TABDB_RETURN_IF_ERROR(FindLobColumn(t, n, &c));
      LobAttr la;
      la.intcol = c->intcol;
      la.lob = l;
      la.lob.columns.clear();
      bool replaced = false;
      for (LobAttr& old : lobs) {
        if (old.intcol == la.intcol) {
          old = la;
          replaced = true;
        }
      }
      if (!replaced) lobs.push_back(std::move(la));
    }
  }

  // Physical table: one untyped column per stored column, and the unique
  // index of the primary key in the same statement when it can have one.
  // A global temporary table's rows live in a TEMP table of each session
  // that uses it (LoadTableById makes it); this session's is made now.
  std::string create = (temporary ? "CREATE TEMP TABLE " : "CREATE TABLE ") + t.phys + "(";
  bool first = true;
  for (const ColumnInfo& c : t.columns) {
    if (!c.stored()) continue;
    if (!first) create += ", ";
    first = false;
    create += c.phys();
  }
  sql::Constraint key_form;  // the key in table form, its columns named
  const sql::Constraint* table_key_source =
      (ct.partitioning || ct.iot || temporary) ? nullptr : TableKey(ct, t, &key_form);
  const sql::Constraint* table_key = table_key_source ? &key_form : nullptr;
  if (table_key != nullptr) {
    create += ", UNIQUE(";
    for (size_t i = 0; i < table_key->columns.size(); ++i)
      create += (i ? ", " : "") + t.FindColumn(table_key->columns[i].text)->phys();
    create += ")";
  }
  create += ")";
  TABDB_RETURN_IF_ERROR(s.db().Exec(create));

  {
    sqlite3_stmt* q = nullptr;
    TABDB_RETURN_IF_ERROR(s.db().Cached(
        "INSERT INTO tab$tables(obj_id, phys, attrs, lob_attrs, temp_rows) VALUES(?1, ?2, ?3, ?4, ?5)", &q));
    sqlite3_bind_int64(q, 1, t.obj_id);
    BindText(q, 2, t.phys);
    BindText(q, 3, SegmentAttributesToJson(ct.attrs));
    BindText(q, 4, LobAttrsToJson(lobs));
    BindOptText(q, 5, ct.temporary);
    TABDB_RETURN_IF_ERROR(s.db().Run(q));
  }
  for (const ColumnInfo& c : t.columns) {
    int length = -1;
    for (const LobAttr& la : lobs)
      if (la.intcol == c.intcol && la.lob.storage_in_row == 0) length = kOutOfRowLobLength;
    TABDB_RETURN_IF_ERROR(InsertColumn(s, t.obj_id, c, length));
  }

  // Constraints: inline ones column by column, then the out-of-line ones.
  std::vector<sql::Constraint> foreign_keys;
  for (size_t i = 0; i < ct.columns.size(); ++i) {
    const sql::ColumnDef& d = ct.columns[i];
    for (const sql::Constraint& c : d.constraints) {
      switch (c.kind) {
        case sql::ConstraintKind::kNull:
          break;
        case sql::ConstraintKind::kNotNull:
          TABDB_RETURN_IF_ERROR(AddNotNull(s, t, t.columns[i].intcol, c));
          break;
        default:
          // Foreign keys come last: they may reference a key of this table.
          if (c.kind == sql::ConstraintKind::kForeignKey)
            foreign_keys.push_back(ColumnConstraint(d, c));
          else if (&c == table_key_source)
            TABDB_RETURN_IF_ERROR(AddKeyThroughTable(s, t, *table_key));
          else
            TABDB_RETURN_IF_ERROR(AddConstraint(s, t, ColumnConstraint(d, c), true));
          break;
      }
    }
  }
  for (const sql::Constraint& c : ct.constraints) {
    if (c.kind == sql::ConstraintKind::kNull || c.kind == sql::ConstraintKind::kNotNull) continue;
    if (c.kind == sql::ConstraintKind::kForeignKey) {
      foreign_keys.push_back(c);
      continue;
    }
    if (&c == table_key_source)
      TABDB_RETURN_IF_ERROR(AddKeyThroughTable(s, t, *table_key));
    else
      TABDB_RETURN_IF_ERROR(AddConstraint(s, t, c, true));
  }
  for (const sql::Constraint& c : foreign_keys) TABDB_RETURN_IF_ERROR(AddConstraint(s, t, c, true));
  TABDB_RETURN_IF_ERROR(AddIdentityNotNull(s, ct, t));
  if (ct.partitioning || ct.iot) TABDB_RETURN_IF_ERROR(CreatePartitioning(s, ct, t));
  return Status::Ok();
}

Status DeleteLobData(Session& s, const TableInfo& table) {
  for (const ColumnInfo& c : table.columns) {
    if (!c.stored() || !(IsLob(c.type.kind) || IsLong(c.type.kind))) continue;
    std::string ids = "SELECT " + c.phys() + " FROM " + table.phys + " WHERE " + c.phys() +
                      " IS NOT NULL";
    TABDB_RETURN_IF_ERROR(s.db().Exec("DELETE FROM tab$lobdata WHERE lob_id IN (" + ids + ")"));
    TABDB_RETURN_IF_ERROR(s.db().Exec("DELETE FROM tab$lob WHERE lob_id IN (" + ids + ")"));
  }
  return Status::Ok();
}

Status RemoveTable(Session& s, const TableInfo& table) {
  // Foreign keys of other tables that reference this one go first.
  TABDB_RETURN_IF_ERROR(CheckDropReferenced(s, table, true));
  TABDB_RETURN_IF_ERROR(DeleteLobData(s, table));
  TABDB_RETURN_IF_ERROR(DropIdentitySequences(s, table));
  TABDB_RETURN_IF_ERROR(s.db().Exec("DROP TABLE IF EXISTS " + table.phys));
  std::string id = std::to_string(table.obj_id);
  // The SQLite indexes went with the physical table; remove the catalog rows.
  TABDB_RETURN_IF_ERROR(s.db().Exec(
      "DELETE FROM tab$ind_columns WHERE index_obj IN"
      " (SELECT obj_id FROM tab$indexes WHERE table_obj = " + id + ");"
      "DELETE FROM tab$objects WHERE obj_id IN"
      " (SELECT obj_id FROM tab$indexes WHERE table_obj = " + id + ");"
      "DELETE FROM tab$indexes WHERE table_obj = " + id + ";"
      "DELETE FROM tab$cons_columns WHERE cons_id IN"
      " (SELECT cons_id FROM tab$constraints WHERE table_obj = " + id + ");"
      "DELETE FROM tab$constraints WHERE table_obj = " + id + ";"
      "DELETE FROM tab$columns WHERE obj_id = " + id + ";"
      "DELETE FROM tab$tables WHERE obj_id = " + id + ";"
      "DELETE FROM tab$mviews WHERE table_obj = " + id + ";"
      "DELETE FROM tab$mview_logs WHERE master_obj = " + id + ";"
      "DELETE FROM tab$objects WHERE obj_id = " + id + ";"));
  TABDB_RETURN_IF_ERROR(DropComments(s, table.obj_id));
  TABDB_RETURN_IF_ERROR(DropPartitioning(s, table.obj_id));
  return DropObjectGrants(s, table.obj_id);
}

Status DropTableDdl(Session& s, const sql::DropObject& d) {
  std::string owner, name;
  SplitName(s, d.name, &owner, &name);
  TABDB_RETURN_IF_ERROR(CheckSchemaWrite(s, owner));
  TableInfo t;
  TABDB_RETURN_IF_ERROR(LoadTable(s, owner, name, &t));
  bool container = false;
  TABDB_RETURN_IF_ERROR(IsMviewContainer(s, t.obj_id, &container));
  if (container) return OraError(ora::kUseDropMview, {owner, name});
  TABDB_RETURN_IF_ERROR(CheckDropReferenced(s, t, d.cascade));
  TABDB_RETURN_IF_ERROR(DropTriggersOn(s, owner, name));
  return RemoveTable(s, t);
}

Status TruncateTableDdl(Session& s, const sql::DropObject& d) {
  std::string owner, name;
  SplitName(s, d.name, &owner, &name);
  TABDB_RETURN_IF_ERROR(CheckSchemaWrite(s, owner));
  TableInfo t;
  TABDB_RETURN_IF_ERROR(LoadTable(s, owner, name, &t));
  TABDB_RETURN_IF_ERROR(CheckTruncateReferenced(s, t));
  TABDB_RETURN_IF_ERROR(DeleteLobData(s, t));
  // The segment stays allocated, as in Oracle: has_rows is kept.
  return s.db().Exec("DELETE FROM " + t.phys);
}

}  // namespace cat
}  // namespace tabdb

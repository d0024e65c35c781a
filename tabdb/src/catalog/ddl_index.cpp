// ddl_index.cpp - CREATE INDEX and DROP INDEX: catalog rows of an index and
// its keys, the hidden virtual columns of function-based keys, and the
// SQLite unique index that enforces a unique index over plain columns.
//
// Unique function-based indexes are recorded but not enforced: SQLite
// cannot index the engine's expressions in Oracle's semantics.
#include <algorithm>
#include <cstdio>

#include "catalog/catalog_internal.h"
#include "sql/printer.h"
#include "storage/sqlite_util.h"
#include "util/errors.h"

namespace tabdb {
namespace cat {
namespace {

bool SameKeys(const std::vector<IndexKeyRec>& a, const std::vector<IndexKeyRec>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].intcol != b[i].intcol || a[i].desc != b[i].desc || a[i].expr != b[i].expr)
      return false;
  }
  return true;
}

// A column an index key may name: LOB and LONG columns cannot be indexed.
Status CheckIndexable(const TypeDesc& t) {
  if (IsLob(t.kind)) return OraError(ora::kCannotIndexExpressionType, {"LOB"});
  if (IsLong(t.kind)) return OraError(ora::kIllegalLongUse);
  return Status::Ok();
}

// The hidden virtual column holding `expr_text` (shared by every index with
// that expression), made when the table has none yet.
Status HiddenColumnFor(Session& s, TableInfo* table, const std::string& expr_text,
                       const TypeDesc& type, int* intcol) {
  int max_intcol = 0;
  for (const ColumnInfo& c : table->columns) {
    if (c.hidden && c.is_virtual && c.data_default == expr_text) {
      *intcol = c.intcol;
      return Status::Ok();
    }
    max_intcol = std::max(max_intcol, c.intcol);
  }
  ColumnInfo c;
  c.intcol = max_intcol + 1;
  char buf[32];
  std::snprintf(buf, sizeof buf, "SYS_NC%05d$", c.intcol);
  c.name = buf;
  c.column_id = 0;
  c.type = WithDefaults(type);
  c.data_default = expr_text;
  c.hidden = true;
  c.is_virtual = true;
  c.virtual_expr = expr_text;
  TABDB_RETURN_IF_ERROR(InsertColumn(s, table->obj_id, c));
  *intcol = c.intcol;
  table->columns.push_back(std::move(c));
  return Status::Ok();
}

// The column a plain key names: "C", or "T"."C" with the table's name.
const ColumnInfo* KeyColumn(const TableInfo& t, const sql::Expr& e, bool* plain) {
  *plain = e.kind == sql::ExprKind::kColumn &&
           (e.names.size() == 1 || (e.names.size() == 2 && e.names[0].text == t.name));
  return *plain ? t.FindColumn(e.names.back().text) : nullptr;
}

}  // namespace

Status MakeIndex(Session& s, const TableInfo& table, const IndexSpec& spec,
                 bool check_duplicate_list, int64_t* obj_id) {
  TABDB_RETURN_IF_ERROR(CheckAttributes(spec.attrs));
  if (check_duplicate_list) {
    std::vector<IndexRec> existing;
    TABDB_RETURN_IF_ERROR(LoadTableIndexes(s, table.obj_id, &existing));
    for (const IndexRec& r : existing)
      if (r.bitmap() == spec.bitmap && SameKeys(r.keys, spec.keys)) return OraError(ora::kColumnListAlreadyIndexed);
  }
  TABDB_RETURN_IF_ERROR(AddObject(s, spec.owner, spec.name, "INDEX", obj_id));

  bool function_based = false;
  bool plain_stored = true;
  for (const IndexKeyRec& k : spec.keys) {
    if (!k.expr.empty() || k.desc) function_based = true;
    bool stored = false;
    for (const ColumnInfo& c : table.columns)
      if (c.intcol == k.intcol) stored = c.stored();
    plain_stored = plain_stored && stored && k.expr.empty();
  }
  std::string type = function_based ? "FUNCTION-BASED " : "";
  type += spec.bitmap ? "BITMAP" : "NORMAL";
  if (spec.reverse) type += "/REV";

  std::string phys;
  if (spec.unique && plain_stored && !function_based) {
    if (!spec.premade_phys.empty()) {
      phys = spec.premade_phys;
    } else {
      phys = "u" + std::to_string(*obj_id);
      std::string sql = "CREATE UNIQUE INDEX " + phys + " ON " + table.phys + "(";
      for (size_t i = 0; i < spec.keys.size(); ++i) {
        if (i) sql += ", ";
        sql += "c" + std::to_string(spec.keys[i].intcol);
      }
      sql += ")";
      Status st = s.db().Exec(sql);
      if (!st.ok()) {
        if (sqlite3_extended_errcode(s.db().handle()) == SQLITE_CONSTRAINT_UNIQUE)
          return OraError(ora::kDuplicateKeysFound);
        return st;
      }
    }
    std::vector<int> cols;
    for (const IndexKeyRec& k : spec.keys) cols.push_back(k.intcol);
    TABDB_RETURN_IF_ERROR(MakePartlyNullKeyIndex(s, table.phys, *obj_id, cols));
  }

  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "INSERT INTO tab$indexes(obj_id, table_obj, uniqueness, index_type, attrs, reverse, phys,"
      " generated) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)",
      &q));
  std::string attrs = SegmentAttributesToJson(spec.attrs);
  sqlite3_bind_int64(q, 1, *obj_id);
  sqlite3_bind_int64(q, 2, table.obj_id);
  sqlite3_bind_text(q, 3, spec.unique ? "UNIQUE" : "NONUNIQUE", -1, SQLITE_STATIC);
  sqlite3_bind_text(q, 4, type.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(q, 5, attrs.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_int(q, 6, spec.reverse ? 1 : 0);
  if (phys.empty()) sqlite3_bind_null(q, 7);
  else sqlite3_bind_text(q, 7, phys.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(q, 8, spec.generated ? "Y" : "N", -1, SQLITE_STATIC);
  TABDB_RETURN_IF_ERROR(s.db().Run(q));

  for (size_t i = 0; i < spec.keys.size(); ++i) {
    const IndexKeyRec& k = spec.keys[i];
    TABDB_RETURN_IF_ERROR(s.db().Cached(
        "INSERT INTO tab$ind_columns(index_obj, position, intcol, descend, expr)"
        " VALUES(?1, ?2, ?3, ?4, ?5)",
        &q));
    sqlite3_bind_int64(q, 1, *obj_id);
    sqlite3_bind_int(q, 2, static_cast<int>(i) + 1);
    sqlite3_bind_int(q, 3, k.intcol);
    sqlite3_bind_text(q, 4, k.desc ? "DESC" : "ASC", -1, SQLITE_STATIC);
    if (k.expr.empty()) sqlite3_bind_null(q, 5);
    else sqlite3_bind_text(q, 5, k.expr.c_str(), -1, SQLITE_TRANSIENT);
    TABDB_RETURN_IF_ERROR(s.db().Run(q));
  }
  return Status::Ok();
}

Status RemoveIndex(Session& s, int64_t index_obj, int64_t table_obj) {
  IndexRec r;
  TABDB_RETURN_IF_ERROR(LoadIndex(s, index_obj, &r));
  if (!r.phys.empty() && r.phys == KeyIndexOfTable("t" + std::to_string(table_obj)))
    TABDB_RETURN_IF_ERROR(RebuildWithoutKeyIndex(s, "t" + std::to_string(table_obj)));
  else if (!r.phys.empty())
    TABDB_RETURN_IF_ERROR(s.db().Exec("DROP INDEX IF EXISTS " + r.phys));
  TABDB_RETURN_IF_ERROR(s.db().Exec("DROP INDEX IF EXISTS n" + std::to_string(index_obj)));
  std::string id = std::to_string(index_obj);
  std::string tab = std::to_string(table_obj);
  return s.db().Exec(
      "DELETE FROM tab$ind_columns WHERE index_obj = " + id + ";"
      "DELETE FROM tab$indexes WHERE obj_id = " + id + ";"
      "DELETE FROM tab$objects WHERE obj_id = " + id + ";"
      // Hidden key columns that no remaining index of the table uses.
      "DELETE FROM tab$columns WHERE obj_id = " + tab + " AND hidden = 'YES' AND intcol NOT IN"
      " (SELECT c.intcol FROM tab$ind_columns c JOIN tab$indexes i ON i.obj_id = c.index_obj"
      " WHERE i.table_obj = " + tab + ");");
}

Status CreateIndexDdl(Session& s, const sql::CreateIndex& ci, ExprTypeFn infer_type) {
  IndexSpec spec;
  SplitName(s, ci.name, &spec.owner, &spec.name);
  TABDB_RETURN_IF_ERROR(CheckSchemaWrite(s, spec.owner));
  {
    // The name is checked first: a second CREATE INDEX of one name is
    // ORA-00955 even when its columns are indexed already.
    int64_t used = 0;
    TABDB_RETURN_IF_ERROR(FindIndex(s, spec.owner, spec.name, &used));
    if (used != 0) return OraError(ora::kNameAlreadyUsed);
  }
  TableInfo table;
  TABDB_RETURN_IF_ERROR(ResolveTableFor(s, ci.table, "INDEX", &table));
  spec.unique = ci.unique;
  spec.bitmap = ci.bitmap;
  spec.reverse = ci.reverse;
  spec.attrs = ci.attrs;
  TABDB_RETURN_IF_ERROR(CheckAttributes(spec.attrs));

  for (const sql::IndexKey& key : ci.keys) {
    IndexKeyRec k;
    k.desc = key.desc;
    bool plain = false;
    const ColumnInfo* col = KeyColumn(table, *key.expr, &plain);
    if (plain && col == nullptr)
      return OraError(ora::kInvalidIdentifier, {Quote(key.expr->names.back().text)});
    if (col) TABDB_RETURN_IF_ERROR(CheckIndexable(col->type));
    if (col && !key.desc) {
      k.intcol = col->intcol;
    } else {
      // Expression or descending key: a hidden virtual column holds it.
      TypeDesc type;
      if (col) {
        type = col->type;
        k.expr = Quote(col->name);
      } else {
        TABDB_RETURN_IF_ERROR(infer_type(s, table, *key.expr, &type));
        TABDB_RETURN_IF_ERROR(CheckIndexable(type));
        k.expr = sql::ExprToText(*key.expr);
      }
      TABDB_RETURN_IF_ERROR(HiddenColumnFor(s, &table, k.expr, type, &k.intcol));
    }
    spec.keys.push_back(std::move(k));
  }
  int64_t obj = 0;
  TABDB_RETURN_IF_ERROR(MakeIndex(s, table, spec, true, &obj));
  return CreateIndexPartitioning(s, ci, table, obj);
}

Status DropIndexDdl(Session& s, const sql::DropObject& d) {
  std::string owner, name;
  SplitName(s, d.name, &owner, &name);
  TABDB_RETURN_IF_ERROR(CheckSchemaWrite(s, owner));
  int64_t obj = 0;
  std::string type;
  TABDB_RETURN_IF_ERROR(FindObjectOfType(s, owner, name, "INDEX", &obj, &type));
  if (obj == 0 || type != "INDEX") return OraError(ora::kIndexNotExist);
  IndexRec r;
  TABDB_RETURN_IF_ERROR(LoadIndex(s, obj, &r));
  std::vector<ConstraintRec> cons;
  TABDB_RETURN_IF_ERROR(LoadConstraints(s, r.table_obj, &cons));
  for (const ConstraintRec& c : cons)
    if (c.index_obj == obj) return OraError(ora::kIndexEnforcesKey);
  TABDB_RETURN_IF_ERROR(DropPartitioning(s, obj));
  return RemoveIndex(s, obj, r.table_obj);
}

}  // namespace cat
}  // namespace tabdb

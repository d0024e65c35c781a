// ddl_alter_cons.cpp - the constraint forms of ALTER TABLE besides ADD:
// DROP CONSTRAINT / PRIMARY KEY / UNIQUE
// (with the foreign keys that reference a key, under CASCADE), RENAME
// CONSTRAINT, and MODIFY of a column's nullability.
//
// Dropping a key drops the index the database made for it, and keeps an
// index that existed before the key, as Oracle does (KEEP INDEX / DROP
// INDEX override that).
#include <algorithm>

#include "catalog/catalog_internal.h"
#include "storage/sqlite_util.h"
#include "util/errors.h"

namespace tabdb {
namespace cat {
namespace {

bool IsKey(const ConstraintRec& c) { return c.type == "P" || c.type == "U"; }

bool HasColumn(const ConstraintRec& c, int intcol) {
  return std::find(c.intcols.begin(), c.intcols.end(), intcol) != c.intcols.end();
}

// Whether some row holds NULL in the column.
Status ColumnHasNull(Session& s, const TableInfo& t, int intcol, bool* has_null) {
  SqliteStmt q;
  sqlite3_stmt* raw = nullptr;
  std::string sql = "SELECT 1 FROM " + t.phys + " WHERE c" + std::to_string(intcol) +
                    " IS NULL LIMIT 1";
  int rc = sqlite3_prepare_v2(s.db().handle(), sql.c_str(), -1, &raw, nullptr);
  q.reset(raw);
  if (rc != SQLITE_OK) return SqliteError(s.db().handle(), rc);
  rc = sqlite3_step(q.get());
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) return SqliteError(s.db().handle(), rc);
  *has_null = rc == SQLITE_ROW;
  return Status::Ok();
}

// Foreign keys (of any table) that reference the key `cons_id`.
Status ReferencingKeys(Session& s, int64_t cons_id, std::vector<ConstraintRec>* out) {
  out->clear();
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "SELECT owner, name FROM tab$constraints WHERE r_cons_id = ?1 AND type = 'R'"
      " ORDER BY cons_id",
      &q));
  sqlite3_bind_int64(q, 1, cons_id);
  std::vector<std::pair<std::string, std::string>> names;
  while (true) {
    bool row = false;
    TABDB_RETURN_IF_ERROR(s.db().Step(q, &row));
    if (!row) break;
    names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(q, 0)),
                       reinterpret_cast<const char*>(sqlite3_column_text(q, 1)));
  }
  sqlite3_reset(q);
  for (const auto& n : names) {
    ConstraintRec r;
    bool found = false;
    TABDB_RETURN_IF_ERROR(FindConstraint(s, n.first, n.second, &r, &found));
    if (found) out->push_back(std::move(r));
  }
  return Status::Ok();
}

// Sets a column's NULLABLE from the constraints left on it: N while an
// enabled NOT NULL or primary key covers it.
Status RefreshNullable(Session& s, int64_t table_obj, int intcol) {
  std::vector<ConstraintRec> cons;
  TABDB_RETURN_IF_ERROR(LoadConstraints(s, table_obj, &cons));
  bool not_null = false;
  std::string named;
  for (const ConstraintRec& c : cons) {
    if (!c.enabled || !HasColumn(c, intcol)) continue;
    if (c.type == "P" || (c.not_null && c.validated)) not_null = true;
    if (c.not_null && !c.generated) named = c.name;
  }
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "UPDATE tab$columns SET nullable = ?3, not_null_cons = ?4 WHERE obj_id = ?1 AND intcol = ?2",
      &q));
  sqlite3_bind_int64(q, 1, table_obj);
  sqlite3_bind_int(q, 2, intcol);
  sqlite3_bind_text(q, 3, not_null ? "N" : "Y", -1, SQLITE_STATIC);
  if (named.empty()) sqlite3_bind_null(q, 4);
  else sqlite3_bind_text(q, 4, named.c_str(), -1, SQLITE_TRANSIENT);
  return s.db().Run(q);
}

// The SQLite indexes that made an index which existed before a key enforce
// it: a non-unique index stops enforcing uniqueness with the key.
Status StopEnforcing(Session& s, const IndexRec& idx) {
  if (idx.unique || idx.phys.empty()) return Status::Ok();
  TABDB_RETURN_IF_ERROR(s.db().Exec("DROP INDEX IF EXISTS " + idx.phys));
  TABDB_RETURN_IF_ERROR(s.db().Exec("DROP INDEX IF EXISTS n" + std::to_string(idx.obj_id)));
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached("UPDATE tab$indexes SET phys = NULL WHERE obj_id = ?1", &q));
  sqlite3_bind_int64(q, 1, idx.obj_id);
  return s.db().Run(q);
}

// Removes a constraint: its rows, the index of a key (see the file
// comment), and the NOT NULL it gave its columns. Foreign keys that
// reference a key go with it under `cascade`, else ORA-02273.
Status RemoveConstraint(Session& s, const ConstraintRec& c, bool cascade, int keep_index) {
  if (IsKey(c)) {
    std::vector<ConstraintRec> refs;
    TABDB_RETURN_IF_ERROR(ReferencingKeys(s, c.cons_id, &refs));
    if (!refs.empty() && !cascade) return OraError(ora::kKeyReferenced);
    for (const ConstraintRec& r : refs) TABDB_RETURN_IF_ERROR(RemoveConstraint(s, r, false, -1));
  }
  std::string id = std::to_string(c.cons_id);
  TABDB_RETURN_IF_ERROR(s.db().Exec("DELETE FROM tab$cons_columns WHERE cons_id = " + id + ";" +
                                    "DELETE FROM tab$constraints WHERE cons_id = " + id + ";"));
  if (IsKey(c) && c.index_obj != 0) {
    bool drop = keep_index == 0 || (keep_index != 1 && !c.preexisting);
    if (drop) {
      TABDB_RETURN_IF_ERROR(RemoveIndex(s, c.index_obj, c.table_obj));
    } else if (c.preexisting) {
      IndexRec idx;
      TABDB_RETURN_IF_ERROR(LoadIndex(s, c.index_obj, &idx));
      TABDB_RETURN_IF_ERROR(StopEnforcing(s, idx));
    }
  }
  if (c.not_null || c.type == "P")
    for (int col : c.intcols) TABDB_RETURN_IF_ERROR(RefreshNullable(s, c.table_obj, col));
  return Status::Ok();
}

Status DropConstraint(Session& s, const TableInfo& t, const sql::AlterTable& at) {
  std::vector<ConstraintRec> cons;
  TABDB_RETURN_IF_ERROR(LoadConstraints(s, t.obj_id, &cons));
  const ConstraintRec* target = nullptr;
  for (const ConstraintRec& c : cons) {
    bool match = false;
    switch (at.constraint_action) {
      case sql::AlterTableAction::kDropConstraint:
        match = c.name == at.constraint.text;
        break;
      case sql::AlterTableAction::kDropPrimaryKey:
        match = c.type == "P";
        break;
      default: {
        if (c.type != "U" || c.intcols.size() != at.key_columns.size()) break;
        match = true;
        for (const sql::Name& n : at.key_columns) {
          const ColumnInfo* col = t.FindColumn(n.text);
          if (col == nullptr) return OraError(ora::kInvalidIdentifier, {Quote(n.text)});
          match = match && HasColumn(c, col->intcol);
        }
        break;
      }
    }
    if (match) {
      target = &c;
      break;
    }
  }
  if (target == nullptr) {
    if (at.constraint_action == sql::AlterTableAction::kDropPrimaryKey) return OraError(ora::kNoPrimaryKeyToDrop);
    if (at.constraint_action == sql::AlterTableAction::kDropUnique) return OraError(ora::kNoUniqueKeyToDrop);
    return OraError(ora::kNoConstraintToDrop);
  }
  return RemoveConstraint(s, *target, at.cascade, at.keep_index);
}

Status RenameConstraint(Session& s, const TableInfo& t, const sql::AlterTable& at) {
  ConstraintRec c;
  bool found = false;
  TABDB_RETURN_IF_ERROR(FindConstraint(s, t.owner, at.constraint.text, &c, &found));
  if (!found || c.table_obj != t.obj_id) return OraError(ora::kConstraintNameNotExist);
  bool taken = false;
  TABDB_RETURN_IF_ERROR(ConstraintExists(s, t.owner, at.new_name.text, &taken));
  if (taken) return OraError(ora::kConstraintNameUsed);
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "UPDATE tab$constraints SET name = ?2, generated = 'USER NAME' WHERE cons_id = ?1", &q));
  sqlite3_bind_int64(q, 1, c.cons_id);
  sqlite3_bind_text(q, 2, at.new_name.text.c_str(), -1, SQLITE_TRANSIENT);
  TABDB_RETURN_IF_ERROR(s.db().Run(q));
  if (c.not_null)
    for (int col : c.intcols) TABDB_RETURN_IF_ERROR(RefreshNullable(s, t.obj_id, col));
  return Status::Ok();
}

// MODIFY (col [CONSTRAINT n] NOT NULL): ORA-01442 when the column already
// has a NOT NULL constraint (enabled or not) or is a key column; the rows
// must hold no NULL unless the constraint is disabled or NOVALIDATE.
Status ModifyNotNull(Session& s, const TableInfo& t, const ColumnInfo& col,
                     const sql::Constraint& c) {
  std::vector<ConstraintRec> cons;
  TABDB_RETURN_IF_ERROR(LoadConstraints(s, t.obj_id, &cons));
  if (!col.nullable) return OraError(ora::kAlreadyNotNull);
  for (const ConstraintRec& k : cons)
    if (k.not_null && HasColumn(k, col.intcol)) return OraError(ora::kAlreadyNotNull);
  if (c.has_name) {
    bool taken = false;
    TABDB_RETURN_IF_ERROR(ConstraintExists(s, t.owner, c.name.text, &taken));
    if (taken) return OraError(ora::kConstraintNameUsed);
  }
  if (c.enable && c.validate != 0) {
    // A virtual column has no stored values to look at.
    if (!col.stored()) return OraError(ora::kUnimplemented);
    bool has_null = false;
    TABDB_RETURN_IF_ERROR(ColumnHasNull(s, t, col.intcol, &has_null));
    // A system name is not given yet when Oracle reports the rows.
    if (has_null) return OraError(ora::kNullValuesFound, {t.owner, c.has_name ? c.name.text : ""});
  }
  return AddNotNull(s, t, col.intcol, c);
}

// MODIFY (col NULL): drops the column's NOT NULL constraints; ORA-01451
// when it has none, or when it is a primary-key column.
Status ModifyNull(Session& s, const TableInfo& t, const ColumnInfo& col) {
  std::vector<ConstraintRec> cons;
  TABDB_RETURN_IF_ERROR(LoadConstraints(s, t.obj_id, &cons));
  std::vector<const ConstraintRec*> not_nulls;
  for (const ConstraintRec& k : cons) {
    if (k.type == "P" && HasColumn(k, col.intcol)) return OraError(ora::kCannotModifyToNull);
    if (k.not_null && HasColumn(k, col.intcol)) not_nulls.push_back(&k);
  }
  if (not_nulls.empty()) return OraError(ora::kCannotModifyToNull);
  for (const ConstraintRec* k : not_nulls) TABDB_RETURN_IF_ERROR(RemoveConstraint(s, *k, false, -1));
  return Status::Ok();
}

Status ModifyNullability(Session& s, const TableInfo& table, const sql::AlterTable& at) {
  for (const sql::NullabilityChange& item : at.nullability) {
    // Each change sees the ones before it.
    TableInfo t;
    TABDB_RETURN_IF_ERROR(LoadTableById(s, table.obj_id, &t));
    const ColumnInfo* col = t.FindColumn(item.column.text);
    if (col == nullptr || col->hidden) return OraError(ora::kInvalidIdentifier, {Quote(item.column.text)});
    switch (item.constraint.kind) {
      case sql::ConstraintKind::kNotNull:
        TABDB_RETURN_IF_ERROR(ModifyNotNull(s, t, *col, item.constraint));
        break;
      case sql::ConstraintKind::kNull:
        TABDB_RETURN_IF_ERROR(ModifyNull(s, t, *col));
        break;
      default: {
        // An inline key or check on an existing column.
        sql::Constraint c = item.constraint;
        c.columns = {item.column};
        TABDB_RETURN_IF_ERROR(AddConstraint(s, t, c, false));
        break;
      }
    }
  }
  return Status::Ok();
}

}  // namespace

Status AlterConstraintForm(Session& s, const TableInfo& table, const sql::AlterTable& at) {
  switch (at.constraint_action) {
    case sql::AlterTableAction::kDropConstraint:
    case sql::AlterTableAction::kDropPrimaryKey:
    case sql::AlterTableAction::kDropUnique:
      return DropConstraint(s, table, at);
    case sql::AlterTableAction::kRenameConstraint:
      return RenameConstraint(s, table, at);
    case sql::AlterTableAction::kModifyNullability:
      return ModifyNullability(s, table, at);
    default:
      return OraError(ora::kInvalidAlterTableOption);
  }
}

}  // namespace cat
}  // namespace tabdb

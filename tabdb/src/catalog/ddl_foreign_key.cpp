// ddl_foreign_key.cpp - foreign keys (REFERENCES) and the states of every
// constraint: which parent key a foreign key references and the checks
// Oracle makes when it is declared, the guards of DROP and TRUNCATE of a
// referenced table, and ALTER TABLE ... MODIFY / ENABLE / DISABLE.
//
// Checking rows against a foreign key on DML is the engine's business; it
// reads the keys through LoadForeignKeys.
#include <algorithm>

#include "catalog/catalog_internal.h"
#include "storage/sqlite_util.h"
#include "util/errors.h"

namespace tabdb {
namespace cat {
namespace {

std::string Col(int intcol) { return "c" + std::to_string(intcol); }

// Types a foreign key column may have against its parent column.
int TypeFamily(TypeKind k) {
  switch (k) {
    case TypeKind::kVarchar2:
    case TypeKind::kChar:
    case TypeKind::kNVarchar2:
    case TypeKind::kNChar:
      return 1;
    case TypeKind::kNumber:
    case TypeKind::kFloat:
      return 2;
    default:
      return 100 + static_cast<int>(k);
  }
}

const ColumnInfo* ColumnByIntcol(const TableInfo& t, int intcol) {
  for (const ColumnInfo& c : t.columns)
    if (c.intcol == intcol) return &c;
  return nullptr;
}

Status ResolveColumns(const TableInfo& t, const std::vector<sql::Name>& names, std::vector<int>* out) {
  out->clear();
  for (const sql::Name& n : names) {
    const ColumnInfo* c = t.FindColumn(n.text);
    if (c == nullptr || c->hidden) return OraError(ora::kInvalidIdentifier, {Quote(n.text)});
    if (std::find(out->begin(), out->end(), c->intcol) != out->end()) return OraError(ora::kDuplicateColumnName);
    out->push_back(c->intcol);
  }
  return Status::Ok();
}

std::vector<int> Sorted(std::vector<int> v) {
  std::sort(v.begin(), v.end());
  return v;
}

// Whether a query finds a row.
Status AnyRow(Session& s, const std::string& sql, bool* found) {
  SqliteStmt q;
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(s.db().handle(), sql.c_str(), -1, &raw, nullptr);
  q.reset(raw);
  if (rc != SQLITE_OK) return SqliteError(s.db().handle(), rc);
  return s.db().Step(q.get(), found);
}

Status SetStatus(Session& s, int64_t cons_id, bool enabled, bool validated, bool deferred) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "UPDATE tab$constraints SET status = ?2, validated = ?3, is_deferred = ?4 WHERE cons_id = ?1", &q));
  sqlite3_bind_int64(q, 1, cons_id);
  sqlite3_bind_text(q, 2, enabled ? "ENABLED" : "DISABLED", -1, SQLITE_STATIC);
  sqlite3_bind_int(q, 3, validated ? 1 : 0);
  sqlite3_bind_int(q, 4, deferred ? 1 : 0);
  return s.db().Run(q);
}

Status ValidateForeignKey(Session& s, const ForeignKeyInfo& fk) {
  bool orphan = false;
  TABDB_RETURN_IF_ERROR(
      AnyRow(s, "SELECT 1 FROM " + fk.child_phys + " AS _c WHERE " + OrphanCondition(fk, "_c") + " LIMIT 1", &orphan));
  if (orphan) return OraError(ora::kParentKeysOnValidate, {fk.owner, fk.name});
  return Status::Ok();
}

Status LoadForeignKeyById(Session& s, int64_t cons_id, ForeignKeyInfo* out, bool* found);

}  // namespace

Status ApplyStates(const sql::Constraint& c, NewConstraint* nc) {
  nc->enabled = c.enable;
  // ENABLE validates unless NOVALIDATE is written; DISABLE does not.
  nc->validated = c.validate >= 0 ? c.validate == 1 : c.enable;
  if (c.initially_deferred == 1 && c.deferrable == 0) return OraError(ora::kCannotDefer);
  nc->deferred = c.initially_deferred == 1;
  nc->deferrable = c.deferrable == 1 || nc->deferred;
  return Status::Ok();
}

Status AddForeignKey(Session& s, const TableInfo& child, const sql::Constraint& c, bool in_create) {
  NewConstraint nc;
  nc.owner = child.owner;
  nc.table_obj = child.obj_id;
  nc.type = "R";
  nc.delete_rule = c.delete_rule;
  TABDB_RETURN_IF_ERROR(ApplyStates(c, &nc));
  std::vector<int> child_cols;
  TABDB_RETURN_IF_ERROR(ResolveColumns(child, c.columns, &child_cols));
  for (int col : child_cols) {
    const ColumnInfo* ci = ColumnByIntcol(child, col);
    if (ci && (IsLob(ci->type.kind) || IsLong(ci->type.kind))) return OraError(ora::kRefColumnType);
  }

  // The parent: this very table, or one the session may reference.
  std::string powner, pname;
  SplitName(s, c.ref_table, &powner, &pname);
  TableInfo parent;
  if (powner == child.owner && pname == child.name) {
    parent = child;
  } else {
    TABDB_RETURN_IF_ERROR(LoadTable(s, powner, pname, &parent));
    TABDB_RETURN_IF_ERROR(CheckObjectPrivilege(s, parent.owner, parent.obj_id, "REFERENCES"));
    // The key is the child table owner's: that user must hold REFERENCES
    // on another schema's parent itself, as Oracle requires (no role or
    // system privilege stands in for it, not even a DBA's).
    if (parent.owner != child.owner) {
      bool holds = false;
      TABDB_RETURN_IF_ERROR(UserHoldsPrivilege(s, child.owner, parent.obj_id, "REFERENCES", &holds));
      if (!holds) return OraError(ora::kInsufficientPrivileges);
    }
  }

  // The referenced key: the primary key when no columns are named, else a
  // primary or unique key over exactly the named columns.
  std::vector<ConstraintRec> pcons;
  TABDB_RETURN_IF_ERROR(LoadConstraints(s, parent.obj_id, &pcons));
  const ConstraintRec* key = nullptr;
  std::vector<int> ref_cols;
  if (c.ref_columns.empty()) {
    for (const ConstraintRec& k : pcons)
      if (k.type == "P") key = &k;
    if (key == nullptr) return OraError(ora::kRefNoPrimaryKey);
    ref_cols = key->intcols;
    if (ref_cols.size() != child_cols.size()) return OraError(ora::kRefColumnCount);
  } else {
    TABDB_RETURN_IF_ERROR(ResolveColumns(parent, c.ref_columns, &ref_cols));
    if (ref_cols.size() != child_cols.size()) return OraError(ora::kRefColumnCount);
    for (const ConstraintRec& k : pcons)
      if ((k.type == "P" || k.type == "U") && Sorted(k.intcols) == Sorted(ref_cols)) key = &k;
    if (key == nullptr) return OraError(ora::kRefNoMatchingKey);
  }
  for (size_t i = 0; i < child_cols.size(); ++i) {
    const ColumnInfo* a = ColumnByIntcol(child, child_cols[i]);
    const ColumnInfo* b = ColumnByIntcol(parent, ref_cols[i]);
    if (a == nullptr || b == nullptr || TypeFamily(a->type.kind) != TypeFamily(b->type.kind))
      return OraError(ora::kRefColumnType);
  }
  // Child columns in the order of the key's columns.
  for (int kc : key->intcols) {
    size_t i = static_cast<size_t>(std::find(ref_cols.begin(), ref_cols.end(), kc) - ref_cols.begin());
    nc.intcols.push_back(child_cols[i]);
  }
  nc.r_cons_id = key->cons_id;

  std::vector<ConstraintRec> mine;
  TABDB_RETURN_IF_ERROR(LoadConstraints(s, child.obj_id, &mine));
  for (const ConstraintRec& m : mine)
    if (m.type == "R" && m.r_cons_id == nc.r_cons_id && m.intcols == nc.intcols)
      return OraError(ora::kRefAlreadyExists);
  TABDB_RETURN_IF_ERROR(ConstraintName(s, child.owner, c, &nc.name, &nc.generated));
  TABDB_RETURN_IF_ERROR(InsertConstraint(s, nc));
  if (nc.enabled && nc.validated && !in_create) {
    ConstraintRec r;
    ForeignKeyInfo fk;
    bool found = false;
    TABDB_RETURN_IF_ERROR(FindConstraint(s, nc.owner, nc.name, &r, &found));
    if (found) TABDB_RETURN_IF_ERROR(LoadForeignKeyById(s, r.cons_id, &fk, &found));
    if (found) TABDB_RETURN_IF_ERROR(ValidateForeignKey(s, fk));
  }
  return Status::Ok();
}

Status RemoveConstraintRows(Session& s, int64_t cons_id) {
  std::string id = std::to_string(cons_id);
  return s.db().Exec("DELETE FROM tab$cons_columns WHERE cons_id = " + id +
                     ";DELETE FROM tab$constraints WHERE cons_id = " + id + ";");
}

Status LoadReferencingKeys(Session& s, int64_t table_obj, std::vector<ConstraintRec>* out) {
  out->clear();
  std::vector<ForeignKeyInfo> fks;
  TABDB_RETURN_IF_ERROR(LoadForeignKeys(s, table_obj, true, true, &fks));
  for (const ForeignKeyInfo& fk : fks) {
    ConstraintRec r;
    bool found = false;
    TABDB_RETURN_IF_ERROR(FindConstraint(s, fk.owner, fk.name, &r, &found));
    if (found) out->push_back(std::move(r));
  }
  return Status::Ok();
}

Status CheckDropReferenced(Session& s, const TableInfo& t, bool cascade) {
  std::vector<ForeignKeyInfo> fks;
  TABDB_RETURN_IF_ERROR(LoadForeignKeys(s, t.obj_id, true, true, &fks));
  for (const ForeignKeyInfo& fk : fks) {
    if (fk.child_obj == t.obj_id) continue;  // goes with the table
    if (!cascade) return OraError(ora::kReferencedByForeignKeys);
    TABDB_RETURN_IF_ERROR(RemoveConstraintRows(s, fk.cons_id));
  }
  return Status::Ok();
}

Status CheckTruncateReferenced(Session& s, const TableInfo& t) {
  std::vector<ForeignKeyInfo> fks;
  TABDB_RETURN_IF_ERROR(LoadForeignKeys(s, t.obj_id, true, false, &fks));
  for (const ForeignKeyInfo& fk : fks)
    if (fk.child_obj != t.obj_id) return OraError(ora::kTruncateReferenced);
  return Status::Ok();
}

Status ChangeConstraintState(Session& s, const TableInfo& t, const sql::ConstraintStateChange& ch) {
  const sql::Constraint& w = ch.state;
  std::vector<ConstraintRec> cons;
  TABDB_RETURN_IF_ERROR(LoadConstraints(s, t.obj_id, &cons));
  const ConstraintRec* target = nullptr;
  bool enabling = w.enable_given ? w.enable : true;
  switch (ch.target) {
    case sql::ConstraintStateChange::kByName:
      for (const ConstraintRec& c : cons)
        if (c.name == ch.name.text) target = &c;
      if (target == nullptr) {
        if (ch.modify) return OraError(ora::kNoConstraintToDrop);
        return OraError(enabling ? ora::kEnableNoSuchConstraint : ora::kDisableNoSuchConstraint,
                        {ch.name.text});
      }
      break;
    case sql::ConstraintStateChange::kPrimaryKey:
      for (const ConstraintRec& c : cons)
        if (c.type == "P") target = &c;
      if (target == nullptr) return OraError(enabling ? ora::kEnableNoPrimaryKey : ora::kDisableNoPrimaryKey);
      break;
    case sql::ConstraintStateChange::kUnique: {
      std::vector<int> cols;
      std::string list;
      for (const sql::Name& n : ch.columns) list += (list.empty() ? "" : ", ") + n.text;
      Status rs = ResolveColumns(t, ch.columns, &cols);
      for (const ConstraintRec& c : cons)
        if (rs.ok() && c.type == "U" && Sorted(c.intcols) == Sorted(cols)) target = &c;
      if (target == nullptr) return OraError(enabling ? ora::kEnableNoUniqueKey : ora::kDisableNoUniqueKey, {list});
      break;
    }
  }
  const ConstraintRec& c = *target;
  bool enabled = w.enable_given ? w.enable : c.enabled;
  bool validated = w.validate >= 0 ? w.validate == 1 : (w.enable_given ? w.enable : c.validated);
  if (w.deferrable == 1 && !c.deferrable) return OraError(ora::kCannotDefer);
  if (w.deferrable == 0 && c.deferrable) return OraError(ora::kCannotDefer);
  if (w.initially_deferred == 1 && !c.deferrable) return OraError(ora::kCannotDefer);
  bool deferred = w.initially_deferred >= 0 ? w.initially_deferred == 1 : c.deferred;
  bool keyed = c.type == "P" || c.type == "U";

  if (keyed && c.enabled && !enabled) {
    // Disabling a referenced key: its enabled foreign keys stop it, unless
    // CASCADE disables them too.
    std::vector<ForeignKeyInfo> fks;
    TABDB_RETURN_IF_ERROR(LoadForeignKeys(s, t.obj_id, true, false, &fks));
    for (const ForeignKeyInfo& fk : fks) {
      if (fk.parent_obj != t.obj_id) continue;
      ConstraintRec r;
      bool found = false;
      TABDB_RETURN_IF_ERROR(FindConstraint(s, fk.owner, fk.name, &r, &found));
      if (!found || r.r_cons_id != c.cons_id) continue;
      if (!ch.cascade) return OraError(ora::kDisableDependencies, {c.owner, c.name});
      TABDB_RETURN_IF_ERROR(SetStatus(s, fk.cons_id, false, false, r.deferred));
    }
    if (ch.keep_index == 1 && c.index_obj != 0) {
      // KEEP INDEX: the index stays as it is, on its own.
      TABDB_RETURN_IF_ERROR(s.db().Exec("UPDATE tab$constraints SET index_obj = NULL, index_preexisting = 0"
                                        " WHERE cons_id = " + std::to_string(c.cons_id)));
    } else {
      TABDB_RETURN_IF_ERROR(StopEnforcingKey(s, t, c));
    }
  } else if (keyed && !c.enabled && enabled) {
    TABDB_RETURN_IF_ERROR(EnforceKey(s, t, c));
  }
  bool check_rows = enabled && validated && (!c.enabled || !c.validated);
  if (c.type == "C" && c.not_null) {
    std::string col = c.intcols.empty() ? "" : Col(c.intcols[0]);
    if (check_rows && !col.empty()) {
      bool nulls = false;
      TABDB_RETURN_IF_ERROR(AnyRow(s, "SELECT 1 FROM " + t.phys + " WHERE " + col + " IS NULL LIMIT 1", &nulls));
      if (nulls) return OraError(ora::kNullValuesFound, {c.owner, c.generated ? "" : c.name});
    }
    if (!col.empty() && enabled != c.enabled) {
      TABDB_RETURN_IF_ERROR(s.db().Exec("UPDATE tab$columns SET nullable = '" + std::string(enabled ? "N" : "Y") +
                                        "' WHERE obj_id = " + std::to_string(t.obj_id) +
                                        " AND intcol = " + std::to_string(c.intcols[0])));
    }
  } else if (c.type == "C" && check_rows) {
    TABDB_RETURN_IF_ERROR(ValidateCheck(s, t, c.owner, c.name, c.search_condition));
  } else if (c.type == "R" && check_rows) {
    ForeignKeyInfo fk;
    bool found = false;
    TABDB_RETURN_IF_ERROR(LoadForeignKeyById(s, c.cons_id, &fk, &found));
    if (found) TABDB_RETURN_IF_ERROR(ValidateForeignKey(s, fk));
  }
  return SetStatus(s, c.cons_id, enabled, validated, deferred);
}

}  // namespace cat

// ---- what DML reads ---------------------------------------------------------

namespace {

constexpr const char* kForeignKeyColumns =
    "SELECT f.cons_id, f.owner, f.name, f.table_obj, f.delete_rule, f.status, f.validated,"
    " f.is_deferrable, f.is_deferred, k.table_obj, k.cons_id FROM tab$constraints f"
    " JOIN tab$constraints k ON k.cons_id = f.r_cons_id WHERE f.type = 'R'";

Status IntcolsOf(Session& s, int64_t cons_id, std::vector<int>* out) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(
      s.db().Cached("SELECT intcol FROM tab$cons_columns WHERE cons_id = ?1 ORDER BY position", &q));
  sqlite3_bind_int64(q, 1, cons_id);
  out->clear();
  while (true) {
    bool row = false;
    Status st = s.db().Step(q, &row);
    if (!st.ok() || !row) {
      sqlite3_reset(q);
      return st;
    }
    out->push_back(sqlite3_column_int(q, 0));
  }
}

Status PhysOf(Session& s, int64_t table_obj, std::string* out) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached("SELECT phys FROM tab$tables WHERE obj_id = ?1", &q));
  sqlite3_bind_int64(q, 1, table_obj);
  bool row = false;
  Status st = s.db().Step(q, &row);
  *out = row ? reinterpret_cast<const char*>(sqlite3_column_text(q, 0)) : "";
  sqlite3_reset(q);
  return st;
}

Status ReadForeignKeys(Session& s, sqlite3_stmt* q, bool all, std::vector<ForeignKeyInfo>* out) {
  std::vector<int64_t> keys;
  while (true) {
    bool row = false;
    Status st = s.db().Step(q, &row);
    if (!st.ok()) {
      sqlite3_reset(q);
      return st;
    }
    if (!row) break;
    ForeignKeyInfo fk;
    fk.cons_id = sqlite3_column_int64(q, 0);
    fk.owner = reinterpret_cast<const char*>(sqlite3_column_text(q, 1));
    fk.name = reinterpret_cast<const char*>(sqlite3_column_text(q, 2));
    fk.child_obj = sqlite3_column_int64(q, 3);
    fk.delete_rule = reinterpret_cast<const char*>(sqlite3_column_text(q, 4));
    fk.enabled = std::string(reinterpret_cast<const char*>(sqlite3_column_text(q, 5))) == "ENABLED";
    fk.validated = sqlite3_column_int(q, 6) != 0;
    fk.deferrable = sqlite3_column_int(q, 7) != 0;
    fk.initially_deferred = sqlite3_column_int(q, 8) != 0;
    fk.parent_obj = sqlite3_column_int64(q, 9);
    if (!all && !fk.enabled) continue;
    keys.push_back(sqlite3_column_int64(q, 10));
    out->push_back(std::move(fk));
  }
  sqlite3_reset(q);
  for (size_t i = 0; i < out->size(); ++i) {
    ForeignKeyInfo& fk = (*out)[i];
    TABDB_RETURN_IF_ERROR(IntcolsOf(s, fk.cons_id, &fk.child_cols));
    TABDB_RETURN_IF_ERROR(IntcolsOf(s, keys[i], &fk.parent_cols));
    TABDB_RETURN_IF_ERROR(PhysOf(s, fk.child_obj, &fk.child_phys));
    TABDB_RETURN_IF_ERROR(PhysOf(s, fk.parent_obj, &fk.parent_phys));
  }
  return Status::Ok();
}

}  // namespace

namespace cat {
namespace {
Status LoadForeignKeyById(Session& s, int64_t cons_id, ForeignKeyInfo* out, bool* found) {
  static const std::string sql = std::string(kForeignKeyColumns) + " AND f.cons_id = ?1";
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(sql.c_str(), &q));
  sqlite3_bind_int64(q, 1, cons_id);
  std::vector<ForeignKeyInfo> v;
  TABDB_RETURN_IF_ERROR(ReadForeignKeys(s, q, true, &v));
  *found = !v.empty();
  if (*found) *out = std::move(v[0]);
  return Status::Ok();
}
}  // namespace
}  // namespace cat

Status LoadForeignKeys(Session& s, int64_t table_obj, bool referencing, bool all,
                       std::vector<ForeignKeyInfo>* out) {
  out->clear();
  static const std::string by_child = std::string(kForeignKeyColumns) + " AND f.table_obj = ?1 ORDER BY f.cons_id";
  static const std::string by_parent = std::string(kForeignKeyColumns) + " AND k.table_obj = ?1 ORDER BY f.cons_id";
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached((referencing ? by_parent : by_child).c_str(), &q));
  sqlite3_bind_int64(q, 1, table_obj);
  return ReadForeignKeys(s, q, all, out);
}

std::string OrphanCondition(const ForeignKeyInfo& fk, const std::string& child) {
  std::string set, match;
  for (size_t i = 0; i < fk.child_cols.size(); ++i) {
    std::string c = child + ".c" + std::to_string(fk.child_cols[i]);
    set += (i ? " AND " : "") + c + " IS NOT NULL";
    match += (i ? " AND " : "") + std::string("_p.c") + std::to_string(fk.parent_cols[i]) + " = " + c;
  }
  return "(" + set + " AND NOT EXISTS (SELECT 1 FROM " + fk.parent_phys + " AS _p WHERE " + match + "))";
}

Status LoadTableByObj(Session& s, int64_t obj_id, TableInfo* out) { return cat::LoadTableById(s, obj_id, out); }

Status FindDeferrableConstraint(Session& s, const std::string& owner, const std::string& name,
                                int64_t* cons_id, bool* deferrable, bool* found) {
  cat::ConstraintRec r;
  TABDB_RETURN_IF_ERROR(cat::FindConstraint(s, owner, name, &r, found));
  *cons_id = r.cons_id;
  *deferrable = r.deferrable;
  return Status::Ok();
}

}  // namespace tabdb

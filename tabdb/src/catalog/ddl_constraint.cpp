// ddl_constraint.cpp - primary key, unique, check and NOT NULL constraints,
// made by CREATE TABLE or by ALTER TABLE ... ADD: names (system names for
// unnamed ones), the index that enforces a key (an existing one when it
// fits, as Oracle does, or a new unique index named after the constraint),
// and validation of the rows a table already holds.
//
// CHECK conditions are recorded with the columns they name; evaluating
// them on DML, and over the rows already there, is the engine's business.
#include <algorithm>
#include <set>

#include "catalog/catalog_internal.h"
#include "sql/parser.h"
#include "storage/sqlite_util.h"
#include "util/errors.h"

namespace tabdb {
namespace cat {
namespace {

// Key columns of a primary key or unique constraint.
Status ResolveKeyColumns(const TableInfo& t, const std::vector<sql::Name>& names,
                         std::vector<int>* out) {
  out->clear();
  for (const sql::Name& n : names) {
    const ColumnInfo* c = t.FindColumn(n.text);
    if (c == nullptr || c->hidden) return OraError(ora::kInvalidIdentifier, {Quote(n.text)});
    if (std::find(out->begin(), out->end(), c->intcol) != out->end()) return OraError(ora::kDuplicateColumnName);
    if (IsLob(c->type.kind)) return OraError(ora::kCannotBeUniqueKey, {"LOB"});
    if (IsLong(c->type.kind)) return OraError(ora::kLongKeyColumn);
    // A key over a virtual column would need an expression index to be
    // enforced, which the storage cannot provide.
    if (c->is_virtual) return Unimplemented("key on a virtual column");
    out->push_back(c->intcol);
  }
  if (out->empty()) return OraError(ora::kInvalidIdentifier, {""});
  return Status::Ok();
}

std::vector<int> Sorted(std::vector<int> v) {
  std::sort(v.begin(), v.end());
  return v;
}

// Whether an index can enforce a key over `cols`: its leading keys are the
// key's columns (in any order), plain and ascending; a unique index must
// have exactly those keys. Bitmap indexes cannot enforce keys.
bool CanEnforce(const IndexRec& r, const std::vector<int>& cols) {
  if (r.bitmap() || r.keys.size() < cols.size()) return false;
  if (r.unique && r.keys.size() != cols.size()) return false;
  std::vector<int> lead;
  for (size_t i = 0; i < cols.size(); ++i) {
    if (!r.keys[i].expr.empty() || r.keys[i].desc) return false;
    lead.push_back(r.keys[i].intcol);
  }
  return Sorted(lead) == Sorted(cols);
}

// Whether a key already uses the index: an index enforces one key.
bool IndexInUse(const std::vector<ConstraintRec>& cons, int64_t index_obj) {
  for (const ConstraintRec& c : cons)
    if (c.index_obj == index_obj) return true;
  return false;
}

// The error for duplicate rows met when a key is added to a table.
Status DuplicateKeys(bool primary, const std::string& owner, const std::string& name) {
  return primary ? OraError(ora::kPrimaryKeyViolated, {owner, name}) : OraError(ora::kDuplicateKeysOnValidate, {owner, name});
}

// Rows with a NULL in a primary-key column stop the key (ORA-01449).
Status CheckNoNulls(Session& s, const TableInfo& t, const std::vector<int>& cols) {
  if (cols.empty()) return Status::Ok();
  std::string sql = "SELECT 1 FROM " + t.phys + " WHERE ";
  for (size_t i = 0; i < cols.size(); ++i) {
    if (i) sql += " OR ";
    sql += "c" + std::to_string(cols[i]) + " IS NULL";
  }
  sql += " LIMIT 1";
  SqliteStmt q;
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(s.db().handle(), sql.c_str(), -1, &raw, nullptr);
  q.reset(raw);
  if (rc != SQLITE_OK) return SqliteError(s.db().handle(), rc);
  rc = sqlite3_step(q.get());
  if (rc == SQLITE_ROW) return OraError(ora::kColumnHasNulls);
  if (rc != SQLITE_DONE) return SqliteError(s.db().handle(), rc);
  return Status::Ok();
}

// Makes the SQLite unique index that enforces a key through an existing,
// not yet enforcing index.
Status EnforceThrough(Session& s, const TableInfo& t, const IndexRec& r,
                      const std::vector<int>& cols, bool primary, const std::string& cons_name) {
  if (!r.phys.empty()) return Status::Ok();
  std::string phys = "u" + std::to_string(r.obj_id);
  std::string sql = "CREATE UNIQUE INDEX " + phys + " ON " + t.phys + "(";
  for (size_t i = 0; i < cols.size(); ++i) {
    if (i) sql += ", ";
    sql += "c" + std::to_string(cols[i]);
  }
  sql += ")";
  Status st = s.db().Exec(sql);
  if (!st.ok()) {
    if (sqlite3_extended_errcode(s.db().handle()) == SQLITE_CONSTRAINT_UNIQUE)
      return DuplicateKeys(primary, t.owner, cons_name);
    return st;
  }
  st = MakePartlyNullKeyIndex(s, t.phys, r.obj_id, cols);
  if (st.code() == ora::kDuplicateKeysFound) return DuplicateKeys(primary, t.owner, cons_name);
  TABDB_RETURN_IF_ERROR(st);
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached("UPDATE tab$indexes SET phys = ?2 WHERE obj_id = ?1", &q));
  sqlite3_bind_int64(q, 1, r.obj_id);
  sqlite3_bind_text(q, 2, phys.c_str(), -1, SQLITE_TRANSIENT);
  return s.db().Run(q);
}

}  // namespace

// Name of a new constraint: as given (ORA-02264 when taken) or a system name.
Status ConstraintName(Session& s, const std::string& owner, const sql::Constraint& c,
                      std::string* name, bool* generated) {
  *generated = !c.has_name;
  if (!c.has_name) return NewConstraintName(s, owner, name);
  bool exists = false;
  TABDB_RETURN_IF_ERROR(ConstraintExists(s, owner, c.name.text, &exists));
  if (exists) return OraError(ora::kConstraintNameUsed);
  *name = c.name.text;
  return Status::Ok();
}

Status InsertConstraint(Session& s, const NewConstraint& c) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "INSERT INTO tab$constraints(owner, name, table_obj, type, index_obj, index_preexisting,"
      " generated, status, search_condition, not_null, r_cons_id, delete_rule, is_deferrable,"
      " is_deferred, validated) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13,"
      " ?14, ?15)",
      &q));
  sqlite3_bind_text(q, 1, c.owner.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(q, 2, c.name.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_int64(q, 3, c.table_obj);
  sqlite3_bind_text(q, 4, c.type.c_str(), -1, SQLITE_TRANSIENT);
  if (c.index_obj) sqlite3_bind_int64(q, 5, c.index_obj);
  else sqlite3_bind_null(q, 5);
  sqlite3_bind_int(q, 6, c.preexisting ? 1 : 0);
  sqlite3_bind_text(q, 7, c.generated ? "GENERATED NAME" : "USER NAME", -1, SQLITE_STATIC);
  sqlite3_bind_text(q, 8, c.enabled ? "ENABLED" : "DISABLED", -1, SQLITE_STATIC);
  if (c.search_condition.empty()) sqlite3_bind_null(q, 9);
  else sqlite3_bind_text(q, 9, c.search_condition.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_int(q, 10, c.not_null ? 1 : 0);
  if (c.r_cons_id) sqlite3_bind_int64(q, 11, c.r_cons_id);
  else sqlite3_bind_null(q, 11);
  sqlite3_bind_text(q, 12, c.delete_rule.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_int(q, 13, c.deferrable ? 1 : 0);
  sqlite3_bind_int(q, 14, c.deferred ? 1 : 0);
  sqlite3_bind_int(q, 15, c.validated ? 1 : 0);
  TABDB_RETURN_IF_ERROR(s.db().Run(q));
  int64_t cons_id = sqlite3_last_insert_rowid(s.db().handle());
  for (size_t i = 0; i < c.intcols.size(); ++i) {
    TABDB_RETURN_IF_ERROR(s.db().Cached(
        "INSERT INTO tab$cons_columns(cons_id, position, intcol) VALUES(?1, ?2, ?3)", &q));
    sqlite3_bind_int64(q, 1, cons_id);
    sqlite3_bind_int(q, 2, static_cast<int>(i) + 1);
    sqlite3_bind_int(q, 3, c.intcols[i]);
    TABDB_RETURN_IF_ERROR(s.db().Run(q));
  }
  return Status::Ok();
}

namespace {

Status MarkNotNullable(Session& s, int64_t table_obj, int intcol) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "UPDATE tab$columns SET nullable = 'N' WHERE obj_id = ?1 AND intcol = ?2", &q));
  sqlite3_bind_int64(q, 1, table_obj);
  sqlite3_bind_int(q, 2, intcol);
  return s.db().Run(q);
}

// Columns a CHECK condition names, in order of first appearance; a name
// that is no column of the table is ORA-00904, a LONG column ORA-00997 (a
// condition cannot read a LONG value).
Status CheckColumns(const sql::Expr& e, const TableInfo& t, std::vector<int>* out) {
  if (e.kind == sql::ExprKind::kColumn && !e.names.empty()) {
    const ColumnInfo* c = t.FindColumn(e.names.back().text);
    if (c == nullptr) return OraError(ora::kInvalidIdentifier, {Quote(e.names.back().text)});
    if (IsLong(c->type.kind)) return OraError(ora::kIllegalLongUse);
    if (std::find(out->begin(), out->end(), c->intcol) == out->end()) out->push_back(c->intcol);
  }
  for (const sql::ExprPtr& a : e.args)
    if (a) TABDB_RETURN_IF_ERROR(CheckColumns(*a, t, out));
  return Status::Ok();
}

Status AddKey(Session& s, const TableInfo& table, const sql::Constraint& c, bool in_create,
              const std::string& premade_phys = std::string()) {
  bool primary = c.kind == sql::ConstraintKind::kPrimaryKey;
  NewConstraint nc;
  nc.owner = table.owner;
  nc.table_obj = table.obj_id;
  nc.type = primary ? "P" : "U";
  TABDB_RETURN_IF_ERROR(ApplyStates(c, &nc));
  TABDB_RETURN_IF_ERROR(ResolveKeyColumns(table, c.columns, &nc.intcols));

  std::vector<ConstraintRec> existing;
  TABDB_RETURN_IF_ERROR(LoadConstraints(s, table.obj_id, &existing));
  for (const ConstraintRec& e : existing) {
    if (primary && e.type == "P") return OraError(ora::kOnePrimaryKey);
    if ((e.type == "P" || e.type == "U") && Sorted(e.intcols) == Sorted(nc.intcols))
      return OraError(ora::kKeyAlreadyExists);
  }
  TABDB_RETURN_IF_ERROR(ConstraintName(s, table.owner, c, &nc.name, &nc.generated));

  if (nc.enabled) {
    if (primary && !in_create) TABDB_RETURN_IF_ERROR(CheckNoNulls(s, table, nc.intcols));
    IndexRec use;
    bool found = false;
    if (!c.using_index_name.empty()) {
      // USING INDEX [schema.]name: that index, which must fit the key.
      std::string iowner, iname;
      SplitName(s, c.using_index_name, &iowner, &iname);
      int64_t obj = 0;
      std::string type;
      TABDB_RETURN_IF_ERROR(FindObjectOfType(s, iowner, iname, "INDEX", &obj, &type));
      if (obj == 0 || type != "INDEX") return OraError(ora::kIndexNotExist);
      TABDB_RETURN_IF_ERROR(LoadIndex(s, obj, &use));
      // Another schema's index on a table the session may not see answers
      // as a missing one.
      if (use.table_obj != table.obj_id) {
        TableInfo on;
        TABDB_RETURN_IF_ERROR(LoadTableById(s, use.table_obj, &on));
        bool visible = false;
        TABDB_RETURN_IF_ERROR(VisibleObject(s, on.owner, on.obj_id, &visible));
        if (!visible) return OraError(ora::kIndexNotExist);
      }
      if (use.table_obj != table.obj_id || !CanEnforce(use, nc.intcols) ||
          IndexInUse(existing, obj))
        return OraError(ora::kIndexCannotEnforce);
      found = true;
    } else if (!in_create) {
      // As Oracle does: an existing index whose leading columns are the key.
      std::vector<IndexRec> indexes;
      TABDB_RETURN_IF_ERROR(LoadTableIndexes(s, table.obj_id, &indexes));
      for (IndexRec& r : indexes) {
        if (CanEnforce(r, nc.intcols) && !IndexInUse(existing, r.obj_id)) {
          use = std::move(r);
          found = true;
          break;
        }
      }
    }
    if (found) {
      TABDB_RETURN_IF_ERROR(EnforceThrough(s, table, use, nc.intcols, primary, nc.name));
      nc.index_obj = use.obj_id;
      nc.preexisting = true;
    } else {
      IndexSpec spec;
      spec.owner = table.owner;
      spec.name = nc.name;
      spec.unique = true;
      spec.generated = nc.generated;
      spec.attrs = c.using_index;
      spec.premade_phys = premade_phys;
      for (int col : nc.intcols) {
        IndexKeyRec k;
        k.intcol = col;
        spec.keys.push_back(k);
      }
      Status st = MakeIndex(s, table, spec, false, &nc.index_obj);
      if (st.code() == ora::kDuplicateKeysFound) return DuplicateKeys(primary, table.owner, nc.name);
      TABDB_RETURN_IF_ERROR(st);
    }
    if (primary)
      for (int col : nc.intcols) TABDB_RETURN_IF_ERROR(MarkNotNullable(s, table.obj_id, col));
  }
  return InsertConstraint(s, nc);
}

}  // namespace

std::string KeyIndexOfTable(const std::string& table_phys) {
  return "sqlite_autoindex_" + table_phys + "_1";
}

Status AddKeyThroughTable(Session& s, const TableInfo& table, const sql::Constraint& c) {
  return AddKey(s, table, c, true, KeyIndexOfTable(table.phys));
}

Status AddConstraint(Session& s, const TableInfo& table, const sql::Constraint& c,
                     bool in_create) {
  switch (c.kind) {
    case sql::ConstraintKind::kPrimaryKey:
    case sql::ConstraintKind::kUnique:
      return AddKey(s, table, c, in_create);
    case sql::ConstraintKind::kCheck: {
      NewConstraint nc;
      nc.owner = table.owner;
      nc.table_obj = table.obj_id;
      nc.type = "C";
      TABDB_RETURN_IF_ERROR(ApplyStates(c, &nc));
      nc.search_condition = c.check_text;
      sql::ExprPtr cond;
      TABDB_RETURN_IF_ERROR(sql::ParseExpression(c.check_text, &cond));
      TABDB_RETURN_IF_ERROR(CheckColumns(*cond, table, &nc.intcols));
      TABDB_RETURN_IF_ERROR(ConstraintName(s, table.owner, c, &nc.name, &nc.generated));
      // Rows already there must pass unless NOVALIDATE says otherwise.
      if (nc.enabled && !in_create && c.validate != 0)
        TABDB_RETURN_IF_ERROR(ValidateCheck(s, table, nc.owner, nc.name, nc.search_condition));
      return InsertConstraint(s, nc);
    }
    case sql::ConstraintKind::kForeignKey:
      return AddForeignKey(s, table, c, in_create);
    default:
      return OraError(ora::kInvalidAlterTableOption);
  }
}

Status AddNotNull(Session& s, const TableInfo& table, int intcol, const sql::Constraint& c) {
  const ColumnInfo* col = nullptr;
  for (const ColumnInfo& ci : table.columns)
    if (ci.intcol == intcol) col = &ci;
  if (col == nullptr) return OraError(ora::kInternalError, {"NOT NULL on a missing column"});
  NewConstraint nc;
  nc.owner = table.owner;
  nc.table_obj = table.obj_id;
  nc.type = "C";
  nc.not_null = true;
  TABDB_RETURN_IF_ERROR(ApplyStates(c, &nc));
  nc.search_condition = Quote(col->name) + " IS NOT NULL";
  nc.intcols = {intcol};
  TABDB_RETURN_IF_ERROR(ConstraintName(s, table.owner, c, &nc.name, &nc.generated));
  TABDB_RETURN_IF_ERROR(InsertConstraint(s, nc));
  if (nc.enabled) TABDB_RETURN_IF_ERROR(MarkNotNullable(s, table.obj_id, intcol));
  if (!nc.generated) {
    sqlite3_stmt* q = nullptr;
    TABDB_RETURN_IF_ERROR(s.db().Cached(
        "UPDATE tab$columns SET not_null_cons = ?3 WHERE obj_id = ?1 AND intcol = ?2", &q));
    sqlite3_bind_int64(q, 1, table.obj_id);
    sqlite3_bind_int(q, 2, intcol);
    sqlite3_bind_text(q, 3, nc.name.c_str(), -1, SQLITE_TRANSIENT);
    TABDB_RETURN_IF_ERROR(s.db().Run(q));
  }
  return Status::Ok();
}

Status AlterTableDdl(Session& s, const sql::AlterTable& at) {
  std::string owner, name;
  SplitName(s, at.table, &owner, &name);
  TABDB_RETURN_IF_ERROR(CheckSchemaWrite(s, owner));
  TableInfo t;
  TABDB_RETURN_IF_ERROR(LoadTable(s, owner, name, &t));
  if (at.has_state_change) return ChangeConstraintState(s, t, at.state_change);
  if (at.constraint_action != sql::AlterTableAction::kNone) return AlterConstraintForm(s, t, at);
  return AddConstraint(s, t, at.add_constraint, false);
}

Status EnforceKey(Session& s, const TableInfo& t, const ConstraintRec& key) {
  bool primary = key.type == "P";
  if (primary) TABDB_RETURN_IF_ERROR(CheckNoNulls(s, t, key.intcols));
  std::vector<ConstraintRec> existing;
  TABDB_RETURN_IF_ERROR(LoadConstraints(s, t.obj_id, &existing));
  std::vector<IndexRec> indexes;
  TABDB_RETURN_IF_ERROR(LoadTableIndexes(s, t.obj_id, &indexes));
  int64_t index_obj = 0;
  bool preexisting = false;
  for (const IndexRec& r : indexes) {
    if (CanEnforce(r, key.intcols) && !IndexInUse(existing, r.obj_id)) {
      TABDB_RETURN_IF_ERROR(EnforceThrough(s, t, r, key.intcols, primary, key.name));
      index_obj = r.obj_id;
      preexisting = true;
      break;
    }
  }
  if (index_obj == 0) {
    IndexSpec spec;
    spec.owner = t.owner;
    spec.name = key.name;
    spec.unique = true;
    spec.generated = key.generated;
    for (int col : key.intcols) {
      IndexKeyRec k;
      k.intcol = col;
      spec.keys.push_back(k);
    }
    Status st = MakeIndex(s, t, spec, false, &index_obj);
    if (st.code() == ora::kDuplicateKeysFound) return DuplicateKeys(primary, t.owner, key.name);
    TABDB_RETURN_IF_ERROR(st);
  }
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "UPDATE tab$constraints SET index_obj = ?2, index_preexisting = ?3 WHERE cons_id = ?1", &q));
  sqlite3_bind_int64(q, 1, key.cons_id);
  sqlite3_bind_int64(q, 2, index_obj);
  sqlite3_bind_int(q, 3, preexisting ? 1 : 0);
  TABDB_RETURN_IF_ERROR(s.db().Run(q));
  if (primary)
    for (int col : key.intcols) TABDB_RETURN_IF_ERROR(MarkNotNullable(s, t.obj_id, col));
  return Status::Ok();
}

Status StopEnforcingKey(Session& s, const TableInfo& t, const ConstraintRec& key) {
  if (key.index_obj != 0) {
    if (!key.preexisting) {
      // The index the key made goes with it, as Oracle drops it.
      TABDB_RETURN_IF_ERROR(RemoveIndex(s, key.index_obj, t.obj_id));
    } else {
      IndexRec r;
      TABDB_RETURN_IF_ERROR(LoadIndex(s, key.index_obj, &r));
      if (!r.unique && !r.phys.empty()) {
        // A non-unique index stays, without the uniqueness the key gave it.
        TABDB_RETURN_IF_ERROR(s.db().Exec("DROP INDEX IF EXISTS " + r.phys));
        TABDB_RETURN_IF_ERROR(s.db().Exec("DROP INDEX IF EXISTS n" + std::to_string(r.obj_id)));
        TABDB_RETURN_IF_ERROR(
            s.db().Exec("UPDATE tab$indexes SET phys = NULL WHERE obj_id = " + std::to_string(r.obj_id)));
      }
    }
    TABDB_RETURN_IF_ERROR(s.db().Exec(
        "UPDATE tab$constraints SET index_obj = NULL, index_preexisting = 0 WHERE cons_id = " +
        std::to_string(key.cons_id)));
  }
  if (key.type == "P") {
    // Key columns without a NOT NULL constraint of their own may hold NULL again.
    for (int col : key.intcols) {
      TABDB_RETURN_IF_ERROR(s.db().Exec(
          "UPDATE tab$columns SET nullable = 'Y' WHERE obj_id = " + std::to_string(t.obj_id) +
          " AND intcol = " + std::to_string(col) +
          " AND NOT EXISTS (SELECT 1 FROM tab$constraints c JOIN tab$cons_columns k ON k.cons_id ="
          " c.cons_id WHERE c.table_obj = " + std::to_string(t.obj_id) + " AND c.not_null = 1 AND"
          " c.status = 'ENABLED' AND k.intcol = " + std::to_string(col) + ")"));
    }
  }
  return Status::Ok();
}

}  // namespace cat
}  // namespace tabdb

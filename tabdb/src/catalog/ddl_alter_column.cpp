// ddl_alter_column.cpp - the column forms of ALTER TABLE (ADD, MODIFY, DROP,
// SET UNUSED, RENAME COLUMN, RENAME TO) and RENAME a TO b.
//
// Values are Oracle byte forms in the physical column c<intcol>, so a
// change of type or length is a catalog change once the rows allow it;
// intcol numbers are never reused, COLUMN_ID is renumbered as in Oracle.
#include <atomic>
#include <sqlite3.h>

#include <algorithm>
#include <set>

#include "catalog/catalog_internal.h"
#include "catalog/sequence.h"
#include "sql/lexer.h"
#include "sql/parser.h"
#include "sql/printer.h"
#include "storage/sqlite_util.h"
#include "util/errors.h"
#include "values/number.h"

namespace tabdb {

namespace {
// Set at every logon, from any thread: atomic so that the stores never race.
std::atomic<FillColumnFn> g_fill_column{nullptr};
}  // namespace

void SetFillColumnFn(FillColumnFn fn) { g_fill_column = fn; }

namespace cat {
namespace {

// Statements over one table's physical table are prepared for the one
// DDL, not kept in the connection's cache.
Status PrepareOnce(Session& s, const std::string& sql, SqliteStmt* out) {
  sqlite3_stmt* q = nullptr;
  int rc = sqlite3_prepare_v2(s.db().handle(), sql.c_str(), -1, &q, nullptr);
  out->reset(q);
  return rc == SQLITE_OK ? Status::Ok() : SqliteError(s.db().handle(), rc);
}

Status ColumnOf(const TableInfo& t, const sql::Name& n, const ColumnInfo** out) {
  *out = t.FindColumn(n.text);
  if (*out == nullptr || (*out)->hidden)
    return OraError(ora::kInvalidIdentifier, {Quote(n.text)});
  return Status::Ok();
}

// Whether some row has a value in `where` (an SQL condition over the
// physical table), e.g. "c3 IS NOT NULL".
Status AnyRow(Session& s, const TableInfo& t, const std::string& where, bool* any) {
  SqliteStmt q;
  TABDB_RETURN_IF_ERROR(PrepareOnce(
      s, "SELECT 1 FROM " + t.phys + (where.empty() ? "" : " WHERE " + where) + " LIMIT 1", &q));
  return s.db().Step(q.get(), any);
}

// `text` with every identifier naming column `from` renamed to `to`;
// the rest of the text stays as written.
Status RenameInText(const std::string& text, const std::string& from, const std::string& to,
                    std::string* out) {
  std::vector<sql::Token> toks;
  TABDB_RETURN_IF_ERROR(sql::Tokenize(text, &toks));
  std::string r;
  size_t at = 0;
  for (const sql::Token& t : toks) {
    bool ident = t.kind == sql::TokenKind::kIdent || t.kind == sql::TokenKind::kQuotedIdent;
    if (!ident || t.text != from) continue;
    r += text.substr(at, t.begin - at);
    r += t.kind == sql::TokenKind::kIdent && sql::IsPlainIdentifier(to) ? to : Quote(to);
    at = t.end;
  }
  *out = r + text.substr(at);
  return Status::Ok();
}

// Draws the identity sequence for every row the table already has.
// The rows of a catalog query `sql` (bound to `param`) as pairs of its
// first column (an integer) and its second (a text, empty when absent),
// read in full before the caller changes what they come from.
Status ReadPairs(Session& s, const std::string& sql, int64_t param,
                 std::vector<std::pair<int64_t, std::string>>* out) {
  SqliteStmt stmt;
  TABDB_RETURN_IF_ERROR(PrepareOnce(s, sql, &stmt));
  sqlite3_stmt* q = stmt.get();
  if (sqlite3_bind_parameter_count(q) >= 1) sqlite3_bind_int64(q, 1, param);
  for (;;) {
    bool row = false;
    Status st = s.db().Step(q, &row);
    if (!st.ok() || !row) return st;
    const unsigned char* p =
        sqlite3_column_count(q) > 1 ? sqlite3_column_text(q, 1) : nullptr;
    out->emplace_back(sqlite3_column_int64(q, 0), p ? reinterpret_cast<const char*>(p) : "");
  }
}

Status FillIdentity(Session& s, const TableInfo& t, const ColumnInfo& c) {
  std::vector<std::pair<int64_t, std::string>> rows;
  TABDB_RETURN_IF_ERROR(ReadPairs(s, "SELECT rowid FROM " + t.phys + " ORDER BY rowid", 0, &rows));
  SqliteStmt stmt;
  TABDB_RETURN_IF_ERROR(
      PrepareOnce(s, "UPDATE " + t.phys + " SET " + c.phys() + " = ?1 WHERE rowid = ?2", &stmt));
  sqlite3_stmt* u = stmt.get();
  for (const auto& row : rows) {
    int64_t id = row.first;
    int64_t v = 0;
    TABDB_RETURN_IF_ERROR(SequenceNextValue(s, c.identity_seq, &v));
    uint8_t buf[kNumberBufferBytes];
    size_t n = Number::FromInt64(v).EncodeTo(buf);
    sqlite3_bind_blob(u, 1, buf, static_cast<int>(n), SQLITE_TRANSIENT);
    sqlite3_bind_int64(u, 2, id);
    TABDB_RETURN_IF_ERROR(s.db().Run(u));
  }
  return Status::Ok();
}

Status AddColumns(Session& s, TableInfo& t, const sql::AlterTable& at, ExprTypeFn infer_type) {
  bool has_rows = false;
  TABDB_RETURN_IF_ERROR(AnyRow(s, t, "", &has_rows));
  int next_intcol = 0, next_id = 0, longs = 0;
  bool identity = false;
  for (const ColumnInfo& c : t.columns) {
    next_intcol = std::max(next_intcol, c.intcol);
    next_id = std::max(next_id, c.column_id);
    if (c.stored() && IsLong(c.type.kind)) ++longs;
    identity = identity || c.identity;
  }
  std::set<std::string> added;
  for (const sql::AlterItem& item : at.items) {
    if (item.is_constraint) continue;
    const sql::ColumnDef& d = item.column;
    if (!added.insert(d.name.text).second) return OraError(ora::kDuplicateColumnName);
    if (t.FindColumn(d.name.text) != nullptr) return OraError(ora::kColumnAlreadyExists);
    ColumnInfo c;
    c.intcol = ++next_intcol;
    c.column_id = ++next_id;
    c.name = d.name.text;
    if (d.has_type) c.type = WithDefaults(d.type);
    c.data_default = d.default_text;
    c.default_on_null = d.default_on_null;
    if (d.virtual_expr) {
      c.is_virtual = true;
      c.virtual_expr = sql::ExprToText(*d.virtual_expr);
      c.data_default = c.virtual_expr;
      TypeDesc inferred;
      TABDB_RETURN_IF_ERROR(infer_type(s, t, *d.virtual_expr, &inferred));
      if (!d.has_type) c.type = WithDefaults(inferred);
      if (IsLob(c.type.kind) || IsLong(c.type.kind))
        return OraError(ora::kVirtualColumnTypeNotSupported);
    } else if (IsLong(c.type.kind) && ++longs > 1) {
      return OraError(ora::kOneLongColumn);
    }
    bool not_null = false;
    for (const sql::Constraint& k : d.constraints)
      not_null = not_null || k.kind == sql::ConstraintKind::kNotNull;
    if (d.identity) {
      if (identity) return OraError(ora::kOneIdentityColumn);
      identity = true;
      TABDB_RETURN_IF_ERROR(MakeIdentity(s, *d.identity, &t, &c));
    } else if (not_null && has_rows && c.data_default.empty() && !c.is_virtual) {
      return OraError(ora::kMandatoryColumnNeedsEmpty);
    }
    if (c.stored())
      TABDB_RETURN_IF_ERROR(s.db().Exec("ALTER TABLE " + t.phys + " ADD COLUMN " + c.phys()));
    TABDB_RETURN_IF_ERROR(InsertColumn(s, t.obj_id, c));
    t.columns.push_back(c);
    // Rows already there take the new column's default (or identity).
    if (has_rows && c.identity) {
      TABDB_RETURN_IF_ERROR(FillIdentity(s, t, c));
    } else if (has_rows && !c.data_default.empty() && c.stored() && g_fill_column.load() != nullptr) {
      TABDB_RETURN_IF_ERROR(g_fill_column.load()(s, t, c));
    }
    for (const sql::Constraint& k : d.constraints) {
      if (k.kind == sql::ConstraintKind::kNull) continue;
      if (k.kind == sql::ConstraintKind::kNotNull) {
        TABDB_RETURN_IF_ERROR(AddNotNull(s, t, c.intcol, k));
      } else {
        TABDB_RETURN_IF_ERROR(AddConstraint(s, t, ColumnConstraint(d, k), false));
      }
    }
    if ((d.identity || d.default_on_null) && !not_null)
      TABDB_RETURN_IF_ERROR(AddNotNull(s, t, c.intcol, sql::Constraint()));
    TABDB_RETURN_IF_ERROR(LoadTableById(s, t.obj_id, &t));
  }
  for (const sql::AlterItem& item : at.items)
    if (item.is_constraint) TABDB_RETURN_IF_ERROR(AddConstraint(s, t, item.constraint, false));
  return Status::Ok();
}

// Whether the new type only widens the old one, so that any stored value
// still fits; *check_length: a shorter character length, allowed when no
// value is longer.
bool Widens(const TypeDesc& from, const TypeDesc& to, bool* check_length) {
  *check_length = false;
  auto chars = [](TypeKind k) { return k == TypeKind::kChar || k == TypeKind::kVarchar2; };
  auto nchars = [](TypeKind k) { return k == TypeKind::kNChar || k == TypeKind::kNVarchar2; };
  if (from.kind != to.kind) {
    // CHAR and VARCHAR2 (or their national forms) change into each other
    // when the values fit.
    *check_length = true;
    return (chars(from.kind) && chars(to.kind)) || (nchars(from.kind) && nchars(to.kind));
  }
  switch (to.kind) {
    case TypeKind::kVarchar2:
    case TypeKind::kNVarchar2:
    case TypeKind::kRaw:
      *check_length = to.length < from.length || to.char_semantics != from.char_semantics;
      return true;
    case TypeKind::kNumber: {
      if (to.precision == kUnset) return to.scale == kUnset || to.scale >= from.scale;
      if (from.precision == kUnset) return false;
      int from_scale = from.scale == kUnset ? 0 : from.scale;
      int to_scale = to.scale == kUnset ? 0 : to.scale;
      return to_scale >= from_scale && to.precision - to_scale >= from.precision - from_scale;
    }
    case TypeKind::kChar:
    case TypeKind::kNChar:
      *check_length = to.length < from.length || to.char_semantics != from.char_semantics;
      return true;
    case TypeKind::kTimestamp:
    case TypeKind::kTimestampTZ:
    case TypeKind::kTimestampLTZ:
      return to.precision >= from.precision;
    default:
      return true;
  }
}

// MODIFY (c [NOT] NULL): the NOT NULL constraint added (ORA-02296 over
// NULLs, ORA-01442 when there is one) or dropped (ORA-01451 without one).
Status ModifyNullability(Session& s, const TableInfo& t, const ColumnInfo& c,
                         const sql::Constraint& k) {
  if (k.kind == sql::ConstraintKind::kNotNull) {
    if (!c.nullable) return OraError(ora::kAlreadyNotNull);
    bool nulls = false;
    TABDB_RETURN_IF_ERROR(AnyRow(s, t, c.phys() + " IS NULL", &nulls));
    if (nulls) return OraError(ora::kNullValuesFound, {t.owner, k.has_name ? k.name.text : ""});
    return AddNotNull(s, t, c.intcol, k);
  }
  if (k.kind != sql::ConstraintKind::kNull) return AddConstraint(s, t, k, false);
  std::vector<ConstraintRec> cons;
  TABDB_RETURN_IF_ERROR(LoadConstraints(s, t.obj_id, &cons));
  bool found = false;
  for (const ConstraintRec& r : cons) {
    if (!r.not_null || r.intcols.empty() || r.intcols[0] != c.intcol) continue;
    found = true;
    std::string id = std::to_string(r.cons_id);
    TABDB_RETURN_IF_ERROR(s.db().Exec("DELETE FROM tab$cons_columns WHERE cons_id = " + id +
                                      "; DELETE FROM tab$constraints WHERE cons_id = " + id));
  }
  // A primary key column stays NOT NULL.
  for (const ConstraintRec& r : cons)
    if (r.type == "P" && std::count(r.intcols.begin(), r.intcols.end(), c.intcol))
      return OraError(ora::kCannotModifyToNull);
  if (!found) return OraError(ora::kCannotModifyToNull);
  return s.db().Exec("UPDATE tab$columns SET nullable = 'Y', not_null_cons = NULL WHERE obj_id = " +
                     std::to_string(t.obj_id) + " AND intcol = " + std::to_string(c.intcol));
}

Status ModifyColumns(Session& s, TableInfo& t, const sql::AlterTable& at) {
  for (const sql::AlterItem& item : at.items) {
    const sql::ColumnDef& d = item.column;
    const ColumnInfo* found = nullptr;
    TABDB_RETURN_IF_ERROR(ColumnOf(t, d.name, &found));
    ColumnInfo c = *found;
    if (d.has_type) {
      TypeDesc to = WithDefaults(d.type);
      if (c.identity && to.kind != TypeKind::kNumber && to.kind != TypeKind::kFloat)
        return OraError(ora::kIdentityNotNumeric);
      bool values = false;
      TABDB_RETURN_IF_ERROR(AnyRow(s, t, c.phys() + " IS NOT NULL", &values));
      bool check_length = false;
      if (values && !Widens(c.type, to, &check_length)) {
        if (c.type.kind != to.kind) return OraError(ora::kColumnMustBeEmpty);
        return OraError(c.type.kind == TypeKind::kNumber ? ora::kMustBeEmptyToDecrease
                                                         : ora::kColumnMustBeEmpty);
      }
      // Characters in UTF-8 text, bytes of the text, or RAW bytes.
      bool in_chars = to.char_semantics || to.kind == TypeKind::kNVarchar2 ||
                      to.kind == TypeKind::kNChar;
      std::string len = in_chars ? "length(" + c.phys() + ")"
                                 : "length(CAST(" + c.phys() + " AS BLOB))";
      if (values && check_length) {
        bool longer = false;
        TABDB_RETURN_IF_ERROR(AnyRow(s, t, len + " > " + std::to_string(to.length), &longer));
        if (longer) return OraError(ora::kCannotDecreaseLength);
      }
      if (values && (to.kind == TypeKind::kChar || to.kind == TypeKind::kNChar)) {
        // CHAR values are blank-padded to the new length.
        std::string n = std::to_string(to.length);
        TABDB_RETURN_IF_ERROR(s.db().Exec(
            "UPDATE " + t.phys + " SET " + c.phys() + " = " + c.phys() + " || substr('" +
            std::string(static_cast<size_t>(to.length), ' ') + "', 1, " + n + " - " + len +
            ") WHERE " + c.phys() + " IS NOT NULL AND " + len + " < " + n));
      }
      c.type = to;
    }
    if (d.has_default) {
      c.data_default = d.default_text;
      c.default_on_null = d.default_on_null;
    }
    if (d.has_type || d.has_default) {
      std::string key = " WHERE obj_id = " + std::to_string(t.obj_id) +
                        " AND intcol = " + std::to_string(c.intcol);
      TABDB_RETURN_IF_ERROR(s.db().Exec("DELETE FROM tab$columns" + key));
      TABDB_RETURN_IF_ERROR(InsertColumn(s, t.obj_id, c));
    }
    // DEFAULT ON NULL makes the column NOT NULL (ORA-02296 when rows hold NULL).
    if (d.default_on_null && c.nullable) {
      sql::Constraint nn;
      nn.kind = sql::ConstraintKind::kNotNull;
      TABDB_RETURN_IF_ERROR(LoadTableById(s, t.obj_id, &t));
      TABDB_RETURN_IF_ERROR(ModifyNullability(s, t, *t.FindColumn(c.name), nn));
    }
    if (d.identity || d.drop_identity) TABDB_RETURN_IF_ERROR(ModifyIdentity(s, t, c, d));
    for (const sql::Constraint& k : d.constraints) {
      TABDB_RETURN_IF_ERROR(LoadTableById(s, t.obj_id, &t));
      const ColumnInfo* now = t.FindColumn(c.name);
      sql::Constraint keyed = ColumnConstraint(d, k);
      TABDB_RETURN_IF_ERROR(ModifyNullability(s, t, *now, keyed));
    }
    TABDB_RETURN_IF_ERROR(LoadTableById(s, t.obj_id, &t));
  }
  return Status::Ok();
}

Status DeleteConstraint(Session& s, const TableInfo& t, const ConstraintRec& r) {
  std::string id = std::to_string(r.cons_id);
  TABDB_RETURN_IF_ERROR(s.db().Exec("DELETE FROM tab$cons_columns WHERE cons_id = " + id +
                                    "; DELETE FROM tab$constraints WHERE cons_id = " + id));
  if (r.index_obj && !r.preexisting) return RemoveIndex(s, r.index_obj, t.obj_id);
  return Status::Ok();
}

Status DropColumns(Session& s, TableInfo& t, const sql::AlterTable& at) {
  if (at.columns.empty()) return Status::Ok();  // DROP UNUSED COLUMNS
  std::set<int> drop;
  for (const sql::Name& n : at.columns) {
    const ColumnInfo* c = nullptr;
    TABDB_RETURN_IF_ERROR(ColumnOf(t, n, &c));
    drop.insert(c->intcol);
    TABDB_RETURN_IF_ERROR(CheckNotPartitionKey(s, t.obj_id, c->intcol));
  }
  size_t visible = 0;
  for (const ColumnInfo& c : t.columns) visible += c.hidden ? 0 : 1;
  if (drop.size() >= visible) return OraError(ora::kCannotDropAllColumns);
  auto touches = [&](const std::vector<int>& cols) {
    for (int i : cols)
      if (drop.count(i)) return true;
    return false;
  };
  // Constraints on a dropped column go with it; one that also covers a
  // column that stays needs CASCADE CONSTRAINTS.
  std::vector<ConstraintRec> cons;
  TABDB_RETURN_IF_ERROR(LoadConstraints(s, t.obj_id, &cons));
  for (const ConstraintRec& r : cons) {
    if (!touches(r.intcols)) continue;
    bool others = false;
    for (int i : r.intcols) others = others || !drop.count(i);
    if (others && !at.cascade_constraints) return OraError(ora::kMultiColumnConstraint);
  }
  for (const ConstraintRec& r : cons) {
    if (!touches(r.intcols)) continue;
    // Foreign keys that reference a dropped key go with CASCADE CONSTRAINTS.
    std::vector<std::pair<int64_t, std::string>> refs;
    TABDB_RETURN_IF_ERROR(ReadPairs(
        s, "SELECT cons_id FROM tab$constraints WHERE r_cons_id = ?1 AND cons_id <> ?1", r.cons_id,
        &refs));
    if (!refs.empty() && !at.cascade_constraints) return OraError(ora::kDropParentKeyColumn);
    for (const auto& ref : refs) {
      std::string id = std::to_string(ref.first);
      TABDB_RETURN_IF_ERROR(s.db().Exec("DELETE FROM tab$cons_columns WHERE cons_id = " + id +
                                        "; DELETE FROM tab$constraints WHERE cons_id = " + id));
    }
    TABDB_RETURN_IF_ERROR(DeleteConstraint(s, t, r));
  }
  // Indexes with a dropped key column go too.
  std::vector<IndexRec> idx;
  TABDB_RETURN_IF_ERROR(LoadTableIndexes(s, t.obj_id, &idx));
  for (const IndexRec& r : idx) {
    std::vector<int> keys;
    for (const IndexKeyRec& k : r.keys) keys.push_back(k.intcol);
    if (touches(keys)) TABDB_RETURN_IF_ERROR(RemoveIndex(s, r.obj_id, t.obj_id));
  }
  for (int intcol : drop) {
    const ColumnInfo* c = nullptr;
    for (const ColumnInfo& x : t.columns)
      if (x.intcol == intcol) c = &x;
    if (c->stored() && (IsLob(c->type.kind) || IsLong(c->type.kind))) {
      std::string ids = "SELECT " + c->phys() + " FROM " + t.phys + " WHERE " + c->phys() +
                        " IS NOT NULL";
      TABDB_RETURN_IF_ERROR(s.db().Exec("DELETE FROM tab$lobdata WHERE lob_id IN (" + ids + ")"));
      TABDB_RETURN_IF_ERROR(s.db().Exec("DELETE FROM tab$lob WHERE lob_id IN (" + ids + ")"));
    }
    if (c->identity && c->identity_seq) TABDB_RETURN_IF_ERROR(DropSequenceRows(s, c->identity_seq));
    if (c->stored())
      TABDB_RETURN_IF_ERROR(s.db().Exec("ALTER TABLE " + t.phys + " DROP COLUMN " + c->phys()));
    std::string tab = std::to_string(t.obj_id);
    TABDB_RETURN_IF_ERROR(s.db().Exec(
        "DELETE FROM tab$columns WHERE obj_id = " + tab + " AND intcol = " + std::to_string(intcol) +
        "; UPDATE tab$columns SET column_id = column_id - 1 WHERE obj_id = " + tab +
        " AND column_id > " + std::to_string(c->column_id)));
    TABDB_RETURN_IF_ERROR(DropComments(s, t.obj_id, intcol));
    TABDB_RETURN_IF_ERROR(LoadTableById(s, t.obj_id, &t));
  }
  return Status::Ok();
}

Status RenameColumn(Session& s, const TableInfo& t, const sql::AlterTable& at) {
  const ColumnInfo* c = nullptr;
  TABDB_RETURN_IF_ERROR(ColumnOf(t, at.columns[0], &c));
  const std::string& to = at.new_name.text;
  if (t.FindColumn(to) != nullptr) return OraError(ora::kDuplicateColumnName);
  std::string from = c->name;
  std::string tab = std::to_string(t.obj_id);
  sqlite3_stmt* u = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "UPDATE tab$columns SET name = ?3 WHERE obj_id = ?1 AND intcol = ?2", &u));
  sqlite3_bind_int64(u, 1, t.obj_id);
  sqlite3_bind_int(u, 2, c->intcol);
  sqlite3_bind_text(u, 3, to.c_str(), -1, SQLITE_TRANSIENT);
  TABDB_RETURN_IF_ERROR(s.db().Run(u));
  // Texts that name the column follow: check conditions, expressions of
  // virtual columns and of function-based index keys.
  struct TextColumn {
    const char* select;
    const char* update;
  };
  const TextColumn kTexts[] = {
      {"SELECT cons_id, search_condition FROM tab$constraints WHERE table_obj = ?1"
       " AND search_condition IS NOT NULL",
       "UPDATE tab$constraints SET search_condition = ?2 WHERE cons_id = ?1"},
      {"SELECT intcol, virtual_expr FROM tab$columns WHERE obj_id = ?1 AND virtual_expr IS NOT NULL",
       "UPDATE tab$columns SET virtual_expr = ?2, data_default = CASE hidden WHEN 'NO' THEN ?2"
       " ELSE data_default END WHERE intcol = ?1 AND obj_id = ?3"},
      // An index has at most 32 keys: index and position in one number.
      {"SELECT ic.index_obj * 64 + ic.position, ic.expr FROM tab$ind_columns ic JOIN tab$indexes i"
       " ON i.obj_id = ic.index_obj WHERE i.table_obj = ?1 AND ic.expr IS NOT NULL",
       "UPDATE tab$ind_columns SET expr = ?2 WHERE index_obj = ?1 / 64 AND position = ?1 % 64"},
  };
  for (const TextColumn& tc : kTexts) {
    std::vector<std::pair<int64_t, std::string>> rows;
    TABDB_RETURN_IF_ERROR(ReadPairs(s, tc.select, t.obj_id, &rows));
    for (auto& r : rows) {
      std::string text;
      TABDB_RETURN_IF_ERROR(RenameInText(r.second, from, to, &text));
      if (text == r.second) continue;
      TABDB_RETURN_IF_ERROR(s.db().Cached(tc.update, &u));
      sqlite3_bind_int64(u, 1, r.first);
      sqlite3_bind_text(u, 2, text.c_str(), -1, SQLITE_TRANSIENT);
      if (sqlite3_bind_parameter_count(u) >= 3) sqlite3_bind_int64(u, 3, t.obj_id);
      TABDB_RETURN_IF_ERROR(s.db().Run(u));
    }
  }
  return Status::Ok();
}

// Renames a schema object; its indexes, constraints and grants refer to
// it by object id and follow.
Status RenameObject(Session& s, const std::string& owner, int64_t obj, const std::string& to) {
  int64_t existing = 0;
  TABDB_RETURN_IF_ERROR(FindObject(s, owner, to, &existing, nullptr));
  if (existing) return OraError(ora::kNameAlreadyUsed);
  sqlite3_stmt* u = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached("UPDATE tab$objects SET name = ?2 WHERE obj_id = ?1", &u));
  sqlite3_bind_int64(u, 1, obj);
  sqlite3_bind_text(u, 2, to.c_str(), -1, SQLITE_TRANSIENT);
  return s.db().Run(u);
}

}  // namespace

sql::Constraint ColumnConstraint(const sql::ColumnDef& d, const sql::Constraint& c) {
  sql::Constraint copy = c;
  copy.columns = {d.name};
  return copy;
}

Status AlterTableColumnsDdl(Session& s, const sql::AlterTable& at, ExprTypeFn infer_type) {
  std::string owner, name;
  SplitName(s, at.table, &owner, &name);
  TABDB_RETURN_IF_ERROR(CheckSchemaWrite(s, owner));
  TableInfo t;
  TABDB_RETURN_IF_ERROR(LoadTable(s, owner, name, &t));
  switch (at.action) {
    case sql::AlterAction::kAddItems:
      return AddColumns(s, t, at, infer_type);
    case sql::AlterAction::kModifyColumns:
      return ModifyColumns(s, t, at);
    case sql::AlterAction::kDropColumns:
      return DropColumns(s, t, at);
    case sql::AlterAction::kRenameColumn:
      return RenameColumn(s, t, at);
    case sql::AlterAction::kRenameTable:
      return RenameObject(s, owner, t.obj_id, at.new_name.text);
    default:
      return OraError(ora::kInvalidAlterTableOption);
  }
}

Status RenameDdl(Session& s, const sql::RenameStmt& r) {
  std::string owner = s.current_schema();
  TABDB_RETURN_IF_ERROR(CheckSchemaWrite(s, owner));
  int64_t obj = 0;
  std::string type;
  TABDB_RETURN_IF_ERROR(FindObject(s, owner, r.from.text, &obj, &type));
  bool renamable = type == "TABLE" || type == "VIEW" || type == "SEQUENCE" || type == "SYNONYM";
  if (obj == 0 || !renamable) return OraError(ora::kObjectDoesNotExist, {r.from.text});
  // An identity column's sequence keeps the name its column refers to.
  std::vector<std::pair<int64_t, std::string>> generated;
  TABDB_RETURN_IF_ERROR(ReadPairs(
      s, "SELECT obj_id FROM tab$sequences WHERE obj_id = ?1 AND generated <> 0", obj, &generated));
  if (!generated.empty()) return OraError(ora::kSequenceSystemAlter);
  return RenameObject(s, owner, obj, r.to.text);
}

}  // namespace cat
}  // namespace tabdb

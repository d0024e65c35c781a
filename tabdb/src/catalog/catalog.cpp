// catalog.cpp - reading users, tables, indexes and constraints from the
// catalog tables, name resolution, and the transaction frame every DDL
// statement runs in.
#include <algorithm>
#include <cstdio>

#include "catalog/catalog_internal.h"
#include "catalog/code_units.h"
#include "catalog/mview.h"
#include "catalog/sequence.h"
#include "storage/sqlite_util.h"
#include "util/errors.h"

namespace tabdb {

// ---- TableInfo ----------------------------------------------------------

const ColumnInfo* TableInfo::FindColumn(const std::string& name) const {
  for (const ColumnInfo& c : columns)
    if (c.name == name) return &c;
  return nullptr;
}

std::vector<const ColumnInfo*> TableInfo::InsertColumns() const {
  std::vector<const ColumnInfo*> out;
  for (const ColumnInfo& c : columns)
    if (!c.hidden && c.stored()) out.push_back(&c);
  std::stable_sort(out.begin(), out.end(), [](const ColumnInfo* a, const ColumnInfo* b) {
    return a->column_id < b->column_id;
  });
  return out;
}

namespace cat {

std::string Quote(const std::string& name) {
  std::string out = "\"";
  for (char ch : name) {
    if (ch == '"') out += '"';
    out += ch;
  }
  return out + "\"";
}

std::string SqlString(const std::string& text) {
  std::string out = "'";
  for (char ch : text) {
    if (ch == '\'') out += '\'';
    out += ch;
  }
  return out + "'";
}

void SplitName(Session& s, const sql::NameList& name, std::string* owner, std::string* object) {
  if (name.size() >= 2) {
    *owner = name[name.size() - 2].text;
    *object = name.back().text;
  } else {
    *owner = s.current_schema();
    *object = name.empty() ? std::string() : name.back().text;
  }
}

Status CheckSchemaWrite(Session& s, const std::string& owner) {
  if (owner != s.user().name && !s.user().dba) return OraError(ora::kInsufficientPrivileges);
  if (owner == s.user().name) return Status::Ok();
  UserInfo u;
  bool found = false;
  TABDB_RETURN_IF_ERROR(FindUser(s, owner, &u, &found));
  if (!found) return OraError(ora::kUserDoesNotExist, {owner});
  return Status::Ok();
}

namespace {

Status FindInNamespace(Session& s, const std::string& owner, const std::string& name, bool index,
                       int64_t* obj_id, std::string* type) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      index ? "SELECT obj_id, type FROM tab$objects WHERE owner = ?1 AND name = ?2 AND type = 'INDEX'"
            : "SELECT obj_id, type FROM tab$objects WHERE owner = ?1 AND name = ?2 AND type <> 'INDEX'",
      &q));
  sqlite3_bind_text(q, 1, owner.data(), static_cast<int>(owner.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(q, 2, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
  bool row = false;
  TABDB_RETURN_IF_ERROR(s.db().Step(q, &row));
  *obj_id = row ? sqlite3_column_int64(q, 0) : 0;
  if (type) {
    const unsigned char* t = row ? sqlite3_column_text(q, 1) : nullptr;
    *type = t ? reinterpret_cast<const char*>(t) : "";
  }
  sqlite3_reset(q);
  return Status::Ok();
}

}  // namespace

Status FindObject(Session& s, const std::string& owner, const std::string& name,
                  int64_t* obj_id, std::string* type) {
  return FindInNamespace(s, owner, name, false, obj_id, type);
}

Status FindIndex(Session& s, const std::string& owner, const std::string& name, int64_t* obj_id) {
  return FindInNamespace(s, owner, name, true, obj_id, nullptr);
}

Status FindObjectOfType(Session& s, const std::string& owner, const std::string& name,
                        const std::string& want, int64_t* obj_id, std::string* type) {
  return FindInNamespace(s, owner, name, want == "INDEX", obj_id, type);
}

Status AddObject(Session& s, const std::string& owner, const std::string& name,
                 const char* type, int64_t* obj_id) {
  int64_t existing = 0;
  TABDB_RETURN_IF_ERROR(FindInNamespace(s, owner, name, std::string(type) == "INDEX", &existing, nullptr));
  if (existing) return OraError(ora::kNameAlreadyUsed);
  TABDB_RETURN_IF_ERROR(s.db().NextId("next_obj", obj_id));
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "INSERT INTO tab$objects(obj_id, owner, name, type, created)"
      " VALUES(?1, ?2, ?3, ?4, julianday('now'))",
      &q));
  sqlite3_bind_int64(q, 1, *obj_id);
  sqlite3_bind_text(q, 2, owner.data(), static_cast<int>(owner.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(q, 3, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(q, 4, type, -1, SQLITE_STATIC);
  return s.db().Run(q);
}

Status ConstraintExists(Session& s, const std::string& owner, const std::string& name,
                        bool* exists) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(
      s.db().Cached("SELECT 1 FROM tab$constraints WHERE owner = ?1 AND name = ?2", &q));
  sqlite3_bind_text(q, 1, owner.data(), static_cast<int>(owner.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(q, 2, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
  TABDB_RETURN_IF_ERROR(s.db().Step(q, exists));
  sqlite3_reset(q);
  return Status::Ok();
}

Status NewConstraintName(Session& s, const std::string& owner, std::string* out) {
  // Names the user gave may collide with the counter; skip those.
  for (int attempt = 0; attempt < 1000000; ++attempt) {
    int64_t n = 0;
    TABDB_RETURN_IF_ERROR(s.db().NextId("next_cons", &n));
    char buf[32];
    std::snprintf(buf, sizeof buf, "SYS_C%06lld", static_cast<long long>(n));
    bool used = false;
    TABDB_RETURN_IF_ERROR(ConstraintExists(s, owner, buf, &used));
    int64_t obj = 0;
    // A key's index takes its constraint's name.
    if (!used) TABDB_RETURN_IF_ERROR(FindIndex(s, owner, buf, &obj));
    if (!used && obj == 0) {
      *out = buf;
      return Status::Ok();
    }
  }
  return OraError(ora::kInternalError, {"no free system constraint name"});
}

bool SegmentExists(const sql::SegmentAttributes& table_attrs, bool has_rows) {
  return table_attrs.segment_creation == 1 || has_rows;
}

// ---- loading ------------------------------------------------------------

namespace {

int IntOr(sqlite3_stmt* q, int col, int unset) {
  return sqlite3_column_type(q, col) == SQLITE_NULL ? unset : sqlite3_column_int(q, col);
}

std::string TextAt(sqlite3_stmt* q, int col) {
  const unsigned char* p = sqlite3_column_text(q, col);
  return p ? std::string(reinterpret_cast<const char*>(p),
                         static_cast<size_t>(sqlite3_column_bytes(q, col)))
           : std::string();
}

Status LoadColumns(Session& s, TableInfo* t) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "SELECT intcol, name, column_id, kind, length, char_sem, prec, scale, nullable,"
      " not_null_cons, data_default, hidden, virtual, virtual_expr, ident_kind, ident_seq,"
      " ident_start, default_on_null FROM tab$columns WHERE obj_id = ?1 ORDER BY intcol",
      &q));
  sqlite3_bind_int64(q, 1, t->obj_id);
  t->columns.clear();
  while (true) {
    bool row = false;
    TABDB_RETURN_IF_ERROR(s.db().Step(q, &row));
    if (!row) break;
    ColumnInfo c;
    c.intcol = sqlite3_column_int(q, 0);
    c.name = TextAt(q, 1);
    c.column_id = IntOr(q, 2, 0);
    c.type.kind = static_cast<TypeKind>(sqlite3_column_int(q, 3));
    c.type.length = IntOr(q, 4, kUnset);
    c.type.char_semantics = sqlite3_column_int(q, 5) != 0;
    c.type.precision = IntOr(q, 6, kUnset);
    c.type.scale = IntOr(q, 7, kUnset);
    c.nullable = TextAt(q, 8) != "N";
    c.not_null_name = TextAt(q, 9);
    c.data_default = TextAt(q, 10);
    c.hidden = TextAt(q, 11) == "YES";
    c.is_virtual = TextAt(q, 12) == "YES";
    c.virtual_expr = TextAt(q, 13);
    c.identity = sqlite3_column_int(q, 14);
    c.identity_seq = sqlite3_column_int64(q, 15);
    c.identity_start = sqlite3_column_int64(q, 16);
    c.default_on_null = sqlite3_column_int(q, 17) != 0;
    t->columns.push_back(std::move(c));
  }
  sqlite3_reset(q);
  return Status::Ok();
}

Status ReadIndexRow(Session& s, sqlite3_stmt* q, IndexRec* r) {
  r->obj_id = sqlite3_column_int64(q, 0);
  r->owner = TextAt(q, 1);
  r->name = TextAt(q, 2);
  r->table_obj = sqlite3_column_int64(q, 3);
  r->unique = TextAt(q, 4) == "UNIQUE";
  r->index_type = TextAt(q, 5);
  std::string attrs = TextAt(q, 6);
  r->reverse = sqlite3_column_int(q, 7) != 0;
  r->phys = TextAt(q, 8);
  r->generated = TextAt(q, 9) == "Y";
  return SegmentAttributesFromJson(s.db(), attrs, &r->attrs);
}

Status LoadIndexKeys(Session& s, IndexRec* r) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "SELECT intcol, descend, expr FROM tab$ind_columns WHERE index_obj = ?1 ORDER BY position",
      &q));
  sqlite3_bind_int64(q, 1, r->obj_id);
  r->keys.clear();
  while (true) {
    bool row = false;
    TABDB_RETURN_IF_ERROR(s.db().Step(q, &row));
    if (!row) break;
    IndexKeyRec k;
    k.intcol = sqlite3_column_int(q, 0);
    k.desc = TextAt(q, 1) == "DESC";
    k.expr = TextAt(q, 2);
    r->keys.push_back(std::move(k));
  }
  sqlite3_reset(q);
  return Status::Ok();
}

constexpr const char* kIndexColumns =
    "SELECT i.obj_id, o.owner, o.name, i.table_obj, i.uniqueness, i.index_type, i.attrs,"
    " i.reverse, i.phys, i.generated FROM tab$indexes i JOIN tab$objects o ON o.obj_id = i.obj_id";

Status ReadConstraintRow(sqlite3_stmt* q, ConstraintRec* r) {
  r->cons_id = sqlite3_column_int64(q, 0);
  r->owner = TextAt(q, 1);
  r->name = TextAt(q, 2);
  r->table_obj = sqlite3_column_int64(q, 3);
  r->type = TextAt(q, 4);
  r->index_obj = sqlite3_column_type(q, 5) == SQLITE_NULL ? 0 : sqlite3_column_int64(q, 5);
  r->preexisting = sqlite3_column_int(q, 6) != 0;
  r->generated = TextAt(q, 7) == "GENERATED NAME";
  r->enabled = TextAt(q, 8) == "ENABLED";
  r->search_condition = TextAt(q, 9);
  r->not_null = sqlite3_column_int(q, 10) != 0;
  r->r_cons_id = sqlite3_column_type(q, 11) == SQLITE_NULL ? 0 : sqlite3_column_int64(q, 11);
  r->delete_rule = TextAt(q, 12);
  r->deferrable = sqlite3_column_int(q, 13) != 0;
  r->deferred = sqlite3_column_int(q, 14) != 0;
  r->validated = sqlite3_column_int(q, 15) != 0;
  return Status::Ok();
}

constexpr const char* kConstraintColumns =
    "SELECT cons_id, owner, name, table_obj, type, index_obj, index_preexisting, generated,"
    " status, search_condition, not_null, r_cons_id, delete_rule, is_deferrable, is_deferred,"
    " validated FROM tab$constraints";

Status LoadConsColumns(Session& s, ConstraintRec* r) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "SELECT intcol FROM tab$cons_columns WHERE cons_id = ?1 ORDER BY position", &q));
  sqlite3_bind_int64(q, 1, r->cons_id);
  r->intcols.clear();
  while (true) {
    bool row = false;
    TABDB_RETURN_IF_ERROR(s.db().Step(q, &row));
    if (!row) break;
    r->intcols.push_back(sqlite3_column_int(q, 0));
  }
  sqlite3_reset(q);
  return Status::Ok();
}

}  // namespace

Status LoadTableById(Session& s, int64_t obj_id, TableInfo* out) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "SELECT o.owner, o.name, t.phys, t.has_rows, t.temp_rows FROM tab$objects o"
      " JOIN tab$tables t ON t.obj_id = o.obj_id WHERE o.obj_id = ?1",
      &q));
  sqlite3_bind_int64(q, 1, obj_id);
  bool row = false;
  TABDB_RETURN_IF_ERROR(s.db().Step(q, &row));
  if (!row) return OraError(ora::kTableNotExist);
  TableInfo t;
  t.obj_id = obj_id;
  t.owner = TextAt(q, 0);
  t.name = TextAt(q, 1);
  t.phys = TextAt(q, 2);
  t.has_rows = sqlite3_column_int(q, 3) != 0;
  t.temp_rows = TextAt(q, 4);
  sqlite3_reset(q);
  TABDB_RETURN_IF_ERROR(LoadColumns(s, &t));
  if (!t.temp_rows.empty()) {
    // A global temporary table's rows are the session's own: a TEMP table
    // of its connection, made when the session first uses the table.
    std::string cols;
    for (const ColumnInfo& c : t.columns)
      if (c.stored()) cols += (cols.empty() ? "" : ", ") + c.phys();
    TABDB_RETURN_IF_ERROR(s.db().Exec("CREATE TEMP TABLE IF NOT EXISTS " + t.phys + "(" + cols + ")"));
  }
  *out = std::move(t);
  return Status::Ok();
}

Status LoadIndex(Session& s, int64_t obj_id, IndexRec* out) {
  static const std::string sql = std::string(kIndexColumns) + " WHERE i.obj_id = ?1";
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(sql.c_str(), &q));
  sqlite3_bind_int64(q, 1, obj_id);
  bool row = false;
  TABDB_RETURN_IF_ERROR(s.db().Step(q, &row));
  if (!row) return OraError(ora::kIndexNotExist);
  Status st = ReadIndexRow(s, q, out);
  sqlite3_reset(q);
  TABDB_RETURN_IF_ERROR(st);
  return LoadIndexKeys(s, out);
}

Status LoadTableIndexes(Session& s, int64_t table_obj, std::vector<IndexRec>* out) {
  static const std::string sql =
      std::string(kIndexColumns) + " WHERE i.table_obj = ?1 ORDER BY i.obj_id";
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(sql.c_str(), &q));
  sqlite3_bind_int64(q, 1, table_obj);
  out->clear();
  while (true) {
    bool row = false;
    TABDB_RETURN_IF_ERROR(s.db().Step(q, &row));
    if (!row) break;
    IndexRec r;
    Status st = ReadIndexRow(s, q, &r);
    if (!st.ok()) {
      sqlite3_reset(q);
      return st;
    }
    out->push_back(std::move(r));
  }
  sqlite3_reset(q);
  for (IndexRec& r : *out) TABDB_RETURN_IF_ERROR(LoadIndexKeys(s, &r));
  return Status::Ok();
}

Status LoadConstraints(Session& s, int64_t table_obj, std::vector<ConstraintRec>* out) {
  static const std::string sql =
      std::string(kConstraintColumns) + " WHERE table_obj = ?1 ORDER BY cons_id";
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(sql.c_str(), &q));
  sqlite3_bind_int64(q, 1, table_obj);
  out->clear();
  while (true) {
    bool row = false;
    TABDB_RETURN_IF_ERROR(s.db().Step(q, &row));
    if (!row) break;
    ConstraintRec r;
    Status rs = ReadConstraintRow(q, &r);
    if (!rs.ok()) {
      sqlite3_reset(q);
      return rs;
    }
    out->push_back(std::move(r));
  }
  sqlite3_reset(q);
  for (ConstraintRec& r : *out) TABDB_RETURN_IF_ERROR(LoadConsColumns(s, &r));
  return Status::Ok();
}

Status FindConstraint(Session& s, const std::string& owner, const std::string& name,
                      ConstraintRec* out, bool* found) {
  static const std::string sql =
      std::string(kConstraintColumns) + " WHERE owner = ?1 AND name = ?2";
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(sql.c_str(), &q));
  sqlite3_bind_text(q, 1, owner.data(), static_cast<int>(owner.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(q, 2, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
  TABDB_RETURN_IF_ERROR(s.db().Step(q, found));
  Status rs = *found ? ReadConstraintRow(q, out) : Status::Ok();
  sqlite3_reset(q);
  TABDB_RETURN_IF_ERROR(rs);
  if (!*found) return Status::Ok();
  return LoadConsColumns(s, out);
}

Status LoadTableAttrs(Session& s, int64_t table_obj, sql::SegmentAttributes* attrs,
                      std::vector<LobAttr>* lobs) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(
      s.db().Cached("SELECT attrs, lob_attrs FROM tab$tables WHERE obj_id = ?1", &q));
  sqlite3_bind_int64(q, 1, table_obj);
  bool row = false;
  TABDB_RETURN_IF_ERROR(s.db().Step(q, &row));
  std::string a = row ? TextAt(q, 0) : std::string();
  std::string l = row ? TextAt(q, 1) : std::string();
  sqlite3_reset(q);
  TABDB_RETURN_IF_ERROR(SegmentAttributesFromJson(s.db(), a, attrs));
  if (lobs) TABDB_RETURN_IF_ERROR(LobAttrsFromJson(s.db(), l, lobs));
  return Status::Ok();
}

}  // namespace cat

// ---- public lookups -------------------------------------------------------

Status FindUser(Session& s, const std::string& name, UserInfo* out, bool* found) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(
      s.db().Cached("SELECT user_id, name, is_dba FROM tab$users WHERE name = ?1", &q));
  sqlite3_bind_text(q, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
  TABDB_RETURN_IF_ERROR(s.db().Step(q, found));
  if (*found) {
    out->user_id = sqlite3_column_int64(q, 0);
    out->name = cat::TextAt(q, 1);
    out->dba = sqlite3_column_int(q, 2) != 0;
  }
  sqlite3_reset(q);
  return Status::Ok();
}

Status LoadTable(Session& s, const std::string& owner, const std::string& name, TableInfo* out) {
  int64_t obj = 0;
  std::string type;
  TABDB_RETURN_IF_ERROR(cat::FindObject(s, owner, name, &obj, &type));
  if (obj == 0 || type != "TABLE") return OraError(ora::kTableNotExist);
  return cat::LoadTableById(s, obj, out);
}

Status ResolveTable(Session& s, const sql::NameList& name, TableInfo* out) {
  if (name.empty() || name.size() > 2) return OraError(ora::kTableNotExist);
  std::string owner, object;
  return ResolveTableFor(s, name, "SELECT", out);
}

Status ResolveTableFor(Session& s, const sql::NameList& name, const char* privilege,
                       TableInfo* out) {
  // Names lead through synonyms; privileges are those on what they lead to.
  ResolvedName r;
  TABDB_RETURN_IF_ERROR(ResolveName(s, name, &r));
  if (r.type != "TABLE" && r.type != "VIEW") return OraError(ora::kTableNotExist);
  TABDB_RETURN_IF_ERROR(cat::CheckObjectPrivilege(s, r.owner, r.obj_id, privilege));
  if (r.type == "VIEW") {
    // Rows are changed through tables only.
    std::string p = privilege;
    if (p == "INSERT" || p == "UPDATE" || p == "DELETE") return OraError(ora::kViewDmlNotLegal);
    return OraError(ora::kTableNotExist);
  }
  std::string p = privilege;
  if (p == "INSERT" || p == "UPDATE" || p == "DELETE") TABDB_RETURN_IF_ERROR(CheckContainerDml(s, r.obj_id));
  return cat::LoadTableById(s, r.obj_id, out);
}

Status LoadUniqueIndexes(Session& s, int64_t table_obj, std::vector<IndexInfo>* out) {
  out->clear();
  std::vector<cat::IndexRec> indexes;
  TABDB_RETURN_IF_ERROR(cat::LoadTableIndexes(s, table_obj, &indexes));
  std::vector<cat::ConstraintRec> cons;
  TABDB_RETURN_IF_ERROR(cat::LoadConstraints(s, table_obj, &cons));
  for (const cat::IndexRec& r : indexes) {
    if (r.phys.empty()) continue;
    IndexInfo info;
    info.obj_id = r.obj_id;
    info.owner = r.owner;
    info.name = r.name;
    info.table_obj = r.table_obj;
    info.unique = r.unique;
    info.index_type = r.index_type;
    info.phys = r.phys;
    for (const cat::IndexKeyRec& k : r.keys) info.intcols.push_back(k.intcol);
    for (const cat::ConstraintRec& c : cons) {
      if ((c.type == "P" || c.type == "U") && c.enabled && c.index_obj == r.obj_id) {
        info.constraint_owner = c.owner;
        info.constraint_name = c.name;
        info.intcols = c.intcols;
        break;
      }
    }
    out->push_back(std::move(info));
  }
  return Status::Ok();
}

// ---- DDL frame --------------------------------------------------------------

namespace {

// A user who is not a DBA works only in its own schema and cannot manage
// users: such statements fail at once with ORA-01031, before the DDL waits
// for the database's write lock (the statements check again as they run).
Status CheckDdlPrivilege(Session& s, const sql::Statement& st) {
  using sql::StmtKind;
  if (s.user().dba) return Status::Ok();
  auto own = [&](const sql::NameList& n) {
    if (n.empty()) return Status::Ok();
    std::string owner, object;
    cat::SplitName(s, n, &owner, &object);
    return owner == s.user().name ? Status::Ok() : OraError(ora::kInsufficientPrivileges);
  };
  // An existing object of another schema: as missing unless the user sees it.
  auto foreign = [&](const sql::NameList& n, const char* type) {
    if (n.empty()) return Status::Ok();
    std::string owner, object;
    cat::SplitName(s, n, &owner, &object);
    return owner == s.user().name ? Status::Ok() : cat::ForeignDdlError(s, owner, object, type);
  };
  switch (st.kind) {
    case StmtKind::kCreateTable:
      return st.create_table ? own(st.create_table->name) : Status::Ok();
    case StmtKind::kCreateIndex: {
      if (!st.create_index) return Status::Ok();
      // An index in another schema needs a privilege the user lacks; an
      // index of its own on another user's table needs INDEX on it, which
      // the statement checks as it runs.
      return own(st.create_index->name);
    }
    case StmtKind::kAlterTable:
      return st.alter_table ? foreign(st.alter_table->table, "TABLE") : Status::Ok();
    case StmtKind::kDropTable:
    case StmtKind::kTruncateTable:
      return st.drop ? foreign(st.drop->name, "TABLE") : Status::Ok();
    case StmtKind::kDropIndex:
      return st.drop ? foreign(st.drop->name, "INDEX") : Status::Ok();
    case StmtKind::kGrant:
    case StmtKind::kRevoke:
      // Object privileges are checked on the object as the statement runs.
      if (st.grant && !st.grant->object.empty()) return Status::Ok();
      return OraError(ora::kInsufficientPrivileges);
    case StmtKind::kCreateUser:
    case StmtKind::kDropUser:
      return OraError(ora::kInsufficientPrivileges);
    case StmtKind::kCreateSequence:
      return st.sequence ? own(st.sequence->name) : Status::Ok();
    case StmtKind::kAlterSequence:
    case StmtKind::kDropSequence:
      return st.sequence ? foreign(st.sequence->name, "SEQUENCE") : Status::Ok();
    case StmtKind::kCreateView:
    case StmtKind::kDropView:
    case StmtKind::kAlterView:
      return st.view ? own(st.view->name) : Status::Ok();
    case StmtKind::kDimension:
      return st.dimension ? own(st.dimension->name) : Status::Ok();
    case StmtKind::kCreateSynonym:
    case StmtKind::kDropSynonym:
      if (!st.synonym) return Status::Ok();
      if (st.synonym->is_public) return OraError(ora::kInsufficientPrivileges);
      return own(st.synonym->name);
    case StmtKind::kAlterUser:
      return st.user && st.user->user.text == s.user().name
                 ? Status::Ok()
                 : OraError(ora::kInsufficientPrivileges);
    default:
      return Status::Ok();
  }
}

}  // namespace

Status ExecuteDdl(Session& s, const sql::Statement& st, ExprTypeFn infer_type) {
  using sql::StmtKind;
  TABDB_RETURN_IF_ERROR(s.CheckRights());
  TABDB_RETURN_IF_ERROR(CheckDdlPrivilege(s, st));
  if (s.flashback()) return OraError(ora::kFlashbackMode);
  // Oracle commits the open transaction before any DDL runs. The work is
  // kept by the DDL's own commit below, whatever the DDL's outcome, so that
  // the write lock of the transaction (a LOCK TABLE among it) is never let
  // go between the two: no other session can slip in before the DDL.
  TABDB_RETURN_IF_ERROR(s.CheckDeferred());
  s.deferred() = Session::Deferred();
  // A read-only or serializable transaction holds a snapshot that cannot
  // take the DDL's writes: it ends here, at the implicit commit, as in
  // Oracle. Other open work stays open into the DDL's own transaction.
  if (s.txn_mode() != Session::TxnMode::kDefault) {
    TABDB_RETURN_IF_ERROR(s.db().Commit());
    s.TransactionEnded();
  }
  const bool open_work = s.db().in_transaction();
  if (open_work) {
    TABDB_RETURN_IF_ERROR(s.db().Savepoint("tabdb_ddl"));
  } else {
    TABDB_RETURN_IF_ERROR(s.db().BeginWrite());
  }
  Status r;
  bool with_errors = false;  // an object kept with compilation errors
  switch (st.kind) {
    case StmtKind::kCreateTable:
      r = st.create_table ? cat::CreateTableDdl(s, *st.create_table, infer_type) : OraError(ora::kInvalidSqlStatement);
      break;
    case StmtKind::kDropTable:
      r = st.drop ? cat::DropTableDdl(s, *st.drop) : OraError(ora::kInvalidSqlStatement);
      break;
    case StmtKind::kTruncateTable:
      r = st.drop ? cat::TruncateTableDdl(s, *st.drop) : OraError(ora::kInvalidSqlStatement);
      break;
    case StmtKind::kCreateIndex:
      r = st.create_index ? cat::CreateIndexDdl(s, *st.create_index, infer_type) : OraError(ora::kInvalidSqlStatement);
      break;
    case StmtKind::kDropIndex:
      r = st.drop ? cat::DropIndexDdl(s, *st.drop) : OraError(ora::kInvalidSqlStatement);
      break;
    case StmtKind::kAlterTable:
      if (st.alter_table && st.alter_table->partition)
        r = cat::AlterPartitionDdl(s, *st.alter_table);
      else if (st.alter_table && st.alter_table->action != sql::AlterAction::kAddConstraint)
        r = cat::AlterTableColumnsDdl(s, *st.alter_table, infer_type);
      else
        r = st.alter_table ? cat::AlterTableDdl(s, *st.alter_table) : OraError(ora::kInvalidSqlStatement);
      break;
    case StmtKind::kCreateUser:
      r = st.user ? cat::CreateUserDdl(s, *st.user) : OraError(ora::kInvalidSqlStatement);
      break;
    case StmtKind::kAlterUser:
      r = st.user ? cat::AlterUserDdl(s, *st.user) : OraError(ora::kInvalidSqlStatement);
      break;
    case StmtKind::kDropUser:
      r = st.drop ? cat::DropUserDdl(s, *st.drop) : OraError(ora::kInvalidSqlStatement);
      break;
    case StmtKind::kGrant:
    case StmtKind::kRevoke:
      r = st.grant ? cat::GrantDdl(s, *st.grant, st.kind == StmtKind::kGrant) : OraError(ora::kInvalidSqlStatement);
      break;
    case StmtKind::kStoredCode:
      r = st.code ? cat::StoredCodeDdl(s, *st.code, &with_errors) : OraError(ora::kInvalidSqlStatement);
      break;
    case StmtKind::kCreateSequence:
      r = st.sequence ? cat::CreateSequenceDdl(s, *st.sequence) : OraError(ora::kInvalidSqlStatement);
      break;
    case StmtKind::kAlterSequence:
      r = st.sequence ? cat::AlterSequenceDdl(s, *st.sequence) : OraError(ora::kInvalidSqlStatement);
      break;
    case StmtKind::kDropSequence:
      r = st.sequence ? cat::DropSequenceDdl(s, *st.sequence) : OraError(ora::kInvalidSqlStatement);
      break;
    case StmtKind::kCreateView:
      r = st.view ? cat::CreateViewDdl(s, *st.view, &with_errors) : OraError(ora::kInvalidSqlStatement);
      break;
    case StmtKind::kDropView:
      r = st.view ? cat::DropViewDdl(s, *st.view) : OraError(ora::kInvalidSqlStatement);
      break;
    case StmtKind::kAlterView:
      r = st.view ? cat::AlterViewDdl(s, *st.view, &with_errors) : OraError(ora::kInvalidSqlStatement);
      break;
    case StmtKind::kCreateSynonym:
      r = st.synonym ? cat::CreateSynonymDdl(s, *st.synonym) : OraError(ora::kInvalidSqlStatement);
      break;
    case StmtKind::kDropSynonym:
      r = st.synonym ? cat::DropSynonymDdl(s, *st.synonym) : OraError(ora::kInvalidSqlStatement);
      break;
    case StmtKind::kComment:
      r = st.comment ? cat::CommentDdl(s, *st.comment) : OraError(ora::kInvalidSqlStatement);
      break;
    case StmtKind::kRename:
      r = st.rename ? cat::RenameDdl(s, *st.rename) : OraError(ora::kInvalidSqlStatement);
      break;
    case StmtKind::kMview:
      r = st.mview ? MviewDdl(s, *st.mview) : OraError(ora::kInvalidSqlStatement);
      break;
    case StmtKind::kDimension:
      r = st.dimension ? cat::DimensionDdl(s, *st.dimension) : OraError(ora::kInvalidSqlStatement);
      break;
    default:
      r = OraError(ora::kInvalidSqlStatement);
      break;
  }
  // Stored units that use what changed compile again when next used.
  if (r.ok()) r = InvalidateAfterDdl(s, st);
  if (r.ok()) r = s.db().BumpCatalogVersion();
  if (r.ok() && open_work) r = s.db().Release("tabdb_ddl");
  // The implicit commit ends the rows of ON COMMIT DELETE ROWS tables too.
  if (r.ok()) r = s.EmptyTransactionTemporaryTables();
  if (r.ok()) r = s.db().Commit();
  if (!r.ok()) {
    // The DDL's error is the one reported. Its own changes are undone; the
    // work before it is committed, as Oracle's implicit commit would have.
    // A rollback that fails too has nothing left it could undo.
    if (open_work && s.db().in_transaction() && s.db().RollbackTo("tabdb_ddl").ok()) {
      if (!s.db().Commit().ok()) (void)s.db().Rollback();
    } else {
      (void)s.db().Rollback();
    }
    return r;
  }
  if (st.kind == StmtKind::kGrant || st.kind == StmtKind::kRevoke) return s.RefreshUser();
  // Done and committed, but with errors: Oracle's warning.
  if (with_errors) return OraError(ora::kCompiledWithErrors);
  return Status::Ok();
}

}  // namespace tabdb

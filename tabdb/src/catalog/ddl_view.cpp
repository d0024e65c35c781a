// ddl_view.cpp - views and synonyms: CREATE / DROP VIEW and SYNONYM, the
// resolution of names through synonyms, and their DBMS_METADATA text.
//
// A view keeps the text of its query; its columns are derived when it is
// created (tab$columns rows of the view, for the dictionary and DESCRIBE)
// and again whenever a statement uses it, so that a view over a replaced
// view sees the new one. A view created FORCE over objects that are
// missing is kept with status INVALID and no columns.
#include <atomic>
#include <sqlite3.h>

#include <set>

#include "catalog/catalog_internal.h"
#include "sql/parser.h"
#include "util/errors.h"

namespace tabdb {
namespace {

// Set at every logon, from any thread: atomic so that the stores never race.
std::atomic<DescribeViewFn> g_describe_view{nullptr};

// Longest chain of synonyms followed before ORA-01775.
constexpr int kMaxSynonymHops = 32;

std::string Text(sqlite3_stmt* q, int col) {
  const unsigned char* p = sqlite3_column_text(q, col);
  return p ? std::string(reinterpret_cast<const char*>(p),
                         static_cast<size_t>(sqlite3_column_bytes(q, col)))
           : std::string();
}

void Bind(sqlite3_stmt* q, int i, const std::string& v) {
  sqlite3_bind_text(q, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
}

// The target of a synonym; *found is false when the row is missing.
Status LoadSynonym(Session& s, int64_t obj_id, std::string* owner, std::string* name,
                   std::string* link, bool* found) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "SELECT table_owner, table_name, db_link FROM tab$synonyms WHERE obj_id = ?1", &q));
  sqlite3_bind_int64(q, 1, obj_id);
  TABDB_RETURN_IF_ERROR(s.db().Step(q, found));
  if (*found) {
    *owner = Text(q, 0);
    *name = Text(q, 1);
    if (link) *link = Text(q, 2);
  }
  sqlite3_reset(q);
  return Status::Ok();
}

Status DeleteObjectRows(Session& s, int64_t obj_id) {
  std::string id = std::to_string(obj_id);
  return s.db().Exec("DELETE FROM tab$views WHERE obj_id = " + id +
                     ";"
                     "DELETE FROM tab$comments WHERE obj_id = " + id +
                     ";"
                     "DELETE FROM tab$synonyms WHERE obj_id = " + id +
                     ";"
                     "DELETE FROM tab$columns WHERE obj_id = " + id +
                     ";"
                     "DELETE FROM tab$privs WHERE obj_id = " + id +
                     ";"
                     "DELETE FROM tab$objects WHERE obj_id = " + id + ";");
}

// The column names of a view without a column list: the select items'
// names. An expression needs an alias (ORA-00998).
Status ItemNames(const sql::Select& query, const std::vector<ColumnInfo>& cols,
                 std::vector<std::string>* names) {
  // A compound query is named by its first branch.
  const sql::Select* first = &query;
  while (!first->branches.empty() && first->branches[0].query) first = first->branches[0].query.get();
  for (const sql::SelectItem& it : first->items) {
    if (!it.star && !it.has_alias && it.expr && it.expr->kind != sql::ExprKind::kColumn)
      return OraError(ora::kMustNameExpression);
  }
  names->clear();
  for (const ColumnInfo& c : cols) names->push_back(c.name);
  return Status::Ok();
}

Status CheckDistinct(const std::vector<std::string>& names) {
  std::set<std::string> seen;
  for (const std::string& n : names)
    if (!seen.insert(n).second) return OraError(ora::kDuplicateColumnName);
  return Status::Ok();
}

// A column of a view with errors: only its name is known.
ColumnInfo Unknown(const std::string& name) {
  ColumnInfo c;
  c.name = name;
  c.type.kind = TypeKind::kVarchar2;
  return c;
}

// The object a CREATE [OR REPLACE] makes: a new one, or with OR REPLACE
// the existing object of the same type (which keeps its grants).
// ORA-00955 when the name is taken otherwise.
Status ClaimName(Session& s, const std::string& owner, const std::string& name, const char* type,
                 bool or_replace, int64_t* obj) {
  std::string found;
  TABDB_RETURN_IF_ERROR(cat::FindObject(s, owner, name, obj, &found));
  if (*obj == 0) return cat::AddObject(s, owner, name, type, obj);
  if (found != type || !or_replace) return OraError(ora::kNameAlreadyUsed);
  return Status::Ok();
}

// The columns of a view's query compiled as `owner`, named by `aliases`
// when given, else by the select items (which must then be names).
Status DescribeView(Session& s, const std::string& owner, const sql::Select& q,
                    const std::vector<std::string>& aliases,
                    std::vector<ColumnInfo>* cols) {
  if (aliases.size() > 1) TABDB_RETURN_IF_ERROR(CheckDistinct(aliases));
  if (g_describe_view.load() == nullptr) return OraError(ora::kInternalError, {"views not set up"});
  TABDB_RETURN_IF_ERROR(g_describe_view.load()(s, owner, q, cols));
  std::vector<std::string> names;
  if (!aliases.empty()) {
    if (aliases.size() != cols->size()) return OraError(ora::kInvalidColumnNameCount);
    names = aliases;
  } else {
    TABDB_RETURN_IF_ERROR(ItemNames(q, *cols, &names));
    TABDB_RETURN_IF_ERROR(CheckDistinct(names));
  }
  for (size_t i = 0; i < names.size(); ++i) (*cols)[i].name = names[i];
  return Status::Ok();
}

// Replaces the tab$columns rows of a view and records whether it compiled.
Status StoreViewColumns(Session& s, int64_t obj, bool valid,
                        const std::vector<ColumnInfo>& cols) {
  std::string id = std::to_string(obj);
  TABDB_RETURN_IF_ERROR(s.db().Exec("DELETE FROM tab$columns WHERE obj_id = " + id + ";"
                                    "UPDATE tab$views SET status = '" +
                                    (valid ? "VALID" : "INVALID") + "' WHERE obj_id = " + id));
  for (size_t i = 0; i < cols.size(); ++i) {
    ColumnInfo c;
    c.intcol = static_cast<int>(i + 1);
    c.column_id = c.intcol;
    c.name = cols[i].name;
    c.type = WithDefaults(cols[i].type);
    c.nullable = cols[i].nullable;
    TABDB_RETURN_IF_ERROR(cat::InsertColumn(s, obj, c));
  }
  return Status::Ok();
}

}  // namespace

void SetDescribeViewFn(DescribeViewFn fn) { g_describe_view = fn; }

Status ResolveName(Session& s, const sql::NameList& name, ResolvedName* out) {
  if (name.empty() || name.size() > 2) return OraError(ora::kTableNotExist);
  std::string owner, object, type;
  cat::SplitName(s, name, &owner, &object);
  int64_t obj = 0;
  TABDB_RETURN_IF_ERROR(cat::FindObject(s, owner, object, &obj, &type));
  if (obj == 0 && name.size() == 1) {
    owner = "PUBLIC";
    TABDB_RETURN_IF_ERROR(cat::FindObject(s, owner, object, &obj, &type));
  }
  if (obj == 0) return OraError(ora::kTableNotExist);
  for (int hop = 0; type == "SYNONYM"; ++hop) {
    if (hop >= kMaxSynonymHops) return OraError(ora::kSynonymLoop);
    bool found = false;
    std::string link;
    TABDB_RETURN_IF_ERROR(LoadSynonym(s, obj, &owner, &object, &link, &found));
    if (!found || !link.empty()) return OraError(ora::kSynonymTranslationInvalid);
    TABDB_RETURN_IF_ERROR(cat::FindObject(s, owner, object, &obj, &type));
    if (obj == 0) return OraError(ora::kSynonymTranslationInvalid);
  }
  out->obj_id = obj;
  out->owner = owner;
  out->name = object;
  out->type = type;
  return Status::Ok();
}

Status LoadView(Session& s, int64_t obj_id, ViewInfo* out) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "SELECT o.owner, o.name, v.text, v.parse_schema, v.aliased, v.read_only, v.check_option,"
      " v.status FROM tab$views v JOIN tab$objects o ON o.obj_id = v.obj_id WHERE v.obj_id = ?1",
      &q));
  sqlite3_bind_int64(q, 1, obj_id);
  bool row = false;
  TABDB_RETURN_IF_ERROR(s.db().Step(q, &row));
  if (!row) {
    sqlite3_reset(q);
    return OraError(ora::kTableNotExist);
  }
  ViewInfo v;
  v.obj_id = obj_id;
  v.owner = Text(q, 0);
  v.name = Text(q, 1);
  v.text = Text(q, 2);
  v.parse_schema = Text(q, 3);
  v.aliased = sqlite3_column_int(q, 4) != 0;
  v.read_only = sqlite3_column_int(q, 5) != 0;
  v.check_option = sqlite3_column_int(q, 6) != 0;
  v.valid = Text(q, 7) == "VALID";
  sqlite3_reset(q);
  TABDB_RETURN_IF_ERROR(
      s.db().Cached("SELECT name, nullable FROM tab$columns WHERE obj_id = ?1 ORDER BY intcol", &q));
  sqlite3_bind_int64(q, 1, obj_id);
  while (true) {
    TABDB_RETURN_IF_ERROR(s.db().Step(q, &row));
    if (!row) break;
    v.columns.push_back(Text(q, 0));
    v.nullable.push_back(Text(q, 1) != "N");
  }
  sqlite3_reset(q);
  *out = std::move(v);
  return Status::Ok();
}

Status ResolveQuerySource(Session& s, const sql::NameList& name, TableInfo* table, ViewInfo* view,
                          bool* is_view) {
  ResolvedName r;
  TABDB_RETURN_IF_ERROR(ResolveName(s, name, &r));
  if (r.type != "TABLE" && r.type != "VIEW") return OraError(ora::kTableNotExist);
  TABDB_RETURN_IF_ERROR(cat::CheckObjectPrivilege(s, r.owner, r.obj_id, "SELECT"));
  *is_view = r.type == "VIEW";
  if (*is_view) return LoadView(s, r.obj_id, view);
  return cat::LoadTableById(s, r.obj_id, table);
}

namespace cat {

Status CreateViewDdl(Session& s, const sql::ViewStmt& v, bool* with_errors) {
  std::string owner, name;
  SplitName(s, v.name, &owner, &name);
  TABDB_RETURN_IF_ERROR(CheckSchemaWrite(s, owner));
  if (!v.query) return OraError(ora::kInvalidSqlStatement);
  int64_t obj = 0;
  TABDB_RETURN_IF_ERROR(ClaimName(s, owner, name, "VIEW", v.or_replace, &obj));
  std::vector<std::string> aliases;
  for (const sql::Name& n : v.columns) aliases.push_back(n.text);
  bool valid = false;
  std::vector<ColumnInfo> cols;
  Status described = DescribeView(s, owner, *v.query, aliases, &cols);
  if (described.ok()) {
    valid = true;
  } else if (!v.force || described.code() == ora::kMustNameExpression ||
             described.code() == ora::kInvalidColumnNameCount ||
             described.code() == ora::kDuplicateColumnName) {
    return described;
  } else {
    // A view with errors keeps the names it was given.
    for (const std::string& a : aliases) cols.push_back(Unknown(a));
  }

  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "INSERT OR REPLACE INTO tab$views(obj_id, text, parse_schema, aliased, read_only,"
      " check_option, cons_name, editionable, status) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, 'VALID')",
      &q));
  sqlite3_bind_int64(q, 1, obj);
  Bind(q, 2, v.query_text);
  Bind(q, 3, owner);
  sqlite3_bind_int(q, 4, v.columns.empty() ? 0 : 1);
  sqlite3_bind_int(q, 5, v.read_only ? 1 : 0);
  sqlite3_bind_int(q, 6, v.check_option ? 1 : 0);
  if (v.has_constraint) Bind(q, 7, v.constraint.text);
  else sqlite3_bind_null(q, 7);
  sqlite3_bind_int(q, 8, v.editionable == 0 ? 0 : 1);
  TABDB_RETURN_IF_ERROR(s.db().Run(q));
  *with_errors = !valid;
  return StoreViewColumns(s, obj, valid, cols);
}

// The view an ALTER or DROP VIEW names, in a schema the session may
// change: ORA-00942 when there is no such view.
static Status FindViewToChange(Session& s, const sql::ViewStmt& v, int64_t* obj) {
  std::string owner, name;
  SplitName(s, v.name, &owner, &name);
  std::string type;
  TABDB_RETURN_IF_ERROR(FindObject(s, owner, name, obj, &type));
  if (*obj == 0 || type != "VIEW") return OraError(ora::kTableNotExist);
  TABDB_RETURN_IF_ERROR(CheckSchemaWrite(s, owner));
  return Status::Ok();
}

Status AlterViewDdl(Session& s, const sql::ViewStmt& v, bool* with_errors) {
  int64_t obj = 0;
  TABDB_RETURN_IF_ERROR(FindViewToChange(s, v, &obj));
  return RecompileView(s, obj, with_errors);
}

Status RecompileView(Session& s, int64_t obj, bool* with_errors) {
  // COMPILE: the view's columns and status as its query compiles now.
  ViewInfo info;
  TABDB_RETURN_IF_ERROR(LoadView(s, obj, &info));
  std::unique_ptr<sql::Statement> st;
  Status described = sql::Parse(info.text, &st);
  std::vector<std::string> aliases;
  if (info.aliased) aliases = info.columns;
  std::vector<ColumnInfo> cols;
  if (described.ok() && (st->kind != sql::StmtKind::kSelect || !st->select))
    described = OraError(ora::kInvalidSqlStatement);
  if (described.ok()) described = DescribeView(s, info.parse_schema, *st->select, aliases, &cols);
  if (!described.ok()) {
    cols.clear();
    for (const std::string& a : info.columns) cols.push_back(Unknown(a));
  }
  *with_errors = !described.ok();
  return StoreViewColumns(s, obj, described.ok(), cols);
}

Status DropViewDdl(Session& s, const sql::ViewStmt& v) {
  int64_t obj = 0;
  TABDB_RETURN_IF_ERROR(FindViewToChange(s, v, &obj));
  return DeleteObjectRows(s, obj);
}

Status CreateSynonymDdl(Session& s, const sql::SynonymStmt& st) {
  if (!st.db_link.empty()) return OraError(ora::kUnimplemented);
  std::string owner, name;
  if (st.is_public) {
    // A public synonym is named without a schema.
    if (st.name.size() != 1) return OraError(922);
    if (!s.user().dba) return OraError(ora::kInsufficientPrivileges);
    owner = "PUBLIC";
    name = st.name[0].text;
  } else {
    SplitName(s, st.name, &owner, &name);
    TABDB_RETURN_IF_ERROR(CheckSchemaWrite(s, owner));
  }
  std::string t_owner, t_name;
  if (st.target.size() >= 2) {
    t_owner = st.target[st.target.size() - 2].text;
  } else {
    // An unqualified target is in the schema of the synonym.
    t_owner = st.is_public ? s.current_schema() : owner;
  }
  t_name = st.target.empty() ? std::string() : st.target.back().text;
  if (t_owner == owner && t_name == name) return OraError(ora::kSynonymSameAsObject);

  int64_t obj = 0;
  TABDB_RETURN_IF_ERROR(ClaimName(s, owner, name, "SYNONYM", st.or_replace, &obj));
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "INSERT OR REPLACE INTO tab$synonyms(obj_id, table_owner, table_name, db_link)"
      " VALUES(?1, ?2, ?3, NULL)",
      &q));
  sqlite3_bind_int64(q, 1, obj);
  Bind(q, 2, t_owner);
  Bind(q, 3, t_name);
  return s.db().Run(q);
}

Status DropSynonymDdl(Session& s, const sql::SynonymStmt& st) {
  std::string owner, name;
  if (st.is_public) {
    if (st.name.size() != 1) return OraError(922);
    owner = "PUBLIC";
    name = st.name[0].text;
  } else {
    SplitName(s, st.name, &owner, &name);
  }
  int64_t obj = 0;
  std::string type;
  TABDB_RETURN_IF_ERROR(FindObject(s, owner, name, &obj, &type));
  if (obj == 0 || type != "SYNONYM")
    return OraError(st.is_public ? ora::kPublicSynonymNotExist : ora::kPrivateSynonymNotExist);
  if (st.is_public) {
    if (!s.user().dba) return OraError(ora::kInsufficientPrivileges);
  } else {
    TABDB_RETURN_IF_ERROR(CheckSchemaWrite(s, owner));
  }
  return DeleteObjectRows(s, obj);
}

Status DropSchemaViewsAndSynonyms(Session& s, const std::string& owner) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "SELECT obj_id FROM tab$objects WHERE owner = ?1 AND type IN ('VIEW', 'SYNONYM')", &q));
  Bind(q, 1, owner);
  std::vector<int64_t> ids;
  while (true) {
    bool row = false;
    TABDB_RETURN_IF_ERROR(s.db().Step(q, &row));
    if (!row) break;
    ids.push_back(sqlite3_column_int64(q, 0));
  }
  sqlite3_reset(q);
  for (int64_t id : ids) TABDB_RETURN_IF_ERROR(DeleteObjectRows(s, id));
  return Status::Ok();
}

}  // namespace cat

// ---- DBMS_METADATA text ----------------------------------------------------

Status ViewDdlText(Session& s, const std::string& owner, const std::string& name, std::string* out,
                   bool* found) {
  int64_t obj = 0;
  std::string type;
  TABDB_RETURN_IF_ERROR(cat::FindObject(s, owner, name, &obj, &type));
  *found = obj != 0 && type == "VIEW";
  if (!*found) return Status::Ok();
  ViewInfo v;
  TABDB_RETURN_IF_ERROR(LoadView(s, obj, &v));
  std::string cols;
  for (const std::string& c : v.columns) cols += (cols.empty() ? "" : ", ") + cat::Quote(c);
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(
      s.db().Cached("SELECT editionable, cons_name FROM tab$views WHERE obj_id = ?1", &q));
  sqlite3_bind_int64(q, 1, obj);
  bool row = false;
  TABDB_RETURN_IF_ERROR(s.db().Step(q, &row));
  bool editionable = !row || sqlite3_column_int(q, 0) != 0;
  std::string cons = row ? Text(q, 1) : std::string();
  sqlite3_reset(q);
  *out = "\n  CREATE OR REPLACE FORCE " + std::string(editionable ? "EDITIONABLE" : "NONEDITIONABLE") +
         " VIEW " + cat::Quote(v.owner) + "." + cat::Quote(v.name) + " (" + cols + ") AS \n  " + v.text;
  if (v.read_only || v.check_option) {
    *out += v.read_only ? " WITH READ ONLY" : " WITH CHECK OPTION";
    if (!cons.empty()) *out += " CONSTRAINT " + cat::Quote(cons);
  }
  return Status::Ok();
}

Status SynonymDdlText(Session& s, const std::string& owner, const std::string& name,
                      std::string* out, bool* found) {
  int64_t obj = 0;
  std::string type;
  TABDB_RETURN_IF_ERROR(cat::FindObject(s, owner, name, &obj, &type));
  *found = obj != 0 && type == "SYNONYM";
  if (!*found) return Status::Ok();
  std::string t_owner, t_name;
  TABDB_RETURN_IF_ERROR(LoadSynonym(s, obj, &t_owner, &t_name, nullptr, found));
  if (!*found) return Status::Ok();
  bool pub = owner == "PUBLIC";
  *out = "\n  CREATE OR REPLACE " + std::string(pub ? "PUBLIC SYNONYM " : "EDITIONABLE SYNONYM ") +
         (pub ? cat::Quote(name) : cat::Quote(owner) + "." + cat::Quote(name)) + " FOR " +
         cat::Quote(t_owner) + "." + cat::Quote(t_name);
  return Status::Ok();
}

Status RevalidateView(Session& s, int64_t obj) {
  TABDB_RETURN_IF_ERROR(s.db().BeginWrite());
  bool with_errors = false;
  Status st = cat::RecompileView(s, obj, &with_errors);
  if (st.ok()) st = s.db().BumpCatalogVersion();
  if (st.ok()) st = s.db().Commit();
  if (!st.ok()) (void)s.db().Rollback();
  return st;
}

}  // namespace tabdb

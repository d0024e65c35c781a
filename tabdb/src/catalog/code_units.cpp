// code_units.cpp - stored units as the catalog keeps them once they run:
// status and compile stamp in tab$code, errors in tab$errors, what each
// unit uses in tab$dependencies, invalidation of dependents, code objects
// for calls and grants (with the supplied packages), and the views
// ALL_/USER_/DBA_ERRORS and DEPENDENCIES.
#include "catalog/code_units.h"

#include <set>
#include <utility>

#include "catalog/catalog_internal.h"
#include "storage/sqlite_util.h"
#include "util/errors.h"

namespace tabdb {
namespace {

CompileUnitFn g_compile_unit = nullptr;

// Packages the database supplies, owned by SYS with fixed object ids below
// those of user objects (100 + position: entries are only ever appended).
const char* const kSuppliedPackages[] = {
    "DBMS_OUTPUT",  "DBMS_LOB",     "DBMS_CRYPTO",    "UTL_FILE",       "DBMS_METADATA",
    "DBMS_SQL",     "DBMS_UTILITY", "DBMS_LOCK",      "DBMS_RANDOM",    "DBMS_STATS",
    "DBMS_SCHEDULER", "DBMS_JOB",   "UTL_RAW",        "UTL_HTTP",       "UTL_SMTP",
    "UTL_TCP",      "UTL_MAIL",     "UTL_ENCODE",     "UTL_I18N",       "DBMS_APPLICATION_INFO",
    "DBMS_SESSION", "DBMS_ALERT",   "DBMS_PIPE",      "DBMS_AQ",        "DBMS_AQADM",
    "DBMS_RLS",     "DBMS_FLASHBACK", "DBMS_MVIEW",   "DBMS_XMLGEN",    "DBMS_DB_VERSION",
    "DBMS_STANDARD", "DBMS_ASSERT", "DBMS_SNAPSHOT",  "UTL_COMPRESS",   "UTL_URL",
    "DBMS_DEBUG",   "DBMS_REDEFINITION", "DBMS_SPACE", "DBMS_ERRLOG",   "DBMS_XPLAN",
};
constexpr int64_t kSuppliedBase = 100;

void BindText(sqlite3_stmt* q, int i, const std::string& v) {
  sqlite3_bind_text(q, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
}

std::string ColumnText(sqlite3_stmt* q, int i) {
  const unsigned char* t = sqlite3_column_text(q, i);
  return t ? reinterpret_cast<const char*>(t) : "";
}

Status FindUnitRow(Session& s, const std::string& owner, const std::string& name, CodeObject* out,
                   bool* found) {
  *found = false;
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "SELECT type, obj_id FROM tab$code WHERE owner = ?1 AND name = ?2"
      " AND type IN ('PROCEDURE', 'FUNCTION', 'PACKAGE', 'TYPE')",
      &q));
  BindText(q, 1, owner);
  BindText(q, 2, name);
  bool row = false;
  TABDB_RETURN_IF_ERROR(s.db().Step(q, &row));
  if (row) {
    *found = true;
    out->type = ColumnText(q, 0);
    out->obj_id = sqlite3_column_int64(q, 1);
    out->owner = owner;
    out->name = name;
  }
  sqlite3_reset(q);
  return Status::Ok();
}

bool SuppliedPackage(const std::string& name, CodeObject* out) {
  int64_t i = 0;
  for (const char* p : kSuppliedPackages) {
    if (name == p) {
      out->obj_id = kSuppliedBase + i;
      out->owner = "SYS";
      out->name = name;
      out->type = "PACKAGE";
      out->supplied = true;
      return true;
    }
    ++i;
  }
  return false;
}

// Follows synonyms from owner.name to a code object (at most as many hops
// as ResolveName allows).
Status FollowToCode(Session& s, std::string owner, std::string name, CodeObject* out, bool* found) {
  *found = false;
  for (int hop = 0; hop < 32; ++hop) {
    if (owner == "SYS" && SuppliedPackage(name, out)) {
      *found = true;
      return Status::Ok();
    }
    TABDB_RETURN_IF_ERROR(FindUnitRow(s, owner, name, out, found));
    if (*found) return Status::Ok();
    int64_t obj = 0;
    std::string type;
    TABDB_RETURN_IF_ERROR(cat::FindObject(s, owner, name, &obj, &type));
    if (obj == 0 || type != "SYNONYM") return Status::Ok();
    sqlite3_stmt* q = nullptr;
    TABDB_RETURN_IF_ERROR(s.db().Cached(
        "SELECT table_owner, table_name, db_link FROM tab$synonyms WHERE obj_id = ?1", &q));
    sqlite3_bind_int64(q, 1, obj);
    bool row = false;
    TABDB_RETURN_IF_ERROR(s.db().Step(q, &row));
    std::string link;
    if (row) {
      owner = ColumnText(q, 0);
      name = ColumnText(q, 1);
      link = ColumnText(q, 2);
    }
    sqlite3_reset(q);
    if (!row || !link.empty()) return Status::Ok();
    out->via_synonym = true;
  }
  return Status::Ok();
}

// Sets a unit's status.
Status SetStatus(Session& s, const std::string& owner, const std::string& name,
                 const std::string& type, bool valid) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "UPDATE tab$code SET status = ?4 WHERE owner = ?1 AND name = ?2 AND type = ?3", &q));
  BindText(q, 1, owner);
  BindText(q, 2, name);
  BindText(q, 3, type);
  sqlite3_bind_text(q, 4, valid ? "VALID" : "INVALID", -1, SQLITE_STATIC);
  return s.db().Run(q);
}

}  // namespace

void SetCompileUnitFn(CompileUnitFn fn) { g_compile_unit = fn; }

bool IsRunnableUnitType(const std::string& type) {
  return type == "PROCEDURE" || type == "FUNCTION" || type == "PACKAGE" || type == "PACKAGE BODY" ||
         type == "TRIGGER";
}

Status LoadCodeUnit(Session& s, const std::string& owner, const std::string& name,
                    const std::string& type, CodeUnitRow* out, bool* found) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "SELECT obj_id, status, stamp FROM tab$code WHERE owner = ?1 AND name = ?2 AND type = ?3", &q));
  BindText(q, 1, owner);
  BindText(q, 2, name);
  BindText(q, 3, type);
  bool row = false;
  TABDB_RETURN_IF_ERROR(s.db().Step(q, &row));
  *found = row;
  if (row) {
    out->obj_id = sqlite3_column_int64(q, 0);
    out->valid = ColumnText(q, 1) != "INVALID";
    out->stamp = sqlite3_column_int64(q, 2);
  }
  sqlite3_reset(q);
  return Status::Ok();
}

Status LoadCodeSource(Session& s, const std::string& owner, const std::string& name,
                      const std::string& type, std::string* out, bool* found) {
  out->clear();
  *found = false;
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "SELECT text FROM tab$source WHERE owner = ?1 AND name = ?2 AND type = ?3 ORDER BY line", &q));
  BindText(q, 1, owner);
  BindText(q, 2, name);
  BindText(q, 3, type);
  while (true) {
    bool row = false;
    TABDB_RETURN_IF_ERROR(s.db().Step(q, &row));
    if (!row) break;
    *found = true;
    *out += ColumnText(q, 0);
  }
  sqlite3_reset(q);
  return Status::Ok();
}

Status RecordCompilation(Session& s, const std::string& owner, const std::string& name,
                         const std::string& type, const UnitCompilation& c) {
  TABDB_RETURN_IF_ERROR(ForgetUnit(s, owner, name, type));
  int64_t stamp = 0;
  TABDB_RETURN_IF_ERROR(s.db().NextId("next_obj", &stamp));
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "UPDATE tab$code SET status = ?4, stamp = ?5 WHERE owner = ?1 AND name = ?2 AND type = ?3", &q));
  BindText(q, 1, owner);
  BindText(q, 2, name);
  BindText(q, 3, type);
  sqlite3_bind_text(q, 4, c.errors.empty() ? "VALID" : "INVALID", -1, SQLITE_STATIC);
  sqlite3_bind_int64(q, 5, stamp);
  TABDB_RETURN_IF_ERROR(s.db().Run(q));
  int seq = 0;
  for (const CodeError& e : c.errors) {
    TABDB_RETURN_IF_ERROR(s.db().Cached(
        "INSERT INTO tab$errors(owner, name, type, sequence, line, position, text, message_number)"
        " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)",
        &q));
    BindText(q, 1, owner);
    BindText(q, 2, name);
    BindText(q, 3, type);
    sqlite3_bind_int(q, 4, ++seq);
    sqlite3_bind_int(q, 5, e.line);
    sqlite3_bind_int(q, 6, e.position);
    BindText(q, 7, e.text);
    sqlite3_bind_int(q, 8, e.number);
    TABDB_RETURN_IF_ERROR(s.db().Run(q));
  }
  for (const CodeDependency& d : c.deps) {
    TABDB_RETURN_IF_ERROR(s.db().Cached(
        "INSERT OR IGNORE INTO tab$dependencies(owner, name, type, ref_owner, ref_name, ref_type)"
        " VALUES(?1, ?2, ?3, ?4, ?5, ?6)",
        &q));
    BindText(q, 1, owner);
    BindText(q, 2, name);
    BindText(q, 3, type);
    BindText(q, 4, d.owner);
    BindText(q, 5, d.name);
    BindText(q, 6, d.type);
    TABDB_RETURN_IF_ERROR(s.db().Run(q));
  }
  return Status::Ok();
}

Status CompileAndRecord(Session& s, const std::string& owner, const std::string& name,
                        const std::string& type, bool* valid) {
  *valid = true;
  if (g_compile_unit == nullptr || !IsRunnableUnitType(type)) return Status::Ok();
  std::string source;
  bool found = false;
  TABDB_RETURN_IF_ERROR(LoadCodeSource(s, owner, name, type, &source, &found));
  if (!found) return Status::Ok();
  UnitCompilation c;
  TABDB_RETURN_IF_ERROR(g_compile_unit(s, owner, name, type, source, &c));
  *valid = c.errors.empty();
  return RecordCompilation(s, owner, name, type, c);
}

Status InvalidateDependents(Session& s, const std::string& owner, const std::string& name) {
  // Breadth first over the dependents; a unit already INVALID is not
  // followed again, which ends cycles.
  std::vector<std::pair<std::string, std::string>> todo = {{owner, name}};
  std::set<std::pair<std::string, std::string>> seen;
  while (!todo.empty()) {
    auto [o, n] = todo.back();
    todo.pop_back();
    if (!seen.insert({o, n}).second) continue;
    sqlite3_stmt* q = nullptr;
    TABDB_RETURN_IF_ERROR(s.db().Cached(
        "SELECT d.owner, d.name, d.type FROM tab$dependencies d"
        " WHERE d.ref_owner = ?1 AND d.ref_name = ?2 AND d.ref_type <> 'PACKAGE BODY'",
        &q));
    BindText(q, 1, o);
    BindText(q, 2, n);
    std::vector<std::vector<std::string>> deps;
    while (true) {
      bool row = false;
      TABDB_RETURN_IF_ERROR(s.db().Step(q, &row));
      if (!row) break;
      deps.push_back({ColumnText(q, 0), ColumnText(q, 1), ColumnText(q, 2)});
    }
    sqlite3_reset(q);
    for (const auto& d : deps) {
      TABDB_RETURN_IF_ERROR(SetStatus(s, d[0], d[1], d[2], false));
      // A body's own dependents are its specification's.
      if (d[2] != "PACKAGE BODY" && d[2] != "TYPE BODY") todo.emplace_back(d[0], d[1]);
    }
  }
  return Status::Ok();
}

Status InvalidateAfterDdl(Session& s, const sql::Statement& st) {
  using sql::StmtKind;
  const sql::NameList* name = nullptr;
  std::string owner, object;
  switch (st.kind) {
    case StmtKind::kCreateTable:
      if (st.create_table) name = &st.create_table->name;
      break;
    case StmtKind::kDropTable:
    case StmtKind::kDropSequence:
      if (st.drop) name = &st.drop->name;
      if (st.kind == StmtKind::kDropSequence && st.sequence) name = &st.sequence->name;
      break;
    case StmtKind::kAlterTable:
      // Columns that change or go, and a new name; new columns and
      // constraints leave what uses the table valid.
      if (st.alter_table && !st.alter_table->partition &&
          (st.alter_table->action == sql::AlterAction::kModifyColumns ||
           st.alter_table->action == sql::AlterAction::kDropColumns ||
           st.alter_table->action == sql::AlterAction::kRenameColumn ||
           st.alter_table->action == sql::AlterAction::kRenameTable))
        name = &st.alter_table->table;
      break;
    case StmtKind::kCreateView:
    case StmtKind::kDropView:
      if (st.view) name = &st.view->name;
      break;
    case StmtKind::kCreateSynonym:
    case StmtKind::kDropSynonym:
      if (st.synonym) {
        name = &st.synonym->name;
        if (st.synonym->is_public) owner = "PUBLIC";
      }
      break;
    case StmtKind::kRename:
      if (st.rename) {
        owner = s.current_schema();
        object = st.rename->from.text;
      }
      break;
    case StmtKind::kMview:
      if (st.mview && st.mview->action == sql::MviewStmt::kDrop) name = &st.mview->name;
      break;
    default:
      break;
  }
  if (name != nullptr) {
    std::string o;
    cat::SplitName(s, *name, &o, &object);
    if (owner.empty()) owner = o;
  }
  if (object.empty()) return Status::Ok();
  return InvalidateDependents(s, owner, object);
}

Status ForgetUnit(Session& s, const std::string& owner, const std::string& name,
                  const std::string& type) {
  for (const char* sql : {"DELETE FROM tab$errors WHERE owner = ?1 AND name = ?2 AND type = ?3",
                          "DELETE FROM tab$dependencies WHERE owner = ?1 AND name = ?2 AND type = ?3"}) {
    sqlite3_stmt* q = nullptr;
    TABDB_RETURN_IF_ERROR(s.db().Cached(sql, &q));
    BindText(q, 1, owner);
    BindText(q, 2, name);
    BindText(q, 3, type);
    TABDB_RETURN_IF_ERROR(s.db().Run(q));
  }
  return Status::Ok();
}

Status FindCodeObject(Session& s, const std::string& owner, const std::string& name,
                      CodeObject* out, bool* found) {
  *out = CodeObject();
  *found = false;
  if (!owner.empty()) {
    out->synonym_owner = owner;
    return FollowToCode(s, owner, name, out, found);
  }
  out->synonym_owner = s.current_schema();
  TABDB_RETURN_IF_ERROR(FollowToCode(s, s.current_schema(), name, out, found));
  if (*found) return Status::Ok();
  // Nothing of that name in the schema: a public synonym, else a supplied
  // package (which Oracle reaches through its public synonym).
  int64_t obj = 0;
  std::string type;
  TABDB_RETURN_IF_ERROR(cat::FindObject(s, s.current_schema(), name, &obj, &type));
  if (obj != 0) return Status::Ok();
  *out = CodeObject();
  out->synonym_owner = "PUBLIC";
  TABDB_RETURN_IF_ERROR(FollowToCode(s, "PUBLIC", name, out, found));
  if (*found) {
    out->via_synonym = true;
    return Status::Ok();
  }
  if (SuppliedPackage(name, out)) {
    out->via_synonym = true;
    out->synonym_owner = "PUBLIC";
    *found = true;
  }
  return Status::Ok();
}

Status FindSchemaObject(Session& s, const std::string& owner, const std::string& name, int64_t* obj_id,
                        std::string* type) {
  return cat::FindObject(s, owner, name, obj_id, type);
}

Status ResolveCodeObject(Session& s, const sql::NameList& name, CodeObject* out, bool* found) {
  *found = false;
  if (name.empty() || name.size() > 2) return Status::Ok();
  if (name.size() == 1) return FindCodeObject(s, "", name[0].text, out, found);
  return FindCodeObject(s, name[0].text, name[1].text, out, found);
}

Status MayExecute(Session& s, const CodeObject& o, bool* may, bool* visible) {
  *may = true;
  *visible = true;
  const UserInfo& u = s.user();
  if (o.owner == u.name || u.dba) return Status::Ok();
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "SELECT max(privilege = 'EXECUTE'), count(*) FROM tab$privs"
      " WHERE obj_id = ?1 AND grantee IN (?2, 'PUBLIC')",
      &q));
  sqlite3_bind_int64(q, 1, o.obj_id);
  BindText(q, 2, u.name);
  bool row = false;
  TABDB_RETURN_IF_ERROR(s.db().Step(q, &row));
  bool execute = row && sqlite3_column_int(q, 0) != 0;
  int64_t any = row ? sqlite3_column_int64(q, 1) : 0;
  sqlite3_reset(q);
  // What supplied packages Oracle grants to PUBLIC.
  if (o.supplied && o.name != "DBMS_CRYPTO" && o.name != "UTL_FILE" && o.name != "DBMS_LOCK" &&
      o.name != "UTL_HTTP" && o.name != "UTL_SMTP" && o.name != "UTL_TCP" && o.name != "UTL_MAIL" &&
      o.name != "DBMS_RLS" && o.name != "DBMS_AQADM" && o.name != "DBMS_REDEFINITION" &&
      o.name != "DBMS_DEBUG")
    execute = true;
  if (execute) return Status::Ok();
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "SELECT 1 FROM tab$privs WHERE obj_id = 0 AND grantee IN (?1, 'PUBLIC')"
      " AND privilege = 'EXECUTE ANY PROCEDURE'",
      &q));
  BindText(q, 1, u.name);
  TABDB_RETURN_IF_ERROR(s.db().Step(q, &row));
  sqlite3_reset(q);
  if (row && !o.supplied) return Status::Ok();
  *may = false;
  *visible = any > 0;
  return Status::Ok();
}

std::string SuppliedPackagesSql() {
  // The packages granted on, found by a search of the grants' key over the
  // supplied packages' ids.
  int64_t n = static_cast<int64_t>(sizeof kSuppliedPackages / sizeof kSuppliedPackages[0]);
  std::string sql = "SELECT DISTINCT obj_id, 'SYS' AS owner, CASE obj_id";
  for (int64_t i = 0; i < n; ++i)
    sql += " WHEN " + std::to_string(kSuppliedBase + i) + " THEN '" + kSuppliedPackages[i] + "'";
  sql += " END AS name, 'PACKAGE' AS type FROM tab$privs WHERE obj_id BETWEEN " + std::to_string(kSuppliedBase) +
         " AND " + std::to_string(kSuppliedBase + n - 1);
  return sql;
}

bool FindCodeView(Session& s, const std::string& name, DictionaryView* out, Status* status) {
  *status = Status::Ok();
  std::string base;
  int family = 0;  // 0 ALL, 1 USER, 2 DBA
  if (name.rfind("ALL_", 0) == 0) {
    base = name.substr(4);
  } else if (name.rfind("USER_", 0) == 0) {
    base = name.substr(5);
    family = 1;
  } else if (name.rfind("DBA_", 0) == 0) {
    base = name.substr(4);
    family = 2;
  } else {
    return false;
  }
  if (base != "ERRORS" && base != "DEPENDENCIES") return false;
  if (family == 2 && !s.user().dba) {
    *status = OraError(ora::kTableNotExist);
    return true;
  }
  auto V = [](int n) {
    TypeDesc t;
    t.kind = TypeKind::kVarchar2;
    t.length = n;
    return t;
  };
  TypeDesc num;
  num.kind = TypeKind::kNumber;
  struct Col {
    const char* name;
    TypeDesc type;
    std::string expr;
  };
  std::vector<Col> cols;
  std::string from;
  std::string me = cat::SqlString(s.user().name);
  if (base == "ERRORS") {
    cols = {{"OWNER", V(128), "e.owner"},
            {"NAME", V(128), "e.name"},
            {"TYPE", V(12), "e.type"},
            {"SEQUENCE", num, "tabdb_num(e.sequence)"},
            {"LINE", num, "tabdb_num(e.line)"},
            {"POSITION", num, "tabdb_num(e.position)"},
            {"TEXT", V(4000), "e.text"},
            {"ATTRIBUTE", V(9), "e.attribute"},
            {"MESSAGE_NUMBER", num, "tabdb_num(e.message_number)"}};
    from = "FROM tab$errors e WHERE 1";
    if (family == 1 || (family == 0 && !s.user().dba)) from += " AND e.owner = " + me;
    from += " ORDER BY e.owner, e.name, e.type, e.sequence";
  } else {
    cols = {{"OWNER", V(128), "d.owner"},
            {"NAME", V(128), "d.name"},
            {"TYPE", V(18), "d.type"},
            {"REFERENCED_OWNER", V(128), "d.ref_owner"},
            {"REFERENCED_NAME", V(128), "d.ref_name"},
            {"REFERENCED_TYPE", V(18), "d.ref_type"},
            {"REFERENCED_LINK_NAME", V(128), "NULL"},
            {"SCHEMAID", num, "(SELECT tabdb_num(u.user_id) FROM tab$users u WHERE u.name = d.owner)"},
            {"DEPENDENCY_TYPE", V(4), "'HARD'"}};
    from = "FROM tab$dependencies d WHERE 1";
    if (family == 1 || (family == 0 && !s.user().dba)) from += " AND d.owner = " + me;
    from += " ORDER BY d.owner, d.name, d.type, d.ref_owner, d.ref_name";
  }
  EnsureDictionaryFunctions(s.db().handle());
  out->name = name;
  out->columns.clear();
  std::string select;
  for (const Col& c : cols) {
    if (family == 1 && std::string(c.name) == "OWNER") continue;
    if (family == 1 && std::string(c.name) == "SCHEMAID") continue;
    select += (select.empty() ? "" : ", ") + c.expr + " AS \"" + c.name + "\"";
    out->columns.push_back({c.name, c.type});
  }
  out->sql = "SELECT " + select + " " + from;
  return true;
}

}  // namespace tabdb

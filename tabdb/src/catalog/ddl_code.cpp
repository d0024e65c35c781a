// ddl_code.cpp - stored code (procedures, functions, packages, triggers,
// types) kept as source lines for the *_SOURCE views; procedures,
// functions and packages are compiled when created (code_units.cpp keeps
// their status, errors and dependencies).
#include <sqlite3.h>

#include "catalog/catalog_internal.h"
#include "catalog/code_units.h"
#include "sql/lexer.h"
#include "storage/sqlite_util.h"
#include "util/errors.h"

namespace tabdb {
namespace cat {
namespace {

Status Prepare(Session& s, const char* sql, SqliteStmt* out) {
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(s.db().handle(), sql, -1, &st, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(st);
    return SqliteError(s.db().handle(), rc);
  }
  out->reset(st);
  return Status::Ok();
}

Status Done(Session& s, SqliteStmt& st) {
  int rc = sqlite3_step(st.get());
  if (rc != SQLITE_DONE && rc != SQLITE_ROW) return SqliteError(s.db().handle(), rc);
  return Status::Ok();
}

// Triggers have a namespace of their own; the other kinds share the one of
// tables, except that a body goes with its specification.
bool SameNamespace(const std::string& a, const std::string& b) {
  return (a == "TRIGGER") == (b == "TRIGGER");
}
bool Pairs(const std::string& a, const std::string& b) {
  return (a == "PACKAGE" && b == "PACKAGE BODY") || (a == "PACKAGE BODY" && b == "PACKAGE") ||
         (a == "TYPE" && b == "TYPE BODY") || (a == "TYPE BODY" && b == "TYPE");
}

// Records a unit's object id and times for ALL_OBJECTS: a new unit gets an
// id and its creation time, a replaced or altered one a new last DDL
// time; a dropped one (with its body) is forgotten.
Status NoteUnit(Session& s, const std::string& owner, const std::string& name,
                const std::string& type, bool dropped) {
  SqliteStmt st;
  if (dropped) {
    TABDB_RETURN_IF_ERROR(Prepare(
        s, "DELETE FROM tab$code WHERE owner = ?1 AND name = ?2 AND (type = ?3 OR type = ?3 || ' BODY')",
        &st));
  } else {
    int64_t id = 0;
    TABDB_RETURN_IF_ERROR(s.db().NextId("next_obj", &id));
    TABDB_RETURN_IF_ERROR(Prepare(
        s, "INSERT INTO tab$code(owner, name, type, obj_id, created, last_ddl)"
           " VALUES(?1, ?2, ?3, ?4, julianday('now'), julianday('now'))"
           " ON CONFLICT DO UPDATE SET last_ddl = excluded.last_ddl",
        &st));
    st.BindInt(4, id);
  }
  st.BindText(1, owner);
  st.BindText(2, name);
  st.BindText(3, type);
  return Done(s, st);
}

// The table (or view) a DML trigger is defined on: the name after the
// first ON of its header (BEFORE INSERT OR UPDATE OF a ON [schema.]t).
// *found false for a trigger on DATABASE or SCHEMA, or a header not read.
void TriggerTable(Session& s, const std::string& source, std::string* owner, std::string* table,
                  bool* found) {
  *found = false;
  std::vector<sql::Token> t;
  (void)sql::TokenizePlsql(source, &t);
  for (size_t i = 0; i + 1 < t.size(); ++i) {
    if (t[i].kind != sql::TokenKind::kIdent) continue;
    // The header ends where the body or its options begin.
    if (t[i].text == "DECLARE" || t[i].text == "BEGIN" || (t[i].text == "FOR" && t[i + 1].text == "EACH") || t[i].text == "WHEN" ||
        t[i].text == "REFERENCING" || t[i].text == "COMPOUND" || t[i].text == "CALL")
      return;
    if (t[i].text != "ON") continue;
    const sql::Token& a = t[i + 1];
    if (a.kind != sql::TokenKind::kIdent && a.kind != sql::TokenKind::kQuotedIdent) return;
    bool qualified = i + 3 < t.size() && t[i + 2].kind == sql::TokenKind::kSymbol && t[i + 2].text == ".";
    if (!qualified && a.kind == sql::TokenKind::kIdent &&
        (a.text == "DATABASE" || a.text == "SCHEMA" || a.text == "NESTED"))
      return;
    if (qualified) {
      *owner = a.text;
      *table = t[i + 3].text;
    } else {
      *owner = s.current_schema();
      *table = a.text;
    }
    *found = true;
    return;
  }
}

// Whether a trigger's header asks for it to be created DISABLED: the
// word DISABLE before its body, outside parentheses.
bool CreatedDisabled(const std::string& source) {
  std::vector<sql::Token> t;
  (void)sql::TokenizePlsql(source, &t);
  int depth = 0;
  for (const sql::Token& k : t) {
    if (k.kind == sql::TokenKind::kSymbol) depth += k.text == "(" ? 1 : k.text == ")" ? -1 : 0;
    if (k.kind != sql::TokenKind::kIdent || depth != 0) continue;
    if (k.text == "DECLARE" || k.text == "BEGIN" || k.text == "CALL" || k.text == "COMPOUND") return false;
    if (k.text == "DISABLE") return true;
  }
  return false;
}

// The triggers (owner, name) on table or view owner.table.
Status TriggersOnTable(Session& s, const std::string& owner, const std::string& table,
                       std::vector<std::pair<std::string, std::string>>* out) {
  TABDB_RETURN_IF_ERROR(EnsureSourceTable(s));
  SqliteStmt all;
  TABDB_RETURN_IF_ERROR(
      Prepare(s, "SELECT owner, name, text FROM tab$source WHERE type = 'TRIGGER' ORDER BY owner, name, line", &all));
  std::vector<std::pair<std::string, std::string>> names;
  std::vector<std::string> sources;
  while (sqlite3_step(all.get()) == SQLITE_ROW) {
    std::pair<std::string, std::string> key(all.Text(0), all.Text(1));
    if (names.empty() || names.back() != key) {
      names.push_back(key);
      sources.emplace_back();
    }
    sources.back() += all.Text(2);
  }
  all.reset();
  for (size_t i = 0; i < names.size(); ++i) {
    std::string towner, tname;
    bool on_table = false;
    // The trigger's own schema qualifies an unqualified table name.
    std::string schema = s.current_schema();
    s.set_current_schema(names[i].first);
    TriggerTable(s, sources[i], &towner, &tname, &on_table);
    s.set_current_schema(schema);
    if (on_table && towner == owner && tname == table) out->push_back(names[i]);
  }
  return Status::Ok();
}

// ALTER TABLE t ENABLE | DISABLE ALL TRIGGERS: every trigger on the table.
Status TableTriggersDdl(Session& s, const sql::StoredCode& c) {
  std::string owner, table;
  SplitName(s, c.name, &owner, &table);
  int64_t obj = 0;
  std::string type;
  TABDB_RETURN_IF_ERROR(FindObject(s, owner, table, &obj, &type));
  if (obj == 0 || type != "TABLE") return OraError(ora::kTableNotExist);
  if (owner != s.user().name && !s.user().dba) return OraError(ora::kInsufficientPrivileges);
  std::vector<std::pair<std::string, std::string>> on;
  TABDB_RETURN_IF_ERROR(TriggersOnTable(s, owner, table, &on));
  for (const auto& t : on) {
    SqliteStmt up;
    TABDB_RETURN_IF_ERROR(Prepare(s, "UPDATE tab$source SET enabled = ?3 WHERE owner = ?1 AND name = ?2 AND type = 'TRIGGER'", &up));
    up.BindText(1, t.first);
    up.BindText(2, t.second);
    up.BindInt(3, c.enable);
    TABDB_RETURN_IF_ERROR(Done(s, up));
    TABDB_RETURN_IF_ERROR(NoteUnit(s, t.first, t.second, "TRIGGER", false));
  }
  return Status::Ok();
}

}  // namespace

Status EnsureSourceTable(Session& s) {
  return s.db().Exec(
      "CREATE TABLE IF NOT EXISTS tab$source(owner TEXT NOT NULL, name TEXT NOT NULL, "
      "type TEXT NOT NULL, line INTEGER NOT NULL, text TEXT NOT NULL, "
      "enabled INTEGER NOT NULL DEFAULT 1, PRIMARY KEY(owner, name, type, line)) WITHOUT ROWID");
}

// ALTER PROCEDURE | FUNCTION | PACKAGE [BODY] ... COMPILE: compiles the
// unit again (a package with its body unless SPECIFICATION).
Status CompileUnitDdl(Session& s, const sql::StoredCode& c, const std::string& owner,
                      const std::string& name, const std::vector<std::string>& existing,
                      bool* with_errors) {
  auto has = [&](const std::string& t) {
    for (const std::string& e : existing)
      if (e == t) return true;
    return false;
  };
  if (!has(c.type)) return OraErrorText(ora::kObjectDoesNotExist, "object " + name + " does not exist");
  std::vector<std::string> units = {c.type};
  if (c.type == "PACKAGE" && !c.compile_spec_only && has("PACKAGE BODY")) units.push_back("PACKAGE BODY");
  for (const std::string& t : units) {
    bool valid = true;
    TABDB_RETURN_IF_ERROR(CompileAndRecord(s, owner, name, t, &valid));
    if (!valid) *with_errors = true;
  }
  return NoteUnit(s, owner, name, c.type, false);
}

Status DropTriggersOn(Session& s, const std::string& owner, const std::string& table) {
  std::vector<std::pair<std::string, std::string>> on;
  TABDB_RETURN_IF_ERROR(TriggersOnTable(s, owner, table, &on));
  for (const auto& t : on) {
    SqliteStmt del;
    TABDB_RETURN_IF_ERROR(Prepare(s, "DELETE FROM tab$source WHERE owner = ?1 AND name = ?2 AND type = 'TRIGGER'", &del));
    del.BindText(1, t.first);
    del.BindText(2, t.second);
    TABDB_RETURN_IF_ERROR(Done(s, del));
    TABDB_RETURN_IF_ERROR(ForgetUnit(s, t.first, t.second, "TRIGGER"));
    TABDB_RETURN_IF_ERROR(NoteUnit(s, t.first, t.second, "TRIGGER", true));
  }
  return Status::Ok();
}

Status StoredCodeDdl(Session& s, const sql::StoredCode& c, bool* with_errors) {
  TABDB_RETURN_IF_ERROR(EnsureSourceTable(s));
  if (c.table_triggers) return TableTriggersDdl(s, c);
  std::string owner, name;
  SplitName(s, c.name, &owner, &name);
  if (owner != s.user().name && !s.user().dba) return OraError(ora::kInsufficientPrivileges);
  SqliteStmt kinds;
  TABDB_RETURN_IF_ERROR(Prepare(s, "SELECT DISTINCT type FROM tab$source WHERE owner = ?1 AND name = ?2", &kinds));
  kinds.BindText(1, owner);
  kinds.BindText(2, name);
  std::vector<std::string> existing;
  while (sqlite3_step(kinds.get()) == SQLITE_ROW) existing.push_back(kinds.Text(0));
  kinds.reset();
  SqliteStmt del;
  const char* drop_sql =
      c.drop && (c.type == "PACKAGE" || c.type == "TYPE")
          ? "DELETE FROM tab$source WHERE owner = ?1 AND name = ?2 AND (type = ?3 OR type = ?3 || ' BODY')"
          : "DELETE FROM tab$source WHERE owner = ?1 AND name = ?2 AND type = ?3";
  TABDB_RETURN_IF_ERROR(Prepare(s, drop_sql, &del));
  del.BindText(1, owner);
  del.BindText(2, name);
  del.BindText(3, c.type);
  bool found = false;
  for (const std::string& e : existing) found = found || e == c.type;
  if (c.enable == 2 && (found || c.type != "TRIGGER")) return CompileUnitDdl(s, c, owner, name, existing, with_errors);
  if (c.enable >= 0) {  // ALTER TRIGGER
    if (!found) return OraErrorText(ora::kTriggerDoesNotExist, "trigger '" + owner + "." + name + "' does not exist");
    SqliteStmt up;
    TABDB_RETURN_IF_ERROR(Prepare(s, "UPDATE tab$source SET enabled = ?3 WHERE owner = ?1 AND name = ?2 AND type = 'TRIGGER'", &up));
    up.BindText(1, owner);
    up.BindText(2, name);
    up.BindInt(3, c.enable);
    TABDB_RETURN_IF_ERROR(Done(s, up));
    return NoteUnit(s, owner, name, c.type, false);
  }
  if (c.drop) {
    if (!found) return OraErrorText(ora::kObjectDoesNotExist, "object " + name + " does not exist");
    TABDB_RETURN_IF_ERROR(Done(s, del));
    TABDB_RETURN_IF_ERROR(ForgetUnit(s, owner, name, c.type));
    if (c.type == "PACKAGE" || c.type == "TYPE") TABDB_RETURN_IF_ERROR(ForgetUnit(s, owner, name, c.type + " BODY"));
    if (c.type.find(" BODY") == std::string::npos) TABDB_RETURN_IF_ERROR(InvalidateDependents(s, owner, name));
    return NoteUnit(s, owner, name, c.type, true);
  }
  for (const std::string& e : existing)
    if (e != c.type && SameNamespace(e, c.type) && !Pairs(e, c.type)) return OraError(ora::kNameAlreadyUsed);
  if (found && !c.or_replace) return OraError(ora::kNameAlreadyUsed);
  if (c.type == "TRIGGER") {
    // A trigger needs its table: Oracle refuses one on a missing table.
    std::string towner, tname;
    bool on_table = false;
    TriggerTable(s, c.source, &towner, &tname, &on_table);
    if (on_table) {
      int64_t tobj = 0;
      std::string ttype;
      TABDB_RETURN_IF_ERROR(FindObject(s, towner, tname, &tobj, &ttype));
      if (tobj == 0 || (ttype != "TABLE" && ttype != "VIEW" && ttype != "SYNONYM"))
        return OraError(ora::kTableNotExist);
    }
  }
  if (c.type != "TRIGGER") {
    SqliteStmt obj;
    TABDB_RETURN_IF_ERROR(Prepare(s, "SELECT 1 FROM tab$objects WHERE owner = ?1 AND name = ?2 AND type <> 'INDEX'", &obj));
    obj.BindText(1, owner);
    obj.BindText(2, name);
    if (sqlite3_step(obj.get()) == SQLITE_ROW) return OraError(ora::kNameAlreadyUsed);
  }
  TABDB_RETURN_IF_ERROR(Done(s, del));
  SqliteStmt ins;
  TABDB_RETURN_IF_ERROR(Prepare(s, "INSERT INTO tab$source(owner, name, type, line, text) VALUES(?1, ?2, ?3, ?4, ?5)", &ins));
  // One row per line, each with its line end, as Oracle keeps them.
  size_t pos = 0;
  int64_t line = 0;
  while (pos < c.source.size() || line == 0) {
    size_t nl = c.source.find('\n', pos);
    size_t end = nl == std::string::npos ? c.source.size() : nl + 1;
    sqlite3_reset(ins.get());
    ins.BindText(1, owner);
    ins.BindText(2, name);
    ins.BindText(3, c.type);
    ins.BindInt(4, ++line);
    ins.BindText(5, std::string_view(c.source).substr(pos, end - pos));
    TABDB_RETURN_IF_ERROR(Done(s, ins));
    pos = end;
  }
  if (c.type == "TRIGGER" && CreatedDisabled(c.source)) {
    SqliteStmt off;
    TABDB_RETURN_IF_ERROR(Prepare(s, "UPDATE tab$source SET enabled = 0 WHERE owner = ?1 AND name = ?2 AND type = 'TRIGGER'", &off));
    off.BindText(1, owner);
    off.BindText(2, name);
    TABDB_RETURN_IF_ERROR(Done(s, off));
  }
  TABDB_RETURN_IF_ERROR(NoteUnit(s, owner, name, c.type, false));
  if (!IsRunnableUnitType(c.type)) return Status::Ok();
  // What used the unit (a body its specification) compiles again when
  // next used; the unit itself compiles now, and is kept INVALID with its
  // errors when it does not.
  if (c.type != "PACKAGE BODY") TABDB_RETURN_IF_ERROR(InvalidateDependents(s, owner, name));
  bool valid = true;
  TABDB_RETURN_IF_ERROR(CompileAndRecord(s, owner, name, c.type, &valid));
  *with_errors = !valid;
  return Status::Ok();
}

// One unit as DBMS_METADATA writes it: the header regenerated with the
// quoted, owner-qualified name, then the stored text after the name.
Status UnitText(Session& s, const std::string& owner, const std::string& name,
                const std::string& type, std::string* out, bool* found, bool* enabled) {
  SqliteStmt st;
  TABDB_RETURN_IF_ERROR(Prepare(s, "SELECT text, enabled FROM tab$source WHERE owner = ?1 AND name = ?2 AND type = ?3 ORDER BY line", &st));
  st.BindText(1, owner);
  st.BindText(2, name);
  st.BindText(3, type);
  std::string src;
  *found = false;
  while (sqlite3_step(st.get()) == SQLITE_ROW) {
    *found = true;
    src += st.Text(0);
    *enabled = st.Int(1) != 0;
  }
  if (!*found) return Status::Ok();
  std::vector<sql::Token> t;
  (void)sql::TokenizePlsql(src, &t);
  size_t k = type.find(' ') == std::string::npos ? 1 : 2;  // the kind's words
  size_t rest = 0;
  if (k < t.size() && t[k].kind != sql::TokenKind::kEnd) {
    rest = t[k].end;
    if (k + 2 < t.size() && t[k + 1].text == "." && t[k + 1].kind == sql::TokenKind::kSymbol)
      rest = t[k + 2].end;
  }
  *out = "CREATE OR REPLACE EDITIONABLE " + type + " \"" + owner + "\".\"" + name + "\" " +
         src.substr(rest);
  return Status::Ok();
}

Status StoredCodeText(Session& s, const std::string& type, const std::string& name,
                      const std::string& owner, std::string* out, bool* handled) {
  *handled = false;
  static const char* const kTypes[] = {"PROCEDURE", "FUNCTION", "PACKAGE", "PACKAGE_SPEC",
                                       "PACKAGE_BODY", "TRIGGER", "TYPE", "TYPE_SPEC", "TYPE_BODY"};
  bool known = false;
  for (const char* k : kTypes) known = known || type == k;
  if (!known || (!s.user().dba && owner != s.user().name)) return Status::Ok();
  std::vector<std::string> units;
  if (type == "PACKAGE" || type == "TYPE") {
    units = {type, type + " BODY"};
  } else if (type == "PACKAGE_SPEC" || type == "TYPE_SPEC") {
    units = {type.substr(0, type.find('_'))};
  } else if (type == "PACKAGE_BODY" || type == "TYPE_BODY") {
    units = {type.substr(0, type.find('_')) + " BODY"};
  } else {
    units = {type};
  }
  if (!EnsureSourceTable(s).ok()) return Status::Ok();
  bool term = s.transforms().sqlterminator;
  std::string text;
  bool enabled = true;
  for (size_t i = 0; i < units.size(); ++i) {
    std::string unit;
    bool found = false;
    TABDB_RETURN_IF_ERROR(UnitText(s, owner, name, units[i], &unit, &found, &enabled));
    if (!found) {
      if (i == 0) return Status::Ok();
      continue;
    }
    if (!text.empty()) text += term ? "\n" : "\n  ";
    text += unit;
    if (term) text += "\n/";
  }
  if (type == "TRIGGER") {
    text += "\nALTER TRIGGER \"" + owner + "\".\"" + name + (enabled ? "\" ENABLE" : "\" DISABLE");
    if (term) text += ";";
  }
  *out = "\n  " + text;
  *handled = true;
  return Status::Ok();
}

}  // namespace cat

Status FindStoredCode(Session& s, const std::string& owner, const std::string& name, bool* found) {
  *found = false;
  SqliteStmt st;
  if (!cat::Prepare(s, "SELECT 1 FROM tab$source WHERE owner = ?1 AND name = ?2 AND type <> 'TRIGGER'", &st).ok())
    return Status::Ok();  // no stored code yet
  st.BindText(1, owner);
  st.BindText(2, name);
  *found = sqlite3_step(st.get()) == SQLITE_ROW;
  return Status::Ok();
}

}  // namespace tabdb

// ddl_dimension.cpp - CREATE and DROP DIMENSION: the names checked against
// the catalog (levels on tables the creator may read, their columns, the
// levels each hierarchy and attribute names), the statement kept in
// tab$dimensions in the form DBMS_METADATA.GET_DDL gives back, every name
// quoted and every table with its owner.
#include <map>
#include <set>

#include "catalog/catalog.h"
#include "catalog/catalog_internal.h"
#include "util/errors.h"

namespace tabdb {
namespace cat {
namespace {

// Resolves and checks the columns of a dimension against their tables,
// each column written back as "OWNER"."TABLE"."COLUMN".
class Columns {
 public:
  Columns(Session& s, const std::string& owner) : s_(s), owner_(owner) {}

  // `c` is [schema.]table.column, or column alone when `level_table` (the
  // "OWNER"."TABLE" its level's columns are on) is given.
  Status Resolve(const sql::NameList& c, const std::string& level_table, std::string* out) {
    if (c.empty()) return OraError(ora::kInvalidIdentifier, {""});
    std::string column = c.back().text;
    if (c.size() == 1) {
      if (level_table.empty()) return OraError(ora::kInvalidIdentifier, {column});
      auto it = tables_.find(level_table);
      if (it == tables_.end() || !it->second.FindColumn(column)) return OraError(ora::kInvalidIdentifier, {column});
      *out = level_table + "." + Quote(column);
      return Status::Ok();
    }
    std::string owner = c.size() == 3 ? c[0].text : owner_;
    std::string table = c[c.size() - 2].text;
    std::string key = Quote(owner) + "." + Quote(table);
    auto it = tables_.find(key);
    if (it == tables_.end()) {
      int64_t obj = 0;
      std::string type;
      TABDB_RETURN_IF_ERROR(FindObject(s_, owner, table, &obj, &type));
      if (obj == 0 || type != "TABLE") return OraError(ora::kTableNotExist);
      TABDB_RETURN_IF_ERROR(CheckObjectPrivilege(s_, owner, obj, "SELECT"));
      TableInfo t;
      TABDB_RETURN_IF_ERROR(LoadTableById(s_, obj, &t));
      it = tables_.emplace(key, std::move(t)).first;
    }
    const ColumnInfo* col = it->second.FindColumn(column);
    if (!col || col->hidden) return OraError(ora::kInvalidIdentifier, {Quote(table) + "." + Quote(column)});
    *out = key + "." + Quote(column);
    return Status::Ok();
  }

  // "(a, b)" of the resolved columns; *table the table of the first.
  Status List(const std::vector<sql::NameList>& cols, const std::string& level_table, std::string* out,
              std::string* table) {
    std::string text = "(";
    for (size_t i = 0; i < cols.size(); ++i) {
      std::string one;
      TABDB_RETURN_IF_ERROR(Resolve(cols[i], level_table, &one));
      if (i == 0 && table) *table = one.substr(0, one.rfind('.'));
      text += (i ? ", " : "") + one;
    }
    *out = text + ")";
    return Status::Ok();
  }

 private:
  Session& s_;
  std::string owner_;
  std::map<std::string, TableInfo> tables_;  // "OWNER"."TABLE" -> its columns
};

// The statement as DBMS_METADATA gives it, checked against the catalog.
Status DimensionText(Session& s, const sql::DimensionStmt& d, const std::string& owner, const std::string& name,
                     std::string* out) {
  Columns cols(s, owner);
  std::map<std::string, std::string> level_tables;  // level -> "OWNER"."TABLE"
  std::string text = "\n  CREATE DIMENSION " + Quote(owner) + "." + Quote(name);
  for (const auto& l : d.levels) {
    if (level_tables.count(l.name.text)) return OraError(ora::kLevelNotUnique);
    std::string list, table;
    TABDB_RETURN_IF_ERROR(cols.List(l.columns, "", &list, &table));
    level_tables[l.name.text] = table;
    text += "\n    LEVEL " + Quote(l.name.text) + " IS " + list;
    if (l.skip_when_null) text += " SKIP WHEN NULL";
  }
  auto level = [&](const sql::Name& n) -> Status {
    return level_tables.count(n.text) ? Status::Ok() : OraError(ora::kLevelNotDefined);
  };
  std::set<std::string> hierarchies;
  for (const auto& h : d.hierarchies) {
    if (!hierarchies.insert(h.name.text).second) return OraError(ora::kHierarchyNotUnique);
    text += "\n    HIERARCHY " + Quote(h.name.text) + " (";
    for (size_t i = 0; i < h.levels.size(); ++i) {
      TABDB_RETURN_IF_ERROR(level(h.levels[i]));
      text += (i ? "\n      CHILD OF " : "\n      ") + Quote(h.levels[i].text);
    }
    for (const auto& j : h.joins) {
      TABDB_RETURN_IF_ERROR(level(j.parent));
      // an unqualified key column is one of the hierarchy's first level
      std::string list;
      TABDB_RETURN_IF_ERROR(cols.List(j.columns, level_tables[h.levels[0].text], &list, nullptr));
      text += "\n      JOIN KEY " + list + " REFERENCES " + Quote(j.parent.text);
    }
    text += ")";
  }
  for (const auto& a : d.attributes) {
    TABDB_RETURN_IF_ERROR(level(a.level));
    std::string list;
    TABDB_RETURN_IF_ERROR(cols.List(a.columns, level_tables[a.level.text], &list, nullptr));
    const std::string& attr = a.name.text.empty() ? a.level.text : a.name.text;
    text += "\n    ATTRIBUTE " + Quote(attr) + " LEVEL " + Quote(a.level.text) + " DETERMINES " + list;
  }
  *out = std::move(text);
  return Status::Ok();
}

}  // namespace

Status DimensionDdl(Session& s, const sql::DimensionStmt& d) {
  std::string owner, name;
  SplitName(s, d.name, &owner, &name);
  TABDB_RETURN_IF_ERROR(CheckSchemaWrite(s, owner));
  sqlite3_stmt* q = nullptr;
  if (d.drop) {
    int64_t obj = 0;
    std::string type;
    TABDB_RETURN_IF_ERROR(FindObject(s, owner, name, &obj, &type));
    if (obj == 0 || type != "DIMENSION") return OraError(ora::kDimensionNotExist);
    for (const char* sql : {"DELETE FROM tab$dimensions WHERE obj_id = ?1", "DELETE FROM tab$objects WHERE obj_id = ?1"}) {
      TABDB_RETURN_IF_ERROR(s.db().Cached(sql, &q));
      sqlite3_bind_int64(q, 1, obj);
      TABDB_RETURN_IF_ERROR(s.db().Run(q));
    }
    return Status::Ok();
  }
  std::string text;
  TABDB_RETURN_IF_ERROR(DimensionText(s, d, owner, name, &text));
  int64_t obj = 0;
  TABDB_RETURN_IF_ERROR(AddObject(s, owner, name, "DIMENSION", &obj));
  TABDB_RETURN_IF_ERROR(s.db().Cached("INSERT INTO tab$dimensions(obj_id, text) VALUES(?1, ?2)", &q));
  sqlite3_bind_int64(q, 1, obj);
  sqlite3_bind_text(q, 2, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  return s.db().Run(q);
}

}  // namespace cat

Status DimensionDdlText(Session& s, const std::string& owner, const std::string& name, std::string* out,
                        bool* found) {
  *found = false;
  int64_t obj = 0;
  std::string type;
  TABDB_RETURN_IF_ERROR(cat::FindObject(s, owner, name, &obj, &type));
  if (obj == 0 || type != "DIMENSION") return Status::Ok();
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached("SELECT text FROM tab$dimensions WHERE obj_id = ?1", &q));
  sqlite3_bind_int64(q, 1, obj);
  bool row = false;
  TABDB_RETURN_IF_ERROR(s.db().Step(q, &row));
  if (row) {
    const unsigned char* t = sqlite3_column_text(q, 0);
    *out = t ? reinterpret_cast<const char*>(t) : "";
    *found = true;
  }
  sqlite3_reset(q);
  return Status::Ok();
}

}  // namespace tabdb

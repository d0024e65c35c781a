// dictionary_extents.cpp - DBA_EXTENTS and USER_EXTENTS: the extents of
// the segments of ordinary tables, in the ROWID numbering of rowid.h, so
// that a reader can split a table into ROWID ranges as it would on Oracle
// (DBMS_ROWID.ROWID_CREATE at an extent's first and last block).
//
// An extent is 8 blocks of 32 rows (256 SQLite rowids, 64 KB as the
// tablespace's uniform size says); only the extents that hold rows are
// listed, in rowid order. Partitioned and index-organized tables have no
// segment of their own, a table that never had a row has none yet
// (deferred segment creation), and a table holding a rowid without a
// ROWID lists none either, so it is read whole.
#include <sqlite3.h>

#include <climits>
#include <string>

#include "catalog/catalog_internal.h"
#include "catalog/dictionary.h"
#include "util/errors.h"
#include "values/rowid.h"

namespace tabdb {
namespace cat {
namespace {

constexpr int64_t kBlocksPerExtent = 8;
constexpr int64_t kRowsPerExtent = kBlocksPerExtent * kRowsPerBlock;
constexpr int64_t kBlockBytes = 8192;

// tabdb_extents(phys): the extents holding rows of the physical table, as
// a JSON array of [relative file, first block, blocks]. One seek per
// extent: the first rowid at or after the extent's start. A rowid without
// a ROWID (negative, or from kRowidLimit up) leaves the table none.
void ExtentsFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const unsigned char* phys = sqlite3_value_text(argv[0]);
  if (phys == nullptr) {
    sqlite3_result_null(ctx);
    return;
  }
  sqlite3* db = sqlite3_context_db_handle(ctx);
  // The physical name is the catalog's own (tab$tables.phys), quoted for SQL.
  std::string quoted = "\"";
  for (const unsigned char* c = phys; *c; ++c) quoted += *c == '"' ? std::string("\"\"") : std::string(1, static_cast<char>(*c));
  quoted += "\"";
  sqlite3_stmt* next = nullptr;
  int rc = sqlite3_prepare_v2(db, ("SELECT rowid FROM " + quoted + " WHERE rowid >= ?1 ORDER BY rowid LIMIT 1").c_str(),
                              -1, &next, nullptr);
  std::string json = "[";
  bool whole = true;
  for (int64_t from = INT64_MIN; rc == SQLITE_OK;) {
    sqlite3_bind_int64(next, 1, from);
    rc = sqlite3_step(next);
    if (rc != SQLITE_ROW) {
      rc = rc == SQLITE_DONE ? SQLITE_OK : rc;
      break;
    }
    int64_t r = sqlite3_column_int64(next, 0);
    rc = sqlite3_reset(next);
    RowidParts p;
    if (!RowidOfRow(0, r, &p)) {
      whole = false;
      break;
    }
    if (json.size() > 1) json += ",";
    json += "[" + std::to_string(p.file) + "," + std::to_string(p.block - p.block % kBlocksPerExtent) + "," +
            std::to_string(kBlocksPerExtent) + "]";
    from = r - r % kRowsPerExtent + kRowsPerExtent;
  }
  sqlite3_finalize(next);
  if (rc != SQLITE_OK) {
    std::string msg = sqlite3_errmsg(db);
    sqlite3_result_error(ctx, msg.c_str(), static_cast<int>(msg.size()));
    return;
  }
  json = whole ? json + "]" : "[]";
  sqlite3_result_text(ctx, json.data(), static_cast<int>(json.size()), SQLITE_TRANSIENT);
}

}  // namespace

int RegisterExtentFunctions(sqlite3* db) {
  return sqlite3_create_function_v2(db, "tabdb_extents", 1, SQLITE_UTF8, nullptr, ExtentsFunc, nullptr, nullptr,
                                    nullptr);
}

bool FindExtentView(Session& s, const std::string& name, DictionaryView* out, Status* status) {
  bool dba = name == "DBA_EXTENTS";
  if (!dba && name != "USER_EXTENTS") return false;
  if (dba && !s.user().dba) {
    *status = OraError(ora::kTableNotExist);
    return true;
  }
  *status = Status::Ok();
  EnsureDictionaryFunctions(s.db().handle());
  TypeDesc num;
  num.kind = TypeKind::kNumber;
  auto text = [](int n) {
    TypeDesc t;
    t.kind = TypeKind::kVarchar2;
    t.length = n;
    return t;
  };
  struct Col {
    const char* name;
    TypeDesc type;
    std::string expr;
    bool dba_only;
  };
  const std::string tablespace = "coalesce(json_extract(t.attrs, '$.tablespace'), '" +
                                 std::string(kDefaultTablespace) + "')";
  const Col cols[] = {
      {"OWNER", text(128), "o.owner", true},
      {"SEGMENT_NAME", text(128), "o.name", false},
      {"PARTITION_NAME", text(128), "NULL", false},
      {"SEGMENT_TYPE", text(18), "'TABLE'", false},
      {"TABLESPACE_NAME", text(30), tablespace, false},
      {"EXTENT_ID", num, "tabdb_num(json_each.key)", false},
      {"FILE_ID", num, "tabdb_num(json_each.value ->> 0)", true},
      {"BLOCK_ID", num, "tabdb_num(json_each.value ->> 1)", true},
      {"BYTES", num, "tabdb_num((json_each.value ->> 2) * " + std::to_string(kBlockBytes) + ")", false},
      {"BLOCKS", num, "tabdb_num(json_each.value ->> 2)", false},
      {"RELATIVE_FNO", num, "tabdb_num(json_each.value ->> 0)", true},
  };
  out->name = name;
  out->columns.clear();
  std::string select;
  for (const Col& c : cols) {
    if (c.dba_only && !dba) continue;
    select += (select.empty() ? "" : ", ") + c.expr + " AS \"" + c.name + "\"";
    out->columns.push_back({c.name, c.type});
  }
  out->sql = "SELECT " + select +
             " FROM tab$objects o JOIN tab$tables t ON t.obj_id = o.obj_id, json_each(tabdb_extents(t.phys))"
             " WHERE o.type = 'TABLE' AND t.has_rows AND t.temp_rows IS NULL"
             " AND NOT EXISTS (SELECT 1 FROM tab$part_objs po WHERE po.obj_id = o.obj_id)"
             " AND NOT EXISTS (SELECT 1 FROM tab$iot w WHERE w.obj_id = o.obj_id)";
  if (!dba) out->sql += " AND o.owner = " + SqlString(s.user().name);
  return true;
}

}  // namespace cat
}  // namespace tabdb

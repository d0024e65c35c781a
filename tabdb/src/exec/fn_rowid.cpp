// fn_rowid.cpp - ROWIDs in SQL: the text of a table's ROWID pseudo-column
// and the rowid bounds its comparisons compile to (tabdb_rowid,
// tabdb_rowid_bound), and the DBMS_ROWID functions that build a ROWID or
// take one apart.
#include <sqlite3.h>

#include <climits>
#include <string>

#include "exec/scalar_fns.h"
#include "exec/sqlfunc.h"
#include "util/errors.h"
#include "values/number.h"
#include "values/rowid.h"

namespace tabdb {
namespace {

void ResultError(sqlite3_context* ctx, const Status& st) {
  sqlite3_result_error(ctx, st.text().c_str(), static_cast<int>(st.text().size()));
}

// tabdb_rowid(object, rowid): the ROWID text of a row.
void RowidFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  RowidParts p;
  if (!RowidOfRow(sqlite3_value_int64(argv[0]), sqlite3_value_int64(argv[1]), &p)) {
    ResultError(ctx, OraError(ora::kInvalidRowid));
    return;
  }
  std::string text = FormatRowid(p);
  sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// tabdb_rowid_bound(x, object, op): x read as a ROWID, the bound of
// RowidBound; NULL for a NULL x.
void RowidBoundFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  const char* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  RowidParts x;
  if (text == nullptr || !ParseRowid(std::string_view(text, static_cast<size_t>(sqlite3_value_bytes(argv[0]))), &x)) {
    ResultError(ctx, OraError(ora::kInvalidRowid));
    return;
  }
  const char* op = reinterpret_cast<const char*>(sqlite3_value_text(argv[2]));
  sqlite3_result_int64(ctx, RowidBound(x, sqlite3_value_int64(argv[1]), op ? op[0] : '='));
}

bool ToInt(const Value& v, int64_t* out) {
  Number n;
  const std::string& b = v.bytes;
  return Number::Decode(reinterpret_cast<const uint8_t*>(b.data()), b.size(), &n).ok() &&
         n.Trunc(0).ToInt64(out).ok();
}

}  // namespace

int RegisterRowidFunctions(sqlite3* db) {
  int rc = sqlite3_create_function_v2(db, "tabdb_rowid", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                      RowidFunc, nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK)
    rc = sqlite3_create_function_v2(db, "tabdb_rowid_bound", 3, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                    RowidBoundFunc, nullptr, nullptr, nullptr);
  return rc;
}

// DBMS_ROWID.ROWID_CREATE(rowid_type, object_number, relative_fno,
// block_number, row_number): an extended ROWID (rowid_type 1; a field out
// of its range is ORA-01410).
void EvalRowidCreate(FnCall& c, Status* st) {
  if (c.any_null()) return;
  int64_t v[5];
  for (size_t i = 0; i < 5; ++i) {
    if (!ToInt(c.arg(i), &v[i])) {
      *st = OraError(ora::kInvalidNumber);
      return;
    }
  }
  RowidParts p;
  p.object = v[1];
  p.file = v[2];
  p.block = v[3];
  p.row = v[4];
  if (v[0] != 1 || !RowidFits(p)) {
    *st = OraError(ora::kInvalidRowid);
    return;
  }
  *c.out = Value::Of(TypeKind::kRowid, FormatRowid(p));
}

// DBMS_ROWID.ROWID_OBJECT ('O'), ROWID_RELATIVE_FNO ('F'),
// ROWID_BLOCK_NUMBER ('B') and ROWID_ROW_NUMBER ('R') of an extended
// ROWID.
void EvalRowidPart(FnCall& c, Status* st) {
  if (c.arg(0).null) return;
  RowidParts p;
  if (!ParseRowid(c.arg(0).bytes, &p)) {
    *st = OraError(ora::kInvalidRowid);
    return;
  }
  int64_t v = c.variant == 'O' ? p.object : c.variant == 'F' ? p.file : c.variant == 'B' ? p.block : p.row;
  *c.out = Value::Of(TypeKind::kNumber, Number::FromInt64(v).Encode());
}

}  // namespace tabdb

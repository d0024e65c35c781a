// compile_rowid.cpp - the ROWID pseudo-column of a table: its 18
// characters in Oracle's extended form, made from the table's object id
// and the row's SQLite rowid, and comparisons with it compiled onto the
// rowid itself, so that `WHERE ROWID = :r` finds the row by its key.
//
// Extended form: 6 characters of data object number, 3 of relative file,
// 6 of block and 3 of row in the block, in Oracle's base-64 digits
// (A-Z a-z 0-9 + /). The SQLite rowid r fills the row (its low 16 bits),
// the block (the 32 above) and the file (the rest), so that ROWIDs of one
// table sort as their rows do.
#include <cstring>

#include "exec/compiler_internal.h"
#include "exec/sqlfunc.h"
#include "util/errors.h"

namespace tabdb {
namespace {

constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t kRowidChars = 18;

void PutDigits(uint64_t v, int n, char* out) {
  for (int i = n - 1; i >= 0; --i) {
    out[i] = kDigits[v & 63];
    v >>= 6;
  }
}

// The digits' value, or false when one is not a base-64 digit.
bool TakeDigits(const char* p, int n, uint64_t* v) {
  *v = 0;
  for (int i = 0; i < n; ++i) {
    const char* d = std::strchr(kDigits, p[i]);
    if (p[i] == '\0' || d == nullptr) return false;
    *v = (*v << 6) | static_cast<uint64_t>(d - kDigits);
  }
  return true;
}

void ResultError(sqlite3_context* ctx, const Status& st) {
  sqlite3_result_error(ctx, st.text().c_str(), static_cast<int>(st.text().size()));
}

// tabdb_rowid(rowid, obj_id): the ROWID text.
void RowidFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  uint64_t r = static_cast<uint64_t>(sqlite3_value_int64(argv[0]));
  uint64_t obj = static_cast<uint64_t>(sqlite3_value_int64(argv[1]));
  char out[kRowidChars];
  PutDigits(obj & 0xFFFFFFFFu, 6, out);
  PutDigits(r >> 48, 3, out + 6);
  PutDigits((r >> 16) & 0xFFFFFFFFu, 6, out + 9);
  PutDigits(r & 0xFFFFu, 3, out + 15);
  sqlite3_result_text(ctx, out, static_cast<int>(kRowidChars), SQLITE_TRANSIENT);
}

// tabdb_rowid_key(text, obj_id): the rowid a ROWID text names in the
// table of obj_id; NULL for NULL and for a ROWID of another object (which
// names no row of this table); ORA-01410 for a text that is no ROWID.
void RowidKeyFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  const char* p = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  uint64_t obj = 0, file = 0, block = 0, row = 0;
  if (p == nullptr || sqlite3_value_bytes(argv[0]) != static_cast<int>(kRowidChars) ||
      !TakeDigits(p, 6, &obj) || !TakeDigits(p + 6, 3, &file) || !TakeDigits(p + 9, 6, &block) ||
      !TakeDigits(p + 15, 3, &row) || block > 0xFFFFFFFFu || row > 0xFFFFu || file > 0xFFFFu) {
    ResultError(ctx, OraError(ora::kInvalidRowid));
    return;
  }
  if (obj != (static_cast<uint64_t>(sqlite3_value_int64(argv[1])) & 0xFFFFFFFFu)) {
    sqlite3_result_null(ctx);
    return;
  }
  sqlite3_result_int64(ctx, static_cast<int64_t>((file << 48) | (block << 16) | row));
}

}  // namespace

int RegisterRowidFunctions(sqlite3* db) {
  int rc = sqlite3_create_function_v2(db, "tabdb_rowid", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                      RowidFunc, nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK)
    rc = sqlite3_create_function_v2(db, "tabdb_rowid_key", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                    RowidKeyFunc, nullptr, nullptr, nullptr);
  return rc;
}

Status Compiler::Rowid(CExpr* out) {
  // A row of one table has a ROWID; a view, a join or DUAL's row has none here.
  if (scope_.kind != Scope::kTable || scope_.table == nullptr) {
    if (scope_.outer != nullptr) {
      Compiler c(s_, *scope_.outer, binds_);
      return c.Rowid(out);
    }
    return OraError(ora::kPseudocolumnNotAllowed);
  }
  std::string obj = std::to_string(scope_.table->obj_id);
  out->rowid_key = scope_.alias + ".rowid";
  out->rowid_obj = obj;
  out->sql = "tabdb_rowid(" + out->rowid_key + ", " + obj + ")";
  out->type = TypeDesc();
  out->type.kind = TypeKind::kRowid;
  out->type.length = static_cast<int>(kRowidChars);
  return Status::Ok();
}

bool Compiler::RowidCompare(const char* op, const CExpr& a, const CExpr& b, CExpr* out) {
  const CExpr* key = !a.rowid_key.empty() ? &a : !b.rowid_key.empty() ? &b : nullptr;
  if (key == nullptr) return false;
  const CExpr& other = key == &a ? b : a;
  std::string other_key = !other.rowid_key.empty() && other.rowid_obj == key->rowid_obj
                              ? other.rowid_key
                              : "tabdb_rowid_key(" + ConvertTo(other, TypeKind::kVarchar2) + ", " +
                                    key->rowid_obj + ")";
  const std::string& sa = key == &a ? key->rowid_key : other_key;
  const std::string& sb = key == &a ? other_key : key->rowid_key;
  out->sql = "(" + sa + " " + op + " " + sb + ")";
  out->is_bool = true;
  return true;
}

}  // namespace tabdb

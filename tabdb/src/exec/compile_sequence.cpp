// compile_sequence.cpp - seq.NEXTVAL and seq.CURRVAL: compiled to calls of
// tabdb_seq(obj_id, mode, name), which draws from the catalog's sequence
// and keeps the session's CURRVAL.
//
// NEXTVAL is drawn once per row: the first NEXTVAL of a sequence in a
// statement draws (mode 1), later ones in the same statement repeat the
// value drawn for the row (mode 2), as SQLite evaluates a row's values in
// order. CURRVAL reads the session's last value (mode 0).
#include <algorithm>

#include "catalog/sequence.h"
#include "exec/compiler_internal.h"
#include "exec/sqlfunc.h"
#include "util/errors.h"
#include "values/number.h"

namespace tabdb {
namespace {

void ResultNumber(sqlite3_context* ctx, int64_t v) {
  uint8_t buf[kNumberBufferBytes];
  size_t n = Number::FromInt64(v).EncodeTo(buf);
  sqlite3_result_blob(ctx, buf, static_cast<int>(n), SQLITE_TRANSIENT);
}

void ResultError(sqlite3_context* ctx, const Status& st) {
  sqlite3_result_error(ctx, st.text().c_str(), static_cast<int>(st.text().size()));
}

// tabdb_seq(obj_id, mode, name)
void SeqFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Session* s = static_cast<Session*>(sqlite3_user_data(ctx));
  int64_t obj = sqlite3_value_int64(argv[0]);
  int mode = sqlite3_value_int(argv[1]);
  auto& values = s->sequence_values();
  if (mode != 1) {
    auto it = values.find(obj);
    if (it == values.end()) {
      const unsigned char* name = sqlite3_value_text(argv[2]);
      ResultError(ctx, OraError(ora::kSequenceCurrvalUndefined,
                                {name ? reinterpret_cast<const char*>(name) : ""}));
      return;
    }
    ResultNumber(ctx, it->second);
    return;
  }
  int64_t v = 0;
  Status st = SequenceNextValue(*s, obj, &v);
  if (!st.ok()) {
    ResultError(ctx, st);
    return;
  }
  values[obj] = v;
  ResultNumber(ctx, v);
}

}  // namespace

int RegisterSequenceFunctions(sqlite3* db, Session* session) {
  return sqlite3_create_function_v2(db, "tabdb_seq", 3, SQLITE_UTF8, session, SeqFunc, nullptr,
                                    nullptr, nullptr);
}

Status Compiler::Sequence(const sql::Expr& e, CExpr* out) {
  const sql::NameList& n = e.names;
  if (binds_ == nullptr || in_condition_ > 0) return OraError(ora::kSequenceNotAllowed);
  sql::NameList seq(n.begin(), n.end() - 1);
  SequenceInfo info;
  TABDB_RETURN_IF_ERROR(ResolveSequence(s_, seq, &info));
  int mode = 0;
  if (n.back().text == "NEXTVAL") {
    auto& seen = binds_->nextval_seen;
    if (std::find(seen.begin(), seen.end(), info.obj_id) == seen.end()) {
      seen.push_back(info.obj_id);
      mode = 1;
    } else {
      mode = 2;
    }
  }
  out->sql = "tabdb_seq(" + std::to_string(info.obj_id) + ", " + std::to_string(mode) + ", " +
             SqlText(seq.back().text) + ")";
  out->type = TypeDesc();
  out->type.kind = TypeKind::kNumber;
  return Status::Ok();
}

}  // namespace tabdb

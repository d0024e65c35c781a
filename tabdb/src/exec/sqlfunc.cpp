// sqlfunc.cpp - the SQL functions registered on every session connection:
// the generic scalar dispatcher, integer-to-NUMBER, and the SUM and AVG
// aggregates over Oracle numbers.
#include "exec/sqlfunc.h"

#include <cassert>
#include <cstring>
#include <memory>
#include <vector>

#include "catalog/dictionary.h"
#include "exec/compiler_internal.h"
#include "exec/convert.h"
#include "exec/foreign_keys.h"
#include "exec/functions.h"
#include "exec/plsql_units.h"
#include "exec/scalar_fns.h"
#include "storage/lob_store.h"
#include "storage/sqlite_util.h"
#include "util/errors.h"
#include "values/binfloat.h"
#include "values/number.h"

namespace tabdb {
namespace {

// Largest stored LOB value an SQL function reads whole.
constexpr size_t kMaxLobInExpression = 32 << 20;

void ResultStatus(sqlite3_context* ctx, const Status& st) {
  sqlite3_result_error(ctx, st.text().c_str(), static_cast<int>(st.text().size()));
}

void ArgValue(sqlite3_value* sv, TypeKind kind, Value* v) {
  v->kind = kind;
  v->lob_id = 0;
  v->empty_lob = false;
  switch (sqlite3_value_type(sv)) {
    case SQLITE_NULL:
      v->null = true;
      v->bytes.clear();
      return;
    case SQLITE_INTEGER:
      v->null = false;
      v->lob_id = sqlite3_value_int64(sv);
      v->bytes.clear();
      return;
    case SQLITE_TEXT: {
      v->null = false;
      const unsigned char* p = sqlite3_value_text(sv);
      v->bytes.assign(reinterpret_cast<const char*>(p), static_cast<size_t>(sqlite3_value_bytes(sv)));
      return;
    }
    default: {
      v->null = false;
      const void* p = sqlite3_value_blob(sv);
      v->bytes.assign(static_cast<const char*>(p ? p : ""), static_cast<size_t>(sqlite3_value_bytes(sv)));
      return;
    }
  }
}

void ResultValue(sqlite3_context* ctx, const Value& v) {
  if (v.null) {
    sqlite3_result_null(ctx);
  } else if (v.lob_id != 0) {
    sqlite3_result_int64(ctx, v.lob_id);
  } else if (IsTextClass(v.kind)) {
    sqlite3_result_text(ctx, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_TRANSIENT);
  } else {
    sqlite3_result_blob(ctx, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_TRANSIENT);
  }
}

// tabdb_num(x): an SQLite integer as Oracle NUMBER bytes.
void NumFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  uint8_t buf[kNumberBufferBytes];
  size_t n = Number::FromInt64(sqlite3_value_int64(argv[0])).EncodeTo(buf);
  sqlite3_result_blob(ctx, buf, static_cast<int>(n), SQLITE_TRANSIENT);
}

// tabdb_scn(): the session's system change number as a NUMBER
// (V$DATABASE.CURRENT_SCN).
void ScnFunc(sqlite3_context* ctx, int, sqlite3_value**) {
  Session* s = static_cast<Session*>(sqlite3_user_data(ctx));
  int64_t scn = 0;
  Status st = s->TakeScn(&scn);
  if (!st.ok()) {
    ResultStatus(ctx, st);
    return;
  }
  uint8_t buf[kNumberBufferBytes];
  size_t n = Number::FromInt64(scn).EncodeTo(buf);
  sqlite3_result_blob(ctx, buf, static_cast<int>(n), SQLITE_TRANSIENT);
}

// tabdb_call(fn, result_kind, arg_kinds, args...)
void CallFunc(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  Session* s = static_cast<Session*>(sqlite3_user_data(ctx));
  const SqlFunction* fn = FunctionById(sqlite3_value_int(argv[0]));
  if (fn == nullptr || fn->eval == nullptr || argc < 3) {
    ResultStatus(ctx, OraError(ora::kInternalError, {"unknown function " + std::to_string(sqlite3_value_int(argv[0]))}));
    return;
  }
  TypeKind result = static_cast<TypeKind>(sqlite3_value_int(argv[1]));
  const unsigned char* kinds = static_cast<const unsigned char*>(sqlite3_value_blob(argv[2]));
  int nk = sqlite3_value_bytes(argv[2]);
  assert(nk == argc - 3);  // Compiler::Call writes one kind per argument
  std::vector<Value> args(static_cast<size_t>(argc - 3));
  for (int i = 3; i < argc; ++i) {
    int k = (i - 3) < nk ? kinds[i - 3] : 0;
    ArgValue(argv[i], k == 0 ? TypeKind::kVarchar2 : static_cast<TypeKind>(k), &args[i - 3]);
  }
  if (!(fn->flags & kFnStoredLobArgs)) {
    // Functions work on the content of stored LOB and LONG values.
    for (Value& v : args) {
      if (v.lob_id == 0) continue;
      LobStore lobs(s->db());
      Status st = lobs.ReadAll(v.lob_id, kMaxLobInExpression, &v.bytes);
      if (!st.ok()) {
        ResultStatus(ctx, st);
        return;
      }
      v.lob_id = 0;
    }
  }
  Value out = Value::Null(result);
  FnCall call;
  call.session = s;
  call.variant = fn->variant;
  call.result = result;
  call.args = &args;
  call.out = &out;
  Status st;
  fn->eval(call, &st);
  if (!st.ok()) {
    ResultStatus(ctx, st);
    return;
  }
  if (fn->flags & kFnBooleanResult) {
    if (out.null) {
      sqlite3_result_null(ctx);
    } else {
      sqlite3_result_int(ctx, out.bytes == "1");
    }
    return;
  }
  ResultValue(ctx, out);
}

// SUM and AVG over NUMBER (exact) or BINARY_FLOAT/DOUBLE (double).
struct SumState {
  bool any = false;
  bool floating = false;  // BINARY_FLOAT/DOUBLE arguments: sum in `dbl`
  int64_t count = 0;
  Number num;
  double dbl = 0;
  Status error;
};

SumState* State(sqlite3_context* ctx, bool create) {
  SumState** slot = static_cast<SumState**>(
      sqlite3_aggregate_context(ctx, create ? static_cast<int>(sizeof(SumState*)) : 0));
  if (slot == nullptr) return nullptr;
  if (*slot == nullptr && create) *slot = new SumState;
  return *slot;
}

// Adds a value to the sum, or takes it out again (`remove`: a row that
// left the frame of an analytic SUM or AVG).
void SumAdd(sqlite3_context* ctx, sqlite3_value** argv, bool remove) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  SumState* st = State(ctx, true);
  if (st == nullptr || !st->error.ok()) return;
  TypeKind k = static_cast<TypeKind>(sqlite3_value_int(argv[1]));
  const uint8_t* p = static_cast<const uint8_t*>(sqlite3_value_blob(argv[0]));
  size_t n = static_cast<size_t>(sqlite3_value_bytes(argv[0]));
  st->count += remove ? -1 : 1;
  st->any = st->count > 0;
  if (k == TypeKind::kBinaryDouble && n == 8) {
    st->floating = true;
    st->dbl += remove ? -DecodeBinaryDouble(p) : DecodeBinaryDouble(p);
  } else if (k == TypeKind::kBinaryFloat && n == 4) {
    st->floating = true;
    st->dbl += remove ? -DecodeBinaryFloat(p) : DecodeBinaryFloat(p);
  } else {
    Number v;
    st->error = Number::Decode(p, n, &v);
    if (st->error.ok()) st->error = remove ? Number::Sub(st->num, v, &st->num) : Number::Add(st->num, v, &st->num);
  }
}

void SumStep(sqlite3_context* ctx, int, sqlite3_value** argv) { SumAdd(ctx, argv, false); }
void SumInverse(sqlite3_context* ctx, int, sqlite3_value** argv) { SumAdd(ctx, argv, true); }

// The result so far; `done` frees the state (the last call of a group).
void Finish(sqlite3_context* ctx, bool avg, bool done = true) {
  SumState* st = State(ctx, false);
  if (st == nullptr) {
    sqlite3_result_null(ctx);
    return;
  }
  std::unique_ptr<SumState> owned(done ? st : nullptr);
  if (done) {
    SumState** slot = static_cast<SumState**>(sqlite3_aggregate_context(ctx, 0));
    if (slot) *slot = nullptr;
  }
  if (!st->error.ok()) {
    ResultStatus(ctx, st->error);
    return;
  }
  if (!st->any) {
    sqlite3_result_null(ctx);
    return;
  }
  Number result = st->num;
  if (avg) {
    Status s2 = Number::Div(st->num, Number::FromInt64(st->count), &result);
    if (!s2.ok()) {
      ResultStatus(ctx, s2);
      return;
    }
  }
  if (st->floating) {
    uint8_t buf[8];
    double d = avg ? st->dbl / static_cast<double>(st->count) : st->dbl;
    EncodeBinaryDouble(d, buf);
    sqlite3_result_blob(ctx, buf, 8, SQLITE_TRANSIENT);
    return;
  }
  uint8_t buf[kNumberBufferBytes];
  size_t n = result.EncodeTo(buf);
  sqlite3_result_blob(ctx, buf, static_cast<int>(n), SQLITE_TRANSIENT);
}

void SumFinal(sqlite3_context* ctx) { Finish(ctx, false); }
void AvgFinal(sqlite3_context* ctx) { Finish(ctx, true); }
void SumValue(sqlite3_context* ctx) { Finish(ctx, false, false); }
void AvgValue(sqlite3_context* ctx) { Finish(ctx, true, false); }

}  // namespace

int RegisterSqlFunctions(sqlite3* db, Session* session) {
  int rc = sqlite3_create_function_v2(db, "tabdb_num", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                      nullptr, NumFunc, nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK)
    rc = sqlite3_create_function_v2(db, "tabdb_call", -1, SQLITE_UTF8, session, CallFunc, nullptr,
                                    nullptr, nullptr);
  if (rc == SQLITE_OK)
    rc = sqlite3_create_function_v2(db, "tabdb_scn", 0, SQLITE_UTF8, session, ScnFunc, nullptr,
                                    nullptr, nullptr);
  if (rc == SQLITE_OK)
    rc = sqlite3_create_window_function(db, "tabdb_sum", 2, SQLITE_UTF8, session, SumStep, SumFinal,
                                        SumValue, SumInverse, nullptr);
  if (rc == SQLITE_OK)
    rc = sqlite3_create_window_function(db, "tabdb_avg", 2, SQLITE_UTF8, session, SumStep, AvgFinal,
                                        AvgValue, SumInverse, nullptr);
  if (rc == SQLITE_OK) rc = RegisterDictionaryFunctions(db);
  if (rc == SQLITE_OK) rc = cat::RegisterSessionViewFunction(db, session);
  if (rc == SQLITE_OK) rc = RegisterSequenceFunctions(db, session);
  if (rc == SQLITE_OK) rc = RegisterRowidFunctions(db);
  if (rc == SQLITE_OK) rc = pl::RegisterPlsqlFunctions(db, session);
  return rc;
}

Status OpenSession(std::shared_ptr<Database> db, const std::string& user,
                   const std::string& password, std::unique_ptr<Session>* out) {
  std::unique_ptr<Session> sess;
  TABDB_RETURN_IF_ERROR(Session::Logon(std::move(db), user, password, &sess));
  int rc = RegisterSqlFunctions(sess->db().handle(), sess.get());
  if (rc != SQLITE_OK) return SqliteError(sess->db().handle(), rc);
  Session::SetDeferredCheckFn(CheckDeferredRows);
  // CREATE VIEW types its query through the compiler; CREATE PROCEDURE
  // and the like compile through the PL/SQL compiler.
  SetDescribeViewFn(DescribeViewQuery);
  SetCompileUnitFn(pl::CompileUnit);
  *out = std::move(sess);
  return Status::Ok();
}

}  // namespace tabdb

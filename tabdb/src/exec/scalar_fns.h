// scalar_fns.h - the evaluators of the SQL functions on engine values,
// grouped by family (fn_text.cpp, fn_numeric.cpp, fn_datetime.cpp,
// fn_lob.cpp). The registry (functions.h) names one per function;
// sqlfunc.cpp decodes SQLite arguments into Values, calls the evaluator,
// and encodes the result.
#pragma once

#include <cassert>
#include <string>
#include <vector>

#include "exec/value.h"
#include "session/session.h"
#include "util/status.h"

namespace tabdb {

// Arguments of one call; `result` is the kind the compiler decided for the
// result; `out` starts as a NULL of that kind.
struct FnCall {
  Session* session = nullptr;
  int variant = 0;  // the registry entry's variant (which function a shared evaluator serves)
  TypeKind result = TypeKind::kVarchar2;
  std::vector<Value>* args = nullptr;
  Value* out = nullptr;

  // The registry entry's argument count guarantees the arguments an
  // evaluator reads without checking nargs().
  const Value& arg(size_t i) const {
    assert(i < args->size());
    return (*args)[i];
  }
  size_t nargs() const { return args->size(); }
  bool any_null() const {
    for (const Value& v : *args) {
      if (v.null) return true;
    }
    return false;
  }
};

// Evaluators: each sets *c.out (left NULL for a NULL result) or *st.
// Characters (fn_text.cpp).
void EvalConcat(FnCall& c, Status* st);
void EvalChangeCase(FnCall& c, Status* st);  // variant 'U', 'L', 'I'
void EvalLength(FnCall& c, Status* st);      // variant 'C' characters, 'B' bytes
void EvalSubstr(FnCall& c, Status* st);
void EvalInstr(FnCall& c, Status* st);
void EvalReplace(FnCall& c, Status* st);
void EvalTrim(FnCall& c, Status* st);        // variant 'L', 'R', 'B' (both)
void EvalPad(FnCall& c, Status* st);         // variant 'L', 'R'
void EvalChr(FnCall& c, Status* st);
void EvalAscii(FnCall& c, Status* st);
void EvalDump(FnCall& c, Status* st);
void EvalLike(FnCall& c, Status* st);        // "1" or "0"
void EvalRawToHex(FnCall& c, Status* st);
void EvalHexToRaw(FnCall& c, Status* st);
// Numbers and conversions (fn_numeric.cpp).
void EvalArith(FnCall& c, Status* st);       // variant '+', '-', '*', '/'
void EvalNeg(FnCall& c, Status* st);
void EvalNumberFn(FnCall& c, Status* st);    // variant 'A'bs, 'F'loor, 'C'eil, 'S'ign, s'Q'rt
void EvalRoundTrunc(FnCall& c, Status* st);  // variant 'R', 'T'
void EvalMod(FnCall& c, Status* st);
void EvalPower(FnCall& c, Status* st);
void EvalToNumber(FnCall& c, Status* st);
void EvalToChar(FnCall& c, Status* st);
void EvalToCharTyped(FnCall& c, Status* st);
void EvalGreatestLeast(FnCall& c, Status* st);  // variant 'G', 'L'
// Dates, timestamps, intervals (fn_datetime.cpp).
void DatetimeArith(FnCall& c, Status* st);   // EvalArith when an operand is not numeric
void DatetimeNeg(FnCall& c, Status* st);
void DatetimeRoundTrunc(FnCall& c, Status* st);
void EvalToDate(FnCall& c, Status* st);
void EvalAddMonths(FnCall& c, Status* st);
void EvalLastDay(FnCall& c, Status* st);
void EvalMonthsBetween(FnCall& c, Status* st);
void EvalNumToInterval(FnCall& c, Status* st);  // variant 'D', 'Y'
void EvalExtract(FnCall& c, Status* st);
void EvalTzKey(FnCall& c, Status* st);
void EvalSysExtractUtc(FnCall& c, Status* st);
// Queries (fn_query.cpp).
void EvalTooManyRows(FnCall& c, Status* st);  // a scalar subquery gave a second row
void EvalRownumLimit(FnCall& c, Status* st);  // the row limit of ROWNUM op bind
// The row limit of ROWNUM op v (-1: none); op is one of < l(<=) = g(>=) > !(<>).
long long RownumBound(char op, double v);
// Functions of schema and data scripts (fn_script.cpp).
void EvalRawCast(FnCall& c, Status* st);       // variant 'R' to RAW, 'V' to VARCHAR2
void EvalSysGuid(FnCall& c, Status* st);
void EvalStandardHash(FnCall& c, Status* st);
void EvalOraHash(FnCall& c, Status* st);
void EvalRandomValue(FnCall& c, Status* st);
void EvalRandomString(FnCall& c, Status* st);  // DBMS_RANDOM.STRING
void EvalRandomNormal(FnCall& c, Status* st);  // DBMS_RANDOM.NORMAL
void EvalRandomInt(FnCall& c, Status* st);     // DBMS_RANDOM.RANDOM
void EvalUnistr(FnCall& c, Status* st);
// LOBs, conversions and packages (fn_lob.cpp).
void EvalConvert(FnCall& c, Status* st);
void EvalLobLength(FnCall& c, Status* st);
void EvalLobSubstr(FnCall& c, Status* st);
void EvalLobInstr(FnCall& c, Status* st);
void EvalLobCompare(FnCall& c, Status* st);
void EvalToLob(FnCall& c, Status* st);
void EvalGetDdl(FnCall& c, Status* st);
void EvalGetDependentDdl(FnCall& c, Status* st);
// DBMS_METADATA.OPEN ('O'), ADD_TRANSFORM ('T'), FETCH_CLOB ('F')
// (metadata_browse.cpp).
void EvalMetadataBrowse(FnCall& c, Status* st);

// DBMS_ROWID (fn_rowid.cpp).
void EvalRowidCreate(FnCall& c, Status* st);
void EvalRowidPart(FnCall& c, Status* st);  // variant 'O'bject, 'F'ile, 'B'lock, 'R'ow

// Regular expressions (fn_regexp.cpp).
void EvalRegexpLike(FnCall& c, Status* st);  // "1", "0" or NULL
void EvalRegexpSubstr(FnCall& c, Status* st);
void EvalRegexpInstr(FnCall& c, Status* st);
void EvalRegexpCount(FnCall& c, Status* st);
void EvalRegexpReplace(FnCall& c, Status* st);
// Session context (fn_context.cpp).
void EvalSysContext(FnCall& c, Status* st);
void EvalUserenv(FnCall& c, Status* st);
// DBMS_FLASHBACK.GET_SYSTEM_CHANGE_NUMBER: the session's SCN (Session::TakeScn).
void EvalSystemChangeNumber(FnCall& c, Status* st);

// Shared helpers.
Status ArgInt(const Value& v, int64_t* out);      // a NUMBER argument as an integer (truncated)
Status ArgNumberText(const Value& v, std::string* text);
void SetText(Value* out, TypeKind k, std::string text);  // '' becomes NULL for non-LOB kinds

}  // namespace tabdb

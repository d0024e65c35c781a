// scalar_fns.h - implementations of the scalar SQL functions on engine
// values, grouped by family (fn_text.cpp, fn_numeric.cpp, fn_datetime.cpp,
// fn_lob.cpp). sqlfunc.cpp decodes SQLite arguments into Values, calls one
// of these, and encodes the result.
#pragma once

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
  int fn = 0;
  TypeKind result = TypeKind::kVarchar2;
  std::vector<Value>* args = nullptr;
  Value* out = nullptr;

  const Value& arg(size_t i) const { return (*args)[i]; }
  size_t nargs() const { return args->size(); }
  bool any_null() const {
    for (const Value& v : *args) {
      if (v.null) return true;
    }
    return false;
  }
};

// Each returns false when `call.fn` is not one of its family.
bool TextFunction(FnCall& call, Status* st);
bool NumericFunction(FnCall& call, Status* st);
bool DatetimeFunction(FnCall& call, Status* st);
bool LobFunction(FnCall& call, Status* st);

// Shared helpers.
Status ArgInt(const Value& v, int64_t* out);      // a NUMBER argument as an integer (truncated)
Status ArgNumberText(const Value& v, std::string* text);
void SetText(Value* out, TypeKind k, std::string text);  // '' becomes NULL for non-LOB kinds

}  // namespace tabdb

// fn_query.cpp - evaluators the compiler emits for queries nested in
// expressions.
#include <cmath>
#include <string>

#include "exec/scalar_fns.h"
#include "util/errors.h"
#include "values/number.h"

namespace tabdb {

void EvalTooManyRows(FnCall& /*c*/, Status* st) { *st = OraError(ora::kSingleRowSubquery); }

long long RownumBound(char op, double v) {
  if (v > 9e18) v = 9e18;
  if (v < -9e18) v = -9e18;
  switch (op) {
    case '<': return v <= 1 ? 0 : static_cast<long long>(std::ceil(v)) - 1;   // ROWNUM < v
    case 'l': return v < 1 ? 0 : static_cast<long long>(std::floor(v));       // ROWNUM <= v
    case '=': return v == 1 ? 1 : 0;
    case 'g': return v <= 1 ? -1 : 0;                                          // ROWNUM >= v
    case '>': return v < 1 ? -1 : 0;
    case '!': return v >= 1 && v == std::floor(v) ? static_cast<long long>(v) - 1 : -1;
    default: return -1;
  }
}

// $ROWNUM_LIMIT(v, 'op cap'): the row limit of ROWNUM op v, at most cap
// (-1: none), as the text of an integer (-1: no limit). ROWNUM compared
// with NULL is never true.
void EvalRownumLimit(FnCall& c, Status* st) {
  const std::string& extra = c.args->back().bytes;
  long long cap = extra.size() > 2 ? std::stoll(extra.substr(2)) : -1;
  long long lim = 0;
  if (!c.arg(0).null) {
    Number n;
    const std::string& b = c.arg(0).bytes;
    *st = Number::Decode(reinterpret_cast<const uint8_t*>(b.data()), b.size(), &n);
    if (!st->ok()) return;
    lim = RownumBound(extra.empty() ? ' ' : extra[0], n.ToDouble());
  }
  if (cap >= 0 && (lim < 0 || cap < lim)) lim = cap;
  *c.out = Value::Of(TypeKind::kVarchar2, std::to_string(lim));
}

}  // namespace tabdb

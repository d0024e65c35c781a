// fn_query.cpp - evaluators the compiler emits for queries nested in
// expressions.
#include "exec/scalar_fns.h"
#include "util/errors.h"

namespace tabdb {

void EvalTooManyRows(FnCall& /*c*/, Status* st) { *st = OraError(ora::kSingleRowSubquery); }

}  // namespace tabdb

// compiler.h - translation of SQL expressions into SQLite expressions.
//
// The engine runs every query and every expression as a SQLite statement
// over the physical tables; Oracle semantics (types, NULLs, conversions,
// errors) come from the SQL functions of sqlfunc.h that the generated text
// calls. This header is the part other modules use.
#pragma once

#include "catalog/catalog.h"
#include "sql/ast.h"
#include "util/status.h"
#include "values/types.h"

namespace tabdb {

// The Oracle type of an expression over the columns of `table` (used for
// the hidden column of a function-based index and for virtual columns).
// Unknown columns give ORA-00904; type errors as Oracle reports them.
Status InferExprType(Session& s, const TableInfo& table, const sql::Expr& e, TypeDesc* out);

}  // namespace tabdb

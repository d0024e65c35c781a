// compiler.h - translation of SQL expressions into SQLite expressions.
//
// The engine runs every query and every expression as a SQLite statement
// over the physical tables; Oracle semantics (types, NULLs, conversions,
// errors) come from the SQL functions of sqlfunc.h that the generated text
// calls. This header is the part other modules use.
#pragma once

#include <functional>
#include <string>

#include "catalog/catalog.h"
#include "sql/ast.h"
#include "util/status.h"
#include "values/types.h"

namespace tabdb {

// The Oracle type of an expression over the columns of `table` (used for
// the hidden column of a function-based index and for virtual columns).
// Unknown columns give ORA-00904; type errors as Oracle reports them.
Status InferExprType(Session& s, const TableInfo& table, const sql::Expr& e, TypeDesc* out);

// Runs `fn` as the user `owner` in its own schema with definer's rights, as
// Oracle runs a materialized view's query: only the privileges granted to
// the owner directly count, no role (a DBA's role neither), and the views
// read inside are compiled with their owners' definer's rights too; the
// session is itself again afterwards. ORA-01918 when there is no such user.
Status RunAsOwner(Session& s, const std::string& owner, const std::function<Status()>& fn);

}  // namespace tabdb

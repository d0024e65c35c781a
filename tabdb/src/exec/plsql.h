// plsql.h - running PL/SQL anonymous blocks.
//
// Blocks run in the session: declarations, control flow, exception
// handlers, embedded SQL with the variables as binds, EXECUTE IMMEDIATE,
// DBMS_OUTPUT and the built-in DBMS_METADATA.SET_TRANSFORM_PARAM, and calls
// of stored procedures and functions (plsql_units.h).
#pragma once

#include <string>
#include <vector>

#include "exec/value.h"
#include "session/session.h"
#include "sql/ast.h"
#include "sql/plsql_parser.h"
#include "util/status.h"

namespace tabdb {

// Runs a block; `host` (may be null) holds the values of its binds
// (sql::PlsqlUnit::host_binds), and what the block assigns them afterwards.
// ORA-01008 when the block has more binds than `host` holds.
Status RunPlsqlBlock(Session& s, const sql::Statement& st, std::vector<Value>* host = nullptr);

// Runs one parsed block (plsql_run.cpp).
Status RunPlsqlUnit(Session& s, const sql::PlsqlUnit& unit);

// A call of a built-in procedure other than DBMS_OUTPUT's
// (DBMS_METADATA.SET_TRANSFORM_PARAM); unknown names fail with PLS-00201.
Status CallBuiltinProcedure(Session& s, const sql::Expr& call);

}  // namespace tabdb

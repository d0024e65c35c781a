// create_table_as.h - DDL that runs queries or DML of the engine:
// CREATE TABLE ... AS SELECT, and the DEFAULT given to the rows a table
// already has when ALTER TABLE adds a column.
#pragma once

#include "catalog/catalog.h"
#include "session/session.h"
#include "sql/ast.h"
#include "util/status.h"

namespace tabdb {

// CREATE TABLE t [(names)] AS SELECT ...: the table typed after the query
// (ORA-00998 for an unnamed expression, ORA-01730 for a column list of
// another length), then its rows copied in one statement, then committed.
Status CreateTableAsSelect(Session& s, const sql::Statement& st);

// Sets `column` of every row of `table` to its DEFAULT (a FillColumnFn).
Status FillColumnDefault(Session& s, const TableInfo& table, const ColumnInfo& column);

}  // namespace tabdb

// ddl_functions.h - the functions a CREATE or ALTER TABLE stores in a CHECK
// condition or a DEFAULT must exist when the statement runs.
#pragma once

#include "sql/ast.h"
#include "util/status.h"

namespace tabdb {

// ORA-00904 naming the first function of a CHECK condition or DEFAULT of
// `st` (CREATE TABLE, ALTER TABLE) that the database does not have.
Status CheckDdlFunctions(const sql::Statement& st);

}  // namespace tabdb

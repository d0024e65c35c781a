// plsql.h - anonymous PL/SQL blocks of procedure calls.
//
// The database runs blocks made of calls of built-in procedures
// (DBMS_METADATA.SET_TRANSFORM_PARAM, DBMS_OUTPUT.PUT_LINE) and NULL;
// statements. Anything else fails as Oracle's PL/SQL compiler answers
// (ORA-06550 with a PLS error).
#pragma once

#include "session/session.h"
#include "sql/ast.h"
#include "util/status.h"

namespace tabdb {

Status RunPlsqlBlock(Session& s, const sql::Statement& st);

}  // namespace tabdb

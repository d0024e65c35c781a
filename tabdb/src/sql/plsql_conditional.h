// plsql_conditional.h - conditional compilation of PL/SQL source: $IF,
// $ELSIF, $ELSE, $END and $ERROR over static expressions (DBMS_DB_VERSION
// constants, literals, inquiry directives), applied to the tokens before
// the unit is parsed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sql/lexer.h"
#include "util/status.h"

namespace tabdb {
namespace sql {

// Keeps the tokens of the branches chosen and drops the directives.
// `$$PLSQL_LINE` becomes the number of its line. Errors as ORA-06550 with
// PLS-00103 for a directive out of place, PLS-00174 for an expression
// that is not static and PLS-00179 for a $ERROR reached.
Status ApplyConditionalCompilation(std::string_view text, std::vector<Token>* tokens);

// DBMS_DB_VERSION.`name` as SQL text ("19", "(1 = 1)"); false when the
// package has no such constant.
bool DbVersionConstant(const std::string& name, std::string* sql);

}  // namespace sql
}  // namespace tabdb

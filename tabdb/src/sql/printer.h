// printer.h - writes syntax-tree pieces back as SQL text in the normalised
// form Oracle keeps for function-based index keys and prints in DDL.
//
// The text re-parses (ParseExpression / ParseType) to an equal tree, except
// that column names come back quoted.
#pragma once

#include <string>

#include "sql/ast.h"

namespace tabdb {
namespace sql {

// An expression in Oracle's normalised form: column names double-quoted,
// keywords and function names upper case, no blanks around arithmetic and
// comparison operators, string literals kept, parentheses only where the
// precedence needs them: UPPER("CUST"), LOWER("FIRST_NAME")||' '||LOWER("LAST_NAME"),
// EXTRACT(YEAR FROM "DATE_OF_BIRTH"), TO_CHAR("PERSON_ID"), "A"+1, "A"*("B"-1).
std::string ExprToText(const Expr& e);

// Whether an expression holds a subquery (scalar, EXISTS, IN or a
// quantified comparison over a query). ExprToText abbreviates subqueries,
// so such an expression is never stored as text.
bool HasSubquery(const Expr& e);

// Quotes a name for SQL text: "NAME" with embedded double quotes doubled.
std::string QuoteName(const std::string& name);

// A declared type as it would be written in a column definition, keeping
// exactly the attributes given (NUMBER(10,0), VARCHAR2(30 CHAR), TIMESTAMP,
// TIMESTAMP(3) WITH TIME ZONE, INTERVAL DAY(2) TO SECOND(6)). Unlike
// DdlTypeText it fills in no defaults, so it parses back to the same TypeDesc.
std::string TypeToText(const TypeDesc& t);

}  // namespace sql
}  // namespace tabdb

// parser.h - turns one Oracle SQL statement or PL/SQL call block into a
// syntax tree (ast.h), answering bad text with Oracle's error numbers.
//
// The parser never throws, never recurses deeper than a fixed bound and
// runs in time linear in the statement length.
#pragma once

#include <memory>
#include <string_view>

#include "sql/ast.h"
#include "util/status.h"

namespace tabdb {
namespace sql {

// Parses one statement as OCI receives it: no trailing ';' for SQL
// statements (a trailing ';' is ORA-00911 invalid character, as Oracle
// answers); PL/SQL blocks end with "END;" (optionally followed by blanks and
// a "/" line). Leading/trailing blanks and comments (-- and /* */) are
// skipped. On success `*out` holds the statement, whose `text` is `text`
// and whose spans index into it; on error `*out` is left unchanged.
Status Parse(std::string_view text, std::unique_ptr<Statement>* out);

// Parses `text` as a single expression or condition (what DEFAULT, CHECK
// and function-based index key texts hold). Binds are numbered from 1.
// Spans index into `text`.
Status ParseExpression(std::string_view text, ExprPtr* out);

// Parses `text` as a column type ("NUMBER(10,0)", "TIMESTAMP (6) WITH TIME
// ZONE", "VARCHAR2(30 CHAR)").
Status ParseType(std::string_view text, TypeDesc* out);

// Limits on one expression, beyond which the statement is refused with
// ORA-03001. kMaxExprDepth bounds the parser's recursion: a parenthesis,
// function call or CASE level takes 8 units, a unary operator 2.
// kMaxExprNodes bounds the inner nodes (operators, calls, CASE ...) of each
// top-level expression, and so the height of the tree, which its consumers
// (down to its destructor) walk recursively.
constexpr int kMaxExprDepth = 1000;
constexpr int kMaxExprNodes = 3000;

// Most expressions in one IN list (ORA-01795 beyond it), as in Oracle.
constexpr size_t kMaxInList = 1000;

}  // namespace sql
}  // namespace tabdb

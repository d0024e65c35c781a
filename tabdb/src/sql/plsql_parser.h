// plsql_parser.h - syntax tree of PL/SQL anonymous blocks and stored units
// (procedures, functions, package specifications and bodies).
//
// Statements keep their expressions and embedded SQL as token ranges of the
// unit's source: the executor turns each range once into SQL text with
// placeholders for the PL/SQL variables it reads, so that SQL expressions,
// functions and statements run through the one SQL compiler.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sql/ast.h"
#include "sql/lexer.h"
#include "util/status.h"

namespace tabdb {
namespace sql {

struct PlRange {
  uint32_t b = 0;  // token indexes [b, e)
  uint32_t e = 0;
  bool empty() const { return b >= e; }
};

enum class PlStmtKind {
  kNull,
  kAssign,         // target := expr
  kIf,             // conds[i] THEN branches[i] ... [ELSE branches.back()]
  kLoop,           // LOOP body END LOOP
  kWhile,          // WHILE expr LOOP body
  kForNum,         // FOR var IN [REVERSE] lo .. hi LOOP body
  kForCursor,      // FOR var IN (query) | cursor LOOP body
  kExit,           // EXIT [label] [WHEN expr]
  kContinue,       // CONTINUE [label] [WHEN expr]
  kSql,            // INSERT/UPDATE/DELETE/MERGE/COMMIT/ROLLBACK...: expr is the SQL
  kSelectInto,     // expr is the query without its INTO clause; into the targets
  kExecImmediate,  // EXECUTE IMMEDIATE expr [INTO into] [USING args]
  kRaise,          // RAISE [name]
  kCall,           // name [(args)]
  kBlock,          // nested block
  kReturn,         // RETURN [expr]
  kOpen,           // OPEN cursor [(args)]; OPEN cursor_variable FOR query (expr) | string (hi) [USING args]
  kFetch,          // FETCH cursor INTO into
  kClose,          // CLOSE cursor
  kCase,           // CASE [expr] WHEN conds[i] THEN branches[i] ... [ELSE branches.back()] END CASE
  kGoto,           // GOTO name
};

struct PlBlock;
struct PlStmt;
using PlStmtPtr = std::unique_ptr<PlStmt>;
using PlStmts = std::vector<PlStmtPtr>;

struct PlStmt {
  PlStmtKind kind = PlStmtKind::kNull;
  uint32_t tok = 0;                 // first token (line numbers of errors)
  std::vector<std::string> target;  // kAssign: v or rec.field
  PlRange index;                    // kAssign: the subscript of v(index)[.field] := ...
  bool bulk = false;                // BULK COLLECT INTO; kForNum: FORALL (name: INDICES OF name)
  bool save_exceptions = false;     // FORALL ... SAVE EXCEPTIONS
  PlRange expr;
  std::vector<PlRange> conds;
  std::vector<PlStmts> branches;
  PlStmts body;
  std::string label;  // the loop's label; EXIT/CONTINUE: the label named
  std::string var;    // FOR variable
  bool reverse = false;
  PlRange lo, hi;
  std::string name;  // kCall: dotted name; kRaise: exception; kForCursor: cursor
  std::vector<std::vector<std::string>> into;
  std::vector<PlRange> args;
  std::vector<std::string> arg_names;  // "" for positional arguments
  std::unique_ptr<PlBlock> block;
};

// A formal parameter of a subprogram or cursor, or a field of a record type.
struct PlParam {
  std::string name;
  uint32_t tok = 0;
  bool in = true;    // IN and IN OUT
  bool out = false;  // OUT and IN OUT
  PlRange type;
  PlRange def;       // DEFAULT / := expression, empty when none
};

// PROCEDURE or FUNCTION, declared (a package specification, a forward
// declaration) or defined with its body.
struct PlSubprogram {
  std::string name;
  uint32_t tok = 0;  // the PROCEDURE / FUNCTION word
  bool function = false;
  std::vector<PlParam> params;
  PlRange ret;       // a function's RETURN type
  bool invoker_rights = false;  // AUTHID CURRENT_USER
  bool external = false;        // LANGUAGE C / JAVA, EXTERNAL: no PL/SQL body
  std::unique_ptr<PlBlock> body;  // declarations, statements, handlers; null when declared only
};

enum class PlDeclKind {
  kVar,
  kException,
  kCursor,
  kExceptionInit,
  kSubprogram,   // sub
  kRecordType,   // TYPE name IS RECORD (params as fields)
  kSubtype,      // SUBTYPE name IS type
  kOtherType,    // TYPE name IS TABLE OF / VARRAY / REF CURSOR: kept, not carried
  kPragma,       // AUTONOMOUS_TRANSACTION, SERIALLY_REUSABLE, ...: name
};

struct PlDecl {
  PlDeclKind kind = PlDeclKind::kVar;
  std::string name;
  uint32_t tok = 0;
  bool constant = false;
  bool not_null = false;
  PlRange type;   // kVar, kSubtype: the type's tokens
  PlRange init;   // kVar: default; kCursor: the query
  int code = 0;   // kExceptionInit: the Oracle error number (positive)
  std::vector<PlParam> params;  // kCursor: its parameters; kRecordType: its fields
  std::unique_ptr<PlSubprogram> sub;  // kSubprogram
};

struct PlHandler {
  std::vector<std::string> names;  // exception names; OTHERS
  PlStmts body;
};

struct PlBlock {
  uint32_t tok = 0;
  std::vector<PlDecl> decls;
  PlStmts body;
  std::vector<PlHandler> handlers;
};

// One anonymous block or stored unit with the tokens its ranges index.
// A stored PROCEDURE or FUNCTION is one kSubprogram declaration of
// `block`; a PACKAGE has its specification's items as declarations; a
// PACKAGE BODY its items as declarations and its initialisation section as
// the block's statements and handlers.
struct PlsqlUnit {
  std::string text;
  std::vector<Token> tokens;
  PlBlock block;
  std::string unit_type;        // "" for an anonymous block, else PROCEDURE, FUNCTION, PACKAGE, PACKAGE BODY
  bool invoker_rights = false;  // AUTHID CURRENT_USER
  bool call_statement = false;  // the block of a CALL statement (its errors are SQL's)
  // An anonymous block's placeholders (:name, :"Name", :1), each distinct
  // one once, in order of first appearance: the binds of the block, by
  // position. Placeholder k reads as the variable HostBindName(k) declared
  // around the block, which the block may assign.
  std::vector<std::string> host_binds;
  // Line and column (1-based) of token k in the text.
  void Position(uint32_t k, int* line, int* column) const;
};

// Parses `text` ([DECLARE ...] BEGIN ... END; optionally followed by a "/"
// line). Errors as ORA-06550 with PLS-00103 (or PLS-00201 for an
// assignment to an undeclared name) at the offending line and column.
Status ParsePlsqlUnit(std::string_view text, std::shared_ptr<const PlsqlUnit>* out);

// The same for an anonymous block whose placeholders are the caller's
// binds (PlsqlUnit::host_binds).
Status ParseAnonymousBlock(std::string_view text, std::shared_ptr<const PlsqlUnit>* out);
// The variable that stands for placeholder k (0-based) of a block.
std::string HostBindName(size_t k);

// The same for a block run with variables declared around it
// (`outer_names`, which it may assign: a trigger's body).
Status ParsePlsqlBlock(std::string_view text, const std::vector<std::string>& outer_names,
                       std::shared_ptr<const PlsqlUnit>* out);

// Parses the source of a stored unit as tab$source keeps it ("PROCEDURE p
// (...) IS ...", "PACKAGE BODY k AS ..."). `outer_names` are names declared
// around the unit (a package body's specification), which assignments may
// name. Errors as ParsePlsqlUnit gives them.
Status ParseStoredUnit(std::string_view text, const std::vector<std::string>& outer_names,
                       std::shared_ptr<const PlsqlUnit>* out);

// Reads CALL [schema.][package.]name (args) as the block of that one call
// into `st` (kind kPlsqlBlock). Returns false when `text` is no CALL.
// ORA-06576 without the parentheses; CALL ... INTO is not carried.
bool ParseCallStatement(std::string_view text, Statement* st, Status* status);

// The names a package specification declares (variables, constants,
// cursors, exceptions, types, subprograms).
std::vector<std::string> DeclaredNames(const PlsqlUnit& unit);

// Reads CREATE [OR REPLACE] [EDITIONABLE|NONEDITIONABLE] PROCEDURE /
// FUNCTION / PACKAGE [BODY] / TRIGGER / TYPE [BODY] ... and DROP of these
// into `st` (kind kStoredCode). Returns false, leaving `st` alone, when
// `text` is none of these statements.
bool ParseStoredCode(std::string_view text, Statement* st, Status* status);

// ORA-06550 with "PLS-00103: Encountered the symbol ..." at byte `pos`.
Status PlsqlSyntaxError(std::string_view text, uint32_t pos);

}  // namespace sql
}  // namespace tabdb

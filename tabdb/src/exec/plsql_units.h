// plsql_units.h - stored units for the PL/SQL runner: loading and
// compiling them for the session, resolving the names calls and package
// references use (with the caller's privileges), calling them with their
// owner's rights and their package's state, and the SQL functions that let
// SQL statements call stored functions.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "catalog/code_units.h"
#include "exec/compiler_internal.h"
#include "exec/plsql_state.h"
#include "session/session.h"
#include "sql/plsql_parser.h"
#include "util/status.h"

namespace tabdb {
namespace pl {

// One actual parameter, or a function's result.
struct ArgValue {
  bool given = false;  // false: the formal's default (or NULL for OUT)
  // Not given, and the default is written only in the package's
  // specification: that expression (of the specification's tokens).
  const sql::PlRange* spec_default = nullptr;
  Value v;
  bool record = false;
  std::vector<std::string> fields;
  std::vector<Value> fvals;
  std::shared_ptr<Collection> coll;  // a collection passed or returned
};

// The values of one call, one per formal parameter in order.
struct CallValues {
  std::vector<ArgValue> args;
  ArgValue result;
};

// The catalog version, read again (at the start of a top-level block and
// after DDL the block ran).
Status RefreshVersion(Session& s);

// The stored subprograms a call of `name` (as written, dotted) may reach:
// [schema.]procedure, [schema.]package.procedure, through synonyms. Each
// is checked for EXECUTE by the session's current user. `function` tells
// whether the call is in an expression. Oracle's errors otherwise: PLS-00201
// when nothing of the name is visible, PLS-00904 when it may not be run,
// PLS-00302 for a package without the member, PLS-00905 for a unit that
// does not compile; `where` is "line L, column C:".
Status ResolveStoredCall(Session& s, const std::vector<std::string>& name, bool function,
                         const std::string& where, std::vector<CallTarget>* out);

// The types of a subprogram's formals and result, resolved in its unit
// (cached in the unit's runtime). `unit` is the unit whose tokens the
// declaration indexes.
Status ParamTypes(Session& s, const sql::PlsqlUnit& unit, UnitRuntime& rt, const std::string& schema,
                  const sql::PlSubprogram& sp, std::vector<TypeInfo>* params, TypeInfo* result);

// Trigger owner.name compiled for the session (its definition in
// unit->trigger); *invalid when it does not compile.
Status LoadTrigger(Session& s, const std::string& owner, const std::string& name, std::shared_ptr<StoredUnit>* out,
                   bool* invalid);

// Calls a stored subprogram: its package instantiated (ORA-04068 once when
// the package changed since the session used it), its owner's rights
// unless AUTHID CURRENT_USER.
Status CallStored(Session& s, const CallTarget& t, CallValues* v);

// A package's instance, made and initialised on first use. `key` is
// OWNER.NAME.
Status Package(Session& s, const std::string& key, std::shared_ptr<PackageInstance>* out);

// Whether `name` (dotted as written) starts with a package the session may
// use that declares variable, constant, cursor or exception `member`: *key
// its OWNER.NAME, *used the number of names the package took (1 or 2) and
// *decl the member's declaration in the specification (whose tokens are
// those of the specification's unit). The package is not instantiated.
Status FindPackageMember(Session& s, const std::vector<std::string>& name, std::string* key,
                         size_t* used, bool* found, const sql::PlDecl** decl = nullptr);

// Calls of stored and local functions from SQL expressions (the compiler's
// fallback for a name that is no built-in function): *found false when
// `e` names no PL/SQL function.
Status CompilePlsqlCall(Compiler& c, Session& s, const sql::Expr& e, std::vector<CExpr>* args,
                        CExpr* out, bool* found);
// Registers tabdb_plcall on a connection.
int RegisterPlsqlFunctions(sqlite3* db, Session* session);

// The catalog's compiler of stored units (CompileUnitFn, code_units.h).
Status CompileUnit(Session& s, const std::string& owner, const std::string& name,
                   const std::string& type, const std::string& source, UnitCompilation* out);

// ---- the runner (plsql_run.cpp) -------------------------------------------

// A variable the caller puts around a block (RunUnitBlock): a record of
// fields (a trigger's row) or a scalar.
struct BlockValue {
  std::string name;
  bool record = false;
  std::vector<std::string> fields;
  std::vector<Value> values;  // of the fields
  Value v;                    // of a scalar
  bool constant = false;
  bool boolean = false;       // a scalar BOOLEAN (v NUMBER 1 / 0 / NULL)
};

// Runs the block of `unit` (an anonymous block or a trigger's body) with
// `values` declared around it; what the block assigns to them is in
// `values` afterwards. `rt` keeps what it compiles for the next run;
// `owner` (null for none) names the unit in the error stack and is the
// rights it runs with. A block run outside any other reads the catalog
// version first, unless `version_read` (the caller did for its statement).
Status RunUnitBlock(Session& s, const sql::PlsqlUnit& unit, UnitRuntime& rt, StoredUnit* owner,
                    std::vector<BlockValue>* values, bool version_read = false);

// Runs subprogram `decl` of `unit` with `v` bound to its formals.
Status RunSubprogram(Session& s, StoredUnit& unit, PackageInstance* package, const sql::PlDecl& decl,
                     CallValues* v);
// Declares a package's variables and runs its initialisation section.
Status InitPackage(Session& s, PackageInstance& package);
// The functions named `name` visible where the thread's innermost running
// block is (its local subprograms and those of its package); false when it
// has none.
bool FindRunningFunctions(const std::string& name, const sql::PlsqlUnit** unit, UnitRuntime** rt,
                          std::vector<const sql::PlDecl*>* out);
// Calls such a function from SQL, in the running block that declared it.
Status CallRunningFunction(Session& s, const sql::PlsqlUnit* unit, const sql::PlDecl& decl, CallValues* v);

}  // namespace pl
}  // namespace tabdb

// code_units.h - the catalog side of stored units that run: their status
// (VALID, INVALID), compilation errors, dependencies and the invalidation
// of dependents, the grants that let other users call them, and the
// supplied packages a grant may name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalog/dictionary.h"
#include "session/session.h"
#include "sql/ast.h"
#include "util/status.h"

namespace tabdb {

// One error of a compilation as USER_ERRORS shows it.
struct CodeError {
  int line = 1;
  int position = 1;
  std::string text;    // "PLS-00103: Encountered ..." or "PL/SQL: ORA-00942: ..."
  int number = 0;      // MESSAGE_NUMBER: 103, 942, 0 for "... ignored" lines
};

// An object a unit uses.
struct CodeDependency {
  std::string owner;
  std::string name;
  std::string type;  // TABLE, VIEW, SEQUENCE, SYNONYM, PROCEDURE, FUNCTION, PACKAGE, TYPE
};

struct UnitCompilation {
  std::vector<CodeError> errors;
  std::vector<CodeDependency> deps;
};

// Compiles the source of unit owner.name of `type` (PROCEDURE, FUNCTION,
// PACKAGE, PACKAGE BODY): syntax, names, and what it uses. The PL/SQL
// compiler lies above the catalog; OpenSession installs it.
using CompileUnitFn = Status (*)(Session& s, const std::string& owner, const std::string& name,
                                 const std::string& type, const std::string& source,
                                 UnitCompilation* out);
void SetCompileUnitFn(CompileUnitFn fn);

// Whether units of this type are compiled and run (types are kept as
// source).
bool IsRunnableUnitType(const std::string& type);

// A unit's catalog record; *found false when there is none.
struct CodeUnitRow {
  int64_t obj_id = 0;
  bool valid = true;
  int64_t stamp = 0;
};
Status LoadCodeUnit(Session& s, const std::string& owner, const std::string& name,
                    const std::string& type, CodeUnitRow* out, bool* found);
// The unit's source as kept (its lines joined).
Status LoadCodeSource(Session& s, const std::string& owner, const std::string& name,
                      const std::string& type, std::string* out, bool* found);

// Compiles a unit with the installed compiler and records the outcome:
// status, errors, dependencies and a new stamp. Runs inside the caller's
// write transaction. *valid tells whether it compiled without errors.
Status CompileAndRecord(Session& s, const std::string& owner, const std::string& name,
                        const std::string& type, bool* valid);
// Records a compilation made elsewhere (same effect as CompileAndRecord).
Status RecordCompilation(Session& s, const std::string& owner, const std::string& name,
                         const std::string& type, const UnitCompilation& c);

// Marks INVALID every unit that uses owner.name, and the units that use
// those, in the caller's write transaction. A package body's dependents are
// its specification's: changing a body alone invalidates nothing.
Status InvalidateDependents(Session& s, const std::string& owner, const std::string& name);
// The same for the object a DDL statement created, changed or dropped.
Status InvalidateAfterDdl(Session& s, const sql::Statement& st);
// Forgets the errors and dependencies of a dropped unit.
Status ForgetUnit(Session& s, const std::string& owner, const std::string& name,
                  const std::string& type);

// A unit that can be called or granted: a procedure, function, package or
// type of a schema (through synonyms), or a package the database supplies
// (owner SYS, fixed object id).
struct CodeObject {
  int64_t obj_id = 0;
  std::string owner;
  std::string name;
  std::string type;  // PROCEDURE, FUNCTION, PACKAGE, TYPE
  bool supplied = false;
  bool via_synonym = false;
  std::string synonym_owner;  // of the synonym that led there
};
// Resolves [schema.]name as a code object: an unqualified name in the
// current schema, else a public synonym, else a supplied package. *found
// false when the name is no unit (a table, say, or nothing).
Status ResolveCodeObject(Session& s, const sql::NameList& name, CodeObject* out, bool* found);
// The same for owner.name exactly, following synonyms; `owner` empty for
// an unqualified name looked up as ResolveCodeObject does.
Status FindCodeObject(Session& s, const std::string& owner, const std::string& name,
                      CodeObject* out, bool* found);

// An object of tab$objects by owner and exact name (a table, view,
// sequence, synonym ...; *obj_id 0 when there is none).
Status FindSchemaObject(Session& s, const std::string& owner, const std::string& name, int64_t* obj_id,
                        std::string* type);

// Whether the session's current user may run `o`: it owns it, holds
// EXECUTE on it (directly or through PUBLIC), holds EXECUTE ANY PROCEDURE,
// or is a DBA (a role: not under definer's rights). *visible tells, when it
// may not, whether it holds some other privilege on it (PLS-00904 rather
// than PLS-00201).
Status MayExecute(Session& s, const CodeObject& o, bool* may, bool* visible);

// SELECT obj_id, owner, name, type of the supplied packages (for the
// privilege views).
std::string SuppliedPackagesSql();

// The stored-unit dictionary views: ALL_/USER_/DBA_ERRORS and
// DEPENDENCIES; false for other names.
bool FindCodeView(Session& s, const std::string& name, DictionaryView* out, Status* status);

}  // namespace tabdb

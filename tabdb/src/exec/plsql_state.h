// plsql_state.h - what PL/SQL keeps while it runs: variables in frames,
// the compiled statements of a unit, the stored units a session has
// compiled, the state of its packages, and the calls of stored functions
// that SQL statements make.
//
// A stored unit is compiled once per session (StoredUnit): its tree, its
// statements compiled on first use and reused by every later call, the
// types of its declarations and the targets of its calls. It stays until
// the catalog says the unit changed. A trigger's body or any other block
// runs on the same machinery: a PlsqlUnit, a UnitRuntime for what it
// compiles, and a frame of named values (RunUnitBlock, plsql_units.h).
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "exec/prepared.h"
#include "exec/value.h"
#include "session/session.h"
#include "sql/ast.h"
#include "sql/plsql_parser.h"
#include "values/types.h"

namespace tabdb {
struct TriggerDef;
namespace pl {

// The type of a variable, parameter or function result.
struct TypeInfo {
  bool typed = false;    // false: takes the type of what is assigned
  TypeDesc type;
  bool boolean = false;  // held as NUMBER 1 / 0 / NULL
  bool record = false;   // %ROWTYPE and record types
  bool not_null = false;
  std::vector<std::string> fields;       // of a record, when known
  std::vector<TypeInfo> field_types;     // the same length as fields, when known
};

struct Collection;  // plsql_collection.h

struct Var {
  std::string name;
  bool typed = false;  // false: takes the type of what is assigned
  TypeDesc type;
  bool boolean = false;  // held as NUMBER 1 / 0 / NULL
  bool constant = false;
  bool record = false;  // %ROWTYPE and cursor loop records
  bool not_null = false;
  Value v;
  std::vector<std::string> fields;
  std::vector<Value> fvals;
  std::shared_ptr<Collection> coll;  // a collection variable's elements
};

// What a placeholder of a compiled range stands for.
struct Ref {
  enum Kind {
    kVar, kField, kRowcount, kFound, kNotFound, kIsOpen, kSqlcode, kSqlerrm,
    kCursorFound, kCursorNotFound, kCursorIsOpen, kCursorRowcount,
    kPackageVar, kPackageField,
    kElement,     // name(index)[.field] of a collection
    kCollMethod,  // name.field[(index)]: COUNT, FIRST, EXISTS(i), ...
    kCollection,  // the collection itself: NULL when not constructed
    kErrorStack, kErrorBacktrace, kGetTime,  // DBMS_UTILITY
    kCallValue,   // index: a call of a PL/SQL function given a collection, run before the statement
    kBulkRowcount,  // SQL%BULK_ROWCOUNT(index)
    kBulkExceptions,  // SQL%BULK_EXCEPTIONS.COUNT, SQL%BULK_EXCEPTIONS(index).field
  } kind = kVar;
  std::string name;
  std::string field;
  sql::PlRange index;   // kElement, kCollMethod: the subscript or argument
  std::string package;  // kPackageVar: OWNER.NAME of the package
};

// A range of a unit compiled into SQL: the statement, its placeholders.
struct Compiled {
  std::shared_ptr<const sql::Statement> st;
  std::unique_ptr<Prepared> p;
  std::vector<Ref> refs;
  std::string text;  // EXECUTE IMMEDIATE: the statement text compiled
};

// An explicit cursor of a frame and its state. A cursor whose scope ends
// while open is closed.
struct Cursor {
  const sql::PlDecl* decl = nullptr;
  std::shared_ptr<Compiled> open;  // the query while open
  int64_t rowcount = 0;
  bool fetched = false;  // a FETCH ran since OPEN
  bool found = false;    // the last FETCH returned a row
  ~Cursor() {
    if (open && open->p) open->p->Close();
  }
};

struct Frame {
  std::vector<std::unique_ptr<Var>> vars;
  std::vector<std::pair<std::string, int>> exceptions;  // name -> error number (0: none)
  std::vector<std::unique_ptr<Cursor>> cursors;
  std::vector<const sql::PlDecl*> subs;   // subprograms declared here
  std::vector<const sql::PlDecl*> types;  // record types and subtypes declared here
  // The lexical parent: the index of the frame where a name not found here
  // is looked up next; -1 for the frame below. A subprogram's frame links
  // to the frame that declared it.
  int link = -1;
  bool globals_after = true;  // the search ends with the package's frames
};

// Compiled statements of one unit, each range compiled once and then
// reused. An entry someone still holds (an open cursor, the same statement
// of a recursive call) is not handed out again: a second one is made.
class StatementPool {
 public:
  std::shared_ptr<Compiled> Find(const void* range, int mode);
  void Add(const void* range, int mode, std::shared_ptr<Compiled> c);
  void Clear() { entries_.clear(); }

 private:
  std::map<std::pair<const void*, int>, std::vector<std::shared_ptr<Compiled>>> entries_;
};

struct StoredUnit;
struct PackageInstance;
class FastExpr;

// A call site resolved to a subprogram.
struct CallTarget {
  const sql::PlDecl* decl = nullptr;         // the subprogram
  std::shared_ptr<StoredUnit> unit;          // the unit whose tokens decl indexes (null: the caller's own)
  std::string package;                       // OWNER.NAME of its package, if any
  int64_t version = -1;                      // catalog version it was resolved at
};

// What a unit compiles and resolves while it runs, kept between its calls.
struct UnitRuntime {
  StatementPool statements;
  std::map<const void*, TypeInfo> types;           // by the declaration's type range
  std::map<const void*, std::vector<CallTarget>> calls;  // stored candidates by call site
  // Whether an expression range is a call of a stored function, as of a
  // catalog version.
  std::map<const void*, std::pair<int64_t, bool>> direct;
  // Expressions PL/SQL evaluates itself (null: those left to SQL).
  std::map<const void*, std::shared_ptr<const FastExpr>> fast;
  // The formals' and result's types of a subprogram.
  std::map<const void*, std::pair<std::vector<TypeInfo>, TypeInfo>> signatures;
  // Ranges made while running (subscripts, constructor arguments), kept so
  // that what is compiled for them is found again by their address.
  std::map<std::pair<uint32_t, uint32_t>, sql::PlRange> ranges;
  void Clear() {
    statements.Clear();
    types.clear();
    calls.clear();
    direct.clear();
    signatures.clear();
  }
};

// A stored unit compiled for the session.
struct StoredUnit {
  std::string owner, name, type;  // type: PROCEDURE, FUNCTION, PACKAGE, PACKAGE BODY
  int64_t obj_id = 0;
  int64_t stamp = 0;
  std::shared_ptr<const sql::PlsqlUnit> code;
  bool invoker_rights = false;
  UserInfo definer;              // the owner, acting with definer's rights
  int64_t validated = -1;        // catalog version its record was last checked at
  // What it compiles, per current user for an invoker's-rights unit ("" for
  // definer's rights).
  std::map<std::string, UnitRuntime> runtimes;
  // A trigger: what its header says, and its WHEN condition as a block
  // (null when it has none); `code` is its body.
  std::shared_ptr<const TriggerDef> trigger;
  std::shared_ptr<const sql::PlsqlUnit> when;
  UnitRuntime when_runtime;
  UnitRuntime& Runtime(const Session& s) { return runtimes[invoker_rights ? s.user().name : std::string()]; }
  std::string Qualified() const { return owner + "." + name; }
};

// A package's state in the session: the variables of its specification
// and body, made and initialised at its first use.
struct PackageInstance {
  std::string owner, name;
  std::shared_ptr<StoredUnit> spec, body;
  int64_t spec_stamp = 0, body_stamp = 0;
  Frame spec_frame, body_frame;
  int64_t checked = -1;  // catalog version its units were last checked at
  // The body's subprogram for each of the specification's.
  std::map<const sql::PlDecl*, const sql::PlDecl*> bodies;
  bool has_state() const;
};

// A stored function a compiled SQL statement calls through tabdb_plcall.
struct SqlCallSlot {
  CallTarget target;
  std::vector<int> arg_of_param;  // per formal: the SQL argument's index, -1 for its default
  std::vector<TypeKind> kinds;    // per SQL argument: the kind it is passed as
  TypeInfo result;
  bool local = false;  // a subprogram of the running block or package
  const sql::PlsqlUnit* local_unit = nullptr;
};

// The PL/SQL of one session.
struct PlsqlState {
  int64_t version = -1;  // catalog version last read
  std::map<std::string, std::shared_ptr<StoredUnit>> units;  // "TYPE OWNER.NAME"
  std::map<std::string, std::shared_ptr<PackageInstance>> packages;  // "OWNER.NAME"
  std::deque<SqlCallSlot> slots;  // stable: a call may add slots
  std::map<std::tuple<const void*, const void*, std::string>, int> slot_ids;
  std::string raised;  // the user-defined exception last raised (by name)
  int depth = 0;       // nested calls of stored units
  // The database's DML triggers as of catalog version triggers_version.
  int64_t triggers_version = -1;
  std::vector<std::shared_ptr<const TriggerDef>> triggers;
};

PlsqlState& State(Session& s);

}  // namespace pl
}  // namespace tabdb

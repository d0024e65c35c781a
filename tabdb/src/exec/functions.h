// functions.h - the registry of SQL functions: one entry per function with
// its name, argument count, result-type rule and evaluator.
//
// The compiler looks a call up here by name and lets the entry's rule
// convert the arguments and decide the result type; the generated SQL
// calls tabdb_call with the entry's number, and sqlfunc.cpp runs the
// entry's evaluator on each row. Operators the compiler emits itself
// (arithmetic, conversion, LIKE) are entries too, under names starting
// with '$' and without a rule, so that SQL cannot call them by name.
// Adding a function is adding one entry to the table in
// compile_functions.cpp (with its rule, and its evaluator in fn_*.cpp).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "exec/compiler_internal.h"
#include "exec/scalar_fns.h"
#include "util/status.h"

namespace tabdb {

class FnCompile;

// Converts the arguments and sets the result (type and SQL) of a call.
using FnRule = Status (*)(FnCompile& f);
// Computes one call on engine values: sets *c.out or *st.
using FnEvaluator = void (*)(FnCall& c, Status* st);

enum FnFlags : unsigned {
  kFnStoredLobArgs = 1,  // gets stored LOB and LONG arguments as ids, not their content
  kFnBooleanResult = 2,  // the result is a condition: "1"/"0" become SQLite 1/0
};

// max_args of a function taking any number of arguments.
constexpr int kFnAnyArgs = 255;

struct SqlFunction {
  const char* name;   // as called in SQL, upper case; "$..." for operators
  int min_args;       // a call outside [min_args, max_args] is ORA-00909
  int max_args;
  FnRule rule;        // null: not callable by name
  FnEvaluator eval;   // null when the rule compiles the call into plain SQL
  int variant;        // tells a shared rule or evaluator which function it serves
  unsigned flags;     // FnFlags
};

// The entry called `name` (exact, upper case), or null.
const SqlFunction* FindFunction(std::string_view name);
// The entry numbered `id` in tabdb_call, or null when there is none.
const SqlFunction* FunctionById(int id);
// An operator entry the compiler emits (e.g. "$ADD"); it must exist.
const SqlFunction& Operator(std::string_view name);
// The number tabdb_call carries for an entry.
int FunctionId(const SqlFunction& f);

// What a rule works with: the compiled arguments (a rule may convert them
// in place) and the result it builds.
class FnCompile {
 public:
  FnCompile(Compiler& compiler, const SqlFunction& fn, std::vector<CExpr>& args, CExpr* out)
      : compiler(compiler), fn(fn), a(args), out(out) {}

  // Argument i, converted to VARCHAR2 unless it is of a character kind,
  // or to NUMBER unless it is numeric.
  const CExpr* TextArg(size_t i);
  const CExpr* NumArg(size_t i);

  // The result is a call of `as` (default: this function's entry) with
  // result kind `result` over `args`, plus a text argument `extra` when
  // not empty.
  Status Set(TypeKind result, const std::vector<const CExpr*>& args,
             const std::string& extra = "", const SqlFunction* as = nullptr);

  Compiler& compiler;
  const SqlFunction& fn;
  std::vector<CExpr>& a;
  CExpr* out;
};

}  // namespace tabdb

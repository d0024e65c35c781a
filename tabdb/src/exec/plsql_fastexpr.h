// plsql_fastexpr.h - the expressions PL/SQL evaluates itself rather than
// as a query on DUAL: NUMBER and VARCHAR2 variables and literals with
// + - * / ||, comparisons, IS [NOT] NULL, AND, OR, NOT, with Oracle's NULL
// rules, fields of records, and SYSDATE alone. Anything else (a function,
// date arithmetic, a conversion between text and number) is left to SQL,
// which decides as for any expression.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "exec/plsql_state.h"
#include "sql/plsql_parser.h"
#include "util/status.h"

namespace tabdb {
namespace pl {

class FastExpr {
 public:
  struct Node;
  ~FastExpr();

  // The expression of tokens `r`, or null when it is not of that form.
  static std::unique_ptr<FastExpr> Parse(const sql::PlsqlUnit& u, sql::PlRange r);

  // Finds a variable of the running block by name (null when none).
  class Names {
   public:
    virtual ~Names() = default;
    virtual const Var* Find(const std::string& name) = 0;
  };

  // The value (as a condition, NUMBER 1 / 0 / NULL, when `cond`); *done
  // false when a value met is of a kind left to SQL.
  Status Eval(Names& names, bool cond, Value* out, bool* done) const;

 private:
  std::vector<Node> nodes_;  // nodes_[0] is the root
  bool sysdate_ = false;     // the expression is SYSDATE
};

}  // namespace pl
}  // namespace tabdb

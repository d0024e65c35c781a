// compile_join.cpp - column names in a query over several FROM items: each
// item compiles its own columns; the join finds which item a name means.
#include <algorithm>

#include "exec/compiler_internal.h"
#include "sql/printer.h"
#include "util/errors.h"

namespace tabdb {

bool ScopeHasColumn(const Scope& sc, const std::string& name) {
  switch (sc.kind) {
    case Scope::kTable:
      return sc.table->FindColumn(name) != nullptr;
    case Scope::kView:
      for (const ViewColumn& c : sc.view->columns) {
        if (c.name == name) return true;
      }
      return false;
    case Scope::kDual:
      return name == "DUMMY";
    default:
      return false;
  }
}

Status Compiler::MemberColumn(const sql::Expr& e, CExpr* out) {
  const sql::NameList& n = e.names;
  const std::string& col = n.back().text;
  if (n.size() >= 2) {
    const std::string& q = n[n.size() - 2].text;
    const Scope* found = nullptr;
    for (const Scope& m : scope_.members) {
      if (std::find(m.qualifiers.begin(), m.qualifiers.end(), q) == m.qualifiers.end()) continue;
      if (n.size() == 3 && n[0].text != m.qualifier_owner) continue;
      // The same table twice without aliases: its name means neither.
      if (found != nullptr) return OraError(ora::kColumnAmbiguous);
      found = &m;
    }
    if (found != nullptr) {
      Compiler c(s_, *found, binds_);
      return c.Compile(e, out);
    }
  } else {
    for (const Scope::JoinedColumn& j : scope_.joined) {
      if (j.name == col) {
        out->sql = j.sql;
        out->type = j.type;
        return Status::Ok();
      }
    }
    const Scope* found = nullptr;
    for (const Scope& m : scope_.members) {
      if (!ScopeHasColumn(m, col)) continue;
      if (found != nullptr) return OraError(ora::kColumnAmbiguous);
      found = &m;
    }
    if (found != nullptr) {
      Compiler c(s_, *found, binds_);
      return c.Compile(e, out);
    }
  }
  // Pseudo-columns written as names, or ORA-00904.
  Scope none;
  none.allow_aggregates = scope_.allow_aggregates;
  none.outer = scope_.outer;
  Compiler c(s_, none, binds_);
  return c.Compile(e, out);
}

}  // namespace tabdb

// compile_where.cpp - WHERE clauses of queries, UPDATE and DELETE: terms
// on ROWNUM become row limits, terms with the (+) outer-join marker become
// LEFT JOIN conditions of comma-joined FROM items.
#include <algorithm>
#include <cstdlib>
#include <set>

#include "exec/functions.h"
#include "exec/scalar_fns.h"
#include "util/errors.h"

namespace tabdb {

namespace {

// Calls f on e and on every expression inside it, not inside nested queries.
template <class F>
void Walk(const sql::Expr& e, const F& f) {
  f(e);
  for (const sql::ExprPtr& a : e.args) {
    if (a) Walk(*a, f);
  }
}

// Which member of a join a column names (-1: none, a column of a query
// around it).
int MemberOf(const Scope& full, const sql::Expr& col) {
  const sql::NameList& n = col.names;
  int found = -1;
  for (size_t i = 0; i < full.members.size(); ++i) {
    const Scope& m = full.members[i];
    bool match;
    if (n.size() >= 2) {
      match = std::find(m.qualifiers.begin(), m.qualifiers.end(), n[n.size() - 2].text) != m.qualifiers.end() &&
              (n.size() < 3 || n[0].text == m.qualifier_owner);
    } else {
      match = ScopeHasColumn(m, n.back().text);
    }
    if (match) {
      if (found >= 0) return -1;
      found = static_cast<int>(i);
    }
  }
  return found;
}

}  // namespace

// The terms of a condition joined by AND.
void SplitAnd(const sql::Expr& e, std::vector<const sql::Expr*>* out) {
  if (e.kind == sql::ExprKind::kBinary && e.op == sql::Op::kAnd && e.args.size() == 2) {
    SplitAnd(*e.args[0], out);
    SplitAnd(*e.args[1], out);
  } else {
    out->push_back(&e);
  }
}

bool HasOuterMarker(const sql::Expr& e) {
  bool found = false;
  Walk(e, [&](const sql::Expr& x) { found = found || x.outer_join; });
  return found;
}

bool IsRownum(const sql::Expr& e) {
  return (e.kind == sql::ExprKind::kPseudo && e.text == "ROWNUM") ||
         (e.kind == sql::ExprKind::kColumn && e.names.size() == 1 && !e.names[0].quoted &&
          e.names[0].text == "ROWNUM");
}

bool HasRownum(const sql::Expr& e) {
  bool found = false;
  Walk(e, [&](const sql::Expr& x) { found = found || IsRownum(x); });
  return found;
}

// " LIMIT ..." or nothing. OFFSET 0 keeps SQLite from merging the limited
// query into one that sorts or groups its rows (which would limit them
// after that).
Status RownumLimits::Add(Compiler& c, const sql::Expr& t) {
  if (t.kind != sql::ExprKind::kBinary || t.args.size() != 2) return OraError(ora::kUnimplemented);
  sql::Op o = t.op;
  const sql::Expr* v = t.args[1].get();
  if (!IsRownum(*t.args[0])) {
    if (!IsRownum(*t.args[1])) return OraError(ora::kUnimplemented);
    v = t.args[0].get();
    // n op ROWNUM is ROWNUM op' n.
    switch (o) {
      case sql::Op::kLt: o = sql::Op::kGt; break;
      case sql::Op::kLe: o = sql::Op::kGe; break;
      case sql::Op::kGt: o = sql::Op::kLt; break;
      case sql::Op::kGe: o = sql::Op::kLe; break;
      default: break;
    }
  }
  char code;
  switch (o) {
    case sql::Op::kLt: code = '<'; break;
    case sql::Op::kLe: code = 'l'; break;
    case sql::Op::kEq: code = '='; break;
    case sql::Op::kGe: code = 'g'; break;
    case sql::Op::kGt: code = '>'; break;
    case sql::Op::kNe: code = '!'; break;
    default: return OraError(ora::kUnimplemented);
  }
  const sql::Expr* lit = v;
  bool neg = false;
  if (lit->kind == sql::ExprKind::kUnary && lit->op == sql::Op::kNeg && !lit->args.empty()) {
    neg = true;
    lit = lit->args[0].get();
  }
  if (lit->kind == sql::ExprKind::kLiteral && lit->lit == sql::LiteralKind::kNumber) {
    double d = std::strtod(lit->text.c_str(), nullptr);
    long long lim = RownumBound(code, neg ? -d : d);
    if (lim >= 0 && (fixed < 0 || lim < fixed)) fixed = lim;
    return Status::Ok();
  }
  bool per_row = false;
  Walk(*v, [&](const sql::Expr& x) {
    per_row = per_row || x.kind == sql::ExprKind::kColumn || x.kind == sql::ExprKind::kSubquery ||
              x.kind == sql::ExprKind::kExists || x.subquery != nullptr;
  });
  if (per_row || has_value) return OraError(ora::kUnimplemented);
  CExpr ce;
  TABDB_RETURN_IF_ERROR(c.Compile(*v, &ce));
  if (ce.is_bool || ce.aggregate) return OraError(ora::kUnimplemented);
  value = ce;
  value.sql = c.ConvertTo(ce, TypeKind::kNumber);
  value.type.kind = TypeKind::kNumber;
  value.null_literal = ce.null_literal;
  has_value = true;
  op = code;
  return Status::Ok();
}

std::string RownumLimits::Sql(Compiler& c) const {
  if (has_value)
    return " LIMIT " + c.Call(Operator("$ROWNUM_LIMIT"), TypeKind::kVarchar2, {&value},
                              std::string(1, op) + " " + std::to_string(fixed)) +
           " OFFSET 0";
  return fixed >= 0 ? " LIMIT " + std::to_string(fixed) + " OFFSET 0" : "";
}

Status CompileWhere(Compiler& w, const sql::Expr* where, const std::vector<const sql::Expr*>& consumed,
                    std::string* out, RownumLimits* limits) {
  out->clear();
  if (where == nullptr) return Status::Ok();
  std::vector<const sql::Expr*> terms;
  if (consumed.empty() && !HasRownum(*where)) {
    terms.push_back(where);
  } else {
    SplitAnd(*where, &terms);
  }
  for (const sql::Expr* t : terms) {
    if (std::find(consumed.begin(), consumed.end(), t) != consumed.end()) continue;
    if (HasRownum(*t)) {
      TABDB_RETURN_IF_ERROR(limits->Add(w, *t));
      continue;
    }
    CExpr c;
    TABDB_RETURN_IF_ERROR(w.CompileCondition(*t, &c));
    if (c.aggregate) return OraError(ora::kGroupFunctionNotAllowed);
    *out += (out->empty() ? " WHERE " : " AND ") + c.sql;
  }
  return Status::Ok();
}
Status PlanOuterJoins(Session& s, const sql::Select& q, const Scope& full,
                      const std::vector<std::pair<std::string, std::string>>& items, BindContext* binds,
                      std::string* from_sql, std::vector<const sql::Expr*>* consumed) {
  for (const sql::JoinItem& j : q.joins) {
    if (j.kind != sql::JoinKind::kComma) return OraError(ora::kOuterJoinWithAnsi);
  }
  std::vector<const sql::Expr*> terms;
  SplitAnd(*q.where, &terms);
  size_t m = full.members.size();
  std::vector<std::vector<const sql::Expr*>> on(m);
  std::vector<std::set<size_t>> after(m);
  for (const sql::Expr* t : terms) {
    if (!HasOuterMarker(*t)) continue;
    bool in_or = false;
    Walk(*t, [&](const sql::Expr& x) {
      if ((x.kind == sql::ExprKind::kBinary && x.op == sql::Op::kOr) || x.kind == sql::ExprKind::kIn)
        in_or = in_or || HasOuterMarker(x);
    });
    if (in_or) return OraError(ora::kOuterJoinInOr);
    std::set<size_t> marked, others;
    Walk(*t, [&](const sql::Expr& x) {
      if (x.kind != sql::ExprKind::kColumn) return;
      int i = MemberOf(full, x);
      if (i >= 0) (x.outer_join ? marked : others).insert(static_cast<size_t>(i));
    });
    if (marked.size() > 1) return OraError(ora::kOuterJoinTwoTables);
    if (marked.empty()) continue;
    size_t target = *marked.begin();
    others.erase(target);
    on[target].push_back(t);
    after[target].insert(others.begin(), others.end());
  }
  // Each outer-joined item after the items its conditions name; the first
  // item is one that is not outer-joined when there is one.
  std::vector<size_t> order;
  std::vector<bool> placed(m, false);
  while (order.size() < m) {
    size_t pick = m;
    for (size_t i = 0; i < m; ++i) {
      if (placed[i]) continue;
      bool ready = true;
      for (size_t d : after[i]) ready = ready && placed[d];
      if (!ready) continue;
      if (pick == m) pick = i;
      if (!order.empty() || on[i].empty()) {
        pick = i;
        break;
      }
    }
    if (pick == m) return OraError(ora::kOuterJoinCycle);
    placed[pick] = true;
    order.push_back(pick);
  }
  Compiler c(s, full, binds);
  std::string sql;
  for (size_t k = 0; k < order.size(); ++k) {
    const std::string& item = items[order[k]].first + " AS " + items[order[k]].second;
    if (k == 0 || on[order[k]].empty()) {
      sql += (k ? ", " : "") + item;
      continue;
    }
    std::string cond;
    for (const sql::Expr* t : on[order[k]]) {
      CExpr ce;
      TABDB_RETURN_IF_ERROR(c.CompileCondition(*t, &ce));
      if (ce.aggregate) return OraError(ora::kGroupFunctionNotAllowed);
      cond += (cond.empty() ? "" : " AND ") + ce.sql;
      consumed->push_back(t);
    }
    sql += " LEFT JOIN " + item + " ON " + cond;
  }
  *from_sql = sql;
  return Status::Ok();
}

}  // namespace tabdb

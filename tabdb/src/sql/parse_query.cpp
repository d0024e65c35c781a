// parse_query.cpp - whole queries: the WITH clause, query blocks joined by
// UNION [ALL], INTERSECT and MINUS, parenthesised branches, the ORDER BY
// and row limit of the whole, and comparisons with ANY / SOME / ALL.
#include "sql/parser_impl.h"
#include "util/errors.h"

namespace tabdb {
namespace sql {

bool Parser::PeekQueryStart(size_t k) const {
  // Parentheses around a query nest; the bound keeps the look-ahead short.
  for (size_t i = k; i < k + 32; ++i) {
    if (PeekWord("SELECT", i)) return true;
    if (PeekWord("WITH", i)) return PeekIsName(i + 1);
    if (!PeekSym("(", i)) return false;
  }
  return false;
}

bool Parser::PeekSetOp() const {
  return PeekWord("UNION") || PeekWord("INTERSECT") || PeekWord("MINUS") || PeekWord("EXCEPT");
}

Status Parser::ParseOrderBy(Select* s) { return ParseOrderItems(&s->order_by); }

// BY expr [ASC|DESC] [NULLS FIRST|LAST], ... after ORDER.
Status Parser::ParseOrderItems(std::vector<OrderItem>* out) {
  TABDB_RETURN_IF_ERROR(ExpectWord("BY", 924));
  do {
    OrderItem o;
    TABDB_RETURN_IF_ERROR(ParseExpr(&o.expr));
    if (AcceptWord("DESC")) {
      o.desc = true;
    } else {
      AcceptWord("ASC");
    }
    if (AcceptWord("NULLS")) {
      if (AcceptWord("FIRST"))
        o.nulls = 1;
      else if (AcceptWord("LAST"))
        o.nulls = 2;
      else
        return Err(905);
    }
    out->push_back(std::move(o));
  } while (AcceptSym(","));
  return Status::Ok();
}

// OVER ( [PARTITION BY expr, ...] [ORDER BY items [ROWS|RANGE frame]] )
// after an analytic function's arguments.
Status Parser::ParseOver(Expr* fn) {
  TABDB_RETURN_IF_ERROR(ExpectWord("OVER"));
  TABDB_RETURN_IF_ERROR(ExpectSym("(", 906));
  auto w = std::make_shared<WindowSpec>();
  if (AcceptWord("PARTITION")) {
    TABDB_RETURN_IF_ERROR(ExpectWord("BY", 924));
    do {
      ExprPtr e;
      TABDB_RETURN_IF_ERROR(ParseExpr(&e));
      w->partition_by.push_back(std::move(e));
    } while (AcceptSym(","));
  }
  if (AcceptWord("ORDER")) {
    TABDB_RETURN_IF_ERROR(ParseOrderItems(&w->order_by));
    if (PeekWord("ROWS") || PeekWord("RANGE")) {
      w->frame = Next().text;
      std::string bound;
      if (AcceptWord("BETWEEN")) {
        TABDB_RETURN_IF_ERROR(ParseFrameBound(&bound));
        w->frame += " BETWEEN " + bound;
        TABDB_RETURN_IF_ERROR(ExpectWord("AND"));
        TABDB_RETURN_IF_ERROR(ParseFrameBound(&bound));
        w->frame += " AND " + bound;
      } else {
        TABDB_RETURN_IF_ERROR(ParseFrameBound(&bound));
        w->frame += " " + bound;
      }
      // A RANGE of a value distance compares the ORDER BY values by
      // arithmetic, which the stored forms do not allow.
      if (w->frame.compare(0, 5, "RANGE") == 0 && w->frame.find_first_of("0123456789") != std::string::npos)
        return Unimplemented("RANGE with a value offset");
    }
  }
  TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
  fn->over = std::move(w);
  return Status::Ok();
}

// UNBOUNDED PRECEDING|FOLLOWING, CURRENT ROW, n PRECEDING|FOLLOWING.
Status Parser::ParseFrameBound(std::string* out) {
  if (AcceptWord("UNBOUNDED")) {
    if (AcceptWord("PRECEDING")) *out = "UNBOUNDED PRECEDING";
    else if (AcceptWord("FOLLOWING")) *out = "UNBOUNDED FOLLOWING";
    else return Err(905);
    return Status::Ok();
  }
  if (AcceptWord("CURRENT")) {
    TABDB_RETURN_IF_ERROR(ExpectWord("ROW"));
    *out = "CURRENT ROW";
    return Status::Ok();
  }
  const Token& t = Peek();
  if (t.kind != TokenKind::kNumber || t.text.find_first_not_of("0123456789") != std::string::npos)
    return Unimplemented("window frame offset that is not an unsigned integer");
  *out = Next().text;
  if (AcceptWord("PRECEDING")) *out += " PRECEDING";
  else if (AcceptWord("FOLLOWING")) *out += " FOLLOWING";
  else return Err(905);
  return Status::Ok();
}

// WITH name [(column, ...)] AS (query) [, ...]
Status Parser::ParseWith(std::vector<WithItem>* out) {
  TABDB_RETURN_IF_ERROR(ExpectWord("WITH"));
  do {
    WithItem w;
    TABDB_RETURN_IF_ERROR(ParseName(&w.name, 904));
    if (PeekSym("(")) TABDB_RETURN_IF_ERROR(ParseNameListInParens(&w.columns));
    TABDB_RETURN_IF_ERROR(ExpectWord("AS", 905));
    TABDB_RETURN_IF_ERROR(ExpectSym("(", 906));
    DepthGuard guard(this, 8);
    if (!guard.ok()) return guard.status();
    std::unique_ptr<Select> q;
    TABDB_RETURN_IF_ERROR(ParseSelect(&q, false));
    TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
    w.query = std::move(q);
    out->push_back(std::move(w));
  } while (AcceptSym(","));
  if (!PeekQueryStart()) return Err(928);
  return Status::Ok();
}

Status Parser::ParseSetBranch(std::unique_ptr<Select>* out, bool* parenthesised) {
  *parenthesised = false;
  if (!PeekSym("(")) return ParseQueryBlock(out);
  DepthGuard guard(this, 8);
  if (!guard.ok()) return guard.status();
  Next();
  TABDB_RETURN_IF_ERROR(ParseSelect(out, false));
  TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
  *parenthesised = true;
  return Status::Ok();
}

Status Parser::ParseSelect(std::unique_ptr<Select>* out, bool allow_for_update) {
  std::vector<WithItem> with;
  if (PeekWord("WITH")) TABDB_RETURN_IF_ERROR(ParseWith(&with));
  std::unique_ptr<Select> first;
  bool parenthesised = false;
  TABDB_RETURN_IF_ERROR(ParseSetBranch(&first, &parenthesised));
  std::unique_ptr<Select> q;
  if (PeekSetOp() || (parenthesised && (PeekWord("ORDER") || PeekWord("OFFSET") || PeekWord("FETCH")))) {
    // Set operators have equal precedence and group from left to right.
    q = std::make_unique<Select>();
    q->branches.push_back(SetBranch{SetOp::kUnion, std::move(first)});
    while (PeekSetOp()) {
      SetBranch b;
      if (AcceptWord("UNION")) {
        b.op = AcceptWord("ALL") ? SetOp::kUnionAll : SetOp::kUnion;
      } else if (AcceptWord("INTERSECT")) {
        b.op = SetOp::kIntersect;
      } else {
        Next();  // MINUS, or EXCEPT as newer releases also spell it
        b.op = SetOp::kMinus;
      }
      std::unique_ptr<Select> branch;
      bool p = false;
      TABDB_RETURN_IF_ERROR(ParseSetBranch(&branch, &p));
      b.query = std::move(branch);
      q->branches.push_back(std::move(b));
    }
  } else {
    q = std::move(first);
  }
  if (AcceptWord("ORDER")) TABDB_RETURN_IF_ERROR(ParseOrderBy(q.get()));
  TABDB_RETURN_IF_ERROR(ParseRowLimit(q.get()));
  if (allow_for_update && AcceptWord("FOR")) {
    TABDB_RETURN_IF_ERROR(ExpectWord("UPDATE"));
    q->for_update = true;
  }
  if (!with.empty()) {
    // WITH items of an inner WITH come after the outer ones they may use.
    for (WithItem& w : q->with) with.push_back(std::move(w));
    q->with = std::move(with);
  }
  *out = std::move(q);
  return Status::Ok();
}

// v, v, ... after IN ( or ANY ( : the values after args[0].
Status Parser::ParseValueList(Expr* e) {
  do {
    if (e->args.size() > kMaxInList) return OraError(ora::kTooManyListExpressions);
    ExprPtr item;
    TABDB_RETURN_IF_ERROR(ParseConcat(&item));
    e->args.push_back(std::move(item));
  } while (AcceptSym(","));
  return Status::Ok();
}

Status Parser::ParseQuantified(Op op, ExprPtr left, ExprPtr* out) {
  ExprPtr e = NewExpr(ExprKind::kQuantified, left->span.begin);
  e->op = op;
  e->quantifier_all = PeekWord("ALL");
  Next();  // ANY, SOME or ALL
  e->args.push_back(std::move(left));
  TABDB_RETURN_IF_ERROR(ExpectSym("(", 906));
  if (PeekQueryStart()) {
    TABDB_RETURN_IF_ERROR(ParseSubquery(&e->subquery));
  } else {
    TABDB_RETURN_IF_ERROR(ParseValueList(e.get()));
  }
  TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
  e->span.end = prev_end_;
  *out = std::move(e);
  return Status::Ok();
}

}  // namespace sql
}  // namespace tabdb

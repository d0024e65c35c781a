// tree_compare.h - structural comparison of expression trees for the sql
// module's tests (spans ignored; name quoting optionally ignored, since the
// printer quotes every column name).
#pragma once

#include <string>

#include "sql/ast.h"

namespace tabdb {
namespace sql {
namespace testing_util {

// True if `a` and `b` have the same shape and contents. On a difference,
// `*why` (if given) describes the first one found.
inline bool SameExpr(const Expr& a, const Expr& b, std::string* why = nullptr) {
  auto fail = [&](const std::string& what) {
    if (why) *why = what;
    return false;
  };
  if (a.kind != b.kind) return fail("kind");
  if (a.kind == ExprKind::kLiteral && a.lit != b.lit) return fail("literal kind");
  if (a.text != b.text) return fail("text " + a.text + " vs " + b.text);
  if (a.kind == ExprKind::kLiteral &&
      (a.lit == LiteralKind::kIntervalYM || a.lit == LiteralKind::kIntervalDS)) {
    if (a.from_unit != b.from_unit || a.to_unit != b.to_unit ||
        a.leading_precision != b.leading_precision ||
        a.fractional_precision != b.fractional_precision)
      return fail("interval qualifier");
  }
  if (a.bind_index != b.bind_index || a.bind_name != b.bind_name) return fail("bind");
  if (a.names.size() != b.names.size()) return fail("name count");
  for (size_t i = 0; i < a.names.size(); ++i)
    if (a.names[i].text != b.names[i].text) return fail("name " + a.names[i].text);
  if (a.op != b.op) return fail("op");
  if (a.distinct != b.distinct || a.star != b.star || a.negated != b.negated ||
      a.has_operand != b.has_operand || a.has_else != b.has_else)
    return fail("flags");
  if (a.kind == ExprKind::kCast && !(a.cast_type == b.cast_type)) return fail("cast type");
  if (a.args.size() != b.args.size()) return fail("arg count");
  for (size_t i = 0; i < a.args.size(); ++i)
    if (!SameExpr(*a.args[i], *b.args[i], why)) return false;
  return true;
}

}  // namespace testing_util
}  // namespace sql
}  // namespace tabdb

// parse_expr.cpp - expressions, conditions and column types.
//
// Oracle precedence, loosest first: OR, AND, NOT, comparison (=, <>, <, ...,
// LIKE, IN, BETWEEN, IS NULL), ||, binary + -, * /, unary + -.
#include <climits>

#include "sql/parser.h"
#include "sql/parser_impl.h"
#include "util/errors.h"

namespace tabdb {
namespace sql {

namespace {

// Keywords that read as pseudo-columns when not followed by '('.
bool IsPseudoColumn(const std::string& w) {
  static const char* const kNames[] = {
      "SYSDATE",        "SYSTIMESTAMP", "CURRENT_DATE", "CURRENT_TIMESTAMP",
      "LOCALTIMESTAMP", "USER",         "UID",          "LEVEL",
      "ROWNUM",         "ROWID",        "DBTIMEZONE",   "SESSIONTIMEZONE",
  };
  for (const char* n : kNames)
    if (w == n) return true;
  return false;
}

bool IsExtractField(const std::string& w) {
  static const char* const kFields[] = {"YEAR",          "MONTH",           "DAY",
                                        "HOUR",          "MINUTE",          "SECOND",
                                        "TIMEZONE_HOUR", "TIMEZONE_MINUTE", "TIMEZONE_REGION",
                                        "TIMEZONE_ABBR"};
  for (const char* f : kFields)
    if (w == f) return true;
  return false;
}

ExprPtr MakeBinary(Op op, ExprPtr l, ExprPtr r) {
  ExprPtr e = NewExpr(ExprKind::kBinary, l->span.begin);
  e->span.end = r->span.end;
  e->op = op;
  e->args.push_back(std::move(l));
  e->args.push_back(std::move(r));
  return e;
}

}  // namespace

ExprPtr NewExpr(ExprKind kind, uint32_t begin) {
  auto e = std::make_unique<Expr>();
  e->kind = kind;
  e->span.begin = begin;
  e->span.end = begin;
  return e;
}

Status Parser::CountNode() {
  if (++nodes_ > kMaxExprNodes) return Unimplemented("expression of more than " + std::to_string(kMaxExprNodes) + " operations");
  return Status::Ok();
}

Status DepthGuard::status() const {
  // Nesting this deep is refused rather than risking the stack.
  return Unimplemented("expressions nested this deep");
}

// ---- conditions -----------------------------------------------------------

Status Parser::ParseCondition(ExprPtr* out) {
  StartExpression();
  DepthGuard guard(this, 4);
  if (!guard.ok()) return guard.status();
  ExprPtr left;
  TABDB_RETURN_IF_ERROR(ParseAnd(&left));
  while (AcceptWord("OR")) {
    TABDB_RETURN_IF_ERROR(CountNode());
    ExprPtr right;
    TABDB_RETURN_IF_ERROR(ParseAnd(&right));
    left = MakeBinary(Op::kOr, std::move(left), std::move(right));
  }
  *out = std::move(left);
  return Status::Ok();
}

Status Parser::ParseAnd(ExprPtr* out) {
  ExprPtr left;
  TABDB_RETURN_IF_ERROR(ParseNot(&left));
  while (AcceptWord("AND")) {
    TABDB_RETURN_IF_ERROR(CountNode());
    ExprPtr right;
    TABDB_RETURN_IF_ERROR(ParseNot(&right));
    left = MakeBinary(Op::kAnd, std::move(left), std::move(right));
  }
  *out = std::move(left);
  return Status::Ok();
}

Status Parser::ParseNot(ExprPtr* out) {
  if (!PeekWord("NOT")) return ParseComparison(out);
  DepthGuard guard(this, 2);
  if (!guard.ok()) return guard.status();
  TABDB_RETURN_IF_ERROR(CountNode());
  uint32_t begin = Next().begin;
  ExprPtr operand;
  TABDB_RETURN_IF_ERROR(ParseNot(&operand));
  ExprPtr e = NewExpr(ExprKind::kUnary, begin);
  e->op = Op::kNot;
  e->span.end = operand->span.end;
  e->args.push_back(std::move(operand));
  *out = std::move(e);
  return Status::Ok();
}

Status Parser::ParseComparison(ExprPtr* out) {
  ExprPtr left;
  TABDB_RETURN_IF_ERROR(ParseConcat(&left));
  const Token& t = Peek();
  if (t.kind == TokenKind::kSymbol) {
    Op op = Op::kNone;
    if (t.text == "=")
      op = Op::kEq;
    else if (t.text == "<>" || t.text == "!=")
      op = Op::kNe;
    else if (t.text == "<")
      op = Op::kLt;
    else if (t.text == "<=")
      op = Op::kLe;
    else if (t.text == ">")
      op = Op::kGt;
    else if (t.text == ">=")
      op = Op::kGe;
    if (op != Op::kNone) {
      Next();
      TABDB_RETURN_IF_ERROR(CountNode());
      if ((PeekWord("ANY") || PeekWord("SOME") || PeekWord("ALL")) && PeekSym("(", 1))
        return ParseQuantified(op, std::move(left), out);
      ExprPtr right;
      TABDB_RETURN_IF_ERROR(ParseConcat(&right));
      *out = MakeBinary(op, std::move(left), std::move(right));
      return Status::Ok();
    }
    *out = std::move(left);
    return Status::Ok();
  }
  uint32_t begin = left->span.begin;
  bool negated = false;
  if (PeekWord("NOT") && (PeekWord("LIKE", 1) || PeekWord("IN", 1) || PeekWord("BETWEEN", 1))) {
    Next();
    negated = true;
  }
  if (PeekWord("LIKE") || PeekWord("BETWEEN") || PeekWord("IN") || PeekWord("IS"))
    TABDB_RETURN_IF_ERROR(CountNode());
  if (AcceptWord("LIKE")) {
    ExprPtr e = NewExpr(ExprKind::kLike, begin);
    e->negated = negated;
    e->args.push_back(std::move(left));
    ExprPtr pattern;
    TABDB_RETURN_IF_ERROR(ParseConcat(&pattern));
    e->args.push_back(std::move(pattern));
    if (AcceptWord("ESCAPE")) {
      ExprPtr esc;
      TABDB_RETURN_IF_ERROR(ParseConcat(&esc));
      e->args.push_back(std::move(esc));
    }
    e->span.end = prev_end_;
    *out = std::move(e);
    return Status::Ok();
  }
  if (AcceptWord("BETWEEN")) {
    ExprPtr e = NewExpr(ExprKind::kBetween, begin);
    e->negated = negated;
    e->args.push_back(std::move(left));
    ExprPtr lo, hi;
    TABDB_RETURN_IF_ERROR(ParseConcat(&lo));
    TABDB_RETURN_IF_ERROR(ExpectWord("AND"));
    TABDB_RETURN_IF_ERROR(ParseConcat(&hi));
    e->args.push_back(std::move(lo));
    e->args.push_back(std::move(hi));
    e->span.end = prev_end_;
    *out = std::move(e);
    return Status::Ok();
  }
  if (AcceptWord("IN")) {
    ExprPtr e = NewExpr(ExprKind::kIn, begin);
    e->negated = negated;
    e->args.push_back(std::move(left));
    TABDB_RETURN_IF_ERROR(ExpectSym("(", 906));
    if (PeekWord("SELECT") || PeekWord("WITH")) {
      TABDB_RETURN_IF_ERROR(ParseSubquery(&e->subquery));
      TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
      e->span.end = prev_end_;
      *out = std::move(e);
      return Status::Ok();
    }
    TABDB_RETURN_IF_ERROR(ParseValueList(e.get()));
    TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
    e->span.end = prev_end_;
    *out = std::move(e);
    return Status::Ok();
  }
  if (PeekWord("IS")) {
    Next();
    ExprPtr e = NewExpr(ExprKind::kIsNull, begin);
    e->negated = AcceptWord("NOT");
    if (AcceptWord("JSON")) {
      // IS [NOT] JSON [STRICT | LAX]: the text is well-formed JSON.
      e->text = "JSON";
      if (!AcceptWord("LAX") && AcceptWord("STRICT")) e->text = "JSON STRICT";
    } else if (!AcceptWord("NULL")) {
      return Err(908);
    }
    e->args.push_back(std::move(left));
    e->span.end = prev_end_;
    *out = std::move(e);
    return Status::Ok();
  }
  *out = std::move(left);
  return Status::Ok();
}

// ---- value expressions -----------------------------------------------------

Status Parser::ParseExpr(ExprPtr* out) {
  StartExpression();
  DepthGuard guard(this, 4);
  if (!guard.ok()) return guard.status();
  return ParseConcat(out);
}

// || has the precedence of binary + and -, as in Oracle: the three
// associate to the left at one level ('a'||1+2 is ('a'||1)+2).
Status Parser::ParseConcat(ExprPtr* out) { return ParseAdditive(out); }

Status Parser::ParseAdditive(ExprPtr* out) {
  ExprPtr left;
  TABDB_RETURN_IF_ERROR(ParseMultiplicative(&left));
  while (PeekSym("+") || PeekSym("-") || PeekSym("||")) {
    TABDB_RETURN_IF_ERROR(CountNode());
    std::string sym = Next().text;
    Op op = sym == "+" ? Op::kAdd : sym == "-" ? Op::kSub : Op::kConcat;
    ExprPtr right;
    TABDB_RETURN_IF_ERROR(ParseMultiplicative(&right));
    left = MakeBinary(op, std::move(left), std::move(right));
  }
  *out = std::move(left);
  return Status::Ok();
}

Status Parser::ParseMultiplicative(ExprPtr* out) {
  ExprPtr left;
  TABDB_RETURN_IF_ERROR(ParseUnary(&left));
  while (PeekSym("*") || PeekSym("/")) {
    TABDB_RETURN_IF_ERROR(CountNode());
    Op op = Next().text == "*" ? Op::kMul : Op::kDiv;
    ExprPtr right;
    TABDB_RETURN_IF_ERROR(ParseUnary(&right));
    left = MakeBinary(op, std::move(left), std::move(right));
  }
  *out = std::move(left);
  return Status::Ok();
}

Status Parser::ParseUnary(ExprPtr* out) {
  if (!PeekSym("+") && !PeekSym("-")) return ParsePrimary(out);
  DepthGuard guard(this, 2);
  if (!guard.ok()) return guard.status();
  TABDB_RETURN_IF_ERROR(CountNode());
  const Token& t = Next();
  ExprPtr e = NewExpr(ExprKind::kUnary, t.begin);
  e->op = t.text == "-" ? Op::kNeg : Op::kPlus;
  ExprPtr operand;
  TABDB_RETURN_IF_ERROR(ParseUnary(&operand));
  e->span.end = operand->span.end;
  e->args.push_back(std::move(operand));
  *out = std::move(e);
  return Status::Ok();
}

Status Parser::ParsePrimary(ExprPtr* out) {
  DepthGuard guard(this, 4);
  if (!guard.ok()) return guard.status();
  const Token& t = Peek();
  switch (t.kind) {
    case TokenKind::kNumber:
    case TokenKind::kBinaryFloat:
    case TokenKind::kBinaryDouble:
    case TokenKind::kString:
    case TokenKind::kNString: {
      ExprPtr e = NewExpr(ExprKind::kLiteral, t.begin);
      e->lit = t.kind == TokenKind::kNumber         ? LiteralKind::kNumber
               : t.kind == TokenKind::kBinaryFloat  ? LiteralKind::kBinaryFloat
               : t.kind == TokenKind::kBinaryDouble ? LiteralKind::kBinaryDouble
               : t.kind == TokenKind::kString       ? LiteralKind::kString
                                                    : LiteralKind::kNString;
      e->text = t.text;
      Next();
      e->span.end = prev_end_;
      *out = std::move(e);
      return Status::Ok();
    }
    case TokenKind::kBind: {
      ExprPtr e = NewExpr(ExprKind::kBind, t.begin);
      e->bind_name = t.text;
      binds_->push_back(t.text);
      e->bind_index = static_cast<int>(binds_->size());
      Next();
      e->span.end = prev_end_;
      *out = std::move(e);
      return Status::Ok();
    }
    case TokenKind::kSymbol: {
      if (t.text != "(") return Err(936);
      if (PeekWord("SELECT", 1) || (PeekWord("WITH", 1) && PeekIsName(2))) {
        ExprPtr e = NewExpr(ExprKind::kSubquery, Next().begin);
        TABDB_RETURN_IF_ERROR(ParseSubquery(&e->subquery));
        TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
        e->span.end = prev_end_;
        *out = std::move(e);
        return Status::Ok();
      }
      uint32_t begin = Next().begin;
      ExprPtr inner;
      TABDB_RETURN_IF_ERROR(ParseCondition(&inner));
      TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
      // The span covers the parentheses: it is the text as written.
      inner->span.begin = begin;
      inner->span.end = prev_end_;
      *out = std::move(inner);
      return Status::Ok();
    }
    case TokenKind::kQuotedIdent:
      return ParseNamePrimary(out);
    case TokenKind::kIdent:
      break;
    case TokenKind::kEnd:
      return Err(936);
  }

  const std::string& w = t.text;
  const Token& t1 = Peek(1);
  if (w == "NULL") {
    ExprPtr e = NewExpr(ExprKind::kLiteral, t.begin);
    e->lit = LiteralKind::kNull;
    Next();
    e->span.end = prev_end_;
    *out = std::move(e);
    return Status::Ok();
  }
  if (plsql_ && (w == "TRUE" || w == "FALSE")) {
    ExprPtr e = NewExpr(ExprKind::kLiteral, t.begin);
    e->lit = LiteralKind::kBoolean;
    e->text = w;
    Next();
    e->span.end = prev_end_;
    *out = std::move(e);
    return Status::Ok();
  }
  if ((w == "DATE" || w == "TIMESTAMP") && t1.kind == TokenKind::kString) {
    ExprPtr e = NewExpr(ExprKind::kLiteral, t.begin);
    e->lit = w == "DATE" ? LiteralKind::kDate : LiteralKind::kTimestamp;
    Next();
    e->text = Next().text;
    e->span.end = prev_end_;
    *out = std::move(e);
    return Status::Ok();
  }
  if (w == "INTERVAL" && t1.kind == TokenKind::kString) return ParseIntervalLiteral(out);
  if (w == "CASE" || ((w == "EXTRACT" || w == "CAST") && IsSym(t1, "(")))
    TABDB_RETURN_IF_ERROR(CountNode());
  if (w == "CASE") return ParseCase(out);
  if (w == "EXTRACT" && IsSym(t1, "(")) {
    ExprPtr e = NewExpr(ExprKind::kExtract, t.begin);
    Next();
    Next();
    const Token& f = Peek();
    if (f.kind != TokenKind::kIdent || !IsExtractField(f.text)) return Err(905);
    e->text = f.text;
    Next();
    TABDB_RETURN_IF_ERROR(ExpectWord("FROM", 905));
    ExprPtr arg;
    TABDB_RETURN_IF_ERROR(ParseExpr(&arg));
    e->args.push_back(std::move(arg));
    TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
    e->span.end = prev_end_;
    *out = std::move(e);
    return Status::Ok();
  }
  if (w == "CAST" && IsSym(t1, "(")) {
    ExprPtr e = NewExpr(ExprKind::kCast, t.begin);
    Next();
    Next();
    ExprPtr arg;
    TABDB_RETURN_IF_ERROR(ParseExpr(&arg));
    e->args.push_back(std::move(arg));
    TABDB_RETURN_IF_ERROR(ExpectWord("AS", 905));
    TABDB_RETURN_IF_ERROR(ParseDataType(&e->cast_type));
    TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
    e->span.end = prev_end_;
    *out = std::move(e);
    return Status::Ok();
  }
  if (IsPseudoColumn(w) && !IsSym(t1, "(") && !IsSym(t1, ".")) {
    ExprPtr e = NewExpr(ExprKind::kPseudo, t.begin);
    e->text = w;
    Next();
    e->span.end = prev_end_;
    *out = std::move(e);
    return Status::Ok();
  }
  if (w == "EXISTS" && IsSym(t1, "(")) {
    ExprPtr e = NewExpr(ExprKind::kExists, t.begin);
    Next();
    Next();
    TABDB_RETURN_IF_ERROR(ParseSubquery(&e->subquery));
    TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
    e->span.end = prev_end_;
    *out = std::move(e);
    return Status::Ok();
  }
  if (IsReservedWord(w)) return Err(936);
  return ParseNamePrimary(out);
}

// name[.name[.name]] as a column, or followed by '(' as a function call.
Status Parser::ParseNamePrimary(ExprPtr* out) {
  ExprPtr e = NewExpr(ExprKind::kColumn, Peek().begin);
  Name n;
  TABDB_RETURN_IF_ERROR(ParseName(&n, 904));
  e->names.push_back(std::move(n));
  while (PeekSym(".") && PeekIsName(1)) {
    if (e->names.size() == 3) return Err(1747);
    Next();
    TABDB_RETURN_IF_ERROR(ParseName(&n, 904));
    e->names.push_back(std::move(n));
  }
  // t.ROWID: the pseudo-column of the table named before it.
  if (PeekSym(".") && PeekWord("ROWID", 1) && !PeekSym("(", 2) && e->names.size() < 3) {
    Next();
    Next();
    e->names.push_back(Name{"ROWID", false});
  }
  if (PeekSym(".") && !PeekSym("*", 1)) {
    Next();
    return Err(904, {""});
  }
  if (PeekSym("(") && PeekSym("+", 1) && PeekSym(")", 2)) {
    // column(+): the outer-join marker of a WHERE condition.
    Next();
    Next();
    Next();
    e->outer_join = true;
  } else if (PeekSym("(")) {
    TABDB_RETURN_IF_ERROR(CountNode());
    e->kind = ExprKind::kFunction;
    static const char* const kJson[] = {"JSON_VALUE", "JSON_QUERY", "JSON_EXISTS",
                                        "JSON_OBJECT", "JSON_ARRAY", "JSON_ARRAYAGG"};
    bool json = false;
    for (const char* j : kJson) json = json || (e->names.size() == 1 && e->names[0].text == j);
    if (json)
      TABDB_RETURN_IF_ERROR(ParseJsonArgs(e.get()));
    else
      TABDB_RETURN_IF_ERROR(ParseFunctionArgs(e.get()));
    if (PeekWord("OVER") && PeekSym("(", 1)) TABDB_RETURN_IF_ERROR(ParseOver(e.get()));
  }
  e->span.end = prev_end_;
  *out = std::move(e);
  return Status::Ok();
}

// ( [*] | [DISTINCT|ALL] expr, ... ) after a function name.
Status Parser::ParseFunctionArgs(Expr* fn) {
  TABDB_RETURN_IF_ERROR(ExpectSym("(", 906));
  if (AcceptSym(")")) return Status::Ok();
  if (PeekSym("*") && PeekSym(")", 1)) {
    Next();
    Next();
    fn->star = true;
    return Status::Ok();
  }
  if (AcceptWord("DISTINCT") || AcceptWord("UNIQUE")) {
    fn->distinct = true;
  } else {
    AcceptWord("ALL");
  }
  do {
    ExprPtr arg;
    // name => value: named notation (of stored functions).
    if (PeekIsName() && PeekSym("=>", 1)) {
      fn->arg_names.resize(fn->args.size());
      fn->arg_names.push_back(Peek().text);
      Next();
      Next();
    } else if (!fn->arg_names.empty()) {
      fn->arg_names.emplace_back();
    }
    // PL/SQL arguments may be conditions (BOOLEAN parameters).
    TABDB_RETURN_IF_ERROR(plsql_ ? ParseCondition(&arg) : ParseExpr(&arg));
    fn->args.push_back(std::move(arg));
  } while (AcceptSym(","));
  return ExpectSym(")", 907);
}

Status Parser::ParseCase(ExprPtr* out) {
  ExprPtr e = NewExpr(ExprKind::kCase, Next().begin);
  if (!PeekWord("WHEN")) {
    ExprPtr operand;
    TABDB_RETURN_IF_ERROR(ParseExpr(&operand));
    e->has_operand = true;
    e->args.push_back(std::move(operand));
  }
  if (!PeekWord("WHEN")) return Err(905);
  while (AcceptWord("WHEN")) {
    ExprPtr when, then;
    TABDB_RETURN_IF_ERROR(e->has_operand ? ParseExpr(&when) : ParseCondition(&when));
    TABDB_RETURN_IF_ERROR(ExpectWord("THEN"));
    TABDB_RETURN_IF_ERROR(ParseExpr(&then));
    e->args.push_back(std::move(when));
    e->args.push_back(std::move(then));
  }
  if (AcceptWord("ELSE")) {
    ExprPtr other;
    TABDB_RETURN_IF_ERROR(ParseExpr(&other));
    e->args.push_back(std::move(other));
    e->has_else = true;
  }
  TABDB_RETURN_IF_ERROR(ExpectWord("END"));
  e->span.end = prev_end_;
  *out = std::move(e);
  return Status::Ok();
}

Status Parser::ParseIntervalUnit(IntervalUnit* unit) {
  const Token& t = Peek();
  if (t.kind == TokenKind::kIdent) {
    static const struct {
      const char* word;
      IntervalUnit unit;
    } kUnits[] = {{"YEAR", IntervalUnit::kYear},     {"MONTH", IntervalUnit::kMonth},
                  {"DAY", IntervalUnit::kDay},       {"HOUR", IntervalUnit::kHour},
                  {"MINUTE", IntervalUnit::kMinute}, {"SECOND", IntervalUnit::kSecond}};
    for (const auto& u : kUnits) {
      if (t.text == u.word) {
        *unit = u.unit;
        Next();
        return Status::Ok();
      }
    }
  }
  return Err(905);
}

// INTERVAL 'text' unit[(p[,s])] [TO unit[(s)]]
Status Parser::ParseIntervalLiteral(ExprPtr* out) {
  ExprPtr e = NewExpr(ExprKind::kLiteral, Next().begin);
  e->text = Next().text;
  TABDB_RETURN_IF_ERROR(ParseIntervalUnit(&e->from_unit));
  bool seconds = e->from_unit == IntervalUnit::kSecond;
  int lead = kUnset, frac = kUnset;
  if (PeekSym("(")) {
    TABDB_RETURN_IF_ERROR(ParseParenPrecision(0, 9, 30088, &lead, seconds ? &frac : nullptr));
  }
  e->to_unit = e->from_unit;
  if (AcceptWord("TO")) {
    TABDB_RETURN_IF_ERROR(ParseIntervalUnit(&e->to_unit));
    bool ym_from = e->from_unit <= IntervalUnit::kMonth;
    bool ym_to = e->to_unit <= IntervalUnit::kMonth;
    // The trailing field must be a smaller unit of the same interval kind.
    if (seconds || e->to_unit <= e->from_unit || ym_from != ym_to) return OraError(ora::kMissingKeyword);
    if (e->to_unit == IntervalUnit::kSecond && PeekSym("(")) {
      TABDB_RETURN_IF_ERROR(ParseParenPrecision(0, 9, 30088, &frac, nullptr));
    }
  }
  e->lit =
      e->from_unit <= IntervalUnit::kMonth ? LiteralKind::kIntervalYM : LiteralKind::kIntervalDS;
  e->leading_precision = lead;
  e->fractional_precision = frac;
  e->span.end = prev_end_;
  *out = std::move(e);
  return Status::Ok();
}

// ---- numbers --------------------------------------------------------------

Status Parser::ParseInteger(int64_t* out) {
  const Token& t = Peek();
  if (t.kind != TokenKind::kNumber) return Err(2017);
  int64_t v = 0;
  for (char c : t.text) {
    if (c < '0' || c > '9') return Err(2017);
    // Saturates: range checks of the caller then report the right error.
    v = v > (INT64_MAX - 9) / 10 ? INT64_MAX : v * 10 + (c - '0');
  }
  Next();
  *out = v;
  return Status::Ok();
}

Status Parser::ParseSize(int64_t* out) {
  TABDB_RETURN_IF_ERROR(ParseInteger(out));
  const Token& t = Peek();
  if (t.kind != TokenKind::kIdent || t.text.size() != 1) return Status::Ok();
  static const char kUnits[] = "KMGTPE";
  for (int i = 0; kUnits[i]; ++i) {
    if (t.text[0] == kUnits[i]) {
      for (int k = 0; k <= i; ++k) *out = *out > INT64_MAX / 1024 ? INT64_MAX : *out * 1024;
      Next();
      break;
    }
  }
  return Status::Ok();
}

// ( p [, s] ) with p in [lo, hi]; s (when wanted) in [lo, hi] as well.
Status Parser::ParseParenPrecision(int lo, int hi, int code, int* p, int* s) {
  TABDB_RETURN_IF_ERROR(ExpectSym("(", 906));
  int64_t v;
  TABDB_RETURN_IF_ERROR(ParseInteger(&v));
  if (v < lo || v > hi) return OraError(code);
  *p = static_cast<int>(v);
  if (s != nullptr && AcceptSym(",")) {
    TABDB_RETURN_IF_ERROR(ParseInteger(&v));
    if (v < lo || v > hi) return OraError(code);
    *s = static_cast<int>(v);
  }
  return ExpectSym(")", 907);
}

// ---- column types ---------------------------------------------------------

// ( n [BYTE|CHAR] ) for character types; n in 1..max.
Status Parser::ParseCharLength(TypeDesc* t, int max) {
  TABDB_RETURN_IF_ERROR(ExpectSym("(", 906));
  int64_t n;
  TABDB_RETURN_IF_ERROR(ParseInteger(&n));
  if (n == 0) return OraError(ora::kZeroLengthColumn);
  if (n > max) return OraError(ora::kLengthTooLong);
  t->length = static_cast<int>(n);
  bool national = t->kind == TypeKind::kNChar || t->kind == TypeKind::kNVarchar2;
  bool character = t->kind == TypeKind::kChar || t->kind == TypeKind::kVarchar2;
  if (character && AcceptWord("CHAR")) {
    t->char_semantics = true;
  } else if (character && AcceptWord("BYTE")) {
    t->char_semantics = false;
  }
  if (national) t->char_semantics = true;
  return ExpectSym(")", 907);
}

// [( p|* [, s] )] for NUMBER and its ANSI synonyms. Without precision the
// ANSI types (default_integer) are NUMBER(*,0), NUMBER is plain NUMBER.
Status Parser::ParseNumberPrecision(TypeDesc* t, bool default_integer) {
  t->kind = TypeKind::kNumber;
  if (!AcceptSym("(")) {
    if (default_integer) {
      t->precision = 0;
      t->scale = 0;
    }
    return Status::Ok();
  }
  bool star = AcceptSym("*");
  if (!star) {
    int64_t p;
    TABDB_RETURN_IF_ERROR(ParseInteger(&p));
    if (p < 1 || p > 38) return OraError(ora::kPrecisionOutOfRange);
    t->precision = static_cast<int>(p);
    t->scale = 0;  // NUMBER(p) is NUMBER(p,0)
  }
  if (AcceptSym(",")) {
    bool negative = AcceptSym("-");
    if (!negative) AcceptSym("+");
    int64_t s;
    TABDB_RETURN_IF_ERROR(ParseInteger(&s));
    if (negative) s = -s;
    if (s < -84 || s > 127) return OraError(ora::kScaleOutOfRange);
    if (star) t->precision = 0;
    t->scale = static_cast<int>(s);
  } else if (star && default_integer) {
    t->precision = 0;
    t->scale = 0;
  }
  // NUMBER(*) alone is plain NUMBER.
  return ExpectSym(")", 907);
}

Status Parser::ParseDataType(TypeDesc* out) {
  TypeDesc t;
  const Token& tok = Peek();
  if (tok.kind != TokenKind::kIdent) return Err(902);
  std::string w = tok.text;
  Next();
  // [(p)] of datetime and interval types, p in 0..9.
  auto precision_paren = [&](int* p) -> Status {
    if (!PeekSym("(")) return Status::Ok();
    return ParseParenPrecision(0, 9, 30088, p, nullptr);
  };
  auto varying = [&](TypeKind kind, int max) -> Status {
    t.kind = kind;
    return ParseCharLength(&t, max);
  };
  if (w == "VARCHAR2" || w == "VARCHAR") {
    TABDB_RETURN_IF_ERROR(varying(TypeKind::kVarchar2, 4000));
  } else if (w == "NVARCHAR2") {
    TABDB_RETURN_IF_ERROR(varying(TypeKind::kNVarchar2, 2000));
  } else if (w == "CHAR" || w == "CHARACTER") {
    if (AcceptWord("VARYING")) {
      TABDB_RETURN_IF_ERROR(varying(TypeKind::kVarchar2, 4000));
    } else {
      t.kind = TypeKind::kChar;
      if (PeekSym("(")) TABDB_RETURN_IF_ERROR(ParseCharLength(&t, 2000));
    }
  } else if (w == "NCHAR" || w == "NATIONAL") {
    if (w == "NATIONAL" && !AcceptWord("CHAR") && !AcceptWord("CHARACTER")) return Err(902);
    if (AcceptWord("VARYING")) {
      TABDB_RETURN_IF_ERROR(varying(TypeKind::kNVarchar2, 2000));
    } else {
      t.kind = TypeKind::kNChar;
      t.char_semantics = true;
      if (PeekSym("(")) TABDB_RETURN_IF_ERROR(ParseCharLength(&t, 1000));
    }
  } else if (w == "NUMBER") {
    TABDB_RETURN_IF_ERROR(ParseNumberPrecision(&t, false));
  } else if (w == "DECIMAL" || w == "DEC" || w == "NUMERIC") {
    TABDB_RETURN_IF_ERROR(ParseNumberPrecision(&t, true));
  } else if (w == "INTEGER" || w == "INT" || w == "SMALLINT") {
    t.kind = TypeKind::kNumber;
    t.precision = 0;
    t.scale = 0;
  } else if (w == "FLOAT") {
    t.kind = TypeKind::kFloat;
    if (PeekSym("(")) {
      TABDB_RETURN_IF_ERROR(ParseParenPrecision(1, 126, 1724, &t.precision, nullptr));
    }
  } else if (w == "DOUBLE") {
    TABDB_RETURN_IF_ERROR(ExpectWord("PRECISION", 902));
    t.kind = TypeKind::kFloat;
    t.precision = 126;
  } else if (w == "REAL") {
    t.kind = TypeKind::kFloat;
    t.precision = 63;
  } else if (w == "BINARY_FLOAT") {
    t.kind = TypeKind::kBinaryFloat;
  } else if (w == "BINARY_DOUBLE") {
    t.kind = TypeKind::kBinaryDouble;
  } else if (w == "DATE") {
    t.kind = TypeKind::kDate;
  } else if (w == "TIMESTAMP") {
    t.kind = TypeKind::kTimestamp;
    TABDB_RETURN_IF_ERROR(precision_paren(&t.precision));
    if (AcceptWord("WITH")) {
      if (AcceptWord("LOCAL"))
        t.kind = TypeKind::kTimestampLTZ;
      else
        t.kind = TypeKind::kTimestampTZ;
      TABDB_RETURN_IF_ERROR(ExpectWord("TIME"));
      TABDB_RETURN_IF_ERROR(ExpectWord("ZONE"));
    }
  } else if (w == "INTERVAL") {
    if (AcceptWord("YEAR")) {
      t.kind = TypeKind::kIntervalYM;
      TABDB_RETURN_IF_ERROR(precision_paren(&t.precision));
      TABDB_RETURN_IF_ERROR(ExpectWord("TO"));
      TABDB_RETURN_IF_ERROR(ExpectWord("MONTH"));
    } else if (AcceptWord("DAY")) {
      t.kind = TypeKind::kIntervalDS;
      TABDB_RETURN_IF_ERROR(precision_paren(&t.precision));
      TABDB_RETURN_IF_ERROR(ExpectWord("TO"));
      TABDB_RETURN_IF_ERROR(ExpectWord("SECOND"));
      TABDB_RETURN_IF_ERROR(precision_paren(&t.scale));
    } else {
      return Err(902);
    }
  } else if (w == "RAW") {
    t.kind = TypeKind::kRaw;
    TABDB_RETURN_IF_ERROR(ParseCharLength(&t, 2000));
  } else if (w == "LONG") {
    t.kind = TypeKind::kLong;
    if (AcceptWord("RAW"))
      t.kind = TypeKind::kLongRaw;
    else
      AcceptWord("VARCHAR");
  } else if (w == "CLOB") {
    t.kind = TypeKind::kClob;
  } else if (w == "NCLOB") {
    t.kind = TypeKind::kNClob;
  } else if (w == "BLOB") {
    t.kind = TypeKind::kBlob;
  } else if (w == "ROWID") {
    t.kind = TypeKind::kRowid;
  } else if (w == "UROWID") {
    t.kind = TypeKind::kURowid;
    if (PeekSym("(")) TABDB_RETURN_IF_ERROR(ParseCharLength(&t, 4000));
  } else {
    pos_ = pos_ > 0 ? pos_ - 1 : 0;  // report at the type name
    return OraError(ora::kInvalidDatatype);
  }
  *out = t;
  return Status::Ok();
}

}  // namespace sql
}  // namespace tabdb

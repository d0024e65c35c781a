// printer.cpp - the normalised SQL text of expressions and types.
//
// Parentheses are written only where the operator precedence of the parser
// needs them, so that the text parses back to the same tree.
#include "sql/printer.h"

#include "sql/lexer.h"

namespace tabdb {
namespace sql {

namespace {

// Binding strength, loosest first; kPrimary for everything that needs no
// parentheses anywhere.
enum Prec {
  kOrPrec = 1,
  kAndPrec,
  kNotPrec,
  kComparePrec,
  kConcatPrec,
  kAddPrec = kConcatPrec,  // || binds like binary + and -
  kMulPrec,
  kUnaryPrec,
  kPrimaryPrec,
};

int PrecOf(const Expr& e) {
  switch (e.kind) {
    case ExprKind::kBinary:
      switch (e.op) {
        case Op::kOr:
          return kOrPrec;
        case Op::kAnd:
          return kAndPrec;
        case Op::kConcat:
          return kConcatPrec;
        case Op::kAdd:
        case Op::kSub:
          return kAddPrec;
        case Op::kMul:
        case Op::kDiv:
          return kMulPrec;
        default:
          return kComparePrec;
      }
    case ExprKind::kUnary:
      return e.op == Op::kNot ? kNotPrec : kUnaryPrec;
    case ExprKind::kBetween:
    case ExprKind::kIn:
    case ExprKind::kLike:
    case ExprKind::kIsNull:
    case ExprKind::kQuantified:
      return kComparePrec;
    default:
      return kPrimaryPrec;
  }
}

const char* BinaryOpText(Op op) {
  switch (op) {
    case Op::kOr:
      return " OR ";
    case Op::kAnd:
      return " AND ";
    case Op::kConcat:
      return "||";
    case Op::kAdd:
      return "+";
    case Op::kSub:
      return "-";
    case Op::kMul:
      return "*";
    case Op::kDiv:
      return "/";
    case Op::kEq:
      return "=";
    case Op::kNe:
      return "<>";
    case Op::kLt:
      return "<";
    case Op::kLe:
      return "<=";
    case Op::kGt:
      return ">";
    case Op::kGe:
      return ">=";
    default:
      return "?";
  }
}

const char* UnitText(IntervalUnit u) {
  switch (u) {
    case IntervalUnit::kYear:
      return "YEAR";
    case IntervalUnit::kMonth:
      return "MONTH";
    case IntervalUnit::kDay:
      return "DAY";
    case IntervalUnit::kHour:
      return "HOUR";
    case IntervalUnit::kMinute:
      return "MINUTE";
    case IntervalUnit::kSecond:
      return "SECOND";
  }
  return "";
}

std::string Quoted(const std::string& s, char q) {
  std::string out(1, q);
  for (char c : s) {
    out += c;
    if (c == q) out += q;
  }
  out += q;
  return out;
}

// Names that would read as something else when written bare before '('.
bool NeedsQuotesAsFunction(const std::string& name) {
  static const char* const kSpecial[] = {"CASE", "CAST",  "EXTRACT",  "INTERVAL",
                                         "TRUE", "FALSE", "TIMESTAMP"};
  for (const char* s : kSpecial)
    if (name == s) return true;
  return !IsPlainIdentifier(name);
}

void Print(const Expr& e, std::string* out);

// Writes `e`, in parentheses when it binds more loosely than `min_prec`.
void Operand(const Expr& e, int min_prec, std::string* out) {
  std::string text;
  Print(e, &text);
  // "--" would start a comment: a minus followed by a negative operand
  // gets parentheses.
  bool after_minus = !out->empty() && out->back() == '-';
  if (PrecOf(e) < min_prec || (after_minus && !text.empty() && text[0] == '-')) {
    *out += '(';
    *out += text;
    *out += ')';
  } else {
    *out += text;
  }
}

void PrintLiteral(const Expr& e, std::string* out) {
  switch (e.lit) {
    case LiteralKind::kNull:
      *out += "NULL";
      return;
    case LiteralKind::kString:
      *out += Quoted(e.text, '\'');
      return;
    case LiteralKind::kNString:
      *out += "N" + Quoted(e.text, '\'');
      return;
    case LiteralKind::kNumber:
      *out += e.text;
      return;
    case LiteralKind::kBinaryFloat:
      *out += e.text + "F";
      return;
    case LiteralKind::kBinaryDouble:
      *out += e.text + "D";
      return;
    case LiteralKind::kDate:
      *out += "DATE " + Quoted(e.text, '\'');
      return;
    case LiteralKind::kTimestamp:
      *out += "TIMESTAMP " + Quoted(e.text, '\'');
      return;
    case LiteralKind::kBoolean:
      *out += e.text;
      return;
    case LiteralKind::kIntervalYM:
    case LiteralKind::kIntervalDS: {
      *out += "INTERVAL " + Quoted(e.text, '\'') + " " + UnitText(e.from_unit);
      bool second_only = e.from_unit == IntervalUnit::kSecond;
      if (e.leading_precision != kUnset) {
        *out += "(" + std::to_string(e.leading_precision);
        if (second_only && e.fractional_precision != kUnset)
          *out += "," + std::to_string(e.fractional_precision);
        *out += ")";
      }
      if (e.to_unit != e.from_unit) {
        *out += " TO ";
        *out += UnitText(e.to_unit);
        if (e.to_unit == IntervalUnit::kSecond && e.fractional_precision != kUnset)
          *out += "(" + std::to_string(e.fractional_precision) + ")";
      }
      return;
    }
  }
}

void Print(const Expr& e, std::string* out) {
  switch (e.kind) {
    case ExprKind::kLiteral:
      PrintLiteral(e, out);
      return;
    case ExprKind::kBind: {
      *out += ':';
      bool digits = !e.bind_name.empty();
      for (char c : e.bind_name) digits = digits && c >= '0' && c <= '9';
      *out += digits || IsPlainIdentifier(e.bind_name) ? e.bind_name : QuoteName(e.bind_name);
      return;
    }
    case ExprKind::kColumn:
      for (size_t i = 0; i < e.names.size(); ++i) {
        if (i) *out += '.';
        *out += QuoteName(e.names[i].text);
      }
      if (e.outer_join) *out += "(+)";
      return;
    case ExprKind::kPseudo:
      *out += e.text;
      return;
    case ExprKind::kSubquery:
      *out += "(SELECT ...)";
      return;
    case ExprKind::kExists:
      *out += "EXISTS (SELECT ...)";
      return;
    case ExprKind::kUnary:
      if (e.args.empty()) return;
      if (e.op == Op::kNot) {
        *out += "NOT ";
        Operand(*e.args[0], kNotPrec, out);
      } else {
        *out += e.op == Op::kNeg ? '-' : '+';
        Operand(*e.args[0], kUnaryPrec, out);
      }
      return;
    case ExprKind::kBinary: {
      if (e.args.size() != 2) return;
      int p = PrecOf(e);
      bool compare = p == kComparePrec;
      Operand(*e.args[0], compare ? p + 1 : p, out);
      *out += BinaryOpText(e.op);
      Operand(*e.args[1], p + 1, out);
      return;
    }
    case ExprKind::kFunction:
      for (size_t i = 0; i < e.names.size(); ++i) {
        if (i) *out += '.';
        const std::string& n = e.names[i].text;
        bool quote = e.names.size() == 1 ? NeedsQuotesAsFunction(n) : !IsPlainIdentifier(n);
        *out += quote ? QuoteName(n) : n;
      }
      *out += '(';
      if (e.star) {
        *out += '*';
      } else {
        if (e.distinct) *out += "DISTINCT ";
        for (size_t i = 0; i < e.args.size(); ++i) {
          if (i) *out += ',';
          Operand(*e.args[i], kConcatPrec, out);
        }
      }
      *out += ')';
      return;
    case ExprKind::kCase: {
      *out += "CASE";
      size_t i = 0;
      if (e.has_operand && !e.args.empty()) {
        *out += ' ';
        Operand(*e.args[0], kConcatPrec, out);
        i = 1;
      }
      size_t stop = e.args.size();
      bool has_else = e.has_else && stop > i;
      if (has_else) --stop;
      for (; i + 2 <= stop; i += 2) {
        *out += " WHEN ";
        Operand(*e.args[i], e.has_operand ? kConcatPrec : kOrPrec, out);
        *out += " THEN ";
        Operand(*e.args[i + 1], kConcatPrec, out);
      }
      if (has_else) {
        *out += " ELSE ";
        Operand(*e.args.back(), kConcatPrec, out);
      }
      *out += " END";
      return;
    }
    case ExprKind::kBetween:
      if (e.args.size() != 3) return;
      Operand(*e.args[0], kConcatPrec, out);
      *out += e.negated ? " NOT BETWEEN " : " BETWEEN ";
      Operand(*e.args[1], kConcatPrec, out);
      *out += " AND ";
      Operand(*e.args[2], kConcatPrec, out);
      return;
    case ExprKind::kIn:
      if (e.args.empty()) return;
      Operand(*e.args[0], kConcatPrec, out);
      *out += e.negated ? " NOT IN (" : " IN (";
      for (size_t i = 1; i < e.args.size(); ++i) {
        if (i > 1) *out += ',';
        Operand(*e.args[i], kConcatPrec, out);
      }
      *out += ')';
      return;
    case ExprKind::kQuantified:
      if (e.args.empty()) return;
      Operand(*e.args[0], kConcatPrec, out);
      *out += BinaryOpText(e.op);
      *out += e.quantifier_all ? "ALL (" : "ANY (";
      if (e.subquery) *out += "SELECT ...";
      for (size_t i = 1; i < e.args.size(); ++i) {
        if (i > 1) *out += ',';
        Operand(*e.args[i], kConcatPrec, out);
      }
      *out += ')';
      return;
    case ExprKind::kLike:
      if (e.args.size() < 2) return;
      Operand(*e.args[0], kConcatPrec, out);
      *out += e.negated ? " NOT LIKE " : " LIKE ";
      Operand(*e.args[1], kConcatPrec, out);
      if (e.args.size() > 2) {
        *out += " ESCAPE ";
        Operand(*e.args[2], kConcatPrec, out);
      }
      return;
    case ExprKind::kIsNull:
      if (e.args.empty()) return;
      Operand(*e.args[0], kConcatPrec, out);
      *out += std::string(e.negated ? " IS NOT " : " IS ") + (e.text.empty() ? "NULL" : e.text);
      return;
    case ExprKind::kExtract:
      if (e.args.empty()) return;
      *out += "EXTRACT(" + e.text + " FROM ";
      Operand(*e.args[0], kConcatPrec, out);
      *out += ')';
      return;
    case ExprKind::kCast:
      if (e.args.empty()) return;
      *out += "CAST(";
      Operand(*e.args[0], kConcatPrec, out);
      *out += " AS " + TypeToText(e.cast_type) + ")";
      return;
  }
}

std::string Paren(int n) { return "(" + std::to_string(n) + ")"; }

}  // namespace

std::string ExprToText(const Expr& e) {
  std::string out;
  Print(e, &out);
  return out;
}

std::string QuoteName(const std::string& name) { return Quoted(name, '"'); }

std::string TypeToText(const TypeDesc& t) {
  auto opt = [](int v) { return v == kUnset ? std::string() : Paren(v); };
  auto chars = [&](const char* name) {
    if (t.length == kUnset) return std::string(name);
    return std::string(name) + "(" + std::to_string(t.length) + (t.char_semantics ? " CHAR)" : ")");
  };
  switch (t.kind) {
    case TypeKind::kVarchar2:
      return chars("VARCHAR2");
    case TypeKind::kChar:
      return chars("CHAR");
    case TypeKind::kNVarchar2:
      return "NVARCHAR2" + opt(t.length);
    case TypeKind::kNChar:
      return "NCHAR" + opt(t.length);
    case TypeKind::kNumber:
      if (t.precision == kUnset && t.scale == kUnset) return "NUMBER";
      if (t.precision == kUnset || t.precision == 0) {
        return t.scale == kUnset ? "NUMBER(*)" : "NUMBER(*," + std::to_string(t.scale) + ")";
      }
      if (t.scale == kUnset) return "NUMBER" + Paren(t.precision);
      return "NUMBER(" + std::to_string(t.precision) + "," + std::to_string(t.scale) + ")";
    case TypeKind::kFloat:
      return "FLOAT" + opt(t.precision);
    case TypeKind::kDate:
      return "DATE";
    case TypeKind::kTimestamp:
      return "TIMESTAMP" + opt(t.precision);
    case TypeKind::kTimestampTZ:
      return "TIMESTAMP" + opt(t.precision) + " WITH TIME ZONE";
    case TypeKind::kTimestampLTZ:
      return "TIMESTAMP" + opt(t.precision) + " WITH LOCAL TIME ZONE";
    case TypeKind::kIntervalYM:
      return "INTERVAL YEAR" + opt(t.precision) + " TO MONTH";
    case TypeKind::kIntervalDS:
      return "INTERVAL DAY" + opt(t.precision) + " TO SECOND" + opt(t.scale);
    case TypeKind::kRaw:
      return "RAW" + opt(t.length);
    case TypeKind::kLong:
      return "LONG";
    case TypeKind::kLongRaw:
      return "LONG RAW";
    case TypeKind::kClob:
      return "CLOB";
    case TypeKind::kNClob:
      return "NCLOB";
    case TypeKind::kBlob:
      return "BLOB";
    case TypeKind::kBinaryFloat:
      return "BINARY_FLOAT";
    case TypeKind::kBinaryDouble:
      return "BINARY_DOUBLE";
    case TypeKind::kRowid:
      return "ROWID";
    case TypeKind::kURowid:
      return "UROWID" + opt(t.length);
  }
  return "";
}

bool HasSubquery(const Expr& e) {
  if (e.subquery || e.kind == ExprKind::kSubquery || e.kind == ExprKind::kExists) return true;
  for (const ExprPtr& a : e.args) {
    if (a && HasSubquery(*a)) return true;
  }
  return false;
}

}  // namespace sql
}  // namespace tabdb

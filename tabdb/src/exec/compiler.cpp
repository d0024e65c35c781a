// compiler.cpp - compiling Oracle expressions into SQLite expressions.
#include "exec/compiler.h"

#include <algorithm>
#include <cstring>

#include "exec/compiler_internal.h"
#include "exec/convert.h"
#include "exec/functions.h"
#include "exec/plsql_units.h"
#include "sql/parser.h"
#include "sql/printer.h"
#include "util/errors.h"
#include "values/binfloat.h"
#include "values/datetime.h"
#include "values/interval.h"
#include "values/number.h"

namespace tabdb {

using sql::Expr;
using sql::ExprKind;
using sql::LiteralKind;
using sql::Op;

// ---- literals and helpers ---------------------------------------------------

std::string SqlText(std::string_view s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += '\'';
    out += c;
  }
  out += "'";
  return out;
}

std::string SqlBlob(std::string_view bytes) { return "X'" + ToHex(bytes) + "'"; }

bool IsTextClass(TypeKind k) {
  return IsCharacter(k) || k == TypeKind::kClob || k == TypeKind::kNClob || k == TypeKind::kLong;
}

std::string SqlValue(const Value& v) {
  if (v.null) return "NULL";
  if (v.lob_id != 0) return std::to_string(v.lob_id);
  return IsTextClass(v.kind) ? SqlText(v.bytes) : SqlBlob(v.bytes);
}

int BindContext::HiddenIndex(StatementParam p) {
  for (size_t i = 0; i < hidden.size(); ++i) {
    if (hidden[i] == p) return static_cast<int>(user_kinds.size() + 1 + i);
  }
  hidden.push_back(p);
  return static_cast<int>(user_kinds.size() + hidden.size());
}

namespace {

TypeDesc TypeOf(TypeKind k) {
  TypeDesc t;
  t.kind = k;
  return WithDefaults(t);
}

bool IsNumberKind(TypeKind k) { return k == TypeKind::kNumber || k == TypeKind::kFloat; }
bool IsFloatKind(TypeKind k) {
  return k == TypeKind::kBinaryFloat || k == TypeKind::kBinaryDouble;
}

// Numeric precedence: BINARY_DOUBLE over BINARY_FLOAT over NUMBER.
TypeKind NumericUnion(TypeKind a, TypeKind b) {
  if (a == TypeKind::kBinaryDouble || b == TypeKind::kBinaryDouble) return TypeKind::kBinaryDouble;
  if (a == TypeKind::kBinaryFloat || b == TypeKind::kBinaryFloat) return TypeKind::kBinaryFloat;
  return TypeKind::kNumber;
}

bool IsPaddedChar(const CExpr& e) {
  return e.char_literal || e.type.kind == TypeKind::kChar || e.type.kind == TypeKind::kNChar;
}

std::string InvalidIdentifier(const sql::NameList& names) {
  std::string s;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i) s += ".";
    s += sql::QuoteName(names[i].text);
  }
  return s;
}

}  // namespace

Status ArithResult(Op op, TypeKind a, TypeKind b, TypeKind* out) {
  auto num = [](TypeKind k) { return IsNumberKind(k) || IsFloatKind(k) || IsCharacter(k); };
  auto numkind = [](TypeKind k) { return IsCharacter(k) ? TypeKind::kNumber : k; };
  bool dta = IsDatetime(a), dtb = IsDatetime(b);
  bool iva = IsInterval(a), ivb = IsInterval(b);
  switch (op) {
    case Op::kAdd:
      if (num(a) && num(b)) return *out = NumericUnion(numkind(a), numkind(b)), Status::Ok();
      if (dta && num(b)) return *out = TypeKind::kDate, Status::Ok();
      if (num(a) && dtb) return *out = TypeKind::kDate, Status::Ok();
      if (dta && ivb) return *out = a, Status::Ok();
      if (iva && dtb) return *out = b, Status::Ok();
      if (iva && ivb && a == b) return *out = a, Status::Ok();
      break;
    case Op::kSub:
      if (num(a) && num(b)) return *out = NumericUnion(numkind(a), numkind(b)), Status::Ok();
      if (dta && num(b)) return *out = TypeKind::kDate, Status::Ok();
      if (dta && dtb) {
        *out = (a == TypeKind::kDate && b == TypeKind::kDate) ? TypeKind::kNumber
                                                              : TypeKind::kIntervalDS;
        return Status::Ok();
      }
      if (dta && ivb) return *out = a, Status::Ok();
      if (iva && ivb && a == b) return *out = a, Status::Ok();
      break;
    case Op::kMul:
      if (num(a) && num(b)) return *out = NumericUnion(numkind(a), numkind(b)), Status::Ok();
      if (iva && num(b)) return *out = a, Status::Ok();
      if (num(a) && ivb) return *out = b, Status::Ok();
      break;
    case Op::kDiv:
      if (num(a) && num(b)) return *out = NumericUnion(numkind(a), numkind(b)), Status::Ok();
      if (iva && num(b)) return *out = a, Status::Ok();
      break;
    default:
      break;
  }
  return OraError(ora::kInconsistentDatatypes, {"NUMBER", DataTypeText(TypeOf(num(a) ? b : a))});
}

// ---- the compiler --------------------------------------------------------------

std::string Compiler::Call(const SqlFunction& fn, TypeKind result, const std::vector<const CExpr*>& args,
                           const std::string& extra) {
  std::string kinds;
  for (const CExpr* a : args) kinds += static_cast<char>(a->null_literal ? 0 : static_cast<int>(a->type.kind));
  if (!extra.empty()) kinds += static_cast<char>(TypeKind::kVarchar2);
  std::string s = "tabdb_call(" + std::to_string(FunctionId(fn)) + "," +
                  std::to_string(static_cast<int>(result)) + "," + SqlBlob(kinds);
  for (const CExpr* a : args) s += "," + a->sql;
  if (!extra.empty()) s += "," + SqlText(extra);
  s += ")";
  return s;
}

std::string Compiler::ConvertTo(const CExpr& e, TypeKind to) {
  if (e.null_literal) return "NULL";
  TypeKind from = e.type.kind;
  if (from == to) return e.sql;
  if (IsNumberKind(from) && IsNumberKind(to)) return e.sql;
  if (IsCharacter(from) && IsCharacter(to)) return e.sql;
  // A DATE is a TIMESTAMP without fraction in the same seven bytes.
  if (from == TypeKind::kDate && to == TypeKind::kTimestamp) return e.sql;
  return Call(Operator("$CONVERT"), to, {&e});
}

Status Compiler::CompileCondition(const Expr& e, CExpr* out) {
  ++in_condition_;
  Status cst = Compile(e, out);
  --in_condition_;
  TABDB_RETURN_IF_ERROR(cst);
  if (!out->is_bool) {
    if (out->type.kind == TypeKind::kVarchar2 && out->null_literal) {
      out->is_bool = true;
      return Status::Ok();
    }
    return OraError(ora::kInvalidRelationalOperator);
  }
  return Status::Ok();
}

Status Compiler::Compile(const Expr& e, CExpr* out) {
  if (++depth_ > 400) {
    --depth_;
    return Unimplemented("expressions nested this deep");
  }
  Status st;
  *out = CExpr();
  switch (e.kind) {
    case ExprKind::kLiteral: st = Literal(e, out); break;
    case ExprKind::kBind: {
      out->sql = "?" + std::to_string(e.bind_index);
      out->type = TypeOf(binds_ ? binds_->UserKind(e.bind_index) : TypeKind::kVarchar2);
      break;
    }
    case ExprKind::kColumn: st = Column(e, out); break;
    case ExprKind::kUnary: st = Unary(e, out); break;
    case ExprKind::kBinary: st = Binary(e, out); break;
    case ExprKind::kFunction: st = Function(e, out); break;
    case ExprKind::kCase: st = Case(e, out); break;
    case ExprKind::kBetween: st = Between(e, out); break;
    case ExprKind::kIn: st = In(e, out); break;
    case ExprKind::kLike: st = Like(e, out); break;
    case ExprKind::kIsNull: {
      if (!e.text.empty()) {
        st = IsJson(e, out);
        break;
      }
      CExpr a;
      st = Compile(*e.args.at(0), &a);
      if (st.ok()) {
        if (a.is_bool) {
          st = OraError(ora::kInvalidRelationalOperator);
        } else {
          out->sql = "(" + a.sql + (e.negated ? " IS NOT NULL)" : " IS NULL)");
          out->is_bool = true;
          out->aggregate = a.aggregate;
          out->constant = a.constant;
        }
      }
      break;
    }
    case ExprKind::kExtract: st = Extract(e, out); break;
    case ExprKind::kCast: st = Cast(e, out); break;
    case ExprKind::kPseudo: st = Pseudo(e, out); break;
    case ExprKind::kSubquery:
    case ExprKind::kExists: st = Subquery(e, out); break;
    case ExprKind::kQuantified: st = Quantified(e, out); break;
  }
  --depth_;
  return st;
}

Status Compiler::Literal(const Expr& e, CExpr* out) {
  out->constant = true;
  switch (e.lit) {
    case LiteralKind::kNull:
      out->sql = "NULL";
      out->type = TypeOf(TypeKind::kVarchar2);
      out->null_literal = true;
      return Status::Ok();
    case LiteralKind::kString:
    case LiteralKind::kNString:
      if (e.text.empty()) {  // '' is NULL in Oracle
        out->sql = "NULL";
        out->type = TypeOf(TypeKind::kVarchar2);
        out->null_literal = true;
        return Status::Ok();
      }
      out->sql = SqlText(e.text);
      out->type = TypeOf(e.lit == LiteralKind::kNString ? TypeKind::kNVarchar2
                                                        : TypeKind::kVarchar2);
      out->type.length = static_cast<int>(e.text.size());
      out->char_literal = true;
      return Status::Ok();
    case LiteralKind::kNumber: {
      Number n;
      TABDB_RETURN_IF_ERROR(Number::Parse(e.text, &n));
      out->sql = SqlBlob(n.Encode());
      out->type = TypeOf(TypeKind::kNumber);
      return Status::Ok();
    }
    case LiteralKind::kBinaryFloat:
    case LiteralKind::kBinaryDouble: {
      uint8_t buf[8];
      if (e.lit == LiteralKind::kBinaryFloat) {
        float f = 0;
        TABDB_RETURN_IF_ERROR(ParseBinaryFloat(e.text, &f));
        EncodeBinaryFloat(f, buf);
        out->sql = SqlBlob(std::string_view(reinterpret_cast<char*>(buf), 4));
        out->type = TypeOf(TypeKind::kBinaryFloat);
      } else {
        double d = 0;
        TABDB_RETURN_IF_ERROR(ParseBinaryDouble(e.text, &d));
        EncodeBinaryDouble(d, buf);
        out->sql = SqlBlob(std::string_view(reinterpret_cast<char*>(buf), 8));
        out->type = TypeOf(TypeKind::kBinaryDouble);
      }
      return Status::Ok();
    }
    case LiteralKind::kDate: {
      DateTime d;
      TABDB_RETURN_IF_ERROR(ParseDateLiteral(e.text, &d));
      uint8_t buf[7];
      EncodeDate(d, buf);
      out->sql = SqlBlob(std::string_view(reinterpret_cast<char*>(buf), 7));
      out->type = TypeOf(TypeKind::kDate);
      return Status::Ok();
    }
    case LiteralKind::kTimestamp: {
      DateTime d;
      bool zone = false;
      TABDB_RETURN_IF_ERROR(ParseTimestampLiteral(e.text, &d, &zone));
      uint8_t buf[13];
      if (zone) {
        EncodeTimestampTZ(d, buf);
        out->sql = SqlBlob(std::string_view(reinterpret_cast<char*>(buf), 13));
        out->type = TypeOf(TypeKind::kTimestampTZ);
      } else {
        size_t n = EncodeTimestamp(d, buf);
        out->sql = SqlBlob(std::string_view(reinterpret_cast<char*>(buf), n));
        out->type = TypeOf(TypeKind::kTimestamp);
      }
      out->type.precision = 9;
      return Status::Ok();
    }
    case LiteralKind::kIntervalYM:
    case LiteralKind::kIntervalDS: {
      auto field = [](sql::IntervalUnit u) { return static_cast<IntervalField>(static_cast<int>(u)); };
      int lead = e.leading_precision == kUnset ? 2 : e.leading_precision;
      if (e.lit == LiteralKind::kIntervalYM) {
        IntervalYM v;
        TABDB_RETURN_IF_ERROR(
            ParseIntervalYM(e.text, field(e.from_unit), field(e.to_unit), lead, &v));
        uint8_t buf[5];
        EncodeIntervalYM(v, buf);
        out->sql = SqlBlob(std::string_view(reinterpret_cast<char*>(buf), 5));
        out->type = TypeOf(TypeKind::kIntervalYM);
        out->type.precision = lead;
      } else {
        int frac = e.fractional_precision == kUnset ? 6 : e.fractional_precision;
        IntervalDS v;
        TABDB_RETURN_IF_ERROR(
            ParseIntervalDS(e.text, field(e.from_unit), field(e.to_unit), lead, frac, &v));
        uint8_t buf[11];
        EncodeIntervalDS(v, buf);
        out->sql = SqlBlob(std::string_view(reinterpret_cast<char*>(buf), 11));
        out->type = TypeOf(TypeKind::kIntervalDS);
        out->type.precision = lead;
        out->type.scale = frac;
      }
      return Status::Ok();
    }
    case LiteralKind::kBoolean:
      out->sql = (e.text == "TRUE") ? "1" : "0";
      out->is_bool = true;
      return Status::Ok();
  }
  return OraError(ora::kMissingExpression);
}

Status Compiler::Column(const Expr& e, CExpr* out) {
  const sql::NameList& n = e.names;
  if (n.empty() || n.size() > 3) return OraError(ora::kInvalidIdentifier, {InvalidIdentifier(n)});
  if (!scope_.members.empty()) return MemberColumn(e, out);
  const std::string& col = n.back().text;
  bool qualifier_ok = true;
  if (n.size() >= 2) {
    const std::string& q = n[n.size() - 2].text;
    qualifier_ok = std::find(scope_.qualifiers.begin(), scope_.qualifiers.end(), q) !=
                   scope_.qualifiers.end();
    if (n.size() == 3 && n[0].text != scope_.qualifier_owner) qualifier_ok = false;
  }
  if (qualifier_ok) {
    if (scope_.kind == Scope::kTable) {
      if (const ColumnInfo* c = scope_.table->FindColumn(col)) {
        if (c->is_virtual) return VirtualColumn(*c, out);
        out->sql = scope_.alias + "." + c->phys();
        out->type = c->type;
        return Status::Ok();
      }
      if (col == "ROWID" && !n.back().quoted) return TableRowid(out);
    } else if (scope_.kind == Scope::kView) {
      for (const ViewColumn& c : scope_.view->columns) {
        if (c.name == col) {
          out->sql = scope_.alias + "." + sql::QuoteName(c.name);
          out->type = c.type;
          return Status::Ok();
        }
      }
    } else if (scope_.kind == Scope::kDual && col == "DUMMY") {
      out->sql = "'X'";
      out->type = TypeOf(TypeKind::kVarchar2);
      out->type.length = 1;
      return Status::Ok();
    }
  }
  if (scope_.outer != nullptr) {
    Compiler c(s_, *scope_.outer, binds_);
    return c.Compile(e, out);
  }
  // A bare LEVEL or USER written as a column reference.
  if (n.size() == 1 && (col == "LEVEL" || col == "USER" || col == "SYSDATE" ||
                        col == "SYSTIMESTAMP" || col == "ROWNUM")) {
    Expr p;
    p.kind = ExprKind::kPseudo;
    p.text = col;
    return Pseudo(p, out);
  }
  if (n.size() >= 2 && !n.back().quoted && (col == "NEXTVAL" || col == "CURRVAL"))
    return Sequence(e, out);
  // A package function without arguments may be called without parentheses
  // (DBMS_RANDOM.VALUE).
  if (n.size() == 2) {
    const SqlFunction* f = FindFunction(n[0].text + "." + n[1].text);
    if (f != nullptr && f->rule != nullptr && f->min_args == 0) {
      Expr call;
      call.kind = ExprKind::kFunction;
      call.names = n;
      call.span = e.span;
      return Function(call, out);
    }
  }
  // So may a stored function (or one of the running block).
  Expr call;
  call.kind = ExprKind::kFunction;
  call.names = n;
  call.span = e.span;
  std::vector<CExpr> none;
  bool found = false;
  TABDB_RETURN_IF_ERROR(pl::CompilePlsqlCall(*this, s_, call, &none, out, &found));
  if (found) return Status::Ok();
  return OraError(ora::kInvalidIdentifier, {InvalidIdentifier(n)});
}

Status Compiler::VirtualColumn(const ColumnInfo& c, CExpr* out) {
  sql::ExprPtr expr;
  TABDB_RETURN_IF_ERROR(sql::ParseExpression(c.virtual_expr, &expr));
  TABDB_RETURN_IF_ERROR(Compile(*expr, out));
  if (out->type.kind != c.type.kind && !c.hidden) {
    out->sql = ConvertTo(*out, c.type.kind);
    out->type = c.type;
  }
  return Status::Ok();
}

Status Compiler::Unary(const Expr& e, CExpr* out) {
  CExpr a;
  TABDB_RETURN_IF_ERROR(Compile(*e.args.at(0), &a));
  out->aggregate = a.aggregate;
  out->constant = a.constant;
  switch (e.op) {
    case Op::kNot:
      if (!a.is_bool) return OraError(ora::kInvalidRelationalOperator);
      out->sql = "(NOT " + a.sql + ")";
      out->is_bool = true;
      return Status::Ok();
    case Op::kPlus:
      if (a.is_bool) return OraError(ora::kMissingExpression);
      *out = a;
      return Status::Ok();
    case Op::kNeg: {
      if (a.is_bool) return OraError(ora::kMissingExpression);
      TypeKind k = IsCharacter(a.type.kind) ? TypeKind::kNumber : a.type.kind;
      if (!IsNumeric(k) && !IsInterval(k)) return OraError(ora::kInconsistentDatatypes, {"NUMBER", DataTypeText(a.type)});
      CExpr conv = a;
      conv.sql = ConvertTo(a, k);
      conv.type = TypeOf(k);
      out->sql = Call(Operator("$NEG"), k, {&conv});
      out->type = TypeOf(k);
      return Status::Ok();
    }
    default:
      return OraError(ora::kMissingExpression);
  }
}

Status Compiler::Binary(const Expr& e, CExpr* out) {
  CExpr a, b;
  if (e.op == Op::kAnd || e.op == Op::kOr) {
    TABDB_RETURN_IF_ERROR(CompileCondition(*e.args.at(0), &a));
    TABDB_RETURN_IF_ERROR(CompileCondition(*e.args.at(1), &b));
    out->sql = "(" + a.sql + (e.op == Op::kAnd ? " AND " : " OR ") + b.sql + ")";
    out->is_bool = true;
    out->aggregate = a.aggregate || b.aggregate;
    out->constant = a.constant && b.constant;
    return Status::Ok();
  }
  TABDB_RETURN_IF_ERROR(Compile(*e.args.at(0), &a));
  TABDB_RETURN_IF_ERROR(Compile(*e.args.at(1), &b));
  if (a.is_bool || b.is_bool) return OraError(ora::kInvalidRelationalOperator);
  Status st;
  switch (e.op) {
    case Op::kEq: case Op::kNe: case Op::kLt: case Op::kLe: case Op::kGt: case Op::kGe:
      st = Compare(e.op, a, b, out);
      break;
    case Op::kAdd: case Op::kSub: case Op::kMul: case Op::kDiv:
      st = Arith(e.op, a, b, out);
      break;
    case Op::kConcat:
      st = Concat(a, b, out);
      break;
    default:
      return OraError(ora::kMissingExpression);
  }
  out->aggregate = a.aggregate || b.aggregate;
  out->constant = a.constant && b.constant;
  return st;
}

Status Compiler::CommonType(const CExpr& a, const CExpr& b, TypeKind* out) {
  TypeKind ka = a.type.kind, kb = b.type.kind;
  if (a.null_literal) return *out = kb, Status::Ok();
  if (b.null_literal) return *out = ka, Status::Ok();
  if (IsLob(ka) || IsLob(kb) || IsLong(ka) || IsLong(kb)) {
    TypeKind lob = IsLob(ka) || IsLong(ka) ? ka : kb;
    return OraError(ora::kInconsistentDatatypes, {"-", DataTypeText(TypeOf(lob))});
  }
  if (ka == kb) return *out = ka, Status::Ok();
  if (IsNumberKind(ka) && IsNumberKind(kb)) return *out = TypeKind::kNumber, Status::Ok();
  if (IsCharacter(ka) && IsCharacter(kb)) {
    *out = (IsNational(ka) || IsNational(kb)) ? TypeKind::kNVarchar2 : TypeKind::kVarchar2;
    return Status::Ok();
  }
  if (IsNumeric(ka) && IsNumeric(kb)) return *out = NumericUnion(ka, kb), Status::Ok();
  if (IsCharacter(ka)) return *out = kb, Status::Ok();
  if (IsCharacter(kb)) return *out = ka, Status::Ok();
  if (IsDatetime(ka) && IsDatetime(kb)) {
    if (ka == TypeKind::kTimestampTZ || kb == TypeKind::kTimestampTZ) {
      *out = TypeKind::kTimestampTZ;
    } else {
      *out = TypeKind::kTimestamp;
    }
    return Status::Ok();
  }
  return OraError(ora::kInconsistentDatatypes, {DataTypeText(TypeOf(ka)), DataTypeText(TypeOf(kb))});
}

Status Compiler::Compare(Op op, const CExpr& a, const CExpr& b, CExpr* out) {
  if (!a.rowid_of.empty() || !b.rowid_of.empty()) return RowidCompare(op, a, b, out);
  TypeKind k;
  TABDB_RETURN_IF_ERROR(CommonType(a, b, &k));
  std::string sa = ConvertTo(a, k), sb = ConvertTo(b, k);
  if (IsCharacter(k) && IsPaddedChar(a) && IsPaddedChar(b)) {
    // Blank-padded comparison: trailing blanks do not count.
    sa = "rtrim(" + sa + ",' ')";
    sb = "rtrim(" + sb + ",' ')";
  } else if (k == TypeKind::kTimestampTZ) {
    // Compare instants: the UTC part of the bytes.
    CExpr ca = a, cb = b;
    ca.sql = sa;
    ca.type = TypeOf(k);
    cb.sql = sb;
    cb.type = TypeOf(k);
    sa = Call(Operator("$TZKEY"), TypeKind::kRaw, {&ca});
    sb = Call(Operator("$TZKEY"), TypeKind::kRaw, {&cb});
  }
  const char* o = "=";
  switch (op) {
    case Op::kEq: o = "="; break;
    case Op::kNe: o = "<>"; break;
    case Op::kLt: o = "<"; break;
    case Op::kLe: o = "<="; break;
    case Op::kGt: o = ">"; break;
    case Op::kGe: o = ">="; break;
    default: break;
  }
  out->sql = "(" + sa + " " + o + " " + sb + ")";
  out->is_bool = true;
  return Status::Ok();
}

Status Compiler::Arith(Op op, const CExpr& a, const CExpr& b, CExpr* out) {
  TypeKind ka = a.null_literal ? TypeKind::kNumber : a.type.kind;
  TypeKind kb = b.null_literal ? TypeKind::kNumber : b.type.kind;
  TypeKind r;
  TABDB_RETURN_IF_ERROR(ArithResult(op, ka, kb, &r));
  // Character operands take part as numbers.
  CExpr ca = a, cb = b;
  if (IsCharacter(ka)) {
    ca.sql = ConvertTo(a, TypeKind::kNumber);
    ca.type = TypeOf(TypeKind::kNumber);
  }
  if (IsCharacter(kb)) {
    cb.sql = ConvertTo(b, TypeKind::kNumber);
    cb.type = TypeOf(TypeKind::kNumber);
  }
  const SqlFunction& fn = Operator(op == Op::kAdd   ? "$ADD"
                                   : op == Op::kSub ? "$SUB"
                                   : op == Op::kMul ? "$MUL"
                                                    : "$DIV");
  out->sql = Call(fn, r, {&ca, &cb});
  out->type = TypeOf(r);
  if (r == TypeKind::kIntervalDS) {
    out->type.precision = 9;
    out->type.scale = 9;
  }
  return Status::Ok();
}

Status Compiler::Concat(const CExpr& a, const CExpr& b, CExpr* out) {
  bool lob = a.type.kind == TypeKind::kClob || b.type.kind == TypeKind::kClob;
  bool nat = IsNational(a.type.kind) || IsNational(b.type.kind);
  TypeKind r = lob ? TypeKind::kClob : nat ? TypeKind::kNVarchar2 : TypeKind::kVarchar2;
  CExpr ca = a, cb = b;
  if (!IsTextClass(a.type.kind) && !a.null_literal) {
    ca.sql = ConvertTo(a, TypeKind::kVarchar2);
    ca.type = TypeOf(TypeKind::kVarchar2);
  }
  if (!IsTextClass(b.type.kind) && !b.null_literal) {
    cb.sql = ConvertTo(b, TypeKind::kVarchar2);
    cb.type = TypeOf(TypeKind::kVarchar2);
  }
  std::vector<CExpr> parts;
  for (const CExpr* x : {&ca, &cb}) {
    // An operand that is still exactly a chain's call is replaced by the
    // chain's operands.
    bool chain = false;
    if (!x->concat_args.empty()) {
      std::vector<const CExpr*> inner;
      for (const CExpr& y : x->concat_args) inner.push_back(&y);
      chain = x->sql == Call(Operator("CONCAT"), x->type.kind, inner);
    }
    if (chain)
      parts.insert(parts.end(), x->concat_args.begin(), x->concat_args.end());
    else
      parts.push_back(*x);
    if (!chain) parts.back().concat_args.clear();
  }
  std::vector<const CExpr*> args;
  for (const CExpr& x : parts) args.push_back(&x);
  out->sql = Call(Operator("CONCAT"), r, args);
  out->concat_args = std::move(parts);
  out->type = TypeOf(r);
  out->type.length = 4000;
  // Two character values of known length: the sum of the lengths, as
  // Oracle derives it (a NULL literal adds nothing).
  auto known = [](const CExpr& x) {
    return x.null_literal || (IsCharacter(x.type.kind) && x.type.length > 0);
  };
  if (!lob && known(a) && known(b)) {
    int len = (a.null_literal ? 0 : a.type.length) + (b.null_literal ? 0 : b.type.length);
    if (len > 0 && len < 4000) out->type.length = len;
  }
  return Status::Ok();
}

Status Compiler::Case(const Expr& e, CExpr* out) {
  size_t i = 0;
  CExpr operand;
  if (e.has_operand) {
    TABDB_RETURN_IF_ERROR(Compile(*e.args.at(0), &operand));
    i = 1;
  }
  size_t end = e.args.size() - (e.has_else ? 1 : 0);
  std::vector<CExpr> conds, results;
  for (; i + 1 < end + 1 && i < end; i += 2) {
    CExpr c, r;
    if (e.has_operand) {
      CExpr w;
      TABDB_RETURN_IF_ERROR(Compile(*e.args.at(i), &w));
      TABDB_RETURN_IF_ERROR(Compare(Op::kEq, operand, w, &c));
    } else {
      TABDB_RETURN_IF_ERROR(CompileCondition(*e.args.at(i), &c));
    }
    TABDB_RETURN_IF_ERROR(Compile(*e.args.at(i + 1), &r));
    conds.push_back(std::move(c));
    results.push_back(std::move(r));
  }
  CExpr els;
  bool has_else = e.has_else;
  if (has_else) TABDB_RETURN_IF_ERROR(Compile(*e.args.back(), &els));
  // The result type is that of the first result that is not NULL.
  const CExpr* first = nullptr;
  for (const CExpr& r : results) {
    if (!r.null_literal) {
      first = &r;
      break;
    }
  }
  if (!first && has_else && !els.null_literal) first = &els;
  TypeDesc rt = first ? first->type : TypeOf(TypeKind::kVarchar2);
  std::string sql = "(CASE";
  bool agg = false;
  for (size_t k = 0; k < conds.size(); ++k) {
    if (results[k].is_bool) return OraError(ora::kMissingExpression);
    sql += " WHEN " + conds[k].sql + " THEN " + ConvertTo(results[k], rt.kind);
    agg = agg || conds[k].aggregate || results[k].aggregate;
  }
  if (has_else) sql += " ELSE " + ConvertTo(els, rt.kind);
  sql += " END)";
  out->sql = sql;
  out->type = rt;
  out->aggregate = agg || els.aggregate || operand.aggregate;
  out->null_literal = first == nullptr;
  return Status::Ok();
}

Status Compiler::Between(const Expr& e, CExpr* out) {
  CExpr a, lo, hi, c1, c2;
  TABDB_RETURN_IF_ERROR(Compile(*e.args.at(0), &a));
  TABDB_RETURN_IF_ERROR(Compile(*e.args.at(1), &lo));
  TABDB_RETURN_IF_ERROR(Compile(*e.args.at(2), &hi));
  TABDB_RETURN_IF_ERROR(Compare(Op::kGe, a, lo, &c1));
  TABDB_RETURN_IF_ERROR(Compare(Op::kLe, a, hi, &c2));
  out->sql = std::string(e.negated ? "(NOT " : "(") + "(" + c1.sql + " AND " + c2.sql + "))";
  out->is_bool = true;
  out->aggregate = a.aggregate || lo.aggregate || hi.aggregate;
  return Status::Ok();
}

Status Compiler::In(const Expr& e, CExpr* out) {
  if (e.subquery) return Subquery(e, out);
  CExpr a;
  TABDB_RETURN_IF_ERROR(Compile(*e.args.at(0), &a));
  std::vector<CExpr> list(e.args.size() - 1);
  TypeKind k = a.type.kind;
  bool padded = IsPaddedChar(a);
  for (size_t i = 1; i < e.args.size(); ++i) {
    TABDB_RETURN_IF_ERROR(Compile(*e.args[i], &list[i - 1]));
    if (list[i - 1].is_bool) return OraError(ora::kInvalidRelationalOperator);
    TABDB_RETURN_IF_ERROR(CommonType(a, list[i - 1], &k));
    padded = padded && IsPaddedChar(list[i - 1]);
  }
  // One comparison per element keeps every conversion and blank-padding
  // rule of "=".
  std::string sql;
  for (size_t i = 0; i < list.size(); ++i) {
    CExpr c;
    TABDB_RETURN_IF_ERROR(Compare(Op::kEq, a, list[i], &c));
    sql += (i ? " OR " : "") + c.sql;
  }
  out->sql = std::string(e.negated ? "(NOT (" : "((") + sql + "))";
  out->is_bool = true;
  out->aggregate = a.aggregate;
  return Status::Ok();
}

Status Compiler::Like(const Expr& e, CExpr* out) {
  std::vector<CExpr> args(e.args.size());
  std::vector<const CExpr*> ptrs;
  for (size_t i = 0; i < e.args.size(); ++i) {
    TABDB_RETURN_IF_ERROR(Compile(*e.args[i], &args[i]));
    if (args[i].is_bool) return OraError(ora::kInvalidRelationalOperator);
    if (!IsTextClass(args[i].type.kind) && !args[i].null_literal) {
      args[i].sql = ConvertTo(args[i], TypeKind::kVarchar2);
      args[i].type = TypeOf(TypeKind::kVarchar2);
    }
    ptrs.push_back(&args[i]);
  }
  std::string call = Call(Operator("$LIKE"), TypeKind::kNumber, ptrs);
  out->sql = std::string(e.negated ? "(NOT " : "(") + call + ")";
  out->is_bool = true;
  out->aggregate = args[0].aggregate;
  return Status::Ok();
}

Status Compiler::Pseudo(const Expr& e, CExpr* out) {
  const std::string& p = e.text;
  auto param = [&](StatementParam sp, TypeKind k) {
    if (!binds_) return OraError(ora::kPseudocolumnNotAllowed);
    out->sql = "?" + std::to_string(binds_->HiddenIndex(sp));
    out->type = TypeOf(k);
    return Status::Ok();
  };
  if (p == "SYSDATE") return param(StatementParam::kSysdate, TypeKind::kDate);
  if (p == "CURRENT_DATE") return param(StatementParam::kCurrentDate, TypeKind::kDate);
  if (p == "SYSTIMESTAMP") return param(StatementParam::kSystimestamp, TypeKind::kTimestampTZ);
  if (p == "CURRENT_TIMESTAMP")
    return param(StatementParam::kCurrentTimestamp, TypeKind::kTimestampTZ);
  if (p == "USER") {
    out->sql = SqlText(s_.session_user().name);
    out->type = TypeOf(TypeKind::kVarchar2);
    out->type.length = 128;
    out->constant = true;
    return Status::Ok();
  }
  if (p == "LEVEL") {
    if (!scope_.level_sql.empty()) {
      out->sql = scope_.level_sql;
    } else if (scope_.kind == Scope::kGenerator) {
      out->sql = "tabdb_num(" + scope_.alias + ".lvl)";
    } else {
      return OraError(ora::kPseudocolumnNotAllowed);
    }
    out->type = TypeOf(TypeKind::kNumber);
    return Status::Ok();
  }
  if (p == "ROWID") {
    if (scope_.kind == Scope::kTable) return TableRowid(out);
    if (!scope_.members.empty()) return OraError(ora::kColumnAmbiguous);
    return OraError(ora::kPseudocolumnNotAllowed);
  }
  if (p == "ROWNUM" && !scope_.rownum_sql.empty()) {
    out->sql = scope_.rownum_sql;
    out->type = TypeOf(TypeKind::kNumber);
    return Status::Ok();
  }
  return OraError(ora::kPseudocolumnNotAllowed);
}

Status Compiler::Cast(const Expr& e, CExpr* out) {
  CExpr a;
  TABDB_RETURN_IF_ERROR(Compile(*e.args.at(0), &a));
  if (a.is_bool) return OraError(ora::kMissingExpression);
  TypeDesc t = WithDefaults(e.cast_type);
  out->sql = ConvertTo(a, t.kind);
  out->type = t;
  out->aggregate = a.aggregate;
  out->constant = a.constant;
  return Status::Ok();
}

Status Compiler::Extract(const Expr& e, CExpr* out) {
  CExpr a;
  TABDB_RETURN_IF_ERROR(Compile(*e.args.at(0), &a));
  if (!IsDatetime(a.type.kind) && !IsInterval(a.type.kind) && !a.null_literal)
    return OraError(ora::kInconsistentDatatypes, {"DATE", DataTypeText(a.type)});
  out->sql = Call(Operator("$EXTRACT"), TypeKind::kNumber, {&a}, e.text);
  out->type = TypeOf(e.text == "TIMEZONE_REGION" || e.text == "TIMEZONE_ABBR"
                         ? TypeKind::kVarchar2
                         : TypeKind::kNumber);
  out->aggregate = a.aggregate;
  return Status::Ok();
}

Status Compiler::CompileArgs(const Expr& e, std::vector<CExpr>* out) {
  out->resize(e.args.size());
  for (size_t i = 0; i < e.args.size(); ++i) {
    TABDB_RETURN_IF_ERROR(Compile(*e.args[i], &(*out)[i]));
    if ((*out)[i].is_bool) return OraError(ora::kMissingExpression);
  }
  return Status::Ok();
}

// ---- entry used by other modules ----------------------------------------------

Status InferExprType(Session& s, const TableInfo& table, const sql::Expr& e, TypeDesc* out) {
  Scope scope;
  scope.kind = Scope::kTable;
  scope.table = &table;
  scope.qualifiers = {table.name};
  scope.qualifier_owner = table.owner;
  BindContext binds;
  Compiler c(s, scope, &binds);
  CExpr ce;
  TABDB_RETURN_IF_ERROR(c.Compile(e, &ce));
  if (ce.is_bool) return OraError(ora::kMissingExpression);
  *out = ce.type;
  if (IsCharacter(out->kind) && out->length == kUnset) out->length = 4000;
  return Status::Ok();
}

}  // namespace tabdb

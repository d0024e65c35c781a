// compile_functions.cpp - the registry of SQL functions (its table is at
// the end), the result-type rules of its entries, and compiling calls of
// functions and aggregates.
#include <cassert>
#include <unordered_map>

#include "exec/functions.h"
#include "exec/plsql_units.h"
#include "sql/printer.h"
#include "util/errors.h"

namespace tabdb {

using sql::Expr;

namespace {

TypeDesc TypeOf(TypeKind k) {
  TypeDesc t;
  t.kind = k;
  return WithDefaults(t);
}

// Result kind of a character function applied to `a`: national and LOB
// arguments keep their kind, anything else gives VARCHAR2.
TypeKind TextResult(const CExpr& a) {
  switch (a.type.kind) {
    case TypeKind::kNVarchar2:
    case TypeKind::kNChar:
      return TypeKind::kNVarchar2;
    case TypeKind::kClob:
    case TypeKind::kNClob:
      return a.type.kind;
    default:
      return TypeKind::kVarchar2;
  }
}

std::string FunctionName(const Expr& e) {
  std::string n;
  for (size_t i = 0; i < e.names.size(); ++i) {
    if (i) n += ".";
    n += e.names[i].text;
  }
  return n;
}

bool AnyAggregate(const std::vector<CExpr>& a) {
  for (const CExpr& e : a) {
    if (e.aggregate) return true;
  }
  return false;
}

bool AllConstant(const std::vector<CExpr>& a) {
  for (const CExpr& e : a) {
    if (!e.constant) return false;
  }
  return true;
}

}  // namespace

Status Compiler::Aggregate(const std::string& name, const Expr& e, CExpr* out) {
  if (!scope_.allow_aggregates) return OraError(ora::kGroupFunctionNotAllowed);
  out->aggregate = true;
  if (name == "COUNT" && e.star) {
    out->sql = "tabdb_num(count(*))";
    out->type = TypeOf(TypeKind::kNumber);
    return Status::Ok();
  }
  if (e.args.size() != 1) return OraError(ora::kInvalidArgumentCount);
  Scope inner = scope_;
  inner.allow_aggregates = false;  // no aggregate inside an aggregate
  Compiler c(s_, inner, binds_);
  CExpr a;
  TABDB_RETURN_IF_ERROR(c.Compile(*e.args[0], &a));
  if (a.is_bool) return OraError(ora::kMissingExpression);
  std::string distinct = e.distinct ? "DISTINCT " : "";
  if (name == "COUNT") {
    out->sql = "tabdb_num(count(" + distinct + a.sql + "))";
    out->type = TypeOf(TypeKind::kNumber);
    return Status::Ok();
  }
  if (name == "MIN" || name == "MAX") {
    if (IsLob(a.type.kind) || IsLong(a.type.kind)) return OraError(ora::kInconsistentDatatypes, {"-", "LOB"});
    std::string arg = a.sql;
    if (a.type.kind == TypeKind::kChar || a.type.kind == TypeKind::kNChar) arg = a.sql;
    out->sql = (name == "MIN" ? "min(" : "max(") + distinct + arg + ")";
    // A table's ROWIDs order by row, not by their text.
    if (!a.rowid_of.empty())
      out->sql = "tabdb_rowid(" + std::to_string(a.rowid_object) + ", " + (name == "MIN" ? "min(" : "max(") +
                 distinct + a.rowid_of + "))";
    out->type = a.type;
    return Status::Ok();
  }
  if (name == "SUM" || name == "AVG") {
    TypeKind k = a.type.kind;
    if (IsCharacter(k) || a.null_literal) k = TypeKind::kNumber;
    if (!IsNumeric(k)) return OraError(ora::kInconsistentDatatypes, {"NUMBER", DataTypeText(a.type)});
    if (k == TypeKind::kFloat) k = TypeKind::kNumber;
    std::string arg = ConvertTo(a, k);
    out->sql = std::string(name == "SUM" ? "tabdb_sum(" : "tabdb_avg(") + distinct + arg + "," +
               std::to_string(static_cast<int>(k)) + ")";
    out->type = TypeOf(k);
    return Status::Ok();
  }
  return OraError(ora::kInvalidIdentifier, {name});
}

Status Compiler::Function(const Expr& e, CExpr* out) {
  std::string name = FunctionName(e);
  if (name.compare(0, 5, "JSON_") == 0 && e.names.size() == 1) {
    if (name == "JSON_VALUE" || name == "JSON_QUERY" || name == "JSON_EXISTS" || name == "JSON_OBJECT" ||
        name == "JSON_ARRAY" || name == "JSON_ARRAYAGG")
      return Json(name, e, out);
  }
  if (e.over) return Window(name, e, out);
  if (name == "ROW_NUMBER" || name == "RANK" || name == "DENSE_RANK" || name == "LAG" || name == "LEAD" ||
      name == "FIRST_VALUE" || name == "LAST_VALUE")
    return OraError(ora::kWindowMissing);
  if (name == "COUNT" || name == "SUM" || name == "AVG" || name == "MIN" || name == "MAX")
    return Aggregate(name, e, out);
  std::vector<CExpr> a;
  TABDB_RETURN_IF_ERROR(CompileArgs(e, &a));
  const SqlFunction* fn = FindFunction(name);
  if (fn == nullptr || fn->rule == nullptr) {
    // A stored function, or one of the running PL/SQL block.
    bool found = false;
    TABDB_RETURN_IF_ERROR(pl::CompilePlsqlCall(*this, s_, e, &a, out, &found));
    if (found) return Status::Ok();
    return OraError(ora::kInvalidIdentifier, {sql::QuoteName(name)});
  }
  if (a.size() < static_cast<size_t>(fn->min_args) || a.size() > static_cast<size_t>(fn->max_args))
    return OraError(ora::kInvalidArgumentCount);
  out->aggregate = AnyAggregate(a);
  out->constant = AllConstant(a);
  FnCompile f(*this, *fn, a, out);
  return fn->rule(f);
}

const CExpr* FnCompile::TextArg(size_t i) {
  if (!IsTextClass(a[i].type.kind) && !a[i].null_literal) {
    a[i].sql = compiler.ConvertTo(a[i], TypeKind::kVarchar2);
    a[i].type = TypeOf(TypeKind::kVarchar2);
  }
  return &a[i];
}

const CExpr* FnCompile::NumArg(size_t i) {
  if (!IsNumeric(a[i].type.kind) && !a[i].null_literal) {
    a[i].sql = compiler.ConvertTo(a[i], TypeKind::kNumber);
    a[i].type = TypeOf(TypeKind::kNumber);
  }
  return &a[i];
}

Status FnCompile::Set(TypeKind result, const std::vector<const CExpr*>& args,
                      const std::string& extra, const SqlFunction* as) {
  out->sql = compiler.Call(as ? *as : fn, result, args, extra);
  out->type = TypeOf(result);
  return Status::Ok();
}

namespace {

// ---- Result-type rules. `f.fn.variant` tells shared rules apart.

// UPPER, LOWER, INITCAP: the argument's kind and length.
Status CaseRule(FnCompile& f) {
  TypeKind r = TextResult(f.a[0]);
  int len = f.a[0].type.length;
  TABDB_RETURN_IF_ERROR(f.Set(r, {f.TextArg(0)}));
  f.out->type.length = len == kUnset ? 4000 : len;
  return Status::Ok();
}

Status LengthRule(FnCompile& f) {
  if (IsLob(f.a[0].type.kind))
    return f.Set(TypeKind::kNumber, {&f.a[0]}, "", FindFunction("DBMS_LOB.GETLENGTH"));
  return f.Set(TypeKind::kNumber, {f.TextArg(0)});
}

Status SubstrRule(FnCompile& f) {
  std::vector<const CExpr*> args = {f.TextArg(0), f.NumArg(1)};
  if (f.a.size() == 3) args.push_back(f.NumArg(2));
  int len = f.a[0].type.length;
  TABDB_RETURN_IF_ERROR(f.Set(TextResult(f.a[0]), args));
  f.out->type.length = len == kUnset ? 4000 : len;
  return Status::Ok();
}

Status InstrRule(FnCompile& f) {
  std::vector<const CExpr*> args = {f.TextArg(0), f.TextArg(1)};
  for (size_t i = 2; i < f.a.size(); ++i) args.push_back(f.NumArg(i));
  return f.Set(TypeKind::kNumber, args);
}

// REPLACE, TRIM, LTRIM, RTRIM: text arguments, the first one's kind.
Status TextArgsRule(FnCompile& f) {
  std::vector<const CExpr*> args;
  for (size_t i = 0; i < f.a.size(); ++i) args.push_back(f.TextArg(i));
  return f.Set(TextResult(f.a[0]), args);
}

Status PadRule(FnCompile& f) {
  std::vector<const CExpr*> args = {f.TextArg(0), f.NumArg(1)};
  if (f.a.size() == 3) args.push_back(f.TextArg(2));
  return f.Set(TextResult(f.a[0]), args);
}

Status NvlRule(FnCompile& f) {
  std::vector<CExpr>& a = f.a;
  const CExpr& t = a[0].null_literal ? a[1] : a[0];
  f.out->sql = "coalesce(" + f.compiler.ConvertTo(a[0], t.type.kind) + "," +
               f.compiler.ConvertTo(a[1], t.type.kind) + ")";
  f.out->type = t.type;
  return Status::Ok();
}

Status Nvl2Rule(FnCompile& f) {
  std::vector<CExpr>& a = f.a;
  const CExpr& t = a[1].null_literal ? a[2] : a[1];
  f.out->sql = "(CASE WHEN " + a[0].sql + " IS NOT NULL THEN " +
               f.compiler.ConvertTo(a[1], t.type.kind) + " ELSE " +
               f.compiler.ConvertTo(a[2], t.type.kind) + " END)";
  f.out->type = t.type;
  return Status::Ok();
}

Status CoalesceRule(FnCompile& f) {
  std::vector<CExpr>& a = f.a;
  const CExpr* t = &a[0];
  for (const CExpr& x : a) {
    if (!x.null_literal) {
      t = &x;
      break;
    }
  }
  std::string sql = "coalesce(";
  for (size_t i = 0; i < a.size(); ++i) sql += (i ? "," : "") + f.compiler.ConvertTo(a[i], t->type.kind);
  if (a.size() == 1) sql += ",NULL";
  f.out->sql = sql + ")";
  f.out->type = t->type;
  return Status::Ok();
}

Status DecodeRule(FnCompile& f) {
  std::vector<CExpr>& a = f.a;
  // DECODE matches NULL with NULL: SQLite's IS is that comparison.
  const CExpr* rt = nullptr;
  for (size_t i = 2; i < a.size(); i += 2) {
    if (!a[i].null_literal) {
      rt = &a[i];
      break;
    }
  }
  if (!rt && a.size() % 2 == 0 && !a.back().null_literal) rt = &a.back();
  TypeKind rk = rt ? rt->type.kind : TypeKind::kVarchar2;
  std::string sql = "(CASE";
  size_t i = 1;
  for (; i + 1 < a.size(); i += 2) {
    TypeKind k;
    TABDB_RETURN_IF_ERROR(f.compiler.CommonType(a[0], a[i], &k));
    sql += " WHEN " + f.compiler.ConvertTo(a[0], k) + " IS " + f.compiler.ConvertTo(a[i], k) +
           " THEN " + f.compiler.ConvertTo(a[i + 1], rk);
  }
  if (i < a.size()) sql += " ELSE " + f.compiler.ConvertTo(a[i], rk);
  f.out->sql = sql + " END)";
  f.out->type = rt ? rt->type : TypeOf(TypeKind::kVarchar2);
  return Status::Ok();
}

// GREATEST, LEAST: every argument in the first one's type.
Status GreatestLeastRule(FnCompile& f) {
  std::vector<CExpr>& a = f.a;
  std::vector<const CExpr*> args;
  TypeKind k = a[0].type.kind;
  for (size_t i = 0; i < a.size(); ++i) {
    a[i].sql = f.compiler.ConvertTo(a[i], k);
    a[i].type = a[0].type;
    args.push_back(&a[i]);
  }
  TABDB_RETURN_IF_ERROR(f.Set(k, args));
  f.out->type = a[0].type;
  return Status::Ok();
}

// ABS, FLOOR, CEIL, SIGN, SQRT: the argument's numeric kind.
Status NumberFnRule(FnCompile& f) {
  const CExpr* x = f.NumArg(0);
  TypeKind r = x->null_literal ? TypeKind::kNumber : x->type.kind;
  if (r == TypeKind::kFloat) r = TypeKind::kNumber;
  return f.Set(r, {x});
}

// MOD, POWER.
Status NumberPairRule(FnCompile& f) {
  return f.Set(TypeKind::kNumber, {f.NumArg(0), f.NumArg(1)});
}

// ROUND, TRUNC of a number or of a date (with a format).
Status RoundTruncRule(FnCompile& f) {
  std::vector<CExpr>& a = f.a;
  if (IsDatetime(a[0].type.kind)) {
    std::vector<const CExpr*> args = {&a[0]};
    if (a.size() == 2) args.push_back(f.TextArg(1));
    return f.Set(TypeKind::kDate, args);
  }
  std::vector<const CExpr*> args = {f.NumArg(0)};
  if (a.size() == 2) args.push_back(f.NumArg(1));
  TypeKind r = a[0].null_literal ? TypeKind::kNumber : a[0].type.kind;
  if (r == TypeKind::kFloat) r = TypeKind::kNumber;
  return f.Set(r, args);
}

// TO_CHAR, TO_NCHAR (variant 'N').
Status ToCharRule(FnCompile& f) {
  std::vector<CExpr>& a = f.a;
  TypeKind r = f.fn.variant == 'N' ? TypeKind::kNVarchar2 : TypeKind::kVarchar2;
  std::vector<const CExpr*> args = {&a[0]};
  TypeKind k = a[0].type.kind;
  bool typed = (k == TypeKind::kTimestamp || k == TypeKind::kTimestampTZ ||
                k == TypeKind::kTimestampLTZ || IsInterval(k)) && !a[0].null_literal;
  if (typed && (a.size() == 1 || IsInterval(k))) {
    // The default format shows the precisions of the argument's type; an
    // interval ignores any format.
    TypeDesc t = WithDefaults(a[0].type);
    TABDB_RETURN_IF_ERROR(f.Set(r, args,
                                std::to_string(t.precision) + "," + std::to_string(t.scale),
                                &Operator("$TO_CHAR_TYPED")));
    f.out->type.length = 4000;
    return Status::Ok();
  }
  if (a.size() >= 2) args.push_back(f.TextArg(1));
  TABDB_RETURN_IF_ERROR(f.Set(r, args));
  f.out->type.length = 4000;
  return Status::Ok();
}

Status ToNumberRule(FnCompile& f) {
  std::vector<CExpr>& a = f.a;
  if (IsNumeric(a[0].type.kind) && a.size() == 1) {
    f.out->sql = f.compiler.ConvertTo(a[0], TypeKind::kNumber);
    f.out->type = TypeOf(TypeKind::kNumber);
    return Status::Ok();
  }
  std::vector<const CExpr*> args = {f.TextArg(0)};
  if (a.size() >= 2) args.push_back(f.TextArg(1));
  return f.Set(TypeKind::kNumber, args);
}

// TO_DATE, TO_TIMESTAMP, TO_TIMESTAMP_TZ: the result kind is the variant.
Status ToDateRule(FnCompile& f) {
  std::vector<CExpr>& a = f.a;
  TypeKind r = static_cast<TypeKind>(f.fn.variant);
  if (IsDatetime(a[0].type.kind) && a.size() == 1) {
    f.out->sql = f.compiler.ConvertTo(a[0], r);
    f.out->type = TypeOf(r);
    return Status::Ok();
  }
  std::vector<const CExpr*> args = {f.TextArg(0)};
  if (a.size() >= 2) args.push_back(f.TextArg(1));
  TABDB_RETURN_IF_ERROR(f.Set(r, args));
  if (r != TypeKind::kDate) f.out->type.precision = 9;
  return Status::Ok();
}

// TO_BINARY_FLOAT, TO_BINARY_DOUBLE, TO_DSINTERVAL, TO_YMINTERVAL: a
// conversion to the variant's kind.
Status ConvertRule(FnCompile& f) {
  TypeKind r = static_cast<TypeKind>(f.fn.variant);
  f.out->sql = f.compiler.ConvertTo(f.a[0], r);
  f.out->type = TypeOf(r);
  if (IsInterval(r)) {
    f.out->type.precision = 9;
    if (r == TypeKind::kIntervalDS) f.out->type.scale = 9;
  }
  return Status::Ok();
}

// TO_CLOB, TO_NCLOB, TO_BLOB: the variant's kind.
Status ToLobRule(FnCompile& f) {
  return f.Set(static_cast<TypeKind>(f.fn.variant), {&f.a[0]});
}

// EMPTY_CLOB, EMPTY_BLOB: an empty value of the variant's kind.
Status EmptyLobRule(FnCompile& f) {
  TypeKind r = static_cast<TypeKind>(f.fn.variant);
  f.out->sql = r == TypeKind::kClob ? "''" : "X''";
  f.out->type = TypeOf(r);
  f.out->constant = true;
  return Status::Ok();
}

Status HexToRawRule(FnCompile& f) {
  TABDB_RETURN_IF_ERROR(f.Set(TypeKind::kRaw, {f.TextArg(0)}));
  f.out->type.length = 2000;
  return Status::Ok();
}

Status RawToHexRule(FnCompile& f) {
  TABDB_RETURN_IF_ERROR(f.Set(TypeKind::kVarchar2, {&f.a[0]}));
  f.out->type.length = 4000;
  return Status::Ok();
}

Status AddMonthsRule(FnCompile& f) {
  return f.Set(TypeKind::kDate, {&f.a[0], f.NumArg(1)});
}

// A function of its arguments as they are, with the result kind `variant`.
Status PlainRule(FnCompile& f) {
  std::vector<const CExpr*> args;
  for (const CExpr& x : f.a) args.push_back(&x);
  return f.Set(static_cast<TypeKind>(f.fn.variant), args);
}

// NUMTODSINTERVAL ('D'), NUMTOYMINTERVAL ('Y').
Status NumToIntervalRule(FnCompile& f) {
  bool ds = f.fn.variant == 'D';
  TABDB_RETURN_IF_ERROR(f.Set(ds ? TypeKind::kIntervalDS : TypeKind::kIntervalYM,
                              {f.NumArg(0), f.TextArg(1)}));
  f.out->type.precision = 9;
  if (ds) f.out->type.scale = 9;
  return Status::Ok();
}

Status ChrRule(FnCompile& f) { return f.Set(TypeKind::kVarchar2, {f.NumArg(0)}); }

Status AsciiRule(FnCompile& f) { return f.Set(TypeKind::kNumber, {f.TextArg(0)}); }

Status LobSubstrRule(FnCompile& f) {
  std::vector<CExpr>& a = f.a;
  std::vector<const CExpr*> args = {&a[0]};
  for (size_t i = 1; i < a.size(); ++i) args.push_back(f.NumArg(i));
  TypeKind r = a[0].type.kind == TypeKind::kBlob ? TypeKind::kRaw
             : a[0].type.kind == TypeKind::kNClob ? TypeKind::kNVarchar2 : TypeKind::kVarchar2;
  TABDB_RETURN_IF_ERROR(f.Set(r, args));
  f.out->type.length = 32767;
  return Status::Ok();
}

Status GetDdlRule(FnCompile& f) {
  std::vector<const CExpr*> args = {f.TextArg(0), f.TextArg(1)};
  if (f.a.size() >= 3) args.push_back(f.TextArg(2));
  return f.Set(TypeKind::kClob, args);
}

// DBMS_METADATA's browsing functions: OPEN (a NUMBER handle of a type),
// ADD_TRANSFORM (a handle and a name), FETCH_CLOB (a handle; CLOB). Each
// call changes the context, so none is ever constant.
Status MetadataBrowseRule(FnCompile& f) {
  std::vector<const CExpr*> args;
  for (size_t i = 0; i < f.a.size(); ++i) args.push_back(i == 0 && f.fn.variant != 'O' ? f.NumArg(i) : f.TextArg(i));
  TABDB_RETURN_IF_ERROR(f.Set(f.fn.variant == 'F' ? TypeKind::kClob : TypeKind::kNumber, args));
  f.out->constant = false;
  return Status::Ok();
}

constexpr int K(TypeKind k) { return static_cast<int>(k); }

// DBMS_ROWID.ROWID_CREATE: five numbers, a ROWID.
Status RowidCreateRule(FnCompile& f) {
  TABDB_RETURN_IF_ERROR(f.Set(TypeKind::kRowid, {f.NumArg(0), f.NumArg(1), f.NumArg(2), f.NumArg(3), f.NumArg(4)}));
  f.out->type.length = 18;
  return Status::Ok();
}

// DBMS_ROWID.ROWID_OBJECT and the others: a part of a ROWID (the
// tablespace kind a second argument names changes nothing here).
Status RowidPartRule(FnCompile& f) { return f.Set(TypeKind::kNumber, {f.TextArg(0)}); }

// UTL_RAW.CAST_TO_RAW ('R'): text to RAW; CAST_TO_VARCHAR2 ('V'): back.
Status RawCastRule(FnCompile& f) {
  bool to_raw = f.fn.variant == 'R';
  TABDB_RETURN_IF_ERROR(f.Set(to_raw ? TypeKind::kRaw : TypeKind::kVarchar2,
                              {to_raw ? f.TextArg(0) : &f.a[0]}));
  f.out->type.length = to_raw ? 2000 : 4000;
  return Status::Ok();
}
Status SysGuidRule(FnCompile& f) {
  TABDB_RETURN_IF_ERROR(f.Set(TypeKind::kRaw, {}));
  f.out->type.length = 16;
  f.out->constant = false;  // a new value on every call
  return Status::Ok();
}
Status StandardHashRule(FnCompile& f) {
  std::vector<const CExpr*> args = {&f.a[0]};
  if (f.a.size() == 2) args.push_back(f.TextArg(1));
  TABDB_RETURN_IF_ERROR(f.Set(TypeKind::kRaw, args));
  f.out->type.length = 64;
  return Status::Ok();
}
Status RandomValueRule(FnCompile& f) {
  if (f.a.size() == 1) return OraError(ora::kInvalidArgumentCount);
  std::vector<const CExpr*> args;
  for (size_t i = 0; i < f.a.size(); ++i) args.push_back(f.NumArg(i));
  TABDB_RETURN_IF_ERROR(f.Set(TypeKind::kNumber, args));
  f.out->constant = false;  // a new value on every call
  return Status::Ok();
}
Status RandomStringRule(FnCompile& f) {
  TABDB_RETURN_IF_ERROR(f.Set(TypeKind::kVarchar2, {f.TextArg(0), f.NumArg(1)}));
  f.out->type.length = 4000;
  f.out->constant = false;  // a new value on every call
  return Status::Ok();
}
Status UnistrRule(FnCompile& f) {
  TABDB_RETURN_IF_ERROR(f.Set(TypeKind::kNVarchar2, {f.TextArg(0)}));
  f.out->type.length = 2000;
  return Status::Ok();
}
Status OraHashRule(FnCompile& f) {
  std::vector<const CExpr*> args = {&f.a[0]};
  for (size_t i = 1; i < f.a.size(); ++i) args.push_back(f.NumArg(i));
  return f.Set(TypeKind::kNumber, args);
}

// REGEXP_LIKE: a condition, usable in WHERE and CHECK.
Status RegexpLikeRule(FnCompile& f) {
  std::vector<const CExpr*> args;
  for (size_t i = 0; i < f.a.size(); ++i) args.push_back(f.TextArg(i));
  TABDB_RETURN_IF_ERROR(f.Set(TypeKind::kNumber, args));
  f.out->is_bool = true;
  return Status::Ok();
}

// REGEXP_SUBSTR ('S'), _INSTR ('I'), _REPLACE ('R'), _COUNT ('C'): text
// arguments where the function takes text (source, pattern, replacement,
// match parameter), numbers elsewhere.
Status RegexpRule(FnCompile& f) {
  int match_param = f.fn.variant == 'S' ? 4 : f.fn.variant == 'I' ? 5 : f.fn.variant == 'R' ? 5 : 3;
  std::vector<const CExpr*> args;
  for (size_t i = 0; i < f.a.size(); ++i) {
    bool text = i < 2 || static_cast<int>(i) == match_param || (f.fn.variant == 'R' && i == 2);
    args.push_back(text ? f.TextArg(i) : f.NumArg(i));
  }
  if (f.fn.variant == 'I' || f.fn.variant == 'C') return f.Set(TypeKind::kNumber, args);
  int len = f.a[0].type.length;
  TABDB_RETURN_IF_ERROR(f.Set(TextResult(f.a[0]), args));
  f.out->type.length = f.fn.variant == 'R' || len == kUnset ? 4000 : len;
  return Status::Ok();
}

// SYS_CONTEXT(namespace, parameter [, length]): VARCHAR2 of the session.
Status SysContextRule(FnCompile& f) {
  std::vector<const CExpr*> args = {f.TextArg(0), f.TextArg(1)};
  if (f.a.size() == 3) args.push_back(f.NumArg(2));
  TABDB_RETURN_IF_ERROR(f.Set(TypeKind::kVarchar2, args));
  f.out->type.length = 256;
  f.out->constant = false;  // follows the session (ALTER SESSION SET CURRENT_SCHEMA)
  return Status::Ok();
}

// USERENV(parameter): NUMBER for the numeric parameters, else VARCHAR2.
Status UserenvRule(FnCompile& f) {
  const std::string& p = f.a[0].sql;
  bool number = p == "'SID'" || p == "'SESSIONID'" || p == "'ENTRYID'" || p == "'SCHEMAID'" ||
                p == "'INSTANCE'";
  TABDB_RETURN_IF_ERROR(f.Set(number ? TypeKind::kNumber : TypeKind::kVarchar2, {f.TextArg(0)}));
  if (!number) f.out->type.length = 256;
  f.out->constant = false;
  return Status::Ok();
}

Status ScnRule(FnCompile& f) {
  TABDB_RETURN_IF_ERROR(f.Set(TypeKind::kNumber, {}));
  f.out->constant = false;  // the newest commit when it is read
  return Status::Ok();
}

// ---- The registry. Names are upper case; '$' names are operators.
const SqlFunction kFunctions[] = {
    // Operators the compiler emits.
    {"$CONVERT", 1, 1, nullptr, EvalConvert, 0, kFnStoredLobArgs},
    {"$NEG", 1, 1, nullptr, EvalNeg, 0, 0},
    {"$ADD", 2, 2, nullptr, EvalArith, '+', 0},
    {"$SUB", 2, 2, nullptr, EvalArith, '-', 0},
    {"$MUL", 2, 2, nullptr, EvalArith, '*', 0},
    {"$DIV", 2, 2, nullptr, EvalArith, '/', 0},
    {"$LIKE", 2, 3, nullptr, EvalLike, 0, kFnBooleanResult},
    {"$TZKEY", 1, 1, nullptr, EvalTzKey, 0, 0},
    {"$EXTRACT", 2, 2, nullptr, EvalExtract, 0, 0},
    {"$TO_CHAR_TYPED", 2, 2, nullptr, EvalToCharTyped, 0, 0},
    // Character functions.
    {"CONCAT", 2, 2, TextArgsRule, EvalConcat, 0, 0},
    {"UPPER", 1, 1, CaseRule, EvalChangeCase, 'U', 0},
    {"LOWER", 1, 1, CaseRule, EvalChangeCase, 'L', 0},
    {"INITCAP", 1, 1, CaseRule, EvalChangeCase, 'I', 0},
    {"LENGTH", 1, 1, LengthRule, EvalLength, 'C', 0},
    {"LENGTHC", 1, 1, LengthRule, EvalLength, 'C', 0},
    {"LENGTHB", 1, 1, LengthRule, EvalLength, 'B', 0},
    {"SUBSTR", 2, 3, SubstrRule, EvalSubstr, 0, 0},
    {"SUBSTRB", 2, 3, SubstrRule, EvalSubstr, 0, 0},
    {"INSTR", 2, 4, InstrRule, EvalInstr, 0, 0},
    {"REPLACE", 2, 3, TextArgsRule, EvalReplace, 0, 0},
    {"TRIM", 1, 2, TextArgsRule, EvalTrim, 'B', 0},
    {"LTRIM", 1, 2, TextArgsRule, EvalTrim, 'L', 0},
    {"RTRIM", 1, 2, TextArgsRule, EvalTrim, 'R', 0},
    {"LPAD", 2, 3, PadRule, EvalPad, 'L', 0},
    {"RPAD", 2, 3, PadRule, EvalPad, 'R', 0},
    {"CHR", 1, 1, ChrRule, EvalChr, 0, 0},
    {"ASCII", 1, 1, AsciiRule, EvalAscii, 0, 0},
    {"DUMP", 1, 1, PlainRule, EvalDump, K(TypeKind::kVarchar2), 0},
    {"HEXTORAW", 1, 1, HexToRawRule, EvalHexToRaw, 0, 0},
    {"RAWTOHEX", 1, 1, RawToHexRule, EvalRawToHex, 0, 0},
    // NULL handling and choice: plain SQL.
    {"NVL", 2, 2, NvlRule, nullptr, 0, 0},
    {"NVL2", 3, 3, Nvl2Rule, nullptr, 0, 0},
    {"COALESCE", 1, kFnAnyArgs, CoalesceRule, nullptr, 0, 0},
    {"DECODE", 3, kFnAnyArgs, DecodeRule, nullptr, 0, 0},
    {"GREATEST", 1, kFnAnyArgs, GreatestLeastRule, EvalGreatestLeast, 'G', 0},
    {"LEAST", 1, kFnAnyArgs, GreatestLeastRule, EvalGreatestLeast, 'L', 0},
    // Numeric functions.
    {"ABS", 1, 1, NumberFnRule, EvalNumberFn, 'A', 0},
    {"FLOOR", 1, 1, NumberFnRule, EvalNumberFn, 'F', 0},
    {"CEIL", 1, 1, NumberFnRule, EvalNumberFn, 'C', 0},
    {"SIGN", 1, 1, NumberFnRule, EvalNumberFn, 'S', 0},
    {"SQRT", 1, 1, NumberFnRule, EvalNumberFn, 'Q', 0},
    {"MOD", 2, 2, NumberPairRule, EvalMod, 0, 0},
    {"POWER", 2, 2, NumberPairRule, EvalPower, 0, 0},
    {"ROUND", 1, 2, RoundTruncRule, EvalRoundTrunc, 'R', 0},
    {"TRUNC", 1, 2, RoundTruncRule, EvalRoundTrunc, 'T', 0},
    // Conversions.
    {"TO_CHAR", 1, 3, ToCharRule, EvalToChar, 0, 0},
    {"TO_NCHAR", 1, 3, ToCharRule, EvalToChar, 'N', 0},
    {"TO_NUMBER", 1, 3, ToNumberRule, EvalToNumber, 0, 0},
    {"TO_DATE", 1, 3, ToDateRule, EvalToDate, K(TypeKind::kDate), 0},
    {"TO_TIMESTAMP", 1, 3, ToDateRule, EvalToDate, K(TypeKind::kTimestamp), 0},
    {"TO_TIMESTAMP_TZ", 1, 3, ToDateRule, EvalToDate, K(TypeKind::kTimestampTZ), 0},
    {"TO_BINARY_FLOAT", 1, 1, ConvertRule, nullptr, K(TypeKind::kBinaryFloat), 0},
    {"TO_BINARY_DOUBLE", 1, 1, ConvertRule, nullptr, K(TypeKind::kBinaryDouble), 0},
    {"TO_DSINTERVAL", 1, 1, ConvertRule, nullptr, K(TypeKind::kIntervalDS), 0},
    {"TO_YMINTERVAL", 1, 1, ConvertRule, nullptr, K(TypeKind::kIntervalYM), 0},
    {"TO_CLOB", 1, 1, ToLobRule, EvalToLob, K(TypeKind::kClob), kFnStoredLobArgs},
    {"TO_NCLOB", 1, 1, ToLobRule, EvalToLob, K(TypeKind::kNClob), kFnStoredLobArgs},
    {"TO_BLOB", 1, 1, ToLobRule, EvalToLob, K(TypeKind::kBlob), kFnStoredLobArgs},
    {"EMPTY_CLOB", 0, 0, EmptyLobRule, nullptr, K(TypeKind::kClob), 0},
    {"EMPTY_BLOB", 0, 0, EmptyLobRule, nullptr, K(TypeKind::kBlob), 0},
    // Dates, timestamps and intervals.
    {"ADD_MONTHS", 2, 2, AddMonthsRule, EvalAddMonths, 0, 0},
    {"LAST_DAY", 1, 1, PlainRule, EvalLastDay, K(TypeKind::kDate), 0},
    {"MONTHS_BETWEEN", 2, 2, PlainRule, EvalMonthsBetween, K(TypeKind::kNumber), 0},
    {"NUMTODSINTERVAL", 2, 2, NumToIntervalRule, EvalNumToInterval, 'D', 0},
    {"NUMTOYMINTERVAL", 2, 2, NumToIntervalRule, EvalNumToInterval, 'Y', 0},
    {"SYS_EXTRACT_UTC", 1, 1, PlainRule, EvalSysExtractUtc, K(TypeKind::kTimestamp), 0},
    // Packages.
    {"DBMS_LOB.GETLENGTH", 1, 1, PlainRule, EvalLobLength, K(TypeKind::kNumber), kFnStoredLobArgs},
    {"DBMS_LOB.SUBSTR", 1, 3, LobSubstrRule, EvalLobSubstr, 0, kFnStoredLobArgs},
    {"DBMS_LOB.INSTR", 2, 4, PlainRule, EvalLobInstr, K(TypeKind::kNumber), kFnStoredLobArgs},
    {"DBMS_LOB.COMPARE", 2, 5, PlainRule, EvalLobCompare, K(TypeKind::kNumber), kFnStoredLobArgs},
    {"DBMS_METADATA.GET_DDL", 2, 6, GetDdlRule, EvalGetDdl, 0, 0},
    {"DBMS_METADATA.GET_DEPENDENT_DDL", 2, 7, GetDdlRule, EvalGetDependentDdl, 0, 0},
    {"DBMS_METADATA.OPEN", 1, 4, MetadataBrowseRule, EvalMetadataBrowse, 'O', 0},
    {"DBMS_METADATA.ADD_TRANSFORM", 2, 4, MetadataBrowseRule, EvalMetadataBrowse, 'T', 0},
    {"DBMS_METADATA.FETCH_CLOB", 1, 3, MetadataBrowseRule, EvalMetadataBrowse, 'F', 0},
    // Queries.
    {"$TOO_MANY_ROWS", 0, 0, nullptr, EvalTooManyRows, 0, 0},
    {"$ROWNUM_LIMIT", 2, 2, nullptr, EvalRownumLimit, 0, 0},
    // Functions of schema and data scripts.
    {"UTL_RAW.CAST_TO_RAW", 1, 1, RawCastRule, EvalRawCast, 'R', 0},
    {"UTL_RAW.CAST_TO_VARCHAR2", 1, 1, RawCastRule, EvalRawCast, 'V', 0},
    {"SYS_GUID", 0, 0, SysGuidRule, EvalSysGuid, 0, 0},
    {"STANDARD_HASH", 1, 2, StandardHashRule, EvalStandardHash, 0, 0},
    {"ORA_HASH", 1, 3, OraHashRule, EvalOraHash, 0, 0},
    {"DBMS_ROWID.ROWID_CREATE", 5, 5, RowidCreateRule, EvalRowidCreate, 0, 0},
    {"DBMS_ROWID.ROWID_OBJECT", 1, 1, RowidPartRule, EvalRowidPart, 'O', 0},
    {"DBMS_ROWID.ROWID_RELATIVE_FNO", 1, 2, RowidPartRule, EvalRowidPart, 'F', 0},
    {"DBMS_ROWID.ROWID_BLOCK_NUMBER", 1, 2, RowidPartRule, EvalRowidPart, 'B', 0},
    {"DBMS_ROWID.ROWID_ROW_NUMBER", 1, 1, RowidPartRule, EvalRowidPart, 'R', 0},
    {"DBMS_RANDOM.VALUE", 0, 2, RandomValueRule, EvalRandomValue, 0, 0},
    {"DBMS_RANDOM.STRING", 2, 2, RandomStringRule, EvalRandomString, 0, 0},
    {"DBMS_RANDOM.NORMAL", 0, 0, RandomValueRule, EvalRandomNormal, 0, 0},
    {"DBMS_RANDOM.RANDOM", 0, 0, RandomValueRule, EvalRandomInt, 0, 0},
    {"UNISTR", 1, 1, UnistrRule, EvalUnistr, 0, 0},
    // Regular expressions.
    {"REGEXP_LIKE", 2, 3, RegexpLikeRule, EvalRegexpLike, 0, kFnBooleanResult},
    {"REGEXP_SUBSTR", 2, 6, RegexpRule, EvalRegexpSubstr, 'S', 0},
    {"REGEXP_INSTR", 2, 7, RegexpRule, EvalRegexpInstr, 'I', 0},
    {"REGEXP_REPLACE", 2, 6, RegexpRule, EvalRegexpReplace, 'R', 0},
    {"REGEXP_COUNT", 2, 4, RegexpRule, EvalRegexpCount, 'C', 0},
    // The session's context.
    {"SYS_CONTEXT", 2, 3, SysContextRule, EvalSysContext, 0, 0},
    {"USERENV", 1, 1, UserenvRule, EvalUserenv, 0, 0},
    {"DBMS_FLASHBACK.GET_SYSTEM_CHANGE_NUMBER", 0, 0, ScnRule, EvalSystemChangeNumber, 0, 0},
};

constexpr int kFunctionCount = static_cast<int>(sizeof(kFunctions) / sizeof(kFunctions[0]));

const std::unordered_map<std::string_view, const SqlFunction*>& ByName() {
  static const auto* map = [] {
    auto* m = new std::unordered_map<std::string_view, const SqlFunction*>;
    for (const SqlFunction& f : kFunctions) {
      bool added = m->emplace(f.name, &f).second;
      assert(added && "two registry entries of one name");
      (void)added;
    }
    return m;
  }();
  return *map;
}

}  // namespace

const SqlFunction* FindFunction(std::string_view name) {
  const auto& m = ByName();
  auto it = m.find(name);
  return it == m.end() ? nullptr : it->second;
}

const SqlFunction* FunctionById(int id) {
  return id >= 0 && id < kFunctionCount ? &kFunctions[id] : nullptr;
}

const SqlFunction& Operator(std::string_view name) {
  const SqlFunction* f = FindFunction(name);
  assert(f != nullptr && "operator missing from the function registry");
  return *f;
}

int FunctionId(const SqlFunction& f) { return static_cast<int>(&f - kFunctions); }

}  // namespace tabdb

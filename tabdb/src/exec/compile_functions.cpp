// compile_functions.cpp - compiling calls of Oracle's SQL functions and
// aggregates, and of the DBMS_LOB and DBMS_METADATA functions.
#include <map>

#include "exec/compiler_internal.h"
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

Status ArgCount(const std::vector<CExpr>& a, size_t lo, size_t hi) {
  if (a.size() < lo || a.size() > hi) return OraError(909);
  return Status::Ok();
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
  if (!scope_.allow_aggregates) return OraError(934);
  out->aggregate = true;
  if (name == "COUNT" && e.star) {
    out->sql = "tabdb_num(count(*))";
    out->type = TypeOf(TypeKind::kNumber);
    return Status::Ok();
  }
  if (e.args.size() != 1) return OraError(909);
  Scope inner = scope_;
  inner.allow_aggregates = false;  // no aggregate inside an aggregate
  Compiler c(s_, inner, binds_);
  CExpr a;
  TABDB_RETURN_IF_ERROR(c.Compile(*e.args[0], &a));
  if (a.is_bool) return OraError(936);
  std::string distinct = e.distinct ? "DISTINCT " : "";
  if (name == "COUNT") {
    out->sql = "tabdb_num(count(" + distinct + a.sql + "))";
    out->type = TypeOf(TypeKind::kNumber);
    return Status::Ok();
  }
  if (name == "MIN" || name == "MAX") {
    if (IsLob(a.type.kind) || IsLong(a.type.kind)) return OraError(932, {"-", "LOB"});
    std::string arg = a.sql;
    if (a.type.kind == TypeKind::kChar || a.type.kind == TypeKind::kNChar) arg = a.sql;
    out->sql = (name == "MIN" ? "min(" : "max(") + distinct + arg + ")";
    out->type = a.type;
    return Status::Ok();
  }
  if (name == "SUM" || name == "AVG") {
    TypeKind k = a.type.kind;
    if (IsCharacter(k) || a.null_literal) k = TypeKind::kNumber;
    if (!IsNumeric(k)) return OraError(932, {"NUMBER", DataTypeText(a.type)});
    if (k == TypeKind::kFloat) k = TypeKind::kNumber;
    std::string arg = ConvertTo(a, k);
    out->sql = std::string(name == "SUM" ? "tabdb_sum(" : "tabdb_avg(") + distinct + arg + "," +
               std::to_string(static_cast<int>(k)) + ")";
    out->type = TypeOf(k);
    return Status::Ok();
  }
  return OraError(904, {name});
}

Status Compiler::Function(const Expr& e, CExpr* out) {
  std::string name = FunctionName(e);
  if (name == "COUNT" || name == "SUM" || name == "AVG" || name == "MIN" || name == "MAX")
    return Aggregate(name, e, out);
  std::vector<CExpr> a;
  TABDB_RETURN_IF_ERROR(CompileArgs(e, &a));
  out->aggregate = AnyAggregate(a);
  out->constant = AllConstant(a);
  auto set = [&](int fn, TypeKind result, std::vector<const CExpr*> args,
                 const std::string& extra = "") {
    out->sql = Call(fn, result, args, extra);
    out->type = TypeOf(result);
    return Status::Ok();
  };
  auto text_arg = [&](size_t i) {
    if (!IsTextClass(a[i].type.kind) && !a[i].null_literal) {
      a[i].sql = ConvertTo(a[i], TypeKind::kVarchar2);
      a[i].type = TypeOf(TypeKind::kVarchar2);
    }
    return &a[i];
  };
  auto num_arg = [&](size_t i) {
    if (!IsNumeric(a[i].type.kind) && !a[i].null_literal) {
      a[i].sql = ConvertTo(a[i], TypeKind::kNumber);
      a[i].type = TypeOf(TypeKind::kNumber);
    }
    return &a[i];
  };

  if (name == "UPPER" || name == "LOWER" || name == "INITCAP") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 1, 1));
    int fn = name == "UPPER" ? kFnUpper : name == "LOWER" ? kFnLower : kFnInitcap;
    TypeKind r = TextResult(a[0]);
    int len = a[0].type.length;
    TABDB_RETURN_IF_ERROR(set(fn, r, {text_arg(0)}));
    out->type.length = len == kUnset ? 4000 : len;
    return Status::Ok();
  }
  if (name == "LENGTH" || name == "LENGTHB" || name == "LENGTHC") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 1, 1));
    if (IsLob(a[0].type.kind)) return set(kFnLobLength, TypeKind::kNumber, {&a[0]});
    return set(name == "LENGTHB" ? kFnLengthb : kFnLength, TypeKind::kNumber, {text_arg(0)});
  }
  if (name == "SUBSTR" || name == "SUBSTRB") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 2, 3));
    std::vector<const CExpr*> args = {text_arg(0), num_arg(1)};
    if (a.size() == 3) args.push_back(num_arg(2));
    int len = a[0].type.length;
    TABDB_RETURN_IF_ERROR(set(kFnSubstr, TextResult(a[0]), args));
    out->type.length = len == kUnset ? 4000 : len;
    return Status::Ok();
  }
  if (name == "INSTR") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 2, 4));
    std::vector<const CExpr*> args = {text_arg(0), text_arg(1)};
    for (size_t i = 2; i < a.size(); ++i) args.push_back(num_arg(i));
    return set(kFnInstr, TypeKind::kNumber, args);
  }
  if (name == "REPLACE") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 2, 3));
    std::vector<const CExpr*> args = {text_arg(0), text_arg(1)};
    if (a.size() == 3) args.push_back(text_arg(2));
    return set(kFnReplace, TextResult(a[0]), args);
  }
  if (name == "TRIM" || name == "LTRIM" || name == "RTRIM") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 1, 2));
    std::vector<const CExpr*> args = {text_arg(0)};
    if (a.size() == 2) args.push_back(text_arg(1));
    return set(kFnTrim, TextResult(a[0]), args, name == "LTRIM" ? "L" : name == "RTRIM" ? "R" : "B");
  }
  if (name == "LPAD" || name == "RPAD") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 2, 3));
    std::vector<const CExpr*> args = {text_arg(0), num_arg(1)};
    if (a.size() == 3) args.push_back(text_arg(2));
    return set(name == "LPAD" ? kFnLpad : kFnRpad, TextResult(a[0]), args);
  }
  if (name == "CONCAT") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 2, 2));
    return set(kFnConcat, TextResult(a[0]), {text_arg(0), text_arg(1)});
  }
  if (name == "NVL") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 2, 2));
    const CExpr& t = a[0].null_literal ? a[1] : a[0];
    out->sql = "coalesce(" + ConvertTo(a[0], t.type.kind) + "," + ConvertTo(a[1], t.type.kind) + ")";
    out->type = t.type;
    return Status::Ok();
  }
  if (name == "NVL2") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 3, 3));
    const CExpr& t = a[1].null_literal ? a[2] : a[1];
    out->sql = "(CASE WHEN " + a[0].sql + " IS NOT NULL THEN " + ConvertTo(a[1], t.type.kind) +
               " ELSE " + ConvertTo(a[2], t.type.kind) + " END)";
    out->type = t.type;
    return Status::Ok();
  }
  if (name == "COALESCE") {
    if (a.size() < 1) return OraError(909);
    const CExpr* t = &a[0];
    for (const CExpr& x : a) {
      if (!x.null_literal) {
        t = &x;
        break;
      }
    }
    std::string sql = "coalesce(";
    for (size_t i = 0; i < a.size(); ++i) sql += (i ? "," : "") + ConvertTo(a[i], t->type.kind);
    if (a.size() == 1) sql += ",NULL";
    out->sql = sql + ")";
    out->type = t->type;
    return Status::Ok();
  }
  if (name == "DECODE") {
    if (a.size() < 3) return OraError(909);
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
      TABDB_RETURN_IF_ERROR(CommonType(a[0], a[i], &k));
      sql += " WHEN " + ConvertTo(a[0], k) + " IS " + ConvertTo(a[i], k) + " THEN " +
             ConvertTo(a[i + 1], rk);
    }
    if (i < a.size()) sql += " ELSE " + ConvertTo(a[i], rk);
    out->sql = sql + " END)";
    out->type = rt ? rt->type : TypeOf(TypeKind::kVarchar2);
    return Status::Ok();
  }
  if (name == "GREATEST" || name == "LEAST") {
    if (a.empty()) return OraError(909);
    std::vector<const CExpr*> args;
    TypeKind k = a[0].type.kind;
    for (size_t i = 0; i < a.size(); ++i) {
      a[i].sql = ConvertTo(a[i], k);
      a[i].type = a[0].type;
      args.push_back(&a[i]);
    }
    TABDB_RETURN_IF_ERROR(set(name == "GREATEST" ? kFnGreatest : kFnLeast, k, args));
    out->type = a[0].type;
    return Status::Ok();
  }
  if (name == "ABS" || name == "FLOOR" || name == "CEIL" || name == "SIGN" || name == "SQRT") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 1, 1));
    int fn = name == "ABS" ? kFnAbs : name == "FLOOR" ? kFnFloor : name == "CEIL" ? kFnCeil
           : name == "SIGN" ? kFnSign : kFnSqrt;
    const CExpr* x = num_arg(0);
    TypeKind r = x->null_literal ? TypeKind::kNumber : x->type.kind;
    if (r == TypeKind::kFloat) r = TypeKind::kNumber;
    return set(fn, r, {x});
  }
  if (name == "MOD" || name == "POWER") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 2, 2));
    return set(name == "MOD" ? kFnMod : kFnPower, TypeKind::kNumber, {num_arg(0), num_arg(1)});
  }
  if (name == "ROUND" || name == "TRUNC") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 1, 2));
    int fn = name == "ROUND" ? kFnRound : kFnTrunc;
    if (IsDatetime(a[0].type.kind)) {
      std::vector<const CExpr*> args = {&a[0]};
      if (a.size() == 2) args.push_back(text_arg(1));
      return set(fn, TypeKind::kDate, args);
    }
    std::vector<const CExpr*> args = {num_arg(0)};
    if (a.size() == 2) args.push_back(num_arg(1));
    TypeKind r = a[0].null_literal ? TypeKind::kNumber : a[0].type.kind;
    if (r == TypeKind::kFloat) r = TypeKind::kNumber;
    return set(fn, r, args);
  }
  if (name == "TO_CHAR" || name == "TO_NCHAR") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 1, 3));
    TypeKind r = name == "TO_NCHAR" ? TypeKind::kNVarchar2 : TypeKind::kVarchar2;
    std::vector<const CExpr*> args = {&a[0]};
    TypeKind k = a[0].type.kind;
    bool typed = (k == TypeKind::kTimestamp || k == TypeKind::kTimestampTZ ||
                  k == TypeKind::kTimestampLTZ || IsInterval(k)) && !a[0].null_literal;
    if (typed && (a.size() == 1 || IsInterval(k))) {
      // The default format shows the precisions of the argument's type; an
      // interval ignores any format.
      TypeDesc t = WithDefaults(a[0].type);
      TABDB_RETURN_IF_ERROR(set(kFnToCharTyped, r, args,
                                std::to_string(t.precision) + "," + std::to_string(t.scale)));
      out->type.length = 4000;
      return Status::Ok();
    }
    if (a.size() >= 2) args.push_back(text_arg(1));
    TABDB_RETURN_IF_ERROR(set(kFnToChar, r, args));
    out->type.length = 4000;
    return Status::Ok();
  }
  if (name == "TO_NUMBER") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 1, 3));
    if (IsNumeric(a[0].type.kind) && a.size() == 1) {
      out->sql = ConvertTo(a[0], TypeKind::kNumber);
      out->type = TypeOf(TypeKind::kNumber);
      return Status::Ok();
    }
    std::vector<const CExpr*> args = {text_arg(0)};
    if (a.size() >= 2) args.push_back(text_arg(1));
    return set(kFnToNumber, TypeKind::kNumber, args);
  }
  if (name == "TO_DATE" || name == "TO_TIMESTAMP" || name == "TO_TIMESTAMP_TZ") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 1, 3));
    TypeKind r = name == "TO_DATE" ? TypeKind::kDate
               : name == "TO_TIMESTAMP" ? TypeKind::kTimestamp : TypeKind::kTimestampTZ;
    if (IsDatetime(a[0].type.kind) && a.size() == 1) {
      out->sql = ConvertTo(a[0], r);
      out->type = TypeOf(r);
      return Status::Ok();
    }
    std::vector<const CExpr*> args = {text_arg(0)};
    if (a.size() >= 2) args.push_back(text_arg(1));
    TABDB_RETURN_IF_ERROR(set(kFnToDate, r, args));
    if (r != TypeKind::kDate) out->type.precision = 9;
    return Status::Ok();
  }
  if (name == "TO_BINARY_FLOAT" || name == "TO_BINARY_DOUBLE") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 1, 1));
    TypeKind r = name == "TO_BINARY_FLOAT" ? TypeKind::kBinaryFloat : TypeKind::kBinaryDouble;
    out->sql = ConvertTo(a[0], r);
    out->type = TypeOf(r);
    return Status::Ok();
  }
  if (name == "TO_CLOB" || name == "TO_NCLOB" || name == "TO_BLOB") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 1, 1));
    TypeKind r = name == "TO_CLOB" ? TypeKind::kClob
               : name == "TO_NCLOB" ? TypeKind::kNClob : TypeKind::kBlob;
    return set(kFnToLob, r, {&a[0]});
  }
  if (name == "EMPTY_CLOB" || name == "EMPTY_BLOB") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 0, 0));
    out->sql = name == "EMPTY_CLOB" ? "''" : "X''";
    out->type = TypeOf(name == "EMPTY_CLOB" ? TypeKind::kClob : TypeKind::kBlob);
    out->constant = true;
    return Status::Ok();
  }
  if (name == "HEXTORAW") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 1, 1));
    TABDB_RETURN_IF_ERROR(set(kFnHexToRaw, TypeKind::kRaw, {text_arg(0)}));
    out->type.length = 2000;
    return Status::Ok();
  }
  if (name == "RAWTOHEX") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 1, 1));
    TABDB_RETURN_IF_ERROR(set(kFnRawToHex, TypeKind::kVarchar2, {&a[0]}));
    out->type.length = 4000;
    return Status::Ok();
  }
  if (name == "ADD_MONTHS") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 2, 2));
    return set(kFnAddMonths, TypeKind::kDate, {&a[0], num_arg(1)});
  }
  if (name == "LAST_DAY") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 1, 1));
    return set(kFnLastDay, TypeKind::kDate, {&a[0]});
  }
  if (name == "MONTHS_BETWEEN") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 2, 2));
    return set(kFnMonthsBetween, TypeKind::kNumber, {&a[0], &a[1]});
  }
  if (name == "NUMTODSINTERVAL" || name == "NUMTOYMINTERVAL") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 2, 2));
    bool ds = name == "NUMTODSINTERVAL";
    TABDB_RETURN_IF_ERROR(set(ds ? kFnNumToDsInterval : kFnNumToYmInterval,
                              ds ? TypeKind::kIntervalDS : TypeKind::kIntervalYM,
                              {num_arg(0), text_arg(1)}));
    out->type.precision = 9;
    if (ds) out->type.scale = 9;
    return Status::Ok();
  }
  if (name == "TO_DSINTERVAL" || name == "TO_YMINTERVAL") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 1, 1));
    TypeKind r = name == "TO_DSINTERVAL" ? TypeKind::kIntervalDS : TypeKind::kIntervalYM;
    out->sql = ConvertTo(a[0], r);
    out->type = TypeOf(r);
    out->type.precision = 9;
    if (r == TypeKind::kIntervalDS) out->type.scale = 9;
    return Status::Ok();
  }
  if (name == "SYS_EXTRACT_UTC") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 1, 1));
    return set(kFnSysExtractUtc, TypeKind::kTimestamp, {&a[0]});
  }
  if (name == "CHR") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 1, 1));
    return set(kFnChr, TypeKind::kVarchar2, {num_arg(0)});
  }
  if (name == "ASCII") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 1, 1));
    return set(kFnAscii, TypeKind::kNumber, {text_arg(0)});
  }
  if (name == "DUMP") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 1, 1));
    return set(kFnDump, TypeKind::kVarchar2, {&a[0]});
  }
  if (name == "DBMS_LOB.GETLENGTH") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 1, 1));
    return set(kFnLobLength, TypeKind::kNumber, {&a[0]});
  }
  if (name == "DBMS_LOB.SUBSTR") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 1, 3));
    std::vector<const CExpr*> args = {&a[0]};
    for (size_t i = 1; i < a.size(); ++i) args.push_back(num_arg(i));
    TypeKind r = a[0].type.kind == TypeKind::kBlob ? TypeKind::kRaw
               : a[0].type.kind == TypeKind::kNClob ? TypeKind::kNVarchar2 : TypeKind::kVarchar2;
    TABDB_RETURN_IF_ERROR(set(kFnLobSubstr, r, args));
    out->type.length = 32767;
    return Status::Ok();
  }
  if (name == "DBMS_METADATA.GET_DDL") {
    TABDB_RETURN_IF_ERROR(ArgCount(a, 2, 6));
    std::vector<const CExpr*> args = {text_arg(0), text_arg(1)};
    if (a.size() >= 3) args.push_back(text_arg(2));
    return set(kFnGetDdl, TypeKind::kClob, args);
  }
  return OraError(904, {sql::QuoteName(name)});
}

}  // namespace tabdb

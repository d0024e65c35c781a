// fn_numeric.cpp - arithmetic and numeric functions over NUMBER (exact
// decimal) and BINARY_FLOAT/BINARY_DOUBLE (IEEE), TO_NUMBER, TO_CHAR, and
// GREATEST/LEAST.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "exec/compiler_internal.h"
#include "exec/convert.h"
#include "exec/scalar_fns.h"
#include "util/errors.h"
#include "values/binfloat.h"
#include "values/datetime.h"
#include "values/datetime_format.h"
#include "values/interval.h"
#include "values/number.h"
#include "values/number_format.h"

namespace tabdb {
namespace {

bool IsFloatKind(TypeKind k) {
  return k == TypeKind::kBinaryFloat || k == TypeKind::kBinaryDouble;
}

Status ToNumber(const Value& v, Number* n) {
  if (IsFloatKind(v.kind)) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(v.bytes.data());
    double d = v.kind == TypeKind::kBinaryFloat ? DecodeBinaryFloat(p) : DecodeBinaryDouble(p);
    return Number::FromDouble(d, n);
  }
  return Number::Decode(reinterpret_cast<const uint8_t*>(v.bytes.data()), v.bytes.size(), n);
}

double ToDouble(const Value& v) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(v.bytes.data());
  if (v.kind == TypeKind::kBinaryFloat && v.bytes.size() == 4) return DecodeBinaryFloat(p);
  if (v.kind == TypeKind::kBinaryDouble && v.bytes.size() == 8) return DecodeBinaryDouble(p);
  Number n;
  if (!Number::Decode(p, v.bytes.size(), &n).ok()) return NAN;
  return n.ToDouble();
}

void PutNumber(Value* out, const Number& n) {
  uint8_t buf[kNumberBufferBytes];
  size_t len = n.EncodeTo(buf);
  out->kind = TypeKind::kNumber;
  out->null = false;
  out->lob_id = 0;
  out->bytes.assign(reinterpret_cast<char*>(buf), len);
}

void PutDouble(Value* out, TypeKind k, double d) {
  uint8_t buf[8];
  out->kind = k;
  out->null = false;
  out->lob_id = 0;
  if (k == TypeKind::kBinaryFloat) {
    EncodeBinaryFloat(static_cast<float>(d), buf);
    out->bytes.assign(reinterpret_cast<char*>(buf), 4);
  } else {
    EncodeBinaryDouble(d, buf);
    out->bytes.assign(reinterpret_cast<char*>(buf), 8);
  }
}

bool NumericOperands(const FnCall& c) {
  for (const Value& v : *c.args) {
    if (IsDatetime(v.kind) || IsInterval(v.kind)) return false;
  }
  return true;
}

// One NUMBER operation ('+', '-', '*', '/'), or its IEEE counterpart when
// the result kind is BINARY_FLOAT/DOUBLE.
Status Arith(int op, TypeKind result, const Value& a, const Value& b, Value* out) {
  if (IsFloatKind(result)) {
    double x = ToDouble(a), y = ToDouble(b), r = 0;
    switch (op) {
      case '+': r = x + y; break;
      case '-': r = x - y; break;
      case '*': r = x * y; break;
      default: r = x / y; break;
    }
    PutDouble(out, result, r);
    return Status::Ok();
  }
  Number x, y, r;
  TABDB_RETURN_IF_ERROR(ToNumber(a, &x));
  TABDB_RETURN_IF_ERROR(ToNumber(b, &y));
  switch (op) {
    case '+': TABDB_RETURN_IF_ERROR(Number::Add(x, y, &r)); break;
    case '-': TABDB_RETURN_IF_ERROR(Number::Sub(x, y, &r)); break;
    case '*': TABDB_RETURN_IF_ERROR(Number::Mul(x, y, &r)); break;
    default: TABDB_RETURN_IF_ERROR(Number::Div(x, y, &r)); break;
  }
  PutNumber(out, r);
  return Status::Ok();
}

int CompareValues(const Value& a, const Value& b) {
  if (a.kind == TypeKind::kTimestampTZ && a.bytes.size() >= 11 && b.bytes.size() >= 11)
    return std::memcmp(a.bytes.data(), b.bytes.data(), 11);
  int c = std::memcmp(a.bytes.data(), b.bytes.data(), std::min(a.bytes.size(), b.bytes.size()));
  if (c != 0) return c;
  return a.bytes.size() < b.bytes.size() ? -1 : a.bytes.size() > b.bytes.size() ? 1 : 0;
}

}  // namespace

Status ArgNumberText(const Value& v, std::string* text) {
  Number n;
  TABDB_RETURN_IF_ERROR(ToNumber(v, &n));
  *text = n.ToString();
  return Status::Ok();
}

void EvalArith(FnCall& c, Status* st) {
  Value* out = c.out;
  if (!NumericOperands(c)) {
    DatetimeArith(c, st);
    return;
  }
  if (c.any_null()) return;
  *st = Arith(c.variant, c.result, c.arg(0), c.arg(1), out);
}

void EvalNeg(FnCall& c, Status* st) {
  Value* out = c.out;
  if (!NumericOperands(c)) {
    DatetimeNeg(c, st);
    return;
  }
  if (c.any_null()) return;
  if (IsFloatKind(c.result)) {
    PutDouble(out, c.result, -ToDouble(c.arg(0)));
  } else {
    Number n;
    if ((*st = ToNumber(c.arg(0), &n)).ok()) PutNumber(out, n.Negate());
  }
}

void EvalNumberFn(FnCall& c, Status* st) {
  Value* out = c.out;
  if (c.arg(0).null) return;
  if (IsFloatKind(c.result)) {
    double d = ToDouble(c.arg(0));
    double r = c.variant == 'A' ? std::fabs(d) : c.variant == 'F' ? std::floor(d)
             : c.variant == 'C' ? std::ceil(d) : c.variant == 'S' ? (d > 0) - (d < 0)
             : std::sqrt(d);
    PutDouble(out, c.result, r);
    return;
  }
  Number n;
  if (!(*st = ToNumber(c.arg(0), &n)).ok()) return;
  switch (c.variant) {
    case 'A': PutNumber(out, n.Abs()); break;
    case 'F': PutNumber(out, n.Floor()); break;
    case 'C': PutNumber(out, n.Ceil()); break;
    case 'S': PutNumber(out, Number::FromInt64(n.Sign())); break;
    default: {
      if (n.IsNegative()) {
        *st = OraError(ora::kArgumentOutOfRange, {n.ToString()});
        return;
      }
      Number r;
      if ((*st = Number::FromDouble(std::sqrt(n.ToDouble()), &r)).ok()) PutNumber(out, r);
      break;
    }
  }
}

void EvalRoundTrunc(FnCall& c, Status* st) {
  Value* out = c.out;
  if (IsDatetime(c.arg(0).kind)) {
    DatetimeRoundTrunc(c, st);
    return;
  }
  if (c.any_null()) return;
  int64_t scale = 0;
  if (c.nargs() == 2 && !(*st = ArgInt(c.arg(1), &scale)).ok()) return;
  if (scale > 127) scale = 127;
  if (scale < -127) scale = -127;
  if (IsFloatKind(c.result)) {
    double d = ToDouble(c.arg(0)), f = std::pow(10.0, static_cast<double>(scale));
    double r = c.variant == 'R' ? std::round(d * f) / f : std::trunc(d * f) / f;
    PutDouble(out, c.result, r);
    return;
  }
  Number n;
  if (!(*st = ToNumber(c.arg(0), &n)).ok()) return;
  PutNumber(out, c.variant == 'R' ? n.Round(static_cast<int>(scale))
                                  : n.Trunc(static_cast<int>(scale)));
}

void EvalMod(FnCall& c, Status* st) {
  Value* out = c.out;
  if (c.any_null()) return;
  Number a, b, r;
  if (!(*st = ToNumber(c.arg(0), &a)).ok() || !(*st = ToNumber(c.arg(1), &b)).ok()) return;
  if ((*st = Number::Mod(a, b, &r)).ok()) PutNumber(out, r);
}

void EvalPower(FnCall& c, Status* st) {
  Value* out = c.out;
  if (c.any_null()) return;
  Number a, b, r;
  if (!(*st = ToNumber(c.arg(0), &a)).ok() || !(*st = ToNumber(c.arg(1), &b)).ok()) return;
  int64_t e = 0;
  if (b.IsInteger() && b.ToInt64(&e).ok() && e >= 0 && e <= 1000) {
    r = Number::FromInt64(1);
    for (int64_t k = 0; k < e && (*st).ok(); ++k) *st = Number::Mul(r, a, &r);
  } else {
    *st = Number::FromDouble(std::pow(a.ToDouble(), b.ToDouble()), &r);
  }
  if (st->ok()) PutNumber(out, r);
}

void EvalToNumber(FnCall& c, Status* st) {
  Value* out = c.out;
  if (c.any_null()) return;
  Number n;
  if (c.nargs() >= 2) {
    *st = NumberFromChar(c.arg(0).bytes, c.arg(1).bytes, &n);
  } else {
    std::string_view t = c.arg(0).bytes;
    while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    *st = Number::Parse(t, &n);
  }
  if (st->ok()) PutNumber(out, n);
}

void EvalToChar(FnCall& c, Status* st) {
  Value* out = c.out;
  const Value& v = c.arg(0);
  if (v.null) return;
  if (c.nargs() >= 2 && c.arg(1).null) return;
  std::string text;
  if (c.nargs() >= 2 && IsNumeric(v.kind)) {
    Number n;
    if (!(*st = ToNumber(v, &n)).ok()) return;
    *st = NumberToChar(n, c.arg(1).bytes, &text);
  } else if (c.nargs() >= 2 && IsDatetime(v.kind)) {
    Value local;
    if (!(*st = ConvertValue(v, v.kind == TypeKind::kTimestampLTZ ? TypeKind::kTimestamp : v.kind,
                             &local)).ok())
      return;
    DateTime d;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(local.bytes.data());
    *st = local.kind == TypeKind::kDate          ? DecodeDate(p, local.bytes.size(), &d)
          : local.kind == TypeKind::kTimestampTZ ? DecodeTimestampTZ(p, local.bytes.size(), &d)
                                                 : DecodeTimestamp(p, local.bytes.size(), &d);
    if (st->ok()) *st = FormatDateTime(d, local.kind, c.arg(1).bytes, &text);
  } else {
    *st = ValueToText(v, &text);
  }
  if (st->ok()) SetText(out, c.result, std::move(text));
}

void EvalToCharTyped(FnCall& c, Status* st) {
  Value* out = c.out;
  const Value& v = c.arg(0);
  if (v.null) return;
  TypeDesc t;
  t.kind = v.kind;
  const std::string& ps = c.arg(c.nargs() - 1).bytes;
  size_t comma = ps.find(',');
  t.precision = std::atoi(ps.c_str());
  t.scale = comma == std::string::npos ? kUnset : std::atoi(ps.c_str() + comma + 1);
  std::string text;
  *st = ValueToTypedText(v, t, &text);
  if (st->ok()) SetText(out, c.result, std::move(text));
}

void EvalGreatestLeast(FnCall& c, Status* /*st*/) {
  Value* out = c.out;
  if (c.any_null()) return;
  const Value* best = &c.arg(0);
  for (const Value& v : *c.args) {
    int cmp = CompareValues(v, *best);
    if ((c.variant == 'G' && cmp > 0) || (c.variant == 'L' && cmp < 0)) best = &v;
  }
  *out = *best;
  out->kind = c.result;
}

}  // namespace tabdb

// fn_datetime.cpp - date, timestamp and interval arithmetic and functions
// (TO_DATE, ADD_MONTHS, ROUND/TRUNC of dates, EXTRACT, ...).
#include <cstring>

#include "exec/compiler_internal.h"
#include "exec/convert.h"
#include "exec/scalar_fns.h"
#include "util/errors.h"
#include "values/datetime.h"
#include "values/datetime_format.h"
#include "values/interval.h"
#include "values/number.h"

namespace tabdb {
namespace {

constexpr int64_t kNanos = 1000000000;

const uint8_t* Bytes(const Value& v) { return reinterpret_cast<const uint8_t*>(v.bytes.data()); }

// A datetime value as its fields, in its own frame: local fields for DATE,
// TIMESTAMP and TIMESTAMP WITH TIME ZONE, UTC for WITH LOCAL TIME ZONE (as
// stored).
Status Decode(const Value& v, DateTime* d) {
  switch (v.kind) {
    case TypeKind::kDate: return DecodeDate(Bytes(v), v.bytes.size(), d);
    case TypeKind::kTimestampTZ: return DecodeTimestampTZ(Bytes(v), v.bytes.size(), d);
    default: return DecodeTimestamp(Bytes(v), v.bytes.size(), d);
  }
}

void Encode(const DateTime& d, TypeKind k, Value* out) {
  uint8_t buf[13];
  size_t n;
  if (k == TypeKind::kDate) {
    EncodeDate(d, buf);
    n = 7;
  } else if (k == TypeKind::kTimestampTZ) {
    EncodeTimestampTZ(d, buf);
    n = 13;
  } else {
    n = EncodeTimestamp(d, buf);
  }
  *out = Value::Of(k, std::string(reinterpret_cast<char*>(buf), n));
}

// Instant in seconds and nanoseconds (UTC for zoned kinds).
void Instant(const Value& v, const DateTime& d, int64_t* secs, int32_t* nanos) {
  DateTime u = d;
  if (v.kind == TypeKind::kTimestampTZ) u = ToUtc(d);
  *secs = EpochSeconds(u);
  *nanos = static_cast<int32_t>(d.nanos);
}

int64_t DsTotalNanosHigh(const IntervalDS& v, int64_t* low) {
  // Returned as seconds (high) and nanoseconds (low), both with the sign.
  *low = v.nanos;
  return v.days * 86400 + v.hours * 3600 + v.minutes * 60 + v.seconds;
}

IntervalDS DsFrom(int64_t secs, int64_t nanos) {
  // Normalise so that both parts carry one sign.
  secs += nanos / kNanos;
  nanos %= kNanos;
  if (secs > 0 && nanos < 0) {
    --secs;
    nanos += kNanos;
  } else if (secs < 0 && nanos > 0) {
    ++secs;
    nanos -= kNanos;
  }
  IntervalDS r;
  r.days = secs / 86400;
  int64_t rem = secs % 86400;
  r.hours = static_cast<int>(rem / 3600);
  r.minutes = static_cast<int>((rem % 3600) / 60);
  r.seconds = static_cast<int>(rem % 60);
  r.nanos = static_cast<int32_t>(nanos);
  return r;
}

void PutDs(const IntervalDS& v, Value* out) {
  uint8_t buf[11];
  EncodeIntervalDS(v, buf);
  *out = Value::Of(TypeKind::kIntervalDS, std::string(reinterpret_cast<char*>(buf), 11));
}

void PutYm(int64_t months, Value* out) {
  IntervalYM v;
  v.years = months / 12;
  v.months = static_cast<int>(months % 12);
  uint8_t buf[5];
  EncodeIntervalYM(v, buf);
  *out = Value::Of(TypeKind::kIntervalYM, std::string(reinterpret_cast<char*>(buf), 5));
}

Status NumberOf(const Value& v, Number* n) { return Number::Decode(Bytes(v), v.bytes.size(), n); }

// Days as a NUMBER -> whole seconds (rounded, as Oracle rounds DATE
// arithmetic to the second).
Status DaysToSeconds(const Value& days, int64_t* secs) {
  Number n, r;
  TABDB_RETURN_IF_ERROR(NumberOf(days, &n));
  TABDB_RETURN_IF_ERROR(Number::Mul(n, Number::FromInt64(86400), &r));
  return r.Round(0).ToInt64(secs);
}

Status AddDays(const Value& dt, const Value& days, bool negate, Value* out) {
  DateTime d, r;
  TABDB_RETURN_IF_ERROR(Decode(dt, &d));
  int64_t secs = 0;
  TABDB_RETURN_IF_ERROR(DaysToSeconds(days, &secs));
  d.nanos = 0;  // the result is a DATE
  TABDB_RETURN_IF_ERROR(AddSeconds(d, negate ? -secs : secs, 0, &r));
  Encode(r, TypeKind::kDate, out);
  return Status::Ok();
}

Status AddInterval(const Value& dt, const Value& iv, bool negate, Value* out) {
  DateTime d, r;
  TABDB_RETURN_IF_ERROR(Decode(dt, &d));
  if (iv.kind == TypeKind::kIntervalYM) {
    IntervalYM v;
    TABDB_RETURN_IF_ERROR(DecodeIntervalYM(Bytes(iv), iv.bytes.size(), &v));
    if (negate) {
      v.years = -v.years;
      v.months = -v.months;
    }
    TABDB_RETURN_IF_ERROR(AddIntervalYM(d, v, &r));
  } else {
    IntervalDS v;
    TABDB_RETURN_IF_ERROR(DecodeIntervalDS(Bytes(iv), iv.bytes.size(), &v));
    if (negate) v = IntervalDS{-v.days, -v.hours, -v.minutes, -v.seconds, -v.nanos};
    TABDB_RETURN_IF_ERROR(AddIntervalDS(d, v, &r));
  }
  if (dt.kind == TypeKind::kDate) r.nanos = 0;
  Encode(r, dt.kind, out);
  return Status::Ok();
}

Status Difference(const Value& a, const Value& b, TypeKind result, Value* out) {
  DateTime da, db;
  TABDB_RETURN_IF_ERROR(Decode(a, &da));
  TABDB_RETURN_IF_ERROR(Decode(b, &db));
  int64_t sa, sb;
  int32_t na, nb;
  Instant(a, da, &sa, &na);
  Instant(b, db, &sb, &nb);
  if (result == TypeKind::kNumber) {
    Number diff;
    TABDB_RETURN_IF_ERROR(Number::Div(Number::FromInt64(sa - sb), Number::FromInt64(86400), &diff));
    uint8_t buf[kNumberBufferBytes];
    size_t n = diff.EncodeTo(buf);
    *out = Value::Of(TypeKind::kNumber, std::string(reinterpret_cast<char*>(buf), n));
    return Status::Ok();
  }
  PutDs(DsFrom(sa - sb, static_cast<int64_t>(na) - nb), out);
  return Status::Ok();
}

Status IntervalArith(int op, const Value& a, const Value& b, TypeKind result, Value* out) {
  bool ym = result == TypeKind::kIntervalYM;
  auto months_of = [&](const Value& v, int64_t* m) {
    IntervalYM x;
    TABDB_RETURN_IF_ERROR(DecodeIntervalYM(Bytes(v), v.bytes.size(), &x));
    *m = x.years * 12 + x.months;
    return Status::Ok();
  };
  auto nanos_of = [&](const Value& v, __int128* t) {
    IntervalDS x;
    TABDB_RETURN_IF_ERROR(DecodeIntervalDS(Bytes(v), v.bytes.size(), &x));
    int64_t low = 0;
    int64_t high = DsTotalNanosHigh(x, &low);
    *t = static_cast<__int128>(high) * kNanos + low;
    return Status::Ok();
  };
  auto put_nanos = [&](__int128 t) {
    PutDs(DsFrom(static_cast<int64_t>(t / kNanos), static_cast<int64_t>(t % kNanos)), out);
  };
  if (op == '+' || op == '-') {
    if (ym) {
      int64_t x, y;
      TABDB_RETURN_IF_ERROR(months_of(a, &x));
      TABDB_RETURN_IF_ERROR(months_of(b, &y));
      PutYm(op == '+' ? x + y : x - y, out);
    } else {
      __int128 x, y;
      TABDB_RETURN_IF_ERROR(nanos_of(a, &x));
      TABDB_RETURN_IF_ERROR(nanos_of(b, &y));
      put_nanos(op == '+' ? x + y : x - y);
    }
    return Status::Ok();
  }
  // interval * number, number * interval, interval / number
  const Value& iv = IsInterval(a.kind) ? a : b;
  const Value& nv = IsInterval(a.kind) ? b : a;
  Number n;
  TABDB_RETURN_IF_ERROR(NumberOf(nv, &n));
  double f = n.ToDouble();
  if (op == '/') {
    if (f == 0) return OraError(ora::kDivisorIsZero);
    f = 1.0 / f;
  }
  if (ym) {
    int64_t m;
    TABDB_RETURN_IF_ERROR(months_of(iv, &m));
    PutYm(static_cast<int64_t>(static_cast<double>(m) * f), out);
  } else {
    __int128 t;
    TABDB_RETURN_IF_ERROR(nanos_of(iv, &t));
    put_nanos(static_cast<__int128>(static_cast<long double>(t) * f));
  }
  return Status::Ok();
}

// ROUND/TRUNC of a date to the unit a format names.
Status RoundDate(const DateTime& in, const std::string& fmt_in, bool round, DateTime* out) {
  std::string fmt;
  for (char ch : fmt_in) fmt += static_cast<char>(toupper(static_cast<unsigned char>(ch)));
  DateTime d = in;
  d.nanos = 0;
  int unit;  // 0 day, 1 month, 2 year, 3 hour, 4 minute, 5 quarter
  if (fmt.empty() || fmt == "DD" || fmt == "DDD" || fmt == "J") unit = 0;
  else if (fmt == "MM" || fmt == "MON" || fmt == "MONTH" || fmt == "RM") unit = 1;
  else if (fmt == "YYYY" || fmt == "YEAR" || fmt == "SYYYY" || fmt == "YYY" || fmt == "YY" ||
           fmt == "Y" || fmt == "SYEAR")
    unit = 2;
  else if (fmt == "HH" || fmt == "HH12" || fmt == "HH24") unit = 3;
  else if (fmt == "MI") unit = 4;
  else if (fmt == "Q") unit = 5;
  else return OraError(ora::kDateFormatNotRecognized);
  DateTime t = d;
  switch (unit) {
    case 0:
      t.hour = t.minute = t.second = 0;
      if (round && d.hour >= 12) return AddSeconds(t, 86400, 0, out);
      break;
    case 3:
      t.minute = t.second = 0;
      if (round && d.minute >= 30) return AddSeconds(t, 3600, 0, out);
      break;
    case 4:
      t.second = 0;
      if (round && d.second >= 30) return AddSeconds(t, 60, 0, out);
      break;
    case 1:
      t.day = 1;
      t.hour = t.minute = t.second = 0;
      if (round && d.day >= 16) return AddMonths(t, 1, out);
      break;
    case 5: {
      t.month = ((d.month - 1) / 3) * 3 + 1;
      t.day = 1;
      t.hour = t.minute = t.second = 0;
      if (round && (d.month - t.month > 1 || (d.month - t.month == 1 && d.day >= 16)))
        return AddMonths(t, 3, out);
      break;
    }
    default:
      t.month = 1;
      t.day = 1;
      t.hour = t.minute = t.second = 0;
      if (round && d.month >= 7) return AddMonths(t, 12, out);
      break;
  }
  *out = t;
  return Status::Ok();
}

void PutNumber(Value* out, const Number& n) {
  uint8_t buf[kNumberBufferBytes];
  size_t len = n.EncodeTo(buf);
  *out = Value::Of(TypeKind::kNumber, std::string(reinterpret_cast<char*>(buf), len));
}

// `v` as a DATE (a TIMESTAMP loses its fraction and time zone).
Status AsDate(const Value& v, Value* out) {
  if (v.kind == TypeKind::kDate) {
    *out = v;
    return Status::Ok();
  }
  return ConvertValue(v, TypeKind::kDate, out);
}

Status Extract(const Value& v, const std::string& field, Value* out) {
  if (IsInterval(v.kind)) {
    int64_t f = 0;
    Number frac;
    bool has_frac = false;
    if (v.kind == TypeKind::kIntervalYM) {
      IntervalYM x;
      TABDB_RETURN_IF_ERROR(DecodeIntervalYM(Bytes(v), v.bytes.size(), &x));
      if (field == "YEAR") f = x.years;
      else if (field == "MONTH") f = x.months;
      else return OraError(ora::kFieldNotFound);
    } else {
      IntervalDS x;
      TABDB_RETURN_IF_ERROR(DecodeIntervalDS(Bytes(v), v.bytes.size(), &x));
      if (field == "DAY") f = x.days;
      else if (field == "HOUR") f = x.hours;
      else if (field == "MINUTE") f = x.minutes;
      else if (field == "SECOND") {
        TABDB_RETURN_IF_ERROR(Number::Div(Number::FromInt64(static_cast<int64_t>(x.seconds) * kNanos + x.nanos),
                                          Number::FromInt64(kNanos), &frac));
        has_frac = true;
      } else {
        return OraError(ora::kFieldNotFound);
      }
    }
    PutNumber(out, has_frac ? frac : Number::FromInt64(f));
    return Status::Ok();
  }
  DateTime d;
  Value local = v;
  if (v.kind == TypeKind::kTimestampLTZ) TABDB_RETURN_IF_ERROR(ConvertValue(v, TypeKind::kTimestamp, &local));
  TABDB_RETURN_IF_ERROR(Decode(local, &d));
  if (local.kind == TypeKind::kTimestampTZ &&
      (field == "HOUR" || field == "MINUTE" || field == "SECOND" || field == "YEAR" ||
       field == "MONTH" || field == "DAY")) {
    // EXTRACT of a zoned value gives its UTC fields, as Oracle does.
    d = ToUtc(d);
  }
  int64_t f;
  if (field == "YEAR") f = d.year;
  else if (field == "MONTH") f = d.month;
  else if (field == "DAY") f = d.day;
  else if (field == "HOUR") f = d.hour;
  else if (field == "MINUTE") f = d.minute;
  else if (field == "SECOND") {
    Number s;
    TABDB_RETURN_IF_ERROR(Number::Div(Number::FromInt64(static_cast<int64_t>(d.second) * kNanos + d.nanos),
                                      Number::FromInt64(kNanos), &s));
    PutNumber(out, s);
    return Status::Ok();
  } else if (field == "TIMEZONE_HOUR") f = d.tz_offset_minutes / 60;
  else if (field == "TIMEZONE_MINUTE") f = d.tz_offset_minutes % 60;
  else return OraError(ora::kFieldNotFound);
  PutNumber(out, Number::FromInt64(f));
  return Status::Ok();
}

}  // namespace

void DatetimeArith(FnCall& c, Status* st) {
  Value* out = c.out;
  if (c.any_null()) return;
  if (c.variant == '*' || c.variant == '/') {
    *st = IntervalArith(c.variant, c.arg(0), c.arg(1), c.result, out);
    return;
  }
  const Value& a = c.arg(0);
  const Value& b = c.arg(1);
  bool neg = c.variant == '-';
  if (IsDatetime(a.kind) && IsNumeric(b.kind)) *st = AddDays(a, b, neg, out);
  else if (IsNumeric(a.kind) && IsDatetime(b.kind)) *st = AddDays(b, a, false, out);
  else if (IsDatetime(a.kind) && IsInterval(b.kind)) *st = AddInterval(a, b, neg, out);
  else if (IsInterval(a.kind) && IsDatetime(b.kind)) *st = AddInterval(b, a, false, out);
  else if (IsDatetime(a.kind) && IsDatetime(b.kind)) *st = Difference(a, b, c.result, out);
  else *st = IntervalArith(c.variant, a, b, c.result, out);
}

void DatetimeNeg(FnCall& c, Status* st) {
  Value* out = c.out;
  if (c.arg(0).null) return;
  Value zero;
  if (c.result == TypeKind::kIntervalYM) PutYm(0, &zero); else PutDs(IntervalDS{}, &zero);
  *st = IntervalArith('-', zero, c.arg(0), c.result, out);
}

void DatetimeRoundTrunc(FnCall& c, Status* st) {
  Value* out = c.out;
  if (c.any_null()) return;
  DateTime d, r;
  Value local;
  if (!(*st = AsDate(c.arg(0), &local)).ok()) return;
  if (!(*st = Decode(local, &d)).ok()) return;
  std::string fmt = c.nargs() == 2 ? c.arg(1).bytes : "DD";
  if ((*st = RoundDate(d, fmt, c.variant == 'R', &r)).ok()) Encode(r, TypeKind::kDate, out);
}

void EvalToDate(FnCall& c, Status* st) {
  Value* out = c.out;
  if (c.any_null()) return;
  DateTime d;
  std::string fmt = c.nargs() >= 2 ? c.arg(1).bytes : DefaultDateTimeFormat(c.result);
  if ((*st = ParseDateTime(c.arg(0).bytes, fmt, c.result, &d)).ok()) Encode(d, c.result, out);
}

void EvalAddMonths(FnCall& c, Status* st) {
  Value* out = c.out;
  if (c.any_null()) return;
  Value local;
  if (!(*st = AsDate(c.arg(0), &local)).ok()) return;
  DateTime d, r;
  int64_t m = 0;
  if (!(*st = Decode(local, &d)).ok() || !(*st = ArgInt(c.arg(1), &m)).ok()) return;
  if ((*st = AddMonths(d, m, &r)).ok()) Encode(r, TypeKind::kDate, out);
}

void EvalLastDay(FnCall& c, Status* st) {
  Value* out = c.out;
  if (c.any_null()) return;
  Value local;
  if (!(*st = AsDate(c.arg(0), &local)).ok()) return;
  DateTime d;
  if ((*st = Decode(local, &d)).ok()) Encode(LastDay(d), TypeKind::kDate, out);
}

void EvalMonthsBetween(FnCall& c, Status* st) {
  Value* out = c.out;
  if (c.any_null()) return;
  Value a, b;
  if (!(*st = ConvertValue(c.arg(0), TypeKind::kDate, &a)).ok() ||
      !(*st = ConvertValue(c.arg(1), TypeKind::kDate, &b)).ok())
    return;
  DateTime x, y;
  if (!(*st = Decode(a, &x)).ok() || !(*st = Decode(b, &y)).ok()) return;
  int64_t months = (x.year - y.year) * 12 + (x.month - y.month);
  bool both_last = x.day == LastDay(x).day && y.day == LastDay(y).day;
  Number r = Number::FromInt64(months);
  if (x.day != y.day && !both_last) {
    // The rest counts in 31-day months, time of day included.
    int64_t secs = (x.day - y.day) * 86400 + (x.hour - y.hour) * 3600 +
                   (x.minute - y.minute) * 60 + (x.second - y.second);
    Number frac;
    if (!(*st = Number::Div(Number::FromInt64(secs), Number::FromInt64(31 * 86400), &frac)).ok())
      return;
    if (!(*st = Number::Add(r, frac, &r)).ok()) return;
  }
  PutNumber(out, r);
}

void EvalNumToInterval(FnCall& c, Status* st) {
  Value* out = c.out;
  if (c.any_null()) return;
  Number n, scaled;
  if (!(*st = NumberOf(c.arg(0), &n)).ok()) return;
  std::string unit;
  for (char ch : c.arg(1).bytes) unit += static_cast<char>(toupper(static_cast<unsigned char>(ch)));
  while (!unit.empty() && unit.back() == ' ') unit.pop_back();
  if (c.variant == 'Y') {
    int64_t per = unit == "YEAR" ? 12 : unit == "MONTH" ? 1 : 0;
    if (per == 0) {
      *st = OraError(ora::kIllegalArgument);
      return;
    }
    int64_t m = 0;
    if ((*st = Number::Mul(n, Number::FromInt64(per), &scaled)).ok() &&
        (*st = scaled.Trunc(0).ToInt64(&m)).ok())
      PutYm(m, out);
    return;
  }
  int64_t per = unit == "DAY" ? 86400 : unit == "HOUR" ? 3600 : unit == "MINUTE" ? 60
              : unit == "SECOND" ? 1 : 0;
  if (per == 0) {
    *st = OraError(ora::kIllegalArgument);
    return;
  }
  Number ns;
  int64_t total = 0;
  if ((*st = Number::Mul(n, Number::FromInt64(per * kNanos), &ns)).ok() &&
      (*st = ns.Round(0).ToInt64(&total)).ok())
    PutDs(DsFrom(total / kNanos, total % kNanos), out);
}

void EvalExtract(FnCall& c, Status* st) {
  Value* out = c.out;
  if (c.arg(0).null) return;
  *st = Extract(c.arg(0), c.args->back().bytes, out);
}

void EvalTzKey(FnCall& c, Status* /*st*/) {
  Value* out = c.out;
  if (c.arg(0).null) return;
  *out = Value::Of(TypeKind::kRaw, c.arg(0).bytes.substr(0, 11));
}

void EvalSysExtractUtc(FnCall& c, Status* st) {
  Value* out = c.out;
  if (c.arg(0).null) return;
  Value tz;
  if (!(*st = ConvertValue(c.arg(0), TypeKind::kTimestampTZ, &tz)).ok()) return;
  DateTime d;
  if ((*st = Decode(tz, &d)).ok()) {
    DateTime u = ToUtc(d);
    u.tz_offset_minutes = 0;
    u.tz_region = 0;
    Encode(u, TypeKind::kTimestamp, out);
  }
}

}  // namespace tabdb

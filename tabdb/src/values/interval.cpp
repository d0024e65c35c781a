// interval.cpp - INTERVAL YEAR TO MONTH / DAY TO SECOND byte forms,
// literals, precision fitting, display and date arithmetic.
#include "values/interval.h"

#include "util/errors.h"

namespace tabdb {
namespace {

constexpr int64_t kNanos = 1000000000;
constexpr int64_t kBias = int64_t{0x80000000};

uint32_t LoadBe32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
void StoreBe32(uint32_t v, uint8_t* p) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

int64_t Pow10(int n) {
  int64_t r = 1;
  while (n-- > 0) r *= 10;
  return r;
}

IntervalYM NormalizeYM(int64_t total_months) {
  IntervalYM v;
  v.years = total_months / 12;
  v.months = static_cast<int>(total_months % 12);
  return v;
}

// Splits a signed total of seconds and nanoseconds into fields that all
// carry the total's sign.
IntervalDS NormalizeDS(int64_t seconds, int64_t nanos) {
  seconds += nanos / kNanos;
  nanos %= kNanos;
  if (seconds > 0 && nanos < 0) {
    --seconds;
    nanos += kNanos;
  } else if (seconds < 0 && nanos > 0) {
    ++seconds;
    nanos -= kNanos;
  }
  IntervalDS v;
  v.days = seconds / 86400;
  int64_t rem = seconds % 86400;
  v.hours = static_cast<int>(rem / 3600);
  v.minutes = static_cast<int>(rem / 60 % 60);
  v.seconds = static_cast<int>(rem % 60);
  v.nanos = static_cast<int32_t>(nanos);
  return v;
}

int64_t TotalSeconds(const IntervalDS& v) {
  return v.days * 86400 + int64_t{v.hours} * 3600 + int64_t{v.minutes} * 60 + v.seconds;
}

struct Cursor {
  std::string_view s;
  size_t i = 0;
  bool Done() const { return i >= s.size(); }
  char Peek() const { return i < s.size() ? s[i] : '\0'; }
  bool Eat(char c) {
    if (Peek() != c) return false;
    ++i;
    return true;
  }
  // Reads digits; returns how many. Values stop growing past 18 digits
  // (*overflow set), which callers report as a precision error.
  int Digits(int64_t* v, bool* overflow) {
    int n = 0;
    int64_t value = 0;
    while (!Done() && s[i] >= '0' && s[i] <= '9') {
      if (n >= 18) *overflow = true;
      else value = value * 10 + (s[i] - '0');
      ++i;
      ++n;
    }
    *v = value;
    return n;
  }
};

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

int FieldIndex(IntervalField f) { return static_cast<int>(f); }

void AppendPadded(std::string* out, int64_t v, int width) {
  std::string digits = std::to_string(v < 0 ? -v : v);
  for (int k = static_cast<int>(digits.size()); k < width; ++k) out->push_back('0');
  *out += digits;
}

}  // namespace

void EncodeIntervalYM(const IntervalYM& v, uint8_t out[5]) {
  // Normalised first: the byte order of the forms relies on it.
  IntervalYM n = NormalizeYM(v.years * 12 + v.months);
  StoreBe32(static_cast<uint32_t>(n.years + kBias), out);
  out[4] = static_cast<uint8_t>(n.months + 60);
}

Status DecodeIntervalYM(const uint8_t* p, size_t n, IntervalYM* v) {
  if (n != 5) return OraError(ora::kDatetimeInternalError);
  int64_t years = static_cast<int64_t>(LoadBe32(p)) - kBias;
  int months = p[4] - 60;
  if (months < -11 || months > 11) return OraError(ora::kDatetimeInternalError);
  IntervalYM r = NormalizeYM(years * 12 + months);
  if (r.years > kMaxIntervalLeading || r.years < -kMaxIntervalLeading) return OraError(ora::kDatetimeInternalError);
  *v = r;
  return Status::Ok();
}

void EncodeIntervalDS(const IntervalDS& v, uint8_t out[11]) {
  IntervalDS n = NormalizeDS(TotalSeconds(v), v.nanos);
  StoreBe32(static_cast<uint32_t>(n.days + kBias), out);
  out[4] = static_cast<uint8_t>(n.hours + 60);
  out[5] = static_cast<uint8_t>(n.minutes + 60);
  out[6] = static_cast<uint8_t>(n.seconds + 60);
  StoreBe32(static_cast<uint32_t>(int64_t{n.nanos} + kBias), out + 7);
}

Status DecodeIntervalDS(const uint8_t* p, size_t n, IntervalDS* v) {
  if (n != 11) return OraError(ora::kDatetimeInternalError);
  int64_t days = static_cast<int64_t>(LoadBe32(p)) - kBias;
  int hours = p[4] - 60, minutes = p[5] - 60, seconds = p[6] - 60;
  int64_t nanos = static_cast<int64_t>(LoadBe32(p + 7)) - kBias;
  if (hours < -23 || hours > 23 || minutes < -59 || minutes > 59 || seconds < -59 || seconds > 59 ||
      nanos <= -kNanos || nanos >= kNanos)
    return OraError(ora::kDatetimeInternalError);
  IntervalDS f;
  f.days = days;
  f.hours = hours;
  f.minutes = minutes;
  f.seconds = seconds;
  IntervalDS r = NormalizeDS(TotalSeconds(f), nanos);
  if (r.days > kMaxIntervalLeading || r.days < -kMaxIntervalLeading) return OraError(ora::kDatetimeInternalError);
  *v = r;
  return Status::Ok();
}

Status ParseIntervalYM(std::string_view text, IntervalField from, IntervalField to,
                       int leading_precision, IntervalYM* v) {
  bool year_first = from == IntervalField::kYear;
  if ((from != IntervalField::kYear && from != IntervalField::kMonth) ||
      (to != IntervalField::kYear && to != IntervalField::kMonth) ||
      FieldIndex(from) > FieldIndex(to))
    return OraError(ora::kInvalidInterval);
  Cursor c{Trim(text)};
  bool negative = false;
  if (c.Peek() == '+' || c.Peek() == '-') negative = c.s[c.i++] == '-';
  bool overflow = false;
  int64_t lead = 0, months = 0;
  if (c.Digits(&lead, &overflow) == 0) return OraError(ora::kInvalidInterval);
  if (year_first && to == IntervalField::kMonth) {
    if (!c.Eat('-')) return OraError(ora::kInvalidInterval);
    bool ignored = false;
    int got = c.Digits(&months, &ignored);
    if (got == 0 || got > 2) return OraError(ora::kInvalidInterval);
    if (months > 11) return OraError(ora::kInvalidMonth);
  }
  if (!c.Done()) return OraError(ora::kInvalidInterval);
  if (overflow || lead >= Pow10(leading_precision)) return OraError(ora::kIntervalPrecisionTooSmall);
  int64_t total = year_first ? lead * 12 + months : lead;
  IntervalYM r = NormalizeYM(negative ? -total : total);
  if (r.years > kMaxIntervalLeading || r.years < -kMaxIntervalLeading) return OraError(ora::kIntervalPrecisionTooSmall);
  *v = r;
  return Status::Ok();
}

Status ParseIntervalDS(std::string_view text, IntervalField from, IntervalField to,
                       int leading_precision, int fractional_precision, IntervalDS* v) {
  int first = FieldIndex(from), last = FieldIndex(to);
  if (first < FieldIndex(IntervalField::kDay) || last < first) return OraError(ora::kInvalidInterval);
  Cursor c{Trim(text)};
  bool negative = false;
  if (c.Peek() == '+' || c.Peek() == '-') negative = c.s[c.i++] == '-';
  // Field values in the order DAY, HOUR, MINUTE, SECOND.
  int64_t fields[4] = {0, 0, 0, 0};
  bool overflow = false;
  for (int f = first; f <= last; ++f) {
    int slot = f - FieldIndex(IntervalField::kDay);
    if (f != first) {
      if (f == FieldIndex(IntervalField::kHour)) {
        if (c.Peek() != ' ') return OraError(ora::kInvalidInterval);
        while (c.Peek() == ' ') ++c.i;
      } else if (!c.Eat(':')) {
        return OraError(ora::kInvalidInterval);
      }
    }
    bool ignored = false;
    int got = c.Digits(&fields[slot], f == first ? &overflow : &ignored);
    if (got == 0 || (f != first && got > 2)) return OraError(ora::kInvalidInterval);
    if (f != first) {
      if (f == FieldIndex(IntervalField::kHour) && fields[slot] > 23) return OraError(ora::kInvalidHour24);
      if (f == FieldIndex(IntervalField::kMinute) && fields[slot] > 59) return OraError(ora::kInvalidMinute);
      if (f == FieldIndex(IntervalField::kSecond) && fields[slot] > 59) return OraError(ora::kInvalidSecond);
    }
  }
  int64_t nanos = 0;
  if (c.Eat('.')) {
    if (last != FieldIndex(IntervalField::kSecond)) return OraError(ora::kInvalidInterval);
    int digits = 0;
    while (!c.Done() && c.Peek() >= '0' && c.Peek() <= '9') {
      if (++digits > 9) return OraError(ora::kInvalidInterval);
      nanos = nanos * 10 + (c.s[c.i++] - '0');
    }
    if (digits == 0) return OraError(ora::kInvalidInterval);
    nanos *= Pow10(9 - digits);
  }
  if (!c.Done()) return OraError(ora::kInvalidInterval);
  if (overflow) return OraError(ora::kIntervalPrecisionTooSmall);
  static const int64_t kUnit[] = {86400, 3600, 60, 1};
  int lead_slot = first - FieldIndex(IntervalField::kDay);
  // Far beyond any precision; also keeps the sum below from overflowing.
  if (fields[lead_slot] >= Pow10(12)) return OraError(ora::kIntervalPrecisionTooSmall);
  int64_t seconds = fields[0] * 86400 + fields[1] * 3600 + fields[2] * 60 + fields[3];
  IntervalDS r = NormalizeDS(negative ? -seconds : seconds, negative ? -nanos : nanos);
  TABDB_RETURN_IF_ERROR(FitIntervalDS(&r, 9, fractional_precision));
  int64_t total = TotalSeconds(r);
  int64_t lead = (total < 0 ? -total : total) / kUnit[lead_slot];
  if (lead >= Pow10(leading_precision)) return OraError(ora::kIntervalPrecisionTooSmall);
  *v = r;
  return Status::Ok();
}

Status FitIntervalYM(IntervalYM* v, int leading_precision) {
  IntervalYM r = NormalizeYM(v->years * 12 + v->months);
  int64_t years = r.years < 0 ? -r.years : r.years;
  if (years >= Pow10(leading_precision)) return OraError(ora::kIntervalPrecisionTooSmall);
  *v = r;
  return Status::Ok();
}

Status FitIntervalDS(IntervalDS* v, int leading_precision, int fractional_precision) {
  if (fractional_precision < 0) fractional_precision = 0;
  if (fractional_precision > 9) fractional_precision = 9;
  IntervalDS r = NormalizeDS(TotalSeconds(*v), v->nanos);
  int64_t unit = Pow10(9 - fractional_precision);
  int64_t mag = r.nanos < 0 ? -int64_t{r.nanos} : r.nanos;
  int64_t rounded = (mag + unit / 2) / unit * unit;
  if (rounded != mag) {
    int64_t signed_nanos = r.nanos < 0 ? -rounded : rounded;
    r = NormalizeDS(TotalSeconds(r), signed_nanos);
  }
  int64_t days = r.days < 0 ? -r.days : r.days;
  if (days >= Pow10(leading_precision)) return OraError(ora::kIntervalPrecisionTooSmall);
  *v = r;
  return Status::Ok();
}

std::string IntervalYMToString(const IntervalYM& v, int leading_precision) {
  IntervalYM r = NormalizeYM(v.years * 12 + v.months);
  std::string out;
  out.push_back(r.years < 0 || r.months < 0 ? '-' : '+');
  AppendPadded(&out, r.years, leading_precision > 0 ? leading_precision : 1);
  out.push_back('-');
  AppendPadded(&out, r.months, 2);
  return out;
}

std::string IntervalDSToString(const IntervalDS& v, int leading_precision, int fractional_precision) {
  IntervalDS r = NormalizeDS(TotalSeconds(v), v.nanos);
  bool negative = r.days < 0 || r.hours < 0 || r.minutes < 0 || r.seconds < 0 || r.nanos < 0;
  std::string out;
  out.push_back(negative ? '-' : '+');
  AppendPadded(&out, r.days, leading_precision > 0 ? leading_precision : 1);
  out.push_back(' ');
  AppendPadded(&out, r.hours, 2);
  out.push_back(':');
  AppendPadded(&out, r.minutes, 2);
  out.push_back(':');
  AppendPadded(&out, r.seconds, 2);
  if (fractional_precision > 0) {
    if (fractional_precision > 9) fractional_precision = 9;
    out.push_back('.');
    int64_t nanos = r.nanos < 0 ? -int64_t{r.nanos} : r.nanos;
    AppendPadded(&out, nanos / Pow10(9 - fractional_precision), fractional_precision);
  }
  return out;
}

Status AddIntervalYM(const DateTime& d, const IntervalYM& v, DateTime* out) {
  int64_t months = v.years * 12 + v.months;
  if (months > int64_t{20000} * 12 || months < -int64_t{20000} * 12) return OraError(ora::kInvalidYear);
  // The month arithmetic of ADD_MONTHS, without its end-of-month rule.
  DateTime first = d;
  first.day = 1;
  DateTime r;
  TABDB_RETURN_IF_ERROR(AddMonths(first, months, &r));
  if (d.day > DaysInMonth(r.year, r.month)) return OraError(ora::kDateNotValidForMonth);
  r.day = d.day;
  if (r.year == 1582 && r.month == 10 && r.day > 4 && r.day < 15) return OraError(ora::kDateNotValidForMonth);
  *out = r;
  return Status::Ok();
}

Status AddIntervalDS(const DateTime& d, const IntervalDS& v, DateTime* out) {
  return AddSeconds(d, TotalSeconds(v), v.nanos, out);
}

}  // namespace tabdb

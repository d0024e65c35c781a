// datetime.cpp - Oracle's calendar, the DATE/TIMESTAMP byte forms, time
// zone arithmetic against the process's local zone, and ANSI literals.
#include "values/datetime.h"

#include <cstdlib>
#include <ctime>
#include <string>

#include "util/errors.h"

namespace tabdb {
namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kNanosPerSecond = 1000000000;
// Astronomical Julian day numbers of calendar landmarks.
constexpr int64_t kGregorianStart = 2299161;  // 1582-10-15
constexpr int64_t kFirstAdDay = 1721424;      // 0001-01-01
constexpr int64_t kPhantomYearDays = 365;     // Oracle's J gap before 1 AD
constexpr int64_t kMaxJulian = 5373484;       // 9999-12-31
constexpr int64_t kUnixEpochSerial = 2440588;  // 1970-01-01

// Oracle year (no 0) <-> astronomical year (1 BC = 0).
int AstroYear(int year) { return year < 0 ? year + 1 : year; }
int OracleYear(int astro) { return astro <= 0 ? astro - 1 : astro; }

bool InGregorian(int year, int month, int day) {
  if (year != 1582) return year > 1582;
  if (month != 10) return month > 10;
  return day >= 15;
}

// Floor division for the few places where the numerator may be negative.
int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

int64_t JulianCalendarToJdn(int astro, int month, int day) {
  int64_t a = (14 - month) / 12;
  int64_t y = static_cast<int64_t>(astro) + 4800 - a;
  int64_t m = month + 12 * a - 3;
  return day + (153 * m + 2) / 5 + 365 * y + FloorDiv(y, 4) - 32083;
}

int64_t GregorianToJdn(int astro, int month, int day) {
  int64_t a = (14 - month) / 12;
  int64_t y = static_cast<int64_t>(astro) + 4800 - a;
  int64_t m = month + 12 * a - 3;
  return day + (153 * m + 2) / 5 + 365 * y + FloorDiv(y, 4) - FloorDiv(y, 100) +
         FloorDiv(y, 400) - 32045;
}

void JdnToFields(int64_t jdn, int* year, int* month, int* day) {
  int64_t astro, m, e;
  if (jdn >= kGregorianStart) {
    int64_t a = jdn + 32044;
    int64_t b = FloorDiv(4 * a + 3, 146097);
    int64_t c = a - FloorDiv(146097 * b, 4);
    int64_t d = FloorDiv(4 * c + 3, 1461);
    e = c - FloorDiv(1461 * d, 4);
    m = FloorDiv(5 * e + 2, 153);
    astro = 100 * b + d - 4800 + m / 10;
  } else {
    int64_t c = jdn + 32082;
    int64_t d = FloorDiv(4 * c + 3, 1461);
    e = c - FloorDiv(1461 * d, 4);
    m = FloorDiv(5 * e + 2, 153);
    astro = d - 4800 + m / 10;
  }
  *day = static_cast<int>(e - (153 * m + 2) / 5 + 1);
  *month = static_cast<int>(m + 3 - 12 * (m / 10));
  *year = OracleYear(static_cast<int>(astro));
}

// Year and month arithmetic on a gapless month index (astronomical years).
int64_t MonthIndex(int year, int month) { return static_cast<int64_t>(AstroYear(year)) * 12 + (month - 1); }
void FromMonthIndex(int64_t index, int* year, int* month) {
  int64_t astro = FloorDiv(index, 12);
  *month = static_cast<int>(index - astro * 12) + 1;
  *year = OracleYear(static_cast<int>(astro));
}

bool InCutoverGap(int year, int month, int day) {
  return year == 1582 && month == 10 && day > 4 && day < 15;
}

uint32_t LoadBe32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
void StoreBe32(uint32_t v, uint8_t* p) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// Year bytes for any year (also one outside the range, for UTC forms).
void EncodeYear(int year, uint8_t* out) {
  if (year >= 0) {
    out[0] = static_cast<uint8_t>(year / 100 + 100);
    out[1] = static_cast<uint8_t>(year % 100 + 100);
  } else {
    out[0] = static_cast<uint8_t>(100 - (-year) / 100);
    out[1] = static_cast<uint8_t>(100 - (-year) % 100);
  }
}

void EncodeFields(const DateTime& d, uint8_t* out) {
  EncodeYear(d.year, out);
  out[2] = static_cast<uint8_t>(d.month);
  out[3] = static_cast<uint8_t>(d.day);
  out[4] = static_cast<uint8_t>(d.hour + 1);
  out[5] = static_cast<uint8_t>(d.minute + 1);
  out[6] = static_cast<uint8_t>(d.second + 1);
}

// Reads the 7 DATE bytes into fields, checking only the byte structure
// (each byte within what the layout can express).
Status DecodeFieldBytes(const uint8_t* p, DateTime* d) {
  if (p[0] < 1 || p[0] > 200 || p[1] < 1 || p[1] > 199 || p[4] < 1 || p[5] < 1 || p[6] < 1)
    return OraError(ora::kDatetimeInternalError);
  // BC years have both year bytes at or below 100, AD years both above or
  // at 100; mixed halves name no year.
  int century = p[0] - 100, yoc = p[1] - 100;
  if ((century > 0 && yoc < 0) || (century < 0 && yoc > 0)) return OraError(ora::kDatetimeInternalError);
  d->year = century * 100 + yoc;
  d->month = p[2];
  d->day = p[3];
  d->hour = p[4] - 1;
  d->minute = p[5] - 1;
  d->second = p[6] - 1;
  d->nanos = 0;
  d->tz_offset_minutes = 0;
  d->tz_region = 0;
  return Status::Ok();
}

Status ValidateFields(const DateTime& d, bool allow_edge_years) {
  int min_year = allow_edge_years ? kMinYear - 1 : kMinYear;
  int max_year = allow_edge_years ? kMaxYear + 1 : kMaxYear;
  if (d.year < min_year || d.year > max_year || d.year == 0) return OraError(ora::kInvalidYear);
  if (d.month < 1 || d.month > 12) return OraError(ora::kInvalidMonth);
  if (d.day < 1 || d.day > DaysInMonth(d.year, d.month) || InCutoverGap(d.year, d.month, d.day))
    return OraError(ora::kInvalidDayOfMonth);
  if (d.hour < 0 || d.hour > 23) return OraError(ora::kInvalidHour24);
  if (d.minute < 0 || d.minute > 59) return OraError(ora::kInvalidMinute);
  if (d.second < 0 || d.second > 59) return OraError(ora::kInvalidSecond);
  if (d.nanos >= kNanosPerSecond) return OraError(ora::kInvalidFractionalSeconds);
  return Status::Ok();
}

Status ValidateOffset(int offset_minutes) {
  int a = offset_minutes < 0 ? -offset_minutes : offset_minutes;
  if (a / 60 > 15) return OraError(ora::kInvalidTimeZoneHour);
  if (a > kMaxTzOffsetMinutes) return OraError(ora::kInvalidTimeZoneMinute);
  return Status::Ok();
}

// Shifts fields by a signed number of seconds/nanoseconds without range
// checks (years may leave the valid range by the caller's choice).
DateTime Shift(const DateTime& d, int64_t seconds, int64_t nanos) {
  int64_t total_nanos = static_cast<int64_t>(d.nanos) + nanos;
  seconds += FloorDiv(total_nanos, kNanosPerSecond);
  total_nanos -= FloorDiv(total_nanos, kNanosPerSecond) * kNanosPerSecond;
  int64_t day_seconds = d.hour * 3600 + d.minute * 60 + d.second + seconds;
  int64_t days = FloorDiv(day_seconds, kSecondsPerDay);
  day_seconds -= days * kSecondsPerDay;
  DateTime out = d;
  FromDaySerial(DaySerial(d) + days, &out);
  out.hour = static_cast<int>(day_seconds / 3600);
  out.minute = static_cast<int>(day_seconds / 60 % 60);
  out.second = static_cast<int>(day_seconds % 60);
  out.nanos = static_cast<uint32_t>(total_nanos);
  return out;
}

}  // namespace

bool IsLeapYear(int year) {
  int astro = AstroYear(year);
  if (astro % 4 != 0) return false;
  if (astro <= 1582) return true;  // Julian rule up to the cutover year
  return astro % 100 != 0 || astro % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  if (month == 2 && IsLeapYear(year)) return 29;
  return kDays[month - 1];
}

Status ValidateDateTime(const DateTime& d) {
  TABDB_RETURN_IF_ERROR(ValidateFields(d, false));
  return ValidateOffset(d.tz_offset_minutes);
}

void EncodeDate(const DateTime& d, uint8_t out[7]) { EncodeFields(d, out); }

Status DecodeDate(const uint8_t* p, size_t n, DateTime* d) {
  if (n != 7) return OraError(ora::kDatetimeInternalError);
  DateTime v;
  TABDB_RETURN_IF_ERROR(DecodeFieldBytes(p, &v));
  TABDB_RETURN_IF_ERROR(ValidateFields(v, false));
  *d = v;
  return Status::Ok();
}

size_t EncodeTimestamp(const DateTime& d, uint8_t out[11]) {
  EncodeFields(d, out);
  if (d.nanos == 0) return 7;
  StoreBe32(d.nanos, out + 7);
  return 11;
}

Status DecodeTimestamp(const uint8_t* p, size_t n, DateTime* d) {
  if (n != 7 && n != 11) return OraError(ora::kDatetimeInternalError);
  DateTime v;
  TABDB_RETURN_IF_ERROR(DecodeFieldBytes(p, &v));
  if (n == 11) v.nanos = LoadBe32(p + 7);
  TABDB_RETURN_IF_ERROR(ValidateFields(v, false));
  *d = v;
  return Status::Ok();
}

void EncodeTimestampTZ(const DateTime& local, uint8_t out[13]) {
  if (local.tz_region != 0) {
    EncodeFields(local, out);
    StoreBe32(local.nanos, out + 7);
    out[11] = static_cast<uint8_t>(0x80 | ((local.tz_region >> 6) & 0x7F));
    out[12] = static_cast<uint8_t>((local.tz_region & 0x3F) << 2);
    return;
  }
  DateTime utc = ToUtc(local);
  EncodeFields(utc, out);
  StoreBe32(utc.nanos, out + 7);
  int off = local.tz_offset_minutes;
  int sign = off < 0 ? -1 : 1;
  int a = off * sign;
  out[11] = static_cast<uint8_t>(sign * (a / 60) + 20);
  out[12] = static_cast<uint8_t>(sign * (a % 60) + 60);
}

Status DecodeTimestampTZ(const uint8_t* p, size_t n, DateTime* local) {
  if (n != 13) return OraError(ora::kDatetimeInternalError);
  DateTime utc;
  TABDB_RETURN_IF_ERROR(DecodeFieldBytes(p, &utc));
  utc.nanos = LoadBe32(p + 7);
  if (p[11] & 0x80) {
    utc.tz_region = ((p[11] & 0x7F) << 6) | ((p[12] & 0xFC) >> 2);
    if (utc.tz_region == 0) return OraError(ora::kDatetimeInternalError);
    TABDB_RETURN_IF_ERROR(ValidateFields(utc, true));
    *local = utc;
    return Status::Ok();
  }
  int h = p[11] - 20, m = p[12] - 60;
  if (h < -15 || h > 15) return OraError(ora::kInvalidTimeZoneHour);
  if (m < -59 || m > 59) return OraError(ora::kInvalidTimeZoneMinute);
  if ((h < 0 && m > 0) || (h > 0 && m < 0)) return OraError(ora::kDatetimeInternalError);
  // UTC may sit one day outside the range when the local time is inside.
  TABDB_RETURN_IF_ERROR(ValidateFields(utc, true));
  DateTime v = FromUtc(utc, h * 60 + m);
  TABDB_RETURN_IF_ERROR(ValidateFields(v, false));
  *local = v;
  return Status::Ok();
}

int64_t DaySerial(const DateTime& d) {
  int astro = AstroYear(d.year);
  if (InGregorian(d.year, d.month, d.day)) return GregorianToJdn(astro, d.month, d.day);
  return JulianCalendarToJdn(astro, d.month, d.day);
}

void FromDaySerial(int64_t serial, DateTime* d) { JdnToFields(serial, &d->year, &d->month, &d->day); }

int64_t DayNumber(const DateTime& d) {
  int64_t serial = DaySerial(d);
  return d.year < 0 ? serial - kPhantomYearDays : serial;
}

void FromDayNumber(int64_t jdn, DateTime* d) {
  FromDaySerial(jdn >= kFirstAdDay ? jdn : jdn + kPhantomYearDays, d);
}

Status FromJulianDay(int64_t jdn, DateTime* d) {
  if (jdn < 1 || jdn > kMaxJulian) return OraError(ora::kInvalidJulianDate);
  if (jdn < kFirstAdDay && jdn > kFirstAdDay - kPhantomYearDays - 1) return OraError(ora::kInvalidYear);
  FromDayNumber(jdn, d);
  return Status::Ok();
}

int DayOfWeek(const DateTime& d) { return static_cast<int>((DaySerial(d) + 1) % 7) + 1; }

int DayOfYear(const DateTime& d) {
  DateTime jan1 = d;
  jan1.month = 1;
  jan1.day = 1;
  return static_cast<int>(DaySerial(d) - DaySerial(jan1)) + 1;
}

Status AddSeconds(const DateTime& d, int64_t seconds, int32_t nanos, DateTime* out) {
  // Beyond this many seconds the result is out of range whatever d is;
  // the bound also keeps the arithmetic far from overflow.
  constexpr int64_t kLimit = int64_t{6000000} * kSecondsPerDay;
  if (seconds > kLimit || seconds < -kLimit) return OraError(ora::kInvalidYear);
  DateTime r = Shift(d, seconds, nanos);
  if (r.year < kMinYear || r.year > kMaxYear) return OraError(ora::kInvalidYear);
  *out = r;
  return Status::Ok();
}

Status AddMonths(const DateTime& d, int64_t months, DateTime* out) {
  constexpr int64_t kLimit = int64_t{20000} * 12;
  if (months > kLimit || months < -kLimit) return OraError(ora::kInvalidYear);
  DateTime r = d;
  FromMonthIndex(MonthIndex(d.year, d.month) + months, &r.year, &r.month);
  if (r.year < kMinYear || r.year > kMaxYear) return OraError(ora::kInvalidYear);
  int last = DaysInMonth(r.year, r.month);
  if (d.day >= DaysInMonth(d.year, d.month) || d.day > last) r.day = last;
  if (InCutoverGap(r.year, r.month, r.day)) r.day = 15;
  *out = r;
  return Status::Ok();
}

DateTime LastDay(const DateTime& d) {
  DateTime r = d;
  r.day = DaysInMonth(d.year, d.month);
  return r;
}

namespace {

// tzset() reads the zone again (with TZ unset, a stat of /etc/localtime on
// every call): it runs when TZ changed since this thread last ran it, and
// otherwise at most once a second, so that SYSDATE read for every row of a
// statement costs no system call.
// Returns whether it ran tzset().
bool RefreshTimezone() {
  thread_local bool had_tz = false;
  thread_local std::string last_tz;
  thread_local int64_t last_second = -1;
  const char* tz = std::getenv("TZ");
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  bool changed = (tz != nullptr) != had_tz || (tz != nullptr && last_tz != tz);
  if (!changed && now.tv_sec == last_second) return false;
  tzset();
  had_tz = tz != nullptr;
  last_tz = tz ? tz : "";
  last_second = now.tv_sec;
  return true;
}

}  // namespace

int SessionOffsetMinutes(int64_t utc_epoch_seconds) {
  // The offset of the second asked last, kept until the zone is read again:
  // SYSDATE for every row of a statement asks for the same second.
  thread_local int64_t cached_second = 0;
  thread_local int cached_offset = 0;
  thread_local bool cached = false;
  bool refreshed = RefreshTimezone();  // pick up a changed TZ
  if (cached && !refreshed && cached_second == utc_epoch_seconds) return cached_offset;
  time_t t = static_cast<time_t>(utc_epoch_seconds);
  struct tm tm;
  if (localtime_r(&t, &tm) == nullptr) return 0;
  cached = true;
  cached_second = utc_epoch_seconds;
  cached_offset = static_cast<int>(tm.tm_gmtoff / 60);
  return cached_offset;
}

int64_t EpochSeconds(const DateTime& d) {
  return (DaySerial(d) - kUnixEpochSerial) * kSecondsPerDay + d.hour * 3600 + d.minute * 60 +
         d.second;
}

int LocalOffsetMinutes(const DateTime& local) {
  int64_t t = EpochSeconds(local);
  // The offset at the wall-clock time read as UTC is a first guess; one
  // refinement settles every time not skipped or repeated by a DST change.
  int off = SessionOffsetMinutes(t);
  int off2 = SessionOffsetMinutes(t - int64_t{off} * 60);
  if (off2 == off) return off;
  int off3 = SessionOffsetMinutes(t - int64_t{off2} * 60);
  return off3 == off2 ? off2 : off;
}

DateTime NowLocal() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  int off = SessionOffsetMinutes(ts.tv_sec);
  DateTime utc;
  FromDaySerial(kUnixEpochSerial + FloorDiv(ts.tv_sec, kSecondsPerDay), &utc);
  int64_t sod = ts.tv_sec - FloorDiv(ts.tv_sec, kSecondsPerDay) * kSecondsPerDay;
  utc.hour = static_cast<int>(sod / 3600);
  utc.minute = static_cast<int>(sod / 60 % 60);
  utc.second = static_cast<int>(sod % 60);
  utc.nanos = static_cast<uint32_t>(ts.tv_nsec);
  return FromUtc(utc, off);
}

DateTime ToUtc(const DateTime& local_with_offset) {
  DateTime r = Shift(local_with_offset, -int64_t{local_with_offset.tz_offset_minutes} * 60, 0);
  r.tz_offset_minutes = 0;
  return r;
}

DateTime FromUtc(const DateTime& utc, int offset_minutes) {
  DateTime r = Shift(utc, int64_t{offset_minutes} * 60, 0);
  r.tz_offset_minutes = offset_minutes;
  r.tz_region = 0;
  return r;
}

Status RoundFraction(DateTime* d, int digits) {
  if (digits >= 9) return Status::Ok();
  if (digits < 0) digits = 0;
  uint32_t unit = 1;
  for (int i = digits; i < 9; ++i) unit *= 10;
  uint32_t rounded = (d->nanos + unit / 2) / unit * unit;
  if (rounded < kNanosPerSecond) {
    d->nanos = rounded;
    return Status::Ok();
  }
  DateTime r = *d;
  r.nanos = 0;
  TABDB_RETURN_IF_ERROR(AddSeconds(r, 1, 0, &r));
  *d = r;
  return Status::Ok();
}

namespace {

// A cursor over literal text.
struct Scanner {
  std::string_view s;
  size_t i = 0;
  bool Done() const { return i >= s.size(); }
  char Peek() const { return i < s.size() ? s[i] : '\0'; }
  bool Eat(char c) {
    if (Peek() != c) return false;
    ++i;
    return true;
  }
  void SkipSpaces() {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  }
  // 1..max_digits decimal digits.
  bool Number(int max_digits, int* v) {
    int n = 0, value = 0;
    while (n < max_digits && i < s.size() && s[i] >= '0' && s[i] <= '9') {
      value = value * 10 + (s[i] - '0');
      ++i;
      ++n;
    }
    *v = value;
    return n > 0;
  }
};

bool ScanDatePart(Scanner* sc, DateTime* d) {
  bool negative = false;
  if (sc->Peek() == '-' || sc->Peek() == '+') negative = sc->s[sc->i++] == '-';
  int y, m, dd;
  if (!sc->Number(4, &y) || !sc->Eat('-') || !sc->Number(2, &m) || !sc->Eat('-') ||
      !sc->Number(2, &dd))
    return false;
  *d = DateTime();
  d->year = negative ? -y : y;
  d->month = m;
  d->day = dd;
  return true;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

Status ParseDateLiteral(std::string_view text, DateTime* d) {
  Scanner sc{text};
  sc.SkipSpaces();
  DateTime v;
  if (!ScanDatePart(&sc, &v)) return OraError(ora::kLiteralDoesNotMatchFormat);
  sc.SkipSpaces();
  if (!sc.Done()) return OraError(ora::kLiteralDoesNotMatchFormat);
  TABDB_RETURN_IF_ERROR(ValidateDateTime(v));
  *d = v;
  return Status::Ok();
}

Status ParseTimestampLiteral(std::string_view text, DateTime* d, bool* has_zone) {
  Scanner sc{text};
  sc.SkipSpaces();
  DateTime v;
  if (!ScanDatePart(&sc, &v)) return OraError(ora::kLiteralDoesNotMatchFormat);
  size_t before = sc.i;
  sc.SkipSpaces();
  if (sc.i == before) return OraError(ora::kLiteralDoesNotMatchFormat);
  if (!sc.Number(2, &v.hour) || !sc.Eat(':') || !sc.Number(2, &v.minute)) return OraError(ora::kLiteralDoesNotMatchFormat);
  if (sc.Eat(':')) {
    if (!sc.Number(2, &v.second)) return OraError(ora::kLiteralDoesNotMatchFormat);
    if (sc.Eat('.')) {
      uint32_t nanos = 0;
      int digits = 0;
      while (!sc.Done() && sc.Peek() >= '0' && sc.Peek() <= '9') {
        if (++digits > 9) return OraError(ora::kLiteralDoesNotMatchFormat);
        nanos = nanos * 10 + static_cast<uint32_t>(sc.s[sc.i++] - '0');
      }
      for (int k = digits; k < 9; ++k) nanos *= 10;
      v.nanos = nanos;
    }
  }
  sc.SkipSpaces();
  bool zone = false;
  if (!sc.Done()) {
    zone = true;
    char c = sc.Peek();
    if (c == '+' || c == '-') {
      ++sc.i;
      int h, m = 0;
      if (!sc.Number(2, &h)) return OraError(ora::kLiteralDoesNotMatchFormat);
      if (sc.Eat(':') && !sc.Number(2, &m)) return OraError(ora::kLiteralDoesNotMatchFormat);
      if (h > 15) return OraError(ora::kInvalidTimeZoneHour);
      if (m > 59) return OraError(ora::kInvalidTimeZoneMinute);
      v.tz_offset_minutes = (c == '-' ? -1 : 1) * (h * 60 + m);
    } else {
      size_t start = sc.i;
      while (!sc.Done() && sc.Peek() != ' ' && sc.Peek() != '\t') ++sc.i;
      std::string_view name = text.substr(start, sc.i - start);
      if (!EqualsIgnoreCase(name, "UTC") && !EqualsIgnoreCase(name, "GMT") &&
          !EqualsIgnoreCase(name, "Z"))
        return OraError(ora::kTimeZoneRegionNotFound);
      v.tz_offset_minutes = 0;
    }
    sc.SkipSpaces();
    if (!sc.Done()) return OraError(ora::kLiteralDoesNotMatchFormat);
  }
  TABDB_RETURN_IF_ERROR(ValidateDateTime(v));
  *d = v;
  if (has_zone != nullptr) *has_zone = zone;
  return Status::Ok();
}

}  // namespace tabdb

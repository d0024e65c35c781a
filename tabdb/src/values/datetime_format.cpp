// datetime_format.cpp - compiling Oracle datetime format models, and
// formatting (TO_CHAR) and parsing (TO_DATE/TO_TIMESTAMP) with them.
#include "values/datetime_format.h"

#include <cstring>

#include "util/errors.h"

namespace tabdb {
namespace {

enum El : uint8_t {
  kText, kPunct, kFM, kFX,
  kYYYY, kSYYYY, kYYY, kYY, kY, kYcYYY, kRRRR, kRR,
  kIYYY, kIYY, kIY, kI, kCC, kSCC, kQ,
  kMM, kMON, kMONTH, kRM, kWW, kW, kIW,
  kDDD, kDD, kD, kDY, kDAY, kJ,
  kHH, kHH12, kHH24, kMI, kSS, kSSSSS, kFF, kX,
  kAM, kAD, kTZH, kTZM, kTZR, kTZD,
  kElCount
};

struct Keyword {
  const char* name;
  El el;
  uint8_t digits;
  bool dotted;
};

constexpr Keyword kKeywords[] = {
    {"SYYYY", kSYYYY, 0, false}, {"Y,YYY", kYcYYY, 0, false}, {"YYYY", kYYYY, 0, false},
    {"YYY", kYYY, 0, false},     {"YY", kYY, 0, false},       {"Y", kY, 0, false},
    {"RRRR", kRRRR, 0, false},   {"RR", kRR, 0, false},       {"RM", kRM, 0, false},
    {"IYYY", kIYYY, 0, false},   {"IYY", kIYY, 0, false},     {"IY", kIY, 0, false},
    {"IW", kIW, 0, false},       {"I", kI, 0, false},         {"SCC", kSCC, 0, false},
    {"CC", kCC, 0, false},       {"Q", kQ, 0, false},         {"MONTH", kMONTH, 0, false},
    {"MON", kMON, 0, false},     {"MM", kMM, 0, false},       {"MI", kMI, 0, false},
    {"WW", kWW, 0, false},       {"W", kW, 0, false},         {"DDD", kDDD, 0, false},
    {"DAY", kDAY, 0, false},     {"DD", kDD, 0, false},       {"DY", kDY, 0, false},
    {"D", kD, 0, false},         {"J", kJ, 0, false},         {"HH24", kHH24, 0, false},
    {"HH12", kHH12, 0, false},   {"HH", kHH, 0, false},       {"SSSSS", kSSSSS, 0, false},
    {"SS", kSS, 0, false},       {"FF1", kFF, 1, false},      {"FF2", kFF, 2, false},
    {"FF3", kFF, 3, false},      {"FF4", kFF, 4, false},      {"FF5", kFF, 5, false},
    {"FF6", kFF, 6, false},      {"FF7", kFF, 7, false},      {"FF8", kFF, 8, false},
    {"FF9", kFF, 9, false},      {"FF", kFF, 0, false},       {"X", kX, 0, false},
    {"A.M.", kAM, 0, true},      {"P.M.", kAM, 0, true},      {"AM", kAM, 0, false},
    {"PM", kAM, 0, false},       {"A.D.", kAD, 0, true},      {"B.C.", kAD, 0, true},
    {"AD", kAD, 0, false},       {"BC", kAD, 0, false},       {"TZH", kTZH, 0, false},
    {"TZM", kTZM, 0, false},     {"TZR", kTZR, 0, false},     {"TZD", kTZD, 0, false},
    {"FM", kFM, 0, false},       {"FX", kFX, 0, false},
};

const char* const kMonthNames[] = {"JANUARY", "FEBRUARY", "MARCH",     "APRIL",   "MAY",      "JUNE",
                                   "JULY",    "AUGUST",   "SEPTEMBER", "OCTOBER", "NOVEMBER", "DECEMBER"};
const char* const kDayNames[] = {"SUNDAY",   "MONDAY", "TUESDAY", "WEDNESDAY",
                                 "THURSDAY", "FRIDAY", "SATURDAY"};
const char* const kRomanMonths[] = {"I", "II", "III", "IV", "V", "VI", "VII", "VIII", "IX", "X", "XI", "XII"};
constexpr size_t kNameWidth = 9;  // SEPTEMBER, WEDNESDAY
constexpr size_t kRomanWidth = 4;  // VIII

enum LetterCase : uint8_t { kUpper = 0, kInitcap = 1, kLower = 2 };

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
// Bytes above 0x7F (text in a multibyte charset) count as alphanumeric so
// that they are never skipped as punctuation.
bool IsAlnum(char c) { return IsDigit(c) || IsAlpha(c) || static_cast<unsigned char>(c) >= 0x80; }

bool StartsWithIgnoreCase(std::string_view s, size_t pos, std::string_view word) {
  if (s.size() - pos < word.size()) return false;
  for (size_t k = 0; k < word.size(); ++k)
    if (Upper(s[pos + k]) != Upper(word[k])) return false;
  return true;
}

bool IsNumericEl(uint8_t el) {
  switch (el) {
    case kYYYY: case kSYYYY: case kYYY: case kYY: case kY: case kYcYYY: case kRRRR: case kRR:
    case kIYYY: case kIYY: case kIY: case kI: case kCC: case kSCC: case kQ: case kMM: case kWW:
    case kW: case kIW: case kDDD: case kDD: case kD: case kJ: case kHH: case kHH12: case kHH24:
    case kMI: case kSS: case kSSSSS: case kFF: case kTZH: case kTZM:
      return true;
    default:
      return false;
  }
}

bool IsYearEl(uint8_t el) {
  return el == kYYYY || el == kSYYYY || el == kYYY || el == kYY || el == kY || el == kYcYYY ||
         el == kRRRR || el == kRR;
}
bool IsMonthEl(uint8_t el) { return el == kMM || el == kMON || el == kMONTH || el == kRM; }
bool IsHourEl(uint8_t el) { return el == kHH || el == kHH12 || el == kHH24; }
bool IsWeekdayEl(uint8_t el) { return el == kD || el == kDY || el == kDAY; }
// Elements whose absence at the end of the text is an error (ORA-01840).
bool IsDateEl(uint8_t el) { return IsYearEl(el) || IsMonthEl(el) || el == kDD || el == kDDD || el == kJ; }
bool IsZoneEl(uint8_t el) { return el == kTZH || el == kTZM || el == kTZR || el == kTZD; }
bool IsOutputOnlyEl(uint8_t el) {
  return el == kIYYY || el == kIYY || el == kIY || el == kI || el == kCC || el == kSCC || el == kQ ||
         el == kWW || el == kW || el == kIW;
}

LetterCase CaseOf(std::string_view element) {
  char first = 0, second = 0;
  for (char c : element) {
    if (!IsAlpha(c)) continue;
    if (first == 0) {
      first = c;
    } else {
      second = c;
      break;
    }
  }
  if (first >= 'a' && first <= 'z') return kLower;
  if (second >= 'a' && second <= 'z') return kInitcap;
  return kUpper;
}

void AppendCased(std::string* out, std::string_view upper, LetterCase lc) {
  for (size_t k = 0; k < upper.size(); ++k) {
    char c = upper[k];
    if (lc == kLower || (lc == kInitcap && k > 0)) c = Lower(c);
    out->push_back(c);
  }
}

void AppendPadded(std::string* out, std::string_view upper, LetterCase lc, size_t width, bool fill) {
  AppendCased(out, upper, lc);
  if (!fill)
    for (size_t k = upper.size(); k < width; ++k) out->push_back(' ');
}

void AppendNumber(std::string* out, int64_t v, int width, bool fill) {
  char buf[24];
  int len = 0;
  uint64_t u = static_cast<uint64_t>(v < 0 ? -v : v);
  do {
    buf[len++] = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u != 0);
  if (!fill)
    while (len < width) buf[len++] = '0';
  while (len > 0) out->push_back(buf[--len]);
}

void AppendOrdinal(std::string* out, int64_t v, bool upper) {
  int64_t last2 = v % 100, last = v % 10;
  const char* s = "TH";
  if (last2 < 11 || last2 > 13) {
    if (last == 1) s = "ST";
    else if (last == 2) s = "ND";
    else if (last == 3) s = "RD";
  }
  AppendCased(out, s, upper ? kUpper : kLower);
}

// ISO 8601 year and week of a date (weeks start on Monday; week 1 holds
// the year's first Thursday).
void IsoWeek(const DateTime& d, int* iso_year, int* week) {
  int64_t serial = DaySerial(d);
  int64_t monday_based = serial % 7;  // serial 0 was a Monday
  int64_t thursday = serial - monday_based + 3;
  DateTime t = d;
  FromDaySerial(thursday, &t);
  *iso_year = t.year;
  *week = (DayOfYear(t) - 1) / 7 + 1;
}

}  // namespace

const char* DefaultDateTimeFormat(TypeKind kind) {
  switch (kind) {
    case TypeKind::kTimestamp:
    case TypeKind::kTimestampLTZ:
      return kNlsTimestampFormat;
    case TypeKind::kTimestampTZ:
      return kNlsTimestampTzFormat;
    default:
      return kNlsDateFormat;
  }
}

Status DateTimeFormat::Compile(std::string_view fmt, TypeKind kind, DateTimeFormat* out) {
  DateTimeFormat f;
  f.kind_ = kind;
  f.text_ = std::string(fmt);
  std::string_view s = f.text_;
  bool fill = false, exact = false;
  bool has_time_zone = kind == TypeKind::kTimestampTZ || kind == TypeKind::kTimestampLTZ;
  size_t i = 0;
  while (i < s.size()) {
    Token tk;
    char c = s[i];
    if (c == '"') {
      size_t end = s.find('"', i + 1);
      if (end == std::string_view::npos) return OraError(ora::kDateFormatNotRecognized);
      tk.el = kText;
      tk.pos = static_cast<uint32_t>(i + 1);
      tk.len = static_cast<uint32_t>(end - i - 1);
      tk.exact = exact;
      f.tokens_.push_back(tk);
      i = end + 1;
      continue;
    }
    if (!IsAlnum(c)) {
      size_t start = i;
      while (i < s.size() && !IsAlnum(s[i]) && s[i] != '"') ++i;
      tk.el = kPunct;
      tk.pos = static_cast<uint32_t>(start);
      tk.len = static_cast<uint32_t>(i - start);
      tk.exact = exact;
      f.tokens_.push_back(tk);
      continue;
    }
    const Keyword* best = nullptr;
    size_t best_len = 0;
    for (const Keyword& kw : kKeywords) {
      size_t len = std::strlen(kw.name);
      if (len > best_len && StartsWithIgnoreCase(s, i, kw.name)) {
        best = &kw;
        best_len = len;
      }
    }
    if (best == nullptr) return OraError(ora::kDateFormatNotRecognized);
    tk.el = best->el;
    tk.digits = best->digits;
    tk.dotted = best->dotted;
    tk.letter_case = CaseOf(s.substr(i, best_len));
    i += best_len;
    if (tk.el == kFM) {
      fill = !fill;
      continue;
    }
    if (tk.el == kFX) {
      exact = !exact;
      continue;
    }
    if (tk.el == kFF && kind == TypeKind::kDate) return OraError(ora::kDateFormatNotRecognized);
    if (IsZoneEl(tk.el) && !has_time_zone) return OraError(ora::kDateFormatNotRecognized);
    if (IsNumericEl(tk.el) && StartsWithIgnoreCase(s, i, "TH")) {
      tk.th = true;
      tk.th_upper = s[i] == 'T';
      i += 2;
    }
    tk.fill = fill;
    tk.exact = exact;
    f.tokens_.push_back(tk);
  }
  *out = std::move(f);
  return Status::Ok();
}

Status DateTimeFormat::Format(const DateTime& d, int fractional_digits, std::string* out) const {
  if (d.month < 1 || d.month > 12) return OraError(ora::kInvalidMonth);  // names are looked up by month
  std::string r;
  r.reserve(text_.size() + 16);
  int abs_year = d.year < 0 ? -d.year : d.year;
  bool zone_is_region = d.tz_region != 0;
  for (const Token& tk : tokens_) {
    LetterCase lc = static_cast<LetterCase>(tk.letter_case);
    bool fill = tk.fill;
    int64_t num = -1;  // numeric elements set this for the TH suffix
    switch (tk.el) {
      case kText:
      case kPunct:
        r += TextOf(tk);
        break;
      case kYYYY:
      case kRRRR:
        AppendNumber(&r, num = abs_year, 4, fill);
        break;
      case kSYYYY:
        if (d.year < 0) r.push_back('-');
        else if (!fill) r.push_back(' ');
        AppendNumber(&r, num = abs_year, 4, fill);
        break;
      case kYYY:
        AppendNumber(&r, num = abs_year % 1000, 3, fill);
        break;
      case kYY:
      case kRR:
        AppendNumber(&r, num = abs_year % 100, 2, fill);
        break;
      case kY:
        AppendNumber(&r, num = abs_year % 10, 1, fill);
        break;
      case kYcYYY:
        AppendNumber(&r, abs_year / 1000, 1, fill);
        r.push_back(',');
        AppendNumber(&r, abs_year % 1000, 3, false);
        num = abs_year;
        break;
      case kIYYY:
      case kIYY:
      case kIY:
      case kI: {
        int iy, week;
        IsoWeek(d, &iy, &week);
        int a = iy < 0 ? -iy : iy;
        if (tk.el == kIYYY) AppendNumber(&r, num = a, 4, fill);
        else if (tk.el == kIYY) AppendNumber(&r, num = a % 1000, 3, fill);
        else if (tk.el == kIY) AppendNumber(&r, num = a % 100, 2, fill);
        else AppendNumber(&r, num = a % 10, 1, fill);
        break;
      }
      case kCC:
        AppendNumber(&r, num = (abs_year + 99) / 100, 2, fill);
        break;
      case kSCC:
        if (d.year < 0) r.push_back('-');
        else if (!fill) r.push_back(' ');
        AppendNumber(&r, num = (abs_year + 99) / 100, 2, fill);
        break;
      case kQ:
        AppendNumber(&r, num = (d.month - 1) / 3 + 1, 1, fill);
        break;
      case kMM:
        AppendNumber(&r, num = d.month, 2, fill);
        break;
      case kMON:
        AppendCased(&r, std::string_view(kMonthNames[d.month - 1], 3), lc);
        break;
      case kMONTH:
        AppendPadded(&r, kMonthNames[d.month - 1], lc, kNameWidth, fill);
        break;
      case kRM:
        AppendPadded(&r, kRomanMonths[d.month - 1], lc == kUpper ? kUpper : kLower, kRomanWidth, fill);
        break;
      case kWW:
        AppendNumber(&r, num = (DayOfYear(d) - 1) / 7 + 1, 2, fill);
        break;
      case kW:
        AppendNumber(&r, num = (d.day - 1) / 7 + 1, 1, fill);
        break;
      case kIW: {
        int iy, week;
        IsoWeek(d, &iy, &week);
        AppendNumber(&r, num = week, 2, fill);
        break;
      }
      case kDDD:
        AppendNumber(&r, num = DayOfYear(d), 3, fill);
        break;
      case kDD:
        AppendNumber(&r, num = d.day, 2, fill);
        break;
      case kD:
        AppendNumber(&r, num = DayOfWeek(d), 1, fill);
        break;
      case kDY:
        AppendCased(&r, std::string_view(kDayNames[DayOfWeek(d) - 1], 3), lc);
        break;
      case kDAY:
        AppendPadded(&r, kDayNames[DayOfWeek(d) - 1], lc, kNameWidth, fill);
        break;
      case kJ:
        AppendNumber(&r, num = DayNumber(d), 7, fill);
        break;
      case kHH:
      case kHH12:
        AppendNumber(&r, num = (d.hour % 12 == 0) ? 12 : d.hour % 12, 2, fill);
        break;
      case kHH24:
        AppendNumber(&r, num = d.hour, 2, fill);
        break;
      case kMI:
        AppendNumber(&r, num = d.minute, 2, fill);
        break;
      case kSS:
        AppendNumber(&r, num = d.second, 2, fill);
        break;
      case kSSSSS:
        AppendNumber(&r, num = d.hour * 3600 + d.minute * 60 + d.second, 5, fill);
        break;
      case kFF: {
        int digits = tk.digits != 0 ? tk.digits : fractional_digits;
        if (digits < 0) digits = 0;
        if (digits > 9) digits = 9;
        char buf[10];
        uint32_t v = d.nanos;
        for (int k = 8; k >= 0; --k) {
          buf[k] = static_cast<char>('0' + v % 10);
          v /= 10;
        }
        r.append(buf, static_cast<size_t>(digits));
        break;
      }
      case kX:
        r.push_back('.');
        break;
      case kAM: {
        bool pm = d.hour >= 12;
        AppendCased(&r, tk.dotted ? (pm ? "P.M." : "A.M.") : (pm ? "PM" : "AM"), lc);
        break;
      }
      case kAD: {
        bool bc = d.year < 0;
        AppendCased(&r, tk.dotted ? (bc ? "B.C." : "A.D.") : (bc ? "BC" : "AD"), lc);
        break;
      }
      case kTZH: {
        int off = zone_is_region ? 0 : d.tz_offset_minutes;
        r.push_back(off < 0 ? '-' : '+');
        AppendNumber(&r, (off < 0 ? -off : off) / 60, 2, fill);
        break;
      }
      case kTZM: {
        int off = zone_is_region ? 0 : d.tz_offset_minutes;
        AppendNumber(&r, (off < 0 ? -off : off) % 60, 2, fill);
        break;
      }
      case kTZR: {
        // Region names need Oracle's zone file, which is not available;
        // values carrying a region id hold UTC fields and show as UTC.
        if (zone_is_region) {
          r += "UTC";
          break;
        }
        int off = d.tz_offset_minutes;
        r.push_back(off < 0 ? '-' : '+');
        int a = off < 0 ? -off : off;
        AppendNumber(&r, a / 60, 2, false);
        r.push_back(':');
        AppendNumber(&r, a % 60, 2, false);
        break;
      }
      case kTZD:
        if (zone_is_region) r += "UTC";
        break;
      default:
        break;
    }
    if (tk.th && num >= 0) AppendOrdinal(&r, num, tk.th_upper);
  }
  *out = std::move(r);
  return Status::Ok();
}

namespace {

// Fields gathered from the text by Parse.
struct Parsed {
  bool year_set = false;
  int64_t year = 0;
  uint8_t year_el = 0;
  bool year_full = false;  // YY/RR given four digits
  bool bc_set = false, bc = false;
  bool month_set = false;
  int month = 0;
  bool day_set = false;
  int day = 0;
  bool ddd_set = false;
  int ddd = 0;
  bool j_set = false;
  int64_t j = 0;
  bool hour_set = false, hour12 = false;
  int hour = 0;
  bool meridian_set = false, pm = false;
  bool minute_set = false;
  int minute = 0;
  bool second_set = false;
  int second = 0;
  bool sssss_set = false;
  int sssss = 0;
  uint32_t nanos = 0;
  bool zone_set = false;
  int tzh = 0, tzm = 0;
  bool tz_negative = false;
  bool tzr_set = false;
  int tzr = 0;
};

class TextCursor {
 public:
  explicit TextCursor(std::string_view s) : s_(s) {}
  bool Done() const { return i_ >= s_.size(); }
  char Peek(size_t ahead = 0) const { return i_ + ahead < s_.size() ? s_[i_ + ahead] : '\0'; }
  size_t pos() const { return i_; }
  void Advance(size_t n) { i_ += n; }
  std::string_view rest() const { return s_.substr(i_); }
  void SkipSpaces() {
    while (!Done() && IsSpace(s_[i_])) ++i_;
  }
  // Skips punctuation and blanks; a sign directly before a digit is kept
  // when the next element takes one.
  void SkipPunct(bool keep_sign) {
    while (!Done() && !IsAlnum(s_[i_])) {
      if (keep_sign && (s_[i_] == '-' || s_[i_] == '+') && IsDigit(Peek(1))) return;
      ++i_;
    }
  }
  size_t DigitRun() const {
    size_t k = i_;
    while (k < s_.size() && IsDigit(s_[k])) ++k;
    return k - i_;
  }
  // Reads up to max_digits digits; returns how many were read.
  int Digits(int max_digits, int64_t* v) {
    int n = 0;
    int64_t value = 0;
    while (n < max_digits && !Done() && IsDigit(s_[i_])) {
      value = value * 10 + (s_[i_] - '0');
      ++i_;
      ++n;
    }
    *v = value;
    return n;
  }
  bool MatchWord(std::string_view word) {
    if (!StartsWithIgnoreCase(s_, i_, word)) return false;
    i_ += word.size();
    return true;
  }
  // Index of the matched name: full names first, then three-letter forms.
  int MatchName(const char* const* names, int count) {
    for (int k = 0; k < count; ++k)
      if (MatchWord(names[k])) return k;
    for (int k = 0; k < count; ++k)
      if (MatchWord(std::string_view(names[k], 3))) return k;
    return -1;
  }

 private:
  std::string_view s_;
  size_t i_ = 0;
};

int Width(uint8_t el) {
  switch (el) {
    case kYYYY: case kSYYYY: case kRRRR: case kYcYYY: return 4;
    case kYYY: case kDDD: return 3;
    case kY: case kD: return 1;
    case kSSSSS: return 5;
    case kJ: return 7;
    case kFF: return 9;
    default: return 2;
  }
}

bool TakesSign(uint8_t el) { return el == kSYYYY || el == kTZH || el == kTZR; }

// Checks combinations of elements that Oracle refuses in input models.
Status CheckInputModel(const std::vector<DateTimeFormat::Token>& tokens) {
  int count[kElCount] = {};
  int years = 0, months = 0, hours = 0, weekdays = 0;
  for (const auto& tk : tokens) {
    uint8_t el = tk.el;
    if (el == kText || el == kPunct || el == kFM || el == kFX || el == kX) continue;
    if (IsOutputOnlyEl(el)) return OraError(ora::kFormatCodeNotForInput);
    if (++count[el] > 1) return OraError(ora::kFormatCodeTwice);
    if (IsYearEl(el) && ++years > 1) return OraError(ora::kYearTwice);
    if (IsMonthEl(el) && ++months > 1) return OraError(ora::kMonthTwice);
    if (IsHourEl(el) && ++hours > 1) return OraError(ora::kHourTwice);
    if (IsWeekdayEl(el) && ++weekdays > 1) return OraError(ora::kDayOfWeekTwice);
  }
  if (count[kHH24] && count[kAM]) return OraError(ora::kHh24PrecludesMeridian);
  if (count[kJ] && count[kDDD]) return OraError(ora::kJulianPrecludesDayOfYear);
  return Status::Ok();
}

int RomanMonth(TextCursor* c) {
  static const int kOrder[] = {7, 2, 11, 6, 3, 8, 1, 10, 5, 0, 9, 4};  // longest first
  for (int k : kOrder)
    if (c->MatchWord(kRomanMonths[k])) return k;
  return -1;
}

// Zone text for TZR: +hh:mi / -hh:mi, or UTC, GMT, Z.
Status ParseZoneRegion(TextCursor* c, int* offset_minutes) {
  char sign = c->Peek();
  if (sign == '+' || sign == '-') {
    c->Advance(1);
    int64_t h, m = 0;
    if (c->Digits(2, &h) == 0) return OraError(ora::kNonNumericCharacter);
    if (c->Peek() == ':') {
      c->Advance(1);
      if (c->Digits(2, &m) == 0) return OraError(ora::kNonNumericCharacter);
    }
    if (h > 15) return OraError(ora::kInvalidTimeZoneHour);
    if (m > 59) return OraError(ora::kInvalidTimeZoneMinute);
    *offset_minutes = static_cast<int>((sign == '-' ? -1 : 1) * (h * 60 + m));
    return Status::Ok();
  }
  size_t len = 0;
  std::string_view rest = c->rest();
  while (len < rest.size() && (IsAlnum(rest[len]) || rest[len] == '/' || rest[len] == '_')) ++len;
  std::string_view name = rest.substr(0, len);
  if (len == 0) return OraError(ora::kInvalidTimeZone);
  bool utc = (len == 3 && (StartsWithIgnoreCase(name, 0, "UTC") || StartsWithIgnoreCase(name, 0, "GMT"))) ||
             (len == 1 && Upper(name[0]) == 'Z');
  if (!utc) return OraError(ora::kTimeZoneRegionNotFound);
  c->Advance(len);
  *offset_minutes = 0;
  return Status::Ok();
}

}  // namespace

Status DateTimeFormat::Parse(std::string_view text, const DateTime& now, DateTime* d) const {
  TABDB_RETURN_IF_ERROR(CheckInputModel(tokens_));
  Parsed p;
  TextCursor c(text);
  const size_t ntok = tokens_.size();
  for (size_t t = 0; t < ntok; ++t) {
    const Token& tk = tokens_[t];
    const uint8_t el = tk.el;
    if (el == kFM || el == kFX) continue;
    bool next_signed = t + 1 < ntok && TakesSign(tokens_[t + 1].el);
    if (el == kPunct || el == kText || el == kX) {
      std::string_view lit = el == kX ? std::string_view(".") : TextOf(tk);
      if (tk.exact) {
        if (c.rest().substr(0, lit.size()) != lit) return OraError(ora::kLiteralDoesNotMatchFormat);
        c.Advance(lit.size());
        continue;
      }
      bool has_alnum = false;
      for (char ch : lit) has_alnum |= IsAlnum(ch);
      if (el == kText && has_alnum) {
        c.SkipSpaces();
        if (c.Done()) continue;
        if (!c.MatchWord(lit)) return OraError(ora::kLiteralDoesNotMatchFormat);
        continue;
      }
      c.SkipPunct(next_signed);
      continue;
    }

    // A value element.
    if (!tk.exact) {
      if (IsNumericEl(el)) c.SkipPunct(TakesSign(el));
      else c.SkipSpaces();
    }
    if (c.Done()) {
      for (size_t k = t; k < ntok; ++k)
        if (IsDateEl(tokens_[k].el)) return OraError(ora::kInputTooShortForFormat);
      break;
    }

    if (IsNumericEl(el)) {
      bool negative = false;
      // SYYYY prints a blank for AD years; FX text keeps it.
      if (TakesSign(el) && (c.Peek() == '-' || c.Peek() == '+' || (el == kSYYYY && c.Peek() == ' '))) {
        negative = c.Peek() == '-';
        c.Advance(1);
      }
      int width = el == kFF && tk.digits != 0 ? tk.digits : Width(el);
      bool full_year = false;
      if ((el == kYY || el == kRR) && !tk.exact) {
        // A three- or four-digit year in place of YY/RR is a full year,
        // unless the next element continues the same digit run.
        size_t run = c.DigitRun();
        bool next_numeric = t + 1 < ntok && IsNumericEl(tokens_[t + 1].el);
        if ((run == 3 || run == 4) && !next_numeric) {
          width = static_cast<int>(run);
          full_year = true;
        }
      }
      int64_t v = 0;
      int got = c.Digits(width, &v);
      if (el == kYcYYY && got == 1 && c.Peek() == ',') {
        c.Advance(1);
        int64_t low;
        int more = c.Digits(3, &low);
        if (more == 0) return OraError(ora::kNonNumericCharacter);
        v = v * 1000 + low;
        got += more;
      }
      if (got == 0) {
        if (el == kMM) {
          // MM accepts a month name.
          int k = c.MatchName(kMonthNames, 12);
          if (k < 0) return OraError(ora::kInvalidMonth);
          p.month_set = true;
          p.month = k + 1;
          continue;
        }
        return OraError(ora::kNonNumericCharacter);
      }
      if (tk.exact && !tk.fill && got != width && el != kFF) return OraError(ora::kNumericLengthMismatch);
      if (tk.th) {
        for (const char* suffix : {"ST", "ND", "RD", "TH"})
          if (c.MatchWord(suffix)) break;
      }
      switch (el) {
        case kYYYY: case kSYYYY: case kYYY: case kYY: case kY: case kYcYYY: case kRRRR: case kRR:
          p.year_set = true;
          p.year = negative ? -v : v;
          p.year_el = el;
          p.year_full = full_year;
          if (v == 0 && (el == kYYYY || el == kSYYYY || el == kRRRR || el == kYcYYY || full_year))
            return OraError(ora::kInvalidYear);
          break;
        case kMM:
          if (v < 1 || v > 12) return OraError(ora::kInvalidMonth);
          p.month_set = true;
          p.month = static_cast<int>(v);
          break;
        case kDD:
          if (v < 1 || v > 31) return OraError(ora::kInvalidDayOfMonth);
          p.day_set = true;
          p.day = static_cast<int>(v);
          break;
        case kDDD:
          if (v < 1 || v > 366) return OraError(ora::kInvalidDayOfYear);
          p.ddd_set = true;
          p.ddd = static_cast<int>(v);
          break;
        case kD:
          if (v < 1 || v > 7) return OraError(ora::kInvalidDayOfWeek);
          break;
        case kJ:
          p.j_set = true;
          p.j = v;
          break;
        case kHH:
        case kHH12:
          if (v < 1 || v > 12) return OraError(ora::kInvalidHour12);
          p.hour_set = p.hour12 = true;
          p.hour = static_cast<int>(v);
          break;
        case kHH24:
          if (v > 23) return OraError(ora::kInvalidHour24);
          p.hour_set = true;
          p.hour = static_cast<int>(v);
          break;
        case kMI:
          if (v > 59) return OraError(ora::kInvalidMinute);
          p.minute_set = true;
          p.minute = static_cast<int>(v);
          break;
        case kSS:
          if (v > 59) return OraError(ora::kInvalidSecond);
          p.second_set = true;
          p.second = static_cast<int>(v);
          break;
        case kSSSSS:
          if (v > 86399) return OraError(ora::kInvalidSecondsInDay);
          p.sssss_set = true;
          p.sssss = static_cast<int>(v);
          break;
        case kFF: {
          int64_t scaled = v;
          for (int k = got; k < 9; ++k) scaled *= 10;
          p.nanos = static_cast<uint32_t>(scaled);
          break;
        }
        case kTZH:
          if (v > 15) return OraError(ora::kInvalidTimeZoneHour);
          p.zone_set = true;
          p.tzh = static_cast<int>(v);
          p.tz_negative = negative;
          break;
        case kTZM:
          if (v > 59) return OraError(ora::kInvalidTimeZoneMinute);
          p.zone_set = true;
          p.tzm = static_cast<int>(v);
          break;
        default:
          break;
      }
      continue;
    }

    switch (el) {
      case kMON:
      case kMONTH: {
        int k = c.MatchName(kMonthNames, 12);
        if (k < 0) return OraError(ora::kInvalidMonth);
        p.month_set = true;
        p.month = k + 1;
        break;
      }
      case kRM: {
        int k = RomanMonth(&c);
        if (k < 0) return OraError(ora::kInvalidMonth);
        p.month_set = true;
        p.month = k + 1;
        break;
      }
      case kDY:
      case kDAY:
        if (c.MatchName(kDayNames, 7) < 0) return OraError(ora::kInvalidDayOfWeek);
        break;
      case kAM:
        if (c.MatchWord("A.M.") || c.MatchWord("AM")) {
          p.pm = false;
        } else if (c.MatchWord("P.M.") || c.MatchWord("PM")) {
          p.pm = true;
        } else {
          return OraError(ora::kMeridianRequired);
        }
        p.meridian_set = true;
        break;
      case kAD:
        if (c.MatchWord("A.D.") || c.MatchWord("AD")) {
          p.bc = false;
        } else if (c.MatchWord("B.C.") || c.MatchWord("BC")) {
          p.bc = true;
        } else {
          return OraError(ora::kEraRequired);
        }
        p.bc_set = true;
        break;
      case kTZR:
        TABDB_RETURN_IF_ERROR(ParseZoneRegion(&c, &p.tzr));
        p.tzr_set = true;
        break;
      case kTZD:
        while (!c.Done() && IsAlpha(c.Peek())) c.Advance(1);
        break;
      default:
        break;
    }
  }
  c.SkipSpaces();
  if (!c.Done()) return OraError(ora::kFormatEndsBeforeInput);

  // Assemble the value.
  DateTime v;
  int now_year = now.year > 0 ? now.year : 2000;
  if (p.year_set) {
    int64_t y = p.year;
    switch (p.year_el) {
      case kYY:
        if (!p.year_full) y = now_year / 100 * 100 + y;
        break;
      case kYYY:
        y = now_year / 1000 * 1000 + y;
        break;
      case kY:
        y = now_year / 10 * 10 + y;
        break;
      case kRR:
        if (!p.year_full) {
          int century = now_year / 100 * 100, cy = now_year % 100;
          if (y < 50) y = century + y + (cy >= 50 ? 100 : 0);
          else y = century + y - (cy < 50 ? 100 : 0);
        }
        break;
      default:
        break;
    }
    if (p.bc_set && p.bc) y = y < 0 ? y : -y;
    if (y == 0 || y < kMinYear || y > kMaxYear) return OraError(ora::kInvalidYear);
    v.year = static_cast<int>(y);
  } else {
    v.year = now.year;
  }
  v.month = p.month_set ? p.month : now.month;
  v.day = p.day_set ? p.day : 1;
  if (p.ddd_set) {
    int days_in_year = IsLeapYear(v.year) ? 366 : 365;
    if (v.year == 1582) days_in_year = 355;
    if (p.ddd > days_in_year) return OraError(ora::kInvalidDayOfYear);
    DateTime jan1 = v;
    jan1.month = 1;
    jan1.day = 1;
    DateTime r = v;
    FromDaySerial(DaySerial(jan1) + p.ddd - 1, &r);
    if ((p.month_set && r.month != p.month) || (p.day_set && r.day != p.day)) return OraError(ora::kInvalidDayOfMonth);
    v.month = r.month;
    v.day = r.day;
  }
  if (p.j_set) {
    DateTime r;
    TABDB_RETURN_IF_ERROR(FromJulianDay(p.j, &r));
    if (p.year_set && r.year != v.year) return OraError(ora::kYearConflictsJulian);
    if (p.month_set && r.month != v.month) return OraError(ora::kMonthConflictsJulian);
    if (p.day_set && r.day != v.day) return OraError(ora::kDayConflictsJulian);
    v.year = r.year;
    v.month = r.month;
    v.day = r.day;
  }
  if (p.hour_set) {
    v.hour = p.hour;
    if (p.hour12) v.hour = p.hour % 12 + (p.meridian_set && p.pm ? 12 : 0);
  }
  if (p.minute_set) v.minute = p.minute;
  if (p.second_set) v.second = p.second;
  if (p.sssss_set) {
    int h = p.sssss / 3600, m = p.sssss / 60 % 60, s = p.sssss % 60;
    if (p.hour_set && h != v.hour) return OraError(ora::kHourConflictsSecondsInDay);
    if (p.minute_set && m != v.minute) return OraError(ora::kMinuteConflictsSecondsInDay);
    if (p.second_set && s != v.second) return OraError(ora::kSecondConflictsSecondsInDay);
    v.hour = h;
    v.minute = m;
    v.second = s;
  }
  v.nanos = kind_ == TypeKind::kDate ? 0 : p.nanos;
  TABDB_RETURN_IF_ERROR(ValidateDateTime(v));
  if (kind_ == TypeKind::kTimestampTZ || kind_ == TypeKind::kTimestampLTZ) {
    if (p.tzr_set) {
      v.tz_offset_minutes = p.tzr;
    } else if (p.zone_set) {
      int off = p.tzh * 60 + p.tzm;
      v.tz_offset_minutes = p.tz_negative ? -off : off;
    } else {
      v.tz_offset_minutes = LocalOffsetMinutes(v);
    }
  }
  *d = v;
  return Status::Ok();
}

Status FormatDateTime(const DateTime& d, TypeKind kind, std::string_view fmt, std::string* out) {
  return FormatDateTime(d, kind, fmt, 6, out);
}

Status FormatDateTime(const DateTime& d, TypeKind kind, std::string_view fmt,
                      int fractional_digits, std::string* out) {
  DateTimeFormat f;
  TABDB_RETURN_IF_ERROR(DateTimeFormat::Compile(fmt, kind, &f));
  return f.Format(d, fractional_digits, out);
}

Status ParseDateTime(std::string_view text, std::string_view fmt, TypeKind kind, DateTime* d) {
  return ParseDateTime(text, fmt, kind, NowLocal(), d);
}

Status ParseDateTime(std::string_view text, std::string_view fmt, TypeKind kind,
                     const DateTime& now, DateTime* d) {
  DateTimeFormat f;
  TABDB_RETURN_IF_ERROR(DateTimeFormat::Compile(fmt, kind, &f));
  return f.Parse(text, now, d);
}

}  // namespace tabdb

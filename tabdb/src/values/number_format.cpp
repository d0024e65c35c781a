// number_format.cpp - TO_CHAR / TO_NUMBER with Oracle number format models.
//
// A model is first parsed into a Model (digit positions before and after the
// decimal point, sign placement, flags); formatting and parsing then work
// from that description rather than from the model text.
#include "values/number_format.h"

#include <algorithm>

#include "util/errors.h"

namespace tabdb {
namespace {

enum class SignKind { kDefault, kLeadingS, kTrailingS, kMI, kPR };

struct Model {
  bool fm = false;          // fill mode
  bool blank_zero = false;  // B
  bool dollar = false;      // $
  bool eeee = false;        // scientific
  bool point = false;       // has a decimal point (. or D)
  bool tm = false;          // TM / TM9
  bool tme = false;         // TME
  bool hex = false;
  bool hex_lower = false;
  SignKind sign = SignKind::kDefault;
  std::string int_part;   // '9', '0' and ',' left to right (V digits included)
  std::string frac_part;  // '9' and '0'
  int v_digits = 0;       // digit positions after V
  int hex_digits = 0;     // X count; int_part then holds the leading 0s

  int IntPositions() const {
    return static_cast<int>(std::count_if(int_part.begin(), int_part.end(),
                                          [](char c) { return c != ','; }));
  }

  int Width() const {
    if (hex) return static_cast<int>(int_part.size()) + hex_digits + 1;
    int w = static_cast<int>(int_part.size());
    if (point) w += 1 + static_cast<int>(frac_part.size());
    if (dollar) ++w;
    if (eeee) w += 5;  // "E+dd" right-aligned in room for "E+ddd"
    w += sign == SignKind::kPR ? 2 : 1;
    return w;
  }
};

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool MatchAt(std::string_view s, size_t pos, std::string_view word) {
  if (s.size() - pos < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (Upper(s[pos + i]) != word[i]) return false;
  }
  return true;
}

Status BadModel() { return OraError(ora::kInvalidNumberFormat); }
Status Mismatch() { return OraError(ora::kInvalidNumber); }

Status ParseModel(std::string_view f, Model* m) {
  size_t pos = 0;
  if (MatchAt(f, 0, "FM")) {
    m->fm = true;
    pos = 2;
  }
  std::string_view rest = f.substr(pos);
  if (rest.size() >= 2 && rest.size() <= 3 && MatchAt(rest, 0, "TM")) {
    if (rest.size() == 2 || rest[2] == '9') {
      m->tm = true;
      return Status::Ok();
    }
    if (Upper(rest[2]) == 'E') {
      m->tme = true;
      return Status::Ok();
    }
    return BadModel();
  }
  bool any_digit = false, v_seen = false, closed = false, after_digits = false;
  while (pos < f.size()) {
    if (closed) return BadModel();  // nothing may follow MI, PR or a trailing S
    const char c = Upper(f[pos]);
    if (m->hex && c != 'X') return BadModel();
    if (m->eeee && c != 'S' && c != 'M' && c != 'P') return BadModel();
    switch (c) {
      case '9':
      case '0':
        if (m->point) {
          m->frac_part += c;
        } else {
          m->int_part += c;
          if (v_seen) ++m->v_digits;
        }
        any_digit = after_digits = true;
        ++pos;
        break;
      case ',':
      case 'G':
        if (m->point || !any_digit) return BadModel();
        m->int_part += ',';
        ++pos;
        break;
      case '.':
      case 'D':
        if (m->point || v_seen) return BadModel();
        m->point = after_digits = true;
        ++pos;
        break;
      case '$':
        if (m->dollar) return BadModel();
        m->dollar = true;
        ++pos;
        break;
      case 'B':
        if (m->blank_zero) return BadModel();
        m->blank_zero = true;
        ++pos;
        break;
      case 'S':
        if (m->sign != SignKind::kDefault) return BadModel();
        if (after_digits) {
          m->sign = SignKind::kTrailingS;
          closed = true;
        } else {
          m->sign = SignKind::kLeadingS;
        }
        ++pos;
        break;
      case 'M':
      case 'P':
        if (!MatchAt(f, pos, c == 'M' ? "MI" : "PR") || m->sign != SignKind::kDefault)
          return BadModel();
        m->sign = c == 'M' ? SignKind::kMI : SignKind::kPR;
        closed = true;
        pos += 2;
        break;
      case 'E':
        if (!MatchAt(f, pos, "EEEE") || !any_digit || v_seen) return BadModel();
        m->eeee = true;
        pos += 4;
        break;
      case 'V':
        if (m->point || v_seen) return BadModel();
        v_seen = after_digits = true;
        ++pos;
        break;
      case 'X':
        if (!m->hex) {
          // Only leading zeros (and FM) may come before the X positions.
          if (m->point || m->dollar || m->blank_zero || v_seen ||
              m->sign != SignKind::kDefault ||
              m->int_part.find_first_not_of('0') != std::string::npos)
            return BadModel();
          m->hex = true;
          m->hex_lower = f[pos] == 'x';
        }
        ++m->hex_digits;
        ++pos;
        break;
      default:
        return BadModel();
    }
  }
  if (!m->hex && m->int_part.empty() && m->frac_part.empty()) return BadModel();
  if (m->eeee && m->int_part.find(',') != std::string::npos) return BadModel();
  return Status::Ok();
}

// Decimal digits of a nonzero value: digits (no leading or trailing zero)
// and the exponent e with value = 0.digits x 10^e.
void DecimalDigits(const Number& n, std::string* digits, int* exp) {
  digits->clear();
  for (int i = 0; i < n.DigitCount(); ++i) {
    digits->push_back(static_cast<char>('0' + n.Digit(i) / 10));
    digits->push_back(static_cast<char>('0' + n.Digit(i) % 10));
  }
  *exp = 2 * n.Exponent();
  if (!digits->empty() && (*digits)[0] == '0') {
    digits->erase(0, 1);
    --*exp;
  }
  while (!digits->empty() && digits->back() == '0') digits->pop_back();
}

Status PowerOfTen(int e, Number* out) { return Number::Parse("1E" + std::to_string(e), out); }

std::string Hashes(const Model& m) { return std::string(static_cast<size_t>(m.Width()), '#'); }

// Lays out prefix + body + suffix in the model's width (or trimmed for FM).
std::string Finish(const Model& m, bool neg, const std::string& body) {
  std::string s;
  switch (m.sign) {
    case SignKind::kDefault:
      if (neg) s += '-';
      break;
    case SignKind::kLeadingS:
      s += neg ? '-' : '+';
      break;
    case SignKind::kPR:
      if (neg) s += '<';
      break;
    default:
      break;
  }
  if (m.dollar) s += '$';
  s += body;
  switch (m.sign) {
    case SignKind::kTrailingS:
      s += neg ? '-' : '+';
      break;
    case SignKind::kMI:
      s += neg ? '-' : ' ';
      break;
    case SignKind::kPR:
      s += neg ? '>' : ' ';
      break;
    default:
      break;
  }
  if (m.fm) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
  }
  size_t w = static_cast<size_t>(m.Width());
  if (s.size() < w) s.insert(0, w - s.size(), ' ');
  return s;
}

std::string FormatHex(const Model& m, const Number& n) {
  Number r = n.Round(0);
  if (r.IsNegative()) return Hashes(m);
  // Repeated division of the decimal digit string by 16.
  std::string dec = r.ToFixedString();
  std::string hex;
  const char* alphabet = m.hex_lower ? "0123456789abcdef" : "0123456789ABCDEF";
  while (!(dec.size() == 1 && dec[0] == '0')) {
    std::string q;
    int rem = 0;
    for (char c : dec) {
      rem = rem * 10 + (c - '0');
      if (!q.empty() || rem >= 16) q.push_back(static_cast<char>('0' + rem / 16));
      rem %= 16;
    }
    hex.push_back(alphabet[rem]);
    dec = q.empty() ? "0" : q;
  }
  if (hex.empty()) hex = "0";
  std::reverse(hex.begin(), hex.end());
  const size_t positions = m.int_part.size() + static_cast<size_t>(m.hex_digits);
  if (hex.size() > positions) return Hashes(m);
  if (!m.int_part.empty()) hex.insert(0, positions - hex.size(), '0');
  if (m.fm) return hex;
  return std::string(static_cast<size_t>(m.Width()) - hex.size(), ' ') + hex;
}

std::string FormatScientific(const Model& m, const Number& n) {
  const int fd = static_cast<int>(m.frac_part.size());
  std::string digits;
  int e10 = 0;
  Number r;
  if (!n.Abs().RoundSignificant(1 + fd, &r).ok()) return Hashes(m);
  if (r.IsZero()) {
    digits = "0";
  } else {
    int dexp;
    DecimalDigits(r, &digits, &dexp);
    e10 = dexp - 1;
  }
  digits.resize(static_cast<size_t>(1 + fd), '0');
  std::string body(1, digits[0]);
  if (m.point) body += '.' + digits.substr(1);
  body += 'E';
  body += e10 < 0 ? '-' : '+';
  int a = e10 < 0 ? -e10 : e10;
  if (a < 10) body += '0';
  body += std::to_string(a);
  return Finish(m, n.IsNegative(), body);
}

std::string FormatFixed(const Model& m, const Number& n) {
  Number val = n;
  if (m.v_digits > 0) {
    Number p;
    if (!PowerOfTen(m.v_digits, &p).ok() || !Number::Mul(n, p, &val).ok()) return Hashes(m);
  }
  const int fd = static_cast<int>(m.frac_part.size());
  Number r;
  if (!val.RoundChecked(fd, &r).ok()) return Hashes(m);
  if (m.blank_zero && r.IsZero()) {
    return m.fm ? std::string() : std::string(static_cast<size_t>(m.Width()), ' ');
  }
  std::string text = r.Abs().ToFixedString();
  size_t dot = text.find('.');
  std::string int_digits = text.substr(0, dot);
  std::string frac_digits = dot == std::string::npos ? "" : text.substr(dot + 1);
  if (int_digits == "0") int_digits.clear();
  if (static_cast<int>(int_digits.size()) > m.IntPositions()) return Hashes(m);
  frac_digits.resize(static_cast<size_t>(fd), '0');

  // Integer section, right to left.
  size_t first_zero = m.int_part.find('0');
  if (m.blank_zero && int_digits.empty()) first_zero = std::string::npos;
  std::string rev;
  int di = static_cast<int>(int_digits.size()) - 1;
  bool printed_digit = false;
  for (int j = static_cast<int>(m.int_part.size()) - 1; j >= 0; --j) {
    const char e = m.int_part[static_cast<size_t>(j)];
    const bool forced = first_zero != std::string::npos && static_cast<size_t>(j) >= first_zero;
    if (e == ',') {
      const bool digit_left = di >= 0 || (first_zero != std::string::npos &&
                                          first_zero < static_cast<size_t>(j));
      if (!digit_left) break;
      rev += ',';
    } else if (di >= 0) {
      rev += int_digits[static_cast<size_t>(di--)];
      printed_digit = true;
    } else if (forced) {
      rev += '0';
      printed_digit = true;
    } else {
      break;
    }
  }
  std::string body(rev.rbegin(), rev.rend());

  if (m.point) {
    size_t keep = frac_digits.size();
    if (m.fm) {
      while (keep > 0 && m.frac_part[keep - 1] == '9' && frac_digits[keep - 1] == '0') --keep;
    }
    if (keep > 0) printed_digit = true;
    // A value that prints no digit at all shows a single zero before the point.
    if (!printed_digit) body = "0";
    body += '.';
    body.append(frac_digits, 0, keep);
  } else if (!printed_digit) {
    body = "0";
  }
  return Finish(m, n.IsNegative(), body);
}

}  // namespace

Status NumberToChar(const Number& n, std::string_view fmt, std::string* out) {
  Model m;
  TABDB_RETURN_IF_ERROR(ParseModel(fmt, &m));
  if (m.tm) {
    *out = n.ToString();
  } else if (m.tme) {
    *out = n.ToScientificString();
  } else if (m.hex) {
    *out = FormatHex(m, n);
  } else if (m.eeee) {
    *out = FormatScientific(m, n);
  } else {
    *out = FormatFixed(m, n);
  }
  return Status::Ok();
}

Status NumberFromChar(std::string_view text, std::string_view fmt, Number* out) {
  Model m;
  TABDB_RETURN_IF_ERROR(ParseModel(fmt, &m));
  if (m.tm || m.tme) return Number::Parse(text, out);

  std::string_view s = text;
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  if (s.empty()) return Mismatch();

  if (m.hex) {
    const size_t positions = m.int_part.size() + static_cast<size_t>(m.hex_digits);
    if (s.size() > positions) return Mismatch();
    Number acc, sixteen = Number::FromInt64(16);
    for (char c : s) {
      int d;
      if (c >= '0' && c <= '9') {
        d = c - '0';
      } else if (Upper(c) >= 'A' && Upper(c) <= 'F') {
        d = Upper(c) - 'A' + 10;
      } else {
        return Mismatch();
      }
      TABDB_RETURN_IF_ERROR(Number::Mul(acc, sixteen, &acc));
      TABDB_RETURN_IF_ERROR(Number::Add(acc, Number::FromInt64(d), &acc));
    }
    *out = acc;
    return Status::Ok();
  }

  // Sign where the model puts it.
  bool neg = false;
  auto take_front = [&s](char c) {
    if (!s.empty() && s.front() == c) {
      s.remove_prefix(1);
      return true;
    }
    return false;
  };
  auto take_back = [&s](char c) {
    if (!s.empty() && s.back() == c) {
      s.remove_suffix(1);
      return true;
    }
    return false;
  };
  switch (m.sign) {
    case SignKind::kDefault:
    case SignKind::kLeadingS:
      neg = take_front('-');
      if (!neg) take_front('+');
      break;
    case SignKind::kTrailingS:
      neg = take_back('-');
      if (!neg) take_back('+');
      break;
    case SignKind::kMI:
      neg = take_back('-');
      break;
    case SignKind::kPR:
      if (take_front('<')) {
        if (!take_back('>')) return Mismatch();
        neg = true;
      }
      break;
  }
  if (take_front('$') && !m.dollar) return Mismatch();
  if (s.empty() || s.front() == '+' || s.front() == '-') return Mismatch();

  Number v;
  if (m.eeee) {
    TABDB_RETURN_IF_ERROR(Number::Parse(s, &v));
  } else {
    size_t i = 0;
    while (i < s.size() && ((s[i] >= '0' && s[i] <= '9') || s[i] == ',')) ++i;
    std::string_view int_text = s.substr(0, i);
    std::string_view frac_text;
    if (i < s.size() && s[i] == '.') {
      if (!m.point) return Mismatch();
      frac_text = s.substr(i + 1);
      for (char c : frac_text) {
        if (c < '0' || c > '9') return Mismatch();
      }
    } else if (i < s.size()) {
      return Mismatch();
    }
    if (int_text.empty() && frac_text.empty()) return Mismatch();
    if (frac_text.size() > m.frac_part.size()) return Mismatch();
    if (!int_text.empty() && int_text.front() == ',') return Mismatch();
    // Integer characters against the model's integer positions, from the right.
    int j = static_cast<int>(m.int_part.size()) - 1;
    std::string digits;
    for (int k = static_cast<int>(int_text.size()) - 1; k >= 0; --k, --j) {
      if (j < 0) return Mismatch();
      const char c = int_text[static_cast<size_t>(k)];
      const bool model_group = m.int_part[static_cast<size_t>(j)] == ',';
      if ((c == ',') != model_group) return Mismatch();
      if (c != ',') digits.push_back(c);
    }
    std::reverse(digits.begin(), digits.end());
    std::string literal = digits.empty() ? "0" : digits;
    if (!frac_text.empty()) literal += "." + std::string(frac_text);
    TABDB_RETURN_IF_ERROR(Number::Parse(literal, &v));
    if (m.v_digits > 0) {
      Number p;
      TABDB_RETURN_IF_ERROR(PowerOfTen(m.v_digits, &p));
      TABDB_RETURN_IF_ERROR(Number::Div(v, p, &v));
    }
  }
  *out = neg ? v.Negate() : v;
  return Status::Ok();
}

}  // namespace tabdb

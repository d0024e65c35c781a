// number.cpp - Oracle NUMBER: byte form, text, arithmetic and rounding.
//
// Values live as base-100 digits like the byte form, so Encode and Decode are
// plain loops. Arithmetic works exactly on wider base-100 digit arrays and
// rounds once at the end; decimal rounding (ROUND, column scales) works on a
// decimal-digit view of at most 40 digits. Nothing here allocates except the
// functions that return std::string.
#include "values/number.h"

#include <algorithm>
#include <charconv>
#include <cassert>
#include <cmath>
#include <cstring>
#include <limits>

#include "util/errors.h"

namespace tabdb {
namespace {

constexpr int kMaxDigits = 20;  // base-100 mantissa digits
constexpr int kMinExp = -64;
constexpr int kMaxExp = 63;
constexpr uint8_t kNegTerminator = 0x66;

// Capacity of the wide arrays used by exact addition and MOD: the exponents
// span 128 base-100 positions plus 20 digits, plus room for a carry.
constexpr int kWideCap = 200;

Status Overflow() { return OraError(ora::kNumericOverflow); }
Status InvalidNumber() { return OraError(ora::kInvalidNumber); }

// Decimal view of a magnitude: value = 0.d[0] d[1] ... d[n-1] x 10^exp, with
// d[0] != 0 and d[n-1] != 0, or n == 0 for zero.
struct Dec {
  int n = 0;
  int exp = 0;
  uint8_t d[48];
};

// Rounds (or truncates) a decimal view to `scale` decimal places.
void RoundDec(Dec* x, int scale, bool trunc) {
  if (x->n == 0) return;
  scale = std::clamp(scale, -400, 400);
  int keep = x->exp + scale;  // digits d[0..keep-1] stay
  if (keep >= x->n) return;
  if (keep < 0) {
    x->n = 0;
    return;
  }
  bool up = !trunc && x->d[keep] >= 5;
  x->n = keep;
  if (up) {
    int i = keep - 1;
    while (i >= 0 && x->d[i] == 9) {
      x->d[i] = 0;
      --i;
    }
    if (i >= 0) {
      ++x->d[i];
    } else {  // all nines (or nothing kept): becomes 1 at the next power of ten
      x->d[0] = 1;
      x->n = 1;
      ++x->exp;
    }
  }
  while (x->n > 0 && x->d[x->n - 1] == 0) --x->n;
}

// Compares two equal-length digit arrays as integers.
int CompareDigits(const uint8_t* a, const uint8_t* b, int n) {
  for (int i = 0; i < n; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

// a -= b for equal-length base-100 digit arrays, a >= b.
void SubDigits(uint8_t* a, const uint8_t* b, int n) {
  int borrow = 0;
  for (int i = n - 1; i >= 0; --i) {
    int v = a[i] - b[i] - borrow;
    borrow = v < 0;
    a[i] = static_cast<uint8_t>(v + (borrow ? 100 : 0));
  }
}

// Long division in base 100: num (nn digits) by den (dn digits, den[0] != 0).
// Writes nn quotient digits to q (when not null) and dn remainder digits to
// rem. dn <= kWideCap.
void LongDivide(const uint8_t* num, int nn, const uint8_t* den, int dn, uint8_t* q,
                uint8_t* rem) {
  uint8_t r[kWideCap + 1] = {};    // running remainder, dn + 1 digits, r[0] top
  uint8_t dx[kWideCap + 1] = {};   // den with a leading zero, dn + 1 digits
  uint8_t prod[kWideCap + 1];
  std::memcpy(dx + 1, den, dn);
  const int w = dn + 1;
  const int dt = den[0] * 100 + (dn >= 2 ? den[1] : 0);
  for (int i = 0; i < nn; ++i) {
    std::memmove(r, r + 1, dn);
    r[dn] = num[i];
    int rt = r[0] * 10000 + r[1] * 100 + (dn >= 2 ? r[2] : 0);
    int qhat = std::min(rt / dt, 99);
    // prod = qhat * den
    int carry = 0;
    for (int k = w - 1; k >= 0; --k) {
      int v = dx[k] * qhat + carry;
      prod[k] = static_cast<uint8_t>(v % 100);
      carry = v / 100;
    }
    while (CompareDigits(prod, r, w) > 0) {
      --qhat;
      SubDigits(prod, dx, w);
    }
    SubDigits(r, prod, w);
    while (CompareDigits(r, dx, w) >= 0) {
      ++qhat;
      SubDigits(r, dx, w);
    }
    if (q) q[i] = static_cast<uint8_t>(qhat);
  }
  std::memcpy(rem, r + 1, dn);
}

int CompareMagnitude(const Number& a, const Number& b) {
  if (a.IsZero() || b.IsZero()) return a.IsZero() ? (b.IsZero() ? 0 : -1) : 1;
  if (a.Exponent() != b.Exponent()) return a.Exponent() < b.Exponent() ? -1 : 1;
  int n = std::min(a.DigitCount(), b.DigitCount());
  for (int i = 0; i < n; ++i) {
    if (a.Digit(i) != b.Digit(i)) return a.Digit(i) < b.Digit(i) ? -1 : 1;
  }
  if (a.DigitCount() != b.DigitCount()) return a.DigitCount() < b.DigitCount() ? -1 : 1;
  return 0;
}

}  // namespace

// Access to Number's representation for the helpers of this file.
struct NumberBuilder {
  // Builds a Number from value = (neg ? -1 : 1) * 0.d[0] d[1] ... x 100^exp,
  // where d may have leading and trailing zero digits and any length:
  // rounds half away from zero to 20 digits, checks the range.
  static Status FromWide(bool neg, const uint8_t* d, int n, int exp, Number* out) {
    while (n > 0 && d[0] == 0) {
      ++d;
      --n;
      --exp;
    }
    while (n > 0 && d[n - 1] == 0) --n;
    Number r;
    if (n == 0) {
      *out = r;
      return Status::Ok();
    }
    int m = std::min(n, kMaxDigits);
    std::memcpy(r.dig_, d, m);
    if (n > kMaxDigits && d[kMaxDigits] >= 50) {
      int i = kMaxDigits - 1;
      while (i >= 0 && r.dig_[i] == 99) {
        r.dig_[i] = 0;
        --i;
      }
      if (i >= 0) {
        ++r.dig_[i];
      } else {
        r.dig_[0] = 1;
        m = 1;
        ++exp;
      }
    }
    while (m > 0 && r.dig_[m - 1] == 0) --m;
    if (exp > kMaxExp) return Overflow();
    if (exp < kMinExp) {
      *out = Number();
      return Status::Ok();
    }
    r.len_ = static_cast<uint8_t>(m);
    r.exp_ = static_cast<int8_t>(exp);
    r.neg_ = neg;
    assert(m >= 1 && m <= kMaxDigits && r.dig_[0] != 0 && r.dig_[m - 1] != 0);
    *out = r;
    return Status::Ok();
  }

  static void ToDec(const Number& v, Dec* x) {
    int k = 0;
    for (int i = 0; i < v.len_; ++i) {
      x->d[k++] = v.dig_[i] / 10;
      x->d[k++] = v.dig_[i] % 10;
    }
    x->exp = 2 * v.exp_;
    int start = 0;
    if (k > 0 && x->d[0] == 0) {
      start = 1;
      --x->exp;
    }
    while (k > start && x->d[k - 1] == 0) --k;
    if (start) std::memmove(x->d, x->d + 1, k - 1);
    x->n = k - start;
  }

  // From a decimal view of any length up to the Dec capacity.
  static Status FromDec(bool neg, const Dec& x, Number* out) {
    if (x.n == 0) {
      *out = Number();
      return Status::Ok();
    }
    // Far outside the range: avoid building digits at all.
    if (x.exp > 2 * kMaxExp + 2) return Overflow();
    if (x.exp < 2 * kMinExp - 4) {
      *out = Number();
      return Status::Ok();
    }
    uint8_t w[32] = {};
    int e = x.exp;
    int pos = 0;  // decimal digit index within the aligned sequence
    if (e % 2 != 0) {  // odd: the first base-100 digit holds one decimal digit
      pos = 1;
      ++e;
    }
    int nw = 0;
    for (int i = 0; i < x.n; ++i, ++pos) {
      int j = pos / 2;
      if (j >= 32) break;
      w[j] = static_cast<uint8_t>(w[j] + (pos % 2 == 0 ? x.d[i] * 10 : x.d[i]));
      nw = j + 1;
    }
    return FromWide(neg, w, nw, e / 2, out);
  }

  static Number Negated(const Number& v) {
    Number r = v;
    if (r.len_ != 0) r.neg_ = !r.neg_;
    return r;
  }
  static Number WithSign(const Number& v, bool neg) {
    Number r = v;
    r.neg_ = r.len_ != 0 && neg;
    return r;
  }

  static Status AddSigned(const Number& a, const Number& b, bool negate_b, Number* out) {
    bool bneg = negate_b ? !b.neg_ : b.neg_;
    if (b.len_ == 0) {
      *out = a;
      return Status::Ok();
    }
    if (a.len_ == 0) {
      *out = WithSign(b, bneg);
      return Status::Ok();
    }
    // Align both magnitudes on a common lowest position. Slot 0 takes a carry.
    int hi = std::max(a.exp_, b.exp_);
    int lo = std::min(a.exp_ - a.len_, b.exp_ - b.len_);
    int width = hi - lo + 1;
    uint8_t x[kWideCap] = {};
    uint8_t y[kWideCap] = {};
    std::memcpy(x + 1 + (hi - a.exp_), a.dig_, a.len_);
    std::memcpy(y + 1 + (hi - b.exp_), b.dig_, b.len_);
    bool neg = a.neg_;
    if (a.neg_ == bneg) {
      int carry = 0;
      for (int i = width - 1; i >= 0; --i) {
        int v = x[i] + y[i] + carry;
        carry = v >= 100;
        x[i] = static_cast<uint8_t>(v - (carry ? 100 : 0));
      }
    } else if (CompareDigits(x, y, width) >= 0) {
      SubDigits(x, y, width);
    } else {
      SubDigits(y, x, width);
      std::memcpy(x, y, width);
      neg = bneg;
    }
    return FromWide(neg, x, width, hi + 1, out);
  }

  static Status Mul(const Number& a, const Number& b, Number* out) {
    if (a.len_ == 0 || b.len_ == 0) {
      *out = Number();
      return Status::Ok();
    }
    int acc[2 * kMaxDigits] = {};
    for (int i = 0; i < a.len_; ++i) {
      for (int j = 0; j < b.len_; ++j) acc[i + j + 1] += a.dig_[i] * b.dig_[j];
    }
    int n = a.len_ + b.len_;
    uint8_t w[2 * kMaxDigits];
    int carry = 0;
    for (int k = n - 1; k >= 0; --k) {
      int v = acc[k] + carry;
      w[k] = static_cast<uint8_t>(v % 100);
      carry = v / 100;
    }
    return FromWide(a.neg_ != b.neg_, w, n, a.exp_ + b.exp_, out);
  }

  static Status Div(const Number& a, const Number& b, Number* out) {
    if (b.len_ == 0) return OraError(ora::kDivisorIsZero);
    if (a.len_ == 0) {
      *out = Number();
      return Status::Ok();
    }
    // (A * 100^k) / B with enough digits for 21 significant quotient digits;
    // the 21st decides rounding exactly, so the remainder is not needed.
    const int m = a.len_, n = b.len_;
    const int k = 22 + n - m;
    uint8_t num[2 * kMaxDigits + 4] = {};
    std::memcpy(num, a.dig_, m);
    const int nn = m + k;
    uint8_t q[2 * kMaxDigits + 4];
    uint8_t rem[kMaxDigits];
    LongDivide(num, nn, b.dig_, n, q, rem);
    return FromWide(a.neg_ != b.neg_, q, nn, n + a.exp_ - b.exp_, out);
  }

  static Status Mod(const Number& a, const Number& b, Number* out) {
    if (b.len_ == 0 || a.len_ == 0) {
      *out = a;
      return Status::Ok();
    }
    if (CompareMagnitude(a, b) < 0) {
      *out = a;
      return Status::Ok();
    }
    // Both as integers over the common lowest position; the remainder of
    // their division is exact.
    int la = a.exp_ - a.len_, lb = b.exp_ - b.len_;
    int lo = std::min(la, lb);
    uint8_t x[kWideCap] = {};
    uint8_t y[kWideCap] = {};
    int nx = a.len_ + (la - lo);
    int ny = b.len_ + (lb - lo);
    std::memcpy(x, a.dig_, a.len_);
    std::memcpy(y, b.dig_, b.len_);
    uint8_t rem[kWideCap];
    LongDivide(x, nx, y, ny, nullptr, rem);
    return FromWide(a.neg_, rem, ny, lo + ny, out);
  }

  static Status RoundTo(const Number& v, int scale, bool trunc, Number* out) {
    if (v.len_ == 0) {
      *out = v;
      return Status::Ok();
    }
    Dec x;
    ToDec(v, &x);
    RoundDec(&x, scale, trunc);
    return FromDec(v.neg_, x, out);
  }

  static Status RoundSig(const Number& v, int digits, Number* out) {
    if (v.len_ == 0) {
      *out = v;
      return Status::Ok();
    }
    Dec x;
    ToDec(v, &x);
    RoundDec(&x, std::max(digits, 1) - x.exp, false);
    return FromDec(v.neg_, x, out);
  }

  static Status Parse(std::string_view s, Number* out) {
    size_t i = 0, e = s.size();
    while (i < e && s[i] == ' ') ++i;
    while (e > i && s[e - 1] == ' ') --e;
    bool neg = false;
    if (i < e && (s[i] == '+' || s[i] == '-')) {
      neg = s[i] == '-';
      ++i;
    }
    Dec x;
    bool any_digit = false, started = false, point = false;
    int dexp = 0;
    for (; i < e; ++i) {
      char c = s[i];
      if (c == '.') {
        if (point) return InvalidNumber();
        point = true;
        continue;
      }
      if (c < '0' || c > '9') break;
      any_digit = true;
      if (!started) {
        if (c == '0') {
          if (point && dexp > -1000000) --dexp;
          continue;
        }
        started = true;
      }
      if (!point && dexp < 1000000) ++dexp;
      // Digits past the capacity cannot change the rounded result (half-up
      // needs only the first dropped base-100 digit).
      if (x.n < static_cast<int>(sizeof x.d)) x.d[x.n++] = static_cast<uint8_t>(c - '0');
    }
    if (!any_digit) return InvalidNumber();
    if (i < e) {
      if (s[i] != 'e' && s[i] != 'E') return InvalidNumber();
      ++i;
      bool eneg = false;
      if (i < e && (s[i] == '+' || s[i] == '-')) {
        eneg = s[i] == '-';
        ++i;
      }
      if (i == e) return InvalidNumber();
      long ev = 0;
      for (; i < e; ++i) {
        if (s[i] < '0' || s[i] > '9') return InvalidNumber();
        if (ev < 100000) ev = ev * 10 + (s[i] - '0');
      }
      dexp += static_cast<int>(eneg ? -ev : ev);
    }
    while (x.n > 0 && x.d[x.n - 1] == 0) --x.n;
    x.exp = dexp;
    return FromDec(neg, x, out);
  }
};

// ---------------------------------------------------------------------------

Number Number::FromInt64(int64_t v) {
  Number r;
  if (v == 0) return r;
  uint64_t m = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  uint8_t tmp[10];
  int n = 0;
  while (m > 0) {
    tmp[n++] = static_cast<uint8_t>(m % 100);
    m /= 100;
  }
  r.exp_ = static_cast<int8_t>(n);
  int len = 0;
  for (int i = n - 1; i >= 0; --i) r.dig_[len++] = tmp[i];
  while (len > 0 && r.dig_[len - 1] == 0) --len;
  r.len_ = static_cast<uint8_t>(len);
  r.neg_ = v < 0;
  return r;
}

Status Number::FromDouble(double v, Number* out) {
  if (!std::isfinite(v)) return Overflow();
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  return NumberBuilder::Parse(std::string_view(buf, res.ptr - buf), out);
}

Status Number::Parse(std::string_view text, Number* out) { return NumberBuilder::Parse(text, out); }

Status Number::Decode(const uint8_t* p, size_t n, Number* out) {
  if (n == 0 || n > kNumberMaxBytes) return InvalidNumber();
  const uint8_t b0 = p[0];
  uint8_t d[kMaxDigits];
  size_t m;
  int exp;
  bool neg;
  if (b0 & 0x80) {
    neg = false;
    if (n == 1) {
      if (b0 != 0x80) return InvalidNumber();
      *out = Number();
      return Status::Ok();
    }
    exp = b0 - 0xC0;
    m = n - 1;
    for (size_t i = 0; i < m; ++i) {
      uint8_t b = p[i + 1];
      if (b < 1 || b > 100) return InvalidNumber();
      d[i] = static_cast<uint8_t>(b - 1);
    }
  } else {
    neg = true;
    exp = 0x3F - b0;
    m = n - 1;
    if (p[n - 1] == kNegTerminator) {
      --m;
    } else if (n < kNumberMaxBytes) {
      return InvalidNumber();  // fewer than 20 digits need the terminator
    }
    if (m == 0) return InvalidNumber();
    for (size_t i = 0; i < m; ++i) {
      uint8_t b = p[i + 1];
      if (b < 2 || b > 101) return InvalidNumber();
      d[i] = static_cast<uint8_t>(101 - b);
    }
  }
  if (d[0] != 0 && d[m - 1] != 0) {  // canonical: no rounding or range work
    Number r;
    std::memcpy(r.dig_, d, m);
    r.len_ = static_cast<uint8_t>(m);
    r.exp_ = static_cast<int8_t>(exp);
    r.neg_ = neg;
    *out = r;
    return Status::Ok();
  }
  return NumberBuilder::FromWide(neg, d, static_cast<int>(m), exp, out);
}

size_t Number::EncodeTo(uint8_t* out) const {
  // The byte form fits kNumberBufferBytes only for Numbers that keep the
  // invariants of number.h.
  assert(len_ <= kMaxDigits && exp_ >= kMinExp && exp_ <= kMaxExp);
  assert(len_ > 0 || !neg_);
  if (len_ == 0) {
    out[0] = 0x80;
    return 1;
  }
  if (!neg_) {
    out[0] = static_cast<uint8_t>(0xC0 + exp_);
    for (int i = 0; i < len_; ++i) out[i + 1] = static_cast<uint8_t>(dig_[i] + 1);
    return len_ + 1;
  }
  out[0] = static_cast<uint8_t>(0x3F - exp_);
  for (int i = 0; i < len_; ++i) out[i + 1] = static_cast<uint8_t>(101 - dig_[i]);
  if (len_ < kMaxDigits) {
    out[len_ + 1] = kNegTerminator;
    return len_ + 2;
  }
  return len_ + 1;
}

std::string Number::Encode() const {
  uint8_t buf[kNumberBufferBytes];
  size_t n = EncodeTo(buf);
  return std::string(reinterpret_cast<const char*>(buf), n);
}

namespace {

void AppendExponent(std::string* s, int e) {
  s->push_back('E');
  s->push_back(e < 0 ? '-' : '+');
  int a = e < 0 ? -e : e;
  if (a < 10) s->push_back('0');
  s->append(std::to_string(a));
}

void AppendScientific(std::string* s, const Dec& x) {
  s->push_back(static_cast<char>('0' + x.d[0]));
  s->push_back('.');
  if (x.n == 1) s->push_back('0');
  for (int i = 1; i < x.n; ++i) s->push_back(static_cast<char>('0' + x.d[i]));
  AppendExponent(s, x.exp - 1);
}

}  // namespace

namespace {

size_t FixedLength(bool neg, const Dec& x) {
  return (neg ? 1 : 0) + (x.exp <= 0 ? 1 + static_cast<size_t>(-x.exp) + x.n
                                     : static_cast<size_t>(x.exp >= x.n ? x.exp : x.n + 1));
}

void AppendFixed(std::string* out, const Dec& x) {
  std::string& s = *out;
  if (x.exp <= 0) {
    s.push_back('.');
    s.append(static_cast<size_t>(-x.exp), '0');
    for (int i = 0; i < x.n; ++i) s.push_back(static_cast<char>('0' + x.d[i]));
  } else {
    for (int i = 0; i < std::max(x.n, x.exp); ++i) {
      if (i == x.exp) s.push_back('.');
      s.push_back(static_cast<char>(i < x.n ? '0' + x.d[i] : '0'));
    }
  }
}

}  // namespace

std::string Number::ToString() const {
  if (len_ == 0) return "0";
  Dec x;
  NumberBuilder::ToDec(*this, &x);
  std::string s;
  s.reserve(FixedLength(neg_, x));
  if (neg_) s.push_back('-');
  if (FixedLength(neg_, x) > 64) {
    AppendScientific(&s, x);
  } else {
    AppendFixed(&s, x);
  }
  return s;
}

std::string Number::ToFixedString() const {
  if (len_ == 0) return "0";
  Dec x;
  NumberBuilder::ToDec(*this, &x);
  std::string s;
  if (neg_) s.push_back('-');
  AppendFixed(&s, x);
  return s;
}

std::string Number::ToScientificString() const {
  if (len_ == 0) return "0E+00";
  Dec x;
  NumberBuilder::ToDec(*this, &x);
  std::string s;
  if (neg_) s.push_back('-');
  AppendScientific(&s, x);
  return s;
}

Status Number::ToInt64(int64_t* out) const {
  Number r;
  TABDB_RETURN_IF_ERROR(NumberBuilder::RoundTo(*this, 0, false, &r));
  if (r.len_ == 0) {
    *out = 0;
    return Status::Ok();
  }
  if (r.exp_ > 10) return Overflow();
  uint64_t acc = 0;
  for (int i = 0; i < r.exp_; ++i) {
    uint64_t d = i < r.len_ ? r.dig_[i] : 0;
    if (__builtin_mul_overflow(acc, 100u, &acc) || __builtin_add_overflow(acc, d, &acc))
      return Overflow();
  }
  const uint64_t limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + (r.neg_ ? 1 : 0);
  if (acc > limit) return Overflow();
  *out = r.neg_ ? static_cast<int64_t>(0 - acc) : static_cast<int64_t>(acc);
  return Status::Ok();
}

double Number::ToDouble() const {
  if (len_ == 0) return 0.0;
  Dec x;
  NumberBuilder::ToDec(*this, &x);
  // "-DDDD...e<exp>" needs no decimal point, so no locale is involved.
  char buf[64];
  char* p = buf;
  if (neg_) *p++ = '-';
  for (int i = 0; i < x.n; ++i) *p++ = static_cast<char>('0' + x.d[i]);
  *p++ = 'e';
  p = std::to_chars(p, buf + sizeof buf, x.exp - x.n).ptr;
  double v = 0;
  std::from_chars(buf, p, v);
  return v;
}

int Number::Compare(const Number& o) const {
  int sa = Sign(), sb = o.Sign();
  if (sa != sb) return sa < sb ? -1 : 1;
  int c = CompareMagnitude(*this, o);
  return neg_ ? -c : c;
}

Status Number::Add(const Number& a, const Number& b, Number* out) {
  return NumberBuilder::AddSigned(a, b, false, out);
}
Status Number::Sub(const Number& a, const Number& b, Number* out) {
  return NumberBuilder::AddSigned(a, b, true, out);
}
Status Number::Mul(const Number& a, const Number& b, Number* out) {
  return NumberBuilder::Mul(a, b, out);
}
Status Number::Div(const Number& a, const Number& b, Number* out) {
  return NumberBuilder::Div(a, b, out);
}
Status Number::Mod(const Number& a, const Number& b, Number* out) {
  return NumberBuilder::Mod(a, b, out);
}

Number Number::Negate() const { return NumberBuilder::Negated(*this); }
Number Number::Abs() const { return NumberBuilder::WithSign(*this, false); }

Status Number::RoundChecked(int scale, Number* out) const {
  return NumberBuilder::RoundTo(*this, scale, false, out);
}

Number Number::Round(int scale) const {
  Number r;
  if (!NumberBuilder::RoundTo(*this, scale, false, &r).ok()) return Trunc(scale);
  return r;
}

Number Number::Trunc(int scale) const {
  Number r;
  // Truncation never increases the magnitude, so it cannot fail.
  [[maybe_unused]] Status st = NumberBuilder::RoundTo(*this, scale, true, &r);
  assert(st.ok());
  return r;
}

Number Number::Floor() const {
  Number t = Trunc(0);
  if (neg_ && t != *this) {
    Number r;
    [[maybe_unused]] Status st = Number::Sub(t, FromInt64(1), &r);
    assert(st.ok());  // a fraction means |t| < 1E40: cannot overflow
    return r;
  }
  return t;
}

Number Number::Ceil() const {
  Number t = Trunc(0);
  if (!neg_ && t != *this) {
    Number r;
    [[maybe_unused]] Status st = Number::Add(t, FromInt64(1), &r);
    assert(st.ok());  // a fraction means |t| < 1E40: cannot overflow
    return r;
  }
  return t;
}

Status Number::RoundSignificant(int digits, Number* out) const {
  return NumberBuilder::RoundSig(*this, digits, out);
}

namespace {

// Decimal exponent x + 1 of a nonzero value (10^x <= |v| < 10^(x+1)):
// the count of integer digits, or minus the zeros right after the point.
int IntegerDigits(int exp, int first_digit) { return 2 * exp - (first_digit < 10 ? 1 : 0); }

int FloatDigits(int binary_precision) {
  int b = binary_precision == kUnset ? 126 : binary_precision;
  return std::max(1, (b * 30103 + 99999) / 100000);
}

bool HasPrecision(const TypeDesc& t) { return t.precision != kUnset && t.precision != 0; }

}  // namespace

Status Number::FitToColumn(const TypeDesc& t, Number* out) const {
  if (t.kind == TypeKind::kFloat) return RoundSignificant(FloatDigits(t.precision), out);
  if (t.kind != TypeKind::kNumber || (t.scale == kUnset && !HasPrecision(t))) {
    *out = *this;
    return Status::Ok();
  }
  const int s = t.scale == kUnset ? 0 : t.scale;
  Number r;
  Status st = RoundChecked(s, &r);
  if (!st.ok()) return HasPrecision(t) ? OraError(ora::kPrecisionTooLarge) : st;
  if (HasPrecision(t) && !r.IsZero() && IntegerDigits(r.exp_, r.dig_[0]) > t.precision - s)
    return OraError(ora::kPrecisionTooLarge);
  *out = r;
  return Status::Ok();
}

Status FitEncodedNumber(const uint8_t* in, size_t n, const TypeDesc& t, uint8_t* out,
                        size_t* out_len) {
  // One pass over the bytes: validity, canonical form, the first and last
  // digit and the digit count are all the fit checks need.
  if (n == 0 || n > kNumberMaxBytes) return InvalidNumber();
  const uint8_t b0 = in[0];
  bool canonical = true;
  int exp = 0, m = 0, first = 0, last = 0;
  if (b0 & 0x80) {
    if (n == 1) {
      if (b0 != 0x80) return InvalidNumber();
      out[0] = 0x80;  // zero fits every column
      *out_len = 1;
      return Status::Ok();
    }
    exp = b0 - 0xC0;
    m = static_cast<int>(n) - 1;
    for (int i = 1; i <= m; ++i) {
      if (in[i] < 1 || in[i] > 100) return InvalidNumber();
    }
    first = in[1] - 1;
    last = in[m] - 1;
  } else {
    m = static_cast<int>(n) - 1;
    if (in[n - 1] == kNegTerminator) {
      --m;
    } else if (n < kNumberMaxBytes) {
      return InvalidNumber();
    }
    if (m == 0) return InvalidNumber();
    exp = 0x3F - b0;
    for (int i = 1; i <= m; ++i) {
      if (in[i] < 2 || in[i] > 101) return InvalidNumber();
    }
    first = 101 - in[1];
    last = 101 - in[m];
  }
  if (first == 0 || last == 0) canonical = false;

  bool fits = canonical;
  if (fits && t.kind == TypeKind::kFloat) {
    int digits = 2 * m - (first < 10 ? 1 : 0) - (last % 10 == 0 ? 1 : 0);
    fits = digits <= FloatDigits(t.precision);
  } else if (fits && t.kind == TypeKind::kNumber &&
             (t.scale != kUnset || HasPrecision(t))) {
    const int s = t.scale == kUnset ? 0 : t.scale;
    // Position of the lowest nonzero decimal digit: 10^-frac.
    int frac = 2 * (m - exp) - (last % 10 == 0 ? 1 : 0);
    fits = frac <= s && (!HasPrecision(t) || IntegerDigits(exp, first) <= t.precision - s);
  }
  if (fits) {
    std::memcpy(out, in, n);
    *out_len = n;
    return Status::Ok();
  }
  Number v;
  TABDB_RETURN_IF_ERROR(Number::Decode(in, n, &v));
  TABDB_RETURN_IF_ERROR(v.FitToColumn(t, &v));
  *out_len = v.EncodeTo(out);
  return Status::Ok();
}

}  // namespace tabdb

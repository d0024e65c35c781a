// number.h - Oracle NUMBER values: the decimal type the database stores in
// Oracle's own byte form, with its arithmetic, rounding, text conversion and
// the fitting of a value to a column's declared precision and scale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "util/status.h"
#include "values/types.h"

namespace tabdb {

// Bytes of the longest NUMBER byte form (exponent byte + 20 mantissa bytes).
constexpr size_t kNumberMaxBytes = 21;
// Customary buffer size for a NUMBER byte form (what DATA_LENGTH reports).
constexpr size_t kNumberBufferBytes = 22;

// A decimal number as Oracle's NUMBER holds it: zero, or a sign, a mantissa of
// 1 to 20 base-100 digits and a base-100 exponent, so that
//   value = 0.d1 d2 ... dm (base 100) x 100^exp.
// Invariants (every Number there is satisfies them):
//   * zero has no digits and is never negative;
//   * otherwise d1 != 0 and dm != 0 (no leading or trailing zero digit),
//     1 <= m <= 20 and -64 <= exp <= 63, i.e. 1E-130 <= |value| < 1E126.
// Twenty base-100 digits hold 40 significant decimal digits when the leading
// base-100 digit is 10..99, and 39 when it is 1..9.
//
// Results of arithmetic and conversions are rounded half away from zero to
// those 20 base-100 digits; magnitudes that reach 1E126 fail with ORA-01426
// and magnitudes below 1E-130 become zero, as in Oracle.
class Number {
 public:
  Number() = default;  // zero

  static Number FromInt64(int64_t v);

  // The shortest decimal form that reads back as `v` (at most 17 significant
  // digits), as Oracle converts a BINARY_DOUBLE to NUMBER. NaN, infinities
  // and |v| >= 1E126 give ORA-01426; |v| < 1E-130 gives zero.
  static Status FromDouble(double v, Number* out);

  // Numeric literal text: optional blanks around, optional sign, digits with
  // at most one '.', at least one digit, optional exponent E/e [sign] digits.
  // Anything else -> ORA-01722; |value| >= 1E126 -> ORA-01426.
  static Status Parse(std::string_view text, Number* out);

  // Reads an Oracle byte form of 1..21 bytes. Rejected with ORA-01722: a bad
  // length, digit bytes out of range, a negative value without its 0x66
  // terminator (required when it has fewer than 20 mantissa bytes), and the
  // legacy infinities (00 and FF 65), which have no value here. Leading and
  // trailing zero digits, which Oracle never writes, are accepted and
  // normalised away.
  static Status Decode(const uint8_t* p, size_t n, Number* out);

  // The canonical byte form (1..21 bytes). Byte forms compare with memcmp
  // (shorter one first on a common prefix) exactly as the values compare.
  std::string Encode() const;
  // The same into `out` (room for kNumberMaxBytes); returns the length.
  size_t EncodeTo(uint8_t* out) const;

  // TO_CHAR(n) without a format: the shortest fixed notation ("0", "12.3",
  // ".5", "-.5", "-12345678", "1000"); when that text would be longer than
  // 64 characters (sign included), scientific notation with every significant
  // digit and at least one after the point: "1.0E+125", "-1.25E-100".
  std::string ToString() const;
  // Fixed notation whatever the length, as ToString without its limit.
  std::string ToFixedString() const;
  // Scientific notation always (TO_CHAR(n, 'TME')): "1.23E+02", "0E+00"...
  // with at least two exponent digits; same mantissa rule as ToString.
  std::string ToScientificString() const;

  // Rounds half away from zero to an integer; ORA-01426 when the result is
  // outside the int64_t range.
  Status ToInt64(int64_t* out) const;
  // The nearest double (correctly rounded).
  double ToDouble() const;

  int Compare(const Number& o) const;  // -1, 0, 1
  bool operator==(const Number& o) const { return Compare(o) == 0; }
  bool operator!=(const Number& o) const { return Compare(o) != 0; }
  bool operator<(const Number& o) const { return Compare(o) < 0; }

  bool IsZero() const { return len_ == 0; }
  bool IsNegative() const { return neg_; }
  bool IsInteger() const { return len_ <= exp_ || len_ == 0; }
  // -1, 0 or 1.
  int Sign() const { return len_ == 0 ? 0 : (neg_ ? -1 : 1); }

  // Arithmetic; results rounded to 20 base-100 digits. Magnitudes >= 1E126
  // give ORA-01426, division by zero ORA-01476. `out` may alias an operand.
  static Status Add(const Number& a, const Number& b, Number* out);
  static Status Sub(const Number& a, const Number& b, Number* out);
  static Status Mul(const Number& a, const Number& b, Number* out);
  static Status Div(const Number& a, const Number& b, Number* out);
  // Oracle MOD: a - b * TRUNC(a / b) computed exactly (the result has the
  // sign of a); a when b is zero.
  static Status Mod(const Number& a, const Number& b, Number* out);

  Number Negate() const;
  Number Abs() const;

  // ROUND(n, scale): half away from zero at 10^-scale (scale may be negative).
  // The one result that cannot be represented (rounding up to 1E126, only for
  // |n| >= 5E125 and scale <= -125) fails in RoundChecked with ORA-01426;
  // Round then returns TRUNC(n, scale) instead.
  Status RoundChecked(int scale, Number* out) const;
  Number Round(int scale) const;
  // TRUNC(n, scale): toward zero at 10^-scale.
  Number Trunc(int scale) const;
  Number Floor() const;
  Number Ceil() const;
  // Rounds half away from zero to `digits` (>= 1) significant decimal digits;
  // ORA-01426 if that reaches 1E126.
  Status RoundSignificant(int digits, Number* out) const;

  // Makes the value fit a column of type `t`:
  //  * NUMBER(p,s), 1 <= p <= 38 (s defaults to 0): rounds to s decimal
  //    places (s < 0 rounds to 10^-s), then requires |value| < 10^(p-s),
  //    else ORA-01438. For s > p this means the first s-p decimals are zero.
  //  * NUMBER(*,s) (precision 0 or unset with a scale): rounds only.
  //  * NUMBER: keeps the value.
  //  * FLOAT(b): rounds to ceil(b * 0.30103) significant digits.
  // Other kinds keep the value. `out` may be this.
  Status FitToColumn(const TypeDesc& t, Number* out) const;

  // Decimal view: number of base-100 digits, the base-100 exponent and the
  // base-100 digit i (0-based). For code that walks the representation.
  int DigitCount() const { return len_; }
  int Exponent() const { return exp_; }
  int Digit(int i) const { return dig_[i]; }

 private:
  friend struct NumberBuilder;

  uint8_t dig_[20] = {};  // base-100 digits 0..99, dig_[0] most significant
  uint8_t len_ = 0;       // number of digits; 0 for zero
  int8_t exp_ = 0;        // base-100 exponent
  bool neg_ = false;
};

// Fast path used for every row of a bulk insert: validates the byte form `in`
// (n bytes) and makes it fit column type `t` (as Number::FitToColumn); writes
// the resulting byte form to `out` (room for kNumberBufferBytes) and its
// length to `out_len`. A canonical value that already fits is copied
// unchanged; nothing on this path allocates.
Status FitEncodedNumber(const uint8_t* in, size_t n, const TypeDesc& t, uint8_t* out,
                        size_t* out_len);

}  // namespace tabdb

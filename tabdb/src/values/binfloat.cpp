// binfloat.cpp - BINARY_FLOAT / BINARY_DOUBLE stored form, text and parsing.
//
// The stored form is built from the IEEE bit pattern with integer shifts, so
// it does not depend on the host's byte order.
#include "values/binfloat.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include "util/errors.h"

namespace tabdb {
namespace {

template <typename F>
using Bits = std::conditional_t<sizeof(F) == 4, uint32_t, uint64_t>;

template <typename F>
void EncodeIeee(F v, uint8_t* out) {
  using U = Bits<F>;
  constexpr int kBytes = sizeof(F);
  if (v == 0) v = 0;  // -0 -> +0
  if (std::isnan(v)) v = std::numeric_limits<F>::quiet_NaN();
  U bits;
  std::memcpy(&bits, &v, sizeof bits);
  if (std::isnan(v)) bits &= ~(U{1} << (kBytes * 8 - 1));  // positive quiet NaN
  const bool neg = bits >> (kBytes * 8 - 1);
  for (int i = 0; i < kBytes; ++i) out[i] = static_cast<uint8_t>(bits >> (8 * (kBytes - 1 - i)));
  if (neg) {
    for (int i = 0; i < kBytes; ++i) out[i] = static_cast<uint8_t>(~out[i]);
  } else {
    out[0] |= 0x80;
  }
}

template <typename F>
F DecodeIeee(const uint8_t* in) {
  using U = Bits<F>;
  constexpr int kBytes = sizeof(F);
  const bool pos = in[0] & 0x80;
  U bits = 0;
  for (int i = 0; i < kBytes; ++i) {
    uint8_t b = pos ? in[i] : static_cast<uint8_t>(~in[i]);
    if (i == 0 && pos) b &= 0x7F;
    bits = (bits << 8) | b;
  }
  F v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

template <typename F>
std::string IeeeToString(F v) {
  if (std::isnan(v)) return "Nan";
  if (std::isinf(v)) return v < 0 ? "-Inf" : "Inf";
  if (v == 0) return "0";
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
  // buf holds "-d.ddde+XX" or "de-XX"; rewrite to "-d.dddE+XXX".
  std::string_view s(buf, r.ptr - buf);
  size_t e = s.find('e');
  std::string out(s.substr(0, e));
  if (out.find('.') == std::string::npos) out += ".0";
  int exp = 0;
  std::string_view es = s.substr(e + 1);
  if (!es.empty() && es[0] == '+') es.remove_prefix(1);
  std::from_chars(es.data(), es.data() + es.size(), exp);
  out += 'E';
  out += exp < 0 ? '-' : '+';
  int a = exp < 0 ? -exp : exp;
  char eb[4] = {static_cast<char>('0' + a / 100), static_cast<char>('0' + a / 10 % 10),
                static_cast<char>('0' + a % 10), 0};
  out += eb;
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char c = a[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != b[i]) return false;
  }
  return true;
}

template <typename F>
Status ParseIeee(std::string_view s, F* out) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  bool neg = false;
  std::string_view body = s;
  if (!body.empty() && (body[0] == '+' || body[0] == '-')) {
    neg = body[0] == '-';
    body.remove_prefix(1);
  }
  if (EqualsNoCase(body, "inf") || EqualsNoCase(body, "infinity")) {
    *out = neg ? -std::numeric_limits<F>::infinity() : std::numeric_limits<F>::infinity();
    return Status::Ok();
  }
  if (EqualsNoCase(body, "nan") && s.size() == body.size()) {
    *out = std::numeric_limits<F>::quiet_NaN();
    return Status::Ok();
  }
  // Check the literal syntax ourselves (from_chars would also take hex
  // floats and "nan(...)"), noting where the value's magnitude lies so that
  // an out-of-range result can be told apart as overflow or underflow.
  size_t i = 0;
  bool digit = false, nonzero = false, point = false;
  long mag = 0;  // decimal position of the first nonzero digit
  for (; i < body.size(); ++i) {
    char c = body[i];
    if (c == '.') {
      if (point) return OraError(ora::kInvalidNumber);
      point = true;
    } else if (c >= '0' && c <= '9') {
      digit = true;
      if (c != '0') nonzero = true;
      if (!nonzero && point) --mag;
      if (nonzero && !point && mag < 100000) ++mag;
    } else {
      break;
    }
  }
  if (!digit) return OraError(ora::kInvalidNumber);
  long ev = 0;
  bool eneg = false;
  if (i < body.size()) {
    if (body[i] != 'e' && body[i] != 'E') return OraError(ora::kInvalidNumber);
    ++i;
    if (i < body.size() && (body[i] == '+' || body[i] == '-')) {
      eneg = body[i] == '-';
      ++i;
    }
    if (i == body.size()) return OraError(ora::kInvalidNumber);
    for (; i < body.size(); ++i) {
      if (body[i] < '0' || body[i] > '9') return OraError(ora::kInvalidNumber);
      if (ev < 100000) ev = ev * 10 + (body[i] - '0');
    }
  }
  F v = 0;
  auto r = std::from_chars(body.data(), body.data() + body.size(), v);
  if (r.ec == std::errc::result_out_of_range) {
    v = (mag + (eneg ? -ev : ev) > 0) ? std::numeric_limits<F>::infinity() : F(0);
  } else if (r.ec != std::errc() || r.ptr != body.data() + body.size()) {
    return OraError(ora::kInvalidNumber);
  }
  *out = neg ? -v : v;
  return Status::Ok();
}

}  // namespace

void EncodeBinaryFloat(float v, uint8_t out[4]) { EncodeIeee(v, out); }
float DecodeBinaryFloat(const uint8_t in[4]) { return DecodeIeee<float>(in); }
void EncodeBinaryDouble(double v, uint8_t out[8]) { EncodeIeee(v, out); }
double DecodeBinaryDouble(const uint8_t in[8]) { return DecodeIeee<double>(in); }

void CanonicalizeBinaryFloat(const uint8_t in[4], uint8_t out[4]) {
  EncodeIeee(DecodeIeee<float>(in), out);
}
void CanonicalizeBinaryDouble(const uint8_t in[8], uint8_t out[8]) {
  EncodeIeee(DecodeIeee<double>(in), out);
}

std::string BinaryFloatToString(float v) { return IeeeToString(v); }
std::string BinaryDoubleToString(double v) { return IeeeToString(v); }

Status ParseBinaryDouble(std::string_view text, double* out) { return ParseIeee(text, out); }
Status ParseBinaryFloat(std::string_view text, float* out) { return ParseIeee(text, out); }

}  // namespace tabdb

// fn_script.cpp - functions schema and data scripts call: RAW casts,
// SYS_GUID, STANDARD_HASH, ORA_HASH, DBMS_RANDOM and UNISTR.
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "charset/charset.h"
#include "exec/scalar_fns.h"
#include "util/errors.h"
#include "values/number.h"

namespace tabdb {

// UTL_RAW.CAST_TO_RAW ('R') and UTL_RAW.CAST_TO_VARCHAR2 ('V'): the same
// bytes under the other type.
void EvalRawCast(FnCall& c, Status* /*st*/) {
  if (c.arg(0).null || c.arg(0).bytes.empty()) return;
  *c.out = Value::Of(c.variant == 'R' ? TypeKind::kRaw : TypeKind::kVarchar2, c.arg(0).bytes);
}

// SYS_GUID: 16 random bytes, new on every call.
void EvalSysGuid(FnCall& c, Status* st) {
  unsigned char b[16];
  if (RAND_bytes(b, sizeof b) != 1) {
    *st = OraError(ora::kInternalError, {"SYS_GUID"});
    return;
  }
  *c.out = Value::Of(TypeKind::kRaw, std::string(reinterpret_cast<char*>(b), sizeof b));
}

// STANDARD_HASH(expr [, 'SHA1'|'SHA256'|'SHA384'|'SHA512'|'MD5']).
void EvalStandardHash(FnCall& c, Status* st) {
  if (c.arg(0).null) return;
  std::string method = c.nargs() > 1 && !c.arg(1).null ? c.arg(1).bytes : "SHA1";
  const EVP_MD* md = method == "SHA1"     ? EVP_sha1()
                     : method == "SHA256" ? EVP_sha256()
                     : method == "SHA384" ? EVP_sha384()
                     : method == "SHA512" ? EVP_sha512()
                     : method == "MD5"    ? EVP_md5()
                                          : nullptr;
  if (md == nullptr) {
    *st = OraError(ora::kIllegalArgument);
    return;
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  const std::string& in = c.arg(0).bytes;
  if (EVP_Digest(in.data(), in.size(), digest, &n, md, nullptr) != 1) {
    *st = OraError(ora::kInternalError, {"STANDARD_HASH"});
    return;
  }
  *c.out = Value::Of(TypeKind::kRaw, std::string(reinterpret_cast<char*>(digest), n));
}

// ORA_HASH(expr [, max_bucket [, seed]]): a bucket in 0..max_bucket
// (default 4294967295). The hash is FNV-1a over the value's bytes: values
// are deterministic but not the ones Oracle computes.
void EvalOraHash(FnCall& c, Status* st) {
  int64_t max_bucket = 4294967295LL, seed = 0;
  for (size_t i = 1; i < c.nargs() && i < 3; ++i) {
    if (c.arg(i).null) return;
    Number n;
    int64_t v = 0;
    const std::string& b = c.arg(i).bytes;
    if (!Number::Decode(reinterpret_cast<const uint8_t*>(b.data()), b.size(), &n).ok() ||
        !n.Trunc(0).ToInt64(&v).ok() || v < 0 || v > 4294967295LL) {
      *st = OraError(ora::kArgumentOutOfRange, {std::to_string(v)});
      return;
    }
    (i == 1 ? max_bucket : seed) = v;
  }
  uint64_t h = 1469598103934665603ULL ^ static_cast<uint64_t>(seed);
  if (!c.arg(0).null) {
    for (unsigned char ch : c.arg(0).bytes) {
      h ^= ch;
      h *= 1099511628211ULL;
    }
  }
  uint64_t h32 = (h ^ (h >> 32)) & 0xffffffffULL;
  int64_t bucket = static_cast<int64_t>(h32 % (static_cast<uint64_t>(max_bucket) + 1));
  *c.out = Value::Of(TypeKind::kNumber, Number::FromInt64(bucket).Encode());
}

// DBMS_RANDOM.VALUE [(low, high)]: a random number in [0, 1) or [low, high).
void EvalRandomValue(FnCall& c, Status* st) {
  uint64_t r = 0;
  if (RAND_bytes(reinterpret_cast<unsigned char*>(&r), sizeof r) != 1) {
    *st = OraError(ora::kInternalError, {"DBMS_RANDOM"});
    return;
  }
  // 38 significant digits as Oracle gives: the fraction from 64 random bits.
  char buf[64];
  std::snprintf(buf, sizeof buf, "0.%019llu%019llu", static_cast<unsigned long long>(r % 10000000000000000000ULL),
                static_cast<unsigned long long>((r * 6364136223846793005ULL + 1442695040888963407ULL) %
                                                10000000000000000000ULL));
  Number v;
  *st = Number::Parse(buf, &v);
  if (!st->ok()) return;
  if (c.nargs() == 2) {
    if (c.any_null()) return;
    Number lo, hi;
    const std::string& a = c.arg(0).bytes;
    const std::string& b = c.arg(1).bytes;
    *st = Number::Decode(reinterpret_cast<const uint8_t*>(a.data()), a.size(), &lo);
    if (st->ok()) *st = Number::Decode(reinterpret_cast<const uint8_t*>(b.data()), b.size(), &hi);
    if (!st->ok()) return;
    Number span, scaled;
    *st = Number::Sub(hi, lo, &span);
    if (st->ok()) *st = Number::Mul(span, v, &scaled);
    if (st->ok()) *st = Number::Add(lo, scaled, &v);
    if (!st->ok()) return;
  }
  *c.out = Value::Of(TypeKind::kNumber, v.Encode());
}

namespace {

bool RandomWord(uint64_t* r, Status* st) {
  if (RAND_bytes(reinterpret_cast<unsigned char*>(r), sizeof *r) == 1) return true;
  *st = OraError(ora::kInternalError, {"DBMS_RANDOM"});
  return false;
}

// A uniform random number in [0, 1) from 53 random bits.
bool RandomUnit(double* out, Status* st) {
  uint64_t r;
  if (!RandomWord(&r, st)) return false;
  *out = static_cast<double>(r >> 11) / 9007199254740992.0;
  return true;
}

// Four hexadecimal digits at s[i..i+4) as a UTF-16 code unit.
bool HexUnit(const std::string& s, size_t i, uint32_t* out) {
  if (i + 4 > s.size()) return false;
  uint32_t v = 0;
  for (size_t k = i; k < i + 4; ++k) {
    char ch = s[k];
    int d = ch >= '0' && ch <= '9'   ? ch - '0'
            : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10
            : ch >= 'A' && ch <= 'F' ? ch - 'A' + 10
                                     : -1;
    if (d < 0) return false;
    v = v * 16 + static_cast<uint32_t>(d);
  }
  *out = v;
  return true;
}

}  // namespace

// DBMS_RANDOM.STRING(opt, len): len random characters; opt U upper-case
// letters, L lower-case, A both, X upper-case letters and digits, P any
// printable character; any other option (or NULL) gives upper-case letters.
void EvalRandomString(FnCall& c, Status* st) {
  if (c.arg(1).null) return;
  Number n;
  const std::string& b = c.arg(1).bytes;
  *st = Number::Decode(reinterpret_cast<const uint8_t*>(b.data()), b.size(), &n);
  if (!st->ok()) return;
  int64_t len = 0;
  if (!n.Round(0).ToInt64(&len).ok()) len = n.ToDouble() < 0 ? 0 : 4000;
  if (len <= 0) return;
  if (len > 4000) len = 4000;
  char opt = c.arg(0).null || c.arg(0).bytes.empty() ? 'U' : c.arg(0).bytes[0];
  static const char kUpper[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  static const char kLower[] = "abcdefghijklmnopqrstuvwxyz";
  static const char kAlpha[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  static const char kAlnum[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string printable;
  for (int ch = 32; ch < 127; ++ch) printable.push_back(static_cast<char>(ch));
  std::string set = opt == 'l' || opt == 'L'   ? kLower
                    : opt == 'a' || opt == 'A' ? kAlpha
                    : opt == 'x' || opt == 'X' ? kAlnum
                    : opt == 'p' || opt == 'P' ? printable
                                               : kUpper;
  std::string out;
  out.reserve(static_cast<size_t>(len));
  for (int64_t i = 0; i < len; ++i) {
    uint64_t r;
    if (!RandomWord(&r, st)) return;
    out.push_back(set[r % set.size()]);
  }
  *c.out = Value::Of(TypeKind::kVarchar2, out);
}

// DBMS_RANDOM.NORMAL: a number of the standard normal distribution.
void EvalRandomNormal(FnCall& c, Status* st) {
  double u1 = 0, u2 = 0;
  do {
    if (!RandomUnit(&u1, st)) return;
  } while (u1 <= 0);
  if (!RandomUnit(&u2, st)) return;
  double v = std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
  Number n;
  *st = Number::FromDouble(v, &n);
  if (st->ok()) *c.out = Value::Of(TypeKind::kNumber, n.Encode());
}

// DBMS_RANDOM.RANDOM: an integer in [-2^31, 2^31).
void EvalRandomInt(FnCall& c, Status* st) {
  uint64_t r;
  if (!RandomWord(&r, st)) return;
  int64_t v = static_cast<int64_t>(r & 0xffffffffULL) - 2147483648LL;
  *c.out = Value::Of(TypeKind::kNumber, Number::FromInt64(v).Encode());
}

// UNISTR(text): \XXXX is the UTF-16 code unit XXXX (two of them a
// surrogate pair), \\ a backslash; other characters stay.
void EvalUnistr(FnCall& c, Status* st) {
  if (c.arg(0).null) return;
  const std::string& s = c.arg(0).bytes;
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\') {
      out.push_back(s[i]);
      continue;
    }
    if (i + 1 < s.size() && s[i + 1] == '\\') {
      out.push_back('\\');
      ++i;
      continue;
    }
    uint32_t u;
    if (!HexUnit(s, i + 1, &u)) {
      *st = OraError(ora::kUnistrEscape);
      return;
    }
    i += 4;
    if (u >= 0xD800 && u <= 0xDBFF) {
      uint32_t low;
      if (i + 1 < s.size() && s[i + 1] == '\\' && HexUnit(s, i + 2, &low) && low >= 0xDC00 && low <= 0xDFFF) {
        u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
        i += 5;
      } else {
        u = 0xFFFD;  // a lone surrogate has no character
      }
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      u = 0xFFFD;
    }
    AppendUtf8(u, &out);
  }
  if (!out.empty()) *c.out = Value::Of(TypeKind::kNVarchar2, out);
}

}  // namespace tabdb

// fn_script.cpp - functions schema and data scripts call: RAW casts,
// SYS_GUID, STANDARD_HASH and ORA_HASH.
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstdio>
#include <cstring>

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

}  // namespace tabdb

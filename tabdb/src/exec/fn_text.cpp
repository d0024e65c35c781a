// fn_text.cpp - character functions (UPPER, SUBSTR, INSTR, LIKE, ...) on
// UTF-8 text, counting characters as Oracle does for AL32UTF8 data.
#include <locale.h>
#include <wctype.h>

#include <algorithm>
#include <cstring>

#include "charset/charset.h"
#include "exec/compiler_internal.h"
#include "exec/convert.h"
#include "exec/scalar_fns.h"
#include "util/errors.h"
#include "values/number.h"

namespace tabdb {
namespace {

// Decodes one UTF-8 character at s[i]; advances i. Invalid bytes decode
// as themselves.
uint32_t NextChar(std::string_view s, size_t* i) {
  unsigned char c = static_cast<unsigned char>(s[*i]);
  int n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
  if (*i + static_cast<size_t>(n) > s.size()) n = 1;
  uint32_t cp = n == 1 ? c : n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
  for (int k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[*i + k]) & 0x3F);
  *i += static_cast<size_t>(n);
  return cp;
}


// Byte offsets of every character start, plus the end.
std::vector<size_t> CharStarts(std::string_view s) {
  std::vector<size_t> starts;
  size_t i = 0;
  while (i < s.size()) {
    starts.push_back(i);
    NextChar(s, &i);
  }
  starts.push_back(s.size());
  return starts;
}

locale_t Utf8Locale() {
  static locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return loc;
}

enum class Case { kUpper, kLower, kInitcap };

std::string ChangeCase(std::string_view s, Case how) {
  locale_t loc = Utf8Locale();
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  bool word_start = true;
  while (i < s.size()) {
    uint32_t cp = NextChar(s, &i);
    bool alnum = loc ? iswalnum_l(static_cast<wint_t>(cp), loc) : (cp < 128 && isalnum(static_cast<int>(cp)));
    bool up = how == Case::kUpper || (how == Case::kInitcap && word_start);
    if (loc) {
      cp = up ? static_cast<uint32_t>(towupper_l(static_cast<wint_t>(cp), loc))
              : static_cast<uint32_t>(towlower_l(static_cast<wint_t>(cp), loc));
    } else if (cp < 128) {
      cp = static_cast<uint32_t>(up ? toupper(static_cast<int>(cp)) : tolower(static_cast<int>(cp)));
    }
    AppendUtf8(cp, &out);
    word_start = !alnum;
  }
  return out;
}

// Oracle LIKE: % any string, _ one character, case-sensitive, with an
// optional escape character.
bool LikeMatch(std::string_view s, std::string_view p, uint32_t esc, bool has_esc) {
  size_t si = 0, pi = 0;
  size_t star_p = std::string_view::npos, star_s = 0;
  while (si < s.size()) {
    if (pi < p.size()) {
      size_t pj = pi;
      uint32_t pc = NextChar(p, &pj);
      if (has_esc && pc == esc && pj < p.size()) {
        size_t pk = pj;
        uint32_t lit = NextChar(p, &pk);
        size_t sj = si;
        if (NextChar(s, &sj) == lit) {
          si = sj;
          pi = pk;
          continue;
        }
      } else if (pc == '%') {
        star_p = pi;
        star_s = si;
        pi = pj;
        continue;
      } else if (pc == '_') {
        NextChar(s, &si);
        pi = pj;
        continue;
      } else {
        size_t sj = si;
        if (NextChar(s, &sj) == pc) {
          si = sj;
          pi = pj;
          continue;
        }
      }
    }
    if (star_p == std::string_view::npos) return false;
    pi = star_p;
    size_t pj = pi;
    NextChar(p, &pj);
    pi = pj;
    NextChar(s, &star_s);
    si = star_s;
  }
  while (pi < p.size()) {
    size_t pj = pi;
    if (NextChar(p, &pj) != '%') return false;
    pi = pj;
  }
  return true;
}

Status Instr(std::string_view s, std::string_view sub, int64_t pos, int64_t occ, int64_t* out) {
  *out = 0;
  if (occ <= 0) return OraError(ora::kArgumentOutOfRange, {std::to_string(occ)});
  if (pos == 0 || sub.empty()) return Status::Ok();
  std::vector<size_t> st = CharStarts(s);
  int64_t nchars = static_cast<int64_t>(st.size()) - 1;
  int64_t found = 0;
  if (pos > 0) {
    for (int64_t c = pos - 1; c < nchars; ++c) {
      if (s.compare(st[c], sub.size(), sub) == 0 && ++found == occ) {
        *out = c + 1;
        return Status::Ok();
      }
    }
  } else {
    for (int64_t c = nchars + pos; c >= 0; --c) {
      if (s.compare(st[c], sub.size(), sub) == 0 && ++found == occ) {
        *out = c + 1;
        return Status::Ok();
      }
    }
  }
  return Status::Ok();
}

std::string Pad(std::string_view s, int64_t n, std::string_view pad, bool left) {
  std::vector<size_t> st = CharStarts(s);
  int64_t have = static_cast<int64_t>(st.size()) - 1;
  if (n <= have) return std::string(s.substr(0, st[static_cast<size_t>(n)]));
  std::string fill;
  std::vector<size_t> ps = CharStarts(pad);
  int64_t pn = static_cast<int64_t>(ps.size()) - 1;
  for (int64_t k = 0; k < n - have; ++k) {
    size_t c = static_cast<size_t>(k % pn);
    fill.append(pad.substr(ps[c], ps[c + 1] - ps[c]));
  }
  return left ? fill + std::string(s) : std::string(s) + fill;
}

std::string TrimSet(std::string_view s, std::string_view set, char side) {
  auto in_set = [&](uint32_t cp) {
    size_t i = 0;
    while (i < set.size()) {
      if (NextChar(set, &i) == cp) return true;
    }
    return false;
  };
  std::vector<size_t> st = CharStarts(s);
  size_t b = 0, e = st.size() - 1;
  if (side == 'L' || side == 'B') {
    while (b < e) {
      size_t i = st[b];
      if (!in_set(NextChar(s, &i))) break;
      ++b;
    }
  }
  if (side == 'R' || side == 'B') {
    while (e > b) {
      size_t i = st[e - 1];
      if (!in_set(NextChar(s, &i))) break;
      --e;
    }
  }
  return std::string(s.substr(st[b], st[e] - st[b]));
}

int DumpType(TypeKind k) {
  switch (k) {
    case TypeKind::kVarchar2: case TypeKind::kNVarchar2: return 1;
    case TypeKind::kNumber: case TypeKind::kFloat: return 2;
    case TypeKind::kLong: return 8;
    case TypeKind::kDate: return 12;
    case TypeKind::kRaw: return 23;
    case TypeKind::kLongRaw: return 24;
    case TypeKind::kChar: case TypeKind::kNChar: return 96;
    case TypeKind::kBinaryFloat: return 100;
    case TypeKind::kBinaryDouble: return 101;
    case TypeKind::kClob: case TypeKind::kNClob: return 112;
    case TypeKind::kBlob: return 113;
    case TypeKind::kTimestamp: return 180;
    case TypeKind::kTimestampTZ: return 181;
    case TypeKind::kIntervalYM: return 182;
    case TypeKind::kIntervalDS: return 183;
    case TypeKind::kTimestampLTZ: return 231;
    default: return 1;
  }
}

}  // namespace

void SetText(Value* out, TypeKind k, std::string text) {
  out->kind = k;
  out->lob_id = 0;
  out->null = text.empty() && !IsLob(k);
  out->bytes = std::move(text);
}

Status ArgInt(const Value& v, int64_t* out) {
  Number n;
  TABDB_RETURN_IF_ERROR(
      Number::Decode(reinterpret_cast<const uint8_t*>(v.bytes.data()), v.bytes.size(), &n));
  return n.Trunc(0).ToInt64(out);
}

void EvalConcat(FnCall& c, Status* /*st*/) {
  Value* out = c.out;
  std::string s;
  bool all_null = true;
  for (const Value& v : *c.args) {
    if (!v.null) s += v.bytes;
    all_null = all_null && v.null;
  }
  SetText(out, c.result, std::move(s));
  if (IsLob(c.result) && all_null) out->null = true;
}

void EvalChangeCase(FnCall& c, Status* /*st*/) {
  Value* out = c.out;
  if (c.arg(0).null) return;
  SetText(out, c.result,
          ChangeCase(c.arg(0).bytes, c.variant == 'U'   ? Case::kUpper
                                     : c.variant == 'L' ? Case::kLower
                                                        : Case::kInitcap));
}

void EvalLength(FnCall& c, Status* /*st*/) {
  Value* out = c.out;
  if (c.arg(0).null) return;
  *out = Value::Of(TypeKind::kNumber,
                   Number::FromInt64(static_cast<int64_t>(c.variant == 'C'
                                                              ? Utf8CharCount(c.arg(0).bytes)
                                                              : c.arg(0).bytes.size()))
                       .Encode());
}

void EvalSubstr(FnCall& c, Status* st) {
  Value* out = c.out;
  if (c.any_null()) return;
  int64_t pos = 0, len = INT64_MAX;
  if (!(*st = ArgInt(c.arg(1), &pos)).ok()) return;
  if (c.nargs() == 3 && !(*st = ArgInt(c.arg(2), &len)).ok()) return;
  if (len < 1) return;
  std::vector<size_t> s = CharStarts(c.arg(0).bytes);
  int64_t n = static_cast<int64_t>(s.size()) - 1;
  if (pos == 0) pos = 1;
  if (pos < 0) pos = n + pos + 1;
  if (pos < 1 || pos > n) return;
  int64_t end = len > n ? n : std::min(n, pos - 1 + len);
  SetText(out, c.result,
          c.arg(0).bytes.substr(s[pos - 1], s[static_cast<size_t>(end)] - s[pos - 1]));
}

void EvalInstr(FnCall& c, Status* st) {
  Value* out = c.out;
  if (c.any_null()) return;
  int64_t pos = 1, occ = 1, r = 0;
  if (c.nargs() >= 3 && !(*st = ArgInt(c.arg(2), &pos)).ok()) return;
  if (c.nargs() >= 4 && !(*st = ArgInt(c.arg(3), &occ)).ok()) return;
  if (!(*st = Instr(c.arg(0).bytes, c.arg(1).bytes, pos, occ, &r)).ok()) return;
  *out = Value::Of(TypeKind::kNumber, Number::FromInt64(r).Encode());
}

void EvalReplace(FnCall& c, Status* /*st*/) {
  Value* out = c.out;
  if (c.arg(0).null) return;
  if (c.arg(1).null || c.arg(1).bytes.empty()) {
    SetText(out, c.result, c.arg(0).bytes);
    return;
  }
  std::string to = c.nargs() == 3 && !c.arg(2).null ? c.arg(2).bytes : "";
  const std::string& s = c.arg(0).bytes;
  const std::string& from = c.arg(1).bytes;
  std::string r;
  size_t i = 0;
  for (size_t f; (f = s.find(from, i)) != std::string::npos; i = f + from.size()) {
    r.append(s, i, f - i);
    r += to;
  }
  r.append(s, i, std::string::npos);
  SetText(out, c.result, std::move(r));
}

void EvalTrim(FnCall& c, Status* /*st*/) {
  Value* out = c.out;
  // Arguments: text, [set]; the variant is the side ('L', 'R', 'B').
  if (c.arg(0).null) return;
  std::string set = " ";
  if (c.nargs() == 2) {
    if (c.arg(1).null) return;
    set = c.arg(1).bytes;
  }
  SetText(out, c.result, TrimSet(c.arg(0).bytes, set, static_cast<char>(c.variant)));
}

void EvalPad(FnCall& c, Status* st) {
  Value* out = c.out;
  if (c.any_null()) return;
  int64_t n = 0;
  if (!(*st = ArgInt(c.arg(1), &n)).ok()) return;
  if (n < 1) return;
  std::string pad = c.nargs() == 3 ? c.arg(2).bytes : " ";
  if (pad.empty()) return;
  // VARCHAR2 results stop at 32767 characters; CLOB results do not.
  int64_t limit = IsLob(c.result) ? (int64_t{1} << 31) : 32767;
  SetText(out, c.result, Pad(c.arg(0).bytes, std::min<int64_t>(n, limit), pad, c.variant == 'L'));
}

void EvalChr(FnCall& c, Status* st) {
  Value* out = c.out;
  if (c.arg(0).null) return;
  int64_t n = 0;
  if (!(*st = ArgInt(c.arg(0), &n)).ok()) return;
  std::string s;
  for (int shift = 24; shift > 0; shift -= 8) {
    if ((n >> shift) & 0xFF) s.push_back(static_cast<char>((n >> shift) & 0xFF));
  }
  s.push_back(static_cast<char>(n & 0xFF));
  SetText(out, TypeKind::kVarchar2, std::move(s));
}

void EvalAscii(FnCall& c, Status* /*st*/) {
  Value* out = c.out;
  if (c.arg(0).null) return;
  const std::string& s = c.arg(0).bytes;
  size_t i = 0;
  NextChar(s, &i);
  int64_t v = 0;
  for (size_t k = 0; k < i; ++k) v = (v << 8) | static_cast<unsigned char>(s[k]);
  *out = Value::Of(TypeKind::kNumber, Number::FromInt64(v).Encode());
}

void EvalDump(FnCall& c, Status* /*st*/) {
  Value* out = c.out;
  const Value& v = c.arg(0);
  if (v.null) {
    SetText(out, TypeKind::kVarchar2, "NULL");
    return;
  }
  std::string s = "Typ=" + std::to_string(DumpType(v.kind)) +
                  " Len=" + std::to_string(v.bytes.size()) + ": ";
  for (size_t i = 0; i < v.bytes.size(); ++i) {
    if (i) s += ",";
    s += std::to_string(static_cast<unsigned char>(v.bytes[i]));
  }
  SetText(out, TypeKind::kVarchar2, std::move(s));
}

void EvalLike(FnCall& c, Status* st) {
  Value* out = c.out;
  if (c.arg(0).null || c.arg(1).null) return;
  uint32_t esc = 0;
  bool has_esc = c.nargs() == 3;
  if (has_esc) {
    if (c.arg(2).null) return;
    size_t i = 0;
    if (Utf8CharCount(c.arg(2).bytes) != 1) {
      *st = OraErrorText(ora::kInvalidEscape, "escape character must be character string of length 1");
      return;
    }
    esc = NextChar(c.arg(2).bytes, &i);
  }
  out->null = false;
  out->bytes = LikeMatch(c.arg(0).bytes, c.arg(1).bytes, esc, has_esc) ? "1" : "0";
}

void EvalRawToHex(FnCall& c, Status* /*st*/) {
  Value* out = c.out;
  if (c.arg(0).null) return;
  if (IsTextClass(c.arg(0).kind)) {
    SetText(out, TypeKind::kVarchar2, ToHex(c.arg(0).bytes));
  } else {
    SetText(out, TypeKind::kVarchar2, ToHex(c.arg(0).bytes));
  }
}

void EvalHexToRaw(FnCall& c, Status* st) {
  Value* out = c.out;
  if (c.arg(0).null) return;
  std::string b;
  if (!(*st = FromHex(c.arg(0).bytes, &b)).ok()) return;
  *out = Value::Of(TypeKind::kRaw, std::move(b));
  if (out->bytes.empty()) out->null = true;
}

}  // namespace tabdb

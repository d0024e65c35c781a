// fn_lob.cpp - LOB functions (DBMS_LOB.GETLENGTH, SUBSTR, INSTR and
// COMPARE, LENGTH of a LOB, TO_CLOB, TO_BLOB) and DBMS_METADATA.GET_DDL.
#include <algorithm>
#include <cstdint>

#include "catalog/catalog.h"
#include "charset/charset.h"
#include "exec/compiler_internal.h"
#include "exec/convert.h"
#include "exec/scalar_fns.h"
#include "storage/lob_store.h"
#include "util/errors.h"
#include "values/number.h"

namespace tabdb {
namespace {

void PutInt(Value* out, int64_t v) {
  *out = Value::Of(TypeKind::kNumber, Number::FromInt64(v).Encode());
}

bool IsCharLob(TypeKind k) {
  return k == TypeKind::kClob || k == TypeKind::kNClob || k == TypeKind::kLong;
}

// Characters of a character LOB are counted in UTF-16 units as Oracle
// does; BLOBs in bytes.
Status LobLength(Session& s, const Value& v, int64_t* out) {
  bool chars = IsCharLob(v.kind) || IsCharacter(v.kind);
  if (v.lob_id != 0) {
    LobStore lobs(s.db());
    LobInfo info;
    TABDB_RETURN_IF_ERROR(lobs.Info(v.lob_id, &info));
    *out = static_cast<int64_t>(chars ? info.units : info.bytes);
    return Status::Ok();
  }
  *out = static_cast<int64_t>(chars ? Utf16UnitCount(v.bytes) : v.bytes.size());
  return Status::Ok();
}

Status LobSubstr(Session& s, const Value& v, int64_t amount, int64_t offset, Value* out,
                 TypeKind result) {
  if (amount < 1 || offset < 1) return Status::Ok();  // NULL, as DBMS_LOB.SUBSTR answers
  bool chars = IsCharLob(v.kind);
  std::string piece;
  if (v.lob_id != 0) {
    LobStore lobs(s.db());
    if (chars) {
      uint64_t b0 = 0, b1 = 0;
      TABDB_RETURN_IF_ERROR(lobs.ByteOffsetOfUnits(v.lob_id, static_cast<uint64_t>(offset - 1), &b0));
      TABDB_RETURN_IF_ERROR(
          lobs.ByteOffsetOfUnits(v.lob_id, static_cast<uint64_t>(offset - 1 + amount), &b1));
      TABDB_RETURN_IF_ERROR(lobs.Read(v.lob_id, b0, static_cast<size_t>(b1 - b0), &piece));
    } else {
      TABDB_RETURN_IF_ERROR(lobs.Read(v.lob_id, static_cast<uint64_t>(offset - 1),
                                      static_cast<size_t>(amount), &piece));
    }
  } else if (chars) {
    std::string_view t = v.bytes;
    size_t units = 0;
    size_t skip = Utf8PrefixForUnits(t, static_cast<size_t>(offset - 1), &units);
    t.remove_prefix(skip);
    size_t take = Utf8PrefixForUnits(t, static_cast<size_t>(amount), &units);
    piece.assign(t.substr(0, take));
  } else if (static_cast<size_t>(offset - 1) < v.bytes.size()) {
    piece = v.bytes.substr(static_cast<size_t>(offset - 1), static_cast<size_t>(amount));
  }
  if (piece.empty()) return Status::Ok();
  *out = Value::Of(result, std::move(piece));
  return Status::Ok();
}

}  // namespace

void EvalConvert(FnCall& c, Status* st) {
  LobStore lobs(c.session->db());
  *st = ConvertValue(c.arg(0), c.result, c.out, &lobs);
}

void EvalLobLength(FnCall& c, Status* st) {
  Value* out = c.out;
  if (c.arg(0).null) return;
  int64_t n = 0;
  if ((*st = LobLength(*c.session, c.arg(0), &n)).ok()) PutInt(out, n);
}

void EvalLobSubstr(FnCall& c, Status* st) {
  Value* out = c.out;
  if (c.any_null()) return;
  int64_t amount = 32767, offset = 1;
  if (c.nargs() >= 2 && !(*st = ArgInt(c.arg(1), &amount)).ok()) return;
  if (c.nargs() >= 3 && !(*st = ArgInt(c.arg(2), &offset)).ok()) return;
  *st = LobSubstr(*c.session, c.arg(0), amount, offset, out, c.result);
}

namespace {

// The whole value of a LOB argument (at most `limit` bytes).
Status LobBytes(Session& s, const Value& v, std::string* out) {
  if (v.lob_id == 0) {
    *out = v.bytes;
    return Status::Ok();
  }
  LobStore lobs(s.db());
  return lobs.ReadAll(v.lob_id, size_t{64} << 20, out);
}

// Byte offsets where the characters of `s` start (each byte of a BLOB),
// its length last.
std::vector<size_t> CharStarts(const std::string& s, bool chars) {
  std::vector<size_t> out;
  for (size_t i = 0; i < s.size(); ++i)
    if (!chars || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) out.push_back(i);
  out.push_back(s.size());
  return out;
}

}  // namespace

// DBMS_LOB.INSTR(lob, pattern [, offset [, nth]]): the position of the
// nth match at or after offset, 0 when none; NULL for arguments out of
// range.
void EvalLobInstr(FnCall& c, Status* st) {
  if (c.any_null()) return;
  int64_t offset = 1, nth = 1;
  if (c.nargs() >= 3 && !(*st = ArgInt(c.arg(2), &offset)).ok()) return;
  if (c.nargs() >= 4 && !(*st = ArgInt(c.arg(3), &nth)).ok()) return;
  if (offset < 1 || nth < 1) return;
  std::string text, pattern;
  if (!(*st = LobBytes(*c.session, c.arg(0), &text)).ok()) return;
  if (!(*st = LobBytes(*c.session, c.arg(1), &pattern)).ok()) return;
  bool chars = c.arg(0).kind != TypeKind::kBlob;
  std::vector<size_t> at = CharStarts(text, chars);
  if (static_cast<size_t>(offset) > at.size() - 1 || pattern.empty()) {
    PutInt(c.out, 0);
    return;
  }
  size_t pos = at[static_cast<size_t>(offset - 1)];
  int64_t found = 0;
  while ((pos = text.find(pattern, pos)) != std::string::npos) {
    if (++found == nth) {
      PutInt(c.out, static_cast<int64_t>(std::lower_bound(at.begin(), at.end(), pos) - at.begin()) + 1);
      return;
    }
    pos += 1;
  }
  PutInt(c.out, 0);
}

// DBMS_LOB.COMPARE(a, b [, amount [, offset_a [, offset_b]]]): 0 when the
// pieces are equal, else -1 or 1 as the first differs.
void EvalLobCompare(FnCall& c, Status* st) {
  if (c.any_null()) return;
  int64_t amount = INT64_MAX, off1 = 1, off2 = 1;
  if (c.nargs() >= 3 && !(*st = ArgInt(c.arg(2), &amount)).ok()) return;
  if (c.nargs() >= 4 && !(*st = ArgInt(c.arg(3), &off1)).ok()) return;
  if (c.nargs() >= 5 && !(*st = ArgInt(c.arg(4), &off2)).ok()) return;
  if (amount < 1 || off1 < 1 || off2 < 1) return;
  std::string a, b;
  if (!(*st = LobBytes(*c.session, c.arg(0), &a)).ok()) return;
  if (!(*st = LobBytes(*c.session, c.arg(1), &b)).ok()) return;
  bool chars = c.arg(0).kind != TypeKind::kBlob;
  auto piece = [&](const std::string& s, int64_t off) {
    std::vector<size_t> at = CharStarts(s, chars);
    size_t n = at.size() - 1;
    size_t from = std::min(n, static_cast<size_t>(off - 1));
    size_t to = amount >= static_cast<int64_t>(n - from) ? n : from + static_cast<size_t>(amount);
    return s.substr(at[from], at[to] - at[from]);
  };
  int r = piece(a, off1).compare(piece(b, off2));
  PutInt(c.out, r < 0 ? -1 : r > 0 ? 1 : 0);
}

void EvalToLob(FnCall& c, Status* st) {
  Value* out = c.out;
  const Value& v = c.arg(0);
  if (v.null) return;
  if (v.lob_id != 0 || IsLob(v.kind)) {
    *out = v;
    out->kind = c.result;
    return;
  }
  if (c.result == TypeKind::kBlob) {
    *st = ConvertValue(v, TypeKind::kRaw, out);
  } else {
    *st = ConvertValue(v, TypeKind::kVarchar2, out);
  }
  out->kind = c.result;
}

namespace {

using MetadataFn = Status (*)(Session& s, const std::string& type, const std::string& name,
                              const std::string& schema, std::string* out);

// DBMS_METADATA.GET_DDL and GET_DEPENDENT_DDL: (type, name [, schema]), the
// schema defaulting to the session user.
void EvalMetadata(FnCall& c, Status* st, MetadataFn fn) {
  Value* out = c.out;
  if (c.arg(0).null || c.arg(1).null) return;
  std::string schema = c.nargs() >= 3 && !c.arg(2).null ? c.arg(2).bytes
                                                        : c.session->user().name;
  std::string text;
  *st = fn(*c.session, c.arg(0).bytes, c.arg(1).bytes, schema, &text);
  if (st->ok()) *out = Value::Of(TypeKind::kClob, std::move(text));
}

}  // namespace

void EvalGetDdl(FnCall& c, Status* st) { EvalMetadata(c, st, GetDdl); }

void EvalGetDependentDdl(FnCall& c, Status* st) { EvalMetadata(c, st, GetDependentDdl); }

}  // namespace tabdb

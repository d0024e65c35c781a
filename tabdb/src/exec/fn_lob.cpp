// fn_lob.cpp - LOB functions (DBMS_LOB.GETLENGTH and SUBSTR, LENGTH of a
// LOB, TO_CLOB, TO_BLOB) and DBMS_METADATA.GET_DDL.
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

// DBMS_METADATA.GET_DDL, and GET_DEPENDENT_DDL (variant 'D').
void EvalGetDdl(FnCall& c, Status* st) {
  Value* out = c.out;
  if (c.arg(0).null || c.arg(1).null) return;
  std::string schema = c.nargs() >= 3 && !c.arg(2).null ? c.arg(2).bytes
                                                        : c.session->user().name;
  std::string text;
  *st = c.variant == 'D' ? GetDependentDdl(*c.session, c.arg(0).bytes, c.arg(1).bytes, schema, &text)
                         : GetDdl(*c.session, c.arg(0).bytes, c.arg(1).bytes, schema, &text);
  if (st->ok()) *out = Value::Of(TypeKind::kClob, std::move(text));
}

}  // namespace tabdb

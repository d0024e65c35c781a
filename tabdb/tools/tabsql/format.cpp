// format.cpp - printing values in the SQL shell.
#include "format.h"

#include "exec/convert.h"
#include "storage/lob_store.h"
#include "values/datetime.h"
#include "values/datetime_format.h"
#include "values/interval.h"

namespace tabsql {

using namespace tabdb;

namespace {

const uint8_t* Bytes(const Value& v) { return reinterpret_cast<const uint8_t*>(v.bytes.data()); }

// Reads a stored LOB or LONG value whole, chunk by chunk.
Status ReadLob(Session& s, int64_t id, std::string* out) {
  LobStore lobs(s.db());
  LobInfo info;
  TABDB_RETURN_IF_ERROR(lobs.Info(id, &info));
  out->clear();
  std::string piece;
  for (uint64_t off = 0; off < info.bytes; off += kLobChunk) {
    TABDB_RETURN_IF_ERROR(lobs.Read(id, off, kLobChunk, &piece));
    out->append(piece);
  }
  return Status::Ok();
}

Status Datetime(const TypeDesc& type, const Value& v, std::string* out) {
  Value local = v;
  if (v.kind == TypeKind::kTimestampLTZ) {
    TABDB_RETURN_IF_ERROR(ConvertValue(v, TypeKind::kTimestamp, &local));
  }
  DateTime d;
  TypeKind k = local.kind;
  if (k == TypeKind::kDate) {
    TABDB_RETURN_IF_ERROR(DecodeDate(Bytes(local), local.bytes.size(), &d));
    return FormatDateTime(d, k, d.year < 0 ? "SYYYY-MM-DD HH24:MI:SS" : "YYYY-MM-DD HH24:MI:SS",
                          out);
  }
  int digits = type.precision == kUnset ? 6 : type.precision;
  std::string fmt = digits > 0 ? "YYYY-MM-DD HH24:MI:SS.FF" + std::to_string(digits)
                               : "YYYY-MM-DD HH24:MI:SS";
  if (k == TypeKind::kTimestampTZ) {
    TABDB_RETURN_IF_ERROR(DecodeTimestampTZ(Bytes(local), local.bytes.size(), &d));
    fmt += " TZH:TZM";
  } else {
    TABDB_RETURN_IF_ERROR(DecodeTimestamp(Bytes(local), local.bytes.size(), &d));
  }
  if (d.year < 0) fmt = "S" + fmt;
  return FormatDateTime(d, k, fmt, out);
}

}  // namespace

Status FormatValue(Session& s, const TypeDesc& type, const Value& v, std::string* out) {
  out->clear();
  if (v.null) return Status::Ok();
  std::string raw;
  switch (v.kind) {
    case TypeKind::kDate:
    case TypeKind::kTimestamp:
    case TypeKind::kTimestampTZ:
    case TypeKind::kTimestampLTZ:
      return Datetime(type, v, out);
    case TypeKind::kIntervalYM: {
      IntervalYM x;
      TABDB_RETURN_IF_ERROR(DecodeIntervalYM(Bytes(v), v.bytes.size(), &x));
      *out = IntervalYMToString(x, type.precision == kUnset ? 2 : type.precision);
      return Status::Ok();
    }
    case TypeKind::kIntervalDS: {
      IntervalDS x;
      TABDB_RETURN_IF_ERROR(DecodeIntervalDS(Bytes(v), v.bytes.size(), &x));
      *out = IntervalDSToString(x, type.precision == kUnset ? 2 : type.precision,
                                type.scale == kUnset ? 6 : type.scale);
      return Status::Ok();
    }
    case TypeKind::kClob:
    case TypeKind::kNClob:
    case TypeKind::kLong:
      if (v.lob_id != 0) return ReadLob(s, v.lob_id, out);
      *out = v.bytes;
      return Status::Ok();
    case TypeKind::kBlob:
    case TypeKind::kLongRaw:
      if (v.lob_id != 0) {
        TABDB_RETURN_IF_ERROR(ReadLob(s, v.lob_id, &raw));
        *out = ToHex(raw);
        return Status::Ok();
      }
      *out = ToHex(v.bytes);
      return Status::Ok();
    default:
      return ValueToText(v, out);
  }
}

std::string DescribeType(const TypeDesc& t) {
  if (t.kind == TypeKind::kNumber && t.precision != kUnset && t.precision != 0 &&
      (t.scale == 0 || t.scale == kUnset)) {
    return "NUMBER(" + std::to_string(t.precision) + ")";
  }
  return DdlTypeText(t);
}

}  // namespace tabsql

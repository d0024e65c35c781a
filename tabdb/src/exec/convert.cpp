// convert.cpp - Oracle's implicit conversions and column fitting.
#include "exec/convert.h"

#include <cstring>

#include "charset/charset.h"
#include "sql/printer.h"
#include "storage/lob_store.h"
#include "util/errors.h"
#include "values/binfloat.h"
#include "values/datetime.h"
#include "values/datetime_format.h"
#include "values/interval.h"
#include "values/number.h"

namespace tabdb {
namespace {

bool IsTextKind(TypeKind k) {
  return IsCharacter(k) || k == TypeKind::kLong || k == TypeKind::kClob || k == TypeKind::kNClob;
}

bool IsBinaryKind(TypeKind k) {
  return k == TypeKind::kRaw || k == TypeKind::kLongRaw || k == TypeKind::kBlob;
}

const char* TypeName(TypeKind k) {
  switch (k) {
    case TypeKind::kNumber: case TypeKind::kFloat: return "NUMBER";
    case TypeKind::kDate: return "DATE";
    case TypeKind::kTimestamp: return "TIMESTAMP";
    case TypeKind::kTimestampTZ: return "TIMESTAMP WITH TIME ZONE";
    case TypeKind::kTimestampLTZ: return "TIMESTAMP WITH LOCAL TIME ZONE";
    case TypeKind::kIntervalYM: return "INTERVAL YEAR TO MONTH";
    case TypeKind::kIntervalDS: return "INTERVAL DAY TO SECOND";
    case TypeKind::kRaw: return "BINARY";
    case TypeKind::kLongRaw: return "LONG BINARY";
    case TypeKind::kBlob: return "BLOB";
    case TypeKind::kClob: return "CLOB";
    case TypeKind::kNClob: return "NCLOB";
    case TypeKind::kLong: return "LONG";
    case TypeKind::kBinaryFloat: return "BINARY_FLOAT";
    case TypeKind::kBinaryDouble: return "BINARY_DOUBLE";
    default: return "CHAR";
  }
}

Status Inconsistent(TypeKind want, TypeKind got) {
  return OraError(ora::kInconsistentDatatypes, {TypeName(want), TypeName(got)});
}

Status DecodeAnyDate(const Value& v, DateTime* d) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(v.bytes.data());
  switch (v.kind) {
    case TypeKind::kDate:
      return DecodeDate(p, v.bytes.size(), d);
    case TypeKind::kTimestamp:
      return DecodeTimestamp(p, v.bytes.size(), d);
    case TypeKind::kTimestampLTZ: {
      // Stored in UTC; shown in the session time zone.
      DateTime utc;
      TABDB_RETURN_IF_ERROR(DecodeTimestamp(p, v.bytes.size(), &utc));
      *d = FromUtc(utc, SessionOffsetMinutes(EpochSeconds(utc)));
      d->tz_offset_minutes = 0;
      return Status::Ok();
    }
    case TypeKind::kTimestampTZ:
      return DecodeTimestampTZ(p, v.bytes.size(), d);
    default:
      return OraError(ora::kInconsistentDatatypes, {"DATE", TypeName(v.kind)});
  }
}

Status EncodeAnyDate(const DateTime& local, TypeKind to, Value* out) {
  uint8_t buf[13];
  out->kind = to;
  out->null = false;
  switch (to) {
    case TypeKind::kDate: {
      DateTime d = local;
      d.nanos = 0;
      EncodeDate(d, buf);
      out->bytes.assign(reinterpret_cast<char*>(buf), 7);
      return Status::Ok();
    }
    case TypeKind::kTimestamp: {
      size_t n = EncodeTimestamp(local, buf);
      out->bytes.assign(reinterpret_cast<char*>(buf), n);
      return Status::Ok();
    }
    case TypeKind::kTimestampLTZ: {
      DateTime utc = ToUtc(local);
      utc.tz_offset_minutes = 0;
      size_t n = EncodeTimestamp(utc, buf);
      out->bytes.assign(reinterpret_cast<char*>(buf), n);
      return Status::Ok();
    }
    case TypeKind::kTimestampTZ: {
      EncodeTimestampTZ(local, buf);
      out->bytes.assign(reinterpret_cast<char*>(buf), 13);
      return Status::Ok();
    }
    default:
      return Inconsistent(to, TypeKind::kDate);
  }
}

// A local time without zone gets the session's zone (for TIMESTAMP WITH
// TIME ZONE and WITH LOCAL TIME ZONE targets).
DateTime WithSessionZone(DateTime d) {
  d.tz_region = 0;
  DateTime guess = d;
  guess.tz_offset_minutes = 0;
  d.tz_offset_minutes = SessionOffsetMinutes(EpochSeconds(guess));
  return d;
}

const char* DefaultFormat(TypeKind k) {
  switch (k) {
    case TypeKind::kDate: return kNlsDateFormat;
    case TypeKind::kTimestampTZ: return kNlsTimestampTzFormat;
    default: return kNlsTimestampFormat;
  }
}

Status NumberFromValue(const Value& v, Number* n) {
  return Number::Decode(reinterpret_cast<const uint8_t*>(v.bytes.data()), v.bytes.size(), n);
}

double DoubleFromValue(const Value& v) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(v.bytes.data());
  if (v.kind == TypeKind::kBinaryFloat && v.bytes.size() == 4) return DecodeBinaryFloat(p);
  if (v.bytes.size() == 8) return DecodeBinaryDouble(p);
  return 0;
}

void PutDouble(double d, TypeKind to, Value* out) {
  uint8_t buf[8];
  out->kind = to;
  out->null = false;
  if (to == TypeKind::kBinaryFloat) {
    EncodeBinaryFloat(static_cast<float>(d), buf);
    out->bytes.assign(reinterpret_cast<char*>(buf), 4);
  } else {
    EncodeBinaryDouble(d, buf);
    out->bytes.assign(reinterpret_cast<char*>(buf), 8);
  }
}

Status TextOfLob(const Value& v, LobStore* lobs, std::string* out) {
  if (v.lob_id == 0) {
    *out = v.bytes;
    return Status::Ok();
  }
  if (lobs == nullptr) return OraError(ora::kInvalidLobLocator);
  return lobs->ReadAll(v.lob_id, 32767, out);
}

}  // namespace

std::string ToHex(std::string_view bytes) {
  static const char* kDigits = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

Status FromHex(std::string_view hex, std::string* out) {
  out->clear();
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  size_t i = 0;
  if (hex.size() % 2 == 1) {
    // An odd count of digits: the first one stands alone, as Oracle reads it.
    int v = nibble(hex[0]);
    if (v < 0) return OraError(ora::kInvalidHexNumber);
    out->push_back(static_cast<char>(v));
    i = 1;
  }
  for (; i < hex.size(); i += 2) {
    int hi = nibble(hex[i]), lo = nibble(hex[i + 1]);
    if (hi < 0 || lo < 0) return OraError(ora::kInvalidHexNumber);
    out->push_back(static_cast<char>(hi * 16 + lo));
  }
  return Status::Ok();
}

Status ValueToText(const Value& in, std::string* out, LobStore* lobs) {
  out->clear();
  if (in.null) return Status::Ok();
  switch (in.kind) {
    case TypeKind::kNumber:
    case TypeKind::kFloat: {
      Number n;
      TABDB_RETURN_IF_ERROR(NumberFromValue(in, &n));
      *out = n.ToString();
      return Status::Ok();
    }
    case TypeKind::kBinaryFloat:
      *out = BinaryFloatToString(static_cast<float>(DoubleFromValue(in)));
      return Status::Ok();
    case TypeKind::kBinaryDouble:
      *out = BinaryDoubleToString(DoubleFromValue(in));
      return Status::Ok();
    case TypeKind::kDate:
    case TypeKind::kTimestamp:
    case TypeKind::kTimestampTZ:
    case TypeKind::kTimestampLTZ: {
      DateTime d;
      TABDB_RETURN_IF_ERROR(DecodeAnyDate(in, &d));
      return FormatDateTime(d, in.kind, DefaultFormat(in.kind), out);
    }
    case TypeKind::kIntervalYM: {
      IntervalYM v;
      TABDB_RETURN_IF_ERROR(DecodeIntervalYM(reinterpret_cast<const uint8_t*>(in.bytes.data()),
                                             in.bytes.size(), &v));
      *out = IntervalYMToString(v, 2);
      return Status::Ok();
    }
    case TypeKind::kIntervalDS: {
      IntervalDS v;
      TABDB_RETURN_IF_ERROR(DecodeIntervalDS(reinterpret_cast<const uint8_t*>(in.bytes.data()),
                                             in.bytes.size(), &v));
      *out = IntervalDSToString(v, 2, 6);
      return Status::Ok();
    }
    case TypeKind::kRaw:
    case TypeKind::kLongRaw:
      *out = ToHex(in.bytes);
      return Status::Ok();
    case TypeKind::kBlob: {
      std::string b;
      TABDB_RETURN_IF_ERROR(TextOfLob(in, lobs, &b));
      *out = ToHex(b);
      return Status::Ok();
    }
    case TypeKind::kClob:
    case TypeKind::kNClob:
    case TypeKind::kLong:
      return TextOfLob(in, lobs, out);
    default:
      *out = in.bytes;
      return Status::Ok();
  }
}

Status ValueToTypedText(const Value& in, const TypeDesc& type, std::string* out, LobStore* lobs) {
  if (in.null || in.kind != type.kind) return ValueToText(in, out, lobs);
  const uint8_t* p = reinterpret_cast<const uint8_t*>(in.bytes.data());
  switch (in.kind) {
    case TypeKind::kTimestamp:
    case TypeKind::kTimestampTZ:
    case TypeKind::kTimestampLTZ: {
      if (type.precision == kUnset) break;
      DateTime d;
      TABDB_RETURN_IF_ERROR(DecodeAnyDate(in, &d));
      std::string fmt = DefaultFormat(in.kind);
      if (type.precision == 0) {
        // No fraction digits: the radix character goes too.
        size_t x = fmt.find("XFF");
        if (x != std::string::npos) fmt.erase(x, 3);
      }
      return FormatDateTime(d, in.kind, fmt, type.precision, out);
    }
    case TypeKind::kIntervalYM: {
      IntervalYM v;
      TABDB_RETURN_IF_ERROR(DecodeIntervalYM(p, in.bytes.size(), &v));
      *out = IntervalYMToString(v, type.precision == kUnset ? 2 : type.precision);
      return Status::Ok();
    }
    case TypeKind::kIntervalDS: {
      IntervalDS v;
      TABDB_RETURN_IF_ERROR(DecodeIntervalDS(p, in.bytes.size(), &v));
      *out = IntervalDSToString(v, type.precision == kUnset ? 2 : type.precision,
                                type.scale == kUnset ? 6 : type.scale);
      return Status::Ok();
    }
    default:
      break;
  }
  return ValueToText(in, out, lobs);
}

Status TextToValue(std::string_view text, TypeKind to, Value* out) {
  out->kind = to;
  out->lob_id = 0;
  out->null = false;
  switch (to) {
    case TypeKind::kNumber:
    case TypeKind::kFloat: {
      Number n;
      TABDB_RETURN_IF_ERROR(Number::Parse(text, &n));
      out->bytes = n.Encode();
      return Status::Ok();
    }
    case TypeKind::kBinaryFloat: {
      float f = 0;
      TABDB_RETURN_IF_ERROR(ParseBinaryFloat(text, &f));
      PutDouble(f, to, out);
      return Status::Ok();
    }
    case TypeKind::kBinaryDouble: {
      double d = 0;
      TABDB_RETURN_IF_ERROR(ParseBinaryDouble(text, &d));
      PutDouble(d, to, out);
      return Status::Ok();
    }
    case TypeKind::kDate:
    case TypeKind::kTimestamp:
    case TypeKind::kTimestampTZ:
    case TypeKind::kTimestampLTZ: {
      DateTime d;
      TypeKind parse_kind = to == TypeKind::kTimestampLTZ ? TypeKind::kTimestamp : to;
      TABDB_RETURN_IF_ERROR(ParseDateTime(text, DefaultFormat(to), parse_kind, &d));
      if (to == TypeKind::kTimestampLTZ) d = WithSessionZone(d);
      return EncodeAnyDate(d, to, out);
    }
    case TypeKind::kIntervalYM: {
      IntervalYM v;
      TABDB_RETURN_IF_ERROR(
          ParseIntervalYM(text, IntervalField::kYear, IntervalField::kMonth, 9, &v));
      uint8_t buf[5];
      EncodeIntervalYM(v, buf);
      out->bytes.assign(reinterpret_cast<char*>(buf), 5);
      return Status::Ok();
    }
    case TypeKind::kIntervalDS: {
      IntervalDS v;
      TABDB_RETURN_IF_ERROR(
          ParseIntervalDS(text, IntervalField::kDay, IntervalField::kSecond, 9, 9, &v));
      uint8_t buf[11];
      EncodeIntervalDS(v, buf);
      out->bytes.assign(reinterpret_cast<char*>(buf), 11);
      return Status::Ok();
    }
    case TypeKind::kRaw:
    case TypeKind::kLongRaw:
    case TypeKind::kBlob:
      return FromHex(text, &out->bytes);
    default:
      out->bytes.assign(text.data(), text.size());
      if (out->bytes.empty() && IsCharacter(to)) out->null = true;
      return Status::Ok();
  }
}

Status ConvertValue(const Value& in, TypeKind to, Value* out, LobStore* lobs) {
  if (in.null) {
    *out = Value::Null(to);
    return Status::Ok();
  }
  TypeKind from = in.kind;
  if (from == to || (IsNumeric(from) && IsNumeric(to) && from != TypeKind::kBinaryFloat &&
                     from != TypeKind::kBinaryDouble && to != TypeKind::kBinaryFloat &&
                     to != TypeKind::kBinaryDouble)) {
    *out = in;
    out->kind = to;
    return Status::Ok();
  }
  // Characters and character LOBs: text to anything.
  if (IsTextKind(from)) {
    std::string text;
    TABDB_RETURN_IF_ERROR(TextOfLob(in, lobs, &text));
    if (IsTextKind(to)) {
      *out = Value::Of(to, std::move(text));
      if (out->bytes.empty() && IsCharacter(to)) out->null = true;
      return Status::Ok();
    }
    std::string_view t = text;
    if (!IsBinaryKind(to)) {
      // Numbers and datetimes ignore surrounding blanks (CHAR padding).
      while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
      while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    }
    return TextToValue(t, to, out);
  }
  // Anything to characters.
  if (IsTextKind(to)) {
    std::string text;
    TABDB_RETURN_IF_ERROR(ValueToText(in, &text, lobs));
    *out = Value::Of(to, std::move(text));
    if (out->bytes.empty() && IsCharacter(to)) out->null = true;
    return Status::Ok();
  }
  if (IsNumeric(from) && IsNumeric(to)) {
    if (to == TypeKind::kBinaryFloat || to == TypeKind::kBinaryDouble) {
      double d;
      if (from == TypeKind::kNumber || from == TypeKind::kFloat) {
        Number n;
        TABDB_RETURN_IF_ERROR(NumberFromValue(in, &n));
        d = n.ToDouble();
      } else {
        d = DoubleFromValue(in);
      }
      PutDouble(d, to, out);
      return Status::Ok();
    }
    Number n;
    TABDB_RETURN_IF_ERROR(Number::FromDouble(DoubleFromValue(in), &n));
    *out = Value::Of(to, n.Encode());
    return Status::Ok();
  }
  if (IsDatetime(from) && IsDatetime(to)) {
    DateTime d;
    TABDB_RETURN_IF_ERROR(DecodeAnyDate(in, &d));
    if (from != TypeKind::kTimestampTZ &&
        (to == TypeKind::kTimestampTZ || to == TypeKind::kTimestampLTZ))
      d = WithSessionZone(d);
    return EncodeAnyDate(d, to, out);
  }
  if (IsBinaryKind(from) && IsBinaryKind(to)) {
    std::string b;
    TABDB_RETURN_IF_ERROR(TextOfLob(in, lobs, &b));
    *out = Value::Of(to, std::move(b));
    if (out->bytes.empty() && to == TypeKind::kRaw) out->null = true;
    return Status::Ok();
  }
  return Inconsistent(to, from);
}

namespace {

std::string ColumnName(const TableInfo& t, const ColumnInfo& c) {
  return sql::QuoteName(t.owner) + "." + sql::QuoteName(t.name) + "." + sql::QuoteName(c.name);
}

Status TooLarge(const TableInfo& t, const ColumnInfo& c, size_t actual, size_t maximum) {
  return OraError(ora::kValueTooLarge, {ColumnName(t, c), std::to_string(actual), std::to_string(maximum)});
}

// Length check and blank padding of character values: the bytes `p`
// of `len` stand as they are, or *fitted receives them padded (*changed).
Status FitCharacter(const TableInfo& t, const ColumnInfo& c, const char* p, size_t len,
                    std::string* fitted, bool* changed) {
  const TypeDesc& ty = c.type;
  bool chars = ty.char_semantics || IsNational(ty.kind);
  size_t max = static_cast<size_t>(ty.length);
  std::string_view bytes(p, len);
  // National types count UTF-16 code units, as the AL16UTF16 national
  // character set holds them (a supplementary character counts two).
  size_t have = IsNational(ty.kind) ? Utf16UnitCount(bytes)
                : chars             ? Utf8CharCount(bytes)
                                    : len;
  if (have > max) return TooLarge(t, c, have, max);
  if (chars && len > static_cast<size_t>(MaxStoredBytes(ty))) {
    return TooLarge(t, c, len, static_cast<size_t>(MaxStoredBytes(ty)));
  }
  if (!chars && ty.kind == TypeKind::kVarchar2 && len > 4000)
    return TooLarge(t, c, len, 4000);
  if (ty.kind == TypeKind::kChar || ty.kind == TypeKind::kNChar) {
    // CHAR values are kept blank-padded to the declared length.
    size_t padded = len + (max - have);
    if (!chars) padded = std::max(padded, max);
    if (padded == len) return Status::Ok();
    if (fitted->data() != p) fitted->assign(p, len);
    fitted->resize(padded, ' ');
    *changed = true;
  }
  return Status::Ok();
}

// `n` bytes at `buf` are the column's form of a value: kept in *fitted
// only where they differ from the bytes the value arrived in (most values
// already arrive in their canonical form).
void FittedIfChanged(const char* p, size_t len, const uint8_t* buf, size_t n, std::string* fitted,
                     bool* changed) {
  if (len == n && std::memcmp(p, buf, n) == 0) return;
  fitted->assign(reinterpret_cast<const char*>(buf), n);
  *changed = true;
}

}  // namespace

Status FitToColumn(const Value& in, const TableInfo& table, const ColumnInfo& col, Value* out,
                   LobStore* lobs) {
  *out = in;
  return FitInPlace(out, table, col, lobs);
}

bool FitsWithoutConversion(TypeKind bound, TypeKind column) {
  return bound == column || (IsCharacter(bound) && IsCharacter(column)) ||
         ((bound == TypeKind::kNumber || bound == TypeKind::kFloat) &&
          (column == TypeKind::kNumber || column == TypeKind::kFloat));
}

Status FitInPlace(Value* out, const TableInfo& table, const ColumnInfo& col, LobStore* lobs) {
  const TypeDesc& ty = col.type;
  if (out->null) {
    out->kind = ty.kind;
    out->bytes.clear();
    out->lob_id = 0;
    return Status::Ok();
  }
  if (IsLob(ty.kind) || IsLong(ty.kind)) {
    // A stored value, or inline content of the column's family (text for a
    // character LOB or LONG, bytes for a BLOB or LONG RAW, as a LOB bound
    // as data brings it), is the column's value as it is.
    if (out->kind == ty.kind || out->lob_id != 0 || (IsTextKind(out->kind) && IsTextKind(ty.kind)) ||
        (IsBinaryKind(out->kind) && IsBinaryKind(ty.kind))) {
      out->kind = ty.kind;
      return Status::Ok();
    }
    // Inline content: text for character LOBs, bytes for binary ones.
    Value tmp;
    TABDB_RETURN_IF_ERROR(ConvertValue(*out, ty.kind, &tmp, lobs));
    *out = std::move(tmp);
    return Status::Ok();
  }
  // Values of the column's own type (or of its family: characters, NUMBER
  // and FLOAT) are checked where they are; others are converted first.
  bool same = out->kind == ty.kind ||
              (IsCharacter(out->kind) && IsCharacter(ty.kind) && out->lob_id == 0) ||
              ((out->kind == TypeKind::kNumber || out->kind == TypeKind::kFloat) &&
               (ty.kind == TypeKind::kNumber || ty.kind == TypeKind::kFloat));
  if (same) {
    out->kind = ty.kind;
  } else {
    Value tmp;
    TABDB_RETURN_IF_ERROR(ConvertValue(*out, ty.kind, &tmp, lobs));
    *out = std::move(tmp);
  }
  if (out->null) return Status::Ok();
  bool changed = false;
  return FitColumnBytes(out->bytes.data(), out->bytes.size(), table, col, &out->bytes, &changed);
}

Status FitColumnBytes(const char* p, size_t len, const TableInfo& table, const ColumnInfo& col,
                      std::string* fitted, bool* changed) {
  const TypeDesc& ty = col.type;
  const uint8_t* u = reinterpret_cast<const uint8_t*>(p);
  switch (ty.kind) {
    case TypeKind::kVarchar2:
    case TypeKind::kNVarchar2:
    case TypeKind::kChar:
    case TypeKind::kNChar:
      return FitCharacter(table, col, p, len, fitted, changed);
    case TypeKind::kRowid:
    case TypeKind::kURowid:
      if (ty.length > 0 && len > static_cast<size_t>(ty.length))
        return TooLarge(table, col, len, static_cast<size_t>(ty.length));
      return Status::Ok();
    case TypeKind::kNumber:
    case TypeKind::kFloat: {
      uint8_t buf[kNumberBufferBytes];
      size_t n = 0;
      TABDB_RETURN_IF_ERROR(FitEncodedNumber(u, len, ty, buf, &n));
      FittedIfChanged(p, len, buf, n, fitted, changed);
      return Status::Ok();
    }
    case TypeKind::kRaw:
      if (len > static_cast<size_t>(ty.length))
        return TooLarge(table, col, len, static_cast<size_t>(ty.length));
      return Status::Ok();
    case TypeKind::kBinaryFloat:
    case TypeKind::kBinaryDouble: {
      uint8_t buf[8];
      if (ty.kind == TypeKind::kBinaryFloat && len == 4) {
        CanonicalizeBinaryFloat(u, buf);
        FittedIfChanged(p, len, buf, 4, fitted, changed);
      } else if (ty.kind == TypeKind::kBinaryDouble && len == 8) {
        CanonicalizeBinaryDouble(u, buf);
        FittedIfChanged(p, len, buf, 8, fitted, changed);
      } else {
        return OraError(ora::kInvalidNumber);
      }
      return Status::Ok();
    }
    case TypeKind::kDate: {
      DateTime d;
      TABDB_RETURN_IF_ERROR(DecodeDate(u, len, &d));
      return Status::Ok();
    }
    case TypeKind::kTimestamp:
    case TypeKind::kTimestampLTZ:
    case TypeKind::kTimestampTZ: {
      DateTime d;
      if (ty.kind == TypeKind::kTimestampTZ) {
        TABDB_RETURN_IF_ERROR(DecodeTimestampTZ(u, len, &d));
        if (d.tz_region != 0) return Status::Ok();  // region values pass unchanged
      } else {
        TABDB_RETURN_IF_ERROR(DecodeTimestamp(u, len, &d));
      }
      uint32_t before = d.nanos;
      TABDB_RETURN_IF_ERROR(RoundFraction(&d, ty.precision == kUnset ? 6 : ty.precision));
      if (d.nanos == before && (ty.kind == TypeKind::kTimestampTZ || len == 7 || d.nanos != 0)) {
        return Status::Ok();
      }
      uint8_t buf[13];
      if (ty.kind == TypeKind::kTimestampTZ) {
        EncodeTimestampTZ(d, buf);
        fitted->assign(reinterpret_cast<char*>(buf), 13);
      } else {
        size_t n = EncodeTimestamp(d, buf);
        fitted->assign(reinterpret_cast<char*>(buf), n);
      }
      *changed = true;
      return Status::Ok();
    }
    case TypeKind::kIntervalYM: {
      IntervalYM v;
      TABDB_RETURN_IF_ERROR(DecodeIntervalYM(u, len, &v));
      TABDB_RETURN_IF_ERROR(FitIntervalYM(&v, ty.precision == kUnset ? 2 : ty.precision));
      uint8_t buf[5];
      EncodeIntervalYM(v, buf);
      FittedIfChanged(p, len, buf, 5, fitted, changed);
      return Status::Ok();
    }
    case TypeKind::kIntervalDS: {
      IntervalDS v;
      TABDB_RETURN_IF_ERROR(DecodeIntervalDS(u, len, &v));
      TABDB_RETURN_IF_ERROR(FitIntervalDS(&v, ty.precision == kUnset ? 2 : ty.precision,
                                          ty.scale == kUnset ? 6 : ty.scale));
      uint8_t buf[11];
      EncodeIntervalDS(v, buf);
      FittedIfChanged(p, len, buf, 11, fitted, changed);
      return Status::Ok();
    }
    default:
      return Status::Ok();
  }
}

}  // namespace tabdb

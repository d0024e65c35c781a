// types.cpp - the texts and lengths Oracle reports for a declared type.
#include "values/types.h"

#include <algorithm>

namespace tabdb {

TypeDesc WithDefaults(TypeDesc t) {
  switch (t.kind) {
    case TypeKind::kFloat:
      if (t.precision == kUnset) t.precision = 126;
      break;
    case TypeKind::kTimestamp:
    case TypeKind::kTimestampTZ:
    case TypeKind::kTimestampLTZ:
      if (t.precision == kUnset) t.precision = 6;
      break;
    case TypeKind::kIntervalYM:
      if (t.precision == kUnset) t.precision = 2;
      break;
    case TypeKind::kIntervalDS:
      if (t.precision == kUnset) t.precision = 2;
      if (t.scale == kUnset) t.scale = 6;
      break;
    case TypeKind::kChar:
    case TypeKind::kNChar:
      if (t.length == kUnset) t.length = 1;
      break;
    case TypeKind::kNVarchar2:
      t.char_semantics = true;
      break;
    case TypeKind::kURowid:
      if (t.length == kUnset) t.length = 4000;
      break;
    default:
      break;
  }
  if (t.kind == TypeKind::kNChar) t.char_semantics = true;
  return t;
}

namespace {

std::string Paren(int n) { return "(" + std::to_string(n) + ")"; }

std::string CharLen(const TypeDesc& t, bool national) {
  if (!national && t.char_semantics) return "(" + std::to_string(t.length) + " CHAR)";
  return Paren(t.length);
}

std::string NameOf(TypeKind k) {
  switch (k) {
    case TypeKind::kVarchar2: return "VARCHAR2";
    case TypeKind::kChar: return "CHAR";
    case TypeKind::kNVarchar2: return "NVARCHAR2";
    case TypeKind::kNChar: return "NCHAR";
    case TypeKind::kNumber: return "NUMBER";
    case TypeKind::kFloat: return "FLOAT";
    case TypeKind::kDate: return "DATE";
    case TypeKind::kTimestamp: return "TIMESTAMP";
    case TypeKind::kTimestampTZ: return "TIMESTAMP";
    case TypeKind::kTimestampLTZ: return "TIMESTAMP";
    case TypeKind::kIntervalYM: return "INTERVAL YEAR";
    case TypeKind::kIntervalDS: return "INTERVAL DAY";
    case TypeKind::kRaw: return "RAW";
    case TypeKind::kLong: return "LONG";
    case TypeKind::kLongRaw: return "LONG RAW";
    case TypeKind::kClob: return "CLOB";
    case TypeKind::kNClob: return "NCLOB";
    case TypeKind::kBlob: return "BLOB";
    case TypeKind::kBinaryFloat: return "BINARY_FLOAT";
    case TypeKind::kBinaryDouble: return "BINARY_DOUBLE";
    case TypeKind::kRowid: return "ROWID";
    case TypeKind::kURowid: return "UROWID";
  }
  return "";
}

// Shared by DataTypeText and DdlTypeText: `gap` is what stands between a
// datetime keyword and its parenthesised precision (nothing in the
// dictionary, a blank in DDL).
std::string DatetimeText(const TypeDesc& t, const char* gap) {
  std::string p = gap + Paren(t.precision);
  switch (t.kind) {
    case TypeKind::kTimestamp: return "TIMESTAMP" + p;
    case TypeKind::kTimestampTZ: return "TIMESTAMP" + p + " WITH TIME ZONE";
    case TypeKind::kTimestampLTZ: return "TIMESTAMP" + p + " WITH LOCAL TIME ZONE";
    case TypeKind::kIntervalYM: return "INTERVAL YEAR" + p + " TO MONTH";
    case TypeKind::kIntervalDS:
      return "INTERVAL DAY" + p + " TO SECOND" + gap + Paren(t.scale);
    default: return NameOf(t.kind);
  }
}

}  // namespace

std::string DataTypeText(const TypeDesc& t) {
  if (IsDatetime(t.kind) && t.kind != TypeKind::kDate) return DatetimeText(t, "");
  if (IsInterval(t.kind)) return DatetimeText(t, "");
  return NameOf(t.kind);
}

std::string DdlTypeText(const TypeDesc& t) {
  switch (t.kind) {
    case TypeKind::kVarchar2:
    case TypeKind::kChar:
      return NameOf(t.kind) + CharLen(t, false);
    case TypeKind::kNVarchar2:
    case TypeKind::kNChar:
      return NameOf(t.kind) + CharLen(t, true);
    case TypeKind::kNumber:
      if (t.precision == kUnset && t.scale == kUnset) return "NUMBER";
      if (t.precision == kUnset || t.precision == 0)
        return "NUMBER(*," + std::to_string(t.scale == kUnset ? 0 : t.scale) + ")";
      return "NUMBER(" + std::to_string(t.precision) + "," +
             std::to_string(t.scale == kUnset ? 0 : t.scale) + ")";
    case TypeKind::kFloat:
      return "FLOAT" + Paren(t.precision);
    case TypeKind::kRaw:
      return "RAW" + Paren(t.length);
    case TypeKind::kURowid:
      return "UROWID" + Paren(t.length);
    case TypeKind::kTimestamp:
    case TypeKind::kTimestampTZ:
    case TypeKind::kTimestampLTZ:
    case TypeKind::kIntervalYM:
    case TypeKind::kIntervalDS:
      return DatetimeText(t, " ");
    default:
      return NameOf(t.kind);
  }
}

int DataLength(const TypeDesc& t) {
  switch (t.kind) {
    case TypeKind::kVarchar2:
      return t.char_semantics ? std::min(t.length * kDbCharMaxBytes, 4000) : t.length;
    case TypeKind::kChar:
      return t.char_semantics ? std::min(t.length * kDbCharMaxBytes, 2000) : t.length;
    case TypeKind::kNVarchar2:
    case TypeKind::kNChar:
      return t.length * kNationalCharBytes;
    case TypeKind::kNumber:
    case TypeKind::kFloat:
      return 22;
    case TypeKind::kDate:
      return 7;
    case TypeKind::kTimestamp:
    case TypeKind::kTimestampLTZ:
      return t.precision == 0 ? 7 : 11;
    case TypeKind::kTimestampTZ:
      return 13;
    case TypeKind::kIntervalYM:
      return 5;
    case TypeKind::kIntervalDS:
      return 11;
    case TypeKind::kRaw:
      return t.length;
    case TypeKind::kLong:
    case TypeKind::kLongRaw:
      return 0;
    case TypeKind::kClob:
    case TypeKind::kNClob:
    case TypeKind::kBlob:
      return 4000;
    case TypeKind::kBinaryFloat:
      return 4;
    case TypeKind::kBinaryDouble:
      return 8;
    case TypeKind::kRowid:
      return 10;
    case TypeKind::kURowid:
      return t.length;
  }
  return 0;
}

int CharLength(const TypeDesc& t) {
  return IsCharacter(t.kind) && t.kind != TypeKind::kRowid && t.kind != TypeKind::kURowid
             ? t.length
             : 0;
}

int MaxStoredBytes(const TypeDesc& t) {
  switch (t.kind) {
    case TypeKind::kVarchar2:
    case TypeKind::kChar:
      return t.char_semantics ? t.length * kDbCharMaxBytes : t.length;
    case TypeKind::kNVarchar2:
    case TypeKind::kNChar:
      return t.length * kDbCharMaxBytes;
    case TypeKind::kRowid:
      return 18;
    case TypeKind::kLong:
    case TypeKind::kLongRaw:
    case TypeKind::kClob:
    case TypeKind::kNClob:
    case TypeKind::kBlob:
      return 0;
    default:
      return DataLength(t);
  }
}

bool IsCharacter(TypeKind k) {
  return k == TypeKind::kVarchar2 || k == TypeKind::kChar || k == TypeKind::kNVarchar2 ||
         k == TypeKind::kNChar || k == TypeKind::kRowid || k == TypeKind::kURowid;
}
bool IsNational(TypeKind k) {
  return k == TypeKind::kNVarchar2 || k == TypeKind::kNChar || k == TypeKind::kNClob;
}
bool IsLob(TypeKind k) {
  return k == TypeKind::kClob || k == TypeKind::kNClob || k == TypeKind::kBlob;
}
bool IsLong(TypeKind k) { return k == TypeKind::kLong || k == TypeKind::kLongRaw; }
bool IsDatetime(TypeKind k) {
  return k == TypeKind::kDate || k == TypeKind::kTimestamp || k == TypeKind::kTimestampTZ ||
         k == TypeKind::kTimestampLTZ;
}
bool IsInterval(TypeKind k) { return k == TypeKind::kIntervalYM || k == TypeKind::kIntervalDS; }
bool IsNumeric(TypeKind k) {
  return k == TypeKind::kNumber || k == TypeKind::kFloat || k == TypeKind::kBinaryFloat ||
         k == TypeKind::kBinaryDouble;
}

}  // namespace tabdb

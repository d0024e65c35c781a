// types.h - Oracle column types as the database knows them.
//
// A TypeDesc is a declared column type with its size attributes. It knows
// the texts Oracle shows for it (ALL_TAB_COLS.DATA_TYPE and the GET_DDL
// rendering) and the DATA_LENGTH the dictionary reports.
#pragma once

#include <cstdint>
#include <string>

namespace tabdb {

enum class TypeKind : uint8_t {
  kVarchar2 = 1,
  kChar,
  kNVarchar2,
  kNChar,
  kNumber,
  kFloat,
  kDate,
  kTimestamp,
  kTimestampTZ,
  kTimestampLTZ,
  kIntervalYM,
  kIntervalDS,
  kRaw,
  kLong,
  kLongRaw,
  kClob,
  kNClob,
  kBlob,
  kBinaryFloat,
  kBinaryDouble,
  kRowid,
  kURowid,
};

// "No value" for the optional integer attributes below.
constexpr int kUnset = -1000;

struct TypeDesc {
  TypeKind kind = TypeKind::kVarchar2;
  // Character types: declared length (characters if char_semantics, else
  // bytes); RAW: bytes; UROWID: bytes.
  int length = kUnset;
  bool char_semantics = false;
  // NUMBER: precision 1..38 or kUnset (plain NUMBER), 0 for NUMBER(*,s);
  // FLOAT: binary precision 1..126; TIMESTAMP*: fractional digits 0..9;
  // INTERVAL YM/DS: leading field precision 0..9.
  int precision = kUnset;
  // NUMBER: scale -84..127 or kUnset; INTERVAL DS: fractional digits 0..9.
  int scale = kUnset;

  bool operator==(const TypeDesc& o) const {
    return kind == o.kind && length == o.length && char_semantics == o.char_semantics &&
           precision == o.precision && scale == o.scale;
  }
};

// Bytes per character of the database character set (AL32UTF8) and of the
// national character set (AL16UTF16).
constexpr int kDbCharMaxBytes = 4;
constexpr int kNationalCharBytes = 2;

// Fills defaults the way Oracle does when a type is declared without them
// (TIMESTAMP -> 6 digits, INTERVAL DAY TO SECOND -> (2,6), FLOAT -> 126,
// CHAR -> 1, NCHAR -> 1, UROWID -> 4000, INTEGER already mapped to
// NUMBER(*,0) by the parser).
TypeDesc WithDefaults(TypeDesc t);

// ALL_TAB_COLS.DATA_TYPE: "NUMBER", "TIMESTAMP(6) WITH TIME ZONE", ...
std::string DataTypeText(const TypeDesc& t);

// The type as DBMS_METADATA.GET_DDL writes it: "NUMBER(10,0)",
// "VARCHAR2(30 CHAR)", "TIMESTAMP (6)", "INTERVAL DAY (2) TO SECOND (6)".
std::string DdlTypeText(const TypeDesc& t);

// ALL_TAB_COLS.DATA_LENGTH.
int DataLength(const TypeDesc& t);

// ALL_TAB_COLS.CHAR_LENGTH (0 for non-character types).
int CharLength(const TypeDesc& t);

// Maximum number of bytes a stored value of this type takes in the byte
// form the database keeps (characters in UTF-8 count up to 4 bytes each);
// 0 for LONG and LOB types, which are stored apart from the row.
int MaxStoredBytes(const TypeDesc& t);

bool IsCharacter(TypeKind k);   // CHAR, VARCHAR2, NCHAR, NVARCHAR2, ROWID, UROWID
bool IsNational(TypeKind k);    // NCHAR, NVARCHAR2, NCLOB
bool IsLob(TypeKind k);         // CLOB, NCLOB, BLOB
bool IsLong(TypeKind k);        // LONG, LONG RAW
bool IsDatetime(TypeKind k);    // DATE, TIMESTAMP*
bool IsInterval(TypeKind k);
bool IsNumeric(TypeKind k);     // NUMBER, FLOAT, BINARY_FLOAT, BINARY_DOUBLE

}  // namespace tabdb

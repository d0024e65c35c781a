// convert.h - conversions between Oracle types inside the engine.
//
// Implements Oracle's implicit conversions and CAST between the engine's
// byte forms: characters <-> numbers, dates, timestamps, intervals, RAW;
// numbers <-> binary floats; dates <-> timestamps. Text forms use the
// default NLS formats of an AMERICAN_AMERICA session (DD-MON-RR and so on).
// Also makes values fit a column (rounding, padding, length checks).
#pragma once

#include <string>
#include <string_view>

#include "catalog/catalog.h"
#include "exec/value.h"
#include "util/status.h"
#include "values/types.h"

namespace tabdb {

class LobStore;

// Converts `in` to type `to`. NULL stays NULL (of the new kind). Errors as
// Oracle gives them (ORA-01722, ORA-01861, ORA-00932 for impossible ones).
// LOB and LONG values with a lob_id are read through `lobs` when converted
// to a non-LOB type (may be null when no stored LOB can occur).
Status ConvertValue(const Value& in, TypeKind to, Value* out, LobStore* lobs = nullptr);

// The text a value converts to (TO_CHAR without a format).
Status ValueToText(const Value& in, std::string* out, LobStore* lobs = nullptr);

// The text of a value of type `type` (TO_CHAR without a format, and what a
// character define receives): timestamps and intervals show the fractional
// and leading precisions of their type, as Oracle's default formats do;
// other values as ValueToText.
Status ValueToTypedText(const Value& in, const TypeDesc& type, std::string* out,
                        LobStore* lobs = nullptr);

// A value of type `to` from its text form.
Status TextToValue(std::string_view text, TypeKind to, Value* out);

// Makes `in` a value of column `col` of `table`: converts it to the
// column's type, rounds numbers and fractional seconds, pads CHAR, checks
// lengths (ORA-12899 naming the column) and precision (ORA-01438). NULL is
// returned as NULL; NOT NULL is the caller's check. LOB and LONG values
// are only re-typed here (their storage is the caller's business).
Status FitToColumn(const Value& in, const TableInfo& table, const ColumnInfo& col, Value* out,
                   LobStore* lobs = nullptr);
// The same on a value in place (no copy when the value already has the
// column's type: the per-row path of array inserts).
Status FitInPlace(Value* v, const TableInfo& table, const ColumnInfo& col,
                  LobStore* lobs = nullptr);
// The checks of FitInPlace on the `len` bytes at `p` of a non-NULL value
// that already has column `col`'s type (or its family: characters, NUMBER
// and FLOAT), which need not live in a Value. When the column's form of
// the value differs from these bytes (padding, rounding, a canonical
// number or float), *fitted receives it and *changed is set; otherwise
// neither is touched and the bytes stand as they are. `fitted` may hold
// the bytes `p` points into.
Status FitColumnBytes(const char* p, size_t len, const TableInfo& table, const ColumnInfo& col,
                      std::string* fitted, bool* changed);
// Whether FitInPlace checks a value of kind `bound` (not a stored LOB) for
// a column of kind `column` as it is, without converting it first.
bool FitsWithoutConversion(TypeKind bound, TypeKind column);

// Upper-case hex of bytes (RAWTOHEX) and back (HEXTORAW, ORA-01465).
std::string ToHex(std::string_view bytes);
Status FromHex(std::string_view hex, std::string* out);

}  // namespace tabdb

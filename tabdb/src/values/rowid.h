// rowid.h - Oracle's extended ROWID text (OOOOOOFFFBBBBBBRRR: data object,
// relative file, block and row in base 64) and where a row's SQLite rowid
// stands in it: the database numbers rows as a file of blocks of 32 rows.
//
// A SQLite rowid r >= 0 is row r % 32 of block (r / 32) % 2^36 of relative
// file r / 2^41 + 1, so that ROWID order is rowid order within a table.
// Rowids from kRowidLimit up have no ROWID (the engine never makes any:
// SQLite hands out the largest rowid plus one).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tabdb {

struct RowidParts {
  int64_t object = 0;  // data object number, 0 .. 2^36 - 1
  int64_t file = 0;    // relative file number, 0 .. 2^18 - 1
  int64_t block = 0;   // 0 .. 2^36 - 1
  int64_t row = 0;     // 0 .. 2^18 - 1
};

constexpr int kRowidTextLength = 18;
constexpr int kRowsPerBlockBits = 5;
constexpr int64_t kRowsPerBlock = int64_t{1} << kRowsPerBlockBits;
constexpr int kBlockBits = 36;
constexpr int64_t kRowidLimit = ((int64_t{1} << 18) - 1) << (kRowsPerBlockBits + kBlockBits);

// Whether every field fits its characters.
bool RowidFits(const RowidParts& p);
// The 18 characters of p (which must fit).
std::string FormatRowid(const RowidParts& p);
// Reads the 18 characters of an extended ROWID (other lengths and
// characters: false).
bool ParseRowid(std::string_view text, RowidParts* out);

// The parts of the row with SQLite rowid r of data object `object`; false
// when r has no ROWID (r < 0 or r >= kRowidLimit).
bool RowidOfRow(int64_t object, int64_t r, RowidParts* out);
// The first SQLite rowid of block `block` of relative file `file`, when
// rows can stand there.
std::optional<int64_t> FirstRowOfBlock(int64_t file, int64_t block);

// The SQLite rowid bound that the comparison "ROWID op x" makes for the
// rows of data object `object`, op one of '<', 'l' (<=), '=', 'g' (>=),
// '>': for 'g' and '>' the smallest rowid satisfying it (compared with
// >=), for 'l' and '<' the largest (compared with <=), for '=' the rowid
// itself (compared with =). A bound no row reaches is INT64_MAX for 'g'
// and '>', INT64_MIN for the others; one that every row passes is
// INT64_MIN for 'g' and '>', INT64_MAX for 'l' and '<'.
int64_t RowidBound(const RowidParts& x, int64_t object, char op);

}  // namespace tabdb

// rowid.cpp - extended ROWID text and the place of a SQLite rowid in it
// (rowid.h).
#include "values/rowid.h"

#include <cassert>
#include <climits>

namespace tabdb {

namespace {

constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kFileShift = kRowsPerBlockBits + kBlockBits;

int DigitValue(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

void Put(std::string* out, int64_t v, int chars) {
  for (int i = chars - 1; i >= 0; --i) out->push_back(kDigits[(v >> (6 * i)) & 63]);
}

bool Get(std::string_view t, size_t at, int chars, int64_t* v) {
  *v = 0;
  for (int i = 0; i < chars; ++i) {
    int d = DigitValue(t[at + static_cast<size_t>(i)]);
    if (d < 0) return false;
    *v = (*v << 6) | d;
  }
  return true;
}

}  // namespace

bool RowidFits(const RowidParts& p) {
  return p.object >= 0 && p.object < (int64_t{1} << 36) && p.file >= 0 && p.file < (1 << 18) &&
         p.block >= 0 && p.block < (int64_t{1} << 36) && p.row >= 0 && p.row < (1 << 18);
}

std::string FormatRowid(const RowidParts& p) {
  assert(RowidFits(p));
  std::string out;
  out.reserve(kRowidTextLength);
  Put(&out, p.object, 6);
  Put(&out, p.file, 3);
  Put(&out, p.block, 6);
  Put(&out, p.row, 3);
  return out;
}

bool ParseRowid(std::string_view text, RowidParts* out) {
  if (text.size() != kRowidTextLength) return false;
  return Get(text, 0, 6, &out->object) && Get(text, 6, 3, &out->file) && Get(text, 9, 6, &out->block) &&
         Get(text, 15, 3, &out->row);
}

bool RowidOfRow(int64_t object, int64_t r, RowidParts* out) {
  if (r < 0 || r >= kRowidLimit || object < 0 || object >= (int64_t{1} << 36)) return false;
  out->object = object;
  out->file = (r >> kFileShift) + 1;
  out->block = (r >> kRowsPerBlockBits) & ((int64_t{1} << kBlockBits) - 1);
  out->row = r & (kRowsPerBlock - 1);
  assert(RowidFits(*out));
  return true;
}

std::optional<int64_t> FirstRowOfBlock(int64_t file, int64_t block) {
  if (file < 1 || block < 0 || block >= (int64_t{1} << kBlockBits)) return std::nullopt;
  int64_t f0 = file - 1;
  if (f0 > (kRowidLimit >> kFileShift) - 1) return std::nullopt;
  return (f0 << kFileShift) | (block << kRowsPerBlockBits);
}

int64_t RowidBound(const RowidParts& x, int64_t object, char op) {
  // Where x stands among the rows: before all, after all, on row `at`, or
  // just after row `at` (a row number past the block's last row).
  enum { kBelow, kAbove, kOn, kAfter } where;
  int64_t at = 0;
  std::optional<int64_t> first = FirstRowOfBlock(x.file, x.block);
  if (x.object != object) {
    where = x.object < object ? kBelow : kAbove;
  } else if (!first) {
    where = x.file < 1 ? kBelow : kAbove;
  } else if (x.row < kRowsPerBlock) {
    where = kOn;
    at = *first + x.row;
  } else {
    where = kAfter;
    at = *first + kRowsPerBlock - 1;
  }
  constexpr int64_t kNone = INT64_MIN;  // for '=': no row has it
  switch (op) {
    case '=':
      return where == kOn ? at : kNone;
    case 'g':  // >=
    case '>':
      if (where == kBelow) return INT64_MIN;
      if (where == kAbove) return INT64_MAX;
      return where == kOn && op == 'g' ? at : at + 1;
    case 'l':  // <=
    case '<':
      if (where == kBelow) return INT64_MIN;
      if (where == kAbove) return INT64_MAX;
      return where == kOn && op == '<' ? at - 1 : at;
    default:
      assert(false && "unknown comparison");
      return kNone;
  }
}

}  // namespace tabdb

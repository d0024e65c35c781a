// generator.cpp - creates and fills the reference tables: array inserts for
// the narrow and wide tables, RETURNING locators and OCILobWrite2 for the
// LOB table, data-at-execution pieces for the LONG table.
#include "generator.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "values/binfloat.h"
#include "values/datetime.h"
#include "values/interval.h"
#include "values/number.h"

namespace tabdb::bench {
namespace {

// Oracle's internal type codes used as external types for the datetime
// and interval columns (their byte forms travel unchanged).
constexpr ub2 kSqltTimestamp = 180, kSqltTimestampTZ = 181, kSqltIntervalYM = 182,
              kSqltIntervalDS = 183, kSqltTimestampLTZ = 231;
constexpr size_t kPiece = 32768;

uint64_t Mix(uint64_t x) {  // splitmix64 finaliser
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

uint64_t Hash(uint64_t row, uint64_t salt) { return Mix(row * 0x100000001B3ull ^ Mix(salt)); }

// Words of the generated text; a few carry two- and three-byte characters
// so that character conversions and counts are exercised.
const char* const kWords[] = {
    "order", "ledger", "invoice", "stock",  "bank",   "transfer", "report", "café",
    "naïve", "Zürich", "north",   "south",  "ветер",  "город",    "山川",   "価格",
    "€",     "amount", "balance", "credit", "debit",  "account",  "region", "customer",
    "value", "status", "pending", "closed", "opened", "review",   "note",   "entry"};
constexpr size_t kWordCount = sizeof(kWords) / sizeof(kWords[0]);

// ASCII text of exactly n bytes (for CHAR columns of byte semantics).
std::string AsciiText(uint64_t h, size_t n) {
  static const char kAlnum[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string s(n, ' ');
  for (size_t i = 0; i < n; i++) {
    h = Mix(h + i);
    s[i] = kAlnum[h % 36];
  }
  return s;
}

// Up to `max_chars` characters and `max_bytes` bytes of words.
std::string Words(uint64_t h, size_t max_chars, size_t max_bytes) {
  std::string s;
  size_t chars = 0;
  for (int i = 0;; i++) {
    h = Mix(h + static_cast<uint64_t>(i));
    const char* w = kWords[h % kWordCount];
    size_t wb = std::strlen(w), wc = 0;
    for (size_t k = 0; k < wb; k++) wc += (static_cast<unsigned char>(w[k]) & 0xC0) != 0x80;
    size_t sep = s.empty() ? 0 : 1;
    if (s.size() + sep + wb > max_bytes || chars + sep + wc > max_chars) break;
    if (sep) s += ' ';
    s += w;
    chars += sep + wc;
  }
  if (s.empty()) s = "x";
  return s;
}

enum class Gen {
  kId, kInt, kScaled, kAnyNum, kFloat, kDate, kTs, kTstz, kTsltz, kIym, kIds, kRaw,
  kBinFloat, kBinDouble, kChar, kNChar, kVarchar, kNVarchar
};

struct ColDef {
  const char* name;
  const char* ddl;
  Gen gen;
  int a;  // digits, length or fractional digits
  int b;  // scale
};

const ColDef kNarrowCols[] = {
    {"ID", "NUMBER(10)", Gen::kId, 10, 0},
    {"AMOUNT", "NUMBER(12,2)", Gen::kScaled, 12, 2},
    {"CREATED", "DATE", Gen::kDate, 0, 0},
    {"LABEL", "VARCHAR2(20)", Gen::kVarchar, 20, 0},
};

const ColDef kWideCols[] = {
    {"ID", "NUMBER(10)", Gen::kId, 10, 0},
    {"C_CHAR", "CHAR(10)", Gen::kChar, 10, 0},
    {"C_NCHAR", "NCHAR(10)", Gen::kNChar, 10, 0},
    {"C_VARCHAR", "VARCHAR2(40)", Gen::kVarchar, 40, 0},
    {"C_NVARCHAR", "NVARCHAR2(40)", Gen::kNVarchar, 40, 0},
    {"C_NUMBER", "NUMBER", Gen::kAnyNum, 0, 0},
    {"C_NUM_15_4", "NUMBER(15,4)", Gen::kScaled, 15, 4},
    {"C_FLOAT", "FLOAT", Gen::kFloat, 0, 0},
    {"C_DATE", "DATE", Gen::kDate, 0, 0},
    {"C_TS", "TIMESTAMP", Gen::kTs, 6, 0},
    {"C_TSTZ", "TIMESTAMP WITH TIME ZONE", Gen::kTstz, 6, 0},
    {"C_TSLTZ", "TIMESTAMP WITH LOCAL TIME ZONE", Gen::kTsltz, 6, 0},
    {"C_IYM", "INTERVAL YEAR TO MONTH", Gen::kIym, 0, 0},
    {"C_IDS", "INTERVAL DAY TO SECOND", Gen::kIds, 0, 0},
    {"C_RAW", "RAW(16)", Gen::kRaw, 16, 0},
    {"C_BFLOAT", "BINARY_FLOAT", Gen::kBinFloat, 0, 0},
    {"C_BDOUBLE", "BINARY_DOUBLE", Gen::kBinDouble, 0, 0},
    {"C_NUM_10", "NUMBER(10)", Gen::kInt, 10, 0},
    {"C_VARCHAR_100", "VARCHAR2(100)", Gen::kVarchar, 100, 0},
    {"C_DATE_2", "DATE", Gen::kDate, 0, 0},
    {"C_CHAR_4", "CHAR(4)", Gen::kChar, 4, 0},
    {"C_TS_3", "TIMESTAMP(3)", Gen::kTs, 3, 0},
    {"C_RAW_32", "RAW(32)", Gen::kRaw, 32, 0},
    {"C_NUM_8_2", "NUMBER(8,2)", Gen::kScaled, 8, 2},
    {"C_VARCHAR_10", "VARCHAR2(10)", Gen::kVarchar, 10, 0},
    {"C_BDOUBLE_2", "BINARY_DOUBLE", Gen::kBinDouble, 0, 0},
    {"C_NVARCHAR_20", "NVARCHAR2(20)", Gen::kNVarchar, 20, 0},
    {"C_NUM_18", "NUMBER(18)", Gen::kInt, 18, 0},
    {"C_DATE_3", "DATE", Gen::kDate, 0, 0},
    {"C_VARCHAR_30", "VARCHAR2(30)", Gen::kVarchar, 30, 0},
};
static_assert(sizeof(kWideCols) / sizeof(kWideCols[0]) == 30, "the wide table has 30 columns");

ub2 DtyOf(Gen g) {
  switch (g) {
    case Gen::kId: case Gen::kInt: case Gen::kScaled: case Gen::kAnyNum: case Gen::kFloat:
      return SQLT_NUM;
    case Gen::kDate: return SQLT_DAT;
    case Gen::kTs: return kSqltTimestamp;
    case Gen::kTstz: return kSqltTimestampTZ;
    case Gen::kTsltz: return kSqltTimestampLTZ;
    case Gen::kIym: return kSqltIntervalYM;
    case Gen::kIds: return kSqltIntervalDS;
    case Gen::kRaw: return SQLT_BIN;
    case Gen::kBinFloat: return SQLT_IBFLOAT;
    case Gen::kBinDouble: return SQLT_IBDOUBLE;
    case Gen::kChar: case Gen::kNChar: return SQLT_AFC;
    case Gen::kVarchar: case Gen::kNVarchar: return SQLT_CHR;
  }
  return SQLT_CHR;
}

// Bytes of a bind slot: national values take up to 4 bytes a character.
size_t WidthOf(const ColDef& c) {
  switch (c.gen) {
    case Gen::kDate: return 7;
    case Gen::kTs: case Gen::kTsltz: case Gen::kIds: return 11;
    case Gen::kTstz: return 13;
    case Gen::kIym: return 5;
    case Gen::kBinFloat: return 4;
    case Gen::kBinDouble: return 8;
    case Gen::kRaw: case Gen::kChar: case Gen::kVarchar: return static_cast<size_t>(c.a);
    case Gen::kNChar: case Gen::kNVarchar: return 4 * static_cast<size_t>(c.a);
    default: return 22;
  }
}

size_t PutNumber(const Number& n, uint8_t* out) { return n.EncodeTo(out); }

int64_t Pow10(int n) {
  int64_t p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

DateTime DateOf(uint64_t h, int frac_digits) {
  DateTime d;
  d.year = 2000;
  FromDaySerial(DaySerial(d) + static_cast<int64_t>(h % 9000), &d);
  d.hour = static_cast<int>((h >> 16) % 24);
  d.minute = static_cast<int>((h >> 24) % 60);
  d.second = static_cast<int>((h >> 32) % 60);
  if (frac_digits > 0) {
    uint32_t unit = static_cast<uint32_t>(Pow10(9 - frac_digits));
    d.nanos = static_cast<uint32_t>((h >> 20) % 1000000000u) / unit * unit;
  }
  return d;
}

// Writes column `c`'s value of row `row` into `out` (WidthOf(c) bytes of
// room); returns its length, or 0 for NULL. About one value in eleven of
// every column but the first is NULL.
size_t MakeValue(const ColDef& c, size_t col, uint64_t row, uint8_t* out) {
  uint64_t h = Hash(row, col + 1);
  if (c.gen != Gen::kId && h % 11 == 0) return 0;
  h >>= 4;
  Status st;
  switch (c.gen) {
    case Gen::kId: return PutNumber(Number::FromInt64(static_cast<int64_t>(row) + 1), out);
    case Gen::kInt: {
      int64_t v = static_cast<int64_t>(h % static_cast<uint64_t>(Pow10(c.a - 1)));
      return PutNumber(Number::FromInt64((h & 1) ? -v : v), out);
    }
    case Gen::kScaled: {
      int64_t units = static_cast<int64_t>(h % static_cast<uint64_t>(Pow10(c.a - 1)));
      Number n;
      st = Number::Div(Number::FromInt64((h & 1) ? -units : units), Number::FromInt64(Pow10(c.b)),
                       &n);
      return st.ok() ? PutNumber(n, out) : 0;
    }
    case Gen::kAnyNum:
    case Gen::kFloat: {
      double v = static_cast<double>(h % 100000000) / 7.0;
      Number n;
      st = Number::FromDouble(c.gen == Gen::kFloat ? static_cast<float>(v) : v, &n);
      return st.ok() ? PutNumber(n, out) : 0;
    }
    case Gen::kDate: EncodeDate(DateOf(h, 0), out); return 7;
    case Gen::kTs:
    case Gen::kTsltz: return EncodeTimestamp(DateOf(h, c.a), out);
    case Gen::kTstz: {
      DateTime d = DateOf(h, c.a);
      d.tz_offset_minutes = static_cast<int>((h >> 40) % 25) * 60 - 12 * 60 + ((h >> 45) & 1) * 30;
      EncodeTimestampTZ(d, out);
      return 13;
    }
    case Gen::kIym: {
      IntervalYM v{static_cast<int64_t>(h % 100), static_cast<int>((h >> 8) % 12)};
      EncodeIntervalYM(v, out);
      return 5;
    }
    case Gen::kIds: {
      IntervalDS v{static_cast<int64_t>(h % 100), static_cast<int>((h >> 8) % 24),
                   static_cast<int>((h >> 16) % 60), static_cast<int>((h >> 24) % 60),
                   static_cast<int32_t>((h >> 32) % 1000000) * 1000};
      EncodeIntervalDS(v, out);
      return 11;
    }
    case Gen::kRaw: {
      size_t n = static_cast<size_t>(c.a) / 2 + h % (static_cast<size_t>(c.a) / 2 + 1);
      std::string b = GenBytes(row, col, n);
      std::memcpy(out, b.data(), n);
      return n;
    }
    case Gen::kBinFloat: EncodeBinaryFloat(static_cast<float>(h % 1000000) / 16.0f, out); return 4;
    case Gen::kBinDouble: EncodeBinaryDouble(static_cast<double>(h % 100000000) / 3.0, out); return 8;
    case Gen::kChar: {
      std::string s = AsciiText(h, 1 + h % static_cast<uint64_t>(c.a));
      std::memcpy(out, s.data(), s.size());
      return s.size();
    }
    case Gen::kVarchar:
    case Gen::kNChar:
    case Gen::kNVarchar: {
      // National values stay within c.a bytes in UTF-8 as well, so that
      // the reference data (and the figures measured on it) stay the same
      // from run to run.
      bool national = c.gen != Gen::kVarchar;
      size_t chars = 1 + h % static_cast<uint64_t>(c.a);
      std::string s = Words(h >> 8, chars, national ? static_cast<size_t>(c.a) : chars);
      std::memcpy(out, s.data(), s.size());
      return s.size();
    }
  }
  return 0;
}

// Bind arrays of one column.
struct ColumnArray {
  ub2 dty = 0;
  size_t width = 0;
  bool national = false;
  std::vector<uint8_t> data;
  std::vector<sb2> ind;
  std::vector<ub2> len;
};

std::string CreateSql(const char* table, const ColDef* cols, size_t n, const char* extra) {
  std::string sql = std::string("create table ") + table + " (";
  for (size_t i = 0; i < n; i++) {
    if (i) sql += ", ";
    sql += std::string(cols[i].name) + " " + cols[i].ddl;
  }
  sql += extra;
  sql += ")";
  return sql;
}

Status FillArrayTable(OciConn& conn, const GenOptions& opt, const char* table, const ColDef* cols,
                      size_t ncol, int64_t rows, GenStats* stats) {
  TABDB_RETURN_IF_ERROR(conn.Exec(CreateSql(table, cols, ncol, "")));
  if (rows <= 0) return Status::Ok();
  uint32_t batch = std::max<uint32_t>(1, opt.batch_rows);
  std::string sql = std::string("insert into ") + table + " values (";
  for (size_t i = 0; i < ncol; i++) sql += (i ? ",:" : ":") + std::to_string(i + 1);
  sql += ")";
  OciStmt stmt(conn);
  TABDB_RETURN_IF_ERROR(stmt.Prepare(sql));

  std::vector<ColumnArray> arrays(ncol);
  for (size_t i = 0; i < ncol; i++) {
    ColumnArray& a = arrays[i];
    a.dty = DtyOf(cols[i].gen);
    a.width = WidthOf(cols[i]);
    a.national = cols[i].gen == Gen::kNChar || cols[i].gen == Gen::kNVarchar;
    a.data.assign(a.width * batch, 0);
    a.ind.assign(batch, 0);
    a.len.assign(batch, 0);
    OCIBind* bind = nullptr;
    TABDB_RETURN_IF_ERROR(conn.Check(
        OCIBindByPos(stmt.get(), &bind, conn.err(), static_cast<ub4>(i + 1), a.data.data(),
                     static_cast<sb4>(a.width), a.dty, a.ind.data(), a.len.data(), nullptr, 0,
                     nullptr, OCI_DEFAULT),
        "OCIBindByPos"));
    TABDB_RETURN_IF_ERROR(conn.Check(
        OCIBindArrayOfStruct(bind, conn.err(), static_cast<ub4>(a.width), sizeof(sb2),
                             sizeof(ub2), 0),
        "OCIBindArrayOfStruct"));
    if (a.national) {
      ub1 form = SQLCS_NCHAR;
      TABDB_RETURN_IF_ERROR(conn.Check(
          OCIAttrSet(bind, OCI_HTYPE_BIND, &form, 0, OCI_ATTR_CHARSET_FORM, conn.err()),
          "OCIAttrSet(charset form)"));
    }
  }

  int64_t since_commit = 0;
  for (int64_t base = 0; base < rows; base += batch) {
    uint32_t n = static_cast<uint32_t>(std::min<int64_t>(batch, rows - base));
    for (uint32_t r = 0; r < n; r++) {
      for (size_t i = 0; i < ncol; i++) {
        ColumnArray& a = arrays[i];
        size_t len = MakeValue(cols[i], i, static_cast<uint64_t>(base + r), &a.data[r * a.width]);
        a.ind[r] = len == 0 ? -1 : 0;
        a.len[r] = static_cast<ub2>(len);
      }
    }
    TABDB_RETURN_IF_ERROR(stmt.Execute(n));
    stats->rows += n;
    since_commit += n;
    if (since_commit >= opt.commit_rows) {
      TABDB_RETURN_IF_ERROR(conn.Commit());
      since_commit = 0;
    }
  }
  return conn.Commit();
}

// Locator descriptors released on every way out.
struct Locator {
  OCILobLocator* p = nullptr;
  ~Locator() {
    if (p) OCIDescriptorFree(p, OCI_DTYPE_LOB);
  }
};

Status WriteLob(OciConn& conn, OCILobLocator* loc, const std::string& data) {
  if (data.empty()) return Status::Ok();
  // Written in pieces of 32 KB as a streaming client does.
  oraub8 byte_amt = 0, char_amt = 0;
  size_t off = 0;
  bool first = true;
  while (off < data.size()) {
    size_t n = std::min(kPiece, data.size() - off);
    bool last = off + n == data.size();
    ub1 piece = first ? (last ? OCI_ONE_PIECE : OCI_FIRST_PIECE) : (last ? OCI_LAST_PIECE : OCI_NEXT_PIECE);
    if (first) byte_amt = last ? n : 0;
    sword rc = OCILobWrite2(conn.svc(), conn.err(), loc, &byte_amt, &char_amt, 1,
                            const_cast<char*>(data.data() + off), n, piece, nullptr, nullptr, 0,
                            SQLCS_IMPLICIT);
    if (rc != OCI_NEED_DATA) TABDB_RETURN_IF_ERROR(conn.Check(rc, "OCILobWrite2"));
    if (last && rc == OCI_NEED_DATA) return Status::Error(-1, "OCILobWrite2: last piece not taken");
    off += n;
    first = false;
  }
  return Status::Ok();
}

Status FillLobTable(OciConn& conn, const GenOptions& opt, int64_t rows, GenStats* stats) {
  TABDB_RETURN_IF_ERROR(conn.Exec(
      "create table LOBS (ID NUMBER(10), TITLE VARCHAR2(40), DOC CLOB, IMG BLOB)"));
  if (rows <= 0) return Status::Ok();
  OciStmt stmt(conn);
  TABDB_RETURN_IF_ERROR(stmt.Prepare(
      "insert into LOBS (ID, TITLE, DOC, IMG) values (:1, :2, empty_clob(), empty_blob()) "
      "returning DOC, IMG into :3, :4"));
  Locator doc, img;
  TABDB_RETURN_IF_ERROR(conn.Check(
      OCIDescriptorAlloc(conn.env(), reinterpret_cast<void**>(&doc.p), OCI_DTYPE_LOB, 0, nullptr),
      "OCIDescriptorAlloc"));
  TABDB_RETURN_IF_ERROR(conn.Check(
      OCIDescriptorAlloc(conn.env(), reinterpret_cast<void**>(&img.p), OCI_DTYPE_LOB, 0, nullptr),
      "OCIDescriptorAlloc"));
  int64_t id = 0;
  char title[40];
  ub2 title_len = 0;
  OCIBind* b = nullptr;
  TABDB_RETURN_IF_ERROR(conn.Check(OCIBindByPos(stmt.get(), &b, conn.err(), 1, &id, sizeof id,
                                                SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr,
                                                OCI_DEFAULT),
                                   "OCIBindByPos"));
  TABDB_RETURN_IF_ERROR(conn.Check(OCIBindByPos(stmt.get(), &b, conn.err(), 2, title, sizeof title,
                                                SQLT_CHR, nullptr, &title_len, nullptr, 0, nullptr,
                                                OCI_DEFAULT),
                                   "OCIBindByPos"));
  TABDB_RETURN_IF_ERROR(conn.Check(OCIBindByPos(stmt.get(), &b, conn.err(), 3, &doc.p,
                                                sizeof doc.p, SQLT_CLOB, nullptr, nullptr, nullptr,
                                                0, nullptr, OCI_DEFAULT),
                                   "OCIBindByPos"));
  TABDB_RETURN_IF_ERROR(conn.Check(OCIBindByPos(stmt.get(), &b, conn.err(), 4, &img.p,
                                                sizeof img.p, SQLT_BLOB, nullptr, nullptr, nullptr,
                                                0, nullptr, OCI_DEFAULT),
                                   "OCIBindByPos"));
  for (int64_t r = 0; r < rows; r++) {
    uint64_t row = static_cast<uint64_t>(r);
    id = r + 1;
    std::string t = Words(Hash(row, 100), 40, sizeof title);
    std::memcpy(title, t.data(), t.size());
    title_len = static_cast<ub2>(t.size());
    TABDB_RETURN_IF_ERROR(stmt.Execute(1));
    // Every 25th document stays empty.
    if (r % 25 != 24) {
      std::string text = GenText(row, 101, GenSize(row, 101, opt.clob_bytes));
      TABDB_RETURN_IF_ERROR(WriteLob(conn, doc.p, text));
      stats->lob_bytes += static_cast<int64_t>(text.size());
    }
    std::string bytes = GenBytes(row, 102, GenSize(row, 102, opt.blob_bytes));
    TABDB_RETURN_IF_ERROR(WriteLob(conn, img.p, bytes));
    stats->lob_bytes += static_cast<int64_t>(bytes.size());
    stats->rows++;
    if (r % 200 == 199) TABDB_RETURN_IF_ERROR(conn.Commit());
  }
  return conn.Commit();
}

Status FillLongTable(OciConn& conn, const GenOptions& opt, int64_t rows, GenStats* stats) {
  TABDB_RETURN_IF_ERROR(
      conn.Exec("create table LONGS (ID NUMBER(10), NOTE VARCHAR2(40), BODY LONG)"));
  if (rows <= 0) return Status::Ok();
  OciStmt stmt(conn);
  TABDB_RETURN_IF_ERROR(stmt.Prepare("insert into LONGS (ID, NOTE, BODY) values (:1, :2, :3)"));
  int64_t id = 0;
  char note[40];
  ub2 note_len = 0;
  OCIBind* b = nullptr;
  TABDB_RETURN_IF_ERROR(conn.Check(OCIBindByPos(stmt.get(), &b, conn.err(), 1, &id, sizeof id,
                                                SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr,
                                                OCI_DEFAULT),
                                   "OCIBindByPos"));
  TABDB_RETURN_IF_ERROR(conn.Check(OCIBindByPos(stmt.get(), &b, conn.err(), 2, note, sizeof note,
                                                SQLT_CHR, nullptr, &note_len, nullptr, 0, nullptr,
                                                OCI_DEFAULT),
                                   "OCIBindByPos"));
  TABDB_RETURN_IF_ERROR(conn.Check(OCIBindByPos(stmt.get(), &b, conn.err(), 3, nullptr,
                                                0x7FFFFFFF, SQLT_LNG, nullptr, nullptr, nullptr, 0,
                                                nullptr, OCI_DATA_AT_EXEC),
                                   "OCIBindByPos"));
  for (int64_t r = 0; r < rows; r++) {
    uint64_t row = static_cast<uint64_t>(r);
    id = r + 1;
    std::string t = Words(Hash(row, 200), 40, sizeof note);
    std::memcpy(note, t.data(), t.size());
    note_len = static_cast<ub2>(t.size());
    std::string body = GenText(row, 201, GenSize(row, 201, opt.long_bytes));
    sword rc = 0;
    TABDB_RETURN_IF_ERROR(stmt.Execute(1, &rc));
    size_t off = 0;
    while (rc == OCI_NEED_DATA) {
      void* hndl = nullptr;
      ub4 type = 0, iter = 0, idx = 0;
      ub1 in_out = 0, piece = 0;
      TABDB_RETURN_IF_ERROR(conn.Check(OCIStmtGetPieceInfo(stmt.get(), conn.err(), &hndl, &type,
                                                           &in_out, &iter, &idx, &piece),
                                       "OCIStmtGetPieceInfo"));
      size_t n = std::min(kPiece, body.size() - off);
      piece = off + n == body.size() ? OCI_LAST_PIECE : (off == 0 ? OCI_FIRST_PIECE : OCI_NEXT_PIECE);
      ub4 alen = static_cast<ub4>(n);
      sb2 ind = 0;
      TABDB_RETURN_IF_ERROR(conn.Check(OCIStmtSetPieceInfo(hndl, type, conn.err(), body.data() + off,
                                                           &alen, piece, &ind, nullptr),
                                       "OCIStmtSetPieceInfo"));
      off += n;
      TABDB_RETURN_IF_ERROR(stmt.Execute(1, &rc));
      if (rc == OCI_NEED_DATA && off == body.size())
        return Status::Error(-1, "LONG insert asks for data past the value's end");
    }
    stats->lob_bytes += static_cast<int64_t>(body.size());
    stats->rows++;
    if (r % 200 == 199) TABDB_RETURN_IF_ERROR(conn.Commit());
  }
  return conn.Commit();
}

}  // namespace

const char* RefTableName(RefTable t) {
  switch (t) {
    case RefTable::kNarrow: return "NARROW";
    case RefTable::kWide: return "WIDE";
    case RefTable::kLob: return "LOBS";
    case RefTable::kLong: return "LONGS";
  }
  return "";
}

Status ParseRefTables(std::string_view list, std::vector<RefTable>* out) {
  out->clear();
  const RefTable all[] = {RefTable::kNarrow, RefTable::kWide, RefTable::kLob, RefTable::kLong};
  size_t i = 0;
  while (i <= list.size()) {
    size_t e = list.find(',', i);
    if (e == std::string_view::npos) e = list.size();
    std::string name(list.substr(i, e - i));
    for (char& ch : name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    if (name == "ALL") {
      out->assign(std::begin(all), std::end(all));
    } else {
      bool found = false;
      for (RefTable t : all) {
        if (name != RefTableName(t)) continue;
        found = true;
        if (std::find(out->begin(), out->end(), t) == out->end()) out->push_back(t);
      }
      if (!found) return Status::Error(-1, "unknown table \"" + name + "\" (NARROW, WIDE, LOBS, LONGS, ALL)");
    }
    i = e + 1;
  }
  // Creation order is fixed whatever the order of the list.
  std::sort(out->begin(), out->end());
  return Status::Ok();
}

int64_t GenSizes::RowsOf(RefTable t) const {
  switch (t) {
    case RefTable::kNarrow: return narrow;
    case RefTable::kWide: return wide;
    case RefTable::kLob: return lob;
    case RefTable::kLong: return long_rows;
  }
  return 0;
}

Status SizesFor(std::string_view name, GenSizes* out) {
  if (name == "small") {
    *out = GenSizes{20000, 4000, 40, 20};
  } else if (name == "medium") {
    *out = GenSizes{200000, 40000, 400, 200};
  } else if (name == "large") {
    *out = GenSizes{1000000, 200000, 16000, 12000};
  } else {
    return Status::Error(-1, "unknown size \"" + std::string(name) + "\" (small, medium, large)");
  }
  return Status::Ok();
}

size_t GenSize(uint64_t row, uint64_t salt, size_t avg) {
  if (avg == 0) return 0;
  size_t spread = avg / 5;
  return avg - spread + Hash(row, salt ^ 0x5A5A) % (2 * spread + 1);
}

std::string GenText(uint64_t row, uint64_t salt, size_t target) {
  std::string s;
  s.reserve(target);
  uint64_t h = Hash(row, salt);
  while (true) {
    h = Mix(h);
    const char* w = kWords[h % kWordCount];
    size_t wb = std::strlen(w);
    if (s.size() + wb + 1 > target) break;
    s += w;
    s += (h >> 40) % 13 == 0 ? '\n' : ' ';
  }
  while (s.size() < target) s += '.';  // ASCII filler keeps the exact size
  return s;
}

std::string GenBytes(uint64_t row, uint64_t salt, size_t n) {
  std::string s(n, '\0');
  uint64_t h = Hash(row, salt);
  for (size_t i = 0; i < n; i += 8) {
    h = Mix(h);
    size_t k = std::min<size_t>(8, n - i);
    std::memcpy(&s[i], &h, k);
  }
  return s;
}

Status Generate(OciConn& conn, const GenOptions& opt, GenStats* stats) {
  *stats = GenStats{};
  for (RefTable t : opt.tables) {
    int64_t rows = opt.sizes.RowsOf(t);
    switch (t) {
      case RefTable::kNarrow:
        TABDB_RETURN_IF_ERROR(FillArrayTable(conn, opt, "NARROW", kNarrowCols,
                                             sizeof(kNarrowCols) / sizeof(kNarrowCols[0]), rows,
                                             stats));
        break;
      case RefTable::kWide:
        TABDB_RETURN_IF_ERROR(FillArrayTable(conn, opt, "WIDE", kWideCols,
                                             sizeof(kWideCols) / sizeof(kWideCols[0]), rows, stats));
        break;
      case RefTable::kLob: TABDB_RETURN_IF_ERROR(FillLobTable(conn, opt, rows, stats)); break;
      case RefTable::kLong: TABDB_RETURN_IF_ERROR(FillLongTable(conn, opt, rows, stats)); break;
    }
  }
  return Status::Ok();
}

}  // namespace tabdb::bench

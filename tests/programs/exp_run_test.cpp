// exp_run_test.cpp - tabexp run as a process against real database files:
// the command line and the run's messages, and the dump files it writes,
// read back and checked byte by byte.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dump_cursor.h"
#include "support.h"
#include "util.h"

extern "C" int tabexp_main(int argc, char** argv);

namespace {

using testsupport::CreateDatabase;
using testsupport::ProcResult;
using testsupport::ReadFile;
using testsupport::RunSql;
using testsupport::TempDir;
using testsupport::WriteFile;

const char kNls[] = "NLS_LANG=AMERICAN_AMERICA.AL32UTF8";
const char kBanner[] = "\nExport/Import data for Oracle database.\n\n";
const char kDone[] = "\nExport terminated successfully.\n\n";

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

std::string W(uint16_t v) { return std::string{static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)}; }
std::string Hex(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}
// The progress line of a table: two spaces after "table" for multi-row
// tables, one for single-row tables.
std::string Progress(const std::string& name, int rows, bool multi) {
  std::string n = std::to_string(rows);
  return std::string(". . exporting table ") + (multi ? " " : "") +
         std::string(30 - name.size(), ' ') + name + " " + std::string(10 - n.size(), ' ') + n +
         " rows exported\n";
}
// A value slot with its bytes.
std::string Val(const std::string& bytes) { return W(static_cast<uint16_t>(bytes.size())) + bytes; }

// ---- reading a dump back -------------------------------------------------------

struct Col {
  uint32_t ctype, clen;
  std::string name;
};
struct Slot {
  uint16_t mark;  // 0: a value follows in `bytes`; else 0xFFFB, 0xFFFC or 0xFFFE
  std::string bytes;
};
struct Row {
  std::vector<Slot> slots;
  std::vector<std::vector<std::string>> streams;  // each stream: its pieces
};
struct Table {
  uint32_t flag, ncol, nlob, nrows;
  uint64_t offset;
  std::string name, ddl;
  std::vector<Col> cols;
  std::vector<Row> rows;
  std::vector<std::string> stmts;  // index and constraint statements
  size_t rows_begin = 0, end = 0;  // file offsets: first row, end of section
};
struct Dump {
  std::string raw, owner, nls;
  uint32_t tab_cnt = 0;
  size_t data_end = 0;  // end of the last section: the trailer's offset
  std::vector<Table> tables;
};


// Parses the whole file; reports what does not fit the format.
Dump ReadDump(const std::string& path) {
  Dump d;
  d.raw = ReadFile(path);
  const std::string& f = d.raw;
  if (f.size() < 1024) {
    ADD_FAILURE() << "dump shorter than its header: " << f.size();
    return d;
  }
  auto u8 = reinterpret_cast<const uint8_t*>(f.data());
  if (std::memcmp(f.data(), "Tabdump\0", 8) != 0) {
    ADD_FAILURE() << "no dump header";
    return d;
  }
  d.owner = std::string(f.c_str() + 32);
  d.nls = std::string(f.c_str() + 64);
  EXPECT_EQ(1024u, get_be64(u8 + 192));
  d.tab_cnt = get_be32(u8 + 200);
  d.data_end = f.size();
  if (std::memcmp(f.data() + 208, "Tabdext\0", 8) == 0) {
    d.data_end = get_be64(u8 + 224);
    EXPECT_EQ(f.size(), d.data_end + get_be64(u8 + 232)) << "the trailer ends the file";
  }
  if (1024 + 56ull * d.tab_cnt > f.size()) {
    ADD_FAILURE() << "directory of " << d.tab_cnt << " tables past the end of the file";
    return d;
  }
  for (uint32_t i = 0; i < d.tab_cnt; i++) {
    const uint8_t* e = u8 + 1024 + 56 * i;
    Table t;
    t.flag = get_be32(e);
    t.ncol = get_be32(e + 4);
    t.nlob = get_be32(e + 8);
    t.nrows = get_be32(e + 12);
    t.offset = get_be64(e + 16);
    t.name = std::string(reinterpret_cast<const char*>(e + 24));
    if (t.offset == 0) {  // directory not written: nothing to follow
      d.tables.push_back(t);
      continue;
    }
    testsupport::DumpCursor r(f, t.offset);
    uint16_t len = r.Word();
    t.ddl = r.Bytes(len);
    for (uint32_t c = 0; c < t.ncol; c++) {
      std::string rec = r.Bytes(40);
      if (!r.ok()) break;
      auto p = reinterpret_cast<const uint8_t*>(rec.data());
      t.cols.push_back({get_be32(p), get_be32(p + 4), std::string(rec.c_str() + 8)});
    }
    t.rows_begin = r.pos();
    while (r.ok() && r.Peek() != MARK_ROWS_END) {
      Row row;
      for (uint32_t c = 0; c < t.ncol && r.ok(); c++) {
        uint16_t w = r.Word();
        if (w == MARK_NULL || w == MARK_LONG || w == MARK_LOB)
          row.slots.push_back({w, ""});
        else
          row.slots.push_back({0, r.Bytes(w)});
      }
      EXPECT_EQ(MARK_END, r.Word()) << "row end in " << t.name;
      while (r.ok() && r.Peek() == MARK_STREAM) {
        r.Word();
        std::vector<std::string> pieces;
        for (uint16_t p = r.Word(); r.ok() && p != MARK_END; p = r.Word()) {
          EXPECT_LE(p, DUMP_PIECE_SIZE);
          pieces.push_back(r.Bytes(p));
        }
        row.streams.push_back(pieces);
      }
      t.rows.push_back(row);
    }
    r.Word();  // end of rows
    for (uint16_t l = r.Word(); r.ok() && l != 0; l = r.Word()) t.stmts.push_back(r.Bytes(l));
    EXPECT_TRUE(r.ok()) << "section of " << t.name << " runs past the end of the file";
    t.end = r.pos();
    d.tables.push_back(t);
  }
  return d;
}

// ---- the fixture --------------------------------------------------------------

class ExportRun : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.file("db");
    dump_ = dir_.file("x.dmp");
    CreateDatabase(db_, "manager");
    Sql("CREATE USER app IDENTIFIED BY app;\nGRANT DBA TO app;\n", "system/manager");
  }
  void Sql(const std::string& script, const std::string& user = "app/app") {
    ProcResult r = RunSql(user + "@" + db_, script, {kNls});
    ASSERT_EQ(0, r.status) << script << "\n" << r.out << r.err;
  }
  ProcResult Export(std::vector<std::string> more = {}, const std::string& owner = "OWNER=app",
                    std::vector<std::string> env = {kNls}) {
    std::vector<std::string> argv = {TABEXP_PATH, "app/app@" + db_, "FILE=" + dump_, owner};
    argv.insert(argv.end(), more.begin(), more.end());
    return testsupport::Run(argv, env);
  }
  // Export that must succeed, read back.
  Dump ExportOk(std::vector<std::string> more = {}) {
    ProcResult r = Export(more);
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.err.find(kDone)) << r.err;
    return ReadDump(dump_);
  }
  static const Table* Find(const Dump& d, const std::string& name) {
    for (const Table& t : d.tables)
      if (t.name == name) return &t;
    ADD_FAILURE() << "no table " << name << " in the dump";
    return nullptr;
  }

  TempDir dir_;
  std::string db_, dump_;
};

// ---- command line and run messages --------------------------------------------------

TEST_F(ExportRun, RunsThatEndBeforeTheDatabase) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> env;
    std::string after_banner;  // what follows the banner on standard error
  } cases[] = {
      {{}, {kNls}, std::string(TABEXP_PATH) + " KEYWORD=value\n"},
      {{"app/app@" + db_, "FILE=" + dump_, "HELP=Y"}, {kNls}, std::string(TABEXP_PATH) + " KEYWORD="},
      {{"app/app@" + db_, "FILE=" + dump_}, {kNls}, "Owner not specified.\n"},
      {{"app/app@" + db_, "FILE=" + dump_, "OWNER=app"}, {"NLS_LANG"},
       "Set env \"NLS_LANG\" first.\n"},
      {{"app/wrong@" + db_, "FILE=" + dump_, "OWNER=app"}, {kNls},
       "Connect to oracle:\nORA-01017"},
      {{"app/app@" + dir_.file("missing"), "FILE=" + dump_, "OWNER=app"}, {kNls},
       "Connect to oracle:\nORA-12154"},
      // an empty NLS_LANG is no character set: refused like a missing one
      {{"app/app@" + db_, "FILE=" + dump_, "OWNER=app"}, {"NLS_LANG="},
       "Set env \"NLS_LANG\" first.\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv = {TABEXP_PATH};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    ProcResult r = testsupport::Run(argv, c.env);
    SCOPED_TRACE(c.after_banner);
    EXPECT_EQ(255, r.status);
    ASSERT_EQ(0u, r.err.find(kBanner)) << r.err;
    size_t body = r.err.find("\n\n", sizeof(kBanner) - 1) + 2;  // after the copyright line
    EXPECT_EQ(c.after_banner, r.err.substr(body, c.after_banner.size())) << r.err;
    EXPECT_EQ("", r.out);
    EXPECT_FALSE(Exists(dump_)) << "no dump file before the table list is read";
  }
}

TEST_F(ExportRun, OwnerWithoutTablesTruncatesAnOldFile) {
  WriteFile(dump_, std::string(100000, 'x'));
  ProcResult r = Export();
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_NE(std::string::npos, r.err.find("No tables need to export.\n" + std::string(kDone)))
      << r.err;
  Dump d = ReadDump(dump_);
  EXPECT_EQ(1024u, d.data_end);
  EXPECT_EQ(0u, d.tab_cnt);
  EXPECT_EQ("APP", d.owner);
  EXPECT_EQ("AMERICAN_AMERICA.AL32UTF8", d.nls);
  EXPECT_EQ("", r.out);
}

// ---- multi-row tables ---------------------------------------------------------------

TEST_F(ExportRun, OneTableSectionByteByByte) {
  Sql("CREATE TABLE t1 (id NUMBER(10), name VARCHAR2(20));\n"
      "INSERT INTO t1 VALUES (1, 'a');\n"
      "INSERT INTO t1 VALUES (2, NULL);\n"
      "COMMIT;\n");
  ProcResult r = Export();
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(Progress("T1", 2, true), r.out);
  Dump d = ReadDump(dump_);
  ASSERT_EQ(1u, d.tab_cnt);
  const Table& t = d.tables[0];
  EXPECT_EQ("T1", t.name);
  EXPECT_EQ(1536u, t.offset);
  EXPECT_EQ(0u, t.flag);
  EXPECT_EQ(2u, t.ncol);
  EXPECT_EQ(0u, t.nlob);
  EXPECT_EQ(2u, t.nrows);
  EXPECT_EQ(0u, t.ddl.find("CREATE TABLE \"T1\"")) << t.ddl;
  EXPECT_EQ(std::string::npos, t.ddl.find("\"APP\".")) << t.ddl;
  ASSERT_EQ(2u, t.cols.size());
  EXPECT_EQ(5u, t.cols[0].ctype);
  EXPECT_EQ(22u, t.cols[0].clen);
  EXPECT_EQ("ID", t.cols[0].name);
  EXPECT_EQ(3u, t.cols[1].ctype);
  EXPECT_EQ(20u, t.cols[1].clen);
  EXPECT_EQ("NAME", t.cols[1].name);
  std::string rows = Val(Hex({0xC1, 0x02})) + Val("a") + W(0) + Val(Hex({0xC1, 0x03})) +
                     W(MARK_NULL) + W(0) + W(MARK_ROWS_END) + W(0);
  EXPECT_EQ(rows, d.raw.substr(t.rows_begin, d.data_end - t.rows_begin));
  EXPECT_EQ(d.data_end, t.end);
}

TEST_F(ExportRun, TenTablesAndTheLogFile) {
  std::string script;
  for (int i = 0; i < 10; i++)
    script += "CREATE TABLE tab" + std::to_string(i) + " (n NUMBER);\nINSERT INTO tab" +
              std::to_string(i) + " VALUES (" + std::to_string(i) + ");\n";
  Sql(script + "COMMIT;\n");
  std::string log = dir_.file("exp.log");
  Dump d = ExportOk({"LOG=" + log});
  ASSERT_EQ(10u, d.tab_cnt);
  std::set<std::string> names;
  uint64_t next = 2048;  // 560 directory bytes round up to 1024
  for (const Table& t : d.tables) {
    names.insert(t.name);
    EXPECT_EQ(next, t.offset) << t.name;
    next = t.end;
    EXPECT_EQ("CREATE TABLE \"" + t.name + "\"", t.ddl.substr(0, 15 + t.name.size()));
    ASSERT_EQ(1u, t.rows.size());
  }
  EXPECT_EQ(d.data_end, next);
  EXPECT_EQ(10u, names.size());
  std::string logged = ReadFile(log);
  // ten progress lines, then the closing line
  EXPECT_EQ(10u * 77 + sizeof(kDone) - 1, logged.size()) << logged;
  EXPECT_NE(std::string::npos, logged.find(Progress("TAB0", 1, true)));
  EXPECT_EQ(10u * 77, logged.find(kDone)) << logged;

  // A log file that cannot be opened: progress goes to standard output.
  ProcResult r = Export({"LOG=" + dir_.file("no/such/dir/exp.log")});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_NE(std::string::npos, r.err.find("Open LOG file error, output to screen.\n"));
  EXPECT_EQ(10u * 77, r.out.size()) << r.out;
}

TEST_F(ExportRun, EveryOrdinaryTypeWithNulls) {
  Sql("CREATE TABLE ty (c CHAR(3), nc NCHAR(2), v VARCHAR2(10), nv NVARCHAR2(4), n NUMBER,\n"
      "  f FLOAT, d DATE, ts TIMESTAMP(6), tz TIMESTAMP(6) WITH TIME ZONE,\n"
      "  lt TIMESTAMP(3) WITH LOCAL TIME ZONE, ym INTERVAL YEAR(2) TO MONTH,\n"
      "  ds INTERVAL DAY(2) TO SECOND(6), r RAW(8), bf BINARY_FLOAT, bd BINARY_DOUBLE);\n"
      "INSERT INTO ty VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,\n"
      "  NULL, NULL, NULL, NULL, NULL);\n"
      "INSERT INTO ty VALUES ('ab', 'x', 'xyz', 'nv', 1, 12.3,\n"
      "  TO_DATE('2024-03-15 13:45:30', 'YYYY-MM-DD HH24:MI:SS'),\n"
      "  TIMESTAMP '1980-02-20 10:46:34.123456', NULL, NULL, INTERVAL '1-2' YEAR TO MONTH,\n"
      "  NULL, HEXTORAW('ABCD'), 1.0, 1.0);\n"
      "COMMIT;\n");
  Dump d = ExportOk();
  const Table* t = Find(d, "TY");
  ASSERT_TRUE(t);
  const uint32_t codes[] = {1, 2, 3, 4, 5, 5, 6, 7, 8, 9, 10, 11, 12, 18, 19};
  ASSERT_EQ(15u, t->cols.size());
  for (int i = 0; i < 15; i++) EXPECT_EQ(codes[i], t->cols[i].ctype) << t->cols[i].name;
  ASSERT_EQ(2u, t->rows.size());
  for (const Slot& s : t->rows[0].slots) EXPECT_EQ(MARK_NULL, s.mark);
  const Row& v = t->rows[1];
  EXPECT_EQ("ab ", v.slots[0].bytes);
  EXPECT_EQ("xyz", v.slots[2].bytes);
  EXPECT_EQ(Hex({0xC1, 0x02}), v.slots[4].bytes);
  EXPECT_EQ(Hex({0xC1, 0x0D, 0x1F}), v.slots[5].bytes);
  EXPECT_EQ(Hex({0x78, 0x7C, 0x03, 0x0F, 0x0E, 0x2E, 0x1F}), v.slots[6].bytes);
  EXPECT_EQ(Hex({0x77, 0xB4, 0x02, 0x14, 0x0B, 0x2F, 0x23, 0x07, 0x5B, 0xCA, 0x00}),
            v.slots[7].bytes);
  EXPECT_EQ(MARK_NULL, v.slots[8].mark);
  EXPECT_EQ(Hex({0x80, 0x00, 0x00, 0x01, 0x3E}), v.slots[10].bytes);
  EXPECT_EQ(MARK_NULL, v.slots[11].mark);
  EXPECT_EQ(Hex({0xAB, 0xCD}), v.slots[12].bytes);
  EXPECT_EQ(Hex({0xBF, 0x80, 0x00, 0x00}), v.slots[13].bytes);
  EXPECT_EQ(Hex({0xBF, 0xF0, 0, 0, 0, 0, 0, 0}), v.slots[14].bytes);
}

// The fetch loop ends right on a full batch, then on a partial one.
TEST_F(ExportRun, RowCountEndingOnMaxRow) {
  std::string cols;
  for (int i = 0; i < 8; i++) cols += std::string(i ? ", " : "") + "c" + std::to_string(i) + " VARCHAR2(4000)";
  Sql("CREATE TABLE wide (" + cols + ");\n");
  // An in-process run on the empty table tells the rows per fetch.
  std::vector<std::string> args = {"tabexp", "app/app@" + db_, "FILE=" + dump_, "OWNER=app"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  setenv("NLS_LANG", "AMERICAN_AMERICA.AL32UTF8", 1);
  ::testing::internal::CaptureStderr();
  ::testing::internal::CaptureStdout();
  EXP_RUN* run = static_cast<EXP_RUN*>(calloc(1, sizeof(EXP_RUN)));
  ASSERT_NE(nullptr, run);
  int status = export_run(run, static_cast<int>(args.size()), argv.data());
  const int max_row = run->main.max_row;
  free(run);
  ::testing::internal::GetCapturedStdout();
  ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(0, status);
  ASSERT_GT(max_row, 1);
  ASSERT_LT(max_row, 1000);

  std::string script;
  for (int i = 0; i < max_row; i++)
    script += "INSERT INTO wide (c0, c7) VALUES ('" + std::to_string(i) + "', " +
              (i % 2 ? "NULL" : "'" + std::string(4000, 'z') + "'") + ");\n";
  Sql(script + "COMMIT;\n");
  for (int total : {max_row, max_row + 1}) {
    if (total > max_row) Sql("INSERT INTO wide (c0) VALUES ('last');\nCOMMIT;\n");
    Dump d = ExportOk();
    ASSERT_EQ(1u, d.tables.size());
    const Table& t = d.tables[0];
    EXPECT_EQ(static_cast<uint32_t>(total), t.nrows);
    ASSERT_EQ(static_cast<size_t>(total), t.rows.size());
    for (int i = 0; i < total; i++) {
      const Row& row = t.rows[i];
      EXPECT_EQ(i < max_row ? std::to_string(i) : "last", row.slots[0].bytes);
      for (int c = 1; c < 7; c++) EXPECT_EQ(MARK_NULL, row.slots[c].mark);
      if (i % 2 || i == max_row)
        EXPECT_EQ(MARK_NULL, row.slots[7].mark);
      else
        EXPECT_EQ(std::string(4000, 'z'), row.slots[7].bytes);
    }
  }
}

// ---- single-row tables ----------------------------------------------------------------

TEST_F(ExportRun, LongAndTwoLobsByteByByte) {
  Sql("CREATE TABLE l (id NUMBER, note LONG, doc CLOB, pic BLOB);\n"
      "INSERT INTO l VALUES (1, 'hello', 'clob text', NULL);\n"
      "COMMIT;\n");
  ProcResult r = Export();
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(Progress("L", 1, false), r.out);
  Dump d = ReadDump(dump_);
  ASSERT_EQ(1u, d.tables.size());
  const Table& t = d.tables[0];
  EXPECT_EQ(3u, t.flag);
  EXPECT_EQ(2u, t.nlob);
  EXPECT_EQ(1u, t.nrows);
  ASSERT_EQ(4u, t.cols.size());
  EXPECT_EQ(13u, t.cols[1].ctype);
  EXPECT_EQ(15u, t.cols[2].ctype);
  EXPECT_EQ(17u, t.cols[3].ctype);
  // select order: ID, DOC, PIC, NOTE; the LONG stream, then DOC's stream
  std::string expected = Val(Hex({0xC1, 0x02})) + W(MARK_LOB) + W(MARK_NULL) + W(MARK_LONG) +
                         W(0) + W(MARK_STREAM) + Val("hello") + W(0) + W(MARK_STREAM) +
                         Val("clob text") + W(0) + W(MARK_ROWS_END) + W(0);
  EXPECT_EQ(expected, d.raw.substr(t.rows_begin, d.data_end - t.rows_begin));
}

TEST_F(ExportRun, LobStreams) {
  Sql("CREATE TABLE s (id NUMBER, c CLOB, b BLOB, nc NCLOB);\n"
      "INSERT INTO s VALUES (1, EMPTY_CLOB(), EMPTY_BLOB(), 'n\xC3\xA9');\n"
      "INSERT INTO s VALUES (2, RPAD(TO_CLOB('a'), 30000, 'b') || RPAD(TO_CLOB('b'), 30000, 'b')\n"
      "  || RPAD(TO_CLOB('b'), 10000, 'b'), HEXTORAW('00FF'), NULL);\n"
      "INSERT INTO s VALUES (3, NULL, NULL, NULL);\n"
      "COMMIT;\n");
  Dump d = ExportOk();
  const Table* t = Find(d, "S");
  ASSERT_TRUE(t);
  ASSERT_EQ(3u, t->rows.size());
  // empty (not NULL) LOBs: the slot, then a stream without any piece
  const Row& e = t->rows[0];
  EXPECT_EQ(MARK_LOB, e.slots[1].mark);
  EXPECT_EQ(MARK_LOB, e.slots[2].mark);
  ASSERT_EQ(3u, e.streams.size());
  EXPECT_TRUE(e.streams[0].empty());
  EXPECT_TRUE(e.streams[1].empty());
  ASSERT_EQ(1u, e.streams[2].size());
  EXPECT_EQ("n\xC3\xA9", e.streams[2][0]);  // NCLOB text in the client encoding
  // a long CLOB in pieces of at most 32768 bytes, none empty
  const Row& big = t->rows[1];
  ASSERT_EQ(2u, big.streams.size());
  std::string whole;
  for (const std::string& p : big.streams[0]) {
    EXPECT_FALSE(p.empty());
    whole += p;
  }
  EXPECT_GE(big.streams[0].size(), 3u);
  EXPECT_EQ(70000u, whole.size());
  EXPECT_TRUE(whole == "a" + std::string(69999, 'b'));
  EXPECT_EQ(std::vector<std::string>{Hex({0x00, 0xFF})}, big.streams[1]);
  EXPECT_EQ(MARK_NULL, big.slots[3].mark);
  // all NULL: no stream at all
  EXPECT_TRUE(t->rows[2].streams.empty());
  EXPECT_EQ(MARK_NULL, t->rows[2].slots[1].mark);
}

TEST_F(ExportRun, NullLongRowsKeepCountAndEnd) {
  Sql("CREATE TABLE nl (id NUMBER, raw_data LONG RAW);\n"
      "INSERT INTO nl VALUES (1, NULL);\n"
      "INSERT INTO nl VALUES (2, HEXTORAW('0102'));\n"
      "INSERT INTO nl VALUES (3, NULL);\n"
      "COMMIT;\n");
  Dump d = ExportOk();
  const Table* t = Find(d, "NL");
  ASSERT_TRUE(t);
  EXPECT_EQ(1u, t->flag);
  EXPECT_EQ(3u, t->nrows);
  ASSERT_EQ(3u, t->rows.size());
  for (int i : {0, 2}) {
    EXPECT_EQ(MARK_NULL, t->rows[i].slots[1].mark) << i;
    for (const auto& s : t->rows[i].streams) EXPECT_TRUE(s.empty()) << i;
  }
  EXPECT_EQ(MARK_LONG, t->rows[1].slots[1].mark);
  ASSERT_EQ(1u, t->rows[1].streams.size());
  EXPECT_EQ(std::vector<std::string>{Hex({1, 2})}, t->rows[1].streams[0]);
}

// ---- DDL ----------------------------------------------------------------------------

TEST_F(ExportRun, IndexesAndPrimaryKeyWithAndWithoutStorage) {
  Sql("CREATE TABLE orders (id NUMBER(10) NOT NULL, name VARCHAR2(30), st NUMBER);\n"
      "ALTER TABLE orders ADD CONSTRAINT orders_pk PRIMARY KEY (id);\n"
      "CREATE UNIQUE INDEX orders_name_uk ON orders (name);\n"
      "CREATE INDEX orders_up ON orders (UPPER(name));\n"
      "CREATE INDEX orders_st ON orders (st, name);\n"
      "CREATE TABLE plain (n NUMBER);\n");
  for (bool storage : {false, true}) {
    SCOPED_TRACE(storage ? "STORAGE=Y" : "default");
    Dump d = ExportOk(storage ? std::vector<std::string>{"STORAGE=Y"} : std::vector<std::string>{});
    const Table* t = Find(d, "ORDERS");
    ASSERT_TRUE(t);
    // hidden columns of the function-based index are not exported
    EXPECT_EQ(3u, t->ncol);
    ASSERT_EQ(5u, t->stmts.size());
    std::set<std::string> heads;
    for (size_t i = 0; i < 4; i++) {
      const std::string& s = t->stmts[i];
      heads.insert(s.substr(0, s.find(" ON ")));
      EXPECT_NE(std::string::npos, s.find(" ON \"ORDERS\" (")) << s;
      EXPECT_EQ(std::string::npos, s.find("\"APP\".")) << s;
      EXPECT_EQ(storage, s.find("TABLESPACE") != std::string::npos) << s;
    }
    EXPECT_EQ((std::set<std::string>{"CREATE UNIQUE INDEX \"ORDERS_PK\"",
                                     "CREATE UNIQUE INDEX \"ORDERS_NAME_UK\"",
                                     "CREATE INDEX \"ORDERS_UP\"", "CREATE INDEX \"ORDERS_ST\""}),
              heads);
    const std::string& pk = t->stmts[4];
    EXPECT_EQ(0u, pk.find("ALTER TABLE \"ORDERS\" ADD CONSTRAINT \"ORDERS_PK\" PRIMARY KEY (\"ID\")"))
        << pk;
    EXPECT_EQ(std::string::npos, pk.find("\"APP\".")) << pk;
    EXPECT_EQ(storage, t->ddl.find("TABLESPACE") != std::string::npos) << t->ddl;
    EXPECT_EQ(std::string::npos, t->ddl.find("\"APP\".")) << t->ddl;
    // a table without index or key ends right after its rows
    const Table* p = Find(d, "PLAIN");
    ASSERT_TRUE(p);
    EXPECT_TRUE(p->stmts.empty());
    EXPECT_EQ(W(MARK_ROWS_END) + W(0), d.raw.substr(p->rows_begin, 4));
  }
}

TEST_F(ExportRun, NamesWithQuotesReachSqlEscaped) {
  // Statements run one by one through the client library, so that no
  // script splitter has to know about quotes inside quoted names.
  OCI_ENV env{};
  ASSERT_EQ(0, connect_oracle(&env, "app", "app", db_.c_str())) << get_ora_message(&env);
  for (const char* sql : {"CREATE TABLE \"O'Q\"\"T\" (\"C\"\"1\" NUMBER, \"it's\" VARCHAR2(5))",
                          "INSERT INTO \"O'Q\"\"T\" VALUES (7, 'x')",
                          "CREATE INDEX \"I'X\"\"\" ON \"O'Q\"\"T\" (\"it's\")",
                          "CREATE USER \"Mixed\" IDENTIFIED BY m",
                          "CREATE TABLE \"Mixed\".\"lower\" (n NUMBER)"}) {
    sword rc = OCIStmtPrepare(env.smthp, env.errhp, reinterpret_cast<const OraText*>(sql),
                              static_cast<ub4>(std::strlen(sql)), OCI_NTV_SYNTAX, OCI_DEFAULT);
    if (rc == OCI_SUCCESS)
      rc = OCIStmtExecute(env.svchp, env.smthp, env.errhp, 1, 0, nullptr, nullptr,
                          OCI_DEFAULT);
    ASSERT_EQ(0, check_error(&env, rc)) << sql << "\n" << get_ora_message(&env);
  }
  ASSERT_EQ(OCI_SUCCESS, OCITransCommit(env.svchp, env.errhp, OCI_DEFAULT));
  ASSERT_EQ(0, disconnect_oracle(&env));
  Dump d = ExportOk();
  const Table* t = Find(d, "O'Q\"T");
  ASSERT_TRUE(t);
  EXPECT_EQ(0u, t->ddl.find("CREATE TABLE \"O'Q\"\"T\"")) << t->ddl;
  ASSERT_EQ(2u, t->cols.size());
  EXPECT_EQ("C\"1", t->cols[0].name);
  ASSERT_EQ(1u, t->rows.size());
  EXPECT_EQ("x", t->rows[0].slots[1].bytes);
  ASSERT_EQ(1u, t->stmts.size());
  EXPECT_EQ(0u, t->stmts[0].find("CREATE INDEX \"I'X\"\"\" ON \"O'Q\"\"T\" (\"it's\")"))
      << t->stmts[0];

  // a case-sensitive owner, given in double quotes
  ProcResult r = Export({}, "OWNER=\"Mixed\"");
  ASSERT_EQ(0, r.status) << r.err;
  Dump m = ReadDump(dump_);
  EXPECT_EQ("Mixed", m.owner);
  ASSERT_EQ(1u, m.tables.size());
  EXPECT_EQ("lower", m.tables[0].name);
  EXPECT_EQ(0u, m.tables[0].ddl.find("CREATE TABLE \"lower\"")) << m.tables[0].ddl;
}

// ---- failures that stop the export --------------------------------------------------------

// A failed export leaves no dump: it was written under a temporary name,
// removed with the failure.
TEST_F(ExportRun, FailuresLeaveNoDump) {
  struct Case {
    std::string script, table, message, nls;
  } cases[] = {
      // a character outside the Basic Multilingual Plane takes four bytes
      // of VARCHAR2(4) in the database but six in the UTF8 (CESU-8) client
      // character set: the value does not fit its buffer
      {"CREATE TABLE cut (id NUMBER, v VARCHAR2(4));\n"
       "INSERT INTO cut VALUES (1, '\xF0\x9F\x98\x80');\n"
       "COMMIT;\n",
       "CUT", "Value of column \"V\" in table \"CUT\" was cut to fit its buffer.\n",
       "NLS_LANG=AMERICAN_AMERICA.UTF8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    Sql(c.script);
    ProcResult r = Export({}, "OWNER=app", {c.nls});
    EXPECT_EQ(255, r.status);
    EXPECT_NE(std::string::npos, r.err.find(c.message)) << r.err;
    EXPECT_EQ(std::string::npos, r.err.find(kDone));
    EXPECT_NE(0, access(dump_.c_str(), F_OK)) << "a dump was left";
    Sql("DROP TABLE " + c.table + ";\n");
  }
}

}  // namespace

// imp_reader_test.cpp - tabimp's command line and dump reader over the OCI
// test double: what reaches the library from well-formed dumps, and how
// damaged dumps end.
#include <algorithm>

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "dump_builder.h"
#include "fakeoci.h"
#include "args.h"
#include "util.h"

extern "C" int tabimp_main(int argc, char** argv);

using namespace dumpbuild;

namespace {

struct Outcome {
  int rc;
  std::string out;
  std::string err;
};

class ImpReader : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/imp_reader.XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    path_ = dir_ + "/exp.dmp";
  }
  void TearDown() override {
    // every run releases every handle and locator, and never lets the
    // library see a prepared text change
    EXPECT_EQ(fakeoci::state().live_objects, 0);
    EXPECT_FALSE(fakeoci::state().text_changed);
    EXPECT_FALSE(fakeoci::state().commit_with_open_lob);
    unlink(path_.c_str());
    rmdir(dir_.c_str());
  }

  Outcome RunBytes(const std::string& bytes, std::vector<std::string> args = {},
                   void (*setup)() = nullptr) {
    std::ofstream(path_, std::ios::binary) << bytes;
    fakeoci::Reset();
    if (setup) setup();
    std::vector<std::string> argv = {"tabimp", "app/app@db", "FILE=" + path_};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> p;
    for (std::string& a : argv) p.push_back(a.data());
    p.push_back(nullptr);
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    int rc = tabimp_main(static_cast<int>(argv.size()), p.data());
    Outcome o{rc, ::testing::internal::GetCapturedStdout(), ::testing::internal::GetCapturedStderr()};
    return o;
  }
  Outcome Run(const Dump& d, std::vector<std::string> args = {}, void (*setup)() = nullptr) {
    return RunBytes(d.Build(), std::move(args), setup);
  }

  std::string dir_, path_;
};

const std::vector<Column> kEmpCols = {{5, 22, "ID"}, {3, 20, "NAME"}};

Table Emp(int rows, const std::string& name = "EMP") {
  Table t(name, kEmpCols);
  for (int i = 0; i < rows; i++) t.Row({Val(Number(i + 1)), i % 2 ? Null() : Val("n" + std::to_string(i))});
  return t;
}

std::string Progress(const std::string& table, int rows) {
  char line[128];
  std::snprintf(line, sizeof line, ". . importing table  %30s %10d rows imported\n", table.c_str(), rows);
  return line;
}

// ---- command line -------------------------------------------------------

struct ArgCase {
  std::vector<std::string> args;
  int rc;
  std::string message;  // expected in stderr
};

TEST(ImpArguments, ParseOutcomes) {
  const std::vector<ArgCase> cases = {
      {{}, -1, "USERID must be the first parameter"},
      {{"HELP=Y"}, -1, "tabimp KEYWORD=value"},
      {{"help=Y"}, -1, "USERID parameter format error."},
      {{"USERID"}, -1, "USERID parameter format error."},
      {{std::string(32, 'u') + "/p", "FILE=x"}, -1, "Argument \"username\" too long."},
      {{"u/" + std::string(32, 'p') + "@db", "FILE=x"}, -1, "Argument \"password\" too long."},
      {{"u/p", "FILE"}, -1, "Output file not specified."},
      {{"u/p", "FILE="}, -1, "Output file not specified."},
      {{"u/p"}, -1, "Output file not specified."},
      {{"u/p", "FILE=x", "INDEXES=N"}, -1, "Invalid parameter \"INDEXES=N\" specified."},
      {{"u/p", "FILE=x", "Ignore=Y"}, -1, "Invalid parameter \"Ignore=Y\" specified."},
      {{"u/p", "FILE=x", "TOUSER=" + std::string(32, 'a')}, -1, "Owner argument too large."},
      {{"u/p", "FILE=x", "TOUSER=\"abc"}, -1, "Owner argument too large."},
      {{"u/p", "FILE=x", "HELP=Y"}, -1, "LOG          log file of screen output"},
      {{"u/p", "FILE=x", "IGNORE=Yes", "indexes=y", "CONSTRAINTS=Y", "LOG"}, 0, ""},
      // values are taken whole or refused, never cut
      {{"a/" + std::string(40, 'p'), "FILE=x"}, -1, "Argument \"password\" too long."},
      {{"a/b@" + std::string(128, 't'), "FILE=x"}, -1, "Argument \"tnsname\" too long."},
      {{"a/b", "FILE=" + std::string(256, 'f')}, -1, "Argument \"file\" too long."},
      {{"a/b", "FILE=x", "LOG=" + std::string(256, 'l')}, -1, "Argument \"log\" too long."},
      {{"a/b", "FILE=x", "touser=\"MiXed\"tail"}, -1, "has characters after its closing quote."},
      {{"a/b", "FILE=x", "TOUSER=\"New\"\"\""}, -1, "has characters after its closing quote."},
  };
  for (const ArgCase& c : cases) {
    std::vector<std::string> argv = {"tabimp"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    std::vector<char*> p;
    for (std::string& a : argv) p.push_back(a.data());
    ::testing::internal::CaptureStderr();
    IMP_RUN run;
    int rc = parse_imp_arguments(&run, static_cast<int>(p.size()), p.data());
    std::string err = ::testing::internal::GetCapturedStderr();
    clear_run_options(&run.opts);
    EXPECT_EQ(rc, c.rc) << ::testing::PrintToString(c.args);
    EXPECT_NE(err.find(c.message), std::string::npos) << ::testing::PrintToString(c.args) << err;
    if (rc < 0) {
      EXPECT_NE(err.find("INDEXES      import indexes (Y)"), std::string::npos);
    }
  }
}

TEST(ImpArguments, ConnectStringAndTargetSchema) {
  struct Case {
    std::vector<std::string> args;
    std::string user, password, tns, owner;
  };
  const std::vector<Case> cases = {
      {{"USERID=scott/tiger@orcl"}, "scott", "tiger", "orcl", ""},
      {{"scott/tiger"}, "scott", "tiger", "", ""},
      {{"UserId=scott/tiger"}, "UserId=scott", "tiger", "", ""},
      {{"/"}, "", "", "", ""},
      {{"a/" + std::string(31, 'p')}, "a", std::string(31, 'p'), "", ""},
      {{"a/b@" + std::string(127, 't')}, "a", "b", std::string(127, 't'), ""},
      {{"a/b", "TOUSER=scott"}, "a", "b", "", "SCOTT"},
      {{"a/b", "touser=\"MiXed\""}, "a", "b", "", "MiXed"},
      {{"a/b", "TOUSER=abcdef", "TOUSER=\"xy\""}, "a", "b", "", "xy"},
      {{"a/b", "TOUSER=\"\""}, "a", "b", "", ""},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv = {"tabimp"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    argv.push_back("FILE=f");
    std::vector<char*> p;
    for (std::string& a : argv) p.push_back(a.data());
    IMP_RUN run;
    ASSERT_EQ(parse_imp_arguments(&run, static_cast<int>(p.size()), p.data()), 0)
        << ::testing::PrintToString(c.args);
    EXPECT_EQ(run.conn.username, c.user);
    EXPECT_EQ(run.conn.password, c.password);
    EXPECT_EQ(run.conn.tnsname, c.tns);
    EXPECT_EQ(run.owner_name, c.owner);
    clear_run_options(&run.opts);
  }
}

// ---- header and directory -----------------------------------------------

TEST_F(ImpReader, EmptyOwnerConnectsSwitchesSchemaAndSucceeds) {
  Dump d;
  std::string bytes = d.Build().substr(0, 208);
  Outcome o = RunBytes(bytes, {"TOUSER=\"New\""});
  ASSERT_EQ(o.rc, 0) << o.err;
  EXPECT_NE(o.err.find("Import terminated successfully."), std::string::npos);
  ASSERT_EQ(fakeoci::state().statements.size(), 1u);
  EXPECT_EQ(fakeoci::state().statements[0], "alter session set current_schema=\"New\"");
  EXPECT_EQ(fakeoci::state().session_user, "app");
  EXPECT_EQ(fakeoci::state().server, "db");
}

TEST_F(ImpReader, SchemaNameFromHeaderIsQuotedWithQuotesDoubled) {
  Dump d;
  d.owner = "Odd\"Name";
  ASSERT_EQ(Run(d).rc, 0);
  EXPECT_EQ(fakeoci::state().statements[0], "alter session set current_schema=\"Odd\"\"Name\"");
}

TEST_F(ImpReader, DamagedHeadersAndDirectoriesAreRejected) {
  struct Case {
    const char* what;
    std::string bytes;
    std::string message;
  };
  Dump one;
  one.tables.push_back(Emp(1));
  const std::string good = one.Build();
  auto patched = [&](size_t at, const std::string& b) {
    std::string s = good;
    s.replace(at, b.size(), b);
    return s;
  };
  Dump failed = one;
  failed.zero_directory = true;
  Dump lob_flag = one;
  lob_flag.tables[0].flag = 2;
  lob_flag.tables[0].nlob = 1;
  Dump no_cols = one;
  no_cols.tables[0].ncol = 0;
  Dump unknown_type = one;
  unknown_type.tables[0].cols[1].ctype = 20;
  Dump two_longs;
  two_longs.tables.push_back(Table("L", {{13, 0, "A"}, {14, 0, "B"}}));
  std::string big_count = good;
  big_count[203] = 100;

  const std::vector<Case> cases = {
      {"short file", good.substr(0, 207), "not completed."},
      {"magic", patched(7, "X"), "File is not exported by these utilities."},
      {"owner without NUL", patched(32, std::string(32, 'O')), "is damaged."},
      {"nls_lang without NUL", patched(64, std::string(128, 'N')), "is damaged."},
      {"table count", big_count, "exceeds the file."},
      {"directory of a failed export", failed.Build(), "damaged: section offset outside the file."},
      {"offset past the end", patched(1024 + 16, std::string("\x7f\0\0\0\0\0\0\0", 8)),
       "Table directory entry 1"},
      {"flag without LOB columns", lob_flag.Build(), "disagrees with its columns"},
      {"no columns", no_cols.Build(), "Table directory entry 1 of " + path_ + " is damaged: no columns."},
      {"unknown type", unknown_type.Build(), "unknown column type 20"},
      {"two LONG columns", two_longs.Build(), "disagrees with its columns"},
  };
  for (const Case& c : cases) {
    Outcome o = RunBytes(c.bytes);
    EXPECT_EQ(o.rc, -1) << c.what;
    EXPECT_NE(o.err.find(c.message), std::string::npos) << c.what << ": " << o.err;
    EXPECT_TRUE(fakeoci::state().rows.empty()) << c.what;
  }
}

// ---- rows of multi-row tables -------------------------------------------

TEST_F(ImpReader, MultiRowTableIsInsertedCommittedAndReported) {
  Dump d;
  Table t = Emp(3);
  t.index_sql = {"create index \"EMP_I\" on \"EMP\" (\"NAME\")", "alter table \"EMP\" add primary key (\"ID\")"};
  d.tables.push_back(t);
  d.tables.push_back(Emp(0, "NONE"));
  Outcome o = Run(d, {"TOUSER=app"});
  ASSERT_EQ(o.rc, 0) << o.err;
  const fakeoci::State& s = fakeoci::state();
  ASSERT_EQ(s.rows.size(), 3u);
  EXPECT_EQ(s.rows[0].sql, "insert into \"APP\".\"EMP\" (\"ID\",\"NAME\")\nvalues\n(:1,:2)\n");
  EXPECT_EQ(fakeoci::Value(s.rows[0], 0), Number(1));
  EXPECT_EQ(fakeoci::Value(s.rows[0], 1), "n0");
  EXPECT_EQ(fakeoci::Value(s.rows[1], 1), std::nullopt);
  EXPECT_EQ(s.commits, 1);  // the table without rows commits nothing
  EXPECT_EQ(o.out, Progress("EMP", 3) + Progress("NONE", 0));
  std::vector<std::string> want = {"alter session set current_schema=\"APP\"", t.ddl,
                                   s.rows[0].sql, t.index_sql[0], t.index_sql[1], d.tables[1].ddl};
  EXPECT_EQ(s.statements, want);
}

// METRICS=Y on a server whose statistics the user may not read: each
// table's line ends with its time alone, the run's count is not available.
TEST_F(ImpReader, MetricsWithoutTheStatisticsView) {
  Dump d;
  d.tables.push_back(Emp(3));
  Outcome o = Run(d, {"TOUSER=app", "METRICS=Y"});
  ASSERT_EQ(o.rc, 0) << o.err;
  std::string line = Progress("EMP", 3);
  EXPECT_TRUE(std::regex_match(o.out, std::regex(line.substr(0, line.size() - 1) + "  [0-9]+\\.[0-9]{2} s\n")))
      << o.out;
  EXPECT_NE(o.err.find("\nRound trips to the database: not available\nImport terminated successfully.\n"),
            std::string::npos)
      << o.err;
}

TEST_F(ImpReader, RowsGoInBatchesOfMaxRow) {
  for (int n : {250, 100, 1}) {
    Dump d;
    Table t("T", {{12, 644, "R"}});
    for (int i = 0; i < n; i++) t.Row({Val(std::string(i % 644 + 1, 'r'))});
    d.tables.push_back(t);
    Outcome o = Run(d);
    ASSERT_EQ(o.rc, 0) << o.err;
    std::vector<unsigned> want(n / 100, 100);
    if (n % 100) want.push_back(n % 100);
    EXPECT_EQ(fakeoci::state().insert_iters, want) << n;
    ASSERT_EQ(fakeoci::state().rows.size(), static_cast<size_t>(n));
    EXPECT_EQ(fakeoci::Value(fakeoci::state().rows[n - 1], 0), std::string((n - 1) % 644 + 1, 'r'));
    EXPECT_EQ(fakeoci::state().commits, 1);
  }
}

TEST_F(ImpReader, RowsAcrossManyWindowsArriveWhole) {
  Dump d;
  Table t("WIDE", {{5, 22, "ID"}, {3, 300, "TXT"}});
  const int n = 2000;  // about 600 KB: many refills of the read window
  for (int i = 0; i < n; i++) t.Row({Val(Number(i)), Val(std::string(1 + i % 300, 'a' + i % 26))});
  t.index_sql = {std::string(40000, ' ') + "create index X on WIDE (ID)"};
  d.tables.push_back(t);
  Outcome o = Run(d);
  ASSERT_EQ(o.rc, 0) << o.err;
  const auto& rows = fakeoci::state().rows;
  ASSERT_EQ(rows.size(), static_cast<size_t>(n));
  for (int i = 0; i < n; i += 97) {
    EXPECT_EQ(fakeoci::Value(rows[i], 0), Number(i));
    EXPECT_EQ(fakeoci::Value(rows[i], 1), std::string(1 + i % 300, 'a' + i % 26));
  }
  EXPECT_EQ(fakeoci::state().statements.back(), t.index_sql[0]);  // a block over 32768 bytes, whole
}

TEST_F(ImpReader, DamagedRowsEndTheRunWithoutCommit) {
  struct Case {
    const char* what;
    Table table;
    std::string message;
  };
  auto base = [] { return Emp(1); };
  Table too_long = base();
  too_long.Row({Val(Number(2)), Val(std::string(21, 'x'))});
  Table no_end("EMP", kEmpCols);
  no_end.Raw(std::string("\x00\x02\xC1\x02\xFF\xFE\x00\x07", 8));
  Table lob_mark = base();
  lob_mark.Row({Val(Number(2)), LobMark()});
  Table stream_start = base();
  stream_start.Raw(std::string("\xFF\xFD", 2));
  Table truncated = base();
  truncated.Raw(std::string("\x00\x02\xC1", 3));
  truncated.rows_end = false;
  truncated.list_end = false;
  Table no_rows_end = base();
  no_rows_end.rows_end = false;
  no_rows_end.list_end = false;
  Table cut_index = base();
  cut_index.index_sql = {"create index I on EMP (ID)"};
  cut_index.list_end = false;
  Table empty_ddl = base();
  empty_ddl.ddl = "";

  const std::vector<Case> cases = {
      {"slot longer than its column", too_long, "Row data not expected out of range."},
      {"row without end word", no_end, "Row data not expected out of range."},
      {"LOB mark in a multi-row table", lob_mark, "Row data not expected out of range."},
      {"stream start where a row starts", stream_start, "Row data not expected out of range."},
      {"file ends inside a row", truncated, "not completed."},
      {"file ends before the rows end", no_rows_end, "not completed."},
      {"file ends inside the index list", cut_index, "not completed."},
      {"empty CREATE TABLE text", empty_ddl, "CREATE TABLE statement missing."},
  };
  for (const Case& c : cases) {
    Dump d;
    d.tables.push_back(c.table);
    Outcome o = Run(d);
    EXPECT_EQ(o.rc, -1) << c.what;
    EXPECT_NE(o.err.find(c.message), std::string::npos) << c.what << ": " << o.err;
    if (std::string(c.what) != "file ends inside the index list") {
      EXPECT_EQ(fakeoci::state().commits, 0) << c.what;
    }
  }
}

TEST_F(ImpReader, RowTooWideForTheBindAreaIsRejected) {
  Dump d;
  d.tables.push_back(Table("W", {{3, 40000, "A"}, {3, 40000, "B"}}));
  Outcome o = Run(d);
  EXPECT_EQ(o.rc, -1);
  EXPECT_NE(o.err.find("a row needs more room than the bind area"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("Prepare to insert table data error."), std::string::npos);
}

// ---- DDL failures and IGNORE=Y ------------------------------------------

TEST_F(ImpReader, IgnoreTurnsFailingDdlIntoReports) {
  Dump d;
  Table t = Emp(2);
  t.index_sql = {"create index \"EMP_I\" on \"EMP\" (\"NAME\")", "alter table \"EMP\" add primary key (\"ID\")"};
  d.tables.push_back(t);
  d.tables.push_back(Emp(1, "LATER"));
  auto fail_ddl = [] {
    fakeoci::FailStatement("create table \"EMP\"", 955, "name is already used by an existing object");
    fakeoci::FailStatement("create index", 955, "name is already used by an existing object");
  };

  // IGNORE=Y passes over "already exists" in silence: the rows go into
  // the existing table and the next statement runs
  Outcome with = Run(d, {"IGNORE=Y"}, fail_ddl);
  ASSERT_EQ(with.rc, 0) << with.err;
  EXPECT_EQ(with.err.find("ORA-00955"), std::string::npos) << with.err;
  EXPECT_EQ(fakeoci::state().rows.size(), 3u);  // rows loaded into the existing table
  // the next statement still ran (after the failed one, which the batch
  // it was sent in runs again alone)
  const auto& ran = fakeoci::state().statements;
  EXPECT_NE(std::find(ran.begin() + 4, ran.end(), t.index_sql[1]), ran.end());

  Outcome without = Run(d, {}, fail_ddl);
  EXPECT_EQ(without.rc, -1);
  EXPECT_NE(without.err.find("Create table error."), std::string::npos);
  EXPECT_TRUE(fakeoci::state().rows.empty());

  // any other failure of an index is reported, and the run goes on with warnings
  Outcome index_fails = Run(d, {}, [] { fakeoci::FailStatement("create index", 1031, "insufficient privileges"); });
  EXPECT_EQ(index_fails.rc, 1) << index_fails.err;
  EXPECT_NE(index_fails.err.find("Create index \"EMP_I\" failed."), std::string::npos) << index_fails.err;
  EXPECT_EQ(fakeoci::state().rows.size(), 3u);  // the later table still came
}

TEST_F(ImpReader, CommitFailureIsReportedOnStandardOutput) {
  Dump d;
  d.tables.push_back(Emp(2));
  Outcome o = Run(d, {}, [] { fakeoci::FailCall("OCITransCommit", 1, -1, 1034, "ORACLE not available"); });
  EXPECT_EQ(o.rc, -1);
  EXPECT_NE(o.out.find("OCITransCommit()\nORA-01034: ORACLE not available"), std::string::npos) << o.out;
}

// ---- single-row tables: LONG and LOB streams ----------------------------

// ID NUMBER, DOC CLOB, NOTE LONG, PIC BLOB, NT NCLOB: select order ID, DOC,
// PIC, NT, NOTE.
Table Docs(bool empty_last) {
  Table t("DOCS", {{5, 22, "ID"}, {15, 4000, "DOC"}, {13, 0, "NOTE"}, {17, 4000, "PIC"}, {16, 4000, "NT"}});
  std::string big(100000, 'b');
  for (size_t i = 0; i < big.size(); i++) big[i] = static_cast<char>(i * 7);
  t.Row({Val(Number(1)), LobMark(), LobMark(), LobMark(), LongMark()})
      .StreamOf(std::string(70000, 'L'), 32768, empty_last)  // LONG: three pieces
      .StreamOf("clob text", 32768, empty_last)
      .StreamOf(big, 32768, empty_last)                      // BLOB across windows
      .Stream({}, empty_last);                               // empty NCLOB
  t.Row({Val(Number(2)), Null(), Null(), Null(), Null()}).Stream({}, empty_last);
  t.Row({Val(Number(3)), Null(), LobMark(), Null(), LongMark()})
      .StreamOf("x", 32768, empty_last)
      .StreamOf("yz", 1, empty_last);
  return t;
}

TEST_F(ImpReader, LongAndLobStreamsReachTheirColumns) {
  Dump d;
  d.tables.push_back(Docs(false));
  d.tables.push_back(Emp(1, "AFTER"));
  Outcome o = Run(d);
  ASSERT_EQ(o.rc, 0) << o.err;
  const fakeoci::State& s = fakeoci::state();
  ASSERT_EQ(s.rows.size(), 4u);
  EXPECT_EQ(s.rows[0].sql,
            "insert into \"APP\".\"DOCS\" (\"ID\",\"DOC\",\"PIC\",\"NT\",\"NOTE\")\nvalues\n"
            "(:1,:2,:3,:4,:5)\nreturning\n\"DOC\",\"PIC\",\"NT\"\ninto\n:6,:7,:8");
  EXPECT_EQ(fakeoci::Value(s.rows[0], 1), "clob text");
  EXPECT_EQ(fakeoci::Value(s.rows[0], 2)->size(), 100000u);
  std::string tail;
  for (size_t i = 99990; i < 100000; i++) tail.push_back(static_cast<char>(i * 7));
  EXPECT_EQ(fakeoci::Value(s.rows[0], 2)->substr(99990), tail);
  EXPECT_EQ(fakeoci::Value(s.rows[0], 3), "");  // empty, not NULL
  EXPECT_EQ(fakeoci::Value(s.rows[0], 4), std::string(70000, 'L'));
  for (size_t c = 1; c < 5; c++) EXPECT_EQ(fakeoci::Value(s.rows[1], c), std::nullopt) << c;
  EXPECT_EQ(fakeoci::Value(s.rows[2], 2), "yz");
  EXPECT_EQ(fakeoci::Value(s.rows[2], 4), "x");
  EXPECT_EQ(fakeoci::Value(s.rows[3], 0), Number(1));  // the next table starts at the right word
  EXPECT_EQ(s.commits, 2);
  EXPECT_EQ(o.out, Progress("DOCS", 3) + Progress("AFTER", 1));

  // LONG pieces: row 1's 70 000 bytes are more than this build's small
  // bind area holds in one piece: three pieces with bytes, then the empty
  // last one; rows 2 and 3 (NULL, "x") go in one piece with their INSERT
  ASSERT_EQ(s.long_pieces.size(), 4u);
  EXPECT_EQ(s.long_pieces[0].piece, OCI_FIRST_PIECE);
  EXPECT_EQ(s.long_pieces[2].piece, OCI_NEXT_PIECE);
  EXPECT_EQ(s.long_pieces[3].piece, OCI_LAST_PIECE);
  EXPECT_EQ(s.long_pieces[3].len, 0u);

  // LOB writes: no empty piece, the dump's pieces gathered into writes of
  // up to this build's 65 536 bytes, the last write with bytes ends the
  // value, a value that fits goes as one piece, NCLOB in the national form
  for (const fakeoci::LobWrite& w : s.lob_writes) EXPECT_GT(w.len, 0u);
  std::vector<int> pic_pieces;
  std::vector<size_t> pic_lens;
  for (const fakeoci::LobWrite& w : s.lob_writes)
    if (w.len > 9 && w.csfrm == SQLCS_IMPLICIT) {
      pic_pieces.push_back(w.piece);
      pic_lens.push_back(w.len);
    }
  EXPECT_EQ(pic_pieces, (std::vector<int>{OCI_FIRST_PIECE, OCI_LAST_PIECE}));
  ASSERT_EQ(pic_lens.size(), 2u);
  EXPECT_LE(pic_lens[0], 65536u);
  EXPECT_EQ(pic_lens[0] + pic_lens[1], 100000u);
  EXPECT_EQ(s.lob_writes[0].piece, OCI_ONE_PIECE);
  EXPECT_EQ(s.lob_writes.back().piece, OCI_ONE_PIECE);  // "yz", two pieces in the dump
  EXPECT_EQ(s.nchar_binds.at(s.rows[0].sql), (std::set<unsigned>{4}));
}

TEST_F(ImpReader, StreamsWithAnEmptyLastPieceReadTheSame) {
  Dump plain, old;
  plain.tables.push_back(Docs(false));
  old.tables.push_back(Docs(true));
  plain.tables.push_back(Emp(2, "AFTER"));
  old.tables.push_back(Emp(2, "AFTER"));
  ASSERT_EQ(Run(plain).rc, 0);
  std::vector<std::vector<std::optional<std::string>>> want;
  for (const auto& r : fakeoci::state().rows) {
    want.emplace_back();
    for (size_t c = 0; c < r.values.size(); c++) want.back().push_back(fakeoci::Value(r, c));
  }
  Outcome o = Run(old);
  ASSERT_EQ(o.rc, 0) << o.err;
  std::vector<std::vector<std::optional<std::string>>> got;
  for (const auto& r : fakeoci::state().rows) {
    got.emplace_back();
    for (size_t c = 0; c < r.values.size(); c++) got.back().push_back(fakeoci::Value(r, c));
  }
  EXPECT_EQ(got, want);
}

TEST_F(ImpReader, DamagedStreamsAndFailingLobWrites) {
  struct Case {
    const char* what;
    Table table;
    void (*setup)();
    std::string message;
  };
  auto lob_table = [] { return Table("L", {{5, 22, "ID"}, {17, 100, "B"}}); };
  Table long_mark_in_lob = lob_table();
  long_mark_in_lob.Row({Val(Number(1)), LongMark()});
  Table no_stream = lob_table();
  no_stream.Row({Val(Number(1)), LobMark()}).Row({Val(Number(2)), Null()});
  Table long_piece = lob_table();
  long_piece.Row({Val(Number(1)), LobMark()}).Raw(std::string("\xFF\xFD\x80\x01", 4));
  Table cut = lob_table();
  cut.Row({Val(Number(1)), LobMark()}).Raw(std::string("\xFF\xFD\x00\x10" "abc", 7));
  cut.rows_end = cut.list_end = false;
  Table good = lob_table();
  good.Row({Val(Number(1)), LobMark()}).Stream({"ab", "cd"});

  const std::vector<Case> cases = {
      {"LONG mark in a LOB column", long_mark_in_lob, nullptr, "Row data not expected out of range."},
      {"LOB stream missing", no_stream, nullptr, "Row data not expected out of range."},
      {"piece longer than 32768", long_piece, nullptr, "Row data not expected out of range."},
      {"file ends inside a piece", cut, nullptr, "not completed."},
      {"write fails", good, [] { fakeoci::FailCall("OCILobWrite2", 1, -1, 1691, "unable to extend"); },
       "OCILobWrite2()\nORA-01691: unable to extend"},
      {"write answers with information", good, [] { fakeoci::FailCall("OCILobWrite2", 1, 1, 24345, "info"); },
       "OCILobWrite2()\nORA-24345: info"},
      {"write answers no data", good, [] { fakeoci::FailCall("OCILobWrite2", 1, 100, 1403, "no data found"); },
       "OCILobWrite2()"},
      {"open fails", good, [] { fakeoci::FailCall("OCILobOpen", 1); }, "OCILobOpen()\nORA-00600"},
      {"close fails", good, [] { fakeoci::FailCall("OCILobClose", 1); }, "OCILobClose()\nORA-00600"},
  };
  for (const Case& c : cases) {
    Dump d;
    d.tables.push_back(c.table);
    Outcome o = Run(d, {}, c.setup);
    EXPECT_EQ(o.rc, -1) << c.what;
    EXPECT_NE(o.err.find(c.message), std::string::npos) << c.what << ": " << o.err;
    EXPECT_EQ(fakeoci::state().commits, 0) << c.what;
    size_t writes = fakeoci::state().lob_writes.size();
    EXPECT_LE(writes, 2u) << c.what;  // a failing write is never repeated
  }
}

}  // namespace

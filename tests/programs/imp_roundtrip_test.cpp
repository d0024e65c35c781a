// imp_roundtrip_test.cpp - tabimp run as a process against real database
// files: round trips through tabexp into another schema, IGNORE=Y, the end
// of a run at the first failure, batches, progress lines, damaged dumps.
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../fakeoci/dump_builder.h"
#include "support.h"

namespace {

using testsupport::CreateDatabase;
using testsupport::ProcResult;
using testsupport::ReadFile;
using testsupport::RunSql;
using testsupport::TempDir;
using testsupport::WriteFile;

const char kNls[] = "NLS_LANG=AMERICAN_AMERICA.AL32UTF8";
const char kDone[] = "\nImport terminated successfully.\n\n";
const char kBanner[] = "\nExport/Import data for Oracle database.\n\n";

std::string Progress(const std::string& name, int rows) {
  char line[128];
  std::snprintf(line, sizeof line, ". . importing table  %30s %10d rows imported\n", name.c_str(), rows);
  return line;
}

class ImportRun : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.file("db");
    dump_ = dir_.file("src.dmp");
    CreateDatabase(db_, "manager");
    Sql("CREATE USER src IDENTIFIED BY src;\nGRANT DBA TO src;\n"
        "CREATE USER dst IDENTIFIED BY dst;\nGRANT DBA TO dst;\n",
        "system/manager");
  }
  void Sql(const std::string& script, const std::string& user = "src/src") {
    ProcResult r = RunSql(user + "@" + db_, script, {kNls});
    ASSERT_EQ(0, r.status) << script << "\n" << r.out << r.err;
  }
  std::string Query(const std::string& script, const std::string& user = "src/src") {
    ProcResult r = RunSql(user + "@" + db_, script, {kNls});
    EXPECT_EQ(0, r.status) << script << "\n" << r.err;
    return r.out;
  }
  void Export(const std::string& owner, const std::string& file) {
    ProcResult r = testsupport::Run({TABEXP_PATH, "src/src@" + db_, "FILE=" + file, "OWNER=" + owner}, {kNls});
    ASSERT_EQ(0, r.status) << r.err;
  }
  ProcResult Import(std::vector<std::string> more, const std::string& file = "",
                    const std::string& program = TABIMP_PATH) {
    std::vector<std::string> argv = {program, "src/src@" + db_, "FILE=" + (file.empty() ? dump_ : file)};
    argv.insert(argv.end(), more.begin(), more.end());
    // NLS_LANG comes from the dump, whatever the environment says
    return testsupport::Run(argv, {"NLS_LANG=GERMAN_GERMANY.WE8ISO8859P1"});
  }
  // The number of rows of owner.table, as tabsql prints it.
  bool HasCount(const std::string& table, int n) {
    std::string out = Query("SELECT 'count=' || COUNT(*) FROM " + table + ";\n");
    return out.find("count=" + std::to_string(n)) != std::string::npos;
  }

  TempDir dir_;
  std::string db_, dump_;
};

const char kTables[] =
    "CREATE TABLE emp (id NUMBER(10) NOT NULL, name VARCHAR2(30), c CHAR(3), nc NCHAR(2),\n"
    "  nv NVARCHAR2(10), born DATE, ts TIMESTAMP(6), tz TIMESTAMP WITH TIME ZONE,\n"
    "  ym INTERVAL YEAR TO MONTH, ds INTERVAL DAY TO SECOND, r RAW(8), f BINARY_FLOAT,\n"
    "  d BINARY_DOUBLE);\n"
    "ALTER TABLE emp ADD CONSTRAINT emp_pk PRIMARY KEY (id);\n"
    "CREATE INDEX emp_name ON emp (name);\n"
    "CREATE INDEX emp_up ON emp (UPPER(name));\n"
    "INSERT INTO emp VALUES (1, 'Ann', 'abc', N'\u00e9x', N'\u00fcber', DATE '2024-03-15',\n"
    "  TIMESTAMP '1980-02-20 10:46:34.123456', TIMESTAMP '2024-01-01 00:00:00 -05:30',\n"
    "  INTERVAL '1-2' YEAR TO MONTH, INTERVAL '3 04:05:06.789' DAY TO SECOND, HEXTORAW('00FF10'),\n"
    "  1.5, -2.25);\n"
    "INSERT INTO emp (id) VALUES (2);\n"
    "CREATE TABLE docs (id NUMBER, note LONG, doc CLOB, pic BLOB, nt NCLOB);\n"
    "INSERT INTO docs VALUES (1, RPAD('L', 3000, 'L'), RPAD('c', 3000, 'c'), HEXTORAW('0102'),\n"
    "  N'national');\n"
    "INSERT INTO docs VALUES (2, NULL, EMPTY_CLOB(), NULL, NULL);\n"
    "INSERT INTO docs VALUES (3, 'short', NULL, EMPTY_BLOB(), EMPTY_CLOB());\n"
    "CREATE TABLE empty_t (n NUMBER);\n"
    "CREATE TABLE raws (id NUMBER, b LONG RAW);\n"
    "INSERT INTO raws VALUES (1, HEXTORAW('DEADBEEF'));\n";

TEST_F(ImportRun, RoundTripIntoAnEmptySchema) {
  Sql(kTables);
  Export("SRC", dump_);
  ProcResult r = Import({"TOUSER=dst", "LOG=" + dir_.file("imp.log")});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(0u, r.err.find(kBanner));
  EXPECT_NE(std::string::npos, r.err.find(kDone));
  // one line per table, single-row tables with the same two spaces
  std::string log = ReadFile(dir_.file("imp.log"));
  for (const std::string& line :
       {Progress("DOCS", 3), Progress("EMP", 2), Progress("EMPTY_T", 0), Progress("RAWS", 1)})
    EXPECT_NE(std::string::npos, log.find(line)) << log;
  // the four progress lines and the closing line, nothing else
  EXPECT_EQ(4 * Progress("X", 0).size() + sizeof(kDone) - 1, log.size()) << log;
  EXPECT_EQ(log.size() - (sizeof(kDone) - 1), log.find(kDone)) << log;
  EXPECT_EQ("", r.out);

  // Exported again from the target schema, the data area is the same but
  // for one thing: the primary key of DST uses the index that the import
  // created before it, and the database says so in the key's text
  // (USING INDEX "EMP_PK"). From then on every generation is the same byte
  // for byte: DDL, rows, LONG and LOB streams, indexes and key.
  std::string again = dir_.file("dst.dmp");
  Export("DST", again);
  std::string a = ReadFile(dump_), b = ReadFile(again);
  ASSERT_GT(a.size(), 1024u);
  const std::string plain = "USING INDEX  ENABLE", named = "USING INDEX \"EMP_PK\"  ENABLE";
  ASSERT_NE(std::string::npos, a.find(plain));
  ASSERT_NE(std::string::npos, b.find(named));
  EXPECT_EQ(a.size() + named.size() - plain.size(), b.size());
  EXPECT_TRUE(HasCount("dst.emp", 2));
  Sql("CREATE USER dst2 IDENTIFIED BY dst2;\nGRANT DBA TO dst2;\n", "system/manager");
  ASSERT_EQ(0, Import({"TOUSER=dst2"}, again).status);
  std::string third = dir_.file("dst2.dmp");
  Export("DST2", third);
  std::string c = ReadFile(third);
  EXPECT_EQ(b.size(), c.size());
  EXPECT_TRUE(b.compare(1024, std::string::npos, c, 1024, std::string::npos) == 0);
}

// A DEFAULT ON NULL column, a key and an index named like their tables and
// a global temporary table (its definition, no rows) come back as they were.
TEST_F(ImportRun, DefaultOnNullNamesOfOtherNamespacesAndTemporaryTablesSurvive) {
  Sql("CREATE TABLE ondef (id NUMBER CONSTRAINT ondef PRIMARY KEY, n NUMBER DEFAULT ON NULL 7);\n"
      "CREATE TABLE g (g NUMBER);\nCREATE INDEX g ON g (g);\n"
      "CREATE GLOBAL TEMPORARY TABLE gtt (x NUMBER) ON COMMIT PRESERVE ROWS;\n"
      "INSERT INTO ondef (id) VALUES (1);\nINSERT INTO g VALUES (5);\nINSERT INTO gtt VALUES (1);\nCOMMIT;\n");
  Export("SRC", dump_);
  ProcResult r = Import({"TOUSER=dst"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("ID|N|DEFAULT_ON_NULL\n1|7|YES\n2|7|YES\n",
            Query("INSERT INTO ondef VALUES (2, NULL);\n"
                  "SELECT o.id, o.n, c.default_on_null FROM ondef o, user_tab_columns c"
                  " WHERE c.table_name = 'ONDEF' AND c.column_name = 'N' ORDER BY o.id;\n",
                  "dst/dst"));
  EXPECT_EQ("X\nG:G:\nONDEF:ONDEF:ONDEF\n",
            Query("SELECT i.index_name || ':' || i.table_name || ':' || c.constraint_name x FROM user_indexes i"
                  " LEFT JOIN user_constraints c ON c.index_name = i.index_name ORDER BY 1;\n",
                  "dst/dst"));
  EXPECT_EQ("TEMPORARY|DURATION|N\nY|SYS$SESSION|0\n",
            Query("SELECT temporary, duration, (SELECT COUNT(*) FROM gtt) n FROM user_tables"
                  " WHERE table_name = 'GTT';\n",
                  "dst/dst"));
}

TEST_F(ImportRun, IgnoreLoadsIntoAnExistingTableAndGoesPastItsIndex) {
  Sql("CREATE TABLE t (id NUMBER, name VARCHAR2(10));\nCREATE INDEX t_name ON t (name);\n"
      "INSERT INTO t VALUES (1, 'a');\nINSERT INTO t VALUES (2, 'b');\n"
      "CREATE TABLE u (n NUMBER);\nINSERT INTO u VALUES (7);\n");
  Export("SRC", dump_);
  ASSERT_EQ(0, Import({"TOUSER=DST"}).status);

  ProcResult r = Import({"TOUSER=DST", "IGNORE=Y"});
  ASSERT_EQ(0, r.status) << r.err;
  // IGNORE=Y silences "already exists", of the table and of its index
  EXPECT_EQ(std::string::npos, r.err.find("ORA-00955")) << r.err;
  EXPECT_EQ(std::string::npos, r.err.find("Create table error.\n"));
  EXPECT_NE(std::string::npos, r.err.find(kDone));
  EXPECT_EQ(Progress("T", 2) + Progress("U", 1), r.out);
  EXPECT_TRUE(HasCount("dst.t", 4));
  EXPECT_TRUE(HasCount("dst.u", 2));  // the table after the failing index still came
}

TEST_F(ImportRun, WithoutIgnoreTheFirstFailureEndsTheRun) {
  Sql("CREATE TABLE a (n NUMBER);\nINSERT INTO a VALUES (1);\n"
      "CREATE TABLE b (n NUMBER);\nINSERT INTO b VALUES (2);\n"
      "CREATE TABLE c (n NUMBER);\nINSERT INTO c VALUES (3);\n");
  Sql("CREATE TABLE b (x VARCHAR2(1));\n", "dst/dst");
  Export("SRC", dump_);
  ProcResult r = Import({"TOUSER=dst"});
  EXPECT_EQ(255, r.status);
  EXPECT_NE(std::string::npos, r.err.find("ORA-00955")) << r.err;
  EXPECT_NE(std::string::npos, r.err.find("Create table error.\n"));
  EXPECT_EQ(std::string::npos, r.err.find(kDone));
  EXPECT_EQ(Progress("A", 1), r.out);
  EXPECT_TRUE(HasCount("dst.a", 1));
  EXPECT_TRUE(HasCount("dst.b", 0));
  ProcResult c = RunSql("src/src@" + db_, "SELECT COUNT(*) FROM dst.c;\n", {kNls});
  EXPECT_EQ(1, c.status);
  EXPECT_NE(std::string::npos, c.err.find("ORA-00942")) << c.err;  // never created
}

TEST_F(ImportRun, BatchesOfMaxRowAndTheRest) {
  // With the small bind area, table T of owner DST and one RAW(644) column
  // takes 100 rows per execution: 250 rows go as 100, 100 and 50.
  std::string script = "CREATE TABLE t (r RAW(644));\n";
  for (int i = 0; i < 250; i++)
    script += "INSERT INTO t VALUES (HEXTORAW('" + std::string(2 * (1 + i % 200), 'A') + "'));\n";
  Sql(script);
  Export("SRC", dump_);
  ProcResult r = Import({"TOUSER=DST"}, "", TABIMP_SMALL_PATH);
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(Progress("T", 250), r.out);
  std::string again = dir_.file("dst.dmp");
  Export("DST", again);
  EXPECT_TRUE(ReadFile(dump_).compare(1024, std::string::npos, ReadFile(again), 1024, std::string::npos) == 0);
}

TEST_F(ImportRun, LargeStreamsSurviveTwoRoundTrips) {
  // Values of many pieces, made by the test dump builder: imported into
  // SRC, exported, imported into DST and exported again.
  using namespace dumpbuild;
  Dump d;
  d.owner = "SRC";
  Table t("BIG", {{5, 22, "ID"}, {15, 4000, "C"}, {13, 0, "L"}, {17, 4000, "B"}});
  t.ddl = "CREATE TABLE \"BIG\" (\"ID\" NUMBER, \"C\" CLOB, \"L\" LONG, \"B\" BLOB)";
  std::string blob(100000, '\0');
  for (size_t i = 0; i < blob.size(); i++) blob[i] = static_cast<char>(i * 13);
  t.Row({Val(Number(1)), LobMark(), LobMark(), LongMark()})
      .StreamOf(std::string(70000, 'L'))
      .StreamOf(std::string(40000, 'c'))
      .StreamOf(blob);
  t.Row({Val(Number(2)), Null(), Null(), LongMark()}).StreamOf(std::string(32768, 'x'));
  d.tables.push_back(t);
  WriteFile(dir_.file("built.dmp"), d.Build());
  ProcResult first = Import({}, dir_.file("built.dmp"));
  ASSERT_EQ(0, first.status) << first.err;
  EXPECT_EQ(Progress("BIG", 2), first.out);
  std::string out = Query("SELECT 'len=' || LENGTH(c) || '/' || LENGTH(b) FROM big WHERE id = 1;\n");
  EXPECT_NE(std::string::npos, out.find("len=40000/100000")) << out;

  Export("SRC", dump_);
  ASSERT_EQ(0, Import({"TOUSER=DST"}).status);
  std::string again = dir_.file("dst.dmp");
  Export("DST", again);
  EXPECT_TRUE(ReadFile(dump_).compare(1024, std::string::npos, ReadFile(again), 1024, std::string::npos) == 0);
}

TEST_F(ImportRun, StreamsWithAnEmptyLastPieceAreReadWhole) {
  // A writer that always writes the last piece, even when it is empty.
  dumpbuild::Dump d;
  d.owner = "SRC";
  dumpbuild::Table t("L", {{5, 22, "ID"}, {15, 4000, "C"}, {14, 0, "R"}});
  t.ddl = "CREATE TABLE \"L\" (\"ID\" NUMBER, \"C\" CLOB, \"R\" LONG RAW)";
  using dumpbuild::LobMark;
  using dumpbuild::LongMark;
  using dumpbuild::Null;
  using dumpbuild::Number;
  using dumpbuild::Val;
  t.Row({Val(Number(1)), LobMark(), LongMark()}).StreamOf("\x01\x02", 1, true).StreamOf("text", 3, true);
  t.Row({Val(Number(2)), LobMark(), Null()}).Stream({}, true).Stream({}, true);
  d.tables.push_back(t);
  d.tables.push_back(dumpbuild::Table("AFTER", {{5, 22, "N"}}));
  d.tables.back().ddl = "CREATE TABLE \"AFTER\" (\"N\" NUMBER)";
  d.tables.back().Row({Val(Number(9))});
  WriteFile(dump_, d.Build());
  ProcResult r = Import({"TOUSER=DST"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(Progress("L", 2) + Progress("AFTER", 1), r.out);
  std::string out = Query("SELECT 'v=' || c || '/' || LENGTH(c) FROM dst.l ORDER BY id;\n");
  EXPECT_NE(std::string::npos, out.find("v=text/4")) << out;
  EXPECT_TRUE(HasCount("dst.after", 1));
}

// Every run over a damaged dump ends with status 0, 1 or 255, and a failure
// says why after the banner: never a signal, never a silent failure.
TEST_F(ImportRun, DamagedDumpsEndCleanly) {
  Sql("CREATE TABLE m (id NUMBER PRIMARY KEY, s VARCHAR2(20));\n"
      "INSERT INTO m VALUES (1, 'one');\nINSERT INTO m VALUES (2, NULL);\n"
      "CREATE TABLE s (id NUMBER, l LONG, c CLOB, b BLOB);\n"
      "INSERT INTO s VALUES (1, 'long', 'clob', HEXTORAW('00'));\n"
      "INSERT INTO s VALUES (2, NULL, EMPTY_CLOB(), NULL);\n");
  Export("SRC", dump_);
  const std::string good = ReadFile(dump_);
  ASSERT_GT(good.size(), 1600u);
  const std::string damaged = dir_.file("damaged.dmp");

  auto check = [&](const std::string& bytes, const std::string& what) {
    WriteFile(damaged, bytes);
    ProcResult r = Import({"TOUSER=DST", "IGNORE=Y"}, damaged);
    ASSERT_TRUE(r.status == 0 || r.status == 1 || r.status == 255) << what << ": status " << r.status << "\n" << r.err;
    if (r.status == 255) {
      ASSERT_GT(r.err.size(), std::string(kBanner).size() + 10) << what;
    }
  };

  // every cut through the header record, the directory and the first
  // section (which ends where the second entry's section starts)
  size_t first_end = 0;
  for (int i = 0; i < 8; i++) first_end = first_end << 8 | static_cast<uint8_t>(good[1024 + 56 + 16 + i]);
  ASSERT_GT(first_end, 1536u);
  ASSERT_LT(first_end, good.size());
  // Under the sanitizers every run costs much more: every fifth cut, fewer
  // flips (the fuzz target covers the reader in depth there).
#if defined(__SANITIZE_ADDRESS__)
  const size_t stride = 5, later = 20, nflips = 60;
#else
  const size_t stride = 1, later = 40, nflips = 300;
#endif
  for (size_t n = 0; n < first_end; n += stride) {
    if (n > 208 && n < 1024) n = 1024;  // zero padding of the header block
    if (n > 1024 + 2 * 56 && n < 1536) n = 1536;  // zero padding of the directory
    check(good.substr(0, n), "cut at " + std::to_string(n));
  }
  // a spread of later cuts
  for (size_t n = first_end; n < good.size(); n += std::max<size_t>(1, (good.size() - first_end) / later))
    check(good.substr(0, n), "cut at " + std::to_string(n));

  // seeded random byte flips in the part that is read
  std::mt19937 rng(20240601);
  for (size_t i = 0; i < nflips; i++) {
    std::string bytes = good;
    int flips = 1 + i % 4;
    for (int f = 0; f < flips; f++) {
      size_t at = rng() % bytes.size();
      if (at >= 208 && at < 1024) at = 1024 + at % (bytes.size() - 1024);
      bytes[at] = static_cast<char>(bytes[at] ^ (1 << (rng() % 8)));
    }
    check(bytes, "flips #" + std::to_string(i));
  }
}

}  // namespace

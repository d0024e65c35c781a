// exp_ranges_test.cpp - tables read in ROWID ranges (every extent a range
// of its own here): the dump is the one a whole read of each table writes,
// serially and with PARALLEL=1 to 4, every row at a range's edge once;
// index-organized and partitioned tables are read whole; and rows written
// while the export runs are in no range.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support.h"

namespace {

using testsupport::ProcResult;
using testsupport::ReadFile;
using testsupport::RunSql;
using testsupport::TempDir;

const char kNls[] = "NLS_LANG=AMERICAN_AMERICA.AL32UTF8";
// every table with two extents and more is split, every extent a range
const std::vector<std::string> kRanges = {kNls, "TABEXP_RANGE_THRESHOLD=1", "TABEXP_RANGE_SIZE=1"};
const std::vector<std::string> kWhole = {kNls, "TABEXP_RANGE_THRESHOLD=1000000000000"};

bool Has(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

class RangedExport : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.file("db");
    testsupport::CreateDatabase(db_, "manager");
    Sql("CREATE USER app IDENTIFIED BY app;\nGRANT DBA TO app;\n", "system/manager");
    // A_FIRST comes first in the dump; BIG (1 to 2000, 256 rows to an
    // extent) loses its third extent whole, so its ranges have a gap.
    std::string s =
        "CREATE TABLE a_first (id NUMBER);\nINSERT INTO a_first VALUES (1);\n"
        "CREATE TABLE big (id NUMBER PRIMARY KEY, v VARCHAR2(300));\nCREATE INDEX big_v ON big (v);\n"
        "BEGIN FOR i IN 1..2000 LOOP INSERT INTO big VALUES (i, RPAD('b', MOD(i * 7, 300), 'x')); END LOOP; END;\n/\n"
        "DELETE FROM big WHERE id BETWEEN 512 AND 767;\n"
        "CREATE TABLE docs (id NUMBER, c CLOB, b BLOB);\n"
        "BEGIN FOR i IN 1..600 LOOP INSERT INTO docs VALUES (i, CASE MOD(i, 5) WHEN 0 THEN NULL WHEN 1 THEN"
        " EMPTY_CLOB() ELSE RPAD('c', MOD(i * 37, 3000), 'y') END, HEXTORAW('AB')); END LOOP; END;\n/\n"
        "CREATE TABLE notes (id NUMBER, l LONG);\n"
        "BEGIN FOR i IN 1..600 LOOP INSERT INTO notes VALUES (i, RPAD('n', MOD(i * 31, 2000) + 1, 'z')); END LOOP;"
        " END;\n/\n"
        // rows stored against their key order, and a partitioned table
        "CREATE TABLE keyed (id NUMBER PRIMARY KEY, v NUMBER) ORGANIZATION INDEX;\n"
        "CREATE TABLE parts (id NUMBER) PARTITION BY RANGE (id) (PARTITION p1 VALUES LESS THAN (300),"
        " PARTITION p2 VALUES LESS THAN (MAXVALUE));\n"
        "BEGIN FOR i IN 1..600 LOOP INSERT INTO keyed VALUES (601 - i, i); INSERT INTO parts VALUES"
        " (MOD(i * 7, 600)); END LOOP; END;\n/\n";
    Sql(s + "COMMIT;\n");
  }
  void Sql(const std::string& script, const std::string& user = "app/app") {
    ProcResult r = RunSql(user + "@" + db_, script, {kNls});
    ASSERT_EQ(0, r.status) << script.substr(0, 400) << "\n" << r.out << r.err;
    ASSERT_FALSE(Has(r.out + r.err, "ORA-")) << r.out << r.err;
  }
  std::vector<std::string> Argv(const std::string& file, const std::vector<std::string>& more) {
    std::vector<std::string> argv = {TABEXP_PATH, "app/app@" + db_, "FILE=" + file, "OWNER=app"};
    argv.insert(argv.end(), more.begin(), more.end());
    return argv;
  }
  std::vector<std::string> Env(std::vector<std::string> env) {
    env.push_back("TABEXP_PARALLEL_STATS=" + dir_.file("stats"));
    return env;
  }
  // The parts the last run read ("parts N" of its statistics).
  std::string Parts() {
    std::string s = ReadFile(dir_.file("stats"));
    return s.substr(0, s.find('\n'));
  }

  TempDir dir_;
  std::string db_;
};

TEST_F(RangedExport, RangesGiveTheDumpOfWholeReads) {
  std::string whole = dir_.file("whole.dmp");
  ProcResult w = testsupport::Run(Argv(whole, {}), Env(kWhole));
  ASSERT_EQ(0, w.status) << w.err;
  EXPECT_EQ("parts 6", Parts());
  std::string want = ReadFile(whole);
  std::string one = dir_.file("one.dmp");
  ASSERT_EQ(0, testsupport::Run(Argv(one, {"TABLES=big"}), Env(kWhole)).status);
  // BIG's 7 extents, 3 each of DOCS and NOTES; KEYED and PARTS have no
  // segment of type TABLE and are read whole, as A_FIRST of one extent
  struct Case {
    std::vector<std::string> args;
    std::string parts;
    const std::string* dump;
  } cases[] = {
      {{}, "parts 16", &want},
      {{"PARALLEL=2"}, "parts 16", &want},
      {{"PARALLEL=3", "CONSISTENT=N"}, "parts 6", &want},  // each table at its own moment: read whole
      {{"PARALLEL=4"}, "parts 16", &want},
      {{"PARALLEL=2", "TABLES=big"}, "parts 7", nullptr},  // one table over two workers
  };
  std::string one_dump = ReadFile(one);
  for (const Case& c : cases) {
    std::string args;
    for (const std::string& a : c.args) args += a + " ";
    SCOPED_TRACE(args);
    std::string file = dir_.file("r.dmp");
    ProcResult r = testsupport::Run(Argv(file, c.args), Env(kRanges));
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(c.parts, Parts());
    EXPECT_TRUE((c.dump ? *c.dump : one_dump) == ReadFile(file)) << "another dump";
    // one whole line per table, with all its rows
    EXPECT_TRUE(Has(r.out, "BIG       1744 rows exported\n")) << r.out;
    if (c.dump) {
      EXPECT_TRUE(Has(r.out, "DOCS        600 rows exported\n")) << r.out;
    }
    size_t lines = 0;
    for (size_t p = 0; (p = r.out.find(". . exporting table", p)) != std::string::npos; p++) lines++;
    EXPECT_EQ(c.dump ? 6u : 1u, lines) << r.out;
    unlink(file.c_str());
  }
}

// The export is stopped after its first table, rows of BIG are inserted,
// changed and deleted and committed, and the export goes on: its dump is
// the one of before the changes.
TEST_F(RangedExport, RowsWrittenDuringTheExportAreInNoRange) {
  std::string before = dir_.file("before.dmp");
  ASSERT_EQ(0, testsupport::Run(Argv(before, {}), Env(kWhole)).status);
  std::string want = ReadFile(before);
  int round = 0;
  for (const char* parallel : {"PARALLEL=1", "PARALLEL=2"}) {
    SCOPED_TRACE(parallel);
    std::string file = dir_.file("during.dmp"), log = dir_.file("during.log");
    unlink(log.c_str());  // the line looked for is this run's
    std::vector<std::string> argv = Argv(file, {parallel, "LOG=" + log});
    std::vector<std::string> envs = testsupport::ChildEnvironment(Env(kRanges));
    pid_t pid = fork();
    if (pid == 0) {
      int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      std::vector<char*> a = testsupport::Pointers(argv), n = testsupport::Pointers(envs);
      execve(a[0], a.data(), n.data());
      _exit(127);
    }
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 20000 && !Has(ReadFile(log), "A_FIRST"); i++) usleep(500);
    kill(pid, SIGSTOP);
    std::string k = std::to_string(3000 + 1000 * round++);
    Sql("BEGIN FOR i IN 1..600 LOOP INSERT INTO big VALUES (" + k + " + i, 'new'); END LOOP; END;\n/\n"
        "UPDATE big SET v = 'changed' WHERE id IN (1, 256, 257, 1999);\n"
        "DELETE FROM big WHERE id IN (2, 255, 511, 768, 2000);\n"
        "INSERT INTO docs VALUES (9999, 'late', NULL);\nCOMMIT;\n");
    kill(pid, SIGCONT);
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(log);
    EXPECT_TRUE(want == ReadFile(file)) << "the dump holds rows of after its snapshot";
    // and the changes were there to see: a new export differs
    want = ReadFile(before);
    ASSERT_EQ(0, testsupport::Run(Argv(before, {}), Env(kWhole)).status);
    EXPECT_FALSE(want == ReadFile(before));
    want = ReadFile(before);
  }
}

}  // namespace

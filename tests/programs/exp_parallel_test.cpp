// exp_parallel_test.cpp - tabexp PARALLEL=n run as a process: the dump is
// byte for byte the serial one, a writer's transaction is never split
// across tables, and a failing worker or a signal ends the run as a serial
// run ends.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support.h"

namespace {

using testsupport::CreateDatabase;
using testsupport::ProcResult;
using testsupport::ReadFile;
using testsupport::RunSql;
using testsupport::TempDir;
using testsupport::WriteFile;

const char kNls[] = "NLS_LANG=AMERICAN_AMERICA.AL32UTF8";
const char kDone[] = "\nExport terminated successfully.\n\n";
const char kFailed[] = "\nExport terminated unsuccessfully.\n\n";

bool Has(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

class ParallelExport : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.file("db");
    CreateDatabase(db_, "manager");
    Sql("CREATE USER app IDENTIFIED BY app;\nGRANT DBA TO app;\n", "system/manager");
  }
  void Sql(const std::string& script, const std::string& user = "app/app") {
    ProcResult r = RunSql(user + "@" + db_, script, {kNls});
    ASSERT_EQ(0, r.status) << script.substr(0, 400) << "\n" << r.out << r.err;
  }
  ProcResult Export(const std::string& file, std::vector<std::string> more = {}) {
    std::vector<std::string> argv = {TABEXP_PATH, "app/app@" + db_, "FILE=" + file, "OWNER=app"};
    argv.insert(argv.end(), more.begin(), more.end());
    return testsupport::Run(argv, {kNls});
  }
  // The names in the test folder that are neither the database's nor kept.
  std::vector<std::string> Leftovers(const std::vector<std::string>& kept) {
    std::vector<std::string> out;
    DIR* d = opendir(dir_.path().c_str());
    if (!d) return out;
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n == "." || n == ".." || n.rfind("db", 0) == 0) continue;
      bool keep = false;
      for (const std::string& k : kept) keep = keep || n == k;
      if (!keep) out.push_back(n);
    }
    closedir(d);
    return out;
  }
  // A schema of tables of several sizes: empty, one row, rows across
  // several write cache flushes, LONG and LOB values, a name longer than a
  // directory entry, indexes and keys.
  void MixedSchema() {
    std::string s =
        "CREATE TABLE empty_t (id NUMBER PRIMARY KEY);\n"
        "CREATE TABLE one_t (id NUMBER, v VARCHAR2(10));\n"
        "INSERT INTO one_t VALUES (1, 'one');\n"
        "CREATE TABLE big_t (id NUMBER PRIMARY KEY, v VARCHAR2(4000));\n"
        "CREATE INDEX big_v ON big_t (v);\n"
        "CREATE TABLE docs (id NUMBER PRIMARY KEY, c CLOB, b BLOB);\n"
        "CREATE TABLE notes (id NUMBER, l LONG);\n"
        "CREATE TABLE a_table_name_longer_than_the_directory_entry (id NUMBER);\n"
        "INSERT INTO a_table_name_longer_than_the_directory_entry VALUES (7);\n"
        // not carried: a warning in the trailer, status 1
        "CREATE PUBLIC SYNONYM pub_one FOR app.one_t;\n";
    for (int i = 0; i < 1500; i++)
      s += "INSERT INTO big_t VALUES (" + std::to_string(i) + ", RPAD('v" + std::to_string(i) +
           "', 3000, 'x'));\n";
    for (int i = 0; i < 30; i++)
      s += "INSERT INTO docs VALUES (" + std::to_string(i) + ", " +
           (i % 4 ? "RPAD('c', " + std::to_string(1000 * i + 1) + ", 'c')" : std::string("NULL")) +
           ", HEXTORAW('" + std::string(2 * (i + 1), 'A') + "'));\n";
    for (int i = 0; i < 20; i++)
      s += "INSERT INTO notes VALUES (" + std::to_string(i) + ", " +
           (i % 5 ? "'" + std::string(static_cast<size_t>(i) * 900, 'n') + "'" : std::string("NULL")) +
           ");\n";
    for (int t = 0; t < 6; t++) {
      std::string name = "small_" + std::to_string(t);
      s += "CREATE TABLE " + name + " (id NUMBER, d DATE, n NUMBER(10,2));\n";
      for (int i = 0; i < t * 7; i++)
        s += "INSERT INTO " + name + " VALUES (" + std::to_string(i) + ", DATE '2024-01-0" +
             std::to_string(1 + i % 9) + "', " + std::to_string(i) + ".25);\n";
    }
    Sql(s + "COMMIT;\n");
  }
  // Whether this database takes a snapshot's number for other sessions.
  bool HasFlashback() {
    ProcResult r = RunSql("app/app@" + db_, "SELECT DBMS_FLASHBACK.GET_SYSTEM_CHANGE_NUMBER FROM DUAL;\n",
                          {kNls});
    return r.status == 0 && !Has(r.out + r.err, "ORA-");
  }

  TempDir dir_;
  std::string db_;
};

TEST_F(ParallelExport, DumpsAreTheSerialOnes) {
  MixedSchema();
  for (const char* consistent : {"CONSISTENT=N", "CONSISTENT=Y"}) {
    SCOPED_TRACE(consistent);
    if (std::strcmp(consistent, "CONSISTENT=Y") == 0 && !HasFlashback()) {
      // without DBMS_FLASHBACK a consistent parallel run is refused whole
      ProcResult r = Export(dir_.file("p.dmp"), {"PARALLEL=2"});
      EXPECT_EQ(255, r.status) << r.err;
      EXPECT_TRUE(Has(r.err, "Read the snapshot's system change number error.\n")) << r.err;
      EXPECT_TRUE(Leftovers({}).empty());
      continue;
    }
    std::string serial = dir_.file("s.dmp");
    ProcResult s = Export(serial, {consistent});
    ASSERT_EQ(1, s.status) << s.err;  // the public synonym's warning
    std::string want = ReadFile(serial);
    ASSERT_GT(want.size(), 4u * 1024 * 1024) << "the big table crosses several cache flushes";
    for (int n = 1; n <= 4; n++) {
      SCOPED_TRACE(n);
      std::string file = dir_.file("p" + std::to_string(n) + ".dmp");
      ProcResult r = Export(file, {consistent, "PARALLEL=" + std::to_string(n)});
      EXPECT_EQ(s.status, r.status) << r.err;
      EXPECT_TRUE(Has(r.err, "Export terminated successfully with warnings.")) << r.err;
      EXPECT_TRUE(want == ReadFile(file)) << "PARALLEL=" << n << " wrote another file";
      // one whole progress line per table, whatever order they finished in
      for (const char* t : {"EMPTY_T", "ONE_T", "BIG_T", "DOCS", "NOTES", "SMALL_5"})
        EXPECT_TRUE(Has(r.out, std::string(t) + " ")) << r.out;
      size_t lines = 0;
      for (size_t p = 0; (p = r.out.find(". . exporting table", p)) != std::string::npos; p++) lines++;
      EXPECT_EQ(12u, lines) << r.out;
      EXPECT_EQ(std::vector<std::string>({"s.dmp", "p1.dmp", "p2.dmp", "p3.dmp", "p4.dmp"}).size() -
                    (4 - static_cast<size_t>(n)),
                Leftovers({}).size())
          << "no spill file left";
    }
    for (int n = 1; n <= 4; n++) unlink(dir_.file("p" + std::to_string(n) + ".dmp").c_str());
    unlink(serial.c_str());
  }
}

// More workers than tables, and a FEEDBACK that a parallel run leaves out.
TEST_F(ParallelExport, MoreWorkersThanTablesAndNoDots) {
  Sql("CREATE TABLE t1 (id NUMBER);\nINSERT INTO t1 VALUES (1);\nINSERT INTO t1 VALUES (2);\n"
      "CREATE TABLE t2 (id NUMBER);\nCOMMIT;\n");
  ProcResult s = Export(dir_.file("s.dmp"), {"CONSISTENT=N"});
  ASSERT_EQ(0, s.status) << s.err;
  ProcResult r = Export(dir_.file("p.dmp"), {"CONSISTENT=N", "PARALLEL=64", "FEEDBACK=1"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Has(r.err, kDone));
  EXPECT_TRUE(ReadFile(dir_.file("s.dmp")) == ReadFile(dir_.file("p.dmp")));
  EXPECT_FALSE(Has(r.out, "..\n")) << "no FEEDBACK dots from workers:\n" << r.out;
}

// A table that no worker can read ends the run as a serial run ends: its
// message, status 255, no temporary or spill file, the old FILE as it was.
TEST_F(ParallelExport, AFailingWorkerEndsTheRunLikeASerialRun) {
  std::string s;
  for (int t = 0; t < 5; t++) {
    s += "CREATE TABLE t" + std::to_string(t) + " (id NUMBER, v VARCHAR2(100));\n";
    for (int i = 0; i < 200; i++)
      s += "INSERT INTO t" + std::to_string(t) + " VALUES (" + std::to_string(i) + ", 'x');\n";
  }
  // a row wider than a worker's fetch area: its SELECT cannot be prepared
  s += "CREATE TABLE wide (";
  for (int c = 0; c < 700; c++) s += (c ? ", c" : "c") + std::to_string(c) + " NVARCHAR2(2000)";
  Sql(s + ");\nCOMMIT;\n");
  std::string file = dir_.file("x.dmp");
  WriteFile(file, "the previous dump");
  ProcResult serial = Export(file, {"CONSISTENT=N"});
  ASSERT_EQ(255, serial.status) << serial.err;
  for (const char* n : {"PARALLEL=2", "PARALLEL=4"}) {
    SCOPED_TRACE(n);
    ProcResult r = Export(file, {"CONSISTENT=N", n});
    EXPECT_EQ(255, r.status) << r.err;
    EXPECT_TRUE(Has(r.err, "A row of table \"WIDE\" is wider than the fetch area.\n"
                           "Prepare select statement error.\n"))
        << r.err;
    EXPECT_TRUE(Has(r.err, "Table \"WIDE\" was not exported.\n")) << r.err;
    EXPECT_TRUE(Has(r.err, kFailed)) << r.err;
    EXPECT_EQ("the previous dump", ReadFile(file));
    EXPECT_EQ(std::vector<std::string>{"x.dmp"}, Leftovers({})) << "temporary and spill files removed";
  }
}

// A writer moving value between two tables in single transactions while a
// parallel export runs: every dump holds the two tables of one moment, so
// their sum never changes.
TEST_F(ParallelExport, AWritersTransactionIsNeverSplitAcrossTables) {
  if (!HasFlashback()) GTEST_SKIP() << "the database has no DBMS_FLASHBACK";
  std::string s = "CREATE TABLE acc_a (id NUMBER PRIMARY KEY, amount NUMBER);\n"
                  "CREATE TABLE acc_b (id NUMBER PRIMARY KEY, amount NUMBER);\n"
                  "CREATE TABLE filler (id NUMBER, v VARCHAR2(2000));\n";
  for (int i = 0; i < 50; i++)
    s += "INSERT INTO acc_a VALUES (" + std::to_string(i) + ", 100);\nINSERT INTO acc_b VALUES (" +
         std::to_string(i) + ", 100);\n";
  for (int i = 0; i < 800; i++) s += "INSERT INTO filler VALUES (" + std::to_string(i) + ", RPAD('f', 2000, 'f'));\n";
  Sql(s + "COMMIT;\n");
  std::string moves;
  for (int i = 0; i < 200; i++) {
    std::string id = std::to_string(i % 50);
    moves += "UPDATE acc_a SET amount = amount - 1 WHERE id = " + id +
             ";\nUPDATE acc_b SET amount = amount + 1 WHERE id = " + id + ";\nCOMMIT;\n";
  }
  std::thread writer([&] { RunSql("app/app@" + db_, moves, {kNls}); });
  std::vector<ProcResult> runs;
  for (int k = 0; k < 3; k++) runs.push_back(Export(dir_.file("p" + std::to_string(k) + ".dmp"), {"PARALLEL=3"}));
  writer.join();
  for (int k = 0; k < 3; k++) {
    ASSERT_EQ(0, runs[k].status) << runs[k].err;
    // The sum over both tables is 10000 in every consistent dump: load it
    // back into a fresh schema and ask.
    std::string file = dir_.file("p" + std::to_string(k) + ".dmp");
    Sql("CREATE USER c" + std::to_string(k) + " IDENTIFIED BY c;\nGRANT DBA TO c" + std::to_string(k) + ";\n",
        "system/manager");
    ProcResult imp = testsupport::Run({TABIMP_PATH, "system/manager@" + db_, "FILE=" + file,
                                       "TOUSER=c" + std::to_string(k)},
                                      {kNls});
    ASSERT_EQ(0, imp.status) << imp.err;
    ProcResult q = RunSql("system/manager@" + db_,
                          "SELECT (SELECT SUM(amount) FROM c" + std::to_string(k) + ".acc_a) + (SELECT SUM(amount) FROM c" +
                              std::to_string(k) + ".acc_b) AS total FROM dual;\n",
                          {kNls});
    EXPECT_TRUE(Has(q.out, "10000")) << q.out << q.err;
  }
}

}  // namespace

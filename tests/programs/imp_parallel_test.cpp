// imp_parallel_test.cpp - tabimp PARALLEL=n against real database files: the
// target a parallel run leaves is the one a serial run leaves (rows, LOBs,
// LONGs, indexes, keys, views, grants), a failure in one worker ends the run
// as it ends a serial one, an interrupted parallel run leaves whole tables
// only, and a count out of range is refused.
#include <algorithm>
#include <cctype>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support.h"

namespace {

using testsupport::CreateDatabase;
using testsupport::ProcResult;
using testsupport::RunSql;
using testsupport::TempDir;

const char kNls[] = "NLS_LANG=AMERICAN_AMERICA.AL32UTF8";
const char kDone[] = "\nImport terminated successfully.\n\n";
const char kFailed[] = "\nImport terminated unsuccessfully.\n\n";

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class ImportParallel : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.file("db");
    dump_ = dir_.file("src.dmp");
    CreateDatabase(db_, "manager");
    Sql("CREATE USER src IDENTIFIED BY src;\nGRANT DBA TO src;\n"
        "CREATE USER reader IDENTIFIED BY reader;\nGRANT CONNECT TO reader;\n",
        "system/manager");
  }
  void Sql(const std::string& script, const std::string& user = "src/src") {
    ProcResult r = RunSql(user + "@" + db_, script, {kNls});
    ASSERT_EQ(0, r.status) << script << "\n" << r.out << r.err;
  }
  std::string Query(const std::string& script) {
    ProcResult r = RunSql("system/manager@" + db_, script, {kNls});
    return r.out + r.err;
  }
  void NewUser(const std::string& user) {
    Sql("CREATE USER " + user + " IDENTIFIED BY x;\nGRANT DBA TO " + user + ";\n", "system/manager");
  }
  void Export() {
    ProcResult r = testsupport::Run({TABEXP_PATH, "src/src@" + db_, "FILE=" + dump_, "OWNER=SRC"}, {kNls});
    ASSERT_EQ(0, r.status) << r.err;
  }
  ProcResult Import(std::vector<std::string> more, const std::string& file = "") {
    std::vector<std::string> argv = {TABIMP_PATH, "system/manager@" + db_,
                                     "FILE=" + (file.empty() ? dump_ : file)};
    argv.insert(argv.end(), more.begin(), more.end());
    return testsupport::Run(argv, {kNls});
  }
  // Everything of a schema the dictionary and its tables show.
  std::string State(const std::string& owner) {
    std::string q = "'" + owner + "'";
    std::string s = Query(
        "SELECT object_type || ' ' || object_name FROM all_objects WHERE owner = " + q + " ORDER BY 1;\n"
        "SELECT index_name || ' ' || uniqueness FROM all_indexes WHERE owner = " + q + " ORDER BY 1;\n"
        "SELECT constraint_type || ' ' || table_name FROM all_constraints WHERE owner = " + q +
        " ORDER BY 1;\n"
        "SELECT grantee || ' ' || table_name || ' ' || privilege FROM dba_tab_privs WHERE owner = " + q +
        " ORDER BY 1;\n"
        "SELECT COUNT(*) || ' ' || SUM(id) || ' ' || SUM(LENGTH(v)) FROM " + owner + ".t1;\n"
        "SELECT COUNT(*) || ' ' || SUM(DBMS_LOB.GETLENGTH(c)) FROM " + owner + ".t2;\n"
        "SELECT id || ':' || l FROM " + owner + ".t3 ORDER BY id;\n"
        "SELECT COUNT(*) FROM " + owner + ".t4;\n"
        "SELECT COUNT(*) FROM " + owner + ".v1;\n"
        "SELECT COUNT(*) FROM " + owner + ".t6;\n"
        "SELECT COUNT(*) || ' ' || SUM(LENGTH(s)) FROM " + owner + ".t7;\n");
    // the same text whichever schema it was read from
    for (size_t at; (at = s.find(owner)) != std::string::npos;) s.replace(at, owner.size(), "X");
    return s;
  }
  void MakeSchema() {
    Sql("CREATE TABLE t1 (id NUMBER PRIMARY KEY, v VARCHAR2(40));\n"
        "INSERT INTO t1 SELECT LEVEL, 'value ' || LEVEL FROM dual CONNECT BY LEVEL <= 5000;\n"
        "CREATE TABLE t2 (id NUMBER PRIMARY KEY, c CLOB);\n"
        "INSERT INTO t2 SELECT LEVEL, CASE WHEN MOD(LEVEL, 3) = 0 THEN RPAD('c', LEVEL, 'x') END "
        "FROM dual CONNECT BY LEVEL <= 400;\n"
        "CREATE TABLE t3 (id NUMBER, l LONG);\n"
        "INSERT INTO t3 VALUES (1, 'a long value');\nINSERT INTO t3 VALUES (2, NULL);\n"
        "CREATE TABLE t4 (id NUMBER, t1_id NUMBER REFERENCES t1);\n"
        "INSERT INTO t4 SELECT LEVEL, LEVEL FROM dual CONNECT BY LEVEL <= 3000;\n"
        "CREATE INDEX t4_t1 ON t4 (t1_id);\n"
        "CREATE TABLE t5 (n NUMBER);\n"
        "CREATE TABLE t6 (n NUMBER, d DATE);\n"
        "INSERT INTO t6 SELECT LEVEL, DATE '2020-01-01' + LEVEL FROM dual CONNECT BY LEVEL <= 2000;\n"
        // a section over 1 MiB: the turn goes to another worker after it
        "CREATE TABLE t7 (id NUMBER, s VARCHAR2(700));\n"
        "INSERT INTO t7 SELECT LEVEL, RPAD('s', 700, 'x') FROM dual CONNECT BY LEVEL <= 2000;\n"
        "CREATE VIEW v1 AS SELECT t1.id, t4.id AS id4 FROM t1 JOIN t4 ON t4.t1_id = t1.id;\n"
        "GRANT SELECT ON t1 TO reader;\n"
        "COMMIT;\n");
  }
  void Damage(uint64_t at) {
    std::fstream f(dump_, std::ios::in | std::ios::out | std::ios::binary);
    f.seekg(static_cast<std::streamoff>(at));
    char c = 0;
    f.read(&c, 1);
    c ^= 0x55;
    f.seekp(static_cast<std::streamoff>(at));
    f.write(&c, 1);
  }

  TempDir dir_;
  std::string db_, dump_;
};

TEST_F(ImportParallel, LeavesWhatASerialRunLeaves) {
  MakeSchema();
  Export();
  NewUser("serial");
  ProcResult s = Import({"TOUSER=serial"});
  ASSERT_EQ(0, s.status) << s.err;
  std::string want = State("SERIAL");
  ASSERT_TRUE(Has(want, "INDEX T4_T1")) << want;
  for (int n = 2; n <= 4; n++) {
    std::string user = "par" + std::to_string(n);
    NewUser(user);
    ProcResult p = Import({"TOUSER=" + user, "PARALLEL=" + std::to_string(n), "FEEDBACK=1"});
    ASSERT_EQ(0, p.status) << p.err;
    EXPECT_TRUE(Has(p.err, kDone)) << p.err;
    EXPECT_EQ(want, State("PAR" + std::to_string(n))) << n;
    // one whole line per table, no FEEDBACK dots from the workers
    for (const char* t : {"T1", "T2", "T3", "T4", "T5", "T6", "T7"}) {
      std::string name = std::string(30 - std::string(t).size(), ' ') + t;
      EXPECT_TRUE(Has(p.out, ". . importing table  " + name)) << p.out;
    }
    EXPECT_FALSE(Has(p.out, ".....")) << p.out;
    EXPECT_EQ(7u, static_cast<size_t>(std::count(p.out.begin(), p.out.end(), '\n'))) << p.out;
  }
}

TEST_F(ImportParallel, AFailureInOneWorkerEndsTheRunAsInASerialOne) {
  MakeSchema();
  Export();
  // a refused CREATE TABLE: the target has a view of that name
  NewUser("serial");
  NewUser("par");
  for (const char* u : {"serial", "par"})
    Sql(std::string("CREATE VIEW ") + u + ".t4 AS SELECT 1 AS n FROM dual;\n", "system/manager");
  ProcResult s = Import({"TOUSER=serial"});
  ProcResult p = Import({"TOUSER=par", "PARALLEL=3"});
  EXPECT_EQ(255, s.status) << s.err;
  EXPECT_EQ(255, p.status) << p.err;
  for (const ProcResult* r : {&s, &p}) {
    EXPECT_TRUE(Has(r->err, "Table \"T4\":\nOCIStmtExecute()")) << r->err;
    EXPECT_TRUE(Has(r->err, "Create table error.")) << r->err;
    EXPECT_TRUE(Has(r->err, kFailed)) << r->err;
    // nothing after the failure: the deferred view and grant never ran
    EXPECT_FALSE(Has(r->out, "T4 ")) << r->out;
  }
  EXPECT_FALSE(Has(Query("SELECT COUNT(*) FROM par.v1;\n"), "\n3000"));

  // a damaged section: the checksum is checked before the table is created
  std::ifstream in(dump_, std::ios::binary | std::ios::ate);
  uint64_t size = static_cast<uint64_t>(in.tellg());
  Damage(size / 3);
  NewUser("serial2");
  NewUser("par2");
  s = Import({"TOUSER=serial2"});
  p = Import({"TOUSER=par2", "PARALLEL=2"});
  EXPECT_EQ(255, s.status) << s.err;
  EXPECT_EQ(255, p.status) << p.err;
  size_t at = s.err.find("damaged at offset");
  ASSERT_NE(at, std::string::npos) << s.err;
  size_t from = s.err.rfind('\n', at) + 1;
  std::string line = s.err.substr(from, s.err.find('\n', at) - from);
  EXPECT_TRUE(Has(p.err, line)) << line << "\n" << p.err;
  EXPECT_TRUE(Has(p.err, kFailed)) << p.err;
}

TEST_F(ImportParallel, AnInterruptedRunLeavesWholeTablesOnly) {
  const int kTables = 12, kRows = 20000;
  std::string script;
  for (int i = 0; i < kTables; i++) {
    std::string t = "t" + std::to_string(10 + i);
    script += "CREATE TABLE " + t + " (n NUMBER PRIMARY KEY, pad VARCHAR2(20));\n"
              "INSERT INTO " + t + " SELECT LEVEL, 'row' FROM dual CONNECT BY LEVEL <= " +
              std::to_string(kRows) + ";\n";
  }
  Sql(script + "COMMIT;\n");
  Export();
  NewUser("dst");
  ProcResult r = testsupport::Run({IMP_STOP_AFTER_PATH, "SIGINT", "tables", "1", TABIMP_PATH,
                                   "system/manager@" + db_, "FILE=" + dump_, "TOUSER=dst",
                                   "PARALLEL=2"},
                                  {kNls});
  EXPECT_EQ(255, r.status) << r.err;
  EXPECT_TRUE(Has(r.err, "Import stopped by SIGINT")) << r.err;
  EXPECT_TRUE(Has(r.err, kFailed)) << r.err;
  size_t listed = r.err.find("Tables completed: ");
  ASSERT_NE(listed, std::string::npos) << r.err;
  std::string completed = r.err.substr(listed, r.err.find('\n', listed) - listed);
  // every table is there whole and named completed, or not there at all
  int whole = 0;
  for (int i = 0; i < kTables; i++) {
    std::string t = "T" + std::to_string(10 + i);
    std::string out = Query("SELECT 'count=' || COUNT(*) FROM dst." + t + ";\n");
    size_t at = out.find("count=");
    if (at == std::string::npos) {
      EXPECT_FALSE(Has(completed, "\"" + t + "\"")) << completed;
      continue;
    }
    EXPECT_EQ(kRows, std::atoi(out.c_str() + at + 6)) << t;
    EXPECT_TRUE(Has(completed, "\"" + t + "\"")) << t << ": " << completed;
    whole++;
  }
  EXPECT_GE(whole, 1);
  EXPECT_LT(whole, kTables);
}

TEST_F(ImportParallel, ACountOutOfRangeIsRefused) {
  for (const char* v : {"0", "x", "65", "-1", "2x", ""}) {
    ProcResult r = Import({std::string("PARALLEL=") + v});
    EXPECT_EQ(255, r.status) << v;
    EXPECT_TRUE(Has(r.err, std::string("Invalid parameter \"PARALLEL=") + v + "\"")) << r.err;
  }
  ProcResult help = Import({"HELP=Y"});
  EXPECT_TRUE(Has(help.err, "PARALLEL     number of worker sessions (1)")) << help.err;
}

}  // namespace

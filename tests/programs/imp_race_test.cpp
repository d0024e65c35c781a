// imp_race_test.cpp - tabimp run in this process against a database file,
// with another session acting at an exact point of the run (the database
// client's execute hook): the target's owner swapping a table the import
// has just created for a synonym of another schema's table, right before
// the import locks it for its rows, or while its grant is about to run.
// Neither rows nor the grant may follow the synonym.
#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../tabdb/core/oci_fixture.h"
#include "client/test_hooks.h"
#include "outcome.h"
#include "support.h"

extern "C" int tabimp_main(int argc, char** argv);

namespace {

using testsupport::ProcResult;

const char kNls[] = "NLS_LANG=AMERICAN_AMERICA.AL32UTF8";

struct InProcess {
  int rc = -2;
  std::string out, err;
};

InProcess RunImport(std::vector<std::string> argv) {
  InProcess r;
  std::vector<char*> p;
  for (std::string& a : argv) p.push_back(a.data());
  p.push_back(nullptr);
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  r.rc = tabimp_main(static_cast<int>(argv.size()), p.data());
  r.out = ::testing::internal::GetCapturedStdout();
  r.err = ::testing::internal::GetCapturedStderr();
  return r;
}

class ImportRace : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.file("db");
    dump_ = dir_.file("src.dmp");
    testsupport::CreateDatabase(db_, "manager");
    Sql("CREATE USER src IDENTIFIED BY src;\nGRANT DBA TO src;\n"
        "CREATE USER victim IDENTIFIED BY victim;\nGRANT CONNECT, RESOURCE TO victim;\n"
        "CREATE USER evil IDENTIFIED BY evil;\nGRANT CONNECT, RESOURCE, CREATE SYNONYM TO evil;\n"
        "CREATE USER bob IDENTIFIED BY bob;\nGRANT CONNECT TO bob;\n",
        "system/manager");
    Sql("CREATE TABLE x (id NUMBER, v VARCHAR2(10));\nINSERT INTO x VALUES (100, 'dump');\n"
        "CREATE INDEX x_v ON x (v);\nCREATE TABLE y (n NUMBER);\nINSERT INTO y VALUES (1);\n"
        "GRANT SELECT ON x TO bob;\n",
        "src/src");
    Sql("CREATE TABLE t (id NUMBER, v VARCHAR2(10));\nINSERT INTO t VALUES (1, 'secret');\n"
        "GRANT ALL ON t TO evil;\n",
        "victim/victim");
    ProcResult e = testsupport::Run({TABEXP_PATH, "src/src@" + db_, "FILE=" + dump_, "OWNER=SRC"}, {kNls});
    ASSERT_EQ(0, e.status) << e.err;
    setenv("NLS_LANG", "AMERICAN_AMERICA.AL32UTF8", 1);
  }
  void TearDown() override { tabdb::testing::SetBeforeExecute(nullptr); }
  void Sql(const std::string& script, const std::string& user) {
    ProcResult r = testsupport::RunSql(user + "@" + db_, script, {kNls});
    ASSERT_EQ(0, r.status) << script << "\n" << r.out << r.err;
  }
  std::string Query(const std::string& script) {
    ProcResult r = testsupport::RunSql("system/manager@" + db_, script, {kNls});
    return r.out + r.err;
  }
  std::string VictimState() {
    return Query(
        "SELECT object_type || ' ' || object_name FROM all_objects WHERE owner = 'VICTIM' ORDER BY 1;\n"
        "SELECT index_name FROM all_indexes WHERE table_owner = 'VICTIM' ORDER BY 1;\n"
        "SELECT grantee || ' ' || privilege FROM dba_tab_privs WHERE owner = 'VICTIM' ORDER BY 1;\n"
        "SELECT id || ':' || v FROM victim.t ORDER BY id;\n");
  }

  testsupport::TempDir dir_;
  std::string db_, dump_;
};

// Right after CREATE TABLE "X", when the import is about to lock X for
// its rows, EVIL drops X and puts a synonym for VICTIM.T in its place (EVIL
// may write VICTIM.T, the import runs as a DBA). The lock and the
// dictionary check under it see the synonym: no row reaches VICTIM.T, the
// index is not made on it, the run names X and goes on to Y.
TEST_F(ImportRace, ATableSwappedForASynonymBeforeItsRowsGetsNone) {
  std::string before = VictimState();
  ASSERT_NE(before.find("1:secret"), std::string::npos) << before;
  static ocitest::Conn* evil = nullptr;
  ocitest::Conn conn;
  ASSERT_EQ(conn.Open(db_, "evil", "evil"), OCI_SUCCESS) << conn.ErrorText();
  evil = &conn;
  static int swaps = 0;
  swaps = 0;
  tabdb::testing::SetBeforeExecute([](const std::string& text) {
    // the first statement that locks X (the block that also checks it)
    if (swaps > 0 || text.find("LOCK TABLE") == std::string::npos || text.find("\"X\"") == std::string::npos)
      return;
    swaps++;
    EXPECT_EQ(0, ocitest::Exec(*evil, "DROP TABLE x PURGE")) << evil->ErrorText();
    EXPECT_EQ(0, ocitest::Exec(*evil, "CREATE SYNONYM x FOR victim.t")) << evil->ErrorText();
  });
  InProcess r = RunImport({"tabimp", "system/manager@" + db_, "FILE=" + dump_, "TOUSER=evil"});
  tabdb::testing::SetBeforeExecute(nullptr);
  EXPECT_EQ(1, swaps);
  EXPECT_EQ(1, r.rc) << r.err;
  EXPECT_NE(r.err.find("Rows of \"X\" not loaded: \"EVIL\".\"X\" is a SYNONYM"), std::string::npos) << r.err;
  EXPECT_EQ(before, VictimState());
  std::string y = Query("SELECT 'n=' || COUNT(*) FROM evil.y;\n");
  EXPECT_NE(y.find("n=1"), std::string::npos) << y << r.err;
}

// While the import's GRANT SELECT ON "X" TO "BOB" is about to run, EVIL
// tries to drop X and put a synonym for VICTIM.T in its place. The import
// holds X locked from its check until the grant runs, so EVIL's DDL waits
// and fails (ORA-00054): BOB gets X, never VICTIM.T.
TEST_F(ImportRace, AGrantCannotBeTurnedToAnotherSchemaWhileItRuns) {
  setenv("TABDB_LOCK_TIMEOUT_MS", "50", 1);
  std::string before = VictimState();
  static ocitest::Conn* evil = nullptr;
  ocitest::Conn conn;
  ASSERT_EQ(conn.Open(db_, "evil", "evil"), OCI_SUCCESS) << conn.ErrorText();
  evil = &conn;
  static int tries = 0;
  tries = 0;
  tabdb::testing::SetBeforeExecute([](const std::string& text) {
    if (text.rfind("GRANT", 0) != 0 || text.find("\"X\"") == std::string::npos) return;
    tries++;
    EXPECT_EQ(54, ocitest::Exec(*evil, "DROP TABLE x PURGE"));
    EXPECT_NE(0, ocitest::Exec(*evil, "CREATE SYNONYM x FOR victim.t"));
  });
  InProcess r = RunImport({"tabimp", "system/manager@" + db_, "FILE=" + dump_, "TOUSER=evil"});
  tabdb::testing::SetBeforeExecute(nullptr);
  unsetenv("TABDB_LOCK_TIMEOUT_MS");
  EXPECT_EQ(1, tries);
  EXPECT_EQ(0, r.rc) << r.err;
  EXPECT_EQ(before, VictimState());
  std::string granted = Query("SELECT owner || '.' || table_name FROM dba_tab_privs WHERE grantee = 'BOB';\n");
  EXPECT_NE(granted.find("EVIL.X"), std::string::npos) << granted;
}

// A signal that arrives while the statements after the last table run:
// the tables are whole and named as completed, the run ends 255.
TEST_F(ImportRace, AStopAmongTheLastStatementsKeepsTheTables) {
  tabdb::testing::SetBeforeExecute([](const std::string& text) {
    if (text.rfind("GRANT", 0) == 0) std::raise(SIGINT);
  });
  InProcess r = RunImport({"tabimp", "system/manager@" + db_, "FILE=" + dump_, "TOUSER=evil"});
  tabdb::testing::SetBeforeExecute(nullptr);
  g_stop_signal = 0;  // the handler stays installed in this process
  EXPECT_EQ(-1, r.rc) << r.err;
  EXPECT_NE(r.err.find("Import stopped by SIGINT in the statements after the last table."),
            std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Tables completed: \"X\", \"Y\"."), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Import terminated unsuccessfully."), std::string::npos) << r.err;
  std::string rows = Query("SELECT 'n=' || COUNT(*) FROM evil.x;\nSELECT 'm=' || COUNT(*) FROM evil.y;\n");
  EXPECT_NE(rows.find("n=1"), std::string::npos) << rows;
  EXPECT_NE(rows.find("m=1"), std::string::npos) << rows;
}

}  // namespace

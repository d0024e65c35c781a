// oci_session_test.cpp - sessions through OCI: privileges and visibility
// across schemas, ALTER SESSION SET CURRENT_SCHEMA, isolation and rollback
// of uncommitted work, and a second writer giving up with ORA-00054 or
// waiting as long as DDL_LOCK_TIMEOUT says.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "oci_fixture.h"

namespace ocitest {
namespace {

class OciSessionTest : public OciTest {
 protected:
  void SetUp() override {
    OciTest::SetUp();
    Must(app_, "CREATE TABLE t (a NUMBER)");
    Must(app_, "INSERT INTO t VALUES (1)");
    ASSERT_EQ(app_.Commit(), OCI_SUCCESS);
  }
};

// A user who is not a DBA reaches only its own schema: other tables do not
// exist for it (ORA-00942) and it may not create tables elsewhere
// (ORA-01031). A DBA may do both; what it creates belongs to the schema.
TEST_F(OciSessionTest, PrivilegesAcrossSchemas) {
  MakeUser("BOB");
  MakeUser("ADMIN2", true);
  Conn bob, admin;
  ASSERT_EQ(bob.Open(path_, "bob", "bob"), OCI_SUCCESS) << bob.ErrorText();
  ASSERT_EQ(admin.Open(path_, "admin2", "admin2"), OCI_SUCCESS) << admin.ErrorText();
  struct Case {
    const char* sql;
    int bob;    // error for BOB
    int admin;  // error for the DBA
  } cases[] = {
      {"SELECT * FROM app.t", 942, 0},
      {"INSERT INTO app.t VALUES (2)", 942, 0},
      {"UPDATE app.t SET a = a", 942, 0},
      {"DELETE FROM app.t WHERE a = 99", 942, 0},
      {"CREATE TABLE app.made (a NUMBER)", 1031, 0},
      {"CREATE INDEX app.ti ON app.t (a)", 1031, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(Exec(bob, c.sql), c.bob) << bob.ErrorText();
    EXPECT_EQ(Exec(admin, c.sql), c.admin) << admin.ErrorText();
    // One writer at a time: the database file has a single write lock.
    ASSERT_EQ(admin.Commit(), OCI_SUCCESS);
  }
  EXPECT_EQ(One(admin, "SELECT owner FROM all_tables WHERE table_name = 'MADE'"), "APP");
  // BOB's own schema is his.
  Must(bob, "CREATE TABLE t (b VARCHAR2(3))");
  EXPECT_EQ(Exec(bob, "SELECT b FROM t"), 0);
  EXPECT_EQ(Exec(bob, "SELECT a FROM t"), 904);
}

TEST_F(OciSessionTest, CurrentSchema) {
  MakeUser("ADMIN2", true);
  MakeUser("BOB");
  Conn admin, bob;
  ASSERT_EQ(admin.Open(path_, "admin2", "admin2"), OCI_SUCCESS);
  ASSERT_EQ(bob.Open(path_, "bob", "bob"), OCI_SUCCESS);
  EXPECT_EQ(Exec(admin, "ALTER SESSION SET CURRENT_SCHEMA = nosuch"), 1435);
  EXPECT_EQ(admin.ErrorText(), "ORA-01435: user does not exist\n");
  // The change does not commit the open transaction.
  Must(admin, "CREATE TABLE own (a NUMBER)");
  Must(admin, "INSERT INTO own VALUES (1)");
  Must(admin, "ALTER SESSION SET CURRENT_SCHEMA = app");
  ASSERT_EQ(admin.Rollback(), OCI_SUCCESS);
  EXPECT_EQ(One(admin, "SELECT COUNT(*) FROM admin2.own"), "0");
  // Unqualified names now resolve in APP, for queries, DML and DDL; the
  // session user stays the same.
  EXPECT_EQ(One(admin, "SELECT a FROM t"), "1");
  Must(admin, "INSERT INTO t VALUES (2)");
  Must(admin, "CREATE TABLE made (a NUMBER)");
  EXPECT_EQ(One(admin, "SELECT owner FROM all_tables WHERE table_name = 'MADE'"), "APP");
  EXPECT_EQ(One(admin, "SELECT USER FROM dual"), "ADMIN2");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM t"), "2");
  // Quoted names keep their case; unquoted ones are upper-cased.
  EXPECT_EQ(Exec(admin, "ALTER SESSION SET CURRENT_SCHEMA = \"app\""), 1435);
  Must(admin, "ALTER SESSION SET CURRENT_SCHEMA = \"APP\"");
  // The schema gives no privileges: BOB still cannot see APP's tables.
  Must(bob, "ALTER SESSION SET CURRENT_SCHEMA = app");
  EXPECT_EQ(Exec(bob, "SELECT * FROM t"), 942);
  EXPECT_EQ(Exec(bob, "CREATE TABLE x (a NUMBER)"), 1031);
}

// Uncommitted rows are the session's own; a commit shows them; ending the
// session without a commit rolls them back; DDL commits.
TEST_F(OciSessionTest, TransactionIsolation) {
  Conn other;
  ASSERT_EQ(other.Open(path_, "app", "app"), OCI_SUCCESS);
  Must(app_, "INSERT INTO t VALUES (2)");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM t"), "2");
  EXPECT_EQ(One(other, "SELECT COUNT(*) FROM t"), "1");
  ASSERT_EQ(app_.Commit(), OCI_SUCCESS);
  EXPECT_EQ(One(other, "SELECT COUNT(*) FROM t"), "2");

  Must(app_, "DELETE FROM t");
  ASSERT_EQ(app_.Rollback(), OCI_SUCCESS);
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM t"), "2");

  {
    Conn leaving;
    ASSERT_EQ(leaving.Open(path_, "app", "app"), OCI_SUCCESS);
    Must(leaving, "INSERT INTO t VALUES (3)");
    Must(leaving, "UPDATE t SET a = 10 WHERE a = 1");
  }  // session ends without a commit
  EXPECT_EQ(One(other, "SELECT COUNT(*) FROM t WHERE a IN (3, 10)"), "0");

  Must(app_, "INSERT INTO t VALUES (4)");
  Must(app_, "CREATE TABLE t2 (a NUMBER)");
  ASSERT_EQ(app_.Rollback(), OCI_SUCCESS);
  EXPECT_EQ(One(other, "SELECT COUNT(*) FROM t WHERE a = 4"), "1");
}

// A second writer waits for the first at most TABDB_LOCK_TIMEOUT_MS, then
// fails with ORA-00054; once the first commits it goes through.
TEST_F(OciSessionTest, SecondWriterTimesOut) {
  setenv("TABDB_LOCK_TIMEOUT_MS", "300", 1);
  Conn second;
  sword opened = second.Open(path_, "app", "app");
  unsetenv("TABDB_LOCK_TIMEOUT_MS");
  ASSERT_EQ(opened, OCI_SUCCESS);
  Must(app_, "INSERT INTO t VALUES (2)");
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Exec(second, "INSERT INTO t VALUES (3)"), 54);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                  start)
                .count();
  EXPECT_EQ(second.ErrorText(),
            "ORA-00054: resource busy and acquire with NOWAIT specified or timeout expired\n");
  EXPECT_GE(ms, 250);
  EXPECT_LT(ms, 5000);
  // Readers are not blocked meanwhile.
  EXPECT_EQ(One(second, "SELECT COUNT(*) FROM t"), "1");
  ASSERT_EQ(app_.Commit(), OCI_SUCCESS);
  Must(second, "INSERT INTO t VALUES (3)");
  ASSERT_EQ(second.Commit(), OCI_SUCCESS);
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM t"), "3");

  // DDL_LOCK_TIMEOUT lengthens the wait (never shortens it), and a writer
  // of the same process is let in as soon as the one before it commits.
  const struct {
    const char* value;
    int error;
  } values[] = {{"-1", 68}, {"1000001", 68}, {"1.5", 2017}, {"'x'", 2017}, {"0", 0}, {"1000000", 0}, {"2", 0}};
  for (const auto& v : values)
    EXPECT_EQ(Exec(second, std::string("ALTER SESSION SET DDL_LOCK_TIMEOUT = ") + v.value), v.error) << v.value;
  Must(app_, "INSERT INTO t VALUES (4)");
  std::thread committer([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(app_.Commit(), OCI_SUCCESS);
  });
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(Exec(second, "INSERT INTO t VALUES (5)"), 0) << second.ErrorText();
  ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  committer.join();
  EXPECT_GE(ms, 400);
  EXPECT_LT(ms, 1500);
  ASSERT_EQ(second.Commit(), OCI_SUCCESS);
}

// Logons and queries go through while another session changes the schema
// in a row: SQLite prepares a statement again after each change and gives
// up after its own retries; the engine steps it again.
TEST_F(OciSessionTest, LogonsWhileAnotherSessionChangesTheSchema) {
  std::atomic<bool> done{false};
  std::thread ddl([&] {
    Conn c;
    if (c.Open(path_, "app", "app") == OCI_SUCCESS) {
      for (int i = 0; i < 300; i++) EXPECT_EQ(Exec(c, "CREATE TABLE z" + std::to_string(i) + " (a NUMBER)"), 0);
      for (int i = 0; i < 300; i++) EXPECT_EQ(Exec(c, "DROP TABLE z" + std::to_string(i)), 0);
    }
    done = true;
  });
  int failed = 0;
  while (!done && failed == 0) {
    Conn c;
    if (c.Open(path_, "app", "app") != OCI_SUCCESS || Exec(c, "SELECT COUNT(*) FROM user_tables") != 0) {
      ADD_FAILURE() << c.ErrorText();
      failed++;
    }
  }
  ddl.join();
}

// A statement the user may not run fails at once, even while another
// session holds the write lock: privileges are checked before waiting.
TEST_F(OciSessionTest, PrivilegeErrorsDoNotWaitForOtherWriters) {
  MakeUser("BOB");
  setenv("TABDB_LOCK_TIMEOUT_MS", "200", 1);
  Conn bob;
  sword opened = bob.Open(path_, "bob", "bob");
  unsetenv("TABDB_LOCK_TIMEOUT_MS");
  ASSERT_EQ(opened, OCI_SUCCESS);
  Must(app_, "INSERT INTO t VALUES (2)");  // uncommitted: holds the write lock
  EXPECT_EQ(Exec(bob, "CREATE TABLE app.x (a NUMBER)"), 1031) << bob.ErrorText();
  EXPECT_EQ(Exec(bob, "INSERT INTO app.t VALUES (3)"), 942) << bob.ErrorText();
}

// Logon failures and calls on an ended session.
TEST_F(OciSessionTest, LogonAndLogoff) {
  Conn bad;
  EXPECT_EQ(bad.Open(path_, "app", "wrong"), OCI_ERROR);
  EXPECT_EQ(bad.ErrorText(), "ORA-01017: invalid username/password; logon denied\n");
  Conn nobody;
  EXPECT_EQ(nobody.Open(path_, "nobody", "x"), OCI_ERROR);
  EXPECT_EQ(nobody.ErrorCode(), 1017);
  Conn quoted;
  EXPECT_EQ(quoted.Open(path_, "\"APP\"", "app"), OCI_SUCCESS);
  Conn ended;
  ASSERT_EQ(ended.Open(path_, "app", "app"), OCI_SUCCESS);
  ASSERT_EQ(OCISessionEnd(ended.svc, ended.err, ended.usr, OCI_DEFAULT), OCI_SUCCESS);
  Stmt s(ended);
  ASSERT_EQ(s.Prepare("SELECT 1 FROM dual"), OCI_SUCCESS);
  EXPECT_EQ(s.Execute(0), OCI_ERROR);
  EXPECT_EQ(ended.ErrorCode(), 1012);
}

}  // namespace
}  // namespace ocitest

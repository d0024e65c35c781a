// flashback_test.cpp - system change numbers and flashback: the SCN that
// DBMS_FLASHBACK.GET_SYSTEM_CHANGE_NUMBER and V$DATABASE give, sessions
// reading as of an SCN taken by another session while a writer commits,
// what flashback mode refuses, and SCNs that cannot be read.
#include <string>
#include <thread>

#include "oci_fixture.h"

namespace ocitest {
namespace {

class FlashbackTest : public OciTest {
 protected:
  void SetUp() override {
    OciTest::SetUp();
    Must(app_, "CREATE TABLE t1 (a NUMBER)");
    Must(app_, "CREATE TABLE t2 (b VARCHAR2(10))");
    Must(app_, "INSERT INTO t1 VALUES (1)");
    Must(app_, "INSERT INTO t2 VALUES ('x')");
    ASSERT_EQ(app_.Commit(), OCI_SUCCESS);
  }

  static std::string Scn(Conn& c) { return One(c, "SELECT DBMS_FLASHBACK.GET_SYSTEM_CHANGE_NUMBER FROM DUAL"); }
  static int Enable(Conn& c, const std::string& scn) {
    return Exec(c, "BEGIN DBMS_FLASHBACK.ENABLE_AT_SYSTEM_CHANGE_NUMBER(" + scn + "); END;");
  }
  static std::string Counts(Conn& c) {
    return One(c, "SELECT (SELECT COUNT(*) FROM t1) || '/' || (SELECT COUNT(*) FROM t2) FROM DUAL");
  }
};

// Every commit that wrote names a new SCN; a commit without changes and a
// query do not. The PL/SQL form and V$DATABASE give the same number.
TEST_F(FlashbackTest, ScnNamesTheLastCommit) {
  std::string first = Scn(app_);
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(Scn(app_), first);
  ASSERT_EQ(app_.Commit(), OCI_SUCCESS);
  EXPECT_EQ(Scn(app_), first);
  Must(app_, "INSERT INTO t1 VALUES (2)");
  EXPECT_EQ(Scn(app_), first) << "the open transaction has not committed yet";
  ASSERT_EQ(app_.Commit(), OCI_SUCCESS);
  std::string second = Scn(app_);
  EXPECT_EQ(std::stoll(second), std::stoll(first) + 1);
  EXPECT_EQ(One(sys_, "SELECT CURRENT_SCN FROM V$DATABASE"), second);
  EXPECT_EQ(Exec(app_, "SELECT CURRENT_SCN FROM V$DATABASE"), 942) << "needs the DBA role";

  // In PL/SQL: the function in an expression, and ENABLE with its value,
  // whose block goes on reading as of it.
  Must(app_,
       "DECLARE n NUMBER; c NUMBER; BEGIN n := DBMS_FLASHBACK.GET_SYSTEM_CHANGE_NUMBER;"
       " DBMS_FLASHBACK.ENABLE_AT_SYSTEM_CHANGE_NUMBER(n);"
       " SELECT COUNT(*) INTO c FROM t1; IF c <> 2 THEN RAISE_APPLICATION_ERROR(-20001, 'count'); END IF; END;");
  EXPECT_EQ(Exec(app_, "DELETE FROM t1"), 8182);
  Must(app_, "BEGIN DBMS_FLASHBACK.DISABLE; END;");
  Must(app_, "DELETE FROM t1 WHERE a = 2");
  ASSERT_EQ(app_.Rollback(), OCI_SUCCESS);
}

// The coordinator takes the SCN in its read-only transaction; a writer
// commits in both tables; two more sessions (in threads of their own)
// enable flashback at the SCN and see neither change, until DISABLE.
TEST_F(FlashbackTest, SessionsShareTheCoordinatorsSnapshot) {
  Must(app_, "SET TRANSACTION READ ONLY");
  std::string scn = Scn(app_);
  {
    Conn writer;
    ASSERT_EQ(writer.Open(path_, "app", "app"), OCI_SUCCESS);
    Must(writer, "INSERT INTO t1 VALUES (2)");
    Must(writer, "INSERT INTO t2 VALUES ('y')");
    ASSERT_EQ(writer.Commit(), OCI_SUCCESS);
    EXPECT_GT(std::stoll(Scn(writer)), std::stoll(scn));
  }
  std::string seen[2][3];
  auto reader = [&](int n) {
    Conn c;
    if (c.Open(path_, "app", "app") != OCI_SUCCESS) return;
    seen[n][0] = std::to_string(Enable(c, scn)) + c.ErrorText();
    seen[n][1] = Counts(c);
    seen[n][2] = Scn(c);
    Must(c, "BEGIN DBMS_FLASHBACK.DISABLE; END;");
    seen[n][0] += "|" + Counts(c);
  };
  std::thread r1(reader, 0), r2(reader, 1);
  r1.join();
  r2.join();
  for (auto& s : seen) {
    EXPECT_EQ(s[0], "0|2/2");
    EXPECT_EQ(s[1], "1/1");
    EXPECT_EQ(s[2], scn);
  }
  EXPECT_EQ(Counts(app_), "1/1");
}

// Flashback mode refuses changes (DML and DDL) with ORA-08182, keeps its
// snapshot across COMMIT and ROLLBACK, and statements prepared before it
// read the snapshot once executed again.
TEST_F(FlashbackTest, ChangesRefusedWhileEnabled) {
  Conn reader;
  ASSERT_EQ(reader.Open(path_, "app", "app"), OCI_SUCCESS);
  std::string scn = Scn(reader);
  Stmt q(reader);
  ASSERT_EQ(q.Prepare("SELECT COUNT(*) FROM t1"), OCI_SUCCESS);
  Must(app_, "INSERT INTO t1 VALUES (2)");
  ASSERT_EQ(app_.Commit(), OCI_SUCCESS);
  ASSERT_EQ(Enable(reader, scn), 0) << reader.ErrorText();
  EXPECT_EQ(Enable(reader, scn), 8184);
  EXPECT_EQ(Exec(reader, "INSERT INTO t1 VALUES (3)"), 8182);
  EXPECT_EQ(reader.ErrorText(), "ORA-08182: operation not supported while in Flashback mode\n");
  EXPECT_EQ(Exec(reader, "UPDATE t1 SET a = 5"), 8182);
  EXPECT_EQ(Exec(reader, "CREATE TABLE t3 (c NUMBER)"), 8182);
  ASSERT_EQ(reader.Commit(), OCI_SUCCESS);
  ASSERT_EQ(reader.Rollback(), OCI_SUCCESS);
  int count = 0;
  ASSERT_EQ(q.Define(1, &count, sizeof count, SQLT_INT), OCI_SUCCESS);
  ASSERT_EQ(q.Execute(1), OCI_SUCCESS) << reader.ErrorText();
  EXPECT_EQ(count, 1);
  Must(reader, "BEGIN DBMS_FLASHBACK.DISABLE; END;");
  Must(reader, "BEGIN DBMS_FLASHBACK.DISABLE; END;");  // when not enabled: nothing
  ASSERT_EQ(q.Execute(1), OCI_SUCCESS);
  EXPECT_EQ(count, 2);
  Must(reader, "INSERT INTO t1 VALUES (3)");
  EXPECT_EQ(Enable(reader, scn), 8183) << "inside a transaction";
  ASSERT_EQ(reader.Rollback(), OCI_SUCCESS);
}

// An SCN no commit had is ORA-08181; an older one nobody holds any more is
// ORA-01555. The pin lasts as long as the transaction of the session that
// took the SCN.
TEST_F(FlashbackTest, ScnsThatCannotBeRead) {
  Conn reader;
  ASSERT_EQ(reader.Open(path_, "app", "app"), OCI_SUCCESS);
  std::string now = Scn(app_);
  EXPECT_EQ(Enable(reader, std::to_string(std::stoll(now) + 100)), 8181);
  EXPECT_EQ(Enable(reader, "0"), 8181);
  EXPECT_EQ(Enable(reader, "NULL"), 8181);

  Must(app_, "SET TRANSACTION READ ONLY");
  std::string held = Scn(app_);
  Conn writer;
  ASSERT_EQ(writer.Open(path_, "app", "app"), OCI_SUCCESS);
  Must(writer, "INSERT INTO t1 VALUES (2)");
  ASSERT_EQ(writer.Commit(), OCI_SUCCESS);
  ASSERT_EQ(Enable(reader, held), 0) << reader.ErrorText();
  EXPECT_EQ(Counts(reader), "1/1");
  Must(reader, "BEGIN DBMS_FLASHBACK.DISABLE; END;");
  ASSERT_EQ(app_.Commit(), OCI_SUCCESS);  // ends the coordinator's pin
  EXPECT_EQ(Enable(reader, held), 1555);
  EXPECT_EQ(reader.ErrorText().substr(0, 77),
            "ORA-01555: snapshot too old: rollback segment number  with name \"\" too small\n");
  // The newest commit is always readable.
  ASSERT_EQ(Enable(reader, Scn(writer)), 0) << reader.ErrorText();
  EXPECT_EQ(Counts(reader), "2/1");
  // Flashback per table reference is not carried.
  EXPECT_EQ(Exec(reader, "SELECT * FROM t1 AS OF SCN " + held), 3001);
  EXPECT_EQ(reader.ErrorText(), "ORA-03001: unimplemented feature: AS OF SCN\n");
}

}  // namespace
}  // namespace ocitest

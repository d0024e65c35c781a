// oci_batch_errors_test.cpp - array DML in OCI_BATCH_ERRORS mode: every row
// of the array is tried, a refused row is undone on its own and kept as a
// row error (offset and message through OCIParamGet), the call succeeds
// with ORA-24381, and the mode is refused for anything but DML. Also the
// exclusive table lock that keeps another session's DDL out until commit,
// also across a DDL statement of the session that holds it.
#include <cstdlib>
#include <string>
#include <vector>

#include "oci_fixture.h"

namespace ocitest {
namespace {

class OciBatchErrorsTest : public OciTest {
 protected:
  // Inserts ids (one array execute) into t(id NUMBER PRIMARY KEY).
  sword InsertIds(Stmt& s, std::vector<int>& ids, ub4 mode) {
    EXPECT_EQ(s.Prepare("INSERT INTO t (id) VALUES (:1)"), OCI_SUCCESS);
    OCIBind* b = nullptr;
    EXPECT_EQ(OCIBindByPos(s.h, &b, app_.err, 1, ids.data(), sizeof(int), SQLT_INT, nullptr,
                           nullptr, nullptr, 0, nullptr, OCI_DEFAULT),
              OCI_SUCCESS);
    return OCIStmtExecute(app_.svc, s.h, app_.err, static_cast<ub4>(ids.size()), 0, nullptr,
                          nullptr, mode);
  }
  // Offsets and codes of the row errors of the last batch.
  std::vector<std::pair<ub4, int>> RowErrors(Stmt& s) {
    std::vector<std::pair<ub4, int>> out;
    ub4 n = s.AttrUb4(OCI_ATTR_NUM_DML_ERRORS);
    for (ub4 i = 0; i < n; ++i) {
      OCIError* rowerr = nullptr;
      EXPECT_EQ(OCIParamGet(app_.err, OCI_HTYPE_ERROR, app_.err, reinterpret_cast<void**>(&rowerr), i),
                OCI_SUCCESS);
      ub4 off = 99;
      EXPECT_EQ(OCIAttrGet(rowerr, OCI_HTYPE_ERROR, &off, nullptr, OCI_ATTR_DML_ROW_OFFSET, app_.err),
                OCI_SUCCESS);
      sb4 code = 0;
      char buf[512];
      EXPECT_EQ(OCIErrorGet(rowerr, 1, nullptr, &code, reinterpret_cast<OraText*>(buf), sizeof buf,
                            OCI_HTYPE_ERROR),
                OCI_SUCCESS);
      out.emplace_back(off, code);
    }
    return out;
  }
};

// Duplicates at the start, in the middle and at the end of one array: each
// is a row error with its offset; the other rows are in, uncommitted.
TEST_F(OciBatchErrorsTest, RefusedRowsAreKeptAndTheOthersGoIn) {
  Must(app_, "CREATE TABLE t (id NUMBER PRIMARY KEY)");
  Must(app_, "INSERT INTO t VALUES (1)");
  Must(app_, "INSERT INTO t VALUES (5)");
  Must(app_, "INSERT INTO t VALUES (9)");
  Must(app_, "COMMIT");
  Stmt s(app_);
  std::vector<int> ids = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  ASSERT_EQ(InsertIds(s, ids, OCI_BATCH_ERRORS), OCI_SUCCESS_WITH_INFO);
  EXPECT_EQ(app_.ErrorCode(), 24381);
  EXPECT_EQ(s.RowCount(), 6u);
  std::vector<std::pair<ub4, int>> want = {{0, 1}, {4, 1}, {8, 1}};
  EXPECT_EQ(RowErrors(s), want);
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM t"), "9");
  ASSERT_EQ(app_.Rollback(), OCI_SUCCESS);
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM t"), "3");
}

// Without the mode the first refused row ends the call; with it and no
// refusal the call is a plain success with no row errors; a row error is
// not to be freed by the caller, and the next execute clears the list.
TEST_F(OciBatchErrorsTest, DefaultModeAndCleanBatches) {
  Must(app_, "CREATE TABLE t (id NUMBER PRIMARY KEY)");
  Must(app_, "INSERT INTO t VALUES (3)");
  Stmt s(app_);
  std::vector<int> ids = {1, 2, 3, 4};
  EXPECT_EQ(InsertIds(s, ids, OCI_DEFAULT), OCI_ERROR);
  EXPECT_EQ(app_.ErrorCode(), 1);
  EXPECT_EQ(s.RowCount(), 2u);
  EXPECT_EQ(s.AttrUb4(OCI_ATTR_NUM_DML_ERRORS), 0u);

  Stmt b(app_);
  std::vector<int> more = {3, 10};
  ASSERT_EQ(InsertIds(b, more, OCI_BATCH_ERRORS), OCI_SUCCESS_WITH_INFO);
  OCIError* rowerr = nullptr;
  ASSERT_EQ(OCIParamGet(app_.err, OCI_HTYPE_ERROR, app_.err, reinterpret_cast<void**>(&rowerr), 0),
            OCI_SUCCESS);
  EXPECT_EQ(OCIHandleFree(rowerr, OCI_HTYPE_ERROR), OCI_SUCCESS);  // left to its parent
  EXPECT_EQ(OCIParamGet(app_.err, OCI_HTYPE_ERROR, app_.err, reinterpret_cast<void**>(&rowerr), 1),
            OCI_NO_DATA);

  std::vector<int> clean = {20, 21};
  Stmt c(app_);
  EXPECT_EQ(InsertIds(c, clean, OCI_BATCH_ERRORS), OCI_SUCCESS);
  EXPECT_EQ(c.AttrUb4(OCI_ATTR_NUM_DML_ERRORS), 0u);
  EXPECT_EQ(OCIParamGet(app_.err, OCI_HTYPE_ERROR, app_.err, reinterpret_cast<void**>(&rowerr), 0),
            OCI_NO_DATA);
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM t"), "6");
}

// A check constraint and a NOT NULL column refuse rows as well; an UPDATE
// in batch mode keeps its refused rows too; a query or DDL is refused.
TEST_F(OciBatchErrorsTest, OtherRefusalsAndStatementKinds) {
  Must(app_, "CREATE TABLE t (id NUMBER CHECK (id < 100))");
  Stmt s(app_);
  std::vector<int> ids = {100, 1, 200};
  ASSERT_EQ(InsertIds(s, ids, OCI_BATCH_ERRORS), OCI_SUCCESS_WITH_INFO);
  std::vector<std::pair<ub4, int>> want = {{0, 2290}, {2, 2290}};
  EXPECT_EQ(RowErrors(s), want);

  Stmt u(app_);
  ASSERT_EQ(u.Prepare("UPDATE t SET id = id + :1"), OCI_SUCCESS);
  std::vector<int> adds = {500, 5};
  OCIBind* bd = nullptr;
  ASSERT_EQ(OCIBindByPos(u.h, &bd, app_.err, 1, adds.data(), sizeof(int), SQLT_INT, nullptr,
                         nullptr, nullptr, 0, nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(OCIStmtExecute(app_.svc, u.h, app_.err, 2, 0, nullptr, nullptr, OCI_BATCH_ERRORS),
            OCI_SUCCESS_WITH_INFO);
  std::vector<std::pair<ub4, int>> uwant = {{0, 2290}};
  EXPECT_EQ(RowErrors(u), uwant);
  EXPECT_EQ(One(app_, "SELECT id FROM t"), "6");

  for (const char* sql : {"SELECT * FROM t", "CREATE TABLE t2 (a NUMBER)"}) {
    Stmt q(app_);
    ASSERT_EQ(q.Prepare(sql), OCI_SUCCESS);
    EXPECT_EQ(OCIStmtExecute(app_.svc, q.h, app_.err, 1, 0, nullptr, nullptr, OCI_BATCH_ERRORS),
              OCI_ERROR)
        << sql;
    EXPECT_EQ(app_.ErrorCode(), 28714) << sql;
  }
}

// LOCK TABLE ... IN EXCLUSIVE MODE keeps another session from dropping the
// table or putting anything in its place until the lock's transaction
// ends, as Oracle's DML lock blocks DDL with ORA-00054.
TEST_F(OciBatchErrorsTest, ExclusiveLockKeepsOtherSessionsDdlOut) {
  setenv("TABDB_LOCK_TIMEOUT_MS", "50", 1);
  Conn other;
  ASSERT_EQ(other.Open(path_, "app", "app"), OCI_SUCCESS) << other.ErrorText();
  Must(app_, "CREATE TABLE t (id NUMBER)");
  Must(app_, "LOCK TABLE app.t IN EXCLUSIVE MODE");
  EXPECT_EQ(Exec(other, "DROP TABLE t"), 54);
  EXPECT_EQ(Exec(other, "CREATE SYNONYM s FOR t"), 54);
  Must(app_, "INSERT INTO t VALUES (1)");
  ASSERT_EQ(app_.Commit(), OCI_SUCCESS);
  EXPECT_EQ(Exec(other, "DROP TABLE t"), 0);
  unsetenv("TABDB_LOCK_TIMEOUT_MS");
}

// A DDL statement keeps the work before it whether it succeeds or fails,
// as Oracle's implicit commit does, and a lock taken before it holds until
// that commit: another session's DDL still waits while the DDL runs.
TEST_F(OciBatchErrorsTest, DdlCommitsTheWorkBeforeItWithoutLettingTheLockGo) {
  Must(app_, "CREATE TABLE t (id NUMBER)");
  Must(app_, "INSERT INTO t VALUES (1)");
  EXPECT_EQ(Exec(app_, "CREATE TABLE t (id NUMBER)"), 955);
  ASSERT_EQ(app_.Rollback(), OCI_SUCCESS);
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM t"), "1");
  Must(app_, "INSERT INTO t VALUES (2)");
  Must(app_, "COMMENT ON TABLE t IS 'two rows'");
  ASSERT_EQ(app_.Rollback(), OCI_SUCCESS);
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM t"), "2");

  setenv("TABDB_LOCK_TIMEOUT_MS", "50", 1);
  Conn other;
  ASSERT_EQ(other.Open(path_, "app", "app"), OCI_SUCCESS) << other.ErrorText();
  Must(app_, "LOCK TABLE app.t IN EXCLUSIVE MODE");
  EXPECT_EQ(Exec(other, "DROP TABLE t"), 54);
  Must(app_, "GRANT SELECT ON t TO system");
  EXPECT_EQ(Exec(other, "DROP TABLE t"), 0);  // the grant's commit ended the lock
  unsetenv("TABDB_LOCK_TIMEOUT_MS");
}

}  // namespace
}  // namespace ocitest

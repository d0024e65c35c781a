// session_lifetime_test.cpp - statements, piecewise transfers and LOB
// locators that outlive their session, which ends by OCISessionEnd or with
// its connection (OCIServerDetach). A call on such an object afterwards
// answers ORA-01012, also once a new session runs on the same handles, and
// never reaches the ended session's memory (these tests run under
// AddressSanitizer in the sanitizer build).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lob_oci_util.h"

namespace {

using lobtest::Oci;

enum class Loss { kSessionEnd, kServerDetach };

class SessionLifetime : public ::testing::TestWithParam<Loss> {
 protected:
  void SetUp() override {
    path_ = dir_.file("life.db");
    ASSERT_NO_FATAL_FAILURE(Oci::CreateDatabase(path_));
    ASSERT_NO_FATAL_FAILURE(c_.Connect(path_));
    ASSERT_NO_FATAL_FAILURE(c_.Run("CREATE TABLE t (id NUMBER, c CLOB)"));
    ASSERT_NO_FATAL_FAILURE(c_.Run("CREATE TABLE tl (id NUMBER, v LONG)"));
    ASSERT_NO_FATAL_FAILURE(c_.Run("INSERT INTO t VALUES (1, 'one')"));
    ASSERT_NO_FATAL_FAILURE(c_.Run("INSERT INTO t VALUES (2, 'two')"));
    ASSERT_NO_FATAL_FAILURE(c_.Run("INSERT INTO tl VALUES (1, RPAD('x', 4000, 'y'))"));
    ASSERT_EQ(OCI_SUCCESS, c_.Commit());
  }

  // Ends the session the way the test's parameter says.
  void Lose() {
    if (GetParam() == Loss::kSessionEnd) {
      ASSERT_EQ(OCI_SUCCESS, OCISessionEnd(c_.svc, c_.err, c_.usr, OCI_DEFAULT)) << c_.Error();
    } else {
      ASSERT_EQ(OCI_SUCCESS, OCIServerDetach(c_.srv, c_.err, OCI_DEFAULT)) << c_.Error();
    }
  }

  // A new session on the same handles (attached again after a detach).
  void Reconnect() {
    if (GetParam() == Loss::kServerDetach) {
      ASSERT_EQ(OCI_SUCCESS, OCIServerAttach(c_.srv, c_.err, reinterpret_cast<const OraText*>(path_.data()),
                                             static_cast<sb4>(path_.size()), OCI_DEFAULT))
          << c_.Error();
    }
    ASSERT_EQ(OCI_SUCCESS, OCISessionBegin(c_.svc, c_.err, c_.usr, OCI_CRED_RDBMS, OCI_DEFAULT)) << c_.Error();
    ASSERT_EQ(OCI_SUCCESS, OCIAttrSet(c_.svc, OCI_HTYPE_SVCCTX, c_.usr, 0, OCI_ATTR_SESSION, c_.err));
  }

  // Expects `rc` to be a failure with ORA-01012.
  void ExpectNotLoggedOn(sword rc, const char* what) {
    EXPECT_EQ(OCI_ERROR, rc) << what;
    EXPECT_EQ(1012, c_.Code()) << what << ": " << c_.Error();
  }

  testsupport::TempDir dir_;
  std::string path_;
  Oci c_;
};

TEST_P(SessionLifetime, CursorWithClobDefine) {
  OCIStmt* s = c_.Stmt();
  OCILobLocator* loc = c_.Locator();
  ASSERT_EQ(OCI_SUCCESS, c_.Prepare(s, "SELECT c FROM t ORDER BY id"));
  OCIDefine* d = nullptr;
  sb2 ind = 0;
  ASSERT_EQ(OCI_SUCCESS, OCIDefineByPos(s, &d, c_.err, 1, &loc, sizeof loc, SQLT_CLOB, &ind, nullptr, nullptr,
                                        OCI_DEFAULT));
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c_.svc, s, c_.err, 1, 0, nullptr, nullptr, OCI_DEFAULT)) << c_.Error();
  ASSERT_NO_FATAL_FAILURE(Lose());
  ExpectNotLoggedOn(OCIStmtFetch2(s, c_.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT), "fetch");
  ASSERT_NO_FATAL_FAILURE(Reconnect());
  // Neither the cursor nor the locator it filled belong to the new session.
  ExpectNotLoggedOn(OCIStmtFetch2(s, c_.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT), "fetch in a new session");
  oraub8 len = 0;
  ExpectNotLoggedOn(OCILobGetLength2(c_.svc, c_.err, loc, &len), "length of the old locator");
  // Executed again, the statement runs in the new session.
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c_.svc, s, c_.err, 1, 0, nullptr, nullptr, OCI_DEFAULT)) << c_.Error();
  ASSERT_EQ(OCI_SUCCESS, OCIStmtFetch2(s, c_.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT)) << c_.Error();
  char buf[16] = {0};
  oraub8 bytes = 0, chars = 0;
  ASSERT_EQ(OCI_SUCCESS, OCILobRead2(c_.svc, c_.err, loc, &bytes, &chars, 1, buf, sizeof buf, OCI_ONE_PIECE,
                                     nullptr, nullptr, 0, SQLCS_IMPLICIT))
      << c_.Error();
  EXPECT_EQ("two", std::string(buf, bytes));
}

// A LONG fetched in pieces of 1000 bytes: the row's fetch and the buffer
// of the first piece.
struct LongFetchInProgress {
  OCIStmt* s = nullptr;
  OCIDefine* d = nullptr;
  char buf[1000];
  ub4 alen = sizeof buf;
  sb2 ind = 0;
  ub2 rcode = 0;
};

void StartLongFetch(Oci& c, LongFetchInProgress* f) {
  f->s = c.Stmt();
  ASSERT_EQ(OCI_SUCCESS, c.Prepare(f->s, "SELECT v FROM tl"));
  ASSERT_EQ(OCI_SUCCESS, OCIDefineByPos(f->s, &f->d, c.err, 1, nullptr, 0x7FFFFFFF, SQLT_LNG, nullptr, nullptr,
                                        nullptr, OCI_DYNAMIC_FETCH));
  ASSERT_EQ(OCI_NEED_DATA, OCIStmtExecute(c.svc, f->s, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT)) << c.Error();
  ASSERT_EQ(OCI_SUCCESS, OCIStmtSetPieceInfo(f->d, OCI_HTYPE_DEFINE, c.err, f->buf, &f->alen, OCI_FIRST_PIECE,
                                             &f->ind, &f->rcode));
}

TEST_P(SessionLifetime, PiecewiseLongFetch) {
  LongFetchInProgress f;
  ASSERT_NO_FATAL_FAILURE(StartLongFetch(c_, &f));
  // One piece of the value, then the session goes.
  ASSERT_EQ(OCI_NEED_DATA, OCIStmtFetch2(f.s, c_.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT)) << c_.Error();
  ASSERT_EQ(sizeof f.buf, f.alen);
  ASSERT_NO_FATAL_FAILURE(Lose());
  void* h = nullptr;
  ub4 type = 0, iter = 0, idx = 0;
  ub1 in_out = 0, code = 0;
  ExpectNotLoggedOn(OCIStmtGetPieceInfo(f.s, c_.err, &h, &type, &in_out, &iter, &idx, &code), "get piece");
  ASSERT_NO_FATAL_FAILURE(Reconnect());
  // The transfer is over: no piece is waiting any more, and the cursor is
  // gone with its session.
  f.alen = sizeof f.buf;
  EXPECT_EQ(OCI_ERROR, OCIStmtSetPieceInfo(f.d, OCI_HTYPE_DEFINE, c_.err, f.buf, &f.alen, OCI_NEXT_PIECE, &f.ind,
                                           &f.rcode));
  EXPECT_EQ(24370, c_.Code()) << c_.Error();
  ExpectNotLoggedOn(OCIStmtFetch2(f.s, c_.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT), "fetch");
}

TEST_P(SessionLifetime, PiecewiseLongFetchContinuedInANewSession) {
  LongFetchInProgress f;
  ASSERT_NO_FATAL_FAILURE(StartLongFetch(c_, &f));
  ASSERT_NO_FATAL_FAILURE(Lose());
  ASSERT_NO_FATAL_FAILURE(Reconnect());
  ExpectNotLoggedOn(OCIStmtFetch2(f.s, c_.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT), "piece");
}

TEST_P(SessionLifetime, PiecewiseInsert) {
  OCIStmt* s = c_.Stmt();
  ASSERT_EQ(OCI_SUCCESS, c_.Prepare(s, "INSERT INTO tl (id, v) VALUES (2, :1)"));
  OCIBind* b = nullptr;
  ASSERT_EQ(OCI_SUCCESS, OCIBindByPos(s, &b, c_.err, 1, nullptr, 0x7FFFFFFF, SQLT_LNG, nullptr, nullptr, nullptr,
                                      0, nullptr, OCI_DATA_AT_EXEC));
  ASSERT_EQ(OCI_NEED_DATA, OCIStmtExecute(c_.svc, s, c_.err, 1, 0, nullptr, nullptr, OCI_DEFAULT)) << c_.Error();
  std::string piece(5000, 'p');
  ub4 alen = static_cast<ub4>(piece.size());
  ASSERT_EQ(OCI_SUCCESS, OCIStmtSetPieceInfo(b, OCI_HTYPE_BIND, c_.err, piece.data(), &alen, OCI_FIRST_PIECE,
                                             nullptr, nullptr));
  ASSERT_EQ(OCI_NEED_DATA, OCIStmtExecute(c_.svc, s, c_.err, 1, 0, nullptr, nullptr, OCI_DEFAULT)) << c_.Error();
  ASSERT_NO_FATAL_FAILURE(Lose());
  ASSERT_NO_FATAL_FAILURE(Reconnect());
  // The insert does not go on in the new session, and is over.
  ExpectNotLoggedOn(OCIStmtExecute(c_.svc, s, c_.err, 1, 0, nullptr, nullptr, OCI_DEFAULT), "next piece");
  void* h = nullptr;
  ub4 type = 0, iter = 0, idx = 0;
  ub1 in_out = 0, code = 0;
  EXPECT_EQ(OCI_ERROR, OCIStmtGetPieceInfo(s, c_.err, &h, &type, &in_out, &iter, &idx, &code));
  EXPECT_EQ(24370, c_.Code()) << c_.Error();
  EXPECT_EQ(1, c_.Number("SELECT COUNT(*) FROM tl"));
  // Executed again, the statement inserts a whole value in the new session.
  ASSERT_EQ(OCI_NEED_DATA, OCIStmtExecute(c_.svc, s, c_.err, 1, 0, nullptr, nullptr, OCI_DEFAULT)) << c_.Error();
  alen = 3;
  ASSERT_EQ(OCI_SUCCESS, OCIStmtSetPieceInfo(b, OCI_HTYPE_BIND, c_.err, "new", &alen, OCI_LAST_PIECE, nullptr,
                                             nullptr));
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c_.svc, s, c_.err, 1, 0, nullptr, nullptr, OCI_DEFAULT)) << c_.Error();
  EXPECT_EQ(2, c_.Number("SELECT COUNT(*) FROM tl"));
}

TEST_P(SessionLifetime, OpenLobWrite) {
  std::vector<OCILobLocator*> ret;
  std::vector<sb2> ret_ind;
  ASSERT_EQ(OCI_SUCCESS, c_.InsertReturning("INSERT INTO t (id, c) VALUES (3, :1) RETURNING c INTO :2",
                                            {SQLT_CLOB}, {SQLCS_IMPLICIT}, {false}, &ret, &ret_ind))
      << c_.Error();
  OCILobLocator* loc = ret[0];
  ASSERT_EQ(OCI_SUCCESS, OCILobOpen(c_.svc, c_.err, loc, OCI_LOB_READWRITE)) << c_.Error();
  std::string text(3000, 'w');
  oraub8 bytes = 0, chars = 0;
  ASSERT_EQ(OCI_NEED_DATA, OCILobWrite2(c_.svc, c_.err, loc, &bytes, &chars, 1, text.data(), text.size(),
                                        OCI_FIRST_PIECE, nullptr, nullptr, 0, SQLCS_IMPLICIT))
      << c_.Error();
  ASSERT_NO_FATAL_FAILURE(Lose());
  EXPECT_EQ(OCI_ERROR, OCILobWrite2(c_.svc, c_.err, loc, &bytes, &chars, 1, text.data(), text.size(),
                                    OCI_NEXT_PIECE, nullptr, nullptr, 0, SQLCS_IMPLICIT));
  ASSERT_NO_FATAL_FAILURE(Reconnect());
  ExpectNotLoggedOn(OCILobWrite2(c_.svc, c_.err, loc, &bytes, &chars, 1, text.data(), text.size(),
                                 OCI_LAST_PIECE, nullptr, nullptr, 0, SQLCS_IMPLICIT),
                    "write in a new session");
  ExpectNotLoggedOn(OCILobClose(c_.svc, c_.err, loc), "close");
  // The row and its LOB went with the ended session's transaction, and the
  // new session can commit (no LOB of the old one counts as open).
  EXPECT_EQ(0, c_.Number("SELECT COUNT(*) FROM t WHERE id = 3"));
  EXPECT_EQ(OCI_SUCCESS, c_.Commit()) << c_.Error();
}

INSTANTIATE_TEST_SUITE_P(Ends, SessionLifetime, ::testing::Values(Loss::kSessionEnd, Loss::kServerDetach),
                         [](const ::testing::TestParamInfo<Loss>& i) {
                           return i.param == Loss::kSessionEnd ? std::string("SessionEnd")
                                                               : std::string("ServerDetach");
                         });

}  // namespace

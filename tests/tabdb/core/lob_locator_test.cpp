// lob_locator_test.cpp - LOB locators: RETURNING ... INTO locator binds,
// a row with a LONG and two LOBs moved in the order the export reads and
// the import writes it, and the errors of misused locators (which must
// never crash).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lob_oci_util.h"

namespace {

using lobtest::kPiece;
using lobtest::LobRead;
using lobtest::LongFetch;
using lobtest::LongInsert;
using lobtest::Oci;

class LobLocator : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("loc.db");
    ASSERT_NO_FATAL_FAILURE(Oci::CreateDatabase(path_));
    ASSERT_NO_FATAL_FAILURE(c_.Connect(path_));
    ASSERT_NO_FATAL_FAILURE(c_.Run("CREATE TABLE t2 (id NUMBER, c CLOB, b BLOB)"));
  }

  // Reads LOB column `col` of t2 row `id` back whole.
  std::string ReadBack(Oci& c, const std::string& col, int id, sb2* ind) {
    OCILobLocator* loc = c.Locator();
    bool blob = col == "b";
    EXPECT_EQ(OCI_SUCCESS, c.SelectLocator("SELECT " + col + " FROM t2 WHERE id = " + std::to_string(id),
                                           blob ? SQLT_BLOB : SQLT_CLOB, loc, ind));
    if (*ind == -1) return "<null>";
    std::string got;
    LobRead r;
    EXPECT_TRUE(lobtest::ReadLob(c, loc, SQLCS_IMPLICIT, blob, lobtest::ToString(&got), &r));
    return got;
  }

  testsupport::TempDir dir_;
  std::string path_;
  Oci c_;
};

TEST_F(LobLocator, ReturningTwoLobsOfWhichOneIsNull) {
  struct Case {
    bool null_c, null_b;
  } cases[] = {{false, true}, {true, false}, {true, true}, {false, false}};
  int id = 0;
  for (const Case& cs : cases) {
    SCOPED_TRACE(std::string(cs.null_c ? "NULL" : "empty") + " CLOB, " + (cs.null_b ? "NULL" : "empty") +
                 " BLOB");
    ++id;
    std::vector<OCILobLocator*> ret;
    std::vector<sb2> ind;
    ASSERT_EQ(OCI_SUCCESS, c_.InsertReturning("INSERT INTO t2 (id, c, b) VALUES (" + std::to_string(id) +
                                                  ", :1, :2) RETURNING c, b INTO :3, :4",
                                              {SQLT_CLOB, SQLT_BLOB}, {SQLCS_IMPLICIT, SQLCS_IMPLICIT},
                                              {cs.null_c, cs.null_b}, &ret, &ind))
        << c_.Error();
    EXPECT_EQ(cs.null_c ? -1 : 0, ind[0]);
    EXPECT_EQ(cs.null_b ? -1 : 0, ind[1]);
    std::string text = "clob " + std::to_string(id), bytes = lobtest::Pattern(40000 + id, false);
    if (!cs.null_c) {
      ASSERT_TRUE(lobtest::WriteLob(c_, ret[0], SQLCS_IMPLICIT, lobtest::FromString(text), kPiece));
    }
    if (!cs.null_b) {
      ASSERT_TRUE(lobtest::WriteLob(c_, ret[1], SQLCS_IMPLICIT, lobtest::FromString(bytes), kPiece));
    }
    ASSERT_EQ(OCI_SUCCESS, c_.Commit()) << c_.Error();

    Oci reader;
    ASSERT_NO_FATAL_FAILURE(reader.Connect(path_));
    sb2 ci = -2, bi = -2;
    EXPECT_EQ(cs.null_c ? "<null>" : text, ReadBack(reader, "c", id, &ci));
    EXPECT_TRUE((cs.null_b ? "<null>" : bytes) == ReadBack(reader, "b", id, &bi));
  }
}

// A table with a LONG between two LOBs: select order puts the LOBs first
// and the LONG last. The import inserts each row with the LOBs as empty
// locators and the LONG at execution time, then writes the LOBs through
// the RETURNING locators; the export fetches a row, takes the LONG in
// pieces, then reads the LOBs in select order.
TEST_F(LobLocator, RowWithLongAndTwoLobsInTheProgramsOrder) {
  ASSERT_NO_FATAL_FAILURE(c_.Run("CREATE TABLE tx (id NUMBER, c CLOB, l LONG, b BLOB)"));
  struct Row {
    int id;
    bool null_c, null_l, null_b;
    std::string c, l, b;
  };
  std::vector<Row> rows = {
      {1, false, false, false, lobtest::MixedUtf8(70000), lobtest::Pattern(100000, true),
       lobtest::Pattern(65536, false)},
      {2, true, true, false, "", "", ""},
      {3, false, false, true, "", lobtest::Pattern(32768, true), ""},
      {4, false, true, false, "x", "", lobtest::Pattern(1, false)},
  };
  OCIStmt* ins = c_.Stmt();
  ASSERT_EQ(
      OCI_SUCCESS,
      c_.Prepare(ins, "INSERT INTO tx (id, c, b, l) VALUES (:1, :2, :3, :4) RETURNING c, b INTO :5, :6"));
  long id = 0;
  OCILobLocator* empty = c_.EmptyLocator();
  OCILobLocator *in_c = empty, *in_b = empty;
  OCILobLocator *ret_c = c_.Locator(), *ret_b = c_.Locator();
  sb2 ind[6] = {0, 0, 0, 0, 0, 0};
  OCIBind* bh[6] = {};
  ASSERT_EQ(OCI_SUCCESS, OCIBindByPos(ins, &bh[0], c_.err, 1, &id, sizeof id, SQLT_INT, &ind[0], nullptr,
                                      nullptr, 0, nullptr, OCI_DEFAULT));
  ASSERT_EQ(OCI_SUCCESS, OCIBindByPos(ins, &bh[1], c_.err, 2, &in_c, sizeof in_c, SQLT_CLOB, &ind[1], nullptr,
                                      nullptr, 0, nullptr, OCI_DEFAULT));
  ASSERT_EQ(OCI_SUCCESS, OCIBindByPos(ins, &bh[2], c_.err, 3, &in_b, sizeof in_b, SQLT_BLOB, &ind[2], nullptr,
                                      nullptr, 0, nullptr, OCI_DEFAULT));
  ASSERT_EQ(OCI_SUCCESS, OCIBindByPos(ins, &bh[3], c_.err, 4, nullptr, 0x7FFFFFFF, SQLT_LNG, &ind[3], nullptr,
                                      nullptr, 0, nullptr, OCI_DATA_AT_EXEC));
  ASSERT_EQ(OCI_SUCCESS, OCIBindByPos(ins, &bh[4], c_.err, 5, &ret_c, sizeof ret_c, SQLT_CLOB, &ind[4],
                                      nullptr, nullptr, 0, nullptr, OCI_DEFAULT));
  ASSERT_EQ(OCI_SUCCESS, OCIBindByPos(ins, &bh[5], c_.err, 6, &ret_b, sizeof ret_b, SQLT_BLOB, &ind[5],
                                      nullptr, nullptr, 0, nullptr, OCI_DEFAULT));
  for (const Row& r : rows) {
    SCOPED_TRACE("insert row " + std::to_string(r.id));
    id = r.id;
    ind[1] = r.null_c ? -1 : 0;
    ind[2] = r.null_b ? -1 : 0;
    ind[4] = ind[5] = -1;
    ASSERT_EQ(OCI_NEED_DATA, OCIStmtExecute(c_.svc, ins, c_.err, 1, 0, nullptr, nullptr, OCI_DEFAULT))
        << c_.Error();
    LongInsert li;
    ASSERT_TRUE(lobtest::SendLongPieces(c_, ins, r.null_l ? lobtest::Source() : lobtest::FromString(r.l),
                                        kPiece, r.null_l, &li));
    EXPECT_EQ(static_cast<void*>(bh[3]), li.handles.front());
    // The RETURNING locators are filled once the row is complete.
    EXPECT_EQ(r.null_c ? -1 : 0, ind[4]);
    EXPECT_EQ(r.null_b ? -1 : 0, ind[5]);
    if (ind[4] != -1) {
      ASSERT_TRUE(lobtest::WriteLob(c_, ret_c, SQLCS_IMPLICIT, lobtest::FromString(r.c), kPiece));
    }
    if (ind[5] != -1) {
      ASSERT_TRUE(lobtest::WriteLob(c_, ret_b, SQLCS_IMPLICIT, lobtest::FromString(r.b), 1000));
    }
  }
  ASSERT_EQ(OCI_SUCCESS, c_.Commit()) << c_.Error();

  Oci ex;
  ASSERT_NO_FATAL_FAILURE(ex.Connect(path_));
  OCIStmt* sel = ex.Stmt();
  ASSERT_EQ(OCI_SUCCESS, ex.Prepare(sel, "SELECT id, c, b, l FROM tx ORDER BY id"));
  long got_id = 0;
  OCILobLocator *lc = ex.Locator(), *lb = ex.Locator();
  sb2 sind[4] = {0, 0, 0, 0};
  ub2 slen[4] = {0, 0, 0, 0}, src[4] = {0, 0, 0, 0};
  OCIDefine* dh[4] = {};
  ASSERT_EQ(OCI_SUCCESS, OCIDefineByPos(sel, &dh[0], ex.err, 1, &got_id, sizeof got_id, SQLT_INT, &sind[0],
                                        &slen[0], &src[0], OCI_DEFAULT));
  ASSERT_EQ(OCI_SUCCESS, OCIDefineByPos(sel, &dh[1], ex.err, 2, &lc, sizeof lc, SQLT_CLOB, &sind[1], &slen[1],
                                        &src[1], OCI_DEFAULT));
  ASSERT_EQ(OCI_SUCCESS, OCIDefineByPos(sel, &dh[2], ex.err, 3, &lb, sizeof lb, SQLT_BLOB, &sind[2], &slen[2],
                                        &src[2], OCI_DEFAULT));
  ASSERT_EQ(OCI_SUCCESS, OCIDefineByPos(sel, &dh[3], ex.err, 4, nullptr, 0x7FFFFFFF, SQLT_LNG, &sind[3],
                                        &slen[3], &src[3], OCI_DYNAMIC_FETCH));
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(ex.svc, sel, ex.err, 0, 0, nullptr, nullptr, OCI_DEFAULT));
  for (const Row& r : rows) {
    SCOPED_TRACE("export row " + std::to_string(r.id));
    ASSERT_EQ(OCI_NEED_DATA, OCIStmtFetch(sel, ex.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT)) << ex.Error();
    EXPECT_EQ(r.id, got_id);
    LongFetch lf;
    std::string l;
    ASSERT_TRUE(lobtest::ReceiveLongPieces(ex, sel, lobtest::ToString(&l), &lf));
    EXPECT_EQ(r.null_l ? -1 : 0, sind[3]);
    EXPECT_TRUE(l == r.l);
    EXPECT_EQ(r.null_c ? -1 : 0, sind[1]);
    EXPECT_EQ(r.null_b ? -1 : 0, sind[2]);
    std::string c, b;
    LobRead rc, rb;
    if (sind[1] != -1) {
      ASSERT_TRUE(lobtest::ReadLob(ex, lc, SQLCS_IMPLICIT, false, lobtest::ToString(&c), &rc));
    }
    if (sind[2] != -1) {
      ASSERT_TRUE(lobtest::ReadLob(ex, lb, SQLCS_IMPLICIT, true, lobtest::ToString(&b), &rb));
    }
    EXPECT_TRUE(c == r.c);
    EXPECT_TRUE(b == r.b);
  }
  EXPECT_EQ(OCI_NO_DATA, OCIStmtFetch(sel, ex.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT));
}

TEST_F(LobLocator, WrongHandlesAreRejected) {
  OCILobLocator* loc = c_.Locator();
  OCIStmt* stmt = c_.Stmt();
  auto as_loc = [](void* p) { return static_cast<OCILobLocator*>(p); };
  struct Case {
    const char* what;
    OCISvcCtx* svc;
    OCIError* err;
    OCILobLocator* loc;
  } cases[] = {
      {"statement as service context", reinterpret_cast<OCISvcCtx*>(stmt), c_.err, loc},
      {"no service context", nullptr, c_.err, loc},
      {"service context as error handle", c_.svc, reinterpret_cast<OCIError*>(c_.svc), loc},
      {"no error handle", c_.svc, nullptr, loc},
      {"error handle as locator", c_.svc, c_.err, as_loc(c_.err)},
      {"statement as locator", c_.svc, c_.err, as_loc(stmt)},
      {"no locator", c_.svc, c_.err, nullptr},
  };
  for (const Case& cs : cases) {
    SCOPED_TRACE(cs.what);
    char buf[8] = "abc";
    oraub8 b = 0, ch = 0, len = 0;
    EXPECT_EQ(OCI_INVALID_HANDLE, OCILobOpen(cs.svc, cs.err, cs.loc, OCI_LOB_READONLY));
    EXPECT_EQ(OCI_INVALID_HANDLE, OCILobClose(cs.svc, cs.err, cs.loc));
    EXPECT_EQ(OCI_INVALID_HANDLE, OCILobGetLength2(cs.svc, cs.err, cs.loc, &len));
    EXPECT_EQ(OCI_INVALID_HANDLE, OCILobRead2(cs.svc, cs.err, cs.loc, &b, &ch, 1, buf, sizeof buf,
                                              OCI_FIRST_PIECE, nullptr, nullptr, 0, SQLCS_IMPLICIT));
    EXPECT_EQ(OCI_INVALID_HANDLE, OCILobWrite2(cs.svc, cs.err, cs.loc, &b, &ch, 1, buf, 3, OCI_ONE_PIECE,
                                               nullptr, nullptr, 0, SQLCS_IMPLICIT));
  }
  EXPECT_EQ(OCI_INVALID_HANDLE, OCIDescriptorFree(c_.err, OCI_DTYPE_LOB));
  EXPECT_EQ(OCI_INVALID_HANDLE, OCIDescriptorFree(loc, OCI_HTYPE_STMT));
  EXPECT_EQ(OCI_INVALID_HANDLE, OCIDescriptorFree(nullptr, OCI_DTYPE_LOB));
  EXPECT_EQ(OCI_INVALID_HANDLE, OCIAttrSet(stmt, OCI_DTYPE_LOB, nullptr, 0, OCI_ATTR_LOBEMPTY, c_.err));
}

TEST_F(LobLocator, LocatorsThatReferToNoValue) {
  // A new row whose LOB is rolled back with it, a locator never filled,
  // the import's empty-LOB locator, and one a NULL came back in.
  std::vector<OCILobLocator*> ret;
  std::vector<sb2> ind;
  ASSERT_EQ(OCI_SUCCESS,
            c_.InsertReturning("INSERT INTO t2 (id, c, b) VALUES (1, :1, :2) RETURNING c, b INTO :3, :4",
                               {SQLT_CLOB, SQLT_BLOB}, {SQLCS_IMPLICIT, SQLCS_IMPLICIT}, {false, true}, &ret,
                               &ind));
  ASSERT_TRUE(lobtest::WriteLob(c_, ret[0], SQLCS_IMPLICIT, lobtest::FromString("gone"), kPiece));
  ASSERT_EQ(OCI_SUCCESS, OCITransRollback(c_.svc, c_.err, OCI_DEFAULT));
  struct Case {
    const char* what;
    OCILobLocator* loc;
  } cases[] = {
      {"rolled back", ret[0]},
      {"never filled", c_.Locator()},
      {"marked empty", c_.EmptyLocator()},
      {"NULL returned", ret[1]},
  };
  for (const Case& cs : cases) {
    SCOPED_TRACE(cs.what);
    char buf[8] = "abc";
    oraub8 b = 0, ch = 0, len = 0;
    EXPECT_EQ(OCI_ERROR, OCILobOpen(c_.svc, c_.err, cs.loc, OCI_LOB_READONLY));
    EXPECT_EQ(22275, c_.Code()) << c_.Error();
    EXPECT_EQ(OCI_ERROR, OCILobGetLength2(c_.svc, c_.err, cs.loc, &len));
    EXPECT_EQ(22275, c_.Code()) << c_.Error();
    EXPECT_EQ(OCI_ERROR, OCILobRead2(c_.svc, c_.err, cs.loc, &b, &ch, 1, buf, sizeof buf, OCI_FIRST_PIECE,
                                     nullptr, nullptr, 0, SQLCS_IMPLICIT));
    EXPECT_EQ(22275, c_.Code()) << c_.Error();
    EXPECT_EQ(OCI_ERROR, OCILobWrite2(c_.svc, c_.err, cs.loc, &b, &ch, 1, buf, 3, OCI_ONE_PIECE, nullptr,
                                      nullptr, 0, SQLCS_IMPLICIT));
    EXPECT_EQ(22275, c_.Code()) << c_.Error();
  }
  // Nothing was left behind by the failed calls.
  ASSERT_EQ(OCI_SUCCESS, c_.Commit()) << c_.Error();
  EXPECT_EQ(0, c_.Number("SELECT COUNT(*) FROM t2"));
}

TEST_F(LobLocator, OpenCloseAndWriteRules) {
  ASSERT_NO_FATAL_FAILURE(c_.Run("INSERT INTO t2 (id, c, b) VALUES (1, 'abc', EMPTY_BLOB())"));
  ASSERT_EQ(OCI_SUCCESS, c_.Commit());
  OCILobLocator* selected = c_.Locator();
  sb2 sind = 0;
  ASSERT_EQ(OCI_SUCCESS, c_.SelectLocator("SELECT c FROM t2 WHERE id = 1", SQLT_CLOB, selected, &sind));
  std::vector<OCILobLocator*> ret;
  std::vector<sb2> ind;
  ASSERT_EQ(OCI_SUCCESS,
            c_.InsertReturning("INSERT INTO t2 (id, c, b) VALUES (2, :1, :2) RETURNING c, b INTO :3, :4",
                               {SQLT_CLOB, SQLT_BLOB}, {SQLCS_IMPLICIT, SQLCS_IMPLICIT}, {false, false}, &ret,
                               &ind));
  OCILobLocator* returned = ret[0];
  char buf[8] = "xyz";
  oraub8 b = 3, ch = 0;

  // Closing what is not open; opening twice.
  EXPECT_EQ(OCI_ERROR, OCILobClose(c_.svc, c_.err, selected));
  EXPECT_EQ(22289, c_.Code()) << c_.Error();
  ASSERT_EQ(OCI_SUCCESS, OCILobOpen(c_.svc, c_.err, selected, OCI_LOB_READONLY));
  EXPECT_EQ(OCI_ERROR, OCILobOpen(c_.svc, c_.err, selected, OCI_LOB_READONLY));
  EXPECT_EQ(22293, c_.Code()) << c_.Error();
  EXPECT_EQ(OCI_SUCCESS, OCILobClose(c_.svc, c_.err, selected));
  EXPECT_EQ(OCI_ERROR, OCILobClose(c_.svc, c_.err, selected));
  EXPECT_EQ(22289, c_.Code()) << c_.Error();
  EXPECT_EQ(OCI_ERROR, OCILobOpen(c_.svc, c_.err, selected, 7));

  // A locator from a plain query cannot write: its row is not locked.
  EXPECT_EQ(OCI_ERROR, OCILobOpen(c_.svc, c_.err, selected, OCI_LOB_READWRITE));
  EXPECT_EQ(22920, c_.Code()) << c_.Error();
  EXPECT_EQ(OCI_ERROR, OCILobWrite2(c_.svc, c_.err, selected, &b, &ch, 1, buf, 3, OCI_ONE_PIECE, nullptr,
                                    nullptr, 0, SQLCS_IMPLICIT));
  EXPECT_EQ(22920, c_.Code()) << c_.Error();
  // A RETURNING locator opened read-only cannot write either.
  ASSERT_EQ(OCI_SUCCESS, OCILobOpen(c_.svc, c_.err, returned, OCI_LOB_READONLY));
  EXPECT_EQ(OCI_ERROR, OCILobWrite2(c_.svc, c_.err, returned, &b, &ch, 1, buf, 3, OCI_ONE_PIECE, nullptr,
                                    nullptr, 0, SQLCS_IMPLICIT));
  EXPECT_EQ(22294, c_.Code()) << c_.Error();
  ASSERT_EQ(OCI_SUCCESS, OCILobClose(c_.svc, c_.err, returned));
  // Without an explicit open each write opens and closes the LOB itself.
  ASSERT_EQ(OCI_SUCCESS, OCILobWrite2(c_.svc, c_.err, returned, &b, &ch, 1, buf, 3, OCI_ONE_PIECE, nullptr,
                                      nullptr, 0, SQLCS_IMPLICIT))
      << c_.Error();
  ASSERT_EQ(OCI_SUCCESS, c_.Commit()) << c_.Error();
  EXPECT_EQ("xyz", c_.Text("SELECT c FROM t2 WHERE id = 2"));
  EXPECT_EQ("abc", c_.Text("SELECT c FROM t2 WHERE id = 1"));
}

TEST_F(LobLocator, CommitWithAnOpenLobRollsBack) {
  std::vector<OCILobLocator*> ret;
  std::vector<sb2> ind;
  ASSERT_EQ(OCI_SUCCESS,
            c_.InsertReturning("INSERT INTO t2 (id, c, b) VALUES (1, :1, :2) RETURNING c, b INTO :3, :4",
                               {SQLT_CLOB, SQLT_BLOB}, {SQLCS_IMPLICIT, SQLCS_IMPLICIT}, {false, false}, &ret,
                               &ind));
  ASSERT_EQ(OCI_SUCCESS, OCILobOpen(c_.svc, c_.err, ret[1], OCI_LOB_READWRITE));
  oraub8 b = 3, ch = 0;
  char buf[4] = "abc";
  ASSERT_EQ(OCI_SUCCESS, OCILobWrite2(c_.svc, c_.err, ret[1], &b, &ch, 1, buf, 3, OCI_ONE_PIECE, nullptr,
                                      nullptr, 0, SQLCS_IMPLICIT));
  EXPECT_EQ(OCI_ERROR, c_.Commit());
  EXPECT_EQ(22297, c_.Code()) << c_.Error();
  EXPECT_EQ(0, c_.Number("SELECT COUNT(*) FROM t2"));
  Oci other;
  ASSERT_NO_FATAL_FAILURE(other.Connect(path_));
  EXPECT_EQ(0, other.Number("SELECT COUNT(*) FROM t2"));

  // The session goes on: a LOB freed while open, or re-marked as a new
  // empty LOB while open, no longer counts as open.
  ASSERT_EQ(OCI_SUCCESS,
            c_.InsertReturning("INSERT INTO t2 (id, c, b) VALUES (2, :1, :2) RETURNING c, b INTO :3, :4",
                               {SQLT_CLOB, SQLT_BLOB}, {SQLCS_IMPLICIT, SQLCS_IMPLICIT}, {false, false}, &ret,
                               &ind));
  ASSERT_EQ(OCI_SUCCESS, OCILobOpen(c_.svc, c_.err, ret[0], OCI_LOB_READWRITE));
  ub4 zero = 0;
  ASSERT_EQ(OCI_SUCCESS, OCIAttrSet(ret[0], OCI_DTYPE_LOB, &zero, 0, OCI_ATTR_LOBEMPTY, c_.err));
  void* extra = nullptr;
  ASSERT_EQ(OCI_SUCCESS, OCIDescriptorAlloc(c_.env, &extra, OCI_DTYPE_LOB, 0, nullptr));
  sb2 sind = 0;
  ASSERT_EQ(OCI_SUCCESS, c_.SelectLocator("SELECT b FROM t2 WHERE id = 2", SQLT_BLOB,
                                          static_cast<OCILobLocator*>(extra), &sind));
  ASSERT_EQ(OCI_SUCCESS, OCILobOpen(c_.svc, c_.err, static_cast<OCILobLocator*>(extra), OCI_LOB_READONLY));
  ASSERT_EQ(OCI_SUCCESS, OCIDescriptorFree(extra, OCI_DTYPE_LOB));
  EXPECT_EQ(OCI_SUCCESS, c_.Commit()) << c_.Error();
  Oci later;
  ASSERT_NO_FATAL_FAILURE(later.Connect(path_));
  EXPECT_EQ(1, later.Number("SELECT COUNT(*) FROM t2"));
}

TEST_F(LobLocator, ReadsWhileOpenForWritingSeeEachWrite) {
  std::vector<OCILobLocator*> ret;
  std::vector<sb2> ind;
  ASSERT_EQ(OCI_SUCCESS,
            c_.InsertReturning("INSERT INTO t2 (id, c, b) VALUES (1, :1, :2) RETURNING c, b INTO :3, :4",
                               {SQLT_CLOB, SQLT_BLOB}, {SQLCS_IMPLICIT, SQLCS_IMPLICIT}, {false, false}, &ret,
                               &ind));
  OCILobLocator* clob = ret[0];
  auto write = [&](oraub8 offset, std::string text) {
    oraub8 b = text.size(), ch = 0;
    return OCILobWrite2(c_.svc, c_.err, clob, &b, &ch, offset, text.data(), text.size(), OCI_ONE_PIECE,
                        nullptr, nullptr, 0, SQLCS_IMPLICIT);
  };
  auto read = [&](std::string* out, oraub8* chars) {
    char buf[64];
    oraub8 b = 0;
    *chars = 0;
    sword rc = OCILobRead2(c_.svc, c_.err, clob, &b, chars, 1, buf, sizeof buf, OCI_ONE_PIECE, nullptr,
                           nullptr, 0, SQLCS_IMPLICIT);
    out->assign(buf, rc == OCI_SUCCESS ? b : 0);
    return rc;
  };
  std::string got;
  oraub8 chars = 0, len = 0;
  ASSERT_EQ(OCI_SUCCESS, OCILobOpen(c_.svc, c_.err, clob, OCI_LOB_READWRITE));
  ASSERT_EQ(OCI_SUCCESS, write(1, "abc")) << c_.Error();
  ASSERT_EQ(OCI_SUCCESS, read(&got, &chars)) << c_.Error();
  EXPECT_EQ("abc", got);
  EXPECT_EQ(3u, chars);
  ASSERT_EQ(OCI_SUCCESS, write(4, "d\xC3\xA9\xF0\x9F\x98\x80")) << c_.Error();
  ASSERT_EQ(OCI_SUCCESS, OCILobGetLength2(c_.svc, c_.err, clob, &len));
  EXPECT_EQ(7u, len) << "a character outside the BMP counts two units";
  ASSERT_EQ(OCI_SUCCESS, read(&got, &chars)) << c_.Error();
  EXPECT_EQ("abcd\xC3\xA9\xF0\x9F\x98\x80", got);
  EXPECT_EQ(7u, chars);
  ASSERT_EQ(OCI_SUCCESS, OCILobClose(c_.svc, c_.err, clob));
  ASSERT_EQ(OCI_SUCCESS, write(8, "g")) << c_.Error();
  ASSERT_EQ(OCI_SUCCESS, OCILobOpen(c_.svc, c_.err, clob, OCI_LOB_READONLY));
  ASSERT_EQ(OCI_SUCCESS, read(&got, &chars)) << c_.Error();
  EXPECT_EQ("abcd\xC3\xA9\xF0\x9F\x98\x80g", got) << "a new open finds the value as it is now";
  EXPECT_EQ(8u, chars);
  ASSERT_EQ(OCI_SUCCESS, OCILobClose(c_.svc, c_.err, clob));
}

TEST_F(LobLocator, LocatorOutlivesItsSession) {
  // LOBs left open when the session ends; one locator is freed and
  // another re-marked afterwards, as a program may do on its way out.
  // Neither may touch the ended session.
  ASSERT_NO_FATAL_FAILURE(c_.Run("INSERT INTO t2 (id, c, b) VALUES (1, 'abc', NULL)"));
  void* loc = nullptr;
  ASSERT_EQ(OCI_SUCCESS, OCIDescriptorAlloc(c_.env, &loc, OCI_DTYPE_LOB, 0, nullptr));
  OCILobLocator* kept = c_.Locator();
  sb2 ind = 0;
  ASSERT_EQ(OCI_SUCCESS, c_.SelectLocator("SELECT c FROM t2", SQLT_CLOB, static_cast<OCILobLocator*>(loc), &ind));
  ASSERT_EQ(OCI_SUCCESS, c_.SelectLocator("SELECT c FROM t2", SQLT_CLOB, kept, &ind));
  ASSERT_EQ(OCI_SUCCESS, OCILobOpen(c_.svc, c_.err, static_cast<OCILobLocator*>(loc), OCI_LOB_READONLY));
  ASSERT_EQ(OCI_SUCCESS, OCILobOpen(c_.svc, c_.err, kept, OCI_LOB_READONLY));
  ASSERT_EQ(OCI_SUCCESS, OCISessionEnd(c_.svc, c_.err, c_.usr, OCI_DEFAULT));
  EXPECT_EQ(OCI_ERROR, OCILobClose(c_.svc, c_.err, kept));
  EXPECT_EQ(1012, c_.Code()) << c_.Error();
  EXPECT_EQ(OCI_SUCCESS, OCIDescriptorFree(loc, OCI_DTYPE_LOB));
  ub4 zero = 0;
  EXPECT_EQ(OCI_SUCCESS, OCIAttrSet(kept, OCI_DTYPE_LOB, &zero, 0, OCI_ATTR_LOBEMPTY, c_.err));
}

}  // namespace

// Constraints on load paths, in the database: a change through a RETURNING
// locator (a write in pieces, a trim) that leaves the row breaking a CHECK
// constraint reading the column fails at its end with ORA-02290 and is
// undone; what the row holds between the pieces is not checked.
TEST_F(LobLocator, ConstraintsOnLoadPaths) {
  struct Step {
    std::vector<std::string> pieces;  // a write of these pieces, or
    long trim;                        // with no pieces, a trim to this length
    int code;                         // 0, or the ORA- error of the last call
    oraub8 length;                    // of the value afterwards
  };
  struct Case {
    const char* what;
    const char* check;  // over column v
    bool blob;
    std::vector<Step> steps;
  } cases[] = {
      {"CLOB in one piece", "LENGTH(v) < 10", false,
       {{{std::string(50, 'x')}, 0, 2290, 0}, {{"short"}, 0, 0, 5}}},
      {"CLOB over several pieces", "LENGTH(v) < 10", false,
       {{{std::string(kPiece, 'x'), std::string(kPiece, 'y'), "z"}, 0, 2290, 0}, {{"abc", "def"}, 0, 0, 6}}},
      {"broken between the pieces only", "LENGTH(v) IN (0, 40)", false,
       {{{std::string(20, 'a'), std::string(20, 'b')}, 0, 0, 40}}},
      {"BLOB by DBMS_LOB.GETLENGTH", "DBMS_LOB.GETLENGTH(v) < 10", true,
       {{{std::string(12, '\x01')}, 0, 2290, 0}, {{std::string(9, '\x02')}, 0, 0, 9}}},
      {"trim", "LENGTH(v) IN (0, 6)", false,
       {{{"abcdef"}, 0, 0, 6}, {{}, 2, 2290, 6}, {{}, 9, 22926, 6}, {{}, 0, 0, 0}}},
  };
  int n = 0;
  for (const Case& cs : cases) {
    SCOPED_TRACE(cs.what);
    std::string table = "K" + std::to_string(++n);
    ASSERT_NO_FATAL_FAILURE(c_.Run("CREATE TABLE " + table + " (id NUMBER, v " + (cs.blob ? "BLOB" : "CLOB") +
                                   ", CONSTRAINT " + table + "_chk CHECK (" + cs.check + "))"));
    ub2 dty = cs.blob ? SQLT_BLOB : SQLT_CLOB;
    std::vector<OCILobLocator*> ret;
    std::vector<sb2> ind;
    ASSERT_EQ(OCI_SUCCESS, c_.InsertReturning("INSERT INTO " + table + " VALUES (1, :1) RETURNING v INTO :2", {dty},
                                              {SQLCS_IMPLICIT}, {false}, &ret, &ind))
        << c_.Error();
    for (const Step& step : cs.steps) {
      sword rc = OCI_SUCCESS;
      if (step.pieces.empty()) {
        rc = OCILobTrim2(c_.svc, c_.err, ret[0], static_cast<oraub8>(step.trim));
      }
      for (size_t p = 0; p < step.pieces.size(); ++p) {
        bool one = step.pieces.size() == 1, last = p + 1 == step.pieces.size();
        ub1 code = one ? OCI_ONE_PIECE : p == 0 ? OCI_FIRST_PIECE : last ? OCI_LAST_PIECE : OCI_NEXT_PIECE;
        oraub8 b_amt = one ? step.pieces[p].size() : 0, c_amt = 0;
        rc = OCILobWrite2(c_.svc, c_.err, ret[0], &b_amt, &c_amt, 1, const_cast<char*>(step.pieces[p].data()),
                          step.pieces[p].size(), code, nullptr, nullptr, 0, SQLCS_IMPLICIT);
        if (!last) {
          ASSERT_EQ(OCI_NEED_DATA, rc) << c_.Error();  // no check between the pieces
        }
      }
      EXPECT_EQ(step.code, step.code ? c_.Code() : 0) << c_.Error();
      EXPECT_EQ(step.code ? OCI_ERROR : OCI_SUCCESS, rc);
      if (step.code == 2290) {
        EXPECT_NE(std::string::npos, c_.Error().find("ORA-02290: check constraint (SYSTEM." + table + "_CHK) violated"))
            << c_.Error();
      }
      oraub8 len = 99;
      ASSERT_EQ(OCI_SUCCESS, OCILobGetLength2(c_.svc, c_.err, ret[0], &len)) << c_.Error();
      EXPECT_EQ(step.length, len);
    }
  }
  // The changes that stood are the transaction's, kept by its commit.
  ASSERT_EQ(OCI_SUCCESS, c_.Commit()) << c_.Error();
  EXPECT_EQ(5, c_.Number("SELECT LENGTH(v) FROM k1"));
  EXPECT_EQ(9, c_.Number("SELECT DBMS_LOB.GETLENGTH(v) FROM k4"));
}

// lob_arrays_test.cpp - LOB and LONG values in array fetches and array
// INSERTs: locators under LOB prefetch answer within what came along
// without a round trip, LOB values bound as data (SQLT_LVC, SQLT_LVB),
// Oracle's rules for binds of more than 4000 bytes, and ROWID.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "client/handles.h"
#include "lob_oci_util.h"
#include "session/session.h"

namespace {

using lobtest::Oci;

uint64_t Trips(Oci& c) { return c.usr->session->net().round_trips; }

// A value as a SQLT_LVC or SQLT_LVB buffer: its length, then its bytes.
std::string Lv(const std::string& v, size_t room) {
  std::string b(room, '\0');
  sb4 n = static_cast<sb4>(v.size());
  std::memcpy(&b[0], &n, sizeof n);
  std::memcpy(&b[sizeof n], v.data(), v.size());
  return b;
}

// Reads a value through `loc` as the export reads a fetched one: polled
// OCILobRead2 calls of 32 KiB, without opening the LOB.
std::string ReadAll(Oci& c, OCILobLocator* loc, bool blob) {
  std::string out;
  std::vector<char> buf(32768);
  ub1 piece = OCI_FIRST_PIECE;
  oraub8 offset = 1;
  for (int reads = 0; reads < 1000; ++reads) {
    oraub8 b = 0, ch = 0;
    sword rc = OCILobRead2(c.svc, c.err, loc, &b, &ch, offset, buf.data(), buf.size(), piece, nullptr, nullptr, 0,
                           SQLCS_IMPLICIT);
    out.append(buf.data(), b);
    if (rc != OCI_NEED_DATA) return rc == OCI_SUCCESS ? out : "<error " + c.Error() + ">";
    piece = OCI_NEXT_PIECE;
    offset += blob ? b : ch;
  }
  return "<does not end>";
}

class LobArrays : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("arrays.db");
    ASSERT_NO_FATAL_FAILURE(Oci::CreateDatabase(path_));
    ASSERT_NO_FATAL_FAILURE(c_.Connect(path_));
  }
  // Inserts rows (id, c, b) as data binds in one array; a value "null"
  // binds NULL.
  void InsertData(const std::vector<std::pair<std::string, std::string>>& rows, size_t room) {
    OCIStmt* s = c_.Stmt();
    ASSERT_EQ(OCI_SUCCESS, c_.Prepare(s, "INSERT INTO l (id, c, b) VALUES (:1, :2, :3)"));
    std::vector<int32_t> ids;
    std::string cs, bs;
    std::vector<sb2> ci, bi;
    for (size_t i = 0; i < rows.size(); ++i) {
      ids.push_back(static_cast<int32_t>(i + 1));
      cs += Lv(rows[i].first, room);
      bs += Lv(rows[i].second, room);
      ci.push_back(rows[i].first == "null" ? -1 : 0);
      bi.push_back(rows[i].second == "null" ? -1 : 0);
    }
    OCIBind *b1 = nullptr, *b2 = nullptr, *b3 = nullptr;
    OCIBindByPos(s, &b1, c_.err, 1, ids.data(), 4, SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
    OCIBindByPos(s, &b2, c_.err, 2, &cs[0], static_cast<sb4>(room), SQLT_LVC, ci.data(), nullptr, nullptr, 0,
                 nullptr, OCI_DEFAULT);
    OCIBindByPos(s, &b3, c_.err, 3, &bs[0], static_cast<sb4>(room), SQLT_LVB, bi.data(), nullptr, nullptr, 0,
                 nullptr, OCI_DEFAULT);
    ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c_.svc, s, c_.err, static_cast<ub4>(rows.size()), 0, nullptr, nullptr,
                                          OCI_DEFAULT))
        << c_.Error();
    ASSERT_EQ(OCI_SUCCESS, c_.Commit());
  }

  testsupport::TempDir dir_;
  std::string path_;
  Oci c_;
};

// Rows of a CLOB and a BLOB column in one array fetch, the locators under
// LOB prefetch of 100 (characters of the CLOB, bytes of the BLOB): NULL is
// told from empty by the indicator; the length costs nothing, and so does
// a read that ends within the 100, whatever the bytes per character; a
// longer value's reads go to the server. The session's default size does
// for a define that sets none.
TEST_F(LobArrays, PrefetchedLocatorsAnswerWithinWhatCameAlong) {
  c_.Run("CREATE TABLE l (id NUMBER, c CLOB, b BLOB)");
  std::string zh, emoji;
  for (int i = 0; i < 100; ++i) zh += "\xD0\xB6";           // 100 characters, 200 bytes
  for (int i = 0; i < 50; ++i) emoji += "\xF0\x9F\x98\x80";  // 100 UTF-16 units, 200 bytes
  struct Case {
    const char* what;
    std::string c, b;  // "null": NULL
    bool local;        // both reads answered from what came along
  } cases[] = {
      {"NULL", "null", "null", true},
      {"empty", "", "", true},
      {"one under the size", std::string(99, 'a'), std::string(99, '\1'), true},
      {"the size", std::string(100, 'a'), std::string(100, '\2'), true},
      {"one over it", std::string(101, 'a'), std::string(101, '\3'), false},
      {"two-byte characters", zh, std::string(1, '\4'), true},
      {"characters of two UTF-16 units", emoji, std::string(1, '\5'), true},
  };
  std::vector<std::pair<std::string, std::string>> rows;
  for (const Case& k : cases) rows.emplace_back(k.c, k.b);
  ASSERT_NO_FATAL_FAILURE(InsertData(rows, 4 + 256));
  c_.Run("UPDATE l SET c = EMPTY_CLOB(), b = EMPTY_BLOB() WHERE id = 2");  // data binds give no empty LOB
  ASSERT_EQ(OCI_SUCCESS, c_.Commit());
  for (bool session_default : {false, true}) {
    SCOPED_TRACE(session_default ? "session default" : "define attributes");
    ub4 size = session_default ? 100 : 0;
    OCIAttrSet(c_.usr, OCI_HTYPE_SESSION, &size, 0, OCI_ATTR_DEFAULT_LOBPREFETCH_SIZE, c_.err);
    OCIStmt* s = c_.Stmt();
    ASSERT_EQ(OCI_SUCCESS, c_.Prepare(s, "SELECT c, b FROM l ORDER BY id"));
    const size_t n = sizeof cases / sizeof cases[0];
    std::vector<OCILobLocator*> cl(n), bl(n);
    std::vector<sb2> ci(n), bi(n);
    for (size_t i = 0; i < n; ++i) {
      cl[i] = c_.Locator();
      bl[i] = c_.Locator();
    }
    OCIDefine *dc = nullptr, *db = nullptr;
    OCIDefineByPos(s, &dc, c_.err, 1, cl.data(), sizeof(OCILobLocator*), SQLT_CLOB, ci.data(), nullptr, nullptr,
                   OCI_DEFAULT);
    OCIDefineByPos(s, &db, c_.err, 2, bl.data(), sizeof(OCILobLocator*), SQLT_BLOB, bi.data(), nullptr, nullptr,
                   OCI_DEFAULT);
    if (!session_default) {
      boolean on = TRUE;
      ub4 bytes = 100;
      for (OCIDefine* d : {dc, db}) {
        ASSERT_EQ(OCI_SUCCESS, OCIAttrSet(d, OCI_HTYPE_DEFINE, &on, 0, OCI_ATTR_LOBPREFETCH_LENGTH, c_.err));
        ASSERT_EQ(OCI_SUCCESS, OCIAttrSet(d, OCI_HTYPE_DEFINE, &bytes, 0, OCI_ATTR_LOBPREFETCH_SIZE, c_.err));
      }
    }
    ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c_.svc, s, c_.err, 0, 0, nullptr, nullptr, OCI_DEFAULT));
    ASSERT_EQ(OCI_NO_DATA, OCIStmtFetch(s, c_.err, static_cast<ub4>(n + 1), OCI_FETCH_NEXT, OCI_DEFAULT));
    for (size_t i = 0; i < n; ++i) {
      const Case& k = cases[i];
      SCOPED_TRACE(k.what);
      bool null = k.c == "null";
      EXPECT_EQ(null ? -1 : 0, ci[i]);
      EXPECT_EQ(null ? -1 : 0, bi[i]);
      if (null) continue;
      uint64_t before = Trips(c_);
      oraub8 len = 0;
      ub4 chunk = 0;
      ASSERT_EQ(OCI_SUCCESS, OCILobGetLength2(c_.svc, c_.err, cl[i], &len));
      ASSERT_EQ(OCI_SUCCESS, OCILobGetChunkSize(c_.svc, c_.err, bl[i], &chunk));
      EXPECT_EQ(before, Trips(c_)) << "the length and chunk size came with the row";
      EXPECT_EQ(32768u, chunk);
      EXPECT_EQ(k.c, ReadAll(c_, cl[i], false));
      EXPECT_EQ(k.b, ReadAll(c_, bl[i], true));
      if (k.local) {
        EXPECT_EQ(before, Trips(c_));
      }
      if (!k.local) {
        EXPECT_EQ(before + 2, Trips(c_));
      }
    }
  }
}

// LOB values bound as data in an array and read back as data: lengths
// past what a ub2 holds, and a zero length, which is NULL.
TEST_F(LobArrays, DataBindsAndDefinesOfLobs) {
  c_.Run("CREATE TABLE l (id NUMBER, c CLOB, b BLOB)");
  std::string big = lobtest::Pattern(70000, true), bin = lobtest::Pattern(70000, false);
  ASSERT_NO_FATAL_FAILURE(InsertData({{big, bin}, {"", ""}, {"x", "\x7F"}}, 4 + 70000));
  OCIStmt* s = c_.Stmt();
  ASSERT_EQ(OCI_SUCCESS, c_.Prepare(s, "SELECT c, b FROM l ORDER BY id"));
  std::string cb(3 * (4 + 70000), '\0'), bb = cb;
  sb2 ci[3], bi[3];
  OCIDefine *dc = nullptr, *db = nullptr;
  OCIDefineByPos(s, &dc, c_.err, 1, &cb[0], 4 + 70000, SQLT_LVC, ci, nullptr, nullptr, OCI_DEFAULT);
  OCIDefineByPos(s, &db, c_.err, 2, &bb[0], 4 + 70000, SQLT_LVB, bi, nullptr, nullptr, OCI_DEFAULT);
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c_.svc, s, c_.err, 0, 0, nullptr, nullptr, OCI_DEFAULT));
  ASSERT_EQ(OCI_NO_DATA, OCIStmtFetch(s, c_.err, 4, OCI_FETCH_NEXT, OCI_DEFAULT));
  auto value = [](const std::string& buf, int row) {
    sb4 n = 0;
    std::memcpy(&n, &buf[static_cast<size_t>(row) * (4 + 70000)], sizeof n);
    return buf.substr(static_cast<size_t>(row) * (4 + 70000) + 4, static_cast<size_t>(n));
  };
  EXPECT_EQ(big, value(cb, 0));
  EXPECT_EQ(bin, value(bb, 0));
  EXPECT_EQ(-1, ci[1]);
  EXPECT_EQ(-1, bi[1]);
  EXPECT_EQ("x", value(cb, 2));
  EXPECT_EQ("\x7F", value(bb, 2));
}

// Binds of more than 4000 bytes to LOB and LONG columns, as Oracle takes
// them: after every bind of another column (ORA-24816), not to a LOB and a
// LONG column in one statement (ORA-22295), no LONG one in an array
// (ORA-01478); shorter ones anywhere.
TEST_F(LobArrays, LongBindsKeepOracleRules) {
  c_.Run("CREATE TABLE t (v VARCHAR2(10), c CLOB, c2 CLOB)");
  c_.Run("CREATE TABLE g (v VARCHAR2(10), c CLOB, l LONG)");
  struct Case {
    const char* sql;
    std::vector<size_t> sizes;  // bytes per bind, in position order
    ub4 iters;
    int code;
  } cases[] = {
      {"INSERT INTO t (v, c, c2) VALUES (:1, :2, :3)", {1, 5000, 5000}, 2, 0},
      {"INSERT INTO t (v, c, c2) VALUES (:1, :2, :3)", {1, 5000, 1}, 1, 0},
      {"INSERT INTO t (c, v) VALUES (:1, :2)", {4000, 1}, 1, 0},
      {"INSERT INTO t (c, v) VALUES (:1, :2)", {4001, 1}, 1, 24816},
      {"INSERT INTO g (v, c, l) VALUES (:1, :2, :3)", {1, 4000, 5000}, 1, 0},
      {"INSERT INTO g (v, c, l) VALUES (:1, :2, :3)", {1, 5000, 5000}, 1, 22295},
      {"INSERT INTO g (v, c, l) VALUES (:1, :2, :3)", {1, 1, 4000}, 2, 0},
      {"INSERT INTO g (v, c, l) VALUES (:1, :2, :3)", {1, 1, 4001}, 2, 1478},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(::testing::Message() << k.sql << " iters " << k.iters << " last " << k.sizes.back());
    OCIStmt* s = c_.Stmt();
    ASSERT_EQ(OCI_SUCCESS, c_.Prepare(s, k.sql));
    std::vector<std::string> bufs;
    bufs.reserve(k.sizes.size());  // binds keep pointers into these buffers
    for (size_t p = 0; p < k.sizes.size(); ++p) {
      bufs.push_back(std::string(k.sizes[p] * k.iters, 'x'));
      OCIBind* b = nullptr;
      OCIBindByPos(s, &b, c_.err, static_cast<ub4>(p + 1), &bufs.back()[0], static_cast<sb4>(k.sizes[p]),
                   SQLT_CHR, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
    }
    sword rc = OCIStmtExecute(c_.svc, s, c_.err, k.iters, 0, nullptr, nullptr, OCI_DEFAULT);
    EXPECT_EQ(k.code, rc == OCI_SUCCESS ? 0 : c_.Code()) << c_.Error();
  }
}

// ROWID of a table's rows: 18 characters of Oracle's extended form, found
// again by `ROWID = :r`; a text that is no ROWID is ORA-01410, and the
// ROWID of another table's row finds nothing.
TEST_F(LobArrays, RowidFindsItsRow) {
  c_.Run("CREATE TABLE r (id NUMBER, l LONG)");
  c_.Run("CREATE TABLE other (id NUMBER)");
  for (int i = 1; i <= 3; ++i) c_.Run("INSERT INTO r VALUES (" + std::to_string(i) + ", 'v" + std::to_string(i) + "')");
  c_.Run("INSERT INTO other VALUES (1)");
  std::string second = c_.Text("SELECT ROWID FROM r WHERE id = 2");
  std::string foreign = c_.Text("SELECT ROWID FROM other");
  ASSERT_EQ(18u, second.size()) << second;
  EXPECT_NE(second, c_.Text("SELECT ROWID FROM r WHERE id = 3"));
  EXPECT_EQ("v2", c_.Text("SELECT l FROM r WHERE ROWID = '" + second + "'"));
  EXPECT_EQ(1, c_.Number("SELECT COUNT(*) FROM r WHERE ROWID < '" + second + "'"));
  EXPECT_EQ(0, c_.Number("SELECT COUNT(*) FROM r WHERE ROWID = '" + foreign + "'"));
  EXPECT_EQ("<error>", c_.Text("SELECT id FROM r WHERE ROWID = 'not a rowid'"));
  EXPECT_EQ(1410, c_.Code());
}

}  // namespace

// oci_round_trips_test.cpp - the round trips each OCI call counts by the
// rules of a server (client/round_trips.h): local calls, calls of one
// round trip, the row prefetch model of executes and fetches, transfers in
// pieces; the statistic views; and the simulated delay per round trip.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "client/handles.h"
#include "client/test_hooks.h"
#include "lob_oci_util.h"
#include "session/session.h"

namespace {

using lobtest::Oci;

const tabdb::NetStats& Net(Oci& c) { return c.usr->session->net(); }
uint64_t Trips(Oci& c) { return Net(c).round_trips; }

class RoundTrips : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("trips.db");
    ASSERT_NO_FATAL_FAILURE(Oci::CreateDatabase(path_));
    ASSERT_NO_FATAL_FAILURE(c_.Connect(path_));
  }
  // Table `name` with ids 1..n, a 100-byte text, and a CLOB and a LONG
  // when asked.
  void MakeTable(const std::string& name, int n, const std::string& extra = "") {
    c_.Run("CREATE TABLE " + name + " (id NUMBER, v VARCHAR2(100)" + extra + ")");
    for (int i = 1; i <= n; ++i)
      c_.Run("INSERT INTO " + name + " (id, v) VALUES (" + std::to_string(i) + ", 'v')");
    ASSERT_EQ(OCI_SUCCESS, c_.Commit());
  }

  testsupport::TempDir dir_;
  std::string path_;
  Oci c_;
};

// Local calls cost nothing; the server calls one each, an execute one
// whatever its iterations; the logon counts its attach.
TEST_F(RoundTrips, EachCallCountsByItsRule) {
  EXPECT_EQ(2u, Trips(c_)) << "OCIServerAttach and OCISessionBegin";
  c_.Run("CREATE TABLE t (id NUMBER, c CLOB)");
  OCIStmt* ins = c_.Stmt();
  std::vector<int32_t> ids(1000);
  for (int i = 0; i < 1000; ++i) ids[static_cast<size_t>(i)] = i;
  OCILobLocator* tmp = c_.Locator();
  struct Case {
    const char* what;
    std::function<void()> call;
    uint64_t trips;
  } cases[] = {
      {"handles, prepare, bind, define, attributes, errors",
       [&] {
         OCIStmt* s = c_.Stmt();
         ASSERT_EQ(OCI_SUCCESS, c_.Prepare(s, "SELECT id FROM t WHERE id = :1"));
         OCIBind* b = nullptr;
         OCIDefine* d = nullptr;
         int32_t v = 0;
         ub4 rows = 50;
         OCIBindByPos(s, &b, c_.err, 1, &v, 4, SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
         OCIDefineByPos(s, &d, c_.err, 1, &v, 4, SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT);
         ASSERT_EQ(OCI_SUCCESS, OCIAttrSet(s, OCI_HTYPE_STMT, &rows, 0, OCI_ATTR_PREFETCH_ROWS, c_.err));
         rows = 0;
         OCIAttrGet(s, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_PREFETCH_ROWS, c_.err);
         EXPECT_EQ(50u, rows);
         c_.Error();
       },
       0},
      {"an array insert of 1000 rows",
       [&] {
         ASSERT_EQ(OCI_SUCCESS, c_.Prepare(ins, "INSERT INTO t (id) VALUES (:1)"));
         OCIBind* b = nullptr;
         OCIBindByPos(ins, &b, c_.err, 1, ids.data(), 4, SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr,
                      OCI_DEFAULT);
         ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c_.svc, ins, c_.err, 1000, 0, nullptr, nullptr, OCI_DEFAULT));
       },
       1},
      {"a statement the server refuses", [&] { EXPECT_NE(OCI_SUCCESS, c_.Exec("SELEC 1 FROM dual")); }, 1},
      {"commit", [&] { ASSERT_EQ(OCI_SUCCESS, c_.Commit()); }, 1},
      {"rollback", [&] { ASSERT_EQ(OCI_SUCCESS, OCITransRollback(c_.svc, c_.err, OCI_DEFAULT)); }, 1},
      {"OCITransStart", [&] { ASSERT_EQ(OCI_SUCCESS, OCITransStart(c_.svc, c_.err, 0, OCI_TRANS_READONLY)); }, 1},
      {"rollback of it", [&] { OCITransRollback(c_.svc, c_.err, OCI_DEFAULT); }, 1},
      {"OCILobCreateTemporary",
       [&] {
         ASSERT_EQ(OCI_SUCCESS, OCILobCreateTemporary(c_.svc, c_.err, tmp, 0, SQLCS_IMPLICIT, OCI_TEMP_CLOB,
                                                      FALSE, OCI_DURATION_SESSION));
       },
       1},
      {"OCILobOpen, OCILobWrite2 of 4 pieces of 32 KiB, OCILobClose",
       [&] { ASSERT_TRUE(lobtest::WriteLob(c_, tmp, SQLCS_IMPLICIT, lobtest::PatternSource(131072, true), 32768)); },
       6},
      {"OCILobOpen, OCILobWrite2 of 5 000 bytes in pieces of 1 000, OCILobClose",
       [&] { ASSERT_TRUE(lobtest::WriteLob(c_, tmp, SQLCS_IMPLICIT, lobtest::PatternSource(5000, true), 1000)); },
       3},
      {"OCILobGetLength2, OCILobOpen, OCILobRead2 of 32 KiB pieces, OCILobClose",
       [&] {
         lobtest::LobRead r;
         ASSERT_TRUE(lobtest::ReadLob(c_, tmp, SQLCS_IMPLICIT, false, nullptr, &r, 32768));
         EXPECT_EQ(4u, r.results.size());
       },
       7},
      {"OCILobRead2 of the whole value in one call",
       [&] {
         lobtest::LobRead r;
         ASSERT_TRUE(lobtest::ReadLob(c_, tmp, SQLCS_IMPLICIT, false, nullptr, &r, 200000));
       },
       4},
      {"OCILobTrim2", [&] { ASSERT_EQ(OCI_SUCCESS, OCILobTrim2(c_.svc, c_.err, tmp, 10)); }, 1},
      {"OCILobFreeTemporary", [&] { ASSERT_EQ(OCI_SUCCESS, OCILobFreeTemporary(c_.svc, c_.err, tmp)); }, 1},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    uint64_t before = Trips(c_);
    ASSERT_NO_FATAL_FAILURE(k.call());
    EXPECT_EQ(k.trips, Trips(c_) - before);
  }
}

// The rows a query's execute and fetches bring: OCI_ATTR_PREFETCH_ROWS
// (default 1) or what OCI_ATTR_PREFETCH_MEMORY holds, `iters` rows into the
// defines, the rest of an array fetch's request; no row prefetch with a
// LOB or LONG column; a short reply carries the end, a full one does not.
TEST_F(RoundTrips, QueriesFollowThePrefetchModel) {
  ASSERT_NO_FATAL_FAILURE(MakeTable("t10", 10));
  ASSERT_NO_FATAL_FAILURE(MakeTable("tlob", 3, ", c CLOB"));
  ASSERT_NO_FATAL_FAILURE(MakeTable("tlong", 3, ", l LONG"));
  struct Case {
    const char* query;
    int prefetch_rows;    // -1: left at its default
    ub4 prefetch_memory;  // bytes; rows of t10 are 1 + 22 + 100 wide
    ub4 iters;            // of the execute
    ub4 nrows;            // per fetch, until OCI_NO_DATA
    uint64_t trips;       // of the execute and every fetch
  } cases[] = {
      {"SELECT id, v FROM t10", -1, 0, 0, 1, 11},   // 1 + rows 2..10 + the end
      {"SELECT id, v FROM t10", -1, 0, 0, 100, 2},  // the 2nd reply is short
      {"SELECT id, v FROM t10", 0, 0, 0, 100, 2},
      {"SELECT id, v FROM t10", 20, 0, 0, 100, 1},  // all with the execute
      {"SELECT id, v FROM t10", 10, 0, 0, 5, 2},    // exactly 10: the end comes later
      {"SELECT id, v FROM t10", -1, 0, 10, 10, 2},
      {"SELECT id, v FROM t10", -1, 0, 20, 10, 1},
      {"SELECT id, v FROM t10", 0, 615, 0, 1, 3},   // 5 rows in 615 bytes
      {"SELECT id, v FROM t10", 2, 615, 0, 1, 6},   // the fewer: 2
      {"SELECT id, c FROM tlob", 50, 0, 0, 1, 5},   // LOB: array fetch only
      {"SELECT id, c FROM tlob", 50, 0, 0, 10, 2},
      {"SELECT id, l FROM tlong", 50, 0, 0, 10, 2},  // LONG defined whole
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(k.query) + " prefetch " + std::to_string(k.prefetch_rows) + "/" +
                 std::to_string(k.prefetch_memory) + " iters " + std::to_string(k.iters) + " nrows " +
                 std::to_string(k.nrows));
    OCIStmt* s = c_.Stmt();
    ASSERT_EQ(OCI_SUCCESS, c_.Prepare(s, k.query));
    if (k.prefetch_rows >= 0) {
      ub4 r = static_cast<ub4>(k.prefetch_rows);
      OCIAttrSet(s, OCI_HTYPE_STMT, &r, 0, OCI_ATTR_PREFETCH_ROWS, c_.err);
    }
    ub4 mem = k.prefetch_memory;
    OCIAttrSet(s, OCI_HTYPE_STMT, &mem, 0, OCI_ATTR_PREFETCH_MEMORY, c_.err);
    std::vector<int32_t> ids(100);
    std::vector<char> text(100 * 4001);
    std::vector<OCILobLocator*> locs(100);
    std::vector<sb2> inds(100);
    OCIDefine* d = nullptr;
    OCIDefineByPos(s, &d, c_.err, 1, ids.data(), 4, SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT);
    if (std::string(k.query).find(" c ") != std::string::npos) {
      for (auto& l : locs) l = c_.Locator();
      OCIDefineByPos(s, &d, c_.err, 2, locs.data(), sizeof(OCILobLocator*), SQLT_CLOB, inds.data(), nullptr,
                     nullptr, OCI_DEFAULT);
    } else {
      OCIDefineByPos(s, &d, c_.err, 2, text.data(), 4001, SQLT_STR, inds.data(), nullptr, nullptr, OCI_DEFAULT);
    }
    uint64_t before = Trips(c_);
    sword rc = OCIStmtExecute(c_.svc, s, c_.err, k.iters, 0, nullptr, nullptr, OCI_DEFAULT);
    ASSERT_TRUE(rc == OCI_SUCCESS || rc == OCI_NO_DATA) << c_.Error();
    while (rc != OCI_NO_DATA) {
      rc = OCIStmtFetch2(s, c_.err, k.nrows, OCI_FETCH_NEXT, 0, OCI_DEFAULT);
      ASSERT_TRUE(rc == OCI_SUCCESS || rc == OCI_NO_DATA) << c_.Error();
    }
    EXPECT_EQ(k.trips, Trips(c_) - before);
  }
}

// A LONG fetched or bound in pieces: the call that starts it, then one
// round trip per piece that starts past what the earlier ones carried
// (its piece, or 8 KiB).
TEST_F(RoundTrips, PiecesPastThePacketCostOneEach) {
  c_.Run("CREATE TABLE tl (id NUMBER, v LONG)");
  struct Case {
    size_t bytes;
    size_t piece;
    uint64_t insert_trips;  // the execute and its pieces
    uint64_t fetch_trips;   // the execute, the row, its pieces, the end
  } cases[] = {
      {100000, 32768, 1 + 3, 1 + 1 + 3 + 1},
      {65536, 32768, 1 + 1, 1 + 1 + 1 + 1},
      {5000, 1000, 1, 3},
      {20000, 4096, 1 + 2, 1 + 1 + 2 + 1},  // at 8 KiB and 16 KiB
  };
  int id = 0;
  for (const Case& k : cases) {
    SCOPED_TRACE(std::to_string(k.bytes) + " bytes in pieces of " + std::to_string(k.piece));
    ++id;
    uint64_t before = Trips(c_);
    lobtest::LongInsert in;
    ASSERT_TRUE(lobtest::InsertLong(c_, "INSERT INTO tl VALUES (" + std::to_string(id) + ", :1)", SQLT_LNG,
                                    lobtest::PatternSource(k.bytes, true), k.piece, false, &in));
    EXPECT_EQ(k.insert_trips, Trips(c_) - before);
    before = Trips(c_);
    lobtest::LongFetch f;
    ASSERT_TRUE(lobtest::FetchLong(c_, "SELECT id, v FROM tl WHERE id = " + std::to_string(id), SQLT_LNG, &f,
                                   nullptr, static_cast<ub4>(k.piece)));
    EXPECT_EQ(k.fetch_trips, Trips(c_) - before);
  }
}

// V$STATNAME names the statistics; V$MYSTAT shows a session's own as they
// are (its round trips with the query's own execute), to every user;
// V$SESSTAT every session's as last published, to DBAs only. Commits and
// bytes each way are counted too.
TEST_F(RoundTrips, StatisticViews) {
  c_.Run("CREATE USER app IDENTIFIED BY app");
  c_.Run("GRANT CREATE SESSION TO app");
  EXPECT_EQ(4, c_.Number("SELECT count(*) FROM v$statname WHERE class = 1 AND name IN ('user commits',"
                         " 'bytes sent via SQL*Net to client', 'bytes received via SQL*Net from client',"
                         " 'SQL*Net roundtrips to/from client')"));
  const std::string mine =
      "SELECT m.value FROM v$mystat m, v$statname n WHERE m.statistic# = n.statistic# AND n.name = ";
  uint64_t trips = Trips(c_);
  EXPECT_EQ(static_cast<long>(trips + 1), c_.Number(mine + "'SQL*Net roundtrips to/from client'"));
  uint64_t commits = Net(c_).user_commits;
  ASSERT_EQ(OCI_SUCCESS, c_.Commit());
  c_.Run("COMMIT");
  EXPECT_EQ(commits + 2, Net(c_).user_commits);
  uint64_t in = Net(c_).bytes_from_client, out = Net(c_).bytes_to_client;
  const std::string text = "SELECT '" + std::string(3000, 'x') + "' FROM dual";
  EXPECT_EQ(3000u, c_.Text(text).size());
  EXPECT_LE(in + text.size(), Net(c_).bytes_from_client);
  EXPECT_LE(out + 3000, Net(c_).bytes_to_client);

  Oci app;
  ASSERT_EQ(OCI_SUCCESS, OCIEnvCreate(&app.env, OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr, 0, nullptr));
  ASSERT_EQ(OCI_SUCCESS, app.Begin(path_, "app", "app")) << app.Error();
  EXPECT_EQ(3, app.Number(mine + "'SQL*Net roundtrips to/from client'"));
  EXPECT_EQ(-2, app.Number("SELECT count(*) FROM v$sesstat"));
  EXPECT_EQ(942, app.Code());
  // The other session's figures as of its last execute.
  std::string sid = std::to_string(app.usr->session->sid());
  EXPECT_EQ(static_cast<long>(Trips(app)), c_.Number("SELECT s.value FROM v$sesstat s, v$statname n WHERE s.sid = " +
                                                     sid + " AND s.statistic# = n.statistic# AND n.name = "
                                                     "'SQL*Net roundtrips to/from client'"));
}

// TABDB_NET_DELAY_US: one wait per round trip, before the call reaches the
// database; while the session holds the write lock the wait is owed and
// paid once the lock has gone, so that other sessions' writes go on.
TEST_F(RoundTrips, DelayPerRoundTripNeverUnderTheWriteLock) {
  setenv("TABDB_NET_DELAY_US", "250", 1);
  Oci d;
  uint64_t waited = 0, waits = 0, under_lock = 0;
  tabdb::testing::SetNetWaitHook([&](uint64_t us) {
    waited += us;
    ++waits;
    if (d.usr && d.usr->session &&
        sqlite3_txn_state(d.usr->session->db().handle(), "main") == SQLITE_TXN_WRITE)
      ++under_lock;
  });
  d.Connect(path_);
  unsetenv("TABDB_NET_DELAY_US");
  EXPECT_EQ(500u, waited) << "attach and logon";
  d.Run("CREATE TABLE w (id NUMBER)");
  EXPECT_EQ(750u, waited);
  d.Run("INSERT INTO w VALUES (1)");  // waited before it took the lock
  d.Run("INSERT INTO w VALUES (2)");
  d.Run("INSERT INTO w VALUES (3)");
  EXPECT_EQ(1000u, waited) << "owed under the lock";
  uint64_t waits_before = waits;
  ASSERT_EQ(OCI_SUCCESS, d.Commit());
  EXPECT_EQ(1750u, waited) << "two inserts and the commit, paid after it";
  EXPECT_EQ(waits_before + 1, waits);
  EXPECT_EQ(250 * Trips(d), waited);
  EXPECT_EQ(0u, under_lock);
  tabdb::testing::SetNetWaitHook(nullptr);
}

}  // namespace

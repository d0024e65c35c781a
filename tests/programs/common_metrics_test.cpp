// common_metrics_test.cpp - METRICS=Y on both programs, run as processes
// against a database file, serial and parallel: each table's line ends with
// its time and round trips, and before the closing line the run's count of
// every session's round trips, the same as the client library counted for
// the run without METRICS (whose output stays as it was); and what the
// export's dictionary reads cost on a schema of many small tables.
#include <algorithm>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support.h"

namespace {

using testsupport::ProcResult;

const char kNls[] = "NLS_LANG=AMERICAN_AMERICA.AL32UTF8";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

// The sum of the "trips=" words of a TABDB_TRIP_LOG file.
long long LoggedTrips(const std::string& path) {
  long long n = 0;
  std::smatch m;
  for (const std::string& l : Lines(testsupport::ReadFile(path)))
    if (std::regex_search(l, m, std::regex(" trips=([0-9]+)"))) n += std::stoll(m[1]);
  return n;
}

const long long kSerialImportTrips = 22;

class Metrics : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.file("m.db");
    testsupport::CreateDatabase(db_);
    std::string script = "CREATE USER app IDENTIFIED BY app;\nGRANT DBA TO app;\n";
    for (int i = 1; i <= 4; ++i) script += "CREATE USER d" + std::to_string(i) + " IDENTIFIED BY d;\n";
    script += "CREATE TABLE app.plain (id NUMBER PRIMARY KEY, v VARCHAR2(10));\n"
              "BEGIN FOR i IN 1..600 LOOP INSERT INTO app.plain VALUES (i, 'a'); END LOOP; END;\n/\n"
              "CREATE TABLE app.lobs (id NUMBER, c CLOB, b BLOB);\n"
              "INSERT INTO app.lobs VALUES (1, 'text', HEXTORAW('0102'));\n"
              "INSERT INTO app.lobs VALUES (2, NULL, NULL);\n"
              "CREATE TABLE app.longs (id NUMBER, l LONG);\n";
    // short LONG values around one of more than 4 000 bytes
    for (int i = 1; i <= 7; ++i) {
      script += i == 6 ? "DECLARE v VARCHAR2(6000) := RPAD('x', 5000, 'y'); BEGIN INSERT INTO app.longs VALUES (6, v); END;\n/\n"
                       : "INSERT INTO app.longs VALUES (" + std::to_string(i) + ", 'long');\n";
    }
    script += "COMMIT;\n";
    ProcResult r = testsupport::RunSql("system/manager@" + db_, script, {kNls});
    ASSERT_EQ(0, r.status) << r.out << r.err;
  }

  // Runs `argv`, counting the client's round trips in a log of its own.
  ProcResult Run(std::vector<std::string> argv, long long* logged) {
    std::string log = dir_.file("trips" + std::to_string(++runs_) + ".log");
    // PLAIN's three extents are read as ranges, by several sessions in a
    // parallel run
    ProcResult r = testsupport::Run(
        argv, {kNls, "TABDB_TRIP_LOG=" + log, "TABEXP_RANGE_THRESHOLD=1", "TABEXP_RANGE_SIZE=1"});
    *logged = LoggedTrips(log);
    return r;
  }

  testsupport::TempDir dir_;
  std::string db_;
  int runs_ = 0;
};

TEST_F(Metrics, TableLinesAndTheRunsRoundTrips) {
  const std::regex table_end("  [0-9]+\\.[0-9]{2} s  ([0-9]+) round trips$");
  const std::string dump = dir_.file("m.dmp");
  int target = 0;
  for (const char* parallel : {"PARALLEL=1", "PARALLEL=2"}) {
    for (bool exp : {true, false}) {
      SCOPED_TRACE(std::string(exp ? "tabexp " : "tabimp ") + parallel);
      auto argv = [&](bool metrics) {
        std::vector<std::string> a;
        if (exp) {
          a = {TABEXP_PATH, "app/app@" + db_, "FILE=" + dump, "OWNER=app", parallel};
        } else {
          a = {TABIMP_PATH, "system/manager@" + db_, "FILE=" + dump, "TOUSER=d" + std::to_string(++target),
               parallel};
        }
        if (metrics) a.push_back("metrics=y");
        return a;
      };
      long long plain_trips = 0, metrics_trips = 0;  // the latter with the readings
      ProcResult plain = Run(argv(false), &plain_trips);
      ASSERT_EQ(0, plain.status) << plain.err;
      ProcResult m = Run(argv(true), &metrics_trips);
      ASSERT_EQ(0, m.status) << m.err;

      // The lines are the plain run's, each with its time and round trips.
      std::vector<std::string> lines = Lines(m.out), want = Lines(plain.out);
      ASSERT_EQ(3u, lines.size()) << m.out;
      long long tables = 0;
      for (std::string& l : lines) {
        std::smatch sm;
        ASSERT_TRUE(std::regex_search(l, sm, table_end)) << l;
        tables += std::stoll(sm[1]);
        l = sm.prefix();
      }
      std::sort(lines.begin(), lines.end());
      std::sort(want.begin(), want.end());
      EXPECT_EQ(want, lines);
      // The run's count, before the closing line, is what the plain run cost.
      const std::string count = "Round trips to the database: " + std::to_string(plain_trips) + "\n";
      size_t at = m.err.find(count + (exp ? "Export" : "Import") + " terminated");
      ASSERT_NE(std::string::npos, at) << m.err << "\nwanted " << count;
      EXPECT_EQ(plain.err, m.err.substr(0, at) + m.err.substr(at + count.size()));
      EXPECT_LT(tables, plain_trips);
      // What a serial import of these tables costs: a table's lock and the
      // dictionary check under it are one block, one round trip, and
      // LONGS's rows go in three INSERTs (rows 1-5 in an array, the long
      // value of row 6 alone, row 7), and a table's index and key
      // statements go together; each lock and check on its own (3 more),
      // each LONG row alone (4 more), or each statement alone would show
      // here.
      if (!exp && std::string(parallel) == "PARALLEL=1") {
        EXPECT_EQ(kSerialImportTrips, plain_trips);
      }
    }
  }
}

// The dictionary rows and DDL texts of many tables come in batches: each
// table costs little more than the query of its rows, serial or parallel
// (across the boundary of a batch, with workers waiting for one another's
// batch), and the parallel dump is the serial one.
TEST_F(Metrics, ManySmallTablesCostAFewRoundTripsEach) {
  const int kTables = 70;
  std::string script;
  for (int i = 1; i <= kTables; ++i) {
    std::string t = "app.s" + std::to_string(i);
    script += "CREATE TABLE " + t + " (id NUMBER PRIMARY KEY, v VARCHAR2(10) NOT NULL, n NUMBER CHECK (n > 0));\n"
              "CREATE INDEX app.s" + std::to_string(i) + "_ix ON " + t + " (v);\n"
              "COMMENT ON TABLE " + t + " IS 'small';\nINSERT INTO " + t + " VALUES (1, 'a', 1);\n";
  }
  ProcResult r = testsupport::RunSql("system/manager@" + db_, script + "COMMIT;\n", {kNls});
  ASSERT_EQ(0, r.status) << r.out << r.err;
  std::string dumps[2];
  for (int parallel : {1, 2}) {
    SCOPED_TRACE("PARALLEL=" + std::to_string(parallel));
    dumps[parallel - 1] = dir_.file("many" + std::to_string(parallel) + ".dmp");
    long long trips = 0;
    ProcResult e = Run({TABEXP_PATH, "app/app@" + db_, "FILE=" + dumps[parallel - 1], "OWNER=app",
                        "PARALLEL=" + std::to_string(parallel)},
                       &trips);
    ASSERT_EQ(0, e.status) << e.err;
    // a table's rows are one execute, which brings its first array (a
    // fetch of its own would make two); its dictionary reads and texts a
    // share of its batch's queries (they were some fifteen)
    EXPECT_LE(trips, kTables + 70 + 15 * (parallel - 1)) << e.err;
  }
  EXPECT_EQ(testsupport::ReadFile(dumps[0]), testsupport::ReadFile(dumps[1]));
}

}  // namespace

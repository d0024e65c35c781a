// imp_rollback_fake_test.cpp - tabimp over the OCI test double: a failure
// while a table's rows are loaded rolls back the rows already inserted
// before the session ends, whatever the client library would do with open
// work at the end of a session.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dump_builder.h"
#include "fakeoci.h"
#include "run_tabimp.h"

namespace {

using namespace dumpbuild;

// Imports `bytes` as app/app, the failure rule set by `setup`; returns the
// status and the OCI calls made.
int Import(const std::string& bytes, void (*setup)()) {
  return fakeoci::RunTabimp(bytes, {}, setup).rc;
}

// A table of `rows` rows, more than one INSERT batch of the test build.
Dump TwoTables(int rows) {
  Dump d;
  Table first("FIRST", {{5, 22, "ID"}});
  first.Row({Val(Number(1))});
  d.tables.push_back(first);
  Table big("BIG", {{5, 22, "ID"}, {3, 200, "NAME"}});
  for (int i = 0; i < rows; i++) big.Row({Val(Number(i)), Val("name " + std::to_string(i))});
  d.tables.push_back(big);
  return d;
}

size_t Position(const std::vector<std::string>& calls, const std::string& name, size_t from = 0) {
  auto it = std::find(calls.begin() + static_cast<long>(from), calls.end(), name);
  return static_cast<size_t>(it - calls.begin());
}

struct FailureCase {
  const char* what;
  void (*setup)();
};

// The failing call comes after the first batch of BIG went in: the first
// table stays committed, BIG's inserted rows are rolled back before the
// session ends.
TEST(ImportRollback, RowsOfTheFailingTableAreRolledBackBeforeTheSessionEnds) {
  const FailureCase cases[] = {
      // executions: the query of the character sets, schema switch, CREATE
      // TABLE FIRST, its lock and dictionary check, its INSERT, CREATE
      // TABLE BIG, its lock and check, BIG's first batch, BIG's second batch
      {"second batch fails", [] { fakeoci::FailCall("OCIStmtExecute", 11, -1, 1653, "unable to extend"); }},
      {"commit fails", [] { fakeoci::FailCall("OCITransCommit", 2, -1, 3113, "end-of-file on channel"); }},
  };
  std::string bytes = TwoTables(1000).Build();
  for (const FailureCase& c : cases) {
    EXPECT_EQ(-1, Import(bytes, c.setup)) << c.what;
    const fakeoci::State& st = fakeoci::state();
    EXPECT_EQ(1, st.commits) << c.what << ": only the first table committed";
    EXPECT_GE(st.insert_iters.size(), 2u) << c.what << ": no row of BIG went in before the failure";
    size_t rollback = Position(st.calls, "OCITransRollback");
    size_t end = Position(st.calls, "OCISessionEnd");
    EXPECT_LT(rollback, end) << c.what << ": no rollback before the session ended";
    EXPECT_EQ(st.committed_rows, st.rows.size()) << c.what << ": uncommitted rows left";
    EXPECT_EQ(0, st.live_objects) << c.what;
  }
}

// A run that succeeds has nothing to roll back.
TEST(ImportRollback, ASuccessfulRunRollsNothingBack) {
  EXPECT_EQ(0, Import(TwoTables(1000).Build(), [] {}));
  EXPECT_EQ(fakeoci::state().calls.size(), Position(fakeoci::state().calls, "OCITransRollback"));
  EXPECT_EQ(1001u, fakeoci::state().committed_rows);
}

}  // namespace

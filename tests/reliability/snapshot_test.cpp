// snapshot_test.cpp - one moment for a whole transaction: SET TRANSACTION
// READ ONLY and ISOLATION LEVEL SERIALIZABLE hold the session to the
// database as it was when they ran, a read-only transaction refuses
// changes, and an export taken while a writer commits parent and child
// rows in a loop imports with its foreign key validated.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "rel_fixture.h"

namespace reltest {
namespace {

using testsupport::ProcResult;

class Snapshot : public RelTest {
 protected:
  void SetUp() override {
    RelTest::SetUp();
    Sys("CREATE TABLE app.t (n NUMBER);\nINSERT INTO app.t VALUES (1);\nCOMMIT;\n");
    ASSERT_EQ("", reader_.Open(db_, "app", "app"));
  }

  // Rows of app.t as the reader sees them.
  std::string Seen() {
    std::string e;
    std::vector<std::string> v = reader_.Column("SELECT count(*) FROM app.t", &e);
    return e.empty() && v.size() == 1 ? v[0] : "error: " + e;
  }

  // Another session adds a row and commits.
  void OtherCommits() {
    ASSERT_EQ("", Admin().Exec("INSERT INTO app.t VALUES (2)"));
    ASSERT_EQ("", Admin().Commit());
  }

  Session reader_;
};

TEST_F(Snapshot, ReadOnlyTransactionSeesOneMomentAndChangesNothing) {
  ASSERT_EQ("", reader_.Exec("SET TRANSACTION READ ONLY"));
  EXPECT_EQ("1", Seen());
  OtherCommits();
  EXPECT_EQ("1", Seen());
  EXPECT_TRUE(Contains(reader_.Exec("INSERT INTO app.t VALUES (3)"), "ORA-01456"));
  EXPECT_TRUE(Contains(reader_.Exec("DELETE FROM app.t"), "ORA-01456"));
  EXPECT_TRUE(Contains(reader_.Exec("SET TRANSACTION READ ONLY"), "ORA-01453"));
  EXPECT_EQ("1", Seen());
  ASSERT_EQ("", reader_.Commit());
  EXPECT_EQ("2", Seen());
  // After the commit the session writes again, and a mode may no longer
  // be set once the transaction holds a change.
  EXPECT_EQ("", reader_.Exec("INSERT INTO app.t VALUES (3)"));
  EXPECT_TRUE(Contains(reader_.Exec("SET TRANSACTION READ ONLY"), "ORA-01453"));
  EXPECT_TRUE(Contains(reader_.Exec("SET TRANSACTION ISOLATION LEVEL SERIALIZABLE"), "ORA-01453"));
  ASSERT_EQ("", reader_.Rollback());
  EXPECT_EQ("2", Seen());
}

TEST_F(Snapshot, IsolationLevels) {
  // SERIALIZABLE reads one moment too; ROLLBACK ends it.
  ASSERT_EQ("", reader_.Exec("SET TRANSACTION ISOLATION LEVEL SERIALIZABLE"));
  EXPECT_EQ("1", Seen());
  OtherCommits();
  EXPECT_EQ("1", Seen());
  // Its first change after another session's commit cannot be serialized.
  EXPECT_TRUE(Contains(reader_.Exec("INSERT INTO app.t VALUES (7)"), "ORA-08177"));
  ASSERT_EQ("", reader_.Rollback());
  EXPECT_EQ("2", Seen());
  // READ COMMITTED (the default) sees each commit at once.
  ASSERT_EQ("", reader_.Exec("SET TRANSACTION ISOLATION LEVEL READ COMMITTED"));
  OtherCommits();
  EXPECT_EQ("3", Seen());
  ASSERT_EQ("", reader_.Exec("SET TRANSACTION READ WRITE NAME 'plain'"));
  EXPECT_TRUE(Contains(reader_.Exec("SET TRANSACTION READ SOMETIMES"), "ORA-"));
  // DDL commits the read-only transaction first, as it commits any.
  ASSERT_EQ("", reader_.Exec("SET TRANSACTION READ ONLY"));
  OtherCommits();
  EXPECT_EQ("3", Seen());
  ASSERT_EQ("", reader_.Exec("CREATE TABLE app.u (n NUMBER)"));
  EXPECT_EQ("4", Seen());
  EXPECT_EQ("", reader_.Exec("INSERT INTO app.u VALUES (1)"));
}

// OCITransStart with OCI_TRANS_READONLY takes the same snapshot as SET
// TRANSACTION READ ONLY; OCITransCommit ends it.
TEST_F(Snapshot, TransStartReadOnly) {
  testsupport::OciLogon l;
  ASSERT_EQ(OCI_SUCCESS, OCIEnvCreate(&l.env, OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr, 0, nullptr));
  ASSERT_EQ(OCI_SUCCESS, l.Begin(db_, "app", "app"));
  OCIStmt* st = nullptr;
  ASSERT_EQ(OCI_SUCCESS, OCIHandleAlloc(l.env, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr));
  auto exec = [&](const std::string& sql, ub4 iters) {
    if (OCIStmtPrepare(st, l.err, reinterpret_cast<const OraText*>(sql.data()), static_cast<ub4>(sql.size()),
                       OCI_NTV_SYNTAX, OCI_DEFAULT) != OCI_SUCCESS)
      return OCI_ERROR;
    return OCIStmtExecute(l.svc, st, l.err, iters, 0, nullptr, nullptr, OCI_DEFAULT);
  };
  auto count = [&]() {
    ub4 n = 0;
    OCIDefine* d = nullptr;
    if (exec("SELECT count(*) FROM app.t", 0) != OCI_SUCCESS) return -1L;
    OCIDefineByPos(st, &d, l.err, 1, &n, sizeof(n), SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT);
    if (OCIStmtFetch(st, l.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT) != OCI_SUCCESS) return -1L;
    return static_cast<long>(n);
  };
  ASSERT_EQ(OCI_SUCCESS, OCITransStart(l.svc, l.err, 60, OCI_TRANS_NEW | OCI_TRANS_READONLY));
  EXPECT_EQ(1, count());
  OtherCommits();
  EXPECT_EQ(1, count());
  EXPECT_EQ(OCI_ERROR, exec("INSERT INTO app.t VALUES (9)", 1));
  EXPECT_EQ(OCI_ERROR, OCITransStart(l.svc, l.err, 60, OCI_TRANS_NEW | OCI_TRANS_SERIALIZABLE));
  ASSERT_EQ(OCI_SUCCESS, OCITransCommit(l.svc, l.err, OCI_DEFAULT));
  EXPECT_EQ(2, count());
  OCIHandleFree(st, OCI_HTYPE_STMT);
  l.End();
}

// A writer commits a parent row and its child, and later deletes both, in
// a loop, while exports run: each dump holds every child's parent, so its
// import creates the foreign key (validating every row).
TEST_F(Snapshot, ExportDuringWritesImportsWithItsForeignKey) {
  // Tables are read in the order they were made: the child first, then
  // a large table, so that the writer commits many times before the
  // parent table is read.
  Sys("CREATE TABLE app.a_child (id NUMBER PRIMARY KEY, pid NUMBER);\n");
  BigTable("APP", "B_FILL", 40000, 200);
  Sys("CREATE TABLE app.c_parent (id NUMBER PRIMARY KEY);\n"
      "ALTER TABLE app.a_child ADD CONSTRAINT child_fk FOREIGN KEY (pid) REFERENCES app.c_parent (id);\n");
  reader_.Close();

  pid_t writer = fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    // A statement that meets a lock simply tries again.
    Session w;
    if (!w.Open(db_, "app", "app").empty()) _exit(2);
    for (long i = 1;; i++) {
      std::string k = std::to_string(i), old = std::to_string(i - 3);
      if (!w.Exec("INSERT INTO app.c_parent VALUES (" + k + ")").empty() ||
          !w.Exec("INSERT INTO app.a_child VALUES (" + k + ", " + k + ")").empty() || !w.Commit().empty()) {
        w.Rollback();
        continue;
      }
      if (i > 3 && (!w.Exec("DELETE FROM app.a_child WHERE id = " + old).empty() ||
                    !w.Exec("DELETE FROM app.c_parent WHERE id = " + old).empty() || !w.Commit().empty()))
        w.Rollback();
    }
  }
  std::vector<std::string> dumps;
  for (int run = 0; run < 3; run++) {
    dumps.push_back(dir_.file("snap" + std::to_string(run) + ".dmp"));
    ProcResult r = Export("APP", dumps.back());
    EXPECT_EQ(0, r.status) << r.err;
  }
  int status = 0;
  kill(writer, SIGKILL);
  waitpid(writer, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status)) << "the writer stopped with " << WEXITSTATUS(status);
  EXPECT_GE(Count("app.c_parent WHERE id > 10"), 1) << "the writer committed too little";

  for (size_t run = 0; run < dumps.size(); run++) {
    std::string target = "SNAP" + std::to_string(run);
    AddUser(target);
    ProcResult r = Import(dumps[run], target);
    EXPECT_EQ(0, r.status) << r.out << r.err;
    std::vector<std::string> fk = Admin().Column(
        "SELECT count(*) FROM ALL_CONSTRAINTS WHERE OWNER = '" + target + "' AND CONSTRAINT_TYPE = 'R'");
    EXPECT_EQ(std::vector<std::string>{"1"}, fk) << r.err;
  }
}

}  // namespace
}  // namespace reltest

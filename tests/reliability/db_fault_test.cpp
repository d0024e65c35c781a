// db_fault_test.cpp - faults on the database side: an import or export
// killed midway, failing writes and reads of the database file itself, and
// another writer holding the database: committed data is never lost, no
// partial table is left, and a lock ends in ORA-00054 after a bounded wait.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "rel_fixture.h"

namespace reltest {
namespace {

using testsupport::ProcResult;
using testsupport::ReadFile;
using testsupport::WriteFile;

// The path of a program on PATH, or "".
std::string OnPath(const std::string& name) {
  const char* path = getenv("PATH");
  std::string p = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= p.size()) {
    size_t end = p.find(':', start);
    if (end == std::string::npos) end = p.size();
    std::string cand = p.substr(start, end - start) + "/" + name;
    if (access(cand.c_str(), X_OK) == 0) return cand;
    start = end + 1;
  }
  return "";
}

class DatabaseFaults : public RelTest {
 protected:
  void SetUp() override {
    RelTest::SetUp();
    ASSERT_NO_FATAL_FAILURE(Sys("CREATE TABLE app.a_small (id NUMBER PRIMARY KEY, name VARCHAR2(20));\n"
                                "INSERT INTO app.a_small VALUES (1, 'one');\n"
                                "INSERT INTO app.a_small VALUES (2, 'two');\n"));
    ASSERT_NO_FATAL_FAILURE(BigTable("app", "b_big", 10000, 300));
    ASSERT_NO_FATAL_FAILURE(Sys("CREATE TABLE app.c_after (n NUMBER);\nINSERT INTO app.c_after VALUES (3);\n"));
    dump_ = dir_.file("app.dmp");
    ProcResult r = Export("APP", dump_);
    ASSERT_EQ(0, r.status) << r.err;
    std::string why;
    ASSERT_TRUE(ParseDump(ReadFile(dump_), &parsed_, &why)) << why;
    ASSERT_EQ(3u, parsed_.tables.size());
    ASSERT_EQ("B_BIG", parsed_.tables[1].name);
  }

  // The database file checks out whole with SQLite's own check, when the
  // sqlite3 shell is there.
  void ExpectIntact() {
    std::string sqlite = OnPath("sqlite3");
    if (sqlite.empty()) return;
    ProcResult r = testsupport::Run({sqlite, db_, "PRAGMA integrity_check;"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ("ok\n", r.out);
  }

  // After a failed or killed import into `target`: the tables before the
  // failing one whole, the failing one without rows, nothing after it.
  // Returns the index of the failing table.
  size_t ExpectNoPartialTable(const std::string& target, const std::string& context) {
    size_t failing = parsed_.tables.size();
    for (size_t i = 0; i < parsed_.tables.size(); i++) {
      const DumpTable& t = parsed_.tables[i];
      std::string error;
      long rows = Count(target + "." + t.name, &error);
      if (failing == parsed_.tables.size() && rows != static_cast<long>(t.nrows)) {
        failing = i;
        EXPECT_TRUE(rows == 0 || Contains(error, "ORA-00942")) << context << ": " << rows << " rows of " << t.name;
      } else if (failing < i) {
        EXPECT_TRUE(Contains(error, "ORA-00942")) << context << ": " << t.name << " was created";
      }
    }
    return failing;
  }

  std::string dump_;
  DumpFile parsed_;
};

// Killed while it loads the big table (when it moves its read window
// inside that table, after several batches of rows went in): the table
// before stays whole, the big one exists without a row, the one after is
// not there, and the database works on: the same import then succeeds.
// The dump is taken in its form without the checksum trailer: tabimp reads
// a trailer before any table, and that read would meet the kill point first.
TEST_F(DatabaseFaults, ImportKilledInsideATableKeepsEveryCommittedTableWhole) {
  AddUser("dst");
  const DumpTable& big = parsed_.tables[1];
  uint64_t kill_at = big.offset + 2097152 + 1000;
  ASSERT_LT(kill_at, big.end);
  std::string plain = ReadFile(dump_);
  ASSERT_EQ(0, plain.compare(208, 8, std::string("Tabdext\0", 8)));
  plain.resize(parsed_.tables.back().end);
  std::fill(plain.begin() + 208, plain.begin() + 1024, '\0');
  std::string file = dir_.file("plain.dmp");
  WriteFile(file, plain);
  ProcResult r = Import(file, "DST", FaultEnv({"FAULTFS_FILE=" + file, "FAULTFS_KILL_AT_OFFSET=" + std::to_string(kill_at)}));
  ASSERT_EQ(-9, r.status) << r.err;
  EXPECT_EQ(2, Count("dst.a_small"));
  EXPECT_EQ(0, Count("dst.b_big"));  // the DDL committed, no row did
  std::string error;
  EXPECT_EQ(-1, Count("dst.c_after", &error));
  EXPECT_TRUE(Contains(error, "ORA-00942")) << error;
  ExpectIntact();

  AddUser("dst2");
  r = Import(dump_, "DST2");
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(10000, Count("dst2.b_big"));
}

// Killed while it writes the big table: the source schema is untouched and
// the database opens as before; the dump left behind does not import.
TEST_F(DatabaseFaults, ExportKilledMidwayLeavesTheSourceUntouched) {
  const DumpTable& big = parsed_.tables[1];
  std::string file = dir_.file("killed.dmp");
  ProcResult r = Export("APP", file,
                        FaultEnv({"FAULTFS_FILE=" + file,
                                  "FAULTFS_KILL_AT_OFFSET=" + std::to_string((big.offset + big.end) / 2)}));
  ASSERT_EQ(-9, r.status) << r.err;
  // the schema exports to the same dump as before, byte for byte
  std::string after = dir_.file("after.dmp");
  ASSERT_EQ(0, Export("APP", after).status);
  EXPECT_TRUE(ReadFile(after) == ReadFile(dump_)) << "the source changed";
  ExpectIntact();
  AddUser("dst");
  r = Import(file, "DST");
  EXPECT_EQ(255, r.status) << r.err;
  EXPECT_FALSE(Contains(r.err, kImpDone));
  EXPECT_EQ(0u, ExpectNoPartialTable("DST", "killed export"));
}

// The database's log file cannot be written at some point of the import
// (the disk is full): the import reports the failure and ends with 255,
// and what it had committed before stays whole.
TEST_F(DatabaseFaults, FailingDatabaseWritesEndTheImportWithoutPartialTables) {
  AddUser("probe");
  std::string wal = db_ + "-wal", log = dir_.file("wal.io");
  ProcResult r = Import(dump_, "PROBE", FaultEnv({"FAULTFS_FILE=" + wal, "FAULTFS_LOG=" + log}));
  ASSERT_EQ(0, r.status) << r.err;
  size_t writes = 0;
  for (const IoCall& c : ReadIoLog(log)) writes += c.op == "pwrite" || c.op == "write";
  ASSERT_GT(writes, 20u) << "the import wrote too little into the database's log to probe";

  // The number of log writes depends on how the catalog's rows fall into
  // pages, which differs by a page or two from one target schema to the
  // next: the last position stays a little before the probe's last write,
  // and each run's own log tells that the fault did fire.
  int n = 0;
  for (size_t at : {size_t{1}, writes / 4, writes / 2, writes * 3 / 4, writes - 4}) {
    std::string target = "W" + std::to_string(++n);
    AddUser(target);
    std::string context = "database write " + std::to_string(at) + " of " + std::to_string(writes);
    std::string run_log = log + "." + target;
    r = Import(dump_, target,
               FaultEnv({"FAULTFS_FILE=" + wal, "FAULTFS_WRITE_AT_CALL=" + std::to_string(at),
                         "FAULTFS_WRITE_ERRNO=ENOSPC", "FAULTFS_LOG=" + run_log}));
    size_t run_writes = 0;
    for (const IoCall& c : ReadIoLog(run_log)) run_writes += c.op == "pwrite" || c.op == "write";
    ASSERT_GE(run_writes, at) << context << ": the fault did not fire";
    EXPECT_EQ(255, r.status) << context << "\n" << r.err;
    EXPECT_FALSE(Contains(r.err, kImpDone)) << context;
    // a failed commit is reported on standard output, everything else on
    // standard error
    EXPECT_TRUE(Contains(r.out + r.err, "ORA-")) << context << "\n" << r.out << r.err;
    ExpectNoPartialTable(target, context);
    ExpectIntact();
  }
}

// The database file cannot be read at some point of the export: the
// export fails with 255 and never says it succeeded.
TEST_F(DatabaseFaults, FailingDatabaseReadsEndTheExport) {
  std::string log = dir_.file("db.io");
  ProcResult r = Export("APP", dir_.file("probe.dmp"), FaultEnv({"FAULTFS_FILE=" + db_, "FAULTFS_LOG=" + log}));
  ASSERT_EQ(0, r.status) << r.err;
  size_t reads = 0;
  for (const IoCall& c : ReadIoLog(log)) reads += c.op == "pread" || c.op == "read";
  ASSERT_GT(reads, 20u);
  for (size_t at : {size_t{1}, reads / 3, reads * 2 / 3, reads}) {
    std::string context = "database read " + std::to_string(at) + " of " + std::to_string(reads);
    r = Export("APP", dir_.file("x.dmp"),
               FaultEnv({"FAULTFS_FILE=" + db_, "FAULTFS_READ_AT_CALL=" + std::to_string(at), "FAULTFS_READ_ERRNO=EIO"}));
    EXPECT_EQ(255, r.status) << context << "\n" << r.err;
    EXPECT_FALSE(Contains(r.err, kExpDone)) << context << "\n" << r.err;
    EXPECT_TRUE(Contains(r.err, "ORA-")) << context << "\n" << r.err;
  }
}

// Another session holds an uncommitted insert: the import waits at most
// the lock timeout and fails with ORA-00054; the export, a reader, is not
// held up and does not see the uncommitted row. Once the writer is done,
// the import goes through.
TEST_F(DatabaseFaults, AnotherSessionsUncommittedWorkBlocksTheImportBoundedly) {
  AddUser("dst");
  Session writer;
  ASSERT_EQ("", writer.Open(db_, "app", "app"));
  ASSERT_EQ("", writer.Exec("INSERT INTO c_after VALUES (99)"));

  auto start = std::chrono::steady_clock::now();
  ProcResult r = Import(dump_, "DST", {"TABDB_LOCK_TIMEOUT_MS=300"});
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(255, r.status) << r.err;
  EXPECT_TRUE(Contains(r.err, "ORA-00054: resource busy and acquire with NOWAIT specified or timeout expired"))
      << r.err;
  EXPECT_LT(seconds, 8.0);

  std::string file = dir_.file("during.dmp");
  r = Export("APP", file, {"TABDB_LOCK_TIMEOUT_MS=300"});
  EXPECT_EQ(0, r.status) << r.err;
  DumpFile d;
  std::string why;
  ASSERT_TRUE(ParseDump(ReadFile(file), &d, &why)) << why;
  EXPECT_EQ(1u, d.tables.at(2).rows.size());  // C_AFTER without the uncommitted row

  ASSERT_EQ("", writer.Rollback());
  ExpectNoPartialTable("DST", "import against a lock");
  AddUser("dst2");
  r = Import(dump_, "DST2", {"TABDB_LOCK_TIMEOUT_MS=300"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(10000, Count("dst2.b_big"));
}

// A process outside the database library holds the file's write lock
// (BEGIN EXCLUSIVE in the sqlite3 shell): ORA-00054 after the timeout,
// never a hang.
TEST_F(DatabaseFaults, AnExclusiveLockFromOutsideGivesOra00054) {
  std::string sqlite = OnPath("sqlite3");
  if (sqlite.empty()) GTEST_SKIP() << "no sqlite3 shell";
  AddUser("dst");
  Background holder({sqlite, db_}, {}, dir_.file("holder.out"));
  // the shell waits for the probes below rather than failing at once
  ASSERT_TRUE(holder.Send(".timeout 10000\nBEGIN EXCLUSIVE;\n"));
  // wait until the lock is really held
  bool held = false;
  for (int i = 0; i < 200 && !held; i++) {
    ProcResult probe = testsupport::Run({sqlite, "-cmd", ".timeout 0", db_, "BEGIN IMMEDIATE; ROLLBACK;"});
    held = probe.status != 0;
    if (!held) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(held) << ReadFile(dir_.file("holder.out"));

  auto start = std::chrono::steady_clock::now();
  ProcResult r = Import(dump_, "DST", {"TABDB_LOCK_TIMEOUT_MS=300"});
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(255, r.status) << r.err;
  EXPECT_TRUE(Contains(r.err, "ORA-00054")) << r.err;
  EXPECT_LT(seconds, 8.0);
  holder.Send("ROLLBACK;\n.quit\n");
  holder.CloseInput();
  EXPECT_EQ(0, holder.Wait());
  ExpectIntact();
}

}  // namespace
}  // namespace reltest

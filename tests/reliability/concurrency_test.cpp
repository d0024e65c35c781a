// concurrency_test.cpp - exports that run while another session keeps
// inserting into the same tables: each table comes out as one consistent
// snapshot (whole committed batches only), and both sides finish.
#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "rel_fixture.h"

namespace reltest {
namespace {

using testsupport::ProcResult;
using testsupport::ReadFile;

constexpr int kBatch = 1000;

class ConcurrentWriter : public RelTest {};

// The writer commits batches of 1000 rows into two tables at once, each
// row carrying its batch number and its place in the batch. Every export
// that runs meanwhile must hold, per table, whole batches 0..k-1 and
// nothing else: a batch that is half there, or a row twice, would show a
// snapshot that no commit ever made.
TEST_F(ConcurrentWriter, ExportsDeliverWholeCommittedBatchesOnly) {
  ASSERT_NO_FATAL_FAILURE(Sys("CREATE TABLE app.events (batch VARCHAR2(10), seq VARCHAR2(10), payload VARCHAR2(60));\n"
      "CREATE TABLE app.journal (batch VARCHAR2(10), seq VARCHAR2(10), payload VARCHAR2(60));\n"));
  std::atomic<int> committed{0};
  std::atomic<bool> stop{false};
  std::string writer_error;
  std::thread writer([&] {
    Session s;
    writer_error = s.Open(db_, "app", "app");
    for (int b = 0; writer_error.empty() && !stop && b < 2000; b++) {
      std::vector<std::vector<std::string>> rows;
      for (int i = 0; i < kBatch; i++)
        rows.push_back({std::to_string(b), std::to_string(i), "payload of row " + std::to_string(i) + " in " + std::to_string(b)});
      for (const char* table : {"events", "journal"}) {
        writer_error = s.InsertRows(std::string("INSERT INTO ") + table + " VALUES (:1, :2, :3)", rows);
        if (!writer_error.empty()) break;
      }
      if (writer_error.empty()) writer_error = s.Commit();
      if (writer_error.empty()) committed = b + 1;
    }
  });
  while (committed < 2 && writer_error.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));

  std::vector<std::string> dumps;
  std::vector<int> seen_before;
  for (int run = 0; run < 4 && writer_error.empty(); run++) {
    seen_before.push_back(committed);
    std::string file = dir_.file("run" + std::to_string(run) + ".dmp");
    ProcResult r = Export("APP", file);
    EXPECT_EQ(0, r.status) << r.err;
    dumps.push_back(file);
  }
  int writer_batches_during = committed;
  stop = true;
  writer.join();
  ASSERT_EQ("", writer_error);
  EXPECT_GT(writer_batches_during, seen_before.front()) << "the writer made no progress during the exports";

  for (size_t run = 0; run < dumps.size(); run++) {
    DumpFile d;
    std::string why;
    ASSERT_TRUE(ParseDump(ReadFile(dumps[run]), &d, &why)) << why;
    ASSERT_EQ(2u, d.tables.size());
    for (const DumpTable& t : d.tables) {
      std::string where = "run " + std::to_string(run) + ", table " + t.name;
      EXPECT_EQ(0u, t.rows.size() % kBatch) << where << ": " << t.rows.size() << " rows";
      EXPECT_GE(t.rows.size(), static_cast<size_t>(seen_before[run]) * kBatch) << where;
      std::map<int, std::vector<int>> batches;
      for (const DumpRow& row : t.rows) {
        ASSERT_EQ(3u, row.values.size());
        int b = std::stoi(*row.values[0]), i = std::stoi(*row.values[1]);
        batches[b].push_back(i);
        EXPECT_EQ("payload of row " + *row.values[1] + " in " + *row.values[0], *row.values[2]) << where;
      }
      int expect_batch = 0;
      for (auto& [b, seqs] : batches) {
        EXPECT_EQ(expect_batch++, b) << where << ": batches are not a prefix";
        EXPECT_EQ(static_cast<size_t>(kBatch), seqs.size()) << where << ": batch " << b;
      }
    }
  }
}

}  // namespace
}  // namespace reltest

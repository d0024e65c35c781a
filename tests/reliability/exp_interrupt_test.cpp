// exp_interrupt_test.cpp - tabexp stopped by SIGINT, SIGTERM or SIGHUP at
// several points of its work (between row batches of a large table, inside
// the pieces of LOB values, between tables): it ends with 255 and one line
// naming the signal and the table, the earlier dump stays byte for byte,
// no temporary file is left, and the log holds every line up to the
// signal's. A run after that completes.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <sstream>

#include "rel_fixture.h"

namespace reltest {
namespace {

using testsupport::ProcResult;
using testsupport::ReadFile;

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> v;
  DIR* d = opendir(dir.c_str());
  if (!d) return v;
  while (dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n != "." && n != "..") v.push_back(n);
  }
  closedir(d);
  std::sort(v.begin(), v.end());
  return v;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> v;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) v.push_back(l);
  return v;
}

class ExpInterrupt : public RelTest {
 protected:
  void SetUp() override {
    RelTest::SetUp();
    // In export order: a small table, one of LOB values of many pieces,
    // a large one, a last small one.
    Sys("CREATE TABLE app.a_small (n NUMBER PRIMARY KEY);\n"
        "INSERT INTO app.a_small VALUES (1);\n"
        "CREATE TABLE app.b_lobs (id NUMBER PRIMARY KEY, doc CLOB);\n"
        "BEGIN\n  FOR i IN 1..300 LOOP\n"
        "    INSERT INTO app.b_lobs VALUES (i, RPAD('c', 32767, 'd'));\n"
        "  END LOOP;\n  COMMIT;\nEND;\n/\n");
    BigTable("APP", "C_BIG", 60000, 300);
    Sys("CREATE TABLE app.d_last (n NUMBER);\nINSERT INTO app.d_last VALUES (4);\nCOMMIT;\n");
    ASSERT_EQ(0, mkdir(out_dir().c_str(), 0700));
    ProcResult r = Exp("keep.log", {kNls});
    ASSERT_EQ(0, r.status) << r.err;
    keep_ = ReadFile(dump());
    full_log_ = ReadFile(dir_.file("keep.log"));
  }

  std::string out_dir() const { return dir_.file("out"); }
  std::string dump() const { return out_dir() + "/keep.dmp"; }

  // tabexp over the dump in out/, its log beside the folder.
  ProcResult Exp(const std::string& log, const std::vector<std::string>& env,
                 const std::vector<std::string>& before = {}) {
    std::vector<std::string> argv = before;
    for (const std::string& a : {std::string(TABEXP_PATH), "app/app@" + db_, "FILE=" + dump(),
                                 std::string("OWNER=APP"), "LOG=" + dir_.file(log)})
      argv.push_back(a);
    return testsupport::Run(argv, env);
  }

  // Interrupts an export with `sig` once `path` holds `count` bytes (-b) or
  // lines (-l), and checks what every interrupted run must leave.
  void Interrupt(const char* sig, const char* unit, long count, const std::string& path,
                 const std::string& table) {
    std::string what = std::string(sig) + " after " + std::to_string(count) + unit;
    ::unlink(dir_.file("cut.log").c_str());  // counted from this run's first line
    ProcResult r = Exp("cut.log", {kNls}, {SIGNAL_AFTER_PATH, "-s", sig, unit, std::to_string(count), path, "--"});
    ASSERT_NE(199, r.status) << what << ": the export ended before the signal\n" << r.err;
    EXPECT_EQ(255, r.status) << what << "\n" << r.err;
    std::string line = "Interrupted by SIG" + std::string(sig) + " while exporting table \"" + table + "\".\n";
    EXPECT_TRUE(Contains(r.err, line)) << what << "\n" << r.err;
    EXPECT_TRUE(Contains(r.err, "\nExport terminated unsuccessfully.\n")) << r.err;
    // The earlier dump untouched, nothing else in its folder.
    EXPECT_EQ(std::vector<std::string>{"keep.dmp"}, Entries(out_dir())) << what;
    EXPECT_TRUE(ReadFile(dump()) == keep_) << what << ": the earlier dump changed";
    // The log: the lines of a complete run up to the interrupted table,
    // then the signal's line and the end.
    std::vector<std::string> cut = Lines(ReadFile(dir_.file("cut.log")));
    while (!cut.empty() && cut.back().empty()) cut.pop_back();
    std::vector<std::string> full = Lines(full_log_);
    ASSERT_GE(cut.size(), 3u) << what;
    EXPECT_EQ("Export terminated unsuccessfully.", cut.back()) << what;
    size_t at = 0;
    while (at < cut.size() && at < full.size() && cut[at] == full[at]) at++;
    EXPECT_TRUE(Contains(cut[at], "Interrupted by") || cut[at] == "Table \"" + table + "\":")
        << what << ": the log differs from a full run's at line " << at << ": " << cut[at];
  }

  std::string keep_, full_log_;
};

TEST_F(ExpInterrupt, StopsCleanlyAtSeveralPoints) {
  // The folder holds the earlier dump and grows with the temporary file.
  const long base = static_cast<long>(keep_.size());
  // Inside the LOB values of B_LOBS (10 MB of them).
  Interrupt("INT", "-b", base + 2000000, out_dir(), "B_LOBS");
  // Between the row batches of C_BIG (18 MB), past the LOB table.
  Interrupt("TERM", "-b", base + 14000000, out_dir(), "C_BIG");
  // Once the log says B_LOBS is done: in C_BIG.
  std::vector<std::string> full = Lines(full_log_);
  long lines = 0;
  while (lines < static_cast<long>(full.size()) && !Contains(full[static_cast<size_t>(lines)], "B_LOBS")) lines++;
  ASSERT_LT(lines, static_cast<long>(full.size())) << full_log_;
  Interrupt("HUP", "-l", lines + 1, dir_.file("cut.log"), "C_BIG");

  // A run after the interruptions completes and replaces the dump.
  Sys("INSERT INTO app.d_last VALUES (5);\nCOMMIT;\n");
  ProcResult r = Exp("again.log", {kNls});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(std::vector<std::string>{"keep.dmp"}, Entries(out_dir()));
  EXPECT_FALSE(ReadFile(dump()) == keep_);
}

// A parallel run stops its workers the same way: the spill files beside
// the temporary dump go with it, the earlier dump stays.
TEST_F(ExpInterrupt, AParallelRunStopsItsWorkers) {
  const long base = static_cast<long>(keep_.size());
  for (const char* sig : {"INT", "TERM"}) {
    std::vector<std::string> argv = {SIGNAL_AFTER_PATH, "-s", sig, "-b", std::to_string(base + 3000000),
                                     out_dir(), "--", TABEXP_PATH, "app/app@" + db_, "FILE=" + dump(),
                                     "OWNER=APP", "PARALLEL=3", "CONSISTENT=N"};
    ProcResult r = testsupport::Run(argv, {kNls});
    ASSERT_NE(199, r.status) << sig << ": the export ended before the signal\n" << r.err;
    EXPECT_EQ(255, r.status) << sig << "\n" << r.err;
    EXPECT_TRUE(Contains(r.err, "Interrupted by SIG" + std::string(sig))) << r.err;
    EXPECT_TRUE(Contains(r.err, "\nExport terminated unsuccessfully.\n")) << r.err;
    EXPECT_EQ(std::vector<std::string>{"keep.dmp"}, Entries(out_dir())) << sig;
    EXPECT_TRUE(ReadFile(dump()) == keep_) << sig << ": the earlier dump changed";
  }
}

}  // namespace
}  // namespace reltest

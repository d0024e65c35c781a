// measure_test.cpp - the child-process timer: exit statuses and signals,
// redirections, programs that cannot start, peak memory, and the
// bench_time command line that run.sh relies on.
#include <cstdio>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "measure.h"
#include "support.h"

namespace tabdb::bench {
namespace {

using testsupport::TempDir;

TEST(Measure, StatusOfTheChild) {
  struct Case {
    const char* script;
    int status;
  };
  const Case cases[] = {{"exit 0", 0}, {"exit 3", 3}, {"exit 255", 255}, {"kill -9 $$", 128 + 9}};
  for (const Case& c : cases) {
    Measured m;
    Status st = RunMeasured({"sh", "-c", c.script}, {}, &m);
    ASSERT_TRUE(st.ok()) << st.text();
    EXPECT_EQ(c.status, m.status) << c.script;
  }
}

TEST(Measure, RedirectsAndTime) {
  TempDir dir;
  testsupport::WriteFile(dir.file("in"), "hello\n");
  Measured m;
  Status st = RunMeasured({"sh", "-c", "cat; echo oops >&2; sleep 0.2"},
                          {dir.file("in"), dir.file("out"), dir.file("err")}, &m);
  ASSERT_TRUE(st.ok()) << st.text();
  EXPECT_EQ(0, m.status);
  EXPECT_EQ("hello\n", testsupport::ReadFile(dir.file("out")));
  EXPECT_EQ("oops\n", testsupport::ReadFile(dir.file("err")));
  EXPECT_GE(m.seconds, 0.2);
  EXPECT_LT(m.seconds, 5.0);
}

TEST(Measure, ChildThatCannotStartIsAnError) {
  TempDir dir;
  Measured m;
  Status st = RunMeasured({"/nonexistent/program"}, {}, &m);
  EXPECT_FALSE(st.ok());
  EXPECT_NE(std::string::npos, st.text().find("exec")) << st.text();
  st = RunMeasured({"cat"}, {dir.file("missing"), "", ""}, &m);
  EXPECT_FALSE(st.ok());
  EXPECT_NE(std::string::npos, st.text().find("open input")) << st.text();
}

TEST(Measure, PeakMemoryIsTheChilds) {
  Measured small, big;
  ASSERT_TRUE(RunMeasured({"true"}, {}, &small).ok());
  // dd fills a 64 MiB buffer from /dev/zero.
  ASSERT_TRUE(RunMeasured({"dd", "if=/dev/zero", "of=/dev/null", "bs=64M", "count=1"}, {"", "", "/dev/null"}, &big).ok());
  EXPECT_EQ(0, big.status);
  EXPECT_GT(big.maxrss_kb, 60 * 1024);
  EXPECT_LT(small.maxrss_kb, 16 * 1024);
}

TEST(Measure, CommandLineWritesTheReportAndPassesTheStatus) {
  TempDir dir;
  std::string report = dir.file("r.txt");
  auto r = testsupport::Run({BENCH_TIME_PATH, "-r", report, "-o", dir.file("o"), "--", "sh", "-c", "echo hi; exit 7"});
  EXPECT_EQ(7, r.status) << r.err;
  EXPECT_EQ("hi\n", testsupport::ReadFile(dir.file("o")));
  double secs = -1, user = -1, sys = -1;
  long rss = -1;
  int status = -1;
  ASSERT_EQ(5, std::sscanf(testsupport::ReadFile(report).c_str(), "%lf %ld %d %lf %lf", &secs, &rss, &status, &user, &sys));
  EXPECT_EQ(7, status);
  EXPECT_GE(secs, 0);
  EXPECT_GT(rss, 0);

  // Usage errors and commands that cannot start leave no report.
  auto usage = testsupport::Run({BENCH_TIME_PATH, "--", "true"});
  EXPECT_EQ(2, usage.status);
  std::string none = dir.file("none.txt");
  auto missing = testsupport::Run({BENCH_TIME_PATH, "-r", none, "--", "/nonexistent/x"});
  EXPECT_EQ(127, missing.status);
  EXPECT_NE(std::string::npos, missing.err.find("cannot run")) << missing.err;
  EXPECT_FALSE(std::ifstream(none).good());
}

}  // namespace
}  // namespace tabdb::bench

// lob_memory_test.cpp - memory stays bounded whatever the size of a LOB or
// LONG value: a value written and read back piecewise, in a child process
// of this test program, must leave that process's peak resident memory
// (VmHWM) under 64 MiB. By default values of 64 MiB are moved; with
// TABDB_BIG_TESTS=1 also a 1 GiB BLOB and a 100 MiB LONG (slow).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "lob_oci_util.h"

namespace {

using lobtest::kPiece;
using lobtest::Oci;

constexpr long kLimitKb = 64 * 1024;

// The parent: moves a value of `bytes` bytes of kind `kind` ("blob",
// "clob" or "long") in a child and checks the child's peak memory.
void CheckBounded(const std::string& kind, uint64_t bytes) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer's own memory makes peak figures meaningless";
#endif
  testsupport::ProcResult r = lobtest::RunChild(
      "LobMemoryChild.RoundTrip", {"TABDB_MEM_CHILD=" + kind, "TABDB_MEM_BYTES=" + std::to_string(bytes)});
  ASSERT_EQ(0, r.status) << r.out << r.err;
  size_t at = r.out.find("peak_rss_kb=");
  ASSERT_NE(std::string::npos, at) << r.out;
  long peak = std::strtol(r.out.c_str() + at + 12, nullptr, 10);
  size_t base_at = r.out.find("base_rss_kb=");
  long base = base_at == std::string::npos ? -1 : std::strtol(r.out.c_str() + base_at + 12, nullptr, 10);
  std::printf("%s of %llu bytes: peak RSS %ld KiB (%ld KiB after logon)\n", kind.c_str(),
              static_cast<unsigned long long>(bytes), peak, base);
  ::testing::Test::RecordProperty("peak_rss_kb", static_cast<int>(peak));
  EXPECT_GT(peak, 0);
  EXPECT_LT(peak, kLimitKb) << r.out;
}

bool BigTests() {
  const char* v = std::getenv("TABDB_BIG_TESTS");
  return v != nullptr && std::string(v) == "1";
}

TEST(LobMemory, Blob64MiB) { CheckBounded("blob", 64ull << 20); }
TEST(LobMemory, Clob64MiB) { CheckBounded("clob", 64ull << 20); }
TEST(LobMemory, Long64MiB) { CheckBounded("long", 64ull << 20); }

TEST(LobMemory, Blob1GiB) {
  if (!BigTests()) GTEST_SKIP() << "set TABDB_BIG_TESTS=1 to run";
  CheckBounded("blob", 1ull << 30);
}

TEST(LobMemory, Long100MiB) {
  if (!BigTests()) GTEST_SKIP() << "set TABDB_BIG_TESTS=1 to run";
  CheckBounded("long", 100ull << 20);
}

// The child: skipped unless started by CheckBounded.
TEST(LobMemoryChild, RoundTrip) {
  const char* kind_env = std::getenv("TABDB_MEM_CHILD");
  const char* bytes_env = std::getenv("TABDB_MEM_BYTES");
  if (kind_env == nullptr || bytes_env == nullptr) GTEST_SKIP() << "runs as a child of LobMemory";
  std::string kind = kind_env;
  uint64_t bytes = std::strtoull(bytes_env, nullptr, 10);
  bool text = kind != "blob";
  auto started = std::chrono::steady_clock::now();

  testsupport::TempDir dir;
  std::string path = dir.file("mem.db");
  ASSERT_NO_FATAL_FAILURE(Oci::CreateDatabase(path));
  Oci c;
  ASSERT_NO_FATAL_FAILURE(c.Connect(path));
  long base = lobtest::PeakRssKb();
  lobtest::PatternCheck check;
  check.text = text;
  if (kind == "long") {
    ASSERT_NO_FATAL_FAILURE(c.Run("CREATE TABLE t (id NUMBER, v LONG)"));
    lobtest::LongInsert in;
    ASSERT_TRUE(lobtest::InsertLong(c, "INSERT INTO t (id, v) VALUES (1, :1)", SQLT_LNG,
                                    lobtest::PatternSource(bytes, true), kPiece, false, &in));
    in = lobtest::LongInsert();
    ASSERT_EQ(OCI_SUCCESS, c.Commit()) << c.Error();
    lobtest::LongFetch f;
    ASSERT_TRUE(lobtest::FetchLong(c, "SELECT id, v FROM t", SQLT_LNG, &f, check.sink()));
  } else {
    bool blob = kind == "blob";
    ub2 dty = blob ? SQLT_BLOB : SQLT_CLOB;
    ASSERT_NO_FATAL_FAILURE(
        c.Run(std::string("CREATE TABLE t (id NUMBER, x ") + (blob ? "BLOB" : "CLOB") + ")"));
    std::vector<OCILobLocator*> ret;
    std::vector<sb2> ind;
    ASSERT_EQ(OCI_SUCCESS, c.InsertReturning("INSERT INTO t (id, x) VALUES (1, :1) RETURNING x INTO :2",
                                             {dty}, {SQLCS_IMPLICIT}, {false}, &ret, &ind))
        << c.Error();
    ASSERT_TRUE(lobtest::WriteLob(c, ret[0], SQLCS_IMPLICIT, lobtest::PatternSource(bytes, text), kPiece));
    ASSERT_EQ(OCI_SUCCESS, c.Commit()) << c.Error();
    OCILobLocator* loc = c.Locator();
    sb2 sind = 0;
    ASSERT_EQ(OCI_SUCCESS, c.SelectLocator("SELECT x FROM t", dty, loc, &sind));
    lobtest::LobRead r;
    ASSERT_TRUE(lobtest::ReadLob(c, loc, SQLCS_IMPLICIT, blob, check.sink(), &r));
    EXPECT_EQ(bytes, r.length);
  }
  EXPECT_EQ(bytes, check.seen);
  EXPECT_EQ(UINT64_MAX, check.first_bad) << "content differs from byte " << check.first_bad;
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("base_rss_kb=%ld\npeak_rss_kb=%ld\nseconds=%.1f\n", base, lobtest::PeakRssKb(), secs);
}

}  // namespace

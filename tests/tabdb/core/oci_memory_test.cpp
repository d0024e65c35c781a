// oci_memory_test.cpp - an array insert and an array fetch of many rows run
// in bounded memory: the peak resident size of a process that moves 100000
// rows is close to that of one that moves 20000.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "oci_fixture.h"

namespace ocitest {
namespace {

// A field of /proc/self/status in kB (VmHWM, VmRSS).
long StatusKb(const char* field) {
  std::ifstream f("/proc/self/status");
  std::string line;
  size_t n = std::strlen(field);
  while (std::getline(f, line)) {
    if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':')
      return std::atol(line.c_str() + n + 1);
  }
  return -1;
}

constexpr int kBatch = 1000;
constexpr int kWidth = 1000;

// Inserts `rows` rows in array batches, commits, then fetches them all in
// array batches. Returns the rows fetched, or -1 on a failure.
long MoveRows(const std::string& path, long rows) {
  Conn c;
  if (c.Open(path, "app", "app") != OCI_SUCCESS) return -1;
  if (Exec(c, "CREATE TABLE big (id NUMBER, name VARCHAR2(1000), d DATE)") != 0) return -1;
  std::vector<int32_t> ids(kBatch);
  std::vector<char> names(static_cast<size_t>(kBatch) * kWidth, 'n');
  std::vector<unsigned char> dates(static_cast<size_t>(kBatch) * 7);
  std::vector<sb2> date_ind(kBatch);
  for (int i = 0; i < kBatch; ++i) {
    static const unsigned char d[7] = {0x78, 0x7C, 0x03, 0x0F, 0x0E, 0x2E, 0x1F};
    std::memcpy(&dates[static_cast<size_t>(i) * 7], d, 7);
    date_ind[static_cast<size_t>(i)] = i % 10 == 0 ? -1 : 0;
  }
  {
    Stmt s(c);
    if (s.Prepare("INSERT INTO big VALUES (:1, :2, :3)") != OCI_SUCCESS) return -1;
    s.Bind(1, ids.data(), 4, SQLT_INT);
    s.Bind(2, names.data(), kWidth, SQLT_CHR);
    s.Bind(3, dates.data(), 7, SQLT_DAT, date_ind.data());
    for (long done = 0; done < rows; done += kBatch) {
      for (int i = 0; i < kBatch; ++i) ids[static_cast<size_t>(i)] = static_cast<int32_t>(done + i);
      if (s.Execute(kBatch) != OCI_SUCCESS) return -1;
    }
  }
  if (c.Commit() != OCI_SUCCESS) return -1;
  Stmt q(c);
  if (q.Prepare("SELECT id, name, d FROM big") != OCI_SUCCESS || q.Execute(0) != OCI_SUCCESS)
    return -1;
  std::vector<char> out_names(static_cast<size_t>(kBatch) * (kWidth + 1));
  std::vector<unsigned char> out_dates(static_cast<size_t>(kBatch) * 7);
  std::vector<sb2> ind(kBatch);
  q.Define(1, ids.data(), 4, SQLT_INT);
  q.Define(2, out_names.data(), kWidth + 1, SQLT_STR);
  q.Define(3, out_dates.data(), 7, SQLT_DAT, ind.data());
  long fetched = 0;
  for (;;) {
    sword rc = q.Fetch(kBatch);
    if (rc != OCI_SUCCESS && rc != OCI_NO_DATA) return -1;
    fetched += q.RowsFetched();
    if (rc == OCI_NO_DATA) break;
  }
  return fetched;
}

// Runs MoveRows in a child process; returns the growth of its peak
// resident size in kB over its size at the start, or -1.
long PeakGrowthKb(const std::string& path, long rows) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    // Restart the peak at the current size where the kernel allows it.
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
      std::fputs("5", f);
      std::fclose(f);
    }
    long start = StatusKb("VmRSS");
    long moved = MoveRows(path, rows);
    long growth = moved == rows ? StatusKb("VmHWM") - start : -1;
    ssize_t w = write(fds[1], &growth, sizeof growth);
    _exit(w == sizeof growth ? 0 : 1);
  }
  close(fds[1]);
  long growth = -1;
  if (read(fds[0], &growth, sizeof growth) != sizeof growth) growth = -1;
  close(fds[0]);
  int st = 0;
  waitpid(pid, &st, 0);
  return growth;
}

class OciMemoryTest : public OciTest {};

TEST_F(OciMemoryTest, ArrayInsertAndFetchDoNotGrowWithTheRowCount) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer's own memory makes peak figures meaningless";
#endif
  // Each run gets its own database with the same user.
  auto fresh = [&](const std::string& name) {
    std::string p = dir_.file(name);
    tabdb::Status st = tabdb::Database::Create(p, "manager");
    EXPECT_TRUE(st.ok()) << st.text();
    Conn sys;
    EXPECT_EQ(sys.Open(p, "system", "manager"), OCI_SUCCESS);
    Must(sys, "CREATE USER app IDENTIFIED BY app");
    return p;
  };
  std::string small = fresh("small.db"), large = fresh("large.db");
  long small_kb = PeakGrowthKb(small, 20000);
  long large_kb = PeakGrowthKb(large, 100000);
  ASSERT_GE(small_kb, 0);
  ASSERT_GE(large_kb, 0);
  // Rows of 1000 bytes: 20000 of them already fill the page cache (16 MB),
  // and the 80000 more are 80 MB more data. Bounded memory keeps the
  // difference small.
  EXPECT_LT(large_kb - small_kb, 4 * 1024) << "20000 rows: " << small_kb
                                           << " kB, 100000 rows: " << large_kb << " kB";
}

}  // namespace
}  // namespace ocitest

// writers.cpp - bench_writers: two sessions inserting into two tables at
// once against one session doing both tables, on NARROW-like rows (ID,
// AMOUNT, CREATED, LABEL) bound as arrays of 1 000. The database has one
// write lock, so writers take turns; what they can do at the same time is
// converting their bound values. Prints wall and process CPU seconds of
// each way.
//
//   bench_writers [ROWS_PER_TABLE] [COMMIT_EVERY_BATCHES]
//
// ROWS_PER_TABLE defaults to 200 000; COMMIT_EVERY_BATCHES (default 0)
// commits every that many arrays instead of once at the end of the table.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "oci_conn.h"
#include "storage/database.h"

using namespace tabdb;
using namespace tabdb::bench;

namespace {

constexpr ub4 kBatch = 1000;

struct Options {
  std::string path;
  long rows = 200000;
  long commit_every = 0;  // arrays per commit; 0: once per table
};

double CpuSeconds() {
  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// Inserts opt.rows rows into `table` through one session.
Status FillTable(const Options& opt, const std::string& table) {
  std::unique_ptr<OciConn> conn;
  TABDB_RETURN_IF_ERROR(OciConn::Open("system/manager@" + opt.path, &conn));
  OciStmt stmt(*conn);
  TABDB_RETURN_IF_ERROR(stmt.Prepare("insert into " + table + " values (:1, :2, :3, :4)"));
  std::vector<int64_t> id(kBatch);
  std::vector<char> amount(kBatch * 16), label(kBatch * 20);
  std::vector<ub2> label_len(kBatch);
  std::vector<unsigned char> created(kBatch * 7);
  OCIBind* b = nullptr;
  OCIError* err = conn->err();
  OCIBindByPos(stmt.get(), &b, err, 1, id.data(), sizeof(int64_t), SQLT_INT, nullptr, nullptr, nullptr, 0,
               nullptr, OCI_DEFAULT);
  OCIBindByPos(stmt.get(), &b, err, 2, amount.data(), 16, SQLT_STR, nullptr, nullptr, nullptr, 0, nullptr,
               OCI_DEFAULT);
  OCIBindByPos(stmt.get(), &b, err, 3, created.data(), 7, SQLT_DAT, nullptr, nullptr, nullptr, 0, nullptr,
               OCI_DEFAULT);
  OCIBindByPos(stmt.get(), &b, err, 4, label.data(), 20, SQLT_CHR, nullptr, label_len.data(), nullptr, 0,
               nullptr, OCI_DEFAULT);
  long batches = 0;
  for (long first = 0; first < opt.rows; first += kBatch) {
    ub4 n = static_cast<ub4>(std::min<long>(kBatch, opt.rows - first));
    for (ub4 i = 0; i < n; ++i) {
      long r = first + i;
      id[i] = r;
      std::snprintf(&amount[i * 16], 16, "%ld.%02ld", r % 100000, r % 100);
      unsigned char* d = &created[i * 7];
      d[0] = 120;
      d[1] = 124;
      d[2] = static_cast<unsigned char>(1 + r % 12);
      d[3] = static_cast<unsigned char>(1 + r % 28);
      d[4] = d[5] = d[6] = 1;
      char buf[32];
      int len = std::snprintf(buf, sizeof buf, "label %ld", r);
      std::memcpy(&label[i * 20], buf, static_cast<size_t>(len));
      label_len[i] = static_cast<ub2>(len);
    }
    TABDB_RETURN_IF_ERROR(stmt.Execute(n));
    if (opt.commit_every > 0 && ++batches % opt.commit_every == 0) TABDB_RETURN_IF_ERROR(conn->Commit());
  }
  return conn->Commit();
}

Status MakeTables(const Options& opt, const char* suffix) {
  std::unique_ptr<OciConn> conn;
  TABDB_RETURN_IF_ERROR(OciConn::Open("system/manager@" + opt.path, &conn));
  for (const char* t : {"A", "B"}) {
    TABDB_RETURN_IF_ERROR(conn->Exec(std::string("create table NARROW_") + t + suffix +
                                     " (ID NUMBER(10), AMOUNT NUMBER(12,2), CREATED DATE, LABEL VARCHAR2(20))"));
  }
  return conn->Commit();
}

void Report(const char* what, double wall, double cpu) {
  std::printf("%-36s wall %7.3f s  cpu %7.3f s\n", what, wall, cpu);
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  if (argc > 1) opt.rows = std::atol(argv[1]);
  if (argc > 2) opt.commit_every = std::atol(argv[2]);
  if (opt.rows <= 0 || opt.commit_every < 0) {
    std::fprintf(stderr, "usage: bench_writers [ROWS_PER_TABLE] [COMMIT_EVERY_BATCHES]\n");
    return 2;
  }
  const char* tmp = std::getenv("TMPDIR");
  opt.path = std::string(tmp ? tmp : "/tmp") + "/tabwriters." + std::to_string(getpid()) + ".db";
  setenv("NLS_LANG", "AMERICAN_AMERICA.AL32UTF8", 1);
  // A writer waits for the other's whole table.
  setenv("TABDB_LOCK_TIMEOUT_MS", "600000", 0);
  Status st = Database::Create(opt.path, "manager");
  if (st.ok()) st = MakeTables(opt, "1");
  if (st.ok()) st = MakeTables(opt, "2");
  std::printf("%ld rows per table, %s\n", opt.rows,
              opt.commit_every ? ("commit every " + std::to_string(opt.commit_every) + " arrays").c_str()
                               : "one commit per table");
  if (st.ok()) {
    auto t0 = std::chrono::steady_clock::now();
    double c0 = CpuSeconds();
    st = FillTable(opt, "NARROW_A1");
    if (st.ok()) st = FillTable(opt, "NARROW_B1");
    Report("one session, both tables", std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(),
           CpuSeconds() - c0);
  }
  if (st.ok()) {
    auto t0 = std::chrono::steady_clock::now();
    double c0 = CpuSeconds();
    Status sa, sb;
    std::thread a([&] { sa = FillTable(opt, "NARROW_A2"); });
    std::thread b([&] { sb = FillTable(opt, "NARROW_B2"); });
    a.join();
    b.join();
    st = sa.ok() ? sb : sa;
    Report("two sessions in two threads", std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(),
           CpuSeconds() - c0);
  }
  for (const char* s : {"", "-wal", "-shm", "-users"}) ::unlink((opt.path + s).c_str());
  if (!st.ok()) {
    std::fprintf(stderr, "bench_writers: %s\n", st.text().c_str());
    return 1;
  }
  return 0;
}

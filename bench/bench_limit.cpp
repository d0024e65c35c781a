// bench_limit.cpp - command line of the plain SQLite baseline: exports a
// schema's stored tables to a file, or loads such a file into copies of
// the tables, and prints what it moved.
#include <chrono>
#include <cstdio>
#include <cstring>

#include "limit.h"

using namespace tabdb;
using namespace tabdb::bench;

int main(int argc, char** argv) {
  bool is_export = argc == 5 && std::strcmp(argv[1], "export") == 0;
  bool is_import = argc == 4 && std::strcmp(argv[1], "import") == 0;
  if (!is_export && !is_import) {
    std::fprintf(stderr,
                 "usage: bench_limit export DBFILE OWNER FILE\n"
                 "       bench_limit import DBFILE FILE\n"
                 "OWNER is the schema's exact (stored) name, e.g. BENCH.\n");
    return 2;
  }
  auto start = std::chrono::steady_clock::now();
  LimitStats stats;
  Status st = is_export ? LimitExport(argv[2], argv[3], argv[4], &stats)
                        : LimitImport(argv[2], argv[3], &stats);
  if (!st.ok()) {
    std::fprintf(stderr, "bench_limit: %s\n", st.text().c_str());
    return 1;
  }
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%s %lld tables, %lld rows, %lld LOB/LONG values (%lld bytes), file %lld bytes, %.3f s\n",
              is_export ? "exported" : "imported", static_cast<long long>(stats.tables),
              static_cast<long long>(stats.rows), static_cast<long long>(stats.lob_values),
              static_cast<long long>(stats.lob_bytes), static_cast<long long>(stats.file_bytes), secs);
  return 0;
}

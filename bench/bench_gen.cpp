// bench_gen.cpp - command line of the data generator: logs on as the
// schema's owner and fills the reference tables at a named or explicit size.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "generator.h"

using namespace tabdb;
using namespace tabdb::bench;

namespace {

void Usage() {
  std::fprintf(stderr,
               "usage: bench_gen USER/PASSWORD@FILE [SIZE=small|medium|large] [TABLES=all|list]\n"
               "                 [NARROW=rows] [WIDE=rows] [LOBS=rows] [LONGS=rows]\n"
               "                 [CLOB_BYTES=n] [BLOB_BYTES=n] [LONG_BYTES=n]\n"
               "Creates the listed tables (NARROW, WIDE, LOBS, LONGS; default all) in the\n"
               "user's schema and fills them. Explicit row counts override the size.\n");
}

// Parses a non-negative count; false when `text` is not one.
bool ParseCount(const char* text, int64_t* out) {
  if (*text == '\0') return false;
  char* end = nullptr;
  long long v = std::strtoll(text, &end, 10);
  if (*end != '\0' || v < 0) return false;
  *out = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strchr(argv[1], '/') == nullptr) {
    Usage();
    return 2;
  }
  GenOptions opt;
  std::string size = "small", tables = "all";
  int64_t counts[7] = {-1, -1, -1, -1, -1, -1, -1};
  const char* keys[7] = {"NARROW=", "WIDE=", "LOBS=", "LONGS=", "CLOB_BYTES=", "BLOB_BYTES=", "LONG_BYTES="};
  for (int i = 2; i < argc; i++) {
    const char* a = argv[i];
    bool known = false;
    if (std::strncmp(a, "SIZE=", 5) == 0) {
      size = a + 5;
      known = true;
    } else if (std::strncmp(a, "TABLES=", 7) == 0) {
      tables = a + 7;
      known = true;
    }
    for (int k = 0; k < 7 && !known; k++) {
      size_t n = std::strlen(keys[k]);
      if (std::strncmp(a, keys[k], n) != 0) continue;
      if (!ParseCount(a + n, &counts[k])) {
        std::fprintf(stderr, "bench_gen: %s needs a count\n", keys[k]);
        return 2;
      }
      known = true;
    }
    if (!known) {
      std::fprintf(stderr, "bench_gen: unknown argument \"%s\"\n", a);
      Usage();
      return 2;
    }
  }
  Status st = SizesFor(size, &opt.sizes);
  if (st.ok()) st = ParseRefTables(tables, &opt.tables);
  if (!st.ok()) {
    std::fprintf(stderr, "bench_gen: %s\n", st.text().c_str());
    return 2;
  }
  if (counts[0] >= 0) opt.sizes.narrow = counts[0];
  if (counts[1] >= 0) opt.sizes.wide = counts[1];
  if (counts[2] >= 0) opt.sizes.lob = counts[2];
  if (counts[3] >= 0) opt.sizes.long_rows = counts[3];
  if (counts[4] >= 0) opt.clob_bytes = static_cast<size_t>(counts[4]);
  if (counts[5] >= 0) opt.blob_bytes = static_cast<size_t>(counts[5]);
  if (counts[6] >= 0) opt.long_bytes = static_cast<size_t>(counts[6]);

  // Values travel in the client character set: UTF-8 unless the caller
  // chose another.
  setenv("NLS_LANG", "AMERICAN_AMERICA.AL32UTF8", 0);

  auto start = std::chrono::steady_clock::now();
  std::unique_ptr<OciConn> conn;
  st = OciConn::Open(argv[1], &conn);
  GenStats stats;
  if (st.ok()) st = Generate(*conn, opt, &stats);
  if (!st.ok()) {
    std::fprintf(stderr, "bench_gen: %s\n", st.text().c_str());
    return 1;
  }
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  for (RefTable t : opt.tables)
    std::printf("rows %s %lld\n", RefTableName(t), static_cast<long long>(opt.sizes.RowsOf(t)));
  std::printf("generated %lld rows and %lld LOB/LONG bytes in %.2f s\n",
              static_cast<long long>(stats.rows), static_cast<long long>(stats.lob_bytes), secs);
  return 0;
}

// generator.h - fills the benchmark's reference schema through OCI: a
// narrow table, a wide table over every ordinary column type, a table of
// CLOB and BLOB values and a table of LONG values, with deterministic
// contents so that every run measures the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "oci_conn.h"
#include "util/status.h"

namespace tabdb::bench {

// The reference tables, in the order they are created.
enum class RefTable { kNarrow, kWide, kLob, kLong };

// Names of the tables in the schema: NARROW, WIDE, LOBS, LONGS.
const char* RefTableName(RefTable t);
// Accepts the names above in any case, and "all" for every table.
Status ParseRefTables(std::string_view list, std::vector<RefTable>* out);

// Rows per table.
struct GenSizes {
  int64_t narrow = 0;
  int64_t wide = 0;
  int64_t lob = 0;
  int64_t long_rows = 0;

  int64_t RowsOf(RefTable t) const;
};

// Named sizes: "small" (a CI smoke run of a few seconds), "medium" (for
// profiling) and "large" (1 000 000 narrow rows and proportionate others).
Status SizesFor(std::string_view name, GenSizes* out);

struct GenOptions {
  GenSizes sizes;
  std::vector<RefTable> tables;
  // Average value sizes; each row's value varies by up to +-20 %.
  size_t clob_bytes = 10 * 1024;
  size_t blob_bytes = 50 * 1024;
  size_t long_bytes = 100 * 1024;
  // Rows per array insert and per commit.
  uint32_t batch_rows = 1000;
  uint32_t commit_rows = 50000;
};

struct GenStats {
  int64_t rows = 0;
  int64_t lob_bytes = 0;   // CLOB, BLOB and LONG bytes written
};

// Creates the selected tables in the session's own schema (they must not
// exist) and fills them. The contents depend only on the row numbers and
// the value sizes.
Status Generate(OciConn& conn, const GenOptions& opt, GenStats* stats);

// The deterministic contents, exposed for the checks of the tests.
// Text of about `target` bytes (UTF-8, mostly ASCII with some two- and
// three-byte characters, never cut inside a character) for row `row`.
std::string GenText(uint64_t row, uint64_t salt, size_t target);
// `n` pseudo-random bytes for row `row`.
std::string GenBytes(uint64_t row, uint64_t salt, size_t n);
// The size of row `row`'s value for an average of `avg` bytes (+-20 %).
size_t GenSize(uint64_t row, uint64_t salt, size_t avg);

}  // namespace tabdb::bench

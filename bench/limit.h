// limit.h - the baseline the programs are measured against: plain SQLite
// code that copies one schema's tables with the same stored bytes, with no
// OCI layer, value conversion or dump format in the way.
//
// Export reads every row of each table's physical table and, for LOB and
// LONG columns, the value's row in tab$lob and its chunks, and writes them
// to a file. Import reads that file and inserts the rows into empty copies
// of the physical tables (and the chunks into empty copies of tab$lob and
// tab$lobdata) in one transaction, with one prepared statement per table.
#pragma once

#include <cstdint>
#include <string>

#include "util/status.h"

namespace tabdb::bench {

struct LimitStats {
  int64_t tables = 0;
  int64_t rows = 0;
  int64_t lob_values = 0;   // LOB and LONG values carried with their chunks
  int64_t lob_bytes = 0;    // bytes of those chunks
  int64_t file_bytes = 0;   // size of the file written or read
};

// Name given to the copy of physical table `phys` by LimitImport.
std::string LimitCopyName(const std::string& phys);
// Names of the copies of the chunk tables.
constexpr const char* kLimitLobTable = "limit$lob";
constexpr const char* kLimitLobDataTable = "limit$lobdata";

// Writes the tables of schema `owner` (exact, case-sensitive name) of the
// database file `db_path` to `out_path`. A LOB or LONG column value that
// names no stored value fails (the database is damaged).
Status LimitExport(const std::string& db_path, const std::string& owner,
                   const std::string& out_path, LimitStats* stats);

// Loads `in_path` into `db_path`: per table an empty copy of its physical
// table named LimitCopyName(phys) (an earlier copy is replaced), LOB and
// LONG values under new ids in the copies of the chunk tables. Everything
// or nothing is committed. The file is checked as it is read: a damaged
// or truncated file fails without a change to the database.
Status LimitImport(const std::string& db_path, const std::string& in_path, LimitStats* stats);

}  // namespace tabdb::bench

// scan_counter.h - counts the rows that full scans of catalog tables step
// through, so that tests can tell a lookup by index from a walk over every
// object of the database. Off unless a test switches it on.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <sqlite3.h>

namespace tabdb {

// Switches counting on or off for connections opened from now on, and
// clears what was counted.
void SetCatalogScanCounting(bool on);

// Installs the counter on a new connection when counting is on.
void WatchCatalogScans(sqlite3* db);

// Rows stepped through by full scans in statements that read catalog
// tables (their SQL names a tab$ table), since counting was switched on.
uint64_t CatalogScanSteps();

// The statements that scanned most, by their SQL text, largest first.
std::vector<std::pair<std::string, uint64_t>> CatalogScanStatements(size_t max);

}  // namespace tabdb

// scan_hooks.cpp - the test hooks over the catalog scan counter of the
// storage layer: switch it on, read the count and the statements behind it.
#include "client/test_hooks.h"
#include "storage/scan_counter.h"

namespace tabdb {
namespace testing {

void CountCatalogScans(bool on) { SetCatalogScanCounting(on); }

uint64_t CatalogScanSteps() { return tabdb::CatalogScanSteps(); }

std::string CatalogScanReport(size_t max) {
  std::string out;
  for (const auto& kv : CatalogScanStatements(max))
    out += std::to_string(kv.second) + "\t" + kv.first + "\n";
  return out;
}

}  // namespace testing
}  // namespace tabdb

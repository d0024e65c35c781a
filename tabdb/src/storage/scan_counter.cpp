// scan_counter.cpp - the catalog scan counter: a profile callback on each
// watched connection reads SQLite's full-scan step count of every finished
// statement whose SQL reads a catalog table.
#include "storage/scan_counter.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

namespace tabdb {
namespace {

std::atomic<bool> g_counting{false};
std::atomic<uint64_t> g_steps{0};
std::mutex g_mu;
std::map<std::string, uint64_t>* g_by_sql = nullptr;  // guarded by g_mu

int OnProfile(unsigned type, void*, void* p, void*) {
  if (type != SQLITE_TRACE_PROFILE || !g_counting.load(std::memory_order_relaxed)) return 0;
  sqlite3_stmt* stmt = static_cast<sqlite3_stmt*>(p);
  int n = sqlite3_stmt_status(stmt, SQLITE_STMTSTATUS_FULLSCAN_STEP, 1);
  if (n <= 0) return 0;
  const char* sql = sqlite3_sql(stmt);
  if (sql == nullptr || std::strstr(sql, "tab$") == nullptr) return 0;
  g_steps += static_cast<uint64_t>(n);
  std::lock_guard<std::mutex> lock(g_mu);
  if (g_by_sql == nullptr) g_by_sql = new std::map<std::string, uint64_t>;
  (*g_by_sql)[sql] += static_cast<uint64_t>(n);
  return 0;
}

}  // namespace

void SetCatalogScanCounting(bool on) {
  std::lock_guard<std::mutex> lock(g_mu);
  g_counting = on;
  g_steps = 0;
  if (g_by_sql) g_by_sql->clear();
}

#ifdef TABDB_TEST_HOOKS
// TABDB_SCAN_REPORT=FILE (builds with the test hooks): counts in every
// connection of the process and writes the statements that scanned catalog
// tables to FILE at its exit, for looking at a program run as a whole.
static void WriteReportAtExit() {
  const char* path = std::getenv("TABDB_SCAN_REPORT");
  if (path == nullptr) return;
  if (FILE* f = std::fopen(path, "w")) {
    std::fprintf(f, "%llu\ttotal\n", static_cast<unsigned long long>(g_steps.load()));
    for (const auto& kv : CatalogScanStatements(50))
      std::fprintf(f, "%llu\t%s\n", static_cast<unsigned long long>(kv.second), kv.first.c_str());
    std::fclose(f);
  }
}
#endif

void WatchCatalogScans(sqlite3* db) {
#ifdef TABDB_TEST_HOOKS
  static std::once_flag from_env;
  std::call_once(from_env, [] {
    const char* path = std::getenv("TABDB_SCAN_REPORT");
    if (path != nullptr && *path != '\0') {
      g_counting = true;
      std::atexit(WriteReportAtExit);
    }
  });
#endif
  if (g_counting.load()) sqlite3_trace_v2(db, SQLITE_TRACE_PROFILE, OnProfile, nullptr);
}

uint64_t CatalogScanSteps() { return g_steps.load(); }

std::vector<std::pair<std::string, uint64_t>> CatalogScanStatements(size_t max) {
  std::vector<std::pair<std::string, uint64_t>> out;
  {
    std::lock_guard<std::mutex> lock(g_mu);
    if (g_by_sql) out.assign(g_by_sql->begin(), g_by_sql->end());
  }
  std::sort(out.begin(), out.end(),
            [](const auto& a, const auto& b) { return a.second > b.second; });
  if (out.size() > max) out.resize(max);
  return out;
}

}  // namespace tabdb

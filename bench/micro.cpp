// micro.cpp - micro-benchmarks of the per-row paths tabexp and tabimp use,
// on the narrow reference table: array fetch and array insert through OCI
// beside the same work done with plain SQLite calls on the physical table.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "generator.h"
#include "oci_conn.h"
#include "storage/database.h"

using namespace tabdb;
using namespace tabdb::bench;

namespace {

// Rows of the table: 100 000, or BENCH_MICRO_ROWS (a multiple of kBatch).
int64_t RowCount() {
  const char* v = std::getenv("BENCH_MICRO_ROWS");
  long long n = v ? std::atoll(v) : 0;
  return n >= 1000 ? n / 1000 * 1000 : 100000;
}
const int64_t kRows = RowCount();
constexpr ub4 kBatch = 1000;

// The database of the run: a file in TMPDIR with NARROW (kRows rows) and an
// empty NARROW_COPY in SYSTEM's schema, removed at exit.
struct Fixture {
  std::string path;
  std::string phys, copy_phys;
  bool ok = false;

  Fixture() {
    const char* tmp = std::getenv("TMPDIR");
    path = std::string(tmp ? tmp : "/tmp") + "/tabmicro." + std::to_string(getpid()) + ".db";
    setenv("NLS_LANG", "AMERICAN_AMERICA.AL32UTF8", 1);
    Status st = Database::Create(path, "manager");
    std::unique_ptr<OciConn> conn;
    if (st.ok()) st = OciConn::Open("system/manager@" + path, &conn);
    GenOptions opt;
    opt.sizes = GenSizes{kRows, 0, 0, 0};
    opt.tables = {RefTable::kNarrow};
    GenStats stats;
    if (st.ok()) st = Generate(*conn, opt, &stats);
    if (st.ok()) st = conn->Exec(
        "create table NARROW_COPY (ID NUMBER(10), AMOUNT NUMBER(12,2), CREATED DATE, LABEL VARCHAR2(20))");
    if (st.ok()) st = conn->Commit();
    conn.reset();
    if (!st.ok()) {
      std::fprintf(stderr, "micro: %s\n", st.text().c_str());
      return;
    }
    phys = Phys("NARROW");
    copy_phys = Phys("NARROW_COPY");
    ok = !phys.empty() && !copy_phys.empty();
  }
  ~Fixture() {
    for (const char* suffix : {"", "-wal", "-shm"}) ::unlink((path + suffix).c_str());
  }
  std::string Phys(const char* name) {
    sqlite3* db = nullptr;
    std::string out;
    if (sqlite3_open(path.c_str(), &db) == SQLITE_OK) {
      sqlite3_stmt* s = nullptr;
      sqlite3_prepare_v2(db,
                         "SELECT t.phys FROM tab$objects o JOIN tab$tables t USING (obj_id) "
                         "WHERE o.name = ?1",
                         -1, &s, nullptr);
      sqlite3_bind_text(s, 1, name, -1, SQLITE_STATIC);
      if (sqlite3_step(s) == SQLITE_ROW) out = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
      sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return out;
  }
};

Fixture& Db() {
  static Fixture f;
  return f;
}

// Fetch arrays of the narrow table in tabexp's external types.
struct NarrowArrays {
  static constexpr size_t kWidth[4] = {22, 22, 7, 20};
  static constexpr ub2 kDty[4] = {SQLT_NUM, SQLT_NUM, SQLT_DAT, SQLT_CHR};
  std::vector<uint8_t> data[4];
  std::vector<sb2> ind[4];
  std::vector<ub2> len[4];
  NarrowArrays() {
    for (int c = 0; c < 4; c++) {
      data[c].resize(kWidth[c] * kBatch);
      ind[c].resize(kBatch);
      len[c].resize(kBatch);
    }
  }
};

void BM_OciArrayFetch(benchmark::State& state) {
  if (!Db().ok) return state.SkipWithError("no database");
  std::unique_ptr<OciConn> conn;
  if (!OciConn::Open("system/manager@" + Db().path, &conn).ok()) return state.SkipWithError("logon");
  NarrowArrays a;
  int64_t rows = 0;
  for (auto _ : state) {
    OciStmt stmt(*conn);
    if (!stmt.Prepare("select ID, AMOUNT, CREATED, LABEL from NARROW").ok()) return state.SkipWithError("prepare");
    for (int c = 0; c < 4; c++) {
      OCIDefine* d = nullptr;
      OCIDefineByPos(stmt.get(), &d, conn->err(), static_cast<ub4>(c + 1), a.data[c].data(),
                     static_cast<sb4>(a.kWidth[c]), a.kDty[c], a.ind[c].data(), a.len[c].data(), nullptr,
                     OCI_DEFAULT);
      OCIDefineArrayOfStruct(d, conn->err(), static_cast<ub4>(a.kWidth[c]), sizeof(sb2), sizeof(ub2), 0);
    }
    if (!stmt.Execute(0).ok()) return state.SkipWithError("execute");
    sword rc;
    do {
      rc = OCIStmtFetch(stmt.get(), conn->err(), kBatch, OCI_FETCH_NEXT, OCI_DEFAULT);
      ub4 got = 0, sz = sizeof got;
      OCIAttrGet(stmt.get(), OCI_HTYPE_STMT, &got, &sz, OCI_ATTR_ROWS_FETCHED, conn->err());
      rows += got;
    } while (rc == OCI_SUCCESS);
    if (rc != OCI_NO_DATA) return state.SkipWithError("fetch");
  }
  state.SetItemsProcessed(rows);
}
BENCHMARK(BM_OciArrayFetch)->Unit(benchmark::kMillisecond);

void BM_SqliteStep(benchmark::State& state) {
  if (!Db().ok) return state.SkipWithError("no database");
  sqlite3* db = nullptr;
  sqlite3_open_v2(Db().path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  NarrowArrays a;
  int64_t rows = 0;
  for (auto _ : state) {
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, ("SELECT c1, c2, c3, c4 FROM " + Db().phys).c_str(), -1, &s, nullptr);
    ub4 r = 0;
    while (sqlite3_step(s) == SQLITE_ROW) {
      for (int c = 0; c < 4; c++) {
        const void* p = sqlite3_column_blob(s, c);
        size_t n = static_cast<size_t>(sqlite3_column_bytes(s, c));
        if (n > a.kWidth[c]) n = a.kWidth[c];
        if (p) std::memcpy(&a.data[c][r * a.kWidth[c]], p, n);
        a.ind[c][r] = p ? 0 : -1;
        a.len[c][r] = static_cast<ub2>(n);
      }
      r = (r + 1) % kBatch;
      rows++;
    }
    sqlite3_finalize(s);
  }
  sqlite3_close(db);
  state.SetItemsProcessed(rows);
}
BENCHMARK(BM_SqliteStep)->Unit(benchmark::kMillisecond);

// Fills the arrays with kBatch rows of the table in storage order.
bool LoadBatch(NarrowArrays* a) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(Db().path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(db, ("SELECT c1, c2, c3, c4 FROM " + Db().phys + " LIMIT " + std::to_string(kBatch)).c_str(),
                     -1, &s, nullptr);
  ub4 r = 0;
  while (s && sqlite3_step(s) == SQLITE_ROW && r < kBatch) {
    for (int c = 0; c < 4; c++) {
      size_t n = static_cast<size_t>(sqlite3_column_bytes(s, c));
      std::memcpy(&a->data[c][r * a->kWidth[c]], sqlite3_column_blob(s, c), n);
      a->ind[c][r] = 0;
      a->len[c][r] = static_cast<ub2>(n);
    }
    r++;
  }
  sqlite3_finalize(s);
  sqlite3_close(db);
  return r == kBatch;
}

void BM_OciArrayInsert(benchmark::State& state) {
  if (!Db().ok) return state.SkipWithError("no database");
  NarrowArrays a;
  if (!LoadBatch(&a)) return state.SkipWithError("no rows");
  std::unique_ptr<OciConn> conn;
  if (!OciConn::Open("system/manager@" + Db().path, &conn).ok()) return state.SkipWithError("logon");
  OciStmt stmt(*conn);
  if (!stmt.Prepare("insert into NARROW_COPY values (:1, :2, :3, :4)").ok()) return state.SkipWithError("prepare");
  for (int c = 0; c < 4; c++) {
    OCIBind* b = nullptr;
    OCIBindByPos(stmt.get(), &b, conn->err(), static_cast<ub4>(c + 1), a.data[c].data(),
                 static_cast<sb4>(a.kWidth[c]), a.kDty[c], a.ind[c].data(), a.len[c].data(), nullptr, 0,
                 nullptr, OCI_DEFAULT);
    OCIBindArrayOfStruct(b, conn->err(), static_cast<ub4>(a.kWidth[c]), sizeof(sb2), sizeof(ub2), 0);
  }
  int64_t rows = 0;
  for (auto _ : state) {
    for (int64_t done = 0; done < kRows; done += kBatch) {
      if (!stmt.Execute(kBatch).ok()) return state.SkipWithError("insert");
    }
    rows += kRows;
    state.PauseTiming();
    OCITransRollback(conn->svc(), conn->err(), OCI_DEFAULT);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(rows);
}
BENCHMARK(BM_OciArrayInsert)->Unit(benchmark::kMillisecond);

void BM_SqliteInsert(benchmark::State& state) {
  if (!Db().ok) return state.SkipWithError("no database");
  NarrowArrays a;
  if (!LoadBatch(&a)) return state.SkipWithError("no rows");
  sqlite3* db = nullptr;
  sqlite3_open(Db().path.c_str(), &db);
  sqlite3_exec(db, "PRAGMA synchronous=NORMAL; PRAGMA cache_size=-16384", nullptr, nullptr, nullptr);
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(db, ("INSERT INTO " + Db().copy_phys + " VALUES (?1, ?2, ?3, ?4)").c_str(), -1, &s, nullptr);
  int64_t rows = 0;
  for (auto _ : state) {
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (int64_t done = 0; done < kRows; done += kBatch) {
      for (ub4 r = 0; r < kBatch; r++) {
        for (int c = 0; c < 3; c++)
          sqlite3_bind_blob(s, c + 1, &a.data[c][r * a.kWidth[c]], a.len[c][r], SQLITE_STATIC);
        sqlite3_bind_text(s, 4, reinterpret_cast<const char*>(&a.data[3][r * a.kWidth[3]]), a.len[3][r],
                          SQLITE_STATIC);
        if (sqlite3_step(s) != SQLITE_DONE) return state.SkipWithError(sqlite3_errmsg(db));
        sqlite3_reset(s);
      }
    }
    rows += kRows;
    state.PauseTiming();
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    state.ResumeTiming();
  }
  sqlite3_finalize(s);
  sqlite3_close(db);
  state.SetItemsProcessed(rows);
}
BENCHMARK(BM_SqliteInsert)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

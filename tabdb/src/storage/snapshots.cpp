// snapshots.cpp - the pinned commits of the process: per database file and
// SCN, the spare connections reading at it and the sessions holding it.
#include "storage/snapshots.h"

#include <algorithm>
#include <list>
#include <mutex>
#include <vector>

#include "storage/database.h"
#include "util/errors.h"

namespace tabdb {
namespace {

// Spares kept per pinned SCN: sessions that enable flashback one after the
// other take them; each one taken is replaced while the file allows it.
constexpr size_t kSpares = 8;

struct Pin {
  std::string path;
  int64_t scn = 0;
  std::vector<sqlite3*> idle;
  std::vector<const void*> holders;
};

std::mutex g_mu;
// Never destroyed: sessions of other threads may still end during exit.
std::list<Pin>* g_pins = nullptr;  // guarded by g_mu

void CloseSpare(sqlite3* db) {
  (void)sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close_v2(db);
}

// A new connection of `path` reading at the newest commit, and its SCN.
Status OpenAtNewest(const std::string& path, sqlite3** out, int64_t* scn) {
  sqlite3* db = nullptr;
  TABDB_RETURN_IF_ERROR(Database::OpenConnection(path, false, &db));
  Status st = BeginSnapshotRead(db, scn);
  if (!st.ok()) {
    sqlite3_close_v2(db);
    return st;
  }
  *out = db;
  return Status::Ok();
}

// Opens spares of `pin` until it has kSpares idle ones or the file has
// moved past its SCN. Called with g_mu held.
void TopUp(Pin& pin) {
  while (pin.idle.size() < kSpares) {
    sqlite3* db = nullptr;
    int64_t at = 0;
    if (!OpenAtNewest(pin.path, &db, &at).ok()) return;
    if (at != pin.scn) {
      CloseSpare(db);
      return;
    }
    pin.idle.push_back(db);
  }
}

Pin* FindPin(const std::string& path, int64_t scn) {
  if (g_pins == nullptr) return nullptr;
  for (Pin& p : *g_pins)
    if (p.scn == scn && p.path == path) return &p;
  return nullptr;
}

}  // namespace

Status BeginSnapshotRead(sqlite3* db, int64_t* scn) {
  int rc = sqlite3_exec(db, "BEGIN DEFERRED", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return SqliteError(db, rc);
  // The first read of the transaction takes its snapshot.
  sqlite3_stmt* s = nullptr;
  rc = sqlite3_prepare_v2(db, "SELECT v FROM tab$meta WHERE k = 'scn'", -1, &s, nullptr);
  if (rc == SQLITE_OK) {
    rc = sqlite3_step(s);
    *scn = rc == SQLITE_ROW ? sqlite3_column_int64(s, 0) : 1;
    if (rc == SQLITE_ROW || rc == SQLITE_DONE) rc = SQLITE_OK;
  }
  sqlite3_finalize(s);
  if (rc != SQLITE_OK) {
    Status st = SqliteError(db, rc);
    (void)sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return st;
  }
  return Status::Ok();
}

void HoldWriters(const std::string& path, sqlite3** gate) {
  *gate = nullptr;
  sqlite3* db = nullptr;
  if (!Database::OpenConnection(path, false, &db).ok()) return;
  if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
    sqlite3_close_v2(db);
    return;
  }
  *gate = db;
}

void ReleaseWriters(sqlite3* gate) {
  if (gate == nullptr) return;
  CloseSpare(gate);
}

Status PinSnapshot(const std::string& path, int64_t* scn, const void* holder) {
  std::lock_guard<std::mutex> lock(g_mu);
  if (g_pins == nullptr) g_pins = new std::list<Pin>;
  sqlite3* first = nullptr;  // the spare that chose the newest commit
  if (*scn == 0) TABDB_RETURN_IF_ERROR(OpenAtNewest(path, &first, scn));
  Pin* pin = FindPin(path, *scn);
  if (pin == nullptr) {
    g_pins->emplace_back();
    pin = &g_pins->back();
    pin->path = path;
    pin->scn = *scn;
  }
  if (first != nullptr) pin->idle.push_back(first);
  if (std::find(pin->holders.begin(), pin->holders.end(), holder) == pin->holders.end())
    pin->holders.push_back(holder);
  TopUp(*pin);
  return Status::Ok();
}

void ReleaseSnapshots(const void* holder) {
  std::lock_guard<std::mutex> lock(g_mu);
  if (g_pins == nullptr) return;
  for (auto it = g_pins->begin(); it != g_pins->end();) {
    auto& h = it->holders;
    h.erase(std::remove(h.begin(), h.end(), holder), h.end());
    if (!h.empty()) {
      ++it;
      continue;
    }
    for (sqlite3* db : it->idle) CloseSpare(db);
    it = g_pins->erase(it);
  }
}

Status TakeSnapshot(const std::string& path, int64_t scn, sqlite3** out) {
  std::lock_guard<std::mutex> lock(g_mu);
  if (Pin* pin = FindPin(path, scn); pin != nullptr && !pin->idle.empty()) {
    *out = pin->idle.back();
    pin->idle.pop_back();
    TopUp(*pin);
    return Status::Ok();
  }
  sqlite3* db = nullptr;
  int64_t newest = 0;
  TABDB_RETURN_IF_ERROR(OpenAtNewest(path, &db, &newest));
  if (newest == scn) {
    *out = db;
    return Status::Ok();
  }
  CloseSpare(db);
  if (scn <= 0 || scn > newest) return OraError(ora::kInvalidScn);
  return OraError(ora::kSnapshotTooOld, {"", ""});
}

}  // namespace tabdb

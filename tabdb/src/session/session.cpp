// session.cpp - logon and the end of a session.
#include "session/session.h"

#include <atomic>
#include <cstdint>

#include "storage/password.h"
#include "storage/snapshots.h"
#include "util/errors.h"

namespace tabdb {

// Oracle 19c's names and numbers (the numbers change between releases:
// readers join V$STATNAME by NAME).
const StatisticName kStatistics[kStatisticCount] = {
    {6, "user commits", 1, &NetStats::user_commits},
    {1384, "bytes sent via SQL*Net to client", 1, &NetStats::bytes_to_client},
    {1385, "bytes received via SQL*Net from client", 1, &NetStats::bytes_from_client},
    {1386, "SQL*Net roundtrips to/from client", 1, &NetStats::round_trips},
};

std::string LogonName(const std::string& user) {
  if (user.size() >= 2 && user.front() == '"' && user.back() == '"')
    return user.substr(1, user.size() - 2);
  std::string n = user;
  for (char& c : n) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return n;
}

Status Session::Logon(std::shared_ptr<Database> db, const std::string& user_as_given,
                      const std::string& password, std::unique_ptr<Session>* out) {
  const std::string user = LogonName(user_as_given);
  sqlite3_stmt* s = nullptr;
  TABDB_RETURN_IF_ERROR(db->Cached(
      "SELECT user_id, salt, iterations, hash, is_dba FROM tab$users WHERE name = ?1", &s));
  sqlite3_bind_text(s, 1, user.data(), static_cast<int>(user.size()), SQLITE_TRANSIENT);
  bool row = false;
  TABDB_RETURN_IF_ERROR(db->Step(s, &row));
  if (!row) {
    sqlite3_reset(s);
    BurnPasswordCheck(password);
    return OraError(ora::kInvalidLogon);
  }
  PasswordHash stored;
  stored.salt.assign(static_cast<const char*>(sqlite3_column_blob(s, 1)),
                     static_cast<size_t>(sqlite3_column_bytes(s, 1)));
  // A count that does not fit an int is refused like any count above the
  // cap (CheckPassword), rather than cut to its low bits.
  int64_t iterations = sqlite3_column_int64(s, 2);
  stored.iterations = iterations >= 0 && iterations <= INT32_MAX ? static_cast<int>(iterations) : -1;
  stored.hash.assign(static_cast<const char*>(sqlite3_column_blob(s, 3)),
                     static_cast<size_t>(sqlite3_column_bytes(s, 3)));
  UserInfo info;
  info.user_id = sqlite3_column_int64(s, 0);
  info.name = user;
  info.dba = sqlite3_column_int(s, 4) != 0;
  sqlite3_reset(s);
  if (!CheckPassword(password, stored)) return OraError(ora::kInvalidLogon);
  std::unique_ptr<Session> sess(new Session);
  sess->db_ = std::move(db);
  sess->user_ = info;
  sess->session_user_ = info;
  sess->schema_ = info.name;
  TABDB_RETURN_IF_ERROR(RegisterSession(*sess->db_, info, &sess->reg_));
  Session* self = sess.get();
  sess->db_->SetWaitCheck([self] { return self->WaitCheck(); });
  *out = std::move(sess);
  return Status::Ok();
}

Session::~Session() {
  // A destructor cannot report: a failed rollback leaves the transaction
  // to SQLite, which rolls it back when the connection closes.
  if (db_) (void)db_->Rollback();
  // The connection may serve the next session of its server: it leaves
  // flashback with this one.
  if (db_) db_->LeaveSnapshot();
  ReleaseSnapshots(this);
  if (db_) db_->SetWaitCheck(nullptr);
  if (db_) db_->SetSessionLockTimeout(0);
  if (db_) UnregisterSession(*db_, reg_);
}

// The session was marked for kill: its transaction goes, and this call is
// the last one that is told so; every later one is not logged on.
Status Session::Kill() {
  bool told = kill_seen_;
  killed_ = true;
  kill_seen_ = false;
  reg_.set_waiting(false);
  user_.dba = false;
  open_lobs_ = 0;
  deferred_ = Deferred();
  txn_mode_ = TxnMode::kDefault;
  ReleaseSnapshots(this);
  db_->LeaveSnapshot();
  (void)db_->Rollback();
  return OraError(told ? ora::kNotLoggedOn : ora::kSessionKilled);
}

// Between the waits for another session's lock: the session shows as
// waiting, and a kill ends the wait with ORA-00028 (the transaction is
// rolled back at the next call: SQLite cannot be used from here).
Status Session::WaitCheck() {
  if (reg_.kill_marked() && !killed_) {
    kill_seen_ = true;
    return OraError(ora::kSessionKilled);
  }
  if (!reg_.waiting()) reg_.set_waiting(true);
  return Status::Ok();
}

Status Session::Commit() {
  TABDB_RETURN_IF_ERROR(CheckAlive());
  KeysMayChange();
  if (open_lobs_ > 0) {
    open_lobs_ = 0;
    deferred_ = Deferred();
    TABDB_RETURN_IF_ERROR(db_->Rollback());
    return OraError(ora::kOpenLobsAtCommit);
  }
  TABDB_RETURN_IF_ERROR(CheckDeferred());
  TABDB_RETURN_IF_ERROR(EmptyTransactionTemporaryTables());
  deferred_ = Deferred();
  txn_mode_ = TxnMode::kDefault;
  ReleaseSnapshots(this);
  return db_->Commit();
}

// The rows of the global temporary tables ON COMMIT DELETE ROWS this
// session used (its TEMP tables of them) go with the transaction.
Status Session::EmptyTransactionTemporaryTables() {
  if (!db_->in_transaction()) return Status::Ok();
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(db_->Cached(
      "SELECT s.name FROM temp.sqlite_schema s JOIN tab$tables t ON t.phys = s.name"
      " WHERE s.type = 'table' AND t.temp_rows = 'DELETE'",
      &q));
  std::vector<std::string> names;
  while (true) {
    bool row = false;
    Status st = db_->Step(q, &row);
    if (!st.ok()) {
      sqlite3_reset(q);
      return st;
    }
    if (!row) break;
    names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(q, 0)));
  }
  sqlite3_reset(q);
  for (const std::string& n : names) {
    if (n.size() < 2 || n.size() > 24 || n[0] != 't' || n.find_first_not_of("0123456789", 1) != std::string::npos)
      return OraError(ora::kInternalError, {"temporary table " + n});
    TABDB_RETURN_IF_ERROR(db_->Exec("DELETE FROM temp." + n));
  }
  return Status::Ok();
}

Status Session::Rollback() {
  // A killed session's transaction is rolled back by the kill.
  TABDB_RETURN_IF_ERROR(CheckAlive());
  KeysMayChange();
  ReleaseSnapshots(this);
  open_lobs_ = 0;
  txn_mode_ = TxnMode::kDefault;
  deferred_ = Deferred();
  return db_->Rollback();
}

Status Session::SetTransaction(TxnMode mode) {
  if (db_->in_transaction()) return OraError(ora::kSetTransactionNotFirst);
  txn_mode_ = TxnMode::kDefault;
  if (mode == TxnMode::kDefault) return Status::Ok();
  // The snapshot is the first read of the transaction: taken now, so that
  // the transaction sees the database as of this statement, as Oracle's
  // does.
  TABDB_RETURN_IF_ERROR(db_->BeginRead());
  txn_mode_ = mode;
  return Status::Ok();
}

void Session::TransactionEnded() {
  txn_mode_ = TxnMode::kDefault;
  ReleaseSnapshots(this);
}

bool Session::read_only() const {
  return txn_mode_ == TxnMode::kReadOnly && db_->in_transaction();
}

Status Session::CheckWritable() const {
  if (flashback()) return OraError(ora::kFlashbackMode);
  return read_only() ? OraError(ora::kReadOnlyTransaction) : Status::Ok();
}

namespace {
// Set at every logon, from any thread: atomic so that the stores never race.
std::atomic<Session::DeferredCheckFn> g_deferred_check{nullptr};
}  // namespace

void Session::SetDeferredCheckFn(DeferredCheckFn fn) { g_deferred_check = fn; }

bool Session::IsDeferred(int64_t cons_id, bool deferrable, bool initially_deferred) const {
  if (!deferrable) return false;
  auto it = deferred_.by_cons.find(cons_id);
  if (it != deferred_.by_cons.end()) return it->second;
  if (deferred_.all >= 0) return deferred_.all == 1;
  if (constraints_mode_ >= 0) return constraints_mode_ == 1;
  return initially_deferred;
}

Status Session::CheckDeferred() {
  if (deferred_.empty() || g_deferred_check == nullptr) return Status::Ok();
  Status st = g_deferred_check.load()(*this);
  if (st.ok()) return st;
  deferred_ = Deferred();
  txn_mode_ = TxnMode::kDefault;
  (void)db_->Rollback();
  Status r = OraError(ora::kTransactionRolledBack);
  r.AddLine(st.text());
  return r;
}

Status Session::RefreshUser() {
  if (killed_) return OraError(ora::kNotLoggedOn);
  sqlite3_stmt* s = nullptr;
  TABDB_RETURN_IF_ERROR(
      db_->Cached("SELECT is_dba FROM tab$users WHERE user_id = ?1 AND name = ?2", &s));
  sqlite3_bind_int64(s, 1, user_.user_id);
  sqlite3_bind_text(s, 2, user_.name.data(), static_cast<int>(user_.name.size()), SQLITE_TRANSIENT);
  bool row = false;
  TABDB_RETURN_IF_ERROR(db_->Step(s, &row));
  // Under an owner's definer's rights its roles stay out, whatever the
  // owner holds (a GRANT run inside a unit reads the rights again).
  if (row) user_.dba = !user_.definer_rights && sqlite3_column_int(s, 0) != 0;
  sqlite3_reset(s);
  if (!row) {
    // The user was dropped: the session may do nothing more as anyone.
    killed_ = true;
    user_.dba = false;
    txn_mode_ = TxnMode::kDefault;
    (void)db_->Rollback();
    return OraError(ora::kSessionKilled);
  }
  return Status::Ok();
}

Status Session::CheckRights() {
  TABDB_RETURN_IF_ERROR(CheckAlive());
  if (user_.definer_rights) return Status::Ok();
  int64_t v = 0;
  TABDB_RETURN_IF_ERROR(db_->CatalogVersion(&v));
  if (v == rights_version_) return Status::Ok();
  TABDB_RETURN_IF_ERROR(RefreshUser());
  rights_version_ = v;
  return Status::Ok();
}

}  // namespace tabdb

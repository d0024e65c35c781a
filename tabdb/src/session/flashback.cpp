// flashback.cpp - system change numbers of a session and flashback mode:
// reading the database as of an earlier commit.
#include <sqlite3.h>

#include "session/session.h"
#include "storage/snapshots.h"
#include "util/errors.h"

namespace tabdb {

Status Session::TakeScn(int64_t* out) {
  // A session in flashback reads a connection taken at the SCN already; a
  // transaction that wrote sees commits nobody else can read at it.
  if (flashback() || sqlite3_txn_state(db_->handle(), "main") == SQLITE_TXN_WRITE) return db_->Scn(out);
  // Outside a transaction the SCN is the newest commit, as the spare that
  // pins it sees it: a commit between reading it and pinning it cannot
  // leave it unpinned.
  // When the session's own snapshot is still to be taken (outside a
  // transaction, or as the first read of one), writers are held back
  // while it and the spares are taken, so that a commit in between cannot
  // leave the spares at a newer commit than the session's.
  sqlite3* gate = nullptr;
  if (sqlite3_txn_state(db_->handle(), "main") == SQLITE_TXN_NONE) HoldWriters(db_->path(), &gate);
  *out = 0;
  Status st = Status::Ok();
  if (db_->in_transaction()) st = db_->Scn(out);
  if (st.ok()) st = PinSnapshot(db_->path(), out, this);
  ReleaseWriters(gate);
  return st;
}

Status Session::EnableFlashback(int64_t scn) {
  if (flashback()) return OraError(ora::kFlashbackReenabled);
  if (db_->in_transaction()) return OraError(ora::kFlashbackInTransaction);
  sqlite3* pinned = nullptr;
  TABDB_RETURN_IF_ERROR(TakeSnapshot(db_->path(), scn, &pinned));
  db_->EnterSnapshot(pinned);
  KeysMayChange();
  return Status::Ok();
}

void Session::DisableFlashback() {
  if (!flashback()) return;
  db_->LeaveSnapshot();
  KeysMayChange();
}

}  // namespace tabdb

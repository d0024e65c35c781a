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
  *out = 0;
  if (db_->in_transaction()) TABDB_RETURN_IF_ERROR(db_->Scn(out));
  return PinSnapshot(db_->path(), out, this);
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

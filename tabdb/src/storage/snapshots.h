// snapshots.h - commits of a database file kept readable for the sessions
// of this process that read as of a system change number (flashback).
//
// SQLite gives a new read transaction the newest commit only. So that
// several sessions read one commit, the session that takes an SCN pins it:
// a few spare connections of the file each open a read transaction, and
// those that saw the commit wanted are kept. A session that enables
// flashback at that SCN takes one of them as its connection; taking the
// last one opens a replacement while the file is still at that commit. An
// SCN stays readable while the session that pinned it holds the pin (its
// transaction), and for the sessions that took a connection at it until
// they disable flashback.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>

#include "util/status.h"

namespace tabdb {

// Pins `*scn` of the file at `path` for `holder` (whatever identifies the
// session that took it); `*scn` 0 pins the newest commit and sets `*scn`
// to it. Pinning needs no lock: a spare that saw a newer commit is closed,
// so when the file has moved past `*scn` since the holder's snapshot no
// spare is kept and the SCN is readable only by the holder itself.
// Several pins of one SCN share the spares.
Status PinSnapshot(const std::string& path, int64_t* scn, const void* holder);

// Drops every pin of `holder` (the end of its transaction or session).
// Spares nobody pins any more are closed.
void ReleaseSnapshots(const void* holder);

// A connection of the file whose read transaction is at `scn`, now owned
// by the caller: a pinned spare, or a new connection when the file is
// still at `scn`. ORA-08181 for an SCN no commit had (zero, negative or
// later than the newest), ORA-01555 for an older one nobody pinned.
Status TakeSnapshot(const std::string& path, int64_t scn, sqlite3** out);

// Opens a read transaction on `db` and reads the SCN it sees.
Status BeginSnapshotRead(sqlite3* db, int64_t* scn);

}  // namespace tabdb

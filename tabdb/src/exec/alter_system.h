// alter_system.h - ALTER SYSTEM statements: KILL SESSION; and the session
// parameter that sets how long a session waits for a lock.
#pragma once

#include "session/session.h"
#include "sql/ast.h"
#include "util/status.h"

namespace tabdb {

// ALTER SYSTEM KILL SESSION 'sid,serial#': marks the session of any
// process on the database file, which gets ORA-00028 at its next call (or
// at once while it waits for a lock). ORA-01031 for a user who is not a
// DBA, ORA-00026 for a malformed string, ORA-00027 for the own session,
// ORA-00030 for a pair that names no open session.
Status AlterSystemKill(Session& s, const sql::AlterSystem& a);

// The SID and SERIAL# of 'sid,serial#[,@instance]' (blanks around the
// numbers allowed); false when malformed.
bool ParseSessionId(const std::string& text, int64_t* sid, int64_t* serial);

// ALTER SESSION SET DDL_LOCK_TIMEOUT = n (seconds, 0 to 1 000 000): how
// long the session's statements wait for the database's write lock, held
// by another session, before ORA-00054; never less than the timeout the
// connection was opened with (TABDB_LOCK_TIMEOUT_MS). Oracle lets DML wait
// for row locks without a limit and DDL wait n seconds for its locks; here
// every writer waits for the file's one write lock. ORA-02017 for a value
// that is not an integer, ORA-00068 for one out of range.
Status SetDdlLockTimeout(Session& s, const sql::AlterSession& a);

}  // namespace tabdb

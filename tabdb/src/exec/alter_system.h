// alter_system.h - ALTER SYSTEM statements: KILL SESSION.
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

}  // namespace tabdb

// sqlfunc.h - the SQL functions the engine registers on every connection.
//
// Compiled statements and the dictionary views call these functions inside
// the SQLite statements they generate. Values passed to and returned from
// them are in the engine's byte forms (value.h); type codes are TypeKind
// numbers. A failing function raises an SQLite error whose message is the
// Oracle error text ("ORA-01722: invalid number"), which storage/sqlite_util
// turns back into the Oracle error.
//
// Functions used by other modules:
//   tabdb_num(x)      integer (or NULL) -> NUMBER bytes; for dictionary views
//   tabdb_get_ddl(type, name, schema)    DBMS_METADATA.GET_DDL, CLOB text
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>

#include "session/session.h"
#include "util/status.h"

namespace tabdb {

// Registers all functions on the session's connection (user data = session).
int RegisterSqlFunctions(sqlite3* db, Session* session);

// Registers tabdb_seq(obj_id, mode, name): NEXTVAL (mode 1), CURRVAL
// (mode 0) and a repeated NEXTVAL of the same row (mode 2) of a sequence.
int RegisterSequenceFunctions(sqlite3* db, Session* session);
// Registers tabdb_rowid(object, rowid), a row's ROWID text, and
// tabdb_rowid_bound(rowid text, object, op), the rowid bound of a
// comparison with a ROWID (fn_rowid.cpp).
int RegisterRowidFunctions(sqlite3* db);

// Logs on (Session::Logon) and registers the SQL functions on the new
// session's connection: the session that statements can run on.
Status OpenSession(std::shared_ptr<Database> db, const std::string& user,
                   const std::string& password, std::unique_ptr<Session>* out);

}  // namespace tabdb

// dictionary.h - the data dictionary views (ALL_TABLES, ALL_TAB_COLS, ...).
//
// A view is a SELECT over the catalog tables whose result columns carry
// the names and Oracle types of the view's columns and whose values are in
// the engine's byte forms (text as UTF-8, numbers as NUMBER bytes through
// tabdb_num()). Rows are already restricted to what the session may see:
// a DBA sees every schema, another user only its own objects (USER_ views:
// always the session user's own objects, whatever the current schema).
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

#include "session/session.h"
#include "values/types.h"

namespace tabdb {

struct ViewColumn {
  std::string name;
  TypeDesc type;
};

struct DictionaryView {
  std::string name;
  std::vector<ViewColumn> columns;
  // SELECT whose result columns are exactly `columns`, in order, with those
  // names (usable as a subquery in FROM).
  std::string sql;
};

// Finds a dictionary view by name (ALL_TABLES, USER_TABLES, DBA_TABLES,
// ALL_TAB_COLS, ALL_TAB_COLUMNS, ALL_INDEXES, ALL_IND_COLUMNS,
// ALL_CONSTRAINTS, ALL_CONS_COLUMNS, ALL_USERS, the USER_ and DBA_
// variants, NLS_DATABASE_PARAMETERS and NLS_SESSION_PARAMETERS; DUAL is not
// one of them). Returns false when `name` is not a
// dictionary view. DBA_ views give ORA-00942 to users who are not DBAs
// (reported through *status).
bool FindDictionaryView(Session& s, const std::string& name, DictionaryView* out, Status* status);

// Registers on a connection the SQL function the views call besides
// tabdb_num(): tabdb_dict_date(julianday) -> DATE bytes. FindDictionaryView
// registers it when the connection lacks it; returns an SQLite result code.
int RegisterDictionaryFunctions(sqlite3* db);
// Registers them when the connection lacks them.
void EnsureDictionaryFunctions(sqlite3* db);

namespace cat {
// Registers tabdb_sessions(), the rows of V$SESSION as the session
// `session` sees them (its own session is the ACTIVE one).
int RegisterSessionViewFunction(sqlite3* db, Session* session);
// Registers tabdb_extents(phys), the extents DBA_EXTENTS lists for a
// table (dictionary_extents.cpp).
int RegisterExtentFunctions(sqlite3* db);
// DBA_EXTENTS and USER_EXTENTS; false for another name.
bool FindExtentView(Session& s, const std::string& name, DictionaryView* out, Status* status);
}  // namespace cat

}  // namespace tabdb

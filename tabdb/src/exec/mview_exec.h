// mview_exec.h - building and refreshing materialized views: what runs
// their queries (the catalog records them, catalog/mview.h).
#pragma once

#include <string>

#include "session/session.h"
#include "sql/ast.h"
#include "util/status.h"

namespace tabdb {

// CREATE MATERIALIZED VIEW: makes the container table from the query
// (filled for BUILD IMMEDIATE, empty for BUILD DEFERRED; the existing
// table for ON PREBUILT TABLE, whose columns must match the query's,
// ORA-12060), then records the view.
Status CreateMview(Session& s, const sql::Statement& st);

// DBMS_MVIEW.REFRESH(list [, method]): a complete refresh of each view of
// the comma-separated list, in one transaction that commits. Every method
// letter (C, F, ?, A, P) refreshes completely; another letter is ORA-01760,
// an unknown view ORA-23401.
Status RefreshMviews(Session& s, const std::string& list, const std::string& method);

}  // namespace tabdb

// mview.h - materialized views and their logs in the catalog: the record
// of a view beside its container table, the logs on master tables, and
// the DBMS_METADATA text of both. Building and refreshing a view runs its
// query, which the engine above does (exec/mview_exec.cpp).
#pragma once

#include <string>

#include "session/session.h"
#include "sql/ast.h"
#include "util/status.h"

namespace tabdb {

struct MviewRec {
  int64_t obj_id = 0;     // the view's own object id
  std::string owner, name;
  int64_t table_obj = 0;  // its container table (same owner and name)
  std::string query;      // as written after AS
  std::string aliases;    // "A", "B" as written in the column list, or empty
  std::string build = "IMMEDIATE";
  std::string refresh_method = "FORCE";
  std::string refresh_mode = "DEMAND";
  std::string start_with, next;
  bool with_rowid = false;
  bool rewrite = false;
  bool updatable = false;
  bool refreshed = false;  // filled at least once (built or refreshed)
};

// The view `owner`.`name`; *found false when there is none.
Status LoadMview(Session& s, const std::string& owner, const std::string& name, MviewRec* out,
                 bool* found);
// Notes a complete refresh made now.
Status MviewRefreshed(Session& s, int64_t obj_id);
// Whether table `table_obj` is the container of a materialized view.
Status IsMviewContainer(Session& s, int64_t table_obj, bool* container);
// ORA-01732 for INSERT, UPDATE and DELETE on the container of a view that
// is not updatable (FOR UPDATE), unless a refresh of this thread runs.
Status CheckContainerDml(Session& s, int64_t table_obj);
// Set while a refresh changes containers on this thread (RAII).
class MviewRefreshing {
 public:
  MviewRefreshing();
  ~MviewRefreshing();
  MviewRefreshing(const MviewRefreshing&) = delete;
  MviewRefreshing& operator=(const MviewRefreshing&) = delete;
};
// Whether the session may make a view in `owner`'s schema: ORA-01031 for
// another schema unless a DBA, ORA-01918 when there is no such user.
Status CheckMviewSchema(Session& s, const std::string& owner);
// Drops what belonged to a table that is dropped: a log on it.
Status ForgetMviewLog(Session& s, int64_t table_obj);

// The catalog side of the statements on materialized views: CREATE
// records a view over its container table (made and filled already by the
// engine, or the existing table ON PREBUILT TABLE: ORA-12059 when missing),
// DROP removes the view and its container (kept when prebuilt or with
// PRESERVE TABLE; ORA-12003 for an unknown view), and CREATE / DROP
// MATERIALIZED VIEW LOG keep the logs.
Status MviewDdl(Session& s, const sql::MviewStmt& st);

// DBMS_METADATA.GET_DDL of a MATERIALIZED_VIEW (name = the view) or a
// MATERIALIZED_VIEW_LOG (name = the master table); *found false when none.
Status MviewDdlText(Session& s, const std::string& type, const std::string& schema, const std::string& name,
                    std::string* out, bool* found);

}  // namespace tabdb

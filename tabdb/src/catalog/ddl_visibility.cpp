// ddl_visibility.cpp - the answer a user who is not a DBA gets for DDL on
// another schema's object: ORA-01031 when it may see the object (it holds
// a grant on it), otherwise exactly the error of a missing object, so that
// DDL tells no one what exists in schemas they cannot see; and LOCK TABLE,
// which resolves its tables the same way.
#include "catalog/catalog_internal.h"
#include "util/errors.h"

namespace tabdb {
namespace cat {

Status ForeignDdlError(Session& s, const std::string& owner, const std::string& name,
                       const char* type) {
  std::string want = type;
  int missing = want == "INDEX"      ? ora::kIndexNotExist
                : want == "SEQUENCE" ? ora::kSequenceNotExist
                                     : ora::kTableNotExist;
  int64_t obj = 0;
  std::string found;
  TABDB_RETURN_IF_ERROR(FindObjectOfType(s, owner, name, want, &obj, &found));
  if (obj == 0 || found != want) return OraError(missing);
  bool visible = false;
  if (want == "INDEX") {
    // An index is seen through its table.
    IndexRec idx;
    TABDB_RETURN_IF_ERROR(LoadIndex(s, obj, &idx));
    TableInfo t;
    TABDB_RETURN_IF_ERROR(LoadTableById(s, idx.table_obj, &t));
    TABDB_RETURN_IF_ERROR(VisibleObject(s, t.owner, t.obj_id, &visible));
  } else {
    TABDB_RETURN_IF_ERROR(VisibleObject(s, owner, obj, &visible));
  }
  return visible ? OraError(ora::kInsufficientPrivileges) : OraError(missing);
}

}  // namespace cat
}  // namespace tabdb

namespace tabdb {

Status LockTables(Session& s, const sql::LockTable& lock) {
  TABDB_RETURN_IF_ERROR(s.CheckRights());
  for (const sql::NameList& name : lock.tables) {
    if (name.empty() || name.size() > 2) return OraError(ora::kTableNotExist);
    // Tables and views, also through synonyms.
    ResolvedName r;
    TABDB_RETURN_IF_ERROR(ResolveName(s, name, &r));
    if (r.type != "TABLE" && r.type != "VIEW") return OraError(ora::kTableNotExist);
    // Any privilege on another schema's table lets its holder lock it.
    bool visible = false;
    TABDB_RETURN_IF_ERROR(cat::VisibleObject(s, r.owner, r.obj_id, &visible));
    if (!visible) return OraError(ora::kTableNotExist);
  }
  // The database has one writer at a time: a lock that keeps other writers
  // out holds the write transaction until COMMIT or ROLLBACK.
  return lock.exclusive ? s.db().BeginWrite() : Status::Ok();
}

}  // namespace tabdb

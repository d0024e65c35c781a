// ddl_visibility.cpp - the answer a user who is not a DBA gets for DDL on
// another schema's object: ORA-01031 when it may see the object (it holds
// a grant on it), otherwise exactly the error of a missing object, so that
// DDL tells no one what exists in schemas they cannot see.
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
  TABDB_RETURN_IF_ERROR(FindObject(s, owner, name, &obj, &found));
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

// metadata_browse.h - DBMS_METADATA's browsing interface: OPEN a context
// for one object type, SET_FILTER, SET_COUNT, ADD_TRANSFORM('DDL') and
// SET_TRANSFORM_PARAM on its transform, then FETCH_CLOB until it gives
// NULL, then CLOSE. The texts are GET_DDL's under the context's own
// transform parameters; objects come back in name order.
#pragma once

#include <cstdint>
#include <string>

#include "exec/value.h"
#include "session/session.h"
#include "util/status.h"

namespace tabdb {

// OPEN(object_type): TABLE, INDEX, CONSTRAINT (primary keys, unique,
// check and NOT NULL constraints) or REF_CONSTRAINT (foreign keys);
// ORA-31600 for another type.
Status MetadataOpen(Session& s, const std::string& type, int64_t* handle);
// SET_FILTER(handle, name, value): SCHEMA and NAME; for the types of a
// table's objects also BASE_OBJECT_SCHEMA and BASE_OBJECT_NAME. ORA-31604 for a filter the
// type does not have, ORA-31602 once fetching has begun.
Status MetadataSetFilter(Session& s, int64_t handle, const std::string& name, const Value& value);
// SET_COUNT(handle, value): objects per FETCH_CLOB, at least 1.
Status MetadataSetCount(Session& s, int64_t handle, const Value& value);
// ADD_TRANSFORM(handle, 'DDL'): the transform's handle.
Status MetadataAddTransform(Session& s, int64_t handle, const std::string& name, int64_t* transform);
// SET_TRANSFORM_PARAM(transform_handle, name, value) of a context's DDL
// transform (the session's own is plsql.cpp's); `value` 1 TRUE, 0 FALSE,
// -1 NULL or not a BOOLEAN. ORA-31600 for a handle that is no transform.
Status MetadataSetTransformParam(Session& s, int64_t transform, const std::string& name, int value);
// FETCH_CLOB(handle): the texts of the next SET_COUNT objects one after
// the other; *null at the end.
Status MetadataFetchClob(Session& s, int64_t handle, std::string* out, bool* null);
// CLOSE(handle).
Status MetadataClose(Session& s, int64_t handle);

// A NUMBER argument as a handle; false when it is none.
bool MetadataHandleOf(const Value& v, int64_t* out);

}  // namespace tabdb

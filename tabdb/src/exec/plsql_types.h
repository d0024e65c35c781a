// plsql_types.h - resolving the type a PL/SQL declaration, parameter or
// function result names.
#pragma once

#include <functional>
#include <string>

#include "exec/plsql_state.h"
#include "session/session.h"
#include "sql/plsql_parser.h"
#include "util/status.h"

namespace tabdb {
namespace pl {

// Looks up a name of the unit: a record type, subtype or cursor
// (`percent_type` false: the name is the type; true: name%TYPE or
// name%ROWTYPE of a variable or cursor). True when found.
using NamedType = std::function<bool(const std::string& dotted, bool percent_type, TypeInfo* out)>;

// The type written in tokens `r` of `u`. Tables and views of
// table.column%TYPE and table%ROWTYPE are looked up as the session's
// current user, unqualified ones in `schema`. A name that is no type sets
// *unknown (PLS-00201 for the caller to report) and leaves *out untyped.
Status ResolveType(Session& s, const sql::PlsqlUnit& u, sql::PlRange r, const std::string& schema,
                   const NamedType& named, TypeInfo* out, std::string* unknown);

}  // namespace pl
}  // namespace tabdb

// format.h - how the SQL shell prints values and describes tables.
#pragma once

#include <string>

#include "exec/value.h"
#include "session/session.h"
#include "util/status.h"
#include "values/types.h"

namespace tabsql {

// A value as the shell prints it: NUMBER as TO_CHAR prints it, DATE as
// YYYY-MM-DD HH24:MI:SS, TIMESTAMP with its fractional digits, intervals as
// Oracle prints them, RAW and BLOB in upper-case hex, text as it is, LOB
// and LONG values whole. NULL prints as nothing.
tabdb::Status FormatValue(tabdb::Session& s, const tabdb::TypeDesc& type, const tabdb::Value& v,
                          std::string* out);

// The type as the DESCRIBE command shows it (NUMBER(10), VARCHAR2(30 CHAR)).
std::string DescribeType(const tabdb::TypeDesc& t);

}  // namespace tabsql

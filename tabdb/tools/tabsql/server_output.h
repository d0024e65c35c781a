// server_output.h - the shell's side of SET SERVEROUTPUT: switching the
// session's DBMS_OUTPUT buffer on and off and taking its lines after each
// statement.
#pragma once

#include <string>
#include <vector>

#include "session/session.h"
#include "util/status.h"

namespace tabsql {

// DBMS_OUTPUT.ENABLE(size) or DBMS_OUTPUT.DISABLE for the session; size 0
// means no limit.
tabdb::Status EnableServerOutput(tabdb::Session& s, bool on, long size);

// Moves the lines DBMS_OUTPUT holds for the session into `lines`.
tabdb::Status TakeServerOutput(tabdb::Session& s, std::vector<std::string>* lines);

}  // namespace tabsql

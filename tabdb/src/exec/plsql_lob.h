// plsql_lob.h - the DBMS_LOB procedures PL/SQL calls on LOB variables
// (CREATETEMPORARY, FREETEMPORARY, APPEND, WRITEAPPEND, WRITE, COPY, TRIM,
// ERASE, OPEN, CLOSE), which change the variable's value.
#pragma once

#include <string>
#include <vector>

#include "exec/value.h"
#include "session/session.h"
#include "util/status.h"

namespace tabdb {
namespace pl {

// Whether `name` (DBMS_LOB.X) is one of these procedures.
bool IsLobProcedure(const std::string& name);

// Runs DBMS_LOB procedure `name` on `args` (the values of its actual
// parameters in order); `changed[i]` tells which an IN OUT parameter gave
// a new value to.
Status CallLobProcedure(Session& s, const std::string& name, std::vector<Value>* args,
                        std::vector<bool>* changed);

// The whole content of a LOB or other value: bytes of a BLOB or RAW,
// UTF-8 text of anything else.
Status LobContent(Session& s, const Value& v, std::string* out);

}  // namespace pl
}  // namespace tabdb

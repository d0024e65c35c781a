// server_output.cpp - DBMS_OUTPUT for the shell, through the session's own
// PL/SQL calls: ENABLE and DISABLE switch the buffer; the lines are taken
// from the session after each statement.
#include "server_output.h"

#include "exec/engine.h"
#include "exec/server_output.h"

namespace tabsql {

using namespace tabdb;

Status EnableServerOutput(Session& s, bool on, long size) {
  std::string call = on ? (size > 0 ? "BEGIN DBMS_OUTPUT.ENABLE(" + std::to_string(size) + "); END;"
                                    : "BEGIN DBMS_OUTPUT.ENABLE(NULL); END;")
                        : "BEGIN DBMS_OUTPUT.DISABLE; END;";
  ExecResult r;
  return ExecuteText(s, call, &r);
}

Status TakeServerOutput(Session& s, std::vector<std::string>* lines) {
  *lines = ServerOutputTakeLines(s);
  return Status::Ok();
}

}  // namespace tabsql

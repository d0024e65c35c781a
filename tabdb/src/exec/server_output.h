// server_output.h - the session's DBMS_OUTPUT buffer as clients read it.
//
// PL/SQL blocks write lines with DBMS_OUTPUT.PUT_LINE (PUT, NEW_LINE) while
// output is enabled for the session; a client that shows server output
// (the SQL shell's SET SERVEROUTPUT ON) enables it once and, after each
// statement, takes the lines written since the last call.
#pragma once

#include <string>
#include <vector>

#include "session/session.h"

namespace tabdb {

// DBMS_OUTPUT.ENABLE / DISABLE. Disabling drops the lines not yet read.
void ServerOutputEnable(Session& s, bool on);
bool ServerOutputEnabled(Session& s);

// Appends `text` to the current line (PUT) and ends it (PUT_LINE, NEW_LINE).
// Ignored while output is disabled.
void ServerOutputPut(Session& s, const std::string& text);
void ServerOutputNewLine(Session& s);

// DBMS_OUTPUT.GET_LINE: the oldest unread line; false when there is none.
bool ServerOutputGetLine(Session& s, std::string* line);

// Every unread line, oldest first; the buffer is empty afterwards.
std::vector<std::string> ServerOutputTakeLines(Session& s);

}  // namespace tabdb

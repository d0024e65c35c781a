// server_output.cpp - the session's DBMS_OUTPUT buffer.
#include "exec/server_output.h"

namespace tabdb {

void ServerOutputEnable(Session& s, bool on) {
  Session::ServerOutput& o = s.server_output();
  o.enabled = on;
  if (!on) o = Session::ServerOutput();
}

bool ServerOutputEnabled(Session& s) { return s.server_output().enabled; }

void ServerOutputPut(Session& s, const std::string& text) {
  Session::ServerOutput& o = s.server_output();
  if (o.enabled) o.partial += text;
}

void ServerOutputNewLine(Session& s) {
  Session::ServerOutput& o = s.server_output();
  if (!o.enabled) return;
  o.lines.push_back(std::move(o.partial));
  o.partial.clear();
}

bool ServerOutputGetLine(Session& s, std::string* line) {
  Session::ServerOutput& o = s.server_output();
  if (o.first >= o.lines.size()) return false;
  *line = std::move(o.lines[o.first++]);
  if (o.first == o.lines.size()) {
    o.lines.clear();
    o.first = 0;
  }
  return true;
}

std::vector<std::string> ServerOutputTakeLines(Session& s) {
  Session::ServerOutput& o = s.server_output();
  std::vector<std::string> out(std::make_move_iterator(o.lines.begin() + static_cast<long>(o.first)),
                               std::make_move_iterator(o.lines.end()));
  o.lines.clear();
  o.first = 0;
  return out;
}

}  // namespace tabdb

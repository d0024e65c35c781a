// script.h - splitting shell input into statements and shell commands.
//
// SQL statements end with ";" at the end of a line; a PL/SQL block
// (BEGIN/DECLARE ...) ends with a line holding only "/". Comments ("--" to
// the end of the line, "/* ... */") and blank lines between statements are
// skipped; quotes are respected. Lines starting a shell command (DESCRIBE,
// EXIT, QUIT, SET, PROMPT, REM) are commands of their own.
#pragma once

#include <istream>
#include <string>

namespace tabsql {

struct Unit {
  enum Kind { kSql, kPlsql, kCommand } kind = kSql;
  std::string text;  // statement without its terminating ";" or "/"
  int line = 0;      // line where it starts
};

class ScriptReader {
 public:
  explicit ScriptReader(std::istream& in) : in_(in) {}
  // Next unit; false at the end of the input. An unterminated statement at
  // the end of the input is returned as it stands.
  bool Next(Unit* out);

 private:
  bool ReadLine(std::string* line);
  std::istream& in_;
  int line_no_ = 0;
};

}  // namespace tabsql

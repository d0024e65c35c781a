// script.h - splitting shell input into statements and shell commands.
//
// A SQL statement ends with ";" at the end of a line, or with a line holding
// only "/". PL/SQL units (blocks starting with DECLARE or BEGIN, and CREATE
// [OR REPLACE] [EDITIONABLE|NONEDITIONABLE] PROCEDURE, FUNCTION, PACKAGE
// [BODY], TRIGGER, TYPE [BODY], LIBRARY) are read whole, inner ";" included,
// up to the line holding only "/". A blank line (unless blank lines are
// allowed) or a line holding only "." ends a statement without running it:
// it stays in the buffer, and a later "/" runs it. "/" alone runs the
// buffer again. Comments ("--" to the end of the line, "/* ... */") and REM
// lines between statements are skipped; quotes are respected. Any other
// line is a shell command of its own (continued on the next line when it
// ends with " -").
#pragma once

#include <istream>
#include <string>
#include <vector>

namespace tabsql {

struct Unit {
  enum Kind {
    kSql,      // a statement to run
    kPlsql,    // a PL/SQL unit to run
    kCommand,  // a shell command line
    kRun,      // "/" alone: run the buffer
    kBuffer,   // a statement ended without running it (blank line, ".", end of input)
  } kind = kSql;
  std::string text;  // statement without its terminating ";" or "/"
  std::string raw;   // the lines as read (for SET ECHO)
  int line = 0;      // line where it starts
};

class ScriptReader {
 public:
  explicit ScriptReader(std::istream& in) : in_(in) {}
  // Next unit; false at the end of the input.
  bool Next(Unit* out);
  // SET SQLBLANKLINES: whether a blank line may stand inside a statement.
  void set_blank_lines(bool on) { blank_lines_ = on; }

 private:
  bool ReadLine(std::string* line);
  void ReadSql(std::string line, Unit* out);
  void ReadPlsql(std::string line, Unit* out);
  std::istream& in_;
  int line_no_ = 0;
  bool blank_lines_ = false;
};

// The upper-cased first word of s (letters, digits, '_', '$', '#').
std::string FirstWord(const std::string& s);
// Whitespace-separated arguments of a command line; '...' and "..." group
// words and lose their quotes.
std::vector<std::string> SplitArgs(const std::string& s);
// Whether `word` is `name` or an abbreviation of it of at least `min` letters.
bool Abbrev(const std::string& word, const char* name, size_t min);

}  // namespace tabsql

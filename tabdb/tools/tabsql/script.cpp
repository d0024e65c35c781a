// script.cpp - statement splitting for the SQL shell: which lines are SQL,
// which PL/SQL, which shell commands, and where each one ends.
#include "script.h"

#include <cctype>
#include <vector>

namespace tabsql {
namespace {

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '#';
}

// Upper-cased words of s, at most `max` of them (punctuation separates).
std::vector<std::string> Words(const std::string& s, size_t max) {
  std::vector<std::string> out;
  std::string w;
  for (size_t i = 0; i <= s.size() && out.size() < max; ++i) {
    if (i < s.size() && IsWordChar(s[i])) {
      w += static_cast<char>(std::toupper(static_cast<unsigned char>(s[i])));
    } else if (!w.empty()) {
      out.push_back(w);
      w.clear();
    }
  }
  return out;
}

// First words of the SQL statements the shell passes to the database.
bool IsSqlWord(const std::string& w) {
  static const char* const kWords[] = {
      "SELECT", "INSERT",   "UPDATE",   "DELETE",  "MERGE",     "CREATE",  "ALTER",
      "DROP",   "TRUNCATE", "GRANT",    "REVOKE",  "COMMIT",    "ROLLBACK", "SAVEPOINT",
      "COMMENT", "RENAME",  "WITH",     "LOCK",    "EXPLAIN",   "ANALYZE", "AUDIT",
      "NOAUDIT", "PURGE",   "FLASHBACK", "CALL",   "ASSOCIATE", "DISASSOCIATE", "VALUES",
      "BEGIN",  "DECLARE"};
  for (const char* k : kWords)
    if (w == k) return true;
  return false;
}

// Whether the statement starting with `words` is a PL/SQL unit, read up to
// "/": 1 yes, 0 no, -1 not known yet (more words needed).
int PlsqlStart(const std::vector<std::string>& words) {
  if (words.empty()) return -1;
  if (words[0] == "BEGIN" || words[0] == "DECLARE") return 1;
  if (words[0] != "CREATE") return 0;
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (w == "OR" || w == "REPLACE" || w == "EDITIONABLE" || w == "NONEDITIONABLE" || w == "NO" ||
        w == "FORCE")
      continue;
    return w == "PROCEDURE" || w == "FUNCTION" || w == "PACKAGE" || w == "TRIGGER" ||
                   w == "TYPE" || w == "LIBRARY"
               ? 1
               : 0;
  }
  return -1;
}

// Tracks quotes and comments across the lines of one statement, so that a
// ";" inside a string or a comment does not end it: '...', n'...',
// q'<d>...<d>' and nq'<d>...<d>' (with the bracket pairs [] {} () <>, any
// other delimiter closing itself), "..." and both comment forms.
struct Scanner {
  bool in_quote = false;  // inside '...'
  bool in_name = false;   // inside "..."
  bool in_block_comment = false;
  char q_close = 0;       // inside q'...': the delimiter before the closing quote
  char prev = ' ';        // the last character outside quotes and comments

  bool inside() const { return in_quote || in_name || in_block_comment || q_close != 0; }

  static char QClose(char open) {
    switch (open) {
      case '[': return ']';
      case '{': return '}';
      case '(': return ')';
      case '<': return '>';
      default: return open;
    }
  }

  // Appends the line (without comments outside quotes) to `out`; tells
  // whether the line's last significant character is a ";" outside quotes.
  bool Feed(const std::string& line, std::string* out) {
    bool ends_with_semicolon = false;
    std::string kept;
    prev = ' ';  // a line end separates words
    for (size_t i = 0; i < line.size(); ++i) {
      char c = line[i];
      if (in_block_comment) {
        if (c == '*' && i + 1 < line.size() && line[i + 1] == '/') {
          in_block_comment = false;
          ++i;
          kept += ' ';
        }
        continue;
      }
      if (q_close) {
        kept += c;
        if (c == q_close && i + 1 < line.size() && line[i + 1] == '\'') {
          kept += '\'';
          ++i;
          q_close = 0;
        }
        continue;
      }
      if (in_quote || in_name) {
        kept += c;
        if (in_quote && c == '\'') in_quote = false;
        if (in_name && c == '"') in_name = false;
        continue;
      }
      // q'<d>...<d>' (nq'...' too): q starts a word, the delimiter is no blank
      if ((c == 'q' || c == 'Q') && i + 2 < line.size() && line[i + 1] == '\'' &&
          !std::isspace(static_cast<unsigned char>(line[i + 2])) && line[i + 2] != '\'' &&
          (!IsWordChar(prev) || ((prev == 'n' || prev == 'N') && (kept.size() < 2 || !IsWordChar(kept[kept.size() - 2]))))) {
        q_close = QClose(line[i + 2]);
        kept += line.substr(i, 3);
        i += 2;
        ends_with_semicolon = false;
        prev = ' ';
        continue;
      }
      if (c == '\'' || c == '"') {
        (c == '\'' ? in_quote : in_name) = true;
        kept += c;
        ends_with_semicolon = false;
        continue;
      }
      if (c == '-' && i + 1 < line.size() && line[i + 1] == '-') break;
      if (c == '/' && i + 1 < line.size() && line[i + 1] == '*') {
        in_block_comment = true;
        ++i;
        continue;
      }
      kept += c;
      prev = c;
      if (c == ';') {
        ends_with_semicolon = true;
      } else if (!std::isspace(static_cast<unsigned char>(c))) {
        ends_with_semicolon = false;
      }
    }
    if (!out->empty()) *out += '\n';
    *out += kept;
    return ends_with_semicolon && !inside();
  }
};

}  // namespace

std::string FirstWord(const std::string& s) {
  std::vector<std::string> w = Words(Trim(s), 1);
  return w.empty() ? std::string() : w[0];
}

bool Abbrev(const std::string& word, const char* name, size_t min) {
  std::string n(name);
  return word.size() >= min && word.size() <= n.size() && n.compare(0, word.size(), word) == 0;
}

std::vector<std::string> SplitArgs(const std::string& s) {
  std::vector<std::string> out;
  std::string w;
  char quote = 0;
  bool have = false;
  for (char c : s) {
    if (quote) {
      if (c == quote) {
        quote = 0;
      } else {
        w += c;
      }
    } else if (c == '\'' || c == '"') {
      quote = c;
      have = true;
    } else if (std::isspace(static_cast<unsigned char>(c))) {
      if (have || !w.empty()) out.push_back(w);
      w.clear();
      have = false;
    } else {
      w += c;
    }
  }
  if (have || !w.empty()) out.push_back(w);
  return out;
}

bool ScriptReader::ReadLine(std::string* line) {
  if (!std::getline(in_, *line)) return false;
  if (!line->empty() && line->back() == '\r') line->pop_back();
  ++line_no_;
  return true;
}

bool ScriptReader::Next(Unit* out) {
  std::string line;
  // Skip blank lines, comments and REM lines between statements.
  bool in_comment = false;
  for (;;) {
    if (!ReadLine(&line)) return false;
    std::string t = Trim(line);
    if (in_comment) {
      size_t e = t.find("*/");
      if (e == std::string::npos) continue;
      in_comment = false;
      t = Trim(t.substr(e + 2));
      line = t;
    }
    if (t.empty() || t.compare(0, 2, "--") == 0 || t == ".") continue;
    if (t.compare(0, 2, "/*") == 0) {
      size_t e = t.find("*/", 2);
      if (e == std::string::npos) {
        in_comment = true;
        continue;
      }
      t = Trim(t.substr(e + 2));
      if (t.empty()) continue;
      line = t;
    }
    std::string w = FirstWord(t);
    if ((w == "REM" || w == "REMARK") && std::isalpha(static_cast<unsigned char>(t[0]))) continue;
    break;
  }
  out->line = line_no_;
  out->raw = line;
  out->text.clear();
  std::string first = Trim(line);
  if (first == "/") {
    out->kind = Unit::kRun;
    return true;
  }
  std::vector<std::string> words = Words(first, 2);
  bool sql = !words.empty() && IsSqlWord(words[0]) && std::isalpha(static_cast<unsigned char>(first[0]));
  if (!sql && words.size() == 2 && words[0] == "SET" &&
      (words[1] == "ROLE" || words[1] == "TRANSACTION" || words[1] == "CONSTRAINT" ||
       words[1] == "CONSTRAINTS"))
    sql = true;
  if (first[0] == '(') sql = true;  // a parenthesised query
  if (!sql) {
    // A shell command: one line, continued by a trailing " -".
    out->kind = Unit::kCommand;
    std::string cmd = first;
    while (cmd.size() >= 2 && cmd.back() == '-' && std::isspace(static_cast<unsigned char>(cmd[cmd.size() - 2]))) {
      cmd.pop_back();
      std::string next;
      if (!ReadLine(&next)) break;
      out->raw += '\n' + next;
      cmd += Trim(next);
    }
    if (!cmd.empty() && cmd.back() == ';') cmd.pop_back();
    out->text = Trim(cmd);
    return true;
  }
  ReadSql(line, out);
  return true;
}

void ScriptReader::ReadSql(std::string line, Unit* out) {
  Scanner sc;
  std::string stmt;
  bool done = sc.Feed(line, &stmt);
  out->kind = Unit::kSql;
  for (;;) {
    int plsql = PlsqlStart(Words(stmt, 6));
    if (plsql == 1) {
      // Read the unit whole, from its first line, up to "/".
      ReadPlsql(out->raw, out);
      return;
    }
    if (done) break;
    if (!ReadLine(&line)) {
      out->kind = Unit::kBuffer;  // the end of the input runs nothing
      break;
    }
    std::string t = Trim(line);
    if (!sc.inside() && t == "/") break;
    if (!sc.inside() && (t == "." || (t.empty() && !blank_lines_))) {
      out->kind = Unit::kBuffer;
      break;
    }
    out->raw += '\n' + line;
    done = sc.Feed(line, &stmt);
  }
  stmt = Trim(stmt);
  if (!stmt.empty() && stmt.back() == ';') stmt.pop_back();
  out->text = Trim(stmt);
}

void ScriptReader::ReadPlsql(std::string lines, Unit* out) {
  // `lines` holds the unit's lines read so far; none of them was "/".
  out->kind = Unit::kPlsql;
  out->raw = lines;
  std::string text = lines;
  std::string line;
  for (;;) {
    if (!ReadLine(&line)) {
      out->kind = Unit::kBuffer;
      break;
    }
    std::string t = Trim(line);
    if (t == "/") break;
    if (t == ".") {
      out->kind = Unit::kBuffer;
      break;
    }
    out->raw += '\n' + line;
    text += '\n' + line;
  }
  out->text = Trim(text);
}

}  // namespace tabsql

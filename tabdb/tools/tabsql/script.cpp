// script.cpp - statement splitting for the SQL shell.
#include "script.h"

#include <cctype>

namespace tabsql {
namespace {

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

std::string FirstWord(const std::string& s) {
  std::string w;
  for (char c : s) {
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      w += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    } else {
      break;
    }
  }
  return w;
}

bool IsCommandWord(const std::string& w) {
  return w == "DESC" || w == "DESCRIBE" || w == "EXIT" || w == "QUIT" || w == "SET" ||
         w == "PROMPT" || w == "REM" || w == "REMARK" || w == "SHOW" || w == "SPOOL";
}

// Tracks quotes and comments across the lines of one statement, so that a
// ";" inside a string or a comment does not end it.
struct Scanner {
  bool in_quote = false;       // inside '...'
  bool in_name = false;        // inside "..."
  bool in_block_comment = false;

  // Appends the line (without comments outside quotes) to `out`; tells
  // whether the line's last significant character is a ";" outside quotes.
  bool Feed(const std::string& line, std::string* out) {
    bool ends_with_semicolon = false;
    std::string kept;
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
      if (in_quote || in_name) {
        kept += c;
        if (in_quote && c == '\'') in_quote = false;
        if (in_name && c == '"') in_name = false;
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
      if (c == ';') {
        ends_with_semicolon = true;
      } else if (!std::isspace(static_cast<unsigned char>(c))) {
        ends_with_semicolon = false;
      }
    }
    if (!out->empty()) *out += '\n';
    *out += kept;
    return ends_with_semicolon && !in_quote && !in_name && !in_block_comment;
  }
};

}  // namespace

bool ScriptReader::ReadLine(std::string* line) {
  if (!std::getline(in_, *line)) return false;
  if (!line->empty() && line->back() == '\r') line->pop_back();
  ++line_no_;
  return true;
}

bool ScriptReader::Next(Unit* out) {
  std::string line;
  // Skip blank lines and comments between statements.
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
    if (t.empty() || t.compare(0, 2, "--") == 0) continue;
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
    if (t == "/") continue;  // re-run of the buffer: nothing to re-run here
    break;
  }
  out->line = line_no_;
  std::string first = Trim(line);
  std::string word = FirstWord(first);
  if (IsCommandWord(word)) {
    out->kind = Unit::kCommand;
    if (!first.empty() && first.back() == ';') first.pop_back();
    out->text = Trim(first);
    return true;
  }
  bool plsql = word == "BEGIN" || word == "DECLARE";
  out->kind = plsql ? Unit::kPlsql : Unit::kSql;
  out->text.clear();
  if (plsql) {
    out->text = line;
    while (ReadLine(&line)) {
      if (Trim(line) == "/") break;
      out->text += '\n';
      out->text += line;
    }
    out->text = Trim(out->text);
    return true;
  }
  Scanner sc;
  std::string stmt;
  bool done = sc.Feed(line, &stmt);
  while (!done && ReadLine(&line)) {
    if (Trim(line) == "/" && !sc.in_quote && !sc.in_name && !sc.in_block_comment) break;
    done = sc.Feed(line, &stmt);
  }
  stmt = Trim(stmt);
  if (!stmt.empty() && stmt.back() == ';') stmt.pop_back();
  out->text = Trim(stmt);
  return true;
}

}  // namespace tabsql

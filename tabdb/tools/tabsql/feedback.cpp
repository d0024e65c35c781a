// feedback.cpp - feedback lines named after the statement's verb and object.
#include "feedback.h"

#include <cctype>
#include <vector>

namespace tabsql {
namespace {

std::vector<std::string> UpperWords(const std::string& s, size_t max) {
  std::vector<std::string> out;
  std::string w;
  for (size_t i = 0; i <= s.size() && out.size() < max; ++i) {
    char c = i < s.size() ? s[i] : ' ';
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
      w += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    } else if (!w.empty()) {
      out.push_back(w);
      w.clear();
    }
  }
  return out;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Rows(uint64_t rows, const char* verb) {
  return std::to_string(rows) + (rows == 1 ? " row " : " rows ") + verb + ".";
}

// "<Object> <verb>." for CREATE, ALTER and DROP of any object.
std::string ObjectLine(const std::vector<std::string>& w, const char* verb) {
  size_t i = 1;
  static const char* const kSkip[] = {"OR", "REPLACE", "FORCE", "NOFORCE", "EDITIONABLE",
                                      "NONEDITIONABLE", "EDITIONING", "UNIQUE", "BITMAP",
                                      "PUBLIC", "GLOBAL", "PRIVATE", "TEMPORARY", "SHARED"};
  while (i < w.size()) {
    bool skip = false;
    for (const char* k : kSkip) skip = skip || w[i] == k;
    if (!skip) break;
    ++i;
  }
  if (i >= w.size()) return "";
  std::string object = Lower(w[i]);
  if (i + 1 < w.size() && (w[i + 1] == "BODY" || (w[i] == "MATERIALIZED" && w[i + 1] == "VIEW") ||
                           (w[i] == "DATABASE" && w[i + 1] == "LINK")))
    object += " " + Lower(w[i + 1]);
  object[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(object[0])));
  return object + " " + verb + ".";
}

}  // namespace

std::string FeedbackLine(tabdb::sql::StmtKind kind, uint64_t rows, const std::string& text) {
  using tabdb::sql::StmtKind;
  switch (kind) {
    case StmtKind::kInsert: return Rows(rows, "created");
    case StmtKind::kUpdate: return Rows(rows, "updated");
    case StmtKind::kDelete: return Rows(rows, "deleted");
    default: break;
  }
  std::vector<std::string> w = UpperWords(text, 8);
  if (w.empty()) return "";
  const std::string& v = w[0];
  if (v == "BEGIN" || v == "DECLARE") return "PL/SQL procedure successfully completed.";
  if (v == "MERGE") return Rows(rows, "merged");
  if (v == "COMMIT") return "Commit complete.";
  if (v == "ROLLBACK") return "Rollback complete.";
  if (v == "SAVEPOINT") return "Savepoint created.";
  if (v == "GRANT") return "Grant succeeded.";
  if (v == "REVOKE") return "Revoke succeeded.";
  if (v == "COMMENT") return "Comment created.";
  if (v == "TRUNCATE") return "Table truncated.";
  if (v == "RENAME") return "Table renamed.";
  if (v == "LOCK") return "Table(s) Locked.";
  if (v == "CALL") return "Call completed.";
  if (v == "ALTER" && w.size() > 1 && w[1] == "SESSION") return "Session altered.";
  if (v == "ALTER" && w.size() > 1 && w[1] == "SYSTEM") return "System altered.";
  if (v == "SET" && w.size() > 1 && w[1] == "TRANSACTION") return "Transaction set.";
  if (v == "SET" && w.size() > 1 && w[1] == "ROLE") return "Role set.";
  if (v == "SET" && w.size() > 1) return "Constraint set.";
  if (v == "CREATE") return ObjectLine(w, "created");
  if (v == "ALTER") return ObjectLine(w, "altered");
  if (v == "DROP") return ObjectLine(w, "dropped");
  return "";
}

}  // namespace tabsql

// lexer.cpp - tokeniser for Oracle SQL and the PL/SQL call blocks.
//
// One left-to-right pass with no backtracking beyond a few bytes of
// look-ahead, so tokenising is linear in the text length.
#include "sql/lexer.h"

#include <algorithm>
#include <cstring>

#include "util/errors.h"

namespace tabdb {
namespace sql {
namespace {

// Oracle's SQL reserved words (SQL Language Reference, "Oracle SQL Reserved
// Words"), sorted for binary search.
constexpr const char* kReserved[] = {
    "ACCESS",    "ADD",     "ALL",        "ALTER",      "AND",        "ANY",       "AS",
    "ASC",       "AUDIT",   "BETWEEN",    "BY",         "CHAR",       "CHECK",     "CLUSTER",
    "COLUMN",    "COMMENT", "COMPRESS",   "CONNECT",    "CREATE",     "CURRENT",   "DATE",
    "DECIMAL",   "DEFAULT", "DELETE",     "DESC",       "DISTINCT",   "DROP",      "ELSE",
    "EXCLUSIVE", "EXISTS",  "FILE",       "FLOAT",      "FOR",        "FROM",      "GRANT",
    "GROUP",     "HAVING",  "IDENTIFIED", "IMMEDIATE",  "IN",         "INCREMENT", "INDEX",
    "INITIAL",   "INSERT",  "INTEGER",    "INTERSECT",  "INTO",       "IS",        "LEVEL",
    "LIKE",      "LOCK",    "LONG",       "MAXEXTENTS", "MINUS",      "MLSLABEL",  "MODE",
    "MODIFY",    "NOAUDIT", "NOCOMPRESS", "NOT",        "NOWAIT",     "NULL",      "NUMBER",
    "OF",        "OFFLINE", "ON",         "ONLINE",     "OPTION",     "OR",        "ORDER",
    "PCTFREE",   "PRIOR",   "PUBLIC",     "RAW",        "RENAME",     "RESOURCE",  "REVOKE",
    "ROW",       "ROWID",   "ROWNUM",     "ROWS",       "SELECT",     "SESSION",   "SET",
    "SHARE",     "SIZE",    "SMALLINT",   "START",      "SUCCESSFUL", "SYNONYM",   "SYSDATE",
    "TABLE",     "THEN",    "TO",         "TRIGGER",    "UID",        "UNION",     "UNIQUE",
    "UPDATE",    "USER",    "VALIDATE",   "VALUES",     "VARCHAR",    "VARCHAR2",  "VIEW",
    "WHENEVER",  "WHERE",   "WITH",
};

bool IsAsciiLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsIdentStart(unsigned char c) { return IsAsciiLetter(c) || c >= 0x80; }
bool IsIdentPart(unsigned char c) {
  return IsIdentStart(c) || IsDigit(c) || c == '_' || c == '$' || c == '#';
}
bool IsBlank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The closing delimiter of a q'<open>...<close>' literal.
char QuoteClose(char open) {
  switch (open) {
    case '[':
      return ']';
    case '{':
      return '}';
    case '(':
      return ')';
    case '<':
      return '>';
    default:
      return open;
  }
}

class Lexer {
 public:
  Lexer(std::string_view text, std::vector<Token>* out, bool plsql = false)
      : s_(text), out_(out), plsql_(plsql) {}

  Status Run(uint32_t* error_pos) {
    out_->clear();
    while (true) {
      Status st = SkipBlanksAndComments();
      if (st.ok()) {
        if (i_ >= s_.size()) break;
        st = One();
      }
      if (!st.ok()) {
        if (error_pos) *error_pos = static_cast<uint32_t>(start_);
        return st;
      }
    }
    Token end;
    end.kind = TokenKind::kEnd;
    end.begin = end.end = static_cast<uint32_t>(s_.size());
    out_->push_back(std::move(end));
    return Status::Ok();
  }

 private:
  char At(size_t k) const { return k < s_.size() ? s_[k] : '\0'; }

  Status SkipBlanksAndComments() {
    while (i_ < s_.size()) {
      unsigned char c = s_[i_];
      if (IsBlank(c)) {
        ++i_;
      } else if (c == '-' && At(i_ + 1) == '-') {
        size_t nl = s_.find('\n', i_);
        i_ = nl == std::string_view::npos ? s_.size() : nl + 1;
      } else if (c == '/' && At(i_ + 1) == '*') {
        size_t close = s_.find("*/", i_ + 2);
        if (close == std::string_view::npos) {
          start_ = i_;
          return OraError(ora::kCommentNotTerminated);
        }
        i_ = close + 2;
      } else {
        break;
      }
    }
    return Status::Ok();
  }

  void Emit(TokenKind kind, std::string text, bool quoted_bind = false) {
    Token t;
    t.kind = kind;
    t.text = std::move(text);
    t.begin = static_cast<uint32_t>(start_);
    t.end = static_cast<uint32_t>(i_);
    t.quoted_bind = quoted_bind;
    out_->push_back(std::move(t));
  }

  Status One() {
    start_ = i_;
    unsigned char c = s_[i_];
    char c1 = At(i_ + 1);
    char c2 = At(i_ + 2);
    if ((c == 'n' || c == 'N') && c1 == '\'') {
      ++i_;
      return String(TokenKind::kNString);
    }
    if ((c == 'n' || c == 'N') && (c1 == 'q' || c1 == 'Q') && c2 == '\'') {
      i_ += 2;
      return QString(TokenKind::kNString);
    }
    if ((c == 'q' || c == 'Q') && c1 == '\'') {
      ++i_;
      return QString(TokenKind::kString);
    }
    if (plsql_ && c == '$' && (IsIdentStart(static_cast<unsigned char>(c1)) || c1 == '$')) {
      // Conditional compilation: $IF ... $END, $$NAME inquiries.
      std::string name = "$";
      ++i_;
      if (s_[i_] == '$') name += s_[i_++];
      while (i_ < s_.size() && IsIdentPart(s_[i_])) name += Upper(s_[i_++]);
      if (name.size() > kMaxIdentifierBytes) return OraError(ora::kIdentifierTooLong);
      Emit(TokenKind::kIdent, std::move(name));
      return Status::Ok();
    }
    if (IsIdentStart(c)) {
      std::string name;
      while (i_ < s_.size() && IsIdentPart(s_[i_])) name += Upper(s_[i_++]);
      if (name.size() > kMaxIdentifierBytes) return OraError(ora::kIdentifierTooLong);
      Emit(TokenKind::kIdent, std::move(name));
      return Status::Ok();
    }
    if (c == '"') {
      std::string name;
      TABDB_RETURN_IF_ERROR(QuotedName(&name));
      Emit(TokenKind::kQuotedIdent, std::move(name));
      return Status::Ok();
    }
    if (c == '\'') return String(TokenKind::kString);
    if (plsql_ && c == '.' && c1 == '.') {  // FOR i IN 1..n
      i_ += 2;
      Emit(TokenKind::kSymbol, "..");
      return Status::Ok();
    }
    if (IsDigit(c) || (c == '.' && IsDigit(c1))) return Number();
    if (c == ':') return Bind();
    return Symbol();
  }

  // A "..." identifier starting at i_; "" inside stands for one ".
  Status QuotedName(std::string* name) {
    ++i_;
    while (true) {
      if (i_ >= s_.size()) return OraError(ora::kMissingDoubleQuote);
      char c = s_[i_];
      if (c == '"') {
        if (At(i_ + 1) == '"') {
          *name += '"';
          i_ += 2;
          continue;
        }
        ++i_;
        break;
      }
      if (c == '\0') return OraError(ora::kInvalidCharacter);
      *name += c;
      ++i_;
    }
    if (name->empty()) return OraError(ora::kZeroLengthIdentifier);
    if (name->size() > kMaxIdentifierBytes) return OraError(ora::kIdentifierTooLong);
    return Status::Ok();
  }

  // '...' starting at i_ (the opening quote), with '' standing for one '.
  Status String(TokenKind kind) {
    ++i_;
    std::string text;
    while (true) {
      if (i_ >= s_.size()) return OraError(ora::kQuotedStringNotTerminated);
      char c = s_[i_];
      if (c == '\'') {
        if (At(i_ + 1) == '\'') {
          text += '\'';
          i_ += 2;
          continue;
        }
        ++i_;
        break;
      }
      text += c;
      ++i_;
    }
    Emit(kind, std::move(text));
    return Status::Ok();
  }

  // q'<d>...<d'>' starting at i_ (the quote after q).
  Status QString(TokenKind kind) {
    ++i_;
    if (i_ >= s_.size()) return OraError(ora::kQuotedStringNotTerminated);
    char open = s_[i_];
    if (IsBlank(static_cast<unsigned char>(open)) || open == '\'') return OraError(ora::kQuotedStringNotTerminated);
    char close = QuoteClose(open);
    ++i_;
    size_t body = i_;
    while (true) {
      if (i_ + 1 >= s_.size()) return OraError(ora::kQuotedStringNotTerminated);
      if (s_[i_] == close && s_[i_ + 1] == '\'') break;
      ++i_;
    }
    std::string text(s_.substr(body, i_ - body));
    i_ += 2;
    Emit(kind, std::move(text));
    return Status::Ok();
  }

  Status Number() {
    while (IsDigit(At(i_))) ++i_;
    if (At(i_) == '.' && At(i_ + 1) != '.') {
      ++i_;
      while (IsDigit(At(i_))) ++i_;
    }
    char e = At(i_);
    if (e == 'e' || e == 'E') {
      size_t k = i_ + 1;
      if (At(k) == '+' || At(k) == '-') ++k;
      if (IsDigit(At(k))) {
        i_ = k;
        while (IsDigit(At(i_))) ++i_;
      }
    }
    std::string text(s_.substr(start_, i_ - start_));
    char suffix = At(i_);
    if (suffix == 'f' || suffix == 'F' || suffix == 'd' || suffix == 'D') {
      ++i_;
      Emit(suffix == 'f' || suffix == 'F' ? TokenKind::kBinaryFloat : TokenKind::kBinaryDouble,
           std::move(text));
      return Status::Ok();
    }
    Emit(TokenKind::kNumber, std::move(text));
    return Status::Ok();
  }

  Status Bind() {
    char c1 = At(i_ + 1);
    if (c1 == '=') {
      i_ += 2;
      Emit(TokenKind::kSymbol, ":=");
      return Status::Ok();
    }
    ++i_;
    std::string name;
    if (IsDigit(c1)) {
      while (IsDigit(At(i_))) name += s_[i_++];
      // :1abc is not a placeholder name Oracle accepts
      if (IsIdentPart(At(i_))) return OraError(ora::kInvalidCharacter);
    } else if (IsIdentStart(c1)) {
      while (i_ < s_.size() && IsIdentPart(s_[i_])) name += Upper(s_[i_++]);
      if (name.size() > kMaxIdentifierBytes) return OraError(ora::kIdentifierTooLong);
    } else if (c1 == '"') {
      TABDB_RETURN_IF_ERROR(QuotedName(&name));
      Emit(TokenKind::kBind, std::move(name), true);
      return Status::Ok();
    } else {
      return OraError(ora::kInvalidCharacter);
    }
    Emit(TokenKind::kBind, std::move(name));
    return Status::Ok();
  }

  Status Symbol() {
    char c = s_[i_];
    char c1 = At(i_ + 1);
    const char* two = nullptr;
    if (c == '<' && (c1 == '>' || c1 == '='))
      two = c1 == '>' ? "<>" : "<=";
    else if (c == '>' && c1 == '=')
      two = ">=";
    else if ((c == '!' || c == '^') && c1 == '=')
      two = "!=";
    else if (c == '|' && c1 == '|')
      two = "||";
    else if (c == '=' && c1 == '>')
      two = "=>";
    if (two) {
      i_ += 2;
      Emit(TokenKind::kSymbol, two);
      return Status::Ok();
    }
    if (plsql_ && c == '%') {  // attributes: SQL%ROWCOUNT, v%TYPE, c%ROWTYPE
      ++i_;
      Emit(TokenKind::kSymbol, "%");
      return Status::Ok();
    }
    // A database link: name@link, written together.
    if (c == '@' && !out_->empty() && out_->back().end == i_ &&
        (out_->back().kind == TokenKind::kIdent || out_->back().kind == TokenKind::kQuotedIdent) &&
        (IsIdentStart(static_cast<unsigned char>(c1)) || c1 == '"')) {
      ++i_;
      Emit(TokenKind::kSymbol, "@");
      return Status::Ok();
    }
    if (std::strchr("()+-*/,.;=<>", c) != nullptr && c != '\0') {
      ++i_;
      Emit(TokenKind::kSymbol, std::string(1, c));
      return Status::Ok();
    }
    return OraError(ora::kInvalidCharacter);
  }

  std::string_view s_;
  std::vector<Token>* out_;
  size_t i_ = 0;
  size_t start_ = 0;
  bool plsql_ = false;
};

}  // namespace

Status Tokenize(std::string_view text, std::vector<Token>* out, uint32_t* error_pos) {
  return Lexer(text, out).Run(error_pos);
}

Status TokenizePlsql(std::string_view text, std::vector<Token>* out, uint32_t* error_pos) {
  return Lexer(text, out, true).Run(error_pos);
}

bool IsReservedWord(std::string_view word) {
  return std::binary_search(std::begin(kReserved), std::end(kReserved), word,
                            [](std::string_view a, std::string_view b) { return a < b; });
}

bool IsPlainIdentifier(std::string_view name) {
  if (name.empty() || name.size() > kMaxIdentifierBytes) return false;
  unsigned char first = name[0];
  if (!((first >= 'A' && first <= 'Z') || first >= 0x80)) return false;
  for (unsigned char c : name) {
    if (c >= 'a' && c <= 'z') return false;
    if (!IsIdentPart(c)) return false;
  }
  return !IsReservedWord(name);
}

}  // namespace sql
}  // namespace tabdb

// sql_lexer_diff.h - the same bytes read by the programs' SQL lexer
// (source/reader/sql_lexer.c) and by the embedded database's
// (tabdb/src/sql/lexer.cpp), both mapped to one set of token kinds.
//
// Comments are dropped from the programs' list, as the database drops them;
// an error of the database is one token at its place, matched by the
// programs' first malformed token or byte that starts no token.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "sql/lexer.h"
#include "sql_lexer.h"

namespace sql_lexer_diff {

enum class Kind { kWord, kName, kString, kNString, kNumber, kBind, kPunct, kError, kEnd };

struct Tok {
  Kind kind;
  uint32_t begin;
  uint32_t end;
};

inline const char* KindName(Kind k) {
  static const char* const names[] = {"word", "name", "string", "nstring", "number",
                                      "bind", "punct", "error", "end"};
  return names[static_cast<int>(k)];
}

// The database's tokens; an error becomes one kError token at its place.
inline std::vector<Tok> Database(std::string_view text, bool plsql) {
  using tabdb::sql::TokenKind;
  std::vector<tabdb::sql::Token> out;
  uint32_t error_pos = 0;
  tabdb::Status st = plsql ? tabdb::sql::TokenizePlsql(text, &out, &error_pos)
                           : tabdb::sql::Tokenize(text, &out, &error_pos);
  std::vector<Tok> toks;
  if (!st.ok()) {
    // Tokenize clears its list on entry and stops at the first error: the
    // tokens before the error are still there.
    for (const auto& t : out) {
      if (t.kind == TokenKind::kEnd) break;
      Kind k = Kind::kPunct;
      switch (t.kind) {
        case TokenKind::kIdent: k = Kind::kWord; break;
        case TokenKind::kQuotedIdent: k = Kind::kName; break;
        case TokenKind::kString: k = Kind::kString; break;
        case TokenKind::kNString: k = Kind::kNString; break;
        case TokenKind::kNumber:
        case TokenKind::kBinaryFloat:
        case TokenKind::kBinaryDouble: k = Kind::kNumber; break;
        case TokenKind::kBind: k = Kind::kBind; break;
        default: break;
      }
      toks.push_back({k, t.begin, t.end});
    }
    toks.push_back({Kind::kError, error_pos, error_pos});
    return toks;
  }
  for (const auto& t : out) {
    Kind k = Kind::kPunct;
    switch (t.kind) {
      case TokenKind::kIdent: k = Kind::kWord; break;
      case TokenKind::kQuotedIdent: k = Kind::kName; break;
      case TokenKind::kString: k = Kind::kString; break;
      case TokenKind::kNString: k = Kind::kNString; break;
      case TokenKind::kNumber:
      case TokenKind::kBinaryFloat:
      case TokenKind::kBinaryDouble: k = Kind::kNumber; break;
      case TokenKind::kBind: k = Kind::kBind; break;
      case TokenKind::kSymbol: k = Kind::kPunct; break;
      case TokenKind::kEnd: k = Kind::kEnd; break;
    }
    toks.push_back({k, t.begin, t.end});
  }
  return toks;
}

// The programs' tokens, to the end or to the first byte that starts no
// token or malformed token (where the database reports an error).
inline std::vector<Tok> Programs(std::string_view text, bool plsql) {
  SQL_LEXER lx;
  sql_lexer_init(&lx, text.data(), static_cast<uint32_t>(text.size()), plsql ? 1 : 0);
  std::vector<Tok> toks;
  for (;;) {
    SQL_TOKEN t;
    sql_lex_next(&lx, &t);
    if (t.at > text.size() || t.len > text.size() - t.at) {
      toks.push_back({Kind::kError, 0xFFFFFFFFu, 0xFFFFFFFFu});  // never matches
      return toks;
    }
    Kind k = Kind::kPunct;
    switch (t.kind) {
      case SQLT_COMMENT: continue;
      case SQLT_END: toks.push_back({Kind::kEnd, t.at, t.at}); return toks;
      case SQLT_OTHER:
      case SQLT_BAD: toks.push_back({Kind::kError, t.at, t.at}); return toks;
      case SQLT_WORD: k = Kind::kWord; break;
      case SQLT_QNAME: k = Kind::kName; break;
      case SQLT_STRING: k = Kind::kString; break;
      case SQLT_NSTRING: k = Kind::kNString; break;
      case SQLT_NUMBER: k = Kind::kNumber; break;
      case SQLT_BIND: k = Kind::kBind; break;
      case SQLT_PUNCT: k = Kind::kPunct; break;
    }
    // ':=' is read by the same rule as a placeholder, but is a symbol
    if (t.kind == SQLT_BIND && t.len == 2 && text[t.at + 1] == '=') k = Kind::kPunct;
    toks.push_back({k, t.at, t.at + t.len});
  }
}

// Empty when both lexers read text alike; otherwise the first difference.
inline std::string Difference(std::string_view text, bool plsql) {
  std::vector<Tok> a = Programs(text, plsql);
  std::vector<Tok> b = Database(text, plsql);
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i <= n; i++) {
    bool same = i < n && a[i].kind == b[i].kind && a[i].begin == b[i].begin && a[i].end == b[i].end;
    if (same) continue;
    if (i == n && a.size() == b.size()) return std::string();
    const Tok* x = i < a.size() ? &a[i] : nullptr;
    const Tok* y = i < b.size() ? &b[i] : nullptr;
    char line[200];
    std::snprintf(line, sizeof(line), "(%s) token %zu differs: programs %s [%u,%u), database %s [%u,%u)",
                  plsql ? "plsql" : "sql", i, x ? KindName(x->kind) : "-", x ? x->begin : 0,
                  x ? x->end : 0, y ? KindName(y->kind) : "-", y ? y->begin : 0, y ? y->end : 0);
    return line;
  }
  return std::string();
}

}  // namespace sql_lexer_diff

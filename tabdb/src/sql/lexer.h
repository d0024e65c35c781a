// lexer.h - splits Oracle SQL and PL/SQL statement text into tokens.
//
// The whole statement is tokenised in one pass before parsing; comments and
// blanks are dropped, identifiers are resolved (unquoted ones upper-cased)
// and literals are unescaped, each token keeping its byte range in the text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "util/status.h"

namespace tabdb {
namespace sql {

enum class TokenKind {
  kIdent,         // unquoted identifier or keyword; text upper-cased (ASCII letters)
  kQuotedIdent,   // "name": text without the quotes ("" read as one ")
  kString,        // 'text' or q'[text]': text unescaped
  kNString,       // N'text' or Nq'[text]'
  kNumber,        // 12, 1.5, .5, 1e10: text as written
  kBinaryFloat,   // 1.5f: text without the suffix
  kBinaryDouble,  // 1.5d: text without the suffix
  kBind,          // :1, :name, :"Name": text is the name (upper-cased unless quoted)
  kSymbol,        // operators and punctuation: text is the symbol ("<=", "||", "(")
  kEnd,           // end of text; begin == end == text size
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::string text;
  uint32_t begin = 0;  // byte range in the statement text
  uint32_t end = 0;
  bool quoted_bind = false;  // kBind written as :"Name"
};

// Maximum length of an identifier in bytes (Oracle 12.2 and later).
constexpr size_t kMaxIdentifierBytes = 128;

// Tokenises `text` into `out`, which always ends with one kEnd token.
// Errors: ORA-01756 (unterminated string), ORA-01740 (unterminated quoted
// identifier), ORA-01741 (""), ORA-00972 (identifier over 128 bytes),
// ORA-00911 (a character that starts no token), ORA-01742 (unterminated
// /* comment). On error `*error_pos` (if given) is the byte offset where
// the offending token starts. Runs in time linear in the text length.
Status Tokenize(std::string_view text, std::vector<Token>* out, uint32_t* error_pos = nullptr);

// The same for PL/SQL source, where '%' (SQL%ROWCOUNT, v%TYPE) and '..'
// (FOR i IN 1..n) are also symbols.
Status TokenizePlsql(std::string_view text, std::vector<Token>* out,
                     uint32_t* error_pos = nullptr);

// True if `word` (upper case) is one of Oracle's SQL reserved words, which
// cannot be used as unquoted identifiers.
bool IsReservedWord(std::string_view word);

// True if `name` would read back as the same unquoted identifier: starts
// with an upper-case letter (or a non-ASCII byte), holds only upper-case
// letters, digits, _, $, # and non-ASCII bytes, and is not reserved.
bool IsPlainIdentifier(std::string_view name);

}  // namespace sql
}  // namespace tabdb

// lexer_test.cpp - tokens of Oracle SQL text: identifiers, literals, binds,
// symbols, comments, and the errors for malformed text.
#include "sql/lexer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tabdb {
namespace sql {
namespace {

std::vector<Token> Lex(std::string_view text) {
  std::vector<Token> toks;
  Status s = Tokenize(text, &toks);
  EXPECT_TRUE(s.ok()) << s.text() << " for " << text;
  return toks;
}

struct OneToken {
  const char* text;
  TokenKind kind;
  const char* value;
};

TEST(Lexer, SingleTokens) {
  const OneToken cases[] = {
      {"abc", TokenKind::kIdent, "ABC"},
      {"a$b#c_1", TokenKind::kIdent, "A$B#C_1"},
      {"\xc3\xa9t\xc3\xa9", TokenKind::kIdent, "\xc3\xa9T\xc3\xa9"},  // only ASCII upper-cased
      {"\"Mixed Case\"", TokenKind::kQuotedIdent, "Mixed Case"},
      {"\"select\"", TokenKind::kQuotedIdent, "select"},
      {"\"A\"\"B\"", TokenKind::kQuotedIdent, "A\"B"},
      {"'it''s'", TokenKind::kString, "it's"},
      {"''", TokenKind::kString, ""},
      {"'multi\nline'", TokenKind::kString, "multi\nline"},
      {"q'[it's]'", TokenKind::kString, "it's"},
      {"Q'{a}b}'", TokenKind::kString, "a}b"},
      {"q'(x)'", TokenKind::kString, "x"},
      {"q'<x>'", TokenKind::kString, "x"},
      {"q'!a'b!'", TokenKind::kString, "a'b"},
      {"N'abc'", TokenKind::kNString, "abc"},
      {"nq'[x]'", TokenKind::kNString, "x"},
      {"12", TokenKind::kNumber, "12"},
      {"1.5", TokenKind::kNumber, "1.5"},
      {".5", TokenKind::kNumber, ".5"},
      {"1.", TokenKind::kNumber, "1."},
      {"1e10", TokenKind::kNumber, "1e10"},
      {"1.5E-3", TokenKind::kNumber, "1.5E-3"},
      {"1.5f", TokenKind::kBinaryFloat, "1.5"},
      {"1.5F", TokenKind::kBinaryFloat, "1.5"},
      {"2d", TokenKind::kBinaryDouble, "2"},
      {"2D", TokenKind::kBinaryDouble, "2"},
      {":1", TokenKind::kBind, "1"},
      {":name", TokenKind::kBind, "NAME"},
      {":\"Name\"", TokenKind::kBind, "Name"},
      {"<>", TokenKind::kSymbol, "<>"},
      {"!=", TokenKind::kSymbol, "!="},
      {"^=", TokenKind::kSymbol, "!="},
      {"<=", TokenKind::kSymbol, "<="},
      {">=", TokenKind::kSymbol, ">="},
      {"||", TokenKind::kSymbol, "||"},
      {";", TokenKind::kSymbol, ";"},
  };
  for (const auto& c : cases) {
    std::vector<Token> toks = Lex(c.text);
    ASSERT_EQ(toks.size(), 2u) << c.text;
    EXPECT_EQ(toks[0].kind, c.kind) << c.text;
    EXPECT_EQ(toks[0].text, c.value) << c.text;
    EXPECT_EQ(toks[1].kind, TokenKind::kEnd);
  }
}

TEST(Lexer, SpansCommentsAndBlanks) {
  std::string text = "  /* hint */ select -- to the end\n a,b\t/*x*/from \"T\"  ";
  std::vector<Token> toks = Lex(text);
  std::vector<std::string> words;
  for (const Token& t : toks) {
    if (t.kind == TokenKind::kEnd) break;
    words.push_back(text.substr(t.begin, t.end - t.begin));
  }
  EXPECT_EQ(words, (std::vector<std::string>{"select", "a", ",", "b", "from", "\"T\""}));
  EXPECT_EQ(toks.back().begin, text.size());
}

TEST(Lexer, NumberEdges) {
  // An exponent needs digits; a letter after a number starts a new token.
  std::vector<Token> toks = Lex("1ex 64K 3..4");
  ASSERT_GE(toks.size(), 5u);
  EXPECT_EQ(toks[0].text, "1");
  EXPECT_EQ(toks[1].text, "EX");
  EXPECT_EQ(toks[2].text, "64");
  EXPECT_EQ(toks[3].text, "K");
  // a minus sign is never part of a number
  toks = Lex("-1");
  ASSERT_EQ(toks.size(), 3u);
  EXPECT_EQ(toks[0].kind, TokenKind::kSymbol);
}

TEST(Lexer, Errors) {
  const struct {
    std::string text;
    int code;
    uint32_t pos;
  } cases[] = {
      {"select 'abc", 1756, 7},
      {"q'[abc]", 1756, 0},
      {"q'", 1756, 0},
      {"N'abc", 1756, 0},
      {"\"abc", 1740, 0},
      {"a \"\" b", 1741, 2},
      {"a ? b", 911, 2},
      {"a @ b", 911, 2},
      {"a | b", 911, 2},
      {"a ! b", 911, 2},
      {"a : b", 911, 2},
      {"a /* b", 1742, 2},
      {std::string(129, 'A'), 972, 0},
      {"\"" + std::string(129, 'a') + "\"", 972, 0},
      {":" + std::string(129, 'a'), 972, 0},
  };
  for (const auto& c : cases) {
    std::vector<Token> toks;
    uint32_t pos = 999;
    Status s = Tokenize(c.text, &toks, &pos);
    EXPECT_EQ(s.code(), c.code) << c.text;
    EXPECT_EQ(pos, c.pos) << c.text;
  }
  std::vector<Token> toks;
  EXPECT_TRUE(Tokenize(std::string(128, 'A'), &toks).ok());
  EXPECT_TRUE(Tokenize("\"" + std::string(128, 'a') + "\"", &toks).ok());
}

TEST(Lexer, ReservedAndPlainIdentifiers) {
  for (const char* w : {"SELECT", "FROM", "TABLE", "INDEX", "NUMBER", "USER", "LEVEL", "ROWNUM"})
    EXPECT_TRUE(IsReservedWord(w)) << w;
  for (const char* w : {"OWNER", "TABLE_NAME", "NAME", "TYPE", "CASE", "END", "TIMESTAMP"})
    EXPECT_FALSE(IsReservedWord(w)) << w;
  EXPECT_TRUE(IsPlainIdentifier("ABC_1"));
  EXPECT_FALSE(IsPlainIdentifier("Abc"));
  EXPECT_FALSE(IsPlainIdentifier("1A"));
  EXPECT_FALSE(IsPlainIdentifier("A B"));
  EXPECT_FALSE(IsPlainIdentifier("SELECT"));
  EXPECT_FALSE(IsPlainIdentifier(""));
}

}  // namespace
}  // namespace sql
}  // namespace tabdb

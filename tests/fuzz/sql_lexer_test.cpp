// sql_lexer_test.cpp - the programs' SQL lexer: token ranges of every
// quoting and comment form, safe ends on damaged text, and agreement with
// the embedded database's lexer on crafted and on generated inputs (the
// same comparison the differential fuzz target makes).
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "sql_lexer.h"
#include "sql_lexer_diff.h"

namespace {

struct Lexed {
  SQL_TOKEN_KIND kind;
  std::string text;
};

std::vector<Lexed> Lex(const std::string& s, int plsql = 0) {
  SQL_LEXER lx;
  sql_lexer_init(&lx, s.data(), static_cast<uint32_t>(s.size()), plsql);
  std::vector<Lexed> out;
  for (;;) {
    SQL_TOKEN t;
    sql_lex_next(&lx, &t);
    EXPECT_LE(static_cast<size_t>(t.at) + t.len, s.size());
    if (t.kind == SQLT_END) return out;
    out.push_back({t.kind, s.substr(t.at, t.len)});
    if (t.kind == SQLT_BAD) return out;
  }
}

TEST(SqlLexer, QuotingFormsAreOneTokenEach) {
  struct Case {
    const char* text;
    SQL_TOKEN_KIND kind;
  } cases[] = {
      {"'it''s'", SQLT_STRING},          {"q'[a ' ] b]'", SQLT_STRING},
      {"Q'{x}'", SQLT_STRING},           {"q'(a)b)'", SQLT_STRING},
      {"q'<'>'", SQLT_STRING},           {"q'#a'b#'", SQLT_STRING},
      {"n'x'", SQLT_NSTRING},            {"nq'[ ' ]'", SQLT_NSTRING},
      {"NQ'!;!'", SQLT_NSTRING},         {"\"A\"\"B\"", SQLT_QNAME},
      {"-- c ' \n", SQLT_COMMENT},       {"/* ' \" */", SQLT_COMMENT},
      {"1.5e-3d", SQLT_NUMBER},          {":\"x y\"", SQLT_BIND},
  };
  for (const auto& c : cases) {
    auto toks = Lex(c.text);
    ASSERT_EQ(toks.size(), 1u) << c.text;
    EXPECT_EQ(toks[0].kind, c.kind) << c.text;
    EXPECT_EQ(toks[0].text, c.text);
  }
}

TEST(SqlLexer, HiddenTextStaysInsideItsLiteral) {
  // what a checker that knows only q'' would take for code after the literal
  auto toks = Lex("DEFAULT nq'[ ' ]' REFERENCES \"VICTIM\".\"T\"");
  ASSERT_EQ(toks.size(), 6u);
  EXPECT_EQ(toks[1].kind, SQLT_NSTRING);
  EXPECT_EQ(toks[2].text, "REFERENCES");
  EXPECT_EQ(toks[3].text, "\"VICTIM\"");
  // and the other way round: a literal that hides a statement separator
  toks = Lex("select q'[ ' ;\ngrant dba to evil;\n]' x from dual");
  ASSERT_EQ(toks.size(), 5u);
  EXPECT_EQ(toks[1].kind, SQLT_STRING);
}

TEST(SqlLexer, DamagedTextEndsWithinItsBytes) {
  const std::string bad[] = {"'open", "q'[never", "q'", "q' x'", "nq'", "\"open", "\"\"", "/* open",
                             std::string("\"a\0b\"", 5), ":1x", "q'[]"};
  for (const std::string& b : bad) {
    auto toks = Lex(b);
    ASSERT_FALSE(toks.empty()) << b;
    EXPECT_EQ(toks.back().kind, SQLT_BAD) << b;
  }
  std::string nul("'a\0b' x", 7);  // a NUL inside a literal is the literal's
  auto toks = Lex(nul);
  ASSERT_EQ(toks.size(), 2u);
  EXPECT_EQ(toks[0].kind, SQLT_STRING);
  EXPECT_EQ(Lex(std::string(129, 'A')).back().kind, SQLT_BAD);
  EXPECT_EQ(Lex("\x1b[2K").front().kind, SQLT_OTHER);
}

TEST(SqlLexer, PlsqlSymbolsOnlyInPlsql) {
  EXPECT_EQ(Lex("v%TYPE", 1).size(), 3u);
  EXPECT_EQ(Lex("v%TYPE", 0)[1].kind, SQLT_OTHER);
  EXPECT_EQ(Lex("1..n", 1)[1].text, "..");
  EXPECT_EQ(Lex("$IF $$x", 1)[1].text, "$$x");
}

// Agreement with the database on the forms above and on their neighbours.
TEST(SqlLexerDifferential, CraftedInputs) {
  const std::string inputs[] = {
      "select q'[ ' ;\ngrant dba to evil;\n]' x from dual",
      "create table t (c varchar2(9) default nq'[ ' ]', d number references \"VICTIM\".\"T\")",
      "a@b a @b \"A\"@\"L\" x@1", "1..2 1.e5 .5f 2D 3ee :=:1 :a :\"\" :1a",
      "<> <= >= != ^= || => ! ^ | ~ ? & %", "n'a''b' nq'{x}' N 'x' nQ'<>>'",
      std::string("q'\0x\0'", 6), std::string("'a\0b'", 5), "-- x", "/**/", "/*/", "--\n/",
      "\"\xff\xfe\" \xc3\xa9t\xc3\xa9", "q'\x80x\x80'",
      // conditional compilation words of PL/SQL
      "$IF x $THEN y $END $$PLSQL_LINE $$ $ $1 (:2,$\xd8)",
  };
  for (const std::string& in : inputs)
    for (bool plsql : {false, true}) EXPECT_EQ(sql_lexer_diff::Difference(in, plsql), "") << in;
}

// Short random texts over the bytes that matter to token boundaries.
TEST(SqlLexerDifferential, GeneratedInputs) {
  static const char kAlphabet[] = "'\"qQnN[]{}()<>#-/*\n .:=@%|^!e1a\0\x1b\xc3;";
  std::mt19937 rng(20261208);
  std::uniform_int_distribution<size_t> pick(0, sizeof(kAlphabet) - 2);
  std::uniform_int_distribution<size_t> length(0, 24);
  for (int i = 0; i < 200000; i++) {
    std::string s;
    for (size_t n = length(rng); n > 0; n--) s += kAlphabet[pick(rng)];
    for (bool plsql : {false, true}) {
      std::string diff = sql_lexer_diff::Difference(s, plsql);
      ASSERT_EQ(diff, "") << "input: " << ::testing::PrintToString(s);
    }
  }
}

}  // namespace

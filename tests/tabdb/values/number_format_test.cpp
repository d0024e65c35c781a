// number_format_test.cpp - TO_CHAR and TO_NUMBER with number format models:
// layout of each element, overflow, bad models and text that does not match.
#include "values/number_format.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "util/errors.h"

namespace tabdb {
namespace {

Number N(const std::string& text) {
  Number n;
  EXPECT_TRUE(Number::Parse(text, &n).ok()) << text;
  return n;
}

struct ToCharCase {
  const char* value;
  const char* fmt;
  const char* want;
};

TEST(NumberToChar, Layout) {
  const ToCharCase cases[] = {
      // Oracle's documented examples.
      {"123.456", "999.999", " 123.456"},
      {"-123.456", "999.999", "-123.456"},
      {"123.456", "FM999.009", "123.456"},
      {"123", "FM999.009", "123.00"},
      {"123.45", "FM999.009", "123.45"},
      {"123.456", "9.9EEEE", "  1.2E+02"},
      {"1e123", "9.9EEEE", " 1.0E+123"},
      {"123.456", "FM9.9EEEE", "1.2E+02"},
      {"-1234567890", "9999999999S", "1234567890-"},
      {"1234567890", "9999999999S", "1234567890+"},
      {".1", "99.99", "   .10"},
      {"-.2", "99.99", "  -.20"},
      {"-.2", "90.99", " -0.20"},
      {"0", "9999", "    0"},
      {"0", "B90.99", "      "},
      // Sign column, digits, leading blanks and zeros.
      {"5", "999", "   5"},
      {"-5", "999", "  -5"},
      {"0", "999", "   0"},
      {".4", "999", "   0"},
      {".5", "999", "   1"},
      {"5", "099", " 005"},
      {"5", "9099", "  005"},
      {"-5", "099", "-005"},
      // Decimal point and fraction digits.
      {"123.456", "999.99", " 123.46"},
      {"0", "9.99", "  .00"},
      {".5", "9.99", "  .50"},
      {".5", "0.99", " 0.50"},
      {"-.5", "9.9", " -.5"},
      {"1.5", "9.990", " 1.500"},
      {"-.001", "0.00", "-0.00"},
      {"1.5", "9D99", " 1.50"},
      // Group separators.
      {"1234", "9,999", " 1,234"},
      {"12", "9,999", "    12"},
      {"1234567", "9G999G999", " 1,234,567"},
      {"5", "0,000", " 0,005"},
      {"-1234.5", "99,999.99", " -1,234.50"},
      // Fill mode.
      {"1.5", "FM9.99", "1.5"},
      {"1", "FM9.99", "1."},
      {"0", "FM9.99", "0."},
      {"1.5", "FM9.990", "1.500"},
      {"-12", "FM9999", "-12"},
      {"5", "fm999", "5"},
      // Sign elements.
      {"5", "S999", "  +5"},
      {"-5", "S999", "  -5"},
      {"5", "999S", "  5+"},
      {"-5", "999S", "  5-"},
      {"-5", "999MI", "  5-"},
      {"5", "999MI", "  5 "},
      {"5", "FM999MI", "5"},
      {"-5", "999PR", "  <5>"},
      {"5", "999PR", "   5 "},
      {"-5", "FM999PR", "<5>"},
      // Currency and blank-when-zero.
      {"5", "$999", "   $5"},
      {"-5", "$999", "  -$5"},
      {"1234.5", "$9,999.99", " $1,234.50"},
      {"5", "$099", " $005"},
      {"0", "B999", "    "},
      {"5", "B999", "   5"},
      {".5", "B0.99", "  .50"},
      // V multiplies by ten per digit after it.
      {"123", "999V99", " 12300"},
      {"1.5", "99V99", "  150"},
      {"123", "99V99", "#####"},
      {"1.555", "9V99", " 156"},
      // Scientific notation.
      {"12345", "9.9EEEE", "  1.2E+04"},
      {"-.00012", "9.99EEEE", " -1.20E-04"},
      {"0", "9.9EEEE", "  0.0E+00"},
      {"9.96", "9.9EEEE", "  1.0E+01"},
      {"1e125", "9.9EEEE", " 1.0E+125"},
      {"7", "9EEEE", "  7E+00"},
      // Hexadecimal.
      {"255", "XX", " FF"},
      {"255", "xx", " ff"},
      {"10", "0XX", " 00A"},
      {"10.5", "X", " B"},
      {"255", "FMXX", "FF"},
      {"0", "XX", "  0"},
      // Text minimum.
      {"12.5", "TM", "12.5"},
      {"12.5", "TM9", "12.5"},
      {"1234", "TME", "1.234E+03"},
      {"1234", "fmtm", "1234"},
  };
  for (const auto& c : cases) {
    std::string out;
    Status st = NumberToChar(N(c.value), c.fmt, &out);
    ASSERT_TRUE(st.ok()) << c.fmt << ": " << st.text();
    EXPECT_EQ(out, c.want) << "TO_CHAR(" << c.value << ", '" << c.fmt << "')";
  }
}

TEST(NumberToChar, OverflowFillsTheWidthWithHashes) {
  const ToCharCase cases[] = {
      {"1234", "99", "###"},        {"1234", "FM99", "###"},   {"1.5", ".9", "###"},
      {"999.5", "999", "####"},     {"256", "XX", "###"},      {"-1", "XX", "###"},
      {"100000", "9,999", "######"}, {"-1234", "999MI", "####"}, {"1234", "$999", "#####"},
  };
  for (const auto& c : cases) {
    std::string out;
    ASSERT_TRUE(NumberToChar(N(c.value), c.fmt, &out).ok()) << c.fmt;
    EXPECT_EQ(out, c.want) << "TO_CHAR(" << c.value << ", '" << c.fmt << "')";
  }
}

TEST(NumberToChar, WideValuesPrintInFixedNotation) {
  std::string out;
  ASSERT_TRUE(NumberToChar(N("1e100"), std::string(101, '9'), &out).ok());
  EXPECT_EQ(out, " 1" + std::string(100, '0'));
}

TEST(NumberToChar, BadModels) {
  for (const char* fmt : {"", "9.9.9", ",999", "99.9,9", "9X", "X9", "SS99", "S99S", "99MI9",
                          "9PR9", "EEEE", "9EEEE9", "abc", "L999", "RN", "9V9.9", "$$9", "99.9V",
                          "99M", "9EEE", "MIPR", "9,9EEEE", "TMX", "$X", "FMFM9", "BB9", "9S9"}) {
    std::string out;
    EXPECT_EQ(NumberToChar(N("1"), fmt, &out).code(), 1481) << fmt;
    Number n;
    EXPECT_EQ(NumberFromChar("1", fmt, &n).code(), 1481) << fmt;
  }
}

TEST(NumberFromChar, MatchingText) {
  struct Case {
    const char* text;
    const char* fmt;
    const char* want;
  } cases[] = {
      {"1,234.50", "9,999.99", "1234.5"}, {"  -5", "999", "-5"},     {"+5", "999", "5"},
      {"5-", "999MI", "-5"},              {"5 ", "999MI", "5"},      {"<5>", "999PR", "-5"},
      {"5", "999PR", "5"},                {"$1,234", "$9,999", "1234"}, {"-$5", "$999", "-5"},
      {"1.2E+04", "9.9EEEE", "12000"},    {"FF", "XX", "255"},       {"ff", "xx", "255"},
      {"00A", "0XX", "10"},               {"+5", "S9", "5"},         {"5+", "9S", "5"},
      {"5-", "9S", "-5"},                 {"150", "99V99", "1.5"},   {".5", "9.99", ".5"},
      {"12", "9,999", "12"},              {"0012", "0000", "12"},    {"1.", "9.9", "1"},
      {"12.5", "TM", "12.5"},
  };
  for (const auto& c : cases) {
    Number n;
    Status st = NumberFromChar(c.text, c.fmt, &n);
    ASSERT_TRUE(st.ok()) << "TO_NUMBER('" << c.text << "', '" << c.fmt << "'): " << st.text();
    EXPECT_EQ(n.ToString(), N(c.want).ToString()) << c.text << " / " << c.fmt;
  }
}

TEST(NumberFromChar, TextThatDoesNotMatch) {
  struct Case {
    const char* text;
    const char* fmt;
  } cases[] = {
      {"1234", "9,999"}, {"12345", "9999"}, {"1.234", "9.99"},  {"abc", "999"},   {"", "999"},
      {"   ", "999"},    {"1,2,34", "9,999"}, {"$5", "999"},   {"<5", "999PR"},  {"GG", "XX"},
      {"100", "XX"},     {"1.5", "999"},    {",234", "9,999"}, {"5-", "999"},    {"-5", "999MI"},
      {"--5", "999"},    {".", "9.9"},      {"1 2", "999"},    {"1.2E", "9.9EEEE"},
  };
  for (const auto& c : cases) {
    Number n;
    EXPECT_EQ(NumberFromChar(c.text, c.fmt, &n).code(), ora::kInvalidNumber)
        << "TO_NUMBER('" << c.text << "', '" << c.fmt << "')";
  }
}

TEST(NumberFormat, ToCharThenToNumberRoundTrips) {
  std::mt19937 g(2718);
  const char* fmts[] = {"999,999,990.99", "FM999999990.00", "S000000000.99", "999999999.99MI",
                        "$999,999,999.99PR", "9.99999999999EEEE"};
  for (int i = 0; i < 3000; ++i) {
    long cents = std::uniform_int_distribution<long>(-99999999999L, 99999999999L)(g);
    Number v;
    ASSERT_TRUE(Number::Parse(std::to_string(cents) + "e-2", &v).ok());
    for (const char* f : fmts) {
      std::string text;
      ASSERT_TRUE(NumberToChar(v, f, &text).ok());
      Number back;
      Status st = NumberFromChar(text, f, &back);
      ASSERT_TRUE(st.ok()) << text << " / " << f << ": " << st.text();
      ASSERT_EQ(back, v) << text << " / " << f;
    }
  }
}

}  // namespace
}  // namespace tabdb

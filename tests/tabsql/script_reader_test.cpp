// script_reader_test.cpp - how the shell splits scripts into units (SQL,
// PL/SQL read whole up to "/", commands, buffer runs) and how it replaces
// substitution variables.
#include <sstream>
#include <string>
#include <vector>

#include "feedback.h"
#include "script.h"
#include "subst.h"
#include <gtest/gtest.h>

namespace {

using tabsql::Unit;

std::vector<Unit> Split(const std::string& text, bool blank_lines = false) {
  std::istringstream in(text);
  tabsql::ScriptReader r(in);
  r.set_blank_lines(blank_lines);
  std::vector<Unit> out;
  Unit u;
  while (r.Next(&u)) out.push_back(u);
  return out;
}

TEST(ScriptReaderTest, PlsqlUnitsAreReadWholeUpToSlash) {
  std::vector<Unit> u = Split(
      "create or replace editionable procedure p (n number) is\n"
      "begin\n"
      "  insert into t values (n);\n"
      "  commit;\n"
      "end;\n"
      "/\n"
      "CREATE OR REPLACE\n"
      "PACKAGE BODY pk AS\n"
      "  x CONSTANT VARCHAR2(3) := ';';\n"
      "END pk;\n"
      "/\n"
      "create type point as object (x number, y number);\n"
      "/\n"
      "declare\n  v number := 1;\nbegin\n  null;\nend;\n/\n"
      "create table t (n number);\n");
  ASSERT_EQ(u.size(), 5u);
  EXPECT_EQ(u[0].kind, Unit::kPlsql);
  EXPECT_EQ(u[0].text,
            "create or replace editionable procedure p (n number) is\nbegin\n"
            "  insert into t values (n);\n  commit;\nend;");
  EXPECT_EQ(u[1].kind, Unit::kPlsql);
  EXPECT_EQ(u[1].text, "CREATE OR REPLACE\nPACKAGE BODY pk AS\n  x CONSTANT VARCHAR2(3) := ';';\nEND pk;");
  EXPECT_EQ(u[1].line, 7);
  EXPECT_EQ(u[2].kind, Unit::kPlsql);
  EXPECT_EQ(u[3].kind, Unit::kPlsql);
  EXPECT_EQ(u[3].text, "declare\n  v number := 1;\nbegin\n  null;\nend;");
  EXPECT_EQ(u[4].kind, Unit::kSql);
  EXPECT_EQ(u[4].text, "create table t (n number)");
}

// ";" ends SQL only at the end of a line and outside quotes and comments;
// "/" runs what is buffered; a blank line or "." ends a statement without
// running it (unless blank lines are allowed); comments and REM lines
// between statements are skipped; other lines are commands.
TEST(ScriptReaderTest, TerminatorsCommentsAndCommands) {
  std::vector<Unit> u = Split(
      "REM a remark; with a semicolon\n"
      "rem another\n"
      "/* block\n   comment; */\n"
      "-- line comment;\n"
      "select ';' a, -- no end here;\n"
      "  'x' /* ; */ b from dual;\n"
      "/\n"
      "select 1\n"
      "from dual\n"
      "/\n"
      "select 2\n"
      "\n"
      "select 3 from dual\n"
      ".\n"
      "set feedback off\n"
      "@@sub/child.sql arg1\n"
      "prompt one -\n"
      "two\n"
      "set transaction read only;\n"
      "remark_table_stays_sql;\n");
  ASSERT_EQ(u.size(), 10u);
  EXPECT_EQ(u[0].kind, Unit::kSql);
  EXPECT_EQ(u[0].text, "select ';' a, \n  'x'   b from dual");
  EXPECT_EQ(u[1].kind, Unit::kRun);
  EXPECT_EQ(u[2].kind, Unit::kSql);
  EXPECT_EQ(u[2].text, "select 1\nfrom dual");
  EXPECT_EQ(u[3].kind, Unit::kBuffer);
  EXPECT_EQ(u[3].text, "select 2");
  EXPECT_EQ(u[4].kind, Unit::kBuffer);
  EXPECT_EQ(u[4].text, "select 3 from dual");
  EXPECT_EQ(u[5].kind, Unit::kCommand);
  EXPECT_EQ(u[5].text, "set feedback off");
  EXPECT_EQ(u[6].kind, Unit::kCommand);
  EXPECT_EQ(u[6].text, "@@sub/child.sql arg1");
  EXPECT_EQ(u[7].kind, Unit::kCommand);
  EXPECT_EQ(u[7].text, "prompt one two");
  EXPECT_EQ(u[8].kind, Unit::kSql);
  EXPECT_EQ(u[9].kind, Unit::kCommand);  // not REM: the shell reports it

  // SET SQLBLANKLINES ON keeps blank lines inside statements.
  u = Split("select 2\n\nfrom dual;\n", true);
  ASSERT_EQ(u.size(), 1u);
  EXPECT_EQ(u[0].kind, Unit::kSql);
  // A statement left open at the end of the input is not run.
  u = Split("select 1 from dual");
  ASSERT_EQ(u.size(), 1u);
  EXPECT_EQ(u[0].kind, Unit::kBuffer);
}

// A ";" or a quote inside any quoting form neither ends the statement nor
// opens a quote: what follows on later lines stays part of the literal.
TEST(ScriptReaderTest, EveryQuotingFormHoldsItsSemicolons) {
  const char* const literals[] = {"q'[ ' ;\ngrant dba to evil;\n]'", "Q'{ ' ;\ngrant dba to evil;\n}'",
                                  "nq'( ' ;\ngrant dba to evil;\n)'", "q'< ' ;\ngrant dba to evil;\n>'",
                                  "q'! ' ;\ngrant dba to evil;\n!'", "NQ'# ' ;\ngrant dba to evil;\n#'"};
  for (const char* lit : literals) {
    std::string view = std::string("create view v as select ") + lit + " x from dual;\n";
    std::vector<Unit> u = Split(view + "select 1 from dual;\n", true);
    ASSERT_EQ(u.size(), 2u) << lit;
    EXPECT_EQ(u[0].kind, Unit::kSql);
    EXPECT_EQ(u[0].text, view.substr(0, view.size() - 2)) << lit;
    EXPECT_EQ(u[1].text, "select 1 from dual");
  }
  // a word ending in q is no quote
  std::vector<Unit> u = Split("select seq'x' from dual;\nselect 2 from dual;\n");
  ASSERT_EQ(u.size(), 2u);
}

// A unit created with FORCE is stored code too, read whole up to "/".
TEST(ScriptReaderTest, ForcedUnitsAreCode) {
  std::vector<Unit> u = Split("create or replace force procedure p as\nbegin\n  null;\nend;\n/\n"
                              "create no force function f return number as begin return 1; end;\n/\n");
  ASSERT_EQ(u.size(), 2u);
  EXPECT_EQ(u[0].kind, Unit::kPlsql);
  EXPECT_EQ(u[1].kind, Unit::kPlsql);
}

TEST(SubstitutionTest, VariablesArgumentsAndPrefix) {
  tabsql::Variables v;
  std::vector<std::string> asked;
  auto ask = [&](const std::string& name) {
    asked.push_back(name);
    return std::string("X") + name;
  };
  v.Define("owner", "APP");
  v.Define("1", "first");
  std::string out;
  EXPECT_TRUE(v.Substitute("select * from &owner..t where a = '&1' and b = &owner", &out, ask));
  EXPECT_EQ(out, "select * from APP.t where a = 'first' and b = APP");
  // & alone, and a name asked for: & asks each time, && once.
  EXPECT_TRUE(v.Substitute("a & b &x &x &&y &y", &out, ask));
  EXPECT_EQ(out, "a & b Xx Xx Xy Xy");
  EXPECT_EQ(asked, (std::vector<std::string>{"x", "x", "y"}));
  EXPECT_FALSE(v.Substitute("no variables", &out, ask));
  EXPECT_EQ(out, "no variables");
  v.set_enabled(false);
  EXPECT_FALSE(v.Substitute("'&owner'", &out, ask));
  EXPECT_EQ(out, "'&owner'");
  v.set_enabled(true);
  v.set_prefix('^');
  EXPECT_TRUE(v.Substitute("'&owner' ^owner", &out, ask));
  EXPECT_EQ(out, "'&owner' APP");
  EXPECT_TRUE(v.Undefine("OWNER"));
  EXPECT_FALSE(v.Undefine("owner"));
}

TEST(SplitArgsTest, QuotesGroupWords) {
  EXPECT_EQ(tabsql::SplitArgs("  file 'a b' \"c d\" '' x'y z'  "),
            (std::vector<std::string>{"file", "a b", "c d", "", "xy z"}));
  EXPECT_TRUE(tabsql::SplitArgs("   ").empty());
}

TEST(FeedbackTest, NamedAfterVerbAndObject) {
  using tabdb::sql::StmtKind;
  EXPECT_EQ(tabsql::FeedbackLine(StmtKind::kInsert, 1, "insert"), "1 row created.");
  EXPECT_EQ(tabsql::FeedbackLine(StmtKind::kDelete, 3, "delete"), "3 rows deleted.");
  EXPECT_EQ(tabsql::FeedbackLine(StmtKind::kPlsqlBlock, 0, "create or replace package body p as"),
            "Package body created.");
  EXPECT_EQ(tabsql::FeedbackLine(StmtKind::kCreateTable, 0, "create global temporary table t"),
            "Table created.");
  EXPECT_EQ(tabsql::FeedbackLine(StmtKind::kCreateIndex, 0, "CREATE UNIQUE INDEX i ON t(a)"),
            "Index created.");
  EXPECT_EQ(tabsql::FeedbackLine(StmtKind::kPlsqlBlock, 0, "create or replace force view v as"),
            "View created.");
  EXPECT_EQ(tabsql::FeedbackLine(StmtKind::kPlsqlBlock, 0, "drop public synonym s"),
            "Synonym dropped.");
  EXPECT_EQ(tabsql::FeedbackLine(StmtKind::kPlsqlBlock, 0, "begin null; end;"),
            "PL/SQL procedure successfully completed.");
  EXPECT_EQ(tabsql::FeedbackLine(StmtKind::kGrant, 0, "grant select on t to u"),
            "Grant succeeded.");
  EXPECT_EQ(tabsql::FeedbackLine(StmtKind::kAlterSession, 0, "alter session set x = 1"),
            "Session altered.");
}

}  // namespace

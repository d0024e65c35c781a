// engine_shell_test.cpp - the SQL shell run as a process: the -S output of
// queries, DESCRIBE, error lines and the exit status, and the commit at the
// end of the input.
#include <string>

#include "support.h"
#include <gtest/gtest.h>

namespace {

using testsupport::ProcResult;
using testsupport::RunSql;

class EngineShellTest : public testsupport::AppShellTest {};

// One line of DESCRIBE output, and the line of dashes under its heading.
std::string DescLine(const std::string& name, const std::string& null, const std::string& type) {
  std::string l = " " + name;
  l.resize(42, ' ');
  std::string n = " " + null;
  n.resize(9, ' ');
  return l + n + " " + type + "\n";
}
const std::string kDescDashes =
    " " + std::string(41, '-') + " " + std::string(8, '-') + " " + std::string(28, '-') + "\n";

// -S: a header line, '|' between values, NULL as nothing, numbers as
// TO_CHAR shows them, DATE as YYYY-MM-DD HH24:MI:SS, RAW as upper-case hex.
TEST_F(EngineShellTest, QueryOutputFormat) {
  ProcResult r = App(
      "CREATE TABLE s (n NUMBER, v VARCHAR2(10), d DATE, r RAW(4), c CHAR(3), e NUMBER, "
      "t TIMESTAMP(3), f BINARY_DOUBLE);\n"
      "INSERT INTO s VALUES (1.50, 'x y', TO_DATE('2024-03-15 13:45:30','YYYY-MM-DD HH24:MI:SS'), "
      "HEXTORAW('0aff'), 'a', NULL, TIMESTAMP '2024-03-15 13:45:30.5', 2.5);\n"
      "INSERT INTO s (n) VALUES (-0.25);\n"
      "SELECT n, v, d, r, c, e, t, f FROM s ORDER BY n DESC;\n"
      "SELECT n + 1, LOWER(v) AS low FROM s WHERE v IS NOT NULL;\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "N|V|D|R|C|E|T|F\n"
            "1.5|x y|2024-03-15 13:45:30|0AFF|a  ||2024-03-15 13:45:30.500|2.5E+000\n"
            "-.25|||||||\n"
            "N+1|LOW\n"
            "2.5|x y\n");
}

TEST_F(EngineShellTest, Describe) {
  ProcResult r = App(
      "CREATE TABLE d (id NUMBER(5) NOT NULL, amount NUMBER(7,2), name VARCHAR2(20), "
      "code CHAR(2 CHAR), at DATE, raw_v RAW(16));\n"
      "DESCRIBE d\n"
      "DESC nosuch\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, DescLine("Name", "Null?", "Type") + kDescDashes +
                       DescLine("ID", "NOT NULL", "NUMBER(5)") +
                       DescLine("AMOUNT", "", "NUMBER(7,2)") + DescLine("NAME", "", "VARCHAR2(20)") +
                       DescLine("CODE", "", "CHAR(2 CHAR)") + DescLine("AT", "", "DATE") +
                       DescLine("RAW_V", "", "RAW(16)"));
  EXPECT_NE(r.err.find("ORA-04043: object nosuch does not exist"), std::string::npos) << r.err;
}

// A failing statement prints its Oracle error on standard error, the rest
// of the input still runs, and the exit status is 1.
TEST_F(EngineShellTest, ErrorsAndExitStatus) {
  ProcResult r = App(
      "CREATE TABLE e (a NUMBER(2));\n"
      "SELECT * FROM nosuch;\n"
      "INSERT INTO e VALUES (123);\n"
      "INSERT INTO e VALUES (12);\n"
      "SELECT a FROM e;\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("ORA-00942: table or view does not exist\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("ORA-01438: value larger than specified precision allowed for this column\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.out, "A\n12\n");
  ProcResult ok = App("SELECT COUNT(*) FROM e;\n");
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.out, "COUNT(*)\n1\n");
  ProcResult denied = RunSql("app/wrong@" + path_, "SELECT 1 FROM dual;\n");
  EXPECT_EQ(denied.status, 1);
  EXPECT_NE(denied.err.find("ORA-01017"), std::string::npos);
}

// The end of the input commits (also after errors); EXIT does too; an
// explicit ROLLBACK undoes what came before it.
TEST_F(EngineShellTest, EndOfInputCommits) {
  EXPECT_EQ(App("CREATE TABLE c (a NUMBER);\nINSERT INTO c VALUES (1);\n").status, 0);
  EXPECT_EQ(App("INSERT INTO c VALUES (2);\nSELECT * FROM nosuch;\n").status, 1);
  EXPECT_EQ(App("INSERT INTO c VALUES (3);\nEXIT\nINSERT INTO c VALUES (4);\n").status, 0);
  EXPECT_EQ(App("INSERT INTO c VALUES (5);\nROLLBACK;\n").status, 0);
  ProcResult r = App("SELECT a FROM c ORDER BY a;\n");
  EXPECT_EQ(r.out, "A\n1\n2\n3\n");
}

// DESCRIBE of a view (its columns as its query gives them now, NOT NULL
// where they are NOT NULL columns of its tables), of a table or view
// through a synonym, and of DUAL; a view with errors cannot be described,
// and making one is a warning.
TEST_F(EngineShellTest, DescribeViewsSynonymsAndDual) {
  ProcResult r = App(
      "CREATE TABLE base (id NUMBER(5) NOT NULL, name VARCHAR2(20), at DATE);\n"
      "CREATE VIEW v (label, n) AS SELECT name, COUNT(*) FROM base GROUP BY name;\n"
      "CREATE VIEW v2 AS SELECT b.id, b.name, x.id x_id FROM base b, base x;\n"
      "CREATE SYNONYM b FOR base;\n"
      "CREATE FORCE VIEW broken AS SELECT x FROM nothing;\n"
      "DESC v\n"
      "DESCRIBE b\n"
      "DESC dual\n"
      "DESC v2\n"
      "DESC broken\n"
      "SET FEEDBACK ON\n"
      "CREATE OR REPLACE FORCE VIEW broken AS SELECT y FROM nothing;\n"
      "ALTER VIEW broken COMPILE;\n");
  EXPECT_EQ(r.status, 1);
  std::string head = DescLine("Name", "Null?", "Type") + kDescDashes;
  EXPECT_EQ(r.out, head + DescLine("LABEL", "", "VARCHAR2(20)") + DescLine("N", "", "NUMBER") +
                       head + DescLine("ID", "NOT NULL", "NUMBER(5)") +
                       DescLine("NAME", "", "VARCHAR2(20)") + DescLine("AT", "", "DATE") +
                       head + DescLine("DUMMY", "", "VARCHAR2(1)") +
                       head + DescLine("ID", "NOT NULL", "NUMBER(5)") +
                       DescLine("NAME", "", "VARCHAR2(20)") + DescLine("X_ID", "NOT NULL", "NUMBER(5)") +
                       "Warning: View created with compilation errors.\n\n"
                       "Warning: View altered with compilation errors.\n\n");
  EXPECT_NE(r.err.find("ORA-24372: invalid object for describe"), std::string::npos) << r.err;
}

}  // namespace

// create_table_as_test.cpp - CREATE TABLE ... AS SELECT through the SQL
// shell: column types as Oracle derives them from the query, NOT NULL kept
// from plain column references, rows (LOBs included) copied, the empty copy,
// column lists, joins, and the errors of misuse.
#include <string>
#include <vector>

#include "support.h"
#include <gtest/gtest.h>

namespace {

using testsupport::ProcResult;

class CreateTableAsTest : public testsupport::AppShellTest {
 protected:
  void SetUp() override {
    AppShellTest::SetUp();
    ProcResult r = App(
        "CREATE TABLE src (id NUMBER(6) NOT NULL, name VARCHAR2(15), amt NUMBER(8,2), d DATE,"
        " txt CLOB);\n"
        "INSERT INTO src VALUES (1, 'one', 1.5, DATE '2020-01-02', 'clob one');\n"
        "INSERT INTO src VALUES (2, 'two', 2.5, NULL, NULL);\n");
    ASSERT_EQ(r.status, 0) << r.err;
  }
};

constexpr const char* kColumns =
    "SELECT column_name, data_type, data_length, data_precision, data_scale, nullable "
    "FROM user_tab_columns WHERE table_name = '%s' ORDER BY column_id;\n";

std::string Columns(const std::string& table) {
  std::string q = kColumns;
  return q.replace(q.find("%s"), 2, table);
}

// A copy of every column has the source's types and NOT NULL and its own
// LOBs (changing the copy leaves the source as it was).
TEST_F(CreateTableAsTest, CopyOfTable) {
  ProcResult r = App(
      "CREATE TABLE c1 AS SELECT * FROM src;\n" + Columns("C1") +
      "UPDATE c1 SET txt = 'changed' WHERE id = 1;\n"
      "SELECT id, name, amt, d, txt FROM c1 ORDER BY id;\n"
      "SELECT txt FROM src WHERE id = 1;\n"
      "SELECT count(*) FROM src s JOIN c1 c ON c.id = s.id AND c.name = s.name "
      "AND c.amt = s.amt;\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "COLUMN_NAME|DATA_TYPE|DATA_LENGTH|DATA_PRECISION|DATA_SCALE|NULLABLE\n"
            "ID|NUMBER|22|6|0|N\nNAME|VARCHAR2|15|||Y\nAMT|NUMBER|22|8|2|Y\n"
            "D|DATE|7|||Y\nTXT|CLOB|4000|||Y\n"
            "ID|NAME|AMT|D|TXT\n1|one|1.5|2020-01-02 00:00:00|changed\n2|two|2.5||\n"
            "TXT\nclob one\n"
            "COUNT(*)\n2\n");
}

// Expressions: NUMBER without precision, concatenations as long as their
// parts, a string literal CHAR; a column list names them; WHERE 1=0 makes
// an empty table; joins keep NOT NULL of plain columns only.
TEST_F(CreateTableAsTest, DerivedTypesAndForms) {
  ProcResult r = App(
      "CREATE TABLE c2 (k, label, total, lit) AS SELECT id, name || '!', amt * 2, 'abc' "
      "FROM src WHERE 1=0;\n" + Columns("C2") +
      "SELECT count(*) FROM c2;\n"
      "CREATE TABLE c3 AS SELECT s.id, s.name n, t.id + 0 tid FROM src s JOIN src t "
      "ON t.id = s.id;\n" + Columns("C3") +
      "SELECT * FROM c3 ORDER BY 1;\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "COLUMN_NAME|DATA_TYPE|DATA_LENGTH|DATA_PRECISION|DATA_SCALE|NULLABLE\n"
            "K|NUMBER|22|6|0|N\nLABEL|VARCHAR2|16|||Y\nTOTAL|NUMBER|22|||Y\nLIT|CHAR|3|||Y\n"
            "COUNT(*)\n0\n"
            "COLUMN_NAME|DATA_TYPE|DATA_LENGTH|DATA_PRECISION|DATA_SCALE|NULLABLE\n"
            "ID|NUMBER|22|6|0|N\nN|VARCHAR2|15|||Y\nTID|NUMBER|22|||Y\n"
            "ID|N|TID\n1|one|1\n2|two|2\n");
}

// Unnamed expressions, a column list of the wrong length, a NULL column,
// a taken name, a missing source: errors, and no table left behind.
TEST_F(CreateTableAsTest, Misuse) {
  ProcResult r = App(
      "CREATE TABLE x AS SELECT id, amt * 2 FROM src;\n"
      "CREATE TABLE x (a, b) AS SELECT id FROM src;\n"
      "CREATE TABLE x AS SELECT NULL n FROM dual;\n"
      "CREATE TABLE src AS SELECT * FROM src;\n"
      "CREATE TABLE x AS SELECT * FROM nosuch;\n"
      "CREATE TABLE x AS SELECT id, id FROM src;\n"
      "CREATE TABLE x AS SELECT id, 1 / (id - 2) q FROM src;\n"
      "SELECT table_name FROM user_tables;\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "TABLE_NAME\nSRC\n");
  testsupport::ExpectInOrder(r.err, {
      "ORA-00998: must name this expression with a column alias",
      "ORA-01730: invalid number of column names specified",
      "ORA-01723: zero-length columns are not allowed",
      "ORA-00955: name is already used by an existing object",
      "ORA-00942: table or view does not exist",
      "ORA-00957: duplicate column name",
      "ORA-01476: divisor is equal to zero",
  });
}

}  // namespace

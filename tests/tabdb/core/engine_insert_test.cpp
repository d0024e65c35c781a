// engine_insert_test.cpp - Oracle's rules for values entering a column:
// NULL for empty strings, blank padding of CHAR, rounding and precision of
// NUMBER(p,s), length limits with ORA-12899's exact text, NOT NULL.
#include <string>
#include <vector>

#include "oci_fixture.h"

namespace ocitest {
namespace {

class EngineInsertTest : public OciTest {};

struct Fit {
  const char* type;
  const char* value;   // SQL expression inserted
  const char* stored;  // TO_CHAR of what is stored ("<null>" for NULL)
  int error;           // or the Oracle error of the insert
  const char* text;    // and its text (without the line end), when checked
};

const Fit kFits[] = {
    // NUMBER(p,s): rounded to s digits, more than p digits rejected.
    {"NUMBER(5,2)", "123.456", "123.46", 0, nullptr},
    {"NUMBER(5,2)", "-123.455", "-123.46", 0, nullptr},
    {"NUMBER(5,2)", "999.994", "999.99", 0, nullptr},
    {"NUMBER(5,2)", "999.995", nullptr, 1438,
     "ORA-01438: value larger than specified precision allowed for this column"},
    {"NUMBER(3)", "999.4", "999", 0, nullptr},
    {"NUMBER(3)", "-999.5", nullptr, 1438, nullptr},
    {"NUMBER(3,-1)", "1234", "1230", 0, nullptr},
    {"NUMBER(3,-1)", "9999", nullptr, 1438, nullptr},
    {"NUMBER(2,3)", "0.01234", ".012", 0, nullptr},
    {"NUMBER(2,3)", "0.1", nullptr, 1438, nullptr},
    {"NUMBER(*,0)", "2.5", "3", 0, nullptr},
    {"NUMBER", "'  42 '", "42", 0, nullptr},
    {"NUMBER", "'4x'", nullptr, 1722, "ORA-01722: invalid number"},
    {"INTEGER", "-2.5", "-3", 0, nullptr},
    // Character lengths: bytes for BYTE semantics, characters for CHAR and
    // national types; trailing blanks count.
    {"VARCHAR2(3)", "'abcd'", nullptr, 12899,
     "ORA-12899: value too large for column \"APP\".\"F\".\"C\" (actual: 4, maximum: 3)"},
    {"VARCHAR2(3)", "'\xC3\xA9\xC3\xA9'", nullptr, 12899,
     "ORA-12899: value too large for column \"APP\".\"F\".\"C\" (actual: 4, maximum: 3)"},
    {"VARCHAR2(3 CHAR)", "'\xC3\xA9\xC3\xA9\xC3\xA9'", "\xC3\xA9\xC3\xA9\xC3\xA9", 0, nullptr},
    {"VARCHAR2(3 CHAR)", "'\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9Ex'", nullptr, 12899,
     "ORA-12899: value too large for column \"APP\".\"F\".\"C\" (actual: 4, maximum: 3)"},
    {"CHAR(3)", "'ab  '", nullptr, 12899,
     "ORA-12899: value too large for column \"APP\".\"F\".\"C\" (actual: 4, maximum: 3)"},
    {"CHAR(4)", "'ab'", "ab  ", 0, nullptr},
    {"CHAR(4 CHAR)", "'\xC3\xA9'", "\xC3\xA9   ", 0, nullptr},
    {"NCHAR(3)", "N'a'", "a  ", 0, nullptr},
    {"NCHAR(2)", "N'abc'", nullptr, 12899,
     "ORA-12899: value too large for column \"APP\".\"F\".\"C\" (actual: 3, maximum: 2)"},
    {"NVARCHAR2(2)", "N'\xE6\x97\xA5\xE6\x9C\xAC'", "\xE6\x97\xA5\xE6\x9C\xAC", 0, nullptr},
    {"RAW(2)", "HEXTORAW('010203')", nullptr, 12899,
     "ORA-12899: value too large for column \"APP\".\"F\".\"C\" (actual: 3, maximum: 2)"},
    // Empty strings are NULL.
    {"VARCHAR2(3)", "''", kNull.c_str(), 0, nullptr},
    {"CHAR(3)", "''", kNull.c_str(), 0, nullptr},
    {"NUMBER", "''", kNull.c_str(), 0, nullptr},
    // Other conversions on the way in.
    {"DATE", "'15-MAR-24'", "15-MAR-24", 0, nullptr},
    {"TIMESTAMP(2)", "TIMESTAMP '2024-03-15 13:45:30.129'", "15-MAR-24 01.45.30.13 PM", 0, nullptr},
    {"TIMESTAMP(0)", "TIMESTAMP '2024-03-15 13:45:30.5'", "15-MAR-24 01.45.31 PM", 0, nullptr},
    {"INTERVAL DAY(2) TO SECOND(0)", "INTERVAL '1 2:3:4.6' DAY TO SECOND", "+01 02:03:05", 0,
     nullptr},
    {"INTERVAL DAY(2) TO SECOND(6)", "INTERVAL '123 0:0:0' DAY(3) TO SECOND", nullptr, 1873,
     nullptr},
    {"INTERVAL YEAR(2) TO MONTH", "INTERVAL '123-1' YEAR(3) TO MONTH", nullptr, 1873, nullptr},
};

TEST_F(EngineInsertTest, ValuesAreFittedToTheColumn) {
  for (const Fit& f : kFits) {
    SCOPED_TRACE(std::string(f.type) + " <- " + f.value);
    Must(app_, "CREATE TABLE f (c " + std::string(f.type) + ")");
    int code = Exec(app_, std::string("INSERT INTO f VALUES (") + f.value + ")");
    EXPECT_EQ(code, f.error) << app_.ErrorText();
    if (f.error == 0) {
      std::vector<Row> rows = Query(app_, "SELECT TO_CHAR(c) FROM f");
      ASSERT_EQ(rows.size(), 1u);
      EXPECT_EQ(rows[0][0], f.stored);
    } else {
      if (f.text) {
        EXPECT_EQ(app_.ErrorText(), std::string(f.text) + "\n");
      }
      EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM f"), "0");
    }
    Must(app_, "DROP TABLE f");
  }
}

// NOT NULL: NULL and '' are refused with the column's full name; UPDATE
// gives ORA-01407.
TEST_F(EngineInsertTest, NotNull) {
  Must(app_, "CREATE TABLE nn (a NUMBER NOT NULL, b VARCHAR2(5) NOT NULL)");
  EXPECT_EQ(Exec(app_, "INSERT INTO nn VALUES (1, '')"), 1400);
  EXPECT_EQ(app_.ErrorText(), "ORA-01400: cannot insert NULL into (\"APP\".\"NN\".\"B\")\n");
  EXPECT_EQ(Exec(app_, "INSERT INTO nn (b) VALUES ('x')"), 1400);
  EXPECT_EQ(app_.ErrorText(), "ORA-01400: cannot insert NULL into (\"APP\".\"NN\".\"A\")\n");
  Must(app_, "INSERT INTO nn VALUES (1, 'x')");
  EXPECT_EQ(Exec(app_, "UPDATE nn SET b = ''"), 1407);
  EXPECT_EQ(One(app_, "SELECT b FROM nn"), "x");
}

// Quoted names keep their case in the error texts.
TEST_F(EngineInsertTest, ErrorTextsNameQuotedColumnsExactly) {
  Must(app_, "CREATE TABLE \"Mixed\" (\"low\" VARCHAR2(1) NOT NULL)");
  EXPECT_EQ(Exec(app_, "INSERT INTO \"Mixed\" VALUES ('ab')"), 12899);
  EXPECT_EQ(app_.ErrorText(),
            "ORA-12899: value too large for column \"APP\".\"Mixed\".\"low\" (actual: 2, maximum: 1)\n");
  EXPECT_EQ(Exec(app_, "INSERT INTO \"Mixed\" VALUES (NULL)"), 1400);
  EXPECT_EQ(app_.ErrorText(), "ORA-01400: cannot insert NULL into (\"APP\".\"Mixed\".\"low\")\n");
}

// A failing statement leaves the earlier work of the transaction; INSERT
// ... SELECT is all or nothing.
TEST_F(EngineInsertTest, StatementsAreAtomic) {
  Must(app_, "CREATE TABLE src (v VARCHAR2(10))");
  Must(app_, "INSERT INTO src VALUES ('ok')");
  Must(app_, "INSERT INTO src VALUES ('too long!')");
  Must(app_, "CREATE TABLE dst (v VARCHAR2(3))");
  Must(app_, "INSERT INTO dst VALUES ('a')");
  EXPECT_EQ(Exec(app_, "INSERT INTO dst SELECT v FROM src"), 12899);
  EXPECT_EQ(Exec(app_, "UPDATE dst SET v = v || 'long'"), 12899);
  EXPECT_EQ(Query(app_, "SELECT v FROM dst"), (std::vector<Row>{{"a"}}));
}

}  // namespace
}  // namespace ocitest

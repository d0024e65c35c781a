// engine_values_test.cpp - every column type stored from a literal and read
// back through TO_CHAR and DUMP: the text must be Oracle's and the stored
// bytes Oracle's internal form.
#include <string>
#include <vector>

#include "oci_fixture.h"

namespace ocitest {
namespace {

struct RoundTrip {
  const char* type;     // column type
  const char* literal;  // value inserted
  const char* format;   // TO_CHAR format, or null for TO_CHAR(c)
  const char* text;     // expected TO_CHAR result (null: not checked)
  const char* dump;     // expected DUMP(c) (null: not checked)
};

const RoundTrip kRoundTrips[] = {
    // DATE: bytes of century, year, month, day, hour+1, minute+1, second+1.
    {"DATE", "TO_DATE('2024-03-15 13:45:30','YYYY-MM-DD HH24:MI:SS')", "YYYY-MM-DD HH24:MI:SS",
     "2024-03-15 13:45:30", "Typ=12 Len=7: 120,124,3,15,14,46,31"},
    {"DATE", "DATE '2024-03-15'", nullptr, "15-MAR-24", "Typ=12 Len=7: 120,124,3,15,1,1,1"},
    {"DATE", "DATE '0001-01-01'", "YYYY-MM-DD", "0001-01-01", "Typ=12 Len=7: 100,101,1,1,1,1,1"},
    {"DATE", "TO_DATE('9999-12-31 23:59:59','YYYY-MM-DD HH24:MI:SS')", "YYYY-MM-DD HH24:MI:SS",
     "9999-12-31 23:59:59", "Typ=12 Len=7: 199,199,12,31,24,60,60"},
    {"DATE", "TO_DATE('-4712-01-01','SYYYY-MM-DD')", "SYYYY-MM-DD", "-4712-01-01",
     "Typ=12 Len=7: 53,88,1,1,1,1,1"},
    // TIMESTAMP(p): the fraction rounds to p digits; a zero fraction is
    // stored in the 7-byte form.
    {"TIMESTAMP(9)", "TIMESTAMP '1980-02-20 10:46:34.123456789'", "YYYY-MM-DD HH24:MI:SS.FF9",
     "1980-02-20 10:46:34.123456789", "Typ=180 Len=11: 119,180,2,20,11,47,35,7,91,205,21"},
    {"TIMESTAMP(3)", "TIMESTAMP '1980-02-20 10:46:34.123456789'", "YYYY-MM-DD HH24:MI:SS.FF9",
     "1980-02-20 10:46:34.123000000", "Typ=180 Len=11: 119,180,2,20,11,47,35,7,84,212,192"},
    {"TIMESTAMP(0)", "TIMESTAMP '2024-03-15 13:45:30.5'", "YYYY-MM-DD HH24:MI:SS",
     "2024-03-15 13:45:31", "Typ=180 Len=7: 120,124,3,15,14,46,32"},
    {"TIMESTAMP", "TIMESTAMP '2024-03-15 13:45:30'", nullptr, "15-MAR-24 01.45.30.000000 PM",
     "Typ=180 Len=7: 120,124,3,15,14,46,31"},
    {"TIMESTAMP(6)", "TIMESTAMP '1980-02-20 10:46:34.1234567'", nullptr,
     "20-FEB-80 10.46.34.123457 AM", nullptr},
    {"TIMESTAMP(2)", "TIMESTAMP '2024-03-15 13:45:30.129'", nullptr, "15-MAR-24 01.45.30.13 PM",
     nullptr},
    {"TIMESTAMP(0)", "TIMESTAMP '2024-03-15 13:45:30'", nullptr, "15-MAR-24 01.45.30 PM", nullptr},
    {"TIMESTAMP(3) WITH TIME ZONE", "TIMESTAMP '2024-03-15 13:45:30.5 +02:00'", nullptr,
     "15-MAR-24 01.45.30.500 PM +02:00", nullptr},
    // WITH TIME ZONE: date and time in UTC, then the offset bytes.
    {"TIMESTAMP(9) WITH TIME ZONE", "TIMESTAMP '1980-02-20 10:46:34.123456789 +01:00'",
     "YYYY-MM-DD HH24:MI:SS.FF9 TZH:TZM", "1980-02-20 10:46:34.123456789 +01:00",
     "Typ=181 Len=13: 119,180,2,20,10,47,35,7,91,205,21,21,60"},
    {"TIMESTAMP WITH TIME ZONE", "TIMESTAMP '2024-01-01 00:00:00 -05:30'",
     "YYYY-MM-DD HH24:MI:SS TZH:TZM", "2024-01-01 00:00:00 -05:30",
     "Typ=181 Len=13: 120,124,1,1,6,31,1,0,0,0,0,15,30"},
    {"TIMESTAMP(2) WITH LOCAL TIME ZONE", "TIMESTAMP '2024-03-15 13:45:30.25'",
     "YYYY-MM-DD HH24:MI:SS.FF2", "2024-03-15 13:45:30.25", nullptr},
    // Intervals: biased fields, every field with the interval's sign.
    {"INTERVAL YEAR TO MONTH", "INTERVAL '1-2' YEAR TO MONTH", nullptr, "+01-02",
     "Typ=182 Len=5: 128,0,0,1,62"},
    {"INTERVAL YEAR TO MONTH", "INTERVAL '-1-2' YEAR TO MONTH", nullptr, "-01-02",
     "Typ=182 Len=5: 127,255,255,255,58"},
    {"INTERVAL DAY TO SECOND", "INTERVAL '3 04:05:06.789' DAY TO SECOND", nullptr,
     "+03 04:05:06.789000", "Typ=183 Len=11: 128,0,0,3,64,65,66,175,7,47,64"},
    {"INTERVAL DAY TO SECOND", "INTERVAL '-3 04:05:06.789' DAY TO SECOND", nullptr,
     "-03 04:05:06.789000", "Typ=183 Len=11: 127,255,255,253,56,55,54,80,248,208,192"},
    // Without a format, intervals show the precisions of their type.
    {"INTERVAL DAY(3) TO SECOND(2)", "INTERVAL '5 1:2:3.456' DAY TO SECOND", nullptr,
     "+005 01:02:03.46", nullptr},
    {"INTERVAL DAY(2) TO SECOND(0)", "INTERVAL '1 2:3:4.6' DAY TO SECOND", nullptr, "+01 02:03:05",
     nullptr},
    {"INTERVAL YEAR(4) TO MONTH", "INTERVAL '12-3' YEAR(3) TO MONTH", nullptr, "+0012-03", nullptr},
    // NUMBER: exponent byte, base-100 digits + 1 (101 - d when negative,
    // then 102 unless 20 digits are used).
    {"NUMBER", "0", nullptr, "0", "Typ=2 Len=1: 128"},
    {"NUMBER", "1", nullptr, "1", "Typ=2 Len=2: 193,2"},
    {"NUMBER", "-1", nullptr, "-1", "Typ=2 Len=3: 62,100,102"},
    {"NUMBER", "123.45", nullptr, "123.45", "Typ=2 Len=4: 194,2,24,46"},
    {"NUMBER", "-123.45", nullptr, "-123.45", "Typ=2 Len=5: 61,100,78,56,102"},
    {"NUMBER", "0.001", nullptr, ".001", "Typ=2 Len=2: 191,11"},
    {"NUMBER", "-0.001", nullptr, "-.001", "Typ=2 Len=3: 64,91,102"},
    {"NUMBER", "1E-130", nullptr, nullptr, "Typ=2 Len=2: 128,2"},
    {"NUMBER", "1E125", nullptr, nullptr, "Typ=2 Len=2: 255,11"},
    {"NUMBER", "9.9999999999999999999999999999999999999E125", nullptr, nullptr,
     "Typ=2 Len=20: 255,100,100,100,100,100,100,100,100,100,100,100,100,100,100,100,100,100,100,"
     "100"},
    {"NUMBER", "-9.9999999999999999999999999999999999999E125", nullptr, nullptr,
     "Typ=2 Len=21: 0,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,102"},
    {"NUMBER", "1234567890123456789012345678901234567890", nullptr,
     "1234567890123456789012345678901234567890",
     "Typ=2 Len=21: 212,13,35,57,79,91,13,35,57,79,91,13,35,57,79,91,13,35,57,79,91"},
    {"NUMBER", "-1234567890123456789012345678901234567890", nullptr,
     "-1234567890123456789012345678901234567890",
     "Typ=2 Len=21: 43,89,67,45,23,11,89,67,45,23,11,89,67,45,23,11,89,67,45,23,11"},
    {"NUMBER", "123456789012345678901234567890123456789", nullptr,
     "123456789012345678901234567890123456789",
     "Typ=2 Len=21: 212,2,24,46,68,90,2,24,46,68,90,2,24,46,68,90,2,24,46,68,90"},
    // 40 digits with an odd count before the point do not fit: rounded.
    {"NUMBER", "123456789012345678901234567890123456789.4", nullptr,
     "123456789012345678901234567890123456789",
     "Typ=2 Len=21: 212,2,24,46,68,90,2,24,46,68,90,2,24,46,68,90,2,24,46,68,90"},
    {"NUMBER(5,2)", "123.456", nullptr, "123.46", "Typ=2 Len=4: 194,2,24,47"},
    // BINARY_FLOAT/DOUBLE: canonical big-endian bytes, text in Oracle's
    // scientific form.
    {"BINARY_FLOAT", "TO_BINARY_FLOAT('2.5')", nullptr, "2.5E+000",
     "Typ=100 Len=4: 192,32,0,0"},
    {"BINARY_FLOAT", "TO_BINARY_FLOAT('-1')", nullptr, "-1.0E+000",
     "Typ=100 Len=4: 64,127,255,255"},
    {"BINARY_FLOAT", "TO_BINARY_FLOAT('Inf')", nullptr, "Inf", "Typ=100 Len=4: 255,128,0,0"},
    {"BINARY_DOUBLE", "TO_BINARY_DOUBLE('1')", nullptr, "1.0E+000",
     "Typ=101 Len=8: 191,240,0,0,0,0,0,0"},
    {"BINARY_DOUBLE", "TO_BINARY_DOUBLE('-Inf')", nullptr, "-Inf",
     "Typ=101 Len=8: 0,15,255,255,255,255,255,255"},
    {"BINARY_DOUBLE", "TO_BINARY_DOUBLE('NaN')", nullptr, "Nan", nullptr},
    // RAW: hex text.
    {"RAW(4)", "HEXTORAW('0aff')", nullptr, "0AFF", "Typ=23 Len=2: 10,255"},
    // Characters: CHAR is blank-padded to its width (bytes or characters).
    {"CHAR(5)", "'ab'", nullptr, "ab   ", "Typ=96 Len=5: 97,98,32,32,32"},
    {"CHAR(3 CHAR)", "'\xC3\xA9'", nullptr, "\xC3\xA9  ", "Typ=96 Len=4: 195,169,32,32"},
    {"VARCHAR2(10)", "'ab '", nullptr, "ab ", "Typ=1 Len=3: 97,98,32"},
    {"NCHAR(3)", "N'\xC3\xA9'", nullptr, "\xC3\xA9  ", nullptr},
    {"NVARCHAR2(3)", "N'\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E'", nullptr,
     "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", nullptr},
};

class EngineValuesTest : public OciTest {};

TEST_F(EngineValuesTest, LiteralsRoundTripThroughToCharAndDump) {
  int i = 0;
  for (const RoundTrip& rt : kRoundTrips) {
    SCOPED_TRACE(std::string(rt.type) + " <- " + rt.literal);
    std::string t = "V" + std::to_string(++i);
    Must(app_, "CREATE TABLE " + t + " (c " + rt.type + ")");
    Must(app_, "INSERT INTO " + t + " VALUES (" + rt.literal + ")");
    std::string to_char = rt.format ? "TO_CHAR(c, '" + std::string(rt.format) + "')" : "TO_CHAR(c)";
    std::vector<Row> rows = Query(app_, "SELECT " + to_char + ", DUMP(c) FROM " + t);
    ASSERT_EQ(rows.size(), 1u);
    if (rt.text) {
      EXPECT_EQ(rows[0][0], rt.text);
    }
    if (rt.dump) {
      EXPECT_EQ(rows[0][1], rt.dump);
    }
  }
}

// Values whose text is long or exotic come back exactly when the text is
// read back into the same type.
TEST_F(EngineValuesTest, TextOfExtremeNumbersConvertsBack) {
  const char* values[] = {"1E-130", "-1E-130", "1E125", "9.9999999999999999999999999999999999999E125",
                          "0.000000000000000000000000000000000000000123",
                          "1234567890123456789012345678901234567890"};
  Must(app_, "CREATE TABLE n (a NUMBER, b NUMBER)");
  for (const char* v : values) {
    SCOPED_TRACE(v);
    Must(app_, "DELETE FROM n");
    Must(app_, std::string("INSERT INTO n (a) VALUES (") + v + ")");
    Must(app_, "UPDATE n SET b = TO_NUMBER(TO_CHAR(a))");
    EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM n WHERE a = b"), "1");
    EXPECT_EQ(One(app_, "SELECT DUMP(a) FROM n"), One(app_, "SELECT DUMP(b) FROM n"));
  }
}

// '' is NULL everywhere: in literals, comparisons and NOT NULL columns.
TEST_F(EngineValuesTest, EmptyStringIsNull) {
  Must(app_, "CREATE TABLE e (v VARCHAR2(5), c CHAR(3), r RAW(3))");
  Must(app_, "INSERT INTO e VALUES ('', '', HEXTORAW(''))");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM e WHERE v IS NULL AND c IS NULL AND r IS NULL"), "1");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM e WHERE v = ''"), "0");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM dual WHERE '' IS NULL"), "1");
  EXPECT_EQ(One(app_, "SELECT NVL('', 'x') FROM dual"), "x");
  EXPECT_EQ(One(app_, "SELECT LENGTH('') FROM dual"), kNull);
}

// CHAR comparison: blank-padded between CHAR values and text literals.
TEST_F(EngineValuesTest, CharComparesBlankPadded) {
  Must(app_, "CREATE TABLE c (a CHAR(5), b VARCHAR2(5))");
  Must(app_, "INSERT INTO c VALUES ('ab', 'ab')");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM c WHERE a = 'ab'"), "1");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM c WHERE a = 'ab   '"), "1");
  EXPECT_EQ(One(app_, "SELECT LENGTH(a) || ',' || LENGTH(b) FROM c"), "5,2");
}

}  // namespace
}  // namespace ocitest

// oci_insert_bytes_test.cpp - array INSERTs whose binds hold values in the
// engine's own byte forms (SQLT_NUM, SQLT_DAT, SQLT_CHR, internal
// timestamps, ...), one placeholder per column: the rows written, the
// values fitted to their columns and every refused row's error are those of
// the same values sent through a placeholder layout that copies them into a
// row first (a twin table with one more column left to its default).
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "oci_fixture.h"
#include "values/binfloat.h"
#include "values/number.h"

namespace ocitest {
namespace {

// Oracle's internal bytes of a NUMBER given as text.
std::string Num(const std::string& text) {
  tabdb::Number n;
  EXPECT_TRUE(tabdb::Number::Parse(text, &n).ok()) << text;
  return n.Encode();
}

// The seven bytes of a DATE (century and year excess 100, time plus one).
std::string Date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  const unsigned char b[7] = {static_cast<unsigned char>(y / 100 + 100), static_cast<unsigned char>(y % 100 + 100),
                              static_cast<unsigned char>(mo), static_cast<unsigned char>(d),
                              static_cast<unsigned char>(h + 1), static_cast<unsigned char>(mi + 1),
                              static_cast<unsigned char>(s + 1)};
  return std::string(reinterpret_cast<const char*>(b), 7);
}

// A TIMESTAMP's eleven bytes: the DATE's and the nanoseconds big-endian.
std::string Stamp(const std::string& date, uint32_t nanos) {
  std::string s = date;
  for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>((nanos >> shift) & 0xff);
  return s;
}

std::string Double(double v) {
  uint8_t b[8];
  tabdb::EncodeBinaryDouble(v, b);
  return std::string(reinterpret_cast<const char*>(b), 8);
}

class OciInsertBytesTest : public OciTest {
 protected:
  // Fixed-width array of byte values of one bind, with their lengths and
  // indicators (-1 for kNull).
  struct ByteColumn {
    static constexpr sb4 kWidth = 24;
    ub2 dty;
    std::vector<char> buf;
    std::vector<ub2> len;
    std::vector<sb2> ind;
    ByteColumn(ub2 type, const std::vector<std::string>& values)
        : dty(type), buf(values.size() * kWidth, '\0'), len(values.size(), 0), ind(values.size(), 0) {
      for (size_t i = 0; i < values.size(); ++i) {
        if (values[i] == kNull) {
          ind[i] = -1;
          continue;
        }
        std::memcpy(&buf[i * kWidth], values[i].data(), values[i].size());
        len[i] = static_cast<ub2>(values[i].size());
      }
    }
  };

  // Binds each column at its position and runs `sql` over `rows` rows.
  sword Run(Stmt& s, const std::string& sql, std::vector<ByteColumn>& cols, ub4 rows, ub4 mode) {
    EXPECT_EQ(s.Prepare(sql), OCI_SUCCESS);
    for (size_t k = 0; k < cols.size(); ++k) {
      EXPECT_EQ(s.Bind(static_cast<ub4>(k + 1), cols[k].buf.data(), ByteColumn::kWidth, cols[k].dty,
                       cols[k].ind.data(), cols[k].len.data()),
                OCI_SUCCESS);
    }
    return OCIStmtExecute(app_.svc, s.h, app_.err, rows, 0, nullptr, nullptr, mode);
  }

  // "offset code message" of each row error of the last batch, with the
  // twin table's name written as the first one's.
  std::vector<std::string> RowErrors(Stmt& s, const std::string& twin) {
    std::vector<std::string> out;
    ub4 n = s.AttrUb4(OCI_ATTR_NUM_DML_ERRORS);
    for (ub4 i = 0; i < n; ++i) {
      OCIError* rowerr = nullptr;
      EXPECT_EQ(OCIParamGet(app_.err, OCI_HTYPE_ERROR, app_.err, reinterpret_cast<void**>(&rowerr), i),
                OCI_SUCCESS);
      ub4 off = 99;
      OCIAttrGet(rowerr, OCI_HTYPE_ERROR, &off, nullptr, OCI_ATTR_DML_ROW_OFFSET, app_.err);
      sb4 code = 0;
      char buf[512] = {};
      OCIErrorGet(rowerr, 1, nullptr, &code, reinterpret_cast<OraText*>(buf), sizeof buf, OCI_HTYPE_ERROR);
      std::string text = std::to_string(off) + " " + std::to_string(code) + " " + buf;
      for (size_t p; (p = text.find(twin)) != std::string::npos;) text.replace(p, twin.size(), "T1");
      out.push_back(text);
    }
    return out;
  }
};

// Values that stand as they are, values the column changes (rounded
// numbers and fractions, padded CHAR, a negative zero), NULLs by indicator
// and by empty bytes, and text converted to a NUMBER column: the stored
// bytes equal those of the copying layout, and the fitted values are
// Oracle's.
TEST_F(OciInsertBytesTest, StoredBytesEqualTheCopyingLayouts) {
  const std::string cols = "n, c, v, d, ts, r, bd, s";
  // Every column as DUMP shows its stored bytes.
  auto dumped = [&](const std::string& t) {
    return Query(app_, "SELECT DUMP(n), DUMP(c), DUMP(v), DUMP(d), DUMP(ts), DUMP(r), DUMP(bd), DUMP(s) FROM " + t +
                           " ORDER BY n NULLS LAST");
  };
  Must(app_,
       "CREATE TABLE t1 (n NUMBER(6,2), c CHAR(5), v VARCHAR2(10), d DATE, ts TIMESTAMP(3), "
       "r RAW(4), bd BINARY_DOUBLE, s NUMBER)");
  Must(app_,
       "CREATE TABLE t2 (n NUMBER(6,2), c CHAR(5), v VARCHAR2(10), d DATE, ts TIMESTAMP(3), "
       "r RAW(4), bd BINARY_DOUBLE, s NUMBER, x NUMBER DEFAULT 0)");
  auto arrays = [] {
    return std::vector<ByteColumn>{
        ByteColumn(SQLT_NUM, {Num("1.234"), kNull, Num("99.999"), Num("-7")}),
        ByteColumn(SQLT_AFC, {"ab", kNull, "abcde", "\xc3\xa9"}),
        ByteColumn(SQLT_CHR, {"h\xc3\xa9llo", kNull, "", "x"}),
        ByteColumn(SQLT_DAT, {Date(2020, 1, 1), kNull, Date(1999, 12, 31, 23, 59, 59), Date(1, 1, 1)}),
        ByteColumn(180, {Stamp(Date(2021, 2, 3, 4, 5, 6), 123456789), kNull, Date(2022, 1, 1),
                         Stamp(Date(2023, 6, 30, 23, 59, 59), 555500000)}),
        ByteColumn(SQLT_BIN, {"\x01\x02", kNull, std::string("\x00\xff\x00\xff", 4), ""}),
        ByteColumn(SQLT_IBDOUBLE, {Double(-0.0), kNull, Double(1.5), Double(-2.25)}),
        ByteColumn(SQLT_STR, {"12.50", kNull, " 7 ", "-2.25"})};
  };
  Stmt s1(app_), s2(app_);
  std::vector<ByteColumn> a1 = arrays(), a2 = arrays();
  ASSERT_EQ(Run(s1, "INSERT INTO t1 VALUES (:1, :2, :3, :4, :5, :6, :7, :8)", a1, 4, OCI_DEFAULT), OCI_SUCCESS)
      << app_.ErrorText();
  ASSERT_EQ(Run(s2, "INSERT INTO t2 (" + cols + ") VALUES (:1, :2, :3, :4, :5, :6, :7, :8)", a2, 4, OCI_DEFAULT),
            OCI_SUCCESS)
      << app_.ErrorText();
  EXPECT_EQ(s1.RowCount(), 4u);
  // The caller's arrays are free once the call returns.
  std::fill(a1[2].buf.begin(), a1[2].buf.end(), 'z');
  EXPECT_EQ(dumped("t1"), dumped("t2"));
  std::vector<Row> want = {{"-7", "\xc3\xa9   ", "x", "0001-01-01", "2023-06-30 23:59:59.556", kNull, "-2.25"},
                           {"1.23", "ab   ", "h\xc3\xa9llo", "2020-01-01", "2021-02-03 04:05:06.123", "0102", "12.5"},
                           {"100", "abcde", kNull, "1999-12-31", "2022-01-01 00:00:00.000", "00FF00FF", "7"},
                           {kNull, kNull, kNull, kNull, kNull, kNull, kNull}};
  EXPECT_EQ(Query(app_,
                  "SELECT TO_CHAR(n), c, v, TO_CHAR(d, 'YYYY-MM-DD'), TO_CHAR(ts, 'YYYY-MM-DD HH24:MI:SS.FF3'), "
                  "RAWTOHEX(r), TO_CHAR(s) FROM t1 ORDER BY n NULLS LAST"),
            want);
}

// Refused rows (precision, length, NOT NULL by indicator and by empty
// bytes, damaged DATE bytes, text that is no number, a CHECK, a duplicate
// key) are row errors with the copying layout's offsets, codes and texts,
// and the rows between them go in; without batch errors the first refused
// row ends the call after the rows before it.
TEST_F(OciInsertBytesTest, RefusedBytesGiveTheCopyingLayoutsErrors) {
  Must(app_,
       "CREATE TABLE t1 (k NUMBER(3) CONSTRAINT t1_pk PRIMARY KEY, v VARCHAR2(3) NOT NULL, d DATE, "
       "n NUMBER(5,1) CONSTRAINT t1_pos CHECK (n > 0), s NUMBER)");
  Must(app_,
       "CREATE TABLE t2 (k NUMBER(3) CONSTRAINT t2_pk PRIMARY KEY, v VARCHAR2(3) NOT NULL, d DATE, "
       "n NUMBER(5,1) CONSTRAINT t2_pos CHECK (n > 0), s NUMBER, x NUMBER DEFAULT 0)");
  std::string bad_month = Date(2020, 13, 1);
  std::string short_date = Date(2020, 1, 1).substr(0, 6);
  auto arrays = [&] {
    return std::vector<ByteColumn>{
        ByteColumn(SQLT_NUM, {Num("1"), Num("1234"), Num("3"), Num("4"), Num("5"), Num("6"), Num("7"), Num("1"),
                              Num("9"), Num("10"), Num("11")}),
        ByteColumn(SQLT_CHR, {"a", "b", "abcd", kNull, "", "f", "g", "h", "ab", "j", "k"}),
        ByteColumn(SQLT_DAT, {Date(2020, 1, 1), Date(2020, 1, 2), Date(2020, 1, 3), Date(2020, 1, 4),
                              Date(2020, 1, 5), bad_month, Date(2020, 1, 7), Date(2020, 1, 8), Date(2020, 1, 9),
                              short_date, Date(2020, 1, 11)}),
        ByteColumn(SQLT_NUM, {Num("1"), Num("2"), Num("3"), Num("4"), Num("5"), Num("6"), Num("-5"), Num("8"),
                              Num("2.25"), Num("10"), Num("11")}),
        ByteColumn(SQLT_STR, {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "abc"})};
  };
  const std::string values = " VALUES (:1, :2, :3, :4, :5)";
  {
    Stmt s1(app_), s2(app_);
    std::vector<ByteColumn> a1 = arrays(), a2 = arrays();
    ASSERT_EQ(Run(s1, "INSERT INTO t1" + values, a1, 11, OCI_BATCH_ERRORS), OCI_SUCCESS_WITH_INFO);
    std::vector<std::string> e1 = RowErrors(s1, "T2");
    ASSERT_EQ(Run(s2, "INSERT INTO t2 (k, v, d, n, s)" + values, a2, 11, OCI_BATCH_ERRORS), OCI_SUCCESS_WITH_INFO);
    std::vector<std::string> e2 = RowErrors(s2, "T2");
    EXPECT_EQ(s1.RowCount(), 2u);
    EXPECT_EQ(s2.RowCount(), 2u);
    ASSERT_EQ(e1.size(), 9u);
    EXPECT_EQ(e1, e2);
    const char* codes[] = {"1 1438 ", "2 12899 ", "3 1400 ", "4 1400 ", "5 ", "6 2290 ", "7 1 ", "9 ", "10 1722 "};
    for (size_t i = 0; i < e1.size(); ++i) EXPECT_EQ(e1[i].rfind(codes[i], 0), 0u) << e1[i];
    std::vector<Row> want = {{"1", "a", "1"}, {"9", "ab", "2.3"}};
    EXPECT_EQ(Query(app_, "SELECT k, v, TO_CHAR(n) FROM t1 ORDER BY k"), want);
    EXPECT_EQ(Query(app_, "SELECT k, v, TO_CHAR(n) FROM t2 ORDER BY k"), want);
    Must(app_, "ROLLBACK");
  }
  {
    Stmt s1(app_), s2(app_);
    std::vector<ByteColumn> a1 = arrays(), a2 = arrays();
    ASSERT_EQ(Run(s1, "INSERT INTO t1" + values, a1, 11, OCI_DEFAULT), OCI_ERROR);
    std::string m1 = app_.ErrorText();
    ASSERT_EQ(Run(s2, "INSERT INTO t2 (k, v, d, n, s)" + values, a2, 11, OCI_DEFAULT), OCI_ERROR);
    std::string m2 = app_.ErrorText();
    for (size_t p; (p = m2.find("T2")) != std::string::npos;) m2.replace(p, 2, "T1");
    EXPECT_EQ(m1, m2);
    EXPECT_EQ(app_.ErrorCode(), 1438);
    EXPECT_EQ(s1.RowCount(), 1u);
    EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM t1"), "1");
  }
}

}  // namespace
}  // namespace ocitest

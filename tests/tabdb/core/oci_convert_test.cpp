// oci_convert_test.cpp - conversions between the external types of defines
// and binds (SQLT_*) and the column types: the bytes a define delivers must
// be exactly Oracle's, and bound bytes must store the value they stand for.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "oci_fixture.h"

namespace ocitest {
namespace {

template <typename T>
std::string Native(T v) {
  std::string s(sizeof v, '\0');
  std::memcpy(&s[0], &v, sizeof v);
  return s;
}

constexpr ub2 kTs = 180, kTsTz = 181, kIym = 182, kIds = 183, kTsLtz = 231;

struct DefineCase {
  std::string type;     // column type
  std::string literal;  // value stored
  ub2 dty;
  sb4 size;             // define buffer size
  std::string want;     // hex of the rlen bytes delivered (plus the NUL of SQLT_STR)
  int error = 0;        // Oracle error the fetch fails with instead
};

std::vector<DefineCase> DefineCases() {
  const std::string ts9 = "TIMESTAMP '1980-02-20 10:46:34.123456789'";
  const std::string date = "TO_DATE('2024-03-15 13:45:30','YYYY-MM-DD HH24:MI:SS')";
  return {
      // NUMBER to every numeric external type.
      {"NUMBER", "123.45", SQLT_NUM, 22, "C2 02 18 2E"},
      {"NUMBER", "-123.45", SQLT_NUM, 22, "3D 64 4E 38 66"},
      {"NUMBER", "0", SQLT_NUM, 22, "80"},
      {"NUMBER", "-123.45", SQLT_VNU, 22, "05 3D 64 4E 38 66"},
      {"NUMBER", "12345678", SQLT_INT, 4, Hex(Native<int32_t>(12345678))},
      {"NUMBER", "-5", SQLT_INT, 1, "FB"},
      {"NUMBER", "-5", SQLT_INT, 2, "FB FF"},
      {"NUMBER", "-9223372036854775808", SQLT_INT, 8, Hex(Native<int64_t>(INT64_MIN))},
      {"NUMBER", "12.7", SQLT_INT, 4, Hex(Native<int32_t>(12))},
      {"NUMBER", "-12.7", SQLT_INT, 4, Hex(Native<int32_t>(-12))},
      // Integers that do not fit fail the fetch instead of wrapping around.
      {"NUMBER", "127", SQLT_INT, 1, "7F"},
      {"NUMBER", "128", SQLT_INT, 1, "", 1455},
      {"NUMBER", "-129", SQLT_INT, 1, "", 1455},
      {"NUMBER", "70000", SQLT_INT, 2, "", 1455},
      {"NUMBER", "3000000000", SQLT_INT, 4, "", 1455},
      {"NUMBER", "1E20", SQLT_INT, 8, "", 1455},
      {"NUMBER", "-1", SQLT_UIN, 4, "", 1455},
      {"NUMBER", "4294967295", SQLT_UIN, 4, "FF FF FF FF"},
      // Native sizes other than the C types' are refused, never overrun.
      {"NUMBER", "1", SQLT_INT, 3, "", 932},
      {"NUMBER", "1", SQLT_FLT, 2, "", 932},
      {"BINARY_DOUBLE", "1", SQLT_BDOUBLE, 4, "", 932},
      {"NUMBER", "2.5", SQLT_FLT, 8, "00 00 00 00 00 00 04 40"},
      {"NUMBER", "2.5", SQLT_FLT, 4, "00 00 20 40"},
      {"NUMBER", "1", SQLT_IBDOUBLE, 8, "BF F0 00 00 00 00 00 00"},
      {"NUMBER", "-1", SQLT_IBFLOAT, 4, "40 7F FF FF"},
      {"NUMBER", "123.45", SQLT_STR, 10, "31 32 33 2E 34 35 00"},
      {"NUMBER", "-0.5", SQLT_CHR, 10, "2D 2E 35"},
      {"NUMBER", "1", SQLT_DAT, 7, "", 932},
      // BINARY_FLOAT / BINARY_DOUBLE: canonical (100/101) versus native (21/22).
      {"BINARY_DOUBLE", "TO_BINARY_DOUBLE('-1')", SQLT_IBDOUBLE, 8, "40 0F FF FF FF FF FF FF"},
      {"BINARY_DOUBLE", "TO_BINARY_DOUBLE('-1')", SQLT_BDOUBLE, 8, "00 00 00 00 00 00 F0 BF"},
      {"BINARY_DOUBLE", "TO_BINARY_DOUBLE('2.5')", SQLT_FLT, 8, "00 00 00 00 00 00 04 40"},
      {"BINARY_DOUBLE", "TO_BINARY_DOUBLE('-1')", SQLT_NUM, 22, "3E 64 66"},
      {"BINARY_DOUBLE", "TO_BINARY_DOUBLE('2.5')", SQLT_STR, 20, "32 2E 35 45 2B 30 30 30 00"},
      {"BINARY_FLOAT", "TO_BINARY_FLOAT('2.5')", SQLT_IBFLOAT, 4, "C0 20 00 00"},
      {"BINARY_FLOAT", "TO_BINARY_FLOAT('2.5')", SQLT_BFLOAT, 4, "00 00 20 40"},
      {"BINARY_FLOAT", "TO_BINARY_FLOAT('-2.5')", SQLT_INT, 4, Hex(Native<int32_t>(-2))},
      {"BINARY_FLOAT", "TO_BINARY_FLOAT('2.5')", SQLT_IBDOUBLE, 8, "C0 04 00 00 00 00 00 00"},
      // Datetimes and intervals: internal bytes through 12 and 180-183/231.
      {"DATE", date, SQLT_DAT, 7, "78 7C 03 0F 0E 2E 1F"},
      {"DATE", date, kTs, 11, "78 7C 03 0F 0E 2E 1F"},
      {"DATE", date, SQLT_STR, 20, Hex(std::string("15-MAR-24")) + " 00"},
      {"DATE", date, SQLT_NUM, 22, "", 932},
      {"TIMESTAMP(9)", ts9, kTs, 11, "77 B4 02 14 0B 2F 23 07 5B CD 15"},
      {"TIMESTAMP(9)", "TIMESTAMP '2024-03-15 13:45:30'", kTs, 11, "78 7C 03 0F 0E 2E 1F"},
      {"TIMESTAMP(9)", ts9, SQLT_DAT, 7, "77 B4 02 14 0B 2F 23"},
      {"TIMESTAMP(3)", ts9, SQLT_STR, 40, Hex(std::string("20-FEB-80 10.46.34.123 AM")) + " 00"},
      {"TIMESTAMP WITH TIME ZONE", "TIMESTAMP '2024-01-01 00:00:00 -05:30'", kTsTz, 13,
       "78 7C 01 01 06 1F 01 00 00 00 00 0F 1E"},
      {"TIMESTAMP(9) WITH TIME ZONE", "TIMESTAMP '1980-02-20 10:46:34.123456789 +01:00'", kTsTz,
       13, "77 B4 02 14 0A 2F 23 07 5B CD 15 15 3C"},
      {"INTERVAL YEAR TO MONTH", "INTERVAL '-1-2' YEAR TO MONTH", kIym, 5, "7F FF FF FF 3A"},
      {"INTERVAL YEAR TO MONTH", "INTERVAL '1-2' YEAR TO MONTH", SQLT_STR, 10,
       Hex(std::string("+01-02")) + " 00"},
      {"INTERVAL DAY TO SECOND", "INTERVAL '3 04:05:06.789' DAY TO SECOND", kIds, 11,
       "80 00 00 03 40 41 42 AF 07 2F 40"},
      {"INTERVAL DAY(3) TO SECOND(2)", "INTERVAL '3 04:05:06.789' DAY TO SECOND", SQLT_STR, 20,
       Hex(std::string("+003 04:05:06.79")) + " 00"},
      {"INTERVAL DAY TO SECOND", "INTERVAL '0 0:0:0' DAY TO SECOND", kIds, 11,
       "80 00 00 00 3C 3C 3C 80 00 00 00"},
      // RAW: bytes, or upper-case hex as text.
      {"RAW(4)", "HEXTORAW('0aff')", SQLT_BIN, 4, "0A FF"},
      {"RAW(4)", "HEXTORAW('0aff')", SQLT_STR, 10, "30 41 46 46 00"},
      {"RAW(4)", "HEXTORAW('0aff')", SQLT_CHR, 10, "30 41 46 46"},
      // Characters: CHR as is, STR with a NUL, AFC padded to the buffer.
      {"VARCHAR2(10)", "'abc'", SQLT_CHR, 10, "61 62 63"},
      {"VARCHAR2(10)", "'abc'", SQLT_STR, 10, "61 62 63 00"},
      {"VARCHAR2(10)", "'abc'", SQLT_AFC, 6, "61 62 63 20 20 20"},
      {"VARCHAR2(10)", "'abc'", SQLT_BIN, 10, "61 62 63"},
      {"CHAR(5)", "'ab'", SQLT_CHR, 10, "61 62 20 20 20"},
      {"CHAR(5)", "'ab'", SQLT_STR, 10, "61 62 20 20 20 00"},
      {"VARCHAR2(10)", "'12.5'", SQLT_NUM, 22, "C1 0D 33"},
      {"VARCHAR2(10)", "' 12 '", SQLT_INT, 4, Hex(Native<int32_t>(12))},
      {"VARCHAR2(10)", "'abc'", SQLT_INT, 4, "", 1722},
      {"NVARCHAR2(5)", "N'\xC3\xA9t\xC3\xA9'", SQLT_STR, 10, "C3 A9 74 C3 A9 00"},
      {"NCHAR(2)", "N'\xC3\xA9'", SQLT_CHR, 10, "C3 A9 20"},
  };
}

class OciConvertTest : public OciTest {};

TEST_F(OciConvertTest, DefinesDeliverOraclesBytes) {
  int n = 0;
  for (const DefineCase& c : DefineCases()) {
    SCOPED_TRACE(c.type + " " + c.literal + " as dty " + std::to_string(c.dty) + "/" +
                 std::to_string(c.size));
    std::string t = "D" + std::to_string(++n);
    Must(app_, "CREATE TABLE " + t + " (c " + c.type + ")");
    Must(app_, "INSERT INTO " + t + " VALUES (" + c.literal + ")");
    Stmt s(app_);
    ASSERT_EQ(s.Prepare("SELECT c FROM " + t), OCI_SUCCESS);
    ASSERT_EQ(s.Execute(0), OCI_SUCCESS) << app_.ErrorText();
    std::vector<unsigned char> buf(static_cast<size_t>(c.size) + 8, 0xEE);
    sb2 ind = 99;
    ub2 rlen = 0, rcode = 99;
    ASSERT_EQ(s.Define(1, buf.data(), c.size, c.dty, &ind, &rlen, &rcode), OCI_SUCCESS);
    sword rc = s.Fetch(1);
    if (c.error) {
      EXPECT_EQ(rc, OCI_ERROR);
      EXPECT_EQ(app_.ErrorCode(), c.error) << app_.ErrorText();
      continue;
    }
    ASSERT_EQ(rc, OCI_SUCCESS) << app_.ErrorText();
    EXPECT_EQ(ind, 0);
    EXPECT_EQ(rcode, 0);
    size_t shown = rlen + (c.dty == SQLT_STR ? 1 : 0);
    EXPECT_EQ(Hex(buf.data(), shown), c.want);
    // Nothing is written past the buffer.
    EXPECT_EQ(buf[static_cast<size_t>(c.size)], 0xEE);
  }
}

struct BindCase {
  std::string type;   // column type
  ub2 dty;
  std::string value;  // bound bytes (value_sz = their count unless `size` is set)
  std::string check;  // expression of c read back
  std::string want;   // its text
  int error = 0;      // the insert fails with this Oracle error instead
  sb4 size = 0;       // value_sz when not the byte count
};

std::vector<BindCase> BindCases() {
  const std::string fmt_ts = "TO_CHAR(c,'YYYY-MM-DD HH24:MI:SS.FF9')";
  return {
      {"NUMBER", SQLT_INT, Native<int32_t>(12345678), "DUMP(c)", "Typ=2 Len=5: 196,13,35,57,79"},
      {"NUMBER", SQLT_INT, Native<int8_t>(-5), "TO_CHAR(c)", "-5"},
      {"NUMBER", SQLT_INT, Native<int16_t>(-32768), "TO_CHAR(c)", "-32768"},
      {"NUMBER", SQLT_INT, Native<int64_t>(INT64_MIN), "TO_CHAR(c)", "-9223372036854775808"},
      {"NUMBER", SQLT_FLT, Native<double>(2.5), "TO_CHAR(c)", "2.5"},
      {"NUMBER", SQLT_FLT, Native<float>(-0.75f), "TO_CHAR(c)", "-.75"},
      {"NUMBER", SQLT_NUM, Unhex("C2 02 18 2E"), "TO_CHAR(c)", "123.45"},
      {"NUMBER", SQLT_NUM, Unhex("80 02"), "DUMP(c)", "Typ=2 Len=2: 128,2"},
      {"NUMBER", SQLT_VNU, Unhex("05 3D 64 4E 38 66"), "TO_CHAR(c)", "-123.45", 0, 22},
      {"NUMBER", SQLT_STR, std::string("123.45\0", 7), "TO_CHAR(c)", "123.45"},
      {"NUMBER", SQLT_CHR, "1E3", "TO_CHAR(c)", "1000"},
      {"NUMBER", SQLT_IBDOUBLE, Unhex("C0 04 00 00 00 00 00 00"), "TO_CHAR(c)", "2.5"},
      {"NUMBER", SQLT_CHR, "x1", "TO_CHAR(c)", "", 1722},
      {"NUMBER(3)", SQLT_INT, Native<int32_t>(1000), "TO_CHAR(c)", "", 1438},
      {"NUMBER", SQLT_UIN, Native<uint64_t>(UINT64_MAX), "TO_CHAR(c)", "18446744073709551615"},
      // Sizes no native number has, and a VNU length past its buffer.
      {"NUMBER", SQLT_INT, std::string(3, '\1'), "TO_CHAR(c)", "", 932},
      {"NUMBER", SQLT_FLT, std::string(2, '\1'), "TO_CHAR(c)", "", 932},
      {"BINARY_DOUBLE", SQLT_BDOUBLE, std::string(4, '\1'), "TO_CHAR(c)", "", 932},
      {"NUMBER", SQLT_VNU, Unhex("05 C2 02"), "TO_CHAR(c)", "", 1722},
      {"VARCHAR2(10)", SQLT_INT, Native<int32_t>(42), "c", "42"},
      {"VARCHAR2(10)", SQLT_CHR, "abc ", "LENGTH(c)", "4"},
      {"VARCHAR2(10)", SQLT_STR, std::string("ab\0zz", 5), "c", "ab"},
      {"CHAR(5)", SQLT_AFC, "ab", "DUMP(c)", "Typ=96 Len=5: 97,98,32,32,32"},
      {"CHAR(5)", SQLT_CHR, "ab", "c || '|'", "ab   |"},
      {"BINARY_DOUBLE", SQLT_IBDOUBLE, Unhex("40 0F FF FF FF FF FF FF"), "TO_CHAR(c)", "-1.0E+000"},
      {"BINARY_DOUBLE", SQLT_BDOUBLE, Native<double>(2.5), "DUMP(c)",
       "Typ=101 Len=8: 192,4,0,0,0,0,0,0"},
      {"BINARY_DOUBLE", SQLT_STR, std::string("1.5\0", 4), "TO_CHAR(c)", "1.5E+000"},
      {"BINARY_FLOAT", SQLT_IBFLOAT, Unhex("C0 20 00 00"), "TO_CHAR(c)", "2.5E+000"},
      {"BINARY_FLOAT", SQLT_FLT, Native<float>(-1.0f), "DUMP(c)", "Typ=100 Len=4: 64,127,255,255"},
      {"BINARY_FLOAT", SQLT_INT, Native<int32_t>(3), "TO_CHAR(c)", "3.0E+000"},
      {"DATE", SQLT_DAT, Unhex("78 7C 03 0F 0E 2E 1F"), "TO_CHAR(c,'YYYY-MM-DD HH24:MI:SS')",
       "2024-03-15 13:45:30"},
      {"DATE", SQLT_DAT, Unhex("35 58 01 01 01 01 01"), "TO_CHAR(c,'SYYYY-MM-DD')", "-4712-01-01"},
      {"DATE", SQLT_STR, std::string("15-MAR-24\0", 10), "TO_CHAR(c,'YYYY-MM-DD')", "2024-03-15"},
      {"DATE", SQLT_DAT, Unhex("78 7C 0D 0F 0E 2E 1F"), "c", "", 1843},
      {"TIMESTAMP(9)", kTs, Unhex("77 B4 02 14 0B 2F 23 07 5B CD 15"), fmt_ts,
       "1980-02-20 10:46:34.123456789"},
      {"TIMESTAMP(9)", kTs, Unhex("78 7C 03 0F 0E 2E 1F"), fmt_ts, "2024-03-15 13:45:30.000000000"},
      {"TIMESTAMP(3)", kTs, Unhex("77 B4 02 14 0B 2F 23 07 5B CD 15"), fmt_ts,
       "1980-02-20 10:46:34.123000000"},
      {"TIMESTAMP", SQLT_DAT, Unhex("78 7C 03 0F 0E 2E 1F"), fmt_ts, "2024-03-15 13:45:30.000000000"},
      {"TIMESTAMP(9) WITH TIME ZONE", kTsTz, Unhex("77 B4 02 14 0A 2F 23 07 5B CD 15 15 3C"),
       "TO_CHAR(c,'YYYY-MM-DD HH24:MI:SS.FF9 TZH:TZM')", "1980-02-20 10:46:34.123456789 +01:00"},
      {"TIMESTAMP WITH TIME ZONE", kTsTz, Unhex("78 7C 01 01 06 1F 01 00 00 00 00 0F 1E"),
       "DUMP(c)", "Typ=181 Len=13: 120,124,1,1,6,31,1,0,0,0,0,15,30"},
      {"TIMESTAMP WITH LOCAL TIME ZONE", kTsLtz, Unhex("78 7C 03 0F 0E 2E 1F"), "DUMP(c)",
       "Typ=231 Len=7: 120,124,3,15,14,46,31"},
      {"INTERVAL YEAR TO MONTH", kIym, Unhex("7F FF FF FF 3A"), "TO_CHAR(c)", "-01-02"},
      {"INTERVAL DAY TO SECOND", kIds, Unhex("7F FF FF FD 38 37 36 50 F8 D0 C0"), "TO_CHAR(c)",
       "-03 04:05:06.789000"},
      {"RAW(4)", SQLT_BIN, Unhex("0A FF"), "DUMP(c)", "Typ=23 Len=2: 10,255"},
      {"RAW(4)", SQLT_CHR, "0aff", "RAWTOHEX(c)", "0AFF"},
      {"RAW(2)", SQLT_BIN, Unhex("01 02 03"), "c", "", 12899},
  };
}

TEST_F(OciConvertTest, BindsStoreTheValueTheyStandFor) {
  int n = 0;
  for (const BindCase& c : BindCases()) {
    SCOPED_TRACE(c.type + " from dty " + std::to_string(c.dty) + " bytes " + Hex(c.value));
    std::string t = "B" + std::to_string(++n);
    Must(app_, "CREATE TABLE " + t + " (c " + c.type + ")");
    Stmt s(app_);
    ASSERT_EQ(s.Prepare("INSERT INTO " + t + " VALUES (:1)"), OCI_SUCCESS);
    std::string buf = c.value;
    buf.resize(std::max<size_t>(buf.size(), static_cast<size_t>(c.size)), '\0');
    sb4 size = c.size ? c.size : static_cast<sb4>(c.value.size());
    ub2 alen = static_cast<ub2>(c.value.size());
    sb2 ind = 0;
    ASSERT_EQ(s.Bind(1, &buf[0], size, c.dty, &ind, c.dty == SQLT_STR ? nullptr : &alen),
              OCI_SUCCESS);
    sword rc = s.Execute(1);
    if (c.error) {
      EXPECT_EQ(rc, OCI_ERROR);
      EXPECT_EQ(app_.ErrorCode(), c.error) << app_.ErrorText();
      EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM " + t), "0");
      continue;
    }
    ASSERT_EQ(rc, OCI_SUCCESS) << app_.ErrorText();
    EXPECT_EQ(One(app_, "SELECT " + c.check + " FROM " + t), c.want);
  }
}

// Fetched bytes bound again store the same value: the define and bind
// forms of every internal type are each other's inverse.
TEST_F(OciConvertTest, FetchedBytesBindBackUnchanged) {
  struct Col {
    const char* type;
    const char* literal;
    ub2 dty;
  } cols[] = {
      {"NUMBER", "-1234567890123456789012345678901234567890", SQLT_NUM},
      {"NUMBER", "1E-130", SQLT_VNU},
      {"DATE", "TO_DATE('-0001-12-31','SYYYY-MM-DD')", SQLT_DAT},
      {"TIMESTAMP(9)", "TIMESTAMP '1999-12-31 23:59:59.999999999'", kTs},
      {"TIMESTAMP(9) WITH TIME ZONE", "TIMESTAMP '2000-02-29 12:00:00.5 -09:45'", kTsTz},
      {"TIMESTAMP(6) WITH LOCAL TIME ZONE", "TIMESTAMP '2000-02-29 12:00:00.5'", kTsLtz},
      {"INTERVAL YEAR(9) TO MONTH", "INTERVAL '-123456789-11' YEAR(9) TO MONTH", kIym},
      {"INTERVAL DAY(9) TO SECOND(9)", "INTERVAL '-99 23:59:59.999999999' DAY(9) TO SECOND(9)",
       kIds},
      {"BINARY_FLOAT", "TO_BINARY_FLOAT('-Inf')", SQLT_IBFLOAT},
      {"BINARY_DOUBLE", "TO_BINARY_DOUBLE('NaN')", SQLT_IBDOUBLE},
      {"RAW(10)", "HEXTORAW('00FF00')", SQLT_BIN},
  };
  int n = 0;
  for (const Col& c : cols) {
    SCOPED_TRACE(std::string(c.type) + " " + c.literal);
    std::string t = "R" + std::to_string(++n);
    Must(app_, "CREATE TABLE " + t + " (k NUMBER, c " + c.type + ")");
    Must(app_, "INSERT INTO " + t + " VALUES (1, " + c.literal + ")");
    unsigned char buf[32] = {0};
    sb2 ind = 0;
    ub2 len = 0;
    {
      Stmt q(app_);
      ASSERT_EQ(q.Prepare("SELECT c FROM " + t), OCI_SUCCESS);
      ASSERT_EQ(q.Execute(0), OCI_SUCCESS);
      ASSERT_EQ(q.Define(1, buf, sizeof buf, c.dty, &ind, &len), OCI_SUCCESS);
      ASSERT_EQ(q.Fetch(1), OCI_SUCCESS) << app_.ErrorText();
    }
    Stmt ins(app_);
    ASSERT_EQ(ins.Prepare("INSERT INTO " + t + " VALUES (2, :1)"), OCI_SUCCESS);
    ASSERT_EQ(ins.Bind(1, buf, sizeof buf, c.dty, &ind, &len), OCI_SUCCESS);
    ASSERT_EQ(ins.Execute(1), OCI_SUCCESS) << app_.ErrorText();
    std::vector<Row> rows = Query(app_, "SELECT DUMP(c) FROM " + t + " ORDER BY k");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1][0], rows[0][0]);
  }
}

// A bind indicator of -1 stores NULL whatever the buffer holds; so do a
// zero-length character or RAW bind and an empty SQLT_STR.
TEST_F(OciConvertTest, NullBinds) {
  Must(app_, "CREATE TABLE nb (a NUMBER, b VARCHAR2(5), c RAW(5), d VARCHAR2(5))");
  Stmt s(app_);
  ASSERT_EQ(s.Prepare("INSERT INTO nb VALUES (:1, :2, :3, :4)"), OCI_SUCCESS);
  int32_t a = 7;
  char b[5] = {'x', 'y', 0, 0, 0};
  unsigned char c[5] = {1, 2, 3, 4, 5};
  char d[5] = {0};
  sb2 ind_a = -1, ind_b = 0, ind_c = 0, ind_d = 0;
  ub2 len_b = 0, len_c = 0;
  ASSERT_EQ(s.Bind(1, &a, 4, SQLT_INT, &ind_a), OCI_SUCCESS);
  ASSERT_EQ(s.Bind(2, b, 5, SQLT_CHR, &ind_b, &len_b), OCI_SUCCESS);
  ASSERT_EQ(s.Bind(3, c, 5, SQLT_BIN, &ind_c, &len_c), OCI_SUCCESS);
  ASSERT_EQ(s.Bind(4, d, 5, SQLT_STR, &ind_d), OCI_SUCCESS);
  ASSERT_EQ(s.Execute(1), OCI_SUCCESS) << app_.ErrorText();
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM nb WHERE a IS NULL AND b IS NULL AND c IS NULL AND d IS NULL"),
            "1");
}

}  // namespace
}  // namespace ocitest

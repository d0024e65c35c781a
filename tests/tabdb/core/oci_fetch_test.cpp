// oci_fetch_test.cpp - array fetch and array insert through OCI: truncation
// and NULL reporting, skips of OCIDefineArrayOfStruct/OCIBindArrayOfStruct,
// batch ends, row counters, and array inserts that fail part way.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "oci_fixture.h"

namespace ocitest {
namespace {

class OciFetchTest : public OciTest {
 protected:
  // Table N with ids 1..n and a name 'n<id>'.
  void MakeRows(const std::string& table, int n) {
    Must(app_, "CREATE TABLE " + table + " (id NUMBER, name VARCHAR2(20))");
    Stmt s(app_);
    ASSERT_EQ(s.Prepare("INSERT INTO " + table + " VALUES (:1, :2)"), OCI_SUCCESS);
    std::vector<int32_t> ids(static_cast<size_t>(n));
    std::vector<char> names(static_cast<size_t>(n) * 20);
    std::vector<ub2> lens(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
      ids[static_cast<size_t>(i)] = i + 1;
      std::string v = "n" + std::to_string(i + 1);
      std::memcpy(&names[static_cast<size_t>(i) * 20], v.data(), v.size());
      lens[static_cast<size_t>(i)] = static_cast<ub2>(v.size());
    }
    ASSERT_EQ(s.Bind(1, ids.data(), 4, SQLT_INT), OCI_SUCCESS);
    ASSERT_EQ(s.Bind(2, names.data(), 20, SQLT_CHR, nullptr, lens.data()), OCI_SUCCESS);
    if (n > 0) {
      ASSERT_EQ(s.Execute(static_cast<ub4>(n)), OCI_SUCCESS) << app_.ErrorText();
    }
    EXPECT_EQ(s.RowCount(), static_cast<ub4>(n));
  }
};

// A value longer than its buffer: cut, indicator = full length, length =
// bytes placed, return code 1406, and the fetch says so with ORA-24345.
TEST_F(OciFetchTest, TruncationIsReportedPerRowAndByTheCall) {
  Must(app_, "CREATE TABLE t (v VARCHAR2(4000))");
  Must(app_, "INSERT INTO t VALUES ('abcdef')");
  struct Case {
    ub2 dty;
    sb4 size;
    const char* bytes;  // what the buffer holds afterwards
    ub2 rlen;
  } cases[] = {
      {SQLT_CHR, 4, "abcd", 4},
      {SQLT_STR, 4, "abc\0", 3},
      {SQLT_AFC, 4, "abcd", 4},
      {SQLT_BIN, 2, "ab", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dty);
    Stmt s(app_);
    ASSERT_EQ(s.Prepare("SELECT v FROM t"), OCI_SUCCESS);
    ASSERT_EQ(s.Execute(0), OCI_SUCCESS);
    char buf[8];
    std::memset(buf, '#', sizeof buf);
    sb2 ind = 0;
    ub2 rlen = 0, rcode = 0;
    ASSERT_EQ(s.Define(1, buf, c.size, c.dty, &ind, &rlen, &rcode), OCI_SUCCESS);
    EXPECT_EQ(s.Fetch(1), OCI_SUCCESS_WITH_INFO);
    std::string text;
    EXPECT_EQ(app_.ErrorCode(&text), 24345);
    EXPECT_EQ(text, "ORA-24345: A Truncation or null fetch error occurred\n");
    EXPECT_EQ(std::string(buf, static_cast<size_t>(c.size)), std::string(c.bytes, static_cast<size_t>(c.size)));
    EXPECT_EQ(buf[c.size], '#');
    EXPECT_EQ(ind, 6);
    EXPECT_EQ(rlen, c.rlen);
    EXPECT_EQ(rcode, 1406);
    EXPECT_EQ(s.RowsFetched(), 1u);
    EXPECT_EQ(s.Fetch(1), OCI_NO_DATA);
  }
}

// The indicator of a truncated value is its whole length even when only a
// part of a long value was read; beyond 32767 bytes it is -2.
TEST_F(OciFetchTest, TruncatedLongValuesReportTheirFullLength) {
  Must(app_, "CREATE TABLE l (k NUMBER, c CLOB, g LONG)");
  // One statement may not carry more than 4000 bytes to both (ORA-22295).
  Stmt ins(app_), upd(app_);
  ASSERT_EQ(ins.Prepare("INSERT INTO l (k, g) VALUES (:1, :2)"), OCI_SUCCESS);
  ASSERT_EQ(upd.Prepare("UPDATE l SET c = :1 WHERE k = :2"), OCI_SUCCESS);
  for (int len : {1000, 40000}) {
    std::string v(static_cast<size_t>(len), 'x');
    int32_t k = len;
    ub2 alen = static_cast<ub2>(len);
    ASSERT_EQ(ins.Bind(1, &k, 4, SQLT_INT), OCI_SUCCESS);
    ASSERT_EQ(ins.Bind(2, &v[0], len, SQLT_LNG, nullptr, &alen), OCI_SUCCESS);
    ASSERT_EQ(ins.Execute(1), OCI_SUCCESS) << app_.ErrorText();
    ASSERT_EQ(upd.Bind(1, &v[0], len, SQLT_CHR, nullptr, &alen), OCI_SUCCESS);
    ASSERT_EQ(upd.Bind(2, &k, 4, SQLT_INT), OCI_SUCCESS);
    ASSERT_EQ(upd.Execute(1), OCI_SUCCESS) << app_.ErrorText();
  }
  Stmt s(app_);
  ASSERT_EQ(s.Prepare("SELECT c, g FROM l ORDER BY k"), OCI_SUCCESS);
  ASSERT_EQ(s.Execute(0), OCI_SUCCESS);
  char c[100], g[100];
  sb2 ic = 0, ig = 0;
  ub2 lc = 0, lg = 0, rc = 0, rg = 0;
  ASSERT_EQ(s.Define(1, c, sizeof c, SQLT_CHR, &ic, &lc, &rc), OCI_SUCCESS);
  ASSERT_EQ(s.Define(2, g, sizeof g, SQLT_CHR, &ig, &lg, &rg), OCI_SUCCESS);
  ASSERT_EQ(s.Fetch(1), OCI_SUCCESS_WITH_INFO);
  EXPECT_EQ(ic, 1000);
  EXPECT_EQ(ig, 1000);
  EXPECT_EQ(lc, 100);
  EXPECT_EQ(rc, 1406);
  ASSERT_EQ(s.Fetch(1), OCI_SUCCESS_WITH_INFO);
  EXPECT_EQ(ic, -2);
  EXPECT_EQ(ig, -2);
  EXPECT_EQ(rg, 1406);
  EXPECT_EQ(std::string(c, 100), std::string(100, 'x'));
}

// The same in a client character set of other widths: the indicator counts
// client bytes of the whole value (characters cut by the store's chunks
// included).
TEST_F(OciFetchTest, TruncatedLobLengthCountsClientBytes) {
  Must(app_, "CREATE TABLE w (c CLOB)");
  {
    Stmt ins(app_);
    ASSERT_EQ(ins.Prepare("INSERT INTO w VALUES (:1)"), OCI_SUCCESS);
    std::string v;
    for (int i = 0; i < 15000; ++i) v += "\xE2\x82\xAC";  // 3 bytes each in the database
    ub2 alen = static_cast<ub2>(v.size());
    ASSERT_EQ(ins.Bind(1, &v[0], static_cast<sb4>(v.size()), SQLT_CHR, nullptr, &alen), OCI_SUCCESS);
    ASSERT_EQ(ins.Execute(1), OCI_SUCCESS) << app_.ErrorText();
    ASSERT_EQ(app_.Commit(), OCI_SUCCESS);
  }
  setenv("NLS_LANG", "AMERICAN_AMERICA.WE8ISO8859P1", 1);
  Conn latin;
  ASSERT_EQ(latin.Open(path_, "app", "app"), OCI_SUCCESS) << latin.ErrorText();
  Stmt s(latin);
  ASSERT_EQ(s.Prepare("SELECT c FROM w"), OCI_SUCCESS);
  ASSERT_EQ(s.Execute(0), OCI_SUCCESS);
  char buf[10];
  sb2 ind = 0;
  ub2 len = 0, rc = 0;
  ASSERT_EQ(s.Define(1, buf, sizeof buf, SQLT_CHR, &ind, &len, &rc), OCI_SUCCESS);
  EXPECT_EQ(s.Fetch(1), OCI_SUCCESS_WITH_INFO);
  EXPECT_EQ(ind, 15000);  // one byte per character in the client set
  EXPECT_EQ(len, 10);
  EXPECT_EQ(rc, 1406);
}

// NULL: indicator -1 and return code 1405 when there is an indicator;
// ORA-01405 when there is none.
TEST_F(OciFetchTest, NullWithAndWithoutIndicator) {
  Must(app_, "CREATE TABLE n (v VARCHAR2(5))");
  Must(app_, "INSERT INTO n VALUES (NULL)");
  {
    Stmt s(app_);
    ASSERT_EQ(s.Prepare("SELECT v FROM n"), OCI_SUCCESS);
    ASSERT_EQ(s.Execute(0), OCI_SUCCESS);
    char buf[8] = "keep";
    sb2 ind = 0;
    ub2 rlen = 9, rcode = 0;
    ASSERT_EQ(s.Define(1, buf, sizeof buf, SQLT_STR, &ind, &rlen, &rcode), OCI_SUCCESS);
    EXPECT_EQ(s.Fetch(1), OCI_SUCCESS);
    EXPECT_EQ(ind, -1);
    EXPECT_EQ(rcode, 1405);
    EXPECT_STREQ(buf, "keep");
  }
  {
    Stmt s(app_);
    ASSERT_EQ(s.Prepare("SELECT v FROM n"), OCI_SUCCESS);
    ASSERT_EQ(s.Execute(0), OCI_SUCCESS);
    char buf[8];
    ASSERT_EQ(s.Define(1, buf, sizeof buf, SQLT_STR), OCI_SUCCESS);
    EXPECT_EQ(s.Fetch(1), OCI_ERROR);
    std::string text;
    EXPECT_EQ(app_.ErrorCode(&text), 1405);
    EXPECT_EQ(text, "ORA-01405: fetched column value is NULL\n");
  }
}

// Batches: full batches return OCI_SUCCESS, the batch that meets the end
// OCI_NO_DATA with the rows that arrived; a table of exactly k batches
// ends with an empty OCI_NO_DATA batch.
TEST_F(OciFetchTest, BatchEnds) {
  struct Case {
    int rows;
    ub4 batch;
    std::vector<std::pair<sword, ub4>> fetches;  // status and rows of each fetch
  } cases[] = {
      {10, 4, {{OCI_SUCCESS, 4}, {OCI_SUCCESS, 4}, {OCI_NO_DATA, 2}, {OCI_NO_DATA, 0}}},
      {8, 4, {{OCI_SUCCESS, 4}, {OCI_SUCCESS, 4}, {OCI_NO_DATA, 0}}},
      {0, 4, {{OCI_NO_DATA, 0}}},
      {3, 1, {{OCI_SUCCESS, 1}, {OCI_SUCCESS, 1}, {OCI_SUCCESS, 1}, {OCI_NO_DATA, 0}}},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.rows) + " rows in batches of " + std::to_string(c.batch));
    std::string t = "B" + std::to_string(++n);
    MakeRows(t, c.rows);
    Stmt s(app_);
    ASSERT_EQ(s.Prepare("SELECT id, name FROM " + t + " ORDER BY id"), OCI_SUCCESS);
    ASSERT_EQ(s.Execute(0), OCI_SUCCESS);
    std::vector<int32_t> ids(c.batch, -7);
    std::vector<char> names(c.batch * 20);
    std::vector<ub2> lens(c.batch);
    ASSERT_EQ(s.Define(1, ids.data(), 4, SQLT_INT), OCI_SUCCESS);
    ASSERT_EQ(s.Define(2, names.data(), 20, SQLT_CHR, nullptr, lens.data()), OCI_SUCCESS);
    int next = 1;
    ub4 total = 0;
    for (const auto& f : c.fetches) {
      EXPECT_EQ(s.Fetch(c.batch), f.first);
      ASSERT_EQ(s.RowsFetched(), f.second);
      for (ub4 r = 0; r < f.second; ++r, ++next) {
        EXPECT_EQ(ids[r], next);
        EXPECT_EQ(std::string(&names[r * 20], lens[r]), "n" + std::to_string(next));
      }
      total += f.second;
      EXPECT_EQ(s.RowCount(), total);
    }
  }
}

// OCIStmtExecute of a query with iters > 0 fetches the first rows at once.
TEST_F(OciFetchTest, ExecuteWithItersFetchesTheFirstBatch) {
  MakeRows("e", 5);
  Stmt s(app_);
  ASSERT_EQ(s.Prepare("SELECT id FROM e ORDER BY id"), OCI_SUCCESS);
  int32_t ids[3] = {0};
  ASSERT_EQ(s.Define(1, ids, 4, SQLT_INT), OCI_SUCCESS);
  ASSERT_EQ(s.Execute(3), OCI_SUCCESS) << app_.ErrorText();
  EXPECT_EQ(s.RowsFetched(), 3u);
  EXPECT_EQ(ids[2], 3);
  EXPECT_EQ(s.Fetch(3), OCI_NO_DATA);
  EXPECT_EQ(s.RowsFetched(), 2u);
  EXPECT_EQ(ids[0], 4);
  EXPECT_EQ(ids[1], 5);
  EXPECT_EQ(s.RowCount(), 5u);
}

// Truncation and the end of data in one batch: OCI_NO_DATA wins, the row
// codes still tell which values were cut.
TEST_F(OciFetchTest, TruncationInTheLastBatch) {
  MakeRows("tl", 3);
  Must(app_, "UPDATE tl SET name = 'longer name' WHERE id = 2");
  Stmt s(app_);
  ASSERT_EQ(s.Prepare("SELECT name FROM tl ORDER BY id"), OCI_SUCCESS);
  ASSERT_EQ(s.Execute(0), OCI_SUCCESS);
  char names[5][4];
  sb2 ind[5];
  ub2 rc[5];
  ASSERT_EQ(s.Define(1, names, 4, SQLT_CHR, ind, nullptr, rc), OCI_SUCCESS);
  EXPECT_EQ(s.Fetch(5), OCI_NO_DATA);
  EXPECT_EQ(s.RowsFetched(), 3u);
  EXPECT_EQ(rc[0], 0);
  EXPECT_EQ(rc[1], 1406);
  EXPECT_EQ(ind[1], 11);
  EXPECT_EQ(rc[2], 0);
}

// Array insert and array fetch of rows with a NULL in every type, through
// arrays of structures (the skips of OCIBindArrayOfStruct and
// OCIDefineArrayOfStruct).
TEST_F(OciFetchTest, ArraysOfStructsWithNullsInEveryType) {
  Must(app_,
       "CREATE TABLE s (k NUMBER, n NUMBER, v VARCHAR2(10), c CHAR(3), d DATE, ts TIMESTAMP(9), "
       "tz TIMESTAMP WITH TIME ZONE, ym INTERVAL YEAR TO MONTH, ds INTERVAL DAY TO SECOND, "
       "bf BINARY_FLOAT, bd BINARY_DOUBLE, r RAW(4), nv NVARCHAR2(4))");
  struct Rec {
    int32_t k;
    unsigned char n[22];
    char v[10];
    char c[3];
    unsigned char d[7];
    unsigned char ts[11];
    unsigned char tz[13];
    unsigned char ym[5];
    unsigned char ds[11];
    unsigned char bf[4];
    double bd;
    unsigned char r[4];
    char nv[8];
    sb2 ind[13];
    ub2 len[13];
    ub2 rc[13];
  };
  struct Col {
    size_t off;
    sb4 size;
    ub2 dty;
  };
  const Col cols[13] = {
      {offsetof(Rec, k), 4, SQLT_INT},      {offsetof(Rec, n), 22, SQLT_NUM},
      {offsetof(Rec, v), 10, SQLT_CHR},     {offsetof(Rec, c), 3, SQLT_AFC},
      {offsetof(Rec, d), 7, SQLT_DAT},      {offsetof(Rec, ts), 11, 180},
      {offsetof(Rec, tz), 13, 181},         {offsetof(Rec, ym), 5, 182},
      {offsetof(Rec, ds), 11, 183},         {offsetof(Rec, bf), 4, SQLT_IBFLOAT},
      {offsetof(Rec, bd), 8, SQLT_BDOUBLE}, {offsetof(Rec, r), 4, SQLT_BIN},
      {offsetof(Rec, nv), 8, SQLT_CHR},
  };
  const int kRows = 14;  // rows 1..13 have column (row) NULL, row 0 none
  std::vector<Rec> in(kRows);
  for (int i = 0; i < kRows; ++i) {
    Rec& r = in[static_cast<size_t>(i)];
    std::memset(&r, 0, sizeof r);
    r.k = i;
    std::string num = Unhex("C1 02");  // 1
    std::memcpy(r.n, num.data(), num.size());
    std::memcpy(r.v, "value", 5);
    std::memcpy(r.c, "ab", 2);
    std::string d = Unhex("78 7C 03 0F 0E 2E 1F");
    std::memcpy(r.d, d.data(), 7);
    std::string ts = Unhex("77 B4 02 14 0B 2F 23 07 5B CD 15");
    std::memcpy(r.ts, ts.data(), 11);
    std::string tz = Unhex("78 7C 01 01 06 1F 01 00 00 00 00 0F 1E");
    std::memcpy(r.tz, tz.data(), 13);
    std::string ym = Unhex("80 00 00 01 3E");
    std::memcpy(r.ym, ym.data(), 5);
    std::string ds = Unhex("80 00 00 03 40 41 42 AF 07 2F 40");
    std::memcpy(r.ds, ds.data(), 11);
    std::string bf = Unhex("C0 20 00 00");
    std::memcpy(r.bf, bf.data(), 4);
    r.bd = -1.5;
    std::memcpy(r.r, "\x01\x02", 2);
    std::memcpy(r.nv, "\xC3\xA9t\xC3\xA9", 5);
    const ub2 lens[13] = {4, 2, 5, 2, 7, 11, 13, 5, 11, 4, 8, 2, 5};
    for (int c = 0; c < 13; ++c) {
      r.len[c] = lens[c];
      r.ind[c] = (c + 1 == i) ? -1 : 0;
    }
  }
  {
    Stmt s(app_);
    ASSERT_EQ(s.Prepare("INSERT INTO s VALUES (:1,:2,:3,:4,:5,:6,:7,:8,:9,:10,:11,:12,:13)"),
              OCI_SUCCESS);
    char* base = reinterpret_cast<char*>(in.data());
    for (ub4 c = 0; c < 13; ++c) {
      OCIBind* b = nullptr;
      ASSERT_EQ(s.Bind(c + 1, base + cols[c].off, cols[c].size, cols[c].dty, &in[0].ind[c],
                       &in[0].len[c], nullptr, &b),
                OCI_SUCCESS);
      ASSERT_EQ(OCIBindArrayOfStruct(b, app_.err, sizeof(Rec), sizeof(Rec), sizeof(Rec), sizeof(Rec)),
                OCI_SUCCESS);
    }
    ASSERT_EQ(s.Execute(kRows), OCI_SUCCESS) << app_.ErrorText();
    EXPECT_EQ(s.RowCount(), static_cast<ub4>(kRows));
  }
  // Row 0 has every value; row i has column i NULL.
  std::vector<Row> rows = Query(app_, "SELECT k, NVL2(n,1,0)+NVL2(v,1,0)+NVL2(c,1,0)+NVL2(d,1,0)+"
                                      "NVL2(ts,1,0)+NVL2(tz,1,0)+NVL2(ym,1,0)+NVL2(ds,1,0)+"
                                      "NVL2(bf,1,0)+NVL2(bd,1,0)+NVL2(r,1,0)+NVL2(nv,1,0) FROM s "
                                      "ORDER BY k NULLS FIRST");
  ASSERT_EQ(rows.size(), static_cast<size_t>(kRows));
  EXPECT_EQ(rows[0], (Row{kNull, "12"}));  // k itself NULL in row 1
  EXPECT_EQ(rows[1], (Row{"0", "12"}));
  for (int i = 2; i < kRows; ++i) EXPECT_EQ(rows[static_cast<size_t>(i)][1], "11") << i;
  EXPECT_EQ(One(app_, "SELECT c || '|' || TO_CHAR(bd) || '|' || nv FROM s WHERE k = 0"),
            "ab |-1.5E+000|\xC3\xA9t\xC3\xA9");

  // Fetch everything back into the same structure layout, 5 rows a batch.
  std::vector<Rec> out(5);
  Stmt s(app_);
  ASSERT_EQ(s.Prepare("SELECT k, n, v, c, d, ts, tz, ym, ds, bf, bd, r, nv FROM s ORDER BY k NULLS FIRST"),
            OCI_SUCCESS);
  ASSERT_EQ(s.Execute(0), OCI_SUCCESS);
  char* base = reinterpret_cast<char*>(out.data());
  for (ub4 c = 0; c < 13; ++c) {
    OCIDefine* d = nullptr;
    ASSERT_EQ(s.Define(c + 1, base + cols[c].off, cols[c].size, cols[c].dty, &out[0].ind[c],
                       &out[0].len[c], &out[0].rc[c], &d),
              OCI_SUCCESS);
    ASSERT_EQ(OCIDefineArrayOfStruct(d, app_.err, sizeof(Rec), sizeof(Rec), sizeof(Rec), sizeof(Rec)),
              OCI_SUCCESS);
  }
  int seen = 0;
  for (;;) {
    for (Rec& r : out) std::memset(&r, 0x5A, sizeof r);
    sword rc = s.Fetch(5);
    ASSERT_TRUE(rc == OCI_SUCCESS || rc == OCI_NO_DATA) << app_.ErrorText();
    ub4 got = s.RowsFetched();
    for (ub4 i = 0; i < got; ++i, ++seen) {
      const Rec& r = out[i];
      // NULLS FIRST: the row with k NULL (input row 1) comes first.
      int src = seen == 0 ? 1 : seen == 1 ? 0 : seen;
      for (int c = 0; c < 13; ++c) {
        bool null = c + 1 == src;
        EXPECT_EQ(r.ind[c], null ? -1 : 0) << "row " << src << " col " << c;
        EXPECT_EQ(r.rc[c], null ? 1405 : 0) << "row " << src << " col " << c;
        if (null) continue;
        const Rec& w = in[static_cast<size_t>(src)];
        size_t off = cols[c].off;
        size_t len = c == 3 ? 3 : w.len[c];  // CHAR(3) comes back padded
        EXPECT_EQ(r.len[c], len) << "row " << src << " col " << c;
        std::string want(reinterpret_cast<const char*>(&w) + off, len);
        if (c == 3) want = "ab ";
        EXPECT_EQ(Hex(reinterpret_cast<const char*>(&r) + off, len), Hex(want))
            << "row " << src << " col " << c;
      }
    }
    if (rc == OCI_NO_DATA) break;
  }
  EXPECT_EQ(seen, kRows);
}

// An array insert whose row k fails: rows before k stay inserted, the row
// count says k, and the error is the row's own.
TEST_F(OciFetchTest, ArrayInsertFailingAtRowK) {
  Must(app_,
       "CREATE TABLE ai (id NUMBER(3) NOT NULL, name VARCHAR2(5), CONSTRAINT ai_pk PRIMARY KEY (id))");
  struct Case {
    const char* what;
    int32_t bad_id;      // id of row 2 (0 with a NULL indicator)
    const char* bad_name;
    bool null_id;
    int code;
    const char* text;
  } cases[] = {
      {"duplicate key", 1, "x", false, 1, "ORA-00001: unique constraint (APP.AI_PK) violated\n"},
      {"too long", 30, "abcdef", false, 12899,
       "ORA-12899: value too large for column \"APP\".\"AI\".\"NAME\" (actual: 6, maximum: 5)\n"},
      {"NULL key", 0, "x", true, 1400, "ORA-01400: cannot insert NULL into (\"APP\".\"AI\".\"ID\")\n"},
      {"precision", 1000, "x", false, 1438,
       "ORA-01438: value larger than specified precision allowed for this column\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Must(app_, "DELETE FROM ai");
    Stmt s(app_);
    ASSERT_EQ(s.Prepare("INSERT INTO ai VALUES (:1, :2)"), OCI_SUCCESS);
    int32_t ids[4] = {1, 2, c.bad_id, 4};
    sb2 id_ind[4] = {0, 0, static_cast<sb2>(c.null_id ? -1 : 0), 0};
    char names[4][8] = {"a", "b", "", "d"};
    std::strcpy(names[2], c.bad_name);
    ASSERT_EQ(s.Bind(1, ids, 4, SQLT_INT, id_ind), OCI_SUCCESS);
    ASSERT_EQ(s.Bind(2, names, 8, SQLT_STR), OCI_SUCCESS);
    EXPECT_EQ(s.Execute(4), OCI_ERROR);
    std::string text;
    EXPECT_EQ(app_.ErrorCode(&text), c.code);
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(s.RowCount(), 2u);
    EXPECT_EQ(Query(app_, "SELECT id, name FROM ai ORDER BY id"),
              (std::vector<Row>{{"1", "a"}, {"2", "b"}}));
  }
}

// rowoff selects the first element of the bind arrays.
TEST_F(OciFetchTest, ArrayInsertFromAnOffset) {
  Must(app_, "CREATE TABLE ro (id NUMBER)");
  Stmt s(app_);
  ASSERT_EQ(s.Prepare("INSERT INTO ro VALUES (:1)"), OCI_SUCCESS);
  int32_t ids[5] = {10, 11, 12, 13, 14};
  ASSERT_EQ(s.Bind(1, ids, 4, SQLT_INT), OCI_SUCCESS);
  ASSERT_EQ(s.Execute(2, 3), OCI_SUCCESS) << app_.ErrorText();
  EXPECT_EQ(s.RowCount(), 2u);
  EXPECT_EQ(Query(app_, "SELECT id FROM ro ORDER BY id"), (std::vector<Row>{{"13"}, {"14"}}));
}

// UPDATE and DELETE with array binds: the row count adds up over the
// iterations.
TEST_F(OciFetchTest, ArrayUpdateCountsEveryIteration) {
  MakeRows("u", 6);
  Stmt s(app_);
  ASSERT_EQ(s.Prepare("UPDATE u SET name = 'x' WHERE id <= :1"), OCI_SUCCESS);
  int32_t lim[3] = {1, 2, 0};
  ASSERT_EQ(s.Bind(1, lim, 4, SQLT_INT), OCI_SUCCESS);
  ASSERT_EQ(s.Execute(3), OCI_SUCCESS);
  EXPECT_EQ(s.RowCount(), 3u);
  Stmt d(app_);
  ASSERT_EQ(d.Prepare("DELETE FROM u WHERE id = :1"), OCI_SUCCESS);
  int32_t del[3] = {5, 6, 99};
  ASSERT_EQ(d.Bind(1, del, 4, SQLT_INT), OCI_SUCCESS);
  ASSERT_EQ(d.Execute(3), OCI_SUCCESS);
  EXPECT_EQ(d.RowCount(), 2u);
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM u"), "4");
}

}  // namespace
}  // namespace ocitest

// generator_test.cpp - the data generator: table lists and sizes, the
// shape of its generated text, and a real generation whose row counts,
// stored LOB and LONG sizes and contents are checked in the database file.
#include <sqlite3.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "generator.h"
#include "limit.h"
#include "support.h"

namespace tabdb::bench {
namespace {

using testsupport::TempDir;

TEST(GeneratorArgs, TableLists) {
  struct Case {
    const char* list;
    std::vector<RefTable> want;
    bool ok;
  };
  const Case cases[] = {
      {"all", {RefTable::kNarrow, RefTable::kWide, RefTable::kLob, RefTable::kLong}, true},
      {"ALL", {RefTable::kNarrow, RefTable::kWide, RefTable::kLob, RefTable::kLong}, true},
      {"longs,narrow", {RefTable::kNarrow, RefTable::kLong}, true},  // creation order kept
      {"WIDE,wide", {RefTable::kWide}, true},
      {"lobs", {RefTable::kLob}, true},
      {"", {}, false},
      {"narrow,", {}, false},
      {"tiny", {}, false},
  };
  for (const Case& c : cases) {
    std::vector<RefTable> got;
    Status st = ParseRefTables(c.list, &got);
    EXPECT_EQ(c.ok, st.ok()) << c.list << ": " << st.text();
    if (c.ok) {
      EXPECT_EQ(c.want, got) << c.list;
    }
  }
}

TEST(GeneratorArgs, NamedSizes) {
  GenSizes s;
  ASSERT_TRUE(SizesFor("large", &s).ok());
  EXPECT_EQ(1000000, s.narrow);
  EXPECT_EQ(200000, s.wide);
  EXPECT_EQ(16000, s.lob);
  EXPECT_EQ(12000, s.long_rows);
  ASSERT_TRUE(SizesFor("small", &s).ok());
  EXPECT_LT(s.narrow, 100000);
  EXPECT_FALSE(SizesFor("huge", &s).ok());
}

// Whether `s` is well-formed UTF-8 (no character cut at either end).
bool ValidUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; k++)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

TEST(GeneratorContent, TextHasExactSizeAndWholeCharacters) {
  bool multibyte = false;
  for (size_t target : {0, 1, 2, 3, 7, 100, 4000, 10240, 32768, 32769, 100000}) {
    for (uint64_t row : {0, 1, 17, 99999}) {
      std::string t = GenText(row, 5, target);
      ASSERT_EQ(target, t.size()) << "row " << row;
      ASSERT_TRUE(ValidUtf8(t)) << "row " << row << " size " << target;
      for (char ch : t) multibyte |= (static_cast<unsigned char>(ch) & 0x80) != 0;
      EXPECT_EQ(t, GenText(row, 5, target));  // deterministic
    }
  }
  EXPECT_TRUE(multibyte);
  EXPECT_NE(GenText(1, 5, 1000), GenText(2, 5, 1000));
  EXPECT_NE(GenBytes(1, 5, 64), GenBytes(1, 6, 64));
  EXPECT_EQ(37u, GenBytes(3, 5, 37).size());
}

TEST(GeneratorContent, SizesStayWithinTwentyPercent) {
  for (uint64_t row = 0; row < 500; row++) {
    size_t n = GenSize(row, 9, 10000);
    EXPECT_GE(n, 8000u);
    EXPECT_LE(n, 12000u);
  }
  EXPECT_EQ(0u, GenSize(3, 9, 0));
}

std::string Scalar(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) return sqlite3_errmsg(db);
  std::string v = sqlite3_step(s) == SQLITE_ROW && sqlite3_column_text(s, 0)
                      ? reinterpret_cast<const char*>(sqlite3_column_text(s, 0))
                      : "";
  sqlite3_finalize(s);
  return v;
}

// The stored value `lob_id` put together from its chunks.
std::string Chunks(sqlite3* db, const std::string& lob_id) {
  sqlite3_stmt* s = nullptr;
  std::string v;
  sqlite3_prepare_v2(db, "SELECT data FROM tab$lobdata WHERE lob_id = ?1 ORDER BY seq", -1, &s, nullptr);
  sqlite3_bind_int64(s, 1, std::stoll(lob_id));
  while (sqlite3_step(s) == SQLITE_ROW)
    v.append(static_cast<const char*>(sqlite3_column_blob(s, 0)), static_cast<size_t>(sqlite3_column_bytes(s, 0)));
  sqlite3_finalize(s);
  return v;
}

class GenerateTest : public ::testing::Test {
 protected:
  // A new database with schema BENCH filled with `opt`.
  std::string Make(const std::string& name, const GenOptions& opt) {
    std::string db = dir_.file(name);
    testsupport::CreateDatabase(db);
    auto r = testsupport::RunSql("system/manager@" + db, "create user bench identified by bench;\ngrant dba to bench;\n");
    EXPECT_EQ(0, r.status) << r.err;
    setenv("NLS_LANG", "AMERICAN_AMERICA.AL32UTF8", 1);
    std::unique_ptr<OciConn> conn;
    Status st = OciConn::Open("bench/bench@" + db, &conn);
    EXPECT_TRUE(st.ok()) << st.text();
    if (!st.ok()) return db;
    GenStats stats;
    st = Generate(*conn, opt, &stats);
    EXPECT_TRUE(st.ok()) << st.text();
    int64_t rows = 0;
    for (RefTable t : opt.tables) rows += opt.sizes.RowsOf(t);
    EXPECT_EQ(rows, stats.rows);
    return db;
  }
  static GenOptions Options() {
    GenOptions opt;
    opt.sizes = GenSizes{250, 90, 30, 4};
    EXPECT_TRUE(ParseRefTables("all", &opt.tables).ok());
    opt.clob_bytes = 5000;
    opt.blob_bytes = 50000;  // two chunks and more
    opt.long_bytes = 40000;
    opt.batch_rows = 100;
    return opt;
  }
  TempDir dir_;
};

TEST_F(GenerateTest, FillsTheTablesWithTheDeclaredValues) {
  GenOptions opt = Options();
  std::string path = Make("gen.db", opt);
  auto counts = testsupport::RunSql("bench/bench@" + path,
                                    "select count(*) from narrow;\nselect count(*) from wide;\n"
                                    "select count(*) from lobs;\nselect count(*) from longs;\n"
                                    "select count(*) from wide where c_tstz is null;\n"
                                    "select max(length(c_nvarchar)) from wide;\n");
  ASSERT_EQ(0, counts.status) << counts.err;
  // Each query prints a header line and its value.
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < counts.out.size()) {
    size_t e = counts.out.find('\n', pos);
    lines.push_back(counts.out.substr(pos, e - pos));
    pos = e == std::string::npos ? counts.out.size() : e + 1;
  }
  ASSERT_GE(lines.size(), 12u) << counts.out;
  EXPECT_EQ("250", lines[1]);
  EXPECT_EQ("90", lines[3]);
  EXPECT_EQ("30", lines[5]);
  EXPECT_EQ("4", lines[7]);
  int nulls = std::stoi(lines[9]);
  EXPECT_GT(nulls, 0);   // about one in eleven
  EXPECT_LT(nulls, 30);
  EXPECT_LE(std::stoi(lines[11]), 40);

  // Stored sizes of the LOB and LONG values are the generated ones, empty
  // documents included, and the stored text is the generated text.
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &db));
  std::string lobs = Scalar(db, "SELECT t.phys FROM tab$objects o JOIN tab$tables t USING (obj_id) WHERE o.name = 'LOBS'");
  std::string longs = Scalar(db, "SELECT t.phys FROM tab$objects o JOIN tab$tables t USING (obj_id) WHERE o.name = 'LONGS'");
  for (int64_t r = 0; r < 30; r++) {
    uint64_t row = static_cast<uint64_t>(r);
    std::string doc_len = Scalar(db, "SELECT l.bytes FROM " + lobs + " JOIN tab$lob l ON l.lob_id = c3 WHERE " +
                                         lobs + ".rowid = " + std::to_string(r + 1));
    std::string img_len = Scalar(db, "SELECT l.bytes FROM " + lobs + " JOIN tab$lob l ON l.lob_id = c4 WHERE " +
                                         lobs + ".rowid = " + std::to_string(r + 1));
    size_t want_doc = r % 25 == 24 ? 0 : GenSize(row, 101, opt.clob_bytes);
    EXPECT_EQ(std::to_string(want_doc), doc_len) << "row " << r;
    EXPECT_EQ(std::to_string(GenSize(row, 102, opt.blob_bytes)), img_len) << "row " << r;
  }
  for (int64_t r = 0; r < 4; r++) {
    uint64_t row = static_cast<uint64_t>(r);
    std::string want = GenText(row, 201, GenSize(row, 201, opt.long_bytes));
    std::string got = Chunks(db, Scalar(db, "SELECT c3 FROM " + longs + " WHERE rowid = " + std::to_string(r + 1)));
    EXPECT_TRUE(want == got) << "LONG of row " << r << ": " << got.size() << " bytes, want " << want.size();
  }
  sqlite3_close(db);
}

TEST_F(GenerateTest, SameOptionsGiveTheSameBytes) {
  GenOptions opt = Options();
  opt.sizes = GenSizes{120, 40, 6, 2};
  std::string a = Make("a.db", opt), b = Make("b.db", opt);
  LimitStats sa, sb;
  ASSERT_TRUE(LimitExport(a, "BENCH", dir_.file("a.lim"), &sa).ok());
  ASSERT_TRUE(LimitExport(b, "BENCH", dir_.file("b.lim"), &sb).ok());
  EXPECT_EQ(sa.rows, 168);
  EXPECT_TRUE(testsupport::ReadFile(dir_.file("a.lim")) == testsupport::ReadFile(dir_.file("b.lim")));
}

// The reference data must survive the programs whose speed is measured:
// tabexp of BENCH and tabimp into BENCH_COPY leave the same rows.
TEST_F(GenerateTest, RoundTripThroughTheProgramsKeepsTheRows) {
  GenOptions opt = Options();
  opt.sizes = GenSizes{300, 3000, 26, 3};
  std::string path = Make("programs.db", opt);
  auto r = testsupport::RunSql("system/manager@" + path,
                               "create user bench_copy identified by bench_copy;\ngrant dba to bench_copy;\n");
  ASSERT_EQ(0, r.status) << r.err;
  std::string dump = dir_.file("bench.dmp");
  const std::string nls = "NLS_LANG=AMERICAN_AMERICA.AL32UTF8";
  r = testsupport::Run({TABEXP_PATH, "bench/bench@" + path, "FILE=" + dump, "OWNER=bench"}, {nls});
  ASSERT_EQ(0, r.status) << r.out << r.err;
  r = testsupport::Run({TABIMP_PATH, "system/manager@" + path, "FILE=" + dump, "TOUSER=bench_copy"}, {nls});
  ASSERT_EQ(0, r.status) << r.out << r.err;
  for (const char* t : {"NARROW", "WIDE", "LOBS", "LONGS"}) {
    auto a = testsupport::RunSql("system/manager@" + path, std::string("select * from bench.") + t + " order by id;\n", {nls});
    auto b = testsupport::RunSql("system/manager@" + path, std::string("select * from bench_copy.") + t + " order by id;\n",
                                 {nls});
    ASSERT_EQ(0, a.status) << a.err;
    EXPECT_GT(a.out.size(), 1000u) << t;
    EXPECT_TRUE(a.out == b.out) << t << " differs after the programs' round trip";
  }
}

TEST_F(GenerateTest, SelectedTablesOnly) {
  GenOptions opt = Options();
  ASSERT_TRUE(ParseRefTables("lobs", &opt.tables).ok());
  std::string path = Make("lobs.db", opt);
  auto r = testsupport::RunSql("bench/bench@" + path, "select table_name from user_tables;\n");
  EXPECT_EQ("TABLE_NAME\nLOBS\n", r.out);
}

}  // namespace
}  // namespace tabdb::bench

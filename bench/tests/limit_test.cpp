// limit_test.cpp - the plain SQLite baseline against real database files:
// a round trip keeps every stored byte (values, NULLs, LOB and LONG chunks,
// empty LOBs), a damaged or truncated file changes nothing, and a LOB
// column naming a missing value fails the export.
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

// Rows of a physical table in rowid order, each value printed with its
// storage class; LOB columns print the stored value (length fields and
// the concatenated chunks) from the given chunk tables instead of its id.
std::vector<std::string> Image(sqlite3* db, const std::string& table, const std::string& lob,
                               const std::string& lobdata, const std::vector<std::string>& lob_cols) {
  std::vector<std::string> rows;
  sqlite3_stmt* s = nullptr;
  EXPECT_EQ(SQLITE_OK, sqlite3_prepare_v2(db, ("SELECT * FROM \"" + table + "\" ORDER BY rowid").c_str(), -1, &s, nullptr))
      << sqlite3_errmsg(db);
  sqlite3_stmt* info = nullptr;
  sqlite3_prepare_v2(db, ("SELECT bytes, units, chunks FROM \"" + lob + "\" WHERE lob_id = ?").c_str(), -1, &info, nullptr);
  sqlite3_stmt* data = nullptr;
  sqlite3_prepare_v2(db, ("SELECT seq, data FROM \"" + lobdata + "\" WHERE lob_id = ? ORDER BY seq").c_str(), -1, &data, nullptr);
  while (s && sqlite3_step(s) == SQLITE_ROW) {
    std::string row;
    for (int c = 0; c < sqlite3_column_count(s); c++) {
      int type = sqlite3_column_type(s, c);
      bool is_lob = false;
      for (const std::string& l : lob_cols) is_lob |= l == sqlite3_column_name(s, c);
      row += "|" + std::to_string(type) + ":";
      if (is_lob && type == SQLITE_INTEGER) {
        sqlite3_reset(info);
        sqlite3_bind_int64(info, 1, sqlite3_column_int64(s, c));
        if (sqlite3_step(info) != SQLITE_ROW) {
          row += "missing";
          continue;
        }
        row += std::to_string(sqlite3_column_int64(info, 0)) + "/" + std::to_string(sqlite3_column_int64(info, 1)) +
               "/" + std::to_string(sqlite3_column_int64(info, 2)) + "=";
        sqlite3_reset(data);
        sqlite3_bind_int64(data, 1, sqlite3_column_int64(s, c));
        while (sqlite3_step(data) == SQLITE_ROW)
          row += std::to_string(sqlite3_column_int64(data, 0)) + ":" +
                 std::string(static_cast<const char*>(sqlite3_column_blob(data, 1)),
                             static_cast<size_t>(sqlite3_column_bytes(data, 1)));
      } else if (type != SQLITE_NULL) {
        row += std::string(static_cast<const char*>(sqlite3_column_blob(s, c)),
                           static_cast<size_t>(sqlite3_column_bytes(s, c)));
      }
    }
    rows.push_back(row);
  }
  sqlite3_finalize(s);
  sqlite3_finalize(info);
  sqlite3_finalize(data);
  return rows;
}

struct PhysTable {
  std::string name;      // NARROW, ...
  std::string phys;      // t1001, ...
  std::vector<std::string> lob_cols;
};

std::vector<PhysTable> Tables(sqlite3* db, const std::string& owner) {
  std::vector<PhysTable> out;
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(db,
                     "SELECT o.name, t.phys, t.obj_id FROM tab$objects o JOIN tab$tables t USING (obj_id) "
                     "WHERE o.owner = ?1 ORDER BY o.name",
                     -1, &s, nullptr);
  sqlite3_bind_text(s, 1, owner.c_str(), -1, SQLITE_TRANSIENT);
  while (sqlite3_step(s) == SQLITE_ROW) {
    PhysTable t{reinterpret_cast<const char*>(sqlite3_column_text(s, 0)),
                reinterpret_cast<const char*>(sqlite3_column_text(s, 1)), {}};
    sqlite3_stmt* c = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT intcol FROM tab$columns WHERE obj_id = ?1 AND data_type IN "
                       "('CLOB','NCLOB','BLOB','LONG','LONG RAW')",
                       -1, &c, nullptr);
    sqlite3_bind_int64(c, 1, sqlite3_column_int64(s, 2));
    while (sqlite3_step(c) == SQLITE_ROW) t.lob_cols.push_back("c" + std::to_string(sqlite3_column_int64(c, 0)));
    sqlite3_finalize(c);
    out.push_back(t);
  }
  sqlite3_finalize(s);
  return out;
}

std::string Scalar(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) return "error";
  std::string v = sqlite3_step(s) == SQLITE_ROW && sqlite3_column_text(s, 0)
                      ? reinterpret_cast<const char*>(sqlite3_column_text(s, 0))
                      : "";
  sqlite3_finalize(s);
  return v;
}

void Copy(const std::string& from, const std::string& to) {
  testsupport::WriteFile(to, testsupport::ReadFile(from));
}

class LimitTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    db_ = dir_->file("src.db");
    testsupport::CreateDatabase(db_);
    auto r = testsupport::RunSql("system/manager@" + db_,
                                 "create user bench identified by bench;\ngrant dba to bench;\n");
    ASSERT_EQ(0, r.status) << r.out << r.err;
    setenv("NLS_LANG", "AMERICAN_AMERICA.AL32UTF8", 1);
    std::unique_ptr<OciConn> conn;
    Status st = OciConn::Open("bench/bench@" + db_, &conn);
    ASSERT_TRUE(st.ok()) << st.text();
    GenOptions opt;
    opt.sizes = GenSizes{300, 120, 26, 3};
    ASSERT_TRUE(ParseRefTables("all", &opt.tables).ok());
    // Values over several chunks, and a batch that ends inside the table.
    opt.clob_bytes = 40000;
    opt.blob_bytes = 3000;
    opt.long_bytes = 70000;
    opt.batch_rows = 64;
    GenStats stats;
    st = Generate(*conn, opt, &stats);
    ASSERT_TRUE(st.ok()) << st.text();
    conn.reset();
    // NULL LOB and LONG values beside the generated ones.
    r = testsupport::RunSql("bench/bench@" + db_,
                            "insert into lobs values (1000, null, null, null);\n"
                            "insert into longs values (1000, 'none', null);\n");
    ASSERT_EQ(0, r.status) << r.out << r.err;
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static TempDir* dir_;
  static std::string db_;
};

TempDir* LimitTest::dir_ = nullptr;
std::string LimitTest::db_;

TEST_F(LimitTest, RoundTripKeepsEveryStoredByte) {
  std::string file = dir_->file("rt.lim"), copy = dir_->file("rt.db");
  LimitStats out, in;
  Status st = LimitExport(db_, "BENCH", file, &out);
  ASSERT_TRUE(st.ok()) << st.text();
  EXPECT_EQ(4, out.tables);
  EXPECT_EQ(300 + 120 + 27 + 4, out.rows);
  // 26 documents and 26 images, 3 LONG values; the NULLs carry nothing.
  EXPECT_EQ(26 * 2 + 3, out.lob_values);
  Copy(db_, copy);
  st = LimitImport(copy, file, &in);
  ASSERT_TRUE(st.ok()) << st.text();
  EXPECT_EQ(out.rows, in.rows);
  EXPECT_EQ(out.lob_bytes, in.lob_bytes);
  EXPECT_EQ(out.file_bytes, in.file_bytes);

  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(copy.c_str(), &db));
  std::vector<PhysTable> tables = Tables(db, "BENCH");
  ASSERT_EQ(4u, tables.size());
  for (const PhysTable& t : tables) {
    std::vector<std::string> a = Image(db, t.phys, "tab$lob", "tab$lobdata", t.lob_cols);
    std::vector<std::string> b = Image(db, LimitCopyName(t.phys), kLimitLobTable, kLimitLobDataTable, t.lob_cols);
    EXPECT_FALSE(a.empty()) << t.name;
    EXPECT_TRUE(a == b) << t.name << " differs in its copy";
  }
  // Several chunks per value were really exercised.
  EXPECT_GT(std::stoi(Scalar(db, "SELECT max(chunks) FROM \"limit$lob\"")), 1);
  sqlite3_close(db);
}

TEST_F(LimitTest, ImportReplacesAnEarlierCopy) {
  std::string file = dir_->file("twice.lim"), copy = dir_->file("twice.db");
  LimitStats st1, st2;
  ASSERT_TRUE(LimitExport(db_, "BENCH", file, &st1).ok());
  Copy(db_, copy);
  ASSERT_TRUE(LimitImport(copy, file, &st2).ok());
  Status st = LimitImport(copy, file, &st2);
  ASSERT_TRUE(st.ok()) << st.text();
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(copy.c_str(), &db));
  for (const PhysTable& t : Tables(db, "BENCH"))
    EXPECT_EQ(Scalar(db, "SELECT count(*) FROM " + t.phys),
              Scalar(db, "SELECT count(*) FROM \"" + LimitCopyName(t.phys) + "\""))
        << t.name;
  EXPECT_EQ(std::to_string(st1.lob_values), Scalar(db, "SELECT count(*) FROM \"limit$lob\""));
  sqlite3_close(db);
}

TEST_F(LimitTest, UnknownOwnerGivesAnEmptyFile) {
  std::string file = dir_->file("none.lim"), copy = dir_->file("none.db");
  LimitStats out, in;
  ASSERT_TRUE(LimitExport(db_, "bench", file, &out).ok());  // names are exact: no BENCH
  EXPECT_EQ(0, out.tables);
  Copy(db_, copy);
  Status st = LimitImport(copy, file, &in);
  EXPECT_TRUE(st.ok()) << st.text();
  EXPECT_EQ(0, in.rows);
}

TEST_F(LimitTest, DamagedFileChangesNothing) {
  std::string file = dir_->file("good.lim");
  LimitStats stats;
  ASSERT_TRUE(LimitExport(db_, "BENCH", file, &stats).ok());
  std::string good = testsupport::ReadFile(file);
  ASSERT_GT(good.size(), 1000u);

  struct Case {
    const char* what;
    std::string bytes;
  };
  std::string bad_magic = good;
  bad_magic[0] = 'X';
  std::string bad_end = good;
  bad_end.back() = 'Q';  // the end mark is the last byte
  std::vector<Case> cases = {
      {"empty", ""},
      {"bad magic", bad_magic},
      {"cut in the header", good.substr(0, 20)},
      {"cut in the first rows", good.substr(0, 2000)},
      {"cut in the middle", good.substr(0, good.size() / 2)},
      {"cut before the end mark", good.substr(0, good.size() - 1)},
      {"wrong end mark", bad_end},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string f = dir_->file("bad.lim"), copy = dir_->file("bad.db");
    testsupport::WriteFile(f, c.bytes);
    Copy(db_, copy);
    Status st = LimitImport(copy, f, &stats);
    EXPECT_FALSE(st.ok());
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(copy.c_str(), &db));
    EXPECT_EQ("0", Scalar(db, "SELECT count(*) FROM sqlite_master WHERE name LIKE '%$copy' OR name LIKE 'limit$%'"));
    sqlite3_close(db);
  }
}

TEST_F(LimitTest, MissingStoredValueFailsTheExport) {
  std::string broken = dir_->file("broken.db");
  Copy(db_, broken);
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(broken.c_str(), &db));
  std::vector<PhysTable> tables = Tables(db, "BENCH");
  const PhysTable* lobs = nullptr;
  for (const PhysTable& t : tables)
    if (t.name == "LOBS") lobs = &t;
  ASSERT_NE(nullptr, lobs);
  ASSERT_EQ(SQLITE_OK, sqlite3_exec(db,
                                    ("DELETE FROM tab$lob WHERE lob_id = (SELECT max(" + lobs->lob_cols[0] +
                                     ") FROM " + lobs->phys + ")")
                                        .c_str(),
                                    nullptr, nullptr, nullptr));
  sqlite3_close(db);
  LimitStats stats;
  Status st = LimitExport(broken, "BENCH", dir_->file("broken.lim"), &stats);
  EXPECT_FALSE(st.ok());
  EXPECT_NE(std::string::npos, st.text().find("missing from tab$lob")) << st.text();
}

}  // namespace
}  // namespace tabdb::bench

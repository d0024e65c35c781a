// exp_writer_test.cpp - tabexp's dump writer without a database: header
// block and directory area, the write cache, the finished directory, and
// the rewrite of fetched DDL texts into schema-free text blocks.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dump_reader.h"
#include "exp/exp_local.h"
#include "exp/section_sum.h"
#include "exp/write_trailer.h"
#include "support.h"

namespace {

using testsupport::ReadFile;
using testsupport::TempDir;

std::string Bytes(const std::string& s, size_t ofs, size_t n) { return s.substr(ofs, n); }
std::string Be32(uint32_t v) {
  uint8_t b[4];
  put_be32(b, v);
  return std::string(reinterpret_cast<char*>(b), 4);
}
std::string Be64(uint64_t v) {
  uint8_t b[8];
  put_be64(b, v);
  return std::string(reinterpret_cast<char*>(b), 8);
}

// A run and its coordinator's worker as the driver sets them up, writing
// to a fresh file.
class Writer : public ::testing::Test {
 protected:
  void SetUp() override {
    run_ = static_cast<EXP_RUN*>(calloc(1, sizeof(EXP_RUN)));
    ASSERT_NE(nullptr, run_);
    w_ = &run_->main;
    ASSERT_EQ(0, worker_open(w_, run_, 0));
    std::memset(w_->buf, 0xAB, static_cast<size_t>(w_->buf_sz));
    run_->ofp = stdout;
    path_ = dir_.file("out.dmp");
    std::strcpy(run_->dump_filename, path_.c_str());
    std::strcpy(run_->owner_name, "APP");
    w_->fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(w_->fd, 0);
    setenv("NLS_LANG", "AMERICAN_AMERICA.AL32UTF8", 1);
  }
  void TearDown() override {
    if (w_->fd >= 0) close(w_->fd);
    w_->fd = -1;
    run_->tabs = nullptr;
    run_->ntab = run_->nlisted = 0;
    free_objects(run_);
    worker_close(w_);
    free(run_);
  }
  std::string File() { return ReadFile(path_); }
  // Sets the run's table list (all of them in the directory).
  void Tables(EXP_TABLE* tabs, int n) {
    run_->tabs = tabs;
    run_->ntab = run_->nlisted = n;
  }

  TempDir dir_;
  std::string path_;
  EXP_RUN* run_ = nullptr;
  EXP_WORKER* w_ = nullptr;
};

TEST_F(Writer, HeaderOfAnOwnerWithoutTables) {
  ASSERT_EQ(0, write_dump_head(w_));
  ASSERT_EQ(0, write_table_information(w_));  // writes nothing
  std::string f = File();
  ASSERT_EQ(1024u, f.size());
  EXPECT_EQ(std::string("Tabdump") + std::string(25, '\0'), Bytes(f, 0, 32));
  EXPECT_EQ(std::string("APP") + std::string(29, '\0'), Bytes(f, 32, 32));
  EXPECT_EQ("AMERICAN_AMERICA.AL32UTF8", std::string(f.c_str() + 64));
  EXPECT_EQ(Be64(1024), Bytes(f, 192, 8));
  EXPECT_EQ(Be32(0), Bytes(f, 200, 4));
  EXPECT_EQ(std::string(1024 - 204, '\0'), Bytes(f, 204, 1024 - 204));
  EXPECT_EQ(1024u, w_->data_ofs);
  EXPECT_EQ(0, w_->ctail);
}

TEST_F(Writer, DirectoryAreaSizes) {
  // n tables reserve 56 x n rounded up to 512 bytes behind the header; the
  // last two do not fit the cache in one piece.
  struct Case {
    int ntab;
    uint64_t first_section;
  } cases[] = {{1, 1536}, {9, 1536}, {10, 2048}, {37430, 1024 + 2096128},
               {37431, 1024 + 2096640}, {100000, 1024 + 5600256}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ntab);
    ASSERT_EQ(0, ftruncate(w_->fd, 0));
    run_->ntab = run_->nlisted = c.ntab;
    ASSERT_EQ(0, write_dump_head(w_));
    EXPECT_EQ(c.first_section, w_->data_ofs);
    std::string f = File();
    ASSERT_EQ(c.first_section, f.size());
    EXPECT_EQ(Be32(static_cast<uint32_t>(c.ntab)), Bytes(f, 200, 4));
    EXPECT_EQ(std::string("Tabdump"), std::string(f.c_str()));
    EXPECT_EQ(std::string::npos, f.find_first_not_of('\0', 208)) << "directory area not zero";
  }
}

TEST_F(Writer, LongNlsLangIsCutTo127) {
  setenv("NLS_LANG", std::string(200, 'n').c_str(), 1);
  ASSERT_EQ(0, write_dump_head(w_));
  std::string f = File();
  EXPECT_EQ(std::string(127, 'n'), std::string(f.c_str() + 64));
  EXPECT_EQ('\0', f[191]);
  unsetenv("NLS_LANG");
  ASSERT_EQ(0, ftruncate(w_->fd, 0));
  ASSERT_EQ(0, write_dump_head(w_));
  EXPECT_EQ('\0', File()[64]);
}

TEST_F(Writer, CacheGoesToTheEndOfTheDataArea) {
  ASSERT_EQ(0, write_dump_head(w_));
  EXPECT_EQ(0, write_cache(w_));  // empty: nothing written
  EXPECT_EQ(1024u, File().size());
  std::memcpy(w_->cache, "abcdef", 6);
  w_->ctail = 6;
  ASSERT_EQ(0, write_cache(w_));
  EXPECT_EQ(0, w_->ctail);
  EXPECT_EQ(1030u, w_->data_ofs);
  std::memset(w_->cache, 'z', EXP_CACHE_SIZE);
  w_->ctail = EXP_CACHE_SIZE;
  ASSERT_EQ(0, write_cache(w_));
  std::string f = File();
  ASSERT_EQ(1030u + EXP_CACHE_SIZE, f.size());
  EXPECT_EQ("abcdefzz", Bytes(f, 1024, 8));
}

TEST_F(Writer, FailedWriteKeepsTheCacheAndSaysWhy) {
  close(w_->fd);
  w_->fd = open(path_.c_str(), O_RDONLY);
  w_->data_ofs = 1024;
  w_->ctail = 10;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(-1, write_cache(w_));
  EXPECT_EQ("Write " + path_ + ": Bad file descriptor\n",
            ::testing::internal::GetCapturedStderr());
  EXPECT_EQ(10, w_->ctail);
  EXPECT_EQ(1024u, w_->data_ofs);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(-1, write_dump_head(w_));
  EXPECT_EQ("Write " + path_ + ": Bad file descriptor\n",
            ::testing::internal::GetCapturedStderr());
}

TEST_F(Writer, DirectoryInFileByteOrder) {
  std::vector<EXP_TABLE> list(3);
  Tables(list.data(), 3);
  ASSERT_EQ(0, write_dump_head(w_));
  const char* names[] = {"A", "ORDERS", nullptr};
  std::string long_name(31, 'N');
  for (int i = 0; i < 3; i++) {
    TAB_INFO& t = list[i].info;
    std::memset(&t, 0, sizeof(t));
    t.flag = static_cast<uint32_t>(i);
    t.ncol = 10 + i;
    t.nlob = i;
    t.nrows = 0x01020304u + i;
    t.offset = 0x0000000500000600ull + i;
    std::strcpy(t.tab_name, i == 2 ? long_name.c_str() : names[i]);
  }
  ASSERT_EQ(0, write_table_information(w_));
  std::string f = File();
  ASSERT_EQ(1536u, f.size());
  EXPECT_EQ(std::string("\0\0\0\3", 4), Bytes(f, 200, 4));
  for (int i = 0; i < 3; i++) {
    size_t e = 1024 + 56 * i;
    EXPECT_EQ(Be32(i), Bytes(f, e, 4));
    EXPECT_EQ(Be32(10 + i), Bytes(f, e + 4, 4));
    EXPECT_EQ(Be32(i), Bytes(f, e + 8, 4));
    EXPECT_EQ(Be32(0x01020304u + i), Bytes(f, e + 12, 4));
    EXPECT_EQ(Be64(0x0000000500000600ull + i), Bytes(f, e + 16, 8));
    EXPECT_EQ(i == 2 ? long_name : std::string(names[i]), std::string(f.c_str() + e + 24));
  }
  EXPECT_EQ(std::string::npos, f.find_first_not_of('\0', 1024 + 56 * 3));
}

// ---- DDL rewrite -----------------------------------------------------------

struct Rewritten {
  int ret;
  std::string block;  // the text block at the start of the cache
  std::string err;
};

Rewritten Rewrite(EXP_WORKER* w, int kind, const std::string& owner, const std::string& table,
                  const std::string& fetched) {
  EXP_TABLE tab{};
  std::strcpy(tab.info.tab_name, table.c_str());
  std::strcpy(w->run->owner_name, owner.c_str());
  std::memcpy(w->cache + 2, fetched.c_str(), fetched.size() + 1);
  w->ctail = 0;
  ::testing::internal::CaptureStderr();
  int ret = rewrite_ddl(w, kind, &tab);
  Rewritten r{ret, "", ::testing::internal::GetCapturedStderr()};
  if (ret == 0) {
    EXPECT_EQ(w->ctail, get_be16(w->cache) + 2);
    r.block = std::string(reinterpret_cast<char*>(w->cache) + 2, get_be16(w->cache));
  }
  return r;
}

TEST_F(Writer, DdlRewrites) {
  const std::string long_ix(100, 'X');
  struct Case {
    int kind;
    std::string owner, table, fetched, expected;
  } cases[] = {
      {'T', "APP", "ORDERS", "\n  CREATE TABLE \"APP\".\"ORDERS\" \n   (\t\"ID\" NUMBER\n   ) ",
       "CREATE TABLE \"ORDERS\" \n   (\t\"ID\" NUMBER\n   ) "},
      // every qualifier of the source owner goes, not only the first
      {'T', "APP", "T", "\n  CREATE TABLE \"APP\".\"T\" (\"N\" NUMBER DEFAULT \"APP\".\"S\".NEXTVAL)",
       "CREATE TABLE \"T\" (\"N\" NUMBER DEFAULT \"S\".NEXTVAL)"},
      // an owner with a point or a double quote in its name
      {'T', "A.B", "T", "\n  CREATE TABLE \"A.B\".\"T\" (\"C\" DATE)", "CREATE TABLE \"T\" (\"C\" DATE)"},
      {'T', "A\"B", "T", "\n  CREATE TABLE \"A\"\"B\".\"T\" (\"C\" DATE)",
       "CREATE TABLE \"T\" (\"C\" DATE)"},
      // no qualifier of the owner: the first point decides
      {'T', "APP", "T", "CREATE TABLE \"OTHER\".\"T\" (\"C\" DATE)", "CREATE TABLE \"T\" (\"C\" DATE)"},
      {'I', "APP", "ORDERS",
       "\n  CREATE UNIQUE INDEX \"APP\".\"ORDERS_PK\" ON \"APP\".\"ORDERS\" (\"ID\") \n  ",
       "CREATE UNIQUE INDEX \"ORDERS_PK\" ON \"ORDERS\" (\"ID\") \n  "},
      {'I', "APP", "ORDERS", "\n  CREATE BITMAP INDEX \"APP\".\"B\" ON \"APP\".\"ORDERS\" (\"ST\") ",
       "CREATE BITMAP INDEX \"B\" ON \"ORDERS\" (\"ST\") "},
      {'I', "APP", "ORDERS",
       "\n  CREATE INDEX \"APP\".\"UP\" ON \"APP\".\"ORDERS\" (UPPER(\"NAME\"), \"ID\" DESC) ",
       "CREATE INDEX \"UP\" ON \"ORDERS\" (UPPER(\"NAME\"), \"ID\" DESC) "},
      // a long index name is neither cut nor overflows anything
      {'I', "APP", "T", "\n  CREATE INDEX \"APP\".\"" + long_ix + "\" ON \"APP\".\"T\" (\"A\")",
       "CREATE INDEX \"" + long_ix + "\" ON \"T\" (\"A\")"},
      // " ON " inside a quoted index name is part of the name
      {'I', "APP", "T", "CREATE INDEX \"APP\".\"A ON (B\" ON \"APP\".\"T\" (\"A\")",
       "CREATE INDEX \"A ON (B\" ON \"T\" (\"A\")"},
      // an owner called UNIQUE does not make the index unique; the table
      // name is quoted with its double quotes doubled
      {'I', "UNIQUE", "T\"Q", "CREATE INDEX \"UNIQUE\".\"IX\" ON \"UNIQUE\".\"T\"\"Q\" (\"A\")",
       "CREATE INDEX \"IX\" ON \"T\"\"Q\" (\"A\")"},
      {'C', "APP", "ORDERS",
       "\n  ALTER TABLE \"APP\".\"ORDERS\" ADD CONSTRAINT \"ORDERS_PK\" PRIMARY KEY (\"ID\")\n"
       "  USING INDEX \"APP\".\"ORDERS_PK\"  ENABLE",
       "ALTER TABLE \"ORDERS\" ADD CONSTRAINT \"ORDERS_PK\" PRIMARY KEY (\"ID\")\n"
       "  USING INDEX \"ORDERS_PK\"  ENABLE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fetched);
    Rewritten r = Rewrite(w_, c.kind, c.owner, c.table, c.fetched);
    ASSERT_EQ(0, r.ret) << r.err;
    EXPECT_EQ(c.expected, r.block);
    EXPECT_EQ("", r.err);
  }
}

TEST_F(Writer, DdlTextsThatCannotBeRewritten) {
  struct Case {
    int kind;
    std::string fetched, message;
  } cases[] = {
      {'T', "CREATE TABLE T (A NUMBER)", "Create table DDL text not correct.\n\n"},
      {'I', "CREATE INDEX \"APP\".\"IX\" (\"A\")", "Create index DDL text not correct.\n\n"},
      {'I', "CREATE INDEX \"APP\".\"IX\" ON \"APP\".\"T\"", "Create index DDL text not correct.\n\n"},
      {'C', "ALTER TABLE T ADD PRIMARY KEY (A)", "Create constraint DDL text not correct.\n\n"},
  };
  for (const Case& c : cases) {
    Rewritten r = Rewrite(w_, c.kind, "APP", "T", c.fetched);
    EXPECT_EQ(-1, r.ret);
    EXPECT_EQ(c.message + c.fetched, r.err);
  }
}

// A table whose columns cannot be fetched at all fails before any statement
// reaches the database: no division by zero, no fetch of zero rows.
TEST_F(Writer, SelectPreparationRefusesUnfetchableTables) {
  EXP_TABLE tab{};
  std::strcpy(tab.info.tab_name, "W");
  // 200 RAW(32767) columns: one row is wider than the 4 MB row area.
  w_->ctail = 7;  // the block follows a DDL text at an odd position
  w_->colp = reinterpret_cast<COL_INFO*>(w_->cache + w_->ctail);
  for (int k = 0; k < 200; k++) {
    COL_INFO ci{};
    ci.ctype = CTYPE_RAW;
    ci.clen = 32767;
    std::snprintf(ci.col_name, sizeof(ci.col_name), "C%d", k);
    std::memcpy(w_->cache + w_->ctail + 40 * k, &ci, sizeof(ci));
  }
  struct Case {
    uint32_t ncol;
    std::string message;
  } cases[] = {{0, "Table \"W\" has no column to export.\n"},
               {200, "A row of table \"W\" is wider than the fetch area.\n"}};
  for (const Case& c : cases) {
    tab.info.ncol = c.ncol;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(-1, prepare_to_select(w_, &tab));
    EXPECT_EQ(c.message, ::testing::internal::GetCapturedStderr());
  }
}

TEST(SqlEscape, DoublesItsQuoteOnly) {
  char out[ESC_NAME_SIZE];
  EXPECT_EQ(9, sql_escape(out, sizeof(out), "O'Br\"ien", '\''));
  EXPECT_STREQ("O''Br\"ien", out);
  EXPECT_EQ(7, sql_escape(out, sizeof(out), "\"A\"\"", '"'));
  EXPECT_STREQ("\"\"A\"\"\"\"", out);
  EXPECT_EQ(62, sql_escape(out, sizeof(out), std::string(31, '\'').c_str(), '\''));
  char small[4];
  EXPECT_EQ(-1, sql_escape(small, sizeof(small), "a'b", '\''));
  EXPECT_STREQ("", small);
}

}  // namespace

// Two sections written through the cache as export_table writes them, then
// the trailer: the extension records each section, the rows and the lossy
// flag, and the shared reader finds the file sound. Before the trailer the
// reserved header bytes are still zero, as a failed export leaves them.
TEST_F(Writer, SectionsAreChecksummedOnTheirWayOut) {
  EXP_TABLE tabs[2] = {};
  Tables(tabs, 2);
  ASSERT_EQ(0, write_dump_head(w_));
  for (int ti = 0; ti < 2; ti++) {
    std::snprintf(tabs[ti].info.tab_name, sizeof tabs[ti].info.tab_name, "T%d", ti);
    tabs[ti].info.ncol = 1;
    section_begin(w_);
    std::string ddl = std::string("CREATE TABLE \"") + tabs[ti].info.tab_name + "\" (\"ID\" NUMBER)";
    cache_put16(w_, static_cast<uint16_t>(ddl.size()));
    std::memcpy(w_->cache + w_->ctail, ddl.data(), ddl.size());
    w_->ctail += static_cast<int>(ddl.size());
    uint8_t col[40] = {};
    put_be32(col, CTYPE_NUMBER);
    put_be32(col + 4, 22);
    std::strcpy(reinterpret_cast<char*>(col + 8), "ID");
    std::memcpy(w_->cache + w_->ctail, col, sizeof col);
    w_->ctail += sizeof col;
    tabs[ti].info.offset = w_->data_ofs;
    w_->nrow = ti + 1;
    for (int r = 0; r <= ti; r++) {  // ti + 1 rows, the second table's across a flush
      cache_put16(w_, 2);
      cache_put16(w_, 0xC102);
      cache_put16(w_, MARK_END);
      if (ti == 1 && r == 0) {
        ASSERT_EQ(0, write_cache(w_));
      }
    }
    tabs[ti].info.nrows = static_cast<uint32_t>(w_->nrow);
    cache_put16(w_, MARK_ROWS_END);
    cache_put16(w_, MARK_END);
    ASSERT_EQ(0, write_cache(w_));
    ASSERT_EQ(0, section_end(w_, &tabs[ti]));
  }
  EXPECT_EQ(std::string(1024 - 208, '\0'), Bytes(File(), 208, 1024 - 208));

  run_->flag |= EXP_LOSSY_CHARSET;
  ASSERT_EQ(0, write_dump_trailer(w_));
  ASSERT_EQ(0, write_table_information(w_));
  int fd = open(path_.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  DUMP_READER r;
  ASSERT_EQ(0, dump_open(&r, fd)) << r.fault.reason;
  EXPECT_TRUE(r.has_ext);
  EXPECT_EQ(DUMP_EXT_LOSSY, r.ext.flags);
  ASSERT_EQ(0, dump_check_directory(&r)) << r.fault.reason;
  for (uint32_t i = 0; i < 2; i++) {
    DUMP_SECTION s;
    ASSERT_EQ(0, dump_walk_section(&r, i, nullptr, nullptr, &s)) << r.fault.reason;
    EXPECT_EQ(i + 1, s.rows);
  }
  EXPECT_EQ(0, dump_walk_deferred(&r, nullptr, nullptr));
  dump_close(&r);
  close(fd);
}

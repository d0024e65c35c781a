// reader_records_test.cpp - the dump reader on files of format 3, whose
// trailer is a list of typed records: statements of any length come whole
// (past a text block and past the read buffer), warnings apart, optional
// records of later kinds stepped over, tables whose names do not fit the
// directory given as ordinary tables, and every broken record is a
// damaged file with its reason, never a crash or a silent skip.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dump_builder.h"
#include "dump_reader.h"

namespace {

using namespace dumpbuild;

int Collect(void* ctx, const char* text, uint32_t len) {
  static_cast<std::vector<std::string>*>(ctx)->emplace_back(text, len);
  return 0;
}

struct Read {
  int rc = -1;
  int code = 0;
  std::string fault;
  std::vector<std::string> deferred, warnings;
};

Read ReadAll(const std::string& bytes) {
  char path[] = "/tmp/reader_records.XXXXXX";
  int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  std::ofstream(path, std::ios::binary) << bytes;
  Read out;
  DUMP_READER r;
  DUMP_VISIT v = {nullptr, nullptr, Collect};
  out.rc = dump_open(&r, fd);
  if (out.rc == 0) out.rc = dump_check_directory(&r);
  for (uint32_t i = 0; out.rc == 0 && i < r.head.tab_cnt; i++)
    out.rc = dump_walk_section(&r, i, nullptr, nullptr, nullptr);
  if (out.rc == 0 && (dump_walk_deferred(&r, &v, &out.deferred) != 0 ||
                      dump_walk_warnings(&r, &v, &out.warnings) != 0))
    out.rc = -1;
  if (out.rc != 0) {
    out.fault = r.fault.reason;
    out.code = r.fault.code;
  }
  dump_close(&r);
  close(fd);
  unlink(path);
  return out;
}

Dump Records() {
  Dump d;
  d.extension = true;
  d.version = 3;
  d.records = true;
  Table t("T", {{2, 22, "ID"}});
  t.Row({Val(std::string("\xC1\x02", 2))});
  d.tables.push_back(t);
  d.deferred = {"CREATE SEQUENCE \"S\""};
  return d;
}

TEST(ReaderRecords, StatementsOfAnyLengthComeWholeAndInOrder) {
  Dump d = Records();
  // past a text block's 65535 bytes, and past the reader's own buffer
  std::string body = "CREATE OR REPLACE PACKAGE BODY \"P\" AS\n" + std::string(80 * 1024, 'x') + "\nEND;";
  std::string huge = "CREATE OR REPLACE PACKAGE BODY \"Q\" AS\n" +
                     std::string(DUMP_READ_BUFFER + 1000, 'y') + "\nEND;";
  d.deferred = {"CREATE SEQUENCE \"S\"", body, huge, "GRANT SELECT ON \"T\" TO \"BOB\""};
  d.warnings = {"Warning: table \"A_NAME\" not exported: why.", "Warning: second."};
  // a record of a later kind, marked optional, between them and the end
  d.extra = {{0x8000 | 9, "structured content of a later writer", -1}};
  Read r = ReadAll(d.Build());
  ASSERT_EQ(0, r.rc) << r.fault;
  EXPECT_EQ(d.deferred, r.deferred);
  EXPECT_EQ(d.warnings, r.warnings);

  // no statements and no warnings: the end record alone
  d.deferred.clear();
  d.warnings.clear();
  d.extra.clear();
  r = ReadAll(d.Build());
  ASSERT_EQ(0, r.rc) << r.fault;
  EXPECT_TRUE(r.deferred.empty());
  EXPECT_TRUE(r.warnings.empty());
}

TEST(ReaderRecords, BrokenRecordsAreDamage) {
  struct Case {
    const char* what;
    std::vector<Dump::Record> extra;
    bool end;
    std::string fault;
  } cases[] = {
      {"a length past the end of the file", {{1, "CREATE SEQUENCE \"X\"", 1000000}}, true,
       "trailer record of 1000000 bytes runs past the file"},
      {"the largest length there is", {{2, "x", 0xFFFFFFFFll}}, true,
       "trailer record of 4294967295 bytes runs past the file"},
      {"a kind no reader knows, not marked optional", {{7, "payload", -1}}, true,
       "trailer record kind 7 not known"},
      {"an empty statement", {{1, "", -1}}, true, "empty statement record"},
      {"an end record with a payload", {{0, "tail", -1}}, false, "end record with a payload"},
      {"no end record", {}, false, "file ends inside a trailer record"},
      {"bytes after the end record", {{0, "", -1}, {1, "CREATE SEQUENCE \"Y\"", -1}}, false,
       "bytes after the trailer"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Dump d = Records();
    d.extra = c.extra;
    d.records_end = c.end;
    Read r = ReadAll(d.Build());
    EXPECT_NE(0, r.rc);
    EXPECT_EQ(c.fault, r.fault);
  }
}

// Tables whose names do not fit the directory, read with the reader's
// calls; a base reader's view (the directory alone) next to it.
struct Tables {
  int rc = -1;
  std::string fault;
  uint32_t listed = 0;
  std::vector<std::string> names;
  std::vector<uint64_t> rows;
  std::vector<std::string> ddl;
};

int CollectDdl(void* ctx, const char* text, uint32_t len) {
  static_cast<std::vector<std::string>*>(ctx)->emplace_back(text, len);
  return 0;
}

Tables ReadTables(const std::string& bytes) {
  char path[] = "/tmp/reader_records.XXXXXX";
  int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  std::ofstream(path, std::ios::binary) << bytes;
  Tables out;
  DUMP_READER r;
  out.rc = dump_open(&r, fd);
  if (out.rc == 0) out.rc = dump_check_directory(&r);
  if (out.rc == 0) out.listed = r.head.tab_cnt;
  for (uint32_t i = 0; out.rc == 0 && i < dump_table_count(&r); i++) {
    TAB_INFO t;
    DUMP_SECTION sec;
    DUMP_VISIT v = {CollectDdl, nullptr, nullptr};
    out.rc = dump_entry(&r, i, &t);
    if (out.rc == 0) out.rc = dump_walk_section(&r, i, &v, &out.ddl, &sec);
    if (out.rc == 0) {
      out.names.push_back(dump_table_name(&r, i, &t));
      out.rows.push_back(sec.rows);
    }
  }
  if (out.rc != 0) out.fault = r.fault.reason;
  dump_close(&r);
  close(fd);
  unlink(path);
  return out;
}

Table Plain(const std::string& name, int rows) {
  Table t(name, {{2, 22, "ID"}});
  t.ddl = "CREATE TABLE \"" + name + "\" (\"ID\" NUMBER)";
  for (int i = 0; i < rows; i++) t.Row({Val(std::string("\xC1\x02", 2))});
  return t;
}

Dump WithLongNames() {
  Dump d = Records();
  d.tables = {Plain("SHORT", 2)};
  d.long_tables = {Plain(std::string(40, 'L'), 3), Plain(std::string(128, 'M'), 1)};
  return d;
}

TEST(ReaderRecords, TablesOfLongNamesComeAfterTheDirectorysAsOrdinaryTables) {
  Dump d = WithLongNames();
  Tables t = ReadTables(d.Build());
  ASSERT_EQ(0, t.rc) << t.fault;
  EXPECT_EQ(1u, t.listed);  // what a base reader sees: the directory alone
  EXPECT_EQ((std::vector<std::string>{"SHORT", std::string(40, 'L'), std::string(128, 'M')}), t.names);
  EXPECT_EQ((std::vector<uint64_t>{2, 3, 1}), t.rows);
  ASSERT_EQ(3u, t.ddl.size());
  EXPECT_EQ(d.long_tables[1].ddl, t.ddl[2]);

  // the same file without the long tables has the same directory bytes
  Dump base = d;
  base.long_tables.clear();
  std::string with = d.Build(), without = base.Build();
  EXPECT_EQ(without.substr(1024, 512), with.substr(1024, 512));
  EXPECT_EQ(without.substr(0, 208), with.substr(0, 208));

  // many of them, in their order
  d.long_tables.clear();
  for (int k = 0; k < 40; k++) d.long_tables.push_back(Plain(std::string(32, 'A') + std::to_string(k), k % 3));
  t = ReadTables(d.Build());
  ASSERT_EQ(0, t.rc) << t.fault;
  ASSERT_EQ(41u, t.names.size());
  EXPECT_EQ(std::string(32, 'A') + "39", t.names.back());
  EXPECT_EQ(0u, t.rows.back());
}

TEST(ReaderRecords, BrokenTableRecordsAreDamage) {
  struct Case {
    const char* what;
    int64_t shift;          // moves the first long table's recorded offset
    std::string name;       // of the first long table
    std::string fault;      // the reason, or its start
  } cases[] = {
      {"a section that overlaps the one before it", -8, std::string(40, 'L'),
       "section place of table \"LLLL"},
      {"a section that leaves a gap", 8, std::string(40, 'L'), "section place of table \"LLLL"},
      {"a section past the file", 1 << 30, std::string(40, 'L'), "table record \"LLLL"},
      {"a name that fits the directory", 0, "SHORT2", "table record of 54 bytes"},
      {"a name longer than 128 bytes", 0, std::string(129, 'N'), "table record of 177 bytes"},
      {"a name with a zero byte", 0, std::string(20, 'Z') + std::string(1, '\0') + std::string(20, 'Z'),
       "table record: name with a zero byte"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Dump d = WithLongNames();
    d.long_tables[0].name = c.name;
    d.long_offset_shift = c.shift;
    Tables t = ReadTables(d.Build());
    EXPECT_NE(0, t.rc);
    EXPECT_EQ(0u, t.fault.rfind(c.fault, 0)) << t.fault;
  }
}

}  // namespace

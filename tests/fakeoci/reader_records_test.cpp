// reader_records_test.cpp - the dump reader on files of format 3, whose
// trailer is a list of typed records: statements of any length come whole
// (past a text block and past the read buffer), warnings apart, optional
// records of later kinds stepped over, tables whose names do not fit the
// directory given as ordinary tables, and every broken record is a
// damaged file with its reason, never a crash or a silent skip.
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dump_builder.h"
#include "dump_reader.h"
#include "stmt_allow.h"

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
  DUMP_VISIT v = {nullptr, nullptr, Collect, nullptr};
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
      {"a kind no reader knows, not marked optional", {{11, "payload", -1}}, true,
       "trailer record kind 11 not known"},
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
    DUMP_VISIT v = {CollectDdl, nullptr, nullptr, nullptr};
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

// ---- GRANT, COMMENT and SYNONYM records --------------------------------------------

namespace {

struct Objects {
  int rc = -1;
  std::string fault;
  std::vector<std::string> seen;  // statements as text, records as composed
};

int SeeStatement(void* ctx, const char* text, uint32_t len) {
  static_cast<Objects*>(ctx)->seen.emplace_back("text: " + std::string(text, len));
  return 0;
}

int SeeRecord(void* ctx, const DUMP_OBJ_RECORD* rec) {
  uint32_t len = 0, at = 0;
  char* sql = dump_record_sql(rec, &len, &at);
  std::string s(sql, len);
  free(sql);
  // the qualifier goes just before the object's quoted name
  EXPECT_EQ('"', s[at]);
  static_cast<Objects*>(ctx)->seen.emplace_back("record: " + s);
  return 0;
}

Objects ReadObjects(const std::string& bytes) {
  char path[] = "/tmp/reader_records.XXXXXX";
  int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  std::ofstream(path, std::ios::binary) << bytes;
  Objects out;
  DUMP_READER r;
  DUMP_VISIT v = {nullptr, nullptr, SeeStatement, SeeRecord};
  out.rc = dump_open(&r, fd);
  if (out.rc == 0) out.rc = dump_check_directory(&r);
  if (out.rc == 0) out.rc = dump_walk_deferred(&r, &v, &out);
  if (out.rc != 0) out.fault = r.fault.reason;
  dump_close(&r);
  close(fd);
  unlink(path);
  return out;
}

}  // namespace

TEST(ReaderObjectRecords, GrantsAndCommentsComeInTheirPlaceAsComposedStatements) {
  Dump d = Records();
  d.extra = {{4, GrantPayload(1, 1, "T", "BOB"), -1},
             {1, "CREATE VIEW \"V\" AS SELECT 1 X FROM DUAL", -1},
             {5, CommentPayload("V", "", "it's a view"), -1},
             {5, CommentPayload("T", "ID", ""), -1},
             {4, GrantPayload(16, 0, "V", "PUBLIC"), -1},
             {4, GrantPayload(3, 0, "T", "PUBLIC_ROLE"), -1},
             {6, SynonymPayload("S1", "", "T"), -1},
             {6, SynonymPayload("S2", "HR", "JOBS"), -1},
             {7, SequencePayload("Q", 3, {"-99", "-1", "-2", "-5", ""}), -1},
             {7, SequencePayload("Q2", 0, {"1", "9999999999999999999999999999", "10", "41", "20"}), -1}};
  Objects o = ReadObjects(d.Build());
  ASSERT_EQ(0, o.rc) << o.fault;
  EXPECT_EQ((std::vector<std::string>{
                "text: CREATE SEQUENCE \"S\"",
                "record: GRANT SELECT ON \"T\" TO \"BOB\" WITH GRANT OPTION",
                "text: CREATE VIEW \"V\" AS SELECT 1 X FROM DUAL",
                "record: COMMENT ON TABLE \"V\" IS 'it''s a view'",
                "record: COMMENT ON COLUMN \"T\".\"ID\" IS ''",
                "record: GRANT ON COMMIT REFRESH ON \"V\" TO PUBLIC",
                "record: GRANT UPDATE ON \"T\" TO \"PUBLIC_ROLE\"",
                "record: CREATE SYNONYM \"S1\" FOR \"T\"",
                "record: CREATE SYNONYM \"S2\" FOR \"HR\".\"JOBS\"",
                "record: CREATE SEQUENCE \"Q\" MINVALUE -99 MAXVALUE -1 INCREMENT BY -2 START WITH -5 "
                "NOCACHE ORDER CYCLE",
                "record: CREATE SEQUENCE \"Q2\" MINVALUE 1 MAXVALUE 9999999999999999999999999999 "
                "INCREMENT BY 10 START WITH 41 CACHE 20 NOORDER NOCYCLE",
            }),
            o.seen);
  // a walk without the callback steps over them
  Read plain = ReadAll(d.Build());
  ASSERT_EQ(0, plain.rc) << plain.fault;
  EXPECT_EQ(2u, plain.deferred.size());
}

TEST(ReaderObjectRecords, DamagedFieldsAreRefusedWhenTheFileOpens) {
  std::string name128(128, 'N'), name129(129, 'N');
  std::string nul("A\0B", 3);
  struct Case {
    const char* what;
    Dump::Record rec;
    std::string fault;
  } cases[] = {
      {"names past the payload", {4, GrantPayload(1, 0, "T", "BOB").substr(0, 6), -1},
       "grant record whose names do not fill its length"},
      {"bytes after the names", {4, GrantPayload(1, 0, "T", "BOB") + "x", -1},
       "grant record whose names do not fill its length"},
      {"a payload shorter than its fields", {4, "\x01\x00", -1}, "grant record shorter than its fields"},
      {"privilege 0", {4, GrantPayload(0, 0, "T", "BOB"), -1}, "grant record with a privilege not known"},
      {"a privilege past the list", {4, GrantPayload(17, 0, "T", "BOB"), -1},
       "grant record with a privilege not known"},
      {"flags no writer sets", {4, GrantPayload(1, 2, "T", "BOB"), -1}, "grant record with unknown flags"},
      {"an empty object name", {4, GrantPayload(1, 0, "", "BOB"), -1}, "an empty name"},
      {"a NUL in the grantee", {4, GrantPayload(1, 0, "T", nul), -1}, "a NUL in a name"},
      {"a quote that would end the name", {4, GrantPayload(1, 0, "T\" TO \"X", "BOB"), -1},
       "a '\"' in a name"},
      {"a 129-byte table name", {5, std::string("\x81\x00", 2) + name129 + "text", -1},
       "a name longer than 128 bytes"},
      {"a column name past the payload", {5, CommentPayload("T", name128, "").substr(0, 50), -1},
       "comment record whose names run past its length"},
      {"a NUL in a column name", {5, CommentPayload("T", nul, "x"), -1}, "a NUL in a name"},
      {"a NUL in the text", {5, CommentPayload("T", "", nul), -1}, "a NUL in a comment"},
      {"a comment too long", {5, CommentPayload("T", "", std::string(16001, 'c')), -1},
       "comment longer than 16000 bytes"},
      {"a record longer than any comment", {5, CommentPayload("T", "", std::string(20000, 'c')), -1},
       "comment record of 20003 bytes"},
      {"a synonym without its object", {6, SynonymPayload("S", "HR", ""), -1}, "an empty name"},
      {"a synonym's names past the payload", {6, SynonymPayload("S", "HR", "X").substr(0, 5), -1},
       "synonym record whose names do not fill its length"},
      {"a quote in a synonym's schema", {6, SynonymPayload("S", "H\"R", "X"), -1}, "a '\"' in a name"},
      {"a sequence number with more than digits", {7, SequencePayload("Q", 0, {"1", "9 CYCLE", "1", "1", ""}), -1},
       "a sequence number that is not decimal digits"},
      {"a sequence number that is only a sign", {7, SequencePayload("Q", 0, {"-", "9", "1", "1", ""}), -1},
       "a sequence number that is not decimal digits"},
      {"an empty start", {7, SequencePayload("Q", 0, {"1", "9", "1", "", ""}), -1},
       "a sequence number of a length not allowed"},
      {"sequence flags no writer sets", {7, SequencePayload("Q", 4, {"1", "9", "1", "1", ""}), -1},
       "sequence record with unknown flags"},
      {"sequence numbers past the payload", {7, SequencePayload("Q", 0, {"1", "9", "1", "1", "20"}).substr(0, 12), -1},
       "sequence record whose fields do not fill its length"},
      {"a length past the file", {4, GrantPayload(1, 0, "T", "BOB"), 100000},
       "trailer record of 100000 bytes runs past the file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Dump d = Records();
    d.extra = {c.rec};
    // at open already, before anything of the file is acted on
    Tables t = ReadTables(d.Build());
    EXPECT_NE(0, t.rc);
    EXPECT_EQ(c.fault, t.fault);
  }
  // a name of exactly 128 bytes is fine
  Dump d = Records();
  d.extra = {{4, GrantPayload(1, 0, name128, name128), -1}};
  Objects o = ReadObjects(d.Build());
  ASSERT_EQ(0, o.rc) << o.fault;
  ASSERT_EQ(2u, o.seen.size());
}

// Whatever bytes a record's names and text hold (short of those the reader
// refuses), the statement composed from them is one the importer allows,
// with the object's quoted name where the schema goes: the fields cannot
// change what the statement does.
TEST(ReaderObjectRecords, ComposedStatementsAreAlwaysAllowed) {
  const std::string odd[] = {"T",
                             "a b",
                             "X\nGRANT DBA TO EVIL",
                             "'; DROP TABLE T; --",
                             std::string("\x01\x7f\xff\xc3\xa9", 5),
                             "SYS.USER$",
                             "PUBLIC",
                             std::string(128, 'Z')};
  for (const std::string& a : odd) {
    for (const std::string& b : odd) {
      for (int kind : {4, 5, 6, 7}) {
        SCOPED_TRACE(a + " / " + b);
        DUMP_OBJ_RECORD rec;
        std::string p = kind == 4   ? GrantPayload(16, 1, a, b)
                        : kind == 5 ? CommentPayload(a, b, b + "'" + a)
                        : kind == 6 ? SynonymPayload(a, b, a)
                                    : SequencePayload(a, 3, {"-1", "9", "1", "1", "20"});
        ASSERT_EQ(nullptr, dump_parse_obj_record(static_cast<uint16_t>(kind),
                                                  reinterpret_cast<const uint8_t*>(p.data()),
                                                  static_cast<uint32_t>(p.size()), &rec));
        uint32_t len = 0, at = 0;
        char* sql = dump_record_sql(&rec, &len, &at);
        ASSERT_NE(nullptr, sql);
        char why[120];
        STMT_SCOPE scope = {STMT_AT_DEFERRED, nullptr, "APP", nullptr, nullptr, nullptr};
        STMT_INFO info;
        EXPECT_EQ(nullptr, stmt_check(&scope, sql, len, &info, why, sizeof why)) << sql << ": " << why;
        EXPECT_EQ(a, info.object) << sql;
        if (kind < 6) {
          EXPECT_EQ(a, info.acts_on) << sql;
        }
        EXPECT_EQ('"', sql[at]);
        EXPECT_EQ(0, memcmp(sql + at + 1, a.data(), a.size()));
        free(sql);
      }
    }
  }
}

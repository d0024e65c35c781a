// imp_dump_check_test.cpp - checksummed dumps against real database files:
// every flipped byte found by the shared reader, damaged dumps stopped by
// tabimp and tabdump before a damaged table is created, tabdump's outputs
// (its script rebuilt by tabsql), the old format kept as a fixture, and
// dumps whose statements are not of the kinds an export writes.
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../fakeoci/dump_builder.h"
#include "dump_reader.h"
#include "support.h"

namespace {

using testsupport::CreateDatabase;
using testsupport::ProcResult;
using testsupport::ReadFile;
using testsupport::RunSql;
using testsupport::TempDir;
using testsupport::WriteFile;

const char kNls[] = "NLS_LANG=AMERICAN_AMERICA.AL32UTF8";

// Source schema: a keyed and indexed table, a CLOB, a LONG, and two tables
// whose quoted names hold what once misled the index rewrite.
const char kSchema[] =
    "CREATE TABLE people (id NUMBER(6), name VARCHAR2(30), born DATE,\n"
    "  CONSTRAINT people_pk PRIMARY KEY (id));\n"
    "CREATE INDEX people_name ON people (name);\n"
    "INSERT INTO people VALUES (1, 'Ann', DATE '1990-01-02');\n"
    "INSERT INTO people VALUES (2, 'Bo', NULL);\n"
    "INSERT INTO people VALUES (3, NULL, DATE '2001-12-31');\n"
    "CREATE TABLE notes (id NUMBER, body CLOB);\n"
    "INSERT INTO notes VALUES (1, 'first note');\n"
    "INSERT INTO notes VALUES (2, NULL);\n"
    "CREATE TABLE logs (id NUMBER, txt LONG);\n"
    "INSERT INTO logs VALUES (1, 'a long text');\n"
    "CREATE TABLE \"T(S DESC) --\" (k NUMBER, s NUMBER);\n"
    "CREATE INDEX t_k ON \"T(S DESC) --\" (k);\n"
    "INSERT INTO \"T(S DESC) --\" VALUES (1, 2);\n"
    "CREATE TABLE \"A(\" (k NUMBER);\n"
    "CREATE INDEX a_k ON \"A(\" (k);\n"
    "COMMIT;\n";

const int kDamageRuns = 8;

class DumpCheck : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    db_ = dir_->file("db");
    dump_ = dir_->file("src.dmp");
    CreateDatabase(db_, "manager");
    std::string users = "CREATE USER src IDENTIFIED BY src;\nGRANT DBA TO src;\n";
    for (int k = 0; k < kDamageRuns; k++) users += "CREATE USER dst" + std::to_string(k) + " IDENTIFIED BY x;\n";
    users += "CREATE USER dst_ok IDENTIFIED BY x;\nCREATE USER fx_copy IDENTIFIED BY x;\n";
    ASSERT_EQ(0, RunSql("system/manager@" + db_, users, {kNls}).status);
    ProcResult r = RunSql("src/src@" + db_, kSchema, {kNls});
    ASSERT_EQ(0, r.status) << r.out << r.err;
    r = testsupport::Run({TABEXP_PATH, "src/src@" + db_, "FILE=" + dump_, "OWNER=src"}, {kNls});
    ASSERT_EQ(0, r.status) << r.err;
    bytes_ = ReadFile(dump_);
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  static std::string Query(const std::string& sql, const std::string& db = db_) {
    ProcResult r = RunSql("system/manager@" + db, sql, {kNls});
    EXPECT_EQ(0, r.status) << sql << r.err;
    return r.out;
  }
  static ProcResult Import(const std::string& file, const std::string& touser) {
    return testsupport::Run({TABIMP_PATH, "system/manager@" + db_, "FILE=" + file, "TOUSER=" + touser});
  }

  static TempDir* dir_;
  static std::string db_, dump_, bytes_;
};

TempDir* DumpCheck::dir_;
std::string DumpCheck::db_, DumpCheck::dump_, DumpCheck::bytes_;

struct Section {
  std::string name;
  uint64_t begin, end;
};

// What tabdump --verify does, in-process over fd: -1 and the fault, or 0.
int VerifyAll(int fd, DUMP_READER* r) {
  if (dump_open(r, fd) != 0 || dump_check_directory(r) != 0) return -1;
  for (uint32_t i = 0; i < r->head.tab_cnt; i++)
    if (dump_walk_section(r, i, nullptr, nullptr, nullptr) != 0) return -1;
  return dump_walk_deferred(r, nullptr, nullptr);
}

std::vector<Section> Sections(const std::string& bytes) {
  int fd = memfd_create("dump", 0);
  EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  DUMP_READER r;
  std::vector<Section> out;
  EXPECT_EQ(0, VerifyAll(fd, &r)) << r.fault.reason;
  for (uint32_t i = 0; i < r.head.tab_cnt; i++) {
    TAB_INFO t;
    DUMP_TRAIL tr;
    EXPECT_EQ(0, dump_entry(&r, i, &t));
    EXPECT_EQ(0, dump_trail(&r, i, &tr));
    out.push_back({t.tab_name, t.offset, t.offset + tr.length});
  }
  dump_close(&r);
  close(fd);
  return out;
}

TEST_F(DumpCheck, ReaderFindsEveryFlippedByteInTheRightPlace) {
  std::vector<Section> secs = Sections(bytes_);
  ASSERT_EQ(5u, secs.size());
  int fd = memfd_create("dump", 0);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(pwrite(fd, bytes_.data(), bytes_.size(), 0), static_cast<ssize_t>(bytes_.size()));
  DUMP_READER r;
  ASSERT_EQ(0, VerifyAll(fd, &r));
  dump_close(&r);
  for (size_t p = 0; p < bytes_.size(); p++) {
    char bad = static_cast<char>(bytes_[p] ^ 0x5A);
    ASSERT_EQ(pwrite(fd, &bad, 1, static_cast<off_t>(p)), 1);
    int rc = VerifyAll(fd, &r);
    dump_close(&r);
    ASSERT_EQ(pwrite(fd, &bytes_[p], 1, static_cast<off_t>(p)), 1);
    ASSERT_EQ(-1, rc) << "byte " << p << " flipped unnoticed";
    int want = -1;  // header, directory and trailer: found before any section
    for (size_t i = 0; i < secs.size(); i++)
      if (p >= secs[i].begin && p < secs[i].end) want = static_cast<int>(i);
    ASSERT_EQ(want, r.fault.table) << "byte " << p << ": " << r.fault.reason;
    ASSERT_NE(DUMP_E_IO, r.fault.code);
  }
  close(fd);
}

TEST_F(DumpCheck, DamagedDumpStopsImportBeforeTheTableAndVerifyNamesIt) {
  std::vector<Section> secs = Sections(bytes_);
  ASSERT_EQ("PEOPLE", secs[0].name);
  ASSERT_EQ("NOTES", secs[1].name);
  ASSERT_EQ("LOGS", secs[2].name);
  struct Spot {
    size_t pos;
    int table;  // -1: header, directory or trailer
  };
  const std::vector<Spot> spots = {
      {40, -1},                                         // owner in the header
      {1024 + 56 + 12 + 3, -1},                         // NOTES' row count in the directory
      {secs[0].begin + 10, 0},                          // PEOPLE's CREATE TABLE text
      {bytes_.find("Ann", secs[0].begin), 0},           // a value in PEOPLE's rows
      {bytes_.find("CREATE INDEX", secs[0].begin) + 8, 0},  // PEOPLE's index list
      {bytes_.find("first note") + 3, 1},               // NOTES' LOB stream
      {bytes_.find("a long text") + 2, 2},              // LOGS' LONG stream
      {secs.back().end + 20, -1},                       // the trailer
  };
  ASSERT_EQ(static_cast<size_t>(kDamageRuns), spots.size());
  for (int k = 0; k < kDamageRuns; k++) {
    const Spot& s = spots[k];
    ASSERT_LT(s.pos, bytes_.size());
    std::string bad = bytes_;
    bad[s.pos] = static_cast<char>(bad[s.pos] ^ 0x20);
    std::string file = dir_->file("bad" + std::to_string(k) + ".dmp");
    WriteFile(file, bad);
    std::string user = "DST" + std::to_string(k);
    ProcResult imp = Import(file, user);
    EXPECT_EQ(255, imp.status) << "spot " << k << imp.err;
    ProcResult ver = testsupport::Run({TABDUMP_PATH, "--verify", file});
    EXPECT_EQ(1, ver.status) << "spot " << k << ver.err;
    EXPECT_NE(std::string::npos, ver.out.find(file + ": DAMAGED at offset ")) << ver.out;
    if (s.table >= 0) {
      std::string name = secs[s.table].name;
      EXPECT_NE(std::string::npos, imp.err.find("Table " + name + ": damaged")) << imp.err;
      EXPECT_NE(std::string::npos, ver.out.find("table \"" + name + "\"")) << ver.out;
    }
  }
  // in each target, the tables before the damaged one are in, the damaged
  // one and the rest not
  std::string tables = Query(
      "SELECT owner || '.' || table_name FROM all_tables WHERE owner LIKE 'DST_' ORDER BY 1;\n");
  for (int k = 0; k < kDamageRuns; k++) {
    for (size_t i = 0; i < secs.size(); i++) {
      bool in = static_cast<int>(i) < spots[k].table;
      std::string row = "DST" + std::to_string(k) + "." + secs[i].name + "\n";
      EXPECT_EQ(in, tables.find(row) != std::string::npos) << row << tables;
    }
  }
}

TEST_F(DumpCheck, SoundDumpPassesEverywhere) {
  ProcResult list = testsupport::Run({TABDUMP_PATH, dump_});
  EXPECT_EQ(0, list.status) << list.err;
  EXPECT_NE(std::string::npos, list.out.find("Owner:     SRC\n"));
  EXPECT_NE(std::string::npos, list.out.find("Format:    1, checksummed\n"));
  EXPECT_NE(std::string::npos, list.out.find("\nNOTES "));
  ProcResult ver = testsupport::Run({TABDUMP_PATH, "--verify", dump_});
  EXPECT_EQ(0, ver.status) << ver.err;
  EXPECT_NE(std::string::npos, ver.out.find(dump_ + ": OK, 5 tables, 7 rows\n")) << ver.out;
  ProcResult json = testsupport::Run({TABDUMP_PATH, "--json", dump_});
  EXPECT_EQ(0, json.status) << json.err;
  EXPECT_NE(std::string::npos, json.out.find("{\"name\": \"T(S DESC) --\", \"flag\": 0,"));
  EXPECT_NE(std::string::npos, json.out.find("{\"name\": \"BODY\", \"type\": 15, \"length\": 4000}"))
      << json.out;
  EXPECT_NE(std::string::npos, json.out.find("\"checksummed\": true"));
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{TABDUMP_PATH}, {TABDUMP_PATH, "--check", dump_},
        {TABDUMP_PATH, dir_->file("missing.dmp")}, {TABDUMP_PATH, "--sql", dump_, dump_}})
    EXPECT_EQ(2, testsupport::Run(bad).status) << bad.back();

  ProcResult imp = Import(dump_, "dst_ok");
  ASSERT_EQ(0, imp.status) << imp.err;
  // each index still on K, the table names read whole
  std::string cols = Query(
      "SELECT index_name || ':' || column_name FROM all_ind_columns WHERE table_owner = 'DST_OK'\n"
      "AND index_name IN ('T_K', 'A_K') ORDER BY 1;\n");
  EXPECT_NE(std::string::npos, cols.find("A_K:K\nT_K:K\n")) << cols;
}

TEST_F(DumpCheck, ScriptRebuildsTheSameDdlInAnEmptySchema) {
  ProcResult sql = testsupport::Run({TABDUMP_PATH, "--sql", dump_});
  ASSERT_EQ(0, sql.status) << sql.err;
  std::string db2 = dir_->file("db2");
  CreateDatabase(db2, "manager");
  ASSERT_EQ(0, RunSql("system/manager@" + db2, "CREATE USER src IDENTIFIED BY src;\n", {kNls}).status);
  ProcResult run = RunSql("src/src@" + db2, sql.out, {kNls});
  ASSERT_EQ(0, run.status) << sql.out << run.out << run.err;
  // storage follows the data (a segment is created with the first row),
  // not the statements: compared without it
  const char* ddl =
      "BEGIN\n"
      "  DBMS_METADATA.SET_TRANSFORM_PARAM(DBMS_METADATA.SESSION_TRANSFORM, 'SEGMENT_ATTRIBUTES', FALSE);\n"
      "END;\n/\n"
      "SELECT DBMS_METADATA.GET_DDL('TABLE', table_name, owner) FROM all_tables\n"
      "WHERE owner = 'SRC' ORDER BY table_name;\n"
      "SELECT DBMS_METADATA.GET_DDL('INDEX', index_name, owner) FROM all_indexes\n"
      "WHERE owner = 'SRC' ORDER BY index_name;\n";
  std::string before = Query(ddl), after = Query(ddl, db2);
  EXPECT_NE(std::string::npos, before.find("CREATE TABLE \"SRC\".\"T(S DESC) --\""));
  EXPECT_EQ(before, after);
}

TEST_F(DumpCheck, DumpOfTheEarlierFormatImportsUnchanged) {
  std::string fixture = std::string(FIXTURE_DIR) + "/base_format.dump";
  ProcResult ver = testsupport::Run({TABDUMP_PATH, "--verify", fixture});
  EXPECT_EQ(0, ver.status) << ver.err;
  EXPECT_NE(std::string::npos, ver.out.find("no checksum"));
  ProcResult imp = Import(fixture, "fx_copy");
  ASSERT_EQ(0, imp.status) << imp.err;
  std::string rows = Query(
      "SELECT id || '|' || name || '|' || TO_CHAR(born, 'YYYY-MM-DD') FROM fx_copy.people ORDER BY id;\n"
      "SELECT id || '|' || body FROM fx_copy.notes ORDER BY id;\n"
      "SELECT COUNT(*) FROM fx_copy.logs;\n");
  EXPECT_NE(std::string::npos, rows.find("1|Ann|1990-01-02\n2|Bo|\n3||2001-12-31\n")) << rows;
  EXPECT_NE(std::string::npos, rows.find("1|first note\n2|\n")) << rows;
  std::string idx = Query("SELECT index_name FROM all_indexes WHERE owner = 'FX_COPY' ORDER BY 1;\n");
  EXPECT_NE(std::string::npos, idx.find("PEOPLE_NAME")) << idx;
}

TEST_F(DumpCheck, HostileStatementsLeaveTheDatabaseAlone) {
  using namespace dumpbuild;
  // the statement and whether the dump carries checksums
  const std::vector<std::pair<std::string, bool>> hostile = {
      {"CREATE USER evil IDENTIFIED BY x", false},
      {"DROP USER dst_ok CASCADE", true},
      {"CREATE TABLE \"SRC\".\"PEOPLE2\" (\"ID\" NUMBER)", false},
  };
  std::string users_before = Query("SELECT username FROM all_users ORDER BY 1;\n");
  for (const auto& [text, ext] : hostile) {
    Dump d;
    d.extension = ext;
    d.owner = "SRC";
    Table t("PEOPLE2", {{5, 22, "ID"}});
    t.ddl = text;
    t.Row({Val(Number(1))});
    d.tables.push_back(t);
    std::string file = dir_->file("hostile.dmp");
    WriteFile(file, d.Build());
    ProcResult imp = Import(file, "fx_copy");
    EXPECT_EQ(255, imp.status) << text;
    EXPECT_NE(std::string::npos, imp.err.find("Table PEOPLE2: statement refused")) << imp.err;
  }
  EXPECT_EQ(users_before, Query("SELECT username FROM all_users ORDER BY 1;\n"));
  EXPECT_EQ(std::string::npos, Query("SELECT table_name FROM all_tables WHERE table_name = 'PEOPLE2';\n")
                                   .find("PEOPLE2"));
}

}  // namespace

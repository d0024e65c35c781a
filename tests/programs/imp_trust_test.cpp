// imp_trust_test.cpp - dumps from a stranger, crafted with valid checksums:
// what tabdump --verify, tabdump's outputs and tabimp make of statements
// that would reach another schema, of literals that hide text, of names
// and warnings that would drive a terminal, of text in a single-byte
// character set, and of counts the file cannot hold. Each case also checks
// that the database is unchanged outside the target schema.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../fakeoci/dump_builder.h"
#include "support.h"

namespace {

using namespace dumpbuild;
using testsupport::CreateDatabase;
using testsupport::ProcResult;
using testsupport::ReadFile;
using testsupport::RunSql;
using testsupport::TempDir;
using testsupport::WriteFile;

const char kNls[] = "NLS_LANG=AMERICAN_AMERICA.AL32UTF8";

// Whether s is well-formed UTF-8 (no overlong forms, no surrogates).
bool ValidUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size() || (n == 2 && c < 0xC2)) return false;
    for (size_t k = 1; k < n; k++)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

class Trust : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    db_ = dir_->file("db");
    CreateDatabase(db_, "manager");
    ProcResult r = RunSql("system/manager@" + db_,
                          "CREATE USER victim IDENTIFIED BY v;\n"
                          "CREATE USER evil IDENTIFIED BY e;\n"
                          "CREATE USER evil_copy IDENTIFIED BY e;\n"
                          "CREATE TABLE victim.t (id NUMBER PRIMARY KEY);\n"
                          "CREATE TABLE victim.secret (id NUMBER PRIMARY KEY, s VARCHAR2(20));\n"
                          "INSERT INTO victim.t VALUES (1);\n"
                          "INSERT INTO victim.secret VALUES (1, 'gold');\n"
                          "COMMIT;\n",
                          {kNls});
    ASSERT_EQ(0, r.status) << r.out << r.err;
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  static std::string Query(const std::string& sql) {
    ProcResult r = RunSql("system/manager@" + db_, sql, {kNls});
    EXPECT_EQ(0, r.status) << sql << r.err;
    return r.out;
  }
  // What another schema holds, for "unchanged" checks.
  static std::string Outside() {
    return Query(
        "SELECT owner, object_name, object_type FROM dba_objects WHERE owner IN ('VICTIM', 'EVIL', 'SYSTEM')"
        " ORDER BY 1, 2, 3;\n"
        "SELECT owner, constraint_name, constraint_type FROM dba_constraints WHERE owner = 'VICTIM' ORDER BY 2;\n"
        "SELECT grantee, owner, table_name, privilege FROM dba_tab_privs WHERE owner <> 'SYS' ORDER BY 1, 2, 3, 4;\n"
        "SELECT grantee, granted_role FROM dba_role_privs WHERE grantee IN ('EVIL', 'EVIL_COPY') ORDER BY 1, 2;\n"
        "SELECT id, s FROM victim.secret ORDER BY 1;\n");
  }
  static std::string Write(const std::string& name, const Dump& d) {
    std::string file = dir_->file(name);
    WriteFile(file, d.Build());
    return file;
  }
  static ProcResult Tabdump(const std::string& mode, const std::string& file) {
    if (mode.empty()) return testsupport::Run({TABDUMP_PATH, file});
    return testsupport::Run({TABDUMP_PATH, mode, file});
  }
  static ProcResult Import(const std::string& file, const std::string& touser,
                           const std::vector<std::string>& more = {}) {
    std::vector<std::string> argv = {TABIMP_PATH, "system/manager@" + db_, "FILE=" + file, "TOUSER=" + touser};
    argv.insert(argv.end(), more.begin(), more.end());
    return testsupport::Run(argv, {kNls});
  }
  static Dump OneTable(const std::string& owner) {
    Dump d;
    d.extension = true;
    d.owner = owner;
    Table t("T", {{5, 22, "ID"}});
    t.ddl = "CREATE TABLE \"T\" (\"ID\" NUMBER)";
    t.Row({Val(Number(7))});
    d.tables.push_back(t);
    return d;
  }

  static TempDir* dir_;
  static std::string db_;
};

TempDir* Trust::dir_;
std::string Trust::db_;

// A foreign key is added only to a table of the target, whatever schema the
// dump names for it: verify refuses the statement, the import adds nothing
// to VICTIM's tables.
TEST_F(Trust, ForeignKeyOnAnotherSchemasTableIsRefused) {
  std::string before = Outside();
  Dump d = OneTable("APP");
  d.deferred = {"ALTER TABLE \"VICTIM\".\"T\" ADD CONSTRAINT \"EVIL_FK\" FOREIGN KEY (\"ID\") "
                "REFERENCES \"VICTIM\".\"SECRET\" (\"ID\") ON DELETE CASCADE ENABLE NOVALIDATE"};
  std::string file = Write("fk.dmp", d);
  ProcResult v = Tabdump("--verify", file);
  EXPECT_EQ(1, v.status) << v.out;
  EXPECT_NE(std::string::npos, v.out.find("statement refused")) << v.out;
  ProcResult imp = Import(file, "evil_copy", {"IGNORE=Y"});
  EXPECT_NE(0, imp.status) << imp.err;
  EXPECT_NE(std::string::npos, imp.err.find("refused")) << imp.err;
  EXPECT_EQ(before, Outside());
}

// nq'[ ' ]' is one literal for the checker as for the database: the
// reference to VICTIM's table after it is seen and refused.
TEST_F(Trust, NqLiteralHidesNothingFromTheChecker) {
  std::string before = Outside();
  Dump d = OneTable("APP");
  d.tables[0].ddl =
      "CREATE TABLE \"T\" (\"ID\" NUMBER, \"C\" VARCHAR2(9) DEFAULT nq'[ ' ]', \"D\" NUMBER "
      "REFERENCES \"VICTIM\".\"T\" (\"ID\") /* ' */)";
  std::string file = Write("nq.dmp", d);
  ProcResult v = Tabdump("--verify", file);
  EXPECT_EQ(1, v.status) << v.out;
  ProcResult imp = Import(file, "evil_copy");
  EXPECT_EQ(255, imp.status) << imp.err;
  EXPECT_NE(std::string::npos, imp.err.find("statement refused")) << imp.err;
  EXPECT_EQ(before, Outside());
}

// A 4 KB file announcing ten million tables is refused before the import
// allocates room for them.
TEST_F(Trust, CountsTheFileCannotHoldAreRefusedFirst) {
  Dump d = OneTable("APP");
  d.extension = false;
  std::string bytes = d.Build().substr(0, 1024);
  std::string count;  // tab_cnt, big-endian, after the directory's offset
  Put32(count, 10000000);
  bytes.replace(32 + 32 + 128 + 8, 4, count);
  bytes.resize(4096, '\0');
  std::string file = dir_->file("sparse.dmp");
  WriteFile(file, bytes);
#if defined(__SANITIZE_ADDRESS__)
  // the sanitizer reserves its shadow memory beyond any such limit
  const char* limit = "exec \"$0\" \"$@\"";
#else
  const char* limit = "ulimit -v 1000000; exec \"$0\" \"$@\"";
#endif
  ProcResult imp = testsupport::Run(
      {"/bin/sh", "-c", limit, TABIMP_PATH, "system/manager@" + db_, "FILE=" + file, "TOUSER=evil_copy"},
      {kNls});
  EXPECT_EQ(255, imp.status) << imp.err;
  EXPECT_NE(std::string::npos, imp.err.find("Table count 10000000 in " + file + " exceeds the file."))
      << imp.err;
}

// Names, owners and warnings never reach a terminal raw: tabdump's listing,
// tabimp's progress lines, messages and log show their control characters
// as \xNN.
TEST_F(Trust, ControlCharactersAreShownEscaped) {
  Dump d = OneTable("EVIL\x1b[2K\rOwner: SYSTEM");
  d.tables[0].name = "T\x1b]0;pwned\x07";
  d.tables[0].ddl = "CREATE TABLE \"T\x1b]0;pwned\x07\" (\"ID\" NUMBER)";
  d.version = 2;
  d.warning_list = true;
  d.warnings = {"View \"V\x1b[31m\" not carried"};
  std::string file = Write("esc.dmp", d);
  ProcResult list = Tabdump("", file);
  EXPECT_EQ(0, list.status) << list.err;
  EXPECT_EQ(std::string::npos, list.out.find('\x1b')) << list.out;
  EXPECT_NE(std::string::npos, list.out.find("Owner:     EVIL\\x1B[2K\\x0DOwner: SYSTEM")) << list.out;
  EXPECT_NE(std::string::npos, list.out.find("T\\x1B]0;pwned\\x07")) << list.out;
  EXPECT_NE(std::string::npos, list.out.find("View \"V\\x1B[31m\" not carried")) << list.out;
  ProcResult v = Tabdump("--verify", file);
  EXPECT_EQ(std::string::npos, v.out.find('\x1b')) << v.out;

  std::string log = dir_->file("esc.log");
  ProcResult imp = Import(file, "evil_copy", {"LOG=" + log});
  std::string all = imp.out + imp.err + ReadFile(log);
  if (getenv("TRUST_SHOW")) std::fprintf(stderr, "%s\n---\n%s\n", list.out.c_str(), all.c_str());
  EXPECT_EQ(std::string::npos, all.find('\x1b')) << all;
  EXPECT_EQ(std::string::npos, all.find('\x07')) << all;
  EXPECT_NE(std::string::npos, all.find("T\\x1B]0;pwned\\x07          1 rows imported")) << all;
  // the export's warning about the view is repeated, so the run has warnings
  EXPECT_EQ(1, imp.status) << all;
}

// --json converts the dump's character set to UTF-8 and escapes what does
// not convert: the document is always valid UTF-8.
TEST_F(Trust, JsonIsUtf8WhateverTheDumpsCharacterSet) {
  Dump latin = OneTable("APP");
  latin.nls_lang = "AMERICAN_AMERICA.WE8ISO8859P1";
  latin.deferred = {"COMMENT ON TABLE \"T\" IS 'caf\xe9'"};
  ProcResult j = Tabdump("--json", Write("latin.dmp", latin));
  EXPECT_EQ(0, j.status) << j.err;
  EXPECT_TRUE(ValidUtf8(j.out)) << j.out;
  EXPECT_NE(std::string::npos, j.out.find("caf\xc3\xa9")) << j.out;

  Dump ascii = OneTable("APP");
  ascii.nls_lang = "AMERICAN_AMERICA.US7ASCII";
  ascii.deferred = {"COMMENT ON TABLE \"T\" IS 'x\xff\xfey'"};
  j = Tabdump("--json", Write("ascii.dmp", ascii));
  EXPECT_EQ(0, j.status) << j.err;
  EXPECT_TRUE(ValidUtf8(j.out)) << j.out;
  EXPECT_NE(std::string::npos, j.out.find("x\\\\xFF\\\\xFEy")) << j.out;

  Dump utf8 = OneTable("APP");
  utf8.deferred = {"COMMENT ON TABLE \"T\" IS 'bad \xc3\x28 and \xed\xa0\x80'"};
  j = Tabdump("--json", Write("utf8.dmp", utf8));
  EXPECT_TRUE(ValidUtf8(j.out)) << j.out;
}

// A dump's view over another schema's table and a grant on it: the target
// holds SELECT on the table without the grant option, so the grant is
// refused (ORA-01720) and EVIL reads nothing of VICTIM's.
TEST_F(Trust, ViewPassesOnNothingItsOwnerMayNotGrant) {
  Query("GRANT SELECT ON victim.secret TO evil_copy;\n");
  std::string before = Outside();
  Dump d = OneTable("APP");
  d.deferred = {"CREATE OR REPLACE VIEW \"SV\" AS SELECT \"S\" FROM \"VICTIM\".\"SECRET\"",
                "GRANT SELECT ON \"SV\" TO \"EVIL\""};
  ProcResult imp = Import(Write("view.dmp", d), "evil_copy", {"IGNORE=Y"});
  EXPECT_NE(std::string::npos, imp.err.find("ORA-01720: grant option does not exist for 'VICTIM.SECRET'"))
      << imp.err;
  ProcResult evil = RunSql("evil/e@" + db_, "SELECT * FROM evil_copy.sv;\n", {kNls});
  EXPECT_EQ(std::string::npos, evil.out.find("gold")) << evil.out;
  EXPECT_EQ(before, Outside());
  Query("DROP VIEW evil_copy.sv;\nDROP TABLE evil_copy.t;\nREVOKE SELECT ON victim.secret FROM evil_copy;\n");
}

// PARTITION_OPTIONS=MERGE runs only text the checker saw: a partition
// clause whose literal hides a query keeps hiding it once the clause is
// dropped, so the table gets the dump's rows only (or, with a column list
// that only a query could fill, is not made at all).
TEST_F(Trust, PartitionMergeRunsOnlyWhatTheCheckerSaw) {
  const std::pair<const char*, int> columns[] = {{"(\"ID\" NUMBER)", 1}, {"(\"ID\")", 255}};
  const char* hidden[] = {
      "q'{'), PARTITION \"P2\" VALUES (2)) AS SELECT \"ID\" FROM \"VICTIM\".\"SECRET\" --}'",
      "nq'['), PARTITION \"P2\" VALUES (2)) AS SELECT \"ID\" FROM \"VICTIM\".\"SECRET\" --]'",
  };
  std::string before = Outside();
  for (const auto& [cols, status] : columns) {
    for (const char* lit : hidden) {
      SCOPED_TRACE(std::string(cols) + lit);
      Dump d = OneTable("APP");
      d.tables[0].ddl = std::string("CREATE TABLE \"T\" ") + cols +
                        " PARTITION BY LIST (\"ID\") (PARTITION \"P1\" VALUES (" + lit + "))";
      ProcResult imp = Import(Write("merge.dmp", d), "evil_copy", {"PARTITION_OPTIONS=MERGE"});
      EXPECT_EQ(status, imp.status) << imp.err;
      ProcResult rows = RunSql("system/manager@" + db_, "SELECT id FROM evil_copy.t;\nDROP TABLE evil_copy.t;\n",
                               {kNls});
      EXPECT_EQ(status == 1 ? "ID\n7\n" : "", rows.out);
      EXPECT_EQ(before, Outside());
    }
  }
}

// tabdump --sql writes a script a line-based client cannot split
// differently: what would be cut or run as a client command is left out
// and named, qualifiers are dropped; run as a DBA it gives EVIL nothing
// and changes nothing outside the connected schema.
TEST_F(Trust, ScriptCannotBeSplitDifferently) {
  std::string before = Outside();
  Dump d = OneTable("VICTIM");
  d.deferred = {
      // a comment of a unit holding a line "/" then a statement
      "CREATE OR REPLACE PROCEDURE \"P1\" AS\nBEGIN\n  NULL; /*\n/\ngrant dba to evil;\n*/\nEND;",
      // a literal whose first line ends with ";" for a reader without q''
      "CREATE OR REPLACE VIEW \"V1\" AS select q'[ ' ;\ngrant dba to evil;\n]' x from dual",
      // a line holding "." inside a literal
      "CREATE OR REPLACE VIEW \"V2\" AS select 'a\n.\ngrant dba to evil;\nb' x from dual",
      // client commands at the start of a line inside a literal
      "CREATE OR REPLACE VIEW \"V3\" AS select 'a\nSPOOL owned.txt\nPROMPT hello\nb' x from dual",
      // the client's command prefix at the start of a line of a unit
      "CREATE OR REPLACE PROCEDURE \"P3\" AS\nBEGIN\n  NULL; /*\n#host rm -rf /\n*/\nEND;",
      // lines of a unit that merely start like client commands are the unit's
      "CREATE OR REPLACE PACKAGE \"K\" AS\n  /* to try it:\nset serveroutput on\nvar x number\n*/\n"
      "  msg VARCHAR2(40) := 'a\nstart over';\n  start_at DATE;\nEND;",
      // code created with FORCE, which a client may take for SQL
      "CREATE OR REPLACE FORCE PROCEDURE \"P2\" AS\nBEGIN\n  NULL;\nEND;",
      // a grant qualified by the header's owner
      "GRANT SELECT ON \"VICTIM\".\"SECRET\" TO \"EVIL\"",
      // and one that is fine
      "CREATE OR REPLACE VIEW \"V4\" AS select 'it''s' x from dual",
  };
  std::string file = Write("script.dmp", d);
  ProcResult v = Tabdump("--verify", file);
  EXPECT_EQ(0, v.status) << v.out;
  ProcResult s = Tabdump("--sql", file);
  EXPECT_EQ(1, s.status) << s.err;
  EXPECT_NE(std::string::npos, s.err.find("6 statements left out of the script")) << s.err;
  for (const char* name : {"PROCEDURE \"P1\"", "VIEW \"V1\"", "VIEW \"V2\"", "VIEW \"V3\"", "PROCEDURE \"P2\"",
                           "PROCEDURE \"P3\""}) {
    size_t at = s.out.find(name);
    ASSERT_NE(std::string::npos, at) << name << "\n" << s.out;
    size_t line = s.out.rfind('\n', at);
    EXPECT_EQ(0u, s.out.compare(line + 1, 15, "-- Not written,")) << name;
    EXPECT_NE(std::string::npos, s.err.find(name)) << s.err;
  }
  EXPECT_EQ(std::string::npos, s.out.find("grant dba")) << s.out;
  EXPECT_EQ(std::string::npos, s.out.find("SPOOL")) << s.out;
  EXPECT_EQ(std::string::npos, s.out.find("\"VICTIM\"")) << s.out;
  EXPECT_NE(std::string::npos, s.out.find("GRANT SELECT ON \"SECRET\" TO \"EVIL\";")) << s.out;
  EXPECT_NE(std::string::npos, s.out.find("CREATE OR REPLACE VIEW \"V4\"")) << s.out;

  // run as a DBA, in its own schema
  ProcResult run = RunSql("system/manager@" + db_, s.out, {kNls});
  if (getenv("TRUST_SHOW")) std::fprintf(stderr, "%s\n---\n%s\n---\n%s%s\n", s.out.c_str(), s.err.c_str(), run.out.c_str(), run.err.c_str());
  std::string after = Outside();
  EXPECT_EQ(std::string::npos, after.find("DBA")) << after;
  EXPECT_EQ(std::string::npos, after.find("EVIL|VICTIM")) << after;
  EXPECT_NE(std::string::npos, Query("SELECT view_name FROM dba_views WHERE owner = 'SYSTEM';\n").find("V4"));
  EXPECT_NE(std::string::npos, Query("SELECT text FROM dba_source WHERE name = 'K';\n").find("start_at DATE;"));
  Query("DROP VIEW system.v4;\nDROP TABLE system.t;\nDROP PACKAGE system.k;\n");
  EXPECT_EQ(before, Outside());
}

// Grants and comments carried as records: tabimp writes the statement
// itself, qualified with the target, so a record naming an object of the
// dump's owner (or of nobody) acts on nothing outside the target; a
// damaged record ends tabimp and tabdump --verify before anything runs.
TEST_F(Trust, GrantAndCommentRecordsActOnlyInsideTheTarget) {
  std::string before = Outside();
  std::string comments_before =
      Query("SELECT table_name, comments FROM dba_tab_comments WHERE owner = 'VICTIM' ORDER BY 1;\n");
  Dump d = OneTable("VICTIM");
  d.version = 3;
  d.records = true;
  d.extra = {{4, GrantPayload(1, 0, "SECRET", "EVIL"), -1},
             {5, CommentPayload("SECRET", "", "owned"), -1},
             {4, GrantPayload(1, 1, "T", "EVIL"), -1},
             {5, CommentPayload("T", "ID", "it's the key"), -1}};
  std::string file = Write("records.dmp", d);
  ProcResult v = Tabdump("--verify", file);
  EXPECT_EQ(0, v.status) << v.out << v.err;
  ProcResult s = Tabdump("--sql", file);
  EXPECT_EQ(0, s.status) << s.err;
  EXPECT_NE(std::string::npos, s.out.find("GRANT SELECT ON \"T\" TO \"EVIL\" WITH GRANT OPTION;\n")) << s.out;
  EXPECT_NE(std::string::npos, s.out.find("COMMENT ON COLUMN \"T\".\"ID\" IS 'it''s the key';\n")) << s.out;

  ProcResult imp = Import(file, "EVIL_COPY");
  EXPECT_EQ(1, imp.status) << imp.out << imp.err;
  EXPECT_NE(std::string::npos, imp.err.find("\"SECRET\" is not an object this import created.")) << imp.err;
  std::string after = Outside();
  EXPECT_EQ(std::string::npos, after.find("SECRET|SELECT")) << after;
  EXPECT_EQ(comments_before,
            Query("SELECT table_name, comments FROM dba_tab_comments WHERE owner = 'VICTIM' ORDER BY 1;\n"));
  EXPECT_NE(std::string::npos,
            Query("SELECT grantee || '|' || privilege || '|' || grantable FROM dba_tab_privs\n"
                  "  WHERE owner = 'EVIL_COPY' AND table_name = 'T';\n")
                .find("EVIL|SELECT|YES"));
  EXPECT_NE(std::string::npos,
            Query("SELECT comments FROM dba_col_comments WHERE owner = 'EVIL_COPY' AND table_name = 'T';\n")
                .find("it's the key"));
  Query("DROP TABLE evil_copy.t;\n");
  EXPECT_EQ(before, Outside());

  // damaged records: refused whole, by both programs
  const std::pair<Dump::Record, std::string> damaged[] = {
      {{4, GrantPayload(1, 0, "T", "EVIL").substr(0, 7), -1}, "grant record whose names do not fill its length"},
      {{4, GrantPayload(1, 0, std::string(129, 'T'), "EVIL"), -1}, "a name longer than 128 bytes"},
      {{5, CommentPayload("T", std::string("I\0D", 3), "x"), -1}, "a NUL in a name"},
      {{4, GrantPayload(99, 0, "T", "EVIL"), -1}, "grant record with a privilege not known"},
  };
  for (const auto& [rec, why] : damaged) {
    SCOPED_TRACE(why);
    Dump bad = OneTable("VICTIM");
    bad.version = 3;
    bad.records = true;
    bad.extra = {rec};
    std::string f = Write("damaged.dmp", bad);
    ProcResult r = Import(f, "EVIL_COPY");
    EXPECT_EQ(255, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.err.find(why)) << r.err;
    ProcResult dv = Tabdump("--verify", f);
    EXPECT_NE(0, dv.status);
    EXPECT_NE(std::string::npos, (dv.out + dv.err).find(why)) << dv.out << dv.err;
    EXPECT_EQ(before, Outside());
  }
}

}  // namespace

// odd_objects_test.cpp - a schema of objects that are hard to carry,
// exported and imported by the built programs: a FORCE view over a missing
// table, a view with errors, INSTEAD OF triggers on views (one on a nested
// table column, which no import may run), names of 31 to 128 bytes, an
// 80 KB package body, code that does not compile and kinds the dump does
// not carry, tables whose names do not fit a directory entry. Into an
// empty schema and into one that already holds some of
// them, the import never fails as a whole, and every object of the source
// is either in the target or named in a warning of one of the two runs.
#include <cctype>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support.h"

namespace {

using testsupport::ProcResult;
using testsupport::RunSql;
using testsupport::TempDir;

const char kNls[] = "NLS_LANG=AMERICAN_AMERICA.AL32UTF8";

std::string Name(const std::string& head, size_t len) {
  std::string n = head;
  n.resize(len, 'X');
  return n;
}

const std::string kTable31 = Name("T31_", 31);
const std::string kTable40 = Name("T40_", 40);
const std::string kTable128 = Name("T128_", 128);
const std::string kCheck34 = Name("CK34_", 34);
const std::string kUnique128 = Name("UK128_", 128);
const std::string kIndex40 = Name("IX40_", 40);
const std::string kIndex128 = Name("IX128_", 128);

// A package body of about 80 KB: one line of text per call.
std::string BigBody() {
  std::string s = "CREATE OR REPLACE PACKAGE BODY big_pkg AS\n  PROCEDURE p IS\n  BEGIN\n";
  for (int i = 0; s.size() < 80 * 1024; i++)
    s += "    NULL; -- a line of filler text, number " + std::to_string(i) + "\n";
  return s + "  END p;\nEND big_pkg;\n/\n";
}

std::string ZooScript() {
  return "CREATE TABLE t1 (id NUMBER CONSTRAINT t1_pk PRIMARY KEY, name VARCHAR2(20), note CLOB);\n"
         "INSERT INTO t1 VALUES (1, 'one', 'first');\n"
         "INSERT INTO t1 VALUES (2, 'two', NULL);\n"
         "ALTER TABLE t1 ADD CONSTRAINT \"" + kCheck34 + "\" CHECK (id > 0);\n"
         "ALTER TABLE t1 ADD CONSTRAINT \"" + kUnique128 + "\" UNIQUE (name);\n"
         "CREATE INDEX \"" + kIndex40 + "\" ON t1 (name, id);\n"
         "CREATE TABLE \"" + kTable31 + "\" (x NUMBER);\n"
         "CREATE INDEX \"" + kIndex128 + "\" ON \"" + kTable31 + "\" (x);\n"
         "INSERT INTO \"" + kTable31 + "\" VALUES (31);\n"
         "CREATE TABLE \"" + kTable40 + "\" (x NUMBER CONSTRAINT \"" + Name("PK40_", 100) + "\" PRIMARY KEY);\n"
         "INSERT INTO \"" + kTable40 + "\" VALUES (40);\n"
         "CREATE TABLE \"" + kTable128 + "\" (x NUMBER);\n"
         "CREATE TABLE odd_rowid (r ROWID);\n"
         "COMMIT;\n"
         "CREATE FORCE VIEW v_missing AS SELECT * FROM no_such_table;\n"
         "CREATE FORCE VIEW v_err (a, b) AS SELECT id, no_such_column FROM t1;\n"
         "CREATE VIEW v_ok AS SELECT id, name FROM t1;\n"
         "CREATE OR REPLACE TRIGGER v_ok_io INSTEAD OF INSERT ON v_ok FOR EACH ROW\n"
         "BEGIN INSERT INTO t1 (id, name) VALUES (:new.id, :new.name); END;\n/\n"
         "CREATE OR REPLACE TRIGGER nt_io INSTEAD OF INSERT ON NESTED TABLE name OF v_ok\n"
         "FOR EACH ROW BEGIN NULL; END;\n/\n"
         "CREATE OR REPLACE PROCEDURE broken AS BEGIN no_such_procedure; END;\n/\n"
         "CREATE OR REPLACE PACKAGE big_pkg AS\n  PROCEDURE p;\nEND big_pkg;\n/\n" +
         BigBody() +
         "CREATE PUBLIC SYNONYM zoo_t1 FOR t1;\n";
}

class OddObjects : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.file("db");
    testsupport::CreateDatabase(db_);
    ProcResult r = Sql(
        "CREATE USER zoo IDENTIFIED BY zoo;\nGRANT DBA TO zoo;\n"
        "CREATE USER copy IDENTIFIED BY copy;\n"
        "CREATE USER half IDENTIFIED BY half;\nGRANT DBA TO half;\n"
        "CREATE USER part IDENTIFIED BY part;\nGRANT DBA TO part;\n");
    ASSERT_EQ(r.status, 0) << r.err;
    r = RunSql("zoo/zoo@" + db_, ZooScript(), {kNls});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    // every object meant to be there is there
    std::string objs = Objects("ZOO");
    for (const char* o : {"VIEW V_MISSING", "VIEW V_ERR", "TRIGGER V_OK_IO", "TRIGGER NT_IO",
                          "PACKAGE BODY BIG_PKG", "PROCEDURE BROKEN"})
      ASSERT_NE(std::string::npos, objs.find(o)) << objs;
  }

  ProcResult Sql(const std::string& script) { return RunSql("system/manager@" + db_, script, {kNls}); }
  std::string Query(const std::string& script) {
    ProcResult r = Sql(script);
    EXPECT_EQ(r.status, 0) << script << r.err;
    return r.out;
  }
  // "TYPE NAME" per object of the schema, one a line, and its constraints.
  std::string Objects(const std::string& owner) {
    return Query("SELECT object_type || ' ' || object_name FROM all_objects WHERE owner = '" + owner +
                 "' ORDER BY 1;\n"
                 "SELECT 'CONSTRAINT ' || constraint_name FROM all_constraints WHERE owner = '" +
                 owner + "' AND constraint_type IN ('P', 'U', 'C') AND generated = 'USER NAME';\n");
  }

  ProcResult Export() {
    return testsupport::Run({TABEXP_PATH, "zoo/zoo@" + db_, "FILE=" + dump_, "OWNER=zoo"}, {kNls});
  }
  ProcResult Import(const std::string& touser, bool ignore) {
    std::vector<std::string> argv = {TABIMP_PATH, "system/manager@" + db_, "FILE=" + dump_, "TOUSER=" + touser};
    if (ignore) argv.push_back("IGNORE=Y");
    return testsupport::Run(argv, {kNls});
  }

  // Each object of ZOO is in `owner`, or named in what the runs printed.
  void ExpectCarriedOrNamed(const std::string& owner, const std::string& printed) {
    std::set<std::string> there;
    std::istringstream in(Objects(owner));
    for (std::string line; std::getline(in, line);) there.insert(line);
    std::istringstream src(Objects("ZOO"));
    int checked = 0;
    for (std::string line; std::getline(src, line);) {
      if (line.find(' ') == std::string::npos || line.rfind("OBJECT_TYPE", 0) == 0 ||
          line.rfind("'CONSTRAINT", 0) == 0)
        continue;
      checked++;
      if (there.count(line)) continue;
      std::string name = line.substr(line.rfind(' ') + 1);
      EXPECT_NE(std::string::npos, printed.find("\"" + name + "\"")) << line << " neither carried nor named";
    }
    EXPECT_GT(checked, 15);
  }

  TempDir dir_;
  std::string db_;
  std::string dump_ = dir_.file("zoo.dmp");
};

TEST_F(OddObjects, ExportNamesWhatItCannotCarryAndWritesNothingItsImportRefuses) {
  ProcResult e = Export();
  ASSERT_NE(255, e.status) << e.out << e.err;
  std::string said = e.out + e.err;
  // left out, each under its own name
  for (const std::string& n : {std::string("NT_IO"), std::string("ODD_ROWID"), std::string("ZOO_T1")})
    EXPECT_NE(std::string::npos, said.find("\"" + n + "\" not exported")) << n << "\n" << said;
  // tables of long names are carried, with a word for older readers
  for (const std::string& n : {kTable40, kTable128})
    EXPECT_NE(std::string::npos, said.find("\"" + n + "\" is carried where only readers of format 3"))
        << n << "\n" << said;
  // names up to 128 bytes are no reason to leave anything out
  for (const std::string& n : {kTable31, kTable40, kTable128, kCheck34, kUnique128, kIndex40, kIndex128,
                               std::string("T1"), std::string("V_MISSING"), std::string("BIG_PKG")})
    EXPECT_EQ(std::string::npos, said.find("\"" + n + "\" not exported")) << n << "\n" << said;

  // the dump verifies, and each of its statements passes the import's checks
  ProcResult v = testsupport::Run({TABDUMP_PATH, "--verify", dump_});
  EXPECT_EQ(0, v.status) << v.out << v.err;
  ProcResult s = testsupport::Run({TABDUMP_PATH, "--sql", dump_});
  ASSERT_EQ(0, s.status) << s.err;
  EXPECT_EQ(std::string::npos, s.out.find("()")) << "an empty column list";
  EXPECT_NE(std::string::npos, s.out.find("VIEW \"V_MISSING\" AS")) << s.out.substr(0, 4000);
  EXPECT_EQ(std::string::npos, s.out.find("NESTED TABLE"));
  // the 80 KB body whole, its last filler line included
  EXPECT_NE(std::string::npos, s.out.find("END big_pkg;\n/")) << "package body cut";
  ProcResult l = testsupport::Run({TABDUMP_PATH, dump_});
  EXPECT_NE(std::string::npos, l.out.find("Format:    3")) << l.out;
}

TEST_F(OddObjects, ImportIntoAnEmptySchemaCarriesEveryObjectOrNamesIt) {
  ProcResult e = Export();
  ASSERT_NE(255, e.status) << e.out << e.err;
  ProcResult i = Import("copy", false);
  EXPECT_NE(255, i.status) << i.out << i.err;
  ExpectCarriedOrNamed("COPY", e.out + e.err + i.out + i.err);

  std::string objs = Objects("COPY");
  for (const std::string& o :
       {"CONSTRAINT " + kCheck34, "CONSTRAINT " + kUnique128, "INDEX " + kIndex40, "INDEX " + kIndex128,
        "TABLE " + kTable31, "TABLE " + kTable40, "TABLE " + kTable128, std::string("VIEW V_MISSING"), std::string("VIEW V_ERR"),
        std::string("TRIGGER V_OK_IO"), std::string("PROCEDURE BROKEN"),
        std::string("PACKAGE BODY BIG_PKG")})
    EXPECT_NE(std::string::npos, objs.find(o + "\n")) << o << "\n" << objs;
  // the body line for line (the first line is the rewritten head), and the rows
  std::string q = Query(
      "SELECT COUNT(*) || '|' || SUM(LENGTH(text)) FROM all_source WHERE owner = 'ZOO' AND name = 'BIG_PKG'"
      " AND type = 'PACKAGE BODY' AND line > 1;\n"
      "SELECT COUNT(*) || '|' || SUM(LENGTH(text)) FROM all_source WHERE owner = 'COPY' AND name = 'BIG_PKG'"
      " AND type = 'PACKAGE BODY' AND line > 1;\n"
      "SELECT 'rows ' || COUNT(*) FROM copy.t1;\n"
      "SELECT 'long ' || x FROM copy.\"" + kTable40 + "\";\n");
  std::istringstream in(q);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && isdigit(static_cast<unsigned char>(line[0])) && line.find('|') != std::string::npos)
      lines.push_back(line);
  ASSERT_EQ(2u, lines.size()) << q;
  EXPECT_EQ(lines[0], lines[1]);
  EXPECT_NE(std::string::npos, q.find("rows 2")) << q;
  EXPECT_NE(std::string::npos, q.find("long 40")) << q;
  // the view over a missing table compiles once the table is there
  EXPECT_EQ(0, Sql("CREATE TABLE copy.no_such_table (a NUMBER);\nSELECT COUNT(*) FROM copy.v_missing;\n").status);
}

TEST_F(OddObjects, ImportIntoASchemaHoldingSomeOfThemNeverFailsAsAWhole) {
  ProcResult e = Export();
  ASSERT_NE(255, e.status) << e.out << e.err;
  ProcResult r = RunSql("half/half@" + db_,
                        "CREATE TABLE t1 (id NUMBER CONSTRAINT t1_pk PRIMARY KEY, name VARCHAR2(20), note CLOB);\n"
                        "CREATE VIEW v_missing AS SELECT 1 AS one FROM dual;\n"
                        "CREATE OR REPLACE PROCEDURE broken AS BEGIN NULL; END;\n/\n"
                        "CREATE OR REPLACE PACKAGE big_pkg AS\n  PROCEDURE q;\nEND big_pkg;\n/\n",
                        {kNls});
  ASSERT_EQ(0, r.status) << r.err;
  ProcResult i = Import("half", true);
  EXPECT_NE(255, i.status) << i.out << i.err;
  ExpectCarriedOrNamed("HALF", e.out + e.err + i.out + i.err);
  std::string objs = Objects("HALF");
  for (const std::string& o : {"CONSTRAINT " + kCheck34, "TABLE " + kTable31, std::string("VIEW V_ERR"),
                               std::string("PACKAGE BODY BIG_PKG")})
    EXPECT_NE(std::string::npos, objs.find(o + "\n")) << o << "\n" << objs;

  // without IGNORE=Y, into a schema holding schema objects of the same
  // names (no table): each is kept or reported, the rest is carried
  r = RunSql("part/part@" + db_,
             "CREATE VIEW v_err AS SELECT 1 AS one FROM dual;\n"
             "CREATE TABLE dual_copy (x NUMBER);\n"
             "CREATE OR REPLACE TRIGGER v_ok_io BEFORE INSERT ON dual_copy FOR EACH ROW BEGIN NULL; END;\n/\n"
             "CREATE OR REPLACE PROCEDURE broken AS BEGIN NULL; END;\n/\n",
             {kNls});
  ASSERT_EQ(0, r.status) << r.err;
  i = Import("part", false);
  EXPECT_NE(255, i.status) << i.out << i.err;
  ExpectCarriedOrNamed("PART", e.out + e.err + i.out + i.err);
  objs = Objects("PART");
  for (const std::string& o : {"TABLE " + kTable40, std::string("VIEW V_MISSING"), std::string("VIEW V_ERR"),
                               std::string("PACKAGE BODY BIG_PKG"), std::string("PROCEDURE BROKEN")})
    EXPECT_NE(std::string::npos, objs.find(o + "\n")) << o << "\n" << objs;
}

TEST_F(OddObjects, TablesOfLongNamesAreSelectedByTablesOnBothSides) {
  ProcResult e = testsupport::Run({TABEXP_PATH, "zoo/zoo@" + db_, "FILE=" + dump_, "OWNER=zoo", "TABLES=T40%"},
                                  {kNls});
  ASSERT_NE(255, e.status) << e.out << e.err;
  EXPECT_NE(std::string::npos, e.out.find(kTable40)) << e.out;
  ProcResult i = testsupport::Run(
      {TABIMP_PATH, "system/manager@" + db_, "FILE=" + dump_, "TOUSER=copy", "TABLES=T40%"}, {kNls});
  ASSERT_NE(255, i.status) << i.out << i.err;
  std::string objs = Objects("COPY");
  EXPECT_NE(std::string::npos, objs.find("TABLE " + kTable40 + "\n")) << objs;
  EXPECT_EQ(std::string::npos, objs.find("TABLE T1\n")) << objs;
}

}  // namespace

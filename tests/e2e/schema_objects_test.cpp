// schema_objects_test.cpp - tabimp recreating a schema's objects besides its
// tables in the embedded database: constraints with their states, bitmap
// indexes, sequences, stored code (a trigger too) and grants, from a dump
// written as an export writes them, into an empty schema with TOUSER; each
// constraint of the copy refuses a violating row, and a deferred list that
// reaches for another schema changes nothing.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../fakeoci/dump_builder.h"
#include "support.h"

namespace {

using testsupport::ProcResult;
using testsupport::RunSql;
using testsupport::TempDir;
using testsupport::WriteFile;

const char kNls[] = "NLS_LANG=AMERICAN_AMERICA.AL32UTF8";

class SchemaObjects : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.file("db");
    testsupport::CreateDatabase(db_);
    ProcResult r = Sql(
        "CREATE USER copy IDENTIFIED BY copy;\n"
        "CREATE USER bob IDENTIFIED BY bob;\n"
        "CREATE USER other IDENTIFIED BY other;\n"
        "CREATE TABLE other.secret (x NUMBER PRIMARY KEY);\n"
        "INSERT INTO other.secret VALUES (42);\n"
        "COMMIT;\n");
    ASSERT_EQ(r.status, 0) << r.err;
  }

  ProcResult Sql(const std::string& script, const std::string& user = "system/manager") {
    return RunSql(user + "@" + db_, script, {kNls});
  }
  std::string Query(const std::string& script) {
    ProcResult r = Sql(script);
    EXPECT_EQ(r.status, 0) << script << r.err;
    return r.out;
  }
  ProcResult Import(const dumpbuild::Dump& d, std::vector<std::string> args = {}) {
    std::string file = dir_.file("x.dmp");
    WriteFile(file, d.Build());
    std::vector<std::string> argv = {TABIMP_PATH, "system/manager@" + db_, "FILE=" + file};
    argv.insert(argv.end(), args.begin(), args.end());
    return testsupport::Run(argv, {kNls});
  }

  TempDir dir_;
  std::string db_;
};

// EMP as an export writes it from a schema APP: the table without its
// constraints, its rows, then its keys, checks and indexes; the schema's
// sequence, procedure, trigger, a view on a view, synonyms and grants in
// the deferred list.
dumpbuild::Dump EmpDump() {
  using namespace dumpbuild;
  Dump d;
  d.extension = true;
  Table t("EMP", {{5, 22, "ID"}, {1, 20, "NAME"}, {5, 22, "SAL"}, {5, 22, "DEPT"}});
  t.ddl = "CREATE TABLE \"EMP\" (\"ID\" NUMBER, \"NAME\" VARCHAR2(20), \"SAL\" NUMBER, \"DEPT\" NUMBER)";
  t.Row({Val(Number(1)), Val("ann"), Val(Number(10)), Val(Number(1))});
  t.Row({Val(Number(2)), Val("bo"), Val(Number(20)), Val(Number(2))});
  t.index_sql = {
      "ALTER TABLE \"EMP\" ADD CONSTRAINT \"EMP_PK\" PRIMARY KEY (\"ID\")\n  USING INDEX  ENABLE",
      "CREATE UNIQUE INDEX \"EMP_NAME_U\" ON \"EMP\" (\"NAME\")",
      "ALTER TABLE \"EMP\" ADD CONSTRAINT \"EMP_NAME_UK\" UNIQUE (\"NAME\")\n  USING INDEX \"EMP_NAME_U\"  ENABLE",
      "ALTER TABLE \"EMP\" ADD CONSTRAINT \"EMP_SAL_CK\" CHECK (sal > 0) ENABLE",
      "ALTER TABLE \"EMP\" ADD CHECK (\"DEPT\" BETWEEN 1 AND 99) ENABLE",
      "ALTER TABLE \"EMP\" ADD CONSTRAINT \"EMP_SAL_CAP\" CHECK (sal < 15) DISABLE",
      "CREATE BITMAP INDEX \"EMP_DEPT_BX\" ON \"EMP\" (\"DEPT\")",
  };
  d.tables.push_back(t);
  d.deferred = {
      "CREATE SEQUENCE  \"EMP_SEQ\"  MINVALUE 1 MAXVALUE 9999999999999999999999999999 INCREMENT BY 1 "
      "START WITH 41 CACHE 20 NOORDER  NOCYCLE  NOKEEP  NOSCALE  GLOBAL ",
      "CREATE OR REPLACE EDITIONABLE PROCEDURE \"RAISE_SAL\" (p_id NUMBER) AS\nBEGIN\n"
      "  UPDATE emp SET sal = sal + 1 WHERE id = p_id; -- one step\nEND;",
      "CREATE OR REPLACE EDITIONABLE TRIGGER \"EMP_BI\" \nBEFORE INSERT ON emp FOR EACH ROW\n"
      "BEGIN\n  NULL; /* it's kept */\nEND;",
      "ALTER TRIGGER \"EMP_BI\" DISABLE",
      "CREATE OR REPLACE FORCE EDITIONABLE VIEW \"EMP_V\" (\"ID\", \"NAME\") AS \n  SELECT id, name FROM emp",
      "CREATE OR REPLACE FORCE EDITIONABLE VIEW \"EMP_V2\" (\"NAME\") AS \n  SELECT name FROM emp_v WHERE id > 1",
      "CREATE OR REPLACE EDITIONABLE SYNONYM \"STAFF\" FOR \"EMP\"",
      "CREATE OR REPLACE EDITIONABLE SYNONYM \"HIDDEN\" FOR \"OTHER\".\"SECRET\"",
      "GRANT SELECT ON \"EMP_V2\" TO \"BOB\"",
      "GRANT SELECT ON \"EMP\" TO \"BOB\"",
      "GRANT UPDATE ON \"EMP\" TO \"GHOST\"",
      "GRANT SELECT ON \"EMP\" TO \"COPY\"",
      "GRANT UPDATE ON \"EMP\" TO \"BOB\" WITH GRANT OPTION",
  };
  return d;
}

TEST_F(SchemaObjects, ImportRecreatesConstraintsIndexesSequencesCodeAndGrants) {
  ProcResult r = Import(EmpDump(), {"TOUSER=copy"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.err.find("Grant on \"EMP\" to \"GHOST\" skipped: the user does not exist."),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("Grant on \"EMP\" to \"COPY\" skipped: the grantee owns the object"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("Import terminated successfully."), std::string::npos) << r.err;

  std::string cons = Query(
      "SELECT constraint_name || '|' || constraint_type || '|' || status || '|' || search_condition "
      "FROM all_constraints WHERE owner = 'COPY' AND generated = 'USER NAME' ORDER BY 1;\n"
      "SELECT COUNT(*) FROM all_constraints WHERE owner = 'COPY' AND generated = 'GENERATED NAME' "
      "AND search_condition = '\"DEPT\" BETWEEN 1 AND 99';\n");
  EXPECT_NE(cons.find("EMP_NAME_UK|U|ENABLED|\n"), std::string::npos) << cons;
  EXPECT_NE(cons.find("EMP_PK|P|ENABLED|\n"), std::string::npos) << cons;
  EXPECT_NE(cons.find("EMP_SAL_CAP|C|DISABLED|sal < 15\n"), std::string::npos) << cons;
  EXPECT_NE(cons.find("EMP_SAL_CK|C|ENABLED|sal > 0\n"), std::string::npos) << cons;
  EXPECT_NE(cons.find("\n1\n"), std::string::npos) << cons;

  std::string idx = Query(
      "SELECT index_name || '|' || index_type || '|' || uniqueness FROM all_indexes "
      "WHERE owner = 'COPY' ORDER BY 1;\n");
  EXPECT_NE(idx.find("EMP_DEPT_BX|BITMAP|NONUNIQUE\n"), std::string::npos) << idx;
  EXPECT_NE(idx.find("EMP_NAME_U|NORMAL|UNIQUE\n"), std::string::npos) << idx;

  // the sequence continues where the source's would; the code is there
  // and runs in the copy; the grant is the owner's, with its option
  std::string rest = Query(
      "SELECT copy.emp_seq.NEXTVAL FROM dual;\n"
      "SELECT COUNT(*) FROM all_source WHERE owner = 'COPY' AND name = 'RAISE_SAL';\n"
      "SELECT COUNT(*) FROM all_source WHERE owner = 'COPY' AND name = 'EMP_BI';\n"
      "SELECT grantee || '|' || privilege || '|' || grantable || '|' || grantor FROM dba_tab_privs "
      "WHERE owner = 'COPY' ORDER BY 1;\n");
  EXPECT_NE(rest.find("\n41\n"), std::string::npos) << rest;
  EXPECT_EQ(rest.find("\n0\n"), std::string::npos) << rest;
  EXPECT_NE(rest.find("BOB|SELECT|NO|COPY\nBOB|UPDATE|YES|COPY\n"), std::string::npos) << rest;
  ProcResult bob = Sql("SELECT name FROM copy.emp WHERE id = 2;\n", "bob/bob");
  EXPECT_EQ(bob.status, 0) << bob.err;
  EXPECT_NE(bob.out.find("bo\n"), std::string::npos) << bob.out;

  // the views (one on the other) and the synonyms, in the copy's schema
  std::string more = Query(
      "SELECT view_name || '|' || text FROM all_views WHERE owner = 'COPY' ORDER BY 1;\n"
      "SELECT synonym_name || '|' || table_owner || '|' || table_name FROM all_synonyms "
      "WHERE owner = 'COPY' ORDER BY 1;\n");
  EXPECT_NE(more.find("EMP_V2|SELECT name FROM emp_v WHERE id > 1\nEMP_V|SELECT id, name FROM emp\n"),
            std::string::npos)
      << more;
  EXPECT_NE(more.find("HIDDEN|OTHER|SECRET\nSTAFF|COPY|EMP\n"), std::string::npos) << more;
  bob = Sql("SELECT name FROM copy.emp_v2;\nSELECT x FROM copy.hidden;\n", "bob/bob");
  EXPECT_NE(bob.out.find("NAME\nbo\n"), std::string::npos) << bob.out << bob.err;
  EXPECT_EQ(bob.out.find("42"), std::string::npos) << bob.out;

  // every enabled constraint of the copy refuses one violating row
  struct Violation {
    std::string insert, error;
  };
  const std::vector<Violation> violations = {
      {"INSERT INTO copy.emp VALUES (1, 'cy', 5, 1)", "ORA-00001"},
      {"INSERT INTO copy.emp VALUES (3, 'ann', 5, 1)", "ORA-00001"},
      {"INSERT INTO copy.emp VALUES (3, 'cy', -5, 1)", "ORA-02290"},
      {"INSERT INTO copy.emp VALUES (3, 'cy', 5, 100)", "ORA-02290"},
      {"INSERT INTO copy.emp VALUES (NULL, 'cy', 5, 1)", "ORA-01400"},
  };
  for (const Violation& v : violations) {
    ProcResult ins = Sql(v.insert + ";\n");
    EXPECT_NE(ins.err.find(v.error), std::string::npos) << v.insert << ": " << ins.err;
  }
  // the disabled one does not
  ProcResult ok = Sql("INSERT INTO copy.emp VALUES (3, 'cy', 50, 1);\nCOMMIT;\n");
  EXPECT_EQ(ok.status, 0) << ok.err;
}

TEST_F(SchemaObjects, DeferredStatementsReachingAnotherSchemaChangeNothing) {
  const std::string privs = "SELECT grantee || '|' || owner || '|' || table_name FROM "
                            "dba_tab_privs ORDER BY 1;\n";
  std::string before = Query(privs);
  const std::vector<std::string> escapes = {
      "GRANT SELECT ON \"OTHER\".\"SECRET\" TO PUBLIC",
      "GRANT SELECT ON \"OTHER\".\"SECRET\" TO \"BOB\" IDENTIFIED BY \"bob\"",
      "GRANT DBA TO \"BOB\"",
      "CREATE OR REPLACE FORCE VIEW \"OTHER\".\"V\" AS SELECT x FROM other.secret",
      "CREATE SEQUENCE \"OTHER\".\"S\"",
  };
  for (const std::string& bad : escapes) {
    dumpbuild::Dump d = EmpDump();
    d.deferred.insert(d.deferred.begin(), bad);
    ProcResult r = Import(d, {"TOUSER=copy", "IGNORE=Y"});
    EXPECT_EQ(r.status, 255) << bad;
    EXPECT_NE(r.err.find("Deferred statement refused"), std::string::npos) << bad << r.err;
  }
  // nothing of the dumps ran: no table in the target, no new grant
  std::string tables = Query("SELECT COUNT(*) FROM all_tables WHERE owner = 'COPY';\n");
  EXPECT_NE(tables.find("\n0\n"), std::string::npos) << tables;
  EXPECT_EQ(before, Query(privs));

  // a grant on a name the copy lacks is qualified with the target, so it
  // can only fail: it never finds an object of another schema
  dumpbuild::Dump d = EmpDump();
  d.deferred = {"GRANT SELECT ON \"SECRET\" TO \"BOB\""};
  ProcResult r = Import(d, {"TOUSER=copy", "IGNORE=Y"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("ORA-00942"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Grant on \"SECRET\" to \"BOB\" failed."), std::string::npos) << r.err;
  ProcResult bob = Sql("SELECT x FROM other.secret;\n", "bob/bob");
  EXPECT_NE(bob.err.find("ORA-00942"), std::string::npos) << bob.out << bob.err;

  // a view or synonym the dump makes in the copy over another schema's
  // table, then grants on, gives BOB nothing the copy's owner lacks
  for (const char* make : {"CREATE OR REPLACE FORCE EDITIONABLE VIEW \"PEEK\" (\"X\") AS SELECT x FROM other.secret",
                           "CREATE OR REPLACE EDITIONABLE SYNONYM \"PEEK\" FOR \"OTHER\".\"SECRET\""}) {
    ASSERT_EQ(Sql("DROP USER copy CASCADE;\nCREATE USER copy IDENTIFIED BY copy;\n").status, 0);
    d.deferred = {make, "GRANT SELECT ON \"PEEK\" TO \"BOB\""};
    r = Import(d, {"TOUSER=copy", "IGNORE=Y"});
    bob = Sql("SELECT x FROM copy.peek;\nSELECT x FROM other.secret;\n", "bob/bob");
    EXPECT_EQ(bob.out.find("42"), std::string::npos) << make << "\n" << r.err << bob.out;
  }

  // a foreign key from the copy to another schema's table needs the
  // copy's owner to hold REFERENCES on it: without, the parent's rows
  // stay free to go
  ASSERT_EQ(Sql("DROP USER copy CASCADE;\nCREATE USER copy IDENTIFIED BY copy;\n").status, 0);
  dumpbuild::Table kid("KID", {{5, 22, "X"}});
  kid.ddl = "CREATE TABLE \"KID\" (\"X\" NUMBER)";
  kid.Row({dumpbuild::Val(dumpbuild::Number(42))});
  d.tables = {kid};
  d.deferred = {"ALTER TABLE \"KID\" ADD CONSTRAINT \"KID_FK\" FOREIGN KEY (\"X\")\n\t  REFERENCES "
                "\"OTHER\".\"SECRET\" (\"X\") ENABLE"};
  r = Import(d, {"TOUSER=copy", "IGNORE=Y"});
  EXPECT_EQ(r.status, 0) << r.err;
  ProcResult del = Sql("DELETE FROM other.secret WHERE x = 42;\nROLLBACK;\n");
  EXPECT_EQ(del.status, 0) << r.err << del.err;
}

}  // namespace
